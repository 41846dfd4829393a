// TVXBitmap: the drawing canvas over its platform bitmap, and regions of
// interest: bitmaps and canvases over part of an image that merge back into
// it when freed.

#include <algorithm>
#include <climits>
#include <memory>
#include <unordered_map>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/gdiplus.h"
#include "core/geometry.h"
#include "gui/graphics.h"

TVXCanvas* TVXBitmap::VXCanvas() {
  TCanvas* c = Canvas();  // moves the bitmap to vxTBitmap first
  if (!fVXCanvas) fVXCanvas = std::make_unique<TVXCanvas>(c, true, true, nullptr);
  return fVXCanvas.get();
}

void TVXBitmap::FreeVXCanvas() { fVXCanvas.reset(); }

std::unique_ptr<TVXBitmap> TVXBitmap::CreateROIBitmap(TRect Rect, TVXPixelFormat ROIPixelFormat,
                                                      bool PerformAlphaCompositing) {
  VXOrderCorners(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
  std::unique_ptr<TVXBitmap> roi;
  if (PerformAlphaCompositing) {
    roi = std::make_unique<TVXBitmap>();
    const int64_t w = int64_t(Rect.Right) - Rect.Left + 1, h = int64_t(Rect.Bottom) - Rect.Top + 1;
    // New storage is zero-filled: transparent black.
    if (w <= INT32_MAX && h <= INT32_MAX) roi->Allocate(int32_t(w), int32_t(h), vx32RGB);
  } else {
    roi = std::make_unique<TVXBitmap>(this, Rect);
    if (ROIPixelFormat != vxnull && !roi->IsEmpty() && roi->PixelFormat() != ROIPixelFormat)
      roi->SetPixelFormat(ROIPixelFormat);
  }
  roi->fROIOriginalBitmap = this;
  roi->fROIOriginalRect = Rect;
  roi->fROIComposite = PerformAlphaCompositing;
  fROIBitmaps.push_back(roi.get());
  return roi;
}

std::unique_ptr<TVXCanvas> TVXBitmap::CreateROICanvas(TRect Rect, bool AntiAlias, bool UseGDIPlus,
                                                      bool PerformAlphaCompositing) {
  VXOrderCorners(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
  // GDI leaves no alpha in a 32-bit bitmap: a canvas that will draw through
  // GDI gets a copy of the rectangle, not the transparent bitmap (on which
  // everything drawn would vanish when merged).
  const bool composite = PerformAlphaCompositing && UseGDIPlus && VXGDIPlusEnabled();
  std::unique_ptr<TVXBitmap> roi = CreateROIBitmap(Rect, vx24RGB, composite);
  auto canvas = std::make_unique<TVXCanvas>(roi->Canvas(), AntiAlias, UseGDIPlus, nullptr);
  canvas->SetROIBitmap(roi.release());
  canvas->OnDestroy = [](void* Sender) {
    auto* c = static_cast<TVXCanvas*>(Sender);
    c->ResetTransform();
    TVXBitmap* b = c->ROIBitmap();
    c->SetROIBitmap(nullptr);
    delete b;  // merges what was drawn
  };
  canvas->Translate(-double(Rect.Left), -double(Rect.Top));
  if (composite)
    canvas->SetCompositingMode(vxCompositingModeSourceCopy, vxCompositingQualityHighQuality);
  return canvas;
}

// A region of interest goes back where it came from: the transparent
// compositing bitmap is blended in through its fourth bytes, any other is
// converted to the original's format and copied, its alpha channel with it.
void TVXBitmap::CommitROI() {
  TVXBitmap* orig = fROIOriginalBitmap;
  if (!orig) return;
  fROIOriginalBitmap = nullptr;
  auto& list = orig->fROIBitmaps;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  if (IsEmpty() || orig->IsEmpty()) return;
  const TRect& r = fROIOriginalRect;
  if (fROIComposite) {
    if (PixelFormat() != vx32RGB) return;
    // GDI+ leaves premultiplied colours in a 32-bit surface; the merge
    // takes them straight.
    for (int32_t y = 0; y < Height(); ++y) {
      auto* p = static_cast<uint8_t*>(ScanLine(y));
      for (int32_t x = 0; x < Width(); ++x, p += 4) {
        const uint32_t a = p[3];
        if (a == 255) continue;
        for (int i = 0; i < 3; ++i) p[i] = a == 0 ? 0 : uint8_t(std::min<uint32_t>(255, (p[i] * 255u + a / 2) / a));
      }
    }
    orig->MergeWithAlpha(this, r.Left, r.Top, -1, -1, 255, rfNone, vxlNormal, false, 0, 0, 1.0);
    return;
  }
  if (orig->PixelFormat() == vx8p && PixelFormat() != vx8p)
    MapToPaletteOf(orig, r.Left, r.Top);
  else {
    if (orig->PixelFormat() != PixelFormat()) {
      // Drawn on through its canvas, the copy lies in a platform bitmap,
      // which cannot take every format back.
      if (fLocation == vxTBitmap) SetLocation(vxMemory);
      SetPixelFormat(orig->PixelFormat());
    }
    CopyRectTo(orig, 0, 0, r.Left, r.Top, Width(), Height());
  }
  if (TVXBitmap* a = AlphaChannelOpt()) {
    if (TVXBitmap* oa = orig->AlphaChannel()) {
      a->CopyRectTo(oa, 0, 0, r.Left, r.Top, a->Width(), a->Height());
      oa->SyncFull();
    }
  }
}

// Writes this bitmap into a palette bitmap at (DstX, DstY) (clipped) as the
// nearest entries of its palette: a conversion of its own would bring a
// palette of its own, which the original's indices do not follow.
void TVXBitmap::MapToPaletteOf(TVXBitmap* Dest, int32_t DstX, int32_t DstY) {
  if (PixelFormat() != vx24RGB) SetPixelFormat(vx24RGB);
  if (PixelFormat() != vx24RGB) return;
  const int32_t n = std::min(Dest->PaletteUsed(), Dest->PaletteLength());
  const TRGB* pal = Dest->PaletteBuffer();
  if (!pal || n <= 0) return;
  std::unordered_map<uint32_t, uint8_t> nearest;
  const int32_t x0 = std::max(0, -DstX), y0 = std::max(0, -DstY);
  const int32_t x1 = int32_t(std::min<int64_t>(Width(), int64_t(Dest->Width()) - DstX));
  const int32_t y1 = int32_t(std::min<int64_t>(Height(), int64_t(Dest->Height()) - DstY));
  for (int32_t y = y0; y < y1; ++y) {
    const auto* s = static_cast<const TRGB*>(ScanLine(y));
    auto* d = static_cast<uint8_t*>(Dest->ScanLine(DstY + y));
    if (!s || !d) continue;
    for (int32_t x = x0; x < x1; ++x) {
      const TRGB c = s[x];
      const uint32_t key = (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
      auto it = nearest.find(key);
      if (it == nearest.end()) {
        int32_t best = 0, bestDist = INT32_MAX;
        for (int32_t i = 0; i < n && i < 256; ++i) {
          const int32_t dr = int32_t(pal[i].r) - c.r, dg = int32_t(pal[i].g) - c.g, db = int32_t(pal[i].b) - c.b;
          const int32_t dist = dr * dr + dg * dg + db * db;
          if (dist < bestDist) {
            bestDist = dist;
            best = i;
          }
        }
        it = nearest.emplace(key, uint8_t(best)).first;
      }
      d[DstX + x] = it->second;
    }
  }
}

// The regions of interest taken from a bitmap that goes first merge nothing.
void TVXBitmap::DetachROIBitmaps() {
  for (TVXBitmap* roi : fROIBitmaps) roi->fROIOriginalBitmap = nullptr;
  fROIBitmaps.clear();
}
