#pragma once
// Small painting workers of the processing component: filling the work
// rectangle with one colour, a grid of dots, and red-eye removal. Each takes
// the work bitmap and its rectangle x1..x2 - 1, y1..y2 - 1 (cut to the
// bitmap).

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;

// Any format: vx1g bits are cleared when the colour's red is 0 and set
// otherwise, vx8g bytes take its grey level (the settings' coefficients),
// vx24RGB pixels the colour; other formats go through TVXBitmap::FillRect
// with the colour as a colour value.
void VXDoFill(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB FillColor,
              TProgressRec& Progress);

// vx24RGB: paints the pixels (x1 + i (Frequency + 1), y1 + j (Frequency + 1))
// with Color; Frequency 0 or less paints every pixel.
void VXDoPaintMark(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Frequency,
                   TRGB Color, TProgressRec& Progress);

// vx24RGB: pixels whose redness R / (G + B), weighted by the blue to green
// balance, exceeds 0.7 lose red, and less of their blue and green.
void VXDoRemoveRedEyes(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TProgressRec& Progress);
