// The Shen-Castan edge detector.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/workbitmap.h"
#include "proc/docanalysis.h"

namespace {

// Rows and columns this close to a border of the work image are never edge
// candidates.
constexpr int32_t kOutline = 25;
// The periodic frame around the picture: the outline and two more.
constexpr int32_t kFrame = kOutline + 2;

struct TShenCastanState {
  int32_t nr = 0, nc = 0;  // work image rows and columns
  double Smooth = 0.9;
  double HighThreshold = 22, LowThreshold = 20;
  double Ratio = 0.99;
  int32_t WindowSize = 7;
  bool DoHysteresis = true;
  int32_t ThinFactor = 0;

  bool Interior(int32_t r, int32_t c) const {
    return r >= kOutline && r < nr - kOutline && c >= kOutline && c < nc - kOutline;
  }
};

// The infinite symmetric exponential filter of x into y (both nr x nc
// floats), vertically, then horizontally in place.
void ISEF(const TShenCastanState& st, TVXWorkBitmap& x, TVXWorkBitmap& y) {
  const int32_t nr = st.nr, nc = st.nc;
  const double b = st.Smooth, b1 = (1 - b) / (1 + b), b2 = b * b1;
  TVXWorkBitmap A(nc, nr, 32), B(nc, nr, 32);
  for (int32_t c = 0; c < nc; ++c) {
    *A.GetPSingle(0, c) = float(b1 * *x.GetPSingle(0, c));
    *B.GetPSingle(nr - 1, c) = float(b2 * *x.GetPSingle(nr - 1, c));
  }
  for (int32_t r = 1; r < nr; ++r) {
    const float* xr = x.GetPSingle(r, 0);
    const float* ap = A.GetPSingle(r - 1, 0);
    float* ar = A.GetPSingle(r, 0);
    for (int32_t c = 0; c < nc; ++c) ar[c] = float(b1 * xr[c] + b * ap[c]);
  }
  for (int32_t r = nr - 2; r >= 0; --r) {
    const float* xr = x.GetPSingle(r, 0);
    const float* bn = B.GetPSingle(r + 1, 0);
    float* br = B.GetPSingle(r, 0);
    for (int32_t c = 0; c < nc; ++c) br[c] = float(b2 * xr[c] + b * bn[c]);
  }
  for (int32_t r = 0; r < nr; ++r) {
    const float* ar = A.GetPSingle(r, 0);
    float* yr = y.GetPSingle(r, 0);
    if (r == nr - 1) {
      for (int32_t c = 0; c < nc; ++c) yr[c] = ar[c];
    } else {
      const float* bn = B.GetPSingle(r + 1, 0);
      for (int32_t c = 0; c < nc; ++c) yr[c] = ar[c] + bn[c];
    }
  }
  // Horizontal, row by row.
  std::vector<float> a(static_cast<size_t>(nc)), bb(static_cast<size_t>(nc));
  for (int32_t r = 0; r < nr; ++r) {
    float* yr = y.GetPSingle(r, 0);
    a[0] = float(b1 * yr[0]);
    for (int32_t c = 1; c < nc; ++c) a[size_t(c)] = float(b1 * yr[c] + b * a[size_t(c - 1)]);
    bb[size_t(nc - 1)] = float(b2 * yr[nc - 1]);
    for (int32_t c = nc - 2; c >= 0; --c) bb[size_t(c)] = float(b2 * yr[c] + b * bb[size_t(c + 1)]);
    yr[nc - 1] = a[size_t(nc - 1)];
    for (int32_t c = 0; c < nc - 1; ++c) yr[c] = a[size_t(c)] + bb[size_t(c + 1)];
  }
}

// Average of the smoothed values where bli is off minus where it is on,
// over the window around (r, c) (positions outside the image left out).
float AdaptiveGradient(const TShenCastanState& st, const TVXWorkBitmap& bli, const TVXWorkBitmap& y, int32_t r,
                       int32_t c) {
  const int32_t h = st.WindowSize / 2;
  double sumOn = 0, sumOff = 0;
  int32_t numOn = 0, numOff = 0;
  for (int32_t i = -h; i <= h; ++i) {
    const int32_t rr = r + i;
    if (rr < 0 || rr >= st.nr) continue;
    for (int32_t j = -h; j <= h; ++j) {
      const int32_t cc = c + j;
      if (cc < 0 || cc >= st.nc) continue;
      const float v = *y.GetPSingle(rr, cc);
      if (*bli.GetPByte(rr, cc)) {
        sumOn += v;
        ++numOn;
      } else {
        sumOff += v;
        ++numOff;
      }
    }
  }
  const double avgOn = sumOn != 0 ? sumOn / numOn : 0, avgOff = sumOff != 0 ? sumOff / numOff : 0;
  return float(avgOff - avgOn);
}

void Thresholds(TShenCastanState& st, const TVXWorkBitmap& grad) {
  double vmin = std::fabs(*grad.GetPSingle(20, 20)), vmax = vmin;
  for (int32_t r = kOutline; r < st.nr - kOutline; ++r)
    for (int32_t c = kOutline; c < st.nc - kOutline; ++c) {
      const double v = *grad.GetPSingle(r, c);
      vmin = std::min(vmin, v);
      vmax = std::max(vmax, v);
    }
  const double scale = 256.0 / (vmax - vmin + 1);
  std::vector<int64_t> hist(256, 0);
  for (int32_t r = kOutline; r < st.nr - kOutline; ++r)
    for (int32_t c = kOutline; c < st.nc - kOutline; ++c) {
      const int32_t bin = std::clamp(int32_t((*grad.GetPSingle(r, c) - vmin) * scale), 0, 255);
      ++hist[size_t(bin)];
    }
  const double limit = std::trunc(st.nr * st.Ratio * st.nc);
  int32_t k = 255;
  int64_t count = hist[255];
  while (double(count) < limit) {
    --k;
    if (k < 0) break;
    count += hist[size_t(k)];
  }
  st.HighThreshold = k / scale + vmin;
  st.LowThreshold = st.DoHysteresis ? st.HighThreshold / 2 : st.HighThreshold;
}

// Follows one chain from (r, c) as the recursive tracer would: each pixel
// marks itself (1 above the low threshold, else 255) and continues into the
// first neighbour that takes the mark; the chain's pixels are then thinned
// every ThinFactor levels. Done on an explicit list, so that no chain length
// reaches the call stack.
void MarkConnected(const TShenCastanState& st, const TVXWorkBitmap& grad, TVXWorkBitmap& edges, int32_t r,
                   int32_t c, std::vector<std::pair<int32_t, int32_t>>& chain) {
  static constexpr int32_t kNeighbours[8][2] = {{0, 1},  {0, -1},  {1, 1},  {1, 0},
                                                {1, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
  auto takes = [&](int32_t rr, int32_t cc) {
    if (rr < 0 || cc < 0 || rr >= st.nr || cc >= st.nc) return false;
    uint8_t& e = *edges.GetPByte(rr, cc);
    if (e != 0) return false;
    const float g = *grad.GetPSingle(rr, cc);
    if (g == 0) return false;
    e = g > st.LowThreshold ? 1 : 255;
    return true;
  };
  chain.clear();
  if (!takes(r, c)) return;
  chain.emplace_back(r, c);
  for (;;) {
    bool found = false;
    for (const auto& d : kNeighbours) {
      const int32_t rr = chain.back().first + d[0], cc = chain.back().second + d[1];
      if (takes(rr, cc)) {
        chain.emplace_back(rr, cc);
        found = true;
        break;
      }
    }
    if (!found) break;
  }
  if (st.ThinFactor <= 0) return;
  // Every pixel but the last had a neighbour that took the mark.
  for (size_t level = 1; level + 1 < chain.size(); ++level)
    if (level % size_t(st.ThinFactor) != 0) *edges.GetPByte(chain[level].first, chain[level].second) = 255;
}

}  // namespace

void VXShenCastan(TVXBitmap* Source, TVXBitmap* Target, int32_t WindowSize, TProgressRec& Progress,
                  bool DoHysteresis, int32_t ThinFactor, double Smooth, double Ratio) {
  if (!Source || !Target || Source->IsEmpty() || Source->PixelFormat() != vx24RGB) return;
  const int32_t W = Source->Width(), H = Source->Height();
  TShenCastanState st;
  st.nr = H + 2 * kFrame;
  st.nc = W + 2 * kFrame;
  st.Smooth = Smooth;
  st.Ratio = Ratio;
  st.WindowSize = WindowSize;
  st.DoHysteresis = DoHysteresis;
  st.ThinFactor = ThinFactor;
  int32_t last = -1;
  auto step = [&](int32_t k) { VXReportProgress(Progress, int32_t(k * 100 / 6), last); };

  // Grey picture, embedded periodically in the work image.
  const auto* settings = VXGetGlobalSettings();
  const int32_t cr = settings->RedToGrayCoef(), cg = settings->GreenToGrayCoef(), cb = settings->BlueToGrayCoef();
  std::vector<uint8_t> grey(size_t(int64_t(W) * H));
  for (int32_t yy = 0; yy < H; ++yy) {
    const TRGB* row = static_cast<const TRGB*>(Source->Scanline(yy));
    for (int32_t xx = 0; xx < W; ++xx)
      grey[size_t(int64_t(yy) * W + xx)] = uint8_t((row[xx].r * cr + row[xx].g * cg + row[xx].b * cb) / 100);
  }
  auto wrap = [](int64_t v, int64_t n) { return int32_t(((v % n) + n) % n); };
  TVXWorkBitmap x(st.nc, st.nr, 32), y(st.nc, st.nr, 32);
  for (int32_t r = 0; r < st.nr; ++r) {
    const int32_t gy = wrap(int64_t(r) + H - kFrame, H);
    float* xr = x.GetPSingle(r, 0);
    for (int32_t c = 0; c < st.nc; ++c) xr[c] = grey[size_t(int64_t(gy) * W + wrap(int64_t(c) + W - kFrame, W))];
  }

  ISEF(st, x, y);
  step(1);

  // Band-limited Laplacian.
  TVXWorkBitmap bli(st.nc, st.nr, 8);
  for (int32_t r = kOutline; r < st.nr - kOutline; ++r)
    for (int32_t c = kOutline; c < st.nc - kOutline; ++c)
      *bli.GetPByte(r, c) = (*y.GetPSingle(r, c) - *x.GetPSingle(r, c)) > 0 ? 1 : 0;
  step(2);

  // Zero crossings with their adaptive gradient, into x.
  for (int32_t r = 0; r < st.nr; ++r) {
    float* xr = x.GetPSingle(r, 0);
    for (int32_t c = 0; c < st.nc; ++c) {
      float g = 0;
      if (st.Interior(r, c) && *bli.GetPByte(r, c)) {
        bool candidate;
        const float dv = *y.GetPSingle(r + 1, c) - *y.GetPSingle(r - 1, c);
        const float dh = *y.GetPSingle(r, c + 1) - *y.GetPSingle(r, c - 1);
        if (*bli.GetPByte(r + 1, c) == 0)
          candidate = dv > 0;
        else if (*bli.GetPByte(r, c + 1) == 0)
          candidate = dh > 0;
        else if (*bli.GetPByte(r - 1, c) == 0)
          candidate = dv < 0;
        else if (*bli.GetPByte(r, c - 1) == 0)
          candidate = dh < 0;
        else
          candidate = false;
        if (candidate) g = AdaptiveGradient(st, bli, y, r, c);
      }
      xr[c] = g;
    }
  }
  y.FreeBits();
  bli.FreeBits();
  step(3);
  step(4);

  Thresholds(st, x);

  // Hysteresis tracing.
  TVXWorkBitmap edges(st.nc, st.nr, 8);
  std::vector<std::pair<int32_t, int32_t>> chain;
  for (int32_t r = kOutline; r < st.nr - kOutline; ++r)
    for (int32_t c = kOutline; c < st.nc - kOutline; ++c)
      if (*x.GetPSingle(r, c) > st.HighThreshold) MarkConnected(st, x, edges, r, c, chain);
  for (int32_t r = 0; r < st.nr; ++r) {
    uint8_t* er = edges.GetPByte(r, 0);
    for (int32_t c = 0; c < st.nc; ++c)
      if (er[c] == 255) er[c] = 0;
  }
  step(5);
  for (int32_t r = 0; r < st.nr; ++r) {
    uint8_t* er = edges.GetPByte(r, 0);
    for (int32_t c = 0; c < st.nc; ++c) er[c] = er[c] ? 0 : 255;
  }
  step(6);

  if (!Target->Allocate(W, H, vx1g)) return;
  for (int32_t row = 0; row < H; ++row) {
    uint8_t* out = static_cast<uint8_t*>(Target->Scanline(row));
    for (int32_t col = 0; col < W; ++col) {
      const bool white = row == H - 1 || col == 0 || *edges.GetPByte(row + kFrame, col + kFrame) != 0;
      const uint8_t mask = uint8_t(0x80u >> (col & 7));
      if (white)
        out[col >> 3] |= mask;
      else
        out[col >> 3] &= uint8_t(~mask);
    }
  }
}
