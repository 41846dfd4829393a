// The viewer's view-state stream ("VEXLANEVIEWSTATE", with the selection
// and layers streams inside): read into a viewer of two layers with a
// selection. A stream that raises leaves no saved selection behind.
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
  TVexlaneView v(nullptr);
  v.VXBitmap()->Allocate(8, 6, vx24RGB);
  v.LayersAdd(4, 4, vx24RGB, 2, 3);
  v.SetSelectionBase(vxsbBitmap);
  v.Select(1, 1, 3, 3);
  try {
    const bool read = v.LoadState(&in);
    if (!read && size >= 20 && in.Position() != 20) std::abort();
  } catch (const std::exception&) {
    if (v.SavedSelectionsCount() != 0) std::abort();
  }
  return 0;
}
