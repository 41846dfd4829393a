// The per-format row renderers: display levels, weights, the adjustments
// mask, row duplication, palettes, floats, CMYK, virtual bitmaps.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/bitmap.h"
#include "core/icc.h"
#include "core/mask.h"
#include "core/settings.h"
#include "render_test_util.h"

using namespace render_test;

namespace {

// A one-pixel source of any format holding the grey or colour value v.
std::unique_ptr<TVXBitmap> OnePixel(TVXPixelFormat f, int r, int g, int b) {
  auto s = std::make_unique<TVXBitmap>(1, 1, f);
  switch (f) {
    case vx8g: s->SetPixels_vx8(0, 0, uint8_t(r)); break;
    case vx16g: s->SetPixels_vx16g(0, 0, uint16_t(r)); break;
    case vx24RGB: s->SetPixels_vx24RGB(0, 0, RGB(r, g, b)); break;
    case vx32RGB: s->SetPixels_vx32RGB(0, 0, TRGBA{uint8_t(b), uint8_t(g), uint8_t(r), 7}); break;
    case vx48RGB: s->SetPixels_vx48RGB(0, 0, TRGB48{uint16_t(r), uint16_t(g), uint16_t(b)}); break;
    default: break;
  }
  return s;
}

TRGB RenderOne(TVXBitmap& s, TRGB under, int transparency = 255, TVXRenderOperation op = vxlNormal) {
  auto d = Canvas(1, 1, under);
  RenderArgs a = Whole(s, 0, 0, 1, 1);
  a.Transparency = transparency;
  a.Op = op;
  Render(s, *d, a);
  return d->Pixels_vx24RGB(0, 0);
}

TEST(RenderLevels, TheDocumentedCases) {
  struct Case {
    const char* what;
    TVXPixelFormat f;
    int r, g, b;       // source (words for the 16 and 48-bit formats)
    int contrast;      // Contrast
    int offset0;       // ChannelOffset[0]
    double black, white;
    TRGB want;
  };
  const std::vector<Case> cases = {
      {"contrast 10 on 200", vx24RGB, 200, 100, 128, 10, 0, 0, 0, RGB(255, 72, 128)},
      {"contrast 10, 32-bit", vx32RGB, 200, 100, 128, 10, 0, 0, 0, RGB(255, 72, 128)},
      {"contrast -100", vx24RGB, 200, 3, 250, -100, 0, 0, 0, RGB(128, 128, 128)},
      {"offset lifts red", vx24RGB, 250, 250, 250, 0, 20, 0, 0, RGB(255, 250, 250)},
      {"offset, 32-bit", vx32RGB, 250, 250, 250, 0, 20, 0, 0, RGB(255, 250, 250)},
      {"levels 125 30 230", vx24RGB, 125, 30, 230, 0, 0, 50, 200, RGB(127, 0, 255)},
      {"levels grey 125", vx8g, 125, 0, 0, 0, 0, 50, 200, RGB(127, 127, 127)},
      {"levels grey 30", vx8g, 30, 0, 0, 0, 0, 50, 200, RGB(0, 0, 0)},
      {"levels grey 230", vx8g, 230, 0, 0, 0, 0, 50, 200, RGB(255, 255, 255)},
      {"levels 16-bit 125", vx16g, 125, 0, 0, 0, 0, 50, 200, RGB(127, 127, 127)},
      {"levels 48-bit", vx48RGB, 125, 30, 230, 0, 0, 50, 200, RGB(127, 0, 255)},
      {"fractional levels stay in range", vx8g, 1, 0, 0, 0, 0, 0.5, 1.4, RGB(255, 255, 255)},
      {"16-bit shifts", vx16g, 0x1234, 0, 0, 0, 0, 0, 0, RGB(0x12, 0x12, 0x12)},
      {"48-bit shifts", vx48RGB, 0x1234, 0xff00, 0x00ff, 0, 0, 0, 0, RGB(0x12, 0xff, 0x00)},
      {"48-bit contrast", vx48RGB, 0xC800, 0x6400, 0x8000, 10, 0, 0, 0, RGB(255, 72, 128)},
  };
  for (const Case& c : cases) {
    auto s = OnePixel(c.f, c.r, c.g, c.b);
    s->SetContrast(c.contrast);
    s->SetChannelOffset(0, c.offset0);
    s->SetBlackValue(c.black);
    s->SetWhiteValue(c.white);
    EXPECT_EQ(RenderOne(*s, RGB(9, 9, 9)), c.want) << c.what;
  }
}

TEST(RenderWeights, MixTowardTheSourceByTheWeight) {
  struct Case {
    TVXPixelFormat f;
    int transparency;
    int under, want;
  };
  const std::vector<Case> cases = {
      {vx8g, 128, 100, 150},  // 100 + (100 * 128 >> 8)
      {vx24RGB, 128, 100, 150},
      {vx32RGB, 128, 100, 150},
      {vx16g, 128, 100, 150},
      {vx48RGB, 128, 100, 150},
      {vx8g, 0, 100, 100},    // weight 0 leaves the destination
      {vx8g, 255, 100, 199},  // a brighter colour at full weight stops one short
      {vx8g, 255, 250, 200},  // a darker one arrives
  };
  for (const Case& c : cases) {
    const int v = (c.f == vx16g || c.f == vx48RGB) ? 200 << 8 : 200;
    auto s = OnePixel(c.f, v, v, v);
    if (c.transparency == 255) s->AlphaChannel()->SetPixels_vx8(0, 0, 255), s->AlphaChannel()->SetFull(false);
    EXPECT_EQ(RenderOne(*s, RGB(c.under, c.under, c.under), c.transparency).g, c.want)
        << int(c.f) << " transparency " << c.transparency;
  }
}

TEST(RenderMask, AdjustmentsAndOperationOnlyInsideTheMask) {
  auto s = std::make_unique<TVXBitmap>(4, 1, vx24RGB);
  for (int x = 0; x < 4; ++x) s->SetPixels_vx24RGB(x, 0, RGB(200, 100, 100));
  s->SetContrast(10);
  s->AdjustmentsMask()->AllocateBits(4, 1, 8);
  s->AdjustmentsMask()->SetPixel(0, 0, 255);
  s->AdjustmentsMask()->SetPixel(1, 0, 255);
  for (TVXPixelFormat f : {vx24RGB, vx8g}) {
    std::unique_ptr<TVXBitmap> src;
    if (f == vx24RGB) {
      src = std::move(s);
    } else {
      src = std::make_unique<TVXBitmap>(4, 1, vx8g);
      for (int x = 0; x < 4; ++x) src->SetPixels_vx8(x, 0, 125);
      src->SetBlackValue(50);
      src->SetWhiteValue(200);
      src->AdjustmentsMask()->AllocateBits(4, 1, 8);
      src->AdjustmentsMask()->SetPixel(0, 0, 255);
      src->AdjustmentsMask()->SetPixel(1, 0, 255);
    }
    auto d = Canvas(4, 1, RGB(10, 10, 10));
    RenderArgs a = Whole(*src, 0, 0, 4, 1);
    a.Op = f == vx24RGB ? vxlAdd : vxlNormal;
    Render(*src, *d, a);
    const TRGB in = f == vx24RGB ? RGB(255, 82, 82) : RGB(127, 127, 127);  // adjusted, plus 10 by vxlAdd
    const TRGB out = f == vx24RGB ? RGB(200, 100, 100) : RGB(125, 125, 125);
    EXPECT_EQ(d->Pixels_vx24RGB(0, 0), in) << int(f);
    EXPECT_EQ(d->Pixels_vx24RGB(1, 0), in) << int(f);
    EXPECT_EQ(d->Pixels_vx24RGB(2, 0), out) << int(f);
    EXPECT_EQ(d->Pixels_vx24RGB(3, 0), out) << int(f);
  }
}

// With a solid background and a vertical enlargement of 4, the 1-bit, 24-bit
// and 32-bit renderers draw one row of each group of four and copy it whole
// (columns outside the drawn area included) onto the next three.
TEST(RenderRows, SolidBackgroundDuplicatesRowsOfThreeFormatsOnly) {
  for (TVXPixelFormat f : {vx1g, vx24RGB, vx32RGB, vx8g, vx8p, vx16g, vx48RGB, vxCIELab}) {
    for (bool weighted : {false, true}) {
      auto s = Pattern(3, 2, f);
      auto d = Canvas(5, 8);
      for (int y = 0; y < 8; ++y) d->SetPixels_vx24RGB(4, y, RGB(y, y, y));  // outside the drawn columns
      RenderArgs a = Whole(*s, 0, 0, 3, 8);
      a.Solid = true;
      if (weighted) a.Transparency = 200;
      Render(*s, *d, a);
      const bool duplicates = f == vx1g || f == vx24RGB || f == vx32RGB;
      for (int y = 0; y < 8; ++y) {
        const int first = y - y % 4;
        EXPECT_EQ(d->Pixels_vx24RGB(4, y).r, duplicates ? first : y) << int(f) << " row " << y;
      }
    }
  }
}

TEST(RenderRows, PaletteEntriesPlainAndWeighted) {
  auto s = std::make_unique<TVXBitmap>(2, 1, vx8p);
  s->SetPixels_vx8(0, 0, 1);
  s->SetPixels_vx8(1, 0, 200);
  s->SetPalette(1, RGB(60, 50, 40));
  s->SetPalette(200, RGB(250, 0, 100));
  auto d = Canvas(2, 1, RGB(100, 100, 100));
  Render(*s, *d, Whole(*s, 0, 0, 2, 1));
  EXPECT_EQ(d->Pixels_vx24RGB(0, 0), RGB(60, 50, 40));
  EXPECT_EQ(d->Pixels_vx24RGB(1, 0), RGB(250, 0, 100));
  auto e = Canvas(2, 1, RGB(100, 100, 100));
  RenderArgs a = Whole(*s, 0, 0, 2, 1);
  a.Transparency = 128;
  Render(*s, *e, a);
  EXPECT_EQ(e->Pixels_vx24RGB(1, 0), RGB(175, 50, 100));
}

TEST(RenderRows, FloatsAreClampedToBytes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<std::pair<float, int>> cases = {{0.5f, 127}, {1.5f, 255}, {-0.1f, 0}, {nan, 0}, {1.0f, 255}};
  for (bool weighted : {false, true}) {
    auto s = std::make_unique<TVXBitmap>(int(cases.size()), 1, vx32f);
    for (size_t i = 0; i < cases.size(); ++i) s->SetPixels_vx32f(int(i), 0, cases[i].first);
    auto d = Canvas(int(cases.size()), 1);
    RenderArgs a = Whole(*s, 0, 0, s->Width(), 1);
    if (weighted) a.Opacity = 0.999999;  // weight 254
    Render(*s, *d, a);
    for (size_t i = 0; i < cases.size(); ++i) {
      const int want = weighted ? (cases[i].second * 254 * 1024) >> 18 : cases[i].second;
      EXPECT_EQ(d->Pixels_vx24RGB(int(i), 0).r, want) << cases[i].first;
    }
  }
}

TEST(RenderRows, FloatLevels) {
  auto s = std::make_unique<TVXBitmap>(3, 1, vx32f);
  s->SetPixels_vx32f(0, 0, 0.1f);
  s->SetPixels_vx32f(1, 0, 0.3f);
  s->SetPixels_vx32f(2, 0, 0.9f);
  s->SetBlackValue(0.2);
  s->SetWhiteValue(0.6);
  auto d = Canvas(3, 1);
  Render(*s, *d, Whole(*s, 0, 0, 3, 1));
  EXPECT_EQ(d->Pixels_vx24RGB(0, 0).r, 0);
  EXPECT_EQ(d->Pixels_vx24RGB(1, 0).r, int((double(0.3f) - 0.2) / 0.4 * 255));
  EXPECT_EQ(d->Pixels_vx24RGB(2, 0).r, 255);
}

// ---------------------------------------------------------------------------
// CMYK through the bitmap's colour profile, or by the plain formula.

class RenderCMYK : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = VXGetGlobalSettings()->ApplyColorProfileOnRendering(); }
  void TearDown() override { VXGetGlobalSettings()->SetApplyColorProfileOnRendering(saved_); }
  bool saved_ = true;
};

