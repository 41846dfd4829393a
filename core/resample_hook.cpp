#include "core/resample_hook.h"

constinit TVXResampleHooks VXResampleHooks{};

namespace {
[[noreturn]] void Missing() {
  throw EVXException("Resampling is not available: the processing library has not been started");
}
}  // namespace

bool VXResampleHooksReady() {
  const TVXResampleHooks& h = VXResampleHooks;
  return h.ResampleBitmap && h.Resample1Bit && h.ResampleGray8 && h.Stretch1BitAveraged && h.StretchNearest;
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
