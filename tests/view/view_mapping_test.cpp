// Placement, coordinate mapping and scroll-bar state of the single-image
// viewer against a model of the formulas, on seeded image sizes, client
// sizes, zooms, origins and alignments.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "core/geometry.h"
#include "tests/view/view_fixture.h"

namespace {

int32_t Trunc(double v) { return int32_t(v); }
int32_t Rnd(double v) { return int32_t(std::nearbyint(v)); }

// One axis of the placement, computed from the formulas with tables built
// in ascending order (first hit kept), a different route from the viewer's.
struct AxisModel {
  int32_t size = 0, client = 0, view = 0;
  double z = 100;
  int align = 1;  // 0 left/top, 1 centre, 2 right/bottom
  int32_t zz = 0, off = 0, ext = 0, o1 = 0, o2 = 0, fr = 0;
  std::vector<int32_t> s2b, b2s;
  bool tables = false;
  int32_t start = 0, bstart = 0, b2sSize = 0;

  void BuildTables(int32_t n) {
    const int32_t k = Trunc(n * 100 / z) + 1;
    const int32_t last = std::max(size - 1, 0);
    s2b.assign(size_t(n) + 1, 0);
    b2s.assign(size_t(k) + 1, 0);
    std::vector<bool> seen(std::max(n, k) + 2, false);
    if (z > 100) {
      for (int32_t s = 0; s < n; ++s) {
        const int32_t b = Trunc(s * 100 / z);
        if (!seen[size_t(b)]) b2s[size_t(b)] = s, seen[size_t(b)] = true;
        s2b[size_t(s)] = std::min(b, last);
      }
    } else {
      for (int32_t b = 0; b < k; ++b) {
        const int32_t s = Trunc(b * z / 100);
        b2s[size_t(b)] = s;
        if (s <= n && !seen[size_t(s)]) s2b[size_t(s)] = std::min(b, last), seen[size_t(s)] = true;
      }
    }
  }
  int32_t Snap(int32_t v) const {
    if (v < 0) v = 0;
    if (tables && v < zz && v < int32_t(s2b.size())) return b2s[size_t(s2b[size_t(v)])];
    return v;
  }
  // Layout and visible part; Tables: whether the viewer holds tables.
  void Layout(bool Tables) {
    zz = Rnd(size * (z / 100));
    ext = std::min(zz, client);
    off = 0;
    if (ext < client) off = align == 1 ? (client - ext) / 2 : align == 2 ? client - ext : 0;
    tables = Tables;
    BuildTables(zz + client + 2);
    o1 = o2 = 0;
    if (zz != 0) {
      const double r = double(size) / zz;
      o1 = Rnd(Snap(view) * r);
      o2 = Rnd(r * ext);
      if (o1 + o2 > size) --o2;
    }
    if (z > 100) {
      fr = Trunc(o2 * (z / 100));
      if (fr < ext && o1 + o2 + 1 <= size) fr = Trunc(++o2 * (z / 100));
    } else {
      fr = ext;
    }
  }
  void ClientTables() {
    if (!tables) return;
    BuildTables(zz + fr + 1);
    b2sSize = Trunc(fr * 100 / z);
    start = Snap(view);
    bstart = std::max(0, s2b[size_t(start)] - o1);
  }
  int32_t Scr2Bmp(int32_t x) const {
    const int32_t d = x - off;
    if (tables && d >= 0 && d < fr && start + d < int32_t(s2b.size())) return s2b[size_t(start + d)];
    return Trunc(d * (100 / z) + o1);
  }
  int32_t Bmp2Scr(int32_t x) const {
    const int32_t d = x - o1;
    if (tables && d >= 0 && d < b2sSize) return b2s[size_t(bstart + d)] + off;
    return Rnd((x - std::nearbyint(Snap(view) * (100 / z))) * (z / 100) + off);
  }
};

struct ViewModel {
  AxisModel x, y;
  int32_t width = 0, height = 0;  // the control's outer size
  bool bars = true;

