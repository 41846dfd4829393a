// TVexlaneProc: the automatic enhancements.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/autoenhance.h"
#include "proc/caption.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

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
