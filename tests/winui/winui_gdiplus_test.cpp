// The built-in drawing library's flat entries over cairo: figures, fills,
// transforms and compositing on DIB sections of several depths, read back
// as pixels, strings in a layout rectangle with the pinned fonts, and the
// call log of the recording switch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "pinned_fonts.h"
#include "winui/font_face.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"
#include "winui/gdiplus.h"
#include "winui/win_module.h"

namespace {

// A memory DC over a DIB section (top-down when TopDown) of Bpp bits, all
// pixels set to Background; 8-bit sections get Palette as colour table.
struct Section {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  uint8_t* bits = nullptr;
  int w, h, bpp;
  bool topDown;
  Section(int W, int H, int Bpp = 32, bool TopDown = true, COLORREF Background = RGB(255, 255, 255),
          const std::vector<RGBQUAD>& Palette = {})
      : w(W), h(H), bpp(Bpp), topDown(TopDown) {
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = W;
    bi->bmiHeader.biHeight = TopDown ? -H : H;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = WORD(Bpp);
    bi->bmiHeader.biClrUsed = DWORD(Palette.size());
    if (!Palette.empty()) std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), Palette.data(), Palette.size() * 4);
    void* p = nullptr;
    bm = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) SetPixel(dc, x, y, Background);
  }
  ~Section() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
  int Stride() const { return ((w * bpp + 31) / 32) * 4; }
  uint8_t Index(int x, int y) const { return bits[size_t(topDown ? y : h - 1 - y) * Stride() + x]; }
  // Rows of '#' (Ink) and '.' (anything else) over the box (x0, y0)-(x1, y1).
  std::string Picture(COLORREF Ink, int x0, int y0, int x1, int y1) const {
    std::string s;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) s += At(x, y) == Ink ? '#' : '.';
      s += '\n';
    }
    return s;
  }
  // The box of pixels other than Background; empty when none.
  RECT Ink(COLORREF Background = RGB(255, 255, 255)) const {
    RECT r{w, h, 0, 0};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (At(x, y) != Background) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
  int Count(COLORREF Ink) const {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += At(x, y) == Ink;
    return n;
  }
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class GdiPlusFlat : public ::testing::Test {
 protected:
  void SetUp() override {
    GdiplusStartupInput in;
    ASSERT_EQ(GdiplusStartup(&token_, &in, nullptr), Ok);
  }
  void TearDown() override {
    for (GpGraphics* g : graphics_) EXPECT_EQ(GdipDeleteGraphics(g), Ok);
    for (GpPen* p : pens_) EXPECT_EQ(GdipDeletePen(p), Ok);
    for (GpBrush* b : brushes_) EXPECT_EQ(GdipDeleteBrush(b), Ok);
    GdiplusShutdown(token_);
    VXGdiPlus::SetRecording(false);
    EXPECT_EQ(VXGdiPlus::LiveObjects(), 0);
  }
  GpGraphics* Graphics(const Section& s, GpSmoothingMode Mode = SmoothingModeNone) {
    GpGraphics* g = nullptr;
    EXPECT_EQ(GdipCreateFromHDC(s.dc, &g), Ok);
    EXPECT_EQ(GdipSetSmoothingMode(g, Mode), Ok);
    graphics_.push_back(g);
    return g;
  }
  GpPen* Pen(ARGB Color, REAL Width, GpDashStyle Dash = DashStyleSolid, GpLineJoin Join = LineJoinMiter) {
    GpPen* p = nullptr;
    EXPECT_EQ(GdipCreatePen1(Color, Width, UnitPixel, &p), Ok);
    EXPECT_EQ(GdipSetPenDashStyle(p, Dash), Ok);
    EXPECT_EQ(GdipSetPenLineJoin(p, Join), Ok);
    pens_.push_back(p);
    return p;
  }
  GpBrush* Solid(ARGB Color) {
    GpBrush* b = nullptr;
    EXPECT_EQ(GdipCreateSolidFill(Color, &b), Ok);
    brushes_.push_back(b);
    return b;
  }
  GpBrush* Hatch(GpHatchStyle Style, ARGB Fore, ARGB Back) {
    GpBrush* b = nullptr;
    EXPECT_EQ(GdipCreateHatchBrush(Style, Fore, Back, &b), Ok);
    brushes_.push_back(b);
    return b;
  }

  ULONG_PTR token_ = 0;
  std::vector<GpGraphics*> graphics_;
  std::vector<GpPen*> pens_;
  std::vector<GpBrush*> brushes_;
};

std::string Square(int x0, int y0, int size, int w, int h) {
  std::string s;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s += (x >= x0 && x < x0 + size && y >= y0 && y < y0 + size) ? '#' : '.';
    s += '\n';
  }
  return s;
}

TEST_F(GdiPlusFlat, FillRectangleCoversItsPixelsOnEveryDepth) {
  // 8-bit: black, two whites (the background uses the second) and a red.
  std::vector<RGBQUAD> pal(4);
  pal[0] = RGBQUAD{0, 0, 0, 0};
  pal[1] = RGBQUAD{255, 255, 255, 0};
  pal[2] = RGBQUAD{255, 255, 255, 0};
  pal[3] = RGBQUAD{0, 0, 255, 0};
  struct Case {
    int bpp;
    bool topDown;
  } cases[] = {{32, true}, {32, false}, {24, true}, {24, false}, {16, false}, {8, false}, {8, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bpp) + (c.topDown ? " top-down" : " bottom-up"));
    Section s(24, 24, c.bpp, c.topDown, kWhite, c.bpp == 8 ? pal : std::vector<RGBQUAD>{});
    if (c.bpp == 8)
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) s.bits[size_t(y) * s.Stride() + x] = 2;
    GpGraphics* g = Graphics(s);
    // A dark red: the 8-bit section takes its nearest entry, pure red.
    ASSERT_EQ(GdipFillRectangle(g, Solid(0xFFF00808), 10, 10, 9, 9), Ok);
    // 16-bit: five bits a channel, read back with their top bits repeated
    // below them (0xF0 keeps 30 of 31, which reads 0xF7).
    const COLORREF ink = c.bpp >= 24 ? RGB(0xF0, 8, 8) : c.bpp == 16 ? RGB(0xF7, 8, 8) : RGB(255, 0, 0);
    EXPECT_EQ(s.Picture(ink, 0, 0, 24, 24), Square(10, 10, 9, 24, 24));
    if (c.bpp == 8) {
      EXPECT_EQ(s.Index(10, 10), 3);
      // Untouched pixels keep their index, though another entry has the
      // same colour.
      EXPECT_EQ(s.Index(9, 10), 2);
      EXPECT_EQ(s.Index(19, 18), 2);
    }
  }
}

