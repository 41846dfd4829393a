// Threshold, ordered and error-diffusion dithering, colour reduction of whole
// images, the two-colour test and the row helpers.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/settings.h"
#include "core/cmyk.h"
#include "core/colorreduce.h"
#include "core/rowops.h"
#include "core/threshold.h"

namespace {

uint8_t* Row(TVXBitmap& b, int y) { return static_cast<uint8_t*>(b.GetScanLine(y)); }
bool BitAt(TVXBitmap& b, int x, int y) { return (Row(b, y)[x >> 3] & (0x80 >> (x & 7))) != 0; }

std::unique_ptr<TVXBitmap> Grey24(int w, int h, const std::vector<uint8_t>& values) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) std::memset(Row(*b, y) + x * 3, values[size_t(y * w + x)], 3);
  return b;
}

int CountWhite(TVXBitmap& b) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += BitAt(b, x, y);
  return n;
}

}  // namespace

TEST(QuantThreshold, FixedMeanAndEntropyThresholds) {
  // Grey levels 0, 50, 100, 150, 200, 250 in a 6 x 1 image.
  auto src = Grey24(6, 1, {0, 50, 100, 150, 200, 250});
  struct Case {
    int threshold;
    uint8_t bits;  // the six pixels, leftmost in bit 7
  } cases[] = {{0, 0xFC}, {256, 0x00}, {100, 0x3C}, {101, 0x1C}, {-1, 0x1C}};  // mean grey 125
  for (const Case& c : cases) {
    SCOPED_TRACE(c.threshold);
    TVXBitmap bw(6, 1, vx1g);
    TProgressRec progress;
    VXConvertTo1BitThreshold(src.get(), &bw, c.threshold, progress);
    EXPECT_EQ(Row(bw, 0)[0] & 0xFC, c.bits);
  }
}

// A picture of one grey is its own mean: it keeps its own side of mid-grey,
// so a black square stays black.
TEST(QuantThreshold, MeanThresholdOfOneGreyKeepsItsSide) {
  struct Case {
    uint8_t grey;
    int white;  // of the 12 pixels
  } cases[] = {{0, 0}, {40, 0}, {127, 0}, {128, 12}, {200, 12}, {255, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.grey));
    auto src = Grey24(4, 3, std::vector<uint8_t>(12, c.grey));
    TVXBitmap bw(4, 3, vx1g);
    TProgressRec progress;
    VXConvertTo1BitThreshold(src.get(), &bw, -1, progress);
    EXPECT_EQ(CountWhite(bw), c.white);
    // The pixel-format conversion (what the 1-bit writers use) agrees.
    TVXBitmap conv;
    conv.Assign(src.get());
    conv.SetPixelFormat(vx1g);
    EXPECT_EQ(CountWhite(conv), c.white);
  }
}

TEST(QuantThreshold, EntropyOfTwoEqualHalvesLeavesAllWhite) {
  auto src = Grey24(4, 2, {20, 20, 20, 20, 220, 220, 220, 220});
  TVXBitmap bw(4, 2, vx1g);
  TProgressRec progress;
  VXConvertTo1BitThreshold(src.get(), &bw, -2, progress);
  EXPECT_EQ(CountWhite(bw), 8);

  // Any two-level image has psi = 0 for every t; three levels give a real
  // threshold: p = 1/2, 1/4, 1/4 has its maximum (ln 2) from t = 21 on.
  auto src2 = Grey24(4, 2, {20, 20, 20, 20, 120, 120, 220, 220});
  VXConvertTo1BitThreshold(src2.get(), &bw, -2, progress);
  EXPECT_EQ(CountWhite(bw), 4);
  EXPECT_FALSE(BitAt(bw, 3, 0));
  EXPECT_TRUE(BitAt(bw, 0, 1));
}

