// TVexlaneProc: lens, wave, bump mapping and radial stretch.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/distort.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

void TVexlaneProc::Lens(int32_t cx, int32_t cy, int32_t Width, int32_t Height, double Refraction) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "Lens", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    TProgressRec progress = ProgressOf(this);
    VXDoLens(w, cx, cy, Width, Height, Refraction, progress);
  });
}

void TVexlaneProc::Wave(int32_t amplitude, int32_t wavelength, int32_t phase, bool reflective) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "Wave", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    TProgressRec progress = ProgressOf(this);
    VXDoWave(w, amplitude, wavelength, phase, reflective, progress);
  });
}

void TVexlaneProc::BumpMapping(int32_t LightX, int32_t LightY, int32_t LampX, int32_t LampY, int32_t pcf,
                               TRGB Color) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "BumpMapping",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 TProgressRec progress = ProgressOf(this);
                 VXDoBumpMapping(w, x1, y1, x2, y2, LightX, LightY, LampX, LampY, pcf, Color, progress);
               });
}