TEST_F(GdiPlusFlat, EmptyAndTurnedOverRectanglesFillNothing) {
  Section s(16, 16);
  GpGraphics* g = Graphics(s);
  GpBrush* b = Solid(0xFF000000);
  for (REAL wh : {0.0f, -1.0f, -5.0f}) {
    EXPECT_EQ(GdipFillRectangle(g, b, 8, 8, wh, 3), Ok);
    EXPECT_EQ(GdipFillRectangle(g, b, 8, 8, 3, wh), Ok);
  }
  EXPECT_EQ(s.Count(kBlack), 0);
  // A flat ellipse fills nothing; its outline is the line it collapses to.
  EXPECT_EQ(GdipFillEllipse(g, b, 4, 2, 0, 10), Ok);
  EXPECT_EQ(s.Count(kBlack), 0);
  EXPECT_EQ(GdipDrawEllipse(g, Pen(0xFF000000, 1), 4, 2, 0, 10), Ok);
  EXPECT_EQ(s.Picture(kBlack, 3, 0, 6, 14), "...\n...\n.#.\n.#.\n.#.\n.#.\n.#.\n.#.\n.#.\n.#.\n.#.\n.#.\n...\n...\n");
  // An arc over a rectangle given from its other corner is the same arc.
  Section a(40, 40), c(40, 40);
  ASSERT_EQ(GdipDrawArc(Graphics(a), Pen(0xFF000000, 1), 5, 5, 30, 20, 30, 200), Ok);
  ASSERT_EQ(GdipDrawArc(Graphics(c), Pen(0xFF000000, 1), 35, 25, -30, -20, 30, 200), Ok);
  EXPECT_GT(a.Count(kBlack), 40);
  EXPECT_EQ(a.Picture(kBlack, 0, 0, 40, 40), c.Picture(kBlack, 0, 0, 40, 40));
}

TEST_F(GdiPlusFlat, AntiAliasedEllipseCoversItsArea) {
  Section s(100, 80);
  GpGraphics* g = Graphics(s, SmoothingModeAntiAlias);
  ASSERT_EQ(GdipFillEllipse(g, Solid(0xFF000000), 10, 10, 70, 50), Ok);
  double cover = 0;
  bool partial = false;
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < s.w; ++x) {
      const int v = GetRValue(s.At(x, y));
      cover += (255 - v) / 255.0;
      partial |= v > 0 && v < 255;
    }
  const double ideal = M_PI * 35 * 25;
  EXPECT_NEAR(cover, ideal, ideal * 0.02);
  EXPECT_TRUE(partial);
  // Without smoothing the edge pixels are all or nothing, the area the same.
  Section t(100, 80);
  ASSERT_EQ(GdipFillEllipse(Graphics(t, SmoothingModeHighSpeed), Solid(0xFF000000), 10, 10, 70, 50), Ok);
  EXPECT_EQ(t.Count(kBlack) + t.Count(kWhite), 100 * 80);
  EXPECT_NEAR(t.Count(kBlack), ideal, ideal * 0.02);
}

TEST_F(GdiPlusFlat, AlphaBlendsAndSourceCopyReplaces) {
  struct Case {
    GpCompositingMode mode;
    ARGB brush;
    COLORREF expect;
  } cases[] = {
      {CompositingModeSourceOver, 0x80000000, RGB(127, 127, 127)},
      {CompositingModeSourceOver, 0x80FF0000, RGB(255, 127, 127)},
      {CompositingModeSourceOver, 0x00000000, kWhite},
      // Copied as it is, its alpha leaves the colour premultiplied.
      {CompositingModeSourceCopy, 0x80FF0000, RGB(128, 0, 0)},
      {CompositingModeSourceCopy, 0xFF00FF00, RGB(0, 255, 0)},
  };
  for (int bpp : {32, 24}) {
    for (const Case& c : cases) {
      Section s(8, 8, bpp);
      GpGraphics* g = Graphics(s);
      ASSERT_EQ(GdipSetCompositingMode(g, c.mode), Ok);
      ASSERT_EQ(GdipFillRectangle(g, Solid(c.brush), 0, 0, 8, 8), Ok);
      const COLORREF got = s.At(4, 4);
      for (int sh : {0, 8, 16})
        EXPECT_NEAR(double((got >> sh) & 255), double((c.expect >> sh) & 255), 1.0)
            << bpp << " bits, mode " << c.mode << ", brush " << std::hex << c.brush;
    }
  }
}

TEST_F(GdiPlusFlat, ThirtyTwoBitSectionsKeepPremultipliedAlpha) {
  // On a section whose fourth bytes are 0 (as GDI leaves them): an opaque
  // fill makes them 255, a half-transparent copy leaves its premultiplied
  // colour and alpha, a half-transparent blend keeps the colours of a blend
  // over an opaque surface.
  struct Case {
    GpCompositingMode mode;
    ARGB brush;
    uint8_t bgra[4];
  } cases[] = {{CompositingModeSourceOver, 0xFF204060, {0x60, 0x40, 0x20, 255}},
               {CompositingModeSourceCopy, 0x80FF0000, {0, 0, 128, 128}},
               {CompositingModeSourceOver, 0x80000000, {127, 127, 127, 128}}};
  for (bool topDown : {true, false})
    for (const Case& c : cases) {
      Section s(4, 4, 32, topDown);
      GpGraphics* g = Graphics(s);
      ASSERT_EQ(GdipSetCompositingMode(g, c.mode), Ok);
      ASSERT_EQ(GdipFillRectangle(g, Solid(c.brush), 1, 1, 2, 2), Ok);
      for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(s.bits[s.Stride() + 4 + i], c.bgra[i], 1) << i << " " << std::hex << c.brush;
        EXPECT_EQ(s.bits[i], i < 3 ? 255 : 0);  // (0, 0) untouched
      }
    }
}

