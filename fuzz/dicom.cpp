// DICOM reader: the data set and the first, a middle and a far frame, in both
// range modes, and the frame counter. Frames stay within 64 K pixels.
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/dicom.h"
#include "fuzz_library.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  for (int32_t index : {0, 1, 1000}) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    params.SetImageIndex(index);
    params.SetDICOM_Range(index == 1 ? vxdrSetBlackWhite : vxdrAdjust);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadDicomStream(&in, params, &bmp, false, progress);
  }
  TVXMemStream in(data, int64_t(size));
  VXGetDicomStreamImageCount(&in);
  return 0;
}
