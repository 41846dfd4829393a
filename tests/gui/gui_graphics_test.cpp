// Pens, brushes, fonts, the canvas and bitmaps. Canvas scenes are checked
// against the platform's pixels that the window layer's GDI call script
// recorded under Wine (tests/winui/golden).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../winui/golden/gdi_goldens.h"
#include "gui/extctrls.h"
#include "gui/forms.h"
#include "gui/graphics.h"
#include "winui/gdi_font.h"
#include "winui/headless.h"

namespace {

// The pixels of a 32-bit bitmap, top row first, as 0x00RRGGBB.
std::vector<uint32_t> Pixels32(TBitmap& B) {
  std::vector<uint32_t> out;
  for (int y = 0; y < B.Height(); ++y) {
    auto* row = static_cast<uint32_t*>(B.ScanLine(y));
    for (int x = 0; x < B.Width(); ++x) out.push_back(row[x] & 0xFFFFFF);
  }
  return out;
}

// A white 32-bit bitmap, as the call script's canvases start.
std::unique_ptr<TBitmap> WhiteBitmap(int W, int H) {
  auto b = std::make_unique<TBitmap>(W, H, pf32bit);
  b->Canvas()->Brush()->SetColor(clWhite);
  b->Canvas()->FillRect(TRect{0, 0, W, H});
  return b;
}

// The call script's seeded pattern.
void FillPattern(TBitmap& B, int Seed) {
  for (int y = 0; y < B.Height(); ++y) {
    auto* row = static_cast<uint32_t*>(B.ScanLine(y));
    for (int x = 0; x < B.Width(); ++x) row[x] = uint32_t((x * 37 + y * 91 + Seed) * 2654435761u) & 0xFFFFFF;
  }
}

// Equal to the golden: exactly, or up to edges and rounding as the window
// layer's own golden test allows.
void ExpectGolden(const std::vector<vxgolden::Golden>& All, const char* Name, TBitmap& B) {
  const vxgolden::Golden* g = vxgolden::FindGolden(All, Name);
  ASSERT_NE(g, nullptr) << Name;
  ASSERT_EQ(g->W, B.Width());
  ASSERT_EQ(g->H, B.Height());
  std::vector<uint32_t> px = Pixels32(B);
  size_t bytes = 0, pixels = 0;
  for (size_t i = 0; i < px.size(); ++i) {
    uint32_t a = px[i], b = g->Px[i] & 0xFFFFFF;
    int d = 0;
    for (int k = 0; k < 3; ++k) d += ((a >> (8 * k)) & 255) != ((b >> (8 * k)) & 255);
    bytes += size_t(d);
    pixels += d != 0;
  }
  if (g->Exact)
    EXPECT_EQ(pixels, 0u) << Name;
  else
    EXPECT_LE(bytes * 100, px.size() * 3 * 2) << Name << ": " << pixels << " pixels differ";
}

TEST(GuiCanvas, ScenesDrawnThroughTheCanvasGiveThePlatformsPixels) {
  auto goldens = vxgolden::ReadGoldens();
  ASSERT_FALSE(goldens.empty()) << "tests/data/winui/gdi_goldens.bin is missing";

  {  // Every pen mode over four colour bands.
    auto b = WhiteBitmap(40, 24);
    TCanvas* c = b->Canvas();
    const TColor bands[] = {clBlack, clWhite, TColor(RGB(255, 0, 128)), TColor(RGB(18, 52, 86))};
    for (int i = 0; i < 4; ++i) {
      c->Brush()->SetColor(bands[i]);
      c->FillRect(TRect{0, i * 6, 40, i * 6 + 6});
    }
    // R2_BLACK .. R2_WHITE.
    const TPenMode modes[16] = {pmBlack,   pmNotMerge, pmMaskNotPen,  pmNotCopy, pmMaskPenNot,  pmNot,
                                pmXor,     pmNotMask,  pmMask,        pmNotXor,  pmNop,         pmMergeNotPen,
                                pmCopy,    pmMergePenNot, pmMerge,    pmWhite};
    c->Pen()->SetColor(TColor(RGB(0x33, 0x66, 0xCC)));
    for (int m = 1; m <= 16; ++m) {
      c->Pen()->SetMode(modes[m - 1]);
      c->MoveTo(2 * m, 0);
      c->LineTo(2 * m, 24);
    }
    ExpectGolden(goldens, "rop2", *b);
  }
  {  // Styled pens over a solid (opaque gaps) and a clear (transparent) brush.
    auto b = WhiteBitmap(64, 40);
    TCanvas* c = b->Canvas();
    const TPenStyle styles[] = {psDash, psDot, psDashDot, psDashDotDot, psClear, psSolid};
    for (int i = 0; i < 6; ++i) {
      c->Pen()->SetStyle(styles[i]);
      c->Pen()->SetColor(TColor(RGB(0, 0, 160)));
      c->Brush()->SetColor(TColor(RGB(255, 200, 0)));
      c->MoveTo(0, i * 3);
      c->LineTo(60, i * 3);
      c->Brush()->SetStyle(bsClear);
      c->MoveTo(2, 20 + i * 3);
      c->LineTo(62, 20 + i * 3);
    }
    c->Pen()->SetStyle(psDashDot);
    c->Pen()->SetColor(TColor(RGB(0, 128, 0)));
    c->MoveTo(0, 39);
    c->LineTo(40, 19);
    const TPoint pl[] = {{44, 20}, {63, 20}, {63, 39}, {44, 39}};
    c->Polyline(pl);
    ExpectGolden(goldens, "pen_styles", *b);
  }
  {  // Rectangles with solid and clear pens and brushes, fills and frames.
    auto b = WhiteBitmap(64, 40);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(TColor(RGB(220, 0, 0)));
    c->Pen()->SetColor(TColor(RGB(0, 0, 200)));
    c->Rectangle(1, 1, 11, 9);
    c->Rectangle(14, 1, 15, 9);
    c->Rectangle(18, 1, 20, 3);
    c->Rectangle(30, 8, 22, 1);
    c->Pen()->SetStyle(psClear);
    c->Rectangle(34, 1, 44, 9);
    c->Pen()->SetStyle(psSolid);
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(47, 1, 60, 9);
    c->Brush()->SetColor(TColor(RGB(220, 0, 0)));
    c->FillRect(TRect{1, 12, 12, 20});
    c->FrameRect(TRect{14, 12, 26, 20});
    c->FillRect(TRect{30, 12, 30, 20});
    // The rest of the script's scene, on the canvas's DC and brush.
    HDC dc = c->Handle();
    RECT inv = {5, 15, 20, 25};
    InvertRect(dc, &inv);
    PatBlt(dc, 28, 22, 20, 10, PATINVERT);
    PatBlt(dc, 50, 22, 10, 10, DSTINVERT);
    PatBlt(dc, 60, 30, -8, -6, PATCOPY);
    ExpectGolden(goldens, "rectangles", *b);
  }
  {  // Ellipses and rounded rectangles: filled, without pen, wide and hollow.
    auto b = WhiteBitmap(64, 40);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(TColor(RGB(0, 160, 0)));
    c->Ellipse(1, 1, 21, 15);
    c->Ellipse(24, 1, 31, 18);
    c->RoundRect(34, 1, 62, 18, 10, 8);
    c->Pen()->SetStyle(psClear);
    c->Ellipse(1, 20, 20, 39);
    c->RoundRect(24, 20, 44, 38, 6, 6);
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetWidth(3);
    c->Brush()->SetStyle(bsClear);
    c->Ellipse(47, 21, 62, 37);
    ExpectGolden(goldens, "shapes", *b);
  }
  {  // Polygons in both fill modes.
    auto b = WhiteBitmap(64, 32);
    TCanvas* c = b->Canvas();
    TPoint star[] = {{15, 0}, {24, 30}, {0, 11}, {30, 11}, {6, 30}};
    c->Brush()->SetColor(TColor(RGB(160, 0, 160)));
    SetPolyFillMode(c->Handle(), ALTERNATE);
    c->Polygon(star);
    for (TPoint& p : star) p.X += 33;
    SetPolyFillMode(c->Handle(), WINDING);
    c->Polygon(star);
    ExpectGolden(goldens, "polygons", *b);
  }
  {  // An enlarging StretchDraw, then the script's other stretches.
    TBitmap src(8, 6, pf32bit);
    FillPattern(src, 11);
    auto b = WhiteBitmap(64, 40);
    TCanvas* c = b->Canvas();
    c->StretchDraw(TRect{0, 0, 24, 18}, &src);
    HDC dc = c->Handle(), s = src.Canvas()->Handle();
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, 40, 0, -13, 11, s, 0, 0, 8, 6, SRCCOPY);
    c->StretchDraw(TRect{44, 0, 49, 4}, &src);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, 0, 20, 8, 6, s, 0, 0, 8, 6, SRCCOPY);
    StretchBlt(dc, 10, 20, 4, 3, s, 0, 0, 8, 6, SRCCOPY);
    StretchBlt(dc, 20, 20, 16, 12, s, 0, 0, 8, 6, SRCCOPY);
    ExpectGolden(goldens, "stretches", *b);
  }
}

