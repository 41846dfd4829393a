// PSD and PSB reading: ImageMagick's documents against Pillow and psd-tools,
// and hand-made documents for the header checks, the layer records and the
// damaged cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/layer.h"
#include "core/icc.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/psd.h"
#include "io/iptc.h"
#include "io/params.h"
#include "io/probes.h"
#include "io/vexlaneio.h"
#include "tests/formats/psd_test_util.h"

using namespace psdtest;

namespace {

Bytes HexBytes(const std::string& Hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < Hex.size(); i += 2) {
    if (Hex[i] == '\n') {
      --i;
      continue;
    }
    out.push_back(uint8_t(std::stoi(Hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Pillow's merged image of File converted to Mode, and its own mode.
bool PillowImage(const std::string& File, const std::string& Mode, std::string& OwnMode, Bytes& Pixels) {
  const std::string out = RuntimeShell(
      "/usr/bin/python3 -c \"import sys;from PIL import Image;im=Image.open(sys.argv[1]);"
      "print(im.mode);print(im.convert(sys.argv[2]).tobytes().hex())\" " +
      Quote(File) + " " + Mode + " 2>/dev/null");
  const size_t nl = out.find('\n');
  if (nl == std::string::npos) return false;
  OwnMode = out.substr(0, nl);
  Pixels = HexBytes(out.substr(nl + 1));
  return true;
}

Bytes HexOfCommand(const std::string& Command) {
  std::string h;
  for (char ch : RuntimeShell(Command))
    if (isxdigit(uint8_t(ch))) h += ch;
  return HexBytes(h);
}

// ImageMagick's merged image (the first image of a PSD) as RGB bytes.
Bytes MagickRGB(const std::string& File) {
  return HexOfCommand("/usr/bin/convert " + Quote(File + "[0]") + " -depth 8 rgb:- | od -An -v -tx1");
}

Bytes ReadFile(const std::string& Name) {
  const std::string s = RuntimeReadFile(Name);
  return Bytes(s.begin(), s.end());
}

// RGB bytes of a bitmap, red first.
Bytes RGBOf(TVXBitmap& B) {
  Bytes out;
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) {
      const TRGB c = B.Pixels(x, y);
      out.insert(out.end(), {c.r, c.g, c.b});
    }
  return out;
}

// ImageMagick writes the blend key of some layers byte-reversed ("mron"),
// which psd-tools refuses; the fixture gets "norm" there.
void MendBlendKeys(const std::string& File) {
  std::string s = RuntimeReadFile(File);
  for (size_t at = s.find("8BIMmron"); at != std::string::npos; at = s.find("8BIMmron", at)) s.replace(at, 8, "8BIMnorm");
  RuntimeWriteFile(File, s);
}

class PSDFixtures : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RuntimeHaveTool("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick's convert is missing";
    if (!HavePython("PIL")) GTEST_SKIP() << "python3-pil is missing";
  }
  std::string Make(const std::string& Name, const std::string& Args) {
    const std::string f = dir.File(Name);
    // Parentheses of ImageMagick's image stacks stand alone in Args.
    std::string args;
    for (char ch : Args) {
      if (ch == '(' || ch == ')') args += '\\';
      args += ch;
    }
    const int rc = std::system(("/usr/bin/convert " + args + " " + Quote(f) + " 2>/dev/null").c_str());
    EXPECT_EQ(rc, 0) << Args;
    return f;
  }
  TRuntimeScratchDir dir;
};

// ---- header checks ----

TEST(PSDHeader, ProbeAndReaderRefuseWhatTheHeaderRulesOut) {
  struct Case {
    const char* Name;
    THeader H;
    bool Valid;
  };
  const Case cases[] = {
      {"valid PSD", THeader{}, true},
      {"valid PSB", THeader{2, 3, 2, 3, 8, 3}, true},
      {"version 3", THeader{3, 3, 2, 3, 8, 3}, false},
      {"0 channels", THeader{1, 0, 2, 3, 8, 3}, false},
      {"24 channels", THeader{1, 24, 2, 3, 8, 3}, true},
      {"25 channels", THeader{1, 25, 2, 3, 8, 3}, false},
      {"depth 0", THeader{1, 3, 2, 3, 0, 3}, false},
      {"depth 17", THeader{1, 3, 2, 3, 17, 3}, false},
      {"mode 9", THeader{1, 3, 2, 3, 8, 9}, true},
      {"mode 10", THeader{1, 3, 2, 3, 8, 10}, false},
  };
  for (const Case& c : cases) {
    TBytes o;
    PutHeader(o, c.H);
    o.u32(0).u32(0);
    c.H.Version == 2 ? o.u64(0) : o.u32(0);
    o.u16(0);
    o.b.resize(o.b.size() + 144);  // the merged rows of the largest: 24 channels of 2 x 3 bytes
    TVXMemStream s(o.b.data(), int64_t(o.b.size()));
    EXPECT_EQ(VXIsPSDStream(&s), c.Valid) << c.Name;
    EXPECT_EQ(s.Position(), 0) << c.Name;
    auto r = ReadPSD(o.b);
    EXPECT_EQ(r->Aborting, !c.Valid) << c.Name;
  }
}

// ---- ImageMagick's documents ----

TEST_F(PSDFixtures, MergedImageEqualsPillows) {
  struct Case {
    const char* File;
    const char* Args;
  };
  const Case cases[] = {
      {"rgb.psd", "-size 7x5 gradient:red-blue -depth 8"},
      {"rgb-rle.psd", "-size 7x5 plasma:fractal -seed 3 -depth 8 -compress RLE"},
      {"gray.psd", "-size 9x4 gradient: -colorspace Gray -depth 8"},
      {"indexed.psd", "-size 7x5 gradient:red-blue -depth 8 -colors 6 -type Palette"},
      {"bitmap.psd", "-size 10x3 pattern:gray50 -depth 1 -type Bilevel"},
      {"layers.psd",
       "-size 8x6 gradient:yellow-navy -depth 8 ( -size 3x2 xc:green -repage +1+2 ) "
       "( -size 2x2 xc:red -repage +5+3 )"},
  };
  for (const Case& c : cases) {
    const std::string f = Make(c.File, c.Args);
    std::string mode;
    Bytes theirs;
    ASSERT_TRUE(PillowImage(f, "RGB", mode, theirs)) << c.File;
    // Pillow reads Bitmap-mode pixels inverted (1 in the file is black):
    // ImageMagick is the oracle there.
    if (mode == "1") theirs = MagickRGB(f);
    auto r = ReadPSD(ReadFile(f), false);
    ASSERT_FALSE(r->Aborting) << c.File;
    EXPECT_EQ(r->Bitmap->PixelFormat(), mode == "1" ? vx1g : vx24RGB) << c.File;
    EXPECT_EQ(RGBOf(*r->Bitmap), theirs) << c.File << " (Pillow mode " << mode << ")";
  }
}

TEST_F(PSDFixtures, CMYKChannelsAreKeptAsStored) {
  const std::string f = Make("cmyk.psd", "-size 6x5 gradient:red-blue -depth 8 -colorspace CMYK");
  std::string mode;
  Bytes theirs;
  ASSERT_TRUE(PillowImage(f, "CMYK", mode, theirs));
  ASSERT_EQ(mode, "CMYK");
  auto r = ReadPSD(ReadFile(f), true);
  ASSERT_EQ(r->Bitmap->PixelFormat(), vxCMYK);
  Bytes ours;
  for (int32_t y = 0; y < r->Bitmap->Height(); ++y)
    for (int32_t x = 0; x < r->Bitmap->Width(); ++x) {
      const TCMYK c = r->Bitmap->Pixels_vxCMYK(x, y);
      // The file and the bitmap hold 255 minus the ink; Pillow the ink.
      ours.insert(ours.end(), {uint8_t(255 - c.c), uint8_t(255 - c.m), uint8_t(255 - c.y), uint8_t(255 - c.k)});
    }
  EXPECT_EQ(ours, theirs);
}

TEST_F(PSDFixtures, FormatsFollowDepthAndModeWithAndWithoutNativeFormat) {
  struct Case {
    const char* File;
    const char* Args;
    TVXPixelFormat Native;
  };
  const Case cases[] = {
      {"rgb8.psd", "-size 4x3 gradient:red-blue -depth 8", vx24RGB},
      {"rgb16.psd", "-size 4x3 gradient:red-blue -depth 16", vx48RGB},
      {"gray8.psd", "-size 4x3 gradient: -colorspace Gray -depth 8", vx8g},
      {"gray16.psd", "-size 4x3 gradient: -colorspace Gray -depth 16", vx16g},
      {"cmyk8.psd", "-size 4x3 gradient:red-blue -colorspace CMYK -depth 8", vxCMYK},
      {"cmyk16.psd", "-size 4x3 gradient:red-blue -colorspace CMYK -depth 16", vxCMYK},
      {"indexed.psd", "-size 4x3 gradient:red-blue -depth 8 -colors 4 -type Palette", vx8p},
      {"bitmap.psd", "-size 4x3 pattern:gray50 -depth 1 -type Bilevel", vx1g},
  };
  for (const Case& c : cases) {
    const Bytes data = ReadFile(Make(c.File, c.Args));
    auto native = ReadPSD(data, true);
    auto plain = ReadPSD(data, false);
    EXPECT_EQ(native->Bitmap->PixelFormat(), c.Native) << c.File;
    EXPECT_EQ(plain->Bitmap->PixelFormat(), c.Native == vx1g ? vx1g : vx24RGB) << c.File;
    EXPECT_EQ(native->Bitmap->Width(), 4) << c.File;
    EXPECT_EQ(native->Bitmap->Height(), 3) << c.File;
  }
  // 16-bit grey keeps every bit of ImageMagick's values.
  const std::string g = Make("ramp16.psd", "-size 1x5 gradient:white-black -colorspace Gray -depth 16");
  auto r = ReadPSD(ReadFile(g), true);
  ASSERT_EQ(r->Bitmap->PixelFormat(), vx16g);
  const Bytes theirs =
      HexOfCommand("/usr/bin/convert " + Quote(g + "[0]") + " -depth 16 -endian MSB gray:- | od -An -v -tx1");
  ASSERT_EQ(theirs.size(), 10u);
  for (int32_t y = 0; y < 5; ++y)
    EXPECT_EQ(r->Bitmap->Pixels_vx16g(0, y), uint16_t(theirs[2 * y] << 8 | theirs[2 * y + 1])) << y;
}

TEST_F(PSDFixtures, ResolutionProfileIPTCAndXMPOfImageMagicksDocuments) {
  // ImageMagick writes a colour profile and passes image resources (an
  // IPTC record and an XMP packet) through from an 8BIM profile.
  TVXICC adobe;
  adobe.Assign_AdobeRGB1998();
  const std::string icc(reinterpret_cast<const char*>(adobe.Raw()), size_t(adobe.RawLength()));
  RuntimeWriteFile(dir.File("a.icc"), icc);
  const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
  TBytes iptc;
  iptc.u8(0x1C).u8(2).u8(0).u16(2).u16(4).u8(0x1C).u8(2).u8(120).u16(5).str("hello");
  TBytes res;
  PutResource(res, 1028, iptc.b);
  PutResource(res, 1060, Bytes(xmp.begin(), xmp.end()));
  RuntimeWriteFile(dir.File("m.8bim"), std::string(res.b.begin(), res.b.end()));
  const std::string f = Make("meta.psd", "-size 5x4 gradient:red-blue -depth 8 -profile " + Quote(dir.File("m.8bim")) +
                                             " -profile " + Quote(dir.File("a.icc")) +
                                             " -density 150x200 -units PixelsPerInch");
  auto r = ReadPSD(ReadFile(f), true);
  ASSERT_FALSE(r->Aborting);
  EXPECT_EQ(r->Params->DpiX(), 150);
  EXPECT_EQ(r->Params->DpiY(), 200);
  EXPECT_EQ(r->Params->XMP_Info(), xmp);
  const int32_t caption = r->Params->IPTC_Info().IndexOf(2, 120);
  ASSERT_GE(caption, 0);
  EXPECT_EQ(r->Params->IPTC_Info().StringItem(caption), "hello");
  ASSERT_EQ(r->Params->InputICCProfile().RawLength(), adobe.RawLength());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r->Params->InputICCProfile().Raw()), icc.size()), icc);
  ASSERT_NE(r->Bitmap->ColorProfile(), nullptr);
  EXPECT_EQ(r->Bitmap->ColorProfile()->RawLength(), adobe.RawLength());
}

