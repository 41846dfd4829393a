#include "io/filecounts.h"

#include <algorithm>

#include "core/streams.h"
#include "core/textutils.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "io/vexlaneio.h"

namespace {

int32_t CountOf(const std::string& FileName, int32_t FileType) {
  const TVXCodecOps& ops = VXRequireCodecOps(FileType, vxcoCount);
  TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  // The counters walk a file's blocks a few bytes at a time: through a
  // buffer, not a system call each.
  const int64_t size = file.Size();
  TVXBufferedReadStream buffered(&file, int32_t(std::clamp<int64_t>(size, 1, 16384)), true);
  return ops.ImageCount(&buffered);
}

}  // namespace

int32_t VXGetDCXFileImageCount(const std::string& FileName) { return CountOf(FileName, 19); }

int32_t VXGetICOFileImageCount(const std::string& FileName) { return CountOf(FileName, 6); }

int32_t VXGetGIFFileImageCount(const std::string& FileName) {
  try {
    return CountOf(FileName, 2);
  } catch (...) {
    return 0;
  }
}

int32_t VXDeleteGIFFileFrame(const std::string& FileName, int32_t Index) {
  return VXRequireCodecOps(2, vxcoDelete).DeleteImage(FileName, Index);
}

int32_t VXGetTIFFFilePageCount(const std::string& FileName) { return CountOf(FileName, 1); }

int32_t VXDeleteTIFFFilePage(const std::string& FileName, int32_t Index) {
  return VXRequireCodecOps(1, vxcoDelete).DeleteImage(FileName, Index);
}

int32_t VXGetFileImageCount(const std::string& FileName) {
  const std::string ext = VXLowerFileExt(FileName, true);
  const TVXFileFormatInfo* info = VXFindFileFormatInfoByExtension(ext);
  const int32_t type = info ? info->FileType : 0;
  if (type != 0 && type != 15) {
    switch (type) {
      case 1: return VXGetTIFFFilePageCount(FileName);
      case 2: return VXGetGIFFileImageCount(FileName);
      case 6: return VXGetICOFileImageCount(FileName);
      case 19: return VXGetDCXFileImageCount(FileName);
      case 18:
      case 8196: return CountOf(FileName, 18);
      case 28:
      case 29: return CountOf(FileName, type);
      default: return 1;
    }
  }
  TVexlaneIO io;
  int32_t count;
  if (type == 15 || ext == ".avi") {
    count = io.OpenAVIFile(FileName);
    io.CloseAVIFile();
  } else {
    count = io.OpenMediaFile(FileName);
    io.CloseMediaFile();
  }
  return count;
}
