// The scalers other than the separable kernel resampler: nearest neighbour,
// fixed-point fast linear, 1-bit scalers, projections to black and white, and
// the area-integrating bilinear and bicubic scaler.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "resample/resample.h"

namespace {

inline bool GetBit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }

inline void SetBit(uint8_t* row, int32_t x, bool v) {
  if (v)
    row[x >> 3] = uint8_t(row[x >> 3] | (0x80 >> (x & 7)));
  else
    row[x >> 3] = uint8_t(row[x >> 3] & ~(0x80 >> (x & 7)));
}

// Sets the data access of a bitmap for the life of the guard.
class AccessGuard {
 public:
  AccessGuard(TVXBaseBitmap* b, TVXDataAccess a) : fBitmap(b), fSaved(b->Access()) { b->SetAccess(a); }
  ~AccessGuard() { fBitmap->SetAccess(fSaved); }
  AccessGuard(const AccessGuard&) = delete;
  AccessGuard& operator=(const AccessGuard&) = delete;

 private:
  TVXBaseBitmap* fBitmap;
  TVXDataAccess fSaved;
};

// Trunc(i * ratio) with the ratio held as a double and the product exact.
inline int32_t ScaledIndex(int32_t i, double ratio, int32_t limit) {
  int64_t v = int64_t((long double)i * (long double)ratio);
  return int32_t(std::clamp<int64_t>(v, 0, limit));
}

// The source column of each of DW target columns (of SW source columns).
std::vector<int32_t> SourceColumns(int32_t SW, int32_t DW) {
  const double rx = double(SW) / double(DW);
  std::vector<int32_t> xmap(static_cast<size_t>(DW));
  for (int32_t i = 0; i < DW; ++i) xmap[size_t(i)] = ScaledIndex(i, rx, SW - 1);
  return xmap;
}

void Report(const TVXProgressEvent& OnProgress, void* Sender, int32_t per) {
  if (OnProgress) OnProgress(Sender, per);
}

inline int32_t Trunc32(double v) { return int32_t(v); }

}  // namespace

// ---------------------------------------------------------------------------
// Nearest neighbour

