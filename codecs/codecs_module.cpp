#include "codecs/codecs_module.h"

#include "codecs/png.h"
#include "io/codec_table.h"

namespace {
constexpr int32_t kPNGFileType = 8;
}  // namespace

void VXCodecsStartup() {
  TVXCodecOps png;
  png.ReadStream = &VXReadPNGStream;
  png.WriteStream = &VXWritePNGStream;
  png.IsStream = &VXIsPNGStream;
  VXSetCodecOps(kPNGFileType, png);
}

void VXCodecsShutdown() {}
