// Drawing objects into bitmaps and over the viewer.
#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>
#include <string>

#include "core/settings.h"
#include "io/vexlaneio.h"
#include "vect_fixture.h"

namespace {

namespace fs = std::filesystem;

TRGB Rgb(TColor c) { return TRGB{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}; }

// Saves a picture for looking at when VX_VECT_PICTURES names a folder.
void Keep(TVXBitmap* b, const std::string& Name) {
  if (const char* dir = std::getenv("VX_VECT_PICTURES")) {
    TVXBitmap copy;
    copy.Assign(b);
    TVexlaneIO::CreateFromBitmap(&copy)->SaveToFilePNG((fs::path(dir) / (Name + ".png")).string());
  }
}

class VectDrawTest : public VectTest {
 protected:
  TVexlaneVect* Layer() {
    TVexlaneVect* v = NewVect();
    v->SetObjBitmap(-1, nullptr);
    v->SetObjAntialias(false);
    return v;
  }
};

TEST_F(VectDrawTest, AnEmptyBitmapTakesTheObjectsExtentsPlusOne) {
  TVexlaneVect* v = Layer();
  v->AddNewObject(vxkBOX, TRect{10, 10, 30, 20}, 0x0000FF, false);
  v->AddNewObject(vxkLINE, TRect{70, 5, 2, 45}, 0x00FF00, false);
  TVXBitmap b;
  v->DrawObjectsToBitmap(&b, false, true);
  EXPECT_EQ(b.Width(), 72);
  EXPECT_EQ(b.Height(), 47);
  EXPECT_EQ(b.PixelFormat(), vx24RGB);
  EXPECT_EQ(v->ObjDrawed(), 2);
  Keep(&b, "extents");
}

TEST_F(VectDrawTest, BoxesReachX2PlusOne) {
  struct TCase {
    TBrushStyle Brush;
    int32_t Pen;
  };
  for (const TCase& c : {TCase{bsClear, 1}, TCase{bsSolid, 1}, TCase{bsSolid, 3}}) {
    SCOPED_TRACE(std::to_string(c.Brush) + " " + std::to_string(c.Pen));
    TVexlaneVect* v = Layer();
    const int32_t h = v->AddNewObject(vxkBOX, TRect{10, 10, 30, 20}, 0x0000FF, false);
    v->SetObjBrushStyle(h, c.Brush);
    v->SetObjBrushColor(h, 0x00FF00);
    v->SetObjPenWidth(h, c.Pen);
    TVXBitmap b;
    b.Allocate(50, 40, vx24RGB);
    b.Fill(0);
    v->DrawObjectsToBitmap(&b, false, true);
    Keep(&b, "box" + std::to_string(c.Brush) + std::to_string(c.Pen));
    EXPECT_EQ(b.Pixels_vx24RGB(20, 10), Rgb(0x0000FF));  // top edge
    EXPECT_EQ(b.Pixels_vx24RGB(30, 15), Rgb(0x0000FF));  // the right edge, x2
    EXPECT_EQ(b.Pixels_vx24RGB(20, 20), Rgb(0x0000FF));  // bottom, y2
    EXPECT_EQ(b.Pixels_vx24RGB(40, 15), Rgb(0));
    EXPECT_EQ(b.Pixels_vx24RGB(5, 15), Rgb(0));
    EXPECT_EQ(b.Pixels_vx24RGB(20, 15), c.Brush == bsSolid ? Rgb(0x00FF00) : Rgb(0));
  }
}

TEST_F(VectDrawTest, LineEndShapes) {
  // The triangles of the geometry: an arrow into a horizontal line.
  TPoint t[3];
  ASSERT_TRUE(VXLineEndShape(vxsINARROW, {10, 10}, {60, 10}, 10, 20, t));
  EXPECT_EQ(t[0], (TPoint{10, 15}));
  EXPECT_EQ(t[1], (TPoint{10, 5}));
  EXPECT_EQ(t[2], (TPoint{30, 10}));
  ASSERT_TRUE(VXLineEndShape(vxsOUTARROW, {10, 10}, {60, 10}, 10, 20, t));
  EXPECT_EQ(t[0], (TPoint{30, 15}));
  EXPECT_EQ(t[2], (TPoint{10, 10}));
  EXPECT_FALSE(VXLineEndShape(vxsNONE, {10, 10}, {60, 10}, 10, 20, t));
  EXPECT_FALSE(VXLineEndShape(vxsINARROW, {10, 10}, {10, 10}, 10, 20, t));  // no direction

  for (int pen = 1; pen <= 5; ++pen) {
    SCOPED_TRACE(pen);
    TVexlaneVect* v = Layer();
    const int32_t h = v->AddNewObject(vxkLINE, TRect{10, 30, 90, 30}, 0xFFFFFF, false);
    v->SetObjPenWidth(h, pen);
    v->SetObjBeginShape(h, vxsINARROW);
    v->SetObjEndShape(h, vxsOUTARROW);
    v->SetObjBrushStyle(h, bsSolid);
    v->SetObjBrushColor(h, 0x0000FF);
    TVXBitmap b;
    b.Allocate(100, 60, vx24RGB);
    b.Fill(0);
    v->DrawObjectsToBitmap(&b, false, true);
    Keep(&b, "arrows" + std::to_string(pen));
    EXPECT_EQ(b.Pixels_vx24RGB(50, 30), Rgb(0xFFFFFF));  // the line, between the arrows
    EXPECT_EQ(b.Pixels_vx24RGB(14, 30), Rgb(0x0000FF));  // inside the begin arrow
    EXPECT_EQ(b.Pixels_vx24RGB(76, 30), Rgb(0x0000FF));  // inside the end arrow
    EXPECT_EQ(b.Pixels_vx24RGB(50, 40), Rgb(0));
    const TRect p = v->GetObjRecord(h)->plim;
    EXPECT_EQ(p.Top, 25);  // the arrows' base corners widen the drawn box
    EXPECT_EQ(p.Bottom, 35);
  }
}

TEST_F(VectDrawTest, BitmapObjectWithAlphaAndBorder) {
  TVexlaneVect* v = Layer();
  auto pic = Picture(10, 10, 200, true);
  const int32_t h = v->AddNewObject(vxkBITMAP, TRect{5, 5, 24, 24}, 0x00FFFF, false);
  v->SetObjBitmap(h, pic.get());
  v->SetObjBitmapBorder(h, true);
  v->SetObjPenWidth(h, 2);
  v->SetObjPenColor(h, 0x00FFFF);
  TVXBitmap b;
  b.Allocate(30, 30, vx24RGB);
  b.Fill(0);
  v->DrawObjectsToBitmap(&b, false, true);
  Keep(&b, "bitmap");
  for (int k : {5, 6, 23, 24}) EXPECT_EQ(b.Pixels_vx24RGB(15, k), Rgb(0x00FFFF)) << k;  // two nested outlines
  EXPECT_NE(b.Pixels_vx24RGB(15, 7), Rgb(0x00FFFF));
  // The picture's alpha ramps from the left: dark there, brighter right.
  EXPECT_LT(b.Pixels_vx24RGB(8, 15).r, b.Pixels_vx24RGB(21, 15).r);
}

TEST_F(VectDrawTest, TransparencyAndCompositing) {
  // A box of transparency 128 straight onto the target: half its colour.
  TVexlaneVect* v = Layer();
  const int32_t h = v->AddNewObject(vxkBOX, TRect{4, 4, 20, 20}, 0x0000FF, false);
  v->SetObjBrushStyle(h, bsSolid);
  v->SetObjBrushColor(h, 0x0000FF);
  v->SetObjTransparency(h, 128);
  TVXBitmap b;
  b.Allocate(30, 30, vx24RGB);
  b.Fill(0);
  v->DrawObjectsToBitmap(&b, false, true);
  Keep(&b, "transparent");
  EXPECT_NEAR(b.Pixels_vx24RGB(12, 12).r, 128, 3);
  // Onto a target with an alpha channel: composited, opaque where drawn.
  v->SetObjTransparency(h, 255);
  TVXBitmap a;
  a.Allocate(30, 30, vx24RGB);
  a.Fill(0);
  a.AlphaChannel()->Fill(0);
  v->DrawObjectsToBitmap(&a, false, true);
  EXPECT_EQ(static_cast<uint8_t*>(a.AlphaChannel()->Scanline(12))[12], 255);
  EXPECT_EQ(static_cast<uint8_t*>(a.AlphaChannel()->Scanline(26))[26], 0);
  EXPECT_EQ(a.Pixels_vx24RGB(12, 12), Rgb(0x0000FF));
  // A blend operation composites too: the same box drawn with "add" over grey.
  v->SetObjBlendOperation(h, vxlAdd);
  TVXBitmap g;
  g.Allocate(30, 30, vx24RGB);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) g.SetPixels_vx24RGB(x, y, TRGB{100, 100, 100});
  v->DrawObjectsToBitmap(&g, false, true);
  EXPECT_GE(g.Pixels_vx24RGB(12, 12).r, 250);  // added up to white
  EXPECT_EQ(g.Pixels_vx24RGB(12, 12).g, 100);     // the grey stays under the added red
}