std::unique_ptr<TVXBitmap> CMYKFixture() {
  auto s = std::make_unique<TVXBitmap>(6, 5, vxCMYK);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x)
      s->SetPixels_vxCMYK(x, y, TCMYK{uint8_t(x * 51), uint8_t(y * 60), uint8_t(255 - x * 40), uint8_t(30 + y * 50)});
  return s;
}

TEST_F(RenderCMYK, PlainFormulaWithoutTheSetting) {
  VXGetGlobalSettings()->SetApplyColorProfileOnRendering(false);
  auto s = CMYKFixture();
  for (int transparency : {255, 100}) {
    auto d = Canvas(6, 5, RGB(90, 20, 200));
    RenderArgs a = Whole(*s, 0, 0, 6, 5);
    a.Transparency = transparency;
    Render(*s, *d, a);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) {
        const TCMYK c = s->Pixels_vxCMYK(x, y);
        const int v[3] = {c.y * c.k / 255, c.m * c.k / 255, c.c * c.k / 255};
        const uint8_t under[3] = {200, 20, 90};
        const TRGB got = d->Pixels_vx24RGB(x, y);
        const uint8_t g[3] = {got.b, got.g, got.r};
        for (int k = 0; k < 3; ++k) {
          const int want = transparency == 255 ? v[k] : under[k] + (((v[k] - under[k]) * transparency * 1024) >> 18);
          EXPECT_EQ(g[k], want) << x << "," << y << " channel " << k;
        }
      }
  }
}

