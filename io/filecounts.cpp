#include "io/filecounts.h"

#include "core/streams.h"
#include "io/codec_table.h"

namespace {

int32_t CountOf(const std::string& FileName, int32_t FileType) {
  const TVXCodecOps& ops = VXRequireCodecOps(FileType, vxcoCount);
  TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  return ops.ImageCount(&file);
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
