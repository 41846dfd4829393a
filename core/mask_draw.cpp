// TVXMask: drawing the selection on screen (inverted area, marching ants,
// the shaded outside) and copying platform bitmaps through it.
//
// The screen drawings stretch the mask rectangle onto a scratch bitmap of
// the destination's size in 14-bit fixed point: destination column c reads
// mask column xMask + ((sx * c) >> 14) with sx = Trunc(dxMask / dxDst *
// 16384), and likewise for rows.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "core/mask.h"
#include "gui/graphics.h"

namespace {

constexpr int32_t kFixedOne = 16384;

// The fixed-point scale of a mask extent onto a destination extent; 0 when
// either is empty or the zoom is beyond 16384:1.
int64_t Scale(int32_t dMask, int32_t dDst) {
  if (dMask < 1 || dDst < 1) return 0;
  return int64_t(double(dMask) / double(dDst) * kFixedOne);
}

inline bool BitSet(const uint8_t* row, int64_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }

inline bool Selected(const uint8_t* row, int32_t bpp, int64_t x) { return bpp == 1 ? BitSet(row, x) : row[x] != 0; }

}  // namespace

void VXStretchMaskRegion(int32_t Bitsperpixel, uint8_t* Scratch, int64_t ScratchRowlen, int32_t dxDst,
                         int32_t dyDst, int32_t xMask, int32_t yMask, int32_t dxMask, int32_t dyMask,
                         const uint8_t* MaskBits, int64_t MaskRowlen, int32_t MaskWidth, int32_t MaskHeight,
                         int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (dxDst < 1 || dyDst < 1 || !Scratch) return;
  std::memset(Scratch, 0, size_t(ScratchRowlen) * size_t(dyDst));
  if (Bitsperpixel != 1 && Bitsperpixel != 8) return;
  const int64_t sx = Scale(dxMask, dxDst), sy = Scale(dyMask, dyDst);
  if (sx == 0 || sy == 0 || !MaskBits || MaskWidth < 1 || MaskHeight < 1) return;
  const double rx = double(dxDst) / dxMask, ry = double(dyDst) / dyMask;
  const int64_t c0 = std::max<int64_t>(int64_t((double(X1) - xMask) * rx), 0);
  const int64_t c1 = std::min<int64_t>(int64_t((double(X2) - xMask + 1) * rx), dxDst - 1);
  const int64_t r0 = std::max<int64_t>(int64_t((double(Y1) - yMask) * ry), 0);
  const int64_t r1 = std::min<int64_t>(int64_t((double(Y2) - yMask + 1) * ry), dyDst - 1);
  if (c1 < c0 || r1 < r0) return;
  // The mask column of every scratch column, -1 outside the mask.
  std::vector<int64_t> column(size_t(c1 - c0 + 1));
  for (int64_t c = c0; c <= c1; ++c) {
    const int64_t mx = xMask + ((sx * c) >> 14);
    column[size_t(c - c0)] = mx >= 0 && mx < MaskWidth ? mx : -1;
  }
  for (int64_t r = r0; r <= r1; ++r) {
    const int64_t my = std::min<int64_t>(MaskHeight - 1, yMask + ((sy * r) >> 14));
    if (my < 0) continue;
    const uint8_t* src = MaskBits + size_t(MaskHeight - 1 - my) * size_t(MaskRowlen);
    uint8_t* dst = Scratch + size_t(dyDst - r - 1) * size_t(ScratchRowlen);
    if (Bitsperpixel == 1) {
      for (int64_t c = c0; c <= c1; ++c) {
        const int64_t mx = column[size_t(c - c0)];
        if (mx >= 0 && BitSet(src, mx)) dst[c >> 3] |= uint8_t(0x80 >> (c & 7));
      }
    } else {
      for (int64_t c = c0; c <= c1; ++c) {
        const int64_t mx = column[size_t(c - c0)];
        if (mx >= 0) dst[c] = src[mx];
      }
    }
  }
}

void TVXMask::FreeScratch() {
  fTmpBmp.reset();
  fTmpBmpWidth = fTmpBmpHeight = fTmpBmpDepth = 0;
  fTmpBmpRowlen = 0;
}

