// Hit testing, grips and selecting at a point.
#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

#include "core/geometry.h"
#include "core/layer.h"
#include "tests/vect/vect_fixture.h"

namespace {

// The distance of a bitmap point to an object as the hit rules give it,
// evaluated with the geometry routines.
double RuleDistance(TVexlaneVect* v, const TVXVObject& o, int bx, int by) {
  const bool filled = o.BrushStyle != bsClear || v->ObjBoxInnerSelectable();
  auto line = [&] {
    double d = VXDistPointToSegment(bx, by, o.x1, o.y1, o.x2, o.y2);
    if (o.PenWidth > 1) d = std::max(0.0, d - o.PenWidth / 2.0);
    return d;
  };
  switch (o.Kind) {
    case vxkLINE: return line();
    case vxkLINELABEL: {
      const TRect& b = o.DrawnLabelBox;
      return std::min(line(), VXDistanceToRectOutline(bx, by, b.Left, b.Top, b.Right, b.Bottom, true, 1));
    }
    case vxkRULER: return VXDistPointToSegment(bx, by, o.x1, o.y1, o.x2, o.y2);
    case vxkBOX: return VXDistanceToRectOutline(bx, by, o.x1, o.y1, o.x2, o.y2, filled, o.PenWidth);
    case vxkTEXT:
    case vxkMEMO: return VXDistanceToRectOutline(bx, by, o.x1, o.y1, o.x2, o.y2, true, o.PenWidth);
    case vxkELLIPSE: return VXDistanceToEllipse(bx, by, o.x1, o.y1, o.x2, o.y2, filled, o.PenWidth);
    case vxkARC: return VXDistanceToEllipse(bx, by, o.x1, o.y1, o.x2, o.y2, false, o.PenWidth);
    case vxkBITMAP: {
      const double d = VXDistanceToRectOutline(bx, by, o.x1, o.y1, o.x2, o.y2, true, o.PenWidth);
      TVXBitmap* b = o.BitmapIdx >= 0 ? v->SharedBitmaps()[size_t(o.BitmapIdx)].fBitmap.get() : nullptr;
      if (d != 0 || !v->ObjBitmapHandleTransparencyOnSel() || !b || !b->HasAlphaChannel()) return d;
      const int px = o.x2 == o.x1 ? 0
                                  : int(std::clamp(std::nearbyint((bx - o.x1) / (double(o.x2 - o.x1) / b->Width())),
                                                   0.0, double(b->Width() - 1)));
      const int py = o.y2 == o.y1 ? 0
                                  : int(std::clamp(std::nearbyint((by - o.y1) / (double(o.y2 - o.y1) / b->Height())),
                                                   0.0, double(b->Height() - 1)));
      return b->Alpha(px, py) ? 0 : 1000;
    }
    case vxkPOLYLINE: {
      const double bw = o.PolyBaseX2 - o.PolyBaseX1, bh = o.PolyBaseY2 - o.PolyBaseY1;
      const double sx = bw ? (o.x2 - o.x1) / bw : 1, sy = bh ? (o.y2 - o.y1) / bh : 1;
      const int n = o.PolyPointsCount();
      if (o.PolyClosed && filled &&
          VXPointInZoomedPolygon(bx, by, o.PolyPoints.data(), n, o.PolyBaseX1, o.PolyBaseY1, o.x1, o.y1, sx, sy))
        return 0;
      return VXDistPointToPolyline(bx, by, o.PolyPoints.data(), n, o.PolyBaseX1, o.PolyBaseY1, o.x1, o.y1, sx, sy,
                                   o.PenWidth, o.PolyClosed);
    }
    case vxkANGLE: {
      int n = 0;
      while (n < 3 && o.AnglePoints[n].X != -1000000) ++n;
      return VXDistPointToPolyline(bx, by, o.AnglePoints, n, 0, 0, 0, 0, 1, 1, 1, false);
    }
    default: return -1;
  }
}

// The object the rules choose at client (x, y): top-down, the visible
// area, strictly smaller wins, negative distances skipped.
std::pair<int32_t, double> RuleFind(TVexlaneVect* v, int x, int y, bool SelectableOnly) {
  const int li = std::max(v->FindLayerAt(x, y), 0);
  const TVXLayer* L = v->Layers(li);
  const int bx = v->ConvXScr2Bmp(L, x), by = v->ConvYScr2Bmp(L, y);
  const TRect& c = L->ClientAreaBox();
  const int vl = v->ConvXScr2Bmp(L, c.Left), vt = v->ConvYScr2Bmp(L, c.Top);
  const int vr = v->ConvXScr2Bmp(L, c.Right), vb = v->ConvYScr2Bmp(L, c.Bottom);
  double best = 2147483647.0;
  int32_t r = -3;
  for (int i = v->ObjectsCount() - 1; i >= 0; --i) {
    const int32_t h = v->GetObjFromIndex(i);
    const TVXVObject& o = *v->GetObjRecord(h);
    if (o.Layer != li || !(o.Style & VXVStyleOf(vxvsVisible))) continue;
    if (SelectableOnly && !(o.Style & VXVStyleOf(vxvsSelectable))) continue;
    if (std::max(o.x1, o.x2) < vl || std::min(o.x1, o.x2) > vr || std::max(o.y1, o.y2) < vt ||
        std::min(o.y1, o.y2) > vb)
      continue;
    const double d = RuleDistance(v, o, bx, by);
    if (d >= 0 && d < best) best = d, r = h;
  }
  if (v->MaxSelectionDistance() >= 0 && best > v->MaxSelectionDistance() * 100.0 / v->ZoomX()) r = -3;
  return {r, best};
}

}  // namespace

