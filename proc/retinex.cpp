// Enhancements built on recursive Gaussian smoothing of floating-point
// planes: the multi-scale retinex with colour restoration, and the local
// adaptation of the luminance.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/bitmap.h"
#include "core/colorspace.h"
#include "core/limits.h"
#include "proc/autoenhance.h"

namespace {

bool Usable(TVXBitmap* Bitmap) { return Bitmap && !Bitmap->IsEmpty() && Bitmap->PixelFormat() == vx24RGB; }

// clamp(Trunc(v)) to 0..255; no number gives 0.
uint8_t ClampTrunc(double v) {
  if (!(v > 0)) return 0;
  return v >= 255 ? 255 : uint8_t(v);
}

void Report(const TVXProgressEvent& OnProgress, void* Sender, int32_t Percent) {
  if (OnProgress) OnProgress(Sender, Percent);
}

// The natural logarithm, of the smallest positive double for values that
// are not positive.
double SafeLog(double v) { return std::log(v > 0 ? v : std::numeric_limits<double>::denorm_min()); }

// Scale i of the retinex.
double RetinexScale(int32_t i, int32_t ScaleCount, int32_t ScaleCurve, int32_t ScaleHigh) {
  if (ScaleCount <= 2) return i == 0 ? ScaleHigh / 2.0 : double(ScaleHigh);
  const double p = std::pow(10.0, i * std::log(double(ScaleHigh) - 2) / ScaleCount / std::log(10.0));
  switch (ScaleCurve) {
    case 0:
      return 2 + p;
    case 1:
      return ScaleHigh - p;
    default:
      return 2 + double(ScaleHigh) / ScaleCount * i;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// First-order-cascade recursive Gaussian

TVXRecursiveGaussCoefs VXRecursiveGaussCoefs(float Sigma) {
  const double s = Sigma;
  float q;
  if (s >= 2.5)
    q = float(0.98711 * s - 0.96330);
  else if (s >= 0.5)
    q = float(3.97156 - 4.14554 * std::sqrt(1 - 0.26891 * s));
  else
    q = 0.1147705f;
  const double dq = q;
  const float b0 = float(1.57825 + 2.44413 * dq + 1.4281 * dq * dq + 0.422205 * dq * dq * dq);
  TVXRecursiveGaussCoefs c;
  c.b1 = float((2.44413 * dq + 2.85619 * dq * dq + 1.26661 * dq * dq * dq) / b0);
  c.b2 = float(-(1.4281 * dq * dq + 1.26661 * dq * dq * dq) / b0);
  c.b3 = float(0.422205 * dq * dq * dq / b0);
  c.B = float(1 - (double(c.b1) + double(c.b2) + double(c.b3)));
  return c;
}

void VXRecursiveGaussLine(const float* Source, float* Target, int32_t n, const TVXRecursiveGaussCoefs& Coefs,
                          float* Work) {
  if (n < 1) return;
  const int32_t m = 3 * n;
  for (int32_t k = 0; k < n; ++k) {
    Work[k] = Source[n - 1 - k];
    Work[n + k] = Source[k];
    Work[2 * n + k] = Source[n - 1 - k];
  }
  const float B = Coefs.B, b1 = Coefs.b1, b2 = Coefs.b2, b3 = Coefs.b3;
  // Causal, in place: w[k] replaces e[k].
  float w1 = 0, w2 = 0, w3 = 0;
  for (int32_t k = 0; k < m; ++k) {
    const float w = B * Work[k] + b1 * w1 + b2 * w2 + b3 * w3;
    Work[k] = w;
    w3 = w2, w2 = w1, w1 = w;
  }
  // Anticausal back to the middle copy.
  float y1 = 0, y2 = 0, y3 = 0;
  for (int32_t k = m - 1; k >= n; --k) {
    const float y = B * Work[k] + b1 * y1 + b2 * y2 + b3 * y3;
    Work[k] = y;
    y3 = y2, y2 = y1, y1 = y;
  }
  std::memcpy(Target, Work + n, size_t(n) * sizeof(float));
}

void VXRecursiveGaussPlane(const float* Source, float* Target, int32_t Width, int32_t Height,
                           const TVXRecursiveGaussCoefs& Coefs) {
  if (Width < 1 || Height < 1) return;
  std::vector<float> work(3 * static_cast<size_t>(std::max(Width, Height))), column(static_cast<size_t>(Height));
  for (int32_t y = 0; y < Height; ++y)
    VXRecursiveGaussLine(Source + size_t(y) * size_t(Width), Target + size_t(y) * size_t(Width), Width, Coefs,
                         work.data());
  for (int32_t x = 0; x < Width; ++x) {
    for (int32_t y = 0; y < Height; ++y) column[size_t(y)] = Target[size_t(y) * size_t(Width) + size_t(x)];
    VXRecursiveGaussLine(column.data(), column.data(), Height, Coefs, work.data());
    for (int32_t y = 0; y < Height; ++y) Target[size_t(y) * size_t(Width) + size_t(x)] = column[size_t(y)];
  }
}

// ---------------------------------------------------------------------------
// Multi-scale retinex

bool VXAutoEnhance2Accepts(int32_t Width, int32_t Height, int32_t ScaleCount, int32_t ScaleCurve, int32_t ScaleHigh) {
  if (Width < 3 || Height < 3 || ScaleCount < 1) return false;
  if (ScaleCount > 2 && (ScaleCurve < 0 || ScaleCurve > 2)) return false;
  for (int32_t i = 0; i < ScaleCount; ++i)
    if (!std::isfinite(RetinexScale(i, ScaleCount, ScaleCurve, ScaleHigh))) return false;
  return true;
}

void VXDoAutoEnhance2(TVXBitmap* Bitmap, int32_t ScaleCount, int32_t ScaleCurve, bool Luminance, int32_t ScaleHigh,
                      double Variance, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  if (!VXAutoEnhance2Accepts(W, H, ScaleCount, ScaleCurve, ScaleHigh)) return;
  const int32_t planes = Luminance ? 1 : 3;
  // Input, smoothed and result planes of single-precision values.
  VXCheckImageSize(W, H, 3 * 32 * planes);
  const size_t e = size_t(W) * size_t(H);
  Report(OnProgress, Sender, 0);

  std::vector<std::vector<float>> I(static_cast<size_t>(planes), std::vector<float>(e)), blurred(I), R(I);
  for (int32_t y = 0; y < H; ++y) {
    const TRGB* row = static_cast<const TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < W; ++x) {
      const size_t i = size_t(y) * size_t(W) + size_t(x);
      if (Luminance) {
        int32_t Y, Cb, Cr;
        VXRGBToYCbCr(Y, Cb, Cr, row[x]);
        I[0][i] = float(Y + 1);
      } else {
        I[0][i] = float(row[x].b + 1);
        I[1][i] = float(row[x].g + 1);
        I[2][i] = float(row[x].r + 1);
      }
    }
    Bitmap->FreeRow(y);
  }
  Report(OnProgress, Sender, 10);

  const double weight = 1.0 / ScaleCount;
  for (int32_t s = 0; s < ScaleCount; ++s) {
    Report(OnProgress, Sender, int32_t(double(s) / ScaleCount * 50 + 20));
    const TVXRecursiveGaussCoefs coefs = VXRecursiveGaussCoefs(float(RetinexScale(s, ScaleCount, ScaleCurve, ScaleHigh)));
    for (int32_t c = 0; c < planes; ++c) {
      VXRecursiveGaussPlane(I[size_t(c)].data(), blurred[size_t(c)].data(), W, H, coefs);
      float* r = R[size_t(c)].data();
      const float* in = I[size_t(c)].data();
      const float* bl = blurred[size_t(c)].data();
      for (size_t i = 0; i < e; ++i) r[i] = float(r[i] + weight * (SafeLog(in[i]) - SafeLog(bl[i])));
    }
  }
  Report(OnProgress, Sender, 80);

  // Colour restoration.
  for (size_t i = 0; i < e; ++i) {
    if (Luminance) {
      R[0][i] = float((SafeLog(128.0 * I[0][i]) - SafeLog(I[0][i])) * R[0][i]);
    } else {
      const double L = SafeLog(double(I[0][i]) + double(I[1][i]) + double(I[2][i]));
      for (int32_t c = 0; c < 3; ++c)
        R[size_t(c)][i] = float((SafeLog(128.0 * I[size_t(c)][i]) - L) * R[size_t(c)][i]);
    }
  }

  // The spread of the results. A deviation within single-precision noise
  // (a flat image) counts as none, so that the noise is not stretched to
  // full contrast.
  double sum = 0, sumSq = 0;
  for (int32_t c = 0; c < planes; ++c)
    for (size_t i = 0; i < e; ++i) {
      const double v = R[size_t(c)][i];
      sum += v;
      sumSq += v * v;
    }
  const double count = double(e) * planes;
  const double m = sum / count;
  double d = std::sqrt(std::max(0.0, sumSq / count - m * m));
  if (d <= 1e-4 * std::max(1.0, std::fabs(m))) d = 0;
  const double low = m - Variance * d;
  double range = (m + Variance * d) - low;
  if (range == 0) range = 1;
  Report(OnProgress, Sender, 90);

  for (int32_t y = 0; y < H; ++y) {
    TRGB* row = static_cast<TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < W; ++x) {
      const size_t i = size_t(y) * size_t(W) + size_t(x);
      if (Luminance) {
        int32_t Y, Cb, Cr;
        VXRGBToYCbCr(Y, Cb, Cr, row[x]);
        row[x] = VXYCbCrToRGB(ClampTrunc((R[0][i] - low) * 255 / range), Cb, Cr);
      } else {
        row[x].b = ClampTrunc((R[0][i] - low) * 255 / range);
        row[x].g = ClampTrunc((R[1][i] - low) * 255 / range);
        row[x].r = ClampTrunc((R[2][i] - low) * 255 / range);
      }
    }
    Bitmap->FreeRow(y);
  }
  Report(OnProgress, Sender, 100);
}
