// Local colour equalisation on a subsampled copy, and sharpening that grows
// near the edges.

#include "proc/autoenhance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "proc/docanalysis.h"
#include "proc/filters.h"
#include "resample/resample.h"

namespace {

uint8_t ClampRound(double v) {
  const double r = std::nearbyint(v);
  return r <= 0 ? 0 : r >= 255 ? 255 : uint8_t(r);
}

bool Usable(TVXBitmap* Bitmap) { return Bitmap && !Bitmap->IsEmpty() && Bitmap->PixelFormat() == vx24RGB; }

}  // namespace

void VXDoAutoEnhance1(TVXBitmap* Bitmap, int32_t SubsampledSize, int32_t Slope, int32_t Cut, int32_t Neighbour,
                      void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap) || SubsampledSize < 1) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const double slope = std::tan(Slope * std::numbers::pi / 180);
  const double limit = Cut / 100.0 * (slope * 255);

  // The subsampled copy; an image lower than the step still gets one row.
  const int32_t e = std::max(1, W / SubsampledSize);
  const int32_t w = std::max(1, W / e), h = std::max(1, H / e);
  const size_t n = size_t(w) * size_t(h);
  VXCheckImageSize(w, h, 24 + 24 + 3 * 32 + 32 + 64);
  TVXBitmap small;
  if (!small.Allocate(w, h, vx24RGB)) throw EVXException("Not enough memory for AutoEnhance1");
  VXResampleBitmap(Bitmap, &small, rfNone);
  std::vector<uint8_t> S(n * 3);
  for (int32_t y = 0; y < h; ++y) std::memcpy(&S[size_t(y) * size_t(w) * 3], small.ScanLine(y), size_t(w) * 3);

  // Distances between pixels by their offsets; the pixel itself counts as
  // far away.
  std::vector<float> D(n);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) D[size_t(y) * size_t(w) + size_t(x)] = float(std::sqrt(double(x) * x + double(y) * y));
  D[0] = 1000000.0f;

  // Each copy pixel against all others, channel by channel.
  std::vector<float> result(n * 3);
  float maxv[3] = {-100000.0f, -100000.0f, -100000.0f}, minv[3] = {100000.0f, 100000.0f, 100000.0f};
  std::vector<double> r(n);
  for (int32_t py = 0; py < h; ++py) {
    for (int32_t px = 0; px < w; ++px) {
      const size_t p = size_t(py) * size_t(w) + size_t(px);
      for (int c = 0; c < 3; ++c) {
        const int32_t v = S[3 * p + size_t(c)];
        double a = 0, sum = 0;
        for (int32_t jy = 0; jy < h; ++jy) {
          const float* drow = &D[size_t(std::abs(py - jy)) * size_t(w)];
          for (int32_t jx = 0; jx < w; ++jx) {
            const size_t j = size_t(jy) * size_t(w) + size_t(jx);
            double rj = (v - S[3 * j + size_t(c)]) * slope;
            if (rj > limit)
              rj = limit;
            else if (rj < -limit)
              rj = -limit;
            r[j] = rj;
            a = std::max(a, std::fabs(rj));
            sum += rj / drow[std::abs(px - jx)];
          }
        }
        double total = 0;
        for (int32_t jy = 0; jy < h; ++jy) {
          const float* drow = &D[size_t(std::abs(py - jy)) * size_t(w)];
          for (int32_t jx = 0; jx < w; ++jx) total += a / drow[std::abs(px - jx)];
        }
        const float res = float(total != 0 ? sum / total : sum);
        result[3 * p + size_t(c)] = res;
        maxv[c] = std::max(maxv[c], res);
        minv[c] = std::min(minv[c], res);
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t(double(py) / h * 50));
  }

  // Stretched to the full range.
  std::vector<uint8_t> E(n * 3);
  double scale[3];
  for (int c = 0; c < 3; ++c) scale[c] = maxv[c] != minv[c] ? 255.0 / (double(maxv[c]) - double(minv[c])) : 255.0;
  for (size_t i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) E[3 * i + size_t(c)] = ClampRound(scale[c] * (double(result[3 * i + size_t(c)]) - minv[c]));

  // Carried back: each full-size value between the nearest darker and
  // brighter copy values of its neighbourhood.
  const double b = double(W) / w;
  std::vector<int32_t> colFirst(size_t(W), 0), colLast(size_t(W), 0);
  for (int32_t x = 0; x < W; ++x) {
    const int32_t cx = int32_t(x / b);
    colFirst[size_t(x)] = std::max(0, cx - Neighbour);
    colLast[size_t(x)] = int32_t(std::min<int64_t>(w - 1, int64_t(cx) + Neighbour));
  }
  int32_t last = -1;
  for (int32_t y = 0; y < H; ++y) {
    const int32_t cy = int32_t(y / b);
    const int32_t rowFirst = std::max(0, cy - 1), rowLast = std::min(h - 1, cy + 1);
    uint8_t* row = static_cast<uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < W; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int32_t t = row[3 * x + c];
        int32_t upDist = 256, loDist = 256;
        int32_t sUp = 255, eUp = 255, sLo = 0, eLo = 0;
        for (int32_t jy = rowFirst; jy <= rowLast; ++jy)
          for (int32_t jx = colFirst[size_t(x)]; jx <= colLast[size_t(x)]; ++jx) {
            const size_t j = 3 * (size_t(jy) * size_t(w) + size_t(jx)) + size_t(c);
            const int32_t s = S[j];
            if (s >= t && s - t < upDist) upDist = s - t, sUp = s, eUp = E[j];
            if (s <= t && t - s < loDist) loDist = t - s, sLo = s, eLo = E[j];
          }
        row[3 * x + c] = ClampRound(double((eUp - eLo) * (t - sLo)) / std::max(1, sUp - sLo) + eLo);
      }
      if (OnProgress) {
        const int32_t pct = int32_t(double(y) / H * 50 + 50);
        if (pct != last) {
          last = pct;
          OnProgress(Sender, pct);
        }
      }
    }
    Bitmap->FreeRow(y);
  }
}

