// Camera raw: the CIFF walks (metadata, maker note and previews; the largest
// preview) and the LibRaw reader, for the parameters alone and with pixels
// in 24 and 48 bits. The frames stay within 64 K pixels (camera_raw_test
// checks the reader's own limit), so that a frame's decoding costs little.
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/camera_raw.h"
#include "fuzz_library.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  {
    TVXMemStream in(data, int64_t(size));
    TIOParamsVals params;
    ReadRawExifAndJpeg(&in, params);
  }
  {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    VXLoadJpegFromCRWStream(&bmp, &in);
  }
  for (int mode = 0; mode < 3; ++mode) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    params.IsNativePixelFormat = mode == 2;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadRawStream(&in, &bmp, params, mode == 0, progress);
  }
  return 0;
}
