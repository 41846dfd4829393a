// PNG reader: the file as it comes, read in the default and in the native
// pixel formats, and what was read written back.
#include <cstddef>
#include <cstdint>

#include "codecs/png.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

namespace {

void ReadAndWrite(const uint8_t* data, size_t size, bool native) {
  TVXMemStream in(data, int64_t(size));
  TVXBitmap bmp;
  TIOParamsVals params;
  params.IsNativePixelFormat = native;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadPNGStream(&in, &bmp, params, progress, false);
  if (aborting || bmp.IsEmpty()) return;
  TMemoryStream out;
  bool outAborting = false;
  TProgressRec outProgress;
  outProgress.Aborting = &outAborting;
  TVXMask mask;
  TVXMask* m = nullptr;
  if (bmp.HasAlphaChannel()) {
    bmp.AlphaChannel()->CopyToTVXMask(&mask);
    m = &mask;
  }
  try {
    VXWritePNGStream(&out, &bmp, params, outProgress, m);
  } catch (const EVXException&) {
    // libpng may refuse what the parameters ask for.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keep images small enough for the fuzzer's memory limit.
  static const bool limited = [] {
    VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 22);
    return true;
  }();
  (void)limited;
  ReadAndWrite(data, size, false);
  ReadAndWrite(data, size, true);
  return 0;
}
