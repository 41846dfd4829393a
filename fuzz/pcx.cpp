// PCX and DCX readers: the bytes as a PCX image (whole and with a shorter
// declared size) and as a DCX file at every page index the table could name.
#include <cstddef>
#include <cstdint>

#include "codecs/pcx.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int64_t declared : {int64_t(-1), int64_t(size / 2)}) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadPCXStream(&in, &bmp, params, progress, false, declared);
  }
  for (int32_t page : {0, 1, 3}) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    params.SetDCX_ImageIndex(page);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadDCXStream(&in, &bmp, params, progress, false);
  }
  return 0;
}
