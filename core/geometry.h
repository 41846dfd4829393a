#pragma once
// Geometry helpers shared by the selection shapes, the image effects and
// whatever fits an image into a box (document pages, previews).

#include <cstdint>
#include <vector>

#include "platform/win_geometry.h"

// n points of the cubic Bezier curve P0..P3 at t = 1/n, 2/n, .., 1 (t grows
// by adding 1/n), each coordinate rounded half to even. Points receives
// exactly n points; n < 1 gives none.
void VXBezierPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, std::vector<TPoint>& Points, int32_t n);

// Whether the rectangle with corners (x1, y1) and (x2, y2), given in any
// order, meets Left..Right x Top..Bottom; edges count.
bool VXRectsIntersect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Left, int32_t Top, int32_t Right,
                      int32_t Bottom);
// How much of the rectangle x1, y1, x2, y2 lies in the box, judged by its
// corner coordinates: 2 when all four lie within the box's ranges, 1 when
// it lies partly inside (one x and at least one y inside, or the other way
// round), 0 otherwise, also for a rectangle that covers the box with no
// coordinate inside it.
int32_t VXRectVisibility(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t x1, int32_t y1, int32_t x2,
                         int32_t y2);

// The size of a w x h image scaled by min(MaxW / w, MaxH / h), each side
// truncated and at least 1. NewW and NewH are left alone when w or h is 0.
void VXFitInBox(int32_t w, int32_t h, int32_t MaxW, int32_t MaxH, int32_t& NewW, int32_t& NewH);
