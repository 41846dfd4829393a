// GIF reader: the bytes read raw (frames 0 and 2, with and without pixels)
// and loaded by the I/O component, one frame alone and frames composed.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/gif.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "fuzz/fuzz_library.h"
#include "io/params.h"
#include "io/vexlaneio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The LZW hooks and the GIF codec record come with the library's start-up.
  VXFuzzStartLibrary(true);
  for (int32_t index : {0, 2})
    for (bool preview : {false, true}) {
      TVXMemStream in(data, int64_t(size));
      TVXBitmap bmp;
      TIOParamsVals params;
      params.SetGIF_ImageIndex(index);
      params.IsNativePixelFormat = index == 2;
      std::unique_ptr<TVXMask> mask;
      int32_t frames = 0;
      bool aborting = false;
      TProgressRec progress;
      progress.Aborting = &aborting;
      VXReadGIFStream(&in, &bmp, params, progress, mask, preview, false, frames);
    }
  for (int32_t index : {1, 4}) {
    for (bool raw : {false, true}) {
      TVXMemStream in(data, int64_t(size));
      TVexlaneIO io;
      io.Params().SetGIF_ImageIndex(index);
      io.Params().SetGIF_RAWLoad(raw);
      io.LoadFromStreamGIF(&in);
    }
  }
  return 0;
}
