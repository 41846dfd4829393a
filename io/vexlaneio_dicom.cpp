// The I/O component's DICOM loaders.
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
