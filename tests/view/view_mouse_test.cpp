// The viewer's mouse interaction driven through window messages: the
// interaction set and its rules, zoom clicks, drag scrolling, selections
// drawn, moved and resized, layers moved, resized and rotated, hints,
// cursors, automatic and moving scrolling, and seeded scripts against a
// model of the drags.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/layer.h"
#include "core/mask.h"
#include "gui/forms.h"
#include "proc/proc.h"
#include "tests/view/view_fixture.h"
#include "winui/win_input.h"

inline std::ostream& operator<<(std::ostream& o, const TPoint& p) { return o << "(" << p.X << ", " << p.Y << ")"; }

namespace {

TVXMouseInteract MI(std::initializer_list<TVXMouseInteractItem> l) {
  TVXMouseInteract m = 0;
  for (auto i : l) m |= TVXMouseInteract(1u << i);
  return m;
}

// The viewer with its mouse state readable.
class TProbeView : public TVexlaneView {
 public:
  using TVexlaneView::TVexlaneView;
  TVXGrip RectResizing() const { return fRectResizing; }
  bool RectSelecting() const { return fRectSelecting; }
  bool PolySelecting() const { return fPolySelecting; }
};

constexpr int kLeft = 0, kRight = 1;

class ViewMouse : public ViewTest {
 protected:
  // A viewer with a client area of CW x CH showing a W x H image at Zoom.
  TProbeView* MakeView(int CW, int CH, int W, int H, double Zoom = 100) {
    TProbeView* v = NewView<TProbeView>(CW + 4, CH + 4);
    SetClientSize(v, CW, CH);
    SetImage(v, W, H);
    v->SetZoom(Zoom);
    SetClientSize(v, CW, CH);
    VXHeadless::RunUntilIdle();
    return v;
  }
  // Presses are spaced beyond the double-click time unless said.
  static void Down(TVexlaneView* v, int x, int y, int b = kLeft) {
    VXHeadless::Advance(600);
    VXHeadless::MouseDown(v->Handle(), x, y, b);
    VXHeadless::RunUntilIdle();
  }
  static void Move(TVexlaneView* v, int x, int y) {
    VXHeadless::MouseMove(v->Handle(), x, y);
    VXHeadless::RunUntilIdle();
  }
  static void Up(TVexlaneView* v, int x, int y, int b = kLeft) {
    VXHeadless::MouseUp(v->Handle(), x, y, b);
    VXHeadless::RunUntilIdle();
  }
  static void Click(TVexlaneView* v, int x, int y, int b = kLeft) {
    Down(v, x, y, b);
    Up(v, x, y, b);
  }
  // A drag in one-pixel steps along the longer axis.
  static void Drag(TVexlaneView* v, int x0, int y0, int x1, int y1, bool Release = true) {
    Down(v, x0, y0);
    const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 1; i <= n; ++i) Move(v, x0 + (x1 - x0) * i / n, y0 + (y1 - y0) * i / n);
    if (Release) Up(v, x1, y1);
  }
  static std::vector<TPoint> Poly(TVexlaneView* v) {
    std::vector<TPoint> p;
    for (int i = 0; i < v->PolySelCount(); ++i) p.push_back(v->GetPolySel(i));
    return p;
  }
  // Client point of bitmap point (bx, by) of the current layer.
  static TPoint ClientOf(TVexlaneView* v, int bx, int by) {
    return TPoint{v->ConvXBmp2Scr(v->CurrentLayer(), bx), v->ConvYBmp2Scr(v->CurrentLayer(), by)};
  }
};

TPoint ClientBmp(TVexlaneView* v, const TPoint& p) {
  return TPoint{v->ConvXScr2Bmp(v->CurrentLayer(), p.X), v->ConvYScr2Bmp(v->CurrentLayer(), p.Y)};
}

std::vector<TPoint> RectPoly(int x1, int y1, int x2, int y2) { return {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}}; }

// ---------------------------------------------------------------------------
// The interaction set

// The kept items of each rule as 16-bit masks, in the order the rules are
// tried; NewOnly: the item must be new (not in the old set).
struct TRule {
  TVXMouseInteractItem Item;
  bool NewOnly;
  uint16_t Keep;
};
const TRule kRules[] = {
    {miScroll, true, 0xF803},        {miSelect, true, 0xF805},      {miSelectPolygon, true, 0xF808},
    {miSelectCircle, true, 0xF811},  {miSelectLasso, true, 0xF881}, {miSelectZoom, true, 0xF821},
    {miZoom, true, 0xF8B7},          {miSelectMagicWand, true, 0xF840}, {miRotateLayers, false, 0xFD00},
    {miMoveLayers, false, 0xFF00 & ~(1u << 10)}, {miResizeLayers, false, 0xFB00}};

uint16_t ModelResolve(uint16_t N, uint16_t O) {
  if (N == O) return O;
  for (const TRule& r : kRules) {
    const bool inN = N & (1u << r.Item), inO = O & (1u << r.Item);
    if (inN && (!r.NewOnly || !inO)) return N & r.Keep;
  }
  return N;
}

