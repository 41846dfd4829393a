// PSD and PSB writing: the byte layout of small documents, PackBits, layer
// records, round trips through the reader, and Pillow, psd-tools and
// ImageMagick reading what is written; the I/O component's PSD members.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/icc.h"
#include "core/layer.h"
#include "core/streams.h"
#include "formats/psd.h"
#include "io/iptc.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/formats/psd_test_util.h"

using namespace psdtest;

namespace {

uint32_t BE32At(const Bytes& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
uint16_t BE16At(const Bytes& b, size_t at) { return uint16_t(b[at] << 8 | b[at + 1]); }

// A vx24RGB bitmap whose pixel (x, y) is (r, g, b) = (10x + y, 100 + x, 200 + y).
std::unique_ptr<TVXBitmap> RGBBitmap(int32_t W, int32_t H) {
  auto b = std::make_unique<TVXBitmap>();
  b->Allocate(W, H, vx24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(200 + y), uint8_t(100 + x), uint8_t(10 * x + y)});
  return b;
}

TEST(PSDWrite, ByteLayoutOfASmallRGBDocument) {
  auto b = RGBBitmap(3, 2);
  TIOParamsVals p;
  p.SetDpiX(72);
  p.SetDpiY(96);
  const Bytes got = WritePSD(b.get(), p, {});
  TBytes want;
  PutHeader(want, THeader{1, 3, 2, 3, 8, 3});
  want.u32(0);
  want.lengthed(4, [](TBytes& r) {
    TBytes res;
    res.u32(72 * 65536).u16(1).u16(1).u32(96 * 65536).u16(1).u16(1);
    PutResource(r, 1005, res.b);
  });
  want.u32(0);
  want.u16(1);
  for (int i = 0; i < 6; ++i) want.u16(4);
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < 2; ++y) {
      want.u8(2);
      for (int x = 0; x < 3; ++x) want.u8(c == 0 ? 10 * x + y : c == 1 ? 100 + x : 200 + y);
    }
  EXPECT_EQ(got, want.b);

  // PSB: 8-byte section length, 4-byte row counts, 4-byte resource length.
  p.SetPSD_LargeDocumentFormat(true);
  const Bytes psb = WritePSD(b.get(), p, {});
  EXPECT_EQ(BE16At(psb, 4), 2);
  const size_t resources = 26 + 4;
  const size_t layers = resources + 4 + BE32At(psb, resources);
  EXPECT_EQ(BE32At(psb, layers), 0u);
  EXPECT_EQ(BE32At(psb, layers + 4), 0u);
  EXPECT_EQ(BE16At(psb, layers + 8), 1);
  EXPECT_EQ(BE32At(psb, layers + 10), 4u);
  EXPECT_EQ(psb.size(), got.size() + 4 + 6 * 2);
  auto back = ReadPSD(psb, true);
  EXPECT_FALSE(back->Aborting);
  EXPECT_EQ(back->Bitmap->Pixels_vx24RGB(2, 1), b->Pixels_vx24RGB(2, 1));
}

TEST(PSDWrite, RowsThatPackBeyondSixteenBitCountsNeedPSB) {
  // 70000 bytes without runs pack into more than 65535.
  TVXBitmap b(70000, 1, vx8g);
  for (int32_t x = 0; x < 70000; ++x) b.SetPixels_vx8(x, 0, uint8_t(x * 7 + x / 256));
  for (bool psb : {false, true}) {
    TIOParamsVals p;
    p.SetPSD_LargeDocumentFormat(psb);
    bool aborting = false;
    const Bytes out = WritePSD(&b, p, {}, &aborting);
    EXPECT_EQ(aborting, !psb);
    if (!psb) continue;
    auto r = ReadPSD(out, true);
    ASSERT_FALSE(r->Aborting);
    EXPECT_EQ(r->Bitmap->Pixels_vx8(69999, 0), b.Pixels_vx8(69999, 0));
    EXPECT_EQ(r->Bitmap->Pixels_vx8(12345, 0), b.Pixels_vx8(12345, 0));
  }
}

