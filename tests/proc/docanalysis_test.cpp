// Document analysis: the Shen-Castan edge map, skew detection by the Hough
// transform and its refinement, orientation and density profiles. Pages of
// text are drawn by ImageMagick with DejaVu Sans.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "proc/docanalysis.h"
#include "proc/proc.h"

namespace {

std::unique_ptr<TVXBitmap> Rectangle24(int32_t w, int32_t h, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const bool inside = x >= x1 && x < x2 && y >= y1 && y < y2;
      b->SetPixels_vx24RGB(x, y, inside ? TRGB{30, 40, 50} : TRGB{230, 240, 250});
    }
  return b;
}

// ---------------------------------------------------------------------------
// Shen-Castan

TEST(ShenCastan, EdgesRunAlongTheSidesOfARectangle) {
  struct Case {
    int32_t w, h, x1, y1, x2, y2;
  } cases[] = {{60, 50, 15, 12, 45, 38}, {41, 64, 5, 30, 36, 58}, {3000, 40, 100, 10, 2900, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    auto b = Rectangle24(c.w, c.h, c.x1, c.y1, c.x2, c.y2);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    std::vector<int32_t> steps;
    proc->OnProgress = [&](void*, int32_t per) { steps.push_back(per); };
    proc->EdgeDetect_ShenCastan(0.99, 0.9, 7, 0, true);
    ASSERT_EQ(b->PixelFormat(), vx1g);
    ASSERT_EQ(b->Width(), c.w);
    ASSERT_EQ(b->Height(), c.h);
    EXPECT_EQ(steps, (std::vector<int32_t>{16, 33, 50, 66, 83, 100, 100}));
    for (int32_t y = 0; y < c.h; ++y) EXPECT_TRUE(b->Pixels_vx1g(0, y));
    for (int32_t x = 0; x < c.w; ++x) EXPECT_TRUE(b->Pixels_vx1g(x, c.h - 1));
    // Every edge pixel lies within two pixels of a side; each side carries
    // edges along most of its length.
    auto distToSide = [&](int32_t x, int32_t y) {
      const int32_t dx = std::min(std::abs(x - c.x1), std::abs(x - (c.x2 - 1)));
      const int32_t dy = std::min(std::abs(y - c.y1), std::abs(y - (c.y2 - 1)));
      const bool nearV = y >= c.y1 - 2 && y <= c.y2 + 1, nearH = x >= c.x1 - 2 && x <= c.x2 + 1;
      return std::min(nearV ? dx : 1000, nearH ? dy : 1000);
    };
    int32_t top = 0, left = 0;
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        if (b->Pixels_vx1g(x, y)) continue;
        ASSERT_LE(distToSide(x, y), 2) << x << "," << y;
        top += std::abs(y - c.y1) <= 2;
        left += std::abs(x - c.x1) <= 2;
      }
    EXPECT_GT(top, (c.x2 - c.x1) * 3 / 4);
    EXPECT_GT(left, (c.y2 - c.y1) * 3 / 4);
  }
}

TEST(ShenCastan, SmallImagesGiveAMapOfTheirSize) {
  for (auto [w, h] : {std::pair{1, 1}, {5, 40}, {40, 5}, {26, 26}, {2, 27}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    auto b = Rectangle24(w, h, w / 3, h / 3, w - w / 3, h - h / 3);
    TVXBitmap target;
    TProgressRec progress;
    VXShenCastan(b.get(), &target, 7, progress, true, 2, 0.9, 0.99);
    ASSERT_EQ(target.PixelFormat(), vx1g);
    EXPECT_EQ(target.Width(), w);
    EXPECT_EQ(target.Height(), h);
    for (int32_t x = 0; x < w; ++x) EXPECT_TRUE(target.Pixels_vx1g(x, h - 1));
    // A window far larger than the frame reads nothing outside either.
    VXShenCastan(b.get(), &target, 301, progress, false, 0, 0.5, 0.5);
    EXPECT_EQ(target.Width(), w);
  }
  // Other formats are refused, the target stays as it is.
  TVXBitmap grey(4, 4, vx8g), target(3, 3, vx24RGB);
  TProgressRec progress;
  VXShenCastan(&grey, &target, 7, progress, true, 0, 0.9, 0.99);
  EXPECT_EQ(target.PixelFormat(), vx24RGB);
}

}  // namespace