TEST_F(ViewMouse, InteractionSetRules) {
  TProbeView* v = MakeView(120, 100, 60, 40);
  struct Case {
    TVXMouseInteract From, Set, Want;
  } cases[] = {
      {0, MI({miZoom, miSelectPolygon}), MI({miSelectPolygon})},
      {MI({miScroll}), MI({miScroll, miSelect}), MI({miSelect})},
      {MI({miSelect}), MI({miScroll, miSelect}), MI({miScroll})},
      {0, MI({miMoveLayers, miResizeLayers, miRotateLayers}), MI({miMoveLayers, miRotateLayers})},
  };
  for (const Case& c : cases) {
    v->SetMouseInteract(c.From);
    ASSERT_EQ(v->MouseInteract(), c.From);
    v->SetMouseInteract(c.Set);
    EXPECT_EQ(v->MouseInteract(), c.Want) << c.From << " + " << c.Set;
  }
  // Every set of the twelve items, each from seeded old sets.
  std::mt19937 rng(108);
  for (uint32_t n = 0; n < 4096; ++n) {
    for (int k = 0; k < 2; ++k) {
      v->SetMouseInteract(uint16_t(rng() & 0xFFF));
      const uint16_t old = v->MouseInteract();
      v->SetMouseInteract(uint16_t(n));
      ASSERT_EQ(v->MouseInteract(), ModelResolve(uint16_t(n), old)) << "set " << n << " from " << old;
    }
  }
  // A set without miRotateLayers bakes every rotation; with it they stay.
  v->SetMouseInteract(MI({miRotateLayers}));
  v->LayersAdd(20, 10, vx24RGB, 5, 5);
  v->CurrentLayer()->SetRotate(30);
  v->Layers(0)->SetRotate(10);
  v->SetMouseInteract(MI({miRotateLayers, miMovingScroll}));
  EXPECT_EQ(v->CurrentLayer()->Rotate(), 30);
  v->SetMouseInteract(MI({miSelect}));
  for (int i = 0; i < v->LayersCount(); ++i) EXPECT_EQ(v->Layers(i)->Rotate(), 0) << i;
  EXPECT_NE(v->Layers(1)->Bitmap()->Width(), 20);  // baked: the box of the turned picture
}

// ---------------------------------------------------------------------------
// Zoom clicks and drag scrolling

TEST_F(ViewMouse, ZoomClicksStepThroughTheTable) {
  TProbeView* v = MakeView(300, 200, 100, 80, 40);
  v->SetMouseInteract(MI({miZoom}));
  std::vector<double> in;
  v->SetZoom(40);
  for (int i = 0; i < 5; ++i) {
    Click(v, 150, 100);
    in.push_back(v->Zoom());
  }
  EXPECT_EQ(in, (std::vector<double>{50, 75, 100, 200, 300}));
  std::vector<double> out;
  for (int i = 0; i < 10; ++i) {
    Click(v, 150, 100, kRight);
    out.push_back(v->Zoom());
  }
  EXPECT_EQ(out, (std::vector<double>{200, 100, 75, 50, 33, 25, 10, 5, 2, 2}));
  // The handler decides the new zoom; a moved release is no click.
  v->OnZoomIn = [](void*, double& z) { z = 123; };
  Click(v, 150, 100);
  EXPECT_EQ(v->Zoom(), 123);
  Down(v, 150, 100);
  Move(v, 160, 100);
  Up(v, 160, 100);
  EXPECT_EQ(v->Zoom(), 123);
}

TEST_F(ViewMouse, DragScrollMovesTheOriginAndShowsTheHand) {
  TProbeView* v = MakeView(200, 150, 400, 300);
  v->SetMouseInteract(MI({miScroll}));
  v->SetViewXY(100, 80);
  Down(v, 100, 80);
  EXPECT_EQ(v->CurrentCursor(), 1782);
  EXPECT_EQ(Screen->Cursor(), 1782);
  Move(v, 60, 50);
  EXPECT_EQ(v->ViewX(), 140);
  EXPECT_EQ(v->ViewY(), 110);
  Move(v, 130, 95);
  EXPECT_EQ(v->ViewX(), 70);
  EXPECT_EQ(v->ViewY(), 65);
  Up(v, 130, 95);
  EXPECT_EQ(v->CurrentCursor(), 1785);
  EXPECT_NE(Screen->Cursor(), 1782);
  // The right button is not the scrolling one: its drag leaves the view.
  Down(v, 100, 80, kRight);
  Move(v, 60, 50);
  EXPECT_EQ(v->ViewX(), 70);
  EXPECT_EQ(v->ViewY(), 65);
  Up(v, 60, 50, kRight);
  // A rate of 2 scrolls twice as far.
  v->SetMouseScrollRate(2);
  Drag(v, 100, 80, 90, 75);
  EXPECT_EQ(v->ViewX(), 90);
  EXPECT_EQ(v->ViewY(), 75);
  // An image that fits cannot scroll: no hand.
  TProbeView* small = MakeView(200, 150, 50, 40);
  small->SetMouseInteract(MI({miScroll}));
  Down(small, 100, 80);
  EXPECT_EQ(small->CurrentCursor(), 1785);
  Up(small, 100, 80);
}

// ---------------------------------------------------------------------------
// Selections

