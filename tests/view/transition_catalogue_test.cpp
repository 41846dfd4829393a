// The transition catalogue and the routines the frame routines share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/vxdefs.h"
#include "gui/graphics.h"
#include "view/transition_catalogue.h"
#include "winui/gdi.h"

namespace {

// clang-format off
const char* const kNames[249] = {
    "Cross Fade", "Fade Out", "Fade In", "Fade Out then In", "Wipe Left to Right", "Wipe Left to Right 2",
    "Wipe Right to Left", "Wipe Right to Left 2", "Wipe Top to Bottom", "Wipe Top to Bottom 2", "Wipe Bottom to Top",
    "Wipe Bottom to Top 2", "Slide from Top Left", "Slide from Top Right", "Slide from Bottom Left",
    "Slide from Bottom Right", "Push Left to Right", "Slide Out Left to Right", "Push Right to Left",
    "Slide Out Right to Left", "Push Top to Bottom", "Slide Out Top to Bottom", "Push Bottom to Top",
    "Slide Out Bottom to Top", "Random Points", "Random Boxes", "Wipe Out from Center", "Wipe In to Center",
    "Expand Out from Center", "Expand In to Center", "Expand from Left", "Expand from Right", "Expand from Top",
    "Expand from Bottom", "Expand from Top Left", "Expand from Top Right", "Expand from Bottom Left",
    "Expand from Bottom Right", "Expand in from Left", "Expand in from Right", "Expand in from Top",
    "Expand in from Bottom", "Expand in to Vertical Center", "Expand in to Horizon", "Expand in from Sides",
    "Expand in from Top and Bottom", "Expand out from Horizon", "Expand out from Vertical Center",
    "Wipe from Top Left", "Wipe from Top Right", "Wipe from Bottom Left", "Wipe from Bottom Right",
    "Wipe in from Top and Bottom", "Wipe from Horizon", "Wipe in from Sides", "Wipe out from Vertical Center",
    "Build up from Left", "Build up from Right", "Build up from Top", "Build up from Bottom", "Unroll from Left",
    "Unroll from Right", "Unroll from Top", "Unroll from Bottom", "Slide in from Left", "Slide in from Right",
    "Slide in from Top", "Slide in from Bottom", "Shrink to Top Left", "Shrink to Top Right", "Shrink to Bottom Left",
    "Shrink to Bottom Right", "Shrink to Center", "Quarters Wipe in to Center", "Quarters Expand to Center",
    "Quarters Slide in to Center", "Curved Wipe from Left", "Curved Wipe from Right", "Curved Wipe from Top",
    "Curved Wipe from Bottom", "Curved Wipe from Top Left", "Curved Wipe from Top Right",
    "Curved Wipe from Bottom Left", "Curved Wipe from Bottom Right", "Bars in from Left", "Bars in from Right",
    "Bars from Top", "Bars from Bottom", "Bars Left then Right", "Bars Right then Left", "Bars Top then Bottom",
    "Bars Bottom then Top", "Bars from both Sides", "Bars from Top and Bottom", "Shredded from Left",
    "Shredded from Right", "Shredded from Top", "Shredded from Bottom", "Shredded from Top and Left",
    "Shredded from Top and Right", "Shredded from Bottom and Left", "Shredded from Bottom and Right",
    "Shredded from Horizon and Left", "Shredded from Horizon and Right", "Shredded from Top and Vertical Center",
    "Shredded from Bottom and Vertical Center", "Shredded from Center", "Shredded to Center",
    "Shredded in to Horizon", "Shredded in to Vertical Center", "Shredded out from Horizon",
    "Shredded out from Vertical Center", "Expanding Rectangles", "Expanding Triangles", "Expanding Circles",
    "Expanding Diamonds", "Circular Wipe from Center", "Circular Wipe to Center", "Crisscross Wipe from Top Left",
    "Crisscross Wipe from Top Right", "Crisscross Wipe from Bottom Left", "Crisscross Wipe from Bottom Right",
    "Crisscross Wipe Bounce from Top Left", "Crisscross Wipe Bounce from Top Right",
    "Crisscross Wipe Bounce from Bottom Left", "Crisscross Wipe Bounce from Bottom Right",
    "Crisscross Wipe from Left Right and Top", "Crisscross Wipe from Left Right and Bottom",
    "Crisscross Wipe from Left Top and Bottom", "Crisscross Wipe from Top Left Right and Bottom",
    "Crisscross Wipe from Right Top and Bottom", "Crisscross Wipe from Bottom Left Top Right",
    "Wipe diagonal from Top Left", "Wipe diagonal from Top Right", "Wipe diagonal from Bottom Left",
    "Wipe diagonal from Bottom Right", "Diagonal Sweep Clockwise", "Diagonal Sweep Counter-Clockwise",
    "Half Sweep Clockwise", "Half Sweep Counter-Clockwise", "Starburst Clockwise", "Starburst Counter-Clockwise",
    "Rotational Rectangle Clockwise", "Rotational Rectangle Counter-Clockwise", "Rotational Star Clockwise",
    "Rotational Star Counter-Clockwise", "Speckled Wipe from Left", "Speckled Wipe from Right",
    "Speckled Wipe from Top", "Speckled Wipe from Bottom", "Push Left and Slide out", "Push Right and Slide out",
    "Push up and Slide out", "Push down and Slide out", "Push and Squeeze Left", "Push and Squeeze Right",
    "Push and Squeeze up", "Push and Squeeze down", "Horizontal Blinds", "Vertical Blinds", "Uneven Blinds from Left",
    "Uneven Blinds from Right", "Uneven Blinds from Top", "Uneven Blinds from Bottom", "Wide Bars from the Left",
    "Wide Bars from the Right", "Wide Bars from the Top", "Wide Bars from the Bottom",
    "Spiralling Rectangle Clockwise", "Spiralling Rectangle Counter-Clockwise", "Arrow Wipe from Left",
    "Arrow Wipe from Right", "Arrow Wipe from Top", "Arrow Wipe from Bottom", "Horizontal Bow Tie Wipe",
    "Vertical Bow Tie Wipe", "Diagonal Cross from Center", "Diagonal Cross to Center", "Zigzag Wipe from Horizon",
    "Zigzag Wipe from Vertical Center", "Diamond Wipe from Center", "Diamond Wipe to Center",
    "Diamond Wipe In and Out", "Rotational Triangular Wipe", "Random Big Boxes", "Page Flip", "3D Page Flip",
    "Reverse Page Flip", "3D Reverse Page Flip", "Zigzag Wipe To Horizon", "Zigzag Wipe To Vertical Center",
    "Random Hearts", "Random 5 Pointed Stars", "Random 6 Pointed Stars", "Random Explosions", "Expanding Hearts",
    "Expanding 5 Pointed Stars", "Expanding 6 Pointed Stars", "Expanding Explosions", "Expanding Lightning Bolts",
    "Heart Wipe from Center", "Heart Wipe to Center", "5 Pointed Star Wipe from Center",
    "5 Pointed Star Wipe to Center", "6 Pointed Star Wipe from Center", "6 Pointed Star Wipe to Center",
    "Explosion Wipe from Center", "Explosion Wipe to Center", "Cross Wipe from Center", "Cross Wipe to Center",
    "Heart Wipe In and Out", "5 Pointed Star Wipe In and Out", "6 Pointed Star Wipe In and Out",
    "Explosion Wipe In and Out", "Cube Rotate from Left", "Cube Rotate from Right", "Cube Rotate from Top",
    "Cube Rotate from Bottom", "Soft Wipe from Left", "Soft Wipe from Right", "Soft Wipe from Top",
    "Soft Wipe from Bottom", "Twist In", "Twist Out", "Multiple Twist In", "Multiple Twist Out",
    "Random Puzzle Pieces", "Pacman Devours from Left", "Pacman Devours from Right", "Pacman Devours Three Rows",
    "Pacman Devours Four Rows", "Two Simultaneous Rows of Pacman", "Four Simultaneous Rows of Pacman",
    "Six Simultaneous Rows of Pacman", "Full Sweep Clockwise", "Expanding Sweep Clockwise",
    "3D Cube Rotate from Left", "3D Cube Rotate from Right", "3D Cube Rotate from Top", "3D Cube Rotate from Bottom",
    "Random Boxes with Word", "Random Letters of Word", "Expanding Letters of Word", "Word Wipe from Center",
    "Word Wipe to Center", "Word Wipe In and Out", "Half Sweep with Word", "Full Sweep with Word",
    "Expanding Sweep with Word",
};
// clang-format on

struct CategoryRanges {
  TTransitionCategory Category;
  std::vector<std::pair<int, int>> Ranges;
};

const CategoryRanges kCategories[] = {
    {tcGeneral, {{1, 1}, {4, 4}, {186, 189}, {215, 218}, {237, 240}}},
    {tcWipes, {{5, 12}, {27, 28}, {49, 56}, {74, 74}}},
    {tcSpecialWipes, {{61, 64}, {147, 150}, {219, 222}, {228, 234}}},
    {tcCurvedWipes, {{77, 84}}},
    {tcAngledWipes, {{133, 136}, {171, 176}, {179, 180}, {190, 191}, {223, 226}}},
    {tcCenterWipes, {{117, 118}, {177, 178}, {181, 182}, {201, 210}}},
    {tcInAndOuts, {{183, 183}, {211, 214}}},
    {tcShreds, {{95, 112}}},
    {tcBars, {{85, 94}, {119, 132}, {165, 168}}},
    {tcSlides, {{13, 16}, {18, 18}, {20, 20}, {22, 22}, {24, 24}, {65, 68}, {76, 76}}},
    {tcPushes, {{17, 17}, {19, 19}, {21, 21}, {23, 23}, {151, 158}}},
    {tcShrinks, {{69, 73}}},
    {tcExpands, {{29, 48}, {75, 75}}},
    {tcMultiExpanders, {{113, 116}, {196, 200}}},
    {tcRandoms, {{25, 26}, {185, 185}, {192, 195}, {227, 227}}},
    {tcRotates, {{137, 146}, {169, 170}, {184, 184}, {235, 236}}},
    {tcWordEffects, {{241, 249}}},
    {tcOther, {{57, 60}, {159, 164}}},
    {tcUnattractive, {{2, 3}}},
};

const std::pair<int, int> kNoOverlay[] = {{2, 4},     {13, 24},   {29, 48},   {57, 60},   {65, 73},  {75, 76},
                                          {143, 144}, {151, 158}, {169, 170}, {186, 189}, {241, 249}};

TEST(TransitionCatalogue, NamesCategoriesAndOverlayFlags) {
  std::set<std::string> seen;
  for (int t = 1; t <= 249; ++t) {
    const TEffect* e = VXTransitionEffect(TVXTransitionType(t));
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->Name, kNames[t - 1]) << t;
    EXPECT_TRUE(seen.insert(e->Name).second) << "name used twice: " << e->Name;
    int categories = 0;
    for (const auto& c : kCategories)
      for (auto [a, b] : c.Ranges)
        if (t >= a && t <= b) {
          ++categories;
          EXPECT_EQ(e->Category, c.Category) << t;
        }
    EXPECT_EQ(categories, 1) << t;
    bool overlay = true;
    for (auto [a, b] : kNoOverlay)
      if (t >= a && t <= b) overlay = false;
    EXPECT_EQ(e->Overlay, overlay) << t;
  }
  EXPECT_EQ(VXTransitionEffect(vxttNone), nullptr);
  EXPECT_EQ(VXTransitionEffect(vxttPanZoom), nullptr);
  EXPECT_STREQ(VXPanZoomEffectNames[vxpzPanTopLeftToBottomRight], "Pan from Top Left to Bottom Right");
  EXPECT_STREQ(VXPanZoomEffectNames[12], "Pan from Left to Right/Top to Bottom");
  for (const char* n : VXPanZoomEffectNames) EXPECT_GT(std::strlen(n), 0u);
}