class VectSelectTest : public VectTest {
 protected:
  TVexlaneVect* Viewer(int W = 300, int H = 200) {
    TVexlaneVect* v = NewVect();
    v->SetImageHorizAlignment(vxhLeft);
    v->SetImageVertAlignment(vxvTop);
    TVXBitmap* b = v->VXBitmap();
    b->Allocate(W, H, vx24RGB);
    b->Fill(0x808080);
    v->SetObjBitmap(-1, nullptr);
    v->Update();
    VXHeadless::RunUntilIdle();
    return v;
  }
  int32_t Box(TVexlaneVect* v, TRect r, bool Filled, int Pen = 1) {
    const int32_t h = v->AddNewObject(vxkBOX, r, 0xFF, false);
    v->SetObjBrushStyle(h, Filled ? bsSolid : bsClear);
    v->SetObjPenWidth(h, Pen);
    return h;
  }
  // Client point of a bitmap point.
  static int X(TVexlaneVect* v, int bx) { return v->XBmp2Scr(bx); }
  static int Y(TVexlaneVect* v, int by) { return v->YBmp2Scr(by); }
};

TEST_F(VectSelectTest, RandomScenesHitAsTheRulesSay) {
  std::mt19937 rng(107);
  auto rnd = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  const TVXVObjectKind kinds[] = {vxkNONE,  vxkLINE,   vxkBOX,    vxkELLIPSE,  vxkARC,  vxkBITMAP,
                                  vxkTEXT,  vxkRULER,  vxkPOLYLINE, vxkANGLE, vxkMEMO, vxkLINELABEL};
  int hits = 0, misses = 0;
  for (int scene = 0; scene < 24; ++scene) {
    TVexlaneVect* v = Viewer(500, 400);
    v->SetZoom(scene % 2 ? 200 : 100);
    if (scene % 3 == 2) v->SetViewXY(rnd(0, 150), rnd(0, 120));
    VXHeadless::RunUntilIdle();  // the layer's drawn area follows the paint
    v->SetObjBoxInnerSelectable(scene % 4 == 1);
    v->SetObjBitmapHandleTransparencyOnSel(scene % 5 != 3);
    v->SetMaxSelectionDistance(scene % 6 == 4 ? rnd(0, 8) : -1);
    auto pic = Picture(16, 12, scene, true);
    for (int i = 0; i < 14; ++i) {
      const TVXVObjectKind k = kinds[rnd(0, 11)];
      const TRect r{rnd(-20, 480), rnd(-20, 380), rnd(-20, 480), rnd(-20, 380)};
      const int32_t h = v->AddNewObject(k, r, 0xFF, false);
      v->SetObjPenWidth(h, rnd(1, 6));
      v->SetObjBrushStyle(h, rnd(0, 1) ? bsSolid : bsClear);
      TVXVObject* o = v->GetObjRecord(h);
      if (rnd(0, 7) == 0) o->Style &= TVXVStyle(~VXVStyleOf(vxvsVisible));
      if (rnd(0, 7) == 0) o->Style &= TVXVStyle(~VXVStyleOf(vxvsSelectable));
      if (k == vxkBITMAP) v->SetObjBitmap(h, pic.get());
      if (k == vxkLINELABEL) o->DrawnLabelBox = TRect{o->x2, o->y2, o->x2 + rnd(5, 40), o->y2 + rnd(5, 20)};
      if (k == vxkPOLYLINE) {
        std::vector<TPoint> pts;
        for (int p = rnd(1, 7); p > 0; --p) pts.push_back(TPoint{rnd(0, 200), rnd(0, 200)});
        v->SetObjPolylinePoints(h, pts);
        v->SetObjPolylineClosed(h, rnd(0, 1));
        v->SetObjRect(h, TRect{rnd(0, 200), rnd(0, 200), rnd(201, 450), rnd(201, 350)}, false);
      }
      if (k == vxkANGLE) {
        v->SetObjAnglePoints(h, {{rnd(0, 400), rnd(0, 300)}, {rnd(0, 400), rnd(0, 300)}, {rnd(0, 400), rnd(0, 300)}});
        const int unset = rnd(0, 3);
        for (int p = unset; p < 3 && unset > 0; ++p) o->AnglePoints[p] = TPoint{-1000000, -1000000};
      }
    }
    for (int q = 0; q < 150; ++q) {
      const int x = rnd(0, v->ClientWidth() - 1), y = rnd(0, v->ClientHeight() - 1);
      for (bool selectable : {false, true}) {
        double d = -5;
        const int32_t got = selectable ? v->FindSelectableObjectAt(x, y, d) : v->FindObjectAt(x, y, d);
        const auto want = RuleFind(v, x, y, selectable);
        ASSERT_EQ(got, want.first) << "scene " << scene << " at " << x << "," << y;
        ASSERT_NEAR(d, want.second, 1e-6) << "scene " << scene << " at " << x << "," << y;
        (got >= 0 ? hits : misses)++;
      }
    }
    delete v;
  }
  // The scenes exercise both outcomes.
  EXPECT_GT(hits, 300);
  EXPECT_GT(misses, 300);
}

