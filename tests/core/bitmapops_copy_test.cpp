// Rectangle copies between bitmaps, alpha merges, and copies to and from a
// selection mask, in memory and in a temporary file.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "tests/core/bitmapops_fixture.h"

using namespace bitmapops_test;

namespace {

class CopyInStorage : public testing::TestWithParam<Storage> {};

INSTANTIATE_TEST_SUITE_P(Storages, CopyInStorage, testing::Values(Storage::Memory, Storage::File), StorageName);

// Distinct bytes for every pixel of a format of 8 bits or more.
std::vector<uint8_t> Pattern(TVXPixelFormat f, int32_t x, int32_t y) {
  std::vector<uint8_t> v(size_t(PixelBytes(f)));
  for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(1 + x * 16 + y * 3 + int32_t(i) * 50);
  return v;
}

void PaintPattern(TVXBitmap& b) {
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) SetRawPixel(b, x, y, Pattern(b.PixelFormat(), x, y));
}

// Rows of a 24-bit bitmap as text: each pixel its blue byte as a letter
// ('.' for 0), so that pixel sources can be read off.
std::string Row24(const TVXBitmap& b, int32_t y) {
  std::string s;
  for (int32_t x = 0; x < b.Width(); ++x) {
    const uint8_t v = b.Pixels_vx24RGB(x, y).b;
    s += v == 0 ? '.' : char('a' + v - 1);
  }
  return s;
}

// A 24-bit bitmap whose pixel (x, y) has blue 1 + x + 10 * y ("abc...").
std::unique_ptr<TVXBitmap> Letters(int32_t w, int32_t h, Storage s) {
  auto b = MakeBitmap(w, h, vx24RGB, s);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(1 + x + 10 * y), 0, 0});
  return b;
}

std::string Bits(const TVXBitmap& b, int32_t y) {
  std::string s;
  for (int32_t x = 0; x < b.Width(); ++x) s += b.Pixels_vx1g(x, y) ? '1' : '0';
  return s;
}

}  // namespace

TEST_P(CopyInStorage, SameFormatRectangleCopiesForEveryFormat) {
  for (TVXPixelFormat f : {vx8p, vx8g, vx16g, vx24RGB, vx32f, vxCMYK, vx48RGB, vxCIELab, vx32RGB}) {
    auto src = MakeBitmap(7, 5, f, GetParam());
    PaintPattern(*src);
    // The destination in the other storage.
    auto dst = MakeBitmap(6, 4, f, GetParam() == Storage::File ? Storage::Memory : Storage::File);
    dst->Fill(0);
    const auto zero = RawPixel(*dst, 0, 0);
    src->CopyRectTo(dst.get(), 2, 1, 3, 2, 10, 10);  // clipped to 3 x 2
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 6; ++x) {
        const bool inside = x >= 3 && y >= 2;
        ASSERT_EQ(RawPixel(*dst, x, y), inside ? Pattern(f, x - 1, y - 1) : zero) << int(f) << " " << x << "," << y;
      }
  }
}

TEST_P(CopyInStorage, ClippingFollowsTheDestinationAndSourceEdges) {
  struct Case {
    std::string name;
    int32_t srcX, srcY, dstX, dstY, w, h;
    std::vector<std::string> expected;  // rows of the 10 x 3 destination
  };
  const std::vector<Case> cases = {
      {"plain", 1, 0, 2, 1, 3, 1, {"..........", "..bcd.....", ".........."}},
      {"negative DstX moves the source start", 0, 0, -3, 0, 10, 1, {"defghij...", "..........", ".........."}},
      {"negative DstY moves the source row", 0, 0, 0, -1, 2, 2, {"kl........", "..........", ".........."}},
      {"negative SrcX reads from column 0 at full width", -3, 0, 5, 2, 4, 1,
       {"..........", "..........", ".....abcd."}},
      {"DstX past the edge copies one column", 4, 1, 10, 0, 3, 2, {".........o", ".........y", ".........."}},
      {"source right edge", 10, 1, 0, 0, 5, 1, {"u.........", "..........", ".........."}},
      {"destination right and bottom edges", 0, 0, 8, 1, 5, 5, {"..........", "........ab", "........kl"}},
  };
  for (const Case& c : cases) {
    auto src = Letters(11, 3, GetParam());
    auto dst = MakeBitmap(10, 3, vx24RGB, GetParam());
    dst->Fill(0);
    src->CopyRectTo(dst.get(), c.srcX, c.srcY, c.dstX, c.dstY, c.w, c.h);
    for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(Row24(*dst, y), c.expected[size_t(y)]) << c.name << " row " << y;
  }
}

