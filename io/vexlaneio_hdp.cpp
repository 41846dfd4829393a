// The I/O component's HD Photo loaders and savers. The codec is the imaging
// component's (formats/wic.h), reached through the codec record of type 29.
#include <string>

#include "io/vexlaneio.h"

namespace {

constexpr int32_t kHDPhotoFileType = 29;

}  // namespace

bool TVexlaneIO::LoadFromFileHDP(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileHDP, FileName)) return true;
  return CodecLoadFile(FileName, kHDPhotoFileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromStreamHDP(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamHDP, Stream)) return true;
  return CodecLoadStream(Stream, kHDPhotoFileType, TLoadSteps{});
}

// The target is written as it is: no conversion before the writer.
void TVexlaneIO::SaveToFileHDP(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileHDP, FileName)) return;
  CodecSaveFile(FileName, kHDPhotoFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamHDP(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamHDP, Stream)) return;
  CodecSaveStream(Stream, kHDPhotoFileType, vxscNone);
}