TEST_F(VectDrawTest, SoftShadowsFallBehindTheObjectOnEveryPath) {
  // A red box with a black shadow offset (5, 5) over white: the shadow
  // darkens the white right of and below the box, reaches beyond the box's
  // own rectangle, fades out, and leaves the box and its other sides alone;
  // composited (with GDI+), supersampled at factor 1 and at factor 2.
  struct TCase {
    const char* Name;
    bool GDIPlus, Antialias;
  };
  const bool was = VXGetGlobalSettings()->UseGDIPlus();
  for (const TCase& c : {TCase{"composited", true, false}, TCase{"supersampled", false, false},
                         TCase{"supersampled twice", false, true}}) {
    SCOPED_TRACE(c.Name);
    VXGetGlobalSettings()->SetUseGDIPlus(c.GDIPlus);
    TVexlaneVect* v = Layer();
    const int32_t h = v->AddNewObject(vxkBOX, TRect{15, 15, 35, 35}, 0x0000FF, false);
    v->SetObjBrushStyle(h, bsSolid);
    v->SetObjBrushColor(h, 0x0000FF);
    TVXVSoftShadow* sh = v->GetObjSoftShadow(h);
    sh->Enabled = true;
    sh->OffsetX = sh->OffsetY = 5;
    sh->Radius = 2;
    sh->Intensity = 100;
    sh->ShadowColor = TRGB{0, 0, 0};
    TVXBitmap b;
    b.Allocate(70, 70, vx24RGB);
    b.Fill(0xFFFFFF);
    v->DrawObjectsToBitmap(&b, c.Antialias, true);
    Keep(&b, std::string("shadow_") + c.Name);
    EXPECT_EQ(v->ObjDrawed(), 1);
    const TRGB inside = b.Pixels_vx24RGB(25, 25);
    EXPECT_GE(inside.r, 250);
    EXPECT_LE(inside.g, 5);
    EXPECT_LT(b.Pixels_vx24RGB(39, 30).g, 160);  // right of the box, beyond its pen
    EXPECT_LT(b.Pixels_vx24RGB(30, 39).g, 160);  // below it
    EXPECT_LT(b.Pixels_vx24RGB(39, 39).g, b.Pixels_vx24RGB(42, 42).g);  // fading outwards
    EXPECT_GE(b.Pixels_vx24RGB(11, 25).g, 250);  // the side away from the light's offset
    EXPECT_GE(b.Pixels_vx24RGB(25, 11).g, 250);
    EXPECT_EQ(b.Pixels_vx24RGB(65, 65), (TRGB{255, 255, 255}));
  }
  VXGetGlobalSettings()->SetUseGDIPlus(was);
}

