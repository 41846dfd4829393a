// TIFF page tools: pages deleted from the input in place, one and several at
// a time; a rebuilt stream is counted and its first page read.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "formats/tiff_pages.h"
#include "io/params.h"

namespace {

void StartLibraryOnce() {
  static TVXLibraryGuard* library = new TVXLibraryGuard();
  (void)library;
  VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 22);
}

void ReadFirstPage(TStream* s) {
  s->SetPosition(0);
  VXGetTIFFStreamPageCount(s);
  s->SetPosition(0);
  TVXBitmap back;
  TIOParamsVals params;
  std::unique_ptr<TVXMask> mask;
  int32_t count = 0;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadTIFFStream(&back, s, count, params, progress, false, mask, true, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StartLibraryOnce();
  const int32_t single[][1] = {{0}, {1}};
  const int32_t several[] = {0, 2, 3};
  for (int k = 0; k < 3; ++k) {
    TMemoryStream s;
    s.WriteBuffer(data, int64_t(size));
    const int32_t kept = k < 2 ? VXTryDeleteTIFFStreamPage(&s, single[k][0]) : VXDeleteTIFFStreamPages(&s, several);
    if (kept > 0) ReadFirstPage(&s);
  }
  return 0;
}