  void Build() {
    x.Layout(true);
    y.Layout(true);
    const bool tables = x.fr > 0 && y.fr > 0 && x.size > 0 && y.size > 0;
    x.Layout(tables);
    y.Layout(tables);
    x.ClientTables();
    y.ClientTables();
  }
  void MaxView(int32_t& mx, int32_t& my) const {
    int32_t zw = Trunc(x.size * (x.z / 100)), zh = Trunc(y.size * (y.z / 100));
    if (x.z != y.z) {
      if (zw > x.client + 10) zw = Trunc((x.size + 1.0) * (x.z / 100));
      if (zh > y.client + 10) zh = Trunc((y.size + 1.0) * (y.z / 100));
    } else if ((zw > x.client + 10 || zh > y.client + 10) && bars) {
      zw = Trunc((x.size + 1.0) * (x.z / 100));
      zh = Trunc((y.size + 1.0) * (y.z / 100));
    }
    mx = my = 0;
    if (zw < 1 || zh < 1) return;
    mx = zw - x.client;
    my = zh - y.client;
    if (mx < 0 || x.Scr2Bmp(mx) == 0) mx = 0;
    if (my < 0 || y.Scr2Bmp(my) == 0) my = 0;
    if (x.z != y.z) {
      if (zw <= width) mx = 0;
      if (zh <= height) my = 0;
    } else if (zw <= width && zh <= height) {
      mx = my = 0;
    }
  }
};

class ViewMapping : public ViewTest {};

TEST_F(ViewMapping, PlacementMappingAndBarsFollowTheFormulasOnSeededCases) {
  std::mt19937 rng(7801);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const double fixedZooms[] = {100, 50, 25, 200, 300, 400, 33.333, 137.5, 12.5, 800};
  TVexlaneView* v = NewView(300, 200);
  for (int c = 0; c < 48; ++c) {
    SCOPED_TRACE("case " + std::to_string(c));
    const int W = pick(1, 900), H = pick(1, 700);
    SetImage(v, W, H);
    v->SetImageHorizAlignment(TVXHAlign(pick(0, 2)));
    v->SetImageVertAlignment(TVXVAlign(pick(0, 2)));
    v->SetBounds(10, 10, pick(40, 520), pick(40, 420));
    VXHeadless::RunUntilIdle();
    double zx = c < 10 ? fixedZooms[c] : std::uniform_real_distribution<double>(3, 900)(rng);
    double zy = zx;
    if (c % 7 == 6) zy = std::uniform_real_distribution<double>(3, 900)(rng);
    if (zx == zy) {
      v->SetZoom(zx);
    } else {
      v->SetZoomX(zx);
      v->SetZoomY(zy);
    }
    ASSERT_EQ(v->ZoomX(), zx);
    ASSERT_EQ(v->ZoomY(), zy);
    const int rx = pick(-50, 2 * int(W * zx / 100)), ry = pick(-50, 2 * int(H * zy / 100));
    v->SetViewXY(rx, ry);
    int32_t r[8], r2[8];
    v->GetRenderRectangles(r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]);
    v->GetRenderRectangles(r2[0], r2[1], r2[2], r2[3], r2[4], r2[5], r2[6], r2[7]);
    ASSERT_TRUE(std::equal(r, r + 8, r2)) << "settled";

    ViewModel m;
    m.width = v->Width();
    m.height = v->Height();
    m.x.size = W;
    m.y.size = H;
    m.x.client = v->ClientWidth();
    m.y.client = v->ClientHeight();
    m.x.z = zx;
    m.y.z = zy;
    m.x.align = int(v->ImageHorizAlignment());
    m.y.align = int(v->ImageVertAlignment());
    m.x.view = v->ViewX();
    m.y.view = v->ViewY();
    m.Build();

    int32_t mx, my, vmx, vmy;
    m.MaxView(mx, my);
    v->GetMaxViewXY(vmx, vmy);
    EXPECT_EQ(vmx, mx);
    EXPECT_EQ(vmy, my);
    // The origin is the asked one, limited to 0 .. maximum.
    EXPECT_GE(v->ViewX(), 0);
    EXPECT_LE(v->ViewX(), mx);
    if (rx >= 0 && rx <= mx) {
      EXPECT_EQ(v->ViewX(), rx);
    }
    if (ry >= 0 && ry <= my) {
      EXPECT_EQ(v->ViewY(), ry);
    }

    EXPECT_EQ(v->OffsetX(), m.x.off);
    EXPECT_EQ(v->OffsetY(), m.y.off);
    EXPECT_EQ(v->ExtentX(), m.x.ext);
    EXPECT_EQ(v->ExtentY(), m.y.ext);
    const int32_t expected[8] = {m.x.off, m.y.off, m.x.fr, m.y.fr, m.x.o1, m.y.o1, m.x.o2, m.y.o2};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(r[i], expected[i]) << "render rectangle value " << i;

    int bad = 0;
    for (int32_t px = -3; px < m.x.client + 3 && bad < 3; ++px)
      if (v->XScr2Bmp(px) != m.x.Scr2Bmp(px)) ++bad, ADD_FAILURE() << "XScr2Bmp(" << px << ")";
    for (int32_t py = -3; py < m.y.client + 3 && bad < 3; ++py)
      if (v->YScr2Bmp(py) != m.y.Scr2Bmp(py)) ++bad, ADD_FAILURE() << "YScr2Bmp(" << py << ")";
    for (int32_t bx = 0; bx < W && bad < 3; ++bx)
      if (v->XBmp2Scr(bx) != m.x.Bmp2Scr(bx)) ++bad, ADD_FAILURE() << "XBmp2Scr(" << bx << ")";
    for (int32_t by = 0; by < H && bad < 3; ++by)
      if (v->YBmp2Scr(by) != m.y.Bmp2Scr(by)) ++bad, ADD_FAILURE() << "YBmp2Scr(" << by << ")";

    // The bars: shown with range 0..65535 while there is room to scroll.
    const int32_t maxes[2] = {mx, my};
    const int32_t clients[2] = {m.x.client, m.y.client};
    const int32_t views[2] = {v->ViewX(), v->ViewY()};
    for (int bar : {SB_HORZ, SB_VERT}) {
      SCOPED_TRACE(bar == SB_HORZ ? "horizontal bar" : "vertical bar");
      EXPECT_EQ(BarShown(v, bar), maxes[bar] >= 1);
      if (maxes[bar] < 1) continue;
      SCROLLINFO si;
      si.fMask = SIF_ALL;
      ASSERT_TRUE(GetScrollInfo(v->Handle(), bar, &si));
      const double ratio = (double(clients[bar]) + maxes[bar]) / 65536;
      EXPECT_EQ(si.nMin, 0);
      EXPECT_EQ(si.nMax, 65535);
      EXPECT_EQ(int(si.nPage), Trunc(clients[bar] / ratio));
      EXPECT_EQ(si.nPos, Trunc(views[bar] / ratio));
    }
  }
}

