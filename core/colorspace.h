#pragma once
// Conversions of one TRGB pixel between RGB and the HSL and YCbCr models,
// shared by the blend operations, the codecs and the processing routines.

#include <cstdint>

#include "core/pixels.h"

// Hue, saturation and lightness in 0..1; a grey pixel has hue and saturation 0.
void VXRGBToHSL(TRGB Color, double& H, double& S, double& L);
// H is wrapped once into [0, 1], S and L are clamped to [0, 1]; each channel
// is rounded to nearest (halves to even) and clamped to 0..255.
TRGB VXHSLToRGB(double H, double S, double L);

// JFIF YCbCr: each component truncated and clamped to 0..255.
void VXRGBToYCbCr(int32_t& Y, int32_t& Cb, int32_t& Cr, TRGB rgb);
TRGB VXYCbCrToRGB(int32_t Y, int32_t Cb, int32_t Cr);