bool TVXMask::PrepareScratch(int32_t dxDst, int32_t dyDst, int32_t xMask, int32_t yMask, int32_t dxMask,
                             int32_t dyMask) {
  if (dxDst < 1 || dyDst < 1 || (fBitsperpixel != 1 && fBitsperpixel != 8)) return false;
  if (!fTmpBmp || dxDst != fTmpBmpWidth || dyDst != fTmpBmpHeight || fBitsperpixel != fTmpBmpDepth) {
    FreeScratch();
    const int64_t rowlen = ((int64_t(dxDst) * fBitsperpixel + 31) / 32) * 4;
    fTmpBmp.reset(new (std::nothrow) uint8_t[size_t(rowlen) * size_t(dyDst)]);
    if (!fTmpBmp) return false;
    fTmpBmpWidth = dxDst;
    fTmpBmpHeight = dyDst;
    fTmpBmpDepth = fBitsperpixel;
    fTmpBmpRowlen = rowlen;
  }
  const uint8_t* bits = Bits();
  if (!bits) return false;
  VXStretchMaskRegion(fBitsperpixel, fTmpBmp.get(), fTmpBmpRowlen, dxDst, dyDst, xMask, yMask, dxMask, dyMask, bits,
                      fRowlen, fWidth, fHeight, fX1, fY1, fX2, fY2);
  return true;
}

void TVXMask::InvertCanvas(TCanvas* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xMask,
                           int32_t yMask, int32_t dxMask, int32_t dyMask) {
  if (!Dest || fBitsperpixel != 1 || fX1 == EmptyBox || fY1 == EmptyBox) return;
  const uint8_t* bits = Bits();
  if (!bits) return;
  // A 1-bit header with its two colours: black (unselected), white.
  alignas(BITMAPINFO) uint8_t info[sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD)] = {};
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info);
  bmi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi->bmiHeader.biWidth = fWidth;
  bmi->bmiHeader.biHeight = fHeight;
  bmi->bmiHeader.biPlanes = 1;
  bmi->bmiHeader.biBitCount = 1;
  bmi->bmiHeader.biCompression = BI_RGB;
  const RGBQUAD white{255, 255, 255, 0};
  std::memcpy(info + sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD), &white, sizeof white);
  StretchDIBits(Dest->Handle(), xDst, yDst, dxDst, dyDst, xMask, fHeight - dyMask - yMask, dxMask, dyMask, bits, bmi,
                DIB_RGB_COLORS, SRCINVERT);
}

