// The viewer's painting, read from its window surface: layers placed by the
// coordinate mapping, backgrounds, soft crop, the grid, mask layers and the
// back buffer's reuse.
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
