// The layers stream: written and read back in every image form, parsed by
// Python at the layout's offsets, old versions, format detection, and
// damaged streams.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/fileformats.h"
#include "tests/view/view_fixture.h"

namespace {

void WriteFile(const std::string& Path, TMemoryStream& s) {
  std::ofstream f(Path, std::ios::binary);
  f.write(static_cast<const char*>(s.Memory()), std::streamsize(s.Size()));
}

}  // namespace

class ViewLayersStream : public ViewTest {
 protected:
  // Three layers: the image, a named layer with user data, and a mask.
  TVexlaneView* ThreeLayers() {
    TVexlaneView* v = NewView(200, 150);
    SetImage(v, 60, 40);
    const int32_t a = v->LayersAdd(30, 20, vx24RGB, 7, -5);
    TVXLayer* L = v->Layers(a);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) L->Bitmap()->SetPixels(x, y, TRGB{uint8_t(9 * x), 77, uint8_t(11 * y)});
    L->SetName("Second layer");
    const uint8_t user[5] = {1, 2, 3, 250, 0};
    L->SetUserData(user, 5);
    L->SetOpacity(0.5);
    L->SetTransparency(200);
    L->SetOperation(TVXRenderOperation(3));
    L->SetWidth(45);
    L->SetHeight(25);
    L->SetResampleFilter(rfMitchell);
    L->SetUseResampleFilter(true);
    L->SetCropped(true);
    // (A magnifier would be resampled to its display size when painted.)
    L->Magnify().Enabled = false;
    L->Magnify().Rate = 3.5;
    L->Magnify().Style = vxmEllipse;
    L->Magnify().Source = vxmBackgroundLayer;
    L->SetDrawOuter(true);
    L->SetAlphaEdgeFeathering(3);
    const int32_t m = v->LayersAdd(30, 20, vx8g, 7, -5);
    TVXLayer* M = v->Layers(m);
    M->SetIsMask(true);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) static_cast<uint8_t*>(M->Bitmap()->ScanLine(y))[x] = uint8_t(x * 8);
    M->SetSelectable(false);
    M->SetLocked(true);
    v->SetLayersCurrent(1);
    v->Update();
    return v;
  }

  static void ExpectSameLayers(TVexlaneView* a, TVexlaneView* b) {
    ASSERT_EQ(a->LayersCount(), b->LayersCount());
    for (int32_t i = 0; i < a->LayersCount(); ++i) {
      SCOPED_TRACE(i);
      const TVXLayer* x = a->Layers(i);
      const TVXLayer* y = b->Layers(i);
      EXPECT_EQ(x->Visible(), y->Visible());
      EXPECT_EQ(x->VisibleBox(), y->VisibleBox());
      EXPECT_EQ(x->Transparency(), y->Transparency());
      EXPECT_EQ(x->Opacity(), y->Opacity());
      EXPECT_EQ(x->PosX(), y->PosX());
      EXPECT_EQ(x->PosY(), y->PosY());
      EXPECT_EQ(x->Cropped(), y->Cropped());
      EXPECT_EQ(x->Locked(), y->Locked());
      EXPECT_EQ(x->Magnify().Enabled, y->Magnify().Enabled);
      EXPECT_EQ(x->Magnify().Rate, y->Magnify().Rate);
      EXPECT_EQ(x->Magnify().Style, y->Magnify().Style);
      EXPECT_EQ(x->Magnify().Source, y->Magnify().Source);
      EXPECT_EQ(x->Operation(), y->Operation());
      EXPECT_EQ(x->ResizedWidth(), y->ResizedWidth());
      EXPECT_EQ(x->ResizedHeight(), y->ResizedHeight());
      EXPECT_EQ(x->ResampleFilter(), y->ResampleFilter());
      EXPECT_EQ(x->UseResampleFilter(), y->UseResampleFilter());
      EXPECT_EQ(x->Name(), y->Name());
      EXPECT_EQ(x->UserData(), y->UserData());
      EXPECT_EQ(x->IsMask(), y->IsMask());
      EXPECT_EQ(x->Selectable(), y->Selectable());
      EXPECT_EQ(x->DrawOuter(), y->DrawOuter());
      EXPECT_EQ(x->AlphaEdgeFeathering(), y->AlphaEdgeFeathering());
      const TVXBitmap* p = x->Bitmap();
      const TVXBitmap* q = y->Bitmap();
      ASSERT_EQ(p->Width(), q->Width());
      ASSERT_EQ(p->Height(), q->Height());
      EXPECT_EQ(p->PixelFormat(), q->PixelFormat());
      for (int r = 0; r < p->Height(); ++r)
        for (int c = 0; c < p->Width(); ++c) ASSERT_EQ(p->Pixels(c, r), q->Pixels(c, r)) << c << "," << r;
    }
  }
};

