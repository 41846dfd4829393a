// Local thresholds: mean by summed areas, minimum and maximum by separable
// sliding windows, median by a sliding histogram along each row.

#include "proc/localthreshold.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "core/bitmap.h"
#include "proc/grey_plane.h"

namespace {

// The window [i - h + 1, i + h] of every position of a line of n values
// (read with stride), cut to the line: its minimum and maximum.
void SlidingMinMax(const uint8_t* in, size_t stride, int32_t n, int32_t h, uint8_t* mins, uint8_t* maxs,
                   size_t outStride) {
  std::deque<int32_t> lo, hi;  // indices of increasing / decreasing values
  int32_t next = 0;            // the next index to enter
  for (int32_t i = 0; i < n; ++i) {
    const int32_t last = std::min(i + h, n - 1), first = i - h + 1;
    for (; next <= last; ++next) {
      const uint8_t v = in[size_t(next) * stride];
      while (!lo.empty() && in[size_t(lo.back()) * stride] >= v) lo.pop_back();
      while (!hi.empty() && in[size_t(hi.back()) * stride] <= v) hi.pop_back();
      lo.push_back(next), hi.push_back(next);
    }
    while (lo.front() < first) lo.pop_front();
    while (hi.front() < first) hi.pop_front();
    mins[size_t(i) * outStride] = in[size_t(lo.front()) * stride];
    maxs[size_t(i) * outStride] = in[size_t(hi.front()) * stride];
  }
}

}  // namespace

void VXDoLocalThreshold(TVXBitmap* Source, TVXBitmap* Target, int32_t WinSize, TVXThreshMode Mode, int32_t Offset,
                        void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Source || !Target || Source->IsEmpty() || WinSize < 2) return;
  const int32_t W = Source->Width(), H = Source->Height(), h = WinSize / 2;
  const std::vector<uint8_t> grey = vxproc::GreyPlane(Source);
  auto G = [&](int32_t x, int32_t y) { return grey[size_t(y) * size_t(W) + size_t(x)]; };
  auto rows = [&](int32_t y) { return std::pair{std::max(y - h + 1, 0), std::min(y + h, H - 1)}; };
  auto cols = [&](int32_t x) { return std::pair{std::max(x - h + 1, 0), std::min(x + h, W - 1)}; };

  // Per mode, what the rows need: summed areas, or window minima and maxima.
  std::vector<int64_t> sums;
  std::vector<uint8_t> mins, maxs;
  if (Mode == vxtMean) {
    sums.assign(size_t(W + 1) * size_t(H + 1), 0);
    for (int32_t y = 0; y < H; ++y) {
      int64_t run = 0;
      for (int32_t x = 0; x < W; ++x) {
        run += G(x, y);
        sums[size_t(y + 1) * size_t(W + 1) + size_t(x + 1)] = sums[size_t(y) * size_t(W + 1) + size_t(x + 1)] + run;
      }
    }
  } else if (Mode == vxtMeanMinMax) {
    std::vector<uint8_t> rowMin(grey.size()), rowMax(grey.size());
    for (int32_t y = 0; y < H; ++y)
      SlidingMinMax(grey.data() + size_t(y) * size_t(W), 1, W, h, rowMin.data() + size_t(y) * size_t(W),
                    rowMax.data() + size_t(y) * size_t(W), 1);
    mins.resize(grey.size()), maxs.resize(grey.size());
    std::vector<uint8_t> unused(grey.size());
    for (int32_t x = 0; x < W; ++x) {
      SlidingMinMax(rowMin.data() + x, size_t(W), H, h, mins.data() + x, unused.data() + x, size_t(W));
      SlidingMinMax(rowMax.data() + x, size_t(W), H, h, unused.data() + x, maxs.data() + x, size_t(W));
    }
  }

  if (!Target->Allocate(W, H, vx1g)) return;
  int32_t last = -1;
  uint32_t hist[256];
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* out = static_cast<uint8_t*>(Target->ScanLine(y));
    std::memset(out, 0, size_t((W + 7) / 8));
    const auto [r0, r1] = rows(y);
    if (Mode == vxtMedian) {  // the window's histogram, moved along the row
      std::fill(std::begin(hist), std::end(hist), 0u);
      const auto [c0, c1] = cols(0);
      for (int32_t r = r0; r <= r1; ++r)
        for (int32_t c = c0; c <= c1; ++c) ++hist[G(c, r)];
    }
    for (int32_t x = 0; x < W; ++x) {
      const auto [c0, c1] = cols(x);
      const int64_t count = int64_t(r1 - r0 + 1) * (c1 - c0 + 1);
      int32_t T = 0;
      if (Mode == vxtMean) {
        const size_t s = size_t(W + 1);
        const int64_t sum = sums[size_t(r1 + 1) * s + size_t(c1 + 1)] - sums[size_t(r0) * s + size_t(c1 + 1)] -
                            sums[size_t(r1 + 1) * s + size_t(c0)] + sums[size_t(r0) * s + size_t(c0)];
        T = int32_t(sum / count) - Offset;
      } else if (Mode == vxtMeanMinMax) {
        const size_t i = size_t(y) * size_t(W) + size_t(x);
        T = ((int32_t(mins[i]) + int32_t(maxs[i])) >> 1) - Offset;
      } else {
        if (x > 0) {
          const auto [p0, p1] = cols(x - 1);
          for (int32_t r = r0; r <= r1; ++r) {
            if (p0 < c0) --hist[G(p0, r)];
            if (c1 > p1) ++hist[G(c1, r)];
          }
        }
        const int64_t k = count / 2;  // index in ascending order
        int64_t seen = 0;
        int32_t v = 0;
        while (seen + hist[v] <= k) seen += hist[v++];
        T = v - Offset;
      }
      if (G(x, y) >= T) out[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    const int32_t p = int32_t(double(y) / H * 100);
    if (OnProgress && p != last) {
      last = p;
      OnProgress(Sender, p);
    }
  }
}
