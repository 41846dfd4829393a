// Key colour guess, chroma keying with spill suppression, transparent colour
// boxes.

#include "proc/chromakey.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "core/bitmap.h"
#include "proc/cleaning.h"
#include "proc/colors.h"
#include "proc/tone.h"
#include "winui/win_types.h"

void VXChromaOf(TRGB c, double& Cb, double& Cr) {
  const double R = c.r, G = c.g, B = c.b;
  Cb = -0.000661725490196 * R - 0.00129905882353 * G + 0.00196078431373 * B + 0.5;
  Cr = 0.00196078431373 * R - 0.00164192156863 * G - 0.000318862745098 * B + 0.5;
}

void VXGuessChromaKeyColor(TVXBitmap* Bitmap, TRGB& Color) {
  Color = TRGB{0, 0, 0};
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TVXBitmap* b = Bitmap;
  std::unique_ptr<TVXBitmap> copy;
  if (b->PixelFormat() != vx24RGB) {
    copy = std::make_unique<TVXBitmap>(Bitmap);
    copy->SetPixelFormat(vx24RGB);
    b = copy.get();
  }
  // Corners in per cent of the width (x) and the height (y).
  static const int32_t regions[5][4] = {
      {3, 3, 13, 13}, {87, 3, 97, 13}, {3, 87, 97, 97}, {87, 87, 97, 97}, {45, 45, 55, 55}};
  const int32_t w = b->Width(), h = b->Height();
  // On small images the corners may meet or pass the edge: each region is
  // cut to the image and keeps at least one pixel (an empty one would sample
  // nothing and report no spread at all).
  auto cut = [](int32_t lo, int32_t hi, int32_t size, int32_t& a, int32_t& z) {
    a = std::clamp(lo, 0, size - 1);
    z = std::max(std::min(hi, size), a + 1);
  };
  int32_t best = INT_MAX;
  for (const auto& r : regions) {
    int32_t x1, y1, x2, y2;
    cut(MulDiv(r[0], w, 100), MulDiv(r[2], w, 100), w, x1, x2);
    cut(MulDiv(r[1], h, 100), MulDiv(r[3], h, 100), h, y1, y2);
    TRGB mean;
    int32_t spread;
    VXSampleAverageRGB(b, x1, y1, x2, y2, 225, mean, spread);
    if (spread < best) {
      best = spread;
      Color = mean;
    }
  }
}

void VXDoRemoveChromaKey(TVXBitmap* Bitmap, int32_t Saturation, int32_t FeatherEdges, void* Sender,
                         const TVXProgressEvent& OnProgress, bool RemoveNoise, int32_t HueReduction, double Tolerance,
                         int32_t KeyColor) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const bool oneBit = Bitmap->PixelFormat() == vx1g;
  if (oneBit)
    Bitmap->SetPixelFormat(vx24RGB);
  else if (Bitmap->PixelFormat() != vx24RGB)
    return;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha) return;

  const double T = Tolerance / 3;
  const TRGB key = VXUnpackRGB(KeyColor);
  if (key == TRGB{255, 255, 255}) Saturation = 0;
  double Cbk, Crk;
  VXChromaOf(key, Cbk, Crk);
  int32_t Hk, Sk, Vk;
  VXRGBToHSV(key, Hk, Sk, Vk);
  int32_t e = 2, f = 3;
  switch (HueReduction) {
    case 1: e = 8, f = 1; break;
    case 2: e = 4, f = 1; break;
    case 3: e = 2, f = 1; break;
    case 4: e = 2, f = 2; break;
    default: break;
  }

  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  for (int32_t y = 0; y < h; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetRow(y));
    uint8_t* a = static_cast<uint8_t*>(alpha->GetRow(y));
    for (int32_t x = 0; x < w; ++x) {
      double Cb, Cr;
      VXChromaOf(p[x], Cb, Cr);
      const double db = Cb - Cbk, dr = Cr - Crk;
      const double dist = std::sqrt(db * db / 2 + dr * dr / 2);
      int32_t H, S, V;
      VXRGBToHSV(p[x], H, S, V);
      const double l = std::min(1.0, 1 - std::abs(H - Hk) / 180.0);
      if (dist <= T && S >= Saturation) {
        p[x] = TRGB{0, 0, 0};
        a[x] = 0;
      } else {
        a[x] = 255;
        if (HueReduction > 0 && l > 0) p[x] = VXHSVToRGB(H, S - int32_t(std::pow(l, e) * S * f), V);
      }
    }
    alpha->FreeRow(y);
    Bitmap->FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(double(y) / h * 100));
  }
  alpha->SetFull(false);
  if (RemoveNoise) VXDoRemoveNoise(alpha, false, false, false, 6, 6);
  if (FeatherEdges > 0) Bitmap->FeatherAlphaEdges(FeatherEdges);
  // Keyed pixels are black and kept ones keep their black or white, so the
  // way back to one bit loses nothing.
  if (oneBit) Bitmap->SetPixelFormat(vx1g);
}

void VXDoSetTransparentColors(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                              const TVXProgressEvent& OnProgress, int32_t Alpha, int32_t MaxColor, int32_t MinColor) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx24RGB && fmt != vx1g) return;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width()), y2 = std::min(y2, Bitmap->Height());
  if (x2 <= x1 || y2 <= y1) return;
  const TRGB lo = VXUnpackRGB(MinColor), hi = VXUnpackRGB(MaxColor);
  const bool whiteOnes = lo.r != 0;
  const uint8_t value = uint8_t(std::clamp(Alpha, 0, 255));
  TVXBitmap* alpha = Bitmap->AlphaChannelOpt();
  const double rows = y2 - y1;
  for (int32_t y = y1; y < y2; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = x1; x < x2; ++x) {
      bool hit;
      if (fmt == vx24RGB) {
        const uint8_t* p = row + 3 * size_t(x);
        hit = p[0] >= lo.b && p[0] <= hi.b && p[1] >= lo.g && p[1] <= hi.g && p[2] >= lo.r && p[2] <= hi.r;
      } else {
        hit = bool(row[x >> 3] & (0x80 >> (x & 7))) == whiteOnes;
      }
      if (!hit) continue;
      if (!alpha) alpha = Bitmap->AlphaChannel();
      if (!alpha) {
        Bitmap->FreeRow(y);
        return;
      }
      static_cast<uint8_t*>(alpha->ScanLine(y))[x] = value;
    }
    Bitmap->FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(double(y - y1 + 1) * 100 / (rows - 1 + 0.5)));
  }
  if (alpha) alpha->SyncFull();
}
