// TVexlaneProc::TextOut: the anti-aliased form through the drawing canvas
// with its named places and growing images, and the platform form, turned
// (against Pillow's rendering of the same face) or without anti-aliasing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "../winui/pinned_fonts.h"
#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/gdiplus.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "numpy_oracle.h"
#include "proc/proc.h"

namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kGreen = 0x00FF00;

// The box of pixels that differ from white (right and bottom exclusive);
// empty when none.
TRect InkBox(TVXBitmap* b) {
  TRect r{b->Width(), b->Height(), 0, 0};
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x) {
      TRGB p = b->Pixels(x, y);
      if (p.r == 255 && p.g == 255 && p.b == 255) continue;
      r.Left = std::min(r.Left, x);
      r.Top = std::min(r.Top, y);
      r.Right = std::max(r.Right, x + 1);
      r.Bottom = std::max(r.Bottom, y + 1);
    }
  return r;
}

// With VX_TEST_DUMP set, the picture goes to $VX_TEST_DUMP/name.ppm to be
// looked at.
void Dump(TVXBitmap* b, const std::string& name) {
  const char* dir = std::getenv("VX_TEST_DUMP");
  if (!dir) return;
  FILE* f = std::fopen((std::string(dir) + "/" + name + ".ppm").c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6 %d %d 255\n", b->Width(), b->Height());
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x) {
      TRGB p = b->Pixels(x, y);
      const uint8_t rgb[3] = {p.r, p.g, p.b};
      std::fwrite(rgb, 1, 3, f);
    }
  std::fclose(f);
}

std::unique_ptr<TVXBitmap> White(int32_t w, int32_t h, TVXPixelFormat f = vx24RGB) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  b->Fill(double(0xFFFFFF));
  // A palette of colours, not of greys only (that one would read as vx8g).
  if (f == vx8p) b->SetPixels(w - 1, h - 1, TRGB{0, 0, 255});
  if (f != vx24RGB) b->SetPixelFormat(f);
  return b;
}

TFont Face(int32_t Height, TColor Color = kRed) {
  TFont f;
  f.SetName("DejaVu Sans");
  f.SetHeight(Height);
  f.SetColor(Color);
  return f;
}

// The 110 % box of a text as the drawing canvas measures it.
TSize Box(TFont& font, const std::string& text) {
  TVXEmptyCanvas c;
  c.Font()->Assign(&font);
  TSize s = c.TextExtent(text);
  return TSize{MulDiv(s.cx, 110, 100), MulDiv(s.cy, 110, 100)};
}

// Drawing canvases draw through GDI+ while a viewer holds it; the tests hold
// it as one would.
class ProcTextOut : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = VXGetGlobalSettings()->UseGDIPlus();
    VXStartUpGDIPlusUnit();
    VXGetGlobalSettings()->SetUseGDIPlus(true);
    VXLoadGDIPlusLibrary();
    ASSERT_TRUE(VXGDIPlusEnabled());
  }
  void TearDown() override {
    while (VXGDIPlusLoaded()) VXFreeGDIPlusLibrary();
    VXStartUpGDIPlusUnit();
    VXGetGlobalSettings()->SetUseGDIPlus(saved_);
  }
  bool saved_ = true;
};

TEST_F(ProcTextOut, CentredTextLiesInsideTheGrownExtent) {
  const std::string text = "Vexlane grows";
  for (int32_t height : {-12, -20, -36}) {
    SCOPED_TRACE(height);
    auto b = White(400, 120);
    TFont font = Face(height);
    const TSize box = Box(font, text);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    proc->TextOut(-902, -902, text, &font, 0, true, false);
    Dump(b.get(), "textout_centred" + std::to_string(-height));
    const TRect ink = InkBox(b.get());
    ASSERT_LT(ink.Left, ink.Right);
    const int32_t x = (400 - box.cx) / 2, y = (120 - box.cy) / 2;
    EXPECT_GE(ink.Left, x);
    EXPECT_GE(ink.Top, y);
    EXPECT_LE(ink.Right, x + box.cx);
    EXPECT_LE(ink.Bottom, y + box.cy);
    // The text's own colour is there, anti-aliased edges beside it.
    bool red = false, mixed = false;
    for (int32_t yy = ink.Top; yy < ink.Bottom; ++yy)
      for (int32_t xx = ink.Left; xx < ink.Right; ++xx) {
        TRGB p = b->Pixels(xx, yy);
        red |= p.r == 255 && p.g == 0 && p.b == 0;
        mixed |= p.r == 255 && p.g > 0 && p.g < 255;
      }
    EXPECT_TRUE(red);
    EXPECT_TRUE(mixed);
  }
}

