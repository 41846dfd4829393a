// Virtual image list: a saved list loaded into a list on a memory store, and
// every loaded image lent out and returned.
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/virtualimagelist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool limited = [] {
    VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 22);
    return true;
  }();
  (void)limited;
  TVXVirtualImageList list("ILIST", false);
  list.SetMaxImagesInMemory(2);
  TVXMemStream in(data, int64_t(size));
  if (!list.LoadFromStream(&in)) return 0;
  for (int32_t i = 0; i < list.ImageCount(); ++i) {
    void* image = list.GetImageFromIndex(i);
    TVXBitmap* b = list.GetBitmap(image);
    list.ReleaseBitmap(b, false);
    list.GetAlphaBits(image);
  }
  return 0;
}