TEST(PSDWrite, PackBitsRuns) {
  struct Case {
    const char* Name;
    Bytes In, Out;
  };
  const Bytes run200(200, 9);
  Bytes lit130;
  for (int i = 0; i < 130; ++i) lit130.push_back(uint8_t(i));
  Bytes lit130out{127};
  lit130out.insert(lit130out.end(), lit130.begin(), lit130.begin() + 128);
  lit130out.insert(lit130out.end(), {1, 128, 129});
  const Case cases[] = {
      {"200 equal bytes", run200, {0x81, 9, 257 - 72, 9}},
      {"1 2 2 3", {1, 2, 2, 3}, {3, 1, 2, 2, 3}},
      {"literal then run", {5, 6, 7, 7, 7, 7}, {1, 5, 6, 0xFD, 7}},
      {"130 different bytes", lit130, lit130out},
      {"one byte", {42}, {0, 42}},
      {"nothing", {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(VXPackBitsRow(c.In.data(), int64_t(c.In.size())), c.Out) << c.Name;
}

TEST(PSDWrite, FormatsModesAndUnwritableOnes) {
  struct Case {
    TVXPixelFormat Format;
    int Mode, Depth, Channels;
  };
  const Case cases[] = {
      {vx1g, 0, 1, 1},     {vx8p, 2, 8, 1},   {vx8g, 1, 8, 1},     {vx16g, 1, 16, 1},
      {vx24RGB, 3, 8, 3},  {vx32RGB, 3, 8, 3}, {vx48RGB, 3, 16, 3}, {vxCMYK, 4, 8, 4},
      {vxCIELab, 9, 8, 3}, {vx32f, -1, 0, 0},
  };
  for (const Case& c : cases) {
    TVXBitmap b(5, 3, c.Format);
    for (int32_t x = 0; x < 5; ++x) b.SetPixels(x, 1, TRGB{uint8_t(40 * x), 90, 200});
    TIOParamsVals p;
    bool aborting = false;
    const Bytes out = WritePSD(&b, p, {}, &aborting);
    if (c.Mode < 0) {
      EXPECT_TRUE(aborting) << int(c.Format);
      EXPECT_TRUE(out.empty()) << int(c.Format);
      continue;
    }
    ASSERT_FALSE(aborting) << int(c.Format);
    EXPECT_EQ(BE16At(out, 12), c.Channels) << int(c.Format);
    EXPECT_EQ(BE16At(out, 22), c.Depth) << int(c.Format);
    EXPECT_EQ(BE16At(out, 24), c.Mode) << int(c.Format);
    // Read back natively, every pixel is what was written (vx32RGB comes
    // back as vx24RGB).
    auto r = ReadPSD(out, true);
    ASSERT_FALSE(r->Aborting) << int(c.Format);
    EXPECT_EQ(r->Bitmap->PixelFormat(), c.Format == vx32RGB ? vx24RGB : c.Format) << int(c.Format);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(r->Bitmap->Pixels(x, y), b.Pixels(x, y)) << int(c.Format);
  }
  // Lab's a and b come back unchanged, negative ones included.
  TVXBitmap lab(3, 1, vxCIELab);
  lab.SetPixels_vxCIELab(0, 0, TCIELab{10, -128, 127});
  lab.SetPixels_vxCIELab(1, 0, TCIELab{255, -1, 0});
  lab.SetPixels_vxCIELab(2, 0, TCIELab{0, 5, -77});
  TIOParamsVals p;
  auto r = ReadPSD(WritePSD(&lab, p, {}), true);
  for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(r->Bitmap->Pixels_vxCIELab(x, 0), lab.Pixels_vxCIELab(x, 0)) << x;
  // Palette images carry the palette and index 255 as transparent.
  TVXBitmap pal(2, 1, vx8p);
  for (int i = 0; i < 256; ++i) pal.SetPalette(i, TRGB{.b = 7, .g = uint8_t(255 - i), .r = uint8_t(i)});
  pal.SetPixels_vx8(0, 0, 3);
  pal.SetPixels_vx8(1, 0, 255);
  const Bytes out = WritePSD(&pal, p, {});
  ASSERT_EQ(BE32At(out, 26), 768u);
  EXPECT_EQ(out[30 + 3], 3);
  EXPECT_EQ(out[30 + 256 + 3], 252);
  EXPECT_EQ(out[30 + 512 + 3], 7);
  auto back = ReadPSD(out, true);
  ASSERT_TRUE(back->Bitmap->HasAlphaChannel());
  EXPECT_EQ(back->Bitmap->Alpha(0, 0), 255);
  EXPECT_EQ(back->Bitmap->Alpha(1, 0), 0);
  EXPECT_EQ(back->Bitmap->Palette(3), (TRGB{.b = 7, .g = 252, .r = 3}));
}

// Offset of the layer info (its length field) in a document without image
// resources beyond the resolution.
size_t LayerInfoAt(const Bytes& b) {
  const size_t resources = 26 + 4 + BE32At(b, 26);
  return resources + 4 + BE32At(b, resources) + 4;
}

std::unique_ptr<TVXLayer> MakeLayer(const std::string& Name, int32_t X, int32_t Y, int32_t W, int32_t H) {
  auto l = std::make_unique<TVXLayer>(RGBBitmap(W, H).release());
  l->SetName(Name);
  l->SetPosX(X);
  l->SetPosY(Y);
  return l;
}

TEST(PSDWrite, LayerRecords) {
  auto merged = RGBBitmap(4, 4);
  TIOParamsVals p;
  struct Case {
    std::string Name;
    uint32_t Extra;
    int Padding;
  };
  const Case names[] = {{"abc", 12, 0}, {"ab", 12, 1}, {"", 12, 3}, {std::string(300, 'n'), 8 + 256, 0}};
  for (const Case& c : names) {
    TVXLayerList layers;
    layers.push_back(MakeLayer(c.Name, 1, 2, 2, 1));
    layers[0]->Bitmap()->RemoveAlphaChannel(false, 0);
    const Bytes out = WritePSD(merged.get(), p, layers);
    const size_t info = LayerInfoAt(out);
    EXPECT_EQ(BE16At(out, info + 4), 1);
    const size_t record = info + 6;
    EXPECT_EQ(BE32At(out, record), 2u);       // top
    EXPECT_EQ(BE32At(out, record + 4), 1u);   // left
    EXPECT_EQ(BE32At(out, record + 8), 3u);   // bottom
    EXPECT_EQ(BE32At(out, record + 12), 3u);  // right
    // Every layer of a document that is not Bitmap gets an alpha channel.
    EXPECT_EQ(BE16At(out, record + 16), 4);
    const size_t extra = record + 18 + 4 * 6 + 12;
    EXPECT_EQ(BE32At(out, extra), c.Extra) << c.Name.size();
    const size_t nameAt = extra + 4 + 8;
    const size_t kept = std::min<size_t>(c.Name.size(), 255);
    EXPECT_EQ(out[nameAt], kept);
    for (int i = 0; i < c.Padding; ++i) EXPECT_EQ(out[nameAt + 1 + kept + i], 1) << c.Name;
    auto r = ReadPSD(out, true, true);
    ASSERT_EQ(r->Layers.size(), 1u);
    EXPECT_EQ(r->Layers[0]->Name(), c.Name.substr(0, 255));
  }

  // A layer and its mask: one layer record, channels -1 0 1 2 -2, a mask
  // block of 20 bytes; both come back.
  TVXLayerList layers;
  layers.push_back(MakeLayer("with mask", 0, 1, 3, 2));
  layers[0]->SetOpacity(0.5);
  layers[0]->SetVisible(false);
  auto mask = std::make_unique<TVXLayer>(new TVXBitmap(2, 2, vx8g));
  mask->Bitmap()->SetPixels_vx8(1, 1, 180);
  mask->SetIsMask(true);
  mask->SetPosX(1);
  mask->SetPosY(2);
  layers.push_back(std::move(mask));
  const Bytes out = WritePSD(merged.get(), p, layers);
  const size_t info = LayerInfoAt(out);
  EXPECT_EQ(BE16At(out, info + 4), 1);
  const size_t record = info + 6;
  ASSERT_EQ(BE16At(out, record + 16), 5);
  const int16_t ids[5] = {-1, 0, 1, 2, -2};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(int16_t(BE16At(out, record + 18 + 6 * i)), ids[i]);
  const size_t blend = record + 18 + 30;
  EXPECT_EQ(out[blend + 8], 127);  // opacity
  EXPECT_EQ(out[blend + 10], 2);   // hidden
  EXPECT_EQ(BE32At(out, blend + 16), 20u);
  auto r = ReadPSD(out, true, true);
  ASSERT_EQ(r->Layers.size(), 2u);
  EXPECT_FALSE(r->Layers[0]->Visible());
  EXPECT_NEAR(r->Layers[0]->Opacity(), 0.5, 0.5 / 255);
  EXPECT_EQ(r->Layers[0]->Bitmap()->Pixels_vx24RGB(2, 1), layers[0]->Bitmap()->Pixels_vx24RGB(2, 1));
  EXPECT_TRUE(r->Layers[1]->IsMask());
  EXPECT_EQ(r->Layers[1]->PosX(), 1);
  EXPECT_EQ(r->Layers[1]->PosY(), 2);
  EXPECT_EQ(r->Layers[1]->Bitmap()->Pixels_vx8(1, 1), 180);
}

TEST(PSDWrite, LayersTakeTheDocumentsModeAndTheirDisplaySize) {
  TVXBitmap merged(4, 4, vx8g);
  TVXLayerList layers;
  layers.push_back(MakeLayer("grown", 0, 0, 2, 2));
  layers[0]->SetWidth(4);
  layers[0]->SetHeight(3);
  TIOParamsVals p;
  auto r = ReadPSD(WritePSD(&merged, p, layers), true, true);
  ASSERT_EQ(r->Layers.size(), 1u);
  EXPECT_EQ(r->Layers[0]->Bitmap()->PixelFormat(), vx8g);
  EXPECT_EQ(r->Layers[0]->Bitmap()->Width(), 4);
  EXPECT_EQ(r->Layers[0]->Bitmap()->Height(), 3);
}

TEST(PSDWrite, MetadataSurvivesARoundTrip) {
  auto b = RGBBitmap(6, 4);
  TIOParamsVals p;
  p.SetDpiX(150);
  p.SetDpiY(200);
  p.IPTC_Info().AddStringItem(2, 120, "a caption");
  p.SetXMP_Info("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");
  p.InputICCProfile().Assign_AdobeRGB1998();
  ASSERT_GT(p.InputICCProfile().RawLength(), 0);
  p.SetEXIF_Bitmap(RGBBitmap(8, 5).release());
  const Bytes out = WritePSD(b.get(), p, {});
  auto r = ReadPSD(out, true);
  ASSERT_FALSE(r->Aborting);
  EXPECT_EQ(r->Params->DpiX(), 150);
  EXPECT_EQ(r->Params->DpiY(), 200);
  const int32_t caption = r->Params->IPTC_Info().IndexOf(2, 120);
  ASSERT_GE(caption, 0);
  EXPECT_EQ(r->Params->IPTC_Info().StringItem(caption), "a caption");
  EXPECT_EQ(r->Params->XMP_Info(), p.XMP_Info());
  ASSERT_EQ(r->Params->InputICCProfile().RawLength(), p.InputICCProfile().RawLength());
  EXPECT_EQ(0, std::memcmp(r->Params->InputICCProfile().Raw(), p.InputICCProfile().Raw(),
                           size_t(p.InputICCProfile().RawLength())));
  ASSERT_NE(r->Bitmap->ColorProfile(), nullptr);
  EXPECT_EQ(r->Bitmap->ColorProfile()->RawLength(), p.InputICCProfile().RawLength());
  ASSERT_NE(r->Params->EXIF_Bitmap(), nullptr);
  EXPECT_EQ(r->Params->EXIF_Bitmap()->Width(), 8);
  EXPECT_EQ(r->Params->EXIF_Bitmap()->Height(), 5);
  EXPECT_EQ(r->Bitmap->Width(), 6);

  // With GetThumbnail the thumbnail is the image.
  auto t = std::make_unique<TRead>();
  t->Params->SetGetThumbnail(true);
  TVXMemStream in(out.data(), int64_t(out.size()));
  TProgressRec pr;
  pr.Aborting = &t->Aborting;
  VXReadPSDStream(&in, t->Bitmap.get(), *t->Params, pr, false, &t->Layers);
  EXPECT_EQ(t->Bitmap->Width(), 8);
  EXPECT_EQ(t->Bitmap->Height(), 5);
}

class PSDOracles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RuntimeHaveTool("/usr/bin/identify")) GTEST_SKIP() << "ImageMagick's identify is missing";
    if (!HavePython("PIL") || !HavePython("psd_tools")) GTEST_SKIP() << "python3-pil or python3-psd-tools is missing";
  }
  TRuntimeScratchDir dir;
};

