// Pixel-format conversion: every pair of formats, the edge values of the
// conversion rules, and the in-place conversion through the PixelFormat write.

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/settings.h"
#include "core/cmyk.h"

namespace {

const TVXPixelFormat kFormats[] = {vx1g, vx8p, vx8g, vx16g, vx24RGB, vx32f, vxCMYK, vx48RGB, vxCIELab, vx32RGB};

const char* Name(TVXPixelFormat f) {
  static const char* names[] = {"vxnull", "vx1g",    "vx8p",     "vx8g",     "vx16g",  "vx24RGB",
                                "vx32f",  "vxCMYK", "vx48RGB", "vxCIELab", "vx32RGB"};
  return names[f];
}

// Plain arithmetic CMYK for exact expectations.
class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    savedCMYK = s->UseCMYKProfile();
    s->SetUseCMYKProfile(false);
  }
  void TearDown() override { VXGetGlobalSettings()->SetUseCMYKProfile(savedCMYK); }
  bool savedCMYK = true;
};

uint8_t* Row(TVXBitmap& b, int y) { return static_cast<uint8_t*>(b.GetScanLine(y)); }

// Writes black (white = false) or white into pixel x of row 0.
void PutBW(TVXBitmap& b, int x, bool white) {
  uint8_t* p = Row(b, 0);
  switch (b.PixelFormat()) {
    case vx1g: {
      const uint8_t m = uint8_t(0x80 >> (x & 7));
      p[x >> 3] = white ? (p[x >> 3] | m) : (p[x >> 3] & ~m);
      break;
    }
    case vx8p:
      b.SetPalette(0, TRGB{0, 0, 0});
      b.SetPalette(1, TRGB{255, 255, 255});
      p[x] = white ? 1 : 0;
      break;
    case vx8g:
      p[x] = white ? 255 : 0;
      break;
    case vx16g: {
      const uint16_t v = white ? 65535 : 0;
      std::memcpy(p + x * 2, &v, 2);
      break;
    }
    case vx24RGB:
      std::memset(p + x * 3, white ? 255 : 0, 3);
      break;
    case vx32f: {
      const float v = white ? 1.0f : 0.0f;
      std::memcpy(p + x * 4, &v, 4);
      break;
    }
    case vxCMYK: {
      const TCMYK c = white ? TCMYK{255, 255, 255, 255} : TCMYK{255, 255, 255, 0};
      std::memcpy(p + x * 4, &c, 4);
      break;
    }
    case vx48RGB: {
      const uint16_t v = white ? 65535 : 0;
      const TRGB48 c{v, v, v};
      std::memcpy(p + x * 6, &c, 6);
      break;
    }
    case vxCIELab: {
      const TCIELab c = white ? TCIELab{255, 0, 0} : TCIELab{0, 0, 0};
      std::memcpy(p + x * 3, &c, 3);
      break;
    }
    case vx32RGB: {
      const TRGBA c = white ? TRGBA{255, 255, 255, 255} : TRGBA{0, 0, 0, 255};
      std::memcpy(p + x * 4, &c, 4);
      break;
    }
    default:
      break;
  }
}

