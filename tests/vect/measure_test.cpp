// Measuring, the measure hint and polygon geometry.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "core/mask.h"
#include "core/textutils.h"
#include "tests/vect/vect_fixture.h"
#include "winui/headless.h"

namespace {

const char* kPython = "/usr/bin/python3";

bool HaveShapely() {
  static const bool have =
      std::system((std::string(kPython) + " -c 'import shapely' >/dev/null 2>&1").c_str()) == 0;
  return have;
}

// Runs a Python script over the input text (a file named by argv[1]) and
// returns the numbers it prints.
std::vector<double> RunPython(const std::string& Script, const std::string& Input) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string in = (dir / ("vx_measure_in_" + std::to_string(::getpid()))).string();
  const std::string py = (dir / ("vx_measure_py_" + std::to_string(::getpid()) + ".py")).string();
  std::ofstream(in) << Input;
  std::ofstream(py) << Script;
  std::vector<double> r;
  if (FILE* f = popen((std::string(kPython) + " " + py + " " + in).c_str(), "r")) {
    double v;
    while (std::fscanf(f, "%lf", &v) == 1) r.push_back(v);
    pclose(f);
  }
  std::filesystem::remove(in);
  std::filesystem::remove(py);
  return r;
}

std::string PointsText(const std::vector<std::pair<double, double>>& P) {
  std::ostringstream s;
  s.precision(17);
  for (const auto& [x, y] : P) s << x << " " << y << "\n";
  return s.str();
}

// A closed chain of unit pixel edges around the set pixels of Inside
// (clockwise on the screen), as points at pixel corners.
std::vector<TPoint> PixelOutline(int W, int H, const std::function<bool(int, int)>& Inside) {
  auto in = [&](int x, int y) { return x >= 0 && y >= 0 && x < W && y < H && Inside(x, y); };
  std::multimap<std::pair<int, int>, std::pair<int, int>> edges;  // from corner -> to corner
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      if (!in(x, y)) continue;
      if (!in(x, y - 1)) edges.insert({{x, y}, {x + 1, y}});
      if (!in(x + 1, y)) edges.insert({{x + 1, y}, {x + 1, y + 1}});
      if (!in(x, y + 1)) edges.insert({{x + 1, y + 1}, {x, y + 1}});
      if (!in(x - 1, y)) edges.insert({{x, y + 1}, {x, y}});
    }
  std::vector<TPoint> out;
  if (edges.empty()) return out;
  const auto first = edges.begin()->first;
  auto cur = first;
  const size_t total = edges.size();
  for (size_t i = 0; i < total; ++i) {
    auto it = edges.find(cur);
    if (it == edges.end()) break;
    out.push_back(TPoint{cur.first, cur.second});
    cur = it->second;
    edges.erase(it);
    if (cur == first) break;
  }
  return out;
}

}  // namespace

class VectMeasureTest : public VectTest {
 protected:
  TVexlaneVect* Viewer(int W = 300, int H = 200) {
    TVexlaneVect* v = NewVect();
    v->SetImageHorizAlignment(vxhLeft);
    v->SetImageVertAlignment(vxvTop);
    TVXBitmap* b = v->VXBitmap();
    b->Allocate(W, H, vx24RGB);
    b->Fill(0x808080);
    v->SetObjBitmap(-1, nullptr);
    v->SetSelectionBase(vxsbBitmap);
    v->Update();
    VXHeadless::RunUntilIdle();
    return v;
  }
  static int32_t Polyline(TVexlaneVect* v, const std::vector<TPoint>& P, bool Closed = false) {
    const int32_t h = v->AddNewObject(vxkPOLYLINE, TRect{0, 0, 1, 1}, 0xFF, false);
    v->SetObjPolylinePoints(h, P);
    v->SetObjPolylineClosed(h, Closed);
    return h;
  }
  static void Polygon(TVexlaneVect* v, const std::vector<std::vector<TPoint>>& Polys) {
    v->DeSelect();
    for (size_t i = 0; i < Polys.size(); ++i) {
      if (i) v->AddSelBreak();
      for (const TPoint& p : Polys[i]) v->AddSelPoint(p.X, p.Y);
    }
    v->EndSelect();
  }
};