TEST_F(PSDFixtures, LayersMatchPsdToolsAndPillow) {
  if (!HavePython("psd_tools")) GTEST_SKIP() << "python3-psd-tools is missing";
  for (int depth : {8, 16}) {
    const std::string d = std::to_string(depth);
    const std::string f =
        Make("layers" + d + ".psd", "-size 8x6 gradient:yellow-navy -depth " + d +
                                        " ( -size 3x2 plasma:fractal -seed 5 -alpha set -channel A -evaluate set 60% "
                                        "+channel -repage +1+2 -set label first ) "
                                        "( -size 2x4 gradient:red-blue -repage +5+1 -set label second ) -compress RLE");
    MendBlendKeys(f);
    // Name, left, top, width, height, opacity, visible, then RGBA bytes.
    const std::string out = RuntimeShell(
        "/usr/bin/python3 -c \"import sys;from psd_tools import PSDImage;p=PSDImage.open(sys.argv[1])\n"
        "for l in p:\n"
        "  print(l.name, l.left, l.top, l.width, l.height, l.opacity, int(l.visible));"
        "print(l.topil().convert('RGBA').tobytes().hex())\" " +
        Quote(f) + " 2>/dev/null");
    std::istringstream lines(out);
    // 16-bit layers come to 8 bits; psd-tools rounds where the bitmap
    // takes the high byte, so they may differ by one.
    auto r = ReadPSD(ReadFile(f), false, true);
    ASSERT_FALSE(r->Aborting) << d;
    const int tolerance = depth == 16 ? 1 : 0;
    size_t i = 0;
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string name;
      int left, top, width, height, opacity, visible;
      fields >> name >> left >> top >> width >> height >> opacity >> visible;
      std::string hex;
      std::getline(lines, hex);
      ASSERT_LT(i, r->Layers.size()) << d;
      TVXLayer& l = *r->Layers[i++];
      EXPECT_EQ(l.Name(), name) << d;
      EXPECT_EQ(l.PosX(), left) << name << d;
      EXPECT_EQ(l.PosY(), top) << name << d;
      EXPECT_EQ(l.Width(), width) << name << d;
      EXPECT_EQ(l.Height(), height) << name << d;
      EXPECT_EQ(int(l.Opacity() * 255 + 0.5), opacity) << name << d;
      EXPECT_EQ(l.Visible(), visible != 0) << name << d;
      const Bytes theirs = HexBytes(hex);
      TVXBitmap* b = l.Bitmap();
      ASSERT_EQ(b->PixelFormat(), vx24RGB) << name << d;
      ASSERT_EQ(theirs.size(), size_t(b->Width()) * b->Height() * 4) << name << d;
      int worst = 0;
      for (int32_t y = 0; y < b->Height(); ++y)
        for (int32_t x = 0; x < b->Width(); ++x) {
          const TRGB c = b->Pixels_vx24RGB(x, y);
          const uint8_t ours[4] = {c.r, c.g, c.b, b->HasAlphaChannel() ? b->Alpha(x, y) : uint8_t(255)};
          for (int k = 0; k < 4; ++k)
            worst = std::max(worst, std::abs(int(ours[k]) - theirs[size_t((y * b->Width() + x) * 4 + k)]));
        }
      EXPECT_LE(worst, tolerance) << name << d;
    }
    EXPECT_EQ(i, 2u) << d;
    EXPECT_EQ(r->Layers.size(), 2u) << d;
    if (depth == 16) continue;  // Pillow reads 8-bit documents only

    // Pillow's layer records: name and box.
    const std::string pil = RuntimeShell(
        "/usr/bin/python3 -c \"import sys;from PIL import Image;im=Image.open(sys.argv[1])\n"
        "for l in im.layers: print(l[0], *l[2])\" " + Quote(f) + " 2>/dev/null");
    std::string ours;
    for (auto& l : r->Layers)
      ours += l->Name() + " " + std::to_string(l->PosX()) + " " + std::to_string(l->PosY()) + " " +
              std::to_string(l->PosX() + l->Width()) + " " + std::to_string(l->PosY() + l->Height()) + "\n";
    EXPECT_EQ(pil, ours);
  }
}

