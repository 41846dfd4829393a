// The I/O component's DICOM loaders and savers.
#include <string>

#include "io/vexlaneio.h"

namespace {

constexpr int32_t kDICOMFileType = 28;

}  // namespace

// DICOM images carry no resolution the component adjusts: none of the DPI
// steps run.
bool TVexlaneIO::LoadFromFileDICOM(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileDICOM, FileName)) return true;
  return CodecLoadFile(FileName, kDICOMFileType, TLoadSteps{false, false, false, false});
}

bool TVexlaneIO::LoadFromStreamDICOM(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamDICOM, Stream)) return true;
  return CodecLoadStream(Stream, kDICOMFileType, TLoadSteps{false, false, false, false});
}

// vx1g, vx8g, vx16g and vx24RGB are written as they are; other formats raise
// EVXException "DICOM saving: unsupported pixel format". The transfer syntax
// is the parameters' DICOM_Compression.
void TVexlaneIO::SaveToFileDICOM(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileDICOM, FileName)) return;
  CodecSaveFile(FileName, kDICOMFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamDICOM(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamDICOM, Stream)) return;
  CodecSaveStream(Stream, kDICOMFileType, vxscNone);
}
