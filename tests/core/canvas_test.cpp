// The drawing canvas over GDI (GDI+ off), the regions of interest of a
// bitmap, the shading outside a crop rectangle and the settings' grid pen.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/gdiplus.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"

#include "../winui/pinned_fonts.h"
#include "canvas_pixels.h"

namespace {

class CanvasGDI : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = VXGetGlobalSettings()->UseGDIPlus();
    VXStartUpGDIPlusUnit();
    VXGetGlobalSettings()->SetUseGDIPlus(false);
  }
  void TearDown() override {
    while (VXGDIPlusLoaded()) VXFreeGDIPlusLibrary();
    VXStartUpGDIPlusUnit();
    VXGetGlobalSettings()->SetUseGDIPlus(saved_);
  }
  bool saved_ = true;
};

using canvas_pixels::Changed;
using canvas_pixels::RectMask;
using canvas_pixels::WhiteBitmap;

TEST_F(CanvasGDI, FiguresGoToThePlatformCanvas) {
  auto bmp = WhiteBitmap(40, 30);
  TVXCanvas c(bmp->Canvas(), true, true);
  EXPECT_FALSE(c.UsesGDIPlus());
  EXPECT_EQ(c.GDICanvas(), bmp->Canvas());
  EXPECT_EQ(c.Handle(), bmp->Canvas()->Handle());
  EXPECT_EQ(c.Font(), bmp->Canvas()->Font());
  c.Brush()->SetColor(clBlack);
  c.FillRect(TRect{10, 10, 20, 20});  // GDI: right and bottom exclusive
  EXPECT_EQ(Changed(*bmp), RectMask(40, 30, {TRect{10, 10, 20, 20}}));

  // The pen and brush act on the platform ones.
  c.Pen()->SetColor(clRed);
  EXPECT_EQ(bmp->Canvas()->Pen()->Color(), clRed);
  c.Brush()->SetColor(clBlue);
  EXPECT_EQ(bmp->Canvas()->Brush()->Color(), clBlue);
}

TEST_F(CanvasGDI, LinesAndPathsThroughGDI) {
  auto bmp = WhiteBitmap(20, 20);
  TVXCanvas c(bmp->Canvas(), false, false);
  c.Pen()->SetColor(clBlack);
  c.MoveTo(2, 3);
  EXPECT_EQ(c.PenPos(), (TPoint{2, 3}));
  EXPECT_EQ(bmp->Canvas()->PenPos(), (TPoint{2, 3}));
  c.LineTo(12, 3);
  EXPECT_EQ(c.PenPos(), (TPoint{12, 3}));
  EXPECT_EQ(Changed(*bmp), RectMask(20, 20, {TRect{2, 3, 12, 4}}));

  // DrawLine leaves the pen position where it was.
  c.DrawLine(5, 10, 5, 15);
  EXPECT_EQ(c.PenPos(), (TPoint{12, 3}));
  EXPECT_EQ(bmp->Canvas()->Pixels(5, 12), clBlack);

  // A path of lines becomes a polyline through the rounded points.
  auto path = WhiteBitmap(20, 20);
  TVXCanvas p(path->Canvas(), false, true);
  p.Pen()->SetColor(clBlack);
  p.DrawLinesPath({{1.4, 1.0}, {10.5, 1.2}, {10.4, 8.0}});  // halves go to even
  EXPECT_EQ(Changed(*path), RectMask(20, 20, {TRect{1, 1, 11, 2}, TRect{10, 1, 11, 8}}));
  p.DrawLinesPath({{3, 3}});  // one point draws nothing
  p.DrawLinesPath({});
  EXPECT_EQ(Changed(*path), RectMask(20, 20, {TRect{1, 1, 11, 2}, TRect{10, 1, 11, 8}}));

  // Compositing, rotation and GDI+ pies are GDI+ only.
  p.SetCompositingMode(vxCompositingModeSourceCopy, vxCompositingQualityHighQuality);
  p.Rotate(30);
  p.ResetTransform();
  p.Pie(2.0f, 2.0f, 10.0f, 10.0f, 0.0f, 90.0f);
  p.SetSmoothingMode(vxsmAntialias);
  EXPECT_EQ(Changed(*path), RectMask(20, 20, {TRect{1, 1, 11, 2}, TRect{10, 1, 11, 8}}));
}

