// The drawing canvas through GDI+: the calls it makes (the library's
// recording switch) and the pixels they give, against the GDI branch.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/gdiplus.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "winui/gdi.h"
#include "winui/gdiplus.h"

#include "../winui/pinned_fonts.h"
#include "canvas_pixels.h"

namespace {

class CanvasGDIPlus : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = VXGetGlobalSettings()->UseGDIPlus();
    VXStartUpGDIPlusUnit();
    VXGetGlobalSettings()->SetUseGDIPlus(true);
    VXLoadGDIPlusLibrary();
    ASSERT_TRUE(VXGDIPlusEnabled());
    VXGdiPlus::Recorded();
  }
  void TearDown() override {
    VXGdiPlus::SetRecording(false);
    while (VXGDIPlusLoaded()) VXFreeGDIPlusLibrary();
    VXStartUpGDIPlusUnit();
    VXGetGlobalSettings()->SetUseGDIPlus(saved_);
  }
  // The calls recorded while Draw runs.
  template <class F>
  static std::vector<std::string> Record(F Draw) {
    VXGdiPlus::Recorded();
    VXGdiPlus::SetRecording(true);
    Draw();
    std::vector<std::string> calls = VXGdiPlus::Recorded();
    VXGdiPlus::SetRecording(false);  // clears the log
    return calls;
  }
  // The recorded calls whose text starts with Prefix.
  static std::vector<std::string> Only(const std::vector<std::string>& Calls, const std::string& Prefix) {
    std::vector<std::string> out;
    for (const std::string& c : Calls)
      if (c.rfind(Prefix, 0) == 0) out.push_back(c);
    return out;
  }
  bool saved_ = true;
};

using canvas_pixels::Changed;
using canvas_pixels::RectMask;
using canvas_pixels::WhiteBitmap;

// Blue, green, red of a pixel of a 24-bit platform bitmap.
std::array<int, 3> At(TBitmap& b, int x, int y) {
  const auto* p = static_cast<const uint8_t*>(b.ScanLine(y)) + 3 * x;
  return {p[0], p[1], p[2]};
}

TEST(CanvasGDIPlusOff, TheSettingOffOnlyCountsAndNoCallIsMade) {
  const bool saved = VXGetGlobalSettings()->UseGDIPlus();
  VXStartUpGDIPlusUnit();
  VXGetGlobalSettings()->SetUseGDIPlus(false);
  const int32_t sessions = VXGdiPlus::OpenSessions();
  VXGdiPlus::Recorded();
  VXGdiPlus::SetRecording(true);
  VXLoadGDIPlusLibrary();
  VXLoadGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  auto bmp = WhiteBitmap(20, 20);
  {
    TVXCanvas c(bmp->Canvas(), true, true);
    EXPECT_FALSE(c.UsesGDIPlus());
    c.Pen()->SetTransparency(100);
    c.Brush()->SetColor(clBlack);
    c.Brush()->SetTransparency(100);
    c.FillRect(TRect{1, 1, 5, 5});
    c.Ellipse(5, 5, 15, 15);
    c.Translate(2, 2);
    c.SetCompositingMode(vxCompositingModeSourceCopy, vxCompositingQualityHighQuality);
  }
  EXPECT_TRUE(VXGdiPlus::Recorded().empty());
  VXGdiPlus::SetRecording(false);
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions);
  // Drawn through GDI: an opaque black square.
  EXPECT_EQ(At(*bmp, 1, 1), (std::array<int, 3>{0, 0, 0}));
  VXFreeGDIPlusLibrary();
  VXFreeGDIPlusLibrary();
  VXStartUpGDIPlusUnit();
  VXGetGlobalSettings()->SetUseGDIPlus(saved);
}

