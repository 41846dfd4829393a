// The region-clipped effects made on demand through the engine: each frame
// is the previous one with the target copied through that percentage's
// region.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

#include "core/random.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "platform/win_clock.h"
#include "view/transition_catalogue.h"
#include "view/transition_region_effects.h"
#include "view/transition_regions.h"
#include "view/transitions.h"
#include "winui/gdi.h"
#include "winui/headless.h"

#include "transition_pics.h"

namespace {

using namespace vxtest;

// Never 0 or 255, so that black and white frames tell the pictures apart.
Pic MidNoise(int W, int H, uint32_t seed) { return Noise(W, H, seed, 64, 2); }



// An engine prepared with two pictures; frames on demand.
struct OnDemand {
  Pic src, tgt;
  std::unique_ptr<TBitmap> sb, tb;
  TVXTransitionEffects e;
  OnDemand(TVXTransitionType t, const Pic& s, const Pic& g) : src(s), tgt(g), sb(ToBitmap(s)), tb(ToBitmap(g)) {
    e.SetTransition(t);
    e.PrepareBitmap(sb.get(), tb.get());
  }
  Pic Frame(float pct) {
    TBitmap out;
    e.CreateBitmap(pct, &out);
    return FromBitmap(&out);
  }
};

// Region of the frame at p for a frame of W x H.
using RegionAt = std::function<HRGN(int W, int H, int w, int h, int p)>;

TEST(TransitionRegionEffects, RectangleBuiltEffectsRevealTheTargetThroughTheirRegion) {
  const int W = 64, H = 48;
  const struct {
    TVXTransitionType type;
    RegionAt region;
    bool seeded;
  } cases[] = {
      {vxttBarsInFromLeft, [](int W, int H, int w, int, int) { return BarsRegion(2 * w, 0, W, H, 2, 0); }, false},
      {vxttBarsRightThenLeft, [](int W, int H, int w, int, int) { return BarsRegion(2 * w, 0, W, H, 5, 0); }, false},
      {vxttBarsFromTopAndBottom, [](int W, int H, int, int h, int) { return BarsRegion(0, h, W, H, 0, 3); }, false},
      {vxttCrisscrossWipeFromTopRight,
       [](int W, int H, int w, int h, int) { return BarsRegion(2 * w, 2 * h, W, H, 1, 2); }, false},
      {vxttCrisscrossWipeFromLeftTopAndBottom,
       [](int W, int H, int w, int h, int) { return BarsRegion(w, h, W, H, 2, 3); }, false},
      {vxttShreddedFromLeft, [](int W, int H, int w, int, int) { return ShredRegion(w, 0, W, H, 2, 0); }, true},
      {vxttShreddedToCenter, [](int W, int H, int w, int h, int) { return ShredRegion(w, h, W, H, 4, 4); }, true},
      {vxttSpeckledWipeFromBottom, [](int W, int H, int w, int h, int) { return SpeckleRegion(w, h, W, H, 0, 1); },
       true},
      {vxttHorizontalBlinds,
       [](int W, int H, int, int, int p) {
         TComplexRegion cr;
         const int n = H / 40 + 1, a = MulDiv(n, p, 100);
         for (int y = n; y - n < H; y += 2 * n) cr.AddRect(0, y - a, W, y + a);
         return cr.CreateRegion();
       },
       false},
      {vxttUnevenBlindsFromRight,
       [](int W, int H, int w, int, int p) -> HRGN {
         if (w == 0) return nullptr;
         TComplexRegion cr;
         const int a = MulDiv(w, p, 100);
         for (int x = W; x > 0; x -= w) cr.AddRect(x - a, 0, x, H);
         return cr.CreateRegion();
       },
       false},
      {vxttExpandingRectangles,
       [](int W, int H, int, int, int p) {
         TComplexRegion cr;
         const int n = std::min(W, H) / 10 + 1, a = MulDiv(n, p, 100);
         for (int x = n; x - n < W; x += 2 * n)
           for (int y = n; y - n < H; y += 2 * n) cr.AddRect(x - a, y - a, x + a, y + a);
         return cr.CreateRegion();
       },
       false},
  };
  // The sweeps in their one-phase look: sectors of q points.
  const double pi = std::numbers::pi;
  auto radius = [](int W, int H) { return int(std::ceil(std::hypot(W / 2, H / 2))); };
  const struct {
    TVXTransitionType type;
    RegionAt region;
  } sweeps[] = {
      {vxttSweepCounterClockwise,
       [&](int W, int H, int, int, int p) {
         return SectorRegion(W / 2, H / 2, radius(W, H), -pi / 2, -pi * p / 50 - pi / 2, p, true);
       }},
      {vxttExpandingSweepClockwise,
       [&](int W, int H, int, int, int p) {
         HRGN a = SectorRegion(W / 2, H / 2, radius(W, H), -pi / 2, pi * p / 100 - pi / 2, p / 2, true);
         HRGN b = SectorRegion(W / 2, H / 2, radius(W, H), -pi / 2, -pi * p / 100 - pi / 2, p / 2, true);
         CombineRgn(a, a, b, RGN_OR);
         DeleteObject(b);
         return a;
       }},
  };
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    std::vector<std::pair<TVXTransitionType, RegionAt>> all;
    for (const auto& c : cases) all.emplace_back(c.type, c.region);
    if (!alt)
      for (const auto& c : sweeps) all.emplace_back(c.type, c.region);
    for (const auto& [type, region] : all) {
      const bool seeded = type >= vxttShreddedFromLeft && type <= vxttSpeckledWipeFromBottom;
      const struct {
        TVXTransitionType type;
        const RegionAt& region;
        bool seeded;
      } c{type, region, seeded};
      OnDemand d(c.type, MidNoise(W, H, 1), MidNoise(W, H, 2));
      Pic model = d.src;
      for (float pct : {0.f, 5.f, 20.f, 35.f, 50.f, 64.f, 80.f, 96.f, 100.f}) {
        const int step = int(std::nearbyint(pct * 1024 / 100)), p = VXTransitionPercent(step);
        if (c.seeded) RandSeed = 1234;
        const Pic f = d.Frame(pct);
        if (step >= 1) {
          int FW, FH, w, h;
          CalcProgressSize(TRect{0, 0, W, H}, p, FW, FH, w, h);
          if (c.seeded) RandSeed = 1234;
          HRGN r = c.region(W, H, w, h, p);
          for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
              if (r && PtInRegion(r, x, y)) std::memcpy(model.at(x, y), d.tgt.at(x, y), 3);
          if (r) DeleteObject(r);
        }
        ASSERT_TRUE(f == model) << "type " << c.type << " at " << pct << (alt ? " alt" : "");
      }
    }
  }
}

