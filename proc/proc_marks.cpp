// TVexlaneProc: fill, dot grid, pen marker, image comparisons, red-eye
// removal and radial stretch.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/distort.h"
#include "proc/marks.h"
#include "proc/proc.h"
#include "proc/run_operation.h"
#include "proc/saturate.h"

using vxproc::FormatCaption;
using vxproc::RoundSat;

void TVexlaneProc::Fill(TRGB FillColor) {
  RunOperation(TVXPixelFormatSet{},
               FormatCaption("Fill (%d, %d, %d)", int(FillColor.r), int(FillColor.g), int(FillColor.b)),
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 TProgressRec progress = ProgressOf(this);
                 VXDoFill(w, x1, y1, x2, y2, FillColor, progress);
               });
}

void TVexlaneProc::Fill(TColor FillColor) { Fill(VXColorToTRGB(FillColor)); }

void TVexlaneProc::PaintMark(int32_t Frequency, TRGB Color) {
  RunOperation(TVXPixelFormatSet{vx24RGB},
               FormatCaption("PaintMark %d, (%d, %d, %d)", int(Frequency), int(Color.r), int(Color.g), int(Color.b)),
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 TProgressRec progress = ProgressOf(this);
                 VXDoPaintMark(w, x1, y1, x2, y2, Frequency, Color, progress);
               });
}

void TVexlaneProc::PaintPenMarker(int32_t x, int32_t y, int32_t Width, TColor Color, TColor BackgroundColor,
                                  int32_t Tolerance) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return;
  TVXBitmap* bitmap = AttachedVXBitmap();
  const int32_t W = bitmap->Width(), H = bitmap->Height();
  if (x < 0 || x >= W || y < 0 || y >= H) return;
  const TRGB color = VXColorToTRGB(Color), background = VXColorToTRGB(BackgroundColor);
  const bool withAlpha = bitmap->HasAlphaChannel();
  auto mark = [&](int64_t px, int64_t py) {
    const int32_t cx = int32_t(std::clamp<int64_t>(px, 0, W - 1)), cy = int32_t(std::clamp<int64_t>(py, 0, H - 1));
    const TRGB p = bitmap->Pixels_vx24RGB(cx, cy);
    const int32_t diff = std::max({std::abs(p.r - background.r), std::abs(p.g - background.g),
                                   std::abs(p.b - background.b)});
    if (diff > Tolerance) return;
    bitmap->SetPixels_vx24RGB(cx, cy, color);
    if (withAlpha) bitmap->SetAlpha(cx, cy, 255);
  };
  mark(x, y);
  // Beyond the farthest corner every point of a circle lies outside the
  // image and lands on the border; larger circles add nothing then.
  const int64_t reach = int64_t(std::ceil(std::hypot(std::max(x, W - 1 - x), std::max(y, H - 1 - y)))) + 2;
  const int64_t radius = std::min<int64_t>(Width / 2, reach);
  for (int64_t rho = 1; rho <= radius; ++rho) {
    const int64_t n = 2 * RoundSat(2 * std::numbers::pi * double(rho));
    for (int64_t k = 0; k < n; ++k) {
      const double angle = double(k) * 2 * std::numbers::pi / double(n);
      mark(RoundSat(std::cos(angle) * double(rho) + x), RoundSat(std::sin(angle) * double(rho) + y));
    }
  }
  if (TVXViewHost* view = AttachedVexlane()) {
    const int32_t sx = view->XBmp2Scr(x), sy = view->YBmp2Scr(y);
    const int32_t d = int32_t(std::clamp<int64_t>(RoundSat(double(Width / 2 + 1) * view->ZoomX() / 100), 0, INT32_MAX / 4));
    view->UpdateRect(sx - d, sy - d, sx + d + 1, sy + d + 1);
  }
}

