// TVexlaneProc operations that change the colour depth of the image: grey and
// sepia toning, reduction to N colours, black and white, expansion of 1-bit
// images, and the palette calculation. The work itself is done by the
// routines of proc/colorreduce.h and proc/threshold.h.

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/imaging_hook.h"
#include "proc/caption.h"
#include "proc/proc.h"

using vxproc::FormatCaption;
#include "core/threshold.h"

bool TVexlaneProc::BeginWholeImage(TVXPixelFormatSet AllowedFormats, const std::string& Caption) {
  if (!CheckFormat(AllowedFormats)) return false;
  if (fAutoUndo) SaveUndoCaptioned(Caption, vxuImage);
  return true;
}

void TVexlaneProc::EndWholeImage() {
  Update();
  DoFinishWork();
}

// ---------------------------------------------------------------------------
// Toning of the image or the selection

void TVexlaneProc::ConvertToGray() {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, "ConvertToGray", work, mask)) return;
  VXDoConvertToGray(work, x1, y1, x2, y2, this, OnProgress);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

void TVexlaneProc::ConvertToSepia(int32_t Depth) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, "ConvertToSepia", work, mask)) return;
  VXDoConvertToSepia(work, Depth, x1, y1, x2, y2, this, OnProgress);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

// ---------------------------------------------------------------------------
// Whole-image depth changes

void TVexlaneProc::ConvertTo(int32_t NumColors, TVXDitherMethod DitherMethod) {
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, FormatCaption("ConvertTo %d", int(NumColors)))) return;
  if (NumColors >= 3 && NumColors <= 256 && DitherMethod == vxDithering) CheckLegacyBitmap(vx8p);
  VXConvertToColors(fVXBitmap, NumColors, DitherMethod, this, OnProgress);
  EndWholeImage();
}

bool TVexlaneProc::ConvertTo(TVXPixelFormat PixelFormat, TVXPaletteType PaletteType, TVXDitherType DitherType,
                             bool CheckParametersOnly) {
  const TVXPixelFormatSet allowed{vx1g, vx8p, vx8g, vx16g, vx24RGB, vxCMYK, vx48RGB};
  if (!BeginWholeImage(allowed, FormatCaption("ConvertTo2 %d %d %d", int(PixelFormat), int(PaletteType),
                                              int(DitherType))))
    return false;
  // The platform imaging converter (core/imaging_hook.h): palette types go
  // as 1 .. 12, dither types as 0 .. 8. Without it the answer is false.
  bool converted = false;
  if (VXImagingHooks.Convert) {
    TVXBitmap result;
    converted = VXImagingHooks.Convert(fVXBitmap, &result, PixelFormat, int32_t(PaletteType) + 1,
                                       int32_t(DitherType), CheckParametersOnly, OnProgress, this);
    if (converted && !CheckParametersOnly && !result.IsEmpty()) {
      CheckLegacyBitmap(result.PixelFormat());
      fVXBitmap->AssignImage(&result);
    }
  }
  EndWholeImage();
  return converted;
}

void TVexlaneProc::ConvertToPalette(int32_t NumColors, TRGB* Palette, TVXDitherMethod DitherMethod) {
  if (NumColors == 0) return;
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, "ConvertToPalette")) return;
  VXConvertToPalette(fVXBitmap, NumColors, Palette, DitherMethod, this, OnProgress);
  EndWholeImage();
}

void TVexlaneProc::ConvertToBWOrdered() {
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, "ConvertToBWOrdered")) return;
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = this;
  VXDitherToBWOrdered(fVXBitmap, progress);
  EndWholeImage();
}

void TVexlaneProc::ConvertToBWThreshold(int32_t Threshold) {
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, FormatCaption("ConvertToBWThreshold %d", int(Threshold)))) return;
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = this;
  VXThresholdToBWInPlace(fVXBitmap, Threshold, progress);
  EndWholeImage();
}

void TVexlaneProc::ConvertToBW_FloydSteinberg() {
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, "ConvertToBW_FloydSteinberg")) return;
  VXDoFloydSteinberg(fVXBitmap, this, OnProgress);
  EndWholeImage();
}

void TVexlaneProc::ConvertTo24Bit() {
  // Only a 1-bit image is expanded. The format guard alone would first turn
  // any other image into black and white (AutoConvertFormat) and so destroy
  // its colours; such an image is left alone instead.
  if (!fVXBitmap || fVXBitmap->PixelFormat() != vx1g) return;
  if (!BeginWholeImage(TVXPixelFormatSet{vx1g}, "ConvertTo24Bit")) return;
  VXConvertTo24Bit(fVXBitmap, this, OnProgress);
  EndWholeImage();
}

void TVexlaneProc::CalcImagePalette(std::span<TRGB> Palette, int32_t NumColors) {
  if (Palette.empty() || !CheckFormat(TVXPixelFormatSet{vx24RGB})) return;
  const size_t high = std::min<size_t>(Palette.size() - 1, size_t(INT32_MAX));
  VXCalcImagePalette(fVXBitmap, Palette.data(), int32_t(high), NumColors);
}
