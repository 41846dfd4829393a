// Reflection, motion blur, noise fill and spectrum zone clearing.

#include "proc/effects.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "core/bitmap.h"
#include "core/dictionary.h"
#include "proc/ftimage.h"

namespace {

uint8_t ClampByte(int64_t v) { return uint8_t(std::clamp<int64_t>(v, 0, 255)); }

// Trunc of a double into an int32 (saturating).
int32_t TruncInt(double v) {
  if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return int32_t(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// Reflection

void VXDoReflection(TVXBitmap* Bitmap, int32_t minAlpha, int32_t maxAlpha, int32_t percentage, void* Sender,
                    const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  if (int64_t(H) * 2 > INT32_MAX) return;
  Bitmap->Resize(W, 2 * H, 0, 255, vxhLeft, vxvTop);
  if (Bitmap->Height() != 2 * H) return;  // the larger image could not be had
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha || alpha->Width() != W || alpha->Height() != 2 * H) return;
  const size_t rowBytes = size_t(W) * 3;
  std::vector<uint8_t> row(rowBytes), alphaRow(static_cast<size_t>(W));
  const double start = (100.0 - percentage) / 100.0;
  int32_t lastProgress = -1;
  for (int32_t r = 0; r < H; ++r) {
    const int32_t target = 2 * H - 1 - r;
    std::memcpy(row.data(), Bitmap->ScanLine(r), rowBytes);
    std::memcpy(Bitmap->ScanLine(target), row.data(), rowBytes);
    const double f = double(r) / H;
    std::memcpy(alphaRow.data(), alpha->ScanLine(r), size_t(W));
    uint8_t* out = static_cast<uint8_t*>(alpha->ScanLine(target));
    for (int32_t x = 0; x < W; ++x) {
      const int32_t a = alphaRow[size_t(x)];
      const int32_t faded = TruncInt((f - start) * a);
      const int32_t v = std::max(minAlpha, std::min(maxAlpha, std::min(a, faded)));
      out[x] = ClampByte(v);
    }
    const int32_t per = int32_t(f * 100);
    if (per != lastProgress) {
      lastProgress = per;
      if (OnProgress) OnProgress(Sender, per);
    }
  }
  alpha->SetFull(false);
}

// ---------------------------------------------------------------------------
// Motion blur

namespace {

struct TMotionTaps {
  std::vector<double> weights;
  double dx = 0, dy = 0;
};

TMotionTaps MotionTaps(int32_t radius, int32_t sigma, double angle) {
  TMotionTaps t;
  const int64_t n = std::max<int64_t>(2 * int64_t(radius) + 1, 3);
  const double s = sigma;
  const double norm = s * std::sqrt(2 * M_PI);
  // Three sub-samples per tap. Taps whose weight has run out to 0 add
  // nothing, so the list stops there.
  double sum = 0;
  for (int64_t j = 0; j < n; ++j) {
    double w = 0;
    for (int32_t k = 0; k < 3; ++k) {
      const double d = double(3 * j + k);
      w += std::exp(-(d * d) / (18 * s * s)) / norm;
    }
    if (w == 0 && j > 0) break;
    t.weights.push_back(w);
    sum += w;
  }
  for (double& w : t.weights) w /= sum;
  const double theta = angle * M_PI / 180;
  const double ty = std::nearbyint(std::sin(theta) * double(n)), ux = std::nearbyint(std::cos(theta) * double(n));
  const double len = std::sqrt(ux * ux + ty * ty);
  t.dx = ux / len;
  t.dy = ty / len;
  return t;
}

// Blurs C-channel rows of W x H bytes from Src into Dst.
void MotionBlurPlane(const std::vector<uint8_t>& Src, std::vector<uint8_t>& Dst, int32_t W, int32_t H, int32_t C,
                     const TMotionTaps& Taps, void* Sender, const TVXProgressEvent& OnProgress) {
  const size_t n = Taps.weights.size();
  double wsum = 0;
  for (double w : Taps.weights) wsum += w;
  const bool divide = std::fabs(wsum) > 0.000001;
  auto clampTo = [](double v, int32_t hi) {
    return int32_t(std::clamp(std::nearbyint(v), 0.0, double(hi)));
  };
  // The column of every tap from every x.
  std::vector<int32_t> cols(n * size_t(W));
  for (size_t j = 0; j < n; ++j) {
    const double off = double(j) * Taps.dx;
    for (int32_t x = 0; x < W; ++x) cols[j * size_t(W) + size_t(x)] = clampTo(x + off, W - 1);
  }
  std::vector<const uint8_t*> rows(n);
  std::vector<double> sum(static_cast<size_t>(C));
  const size_t stride = size_t(W) * size_t(C);
  for (int32_t y = 0; y < H; ++y) {
    for (size_t j = 0; j < n; ++j) rows[j] = Src.data() + size_t(clampTo(y + double(j) * Taps.dy, H - 1)) * stride;
    uint8_t* out = Dst.data() + size_t(y) * stride;
    for (int32_t x = 0; x < W; ++x) {
      std::fill(sum.begin(), sum.end(), 0.0);
      for (size_t j = 0; j < n; ++j) {
        const uint8_t* p = rows[j] + size_t(cols[j * size_t(W) + size_t(x)]) * size_t(C);
        for (int32_t c = 0; c < C; ++c) sum[size_t(c)] += Taps.weights[j] * p[c];
      }
      for (int32_t c = 0; c < C; ++c) {
        const double v = divide ? sum[size_t(c)] / wsum : sum[size_t(c)];
        out[size_t(x) * size_t(C) + size_t(c)] = ClampByte(int64_t(std::clamp(v, -1.0, 256.0)));
      }
    }
    if (OnProgress) OnProgress(Sender, H > 1 ? int32_t(double(y) / (H - 1) * 100) : 100);
  }
}

void ReadRows(TVXBitmap* b, std::vector<uint8_t>& out, size_t rowBytes) {
  out.resize(rowBytes * size_t(b->Height()));
  for (int32_t y = 0; y < b->Height(); ++y) std::memcpy(out.data() + size_t(y) * rowBytes, b->ScanLine(y), rowBytes);
}

void WriteRows(TVXBitmap* b, const std::vector<uint8_t>& in, size_t rowBytes) {
  for (int32_t y = 0; y < b->Height(); ++y) std::memcpy(b->ScanLine(y), in.data() + size_t(y) * rowBytes, rowBytes);
}

}  // namespace

void VXDoMotionBlur(TVXBitmap* Bitmap, int32_t radius, int32_t sigma, double angle, void* Sender,
                    const TVXProgressEvent& OnProgress) {
  if (sigma < 1 || !std::isfinite(angle) || !Bitmap || Bitmap->IsEmpty()) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx8g && fmt != vx24RGB) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height(), C = fmt == vx8g ? 1 : 3;
  const TMotionTaps taps = MotionTaps(radius, sigma, angle);
  std::vector<uint8_t> src, dst;
  ReadRows(Bitmap, src, size_t(W) * size_t(C));
  dst.resize(src.size());
  MotionBlurPlane(src, dst, W, H, C, taps, Sender, OnProgress);
  WriteRows(Bitmap, dst, size_t(W) * size_t(C));
  TVXBitmap* alpha = Bitmap->AlphaChannelOpt();
  if (alpha && alpha->Width() == W && alpha->Height() == H && alpha->PixelFormat() == vx8g) {
    ReadRows(alpha, src, size_t(W));
    dst.resize(src.size());
    MotionBlurPlane(src, dst, W, H, 1, taps, nullptr, nullptr);
    WriteRows(alpha, dst, size_t(W));
    alpha->SyncFull();
  }
}

// ---------------------------------------------------------------------------
// Noise fill

namespace {

std::mutex& GeneratorLock() {
  static std::mutex m;
  return m;
}

// The process's generator; the caller holds the lock.
TVXRandomGenerator& Generator() {
  static TVXRandomGenerator g = [] {
    std::random_device rd;
    const uint32_t t = uint32_t(std::chrono::steady_clock::now().time_since_epoch().count());
    return TVXRandomGenerator(rd() ^ t, rd(), rd() | 1u, rd());
  }();
  return g;
}

double Uniform(TVXRandomGenerator& g) { return g.NextDWORD() / 4294967296.0; }

// The polar method of Marsaglia (s = 0 would divide by 0 and is drawn again).
double Gauss(TVXRandomGenerator& g) {
  double p, q, s;
  do {
    p = 2 * Uniform(g) - 1;
    q = 2 * Uniform(g) - 1;
    s = p * p + q * q;
  } while (s >= 1 || s == 0);
  return p * std::sqrt(-2 * std::log(s) / s);
}

uint8_t Level(double g) {
  const double v = g * 255;
  if (!(v > 0)) return 0;  // NaN too
  return v >= 255 ? 255 : uint8_t(std::nearbyint(v));
}

}  // namespace

double VXRandomUniform() {
  std::lock_guard<std::mutex> lock(GeneratorLock());
  return Uniform(Generator());
}

void VXDoRandomFill(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double mean, double stdDev) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx1g && fmt != vx8g && fmt != vx24RGB) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  std::lock_guard<std::mutex> lock(GeneratorLock());
  TVXRandomGenerator& g = Generator();
  for (int32_t y = y1; y < y2; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    for (int32_t x = x1; x < x2; ++x) {
      if (fmt == vx1g) {
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        if (mean + stdDev * Gauss(g) > 0.5)
          row[x >> 3] |= bit;
        else
          row[x >> 3] &= uint8_t(~bit);
      } else if (fmt == vx8g) {
        row[x] = Level(mean + stdDev * Gauss(g));
      } else {
        row[3 * x + 2] = Level(mean + stdDev * Gauss(g));
        row[3 * x + 1] = Level(mean + stdDev * Gauss(g));
        row[3 * x] = Level(mean + stdDev * Gauss(g));
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Spectrum zone clearing

void VXDoFTClearZone(TVXBitmap* Bitmap, int32_t tx1, int32_t ty1, int32_t tx2, int32_t ty2, bool GrayScale,
                     void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TVXFtImage ft;
  if (OnProgress) ft.OnProgress = [&](void*, int32_t per) { OnProgress(Sender, per); };
  ft.BuildFT(Bitmap, GrayScale ? vxitGrayscale : vxitRGB);
  // The dialog shows the spectrum of the image reduced to a suitable size:
  // its coordinates scale to this grid.
  int32_t sw = 0, sh = 0, S = 1;
  TVXFtImage::CalcSuitableSourceSize(Bitmap->Width(), Bitmap->Height(), sw, sh);
  TVXFtImage::CalcFFTImageSize(sw, sh, S);
  const double k = double(ft.FFTN()) / S;
  ft.ClearZone(TruncInt(tx1 * k), TruncInt(ty1 * k), TruncInt(tx2 * k), TruncInt(ty2 * k), 0, 0);
  ft.BuildBitmap(Bitmap);
}
