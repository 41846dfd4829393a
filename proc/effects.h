#pragma once
// Effects of the processing component: a fading reflection below the
// picture, a directional (motion) blur, Gaussian noise, and clearing a zone
// of the Fourier spectrum.

#include <cstdint>

#include "core/vxdefs.h"

class TVXBitmap;

// vx24RGB: the bitmap grows to twice its height and the new rows mirror the
// picture; the alpha of mirrored row r (counted in the picture, f = r / H)
// is max(minAlpha, min(maxAlpha, min(a, Trunc((f - (100 - percentage) / 100)
// x a)))) of the source alpha a, kept within 0 .. 255. The alpha channel is
// created when missing and is no longer Full afterwards.
void VXDoReflection(TVXBitmap* Bitmap, int32_t minAlpha, int32_t maxAlpha, int32_t percentage, void* Sender,
                    const TVXProgressEvent& OnProgress);

// vx8g or vx24RGB (its alpha channel too): each pixel becomes the weighted
// mean of max(2 radius + 1, 3) pixels from itself forward along the angle
// (degrees; 0 to the right, 90 downward), Gaussian weights of sigma taps.
// Nothing for sigma < 1 or an angle that is not a finite number.
void VXDoMotionBlur(TVXBitmap* Bitmap, int32_t radius, int32_t sigma, double angle, void* Sender,
                    const TVXProgressEvent& OnProgress);

// Replaces every pixel of x1..x2 - 1, y1..y2 - 1 (cut to the bitmap) by
// Gaussian noise g = mean + stdDev x z in units of full intensity: vx1g set
// when g > 0.5, vx8g clamp(Round(g x 255)), vx24RGB red, green and blue each
// from its own g. z comes from the polar method on the process's uniform
// generator.
void VXDoRandomFill(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double mean, double stdDev);

// A uniform number in [0, 1) from the process-wide generator (seeded once
// per process; any thread may call it).
double VXRandomUniform();

// vx24RGB: clears the rectangle tx1..tx2, ty1..ty2 of the spectrum picture
// that the preview dialog shows (the transform of the image reduced to
// TVXFtImage::CalcSuitableSourceSize) in the image's own transform, grey or
// colour, and writes the inverse transform back. Raises EVXException when
// the transform's grid is beyond the library's limits (the bitmap is then
// unchanged).
void VXDoFTClearZone(TVXBitmap* Bitmap, int32_t tx1, int32_t ty1, int32_t tx2, int32_t ty2, bool GrayScale,
                     void* Sender, const TVXProgressEvent& OnProgress);