TEST_F(RenderCMYK, ProfiledEqualsTheProfileTransform) {
  const char* cmykPath = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
  const char* srgbPath = "/usr/share/color/icc/sRGB.icc";
  if (access(cmykPath, R_OK) != 0 || access(srgbPath, R_OK) != 0)
    GTEST_SKIP() << "needs libgs-common and icc-profiles-free";
  VXGetGlobalSettings()->SetApplyColorProfileOnRendering(true);
  auto s = CMYKFixture();
  s->ColorProfile()->LoadFromFile(cmykPath);
  s->RenderColorProfile()->LoadFromFile(srgbPath);
  ASSERT_TRUE(s->ColorProfile()->IsValid());
  auto d = Canvas(6, 5);
  Render(*s, *d, Whole(*s, 0, 0, 6, 5));
  TVXICC in, out;
  in.LoadFromFile(cmykPath);
  out.LoadFromFile(srgbPath);
  for (int y = 0; y < 5; ++y) {
    uint8_t want[18];
    ASSERT_TRUE(in.Transform(&out, vxcmsCMYK, vxcmsBGR, 0, 0, s->ScanLine(y), want, 6));
    EXPECT_EQ(std::memcmp(d->ScanLine(y), want, 18), 0) << "row " << y;
  }
}

// ---------------------------------------------------------------------------
// Virtual bitmaps

