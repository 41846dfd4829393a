// Display levels baked into pixels, and StretchRectTo.

#include <gtest/gtest.h>

#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "render_test_util.h"

using namespace render_test;

namespace {

TEST(DisplayLevels, AutoCalcAndStretch16Bit) {
  TVXBitmap b(3, 1, vx16g);
  b.SetPixels_vx16g(0, 0, 100);
  b.SetPixels_vx16g(1, 0, 4000);
  b.SetPixels_vx16g(2, 0, 2050);
  b.AutoCalcBWValues();
  EXPECT_EQ(b.BlackValue(), 100);
  EXPECT_EQ(b.WhiteValue(), 4000);
  b.StretchValues();
  EXPECT_EQ(b.Pixels_vx16g(0, 0), 0);
  EXPECT_EQ(b.Pixels_vx16g(1, 0), 65535);
  EXPECT_EQ(b.Pixels_vx16g(2, 0), 32767);  // Trunc(1950 / 3900 * 65535)
  EXPECT_EQ(b.BlackValue(), 0);
  EXPECT_EQ(b.WhiteValue(), 0);
}

TEST(DisplayLevels, AutoCalcPerFormat) {
  struct Case {
    TVXPixelFormat f;
    double lo, hi;
  };
  const std::vector<Case> cases = {{vx8g, 3, 250}, {vx24RGB, 3, 250}, {vx32f, 0.25, 0.75}};
  for (const Case& c : cases) {
    TVXBitmap b(2, 1, c.f);
    if (c.f == vx8g) b.SetPixels_vx8(0, 0, 3), b.SetPixels_vx8(1, 0, 250);
    if (c.f == vx24RGB) b.SetPixels_vx24RGB(0, 0, RGB(3, 100, 200)), b.SetPixels_vx24RGB(1, 0, RGB(250, 4, 5));
    if (c.f == vx32f) b.SetPixels_vx32f(0, 0, 0.25f), b.SetPixels_vx32f(1, 0, 0.75f);
    b.AutoCalcBWValues();
    EXPECT_EQ(b.BlackValue(), c.lo) << int(c.f);
    EXPECT_EQ(b.WhiteValue(), c.hi) << int(c.f);
  }
  TVXBitmap other(2, 2, vxCMYK);
  other.SetBlackValue(5);
  other.AutoCalcBWValues();
  EXPECT_EQ(other.BlackValue(), 5);
}

TEST(DisplayLevels, StretchEqualValuesChangesNothingAndMaskLimits) {
  TVXBitmap b(2, 1, vx8g);
  b.SetPixels_vx8(0, 0, 125);
  b.SetPixels_vx8(1, 0, 125);
  b.SetBlackValue(60);
  b.SetWhiteValue(60);
  b.StretchValues();
  EXPECT_EQ(b.Pixels_vx8(0, 0), 125);
  EXPECT_EQ(b.BlackValue(), 60);
  b.SetBlackValue(50);
  b.SetWhiteValue(200);
  b.AdjustmentsMask()->AllocateBits(2, 1, 8);
  b.AdjustmentsMask()->SetPixel(1, 0, 255);
  b.StretchValues();
  EXPECT_EQ(b.Pixels_vx8(0, 0), 125);
  EXPECT_EQ(b.Pixels_vx8(1, 0), 127);
}

TEST(DisplayLevels, FixContrastAndChannelOffset) {
  struct Case {
    TVXPixelFormat f;
    int contrast;
    TRGB in, want;
  };
  const std::vector<Case> cases = {
      {vx24RGB, 10, RGB(200, 100, 128), RGB(255, 72, 128)},
      {vx32RGB, 10, RGB(150, 100, 129), RGB(172, 72, 130)},
      {vx24RGB, -100, RGB(200, 3, 250), RGB(128, 128, 128)},
  };
  for (const Case& c : cases) {
    TVXBitmap b(1, 1, c.f);
    b.SetPixels(0, 0, c.in);
    b.SetContrast(c.contrast);
    b.FixContrast();
    EXPECT_EQ(b.Pixels(0, 0), c.want) << int(c.f) << " " << c.contrast;
    EXPECT_EQ(b.Contrast(), 0);
  }
  TVXBitmap w(1, 1, vx48RGB);
  w.SetPixels_vx48RGB(0, 0, TRGB48{40000, 20000, 32768});
  w.SetContrast(10);
  w.FixContrast();
  EXPECT_EQ(w.Pixels_vx48RGB(0, 0), (TRGB48{47232, 7232, 32768}));

  TVXBitmap o(1, 1, vx24RGB);
  o.SetPixels_vx24RGB(0, 0, RGB(250, 5, 5));
  for (int i = 0; i < 4; ++i) o.SetChannelOffset(i, std::vector<int>{10, 0, -10, 0}[size_t(i)]);
  o.FixChannelOffset();
  EXPECT_EQ(o.Pixels_vx24RGB(0, 0), RGB(255, 5, 0));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(o.ChannelOffset(i), 0);
  TVXBitmap o48(1, 1, vx48RGB);
  o48.SetPixels_vx48RGB(0, 0, TRGB48{65530, 5, 5});
  o48.SetChannelOffset(0, 10);
  o48.SetChannelOffset(2, -10);
  o48.FixChannelOffset();
  EXPECT_EQ(o48.Pixels_vx48RGB(0, 0), (TRGB48{65535, 5, 0}));
}

// ---------------------------------------------------------------------------

TEST(StretchRectTo, ColourAndAlphaOfTheLayer) {
  struct Case {
    const char* what;
    TVXPixelFormat f;
    int transparency;
    double opacity;
    int srcAlpha;  // -1: none
    bool colour;   // the colour is copied
    int alpha;
  };
  const std::vector<Case> cases = {
      {"equal sizes", vx24RGB, 255, 1, -1, true, 255},
      {"transparency and opacity", vx24RGB, 100, 0.5, -1, true, 50},
      {"source alpha", vx24RGB, 255, 0.5, 200, true, 100},
      {"grey source writes only alpha", vx8g, 255, 1, -1, false, 255},
  };
  for (const Case& c : cases) {
    auto s = Pattern(4, 3, c.f);
    if (c.srcAlpha >= 0) {
      s->AlphaChannel()->Fill(c.srcAlpha);
      s->AlphaChannel()->SetFull(false);
    }
    auto d = Canvas(6, 5, RGB(1, 2, 3));
    s->StretchRectTo(d.get(), 1, 1, 4, 3, 0, 0, 4, 3, rfNone, c.transparency, c.opacity);
    EXPECT_EQ(d->Pixels_vx24RGB(2, 2), c.colour ? s->Pixels_vx24RGB(1, 1) : RGB(1, 2, 3)) << c.what;
    EXPECT_EQ(d->AlphaChannel()->Pixels_vx8(2, 2), c.alpha) << c.what;
    EXPECT_EQ(d->Pixels_vx24RGB(0, 0), RGB(1, 2, 3)) << c.what;
  }
}

TEST(StretchRectTo, EnlargingOneBitAndClippedSource) {
  TVXBitmap s(2, 2, vx1g);
  s.SetPixels_vx1g(1, 0, true);
  auto d = Canvas(4, 4);
  s.StretchRectTo(d.get(), 0, 0, 4, 4, 0, 0, 2, 2, rfNone, 255, 1);
  EXPECT_EQ(d->Pixels_vx24RGB(3, 1), RGB(255, 255, 255));
  EXPECT_EQ(d->Pixels_vx24RGB(1, 1), RGB(0, 0, 0));
  // A source rectangle reaching past the source is cut and the destination
  // rectangle with it, in proportion.
  auto s2 = Pattern(4, 4, vx24RGB);
  auto d2 = Canvas(10, 10, RGB(1, 2, 3));
  s2->StretchRectTo(d2.get(), 0, 0, 8, 8, 2, 2, 4, 4, rfNone, 255, 1);
  EXPECT_EQ(d2->Pixels_vx24RGB(3, 3), s2->Pixels_vx24RGB(3, 3));
  EXPECT_EQ(d2->Pixels_vx24RGB(4, 4), RGB(1, 2, 3));
  EXPECT_EQ(d2->AlphaChannel()->Pixels_vx8(4, 4), 255);  // a new channel: untouched and opaque
  // Refused destinations.
  TVXBitmap grey(4, 4, vx8g);
  EXPECT_THROW(s2->StretchRectTo(&grey, 0, 0, 4, 4, 0, 0, 4, 4, rfNone, 255, 1), EVXException);
}

}  // namespace
