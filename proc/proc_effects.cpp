// TVexlaneProc: reflection, motion blur, noise fill and spectrum zone
// clearing.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/effects.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

void TVexlaneProc::Reflection(int32_t minAlpha, int32_t maxAlpha, int32_t percentage) {
  // The image grows, so the reflection is of the whole image whatever is
  // selected.
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB},
                       FormatCaption("Reflection %d, %d, %d", int(minAlpha), int(maxAlpha), int(percentage))))
    return;
  VXDoReflection(AttachedVXBitmap(), minAlpha, maxAlpha, percentage, this, OnProgress);
  EndWholeImage();
}

void TVexlaneProc::MotionBlur(double angle, int32_t radius, int32_t sigma) {
  RunOperation(TVXPixelFormatSet{vx8g, vx24RGB},
               FormatCaption("MotionBlur %.2f, %d, %d", angle, int(radius), int(sigma)),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoMotionBlur(w, radius, sigma, angle, this, OnProgress);
               });
}

void TVexlaneProc::Random(double mean, double stdDev) {
  RunOperation(TVXPixelFormatSet{vx1g, vx8g, vx24RGB}, FormatCaption("Random %.2f, %.2f", mean, stdDev),
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoRandomFill(w, x1, y1, x2, y2, mean, stdDev);
               });
}

void TVexlaneProc::FTClearZone(int32_t tx1, int32_t ty1, int32_t tx2, int32_t ty2, bool GrayScale) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "FTClearZone", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    try {
      VXDoFTClearZone(w, tx1, ty1, tx2, ty2, GrayScale, this, OnProgress);
    } catch (const EVXException&) {
      // A grid beyond the library's limits: the image stays as it was.
    }
  });
}
