// Selection mask: copying, resizing, resampling, inverting, intersecting,
// moving, and limiting by an alpha channel.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "mask_pictures.h"

namespace {

using maskpic::Box;
using maskpic::BoxOf;
using maskpic::Picture;

// A mask drawn from a picture: '#' selected (1 or 255), '.' not.
void Draw(TVXMask& m, int32_t bits, const std::vector<std::string>& pic) {
  m.AllocateBits(int32_t(pic[0].size()), int32_t(pic.size()), bits);
  for (size_t y = 0; y < pic.size(); ++y)
    for (size_t x = 0; x < pic[y].size(); ++x)
      if (pic[y][x] == '#') m.SetPixel(int32_t(x), int32_t(y), 255);
}

}  // namespace

TEST(MaskCopy, AssignCopiesBlockBoxAndFlag) {
  TVXMask src;
  Draw(src, 8, {"..#.", ".##.", "...."});
  src.SetPixel(2, 0, 99);
  src.SetFull(true);
  TVXMask dst;
  dst.AllocateBits(50, 50, 1);
  dst.Fill(255);
  dst.Assign(&src);
  EXPECT_EQ(dst.Width(), 4);
  EXPECT_EQ(dst.Height(), 3);
  EXPECT_EQ(dst.BitsPerPixel(), 8);
  EXPECT_EQ(dst.GetPixel(2, 0), 99);
  EXPECT_EQ(Picture(dst), Picture(src));
  EXPECT_EQ(BoxOf(dst), BoxOf(src));
  EXPECT_TRUE(dst.Full());
  dst.Assign(nullptr);
  EXPECT_EQ(dst.Width(), 4);

  TVXMask lazy;  // a source without a block gives a target without one
  lazy.AllocateBits(3, 3, 1);
  dst.Assign(&lazy);
  EXPECT_FALSE(dst.HasBits());
  EXPECT_EQ(dst.GetPixel(0, 0), 0);
}

TEST(MaskResize, KeepsTheTopLeftContent) {
  for (int32_t bits : {1, 8}) {
    TVXMask m;
    Draw(m, bits, {"#..#", ".##.", "#..#", "####"});
    m.Resize(3, 2);  // smaller height keeps the top rows
    EXPECT_EQ(Picture(m), (std::vector<std::string>{"#..", ".##"})) << bits;
    EXPECT_EQ(BoxOf(m), (Box{0, 0, 2, 1})) << bits;
    m.Resize(5, 3);
    EXPECT_EQ(Picture(m), (std::vector<std::string>{"#....", ".##..", "....."})) << bits;
  }
}

TEST(MaskResize, PaddingNeverBecomesSelectedPixels) {
  // Fill writes the whole block, padding included; growing the mask must
  // not turn that padding into selected pixels.
  for (int32_t bits : {1, 8}) {
    TVXMask m;
    m.AllocateBits(3, 2, bits);
    m.Fill(255);
    m.Resize(8, 2);
    EXPECT_EQ(Picture(m), (std::vector<std::string>{"###.....", "###....."})) << bits;
  }
}

TEST(MaskResize, WithoutBlockOnlyTheSizeChanges) {
  TVXMask m;
  m.AllocateBits(10, 10, 8);
  m.Resize(20, 5);
  EXPECT_FALSE(m.HasBits());
  EXPECT_EQ(m.Width(), 20);
  EXPECT_EQ(m.Height(), 5);
  EXPECT_EQ(m.Rowlen(), 20);
}

TEST(MaskResample, NearestNeighbourKeepsEverySecondColumn) {
  for (int32_t bits : {1, 8}) {
    TVXMask m;
    Draw(m, bits, {"#.##..#.", "........", "##....##", "........"});
    m.SetFull(false);
    auto half = m.CreateResampledMask(4, 2);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->BitsPerPixel(), bits);
    EXPECT_EQ(Picture(*half), (std::vector<std::string>{"##.#", "#..#"})) << bits;
    EXPECT_EQ(BoxOf(*half), (Box{0, 0, 3, 1})) << bits;

    auto twice = m.CreateResampledMask(16, 8);
    EXPECT_EQ(Picture(*twice)[0], "##..####....##..") << bits;
    EXPECT_EQ(Picture(*twice)[1], Picture(*twice)[0]) << bits;
    EXPECT_EQ(Picture(*twice)[2], std::string(16, '.')) << bits;

    auto none = m.CreateResampledMask(0, 5);
    EXPECT_EQ(none->Width(), 0);
  }
}

TEST(MaskNegative, InvertsAndRebuildsTheBox) {
  TVXMask m;
  Draw(m, 8, {"....", ".##.", "...."});
  m.Negative(200);
  EXPECT_EQ(Picture(m), (std::vector<std::string>{"####", "#..#", "####"}));
  EXPECT_EQ(m.GetPixel(0, 0), 200);
  EXPECT_EQ(BoxOf(m), (Box{0, 0, 3, 2}));
  EXPECT_FALSE(m.Full());

  TVXMask e;  // an empty box: nothing happens
  e.AllocateBits(3, 3, 1);
  e.Negative(1);
  EXPECT_EQ(Picture(e), (std::vector<std::string>{"...", "...", "..."}));
}

