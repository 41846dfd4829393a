// The canvas's text members and its font bound to a platform font, with the
// DejaVu fonts pinned; Arc and Pie through the canvas.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../winui/pinned_fonts.h"
#include "gui/graphics.h"
#include "winui/font_face.h"
#include "winui/gdi_text.h"

namespace {

std::unique_ptr<TBitmap> White(int W, int H) {
  auto b = std::make_unique<TBitmap>(W, H, pf32bit);
  b->Canvas()->Brush()->SetColor(clWhite);
  b->Canvas()->FillRect(TRect{0, 0, W, H});
  return b;
}

uint32_t At(TBitmap& B, int x, int y) { return static_cast<uint32_t*>(B.ScanLine(y))[x] & 0xFFFFFF; }

std::vector<uint32_t> Pixels(TBitmap& B) {
  std::vector<uint32_t> v;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) v.push_back(At(B, x, y));
  return v;
}

TRect Ink(TBitmap& B, uint32_t Background) {
  TRect r{B.Width(), B.Height(), 0, 0};
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      if (At(B, x, y) != Background) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

TEST(GuiCanvasText, ExtentsFollowTheFontAndItsChanges) {
  auto b = White(8, 8);
  TCanvas* c = b->Canvas();
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetHeight(-12);
  const std::string s = "Canvas text";
  TSize e = c->TextExtent(s);
  // The same as measuring on the DC with the font's handle.
  SIZE want;
  HGDIOBJ old = SelectObject(c->Handle(), c->Font()->Handle());
  ASSERT_TRUE(GetTextExtentPoint32W(c->Handle(), s.c_str(), int(s.size()), &want));
  SelectObject(c->Handle(), old);
  EXPECT_EQ(e.cx, want.cx);
  EXPECT_EQ(e.cy, want.cy);
  EXPECT_EQ(c->TextWidth(s), e.cx);
  EXPECT_EQ(c->TextHeight(s), e.cy);
  EXPECT_EQ(c->TextExtent("").cx, 0);
  // Each change of the font makes a new platform font.
  c->Font()->SetHeight(-20);
  EXPECT_GT(c->TextWidth(s), e.cx);
  EXPECT_GT(c->TextHeight(s), e.cy);
  int large = c->TextWidth(s);
  c->Font()->SetStyle(VXFontStyleBit(fsBold));
  EXPECT_GT(c->TextWidth(s), large);
  c->Font()->SetStyle(0);
  c->Font()->SetName("DejaVu Sans Mono");
  EXPECT_EQ(c->TextWidth("iiii"), c->TextWidth("MMMM"));
  c->Font()->SetSize(9);  // 12 pixels at 96 pixels per inch
  c->Font()->SetName("DejaVu Sans");
  EXPECT_EQ(c->TextWidth(s), e.cx);
  // The platform's names reach DejaVu Sans through the substitutes.
  c->Font()->SetName("Tahoma");
  EXPECT_EQ(c->TextWidth(s), e.cx);
}

TEST(GuiCanvasText, TextOutInTheFontColourWithTheBrushBehind) {
  auto b = White(120, 30);
  TCanvas* c = b->Canvas();
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetHeight(-16);
  c->Font()->SetColor(clRed);
  c->Brush()->SetColor(clYellow);
  c->TextOut(10, 5, "Hello");
  TSize e = c->TextExtent("Hello");
  EXPECT_EQ(c->PenPos(), (TPoint{10 + e.cx, 5}));
  int red = 0;
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) {
      uint32_t px = At(*b, x, y);
      bool inCell = x >= 10 && x < 10 + e.cx && y >= 5 && y < 5 + e.cy;
      if (!inCell) {
        EXPECT_EQ(px, 0xFFFFFFu) << x << "," << y;
      }
      red += px == 0xFF0000;
    }
  EXPECT_GT(red, 30);
  EXPECT_EQ(At(*b, 10, 5), 0xFFFF00u);  // the solid brush fills the cell
  // A clear brush leaves the background alone.
  auto d = White(120, 30);
  d->Canvas()->Font()->Assign(c->Font());
  d->Canvas()->Brush()->SetStyle(bsClear);
  d->Canvas()->TextOut(10, 5, "Hello");
  for (uint32_t px : Pixels(*d)) EXPECT_NE(px, 0xFFFF00u);
  EXPECT_LE(Ink(*d, 0xFFFFFF).Right, 10 + e.cx);
}