// ---------------------------------------------------------------------------
// Measures and the hint

TEST_F(VectMeasureTest, DragLengthTextBothWays) {
  TVexlaneVect* v = Viewer();
  std::string shown;
  TVXVValType type = vxvtAREA;
  v->OnPresentMeasure = [&](void*, std::string& Text, double, TVXVValType t) { shown = Text, type = t; };
  v->SetMouseInteractVt(1u << miDragLen);
  v->SetShowHint(true);
  for (const char sep : {'.', ','}) {
    VXSetDecimalSeparator(sep);
    for (const auto& [x0, x1] : {std::pair{10, 12}, std::pair{12, 10}}) {
      v->SetDragLenStart(x0, 10);
      EXPECT_NEAR(v->GetDragLen(x0, 10, x1, 10), std::sqrt(10.0), 1e-12);
      v->DrawMeasureHint(x1, 10);
      EXPECT_EQ(shown, std::string("3") + sep + "16 pixels");
      EXPECT_EQ(type, vxvtLENGTH);
      v->EraseMeasureHint();
    }
  }
  VXSetDecimalSeparator('.');
  // At 200 % a client pixel is half a bitmap pixel.
  v->SetZoom(200);
  EXPECT_NEAR(v->GetDragLen(0, 0, 5, 7), std::sqrt(3.0 * 3.0 + 4.0 * 4.0), 1e-12);
  // OnMeasureHint may replace the text, and OnPresentMeasure sees that.
  v->OnMeasureHint = [](void*, std::string& Text, double) { Text = "x" + Text; };
  EXPECT_EQ(v->MeasureHintText(2, vxvtAREA), "x2.00 pixels\xC2\xB2");
  delete v;
}

TEST_F(VectMeasureTest, SelectionLengthAreaAndTheKeptValue) {
  TVexlaneVect* v = Viewer();
  const std::vector<TPoint> tri{{0, 0}, {3, 0}, {3, 4}};
  Polygon(v, {tri});
  EXPECT_DOUBLE_EQ(v->GetSelectionLen(), 12);
  EXPECT_DOUBLE_EQ(v->GetSelectionArea(), 6);
  // Two sub-polygons: each closed, lengths and areas add.
  Polygon(v, {tri, {{20, 20}, {26, 20}, {26, 28}}});
  EXPECT_DOUBLE_EQ(v->GetSelectionLen(), 12 + 24);
  EXPECT_DOUBLE_EQ(v->GetSelectionArea(), 6 + 24);
  // In centimetres at 254 dpi a pixel is 0.01 cm.
  v->SetDPIX(254), v->SetDPIY(254);
  v->SetMUnit(vxuCENTIMETERS);
  EXPECT_NEAR(v->GetSelectionLen(), 0.36, 1e-12);
  EXPECT_NEAR(v->GetSelectionArea(), 30e-4, 1e-15);
  v->SetMUnit(vxuPIXELS);

  // The hint keeps the last value when the measure becomes 0.
  std::string shown;
  v->OnPresentMeasure = [&](void*, std::string& Text, double, TVXVValType) { shown = Text; };
  Polygon(v, {tri});
  v->SetMouseInteractVt(1u << miLineLen);
  EXPECT_TRUE(v->ShowHint());
  EXPECT_EQ(shown, "12.00 pixels");
  v->DeSelect();
  EXPECT_EQ(v->GetSelectionLen(), 0);
  v->DrawMeasureHint(-1000000, -1000000);
  EXPECT_EQ(shown, "12.00 pixels");
  EXPECT_EQ(v->LastHintValue(), 12);
  v->SetMouseInteractVt(1u << miArea);
  Polygon(v, {tri});
  v->DrawMeasureHint(40, 40);
  EXPECT_EQ(shown, "6.00 pixels\xC2\xB2");
  // Another interaction takes the hint away.
  v->SetMouseInteractVt(1u << miObjectSelect);
  EXPECT_FALSE(v->ShowHint());
  EXPECT_EQ(v->LastHintValue(), 0);
  delete v;
}

