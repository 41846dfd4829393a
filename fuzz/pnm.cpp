// PBM/PGM/PPM reader: default and native pixel formats, and the header alone.
#include <cstddef>
#include <cstdint>

#include "codecs/pnm.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int mode = 0; mode < 3; ++mode) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    params.IsNativePixelFormat = mode == 1;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadPXMStream(&in, &bmp, params, progress, mode == 2);
  }
  return 0;
}