bool TVexlaneProc::ComputeImageEquality(TVXBitmap* SecondImage, double& psnr_min, double& psnr_max,
                                        double& mse_min, double& mse_max, double& rmse_min, double& rmse_max,
                                        double& pae_min, double& pae_max, double& mae_min, double& mae_max) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB}) || !SecondImage) return false;
  TVXBitmap* first = AttachedVXBitmap();
  if (first->PixelFormat() != vx24RGB || SecondImage->PixelFormat() != vx24RGB ||
      first->Width() != SecondImage->Width() || first->Height() != SecondImage->Height() || first->IsEmpty())
    return false;
  psnr_min = mse_min = rmse_min = pae_min = mae_min = 1e9;
  psnr_max = mse_max = rmse_max = pae_max = mae_max = 0;
  bool equal = true;
  const int32_t W = first->Width(), H = first->Height();
  const double N = double(W) * double(H);
  // Per channel in memory order: blue, green, red.
  int64_t squares[3] = {0, 0, 0}, sums[3] = {0, 0, 0}, peaks[3] = {0, 0, 0};
  // The first image's row is copied: a file-backed row stays valid only
  // until the next row is asked of the same bitmap, and SecondImage may be
  // the attached bitmap itself.
  std::vector<uint8_t> rowA(size_t(W) * 3);
  for (int32_t y = 0; y < H; ++y) {
    std::memcpy(rowA.data(), first->ScanLine(y), rowA.size());
    const uint8_t* a = rowA.data();
    const uint8_t* b = static_cast<const uint8_t*>(SecondImage->ScanLine(y));
    for (int32_t i = 0; i < 3 * W; ++i) {
      const int64_t d = int64_t(b[i]) - a[i];
      const int c = i % 3;
      squares[c] += d * d;
      sums[c] += d < 0 ? -d : d;
      peaks[c] = std::max(peaks[c], d < 0 ? -d : d);
    }
  }
  auto take = [](double v, double& lo, double& hi) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  };
  for (int c = 0; c < 3; ++c) {
    const double mse = double(squares[c]) / N;
    take(mse, mse_min, mse_max);
    take(std::sqrt(mse), rmse_min, rmse_max);
    take(double(peaks[c]), pae_min, pae_max);
    take(double(sums[c]) / N, mae_min, mae_max);
    take(mse != 0 ? 20 * std::log10(255 / std::sqrt(mse)) : 0, psnr_min, psnr_max);
    if (peaks[c] != 0) equal = false;
  }
  DoFinishWork();
  return equal;
}

double TVexlaneProc::CompareWith(TVXBitmap* SecondImage, TVXBitmap* DiffBitmap) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB}) || !SecondImage) return 0;
  TVXBitmap* first = AttachedVXBitmap();
  if (first->PixelFormat() != vx24RGB || SecondImage->PixelFormat() != vx24RGB) return 0;
  const int32_t w = std::min(first->Width(), SecondImage->Width());
  const int32_t h = std::min(first->Height(), SecondImage->Height());
  if (w <= 0 || h <= 0) return 0;  // nothing in common to compare
  if (DiffBitmap && DiffBitmap->PixelFormat() != vx8g && DiffBitmap->PixelFormat() != vx8p) DiffBitmap = nullptr;
  if (DiffBitmap) {
    if (!DiffBitmap->Allocate(w, h, DiffBitmap->PixelFormat()))
      DiffBitmap = nullptr;
    else
      DiffBitmap->Fill(255);
  }
  double sum = 0;
  std::vector<TRGB> rowA(static_cast<size_t>(w));
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(rowA.data(), first->ScanLine(y), rowA.size() * 3);
    const TRGB* a = rowA.data();
    const TRGB* b = static_cast<const TRGB*>(SecondImage->ScanLine(y));
    uint8_t* out = DiffBitmap ? static_cast<uint8_t*>(DiffBitmap->ScanLine(y)) : nullptr;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t d = std::abs(VXRGBToGray(a[x]) - VXRGBToGray(b[x]));
      sum += d / 255.0;
      if (out) out[x] = uint8_t(std::clamp(d, 0, 255));
    }
  }
  const double result = 1 - sum / (double(w) * double(h));
  DoFinishWork();
  return result;
}

void TVexlaneProc::RemoveRedEyes() {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "RemoveRedEyes",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 TProgressRec progress = ProgressOf(this);
                 VXDoRemoveRedEyes(w, x1, y1, x2, y2, progress);
               });
}

void TVexlaneProc::RadialStretch(double ARed, double BRed, double CRed, double DRed, double AGreen, double BGreen,
                                 double CGreen, double DGreen, double ABlue, double BBlue, double CBlue,
                                 double DBlue) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "RadialStretch", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    TProgressRec progress = ProgressOf(this);
    VXDoRadialStretch(w, TVXRadialCoefs{ARed, BRed, CRed, DRed}, TVXRadialCoefs{AGreen, BGreen, CGreen, DGreen},
                      TVXRadialCoefs{ABlue, BBlue, CBlue, DBlue}, progress);
  });
}
