#pragma once
// Random images for the processing tests.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "core/bitmap.h"

namespace procfixture {

// Random bytes in every pixel (vx32f: values 0 .. 1).
inline std::unique_ptr<TVXBitmap> Noise(int32_t w, int32_t h, TVXPixelFormat fmt, uint32_t seed) {
  auto b = std::make_unique<TVXBitmap>(w, h, fmt);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b->ScanLine(y));
    if (fmt == vx32f) {
      for (int32_t x = 0; x < w; ++x) {
        const float v = float(rng() % 1025) / 1024.0f;  // exact in both directions of 1 - v
        std::memcpy(row + 4 * x, &v, 4);
      }
    } else {
      for (int64_t i = 0; i < (int64_t(w) * b->BitCount() + 7) / 8; ++i) row[i] = uint8_t(rng());
    }
  }
  return b;
}

// A smooth picture with some noise, like a photo.
inline std::unique_ptr<TVXBitmap> Photo(int32_t w, int32_t h) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  std::mt19937 rng(7);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const double ring = 0.5 + 0.5 * std::sin(0.15 * std::hypot(x - w * 0.4, y - h * 0.6));
      const int n = int(rng() % 17) - 8;
      auto c = [&](double v) { return uint8_t(std::clamp(int(v) + n, 0, 255)); };
      b->SetPixels_vx24RGB(x, y, TRGB{c(150 * (1.0 - double(x) / w) + 80 * ring), c(200.0 * y / h + 40 * ring),
                                      c(180.0 * x / w + 60 * ring)});
    }
  return b;
}

}  // namespace procfixture
