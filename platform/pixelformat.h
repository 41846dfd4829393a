#pragma once
// Pixel formats of the platform's bitmap class (TBitmap.PixelFormat), in the
// platform's own order.

#include <cstdint>

enum TPixelFormat : uint8_t {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};