TEST_F(VectDrawTest, HiddenObjectsAndLockedPaint) {
  TVexlaneVect* v = Layer();
  v->AddNewObject(vxkBOX, TRect{1, 1, 8, 8}, 0x0000FF, false);
  v->SetAllObjectsHidden(true);
  TVXBitmap b;
  b.Allocate(10, 10, vx24RGB);
  b.Fill(0);
  v->DrawObjectsToBitmap(&b, false, true);
  EXPECT_EQ(v->ObjDrawed(), 0);
  EXPECT_EQ(b.Pixels_vx24RGB(1, 1), Rgb(0));
}

TEST_F(VectDrawTest, OverTheViewer) {
  TVexlaneVect* v = Layer();
  TVXBitmap* img = v->VXBitmap();
  img->Allocate(100, 80, vx24RGB);
  img->Fill(0);
  v->Update();
  v->SetZoom(200);
  const int32_t h = v->AddNewObject(vxkBOX, TRect{10, 10, 30, 20}, 0x0000FF, false);
  v->SetObjPenWidth(h, 2);
  v->AddSelObject(h);
  VXHeadless::RunUntilIdle();
  TVXBitmap* back = v->BackBufferBitmap();
  ASSERT_NE(back, nullptr);
  v->PaintToEx(back, nullptr, nullptr, true, true);
  Keep(back, "viewer");
  EXPECT_EQ(v->ObjDrawed(), 1);
  const TVXVObject* o = v->GetObjRecord(h);
  EXPECT_EQ(o->pwidth, 4);  // ceil(max(2 x 2, 1))
  EXPECT_EQ(o->plim.Left, v->XBmp2Scr(10));
  EXPECT_EQ(o->plim.Right, v->XBmp2Scr(31));
  // A grip (circle, light yellow) at the top-left corner of the box.
  const TRGB grip = back->Pixels_vx24RGB(v->XBmp2Scr(10), v->YBmp2Scr(10) - 3);
  EXPECT_GT(grip.g, 100);
  EXPECT_GT(grip.r, 100);
  // Eight grips: at the corners and the middles of the edges, and no grip
  // pixel anywhere else.
  {
    const int l = v->XBmp2Scr(10), r = v->XBmp2Scr(31), t = v->YBmp2Scr(10), b = v->YBmp2Scr(21);
    const TPoint at[8] = {{l, t}, {(l + r) / 2, t}, {r, t}, {r, (t + b) / 2},
                          {r, b}, {(l + r) / 2, b}, {l, b}, {l, (t + b) / 2}};
    int near[8] = {};
    int stray = 0;
    // Over the (black) image; the viewer's background around it is light.
    for (int y = std::max(v->YBmp2Scr(0), 0); y < std::min(v->YBmp2Scr(80), back->Height()); ++y)
      for (int x = std::max(v->XBmp2Scr(0), 0); x < std::min(v->XBmp2Scr(100), back->Width()); ++x) {
        const TRGB c = back->Pixels_vx24RGB(x, y);
        if (c.r <= 100 || c.g <= 100) continue;
        int k = 0;
        while (k < 8 && (std::abs(x - at[k].X) > 6 || std::abs(y - at[k].Y) > 6)) ++k;
        if (k < 8)
          ++near[k];
        else
          ++stray;
      }
    for (int k = 0; k < 8; ++k) EXPECT_GE(near[k], 5) << "grip " << k;
    EXPECT_EQ(stray, 0);
  }
  // Anchored to layers: an object of layer 1 is drawn only with that layer.
  v->SetObjLayer(h, 1);
  v->UnSelAllObjects();
  v->PaintToEx(back, nullptr, nullptr, true, true);
  EXPECT_EQ(v->ObjDrawed(), 0);
}

}  // namespace