TEST_F(CanvasGDI, TranslateOffsetsTheViewportByTruncatedAmounts) {
  auto bmp = WhiteBitmap(30, 30);
  TVXCanvas c(bmp->Canvas(), false, false);
  struct Case {
    double dx, dy;
    POINT expect;
  };
  const Case cases[] = {{5.7, -2.2, {5, -2}}, {-0.9, 0.9, {5, -2}}, {-3.5, 12.99, {2, 10}}};
  for (const Case& k : cases) {
    c.Translate(k.dx, k.dy);
    POINT org;
    ASSERT_TRUE(GetViewportOrgEx(c.Handle(), &org));
    EXPECT_EQ(org.x, k.expect.x) << k.dx;
    EXPECT_EQ(org.y, k.expect.y) << k.dy;
  }
  c.ResetTransform();  // the viewport stays
  POINT org;
  GetViewportOrgEx(c.Handle(), &org);
  EXPECT_EQ(org.x, 2);
  // Figures land moved by the viewport origin.
  c.Brush()->SetColor(clBlack);
  c.FillRect(TRect{0, 0, 3, 3});
  EXPECT_EQ(Changed(*bmp), RectMask(30, 30, {TRect{2, 10, 5, 13}}));
}

TEST_F(CanvasGDI, ShapesMatchThePlatformCanvas) {
  // Every figure draws exactly what the platform canvas draws.
  auto mine = WhiteBitmap(50, 40);
  auto ref = WhiteBitmap(50, 40);
  TVXCanvas c(mine->Canvas(), true, true);
  TCanvas* r = ref->Canvas();
  c.Pen()->SetColor(clNavy);
  c.Brush()->SetColor(clLime);
  r->Pen()->SetColor(clNavy);
  r->Brush()->SetColor(clLime);
  c.Rectangle(1, 1, 10, 8);
  r->Rectangle(1, 1, 10, 8);
  c.Ellipse(TRect{12, 2, 30, 15});
  r->Ellipse(12, 2, 30, 15);
  c.RoundRect(2, 18, 30, 38, 8, 6);
  r->RoundRect(2, 18, 30, 38, 8, 6);
  const TPoint tri[] = {{35, 2}, {48, 10}, {36, 20}};
  c.Polygon(tri);
  r->Polygon(tri);
  const TPoint zig[] = {{33, 25}, {40, 35}, {47, 25}};
  c.Polyline(zig);
  r->Polyline(zig);
  for (int y = 0; y < 40; ++y)
    ASSERT_EQ(std::memcmp(mine->ScanLine(y), ref->ScanLine(y), 50 * 3), 0) << "row " << y;
}

TEST_F(CanvasGDI, EmptyCanvasDrawsOnItsOwnBitmap) {
  TVXEmptyCanvas c;
  EXPECT_FALSE(c.UsesGDIPlus());
  ASSERT_NE(c.GDICanvas(), nullptr);
  EXPECT_NE(c.Handle(), nullptr);
  c.Brush()->SetColor(clBlack);
  c.FillRect(TRect{0, 0, 5, 5});  // nothing to draw on, nothing breaks
}

TEST_F(CanvasGDI, DestroyEventSeesTheCanvas) {
  auto bmp = WhiteBitmap(4, 4);
  const void* addr = nullptr;
  void* seen = nullptr;
  {
    TVXCanvas c(bmp->Canvas(), false, false);
    addr = &c;
    c.OnDestroy = [&](void* Sender) {
      seen = Sender;
      EXPECT_NE(static_cast<TVXCanvas*>(Sender)->Pen(), nullptr);
    };
    EXPECT_EQ(c.ROIBitmap(), nullptr);
  }
  EXPECT_EQ(seen, addr);
}

