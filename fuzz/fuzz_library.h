// The library's start-up for a fuzz target: made on the first input and kept
// for the life of the process. The library works on one processor, so that a
// fuzzer takes one and its reports come from the thread that read the input.
// With SmallImages the pixel limit is 4 Mpixels, so that pages and frames stay
// within the fuzzer's memory limit.
#pragma once
#include <cstdint>

#include "core/settings.h"
#include "core/startup.h"

inline void VXFuzzStartLibrary(bool SmallImages) {
  static TVXLibraryGuard* library = new TVXLibraryGuard();
  (void)library;
  VXGetGlobalSettings()->SetDefaultCoresCount(1);
  if (SmallImages) VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 22);
}
