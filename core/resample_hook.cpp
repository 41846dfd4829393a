#include "core/resample_hook.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

constinit TVXResampleHooks VXResampleHooks{};

namespace {

void FitImageSize(int32_t ImageWidth, int32_t ImageHeight, int32_t BoxWidth, int32_t BoxHeight, int32_t& OutWidth,
                  int32_t& OutHeight) {
  double factor;
  if (double(ImageWidth) / double(BoxWidth) > double(ImageHeight) / double(BoxHeight))
    factor = double(BoxWidth) / double(ImageWidth);
  else
    factor = double(BoxHeight) / double(ImageHeight);
  auto side = [factor](int32_t s) {
    double v = std::nearbyint(double(s) * factor);
    if (v > double(INT32_MAX)) return INT32_MAX;
    return std::max<int32_t>(1, int32_t(v));
  };
  OutWidth = side(ImageWidth);
  OutHeight = side(ImageHeight);
}

int32_t Saturate32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }


}  // namespace

void VXCalcResampleSize(int32_t& W, int32_t& H, int32_t SrcWidth, int32_t SrcHeight, bool MaintainAspect) {
  const bool fit = MaintainAspect && W >= 1 && H >= 1;
  if (W < 0 && H < 0) return;
  int64_t w;
  if (W == -1)
    w = SrcHeight != 0 ? int64_t(H) * SrcWidth / SrcHeight : 0;
  else if (W == 0)
    w = SrcWidth;
  else
    w = std::llabs(int64_t(W));
  if (w < 1) w = 1;
  int64_t h;
  if (H == -1)
    h = SrcWidth != 0 ? w * SrcHeight / SrcWidth : 0;
  else if (H == 0)
    h = SrcHeight;
  else
    h = std::llabs(int64_t(H));
  if (h < 1) h = 1;
  W = Saturate32(w);
  H = Saturate32(h);
  if (fit && SrcWidth > 0 && SrcHeight > 0) FitImageSize(SrcWidth, SrcHeight, W, H, W, H);
}

namespace {
[[noreturn]] void Missing() {
  throw EVXException("Resampling is not available: the resampling library has not been started");
}
}  // namespace

bool VXResampleHooksReady() {
  const TVXResampleHooks& h = VXResampleHooks;
  return h.ResampleBitmap && h.Resample1Bit && h.ResampleGray8 && h.Stretch1BitAveraged && h.StretchNearest &&
         h.ResampleInPlace;
}

void VXHookResampleBitmap(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) {
  if (!VXResampleHooks.ResampleBitmap) Missing();
  VXResampleHooks.ResampleBitmap(Source, Target, Filter);
}

void VXHookResample1Bit(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) {
  if (!VXResampleHooks.Resample1Bit) Missing();
  VXResampleHooks.Resample1Bit(Source, Target, Filter);
}

void VXHookResampleGray8(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) {
  if (!VXResampleHooks.ResampleGray8) Missing();
  VXResampleHooks.ResampleGray8(Source, Target, Filter);
}

void VXHookStretch1BitAveraged(TVXBaseBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                               TVXBaseBitmap* Target) {
  if (!VXResampleHooks.Stretch1BitAveraged) Missing();
  VXResampleHooks.Stretch1BitAveraged(Source, x1, y1, x2, y2, Target);
}

void VXHookStretchNearest(TVXBaseBitmap* Source, TVXBaseBitmap* Target) {
  if (!VXResampleHooks.StretchNearest) Missing();
  VXResampleHooks.StretchNearest(Source, Target);
}

void VXHookResampleInPlace(TVXBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
  if (!VXResampleHooks.ResampleInPlace) Missing();
  VXResampleHooks.ResampleInPlace(Bitmap, NewWidth, NewHeight, Filter);
}