TEST_F(CanvasGDIPlus, CreationAndTheExceptionText) {
  auto bmp = WhiteBitmap(8, 8);
  const auto calls = Record([&] {
    TVXCanvas c(bmp->Canvas(), true, true);
    EXPECT_TRUE(c.UsesGDIPlus());
    TVXCanvas fast(bmp->Canvas(), false, true);
    TVXCanvas gdi(bmp->Canvas(), true, false);  // asked for GDI
    EXPECT_FALSE(gdi.UsesGDIPlus());
  });
  EXPECT_EQ(Only(calls, "GdipCreateFromHDC"), (std::vector<std::string>{"GdipCreateFromHDC()", "GdipCreateFromHDC()"}));
  EXPECT_EQ(Only(calls, "GdipSetSmoothingMode"),
            (std::vector<std::string>{"GdipSetSmoothingMode(4)", "GdipSetSmoothingMode(1)"}));
  EXPECT_EQ(Only(calls, "GdipDeleteGraphics").size(), 2u);
  // With the platform bitmap given, the second form is used.
  const auto calls2 = Record([&] { TVXCanvas c(bmp->Canvas(), false, true, bmp.get()); });
  EXPECT_EQ(Only(calls2, "GdipCreateFromHDC"), (std::vector<std::string>{"GdipCreateFromHDC2()"}));

  // A device context that is gone gives no graphics object.
  TCanvas dead;
  HDC dc = CreateCompatibleDC(nullptr);
  dead.SetHandle(dc);
  DeleteDC(dc);
  try {
    TVXCanvas c(&dead, true, true);
    FAIL() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Cannot create TVXCanvas. GdipCreateFromHDC failed.");
  }
  dead.SetHandle(nullptr);
}

TEST_F(CanvasGDIPlus, FillRectCoversRightMinusLeftMinusOne) {
  for (const TRect& r : {TRect{10, 10, 20, 20}, TRect{20, 20, 10, 10}, TRect{20, 10, 10, 20}}) {
    auto bmp = WhiteBitmap(32, 32);
    TVXCanvas c(bmp->Canvas(), false, true);
    c.Brush()->SetColor(clBlack);
    const auto calls = Record([&] { c.FillRect(r); });
    EXPECT_EQ(Only(calls, "GdipFillRectangle"), (std::vector<std::string>{"GdipFillRectangle(10,10,9,9)"}));
    EXPECT_EQ(Changed(*bmp), RectMask(32, 32, {TRect{10, 10, 19, 19}}));
  }
  // Through GDI the same call fills 10 x 10.
  VXGetGlobalSettings()->SetUseGDIPlus(false);
  auto bmp = WhiteBitmap(32, 32);
  TVXCanvas c(bmp->Canvas(), false, true);
  c.Brush()->SetColor(clBlack);
  c.FillRect(TRect{10, 10, 20, 20});
  EXPECT_EQ(Changed(*bmp), RectMask(32, 32, {TRect{10, 10, 20, 20}}));
}

TEST_F(CanvasGDIPlus, ClearPenAndClearBrushDrawNothing) {
  auto bmp = WhiteBitmap(30, 30);
  TVXCanvas c(bmp->Canvas(), true, true);
  c.Pen()->SetColor(clBlack);
  c.Pen()->SetWidth(3);
  c.Pen()->SetStyle(psClear);
  c.Brush()->SetColor(clBlack);
  c.Brush()->SetStyle(bsClear);
  const auto calls = Record([&] {
    c.Pen()->SetTransparency(200);  // stays invisible
    c.Brush()->SetTransparency(200);
  });
  EXPECT_EQ(Only(calls, "GdipCreatePen1"), (std::vector<std::string>{"GdipCreatePen1(00000000,3,2)"}));
  c.Rectangle(2, 2, 25, 25);
  c.Ellipse(4, 4, 20, 20);
  c.FillRect(TRect{0, 0, 30, 30});
  c.LineTo(29, 29);
  EXPECT_EQ(Changed(*bmp), RectMask(30, 30, {}));
  // Text goes through the platform canvas: the clear brush leaves the
  // rectangle alone and no GDI+ figure is made for it.
  c.Font()->SetName("DejaVu Sans");
  c.Font()->SetHeight(-12);
  c.Font()->SetColor(clBlack);
  const auto text = Record([&] { c.TextRect(TRect{2, 2, 28, 28}, 4, 4, "Ab"); });
  EXPECT_TRUE(Only(text, "GdipFill").empty());
  EXPECT_TRUE(Only(text, "GdipDraw").empty());
  EXPECT_EQ(At(*bmp, 26, 26), (std::array<int, 3>{255, 255, 255}));
  EXPECT_NE(Changed(*bmp), RectMask(30, 30, {}));
  // Back to solid: both show.
  c.Pen()->SetStyle(psSolid);
  c.Brush()->SetStyle(bsSolid);
  c.Rectangle(2, 2, 25, 25);
  EXPECT_EQ(At(*bmp, 20, 20)[0], 55);  // 255 - 200 of black
}

