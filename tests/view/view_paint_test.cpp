// The viewer's painting, read from its window surface: layers placed by the
// coordinate mapping, backgrounds, soft crop, the grid, mask layers and the
// back buffer's reuse.
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/settings.h"
#include "winui/win_paint.h"
#include "tests/view/view_fixture.h"

namespace {

struct Surface {
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  uint32_t At(int x, int y) const { return px[size_t(y) * w + x]; }
};

Surface Grab(TVexlaneView* v) {
  InvalidateRect(v->Handle(), nullptr, FALSE);
  VXHeadless::RunUntilIdle();
  Surface s;
  s.px = VXHeadless::Surface(v->Handle(), s.w, s.h);
  return s;
}

uint32_t RGBOf(TRGB c) { return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b; }
uint32_t RGBOfColor(uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// Writes the surface as a binary PPM (for looking at it).
void SavePPM(const Surface& s, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << s.w << " " << s.h << "\n255\n";
  for (uint32_t p : s.px) {
    const char c[3] = {char(p >> 16), char(p >> 8), char(p)};
    f.write(c, 3);
  }
}

void UpdateRectAll(TVexlaneView* v) { v->UpdateRect(TRect{0, 0, v->ClientWidth(), v->ClientHeight()}); }

class ViewPaint : public ViewTest {};

TEST_F(ViewPaint, TheImageAppearsWhereTheMappingPutsIt) {
  TVexlaneView* v = NewView(240, 180);
  v->SetBackground(0x00204060);
  SetImage(v, 90, 70);
  for (double z : {100.0, 250.0, 37.5, 400.0}) {
    SCOPED_TRACE("zoom " + std::to_string(z));
    v->SetZoom(z);
    v->SetViewXY(17, 9);
    const Surface s = Grab(v);
    ASSERT_EQ(s.w, v->ClientWidth());
    int bad = 0;
    for (int y = 0; y < s.h && bad < 3; ++y)
      for (int x = 0; x < s.w && bad < 3; ++x) {
        const bool inside = x >= v->OffsetX() && x < v->OffsetX() + v->ExtentX() && y >= v->OffsetY() &&
                            y < v->OffsetY() + v->ExtentY();
        uint32_t want;
        if (inside) {
          const int bx = v->XScr2Bmp(x), by = v->YScr2Bmp(y);
          if (bx < 0 || by < 0 || bx >= 90 || by >= 70) continue;
          want = RGBOf(v->VXBitmap()->Pixels(bx, by));
        } else {
          want = RGBOfColor(0x00204060);
        }
        if (s.At(x, y) != want) {
          ++bad;
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << s.At(x, y) << " not " << want;
        }
      }
    if (z == 250.0) SavePPM(s, std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/view_paint.ppm");
  }
}

TEST_F(ViewPaint, APlacedLayerShowsOverTheImage) {
  TVexlaneView* v = NewView(240, 180);
  SetImage(v, 100, 80);
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  const int32_t i = v->LayersAdd(20, 10, vx24RGB, 30, 40);
  v->Layers(i)->Bitmap()->Fill(0x000000FF);  // red
  v->Update();
  Surface s = Grab(v);
  EXPECT_EQ(s.At(30, 40), 0xFF0000u);
  EXPECT_EQ(s.At(49, 49), 0xFF0000u);
  EXPECT_EQ(s.At(50, 49), RGBOf(v->Layers(0)->Bitmap()->Pixels(50, 49)));
  EXPECT_EQ(v->Layers(i)->ClientAreaBox().Left, 30);
  // Half opacity blends with the image below.
  v->Layers(i)->SetOpacity(0.5);
  v->Update();
  s = Grab(v);
  const TRGB below = v->Layers(0)->Bitmap()->Pixels(35, 45);
  const uint32_t got = s.At(35, 45);
  EXPECT_NEAR(int(got >> 16), (255 + below.r) / 2, 1);
  EXPECT_NEAR(int(got & 0xFF), below.b / 2, 1);
  // A layer of 1 x 1 pixel is not painted.
  const int32_t tiny = v->LayersAdd(1, 1, vx24RGB, 0, 0);
  v->Layers(tiny)->Bitmap()->Fill(0x0000FF00);
  v->Update();
  s = Grab(v);
  EXPECT_EQ(s.At(0, 0), RGBOf(v->Layers(0)->Bitmap()->Pixels(0, 0)));
}

TEST_F(ViewPaint, AMaskLayerLimitsTheLayerBelowItAndIsCachedUntilUpdate) {
  TVexlaneView* v = NewView(240, 180);
  SetImage(v, 100, 80);
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  const int32_t i = v->LayersAdd(40, 40, vx24RGB, 0, 0);
  v->Layers(i)->Bitmap()->Fill(0x000000FF);
  const int32_t m = v->LayersAdd(40, 40, vx8g, 0, 0);
  v->Layers(m)->SetIsMask(true);
  TVXBitmap* mb = v->Layers(m)->Bitmap();
  mb->Fill(0);
  mb->FillRect(0, 0, 19, 39, 255);  // the left half shows the layer
  v->Update();
  Surface s = Grab(v);
  EXPECT_GE(s.At(5, 5), 0xFE0000u);  // opaque red through the mask's 255
  EXPECT_EQ(s.At(30, 5), RGBOf(v->Layers(0)->Bitmap()->Pixels(30, 5)));
  ASSERT_NE(v->Layers(i)->CachedLayerMask(), nullptr);
  EXPECT_FALSE(v->Layers(i)->Bitmap()->HasAlphaChannel());  // its own alpha back
  // The cache is reused: a changed mask shows only after Update.
  mb->Fill(255);
  UpdateRectAll(v);
  s = Grab(v);
  EXPECT_EQ(s.At(30, 5), RGBOf(v->Layers(0)->Bitmap()->Pixels(30, 5)));
  v->Update();
  s = Grab(v);
  EXPECT_GE(s.At(30, 5), 0xFE0000u);
}

TEST_F(ViewPaint, ChessboardStartsWithTheColourInTheBackBufferAndItsComplementOnACanvas) {
  TVexlaneView* v = NewView(240, 180);
  SetImage(v, 10, 10);
  v->SetBackground(0x00FFFFFF);
  v->SetBackgroundStyle(vxbsChessboard);
  Surface s = Grab(v);
  EXPECT_EQ(s.At(0, 0), 0xFFFFFFu);
  EXPECT_EQ(s.At(15, 15), 0xFFFFFFu);
  EXPECT_EQ(s.At(16, 0), 0x000000u);
  EXPECT_EQ(s.At(16, 16), 0xFFFFFFu);
  TBitmap canvasOnly(64, 32, pf24bit);
  v->DrawBackgroundToCanvas(canvasOnly.Canvas(), 64, 32);
  auto* row = static_cast<uint8_t*>(canvasOnly.ScanLine(0));
  EXPECT_EQ(row[0], 0);          // complement at the corner
  EXPECT_EQ(row[16 * 3], 0xFF);  // the colour next to it
}

TEST_F(ViewPaint, SoftCropAndTheGrid) {
  TVexlaneView* v = NewView(240, 180);
  v->SetBackground(0x00101010);
  SetImage(v, 40, 30);
  v->SetSoftCrop(vxsfAdd);
  Surface s = Grab(v);
  EXPECT_EQ(s.At(0, 0), 0x4C4C4Cu);  // 16 + 60
  const int ix = v->OffsetX() + 3, iy = v->OffsetY() + 3;
  EXPECT_EQ(s.At(ix, iy), RGBOf(v->VXBitmap()->Pixels(3, 3)));
  v->SetSoftCrop(vxsfGrid);
  s = Grab(v);
  EXPECT_EQ(s.At(0, 0), 0x808080u);
  EXPECT_EQ(s.At(1, 0), 0x101010u);
  v->SetSoftCrop(vxsfNone);

  VXGetGlobalSettings()->SetMinZoomDisplayGrid(400);
  v->SetDisplayGrid(true);
  v->SetZoom(50);
  Surface flat = Grab(v);
  v->SetDisplayGrid(false);
  Surface none = Grab(v);
  EXPECT_EQ(flat.px, none.px);  // below the minimum zoom: no grid
  v->SetZoom(800);
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  none = Grab(v);
  v->SetDisplayGrid(true);
  const Surface grid = Grab(v);
  // Every 8th column inverted.
  for (int x = 0; x < 40; ++x) {
    const bool line = x % 8 == 0;
    EXPECT_EQ(grid.At(x, 3) == (~none.At(x, 3) & 0xFFFFFF), line) << "column " << x;
  }
}

TEST_F(ViewPaint, AnUnchangedViewIsNotRenderedAgainAndACoveringImageNeedsNoBackground) {
  TVexlaneView* v = NewView(120, 90);
  int renders = 0, backgrounds = 0;
  v->OnDrawBackBuffer = [&](void*) { ++renders; };
  v->OnDrawBackground = [&](void*, TCanvas*, const TRect&, bool&) { ++backgrounds; };
  SetImage(v, 400, 300);
  VXHeadless::RunUntilIdle();
  EXPECT_GE(renders, 1);
  EXPECT_EQ(backgrounds, 0);  // the image covers the client area at (0, 0)
  renders = 0;
  InvalidateRect(v->Handle(), nullptr, FALSE);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(renders, 0);  // only copied
  SetImage(v, 20, 20);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(renders, 1);
  EXPECT_GE(backgrounds, 1);
}

}  // namespace

namespace {

TEST_F(ViewPaint, TheFourWaysToTheWindowLeaveTheSamePixels) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 130, 90);
  v->SetZoom(137.5);
  v->SetViewXY(20, 11);
  const Surface plain = Grab(v);
  struct Way {
    int depth;
    bool remote, drawDib;
  };
  const Way ways[] = {{8, false, false}, {16, false, false}, {16, true, false}, {32, false, true}};
  for (const Way& w : ways) {
    VXHeadless::SetScreenDepth(w.depth);
    VXHeadless::SetRemoteSession(w.remote);
    v->SetUseDrawDibDraw(w.drawDib);
    const Surface s = Grab(v);
    EXPECT_EQ(s.px, plain.px) << "depth " << w.depth << (w.remote ? " remote" : "") << (w.drawDib ? " DrawDib" : "");
  }
  VXHeadless::SetScreenDepth(32);
  VXHeadless::SetRemoteSession(false);
}

TEST_F(ViewPaint, EveryBackgroundStyleFollowsItsDrawing) {
  const TColor C = 0x00336699;
  const uint32_t c = RGBOfColor(0x00336699), nc = ~c & 0xFFFFFF;
  TVexlaneView* v = NewView(200, 150);
  v->SetBorderStyle(bsNone);
  v->SetBackground(C);
  v->SetGradientEndColor(0x00FF0000);
  SetImage(v, 40, 30);  // at (80, 60) of the 200 x 150 client area
  ASSERT_EQ(v->OffsetX(), 80);
  for (int st = 0; st <= int(vxbsPhotoLike); ++st) {
    SCOPED_TRACE("style " + std::to_string(st));
    v->SetBackgroundStyle(TVXBackgroundStyle(st));
    const Surface s = Grab(v);
    const uint32_t corner = s.At(0, 0), inner = s.At(5, 5);
    switch (TVXBackgroundStyle(st)) {
      case vxbsSolid:
        EXPECT_EQ(corner, c);
        EXPECT_EQ(inner, c);
        break;
      case vxbsChessboard:
        EXPECT_EQ(corner, c);
        EXPECT_EQ(s.At(16, 0), nc);
        break;
      case vxbsDiagonals:
        EXPECT_EQ(s.At(4, 3), nc);  // on the line from the corner (slope 3/4)
        EXPECT_EQ(s.At(12, 3), c);
        break;
      case vxbsCropped:
        EXPECT_EQ(corner, RGBOfColor(VXColorToRGB(clBtnFace)));
        EXPECT_NE(s.At(79, 70), RGBOfColor(VXColorToRGB(clBtnFace)));  // the sunken edge
        break;
      case vxbsCropShadow:
        EXPECT_EQ(corner, c);
        EXPECT_LT(s.At(121, 70) & 0xFF, c & 0xFF);  // darker right of the image
        break;
      case vxbsGradient:
        EXPECT_EQ(corner, c);
        EXPECT_NE(s.At(0, 149), c);  // toward the end colour at the bottom
        break;
      case vxbsSoftShadow:
        EXPECT_EQ(corner, c);
        EXPECT_NE(s.At(121, 70), c);
        break;
      case vxbsPhotoLike:
        EXPECT_EQ(corner, 0xB0B0B0u);
        EXPECT_EQ(s.At(79, 59), 0x000000u);  // the outline
        break;
      default:  // the hatched brushes: the colour on some pixels, the rest untouched
        bool hasC = false;
        for (int x = 0; x < 16; ++x) hasC |= s.At(x, 8) == c || s.At(8, x) == c;
        EXPECT_TRUE(hasC);
        break;
    }
    // The image itself is never painted over.
    EXPECT_EQ(s.At(85, 65), RGBOf(v->VXBitmap()->Pixels(5, 5)));
  }
  // Without a bitmap the soft shadow draws nothing; a designer fills solid.
  TBitmap b(30, 20, pf24bit);
  b.Canvas()->Brush()->SetColor(clWhite);
  b.Canvas()->FillRect(TRect{0, 0, 30, 20});
  VXRenderBackground(false, b.Canvas(), nullptr, vxbsSoftShadow, C, 0, 0, 30, 20, 5, 5, 10, 10, 16, bsSolid, C,
                     nullptr, vxwoNormal);
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0))[0], 0xFF);
  VXRenderBackground(true, b.Canvas(), &b, vxbsCropped, C, 0, 0, 30, 20, 5, 5, 10, 10, 16, bsSolid, C, nullptr,
                     vxwoNormal);
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0))[2], 0x99);
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(7))[7 * 3 + 2], 0x99);
}

}  // namespace

