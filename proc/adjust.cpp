// Colour adjustments through per-pixel formulas and tables.

#include "proc/adjust.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"

namespace {

inline int32_t Clamp255(int64_t v) { return int32_t(v < 0 ? 0 : v > 255 ? 255 : v); }
inline uint8_t RoundClamp(double v) { return uint8_t(Clamp255(int64_t(std::clamp(std::nearbyint(v), -1.0, 256.0)))); }
inline int32_t Round(double v) { return int32_t(std::nearbyint(v)); }

bool Usable(TVXBitmap* b) { return b && b->PixelFormat() == vx24RGB && !b->IsEmpty(); }

// Calls fn(TRGB&) for every pixel of the whole bitmap, with the row progress
// Base + Trunc(row / height x Weight x 100).
template <typename Fn>
void EachPixel(TVXBitmap* b, void* Sender, const TVXProgressEvent& OnProgress, Fn fn, int32_t Base = 0,
               double Weight = 1) {
  const int32_t W = b->Width(), H = b->Height();
  for (int32_t y = 0; y < H; ++y) {
    TRGB* p = static_cast<TRGB*>(b->GetRow(y));
    for (int32_t x = 0; x < W; ++x) fn(p[x]);
    b->FreeRow(y);
    if (OnProgress) OnProgress(Sender, Base + int32_t(double(y) / H * Weight * 100));
  }
}

}  // namespace

void VXRGBToHSVInt(TRGB rgb, int32_t& H, int32_t& S, int32_t& V) {
  const int32_t r = rgb.r, g = rgb.g, b = rgb.b;
  const int32_t mx = std::max({r, g, b}), mn = std::min({r, g, b});
  V = mx;
  S = mx == 0 ? 0 : (mx - mn) * 255 / mx;
  if (S == 0) {
    H = 0;
    return;
  }
  const int32_t d = mx - mn;
  if (r == mx)
    H = (g - b) * 60 / d;
  else if (g == mx)
    H = (b - r) * 60 / d + 120;
  else
    H = (r - g) * 60 / d + 240;
  if (H < 0) H += 360;
}

TRGB VXHSVIntToRGB(int32_t H, int32_t S, int32_t V) {
  if (S == 0) return TRGB{uint8_t(V), uint8_t(V), uint8_t(V)};
  if (H == 360) H = 0;
  const int32_t e = S * V, f = H % 60;
  const uint8_t v = uint8_t(V), p = uint8_t(V - e / 255), q = uint8_t(V - e * f / 15300),
                t = uint8_t(V - e * (60 - f) / 15300);
  switch (H / 60) {
    case 0: return TRGB{p, t, v};
    case 1: return TRGB{p, v, q};
    case 2: return TRGB{t, v, p};
    case 3: return TRGB{v, q, p};
    case 4: return TRGB{v, p, t};
    default: return TRGB{q, p, v};
  }
}

void VXDoAdjustSaturation(TVXBitmap* Bitmap, int32_t Amount, void* Sender, const TVXProgressEvent& OnProgress,
                          int32_t Base, double Weight) {
  if (!Usable(Bitmap)) return;
  const double s = (Amount + 100) / 100.0;
  EachPixel(
      Bitmap, Sender, OnProgress,
      [&](TRGB& p) {
        const double R = p.r, G = p.g, B = p.b;
        const double Y = 0.3 * R + 0.59 * G + 0.11 * B;
        p = TRGB{RoundClamp(Y + s * (-0.3 * R - 0.59 * G + 0.89 * B)), RoundClamp(Y + s * (-0.3 * R + 0.41 * G - 0.11 * B)),
                 RoundClamp((0.7 * R - 0.59 * G - 0.11 * B) * s + Y)};
      },
      Base, Weight);
}

void VXDoAdjustTint(TVXBitmap* Bitmap, int32_t Amount, bool Protect, TRGB FixedStart, TRGB FixedEnd, void* Sender,
                    const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  const float theta = float(Amount * 3.14159 / 180);
  const float c = float(std::cos(double(theta)) * 256), s = float(std::sin(double(theta)) * 256);
  EachPixel(Bitmap, Sender, OnProgress, [&](TRGB& p) {
    if (Protect && p.r >= FixedStart.r && p.r <= FixedEnd.r && p.g >= FixedStart.g && p.g <= FixedEnd.g &&
        p.b >= FixedStart.b && p.b <= FixedEnd.b)
      return;
    const int32_t R = p.r, G = p.g, B = p.b;
    const int32_t V = Round((70 * R - 59 * G - 11 * B) / 100.0), U = Round((-30 * R - 59 * G + 89 * B) / 100.0),
                  Y = Round((30 * R + 59 * G + 11 * B) / 100.0);
    const int32_t U2 = Round((U * double(c) - V * double(s)) / 256), V2 = Round((U * double(s) + V * double(c)) / 256);
    const int32_t D = Round((-51 * V2 - 19 * U2) / 100.0);
    p = TRGB{uint8_t(Clamp255(Y + U2)), uint8_t(Clamp255(Y + D)), uint8_t(Clamp255(Y + V2))};
  });
}

