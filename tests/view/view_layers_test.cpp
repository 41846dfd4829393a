// The viewer's layer list: adding, inserting, removing and moving layers
// with their masks, the current layer, hit tests, the layer record and the
// processing component's layer undo through a real viewer.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/streams.h"
#include "proc/proc.h"
#include "tests/view/view_fixture.h"

namespace {

class ViewLayers : public ViewTest {
 protected:
  // Layer names from the bottom, with "*" after the current one.
  static std::string Stack(TVexlaneView* v) {
    std::string r;
    for (int32_t i = 0; i < v->LayersCount(); ++i) {
      r += (i ? " " : "") + (v->Layers(i)->Name().empty() ? std::string("?") : v->Layers(i)->Name());
      if (i == v->LayersCurrent()) r += "*";
    }
    return r;
  }
  // Layer 0 named "B" and layers named by Names (a trailing "m" marks a
  // mask); the last added is current.
  static void Build(TVexlaneView* v, const std::vector<std::string>& Names) {
    SetImage(v, 40, 30);
    v->Layers(0)->SetName("B");
    for (const std::string& n : Names) {
      const int32_t i = v->LayersAdd(10, 10, vx24RGB, 0, 0);
      v->Layers(i)->SetName(n);
      v->Layers(i)->SetIsMask(n.back() == 'm');
    }
  }
};

TEST_F(ViewLayers, RemovingKeepsMasksWithTheirLayersAndPicksTheNextCurrent) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 40, 30);
  v->LayersRemove(0);  // the only layer stays
  EXPECT_EQ(v->LayersCount(), 1);

  Build(v, {"a", "b", "bm", "c"});
  EXPECT_EQ(Stack(v), "B a b bm c*");
  v->LayersRemove(1);  // below the current one: c stays current
  EXPECT_EQ(Stack(v), "B b bm c*");
  v->LayersRemove(1);  // b and its mask
  EXPECT_EQ(Stack(v), "B c*");
  EXPECT_EQ(v->VXBitmap(), v->Layers(1)->Bitmap());
  v->LayersRemove(1);  // the current top: the new top
  EXPECT_EQ(Stack(v), "B*");
  EXPECT_EQ(v->VXBitmap(), v->Layers(0)->Bitmap());
  Build(v, {"a", "b", "c"});
  v->SetLayersCurrent(2);
  v->LayersRemove(2);  // the current one: the layer now at its index
  EXPECT_EQ(Stack(v), "B a c*");
}

TEST_F(ViewLayers, TheCurrentLayerFollowsTheSelectableConstraint) {
  TVexlaneView* v = NewView(200, 150);
  Build(v, {"a", "b", "c"});
  v->Layers(2)->SetSelectable(false);
  v->Layers(1)->SetSelectable(false);
  int changes = 0;
  void* counter = v->RegisterBitmapChangeEvent([&](void*, bool d) { changes += !d; });
  v->SetLayersCurrent(2);
  EXPECT_EQ(v->LayersCurrent(), 0);
  EXPECT_EQ(v->VXBitmap(), v->Layers(0)->Bitmap());
  EXPECT_EQ(changes, 1);
  v->SetLayersSelectConstrains(false);
  v->SetLayersCurrent(2);
  EXPECT_EQ(v->LayersCurrent(), 2);
  v->SetLayersCurrent(7);  // out of range: ignored
  v->SetLayersCurrent(2);  // already current
  EXPECT_EQ(changes, 2);
  v->RemoveBitmapChangeEvent(counter);  // the counter goes with the test
}

TEST_F(ViewLayers, MovingTakesTheMaskAlong) {
  TVexlaneView* v = NewView(200, 150);
  Build(v, {"a", "am", "b", "c"});
  v->LayersMove(1, -7);  // past its own mask: above b
  EXPECT_EQ(Stack(v), "B b a am c*");
  v->LayersMove(2, -6);  // to the top: the mask stays above
  EXPECT_EQ(Stack(v), "B b c* a am");
  v->LayersMove(3, -7);  // the top pair: nothing moves
  EXPECT_EQ(Stack(v), "B b c* a am");
  v->LayersMove(3, -9);
  EXPECT_EQ(Stack(v), "a am B b c*");
  v->LayersMove(4, -8);
  EXPECT_EQ(Stack(v), "a am B c* b");
  v->LayersMove(4, 4);
  v->LayersMove(9, 0);
  EXPECT_EQ(Stack(v), "a am B c* b");
}

