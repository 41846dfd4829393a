// Point and rectangle records of the window system (POINT, RECT).
#pragma once

#include <cstdint>

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  constexpr bool operator==(const TPoint&) const = default;
};

// Right and Bottom are exclusive for the window system's own drawing; each
// user of a TRect says how it reads them.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  constexpr bool operator==(const TRect&) const = default;
};

// Width and height of the window system (SIZE).
struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  constexpr bool operator==(const TSize&) const = default;
};

constexpr TPoint Point(int32_t AX, int32_t AY) { return TPoint{AX, AY}; }
constexpr TRect Rect(int32_t ALeft, int32_t ATop, int32_t ARight, int32_t ABottom) {
  return TRect{ALeft, ATop, ARight, ABottom};
}
