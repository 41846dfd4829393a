// The viewer's gadgets drawn over the rendered layers: the layer boxes and
// outer areas (through hooks a subclass or the layer tools draw), and the
// highlighted pixel of the grid.
#include <algorithm>
#include <cmath>
#include <span>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "view/vexlaneview.h"

// ---------------------------------------------------------------------------
// Layer grips

namespace {
bool MIHas(TVXMouseInteract m, TVXMouseInteractItem i) { return (m & TVXMouseInteract(1u << i)) != 0; }
TPoint Mid(TPoint a, TPoint b) { return TPoint{(a.X + b.X) / 2, (a.Y + b.Y) / 2}; }
}  // namespace

void TVexlaneView::CalcLayerGripCoords(int32_t Index, TRect (&Grips)[9]) {
  const TVXLayer* L = Layers(Index);
  TPoint p[9];
  if (L->Rotate() != 0) {
    const TPoint* c = L->DrawingInfo().RotatedDest;
    p[0] = c[0];
    p[1] = c[1];
    p[2] = c[2];
    p[3] = c[3];
    p[4] = Mid(c[0], c[3]);
    p[5] = Mid(c[1], c[2]);
    p[6] = Mid(c[0], c[1]);
    p[7] = Mid(c[2], c[3]);
  } else {
    const TRect& r = L->ClientAreaBox();
    p[0] = {r.Left, r.Top};
    p[1] = {r.Right, r.Top};
    p[2] = {r.Right, r.Bottom};
    p[3] = {r.Left, r.Bottom};
    p[4] = {r.Left, (r.Top + r.Bottom) / 2};
    p[5] = {r.Right, (r.Top + r.Bottom) / 2};
    p[6] = {(r.Left + r.Right) / 2, r.Top};
    p[7] = {(r.Left + r.Right) / 2, r.Bottom};
  }
  const TVXBitmap* b = L->Bitmap();
  const int32_t bw = b ? b->Width() : 0, bh = b ? b->Height() : 0;
  p[8] = {ConvXBmp2Scr(L, int32_t(std::nearbyint(bw * L->RotateCenterX()))),
          ConvYBmp2Scr(L, int32_t(std::nearbyint(bh * L->RotateCenterY())))};
  const int32_t s = fLyrGripSize;
  for (int i = 0; i < 9; ++i) Grips[i] = TRect{p[i].X - s, p[i].Y - s, p[i].X + s, p[i].Y + s};
}

TVXGrip TVexlaneView::FindLayerGrip(int32_t x, int32_t y) {
  if (fLayersCurrent < 0 || fLayersCurrent >= LayersCount()) return vxNone;
  TRect g[9];
  CalcLayerGripCoords(fLayersCurrent, g);
  const int n = MIHas(fMouseInteract, miRotateLayers) ? 9 : 8;
  for (int i = 0; i < n; ++i)
    if (x >= g[i].Left && x <= g[i].Right && y >= g[i].Top && y <= g[i].Bottom) return TVXGrip(i + 1);
  return vxNone;
}

TVXGrip TVexlaneView::FindLayerGripDist(int32_t x, int32_t y, double& Distance) {
  Distance = 10000000.0;
  if (fLayersCurrent < 0 || fLayersCurrent >= LayersCount()) return vxNone;
  TRect g[9];
  CalcLayerGripCoords(fLayersCurrent, g);
  TVXGrip best = vxNone;
  for (int i = 0; i < 9; ++i) {
    const double cx = (g[i].Left + g[i].Right) / 2.0, cy = (g[i].Top + g[i].Bottom) / 2.0;
    const double d = std::hypot(x - cx, y - cy);
    if (d < Distance) {
      Distance = d;
      best = TVXGrip(i + 1);
    }
  }
  return best;
}

void TVexlaneView::SetLayersGripStyle(TColor GripColor1, TColor GripColor2, TBrushStyle GripBrushStyle,
                                      int32_t GripSize, TVXGripShape Shape) {
  fLyrGripColor1 = GripColor1;
  fLyrGripColor2 = GripColor2;
  fLyrGripBrushStyle = GripBrushStyle;
  fLyrGripSize = GripSize;
  fLyrGripShape = Shape;
  Update();
}

void TVexlaneView::SetLayersBoxStyle(TPenStyle PenStyle, TPenMode PenMode, int32_t PenWidth, TColor PenColor) {
  fLayerBoxPenStyle = PenStyle;
  fLayerBoxPenMode = PenMode;
  fLayerBoxPenWidth = PenWidth;
  fLayerBoxPenColor = PenColor;
  Update();
}

// ---------------------------------------------------------------------------
// Layer boxes, grips and outer areas

void TVexlaneView::DrawLayerOuter(TVXBitmap* ABitmap, int32_t Index) {
  // A checkered dimming of everything outside the layer's box.
  if (ABitmap == nullptr || ABitmap->PixelFormat() != vx24RGB) return;
  const TRect& r = Layers(Index)->ClientAreaBox();
  for (int32_t y = 0; y < ABitmap->Height(); ++y) {
    auto* row = static_cast<TRGB*>(ABitmap->ScanLine(y));
    const bool outY = y < r.Top || y > r.Bottom;
    for (int32_t x = 0; x < ABitmap->Width(); ++x)
      if ((outY || x < r.Left || x > r.Right) && ((x ^ y) & 1) == 0) row[x] = TRGB{97, 97, 97};
  }
}