TEST(GuiCanvas, DrawCopyRectAndPixelsCopyExactly) {
  TBitmap src(8, 6, pf32bit);
  FillPattern(src, 7);
  TBitmap dst(30, 20, pf32bit);
  FillPattern(dst, 1);
  std::vector<uint32_t> before = Pixels32(dst), s = Pixels32(src);
  dst.Canvas()->Draw(3, 4, &src);
  dst.Canvas()->SetCopyMode(cmSrcInvert);
  dst.Canvas()->CopyRect(TRect{20, 10, 28, 16}, src.Canvas(), TRect{0, 0, 8, 6});
  dst.Canvas()->SetPixels(0, 0, clRed);
  dst.Canvas()->SetPixels(29, 19, clBtnFace);  // a system colour resolves
  std::vector<uint32_t> after = Pixels32(dst);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      uint32_t want = before[size_t(y * 30 + x)];
      if (x >= 3 && x < 11 && y >= 4 && y < 10) want = s[size_t((y - 4) * 8 + x - 3)];
      if (x >= 20 && x < 28 && y >= 10 && y < 16) want ^= s[size_t((y - 10) * 8 + x - 20)];
      if (x == 0 && y == 0) want = 0xFF0000;
      if (x == 29 && y == 19) want = 0xF0F0F0;
      ASSERT_EQ(after[size_t(y * 30 + x)], want) << x << "," << y;
    }
  EXPECT_EQ(dst.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(dst.Canvas()->ClipRect(), (TRect{0, 0, 30, 20}));
  dst.Canvas()->Draw(0, 0, nullptr);  // nothing to draw
  dst.Canvas()->MoveTo(4, 5);
  dst.Canvas()->LineTo(9, 5);
  EXPECT_EQ(dst.Canvas()->PenPos(), (TPoint{9, 5}));

  // A canvas with no DC, and a graphic control without a parent, cannot draw.
  TCanvas bare;
  EXPECT_THROW(bare.FillRect(TRect{0, 0, 1, 1}), EInvalidOperation);
  TImage orphan(nullptr);
  EXPECT_THROW(static_cast<TGraphicControl&>(orphan).Canvas()->LineTo(1, 1), EInvalidOperation);
}