TEST_F(CanvasGDIPlus, RoundRectWithCorner20UsesCorners21AfterTheFirst) {
  auto bmp = WhiteBitmap(80, 60);
  TVXCanvas c(bmp->Canvas(), true, true);
  const auto arcs = Only(Record([&] { c.RoundRect(50, 40, 10, 5, 20, 20); }), "GdipAddPathArc");
  EXPECT_EQ(arcs, (std::vector<std::string>{
                      "GdipAddPathArc(10,5,20,20,180,90)", "GdipAddPathArc(28,5,21,21,270,90)",
                      "GdipAddPathArc(28,18,21,21,0,90)", "GdipAddPathArc(10,18,21,21,90,90)"}));
  // Other corners keep their size; corners larger than the figure shrink to it.
  EXPECT_EQ(Only(Record([&] { c.RoundRect(0, 0, 40, 30, 8, 50); }), "GdipAddPathArc"),
            (std::vector<std::string>{"GdipAddPathArc(0,0,8,30,180,90)", "GdipAddPathArc(31,0,8,30,270,90)",
                                      "GdipAddPathArc(31,-1,8,30,0,90)", "GdipAddPathArc(0,-1,8,30,90,90)"}));
  // The figure is filled, then outlined, and its path freed.
  const auto calls = Record([&] { c.RoundRect(0, 0, 40, 30, 8, 8); });
  EXPECT_EQ(Only(calls, "GdipClosePathFigure").size(), 1u);
  EXPECT_EQ(Only(calls, "GdipFillPath").size(), 1u);
  EXPECT_EQ(Only(calls, "GdipDrawPath").size(), 1u);
  EXPECT_EQ(Only(calls, "GdipDeletePath").size(), 1u);
}

TEST_F(CanvasGDIPlus, EllipseRectangleFollowsThePenWidth) {
  auto bmp = WhiteBitmap(60, 60);
  TVXCanvas c(bmp->Canvas(), true, true);
  struct Case {
    float width;
    TRect r;
    const char* expect;  // the GdipDrawEllipse call, or "" for none
  };
  const Case cases[] = {
      {1.0f, {10, 10, 30, 20}, "GdipDrawEllipse(10,10,19,9)"},
      {4.0f, {10, 10, 30, 20}, "GdipDrawEllipse(10,10,19,9)"},  // room enough
      {4.0f, {10, 10, 12, 11}, "GdipDrawEllipse(8,8,3,3)"},     // too small: grown around the start
      {4.0f, {30, 20, 10, 10}, "GdipDrawEllipse(30,22,-22,-13)"},  // reversed
      {0.5f, {10, 10, 10, 20}, ""},                               // no width
      {1.0f, {10, 10, 30, 10}, ""},                               // no height
  };
  for (const Case& k : cases) {
    c.Pen()->SetWidth(k.width);
    const auto calls = Only(Record([&] { c.Ellipse(k.r); }), "GdipDrawEllipse");
    if (*k.expect)
      EXPECT_EQ(calls, (std::vector<std::string>{k.expect})) << k.width << " " << k.r.Left;
    else
      EXPECT_TRUE(calls.empty()) << k.width << " " << k.r.Left;
  }
}

