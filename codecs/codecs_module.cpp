#include "codecs/codecs_module.h"

#include "codecs/png.h"
#include "io/codec_table.h"

namespace {

constexpr int32_t kPNGFileType = 8;

void ReadPNG(TVXCodecReadArgs& a) { VXReadPNGStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Preview); }

void WritePNG(TVXCodecWriteArgs& a) { VXWritePNGStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.AlphaMask); }

}  // namespace

void VXCodecsStartup() {
  TVXCodecOps png;
  png.Read = &ReadPNG;
  png.Write = &WritePNG;
  png.IsStream = &VXIsPNGStream;
  VXSetCodecOps(kPNGFileType, png);
}

void VXCodecsShutdown() {}
