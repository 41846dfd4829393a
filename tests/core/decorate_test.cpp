// Decorations (frames, hint boxes, shadows, dialog backgrounds) and the
// small platform chores (colour dialog, owner window, file size, clipboard
// format names) of the image core.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../winui/pinned_fonts.h"
#include "core/canvas.h"
#include "core/decorate.h"
#include "core/dialogbg.h"
#include "core/gdiplus.h"
#include "core/random.h"
#include "core/settings.h"
#include "core/winchores.h"
#include "dib_test_util.h"
#include "gui/forms.h"
#include "gui/graphics.h"
#include "winui/win_clipboard.h"
#include "winui/win_colordlg.h"

namespace {

using dibtest::Bytes;

// A w x h 24-bit platform bitmap whose pixel (x, y) is (x * 7, y * 5, x + y)
// as red, green, blue, so that moved or copied pixels show.
std::unique_ptr<TBitmap> Pattern(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* p = static_cast<uint8_t*>(b->ScanLine(y));
    for (int x = 0; x < w; ++x) {
      p[3 * x] = uint8_t(x + y);
      p[3 * x + 1] = uint8_t(y * 5);
      p[3 * x + 2] = uint8_t(x * 7);
    }
  }
  return b;
}

std::unique_ptr<TBitmap> Solid(int w, int h, uint8_t v) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y) std::memset(b->ScanLine(y), v, b->RowBytes());
  return b;
}

// Pixel (x, y) of a 24-bit platform bitmap as 0xBBGGRR.
uint32_t Px(TBitmap& b, int x, int y) {
  const auto* p = static_cast<const uint8_t*>(b.ScanLine(y)) + 3 * x;
  return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
}

class DecorateGDI : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = VXGetGlobalSettings()->UseGDIPlus();
    VXGetGlobalSettings()->SetUseGDIPlus(false);
  }
  void TearDown() override { VXGetGlobalSettings()->SetUseGDIPlus(saved_); }
  bool saved_ = true;
};

TEST(DialogBackgrounds, GaussianCurveStripesAndBrushedMetal) {
  std::vector<double> v;
  VXGaussianCurve(4, 130, 255, 0.5, v);
  ASSERT_EQ(v.size(), 4u);
  const double want[] = {240.3, 251.2, 255.0, 251.2};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(v[size_t(i)], want[i], 0.05) << i;
  VXGaussianCurve(0, 0, 10, 1, v);
  EXPECT_TRUE(v.empty());

  TBitmap stripes;
  VXFillStripesBitmap(&stripes, 5, 10);
  ASSERT_EQ(stripes.Width(), 5);
  ASSERT_EQ(stripes.Height(), 10);
  EXPECT_EQ(stripes.PixelFormat(), pf24bit);
  const uint32_t rows[] = {240, 251, 255, 251};
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(stripes, x, y), rows[y % 4] * 0x010101u) << x << "," << y;

  // Brushed metal: the same seed the same picture; every row follows the
  // profile plus an offset of 0..10.
  auto metal = [](uint32_t seed) {
    RandSeed = seed;
    TBitmap b;
    VXFillBrushedMetalBitmap(&b, 300, 40);
    Bytes out;
    for (int y = 0; y < b.Height(); ++y) {
      const auto* p = static_cast<const uint8_t*>(b.ScanLine(y));
      out.insert(out.end(), p, p + 900);
    }
    return out;
  };
  const Bytes a = metal(1234), b = metal(1234), c = metal(99);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  std::vector<double> profile;
  VXGaussianCurve(300, 160, 208, 3.0, profile);
  bool offset = false;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 300; ++x) {
      const int d = a[size_t(y) * 900 + size_t(x) * 3] - int(profile[size_t(x)]);
      ASSERT_TRUE(d >= 0 && d <= 10) << x << "," << y;
      offset |= d != 0;
    }
  EXPECT_TRUE(offset);
}