TEST_F(VectMeasureTest, TheHintOutlivesARepaint) {
  // A new picture under a shown hint: the repaint shows the new picture
  // with the hint again over it, and erasing the hint then gives back the
  // new picture, not what lay under the hint before.
  TVexlaneVect* v = Viewer();
  int w = 0, h = 0;
  v->SetShowHint(true);
  v->SetDragLenStart(10, 10);
  v->DrawMeasureHint(60, 40);
  const std::vector<uint32_t> shown = VXHeadless::Surface(v->Handle(), w, h);
  ASSERT_GT(w, 0);
  v->VXBitmap()->Fill(0x204060);
  v->Update();
  VXHeadless::RunUntilIdle();
  const std::vector<uint32_t> repainted = VXHeadless::Surface(v->Handle(), w, h);
  v->EraseMeasureHint();
  const std::vector<uint32_t> plain = VXHeadless::Surface(v->Handle(), w, h);
  const uint32_t picture = plain[size_t(190) * size_t(w) + 5];
  EXPECT_NE(picture, shown[size_t(190) * size_t(w) + 5]);
  int hint = 0, wrong = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      if (repainted[i] != plain[i]) {
        ++hint;
        EXPECT_EQ(repainted[i], shown[i]) << x << ", " << y;  // the same hint at the same place
      }
      wrong += plain[i] != picture;
    }
  EXPECT_GT(hint, 100);
  EXPECT_EQ(wrong, 0);
  delete v;
}

TEST_F(VectMeasureTest, ErasingTheHintRestoresTheWindow) {
  TVexlaneVect* v = Viewer();
  int w = 0, h = 0;
  const std::vector<uint32_t> before = VXHeadless::Surface(v->Handle(), w, h);
  ASSERT_GT(w, 0);
  v->SetShowHint(true);
  v->SetDragLenStart(10, 10);
  // Near the far corner, so that the box is moved inside the client area.
  v->DrawMeasureHint(w - 3, h - 3);
  const std::vector<uint32_t> drawn = VXHeadless::Surface(v->Handle(), w, h);
  EXPECT_NE(drawn, before);
  EXPECT_LE(v->HintPos().X, w - 3);
  v->EraseMeasureHint();
  EXPECT_EQ(VXHeadless::Surface(v->Handle(), w, h), before);
  // Erasing twice draws nothing more.
  v->EraseMeasureHint();
  EXPECT_EQ(VXHeadless::Surface(v->Handle(), w, h), before);
  delete v;
}

// ---------------------------------------------------------------------------
// Polygon geometry

TEST_F(VectMeasureTest, PolylineMeasuresSmallCases) {
  TVexlaneVect* v = Viewer();
  const int32_t sq = Polyline(v, {{10, 10}, {20, 10}, {20, 20}, {10, 20}}, true);
  EXPECT_DOUBLE_EQ(v->GetPolylineArea(sq), 100);
  EXPECT_DOUBLE_EQ(v->GetPolylineLen(sq), 30);
  EXPECT_EQ(v->GetPolylineCentroid(sq), (TPoint{15, 15}));
  const int32_t box = v->AddNewObject(vxkBOX, TRect{0, 0, 2, 3}, 0xFF, false);
  EXPECT_DOUBLE_EQ(v->GetObjDiagLen(box), 5);
  EXPECT_EQ(v->GetPolylineArea(box), 0);
  EXPECT_EQ(v->GetPolylineLen(box), 0);
  EXPECT_EQ(v->GetPolylineCentroid(box), (TPoint{0, 0}));
  // A polygon of no area has no centroid.
  const int32_t flat = Polyline(v, {{0, 0}, {5, 0}, {9, 0}});
  EXPECT_EQ(v->GetPolylineCentroid(flat), (TPoint{0, 0}));
  delete v;
}

