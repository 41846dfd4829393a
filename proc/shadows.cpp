// Soft and inner shadows made from the alpha channel.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "core/bitmap.h"
#include "core/gaussblur.h"
#include "proc/filters.h"

namespace {

struct Rgb {
  int32_t r, g, b;
};

Rgb Unpack(uint32_t c) { return Rgb{int32_t((c >> 16) & 255), int32_t((c >> 8) & 255), int32_t(c & 255)}; }

// The compositing rule of one pixel: a0 the original alpha, a1 the shadow's.
// DivideOneBit: whether a vx1g shadow pixel's alpha is divided by D too.
void Composite(TVXBitmap* b, TVXBitmap* alpha, TVXBitmap* A0, TVXBitmap* A1, int32_t x1, int32_t y1, int32_t x2,
               int32_t y2, Rgb S, double D, bool DivideOneBit) {
  const TVXPixelFormat fmt = b->PixelFormat();
  if (fmt != vx24RGB && fmt != vx1g) return;
  for (int32_t y = y1; y <= y2; ++y)
    for (int32_t x = x1; x <= x2; ++x) {
      const int32_t a0 = A0->Pixels_vx8(x, y), a1 = A1->Pixels_vx8(x, y);
      if (a0 == 0 && a1 == 0) {
        alpha->SetPixels_vx8(x, y, 0);
      } else if (a0 == 0) {
        if (fmt == vx24RGB)
          b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(S.b), uint8_t(S.g), uint8_t(S.r)});
        else
          b->SetPixels_vx1g(x, y, false);
        const bool divide = D != 1 && (fmt == vx24RGB || DivideOneBit);
        alpha->SetPixels_vx8(x, y, uint8_t(divide ? int32_t(a1 / D) : a1));
      } else if (a0 == 255 || fmt == vx1g) {
        alpha->SetPixels_vx8(x, y, uint8_t(a0));
      } else {
        const double e = a1 / 255.0, t = a0 / 255.0;
        const TRGB P = b->Pixels_vx24RGB(x, y);
        auto mix = [&](int32_t s, int32_t p) {
          const int32_t C = int32_t(s * e + (1 - e) * p);
          return uint8_t(int32_t(t * p + (1 - t) * C));
        };
        b->SetPixels_vx24RGB(x, y, TRGB{mix(S.b, P.b), mix(S.g, P.g), mix(S.r, P.r)});
        alpha->SetPixels_vx8(x, y, uint8_t(int32_t((t + e * (1 - t)) * 255)));
      }
    }
}

double IntensityDivisor(int32_t Intensity) { return 3 - 2 * std::clamp(Intensity, 0, 100) / 100.0; }

// Moves the whole channel by the offsets, the uncovered area 0.
void Shift(TVXBitmap* a, int32_t OffsetX, int32_t OffsetY) {
  if (OffsetX != 0 || OffsetY != 0) a->MoveRegion(0, 0, a->Width() - 1, a->Height() - 1, OffsetX, OffsetY, 0, true);
}

}  // namespace

int32_t VXSoftShadowMargin(int32_t OffsetX, int32_t OffsetY, double Radius) {
  const int64_t off = std::max(std::llabs(int64_t(OffsetX)), std::llabs(int64_t(OffsetY)));
  const double r = std::clamp(std::trunc(5 * Radius), -1e9, 1e9);
  return int32_t(std::clamp<int64_t>(std::max<int64_t>(2 * off + int64_t(r), 1), 1, 1 << 20));
}

void VXDoAddSoftShadow(TVXBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, void* Sender,
                       const TVXProgressEvent& OnProgress, uint32_t ShadowColor, bool AdaptSize, int32_t Intensity,
                       double Radius) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha) return;
  alpha->SetFull(false);
  if (AdaptSize) {
    const int32_t M = VXSoftShadowMargin(OffsetX, OffsetY, Radius);
    Bitmap->Resize(Bitmap->Width() + M, Bitmap->Height() + M, 0, 0, vxhCenter, vxvCenter);
    alpha = Bitmap->AlphaChannel();
  }
  TVXBitmap A0(alpha);
  VXDoGaussianBlur(alpha, Sender, OnProgress, Radius);
  Shift(alpha, OffsetX, OffsetY);
  TVXBitmap A1(alpha);
  Composite(Bitmap, alpha, &A0, &A1, 0, 0, Bitmap->Width() - 1, Bitmap->Height() - 1, Unpack(ShadowColor),
            IntensityDivisor(Intensity), true);
}

void VXDoAddInnerShadow(TVXBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, void* Sender,
                        const TVXProgressEvent& OnProgress, uint32_t ShadowColor, double Radius) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha) return;
  alpha->SetFull(false);
  const int32_t M = VXSoftShadowMargin(OffsetX, OffsetY, Radius);
  TVXBitmap copy(alpha);
  copy.Resize(copy.Width() + M, copy.Height() + M, 0, 0, vxhCenter, vxvCenter);
  VXDoGaussianBlur(&copy, Sender, OnProgress, Radius);
  Shift(&copy, OffsetX, OffsetY);
  if (Bitmap->PixelFormat() != vx24RGB) return;
  const Rgb S = Unpack(ShadowColor);
  const int32_t h = M / 2;
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    uint8_t* p = static_cast<uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < Bitmap->Width(); ++x) {
      const int32_t a = copy.Pixels_vx8(x + h, y + h);
      const int32_t s[3] = {S.b, S.g, S.r};
      for (int c = 0; c < 3; ++c) {
        const int32_t v = p[3 * x + c];
        p[3 * x + c] = uint8_t(v + ((s[c] - v) * (255 - a) * 1024 >> 18));
      }
    }
    Bitmap->FreeRow(y);
  }
}

int32_t VXAddSoftShadowRect(TVXBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, int32_t x1, int32_t y1, int32_t x2,
                            int32_t y2, uint32_t ShadowColor, int32_t Intensity, double Radius) {
  const int32_t M = VXSoftShadowMargin(OffsetX, OffsetY, Radius == 0 ? 2 : Radius);
  if (!Bitmap || Bitmap->IsEmpty()) return M;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha) return M;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height(), h = M / 2;
  alpha->SetFull(false);
  TVXBitmap A0(alpha);
  const int32_t bx1 = std::clamp(std::max(0, x1 - h), 0, W - 1), bx2 = std::clamp(std::min(x2 + h, W - 1), 0, W - 1);
  const int32_t by1 = std::clamp(std::max(0, y1 - h), 0, H - 1), by2 = std::clamp(std::min(y2 + h, H - 1), 0, H - 1);
  if (Radius == 0) {
    TGraphFilter box = *VXGetFilterPreset(1);
    VXApplyFilter3x3Gray(alpha, box, bx1, by1, bx2 + 1, by2 + 1);
  } else {
    VXGaussianBlurGray(alpha, bx1, by1, bx2, by2, Radius);
  }
  if (OffsetX != 0 || OffsetY != 0)
    alpha->MoveRegion(bx1, by1, bx2, by2, bx1 + OffsetX, by1 + OffsetY, 0, true);
  TVXBitmap A1(alpha);
  const int32_t cx1 = std::max(x1 - M, 0), cx2 = std::min(x2 + M, W - 1);
  const int32_t cy1 = std::max(y1 - M, 0), cy2 = std::min(y2 + M, H - 1);
  Composite(Bitmap, alpha, &A0, &A1, cx1, cy1, cx2, cy2, Unpack(ShadowColor), IntensityDivisor(Intensity), false);
  return M;
}