// ---------------------------------------------------------------------------
// Shading outside a crop rectangle

TEST_F(CanvasGDI, ShadeOutsideRectThroughGDIFillsTheFourRectangles) {
  auto bmp = WhiteBitmap(40, 30);
  bmp->Canvas()->Brush()->SetColor(clLime);
  bmp->Canvas()->Brush()->SetStyle(bsCross);
  VXShadeOutsideRect(bmp->Canvas(), 0, 0, 39, 29, 10, 8, 30, 20);
  EXPECT_EQ(bmp->Canvas()->Brush()->Color(), clLime);
  EXPECT_EQ(bmp->Canvas()->Brush()->Style(), bsCross);
  // Through GDI the brush is solid black and the rectangles are right- and
  // bottom-exclusive.
  EXPECT_EQ(Changed(*bmp), RectMask(40, 30,
                                    {TRect{0, 0, 12, 30}, TRect{30, 0, 40, 30}, TRect{11, 0, 31, 10},
                                     TRect{11, 21, 31, 30}}));
  EXPECT_EQ(bmp->Canvas()->Pixels(0, 0), clBlack);
  // An empty crop rectangle shades nothing.
  auto none = WhiteBitmap(20, 20);
  VXShadeOutsideRect(none->Canvas(), 0, 0, 19, 19, 10, 5, 10, 15);
  VXShadeOutsideRect(none->Canvas(), 0, 0, 19, 19, 5, 10, 15, 9);
  VXShadeOutsideRect(nullptr, 0, 0, 19, 19, 5, 5, 15, 15);
  EXPECT_EQ(Changed(*none), RectMask(20, 20, {}));
}

// ---------------------------------------------------------------------------
// Regions of interest

// A vx24RGB bitmap in memory with a distinct colour at every pixel.
std::unique_ptr<TVXBitmap> Gradient(int32_t w, int32_t h) {
  auto b = std::make_unique<TVXBitmap>();
  b->SetLocation(vxMemory);
  EXPECT_TRUE(b->Allocate(w, h, vx24RGB));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 7), uint8_t(y * 9), uint8_t(x + y)});
  return b;
}

// Pixels of a bitmap that differ from the gradient, as a mask.
std::vector<int> DiffersFromGradient(TVXBitmap& b) {
  auto g = Gradient(b.Width(), b.Height());
  std::vector<int> m(size_t(b.Width()) * size_t(b.Height()));
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const TRGB p = b.Pixels_vx24RGB(x, y), q = g->Pixels_vx24RGB(x, y);
      m[size_t(y) * size_t(b.Width()) + size_t(x)] = (p.r != q.r || p.g != q.g || p.b != q.b);
    }
  return m;
}

TEST_F(CanvasGDI, RegionOfInterestBitmapChangesExactlyItsSquare) {
  for (const TRect& r : {TRect{10, 10, 19, 19}, TRect{19, 19, 10, 10}, TRect{19, 10, 10, 19}}) {
    auto img = Gradient(32, 28);
    {
      std::unique_ptr<TVXBitmap> roi = img->CreateROIBitmap(r, vxnull, false);
      ASSERT_EQ(roi->Width(), 10);
      ASSERT_EQ(roi->Height(), 10);
      EXPECT_EQ(roi->PixelFormat(), vx24RGB);
      EXPECT_EQ(roi->ROIOriginalBitmap(), img.get());
      // The copy holds the rectangle's pixels.
      const TRGB p = roi->Pixels_vx24RGB(0, 0);
      EXPECT_EQ(p.b, 10 * 7);
      EXPECT_EQ(p.g, 10 * 9);
      // Drawn on through its canvas over its whole area and a bit beyond.
      TCanvas* c = roi->Canvas();
      c->Brush()->SetColor(clWhite);
      c->FillRect(TRect{-5, -5, 20, 20});
      // Nothing merges before it is freed.
      EXPECT_EQ(DiffersFromGradient(*img), RectMask(32, 28, {}));
    }
    EXPECT_EQ(DiffersFromGradient(*img), RectMask(32, 28, {TRect{10, 10, 20, 20}}));
    EXPECT_EQ(img->Pixels_vx24RGB(15, 15).g, 255);
  }
}