TEST(TransitionCatalogue, ProgressSizesKeepTheAspect) {
  const struct {
    TRect r;
    int pct, W, H, w, h;
  } cases[] = {
      {{0, 0, 400, 300}, 50, 400, 300, 200, 150}, {{0, 0, 300, 400}, 50, 300, 400, 150, 200},
      {{0, 0, 400, 300}, 0, 400, 300, 0, 0},      {{0, 0, 400, 300}, 100, 400, 300, 400, 300},
      {{0, 0, 7, 3}, 50, 7, 3, 4, 2},             // 3.5 and 1.7 round to nearest
      {{0, 0, 0, 0}, 50, 0, 0, 0, -1},            // MulDiv by 0 gives -1
  };
  for (const auto& c : cases) {
    int W, H, w, h;
    CalcProgressSize(c.r, c.pct, W, H, w, h);
    EXPECT_EQ(W, c.W);
    EXPECT_EQ(H, c.H);
    EXPECT_EQ(w, c.w) << c.r.Right << "x" << c.r.Bottom << " " << c.pct;
    EXPECT_EQ(h, c.h) << c.r.Right << "x" << c.r.Bottom << " " << c.pct;
  }
}

TEST(TransitionCatalogue, RandomOrderIsAPermutation) {
  for (int count : {0, 1, 11, 29}) {
    MakeRandomOrder(count);
    std::vector<int> got;
    for (int i = 0; i <= count; ++i) got.push_back(RandomOrderAt(i));
    std::sort(got.begin(), got.end());
    for (int i = 0; i <= count; ++i) ASSERT_EQ(got[i], i) << count;
  }
  try {
    MakeRandomOrder(30);
    FAIL() << "30 entries were accepted";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Too large for random array");
  }
}

