// Fill, dot grid and red-eye removal.

#include "proc/marks.h"

#include <algorithm>
#include <cmath>

#include "core/bitmap.h"
#include "core/settings.h"
#include "proc/proc.h"
#include "proc/saturate.h"

using vxproc::RoundSat;

namespace {

void Report(TProgressRec& Progress, int32_t Percent) {
  if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, Percent);
}

// The rectangle cut to the bitmap; false when nothing of it remains.
bool CutRect(TVXBitmap* Bitmap, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
  if (!Bitmap || Bitmap->IsEmpty()) return false;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  return x1 < x2 && y1 < y2;
}

uint8_t Scale(uint8_t v, double f) { return uint8_t(std::clamp<int64_t>(RoundSat(v * f), 0, 255)); }

}  // namespace

void VXDoFill(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB FillColor,
              TProgressRec& Progress) {
  if (!CutRect(Bitmap, x1, y1, x2, y2)) return;
  const TVXPixelFormat format = Bitmap->PixelFormat();
  if (format != vx1g && format != vx8g && format != vx24RGB) {
    Bitmap->FillRect(x1, y1, x2 - 1, y2 - 1, double(VXTRGBToColor(FillColor)));
    return;
  }
  const uint8_t grey = uint8_t(std::clamp(VXRGBToGray(FillColor), 0, 255));
  const double last = y2 - 1;
  for (int32_t y = y1; y < y2; ++y) {
    for (int32_t x = x1; x < x2; ++x) {
      if (format == vx1g)
        Bitmap->SetPixels_vx1g(x, y, FillColor.r != 0);
      else if (format == vx8g)
        Bitmap->SetPixels_vx8(x, y, grey);
      else
        Bitmap->SetPixels_vx24RGB(x, y, FillColor);
    }
    Report(Progress, int32_t(double(y - y1 + 1) * 100 / (last - y1 + 0.5)));
  }
}

void VXDoPaintMark(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Frequency,
                   TRGB Color, TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !CutRect(Bitmap, x1, y1, x2, y2)) return;
  const int32_t rows = y2 - y1;
  int32_t rowCounter = 0;
  for (int32_t y = y1; y < y2; ++y) {
    if (rowCounter == 0) {
      TRGB* row = static_cast<TRGB*>(Bitmap->ScanLine(y));
      int32_t colCounter = 0;
      for (int32_t x = x1; x < x2; ++x) {
        if (colCounter == 0) row[x] = Color;
        colCounter = colCounter >= Frequency ? 0 : colCounter + 1;
      }
    }
    rowCounter = rowCounter >= Frequency ? 0 : rowCounter + 1;
    Report(Progress, int32_t(double(y - y1 + 1) * 100 / (rows - 1 + 0.5)));
  }
}

void VXDoRemoveRedEyes(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !CutRect(Bitmap, x1, y1, x2, y2)) return;
  const int32_t rows = y2 - y1;
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* row = static_cast<TRGB*>(Bitmap->ScanLine(y));
    for (int32_t x = x1; x < x2; ++x) {
      TRGB& p = row[x];
      double k = p.g >= 2 ? double(p.b) / p.g : double(p.b);
      k = std::clamp(std::sqrt(k), 0.5, 1.5);
      const double g = double(p.r) / std::max(int32_t(p.g) + p.b, 1) * k;
      if (g <= 0.7) continue;
      const double m = std::max(1.775 - (0.75 * g + 0.25), 0.0);
      const double o = m * m;
      p.r = Scale(p.r, o);
      p.b = Scale(p.b, 1 - (1 - o) / 2);
      p.g = Scale(p.g, 1 - (1 - o) / 4);
    }
    Report(Progress, int32_t(double(y - y1 + 1) * 100 / (rows - 1 + 0.5)));
  }
}
