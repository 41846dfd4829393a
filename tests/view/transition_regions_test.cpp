// The transition effects' region builders, against models of their
// rectangles and points written here.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/random.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "view/transition_regions.h"
#include "winui/gdi.h"

#include "transition_pics.h"

namespace {

using vxtest::AlternativeLook;

// Owns a region.
struct R {
  HRGN h;
  explicit R(HRGN v) : h(v) {}
  ~R() {
    if (h) DeleteObject(h);
  }
  R(const R&) = delete;
};

// The union of rects[From .. To - 1], united in halves so that thousands of
// rectangles take n log n work.
HRGN UniteRange(const std::vector<RECT>& rects, size_t From, size_t To) {
  if (To - From == 1) {
    const RECT& r = rects[From];
    return CreateRectRgn(std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                         std::max(r.top, r.bottom));
  }
  const size_t mid = From + (To - From) / 2;
  HRGN a = UniteRange(rects, From, mid), b = UniteRange(rects, mid, To);
  CombineRgn(a, a, b, RGN_OR);
  DeleteObject(b);
  return a;
}

HRGN FromRects(const std::vector<RECT>& rects) {
  if (rects.empty()) return CreateRectRgn(0, 0, 0, 0);
  return UniteRange(rects, 0, rects.size());
}

bool Same(HRGN a, HRGN b) {
  if (!a || !b) return a == b;
  return EqualRgn(a, b) != 0;
}

// Pixels of the region within 0..W-1 x 0..H-1.
std::vector<uint8_t> Mask(HRGN r, int W, int H) {
  std::vector<uint8_t> m(size_t(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) m[size_t(y) * W + x] = r && PtInRegion(r, x, y) ? 1 : 0;
  return m;
}

// A and B differ only on pixels next to an edge of A (a 3 x 3 neighbourhood
// holding both inside and outside pixels).
int FarMismatches(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int W, int H) {
  int far = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      if (a[size_t(y) * W + x] == b[size_t(y) * W + x]) continue;
      bool in = false, out = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= W || yy >= H) continue;
          (a[size_t(yy) * W + xx] ? in : out) = true;
        }
      if (!(in && out)) ++far;
    }
  return far;
}

// Mirrored about the middle of the shapes' point range 0 .. W - 1: pixel i
// (centre i + 0.5) goes to pixel W - 2 - i.
std::vector<uint8_t> MirrorX(const std::vector<uint8_t>& m, int W, int H) {
  std::vector<uint8_t> o(m.size());
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) o[size_t(y) * W + x] = W - 2 - x >= 0 ? m[size_t(y) * W + (W - 2 - x)] : 0;
  return o;
}

std::vector<uint8_t> MirrorY(const std::vector<uint8_t>& m, int W, int H) {
  std::vector<uint8_t> o(m.size());
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) o[size_t(y) * W + x] = H - 2 - y >= 0 ? m[size_t(H - 2 - y) * W + x] : 0;
  return o;
}


TEST(TransitionRegions, ComplexRegionIsTheUnionOfItsRectangles) {
  TComplexRegion none;
  EXPECT_EQ(none.CreateRegion(), nullptr);

  TComplexRegion one;
  one.AddRect(1, 2, 3, 4);
  R got(one.CreateRegion()), want(CreateRectRgn(1, 2, 3, 4));
  EXPECT_TRUE(Same(got.h, want.h));
  EXPECT_EQ(one.Bounds().Left, 1);
  EXPECT_EQ(one.Bounds().Bottom, 4);

  // 10 000 rectangles, overlapping, across several growths of the buffer.
  TComplexRegion many;
  std::vector<RECT> rects;
  RandSeed = 77;
  for (int i = 0; i < 10000; ++i) {
    const int x = Random(300), y = Random(200);
    RECT r{x, y, x + 1 + Random(6), y + 1 + Random(4)};
    rects.push_back(r);
    many.AddRect(r.left, r.top, r.right, r.bottom);
  }
  R a(many.CreateRegion()), b(FromRects(rects));
  EXPECT_TRUE(Same(a.h, b.h));
  many.Clear();
  EXPECT_EQ(many.CreateRegion(), nullptr);
}

