// The three-shear rotation: exact quarter turns bring the angle into
// -45 .. 45 degrees, then a horizontal, a vertical and a horizontal shear
// turn the rest, each optionally blending neighbours at 1/4096 pixel.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "core/bitmap.h"
#include "core/rotate.h"
#include "core/rotate_internal.h"

using namespace vxrotate;

namespace {

// clamp((prev * f + cur * g + 2048) div 4096): the weighted mean rounded
// once, by the added half. (Rounding the quotient again would send every odd
// value blended with itself, the background included, one level up.)
inline uint8_t Blend(int32_t prev, int32_t cur, int32_t f, int32_t g) {
  const int32_t q = (prev * f + cur * g + 2048) >> 12;
  return uint8_t(q < 0 ? 0 : q > 255 ? 255 : q);
}

template <int NC>
inline void FillPixels(uint8_t* d, int64_t n, const uint8_t* Bg) {
  if constexpr (NC == 1) {
    std::memset(d, Bg[0], size_t(n));
  } else {
    for (int64_t i = 0; i < n; ++i, d += NC)
      for (int ch = 0; ch < NC; ++ch) d[ch] = Bg[ch];
  }
}

// Blends Count pixels of s (prev starting at First) into d with the weights
// f and g, the same for the whole run.
template <int NC>
inline void BlendRun(uint8_t* d, const uint8_t* s, int64_t Count, const uint8_t* First, int32_t f, int32_t g) {
  if (Count <= 0) return;
  int32_t lf[256], lg[256];
  for (int32_t v = 0; v < 256; ++v) {
    lf[v] = v * f;
    lg[v] = v * g + 2048;
  }
  auto mix = [&](int32_t prev, int32_t cur) {
    const int32_t q = (lf[prev] + lg[cur]) >> 12;
    return uint8_t(q < 0 ? 0 : q > 255 ? 255 : q);
  };
  for (int ch = 0; ch < NC; ++ch) d[ch] = mix(First[ch], s[ch]);
  for (int64_t i = 1; i < Count; ++i)
    for (int ch = 0; ch < NC; ++ch) d[i * NC + ch] = mix(s[(i - 1) * NC + ch], s[i * NC + ch]);
}

// A work buffer of Size bytes from the bitmap block allocator, or from the
// heap where a block limit is set.
class TWorkBlock {
 public:
  explicit TWorkBlock(int64_t Size) {
    if (Size <= 0 || Size >= INT64_MAX / 2) throw EVXException("Not enough memory to rotate the image");
    fBlock = VXAllocBlock(Size);
    if (fBlock) {
      fData = static_cast<uint8_t*>(fBlock);
      return;
    }
    try {
      fHeap.resize(size_t(Size));
    } catch (const std::bad_alloc&) {
      throw EVXException("Not enough memory to rotate the image");
    }
    fData = fHeap.data();
  }
  ~TWorkBlock() { Release(); }
  TWorkBlock(const TWorkBlock&) = delete;
  TWorkBlock& operator=(const TWorkBlock&) = delete;
  uint8_t* data() const { return fData; }
  void Release() {
    if (fBlock) VXFreeBlock(fBlock);
    std::vector<uint8_t>().swap(fHeap);
    fData = nullptr;
  }