void VXAutoSharpByEdgeMap(TVXBitmap* Bitmap, TVXBitmap* EdgeMap, int32_t Intensity, void* Sender,
                          const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap) || !EdgeMap || EdgeMap->PixelFormat() != vx8g || EdgeMap->Width() != Bitmap->Width() ||
      EdgeMap->Height() != Bitmap->Height())
    return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  VXCheckImageSize(W, H, 24 + 24 + 8);
  const size_t rowBytes = size_t(W) * 3;
  std::vector<uint8_t> src(rowBytes * size_t(H));
  for (int32_t y = 0; y < H; ++y) {
    std::memcpy(&src[rowBytes * size_t(y)], Bitmap->GetRow(y), rowBytes);
    Bitmap->FreeRow(y);
  }
  TVXBitmap result;
  if (!result.Allocate(W, H, vx24RGB)) throw EVXException("Not enough memory for AutoSharp");
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* edgeRow = static_cast<const uint8_t*>(EdgeMap->GetRow(y));
    std::vector<uint8_t> edge(edgeRow, edgeRow + W);
    EdgeMap->FreeRow(y);
    uint8_t* out = static_cast<uint8_t*>(result.GetRow(y));
    for (int32_t x = 0; x < W; ++x) {
      const int32_t amount = int32_t(std::nearbyint((255 - edge[size_t(x)]) / 255.0 * Intensity));
      int64_t sum[3] = {0, 0, 0};
      int64_t count = 0;
      for (int32_t dy = -2; dy <= 2; ++dy) {
        const int32_t yy = y + dy;
        if (dy == 0 || yy < 0 || yy >= H) continue;
        for (int32_t dx = -2; dx <= 2; ++dx) {
          const int32_t xx = x + dx;
          if (dx == 0 || xx < 0 || xx >= W) continue;
          const uint8_t* p = &src[rowBytes * size_t(yy) + 3 * size_t(xx)];
          for (int c = 0; c < 3; ++c) sum[c] += p[c];
          ++count;
        }
      }
      for (int c = 0; c < 3; ++c) {
        const int64_t v = src[rowBytes * size_t(y) + 3 * size_t(x) + size_t(c)];
        const int64_t mean = count ? sum[c] / count : sum[c];
        const double nv = std::trunc(double(v) + double((v - mean) * amount) / 10);
        out[3 * x + c] = nv <= 0 ? 0 : nv >= 255 ? 255 : uint8_t(nv);
      }
    }
    result.FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(double(y) / H * 100));
  }
  Bitmap->AssignImage(&result);
}

void VXDoAutoSharp(TVXBitmap* Bitmap, int32_t Intensity, double rate, void* Sender,
                   const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  VXCheckImageSize(Bitmap->Width(), Bitmap->Height(), 24 + 24 + 8);
  // Black edges on white, as grey levels, spread by the blur.
  TVXBitmap edges;
  TProgressRec none;
  VXShenCastan(Bitmap, &edges, 7, none, true, 0, 0.9, rate);
  edges.SetPixelFormat(vx8g);
  VXDoGaussianBlur(&edges, nullptr, nullptr, 4.0);
  VXAutoSharpByEdgeMap(Bitmap, &edges, Intensity, Sender, OnProgress);
}