// Rows of a frame from the target (white) against the source (black): the
// revealed length of each band.
TEST(TransitionRegionEffects, BarsFromTheSidesGrowOneAfterAnother) {
  // Every bar's band starts inside the frame (11 x 13 < 144).
  const int W = 144, H = 144;
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    const int K = alt ? 6 : 12, q = 100 / K;
    for (TVXTransitionType t : {vxttRectanglesFromTheLeft, vxttRectanglesFromTheRight, vxttRectanglesFromTheTop,
                                vxttRectanglesFromTheBottom}) {
      const bool horizontal = t == vxttRectanglesFromTheLeft || t == vxttRectanglesFromTheRight;
      const int L = horizontal ? W : H, th = horizontal ? H / K + 1 : W / K + 1;
      OnDemand d(t, Solid(W, H, 0), Solid(W, H, 255));
      for (int p = 1; p <= 100; ++p) {
        const Pic f = d.Frame(float(p));
        std::vector<int> lengths, want;
        for (int slot = 0; slot < K; ++slot) {
          const int a = slot * th;
          int len = 0;
          for (int k = 0; k < L; ++k) {
            const int x = horizontal ? k : a, y = horizontal ? a : k;
            len += f.at(x, y)[0] == 255;
          }
          lengths.push_back(len);
          want.push_back(q * (slot + 1) < p ? L : q * slot < p ? std::min(L, MulDiv(L, p - q * slot, q)) : 0);
        }
        std::sort(lengths.begin(), lengths.end());
        std::sort(want.begin(), want.end());
        ASSERT_EQ(lengths, want) << t << " at " << p << (alt ? " alt" : "");
      }
    }
  }
  // The sixth of twelve bars is complete at 48 %, the last at 96 %.
  OnDemand d(vxttRectanglesFromTheLeft, Solid(W, H, 0), Solid(W, H, 255));
  Pic f = d.Frame(48);
  int full = 0;
  for (int slot = 0; slot < 12; ++slot) full += f.at(W - 1, slot * (H / 12 + 1))[0] == 255;
  EXPECT_EQ(full, 6);
  f = d.Frame(96);
  EXPECT_TRUE(f == Solid(W, H, 255));
}