TEST(GuiCanvas, HatchedBrushesLeaveTheGapsAlone) {
  // Each hatch over a seeded surface equals the platform's hatch brush filled
  // with a transparent background.
  const TBrushStyle styles[] = {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    TBitmap a(20, 16, pf32bit), b(20, 16, pf32bit);
    FillPattern(a, 3);
    FillPattern(b, 3);
    a.Canvas()->Brush()->SetColor(clNavy);
    a.Canvas()->Brush()->SetStyle(styles[i]);
    a.Canvas()->FillRect(TRect{1, 2, 19, 15});
    HDC dc = b.Canvas()->Handle();
    HBRUSH h = CreateHatchBrush(HS_HORIZONTAL + i, RGB(0, 0, 0x80));
    SetBkMode(dc, TRANSPARENT);
    RECT r{1, 2, 19, 15};
    FillRect(dc, &r, h);
    DeleteObject(h);
    EXPECT_EQ(Pixels32(a), Pixels32(b));
    std::vector<uint32_t> px = Pixels32(a);
    EXPECT_GT(std::count(px.begin(), px.end(), 0x000080u), 10);
  }
}

TEST(GuiCanvas, DottedNotRectangleDrawnTwiceRestoresTheSurface) {
  TBitmap b(40, 30, pf24bit);
  for (int y = 0; y < 30; ++y) {
    auto* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int i = 0; i < 120; ++i) row[i] = uint8_t(i * 7 + y * 13);
  }
  std::vector<uint8_t> orig;
  auto snap = [&] {
    std::vector<uint8_t> v;
    for (int y = 0; y < 30; ++y) {
      auto* row = static_cast<uint8_t*>(b.ScanLine(y));
      v.insert(v.end(), row, row + 120);
    }
    return v;
  };
  orig = snap();
  TCanvas* c = b.Canvas();
  c->Pen()->SetStyle(psDot);
  c->Pen()->SetMode(pmNot);
  c->Brush()->SetStyle(bsClear);
  c->Rectangle(3, 4, 30, 25);
  EXPECT_NE(snap(), orig);
  c->Rectangle(3, 4, 30, 25);
  EXPECT_EQ(snap(), orig);
}

