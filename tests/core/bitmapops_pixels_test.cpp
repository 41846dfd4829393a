// Pixel access, palette accessors and fills of TVXBitmap, in memory and in a
// temporary file.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/cmyk.h"
#include "platform/win_syscolors.h"
#include "tests/core/bitmapops_fixture.h"

using namespace bitmapops_test;

namespace {

class PixelsInStorage : public testing::TestWithParam<Storage> {};

INSTANTIATE_TEST_SUITE_P(Storages, PixelsInStorage, testing::Values(Storage::Memory, Storage::File), StorageName);

constexpr TRGB kColor{50, 100, 200};  // blue 50, green 100, red 200

}  // namespace

TEST_P(PixelsInStorage, TypedAccessorsRoundTripAndKeepFullHonest) {
  struct Case {
    std::string name;
    TVXPixelFormat format;
    std::function<void(TVXBitmap&)> write;
    std::function<bool(const TVXBitmap&)> readBack;
    bool fullAfter;
  };
  const std::vector<Case> cases = {
      {"1g set", vx1g, [](TVXBitmap& b) { b.SetPixels_vx1g(9, 2, true); },
       [](const TVXBitmap& b) { return b.Pixels_vx1g(9, 2) && !b.Pixels_vx1g(8, 2); }, true},
      {"1g clear", vx1g, [](TVXBitmap& b) { b.SetPixels_vx1g(9, 2, false); },
       [](const TVXBitmap& b) { return !b.Pixels_vx1g(9, 2); }, false},
      {"8 max", vx8g, [](TVXBitmap& b) { b.SetPixels_vx8(3, 1, 255); },
       [](const TVXBitmap& b) { return b.Pixels_vx8(3, 1) == 255; }, true},
      {"8 below", vx8p, [](TVXBitmap& b) { b.SetPixels_vx8(3, 1, 254); },
       [](const TVXBitmap& b) { return b.Pixels_vx8(3, 1) == 254; }, false},
      {"16 max", vx16g, [](TVXBitmap& b) { b.SetPixels_vx16g(10, 2, 65535); },
       [](const TVXBitmap& b) { return b.Pixels_vx16g(10, 2) == 65535; }, true},
      {"16 below", vx16g, [](TVXBitmap& b) { b.SetPixels_vx16g(10, 2, 0x1234); },
       [](const TVXBitmap& b) { return b.Pixels_vx16g(10, 2) == 0x1234; }, false},
      {"32f above one", vx32f, [](TVXBitmap& b) { b.SetPixels_vx32f(1, 0, 1.5f); },
       [](const TVXBitmap& b) { return b.Pixels_vx32f(1, 0) == 1.5f; }, true},
      {"32f below one", vx32f, [](TVXBitmap& b) { b.SetPixels_vx32f(1, 0, 0.9f); },
       [](const TVXBitmap& b) { return b.Pixels_vx32f(1, 0) == 0.9f; }, false},
      {"CMYK", vxCMYK, [](TVXBitmap& b) { b.SetPixels_vxCMYK(2, 2, TCMYK{1, 2, 3, 4}); },
       [](const TVXBitmap& b) { return b.Pixels_vxCMYK(2, 2) == TCMYK{1, 2, 3, 4}; }, true},
      {"CIELab", vxCIELab, [](TVXBitmap& b) { b.SetPixels_vxCIELab(2, 2, TCIELab{9, -8, 7}); },
       [](const TVXBitmap& b) { return b.Pixels_vxCIELab(2, 2) == TCIELab{9, -8, 7}; }, true},
      {"24 white", vx24RGB, [](TVXBitmap& b) { b.SetPixels_vx24RGB(10, 1, TRGB{255, 255, 255}); },
       [](const TVXBitmap& b) { return b.Pixels_vx24RGB(10, 1) == TRGB{255, 255, 255}; }, true},
      {"24 colour", vx24RGB, [](TVXBitmap& b) { b.SetPixels_vx24RGB(10, 1, kColor); },
       [](const TVXBitmap& b) { return b.Pixels_vx24RGB(10, 1) == kColor && *b.PPixels_vx24RGB(10, 1) == kColor; },
       false},
      {"32 white, any fourth byte", vx32RGB, [](TVXBitmap& b) { b.SetPixels_vx32RGB(4, 2, TRGBA{255, 255, 255, 0}); },
       [](const TVXBitmap& b) { return b.Pixels_vx32RGB(4, 2) == TRGBA{255, 255, 255, 0}; }, true},
      {"32 colour", vx32RGB, [](TVXBitmap& b) { b.SetPixels_vx32RGB(4, 2, TRGBA{1, 2, 3, 255}); },
       [](const TVXBitmap& b) { return b.PPixels_vx32RGB(4, 2)->r == 3; }, false},
      {"48 white", vx48RGB, [](TVXBitmap& b) { b.SetPixels_vx48RGB(7, 0, TRGB48{65535, 65535, 65535}); },
       [](const TVXBitmap& b) { return b.Pixels_vx48RGB(7, 0) == TRGB48{65535, 65535, 65535}; }, true},
      {"48 colour", vx48RGB, [](TVXBitmap& b) { b.SetPixels_vx48RGB(7, 0, TRGB48{1, 65535, 65535}); },
       [](const TVXBitmap& b) { return b.PPixels_vx48RGB(7, 0)->r == 1; }, false},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(11, 3, c.format, GetParam());
    b->Fill(0);
    b->SetFull(true);
    c.write(*b);
    EXPECT_TRUE(c.readBack(*b)) << c.name;
    EXPECT_EQ(b->Full(), c.fullAfter) << c.name;
  }
}