TEST_F(GdiPlusFlat, HatchesRepeatEveryEightPixelsAlignedWithTheDevice) {
  struct Case {
    GpHatchStyle style;
    int perCell;  // fore pixels in each 8 x 8 cell
    int dx, dy;   // a step along the lines (0, 0: lines both ways)
  } cases[] = {{HatchStyleHorizontal, 8, 1, 0},       {HatchStyleVertical, 8, 0, 1},
               {HatchStyleForwardDiagonal, 8, 1, 1},  {HatchStyleBackwardDiagonal, 8, -1, 1},
               {HatchStyleCross, 15, 0, 0},           {HatchStyleDiagonalCross, 16, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    Section s(40, 40);
    GpGraphics* g = Graphics(s);
    // Starting off the cell grid: the pattern stays anchored at (0, 0).
    ASSERT_EQ(GdipFillRectangle(g, Hatch(c.style, 0xFF0000FF, 0xFFFFFF00), 3, 5, 37, 35), Ok);
    const COLORREF fore = RGB(0, 0, 255), back = RGB(255, 255, 0);
    int fores = 0;
    for (int y = 8; y < 16; ++y)
      for (int x = 8; x < 16; ++x) fores += s.At(x, y) == fore;
    EXPECT_EQ(fores, c.perCell);
    for (int y = 5; y < 32; ++y)
      for (int x = 3; x < 32; ++x) {
        const COLORREF v = s.At(x, y);
        ASSERT_TRUE(v == fore || v == back) << x << "," << y;
        ASSERT_EQ(s.At(x + 8, y), v) << x << "," << y;
        ASSERT_EQ(s.At(x, y + 8), v) << x << "," << y;
        if (v == fore && (c.dx || c.dy) && x + c.dx >= 3 && x + c.dx < 40 && y + c.dy < 40)
          ASSERT_EQ(s.At(x + c.dx, y + c.dy), fore) << x << "," << y;
      }
    EXPECT_EQ(s.At(2, 20), kWhite);
    EXPECT_EQ(s.At(20, 4), kWhite);
  }
  // The back colour's alpha: a transparent back lets the surface show.
  Section s(16, 16);
  ASSERT_EQ(GdipFillRectangle(Graphics(s), Hatch(HatchStyleHorizontal, 0xFF000000, 0x00000000), 0, 0, 16, 16), Ok);
  EXPECT_EQ(s.Count(kBlack), 32);
  EXPECT_EQ(s.Count(kWhite), 16 * 16 - 32);
}

// Runs of ink along row y: the lengths of the inked and blank stretches.
std::vector<int> Runs(const Section& s, int y, int x0, int x1) {
  std::vector<int> runs;
  bool ink = s.At(x0, y) == kBlack;
  int n = 0;
  for (int x = x0; x < x1; ++x) {
    const bool i = s.At(x, y) == kBlack;
    if (i != ink) {
      runs.push_back(n);
      n = 0;
      ink = i;
    }
    ++n;
  }
  runs.push_back(n);
  return runs;
}

TEST_F(GdiPlusFlat, DashesLeaveGapsScaledByThePenWidth) {
  struct Case {
    GpDashStyle dash;
    REAL width;
    std::vector<int> runs;  // from the start of the line
  } cases[] = {
      {DashStyleSolid, 1, {60}},
      {DashStyleDash, 1, {3, 1, 3, 1, 3, 1}},
      {DashStyleDash, 3, {9, 3, 9, 3, 9, 3}},
      {DashStyleDot, 2, {2, 2, 2, 2}},
      {DashStyleDashDot, 1, {3, 1, 1, 1, 3, 1, 1, 1}},
      {DashStyleDashDotDot, 2, {6, 2, 2, 2, 2, 2, 6, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.dash) + " width " + std::to_string(c.width));
    Section s(80, 20);
    ASSERT_EQ(GdipDrawLine(Graphics(s), Pen(0xFF000000, c.width, c.dash), 10, 10, 70, 10), Ok);
    std::vector<int> runs = Runs(s, 10, 10, 70);
    runs.resize(std::min(runs.size(), c.runs.size()));
    EXPECT_EQ(runs, c.runs);
    // The pen's width across the line.
    int across = 0;
    for (int y = 0; y < 20; ++y) across += s.At(10, y) == kBlack;
    EXPECT_EQ(across, int(c.width));
  }
}

TEST_F(GdiPlusFlat, LineJoinsShapeTheCorner) {
  // A sharp corner pointing up at (40, 10): the mitre reaches furthest, the
  // bevel least.
  const GpPoint v[] = {{20, 50}, {40, 10}, {60, 50}};
  int above[3] = {};
  const GpLineJoin joins[3] = {LineJoinMiter, LineJoinRound, LineJoinBevel};
  for (int i = 0; i < 3; ++i) {
    Section s(80, 60);
    ASSERT_EQ(GdipDrawLinesI(Graphics(s), Pen(0xFF000000, 8, DashStyleSolid, joins[i]), v, 3), Ok);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 80; ++x) above[i] += s.At(x, y) == kBlack;
  }
  EXPECT_GT(above[0], above[1]);
  EXPECT_GT(above[1], above[2]);
}

