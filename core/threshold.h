// Threshold and error diffusion to black and white (vx1g, a set bit is white).
#pragma once

#include <cstdint>

#include "core/vxdefs.h"

class TVXBitmap;

// The grey level (R * RedToGrayCoef + G * GreenToGrayCoef + B *
// BlueToGrayCoef) div 100 by the global settings' coefficients, read when
// the object is made.
struct TVXGreyCoefs {
  int32_t r, g, b;
  TVXGreyCoefs();
  int32_t Grey(int32_t R, int32_t G, int32_t B) const { return (R * r + G * g + B * b) / 100; }
};

// Clears Histogram (256 counters) and counts the grey levels of the bitmap,
// any pixel format.
void VXCalcGrayHistogram(TVXBitmap* Bitmap, int32_t* Histogram);

// Writes the vx1g Target (reallocated to the source's size when it is not
// already a vx1g bitmap of that size) from Source: a pixel is white when its
// grey level is at least the threshold. Threshold -1 means the grey level of
// the source's average colour, -2 the maximum-entropy threshold of the grey
// histogram, any other value the level itself. A vx1g source is copied.
void VXConvertTo1BitThreshold(TVXBitmap* Source, TVXBitmap* Target, int32_t Threshold, TProgressRec& Progress);

// Error diffusion (Floyd-Steinberg, serpentine rows) of the grey levels of
// Source, any pixel format, into the vx1g Target of the same size (allocated
// when it is not). Progress after each row: y * 100 / Height.
void VXFloydSteinbergTo1Bit(TVXBitmap* Source, TVXBitmap* Target, void* Sender, const TVXProgressEvent& OnProgress);

// Replaces the bitmap by its Floyd-Steinberg dithered vx1g form.
void VXDoFloydSteinberg(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress);

// Grey level (R * RedToGrayCoef + G * GreenToGrayCoef + B * BlueToGrayCoef)
// div 100 of every pixel of row y, written to Out (Width bytes): the palette
// entry for vx8p, the value (div 256 for vx16g, times 255 clamped for vx32f)
// in all three channels for grey formats, the high bytes for vx48RGB, the
// colour for vxCMYK and vxCIELab.
void VXGrayLevelRow(TVXBitmap* Bitmap, int32_t y, uint8_t* Out);
