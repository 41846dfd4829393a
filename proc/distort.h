#pragma once
// Distortion and lighting workers: an elliptical glass lens, concentric
// ripples, bump mapping lit by a lamp, and a per-channel radial stretch.
// Each works on a vx24RGB bitmap and does nothing for another format; the
// processing component and the preview dialog call them with the work
// bitmap (the selection's bounding box or the whole image).

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;

// A lens of Width x Height centred on (cx, cy), the box cut to the image.
// Pixels inside the ellipse are refracted through a glass of index
// |Refraction| (negative: a concave lens); nothing for |Refraction| < 1.
// Progress: Trunc(column x 100 / columns) after each column of the box.
void VXDoLens(TVXBitmap* Bitmap, int32_t cx, int32_t cy, int32_t Width, int32_t Height, double Refraction,
              TProgressRec& Progress);

// Ripples from the centre, elliptical on a non-square image, sampled
// bilinearly; reflective takes |sin| as the displacement along the radius.
// Nothing when amplitude or wavelength is 0. phase is in degrees.
void VXDoWave(TVXBitmap* Bitmap, int32_t amplitude, int32_t wavelength, int32_t phase, bool reflective,
              TProgressRec& Progress);

// Lights the rectangle x1..x2 - 1, y1..y2 - 1 as a relief of its grey levels
// (the settings' coefficients) under a lamp at (LightX, LightY) of spread
// LampX, LampY: each channel keeps pcf per cent of itself and gains the rest
// from the light map times Color. Nothing when LampX or LampY is 0.
void VXDoBumpMapping(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t LightX,
                     int32_t LightY, int32_t LampX, int32_t LampY, int32_t pcf, TRGB Color, TProgressRec& Progress);

// Coefficients of one channel's radial stretch s(r) = A r^3 + B r^2 + C r + D.
struct TVXRadialCoefs {
  double A = 0, B = 0, C = 0, D = 1;
};

// Each channel's target pixel at offset (dx, dy) from the centre (Width div
// 2, Height div 2) takes the source at the centre plus (Round(dx s),
// Round(dy s)), r being the distance over min(Width, Height) / 2; sources
// outside the image give 0. The alpha channel follows the blue channel.
// Red, Green and Blue hold the channels' coefficients.
void VXDoRadialStretch(TVXBitmap* Bitmap, const TVXRadialCoefs& Red, const TVXRadialCoefs& Green,
                       const TVXRadialCoefs& Blue, TProgressRec& Progress);