TEST_F(GdiPlusFlat, ClipRegionAndOriginOfTheDeviceContext) {
  Section s(30, 30);
  HRGN clip = CreateRectRgn(5, 5, 15, 12);
  SelectClipRgn(s.dc, clip);
  DeleteObject(clip);
  GpGraphics* g = Graphics(s);
  ASSERT_EQ(GdipFillRectangle(g, Solid(0xFF000000), 0, 0, 30, 30), Ok);
  SelectClipRgn(s.dc, nullptr);
  std::string expect;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) expect += (x >= 5 && x < 15 && y >= 5 && y < 12) ? '#' : '.';
    expect += '\n';
  }
  EXPECT_EQ(s.Picture(kBlack, 0, 0, 30, 30), expect);

  // The viewport and window origins when the graphics is made move what it
  // draws; moving them later does not.
  Section t(30, 30);
  SetViewportOrgEx(t.dc, 7, 9, nullptr);
  SetWindowOrgEx(t.dc, 2, 1, nullptr);
  GpGraphics* h = Graphics(t);
  SetViewportOrgEx(t.dc, 0, 0, nullptr);
  SetWindowOrgEx(t.dc, 0, 0, nullptr);
  ASSERT_EQ(GdipFillRectangle(h, Solid(0xFF000000), 0, 0, 3, 3), Ok);
  EXPECT_EQ(t.Picture(kBlack, 0, 0, 30, 30), Square(5, 8, 3, 30, 30));
}

TEST_F(GdiPlusFlat, WorldTransformsArePrependedOrAppended) {
  // Prepended: the rectangle turns a quarter about the origin, then moves.
  Section s(40, 40);
  GpGraphics* g = Graphics(s);
  ASSERT_EQ(GdipTranslateWorldTransform(g, 20, 10, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipRotateWorldTransform(g, 90, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipFillRectangle(g, Solid(0xFF000000), 0, 0, 4, 2), Ok);
  std::string expect;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) expect += (x >= 18 && x < 20 && y >= 10 && y < 14) ? '#' : '.';
    expect += '\n';
  }
  EXPECT_EQ(s.Picture(kBlack, 0, 0, 40, 40), expect);
  // Appended: moved first, then turned about the origin (off the bitmap to
  // the left), until the transform is reset.
  ASSERT_EQ(GdipResetWorldTransform(g), Ok);
  ASSERT_EQ(GdipTranslateWorldTransform(g, 10, 20, MatrixOrderAppend), Ok);
  ASSERT_EQ(GdipRotateWorldTransform(g, -90, MatrixOrderAppend), Ok);
  ASSERT_EQ(GdipFillRectangle(g, Solid(0xFF000000), 0, 0, 4, 2), Ok);  // now at x 20..21, y -14..-10
  EXPECT_EQ(s.Count(kBlack), 8);
  ASSERT_EQ(GdipResetWorldTransform(g), Ok);
  ASSERT_EQ(GdipFillRectangle(g, Solid(0xFF000000), 30, 30, 2, 2), Ok);
  EXPECT_EQ(s.Count(kBlack), 12);
  EXPECT_EQ(s.At(30, 30), kBlack);
}

TEST_F(GdiPlusFlat, PieAnglesAreThoseOfRaysFromTheCentre) {
  // An ellipse twice as wide as high: the pie from 0 to 45 degrees ends on
  // the 45-degree ray, not at the parameter 45 degrees (26.6 degrees).
  Section s(220, 120);
  GpGraphics* g = Graphics(s);
  ASSERT_EQ(GdipFillPie(g, Solid(0xFF000000), 10, 10, 200, 100, 0, 45), Ok);
  const int cx = 110, cy = 60;
  struct Probe {
    int dx, dy;
    bool inside;
  } probes[] = {{40, 37, true}, {37, 40, false}, {60, 30, true}, {80, 5, true}, {40, -3, false}, {-20, 10, false}};
  for (const Probe& p : probes) EXPECT_EQ(s.At(cx + p.dx, cy + p.dy) == kBlack, p.inside) << p.dx << "," << p.dy;
  // Negative sweeps turn the other way; the arc is the pie's rim.
  Section t(220, 120);
  GpGraphics* h = Graphics(t);
  ASSERT_EQ(GdipFillPie(h, Solid(0xFF000000), 10, 10, 200, 100, 0, -45), Ok);
  EXPECT_EQ(t.At(cx + 40, cy - 37), kBlack);
  EXPECT_EQ(t.At(cx + 40, cy + 37), kWhite);
  ASSERT_EQ(GdipDrawArc(h, Pen(0xFFFF0000, 1), 10, 10, 200, 100, 90, 90), Ok);
  EXPECT_EQ(t.At(cx - 3, 110), RGB(255, 0, 0));  // bottom of the ellipse
  EXPECT_EQ(t.At(10, cy + 2), RGB(255, 0, 0));   // left end
  EXPECT_EQ(t.Count(RGB(255, 0, 0)) > 100, true);
  EXPECT_EQ(t.At(210, cy), kWhite);
}

TEST_F(GdiPlusFlat, AlternateAndWindingFill) {
  // A five-pointed star: its centre is inside twice.
  const GpPoint star[] = {{50, 5}, {79, 95}, {2, 40}, {98, 40}, {21, 95}};
  for (GpFillMode mode : {FillModeAlternate, FillModeWinding}) {
    Section s(100, 100);
    ASSERT_EQ(GdipFillPolygonI(Graphics(s), Solid(0xFF000000), star, 5, mode), Ok);
    EXPECT_EQ(s.At(50, 55) == kBlack, mode == FillModeWinding);
    EXPECT_EQ(s.At(50, 15), kBlack);
    // A path of two nested squares drawn the same way round.
    Section t(40, 40);
    GpPath* path = nullptr;
    ASSERT_EQ(GdipCreatePath(mode, &path), Ok);
    for (float d : {0.0f, 10.0f}) {
      GdipAddPathLine(path, 5 + d, 5 + d, 35 - d, 5 + d);
      GdipAddPathLine(path, 35 - d, 35 - d, 5 + d, 35 - d);  // joined to the first by a line
      GdipClosePathFigure(path);
    }
    ASSERT_EQ(GdipFillPath(Graphics(t), Solid(0xFF000000), path), Ok);
    EXPECT_EQ(t.At(20, 20) == kBlack, mode == FillModeWinding);
    EXPECT_EQ(t.At(8, 20), kBlack);
    EXPECT_EQ(GdipDeletePath(path), Ok);
  }
}