TEST_F(DecorateGDI, Frame3DDrawsTheTwoColoursOnTheirSides) {
  // On a platform canvas and on the library's canvas (drawing through GDI),
  // with a pen left in another mode and style.
  for (bool library : {false, true}) {
    SCOPED_TRACE(library);
    auto b = Solid(10, 8, 255);
    b->Canvas()->Pen()->SetMode(pmXor);
    b->Canvas()->Pen()->SetStyle(psDot);
    if (library) {
      TVXCanvas c(b->Canvas(), false, false);
      c.Pen()->SetMode(pmXor);
      c.Pen()->SetStyle(psDot);
      VXDrawCanvasFrame3D(&c, 1, 1, 6, 5, TColor(0x0000FF), TColor(0x00FF00));
    } else {
      VXDrawFrame3D(b->Canvas(), 1, 1, 6, 5, TColor(0x0000FF), TColor(0x00FF00));
    }
    EXPECT_EQ(Px(*b, 1, 1), 0x0000FFu);
    EXPECT_EQ(Px(*b, 5, 1), 0x0000FFu);
    EXPECT_EQ(Px(*b, 1, 4), 0x0000FFu);
    EXPECT_EQ(Px(*b, 2, 5), 0x00FF00u);  // bottom
    EXPECT_EQ(Px(*b, 6, 3), 0x00FF00u);  // right
    EXPECT_EQ(Px(*b, 3, 3), 0xFFFFFFu);
    EXPECT_EQ(Px(*b, 6, 1), 0xFFFFFFu);  // line ends are not drawn
  }
}

TEST_F(DecorateGDI, TextHintStaysInsideTheAreaAndKeepsWhatItCovers) {
  auto b = Pattern(160, 50);
  auto before = Pattern(160, 50);
  TFont font;
  font.SetName("DejaVu Sans");
  font.SetSize(9);
  TBrush brush;
  brush.SetColor(TColor(0x80FFFF));
  TBitmap saved;
  int32_t X = 150, Y = -3;
  VXDrawTextHint(b->Canvas(), X, Y, "Hint", &font, &brush, &saved, 160, 50, clWhite, TColor(0x404040));
  const int W = b->Canvas()->TextWidth("Hint") + 12, H = b->Canvas()->TextHeight("Hint") + 12;
  ASSERT_GT(W, 12);
  EXPECT_EQ(X, 160 - W - 1);
  EXPECT_EQ(Y, 0);
  EXPECT_EQ(X + W, 159);  // one pixel inside the area
  // The frame's right side is the last column drawn; the area's last column
  // is left.
  EXPECT_EQ(Px(*b, X + W - 1, Y + H / 2), 0x404040u);
  for (int y = 0; y < 50; ++y) EXPECT_EQ(Px(*b, 159, y), Px(*before, 159, y)) << y;
  EXPECT_EQ(Px(*b, X + 6, Y + H / 2), 0xFFFFFFu);
  EXPECT_EQ(Px(*b, X + 8, Y + 7), 0x80FFFFu);
  // The 6-pixel margin left and above stays as it was.
  EXPECT_EQ(Px(*b, X + 3, Y + 3), Px(*before, X + 3, Y + 3));
  ASSERT_EQ(saved.Width(), W);
  ASSERT_EQ(saved.Height(), H);
  EXPECT_EQ(saved.PixelFormat(), pf24bit);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_EQ(Px(saved, x, y), Px(*before, X + x, Y + y)) << x << "," << y;
}

TEST_F(DecorateGDI, AlphaHintIsSizedByTheLongerOfTemplateAndText) {
  auto b = Solid(300, 40, 255);
  TBitmap measure(10, 10, pf24bit);
  measure.Canvas()->Font()->SetName("Arial");
  measure.Canvas()->Font()->SetSize(9);
  const int wTemplate = measure.Canvas()->TextWidth("9999 x 9999 (100%)") + 12;
  const int wText = measure.Canvas()->TextWidth("1 x 1") + 12;
  ASSERT_GT(wTemplate, wText);
  int32_t X = -4, Y = 2;
  VXDrawTextHintAlpha(b->Canvas(), X, Y, "9999 x 9999 (100%)", "1 x 1");
  EXPECT_EQ(X, 0);
  EXPECT_EQ(Y, 2);
  const int H = measure.Canvas()->TextHeight("1 x 1") + 12;
  // The grey right side of the frame at the template's width, white left.
  EXPECT_EQ(Px(*b, wTemplate - 1, Y + H / 2), 0x808080u);
  EXPECT_EQ(Px(*b, 6, Y + H / 2), 0xFFFFFFu);
  EXPECT_EQ(Px(*b, wTemplate, Y + H / 2), 0xFFFFFFu);
  EXPECT_EQ(Px(*b, wTemplate + 2, Y + H / 2), 0xFFFFFFu);
  // Filled in light yellow between the frame and the text.
  EXPECT_EQ(Px(*b, wTemplate - 3, Y + H - 3), 0x60FFFFu);
}

