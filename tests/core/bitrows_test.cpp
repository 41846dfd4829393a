// Bit-run copies between 1-bit rows, single row bits, red/blue exchanges, and
// the vx1g rectangle copy that runs on the bit-run copy.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/bitrows.h"

namespace {

TEST(BitRun, BytewiseAgreesWithBitwiseForEveryOffsetAndLength) {
  std::vector<uint8_t> src(7);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(0x9D * (i + 1) ^ 0x5A);
  for (int32_t sb = 0; sb < 8; ++sb)
    for (int32_t db = 0; db < 8; ++db)
      for (int32_t n = 1; n <= 40; ++n)
        for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0xA6)}) {
          std::vector<uint8_t> a(7, fill), b(7, fill);
          VXCopyBitRun(a.data(), src.data(), db, int32_t(src.size()), n, sb);
          VXCopyBitRunBitwise(b.data(), src.data(), db, n, sb);
          ASSERT_EQ(a, b) << "source bit " << sb << ", destination bit " << db << ", count " << n;
        }
}

TEST(BitRun, KeepsTheDestinationBitsAroundTheRun) {
  // 3 bits from source bit 6 to destination bit 1: bits 0 and 4..7 stay.
  const uint8_t src[2] = {0x02, 0x80};  // bits 6, 7, 8 = 1, 0, 1
  for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x8F)}) {
    uint8_t d[1] = {fill};
    VXCopyBitRun(d, src, 1, 2, 3, 6);
    EXPECT_EQ(d[0] & 0x8F, fill & 0x8F);
    EXPECT_EQ(d[0] & 0x70, 0x50);
  }
}

TEST(BitRun, NothingForEmptyRunsOrNegativeOffsetsAndNoReadPastTheSource) {
  const uint8_t src[1] = {0xFF};
  struct Case {
    int32_t destBit, count, srcBit;
  };
  for (Case c : {Case{0, 0, 0}, Case{0, -5, 0}, Case{-1, 3, 0}, Case{0, 3, -1}}) {
    uint8_t d[2] = {0x12, 0x34};
    VXCopyBitRun(d, src, c.destBit, 1, c.count, c.srcBit);
    VXCopyBitRunBitwise(d, src, c.destBit, c.count, c.srcBit);
    EXPECT_EQ(d[0], 0x12);
    EXPECT_EQ(d[1], 0x34);
  }
  // A run longer than the one-byte source: bits past its end come in as 0.
  std::vector<uint8_t> one(1, 0xFF);  // heap, exact size
  uint8_t d[3] = {0x00, 0xFF, 0xFF};
  VXCopyBitRun(d, one.data(), 4, 1, 16, 0);
  EXPECT_EQ(d[0], 0x0F);
  EXPECT_EQ(d[1], 0xF0);
  EXPECT_EQ(d[2], 0x0F);
}

TEST(RowBits, GetSetAndRedBlueExchanges) {
  uint8_t row[2] = {0, 0};
  VXSetRowBit(row, 0, true);
  VXSetRowBit(row, 9, true);
  VXSetRowBit(row, 10, true);
  VXSetRowBit(row, 10, false);
  EXPECT_EQ(row[0], 0x80);
  EXPECT_EQ(row[1], 0x40);
  EXPECT_NE(VXGetRowBit(row, 9), 0);
  EXPECT_EQ(VXGetRowBit(row, 8), 0);

  const uint8_t in[6] = {1, 2, 3, 4, 5, 6};
  uint8_t out[6] = {};
  VXCopySwapRBRow(out, in, 2);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
  VXSwapRBRow(out, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{1, 2, 3, 6, 5, 4}));
  uint8_t w48[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  VXSwapRBRow48(w48, 2);
  EXPECT_EQ(std::vector<uint8_t>(w48, w48 + 12), (std::vector<uint8_t>{5, 6, 3, 4, 1, 2, 11, 12, 9, 10, 7, 8}));
  TRGB pal[2] = {{1, 2, 3}, {4, 5, 6}};
  VXSwapRBPalette(pal, 2);
  EXPECT_EQ(pal[0], (TRGB{3, 2, 1}));
  EXPECT_EQ(pal[1], (TRGB{6, 5, 4}));
}

// Rows of every width around the five-pixel vector step, copied and turned
// in place: every pixel swapped, nothing written past the row.
TEST(BitRun, SwapRBRowsOfEveryWidth) {
  for (int32_t n : {0, 1, 4, 5, 6, 7, 10, 11, 16, 17, 31, 64, 101}) {
    SCOPED_TRACE("width " + std::to_string(n));
    std::vector<uint8_t> in(size_t(n) * 3 + 16);
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 7 + 1);
    std::vector<uint8_t> expected = in;
    for (int32_t x = 0; x < n; ++x) std::swap(expected[size_t(x) * 3], expected[size_t(x) * 3 + 2]);
    std::vector<uint8_t> out(in.size(), 0xEE);
    VXCopySwapRBRow(out.data(), in.data(), n);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n * 3),
              std::vector<uint8_t>(expected.begin(), expected.begin() + n * 3));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + n * 3, out.end()), std::vector<uint8_t>(16, 0xEE));
    std::vector<uint8_t> same = in;
    VXSwapRBRow(same.data(), n);
    EXPECT_EQ(same, expected);
  }
}

TEST(BitRun, OneBitRectangleCopiesAtUnalignedColumns) {
  TVXBitmap src(37, 3, vx1g), dst(41, 3, vx1g);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 37; ++x) src.SetPixels_vx1g(x, y, (x * 7 + y) % 3 == 0);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 41; ++x) dst.SetPixels_vx1g(x, y, true);
  src.CopyRectTo(&dst, 5, 1, 3, 0, 30, 2);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 41; ++x) {
      const bool inside = y < 2 && x >= 3 && x < 33;
      EXPECT_EQ(dst.Pixels_vx1g(x, y), inside ? src.Pixels_vx1g(x + 2, y + 1) : true) << x << "," << y;
    }
}

}  // namespace