TEST_F(VectMeasureTest, PolylineMeasuresAgainstShapely) {
  if (!HaveShapely()) GTEST_SKIP() << "python3-shapely is not installed";
  TVexlaneVect* v = Viewer();
  std::mt19937 rng(1070);
  std::uniform_real_distribution<double> u(0, 1);
  std::string input;
  std::vector<std::tuple<double, double, TPoint>> got;
  for (int n = 0; n < 30; ++n) {
    // A star-shaped, so simple, polygon.
    const int count = 3 + int(u(rng) * 30);
    std::vector<double> ang;
    for (int i = 0; i < count; ++i) ang.push_back(u(rng) * 2 * M_PI);
    std::sort(ang.begin(), ang.end());
    std::vector<TPoint> p;
    for (double a : ang) {
      const double r = 20 + u(rng) * 100;
      p.push_back(TPoint{int32_t(150 + r * std::cos(a)), int32_t(150 + r * std::sin(a))});
    }
    const int32_t h = Polyline(v, p, true);
    // Half of them drawn into another box: the measures take the mapped points.
    TVXVObject* o = v->GetObjRecord(h);
    if (n % 2) v->SetObjRect(h, TRect{o->x1 + 7, o->y1 - 3, o->x1 + 7 + (o->x2 - o->x1) * 3 / 2, o->y2 + 11}, false);
    std::vector<std::pair<double, double>> mapped;
    const double sx = o->PolyBaseX2 != o->PolyBaseX1 ? double(o->x2 - o->x1) / (o->PolyBaseX2 - o->PolyBaseX1) : 1;
    const double sy = o->PolyBaseY2 != o->PolyBaseY1 ? double(o->y2 - o->y1) / (o->PolyBaseY2 - o->PolyBaseY1) : 1;
    for (const TPoint& q : o->PolyPoints)
      mapped.push_back({o->x1 + (q.X - o->PolyBaseX1) * sx, o->y1 + (q.Y - o->PolyBaseY1) * sy});
    input += std::to_string(mapped.size()) + "\n" + PointsText(mapped);
    got.emplace_back(v->GetPolylineArea(h), v->GetPolylineLen(h), v->GetPolylineCentroid(h));
  }
  const std::vector<double> want = RunPython(R"(
import sys
from shapely.geometry import Polygon, LineString
t = open(sys.argv[1]).read().split()
i = 0
while i < len(t):
    n = int(t[i]); i += 1
    p = [(float(t[i + 2 * k]), float(t[i + 2 * k + 1])) for k in range(n)]; i += 2 * n
    g = Polygon(p)
    print(repr(g.area), repr(LineString(p).length), repr(g.centroid.x), repr(g.centroid.y))
)",
                                             input);
  ASSERT_EQ(want.size(), got.size() * 4);
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& [area, len, c] = got[i];
    EXPECT_NEAR(area, want[4 * i], 1e-9);
    EXPECT_NEAR(len, want[4 * i + 1], 1e-9);
    // The centroid is truncated toward zero.
    EXPECT_EQ(c.X, int32_t(std::trunc(want[4 * i + 2])));
    EXPECT_EQ(c.Y, int32_t(std::trunc(want[4 * i + 3])));
  }
  delete v;
}

TEST_F(VectMeasureTest, SelectionCentroidAndPolygonsFromTheSelection) {
  TVexlaneVect* v = Viewer();
  // One pixel of the mask, no polygon.
  v->DeSelect();
  TVXMask* m = v->SelectionMask();
  if (m->Width() != 300 || m->Height() != 200) m->AllocateBits(300, 200, 1);
  m->SetPixel(10, 20, 1);
  v->SelectCustom();
  ASSERT_LT(v->PolySelCount(), 3);
  EXPECT_EQ(v->GetSelectionCentroid(), (TPoint{11, 21}));
  EXPECT_DOUBLE_EQ(v->GetSelectionArea(), 1);
  // A polygon selection: the centroid of its first polygon.
  Polygon(v, {{{0, 0}, {30, 0}, {30, 30}, {0, 30}}, {{100, 100}, {110, 100}, {110, 110}}});
  EXPECT_EQ(v->GetSelectionCentroid(), (TPoint{15, 15}));

  // Two separate rectangles give two polylines around them.
  v->Select(10, 10, 40, 30);
  v->Select(60, 50, 90, 80, vxspAdd);
  const int32_t before = v->ObjectsCount();
  EXPECT_EQ(v->CreatePolygonsFromSelection(), 2);
  ASSERT_EQ(v->ObjectsCount(), before + 2);
  std::vector<TRect> boxes;
  for (int i = before; i < before + 2; ++i) {
    TRect r;
    const int32_t h = v->GetObjFromIndex(i);
    EXPECT_EQ(v->GetObjKind(h), vxkPOLYLINE);
    EXPECT_GE(v->GetObjPolylinePointsCount(h), 3);
    v->GetObjRect(h, r);
    boxes.push_back(r);
  }
  std::sort(boxes.begin(), boxes.end(), [](const TRect& a, const TRect& b) { return a.Left < b.Left; });
  // The outlines run through the centres of the rectangles' edge pixels.
  EXPECT_EQ(boxes[0], (TRect{10, 10, 39, 29}));
  EXPECT_EQ(boxes[1], (TRect{60, 50, 89, 79}));
  // Nothing without a selection.
  v->DeSelect();
  EXPECT_EQ(v->CreatePolygonsFromSelection(), 0);
  delete v;
}