// 0 when pixel x of row 0 is black, 1 when white, -1 otherwise. Pairs that go
// through CIELab may be one 8-bit level (or its 16-bit equivalent) off.
int ReadBW(TVXBitmap& b, int x, bool viaLab) {
  const uint8_t* p = Row(b, 0);
  const int tol8 = viaLab ? 1 : 0;
  auto near8 = [&](int v, int want) { return std::abs(v - want) <= tol8; };
  auto classify3 = [&](int r, int g, int bl, int top) {
    const int tol = viaLab ? (top == 255 ? 1 : 257) : 0;
    if (std::abs(r) <= tol && std::abs(g) <= tol && std::abs(bl) <= tol) return 0;
    if (std::abs(r - top) <= tol && std::abs(g - top) <= tol && std::abs(bl - top) <= tol) return 1;
    return -1;
  };
  switch (b.PixelFormat()) {
    case vx1g:
      return (p[x >> 3] & (0x80 >> (x & 7))) ? 1 : 0;
    case vx8p: {
      const TRGB c = b.Palette(p[x]);
      return classify3(c.r, c.g, c.b, 255);
    }
    case vx8g:
      return near8(p[x], 0) ? 0 : (near8(p[x], 255) ? 1 : -1);
    case vx16g: {
      uint16_t v;
      std::memcpy(&v, p + x * 2, 2);
      const int tol = viaLab ? 257 : 0;
      return v <= tol ? 0 : (65535 - v <= tol ? 1 : -1);
    }
    case vx24RGB:
      return classify3(p[x * 3 + 2], p[x * 3 + 1], p[x * 3], 255);
    case vx32f: {
      float v;
      std::memcpy(&v, p + x * 4, 4);
      const float tol = viaLab ? 1.0f / 255 : 0.0f;
      if (v <= tol) return 0;
      // A 16-bit source's white lands slightly above 1.0 (65535 / 65280).
      if (v >= 1.0f - tol && v <= 65535.0f / 65280.0f + 1e-6f) return 1;
      return -1;
    }
    case vxCMYK: {
      const TCMYK c{p[x * 4], p[x * 4 + 1], p[x * 4 + 2], p[x * 4 + 3]};
      const TRGB rgb = VXCMYK2RGB(c);
      return classify3(rgb.r, rgb.g, rgb.b, 255);
    }
    case vx48RGB: {
      TRGB48 c;
      std::memcpy(&c, p + x * 6, 6);
      return classify3(c.r, c.g, c.b, 65535);
    }
    case vxCIELab: {
      const TRGB rgb = VXCIELab2RGB(TCIELab{p[x * 3], int8_t(p[x * 3 + 1]), int8_t(p[x * 3 + 2])});
      const int tol = 1;
      if (rgb.r <= tol && rgb.g <= tol && rgb.b <= tol) return 0;
      if (rgb.r >= 255 - tol && rgb.g >= 255 - tol && rgb.b >= 255 - tol) return 1;
      return -1;
    }
    case vx32RGB:
      if (p[x * 4 + 3] != 255) return -1;
      return classify3(p[x * 4 + 2], p[x * 4 + 1], p[x * 4], 255);
    default:
      return -1;
  }
}

}  // namespace

// Black and white survive every pair of formats, whatever the route.
TEST_F(ConvertTest, EveryPairKeepsBlackAndWhite) {
  for (TVXPixelFormat sf : kFormats)
    for (TVXPixelFormat df : kFormats) {
      if (sf == df) continue;
      SCOPED_TRACE(std::string(Name(sf)) + " -> " + Name(df));
      TVXBitmap src(10, 1, sf), dst(10, 1, df);
      ASSERT_FALSE(src.IsEmpty());
      for (int x = 0; x < 10; ++x) PutBW(src, x, x % 2 == 1);
      dst.CopyAndConvertFormat(&src);
      const bool viaLab = sf == vxCIELab || df == vxCIELab;
      for (int x = 0; x < 10; ++x) EXPECT_EQ(ReadBW(dst, x, viaLab), x % 2) << "pixel " << x;
      EXPECT_EQ(src.PixelFormat(), sf) << "the source must keep its format";
    }
}