namespace {

// The columns and rows that hold ink (anything not black) in a rectangle.
TRect InkBox(TVXBitmap* b, const TRect& R) {
  TRect r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int y = R.Top; y <= R.Bottom; ++y)
    for (int x = R.Left; x <= R.Right; ++x)
      if (!(b->Pixels_vx24RGB(x, y) == TRGB{0, 0, 0})) {
        r.Left = std::min(r.Left, x), r.Right = std::max(r.Right, x);
        r.Top = std::min(r.Top, y), r.Bottom = std::max(r.Bottom, y);
      }
  return r;
}

class VectTextTest : public VectTest {
 protected:
  TVexlaneVect* Layer() {
    TVexlaneVect* v = NewVect();
    v->SetObjBitmap(-1, nullptr);
    v->SetObjAntialias(false);
    v->SetObjFontName(-1, "DejaVu Sans");
    v->SetObjFontHeight(-1, -16);
    return v;
  }
  static std::unique_ptr<TVXBitmap> Black(int W, int H) {
    auto b = std::make_unique<TVXBitmap>();
    b->Allocate(W, H, vx24RGB);
    b->Fill(0);
    return b;
  }
};

TEST_F(VectTextTest, StraightTextFollowsItsAlignment) {
  struct TCase {
    TVXAlignment Align;
    const char* Name;
  };
  int lefts[3] = {0, 0, 0};
  int i = 0;
  for (const TCase& c : {TCase{vxjLeft, "left"}, TCase{vxjCenter, "centre"}, TCase{vxjRight, "right"}}) {
    TVexlaneVect* v = Layer();
    const int32_t h = v->AddNewObject(vxkTEXT, TRect{10, 10, 209, 49}, 0xFFFFFF, false);
    v->SetObjText(h, u"Wxyz");
    v->SetObjTextAlign(h, c.Align);
    v->SetObjPenStyle(h, psClear);
    auto b = Black(220, 60);
    v->DrawObjectsToBitmap(b.get(), false, true);
    Keep(b.get(), std::string("text_") + c.Name);
    const TRect ink = InkBox(b.get(), TRect{0, 0, 219, 59});
    ASSERT_LE(ink.Left, ink.Right) << c.Name << ": no ink";
    EXPECT_GE(ink.Left, 10);
    EXPECT_LE(ink.Right, 210);
    // Vertically centred in the box.
    EXPECT_NEAR((ink.Top + ink.Bottom) / 2.0, 30, 6) << c.Name;
    lefts[i++] = ink.Left;
    if (c.Align == vxjLeft) {
      EXPECT_LE(ink.Left, 14);
    }
    if (c.Align == vxjRight) {
      EXPECT_GE(ink.Right, 200);
    }
    if (c.Align == vxjCenter) {
      EXPECT_NEAR((ink.Left + ink.Right) / 2.0, 110, 3);
    }
  }
  EXPECT_LT(lefts[0], lefts[1]);
  EXPECT_LT(lefts[1], lefts[2]);
}