TEST_F(VectSelectTest, HitCases) {
  struct Case {
    const char* name;
    std::function<void(TVexlaneVect*)> build;
    int bx, by;           // bitmap point
    int want;             // index of the object added (-3 none)
    double dist;          // expected distance (< 0: not checked)
  };
  const Case cases[] = {
      {"inside both filled boxes: the upper",
       [&](TVexlaneVect* v) { Box(v, {10, 10, 60, 60}, true), Box(v, {40, 40, 90, 90}, true); }, 50, 50, 1, 0},
      {"inside the lower only",
       [&](TVexlaneVect* v) { Box(v, {10, 10, 60, 60}, true), Box(v, {40, 40, 90, 90}, true); }, 20, 20, 0, 0},
      {"unfilled box: inside is not on it",
       [&](TVexlaneVect* v) { Box(v, {10, 10, 60, 60}, false); }, 35, 30, 0, 20},
      {"unfilled box: on its outline", [&](TVexlaneVect* v) { Box(v, {10, 10, 60, 60}, false, 3); }, 11, 30, 0, 0},
      {"unfilled box, inner selectable",
       [&](TVexlaneVect* v) {
         v->SetObjBoxInnerSelectable(true);
         Box(v, {10, 10, 60, 60}, false);
       },
       35, 30, 0, 0},
      {"line of pen 6 at 3 pixels",
       [&](TVexlaneVect* v) {
         const int32_t h = v->AddNewObject(vxkLINE, TRect{10, 50, 200, 50}, 0xFF, false);
         v->SetObjPenWidth(h, 6);
       },
       100, 53, 0, 0},
      {"line of pen 6 at 5 pixels",
       [&](TVexlaneVect* v) {
         const int32_t h = v->AddNewObject(vxkLINE, TRect{10, 50, 200, 50}, 0xFF, false);
         v->SetObjPenWidth(h, 6);
       },
       100, 55, 0, 2},
      {"a ruler ignores its pen",
       [&](TVexlaneVect* v) {
         const int32_t h = v->AddNewObject(vxkRULER, TRect{10, 50, 200, 50}, 0xFF, false);
         v->SetObjPenWidth(h, 6);
       },
       100, 53, 0, 3},
      {"an object of no kind is never the hit",
       [&](TVexlaneVect* v) {
         Box(v, {10, 10, 60, 60}, false);
         v->AddNewObject(vxkNONE, TRect{0, 0, 100, 100}, 0xFF, false);
       },
       35, 30, 0, 20},
      {"an object of no kind alone", [&](TVexlaneVect* v) { v->AddNewObject(vxkNONE, TRect{0, 0, 100, 100}, 0xFF, false); },
       35, 30, -3, 2147483647.0},
      {"an invisible box is not examined",
       [&](TVexlaneVect* v) {
         const int32_t h = Box(v, {10, 10, 60, 60}, true);
         v->SetObjStyle(h, TVXVStyle(VXVDefaultStyle & ~VXVStyleOf(vxvsVisible)));
       },
       30, 30, -3, 2147483647.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVexlaneVect* v = Viewer();
    c.build(v);
    double d = -1;
    const int32_t got = v->FindObjectAt(X(v, c.bx), Y(v, c.by), d);
    EXPECT_EQ(got, c.want < 0 ? -3 : v->GetObjFromIndex(c.want));
    if (c.dist >= 0) {
      EXPECT_NEAR(d, c.dist, 1e-9);
    }
    delete v;
  }
  // An object of no kind reports -1.
  TVexlaneVect* v = Viewer();
  const int32_t none = v->AddNewObject(vxkNONE, TRect{0, 0, 10, 10}, 0xFF, false);
  EXPECT_EQ(v->GetObjDistance(none, 5, 5), -1);
  delete v;
}

TEST_F(VectSelectTest, MaxSelectionDistanceIsInClientPixels) {
  TVexlaneVect* v = Viewer();
  v->SetZoom(200);
  v->SetViewXY(0, 0);
  VXHeadless::RunUntilIdle();
  v->SetMaxSelectionDistance(5);
  const int32_t h = v->AddNewObject(vxkLINE, TRect{10, 50, 100, 50}, 0xFF, false);
  double d;
  // 2 bitmap pixels away: within 2.5; 3 pixels: beyond.
  EXPECT_EQ(v->FindObjectAt(X(v, 50), Y(v, 52), d), h);
  EXPECT_EQ(v->FindObjectAt(X(v, 50), Y(v, 53), d), -3);
  EXPECT_DOUBLE_EQ(d, 3);  // the distance is still reported
  delete v;
}

TEST_F(VectSelectTest, BitmapTransparencyAndZeroWidth) {
  TVexlaneVect* v = Viewer();
  auto pic = Picture(16, 12, 1, true);  // alpha 0 in column 0 only
  const int32_t h = v->AddNewObject(vxkBITMAP, TRect{20, 20, 52, 44}, 0xFF, false);
  v->SetObjBitmap(h, pic.get());
  EXPECT_EQ(v->GetObjDistance(h, 20, 30), 1000);
  EXPECT_EQ(v->GetObjDistance(h, 40, 30), 0);
  v->SetObjBitmapHandleTransparencyOnSel(false);
  EXPECT_EQ(v->GetObjDistance(h, 20, 30), 0);
  v->SetObjBitmapHandleTransparencyOnSel(true);
  // No width: every point maps to column 0 (transparent), without a fault.
  v->GetObjRecord(h)->x2 = 20;
  EXPECT_EQ(v->GetObjDistance(h, 20, 30), 1000);
  delete v;
}

TEST_F(VectSelectTest, SelectionListRules) {
  TVexlaneVect* v = Viewer();
  const int32_t neg = Box(v, {-10, 0, 20, 20}, true);
  const int32_t locked = Box(v, {30, 30, 40, 40}, true);
  v->SetObjStyle(locked, TVXVStyle(VXVDefaultStyle & ~VXVStyleOf(vxvsSelectable)));
  const int32_t ok = Box(v, {50, 50, 60, 60}, true);
  v->SelAllObjects();
  EXPECT_EQ(v->SelObjectsCount(), 1);
  EXPECT_EQ(v->GetSelObjects(0), ok);
  EXPECT_FALSE(v->IsSelObject(neg));
  int events = 0;
  v->OnSelectObject = [&](void*) { ++events; };
  v->UnSelObject(neg);
  EXPECT_EQ(events, 0);
  v->UnSelObject(ok);
  EXPECT_EQ(events, 1);
  // The selection bounds start at the image size.
  EXPECT_EQ(v->SelectionBounds(), (TRect{300, 200, 0, 0}));
  v->AddSelObject(ok);
  v->AddSelObject(neg);  // selectable: it joins when asked by handle
  EXPECT_EQ(v->SelectionBounds(), (TRect{-10, 0, 60, 60}));
  delete v;
}

TEST_F(VectSelectTest, GripsAndTheirRules) {
  struct Case {
    const char* name;
    TVXVStyle style;
    int bx, by;
    TVXVGripping want;
  };
  const TVXVStyle all = VXVDefaultStyle;
  const TVXVStyle noSize = TVXVStyle(all & ~VXVStyleOf(vxvsSizeable));
  const TVXVStyle noSizeNoMove = TVXVStyle(noSize & ~VXVStyleOf(vxvsMoveable));
  const Case cases[] = {
      {"top-left", all, 40, 40, vxgrTopLeft},
      {"bottom-right", all, 100, 80, vxgrBottomRight},
      {"top-right", all, 100, 40, vxgrTopRight},
      {"bottom-left", all, 40, 80, vxgrBottomLeft},
      {"left middle", all, 40, 60, vxgrLeft},
      {"right middle", all, 100, 60, vxgrRight},
      {"top middle", all, 70, 40, vxgrUpper},
      {"bottom middle", all, 70, 80, vxgrBottom},
      {"on the body", all, 70, 60, vxgrTranslation},
      {"away", all, 200, 150, vxgrNone},
      {"corner, not sizeable", noSize, 40, 40, vxgrTranslation},
      {"corner, neither sizeable nor moveable", noSizeNoMove, 40, 40, vxgrNone},
      {"body, neither sizeable nor moveable", noSizeNoMove, 70, 60, vxgrNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVexlaneVect* v = Viewer();
    v->SetZoom(200);
    VXHeadless::RunUntilIdle();
    Box(v, {0, 0, 5, 5}, true);
    const int32_t h = Box(v, {40, 40, 100, 80}, true);
    v->SetObjStyle(h, c.style);
    v->AddSelObject(h);
    TVXVGripping g = vxgrAngle2;
    const int32_t idx = v->FindGripAt(v->XBmp2Scr(c.bx), v->YBmp2Scr(c.by), g);
    EXPECT_EQ(g, c.want);
    EXPECT_EQ(idx, c.want == vxgrNone ? -4 : 0);
    delete v;
  }
  // A grip covers gx - s .. gx + s - 1.
  TVexlaneVect* v = Viewer();
  const int32_t h = Box(v, {40, 40, 100, 80}, true);
  v->AddSelObject(h);
  TVXVGripping g;
  const int gx = v->XBmp2Scr(40), gy = v->YBmp2Scr(40);
  v->FindGripAt(gx - 5, gy - 5, g);
  EXPECT_EQ(g, vxgrTopLeft);
  v->FindGripAt(gx + 5, gy, g);
  EXPECT_NE(g, vxgrTopLeft);
  // Angles answer their points.
  const int32_t a = v->AddNewObject(vxkANGLE, TRect{0, 0, 1, 1}, 0xFF, false);
  v->SetObjAnglePoints(a, {{150, 150}, {200, 150}, {200, 100}});
  v->UnSelAllObjects();
  v->AddSelObject(a);
  v->FindGripAt(v->XBmp2Scr(200), v->YBmp2Scr(100), g);
  EXPECT_EQ(g, vxgrAngle2);
  v->FindGripAt(v->XBmp2Scr(175), v->YBmp2Scr(150), g);
  EXPECT_EQ(g, vxgrTranslation);
  delete v;
}

TEST_F(VectSelectTest, PolylinePointAndSegmentSearch) {
  TVexlaneVect* v = Viewer();
  const int32_t h = v->AddNewObject(vxkPOLYLINE, TRect{0, 0, 1, 1}, 0xFF, false);
  TVXVObject* o = v->GetObjRecord(h);
  o->DrawnPoints = {{10, 10}, {50, 10}, {50, 40}};
  EXPECT_EQ(v->FindPolylinePointAt(12, 13), -1);  // nothing selected
  v->AddSelObject(h);
  EXPECT_EQ(v->FindPolylinePointAt(13, 13), 0);
  EXPECT_EQ(v->FindPolylinePointAt(14, 10), -1);
  EXPECT_EQ(v->FindPolylinePointAt(48, 38), 2);
  EXPECT_EQ(v->FindPolylineSegmentAt(30, 11), 0);
  EXPECT_EQ(v->FindPolylineSegmentAt(51, 25), 1);
  EXPECT_EQ(v->FindPolylineSegmentAt(30, 25), -1);
  o->PolyClosed = true;
  EXPECT_EQ(v->FindPolylineSegmentAt(30, 25), 2);  // the closing segment
  delete v;
}

TEST_F(VectSelectTest, SelectAtPointOnPressAndRelease) {
  TVexlaneVect* v = Viewer();
  const int32_t a = Box(v, {10, 10, 50, 50}, true);
  const int32_t b = Box(v, {100, 10, 150, 50}, true);
  v->SetMaxSelectionDistance(3);  // else the nearest object is always hit
  std::string log;
  v->OnSelectObject = [&](void*) { log += "S"; };
  v->OnUserSelectObject = [&](void*, int32_t h) { log += "+" + std::to_string(h); };
  v->OnUserDeselectObject = [&](void*, int32_t h) { log += "-" + std::to_string(h); };
  const TShiftState none = 0, shift = VXShiftBit(ssShift);
  auto at = [&](int32_t h) { return h == a ? TPoint{X(v, 30), Y(v, 30)} : TPoint{X(v, 120), Y(v, 30)}; };
  auto sel = [&] {
    std::string s;
    for (int i = 0; i < v->SelObjectsCount(); ++i) s += std::to_string(v->GetSelObjects(i));
    return s;
  };
  struct Step {
    TShiftState shift;
    int32_t target;  // -1: empty space
    bool press;
    std::string events, selection;
  };
  const std::string A = std::to_string(a), B = std::to_string(b);
  const Step steps[] = {
      {none, a, true, "S+" + A, A},                // a new object
      {none, a, true, "", A},                      // pressed again: the release decides
      {none, a, false, "S", A},                    // the release selects it again alone
      {shift, b, true, "S+" + B, A + B},           // Shift adds
      {none, a, false, "-" + B + "S", A},          // a selected one without Shift: the others go
      {shift, b, false, "S+" + B, A + B},
      {shift, a, false, "-" + A + "S", B},         // Shift on a selected one takes it away
      {shift, -1, false, "", B},                   // Shift in empty space: no change
      {none, -1, false, "-" + B + "S", ""},        // empty space: all go
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    const Step& s = steps[i];
    SCOPED_TRACE(i);
    log.clear();
    const TPoint p = s.target < 0 ? TPoint{X(v, 250), Y(v, 150)} : at(s.target);
    v->SelectAtPoint(s.shift, p.X, p.Y, s.press);
    EXPECT_EQ(log, s.events);
    EXPECT_EQ(sel(), s.selection);
  }
  // Selecting on release only: a press on a selected object selects there too.
  v->SetSelectOnMouseDown(false);
  v->AddSelObject(a);
  log.clear();
  v->SelectAtPoint(none, at(a).X, at(a).Y, true);
  EXPECT_EQ(log, "S");
  EXPECT_FALSE(v->SelectOnMouseDownWasSelected());
  delete v;
}
