// BMP reader: the stream as a file, as a bare device-independent bitmap and
// for its parameters only, in the default and the native pixel formats with
// and without transparency; what it decodes goes through the writer again.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/bmp.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

namespace {

void ReadAndWrite(const uint8_t* data, size_t size, bool native, bool noFileHeader, bool preview) {
  TVXMemStream in(data, int64_t(size));
  TVXBitmap bmp;
  TIOParamsVals params;
  params.IsNativePixelFormat = native;
  std::unique_ptr<TVXMask> mask;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadBMPStream(&in, &bmp, native ? int32_t(size) : 0, params, progress, preview, noFileHeader, mask, native);
  // The writer (its quantiser above all) on small images only: the fuzzer
  // stays fast.
  if (aborting || preview || bmp.IsEmpty() || int64_t(bmp.Width()) * bmp.Height() > 65536) return;
  if (mask) bmp.AlphaChannel()->CopyFromTVXMask(mask.get());
  TMemoryStream out;
  bool outAborting = false;
  TProgressRec outProgress;
  outProgress.Aborting = &outAborting;
  params.SetBMP_Compression(ioBMP_RLE);
  VXWriteBMPStream(&out, &bmp, params, outProgress, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keep images small enough for the fuzzer's memory limit.
  static const bool limited = [] {
    VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 22);
    return true;
  }();
  (void)limited;
  ReadAndWrite(data, size, false, false, false);
  ReadAndWrite(data, size, true, false, false);
  ReadAndWrite(data, size, false, false, true);
  if (size > 14) ReadAndWrite(data + 14, size - 14, true, true, false);
  return 0;
}
