// TVexlaneProc: rotation, flips, rotate-and-crop, deinterlacing and the
// transparent-border crop.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/rotate.h"
#include "platform/win_sound.h"
#include "proc/caption.h"
#include "proc/proc.h"

using vxproc::FormatCaption;

// ---------------------------------------------------------------------------
// Rotation and flips

void TVexlaneProc::Rotate(double Angle, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor) {
  if (Angle == 0) return;
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (fAutoUndo) SaveUndoCaptioned(FormatCaption("Rotate %.2f", Angle), vxuImage);
  if (BackgroundColor == -1) BackgroundColor = Background();
  fVXBitmap->RotateEx(Angle, AntiAliasMode, BackgroundColor, OnProgress, this);
  Update();
  DoFinishWork();
}

void TVexlaneProc::Rotate(double Angle, bool AntiAlias, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor) {
  Rotate(Angle, AntiAlias ? AntiAliasMode : vxrNone, BackgroundColor);
}

void TVexlaneProc::Flip(TFlipDir dir) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (fAutoUndo) SaveUndoCaptioned(FormatCaption("Flip %s", dir == fdHorizontal ? "H" : "V"), vxuImage);
  VXFlipBitmap(fVXBitmap, dir);
  Update();
  DoFinishWork();
}

// ---------------------------------------------------------------------------
// Rotate and crop

void TVexlaneProc::RotateAndCrop(double Angle, TVXAntialiasMode AntiAliasMode) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (fAutoUndo) SaveUndoCaptioned("RotateAndCrop", vxuImage);
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  // One undo entry for the whole operation: the rotation and the cut would
  // otherwise each push the intermediate image, and with a short history
  // Undo would bring back the rotated, uncut canvas instead of the original.
  const bool autoUndo = fAutoUndo;
  fAutoUndo = false;
  try {
    Rotate(Angle, AntiAliasMode, -1);
    const double a = std::fabs(Angle) * M_PI / 180;
    const double co = std::cos(a), si = std::sin(a);
    const int64_t n = int64_t(std::trunc(std::sqrt(double(w) * w + double(h) * h)));
    auto near = [](int64_t v, int32_t target) { return v >= int64_t(target) - 1 && v <= int64_t(target) + 1; };
    int32_t newWidth = 0, newHeight = 0;
    for (int64_t i = 1; i <= n && newWidth == 0; ++i)
      for (int64_t c = 1; c <= n; ++c) {
        if (near(int64_t(std::trunc(co * double(i) + si * double(c))), w) &&
            near(int64_t(std::trunc(co * double(c) + si * double(i))), h)) {
          newWidth = int32_t(i);
          newHeight = int32_t(c);
          break;
        }
      }
    ImageResize(newWidth, newHeight, vxhCenter, vxvCenter, 255);
  } catch (...) {
    fAutoUndo = autoUndo;
    throw;
  }
  fAutoUndo = autoUndo;
}

void TVexlaneProc::RotateAndCrop(double Angle, bool AntiAlias, TVXAntialiasMode AntiAliasMode) {
  RotateAndCrop(Angle, AntiAlias ? AntiAliasMode : vxrNone);
}

// ---------------------------------------------------------------------------
// Deinterlacing

void TVexlaneProc::Deinterlace(TVXDeinterlaceMode mode) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return;
  if (fAutoUndo) SaveUndoCaptioned("Deinterlace", vxuImage);
  TVXBitmap* b = fVXBitmap;
  const int32_t W = b->Width(), H = b->Height();
  if (mode == vxdDiscard) {
    const size_t bytes = size_t(W) * 3;
    for (int32_t r = H - 1; r > 1; r -= 2) {
      const uint8_t* src = static_cast<const uint8_t*>(b->GetRow(r));
      uint8_t* dst = static_cast<uint8_t*>(b->GetRow(r - 1));
      std::memmove(dst, src, bytes);
      b->FreeRow(r - 1);
      b->FreeRow(r);
    }
  } else {
    int64_t sum = 0;
    for (int32_t i = 0; i < H - 2; i += 2) {
      const TRGB* r0 = static_cast<const TRGB*>(b->GetRow(i));
      const TRGB* r1 = static_cast<const TRGB*>(b->GetRow(i + 1));
      for (int32_t x = 0; x < W; ++x) sum += std::abs(VXRGBToGray(r0[x]) - VXRGBToGray(r1[x]));
      b->FreeRow(i + 1);
      b->FreeRow(i);
    }
    if (W > 0 && H > 0 && double(sum) / (double(W) * double(H)) > 5)
      Deinterlace(vxdDiscard);
    else
      MessageBeep(0);
  }
  DoFinishWork();
  Update();
}

// ---------------------------------------------------------------------------
// Transparent border

void VXFindOpaqueBounds(TVXBitmap* Bitmap, TRect& Rect) {
  if (!Bitmap) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  Rect = TRect{0, 0, W - 1, H - 1};
  TVXBitmap* alpha = Bitmap->AlphaChannelOpt();
  if (!alpha) return;
  Rect = TRect{W, H, -1, -1};
  const int32_t aw = std::min(W, alpha->Width()), ah = std::min(H, alpha->Height());
  for (int32_t y = 0; y < ah; ++y) {
    const uint8_t* a = static_cast<const uint8_t*>(alpha->GetRow(y));
    int32_t first = 0;
    while (first < aw && a[first] == 0) ++first;
    if (first < aw) {
      int32_t last = aw - 1;
      while (a[last] == 0) --last;
      Rect.Left = std::min(Rect.Left, first);
      Rect.Right = std::max(Rect.Right, last);
      Rect.Top = std::min(Rect.Top, y);
      Rect.Bottom = y;
    }
    alpha->FreeRow(y);
  }
}

void TVexlaneProc::CropTransparentBorder() {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  TRect r;
  VXFindOpaqueBounds(fVXBitmap, r);
  if (r.Right < 0 || r.Bottom < 0) return;
  const bool autoUndo = fAutoUndo;
  fAutoUndo = false;
  try {
    Crop(r);
  } catch (...) {
    fAutoUndo = autoUndo;
    throw;
  }
  fAutoUndo = autoUndo;
}
