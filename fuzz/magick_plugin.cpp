// The ImageMagick plug-in's load path: the bytes as a blob of one of the
// plug-in's file types that ImageMagick reads itself (no program it would
// run for them), the first byte choosing which, read with pixels and for
// the parameters only. ImageMagick's own limits keep the frames small.
// Without its libraries every load is refused at once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/magick_plugin.h"
#include "fuzz_library.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool limited = [] {
    setenv("MAGICK_WIDTH_LIMIT", "256", 1);
    setenv("MAGICK_HEIGHT_LIMIT", "256", 1);
    setenv("MAGICK_AREA_LIMIT", "64KP", 1);
    setenv("MAGICK_MEMORY_LIMIT", "64MiB", 1);
    setenv("MAGICK_DISK_LIMIT", "0", 1);
    setenv("MAGICK_THREAD_LIMIT", "1", 1);
    return true;
  }();
  (void)limited;
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  if (size < 1) return 0;
  // FITS, Cineon, DirectDraw, DPX, MATLAB, MIFF, PSB, TIFF64.
  static const int32_t kTypes[] = {8193, 8198, 8199, 8201, 8205, 8206, 8212, 8215};
  const int32_t type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  for (bool preview : {true, false}) {
    TVXMemStream in(data + 1, int64_t(size - 1));
    TVXBitmap bmp;
    TIOParamsVals params;
    params.SetFileType(type);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    TVXMiscPluginsImageMagick::ReadImageStream(&in, &bmp, params, progress, preview);
  }
  return 0;
}
