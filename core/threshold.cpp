#include "core/threshold.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/rowops.h"

TVXGreyCoefs::TVXGreyCoefs() {
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  r = s->RedToGrayCoef();
  g = s->GreenToGrayCoef();
  b = s->BlueToGrayCoef();
}

namespace {

using GreyCoefs = TVXGreyCoefs;

// Row y of any pixel format as grey levels (Width() bytes).
void GreyRow(TVXBitmap* bmp, int32_t y, uint8_t* out, const GreyCoefs& k) {
  std::vector<TRGB> rgb(static_cast<size_t>(bmp->Width()));
  VXRowToRGB(bmp, y, rgb.data());
  for (size_t x = 0; x < rgb.size(); ++x) out[x] = uint8_t(k.Grey(rgb[x].r, rgb[x].g, rgb[x].b));
}

int32_t MaxEntropyThreshold(TVXBitmap* bmp) {
  int32_t hist[256];
  VXCalcGrayHistogram(bmp, hist);
  const double total = double(bmp->Width()) * double(bmp->Height());
  double p[256];
  for (int i = 0; i < 256; ++i) p[i] = total > 0 ? hist[i] / total : 0;
  double Ht = 0;
  for (int i = 0; i < 256; ++i)
    if (p[i] != 0) Ht -= p[i] * std::log(p[i]);
  double best = 0, psi = 0, P = 0, Hb = 0;
  int32_t threshold = -2;
  for (int t = 1; t <= 255; ++t) {
    P += p[t - 1];
    if (p[t - 1] > 0) Hb -= p[t - 1] * std::log(p[t - 1]);
    if (P > 0 && P < 1) psi = std::log(P - P * P) + Hb / P + (Ht - Hb) / (1 - P);
    if (psi > best) {
      best = psi;
      threshold = t;
    }
  }
  return threshold;
}

bool EnsureBW(TVXBitmap* Target, int32_t w, int32_t h) {
  if (Target->PixelFormat() == vx1g && Target->Width() == w && Target->Height() == h && !Target->IsEmpty())
    return true;
  return Target->Allocate(w, h, vx1g);
}

}  // namespace

void VXGrayLevelRow(TVXBitmap* Bitmap, int32_t y, uint8_t* Out) {
  const GreyCoefs k;
  GreyRow(Bitmap, y, Out, k);
}

void VXCalcGrayHistogram(TVXBitmap* Bitmap, int32_t* Histogram) {
  if (!Histogram) return;
  std::memset(Histogram, 0, 256 * sizeof(int32_t));
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  const GreyCoefs k;
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  if (pf == vx1g) {
    static const uint8_t kNibbleBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    int64_t set = 0;
    const int32_t whole = w >> 3, rest = w & 7;
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* p = static_cast<const uint8_t*>(Bitmap->GetScanLine(y));
      for (int32_t i = 0; i < whole; ++i) set += kNibbleBits[p[i] >> 4] + kNibbleBits[p[i] & 15];
      for (int32_t x = 0; x < rest; ++x)
        if (p[whole] & (0x80 >> x)) ++set;
    }
    Histogram[1] = int32_t(set);
    Histogram[0] = int32_t(int64_t(w) * h - set);
    return;
  }
  std::vector<uint8_t> row(static_cast<size_t>(w));
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(Bitmap->GetScanLine(y));
    switch (pf) {
      case vx8g:
        for (int32_t x = 0; x < w; ++x) ++Histogram[p[x]];
        break;
      case vx16g:
        for (int32_t x = 0; x < w; ++x) ++Histogram[p[size_t(x) * 2 + 1]];
        break;
      case vx32f:
        for (int32_t x = 0; x < w; ++x) {
          float v;
          std::memcpy(&v, p + size_t(x) * 4, 4);
          ++Histogram[VXFloatToByte(v)];
        }
        break;
      default:
        GreyRow(Bitmap, y, row.data(), k);
        for (int32_t x = 0; x < w; ++x) ++Histogram[row[x]];
        break;
    }
  }
}