TEST_F(ProcTextOut, NamedPlacesPutTheInkAtTheMargins) {
  const std::string text = "Hello";  // begins with an upright stem, cap height high
  const int32_t W = 360, H = 200;
  struct Case {
    int32_t X, Y;
  } cases[] = {{0, 0}, {-901, -901}, {-903, -903}, {-904, -904}, {-901, -904}, {-904, 0}, {37, -903}};
  for (int32_t height : {-14, -28}) {
    TFont font = Face(height);
    const TSize box = Box(font, text);
    const int32_t em = -height;
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << height << ": " << c.X << ", " << c.Y);
      auto resolve = [](int32_t v, int32_t size, int32_t ext) {
        switch (v) {
          case -904: return size - ext;
          case -903: return size - ext - size / 20;
          case -902: return (size - ext) / 2;
          case -901: return size / 20;
        }
        return v;
      };
      const int32_t x = resolve(c.X, W, box.cx), y = resolve(c.Y, H, box.cy);
      auto b = White(W, H);
      auto proc = TVexlaneProc::CreateFromBitmap(b.get());
      proc->TextOut(c.X, c.Y, text, &font, 0, true, false);
      const TRect ink = InkBox(b.get());
      ASSERT_LT(ink.Left, ink.Right);
      // Left: the layout's sixth of an em, then the H's side bearing.
      EXPECT_GE(ink.Left, x);
      EXPECT_LE(ink.Left, x + em / 6 + em / 8 + 1);
      // Top: the room above the capitals within the ascent.
      EXPECT_GE(ink.Top, y);
      EXPECT_LE(ink.Top, y + em / 4 + 1);
    }
  }
}

TEST_F(ProcTextOut, AutoEnlargeGrowsTheImageToTheTextBox) {
  const std::string text = "A long line";
  TFont font = Face(-16);
  const TSize box = Box(font, text);
  auto b = White(10, 10);
  b->AlphaChannel()->Fill(200);
  b->SetAlpha(0, 0, 77);
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  proc->SetBackground(kGreen);
  proc->TextOut(0, 0, text, &font, 0, true, true);
  Dump(b.get(), "textout_enlarged");
  ASSERT_EQ(b->Width(), std::max(10, box.cx));
  ASSERT_EQ(b->Height(), std::max(10, box.cy));
  // The last row lies below the descent: old columns white... only the new
  // rows exist there, all Background with the corner's alpha.
  for (int32_t x = 0; x < b->Width(); ++x) {
    TRGB p = b->Pixels(x, b->Height() - 1);
    EXPECT_TRUE(p.r == 0 && p.g == 255 && p.b == 0) << x;
    EXPECT_EQ(b->Alpha(x, b->Height() - 1), 77) << x;
  }
  EXPECT_EQ(b->Alpha(5, 5), 200);      // the old alpha stays
  EXPECT_EQ(b->Alpha(b->Width() - 1, 0), 77);
  EXPECT_GT(InkBox(b.get()).Right, 10);  // the text runs into the new columns

  // Without it the image keeps its size and shows a clipped part.
  auto small = White(10, 10);
  auto proc2 = TVexlaneProc::CreateFromBitmap(small.get());
  proc2->TextOut(0, 0, text, &font, 0, true, false);
  EXPECT_EQ(small->Width(), 10);
  EXPECT_EQ(small->Height(), 10);
  EXPECT_LT(InkBox(small.get()).Left, 10);

  // The platform form grows with alpha 255.
  auto turned = White(10, 10);
  turned->AlphaChannel()->Fill(100);
  auto proc3 = TVexlaneProc::CreateFromBitmap(turned.get());
  proc3->TextOut(0, 0, text, &font, 0, false, true);
  SIZE ext{};
  {
    TVXEmptyCanvas c;
    c.Font()->Assign(&font);
    TSize s = c.TextExtent(text);
    ext = SIZE{s.cx, s.cy};
  }
  EXPECT_EQ(turned->Width(), std::max<int32_t>(10, ext.cx));
  EXPECT_EQ(turned->Height(), std::max<int32_t>(10, ext.cy));
  EXPECT_EQ(turned->Alpha(turned->Width() - 1, turned->Height() - 1), 255);
}

// Pillow's ink box of the text in DejaVu Sans at an em of Size pixels,
// turned by 90 degrees: (width, height); (0, 0) without Pillow. Its basic
// layout does not kern, as the platform's text does not.
std::pair<int, int> PillowTurnedBox(const std::string& text, int Size) {
  const std::string script =
      "from PIL import Image, ImageDraw, ImageFont\n"
      "f = ImageFont.truetype('/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf', " +
      std::to_string(Size) +
      ", layout_engine=ImageFont.Layout.BASIC)\n"
      "im = Image.new('L', (1000, 200), 0)\n"
      "ImageDraw.Draw(im).text((20, 20), '" +
      text +
      "', font=f, fill=255)\n"
      "b = im.rotate(90, expand=True).getbbox()\n"
      "print(b[2] - b[0], b[3] - b[1])\n";
  const std::string file = testing::TempDir() + "/pillow_turned.py";
  FILE* out = std::fopen(file.c_str(), "w");
  if (!out) return {0, 0};
  std::fputs(script.c_str(), out);
  std::fclose(out);
  std::istringstream in(numpy_oracle::Shell("/usr/bin/python3 " + file + " 2>/dev/null"));
  int w = 0, h = 0;
  in >> w >> h;
  return {w, h};
}