class RecordingProvider : public TVXVirtualBitmapProvider {
 public:
  void* GetSegment(TVXBitmap*, int32_t, int32_t, int32_t) override { return nullptr; }
  void Render(TVXBitmap*, int32_t DestWidth, int32_t, uint8_t* const* Rows, int32_t X1, int32_t Y1, int32_t X2,
              int32_t Y2, const int32_t* Cols, const int32_t* SrcRows, int32_t Transparency, TVXRenderOperation Op,
              double Opacity) override {
    calls++;
    width = DestWidth;
    x1 = X1, y1 = Y1, x2 = X2, y2 = Y2;
    transparency = Transparency;
    op = Op;
    opacity = Opacity;
    for (int y = Y1; y <= Y2; ++y)
      for (int x = X1; x <= X2; ++x) Rows[y][3 * x] = uint8_t(Cols[x - X1] * 10 + SrcRows[y - Y1]);
  }
  int calls = 0, width = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0, transparency = 0;
  TVXRenderOperation op = vxlNormal;
  double opacity = 0;
};

TEST(RenderVirtual, TheProviderDrawsWithTheTables) {
  TVXBitmap s;
  auto* p = new RecordingProvider;
  s.SetVirtualBitmapProvider(p);
  s.Allocate(4, 4, vx24RGB);
  auto d = Canvas(10, 10);
  RenderArgs a = Whole(s, 1, 2, 8, 8);
  a.Op = vxlAdd;
  Render(s, *d, a);
  EXPECT_EQ(p->calls, 1);
  EXPECT_EQ(p->width, 10);
  EXPECT_EQ(p->x1, 1);
  EXPECT_EQ(p->y2, 9);
  EXPECT_EQ(p->transparency, 255);
  EXPECT_EQ(p->op, vxlAdd);
  EXPECT_EQ(d->Pixels_vx24RGB(4, 5).b, 1 * 10 + 1);  // column 3 / 2, row 3 / 2
  a.Transparency = 99;
  a.Opacity = 0.5;
  Render(s, *d, a);
  EXPECT_EQ(p->transparency, 99);
  EXPECT_EQ(p->opacity, 0.5);
}