TEST(Decorate, AlphaHintThroughGDIPlusIsHalfTransparent) {
  const bool saved = VXGetGlobalSettings()->UseGDIPlus();
  VXStartUpGDIPlusUnit();
  VXGetGlobalSettings()->SetUseGDIPlus(true);
  VXLoadGDIPlusLibrary();
  ASSERT_TRUE(VXGDIPlusEnabled());
  auto b = Solid(200, 40, 0);
  int32_t X = 10, Y = 4;
  VXDrawTextHintAlpha(b->Canvas(), X, Y, "", "Hint");
  TBitmap measure(10, 10, pf24bit);
  measure.Canvas()->Font()->SetName("Arial");
  measure.Canvas()->Font()->SetSize(9);
  const int W = measure.Canvas()->TextWidth("Hint") + 12, H = measure.Canvas()->TextHeight("Hint") + 12;
  // Light yellow at transparency 128 over black: about half of each channel.
  const uint32_t inside = Px(*b, X + W - 3, Y + H - 3);
  EXPECT_NEAR(int(inside & 0xFF), 128, 2);
  EXPECT_NEAR(int((inside >> 8) & 0xFF), 128, 2);
  EXPECT_NEAR(int(inside >> 16), 48, 2);
  EXPECT_EQ(Px(*b, X + 2, Y + 2), 0u);  // the margin stays
  // Black text over the box.
  int dark = 0;
  for (int y = Y + 9; y < Y + H - 3; ++y)
    for (int x = X + 9; x < X + W - 3; ++x) dark += Px(*b, x, y) == 0;
  EXPECT_GT(dark, 5);
  while (VXGDIPlusLoaded()) VXFreeGDIPlusLibrary();
  VXStartUpGDIPlusUnit();
  VXGetGlobalSettings()->SetUseGDIPlus(saved);
}

TEST_F(DecorateGDI, ShadowStrips) {
  struct Case {
    const char* name;
    bool right;
    uint8_t kind;
  };
  // Right strip x 20..25 (W 6), y 2..29; bottom strip x 2..29, y 20..25.
  for (const Case& c : {Case{"right solid", true, 1}, Case{"right soft", true, 2}, Case{"right gradient", true, 3},
                        Case{"right none", true, 4}, Case{"bottom solid", false, 1}, Case{"bottom soft", false, 2},
                        Case{"bottom gradient", false, 3}, Case{"bottom none", false, 0}}) {
    SCOPED_TRACE(c.name);
    auto b = Solid(32, 32, 200);
    b->Canvas()->Brush()->SetColor(TColor(0x102030));
    auto* canvas = b->Canvas();
    if (c.right)
      VXDrawShadowRight(canvas, c.kind == 2 ? b.get() : nullptr, 20, 2, 25, 29, c.kind);
    else
      VXDrawShadowBottom(canvas, c.kind == 2 ? b.get() : nullptr, 2, 20, 29, 25, c.kind);
    // (across, along) -> pixel: across is the distance from the image.
    auto at = [&](int across, int along) {
      return c.right ? Px(*b, 20 + across, 2 + along) : Px(*b, 2 + along, 20 + across);
    };
    int changed = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) changed += Px(*b, x, y) != 0xC8C8C8u;
    switch (c.kind) {
      case 1:
        EXPECT_EQ(at(0, 5), 0xC8C8C8u);   // the first W along stay
        EXPECT_EQ(at(0, 6), 0x102030u);
        EXPECT_EQ(at(5, 27), 0xC8C8C8u);  // right and bottom exclusive
        EXPECT_EQ(at(4, 27), 0x102030u);
        EXPECT_EQ(changed, 5 * 22);
        break;
      case 2: {
        // Nearest the image: t = 3, f = exp(-1.6); outermost: t = 0.5.
        const uint32_t nearV = uint32_t(200 * std::exp(-1.6)), farV = uint32_t(200 * std::exp(-0.1 - 0.25 / 6));
        EXPECT_EQ(at(0, 6), nearV * 0x010101u);
        EXPECT_EQ(at(5, 6), farV * 0x010101u);
        EXPECT_EQ(at(0, 5), 0xC8C8C8u);
        break;
      }
      case 3:
        // Grey from about 94 at the image to 255 outside; the first row's
        // floor is exp(1) / e * 255 = 255.
        EXPECT_EQ(at(0, 0), 0xFFFFFFu);
        EXPECT_EQ(at(0, 10), uint32_t(std::exp(0.0) / M_E * 255) * 0x010101u);
        EXPECT_EQ(at(6, 10), 0xFFFFFFu);
        break;
      default:
        EXPECT_EQ(changed, 0);
    }
  }
}