TEST_F(VectTextTest, TextOfTransparency128IsCompositedToTheBlendedColour) {
  TVexlaneVect* v = Layer();
  const int32_t h = v->AddNewObject(vxkTEXT, TRect{0, 0, 99, 39}, 0x0000FF, false);
  v->SetObjText(h, u"\u2588\u2588\u2588");  // full blocks: solid ink
  v->SetObjPenStyle(h, psClear);
  v->SetObjTransparency(h, 128);
  auto b = Black(100, 40);
  v->DrawObjectsToBitmap(b.get(), false, true);
  Keep(b.get(), "text_half");
  const TRect ink = InkBox(b.get(), TRect{0, 0, 99, 39});
  ASSERT_LE(ink.Left, ink.Right);
  const TRGB mid = b->Pixels_vx24RGB((ink.Left + ink.Right) / 2, (ink.Top + ink.Bottom) / 2);
  EXPECT_NEAR(mid.r, 128, 4);
  EXPECT_EQ(mid.g, 0);
}

TEST_F(VectTextTest, LineLabelsSitAtTheChosenEnd) {
  struct TCase {
    TVXLabelPos Pos;
    TVXLabelBorder Border;
  };
  for (const TCase& c : {TCase{vxlBegin, vxlRectangle}, TCase{vxlEnd, vxlRectangle}, TCase{vxlEnd, vxlRoundRect},
                         TCase{vxlEnd, vxlEllipse}, TCase{vxlBegin, vxlNone}}) {
    SCOPED_TRACE(std::to_string(c.Pos) + " " + std::to_string(c.Border));
    TVexlaneVect* v = Layer();
    const int32_t h = v->AddNewObject(vxkLINELABEL, TRect{60, 80, 160, 40}, 0xFFFFFF, false);
    v->SetObjText(h, u"Label");
    v->SetObjLabelPos(h, c.Pos);
    v->SetObjLabelBorder(h, c.Border);
    v->SetObjLabelBrushColor(h, 0x00FF00);
    auto b = Black(240, 140);
    v->DrawObjectsToBitmap(b.get(), false, true);
    Keep(b.get(), "label" + std::to_string(c.Pos) + std::to_string(c.Border));
    const TRect box = v->GetObjRecord(h)->DrawnLabelBox;
    ASSERT_GT(box.Right, box.Left);
    if (c.Pos == vxlBegin) {
      // At (60, 80), away from the line that runs right and up: left of and below it.
      EXPECT_EQ(box.Right, 60);
      EXPECT_EQ(box.Top, 80);
    } else {
      EXPECT_EQ(box.Left, 160);
      EXPECT_EQ(box.Bottom, 40);
    }
    // The label's brush fills its box (inside the border).
    const TRGB inside = b->Pixels_vx24RGB((box.Left + box.Right) / 2, box.Top + 2);
    EXPECT_EQ(inside.g, 255) << "fill";
  }
}