TEST(RenderVirtual, ThePixelEventAdjustedAndWeighted) {
  TVXBitmap s;
  s.OnRenderVirtualPixel = [](TVXBitmap*, int32_t x, int32_t y, TRGB& out) { out = RGB(200, x * 10, y * 10); };
  s.Allocate(3, 3, vx24RGB);
  auto d = Canvas(3, 3, RGB(100, 100, 100));
  Render(s, *d, Whole(s, 0, 0, 3, 3));
  EXPECT_EQ(d->Pixels_vx24RGB(2, 1), RGB(200, 20, 10));
  s.SetContrast(10);
  Render(s, *d, Whole(s, 0, 0, 3, 3));
  EXPECT_EQ(d->Pixels_vx24RGB(2, 1).r, 255);
  s.SetContrast(0);
  RenderArgs a = Whole(s, 0, 0, 6, 6);
  a.Transparency = 128;
  auto big = Canvas(6, 6, RGB(100, 100, 100));
  Render(s, *big, a);
  EXPECT_EQ(big->Pixels_vx24RGB(5, 3).r, 150);
}

class ThrowingProvider : public TVXVirtualBitmapProvider {
 public:
  void* GetSegment(TVXBitmap*, int32_t, int32_t, int32_t) override { return nullptr; }
  void Render(TVXBitmap*, int32_t, int32_t, uint8_t* const* Rows, int32_t X1, int32_t Y1, int32_t, int32_t,
              const int32_t*, const int32_t*, int32_t, TVXRenderOperation, double) override {
    Rows[Y1][3 * X1] = 77;
    throw EVXException("row not available");
  }
};

TEST(RenderVirtual, AFailingRendererIsSwallowedAndTheAccessModeRestored) {
  TVXBitmap s;
  s.SetVirtualBitmapProvider(new ThrowingProvider);
  s.Allocate(2, 2, vx24RGB);
  s.SetAccess(vxdReadWrite);
  auto d = Canvas(2, 2);
  EXPECT_NO_THROW(Render(s, *d, Whole(s, 0, 0, 2, 2)));
  EXPECT_EQ(d->Pixels_vx24RGB(0, 0).b, 77);  // what was drawn stays
  EXPECT_EQ(s.Access(), vxdReadWrite);
}

}  // namespace