namespace {

// The placement of a layer by its position, from the mapping: one pixel
// toward the layer where the conversion lands outside it, cut to layer 0
// when Cropped.
struct Placed {
  int32_t x1, y1, x2, y2, sx, sy, sw, sh;
};

Placed Place(TVexlaneView* v, TVXLayer* L) {
  TVXBitmap* B = L->Bitmap();
  auto edge = [v](int32_t pos, bool h) {
    int32_t c = h ? v->XBmp2Scr(pos) : v->YBmp2Scr(pos);
    const int32_t b = h ? v->XScr2Bmp(c) : v->YScr2Bmp(c);
    return b < pos ? c + 1 : b > pos ? c - 1 : c;
  };
  const int32_t w = L->ResizedWidth() ? L->ResizedWidth() : B->Width();
  const int32_t h = L->ResizedHeight() ? L->ResizedHeight() : B->Height();
  Placed p{edge(L->PosX(), true), edge(L->PosY(), false), edge(L->PosX() + w, true), edge(L->PosY() + h, false),
           0, 0, B->Width(), B->Height()};
  if (L->Cropped()) {
    const int32_t bw = p.x2 - p.x1, bh = p.y2 - p.y1;
    const TVXBitmap* b0 = v->Layers(0)->Bitmap();
    if (v->XScr2Bmp(p.x1) < 0) p.x1 = v->XBmp2Scr(0), p.sx = int32_t(-std::trunc(double(B->Width()) / w * L->PosX()));
    if (v->YScr2Bmp(p.y1) < 0) p.y1 = v->YBmp2Scr(0), p.sy = int32_t(-std::trunc(double(B->Height()) / h * L->PosY()));
    if (L->PosX() + w > b0->Width())
      p.x2 = v->XBmp2Scr(b0->Width()), p.sw = int32_t(std::trunc(double(B->Width()) / bw * (p.x2 - p.x1)));
    else
      p.sw -= p.sx;
    if (L->PosY() + h > b0->Height())
      p.y2 = v->YBmp2Scr(b0->Height()), p.sh = int32_t(std::trunc(double(B->Height()) / bh * (p.y2 - p.y1)));
    else
      p.sh -= p.sy;
  }
  return p;
}

TEST_F(ViewPaint, SeededStacksEqualAReferenceDrawnFromThePlacement) {
  std::mt19937 rng(8301);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  TVexlaneView* v = NewView(260, 190);
  v->SetBackground(0x00406080);
  for (int c = 0; c < 12; ++c) {
    SCOPED_TRACE("stack " + std::to_string(c));
    v->LayersClear();
    SetImage(v, pick(40, 160), pick(30, 120));
    v->SetBackgroundStyle(c % 2 ? vxbsChessboard : vxbsSolid);
    const int n = pick(1, 3);
    for (int k = 0; k < n; ++k) {
      const int32_t i = v->LayersAdd(pick(5, 60), pick(5, 50), vx24RGB, pick(-30, 150), pick(-30, 110));
      TVXLayer* L = v->Layers(i);
      TVXBitmap* b = L->Bitmap();
      for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x) b->SetPixels(x, y, TRGB{uint8_t(x * 9), uint8_t(k * 80), uint8_t(y * 7)});
      b->AlphaChannel()->Fill(255);
      for (int y = 0; y < b->Height(); y += 2) b->SetAlpha(pick(0, b->Width() - 1), y, uint8_t(pick(0, 255)));
      if (pick(0, 1)) L->SetWidth(pick(5, 80));
      if (pick(0, 1)) L->SetHeight(pick(5, 60));
      L->SetTransparency(pick(100, 255));
      L->SetOpacity(pick(30, 100) / 100.0);
      L->SetOperation(TVXRenderOperation(pick(0, 3)));
      L->SetCropped(pick(0, 1) != 0);
    }
    const double zooms[] = {100, 200, 50, 137.5, 33.333};
    v->SetZoom(c < 5 ? zooms[c] : pick(20, 400) + pick(0, 99) / 100.0);
    v->SetViewXY(pick(0, 80), pick(0, 60));
    const Surface s = Grab(v);

    // The reference: background, then each layer placed from the mapping.
    TVXBitmap ref(s.w, s.h, vx24RGB);
    ref.SetLocation(vxTBitmap);
    int32_t d[8];
    v->GetRenderRectangles(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
    VXRenderBackground(false, ref.Canvas(), ref.VclBitmap(), v->BackgroundStyle(), v->Background(), 0, 0, s.w, s.h,
                       d[0], d[1], d[0] + d[2], d[1] + d[3], 16, bsSolid, v->GradientEndColor(), nullptr, vxwoNormal);
    for (int32_t i = 0; i < v->LayersCount(); ++i) {
      TVXLayer* L = v->Layers(i);
      const Placed p = Place(v, L);
      uint8_t** rows = nullptr;
      int32_t* xl = nullptr;
      int32_t* yl = nullptr;
      L->Bitmap()->RenderToTVXBitmap(&ref, rows, xl, yl, nullptr, p.x1, p.y1, p.x2 - p.x1, p.y2 - p.y1, p.sx, p.sy,
                                     p.sw, p.sh, L->Bitmap()->HasAlphaChannel(),
                                     i == 0 && v->BackgroundStyle() == vxbsSolid, L->Transparency(), rfNone, true,
                                     L->Operation(), L->Opacity());
      if (!L->Cropped()) {  // the box is the placement before the cut
        EXPECT_EQ(L->ClientAreaBox().Left, p.x1);
        EXPECT_EQ(L->ClientAreaBox().Bottom, p.y2);
      }
    }
    int bad = 0;
    for (int y = 0; y < s.h && bad < 3; ++y)
      for (int x = 0; x < s.w && bad < 3; ++x)
        if (s.At(x, y) != RGBOf(ref.Pixels(x, y)))
          ++bad, ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << s.At(x, y) << " vs "
                               << RGBOf(ref.Pixels(x, y));
  }
}

}  // namespace

