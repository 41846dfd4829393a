#pragma once
// Colour adjustments of whole vx24RGB images through per-pixel formulas or
// tables: saturation, tint, brightness with contrast and saturation, HSV
// histogram equalisations, contrast curves, an intensity bump, colour
// temperature and grey-to-colour maps. Unless a worker takes a rectangle it
// processes the whole bitmap and reports Trunc(row / height x 100) after each
// row.

#include <cstdint>
#include <span>

#include "core/pixels.h"
#include "core/vxdefs.h"
#include "platform/win_geometry.h"

class TVXBitmap;

// Integer HSV with saturation and value 0..255: V = max, S = (max - min) x
// 255 div max, H 0..359.
void VXRGBToHSVInt(TRGB rgb, int32_t& H, int32_t& S, int32_t& V);
TRGB VXHSVIntToRGB(int32_t H, int32_t S, int32_t V);

// sRGB colours of a black body from 1000 K to 40000 K, steps of 100 K.
extern const uint8_t VXBlackBodyTable[391][3];  // red, green, blue

// Progress of a worker that is one step of a longer operation: reports
// Base + Trunc(row / height x Weight x 100).
void VXDoAdjustSaturation(TVXBitmap* Bitmap, int32_t Amount, void* Sender, const TVXProgressEvent& OnProgress,
                          int32_t Base = 0, double Weight = 1);
// Pixels whose channels lie between FixedStart's and FixedEnd's stay (only
// when Protect).
void VXDoAdjustTint(TVXBitmap* Bitmap, int32_t Amount, bool Protect, TRGB FixedStart, TRGB FixedEnd, void* Sender,
                    const TVXProgressEvent& OnProgress);
void VXDoAdjustBrightnessContrastSaturation(TVXBitmap* Bitmap, int32_t Brightness, int32_t Contrast,
                                            int32_t Saturation, void* Sender, const TVXProgressEvent& OnProgress);
// Value equalised with the levels' counts raised to Amount (empty levels
// weigh 0 for a negative Amount).
void VXDoContrast2(TVXBitmap* Bitmap, double Amount, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoAdjustLumSatHistogram(TVXBitmap* Bitmap, double Saturation, double Luminance, void* Sender,
                               const TVXProgressEvent& OnProgress);
void VXDoIntensity(TVXBitmap* Bitmap, int32_t LoLimit, int32_t HiLimit, int32_t Change, bool UseAverageRGB,
                   bool DoRed, bool DoGreen, bool DoBlue, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoContrast3(TVXBitmap* Bitmap, int32_t Change, int32_t Midpoint, bool DoRed, bool DoGreen, bool DoBlue,
                   void* Sender, const TVXProgressEvent& OnProgress);
// The rectangle x1..x2, y1..y2 (exclusive ends, cut to the bitmap) through
// the black-body colour of temperature (kelvin, 1000..40000).
void VXDoAdjustTemperature(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t temperature,
                           void* Sender, const TVXProgressEvent& OnProgress);
// Each pixel of the rectangle takes Map[grey level]; Map holds 256 entries.
void VXDoMapGrayToColor(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, std::span<const TRGB> Map);
