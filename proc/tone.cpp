// Histograms, colour counts, mean colours, standard deviation, contrast,
// thresholds and histogram equalisation.

#include "proc/tone.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/bitmap.h"
#include "core/containers.h"
#include "core/mask.h"
#include "proc/colors.h"
#include "proc/proc.h"

namespace {

bool Cut(TVXBitmap* b, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
  if (!b || b->IsEmpty()) return false;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, b->Width()), y2 = std::min(y2, b->Height());
  return x2 > x1 && y2 > y1;
}

void RowProgress(void* Sender, const TVXProgressEvent& OnProgress, int32_t y, int32_t y1, int32_t y2) {
  if (OnProgress) OnProgress(Sender, int32_t(double(y - y1 + 1) * 100 / (double(y2 - y1) - 1 + 0.5)));
}

uint8_t ClampRound(double v) {
  const double r = std::nearbyint(v);
  return r < 0 ? 0 : r > 255 ? 255 : uint8_t(r);
}

// Passes every pixel of a vx24RGB rectangle through three tables.
void ApplyTables(TVXBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const uint8_t* tr, const uint8_t* tg,
                 const uint8_t* tb, void* Sender, const TVXProgressEvent& OnProgress) {
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* p = static_cast<TRGB*>(b->GetRow(y));
    for (int32_t x = x1; x < x2; ++x) p[x] = TRGB{tb[p[x].b], tg[p[x].g], tr[p[x].r]};
    b->FreeRow(y);
    RowProgress(Sender, OnProgress, y, y1, y2);
  }
}

bool Selected(TVXMask* mask, int32_t x, int32_t y) { return mask == nullptr || mask->IsPointInside(x, y); }

}  // namespace

void VXCalcHistogram(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXHistogram& Hist,
                     TVXHistogramContent Content, TVXMask* mask) {
  int32_t bits = 8;
  if (Bitmap && Bitmap->ChannelCount() > 0) bits = std::min(Bitmap->BitCount() / Bitmap->ChannelCount(), 16);
  const size_t length = Content == vxhcHue ? 360 : size_t(1) << bits;
  Hist.assign(length, THistogramItem{});
  if (!Bitmap) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx8g && fmt != vx16g && fmt != vx24RGB) return;
  if (!Cut(Bitmap, x1, y1, x2, y2)) return;
  if (mask && mask->IsEmpty()) mask = nullptr;
  for (int32_t y = y1; y < y2; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x) {
      if (!Selected(mask, x, y)) continue;
      if (fmt == vx24RGB) {
        const TRGB p = reinterpret_cast<const TRGB*>(row)[x];
        if (Content & vxhcRed) ++Hist[std::min<size_t>(p.r, length - 1)].R;
        if (Content & vxhcGreen) ++Hist[std::min<size_t>(p.g, length - 1)].G;
        if (Content & vxhcBlue) ++Hist[std::min<size_t>(p.b, length - 1)].B;
        if (Content & vxhcGray) ++Hist[std::min<size_t>(size_t(VXRGBToGray(p)), length - 1)].Gray;
        if (Content & vxhcHue) {
          int32_t h, s, v;
          VXRGBToHSV(p, h, s, v);
          ++Hist[std::min<size_t>(size_t(int64_t(length) * h / 360), length - 1)].Hue;
        }
      } else {
        const size_t v = fmt == vx8g ? row[x] : reinterpret_cast<const uint16_t*>(row)[x];
        if (v >= length) continue;
        if (Content & vxhcRed) ++Hist[v].R;
        if (Content & vxhcGreen) ++Hist[v].G;
        if (Content & vxhcBlue) ++Hist[v].B;
        if (Content & vxhcGray) ++Hist[v].Gray;
      }
    }
    Bitmap->FreeRow(y);
  }
}

int32_t VXCountColors(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Bitmap) return 0;
  if (Bitmap->PixelFormat() == vx1g) return 2;
  if (Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return 0;
  THash1 colours(13);
  for (int32_t y = y1; y < y2; ++y) {
    const TRGB* p = static_cast<const TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x) colours.Insert(int32_t(p[x].r) * 65536 + int32_t(p[x].g) * 256 + p[x].b);
    Bitmap->FreeRow(y);
  }
  return colours.nkeys();
}

void VXCalcAverageRGBRect(TVXBitmap* Bitmap, TVXMask* mask, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                          TRGB& Result) {
  Result = TRGB{0, 0, 0};
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return;
  const int32_t ox = mask ? mask->X1() : 0, oy = mask ? mask->Y1() : 0;
  int64_t r = 0, g = 0, b = 0, count = 0;
  for (int32_t y = y1; y < y2; ++y) {
    const TRGB* p = static_cast<const TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x)
      if (mask == nullptr || mask->IsPointInside(x + ox, y + oy)) {
        r += p[x].r, g += p[x].g, b += p[x].b;
        ++count;
      }
    Bitmap->FreeRow(y);
  }
  if (count) Result = TRGB{uint8_t(b / count), uint8_t(g / count), uint8_t(r / count)};
}

