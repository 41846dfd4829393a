// TVXBitmap: flip, rotation and resampling entries, the image tests (all
// black, grey scale) and the content hash.

#include <cmath>
#include <cstring>
#include <memory>

#include "core/bitmap.h"
#include "core/resample_hook.h"
#include "core/rotate.h"
#include "core/streams.h"

void TVXBitmap::Flip(TFlipDir Dir) { VXFlipBitmap(this, Dir); }

void TVXBitmap::Rotate(double Angle, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor) {
  RotateEx(Angle, AntiAliasMode, BackgroundColor, nullptr, nullptr);
}

void TVXBitmap::Rotate(double Angle, bool AntiAlias, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor) {
  RotateEx(Angle, AntiAlias ? AntiAliasMode : vxrNone, BackgroundColor, nullptr, nullptr);
}

void TVXBitmap::RotateEx(double Angle, TVXAntialiasMode AntialiasMode, TColor BackgroundColor,
                         const TVXProgressEvent& OnProgress, void* Sender) {
  std::unique_ptr<TVXBitmap> alpha;
  if (fAlphaChannel) alpha = std::make_unique<TVXBitmap>(fAlphaChannel.get());
  const bool wholeQuarter = std::trunc(Angle) == Angle && std::fmod(Angle, 90.0) == 0;
  if (AntialiasMode == vxrNone || (fPixelFormat != vx24RGB && fPixelFormat != vx1g)) {
    if (alpha) VXRotateNearest(alpha.get(), 0, nullptr, nullptr, Angle);
    VXRotateNearest(this, double(BackgroundColor), Sender, OnProgress, Angle);
  } else if (wholeQuarter || AntialiasMode == vxrFast || fPixelFormat == vx1g) {
    if (alpha) {
      if (fPixelFormat == vx1g)
        VXRotateNearest8(alpha.get(), 0, Angle);
      else
        VXRotateShear8(alpha.get(), true, 0, nullptr, nullptr, Angle);
    }
    VXRotateShear24(this, true, Sender, OnProgress, VXColorToTRGB(BackgroundColor), Angle);
  } else {
    if (alpha) VXRotateAntialias8(alpha.get(), 0, AntialiasMode, Angle);
    VXRotateAntialias24(this, BackgroundColor, AntialiasMode, Sender, OnProgress, Angle);
  }
  if (alpha) (void)SetAlphaChannel(std::move(alpha));
}

void TVXBitmap::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter FilterType,
                         bool bMaintainAspectRatio) {
  if (IsEmpty() || (NewWidth == fWidth && NewHeight == fHeight)) return;
  VXCalcResampleSize(NewWidth, NewHeight, fWidth, fHeight, bMaintainAspectRatio);
  VXHookResampleInPlace(this, NewWidth, NewHeight, FilterType);
}

bool TVXBitmap::IsAllBlack() {
  if (IsEmpty()) return true;
  const size_t used = (size_t(fWidth) * size_t(fBitCount) + 7) / 8;
  for (int32_t y = 0; y < fHeight; ++y) {
    const uint8_t* r = static_cast<const uint8_t*>(GetRow(y));
    bool black = true;
    for (size_t i = 0; i < used && black; ++i) black = r[i] == 0;
    FreeRow(y);
    if (!black) return false;
  }
  return true;
}

bool TVXBitmap::IsGrayScale() {
  if (IsEmpty()) return true;
  switch (fPixelFormat) {
    case vx8p: {
      const TRGB* p = GetPaletteBuffer();
      for (int32_t i = 0, n = p ? GetPaletteLength() : 0; i < n; ++i)
        if (p[i].r != p[i].g || p[i].g != p[i].b) return false;
      return true;
    }
    case vx24RGB:
    case vx32RGB:
    case vx48RGB: {
      const int32_t step = fBitCount / 8;
      for (int32_t y = 0; y < fHeight; ++y) {
        const uint8_t* r = static_cast<const uint8_t*>(GetRow(y));
        bool grey = true;
        for (int32_t x = 0; x < fWidth && grey; ++x, r += step) {
          if (fPixelFormat == vx48RGB) {
            grey = std::memcmp(r, r + 2, 2) == 0 && std::memcmp(r + 2, r + 4, 2) == 0;
          } else {
            grey = r[0] == r[1] && r[1] == r[2];
          }
        }
        FreeRow(y);
        if (!grey) return false;
      }
      return true;
    }
    default:
      return true;
  }
}

std::string TVXBitmap::GetHash(uint32_t algorithm) {
  TVXHashStream hash(algorithm, false);
  if (!IsEmpty()) {
    for (int32_t y = fHeight - 1; y >= 0; --y) {
      hash.Write(GetRow(y), fRowLen);
      FreeRow(y);
    }
    if (fPixelFormat == vx8p && GetPaletteBuffer())
      hash.Write(GetPaletteBuffer(), int64_t(GetPaletteLength()) * 3);
  }
  return hash.GetHash();
}