TEST_F(CanvasGDIPlus, TranslateMovesTheWorldAndTheViewport) {
  auto bmp = WhiteBitmap(40, 40);
  TVXCanvas c(bmp->Canvas(), false, true);
  const auto calls = Record([&] { c.Translate(5.7, -2.2); });
  EXPECT_EQ(Only(calls, "GdipTranslateWorldTransform"),
            (std::vector<std::string>{"GdipTranslateWorldTransform(5.7,-2.2,0)"}));
  POINT org;
  ASSERT_TRUE(GetViewportOrgEx(c.Handle(), &org));
  EXPECT_EQ(org.x, 5);
  EXPECT_EQ(org.y, -2);
  // GDI+ figures move by the exact amount, once.
  c.Translate(0.3, 2.2);  // (6, 0) in all
  c.Brush()->SetColor(clBlack);
  c.FillRect(TRect{10, 10, 15, 15});
  EXPECT_EQ(Changed(*bmp), RectMask(40, 40, {TRect{16, 10, 20, 14}}));
  c.ResetTransform();
  auto again = WhiteBitmap(40, 40);
  TVXCanvas d(again->Canvas(), false, true);
  d.Brush()->SetColor(clBlack);
  d.Rotate(90);  // about the origin: (10..14, 10..14) goes to (-14..-10, 10..14)
  d.FillRect(TRect{10, 10, 15, 15});
  EXPECT_EQ(Changed(*again), RectMask(40, 40, {}));
  d.ResetTransform();
  d.FillRect(TRect{10, 10, 15, 15});
  EXPECT_EQ(Changed(*again), RectMask(40, 40, {TRect{10, 10, 14, 14}}));
}

TEST_F(CanvasGDIPlus, LinesPathsPolygonsAndPies) {
  auto bmp = WhiteBitmap(40, 40);
  TVXCanvas c(bmp->Canvas(), false, true);
  c.Pen()->SetColor(clBlack);
  auto calls = Record([&] {
    c.MoveTo(1, 2);
    c.LineTo(10, 2);
    c.DrawLine(3, 4, 5, 6);
    c.DrawLinesPath({{1.5, 1}, {2, 2}, {3, 1}});
    const TPoint pts[] = {{1, 1}, {5, 1}, {3, 4}};
    c.Polygon(pts);
    c.Polyline(pts);
    c.Pie(1.0f, 2.0f, 10.0f, 12.0f, 30.0f, 45.0f);
    c.SetCompositingMode(vxCompositingModeSourceCopy, vxCompositingQualityHighQuality);
    c.Rotate(12.5);
    c.ResetTransform();
  });
  std::vector<std::string> drawn;
  for (const std::string& s : calls)
    if (s.rfind("GdipCreatePen1", 0) != 0 && s.rfind("GdipSetPen", 0) != 0 && s.rfind("GdipDeletePen", 0) != 0 &&
        s.rfind("GdipCreateSolidFill", 0) != 0 && s.rfind("GdipDeleteBrush", 0) != 0)
      drawn.push_back(s);
  EXPECT_EQ(drawn, (std::vector<std::string>{
                       "GdipDrawLine(1,2,10,2)", "GdipDrawLine(3,4,5,6)", "GdipCreatePath(0)",
                       "GdipAddPathLine(1.5,1,2,2)", "GdipAddPathLine(2,2,3,1)", "GdipDrawPath()",
                       "GdipDeletePath()", "GdipDrawPolygonI([(1,1),(5,1),(3,4)],3)", "GdipFillPolygonI([(1,1),(5,1),(3,4)],3,0)",
                       "GdipDrawLinesI([(1,1),(5,1),(3,4)],3)", "GdipDrawPie(1,2,10,12,30,45)", "GdipFillPie(1,2,10,12,30,45)",
                       "GdipSetCompositingMode(1)", "GdipSetCompositingQuality(2)", "GdipRotateWorldTransform(12.5,0)",
                       "GdipResetWorldTransform()"}));
  EXPECT_EQ(c.PenPos(), (TPoint{10, 2}));
}

TEST_F(CanvasGDIPlus, ShadeOutsideRectDarkensExactlyItsFourRectangles) {
  auto bmp = WhiteBitmap(40, 30);
  VXShadeOutsideRect(bmp->Canvas(), 0, 0, 39, 29, 10, 8, 30, 20);
  const auto m = RectMask(40, 30, {TRect{0, 0, 11, 29}, TRect{30, 0, 39, 29}, TRect{11, 0, 30, 9},
                                   TRect{11, 21, 30, 29}});
  EXPECT_EQ(Changed(*bmp), m);
  // Black of transparency 150 over white, once everywhere.
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if (m[size_t(y) * 40 + size_t(x)]) {
        const auto p = At(*bmp, x, y);
        ASSERT_NEAR(p[0], 105, 1) << x << "," << y;
      }
}

