// Merging layers: two layers into one bitmap (colours blended by the upper
// layer's operation, alphas composed with transparency, opacity and the
// upper layer's mask), several layers into one, and every layer drawn at
// 100 % into a bitmap.
#include <algorithm>
#include <cmath>
#include <set>

#include "core/bitmap.h"
#include "core/blend.h"
#include "core/limits.h"
#include "resample/resample.h"
#include "view/vexlaneview.h"

namespace {

// A layer's image at its display size: the bitmap itself, or a resampled
// copy held in Temp.
TVXBitmap* AtDisplaySize(TVXLayer* L, TResampleFilter Filter, std::unique_ptr<TVXBitmap>& Temp) {
  TVXBitmap* b = L->Bitmap();
  const int32_t w = L->Width(), h = L->Height();
  if (b == nullptr || b->IsEmpty() || (b->Width() == w && b->Height() == h)) return b;
  VXCheckImageSize(w, h, 32);
  Temp = std::make_unique<TVXBitmap>();
  VXResampleToSize(b, Temp.get(), w, h, Filter, false);
  return Temp.get();
}

// A mask layer as 8-bit grey at its display size (nearest pixels).
TVXBitmap* MaskAtDisplaySize(TVXLayer* M, std::unique_ptr<TVXBitmap>& Temp) {
  TVXBitmap* b = M->Bitmap();
  if (b == nullptr || b->IsEmpty()) return nullptr;
  const int32_t w = M->Width(), h = M->Height();
  if (b->PixelFormat() == vx8g && b->Width() == w && b->Height() == h) return b;
  auto grey = std::make_unique<TVXBitmap>(b);
  if (grey->HasAlphaChannel()) grey->RemoveAlphaChannel(false, 0);
  grey->SetPixelFormat(vx8g);
  if (grey->Width() != w || grey->Height() != h) {
    VXCheckImageSize(w, h, 8);
    auto sized = std::make_unique<TVXBitmap>();
    VXResampleToSize(grey.get(), sized.get(), w, h, rfNone, false);
    grey = std::move(sized);
  }
  Temp = std::move(grey);
  return Temp.get();
}

struct TPlaced {
  TVXBitmap* B = nullptr;
  TVXBitmap* A = nullptr;  // alpha channel or nullptr
  int64_t x = 0, y = 0, w = 0, h = 0;
  bool Covers(int64_t px, int64_t py) const { return B != nullptr && px >= x && py >= y && px < x + w && py < y + h; }
};

uint8_t ClampRound(double v) { return uint8_t(std::clamp(std::nearbyint(v), 0.0, 255.0)); }

}  // namespace