TEST_F(VectTextTest, LabelBoxInImageCoordinatesOverAZoomedViewer) {
  TVexlaneVect* v = Layer();
  v->VXBitmap()->Allocate(200, 150, vx24RGB);
  v->VXBitmap()->Fill(0);
  v->Update();
  v->SetZoom(200);
  const int32_t h = v->AddNewObject(vxkLINELABEL, TRect{20, 60, 80, 30}, 0xFFFFFF, false);
  v->SetObjText(h, u"L");
  v->SetObjLabelPos(h, vxlEnd);
  VXHeadless::RunUntilIdle();
  v->PaintToEx(v->BackBufferBitmap(), nullptr, nullptr, true, true);
  const TRect box = v->GetObjRecord(h)->DrawnLabelBox;
  EXPECT_EQ(box.Left, 80);
  EXPECT_EQ(box.Bottom, 30);
}

TEST_F(VectTextTest, RulerTicks) {
  struct TCase {
    TVXUnits Unit;
    double PixelsPerUnit;  // at 96 DPI
  };
  for (const TCase& c : {TCase{vxuCENTIMETERS, 96 / 2.54}, TCase{vxuINCHES, 96}}) {
    SCOPED_TRACE(c.Unit);
    TVexlaneVect* v = Layer();
    v->SetDPI(96, 96);
    const int32_t len = 300;
    const int32_t h = v->AddNewObject(vxkRULER, TRect{10, 60, 10 + len, 60}, 0xFFFFFF, false);
    v->SetObjRulerUnit(h, c.Unit);
    v->SetObjRulerType(h, vxrtRULER);
    auto b = Black(330, 120);
    v->DrawObjectsToBitmap(b.get(), false, true);
    Keep(b.get(), "ruler" + std::to_string(c.Unit));
    // Ticks reach 12 (units), 8 (halves) and 6 pixels above the line.
    auto columnsAt = [&](int y) {
      int n = 0;
      for (int x = 0; x < 330; ++x) n += !(b->Pixels_vx24RGB(x, y) == TRGB{0, 0, 0});
      return n;
    };
    const double step = c.PixelsPerUnit / 10;
    int all = 0, halves = 0, units = 0;
    for (int k = 0; k * step < len; ++k) {
      ++all;
      halves += k % 5 == 0;
      units += k % 10 == 0;
    }
    EXPECT_EQ(columnsAt(60 - 5), all);
    EXPECT_EQ(columnsAt(60 - 7), halves);
    EXPECT_EQ(columnsAt(60 - 10), units);
    EXPECT_EQ(columnsAt(60 - 14), 0);
  }
}