TEST_F(CanvasGDI, RegionOfInterestInAnotherFormatMergesBackConverted) {
  // A grey image, a vx24RGB region drawn in grey and white: merged back as
  // grey levels; the alpha channel comes back with it.
  auto img = std::make_unique<TVXBitmap>();
  ASSERT_TRUE(img->Allocate(20, 20, vx8g));
  img->Fill(40);
  img->AlphaChannel()->Fill(100);
  {
    auto roi = img->CreateROIBitmap(TRect{2, 3, 5, 7}, vx24RGB, false);
    ASSERT_EQ(roi->PixelFormat(), vx24RGB);
    ASSERT_TRUE(roi->HasAlphaChannel());
    EXPECT_EQ(roi->Alpha(0, 0), 100);
    roi->Fill(double(0xC8C8C8));
    roi->SetAlpha(1, 1, 7);
  }
  EXPECT_EQ(img->PixelFormat(), vx8g);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool in = x >= 2 && x <= 5 && y >= 3 && y <= 7;
      ASSERT_EQ(img->Pixels_vx8(x, y), in ? 200 : 40) << x << "," << y;
      ASSERT_EQ(img->Alpha(x, y), (x == 3 && y == 4) ? 7 : 100) << x << "," << y;
    }
}

TEST_F(CanvasGDI, CanvasOfARegionMergesIntoFormatsNoPlatformBitmapHolds) {
  // The region's canvas puts its copy in a platform bitmap; what is drawn
  // still reaches images of 16 and 48 bits and of floats.
  for (TVXPixelFormat f : {vx16g, vx48RGB, vx32f}) {
    SCOPED_TRACE(int(f));
    auto img = std::make_unique<TVXBitmap>();
    ASSERT_TRUE(img->Allocate(12, 10, vx24RGB));
    img->Fill(double(0xFFFFFF));
    img->SetPixelFormat(f);
    {
      auto c = img->CreateROICanvas(TRect{0, 0, 11, 9}, false, false, false);
      c->Brush()->SetColor(clBlack);
      c->FillRect(TRect{2, 3, 6, 5});
    }
    EXPECT_EQ(img->PixelFormat(), f);
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 12; ++x) {
        const bool in = x >= 2 && x < 6 && y >= 3 && y < 5;
        ASSERT_EQ(img->Pixels(x, y).g, in ? 0 : 255) << x << "," << y;
      }
  }
}

TEST_F(CanvasGDI, RegionOfAPaletteImageMergesAsItsNearestEntries) {
  auto img = std::make_unique<TVXBitmap>();
  ASSERT_TRUE(img->Allocate(16, 16, vx8p));
  const TRGB pal[4] = {{0, 0, 0}, {255, 255, 255}, {0, 0, 250}, {0, 200, 0}};  // b, g, r
  for (int i = 0; i < 256; ++i) img->SetPalette(i, pal[i % 4]);
  img->SetPaletteUsed(4);
  img->Fill(1);
  {
    auto c = img->CreateROICanvas(TRect{2, 2, 9, 9}, false, false, false);
    EXPECT_EQ(c->ROIBitmap()->PixelFormat(), vx24RGB);
    c->Brush()->SetColor(clRed);
    c->FillRect(TRect{3, 3, 6, 6});
    c->Brush()->SetColor(TColor(0x00F000));  // green
    c->FillRect(TRect{6, 6, 8, 8});
  }
  EXPECT_EQ(img->PixelFormat(), vx8p);
  EXPECT_EQ(img->Palette(2).r, 250);  // the palette stays
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      const int want = (x >= 3 && x < 6 && y >= 3 && y < 6) ? 2 : (x >= 6 && x < 8 && y >= 6 && y < 8) ? 3 : 1;
      ASSERT_EQ(img->Pixels_vx8(x, y), want) << x << "," << y;
    }
}

