// TVexlaneProc: HSL offsets and the colour adjustments.

#include <span>

#include "core/bitmap.h"
#include "core/colorspace.h"
#include "proc/adjust.h"
#include "proc/caption.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

void VXDoHSLVar(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t oHue, int32_t oSat,
                int32_t oLum, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width()), y2 = std::min(y2, Bitmap->Height());
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x) {
      double h, s, l;
      VXRGBToHSL(p[x], h, s, l);
      p[x] = VXHSLToRGB(h + oHue / 360.0, s + oSat / 100.0, l + oLum / 100.0);
    }
    Bitmap->FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(double(y - y1 + 1) * 100 / (double(y2 - y1) - 1 + 0.5)));
  }
}

void TVexlaneProc::HSLvar(int32_t oHue, int32_t oSat, int32_t oLum) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("HSLvar %d, %d, %d", int(oHue), int(oSat), int(oLum)),
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoHSLVar(w, x1, y1, x2, y2, oHue, oSat, oLum, this, OnProgress);
               });
}

void TVexlaneProc::AdjustSaturation(int32_t Amount) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("AdjustSaturation %d", int(Amount)),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAdjustSaturation(w, Amount, this, OnProgress);
               });
}

void TVexlaneProc::AdjustTint(int32_t Amount) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("AdjustTint %d", int(Amount)),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAdjustTint(w, Amount, false, TRGB{}, TRGB{}, this, OnProgress);
               });
}

void TVexlaneProc::AdjustTint(int32_t Amount, TRGB FixedColorStart, TRGB FixedColorEnd) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("AdjustTint %d", int(Amount)),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAdjustTint(w, Amount, true, FixedColorStart, FixedColorEnd, this, OnProgress);
               });
}

void TVexlaneProc::AdjustTint(int32_t Amount, TPoint FixedColorPos) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("AdjustTint %d", int(Amount)),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 const TRGB fixed = w->Pixels_vx24RGB(FixedColorPos.X, FixedColorPos.Y);
                 VXDoAdjustTint(w, Amount, true, fixed, fixed, this, OnProgress);
               });
}

void TVexlaneProc::AdjustBrightnessContrastSaturation(int32_t Brightness, int32_t Contrast, int32_t Saturation) {
  RunOperation(TVXPixelFormatSet{vx24RGB},
               FormatCaption("AdjustBrightnessContrastSaturation %d, %d, %d", int(Brightness), int(Contrast),
                             int(Saturation)),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAdjustBrightnessContrastSaturation(w, Brightness, Contrast, Saturation, this, OnProgress);
               });
}

void TVexlaneProc::Contrast2(double Amount) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("Contrast2 %.2f", Amount),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) { VXDoContrast2(w, Amount, this, OnProgress); });
}

void TVexlaneProc::AdjustLumSatHistogram(double Saturation, double Luminance) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("AdjustLumSatHistogram %.2f, %.2f", Saturation, Luminance),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAdjustLumSatHistogram(w, Saturation, Luminance, this, OnProgress);
               });
}

void TVexlaneProc::Intensity(int32_t LoLimit, int32_t HiLimit, int32_t Change, bool UseAverageRGB, bool DoRed,
                             bool DoGreen, bool DoBlue) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "Intensity", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    VXDoIntensity(w, LoLimit, HiLimit, Change, UseAverageRGB, DoRed, DoGreen, DoBlue, this, OnProgress);
  });
}

void TVexlaneProc::Contrast3(int32_t Change, int32_t Midpoint, bool DoRed, bool DoGreen, bool DoBlue) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "Contrast3", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    VXDoContrast3(w, Change, Midpoint, DoRed, DoGreen, DoBlue, this, OnProgress);
  });
}

void TVexlaneProc::AdjustTemperature(int32_t temperature) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "AdjustTemperature",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoAdjustTemperature(w, x1, y1, x2, y2, temperature, this, OnProgress);
               });
}

void TVexlaneProc::MapGrayToColor(std::span<const TRGB> Map) {
  if (Map.size() < 256) return;
  RunOperation(TVXPixelFormatSet{vx24RGB}, "MapGrayToColor",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMapGrayToColor(w, x1, y1, x2, y2, Map);
               });
}
