// Pixel helpers of the canvas tests: white 24-bit platform bitmaps to draw
// on, and masks of the pixels a drawing changed.
#pragma once

#include <initializer_list>
#include <memory>
#include <vector>

#include "gui/graphics.h"

namespace canvas_pixels {

// A white w x h platform bitmap of 24 bits.
inline std::unique_ptr<TBitmap> WhiteBitmap(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  b->Canvas()->Brush()->SetColor(clWhite);
  b->Canvas()->FillRect(TRect{0, 0, w, h});
  return b;
}

// The pixels of a 24-bit platform bitmap that are not white, as a mask
// (row-major, 1 = changed).
inline std::vector<int> Changed(TBitmap& b) {
  std::vector<int> m(size_t(b.Width()) * size_t(b.Height()));
  for (int y = 0; y < b.Height(); ++y) {
    const auto* p = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int x = 0; x < b.Width(); ++x)
      m[size_t(y) * size_t(b.Width()) + size_t(x)] = (p[3 * x] != 255 || p[3 * x + 1] != 255 || p[3 * x + 2] != 255);
  }
  return m;
}

// The mask of the given rectangles (each Left..Right-1 x Top..Bottom-1) in a
// w x h picture.
inline std::vector<int> RectMask(int w, int h, std::initializer_list<TRect> rects) {
  std::vector<int> m(size_t(w) * size_t(h));
  for (const TRect& r : rects)
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (x >= 0 && y >= 0 && x < w && y < h) m[size_t(y) * size_t(w) + size_t(x)] = 1;
  return m;
}

}  // namespace canvas_pixels