void TVexlaneView::MergeTwoLayers(TVXLayer* Lower, TVXLayer* Upper, TVXLayer* Mask, bool KeepOrigin,
                                  TColor Background, TResampleFilter Filter, TVXBitmap* Dest) {
  // Temporary bitmaps are freed however the merge ends.
  std::unique_ptr<TVXBitmap> tl, tu, tm;
  TPlaced lo, up, ma;
  lo.B = AtDisplaySize(Lower, Filter, tl);
  up.B = AtDisplaySize(Upper, Filter, tu);
  if (Mask != nullptr) ma.B = MaskAtDisplaySize(Mask, tm);
  auto place = [](TPlaced& p, const TVXLayer* L) {
    p.x = L->PosX();
    p.y = L->PosY();
    p.w = p.B ? p.B->Width() : 0;
    p.h = p.B ? p.B->Height() : 0;
    p.A = p.B ? p.B->AlphaChannelOpt() : nullptr;
  };
  place(lo, Lower);
  place(up, Upper);
  if (Mask != nullptr) place(ma, Mask);
  ma.A = nullptr;
  const bool cropped = Upper->Cropped() && !KeepOrigin;
  // No position stays negative (an upper layer in cropped mode may).
  int64_t sx = std::max<int64_t>(0, -lo.x), sy = std::max<int64_t>(0, -lo.y);
  if (!cropped) {
    sx = std::max(sx, -up.x);
    sy = std::max(sy, -up.y);
  }
  for (TPlaced* p : {&lo, &up, &ma}) {
    p->x += sx;
    p->y += sy;
  }
  int64_t ex = lo.x + lo.w, ey = lo.y + lo.h, ox = 0, oy = 0;
  if (!cropped) {
    ex = std::max(ex, up.x + up.w);
    ey = std::max(ey, up.y + up.h);
    if (KeepOrigin) {
      ox = std::min(lo.x, up.x);
      oy = std::min(lo.y, up.y);
    }
  }
  const int64_t W = ex - ox, H = ey - oy;
  VXCheckImageSize(W, H, 32);
  Dest->Allocate(int32_t(W), int32_t(H), vx24RGB);
  TVXBitmap* destAlpha = Dest->AlphaChannel();
  const TRGB bg = VXColorToTRGB(int32_t(Background));
  const double lT = Lower->Transparency(), uT = Upper->Transparency();
  const double lO = Lower->Opacity(), uO = Upper->Opacity();
  bool allOpaque = true;
  for (int64_t y = 0; y < H; ++y) {
    auto* drow = static_cast<TRGB*>(Dest->ScanLine(int32_t(y)));
    auto* arow = static_cast<uint8_t*>(destAlpha->ScanLine(int32_t(y)));
    const int64_t py = y + oy;
    for (int64_t x = 0; x < W; ++x) {
      const int64_t px = x + ox;
      const bool inL = lo.Covers(px, py), inU = up.Covers(px, py);
      TRGB c = bg;
      double alpha = 0;  // 0..255
      double a1 = 0, a2 = 0, lowerA = 0, upperA = 0;
      TRGB lc{}, uc{};
      if (inL) {
        lc = lo.B->Pixels(int32_t(px - lo.x), int32_t(py - lo.y));
        lowerA = std::min(lo.A ? double(lo.A->Pixels_vx8(int32_t(px - lo.x), int32_t(py - lo.y))) : 255.0, lT);
        a1 = lowerA / 255 * lO;
      }
      if (inU) {
        uc = up.B->Pixels(int32_t(px - up.x), int32_t(py - up.y));
        upperA = std::min(up.A ? double(up.A->Pixels_vx8(int32_t(px - up.x), int32_t(py - up.y))) : 255.0, uT);
        if (Mask != nullptr)
          upperA = ma.Covers(px, py)
                       ? std::min(upperA, double(ma.B->Pixels_vx8(int32_t(px - ma.x), int32_t(py - ma.y))))
                       : 0.0;
        a2 = upperA / 255 * uO;
      }
      if (inL && inU) {
        TRGB blended = uc;
        if (Upper->Operation() != vxlNormal) {
          blended = lc;
          VXBlendPixels(&uc, &blended, Upper->Operation(), int32_t(y));
        }
        const double A = a2 + (1 - a2) * a1;
        if (A != 0) {
          c.r = ClampRound((blended.r * a2 + lc.r * (1 - a2) * a1) / A);
          c.g = ClampRound((blended.g * a2 + lc.g * (1 - a2) * a1) / A);
          c.b = ClampRound((blended.b * a2 + lc.b * (1 - a2) * a1) / A);
        } else {
          c = blended;
        }
        alpha = double(ClampRound(A * 255));
      } else if (inL) {
        c = lc;
        alpha = std::trunc(lowerA * lO);
      } else if (inU) {
        c = uc;
        alpha = std::trunc(upperA * uO);
      }
      const uint8_t a = uint8_t(std::clamp(alpha, 0.0, 255.0));
      drow[x] = c;
      arow[x] = a;
      if (a != 255) allOpaque = false;
    }
  }
  if (allOpaque) Dest->RemoveAlphaChannel(false, 0);
}

void TVexlaneView::LayersMergeTo(int32_t Layer1, int32_t Layer2, TVXBitmap* Destination) {
  StoreCurrentBitmap();
  const int32_t lower = std::min(Layer1, Layer2), upper = std::max(Layer1, Layer2);
  TVXLayer* L = Layers(lower);
  TVXLayer* U = Layers(upper);
  MergeTwoLayers(L, U, LayerMask(upper), lower > 0, fBackGround, fZoomFilter, Destination);
}

