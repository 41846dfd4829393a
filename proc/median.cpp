// The median filter family with Huang's running histogram: median-guided
// smoothing, sharpening and edge extraction.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "proc/cleaning.h"

namespace {

inline int32_t MedianGrey(TRGB c) { return (54 * c.r + 182 * c.g + 20 * c.b) >> 8; }

// Trunc, then clamped to 0..255; a value that is not a number gives 0.
inline uint8_t TruncClamp(double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return uint8_t(int32_t(v));
}

// The bin holding element Target (0-based) of the window's sorted grey
// levels, with the count of levels below it, kept up to date as the
// histogram slides.
struct TQuantile {
  int32_t Target = 0;
  int32_t Bin = 0;
  int32_t Below = 0;
  void Removed(int32_t g) {
    if (g < Bin) --Below;
  }
  void Added(int32_t g) {
    if (g < Bin) ++Below;
  }
  void Settle(const int32_t* hist) {
    while (Below > Target) {
      --Bin;
      Below -= hist[Bin];
    }
    while (Below + hist[Bin] <= Target) {
      Below += hist[Bin];
      ++Bin;
    }
  }
};

}  // namespace

void VXDoMedianFilter(TVXBitmap* Bitmap, int32_t WindowX, int32_t WindowY, int32_t Brightness, int32_t Contrast,
                      int32_t Multiplier, int32_t Threshold, TVXMedFilType MedianOp, void* Sender,
                      const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->PixelFormat() != vx24RGB) return;
  if (WindowX < 1 || WindowY < 1) return;
  const int64_t E64 = int64_t(WindowX) * WindowY;
  if (E64 < 2 || E64 > (int64_t(1) << 30)) return;
  const int32_t E = int32_t(E64);
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int32_t w = WindowX / 2, h = WindowY / 2;

  int32_t lower = E / 4, upper = 3 * (E / 4);
  const int32_t middle = E / 2;
  const double B = (Brightness - 50) * 5.1;
  const int32_t T = int32_t(Threshold * 2.56);
  double Hs = 0, Is = 0;
  switch (MedianOp) {
    case mfMedianFilter: {
      const double f = (Threshold - 50) * 0.02;
      lower = E / 4 - int32_t(f * (E / 4));
      upper = 3 * (E / 4) + int32_t(f * lower);
      break;
    }
    case mfSharpen:
      Hs = (5.36 - 0.04 * Multiplier) * (E - 1) + 1;
      Is = 1 / (Hs - E);
      break;
    case mfEdgeExtract:
      Is = Contrast * 0.5 / (E - 1);
      break;
  }
  lower = std::clamp(lower, 0, E - 1);
  upper = std::clamp(upper, 0, E - 1);

  // Source rows and their grey levels, top row first.
  std::vector<TRGB> src(size_t(int64_t(W) * H));
  std::vector<uint8_t> grey(src.size());
  for (int32_t y = 0; y < H; ++y) {
    const TRGB* row = static_cast<const TRGB*>(Bitmap->Scanline(y));
    std::memcpy(&src[size_t(int64_t(y) * W)], row, size_t(W) * sizeof(TRGB));
    for (int32_t x = 0; x < W; ++x) grey[size_t(int64_t(y) * W + x)] = uint8_t(MedianGrey(row[x]));
  }
  auto P = [&](int32_t x, int32_t y) -> const TRGB& { return src[size_t(int64_t(y) * W + x)]; };
  auto G = [&](int32_t x, int32_t y) -> int32_t { return grey[size_t(int64_t(y) * W + x)]; };

  // Windows that fit: centres x in w .. W - WindowX + w, y likewise.
  const int32_t xLast = W - WindowX + w, yLast = H - WindowY + h;
  const bool white = MedianOp == mfEdgeExtract;
  TVXBitmap result;
  if (!result.Allocate(W, H, vx24RGB)) return;
  for (int32_t y = 0; y < H; ++y) {
    TRGB* out = static_cast<TRGB*>(result.Scanline(y));
    if (white)
      std::memset(out, 255, size_t(W) * sizeof(TRGB));
    else
      std::memcpy(out, &src[size_t(int64_t(y) * W)], size_t(W) * sizeof(TRGB));
  }

  const double inv = 1.0 / (E - 1);
  // The neighbour whose colour is nearest the mean of the window without
  // its centre (first in row order on ties).
  auto nearestToMean = [&](int32_t cx, int32_t cy) -> TRGB {
    const int32_t left = cx - w, top = cy - h;
    int64_t sr = 0, sg = 0, sb = 0;
    for (int32_t yy = top; yy < top + WindowY; ++yy)
      for (int32_t xx = left; xx < left + WindowX; ++xx) {
        if (xx == cx && yy == cy) continue;
        const TRGB& c = P(xx, yy);
        sr += c.r, sg += c.g, sb += c.b;
      }
    const int32_t mr = TruncClamp(double(sr) * inv), mg = TruncClamp(double(sg) * inv),
                  mb = TruncClamp(double(sb) * inv);
    TRGB best{};
    int32_t bestDist = INT32_MAX;
    for (int32_t yy = top; yy < top + WindowY && bestDist > 0; ++yy)
      for (int32_t xx = left; xx < left + WindowX; ++xx) {
        if (xx == cx && yy == cy) continue;
        const TRGB& c = P(xx, yy);
        const int32_t d = std::abs(c.r - mr) + std::abs(c.g - mg) + std::abs(c.b - mb);
        if (d < bestDist) {
          bestDist = d;
          best = c;
          if (d == 0) break;
        }
      }
    return best;
  };

  int32_t hist[257];
  for (int32_t y = h; y <= yLast; ++y) {
    if (OnProgress && y % 10 == 0) OnProgress(Sender, int32_t(double(y) / H * 100) + 1);
    if (w > xLast) continue;
    const int32_t top = y - h;
    std::memset(hist, 0, sizeof hist);
    for (int32_t yy = top; yy < top + WindowY; ++yy)
      for (int32_t xx = 0; xx < WindowX; ++xx) ++hist[G(xx, yy)];
    TQuantile q1{lower}, med{middle}, q3{upper};
    q1.Settle(hist), med.Settle(hist), q3.Settle(hist);
    TRGB* out = static_cast<TRGB*>(result.Scanline(y));
    for (int32_t x = w;; ++x) {
      const TRGB v = P(x, y);
      switch (MedianOp) {
        case mfMedianFilter: {
          const int32_t spread = q3.Bin - q1.Bin;
          const bool keep = T != 0 && std::abs(v.r - med.Bin) < spread && std::abs(v.g - med.Bin) < spread &&
                            std::abs(v.b - med.Bin) < spread;
          out[x] = keep ? v : nearestToMean(x, y);
          break;
        }
        case mfSharpen: {
          const TRGB m = nearestToMean(x, y);
          out[x] = TRGB{TruncClamp((v.b * Hs - m.b * double(E)) * Is + B),
                        TruncClamp((v.g * Hs - m.g * double(E)) * Is + B),
                        TruncClamp((v.r * Hs - m.r * double(E)) * Is + B)};
          break;
        }
        case mfEdgeExtract: {
          const int32_t o = TruncClamp((double(v.g) * E - double(med.Bin) * E) * Is + B);
          const uint8_t c = 255 - o < T ? 0 : 255;
          out[x] = TRGB{c, c, c};
          break;
        }
      }
      if (x == xLast) break;
      // Slide one column: the leaving column out, the entering one in.
      const int32_t leave = x - w, enter = x - w + WindowX;
      for (int32_t yy = top; yy < top + WindowY; ++yy) {
        const int32_t gOut = G(leave, yy), gIn = G(enter, yy);
        --hist[gOut];
        q1.Removed(gOut), med.Removed(gOut), q3.Removed(gOut);
        ++hist[gIn];
        q1.Added(gIn), med.Added(gIn), q3.Added(gIn);
      }
      q1.Settle(hist), med.Settle(hist), q3.Settle(hist);
    }
  }
  Bitmap->AssignImage(&result);
}
