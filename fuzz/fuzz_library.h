// The library's start-up for a fuzz target: made on the first input and kept
// for the life of the process. The library works on one processor, so that a
// fuzzer takes one and its reports come from the thread that read the input.
// With SmallImages the pixel limit is MaxPixels (4 Mpixels unless given), so
// that pages and frames stay within the fuzzer's memory limit; a target whose
// reader does work for every pixel a frame declares gives a small frame
// (64 K pixels), so that it runs hundreds of inputs a second.
#pragma once
#include <cstdint>

#include "core/settings.h"
#include "core/startup.h"

inline void VXFuzzStartLibrary(bool SmallImages, int64_t MaxPixels = int64_t(1) << 22) {
  static TVXLibraryGuard* library = new TVXLibraryGuard();
  (void)library;
  VXGetGlobalSettings()->SetDefaultCoresCount(1);
  if (SmallImages) VXGetGlobalSettings()->SetMaxImagePixels(MaxPixels);
}