TEST_F(GdiPlusFlat, PathOfArcsAndLinesMakesOneOutline) {
  // A round rectangle as the canvas makes it: four quarter arcs joined by
  // lines, closed; filled, then drawn.
  Section s(60, 50);
  GpGraphics* g = Graphics(s);
  GpPath* path = nullptr;
  ASSERT_EQ(GdipCreatePath(FillModeAlternate, &path), Ok);
  GdipAddPathArc(path, 10, 10, 20, 20, 180, 90);
  GdipAddPathArc(path, 29, 10, 21, 21, 270, 90);
  GdipAddPathArc(path, 29, 19, 21, 21, 0, 90);
  GdipAddPathArc(path, 10, 19, 21, 21, 90, 90);
  GdipClosePathFigure(path);
  ASSERT_EQ(GdipFillPath(g, Solid(0xFF00FF00), path), Ok);
  ASSERT_EQ(GdipDrawPath(g, Pen(0xFF000000, 1), path), Ok);
  EXPECT_EQ(s.At(30, 25), RGB(0, 255, 0));
  EXPECT_EQ(s.At(30, 10), kBlack);  // top edge
  EXPECT_EQ(s.At(10, 25), kBlack);  // left edge
  EXPECT_EQ(s.At(11, 11), kWhite);  // the rounded corner
  EXPECT_EQ(s.At(50, 25), kBlack);  // right edge
  EXPECT_EQ(GdipDeletePath(path), Ok);
}

TEST_F(GdiPlusFlat, EveryEntryIsFoundByName) {
  HMODULE m = LoadLibraryW("gdiplus.dll");
  ASSERT_NE(m, nullptr);
  for (const char* name :
       {"GdiplusStartup", "GdiplusShutdown", "GdipCreateFromHDC", "GdipCreateFromHDC2", "GdipDeleteGraphics",
        "GdipSetSmoothingMode", "GdipSetCompositingMode", "GdipSetCompositingQuality", "GdipSetTextRenderingHint",
        "GdipRotateWorldTransform", "GdipTranslateWorldTransform", "GdipResetWorldTransform", "GdipCreatePen1",
        "GdipDeletePen", "GdipSetPenColor", "GdipSetPenWidth", "GdipSetPenDashStyle", "GdipSetPenLineJoin",
        "GdipCreateSolidFill", "GdipCreateHatchBrush", "GdipDeleteBrush", "GdipDrawLine", "GdipDrawLinesI",
        "GdipDrawRectangle", "GdipFillRectangle", "GdipDrawEllipse", "GdipFillEllipse", "GdipDrawPolygonI",
        "GdipFillPolygonI", "GdipDrawPie", "GdipFillPie", "GdipDrawArc", "GdipCreatePath", "GdipAddPathLine",
        "GdipAddPathArc", "GdipClosePathFigure", "GdipDrawPath", "GdipFillPath", "GdipDeletePath",
        "GdipCreateFontFromDC", "GdipDeleteFont", "GdipCreateStringFormat", "GdipDeleteStringFormat",
        "GdipDrawString", "GdipDisposeImage"})
    EXPECT_NE(GetProcAddress(m, name), nullptr) << name;
  // Through the module, a call reaches the same drawing.
  Section s(8, 8);
  GpGraphics* g = nullptr;
  ASSERT_EQ(reinterpret_cast<GdipCreateFromHDCProc>(GetProcAddress(m, "GdipCreateFromHDC"))(s.dc, &g), Ok);
  ASSERT_EQ(reinterpret_cast<GdipFillRectangleProc>(GetProcAddress(m, "GdipFillRectangle"))(g, Solid(0xFF000000), 1,
                                                                                             1, 2, 2),
            Ok);
  EXPECT_EQ(s.Count(kBlack), 4);
  EXPECT_EQ(GdipDeleteGraphics(g), Ok);
  FreeLibrary(m);
}

TEST_F(GdiPlusFlat, StartupFailureAndBadHandles) {
  VXGdiPlus::SetStartupFails(true);
  GdiplusStartupInput in;
  ULONG_PTR t = 0;
  EXPECT_EQ(GdiplusStartup(&t, &in, nullptr), GenericError);
  VXGdiPlus::SetStartupFails(false);
  // Without a session nothing can be made.
  GdiplusShutdown(token_);
  GpPen* p = nullptr;
  EXPECT_EQ(GdipCreatePen1(0xFF000000, 1, UnitPixel, &p), GdiplusNotInitialized);
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(GdiplusStartup(&token_, &in, nullptr), Ok);

  // Handles that were never made or are already deleted are refused.
  Section s(8, 8);
  GpGraphics* g = nullptr;
  EXPECT_EQ(GdipCreateFromHDC(reinterpret_cast<HDC>(uintptr_t(0x1234)), &g), OutOfMemory);
  EXPECT_EQ(g, nullptr);
  ASSERT_EQ(GdipCreateFromHDC(s.dc, &g), Ok);
  GpBrush* b = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(0xFF000000, &b), Ok);
  EXPECT_EQ(GdipDeleteBrush(b), Ok);
  EXPECT_EQ(GdipDeleteBrush(b), InvalidParameter);
  EXPECT_EQ(GdipFillRectangle(g, b, 0, 0, 4, 4), InvalidParameter);
  EXPECT_EQ(GdipFillRectangle(g, reinterpret_cast<GpBrush*>(g), 0, 0, 4, 4), InvalidParameter);
  EXPECT_EQ(GdipFillRectangle(g, Solid(0xFF000000), 0, 0, NAN, 4), InvalidParameter);
  EXPECT_EQ(GdipRotateWorldTransform(g, INFINITY, MatrixOrderPrepend), InvalidParameter);
  // Figures far beyond any bitmap are refused rather than worked through.
  EXPECT_EQ(GdipFillEllipse(g, Solid(0xFF000000), -1e12f, -1e12f, 2e12f, 2e12f), ValueOverflow);
  EXPECT_EQ(GdipDrawLine(g, Pen(0xFF000000, 1e9f), 0, 0, 4, 4), ValueOverflow);
  EXPECT_EQ(GdipFillEllipse(g, Solid(0xFF000000), -1e5f, -1e5f, 2e5f, 2e5f), Ok);
  EXPECT_EQ(s.Count(kBlack), 64);
  EXPECT_EQ(GdipFillRectangle(g, Solid(0xFFFFFFFF), 0, 0, 8, 8), Ok);
  EXPECT_EQ(GdipSetSmoothingMode(g, SmoothingModeInvalid), InvalidParameter);
  EXPECT_EQ(GdipDrawLinesI(g, Pen(0xFF000000, 1), nullptr, 3), InvalidParameter);
  EXPECT_EQ(s.Count(kBlack), 0);
  EXPECT_EQ(GdipDisposeImage(nullptr), InvalidParameter);
  // A device context deleted under its graphics: drawing fails cleanly.
  {
    Section gone(8, 8);
    GpGraphics* h = nullptr;
    ASSERT_EQ(GdipCreateFromHDC(gone.dc, &h), Ok);
    graphics_.push_back(h);
    SelectObject(gone.dc, gone.old);
    DeleteDC(gone.dc);
    EXPECT_EQ(GdipFillRectangle(h, Solid(0xFF000000), 0, 0, 4, 4), Win32Error);
    gone.dc = CreateCompatibleDC(nullptr);
  }
  EXPECT_EQ(GdipDeleteGraphics(g), Ok);
  EXPECT_EQ(GdipDeleteGraphics(g), InvalidParameter);
}