TEST_P(PixelsInStorage, AccessOutsideTheBitmapOrItsRowIsRefused) {
  auto b = MakeBitmap(4, 2, vx8g, GetParam());
  b->Fill(7);
  EXPECT_EQ(b->Pixels_vx8(-1, 0), 0);
  EXPECT_EQ(b->Pixels_vx8(4, 0), 0);
  EXPECT_EQ(b->Pixels_vx8(0, 2), 0);
  EXPECT_EQ(b->Pixels_vx24RGB(3, 0), (TRGB{0, 0, 0}));  // 3 bytes past a 4-byte row
  b->SetPixels_vx8(4, 0, 1);
  b->SetPixels_vx8(0, -1, 1);
  b->SetPixels_vx48RGB(1, 1, TRGB48{1, 1, 1});
  b->SetPixels_vx1g(40, 0, false);
  b->SetPixels(9, 9, kColor);
  EXPECT_EQ(b->PPixels_vx24RGB(2, 0), nullptr);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(b->Pixels_vx8(x, y), 7);

  TVXBitmap empty;
  EXPECT_EQ(empty.Pixels(0, 0), (TRGB{0, 0, 0}));
  empty.SetPixels_vx24RGB(0, 0, kColor);
  empty.Fill(3);
  empty.FillRect(0, 0, 5, 5, 3);
}

