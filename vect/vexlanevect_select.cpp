// Hit testing, grips and selecting at a point.
#include <algorithm>
#include <cmath>
#include <climits>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/layer.h"
#include "vect/vexlanevect.h"

namespace {

bool IsLineKind(TVXVObjectKind k) { return k == vxkLINE || k == vxkRULER || k == vxkLINELABEL; }

bool InGrip(int32_t x, int32_t y, TPoint g, int32_t s) {
  return g.X - s <= x && x < g.X + s && g.Y - s <= y && y < g.Y + s;
}

}  // namespace

const TVXLayer* TVexlaneVect::ObjLayer(const TVXVObject& o) const {
  return fObjAnchorToLayers && o.Layer >= 0 && o.Layer < LayersCount() ? Layers(o.Layer) : nullptr;
}

std::vector<TVXDPoint> TVexlaneVect::MappedPolyPointsF(const TVXVObject& o) {
  const double bw = double(o.PolyBaseX2) - o.PolyBaseX1, bh = double(o.PolyBaseY2) - o.PolyBaseY1;
  const double sx = bw != 0 ? (double(o.x2) - o.x1) / bw : 1;
  const double sy = bh != 0 ? (double(o.y2) - o.y1) / bh : 1;
  std::vector<TVXDPoint> r;
  r.reserve(o.PolyPoints.size());
  for (const TPoint& p : o.PolyPoints)
    r.push_back(TVXDPoint{o.x1 + (double(p.X) - o.PolyBaseX1) * sx, o.y1 + (double(p.Y) - o.PolyBaseY1) * sy});
  return r;
}

std::vector<TPoint> TVexlaneVect::MappedPolyPoints(const TVXVObject& o) {
  auto sat = [](double v) { return v == v ? int32_t(std::clamp(v, -2147483648.0, 2147483647.0)) : 0; };
  std::vector<TPoint> r;
  for (const TVXDPoint& p : MappedPolyPointsF(o)) r.push_back(TPoint{sat(std::nearbyint(p.X)), sat(std::nearbyint(p.Y))});
  return r;
}

// ---------------------------------------------------------------------------
// Distances

double TVexlaneVect::ObjDistance(const TVXVObject& o, int32_t bx, int32_t by) {
  const bool filled = o.BrushStyle != bsClear || fObjBoxInnerSelectable;
  switch (o.Kind) {
    case vxkLINE:
    case vxkLINELABEL: {
      double d = VXDistPointToSegment(bx, by, o.x1, o.y1, o.x2, o.y2);
      if (o.PenWidth > 1) d = o.PenWidth / 2.0 > d ? 0 : d - o.PenWidth / 2.0;
      if (o.Kind == vxkLINELABEL) {
        const TRect& b = o.DrawnLabelBox;
        d = std::min(d, VXDistanceToRectOutline(bx, by, b.Left, b.Top, b.Right, b.Bottom, true, 1));
      }
      return d;
    }
    case vxkRULER:
      return VXDistPointToSegment(bx, by, o.x1, o.y1, o.x2, o.y2);
    case vxkBOX:
      return VXDistanceToRectOutline(bx, by, o.x1, o.y1, o.x2, o.y2, filled, o.PenWidth);
    case vxkTEXT:
    case vxkMEMO:
    case vxkEXTENDED:
      return VXDistanceToRectOutline(bx, by, o.x1, o.y1, o.x2, o.y2, true, o.PenWidth);
    case vxkELLIPSE:
      return VXDistanceToEllipse(bx, by, o.x1, o.y1, o.x2, o.y2, filled, o.PenWidth);
    case vxkARC:
      return VXDistanceToEllipse(bx, by, o.x1, o.y1, o.x2, o.y2, false, o.PenWidth);
    case vxkBITMAP: {
      const double d = VXDistanceToRectOutline(bx, by, o.x1, o.y1, o.x2, o.y2, true, o.PenWidth);
      if (d != 0 || !fObjBitmapHandleTransparencyOnSel || o.BitmapIdx < 0 || o.BitmapIdx >= int32_t(fBitmaps.size()))
        return d;
      TVXBitmap* b = fBitmaps[size_t(o.BitmapIdx)].fBitmap.get();
      if (!b || b->IsEmpty() || !b->HasAlphaChannel()) return d;
      // The picture pixel under the point; an object of no width (height)
      // maps every point to column (row) 0.
      auto pix = [](int32_t p, int32_t a1, int32_t a2, int32_t n) {
        if (a2 == a1) return 0;
        const double v = std::nearbyint((double(p) - a1) / ((double(a2) - a1) / n));
        return int32_t(std::clamp(v, 0.0, double(n - 1)));
      };
      const int32_t px = pix(bx, o.x1, o.x2, b->Width()), py = pix(by, o.y1, o.y2, b->Height());
      return b->Alpha(px, py) != 0 ? 0 : 1000;
    }
    case vxkPOLYLINE: {
      const double bw = double(o.PolyBaseX2) - o.PolyBaseX1, bh = double(o.PolyBaseY2) - o.PolyBaseY1;
      const double sx = bw != 0 ? (double(o.x2) - o.x1) / bw : 1;
      const double sy = bh != 0 ? (double(o.y2) - o.y1) / bh : 1;
      const int32_t n = o.PolyPointsCount();
      if (o.PolyClosed && filled && n > 0 &&
          VXPointInZoomedPolygon(bx, by, o.PolyPoints.data(), n, o.PolyBaseX1, o.PolyBaseY1, o.x1, o.y1, sx, sy))
        return 0;
      return VXDistPointToPolyline(bx, by, o.PolyPoints.data(), n, o.PolyBaseX1, o.PolyBaseY1, o.x1, o.y1, sx, sy,
                                   o.PenWidth, o.PolyClosed);
    }
    case vxkANGLE: {
      int32_t n = 0;
      while (n < 3 && o.AnglePoints[n].X != -1000000) ++n;
      return VXDistPointToPolyline(bx, by, o.AnglePoints, n, 0, 0, 0, 0, 1, 1, 1, false);
    }
    default:
      return -1;
  }
}