// The ellipse, arc and pie entries are recorded with their arguments (the
// ellipses without angles) and refuse a missing pen or brush.
TEST_F(GdiPlusFlat, EllipseArcAndPieEntriesAreRecordedAndNeedTheirPenOrBrush) {
  Section s(40, 40);
  GpGraphics* g = nullptr;
  ASSERT_EQ(GdipCreateFromHDC(s.dc, &g), Ok);
  graphics_.push_back(g);
  GpPen* pen = Pen(0xFF000000, 1);
  GpBrush* brush = Solid(0xFF000000);
  struct Case {
    std::function<GpStatus(GpPen*, GpBrush*)> Call;
    std::string Record;
  } cases[] = {
      {[&](GpPen* p, GpBrush*) { return GdipDrawEllipse(g, p, 2, 3, 20, 10); }, "GdipDrawEllipse(2,3,20,10)"},
      {[&](GpPen*, GpBrush* b) { return GdipFillEllipse(g, b, 2, 3, 20, 10); }, "GdipFillEllipse(2,3,20,10)"},
      {[&](GpPen* p, GpBrush*) { return GdipDrawArc(g, p, 2, 3, 20, 10, 30, 200); }, "GdipDrawArc(2,3,20,10,30,200)"},
      {[&](GpPen* p, GpBrush*) { return GdipDrawPie(g, p, 2, 3, 20, 10, 30, 200); }, "GdipDrawPie(2,3,20,10,30,200)"},
      {[&](GpPen*, GpBrush* b) { return GdipFillPie(g, b, 2, 3, 20, 10, 30, 200); }, "GdipFillPie(2,3,20,10,30,200)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Record);
    VXGdiPlus::SetRecording(true);
    EXPECT_EQ(c.Call(nullptr, nullptr), InvalidParameter);
    EXPECT_EQ(VXGdiPlus::Recorded(), std::vector<std::string>{c.Record});
    VXGdiPlus::SetRecording(false);
    EXPECT_EQ(s.Count(kBlack), 0);
    EXPECT_EQ(c.Call(pen, brush), Ok);
    EXPECT_GT(s.Count(kBlack), 0);
    ASSERT_EQ(GdipFillRectangle(g, Solid(0xFFFFFFFF), 0, 0, 40, 40), Ok);
  }
}

TEST_F(GdiPlusFlat, RecordingLogsEveryCallWithItsArguments) {
  Section s(40, 40);
  VXGdiPlus::SetRecording(true);
  GpGraphics* g = nullptr;
  GdipCreateFromHDC(s.dc, &g);
  GdipSetSmoothingMode(g, SmoothingModeAntiAlias);
  GpBrush* b = nullptr;
  GdipCreateHatchBrush(HatchStyleCross, 0xFF102030, 0x80FFFFFF, &b);
  GpPen* p = nullptr;
  GdipCreatePen1(0xFF000000, 2.5f, UnitPixel, &p);
  GdipTranslateWorldTransform(g, 5.7f, -2.2f, MatrixOrderPrepend);
  GdipFillRectangle(g, b, 10, 10, 9, 9);
  const GpPoint pts[] = {{0, 0}, {10, 5}};
  GdipDrawLinesI(g, p, pts, 2);
  GpPath* path = nullptr;
  GdipCreatePath(FillModeAlternate, &path);
  GdipAddPathArc(path, 10, 10, 21, 21, 270, 90);
  GdipDrawPath(g, p, path);
  GdipDeletePath(path);
  GdipDrawArc(g, p, 0, 0, 10.5f, 10, -45, 180);
  GdipDeletePen(p);
  GdipDeleteBrush(b);
  GdipDeleteGraphics(g);
  const std::vector<std::string> expect = {
      "GdipCreateFromHDC()",
      "GdipSetSmoothingMode(4)",
      "GdipCreateHatchBrush(4,FF102030,80FFFFFF)",
      "GdipCreatePen1(FF000000,2.5,2)",
      "GdipTranslateWorldTransform(5.7,-2.2,0)",
      "GdipFillRectangle(10,10,9,9)",
      "GdipDrawLinesI([(0,0),(10,5)],2)",
      "GdipCreatePath(0)",
      "GdipAddPathArc(10,10,21,21,270,90)",
      "GdipDrawPath()",
      "GdipDeletePath()",
      "GdipDrawArc(0,0,10.5,10,-45,180)",
      "GdipDeletePen()",
      "GdipDeleteBrush()",
      "GdipDeleteGraphics()",
  };
  EXPECT_EQ(VXGdiPlus::Recorded(), expect);
  EXPECT_TRUE(VXGdiPlus::Recorded().empty());
  // Recording does not stop the drawing.
  EXPECT_NE(s.At(16, 12), kWhite);
  VXGdiPlus::SetRecording(false);
  GdipCreateSolidFill(0xFF000000, &b);
  GdipDeleteBrush(b);
  EXPECT_TRUE(VXGdiPlus::Recorded().empty());
}

}  // namespace