// Mid values of each rule.
TEST_F(ConvertTest, RuleValues) {
  // G8, G16 and GF of (R 10, G 200, B 50).
  TVXBitmap rgb(1, 1, vx24RGB);
  Row(rgb, 0)[0] = 50;
  Row(rgb, 0)[1] = 200;
  Row(rgb, 0)[2] = 10;
  {
    TVXBitmap g(1, 1, vx8g);
    g.CopyAndConvertFormat(&rgb);
    EXPECT_EQ(Row(g, 0)[0], (10 * 21 + 200 * 71 + 50 * 8) / 100);
  }
  {
    TVXBitmap g(1, 1, vx16g);
    g.CopyAndConvertFormat(&rgb);
    uint16_t v;
    std::memcpy(&v, Row(g, 0), 2);
    EXPECT_EQ(v, (257u * 10 * 212 + 257u * 200 * 713 + 257u * 50 * 75) / 1000);
  }
  {
    TVXBitmap g(1, 1, vx32f);
    g.CopyAndConvertFormat(&rgb);
    float v;
    std::memcpy(&v, Row(g, 0), 4);
    EXPECT_FLOAT_EQ(v, float((0.2126L * 10 + 0.7152L * 200 + 0.0722L * 50) / 255));
  }
  {
    TVXBitmap c(1, 1, vx48RGB);
    c.CopyAndConvertFormat(&rgb);
    TRGB48 v;
    std::memcpy(&v, Row(c, 0), 6);
    EXPECT_EQ(v, (TRGB48{10 * 257, 200 * 257, 50 * 257}));
  }
  {
    TVXBitmap c(1, 1, vxCMYK);
    c.CopyAndConvertFormat(&rgb);
    const TCMYK v{Row(c, 0)[0], Row(c, 0)[1], Row(c, 0)[2], Row(c, 0)[3]};
    EXPECT_EQ(v, (TCMYK{10 * 255 / 200, 255, 50 * 255 / 200, 200}));
  }
  // vx48RGB: G8 of the high bytes, G16 on the words.
  TVXBitmap w48(1, 1, vx48RGB);
  const TRGB48 c48{0x1234, 0xABCD, 0x00FF};
  std::memcpy(Row(w48, 0), &c48, 6);
  {
    TVXBitmap g(1, 1, vx8g);
    g.CopyAndConvertFormat(&w48);
    EXPECT_EQ(Row(g, 0)[0], (0x12 * 21 + 0xAB * 71 + 0x00 * 8) / 100);
  }
  {
    TVXBitmap g(1, 1, vx16g);
    g.CopyAndConvertFormat(&w48);
    uint16_t v;
    std::memcpy(&v, Row(g, 0), 2);
    EXPECT_EQ(v, (0x1234u * 212 + 0xABCDu * 713 + 0x00FFu * 75) / 1000);
  }
  {
    TVXBitmap c(1, 1, vx32RGB);
    c.CopyAndConvertFormat(&w48);
    EXPECT_EQ(Row(c, 0)[0], 0x00);
    EXPECT_EQ(Row(c, 0)[1], 0xAB);
    EXPECT_EQ(Row(c, 0)[2], 0x12);
    EXPECT_EQ(Row(c, 0)[3], 255);
  }
}

// Float values: truncation toward zero, clamped to the target's range.
TEST_F(ConvertTest, FloatToIntegerTruncatesAndClamps) {
  struct Case {
    float v;
    uint8_t g8;
    uint16_t g16;
  } cases[] = {{1.0f, 255, 65535}, {0.999f, 254, 65469}, {0.0f, 0, 0},
               {1.5f, 255, 65535}, {-0.5f, 0, 0},        {65535.0f / 65280.0f, 255, 65535}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    TVXBitmap f(1, 1, vx32f);
    std::memcpy(Row(f, 0), &c.v, 4);
    TVXBitmap g8(1, 1, vx8g), g16(1, 1, vx16g), rgb(1, 1, vx24RGB), pal(1, 1, vx8p);
    g8.CopyAndConvertFormat(&f);
    g16.CopyAndConvertFormat(&f);
    rgb.CopyAndConvertFormat(&f);
    pal.CopyAndConvertFormat(&f);
    EXPECT_EQ(Row(g8, 0)[0], c.g8);
    uint16_t v16;
    std::memcpy(&v16, Row(g16, 0), 2);
    EXPECT_EQ(v16, c.g16);
    EXPECT_EQ(Row(rgb, 0)[0], c.g8);
    EXPECT_EQ(Row(rgb, 0)[2], c.g8);
    EXPECT_EQ(Row(pal, 0)[0], c.g8);
    EXPECT_EQ(pal.Palette(c.g8), (TRGB{c.g8, c.g8, c.g8}));
  }
}

