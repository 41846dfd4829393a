#pragma once
// Geometry helpers shared by the selection shapes and the image effects.

#include <cstdint>
#include <vector>

#include "platform/win_geometry.h"

// n points of the cubic Bezier curve P0..P3 at t = 1/n, 2/n, .., 1 (t grows
// by adding 1/n), each coordinate rounded half to even. Points receives
// exactly n points; n < 1 gives none.
void VXBezierPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, std::vector<TPoint>& Points, int32_t n);
