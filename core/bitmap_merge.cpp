// MergeWithAlpha: one image drawn over another by a render operation with
// alpha compositing of both channels.

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/bitmap.h"
#include "core/resample_hook.h"

namespace {
inline uint8_t RoundByte(double v) {
  const double r = std::nearbyint(v);
  return r <= 0 ? 0 : (r >= 255 ? 255 : uint8_t(r));
}
}  // namespace

void TVXBitmap::MergeWithAlpha(TVXBitmap* Bitmap, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                               int32_t Transparency, TResampleFilter ResampleFilter, TVXRenderOperation Operation,
                               bool Resample, int32_t SrcX, int32_t SrcY, double Opacity) {
  if (!Bitmap || Bitmap->IsEmpty() || IsEmpty() || PixelFormat() != vx24RGB) return;
  const TVXPixelFormat sf = Bitmap->PixelFormat();
  if (sf != vx24RGB && sf != vx32RGB) return;
  if (DstWidth == -1) DstWidth = Bitmap->Width();
  if (DstHeight == -1) DstHeight = Bitmap->Height();

  // A resampled temporary, or a copy when the source is this bitmap.
  std::unique_ptr<TVXBitmap> temp;
  TVXBitmap* src = Bitmap;
  if (Resample && (DstWidth != Bitmap->Width() || DstHeight != Bitmap->Height())) {
    if (DstWidth <= 0 || DstHeight <= 0) return;
    temp = std::make_unique<TVXBitmap>();
    if (!temp->Allocate(DstWidth, DstHeight, sf)) throw EVXException("Not enough memory to merge the image");
    VXHookResampleBitmap(Bitmap, temp.get(), ResampleFilter);
    src = temp.get();
  } else if (Bitmap == this) {
    temp = std::make_unique<TVXBitmap>(Bitmap);
    src = temp.get();
  }
  if (src->PixelFormat() != vx24RGB && src->PixelFormat() != vx32RGB) return;
  const bool is32 = src->PixelFormat() == vx32RGB;

  int64_t shiftX = 0, shiftY = 0, dx = DstX, dy = DstY;
  if (dx < 0) {
    shiftX = -dx;
    dx = 0;
  }
  if (dy < 0) {
    shiftY = -dy;
    dy = 0;
  }
  // Covered columns dx..xEnd-1 and rows dy..yEnd-1, kept inside the source.
  const int64_t offX = shiftX + SrcX - dx, offY = shiftY + SrcY - dy;  // source = destination + offset
  const int64_t xStart = std::max<int64_t>(dx, -offX), yStart = std::max<int64_t>(dy, -offY);
  const int64_t xEnd = std::min({int64_t(Width()), int64_t(DstWidth) + dx - shiftX, src->Width() - offX});
  const int64_t yEnd = std::min({int64_t(Height()), int64_t(DstHeight) + dy - shiftY, src->Height() - offY});
  TVXBitmap* dstAlpha = AlphaChannel();
  if (!dstAlpha || xStart >= xEnd || yStart >= yEnd) return;
  TVXBitmap* srcAlpha = is32 ? nullptr : src->AlphaChannelOpt();

  for (int64_t y = yStart; y < yEnd; ++y) {
    const int32_t sy = int32_t(y + offY);
    TRGB* d = static_cast<TRGB*>(ScanLine(int32_t(y)));
    uint8_t* da = static_cast<uint8_t*>(dstAlpha->ScanLine(int32_t(y)));
    const uint8_t* s = static_cast<const uint8_t*>(src->ScanLine(sy));
    const uint8_t* sa = srcAlpha ? static_cast<const uint8_t*>(srcAlpha->ScanLine(sy)) : nullptr;
    if (!d || !da || !s) continue;
    for (int64_t x = xStart; x < xEnd; ++x) {
      const int64_t sx = x + offX;
      TRGB sp;
      int32_t a;
      TRGB t = d[x];
      if (is32) {
        const uint8_t* p = s + 4 * sx;
        sp = TRGB{p[0], p[1], p[2]};
        a = p[3];
        VXBlendPixelCopies(&sp, &t, Operation, int32_t(y));
      } else {
        const uint8_t* p = s + 3 * sx;
        sp = TRGB{p[0], p[1], p[2]};
        a = sa ? sa[sx] : 255;
        VXBlendPixels(&sp, &t, Operation, int32_t(y));
      }
      const double g = std::min(a, Transparency);
      const double c = da[x];
      const double h = Opacity * g / 255;
      const double l = (1 - h) * c / 255;
      const double m = h + l;
      if (m != 0) {
        const TRGB dp = d[x];
        d[x] = TRGB{RoundByte((h * t.b + l * dp.b) / m), RoundByte((h * t.g + l * dp.g) / m),
                    RoundByte((h * t.r + l * dp.r) / m)};
      } else {
        d[x] = t;
      }
      da[x] = RoundByte(m * 255);
    }
  }
  dstAlpha->SetFull(false);
}