double TVexlaneVect::GetObjDistance(int32_t hobj, int32_t bx, int32_t by) { return ObjDistance(*GetObjRecord(hobj), bx, by); }

// ---------------------------------------------------------------------------
// Finding the object at a point

int32_t TVexlaneVect::FindObjectAtEx(int32_t x, int32_t y, double& Distance, bool SelectableOnly) {
  int32_t li = FindLayerAt(x, y);
  if (li < 0) li = 0;
  const TVXLayer* L = fObjAnchorToLayers && li < LayersCount() ? Layers(li) : nullptr;
  const int32_t bx = L ? ConvXScr2Bmp(L, x) : XScr2Bmp(x);
  const int32_t by = L ? ConvYScr2Bmp(L, y) : YScr2Bmp(y);
  int32_t vl, vt, vr, vb;
  if (L) {
    const TRect& c = L->ClientAreaBox();
    vl = ConvXScr2Bmp(L, c.Left), vt = ConvYScr2Bmp(L, c.Top);
    vr = ConvXScr2Bmp(L, c.Right), vb = ConvYScr2Bmp(L, c.Bottom);
  } else {
    auto tr = [](double v) { return int32_t(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0)); };
    vl = tr(ViewX() * 100.0 / ZoomX()), vt = tr(ViewY() * 100.0 / ZoomY());
    vr = tr((double(ViewX()) + ExtentX()) * 100.0 / ZoomX());
    vb = tr((double(ViewY()) + ExtentY()) * 100.0 / ZoomY());
    if (vr == 0) vr = INT32_MAX;
    if (vb == 0) vb = INT32_MAX;
  }
  double best = 2147483647.0;
  int32_t result = -3;
  for (size_t i = fObj.size(); i-- > 0;) {
    const int32_t h = fObj[i];
    const TVXVObject& o = *fObjHeap[size_t(h)];
    if (fObjAnchorToLayers && o.Layer != li) continue;
    if (!(o.Style & VXVStyleOf(vxvsVisible))) continue;
    if (SelectableOnly && !(o.Style & VXVStyleOf(vxvsSelectable))) continue;
    if (!VXRectsIntersect(o.x1, o.y1, o.x2, o.y2, vl, vt, vr, vb)) continue;
    const double d = ObjDistance(o, bx, by);
    // A negative distance (an object of no kind) is no hit.
    if (d >= 0 && d < best) best = d, result = h;
  }
  if (fMaxSelectionDistance >= 0 && best > fMaxSelectionDistance * 100.0 / ZoomX()) result = -3;
  Distance = best;
  return result;
}

int32_t TVexlaneVect::FindObjectAt(int32_t x, int32_t y, double& Distance) {
  return FindObjectAtEx(x, y, Distance, false);
}

