// The viewer's layer list: layer 0 holds the viewer's bitmap; the current
// layer's bitmap is the viewer's current image. Every list operation first
// stores the current bitmap reference back into the current layer.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/bitmap.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"

namespace {

// Even-odd test of a point against a closed polygon.
bool PointInPolygon(int32_t x, int32_t y, const TPoint* p, int n) {
  bool inside = false;
  for (int i = 0, j = n - 1; i < n; j = i++) {
    if ((p[i].Y > y) != (p[j].Y > y)) {
      const double cx = double(p[j].X - p[i].X) * (y - p[i].Y) / double(p[j].Y - p[i].Y) + p[i].X;
      if (x < cx) inside = !inside;
    }
  }
  return inside;
}

bool InBox(const TRect& r, int32_t x, int32_t y) { return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom; }

}  // namespace

TVXLayer* TVexlaneView::Layers(int32_t Index) const {
  if (Index < 0 || Index >= int32_t(fLayers.size()))
    throw EVXException("List index out of bounds (" + std::to_string(Index) + ")");
  return fLayers[size_t(Index)].get();
}

TVXBitmap* TVexlaneView::LayerBitmap(int32_t Index) {
  if (Index < 0 || Index >= int32_t(fLayers.size())) return nullptr;
  StoreCurrentBitmap();
  return fLayers[size_t(Index)]->Bitmap();
}

int32_t TVexlaneView::LayerIndex(const TVXLayer* Layer) const {
  for (size_t i = 0; i < fLayers.size(); ++i)
    if (fLayers[i].get() == Layer) return int32_t(i);
  return -1;
}

TVXLayer* TVexlaneView::LayerMask(int32_t Index) const {
  if (Index < 0 || Index + 1 >= int32_t(fLayers.size())) return nullptr;
  TVXLayer* above = fLayers[size_t(Index) + 1].get();
  return above->IsMask() ? above : nullptr;
}

void TVexlaneView::StoreCurrentBitmap() {
  if (fLayersCurrent < 0 || fLayersCurrent >= int32_t(fLayers.size())) return;
  TVXLayer* layer = fLayers[size_t(fLayersCurrent)].get();
  if (layer->Bitmap() == fVXBitmap) return;
  // Only the reference moves: whatever the layer held is not freed here.
  const bool owns = layer->FreeBitmapOnDestroy();
  layer->SetFreeBitmapOnDestroy(false);
  layer->SetBitmap(fVXBitmap);
  layer->SetFreeBitmapOnDestroy(owns);
}

void TVexlaneView::TakeCurrentLayerBitmap() {
  fVXBitmap = fLayers[size_t(fLayersCurrent)]->Bitmap();
  fBitmap = fVXBitmap != nullptr && fVXBitmap->Location() == vxTBitmap ? fVXBitmap->VclBitmap() : nullptr;
}

void TVexlaneView::SyncLayers() {
  // The platform bitmap may have been replaced or resized under the image.
  if (fVXBitmap != nullptr && fVXBitmap->Location() == vxTBitmap) {
    fVXBitmap->UpdateFromTBitmap();
    fBitmap = fVXBitmap->VclBitmap();
  }
  StoreCurrentBitmap();
  TVXBitmap* b0 = fLayers.empty() ? nullptr : fLayers[0]->Bitmap();
  fMaxLayerWidth = b0 ? b0->Width() : 0;
  fMaxLayerHeight = b0 ? b0->Height() : 0;
  if (!fLayersSync || fLayers.size() < 2) return;
  for (const auto& l : fLayers)
    if (TVXBitmap* b = l->Bitmap()) {
      fMaxLayerWidth = std::max(fMaxLayerWidth, b->Width());
      fMaxLayerHeight = std::max(fMaxLayerHeight, b->Height());
    }
  for (const auto& l : fLayers) {
    TVXBitmap* b = l->Bitmap();
    if (b == nullptr || b->IsEmpty()) continue;
    if (b->Width() != fMaxLayerWidth || b->Height() != fMaxLayerHeight) {
      b->AlphaChannel();  // an opaque one when it had none
      b->Resize(fMaxLayerWidth, fMaxLayerHeight, double(int32_t(fBackGround)), 0, vxhLeft, vxvTop);
    }
    if (TVXBitmap* a = b->AlphaChannelOpt())
      if (a->Width() != fMaxLayerWidth || a->Height() != fMaxLayerHeight)
        a->Resize(fMaxLayerWidth, fMaxLayerHeight, 0, -1, vxhLeft, vxvTop);
  }
}

