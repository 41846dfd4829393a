// Selections of the viewer: the select operations checked on the polygon and
// the mask, the marching ants on the window surface, the selection stream
// and its stack, the selection carried across layer switches, the navigator
// and a processing operation through the selection.
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/gaussblur.h"
#include "core/mask.h"
#include "core/streams.h"
#include "gui/extctrls.h"
#include "proc/magicwand.h"
#include "proc/proc.h"
#include "tests/view/view_fixture.h"

namespace {

constexpr int32_t kBreak = 1048575;

std::vector<TPoint> Poly(TVexlaneView* v) {
  std::vector<TPoint> p;
  for (int32_t i = 0; i < v->PolySelCount(); ++i) p.push_back(v->GetPolySel(i));
  return p;
}

// Every pixel value of a mask, row by row.
std::vector<int32_t> Pixels(TVXMask* m) {
  std::vector<int32_t> out;
  for (int32_t y = 0; y < m->Height(); ++y)
    for (int32_t x = 0; x < m->Width(); ++x) out.push_back(m->GetPixel(x, y));
  return out;
}

// The mask the landed polygon fill makes of Points at the viewer's size.
std::vector<int32_t> FilledMask(int32_t W, int32_t H, const std::vector<TPoint>& Points, int32_t Depth = 1) {
  TVXMask m;
  m.AllocateBits(W, H, Depth);
  m.DrawPolygon(Depth == 1 ? 1 : 255, Points.data(), int32_t(Points.size()));
  return Pixels(&m);
}

int32_t Rnd(double v) { return int32_t(std::nearbyint(v)); }

// The colour of a client pixel of the window (0x00RRGGBB).
uint32_t SurfacePixel(TVexlaneView* v, int x, int y) {
  int w = 0, h = 0;
  std::vector<uint32_t> s = VXHeadless::Surface(v->Handle(), w, h);
  if (x < 0 || y < 0 || x >= w || y >= h) return 0xFFFFFFFF;
  return s[size_t(y) * size_t(w) + size_t(x)];
}

}  // namespace

class ViewSelection : public ViewTest {
 protected:
  TVexlaneView* Viewer(int W, int H) {
    TVexlaneView* v = NewView(300, 200);
    v->SetImageHorizAlignment(vxhLeft);
    v->SetImageVertAlignment(vxvTop);
    SetImage(v, W, H);
    v->SetSelectionBase(vxsbBitmap);
    return v;
  }
};

// ---------------------------------------------------------------------------
// Program selections

TEST_F(ViewSelection, RectanglesEllipsesAndAspectRatio) {
  TVexlaneView* v = Viewer(200, 120);
  // Equal coordinates change nothing.
  v->Select(5, 6, 50, 40);
  const std::vector<TPoint> before = Poly(v);
  const std::vector<int32_t> beforeMask = Pixels(v->SelectionMask());
  v->Select(10, 10, 10, 50);
  v->Select(10, 10, 60, 10);
  EXPECT_EQ(Poly(v), before);
  EXPECT_EQ(Pixels(v->SelectionMask()), beforeMask);

  // Corners in any order give the same rectangle; right and bottom exclusive.
  struct Case {
    int32_t x1, y1, x2, y2;
  };
  for (const Case c : {Case{10, 20, 60, 50}, Case{60, 50, 10, 20}, Case{60, 20, 10, 50}, Case{10, 50, 60, 20}}) {
    SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2);
    v->Select(c.x1, c.y1, c.x2, c.y2);
    EXPECT_EQ(Poly(v), (std::vector<TPoint>{{10, 20}, {60, 20}, {60, 50}, {10, 50}}));
    TVXMask* m = v->SelectionMask();
    EXPECT_EQ(m->X1(), 10);
    EXPECT_EQ(m->Y1(), 20);
    EXPECT_EQ(m->X2(), 59);
    EXPECT_EQ(m->Y2(), 49);
    EXPECT_TRUE(v->Selected());
    EXPECT_EQ(v->SelectedRect().width, 50);
    EXPECT_EQ(v->SelectedRect().height, 30);
  }
  // Corners beyond the image are clamped into it.
  v->Select(-20, -5, 400, 300);
  EXPECT_EQ(Poly(v), (std::vector<TPoint>{{0, 0}, {200, 0}, {200, 120}, {0, 120}}));
  v->SelectionMask()->SyncFull();
  EXPECT_TRUE(v->SelectionMask()->Full());

  // Two added rectangles: 4 points, a break, 4 points; both in the mask.
  v->Select(10, 10, 30, 30);
  v->Select(100, 50, 120, 80, vxspAdd);
  std::vector<TPoint> p = Poly(v);
  ASSERT_EQ(p.size(), 9u);
  EXPECT_EQ(p[4], (TPoint{kBreak, kBreak}));
  EXPECT_EQ(Pixels(v->SelectionMask()), FilledMask(200, 120, p));
  EXPECT_TRUE(v->IsPointInsideSelection(15, 15));
  EXPECT_TRUE(v->IsPointInsideSelection(110, 60));
  EXPECT_FALSE(v->IsPointInsideSelection(60, 40));

  // Ellipse point counts.
  v->SelectEllipse(50, 50, 4, 4);
  EXPECT_EQ(v->PolySelCount(), 3);
  v->SelectEllipse(100, 60, 100, 60);
  EXPECT_EQ(v->PolySelCount(), 47);
  v->SelectEllipse(100, 60, 0, 60);  // not positive: nothing
  EXPECT_EQ(v->PolySelCount(), 47);

  // Aspect ratio 0.5: 100 wide, 50 high.
  v->SetSelectionAspectRatio(0.5);
  EXPECT_TRUE(v->HasSelectionOption(vxsoSizeable));
  v->SelectRectEx(0, 0, 100, 90, vxspReplace, false, false);
  EXPECT_EQ(Poly(v), (std::vector<TPoint>{{0, 0}, {100, 0}, {100, 50}, {0, 50}}));
  v->SetSelectionAspectRatio(0);
  EXPECT_FALSE(v->HasSelectionOption(vxsoSizeable));
  // Square (Alt) with a free ratio; MoveInside keeps the size.
  v->SetSelectionAspectRatio(-1);
  v->SelectRectEx(10, 10, 40, 90, vxspReplace, false, true);
  EXPECT_EQ(Poly(v), (std::vector<TPoint>{{10, 10}, {40, 10}, {40, 40}, {10, 40}}));
  v->SelectRectEx(-10, 100, 20, 130, vxspReplace, true, false);
  EXPECT_EQ(Poly(v), (std::vector<TPoint>{{0, 89}, {30, 89}, {30, 119}, {0, 119}}));
}