TEST_F(ViewMouse, RectangleDragsClicksShiftAndAspect) {
  TProbeView* v = MakeView(300, 220, 200, 150);
  TProbeView* twin = MakeView(300, 220, 200, 150);
  twin->SetLeft(400);  // beside v, not over it
  v->SetMouseInteract(MI({miSelect}));
  std::vector<std::string> events;
  v->OnBeforeSelectionChange = [&](void*) { events.push_back("before"); };
  v->OnSelectionChanging = [&](void*) {
    if (events.empty() || events.back() != "changing") events.push_back("changing");
  };
  v->OnSelectionChange = [&](void*) { events.push_back("change"); };
  Drag(v, 70, 45, 170, 125);
  twin->SelectRectEx(70, 45, 170, 125, vxspReplace, false, false);
  EXPECT_EQ(Poly(v), Poly(twin));
  EXPECT_EQ(events, (std::vector<std::string>{"before", "changing", "change"}));
  ASSERT_TRUE(v->Selected());
  EXPECT_EQ(v->SelX1(), twin->GetPolySel(0).X);
  EXPECT_EQ(v->SelX2(), twin->GetPolySel(2).X - 1);  // the mask's inclusive box
  // Shift adds a second rectangle as a sub-polygon.
  VXHeadless::KeyDown(VK_SHIFT);
  Drag(v, 200, 150, 220, 170);
  VXHeadless::KeyUp(VK_SHIFT);
  EXPECT_EQ(v->PolySelCount(), 9);
  EXPECT_EQ(v->GetPolySel(4).X, TVXMask::PolygonSeparator);
  const TPoint inFirst = ClientOf(v, v->GetPolySel(0).X + 1, v->GetPolySel(0).Y + 1);
  const TPoint inSecond = ClientOf(v, v->GetPolySel(5).X + 1, v->GetPolySel(5).Y + 1);
  EXPECT_TRUE(v->IsPointInsideSelection(inFirst.X, inFirst.Y));
  EXPECT_TRUE(v->IsPointInsideSelection(inSecond.X, inSecond.Y));
  // A click outside deselects, unless one-click deselecting is off.
  events.clear();
  Click(v, 20, 20);
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(events, (std::vector<std::string>{"before", "changing", "change"}));
  Drag(v, 70, 45, 170, 125);
  v->SetSelectionOptions(v->SelectionOptions() | VXSelOpt(vxsoDisableOneClickDeselect));
  Click(v, 20, 20);
  EXPECT_TRUE(v->Selected());
  // Aspect 2 (height = 2 x width) from (0, 0) to (50, 10) covers 50 x 100.
  v->SetSelectionAspectRatio(2);
  const TPoint a = ClientOf(v, 0, 0), b = ClientOf(v, 50, 10);
  Drag(v, a.X, a.Y, b.X, b.Y);
  EXPECT_EQ(Poly(v), RectPoly(0, 0, 50, 100));
}

TEST_F(ViewMouse, FixedSizeRectangleFollowsTheCursor) {
  TProbeView* v = MakeView(400, 300, 150, 120, 200);
  v->SetMouseInteract(MI({miSelect}));
  v->SetSelectionAspectRatio(0);
  v->SetSelectionAbsWidth(100);
  v->SetSelectionAbsHeight(60);
  auto expect = [&](int x, int y) {
    // 200 x 120 client pixels around the cursor.
    const TVXLayer* L = v->CurrentLayer();
    const int x1 = v->ConvXScr2Bmp(L, x - 100), y1 = v->ConvYScr2Bmp(L, y - 60);
    const int x2 = v->ConvXScr2Bmp(L, x + 99), y2 = v->ConvYScr2Bmp(L, y + 59);
    return RectPoly(x1, y1, x2, y2);
  };
  Down(v, 200, 150);
  EXPECT_EQ(Poly(v), expect(200, 150));
  Move(v, 203, 151);
  EXPECT_EQ(Poly(v), expect(203, 151));
  Move(v, 190, 140);
  EXPECT_EQ(Poly(v), expect(190, 140));
  Up(v, 190, 140);
  EXPECT_TRUE(v->Selected());
}