std::unique_ptr<TVXLayer> TVexlaneView::MergedLayer(int32_t LowerIndex, int32_t UpperIndex, bool KeepOrigin) {
  TVXLayer* L = fLayers[size_t(LowerIndex)].get();
  TVXLayer* U = fLayers[size_t(UpperIndex)].get();
  auto n = std::make_unique<TVXLayer>(this, L->Bitmap(), false);
  MergeTwoLayers(L, U, LayerMask(UpperIndex), KeepOrigin, fBackGround, fZoomFilter, n->Bitmap());
  if (KeepOrigin) {
    n->SetPosX(std::min(L->PosX(), U->PosX()));
    n->SetPosY(std::min(L->PosY(), U->PosY()));
  }
  n->SetLocked(L->Locked());
  n->SetVisibleBox(L->VisibleBox());
  n->SetSelectable(L->Selectable());
  return n;
}

namespace {
// The navigator is detached while layers are merged and attached again
// however the merge ends.
struct TNavigatorDetach {
  TVexlaneView* View;
  TVexlaneView* Nav;
  TVXNavigatorOptions Options;
  TNavigatorDetach(TVexlaneView* v, TVXNavigatorOptions o) : View(v), Nav(v->Navigator()), Options(o) {
    if (Nav != nullptr) View->SetNavigator(nullptr, Options);
  }
  ~TNavigatorDetach() {
    if (Nav != nullptr) View->SetNavigator(Nav, Options);
  }
};
}  // namespace

void TVexlaneView::LayersMerge(int32_t Layer1, int32_t Layer2, bool RemoveUpperLayer) {
  StoreCurrentBitmap();
  const int32_t lower = std::min(Layer1, Layer2), upper = std::max(Layer1, Layer2);
  (void)Layers(lower);
  (void)Layers(upper);
  if (lower == upper) return;
  TNavigatorDetach detach(this, fNavigator != nullptr ? fNavigator->fNavigatorOptions : 0);
  std::unique_ptr<TVXLayer> merged = MergedLayer(lower, upper, lower > 0);
  // The viewer's image may be one of the layers going away.
  fLayersCurrent = -1;
  fVXBitmap = nullptr;
  fBitmap = nullptr;
  if (RemoveUpperLayer) {
    if (LayerMask(upper) != nullptr) fLayers.erase(fLayers.begin() + upper + 1);
    fLayers.erase(fLayers.begin() + upper);
  }
  fLayers[size_t(lower)] = std::move(merged);
  fLayersCurrent = lower;
  TakeCurrentLayerBitmap();
  CallBitmapChangeEvents();
  Update();
}

void TVexlaneView::LayersMerge(const std::vector<int32_t>& List) {
  StoreCurrentBitmap();
  if (List.size() == 1) return;
  // The list is checked whole before any layer changes.
  std::set<int32_t> seen;
  for (int32_t i : List) {
    (void)Layers(i);
    if (!seen.insert(i).second) throw EVXException("Layer " + std::to_string(i) + " listed twice");
  }
  std::vector<TVXLayer*> work;
  if (List.empty()) {
    for (const auto& l : fLayers)
      if (!l->IsMask()) work.push_back(l.get());
  } else {
    for (int32_t i : List)
      if (!fLayers[size_t(i)]->IsMask()) work.push_back(fLayers[size_t(i)].get());
  }
  if (work.size() < 2) return;
  int32_t insertAt = List.empty() ? 0 : List.front();
  TVXLayer* wasCurrent = fLayers[size_t(fLayersCurrent)].get();
  TNavigatorDetach detach(this, fNavigator != nullptr ? fNavigator->fNavigatorOptions : 0);
  fLayersCurrent = -1;
  fVXBitmap = nullptr;
  fBitmap = nullptr;
  try {
    while (work.size() >= 2) {
      const int32_t li = LayerIndex(work[0]), ui = LayerIndex(work[1]);
      std::unique_ptr<TVXLayer> merged = MergedLayer(li, ui, insertAt > 0);
      TVXLayer* m = merged.get();
      // The new layer in place of the first, then the next layer and its
      // mask go.
      fLayers.insert(fLayers.begin() + insertAt, std::move(merged));
      fLayers.erase(fLayers.begin() + LayerIndex(work[0]));
      const int32_t u = LayerIndex(work[1]);
      if (LayerMask(u) != nullptr) fLayers.erase(fLayers.begin() + u + 1);
      fLayers.erase(fLayers.begin() + u);
      insertAt = LayerIndex(m);
      work.erase(work.begin());
      work[0] = m;
    }
  } catch (...) {
    const int32_t c = LayerIndex(wasCurrent);
    fLayersCurrent = c >= 0 ? c : std::clamp(insertAt, 0, LayersCount() - 1);
    TakeCurrentLayerBitmap();
    CallBitmapChangeEvents();
    Update();
    throw;
  }
  fLayersCurrent = std::clamp(insertAt, 0, LayersCount() - 1);
  TakeCurrentLayerBitmap();
  CallBitmapChangeEvents();
  Update();
}