TEST(TransitionCatalogue, TypesWithoutARoutineAreUnknown) {
  TBitmap canvas(4, 4), a(4, 4), b(4, 4);
  for (TVXTransitionType t : {vxttNone, vxttCrossDissolve, vxttCenterZoom2, vxttPageFlip2, vxttSoftWipeFromLeft,
                              vxttCubeRotateFromBottom2, vxttPanZoom}) {
    try {
      DrawTransitionFrame(t, canvas.Canvas(), &a, &b, TRect{0, 0, 4, 4}, 512);
      FAIL() << "type " << t << " was drawn";
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), "Unknown Transition!");
    }
  }
}

TEST(TransitionCatalogue, BlitThroughRegionAndAlphaFill) {
  TBitmap frame(8, 6, pf24bit), pic(8, 6, pf24bit);
  frame.Canvas()->Brush()->SetColor(0x000000);
  frame.Canvas()->FillRect(TRect{0, 0, 8, 6});
  pic.Canvas()->Brush()->SetColor(0xFFFFFF);
  pic.Canvas()->FillRect(TRect{0, 0, 8, 6});
  BlitThroughRegion(frame.Canvas(), 8, 6, &pic, nullptr);
  EXPECT_EQ(frame.Canvas()->Pixels(3, 3), 0);
  HRGN rgn = CreateRectRgn(2, 1, 5, 4);
  BlitThroughRegion(frame.Canvas(), 8, 6, &pic, rgn);
  DeleteObject(rgn);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(frame.Canvas()->Pixels(x, y), (x >= 2 && x < 5 && y >= 1 && y < 4) ? 0xFFFFFF : 0) << x << "," << y;
  // The clip is removed afterwards.
  frame.Canvas()->Brush()->SetColor(0xFFFFFF);
  frame.Canvas()->FillRect(TRect{0, 0, 8, 6});
  EXPECT_EQ(frame.Canvas()->Pixels(7, 5), 0xFFFFFF);

  // Half-opaque red over black, only inside the rectangle.
  frame.Canvas()->Brush()->SetColor(0x000000);
  frame.Canvas()->FillRect(TRect{0, 0, 8, 6});
  AlphaFillRect(frame.Canvas()->Handle(), TRect{1, 1, 3, 3}, 0x0000FF, 128);
  const uint8_t* row = static_cast<const uint8_t*>(frame.ScanLine(1));
  EXPECT_EQ(row[3 * 1 + 0], 0);
  EXPECT_NEAR(row[3 * 1 + 2], 128, 1);
  EXPECT_EQ(row[3 * 3 + 2], 0);
  AlphaFillRect(frame.Canvas()->Handle(), TRect{4, 4, 4, 6}, 0x0000FF, 255);  // empty: nothing
  EXPECT_EQ(frame.Canvas()->Pixels(4, 4), 0);
}

}  // namespace
