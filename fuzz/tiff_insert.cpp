// TIFF page insertion: a small page inserted into the page chain of the
// input at the first place, the second and past the end; the pages of a
// result that was not refused are counted and the new page read back.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "formats/tiff_write.h"
#include "fuzz/fuzz_library.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  TVXBitmap page;
  page.Allocate(5, 3, vx24RGB);
  page.Fill(0x336699);
  for (const int32_t index : {0, 1, 100}) {
    TMemoryStream s;
    s.WriteBuffer(data, int64_t(size));
    s.SetPosition(0);
    TIOParamsVals params;
    params.SetTIFF_ImageIndex(index);
    params.SetTIFF_Compression(ioTIFF_PACKBITS);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    const int32_t pages = VXWriteTIFFStream(&s, true, &page, progress, params);
    if (aborting || pages <= 0) continue;
    s.SetPosition(0);
    VXGetTIFFStreamPageCount(&s);
    s.SetPosition(0);
    TVXBitmap back;
    TIOParamsVals readParams;
    readParams.SetTIFF_ImageIndex(index < pages ? index : pages - 1);
    std::unique_ptr<TVXMask> mask;
    int32_t count = 0;
    bool readAborting = false;
    TProgressRec readProgress;
    readProgress.Aborting = &readAborting;
    VXReadTIFFStream(&back, &s, count, readParams, readProgress, false, mask, true, false);
  }
  return 0;
}
