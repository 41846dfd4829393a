// Making layers (from the selection, the clipboard, a file, a text or the
// alpha channel) and fixing them: baking a layer's display size, rotation
// or transparent border into its bitmap.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/limits.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"
#include "resample/resample.h"
#include "view/vexlaneview.h"

namespace {

// The layers an operation on "layer" (-1: every layer) works on.
std::vector<int32_t> LayerSet(const TVexlaneView* v, int32_t layer) {
  std::vector<int32_t> r;
  if (layer == -1) {
    for (int32_t i = 0; i < v->LayersCount(); ++i) r.push_back(i);
  } else {
    (void)v->Layers(layer);
    r.push_back(layer);
  }
  return r;
}

// Copies Source's grey values (vx8g) into Dest (vx8g) over their common
// area.
void CopyGreyRows(TVXBitmap* Source, TVXBitmap* Dest) {
  const int32_t w = std::min(Source->Width(), Dest->Width()), h = std::min(Source->Height(), Dest->Height());
  for (int32_t y = 0; y < h; ++y) std::memcpy(Dest->ScanLine(y), Source->ScanLine(y), size_t(w));
}

}  // namespace

// ---------------------------------------------------------------------------
// Making layers

int32_t TVexlaneView::LayersCreateFromSelection() {
  StoreCurrentBitmap();
  const int32_t prev = fLayersCurrent;
  const int32_t n = LayersAdd();
  SetLayersCurrent(prev);
  StoreCurrentBitmap();
  TVXLayer* cur = fLayers[size_t(fLayersCurrent)].get();
  TVXLayer* nl = fLayers[size_t(n)].get();
  if (fSel) {
    CopySelectionToVXBitmap(nl->Bitmap(), fSelectionMaskDepth == 1);
    nl->SetPosX(SelX1() + cur->PosX());
    nl->SetPosY(SelY1() + cur->PosY());
  } else {
    nl->Bitmap()->Assign(cur->Bitmap());
    nl->SetPosX(cur->PosX());
    nl->SetPosY(cur->PosY());
  }
  SetLayersCurrent(n);
  Update();
  return n;
}

int32_t TVexlaneView::LayersCreateFromClipboard() {
  const int32_t n = LayersAdd();
  Proc()->PasteFromClipboard();
  Update();
  return n;
}

int32_t TVexlaneView::LayersCreateFromFile(const std::string& FileName) {
  const int32_t n = LayersAdd();
  try {
    IO()->LoadFromFile(FileName, int32_t(-1));
    if (IO()->Aborting()) throw EVXException("Load Error");
  } catch (...) {
    LayersRemove(n);
    return -1;
  }
  Update();
  return n;
}

int32_t TVexlaneView::LayersCreateFromText(const std::string& sText, const std::string& sFontName, int32_t iFontSize,
                                           TColor cFontColor, TFontStyles Style, bool bAddShadow,
                                           int32_t iBlurRadius, int32_t iShadowOffset, int32_t Angle,
                                           bool bAntiAlias) {
  // Angle 0 draws anti-aliased on a transparent image, other angles without
  // anti-aliasing on white that becomes transparent.
  (void)bAntiAlias;
  constexpr TColor kWhite = TColor(0xFFFFFF);
  LockPaint();
  int32_t n = -1;
  try {
    n = LayersAdd();
    TVXBitmap* b = fVXBitmap;
    b->Allocate(1, 1, vx24RGB);
    std::unique_ptr<TVexlaneProc> proc = TVexlaneProc::CreateFromBitmap(b);
    proc->SetBackground(fBackGround);
    if (Angle == 0) {
      // Drawn anti-aliased in black on white; the darkness of each pixel
      // becomes its alpha over the text colour, so that the edges blend
      // over whatever lies below the layer.
      proc->SetBackground(kWhite);
      b->SetPixels(0, 0, TRGB{255, 255, 255});
      proc->TextOut(0, 0, sText, sFontName, iFontSize, TColor(0), Style, 0, true, true);
      proc->SetBackground(fBackGround);
      if (b->PixelFormat() != vx24RGB) b->SetPixelFormat(vx24RGB);
      TVXBitmap* a = b->AlphaChannel();
      const TRGB ink = VXColorToTRGB(int32_t(cFontColor));
      for (int32_t y = 0; y < b->Height(); ++y) {
        auto* row = static_cast<TRGB*>(b->ScanLine(y));
        auto* arow = static_cast<uint8_t*>(a->ScanLine(y));
        for (int32_t x = 0; x < b->Width(); ++x) {
          const TRGB c = row[x];
          arow[x] = uint8_t(255 - std::min({c.r, c.g, c.b}));
          row[x] = ink;
        }
      }
    } else {
      proc->SetBackground(kWhite);
      b->SetPixels(0, 0, TRGB{255, 255, 255});
      proc->TextOut(0, 0, sText, sFontName, iFontSize, cFontColor, Style, Angle, false, true);
      proc->SetTransparentColors(TRGB{255, 255, 255}, TRGB{255, 255, 255}, 0);
      proc->SetBackground(fBackGround);
    }
    if (bAddShadow) proc->AddSoftShadow(iBlurRadius, iShadowOffset, iShadowOffset, true, TColor(0), 100);
    proc->CropTransparentBorder();
  } catch (...) {
    if (n >= 0 && n < LayersCount()) LayersRemove(n);
    UnLockPaint();
    throw;
  }
  UnLockPaint();
  return n;
}

