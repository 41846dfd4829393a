#pragma once
// Cleaning filters: speck removal on vx1g images, the kFill filter for
// salt-and-pepper noise, the running-histogram median filter family and the
// Wallis local-contrast filter.
//
// Implementation files:
//   proc/despeckle.cpp  VXDoRemoveIsolatedPixels, VXDoRemoveNoise
//   proc/median.cpp     VXDoMedianFilter
//   proc/wallis.cpp     VXDoWallisFilter

#include <cstdint>

#include "core/vxdefs.h"

class TVXBitmap;

// Modes of the median filter: median-guided smoothing, sharpening against
// the neighbour nearest the window mean, edge extraction to black and white.
enum TVXMedFilType { mfMedianFilter, mfSharpen, mfEdgeExtract };

// vx1g only, nothing when PixelsCount is 0. In the rectangle x1..x2-1,
// y1..y2-1 (cut to the bitmap) every pixel of the noise colour (white when
// NoiseColor != 0, black when 0) with at most PixelsCount pixels of that
// colour in its 3 x 3 block, itself included, takes the other colour.
// Pixels outside the rectangle are neither counted nor changed.
void VXDoRemoveIsolatedPixels(TVXBitmap* Bitmap, int32_t NoiseColor, int32_t PixelsCount, int32_t x1, int32_t y1,
                              int32_t x2, int32_t y2);

// kFill on a vx1g or vx8g bitmap (a vx8g byte below 129 is black): windows
// of 3 .. K pixels a side, Iterations passes at most (the first, on white
// cores, always runs), alternating white and black cores while either finds
// something to fill. The border pixels of the image never change.
// InvertImage cleans the negative. K below 3 or another format changes
// nothing.
void VXDoRemoveNoise(TVXBitmap* Bitmap, bool UseConnectivity, bool StrictWhiteFill, bool InvertImage, int32_t K,
                     int32_t Iterations);

// The median filter family on a vx24RGB bitmap over WindowX x WindowY
// windows (the window of pixel (x, y) spans columns x - WindowX div 2 ..
// x - WindowX div 2 + WindowX - 1, rows likewise); each result is stored at
// the window's centre. Pixels whose window does not fit the image are kept
// (made white in mfEdgeExtract). Windows of fewer than two pixels, or other
// formats, change nothing.
void VXDoMedianFilter(TVXBitmap* Bitmap, int32_t WindowX, int32_t WindowY, int32_t Brightness, int32_t Contrast,
                      int32_t Multiplier, int32_t Threshold, TVXMedFilType MedianOp, void* Sender,
                      const TVXProgressEvent& OnProgress);

// Wallis filter on the HSL lightness of a vx24RGB bitmap: windows of
// WinWidth and WinHeight per cent of the padded image's shorter side (at
// least 21 pixels), mean Mean %, deviation StDev, gain InGain, edge weight
// Edge %, deviation limit Limit. With Thresholding the result is black and
// white. Rows that no window reaches keep the source pixels.
void VXDoWallisFilter(TVXBitmap* Bitmap, int32_t WinWidth, int32_t WinHeight, int32_t Mean, int32_t StDev,
                      int32_t InGain, int32_t Edge, int32_t Limit, bool Thresholding, void* Sender,
                      const TVXProgressEvent& OnProgress);
