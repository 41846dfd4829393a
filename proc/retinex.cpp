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
#include "proc/adjust.h"
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

// ---------------------------------------------------------------------------
// Third-order recursive Gaussian with boundary conditions

TVXGauss3Coefs VXGauss3Coefs(double Sigma) {
  const double q =
      Sigma < 3.556 ? 0.0561 * Sigma * Sigma + 0.5784 * Sigma - 0.2568 : 2.5091 + 0.9804 * (Sigma - 3.556);
  const double s = (q + 1.1668) * (q * q + 2.21566 * q + 3.2037296485);
  TVXGauss3Coefs c;
  c.a1 = q * (3 * q * q + 6.76492 * q + 5.7889617365) / s;
  c.a2 = -q * q * (3 * q + 3.38246) / s;
  c.a3 = q * q * q / s;
  c.B = 3.7381117538698 / s;
  const long double a1 = c.a1, a2 = c.a2, a3 = c.a3;
  const long double f = 1 / ((1 + a1 - a2 + a3) * (1 - a1 - a2 - a3) * (1 + a2 + (a1 - a3) * a3));
  c.M[0][0] = f * (-a3 * a1 + 1 - a3 * a3 - a2);
  c.M[0][1] = f * (a3 + a1) * (a2 + a3 * a1);
  c.M[0][2] = f * a3 * (a1 + a3 * a2);
  c.M[1][0] = f * (a1 + a3 * a2);
  c.M[1][1] = -f * (a2 - 1) * (a2 + a3 * a1);
  c.M[1][2] = -f * a3 * (a3 * a1 + a3 * a3 + a2 - 1);
  c.M[2][0] = f * (a3 * a1 + a2 + a1 * a1 - a2 * a2);
  c.M[2][1] = f * (a1 * a2 + a3 * a2 * a2 - a1 * a3 * a3 - a3 * a3 * a3 - a3 * a2 + a3);
  c.M[2][2] = f * a3 * (a1 + a3 * a2);
  return c;
}

namespace {

// Count lines of n >= 3 samples at once, sample k of line j at Data[k x
// Stride + j]: the third-order pass in place, Offset added to every output.
// AfterRow(i) follows the i-th (0-based) of the n rows of the anticausal
// sweep.
template <typename RowDone>
void Gauss3Lines(double* Data, int32_t n, int32_t Count, size_t Stride, const TVXGauss3Coefs& C, double Offset,
                 RowDone AfterRow) {
  const double a1 = C.a1, a2 = C.a2, a3 = C.a3, B2 = C.B * C.B;
  auto at = [&](int32_t k) { return Data + size_t(k) * Stride; };
  const size_t count = static_cast<size_t>(Count);
  std::vector<double> first(count), last(count), beyond1(count), beyond2(count);
  for (int32_t j = 0; j < Count; ++j) {
    first[size_t(j)] = at(0)[j] / C.B;
    last[size_t(j)] = at(n - 1)[j];
  }
  // Causal, in the steady state of the first sample before the line.
  for (int32_t k = 0; k < n; ++k) {
    double* w = at(k);
    const double* w1 = k >= 1 ? at(k - 1) : first.data();
    const double* w2 = k >= 2 ? at(k - 2) : first.data();
    const double* w3 = k >= 3 ? at(k - 3) : first.data();
    for (int32_t j = 0; j < Count; ++j) w[j] = w[j] + a1 * w1[j] + a2 * w2[j] + a3 * w3[j];
  }
  // The anticausal values at n - 1, n and n + 1 that a continuation of the
  // line by its last sample gives.
  double* wl = at(n - 1);
  const double* wl1 = at(n - 2);
  const double* wl2 = at(n - 3);
  const long double g3 = 1.0L - C.a1 - C.a2 - C.a3, B2l = (long double)C.B * C.B;
  for (int32_t j = 0; j < Count; ++j) {
    const long double u = last[size_t(j)] / g3, v = u / g3;
    const long double r0 = wl[j] - u, r1 = wl1[j] - u, r2 = wl2[j] - u;
    wl[j] = double((C.M[0][0] * r0 + C.M[0][1] * r1 + C.M[0][2] * r2 + v) * B2l);
    beyond1[size_t(j)] = double((C.M[1][0] * r0 + C.M[1][1] * r1 + C.M[1][2] * r2 + v) * B2l);
    beyond2[size_t(j)] = double((C.M[2][0] * r0 + C.M[2][1] * r1 + C.M[2][2] * r2 + v) * B2l);
  }
  AfterRow(0);
  for (int32_t k = n - 2; k >= 0; --k) {
    double* y = at(k);
    const double* y1 = at(k + 1);
    const double* y2 = k + 2 <= n - 1 ? at(k + 2) : beyond1.data();
    const double* y3 = k + 3 <= n - 1 ? at(k + 3) : k + 3 == n ? beyond1.data() : beyond2.data();
    for (int32_t j = 0; j < Count; ++j) y[j] = B2 * y[j] + a1 * y1[j] + a2 * y2[j] + a3 * y3[j];
    // Row k + 3 is no longer needed by the recursion.
    if (Offset != 0 && k + 3 <= n - 1)
      for (int32_t j = 0; j < Count; ++j) at(k + 3)[j] += Offset;
    AfterRow(n - 1 - k);
  }
  if (Offset != 0)
    for (int32_t k = 0; k < std::min(n, 3); ++k)
      for (int32_t j = 0; j < Count; ++j) at(k)[j] += Offset;
}

}  // namespace

