// The viewer's gadgets drawn over the rendered layers: the layer boxes and
// outer areas (through hooks a subclass or the layer tools draw), and the
// highlighted pixel of the grid.
#include <algorithm>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "view/vexlaneview.h"

// ---------------------------------------------------------------------------
// Layer boxes and outer areas

void TVexlaneView::DrawLayerOuter(TVXBitmap* ABitmap, int32_t Index) {
  (void)ABitmap;
  (void)Index;
}

void TVexlaneView::DrawLayerBox(TVXBitmap* ABitmap, int32_t Index) {
  (void)ABitmap;
  (void)Index;
}

void TVexlaneView::DrawLayerBoxes(TVXBitmap* ABitmap) {
  // The current layer's box, grips and rotation centre follow the mouse
  // interaction; every other layer with a visible box gets its box when
  // LayersDrawBox is on.
  for (int32_t i = 0; i < LayersCount(); ++i) {
    const TVXLayer* L = fLayers[size_t(i)].get();
    if (!L->VisibleBox() || i == fLayersCurrent) continue;
    if (fLayersDrawBox) DrawLayerBox(ABitmap, i);
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