void TVexlaneView::SetLayersSync(bool Value) {
  if (Value == fLayersSync) return;
  fLayersSync = Value;
  if (Value) SyncLayers();
}

void TVexlaneView::SetLayersDrawBox(bool Value) {
  if (Value == fLayersDrawBox) return;
  fLayersDrawBox = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetLayersCurrent(int32_t Value) {
  if (Value < 0 || Value >= LayersCount() || Value == fLayersCurrent) return;
  // The selection stays over the same image area: saved in the old layer's
  // coordinates, restored into the new one's.
  const bool hadSelection = fSel && fLayersCurrent >= 0 && fLayersCurrent < LayersCount();
  StoreCurrentBitmap();
  if (hadSelection) SaveSelection();
  fLayersCurrent = Value;
  while (fLayersSelectConstrains && fLayersCurrent > 0 && !fLayers[size_t(fLayersCurrent)]->Selectable())
    --fLayersCurrent;
  TakeCurrentLayerBitmap();
  if (hadSelection) RestoreSelection(true, vxrsSyncLayers);
  CallBitmapChangeEvents();
  Update();
}

// ---------------------------------------------------------------------------
// Adding, inserting, removing, moving

int32_t TVexlaneView::LayersAdd() {
  StoreCurrentBitmap();
  fLayers.push_back(std::make_unique<TVXLayer>(this, fVXBitmap, false));
  SetLayersCurrent(LayersCount() - 1);
  Clear();
  return LayersCount() - 1;
}

int32_t TVexlaneView::LayersAdd(int32_t Width, int32_t Height, TVXPixelFormat PixelFormat, int32_t PosX, int32_t PosY) {
  StoreCurrentBitmap();
  auto layer = std::make_unique<TVXLayer>(this, nullptr, false);
  layer->Bitmap()->Allocate(Width, Height, PixelFormat);
  layer->SetPosX(PosX);
  layer->SetPosY(PosY);
  fLayers.push_back(std::move(layer));
  SetLayersCurrent(LayersCount() - 1);
  return LayersCount() - 1;
}

int32_t TVexlaneView::LayersAdd(const std::string& FileName, int32_t PosX, int32_t PosY) {
  const int32_t i = LayersAdd();
  TVXLayer* layer = fLayers[size_t(i)].get();
  // A file that does not load leaves the new, cleared layer.
  IO()->LoadFromFile(FileName, int32_t(-1));
  layer->SetPosX(PosX);
  layer->SetPosY(PosY);
  Update();
  return i;
}

int32_t TVexlaneView::LayersAdd(TVXBitmap* Bitmap, bool DoCopy) {
  StoreCurrentBitmap();
  TVXBitmap* b = Bitmap;
  if (DoCopy) {
    b = new TVXBitmap();
    b->Assign(Bitmap);
  }
  fLayers.push_back(std::make_unique<TVXLayer>(this, b, true));
  SetLayersCurrent(LayersCount() - 1);
  return LayersCount() - 1;
}

void TVexlaneView::LayersInsert(int32_t Position) {
  TVXLayer* there = Layers(Position);  // the list's index error for a bad position
  StoreCurrentBitmap();
  if (there->IsMask() && Position > 0) --Position;
  fLayers.insert(fLayers.begin() + Position, std::make_unique<TVXLayer>(this, fVXBitmap, false));
  // The list moved under the current index.
  if (fLayersCurrent >= Position) ++fLayersCurrent;
  SetLayersCurrent(Position);
}

void TVexlaneView::LayersRemove(int32_t idx) {
  if (LayersCount() < 2 || idx < 0 || idx >= LayersCount()) return;
  StoreCurrentBitmap();
  TVXLayer* current = fLayers[size_t(fLayersCurrent)].get();
  TVXLayer* mask = LayerMask(idx);
  const bool removesCurrent = current == fLayers[size_t(idx)].get() || current == mask;
  if (mask != nullptr) fLayers.erase(fLayers.begin() + idx + 1);
  fLayers.erase(fLayers.begin() + idx);
  if (removesCurrent) {
    // The viewer's image went with the layer: no layer is current until the
    // switch.
    fLayersCurrent = -1;
    fVXBitmap = nullptr;
    fBitmap = nullptr;
    SetLayersCurrent(std::min(idx, LayersCount() - 1));
  } else {
    fLayersCurrent = LayerIndex(current);
    Update();
  }
}

void TVexlaneView::LayersClear() {
  StoreCurrentBitmap();
  while (fLayers.size() > 1) fLayers.pop_back();
  const bool changed = fLayersCurrent != 0;
  fLayersCurrent = 0;
  TVXLayer* l0 = fLayers[0].get();
  l0->SetDefaults();
  l0->SetVisibleBox(false);
  l0->SetLocked(true);
  TakeCurrentLayerBitmap();
  if (changed) CallBitmapChangeEvents();
  Clear();
}

void TVexlaneView::LayersMove(int32_t CurIndex, int32_t NewIndex) {
  switch (NewIndex) {
    case -9: NewIndex = 0; break;
    case -8: NewIndex = CurIndex - 1; break;
    case -7: NewIndex = CurIndex + 1; break;
    case -6: NewIndex = LayersCount() - 1; break;
    default: break;
  }
  if (CurIndex < 0 || CurIndex >= LayersCount() || NewIndex < 0 || NewIndex >= LayersCount() ||
      NewIndex == CurIndex)
    return;
  StoreCurrentBitmap();
  TVXLayer* current = fLayers[size_t(fLayersCurrent)].get();
  TVXLayer* mask = LayerMask(CurIndex);
  if (mask != nullptr && NewIndex == CurIndex + 1) {
    // The move goes past the layer's own mask.
    ++NewIndex;
    if (NewIndex >= LayersCount()) return;
  }
  TVXLayer* layer = fLayers[size_t(CurIndex)].get();
  std::unique_ptr<TVXLayer> moving = std::move(fLayers[size_t(CurIndex)]);
  fLayers.erase(fLayers.begin() + CurIndex);
  fLayers.insert(fLayers.begin() + NewIndex, std::move(moving));
  if (mask != nullptr) {
    // The mask stands directly above its layer again.
    const int32_t m = LayerIndex(mask);
    std::unique_ptr<TVXLayer> owned = std::move(fLayers[size_t(m)]);
    fLayers.erase(fLayers.begin() + m);
    fLayers.insert(fLayers.begin() + LayerIndex(layer) + 1, std::move(owned));
  }
  fLayersCurrent = LayerIndex(current);
  Update();
}

// ---------------------------------------------------------------------------
// Hit tests and conversions

int32_t TVexlaneView::ConvXScr2Bmp(const TVXLayer* Layer, int32_t x) const {
  const TVXBitmap* b = Layer->Bitmap();
  const int32_t w = Layer->Width();
  if (w == 0 || b == nullptr || b->Width() == 0) return 0;
  const int32_t bx = XScr2Bmp(x - int32_t(std::trunc(Layer->PosX() * fZoomD100X)));
  return int32_t(std::trunc(double(bx) * b->Width() / w));
}

int32_t TVexlaneView::ConvYScr2Bmp(const TVXLayer* Layer, int32_t y) const {
  const TVXBitmap* b = Layer->Bitmap();
  const int32_t h = Layer->Height();
  if (h == 0 || b == nullptr || b->Height() == 0) return 0;
  const int32_t by = YScr2Bmp(y - int32_t(std::trunc(Layer->PosY() * fZoomD100Y)));
  return int32_t(std::trunc(double(by) * b->Height() / h));
}

int32_t TVexlaneView::ConvXBmp2Scr(const TVXLayer* Layer, int32_t x) const {
  const TVXBitmap* b = Layer->Bitmap();
  if (b == nullptr || b->Width() == 0) return 0;
  return XBmp2Scr(int32_t(std::trunc(double(Layer->Width()) * x / b->Width()))) +
         int32_t(std::trunc(Layer->PosX() * fZoomD100X));
}

int32_t TVexlaneView::ConvYBmp2Scr(const TVXLayer* Layer, int32_t y) const {
  const TVXBitmap* b = Layer->Bitmap();
  if (b == nullptr || b->Height() == 0) return 0;
  return YBmp2Scr(int32_t(std::trunc(double(Layer->Height()) * y / b->Height()))) +
         int32_t(std::trunc(Layer->PosY() * fZoomD100Y));
}

int32_t TVexlaneView::FindLayerAt(int32_t x, int32_t y, bool SelectablesOnly) {
  for (int32_t i = LayersCount() - 1; i >= 0; --i) {
    const TVXLayer* l = fLayers[size_t(i)].get();
    if (!l->Selectable() && fLayersSelectConstrains && SelectablesOnly) continue;
    if (!l->Visible() || !InBox(l->ClientAreaBox(), x, y)) continue;
    TVXBitmap* b = l->Bitmap();
    if (b == nullptr || !b->HasAlphaChannel()) return i;
    if (b->IsEmpty()) continue;
    const int32_t bx = std::clamp(ConvXScr2Bmp(l, x), 0, b->Width() - 1);
    const int32_t by = std::clamp(ConvYScr2Bmp(l, y), 0, b->Height() - 1);
    if (b->Alpha(bx, by) != 0) return i;
  }
  return -1;
}

bool TVexlaneView::IsPointInsideLayer(int32_t x, int32_t y, int32_t idx) {
  if (idx < 0 || idx >= LayersCount()) return false;
  const TVXLayer* l = fLayers[size_t(idx)].get();
  if (!l->Visible()) return false;
  if (l->Rotate() != 0) return PointInPolygon(x, y, l->DrawingInfo().RotatedDest, 4);
  return InBox(l->ClientAreaBox(), x, y);
}

void TVexlaneView::DoLayerNotify(int32_t Layer, TVXLayerEvent Event) {
  if (OnLayerNotify) OnLayerNotify(static_cast<TVXView*>(this), Layer, Event);
}

// ---------------------------------------------------------------------------
// Layer records

TVXLayerGUID TVexlaneView::LayerGUID(int32_t Index) const { return Layers(Index)->GUID(); }

void TVexlaneView::LayerSaveInfo(int32_t Index, TStream* Stream, bool FullBitmap) {
  StoreCurrentBitmap();
  Layers(Index)->SaveInfo(Stream, FullBitmap);
}

void TVexlaneView::LayerLoadInfo(int32_t Index, TStream* Stream) {
  StoreCurrentBitmap();
  Layers(Index)->LoadInfo(Stream);
  if (Index == fLayersCurrent) TakeCurrentLayerBitmap();
}

void TVexlaneView::LayerImageMoved(TVXLayer* From, TVXLayer* To) {
  if (From == nullptr || To == nullptr || fVXBitmap == nullptr || fVXBitmap != From->Bitmap()) return;
  const int32_t to = LayerIndex(To);
  if (to < 0) return;
  fLayersCurrent = to;
  TakeCurrentLayerBitmap();
  CallBitmapChangeEvents();
  Update();
}
