// Animated polygons ("marching ants"): the records, the timer that moves
// their dashes, and the drawing of outlines, grips, the selection grid, the
// centre cross and the selection mask's own outline on the window.
#include <algorithm>
#include <cmath>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "gui/extctrls.h"
#include "platform/win_clock.h"
#include "view/vexlaneview.h"
#include "winui/gdi.h"

namespace {

constexpr int32_t kBreak = TVXMask::PolygonSeparator;

bool IsBreak(const TPoint& p) { return p.X == kBreak && p.Y == kBreak; }

void Grow(TVXAnimPoly* ap) {
  if (ap->Count < int32_t(ap->Points.size())) return;
  ap->Points.resize(size_t(std::max<int64_t>(2 * int64_t(ap->Points.size()), int64_t(ap->Count) + 1)));
}

// The dash walker of one outline: every pixel of a line gets the dash
// colour of the polygon's running counter.
struct TDashWalk {
  TVXAnimPoly* ap;
  TCanvas* canvas;
  COLORREF c1, c2;
};

void DashPixel(int x, int y, LPARAM data) {
  auto* w = reinterpret_cast<TDashWalk*>(data);
  TVXAnimPoly* ap = w->ap;
  if (ap->PixelBitmap == nullptr) return;
  COLORREF c;
  if (ap->DashCounter <= 3) {
    c = w->c1;
  } else if (ap->DashCounter <= 6) {
    c = w->c2;
  } else {
    c = w->c2;
    ap->DashCounter = -1;
  }
  auto* px = static_cast<uint8_t*>(ap->PixelBitmap->ScanLine(0));
  px[0] = uint8_t(c >> 16);
  px[1] = uint8_t(c >> 8);
  px[2] = uint8_t(c);
  w->canvas->Draw(x, y, ap->PixelBitmap);
  ++ap->DashCounter;
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

TVXAnimPoly* TVexlaneView::AnimPolygonNew(TColor VColor1, TColor VColor2, bool VAnimated, bool VSizeable) {
  auto ap = std::make_unique<TVXAnimPoly>();
  ap->Color1 = VColor1;
  ap->Color2 = VColor2;
  ap->Animated = VAnimated;
  ap->Sizeable = VSizeable;
  if (!InState(csDesigning)) ap->Canvas = Canvas();
  if (!fDrawPixelBitmap) fDrawPixelBitmap = std::make_unique<TBitmap>(1, 1, pf24bit);
  ap->PixelBitmap = fDrawPixelBitmap.get();
  TVXAnimPoly* result = ap.get();
  fAnimPoly.push_back(std::move(ap));
  if (fAnimPoly.size() == 1 && !InState(csDesigning) && (Owner() != nullptr || Parent() != nullptr)) {
    if (!fAnimPolyTimer) {
      fAnimPolyTimer = std::make_unique<TTimer>();
      fAnimPolyTimer->SetEnabled(false);
      fAnimPolyTimer->SetInterval(210);
      fAnimPolyTimer->OnTimer = [this](void*) { DrawAnimPolygons(fAnimPolyTimer.get()); };
    }
    fAnimPolyTimer->SetEnabled(true);
  }
  return result;
}

void TVexlaneView::AnimPolygonDel(TVXAnimPoly* ap) {
  if (ap == nullptr) return;
  auto it = std::find_if(fAnimPoly.begin(), fAnimPoly.end(), [ap](const auto& p) { return p.get() == ap; });
  if (it == fAnimPoly.end()) return;
  if (ap == fHPolySel) fHPolySel = nullptr;
  fAnimPoly.erase(it);
  if (fAnimPoly.empty() && fAnimPolyTimer) fAnimPolyTimer->SetEnabled(false);
  RepaintUnlessLocked();
}

void TVexlaneView::AnimPolygonAddPt(TVXAnimPoly* ap, int32_t x, int32_t y) {
  if (ap == nullptr) return;
  PolyAddPoint(ap, x, y);
  RepaintUnlessLocked();
}

void TVexlaneView::AnimPolygonClear(TVXAnimPoly* ap) {
  if (ap == nullptr) return;
  PolyClear(ap);
  RepaintUnlessLocked();
}

void TVexlaneView::AnimPolygonEnabled(TVXAnimPoly* ap, bool Value) {
  if (ap == nullptr) return;
  ap->Enabled = Value;
  DrawAnimPolygons(this);
}

void TVexlaneView::PolyAddPoint(TVXAnimPoly* ap, int32_t x, int32_t y) {
  Grow(ap);
  ap->Points[size_t(ap->Count)] = TPoint{x, y};
  ++ap->Count;
  if (ap->Count == 2) {
    const TPoint a = ap->Points[0], b = ap->Points[1];
    ap->X1 = std::min(a.X, b.X);
    ap->Y1 = std::min(a.Y, b.Y);
    ap->X2 = std::max(a.X, b.X);
    ap->Y2 = std::max(a.Y, b.Y);
  } else if (ap->Count > 2) {
    ap->X1 = std::min(ap->X1, x);
    ap->Y1 = std::min(ap->Y1, y);
    ap->X2 = std::max(ap->X2, x);
    ap->Y2 = std::max(ap->Y2, y);
  }
  fSel = true;
}

void TVexlaneView::PolyAddBreak(TVXAnimPoly* ap) {
  // A polygon never starts with a break, nor holds two in a row.
  if (ap->Count == 0 || IsBreak(ap->Points[size_t(ap->Count - 1)])) return;
  Grow(ap);
  ap->Points[size_t(ap->Count)] = TPoint{kBreak, kBreak};
  ++ap->Count;
}

void TVexlaneView::PolyDelLastSub(TVXAnimPoly* ap) {
  int32_t i = ap->Count - 1;
  while (i >= 0 && !IsBreak(ap->Points[size_t(i)])) --i;
  if (i < 0) return;
  ap->Count = i;
  if (ap->Count == 0)
    PolyClear(ap);
  else
    RepaintUnlessLocked();
}

void TVexlaneView::PolyDelLastPoint(TVXAnimPoly* ap) {
  if (ap->Count <= 1) return;
  --ap->Count;
  while (ap->Count > 1 && IsBreak(ap->Points[size_t(ap->Count - 1)])) --ap->Count;
}

void TVexlaneView::PolyClear(TVXAnimPoly* ap) {
  // The bounding box keeps its values.
  ap->Points.clear();
  ap->Count = 0;
}

bool TVexlaneView::IsRectPolygon(const TVXAnimPoly* ap) {
  if (ap == nullptr || ap->Count != 4) return false;
  const TPoint* p = ap->Points.data();
  for (int i = 0; i < 4; ++i)
    if (IsBreak(p[i])) return false;
  // Edges alternately horizontal and vertical, starting with either.
  const bool hv = p[0].Y == p[1].Y && p[1].X == p[2].X && p[2].Y == p[3].Y && p[3].X == p[0].X;
  const bool vh = p[0].X == p[1].X && p[1].Y == p[2].Y && p[2].X == p[3].X && p[3].Y == p[0].Y;
  return hv || vh;
}

// ---------------------------------------------------------------------------
// Timer

void TVexlaneView::SetDelayTimer(int32_t Value) {
  fDelayTimer = Value;
  if (Value <= 0) return;
  if (!fAnimPolyTimer) {
    fAnimPolyTimer = std::make_unique<TTimer>();
    fAnimPolyTimer->SetEnabled(false);
    fAnimPolyTimer->OnTimer = [this](void*) { DrawAnimPolygons(fAnimPolyTimer.get()); };
  }
  fAnimPolyTimer->SetInterval(uint32_t(Value));
}

// ---------------------------------------------------------------------------
// Drawing

void TVexlaneView::DrawSelectionGrid(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (fSelectionGridWidth <= 1 && fSelectionGridHeight <= 1) return;
  if (!HandleAllocated()) return;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  TCanvas* c = Canvas();
  c->Pen()->SetColor(VXGetGlobalSettings()->SelectionGridColor());
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  for (int32_t k = 1; k < fSelectionGridHeight; ++k) {
    const int32_t y = y1 + int32_t(int64_t(k) * (y2 - y1) / fSelectionGridHeight);
    c->MoveTo(x1, y);
    c->LineTo(x2, y);
  }
  for (int32_t k = 1; k < fSelectionGridWidth; ++k) {
    const int32_t x = x1 + int32_t(int64_t(k) * (x2 - x1) / fSelectionGridWidth);
    c->MoveTo(x, y1);
    c->LineTo(x, y2);
  }
}

void TVexlaneView::DrawAnimPolygons(void* Sender) {
  if (!CanPaint() || !fVisibleSelection || !HandleAllocated()) return;
  const bool byTimer = fAnimPolyTimer && Sender == fAnimPolyTimer.get();
  const bool interacting =
      fRectSelecting || fPolySelecting || fCircSelecting || fRectResizing != vxNone || fSelectMoving == 0;
  bool anyAnimated = false;
  const TVXLayer* L = CurrentLayer();
  for (size_t p = 0; p < fAnimPoly.size(); ++p) {
    TVXAnimPoly* ap = fAnimPoly[p].get();
    if (!ap->Enabled) continue;
    if (ap->Animated) {
      anyAnimated = true;
      if (byTimer && !interacting) {
        ap->Phase = ap->Phase >= 9 ? 0 : ap->Phase + 1;
        if (ap == fHPolySel) ++fAniCounter;
      }
    }
    TCanvas* c = ap->Canvas;
    if (c == nullptr || fLockPaint > 0 || fMouseMoveScrolling) continue;
    const TRect clip = c->ClipRect();
    if (clip.Right <= clip.Left || clip.Bottom <= clip.Top) continue;
    const bool rect = IsRectPolygon(ap);
    if (ap->Sizeable && rect && !fRectSelecting && !fRectMoving) {
      c->Brush()->SetStyle(fGripBrushStyle);
      c->Brush()->SetColor(fGripColor2);
      c->Pen()->SetColor(fGripColor1);
      c->Pen()->SetMode(pmCopy);
      c->Pen()->SetStyle(psSolid);
      int32_t gx1 = INT32_MAX, gy1 = INT32_MAX, gx2 = INT32_MIN, gy2 = INT32_MIN;
      auto grip = [&](int32_t x, int32_t y) {
        if (fGripShape == vxgsBox)
          c->Rectangle(x - fGripSize, y - fGripSize, x + fGripSize, y + fGripSize);
        else
          c->Ellipse(x - fGripSize, y - fGripSize, x + fGripSize, y + fGripSize);
      };
      for (int k = 0; k < 4; ++k) {
        const int32_t x = ConvXBmp2Scr(L, ap->Points[size_t(k)].X), y = ConvYBmp2Scr(L, ap->Points[size_t(k)].Y);
        grip(x, y);
        gx1 = std::min(gx1, x);
        gy1 = std::min(gy1, y);
        gx2 = std::max(gx2, x);
        gy2 = std::max(gy2, y);
      }
      if (fExtendedGrips) {
        const int32_t mx = gx1 + (gx2 - gx1) / 2, my = gy1 + (gy2 - gy1) / 2;
        grip(mx, gy1);
        grip(gx1, my);
        grip(gx2, my);
        grip(mx, gy2);
      }
      DrawSelectionGrid(gx1, gy1, gx2, gy2);
    }
    if (ap == fHPolySel && fSelectionMask && !fSelectionMask->IsEmpty() && fRectResizing == vxNone &&
        !fRectSelecting && !fCircSelecting && !fPolySelecting && !fRectMoving) {
      if (!(fDelayDisplaySelection && fStable2 > 0)) {
        const TVXDrawingInfo& d = L->DrawingInfo();
        const uint32_t t0 = GetTickCount();
        fSelectionMask->DrawOutline(c, d.XDst, d.YDst, d.WidthDst, d.HeightDst, d.XSrc, d.YSrc, d.WidthSrc,
                                    d.HeightSrc, fAniCounter, fSelColor1, fSelColor2,
                                    fIsNavigator ? &fNavigatorActualRect : nullptr);
        const uint32_t elapsed = GetTickCount() - t0;
        if (fDelayTimer < 0 && (Owner() != nullptr || Parent() != nullptr) && fAnimPolyTimer)
          fAnimPolyTimer->SetInterval(
              uint32_t(std::max<int64_t>(210, int64_t(elapsed) * 100 / int64_t(-int64_t(fDelayTimer)))));
      }
      continue;
    }
    // The outline itself.
    ap->DashCounter = ap->Phase;
    c->Pen()->SetMode(pmCopy);
    TDashWalk walk{ap, c, VXColorToRGB(ap->Color1), VXColorToRGB(ap->Color2)};
    const LPARAM data = reinterpret_cast<LPARAM>(&walk);
    auto event = [&](int32_t point, int32_t x, int32_t y) {
      if (OnDrawPolygon) OnDrawPolygon(static_cast<TVXView*>(this), int32_t(p), point, c, x, y);
    };
    if (rect) {
      const int32_t x1 = ConvXBmp2Scr(L, ap->Points[0].X), y1 = ConvYBmp2Scr(L, ap->Points[0].Y);
      const int32_t x2 = ConvXBmp2Scr(L, ap->Points[2].X) - 1, y2 = ConvYBmp2Scr(L, ap->Points[2].Y) - 1;
      fNavigatorActualRect = TRect{x1, y1, x2, y2};
      LineDDA(x1, y1, x2, y1, DashPixel, data);
      event(1, x2, y1);
      LineDDA(x2, y1, x2, y2, DashPixel, data);
      event(2, x2, y2);
      LineDDA(x2, y2, x1, y2, DashPixel, data);
      event(3, x1, y2);
      // Back up to the first corner, so that the outline closes.
      LineDDA(x1, y2, x1, y1, DashPixel, data);
      if (fRectSelecting || fRectMoving) DrawSelectionGrid(x1, y1, x2, y2);
      event(0, x1, y1);
    } else {
      int32_t first = -1;  // first point of the current sub-polygon
      for (int32_t i = 0; i < ap->Count; ++i) {
        const TPoint pt = ap->Points[size_t(i)];
        if (IsBreak(pt)) {
          if (first >= 0 && i > 0) {
            const TPoint a = ap->Points[size_t(i - 1)], b = ap->Points[size_t(first)];
            const int32_t ax = ConvXBmp2Scr(L, a.X), ay = ConvYBmp2Scr(L, a.Y);
            LineDDA(ax, ay, ConvXBmp2Scr(L, b.X), ConvYBmp2Scr(L, b.Y), DashPixel, data);
            event(i - 1, ax, ay);
          }
          first = -1;
          continue;
        }
        if (first < 0) {
          first = i;
          continue;
        }
        const TPoint a = ap->Points[size_t(i - 1)];
        const int32_t ax = ConvXBmp2Scr(L, a.X), ay = ConvYBmp2Scr(L, a.Y);
        LineDDA(ax, ay, ConvXBmp2Scr(L, pt.X), ConvYBmp2Scr(L, pt.Y), DashPixel, data);
        event(i - 1, ax, ay);
      }
      if (first >= 0 && ap->Count - 1 > first && !fPolySelecting) {
        const TPoint a = ap->Points[size_t(ap->Count - 1)], b = ap->Points[size_t(first)];
        const int32_t ax = ConvXBmp2Scr(L, a.X), ay = ConvYBmp2Scr(L, a.Y);
        LineDDA(ax, ay, ConvXBmp2Scr(L, b.X), ConvYBmp2Scr(L, b.Y), DashPixel, data);
        event(ap->Count - 1, ax, ay);
      }
    }
    if (ap->ShowCenter && ap->Count > 1 && ap->X2 > ap->X1 && ap->Y2 > ap->Y1) {
      const int32_t cx = ConvXBmp2Scr(L, ap->X1 + (ap->X2 - ap->X1) / 2);
      const int32_t cy = ConvYBmp2Scr(L, ap->Y1 + (ap->Y2 - ap->Y1) / 2);
      ap->DashCounter = ap->Phase;
      LineDDA(cx - 11, cy, cx + 11, cy, DashPixel, data);
      ap->DashCounter = ap->Phase;
      LineDDA(cx, cy - 11, cx, cy + 11, DashPixel, data);
    }
  }
  if (Owner() != nullptr || Parent() != nullptr) {
    if (!fAnimPolyTimer) {
      fAnimPolyTimer = std::make_unique<TTimer>();
      fAnimPolyTimer->SetEnabled(false);
      fAnimPolyTimer->SetInterval(210);
      fAnimPolyTimer->OnTimer = [this](void*) { DrawAnimPolygons(fAnimPolyTimer.get()); };
    }
    fAnimPolyTimer->SetEnabled(anyAnimated || fStable > 0 || fStable2 > 0);
  }
  // The stability counters run on the timer's ticks only: outlines drawn by
  // painting or by the selection operations do not shorten the settling.
  if (!byTimer) return;
  if (fStable2 > 0) --fStable2;
  if (fStable > 0) {
    --fStable;
    if (fStable == 0) Update();
  }
}

void TVexlaneView::RedrawSelectionOutlines() { DrawAnimPolygons(this); }
