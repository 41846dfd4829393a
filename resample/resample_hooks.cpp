// The resampling module's start-up and shut-down: hands the resamplers to the
// core, whose rendering and merging reach them through its resampling hook.

#include "core/resample_hook.h"
#include "resample/resample.h"

void VXRegisterResampleHooks() {
  VXResampleHooks.ResampleBitmap = [](TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) {
    VXResampleBitmap(Source, Target, Filter);
  };
  VXResampleHooks.Resample1Bit = &VXResample1Bit;
  VXResampleHooks.ResampleGray8 = &VXResampleGray8;
  VXResampleHooks.Stretch1BitAveraged = &VXStretch1BitAveraged;
  VXResampleHooks.StretchNearest = [](TVXBaseBitmap* Source, TVXBaseBitmap* Target) {
    VXStretchNearest(Source, Target);
  };
  VXResampleHooks.ResampleInPlace = [](TVXBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight,
                                       TResampleFilter Filter) {
    VXResampleInPlace(Bitmap, Filter, NewWidth, NewHeight);
  };
}

void VXUnregisterResampleHooks() { VXResampleHooks = TVXResampleHooks{}; }
