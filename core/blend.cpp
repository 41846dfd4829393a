#include "core/blend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "core/colorspace.h"
#include "core/settings.h"

namespace {

int32_t gCosineTable[256] = {};

inline uint8_t Clamp255(int32_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline uint8_t RoundClamp255(double v) {
  const double r = std::nearbyint(v);
  if (!(r > 0)) return 0;
  if (r >= 255) return 255;
  return uint8_t(r);
}

// One channel of the per-channel operations; S source, D destination.
template <TVXRenderOperation Op>
inline int32_t Channel(int32_t S, int32_t D) {
  if constexpr (Op == vxlAdd) return std::min(255, D + S);
  if constexpr (Op == vxlSub) return std::abs(D - S);
  if constexpr (Op == vxlDiv) return D / std::clamp(S, 1, 255);
  if constexpr (Op == vxlMul) return (D * S) >> 8;
  if constexpr (Op == vxlOR) return D | S;
  if constexpr (Op == vxlAND) return D & S;
  if constexpr (Op == vxlXOR) return D ^ S;
  if constexpr (Op == vxlMAX) return std::max(D, S);
  if constexpr (Op == vxlMIN) return std::min(D, S);
  if constexpr (Op == vxlAverage) return (D + S) >> 1;
  if constexpr (Op == vxlScreen) return int32_t(255 - double(255 - D) * double(255 - S) / 255);
  if constexpr (Op == vxlNegation) return 255 - std::abs(255 - S - D);
  if constexpr (Op == vxlExclusion) return S + D - ((S * D) >> 7);
  if constexpr (Op == vxlOverlay) return D < 128 ? (S * D) >> 7 : 255 - (((255 - S) * (255 - D)) >> 7);
  if constexpr (Op == vxlHardLight) return S < 128 ? (S * D) >> 7 : 255 - (((255 - S) * (255 - D)) >> 7);
  if constexpr (Op == vxlSoftLight) {
    const double s = S / 255.0, d = D / 255.0;
    const double r = s < 0.5 ? d * d * (1 - 2 * s) + 2 * s * d : std::sqrt(d) * (2 * s - 1) + 2 * d * (1 - s);
    return int32_t(r * 255);
  }
  if constexpr (Op == vxlXFader) {
    const int32_t m = (D * S) >> 8, k = ((255 - D) * (255 - S)) >> 8;
    return m + (((255 - k - m) * D) >> 8);
  }
  if constexpr (Op == vxlColorEdge) return S == 255 ? 255 : std::min(255, (D * 256) / (255 - S));
  if constexpr (Op == vxlColorBurn) return S == 0 ? 0 : std::max(0, 255 - ((255 - D) * 256) / S);
  if constexpr (Op == vxlInverseColorDodge) return D == 255 ? 255 : std::min(255, (S * 256) / (255 - D));
  if constexpr (Op == vxlInverseColorBurn) return D == 0 ? 0 : std::max(0, 255 - ((255 - S) * 256) / D);
  if constexpr (Op == vxlSoftDodge) {
    if (S + D < 256) return S == 255 ? 255 : std::min(255, (D * 128) / (255 - S));
    return std::max(0, 255 - ((255 - S) * 128) / D);
  }
  if constexpr (Op == vxlSoftBurn) {
    if (S + D < 256) return D == 255 ? 255 : std::min(255, (S * 128) / (255 - D));
    return std::max(0, 255 - ((255 - D) * 128) / S);
  }
  if constexpr (Op == vxlReflect) return S == 255 ? 255 : std::min(255, (D * D) / (255 - S));
  if constexpr (Op == vxlGlow) return D == 255 ? 255 : std::min(255, (S * S) / (255 - D));
  if constexpr (Op == vxlFreeze) return S == 0 ? 0 : std::max(0, 255 - ((255 - D) * (255 - D)) / S);
  if constexpr (Op == vxlEat) return D == 0 ? 0 : std::max(0, 255 - ((255 - S) * (255 - S)) / D);
  if constexpr (Op == vxlSubtractive) return Clamp255(D + S - 256);
  if constexpr (Op == vxlInterpolation) return std::min(255, gCosineTable[S] + gCosineTable[D]);
  if constexpr (Op == vxlStamp) return Clamp255(D + 2 * S - 256);
  return D;
}

template <TVXRenderOperation Op>
inline void PerChannel(const TRGB* s, TRGB* d) {
  d->r = uint8_t(Channel<Op>(s->r, d->r));
  d->g = uint8_t(Channel<Op>(s->g, d->g));
  d->b = uint8_t(Channel<Op>(s->b, d->b));
}

enum class HSLPart { Hue, Saturation, Color, Luminosity };

void HSLRecombine(const TRGB* s, TRGB* d, HSLPart part) {
  double sh, ss, sl, dh, ds, dl;
  VXRGBToHSL(*s, sh, ss, sl);
  VXRGBToHSL(*d, dh, ds, dl);
  switch (part) {
    case HSLPart::Hue: *d = VXHSLToRGB(sh, ds, dl); break;
    case HSLPart::Saturation: *d = VXHSLToRGB(dh, ss, dl); break;
    case HSLPart::Color: *d = VXHSLToRGB(sh, ss, dl); break;
    case HSLPart::Luminosity: *d = VXHSLToRGB(dh, ds, sl); break;
  }
}

inline uint8_t Grey(const TRGB* p) {
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  return uint8_t((st->RedToGrayCoef() * p->r + st->GreenToGrayCoef() * p->g + st->BlueToGrayCoef() * p->b) / 100);
}

void Dubois(const TRGB* R, TRGB* L) {
  const double lr = L->r, lg = L->g, lb = L->b, rr = R->r, rg = R->g, rb = R->b;
  const double red = 0.4561 * lr + 0.500484 * lg + 0.176381 * lb - 0.0434706 * rr - 0.0879388 * rg -
                     0.00155529 * rb;
  const double green = -0.0400822 * lr - 0.0378246 * lg - 0.0157589 * lb + 0.378476 * rr + 0.73364 * rg -
                       0.0184503 * rb;
  const double blue = -0.0152161 * lr - 0.0205971 * lg - 0.00546856 * lb - 0.0721527 * rr - 0.112961 * rg +
                      1.2264 * rb;
  L->r = RoundClamp255(red);
  L->g = RoundClamp255(green);
  L->b = RoundClamp255(blue);
}

}  // namespace

void VXBuildCosineTable() {
  for (int i = 0; i < 256; ++i)
    gCosineTable[i] = int32_t(std::nearbyint(64 - 64 * std::cos(i * std::numbers::pi / 255)));
}

const int32_t* VXCosineTable() { return gCosineTable; }

void VXBlendPixels(const TRGB* Src, TRGB* Dst, TVXRenderOperation Op, int32_t Row) {
  switch (Op) {
    case vxlNormal: *Dst = *Src; break;
    case vxlAdd: PerChannel<vxlAdd>(Src, Dst); break;
    case vxlSub: PerChannel<vxlSub>(Src, Dst); break;
    case vxlDiv: PerChannel<vxlDiv>(Src, Dst); break;
    case vxlMul: PerChannel<vxlMul>(Src, Dst); break;
    case vxlOR: PerChannel<vxlOR>(Src, Dst); break;
    case vxlAND: PerChannel<vxlAND>(Src, Dst); break;
    case vxlXOR: PerChannel<vxlXOR>(Src, Dst); break;
    case vxlMAX: PerChannel<vxlMAX>(Src, Dst); break;
    case vxlMIN: PerChannel<vxlMIN>(Src, Dst); break;
    case vxlAverage: PerChannel<vxlAverage>(Src, Dst); break;
    case vxlScreen: PerChannel<vxlScreen>(Src, Dst); break;
    case vxlNegation: PerChannel<vxlNegation>(Src, Dst); break;
    case vxlExclusion: PerChannel<vxlExclusion>(Src, Dst); break;
    case vxlOverlay: PerChannel<vxlOverlay>(Src, Dst); break;
    case vxlHardLight: PerChannel<vxlHardLight>(Src, Dst); break;
    case vxlSoftLight: PerChannel<vxlSoftLight>(Src, Dst); break;
    case vxlXFader: PerChannel<vxlXFader>(Src, Dst); break;
    case vxlColorEdge: PerChannel<vxlColorEdge>(Src, Dst); break;
    case vxlColorBurn: PerChannel<vxlColorBurn>(Src, Dst); break;
    case vxlInverseColorDodge: PerChannel<vxlInverseColorDodge>(Src, Dst); break;
    case vxlInverseColorBurn: PerChannel<vxlInverseColorBurn>(Src, Dst); break;
    case vxlSoftDodge: PerChannel<vxlSoftDodge>(Src, Dst); break;
    case vxlSoftBurn: PerChannel<vxlSoftBurn>(Src, Dst); break;
    case vxlReflect: PerChannel<vxlReflect>(Src, Dst); break;
    case vxlGlow: PerChannel<vxlGlow>(Src, Dst); break;
    case vxlFreeze: PerChannel<vxlFreeze>(Src, Dst); break;
    case vxlEat: PerChannel<vxlEat>(Src, Dst); break;
    case vxlSubtractive: PerChannel<vxlSubtractive>(Src, Dst); break;
    case vxlInterpolation: PerChannel<vxlInterpolation>(Src, Dst); break;
    case vxlStamp: PerChannel<vxlStamp>(Src, Dst); break;
    case vxlRed: Dst->r = Src->r; break;
    case vxlGreen: Dst->g = Src->g; break;
    case vxlBlue: Dst->b = Src->b; break;
    case vxlHue: HSLRecombine(Src, Dst, HSLPart::Hue); break;
    case vxlSaturation: HSLRecombine(Src, Dst, HSLPart::Saturation); break;
    case vxlColor: HSLRecombine(Src, Dst, HSLPart::Color); break;
    case vxlLuminosity: HSLRecombine(Src, Dst, HSLPart::Luminosity); break;
    case vxlStereoBW: {
      const uint8_t left = Grey(Dst), right = Grey(Src);
      Dst->r = left;
      Dst->g = right;
      Dst->b = right;
      break;
    }
    case vxlStereoColor:
      Dst->g = Src->g;
      Dst->b = Src->b;
      break;
    case vxlStereoColorDubois: Dubois(Src, Dst); break;
    case vxlStereoEven:
      if (Row % 2 == 0) *Dst = *Src;
      break;
    case vxlStereoOdd:
      if (Row % 2 != 0) *Dst = *Src;
      break;
    case vxlLuminosity2: {
      int32_t sy, scb, scr, dy, dcb, dcr;
      VXRGBToYCbCr(sy, scb, scr, *Src);
      VXRGBToYCbCr(dy, dcb, dcr, *Dst);
      *Dst = VXYCbCrToRGB(sy, dcb, dcr);
      break;
    }
    default: break;
  }
}

void VXBlendPixelCopies(TRGB* Src, TRGB* Dst, TVXRenderOperation Op, int32_t Row) {
  TRGB s = *Src, d = *Dst;
  VXBlendPixels(&s, &d, Op, Row);
  *Src = s;
  *Dst = d;
}