void TVXMask::DrawOutline(TCanvas* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xMask,
                          int32_t yMask, int32_t dxMask, int32_t dyMask, int32_t AniCounter, TColor Color1,
                          TColor Color2, TRect* actualRect) {
  if (!Dest || dxDst < 1 || dyDst < 1 || IsEmpty()) return;
  const int64_t sx = Scale(dxMask, dxDst), sy = Scale(dyMask, dyDst);
  if (sx == 0 || sy == 0) return;
  const COLORREF c1 = VXColorToRGB(Color1), c2 = VXColorToRGB(Color2);
  if (!PrepareScratch(dxDst, dyDst, xMask, yMask, dxMask, dyMask)) return;

  const int64_t y0 = std::max<int64_t>((int64_t(fY1 - int64_t(yMask)) * kFixedOne) / sy, 0);
  const int64_t y1 = std::min<int64_t>((int64_t(fY2 - int64_t(yMask) + 1) * kFixedOne) / sy + 1, dyDst - 1);
  const int64_t x0 = std::max<int64_t>((int64_t(fX1 - int64_t(xMask)) * kFixedOne) / sx, 0);
  const int64_t x1 = std::min<int64_t>((int64_t(fX2 - int64_t(xMask) + 1) * kFixedOne) / sx + 1, dxDst - 1);
  if (actualRect)
    *actualRect = TRect{int32_t(xDst + x0 + 1), int32_t(yDst + y0 + 1), int32_t(xDst + x1 - 1), int32_t(yDst + y1 - 1)};
  Dest->Pen()->SetStyle(psSolid);
  Dest->Pen()->SetMode(pmCopy);
  if (!fDrawPixelBitmap) fDrawPixelBitmap = std::make_unique<TBitmap>(1, 1, pf24bit);
  const int32_t bpp = fBitsperpixel;
  const bool lastColumnIsEdge = xMask + ((x1 * sx) >> 14) >= fX2 || dxMask == fWidth;
  const bool lastRowIsEdge = yMask + ((y1 * sy) >> 14) >= fY2 || dyMask == fHeight;
  for (int64_t i = y0; i <= y1; ++i) {
    const uint8_t* row = ScratchRow(int32_t(i));
    const uint8_t* above = ScratchRow(int32_t(std::max<int64_t>(i - 1, 0)));
    const uint8_t* below = ScratchRow(int32_t(std::min<int64_t>(i + 1, dyDst - 1)));
    for (int64_t j = x0; j <= x1; ++j) {
      if (!Selected(row, bpp, j)) continue;
      bool draw;
      if (j == 0)
        draw = xMask <= fX1;
      else if (j == x1)
        draw = lastColumnIsEdge;
      else if (i == 0)
        draw = yMask <= fY1;
      else if (i == y1)
        draw = lastRowIsEdge;
      else
        draw = !Selected(above, bpp, j - 1) || !Selected(above, bpp, j) || !Selected(above, bpp, j + 1) ||
               !Selected(row, bpp, j - 1) || !Selected(row, bpp, j + 1) || !Selected(below, bpp, j - 1) ||
               !Selected(below, bpp, j) || !Selected(below, bpp, j + 1);
      if (!draw) continue;
      const int64_t phase = (int64_t(xDst) + j + yDst + i + AniCounter) & 7;
      const COLORREF c = phase < 4 ? c2 : c1;
      auto* px = static_cast<uint8_t*>(fDrawPixelBitmap->ScanLine(0));
      px[0] = uint8_t(c >> 16);
      px[1] = uint8_t(c >> 8);
      px[2] = uint8_t(c);
      Dest->Draw(int32_t(xDst + j), int32_t(yDst + i), fDrawPixelBitmap.get());
    }
  }
}

void TVXMask::DrawOuter(TBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xMask,
                        int32_t yMask, int32_t dxMask, int32_t dyMask, int32_t AlphaBlend, TColor Color) {
  if (!Dest || Dest->PixelFormat() != pf24bit || dxDst < 1 || dyDst < 1 || IsEmpty()) return;
  if (Scale(dxMask, dxDst) == 0 || Scale(dyMask, dyDst) == 0) return;
  // A destination that starts above or left of the bitmap starts the mask
  // rectangle further in, at the same scale.
  auto fold = [](int32_t& dst, int32_t& ddst, int32_t& m, int32_t& dm) {
    if (dst >= 0) return;
    const int64_t k = std::llrint(double(dst) * dm / ddst);
    ddst = int32_t(std::min<int64_t>(int64_t(ddst) - dst, INT32_MAX));
    dm = int32_t(std::min<int64_t>(int64_t(dm) - k, INT32_MAX));
    m = int32_t(std::clamp<int64_t>(int64_t(m) - k, INT32_MIN, INT32_MAX));
    dst = 0;
  };
  fold(yDst, dyDst, yMask, dyMask);
  fold(xDst, dxDst, xMask, dxMask);
  const int64_t sx = Scale(dxMask, dxDst), sy = Scale(dyMask, dyDst);
  if (sx == 0 || sy == 0) return;
  if (!PrepareScratch(dxDst, dyDst, xMask, yMask, dxMask, dyMask)) return;

  const int64_t DestW = Dest->Width(), DestH = Dest->Height();
  const int64_t i0 = std::max<int64_t>((-int64_t(yMask) * kFixedOne) / sy, 0);
  const int64_t i1 = std::min<int64_t>({((int64_t(fHeight) - yMask) * kFixedOne) / sy + 1, dyDst - 1, DestH - 1});
  const int64_t j0 = std::max<int64_t>((-int64_t(xMask) * kFixedOne) / sx, 0);
  const int64_t j1 = std::min<int64_t>({((int64_t(fWidth) - xMask) * kFixedOne) / sx + 1, dxDst - 1, DestW - 1});
  const COLORREF c = VXColorToRGB(Color);
  const double a = AlphaBlend / 255.0;
  const double colour[3] = {double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF)};  // b, g, r
  const int32_t bpp = fBitsperpixel;
  for (int64_t i = i0; i <= i1; ++i) {
    const int64_t y = yDst + i;
    if (y >= DestH) break;
    const uint8_t* row = ScratchRow(int32_t(i));
    auto* out = static_cast<uint8_t*>(Dest->ScanLine(int32_t(y)));
    for (int64_t j = j0; j <= j1; ++j) {
      const int64_t x = xDst + j;
      if (x >= DestW) break;
      if (Selected(row, bpp, j)) continue;
      uint8_t* p = out + size_t(x) * 3;
      if (AlphaBlend == -1) {
        if (((i + j) & 1) == 0) p[0] = p[1] = p[2] = 97;
        continue;
      }
      for (int k = 0; k < 3; ++k)
        p[k] = uint8_t(std::clamp<int64_t>(int64_t(a * colour[k] + (1 - a) * p[k]), 0, 255));
    }
  }
}

