// TVexlaneProc: morphology, object separation, local thresholds, Sobel edges
// and histogram comparison.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/contours.h"
#include "proc/morph.h"
#include "proc/sobel.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

namespace {

std::vector<TRect> Separate(TVexlaneProc& Proc, int32_t Quality, bool MergeCommonAreas, bool UseColorRange,
                            TRGB Begin, TRGB End) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!Proc.BeginImageAnalysis(TVXPixelFormatSet{}, x1, y1, x2, y2, work, mask)) return {};
  std::vector<TRect> rects = VXDoSeparateObjects(work, MergeCommonAreas, Quality, UseColorRange, Begin, End);
  Proc.EndImageAnalysis(work);
  Proc.DoFinishWork();
  return rects;
}

}  // namespace

void TVexlaneProc::Maximum(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Maximum %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphMaximum, this, OnProgress, x1, y1, x2, y2);
               });
}

void TVexlaneProc::Minimum(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Minimum %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphMinimum, this, OnProgress, x1, y1, x2, y2);
               });
}

void TVexlaneProc::Opening(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Opening %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphOpening, this, OnProgress, x1, y1, x2, y2);
               });
}

void TVexlaneProc::Closing(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Closing %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphClosing, this, OnProgress, x1, y1, x2, y2);
               });
}

std::vector<TRect> TVexlaneProc::SeparateObjects(int32_t Quality, bool MergeCommonAreas) {
  return Separate(*this, Quality, MergeCommonAreas, false, TRGB{}, TRGB{});
}

std::vector<TRect> TVexlaneProc::SeparateObjects(int32_t Quality, bool MergeCommonAreas, TRGB BackgroundColorBegin,
                                                 TRGB BackgroundColorEnd) {
  return Separate(*this, Quality, MergeCommonAreas, true, BackgroundColorBegin, BackgroundColorEnd);
}

void TVexlaneProc::ConvertToBWLocalThreshold(int32_t WinSize, TVXThreshMode Mode, int32_t Offset) {
  if (WinSize < 2) return;
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, "ConvertToBWLocalThreshold")) return;
  VXDoLocalThreshold(AttachedVXBitmap(), AttachedVXBitmap(), WinSize, Mode, Offset, this, OnProgress);
  EndWholeImage();
}

void TVexlaneProc::EdgeDetect_Sobel() {
  if (!BeginWholeImage(TVXPixelFormatSet{}, "EdgeDetect_Sobel")) return;
  VXDoSobel(AttachedVXBitmap(), this, OnProgress);
  EndWholeImage();
}

double TVexlaneProc::CompareHistogramWith(TVXBitmap* SecondImage, TVXCmpMode Mode, bool GrayScale) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return 0;
  const double result = VXCompareHistograms(AttachedVXBitmap(), SecondImage, Mode, GrayScale);
  DoFinishWork();
  return result;
}