// ---- hand-made documents: the reader's edge cases ----

TEST(PSDRead, BitmapModeRowsKeepEveryPixelInverted) {
  TBytes o;
  PutHeader(o, THeader{1, 1, 2, 10, 1, 0});
  o.u32(0).u32(0).u32(0);
  // Raw rows of 2 bytes: 1 in the file is black.
  o.u16(0).u8(0xF0).u8(0x40).u8(0x01).u8(0xC0);
  auto r = ReadPSD(o.b);
  ASSERT_FALSE(r->Aborting);
  ASSERT_EQ(r->Bitmap->PixelFormat(), vx1g);
  ASSERT_EQ(r->Bitmap->Width(), 10);
  const char* rows[2] = {"0000111110", "1111111000"};
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(r->Bitmap->Pixels_vx1g(x, y), rows[y][x] == '1') << x << "," << y;
}

TEST(PSDRead, IndexedTransparencyIndexGivesAlphaZeroExactlyThere) {
  TBytes o;
  PutHeader(o, THeader{1, 1, 2, 4, 8, 2});
  o.lengthed(4, [](TBytes& c) {
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 256; ++i) c.u8(uint8_t(i * (k + 1)));
  });
  o.lengthed(4, [](TBytes& r) { PutResource(r, 1047, {0, 5}); });
  o.u32(0);
  o.u16(0).raw({5, 4, 5, 6, 0, 5, 255, 3});
  auto r = ReadPSD(o.b);
  ASSERT_EQ(r->Bitmap->PixelFormat(), vx8p);
  ASSERT_TRUE(r->Bitmap->HasAlphaChannel());
  EXPECT_EQ(r->Bitmap->Palette(6).r, 6);
  EXPECT_EQ(r->Bitmap->Palette(6).g, 12);
  EXPECT_EQ(r->Bitmap->Palette(6).b, 18);
  const uint8_t index[8] = {5, 4, 5, 6, 0, 5, 255, 3};
  for (int32_t i = 0; i < 8; ++i)
    EXPECT_EQ(r->Bitmap->Alpha(i % 4, i / 4), index[i] == 5 ? 0 : 255) << i;

  // Without the 768-byte palette the indices are a grey ramp.
  TBytes g;
  PutHeader(g, THeader{1, 1, 1, 2, 8, 2});
  g.u32(0).u32(0).u32(0).u16(0).raw({7, 200});
  auto grey = ReadPSD(g.b);
  EXPECT_EQ(grey->Bitmap->Palette(200), (TRGB{200, 200, 200}));
}