void TVXMask::CopyBitmap(TBitmap* Dest, TBitmap* Source, bool dstonlymask, bool srconlymask) {
  if (!Dest || !Source || Dest == Source || IsEmpty() || fX2 < fX1 || fY2 < fY1) return;
  if (fBitsperpixel != 1 && fBitsperpixel != 8) return;
  const TPixelFormat pf = Dest->PixelFormat();
  if (pf != Source->PixelFormat() || (pf != pf24bit && pf != pf1bit)) return;
  const uint8_t* bits = Bits();
  if (!bits) return;
  const int64_t dox = dstonlymask ? fX1 : 0, doy = dstonlymask ? fY1 : 0;
  const int64_t sox = srconlymask ? fX1 : 0, soy = srconlymask ? fY1 : 0;
  // The box, cut to the mask and to both bitmaps.
  const int64_t x1 = std::max<int64_t>({fX1, 0, dox, sox});
  const int64_t y1 = std::max<int64_t>({fY1, 0, doy, soy});
  const int64_t x2 = std::min<int64_t>({fX2, int64_t(fWidth) - 1, Dest->Width() - 1 + dox, Source->Width() - 1 + sox});
  const int64_t y2 =
      std::min<int64_t>({fY2, int64_t(fHeight) - 1, Dest->Height() - 1 + doy, Source->Height() - 1 + soy});
  if (x2 < x1 || y2 < y1) return;
  for (int64_t y = y1; y <= y2; ++y) {
    const uint8_t* m = bits + size_t(fHeight - 1 - y) * size_t(fRowlen);
    auto* d = static_cast<uint8_t*>(Dest->ScanLine(int32_t(y - doy)));
    const auto* s = static_cast<const uint8_t*>(Source->ScanLine(int32_t(y - soy)));
    for (int64_t x = x1; x <= x2; ++x) {
      const int32_t v = fBitsperpixel == 8 ? m[x] : (BitSet(m, x) ? 255 : 0);
      if (v == 0) continue;
      const int64_t dx = x - dox, sx = x - sox;
      if (pf == pf24bit) {
        uint8_t* dp = d + size_t(dx) * 3;
        const uint8_t* sp = s + size_t(sx) * 3;
        if (fBitsperpixel == 1) {
          std::memcpy(dp, sp, 3);
        } else {
          for (int k = 0; k < 3; ++k) dp[k] = uint8_t(dp[k] + ((int32_t(sp[k]) - int32_t(dp[k])) * v >> 8));
        }
      } else {
        const uint8_t bit = uint8_t(0x80 >> (dx & 7));
        if (BitSet(s, sx))
          d[dx >> 3] |= bit;
        else
          d[dx >> 3] &= uint8_t(~bit);
      }
    }
  }
}