TEST_F(ViewLayers, InsertingAtAMaskGoesBelowItsLayer) {
  TVexlaneView* v = NewView(200, 150);
  Build(v, {"a", "am"});
  v->LayersInsert(2);
  v->CurrentLayer()->SetName("n");
  EXPECT_EQ(Stack(v), "B n* a am");
  EXPECT_EQ(v->CurrentLayer()->Bitmap()->Width(), 10);  // like the image current before
  EXPECT_THROW(v->LayersInsert(9), EVXException);
  EXPECT_EQ(v->LayersCount(), 4);
  v->LayersClear();
  EXPECT_EQ(Stack(v), "B*");
  EXPECT_FALSE(v->Layers(0)->VisibleBox());
  EXPECT_TRUE(v->Layers(0)->Locked());
}

TEST_F(ViewLayers, AddingFromBitmapsAndFiles) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 40, 30);
  v->SetBackground(0x0000FF00);
  const int32_t i = v->LayersAdd();
  EXPECT_EQ(i, 1);
  TVXBitmap* b = v->Layers(1)->Bitmap();
  EXPECT_EQ(b->Width(), 40);
  EXPECT_EQ(b->Pixels(3, 3), (TRGB{0, 0xFF, 0}));
  TVXBitmap own(5, 6, vx24RGB);
  v->LayersAdd(&own, true);
  EXPECT_NE(v->CurrentLayer()->Bitmap(), &own);
  EXPECT_EQ(v->CurrentLayer()->Bitmap()->Height(), 6);
  auto* given = new TVXBitmap(7, 8, vx24RGB);
  v->LayersAdd(given, false);
  EXPECT_EQ(v->CurrentLayer()->Bitmap(), given);  // freed with the layer
  // A file that cannot be read leaves the new cleared layer.
  try {
    v->LayersAdd("/nonexistent/none.png", 3, 4);
  } catch (const std::exception&) {
  }
  EXPECT_EQ(v->LayersCount(), 5);
  EXPECT_EQ(v->CurrentLayer()->Bitmap()->Width(), 7);
}

TEST_F(ViewLayers, FindLayerAtLooksThroughTransparentPixels) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 100, 80);
  v->LayersAdd(20, 20, vx24RGB, 10, 10);
  TVXLayer* top = v->CurrentLayer();
  top->Bitmap()->AlphaChannel()->Fill(255);
  top->Bitmap()->SetAlpha(5, 5, 0);
  v->Layers(0)->SetClientAreaBox(TRect{0, 0, 99, 79});
  // Painted at zoom 100 with the image at the client origin.
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  top->SetClientAreaBox(TRect{10, 10, 29, 29});
  EXPECT_EQ(v->FindLayerAt(12, 12), 1);
  EXPECT_EQ(v->FindLayerAt(15, 15), 0);  // transparent pixel (5, 5)
  EXPECT_EQ(v->FindLayerAt(29, 29), 1);  // edges included
  EXPECT_EQ(v->FindLayerAt(150, 10), -1);
  top->SetSelectable(false);
  EXPECT_EQ(v->FindLayerAt(12, 12), 0);
  EXPECT_EQ(v->FindLayerAt(12, 12, false), 1);
  EXPECT_TRUE(v->IsPointInsideLayer(15, 15, 1));
  EXPECT_FALSE(v->IsPointInsideLayer(15, 15, -1));
  // A rotated layer is hit inside its drawn corners.
  top->SetRotate(45);
  top->DrawingInfo().RotatedDest[0] = TPoint{20, 0};
  top->DrawingInfo().RotatedDest[1] = TPoint{40, 20};
  top->DrawingInfo().RotatedDest[2] = TPoint{20, 40};
  top->DrawingInfo().RotatedDest[3] = TPoint{0, 20};
  EXPECT_TRUE(v->IsPointInsideLayer(20, 20, 1));
  EXPECT_FALSE(v->IsPointInsideLayer(2, 2, 1));
  EXPECT_EQ(v->ConvXScr2Bmp(top, 15), 5);
  EXPECT_EQ(v->ConvXBmp2Scr(top, 5), 15);
}