void VXSampleAverageRGB(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t SampleCount,
                        TRGB& Result, int32_t& HueSpread) {
  Result = TRGB{0, 0, 0};
  HueSpread = 0;
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return;
  const int32_t root = int32_t(std::sqrt(double(std::max(SampleCount, 0))));
  const int32_t nx = std::min(std::max(5, root), x2 - x1), ny = std::min(std::max(5, root), y2 - y1);
  if (nx < 2 || ny < 2) {
    Result = Bitmap->Pixels_vx24RGB(x1, y1);
    return;
  }
  const int32_t sx = (x2 - x1) / nx, sy = (y2 - y1) / ny;
  int64_t r = 0, g = 0, b = 0;
  int32_t hmin = 359, hmax = 0;
  for (int32_t j = 0; j < ny; ++j)
    for (int32_t i = 0; i < nx; ++i) {
      const TRGB p = Bitmap->Pixels_vx24RGB(x1 + i * sx, y1 + j * sy);
      r += p.r, g += p.g, b += p.b;
      int32_t h, s, v;
      VXRGBToHSV(p, h, s, v);
      hmin = std::min(hmin, h), hmax = std::max(hmax, h);
    }
  const int64_t n = int64_t(nx) * ny;
  Result = TRGB{uint8_t(b / n), uint8_t(g / n), uint8_t(r / n)};
  HueSpread = hmax - hmin;
}

double VXCalcStdDevRect(TVXBitmap* Bitmap, TVXMask* mask, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return 0;
  // Means over the whole bitmap's non-zero samples, blue, green, red.
  double sum[3] = {0, 0, 0}, mean[3] = {0, 0, 0};
  int64_t nonZero[3] = {0, 0, 0};
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(Bitmap->GetRow(y));
    for (int32_t i = 0; i < 3 * Bitmap->Width(); ++i)
      if (p[i]) sum[i % 3] += p[i], ++nonZero[i % 3];
    Bitmap->FreeRow(y);
  }
  for (int c = 0; c < 3; ++c) mean[c] = nonZero[c] ? sum[c] / double(nonZero[c]) : 0;
  const int32_t ox = mask ? mask->X1() : 0, oy = mask ? mask->Y1() : 0;
  double sq[3] = {0, 0, 0};
  int64_t count = 0;
  for (int32_t y = y1; y < y2; ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x)
      if (mask == nullptr || mask->IsPointInside(x + ox, y + oy)) {
        for (int c = 0; c < 3; ++c) {
          const double d = p[3 * x + c] - mean[c];
          sq[c] += d * d;
        }
        ++count;
      }
    Bitmap->FreeRow(y);
  }
  if (count == 0) return 0;
  double total = 0;
  for (int c = 0; c < 3; ++c) total += std::sqrt(sq[c] / double(count));
  return total / 3;
}

void VXDoContrast(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double vv, int32_t PivotR,
                  int32_t PivotG, int32_t PivotB, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return;
  const double k = vv >= 0 ? vv / 10 + 1 : 1 - std::sqrt(-vv) / 10;
  uint8_t t[3][256];
  const int32_t pivots[3] = {PivotR, PivotG, PivotB};
  for (int c = 0; c < 3; ++c)
    for (int32_t i = 0; i < 256; ++i) t[c][i] = ClampRound((i - pivots[c]) * k + pivots[c]);
  ApplyTables(Bitmap, x1, y1, x2, y2, t[0], t[1], t[2], Sender, OnProgress);
}

void VXDoThreshold(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB DownLimit, TRGB UpLimit,
                   TRGB DownVal, TRGB UpVal, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return;
  if (DownLimit == TRGB{0, 0, 0} && UpLimit == TRGB{255, 255, 255}) return;
  uint8_t t[3][256];
  const uint8_t down[3] = {DownLimit.r, DownLimit.g, DownLimit.b}, up[3] = {UpLimit.r, UpLimit.g, UpLimit.b};
  const uint8_t dv[3] = {DownVal.r, DownVal.g, DownVal.b}, uv[3] = {UpVal.r, UpVal.g, UpVal.b};
  for (int c = 0; c < 3; ++c)
    for (int32_t i = 0; i < 256; ++i) {
      int32_t v = i <= down[c] ? dv[c] : i;
      if (v > up[c]) v = uv[c];
      t[c][i] = uint8_t(v);
    }
  ApplyTables(Bitmap, x1, y1, x2, y2, t[0], t[1], t[2], Sender, OnProgress);
}