void VXStretchNearest(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress,
                      void* Sender) {
  if (!Source || !Target) return;
  const int32_t SW = Source->Width(), SH = Source->Height(), DW = Target->Width(), DH = Target->Height();
  if (DW <= 0 || DH <= 0 || SW <= 0 || SH <= 0) return;
  const TVXPixelFormat fmt = Source->PixelFormat();
  if (fmt != Target->PixelFormat() || fmt == vxnull) return;
  AccessGuard sourceAccess(Source, vxdRead);
  AccessGuard targetAccess(Target, vxdWrite);

  const double ry = double(SH) / double(DH);
  const std::vector<int32_t> xmap = SourceColumns(SW, DW);
  if (fmt == vx8p) Source->CopyPaletteTo(Target);

  const int32_t bytes = Source->BitCount() / 8;
  bool reported = false;
  int32_t last = 0;
  for (int32_t j = 0; j < DH; ++j) {
    const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(ScaledIndex(j, ry, SH - 1)));
    uint8_t* d = static_cast<uint8_t*>(Target->GetScanLine(j));
    if (fmt == vx1g) {
      for (int32_t i = 0; i < DW; ++i) SetBit(d, i, GetBit(s, xmap[size_t(i)]));
    } else {
      switch (bytes) {
        case 1:
          for (int32_t i = 0; i < DW; ++i) d[i] = s[xmap[size_t(i)]];
          break;
        case 2:
          for (int32_t i = 0; i < DW; ++i) std::memcpy(d + 2 * size_t(i), s + 2 * size_t(xmap[size_t(i)]), 2);
          break;
        case 3:
          for (int32_t i = 0; i < DW; ++i) std::memcpy(d + 3 * size_t(i), s + 3 * size_t(xmap[size_t(i)]), 3);
          break;
        case 4:
          for (int32_t i = 0; i < DW; ++i) std::memcpy(d + 4 * size_t(i), s + 4 * size_t(xmap[size_t(i)]), 4);
          break;
        case 6:
          for (int32_t i = 0; i < DW; ++i) std::memcpy(d + 6 * size_t(i), s + 6 * size_t(xmap[size_t(i)]), 6);
          break;
        default:
          return;
      }
    }
    if (OnProgress) {
      int32_t per = Trunc32(double(j) * 100.0 / (double(DH) + 0.5));
      if (!reported || per != last) {
        reported = true;
        last = per;
        OnProgress(Sender, per);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Fast linear

namespace {

// Column (or row) tables of the fixed-point linear scaler.
struct LinearAxis {
  std::vector<int32_t> x0, frac, x1;
};

LinearAxis BuildLinearAxis(int32_t srcSize, int32_t dstSize, double scale, bool nudge) {
  LinearAxis a;
  a.x0.resize(size_t(dstSize));
  a.frac.resize(size_t(dstSize));
  a.x1.resize(size_t(dstSize));
  for (int32_t i = 0; i < dstSize; ++i) {
    const double q = double(i) / scale;
    const int32_t x0 = std::min(Trunc32(q), srcSize - 1);
    a.x0[size_t(i)] = x0;
    a.frac[size_t(i)] = Trunc32((q - double(x0)) * 131072.0);
    double e = double(std::min(i + 1, dstSize - 1)) / scale;
    if (nudge) e = e + 1e-10;
    a.x1[size_t(i)] = std::clamp(Trunc32(e), x0, srcSize - 1);
  }
  return a;
}

template <typename T, int C>
void FastLinear(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress, void* Sender) {
  if (!Source || !Target) return;
  const int32_t SW = Source->Width(), SH = Source->Height(), DW = Target->Width(), DH = Target->Height();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  const double xs = double(DW) / double(SW);
  const double ys = double(DH) / double(SH);
  if (xs == 1.0 && ys == 1.0) {
    Target->Assign(Source);
    return;
  }
  const LinearAxis cols = BuildLinearAxis(SW, DW, xs, true);
  const size_t workLen = size_t(DW) * C;
  std::vector<T> work(workLen * size_t(SH));
  const double c = 100.0 / (double(DH) + double(SH) + 0.5);

  for (int32_t row = 0; row < SH; ++row) {
    const T* s = static_cast<const T*>(Source->GetScanLine(row));
    T* w = work.data() + size_t(row) * workLen;
    for (int32_t i = 0; i < DW; ++i) {
      const int32_t x0 = cols.x0[size_t(i)];
      if (xs > 1.0) {
        const int32_t xb = std::min(x0 + 1, SW - 1);
        const int64_t f = cols.frac[size_t(i)];
        for (int ch = 0; ch < C; ++ch) {
          int64_t a = s[size_t(x0) * C + ch], b = s[size_t(xb) * C + ch];
          w[size_t(i) * C + ch] = T(a + (b - a) * f / 131072);
        }
      } else {
        const int32_t x1 = cols.x1[size_t(i)];
        for (int ch = 0; ch < C; ++ch) {
          int64_t sum = 0;
          for (int32_t x = x0; x <= x1; ++x) sum += s[size_t(x) * C + ch];
          w[size_t(i) * C + ch] = T(sum / (x1 - x0 + 1));
        }
      }
    }
    Report(OnProgress, Sender, Trunc32(double(row) * c));
  }

  for (int32_t k = 0; k < DH; ++k) {
    T* d = static_cast<T*>(Target->GetScanLine(k));
    if (ys > 1.0) {
      const double q = double(k) / ys;
      const int32_t y0 = std::min(Trunc32(q), SH - 1);
      const int64_t f = Trunc32((q - double(y0)) * 131072.0);
      const int32_t y1 = y0 + 1 <= SH - 1 ? y0 + 1 : y0;
      const T* ra = work.data() + size_t(y0) * workLen;
      const T* rb = work.data() + size_t(y1) * workLen;
      for (size_t x = 0; x < workLen; ++x) {
        int64_t a = ra[x], b = rb[x];
        d[x] = T(a + (b - a) * f / 131072);
      }
    } else {
      const int32_t r0 = std::min(Trunc32(double(k) / ys), SH - 1);
      const int32_t r1 = std::clamp(Trunc32(double(std::min(k + 1, DH - 1)) / ys), r0, SH - 1);
      for (size_t x = 0; x < workLen; ++x) {
        int64_t sum = 0;
        for (int32_t r = r0; r <= r1; ++r) sum += work[size_t(r) * workLen + x];
        d[x] = T(sum / (r1 - r0 + 1));
      }
    }
    Report(OnProgress, Sender, Trunc32(double(SH + k) * c));
  }
}

}  // namespace

void ResampleFastLinear24(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress,
                          void* Sender) {
  if (!Source || !Target || Source->PixelFormat() != vx24RGB || Target->PixelFormat() != vx24RGB) return;
  FastLinear<uint8_t, 3>(Source, Target, OnProgress, Sender);
}

void ResampleFastLinear8(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress,
                         void* Sender) {
  if (!Source || !Target || Source->BitCount() != 8 || Target->BitCount() != 8) return;
  FastLinear<uint8_t, 1>(Source, Target, OnProgress, Sender);
}

void ResampleFastLinear16(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress,
                          void* Sender) {
  if (!Source || !Target || Source->PixelFormat() != vx16g || Target->PixelFormat() != vx16g) return;
  FastLinear<uint16_t, 1>(Source, Target, OnProgress, Sender);
}

void ResampleFastLinear1Bit(TVXBitmap* Source, TVXBitmap* Target, const TVXProgressEvent& OnProgress, void* Sender) {
  if (!Source || !Target || Source->PixelFormat() != vx1g) return;
  const int32_t SW = Source->Width(), SH = Source->Height(), DW = Target->Width(), DH = Target->Height();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  const double xs = double(DW) / double(SW);
  const double ys = double(DH) / double(SH);
  if (xs == 1.0 && ys == 1.0) {
    Target->Assign(Source);
    return;
  }
  if (Target->PixelFormat() != vx24RGB) return;
  if (!(xs >= 1.0 || ys >= 1.0)) {
    VXStretch1BitAveraged(Source, 0, 0, SW - 1, SH - 1, Target);
    return;
  }
  const LinearAxis cols = BuildLinearAxis(SW, DW, xs, true);
  std::vector<uint8_t> work(size_t(DW) * size_t(SH));  // the grey of each work pixel
  const double c = 100.0 / (double(DH) + double(SH) + 0.5);
  for (int32_t row = 0; row < SH; ++row) {
    const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(row));
    uint8_t* w = work.data() + size_t(row) * size_t(DW);
    for (int32_t i = 0; i < DW; ++i) {
      const int32_t x0 = cols.x0[size_t(i)];
      const int32_t a = GetBit(s, x0) ? 255 : 0;
      const int32_t b = GetBit(s, std::min(x0 + 1, SW - 1)) ? 255 : 0;
      w[i] = uint8_t(a + ((cols.frac[size_t(i)] * (b - a)) >> 17));
    }
    Report(OnProgress, Sender, Trunc32(double(row) * c));
  }
  for (int32_t k = 0; k < DH; ++k) {
    const double q = double(k) / ys;
    const int32_t y0 = std::min(Trunc32(q), SH - 1);
    const int32_t f = Trunc32((q - double(y0)) * 131072.0);
    const int32_t y1 = y0 + 1 <= SH - 1 ? y0 + 1 : y0;
    const uint8_t* ra = work.data() + size_t(y0) * size_t(DW);
    const uint8_t* rb = work.data() + size_t(y1) * size_t(DW);
    uint8_t* d = static_cast<uint8_t*>(Target->GetScanLine(k));
    for (int32_t i = 0; i < DW; ++i) {
      const int32_t a = ra[i], b = rb[i];
      const uint8_t v = uint8_t(a + ((f * (b - a)) >> 17));
      d[3 * i] = d[3 * i + 1] = d[3 * i + 2] = v;
    }
    Report(OnProgress, Sender, Trunc32(double(SH + k) * c));
  }
}

void VXStretch1BitAveraged(TVXBaseBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                           TVXBaseBitmap* Target) {
  if (!Source || !Target || Source->PixelFormat() != vx1g || Target->PixelFormat() != vx24RGB) return;
  const int32_t rw = x2 - x1 + 1, rh = y2 - y1 + 1, DW = Target->Width(), DH = Target->Height();
  if (rw <= 0 || rh <= 0 || DW <= 0 || DH <= 0) return;
  const int32_t SW = Source->Width(), SH = Source->Height();
  if (SW <= 0 || SH <= 0) return;
  const double e = double(rh) / double(DH);
  const double g = double(rw) / double(DW);
  std::vector<int32_t> cx0(static_cast<size_t>(DW)), cx1(static_cast<size_t>(DW));
  for (int32_t k = 0; k < DW; ++k) {
    cx0[size_t(k)] = std::clamp(x1 + Trunc32(g * k - g / 2), 0, SW - 1);
    cx1[size_t(k)] = std::clamp(x1 + Trunc32(g / 2 + g * k), 0, SW - 1);
  }
  std::vector<int64_t> ones(static_cast<size_t>(DW));
  for (int32_t i = 0; i < DH; ++i) {
    const int32_t r0 = std::clamp(y1 + Trunc32(e * i - e / 2), 0, SH - 1);
    const int32_t r1 = std::clamp(y1 + Trunc32(double(Trunc32(e)) / 2 + e * i), 0, SH - 1);
    std::fill(ones.begin(), ones.end(), 0);
    for (int32_t r = r0; r <= r1; ++r) {
      const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(r));
      for (int32_t k = 0; k < DW; ++k)
        for (int32_t x = cx0[size_t(k)]; x <= cx1[size_t(k)]; ++x) ones[size_t(k)] += GetBit(s, x) ? 1 : 0;
    }
    uint8_t* d = static_cast<uint8_t*>(Target->GetScanLine(i));
    for (int32_t k = 0; k < DW; ++k) {
      const int64_t bits = int64_t(std::max(0, r1 - r0 + 1)) * std::max(0, cx1[size_t(k)] - cx0[size_t(k)] + 1);
      const uint8_t v = bits > 0 ? uint8_t(255 * ones[size_t(k)] / bits) : 0;
      d[3 * k] = d[3 * k + 1] = d[3 * k + 2] = v;
    }
  }
}

// ---------------------------------------------------------------------------
// Projections to black and white

namespace {

template <bool OneBit>
void Project(TVXBitmap* Source, TVXBitmap* Target, bool KeepWhite, const TVXProgressEvent& OnProgress, void* Sender) {
  const int32_t SW = Source->Width(), SH = Source->Height(), DW = Target->Width(), DH = Target->Height();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  if (Target->PixelFormat() != vx1g && !Target->Allocate(DW, DH, vx1g))
    throw EVXException("Not enough memory to resample the image");
  AccessGuard sourceAccess(Source, vxdRead);
  AccessGuard targetAccess(Target, vxdWrite);

  const double ry = double(SH) / double(DH);
  const std::vector<int32_t> xmap = SourceColumns(SW, DW);
  const size_t rowBytes = (size_t(DW) + 7) / 8;
  std::vector<uint8_t> line(rowBytes);
  std::vector<uint8_t> hit(static_cast<size_t>(DW));

  for (int32_t j = 0; j < DH; ++j) {
    const int32_t r0 = j == 0 ? 0 : ScaledIndex(j - 1, ry, SH - 1);
    const int32_t r1 = j == 0 ? 0 : ScaledIndex(j, ry, SH - 1);
    std::fill(hit.begin(), hit.end(), 0);
    for (int32_t r = r0; r <= r1; ++r) {
      const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(r));
      for (int32_t k = 0; k < DW; ++k) {
        if (hit[size_t(k)]) continue;
        const int32_t c0 = k == 0 ? 0 : xmap[size_t(k) - 1];
        const int32_t c1 = k == 0 ? 0 : xmap[size_t(k)];
        for (int32_t x = c0; x <= c1; ++x) {
          bool h;
          if constexpr (OneBit) {
            h = KeepWhite ? GetBit(s, x) : !GetBit(s, x);
          } else {
            const uint8_t* p = s + 3 * size_t(x);
            h = KeepWhite ? (p[0] > 128 && p[1] > 128 && p[2] > 128) : (p[0] < 128 && p[1] < 128 && p[2] < 128);
          }
          if (h) {
            hit[size_t(k)] = 1;
            break;
          }
        }
      }
    }
    uint8_t* d = static_cast<uint8_t*>(Target->GetScanLine(j));
    std::fill(line.begin(), line.end(), KeepWhite ? 0x00 : 0xFF);
    for (int32_t k = 0; k < DW; ++k)
      if (hit[size_t(k)]) SetBit(line.data(), k, KeepWhite);
    std::memcpy(d, line.data(), rowBytes);
    Report(OnProgress, Sender, Trunc32(double(j) * 100.0 / (double(DH) + 0.5)));
  }
}

}  // namespace

