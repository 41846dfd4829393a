// The I/O component's JPEG 2000 operations: one load core for JP2 files and
// J2K code streams (the reader takes either; the operation decides the file
// type recorded), and the save core that writes grey and RGB images as a JP2
// file or a bare code stream.
#include <string>

#include "core/bitmap.h"
#include "io/codec_table.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kJP2FileType = 13, kJ2KFileType = 14;

// What the writer takes; other formats are converted first.
constexpr TVXPixelFormatSet kJpeg2000Formats{vx1g, vx8g, vx16g, vx24RGB};

}  // namespace

bool TVexlaneIO::LoadFromFileJP2(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileJP2, FileName)) return true;
  return CodecLoadFile(FileName, kJP2FileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromStreamJP2(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamJP2, Stream)) return true;
  return CodecLoadStream(Stream, kJP2FileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromFileJ2K(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileJ2K, FileName)) return true;
  return CodecLoadFile(FileName, kJ2KFileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromStreamJ2K(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamJ2K, Stream)) return true;
  return CodecLoadStream(Stream, kJ2KFileType, TLoadSteps{});
}

void TVexlaneIO::SaveJpeg2000File(const std::string& FileName, int32_t FileType) {
  SaveFilePattern(
      FileName, FileType,
      [&] {
        VXRequireCodecOps(FileType, vxcoSave);
        MakeConsistentBitmap(kJpeg2000Formats);
      },
      [&](TStream* Stream) { CodecWrite(Stream, FileType, false); });
}

void TVexlaneIO::SaveJpeg2000Stream(TStream* Stream, int32_t FileType) {
  SaveStreamPattern([&] {
    VXRequireCodecOps(FileType, vxcoSave);
    MakeConsistentBitmap(kJpeg2000Formats);
    CodecWrite(Stream, FileType, false);
  });
}

void TVexlaneIO::SaveToFileJP2(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileJP2, FileName)) return;
  SaveJpeg2000File(FileName, kJP2FileType);
}

void TVexlaneIO::SaveToStreamJP2(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamJP2, Stream)) return;
  SaveJpeg2000Stream(Stream, kJP2FileType);
}

void TVexlaneIO::SaveToFileJ2K(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileJ2K, FileName)) return;
  SaveJpeg2000File(FileName, kJ2KFileType);
}

void TVexlaneIO::SaveToStreamJ2K(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamJ2K, Stream)) return;
  SaveJpeg2000Stream(Stream, kJ2KFileType);
}
