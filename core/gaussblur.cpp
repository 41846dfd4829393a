// Separable Gaussian blur in 16.16 fixed point.
//
// The sums are evaluated in single-precision vectors. Every product
// (weight <= 65536, value <= 255, or the sum of two values with a side weight
// of at most half the total) and every partial sum stays an integer below
// 2^24, which a float holds exactly, so the results are those of the integer
// definition whatever the order.

#include "core/gaussblur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/simdvec.h"

namespace {

using v4f = float __attribute__((vector_size(16)));

inline v4f Load(const float* p) { return VXLoadVec<v4f>(p); }

// Taps 0 .. R of the symmetric kernel as floats.
struct Taps {
  int32_t R;
  float w[101];
  explicit Taps(const TGaussKernel& k) : R(std::clamp<int32_t>(k.Radius, 1, 100)) {
    for (int32_t i = 0; i <= R; ++i) w[i] = float(k.Kernel[100 + i]);
  }
};

// out[j] = (32768 + w[0] * centre[j] + sum over k of w[k] * (left(k)[j] +
// right(k)[j])) shr 16 for j in 0 .. n - 1.
template <typename Left, typename Right>
void BlurValues(const Taps& t, const float* centre, Left left, Right right, int32_t n, uint8_t* out) {
  const int32_t R = t.R;
  int32_t j = 0;
  for (; j + 8 <= n; j += 8) {
    v4f a0 = Load(centre + j) * t.w[0] + 32768.0f, a1 = Load(centre + j + 4) * t.w[0] + 32768.0f;
    for (int32_t k = 1; k <= R; ++k) {
      const float* l = left(k) + j;
      const float* r = right(k) + j;
      a0 += (Load(l) + Load(r)) * t.w[k];
      a1 += (Load(l + 4) + Load(r + 4)) * t.w[k];
    }
    float s[8];
    VXStoreVec(s, a0);
    VXStoreVec(s + 4, a1);
    for (int i = 0; i < 8; ++i) out[j + i] = uint8_t(uint32_t(s[i]) >> 16);
  }
  for (; j < n; ++j) {
    float a = centre[j] * t.w[0] + 32768.0f;
    for (int32_t k = 1; k <= R; ++k) a += (left(k)[j] + right(k)[j]) * t.w[k];
    out[j] = uint8_t(uint32_t(a) >> 16);
  }
}

// A run of n values, in holding C * R values of padding on each side.
void BlurRun(const Taps& t, const float* in, int32_t C, int32_t n, uint8_t* out) {
  BlurValues(
      t, in, [&](int32_t k) { return in - C * k; }, [&](int32_t k) { return in + C * k; }, n, out);
}

// Blurs n pixels of C channels: the run padded by its end pixels into pad.
void BlurRow(const Taps& t, const uint8_t* src, uint8_t* dst, int32_t n, int32_t C, std::vector<float>& pad) {
  if (n <= 0) return;
  const int32_t R = t.R;
  pad.resize(size_t(n + 2 * R) * size_t(C));
  float* p = pad.data();
  for (int32_t i = 0; i < R; ++i)
    for (int32_t c = 0; c < C; ++c) p[i * C + c] = src[c];
  for (int32_t i = 0; i < n * C; ++i) p[R * C + i] = src[i];
  for (int32_t i = 0; i < R; ++i)
    for (int32_t c = 0; c < C; ++c) p[(R + n + i) * C + c] = src[(n - 1) * C + c];
  BlurRun(t, p + R * C, C, n * C, dst);
}

}  // namespace

void VXMakeGaussKernel(TGaussKernel& Kernel, double Sigma) {
  double S = 0;
  for (int32_t i = 0; i <= 200; ++i) {
    const double d = (i - 100) / Sigma;
    Kernel.Weights[i] = std::exp(-d * d / 2);
  }
  for (int32_t i = 0; i <= 200; ++i) S += Kernel.Weights[i];
  for (int32_t i = 0; i <= 200; ++i) Kernel.Kernel[i] = int32_t(std::nearbyint(Kernel.Weights[i] * 65536 / S));
  int32_t r = 100;
  while (r > 1 && Kernel.Kernel[100 + r] == 0 && Kernel.Kernel[100 - r] == 0) --r;
  Kernel.Radius = int8_t(r);
}