TEST(ViewLayerRecord, RotationSwapAndDefaults) {
  TVXLayer a, b;
  a.SetRotate(720);
  EXPECT_EQ(a.Rotate(), 0);
  a.SetRotate(370);
  EXPECT_EQ(a.Rotate(), 370);
  a.SetRotate(-360);
  EXPECT_EQ(a.Rotate(), 0);
  EXPECT_NE(a.GUID(), b.GUID());
  b.Bitmap()->Allocate(6, 4, vx24RGB);
  b.SetPosX(9);
  b.SetName("other");
  const TVXLayerGUID ga = a.GUID(), gb = b.GUID();
  a.Swap(b);
  EXPECT_EQ(a.Bitmap()->Width(), 6);
  EXPECT_TRUE(b.Bitmap()->IsEmpty());
  EXPECT_EQ(a.PosX(), 9);
  EXPECT_EQ(b.PosX(), 0);
  EXPECT_EQ(a.Name(), "other");
  EXPECT_EQ(a.GUID(), gb);
  EXPECT_EQ(b.GUID(), ga);
  uint8_t data[3] = {1, 2, 3};
  a.SetUserData(data, 3);
  b.Assign(a);
  EXPECT_EQ(b.UserData(), a.UserData());
  EXPECT_NE(b.UserData().data(), a.UserData().data());  // a copy
  EXPECT_EQ(b.GUID(), ga);  // not copied
}