TEST_F(ViewSelection, RoundedRectanglesFollowTheBezierCorners) {
  TVexlaneView* v = Viewer(200, 120);
  const int32_t L = 20, T = 10, R = 150, B = 90, RW = 6, RH = 4, n = RW * RH;
  // The corner curves, computed here from the cubic's formula.
  auto curve = [&](TPoint P0, TPoint P1, TPoint P2, bool Reverse) {
    std::vector<TPoint> c;
    double t = 0;
    for (int i = 0; i < n; ++i) {
      t += 1.0 / n;
      const double u = 1 - t;
      const double a = u * u * u, b = 3 * t * u * u, cc = 3 * t * t * u, d = t * t * t;
      c.push_back(TPoint{Rnd(a * P0.X + b * P1.X + (cc + d) * P2.X), Rnd(a * P0.Y + b * P1.Y + (cc + d) * P2.Y)});
    }
    if (Reverse) std::reverse(c.begin(), c.end());
    return c;
  };
  std::vector<TPoint> want;
  for (auto part : {curve({L, T + RH}, {L, T}, {L + RW, T}, false), curve({R, T + RH}, {R, T}, {R - RW, T}, true),
                    curve({R, B - RH}, {R, B}, {R - RW, B}, false), curve({L, B - RH}, {L, B}, {L + RW, B}, true)})
    want.insert(want.end(), part.begin(), part.end());
  v->SelectRoundRect(L, T, R, B, RW, RH);
  EXPECT_EQ(Poly(v), want);
  EXPECT_EQ(Pixels(v->SelectionMask()), FilledMask(200, 120, want));
  EXPECT_TRUE(v->Selected());
  // A zero corner size selects nothing.
  v->SelectRoundRect(L, T, R, B, 0, 5);
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->PolySelCount(), 0);
  EXPECT_TRUE(v->SelectionMask()->IsEmpty());
}

// Client-base shapes at seeded zooms and origins: the polygons of the
// formulas, their masks the landed polygon fill, and the same pixels as the
// bitmap-base calls with the converted values.
TEST_F(ViewSelection, ClientAndBitmapBasesAgreeOnSeededShapes) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 240, 160);
  std::mt19937 rng(91);
  for (int round = 0; round < 12; ++round) {
    const double zoom = std::uniform_int_distribution<int>(0, 1)(rng) ? std::uniform_int_distribution<int>(30, 400)(rng)
                                                                       : 100;
    v->SetZoom(zoom);
    int32_t mx, my;
    v->GetMaxViewXY(mx, my);
    v->SetViewXY(std::uniform_int_distribution<int>(0, std::max(mx, 0))(rng),
                 std::uniform_int_distribution<int>(0, std::max(my, 0))(rng));
    const TVXLayer* L = v->CurrentLayer();
    auto pick = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
    const int32_t x1 = pick(-10, 300), y1 = pick(-10, 200), x2 = pick(-10, 300), y2 = pick(-10, 200);
    SCOPED_TRACE(testing::Message() << "zoom " << zoom << " rect " << x1 << "," << y1 << " " << x2 << "," << y2);
    if (x1 == x2 || y1 == y2) continue;
    const int32_t bx1 = v->ConvXScr2Bmp(L, x1), by1 = v->ConvYScr2Bmp(L, y1);
    const int32_t bx2 = v->ConvXScr2Bmp(L, x2), by2 = v->ConvYScr2Bmp(L, y2);
    v->SetSelectionBase(vxsbClientArea);
    v->Select(x1, y1, x2, y2);
    const std::vector<int32_t> clientMask = Pixels(v->SelectionMask());
    const std::vector<TPoint> clientPoly = Poly(v);
    // Rectangle from the formulas.
    const int32_t ox1 = std::clamp(std::min(bx1, bx2), 0, 239), oy1 = std::clamp(std::min(by1, by2), 0, 159);
    const int32_t ox2 = std::clamp(std::max(bx1, bx2), 0, 240), oy2 = std::clamp(std::max(by1, by2), 0, 160);
    const std::vector<TPoint> rect{{ox1, oy1}, {ox2, oy1}, {ox2, oy2}, {ox1, oy2}};
    if (v->Selected()) {
      EXPECT_EQ(clientPoly, rect);
    }
    EXPECT_EQ(clientMask, FilledMask(240, 160, rect));
    v->SetSelectionBase(vxsbBitmap);
    if (bx1 != bx2 && by1 != by2) {
      v->Select(bx1, by1, bx2, by2);
      EXPECT_EQ(Pixels(v->SelectionMask()), clientMask);
    }

    // Ellipse: the size scaled by 100 / zoom (truncated).
    const int32_t cx = pick(0, 300), cy = pick(0, 200), ew = pick(8, 200), eh = pick(8, 150);
    const int32_t bw = int32_t(std::trunc(ew * 100.0 / zoom)), bh = int32_t(std::trunc(eh * 100.0 / zoom));
    const int32_t bcx = v->ConvXScr2Bmp(L, cx), bcy = v->ConvYScr2Bmp(L, cy);
    v->SetSelectionBase(vxsbClientArea);
    v->SelectEllipse(cx, cy, ew, eh);
    if (bw <= 0 || bh <= 0) continue;
    std::vector<TPoint> ell;
    const int32_t r = std::min(bw / 2, bh / 2);
    const int32_t n = std::max(3, int32_t(std::trunc(r * 2 * std::numbers::pi)) / 4);
    for (int32_t k = 0; k < n; ++k) {
      const double t = 2 * std::numbers::pi * k / n;
      ell.push_back(TPoint{std::clamp(Rnd(std::cos(t) * (bw / 2) + bcx), 0, 240),
                           std::clamp(Rnd(std::sin(t) * (bh / 2) + bcy), 0, 160)});
    }
    const std::vector<int32_t> ellMask = Pixels(v->SelectionMask());
    if (v->Selected()) {
      EXPECT_EQ(Poly(v), ell);
    }
    EXPECT_EQ(ellMask, FilledMask(240, 160, ell));
    v->SetSelectionBase(vxsbBitmap);
    v->SelectEllipse(bcx, bcy, bw, bh);
    EXPECT_EQ(Pixels(v->SelectionMask()), ellMask);
  }
}