TEST_F(ConvertTest, Grey16ToGrey8TakesTheHighByte) {
  TVXBitmap g16(2, 1, vx16g);
  const uint16_t v[2] = {65535, 255};
  std::memcpy(Row(g16, 0), v, 4);
  TVXBitmap g8(2, 1, vx8g);
  g8.CopyAndConvertFormat(&g16);
  EXPECT_EQ(Row(g8, 0)[0], 255);
  EXPECT_EQ(Row(g8, 0)[1], 0);
}

TEST_F(ConvertTest, GreyTo24WithBlackAndWhitePoints) {
  const uint8_t in[] = {0, 5, 10, 15, 20, 30, 255};
  const uint8_t want[] = {0, 0, 0, 127, 255, 255, 255};
  TVXBitmap g(7, 1, vx8g);
  std::memcpy(Row(g, 0), in, 7);
  TVXBitmap rgb(7, 1, vx24RGB);
  rgb.SetBlackValue(10);
  rgb.SetWhiteValue(20);
  rgb.CopyAndConvertFormat(&g);
  for (int x = 0; x < 7; ++x) {
    EXPECT_EQ(Row(rgb, 0)[x * 3], want[x]) << "value " << int(in[x]);
    EXPECT_EQ(Row(rgb, 0)[x * 3 + 2], want[x]);
  }
  EXPECT_EQ(rgb.BlackValue(), 0);
  EXPECT_EQ(rgb.WhiteValue(), 0);

  // Fractional points never wrap a value past white.
  TVXBitmap rgb2(7, 1, vx24RGB);
  rgb2.SetBlackValue(10.5);
  rgb2.SetWhiteValue(20);
  rgb2.CopyAndConvertFormat(&g);
  EXPECT_EQ(Row(rgb2, 0)[6 * 3], 255);

  // Equal points: plain grey, vx16g by its high byte.
  TVXBitmap g16(1, 1, vx16g);
  const uint16_t v = 0x1234;
  std::memcpy(Row(g16, 0), &v, 2);
  TVXBitmap rgb3(1, 1, vx24RGB);
  rgb3.SetBlackValue(7);
  rgb3.SetWhiteValue(7);
  rgb3.CopyAndConvertFormat(&g16);
  EXPECT_EQ(Row(rgb3, 0)[0], 0x12);
  EXPECT_EQ(Row(rgb3, 0)[1], 0x12);
  EXPECT_EQ(Row(rgb3, 0)[2], 0x12);
}

TEST_F(ConvertTest, OrderedDitherOfWhiteGrey) {
  TVXBitmap g(16, 16, vx8g);
  for (int y = 0; y < 16; ++y) std::memset(Row(g, y), 255, 16);
  TVXBitmap bw(16, 16, vx1g);
  bw.SetDefaultDitherMethod(vxOrdered);
  bw.CopyAndConvertFormat(&g);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool white = Row(bw, y)[x >> 3] & (0x80 >> (x & 7));
      EXPECT_EQ(white, !((x & 7) == 7 && (y & 7) == 0)) << x << "," << y;
    }
  // Black is black everywhere.
  for (int y = 0; y < 16; ++y) std::memset(Row(g, y), 0, 16);
  bw.CopyAndConvertFormat(&g);
  for (int y = 0; y < 16; ++y) EXPECT_EQ(Row(bw, y)[0] | Row(bw, y)[1], 0);
}

TEST_F(ConvertTest, OneBitDestinationKeepsPaddingBits) {
  TVXBitmap g(3, 1, vx8g);
  const uint8_t v[3] = {255, 0, 255};
  std::memcpy(Row(g, 0), v, 3);
  for (TVXDitherMethod m : {vxThreshold, vxDithering}) {
    TVXBitmap bw(3, 1, vx1g);
    bw.SetDefaultDitherMethod(m);
    Row(bw, 0)[0] = 0x1F;  // padding bits set
    bw.CopyAndConvertFormat(&g);
    EXPECT_EQ(Row(bw, 0)[0], 0xBF) << "method " << int(m);
  }
}

