// Snapping, hit tests, fitting, zoom steps and the nearest palette entry.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/orientation.h"
#include "runtime_test_util.h"

namespace {

constexpr double kFar = 1000000.0;
constexpr double kNone = 2147483647.0;

TEST(Geometry, ConstrainAngle45SnapsToStraightAndDiagonalLines) {
  struct Case {
    int32_t x0, y0, X, Y, wantX, wantY;
  } cases[] = {
      {0, 0, 100, 20, 100, 0},      // beyond the dead band: horizontal
      {0, 0, 20, 100, 0, 100},      // vertical
      {0, 0, 100, 90, 100, 100},    // below right: the smaller side grows
      {0, 0, -100, -90, -90, -90},  // above left: the larger side shrinks
      {0, 0, -100, 90, -100, 100},  // below left
      {0, 0, 90, -100, 100, -100},  // above right
      {7, 9, 7, 9, 7, 9},           // on the anchor
  };
  for (const Case& c : cases) {
    int32_t X = c.X, Y = c.Y;
    VXConstrainAngle45(c.x0, c.y0, X, Y);
    EXPECT_EQ(X, c.wantX) << c.X << "," << c.Y;
    EXPECT_EQ(Y, c.wantY) << c.X << "," << c.Y;
  }
}

TEST(Geometry, PointTestsCountEdgesAndOrderCorners) {
  EXPECT_TRUE(VXPointInRect(10, 5, Rect(0, 0, 10, 5)));  // right and bottom edges are inside
  EXPECT_FALSE(VXPointInRect(11, 5, Rect(0, 0, 10, 5)));
  EXPECT_FALSE(VXPointInRect(10, 6, Rect(0, 0, 10, 5)));
  EXPECT_TRUE(VXPointInBox(0, 0, 0, 0, 0, 0));
  EXPECT_TRUE(VXPointInCorners(3, 4, 10, 10, 0, 0));
  EXPECT_FALSE(VXPointInBox(3, 4, 10, 10, 0, 0));
  int32_t x1 = 9, y1 = 2, x2 = 1, y2 = 8;
  VXOrderCorners(x1, y1, x2, y2);
  EXPECT_EQ(std::vector<int32_t>({x1, y1, x2, y2}), std::vector<int32_t>({1, 2, 9, 8}));
  EXPECT_EQ(VXRectVisibility(0, 0, 100, 100, 10, 10, 20, 20), 2);
  EXPECT_EQ(VXRectVisibility(0, 0, 100, 100, 50, 50, 150, 60), 1);
  EXPECT_EQ(VXRectVisibility(0, 0, 100, 100, 150, 150, 160, 160), 0);
}

TEST(Geometry, IntFloorRoundsDown) {
  const struct {
    long double x;
    int32_t want;
  } cases[] = {{-1.5L, -2}, {2.0L, 2}, {-2.0L, -2}, {0.5L, 0}, {-1e-9L, -1}, {1e12L, 2147483647}};
  for (auto c : cases) EXPECT_EQ(VXIntFloor(c.x), c.want) << double(c.x);
}

TEST(Geometry, SegmentDistances) {
  const struct {
    int32_t px, py, ax, ay, bx, by;
    double want;
  } cases[] = {
      {0, 0, 10, -5, 10, 5, 10},        // across the middle
      {0, 0, 10, 0, 20, 0, 10},         // nearest end
      {0, 0, 20, 0, 10, 0, 10},         // same, ends swapped
      {50010, 0, 0, 0, 10, 0, kFar},    // beyond an end by 50,000
      {3, 4, 0, 0, 0, 0, 5},            // a point segment
      // Far coordinates that overflow 32-bit products.
      {0, 3, -2000000000, 0, 2000000000, 0, 3},
      {2000000000, 2000000000, -2000000000, -2000000000, 2000000000, -2000000000, 4000000000.0},
  };
  for (auto c : cases)
    EXPECT_DOUBLE_EQ(VXDistPointToSegment(c.px, c.py, c.ax, c.ay, c.bx, c.by), c.want)
        << c.px << "," << c.py << " to " << c.ax << "," << c.ay << "-" << c.bx << "," << c.by;
  EXPECT_DOUBLE_EQ(VXDistance(-2000000000, 0, 2000000000, 0), 4000000000.0);
  EXPECT_DOUBLE_EQ(VXPointLineDistance(0, 2000000000, -2000000000, 0, 2000000000, 0), 2000000000.0);
}

TEST(Geometry, PolylineHitsClosingSideAndThickPen) {
  const std::vector<TPoint> tri = {{0, 0}, {100, 0}, {0, 100}};
  // The closing side runs from (0, 100) back to (0, 0).
  EXPECT_DOUBLE_EQ(VXDistPointToPolyline(-5, 50, tri.data(), 3, 0, 0, 0, 0, 1, 1, 1, true), 5);
  EXPECT_GT(VXDistPointToPolyline(-5, 50, tri.data(), 3, 0, 0, 0, 0, 1, 1, 1, false), 38);
  // A 6-pixel pen covers 3 pixels either side of a horizontal side.
  const struct {
    int32_t y;
    double want;
  } pen[] = {{2, 0}, {1, 0}, {-2, 0}, {-3, 0}, {3, 0}, {5, 2}, {-5, 2}};
  for (auto c : pen)
    EXPECT_DOUBLE_EQ(VXDistPointToPolyline(50, c.y, tri.data(), 2, 0, 0, 0, 0, 1, 1, 6, false), c.want) << c.y;
  // Points are mapped to the screen before measuring: (x - 10) * 2 + 5.
  const std::vector<TPoint> line = {{10, 10}, {20, 10}};
  EXPECT_DOUBLE_EQ(VXDistPointToPolyline(15, 12, line.data(), 2, 10, 10, 5, 5, 2, 2, 1, false), 7);
  EXPECT_DOUBLE_EQ(VXDistPointToPolyline(0, 0, line.data(), 0, 0, 0, 0, 0, 1, 1, 1, true), kFar);
}

TEST(Geometry, PolygonsRotateAndHitTest) {
  const std::vector<TPoint> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(VXPointInZoomedPolygon(115, 115, square.data(), 4, 0, 0, 100, 100, 2, 2));
  EXPECT_FALSE(VXPointInZoomedPolygon(125, 105, square.data(), 4, 0, 0, 100, 100, 2, 2));
  EXPECT_FALSE(VXPointInPolygon(5, 5, {}));
  std::vector<TPoint> pts = {{10, 0}, {0, 10}};
  VXRotatePoints(pts, 0, 0, 90);  // counter-clockwise on the screen, y pointing down
  EXPECT_EQ(pts, (std::vector<TPoint>{{0, -10}, {10, 0}}));
}

TEST(Geometry, OutlineAndEllipseDistances) {
  const struct {
    int32_t x, y;
    bool filled;
    int32_t pen;
    double rect, ellipse;
  } cases[] = {
      {0, 0, false, -2, kNone, kNone},  // no pen copy to measure
      {0, 0, true, -2, kNone, kNone},
      {150, 0, false, 1, 50, 50},     // outside, beyond the vertex (100, 0)
      {150, 0, true, -1, 50, 50},
      {150, 0, false, 4, 48, 48},     // the pen reaches 2 pixels further out
      {0, 0, true, 1, 0, 0},          // the centre of a filled shape
      {0, 0, false, 1, 100, 100},     // the centre of an outline
  };
  for (auto c : cases) {
    EXPECT_DOUBLE_EQ(VXDistanceToRectOutline(c.x, c.y, -100, -100, 100, 100, c.filled, c.pen), c.rect)
        << c.x << " pen " << c.pen << " filled " << c.filled;
    if (c.x == 0 && !c.filled && c.pen == 1)  // the chords of an outline of 78 truncated vertices
      EXPECT_NEAR(VXDistanceToEllipse(c.x, c.y, -100, -100, 100, 100, c.filled, c.pen), c.ellipse, 2);
    else
      EXPECT_DOUBLE_EQ(VXDistanceToEllipse(c.x, c.y, -100, -100, 100, 100, c.filled, c.pen), c.ellipse)
          << c.x << " pen " << c.pen << " filled " << c.filled;
  }
  // A huge ellipse is measured against a bounded polygon: this returns at once.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_DOUBLE_EQ(VXDistanceToEllipse(0, 0, -1000000000, -1000000000, 1000000000, 1000000000, true, 1), 0);
  EXPECT_DOUBLE_EQ(VXDistanceToEllipse(1000000000, 0, -1000000000, -1000000000, 1000000000, 1000000000, false, 1), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Geometry, FittingTables) {
  int32_t cw, ch, w, h;
  VXThumbnailSize(200, 100, 100, 100, cw, ch, 0, w, h);
  EXPECT_EQ(std::vector<int32_t>({w, h, cw, ch}), std::vector<int32_t>({100, 50, 100, 50}));
  VXThumbnailSize(200, 100, 100, 100, cw, ch, 100, w, h);
  EXPECT_EQ(std::vector<int32_t>({w, h, cw, ch}), std::vector<int32_t>({200, 100, 100, 100}));
  VXThumbnailSize(0, 100, 100, 100, cw, ch, 0, w, h);
  EXPECT_EQ(std::vector<int32_t>({w, h, cw, ch}), std::vector<int32_t>({0, 0, 0, 0}));
  int32_t nw = -1, nh = -1;
  VXFitInBox(1000, 1, 10, 10, nw, nh);
  EXPECT_EQ(nw, 10);
  EXPECT_EQ(nh, 1);

  TRect r;
  VXFitImageRect(0, 100, 100, 100, 7, 8, true, true, true, true, 0, false, r);
  EXPECT_EQ(r, Rect(7, 8, 0, 0));
  VXFitImageRect(200, 100, 100, 100, 0, 0, true, true, true, true, 0, false, r);
  EXPECT_EQ(r, Rect(0, 25, 100, 75));
  VXFitImageRect(200, 100, 100, 100, 0, 0, true, false, true, true, 0, false, r);  // may not shrink
  EXPECT_EQ(r, Rect(-50, 0, 150, 100));
  VXFitImageRect(200, 100, 100, 100, 0, 0, true, true, true, true, 0, true, r);  // fill the box
  EXPECT_EQ(r, Rect(-50, 0, 150, 100));
  VXFitImageRectInRect(50, 100, Rect(10, 20, 110, 70), true, true, true, false, 0, false, r);
  EXPECT_EQ(r, Rect(47, 20, 72, 70));
  TSize s;
  VXFitImageSize(400, 200, 100, 100, false, false, s);
  EXPECT_EQ(s, (TSize{100, 50}));
  VXFitImageSize(40, 20, 100, 100, false, false, s);
  EXPECT_EQ(s, (TSize{40, 20}));
}

TEST(Geometry, AdjustRectToAspect) {
  const struct {
    TRect in;
    int32_t maxW, maxH, mode, aw, ah;
    TRect want;
  } cases[] = {
      {Rect(10, 10, 110, 60), 1000, 1000, 0, 1, 1, Rect(10, -15, 110, 85)},  // grow the height about its centre
      {Rect(10, 10, 60, 110), 1000, 1000, 0, 1, 1, Rect(-15, 10, 85, 110)},  // grow the width
      {Rect(10, 10, 110, 60), 1000, 1000, 1, 1, 1, Rect(35, 10, 85, 60)},    // shrink the width
      {Rect(10, 10, 60, 110), 1000, 1000, 1, 1, 1, Rect(10, 35, 60, 85)},    // shrink the height
      {Rect(900, 0, 1000, 50), 950, 1000, 1, 1, 1, Rect(900, 0, 950, 50)},   // moved back inside
      {Rect(-5, 0, 20, 10), 1000, 1000, 0, 0, 1, Rect(0, 0, 25, 10)},        // no aspect: only clipped
  };
  for (auto c : cases) {
    TRect r;
    VXAdjustRectToAspect(c.in, c.maxW, c.maxH, r, c.mode, c.aw, c.ah);
    EXPECT_EQ(r, c.want) << c.in.Left << "," << c.in.Top << " mode " << c.mode;
  }
  TRect g = VXRect(0, 0, 10, 10);
  EXPECT_EQ(VXRectIncludePoint(g, -5, 20), Rect(-5, 0, 10, 20));
  EXPECT_EQ(g, Rect(-5, 0, 10, 20));
}

TEST(Geometry, ZoomStepsAnglesAndPalette) {
  EXPECT_EQ(VXGetNextZoom(true, 0, 100), 125);
  EXPECT_EQ(VXGetNextZoom(false, 0, 100), 75);
  EXPECT_EQ(VXGetNextZoom(true, 0, 10), 15);
  EXPECT_EQ(VXGetNextZoom(false, 0, 5), 1);
  EXPECT_EQ(VXGetNextZoom(true, 110, 100), 110);
  EXPECT_EQ(VXReduceAngle(725), 5);
  EXPECT_EQ(VXReduceAngle(-90), -90);
  EXPECT_EQ(VXReduceAngle(-360), -360);
  EXPECT_EQ(VXReduceAngle(-725), -5);
  const TRGB pal[] = {{10, 10, 10}, {0, 0, 0}, {0, 0, 0}, {0, 0, 255}, {255, 0, 0}};  // b, g, r
  EXPECT_EQ(VXClosestPaletteEntry(pal, 5, 0), 1);  // the first of two equal entries
  EXPECT_EQ(VXClosestPaletteEntry(pal, 5, 0x0000F0), 3);  // red is the low byte
  EXPECT_EQ(VXClosestPaletteEntry(pal, 5, 0xF00000), 4);
  EXPECT_EQ(VXClosestPaletteEntry(pal, 0, 0xF00000), 0);
}

// Seeded random cases against a separate Python evaluation of the formulas.
TEST(Geometry, RandomCasesAgreeWithPythonReference) {
  if (std::system("python3 -c 'import math' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is missing";
  std::mt19937 rng(20261210);
  const auto uni = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
  const auto coord = [&]() -> int32_t {
    switch (uni(0, 3)) {
      case 0: return int32_t(uni(-2000000000, 2000000000));
      case 1: return int32_t(uni(-100000, 100000));
      default: return int32_t(uni(-300, 300));
    }
  };
  std::ostringstream in;
  std::vector<std::string> got;  // this build's results, one line a case
  const auto emit = [&](std::ostringstream& out, auto... v) {
    bool first = true;
    ((out << (first ? "" : " ") << v, first = false), ...);
  };
  char buf[64];
  const auto dbl = [&](double d) {
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return std::string(buf);
  };
  for (int i = 0; i < 400; ++i) {
    std::ostringstream out;
    const int32_t x0 = int32_t(uni(-1000, 1000)), y0 = int32_t(uni(-1000, 1000));
    int32_t X = x0 + int32_t(uni(-200, 200)), Y = y0 + int32_t(uni(-200, 200));
    in << "c45 " << x0 << ' ' << y0 << ' ' << X << ' ' << Y << '\n';
    VXConstrainAngle45(x0, y0, X, Y);
    emit(out, X, Y);
    got.push_back(out.str());
  }
  for (int i = 0; i < 600; ++i) {
    int32_t v[6];
    for (int32_t& c : v) c = coord();
    if (i % 7 == 0) v[4] = v[2], v[5] = v[3];  // point segments
    in << "seg";
    for (int32_t c : v) in << ' ' << c;
    in << '\n';
    got.push_back(dbl(VXDistPointToSegment(v[0], v[1], v[2], v[3], v[4], v[5])));
  }
  for (int i = 0; i < 400; ++i) {
    std::ostringstream out;
    const int32_t w = int32_t(uni(0, 3000)), h = int32_t(uni(1, 3000)), bw = int32_t(uni(1, 500)),
                  bh = int32_t(uni(1, 500)), st = int32_t(uni(-10, 120));
    int32_t cw, ch, W, H;
    VXThumbnailSize(w, h, bw, bh, cw, ch, st, W, H);
    in << "thumb " << w << ' ' << h << ' ' << bw << ' ' << bh << ' ' << st << '\n';
    emit(out, cw, ch, W, H);
    got.push_back(out.str());
  }
  for (int i = 0; i < 600; ++i) {
    std::ostringstream out;
    int32_t v[12] = {int32_t(uni(1, 3000)), int32_t(uni(1, 3000)), int32_t(uni(1, 800)), int32_t(uni(1, 800)),
                     int32_t(uni(-50, 50)), int32_t(uni(-50, 50)), int32_t(uni(0, 1)), int32_t(uni(0, 1)),
                     int32_t(uni(0, 1)), int32_t(uni(0, 1)), int32_t(uni(-5, 110)), int32_t(uni(0, 1))};
    if (i % 3 == 0) v[10] = 0;
    TRect r;
    VXFitImageRect(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], r);
    in << "fit";
    for (int32_t c : v) in << ' ' << c;
    in << '\n';
    emit(out, r.Left, r.Top, r.Right, r.Bottom);
    got.push_back(out.str());
  }
  for (int i = 0; i < 400; ++i) {
    const bool zin = uni(0, 1);
    const double zoom = uni(0, 1) ? double(uni(1, 2000)) : double(uni(50, 200000)) / 100;
    const double ideal = uni(0, 2) == 0 ? 0 : zoom + double(uni(-15000, 15000)) / 100;
    in << "zoom " << int(zin) << ' ' << dbl(ideal) << ' ' << dbl(zoom) << '\n';
    got.push_back(dbl(VXGetNextZoom(zin, ideal, zoom)));
  }
  for (int i = 0; i < 300; ++i) {
    const double a = uni(0, 1) ? double(uni(-2000, 2000)) : double(uni(-200000000, 200000000)) / 1000;
    in << "reduce " << dbl(a) << '\n';
    got.push_back(dbl(VXReduceAngle(a)));
  }
  for (int i = 0; i < 400; ++i) {
    std::vector<TPoint> poly(size_t(uni(3, 9)));
    for (TPoint& p : poly) p = TPoint{int32_t(uni(-50, 50)), int32_t(uni(-50, 50))};
    const int32_t x = int32_t(uni(-60, 60)), y = int32_t(uni(-60, 60));
    in << "pip " << x << ' ' << y;
    for (TPoint p : poly) in << ' ' << p.X << ' ' << p.Y;
    in << '\n';
    got.push_back(VXPointInPolygon(x, y, poly) ? "1" : "0");
  }
  for (int i = 0; i < 300; ++i) {
    std::vector<TPoint> pts(size_t(uni(1, 5)));
    for (TPoint& p : pts) p = TPoint{int32_t(uni(-5000, 5000)), int32_t(uni(-5000, 5000))};
    const int32_t cx = int32_t(uni(-1000, 1000)), cy = int32_t(uni(-1000, 1000));
    const double angle = uni(0, 1) ? double(uni(-720, 720)) : double(uni(-36000, 36000)) / 100;
    in << "rot " << cx << ' ' << cy << ' ' << dbl(angle);
    for (TPoint p : pts) in << ' ' << p.X << ' ' << p.Y;
    in << '\n';
    VXRotatePoints(pts, cx, cy, angle);
    std::ostringstream out;
    for (size_t k = 0; k < pts.size(); ++k) out << (k ? " " : "") << pts[k].X << ' ' << pts[k].Y;
    got.push_back(out.str());
  }
  for (int i = 0; i < 300; ++i) {
    std::vector<TRGB> pal(size_t(uni(1, 12)));
    for (TRGB& e : pal) e = TRGB{uint8_t(uni(0, 3) * 85), uint8_t(uni(0, 3) * 85), uint8_t(uni(0, 3) * 85)};
    const TColor color = TColor(uni(0, 0xFFFFFF));
    in << "pal " << color;
    for (TRGB e : pal) in << ' ' << int(e.r) << ' ' << int(e.g) << ' ' << int(e.b);
    in << '\n';
    got.push_back(std::to_string(VXClosestPaletteEntry(pal.data(), int32_t(pal.size()), color)));
  }

  TRuntimeScratchDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string cases = dir.File("geometry_cases.txt");
  std::ofstream(cases) << in.str();
  FILE* p = popen(("python3 " VX_SOURCE_DIR "/tests/core/geometry_oracle.py " + cases).c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string all;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, p)) > 0) all.append(chunk, n);
  ASSERT_EQ(pclose(p), 0);
  std::istringstream ref(all), caseLines(in.str());
  std::string want, input;
  size_t k = 0;
  for (; std::getline(ref, want) && k < got.size(); ++k) {
    std::getline(caseLines, input);
    // Compare numerically so that Python's and printf's spellings of a double agree.
    std::istringstream a(got[k]), b(want);
    std::vector<double> va, vb;
    for (double d; a >> d;) va.push_back(d);
    for (double d; b >> d;) vb.push_back(d);
    EXPECT_EQ(va, vb) << input << "\n  ours: " << got[k] << "\n  reference: " << want;
  }
  EXPECT_EQ(k, got.size());
}

// Each orientation against ImageMagick's -auto-orient of the same tag. The
// red channel and the alpha channel both carry the source pixel's index, so
// the alpha channel must follow the picture.
TEST(Geometry, EXIFOrientationMatchesImageMagick) {
  if (std::system("/usr/bin/convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is missing";
  const int32_t W = 5, H = 3;
  const auto make = [&]() {
    auto b = std::make_unique<TVXBitmap>(W, H, vx24RGB);
    for (int32_t y = 0; y < H; ++y) {
      TRGB* row = static_cast<TRGB*>(b->GetScanLine(y));
      for (int32_t x = 0; x < W; ++x) row[x] = TRGB{uint8_t(200 - 7 * x), uint8_t(y * 40), uint8_t(10 * (y * W + x) + 5)};
    }
    TVXBitmap* a = b->AlphaChannel();
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) static_cast<uint8_t*>(a->GetScanLine(y))[x] = uint8_t(10 * (y * W + x) + 5);
    return b;
  };
  TRuntimeScratchDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string in = dir.File("in.ppm");
  {
    auto src = make();
    std::ofstream f(in, std::ios::binary);
    f << "P6\n" << W << ' ' << H << "\n255\n";
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const TRGB p = static_cast<TRGB*>(src->GetScanLine(y))[x];
        f << char(p.r) << char(p.g) << char(p.b);
      }
  }
  const char* names[] = {"TopLeft", "TopRight", "BottomRight", "BottomLeft",
                         "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
  for (int32_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE(names[o - 1]);
    const std::string out = dir.File("out" + std::to_string(o) + ".ppm");
    ASSERT_EQ(std::system(("/usr/bin/convert " + in + " -orient " + names[o - 1] + " -auto-orient " + out).c_str()), 0);
    std::ifstream f(out, std::ios::binary);
    std::string magic;
    int32_t w = 0, h = 0, maxval = 0;
    f >> magic >> w >> h >> maxval;
    f.get();
    ASSERT_EQ(magic, "P6");
    auto b = make();
    VXApplyEXIFOrientation(b.get(), o);
    ASSERT_EQ(b->Width(), w);
    ASSERT_EQ(b->Height(), h);
    ASSERT_TRUE(b->HasAlphaChannel());
    ASSERT_EQ(b->AlphaChannel()->Width(), w);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        char c[3];
        f.read(c, 3);
        const TRGB p = static_cast<TRGB*>(b->GetScanLine(y))[x];
        EXPECT_EQ(std::vector<int>({p.r, p.g, p.b}), std::vector<int>({uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])}))
            << x << "," << y;
        EXPECT_EQ(static_cast<uint8_t*>(b->AlphaChannel()->GetScanLine(y))[x], p.r) << x << "," << y;
      }
  }
  // Other values and a missing bitmap change nothing.
  auto b = make();
  VXApplyEXIFOrientation(b.get(), 9);
  VXApplyEXIFOrientation(b.get(), 0);
  VXApplyEXIFOrientation(nullptr, 6);
  EXPECT_EQ(static_cast<TRGB*>(b->GetScanLine(0))[1].r, 15);
}