// ---------------------------------------------------------------------------
// Colours, the magic wand and the mask operations

TEST_F(ViewSelection, ColoursWandAndMaskOperations) {
  TVexlaneView* v = Viewer(64, 48);
  TVXBitmap* b = v->VXBitmap();
  // Colour range: blue (x) 10..20 and green (y) 5..9, red any.
  v->SelectColors(TRGB{10, 5, 0}, TRGB{20, 9, 255});
  int32_t count = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const bool want = x >= 10 && x <= 20 && y >= 5 && y <= 9;
      EXPECT_EQ(v->SelectionMask()->GetPixel(x, y) != 0, want) << x << "," << y;
      count += want;
    }
  EXPECT_EQ(count, 55);
  EXPECT_TRUE(v->Selected());
  // One colour, added to the range selection.
  v->SelectColors(b->Pixels(40, 30), vxspAdd);
  EXPECT_TRUE(v->IsPointInsideSelection(40, 30));
  EXPECT_TRUE(v->IsPointInsideSelection(15, 7));
  v->SelectColors(TRGB{1, 2, 200}, vxspReplace);  // no such pixel
  EXPECT_FALSE(v->Selected());
  // A palette index on a non-palette image selects nothing.
  v->Select(1, 1, 5, 5);
  v->SelectColors(3, vxspReplace);
  EXPECT_TRUE(v->Selected());
  EXPECT_TRUE(v->IsPointInsideSelection(2, 2));
  {
    TVexlaneView* p = NewView(200, 100);
    p->SetSelectionBase(vxsbBitmap);
    p->SetLegacyBitmap(false);
    TVXBitmap* pb = p->VXBitmap();
    pb->Allocate(16, 8, vx8p);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) static_cast<uint8_t*>(pb->ScanLine(y))[x] = uint8_t((x + y) % 5);
    p->Update();
    p->SelectColors(3);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) EXPECT_EQ(p->SelectionMask()->GetPixel(x, y) != 0, (x + y) % 5 == 3);
  }

  // The magic wand in its three modes equals the landed functions.
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      b->SetPixels(x, y, (x / 8 + y / 8) % 2 ? TRGB{200, 200, 200} : TRGB{uint8_t(x), 0, uint8_t(y)});
  v->Update();
  struct WandCase {
    TVXMagicWandMode Mode;
    int32_t x, y, Tol;
  };
  for (const WandCase c : {WandCase{vxwInclusive, 3, 3, 10}, WandCase{vxwExclusive, 3, 3, 10},
                           WandCase{vxwGlobal, 3, 3, 10}, WandCase{vxwExclusive, 12, 3, 0},
                           WandCase{vxwGlobal, 12, 3, 0}}) {
    SCOPED_TRACE(int(c.Mode));
    v->SetMagicWandMode(c.Mode);
    v->SetMagicWandTolerance(c.Tol);
    v->SelectMagicWand(c.x, c.y);
    TVXMask want;
    want.AllocateBits(64, 48, 1);
    if (c.Mode == vxwInclusive) {
      std::vector<TPoint> poly = VXMagicWandPolygon(b, c.x, c.y, c.Tol, false);
      EXPECT_EQ(Poly(v), poly);
      want.DrawPolygon(1, poly.data(), int32_t(poly.size()));
    } else if (c.Mode == vxwExclusive) {
      VXMagicWandFill(b, c.x, c.y, 1, &want, c.Tol, false);
    } else {
      VXMagicWandGlobal(b, c.x, c.y, 1, &want, c.Tol);
    }
    EXPECT_EQ(Pixels(v->SelectionMask()), Pixels(&want));
    EXPECT_TRUE(v->Selected());
  }
  v->SelectMagicWand(64, 10);  // outside: nothing changes
  EXPECT_TRUE(v->Selected());

  // Inverting a full mask deselects; inverting a rectangle selects the rest.
  v->Select(0, 0, 64, 48);
  v->InvertSelection();
  EXPECT_FALSE(v->Selected());
  v->Select(10, 10, 20, 20);
  v->InvertSelection();
  EXPECT_TRUE(v->Selected());
  EXPECT_FALSE(v->IsPointInsideSelection(15, 15));
  EXPECT_TRUE(v->IsPointInsideSelection(5, 15));
  EXPECT_EQ(v->PolySelCount(), 0);

  // Intensity on a 1-bit mask is only stored; on an 8-bit mask it rewrites.
  v->Select(10, 10, 20, 20);
  v->SetSelectionIntensity(128);
  EXPECT_EQ(v->SelectionIntensity(), 128);
  EXPECT_EQ(v->SelectionMask()->BitsPerPixel(), 1);
  EXPECT_NE(v->SelectionMask()->GetPixel(15, 15), 0);
  v->SetSelectionMaskDepth(8);
  EXPECT_FALSE(v->Selected());  // a depth change deselects
  EXPECT_EQ(v->SelectionIntensity(), 255);
  v->Select(10, 10, 20, 20);
  EXPECT_EQ(v->SelectionMask()->GetPixel(15, 15), 255);
  v->SetSelectionIntensity(128);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      EXPECT_EQ(v->SelectionMask()->GetPixel(x, y), x >= 10 && x < 20 && y >= 10 && y < 20 ? 128 : 0);
  v->SetSelectionMaskDepth(3);  // refused
  EXPECT_EQ(v->SelectionMaskDepth(), 8);
}