TEST_P(CopyInStorage, EmptyRectanglesAndBitmapsCopyNothing) {
  auto src = Letters(5, 3, GetParam());
  auto dst = MakeBitmap(5, 3, vx24RGB, GetParam());
  dst->Fill(0);
  for (const auto& [sx, sy, dx, dy, w, h] :
       {std::tuple{0, 0, 0, 0, 0, 3}, std::tuple{0, 0, 0, 0, 3, 0}, std::tuple{0, 0, 0, 0, -4, 2},
        std::tuple{0, 0, -10, 0, 5, 3}, std::tuple{0, 0, 0, -3, 5, 3}, std::tuple{0, 0, INT_MIN, INT_MIN, INT_MAX, 3}}) {
    src->CopyRectTo(dst.get(), sx, sy, dx, dy, w, h);
  }
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(Row24(*dst, y), ".....") << y;

  // A huge source origin is clamped to the last column and row.
  src->CopyRectTo(dst.get(), INT_MAX, INT_MAX, 0, 0, INT_MAX, INT_MAX);
  EXPECT_EQ(Row24(*dst, 0), "y....");

  TVXBitmap empty;
  empty.CopyRectTo(dst.get(), 0, 0, 0, 0, 5, 5);
  src->CopyRectTo(&empty, 0, 0, 0, 0, 5, 5);
  src->CopyRectTo(nullptr, 0, 0, 0, 0, 5, 5);
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(Row24(*dst, 0), "y....");
}