// Three 1x1 RGB layers named a, b, c at x = 0, 1, 2 with red 10, 20, 30.
std::vector<TLayerSpec> ThreeLayers() {
  std::vector<TLayerSpec> layers;
  for (int i = 0; i < 3; ++i) {
    TLayerSpec l;
    l.Left = i;
    l.Right = i + 1;
    l.Name = std::string(1, char('a' + i));
    l.Channels = {{0, RawChannel({uint8_t(10 * (i + 1))})}, {1, RawChannel({1})}, {2, RawChannel({2})}};
    layers.push_back(l);
  }
  return layers;
}

Bytes Document(const std::vector<TLayerSpec>& Layers, int16_t Count, uint8_t MergedRed = 99) {
  TBytes o;
  PutHeader(o, THeader{1, 3, 1, 3, 8, 3});
  o.u32(0).u32(0);
  PutLayerSection(o, Layers, Count);
  o.u16(0);
  for (int c = 0; c < 3; ++c) o.raw({MergedRed, MergedRed, MergedRed});
  return o.b;
}

TEST(PSDRead, WhichLayersAndWhetherTheMergedImageAreRead) {
  struct Case {
    const char* Name;
    int Layers;
    int16_t Count;
    bool LoadLayers, WithList;
    std::string Select;
    std::vector<std::string> Names;
    bool Merged;
  };
  const Case cases[] = {
      {"three layers", 3, 3, true, true, "", {"a", "b", "c"}, false},
      {"count -3 loads three layers", 3, -3, true, true, "", {"a", "b", "c"}, false},
      {"LoadLayers false with three", 3, 3, false, true, "", {}, true},
      {"one layer with a list", 1, 1, false, true, "", {"a"}, true},
      {"no list", 3, 3, true, false, "", {}, true},
      {"selecting the second", 3, 3, true, true, "b", {"b"}, false},
  };
  for (const Case& c : cases) {
    std::vector<TLayerSpec> layers = ThreeLayers();
    layers.resize(size_t(c.Layers));
    auto r = ReadPSD(Document(layers, c.Count), true, c.LoadLayers, c.WithList, c.Select);
    ASSERT_FALSE(r->Aborting) << c.Name;
    std::vector<std::string> names;
    for (auto& l : r->Layers) names.push_back(l->Name());
    EXPECT_EQ(names, c.Names) << c.Name;
    for (auto& l : r->Layers) {
      const int i = l->Name()[0] - 'a';
      EXPECT_EQ(l->PosX(), i) << c.Name;
      EXPECT_EQ(l->Bitmap()->Pixels_vx24RGB(0, 0), (TRGB{2, 1, uint8_t(10 * (i + 1))})) << c.Name;
    }
    EXPECT_EQ(!r->Bitmap->IsEmpty(), c.Merged) << c.Name;
    if (c.Merged) EXPECT_EQ(r->Bitmap->Pixels_vx24RGB(2, 0), (TRGB{99, 99, 99})) << c.Name;
  }
}

