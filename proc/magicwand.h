#pragma once
// The magic wand: the area of colours similar to the one at a start point.
// A colour is similar when each of its red, green and blue differs from the
// start point's by at most Tolerance (0: the exact colour). Pixels of every
// format are read as colours (VXRowToRGB).

#include <cstdint>
#include <vector>

#include "platform/win_geometry.h"

class TVXBitmap;
class TVXMask;

// Sets Alpha in Mask at every pixel of the 4-connected similar area around
// (x, y); with MaxFilter the area grows by one pixel in every direction (a
// 3 x 3 dilation, cut to the image). A start point outside the bitmap does
// nothing.
void VXMagicWandFill(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Alpha, TVXMask* Mask, int32_t Tolerance,
                     bool MaxFilter);
// Sets Alpha at every similar pixel of the bitmap, connected or not. A start
// point outside the bitmap does nothing.
void VXMagicWandGlobal(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Alpha, TVXMask* Mask, int32_t Tolerance);
// The outline of the area VXMagicWandFill selects, along the outer edges of
// its pixels (the left edge of column x lies at x, its right edge at x + 1):
// the vertices where the traced direction changes, starting near the area's
// top-left corner and going clockwise. With MaxFilter the area grows by a
// pixel, but not past the area's own bounding box. Empty for a start point
// outside the bitmap.
std::vector<TPoint> VXMagicWandPolygon(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Tolerance, bool MaxFilter);