TEST(GuiBitmap, ScanLineRowsShowThroughTheCanvasAndTheDIBHandle) {
  struct Case {
    TPixelFormat Format;
    int Bits;
  };
  for (Case k : {Case{pf1bit, 1}, Case{pf8bit, 8}, Case{pf24bit, 24}, Case{pf32bit, 32}}) {
    SCOPED_TRACE(k.Bits);
    TBitmap b(5, 3, k.Format);
    EXPECT_EQ(b.BitsPerPixel(), k.Bits);
    EXPECT_EQ(b.RowBytes(), size_t((5 * k.Bits + 31) / 32 * 4));
    // The pixel (2, 1) becomes red (white for 1 bit).
    auto* row = static_cast<uint8_t*>(b.ScanLine(1));
    COLORREF want = RGB(255, 0, 0);
    if (k.Bits == 1) {
      row[0] = 0x20;
      want = RGB(255, 255, 255);
    } else if (k.Bits == 8) {
      const RGBQUAD red{0, 0, 255, 0};
      std::vector<RGBQUAD> pal = b.Palette();
      ASSERT_EQ(pal.size(), 256u);
      EXPECT_EQ(pal[77].rgbRed, 77);  // a grey ramp to start with
      pal[9] = red;
      b.SetPalette(pal);
      row[2] = 9;
    } else {
      int bpp = k.Bits / 8;
      row[2 * bpp + 2] = 255;
    }
    EXPECT_EQ(COLORREF(b.Canvas()->Pixels(2, 1)), want);
    EXPECT_EQ(COLORREF(b.Canvas()->Pixels(1, 1)), RGB(0, 0, 0));
    // The DIB section holds the rows bottom-up.
    DIBSECTION ds;
    ASSERT_EQ(GetObjectW(b.Handle(), sizeof ds, &ds), int(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 5);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, k.Bits);
    EXPECT_EQ(static_cast<uint8_t*>(ds.dsBm.bmBits) + 1 * b.RowBytes(), b.ScanLine(1));
    EXPECT_EQ(static_cast<uint8_t*>(ds.dsBm.bmBits), b.ScanLine(2));
    // And the canvas's drawing shows in the rows.
    b.Canvas()->SetPixels(0, 2, clWhite);
    EXPECT_NE(static_cast<uint8_t*>(b.ScanLine(2))[0], 0);
    EXPECT_THROW(b.ScanLine(3), EInvalidGraphicOperation);
    EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
  }
}

TEST(GuiBitmap, SizeFormatAssignAndModified) {
  TBitmap b;
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Handle(), nullptr);
  EXPECT_THROW(b.ScanLine(0), EInvalidGraphicOperation);
  b.SetWidth(4);
  b.SetHeight(3);  // sizes set one at a time add up
  ASSERT_FALSE(b.Empty());
  b.SetPixelFormat(pf24bit);
  int changes = 0;
  b.OnChange = [&](void*) { ++changes; };
  b.Canvas()->SetPixels(1, 1, TColor(RGB(10, 20, 30)));
  EXPECT_TRUE(b.Modified());
  EXPECT_EQ(changes, 1);
  b.SetModified(false);
  EXPECT_FALSE(b.Modified());

  b.SetSize(6, 2);  // the shared part stays, new pixels are black
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), TColor(RGB(10, 20, 30)));
  EXPECT_EQ(b.Canvas()->Pixels(5, 0), 0);
  b.SetPixelFormat(pf32bit);
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), TColor(RGB(10, 20, 30)));
  EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphicOperation);
  EXPECT_THROW(b.SetSize(-1, 3), EInvalidGraphicOperation);

  TBitmap copy;
  copy.Assign(&b);
  EXPECT_EQ(copy.Width(), 6);
  EXPECT_EQ(copy.PixelFormat(), pf32bit);
  EXPECT_EQ(copy.Canvas()->Pixels(1, 1), TColor(RGB(10, 20, 30)));
  copy.Canvas()->SetPixels(1, 1, clWhite);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), TColor(RGB(10, 20, 30)));
  TPen pen;
  EXPECT_THROW(copy.Assign(&pen), EConvertError);
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.Empty());

  VXHeadless::FailDIBSections(1);
  EXPECT_THROW(b.SetSize(8, 8), EOutOfResources);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), TColor(RGB(10, 20, 30)));  // unchanged
}

