#pragma once
// Histograms, colour counts, mean colours, standard deviation, and the tone
// operations built on per-level tables: contrast, thresholds and histogram
// equalisation. Rectangles are x1, y1 inclusive and x2, y2 exclusive, cut to
// the bitmap; the modifying workers report progress after each row y as
// Trunc((y - y1 + 1) x 100 / (rows - 1 + 0.5)).

#include <cstdint>
#include <vector>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;
class TVXMask;

struct THistogramItem {
  uint32_t R = 0, G = 0, B = 0, Gray = 0, Hue = 0;
};
using TVXHistogram = std::vector<THistogramItem>;

// A set of the histogram's channels.
using TVXHistogramContent = uint8_t;
constexpr TVXHistogramContent vxhcRed = 1, vxhcGreen = 2, vxhcBlue = 4, vxhcGray = 8, vxhcHue = 16;

// 360 items for Content exactly vxhcHue, else one per level (256; 65536 for
// vx16g); counts the pixels of the rectangle inside the mask (image
// coordinates; no mask or an empty one: all). vx8g, vx16g and vx24RGB only.
void VXCalcHistogram(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXHistogram& Hist,
                     TVXHistogramContent Content, TVXMask* mask);
// Distinct colours of a vx24RGB rectangle; 2 for vx1g, 0 for other formats.
int32_t VXCountColors(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Truncated means of the rectangle's pixels inside the mask (tested at the
// pixel's position plus the mask's box origin); black without pixels.
void VXCalcAverageRGBRect(TVXBitmap* Bitmap, TVXMask* mask, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                          TRGB& Result);
// Means over a grid of about SampleCount pixels kept inside the rectangle,
// and the spread of their HSV hues.
void VXSampleAverageRGB(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t SampleCount,
                        TRGB& Result, int32_t& HueSpread);
// Mean of the three channels' standard deviations (the means taken over the
// whole bitmap's non-zero samples; 0 for a channel without any).
double VXCalcStdDevRect(TVXBitmap* Bitmap, TVXMask* mask, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Contrast around the pivots (the image's channel means): k = vv / 10 + 1
// for vv >= 0, else 1 - sqrt(-vv) / 10.
void VXDoContrast(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double vv, int32_t PivotR,
                  int32_t PivotG, int32_t PivotB, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoThreshold(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB DownLimit, TRGB UpLimit,
                   TRGB DownVal, TRGB UpVal, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoThreshold2(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t LoThreshold,
                    int32_t HiThreshold, bool Red, bool Green, bool Blue, void* Sender,
                    const TVXProgressEvent& OnProgress);
void VXDoHistAutoEqualize(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                          const TVXProgressEvent& OnProgress);
void VXDoHistEqualize(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB LoThresh,
                      TRGB HiThresh, void* Sender, const TVXProgressEvent& OnProgress);