TEST_F(ViewMapping, AtZoom400FourClientPixelsMapToOneColumn) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 500, 400);
  v->SetZoom(400);
  v->SetViewXY(1003, 0);  // within a column: the view starts inside bitmap column 250
  int32_t d[8];
  v->GetRenderRectangles(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
  for (int32_t col = d[4] + 1; col < d[4] + 20; ++col) {
    const int32_t first = v->XBmp2Scr(col);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v->XScr2Bmp(first + i), col) << "column " << col << " pixel " << i;
    EXPECT_EQ(v->XScr2Bmp(first - 1), col - 1);
    EXPECT_EQ(v->XScr2Bmp(first + 4), col + 1);
  }
}

TEST_F(ViewMapping, RightAlignedNarrowImageStartsAtTheRightEdge) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 80, 60);
  v->SetImageHorizAlignment(vxhRight);
  v->SetImageVertAlignment(vxvBottom);
  int32_t d[8];
  v->GetRenderRectangles(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
  EXPECT_EQ(v->ExtentX(), 80);
  EXPECT_EQ(v->OffsetX(), v->ClientWidth() - v->ExtentX());
  EXPECT_EQ(v->OffsetY(), v->ClientHeight() - v->ExtentY());
  EXPECT_EQ(v->XScr2Bmp(v->OffsetX()), 0);
  EXPECT_EQ(v->YScr2Bmp(v->OffsetY()), 0);
  EXPECT_EQ(v->XScr2Bmp(v->OffsetX() - 1), -1);
  v->SetImageHorizAlignment(vxhLeft);
  v->GetRenderRectangles(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
  EXPECT_EQ(v->OffsetX(), 0);
  v->SetCenter(true);
  EXPECT_TRUE(v->Center());
  EXPECT_EQ(v->OffsetX(), (v->ClientWidth() - 80) / 2);
}

// Sizes and zooms the tables cannot hold are refused, and an empty image
// leaves every zoom operation without effect.
TEST_F(ViewMapping, ZoomsBeyondTheTablesAndEmptyImagesChangeNothing) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 1000, 1000);
  for (double z : {0.0, -5.0, double(NAN), double(INFINITY), 1e9}) {
    v->SetZoom(z);
    EXPECT_EQ(v->ZoomX(), 100) << z;
    v->SetZoomX(z);
    v->SetZoomY(z);
    v->SetZoomNoUpdate(z);
    EXPECT_EQ(v->ZoomX(), 100) << z;
    EXPECT_EQ(v->ZoomY(), 100) << z;
  }

  v->VXBitmap()->FreeImage(true);
  v->Update();
  EXPECT_EQ(v->MaxLayerWidth(), 0);
  EXPECT_EQ(v->GetIdealZoom(), 0);
  v->ZoomIn();
  v->ZoomOut();
  v->Fit();
  v->Stretch();
  v->FitToWidth();
  v->FitToHeight();
  EXPECT_EQ(v->ZoomX(), 100);
  EXPECT_EQ(v->ZoomY(), 100);
  EXPECT_EQ(v->XScr2Bmp(5), 5 - v->OffsetX());
}

