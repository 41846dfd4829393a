// Morphing warp by feature lines: frame counts, identities, shifts and the
// pairs that have no length.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/morphwarp.h"

namespace {

using procfixture::Noise;

std::vector<std::unique_ptr<TVXBitmap>> Warp(TVXBitmap* img, const std::vector<TVXMorphLine>& src,
                                             const std::vector<TVXMorphLine>& dst, int32_t frames,
                                             int32_t lineCount) {
  std::vector<std::unique_ptr<TVXBitmap>> out;
  VXMorphWarpFrames(img, src, dst, out, frames, lineCount);
  return out;
}

TEST(MorphWarp, FrameCounts) {
  auto img = Noise(12, 9, vx24RGB, 1);
  const std::vector<TVXMorphLine> a = {{1, 1, 8, 2}}, b = {{2, 3, 9, 5}};
  for (auto [frames, want] : {std::pair{-3, 0}, std::pair{0, 0}, std::pair{1, 0}, std::pair{2, 1}, std::pair{5, 4}}) {
    const auto out = Warp(img.get(), a, b, frames, 1);
    ASSERT_EQ(out.size(), size_t(want)) << frames;
    for (const auto& f : out) {
      EXPECT_EQ(f->Width(), 12);
      EXPECT_EQ(f->Height(), 9);
      EXPECT_EQ(f->PixelFormat(), vx24RGB);
    }
  }
  // Frames are appended to what the list holds.
  std::vector<std::unique_ptr<TVXBitmap>> list;
  list.push_back(std::make_unique<TVXBitmap>());
  VXMorphWarpFrames(img.get(), a, b, list, 3, 1);
  EXPECT_EQ(list.size(), 3u);
  // Not a colour image: no frames.
  auto grey = Noise(12, 9, vx8g, 1);
  EXPECT_TRUE(Warp(grey.get(), a, b, 3, 1).empty());
}

TEST(MorphWarp, CoincidingLinesAndUnusablePairsCopy) {
  auto img = Noise(15, 11, vx24RGB, 2);
  const std::string pixels = numpy_oracle::Pixels(img.get());
  struct Case {
    const char* what;
    std::vector<TVXMorphLine> src, dst;
    int32_t lineCount;
  };
  const std::vector<Case> cases = {
      {"the same line", {{2, 3, 12, 8}}, {{2, 3, 12, 8}}, 1},
      {"two fixed lines", {{2, 3, 12, 8}, {0, 10, 14, 0}}, {{2, 3, 12, 8}, {0, 10, 14, 0}}, 2},
      {"a point as source", {{4, 4, 4, 4}}, {{1, 2, 9, 9}}, 1},
      {"a point as destination", {{1, 2, 9, 9}}, {{4, 4, 4, 4}}, 1},
      {"no pairs", {{1, 2, 9, 9}}, {{3, 3, 10, 4}}, 0},
      {"a negative count", {{1, 2, 9, 9}}, {{3, 3, 10, 4}}, -1},
      {"empty arrays", {}, {}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto out = Warp(img.get(), c.src, c.dst, 4, c.lineCount);
    ASSERT_EQ(out.size(), 3u);
    for (const auto& f : out) EXPECT_TRUE(numpy_oracle::Pixels(f.get()) == pixels);
  }
}

TEST(MorphWarp, MovedLineShiftsTheFrames) {
  // The destination is the source line moved by (8, -4): frame f shows the
  // picture moved by t (8, -4), t = f / 4, the border repeating.
  auto img = Noise(20, 14, vx24RGB, 3);
  const std::vector<TVXMorphLine> src = {{3, 5, 15, 9}}, dst = {{11, 1, 23, 5}};
  // LineCount beyond the arrays counts as their length.
  const auto out = Warp(img.get(), src, dst, 4, 7);
  ASSERT_EQ(out.size(), 3u);
  for (int f = 1; f <= 3; ++f) {
    const int32_t sx = 2 * f, sy = -f;
    for (int32_t y = 0; y < 14; ++y)
      for (int32_t x = 0; x < 20; ++x)
        ASSERT_EQ(out[size_t(f - 1)]->Pixels_vx24RGB(x, y),
                  img->Pixels_vx24RGB(std::clamp(x - sx, 0, 19), std::clamp(y - sy, 0, 13)))
            << "frame " << f << " at " << x << "," << y;
  }
}

TEST(MorphWarp, LineCollapsingMidwayCopiesThatFrame) {
  // The line turns about its middle: at t = 1/2 it is a point, and that
  // frame, left without pairs, is the picture itself.
  auto img = Noise(16, 16, vx24RGB, 4);
  const std::vector<TVXMorphLine> src = {{2, 8, 14, 8}}, dst = {{14, 8, 2, 8}};
  const auto out = Warp(img.get(), src, dst, 4, 1);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_TRUE(numpy_oracle::Pixels(out[1].get()) == numpy_oracle::Pixels(img.get()));
  // At t = 1/4 the picture is stretched out from the middle column.
  EXPECT_FALSE(numpy_oracle::Pixels(out[0].get()) == numpy_oracle::Pixels(img.get()));
}

}  // namespace