void ResampleProject24(TVXBitmap* Source, TVXBitmap* Target, bool KeepWhite, const TVXProgressEvent& OnProgress,
                       void* Sender) {
  if (!Source || !Target || Source->PixelFormat() != vx24RGB) return;
  Project<false>(Source, Target, KeepWhite, OnProgress, Sender);
}

void ResampleProject1Bit(TVXBitmap* Source, TVXBitmap* Target, bool KeepWhite, const TVXProgressEvent& OnProgress,
                         void* Sender) {
  if (!Source || !Target || Source->PixelFormat() != vx1g) return;
  Project<true>(Source, Target, KeepWhite, OnProgress, Sender);
}

// ---------------------------------------------------------------------------
// Area-integrating bilinear and bicubic

double CubicWeight(double p0, double p1, double p2, double p3, double t, double Low, double High) {
  auto w = [](double d) {
    d = std::fabs(d);
    if (d <= 1.0) return d * d * d - 2.0 * d * d + 1.0;
    if (d < 2.0) return -d * d * d + 5.0 * d * d - 8.0 * d + 4.0;
    return 0.0;
  };
  double v = p0 * w(t + 1.0) + p1 * w(t) + p2 * w(t - 1.0) + p3 * w(t - 2.0);
  if (v < Low) v = Low;
  if (v > High) v = High;
  return v;
}

