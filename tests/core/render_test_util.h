// Helpers of the rendering tests: small fixtures in every pixel format and
// the rendering call with its defaults.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include "core/bitmap.h"

namespace render_test {

inline TRGB RGB(int r, int g, int b) { return TRGB{uint8_t(b), uint8_t(g), uint8_t(r)}; }

// A vx24RGB destination filled with one colour.
inline std::unique_ptr<TVXBitmap> Canvas(int w, int h, TRGB fill = TRGB{0, 0, 0}) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->SetPixels_vx24RGB(x, y, fill);
  return b;
}

// A bitmap whose pixel at (x, y) gets a byte pattern from Seed(x, y, k) for
// its k-th byte.
inline std::unique_ptr<TVXBitmap> Pattern(int w, int h, TVXPixelFormat f) {
  auto b = std::make_unique<TVXBitmap>(w, h, f);
  const int bytes = int((int64_t(w) * VXPixelFormatBitCount[f] + 7) / 8);
  for (int y = 0; y < h; ++y) {
    uint8_t* r = static_cast<uint8_t*>(b->ScanLine(y));
    for (int i = 0; i < bytes; ++i) r[i] = uint8_t((i * 67 + y * 101 + 29) ^ (i * y));
  }
  if (f == vx32f)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b->SetPixels_vx32f(x, y, float((x * 7 + y * 13) % 29) / 27.0f - 0.02f);
  if (f == vx8p) {
    for (int i = 0; i < 256; ++i) b->SetPalette(i, RGB(i, 255 - i, (i * 5) % 256));
  }
  return b;
}

struct RenderArgs {
  int xDst = 0, yDst = 0, dxDst = 0, dyDst = 0, xSrc = 0, ySrc = 0, dxSrc = 0, dySrc = 0;
  bool EnableAlpha = true, Solid = false;
  int Transparency = 255;
  TResampleFilter Filter = rfNone;
  TVXRenderOperation Op = vxlNormal;
  double Opacity = 1;
  const TRect* Upd = nullptr;
};

inline void Render(TVXBitmap& src, TVXBitmap& dst, const RenderArgs& a) {
  uint8_t** rows = nullptr;
  int32_t* xl = nullptr;
  int32_t* yl = nullptr;
  src.RenderToTVXBitmap(&dst, rows, xl, yl, a.Upd, a.xDst, a.yDst, a.dxDst, a.dyDst, a.xSrc, a.ySrc, a.dxSrc, a.dySrc,
                        a.EnableAlpha, a.Solid, a.Transparency, a.Filter, true, a.Op, a.Opacity);
}

// Source rectangle = the whole source, destination = (x, y, w, h).
inline RenderArgs Whole(const TVXBitmap& src, int x, int y, int w, int h) {
  RenderArgs a;
  a.xDst = x;
  a.yDst = y;
  a.dxDst = w;
  a.dyDst = h;
  a.dxSrc = src.Width();
  a.dySrc = src.Height();
  return a;
}

inline bool SameRows(TVXBitmap& a, TVXBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(a.Width()) * 3) != 0) return false;
  return true;
}

}  // namespace render_test
