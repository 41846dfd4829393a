// TVexlaneProc: speck and noise removal, median and Wallis filters.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/cleaning.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

void TVexlaneProc::RemoveIsolatedPixels(int32_t NoiseColor, int32_t PixelsCount) {
  if (PixelsCount == 0) return;
  RunOperation(TVXPixelFormatSet{vx1g},
               FormatCaption("RemoveIsolatedPixels %d, %d", int(NoiseColor), int(PixelsCount)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoRemoveIsolatedPixels(work, NoiseColor, PixelsCount, x1, y1, x2, y2);
               });
}

void TVexlaneProc::RemoveNoise(int32_t Iterations, bool InvertImage) {
  if (Iterations == 0) return;
  // With a selection the frame hands over a copy of the mask's bounding box
  // and merges it back through the mask.
  RunOperation(TVXPixelFormatSet{vx1g}, "RemoveNoise", [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
    VXDoRemoveNoise(work, true, true, InvertImage, 3, Iterations);
  });
}

void TVexlaneProc::MedianFilter(int32_t WindowX, int32_t WindowY, int32_t Brightness, int32_t Contrast,
                                int32_t Multiplier, int32_t Threshold, TVXMedFilType MedianOp) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "MedianFilter", [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
    VXDoMedianFilter(work, WindowX, WindowY, Brightness, Contrast, Multiplier, Threshold, MedianOp, this,
                     OnProgress);
  });
}

void TVexlaneProc::WallisFilter(int32_t WinWidth, int32_t WinHeight, int32_t Mean, int32_t StDev, int32_t InGain,
                                int32_t Edge, int32_t Limit, bool Thresholding) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "WallisFilter", [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
    VXDoWallisFilter(work, WinWidth, WinHeight, Mean, StDev, InGain, Edge, Limit, Thresholding, this, OnProgress);
  });
}
