// PSD and PSB reader: with every layer asked for, with the single-layer rule
// only, and for the parameters alone.
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"
#include "core/layer.h"
#include "core/streams.h"
#include "formats/psd.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int mode = 0; mode < 3; ++mode) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    params.IsNativePixelFormat = mode != 1;
    TVXLayerList layers;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadPSDStream(&in, mode == 2 ? nullptr : &bmp, params, progress, mode == 0, &layers);
  }
  return 0;
}