TEST(ViewLayerRecord, TheRecordHoldsEveryFieldAtItsOffsetAndLoadsBack) {
  TVXLayer a;
  a.Bitmap()->Allocate(3, 2, vx24RGB);
  a.Bitmap()->Fill(0x00102030);
  a.SetWidth(30);
  a.SetHeight(-20);
  a.SetVisible(false);
  a.SetVisibleBox(true);
  a.SetSelectable(false);
  a.SetTransparency(128);
  a.SetOpacity(0.25);
  a.SetPosX(-7);
  a.SetPosY(11);
  a.SetClientAreaBox(TRect{1, 2, 3, 4});
  a.SetCropped(true);
  a.SetLocked(true);
  a.Magnify().Enabled = true;
  a.Magnify().Rate = 3.5;
  a.Magnify().Style = vxmEllipse;
  a.Magnify().Source = vxmBackgroundLayer;
  a.SetOperation(vxlScreen);
  const uint8_t user[5] = {9, 8, 7, 6, 5};
  a.SetUserData(user, 5);
  a.SetResampleFilter(rfBicubic);
  a.SetUseResampleFilter(true);
  a.SetName("Layer name");
  a.SetIsMask(true);
  a.SetDrawOuter(true);
  a.SetRotate(12.5);
  a.SetRotateCenterX(0.25);
  a.SetRotateCenterY(0.75);
  a.SetAlphaEdgeFeathering(4);
  TMemoryStream s;
  s.WriteBuffer("xy", 2);  // the record starts inside the stream
  a.SaveInfo(&s, true);
  const int64_t end = s.Position();
  EXPECT_EQ(end, s.Size());

  // Parsed at the offsets of the record by Python's struct.
  const std::string rec = ViewTempPath("record.bin");
  {
    std::ofstream f(rec, std::ios::binary);
    f.write(static_cast<const char*>(s.Memory()) + 2, std::streamsize(end - 2));
  }
  const std::string py =
      "import struct,sys\n"
      "d=open(sys.argv[1],'rb').read()\n"
      "ln,=struct.unpack_from('<i',d,0)\n"
      "rw,rh=struct.unpack_from('<ii',d,20)\n"
      "vis,vb,sel=struct.unpack_from('<BBB',d,28)\n"
      "tr,=struct.unpack_from('<i',d,31)\n"
      "op,=struct.unpack_from('<d',d,35)\n"
      "px,py=struct.unpack_from('<ii',d,43)\n"
      "box=struct.unpack_from('<iiii',d,51)\n"
      "cr,lk=struct.unpack_from('<BB',d,67)\n"
      "me,=struct.unpack_from('<B',d,69)\n"
      "rate,=struct.unpack_from('<d',d,77)\n"
      "ms,msrc=struct.unpack_from('<BB',d,85)\n"
      "oper,=struct.unpack_from('<B',d,93)\n"
      "ul,=struct.unpack_from('<i',d,94)\n"
      "ud=list(d[98:98+ul]); o=98+ul\n"
      "rf,urf=struct.unpack_from('<BB',d,o); o+=2\n"
      "nl,=struct.unpack_from('<i',d,o); o+=4\n"
      "name=d[o:o+nl].decode(); o+=nl\n"
      "im,do=struct.unpack_from('<BB',d,o); o+=2\n"
      "rot,rcx,rcy=struct.unpack_from('<ddd',d,o); o+=24\n"
      "fe,=struct.unpack_from('<i',d,o); o+=4\n"
      "hasimg,=struct.unpack_from('<B',d,o)\n"
      "print(ln==len(d),rw,rh,vis,vb,sel,tr,op,px,py,*box,cr,lk,me,rate,ms,msrc,oper,ul,*ud,rf,urf,name.replace(' ','_'),"
      "im,do,rot,rcx,rcy,fe,hasimg)\n";
  const std::string script = ViewTempPath("record.py"), out = ViewTempPath("record.txt");
  std::ofstream(script) << py;
  const int rc = std::system(("/usr/bin/python3 " + script + " " + rec + " > " + out).c_str());
  std::remove(script.c_str());
  std::remove(rec.c_str());
  ASSERT_EQ(rc, 0);
  std::ifstream fo(out);
  std::string line;
  std::getline(fo, line);
  std::remove(out.c_str());
  EXPECT_EQ(line,
            "True 30 -20 0 1 0 128 0.25 -7 11 1 2 3 4 1 1 1 3.5 1 0 11 5 9 8 7 6 5 11 1 Layer_name 1 1 12.5 0.25 0.75 4 1");

  TVXLayer b;
  s.SetPosition(2);
  b.LoadInfo(&s);
  EXPECT_EQ(s.Position(), end);
  EXPECT_EQ(b.GUID(), a.GUID());
  EXPECT_EQ(b.ResizedWidth(), 30);
  EXPECT_EQ(b.ResizedHeight(), -20);
  EXPECT_FALSE(b.Visible());
  EXPECT_FALSE(b.Selectable());
  EXPECT_EQ(b.Transparency(), 128);
  EXPECT_EQ(b.Opacity(), 0.25);
  EXPECT_EQ(b.PosX(), -7);
  EXPECT_EQ(b.ClientAreaBox().Bottom, 4);
  EXPECT_TRUE(b.Cropped() && b.Locked());
  EXPECT_TRUE(b.Magnify().Enabled);
  EXPECT_EQ(b.Magnify().Rate, 3.5);
  EXPECT_EQ(b.Magnify().Style, vxmEllipse);
  EXPECT_EQ(b.Magnify().Source, vxmBackgroundLayer);
  EXPECT_EQ(b.Operation(), vxlScreen);
  EXPECT_EQ(b.UserData(), a.UserData());
  EXPECT_EQ(b.ResampleFilter(), rfBicubic);
  EXPECT_TRUE(b.UseResampleFilter());
  EXPECT_EQ(b.Name(), "Layer name");
  EXPECT_TRUE(b.IsMask() && b.DrawOuter());
  EXPECT_EQ(b.Rotate(), 12.5);
  EXPECT_EQ(b.RotateCenterX(), 0.25);
  EXPECT_EQ(b.RotateCenterY(), 0.75);
  EXPECT_EQ(b.AlphaEdgeFeathering(), 4);
  ASSERT_EQ(b.Bitmap()->Width(), 3);
  EXPECT_EQ(b.Bitmap()->Pixels(2, 1), a.Bitmap()->Pixels(2, 1));
}