TEST_F(VectMeasureTest, PolygonFromEdgeAndImageFromSelectedArea) {
  TVexlaneVect* v = Viewer();
  TVXBitmap* b = v->VXBitmap();
  for (int y = 40; y < 70; ++y)
    for (int x = 50; x < 90; ++x) b->SetPixels(x, y, TRGB{0, 0, 255});
  const int32_t h = v->CreatePolygonFromEdge(v->XBmp2Scr(60), v->YBmp2Scr(50), false, 0);
  ASSERT_GE(h, 0);
  TRect r;
  v->GetObjRect(h, r);
  EXPECT_EQ(r, (TRect{50, 40, 90, 70}));
  const int n = v->GetObjPolylinePointsCount(h);
  EXPECT_EQ(v->GetObjPolylinePoints(h, 0), v->GetObjPolylinePoints(h, n - 1));  // closed onto its start
  EXPECT_DOUBLE_EQ(v->GetPolylineArea(h), 40 * 30);

  v->SelectEllipse(70, 55, 20, 20);
  const int32_t pic = v->CreateImageFromSelectedArea(0, false);
  ASSERT_GE(pic, 0);
  TVXBitmap* p = v->GetObjBitmap(pic);
  TVXMask* m = v->SelectionMask();
  ASSERT_EQ(p->Width(), m->X2() - m->X1() + 1);
  ASSERT_TRUE(p->HasAlphaChannel());
  for (int y = 0; y < p->Height(); ++y)
    for (int x = 0; x < p->Width(); ++x) {
      ASSERT_EQ(p->Alpha(x, y), m->GetPixel(x + m->X1(), y + m->Y1()) ? 255 : 0) << x << "," << y;
      if (p->Alpha(x, y)) {
        ASSERT_EQ(p->Pixels(x, y), b->Pixels(x + m->X1(), y + m->Y1()));
      }
    }
  v->GetObjRect(pic, r);
  EXPECT_EQ(r, (TRect{m->X1(), m->Y1(), m->X2(), m->Y2()}));
  delete v;
}

TEST_F(VectMeasureTest, SimplifyPolygonBudgets) {
  TVexlaneVect* v = Viewer(2000, 2000);
  std::vector<TPoint> circle;
  for (int i = 0; i < 2000; ++i) {
    const double a = i * 2 * M_PI / 2000;
    circle.push_back(TPoint{int32_t(std::lround(1000 + 600 * std::cos(a))), int32_t(std::lround(1000 + 600 * std::sin(a)))});
  }
  for (int budget : {0, 1, 2, 3, 10, 100, 1000, 5000}) {
    SCOPED_TRACE(budget);
    const int32_t h = Polyline(v, circle);
    const std::vector<TPoint> in = v->GetObjRecord(h)->PolyPoints;
    v->SimplifyPolygon(h, budget);
    const std::vector<TPoint>& out = v->GetObjRecord(h)->PolyPoints;
    EXPECT_LE(out.size(), size_t(std::max(budget, 2)));
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.front(), in.front());
    EXPECT_EQ(out.back(), in.back());
    // A subsequence of the input.
    size_t j = 0;
    for (const TPoint& q : out) {
      while (j < in.size() && in[j] != q) ++j;
      ASSERT_LT(j, in.size()) << q.X << "," << q.Y;
      ++j;
    }
    if (budget == 100) {
      EXPECT_GT(out.size(), 50u);  // not reduced far beyond the budget
    }
  }
  // With room to spare, only collinear interior points go.
  const int32_t h = Polyline(v, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {5, 5}});
  v->SimplifyPolygon(h, 100);
  EXPECT_EQ(v->GetObjRecord(h)->PolyPoints, (std::vector<TPoint>{{0, 0}, {3, 0}, {3, 2}, {5, 5}}));
  delete v;
}