namespace {

TEST_F(ViewPaint, ARotatedLayerIsDrawnTurnedAndHitInsideItsCorners) {
  TVexlaneView* v = NewView(240, 180);
  v->SetBackground(0x00FFFFFF);
  SetImage(v, 120, 90);
  v->VXBitmap()->Fill(0x00FFFFFF);
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  const int32_t i = v->LayersAdd(40, 10, vx24RGB, 40, 40);
  TVXLayer* L = v->Layers(i);
  L->Bitmap()->Fill(0x000000FF);
  for (double angle : {90.0, 30.0}) {
    SCOPED_TRACE("angle " + std::to_string(angle));
    L->SetRotate(angle);
    v->Update();
    const Surface s = Grab(v);
    int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1;
    for (int y = 0; y < s.h; ++y)
      for (int x = 0; x < s.w; ++x)
        if ((s.At(x, y) & 0xFFFF) == 0) {  // red
          minX = std::min(minX, x), maxX = std::max(maxX, x);
          minY = std::min(minY, y), maxY = std::max(maxY, y);
        }
    ASSERT_GE(maxX, 0);
    if (angle == 90) {
      // A 40 x 10 bar turned upright, about its centre (60, 45).
      EXPECT_NEAR(maxX - minX + 1, 10, 1);
      EXPECT_NEAR(maxY - minY + 1, 40, 1);
      EXPECT_NEAR((minX + maxX) / 2.0, 60, 1.5);
      EXPECT_NEAR((minY + maxY) / 2.0, 45, 1.5);
    }
    // Size and position are the layer's own again.
    EXPECT_EQ(L->PosX(), 40);
    EXPECT_EQ(L->ResizedWidth(), 0);
    EXPECT_TRUE(v->IsPointInsideLayer((minX + maxX) / 2, (minY + maxY) / 2, i));
    EXPECT_FALSE(v->IsPointInsideLayer(minX - 5, minY - 5, i));
    // The corners of a turned bar leave the image visible.
    if (angle == 30) {
      EXPECT_EQ(s.At(minX, minY), 0xFFFFFFu);
    }
  }
}

}  // namespace