 private:
  void* fBlock = nullptr;
  std::vector<uint8_t> fHeap;
  uint8_t* fData = nullptr;
};

template <int NC>
void ShearRotate(TVXBitmap* Bitmap, bool AntiAlias, const uint8_t* Bg, void* Sender,
                 const TVXProgressEvent& OnProgress, double Angle, bool EveryStep) {
  // The angle cut to 1/1000 degree, sign kept.
  const double a = std::fmod(std::trunc(Angle * 1000), 360000.0);
  double angle = a / 1000;
  int turns = 0;  // quarter turns counter-clockwise
  while (angle > 45) {
    angle -= 90;
    ++turns;
  }
  while (angle < -45) {
    angle += 90;
    --turns;
  }
  turns = ((turns % 4) + 4) % 4;
  TVXBitmap turned;
  TVXBitmap* cur = Bitmap;
  if (turns != 0) {
    PrepareLike(turned, Bitmap);
    TurnExact(Bitmap, &turned, turns == 1 ? 1 : turns == 2 ? 2 : 3);
    cur = &turned;
  }
  if (angle == 0) {
    if (cur != Bitmap) ReplaceImage(Bitmap, turned);
    return;
  }

  const int64_t W = cur->Width(), H = cur->Height();
  const double theta = angle * M_PI / 180;
  const bool positive = theta > 0;
  const double k = std::fabs(std::sin(theta / 2) / std::cos(theta / 2));
  const double s = std::fabs(std::sin(theta));
  const int64_t t = RoundEven(double(H) * k + double(W) + 1);
  const int64_t m = RoundEven(double(t - W) * s);
  const int64_t h1 = RoundEven(s * double(t) + double(H) + 1);
  const int64_t w = RoundEven(k * double(h1 - H - m));
  const int64_t V = h1 - 2 * m;
  const int64_t Wf = RoundEven(k * double(V) + double(t) + 1 - double(2 * w));
  if (t < 1 || V < 1 || Wf < 1) return;

  const double step = 100.0 / double(H + t + V);
  int32_t last = -1;
  auto report = [&](int64_t done) {
    if (!OnProgress) return;
    const int32_t p = int32_t(std::trunc(double(done) * step));
    if (EveryStep || p != last) {
      last = p;
      OnProgress(Sender, p);
    }
  };

  // The two work images are written whole, so they are taken as blocks of
  // their own (large pages, no clearing pass) rather than zeroed vectors.
  TWorkBlock buf1(t * H * NC), buf2(t * V * NC);
  const int64_t stride = t * NC;

  // Pass 1: horizontal shear of every row into t x H.
  {
    const TRows src(cur);
    for (int64_t i = 0; i < H; ++i) {
      const double o = double(positive ? i : H - i) * k;
      const int64_t n = RoundEven(o);
      uint8_t* row = buf1.data() + i * stride;
      FillPixels<NC>(row, t, Bg);
      const uint8_t* s_row = src[int32_t(i)];
      // Columns n .. n + W - 1 always lie inside t.
      const int64_t c0 = std::max<int64_t>(0, -n), c1 = std::min<int64_t>(W, t - n);
      if (!AntiAlias) {
        if (c1 > c0) std::memcpy(row + (n + c0) * NC, s_row + c0 * NC, size_t((c1 - c0) * NC));
      } else {
        const int32_t f = int32_t(std::trunc((o - double(n)) * 4096));
        const int32_t g = 4096 - f;
        if (c1 > c0) BlendRun<NC>(row + (n + c0) * NC, s_row + c0 * NC, c1 - c0, c0 == 0 ? Bg : s_row + (c0 - 1) * NC, f, g);
        if (f > 0 && n + W < t && n + W >= 0) {
          uint8_t* d = row + (n + W) * NC;
          const uint8_t* prev = s_row + (W - 1) * NC;
          for (int ch = 0; ch < NC; ++ch) d[ch] = Blend(prev[ch], Bg[ch], f, g);
        }
      }
      report(i + 1);
    }
  }

  // Pass 2: vertical shear of every column into t x V. Worked row by row:
  // destination row y of column c shows source row y - shift[c], blended
  // with the row above it when that one landed too.
  {
    std::vector<int64_t> shift(static_cast<size_t>(t));
    std::vector<int32_t> fc(static_cast<size_t>(t));
    for (int64_t c = 0; c < t; ++c) {
      const double o = double(positive ? t - c : c) * s;
      const int64_t p = RoundEven(o);
      fc[size_t(c)] = int32_t(RoundEven((o - double(p)) * 4096));
      shift[size_t(c)] = p - m;
    }
    const uint8_t* b1 = buf1.data();
    for (int64_t y = 0; y < V; ++y) {
      uint8_t* d = buf2.data() + y * stride;
      for (int64_t c = 0; c < t; ++c, d += NC) {
        const int64_t r = y - shift[size_t(c)];
        if (r >= 0 && r < H) {
          const uint8_t* cp = b1 + r * stride + c * NC;
          if (!AntiAlias) {
            for (int ch = 0; ch < NC; ++ch) d[ch] = cp[ch];
          } else {
            const int32_t f = fc[size_t(c)], g = 4096 - f;
            const uint8_t* pp = (r >= 1 && y >= 1) ? cp - stride : Bg;
            for (int ch = 0; ch < NC; ++ch) d[ch] = Blend(pp[ch], cp[ch], f, g);
          }
        } else if (AntiAlias && r == H && fc[size_t(c)] > 0) {
          const int32_t f = fc[size_t(c)], g = 4096 - f;
          const uint8_t* pp = (y >= 1 && H >= 1) ? b1 + (H - 1) * stride + c * NC : Bg;
          for (int ch = 0; ch < NC; ++ch) d[ch] = Blend(pp[ch], Bg[ch], f, g);
        } else {
          for (int ch = 0; ch < NC; ++ch) d[ch] = Bg[ch];
        }
      }
    }
    for (int64_t c = 0; c < t; ++c) report(H + c + 1);
  }
  buf1.Release();

  // Pass 3: horizontal shear of every row into the image, Wf x V.
  TVXBitmap out;
  PrepareLike(out, Bitmap);
  AllocateOrRaise(&out, Wf, V, cur->PixelFormat());
  cur->CopyPaletteTo(&out);
  if (cur != Bitmap) turned.FreeImage(true);
  {
    const TRows dst(&out);
    for (int64_t r = 0; r < V; ++r) {
      const double o = double(positive ? r : V - r) * k;
      const int64_t p = RoundEven(o);
      const int32_t f = int32_t(RoundEven((o - double(p)) * 4096));
      const int32_t g = 4096 - f;
      const int64_t sh = p - w;
      uint8_t* d = dst[int32_t(r)];
      const uint8_t* b2 = buf2.data() + r * stride;
      FillPixels<NC>(d, Wf, Bg);
      const int64_t c0 = std::max<int64_t>(0, -sh), c1 = std::min<int64_t>(t, Wf - sh);
      if (c1 > c0) {
        if (!AntiAlias)
          std::memcpy(d + (c0 + sh) * NC, b2 + c0 * NC, size_t((c1 - c0) * NC));
        else
          BlendRun<NC>(d + (c0 + sh) * NC, b2 + c0 * NC, c1 - c0, Bg, f, g);
      }
      if (AntiAlias && f > 0 && sh + t < Wf && sh + t >= 0) {
        const uint8_t* prev = c1 > c0 ? b2 + (c1 - 1) * NC : Bg;
        uint8_t* q = d + (sh + t) * NC;
        for (int ch = 0; ch < NC; ++ch) q[ch] = Blend(prev[ch], Bg[ch], f, g);
      }
      report(H + t + r + 1);
    }
  }
  ReplaceImage(Bitmap, out);
}

}  // namespace