void VXDoThreshold2(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t LoThreshold,
                    int32_t HiThreshold, bool Red, bool Green, bool Blue, void* Sender,
                    const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return;
  const double k1 = LoThreshold == 0 ? 255 : 255.0 / LoThreshold, k2 = HiThreshold == 0 ? 255 : 255.0 / HiThreshold;
  uint8_t t[256], same[256];
  for (int32_t i = 0; i < 256; ++i) {
    same[i] = uint8_t(i);
    int32_t v = int32_t(std::clamp(std::trunc((255 - i) / k1 + i), 0.0, 255.0));
    if (v > LoThreshold) v = int32_t(std::clamp(std::trunc(v / k2), 0.0, 255.0));
    t[i] = uint8_t(v);
  }
  ApplyTables(Bitmap, x1, y1, x2, y2, Red ? t : same, Green ? t : same, Blue ? t : same, Sender, OnProgress);
}

void VXDoHistAutoEqualize(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                          const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  TVXHistogram hist;
  VXCalcHistogram(Bitmap, 0, 0, W, H, hist, vxhcGray, nullptr);
  const double avg = double(W) * double(H) / 256;
  uint8_t left[256], right[256];
  int64_t r = 0;
  double h = 0;
  for (int32_t z = 0; z < 256; ++z) {
    left[z] = uint8_t(std::clamp<int64_t>(r, 0, 255));
    h += hist[size_t(z)].Gray;
    while (h > avg) {
      h -= avg;
      ++r;
    }
    right[z] = uint8_t(std::clamp<int64_t>(r, 0, 255));
  }
  TVXBitmap temp;
  if (!temp.Allocate(x2 - x1, y2 - y1, vx24RGB)) throw EVXException("Not enough memory for the equalisation");
  for (int32_t y = y1; y < y2; ++y) {
    const int32_t rows[3] = {std::max(y - 1, 0), y, std::min(y + 1, H - 1)};
    const TRGB* src[3];
    for (int i = 0; i < 3; ++i) src[i] = static_cast<const TRGB*>(Bitmap->GetRow(rows[i]));
    TRGB* out = static_cast<TRGB*>(temp.GetRow(y - y1));
    for (int32_t x = x1; x < x2; ++x) {
      const TRGB p = src[1][x];
      const int32_t g = VXRGBToGray(p);
      TRGB o;
      if (left[g] == right[g]) {
        o = TRGB{left[p.b], left[p.g], left[p.r]};
      } else {
        int32_t sb = 0, sg = 0, sr = 0;
        for (int i = 0; i < 3; ++i)
          for (int32_t cx : {std::max(x - 1, 0), x, std::min(x + 1, W - 1)}) {
            sb += src[i][cx].b, sg += src[i][cx].g, sr += src[i][cx].r;
          }
        const TRGB mean{uint8_t(sb / 9), uint8_t(sg / 9), uint8_t(sr / 9)};
        const int32_t m = VXRGBToGray(mean);
        if (m > right[g])
          o = TRGB{right[p.b], right[p.g], right[p.r]};
        else if (m < left[g])
          o = TRGB{left[p.b], left[p.g], left[p.r]};
        else
          o = mean;
      }
      out[x - x1] = o;
    }
    temp.FreeRow(y - y1);
    for (int i = 2; i >= 0; --i) Bitmap->FreeRow(rows[i]);
    RowProgress(Sender, OnProgress, y, y1, y2);
  }
  temp.CopyRectTo(Bitmap, 0, 0, x1, y1, x2 - x1, y2 - y1);
}

void VXDoHistEqualize(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB LoThresh,
                      TRGB HiThresh, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || !Cut(Bitmap, x1, y1, x2, y2)) return;
  if (LoThresh == HiThresh) return;
  const TRGB hi{std::max<uint8_t>(HiThresh.b, 1), std::max<uint8_t>(HiThresh.g, 1), std::max<uint8_t>(HiThresh.r, 1)};
  if (LoThresh == hi) return;
  uint8_t t[3][256];
  const int32_t lo[3] = {LoThresh.r, LoThresh.g, LoThresh.b}, his[3] = {hi.r, hi.g, hi.b};
  for (int c = 0; c < 3; ++c) {
    const double d = 255 - lo[c] == 0 ? 1 : 255 - lo[c];
    uint8_t A[256], B[256];
    for (int32_t i = 0; i < 256; ++i) {
      A[i] = ClampRound((i - lo[c]) / d * 255);
      B[i] = ClampRound(double(i) / his[c] * 255);
    }
    for (int32_t i = 0; i < 256; ++i) t[c][i] = B[A[i]];
  }
  ApplyTables(Bitmap, x1, y1, x2, y2, t[0], t[1], t[2], Sender, OnProgress);
}
