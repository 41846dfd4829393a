// The viewer's layers drawn merged at 100 % into a bitmap of their extent.
#include <algorithm>

#include "core/bitmap.h"
#include "core/layer.h"
#include "core/limits.h"
#include "view/vexlaneview.h"

void TVexlaneView::LayersDrawTo(TVXBitmap* Destination) {
  if (Destination == nullptr || fLayers.empty()) return;
  StoreCurrentBitmap();
  TVXBitmap* b0 = fLayers[0]->Bitmap();
  if (b0 == nullptr || b0->IsEmpty()) return;
  // The extent: layer 0 and every layer not cropped to it; a layer at a
  // negative position moves everything right or down.
  int64_t right = int64_t(fLayers[0]->PosX()) + fLayers[0]->Width();
  int64_t bottom = int64_t(fLayers[0]->PosY()) + fLayers[0]->Height();
  int64_t dx = 0, dy = 0;
  for (const auto& l : fLayers) {
    if (l->Cropped()) continue;
    right = std::max(right, int64_t(l->PosX()) + l->Width());
    bottom = std::max(bottom, int64_t(l->PosY()) + l->Height());
    dx = std::max(dx, -int64_t(l->PosX()));
    dy = std::max(dy, -int64_t(l->PosY()));
  }
  const int64_t w = right + dx, h = bottom + dy;
  VXCheckImageSize(w, h, 24);
  if (Destination->IsEmpty()) Destination->Allocate(1, 1, vx24RGB);
  Destination->Resize(int32_t(w), int32_t(h), double(int32_t(fBackGround)), 255, vxhLeft, vxvTop);

  // The view at 100 %, its origin at the top-left, layer 0 at (dx, dy).
  const double zx = fZoomX, zy = fZoomY, zdx = fZoomD100X, zdy = fZoomD100Y, dzx = f100DZoomX, dzy = f100DZoomY;
  const int32_t vx = fViewX, vy = fViewY, ox = fOffX, oy = fOffY, ex = fExtX, ey = fExtY, zw = fZZWW, zh = fZZHH;
  const int32_t mw = fMaxLayerWidth, mh = fMaxLayerHeight;
  auto restore = [&] {
    fZoomX = zx;
    fZoomY = zy;
    fZoomD100X = zdx;
    fZoomD100Y = zdy;
    f100DZoomX = dzx;
    f100DZoomY = dzy;
    fViewX = vx;
    fViewY = vy;
    fOffX = ox;
    fOffY = oy;
    fExtX = ex;
    fExtY = ey;
    fZZWW = zw;
    fZZHH = zh;
    fMaxLayerWidth = mw;
    fMaxLayerHeight = mh;
  };
  fZoomX = fZoomY = 100;
  fZoomD100X = fZoomD100Y = f100DZoomX = f100DZoomY = 1;
  fViewX = fViewY = 0;
  fOffX = int32_t(dx);
  fOffY = int32_t(dy);
  fExtX = fZZWW = fMaxLayerWidth = b0->Width();
  fExtY = fZZHH = fMaxLayerHeight = b0->Height();
  try {
    PaintToEx(Destination, nullptr, nullptr, false, false);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  const bool invalidate = fUpdateInvalidate;
  fUpdateInvalidate = false;
  try {
    Update();
  } catch (...) {
    fUpdateInvalidate = invalidate;
    throw;
  }
  fUpdateInvalidate = invalidate;
  UpdateVisibleRects();
  UpdateCoordinateTables();
}
