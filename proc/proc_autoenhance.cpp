// TVexlaneProc: the automatic enhancements.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/autoenhance.h"
#include "proc/caption.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

namespace {

// The size of the bitmap the operation frame will hand over: the
// selection's bounding box, or else the whole image.
void WorkSize(TVexlaneProc* proc, int32_t& Width, int32_t& Height) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXMask* mask = nullptr;
  proc->GetReSel(x1, y1, x2, y2, mask);
  Width = x2 - x1;
  Height = y2 - y1;
}

}  // namespace

void TVexlaneProc::AutoEnhance1(int32_t SubsampledSize, int32_t Slope, int32_t Cut, int32_t Neighbour) {
  // The step of the subsampled copy divides by the size.
  if (SubsampledSize < 1) return;
  RunOperation(TVXPixelFormatSet{vx24RGB},
               FormatCaption("AutoEnhance1 %d, %d, %d, %d", int(SubsampledSize), int(Slope), int(Cut), int(Neighbour)),
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAutoEnhance1(work, SubsampledSize, Slope, Cut, Neighbour, this, OnProgress);
               });
}

void TVexlaneProc::AutoSharp(int32_t Intensity, double rate) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("AutoSharp %d, %.2f", int(Intensity), rate),
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAutoSharp(work, Intensity, rate, this, OnProgress);
               });
}

void TVexlaneProc::AutoEnhance2(int32_t ScaleCount, int32_t ScaleCurve, double Variance, int32_t ScaleHigh,
                                bool Luminance) {
  if (!AttachedVXBitmap()) return;
  int32_t W = 0, H = 0;
  WorkSize(this, W, H);
  if (!VXAutoEnhance2Accepts(W, H, ScaleCount, ScaleCurve, ScaleHigh)) return;
  RunOperation(TVXPixelFormatSet{vx24RGB}, "AutoEnhance2", [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
    VXDoAutoEnhance2(work, ScaleCount, ScaleCurve, Luminance, ScaleHigh, Variance, this, OnProgress);
  });
}

void TVexlaneProc::AutoEnhance3(double Gamma, int32_t Saturation) {
  // The gamma table raises to the power 1 / Gamma.
  if (!(Gamma > 0)) return;
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("AutoEnhance3 %.2f, %d", Gamma, int(Saturation)),
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAutoEnhance3(work, Saturation, Gamma, this, OnProgress);
               });
}