TEST_F(VectMeasureTest, JaggedEdgesOfDiscsAndRotatedRectangles) {
  TVexlaneVect* v = Viewer(400, 400);
  std::mt19937 rng(107107);
  std::uniform_real_distribution<double> u(0, 1);
  std::string input;
  int shapes = 0;
  for (int n = 0; n < 24; ++n) {
    std::function<bool(int, int)> inside;
    if (n % 2 == 0) {
      const double cx = 100 + u(rng) * 50, cy = 100 + u(rng) * 50, r = 5 + u(rng) * 60;
      inside = [=](int x, int y) { return std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r; };
    } else {
      const double cx = 150 + u(rng) * 20, cy = 150 + u(rng) * 20, a = u(rng) * M_PI;
      const double hw = 10 + u(rng) * 60, hh = 6 + u(rng) * 40;
      inside = [=](int x, int y) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        return std::abs(dx * std::cos(a) + dy * std::sin(a)) <= hw && std::abs(-dx * std::sin(a) + dy * std::cos(a)) <= hh;
      };
    }
    const std::vector<TPoint> stairs = PixelOutline(300, 300, inside);
    ASSERT_GE(stairs.size(), 8u);
    const int32_t h = Polyline(v, stairs, true);
    ASSERT_EQ(v->GetObjRecord(h)->PolyPoints, stairs);
    ASSERT_TRUE(v->RemovePolygonJaggedEdges(h)) << n;
    const std::vector<TPoint>& out = v->GetObjRecord(h)->PolyPoints;
    EXPECT_LE(out.size() * 3, stairs.size()) << n << ": " << out.size() << " of " << stairs.size();
    std::vector<std::pair<double, double>> a, b;
    for (const TPoint& q : stairs) a.push_back({double(q.X), double(q.Y)});
    for (const TPoint& q : out) b.push_back({double(q.X), double(q.Y)});
    input += std::to_string(a.size()) + "\n" + PointsText(a) + std::to_string(b.size()) + "\n" + PointsText(b);
    ++shapes;
  }
  // Not a staircase: unchanged and false.
  const std::vector<TPoint> poly{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const int32_t h = Polyline(v, poly, true);
  EXPECT_FALSE(v->RemovePolygonJaggedEdges(h));
  EXPECT_EQ(v->GetObjRecord(h)->PolyPoints, poly);
  const int32_t box = v->AddNewObject(vxkBOX, TRect{0, 0, 5, 5}, 0xFF, false);
  EXPECT_FALSE(v->RemovePolygonJaggedEdges(box));

  if (!HaveShapely()) GTEST_SKIP() << "python3-shapely is not installed";
  // Hausdorff distance of the outlines: every point of one (densified) to
  // the other outline, both ways.
  const std::vector<double> d = RunPython(R"(
import sys
from shapely.geometry import LinearRing, Point
t = open(sys.argv[1]).read().split()
i = 0
def read():
    global i
    n = int(t[i]); i += 1
    p = [(float(t[i + 2 * k]), float(t[i + 2 * k + 1])) for k in range(n)]; i += 2 * n
    return p
def dense(p):
    out = []
    for k in range(len(p)):
        (x0, y0), (x1, y1) = p[k], p[(k + 1) % len(p)]
        for s in range(20):
            out.append((x0 + (x1 - x0) * s / 20, y0 + (y1 - y0) * s / 20))
    return out
while i < len(t):
    a = read(); b = read()
    ra, rb = LinearRing(a), LinearRing(b)
    print(repr(max(max(rb.distance(Point(q)) for q in dense(a)), max(ra.distance(Point(q)) for q in dense(b)))))
)",
                                          input);
  ASSERT_EQ(d.size(), size_t(shapes));
  for (size_t i = 0; i < d.size(); ++i) EXPECT_LE(d[i], 1.5) << i;
}