TEST(GuiCanvasText, TextRectClipsAndFillsUnlessTheBrushIsClear) {
  const TRect r{12, 4, 40, 18};
  for (bool clear : {false, true}) {
    auto b = White(80, 30);
    TCanvas* c = b->Canvas();
    c->Font()->SetName("DejaVu Sans");
    c->Font()->SetHeight(-20);
    c->Font()->SetColor(clBlack);
    if (clear)
      c->Brush()->SetStyle(bsClear);
    else
      c->Brush()->SetColor(clAqua);
    c->TextRect(r, 5, 0, "WWWWWWWW");
    TRect ink = Ink(*b, 0xFFFFFF);
    EXPECT_GE(ink.Left, r.Left);
    EXPECT_GE(ink.Top, r.Top);
    EXPECT_LE(ink.Right, r.Right);
    EXPECT_LE(ink.Bottom, r.Bottom);
    int aqua = 0;
    for (uint32_t px : Pixels(*b)) aqua += px == 0x00FFFF;
    if (clear) {
      EXPECT_EQ(aqua, 0);
      EXPECT_GT(ink.Right, ink.Left);
    } else {
      EXPECT_EQ(ink, r);  // filled to the rectangle
      EXPECT_GT(aqua, 20);
    }
  }
  // A hatched brush fills the rectangle with its colour too.
  auto h = White(80, 30);
  h->Canvas()->Brush()->SetStyle(bsCross);
  h->Canvas()->Brush()->SetColor(clLime);
  h->Canvas()->Font()->SetColor(clBlack);
  h->Canvas()->TextRect(r, 5, 0, "");
  EXPECT_EQ(At(*h, r.Left, r.Top), 0x00FF00u);
  EXPECT_EQ(Ink(*h, 0xFFFFFF), r);
}

TEST(GuiCanvasText, RightToLeftOrientationPutsTheReferencePointPastTheText) {
  auto a = White(100, 24), b = White(100, 24);
  for (TBitmap* k : {a.get(), b.get()}) {
    k->Canvas()->Font()->SetName("DejaVu Sans");
    k->Canvas()->Font()->SetHeight(-14);
    k->Canvas()->Brush()->SetStyle(bsClear);
  }
  TCanvas* c = b->Canvas();
  EXPECT_EQ(c->CanvasOrientation(), coLeftToRight);
  c->SetTextFlags(ETO_RTLREADING);
  EXPECT_EQ(c->CanvasOrientation(), coLeftToRight);  // left-aligned
  SetTextAlign(c->Handle(), TA_RIGHT);
  EXPECT_EQ(c->CanvasOrientation(), coRightToLeft);
  // Right-aligned at X + width + 1: the text starts one pixel right of X.
  c->TextOut(10, 4, "abc");
  a->Canvas()->TextOut(11, 4, "abc");
  EXPECT_EQ(Pixels(*a), Pixels(*b));
}

TEST(GuiCanvasText, ArcAndPieDrawWhatTheWindowLayerDraws) {
  auto a = White(64, 40), b = White(64, 40);
  a->Canvas()->Brush()->SetColor(clGreen);
  a->Canvas()->Pen()->SetColor(clNavy);
  a->Canvas()->Arc(2, 2, 30, 22, 30, 2, 2, 12);
  a->Canvas()->Pie(32, 2, 62, 38, 62, 20, 47, 2);
  HDC dc = b->Canvas()->Handle();
  HBRUSH br = CreateSolidBrush(RGB(0, 0x80, 0));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0x80));
  HGDIOBJ ob = SelectObject(dc, br), op = SelectObject(dc, pen);
  ::Arc(dc, 2, 2, 30, 22, 30, 2, 2, 12);
  ::Pie(dc, 32, 2, 62, 38, 62, 20, 47, 2);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(br);
  DeleteObject(pen);
  EXPECT_EQ(Pixels(*a), Pixels(*b));
  EXPECT_NE(Ink(*a, 0xFFFFFF).Right, 0);
}

}  // namespace