TEST_F(ViewSelection, FeatherAlphaAndCopies) {
  TVexlaneView* v = Viewer(80, 60);
  // Feathering blurs the box widened by trunc(radius x 5), and only there.
  v->SetSelectionMaskDepth(8);
  v->Select(30, 20, 40, 30);
  const double radius = 1.5;
  v->MakeSelectionFeather(radius);
  const int32_t a = 7;
  TVXBitmap grey(80, 60, vx8g);
  grey.Fill(0);
  for (int y = 20; y < 30; ++y)
    for (int x = 30; x < 40; ++x) static_cast<uint8_t*>(grey.ScanLine(y))[x] = 255;
  VXGaussianBlurGray(&grey, 30 - a, 20 - a, 39 + a, 29 + a, radius);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x)
      ASSERT_EQ(v->SelectionMask()->GetPixel(x, y), static_cast<uint8_t*>(grey.ScanLine(y))[x]) << x << "," << y;
  EXPECT_LT(v->SelectionMask()->X1(), 30) << v->SelectionMask()->X1() << " " << v->SelectionMask()->GetPixel(29, 25);
  EXPECT_EQ(v->PolySelCount(), 0);
  // A 1-bit mask is not feathered.
  v->SetSelectionMaskDepth(1);
  v->Select(30, 20, 40, 30);
  const std::vector<int32_t> oneBit = Pixels(v->SelectionMask());
  v->MakeSelectionFeather(radius);
  EXPECT_EQ(Pixels(v->SelectionMask()), oneBit);

  // Alpha of the selected area; without a selection the whole channel.
  v->SetSelectedAreaAlpha(100);
  TVXBitmap* alpha = v->VXBitmap()->AlphaChannelOpt();
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->Pixels(35, 25).r, 100);
  EXPECT_EQ(alpha->Pixels(5, 5).r, 255);
  v->DeSelect();
  v->SetSelectedAreaAlpha(40);
  for (int y = 0; y < 60; y += 7)
    for (int x = 0; x < 80; x += 9) EXPECT_EQ(alpha->Pixels(x, y).r, 40);
  v->VXBitmap()->RemoveAlphaChannel(false, 0);

  // Copies of the selection, with and without the background fill.
  v->SetBackground(TColor(0x0000FF));  // red
  v->SelectEllipse(40, 30, 20, 16);
  TVXBitmap filled, bare;
  v->CopySelectionToVXBitmap(&filled, true);
  v->CopySelectionToVXBitmap(&bare, false);
  TVXMask* m = v->SelectionMask();
  const int32_t bw = m->X2() - m->X1() + 1, bh = m->Y2() - m->Y1() + 1;
  ASSERT_EQ(filled.Width(), bw);
  ASSERT_EQ(bare.Height(), bh);
  EXPECT_FALSE(filled.HasAlphaChannel());
  ASSERT_TRUE(bare.HasAlphaChannel());
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const TRGB src = v->VXBitmap()->Pixels(m->X1() + x, m->Y1() + y);
      const bool in = m->GetPixel(m->X1() + x, m->Y1() + y) != 0;
      EXPECT_EQ(filled.Pixels(x, y), in ? src : (TRGB{0, 0, 255}));
      EXPECT_EQ(bare.Pixels(x, y), src);
      EXPECT_EQ(bare.AlphaChannelOpt()->Pixels(x, y).r, in ? 255 : 0);
    }
  // An empty mask leaves the destination as it was.
  v->DeSelect();
  TVXBitmap untouched(3, 3, vx24RGB);
  v->CopySelectionToVXBitmap(&untouched, true);
  EXPECT_EQ(untouched.Width(), 3);
  // Into another viewer: the selection, the background and resolution.
  TVexlaneView* w = NewView(100, 100);
  v->Select(10, 10, 30, 20);
  v->AssignSelTo(w);
  EXPECT_EQ(w->VXBitmap()->Width(), 20);
  EXPECT_EQ(w->VXBitmap()->Height(), 10);
  EXPECT_EQ(w->VXBitmap()->Pixels(0, 0), v->VXBitmap()->Pixels(10, 10));
  EXPECT_EQ(w->Background(), v->Background());
}

// ---------------------------------------------------------------------------
// Marching ants on the window, with virtual 210 ms ticks

