// TIFF reader: pages read raw in both pixel-format modes, a single tile, the
// second page, parameters only, the second page as an EXIF thumbnail of an
// EXIF block, and the I/O component's stream load.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "fuzz/fuzz_library.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

struct TMode {
  bool Native, Preview, Orient;
  int32_t Page, Tile;
  bool Thumb = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The LZW hook and the TIFF record come with the library's start-up.
  VXFuzzStartLibrary(true);
  for (const TMode& m : {TMode{false, false, false, 0, -1}, TMode{true, false, true, 0, -1},
                         TMode{true, false, false, 1, -1}, TMode{false, false, false, 0, 1},
                         TMode{false, true, false, 0, -1}, TMode{false, false, false, 1, -1, true}}) {
    TVXMemStream in(data, int64_t(size));
    TVXBitmap bmp;
    TIOParamsVals params;
    params.IsNativePixelFormat = m.Native;
    params.SetTIFF_ImageIndex(m.Page);
    params.SetTIFF_GetTile(m.Tile);
    params.SetTIFF_EnableAdjustOrientation(m.Orient);
    std::unique_ptr<TVXMask> mask;
    int32_t pages = 0;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXReadTIFFStream(&bmp, &in, pages, params, progress, m.Preview, mask, true, false, nullptr, m.Thumb, m.Thumb);
  }
  TVXMemStream in(data, int64_t(size));
  TVexlaneIO io;
  io.LoadFromStreamTIFF(&in);
  return 0;
}