TEST_F(CanvasGDI, RegionOfInterestCanvasDrawsInImageCoordinates) {
  auto img = Gradient(40, 30);
  {
    std::unique_ptr<TVXCanvas> c = img->CreateROICanvas(TRect{25, 20, 10, 5}, false, true, false);
    ASSERT_NE(c->ROIBitmap(), nullptr);
    EXPECT_EQ(c->ROIBitmap()->Width(), 16);
    EXPECT_EQ(c->ROIBitmap()->Height(), 16);
    EXPECT_EQ(c->ROIBitmap()->ROIOriginalBitmap(), img.get());
    c->Brush()->SetColor(clWhite);
    // Partly outside the region: only the region's part reaches the image.
    c->FillRect(TRect{20, 0, 40, 12});
    EXPECT_EQ(DiffersFromGradient(*img), RectMask(40, 30, {}));
  }
  EXPECT_EQ(DiffersFromGradient(*img), RectMask(40, 30, {TRect{20, 5, 26, 12}}));
}

TEST_F(CanvasGDI, CompositingRegionCanvasThroughGDIKeepsWhatIsDrawn) {
  // Without GDI+ there is no alpha to composite: the region is a copy and
  // what is drawn arrives opaque.
  auto img = Gradient(30, 30);
  {
    auto c = img->CreateROICanvas(TRect{5, 5, 20, 20}, true, true, true);
    EXPECT_FALSE(c->UsesGDIPlus());
    EXPECT_EQ(c->ROIBitmap()->PixelFormat(), vx24RGB);
    c->Brush()->SetColor(clWhite);
    c->Brush()->SetTransparency(128);
    c->FillRect(TRect{8, 8, 12, 12});
  }
  EXPECT_EQ(DiffersFromGradient(*img), RectMask(30, 30, {TRect{8, 8, 12, 12}}));
  EXPECT_EQ(img->Pixels_vx24RGB(9, 9).g, 255);
}

TEST_F(CanvasGDI, FreeingTheOriginalFirstDetachesItsRegions) {
  auto img = Gradient(20, 20);
  auto roi = img->CreateROIBitmap(TRect{1, 1, 8, 8}, vxnull, false);
  auto roi2 = img->CreateROIBitmap(TRect{2, 2, 4, 4}, vxnull, true);
  std::unique_ptr<TVXCanvas> c = img->CreateROICanvas(TRect{0, 0, 5, 5}, true, true, false);
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect{0, 0, 5, 5});
  roi->Fill(0);
  img.reset();
  EXPECT_EQ(roi->ROIOriginalBitmap(), nullptr);
  EXPECT_EQ(roi2->ROIOriginalBitmap(), nullptr);
  EXPECT_EQ(c->ROIBitmap()->ROIOriginalBitmap(), nullptr);
  roi.reset();
  c.reset();
  roi2.reset();

  // A region freed first is no longer remembered by its original.
  auto img2 = Gradient(10, 10);
  img2->CreateROIBitmap(TRect{0, 0, 3, 3}, vxnull, false).reset();
  auto kept = img2->CreateROIBitmap(TRect{0, 0, 3, 3}, vxnull, false);
  img2.reset();
  EXPECT_EQ(kept->ROIOriginalBitmap(), nullptr);
}

TEST_F(CanvasGDI, BitmapCanvasFollowsItsStorage) {
  auto img = Gradient(12, 10);
  TVXCanvas* c = img->VXCanvas();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(img->Location(), vxTBitmap);
  EXPECT_EQ(img->VXCanvas(), c);  // made once
  EXPECT_EQ(c->GDICanvas(), img->Canvas());
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect{0, 0, 2, 2});
  EXPECT_EQ(img->Pixels_vx24RGB(1, 1).g, 255);
  // A new size gives new pixels and a new canvas over them.
  ASSERT_TRUE(img->Allocate(30, 20, vx24RGB));
  TVXCanvas* c2 = img->VXCanvas();
  c2->Brush()->SetColor(clWhite);
  c2->FillRect(TRect{25, 15, 30, 20});
  EXPECT_EQ(img->Pixels_vx24RGB(29, 19).r, 255);
  EXPECT_EQ(img->Pixels_vx24RGB(0, 0).r, 0);
  img->SetPixelFormat(vx8g);
  img->VXCanvas()->Brush()->SetColor(clWhite);
  img->VXCanvas()->FillRect(TRect{0, 0, 1, 1});
  EXPECT_EQ(img->Pixels_vx8(0, 0), 255);
  img->FreeImage(true);
}