TEST_F(ViewLayersStream, EveryImageFormReloadsIntoAFreshViewer) {
  TVexlaneView* v = ThreeLayers();
  for (int32_t format : {-1, -2, 8, 1}) {
    SCOPED_TRACE(format);
    TMemoryStream s;
    s.WriteBuffer("lead", 4);  // positions are absolute: other data may come first
    v->LayersSaveToStream(&s, format);
    EXPECT_EQ(v->LayersCurrent(), 1);
    EXPECT_TRUE(v->LayersSelectConstrains());
    const auto* d = static_cast<const uint8_t*>(s.Memory());
    int32_t written;
    std::memcpy(&written, d + 4 + 17, 4);
    EXPECT_EQ(written, format == 1 ? 8 : format);
    s.SetPosition(4);
    EXPECT_TRUE(TVexlaneView::IsLayersStream(&s));
    EXPECT_EQ(s.Position(), 4);
    EXPECT_EQ(VXFindStreamFormat(&s), 26);
    s.SetPosition(4);
    TVexlaneView* w = NewView(120, 90);
    SetImage(w, 5, 5);
    w->LayersAdd(3, 3, vx24RGB, 0, 0);
    ASSERT_TRUE(w->LayersLoadFromStream(&s));
    EXPECT_EQ(w->LayersCurrent(), 2);  // the last layer read
    // The mask comes back 8-bit grey from every form.
    EXPECT_EQ(w->Layers(2)->Bitmap()->PixelFormat(), vx8g);
    ExpectSameLayers(v, w);
  }
}

TEST_F(ViewLayersStream, PythonReadsTheLayoutAndTheImages) {
  TVexlaneView* v = ThreeLayers();
  const std::string script =
      "import struct,sys,zlib,subprocess,io\n"
      "d=open(sys.argv[1],'rb').read()\n"
      "assert d[:13]==b'VEXLANELAYERS'\n"
      "ver,comp,n=struct.unpack_from('<iii',d,13); o=25; out=[str(ver),str(comp),str(n)]\n"
      "pos=[]\n"
      "for i in range(n):\n"
      "  vis,vb,tr,op=struct.unpack_from('<BBid',d,o); o+=14\n"
      "  px,py,cr,lk,me,rate,ms,msrc,oper,rw,rh,rf,urf=struct.unpack_from('<iiBBBdBBBiiBB',d,o); o+=8+3+8+3+8+2\n"
      "  nl,=struct.unpack_from('<i',d,o); o+=4; name=d[o:o+nl].decode(); o+=nl\n"
      "  ul,=struct.unpack_from('<i',d,o); o+=4; ud=list(d[o:o+ul]); o+=ul\n"
      "  im,sl,do,fe=struct.unpack_from('<BBBi',d,o); o+=7\n"
      "  p,=struct.unpack_from('<q',d,o); o+=8; pos.append(p)\n"
      "  out.append(' '.join(map(str,[vis,vb,tr,op,px,py,cr,lk,me,rate,ms,msrc,oper,rw,rh,rf,urf,name.replace(' ','_'),ul]+ud+[im,sl,do,fe])))\n"
      "out.append(str(pos[0]==o))\n"
      "for i,p in enumerate(pos):\n"
      "  if comp==-1:\n"
      "    c,=struct.unpack_from('<i',d,p); raw=zlib.decompress(d[p+4:p+4+c])\n"
      "    open(sys.argv[1]+'.%d'%i,'wb').write(raw); out.append('raw%d %d'%(i,len(raw)))\n"
      "  else:\n"
      "    end=pos[i+1] if i+1<len(pos) else len(d)\n"
      "    png=d[p:end]; fn=sys.argv[1]+'.%d.png'%i; open(fn,'wb').write(png)\n"
      "    ok=subprocess.run(['/usr/bin/pngcheck','-q',fn]).returncode==0\n"
      "    from PIL import Image\n"
      "    im=Image.open(io.BytesIO(png)); im.load()\n"
      "    out.append('png%d %s %s %dx%d %s'%(i,ok,im.mode,im.size[0],im.size[1],im.getpixel((3,2))))\n"
      "print('\\n'.join(out))\n";
  const std::string bin = ViewTempPath("l.lyr");
  // zlib images: inflated, each is the raw dump of its layer.
  {
    TMemoryStream s;
    v->LayersSaveToStream(&s, -1);
    WriteFile(bin, s);
    const std::string got = ViewRunPython(script, bin);
    EXPECT_EQ(got.rfind("8\n-1\n3\n", 0), 0u) << got;
    EXPECT_NE(got.find("\n1 1 200 0.5 7 -5 1 0 0 3.5 1 0 3 45 25 " + std::to_string(int(rfMitchell)) +
                       " 1 Second_layer 5 1 2 3 250 0 0 1 1 3\n"),
              std::string::npos)
        << got;
    EXPECT_NE(got.find("\nTrue\n"), std::string::npos) << got;
    for (int i = 0; i < 3; ++i) {
      TMemoryStream want;
      v->Layers(i)->Bitmap()->SaveRAWToBufferOrStream(nullptr, &want, true);
      std::ifstream f(bin + "." + std::to_string(i), std::ios::binary);
      std::string raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      ASSERT_EQ(int64_t(raw.size()), want.Size()) << i;
      EXPECT_EQ(std::memcmp(raw.data(), want.Memory(), raw.size()), 0) << i;
      std::remove((bin + "." + std::to_string(i)).c_str());
    }
  }
  // PNG images: each passes pngcheck and decodes to the layer's pixels.
  {
    TMemoryStream s;
    v->LayersSaveToStream(&s, 8);
    WriteFile(bin, s);
    const std::string got = ViewRunPython(script, bin);
    if (got.find("No module named 'PIL'") != std::string::npos) GTEST_SKIP() << "Pillow (python3-pil) missing";
    const TRGB p0 = v->Layers(0)->Bitmap()->Pixels(3, 2), p1 = v->Layers(1)->Bitmap()->Pixels(3, 2);
    auto rgb = [](TRGB c) {
      return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
    };
    EXPECT_NE(got.find("png0 True RGB 60x40 " + rgb(p0)), std::string::npos) << got;
    EXPECT_NE(got.find("png1 True RGB 30x20 " + rgb(p1)), std::string::npos) << got;
    EXPECT_NE(got.find("png2 True L 30x20 24"), std::string::npos) << got;
    for (int i = 0; i < 3; ++i) std::remove((bin + "." + std::to_string(i) + ".png").c_str());
  }
  std::remove(bin.c_str());
}