TEST_F(ViewMouse, EllipseLassoAndPolygon) {
  TProbeView* v = MakeView(300, 220, 200, 150);
  // A small ellipse still has 50 points.
  v->SetMouseInteract(MI({miSelectCircle}));
  Drag(v, 150, 110, 154, 113);
  EXPECT_EQ(v->PolySelCount(), 50);
  EXPECT_TRUE(v->Selected());
  const TPoint c = v->GetPolySel(0);  // the point at angle 0: centre + x radius
  EXPECT_EQ(c.X - v->ConvXScr2Bmp(v->CurrentLayer(), 150), 4);

  // A lasso follows the moves, in bitmap pixels.
  v->SetMouseInteract(MI({miSelectLasso}));
  const std::vector<TPoint> path{{60, 40}, {120, 40}, {120, 100}, {60, 100}};
  Down(v, path[0].X, path[0].Y);
  for (size_t i = 1; i < path.size(); ++i) Move(v, path[i].X, path[i].Y);
  Up(v, path.back().X, path.back().Y);
  std::vector<TPoint> want;
  for (const TPoint& p : path) want.push_back(ClientBmp(v, p));
  EXPECT_EQ(Poly(v), want);
  EXPECT_TRUE(v->IsPointInsideSelection(90, 70));

  // A polygon ends with a double click, its second press's point removed.
  // (A press inside the lasso's selection would move it.)
  v->DeSelect();
  v->SetMouseInteract(MI({miSelectPolygon}));
  int changes = 0;
  v->OnSelectionChange = [&](void*) { ++changes; };
  const std::vector<TPoint> pts{{60, 40}, {140, 50}, {130, 110}, {70, 100}};
  for (const TPoint& p : pts) Click(v, p.X, p.Y);
  EXPECT_TRUE(v->PolySelecting());
  EXPECT_EQ(changes, 0);
  VXHeadless::MouseDown(v->Handle(), 70, 100, kLeft);  // the second press of a double click
  VXHeadless::MouseUp(v->Handle(), 70, 100, kLeft);
  VXHeadless::RunUntilIdle();
  EXPECT_FALSE(v->PolySelecting());
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(v->PolySelCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(v->GetPolySel(i), ClientBmp(v, pts[size_t(i)])) << i;
  EXPECT_TRUE(v->IsPointInsideSelection(100, 75));
  // With the right button ending it, nothing is removed.
  v->SetSelectionOptions(v->SelectionOptions() | VXSelOpt(vxsoRightButtonTerminatePolySelect));
  v->DeSelect();
  for (const TPoint& p : pts) Click(v, p.X, p.Y);
  Click(v, 10, 10, kRight);
  EXPECT_FALSE(v->PolySelecting());
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(v->PolySelCount(), 4);
  EXPECT_EQ(v->GetPolySel(3), ClientBmp(v, pts[3]));
}

// ---------------------------------------------------------------------------
// Grips of a rectangle selection

TEST_F(ViewMouse, SelectionGripsResizeTurnOverAndKeepTheRatio) {
  TProbeView* v = MakeView(300, 220, 200, 150);
  v->SetMouseInteract(MI({miSelect}));
  auto drawRect = [&](int x1, int y1, int x2, int y2) {
    const TPoint a = ClientOf(v, x1, y1), b = ClientOf(v, x2, y2);
    Drag(v, a.X, a.Y, b.X, b.Y);
    ASSERT_EQ(Poly(v), RectPoly(x1, y1, x2, y2));
  };
  drawRect(10, 10, 50, 40);
  struct Case {
    int bx, by;
    TVXGrip Grip;
    TCursor Cursor;
  } cases[] = {{10, 10, vxTopLeft, 1786},  {50, 10, vxTopRight, 1788},   {50, 40, vxBottomRight, 1786},
               {10, 40, vxBottomLeft, 1788}, {10, 25, vxLeftSide, 1789}, {50, 25, vxRightSide, 1789},
               {30, 10, vxTopSide, 1787},  {30, 40, vxBottomSide, 1787}, {30, 25, vxNone, 1790},
               {120, 100, vxNone, 1785}};
  for (const Case& c : cases) {
    const TPoint p = ClientOf(v, c.bx, c.by);
    EXPECT_EQ(v->GetGripAt(p.X, p.Y), c.Grip) << c.bx << "," << c.by;
    Move(v, p.X, p.Y);
    EXPECT_EQ(v->CurrentCursor(), c.Cursor) << c.bx << "," << c.by;
  }
  // With Shift no grip is offered, and the cross shows adding.
  VXHeadless::KeyDown(VK_SHIFT);
  const TPoint tl = ClientOf(v, 10, 10);
  EXPECT_EQ(v->SelGripUnderMouse(tl.X, tl.Y, VXShiftBit(ssShift)), vxNone);
  Move(v, 150, 150);
  EXPECT_EQ(v->CurrentCursor(), 1791);
  VXHeadless::KeyUp(VK_SHIFT);
  Move(v, 151, 150);
  v->SetCursor(1793);
  VXHeadless::KeyDown(VK_SHIFT);
  Move(v, 150, 150);
  EXPECT_EQ(v->CurrentCursor(), 1794);
  VXHeadless::KeyUp(VK_SHIFT);
  v->SetCursor(1785);

  // The top-left grip dragged onto the right edge keeps one pixel; past it
  // the grip becomes the top-right one.
  const TPoint at50 = ClientOf(v, 50, 10), at60 = ClientOf(v, 60, 10), at70 = ClientOf(v, 70, 10);
  Drag(v, tl.X, tl.Y, at50.X, at50.Y, false);
  EXPECT_EQ(Poly(v), RectPoly(49, 10, 50, 40));
  EXPECT_EQ(v->RectResizing(), vxTopLeft);
  Move(v, at60.X, at60.Y);
  EXPECT_EQ(v->RectResizing(), vxTopRight);
  EXPECT_EQ(Poly(v), RectPoly(50, 10, 60, 40));
  Move(v, at70.X, at70.Y);
  Up(v, at70.X, at70.Y);
  EXPECT_EQ(Poly(v), RectPoly(50, 10, 71, 40));
  EXPECT_TRUE(v->IsPointInsideSelection(ClientOf(v, 60, 20).X, ClientOf(v, 60, 20).Y));
  EXPECT_FALSE(v->IsPointInsideSelection(ClientOf(v, 30, 20).X, ClientOf(v, 30, 20).Y));

  // KeepRatio (the Alt key forced): the bottom-right corner follows x at the
  // ratio of the box at the press.
  v->DeSelect();
  drawRect(10, 10, 50, 30);
  v->SetForceALTkey(true);
  const TPoint br = ClientOf(v, 50, 30), to = ClientOf(v, 90, 30);
  Drag(v, br.X, br.Y, to.X, to.Y);
  v->SetForceALTkey(false);
  const double d = 41.0 / 21.0;
  const int y2 = int(std::nearbyint(10 - 1 + (90 - 10 + 1) / d)) + 1;
  EXPECT_EQ(Poly(v), RectPoly(10, 10, 91, y2));

  // No grips on a polygon that is not a rectangle, nor while one is drawn.
  v->SetMouseInteract(MI({miSelectCircle}));
  Drag(v, 100, 100, 130, 120);
  const TPoint e0 = ClientOf(v, v->GetPolySel(0).X, v->GetPolySel(0).Y);
  EXPECT_EQ(v->GetGripAt(e0.X, e0.Y), vxNone);
  v->SetMouseInteract(MI({miSelect}));
  v->DeSelect();
  Drag(v, 60, 60, 90, 90, false);
  EXPECT_TRUE(v->RectSelecting());
  const TPoint c0 = ClientOf(v, v->GetPolySel(0).X, v->GetPolySel(0).Y);
  EXPECT_EQ(v->GetGripAt(c0.X, c0.Y), vxNone);
  Up(v, 90, 90);
  EXPECT_EQ(v->GetGripAt(c0.X, c0.Y), vxTopLeft);
}

// ---------------------------------------------------------------------------
// Layers

class ViewMouseLayers : public ViewMouse {
 protected:
  void SetUp() override {
    ViewMouse::SetUp();
    // 200 x 150 at zoom 200 in 900 x 700: the image at (250, 200).
    v = MakeView(900, 700, 200, 150, 200);
    v->LayersAdd(40, 30, vx24RGB, 20, 20);
    v->Update();
    VXHeadless::RunUntilIdle();
    L = v->CurrentLayer();
    v->OnLayerNotify = [this](void*, int32_t Layer, TVXLayerEvent e) {
      if (log.empty() || log.back() != e) log.push_back(e);
      layers.push_back(Layer);
    };
  }
  TPoint Grip(TVXGrip g) {
    TRect r[9];
    v->CalcLayerGripCoords(v->LayersCurrent(), r);
    const TRect& q = r[g - 1];
    return TPoint{(q.Left + q.Right) / 2, (q.Top + q.Bottom) / 2};
  }
  TProbeView* v = nullptr;
  TVXLayer* L = nullptr;
  std::vector<TVXLayerEvent> log;
  std::vector<int32_t> layers;
};

TEST_F(ViewMouseLayers, MovingLockedLayersAndUndo) {
  v->SetMouseInteract(MI({miMoveLayers}));
  v->SetLayersCurrent(0);
  const int cx = v->XBmp2Scr(40), cy = v->YBmp2Scr(35);
  Drag(v, cx, cy, cx + 10, cy, false);
  EXPECT_EQ(v->InteractionHint(), "X=25 Y=20");
  EXPECT_EQ(v->CurrentCursor(), 1790);
  Up(v, cx + 10, cy);
  EXPECT_EQ(v->InteractionHint(), "");
  EXPECT_EQ(v->CurrentCursor(), 1785);
  EXPECT_EQ(L->PosX(), 25);
  EXPECT_EQ(L->PosY(), 20);
  EXPECT_EQ(v->LayersCurrent(), 1);
  EXPECT_EQ(log, (std::vector<TVXLayerEvent>{vxlSelected, vxlBeginMoving, vxlMoving, vxlMoved}));
  for (int32_t i : layers) EXPECT_EQ(i, 1);
  // A locked layer is picked but never moves.
  log.clear();
  L->SetLocked(true);
  Drag(v, v->XBmp2Scr(45), cy, v->XBmp2Scr(45) + 30, cy + 20);
  EXPECT_EQ(L->PosX(), 25);
  EXPECT_EQ(L->PosY(), 20);
  EXPECT_EQ(log, (std::vector<TVXLayerEvent>{vxlSelected, vxlBeginMoving}));
  L->SetLocked(false);
  // With automatic undo one entry per drag, and Undo puts the layer back.
  v->SetLayersAutoUndo(true);
  const int32_t before = v->Proc()->UndoCount();
  Drag(v, v->XBmp2Scr(45), cy, v->XBmp2Scr(45) - 12, cy + 8);
  EXPECT_EQ(L->PosX(), 19);
  EXPECT_EQ(L->PosY(), 24);
  EXPECT_EQ(v->Proc()->UndoCount(), before + 1);
  v->Proc()->Undo();
  EXPECT_EQ(v->CurrentLayer()->PosX(), 25);
  EXPECT_EQ(v->CurrentLayer()->PosY(), 20);
}

TEST_F(ViewMouseLayers, ResizingByGrips) {
  v->SetMouseInteract(MI({miResizeLayers}));
  EXPECT_EQ(v->MouseInteract(), MI({miResizeLayers}));
  // The left side by -10 bitmap pixels (-20 client pixels at 200 %).
  const TPoint left = Grip(vxLeftSide);
  Drag(v, left.X, left.Y, left.X - 20, left.Y, false);
  EXPECT_EQ(v->InteractionHint(), "50 x 30");
  Up(v, left.X - 20, left.Y);
  EXPECT_EQ(L->Width(), 50);
  EXPECT_EQ(L->PosX(), 10);
  EXPECT_EQ(log, (std::vector<TVXLayerEvent>{vxlBeginResizing, vxlResizing, vxlResized}));
  // The right side far past the left edge: width 1, the layer stays.
  const TPoint right = Grip(vxRightSide);
  Drag(v, right.X, right.Y, right.X - 160, right.Y);
  EXPECT_EQ(L->Width(), 1);
  EXPECT_EQ(L->PosX(), 10);
  // The bottom-right corner with Alt keeps the ratio of the press.
  L->SetWidth(40);
  L->SetHeight(20);
  v->Update();
  VXHeadless::RunUntilIdle();
  v->SetForceALTkey(true);
  const TPoint br = Grip(vxBottomRight);
  Drag(v, br.X, br.Y, br.X + 40, br.Y);
  v->SetForceALTkey(false);
  EXPECT_EQ(L->Width(), 60);
  EXPECT_EQ(L->Height(), 30);
  // A layer without pixels is not resized.
  TVXBitmap empty;
  v->LayersAdd(&empty, true);
  v->Update();
  VXHeadless::RunUntilIdle();
  v->ResizeLayerByGrip(10, 10, false);
  EXPECT_EQ(v->CurrentLayer()->Width(), 0);
}

TEST_F(ViewMouseLayers, RotatingAndTheRotationCentre) {
  v->SetMouseInteract(MI({miRotateLayers}));
  const TVXBitmap* b = L->Bitmap();
  const int ccx = v->ConvXBmp2Scr(L, b->Width() / 2), ccy = v->ConvYBmp2Scr(L, b->Height() / 2);
  // The quadrant cursors outside the layer.
  struct Q {
    int dx, dy;
    TCursor c;
  } qs[] = {{-150, -100, 1814}, {-150, 100, 1811}, {150, -100, 1812}, {150, 100, 1813}};
  for (const Q& q : qs) {
    Move(v, ccx + q.dx, ccy + q.dy);
    EXPECT_EQ(v->CurrentCursor(), q.c);
  }
  Move(v, ccx, ccy);
  EXPECT_EQ(v->CurrentCursor(), 1785);
  // A drag outside the layer turns it by (dX + dY) / 4, the signs by the
  // side of the centre; with Shift in steps of 45.
  auto model = [&](double value, int x0, int y0, int x1, int y1) {
    double dX = (v->XScr2Bmp(x1) - v->XScr2Bmp(x0)) / 4.0, dY = (v->YScr2Bmp(y1) - v->YScr2Bmp(y0)) / 4.0;
    if (x1 > ccx) dY = -dY;
    if (y1 < ccy) dX = -dX;
    return value + dX + dY;
  };
  const std::vector<TPoint> path{{ccx + 100, ccy + 300}, {ccx + 120, ccy + 300}, {ccx + 140, ccy + 290},
                                 {ccx + 140, ccy - 50},  {ccx - 40, ccy - 60}};
  double value = 0;
  Down(v, path[0].X, path[0].Y);
  for (size_t i = 1; i < path.size(); ++i) {
    Move(v, path[i].X, path[i].Y);
    value = model(value, path[i - 1].X, path[i - 1].Y, path[i].X, path[i].Y);
    EXPECT_DOUBLE_EQ(L->Rotate(), value) << i;
  }
  char hint[32];
  std::snprintf(hint, sizeof hint, "%.15g\xC2\xB0", value);
  EXPECT_EQ(v->InteractionHint(), hint);
  Up(v, path.back().X, path.back().Y);
  EXPECT_EQ(log, (std::vector<TVXLayerEvent>{vxlRotating, vxlRotated}));
  EXPECT_EQ(v->InteractionHint(), "");

  L->SetRotate(0);
  std::vector<double> stepped;
  VXHeadless::KeyDown(VK_SHIFT);
  Down(v, ccx + 100, ccy + 400);
  for (int k = 1; k <= 4; ++k) {
    Move(v, ccx + 100 + 100 * k, ccy + 400 - 60 * k);  // +12.5 +7.5 a step
    stepped.push_back(L->Rotate());
  }
  Up(v, ccx + 500, ccy + 160);
  VXHeadless::KeyUp(VK_SHIFT);
  EXPECT_EQ(stepped, (std::vector<double>{0, 0, 45, 45}));
  // From 30 the same steps reach 90.
  L->SetRotate(30);
  stepped.clear();
  VXHeadless::KeyDown(VK_SHIFT);
  Down(v, ccx + 100, ccy + 400);
  for (int k = 1; k <= 4; ++k) {
    Move(v, ccx + 100 + 100 * k, ccy + 400 - 60 * k);
    stepped.push_back(L->Rotate());
  }
  Up(v, ccx + 500, ccy + 160);
  VXHeadless::KeyUp(VK_SHIFT);
  EXPECT_EQ(stepped, (std::vector<double>{45, 45, 90, 90}));
  // With automatic undo a rotation is one entry, and Undo turns it back.
  L->SetRotate(0);
  v->SetLayersAutoUndo(true);
  const int32_t undos = v->Proc()->UndoCount();
  Drag(v, ccx + 100, ccy + 300, ccx + 140, ccy + 300);
  EXPECT_EQ(L->Rotate(), 5);
  EXPECT_EQ(v->Proc()->UndoCount(), undos + 1);
  v->Proc()->Undo();
  EXPECT_EQ(v->CurrentLayer()->Rotate(), 0);
  v->SetLayersAutoUndo(false);
  L = v->CurrentLayer();

  // The rotation centre follows its grip.
  L->SetRotate(0);
  v->Update();
  VXHeadless::RunUntilIdle();
  const TPoint rc = Grip(vxRotationCenter);
  Drag(v, rc.X, rc.Y, rc.X - 20, rc.Y + 10);
  EXPECT_DOUBLE_EQ(L->RotateCenterX(), double(v->ConvXScr2Bmp(L, rc.X - 20)) / b->Width());
  EXPECT_DOUBLE_EQ(L->RotateCenterY(), double(v->ConvYScr2Bmp(L, rc.Y + 10)) / b->Height());
  EXPECT_EQ(L->Rotate(), 0);
}

// ---------------------------------------------------------------------------
// Cursors by handler, the hour-glass, scrolling

TEST_F(ViewMouse, CursorHandlerAutoCursorsAndTheHourGlass) {
  TProbeView* v = MakeView(300, 220, 200, 150);
  v->SetMouseInteract(MI({miSelect}));
  const TPoint a = ClientOf(v, 10, 10), b = ClientOf(v, 50, 40);
  Drag(v, a.X, a.Y, b.X, b.Y);
  v->OnSetCursor = [](void*, TCursor& c) {
    if (c == 1786) c = 1800;
  };
  Move(v, a.X, a.Y);
  EXPECT_EQ(v->CurrentCursor(), 1800);
  v->OnSetCursor = nullptr;
  Move(v, 150, 150);
  v->SetAutoCursors(false);
  Move(v, a.X, a.Y);
  EXPECT_EQ(v->CurrentCursor(), 1785);
  v->SetAutoCursors(true);

  std::vector<TCursor> shown;
  v->OnSetCursor = [&](void*, TCursor& c) { shown.push_back(c); };
  v->DeSelect();
  v->SetMouseInteract(MI({miSelectMagicWand}));
  shown.clear();
  Click(v, 100, 100);
  EXPECT_TRUE(v->Selected());
  const auto hg = std::find(shown.begin(), shown.end(), crHourGlass);
  ASSERT_NE(hg, shown.end());
  ASSERT_NE(hg + 1, shown.end());
  EXPECT_EQ(*(hg + 1), 1785);
  EXPECT_EQ(v->CurrentCursor(), 1785);
}

TEST_F(ViewMouse, DragPastTheEdgeScrollsAndTheSelectionFollows) {
  TProbeView* v = MakeView(200, 150, 400, 300);
  v->SetMouseInteract(MI({miSelect}));
  int32_t mx, my;
  v->GetMaxViewXY(mx, my);
  ASSERT_GT(mx, 0);
  // Inside the image: nothing to scroll.
  const TPoint in = v->ClientToScreen(TPoint{100, 70});
  SetCursorPos(in.X, in.Y);
  EXPECT_FALSE(v->MouseMoveScroll());
  EXPECT_EQ(v->ViewX(), 0);
  const int bx0 = v->ConvXScr2Bmp(v->CurrentLayer(), 50), by0 = v->ConvYScr2Bmp(v->CurrentLayer(), 50);
  Drag(v, 50, 50, 190, 100, false);
  Move(v, 260, 100);  // past the right edge
  EXPECT_EQ(v->ViewX(), mx);
  EXPECT_EQ(v->ViewY(), 0);
  Up(v, 260, 100);
  const std::vector<TPoint> p = Poly(v);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0], (TPoint{bx0, by0}));
  EXPECT_EQ(p[2].X, 400);
  // Dragging the selection back left past the edge scrolls back, and the
  // selection moves with the view.
  const TPoint inside = ClientOf(v, 300, by0 + 10);
  Drag(v, inside.X, inside.Y, 5, inside.Y, false);
  Move(v, -30, inside.Y);
  EXPECT_EQ(v->ViewX(), 0);
  Up(v, -30, inside.Y);
  EXPECT_EQ(v->SelX1(), 0);
}