TEST(PSDRead, LayerRecordsAndChannelsInOddShapes) {
  // An empty rectangle (its mask goes with it), a 36-byte mask block, a
  // mask block shorter than its fields, a ZIP channel and a spot channel
  // that are stepped over by their lengths.
  std::vector<TLayerSpec> layers(4);
  TBytes mask20;
  mask20.u32(0).u32(0).u32(1).u32(1).u8(0).u8(0).u16(0);
  layers[0].Name = "empty";
  layers[0].Top = 3, layers[0].Bottom = 1;  // bottom above top
  layers[0].MaskBlock = mask20.b;
  layers[0].Channels = {{0, RawChannel({})}, {-2, RawChannel({77})}};
  layers[1].Name = "mask36";
  TBytes mask36;
  mask36.u32(0).u32(1).u32(2).u32(3).u8(255).u8(0).u16(0).u32(0).u32(0).u32(0).u32(0);
  layers[1].MaskBlock = mask36.b;
  layers[1].Right = 2;
  layers[1].Channels = {{0, RawChannel({40, 41})}, {-2, RawChannel({200, 201, 202, 203})}};
  layers[2].Name = "short";
  layers[2].MaskBlock = {1, 2, 3, 4, 5, 6, 7, 8};
  layers[2].Channels = {{2, {0, 2, 0xAA, 0xBB, 0xCC}}, {7, RawChannel({9})}, {1, RawChannel({50})}};
  layers[3].Name = "after";
  layers[3].Channels = {{0, RawChannel({60})}};
  layers.resize(5);
  layers[4].Name = "zip only";
  layers[4].Channels = {{0, {0, 3, 0x78, 0x9C}}, {1, {0, 2, 0x78}}};
  auto r = ReadPSD(Document(layers, 5), true, true);
  ASSERT_FALSE(r->Aborting);
  std::vector<std::string> names;
  for (auto& l : r->Layers) names.push_back(l->IsMask() ? "mask of " + names.back() : l->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"mask36", "mask of mask36", "short", "after", "zip only"}));
  ASSERT_EQ(r->Layers.size(), 5u);
  EXPECT_EQ(r->Layers[4]->Bitmap()->Pixels_vx24RGB(0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(r->Layers[0]->Bitmap()->Pixels_vx24RGB(1, 0).r, 41);
  TVXLayer& m = *r->Layers[1];
  EXPECT_TRUE(m.IsMask());
  EXPECT_FALSE(m.Visible());
  EXPECT_EQ(m.PosX(), 1);
  EXPECT_EQ(m.PosY(), 0);
  EXPECT_EQ(m.Bitmap()->PixelFormat(), vx8g);
  EXPECT_EQ(m.Bitmap()->Width(), 2);
  EXPECT_EQ(m.Bitmap()->Height(), 2);
  EXPECT_EQ(m.Bitmap()->Pixels_vx8(1, 1), 203);
  EXPECT_EQ(r->Layers[2]->Bitmap()->Pixels_vx24RGB(0, 0), (TRGB{0, 50, 0}));
  EXPECT_EQ(r->Layers[3]->Bitmap()->Pixels_vx24RGB(0, 0).r, 60);
}

TEST(PSDRead, LayerFieldsComeFromTheRecord) {
  std::vector<TLayerSpec> layers(1);
  layers[0].Name = "hidden";
  layers[0].Top = -1, layers[0].Left = -2, layers[0].Bottom = 0, layers[0].Right = -1;
  layers[0].Opacity = 51;
  layers[0].Flags = 2;
  layers[0].Clipping = 1;
  layers[0].Channels = {{-1, RawChannel({128})}, {0, RawChannel({1})}};
  auto r = ReadPSD(Document(layers, 1), true, true);
  ASSERT_EQ(r->Layers.size(), 1u);
  TVXLayer& l = *r->Layers[0];
  EXPECT_EQ(l.PosX(), -2);
  EXPECT_EQ(l.PosY(), -1);
  EXPECT_DOUBLE_EQ(l.Opacity(), 0.2);
  EXPECT_FALSE(l.Visible());
  EXPECT_FALSE(l.Cropped());
  EXPECT_EQ(l.Bitmap()->Alpha(0, 0), 128);
}

TEST(PSDRead, ResourcesAndRLERows) {
  TBytes o;
  PutHeader(o, THeader{1, 1, 2, 4, 8, 1});
  o.u32(0);
  o.lengthed(4, [](TBytes& r) {
    // 72.5 ppi; an empty resource; XMP after it.
    TBytes res;
    res.u32(72 * 65536 + 32768).u16(1).u16(1).u32(300 * 65536).u16(1).u16(1);
    PutResource(r, 1005, res.b);
    PutResource(r, 1000, {});
    PutResource(r, 1060, {'<', 'x', '/', '>', '!'});
  });
  o.u32(0);
  // Row 0: a run of 200 (more than the row), row 1: literal 3 then a run.
  o.u16(1).u16(2).u16(5);
  o.u8(257 - 128).u8(7);
  o.u8(1).u8(1).u8(2).u8(0xFE).u8(9);
  auto r = ReadPSD(o.b);
  ASSERT_FALSE(r->Aborting);
  EXPECT_EQ(r->Params->DpiX(), 72);
  EXPECT_EQ(r->Params->DpiY(), 300);
  EXPECT_EQ(r->Params->XMP_Info(), "<x/>!");
  const uint8_t want[2][4] = {{7, 7, 7, 7}, {1, 2, 9, 9}};
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(r->Bitmap->Pixels_vx8(x, y), want[y][x]) << x << "," << y;
}

TEST(PSDRead, MergedImagesThatGiveNoPixels) {
  struct Case {
    const char* Name;
    THeader H;
    Bytes Merged;
    bool Aborting;
  };
  const Case cases[] = {
      {"16-bit indexed", THeader{1, 1, 1, 2, 16, 2}, {0, 0, 1, 2, 3, 4}, true},
      {"depth 4", THeader{1, 1, 1, 2, 4, 1}, {0, 0, 0x12}, true},
      {"no merged data", THeader{1, 3, 1, 2, 8, 3}, {}, true},
      {"width 0", THeader{1, 3, 1, 0, 8, 3}, {0, 0}, true},
      {"ZIP: rows stay zero", THeader{1, 3, 1, 2, 8, 3}, {0, 2, 0x78, 0x9C, 1, 2}, false},
  };
  for (const Case& c : cases) {
    TBytes o;
    PutHeader(o, c.H);
    o.u32(0).u32(0).u32(0).raw(c.Merged);
    auto r = ReadPSD(o.b);
    EXPECT_EQ(r->Aborting, c.Aborting) << c.Name;
    if (!c.Aborting) {
      ASSERT_EQ(r->Bitmap->Width(), 2) << c.Name;
      EXPECT_EQ(r->Bitmap->Pixels_vx24RGB(1, 0), (TRGB{0, 0, 0})) << c.Name;
    }
  }
}

TEST(PSDRead, ProgressCountsTheRowsRead) {
  TBytes o;
  PutHeader(o, THeader{1, 2, 2, 1, 8, 1});
  o.u32(0).u32(0).u32(0).u16(0).raw({1, 2, 3, 4});
  std::vector<int32_t> seen;
  TVXBitmap b;
  TIOParamsVals p;
  bool aborting = false;
  TProgressRec pr;
  pr.Aborting = &aborting;
  pr.fOnProgress = [&](void*, int32_t Percent) { seen.push_back(Percent); };
  TVXMemStream in(o.b.data(), int64_t(o.b.size()));
  VXReadPSDStream(&in, &b, p, pr, false, nullptr);
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 25, 50, 75}));
  EXPECT_EQ(b.Alpha(0, 1), 4);
}

