// The general convolution: a kernel of any odd size with floating weights,
// one band of rows per processor core.
//
// Each channel's sum is formed in double over the kernel entries in their
// order (rows outer, columns inner), starting from 0, then multiplied by the
// factor and rounded half to even. The vector loops below compute several
// values of a row at once, each still in that order and without fused
// multiply-adds, so the bytes do not depend on the vector width or on the
// number of bands.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/simdvec.h"
#include "core/threadpool.h"
#include "proc/filters.h"

namespace {

using v2d = double __attribute__((vector_size(16)));

inline v2d Load(const double* p) { return VXLoadVec<v2d>(p); }
inline void Store(double* p, v2d v) { VXStoreVec(p, v); }

struct Shared {
  const double* kernel;
  double factor;
  TVXBitmap* bitmap;  // read by every band
  TVXBitmap* result;  // the rectangle's results; each band writes its rows
  int32_t kw, kh, hw, hh;
  int32_t x1, y1, lastX, lastY;
};

inline uint8_t ToByte(double v) {
  const double r = std::nearbyint(v);
  if (!(r > 0)) return 0;
  return r >= 255 ? 255 : uint8_t(r);
}

// Rows lastY1 .. yEnd of the rectangle; Report(row) after each row.
template <typename Report>
void ConvolveBand(const Shared& s, int32_t yStart, int32_t yEnd, Report report) {
  TVXBitmap* b = s.bitmap;
  const int32_t W = b->Width(), H = b->Height();
  const size_t padded = size_t(W + 2 * s.hw) * 3;
  std::vector<double> ring(size_t(s.kh) * padded);
  std::vector<int32_t> loaded(static_cast<size_t>(s.kh), -1);
  auto rowOf = [&](int32_t row) -> const double* {
    const size_t slot = size_t(row % s.kh);
    double* d = ring.data() + slot * padded;
    if (loaded[slot] != row) {
      const uint8_t* src = static_cast<const uint8_t*>(b->ScanLine(row));
      for (int32_t i = 0; i < s.hw; ++i)
        for (int c = 0; c < 3; ++c) d[3 * i + c] = src[c];
      for (int32_t i = 0; i < 3 * W; ++i) d[3 * size_t(s.hw) + size_t(i)] = src[i];
      for (int32_t i = 0; i < s.hw; ++i)
        for (int c = 0; c < 3; ++c) d[3 * size_t(s.hw + W + i) + size_t(c)] = src[3 * (W - 1) + c];
      loaded[slot] = row;
    }
    return d;
  };
  const int32_t ksize = s.kw * s.kh;
  const int32_t values = 3 * (s.lastX - s.x1 + 1);
  constexpr int32_t kChunk = 512;
  std::vector<const double*> src(static_cast<size_t>(ksize));
  double acc[kChunk];
  for (int32_t y = yStart; y <= yEnd; ++y) {
    // Entry i reads row clamp(y + dy) from column x + dx.
    int32_t i = 0;
    for (int32_t dy = -s.hh; dy <= s.hh; ++dy) {
      const double* row = rowOf(std::clamp(y + dy, 0, H - 1));
      for (int32_t dx = -s.hw; dx <= s.hw; ++dx) src[size_t(i++)] = row + 3 * size_t(s.x1 + dx + s.hw);
    }
    uint8_t* out = static_cast<uint8_t*>(s.result->ScanLine(y - s.y1));
    for (int32_t cs = 0; cs < values; cs += kChunk) {
      const int32_t len = std::min(kChunk, values - cs);
      std::fill(acc, acc + len, 0.0);
      for (int32_t k = 0; k < ksize; ++k) {
        const double w = s.kernel[k];
        const double* p = src[size_t(k)] + cs;
        int32_t j = 0;
        for (; j + 8 <= len; j += 8) {
          Store(acc + j, Load(acc + j) + Load(p + j) * w);
          Store(acc + j + 2, Load(acc + j + 2) + Load(p + j + 2) * w);
          Store(acc + j + 4, Load(acc + j + 4) + Load(p + j + 4) * w);
          Store(acc + j + 6, Load(acc + j + 6) + Load(p + j + 6) * w);
        }
        for (; j < len; ++j) acc[j] += p[j] * w;
      }
      for (int32_t j = 0; j < len; ++j) out[cs + j] = ToByte(acc[j] * s.factor);
    }
    report(y);
  }
}

}  // namespace

void VXDoConvolve(TVXBitmap* Bitmap, std::span<const double> Kernel, void* Sender, const TVXProgressEvent& OnProgress,
                  int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Factor, int32_t KernelHeight,
                  int32_t KernelWidth) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty() || Factor == 0) return;
  if (KernelWidth < 1 || KernelHeight < 1 || KernelWidth % 2 == 0 || KernelHeight % 2 == 0) return;
  if (int64_t(Kernel.size()) < int64_t(KernelWidth) * KernelHeight) return;
  Shared s;
  s.kernel = Kernel.data();
  s.factor = Factor;
  s.bitmap = Bitmap;
  s.kw = KernelWidth, s.kh = KernelHeight, s.hw = KernelWidth / 2, s.hh = KernelHeight / 2;
  s.x1 = std::max(x1, 0), s.y1 = std::max(y1, 0);
  s.lastX = std::min(x2, Bitmap->Width()) - 1, s.lastY = std::min(y2, Bitmap->Height()) - 1;
  if (s.lastX < s.x1 || s.lastY < s.y1) return;
  TVXBitmap result;
  result.SetLocation(vxMemory);
  if (!result.Allocate(s.lastX - s.x1 + 1, s.lastY - s.y1 + 1, vx24RGB))
    throw EVXException("Not enough memory for the convolution");
  s.result = &result;

  // Bands read rows concurrently only from memory (a virtual bitmap or a
  // file-held one hands out one row buffer at a time).
  const bool memory = Bitmap->Location() != vxFile && result.Location() != vxFile && !Bitmap->IsVirtual();
  const int32_t N = memory ? std::max(VXProcessorCount(), 1) : 1;
  const int32_t per = (s.lastY - s.y1) / N;
  struct Band {
    int32_t a, b;
  };
  std::vector<Band> bands;
  for (int32_t i = 0, start = s.y1; i < N && start <= s.lastY; ++i) {
    const int32_t end = i == N - 1 ? s.lastY : std::min(start + per, s.lastY);
    bands.push_back({start, end});
    start = end + 1;
  }
  {
    TVXThreadPool pool;
    for (size_t i = 1; i < bands.size(); ++i)
      pool.Add([&s, band = bands[i]] { ConvolveBand(s, band.a, band.b, [](int32_t) {}); });
    // The first band runs here, so its progress reaches the caller's thread.
    const Band first = bands[0];
    int32_t last = -1;
    ConvolveBand(s, first.a, first.b, [&](int32_t y) {
      if (!OnProgress || first.b == first.a) return;
      const int32_t per100 = int32_t(double(y - first.a) / double(first.b - first.a) * 100);
      if (per100 != last) OnProgress(Sender, per100);
      last = per100;
    });
    pool.Join();
  }
  // Every band has finished reading: the results go in at once.
  result.CopyRectTo(Bitmap, 0, 0, s.x1, s.y1, result.Width(), result.Height());
}