TEST(TransitionRegionEffects, CoverageAtTheEnds) {
  const int W = 50, H = 40;
  const Pic src = MidNoise(W, H, 3), tgt = MidNoise(W, H, 4);
  // At 100 % these regions cover the frame.
  std::vector<int> complete;
  for (int t = vxttBarsInFromLeft; t <= vxttBarsFromTopAndBottom; ++t) complete.push_back(t);
  for (int t = vxttCrisscrossWipeFromTopLeft; t <= vxttCrisscrossWipeFromBottomLeftTopRight; ++t)
    complete.push_back(t);
  for (int t = vxttHorizontalBlinds; t <= vxttRectanglesFromTheBottom; ++t) complete.push_back(t);
  complete.push_back(vxttRandomBigBoxes);
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (int t : complete) {
      OnDemand d(TVXTransitionType(t), src, tgt);
      EXPECT_TRUE(d.Frame(100) == tgt) << t << (alt ? " alt" : "");
    }
    // At 0 % (step 3) the expanding shapes draw nothing.
    for (int t : {113, 114, 115, 116, 196, 197, 198, 199, 200, 243}) {
      OnDemand d(TVXTransitionType(t), src, tgt);
      EXPECT_TRUE(d.Frame(0.3f) == src) << t << (alt ? " alt" : "");
    }
  }
}