TEST(PSDRead, ARGBDocumentOfFourChannelsCarriesAlpha) {
  TBytes o;
  PutHeader(o, THeader{1, 4, 1, 2, 8, 3});
  o.u32(0).u32(0).u32(0);
  o.u16(0).raw({10, 11, 20, 21, 30, 31, 0, 200});
  for (bool native : {true, false}) {
    auto r = ReadPSD(o.b, native);
    ASSERT_EQ(r->Bitmap->PixelFormat(), vx24RGB);
    EXPECT_EQ(r->Bitmap->Pixels_vx24RGB(1, 0), (TRGB{31, 21, 11}));
    ASSERT_TRUE(r->Bitmap->HasAlphaChannel());
    EXPECT_EQ(r->Bitmap->Alpha(0, 0), 0);
    EXPECT_EQ(r->Bitmap->Alpha(1, 0), 200);
  }
}

// A 3 x 2 RGB document of one layer covering it, through the I/O component.
// The layer's channels are given; the merged image has the colours and, with
// MergedAlpha, a fourth channel of transparency.
TEST(PSDRead, OneLayerRGBADocumentKeepsItsTransparency) {
  const Bytes alpha = {0, 50, 100, 150, 200, 255}, red = {9, 9, 9, 9, 9, 9}, green = {8, 8, 8, 8, 8, 8},
              blue = {7, 7, 7, 7, 7, 7}, layerAlpha = {255, 200, 150, 100, 50, 0};
  const Bytes zip = {0, 2, 0x78, 0x9C, 0x63, 0x60};
  struct Case {
    const char* Name;
    std::vector<std::pair<int16_t, Bytes>> LayerChannels;
    bool MergedAlpha;
    Bytes Expected;  // alpha of the loaded image; empty: none
  } cases[] = {
      {"layer transparency stored compressed (not decoded): the merged image's",
       {{0, RawChannel(red)}, {1, RawChannel(green)}, {2, RawChannel(blue)}, {-1, zip}}, true, alpha},
      {"no layer transparency: the merged image's",
       {{0, RawChannel(red)}, {1, RawChannel(green)}, {2, RawChannel(blue)}}, true, alpha},
      {"the layer's, read",
       {{-1, RawChannel(layerAlpha)}, {0, RawChannel(red)}, {1, RawChannel(green)}, {2, RawChannel(blue)}}, false,
       layerAlpha},
      {"neither", {{0, RawChannel(red)}, {1, RawChannel(green)}, {2, RawChannel(blue)}}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TBytes o;
    PutHeader(o, THeader{1, uint16_t(c.MergedAlpha ? 4 : 3), 2, 3, 8, 3});
    o.u32(0).u32(0);
    TLayerSpec layer;
    layer.Bottom = 2, layer.Right = 3, layer.Name = "only";
    layer.Channels = c.LayerChannels;
    PutLayerSection(o, {layer}, -1);
    o.u16(0).raw(red).raw(green).raw(blue);
    if (c.MergedAlpha) o.raw(alpha);
    TVexlaneIO io;
    TVXMemStream in(o.b.data(), int64_t(o.b.size()));
    ASSERT_TRUE(io.LoadFromStreamPSD(&in));
    TVXBitmap& b = *io.VXBitmap();
    ASSERT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Pixels_vx24RGB(2, 1), (TRGB{7, 8, 9}));
    ASSERT_EQ(b.HasAlphaChannel(), !c.Expected.empty());
    for (int32_t i = 0; i < int32_t(c.Expected.size()); ++i) EXPECT_EQ(b.Alpha(i % 3, i / 3), c.Expected[size_t(i)]) << i;
  }
}