void VXDoAdjustBrightnessContrastSaturation(TVXBitmap* Bitmap, int32_t Brightness, int32_t Contrast,
                                            int32_t Saturation, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  const int32_t bf = int32_t((Brightness / 100.0 + 1) * 256), sf = int32_t((Saturation / 100.0 + 1) * 256);
  if (Contrast == 100) Contrast = 99;
  const double k = Contrast > 0 ? 1 / std::cos(Contrast * std::numbers::pi / 200) : std::cos(Contrast * 0.015708);
  uint8_t con[256], lut[256];
  int32_t sat[256], avg[768];
  for (int32_t i = 0; i < 256; ++i) con[i] = RoundClamp((i - 170) * k + 170);
  for (int32_t j = 0; j < 256; ++j) lut[j] = con[Clamp255((int64_t(bf) * (j - 1) + 256) / 256)];
  for (int32_t i = 0; i < 256; ++i) sat[i] = int32_t(uint16_t(uint32_t(sf * (i + 1)) >> 8));
  for (int32_t l = 0; l < 256; ++l) avg[3 * l] = avg[3 * l + 1] = avg[3 * l + 2] = l - sat[l];
  EachPixel(Bitmap, Sender, OnProgress, [&](TRGB& p) {
    const int32_t a = avg[p.r + p.g + p.b];
    p = TRGB{lut[Clamp255(a + sat[p.b])], lut[Clamp255(a + sat[p.g])], lut[Clamp255(a + sat[p.r])]};
  });
}

namespace {

// Cumulative weights of the 256 levels: count^Exponent in single precision,
// 0 for an empty level under a negative exponent.
std::vector<double> Cumulative(const std::vector<int64_t>& hist, double Exponent, double& sum) {
  std::vector<double> c(256);
  sum = 0;
  for (int32_t i = 0; i < 256; ++i) {
    const float w = hist[size_t(i)] == 0 && Exponent < 0 ? 0.0f
                                                          : std::pow(float(hist[size_t(i)]), float(Exponent));
    sum += w;
    c[size_t(i)] = sum;
  }
  return c;
}

int32_t Equalised(double sum, const std::vector<double>& c, int32_t level) {
  if (!(sum > 0)) return level;
  return Clamp255(int64_t(255 / sum * c[size_t(level)]));
}

void HSVHistograms(TVXBitmap* b, std::vector<int64_t>& hs, std::vector<int64_t>& hv) {
  hs.assign(256, 0);
  hv.assign(256, 0);
  for (int32_t y = 0; y < b->Height(); ++y) {
    const TRGB* p = static_cast<const TRGB*>(b->GetRow(y));
    for (int32_t x = 0; x < b->Width(); ++x) {
      int32_t H, S, V;
      VXRGBToHSVInt(p[x], H, S, V);
      ++hs[size_t(S)], ++hv[size_t(V)];
    }
    b->FreeRow(y);
  }
}

}  // namespace

void VXDoContrast2(TVXBitmap* Bitmap, double Amount, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  std::vector<int64_t> hs, hv;
  HSVHistograms(Bitmap, hs, hv);
  double sum;
  const std::vector<double> c = Cumulative(hv, Amount, sum);
  EachPixel(Bitmap, Sender, OnProgress, [&](TRGB& p) {
    int32_t H, S, V;
    VXRGBToHSVInt(p, H, S, V);
    p = VXHSVIntToRGB(H, S, Equalised(sum, c, V));
  });
}

void VXDoAdjustLumSatHistogram(TVXBitmap* Bitmap, double Saturation, double Luminance, void* Sender,
                               const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  std::vector<int64_t> hs, hv;
  HSVHistograms(Bitmap, hs, hv);
  double sumS, sumV;
  const std::vector<double> cs = Cumulative(hs, Saturation, sumS), cv = Cumulative(hv, Luminance, sumV);
  EachPixel(Bitmap, Sender, OnProgress, [&](TRGB& p) {
    int32_t H, S, V;
    VXRGBToHSVInt(p, H, S, V);
    p = VXHSVIntToRGB(H, Equalised(sumS, cs, S), Equalised(sumV, cv, V));
  });
}