// Angles on the screen (y grows downwards), checked against atan2 of the
// mirrored y offset.
constexpr double kPi = std::numbers::pi;

double ScreenAngle(int32_t cx, int32_t cy, int32_t px, int32_t py) {
  const double a = std::atan2(double(cy - py), double(px - cx));
  return a < 0 ? a + 2 * kPi : a;
}

TEST(Geometry, ArcCosAndAngleBetween) {
  EXPECT_EQ(VXArcCos(1), 0.0);
  EXPECT_DOUBLE_EQ(VXArcCos(-1), kPi);
  EXPECT_DOUBLE_EQ(VXArcCos(0), kPi / 2);
  for (double x = -1; x <= 1; x += 0.125) EXPECT_NEAR(VXArcCos(x), std::acos(x), 1e-15) << x;
  struct Case {
    int32_t x1, y1, x2, y2, x3, y3;
    double want;
  } cases[] = {
      {0, 0, 10, 0, 0, 0, kPi},          // straight back
      {0, 0, 10, 0, 20, 0, 0},           // straight on
      {0, 0, 10, 0, 10, 7, kPi / 2},     // a right angle
      {0, 0, 10, 0, 11, 1, kPi / 4},     // half of one
      {5, 5, 5, 5, 9, 9, 0},             // first vector without length
      {0, 0, 3, 4, 3, 4, 0},             // second vector without length
      {-2147483647 - 1, 0, 2147483647, 0, -2147483647 - 1, 0, kPi},  // no overflow
  };
  for (const Case& c : cases)
    EXPECT_NEAR(VXAngleBetween(c.x1, c.y1, c.x2, c.y2, c.x3, c.y3), c.want, 1e-12)
        << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " " << c.x3 << "," << c.y3;
}

