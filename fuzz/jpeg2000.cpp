// JPEG 2000 reader: the bytes as they come (a JP2 file or a J2K code
// stream, whichever the probes find), with pixels and for the parameters only.
// The frames stay within 64 K pixels (jpeg2000_test checks the reader's own
// limit): a flat picture codes in a few hundred bytes whatever its size, so
// the declared size, not the input, sets the work, and OpenJPEG holds every
// component whole.
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/jpeg2000.h"
#include "fuzz_library.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  for (bool preview : {false, true}) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadJpeg2000Stream(&in, &bmp, params, progress, preview);
  }
  return 0;
}
