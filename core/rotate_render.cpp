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

#if defined(__x86_64__)
#include <immintrin.h>
#define VX_ROTATE_AVX2 1
#endif

namespace vxrotate {
bool gRenderScalarOnly = false;
}  // namespace vxrotate

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

// One target pixel of each interpolation at the source point (sx, sy).
template <int NC, bool Ring>
inline void BilinearPixel(uint8_t* d, double sx, double sy, const TFetch<NC, Ring>& fetch) {
  const int64_t x0 = int64_t(sx), y0 = int64_t(sy);
  const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
  if (x0 >= 0 && y0 >= 0 && x0 + 1 < fetch.W && y0 + 1 < fetch.H) {
    const uint8_t* r0 = fetch.rows[size_t(y0)] + x0 * NC;
    const uint8_t* r1 = fetch.rows[size_t(y0 + 1)] + x0 * NC;
    Bilinear<NC>(d, r0, r0 + NC, r1, r1 + NC, fx, fy);
  } else if (x0 < -2 || y0 < -2 || x0 > fetch.W + 1 || y0 > fetch.H + 1) {
    for (int ch = 0; ch < NC; ++ch) d[ch] = fetch.bg[ch];
  } else {
    Bilinear<NC>(d, fetch.at(x0, y0), fetch.at(x0 + 1, y0), fetch.at(x0, y0 + 1), fetch.at(x0 + 1, y0 + 1), fx, fy);
  }
}

template <int NC, bool Ring>
inline void BicubicPixel(uint8_t* d, double sx, double sy, const TFetch<NC, Ring>& fetch) {
  const double fsx = std::floor(sx), fsy = std::floor(sy);
  const int64_t x0 = int64_t(fsx), y0 = int64_t(fsy);
  if (x0 < -3 || y0 < -3 || x0 > fetch.W + 1 || y0 > fetch.H + 1) {
    for (int ch = 0; ch < NC; ++ch) d[ch] = fetch.bg[ch];
    return;
  }
  double wx[4], wy[4];
  CubicWeights(sx - fsx, wx);
  CubicWeights(sy - fsy, wy);
  const uint8_t* p[4][4];
  if (x0 >= 1 && y0 >= 1 && x0 + 2 < fetch.W && y0 + 2 < fetch.H) {
    for (int r = 0; r < 4; ++r) {
      const uint8_t* row = fetch.rows[size_t(y0 - 1 + r)] + (x0 - 1) * NC;
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

#ifdef VX_ROTATE_AVX2
// The same arithmetic on the three channels at once (one lane each, the
// fourth lane unused): every lane does the scalar operations in the scalar
// order, without fused multiply-adds, so the bytes are the same.

__attribute__((target("avx2"))) inline __m256d Load3(const uint8_t* p) {
  const uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int32_t(v))));
}

// The pixel at p and the one after it, from 8 bytes at p.
__attribute__((target("avx2"))) inline void Load3Pair(const uint8_t* p, __m256d& First, __m256d& Second) {
  const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  First = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(v));
  Second = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 3)));
}

__attribute__((target("avx2"))) inline void Store3(uint8_t* d, __m128i v) {
  const uint32_t b = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(v, v), v)));
  d[0] = uint8_t(b);
  d[1] = uint8_t(b >> 8);
  d[2] = uint8_t(b >> 16);
}

__attribute__((target("avx2"))) void BilinearRow3Avx2(uint8_t* d, const double* X, const double* Y, double A,
                                                      double B, int64_t TW, const TFetch<3, true>& fetch) {
  for (int64_t i = 0; i < TW; ++i, d += 3) {
    const double sx = X[i] - A, sy = Y[i] + B;
    const int64_t x0 = int64_t(sx), y0 = int64_t(sy);
    if (!(x0 >= 0 && y0 >= 0 && x0 + 1 < fetch.W && y0 + 1 < fetch.H && sx >= 0 && sy >= 0)) {
      BilinearPixel<3, true>(d, sx, sy, fetch);
      continue;
    }
    const __m256d fx = _mm256_set1_pd(sx - double(x0)), fy = _mm256_set1_pd(sy - double(y0));
    const uint8_t* r0 = fetch.rows[size_t(y0)] + x0 * 3;
    const uint8_t* r1 = fetch.rows[size_t(y0 + 1)] + x0 * 3;
    __m256d p00, p10, p01, p11;
    if (x0 + 2 < fetch.W) {
      // Both pixels of a row in one 8-byte load, which stays inside the row.
      Load3Pair(r0, p00, p10);
      Load3Pair(r1, p01, p11);
    } else {
      p00 = Load3(r0);
      p10 = Load3(r0 + 3);
      p01 = Load3(r1);
      p11 = Load3(r1 + 3);
    }
    const __m256d top = _mm256_add_pd(p00, _mm256_mul_pd(_mm256_sub_pd(p10, p00), fx));
    const __m256d bottom = _mm256_add_pd(p01, _mm256_mul_pd(_mm256_sub_pd(p11, p01), fx));
    const __m256d v = _mm256_add_pd(top, _mm256_mul_pd(_mm256_sub_pd(bottom, top), fy));
    Store3(d, _mm256_cvttpd_epi32(v));
  }
}

