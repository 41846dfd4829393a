// The I/O component's operations for Windows bitmaps, icons and cursors.
#include <string>

#include "io/vexlaneio.h"

namespace {

constexpr int32_t kBMPFileType = 5, kICOFileType = 6, kCURFileType = 7;

}  // namespace

// Every loader here runs every after-step: CheckDPI, the reader's mask into
// the alpha channel, the DPI adjustment and ApplyDPIToView.

bool TVexlaneIO::LoadFromFileBMP(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileBMP, FileName)) return true;
  return CodecLoadFile(FileName, kBMPFileType, TLoadSteps{true, true, true, true});
}

bool TVexlaneIO::LoadFromStreamBMP(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamBMP, Stream)) return true;
  return CodecLoadStream(Stream, kBMPFileType, TLoadSteps{true, true, true, true});
}

// The writer reads other pixel formats as they are: the target stays unchanged.
void TVexlaneIO::SaveToFileBMP(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileBMP, FileName)) return;
  CodecSaveFile(FileName, kBMPFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamBMP(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamBMP, Stream)) return;
  CodecSaveStream(Stream, kBMPFileType, vxscNone);
}

bool TVexlaneIO::LoadFromFileICO(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileICO, FileName)) return true;
  return CodecLoadFile(FileName, kICOFileType, TLoadSteps{true, true, true, true});
}

bool TVexlaneIO::LoadFromStreamICO(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamICO, Stream)) return true;
  return CodecLoadStream(Stream, kICOFileType, TLoadSteps{true, true, true, true});
}

// Saving converts the target to vx24RGB unless it is vx24RGB or vx1g; its
// alpha channel becomes the AND masks and the 32-bit alpha.
void TVexlaneIO::SaveToFileICO(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileICO, FileName)) return;
  CodecSaveFile(FileName, kICOFileType, vxscTo24Bit);
}

void TVexlaneIO::SaveToStreamICO(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamICO, Stream)) return;
  CodecSaveStream(Stream, kICOFileType, vxscTo24Bit);
}

bool TVexlaneIO::LoadFromFileCUR(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileCUR, FileName)) return true;
  return CodecLoadFile(FileName, kCURFileType, TLoadSteps{true, true, true, true});
}

bool TVexlaneIO::LoadFromStreamCUR(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamCUR, Stream)) return true;
  return CodecLoadStream(Stream, kCURFileType, TLoadSteps{true, true, true, true});
}
