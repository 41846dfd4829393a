// The bilinear and bicubic rotation renderers: every target pixel is the
// source interpolated at the inverse-rotated point, about the centres
// ((W - 1) / 2, (H - 1) / 2) of both bitmaps.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/rotate.h"
#include "core/rotate_internal.h"

using namespace vxrotate;

namespace {

constexpr long double kPi = 3.1415926535897932385L;

// Source pixels with the fetch rule of the renderer: NC bytes a pixel; with
// Ring the ring one pixel outside the picture repeats the border, further out
// (and without Ring everywhere outside) the background.
template <int NC, bool Ring>
struct TFetch {
  const std::vector<uint8_t*>& rows;
  int64_t W, H;
  const uint8_t* bg;
  const uint8_t* at(int64_t x, int64_t y) const {
    if constexpr (Ring) {
      if (x < -1 || x > W || y < -1 || y > H) return bg;
      x = std::clamp<int64_t>(x, 0, W - 1);
      y = std::clamp<int64_t>(y, 0, H - 1);
    } else {
      if (x < 0 || x >= W || y < 0 || y >= H) return bg;
    }
    return rows[size_t(y)] + x * NC;
  }
};

// Trunc of the bilinear blend, no clamping.
template <int NC>
inline void Bilinear(uint8_t* d, const uint8_t* p00, const uint8_t* p10, const uint8_t* p01, const uint8_t* p11,
                     double fx, double fy) {
  for (int ch = 0; ch < NC; ++ch) {
    const double top = p00[ch] + double(int32_t(p10[ch]) - int32_t(p00[ch])) * fx;
    const double bottom = p01[ch] + double(int32_t(p11[ch]) - int32_t(p01[ch])) * fx;
    d[ch] = uint8_t(int32_t(top + (bottom - top) * fy));
  }
}

// Cubic convolution weights (a = -1) of offsets -1, 0, 1, 2 for t.
inline void CubicWeights(double t, double* w) {
  w[0] = -t * ((1 - t) * (1 - t));
  w[1] = 1 - 2 * t * t + t * t * t;
  w[2] = t * (1 + t - t * t);
  w[3] = -(1 - t) * (t * t);
}

template <int NC, bool Ring>
void Render(TVXBitmap* Source, TVXBitmap* Target, const uint8_t* Bg, TVXAntialiasMode Mode, double Angle,
            void* Sender, const TVXProgressEvent& OnProgress) {
  if (Source->IsEmpty()) {
    Target->FreeImage(true);
    return;
  }
  const int64_t W = Source->Width(), H = Source->Height();
  const long double theta = (long double)Angle * kPi / 180.0L;
  const double s = double(sinl(theta)), c = double(cosl(theta));
  const int64_t TW = RoundEven(std::fabs(c * double(W - 1)) + std::fabs(s * double(H - 1)));
  const int64_t TH = RoundEven(std::fabs(s * double(W - 1)) + std::fabs(c * double(H - 1)));
  if (TW < 1 || TH < 1) {
    Target->FreeImage(true);
    return;
  }
  AllocateOrRaise(Target, TW, TH, Source->PixelFormat());
  Source->CopyPaletteTo(Target);
  const TRows dst(Target);
  if (Mode != vxrBilinear && Mode != vxrBicubic) {
    for (int64_t j = 0; j < TH; ++j) {
      uint8_t* d = dst[int32_t(j)];
      for (int64_t i = 0; i < TW; ++i)
        for (int ch = 0; ch < NC; ++ch) d[i * NC + ch] = Bg[ch];
    }
    return;
  }
  const TRows src(Source);
  const TFetch<NC, Ring> fetch{src.All(), W, H, Bg};
  const double cxs = double(W - 1) / 2, cys = double(H - 1) / 2;
  const double cxd = double(TW - 1) / 2, cyd = double(TH - 1) / 2;
  std::vector<double> X(static_cast<size_t>(TW)), Y(static_cast<size_t>(TW));
  for (int64_t i = 0; i < TW; ++i) {
    X[size_t(i)] = (double(i) - cxd) * c + cxs;
    Y[size_t(i)] = (double(i) - cxd) * s + cys;
  }
  const bool cubic = Mode == vxrBicubic;
  for (int64_t j = 0; j < TH; ++j) {
    const double A = (double(j) - cyd) * s;
    const double B = (double(j) - cyd) * c;
    uint8_t* d = dst[int32_t(j)];
    if (!cubic) {
      for (int64_t i = 0; i < TW; ++i, d += NC) {
        const double sx = X[size_t(i)] - A, sy = Y[size_t(i)] + B;
        const int64_t x0 = int64_t(sx), y0 = int64_t(sy);
        const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
        if (x0 >= 0 && y0 >= 0 && x0 + 1 < W && y0 + 1 < H) {
          const uint8_t* r0 = src[int32_t(y0)] + x0 * NC;
          const uint8_t* r1 = src[int32_t(y0 + 1)] + x0 * NC;
          Bilinear<NC>(d, r0, r0 + NC, r1, r1 + NC, fx, fy);
        } else if (x0 < -2 || y0 < -2 || x0 > W + 1 || y0 > H + 1) {
          for (int ch = 0; ch < NC; ++ch) d[ch] = Bg[ch];
        } else {
          Bilinear<NC>(d, fetch.at(x0, y0), fetch.at(x0 + 1, y0), fetch.at(x0, y0 + 1), fetch.at(x0 + 1, y0 + 1), fx,
                       fy);
        }
      }
    } else {
      for (int64_t i = 0; i < TW; ++i, d += NC) {
        const double sx = X[size_t(i)] - A, sy = Y[size_t(i)] + B;
        const double fsx = std::floor(sx), fsy = std::floor(sy);
        const int64_t x0 = int64_t(fsx), y0 = int64_t(fsy);
        const double tx = sx - fsx, ty = sy - fsy;
        if (x0 < -3 || y0 < -3 || x0 > W + 1 || y0 > H + 1) {
          for (int ch = 0; ch < NC; ++ch) d[ch] = Bg[ch];
          continue;
        }
        double wx[4], wy[4];
        CubicWeights(tx, wx);
        CubicWeights(ty, wy);
        const uint8_t* p[4][4];
        if (x0 >= 1 && y0 >= 1 && x0 + 2 < W && y0 + 2 < H) {
          for (int r = 0; r < 4; ++r) {
            const uint8_t* row = src[int32_t(y0 - 1 + r)] + (x0 - 1) * NC;
            for (int q = 0; q < 4; ++q) p[r][q] = row + q * NC;
          }
        } else {
          for (int r = 0; r < 4; ++r)
            for (int q = 0; q < 4; ++q) p[r][q] = fetch.at(x0 - 1 + q, y0 - 1 + r);
        }
        for (int ch = 0; ch < NC; ++ch) {
          double rs[4];
          for (int r = 0; r < 4; ++r)
            rs[r] = p[r][0][ch] * wx[0] + p[r][1][ch] * wx[1] + p[r][2][ch] * wx[2] + p[r][3][ch] * wx[3];
          const double v = rs[0] * wy[0] + rs[1] * wy[1] + rs[2] * wy[2] + rs[3] * wy[3];
          const int64_t q = RoundEven(v);
          d[ch] = uint8_t(q < 0 ? 0 : q > 255 ? 255 : q);
        }
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t(j * 100 / TH));
  }
}

}  // namespace

void VXRotateAntialias24To(TVXBitmap* Source, TVXBitmap* Target, TColor Background, void* Sender,
                           const TVXProgressEvent& OnProgress, TVXAntialiasMode Mode, double Angle) {
  if (!Source || !Target || Source == Target || !std::isfinite(Angle)) return;
  if (!Source->IsEmpty() && Source->PixelFormat() != vx24RGB) return;
  const TRGB c = VXColorToTRGB(Background);
  const uint8_t bg[3] = {c.b, c.g, c.r};
  Render<3, true>(Source, Target, bg, Mode, Angle, Sender, OnProgress);
}

void VXRotateAntialias24(TVXBitmap* Bitmap, TColor Background, TVXAntialiasMode Mode, void* Sender,
                         const TVXProgressEvent& OnProgress, double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->PixelFormat() != vx24RGB || !std::isfinite(Angle)) return;
  TVXBitmap result;
  PrepareLike(result, Bitmap);
  VXRotateAntialias24To(Bitmap, &result, Background, Sender, OnProgress, Mode, Angle);
  ReplaceImage(Bitmap, result);
}

void VXRotateAntialias8To(TVXBitmap* Source, TVXBitmap* Target, int32_t Background, TVXAntialiasMode Mode,
                          double Angle) {
  if (!Source || !Target || Source == Target || !std::isfinite(Angle)) return;
  if (!Source->IsEmpty() && Source->BitCount() != 8) return;
  const uint8_t bg[1] = {uint8_t(Background)};
  Render<1, false>(Source, Target, bg, Mode, Angle, nullptr, nullptr);
}

void VXRotateAntialias8(TVXBitmap* Bitmap, int32_t Background, TVXAntialiasMode Mode, double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->BitCount() != 8 || !std::isfinite(Angle)) return;
  TVXBitmap result;
  PrepareLike(result, Bitmap);
  VXRotateAntialias8To(Bitmap, &result, Background, Mode, Angle);
  ReplaceImage(Bitmap, result);
}
