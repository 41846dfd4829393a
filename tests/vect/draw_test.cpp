// Drawing objects into bitmaps and over the viewer.
#include <cmath>
#include <filesystem>
#include <string>

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
    EXPECT_EQ(b.Pixels_vx24RGB(50, 30), Rgb(0xFFFFFF));  // the line
    EXPECT_EQ(b.Pixels_vx24RGB(14, 32), Rgb(0x0000FF));  // inside the begin arrow
    EXPECT_EQ(b.Pixels_vx24RGB(76, 32), Rgb(0x0000FF));  // inside the end arrow
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
  // Anchored to layers: an object of layer 1 is drawn only with that layer.
  v->SetObjLayer(h, 1);
  v->UnSelAllObjects();
  v->PaintToEx(back, nullptr, nullptr, true, true);
  EXPECT_EQ(v->ObjDrawed(), 0);
}

}  // namespace