TEST_F(VectTextTest, AQuoteMeasuredRightToLeftStandsUpright) {
  // The same quote measured both ways along a horizontal line: its text
  // reads the same way up, so both drawings hold the same ink; a text
  // turned over would put the ink upside down.
  auto draw = [&](const TRect& R) {
    TVexlaneVect* v = Layer();
    const int32_t h = v->AddNewObject(vxkRULER, R, 0xFFFFFF, false);
    v->SetObjRulerType(h, vxrtQUOTECENTER);
    auto b = Black(220, 100);
    v->DrawObjectsToBitmap(b.get(), false, true);
    return b;
  };
  auto ltr = draw(TRect{20, 60, 180, 60}), rtl = draw(TRect{180, 60, 20, 60});
  Keep(rtl.get(), "quote_rtl");
  const TRect a = InkBox(ltr.get(), TRect{0, 0, 219, 59}), b = InkBox(rtl.get(), TRect{0, 0, 219, 59});
  ASSERT_LE(a.Left, a.Right) << "no text above the line";
  EXPECT_EQ(a, b);
  int same = 0, inked = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 220; ++x) {
      const bool p = !(ltr->Pixels_vx24RGB(x, y) == TRGB{0, 0, 0}), q = !(rtl->Pixels_vx24RGB(x, y) == TRGB{0, 0, 0});
      inked += p;
      same += p && q;
    }
  EXPECT_GE(same, inked * 9 / 10);
}

TEST_F(VectTextTest, CostlyMeasuresDrawQuickly) {
  TVexlaneVect* v = Layer();
  v->SetDPI(96, 96);
  const int32_t r = v->AddNewObject(vxkRULER, TRect{0, 10, 3999, 10}, 0xFFFFFF, false);
  v->SetObjRulerUnit(r, vxuNANOMETERS);
  v->SetObjRulerType(r, vxrtRULER);
  const int32_t t = v->AddNewObject(vxkTEXT, TRect{0, 20, 5, 25}, 0xFFFFFF, false);
  v->SetObjText(t, std::u16string(200, u'x'));
  v->GetObjRecord(t)->CurvedPos = {{0, 0}, {1, 1}};
  // A nanometre ruler 4000 pixels long and a long text on a degenerate
  // curve are both drawn; a pathological cost would meet the suite's time
  // limit (speed itself is measured by the benchmarks).
  auto b = Black(4000, 40);
  v->DrawObjectsToBitmap(b.get(), false, true);
  EXPECT_EQ(v->ObjDrawed(), 2);
}

TEST_F(VectTextTest, Angles) {
  TVexlaneVect* v = Layer();
  const int32_t h = v->AddNewObject(vxkANGLE, TRect{}, 0xFFFFFF, false);
  // From the arm pointing right to the arm pointing down: 270 degrees
  // anticlockwise on the screen.
  v->SetObjAnglePoints(h, {{100, 50}, {50, 50}, {50, 100}});
  EXPECT_DOUBLE_EQ(v->GetAngleValue(h), 270);
  EXPECT_EQ(v->FormatMeasure(360 - v->GetAngleValue(h)), "90.00");
  v->SetObjAngleShowSmall(true);
  auto b = Black(120, 120);
  v->DrawObjectsToBitmap(b.get(), false, true);
  Keep(b.get(), "angle");
  // The arms and the text at the vertex are drawn.
  EXPECT_EQ(b->Pixels_vx24RGB(75, 50), (TRGB{255, 255, 255}));
  EXPECT_EQ(b->Pixels_vx24RGB(50, 75), (TRGB{255, 255, 255}));
  const int32_t unset = v->AddNewObject(vxkANGLE, TRect{}, 0xFFFFFF, false);
  v->SetObjAnglePoints(unset, {{-1000000, 0}, {0, 0}, {1, 1}});
  EXPECT_EQ(v->GetAngleValue(unset), 0);
}

}  // namespace

namespace {

TEST_F(VectTest, FastDrawingWhileThePrimaryButtonIsHeld) {
  TVexlaneVect* v = NewVect();
  v->VXBitmap()->Allocate(50, 50, vx24RGB);
  v->Update();
  VXHeadless::RunUntilIdle();
  EXPECT_FALSE(v->FastDrawing());
  VXHeadless::HoldButtonForPolls(2);  // the paint's poll and the first tick's
  v->Invalidate();
  VXHeadless::RunUntilIdle();
  EXPECT_TRUE(v->FastDrawing());
  VXHeadless::Advance(50);  // the button is still held: nothing
  EXPECT_TRUE(v->FastDrawing());
  VXHeadless::Advance(50);  // released: full quality again
  EXPECT_FALSE(v->FastDrawing());
  // Without fast drawing enabled nothing changes.
  v->SetObjEnableFastDrawing(false);
  VXHeadless::HoldButtonForPolls(5);
  v->Invalidate();
  VXHeadless::RunUntilIdle();
  EXPECT_FALSE(v->FastDrawing());
}

}  // namespace