__attribute__((target("avx2"))) void BicubicRow3Avx2(uint8_t* d, const double* X, const double* Y, double A,
                                                     double B, int64_t TW, const TFetch<3, true>& fetch) {
  const __m128i lo = _mm_setzero_si128(), hi = _mm_set1_epi32(255);
  for (int64_t i = 0; i < TW; ++i, d += 3) {
    const double sx = X[i] - A, sy = Y[i] + B;
    const double fsx = std::floor(sx), fsy = std::floor(sy);
    const int64_t x0 = int64_t(fsx), y0 = int64_t(fsy);
    if (!(x0 >= 1 && y0 >= 1 && x0 + 2 < fetch.W && y0 + 2 < fetch.H)) {
      BicubicPixel<3, true>(d, sx, sy, fetch);
      continue;
    }
    double wx[4], wy[4];
    CubicWeights(sx - fsx, wx);
    CubicWeights(sy - fsy, wy);
    const __m256d w0 = _mm256_set1_pd(wx[0]), w1 = _mm256_set1_pd(wx[1]), w2 = _mm256_set1_pd(wx[2]),
                  w3 = _mm256_set1_pd(wx[3]);
    __m256d v = _mm256_setzero_pd();
    for (int r = 0; r < 4; ++r) {
      const uint8_t* q = fetch.rows[size_t(y0 - 1 + r)] + (x0 - 1) * 3;
      __m256d acc = _mm256_mul_pd(Load3(q), w0);
      acc = _mm256_add_pd(acc, _mm256_mul_pd(Load3(q + 3), w1));
      acc = _mm256_add_pd(acc, _mm256_mul_pd(Load3(q + 6), w2));
      acc = _mm256_add_pd(acc, _mm256_mul_pd(Load3(q + 9), w3));
      const __m256d term = _mm256_mul_pd(acc, _mm256_set1_pd(wy[r]));
      v = r == 0 ? term : _mm256_add_pd(v, term);
    }
    v = _mm256_round_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    Store3(d, _mm_max_epi32(lo, _mm_min_epi32(hi, _mm256_cvtpd_epi32(v))));
  }
}
#endif

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
#ifdef VX_ROTATE_AVX2
  const bool avx2 = NC == 3 && Ring && !gRenderScalarOnly && __builtin_cpu_supports("avx2");
#endif
  for (int64_t j = 0; j < TH; ++j) {
    const double A = (double(j) - cyd) * s;
    const double B = (double(j) - cyd) * c;
    uint8_t* d = dst[int32_t(j)];
#ifdef VX_ROTATE_AVX2
    if constexpr (NC == 3 && Ring) {
      if (avx2) {
        if (cubic)
          BicubicRow3Avx2(d, X.data(), Y.data(), A, B, TW, fetch);
        else
          BilinearRow3Avx2(d, X.data(), Y.data(), A, B, TW, fetch);
        if (OnProgress) OnProgress(Sender, int32_t(j * 100 / TH));
        continue;
      }
    }
#endif
    if (!cubic) {
      for (int64_t i = 0; i < TW; ++i, d += NC) BilinearPixel<NC, Ring>(d, X[size_t(i)] - A, Y[size_t(i)] + B, fetch);
    } else {
      for (int64_t i = 0; i < TW; ++i, d += NC) BicubicPixel<NC, Ring>(d, X[size_t(i)] - A, Y[size_t(i)] + B, fetch);
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