int32_t TVexlaneVect::FindSelectableObjectAt(int32_t x, int32_t y, double& Distance) {
  return FindObjectAtEx(x, y, Distance, true);
}

// ---------------------------------------------------------------------------
// Grips

bool TVexlaneVect::GetObjGripPositions(int32_t hobj, std::vector<TPoint>& Grips, TPoint& Central) {
  const TVXVObject& o = *GetObjRecord(hobj);
  Grips.clear();
  Central = TPoint{0, 0};
  const TVXLayer* L = ObjLayer(o);
  auto mx = [&](int32_t x) { return L ? ConvXBmp2Scr(L, x) : XBmp2Scr(x); };
  auto my = [&](int32_t y) { return L ? ConvYBmp2Scr(L, y) : YBmp2Scr(y); };
  int32_t x1 = mx(o.x1), y1 = my(o.y1), x2 = mx(o.x2), y2 = my(o.y2);
  if (o.Kind == vxkBITMAP && fZoomObjectsWidth) {
    if (ZoomX() != 100) x2 = mx(o.x2 + 1) - 1;
    if (ZoomY() != 100) y2 = my(o.y2 + 1) - 1;
  }
  const TRect area = L ? L->ClientAreaBox() : TRect{OffsetX(), OffsetY(), OffsetX() + ExtentX(), OffsetY() + ExtentY()};
  if (!VXRectsIntersect(x1, y1, x2, y2, area.Left, area.Top, area.Right, area.Bottom)) return false;
  if (!(o.Style & VXVStyleOf(vxvsSelectable))) return false;
  if (o.Kind == vxkANGLE) {
    for (const TPoint& p : o.AnglePoints) Grips.push_back(TPoint{mx(p.X), my(p.Y)});
  } else {
    Grips = {{x1, y1}, {x2, y2}};
    if (!IsLineKind(o.Kind)) {
      const int32_t cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
      Grips.insert(Grips.end(), {{x2, y1}, {x1, y2}, {x1, cy}, {x2, cy}, {cx, y1}, {cx, y2}});
    }
  }
  int32_t a = x1, b = y1, d = x2, e = y2;
  VXOrderCorners(a, b, d, e);
  Central = TPoint{a + (d - a + 1) / 2, b + (e - b + 1) / 2};
  return true;
}

int32_t TVexlaneVect::FindGripAt(int32_t x, int32_t y, TVXVGripping& Grip) {
  Grip = vxgrNone;
  int32_t li = FindLayerAt(x, y);
  if (li < 0) li = 0;
  const int32_t s = fObjGripSize;
  std::vector<TPoint> g;
  TPoint central;
  for (size_t i = 0; i < fSelObj.size(); ++i) {
    const int32_t h = fSelObj[i];
    const TVXVObject& o = *fObjHeap[size_t(h)];
    if (fObjAnchorToLayers && o.Layer != li) continue;
    if (!GetObjGripPositions(h, g, central)) continue;
    TVXVGripping r = vxgrNone;
    if (o.Kind != vxkANGLE && InGrip(x, y, g[0], s)) {
      r = vxgrTopLeft;
    } else if (o.Kind != vxkANGLE && InGrip(x, y, g[1], s)) {
      r = vxgrBottomRight;
    } else if (!fUseCentralGrip) {
      const TVXLayer* L = ObjLayer(o);
      const int32_t bx = L ? ConvXScr2Bmp(L, x) : XScr2Bmp(x), by = L ? ConvYScr2Bmp(L, y) : YScr2Bmp(y);
      const double d = ObjDistance(o, bx, by);
      if (d >= 0 && d < fMaxMovingDistance) r = vxgrTranslation;
    } else if (InGrip(x, y, central, s)) {
      r = vxgrTranslation;
    }
    if (!IsLineKind(o.Kind) && o.Kind != vxkANGLE) {
      static const TVXVGripping side[6] = {vxgrTopRight, vxgrBottomLeft, vxgrLeft, vxgrRight, vxgrUpper, vxgrBottom};
      for (size_t k = 0; k < 6; ++k)
        if (InGrip(x, y, g[k + 2], s)) {
          r = side[k];
          break;
        }
    }
    if (o.Kind == vxkANGLE) {
      TVXVGripping a = vxgrNone;
      for (int k = 0; k < 3 && a == vxgrNone; ++k)
        if (InGrip(x, y, g[size_t(k)], s)) a = TVXVGripping(vxgrAngle0 + k);
      if (a != vxgrNone) r = a;
      else if (r != vxgrNone) r = vxgrTranslation;
    }
    if (o.Kind == vxkLINELABEL) {
      const TVXLayer* L = ObjLayer(o);
      const int32_t bx = L ? ConvXScr2Bmp(L, x) : XScr2Bmp(x), by = L ? ConvYScr2Bmp(L, y) : YScr2Bmp(y);
      const TRect& b = o.DrawnLabelBox;
      if (VXPointInCorners(bx, by, b.Left, b.Top, b.Right, b.Bottom) && b.Right != b.Left) r = vxgrBottomRight;
    }
    if (r != vxgrNone && !(o.Style & VXVStyleOf(vxvsSizeable))) r = vxgrTranslation;
    if (r == vxgrTranslation && !(o.Style & VXVStyleOf(vxvsMoveable))) r = vxgrNone;
    if (r != vxgrNone) {
      Grip = r;
      return int32_t(i);
    }
  }
  return -4;
}