void VXRotateShear24(TVXBitmap* Bitmap, bool AntiAlias, void* Sender, const TVXProgressEvent& OnProgress,
                     TRGB Background, double Angle) {
  if (!Bitmap || Angle == 0 || !std::isfinite(Angle) || Bitmap->IsEmpty()) return;
  if (Bitmap->PixelFormat() == vx1g) {
    TProgressRec progress;
    progress.fOnProgress = OnProgress;
    progress.Sender = Sender;
    VXRotate1Bit(Bitmap, Background.r != 0 && Background.g != 0 && Background.b != 0, progress, Angle);
    return;
  }
  if (Bitmap->PixelFormat() != vx24RGB) {
    // No shears for the other formats: the nearest-pixel renderer, which
    // turns every format and does whole quarter turns exactly.
    const double color = double(uint32_t(Background.r) | (uint32_t(Background.g) << 8) |
                                (uint32_t(Background.b) << 16));
    VXRotateNearest(Bitmap, color, Sender, OnProgress, Angle);
    return;
  }
  const uint8_t bg[3] = {Background.b, Background.g, Background.r};
  ShearRotate<3>(Bitmap, AntiAlias, bg, Sender, OnProgress, Angle, false);
}

void VXRotateShear8(TVXBitmap* Bitmap, bool AntiAlias, uint8_t FillValue, void* Sender,
                    const TVXProgressEvent& OnProgress, double Angle) {
  if (!Bitmap || Angle == 0 || !std::isfinite(Angle) || Bitmap->IsEmpty()) return;
  if (Bitmap->PixelFormat() != vx8g && Bitmap->PixelFormat() != vx8p) return;
  const uint8_t bg[1] = {FillValue};
  ShearRotate<1>(Bitmap, AntiAlias, bg, Sender, OnProgress, Angle, true);
}