namespace {

TEST_F(ViewPaint, AMagnifierOfRateTwoShowsThePixelsUnderItDoubled) {
  TVexlaneView* v = NewView(240, 180);
  SetImage(v, 120, 90);
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  for (TVXMagnifySource source : {vxmCanvas, vxmBackgroundLayer}) {
    SCOPED_TRACE(source == vxmCanvas ? "canvas" : "background layer");
    v->LayersClear();
    SetImage(v, 120, 90);
    const int32_t i = v->LayersAdd(40, 30, vx24RGB, 40, 30);
    TVXLayer* L = v->Layers(i);
    L->Magnify().Enabled = true;
    L->Magnify().Rate = 2;
    L->Magnify().Source = source;
    v->Update();
    const Surface s = Grab(v);
    // The lens covers (40, 30)-(80, 60) around its centre (60, 45) and shows
    // the 20 x 15 pixels from (60 - 20 div 2, 45 - 15 div 2) doubled.
    // (From layer 0 the area taken is one pixel wider and higher.)
    const double fx = source == vxmCanvas ? 0.5 : 21.0 / 40, fy = source == vxmCanvas ? 0.5 : 16.0 / 30;
    for (int y = 0; y < 30; y += 3)
      for (int x = 0; x < 40; x += 3) {
        bool found = false;
        const int ux = 50 + int(x * fx), uy = 38 + int(y * fy);
        for (int dy = 0; dy <= (source == vxmCanvas ? 0 : 1); ++dy)
          for (int dx = 0; dx <= (source == vxmCanvas ? 0 : 1); ++dx)
            found |= s.At(40 + x, 30 + y) == RGBOf(v->Layers(0)->Bitmap()->Pixels(ux + dx, uy + dy));
        EXPECT_TRUE(found) << x << "," << y;
      }
    EXPECT_EQ(s.At(39, 30), RGBOf(v->Layers(0)->Bitmap()->Pixels(39, 30)));
  }
  // An elliptic lens leaves its corners to the image.
  v->CurrentLayer()->Magnify().Style = vxmEllipse;
  v->Update();
  const Surface s = Grab(v);
  EXPECT_EQ(s.At(40, 30), RGBOf(v->Layers(0)->Bitmap()->Pixels(40, 30)));
}

}  // namespace

namespace {

TEST_F(ViewPaint, SoftCropBlendsTheLayerPartsOutsideTheImage) {
  TVexlaneView* v = NewView(240, 180);
  v->SetBackground(0x00000000);
  SetImage(v, 100, 80);
  v->VXBitmap()->Fill(0x00000000);
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  const int32_t i = v->LayersAdd(40, 20, vx24RGB, 80, 10);  // its right half lies outside the image
  v->Layers(i)->Bitmap()->Fill(0x00FFFFFF);
  v->SetSoftCropValue(60);
  v->SetSoftCrop(vxsfAlphaBlend);
  const Surface s = Grab(v);
  EXPECT_GE(s.At(85, 15) & 0xFF, 0xFEu);  // inside: opaque
  EXPECT_NEAR(int(s.At(110, 15) & 0xFF), 60, 1);  // outside: alpha 60 over black
}

}  // namespace