TEST(GuiGraphics, PenBrushAndFontMakeTheirObjects) {
  TPen pen;
  pen.SetColor(clBtnFace);
  pen.SetStyle(psDot);
  LOGPEN lp;
  ASSERT_EQ(GetObjectW(pen.Handle(), sizeof lp, &lp), int(sizeof lp));
  EXPECT_EQ(int(lp.lopnStyle), PS_DOT);
  pen.SetWidth(3);
  pen.SetStyle(psInsideFrame);
  ASSERT_EQ(GetObjectW(pen.Handle(), sizeof lp, &lp), int(sizeof lp));
  EXPECT_EQ(int(lp.lopnStyle), PS_INSIDEFRAME);
  EXPECT_EQ(lp.lopnWidth.x, 3);
  EXPECT_EQ(lp.lopnColor, RGB(0xF0, 0xF0, 0xF0));

  TBrush br;
  br.SetStyle(bsDiagCross);
  br.SetColor(clBlue);
  LOGBRUSH lb;
  ASSERT_EQ(GetObjectW(br.Handle(), sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbStyle, BS_HATCHED);
  EXPECT_EQ(int(lb.lbHatch), HS_DIAGCROSS);
  br.SetStyle(bsClear);
  EXPECT_EQ(br.Handle(), GetStockObject(NULL_BRUSH));
  br.SetColor(clRed);  // a colour makes a clear brush solid
  EXPECT_EQ(br.Style(), bsSolid);

  TFont f;
  EXPECT_EQ(f.Name(), "Tahoma");
  EXPECT_EQ(f.Height(), -11);
  f.SetSize(9);
  EXPECT_EQ(f.Height(), -12);
  EXPECT_EQ(f.Size(), 9);
  f.SetName("Segoe UI");
  f.SetStyle(VXFontStyleBit(fsBold) | VXFontStyleBit(fsItalic));
  LOGFONTW lf;
  ASSERT_EQ(GetObjectW(f.Handle(), sizeof lf, &lf), int(sizeof lf));
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfItalic, 1);
  EXPECT_EQ(std::u16string(lf.lfFaceName), u"Segoe UI");
  TFont g;
  g.Assign(&f);
  EXPECT_EQ(g.Name(), "Segoe UI");
  EXPECT_EQ(g.Style(), f.Style());
}

TEST(GuiImage, AnImageShowsItsPictureOnTheForm) {
  VXHeadless::Reset();
  {
    TForm form;
    form.SetBounds(0, 0, 200, 150);
    auto* img = new TImage(&form);
    img->SetParent(&form);
    img->SetBounds(10, 20, 40, 30);
    TBitmap pic(4, 2, pf24bit);
    pic.Canvas()->Brush()->SetColor(clBlue);
    pic.Canvas()->FillRect(TRect{0, 0, 4, 2});
    img->Picture()->SetGraphic(&pic);
    img->SetCenter(true);
    form.Show();
    VXHeadless::RunUntilIdle();
    int w, h;
    std::vector<uint32_t> px = VXHeadless::Surface(form.Handle(), w, h);
    ASSERT_GT(w, 60);
    // Centred: (10 + 18, 20 + 14) .. (10 + 22, 20 + 16).
    EXPECT_EQ(px[size_t(34 * w + 28)], 0x0000FFu);
    EXPECT_EQ(px[size_t(35 * w + 31)], 0x0000FFu);
    EXPECT_NE(px[size_t(33 * w + 28)], 0x0000FFu);
    EXPECT_NE(px[size_t(34 * w + 32)], 0x0000FFu);
    img->SetStretch(true);
    VXHeadless::RunUntilIdle();
    px = VXHeadless::Surface(form.Handle(), w, h);
    EXPECT_EQ(px[size_t(20 * w + 10)], 0x0000FFu);
    EXPECT_EQ(px[size_t(49 * w + 49)], 0x0000FFu);
    EXPECT_NE(px[size_t(50 * w + 50)], 0x0000FFu);
  }
  VXHeadless::Reset();
}

}  // namespace
