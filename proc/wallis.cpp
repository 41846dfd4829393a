// The Wallis filter: the HSL lightness of each pixel pulled towards a chosen
// mean and deviation by the statistics of a large window around it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/colorspace.h"
#include "proc/cleaning.h"

void VXDoWallisFilter(TVXBitmap* Bitmap, int32_t WinWidth, int32_t WinHeight, int32_t Mean, int32_t StDev,
                      int32_t InGain, int32_t Edge, int32_t Limit, bool Thresholding, void* Sender,
                      const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->PixelFormat() != vx24RGB) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  // The source is read as if padded by 15 pixels on every side.
  constexpr int32_t kPad = 15;
  const int32_t PW = W + 2 * kPad, PH = H + 2 * kPad;

  std::vector<TRGB> src(size_t(int64_t(W) * H));
  std::vector<double> hue(src.size()), sat(src.size()), light(src.size());
  for (int32_t y = 0; y < H; ++y) {
    const TRGB* row = static_cast<const TRGB*>(Bitmap->Scanline(y));
    for (int32_t x = 0; x < W; ++x) {
      const size_t i = size_t(int64_t(y) * W + x);
      src[i] = row[x];
      VXRGBToHSL(row[x], hue[i], sat[i], light[i]);
    }
  }
  auto at = [&](int32_t px, int32_t py) {
    const int32_t x = std::clamp(px - kPad, 0, W - 1), y = std::clamp(py - kPad, 0, H - 1);
    return size_t(int64_t(y) * W + x);
  };

  const double side = H >= W ? W + 29 : H + 29;
  // Windows beyond the padded grid process nothing; the cap keeps the
  // conversion defined.
  const int32_t ww = std::max(21, int32_t(std::min(WinWidth / 100.0 * side, 1e9)));
  const int32_t wh = std::max(21, int32_t(std::min(WinHeight / 100.0 * side, 1e9)));
  const int32_t hw = (ww + 1) / 2, hh = (wh + 1) / 2;
  const long double N = (long double)ww * wh;
  const long double md = Mean / 100.0L, sd = 3 * StDev / 100.0L, A = InGain, a = Edge / 100.0L,
                    Smax = 6 * Limit / 100.0L;

  // The result starts as the source: rows that no window reaches keep it.
  TVXBitmap result;
  if (!result.Allocate(W, H, vx24RGB)) return;
  for (int32_t y = 0; y < H; ++y)
    std::memcpy(result.Scanline(y), &src[size_t(int64_t(y) * W)], size_t(W) * sizeof(TRGB));

  if (hh <= PH - 1 - hh && ww <= PW) {
    // Column sums of L and L^2 over the window's rows y - hh .. y - hh + wh - 1.
    std::vector<long double> cs(size_t(PW), 0.0L), cq(size_t(PW), 0.0L);
    for (int32_t py = 0; py < wh; ++py)
      for (int32_t px = 0; px < PW; ++px) {
        const long double l = light[at(px, py)];
        cs[size_t(px)] += l;
        cq[size_t(px)] += l * l;
      }
    const TRGB whitePixel{255, 255, 255};
    for (int32_t y = hh; y <= PH - 1 - hh; ++y) {
      TRGB* out = static_cast<TRGB*>(result.Scanline(std::clamp(y - kPad, 0, H - 1)));
      long double sum = 0, sumsq = 0;
      for (int32_t px = 0; px < ww; ++px) sum += cs[size_t(px)], sumsq += cq[size_t(px)];
      for (int32_t x = 0; x < PW; ++x) {
        const size_t i = at(x, y);
        const int32_t ox = std::clamp(x - kPad, 0, W - 1);
        if (x < hw || x > PW - 1 - hw) {
          out[ox] = Thresholding ? whitePixel : src[i];
          continue;
        }
        const long double M = sum / N;
        long double S = std::sqrt(sumsq / N - M * M + 1);
        if (S > Smax) S = Smax;
        const long double r = A * sd / (A * S + sd + 0.00001L);
        long double L = (light[i] - M) * r + (1 - a) * M + a * md;
        L = std::clamp(L, 0.0L, 1.0L);
        if (Thresholding) {
          const uint8_t c = L <= 0.5L ? 0 : 255;
          out[ox] = TRGB{c, c, c};
        } else {
          out[ox] = VXHSLToRGB(hue[i], sat[i], double(L));
        }
        if (x < PW - 1 - hw) {
          const size_t leave = size_t(x - hw), enter = size_t(x - hw + ww);
          sum = sum - cs[leave] + cs[enter];
          sumsq = sumsq - cq[leave] + cq[enter];
        }
      }
      // The window moves down a row.
      if (y < PH - 1 - hh) {
        const int32_t leave = y - hh, enter = y - hh + wh;
        for (int32_t px = 0; px < PW; ++px) {
          const long double lo = light[at(px, leave)], li = light[at(px, enter)];
          cs[size_t(px)] = cs[size_t(px)] - lo + li;
          cq[size_t(px)] = cq[size_t(px)] - lo * lo + li * li;
        }
      }
      if (OnProgress) OnProgress(Sender, int32_t(double(y) / PH * 100) + 1);
    }
  }
  Bitmap->AssignImage(&result);
}