TEST(ViewLayerRecord, DamagedRecordsRaiseAndOddOrdinalsReadAsDefaults) {
  TVXLayer a;
  a.SetName("n");
  a.SetOperation(vxlAdd);
  TMemoryStream s;
  a.SaveInfo(&s, false);
  std::vector<uint8_t> rec(static_cast<const uint8_t*>(s.Memory()),
                           static_cast<const uint8_t*>(s.Memory()) + s.Size());
  auto load = [](std::vector<uint8_t> bytes) {
    TMemoryStream m;
    m.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    m.SetPosition(0);
    TVXLayer l;
    l.LoadInfo(&m);
    return std::make_pair(l.Operation(), l.ResampleFilter());
  };
  // Operation and filter beyond their ranges.
  std::vector<uint8_t> odd = rec;
  odd[93] = 200;
  odd[98] = 99;
  EXPECT_EQ(load(odd), std::make_pair(vxlNormal, rfNone));
  // A short record, a length past the stream, a name and user data longer
  // than what remains.
  std::vector<uint8_t> shortRec(rec.begin(), rec.begin() + 60);
  shortRec[0] = 60;
  EXPECT_THROW(load(shortRec), EVXException);
  std::vector<uint8_t> longLen = rec;
  longLen[0] = 0xFF;
  EXPECT_THROW(load(longLen), EVXException);
  std::vector<uint8_t> bigUser = rec;
  bigUser[94] = 0xFF;
  bigUser[97] = 0x7F;
  EXPECT_THROW(load(bigUser), EVXException);
  std::vector<uint8_t> bigName = rec;
  bigName[100] = 0xFF;
  bigName[103] = 0x7F;
  EXPECT_THROW(load(bigName), EVXException);
}

TEST_F(ViewLayers, ProcessingUndoOfLayersWorksThroughTheViewer) {
  TVexlaneView* v = NewView(200, 150);
  Build(v, {"a", "b"});
  v->Layers(1)->SetPosX(5);
  TVexlaneProc* p = v->Proc();
  p->SaveUndo(vxuLayer);
  v->Layers(1)->SetPosX(50);
  v->Layers(2)->SetPosY(33);
  p->Undo();
  EXPECT_EQ(v->Layers(1)->PosX(), 5);
  EXPECT_EQ(v->Layers(2)->PosY(), 0);
  // With the current layer's image.
  v->CurrentLayer()->Bitmap()->Fill(0x000000FF);
  p->SaveUndo(vxuFullLayer);
  v->CurrentLayer()->Bitmap()->Fill(0x00FF0000);
  p->Undo();
  EXPECT_EQ(v->VXBitmap(), v->CurrentLayer()->Bitmap());
  EXPECT_EQ(v->VXBitmap()->Pixels(1, 1), (TRGB{0, 0, 0xFF}));
}

TEST_F(ViewLayers, AssignCopiesEveryLayerAndTheCurrentOne) {
  TVexlaneView* src = NewView(200, 150);
  Build(src, {"a", "b"});
  src->Layers(1)->SetOpacity(0.5);
  src->Layers(2)->SetPosX(17);
  src->SetLayersCurrent(1);
  src->SetBackground(0x00123456);
  TVexlaneView* dst = NewView(100, 100);
  Build(dst, {"x", "y", "z", "w"});
  dst->Assign(src);
  EXPECT_EQ(Stack(dst), "B a* b");
  EXPECT_EQ(dst->Layers(1)->Opacity(), 0.5);
  EXPECT_EQ(dst->Layers(2)->PosX(), 17);
  EXPECT_EQ(dst->Layers(0)->Bitmap()->Width(), 40);
  EXPECT_NE(dst->Layers(1)->Bitmap(), src->Layers(1)->Bitmap());
  EXPECT_EQ(dst->VXBitmap(), dst->Layers(1)->Bitmap());
  EXPECT_EQ(dst->Background(), TColor(0x00123456));
}

TEST_F(ViewLayers, LayersSyncBringsEveryLayerToTheLargestSize) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 40, 30);
  v->LayersAdd(60, 20, vx24RGB, 0, 0);
  v->Update();
  EXPECT_EQ(v->MaxLayerWidth(), 40);
  v->SetLayersSync(true);
  EXPECT_EQ(v->MaxLayerWidth(), 60);
  EXPECT_EQ(v->MaxLayerHeight(), 30);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(v->Layers(i)->Bitmap()->Width(), 60);
    EXPECT_EQ(v->Layers(i)->Bitmap()->Height(), 30);
    ASSERT_TRUE(v->Layers(i)->Bitmap()->HasAlphaChannel());
  }
  EXPECT_EQ(v->Layers(0)->Bitmap()->Alpha(50, 5), 0);   // new area
  EXPECT_EQ(v->Layers(0)->Bitmap()->Alpha(5, 5), 255);  // kept
}

}  // namespace