void VXConvertTo1BitThreshold(TVXBitmap* Source, TVXBitmap* Target, int32_t Threshold, TProgressRec& Progress) {
  if (!Source || !Target || Source->IsEmpty()) return;
  if (Source->PixelFormat() == vx1g) {
    Target->AssignImage(Source);
    return;
  }
  const int32_t w = Source->Width(), h = Source->Height();
  if (!EnsureBW(Target, w, h)) throw EVXException("Not enough memory for the black and white image");
  Progress.per1 = 100.0 / (h + 0.5);
  const GreyCoefs k;
  const bool average = Threshold == -1;
  if (average) {
    int32_t r, g, b;
    VXCalcAverageChannels(Source, r, g, b);
    Threshold = uint8_t(k.Grey(r, g, b));
  } else if (Threshold == -2) {
    Threshold = MaxEntropyThreshold(Source);
  }
  std::vector<uint8_t> grey(static_cast<size_t>(w));
  bool uniform = true;  // every pixel's grey equals the threshold
  for (int32_t y = 0; y < h; ++y) {
    GreyRow(Source, y, grey.data(), k);
    uint8_t* d = static_cast<uint8_t*>(Target->GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t m = uint8_t(0x80 >> (x & 7));
      if (grey[x] != Threshold) uniform = false;
      if (grey[x] < Threshold)
        d[x >> 3] &= uint8_t(~m);
      else
        d[x >> 3] |= m;
    }
    if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, int32_t((y + 1) * Progress.per1));
  }
  // A picture of one grey is its own average: it keeps its own side of mid-grey
  // (a black square stays black) instead of turning white.
  if (average && uniform && Threshold < 128) {
    const size_t rowBytes = (size_t(w) + 7) / 8;
    for (int32_t y = 0; y < h; ++y) std::memset(Target->GetScanLine(y), 0, rowBytes);
  }
}

void VXFloydSteinbergTo1Bit(TVXBitmap* Source, TVXBitmap* Target, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Source || !Target || Source->IsEmpty()) return;
  const int32_t w = Source->Width(), h = Source->Height();
  if (!EnsureBW(Target, w, h)) throw EVXException("Not enough memory for the black and white image");
  const GreyCoefs k;
  std::vector<double> cur(static_cast<size_t>(w), 0.0), next(static_cast<size_t>(w), 0.0);
  std::vector<uint8_t> grey(static_cast<size_t>(w));
  int32_t d = 1;
  for (int32_t y = 0; y < h; ++y) {
    std::fill(next.begin(), next.end(), 0.0);
    GreyRow(Source, y, grey.data(), k);
    uint8_t* out = static_cast<uint8_t*>(Target->GetScanLine(y));
    for (int32_t i = 0; i < w; ++i) {
      const int32_t c = d > 0 ? i : w - 1 - i;
      const double v = grey[c] + cur[c];
      const uint8_t m = uint8_t(0x80 >> (c & 7));
      double e;
      if (std::floor(v + 0.5) >= 128) {
        out[c >> 3] |= m;
        e = 255;
      } else {
        out[c >> 3] &= uint8_t(~m);
        e = 0;
      }
      const double f = v - e;
      next[c] += 5 * f / 16;
      const int32_t fwd = c + d, back = c - d;
      if (fwd >= 0 && fwd < w) {
        cur[fwd] += 7 * f / 16;
        next[fwd] += f / 16;
      }
      if (back >= 0 && back < w) next[back] += 3 * f / 16;
    }
    d = -d;
    std::swap(cur, next);
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / h));
  }
}

void VXDoFloydSteinberg(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TVXBitmap target;
  VXFloydSteinbergTo1Bit(Bitmap, &target, Sender, OnProgress);
  Bitmap->Assign(&target);
}
