// The geometry of the viewer's drags: scrolling while the cursor is outside
// the displayed image, rectangles and ellipses drawn from the press point,
// the grips of a rectangle selection, and resizing a selection or a layer
// by a grip.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/mask.h"
#include "view/vexlaneview.h"
#include "winui/win_input.h"

namespace {

constexpr int32_t kBreak = TVXMask::PolygonSeparator;

int32_t Rnd(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::nearbyint(v), double(INT32_MIN), double(INT32_MAX)));
}

int32_t Trunc(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::trunc(v), double(INT32_MIN), double(INT32_MAX)));
}

bool IsBreakPoint(const TPoint& p) { return p.X == kBreak && p.Y == kBreak; }

bool movesLeftAfter(TVXGrip g) { return g == vxTopLeft || g == vxBottomLeft || g == vxLeftSide; }

TVXGrip MirrorH(TVXGrip g) {
  switch (g) {
    case vxTopLeft: return vxTopRight;
    case vxTopRight: return vxTopLeft;
    case vxBottomLeft: return vxBottomRight;
    case vxBottomRight: return vxBottomLeft;
    case vxLeftSide: return vxRightSide;
    case vxRightSide: return vxLeftSide;
    default: return g;
  }
}

TVXGrip MirrorV(TVXGrip g) {
  switch (g) {
    case vxTopRight: return vxBottomRight;
    case vxBottomRight: return vxTopRight;
    case vxTopLeft: return vxBottomLeft;
    case vxBottomLeft: return vxTopLeft;
    case vxTopSide: return vxBottomSide;
    case vxBottomSide: return vxTopSide;
    default: return g;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Automatic scrolling

bool TVexlaneView::MouseMoveScroll() {
  bool moved = false;
  fMouseMoveScrolling = true;
  try {
    // Each pass moves the view at least one pixel toward a limit, so the
    // loop ends; the bound only guards against a view that never settles.
    for (int guard = 0; guard < 1000000; ++guard) {
      POINT sp{0, 0};
      GetCursorPos(&sp);
      const TPoint c = ScreenToClient(TPoint{sp.x, sp.y});
      int32_t dx = 0, dy = 0;
      if (c.X < fOffX)
        dx = c.X - fOffX;
      else if (c.X > fOffX + fExtX - 1)
        dx = c.X - (fOffX + fExtX - 1);
      if (c.Y < fOffY)
        dy = c.Y - fOffY;
      else if (c.Y > fOffY + fExtY - 1)
        dy = c.Y - (fOffY + fExtY - 1);
      if (dx == 0 && dy == 0) break;
      const int32_t ovx = fViewX, ovy = fViewY;
      SetViewXY(fViewX + dx, fViewY + dy);
      if (fViewX == ovx && fViewY == ovy) break;
      moved = true;
      // The positions follow the view by what it really moved (a view
      // stopped by its limit moves less than asked).
      const int32_t mx = fViewX - ovx, my = fViewY - ovy;
      fHSX0 -= mx;
      fHSY0 -= my;
      fHSX1 -= mx;
      fHSY1 -= my;
      ShiftMouseCoordinates(mx, my);
    }
  } catch (...) {
    fMouseMoveScrolling = false;
    throw;
  }
  fMouseMoveScrolling = false;
  return moved;
}

// ---------------------------------------------------------------------------
// Rectangles and ellipses drawn from the press point

void TVexlaneView::DropSubPolygonsSincePress() {
  TVXAnimPoly* ap = fHPolySel;
  if (ap == nullptr) return;
  if (ap->Count > fStartingPolyCount) ap->Count = std::max(fStartingPolyCount, 0);
  while (ap->Count > 0 && IsBreakPoint(ap->Points[size_t(ap->Count - 1)])) --ap->Count;
  // The box of what is left.
  bool first = true;
  for (int32_t i = 0; i < ap->Count; ++i) {
    const TPoint p = ap->Points[size_t(i)];
    if (IsBreakPoint(p)) continue;
    if (first) {
      ap->X1 = ap->X2 = p.X;
      ap->Y1 = ap->Y2 = p.Y;
      first = false;
    } else {
      ap->X1 = std::min(ap->X1, p.X);
      ap->Y1 = std::min(ap->Y1, p.Y);
      ap->X2 = std::max(ap->X2, p.X);
      ap->Y2 = std::max(ap->Y2, p.Y);
    }
  }
}

void TVexlaneView::SelectRectDrag(int32_t x, int32_t y, TShiftState Shift) {
  MouseMoveScroll();
  int32_t ax = fHSX1, ay = fHSY1;
  if (fSelectionAspectRatio == 0) {
    // The fixed-size rectangle follows the cursor.
    const int32_t hw = Rnd(fSelectionAbsWidth * fZoomX / 100) / 2;
    const int32_t hh = Rnd(fSelectionAbsHeight * fZoomY / 100) / 2;
    ax = x - hw;
    ay = y - hh;
    x = x + hw - 1;
    y = y + hh - 1;
  }
  TVXSelOp op = vxspReplace;
  if ((Shift & VXShiftBit(ssShift)) && fEnableShiftKey) {
    DropSubPolygonsSincePress();
    op = vxspAdd;
  }
  const bool square = (Shift & VXShiftBit(ssAlt)) || fForceALTkey;
  SelectRectEx(ax, ay, x, y, op, !HasSelectionOption(vxsoSizeable), square);
  FireSelectionEvent(OnSelectionChanging);
}

void TVexlaneView::SelectEllipseDrag(int32_t x, int32_t y, TShiftState Shift) {
  MouseMoveScroll();
  if (fHPolySel == nullptr || fVXBitmap == nullptr) return;
  if (fSelectionAspectRatio == 0) {
    // The fixed-size ellipse is centred on the cursor.
    const int32_t hw = Rnd(fSelectionAbsWidth * fZoomX / 100) / 2;
    const int32_t hh = Rnd(fSelectionAbsHeight * fZoomY / 100) / 2;
    fHSX1 = x;
    fHSY1 = y;
    x += hw;
    y += hh;
  }
  if ((Shift & VXShiftBit(ssShift)) && fEnableShiftKey) {
    DropSubPolygonsSincePress();
    PolyAddBreak(fHPolySel);
  } else {
    PolyClear(fHPolySel);
  }
  const int32_t dx = std::abs(x - fHSX1), dy = std::abs(y - fHSY1);
  int32_t rx, ry;
  const bool alt = (Shift & VXShiftBit(ssAlt)) || fForceALTkey;
  if (alt && fSelectionAspectRatio == -1) {
    rx = ry = std::max(dx, dy);
  } else if (fSelectionAspectRatio > 0) {
    rx = std::max(dx, dy);
    ry = Rnd(rx * fSelectionAspectRatio);
  } else {
    rx = dx;
    ry = dy;
  }
  const int32_t ex = Trunc(rx * 100.0 / fZoomX), ey = Trunc(ry * 100.0 / fZoomY);
  const int32_t n = std::max(50, Trunc(std::min(ex, ey) * 2 * std::numbers::pi));
  const TVXLayer* L = CurrentLayer();
  const int32_t cx = ConvXScr2Bmp(L, fHSX1), cy = ConvYScr2Bmp(L, fHSY1);
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  for (int32_t k = 0; k < n; ++k) {
    const double t = 2 * std::numbers::pi * k / n;
    PolyAddPoint(fHPolySel, std::clamp(Rnd(std::cos(t) * ex + cx), 0, w), std::clamp(Rnd(std::sin(t) * ey + cy), 0, h));
  }
  ShowSelectionOutline();
  RepaintUnlessLocked();
  FireSelectionEvent(OnSelectionChanging);
}

// ---------------------------------------------------------------------------
// Grips of a rectangle selection

TVXGrip TVexlaneView::GetGripAt(int32_t x, int32_t y) {
  TVXAnimPoly* ap = fHPolySel;
  if (ap == nullptr || !ap->Enabled || !HasSelectionOption(vxsoSizeable) || !IsRectPolygon(ap) || fRectSelecting)
    return vxNone;
  const TVXLayer* L = CurrentLayer();
  TPoint c[4];
  for (int k = 0; k < 4; ++k)
    c[k] = TPoint{ConvXBmp2Scr(L, ap->Points[size_t(k)].X), ConvYBmp2Scr(L, ap->Points[size_t(k)].Y)};
  for (int k = 0; k < 4; ++k)
    if (std::abs(x - c[k].X) <= fGripSize && std::abs(y - c[k].Y) <= fGripSize) return TVXGrip(k + 1);
  // Sides: left (3-0), right (1-2), top (0-1), bottom (3-2).
  const int sides[4][3] = {{3, 0, vxLeftSide}, {1, 2, vxRightSide}, {0, 1, vxTopSide}, {3, 2, vxBottomSide}};
  for (const auto& s : sides)
    if (VXDistPointToSegment(x, y, c[s[0]].X, c[s[0]].Y, c[s[1]].X, c[s[1]].Y) < 3) return TVXGrip(s[2]);
  return vxNone;
}

TVXGrip TVexlaneView::SelGripUnderMouse(int32_t x, int32_t y, TShiftState Shift) {
  if (Shift & VXShiftBit(ssShift)) return vxNone;
  return GetGripAt(x, y);
}

int32_t TVexlaneView::SelMoveUnderMouse(int32_t x, int32_t y, TShiftState Shift) {
  if (!fSelectionMask || fSelectionMask->IsEmpty() || (Shift & VXShiftBit(ssShift)) || fRectSelecting ||
      fPolySelecting || fCircSelecting || !HasSelectionOption(vxsoMoveable))
    return -1;
  return fSelectionMask->IsPointInside(SelX(x), SelY(y)) ? 0 : -1;
}

TVXGrip TVexlaneView::ResizeSelectionRect(TVXGrip Grip, int32_t x, int32_t y, bool KeepRatio) {
  TVXAnimPoly* ap = fHPolySel;
  if (ap == nullptr || fVXBitmap == nullptr || !IsRectPolygon(ap)) return Grip;
  const TVXLayer* L = CurrentLayer();
  x = ConvXScr2Bmp(L, x);
  y = ConvYScr2Bmp(L, y);
  const int32_t W = fVXBitmap->Width(), H = fVXBitmap->Height();
  int32_t x1 = ap->X1, y1 = ap->Y1, x2 = ap->X2, y2 = ap->Y2;
  double d = 0;
  if (KeepRatio) {
    if (fSelectionAspectRatio > 0) {
      d = 1 / fSelectionAspectRatio;
    } else {
      if (fly2 - fly1 + 1 == 0) return Grip;
      d = double(flx2 - flx1 + 1) / (fly2 - fly1 + 1);
    }
    if (d == 0 || !std::isfinite(d)) return Grip;
  }
  // The other coordinate of the dragged corner from x, at the ratio.
  auto yFor = [&](TVXGrip g, int32_t vx) -> int32_t {
    switch (g) {
      case vxTopLeft: return Rnd(fly2 + 1 - (flx2 + 1 - vx) / d);
      case vxTopRight: return Rnd(fly2 - (vx + 1 - flx1) / d);
      case vxBottomRight: return Rnd(fly1 - 1 + (vx - flx1 + 1) / d);
      case vxBottomLeft: return Rnd(fly1 + 1 + (flx2 - vx + 1) / d);
      default: return y;
    }
  };
  if (KeepRatio) {
    switch (Grip) {
      case vxTopSide:
        x = Rnd(flx2 + 1 - d * (fly2 + 1 - y));
        while (x < 0 && y < H) x = Rnd(flx2 + 1 - d * (fly2 + 1 - ++y));
        Grip = vxTopLeft;
        break;
      case vxBottomSide:
        x = Rnd(flx1 - 1 + d * (y - fly1 + 1));
        while (x > W && y > 0) x = Rnd(flx1 - 1 + d * (--y - fly1 + 1));
        Grip = vxBottomRight;
        break;
      case vxLeftSide: Grip = vxTopLeft; [[fallthrough]];
      case vxTopLeft:
        y = yFor(vxTopLeft, x);
        while (y < 0 && x < W) y = yFor(vxTopLeft, ++x);
        break;
      case vxRightSide: Grip = vxBottomRight; [[fallthrough]];
      case vxBottomRight: y = yFor(vxBottomRight, x); break;
      case vxTopRight:
        y = yFor(vxTopRight, x);
        while (y < 0 && x > 0) y = yFor(vxTopRight, --x);
        break;
      case vxBottomLeft:
        y = yFor(vxBottomLeft, x);
        while (y > H && x < W) y = yFor(vxBottomLeft, ++x);
        break;
      default: break;
    }
  }
  const bool movesLeft = Grip == vxTopLeft || Grip == vxBottomLeft || Grip == vxLeftSide;
  const bool movesRight = Grip == vxTopRight || Grip == vxBottomRight || Grip == vxRightSide;
  const bool movesTop = Grip == vxTopLeft || Grip == vxTopRight || Grip == vxTopSide;
  const bool movesBottom = Grip == vxBottomLeft || Grip == vxBottomRight || Grip == vxBottomSide;
  if (movesRight) ++x;
  if (movesBottom) ++y;
  // A moved edge that would meet its opposite stays one pixel away.
  if (movesLeft) x1 = x == x2 ? x2 - 1 : x;
  if (movesRight) x2 = x == x1 ? x1 + 1 : x;
  if (movesTop) y1 = y == y2 ? y2 - 1 : y;
  if (movesBottom) y2 = y == y1 ? y1 + 1 : y;
  if (x1 > x2) {
    std::swap(x1, x2);
    Grip = MirrorH(Grip);
  }
  if (y1 > y2) {
    std::swap(y1, y2);
    Grip = MirrorV(Grip);
  }
  if (KeepRatio && (x1 < 0 || x2 > W || y1 < 0 || y2 > H)) {
    // The dragged corner back onto the border, the other coordinate at the
    // ratio.
    const double r = 1 / d;
    if (x1 < 0 && movesLeftAfter(Grip)) {
      x1 = 0;
      if (Grip == vxTopLeft) y1 = y2 - Rnd((x2 - x1) * r);
      if (Grip == vxBottomLeft) y2 = y1 + Rnd((x2 - x1) * r);
    }
    if (x2 > W && !movesLeftAfter(Grip)) {
      x2 = W;
      if (Grip == vxTopRight) y1 = y2 - Rnd((x2 - x1) * r);
      if (Grip == vxBottomRight) y2 = y1 + Rnd((x2 - x1) * r);
    }
    if (y1 < 0 && (Grip == vxTopLeft || Grip == vxTopRight)) {
      y1 = 0;
      if (Grip == vxTopLeft) x1 = x2 - Rnd((y2 - y1) * d);
      if (Grip == vxTopRight) x2 = x1 + Rnd((y2 - y1) * d);
    }
    if (y2 > H && (Grip == vxBottomLeft || Grip == vxBottomRight)) {
      y2 = H;
      if (Grip == vxBottomLeft) x1 = x2 - Rnd((y2 - y1) * d);
      if (Grip == vxBottomRight) x2 = x1 + Rnd((y2 - y1) * d);
    }
  }
  x1 = std::clamp(x1, 0, W);
  x2 = std::clamp(x2, 0, W);
  y1 = std::clamp(y1, 0, H);
  y2 = std::clamp(y2, 0, H);
  PolyClear(ap);
  PolyAddPoint(ap, x1, y1);
  PolyAddPoint(ap, x2, y1);
  PolyAddPoint(ap, x2, y2);
  PolyAddPoint(ap, x1, y2);
  ShowSelectionOutline();
  RepaintUnlessLocked();
  return Grip;
}

// ---------------------------------------------------------------------------
// Resizing a layer by a grip

void TVexlaneView::ResizeLayerByGrip(int32_t X, int32_t Y, bool Alt) {
  TVXLayer* L = CurrentLayer();
  const int32_t W = L->Width(), H = L->Height();
  // An empty layer has no ratio to keep nor size to scale.
  if (W <= 0 || H <= 0) return;
  TVXGrip g = fLayerResizing;
  int32_t nx = XScr2Bmp(X), ny = YScr2Bmp(Y);
  const int32_t px = XScr2Bmp(fPredLX), py = YScr2Bmp(fPredLY);
  const TRect& B = fLyrResizingClientAreaBox;
  const bool corner = g >= vxTopLeft && g <= vxBottomLeft;
  const bool keep = (fLayersResizeAspectRatio == vxarALTKey && Alt) || fLayersResizeAspectRatio == vxarAlways ||
                    (fLayersResizeAspectRatio == vxarAlwaysOnCornerGrip && corner);
  if (keep) {
    const double AR = fLayersResizingAR;
    switch (g) {
      case vxTopLeft:
      case vxBottomRight: ny = YScr2Bmp(B.Top + Trunc((X - B.Left) * AR)); break;
      case vxTopRight: ny = YScr2Bmp(B.Top + Trunc(AR * (B.Right - X))); break;
      case vxBottomLeft: ny = YScr2Bmp(B.Bottom + Trunc(AR * (B.Left - X))); break;
      case vxLeftSide:
        ny = YScr2Bmp(B.Bottom + Trunc(AR * (B.Left - X)));
        g = vxBottomLeft;
        break;
      case vxRightSide:
        ny = YScr2Bmp(B.Top + Trunc((X - B.Left) * AR));
        g = vxBottomRight;
        break;
      case vxTopSide:
        if (AR != 0) nx = XScr2Bmp(B.Left + Trunc((Y - B.Top) / AR));
        g = vxTopLeft;
        break;
      case vxBottomSide:
        if (AR != 0) nx = XScr2Bmp(B.Left + Trunc((Y - B.Top) / AR));
        g = vxBottomRight;
        break;
      default: break;
    }
  }
  // Each size at least 1; a position moves only with a size above 1.
  auto setW = [&](int64_t w, int32_t newPosX, bool movePos) {
    const int32_t v = int32_t(std::clamp<int64_t>(w, 1, INT32_MAX));
    L->SetWidth(v);
    if (movePos && v > 1) L->SetPosX(newPosX);
  };
  auto setH = [&](int64_t h, int32_t newPosY, bool movePos) {
    const int32_t v = int32_t(std::clamp<int64_t>(h, 1, INT32_MAX));
    L->SetHeight(v);
    if (movePos && v > 1) L->SetPosY(newPosY);
  };
  const int32_t PX = L->PosX(), PY = L->PosY();
  switch (g) {
    case vxTopLeft:
      setW(int64_t(PX) + W - nx, nx, true);
      setH(int64_t(PY) + H - ny, ny, true);
      break;
    case vxTopRight:
      setW(int64_t(nx) - PX, 0, false);
      setH(int64_t(PY) + H - ny, ny, true);
      break;
    case vxBottomRight:
      setW(int64_t(nx) - XScr2Bmp(B.Left), 0, false);
      setH(int64_t(ny) - YScr2Bmp(B.Top), 0, false);
      break;
    case vxBottomLeft:
      setW(int64_t(PX) + W - nx, nx, true);
      setH(int64_t(ny) - YScr2Bmp(B.Top), 0, false);
      break;
    case vxLeftSide: setW(int64_t(W) + px - nx, PX + nx - px, true); break;
    case vxRightSide: setW(int64_t(nx) - XScr2Bmp(B.Left), 0, false); break;
    case vxTopSide: setH(int64_t(PY) + H - ny, ny, true); break;
    case vxBottomSide: setH(int64_t(H) + ny - py, 0, false); break;
    default: break;
  }
  if (!keep && L->Width() > 0) fLayersResizingAR = double(L->Height()) / L->Width();
}