TEST_F(ViewSelection, MarchingAntsMoveOnTheTimer) {
  TVexlaneView* v = Viewer(200, 120);
  // The selection polygon stays still; a polygon of the program's own is
  // the rectangle whose dashes are watched.
  v->SetSelectionOptions(VXSelOpt(vxsoSizeable));
  TVXAnimPoly* ap = v->AnimPolygonNew(TColor(0x0000FF), TColor(0xFF0000), true, false);
  for (TPoint p : {TPoint{20, 10}, TPoint{70, 10}, TPoint{70, 40}, TPoint{20, 40}}) v->AnimPolygonAddPt(ap, p.X, p.Y);
  ASSERT_NE(v->AnimPolyTimer(), nullptr);
  EXPECT_TRUE(v->AnimPolyTimer()->Enabled());
  EXPECT_EQ(v->AnimPolyTimer()->Interval(), 210u);
  const TVXLayer* L = v->CurrentLayer();
  const int x1 = v->ConvXBmp2Scr(L, 20), y1 = v->ConvYBmp2Scr(L, 10);
  const int x2 = v->ConvXBmp2Scr(L, 70) - 1;
  // The top edge's colours, from its left end.
  auto topEdge = [&] {
    std::vector<uint32_t> e;
    for (int x = x1; x < x2; ++x) e.push_back(SurfacePixel(v, x, y1));
    return e;
  };
  // The dash rule from a phase: 4 of Color1, 4 of Color2, continuing.
  auto expected = [&](int Phase) {
    std::vector<uint32_t> e;
    int c = Phase;
    for (int x = x1; x < x2; ++x) {
      if (c <= 3) {
        e.push_back(0xFF0000);
      } else if (c <= 6) {
        e.push_back(0x0000FF);
      } else {
        e.push_back(0x0000FF);
        c = -1;
      }
      ++c;
    }
    return e;
  };
  v->DrawAnimPolygons(v);
  const int start = ap->Phase;
  const std::vector<uint32_t> first = topEdge();
  EXPECT_EQ(first, expected(start));
  for (int tick = 1; tick <= 10; ++tick) {
    VXHeadless::Advance(210);
    ASSERT_EQ(ap->Phase, (start + tick) % 10) << tick;
    EXPECT_EQ(topEdge(), expected(ap->Phase)) << tick;
    if (ap->Phase >= 1 && ap->Phase <= 7) {
      // One pixel along per tick: the run of Color1 shrinks at the start.
      const std::vector<uint32_t> e = expected(ap->Phase - 1), now = topEdge();
      for (size_t i = 0; i + 1 < now.size(); ++i) EXPECT_EQ(now[i], e[i + 1]) << tick << " " << i;
    }
  }
  EXPECT_EQ(ap->Phase, start);
  EXPECT_EQ(topEdge(), first);
  // The outline is closed: the bottom-left corner is drawn too.
  EXPECT_NE(SurfacePixel(v, x1, v->ConvYBmp2Scr(L, 40) - 1), v->VXBitmap()->Pixels(20, 39).r << 16);

  // A one-point polygon draws nothing; its box waits for a second point.
  TVXAnimPoly* one = v->AnimPolygonNew(TColor(0x00FF00), TColor(0x00FF00), false, false);
  v->AnimPolygonAddPt(one, 150, 100);
  EXPECT_EQ(one->X2, 0);
  int w = 0, h = 0;
  v->Repaint();
  VXHeadless::RunUntilIdle();
  const std::vector<uint32_t> before = VXHeadless::Surface(v->Handle(), w, h);
  v->DrawAnimPolygons(v);
  EXPECT_EQ(VXHeadless::Surface(v->Handle(), w, h), before);
  v->AnimPolygonAddPt(one, 120, 90);
  EXPECT_EQ(one->X1, 120);
  EXPECT_EQ(one->Y2, 100);
  v->AnimPolygonDel(one);

  // Deleting the last animated polygon stops the timer.
  v->AnimPolygonDel(ap);
  VXHeadless::Advance(210);
  EXPECT_FALSE(v->AnimPolyTimer()->Enabled());
}

TEST_F(ViewSelection, TheTimerIntervalFollowsTheOutlineTime) {
  TVexlaneView* v = Viewer(200, 120);
  v->SelectEllipse(100, 60, 80, 50);  // drawn by the mask's outline
  VXHeadless::Advance(210 * 4);        // the view settles
  ASSERT_TRUE(v->AnimPolyTimer()->Enabled());
  v->SetDelayTimer(500);
  VXHeadless::SetClockStep(100);
  v->DrawAnimPolygons(v);
  VXHeadless::SetClockStep(0);
  EXPECT_EQ(v->AnimPolyTimer()->Interval(), 500u);
  v->SetDelayTimer(-20);
  v->AnimPolyTimer()->SetInterval(210);
  VXHeadless::SetClockStep(100);
  v->DrawAnimPolygons(v);
  VXHeadless::SetClockStep(0);
  EXPECT_EQ(v->AnimPolyTimer()->Interval(), 500u);
  // A quick outline keeps 210.
  v->DrawAnimPolygons(v);
  EXPECT_EQ(v->AnimPolyTimer()->Interval(), 210u);
}