// The whole picture after a strip, pinned as a checksum of its pixels, over
// strips of every kind: long and short, one pixel thick, thicker than long,
// reaching past the bitmap (the soft kind falls back to the canvas there)
// and turned inside out. The soft kind runs once with the bitmap's rows and
// once through the canvas alone.
TEST_F(DecorateGDI, ShadowStripPicturesStayAsTheyAre) {
  struct Case {
    bool right;
    uint8_t kind;
    bool withBitmap;
    int x1, y1, x2, y2;
    uint64_t sum;  // kUnchanged: the picture as it was
  };
  const uint64_t kUnchanged = 0;
  // FNV-1a over the rows' pixels.
  auto checksum = [](TBitmap& b) {
    uint64_t sum = 0xcbf29ce484222325u;
    for (int y = 0; y < b.Height(); ++y) {
      const auto* p = static_cast<const uint8_t*>(b.ScanLine(y));
      for (int i = 0; i < b.Width() * 3; ++i) sum = (sum ^ p[i]) * 0x100000001b3u;
    }
    return sum;
  };
  const uint64_t unchanged = checksum(*Pattern(40, 40));
  const Case cases[] = {
      {true, 1, false, 20, 2, 25, 29, 0x4c50158ba878b39bu},
      {true, 2, true, 20, 2, 25, 29, 0x548e0b1af3431be7u},
      {true, 2, false, 20, 2, 25, 29, 0x548e0b1af3431be7u},
      {true, 3, false, 20, 2, 25, 29, 0xca1f90cc3d126f2cu},
      {true, 4, false, 20, 2, 25, 29, kUnchanged},
      {true, 1, false, 10, 5, 27, 12, kUnchanged},
      {true, 2, true, 10, 5, 27, 12, kUnchanged},
      {true, 2, false, 10, 5, 27, 12, kUnchanged},
      {true, 3, false, 10, 5, 27, 12, 0xa52e385e83334aecu},
      {true, 4, false, 10, 5, 27, 12, kUnchanged},
      {true, 1, false, 30, 0, 30, 39, kUnchanged},
      {true, 2, true, 30, 0, 30, 39, 0x389fb212899a8145u},
      {true, 2, false, 30, 0, 30, 39, 0x389fb212899a8145u},
      {true, 3, false, 30, 0, 30, 39, 0x6881f0682b653c8bu},
      {true, 4, false, 30, 0, 30, 39, kUnchanged},
      {true, 1, false, 35, -3, 44, 30, 0x51739694bcdf6e5u},
      {true, 2, true, 35, -3, 44, 30, 0xc183ee9ad0bd2461u},
      {true, 2, false, 35, -3, 44, 30, 0xc183ee9ad0bd2461u},
      {true, 3, false, 35, -3, 44, 30, 0xb32cf414a9de16aau},
      {true, 4, false, 35, -3, 44, 30, kUnchanged},
      {true, 1, false, 20, 5, 18, 30, kUnchanged},
      {true, 2, true, 20, 5, 18, 30, kUnchanged},
      {true, 2, false, 20, 5, 18, 30, kUnchanged},
      {true, 3, false, 20, 5, 18, 30, kUnchanged},
      {true, 4, false, 20, 5, 18, 30, kUnchanged},
      {false, 1, false, 2, 20, 29, 25, 0xb6d62c1a7e5d85cbu},
      {false, 2, true, 2, 20, 29, 25, 0x6d84d5311b53b429u},
      {false, 2, false, 2, 20, 29, 25, 0x6d84d5311b53b429u},
      {false, 3, false, 2, 20, 29, 25, 0x3a324f41102043b8u},
      {false, 4, false, 2, 20, 29, 25, kUnchanged},
      {false, 1, false, 5, 10, 12, 27, kUnchanged},
      {false, 2, true, 5, 10, 12, 27, kUnchanged},
      {false, 2, false, 5, 10, 12, 27, kUnchanged},
      {false, 3, false, 5, 10, 12, 27, 0xc62823b9f006fe0au},
      {false, 4, false, 5, 10, 12, 27, kUnchanged},
      {false, 1, false, 0, 30, 39, 30, kUnchanged},
      {false, 2, true, 0, 30, 39, 30, 0xc3d9baf777af1ad7u},
      {false, 2, false, 0, 30, 39, 30, 0xc3d9baf777af1ad7u},
      {false, 3, false, 0, 30, 39, 30, 0x44537fe82afbc125u},
      {false, 4, false, 0, 30, 39, 30, kUnchanged},
      {false, 1, false, -3, 35, 30, 44, 0xa682c34e41f92465u},
      {false, 2, true, -3, 35, 30, 44, 0x4129a2cd8ee655ffu},
      {false, 2, false, -3, 35, 30, 44, 0x4129a2cd8ee655ffu},
      {false, 3, false, -3, 35, 30, 44, 0x298fc99e555d1f0eu},
      {false, 4, false, -3, 35, 30, 44, kUnchanged},
      {false, 1, false, 5, 20, 30, 18, kUnchanged},
      {false, 2, true, 5, 20, 30, 18, kUnchanged},
      {false, 2, false, 5, 20, 30, 18, kUnchanged},
      {false, 3, false, 5, 20, 30, 18, kUnchanged},
      {false, 4, false, 5, 20, 30, 18, kUnchanged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.right ? "right" : "bottom") << " kind " << int(c.kind)
                                    << (c.withBitmap ? " bitmap " : " canvas ") << c.x1 << "," << c.y1 << " - "
                                    << c.x2 << "," << c.y2);
    auto b = Pattern(40, 40);
    b->Canvas()->Brush()->SetColor(TColor(0x102030));
    TBitmap* rows = c.withBitmap ? b.get() : nullptr;
    if (c.right)
      VXDrawShadowRight(b->Canvas(), rows, c.x1, c.y1, c.x2, c.y2, c.kind);
    else
      VXDrawShadowBottom(b->Canvas(), rows, c.x1, c.y1, c.x2, c.y2, c.kind);
    const uint64_t sum = checksum(*b);
    EXPECT_EQ(sum, c.sum == kUnchanged ? unchanged : c.sum) << std::hex << "0x" << sum;
  }
}

