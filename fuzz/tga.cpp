// Targa reader, with and without the alpha mask and for its parameters only.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/tga.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int mode = 0; mode < 3; ++mode) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    std::unique_ptr<TVXMask> mask;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadTGAStream(&in, &bmp, params, mode == 1, mask, mode == 2, progress);
  }
  return 0;
}