// vxDithering diffuses the error (Floyd-Steinberg): a flat mid grey becomes a
// balanced pattern instead of one flat colour.
TEST_F(ConvertTest, DitheringToOneBitDiffusesError) {
  TVXBitmap g(16, 16, vx8g);
  for (int y = 0; y < 16; ++y) std::memset(Row(g, y), 128, 16);
  TVXBitmap bw(16, 16, vx1g);
  bw.SetDefaultDitherMethod(vxDithering);
  bw.CopyAndConvertFormat(&g);
  int white = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) white += (Row(bw, y)[x >> 3] >> (7 - (x & 7))) & 1;
  EXPECT_NEAR(white, 128, 8);
  EXPECT_TRUE(Row(bw, 0)[0] & 0x80) << "the first pixel of a flat 128 is white";
}

TEST_F(ConvertTest, OneBitToPaletteSetsOnlyTwoEntries) {
  TVXBitmap bw(8, 1, vx1g);
  Row(bw, 0)[0] = 0xA5;
  TVXBitmap pal(8, 1, vx8p);
  for (int i = 0; i < 256; ++i) pal.SetPalette(i, TRGB{7, 7, 7});
  pal.CopyAndConvertFormat(&bw);
  EXPECT_EQ(pal.Palette(0), (TRGB{0, 0, 0}));
  EXPECT_EQ(pal.Palette(1), (TRGB{255, 255, 255}));
  for (int i = 2; i < 256; ++i) EXPECT_EQ(pal.Palette(i), (TRGB{7, 7, 7}));
  const uint8_t want[8] = {1, 0, 1, 0, 0, 1, 0, 1};
  EXPECT_EQ(std::memcmp(Row(pal, 0), want, 8), 0);
}

TEST_F(ConvertTest, RgbToPaletteQuantisesToPaletteUsed) {
  TVXBitmap rgb(32, 32, vx24RGB);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      uint8_t* p = Row(rgb, y) + x * 3;
      p[0] = uint8_t(x * 8);
      p[1] = uint8_t(y * 8);
      p[2] = uint8_t(255 - x * 4);
    }
  TVXBitmap pal(32, 32, vx8p);
  pal.SetPaletteUsed(16);
  pal.CopyAndConvertFormat(&rgb);
  EXPECT_EQ(pal.PaletteUsed(), 16);
  double err = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint8_t idx = Row(pal, y)[x];
      ASSERT_LT(idx, 16);
      const TRGB c = pal.Palette(idx);
      const uint8_t* p = Row(rgb, y) + x * 3;
      err += std::abs(c.b - p[0]) + std::abs(c.g - p[1]) + std::abs(c.r - p[2]);
    }
  EXPECT_LT(err / (32 * 32 * 3), 24.0);
}

// Routes through 24-bit RGB convert a copy: the caller's source is unchanged.
TEST_F(ConvertTest, RoutedConversionLeavesSourceUnchanged) {
  struct Case {
    TVXPixelFormat src, dst;
    TVXDitherMethod dither;
  } cases[] = {{vxCMYK, vx8g, vxThreshold},   {vx48RGB, vx8p, vxThreshold}, {vx48RGB, vx1g, vxThreshold},
               {vx32RGB, vx16g, vxThreshold}, {vxCIELab, vx1g, vxOrdered},  {vx8g, vxCMYK, vxThreshold}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(Name(c.src)) + " -> " + Name(c.dst));
    TVXBitmap src(4, 2, c.src);
    for (int y = 0; y < 2; ++y)
      for (int i = 0; i < src.RowLen(); ++i) Row(src, y)[i] = uint8_t(37 * i + 11 * y);
    for (int y = 0; y < 2; ++y) std::memset(src.AlphaChannel()->GetScanLine(y), 100, 4);
    TVXBitmap before(&src);
    TVXBitmap dst(4, 2, c.dst);
    dst.SetDefaultDitherMethod(c.dither);
    dst.CopyAndConvertFormat(&src);
    EXPECT_EQ(src.PixelFormat(), c.src);
    for (int y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(Row(src, y), Row(before, y), size_t(src.RowLen())), 0);
    ASSERT_TRUE(dst.HasAlphaChannel());
    EXPECT_EQ(static_cast<uint8_t*>(dst.AlphaChannel()->GetScanLine(1))[3], 100);
  }
}