TEST_F(ViewSelection, OverlayFilledAndMarkOuter) {
  TVexlaneView* v = Viewer(100, 80);
  v->SetSelectionOptions(v->SelectionOptions() | VXSelOpt(vxsoFilled));
  v->Select(10, 10, 30, 30);
  v->Repaint();
  VXHeadless::RunUntilIdle();
  const TVXLayer* L = v->CurrentLayer();
  auto px = [&](int bx, int by) { return SurfacePixel(v, v->ConvXBmp2Scr(L, bx), v->ConvYBmp2Scr(L, by)); };
  auto rgb = [&](int bx, int by) {
    const TRGB c = v->VXBitmap()->Pixels(bx, by);
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
  };
  EXPECT_EQ(px(20, 20), rgb(20, 20) ^ 0xFFFFFF);  // inverted inside
  EXPECT_EQ(px(50, 50), rgb(50, 50));              // untouched outside
  v->SetSelectionOptions(VXSelOpt(vxsoMarkOuter));
  v->SetSelectionMarkOuterStyle(128, TColor(0));
  v->Repaint();
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(px(20, 20), rgb(20, 20));
  const uint32_t out = px(60, 50), orig = rgb(60, 50);
  EXPECT_LT((out >> 16) & 0xFF, std::max<uint32_t>((orig >> 16) & 0xFF, 1));  // darkened
}

// ---------------------------------------------------------------------------
// The selection stream

TEST_F(ViewSelection, StreamLayoutReadByPython) {
  TVexlaneView* v = Viewer(100, 50);
  TMemoryStream s;
  v->SaveSelectionToStream(&s);
  EXPECT_EQ(s.Size(), 858);
  // A selection with points, read field by field.
  v->Select(10, 5, 30, 25);
  TMemoryStream t;
  v->SaveSelectionToStream(&t);
  EXPECT_EQ(t.Size(), 858 + 4 * 8);
  const std::string bin = ViewTempPath("sel.bin"), py = ViewTempPath("sel.py"), out = ViewTempPath("sel.txt");
  {
    std::ofstream f(bin, std::ios::binary);
    f.write(static_cast<const char*>(t.Memory()), std::streamsize(t.Size()));
  }
  std::ofstream(py) << "import struct,sys\n"
                       "d=open(sys.argv[1],'rb').read()\n"
                       "w,h,n=struct.unpack_from('<iii',d,0)\n"
                       "pts=struct.unpack_from('<%di'%(2*n),d,12); o=12+8*n\n"
                       "box=struct.unpack_from('<iiii',d,o); o+=16\n"
                       "sel,=struct.unpack_from('<B',d,o); o+=1\n"
                       "px,py=struct.unpack_from('<ii',d,o); o+=8\n"
                       "bpp,=struct.unpack_from('<i',d,o); o+=4\n"
                       "mb=struct.unpack_from('<iiii',d,o); o+=16\n"
                       "full,=struct.unpack_from('<B',d,o); o+=1\n"
                       "L=((w*bpp+31)//32)*4\n"
                       "rows=[d[o+r*L:o+(r+1)*L] for r in range(h)]\n"
                       "row=lambda y: rows[h-1-y]\n"
                       "bit=lambda x,y: (row(y)[x>>3]>>(7-(x&7)))&1\n"
                       "print(w,h,n,*pts,*box,sel,px,py,bpp,*mb,full,len(d)==o+h*L,bit(10,5),bit(29,24),bit(30,24),bit(9,5))\n";
  const int rc = std::system(("/usr/bin/python3 " + py + " " + bin + " > " + out).c_str());
  std::remove(py.c_str());
  std::remove(bin.c_str());
  ASSERT_EQ(rc, 0);
  std::string line;
  std::getline(std::ifstream(out) >> std::ws, line);
  std::remove(out.c_str());
  EXPECT_EQ(line, "100 50 4 10 5 30 5 30 25 10 25 10 5 30 25 1 0 0 1 10 5 29 24 0 True 1 1 0 0");
}

TEST_F(ViewSelection, StreamRestoresAcrossLayersAndSizes) {
  TVexlaneView* v = Viewer(200, 150);
  // Saved in layer 1 at (10, 20), restored in layer 0: every pixel moves by
  // (+10, +20).
  v->LayersAdd(120, 100, vx24RGB, 10, 20);
  ASSERT_EQ(v->LayersCurrent(), 1);
  v->SelectEllipse(50, 40, 60, 30);
  TVXMask saved;
  saved.Assign(v->SelectionMask());
  TMemoryStream s;
  v->SaveSelectionToStream(&s);
  v->DeSelect();
  v->SetLayersCurrent(0);
  s.SetPosition(0);
  EXPECT_TRUE(v->LoadSelectionFromStream(&s, vxrsSyncLayers));
  TVXMask* m = v->SelectionMask();
  ASSERT_EQ(m->Width(), 200);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x)
      ASSERT_EQ(m->GetPixel(x, y) != 0, saved.GetPixel(x - 10, y - 20) != 0) << x << "," << y;
  EXPECT_EQ(v->PolySelCount(), 0);

  // Switching to a layer at (30, 40) keeps the selection over the same area.
  v->Select(50, 60, 90, 100);
  v->LayersAdd(100, 100, vx24RGB, 30, 40);
  ASSERT_TRUE(v->Selected());
  m = v->SelectionMask();
  EXPECT_EQ(m->Width(), 100);
  EXPECT_EQ(m->X1(), 20);
  EXPECT_EQ(m->Y1(), 20);
  EXPECT_EQ(m->X2(), 59);
  EXPECT_EQ(m->Y2(), 59);
  EXPECT_EQ(v->SavedSelectionsCount(), 0);

  // A 200 x 200 selection ending at column 180, restored into 100 x 100 with
  // vxrsMoveToAdapt, ends at column 99; the rectangle and an ellipse alike.
  TVexlaneView* big = Viewer(200, 200);
  TVexlaneView* small = Viewer(100, 100);
  for (bool ellipse : {false, true}) {
    SCOPED_TRACE(ellipse);
    if (ellipse)
      big->SelectEllipse(151, 40, 60, 40);
    else
      big->Select(121, 30, 181, 70);
    ASSERT_EQ(big->SelectionMask()->X2(), 180);
    const int32_t width = big->SelectionMask()->X2() - big->SelectionMask()->X1();
    TMemoryStream b;
    big->SaveSelectionToStream(&b);
    b.SetPosition(0);
    small->LoadSelectionFromStream(&b, vxrsMoveToAdapt);
    EXPECT_EQ(small->SelectionMask()->Width(), 100);
    EXPECT_EQ(small->SelectionMask()->X2(), 99);
    EXPECT_EQ(small->SelectionMask()->X2() - small->SelectionMask()->X1(), width);
    // Without moving, it is only cut: nothing of it lies in the image.
    b.SetPosition(0);
    small->LoadSelectionFromStream(&b, vxrsNone);
    EXPECT_FALSE(small->Selected());
    EXPECT_TRUE(small->SelectionMask()->IsEmpty());
  }
}