TEST_F(ViewMouse, MovingScrollFollowsTheCursor) {
  TProbeView* v = MakeView(200, 150, 400, 300);
  v->SetMouseInteract(MI({miMovingScroll}));
  int32_t mx, my;
  v->GetMaxViewXY(mx, my);
  auto target = [&](int x, int y) {
    return TPoint{int(std::trunc((x / 200.0 - 0.02) * 1.05 * mx)), int(std::trunc((y / 150.0 - 0.02) * 1.05 * my))};
  };
  v->SetSmoothScrollValue(0);
  Move(v, 100, 75);
  EXPECT_EQ((TPoint{v->ViewX(), v->ViewY()}), target(100, 75));
  // Through the smooth scroll: it glides there.
  v->SetSmoothScrollValue(8);
  Move(v, 40, 120);
  EXPECT_TRUE(v->SmoothScrollRunning());
  VXHeadless::Advance(3000);
  EXPECT_FALSE(v->SmoothScrollRunning());
  // Each step covers an eighth of the way left, rounded: it settles within
  // eight pixels of the target.
  const TPoint t = target(40, 120);
  EXPECT_LT(std::abs(v->ViewX() - std::clamp(t.X, 0, mx)), 8);
  EXPECT_LT(std::abs(v->ViewY() - std::clamp(t.Y, 0, my)), 8);
  EXPECT_LT(v->ViewX(), 101);
  EXPECT_GT(v->ViewY(), 76);
}