TEST(TransitionRegions, ShapesFitTheirRectangle) {
  // The star is squared (side 100 at left 50) and scaled by side - 1.
  R star(CreateShapeRegion(0, 0, 0, 200, 100));
  RECT box;
  ASSERT_NE(GetRgnBox(star.h, &box), 0);
  EXPECT_GE(box.left, 50);
  EXPECT_LE(box.right, 150);
  EXPECT_GE(box.top, 0);
  EXPECT_LE(box.bottom, 100);
  EXPECT_GT(box.right - box.left, 90);

  for (int bad : {-1, 17, 100}) EXPECT_EQ(CreateShapeRegion(bad, 0, 0, 50, 50), nullptr) << bad;

  const int W = 60, H = 60;
  auto mask = [&](int shape) {
    R r(CreateShapeRegion(shape, 0, 0, W, H));
    return Mask(r.h, W, H);
  };
  // Shape 7 mirrors 6; the arrows' orientations mirror orientation 0.
  EXPECT_EQ(FarMismatches(MirrorX(mask(6), W, H), mask(7), W, H), 0);
  for (int base : {2, 11}) {
    const auto m0 = mask(base);
    EXPECT_EQ(FarMismatches(MirrorX(m0, W, H), mask(base + 1), W, H), 0) << base;
    EXPECT_EQ(FarMismatches(MirrorY(m0, W, H), mask(base + 2), W, H), 0) << base;
    EXPECT_EQ(FarMismatches(MirrorY(MirrorX(m0, W, H), W, H), mask(base + 3), W, H), 0) << base;
  }
  // The explosion's spikes are a pixel or two thin, where rounding the
  // mirrored table moves a point across a pixel centre.
  EXPECT_LE(FarMismatches(MirrorY(MirrorX(mask(8), W, H), W, H), mask(9), W, H), 5);
}

TEST(TransitionRegions, CrossAndHeartFollowTheirConstruction) {
  // A 100 x 100 cross: narrowed to 75 at left 12, bar 15, the horizontal
  // bar at 12 + Round(85 x 0.33) = 28.
  R cross(CreateShapeRegion(10, 0, 0, 100, 100));
  R bars(FromRects({{42, 0, 57, 100}, {12, 28, 87, 43}}));
  EXPECT_TRUE(Same(cross.h, bars.h));

  // A heart in a 100 x 80 rectangle: the 80 x 80 square at left 10; lobes
  // of diameter 42, the tip at the bottom centre, the notch open.
  R heart(CreateShapeRegion(15, 0, 0, 100, 80));
  RECT box;
  GetRgnBox(heart.h, &box);
  EXPECT_EQ(box.left, 10);
  EXPECT_GE(box.right, 88);
  EXPECT_LE(box.right, 90);
  EXPECT_EQ(box.top, 0);
  EXPECT_TRUE(PtInRegion(heart.h, 10 + 21, 21)) << "left lobe";
  EXPECT_TRUE(PtInRegion(heart.h, 90 - 21, 21)) << "right lobe";
  EXPECT_TRUE(PtInRegion(heart.h, 50, 76)) << "near the tip";
  EXPECT_FALSE(PtInRegion(heart.h, 50, 1)) << "the notch";
  EXPECT_FALSE(PtInRegion(heart.h, 12, 70)) << "beside the tip";
  // Two hearts: the second one lower right of the first.
  R two(CreateShapeRegion(16, 0, 0, 100, 100));
  EXPECT_TRUE(PtInRegion(two.h, 20, 25));
  EXPECT_TRUE(PtInRegion(two.h, 80, 75));
  EXPECT_FALSE(PtInRegion(two.h, 95, 5));
}

