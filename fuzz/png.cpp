// PNG reader: the file as it comes, read in the default and in the native
// pixel formats, and what was read written back; read again through a row
// sink, which must see the outcome, the parameters and the rows of the read
// into a bitmap.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codecs/png.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/codec_table.h"
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

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

void ReadRows(const uint8_t* data, size_t size) {
  TVXBitmap whole;
  TIOParamsVals wholeParams;
  bool wholeAborting = false;
  {
    TVXMemStream in(data, int64_t(size));
    TProgressRec progress;
    progress.Aborting = &wholeAborting;
    VXReadPNGStream(&in, &whole, wholeParams, progress, false);
  }
  TVXBitmap untouched;
  TIOParamsVals params;
  bool aborting = false;
  bool took = false;
  int32_t rows = 0;
  TVXRowSink sink;
  sink.Start = [&](int32_t W, int32_t H, bool Alpha) {
    Check(W == whole.Width() && H == whole.Height() && whole.PixelFormat() == vx24RGB);
    Check(Alpha == whole.HasAlphaChannel());
    took = true;
    return true;
  };
  sink.Row = [&](int32_t Y, const uint8_t* Colour, const uint8_t* Alpha) {
    Check(Y == rows++);
    Check(std::memcmp(Colour, whole.ScanLine(Y), size_t(whole.Width()) * 3) == 0);
    if (Alpha != nullptr) Check(std::memcmp(Alpha, whole.AlphaChannel()->ScanLine(Y), size_t(whole.Width())) == 0);
  };
  TVXMemStream in(data, int64_t(size));
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadPNGStream(&in, &untouched, params, progress, false, &sink);
  Check(aborting == wholeAborting);
  Check(params.Width() == wholeParams.Width() && params.Height() == wholeParams.Height() &&
        params.BitsPerSample() == wholeParams.BitsPerSample() &&
        params.SamplesPerPixel() == wholeParams.SamplesPerPixel() && params.DpiX() == wholeParams.DpiX() &&
        params.DpiY() == wholeParams.DpiY() && params.ColorMapCount() == wholeParams.ColorMapCount() &&
        params.PNG_TextKeys() == wholeParams.PNG_TextKeys());
  if (took) Check(untouched.IsEmpty() && (aborting || rows == whole.Height()));
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
  ReadRows(data, size);
  return 0;
}