// ---------------------------------------------------------------------------

TEST(CanvasSettings, GridPenComesWithTheSettings) {
  TVXVexlaneGlobalSettings::DestroySingletonInstance();
  TVXPen* pen = VXGetGlobalSettings()->GridPen();
  ASSERT_NE(pen, nullptr);
  EXPECT_EQ(pen->Handle(), nullptr);  // no platform pen
  EXPECT_EQ(pen->Color(), clWhite);
  EXPECT_EQ(pen->Width(), 1.0f);
  pen->SetMode(pmNot);
  EXPECT_EQ(pen->Mode(), pmNot);
  // The settings free it with themselves (no viewer module here); a new
  // settings object has a new one.
  TVXVexlaneGlobalSettings::DestroySingletonInstance();
  ASSERT_NE(VXGetGlobalSettings()->GridPen(), nullptr);
  EXPECT_EQ(VXGetGlobalSettings()->GridPen()->Mode(), pmCopy);
}

// ---------------------------------------------------------------------------
// Text

// The box of the pixels that are not white (Left > Right when none).
TRect Ink(TBitmap& b) {
  TRect r{b.Width(), b.Height(), -1, -1};
  const auto m = Changed(b);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (m[size_t(y) * size_t(b.Width()) + size_t(x)]) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x);
        r.Bottom = std::max(r.Bottom, y);
      }
  return r;
}

void DejaVu(TVXCanvas& c) {
  c.Font()->SetName("DejaVu Sans");
  c.Font()->SetHeight(-14);
  c.Font()->SetColor(clBlack);
}

TEST_F(CanvasGDI, TextGoesThroughThePlatformCanvas) {
  auto bmp = WhiteBitmap(120, 40);
  TVXCanvas c(bmp->Canvas(), false, false);
  DejaVu(c);
  const TSize sz = c.TextExtent("Canvas");
  EXPECT_EQ(sz.cx, bmp->Canvas()->TextWidth("Canvas"));
  EXPECT_EQ(sz.cy, bmp->Canvas()->TextHeight("Canvas"));
  EXPECT_GT(sz.cx, 20);
  EXPECT_EQ(c.TextWidth("Canvas"), sz.cx);
  EXPECT_EQ(c.TextHeight("Canvas"), sz.cy);
  EXPECT_EQ(c.TextExtent("").cx, 0);

  // TextOut and TextOut2 draw the same, as the platform canvas does.
  auto ref = WhiteBitmap(120, 40);
  ref->Canvas()->Font()->Assign(c.Font());
  ref->Canvas()->Brush()->SetStyle(bsClear);
  c.Brush()->SetStyle(bsClear);
  c.TextOut(3, 4, "Canvas");
  ref->Canvas()->TextOut(3, 4, "Canvas");
  for (int y = 0; y < 40; ++y) ASSERT_EQ(std::memcmp(bmp->ScanLine(y), ref->ScanLine(y), 120 * 3), 0) << y;
  auto two = WhiteBitmap(120, 40);
  TVXCanvas c2(two->Canvas(), false, false);
  DejaVu(c2);
  c2.Brush()->SetStyle(bsClear);
  c2.TextOut2(3, 4, "Canvas");
  EXPECT_EQ(Changed(*two), Changed(*bmp));
}

