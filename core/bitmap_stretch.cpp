// StretchRectTo: a rectangle of a 24-bit or 1-bit bitmap copied into a
// rectangle of a 24-bit bitmap, its weights going to the destination's alpha.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/render_internal.h"
#include "core/resample_hook.h"

namespace {

constexpr int32_t kOne = 16384;

inline uint8_t WeightByte(double v) { return v >= 255 ? 255 : (v > 0 ? uint8_t(int32_t(v)) : 0); }

// Drops the parts of the source rectangle outside 0..size-1 and the matching
// parts of the destination rectangle. False when nothing remains.
bool ClipSource(int64_t& dst, int64_t& dDst, int64_t& src, int64_t& dSrc, int64_t size) {
  if (dDst <= 0 || dSrc <= 0) return false;
  const double r = double(dSrc) / double(dDst);
  if (src < 0) {
    const int64_t k = -src, c = int64_t(std::nearbyint(double(k) / r));
    dst += c;
    dDst -= c;
    dSrc -= k;
    src = 0;
  }
  if (src + dSrc > size) {
    const int64_t e = src + dSrc - size;
    dSrc -= e;
    dDst -= int64_t(double(e) / r);
  }
  return dDst > 0 && dSrc > 0 && src < size;
}

}  // namespace

void TVXBitmap::StretchRectTo(TVXBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                              int32_t ySrc, int32_t dxSrc, int32_t dySrc, TResampleFilter Filter, int32_t Transparency,
                              double Opacity) {
  if (Dest && IsEmpty()) return;
  if (!vxrender::UsableDestination("StretchRectTo", Dest)) return;
  vxrender::TClipRects clip{xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc};
  auto& [xd, yd, dxd, dyd, xs, ys, dxs, dys] = clip;
  if (!ClipSource(xd, dxd, xs, dxs, Width()) || !ClipSource(yd, dyd, ys, dys, Height())) return;
  if (xd > INT32_MAX || yd > INT32_MAX) return;
  clip.Narrow(xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc);

  // Filtered path.
  if (Filter != rfNone && (dxDst != dxSrc || dyDst != dySrc)) {
    if (dxDst <= dxSrc && PixelFormat() == vx1g && !HasAlphaChannel()) {
      TVXBitmap grey;
      if (!grey.Allocate(dxDst, dyDst, vx24RGB)) throw EVXException("Not enough memory to stretch the image");
      VXHookStretch1BitAveraged(this, xSrc, ySrc, xSrc + dxSrc - 1, ySrc + dySrc - 1, &grey);
      grey.StretchRectTo(Dest, xDst, yDst, dxDst, dyDst, 0, 0, dxDst, dyDst, rfNone, Transparency, Opacity);
      return;
    }
    TVXBitmap sized;
    vxrender::ResampleRect(this, xSrc, ySrc, dxSrc, dySrc, true, Filter, dxDst, dyDst, vx24RGB, sized);
    sized.StretchRectTo(Dest, xDst, yDst, dxDst, dyDst, 0, 0, dxDst, dyDst, rfNone, Transparency, Opacity);
    return;
  }

  // Direct path.
  const int32_t yRatio = int32_t(double(dySrc) / double(dyDst) * kOne);
  const int32_t xRatio = int32_t(double(dxSrc) / double(dxDst) * kOne);
  const int32_t x1 = std::max(xDst, 0), y1 = std::max(yDst, 0);
  const int32_t x2 = int32_t(std::min<int64_t>(int64_t(xDst) + dxDst - 1, Dest->Width() - 1));
  const int32_t y2 = int32_t(std::min<int64_t>(int64_t(yDst) + dyDst - 1, Dest->Height() - 1));
  if (x2 < x1 || y2 < y1) return;
  TVXBitmap* srcAlpha = AlphaChannelOpt();
  const bool useAlpha = srcAlpha && !srcAlpha->Full();
  const bool oneToOne = xRatio == kOne && yRatio == kOne;
  std::vector<int32_t> cols, rows;
  if (!oneToOne || PixelFormat() == vx1g || useAlpha) {
    cols.resize(size_t(x2 - x1 + 1));
    rows.resize(size_t(y2 - y1 + 1));
    for (int32_t x = x1; x <= x2; ++x) cols[size_t(x - x1)] = int32_t(((int64_t(x) - xDst) * xRatio >> 14) + xSrc);
    for (int32_t y = y1; y <= y2; ++y) rows[size_t(y - y1)] = int32_t(((int64_t(y) - yDst) * yRatio >> 14) + ySrc);
  }
  const int32_t n = x2 - x1 + 1;
  const int32_t sx0 = x1 - xDst + xSrc;
  try {
    TVXBitmap* dstAlpha = Dest->AlphaChannel();
    if (dstAlpha) {
      uint8_t weight[256];
      for (int32_t a = 0; a < 256; ++a) weight[a] = WeightByte(double(std::min(Transparency, a)) * Opacity);
      const uint8_t fill = WeightByte(double(Transparency) * Opacity);
      for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* row = static_cast<uint8_t*>(dstAlpha->ScanLine(y));
        if (!row) continue;
        uint8_t* d = row + x1;
        if (!useAlpha) {
          std::memset(d, fill, size_t(n));
          continue;
        }
        const uint8_t* s = static_cast<const uint8_t*>(srcAlpha->ScanLine(oneToOne ? y - yDst + ySrc : rows[size_t(y - y1)]));
        if (!s) continue;
        for (int32_t i = 0; i < n; ++i) d[i] = weight[s[oneToOne ? sx0 + i : cols[size_t(i)]]];
      }
      dstAlpha->SetFull(false);
    }
    if (PixelFormat() == vx24RGB) {
      for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* d = static_cast<uint8_t*>(Dest->ScanLine(y)) + 3 * size_t(x1);
        if (oneToOne) {
          const void* s = GetSegment(y - yDst + ySrc, sx0, n);
          if (s) std::memcpy(d, s, size_t(n) * 3);
          continue;
        }
        const uint8_t* s = static_cast<const uint8_t*>(ScanLine(rows[size_t(y - y1)]));
        if (!s) continue;
        for (int32_t i = 0; i < n; ++i) std::memcpy(d + 3 * size_t(i), s + 3 * size_t(cols[size_t(i)]), 3);
      }
    } else if (PixelFormat() == vx1g) {
      for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* d = static_cast<uint8_t*>(Dest->ScanLine(y)) + 3 * size_t(x1);
        const uint8_t* s = static_cast<const uint8_t*>(ScanLine(rows[size_t(y - y1)]));
        if (!s) continue;
        for (int32_t i = 0; i < n; ++i) {
          const int32_t sx = cols[size_t(i)];
          std::memset(d + 3 * size_t(i), (s[sx >> 3] >> (7 - (sx & 7))) & 1 ? 255 : 0, 3);
        }
      }
    }
  } catch (...) {
    // A failing row access leaves what was copied.
  }
}