void TVexlaneView::LayersDrawTo(TVXBitmap* Destination) {
  StoreCurrentBitmap();
  const TVXLayer* l0 = fLayers[0].get();
  int64_t right = int64_t(l0->PosX()) + l0->Width(), bottom = int64_t(l0->PosY()) + l0->Height();
  int64_t dx = 0, dy = 0;
  for (const auto& l : fLayers) {
    if (l->Cropped()) continue;
    right = std::max(right, int64_t(l->PosX()) + l->Width());
    bottom = std::max(bottom, int64_t(l->PosY()) + l->Height());
    dx = std::max(dx, -int64_t(l->PosX()));
    dy = std::max(dy, -int64_t(l->PosY()));
  }
  VXCheckImageSize(right + dx, bottom + dy, 32);
  if (Destination->IsEmpty()) Destination->Allocate(1, 1, vx24RGB);
  if (Destination->PixelFormat() != vx24RGB) Destination->SetPixelFormat(vx24RGB);
  Destination->Resize(int32_t(right + dx), int32_t(bottom + dy), double(int32_t(fBackGround)), 255, vxhLeft, vxvTop);
  TVXBitmap* b0 = l0->Bitmap();
  const int32_t w0 = b0 ? b0->Width() : 0, h0 = b0 ? b0->Height() : 0;
  // The view at 100 % with layer 0 at (dx, dy), for the length of the
  // drawing.
  const double zx = fZoomX, zy = fZoomY, zdx = fZoomD100X, zdy = fZoomD100Y, dzx = f100DZoomX, dzy = f100DZoomY;
  const int32_t vx = fViewX, vy = fViewY, offx = fOffX, offy = fOffY, extx = fExtX, exty = fExtY, zzw = fZZWW,
                zzh = fZZHH, mlw = fMaxLayerWidth, mlh = fMaxLayerHeight;
  auto restore = [&] {
    fZoomX = zx;
    fZoomY = zy;
    fZoomD100X = zdx;
    fZoomD100Y = zdy;
    f100DZoomX = dzx;
    f100DZoomY = dzy;
    fViewX = vx;
    fViewY = vy;
    fOffX = offx;
    fOffY = offy;
    fExtX = extx;
    fExtY = exty;
    fZZWW = zzw;
    fZZHH = zzh;
    fMaxLayerWidth = mlw;
    fMaxLayerHeight = mlh;
  };
  fZoomX = fZoomY = 100;
  fZoomD100X = fZoomD100Y = f100DZoomX = f100DZoomY = 1;
  fViewX = fViewY = 0;
  fOffX = int32_t(dx);
  fOffY = int32_t(dy);
  fExtX = fZZWW = fMaxLayerWidth = w0;
  fExtY = fZZHH = fMaxLayerHeight = h0;
  try {
    PaintToEx(Destination, nullptr, nullptr, false, false);
  } catch (...) {
    restore();
    UpdateNoPaint();
    throw;
  }
  restore();
  fUpdateInvalidate = false;
  try {
    Update();
  } catch (...) {
    fUpdateInvalidate = true;
    throw;
  }
  fUpdateInvalidate = true;
  UpdateVisibleRects();
  UpdateCoordinateTables();
}

void TVexlaneView::LayersMergeAll() {
  StoreCurrentBitmap();
  TVXBitmap drawing(std::max(1, fVXBitmap ? fVXBitmap->Width() : 1),
                    std::max(1, fVXBitmap ? fVXBitmap->Height() : 1), vx24RGB);
  drawing.Fill(double(int32_t(fBackGround)));
  LayersDrawTo(&drawing);
  LayersClear();
  fVXBitmap->Assign(&drawing);
  Update();
}