namespace {

// A version-2 stream of one 4 x 3 layer, written field by field, images as
// raw dumps (-2).
std::vector<uint8_t> VersionTwoStream(TVXBitmap& Image, int32_t Version) {
  std::vector<uint8_t> d(13);
  std::memcpy(d.data(), "VEXLANELAYERS", 13);
  auto i32 = [&](int32_t v) {
    for (int i = 0; i < 4; ++i) d.push_back(uint8_t(uint32_t(v) >> (8 * i)));
  };
  auto f64 = [&](double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) d.push_back(uint8_t(u >> (8 * i)));
  };
  i32(Version);
  i32(-2);
  i32(1);
  d.push_back(1);  // visible
  d.push_back(0);  // box
  i32(150);        // transparency
  i32(4);          // pos
  i32(6);
  d.push_back(1);  // cropped
  d.push_back(0);  // locked
  d.push_back(1);  // magnify
  f64(2.5);
  d.push_back(1);  // ellipse
  d.push_back(1);  // operation
  i32(8);          // resized
  i32(9);
  const size_t slot = d.size();
  for (int i = 0; i < 8; ++i) d.push_back(0);
  const int64_t pos = int64_t(d.size());
  for (int i = 0; i < 8; ++i) d[slot + size_t(i)] = uint8_t(uint64_t(pos) >> (8 * i));
  TMemoryStream raw;
  Image.SaveRAWToBufferOrStream(nullptr, &raw, true);
  i32(int32_t(raw.Size()));
  const auto* r = static_cast<const uint8_t*>(raw.Memory());
  d.insert(d.end(), r, r + raw.Size());
  return d;
}

}  // namespace

