#pragma once
// Random images for the processing tests.

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

}  // namespace procfixture