TEST_F(CanvasGDIPlus, HalfTransparentShapeOnACompositingRegionBlendsIntoImageAndAlpha) {
  // Red of transparency 128 over white: with no alpha channel (taken as
  // opaque) the midpoint; over alpha 100 the blend of both weights.
  struct Case {
    int alpha;  // -1: no alpha channel
    int g, a;   // green (and blue) and alpha expected inside
  };
  for (const Case& k : {Case{-1, 127, 255}, Case{100, 71, 178}}) {
    auto img = std::make_unique<TVXBitmap>();
    ASSERT_TRUE(img->Allocate(30, 30, vx24RGB));
    img->Fill(double(0xFFFFFF));
    if (k.alpha >= 0) img->AlphaChannel()->Fill(k.alpha);
    {
      std::unique_ptr<TVXCanvas> c = img->CreateROICanvas(TRect{24, 24, 5, 5}, false, true, true);
      ASSERT_TRUE(c->UsesGDIPlus());
      EXPECT_EQ(c->ROIBitmap()->PixelFormat(), vx32RGB);
      c->Brush()->SetColor(clRed);
      c->Brush()->SetTransparency(128);
      c->FillRect(TRect{10, 10, 20, 20});  // 9 x 9 from (10, 10) in image coordinates
      c->FillRect(TRect{0, 0, 8, 8});      // partly outside the region
      EXPECT_EQ(img->Pixels_vx24RGB(12, 12).g, 255);  // nothing before the canvas goes
    }
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 30; ++x) {
        const bool in = (x >= 10 && x < 19 && y >= 10 && y < 19) || (x >= 5 && x < 7 && y >= 5 && y < 7);
        const TRGB p = img->Pixels_vx24RGB(x, y);
        const int a = img->HasAlphaChannel() ? img->Alpha(x, y) : 255;
        if (in) {
          ASSERT_EQ(p.r, 255) << x << "," << y;
          ASSERT_NEAR(p.g, k.g, 1) << x << "," << y;
          ASSERT_NEAR(p.b, k.g, 1) << x << "," << y;
          ASSERT_NEAR(a, k.a, 1) << x << "," << y;
        } else {
          ASSERT_EQ(p.g, 255) << x << "," << y;
          ASSERT_EQ(a, k.alpha < 0 ? 255 : k.alpha) << x << "," << y;
        }
      }
  }
}

TEST_F(CanvasGDIPlus, RegionCanvasDrawsInImageCoordinates) {
  auto img = std::make_unique<TVXBitmap>();
  ASSERT_TRUE(img->Allocate(40, 30, vx24RGB));
  img->Fill(double(0xFFFFFF));
  {
    auto c = img->CreateROICanvas(TRect{10, 5, 25, 20}, false, true, false);
    ASSERT_TRUE(c->UsesGDIPlus());
    c->Brush()->SetColor(clBlack);
    c->FillRect(TRect{20, 0, 40, 12});
  }
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x)
      ASSERT_EQ(img->Pixels_vx24RGB(x, y).g, (x >= 20 && x <= 25 && y >= 5 && y < 11) ? 0 : 255) << x << "," << y;
}