TEST(MaskIntersect, DeselectsOutsideTheRectangle) {
  TVXMask m;
  Draw(m, 1, {"......", ".####.", ".####.", "......"});
  const auto before = Picture(m);
  m.Intersect(0, 0, 5, 3);  // contains the whole box: no change
  EXPECT_EQ(Picture(m), before);
  EXPECT_EQ(BoxOf(m), (Box{1, 1, 4, 2}));
  m.Intersect(3, 2, 9, 9);
  EXPECT_EQ(Picture(m), (std::vector<std::string>{"......", "......", "...##.", "......"}));
  EXPECT_EQ(BoxOf(m), (Box{3, 2, 4, 2}));
}

TEST(MaskTranslate, WithoutCutTheOffsetIsLimitedToKeepTheBoxInside) {
  for (int32_t bits : {1, 8}) {
    TVXMask m;
    Draw(m, bits, {"##....", "##....", "......", "......"});
    int32_t ox = -5, oy = 1;
    m.TranslateBitmap(ox, oy, false);
    EXPECT_EQ(ox, 0) << bits;
    EXPECT_EQ(oy, 1) << bits;
    EXPECT_EQ(Picture(m), (std::vector<std::string>{"......", "##....", "##....", "......"})) << bits;
    EXPECT_EQ(BoxOf(m), (Box{0, 1, 1, 2})) << bits;

    ox = 10;
    oy = 10;
    m.TranslateBitmap(ox, oy, false);
    EXPECT_EQ(ox, 4) << bits;
    EXPECT_EQ(oy, 1) << bits;
    EXPECT_EQ(Picture(m), (std::vector<std::string>{"......", "......", "....##", "....##"})) << bits;
  }
}

TEST(MaskTranslate, WithCutWhatLeavesTheMaskIsLost) {
  for (int32_t bits : {1, 8}) {
    TVXMask m;
    Draw(m, bits, {".###..", ".###..", "......"});
    int32_t ox = 3, oy = 1;
    m.TranslateBitmap(ox, oy, true);
    EXPECT_EQ(ox, 3) << bits;
    EXPECT_EQ(Picture(m), (std::vector<std::string>{"......", "....##", "....##"})) << bits;
    EXPECT_EQ(BoxOf(m), (Box{4, 1, 5, 2})) << bits;
  }
}

TEST(MaskTranslate, AnEmptyBoxIsSyncedFirst) {
  TVXMask m;
  m.AllocateBits(5, 5, 8);
  m.Fill(255);  // selected pixels, box still empty
  m.SetRectangle(0, 0, 4, 4, 0);
  m.SetPixel(1, 1, 255);
  m.SetX1(TVXMask::EmptyBox);
  int32_t ox = 2, oy = 2;
  m.TranslateBitmap(ox, oy, false);
  EXPECT_EQ(m.GetPixel(3, 3), 255);
  EXPECT_EQ(m.GetPixel(1, 1), 0);
}

TEST(MaskAlpha, CombineWithAlphaLimitsTheSelection) {
  TVXBitmap alpha(3, 2, vx8g);
  const uint8_t values[2][3] = {{0, 100, 255}, {30, 0, 200}};
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) alpha.SetPixels_vx8(x, y, values[y][x]);

  TVXMask m8;
  m8.AllocateBits(5, 4, 8);
  m8.Fill(150);
  m8.CombineWithAlpha(&alpha, 1, 1, true);
  const int32_t expect8[4][5] = {
      {150, 150, 150, 150, 150}, {150, 0, 100, 150, 150}, {150, 30, 0, 150, 150}, {150, 150, 150, 150, 150}};
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(m8.GetPixel(x, y), expect8[y][x]) << x << "," << y;
  EXPECT_EQ(BoxOf(m8), (Box{0, 0, 4, 3}));
  EXPECT_FALSE(m8.Full());

  // Beyond the right and bottom edges, and at negative offsets, pixels are
  // skipped.
  TVXMask m1;
  m1.AllocateBits(2, 2, 1);
  m1.Fill(255);
  m1.CombineWithAlpha(&alpha, 1, 0, false);
  EXPECT_EQ(Picture(m1), (std::vector<std::string>{"#.", "##"}));
  m1.Fill(255);
  m1.CombineWithAlpha(&alpha, -1, -1, false);
  EXPECT_EQ(Picture(m1), (std::vector<std::string>{".#", "##"}));

  // Another format leaves the mask as it is.
  TVXBitmap rgb(3, 2, vx24RGB);
  rgb.Fill(0);
  m1.Fill(255);
  m1.CombineWithAlpha(&rgb, 0, 0, true);
  EXPECT_EQ(Picture(m1), (std::vector<std::string>{"##", "##"}));
  EXPECT_TRUE(m1.Full());
}