TEST(Geometry, PointAngleAndTurnDirection) {
  EXPECT_DOUBLE_EQ(VXPointAngle(0, 0, 0, -5), kPi / 2);
  EXPECT_DOUBLE_EQ(VXPointAngle(0, 0, 0, 5), 3 * kPi / 2);
  EXPECT_DOUBLE_EQ(VXPointAngle(3, 3, -1, 3), kPi);
  EXPECT_EQ(VXPointAngle(3, 3, 9, 3), 0.0);
  EXPECT_EQ(VXPointAngle(3, 3, 3, 3), 0.0);
  for (int32_t x = -4; x <= 4; ++x)
    for (int32_t y = -4; y <= 4; ++y) {
      const double a = VXPointAngle(1, 2, x, y);
      EXPECT_NEAR(a, ScreenAngle(1, 2, x, y), 1e-12) << x << "," << y;
      EXPECT_TRUE(a >= 0 && a < 2 * kPi) << x << "," << y;
    }

  struct Case {
    int32_t x0, y0, x1, y1, x2, y2, want;
  } cases[] = {
      {0, 0, 10, 0, 0, 10, 1},    // cross product positive
      {0, 0, 0, 10, 10, 0, -1},   // negative
      {0, 0, 5, 0, -5, 0, -1},    // collinear, P0 between the others (x)
      {0, 0, 0, 5, 0, -5, -1},    // the same along y
      {0, 0, 5, 0, 10, 0, 1},     // collinear, P1 nearer
      {0, 0, 10, 0, 5, 0, 0},     // collinear, P2 nearer
      {0, 0, 5, 5, 5, 5, 0},      // P1 = P2
      {0, 0, 2147483647, 2147483646, 2147483646, 2147483645, -1},  // exact in 128 bits
  };
  for (const Case& c : cases)
    EXPECT_EQ(VXTurnDirection(c.x0, c.y0, c.x1, c.y1, c.x2, c.y2), c.want)
        << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
}

