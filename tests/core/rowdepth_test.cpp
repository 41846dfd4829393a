// Rows between bit depths (every cell of the conversion table) and the
// nearest palette entry.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/rowdepth.h"
#include "core/quantizer.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(RowBitDepth, EveryCellOfTheTable) {
  // Five pixels in each source depth: values 1, 0, 1, 1, 0 (1 bit), 3, 0, 15,
  // 1, 2 (4 bits), 1, 0, 2, 1, 200 (8 bits).
  const Bytes src1 = {0xB0};
  const Bytes src4 = {0x30, 0xF1, 0x20};
  const Bytes src8 = {1, 0, 2, 1, 200};
  // Palette of three entries; index 15 and 200 lie past it and read black.
  const TRGB pal[3] = {{10, 11, 12}, {20, 21, 22}, {30, 31, 32}};
  // A grey source image for the quantiser: its exact palette is black, grey
  // and white at indices 0, 1, 2.
  TVXBitmap greys(3, 1, vx24RGB);
  greys.SetPixels_vx24RGB(0, 0, TRGB{0, 0, 0});
  greys.SetPixels_vx24RGB(1, 0, TRGB{128, 128, 128});
  greys.SetPixels_vx24RGB(2, 0, TRGB{255, 255, 255});
  TRGB qpal[256] = {};
  TVXQuantizer q(&greys, qpal, 255, 16);
  auto qi = [&](uint8_t v) { return uint8_t(q.GetRGBIndex(TRGB{v, v, v})); };
  const Bytes src24 = {255, 255, 255, 0, 0, 0, 128, 128, 128, 255, 255, 255, 0, 0, 0};
  const Bytes src32 = {1, 2, 3, 9, 4, 5, 6, 9, 7, 8, 9, 9, 10, 11, 12, 9, 13, 14, 15, 9};
  auto e = [&](int i) { return Bytes{pal[i].b, pal[i].g, pal[i].r}; };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes r;
    for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
    return r;
  };
  const Bytes black = {0, 0, 0};
  const uint8_t K = 0xEE;  // the destination's prior contents
  struct Case {
    int32_t from, to;
    const Bytes* src;
    Bytes want;  // the destination's first bytes afterwards
    int32_t length;
  };
  const std::vector<Case> cases = {
      {1, 1, &src1, {0xB0}, 1},
      {1, 4, &src1, {uint8_t(K | 0x10), uint8_t(K | 0x11), uint8_t(K | 0x00)}, 3},
      {1, 8, &src1, {1, 0, 1, 1, 0}, 5},
      {1, 24, &src1, cat({e(1), e(0), e(1), e(1), e(0)}), 15},
      {4, 1, &src4, {K}, 1},
      {4, 4, &src4, {0x30, 0xF1, 0x20}, 3},
      {4, 8, &src4, {3, 0, 15, 1, 2}, 5},
      {4, 24, &src4, cat({black, e(0), black, e(1), e(2)}), 15},
      {8, 1, &src8, {0x90}, 1},
      {8, 4, &src8, {K, K, K}, 3},
      {8, 8, &src8, {1, 0, 2, 1, 200}, 5},
      {8, 24, &src8, cat({e(1), e(0), e(2), e(1), black}), 15},
      {24, 1, &src24, {K}, 1},
      {24, 4, &src24,
       {uint8_t(K | qi(255) << 4 | qi(0)), uint8_t(K | qi(128) << 4 | qi(255)), uint8_t(K | qi(0) << 4)}, 3},
      {24, 8, &src24, {qi(255), qi(0), qi(128), qi(255), qi(0)}, 5},
      {24, 24, &src24, src24, 15},
      {32, 1, &src32, {K}, 1},
      {32, 4, &src32, {K, K, K}, 3},
      {32, 8, &src32, {K, K, K, K, K}, 5},
      {32, 24, &src32, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 15},
  };
  ASSERT_NE(qi(255), qi(0));
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.from << " -> " << c.to);
    Bytes dst(20, K);
    EXPECT_EQ(VXConvertRowBitDepth(c.src->data(), dst.data(), c.from, &q, pal, 3, 5, c.to), c.length);
    EXPECT_EQ(Bytes(dst.begin(), dst.begin() + ptrdiff_t(c.want.size())), c.want);
    EXPECT_EQ(Bytes(dst.begin() + ptrdiff_t(c.want.size()), dst.end()), Bytes(20 - c.want.size(), K));
  }
  Bytes dst(4, K);
  EXPECT_EQ(VXConvertRowBitDepth(src8.data(), dst.data(), 8, nullptr, pal, 3, 5, 16), 0);
  EXPECT_EQ(dst, Bytes(4, K));
}

TEST(NearestPaletteIndex, FirstOfTheSmallestDistance) {
  const TRGB pal[4] = {{0, 0, 0}, {10, 10, 10}, {12, 8, 10}, {255, 255, 255}};
  struct Case {
    TRGB colour;
    int32_t count, want;
  };
  for (Case c : {Case{{11, 9, 10}, 4, 1},  // ties between 1 and 2: the first
                 Case{{12, 8, 10}, 4, 2}, Case{{200, 250, 255}, 4, 3}, Case{{200, 250, 255}, 3, 1},
                 Case{{5, 5, 5}, 0, 0}}) {
    EXPECT_EQ(VXNearestPaletteIndex(pal, c.count, c.colour), c.want)
        << int(c.colour.r) << "," << int(c.colour.g) << "," << int(c.colour.b) << " of " << c.count;
  }
}

}  // namespace