TEST_F(PSDOracles, WrittenDocumentsOpenElsewhereWithTheSamePixelsAndLayers) {
  for (bool psb : {false, true}) {
    auto merged = RGBBitmap(7, 5);
    TVXLayerList layers;
    layers.push_back(MakeLayer("base", 0, 0, 7, 5));
    layers.push_back(MakeLayer("top", 2, 1, 3, 2));
    layers[1]->Bitmap()->SetAlpha(1, 1, 90);
    auto mask = std::make_unique<TVXLayer>(new TVXBitmap(3, 2, vx8g));
    mask->Bitmap()->Fill(200);
    mask->SetIsMask(true);
    mask->SetPosX(2);
    mask->SetPosY(1);
    layers.push_back(std::move(mask));
    TIOParamsVals p;
    p.SetPSD_LargeDocumentFormat(psb);
    p.SetDpiX(72);
    p.SetDpiY(72);
    const Bytes out = WritePSD(merged.get(), p, layers);
    const std::string f = dir.File(psb ? "w.psb" : "w.psd");
    RuntimeWriteFile(f, std::string(out.begin(), out.end()));

    std::string expect;
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) {
        const TRGB c = merged->Pixels_vx24RGB(x, y);
        char h[8];
        std::snprintf(h, sizeof h, "%02x%02x%02x", c.r, c.g, c.b);
        expect += h;
      }
    if (!psb) {
      const std::string pil = RuntimeShell(
          "/usr/bin/python3 -c \"import sys;from PIL import Image;im=Image.open(sys.argv[1]);"
          "print(im.convert('RGB').tobytes().hex())\" " + Quote(f) + " 2>/dev/null");
      EXPECT_EQ(pil, expect + "\n") << "Pillow";
    }
    const std::string magick =
        RuntimeShell("/usr/bin/convert " + Quote(f + "[0]") + " -depth 8 rgb:- | od -An -v -tx1 | tr -d ' \\n'");
    EXPECT_EQ(magick, expect) << "ImageMagick";
    const std::string ident = RuntimeShell("/usr/bin/identify -format '%w %h %X %Y|' " + Quote(f) + " 2>/dev/null");
    EXPECT_EQ(ident.substr(0, ident.find('|')), "7 5 +0 +0") << ident;
    const std::string tools = RuntimeShell(
        "/usr/bin/python3 -c \"import sys;from psd_tools import PSDImage;p=PSDImage.open(sys.argv[1])\n"
        "print(p.version, p.composite().convert('RGB').tobytes().hex())\n"
        "for l in p:\n"
        "  print(l.name, l.left, l.top, l.width, l.height, l.opacity, int(l.visible), int(l.has_mask()),"
        "l.topil().getpixel((1,1)) if l.name=='top' else '')\" " +
        Quote(f) + " 2>/dev/null");
    const TRGB top11 = layers[1]->Bitmap()->Pixels_vx24RGB(1, 1);
    const std::string want = std::string(psb ? "2 " : "1 ") + expect + "\nbase 0 0 7 5 255 1 0 \ntop 2 1 3 2 255 1 1 (" +
                             std::to_string(top11.r) + ", " + std::to_string(top11.g) + ", " +
                             std::to_string(top11.b) + ", 90)\n";
    EXPECT_EQ(tools, want) << (psb ? "PSB" : "PSD");
  }
}

