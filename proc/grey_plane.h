#pragma once
// The grey levels of a bitmap as one byte per pixel, rows top to bottom: a
// vx8g bitmap's own bytes, any other format through its vx8g conversion.

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/bitmap.h"

namespace vxproc {

inline std::vector<uint8_t> GreyPlane(TVXBitmap* Source) {
  const int32_t W = Source->Width(), H = Source->Height();
  std::vector<uint8_t> grey(size_t(W) * size_t(H));
  TVXBitmap converted;
  TVXBitmap* g = Source;
  if (Source->PixelFormat() != vx8g) {
    converted.Allocate(W, H, vx8g);
    converted.CopyAndConvertFormat(Source);
    g = &converted;
  }
  for (int32_t y = 0; y < H; ++y) std::memcpy(grey.data() + size_t(y) * size_t(W), g->ScanLine(y), size_t(W));
  return grey;
}

}  // namespace vxproc