void VXDoIntensity(TVXBitmap* Bitmap, int32_t LoLimit, int32_t HiLimit, int32_t Change, bool UseAverageRGB,
                   bool DoRed, bool DoGreen, bool DoBlue, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  // The tables are written at these indices: keep them inside.
  LoLimit = std::clamp(LoLimit, 0, 255);
  HiLimit = std::clamp(HiLimit, 0, 255);
  if (LoLimit == 255 || HiLimit == 0 || LoLimit >= HiLimit || Change == 0 || HiLimit - LoLimit < 2) return;
  const int32_t mid = int32_t(LoLimit + (HiLimit - LoLimit) / 2.0);
  const double step = double(Change) / (mid - LoLimit);
  int32_t lut[256], delta[256];
  for (int32_t i = 0; i < 256; ++i) lut[i] = i, delta[i] = 0;
  double acc = 0;
  for (int32_t i = LoLimit; i <= mid; ++i) {
    acc += step;
    lut[i] = int32_t(i + acc), delta[i] = int32_t(acc);
  }
  for (int32_t i = mid + 1; i <= HiLimit; ++i) {
    acc -= step;
    lut[i] = int32_t(i + acc), delta[i] = int32_t(acc);
  }
  for (int32_t i = 0; i < 256; ++i) {
    if (Change < 0 && lut[i] < 0) lut[i] = 0;
    if (Change >= 0 && lut[i] > 255) lut[i] = 255;
  }
  EachPixel(Bitmap, Sender, OnProgress, [&](TRGB& p) {
    if (UseAverageRGB) {
      const int32_t d = delta[(p.r + p.g + p.b) / 3];
      if (DoRed) p.r = uint8_t(Clamp255(p.r + d));
      if (DoGreen) p.g = uint8_t(Clamp255(p.g + d));
      if (DoBlue) p.b = uint8_t(Clamp255(p.b + d));
    } else {
      if (DoRed) p.r = uint8_t(Clamp255(lut[p.r]));
      if (DoGreen) p.g = uint8_t(Clamp255(lut[p.g]));
      if (DoBlue) p.b = uint8_t(Clamp255(lut[p.b]));
    }
  });
}

void VXDoContrast3(TVXBitmap* Bitmap, int32_t Change, int32_t Midpoint, bool DoRed, bool DoGreen, bool DoBlue,
                   void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap) || Change == 0) return;
  Change = std::clamp(Change, -255, 255);
  Midpoint = std::clamp(Midpoint, -100, 100);
  const int32_t pivot = Midpoint + 100;
  const double f = Change > 0 ? 1 + Change / 50.0 : 1 / (5 - (Change + 100) / 25.0);
  uint8_t lut[256];
  for (int32_t i = 0; i < 256; ++i) lut[i] = uint8_t(Clamp255(int64_t((i - pivot) * f + pivot)));
  EachPixel(Bitmap, Sender, OnProgress, [&](TRGB& p) {
    if (DoRed) p.r = lut[p.r];
    if (DoGreen) p.g = lut[p.g];
    if (DoBlue) p.b = lut[p.b];
  });
}

void VXDoAdjustTemperature(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t temperature,
                           void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap)) return;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width()), y2 = std::min(y2, Bitmap->Height());
  if (x2 <= x1 || y2 <= y1) return;
  const int32_t index = std::min(390, int32_t(std::clamp(temperature, 1000, 40000) / 100.0 - 10));
  const uint8_t* t = VXBlackBodyTable[index];
  uint8_t r[256], g[256], b[256];
  for (int32_t i = 0; i < 256; ++i) {
    r[i] = uint8_t(t[0] * i / 255), g[i] = uint8_t(t[1] * i / 255), b[i] = uint8_t(t[2] * i / 255);
  }
  int32_t last = -1;
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x) p[x] = TRGB{b[p[x].b], g[p[x].g], r[p[x].r]};
    Bitmap->FreeRow(y);
    // A one-row rectangle has nothing to divide by: it is done.
    const int32_t per = y2 - y1 - 1 == 0 ? 100 : int32_t(double(y) / (y2 - y1 - 1) * 100);
    if (OnProgress && per != last) OnProgress(Sender, per);
    last = per;
  }
}

void VXDoMapGrayToColor(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                        std::span<const TRGB> Map) {
  if (!Usable(Bitmap) || Map.size() < 256) return;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width()), y2 = std::min(y2, Bitmap->Height());
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int32_t cr = s->RedToGrayCoef(), cg = s->GreenToGrayCoef(), cb = s->BlueToGrayCoef();
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x)
      p[x] = Map[size_t(Clamp255((cr * p[x].r + cg * p[x].g + cb * p[x].b) / 100))];
    Bitmap->FreeRow(y);
  }
}