void VXGauss3Line(double* Line, int32_t n, const TVXGauss3Coefs& Coefs) {
  if (!Line || n < 3) return;
  Gauss3Lines(Line, n, 1, 1, Coefs, 0, [](int32_t) {});
}

// ---------------------------------------------------------------------------
// Local adaptation

void VXDoAutoEnhance3(TVXBitmap* Bitmap, int32_t Saturation, double Gamma, void* Sender,
                      const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap) || !(Gamma > 0)) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int32_t W2 = W + 8, H2 = H + 8;
  // The enlarged copy, the output, three single and one double plane.
  VXCheckImageSize(W2, H2, 24 + 24 + 3 * 32 + 64);
  const size_t e = size_t(W2) * size_t(H2);

  // Progress: nine stages of 9 per cent, each counting its rows.
  int32_t total = 0;
  auto row = [&](int32_t r) {
    if (OnProgress) OnProgress(Sender, total + int32_t(0.09 * r / (H2 - 1) * 100));
  };
  auto stageDone = [&] { total += int32_t(0.09 * 100); };

  // The enlarged image: 8 black columns on the left, 8 black rows at the
  // bottom.
  TVXBitmap big;
  if (!big.Allocate(W, H, vx24RGB)) throw EVXException("Not enough memory for AutoEnhance3");
  big.AssignImage(Bitmap);
  big.Resize(W2, H2, 0.5, 255, vxhRight, vxvTop);

  // Luminance.
  std::vector<float> L(e), L1(e), L2(e);
  std::vector<double> plane(e);
  double sum = 0;
  for (int32_t y = 0; y < H2; ++y) {
    const TRGB* p = static_cast<const TRGB*>(big.GetRow(y));
    for (int32_t x = 0; x < W2; ++x) {
      int32_t Y, Cb, Cr;
      VXRGBToYCbCr(Y, Cb, Cr, p[x]);
      const float l = float(Y / 255.0);
      L[size_t(y) * size_t(W2) + size_t(x)] = l;
      sum += l;
    }
    big.FreeRow(y);
    row(y);
  }
  stageDone();
  double F = 0.5 * sum / (double(W2 - 1) * double(H2 - 1));

  // One adaptation stage: Target = Source x (G + 1) / (Source + G), G being
  // Source smoothed with Sigma plus the offset F.
  auto adapt = [&](const std::vector<float>& Source, std::vector<float>& Target, double Sigma) {
    const TVXGauss3Coefs c = VXGauss3Coefs(Sigma);
    for (size_t i = 0; i < e; ++i) plane[i] = Source[i];
    for (int32_t y = 0; y < H2; ++y) {
      Gauss3Lines(plane.data() + size_t(y) * size_t(W2), W2, 1, 1, c, 0, [](int32_t) {});
      row(y);
    }
    stageDone();
    Gauss3Lines(plane.data(), H2, W2, size_t(W2), c, F, row);
    stageDone();
    double s = 0;
    for (int32_t y = 0; y < H2; ++y) {
      for (int32_t x = 0; x < W2; ++x) {
        const size_t i = size_t(y) * size_t(W2) + size_t(x);
        const double v = Source[i], G = plane[i];
        Target[i] = v + G > 0 ? float(v * (G + 1) / (v + G)) : 0.0f;
        s += Target[i];
      }
      row(y);
    }
    stageDone();
    F = 0.5 * s / (double(W2 - 1) * double(H2 - 1));
  };
  adapt(L, L1, 3.0);
  adapt(L1, L2, 1.5);

  // Each channel scaled by the new luminance over the old one, in gamma 2.2.
  uint8_t T22[256], TG[256];
  for (int32_t i = 0; i < 256; ++i) {
    T22[i] = uint8_t(std::clamp(std::nearbyint(255 * std::pow(i / 255.0, 1 / 2.2)), 0.0, 255.0));
    TG[i] = uint8_t(std::clamp(std::nearbyint(255 * std::pow(i / 255.0, 1 / Gamma)), 0.0, 255.0));
  }
  T22[0] = 1;
  TVXBitmap out;
  if (!out.Allocate(W2, H2, vx24RGB)) throw EVXException("Not enough memory for AutoEnhance3");
  for (int32_t y = 0; y < H2; ++y) {
    const uint8_t* src = static_cast<const uint8_t*>(big.GetRow(y));
    uint8_t* dst = static_cast<uint8_t*>(out.GetRow(y));
    for (int32_t x = 0; x < W2; ++x) {
      const size_t i = size_t(y) * size_t(W2) + size_t(x);
      const int32_t l = T22[std::clamp(int32_t(double(L[i]) * 255), 0, 255)];
      const double ratio = double(L2[i]) * 255 / l;
      for (int32_t c = 0; c < 3; ++c) dst[3 * x + c] = TG[ClampTrunc(T22[src[3 * x + c]] * ratio)];
    }
    big.FreeRow(y);
    out.FreeRow(y);
    row(y);
  }
  stageDone();

  VXDoAdjustSaturation(&out, Saturation - 100, Sender, OnProgress, total, 0.09);
  stageDone();

  out.Resize(W, H, 0.5, 255, vxhRight, vxvTop);
  Bitmap->AssignImage(&out);
}