TEST(Decorate, SoftShadowDarkensOnlyAroundTheImageAsNumpysBlur) {
  if (!dibtest::HavePython({"numpy"})) GTEST_SKIP() << "python3-numpy is missing";
  dibtest::TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  auto b = Solid(40, 30, 200);
  VXDrawSoftShadow(b.get(), 10, 8, 25, 20);
  ASSERT_TRUE(dibtest::RunPython(dir, R"(
import numpy as np
x1, y1, x2, y2 = 10, 8, 25, 20
w, h = x2 - x1 + 11, y2 - y1 + 11
m = np.zeros((h, w))
m[5:h - 3, 5:w - 3] = 255
s = 2.5
k = np.exp(-((np.arange(-100, 101) / s) ** 2) / 2)
k /= k.sum()
def blur(a):
    p = np.pad(a, 100, mode='edge')
    p = np.apply_along_axis(lambda r: np.convolve(r, k, 'valid'), 1, p[100:-100, :])
    p = np.apply_along_axis(lambda c: np.convolve(c, k, 'valid'), 0, np.pad(p, ((100, 100), (0, 0)), mode='edge'))
    return p
m = blur(m)
img = np.full((30, 40), 200.0)
for y in range(max(y1 - 5, 0), min(y2 + 5, 29) + 1):
    for x in range(max(x1 - 5, 0), min(x2 + 5, 39) + 1):
        if x1 <= x < x2 and y1 <= y < y2: continue
        img[y, x] = np.trunc(200 * (1 - m[y - y1 + 5, x - x1 + 5] / 255))
open('want.raw', 'wb').write(img.astype(np.uint8).tobytes())
)"));
  const Bytes want = dibtest::ReadFile(dir / "want.raw");
  ASSERT_EQ(want.size(), 40u * 30u);
  int darkened = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const auto* p = static_cast<const uint8_t*>(b->ScanLine(y)) + 3 * x;
      EXPECT_NEAR(int(p[0]), int(want[size_t(y) * 40 + size_t(x)]), 1) << x << "," << y;
      EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
      const bool inside = x >= 10 && x < 25 && y >= 8 && y < 20;
      if (inside) {
        EXPECT_EQ(p[0], 200) << x << "," << y;
      }
      darkened += p[0] < 200;
    }
  EXPECT_GT(darkened, 100);
}