TEST(TransitionRegionEffects, GeometryOfSomeFamilies) {
  // Horizontal blinds on a 50 x 100 frame at 50 %: pitch 3, half width 2:
  // rows y - 2 .. y + 1 around y = 3, 9, 15, ...
  {
    OnDemand d(vxttHorizontalBlinds, Solid(50, 100, 0), Solid(50, 100, 255));
    const Pic f = d.Frame(50);
    for (int y = 0; y < 100; ++y) {
      const int k = (y + 3) % 6;  // 0 for y = 3, 9, ...
      const bool shown = y >= 1 && (k <= 1 || k >= 4);
      EXPECT_EQ(f.at(7, y)[0] == 255, shown) << y;
    }
  }
  // The diagonal wipe from the top left at 50 % of 40 x 30: (0, 0), (40, 0),
  // (0, 30).
  {
    OnDemand d(vxttWipeDiagonalFromTopLeft, Solid(40, 30, 0), Solid(40, 30, 255));
    const Pic f = d.Frame(50);
    EXPECT_EQ(f.at(1, 1)[0], 255);
    EXPECT_EQ(f.at(19, 14)[0], 255);
    EXPECT_EQ(f.at(21, 16)[0], 0);
    EXPECT_EQ(f.at(38, 28)[0], 0);
  }
  // The zigzag band of a 100 x 80 frame at 50 %: step 10, amplitude 8,
  // B = 4 + 20.
  {
    const std::vector<POINT> pts = ZigzagBandPoints(100, 80, 50, 40, 50, true, false);
    ASSERT_EQ(pts.size(), 24u);
    const int upper[] = {24, 8}, lower[] = {72, 56};
    for (int k = 0; k < 12; ++k) {
      EXPECT_EQ(pts[size_t(k)].x, 10 * k);
      EXPECT_EQ(pts[size_t(k)].y, upper[k % 2]);
      EXPECT_EQ(pts[size_t(23 - k)].x, 10 * k);
      EXPECT_EQ(pts[size_t(23 - k)].y, lower[k % 2]);
    }
    const std::vector<POINT> v = ZigzagBandPoints(100, 80, 50, 40, 50, false, true);  // doubled
    EXPECT_EQ(v[1].y, 16);
    EXPECT_EQ(v[1].x, 50 - 20 - (MulDiv(20, 50, 100) + 25));
  }
  // The rotating rectangle at 25 % is turned a quarter: the 14 x 10
  // rectangle (23, 15) - (37, 25) becomes (25, 13) - (35, 27).
  {
    OnDemand d(vxttRotationalRectangle, Solid(60, 40, 0), Solid(60, 40, 255));
    const Pic f = d.Frame(25);
    EXPECT_EQ(f.at(26, 14)[0], 255);
    EXPECT_EQ(f.at(34, 26)[0], 255);
    EXPECT_EQ(f.at(24, 20)[0], 0);
    EXPECT_EQ(f.at(36, 20)[0], 0);
  }
  // The inward star wipe is the frame without a shrinking star.
  {
    const int W = 80, H = 60;
    OnDemand d(vxttStar5WipeIn, Solid(W, H, 0), Solid(W, H, 255));
    const Pic f = d.Frame(50);
    int FW, FH, w, h;
    CalcProgressSize(TRect{0, 0, W, H}, 50, FW, FH, w, h);
    const int cx = W / 2, cy = H / 2;
    const int g = int(std::nearbyint(1.6 * (W - w))) / 2, e = int(std::nearbyint(1.6 * (H - h))) / 2;
    HRGN star = ShapeRegionInRect(0, TRect{w - cx - g, h - cy - e, 3 * cx - w + g, 3 * cy - h + e});
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) ASSERT_EQ(f.at(x, y)[0] == 255, !PtInRegion(star, x, y)) << x << "," << y;
    DeleteObject(star);
  }
}

// Knobs and holes of neighbouring pieces meet: with every cell chosen the
// pieces tile the frame, except where the last column or row of pieces has a
// hole that no piece beyond it fills.
TEST(TransitionRegionEffects, PuzzlePiecesFitTogether) {
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (int size : {48, 90, 161}) {
      const int W = size, H = size * 3 / 4;
      const int c = alt ? std::min(W, H) / 16 + 1 : std::min(W, H) / 8 + 1;
      OnDemand d(vxttRandomPuzzlePieces, Solid(W, H, 0), Solid(W, H, 255));
      const Pic f = d.Frame(100);
      for (int y = 0; y < H - 2 * c; ++y)
        for (int x = 0; x < W - 2 * c; ++x) ASSERT_EQ(f.at(x, y)[0], 255) << x << "," << y << " of " << size;
    }
  }
  // Knobs stick out where the neighbour has holes, by parity.
  const int x = 50, y = 40, c = 13, d = 4, o = 1;
  HRGN same = PuzzlePieceRegion(x, y, c, d, o, true), other = PuzzlePieceRegion(x, y, c, d, o, false);
  const struct {
    int px, py;
    bool inSame, inOther;
  } points[] = {
      {x, y, true, true},                   // the middle
      {x, y - c - 1, true, false},          // above the top side: a knob, or nothing
      {x, y - c + 1, true, false},          // inside the top side: solid, or a hole
      {x - c - 1, y, false, true},          // left of the left side
      {x - c + 1, y, false, true},          // inside the left side
      {x + c - 1, y, false, true},          // inside the right side
      {x, y + c + 1, true, false},          // below the bottom side
      {x - c + 1, y - c + 1, true, true},   // a corner
  };
  for (const auto& pt : points) {
    EXPECT_EQ(PtInRegion(same, pt.px, pt.py) != 0, pt.inSame) << pt.px << "," << pt.py;
    EXPECT_EQ(PtInRegion(other, pt.px, pt.py) != 0, pt.inOther) << pt.px << "," << pt.py;
  }
  DeleteObject(same);
  DeleteObject(other);
}