// ---- the I/O component ----

TEST(PSDComponent, FileSaverChoosesVersionByNameAndLoadsBack) {
  TRuntimeScratchDir dir;
  auto b = RGBBitmap(5, 3);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(b.get());
  for (const auto& [name, version] : std::vector<std::pair<std::string, int>>{{"x.psb", 2}, {"x.psd", 1}, {"X.PSB", 2}}) {
    io.Params().SetPSD_LargeDocumentFormat(version == 1);
    io.SaveToFile(dir.File(name), -1);
    const std::string s = RuntimeReadFile(dir.File(name));
    ASSERT_GE(s.size(), 26u) << name;
    EXPECT_EQ(s[5], char(version)) << name;
    EXPECT_EQ(io.Params().FileType(), 24) << name;

    TVXBitmap target;
    TVexlaneIO loader;
    loader.SetAttachedVXBitmap(&target);
    EXPECT_TRUE(loader.LoadFromFile(dir.File(name), int32_t(-9))) << name;
    EXPECT_EQ(loader.Params().FileType(), 24);
    EXPECT_EQ(target.Pixels_vx24RGB(4, 2), b->Pixels_vx24RGB(4, 2)) << name;
    loader.ParamsFromFile(dir.File(name));
    EXPECT_EQ(loader.Params().FileType(), 24);
    EXPECT_EQ(loader.Params().Width(), 5);
    EXPECT_EQ(loader.Params().Height(), 3);
  }
  // By content and by stream.
  TMemoryStream ms;
  io.SaveToStream(&ms, 24);
  ms.SetPosition(0);
  TVXBitmap target;
  TVexlaneIO loader;
  loader.SetAttachedVXBitmap(&target);
  EXPECT_TRUE(loader.LoadFromStream(&ms));
  EXPECT_EQ(target.Width(), 5);
}

