// WBMP reader, and the writer on what was read.
#include <cstddef>
#include <cstdint>

#include "codecs/wbmp.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  TVXBitmap bmp;
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadWBMPStream(&in, &bmp, params, progress, false);
  if (!aborting && !bmp.IsEmpty()) {
    TMemoryStream out;
    VXWriteWBMPStream(&out, &bmp, params, progress);
  }
  return 0;
}