int32_t TVexlaneVect::FindPolylinePointAt(int32_t x, int32_t y) {
  if (fSelObj.size() != 1) return -1;
  const TVXVObject& o = *fObjHeap[size_t(fSelObj[0])];
  if (o.Kind != vxkPOLYLINE) return -1;
  for (size_t i = 0; i < o.DrawnPoints.size(); ++i) {
    const TPoint p = o.DrawnPoints[i];
    if (VXPointInBox(x, y, p.X - 3, p.Y - 3, p.X + 3, p.Y + 3)) return int32_t(i);
  }
  return -1;
}

int32_t TVexlaneVect::FindPolylineSegmentAt(int32_t x, int32_t y) {
  if (fSelObj.size() != 1) return -1;
  const TVXVObject& o = *fObjHeap[size_t(fSelObj[0])];
  if (o.Kind != vxkPOLYLINE) return -1;
  const std::vector<TPoint>& p = o.DrawnPoints;
  const size_t n = p.size();
  for (size_t i = 0; i + 1 < n; ++i)
    if (VXDistPointToSegment(x, y, p[i].X, p[i].Y, p[i + 1].X, p[i + 1].Y) < 1.5) return int32_t(i);
  if (o.PolyClosed && n >= 2 && VXDistPointToSegment(x, y, p[n - 1].X, p[n - 1].Y, p[0].X, p[0].Y) < 1.5)
    return int32_t(n - 1);
  return -1;
}

// ---------------------------------------------------------------------------
// Selecting

void TVexlaneVect::SelectAtPoint(TShiftState Shift, int32_t x, int32_t y, bool onPress) {
  const bool shift = (Shift & VXShiftBit(ssShift)) != 0;
  double d;
  const int32_t h = FindSelectableObjectAt(x, y, d);
  if (h < 0) {
    if (!shift) {
      for (int32_t s : std::vector<int32_t>(fSelObj)) DoUserDeselectObject(s);
      UnSelAllObjects();
    }
    return;
  }
  const bool selected = IsSelObject(h);
  if (selected && fSelectOnMouseDown && onPress) {
    // A drag may move the whole selection; the release decides.
    fSelectOnMouseDown_WasSelected = true;
    return;
  }
  fSelectOnMouseDown_WasSelected = false;
  if (!selected && !shift) {
    for (int32_t s : std::vector<int32_t>(fSelObj)) DoUserDeselectObject(s);
    fSelObj.clear();
    AddSelObject(h);
    DoUserSelectObject(h);
  } else if (!selected) {
    AddSelObject(h);
    DoUserSelectObject(h);
  } else if (shift) {
    DoUserDeselectObject(h);
    UnSelObject(h);
  } else {
    for (int32_t s : std::vector<int32_t>(fSelObj))
      if (s != h) DoUserDeselectObject(s);
    fSelObj.clear();
    AddSelObject(h);
  }
  // The grips follow the new selection.
  Update();
}

TRect TVexlaneVect::SelectionBounds() {
  TVXBitmap* b = GetVXBitmap();
  TRect r{b ? b->Width() : 0, b ? b->Height() : 0, 0, 0};
  for (int32_t h : fSelObj) {
    const TVXVObject& o = *fObjHeap[size_t(h)];
    r.Left = std::min({r.Left, o.x1, o.x2}), r.Right = std::max({r.Right, o.x1, o.x2});
    r.Top = std::min({r.Top, o.y1, o.y2}), r.Bottom = std::max({r.Bottom, o.y1, o.y2});
  }
  return r;
}