TEST_P(PixelsInStorage, GenericReadConvertsEveryFormatToAColour) {
  struct Case {
    TVXPixelFormat format;
    std::vector<uint8_t> raw;
    TRGB expected;
  };
  const TCMYK cmyk{200, 100, 50, 128};
  const TCIELab lab{128, 20, -30};
  const std::vector<Case> cases = {
      {vx8g, {77}, {77, 77, 77}},
      {vx16g, {0x34, 0x12}, {0x12, 0x12, 0x12}},
      {vx24RGB, {1, 2, 3}, {1, 2, 3}},
      {vx32f, Bytes(0.5f), {127, 127, 127}},
      {vx32f, Bytes(1.5f), {255, 255, 255}},  // clamped, not wrapped
      {vx32f, Bytes(-0.25f), {0, 0, 0}},
      {vxCMYK, Bytes(cmyk), VXCMYK2RGB(cmyk)},
      {vx48RGB, Bytes(TRGB48{0x1234, 0xABCD, 0x00FF}), {0x00, 0xAB, 0x12}},
      {vxCIELab, Bytes(lab), VXCIELab2RGB(lab)},
      {vx32RGB, {9, 8, 7, 6}, {9, 8, 7}},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(3, 2, c.format, GetParam());
    b->Fill(0);
    SetRawPixel(*b, 2, 1, c.raw);
    EXPECT_EQ(b->Pixels(2, 1), c.expected) << int(c.format);
    const TRGB black{0, 0, 0};
    EXPECT_EQ(b->Pixels(0, 0), c.format == vxCMYK     ? VXCMYK2RGB(VXRGB2CMYK(black))
                               : c.format == vxCIELab ? VXCIELab2RGB(VXRGB2CIELab(black))
                                                      : black)
        << int(c.format);
  }

  auto g1 = MakeBitmap(10, 1, vx1g, GetParam());
  g1->Fill(0);
  g1->SetPixels_vx1g(9, 0, true);
  EXPECT_EQ(g1->Pixels(9, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(g1->Pixels(8, 0), (TRGB{0, 0, 0}));

  auto p = MakeBitmap(2, 2, vx8p, GetParam());
  p->Fill(3);
  p->SetPalette(3, TRGB{10, 20, 30});
  EXPECT_EQ(p->Pixels(1, 1), (TRGB{10, 20, 30}));
  p->SetPixels(1, 1, kColor);  // palette images are not written
  EXPECT_EQ(p->Pixels_vx8(1, 1), 3);

  TVXBitmap none;
  EXPECT_EQ(none.Pixels(0, 0), (TRGB{0, 0, 0}));
}

TEST_P(PixelsInStorage, GenericWriteConvertsTheColourToEveryFormat) {
  // Grey of (red 200, green 100, blue 50) with the weights 21, 71, 8: 117.
  struct Case {
    TVXPixelFormat format;
    std::vector<uint8_t> expected;
  };
  const std::vector<Case> cases = {
      {vx8g, {117}},
      {vx16g, Bytes(uint16_t(117 * 257))},
      {vx24RGB, {50, 100, 200}},
      {vx32f, Bytes(float(117 / 255.0))},
      {vxCMYK, Bytes(VXRGB2CMYK(kColor))},
      {vx48RGB, Bytes(TRGB48{200 * 257, 100 * 257, 50 * 257})},
      {vxCIELab, Bytes(VXRGB2CIELab(kColor))},
      {vx32RGB, {50, 100, 200, 255}},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(3, 2, c.format, GetParam());
    b->Fill(0);
    b->SetPixels(1, 1, kColor);
    EXPECT_EQ(RawPixel(*b, 1, 1), c.expected) << int(c.format);
  }

  auto g1 = MakeBitmap(3, 1, vx1g, GetParam());
  g1->Fill(0);
  g1->SetFull(true);
  g1->SetPixels(1, 0, TRGB{0, 0, 1});
  EXPECT_TRUE(g1->Pixels_vx1g(1, 0));
  g1->SetPixels(1, 0, TRGB{0, 0, 0});
  EXPECT_FALSE(g1->Pixels_vx1g(1, 0));
  EXPECT_TRUE(g1->Full());  // the generic write leaves the flag of vx1g alone
}

TEST_P(PixelsInStorage, FillSetsEveryPixelAndTheFullFlag) {
  struct Case {
    TVXPixelFormat format;
    double value;
    std::vector<uint8_t> expected;
    bool full;
  };
  const double clWindow = -16777211.0;                   // system colour 5, white
  const double clHighlight = 4278190093.0;               // 0xFF00000D: system colour 13
  const uint32_t highlight = GetSysColor(COLOR_HIGHLIGHT);  // red 0, green 120, blue 215
  const TRGB hl{uint8_t(highlight >> 16), uint8_t(highlight >> 8), uint8_t(highlight)};
  const std::vector<Case> cases = {
      {vx8g, 255, {255}, true},
      {vx8g, 511, {255}, false},
      {vx8g, 4294967295.0, {255}, false},
      {vx8g, 7.9, {7}, false},
      {vx8p, 300, {44}, false},
      {vx16g, 65535, {255, 255}, true},
      {vx16g, 65536 + 5, {5, 0}, false},
      {vx32f, 0.5, Bytes(0.5f), false},
      {vx32f, 1.0, Bytes(1.0f), true},
      {vx24RGB, double(0x0000FF), {0, 0, 255}, false},
      {vx24RGB, double(0xFFFFFF), {255, 255, 255}, true},
      {vx24RGB, 4294967295.0, {0, 0, 0}, false},  // system colour 255: none, black
      {vx24RGB, clWindow, {255, 255, 255}, true},
      {vx24RGB, clHighlight, Bytes(hl), false},
      {vx32RGB, double(0x7F0000FF), {0, 0, 255, 0x7F}, false},
      {vx32RGB, double(0x00FFFFFF), {255, 255, 255, 0}, true},
      {vx48RGB, double(0x00102030), {0x30, 0x30, 0x20, 0x20, 0x10, 0x10}, false},
      {vx48RGB, clWindow, {255, 255, 255, 255, 255, 255}, true},
      {vxCMYK, double(0x00102030), Bytes(VXRGB2CMYK(TRGB{0x10, 0x20, 0x30})), false},
      {vxCMYK, clWindow, Bytes(VXRGB2CMYK(TRGB{255, 255, 255})), true},
      {vxCIELab, double(0x00102030), Bytes(VXRGB2CIELab(TRGB{0x10, 0x20, 0x30})), false},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(5, 3, c.format, GetParam());
    b->SetFull(!c.full);
    b->Fill(c.value);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 5; ++x) ASSERT_EQ(RawPixel(*b, x, y), c.expected) << int(c.format) << " " << c.value;
    EXPECT_EQ(b->Full(), c.full) << int(c.format) << " " << c.value;
  }

  // vx1g: whole bytes, padding included.
  for (const auto& [value, byte, full] : {std::tuple{1.0, 0xFF, true}, std::tuple{0.0, 0x00, false}}) {
    auto b = MakeBitmap(3, 2, vx1g, GetParam());
    b->Fill(value);
    const uint8_t* row = static_cast<const uint8_t*>(b->GetScanLine(1));
    for (int64_t i = 0; i < b->Rowlen(); ++i) EXPECT_EQ(row[i], byte);
    EXPECT_EQ(b->Full(), full);
  }
}

TEST_P(PixelsInStorage, FillRectClipsAndFillsOnlyTheRectangle) {
  auto b = MakeBitmap(10, 4, vx24RGB, GetParam());
  b->Fill(0);
  b->FillRect(-5, 1, 2, 2, double(0x0000FF));
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 10; ++x)
      EXPECT_EQ(b->Pixels_vx24RGB(x, y), ((x <= 2 && (y == 1 || y == 2)) ? TRGB{0, 0, 255} : TRGB{0, 0, 0}))
          << x << "," << y;
  b->FillRect(12, 0, 20, 3, double(0xFFFFFF));
  b->FillRect(5, 3, 4, 3, double(0xFFFFFF));
  b->FillRect(0, 9, 9, 20, double(0xFFFFFF));
  EXPECT_EQ(b->Pixels_vx24RGB(9, 3), (TRGB{0, 0, 0}));
  EXPECT_EQ(b->Pixels_vx24RGB(5, 3), (TRGB{0, 0, 0}));

  auto g1 = MakeBitmap(12, 2, vx1g, GetParam());
  g1->Fill(0);
  g1->FillRect(3, 0, 9, 0, 1);
  for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(g1->Pixels_vx1g(x, 0), x >= 3 && x <= 9) << x;
  EXPECT_FALSE(g1->Pixels_vx1g(5, 1));
}