TEST(Geometry, SweepAngleRunsCounterClockwiseFromStartToEnd) {
  EXPECT_DOUBLE_EQ(VXSweepAngle(10, 0, 0, 0, -10, 0), kPi);
  EXPECT_NEAR(VXSweepAngle(10, 0, 0, 0, 0, -10), kPi / 2, 1e-12);     // to the point above
  EXPECT_NEAR(VXSweepAngle(10, 0, 0, 0, 0, 10), 3 * kPi / 2, 1e-12);  // to the point below
  EXPECT_EQ(VXSweepAngle(10, 0, 0, 0, 5, 0), 0.0);                    // same ray, end nearer
  // Every start and end on a small grid: the counter-clockwise difference
  // of their directions, and never NaN, also for nearly collinear points
  // whose law-of-cosines quotient rounds beyond +-1.
  for (int32_t sx = -6; sx <= 6; ++sx)
    for (int32_t sy = -6; sy <= 6; ++sy)
      for (int32_t ex = -6; ex <= 6; ++ex)
        for (int32_t ey = -6; ey <= 6; ++ey) {
          const double a = VXSweepAngle(sx, sy, 1, -1, ex, ey);
          ASSERT_FALSE(std::isnan(a)) << sx << "," << sy << " " << ex << "," << ey;
          if ((sx == 1 && sy == -1) || (ex == 1 && ey == -1)) continue;
          if (int64_t(sx - 1) * (ey + 1) == int64_t(sy + 1) * (ex - 1)) continue;  // collinear with C
          double want = ScreenAngle(1, -1, ex, ey) - ScreenAngle(1, -1, sx, sy);
          if (want < 0) want += 2 * kPi;
          EXPECT_NEAR(a, want, 1e-6) << sx << "," << sy << " " << ex << "," << ey;
        }
}

}  // namespace