TEST(QuantThreshold, OneBitSourceIsCopiedAndProgressIsReported) {
  TVXBitmap src(10, 3, vx1g);
  for (int y = 0; y < 3; ++y) {
    Row(src, y)[0] = uint8_t(0x5A + y);
    Row(src, y)[1] = 0x80;
  }
  TVXBitmap bw(10, 3, vx1g);
  TProgressRec progress;
  VXConvertTo1BitThreshold(&src, &bw, 0, progress);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(Row(bw, y)[0], 0x5A + y);

  auto grey = Grey24(2, 3, {1, 2, 3, 4, 5, 6});
  std::vector<int> seen;
  progress.fOnProgress = [&](void*, int32_t per) { seen.push_back(per); };
  VXConvertTo1BitThreshold(grey.get(), &bw, 3, progress);
  EXPECT_EQ(seen, (std::vector<int>{28, 57, 85}));  // Trunc((y + 1) * 100 / 3.5)
}

TEST(QuantThreshold, GreyHistogramPerFormat) {
  int32_t h[256];
  TVXBitmap bw(11, 2, vx1g);
  Row(bw, 0)[0] = 0xFF;  // 8 white
  Row(bw, 0)[1] = 0xBF;  // pixels 8..10: 1, 0, 1; the padding bits are not pixels
  Row(bw, 1)[0] = 0x01;
  Row(bw, 1)[1] = 0x1F;  // pixels 8..10 black
  VXCalcGrayHistogram(&bw, h);
  EXPECT_EQ(h[1], 11);
  EXPECT_EQ(h[0], 11);

  TVXBitmap g16(3, 1, vx16g);
  const uint16_t v[3] = {0xFFFF, 0x0100, 0x00FF};
  std::memcpy(Row(g16, 0), v, 6);
  VXCalcGrayHistogram(&g16, h);
  EXPECT_EQ(h[255], 1);
  EXPECT_EQ(h[1], 1);
  EXPECT_EQ(h[0], 1);

  auto rgb = Grey24(2, 1, {7, 7});
  Row(*rgb, 0)[3] = 0;  // (R 7, G 7, B 0)
  VXCalcGrayHistogram(rgb.get(), h);
  EXPECT_EQ(h[7], 1);
  EXPECT_EQ(h[(7 * 21 + 7 * 71) / 100], 1);
}

TEST(QuantFloydSteinberg, SmallFixtures) {
  // 3 x 1 of grey 100: black (error 100), 143.75 white (error -111.25), 51.3 black.
  auto a = Grey24(3, 1, {100, 100, 100});
  VXDoFloydSteinberg(a.get(), nullptr, nullptr);
  ASSERT_EQ(a->PixelFormat(), vx1g);
  EXPECT_EQ(Row(*a, 0)[0] & 0xE0, 0x40);

  // Flat 128: the first pixel is white (Floor(128.5) = 128).
  auto b = Grey24(5, 5, std::vector<uint8_t>(25, 128));
  VXDoFloydSteinberg(b.get(), nullptr, nullptr);
  EXPECT_TRUE(BitAt(*b, 0, 0));

  // Black and white stay flat.
  auto k = Grey24(9, 4, std::vector<uint8_t>(36, 0));
  auto w = Grey24(9, 4, std::vector<uint8_t>(36, 255));
  VXDoFloydSteinberg(k.get(), nullptr, nullptr);
  VXDoFloydSteinberg(w.get(), nullptr, nullptr);
  EXPECT_EQ(CountWhite(*k), 0);
  EXPECT_EQ(CountWhite(*w), 36);

  // The second row runs right to left: 2 x 2 of grey 100 gives
  // (0,0) black, (1,0) white, then (1,1) first: 100 + 5/16*(-155)+... black,
  // (0,1) white.
  auto s = Grey24(2, 2, {100, 100, 100, 100});
  VXDoFloydSteinberg(s.get(), nullptr, nullptr);
  EXPECT_FALSE(BitAt(*s, 0, 0));
  EXPECT_TRUE(BitAt(*s, 1, 0));
  EXPECT_FALSE(BitAt(*s, 1, 1));
  EXPECT_TRUE(BitAt(*s, 0, 1));
}