class ColorDialog : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = VXGetGlobalSettings()->ColorDialogCustomColors; }
  void TearDown() override {
    VXGetGlobalSettings()->ColorDialogCustomColors = saved_;
    SetChooseColorHandler(nullptr);
  }
  std::string saved_;
};

TEST_F(ColorDialog, CancelKeepsTheColourAndStoresTheCustomColours) {
  VXGetGlobalSettings()->ColorDialogCustomColors = "";
  TColor color = TColor(0x123456);
  EXPECT_FALSE(VXColorDialog(color));  // headless: cancelled
  EXPECT_EQ(color, TColor(0x123456));
  std::string want;
  for (const std::string& l : VXDefaultCustomColors()) want += l + "\n";
  EXPECT_EQ(VXGetGlobalSettings()->ColorDialogCustomColors, want);
  EXPECT_EQ(VXDefaultCustomColors().front(), "ColorA=D670DA");
  EXPECT_EQ(VXDefaultCustomColors().back(), "ColorP=1E69D2");

  // A scripted cancel that edits a custom colour still stores it.
  std::vector<COLORREF> seen;
  SetChooseColorHandler([&](CHOOSECOLORW& cc) {
    seen.assign(cc.lpCustColors, cc.lpCustColors + 16);
    EXPECT_EQ(cc.rgbResult, 0x00FF00u);
    cc.lpCustColors[15] = 0x0A0B0C;
    cc.rgbResult = 0xFFFFFF;
    return FALSE;
  });
  VXGetGlobalSettings()->ColorDialogCustomColors = "colorb=00ff00\r\nColorC=bad!\r\n";
  color = clLime;
  EXPECT_FALSE(VXColorDialog(color));
  EXPECT_EQ(color, clLime);
  ASSERT_EQ(seen.size(), 16u);
  EXPECT_EQ(seen[0], 0xFFFFFFu);  // missing
  EXPECT_EQ(seen[1], 0x00FF00u);
  EXPECT_EQ(seen[2], 0xFFFFFFu);  // not a colour
  const std::string& stored = VXGetGlobalSettings()->ColorDialogCustomColors;
  EXPECT_NE(stored.find("ColorB=00FF00\n"), std::string::npos);
  EXPECT_NE(stored.find("ColorP=0A0B0C\n"), std::string::npos);
}

