#pragma once
// Linear neighbourhood filters: the general convolution, the 3x3 integer
// filter with its presets and user filter file, the Gaussian blur of whole
// images, sharpening, and the soft and inner shadows.
//
// Rectangles are x1, y1 inclusive and x2, y2 exclusive, each worker first
// cutting x2 to the width and y2 to the height.

#include <cstdint>
#include <span>
#include <string>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;

// A 3x3 integer filter: Values row after row (first row above the pixel,
// first column left of it) and the Divisor (0 acts as 1). 40 bytes in the
// user filter file.
struct TGraphFilter {
  int32_t Values[3][3] = {};
  int32_t Divisor = 0;
};

// ---- presets (filled by the processing module's start-up) ----
void VXCreateFilterPresets();
void VXFreeFilterPresets();
// Appends a copy of Filter under Name; returns its index.
int32_t VXAddFilterPreset(const TGraphFilter& Filter, const std::string& Name);
// The English name of built-in preset Index (0 .. 8); empty for others.
std::string VXBuiltInFilterPresetName(int32_t Index);
// The preset at Index (owned by the list). Raises EVXException ("List index
// out of bounds (n)") outside 0 .. count - 1.
const TGraphFilter* VXGetFilterPreset(int32_t Index);
std::string VXGetFilterPresetName(int32_t Index);
int32_t VXFilterPresetCount();

// ---- 3x3 filter ----
// vx24RGB: each channel becomes clamp(|sum of weight x neighbour| div
// Divisor), the image's border pixels replicated.
void VXApplyFilter3x3(TVXBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      TProgressRec& Progress);
// The same on a vx8g bitmap, without progress.
void VXApplyFilter3x3Gray(TVXBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2,
                          int32_t y2);
// The user filter file: the bytes 1, 3, 3 and the 40-byte filter. Loading
// changes Filter only when the header matches and all 40 bytes were read;
// false otherwise. Saving raises on a file error.
bool VXLoadGraphFilter(const std::string& FileName, TGraphFilter& Filter);
void VXSaveGraphFilter(const std::string& FileName, const TGraphFilter& Filter);
// The filter as text for the preview dialog: value "/" divisor for each of
// the nine values, row by row, nothing between them (nine 1 over 9 give
// "1/91/91/91/91/91/91/91/91/9").
void VXGraphFilterToText(const TGraphFilter& Filter, std::string& Text);

// ---- convolution ----
// vx24RGB, Factor not 0, odd kernel sizes with at least KernelWidth x
// KernelHeight weights (row after row, topmost first): each channel becomes
// clamp(Round(sum of weight x neighbour, in kernel order, x Factor)), the
// image's border pixels replicated. One band of rows per processor core
// (one for a file-held bitmap); progress of the first band on the calling
// thread.
void VXDoConvolve(TVXBitmap* Bitmap, std::span<const double> Kernel, void* Sender, const TVXProgressEvent& OnProgress,
                  int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Factor, int32_t KernelHeight,
                  int32_t KernelWidth);

// ---- Gaussian blur and sharpening ----
// Blurs a whole vx8g or vx24RGB bitmap in place (Sigma > 0; else nothing).
void VXDoGaussianBlur(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress, double Sigma);
// vx24RGB: v + (v - local mean) x Intensity / 10, truncated and clamped; the
// mean over a Neighbourhood-wide window without the pixel's row and column.
void VXDoSharpen(TVXBitmap* Bitmap, int32_t x1, int32_t y1, void* Sender, const TVXProgressEvent& OnProgress,
                 int32_t Neighbourhood, int32_t Intensity, int32_t y2, int32_t x2);
// vx24RGB: where |2 x (v - blurred)| >= Threshold x 255, v becomes
// clamp(Round((v - blurred) x Amount + v)).
void VXDoUnsharpMask(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                     const TVXProgressEvent& OnProgress, double Threshold, double Amount, double Radius);

// ---- shadows ----
// max(2 x max(|OffsetX|, |OffsetY|) + Trunc(5 x Radius), 1).
int32_t VXSoftShadowMargin(int32_t OffsetX, int32_t OffsetY, double Radius);
// ShadowColor is packed: red in bits 16..23, green 8..15, blue 0..7.
void VXDoAddSoftShadow(TVXBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, void* Sender,
                       const TVXProgressEvent& OnProgress, uint32_t ShadowColor, bool AdaptSize, int32_t Intensity,
                       double Radius);
void VXDoAddInnerShadow(TVXBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, void* Sender,
                        const TVXProgressEvent& OnProgress, uint32_t ShadowColor, double Radius);
// A shadow around the object x1..x2, y1..y2 (inclusive); returns the margin.
int32_t VXAddSoftShadowRect(TVXBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, int32_t x1, int32_t y1, int32_t x2,
                            int32_t y2, uint32_t ShadowColor, int32_t Intensity, double Radius);
