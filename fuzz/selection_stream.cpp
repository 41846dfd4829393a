// The viewer's selection stream: loaded with each fitting rule (into a layer
// at another position than the one it names) and merged, into a viewer that
// already holds a selection. A damaged stream must raise and leave that
// selection as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "fuzz_library.h"
#include "view/vexlaneview.h"

namespace {

std::vector<int32_t> MaskPixels(TVexlaneView& v) {
  std::vector<int32_t> out;
  TVXMask* m = v.SelectionMask();
  for (int32_t y = 0; y < m->Height(); ++y)
    for (int32_t x = 0; x < m->Width(); ++x) out.push_back(m->GetPixel(x, y));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  for (int mode = 0; mode < 4; ++mode) {
    TVexlaneView v(nullptr);
    v.SetSelectionBase(vxsbBitmap);
    v.VXBitmap()->Allocate(40, 30, vx24RGB);
    v.Update();
    v.LayersAdd(24, 20, vx24RGB, 5, 7);
    if (mode == 3) v.SetSelectionMaskDepth(8);
    v.Select(2, 3, 12, 9);
    const std::vector<int32_t> before = MaskPixels(v);
    TVXMemStream in(data, int64_t(size));
    try {
      if (mode == 3)
        v.MergeSelectionFromStream(&in);
      else
        v.LoadSelectionFromStream(&in, mode == 0 ? vxrsNone : mode == 1 ? vxrsMoveToAdapt : vxrsSyncLayers);
    } catch (const EVXException&) {
      // Refused: the selection must be the one before.
      if (MaskPixels(v) != before || !v.Selected()) std::abort();
      continue;
    }
    // Whatever was taken fits the current image.
    if (v.SelectionMask()->Width() != 24 || v.SelectionMask()->Height() != 20) std::abort();
  }
  return 0;
}