namespace {

// One piece of an axis between two consecutive boundaries (source pixel
// edges and target pixel edges merged).
struct Segment {
  double len;      // length in source pixels
  int32_t src;     // source pixel it lies in
  int32_t dst;     // target pixel it lies in
  double f;        // where it ends within the source pixel (1 at its edge)
  bool endsTarget; // it ends a target pixel
};

std::vector<Segment> WalkAxis(int32_t srcSize, int32_t dstSize, double step) {
  std::vector<Segment> segs;
  segs.reserve(size_t(srcSize) + size_t(dstSize));
  double pos = 0.0;
  int32_t ti = 0;
  const size_t limit = size_t(srcSize) + size_t(dstSize) + 4;
  while (ti < dstSize) {
    const double nextT = double(ti + 1) * step;
    const double col = std::floor(pos);
    const double nextS = col + 1.0;
    Segment s;
    s.src = int32_t(std::clamp<double>(col, 0, srcSize - 1));
    s.dst = ti;
    double end;
    if (nextS >= nextT - 1e-4 || segs.size() >= limit) {
      end = nextT;
      s.endsTarget = true;
      ++ti;
    } else {
      end = nextS;
      s.endsTarget = false;
    }
    s.len = end - pos;
    s.f = end - col;
    segs.push_back(s);
    pos = end;
  }
  return segs;
}

template <typename T>
void AreaResample(TVXBitmap* Source, TVXBitmap* Target, TVXBitmap* Alpha, bool Bicubic, int32_t C, double maxv,
                  const TVXProgressEvent& OnProgress, void* Sender) {
  const int32_t SW = Source->Width(), SH = Source->Height(), DW = Target->Width(), DH = Target->Height();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  const double sx = double(SW) / double(DW);
  const double sy = double(SH) / double(DH);
  const int mode = sx < 1.0 ? (sy < 1.0 ? 0 : 1) : (sy < 1.0 ? 2 : 3);
  const bool useAlpha = !Bicubic && mode == 0 && Alpha && Alpha->Width() == SW && Alpha->Height() == SH &&
                        Alpha->PixelFormat() == vx8g;

  const std::vector<Segment> xs = WalkAxis(SW, DW, sx);
  const std::vector<Segment> ys = WalkAxis(SH, DH, sy);

  // Source rows r - 1, r, r + 1, r + 2 (edges repeated) and alpha of r, r + 1.
  const size_t rowLen = size_t(SW) * size_t(C);
  std::vector<double> rows[4];
  for (auto& r : rows) r.resize(rowLen);
  std::vector<double> alphaRows[2];
  for (auto& r : alphaRows) r.assign(size_t(SW), 1.0);
  int32_t loaded = -1;
  auto loadRows = [&](int32_t r) {
    if (r == loaded) return;
    loaded = r;
    for (int k = 0; k < 4; ++k) {
      const int32_t y = std::clamp(r - 1 + k, 0, SH - 1);
      const T* s = static_cast<const T*>(Source->GetScanLine(y));
      for (size_t x = 0; x < rowLen; ++x) rows[k][x] = double(s[x]);
    }
    if (useAlpha) {
      for (int k = 0; k < 2; ++k) {
        const int32_t y = std::clamp(r + k, 0, SH - 1);
        const uint8_t* a = static_cast<const uint8_t*>(Alpha->GetScanLine(y));
        for (int32_t x = 0; x < SW; ++x) alphaRows[k][size_t(x)] = double(a[x]) / 255.0;
      }
    }
  };

  std::vector<double> acc(size_t(DW) * size_t(C), 0.0);
  std::vector<T> out(size_t(DW) * size_t(C));
  const double inv = 1.0 / (sx * sy);
  for (const Segment& yseg : ys) {
    loadRows(yseg.src);
    const double fy = yseg.f;
    for (const Segment& xseg : xs) {
      const double weight = xseg.len * yseg.len;
      const double fx = xseg.f;
      const int32_t c0 = xseg.src;
      const int32_t cm = std::max(c0 - 1, 0), cp = std::min(c0 + 1, SW - 1), cpp = std::min(c0 + 2, SW - 1);
      double* a = acc.data() + size_t(xseg.dst) * size_t(C);
      // Alpha guard: colour of the last of the four samples that is more
      // opaque than another one replaces all four.
      int32_t forcedCol = -1, forcedRow = -1;
      if (useAlpha) {
        const double al[4] = {alphaRows[0][size_t(c0)], alphaRows[0][size_t(cp)], alphaRows[1][size_t(c0)],
                              alphaRows[1][size_t(cp)]};
        if (!(al[0] == al[1] && al[1] == al[2] && al[2] == al[3])) {
          for (int k = 3; k >= 0; --k) {
            bool greater = false;
            for (int m = 0; m < 4; ++m)
              if (al[k] > al[m]) greater = true;
            if (greater) {
              forcedCol = (k & 1) ? cp : c0;
              forcedRow = (k & 2) ? 2 : 1;
              break;
            }
          }
        }
      }
      for (int32_t ch = 0; ch < C; ++ch) {
        auto P = [&](int k, int32_t col) { return rows[k][size_t(col) * size_t(C) + size_t(ch)]; };
        double v;
        if (!Bicubic) {
          double p00 = P(1, c0), p01 = P(1, cp), p10 = P(2, c0), p11 = P(2, cp);
          if (forcedCol >= 0) p00 = p01 = p10 = p11 = P(forcedRow, forcedCol);
          switch (mode) {
            case 0:
              v = (1.0 - fy) * ((1.0 - fx) * p00 + fx * p01) + fy * ((1.0 - fx) * p10 + fx * p11);
              break;
            case 1:
              v = (1.0 - fx) * p00 + fx * p01;
              break;
            case 2:
              v = (1.0 - fy) * p00 + fy * p10;
              break;
            default:
              v = p00;
              break;
          }
        } else {
          switch (mode) {
            case 0: {
              double r[4];
              for (int k = 0; k < 4; ++k)
                r[k] = std::nearbyint(CubicWeight(P(k, cm), P(k, c0), P(k, cp), P(k, cpp), fx, 0.0, maxv));
              v = CubicWeight(r[0], r[1], r[2], r[3], fy, 0.0, maxv);
              break;
            }
            case 1:
              v = CubicWeight(P(1, cm), P(1, c0), P(1, cp), P(1, cpp), fx, 0.0, maxv);
              break;
            case 2:
              v = CubicWeight(P(0, c0), P(1, c0), P(2, c0), P(3, c0), fy, 0.0, maxv);
              break;
            default:
              v = P(1, c0);
              break;
          }
        }
        a[ch] += v * weight;
      }
    }
    if (yseg.endsTarget) {
      for (size_t x = 0; x < acc.size(); ++x) {
        double v = std::nearbyint(acc[x] * inv);
        if (v < 0) v = 0;
        if (v > maxv) v = maxv;
        out[x] = T(v);
        acc[x] = 0.0;
      }
      std::memcpy(Target->GetScanLine(yseg.dst), out.data(), out.size() * sizeof(T));
      Report(OnProgress, Sender, Trunc32(double(yseg.dst + 1) / double(DH) * 100.0));
    }
  }
}

// AreaResample of T samples when both bitmaps have the format Grey (one
// channel) or Colour (three); other formats and mixed pairs are left alone.
template <typename T>
void AreaResampleOf(TVXBitmap* Source, TVXBitmap* Target, TVXBitmap* AlphaChannel, bool Bicubic, TVXPixelFormat Grey,
                    TVXPixelFormat Colour, double MaxValue, const TVXProgressEvent& OnProgress, void* Sender) {
  if (!Source || !Target || Source->PixelFormat() != Target->PixelFormat()) return;
  const TVXPixelFormat format = Source->PixelFormat();
  if (format != Grey && format != Colour) return;
  AreaResample<T>(Source, Target, AlphaChannel, Bicubic, format == Grey ? 1 : 3, MaxValue, OnProgress, Sender);
}

}  // namespace

void ResampleBilinearBicubic24(TVXBitmap* Source, TVXBitmap* Target, TVXBitmap* AlphaChannel,
                               const TVXProgressEvent& OnProgress, void* Sender, bool Bicubic) {
  AreaResampleOf<uint8_t>(Source, Target, AlphaChannel, Bicubic, vx8g, vx24RGB, 255.0, OnProgress, Sender);
}

void ResampleBilinearBicubic48(TVXBitmap* Source, TVXBitmap* Target, bool Bicubic, const TVXProgressEvent& OnProgress,
                               void* Sender) {
  AreaResampleOf<uint16_t>(Source, Target, nullptr, Bicubic, vx16g, vx48RGB, 65535.0, OnProgress, Sender);
}