TEST_F(CanvasGDIPlus, BitmapCanvasAndEmptyCanvasDrawThroughGDIPlus) {
  auto img = std::make_unique<TVXBitmap>();
  ASSERT_TRUE(img->Allocate(20, 20, vx24RGB));
  img->Fill(double(0xFFFFFF));
  TVXCanvas* c = img->VXCanvas();
  ASSERT_TRUE(c->UsesGDIPlus());
  c->Brush()->SetColor(clBlack);
  c->Brush()->SetTransparency(128);
  c->FillRect(TRect{2, 2, 6, 6});
  EXPECT_NEAR(img->Pixels_vx24RGB(3, 3).g, 127, 1);
  EXPECT_GT(img->Pixels_vx24RGB(5, 5).g, 127);  // anti-aliased edge
  EXPECT_EQ(img->Pixels_vx24RGB(6, 6).g, 255);
  // A new format frees the canvas with the old pixels; the next one draws
  // on the new ones.
  img->SetPixelFormat(vx32RGB);
  img->VXCanvas()->Brush()->SetColor(clBlack);
  img->VXCanvas()->FillRect(TRect{10, 10, 14, 14});
  EXPECT_EQ(img->Pixels_vx32RGB(11, 11).g, 0);
  EXPECT_EQ(img->Pixels_vx32RGB(15, 15).g, 255);
  img.reset();

  TVXEmptyCanvas e;
  EXPECT_TRUE(e.UsesGDIPlus());
  e.Brush()->SetColor(clBlack);
  e.FillRect(TRect{0, 0, 5, 5});
}

// Every changed pixel of A has a changed pixel of B within one pixel.
bool WithinOnePixel(const std::vector<int>& A, const std::vector<int>& B, int w, int h, std::string& where) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!A[size_t(y) * size_t(w) + size_t(x)]) continue;
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy)
        for (int dx = -1; dx <= 1 && !near; ++dx) {
          const int u = x + dx, v = y + dy;
          near = u >= 0 && v >= 0 && u < w && v < h && B[size_t(v) * size_t(w) + size_t(u)];
        }
      if (!near) {
        where = std::to_string(x) + "," + std::to_string(y);
        return false;
      }
    }
  return true;
}

TEST_F(CanvasGDIPlus, ArcsAndPiesOfEightIntegersMatchGDI) {
  struct Case {
    int x1, y1, x2, y2, x3, y3, x4, y4;
  };
  const Case cases[] = {
      {10, 10, 50, 40, 50, 25, 30, 10},   // first quadrant (right to top)
      {10, 10, 50, 40, 30, 10, 50, 25},   // three quarters the other way round
      {5, 20, 55, 35, 60, 40, 0, 40},     // across the bottom of a flat ellipse
      {20, 5, 40, 55, 41, 0, 41, 60},     // a tall one, the right half... from above to below
      {10, 10, 50, 50, 50, 15, 50, 45},   // almost a full turn
      {50, 40, 10, 10, 50, 25, 30, 10},   // corners reversed
      {10, 10, 50, 40, 50, 25, 50, 25},   // equal rays: the whole ellipse
  };
  for (const Case& k : cases) {
    for (const bool pie : {false, true}) {
      auto gdi = WhiteBitmap(64, 64);
      auto plus = WhiteBitmap(64, 64);
      TVXCanvas a(gdi->Canvas(), false, false);
      TVXCanvas b(plus->Canvas(), false, true);
      ASSERT_FALSE(a.UsesGDIPlus());
      ASSERT_TRUE(b.UsesGDIPlus());
      for (TVXCanvas* c : {&a, &b}) {
        c->Pen()->SetColor(clBlack);
        c->Brush()->SetColor(clBlack);
        if (pie)
          c->Pie(k.x1, k.y1, k.x2, k.y2, k.x3, k.y3, k.x4, k.y4);
        else
          c->Arc(k.x1, k.y1, k.x2, k.y2, k.x3, k.y3, k.x4, k.y4);
      }
      const auto ma = Changed(*gdi), mb = Changed(*plus);
      std::string where;
      EXPECT_TRUE(std::count(ma.begin(), ma.end(), 1) > 10) << k.x3 << "," << k.y3;
      EXPECT_TRUE(WithinOnePixel(ma, mb, 64, 64, where))
          << (pie ? "pie " : "arc ") << k.x3 << "," << k.y3 << " " << k.x4 << "," << k.y4 << ": GDI at " << where;
      EXPECT_TRUE(WithinOnePixel(mb, ma, 64, 64, where))
          << (pie ? "pie " : "arc ") << k.x3 << "," << k.y3 << " " << k.x4 << "," << k.y4 << ": GDI+ at " << where;
    }
  }
  // The angles go to GDI+ in degrees, clockwise; equal rays make a whole
  // ellipse as in GDI.
  auto bmp = WhiteBitmap(64, 64);
  TVXCanvas c(bmp->Canvas(), false, true);
  EXPECT_EQ(Only(Record([&] {
              c.Arc(10, 10, 51, 41, 51, 25, 30, 10);
              c.Arc(51, 41, 10, 10, 30, 10, 51, 25);
              c.Arc(10, 10, 51, 41, 51, 25, 60, 25);
            }),
                 "GdipDrawArc"),
            (std::vector<std::string>{"GdipDrawArc(10,10,40,30,270,90)", "GdipDrawArc(10,10,40,30,0,270)",
                                      "GdipDrawArc(10,10,40,30,0,360)"}));
}