TEST_F(ConvertTest, Rgba32To24DropsFourthByteAndCopiesAlpha) {
  TVXBitmap src(2, 1, vx32RGB);
  const uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::memcpy(Row(src, 0), px, 8);
  static_cast<uint8_t*>(src.AlphaChannel()->GetScanLine(0))[1] = 9;
  TVXBitmap dst(2, 1, vx24RGB);
  dst.CopyAndConvertFormat(&src);
  const uint8_t want[6] = {1, 2, 3, 5, 6, 7};
  EXPECT_EQ(std::memcmp(Row(dst, 0), want, 6), 0);
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(static_cast<uint8_t*>(dst.AlphaChannel()->GetScanLine(0))[1], 9);
}

TEST_F(ConvertTest, NothingIsWrittenForSameFormatOrSizeMismatch) {
  TVXBitmap src(4, 4, vx8g), same(4, 4, vx8g), other(5, 4, vx24RGB);
  for (int y = 0; y < 4; ++y) {
    std::memset(Row(src, y), 200, 4);
    std::memset(Row(same, y), 3, 4);
  }
  for (int y = 0; y < 4; ++y) std::memset(Row(other, y), 9, 15);
  same.CopyAndConvertFormat(&src);
  other.CopyAndConvertFormat(&src);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(Row(same, y)[2], 3);
    EXPECT_EQ(Row(other, y)[2], 9);
  }
  EXPECT_FALSE(other.HasAlphaChannel());
}

// The PixelFormat write converts in place, keeps the alpha channel and
// consumes the black and white points.
TEST_F(ConvertTest, InPlaceConversion) {
  TVXBitmap b(3, 2, vx24RGB);
  const TRGB colors[3] = {{10, 20, 30}, {200, 100, 0}, {255, 255, 255}};
  for (int y = 0; y < 2; ++y) std::memcpy(Row(b, y), colors, 9);
  for (int y = 0; y < 2; ++y) std::memset(b.AlphaChannel()->GetScanLine(y), 77, 3);
  b.SetPixelFormat(vx8p);
  ASSERT_EQ(b.PixelFormat(), vx8p);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(b.Palette(Row(b, 1)[x]), colors[x]);
  b.SetPixelFormat(vx48RGB);
  b.SetPixelFormat(vx24RGB);
  ASSERT_EQ(b.PixelFormat(), vx24RGB);
  EXPECT_EQ(std::memcmp(Row(b, 1), colors, 9), 0);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(static_cast<uint8_t*>(b.AlphaChannel()->GetScanLine(1))[2], 77);

  TVXBitmap g(1, 1, vx8g);
  Row(g, 0)[0] = 15;
  g.SetBlackValue(10);
  g.SetWhiteValue(20);
  g.SetPixelFormat(vx24RGB);
  EXPECT_EQ(Row(g, 0)[1], 127);
  EXPECT_EQ(g.BlackValue(), 0);
  EXPECT_EQ(g.WhiteValue(), 0);
}

