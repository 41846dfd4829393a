// Selection mask: pixels, spans, rectangles, ellipses, polygons, bounding box
// and the full flag.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mask.h"
#include "mask_pictures.h"

namespace {

using maskpic::Box;
using maskpic::BoxOf;
using maskpic::Picture;

int32_t CountSelected(const TVXMask& m) {
  int32_t n = 0;
  for (int32_t y = 0; y < m.Height(); ++y)
    for (int32_t x = 0; x < m.Width(); ++x) n += m.GetPixel(x, y) != 0;
  return n;
}

}  // namespace

TEST(MaskPixels, GetPixelReturnsBitWeightValueOrZero) {
  TVXMask m1;
  m1.AllocateBits(16, 4, 1);
  m1.SetPixel(9, 2, 1);
  m1.SetPixel(0, 0, 1);
  m1.SetPixel(15, 3, 1);
  EXPECT_EQ(m1.GetPixel(9, 2), 64);
  EXPECT_EQ(m1.GetPixel(0, 0), 128);
  EXPECT_EQ(m1.GetPixel(15, 3), 1);
  EXPECT_EQ(m1.GetPixel(8, 2), 0);
  EXPECT_EQ(m1.GetPixel(-1, 2), 0);
  EXPECT_EQ(m1.GetPixel(16, 2), 0);
  EXPECT_EQ(m1.GetPixel(9, 4), 0);

  TVXMask m8;
  m8.AllocateBits(5, 3, 8);
  m8.SetPixel(4, 2, 77);
  m8.SetPixel(1, 1, 0x1FF);  // only the low byte is stored
  EXPECT_EQ(m8.GetPixel(4, 2), 77);
  EXPECT_EQ(m8.GetPixel(1, 1), 255);
  EXPECT_TRUE(m8.IsPointInside(4, 2));
  EXPECT_FALSE(m8.IsPointInside(0, 0));
  EXPECT_FALSE(m8.IsPointInside(5, 2));
}

TEST(MaskPixels, RowsAreStoredBottomUpAndAllocatedLazily) {
  TVXMask m;
  m.AllocateBits(9, 3, 1);
  EXPECT_EQ(m.Rowlen(), 4);
  EXPECT_FALSE(m.HasBits());
  EXPECT_EQ(m.GetPixel(0, 0), 0);
  m.SetPixel(9 - 1, 0, 1);  // pixel 8 of the top row: bit 7 of byte 1
  ASSERT_TRUE(m.HasBits());
  const uint8_t* bits = m.Bits();
  EXPECT_EQ(bits[2 * 4 + 1], 0x80);  // the top row is the last one stored
  EXPECT_EQ(m.GetScanLine(0), bits + 2 * 4);
  EXPECT_EQ(m.GetScanLine(2), bits);
  EXPECT_EQ(m.GetScanLine(3), nullptr);
  EXPECT_EQ(m.GetScanLine(-1), nullptr);
}

TEST(MaskPixels, WritesOutsideAreIgnoredAndEmptyMasksAreSafe) {
  TVXMask m;
  m.AllocateBits(4, 4, 8);
  m.SetPixel(-1, 0, 255);
  m.SetPixel(4, 0, 255);
  m.SetPixel(0, 4, 255);
  EXPECT_EQ(CountSelected(m), 0);
  EXPECT_TRUE(m.IsEmpty());

  TVXMask none;  // never allocated
  none.SetRectangle(0, 0, 10, 10, 255);
  none.SetEllipse(5, 5, 10, 10, 255);
  const TPoint tri[] = {{0, 0}, {5, 0}, {0, 5}};
  none.DrawPolygon(255, tri, 3);
  none.Fill(255);
  int32_t ox = 3, oy = 3;
  none.TranslateBitmap(ox, oy, true);
  none.Negative(255);
  none.Resize(0, 0);
  EXPECT_EQ(none.Width(), 0);
  EXPECT_EQ(none.GetPixel(0, 0), 0);
}

TEST(MaskBox, SetPixelWidensOnlyForNonZeroAlpha) {
  TVXMask m;
  m.AllocateBits(10, 10, 8);
  EXPECT_TRUE(m.IsEmpty());
  m.SetPixel(3, 4, 200);
  m.SetPixel(6, 2, 10);
  EXPECT_EQ(BoxOf(m), (Box{3, 2, 6, 4}));
  m.SetPixel(6, 2, 0);  // clearing does not shrink
  m.SetPixel(9, 9, 0);  // nor widen
  EXPECT_EQ(BoxOf(m), (Box{3, 2, 6, 4}));
  m.SyncRect();
  EXPECT_EQ(BoxOf(m), (Box{3, 4, 3, 4}));
}

TEST(MaskBox, RectangleWidensTheBoxWhateverTheAlpha) {
  TVXMask m;
  m.AllocateBits(10, 10, 8);
  m.SetRectangle(2, 3, 5, 7, 0);
  EXPECT_EQ(BoxOf(m), (Box{2, 3, 5, 7}));
  EXPECT_EQ(CountSelected(m), 0);
  m.SetRectangle(Rect(-4, -4, 20, 1), 9);
  EXPECT_EQ(BoxOf(m), (Box{0, 0, 9, 7}));
}