void TVexlaneView::DrawLayerBox(TVXBitmap* ABitmap, int32_t Index) {
  const TVXLayer* L = Layers(Index);
  if (OnDrawLayerBox) {
    OnDrawLayerBox(static_cast<TVXView*>(this), ABitmap, Index);
    return;
  }
  TBitmap* pb = ABitmap->VclBitmap();
  if (pb == nullptr) return;
  TCanvas* c = pb->Canvas();
  c->Pen()->SetStyle(fLayerBoxPenStyle);
  c->Pen()->SetMode(fLayerBoxPenMode);
  c->Pen()->SetWidth(fLayerBoxPenWidth);
  c->Pen()->SetColor(fLayerBoxPenColor);
  c->Brush()->SetStyle(bsClear);
  if (L->Rotate() != 0) {
    const TPoint* d = L->DrawingInfo().RotatedDest;
    c->Polygon(std::span<const TPoint>(d, 4));
  } else {
    const TRect& r = L->ClientAreaBox();
    c->Rectangle(r.Left, r.Top, r.Right, r.Bottom);
  }
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetStyle(psSolid);
}

void TVexlaneView::DrawLayerGrips(TVXBitmap* ABitmap, int32_t Index) {
  TRect g[9];
  CalcLayerGripCoords(Index, g);
  if (OnDrawLayerGrip) {
    for (int i = 0; i < 9; ++i) OnDrawLayerGrip(static_cast<TVXView*>(this), ABitmap, Index, i, g[i]);
    return;
  }
  TBitmap* pb = ABitmap->VclBitmap();
  if (pb == nullptr) return;
  TVXCanvas c(pb->Canvas(), false, false, pb);
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetMode(pmCopy);
  c.Pen()->SetWidth(1);
  c.Pen()->SetColor(fLyrGripColor1);
  c.Brush()->SetStyle(fLyrGripBrushStyle);
  c.Brush()->SetColor(fLyrGripColor2);
  for (int i = 0; i < 8; ++i) {
    if (fLyrGripShape == vxgsBox)
      c.Rectangle(g[i]);
    else
      c.Ellipse(g[i]);
  }
}

void TVexlaneView::DrawLayerRotationCenter(TVXBitmap* ABitmap, int32_t Index) {
  TRect g[9];
  CalcLayerGripCoords(Index, g);
  TBitmap* pb = ABitmap->VclBitmap();
  if (pb == nullptr) return;
  TVXCanvas c(pb->Canvas(), false, false, pb);
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetMode(pmCopy);
  c.Pen()->SetWidth(1);
  c.Pen()->SetColor(fLyrGripColor1);
  c.Brush()->SetStyle(fLyrGripBrushStyle);
  c.Brush()->SetColor(fLyrGripColor2);
  c.Ellipse(g[8]);
}

void TVexlaneView::DrawLayerBoxes(TVXBitmap* ABitmap) {
  // The current layer's box, grips and rotation centre follow the mouse
  // interaction; every other layer with a visible box gets its box when
  // LayersDrawBox is on.
  for (int32_t i = 0; i < LayersCount(); ++i) {
    const TVXLayer* L = fLayers[size_t(i)].get();
    if (!L->VisibleBox()) continue;
    if (i == fLayersCurrent) {
      if (MIHas(fMouseInteract, miMoveLayers) || MIHas(fMouseInteract, miResizeLayers) ||
          MIHas(fMouseInteract, miRotateLayers))
        DrawLayerBox(ABitmap, i);
      if (MIHas(fMouseInteract, miResizeLayers) && !L->Locked()) DrawLayerGrips(ABitmap, i);
      if (MIHas(fMouseInteract, miRotateLayers)) DrawLayerRotationCenter(ABitmap, i);
    } else if (fLayersDrawBox) {
      DrawLayerBox(ABitmap, i);
    }
  }
}

// ---------------------------------------------------------------------------
// The highlighted pixel

void TVexlaneView::SetHighlightedPixel(TPoint Value) {
  // The client rectangle of a pixel of the current layer, grown by 5 on
  // every side (the rounded rectangle's pen reaches past the pixel).
  auto area = [this](TPoint p) {
    const TVXLayer* L = fLayers[size_t(fLayersCurrent)].get();
    return TRect{ConvXBmp2Scr(L, p.X) - 5, ConvYBmp2Scr(L, p.Y) - 5, ConvXBmp2Scr(L, p.X + 1) + 5,
                 ConvYBmp2Scr(L, p.Y + 1) + 5};
  };
  const bool haveLayer = fLayersCurrent >= 0 && fLayersCurrent < LayersCount();
  if (fHighlightedPixel.X >= 0 && fHighlightedPixel.Y >= 0) {
    if (haveLayer) UpdateRect(area(fHighlightedPixel));
    fHighlightedPixel = TPoint{-1, -1};
  }
  fHighlightedPixel = Value;
  // The new pixel's area is rendered again too, or a first highlight would
  // wait for the next change of the view.
  if (haveLayer && Value.X >= 0 && Value.Y >= 0) UpdateRect(area(Value));
  Paint();
}

void TVexlaneView::DrawHighlightedPixel(TVXBitmap* ABitmap, const TVXLayer* L) {
  if (fHighlightedPixel.X < 0 || fHighlightedPixel.Y < 0) return;
  const int32_t x1 = ConvXBmp2Scr(L, fHighlightedPixel.X), y1 = ConvYBmp2Scr(L, fHighlightedPixel.Y);
  const int32_t x2 = ConvXBmp2Scr(L, fHighlightedPixel.X + 1), y2 = ConvYBmp2Scr(L, fHighlightedPixel.Y + 1);
  TBitmap* pb = ABitmap->VclBitmap();
  if (pb == nullptr) return;
  TVXCanvas c(pb->Canvas(), true, true, pb);
  c.Pen()->SetColor(fHighlightedPixelColor);
  c.Pen()->SetWidth(2);
  c.Pen()->SetStyle(psSolid);
  c.Brush()->SetStyle(bsClear);
  c.RoundRect(x1, y1, x2, y2, 5, 5);
}