TEST(TransitionRegions, SectorsAndRotations) {
  const double pi = std::numbers::pi;
  for (int count : {1, 4, 12, 50}) {
    R full(SectorRegion(50, 40, 30, -pi / 2, 3 * pi / 2, count, true));
    std::vector<POINT> pts{{50, 40}};
    for (int k = 0; k <= count; ++k) {
      const double a = -pi / 2 + k * 2 * pi / count;
      pts.push_back(POINT{50 + int(std::nearbyint(30 * std::cos(a))), 40 + int(std::nearbyint(30 * std::sin(a)))});
    }
    R poly(PolygonRegion(pts));
    EXPECT_TRUE(Same(full.h, poly.h)) << count;
  }
  // A quarter from straight up, clockwise: the upper right; mirrored when
  // not forward.
  R q(SectorRegion(50, 50, 40, -pi / 2, 0, 10, true));
  EXPECT_TRUE(PtInRegion(q.h, 60, 40));
  EXPECT_FALSE(PtInRegion(q.h, 40, 40));
  R m(SectorRegion(50, 50, 40, -pi / 2, 0, 10, false));
  EXPECT_TRUE(PtInRegion(m.h, 40, 60));
  EXPECT_FALSE(PtInRegion(m.h, 60, 40));

  POINT pts[] = {{10, 0}, {0, 5}, {3, 4}};
  RotatePoints(pts, 2, 0, 0, pi / 2);  // clockwise on screen
  EXPECT_EQ(pts[0].x, 0);
  EXPECT_EQ(pts[0].y, 10);
  EXPECT_EQ(pts[1].x, -5);
  EXPECT_EQ(pts[1].y, 0);
  EXPECT_EQ(pts[2].x, -4);
  EXPECT_EQ(pts[2].y, 3);
}

// The bars' rectangles, straight from their rule.
std::vector<RECT> BarsModel(int X, int Y, int W, int H, int hm, int vm, bool alt) {
  const int u = std::min(W, H) / 50 * (alt ? 4 : 1) + 1;
  std::vector<RECT> r;
  auto side = [&](int m, int P, int Len, int Cross, bool horiz) {
    auto add = [&](int a0, int b0, int a1, int b1) {
      r.push_back(horiz ? RECT{a0, b0, a1, b1} : RECT{b0, a0, b1, a1});
    };
    if (m == 0) return;
    if (P <= Len) {
      for (int b = 0; b < Cross + u; b += 2 * u) {
        if (m == 1 || m == 5 || m == 3) add(Len - P, b, Len, b + u);
        if (m == 2 || m == 4) add(0, b, P, b + u);
        if (m == 3) add(0, b + u, P, b + 2 * u);
      }
    } else {
      for (int b = u; b < Cross + u; b += 2 * u) {
        add(0, b - u, Len, b);
        if (m == 1 || m == 4) add(2 * Len - P, b, Len, b + u);
        if (m == 2 || m == 5) add(0, b, P - Len, b + u);
      }
    }
  };
  side(hm, X, W, H, true);
  side(vm, Y, H, W, false);
  return r;
}

TEST(TransitionRegions, BarsInEveryModeAndPhase) {
  const int W = 130, H = 90;
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (int mode = 1; mode <= 5; ++mode)
      for (int pct : {0, 20, 50, 80, 100}) {
        const int X = mode == 3 ? W * pct / 100 : 2 * W * pct / 100;
        const int Y = mode == 3 ? H * pct / 100 : 2 * H * pct / 100;
        R h(BarsRegion(X, 0, W, H, mode, 0)), hw(FromRects(BarsModel(X, 0, W, H, mode, 0, alt)));
        EXPECT_TRUE(Same(h.h, hw.h)) << "horizontal mode " << mode << " at " << pct << (alt ? " alt" : "");
        R v(BarsRegion(0, Y, W, H, 0, mode)), vw(FromRects(BarsModel(0, Y, W, H, 0, mode, alt)));
        EXPECT_TRUE(Same(v.h, vw.h)) << "vertical mode " << mode << " at " << pct << (alt ? " alt" : "");
        R b(BarsRegion(X, Y, W, H, mode, 6 - mode)), bw(FromRects(BarsModel(X, Y, W, H, mode, 6 - mode, alt)));
        EXPECT_TRUE(Same(b.h, bw.h));
      }
  }
  R full(BarsRegion(2 * W, 0, W, H, 1, 0)), frame(CreateRectRgn(0, 0, W, H));
  R clipped(CreateRectRgn(0, 0, 0, 0));
  CombineRgn(clipped.h, full.h, frame.h, RGN_AND);
  EXPECT_TRUE(Same(clipped.h, frame.h)) << "mode 1 at X = 2W covers the frame";
}