TEST_F(ColorDialog, OkTakesTheChosenColour) {
  VXGetGlobalSettings()->ColorDialogCustomColors = "";
  SetChooseColorHandler([](CHOOSECOLORW& cc) {
    EXPECT_EQ(cc.lpCustColors[0], 0xD670DAu);
    cc.rgbResult = 0x336699;
    cc.lpCustColors[0] = 0x336699;
    return TRUE;
  });
  TColor color = clBtnFace;  // a system colour starts as its value
  EXPECT_TRUE(VXColorDialog(color));
  EXPECT_EQ(color, TColor(0x336699));
  EXPECT_EQ(VXGetGlobalSettings()->ColorDialogCustomColors.substr(0, 14), "ColorA=336699\n");
}

TEST(PlatformChores, ClipboardFormatsByName) {
  const UINT mine = RegisterClipboardFormatW("Vexlane Decorate Test");
  const UINT other = RegisterClipboardFormatW("Vexlane Decorate Other");
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  EXPECT_EQ(VXGetClipboardFormatByName("No such format, never registered"), 0u);
  EXPECT_EQ(VXGetClipboardFormatByName("Vexlane Decorate Test"), 0u);  // registered but not on the clipboard
  EXPECT_EQ(SetClipboardData(CF_DIB, GlobalAlloc(GHND, 8)) != nullptr, true);
  EXPECT_NE(SetClipboardData(mine, GlobalAlloc(GHND, 4)), nullptr);
  EXPECT_NE(SetClipboardData(other, GlobalAlloc(GHND, 4)), nullptr);
  EXPECT_EQ(VXGetClipboardFormatByName("vexlane decorate TEST"), mine);
  EXPECT_EQ(VXGetClipboardFormatByName("Vexlane Decorate Other"), other);
  const auto list = VXListClipboardFormats();
  ASSERT_EQ(list.size(), 2u);  // CF_DIB has no registered name
  EXPECT_EQ(list[0].Name, "Vexlane Decorate Test");
  EXPECT_EQ(list[0].Id, mine);
  EXPECT_TRUE(OpenClipboard(nullptr));  // already open in this thread
  EmptyClipboard();
  EXPECT_EQ(VXGetClipboardFormatByName("Vexlane Decorate Test"), 0u);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_EQ(GetClipboardData(CF_DIB), nullptr);  // closed
}

// VXOpenClipboard waits out a holder that closes within its retries and
// gives up on one that keeps the clipboard for a second.
TEST(PlatformChores, OpenClipboardRetries) {
  for (int holdMs : {60, 1000}) {
    std::atomic<bool> held{false};
    std::thread holder([&] {
      ASSERT_TRUE(OpenClipboard(nullptr));
      held = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
      CloseClipboard();
    });
    while (!held) std::this_thread::yield();
    const bool opened = VXOpenClipboard();
    EXPECT_EQ(opened, holdMs == 60) << "held for " << holdMs << " ms";
    if (opened) EXPECT_TRUE(CloseClipboard());
    holder.join();
  }
  ASSERT_TRUE(VXOpenClipboard());
  EXPECT_TRUE(VXOpenClipboard());  // this thread holds it
  EXPECT_TRUE(CloseClipboard());
}

TEST(PlatformChores, FileSizeOfSparseAndMissingFiles) {
  dibtest::TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string big = dir / "sparse.bin";
  const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const bool sized = ftruncate(fd, int64_t(5) << 30) == 0;
  close(fd);
  if (!sized) GTEST_SKIP() << "the file system refuses a 5 GiB sparse file";
  EXPECT_EQ(VXFindFileSize(big), int64_t(5) << 30);
  EXPECT_EQ(VXFindFileSize(dir / "missing.bin"), 0);
}

TEST(PlatformChores, OwnerWindowHandle) {
  TForm form(nullptr);
  auto* inner = new TComponent(&form);
  auto* deeper = new TComponent(inner);
  EXPECT_EQ(VXOwnerWindowHandle(deeper), nullptr);  // no window made yet
  form.HandleNeeded();
  ASSERT_NE(form.Handle(), nullptr);
  EXPECT_EQ(VXOwnerWindowHandle(deeper), form.Handle());
  EXPECT_EQ(VXOwnerWindowHandle(inner), form.Handle());
  TComponent alone(nullptr);
  EXPECT_EQ(VXOwnerWindowHandle(&alone), nullptr);
  EXPECT_EQ(VXOwnerWindowHandle(nullptr), nullptr);
}

}  // namespace