TEST(QuantOrdered, WhiteStaysWhiteBlackStaysBlack) {
  std::vector<uint8_t> v(16 * 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) v[size_t(y * 16 + x)] = x < 8 ? 251 : (x < 12 ? 0 : 250);
  auto b = Grey24(16, 8, v);
  TProgressRec progress;
  VXDitherToBWOrdered(b.get(), progress);
  ASSERT_EQ(b->PixelFormat(), vx1g);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      if (x < 8) EXPECT_TRUE(BitAt(*b, x, y));
      else if (x < 12) EXPECT_FALSE(BitAt(*b, x, y));
      else  // grey 250: level 62, black where the matrix holds 62 or 63
        EXPECT_EQ(BitAt(*b, x, y), VXOrderedDitherMatrix[x & 7][y & 7] < 62) << x << "," << y;
    }
}

TEST(QuantReduce, ConvertToColoursByCount) {
  std::vector<uint8_t> v(64);
  for (int i = 0; i < 64; ++i) v[size_t(i)] = uint8_t(i * 4);
  {
    auto b = Grey24(8, 8, v);
    VXConvertToColors(b.get(), 2, vxOrdered, nullptr, nullptr);
    EXPECT_EQ(b->PixelFormat(), vx1g);
  }
  {
    auto b = Grey24(8, 8, v);
    VXConvertToColors(b.get(), 2, vxThreshold, nullptr, nullptr);
    EXPECT_EQ(b->PixelFormat(), vx1g);
    EXPECT_EQ(CountWhite(*b), 32);  // mean grey 126: values 128 and up are white
  }
  {
    auto b = Grey24(8, 8, v);
    TVXBitmap before(b.get());
    VXConvertToColors(b.get(), 2000, vxThreshold, nullptr, nullptr);
    EXPECT_TRUE(VXBitmapsEqual(b.get(), &before));
  }
  {
    auto b = Grey24(8, 8, v);
    VXConvertToColors(b.get(), 4, vxThreshold, nullptr, nullptr);
    EXPECT_EQ(b->PixelFormat(), vx24RGB);
    // The grey ramp of 4 entries: 0, 64, 128, 192.
    EXPECT_EQ(Row(*b, 7)[7 * 3], 192);
    EXPECT_EQ(Row(*b, 2)[3], 64);
  }
  {
    auto b = Grey24(8, 8, v);
    VXConvertToColors(b.get(), 8, vxDithering, nullptr, nullptr);
    EXPECT_EQ(b->PixelFormat(), vx8p);
    EXPECT_EQ(b->PaletteUsed(), 8);
  }
  {
    auto b = Grey24(8, 8, v);
    TRGB pal[2] = {{9, 9, 9}, {9, 9, 9}};
    VXConvertToPalette(b.get(), 2, pal, vxThreshold, nullptr, nullptr);
    EXPECT_EQ(b->PixelFormat(), vx1g);
    EXPECT_EQ(pal[0], (TRGB{0, 0, 0}));
    EXPECT_EQ(pal[1], (TRGB{255, 255, 255}));
  }
}

// Error diffusion into a palette: 2 x 2 of grey 128 with the ramp 0, 85, 170.
TEST(QuantReduce, DitherToPaletteFixture) {
  auto src = Grey24(2, 2, {128, 128, 128, 128});
  TVXBitmap dst;
  VXDitherToPalette(src.get(), &dst, 3);
  ASSERT_EQ(dst.PixelFormat(), vx8p);
  EXPECT_EQ(dst.PaletteUsed(), 3);
  EXPECT_EQ(dst.Palette(1), (TRGB{85, 85, 85}));
  EXPECT_EQ(Row(dst, 0)[0], 2);
  EXPECT_EQ(Row(dst, 0)[1], 1);
  EXPECT_EQ(Row(dst, 1)[0], 1);
  EXPECT_EQ(Row(dst, 1)[1], 2);
}