TEST_F(ProcTextOut, TurnedTextMatchesPillowsTurnedRendering) {
  const std::string text = "Vexlane 90";
  for (int32_t em : {18, 30}) {
    SCOPED_TRACE(em);
    const auto [pw, ph] = PillowTurnedBox(text, em);
    if (pw == 0) GTEST_SKIP() << "/usr/bin/python3 with PIL (python3-pil) is missing";
    TFont font = Face(-em, clBlack);
    auto b = White(200, 320);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    const int32_t X = 30, Y = 300;
    proc->TextOut(X, Y, text, &font, 90, true, false);
    Dump(b.get(), "textout_turned" + std::to_string(em));
    const TRect ink = InkBox(b.get());
    ASSERT_LT(ink.Left, ink.Right);
    EXPECT_NEAR(ink.Right - ink.Left, pw, 2);
    EXPECT_NEAR(ink.Bottom - ink.Top, ph, 2);
    // The text runs upwards from its point, shifted right by the cell's
    // height: the cell's top edge is the column X + h.
    TVXEmptyCanvas c;
    c.Font()->Assign(&font);
    const int32_t h = c.TextExtent(text).cy;
    EXPECT_GE(ink.Left, X + h);
    EXPECT_LE(ink.Left, X + h + em / 4 + 1);
    EXPECT_LE(ink.Bottom, Y + 1);
    EXPECT_GE(ink.Bottom, Y - em / 6);
  }
}

TEST_F(ProcTextOut, PlatformTextWithoutAntiAliasingHasOnlyTwoColours) {
  TFont font = Face(-17);
  auto b = White(200, 60);
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  proc->TextOut(-902, -902, "Crisp edges", &font, 0, false, false);
  Dump(b.get(), "textout_crisp");
  const TRect ink = InkBox(b.get());
  ASSERT_LT(ink.Left, ink.Right);
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x) {
      TRGB p = b->Pixels(x, y);
      const bool white = p.r == 255 && p.g == 255 && p.b == 255, red = p.r == 255 && p.g == 0 && p.b == 0;
      ASSERT_TRUE(white || red) << x << ", " << y;
    }
  // Centred by the text's own extent.
  TVXEmptyCanvas c;
  c.Font()->Assign(&font);
  const TSize s = c.TextExtent("Crisp edges");
  EXPECT_GE(ink.Left, (200 - s.cx) / 2);
  EXPECT_LE(ink.Right, (200 - s.cx) / 2 + s.cx + 1);
}

TEST_F(ProcTextOut, EveryFormatTakesTextAndKeepsItsFormat) {
  for (TVXPixelFormat f : {vx1g, vx8g, vx8p, vx16g, vx48RGB, vx32f}) {
    for (bool aa : {true, false}) {
      SCOPED_TRACE(testing::Message() << int(f) << (aa ? " anti-aliased" : " platform"));
      auto b = White(120, 40, f);
      auto proc = TVexlaneProc::CreateFromBitmap(b.get());
      TFont font = Face(-20, clBlack);
      proc->TextOut(4, 4, "Ink", &font, 0, aa, false);
      EXPECT_EQ(b->PixelFormat(), f);
      const TRect ink = InkBox(b.get());
      EXPECT_LT(ink.Left, ink.Right);
      EXPECT_GE(ink.Left, 4);
      EXPECT_GE(ink.Top, 4);
    }
  }
}

TEST_F(ProcTextOut, NamedFontFormAndUndo) {
  auto a = White(160, 50), b = White(160, 50);
  auto pa = TVexlaneProc::CreateFromBitmap(a.get());
  pa->SetAutoUndo(true);
  pa->TextOut(-902, -902, "Same", "DejaVu Sans", 15, kRed, TFontStyles(1u << fsBold), 0, true, false);
  EXPECT_EQ(pa->UndoCount(), 1);
  EXPECT_EQ(pa->GetUndoCaptions(0), "TextOut");
  TFont font = Face(0);
  font.SetSize(15);
  font.SetStyle(TFontStyles(1u << fsBold));
  auto pb = TVexlaneProc::CreateFromBitmap(b.get());
  pb->TextOut(-902, -902, "Same", &font, 0, true, false);
  EXPECT_TRUE(VXBitmapsEqual(a.get(), b.get()));
  EXPECT_LT(InkBox(a.get()).Left, InkBox(a.get()).Right);
  // Without a font the canvas's font of the last call draws again.
  auto c = White(160, 50);
  auto pc = TVexlaneProc::CreateFromBitmap(c.get());
  pc->TextOut(-902, -902, "Same", &font, 0, true, false);
  c->Fill(double(0xFFFFFF));
  pc->TextOut(-902, -902, "Same", nullptr, 0, true, false);
  EXPECT_TRUE(VXBitmapsEqual(c.get(), b.get()));
}

}  // namespace
