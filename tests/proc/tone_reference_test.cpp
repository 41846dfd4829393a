// The tone and colour operations on a photo-like image against references
// written straight from their descriptions: per pixel, without the tables
// the library builds.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "core/bitmap.h"
#include "noise_fixture.h"
#include "proc/adjust.h"
#include "proc/proc.h"

namespace {

using procfixture::Photo;

int Clamp(double v) { return int(std::clamp(v, 0.0, 255.0)); }
int RoundC(double v) { return Clamp(std::nearbyint(v)); }
int Grey(TRGB p) { return (21 * p.r + 71 * p.g + 8 * p.b) / 100; }

// Runs op on a copy of the photo and compares it with ref applied to each
// pixel (ref may look at the whole source).
void Check(const char* name, const std::function<void(TVexlaneProc&)>& op,
           const std::function<TRGB(const TVXBitmap&, int32_t, int32_t)>& ref) {
  SCOPED_TRACE(name);
  auto src = Photo(48, 36);
  TVXBitmap b(src.get());
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  op(*proc);
  for (int32_t y = 0; y < 36; ++y)
    for (int32_t x = 0; x < 48; ++x) ASSERT_EQ(b.Pixels_vx24RGB(x, y), ref(*src, x, y)) << x << "," << y;
}

TRGB Map3(TRGB p, const std::function<int(int, int)>& f) { return TRGB{uint8_t(f(p.b, 0)), uint8_t(f(p.g, 1)), uint8_t(f(p.r, 2))}; }

TEST(ToneReference, LevelOperations) {
  // Contrast around the means of the whole image.
  {
    auto src = Photo(48, 36);
    int32_t mr, mg, mb;
    VXCalcAverageChannels(src.get(), mr, mg, mb);
    for (double vv : {25.0, -49.0}) {
      const double k = vv >= 0 ? vv / 10 + 1 : 1 - std::sqrt(-vv) / 10;
      Check("Contrast", [&](TVexlaneProc& p) { p.Contrast(vv); }, [&](const TVXBitmap& s, int32_t x, int32_t y) {
        const int piv[3] = {mb, mg, mr};
        return Map3(s.Pixels_vx24RGB(x, y), [&](int v, int c) { return RoundC((v - piv[c]) * k + piv[c]); });
      });
    }
  }
  Check("Intensity", [](TVexlaneProc& p) { p.Intensity(50, 201, 40, false, true, false, true); },
        [](const TVXBitmap& s, int32_t x, int32_t y) {
          auto lut = [](int i) {
            if (i < 50 || i > 201) return i;
            const int mid = int(50 + 151 / 2.0);
            const double step = 40.0 / (mid - 50);
            double acc = 0;
            for (int j = 50; j <= i; ++j) acc += j <= mid ? step : -step;
            return std::min(255, int(i + acc));
          };
          const TRGB p = s.Pixels_vx24RGB(x, y);
          return TRGB{uint8_t(lut(p.b)), p.g, uint8_t(lut(p.r))};
        });
  Check("Contrast3", [](TVexlaneProc& p) { p.Contrast3(80, 20, true, true, false); },
        [](const TVXBitmap& s, int32_t x, int32_t y) {
          const TRGB p = s.Pixels_vx24RGB(x, y);
          auto f = [](int v) { return Clamp(std::trunc((v - 120) * (1 + 80 / 50.0) + 120)); };
          return TRGB{p.b, uint8_t(f(p.g)), uint8_t(f(p.r))};
        });
  Check("AdjustTemperature", [](TVexlaneProc& p) { p.AdjustTemperature(4250); },
        [](const TVXBitmap& s, int32_t x, int32_t y) {
          const uint8_t* t = VXBlackBodyTable[32];  // 4200 K
          return Map3(s.Pixels_vx24RGB(x, y), [&](int v, int c) { return t[2 - c] * v / 255; });
        });
}

TEST(ToneReference, ColourFormulas) {
  Check("AdjustSaturation", [](TVexlaneProc& p) { p.AdjustSaturation(37); },
        [](const TVXBitmap& s, int32_t x, int32_t y) {
          const TRGB p = s.Pixels_vx24RGB(x, y);
          const double R = p.r, G = p.g, B = p.b, k = 1.37, Y = 0.3 * R + 0.59 * G + 0.11 * B;
          return TRGB{uint8_t(RoundC(Y + k * (-0.3 * R - 0.59 * G + 0.89 * B))),
                      uint8_t(RoundC(Y + k * (-0.3 * R + 0.41 * G - 0.11 * B))),
                      uint8_t(RoundC((0.7 * R - 0.59 * G - 0.11 * B) * k + Y))};
        });
  Check("AdjustTint", [](TVexlaneProc& p) { p.AdjustTint(50); }, [](const TVXBitmap& s, int32_t x, int32_t y) {
    const TRGB p = s.Pixels_vx24RGB(x, y);
    const float th = float(50 * 3.14159 / 180);
    const double c = float(std::cos(double(th)) * 256), sn = float(std::sin(double(th)) * 256);
    const int R = p.r, G = p.g, B = p.b;
    const double V = std::nearbyint((70 * R - 59 * G - 11 * B) / 100.0), U = std::nearbyint((-30 * R - 59 * G + 89 * B) / 100.0),
                 Y = std::nearbyint((30 * R + 59 * G + 11 * B) / 100.0);
    const double U2 = std::nearbyint((U * c - V * sn) / 256), V2 = std::nearbyint((U * sn + V * c) / 256);
    const double D = std::nearbyint((-51 * V2 - 19 * U2) / 100);
    return TRGB{uint8_t(Clamp(Y + U2)), uint8_t(Clamp(Y + D)), uint8_t(Clamp(Y + V2))};
  });
  Check("AdjustBrightnessContrastSaturation", [](TVexlaneProc& p) { p.AdjustBrightnessContrastSaturation(20, -30, 40); },
        [](const TVXBitmap& s, int32_t x, int32_t y) {
          const TRGB p = s.Pixels_vx24RGB(x, y);
          const int bf = int(1.2 * 256), sf = int(1.4 * 256);
          const double k = std::cos(-30 * 0.015708);
          auto con = [&](int i) { return RoundC((i - 170) * k + 170); };
          auto lut = [&](int j) { return con(Clamp((bf * (j - 1) + 256) / 256)); };
          auto sat = [&](int i) { return (sf * (i + 1)) >> 8; };
          const int sum = p.r + p.g + p.b, l = sum / 3, a = l - sat(l);
          return Map3(p, [&](int v, int) { return lut(Clamp(a + sat(v))); });
        });
  Check("MapGrayToColor", [](TVexlaneProc& p) {
          std::vector<TRGB> map(256);
          for (int i = 0; i < 256; ++i) map[size_t(i)] = TRGB{uint8_t(i / 2), uint8_t(255 - i), uint8_t(i)};
          p.MapGrayToColor(map);
        },
        [](const TVXBitmap& s, int32_t x, int32_t y) {
          const int g = Grey(s.Pixels_vx24RGB(x, y));
          return TRGB{uint8_t(g / 2), uint8_t(255 - g), uint8_t(g)};
        });
}

// The HSV equalisations and the equalisation with neighbourhood tie-break.
TEST(ToneReference, Equalisations) {
  auto src = Photo(48, 36);
  std::vector<double> hs(256), hv(256);
  for (int32_t y = 0; y < 36; ++y)
    for (int32_t x = 0; x < 48; ++x) {
      int32_t H, S, V;
      VXRGBToHSVInt(src->Pixels_vx24RGB(x, y), H, S, V);
      hs[size_t(S)] += 1, hv[size_t(V)] += 1;
    }
  auto level = [](const std::vector<double>& h, double e, int v) {
    double sum = 0, c = 0;
    for (int i = 0; i < 256; ++i) {
      const double w = h[size_t(i)] == 0 && e < 0 ? 0 : double(std::pow(float(h[size_t(i)]), float(e)));
      sum += w;
      if (i <= v) c += w;
    }
    return int(255 / sum * c);
  };
  for (double e : {0.7, -0.5}) {
    Check("Contrast2", [&](TVexlaneProc& p) { p.Contrast2(e); }, [&](const TVXBitmap& s, int32_t x, int32_t y) {
      int32_t H, S, V;
      VXRGBToHSVInt(s.Pixels_vx24RGB(x, y), H, S, V);
      return VXHSVIntToRGB(H, S, level(hv, e, V));
    });
  }
  Check("AdjustLumSatHistogram", [](TVexlaneProc& p) { p.AdjustLumSatHistogram(0.5, 1.5); },
        [&](const TVXBitmap& s, int32_t x, int32_t y) {
          int32_t H, S, V;
          VXRGBToHSVInt(s.Pixels_vx24RGB(x, y), H, S, V);
          return VXHSVIntToRGB(H, level(hs, 0.5, S), level(hv, 1.5, V));
        });
  // HistAutoEqualize: level tables from the grey histogram, the 3x3 mean for
  // pixels between two levels.
  std::vector<int> count(256);
  for (int32_t y = 0; y < 36; ++y)
    for (int32_t x = 0; x < 48; ++x) ++count[size_t(Grey(src->Pixels_vx24RGB(x, y)))];
  const double avg = 48.0 * 36 / 256;
  std::vector<int> left(256), right(256);
  int r = 0;
  double h = 0;
  for (int z = 0; z < 256; ++z) {
    left[size_t(z)] = std::min(r, 255);
    for (h += count[size_t(z)]; h > avg; h -= avg) ++r;
    right[size_t(z)] = std::min(r, 255);
  }
  Check("HistAutoEqualize", [](TVexlaneProc& p) { p.HistAutoEqualize(); },
        [&](const TVXBitmap& s, int32_t x, int32_t y) {
          const TRGB p = s.Pixels_vx24RGB(x, y);
          const int g = Grey(p);
          auto through = [&](const std::vector<int>& t) {
            return Map3(p, [&](int v, int) { return t[size_t(v)]; });
          };
          if (left[size_t(g)] == right[size_t(g)]) return through(left);
          int sum[3] = {0, 0, 0};
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              const TRGB q = s.Pixels_vx24RGB(std::clamp(x + dx, 0, 47), std::clamp(y + dy, 0, 35));
              sum[0] += q.b, sum[1] += q.g, sum[2] += q.r;
            }
          const TRGB mean{uint8_t(sum[0] / 9), uint8_t(sum[1] / 9), uint8_t(sum[2] / 9)};
          const int m = Grey(mean);
          if (m > right[size_t(g)]) return through(right);
          if (m < left[size_t(g)]) return through(left);
          return mean;
        });
}

}  // namespace