void VXGaussBlurRow24(const TGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t n) {
  std::vector<float> pad;
  BlurRow(Taps(Kernel), Source, Dest, n, 3, pad);
}

void VXGaussBlurRow8(const TGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t n) {
  std::vector<float> pad;
  BlurRow(Taps(Kernel), Source, Dest, n, 1, pad);
}

void vxdetail::VXGaussBlurPlane(const TGaussKernel& Kernel, int32_t Channels, int32_t Count, int32_t Height,
                                uint8_t* (*Row)(void* Context, int32_t i), void (*Release)(void* Context, int32_t i),
                                void* Context, void (*Progress)(void* Context, int32_t Pass, int32_t Row)) {
  if (Count <= 0 || Height <= 0 || Channels <= 0) return;
  const Taps t(Kernel);
  const int32_t n = Count / Channels;
  // Horizontal pass.
  std::vector<float> pad;
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* r = Row(Context, y);
    BlurRow(t, r, r, n, Channels, pad);
    Release(Context, y);
    if (Progress) Progress(Context, 0, y);
  }
  // Vertical pass over whole rows: a ring of the 2R + 1 source rows around
  // the output row, as floats; a row is read before it is overwritten.
  const int32_t R = t.R;
  const int32_t slots = 2 * R + 1;
  std::vector<float> ring(size_t(slots) * size_t(Count));
  auto slot = [&](int32_t row) { return ring.data() + size_t(row % slots) * size_t(Count); };
  auto load = [&](int32_t row) {
    const uint8_t* r = Row(Context, row);
    float* d = slot(row);
    for (int32_t i = 0; i < Count; ++i) d[i] = r[i];
    Release(Context, row);
  };
  const int32_t first = std::min(R, Height - 1);
  for (int32_t row = 0; row <= first; ++row) load(row);
  std::vector<const float*> rows(static_cast<size_t>(slots));
  for (int32_t y = 0; y < Height; ++y) {
    if (y + R < Height && y + R > first) load(y + R);
    for (int32_t k = -R; k <= R; ++k) rows[size_t(k + R)] = slot(std::clamp(y + k, 0, Height - 1));
    uint8_t* out = Row(Context, y);
    BlurValues(
        t, rows[size_t(R)], [&](int32_t k) { return rows[size_t(R - k)]; },
        [&](int32_t k) { return rows[size_t(R + k)]; }, Count, out);
    Release(Context, y);
    if (Progress) Progress(Context, 1, y);
  }
}

namespace {

struct RectPlane {
  TVXBitmap* b;
  int32_t x1, y1;
};

uint8_t* RectRow(void* c, int32_t i) {
  auto* p = static_cast<RectPlane*>(c);
  return static_cast<uint8_t*>(p->b->GetRow(p->y1 + i)) + p->x1;
}
void RectRelease(void* c, int32_t i) {
  auto* p = static_cast<RectPlane*>(c);
  p->b->FreeRow(p->y1 + i);
}

}  // namespace

void VXGaussianBlurGray(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Sigma) {
  if (!Bitmap || Bitmap->PixelFormat() != vx8g || Bitmap->IsEmpty() || !(Sigma > 0)) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  x1 = std::clamp(x1, 0, W - 1), x2 = std::clamp(x2, 0, W - 1);
  y1 = std::clamp(y1, 0, H - 1), y2 = std::clamp(y2, 0, H - 1);
  if (x2 < x1 || y2 < y1) return;
  TGaussKernel k;
  VXMakeGaussKernel(k, Sigma);
  RectPlane plane{Bitmap, x1, y1};
  vxdetail::VXGaussBlurPlane(k, 1, x2 - x1 + 1, y2 - y1 + 1, RectRow, RectRelease, &plane, nullptr);
}
