#pragma once
// Per-channel tone workers: gamma tables, histogram matching against a
// reference image, channel gains and the white balances built on them, the
// per-channel range stretch, recolouring (or re-alpha-ing) a connected region
// and colorizing.
//
// The workers process the whole bitmap they are given. Channel arrays are in
// memory order: blue, green, red for vx24RGB; red, green, blue for vx48RGB.
// Progress after each row y (counted from 0), when an event is given:
// Trunc(y x 100 / Height).

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"
#include "proc/colors.h"

class TVXBitmap;

// vx24RGB and vx48RGB: each selected channel v becomes
// clamp(Round(full x (v / full)^(1 / Gamma))), full being 255 or 65535.
// Other formats, an empty channel set or a gamma that is no number change
// nothing.
void VXDoGammaCorrect(TVXBitmap* Bitmap, double Gamma, TVXChannels Channel, void* Sender,
                      const TVXProgressEvent& OnProgress);

// Matches the histogram of each channel of Bitmap (vx24RGB or vx48RGB, where
// a 16-bit value counts as value div 256) to the same channel of Reference
// (vx24RGB): equalisation, then the inverse of the reference's cumulative
// map. Nothing when Reference is not vx24RGB or either bitmap is empty.
void VXMatchHistogram(TVXBitmap* Reference, TVXBitmap* Bitmap);
// One channel of that: RefHist holds the reference channel's 256 counts of
// RefCount pixels.
void VXMatchChannelHistogram(TVXBitmap* Bitmap, TVXChannel Channel, const int64_t* RefHist, int64_t RefCount);

// vx24RGB: every byte v of a channel becomes clamp(Trunc(v x gain)) (a
// product that is no number gives 0).
void VXApplyChannelGains(TVXBitmap* Bitmap, double GainBlue, double GainGreen, double GainRed, void* Sender,
                         const TVXProgressEvent& OnProgress);

// vx24RGB: per channel the count of non-zero bytes and their mean (0 when
// there are none).
void VXChannelMeansNonZero(TVXBitmap* Bitmap, double Means[3], int64_t Counts[3]);
// vx24RGB (bytes) and vx48RGB (words): the smallest and largest value of
// each channel (65535 and 0 when the bitmap is empty or of another format).
void VXChannelMinMax(TVXBitmap* Bitmap, int32_t Min[3], int32_t Max[3]);

// Gains that bring every channel's non-zero mean to the largest of them; a
// channel without any non-zero value keeps gain 1.
void VXDoWhiteBalanceGrayWorld(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress);
// Gains that bring the pixel at (WhiteX, WhiteY) (each channel at least 1) to
// every channel's maximum. Nothing for a point outside the bitmap.
void VXDoWhiteBalanceWhiteAt(TVXBitmap* Bitmap, int32_t WhiteX, int32_t WhiteY, void* Sender,
                             const TVXProgressEvent& OnProgress);
// Gains 255 / mean over the bright, unsaturated pixels (HSL saturation below
// 0.3, lightness above 0.7, hue outside 0.01 .. 0.04, 0.35 .. 0.5 and
// 0.57 .. 0.59); a channel without such pixels keeps gain 1.
void VXDoWhiteBalanceAutoWhite(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress);
// vx24RGB and vx48RGB: stretches every channel from its minimum .. maximum
// to 0 .. full: v := (v - min) x full div (max - min). A channel holding a
// single value stays as it is.
void VXDoAdjustGainOffset(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress);

// vx24RGB: the 4-connected region of colours within tolerance of (x, y)'s
// (VXMagicWandFill) takes newColor, or newAlpha in the alpha channel
// (created when missing, its full mark recomputed afterwards). Nothing for a
// point outside the bitmap.
void VXDoCastColor(TVXBitmap* Bitmap, int32_t x, int32_t y, TRGB newColor, int32_t tolerance, void* Sender,
                   const TVXProgressEvent& OnProgress);
void VXDoCastAlpha(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t newAlpha, int32_t tolerance, void* Sender,
                   const TVXProgressEvent& OnProgress);

// The colour of hue (0 .. 359) and saturation (0 .. 99) at the value
// Trunc(luminosity x grey), grey = (r, g, b weighted by the settings' grey
// coefficients) shr 8. vx8p: every palette entry (pixels untouched);
// vx24RGB: every pixel.
TRGB VXColorizeColor(TRGB Color, int32_t hue, int32_t saturation, double luminosity);
void VXDoColorize(TVXBitmap* Bitmap, int32_t hue, int32_t saturation, double luminosity, void* Sender,
                  const TVXProgressEvent& OnProgress);