TEST(TransitionRegionEffects, SeededCellsRepeatAndStay) {
  const int W = 90, H = 70;
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (TVXTransitionType t : {vxttRandomBigBoxes, vxttRandomHearts, vxttRandomStar5s, vxttRandomPuzzlePieces,
                                vxttRandomExplosions, vxttRandomWord}) {
      OnDemand d(t, Solid(W, H, 0), Solid(W, H, 255));
      RandSeed = 42;
      const Pic a = d.Frame(30);
      EXPECT_EQ(RandSeed, 42u) << "the seed is restored";
      const Pic b = d.Frame(30);
      EXPECT_TRUE(a == b) << t;
      Pic prev = a;
      for (float pct : {45.f, 60.f, 75.f}) {
        const Pic f = d.Frame(pct);
        EXPECT_EQ(RandSeed, 42u);
        // Explosions change shape with the percentage's parity; the others
        // only add cells.
        if (t != vxttRandomExplosions && t != vxttRandomPuzzlePieces) {
          for (size_t i = 0; i < f.px.size(); ++i) {
            ASSERT_TRUE(prev.px[i] == 0 || f.px[i] == 255) << t << " " << pct;
          }
        }
        prev = f;
      }
    }
  }
}

TEST(TransitionRegionEffects, MouthPhaseFollowsTheClock) {
  VXHeadless::SetClock(500000);
  OnDemand d(vxttPacman2SimRow, Solid(40, 30, 0), Solid(40, 30, 255));
  TVXTransitionSharedState& s = VXTransitionState();
  d.Frame(1);
  EXPECT_EQ(s.MouthPhase, 0);
  // Many frames within 100 ms: no change; then one change per 100 ms.
  for (int i = 0; i < 20; ++i) {
    VXHeadless::SetClock(500000 + uint64_t(i) * 5);
    d.Frame(float(2 + i));
    ASSERT_EQ(s.MouthPhase, 0);
  }
  VXHeadless::SetClock(500101);
  d.Frame(30);
  EXPECT_EQ(s.MouthPhase, 1);
  VXHeadless::SetClock(500150);
  d.Frame(31);
  EXPECT_EQ(s.MouthPhase, 1);
  VXHeadless::SetClock(500202);
  d.Frame(32);
  EXPECT_EQ(s.MouthPhase, 2);
  // A new start restarts the phase.
  d.e.PrepareBitmap(d.sb.get(), d.tb.get());
  VXHeadless::SetClock(501000);
  d.Frame(40);
  EXPECT_EQ(s.MouthPhase, 0);
  // The last row is complete at 100 %.
  OnDemand rows(vxttPacman3Row, Solid(40, 30, 0), Solid(40, 30, 255));
  EXPECT_TRUE(rows.Frame(100) == Solid(40, 30, 255));
  VXHeadless::Reset();
}

TEST(TransitionRegionEffects, TypesTheEngineDrawsAreUnknownHere) {
  TBitmap canvas(8, 8), a(8, 8), b(8, 8);
  for (int t : {0, 1, 30, 186, 189, 215, 222, 237, 240, 250}) {
    try {
      DrawTransitionFrame(TVXTransitionType(t), canvas.Canvas(), &a, &b, TRect{0, 0, 8, 8}, 512);
      ADD_FAILURE() << t << " was drawn";
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), "Unknown Transition!");
    }
  }
}

}  // namespace