TEST_P(PixelsInStorage, FillAndFillRectDifferForFloatsAndFourthBytes) {
  auto f = MakeBitmap(3, 2, vx32f, GetParam());
  f->Fill(0.5);
  EXPECT_EQ(f->Pixels_vx32f(2, 1), 0.5f);
  f->FillRect(0, 0, 0, 0, 0.5);  // truncated
  EXPECT_EQ(f->Pixels_vx32f(0, 0), 0.0f);
  f->FillRect(1, 0, 1, 0, 3.7);
  EXPECT_EQ(f->Pixels_vx32f(1, 0), 3.0f);

  auto q = MakeBitmap(3, 2, vx32RGB, GetParam());
  q->Fill(double(0x40102030));
  EXPECT_EQ(q->Pixels_vx32RGB(0, 0), (TRGBA{0x10, 0x20, 0x30, 0x40}));
  q->FillRect(0, 0, 2, 1, double(0x00000005));
  EXPECT_EQ(q->Pixels_vx32RGB(1, 1), (TRGBA{0, 0, 5, 0x40}));  // the fourth byte stays
  q->Fill(double(0x00000005));
  EXPECT_EQ(q->Pixels_vx32RGB(1, 1), (TRGBA{0, 0, 5, 0}));
}

TEST_P(PixelsInStorage, FillRectWritesEveryFormat) {
  struct Case {
    TVXPixelFormat format;
    double value;
    std::vector<uint8_t> expected;
  };
  const std::vector<Case> cases = {
      {vx8g, 300, {44}},
      {vx8p, 5, {5}},
      {vx16g, 70000, Bytes(uint16_t(70000 & 0xFFFF))},
      {vx24RGB, -16777211.0, {255, 255, 255}},
      {vx48RGB, double(0x000000FF), {0xFF, 0xFF, 0, 0, 0, 0}},
      {vxCMYK, double(0x00FF0000), Bytes(VXRGB2CMYK(TRGB{255, 0, 0}))},
      {vxCIELab, double(0x00FF0000), Bytes(VXRGB2CIELab(TRGB{255, 0, 0}))},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(6, 3, c.format, GetParam());
    b->Fill(0);
    const auto zero = RawPixel(*b, 0, 0);
    b->SetFull(true);
    b->FillRect(1, 1, 4, 1, c.value);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 6; ++x)
        ASSERT_EQ(RawPixel(*b, x, y), (y == 1 && x >= 1 && x <= 4) ? c.expected : zero) << int(c.format);
  }
}