TEST(PSDComponent, OneLayerGivesTheTargetItsAlphaAtItsOffset) {
  // A 4x3 document whose one 2x1 layer at (1, 2) has alpha 100 and 30.
  std::vector<TLayerSpec> layers(1);
  layers[0].Top = 2, layers[0].Left = 1, layers[0].Bottom = 3, layers[0].Right = 3;
  layers[0].Channels = {{-1, RawChannel({100, 30})}, {0, RawChannel({1, 2})}, {1, RawChannel({1, 2})},
                        {2, RawChannel({1, 2})}};
  TBytes o;
  PutHeader(o, THeader{1, 3, 3, 4, 8, 3});
  o.u32(0).u32(0);
  PutLayerSection(o, layers, 1);
  o.u16(0);
  o.b.resize(o.b.size() + 36, 50);
  TVXBitmap target;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&target);
  TVXMemStream in(o.b.data(), int64_t(o.b.size()));
  ASSERT_TRUE(io.LoadFromStreamPSD(&in));
  ASSERT_EQ(target.Width(), 4);
  ASSERT_TRUE(target.HasAlphaChannel());
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      const int want = y == 2 && x == 1 ? 100 : y == 2 && x == 2 ? 30 : 0;
      EXPECT_EQ(target.Alpha(x, y), want) << x << "," << y;
    }
  EXPECT_EQ(target.Pixels_vx24RGB(0, 0), (TRGB{50, 50, 50}));
}

}  // namespace
