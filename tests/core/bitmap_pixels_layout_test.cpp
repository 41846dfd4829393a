// Pixel formats, row layout and the bit and byte helpers.

#include <gtest/gtest.h>

#include <cmath>

#include "core/pixels.h"

namespace {

TEST(BitmapRowLayout, RowLengths) {
  struct Case {
    int32_t width, bits, alignment;
    int64_t want;
  };
  const Case cases[] = {
      {3, 24, 32, 12}, {3, 24, 8, 9},   {9, 1, 32, 4},    {9, 1, 8, 2},     {0, 24, 32, 0},
      {0, 1, 8, 0},    {1, 48, 32, 8},  {5, 16, 16, 10},  {13, 32, 32, 52}, {7, 1, 16, 2},
      // Sizes whose bit count overflows 32 bits.
      {2147483647, 48, 32, int64_t((2147483647LL * 48 + 31) / 32) * 4},
      {100000000, 48, 8, 600000000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VXBitmapRowLen(c.width, c.bits, c.alignment), c.want) << c.width << "x" << c.bits << "@" << c.alignment;
  EXPECT_EQ(VXVclRowLen(3, pf24bit), 12);
  EXPECT_EQ(VXVclRowLen(9, pf1bit), 4);
}

TEST(BitmapRowLayout, FormatTables) {
  EXPECT_EQ(VXPixelFormatBitCount[vxCIELab], 24);
  EXPECT_EQ(VXPixelFormatChannelCount[vxCMYK], 4);
  EXPECT_EQ(VXPixelFormatFallback[vx1g][0], vx8g);
  EXPECT_EQ(VXPixelFormatFallback[vx24RGB][3], vx8p);
  EXPECT_EQ(VXPixelFormatFallback[vx32RGB][4], vxnull);
  for (TVXPixelFormat r : VXPixelFormatFallback[vx1g]) EXPECT_NE(r, vx8p);
  TVXPixelFormatSet s{vx8g, vx32RGB};
  EXPECT_EQ(s.Bits, (1u << 3) | (1u << 10));
  EXPECT_TRUE(s.Contains(vx32RGB));
  EXPECT_FALSE(s.Contains(vx8p));
  EXPECT_TRUE(TVXPixelFormatSet{}.Empty());
  EXPECT_EQ(VXVclToPixelFormat(pf4bit), vx8p);
  EXPECT_EQ(VXVclToPixelFormat(pf1bit), vx1g);
  EXPECT_EQ(VXVclToPixelFormat(pf16bit), vx24RGB);
  EXPECT_EQ(VXVclPixelFormatBits(pf15bit), 15);
  EXPECT_EQ(VXVclPixelFormatBits(pfCustom), 0);
}

TEST(BitmapBitHelpers, SwapsAndBitReversal) {
  EXPECT_EQ(VXSwapWord(0x12345678u), 0x12347856u);
  EXPECT_EQ(VXSwapDWord(0x12345678u), 0x78563412u);
  EXPECT_EQ(VXSwapInt64(0x0102030405060708LL), 0x0807060504030201LL);
  uint8_t words[] = {1, 2, 3, 4, 5, 6};
  VXSwapWords(words, 2);
  EXPECT_EQ(std::vector<uint8_t>(words, words + 6), (std::vector<uint8_t>{2, 1, 4, 3, 5, 6}));
  VXSwapWords(words, -1);
  EXPECT_EQ(words[0], 2);
  uint8_t dwords[] = {1, 2, 3, 4, 5, 6, 7, 8};
  VXSwapDWords(dwords, 2);
  EXPECT_EQ(std::vector<uint8_t>(dwords, dwords + 8), (std::vector<uint8_t>{4, 3, 2, 1, 8, 7, 6, 5}));
  EXPECT_EQ(VXReverseBitsTable[1], 0x80);
  EXPECT_EQ(VXReverseBitsTable[2], 0x40);
  EXPECT_EQ(VXReverseBitsTable[3], 0xC0);
  uint8_t b = 0x0F;
  VXReverseByteBits(b);
  EXPECT_EQ(b, 0xF0);
  uint32_t d = 0x00000001u;
  VXReverseDWordBits(d);
  EXPECT_EQ(d, 0x80000000u);
  d = 0x12345678u;
  VXReverseDWordBits(d);
  EXPECT_EQ(d, 0x1E6A2C48u);
}

TEST(BitmapBitHelpers, BitCounts) {
  EXPECT_EQ(VXBitFieldWidth(0), 0);
  EXPECT_EQ(VXBitFieldWidth(248), 5);
  EXPECT_EQ(VXBitFieldWidth(0x80000000u), 1);
  EXPECT_EQ(VXBitFieldWidth(0xFFFFFFFFu), 32);
  EXPECT_EQ(VXBitFieldWidth(0x0000F800u), 5);
  const std::pair<int32_t, int32_t> counts[] = {{0, -1}, {1, 0}, {2, 1}, {3, 2}, {16, 4}, {17, 5}, {256, 8}};
  for (auto [n, want] : counts) EXPECT_EQ(VXBitsForColorCount(n), want) << n;
}

TEST(BitmapBitHelpers, Power) {
  EXPECT_EQ(VXPower(0, -1), 0.0L);
  EXPECT_EQ(VXPower(0, 0), 1.0L);
  EXPECT_EQ(VXPower(3, 1), 3.0L);
  EXPECT_EQ(VXPower(3, 2), 9.0L);
  EXPECT_EQ(VXPower(2, 10), 1024.0L);
  EXPECT_EQ(VXPower(2, -2), 0.25L);
  EXPECT_EQ(VXPower(2, -3), 0.125L);
  EXPECT_NEAR(double(VXPower(2, 0.5)), std::sqrt(2.0), 1e-15);
  EXPECT_TRUE(std::isnan(double(VXPower(-2, 0.5))));
  EXPECT_EQ(VXPower(0, 3e9), 0.0L);
}

}  // namespace