TEST(TransitionRegions, ShredsAndSpecklesDrawFromTheGenerator) {
  const int W = 420, H = 230;
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (int hm = 0; hm <= 4; ++hm)
      for (int vm : {0, 1, 2, 3, 4}) {
        if (hm == 0 && vm == 0) continue;
        for (int pct : {10, 60, 100}) {
          const int X = W * pct / 100, Y = H * pct / 100;
          // The model, drawing the same numbers in the same order.
          RandSeed = 9;
          const int t = std::min(W, H) / 200 * (alt ? 2 : 1) + 1;
          std::vector<RECT> rects;
          int draws = 0;
          if (hm) {
            const int f = X < W ? W / 10 : 0;
            for (int top = 0; top < H; top += t, ++draws) {
              const int L = Random(2 * f) + X - f, B = top + t + H % t, L2 = L / 2;
              if (hm == 1) rects.push_back({W - L, top, W, B});
              if (hm == 2) rects.push_back({0, top, L, B});
              if (hm == 3) rects.insert(rects.end(), {{W / 2 - L2, top, W / 2, B}, {W / 2, top, W / 2 + L2, B}});
              if (hm == 4) rects.insert(rects.end(), {{W - L2, top, W, B}, {0, top, L2, B}});
            }
          }
          if (vm) {
            const int f = Y < H ? H / 10 : 0;
            for (int left = 0; left < W; left += t, ++draws) {
              const int L = Y + Random(2 * f) - f, Rt = left + t + W % t, L2 = L / 2;
              if (vm == 1) rects.push_back({left, H - L, Rt, H});
              if (vm == 2) rects.push_back({left, 0, Rt, L});
              if (vm == 3) rects.insert(rects.end(), {{left, H / 2 - L2, Rt, H / 2}, {left, H / 2, Rt, H / 2 + L2}});
              if (vm == 4) rects.insert(rects.end(), {{left, H - L2, Rt, H}, {left, 0, Rt, L2}});
            }
          }
          const uint32_t after = RandSeed;
          RandSeed = 9;
          R got(ShredRegion(X, Y, W, H, hm, vm)), want(FromRects(rects));
          EXPECT_TRUE(Same(got.h, want.h)) << hm << "," << vm << " at " << pct;
          EXPECT_EQ(RandSeed, after) << draws << " draws";
        }
      }
  }
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (int mode : {1, 2}) {
      for (bool horizontal : {true, false})
        for (int pct : {0, 30, 90, 100}) {
          const int X = W * pct / 100, Y = H * pct / 100;
          RandSeed = 5;
          std::vector<RECT> rects;
          const int P = horizontal ? X : Y, Len = horizontal ? W : H, Cross = horizontal ? H : W;
          const int Z = P < Len ? Len / 10 : 0;
          const int d = std::max(2, alt ? Z / 40 : Z / 20), n = Z / d, e = 3 * Z / (4 * d);
          auto add = [&](int a0, int b0, int a1, int b1) {
            rects.push_back(horizontal ? RECT{a0, b0, a1, b1} : RECT{b0, a0, b1, a1});
          };
          for (int b = 0; b < Cross; b += d / 2) {
            if (mode == 1) {
              add(Len - P, b, Len, b + d);
              for (int k = n; k >= 1; --k)
                if (Random(k) <= (k <= e ? 1 : 0)) add(Len - P - d * k, b, Len - P - d * k + d, b + d);
            } else {
              add(0, b, P, b + d);
              for (int k = n; k >= 1; --k)
                if (Random(k) <= (k <= e ? 1 : 0)) add(P + d * k - d, b, P + d * k, b + d);
            }
          }
          const uint32_t after = RandSeed;
          RandSeed = 5;
          R got(horizontal ? SpeckleRegion(X, 0, W, H, mode, 0) : SpeckleRegion(0, Y, W, H, 0, mode));
          R want(FromRects(rects));
          EXPECT_TRUE(Same(got.h, want.h)) << mode << (horizontal ? " h " : " v ") << pct;
          EXPECT_EQ(RandSeed, after);
        }
    }
  }
}

class WordSettings : public ::testing::Test {
 protected:
  void SetUp() override { saved = *VXGetGlobalSettings()->WordTransitionParams(); }
  void TearDown() override { *VXGetGlobalSettings()->WordTransitionParams() = saved; }
  void SetWord(const std::string& w) { VXGetGlobalSettings()->WordTransitionParams()->Word = w; }
  TVXWordTransitionParams saved;
};

