// TVexlaneProc: histograms, colour counts, mean colour, standard deviation,
// contrast, thresholds and histogram equalisation.

#include <cstring>

#include "core/bitmap.h"
#include "core/mask.h"
#include "proc/caption.h"
#include "proc/proc.h"
#include "proc/run_operation.h"
#include "proc/tone.h"

using vxproc::FormatCaption;

TVXHistogram TVexlaneProc::GetHistogram(TVXHistogramContent Content) {
  TVXHistogram hist;
  if (!CheckFormat(TVXPixelFormatSet{vx8g, vx16g, vx24RGB})) return hist;
  int32_t x1, y1, x2, y2;
  TVXMask* mask = nullptr;
  GetReSel(x1, y1, x2, y2, mask);
  VXCalcHistogram(fVXBitmap, x1, y1, x2, y2, hist, Content, mask);
  return hist;
}

void TVexlaneProc::GetHistogram(THistogramItem* Hist, TVXHistogramContent Content) {
  if (!Hist || !CheckFormat(TVXPixelFormatSet{vx24RGB})) return;
  const TVXHistogram hist = GetHistogram(Content);
  for (size_t i = 0; i < 256; ++i) Hist[i] = i < hist.size() ? hist[i] : THistogramItem{};
}

int32_t TVexlaneProc::CalcImageNumColors() {
  if (!CheckFormat(TVXPixelFormatSet())) return 0;
  int32_t x1, y1, x2, y2;
  TVXMask* mask = nullptr;
  GetReSel(x1, y1, x2, y2, mask);
  return VXCountColors(fVXBitmap, x1, y1, x2, y2);
}

TRGB TVexlaneProc::CalcAverageRGB(int32_t iSampleCount) {
  TRGB result{0, 0, 0};
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageAnalysis(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, work, mask)) return result;
  // The mask is read relative to a selection copy only.
  TVXMask* inside = work != fVXBitmap ? mask : nullptr;
  if (iSampleCount <= 0) {
    VXCalcAverageRGBRect(work, inside, x1, y1, x2, y2, result);
  } else {
    int32_t spread = 0;
    VXSampleAverageRGB(work, x1, y1, x2, y2, iSampleCount, result, spread);
  }
  EndImageAnalysis(work);
  return result;
}

double TVexlaneProc::CalcStdDev() {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageAnalysis(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, work, mask)) return 0;
  const double result = VXCalcStdDevRect(work, work != fVXBitmap ? mask : nullptr, x1, y1, x2, y2);
  EndImageAnalysis(work);
  return result;
}

void TVexlaneProc::Contrast(double vv) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("Contrast %.2f", vv),
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 // The pivots are the whole image's means.
                 int32_t r, g, b;
                 VXCalcAverageChannels(fVXBitmap, r, g, b);
                 VXDoContrast(w, x1, y1, x2, y2, vv, r, g, b, this, OnProgress);
               });
}

void TVexlaneProc::Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "Threshold",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoThreshold(w, x1, y1, x2, y2, DownLimit, UpLimit, DownVal, UpVal, this, OnProgress);
               });
}

void TVexlaneProc::Threshold2(int32_t LoThreshold, int32_t HiThreshold, bool Red, bool Green, bool Blue) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "Threshold2",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoThreshold2(w, x1, y1, x2, y2, LoThreshold, HiThreshold, Red, Green, Blue, this, OnProgress);
               });
}

void TVexlaneProc::HistAutoEqualize() {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "HistAutoEqualize",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoHistAutoEqualize(w, x1, y1, x2, y2, this, OnProgress);
               });
}

void TVexlaneProc::HistEqualize(TRGB LoThresh, TRGB HiThresh) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "HistEqualize",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoHistEqualize(w, x1, y1, x2, y2, LoThresh, HiThresh, this, OnProgress);
               });
}