TEST_F(CanvasGDI, TextRectFillsUnlessTheBrushIsClearAndClips) {
  struct Case {
    TBrushStyle style;
    bool ex;       // TextRectEx
    bool filled;   // the rectangle's free corner takes the brush colour
  };
  for (const Case& k : {Case{bsSolid, false, true}, Case{bsClear, false, false}, Case{bsSolid, true, false},
                        Case{bsClear, true, false}}) {
    auto bmp = WhiteBitmap(100, 40);
    TVXCanvas c(bmp->Canvas(), false, false);
    DejaVu(c);
    c.Brush()->SetColor(clRed);
    c.Brush()->SetStyle(k.style);
    const TRect r{10, 5, 40, 30};
    // Starts inside, runs past the right edge.
    if (k.ex)
      c.TextRectEx(r, 12, 8, "WWWWWWWW");
    else
      c.TextRect(r, 12, 8, "WWWWWWWW");
    const TRect ink = Ink(*bmp);
    EXPECT_GE(ink.Left, r.Left);
    EXPECT_GE(ink.Top, r.Top);
    EXPECT_LT(ink.Right, r.Right);
    EXPECT_LT(ink.Bottom, r.Bottom);
    EXPECT_GT(ink.Right, 30);  // the text reaches the clipped edge
    // The corner at the bottom left is free of text.
    const auto* p = static_cast<const uint8_t*>(bmp->ScanLine(r.Bottom - 1)) + 3 * r.Left;
    if (k.filled)
      EXPECT_EQ((std::array<int, 3>{p[0], p[1], p[2]}), (std::array<int, 3>{0, 0, 255})) << k.style << k.ex;
    else
      EXPECT_EQ((std::array<int, 3>{p[0], p[1], p[2]}), (std::array<int, 3>{255, 255, 255})) << k.style << k.ex;
  }
}

TEST_F(CanvasGDI, RightToLeftTextRectMovesPastTheText) {
  // With right-to-left reading and right-aligned text the reference point
  // lies one pixel past the text's width from X: the glyphs take the place
  // they take left to right.
  auto ltr = WhiteBitmap(80, 30);
  auto rtl = WhiteBitmap(80, 30);
  TVXCanvas a(ltr->Canvas(), false, false);
  TVXCanvas b(rtl->Canvas(), false, false);
  DejaVu(a);
  DejaVu(b);
  a.Brush()->SetStyle(bsClear);
  b.Brush()->SetStyle(bsClear);
  b.GDICanvas()->SetTextFlags(ETO_RTLREADING);
  SetTextAlign(b.Handle(), TA_RIGHT);
  ASSERT_EQ(b.GDICanvas()->CanvasOrientation(), coRightToLeft);
  const TRect r{0, 0, 80, 30};
  a.TextRectEx(r, 11, 5, "M");
  b.TextRectEx(r, 10, 5, "M");
  EXPECT_EQ(Changed(*ltr), Changed(*rtl));
  auto rtl2 = WhiteBitmap(80, 30);
  TVXCanvas d(rtl2->Canvas(), false, false);
  DejaVu(d);
  d.Brush()->SetStyle(bsClear);
  d.GDICanvas()->SetTextFlags(ETO_RTLREADING);
  SetTextAlign(d.Handle(), TA_RIGHT);
  d.TextRect(r, 10, 5, "M");
  EXPECT_EQ(Changed(*ltr), Changed(*rtl2));
}

TEST_F(CanvasGDI, DrawTextIsPlatformTextClippedToTheRectangle) {
  auto bmp = WhiteBitmap(100, 40);
  TVXCanvas c(bmp->Canvas(), false, false);
  DejaVu(c);
  c.Brush()->SetColor(clRed);  // no background through GDI either
  const TRect r{5, 5, 35, 15};
  c.DrawText("Wide text here", r);
  const TRect ink = Ink(*bmp);
  EXPECT_GE(ink.Left, r.Left);
  EXPECT_GE(ink.Top, r.Top);
  EXPECT_LT(ink.Right, r.Right);
  EXPECT_LT(ink.Bottom, r.Bottom);
  EXPECT_LE(ink.Left, r.Left + 2);
  // Black text on white, no red anywhere.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 100; ++x) {
      const auto* p = static_cast<const uint8_t*>(bmp->ScanLine(y)) + 3 * x;
      ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
    }
}

}  // namespace