namespace {

HFONT MakeFont(const char16_t* Face, int Height, BYTE Quality = DEFAULT_QUALITY, bool Underline = false) {
  LOGFONTW lf;
  lf.lfHeight = Height;
  lf.lfWeight = 400;
  lf.lfQuality = Quality;
  lf.lfUnderline = Underline;
  for (int i = 0; Face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = Face[i];
  return CreateFontIndirectW(&lf);
}

// A string drawn in a layout rectangle on a fresh white section, with the
// device context's font made of Face and Height.
struct Text {
  Section s;
  HFONT font;
  HGDIOBJ oldFont;
  Text(int W, int H, const char16_t* Face, int Height, BYTE Quality = DEFAULT_QUALITY, bool Underline = false)
      : s(W, H), font(MakeFont(Face, Height, Quality, Underline)), oldFont(SelectObject(s.dc, font)) {}
  ~Text() {
    SelectObject(s.dc, oldFont);
    DeleteObject(font);
  }
  GpStatus Draw(const char* str, GpRectF r, INT Attributes = 0, GpTextRenderingHint Hint = TextRenderingHintAntiAliasGridFit,
                ARGB Color = 0xFF000000) {
    GpGraphics* g = nullptr;
    GpFont* f = nullptr;
    GpStringFormat* fmt = nullptr;
    GpBrush* b = nullptr;
    EXPECT_EQ(GdipCreateFromHDC(s.dc, &g), Ok);
    EXPECT_EQ(GdipSetTextRenderingHint(g, Hint), Ok);
    EXPECT_EQ(GdipCreateFontFromDC(s.dc, &f), Ok);
    EXPECT_EQ(GdipCreateStringFormat(Attributes, 0, &fmt), Ok);
    EXPECT_EQ(GdipCreateSolidFill(Color, &b), Ok);
    const GpStatus st = GdipDrawString(g, str, -1, f, &r, fmt, b);
    EXPECT_EQ(GdipDeleteBrush(b), Ok);
    EXPECT_EQ(GdipDeleteStringFormat(fmt), Ok);
    EXPECT_EQ(GdipDeleteFont(f), Ok);
    EXPECT_EQ(GdipDeleteGraphics(g), Ok);
    return st;
  }
};

TEST_F(GdiPlusFlat, StringsSitWhereGdiPutsTheSameText) {
  // The same glyphs as GDI's TextOutW at the corner of the rectangle moved
  // in by the sixth-em margin, within a pixel.
  struct Case {
    const char16_t* face;
    int height;
    const char* text;
  } cases[] = {{u"DejaVu Sans", -20, "Hello, World"}, {u"DejaVu Serif", -12, "Quartz glyph"},
               {u"DejaVu Sans Mono", -11, "mono 0123"}, {u"Arial", -16, "Tahoma/Arial"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Text t(240, 60, c.face, c.height);
    ASSERT_EQ(t.Draw(c.text, GpRectF{10, 12, 220, 40}), Ok);
    const RECT ink = t.s.Ink();
    Text ref(240, 60, c.face, c.height);
    SetBkMode(ref.s.dc, TRANSPARENT);
    TextOutW(ref.s.dc, 10 + int(std::nearbyint(-c.height / 6.0)), 12, c.text, -1);
    const RECT want = ref.s.Ink();
    ASSERT_LT(want.left, want.right);
    EXPECT_NEAR(ink.left, want.left, 1);
    EXPECT_NEAR(ink.right, want.right, 1);
    EXPECT_NEAR(ink.top, want.top, 1);
    EXPECT_NEAR(ink.bottom, want.bottom, 1);
  }
}

TEST_F(GdiPlusFlat, StringsFarFromTheOriginAreDrawn) {
  // The same text at growing distances from the surface's corner keeps its
  // ink, moved along.
  Text at0(900, 300, u"DejaVu Sans", -12);
  ASSERT_EQ(at0.Draw("Far away", GpRectF{10, 10, 300, 40}), Ok);
  const RECT ref = at0.s.Ink();
  ASSERT_LT(ref.left, ref.right);
  for (int d : {150, 400, 700}) {
    SCOPED_TRACE(d);
    Text t(900, 300, u"DejaVu Sans", -12);
    ASSERT_EQ(t.Draw("Far away", GpRectF{REAL(10 + d), REAL(10 + d / 4), 1000, 400}), Ok);
    const RECT ink = t.s.Ink();
    EXPECT_EQ(ink.left, ref.left + d);
    EXPECT_EQ(ink.top, ref.top + d / 4);
    EXPECT_EQ(ink.right - ink.left, ref.right - ref.left);
  }
}

TEST_F(GdiPlusFlat, StringsWrapAndClipToTheirRectangle) {
  const char* words = "one two three four five six";
  // Wide enough for the whole text on one line.
  Text wide(400, 100, u"DejaVu Sans", -12);
  ASSERT_EQ(wide.Draw(words, GpRectF{5, 5, 390, 90}), Ok);
  const RECT one = wide.s.Ink();
  // Narrow: the words wrap onto more lines, none wider than the rectangle.
  Text narrow(400, 100, u"DejaVu Sans", -12);
  ASSERT_EQ(narrow.Draw(words, GpRectF{5, 5, 70, 90}), Ok);
  const RECT wrapped = narrow.s.Ink();
  EXPECT_LE(wrapped.right, 75);
  EXPECT_GT(wrapped.bottom - wrapped.top, 2 * (one.bottom - one.top));
  // Without wrapping nor clipping it runs on along one line as when wide.
  Text nowrap(400, 100, u"DejaVu Sans", -12);
  ASSERT_EQ(nowrap.Draw(words, GpRectF{5, 5, 70, 90}, StringFormatFlagsNoWrap | StringFormatFlagsNoClip), Ok);
  const RECT run = nowrap.s.Ink();
  EXPECT_EQ(run.right, one.right);
  EXPECT_EQ(run.bottom, one.bottom);
  // Without wrapping, clipped: nothing outside the rectangle.
  Text clipped(400, 100, u"DejaVu Sans", -12);
  ASSERT_EQ(clipped.Draw(words, GpRectF{5, 5, 70, 8}, StringFormatFlagsNoWrap), Ok);
  const RECT c = clipped.s.Ink();
  EXPECT_GE(c.left, 5);
  EXPECT_LE(c.right, 75);
  EXPECT_GE(c.top, 5);
  EXPECT_LE(c.bottom, 13);
  EXPECT_LT(c.left, c.right);
  // Line feeds start new lines; an empty string draws nothing.
  Text lines(400, 100, u"DejaVu Sans", -12);
  ASSERT_EQ(lines.Draw("one\r\ntwo\nthree", GpRectF{5, 5, 390, 90}), Ok);
  EXPECT_GT(lines.s.Ink().bottom - lines.s.Ink().top, 2 * (one.bottom - one.top));
  Text none(40, 20, u"DejaVu Sans", -12);
  ASSERT_EQ(none.Draw("", GpRectF{0, 0, 40, 20}), Ok);
  EXPECT_EQ(none.s.Count(kWhite), 40 * 20);
}

TEST_F(GdiPlusFlat, TextRenderingHintChoosesSmoothedGlyphs) {
  struct Case {
    GpTextRenderingHint hint;
    BYTE quality;
    bool smooth;
  } cases[] = {{TextRenderingHintSingleBitPerPixelGridFit, DEFAULT_QUALITY, false},
               {TextRenderingHintAntiAliasGridFit, NONANTIALIASED_QUALITY, true},
               {TextRenderingHintAntiAlias, DEFAULT_QUALITY, true},
               {TextRenderingHintSystemDefault, NONANTIALIASED_QUALITY, false},
               {TextRenderingHintSystemDefault, ANTIALIASED_QUALITY, true}};
  for (const Case& c : cases) {
    Text t(120, 40, u"DejaVu Sans", -16, c.quality);
    ASSERT_EQ(t.Draw("Smooth", GpRectF{2, 2, 116, 36}, 0, c.hint), Ok);
    const int solid = t.s.Count(kBlack) + t.s.Count(kWhite);
    EXPECT_GT(120 * 40 - t.s.Count(kWhite), 60);
    EXPECT_EQ(solid < 120 * 40, c.smooth) << c.hint << " " << int(c.quality);
  }
  // An underlined font draws its line under the whole text.
  Text u(120, 40, u"DejaVu Sans", -16, NONANTIALIASED_QUALITY, true);
  ASSERT_EQ(u.Draw("a  b", GpRectF{2, 2, 116, 36}, 0, TextRenderingHintSingleBitPerPixel), Ok);
  const RECT ink = u.s.Ink();
  int longest = 0;
  for (int y = ink.top; y < ink.bottom; ++y) {
    int run = 0;
    for (int x = ink.left; x < ink.right; ++x) run = u.s.At(x, y) == kBlack ? run + 1 : 0, longest = std::max(longest, run);
  }
  EXPECT_GE(longest, ink.right - ink.left - 1);
}

TEST_F(GdiPlusFlat, TextEntriesRefuseBadHandlesAndAreRecorded) {
  Text t(60, 30, u"DejaVu Sans", -12);
  VXGdiPlus::SetRecording(true);
  ASSERT_EQ(t.Draw("Hi", GpRectF{1, 2, 50.5f, 20}), Ok);
  const std::vector<std::string> expect = {"GdipCreateFromHDC()",         "GdipSetTextRenderingHint(3)",
                                           "GdipCreateFontFromDC()",      "GdipCreateStringFormat(0,0)",
                                           "GdipCreateSolidFill(FF000000)", "GdipDrawString(\"Hi\",-1,1,2,50.5,20)",
                                           "GdipDeleteBrush()",           "GdipDeleteStringFormat()",
                                           "GdipDeleteFont()",            "GdipDeleteGraphics()"};
  EXPECT_EQ(VXGdiPlus::Recorded(), expect);
  VXGdiPlus::SetRecording(false);

  GpFont* f = nullptr;
  EXPECT_EQ(GdipCreateFontFromDC(nullptr, &f), InvalidParameter);
  ASSERT_EQ(GdipCreateFontFromDC(t.s.dc, &f), Ok);
  GpGraphics* g = Graphics(t.s);
  const GpRectF r{0, 0, 60, 30};
  GpBrush* b = Solid(0xFF000000);
  EXPECT_EQ(GdipDrawString(g, nullptr, -1, f, &r, nullptr, b), InvalidParameter);
  EXPECT_EQ(GdipDrawString(g, "x", -2, f, &r, nullptr, b), InvalidParameter);
  EXPECT_EQ(GdipDrawString(g, "x", 1, f, nullptr, nullptr, b), InvalidParameter);
  EXPECT_EQ(GdipDrawString(g, "x", 1, reinterpret_cast<GpFont*>(b), &r, nullptr, b), InvalidParameter);
  // A length shorter than the string: only those bytes.
  const int before = t.s.Count(kWhite);
  EXPECT_EQ(GdipDrawString(g, "xxxxxxxx", 0, f, &r, nullptr, b), Ok);
  EXPECT_EQ(t.s.Count(kWhite), before);
  EXPECT_EQ(GdipDeleteFont(f), Ok);
  EXPECT_EQ(GdipDeleteFont(f), InvalidParameter);
  EXPECT_EQ(GdipDeleteStringFormat(nullptr), InvalidParameter);
}

}  // namespace
