#pragma once
// Morphology on a square window of (2 x WindowSize + 1)^2 pixels: maximum
// (dilation), minimum (erosion), opening (minimum, then maximum) and closing
// (maximum, then minimum) of vx1g and vx24RGB images.
//
// Each pass reads a snapshot of the rectangle x1..x2-1, y1..y2-1 (x2 and y2
// cut to the bitmap) and writes the bitmap. Window positions outside the
// rectangle take its nearest row and column: the rectangle's border
// repeats and pixels outside it are never read. A colour pixel takes the
// whole colour of the window's first extreme grey in row-major order (grey
// by the settings' coefficients), so no new colours appear; when the whole
// window is black (maximum) or white (minimum) it keeps its own colour.
// Progress after each row y of pass p (0 or 1) is
// Trunc((y - y1 + 1 + p x rows) x step), step = 100 / (rows - 1 + 0.5),
// halved for the two-pass operations.

#include <cstdint>

#include "core/vxdefs.h"

class TVXBitmap;

// Operation codes of VXDoMorphFilter.
constexpr int32_t VXMorphMaximum = 0, VXMorphMinimum = 1, VXMorphOpening = 2, VXMorphClosing = 3;

// Dispatches by pixel format (vx1g, vx24RGB; others stay as they are).
// Codes other than 0..3 and WindowSize < 1 change nothing.
void VXDoMorphFilter(TVXBitmap* Bitmap, int32_t WindowSize, int32_t Op, void* Sender,
                     const TVXProgressEvent& OnProgress, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void VXMorphFilter1Bit(TVXBitmap* Bitmap, int32_t WindowSize, int32_t Op, void* Sender,
                       const TVXProgressEvent& OnProgress, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void VXMorphFilter24(TVXBitmap* Bitmap, int32_t WindowSize, int32_t Op, void* Sender,
                     const TVXProgressEvent& OnProgress, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