TEST_F(ViewMouse, SelectZoomZoomsToTheRectangleAndKeepsTheSelection) {
  TProbeView* v = MakeView(300, 220, 200, 150);
  v->SetMouseInteract(MI({miSelect}));
  const TPoint a = ClientOf(v, 10, 10), b = ClientOf(v, 50, 40);
  Drag(v, a.X, a.Y, b.X, b.Y);
  const int x1 = v->SelX1(), y1 = v->SelY1(), x2 = v->SelX2(), y2 = v->SelY2();
  v->SetMouseInteract(MI({miSelectZoom}));
  const TPoint c = ClientOf(v, 100, 80), d = ClientOf(v, 160, 120);
  Drag(v, c.X, c.Y, d.X, d.Y);
  // The 60 x 40 rectangle zoomed to with its aspect ratio, centred.
  EXPECT_DOUBLE_EQ(v->Zoom(), std::min(v->Height() / 0.4, v->Width() / 0.6));
  const TRect vis = v->VisibleBitmapRect();
  EXPECT_NEAR((vis.Left + vis.Right) / 2.0, 129.5, 1.5);
  EXPECT_NEAR((vis.Top + vis.Bottom) / 2.0, 99.5, 1.5);
  EXPECT_EQ(v->SavedSelectionsCount(), 0);
  ASSERT_TRUE(v->Selected());
  EXPECT_EQ(v->SelX1(), x1);
  EXPECT_EQ(v->SelY1(), y1);
  EXPECT_EQ(v->SelX2(), x2);
  EXPECT_EQ(v->SelY2(), y2);
}

