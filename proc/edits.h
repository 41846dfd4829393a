#pragma once
// Worker routines of the canvas and whole-image edits of TVexlaneProc:
// merge, negative, selection fill, automatic crop and rounded corners.
// Rectangles are x1, y1 inclusive and x2, y2 exclusive, cut to the bitmap.

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"
#include "platform/win_geometry.h"

class TVXBitmap;
class TVXMask;

// Blends DBitmap, stretched by nearest pixel to the rectangle, into the
// vx24RGB Bitmap: clamp(Round(own * pcf / 100 + other * (100 - pcf) / 100)).
void VXDoMerge(TVXBitmap* Bitmap, TVXBitmap* DBitmap, int32_t pcf, void* Sender, const TVXProgressEvent& OnProgress,
               int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// The negative of the rectangle, for every pixel format (vx8p: the palette).
void VXDoNegative(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                  const TVXProgressEvent& OnProgress);
// Selected pixels take Value (a colour value as TVXBitmap::Fill takes it),
// blended by partial mask values. Nothing for an empty mask.
void VXFillSelection(TVXBitmap* Bitmap, TVXMask* mask, TColor Value);
// Each of red, green and blue of b differs from a by at most Tolerance.
bool VXColorsWithinTolerance(int32_t Tolerance, TRGB a, TRGB b);
// The rectangle (inclusive corners) inside borders whose row and column
// brightness sums depart from their mean by at least mean / BorderRate.
void VXAutoCrop2Rect(TVXBitmap* Bitmap, TRect& Rect, double BorderRate);
// Clears the alpha channel (created when missing) in the four corners along
// a cubic curve of RoundWidth x RoundHeight, then updates its Full mark.
void VXDoRoundImage(TVXBitmap* Bitmap, int32_t RoundWidth, int32_t RoundHeight, void* Sender,
                    const TVXProgressEvent& OnProgress);
