#include "core/colorspace.h"

#include <algorithm>
#include <cmath>

namespace {

inline uint8_t ClampTrunc(double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return uint8_t(int32_t(v));
}

inline uint8_t ClampRound(double v) {
  const double r = std::nearbyint(v);
  if (!(r > 0)) return 0;
  if (r >= 255) return 255;
  return uint8_t(r);
}

double HueToChannel(double m1, double m2, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (6 * t < 1) return m1 + (m2 - m1) * t * 6;
  if (2 * t < 1) return m2;
  if (3 * t < 2) return m1 + (m2 - m1) * (2.0 / 3.0 - t) * 6;
  return m1;
}

}  // namespace

void VXRGBToHSL(TRGB Color, double& H, double& S, double& L) {
  const double r = Color.r / 255.0, g = Color.g / 255.0, b = Color.b / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  L = (mx + mn) / 2;
  if (mx == mn) {
    H = 0;
    S = 0;
    return;
  }
  const double d = mx - mn;
  S = L >= 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
  double h;
  if (mx == r)
    h = (g - b) / d;
  else if (mx != g)
    h = (r - g) / d + 4;
  else
    h = (b - r) / d + 2;
  H = h / 6;
  if (H < 0) H += 1;
}

TRGB VXHSLToRGB(double H, double S, double L) {
  if (H < 0)
    H += 1;
  else if (H > 1)
    H -= 1;
  S = std::clamp(S, 0.0, 1.0);
  L = std::clamp(L, 0.0, 1.0);
  double r, g, b;
  if (S == 0) {
    r = g = b = L;
  } else {
    const double m2 = L > 0.5 ? L + S - L * S : L * (1 + S);
    const double m1 = 2 * L - m2;
    r = HueToChannel(m1, m2, H + 1.0 / 3.0);
    g = HueToChannel(m1, m2, H);
    b = HueToChannel(m1, m2, H - 1.0 / 3.0);
  }
  return TRGB{ClampRound(b * 255), ClampRound(g * 255), ClampRound(r * 255)};
}

void VXRGBToYCbCr(int32_t& Y, int32_t& Cb, int32_t& Cr, TRGB rgb) {
  const double R = rgb.r, G = rgb.g, B = rgb.b;
  Y = ClampTrunc(0.299 * R + 0.587 * G + 0.114 * B);
  Cb = ClampTrunc(-0.16874 * R - 0.33126 * G + 0.5 * B + 128);
  Cr = ClampTrunc(0.5 * R - 0.41869 * G - 0.08131 * B + 128);
}

TRGB VXYCbCrToRGB(int32_t Y, int32_t Cb, int32_t Cr) {
  TRGB rgb;
  rgb.r = ClampTrunc(Y + 1.402 * (Cr - 128));
  rgb.g = ClampTrunc(Y - 0.34414 * (Cb - 128) - 0.71414 * (Cr - 128));
  rgb.b = ClampTrunc(Y + 1.772 * (Cb - 128));
  return rgb;
}