TEST_F(ViewMapping, ZoomStepsAndFitUseTheOuterSize) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 600, 400);
  EXPECT_DOUBLE_EQ(v->GetIdealZoom(), std::min(200 / 4.0, 300 / 6.0));
  v->ZoomIn();
  EXPECT_EQ(v->ZoomX(), 125);
  v->ZoomOut();
  v->ZoomOut();
  EXPECT_EQ(v->ZoomX(), 75);
  v->SetBorderStyle(bsNone);
  v->Fit();
  EXPECT_DOUBLE_EQ(v->ZoomX(), std::min(300 / 6.0, 200 / 4.0));
  v->Stretch();
  EXPECT_DOUBLE_EQ(v->ZoomX(), 300 / 6.0);
  EXPECT_DOUBLE_EQ(v->ZoomY(), 200 / 4.0);
  EXPECT_EQ(v->IdealComponentWidth(), int(600 / 100.0 * 50) + 1 + v->Width() - v->ClientWidth());
}

TEST_F(ViewMapping, AutoFitZoomsOnUpdate) {
  TVexlaneView* v = NewView(300, 200);
  v->SetBorderStyle(bsNone);
  v->SetAutoFit(true);
  SetImage(v, 600, 400);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 50);
  SetImage(v, 60, 40);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 500);
  v->SetAutoFit(false);
  v->SetAutoShrink(true);
  v->SetZoom(100);
  v->Update();  // smaller than the area: shrinking only leaves 100
  EXPECT_EQ(v->ZoomX(), 100);
}

}  // namespace

namespace {

class ViewRect : public ViewTest {};

TEST_F(ViewRect, VisibleBitmapRectReadsAndZoomsToARectangle) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 1000, 800);
  SetClientSize(v, 400, 300);
  // 200 x 100 at (100, 50), widened about its centre to the client's 4:3.
  v->SetVisibleBitmapRect(TRect{100, 50, 300, 150});
  TRect adjusted;
  VXAdjustRectToAspect(TRect{100, 50, 300, 150}, 1000, 800, adjusted, 0, 400, 300);
  const double f = 300.0 / (adjusted.Bottom - adjusted.Top);
  EXPECT_DOUBLE_EQ(v->ZoomX(), f * 100);
  EXPECT_EQ(v->ViewX(), int(std::nearbyint(adjusted.Left * f)));
  EXPECT_EQ(v->ViewY(), int(std::nearbyint(adjusted.Top * f)));
  EXPECT_EQ(v->LockPaintCount(), 0);
  const TRect r = v->VisibleBitmapRect();
  EXPECT_EQ(r.Left, v->XScr2Bmp(v->OffsetX()));
  EXPECT_EQ(r.Right, v->XScr2Bmp(v->ClientWidth() - v->OffsetX()) - 1);
  // A rectangle of no height changes nothing.
  v->SetVisibleBitmapRect(TRect{0, 0, 0, 0});
  EXPECT_DOUBLE_EQ(v->ZoomX(), f * 100);
}

TEST_F(ViewRect, CenterImageAndFlatBars) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 1000, 800);
  SetClientSize(v, 400, 300);
  v->CenterImage();
  EXPECT_EQ(v->ViewX(), (1000 - 400) / 2);
  EXPECT_EQ(v->ViewY(), (800 - 300) / 2);
  v->SetFlatScrollBars(true);
  EXPECT_TRUE(VXFlatScrollBars(v->Handle()));
  // Hidden, and shown again by the update that the size change runs.
  EXPECT_TRUE(BarShown(v, SB_HORZ));
  SCROLLINFO si;
  si.fMask = SIF_ALL;
  ASSERT_TRUE(FlatSB_GetScrollInfo(v->Handle(), SB_HORZ, &si));
  EXPECT_EQ(si.nMax, 65535);
  v->SetFlatScrollBars(false);
  EXPECT_FALSE(VXFlatScrollBars(v->Handle()));
  v->SetScrollBars(ssVertical);
  EXPECT_FALSE(BarShown(v, SB_HORZ));
  EXPECT_TRUE(BarShown(v, SB_VERT));
  v->SetScrollBars(ssNone);
  EXPECT_FALSE(BarShown(v, SB_VERT));
}

}  // namespace