TEST_P(CopyInStorage, DifferentFormatsCopyNothingExceptOneBitIntoRGB) {
  auto rgb = Letters(4, 2, GetParam());
  auto grey = MakeBitmap(4, 2, vx8g, GetParam());
  grey->Fill(9);
  rgb->CopyRectTo(grey.get(), 0, 0, 0, 0, 4, 2);
  grey->CopyRectTo(rgb.get(), 0, 0, 0, 0, 4, 2);
  EXPECT_EQ(grey->Pixels_vx8(1, 1), 9);
  EXPECT_EQ(Row24(*rgb, 0), "abcd");

  auto bw = MakeBitmap(4, 2, vx1g, GetParam());
  bw->Fill(0);
  bw->SetPixels_vx1g(1, 0, true);
  bw->SetPixels_vx1g(3, 1, true);
  bw->CopyRectTo(rgb.get(), 0, 0, 0, 0, 4, 2);
  EXPECT_EQ(rgb->Pixels_vx24RGB(1, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(rgb->Pixels_vx24RGB(0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(rgb->Pixels_vx24RGB(3, 1), (TRGB{255, 255, 255}));
  EXPECT_EQ(rgb->Pixels_vx24RGB(2, 1), (TRGB{0, 0, 0}));
}

TEST_P(CopyInStorage, OneBitRunsKeepTheNeighbouringBits) {
  auto src = MakeBitmap(21, 2, vx1g, GetParam());
  src->Fill(0);
  for (int32_t x : {0, 3, 4, 5, 9, 12, 13, 14, 15, 16, 20}) src->SetPixels_vx1g(x, 1, true);
  struct Case {
    int32_t srcX, dstX, w;
    bool fillDest;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {3, 5, 11, false, "0000011100010011000000"},
      {3, 5, 11, true, "1111111100010011111111"},
      {0, 0, 21, false, "1001110001001111100010"},
      {9, 1, 8, true, "1100111111111111111111"},
      {13, 13, 8, true, "1111111111111111100011"},
      {1, 21, 5, true, "1111111111111111111110"},  // clamped to the last column: one bit
  };
  for (const Case& c : cases) {
    auto dst = MakeBitmap(22, 1, vx1g, GetParam());
    dst->Fill(c.fillDest ? 1 : 0);
    src->CopyRectTo(dst.get(), c.srcX, 1, c.dstX, 0, c.w, 1);
    EXPECT_EQ(Bits(*dst, 0), c.expected) << c.srcX << " " << c.dstX << " " << c.w << " " << c.fillDest;
  }
}

TEST_P(CopyInStorage, CopyWithinOneBitmapHandlesOverlap) {
  auto b = Letters(6, 3, GetParam());
  b->CopyRectTo(b.get(), 0, 0, 1, 1, 4, 3);  // down and right, overlapping
  EXPECT_EQ(Row24(*b, 0), "abcdef");
  EXPECT_EQ(Row24(*b, 1), "kabcdp");
  EXPECT_EQ(Row24(*b, 2), "uklmnz");

  auto c = Letters(6, 3, GetParam());
  c->CopyRectTo(c.get(), 1, 1, 0, 0, 5, 3);  // up and left
  EXPECT_EQ(Row24(*c, 0), "lmnopf");
  EXPECT_EQ(Row24(*c, 1), "vwxyzp");
  EXPECT_EQ(Row24(*c, 2), "uvwxyz");

  auto bits = MakeBitmap(10, 3, vx1g, GetParam());
  bits->Fill(0);
  bits->SetPixels_vx1g(2, 0, true);
  bits->SetPixels_vx1g(3, 1, true);
  bits->CopyRectTo(bits.get(), 0, 0, 1, 1, 9, 2);
  EXPECT_EQ(Bits(*bits, 0), "0010000000");
  EXPECT_EQ(Bits(*bits, 1), "0001000000");
  EXPECT_EQ(Bits(*bits, 2), "0000100000");
}

TEST_P(CopyInStorage, VirtualPixelsAreRenderedIntoRGB) {
  TVXBitmap v;
  ASSERT_TRUE(v.Allocate(8, 8, vx24RGB));
  std::vector<std::pair<int32_t, int32_t>> calls;
  v.OnRenderVirtualPixel = [&](TVXBitmap* sender, int32_t x, int32_t y, TRGB& out) {
    EXPECT_EQ(sender, &v);
    calls.emplace_back(x, y);
    out = TRGB{uint8_t(x), uint8_t(y), 7};
  };
  auto dst = MakeBitmap(4, 4, vx24RGB, GetParam());
  dst->Fill(0);
  calls.clear();
  v.CopyRectTo(dst.get(), 5, 6, 1, 2, 2, 2);
  EXPECT_EQ(calls.size(), 4u);
  EXPECT_EQ(dst->Pixels_vx24RGB(1, 2), (TRGB{5, 6, 7}));
  EXPECT_EQ(dst->Pixels_vx24RGB(2, 3), (TRGB{6, 7, 7}));
  EXPECT_EQ(dst->Pixels_vx24RGB(0, 2), (TRGB{0, 0, 0}));
}

TEST_P(CopyInStorage, CopyRectLeavesAlphaAndPaletteAlone) {
  auto src = MakeBitmap(3, 3, vx8p, GetParam());
  src->Fill(1);
  src->SetPalette(1, TRGB{1, 1, 1});
  src->AlphaChannel()->Fill(0);
  auto dst = MakeBitmap(3, 3, vx8p, GetParam());
  dst->Fill(0);
  dst->SetPalette(1, TRGB{9, 9, 9});
  src->CopyRectTo(dst.get(), 0, 0, 0, 0, 3, 3);
  EXPECT_EQ(dst->Pixels_vx8(2, 2), 1);
  EXPECT_EQ(dst->Palette(1), (TRGB{9, 9, 9}));
  EXPECT_FALSE(dst->HasAlphaChannel());
}

TEST_P(CopyInStorage, MergeAlphaKeepsTheLargerValue) {
  auto src = MakeBitmap(4, 3, vx24RGB, GetParam());
  auto dst = MakeBitmap(4, 3, vx24RGB, GetParam());
  src->AlphaChannel()->Fill(0);
  src->SetAlpha(0, 0, 200);
  src->SetAlpha(1, 0, 50);
  dst->AlphaChannel()->Fill(100);
  src->MergeAlphaRectTo(dst.get(), 0, 0, 1, 1, 2, 5);
  const int32_t expected[3][4] = {{100, 100, 100, 100}, {100, 200, 100, 100}, {100, 100, 100, 100}};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(dst->Alpha(x, y), expected[y][x]) << x << "," << y;

  // A destination without a channel gets an opaque one, which stays opaque.
  auto plain = MakeBitmap(4, 3, vx24RGB, GetParam());
  src->MergeAlphaRectTo(plain.get(), 0, 0, 0, 0, 4, 3);
  ASSERT_TRUE(plain->HasAlphaChannel());
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(plain->Alpha(x, y), 255);

  // A source without a channel gets one too.
  auto none = MakeBitmap(2, 2, vx24RGB, GetParam());
  none->MergeAlphaRectTo(dst.get(), 0, 0, 0, 0, 2, 2);
  EXPECT_TRUE(none->HasAlphaChannel());
  EXPECT_EQ(dst->Alpha(0, 0), 255);
}

TEST_P(CopyInStorage, MaskRoundTripsThroughOneAndEightBitBitmaps) {
  for (int32_t depth : {1, 8}) {
    TVXMask m;
    m.AllocateBits(11, 4, depth);
    m.SetRectangle(2, 1, 9, 2, depth == 1 ? 1 : 200);
    m.SetPixel(10, 3, 255);
    auto b = MakeBitmap(1, 1, vx24RGB, GetParam());
    b->CopyFromTVXMask(&m);
    ASSERT_EQ(b->PixelFormat(), depth == 1 ? vx1g : vx8g);
    ASSERT_EQ(b->Width(), 11);
    ASSERT_EQ(b->Height(), 4);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 11; ++x) {
        if (depth == 1)
          EXPECT_EQ(b->Pixels_vx1g(x, y), m.GetPixel(x, y) != 0) << x << "," << y;
        else
          EXPECT_EQ(b->Pixels_vx8(x, y), m.GetPixel(x, y)) << x << "," << y;
      }
    EXPECT_FALSE(b->Full());

    TVXMask back;
    b->SetFull(true);
    b->CopyToTVXMask(&back);
    EXPECT_EQ(back.BitsPerPixel(), depth);
    EXPECT_TRUE(back.Full());
    EXPECT_TRUE(back.IsEmpty());  // the box is not recomputed
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 11; ++x) EXPECT_EQ(back.GetPixel(x, y), m.GetPixel(x, y)) << x << "," << y;
  }
}

TEST_P(CopyInStorage, MaskFromRGBIsGreyAndOtherFormatsAreIgnored) {
  auto rgb = MakeBitmap(2, 1, vx24RGB, GetParam());
  rgb->SetPixels_vx24RGB(0, 0, TRGB{50, 100, 200});
  rgb->SetPixels_vx24RGB(1, 0, TRGB{255, 255, 255});
  rgb->SetFull(true);
  TVXMask m;
  rgb->CopyToTVXMask(&m);
  EXPECT_EQ(m.BitsPerPixel(), 8);
  EXPECT_EQ(m.GetPixel(0, 0), 117);
  EXPECT_EQ(m.GetPixel(1, 0), 255);
  EXPECT_FALSE(m.Full());

  auto grey16 = MakeBitmap(3, 3, vx16g, GetParam());
  grey16->CopyToTVXMask(&m);
  EXPECT_EQ(m.Width(), 2);

  TVXMask odd;
  odd.AllocateBits(3, 3, 4);
  auto keep = MakeBitmap(2, 2, vx8g, GetParam());
  keep->Fill(5);
  keep->CopyFromTVXMask(&odd);
  EXPECT_EQ(keep->Width(), 2);
  EXPECT_EQ(keep->Pixels_vx8(1, 1), 5);
  keep->CopyToTVXMask(nullptr);
}

TEST_P(CopyInStorage, NilMaskMakesAnAlphaChannelOpaque) {
  auto b = MakeBitmap(3, 2, vx24RGB, GetParam());
  TVXBitmap* a = b->AlphaChannel();
  a->Fill(0);
  a->CopyFromTVXMask(nullptr);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(a->Pixels_vx8(x, y), 255);
  EXPECT_TRUE(a->Full());
}

TEST_P(CopyInStorage, AlphaTravelsOutThroughAMaskAndBackIn) {
  auto src = MakeBitmap(5, 4, vx24RGB, GetParam());
  src->Fill(double(0x00FF00));
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) src->SetAlpha(x, y, uint8_t(x * 60 + y));
  TVXMask carrier;
  src->AlphaChannel()->CopyToTVXMask(&carrier);
  ASSERT_EQ(carrier.BitsPerPixel(), 8);

  auto dst = MakeBitmap(5, 4, vx24RGB, GetParam());
  dst->AlphaChannel()->CopyFromTVXMask(&carrier);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(dst->Alpha(x, y), x * 60 + y) << x << "," << y;
  EXPECT_FALSE(dst->AlphaChannel()->Full());
}

// Moving a region: the old place is filled only with FillSource, the copy is
// clipped at the bitmap's edges and the alpha channel stays where it was.
TEST(MoveRegion, FillsTheOldPlaceClipsAndLeavesAlpha) {
  const struct {
    int32_t dstX, dstY;
    bool fill;
    const char* want;  // rows of the 5 x 3 result, one digit a pixel
  } cases[] = {
      {4, 2, true, "01234" "59989" "09936"},  // only the top-left pixel lands
      {4, 2, false, "01234" "56789" "01236"},
      {-1, -1, true, "21234" "59989" "09934"},  // only the bottom-right pixel lands
  };
  for (auto c : cases) {
    TVXBitmap b(5, 3, vx8g);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 5; ++x) b.SetPixels_vx8(x, y, uint8_t((y * 5 + x) % 10));
    TVXBitmap* a = b.AlphaChannel();
    a->SetPixels_vx8(1, 1, 7);
    b.MoveRegion(1, 1, 2, 2, c.dstX, c.dstY, 9, c.fill);
    std::string got;
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 5; ++x) got += char('0' + b.Pixels_vx8(x, y));
    EXPECT_EQ(got, c.want) << c.dstX << "," << c.dstY << " fill " << c.fill;
    EXPECT_EQ(a->Pixels_vx8(1, 1), 7);
    EXPECT_EQ(a->Pixels_vx8(3, 1), 255);
  }
}