// Restores the storage settings and the block limit that a test changes.
class ConvertStorageTest : public ConvertTest {
 protected:
  void SetUp() override {
    ConvertTest::SetUp();
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    savedAutoLocate = s->AutoLocateOnDisk();
    savedAutoFragment = s->AutoFragmentBitmap();
    savedMaxBlock = VXMaxMemoryBlock();
  }
  void TearDown() override {
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    s->SetAutoLocateOnDisk(savedAutoLocate);
    s->SetAutoFragmentBitmap(savedAutoFragment);
    VXSetMaxMemoryBlock(savedMaxBlock);
    ConvertTest::TearDown();
  }
  bool savedAutoLocate = true;
  bool savedAutoFragment = true;
  int64_t savedMaxBlock = -1;
};

// A format change whose new storage is refused (no block that large, no
// fragments, no disk) raises and keeps the old image and its alpha channel.
TEST_F(ConvertStorageTest, RefusedStorageKeepsTheImage) {
  TVXBitmap b;
  b.SetMinFileSize(INT64_MAX);  // rows in memory only
  ASSERT_TRUE(b.Allocate(64, 64, vx8g));
  for (int y = 0; y < 64; ++y) std::memset(Row(b, y), y, 64);
  std::memset(b.AlphaChannel()->GetScanLine(3), 99, 64);
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  s->SetAutoLocateOnDisk(false);
  s->SetAutoFragmentBitmap(false);
  VXSetMaxMemoryBlock(8192);  // the vx8g rows fit, the vx48RGB rows (24 KB) do not
  EXPECT_THROW(b.SetPixelFormat(vx48RGB), EVXException);
  VXSetMaxMemoryBlock(savedMaxBlock);
  ASSERT_EQ(b.PixelFormat(), vx8g);
  ASSERT_EQ(b.Width(), 64);
  ASSERT_EQ(b.Height(), 64);
  for (int y = 0; y < 64; ++y) ASSERT_EQ(Row(b, y)[17], y) << y;
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(static_cast<uint8_t*>(b.AlphaChannel()->GetScanLine(3))[10], 99);
}

namespace {

// Sanitizers reserve a huge shadow address space, so a cap on the address
// space cannot be used under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSpaceCapUsable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kAddressSpaceCapUsable = false;
#else
constexpr bool kAddressSpaceCapUsable = true;
#endif
#else
constexpr bool kAddressSpaceCapUsable = true;
#endif

}  // namespace

// A format change whose new storage the system cannot give raises and keeps
// the old image. Run in a child process whose address space is capped; every
// setting that decides where the rows may go is fixed in the child.
TEST_F(ConvertTest, FailedAllocationKeepsTheImage) {
  if (!kAddressSpaceCapUsable) GTEST_SKIP() << "an address-space cap does not work under a sanitizer";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    s->SetAutoLocateOnDisk(false);   // no temporary file to fall back on
    s->SetAutoFragmentBitmap(true);  // the fragments must fail too
    VXSetMaxMemoryBlock(-1);         // only the system refuses
    // Memory the parent freed stays mapped and may be handed out again under
    // the cap: the new rows must need far more than that.
    const size_t heapFree = mallinfo2().fordblks;
    const int32_t w = 8000;  // vx1g rows of 1000 bytes, vx48RGB rows of 48000
    const int32_t h = int32_t(std::max<size_t>(8000, (heapFree + (size_t(512) << 20)) / 48000));
    TVXBitmap b;
    b.SetMinFileSize(INT64_MAX);  // rows in memory only
    if (!b.Allocate(w, h, vx1g)) _exit(2);
    for (int y = 0; y < h; ++y) std::memset(b.GetScanLine(y), y & 0xFF, 1000);
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t cap = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + 64 * 1024 * 1024;
    const rlimit lim{cap, cap};
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(3);
    bool raised = false;
    try {
      b.SetPixelFormat(vx48RGB);  // 48 times the vx1g rows, far above the cap
    } catch (const EVXException&) {
      raised = true;
    }
    if (!raised) _exit(4);
    if (b.PixelFormat() != vx1g || b.Width() != w || b.Height() != h) _exit(5);
    if (static_cast<uint8_t*>(b.GetScanLine(1234))[5] != (1234 & 0xFF)) _exit(6);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

