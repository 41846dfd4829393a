// Icon and cursor readers: the first, a middle and the last entry of the
// directory, in the default and the native pixel formats, with the 256-pixel
// check, for the parameters only, and as resources without a directory.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/ico.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

namespace {

void Read(const uint8_t* data, size_t size, bool cursor, int32_t index, bool native, bool preview, bool resource) {
  TVXMemStream in(data, int64_t(size));
  TVXBitmap bmp;
  TIOParamsVals params;
  params.IsNativePixelFormat = native;
  params.SetIsResource(resource);
  params.SetImageIndex(index);
  std::unique_ptr<TVXMask> mask;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  try {
    if (cursor)
      VXReadCURStream(&in, &bmp, params, preview, progress, mask, native);
    else
      VXReadICOStream(&in, &bmp, params, preview, progress, mask, native, true);
  } catch (const EVXException&) {
    // "Unsupported pixel format" and "Not valid 256x256 Icon".
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keep images small enough for the fuzzer's memory limit.
  static const bool limited = [] {
    VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 22);
    return true;
  }();
  (void)limited;
  TVXMemStream in(data, int64_t(size));
  const int32_t count = VXGetICOStreamImageCount(&in);
  for (int32_t index : {0, count / 2, count - 1}) {
    Read(data, size, false, index, false, false, false);
    Read(data, size, false, index, true, false, false);
    Read(data, size, true, index, false, false, false);
  }
  Read(data, size, false, 0, false, true, false);
  Read(data, size, false, 0, false, false, true);
  Read(data, size, true, 0, false, false, true);
  return 0;
}