// ---------------------------------------------------------------------------
// Seeded scripts against a model of the drags

TEST_F(ViewMouse, SeededScriptsFollowTheModel) {
  std::mt19937 rng(1080);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const double zooms[] = {50, 100, 200, 300};
  for (int seed = 0; seed < 12; ++seed) {
    SCOPED_TRACE(seed);
    const double zoom = zooms[rnd(0, 3)];
    const int W = rnd(80, 160), H = rnd(60, 120);
    TProbeView* v = MakeView(520, 400, W, H, zoom);
    const int nLayers = rnd(1, 3);
    for (int i = 0; i < nLayers; ++i) v->LayersAdd(rnd(10, W / 2), rnd(10, H / 2), vx24RGB, rnd(0, W / 2), rnd(0, H / 2));
    v->Update();
    VXHeadless::RunUntilIdle();
    // A client point strictly inside the displayed image.
    auto inImage = [&]() {
      return TPoint{rnd(v->OffsetX() + 2, v->OffsetX() + v->ExtentX() - 3),
                    rnd(v->OffsetY() + 2, v->OffsetY() + v->ExtentY() - 3)};
    };
    auto topLayerAt = [&](const TPoint& p) {
      for (int i = v->LayersCount() - 1; i >= 1; --i) {
        const TRect& r = v->Layers(i)->ClientAreaBox();
        if (p.X >= r.Left && p.X <= r.Right && p.Y >= r.Top && p.Y <= r.Bottom) return i;
      }
      return 0;
    };

    // Moving: the press picks the top layer under it; the layer moves by
    // the bitmap distance of the cursor's path.
    v->SetMouseInteract(MI({miMoveLayers}));
    const int target = rnd(1, nLayers);
    const TRect& box = v->Layers(target)->ClientAreaBox();
    TPoint p0{rnd(box.Left + 1, std::max(box.Left + 1, box.Right - 1)),
              rnd(box.Top + 1, std::max(box.Top + 1, box.Bottom - 1))};
    p0.X = std::clamp(p0.X, v->OffsetX() + 1, v->OffsetX() + v->ExtentX() - 2);
    p0.Y = std::clamp(p0.Y, v->OffsetY() + 1, v->OffsetY() + v->ExtentY() - 2);
    const int picked = topLayerAt(p0);
    Move(v, p0.X, p0.Y);
    EXPECT_EQ(v->CurrentCursor(), picked >= 1 ? 1790 : 1785);
    const TPoint p1 = inImage();
    const int px = v->Layers(picked)->PosX(), py = v->Layers(picked)->PosY();
    const int wantX = px + v->XScr2Bmp(p1.X) - v->XScr2Bmp(p0.X), wantY = py + v->YScr2Bmp(p1.Y) - v->YScr2Bmp(p0.Y);
    Drag(v, p0.X, p0.Y, p1.X, p1.Y);
    EXPECT_EQ(v->LayersCurrent(), picked);
    EXPECT_EQ(v->Layers(picked)->PosX(), wantX);
    EXPECT_EQ(v->Layers(picked)->PosY(), wantY);

    // Resizing the current layer by its right side.
    v->SetMouseInteract(MI({miResizeLayers}));
    {
      TRect g[9];
      v->CalcLayerGripCoords(v->LayersCurrent(), g);
      const TPoint rs{(g[5].Left + g[5].Right) / 2, (g[5].Top + g[5].Bottom) / 2};
      const TRect B = v->CurrentLayer()->ClientAreaBox();
      const int to = rs.X + rnd(-40, 40);
      Drag(v, rs.X, rs.Y, to, rs.Y);
      EXPECT_EQ(v->CurrentLayer()->Width(), std::max(1, v->XScr2Bmp(to) - v->XScr2Bmp(B.Left)));
    }

    // A rectangle on layer 0 from the press to the release, its corner
    // cursors, then its bottom-right grip dragged outward.
    v->SetMouseInteract(MI({miSelect}));
    v->SetLayersCurrent(0);
    TPoint a, b;
    do {
      a = inImage();
      b = inImage();
    } while (std::abs(a.X - b.X) < 14 || std::abs(a.Y - b.Y) < 14);
    Drag(v, a.X, a.Y, b.X, b.Y);
    const TVXLayer* L0 = v->CurrentLayer();
    int x1 = v->ConvXScr2Bmp(L0, a.X), y1 = v->ConvYScr2Bmp(L0, a.Y);
    int x2 = v->ConvXScr2Bmp(L0, b.X), y2 = v->ConvYScr2Bmp(L0, b.Y);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    ASSERT_EQ(Poly(v), RectPoly(x1, y1, x2, y2));
    EXPECT_EQ(v->SelX1(), x1);
    EXPECT_EQ(v->SelY2(), y2 - 1);
    const TCursor corner[4] = {1786, 1788, 1786, 1788};
    for (int k = 0; k < 4; ++k) {
      const TPoint c = ClientOf(v, v->GetPolySel(k).X, v->GetPolySel(k).Y);
      Move(v, c.X, c.Y);
      EXPECT_EQ(v->CurrentCursor(), corner[k]) << k;
    }
    const TPoint br = ClientOf(v, x2, y2);
    const TPoint out{std::min(br.X + rnd(0, 30), v->OffsetX() + v->ExtentX() - 1),
                     std::min(br.Y + rnd(0, 30), v->OffsetY() + v->ExtentY() - 1)};
    Drag(v, br.X, br.Y, out.X, out.Y);
    EXPECT_EQ(Poly(v), RectPoly(x1, y1, std::min(W, v->ConvXScr2Bmp(L0, out.X) + 1),
                                std::min(H, v->ConvYScr2Bmp(L0, out.Y) + 1)));

    // Rotating the top layer by a drag outside it.
    v->SetMouseInteract(MI({miRotateLayers}));
    v->SetLayersCurrent(nLayers);
    TVXLayer* T = v->CurrentLayer();
    const int ccx = v->ConvXBmp2Scr(T, T->Bitmap()->Width() / 2), ccy = v->ConvYBmp2Scr(T, T->Bitmap()->Height() / 2);
    const TRect tb = T->ClientAreaBox();
    // A press outside the layer with room for the moves in the client area.
    TPoint r0{-1, -1};
    for (const TPoint& c : {TPoint{tb.Right + 20, tb.Bottom + 20}, TPoint{tb.Left - 20, tb.Top - 20},
                            TPoint{tb.Left - 20, tb.Bottom + 20}, TPoint{tb.Right + 20, tb.Top - 20}})
      if (c.X >= 31 && c.X < 520 - 31 && c.Y >= 31 && c.Y < 400 - 31) {
        r0 = c;
        break;
      }
    ASSERT_GE(r0.X, 0);
    double value = T->Rotate();
    const TPoint press = r0;
    Down(v, r0.X, r0.Y);
    for (int k = 0; k < 4; ++k) {
      const TPoint r1{press.X + rnd(-30, 30), press.Y + rnd(-30, 30)};
      Move(v, r1.X, r1.Y);
      double dX = (v->XScr2Bmp(r1.X) - v->XScr2Bmp(r0.X)) / 4.0, dY = (v->YScr2Bmp(r1.Y) - v->YScr2Bmp(r0.Y)) / 4.0;
      if (r1.X > ccx) dY = -dY;
      if (r1.Y < ccy) dX = -dX;
      value += dX + dY;
      r0 = r1;
    }
    Up(v, r0.X, r0.Y);
    EXPECT_DOUBLE_EQ(T->Rotate(), value);
    delete v;
  }
}

}  // namespace