TEST_F(ViewLayersStream, OldVersionsAndProbes) {
  TVXBitmap img(4, 3, vx24RGB);
  img.Fill(0x336699);
  std::vector<uint8_t> d = VersionTwoStream(img, 2);
  TVexlaneView* v = NewView(100, 80);
  SetImage(v, 10, 10);
  TVXLayer* L0 = v->Layers(0);
  L0->SetName("kept");
  L0->SetOpacity(0.25);
  L0->SetAlphaEdgeFeathering(6);
  TVXMemStream s(d.data(), int64_t(d.size()));
  ASSERT_TRUE(v->LayersLoadFromStream(&s));
  EXPECT_EQ(v->LayersCount(), 1);
  EXPECT_EQ(L0->Transparency(), 150);
  EXPECT_EQ(L0->PosX(), 4);
  EXPECT_EQ(L0->ResizedHeight(), 9);
  EXPECT_EQ(L0->Magnify().Style, vxmEllipse);
  EXPECT_EQ(L0->Magnify().Rate, 2.5);
  EXPECT_EQ(L0->Bitmap()->Width(), 4);
  EXPECT_EQ(L0->Bitmap()->Pixels(1, 1), img.Pixels(1, 1));
  // Fields newer than version 2 keep layer 0's values.
  EXPECT_EQ(L0->Name(), "kept");
  EXPECT_EQ(L0->Opacity(), 0.25);
  EXPECT_EQ(L0->AlphaEdgeFeathering(), 6);

  // Version 0: refused by the probe with the position unchanged, and by
  // the reader with nothing changed.
  std::vector<uint8_t> z = VersionTwoStream(img, 0);
  z.insert(z.begin(), 3, 'x');
  TVXMemStream zs(z.data(), int64_t(z.size()));
  zs.SetPosition(3);
  EXPECT_FALSE(TVexlaneView::IsLayersStream(&zs));
  EXPECT_EQ(zs.Position(), 3);
  EXPECT_FALSE(v->LayersLoadFromStream(&zs));
  EXPECT_EQ(L0->PosX(), 4);
  // A short stream and another magic.
  TVXMemStream shortS(d.data(), 20);
  EXPECT_FALSE(TVexlaneView::IsLayersStream(&shortS));
  EXPECT_EQ(shortS.Position(), 0);
  d[0] = 'W';
  TVXMemStream other(d.data(), int64_t(d.size()));
  EXPECT_FALSE(TVexlaneView::IsLayersStream(&other));
  EXPECT_FALSE(v->LayersLoadFromStream(&other));
}

TEST_F(ViewLayersStream, DamagedStreamsRaiseWithTheViewerUnchanged) {
  TVexlaneView* v = ThreeLayers();
  for (int32_t format : {-1, 8}) {
    TMemoryStream good;
    v->LayersSaveToStream(&good, format);
    const auto* g = static_cast<const uint8_t*>(good.Memory());
    const std::vector<uint8_t> base(g, g + good.Size());
    TVexlaneView* w = NewView(80, 60);
    SetImage(w, 12, 9);
    w->LayersAdd(4, 4, vx24RGB, 2, 3);
    auto state = [&] {
      std::string s = std::to_string(w->LayersCount());
      for (int i = 0; i < w->LayersCount(); ++i)
        s += " " + std::to_string(w->Layers(i)->PosX()) + "," + std::to_string(w->Layers(i)->Bitmap()->Width());
      return s;
    };
    const std::string before = state();
    std::mt19937 rng(102 + uint32_t(format + 2));
    int blockFailures = 0;
    for (int i = 0; i < 120; ++i) {
      std::vector<uint8_t> b = base;
      const int kind = i % 3;
      if (kind == 0) {
        b.resize(std::uniform_int_distribution<size_t>(0, base.size() - 1)(rng));
      } else {
        const size_t at = std::uniform_int_distribution<size_t>(13, std::min<size_t>(base.size() - 1, 260))(rng);
        b[at] = kind == 1 ? uint8_t(std::uniform_int_distribution<int>(0, 255)(rng)) : 0xFF;
      }
      TVXMemStream s(b.data(), int64_t(b.size()));
      try {
        w->LayersLoadFromStream(&s);
      } catch (const EVXException& e) {
        if (std::string(e.what()) == "Damaged layers stream" && state() == before) ++blockFailures;
      } catch (const std::exception&) {
        // A damaged image raises from its reader.
      }
      // Back to the known viewer for the next case.
      while (w->LayersCount() > 1) w->LayersRemove(w->LayersCount() - 1);
      SetImage(w, 12, 9);
      w->Layers(0)->SetPosX(0);
      w->LayersAdd(4, 4, vx24RGB, 2, 3);
      ASSERT_EQ(state(), before);
    }
    EXPECT_GT(blockFailures, 10);
    // Specific fields: the count, a name length, an image position.
    struct Patch {
      size_t At;
      int32_t Value;
    };
    const size_t nameLenAt = 25 + 14 + 32;  // layer 0's name length
    for (const Patch p : {Patch{21, 100000}, Patch{21, -1}, Patch{21, 0}, Patch{nameLenAt, 1 << 30},
                          Patch{nameLenAt + 4, -7}}) {
      std::vector<uint8_t> b = base;
      for (int k = 0; k < 4; ++k) b[p.At + size_t(k)] = uint8_t(uint32_t(p.Value) >> (8 * k));
      TVXMemStream s(b.data(), int64_t(b.size()));
      EXPECT_THROW(w->LayersLoadFromStream(&s), EVXException) << p.At << " " << p.Value;
      EXPECT_EQ(state(), before);
    }
  }
}