// Sections that claim more bytes than the file holds: the document is
// refused, not read as a black image.
TEST(PSDRead, SectionsRunningPastTheEndOfTheFileAreRefused) {
  auto merged = [](TBytes& o, uint16_t Compression) {
    if (Compression == 1) {
      o.u16(1);
      for (int i = 0; i < 3; ++i) o.u16(2);
      for (int i = 0; i < 3; ++i) o.u8(0xFE).u8(uint8_t(60 * (i + 1)));  // a run of 3
    } else {
      o.u16(0).raw({60, 60, 60, 120, 120, 120, 180, 180, 180});
    }
  };
  std::vector<TLayerSpec> layers(1);
  layers[0].Right = 3, layers[0].Name = "a";
  layers[0].Channels = {{0, RawChannel({1, 2, 3})}, {1, RawChannel({4, 5, 6})}, {2, RawChannel({7, 8, 9})}};
  struct Case {
    const char* Name;
    std::function<Bytes()> Make;
  } cases[] = {
      {"colour mode data", [&] { TBytes o; PutHeader(o, THeader{1, 3, 1, 3, 8, 3}); o.u32(5000).u32(0).u32(0); merged(o, 0); return o.b; }},
      {"image resources", [&] { TBytes o; PutHeader(o, THeader{1, 3, 1, 3, 8, 3}); o.u32(0).u32(5000).u32(0); merged(o, 0); return o.b; }},
      {"layer and mask section", [&] { TBytes o; PutHeader(o, THeader{1, 3, 1, 3, 8, 3}); o.u32(0).u32(0).u32(5000); merged(o, 0); return o.b; }},
      {"a layer's channel", [&] {
         TBytes o;
         PutHeader(o, THeader{1, 3, 1, 3, 8, 3});
         o.u32(0).u32(0);
         PutLayerSection(o, layers, 1);
         merged(o, 0);
         // The blue channel's length (the last channel entry of the record).
         const size_t at = 26 + 8 + 4 + 4 + 2 + 16 + 2 + 6 * 2 + 2;
         o.b[at] = 0x10;
         return o.b; }},
      {"raw merged rows", [&] { TBytes o; PutHeader(o, THeader{1, 3, 1, 3, 8, 3}); o.u32(0).u32(0).u32(0); merged(o, 0); o.b.resize(o.b.size() - 4); return o.b; }},
      {"packed merged rows", [&] { TBytes o; PutHeader(o, THeader{1, 3, 1, 3, 8, 3}); o.u32(0).u32(0).u32(0); merged(o, 1); o.b.resize(o.b.size() - 2); return o.b; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes doc = c.Make();
    for (bool layersToo : {false, true}) {
      auto r = ReadPSD(doc, true, layersToo);
      EXPECT_TRUE(r->Aborting);
      EXPECT_TRUE(r->Bitmap->IsEmpty());
      EXPECT_TRUE(r->Layers.empty());
    }
    TVexlaneIO io;
    TVXMemStream in(doc.data(), int64_t(doc.size()));
    EXPECT_FALSE(io.LoadFromStreamPSD(&in));
  }
  // The same documents whole load.
  TBytes whole;
  PutHeader(whole, THeader{1, 3, 1, 3, 8, 3});
  whole.u32(0).u32(0);
  PutLayerSection(whole, layers, 1);
  merged(whole, 1);
  auto r = ReadPSD(whole.b, true, false);
  ASSERT_FALSE(r->Aborting);
  EXPECT_EQ(r->Bitmap->Pixels_vx24RGB(2, 0), (TRGB{180, 120, 60}));
}

TEST(PSDRead, DamagedDocumentsLoadOrAbortWithinLimits) {
  // A document that claims a huge image over a few bytes is refused before
  // anything is allocated for it.
  TBytes big;
  PutHeader(big, THeader{1, 3, 30000, 30000, 8, 3});
  big.u32(0).u32(0).u32(0).u16(0).raw({1, 2, 3});
  auto r = ReadPSD(big.b);
  EXPECT_TRUE(r->Aborting);
  EXPECT_TRUE(r->Bitmap->IsEmpty());

  // A layer that claims a huge rectangle over a two-byte channel is dropped.
  std::vector<TLayerSpec> layers(1);
  layers[0].Bottom = 40000, layers[0].Right = 40000;
  layers[0].Channels = {{0, RawChannel({1})}};
  auto l = ReadPSD(Document(layers, 1), true, true);
  EXPECT_TRUE(l->Layers.empty());

  // Every truncation and byte flip of the seed documents (ImageMagick's
  // and the writer's, layers, masks, PSB and thumbnail included) loads or
  // aborts, and takes no more memory than the bytes present can fill.
  const std::string seeds = std::string(VX_SOURCE_DIR) + "/fuzz/seeds/psd/";
  const char* files[] = {"rgb-layers.psd", "gray16.psd",        "indexed.psd",       "bitmap.psd",
                         "cmyk.psd",       "lab.psd",           "layers-masks.psd", "layers-masks.psb",
                         "thumbnail-meta.psd"};
  for (const char* name : files) {
    const Bytes whole = ReadFile(seeds + name);
    ASSERT_FALSE(whole.empty()) << name;
    auto bounded = [&](TRead& t, const std::string& what) {
      const int64_t limit = int64_t(whole.size()) * 64 * 16 * 4 + 4096;
      auto bytes = [](TVXBitmap* b) { return b->IsEmpty() ? 0 : int64_t(b->RowLen()) * b->Height(); };
      EXPECT_LE(bytes(t.Bitmap.get()), limit) << what;
      for (auto& l : t.Layers) EXPECT_LE(bytes(l->Bitmap()), limit) << what;
    };
    for (size_t n = 0; n < whole.size(); ++n) {
      auto t = ReadPSD(Bytes(whole.begin(), whole.begin() + n), n % 2 == 0, true);
      if (n < 26) EXPECT_TRUE(t->Aborting) << name << " cut at " << n;
      bounded(*t, std::string(name) + " cut at " + std::to_string(n));
    }
    for (size_t at = 0; at < whole.size(); ++at)
      for (uint8_t flip : {uint8_t(0xFF), uint8_t(0x80), uint8_t(0x01)}) {
        Bytes bad = whole;
        bad[at] ^= flip;
        auto t = ReadPSD(bad, at % 2 == 0, true);
        bounded(*t, std::string(name) + " flipped at " + std::to_string(at));
      }
  }
}

TEST(PSDRead, ProfileIsAppliedWithColourManagementAndKeptWithNativeFormat) {
  TVXICC cmyk;
  cmyk.Assign_CMYKProfile();
  ASSERT_GT(cmyk.RawLength(), 0);
  TBytes o;
  PutHeader(o, THeader{1, 4, 1, 3, 8, 4});
  o.u32(0);
  o.lengthed(4, [&](TBytes& r) {
    PutResource(r, 1039, Bytes(cmyk.Raw(), cmyk.Raw() + cmyk.RawLength()));
  });
  o.u32(0);
  o.u16(0).raw({255, 0, 128, 255, 255, 60, 200, 255, 30, 255, 255, 90});
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const bool cms = settings->EnableCMS();

  auto native = ReadPSD(o.b, true);
  ASSERT_EQ(native->Bitmap->PixelFormat(), vxCMYK);
  ASSERT_NE(native->Bitmap->ColorProfile(), nullptr);
  EXPECT_EQ(native->Bitmap->ColorProfile()->RawLength(), cmyk.RawLength());

  settings->SetEnableCMS(true);
  auto managed = ReadPSD(o.b, false);
  settings->SetEnableCMS(cms);
  ASSERT_EQ(managed->Bitmap->PixelFormat(), vx24RGB);
  if (!managed->Params->InputICCProfile().IsValid()) GTEST_SKIP() << "no colour management to apply the profile";
  // The same conversion as the profile's own, from the file's CMYK.
  TVXBitmap expect;
  expect.Assign(native->Bitmap.get());
  ASSERT_TRUE(native->Params->InputICCProfile().ConvertBitmap(&expect, vx24RGB,
                                                              &native->Params->OutputICCProfile()));
  for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(managed->Bitmap->Pixels_vx24RGB(x, 0), expect.Pixels_vx24RGB(x, 0)) << x;
}

}  // namespace