TEST_P(PixelsInStorage, FillRectOnAnAlphaChannelRecomputesFull) {
  auto b = MakeBitmap(4, 4, vx24RGB, GetParam());
  TVXBitmap* a = b->AlphaChannel();
  ASSERT_NE(a, nullptr);
  a->SetFull(true);
  a->FillRect(1, 1, 2, 2, 128);
  EXPECT_FALSE(a->Full());
  EXPECT_EQ(a->Pixels_vx8(2, 2), 128);
  a->FillRect(0, 0, 3, 3, 255);
  EXPECT_TRUE(a->Full());
}

TEST_P(PixelsInStorage, FillSaturatesAbsurdValues) {
  // NaN gives 0; values beyond 64 bits saturate, and their low 32 bits are
  // 0 or -1 (system colour 255): black either way.
  auto b = MakeBitmap(2, 2, vx24RGB, GetParam());
  for (double v : {std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300, std::numeric_limits<double>::infinity()}) {
    b->Fill(double(0xFFFFFF));
    b->Fill(v);
    EXPECT_EQ(b->Pixels_vx24RGB(1, 1), (TRGB{0, 0, 0})) << v;
    b->Fill(double(0xFFFFFF));
    b->FillRect(0, 0, 1, 1, v);
    EXPECT_EQ(b->Pixels_vx24RGB(1, 1), (TRGB{0, 0, 0})) << v;
  }
  auto f = MakeBitmap(2, 2, vx32f, GetParam());
  f->FillRect(0, 0, 1, 1, 1e300);
  EXPECT_GT(f->Pixels_vx32f(1, 1), 9e18f);
}

TEST_P(PixelsInStorage, AlphaCreatesTheChannelAndWritesThroughIt) {
  auto b = MakeBitmap(3, 3, vx24RGB, GetParam());
  EXPECT_FALSE(b->HasAlphaChannel());
  EXPECT_EQ(b->Alpha(1, 1), 255);
  ASSERT_TRUE(b->HasAlphaChannel());
  b->SetFull(true);
  b->SetAlpha(1, 1, 10);
  EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(1, 1), 10);
  EXPECT_EQ(b->Alpha(1, 1), 10);
  EXPECT_FALSE(b->Full());
  EXPECT_FALSE(b->AlphaChannel()->Full());

  TVXBitmap* a = b->AlphaChannel();  // an alpha channel reads its own pixels
  EXPECT_EQ(a->Alpha(1, 1), 10);
  a->SetAlpha(0, 0, 20);
  EXPECT_EQ(a->Pixels_vx8(0, 0), 20);
  EXPECT_FALSE(a->HasAlphaChannel());
}

TEST(BitmapPalette, AccessorsCheckTheIndex) {
  TVXBitmap b(2, 2, vx8p);
  EXPECT_EQ(b.PaletteLength(), 256);
  ASSERT_NE(b.PaletteBuffer(), nullptr);
  b.SetPalette(255, TRGB{1, 2, 3});
  EXPECT_EQ(b.Palette(255), (TRGB{1, 2, 3}));
  EXPECT_EQ(b.PaletteBuffer()[255], (TRGB{1, 2, 3}));
  b.SetPalette(256, TRGB{4, 5, 6});
  b.SetPalette(-1, TRGB{4, 5, 6});
  EXPECT_EQ(b.Palette(256), (TRGB{0, 0, 0}));
  EXPECT_EQ(b.Palette(-1), (TRGB{0, 0, 0}));
  b.SetPaletteUsed(1000);  // stored without a check
  EXPECT_EQ(b.PaletteUsed(), 1000);

  TVXBitmap rgb(2, 2, vx24RGB);
  EXPECT_EQ(rgb.PaletteLength(), 0);
  EXPECT_EQ(rgb.PaletteBuffer(), nullptr);
  rgb.SetPalette(0, TRGB{1, 1, 1});
  EXPECT_EQ(rgb.Palette(0), (TRGB{0, 0, 0}));
}

TEST(SystemColors, OutOfRangeIndexesGiveBlack) {
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), 0xFFFFFFu);
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), 0u);
  EXPECT_EQ(GetSysColor(-1), 0u);
  EXPECT_EQ(GetSysColor(255), 0u);
  EXPECT_EQ(ColorToRGB(0x00123456), 0x123456u);
  EXPECT_EQ(ColorToRGB(int32_t(0xFF000000u | COLOR_BTNFACE)), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(ColorToRGB(-1), 0u);
}