TEST(QuantReduce, GreyAndSepia) {
  TVXBitmap b(2, 1, vx24RGB);
  const TRGB px[2] = {{30, 60, 90}, {250, 250, 250}};
  std::memcpy(Row(b, 0), px, 6);
  TVXBitmap s0(&b), s200(&b);
  VXDoConvertToSepia(&s0, 0, 0, 0, 2, 1, nullptr, nullptr);
  EXPECT_EQ(std::memcmp(Row(s0, 0), "\x3c\x3c\x3c", 3), 0);
  VXDoConvertToSepia(&s200, 200, 0, 0, 2, 1, nullptr, nullptr);
  EXPECT_EQ(Row(s200, 0)[2], 255);
  EXPECT_EQ(Row(s200, 0)[1], 255);  // 60 + 200
  EXPECT_EQ(Row(s200, 0)[0], 60);
  VXDoConvertToGray(&b, 1, 0, 5, 1, nullptr, nullptr);  // only the second pixel
  EXPECT_EQ(Row(b, 0)[0], 30);
  EXPECT_EQ(Row(b, 0)[3], 250);
}

TEST(QuantReduce, TwoColoursToOneBit) {
  TRGB c1{}, c2{};
  {
    // White first: the darker colour still becomes Color1 and bit 0.
    TVXBitmap b(3, 1, vx24RGB);
    const TRGB px[3] = {{255, 255, 255}, {0, 0, 0}, {255, 255, 255}};
    std::memcpy(Row(b, 0), px, 9);
    auto bw = VXTwoColorsTo1Bit(&b, c1, c2);
    ASSERT_TRUE(bw);
    EXPECT_EQ(c1, (TRGB{0, 0, 0}));
    EXPECT_EQ(c2, (TRGB{255, 255, 255}));
    EXPECT_EQ(Row(*bw, 0)[0] & 0xE0, 0xA0);
  }
  {
    TVXBitmap g(4, 1, vx8g);
    std::memcpy(Row(g, 0), "\x10\x90\x10\x10", 4);
    auto bw = VXTwoColorsTo1Bit(&g, c1, c2);
    ASSERT_TRUE(bw);
    EXPECT_EQ(c1, (TRGB{0x10, 0x10, 0x10}));
    EXPECT_EQ(Row(*bw, 0)[0] & 0xF0, 0x40);
  }
  TVXBitmap one(2, 2, vx8g);
  for (int y = 0; y < 2; ++y) std::memset(Row(one, y), 5, 2);
  EXPECT_FALSE(VXTwoColorsTo1Bit(&one, c1, c2));
  Row(one, 1)[0] = 6;
  Row(one, 1)[1] = 7;
  EXPECT_FALSE(VXTwoColorsTo1Bit(&one, c1, c2));
}

TEST(QuantReduce, OneBitTo24KeepsAlpha) {
  TVXBitmap b(11, 2, vx1g);
  Row(b, 0)[0] = 0x81;
  Row(b, 0)[1] = 0x40;
  Row(b, 1)[0] = 0x00;
  Row(b, 1)[1] = 0x20;
  std::memset(b.AlphaChannel()->GetScanLine(1), 33, 11);
  VXConvertTo24Bit(&b, nullptr, nullptr);
  ASSERT_EQ(b.PixelFormat(), vx24RGB);
  const bool want0[11] = {1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0};
  for (int x = 0; x < 11; ++x) EXPECT_EQ(Row(b, 0)[x * 3 + 1], want0[x] ? 255 : 0) << x;
  EXPECT_EQ(Row(b, 1)[10 * 3], 255);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(static_cast<uint8_t*>(b.AlphaChannel()->GetScanLine(1))[4], 33);
}