TEST(MaskShapes, RectangleIncludesBothCornersAndClampsRowsOntoTheEdges) {
  TVXMask m;
  m.AllocateBits(6, 5, 1);
  m.SetRectangle(1, 1, 3, 2, 1);
  EXPECT_EQ(Picture(m), (std::vector<std::string>{"......", ".###..", ".###..", "......", "......"}));

  // Rows above the mask land on row 0, rows below on the last row.
  TVXMask e;
  e.AllocateBits(6, 5, 8);
  e.SetRectangle(4, -3, 5, -1, 255);
  e.SetRectangle(0, 7, 1, 9, 255);
  EXPECT_EQ(Picture(e), (std::vector<std::string>{"....##", "......", "......", "......", "##...."}));
}

TEST(MaskShapes, OneBitSpansSetBitsOnlyForAlphaOne) {
  TVXMask m;
  m.AllocateBits(12, 1, 1);
  m.Fill(255);
  m.SetRectangle(2, 0, 9, 0, 255);  // any value but 1 clears
  EXPECT_EQ(Picture(m)[0], "##........##");
  m.SetRectangle(4, 0, 5, 0, 1);
  EXPECT_EQ(Picture(m)[0], "##..##....##");
}

TEST(MaskShapes, EllipseIsSymmetricAndSpansItsAxes) {
  TVXMask m;
  m.AllocateBits(21, 15, 8);
  m.SetEllipse(10, 7, 16, 10, 255);  // a = 8, b = 5
  EXPECT_EQ(BoxOf(m), (Box{2, 2, 18, 12}));
  const auto pic = Picture(m);
  EXPECT_EQ(pic[7], ".." + std::string(17, '#') + "..");
  for (int32_t y = 0; y < 15; ++y) {
    for (int32_t x = 0; x < 21; ++x) {
      EXPECT_EQ(pic[size_t(y)][size_t(x)], pic[size_t(14 - y)][size_t(x)]) << x << "," << y;
      EXPECT_EQ(pic[size_t(y)][size_t(x)], pic[size_t(y)][size_t(20 - x)]) << x << "," << y;
      if (pic[size_t(y)][size_t(x)] == '#') {
        const double dx = (x - 10) / 8.0, dy = (y - 7) / 5.0;
        EXPECT_LE(dx * dx + dy * dy, 1.3) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(pic[1], std::string(21, '.'));
  EXPECT_EQ(pic[2][10], '#');  // the top of the vertical axis
  EXPECT_EQ(pic[2][3], '.');
}

TEST(MaskShapes, EllipseReachingAboveTheMaskDrawsOnRowZero) {
  TVXMask m;
  m.AllocateBits(9, 6, 1);
  m.SetEllipse(4, 0, 8, 6, 1);  // rows -3..3
  EXPECT_EQ(BoxOf(m), (Box{0, 0, 8, 3}));
  EXPECT_EQ(Picture(m)[0], "#########");
  EXPECT_EQ(Picture(m)[4], ".........");
}

TEST(MaskShapes, DegenerateEllipsesStayInside) {
  TVXMask m;
  m.AllocateBits(8, 8, 8);
  m.SetEllipse(3, 3, 0, 0, 255);
  EXPECT_EQ(CountSelected(m), 1);
  m.SetEllipse(3, 3, -10, -10, 255);
  m.SetEllipse(1, -100, 4, 4, 255);  // rows clamp onto row 0, columns clip
  EXPECT_EQ(Picture(m)[0], "####....");
  m.SetEllipse(-100, 5, 4, 4, 255);  // wholly left of the mask: nothing
  EXPECT_EQ(CountSelected(m), 5);
}

TEST(MaskPolygon, SquareFillsLeftAndTopEdgesOnly) {
  TVXMask m;
  m.AllocateBits(30, 30, 8);
  const TPoint square[] = {{10, 10}, {20, 10}, {20, 20}, {10, 20}};
  m.DrawPolygon(255, square, 4);
  EXPECT_EQ(BoxOf(m), (Box{10, 10, 19, 19}));
  EXPECT_EQ(CountSelected(m), 100);
  EXPECT_EQ(m.GetPixel(10, 10), 255);
  EXPECT_EQ(m.GetPixel(19, 19), 255);
  EXPECT_EQ(m.GetPixel(20, 15), 0);
  EXPECT_EQ(m.GetPixel(15, 20), 0);
  EXPECT_FALSE(m.Full());
}

TEST(MaskPolygon, SeparatorsSplitPolygonsAndATrailingOneEmptiesTheBox) {
  const int32_t sep = TVXMask::PolygonSeparator;
  const TPoint two[] = {{0, 0}, {3, 0}, {3, 3}, {0, 3}, {sep, 0}, {5, 5}, {8, 5}, {8, 8}, {5, 8}};
  TVXMask m;
  m.AllocateBits(10, 10, 1);
  m.DrawPolygon(1, two, 9);
  EXPECT_EQ(CountSelected(m), 18);
  EXPECT_NE(m.GetPixel(1, 1), 0);
  EXPECT_NE(m.GetPixel(7, 7), 0);
  EXPECT_EQ(m.GetPixel(4, 4), 0);
  EXPECT_EQ(BoxOf(m), (Box{0, 0, 7, 7}));

  const TPoint trailing[] = {{0, 0}, {3, 0}, {3, 3}, {0, 3}, {sep, 0}};
  TVXMask t;
  t.AllocateBits(10, 10, 1);
  t.DrawPolygon(1, trailing, 5);
  EXPECT_EQ(CountSelected(t), 9);  // the pixels stay, the box is emptied
  EXPECT_TRUE(t.IsEmpty());
}

TEST(MaskPolygon, CrossingEdgesFollowTheEvenOddRule) {
  // A bow tie: two triangles meeting at (5, 5).
  const TPoint bowtie[] = {{0, 0}, {10, 10}, {10, 0}, {0, 10}};
  TVXMask m;
  m.AllocateBits(12, 12, 8);
  m.DrawPolygon(255, bowtie, 4);
  for (int32_t y : {1, 2, 8, 9}) {
    EXPECT_NE(m.GetPixel(0, y), 0) << y;
    EXPECT_NE(m.GetPixel(9, y), 0) << y;
    EXPECT_EQ(m.GetPixel(5, y), 0) << y;
  }
  // A star drawn in one stroke leaves its centre unselected.
  const TPoint star[] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
  TVXMask s;
  s.AllocateBits(21, 21, 8);
  s.DrawPolygon(255, star, 5);
  EXPECT_EQ(s.GetPixel(10, 10), 0);
  EXPECT_NE(s.GetPixel(10, 3), 0);
  EXPECT_NE(s.GetPixel(2, 8), 0);
}

TEST(MaskPolygon, DiagonalEdgesStepExactly) {
  // Right triangle with a 2:1 slope: row y spans x from 0 to y / 2 - 1.
  const TPoint tri[] = {{0, 0}, {0, 8}, {4, 8}};
  TVXMask m;
  m.AllocateBits(6, 9, 1);
  m.DrawPolygon(1, tri, 3);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(m.GetPixel(x, y) != 0, y < 8 && x < y / 2) << x << "," << y;
}

TEST(MaskPolygon, PartsOutsideAreClampedAndDegenerateListsAreSafe) {
  const TPoint big[] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}};
  TVXMask m;
  m.AllocateBits(10, 10, 8);
  m.DrawPolygon(255, big, 4);
  EXPECT_EQ(BoxOf(m), (Box{0, 0, 4, 4}));
  EXPECT_EQ(CountSelected(m), 25);

  TVXMask d;
  d.AllocateBits(10, 10, 8);
  const TPoint line[] = {{1, 1}, {8, 1}};
  d.DrawPolygon(255, line, 2);
  d.DrawPolygon(255, line, 0);
  d.DrawPolygon(255, nullptr, 3);
  EXPECT_EQ(CountSelected(d), 0);
  EXPECT_TRUE(d.IsEmpty());
}

TEST(MaskFull, FillEmptyAndSyncFollowTheFullnessRule) {
  struct Case {
    int32_t bits;
    int32_t fillValue;
    bool full;
  };
  for (const Case c : {Case{1, 255, true}, Case{1, 0, false}, Case{1, 1, false}, Case{8, 255, true},
                       Case{8, 254, false}, Case{8, 511, false}}) {
    TVXMask m;
    m.AllocateBits(9, 3, c.bits);
    m.Fill(c.fillValue);
    EXPECT_EQ(m.Full(), c.full) << c.bits << " " << c.fillValue;
    EXPECT_TRUE(m.IsEmpty());  // Fill leaves the box alone
  }
  TVXMask m;
  m.AllocateBits(9, 3, 1);
  m.Fill(255);
  m.Empty();
  EXPECT_FALSE(m.Full());
  EXPECT_EQ(CountSelected(m), 0);

  // Padding bits are not examined: a 9-pixel row set through spans is full.
  m.SetRectangle(0, 0, 8, 2, 1);
  m.SyncFull();
  EXPECT_TRUE(m.Full());
  m.SetPixel(8, 1, 1);
  EXPECT_TRUE(m.Full());
  m.SetPixel(8, 1, 0);
  EXPECT_FALSE(m.Full());
  m.SetPixel(8, 1, 1);
  EXPECT_FALSE(m.Full());  // only SyncFull sets it again
  m.SyncFull();
  EXPECT_TRUE(m.Full());

  TVXMask e;
  e.AllocateBits(4, 4, 8);
  e.Fill(255);
  e.SetPixel(1, 1, 254);
  EXPECT_FALSE(e.Full());
}