TEST_F(WordSettings, QuotedWordsAreWholeAndLettersFollowProgress) {
  const TRect box{10, 10, 310, 130};
  SetWord("ABC");
  R whole(WordRegion(box, 0, 0, 60, true, true));
  ASSERT_NE(whole.h, nullptr);
  SetWord("\"ABC\"");
  for (int progress : {0, 30, 100}) {
    R quoted(WordRegion(box, progress, 0, 60, false, true));
    EXPECT_TRUE(Same(quoted.h, whole.h)) << progress;
  }
  // Letter by letter: 0..19 the first, 20..39 the second, then the third.
  std::vector<std::unique_ptr<R>> letters;
  for (const char* l : {"A", "B", "C"}) {
    SetWord(l);
    letters.push_back(std::make_unique<R>(WordRegion(box, 0, 0, 60, false, true)));
  }
  EXPECT_FALSE(Same(letters[0]->h, letters[1]->h));
  SetWord("ABC");
  const struct {
    int progress, letter;
  } cases[] = {{0, 0}, {19, 0}, {20, 1}, {39, 1}, {40, 2}, {59, 2}, {60, 2}, {100, 2}, {-5, 0}};
  for (auto& c : cases) {
    R got(WordRegion(box, c.progress, 0, 60, false, true));
    EXPECT_TRUE(Same(got.h, letters[size_t(c.letter)]->h)) << c.progress;
  }
  // The word lies inside the rectangle and is centred in it.
  RECT b;
  GetRgnBox(whole.h, &b);
  EXPECT_GE(b.left, 10);
  EXPECT_LE(b.right, 310);
  EXPECT_GE(b.top, 10);
  EXPECT_LE(b.bottom, 130);
  EXPECT_NEAR((b.left + b.right) / 2, 160, 30);
}

TEST_F(WordSettings, EmptySettingsAreWrittenBack) {
  TVXWordTransitionParams* p = VXGetGlobalSettings()->WordTransitionParams();
  p->Word.clear();
  p->FontName.clear();
  p->Quality = 3;
  R r(WordRegion(TRect{0, 0, 100, 100}, 50, 0, 100, true, true));
  EXPECT_NE(r.h, nullptr);
  EXPECT_EQ(p->Word, "A");
  EXPECT_EQ(p->FontName, "Arial");
  EXPECT_EQ(p->Quality, 200);
  // A pair of quotes alone becomes "X".
  p->Word = "\"\"";
  R x(WordRegion(TRect{0, 0, 100, 100}, 50, 0, 100, false, true));
  p->Word = "X";
  R x2(WordRegion(TRect{0, 0, 100, 100}, 50, 0, 100, false, true));
  EXPECT_TRUE(Same(x.h, x2.h));
  // No height: no region.
  EXPECT_EQ(WordRegion(TRect{0, 0, 100, 0}, 50, 0, 100, true, true), nullptr);
}

TEST(TransitionRegions, BitmapRunsBecomeScaledRectangles) {
  TBitmap b(4, 2, pf24bit);
  b.Canvas()->Brush()->SetColor(0xFFFFFF);
  b.Canvas()->FillRect(TRect{0, 0, 4, 2});
  b.Canvas()->SetPixels(1, 0, 0);
  b.Canvas()->SetPixels(2, 0, 0);
  b.Canvas()->SetPixels(3, 1, 0);
  // Scaled by 2.5 across and 3 down, placed at (10, 20).
  R got(BitmapToRegion(&b, 10, 20, 10, 6, 0xFFFFFF));
  R want(FromRects({{10 + 2, 20, 10 + 7, 23}, {10 + 7, 23, 10 + 10, 26}}));
  EXPECT_TRUE(Same(got.h, want.h));
  TBitmap blank(3, 3, pf24bit);
  blank.Canvas()->Brush()->SetColor(0xFFFFFF);
  blank.Canvas()->FillRect(TRect{0, 0, 3, 3});
  EXPECT_EQ(BitmapToRegion(&blank, 0, 0, 3, 3, 0xFFFFFF), nullptr);
}

}  // namespace