TEST_F(CanvasGDIPlus, DrawTextLaysTheWholeTextOutInTheRectangleWithTheBrush) {
  auto bmp = WhiteBitmap(120, 60);
  TVXCanvas c(bmp->Canvas(), true, true);
  c.Font()->SetName("DejaVu Sans");
  c.Font()->SetHeight(-13);
  c.Brush()->SetColor(clRed);
  const TRect r{10, 5, 70, 40};
  const auto calls = Record([&] { c.DrawText("Wrapped words of text", r); });
  EXPECT_EQ(Only(calls, "GdipSetTextRenderingHint"), (std::vector<std::string>{"GdipSetTextRenderingHint(3)"}));
  EXPECT_EQ(Only(calls, "GdipCreateFontFromDC").size(), 1u);
  EXPECT_EQ(Only(calls, "GdipCreateStringFormat"), (std::vector<std::string>{"GdipCreateStringFormat(0,0)"}));
  EXPECT_EQ(Only(calls, "GdipDrawString"),
            (std::vector<std::string>{"GdipDrawString(\"Wrapped words of text\",21,10,5,61,36)"}));
  EXPECT_EQ(Only(calls, "GdipDeleteStringFormat").size(), 1u);
  EXPECT_EQ(Only(calls, "GdipDeleteFont").size(), 1u);
  // Red text within the layout rectangle, on more than one line.
  int minY = 60, maxY = -1;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x) {
      const auto p = At(*bmp, x, y);
      if (p == std::array<int, 3>{255, 255, 255}) continue;
      ASSERT_TRUE(x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom) << x << "," << y;
      ASSERT_GE(p[2], p[1]) << x << "," << y;  // red over white
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
  EXPECT_GT(maxY - minY, c.TextHeight("W"));
}

TEST_F(CanvasGDIPlus, BitmapCanvasDrawsOnTheRowsTheRowAccessSees) {
  // Either origin, either branch: a figure at the top lands in row 0.
  for (const TVXBitmapOrigin origin : {vxboBOTTOMLEFT, vxboTOPLEFT})
    for (const bool plus : {false, true}) {
      VXGetGlobalSettings()->SetUseGDIPlus(plus);
      auto img = std::make_unique<TVXBitmap>();
      ASSERT_TRUE(img->Allocate(10, 10, vx24RGB));
      img->SetOrigin(origin);
      img->Fill(double(0xFFFFFF));
      TVXCanvas* c = img->VXCanvas();
      ASSERT_EQ(c->UsesGDIPlus(), plus);
      c->SetSmoothingMode(vxsmNone);
      c->Brush()->SetColor(clBlack);
      c->FillRect(TRect{0, 0, 4, 3});
      // Through GDI+ on the flipped canvas of a top-left bitmap the drawing
      // library's edge rule may put the two rows one row lower.
      int32_t top = 0;
      if (plus && origin == vxboTOPLEFT && img->Pixels_vx24RGB(0, 0).g != 0) top = 1;
      for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) {
          const bool in = plus ? (x < 3 && y >= top && y < top + 2) : (x < 4 && y < 3);
          ASSERT_EQ(img->Pixels_vx24RGB(x, y).g, in ? 0 : 255) << int(origin) << plus << " " << x << "," << y;
        }
    }
}

}  // namespace