TEST_F(ViewSelection, MergeAndTheSavedStack) {
  TVexlaneView* v = Viewer(60, 40);
  v->SetSelectionMaskDepth(8);
  struct Case {
    int32_t Stored, Current;
  };
  for (const Case c : {Case{100, 200}, Case{200, 100}}) {
    v->SetSelectionIntensity(c.Stored);
    v->Select(5, 5, 25, 25);
    TMemoryStream s;
    v->SaveSelectionToStream(&s);
    v->DeSelect();
    v->SetSelectionIntensity(c.Current);
    v->Select(15, 15, 35, 35);
    s.SetPosition(0);
    EXPECT_TRUE(v->MergeSelectionFromStream(&s));
    TVXMask* m = v->SelectionMask();
    EXPECT_EQ(m->GetPixel(10, 10), c.Stored);
    EXPECT_EQ(m->GetPixel(30, 30), c.Current);
    EXPECT_EQ(m->GetPixel(20, 20), std::max(c.Stored, c.Current));
    EXPECT_EQ(m->GetPixel(40, 10), 0);
    EXPECT_TRUE(v->Selected());
    EXPECT_EQ(v->PolySelCount(), 0);
  }

  // The stack: restoring without removing keeps the entry.
  v->Select(2, 3, 12, 13);
  const std::vector<int32_t> sel = Pixels(v->SelectionMask());
  v->SaveSelection();
  EXPECT_EQ(v->SavedSelectionsCount(), 1);
  for (int i = 0; i < 2; ++i) {
    v->DeSelect();
    EXPECT_TRUE(v->RestoreSelection(false, vxrsNone));
    EXPECT_EQ(Pixels(v->SelectionMask()), sel);
    EXPECT_EQ(v->SavedSelectionsCount(), 1);
  }
  EXPECT_TRUE(v->DiscardSavedSelection());
  EXPECT_FALSE(v->DiscardSavedSelection());
  EXPECT_FALSE(v->RestoreSelection(true, vxrsNone));
  // Through a file.
  const std::string f = ViewTempPath("sel.vxs");
  v->SaveSelectionToFile(f);
  v->DeSelect();
  EXPECT_TRUE(v->LoadSelectionFromFile(f, vxrsNone));
  EXPECT_EQ(Pixels(v->SelectionMask()), sel);
  std::remove(f.c_str());
}

TEST_F(ViewSelection, DamagedStreamsLeaveTheSelectionAsItWas) {
  TVexlaneView* v = Viewer(40, 30);
  v->SetSelectionMaskDepth(8);
  v->SelectEllipse(20, 15, 20, 16);
  TMemoryStream good;
  v->SaveSelectionToStream(&good);
  const auto* g = static_cast<const uint8_t*>(good.Memory());
  const std::vector<uint8_t> base(g, g + good.Size());
  const int32_t n = v->PolySelCount();
  v->Select(3, 3, 9, 9);  // the selection the damaged streams must not touch
  const std::vector<TPoint> poly = Poly(v);
  const std::vector<int32_t> mask = Pixels(v->SelectionMask());
  auto check = [&](std::vector<uint8_t> bytes, bool MustFail, const std::string& What) {
    SCOPED_TRACE(What);
    for (int merge = 0; merge < 2; ++merge) {
      TVXMemStream s(bytes.data(), int64_t(bytes.size()));
      bool failed = false;
      try {
        if (merge)
          v->MergeSelectionFromStream(&s);
        else
          v->LoadSelectionFromStream(&s, vxrsMoveToAdapt);
      } catch (const EVXException& e) {
        failed = true;
        EXPECT_STREQ(e.what(), "Damaged selection stream");
      }
      if (MustFail) {
        EXPECT_TRUE(failed);
      }
      if (failed) {
        EXPECT_EQ(Poly(v), poly);
        EXPECT_EQ(Pixels(v->SelectionMask()), mask);
        EXPECT_TRUE(v->Selected());
      } else {
        v->Select(3, 3, 9, 9);
      }
    }
  };
  auto put = [](std::vector<uint8_t>& b, size_t at, int32_t val) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(uint32_t(val) >> (8 * i));
  };
  const size_t after = 12 + 8 * size_t(n);  // polygon box
  struct Field {
    size_t At;
    int32_t Value;
    const char* Name;
  };
  for (const Field f : {Field{0, -1, "negative width"}, Field{4, -3, "negative height"},
                        Field{8, -1, "negative count"}, Field{8, 1 << 28, "count beyond the stream"},
                        Field{0, 1 << 30, "width beyond the pixel limit"}, Field{4, 1 << 20, "rows missing"},
                        Field{after + 25, 4, "depth 4"}, Field{after + 25, 32, "depth 32"},
                        Field{after + 29, 40, "mask box beyond the mask"}, Field{12, 500, "point outside"}}) {
    std::vector<uint8_t> b = base;
    put(b, f.At, f.Value);
    check(b, true, f.Name);
  }
  std::mt19937 rng(124);
  for (int i = 0; i < 40; ++i) {
    const size_t cut = std::uniform_int_distribution<size_t>(0, base.size() - 1)(rng);
    check(std::vector<uint8_t>(base.begin(), base.begin() + ptrdiff_t(cut)), true, "cut at " + std::to_string(cut));
  }
  for (int i = 0; i < 60; ++i) {
    std::vector<uint8_t> b = base;
    const size_t at = std::uniform_int_distribution<size_t>(0, after + 46)(rng);
    b[at] = uint8_t(std::uniform_int_distribution<int>(0, 255)(rng));
    check(b, false, "byte " + std::to_string(at));
  }
}