TEST(QuantRows, InvertAndCompare) {
  TVXBitmap a(10, 2, vx1g), b(10, 2, vx1g);
  for (int y = 0; y < 2; ++y) {
    Row(a, y)[0] = 0xF0;
    Row(a, y)[1] = 0x80;
    Row(b, y)[0] = 0xF0;
    Row(b, y)[1] = 0xBF;  // differs only in padding bits
    Row(a, y)[2] = Row(a, y)[3] = 0;
    Row(b, y)[2] = Row(b, y)[3] = 0x55;
  }
  EXPECT_TRUE(VXBitmapsEqual(&a, &b));
  VXInvertBitmapRows(&a);
  EXPECT_EQ(Row(a, 1)[0], 0x0F);
  EXPECT_EQ(Row(a, 1)[1], 0x7F);
  EXPECT_FALSE(VXBitmapsEqual(&a, &b));
  VXInvertBitmapRows(&a);
  EXPECT_TRUE(VXBitmapsEqual(&a, &b));

  TVXBitmap c(&a);
  EXPECT_TRUE(VXBitmapsEqual(&a, &c));
  c.AlphaChannel();
  EXPECT_FALSE(VXBitmapsEqual(&a, &c));
  TVXBitmap d(10, 3, vx1g);
  EXPECT_FALSE(VXBitmapsEqual(&a, &d));
}

// The row reader every colour reduction and threshold goes through: the
// second pixel of a two-pixel row of each format, as RGB and as grey level.
TEST(QuantRows, RowsOfEveryFormatAsRGBAndGrey) {
  struct Case {
    TVXPixelFormat f;
    std::vector<uint8_t> bytes;  // the whole row
    TRGB want;                   // pixel 1
  };
  float half = 0.5f, nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<uint8_t> floats(8);
  std::memcpy(floats.data(), &nan, 4);
  std::memcpy(floats.data() + 4, &half, 4);
  const TCMYK cmyk{10, 200, 30, 40};
  const TCIELab lab{180, -20, 35};
  const Case cases[] = {
      {vx1g, {0x40}, TRGB{255, 255, 255}},
      {vx8p, {0, 5}, TRGB{10, 20, 30}},
      {vx8g, {0, 77}, TRGB{77, 77, 77}},
      {vx16g, {0, 0, 0x12, 0xAB}, TRGB{0xAB, 0xAB, 0xAB}},  // the high byte of the word
      {vx24RGB, {9, 9, 9, 1, 2, 3}, TRGB{1, 2, 3}},
      {vx32RGB, {9, 9, 9, 9, 4, 5, 6, 7}, TRGB{4, 5, 6}},
      {vx32f, floats, TRGB{127, 127, 127}},  // Trunc(0.5 * 255)
      {vxCMYK, {0, 0, 0, 0, cmyk.c, cmyk.m, cmyk.y, cmyk.k}, VXCMYK2RGB(cmyk)},
      {vx48RGB, {0, 0, 0, 0, 0, 0, 0x00, 0x12, 0x00, 0x34, 0x00, 0x56}, TRGB{0x56, 0x34, 0x12}},  // words r, g, b
      {vxCIELab, {0, 0, 0, lab.l, uint8_t(lab.a), uint8_t(lab.b)}, VXCIELab2RGB(lab)},
  };
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.f));
    TVXBitmap b(2, 1, c.f);
    if (c.f == vx8p) b.SetPalette(5, TRGB{10, 20, 30});
    std::memcpy(Row(b, 0), c.bytes.data(), c.bytes.size());
    TRGB rgb[2];
    VXRowToRGB(&b, 0, rgb);
    EXPECT_EQ(rgb[1], c.want);
    if (c.f == vx32f) {
      EXPECT_EQ(rgb[0], (TRGB{0, 0, 0}));  // NaN reads as black
    }
    uint8_t grey[2];
    VXGrayLevelRow(&b, 0, grey);
    EXPECT_EQ(grey[1], (c.want.r * s->RedToGrayCoef() + c.want.g * s->GreenToGrayCoef() +
                        c.want.b * s->BlueToGrayCoef()) / 100);
  }
}
