// The viewer's layers stream ("VEXLANELAYERS"): probed, then read into a
// viewer of two layers; what reads must have passed the probe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/bitmap.h"
#include "core/streams.h"
#include "fuzz_library.h"
#include "view/vexlaneview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  TVXMemStream in(data, int64_t(size));
  const bool probe = TVexlaneView::IsLayersStream(&in);
  if (in.Position() != 0) std::abort();
  TVexlaneView v(nullptr);
  v.VXBitmap()->Allocate(8, 6, vx24RGB);
  v.LayersAdd(4, 4, vx24RGB, 2, 3);
  try {
    const bool read = v.LayersLoadFromStream(&in);
    if (read && !probe) std::abort();
  } catch (const std::exception&) {
    // A damaged image raises from its reader.
  }
  return 0;
}