int32_t TVexlaneView::LayersCreateFromAlpha() {
  StoreCurrentBitmap();
  TVXBitmap* a = fVXBitmap->AlphaChannel();  // an opaque one when there was none
  auto copy = std::make_unique<TVXBitmap>(a->Width(), a->Height(), vx8g);
  if (a->PixelFormat() == vx8g) {
    CopyGreyRows(a, copy.get());
  } else {
    for (int32_t y = 0; y < a->Height(); ++y)
      for (int32_t x = 0; x < a->Width(); ++x) copy->SetPixels(x, y, a->Pixels(x, y));
  }
  return LayersAdd(copy.release(), false);
}

void TVexlaneView::LayersCopyToAlpha(int32_t DestLayer) {
  StoreCurrentBitmap();
  TVXBitmap* db = Layers(DestLayer)->Bitmap();
  if (db == nullptr || db->IsEmpty() || fVXBitmap == nullptr || fVXBitmap->IsEmpty()) return;
  // The current image as grey, cut or extended (with 0) to the layer's size.
  TVXBitmap grey(fVXBitmap);
  if (grey.HasAlphaChannel()) grey.RemoveAlphaChannel(false, 0);
  grey.SetPixelFormat(vx8g);
  std::unique_ptr<TVXBitmap> alpha = TVXBitmap::CreateAsAlphaChannel(db->Width(), db->Height(), vxMemory);
  alpha->Fill(0);
  CopyGreyRows(&grey, alpha.get());
  (void)db->SetAlphaChannel(std::move(alpha));
  Update();
}

// ---------------------------------------------------------------------------
// Fixing layers

void TVexlaneView::LayersFixSizes(int32_t layer) {
  StoreCurrentBitmap();
  for (int32_t i : LayerSet(this, layer)) {
    TVXLayer* L = fLayers[size_t(i)].get();
    if (L->ResizedWidth() == 0 && L->ResizedHeight() == 0) continue;
    TVXBitmap* b = L->Bitmap();
    if (b != nullptr && !b->IsEmpty()) {
      const TResampleFilter f = L->UseResampleFilter() ? L->ResampleFilter() : fZoomFilter;
      VXResampleToSizeInPlace(b, L->Width(), L->Height(), f, false);
    }
    L->SetWidth(0);
    L->SetHeight(0);
  }
  Update();
}

void TVexlaneView::LayersFixBorders(int32_t layer) {
  StoreCurrentBitmap();
  for (int32_t i : LayerSet(this, layer)) {
    TVXBitmap* b = fLayers[size_t(i)]->Bitmap();
    if (b == nullptr || b->IsEmpty()) continue;
    TVexlaneProc::CreateFromBitmap(b)->CropTransparentBorder();
  }
  Update();
}

void TVexlaneView::LayersFixRotations(int32_t layer) {
  StoreCurrentBitmap();
  for (int32_t i : LayerSet(this, layer)) {
    TVXLayer* L = fLayers[size_t(i)].get();
    if (L->Rotate() == 0) continue;
    LayersFixSizes(i);
    TVXBitmap* b = L->Bitmap();
    if (b == nullptr || b->IsEmpty()) continue;
    const int32_t W = b->Width(), H = b->Height();
    std::vector<TPoint> corners{{0, 0}, {W, 0}, {W, H}, {0, H}};
    const int32_t px = L->PosX(), py = L->PosY();
    b->AlphaChannel();
    std::unique_ptr<TVexlaneProc> proc = TVexlaneProc::CreateFromBitmap(b);
    proc->SetBackground(fBackGround);
    proc->Rotate(L->Rotate(), fLayersRotationAntialias ? fLayersRotationFilter : vxrNone, TColor(-1));
    VXRotatePoints(corners, int32_t(std::trunc(W * L->RotateCenterX())), int32_t(std::trunc(H * L->RotateCenterY())),
                   L->Rotate());
    int32_t mx = corners[0].X, my = corners[0].Y;
    for (const TPoint& c : corners) {
      mx = std::min(mx, c.X);
      my = std::min(my, c.Y);
    }
    L->SetPosX(px + mx);
    L->SetPosY(py + my);
    L->SetWidth(0);
    L->SetHeight(0);
    L->SetRotate(0);
    if (i == 0) {
      L->SetPosX(px);
      L->SetPosY(py);
      continue;
    }
    // Down to the pixels that show.
    TRect r;
    VXFindOpaqueBounds(b, r);
    if (r.Right < r.Left || r.Bottom < r.Top) continue;
    if (r.Left != 0 || r.Top != 0 || r.Right != b->Width() - 1 || r.Bottom != b->Height() - 1) proc->Crop(r);
    L->SetPosX(L->PosX() + r.Left);
    L->SetPosY(L->PosY() + r.Top);
  }
  Update();
}
