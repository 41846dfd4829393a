// The soft shadow that the viewers can draw behind an image or a vector
// object: a blurred copy of the shape's outline offset from it.
#pragma once
#include <cstdint>

#include "core/pixels.h"

struct TVXVSoftShadow {
  bool Enabled = false;
  double Radius = 3.0;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  int32_t Intensity = 100;  // per cent
  TRGB ShadowColor{0, 0, 0};
  bool operator==(const TVXVSoftShadow&) const = default;
};