// ---------------------------------------------------------------------------
// The navigator and the processing component

TEST_F(ViewSelection, NavigatorFollowsAndDrivesItsSource) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 400, 300);
  TVexlaneView* nav = NewView(120, 100);
  v->SetNavigator(nav, TVXNavigatorOptions(1u << vxnoMarkOuter));
  ASSERT_TRUE(nav->IsNavigator());
  EXPECT_EQ(nav->VXBitmap(), v->VXBitmap());
  auto checkRect = [&](const char* What) {
    SCOPED_TRACE(What);
    VXHeadless::RunUntilIdle();
    const int32_t x1 = v->XScr2Bmp(v->OffsetX()), y1 = v->YScr2Bmp(v->OffsetY());
    const int32_t x2 = v->XScr2Bmp(v->OffsetX() + v->ExtentX()), y2 = v->YScr2Bmp(v->OffsetY() + v->ExtentY());
    ASSERT_TRUE(nav->Selected());
    EXPECT_EQ(nav->SelX1(), x1);
    EXPECT_EQ(nav->SelY1(), y1);
    EXPECT_EQ(nav->SelX2(), std::min(x2, 400) - 1);
    EXPECT_EQ(nav->SelY2(), std::min(y2, 300) - 1);
    // The navigator shows the whole image, the outside of the rectangle
    // darkened.
    nav->Repaint();
    VXHeadless::RunUntilIdle();
    const TVXLayer* L = nav->CurrentLayer();
    auto shown = [&](int bx, int by) {
      return SurfacePixel(nav, nav->ConvXBmp2Scr(L, bx) + 1, nav->ConvYBmp2Scr(L, by) + 1);
    };
    auto back = [&](int bx, int by) {
      const TRGB c = nav->BackBufferBitmap()->Pixels(nav->ConvXBmp2Scr(L, bx) + 1, nav->ConvYBmp2Scr(L, by) + 1);
      return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
    };
    const int cx = (nav->SelX1() + nav->SelX2()) / 2, cy = (nav->SelY1() + nav->SelY2()) / 2;
    EXPECT_EQ(shown(cx, cy), back(cx, cy));
    const int ox = nav->SelX1() > 40 ? 8 : 392, oy = nav->SelY1() > 40 ? 8 : 292;
    EXPECT_NE(shown(ox, oy), back(ox, oy));
    EXPECT_LE(shown(ox, oy) & 0xFF, back(ox, oy) & 0xFF);
  };
  checkRect("linked");
  EXPECT_LT(nav->Zoom(), 100);  // fitted
  v->SetViewXY(120, 70);
  checkRect("scrolled");
  v->SetZoom(250);
  checkRect("zoomed in");
  v->SetViewXY(500, 300);
  checkRect("scrolled again");
  v->SetZoom(150);

  // Moving the navigator's rectangle scrolls the source to the rounded
  // origin.
  VXHeadless::RunUntilIdle();
  nav->MoveSelection(-30, -20);
  const int32_t sx = nav->SelX1(), sy = nav->SelY1();
  ASSERT_TRUE(nav->OnSelectionChanging);
  nav->OnSelectionChanging(nav);
  EXPECT_EQ(v->ViewX(), int32_t(std::nearbyint(sx * 1.0 * 150 / 100)));
  EXPECT_EQ(v->ViewY(), int32_t(std::nearbyint(sy * 1.0 * 150 / 100)));

  // Unlinking detaches the bitmap.
  v->SetNavigator(nullptr, 0);
  EXPECT_FALSE(nav->IsNavigator());
  EXPECT_NE(nav->VXBitmap(), v->VXBitmap());
  EXPECT_FALSE(nav->OnSelectionChanging);
}

TEST_F(ViewSelection, ProcessingWorksOnlyOnTheSelectedPixels) {
  TVexlaneView* v = Viewer(80, 60);
  TVXBitmap before;
  before.Assign(v->VXBitmap());
  v->Select(10, 15, 40, 35);
  v->Proc()->SetAutoUndo(false);
  v->Proc()->Negative();
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const TRGB a = before.Pixels(x, y), b = v->VXBitmap()->Pixels(x, y);
      const bool in = x >= 10 && x < 40 && y >= 15 && y < 35;
      ASSERT_EQ(b, in ? (TRGB{uint8_t(255 - a.b), uint8_t(255 - a.g), uint8_t(255 - a.r)}) : a) << x << "," << y;
    }
  // ZoomSelection zooms to the selection and removes it.
  v->Select(20, 10, 60, 30);
  v->ZoomSelection(true);
  EXPECT_FALSE(v->Selected());
  EXPECT_DOUBLE_EQ(v->Zoom(), std::min(v->Height() / (20 / 100.0), v->Width() / (40 / 100.0)));
}
