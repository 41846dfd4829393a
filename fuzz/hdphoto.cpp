// HD Photo reader through the imaging component: the bytes as a file, read
// with pixels, for the parameters only, and counted.
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/wic.h"
#include "fuzz/fuzz_library.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The formats module installs the imaging factory when the library starts.
  // Frames stay within 64 K pixels.
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  for (bool paramsOnly : {false, true}) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    params.IsNativePixelFormat = !paramsOnly;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadHDPhotoStream(&in, &bmp, params, paramsOnly, progress);
  }
  TVXMemStream in(data, int64_t(size));
  (void)VXGetHDPhotoStreamFrameCount(&in);
  return 0;
}