namespace {

// Without GDI+ an antialiased drawing goes through the supersampling path:
// the same boxes within a pixel, with softened edges.
TEST_F(VectTest, SupersamplingGivesTheSameBoxes) {
  struct TGDIPlusOff {
    bool Was = VXGetGlobalSettings()->UseGDIPlus();
    TGDIPlusOff() { VXGetGlobalSettings()->SetUseGDIPlus(false); }
    ~TGDIPlusOff() { VXGetGlobalSettings()->SetUseGDIPlus(Was); }
  };
  auto draw = [&](bool Antialias) {
    TVexlaneVect* v = NewVect();
    v->SetObjBitmap(-1, nullptr);
    const int32_t a = v->AddNewObject(vxkELLIPSE, TRect{10, 12, 60, 40}, 0xFFFFFF, false);
    v->SetObjPenWidth(a, 2);
    const int32_t b = v->AddNewObject(vxkBOX, TRect{30, 5, 70, 25}, 0x00FF00, false);
    v->SetObjBrushStyle(b, bsSolid);
    v->SetObjBrushColor(b, 0x0000FF);
    auto t = std::make_unique<TVXBitmap>();
    t->Allocate(80, 50, vx24RGB);
    t->Fill(0);
    v->DrawObjectsToBitmap(t.get(), Antialias, true);
    EXPECT_EQ(v->ObjDrawed(), 2);
    return t;
  };
  std::unique_ptr<TVXBitmap> plain, smooth;
  {
    TGDIPlusOff off;
    plain = draw(false);
    smooth = draw(true);
  }
  Keep(smooth.get(), "supersampled");
  const TRect p = InkBox(plain.get(), TRect{0, 0, 79, 49}), s = InkBox(smooth.get(), TRect{0, 0, 79, 49});
  EXPECT_NEAR(s.Left, p.Left, 1);
  EXPECT_NEAR(s.Top, p.Top, 1);
  EXPECT_NEAR(s.Right, p.Right, 1);
  EXPECT_NEAR(s.Bottom, p.Bottom, 1);
  const TRGB inside = smooth->Pixels_vx24RGB(50, 15);  // the box's red fill
  EXPECT_GE(inside.r, 250);
  EXPECT_LE(inside.g, 5);
  // Some edge pixels lie between the colours.
  int between = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 80; ++x) {
      const TRGB c = smooth->Pixels_vx24RGB(x, y);
      between += c.g > 20 && c.g < 235 && c.r == c.g;
    }
  EXPECT_GT(between, 10);
}

}  // namespace

namespace {

TEST_F(VectTest, EditedPolylinePointsAreMarked) {
  TVexlaneVect* v = NewVect();
  v->SetObjBitmap(-1, nullptr);
  v->SetObjAnchorToLayers(false);
  v->VXBitmap()->Allocate(100, 80, vx24RGB);
  v->VXBitmap()->Fill(0);
  v->Update();
  const int32_t h = v->AddNewObject(vxkPOLYLINE, TRect{}, 0xFFFFFF, false);
  v->SetObjPolylinePoints(h, {{10, 10}, {60, 20}, {30, 60}});
  v->AddSelObject(h);
  VXHeadless::RunUntilIdle();
  TVXBitmap* back = v->BackBufferBitmap();
  auto markAt = [&](int i) {
    const TPoint p = v->GetObjRecord(h)->DrawnPoints[size_t(i)];
    return back->Pixels_vx24RGB(p.X, p.Y + 1);
  };
  v->PaintToEx(back, nullptr, nullptr, true, true);
  ASSERT_EQ(v->GetObjRecord(h)->DrawnPoints.size(), 3u);
  EXPECT_NE(markAt(2), (TRGB{0, 0, 255}));
  v->SetMouseInteractVt(1u << miEditPolyline);
  v->PaintToEx(back, nullptr, nullptr, true, true);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(markAt(i), (TRGB{0, 0, 255})) << i;  // red fill
}

}  // namespace
