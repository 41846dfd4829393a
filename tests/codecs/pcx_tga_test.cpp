// PCX, DCX and Targa: against netpbm's converters, the encoders' worked
// values, and through the I/O component.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codecs/pcx.h"
#include "codecs/tga.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/filecounts.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/bmp_test_util.h"
#include "tests/codecs/jpeg_test_util.h"

using namespace jpegtest;

namespace {

#undef REQUIRE_NETPBM  // the BMP helpers' one checks other tools
#define REQUIRE_NETPBM() \
  if (!HaveTool("/usr/bin/pcxtoppm")) GTEST_SKIP() << "netpbm missing"

std::vector<uint8_t> MemoryOf(TMemoryStream& M) {
  const uint8_t* p = static_cast<const uint8_t*>(M.Memory());
  return std::vector<uint8_t>(p, p + M.Size());
}

struct Loaded {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  std::unique_ptr<TVXMask> Mask;
  bool Aborting = false;
};

void LoadPCX(const std::vector<uint8_t>& B, Loaded& L) {
  TVXMemStream s(B.data(), int64_t(B.size()));
  TProgressRec p;
  p.Aborting = &L.Aborting;
  VXReadPCXStream(&s, &L.Bitmap, L.Params, p, false, -1);
}

void LoadTGA(const std::vector<uint8_t>& B, Loaded& L) {
  TVXMemStream s(B.data(), int64_t(B.size()));
  TProgressRec p;
  p.Aborting = &L.Aborting;
  VXReadTGAStream(&s, &L.Bitmap, L.Params, false, L.Mask, false, p);
}

// Every pixel of the bitmap (vx24RGB or vx1g) equals the PPM.
int Mismatches(TVXBitmap& B, const Pnm& Ref) {
  if (B.Width() != Ref.Width || B.Height() != Ref.Height) return -1;
  TVXBitmap rgb;
  rgb.Assign(&B);
  rgb.SetPixelFormat(vx24RGB);
  int bad = 0;
  for (int y = 0; y < Ref.Height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(rgb.GetScanLine(y));
    for (int x = 0; x < Ref.Width; ++x)
      for (int c = 0; c < 3; ++c) bad += row[3 * x + 2 - c] != (Ref.Channels == 1 ? Ref.At(x, y, 0) : Ref.At(x, y, c));
  }
  return bad;
}

// A small PPM with few colours (palettes stay exact) and an odd width.
void WriteFewColours(const std::string& File, int W, int H, int Colours) {
  std::string header = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
  std::vector<uint8_t> d(header.begin(), header.end());
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int i = (x / 3 + y * 2) % Colours;
      d.push_back(uint8_t(i * 37));
      d.push_back(uint8_t(255 - i * 23));
      d.push_back(uint8_t((i * 91) & 255));
    }
  WriteFile(File, d);
}

// The picture as a 24-bit bitmap; false when it cannot be allocated.
bool BitmapOfPnm(const Pnm& Src, TVXBitmap& Bmp) {
  if (!Bmp.Allocate(Src.Width, Src.Height, vx24RGB)) return false;
  for (int y = 0; y < Src.Height; ++y)
    for (int x = 0; x < Src.Width; ++x) Bmp.SetPixels_vx24RGB(x, y, TRGB{Src.At(x, y, 2), Src.At(x, y, 1), Src.At(x, y, 0)});
  return true;
}

}  // namespace

TEST(Pcx, ReadsWhatNetpbmWrites) {
  REQUIRE_NETPBM();
  ScratchDir dir;
  WriteFewColours(dir / "few.ppm", 37, 11, 12);
  WriteTestPpm(dir / "photo.ppm", 33, 9);
  ASSERT_EQ(Shell("/usr/bin/ppmtopgm " + (dir / "few.ppm") + " | /usr/bin/pgmtopbm > " + (dir / "bw.pbm")), 0);
  const struct {
    const char* Source;
    const char* Options;
  } cases[] = {{"few.ppm", ""},         {"few.ppm", "-8bit"},   {"few.ppm", "-planes 4"}, {"few.ppm", "-packed"},
               {"photo.ppm", "-24bit"}, {"photo.ppm", "-8bit"}, {"bw.pbm", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Source) + " " + c.Options);
    ASSERT_EQ(Shell("/usr/bin/ppmtopcx " + std::string(c.Options) + " " + (dir / c.Source) + " > " + (dir / "a.pcx")), 0);
    ASSERT_EQ(Shell("/usr/bin/pcxtoppm " + (dir / "a.pcx") + " > " + (dir / "a.ppm")), 0);
    Pnm ref;
    ASSERT_TRUE(ReadPnm(dir / "a.ppm", ref));
    Loaded l;
    LoadPCX(ReadFile(dir / "a.pcx"), l);
    ASSERT_FALSE(l.Aborting);
    EXPECT_EQ(Mismatches(l.Bitmap, ref), 0);
  }
}

TEST(Pcx, HeaderFieldsAndDamage) {
  // A 4-plane 1-bit header: 4 bits, 1 sample, 16 colours; 300 x 0 DPI gives the default.
  std::vector<uint8_t> h(128, 0);
  h[0] = 10, h[1] = 5, h[2] = 1, h[3] = 1;
  h[8] = 7;           // xmax: width 8
  h[10] = 1;          // ymax: height 2
  h[12] = 96;  // 96 DPI horizontally, 0 vertically
  h[65] = 4, h[66] = 2;
  for (int i = 0; i < 16; ++i) h[16 + 3 * i] = uint8_t(i * 16);
  std::vector<uint8_t> f = h;
  for (int i = 0; i < 2 * 4; ++i) f.insert(f.end(), {0xC2, 0xAA});  // runs over the plane lines
  Loaded l;
  LoadPCX(f, l);
  ASSERT_FALSE(l.Aborting);
  EXPECT_EQ(l.Params.BitsPerSample(), 4);
  EXPECT_EQ(l.Params.SamplesPerPixel(), 1);
  EXPECT_EQ(l.Params.ColorMapCount(), 16);
  EXPECT_EQ(l.Params.DpiX(), VXGetGlobalSettings()->DefaultDPIX());
  EXPECT_EQ(l.Params.DpiY(), VXGetGlobalSettings()->DefaultDPIY());
  // Pixel 0: bit 7 of 0xAA set in every plane: index 15.
  EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(0, 0).r, 240);
  EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(1, 1).r, 0);

  // Refused headers: manufacturer, depth, encoding, window upside down, too short.
  for (auto change : std::vector<std::pair<int, uint8_t>>{{0, 9}, {3, 9}, {2, 2}, {8, 0}}) {
    std::vector<uint8_t> b = f;
    b[size_t(change.first)] = change.second;
    if (change.first == 8) b[4] = 5;  // xmin 5 > xmax 0
    Loaded x;
    LoadPCX(b, x);
    EXPECT_TRUE(x.Aborting) << change.first;
  }
  Loaded shortFile;
  LoadPCX(std::vector<uint8_t>(h.begin(), h.begin() + 60), shortFile);
  EXPECT_TRUE(shortFile.Aborting);
  // An 8-bit image too short for its palette: black palette, no read outside.
  std::vector<uint8_t> p8(128, 0);
  p8[0] = 10, p8[2] = 0, p8[3] = 8, p8[8] = 1, p8[65] = 1, p8[66] = 2;
  p8.insert(p8.end(), {1, 2});
  Loaded pal;
  LoadPCX(p8, pal);
  EXPECT_FALSE(pal.Aborting);
  EXPECT_EQ(pal.Bitmap.Pixels_vx24RGB(1, 0).g, 0);
  // Truncation and bit flips never crash.
  for (size_t i = 0; i < f.size(); ++i) {
    std::vector<uint8_t> b(f.begin(), f.begin() + long(i));
    Loaded x;
    LoadPCX(b, x);
    b = f;
    b[i] ^= 0x5A;
    Loaded y;
    LoadPCX(b, y);
  }
}

TEST(Pcx, EncoderWorkedValues) {
  std::vector<uint8_t> out(1024);
  const std::vector<uint8_t> run(200, 7);
  int n = EncodePCXLine(out.data(), run.data(), 200, 1, 0);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
            std::vector<uint8_t>({0xFF, 7, 0xFF, 7, 0xFF, 7, 0xCB, 7}));
  const uint8_t c5[] = {0xC5, 0x01};
  n = EncodePCXLine(out.data(), c5, 2, 1, 0);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), std::vector<uint8_t>({0xC1, 0xC5, 0x01}));
  const uint8_t odd[] = {1, 2, 3};
  n = EncodePCXLine(out.data(), odd, 3, 1, 0);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), std::vector<uint8_t>({1, 2, 3, 0}));
  // Stride and start pick one plane of interleaved pixels.
  const uint8_t bgr[] = {1, 9, 9, 1, 9, 9};
  n = EncodePCXLine(out.data(), bgr, 2, 3, 0);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), std::vector<uint8_t>({0xC2, 1}));
}

TEST(Pcx, WrittenFilesReadBackEverywhere) {
  REQUIRE_NETPBM();
  ScratchDir dir;
  WriteFewColours(dir / "few.ppm", 23, 7, 9);
  Pnm src;
  ASSERT_TRUE(ReadPnm(dir / "few.ppm", src));
  TVXBitmap bmp;
  ASSERT_TRUE(BitmapOfPnm(src, bmp));
  const struct {
    int Bits, Spp;
    TIOPCXCompression Compression;
  } cases[] = {{8, 3, ioPCX_RLE}, {8, 3, ioPCX_UNCOMPRESSED}, {8, 1, ioPCX_RLE}, {4, 1, ioPCX_RLE},
               {16, 1, ioPCX_RLE},  // an unnamed depth: 8-bit palette
               {8, 2, ioPCX_RLE}};  // more samples: 24 bits
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Bits) + "x" + std::to_string(c.Spp));
    TIOParamsVals p(nullptr);
    p.SetBitsPerSample(c.Bits);
    p.SetSamplesPerPixel(c.Spp);
    p.SetPCX_Compression(c.Compression);
    p.SetDpiX(96);
    p.SetDpiY(96);
    TMemoryStream out;
    bool aborting = false;
    TProgressRec prog;
    prog.Aborting = &aborting;
    VXWritePCXStream(&out, &bmp, p, prog);
    ASSERT_FALSE(aborting);
    if (c.Compression == ioPCX_RLE) {  // pcxtoppm reads run-length files only
      WriteFile(dir / "w.pcx", MemoryOf(out));
      ASSERT_EQ(Shell("/usr/bin/pcxtoppm " + (dir / "w.pcx") + " > " + (dir / "w.ppm")), 0);
      Pnm back;
      ASSERT_TRUE(ReadPnm(dir / "w.ppm", back));
      EXPECT_EQ(back.Samples, src.Samples);  // nine colours: every palette is exact
    }
    Loaded l;
    LoadPCX(MemoryOf(out), l);
    EXPECT_EQ(Mismatches(l.Bitmap, src), 0);
  }
  // 1 bit from a two-coloured image.
  TVXBitmap bw;
  ASSERT_TRUE(bw.Allocate(13, 3, vx1g));
  bw.SetPixels_vx1g(4, 1, true);
  TIOParamsVals p(nullptr);
  p.SetBitsPerSample(1);
  p.SetSamplesPerPixel(1);
  TMemoryStream out;
  TProgressRec prog;
  VXWritePCXStream(&out, &bw, p, prog);
  Loaded l;
  LoadPCX(MemoryOf(out), l);
  ASSERT_EQ(l.Bitmap.PixelFormat(), vx1g);
  EXPECT_TRUE(l.Bitmap.Pixels_vx1g(4, 1));
  EXPECT_FALSE(l.Bitmap.Pixels_vx1g(5, 1));
}

TEST(Dcx, PagesInsertedCountedAndRead) {
  ScratchDir dir;
  TVXBitmap pages[3];
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(pages[i].Allocate(10 + i, 5, vx24RGB));
    pages[i].Fill(40 * (i + 1));
  }
  // Three pages, each appended.
  TMemoryStream dcx;
  for (int i = 0; i < 3; ++i) {
    TIOParamsVals p(nullptr);
    p.SetDCX_ImageIndex(i);
    bool aborting = false;
    TProgressRec prog;
    prog.Aborting = &aborting;
    VXWriteDCXStream(&dcx, &pages[i], p, prog);
    ASSERT_FALSE(aborting) << i;
  }
  dcx.SetPosition(0);
  EXPECT_EQ(VXGetDCXStreamImageCount(&dcx), 3);
  // A new page 0 in front of them: four offsets and a 0.
  TVXBitmap first;
  ASSERT_TRUE(first.Allocate(7, 7, vx24RGB));
  first.Fill(9);
  TIOParamsVals p(nullptr);
  p.SetDCX_ImageIndex(0);
  TProgressRec prog;
  VXWriteDCXStream(&dcx, &first, p, prog);
  const std::vector<uint8_t> b = MemoryOf(dcx);
  ASSERT_GT(b.size(), 24u);
  for (int i = 0; i < 4; ++i) EXPECT_NE(b[4 + 4 * i] | b[5 + 4 * i], 0) << i;
  EXPECT_EQ(b[20] | b[21] | b[22] | b[23], 0);
  dcx.SetPosition(0);
  EXPECT_EQ(VXGetDCXStreamImageCount(&dcx), 4);
  for (int i = 0; i < 4; ++i) {
    TVXMemStream s(b.data(), int64_t(b.size()));
    Loaded l;
    l.Params.SetDCX_ImageIndex(i);
    TProgressRec pr;
    pr.Aborting = &l.Aborting;
    VXReadDCXStream(&s, &l.Bitmap, l.Params, pr, false);
    ASSERT_FALSE(l.Aborting);
    EXPECT_EQ(l.Bitmap.Width(), i == 0 ? 7 : 9 + i);
    EXPECT_EQ(l.Params.ImageCount(), 4);
  }
  // An index past the pages, and a stream that is not DCX: refused, unchanged.
  p.SetDCX_ImageIndex(9);
  bool aborting = false;
  prog.Aborting = &aborting;
  VXWriteDCXStream(&dcx, &first, p, prog);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(MemoryOf(dcx), b);

  // Through the component: a file, InsertToFileDCX at 0, identify counts the pages.
  WriteFile(dir / "a.dcx", b);
  TVexlaneIO io(nullptr);
  TVXBitmap ins;
  ASSERT_TRUE(ins.Allocate(3, 3, vx24RGB));
  io.SetAttachedVXBitmap(&ins);
  io.Params().SetDCX_ImageIndex(0);
  io.InsertToFileDCX(dir / "a.dcx");
  EXPECT_FALSE(io.Aborting());
  TVXBitmap r;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&r);
  reader.Params().SetDCX_ImageIndex(0);
  ASSERT_TRUE(reader.LoadFromFileDCX(dir / "a.dcx"));
  EXPECT_EQ(r.Width(), 3);
  EXPECT_EQ(reader.Params().ImageCount(), 5);
  EXPECT_EQ(VXGetDCXFileImageCount(dir / "a.dcx"), 5);
  if (HaveTool("/usr/bin/identify"))
    EXPECT_EQ(Shell("test \"$(/usr/bin/identify " + (dir / "a.dcx") + " | wc -l)\" = 5"), 0);
  WriteFile(dir / "not.dcx", {1, 2, 3, 4, 5, 6, 7, 8});
  io.InsertToFileDCX(dir / "not.dcx");
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ReadFile(dir / "not.dcx").size(), 8u);
  // SaveToStreamDCX into a stream holding data: a one-page DCX.
  TMemoryStream s;
  s.WriteBuffer("junk junk junk", 14);
  io.SaveToStreamDCX(&s);
  s.SetPosition(0);
  EXPECT_EQ(VXGetDCXStreamImageCount(&s), 1);
}

TEST(Pcx, StreamHeadersThroughTheComponent) {
  TVXBitmap a, b;
  ASSERT_TRUE(a.Allocate(9, 4, vx24RGB));
  ASSERT_TRUE(b.Allocate(5, 3, vx24RGB));
  TMemoryStream s;
  TVexlaneIO io(nullptr);
  io.SetStreamHeaders(true);
  io.SetAttachedVXBitmap(&a);
  io.SaveToStreamPCX(&s);
  io.SetAttachedVXBitmap(&b);
  io.SaveToStreamPCX(&s);
  s.WriteBuffer("tail", 4);
  s.SetPosition(0);
  TVXBitmap r;
  TVexlaneIO reader(nullptr);
  reader.SetStreamHeaders(true);
  reader.SetAttachedVXBitmap(&r);
  ASSERT_TRUE(reader.LoadFromStreamPCX(&s));
  EXPECT_EQ(r.Width(), 9);
  ASSERT_TRUE(reader.LoadFromStreamPCX(&s));
  EXPECT_EQ(r.Width(), 5);
  EXPECT_EQ(s.Position(), s.Size() - 4);
  // The old 4-byte header: "PCX" and a byte, then the image to the end.
  TMemoryStream plain;
  io.SetStreamHeaders(false);
  io.SaveToStreamPCX(&plain);
  std::vector<uint8_t> old = {'P', 'C', 'X', 0};
  const std::vector<uint8_t> body = MemoryOf(plain);
  old.insert(old.end(), body.begin(), body.end());
  TVXMemStream o(old.data(), int64_t(old.size()));
  ASSERT_TRUE(reader.LoadFromStreamPCX(&o));
  EXPECT_EQ(r.Width(), 5);
  // A stream without the tag: refused.
  TVXMemStream bad(body.data(), int64_t(body.size()));
  EXPECT_FALSE(reader.LoadFromStreamPCX(&bad));
}

TEST(Targa, ReadsWhatNetpbmAndImageMagickWrite) {
  REQUIRE_NETPBM();
  ScratchDir dir;
  WriteFewColours(dir / "few.ppm", 29, 13, 10);
  WriteTestPpm(dir / "photo.ppm", 31, 9);
  ASSERT_EQ(Shell("/usr/bin/ppmtopgm " + (dir / "photo.ppm") + " > " + (dir / "grey.pgm")), 0);
  ASSERT_EQ(Shell("/usr/bin/ppmtopgm " + (dir / "few.ppm") + " | /usr/bin/pgmtopbm > " + (dir / "bw.pbm")), 0);
  const struct {
    const char* Command;  // %s: scratch folder
    int Type;
  } cases[] = {
      {"/usr/bin/pamtotga -cmap %s/few.ppm", 9},          {"/usr/bin/pamtotga -cmap -norle %s/few.ppm", 1},
      {"/usr/bin/pamtotga -rgb %s/photo.ppm", 10},        {"/usr/bin/pamtotga -rgb -norle %s/photo.ppm", 2},
      {"/usr/bin/pamtotga -mono %s/grey.pgm", 11},        {"/usr/bin/pamtotga -mono -norle %s/grey.pgm", 3},
      {"/usr/bin/convert %s/photo.ppm -compress RLE tga:-", 10},
      {"/usr/bin/convert %s/photo.ppm -compress None tga:-", 2},
      {"/usr/bin/convert %s/photo.ppm -alpha set -channel A -evaluate set 60% +channel tga:-", 2},
  };
  for (const auto& c : cases) {
    std::string cmd = c.Command;
    cmd.replace(cmd.find("%s"), 2, dir.Path);
    SCOPED_TRACE(cmd);
    if (cmd.find("convert") != std::string::npos && !HaveTool("/usr/bin/convert")) continue;
    ASSERT_EQ(Shell(cmd + " > " + (dir / "a.tga")), 0);
    const std::vector<uint8_t> file = ReadFile(dir / "a.tga");
    ASSERT_GT(file.size(), 18u);
    EXPECT_EQ(file[2], c.Type);
    ASSERT_EQ(Shell("/usr/bin/tgatoppm " + (dir / "a.tga") + " > " + (dir / "a.ppm")), 0);
    Pnm ref;
    ASSERT_TRUE(ReadPnm(dir / "a.ppm", ref));
    Loaded l;
    LoadTGA(file, l);
    ASSERT_FALSE(l.Aborting);
    EXPECT_EQ(Mismatches(l.Bitmap, ref), 0);
    if (file[16] == 32) {
      ASSERT_TRUE(l.Mask);
      EXPECT_NEAR(l.Mask->GetPixel(3, 3), 153, 1);
    }
  }
}

TEST(Targa, OriginsRunsAlphaAndExtension) {
  // A 3 x 2 true-colour file, run-length: one packet of 4 red pixels runs
  // over the end of the first row, then 2 raw pixels.
  std::vector<uint8_t> t = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0x20};
  t.insert(t.end(), {0x83, 0, 0, 255, 0x01, 0, 255, 0, 255, 0, 0});
  Loaded l;
  LoadTGA(t, l);
  ASSERT_FALSE(l.Aborting);
  EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(2, 0).r, 255);
  EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(0, 1).r, 255);
  EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(1, 1).g, 255);
  EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(2, 1).b, 255);
  EXPECT_FALSE(l.Mask);
  // Origins: bottom-left (rows bottom up) and right-to-left (mirrored).
  std::vector<uint8_t> o = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x10};
  o.insert(o.end(), {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
  Loaded m;
  LoadTGA(o, m);
  EXPECT_EQ(m.Bitmap.Pixels_vx24RGB(0, 1).r, 2);  // bottom row, mirrored
  EXPECT_EQ(m.Bitmap.Pixels_vx24RGB(1, 0).r, 3);
  // 32 bits with an all-zero alpha: no mask.
  std::vector<uint8_t> z = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 5, 6, 7, 0};
  Loaded n;
  LoadTGA(z, n);
  EXPECT_FALSE(n.Aborting);
  EXPECT_FALSE(n.Mask);
  // No footer: today's date, gamma 2.2.
  EXPECT_DOUBLE_EQ(n.Params.TGA_Gamma(), 2.2);
  EXPECT_GT(n.Params.TGA_Date(), 46000);
  // Depth 4, run-length 1-bit and colour-map indices past the map.
  for (std::vector<uint8_t> bad : {std::vector<uint8_t>{0, 1, 1, 0, 0, 16, 0, 24, 0, 0, 0, 0, 1, 0, 1, 0, 4, 0},
                                   std::vector<uint8_t>{0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0},
                                   std::vector<uint8_t>{0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0}}) {
    Loaded x;
    LoadTGA(bad, x);
    EXPECT_TRUE(x.Aborting);
  }
  std::vector<uint8_t> cm = {0, 1, 1, 0, 0, 2, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20, 10, 20, 30, 40, 50, 60, 1, 200};
  Loaded c;
  LoadTGA(cm, c);
  EXPECT_EQ(c.Bitmap.Pixels_vx24RGB(0, 0).r, 60);
  EXPECT_EQ(c.Bitmap.Pixels_vx24RGB(1, 0).r, 0);  // index 200 is past the map
}

TEST(Targa, WrittenFilesRoundTrip) {
  ScratchDir dir;
  WriteFewColours(dir / "few.ppm", 19, 7, 6);
  Pnm src;
  ASSERT_TRUE(ReadPnm(dir / "few.ppm", src));
  TVXBitmap bmp;
  ASSERT_TRUE(BitmapOfPnm(src, bmp));
  TVXMask alpha;
  alpha.AllocateBits(src.Width, src.Height, 8);
  alpha.Fill(200);
  const struct {
    int Bits, Spp;
    bool Compressed, Alpha;
  } cases[] = {{8, 3, true, false}, {8, 3, false, false}, {8, 1, true, false}, {8, 1, false, false},
               {8, 3, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Bits) + "x" + std::to_string(c.Spp) + (c.Compressed ? " rle" : "") + (c.Alpha ? " alpha" : ""));
    TIOParamsVals p(nullptr);
    p.SetBitsPerSample(c.Bits);
    p.SetSamplesPerPixel(c.Spp);
    p.SetTGA_Compressed(c.Compressed);
    p.SetTGA_Descriptor("made by a test");
    p.SetTGA_AspectRatio(1.5);
    p.SetTGA_Author("Someone");
    TMemoryStream out;
    bool aborting = false;
    TProgressRec prog;
    prog.Aborting = &aborting;
    VXWriteTGAStream(&out, &bmp, p, c.Alpha ? &alpha : nullptr, prog);
    ASSERT_FALSE(aborting);
    const std::vector<uint8_t> file = MemoryOf(out);
    Loaded l;
    LoadTGA(file, l);
    ASSERT_FALSE(l.Aborting);
    EXPECT_EQ(Mismatches(l.Bitmap, src), 0);
    EXPECT_EQ(l.Params.TGA_Descriptor(), std::string("made by a test") + '\0');
    EXPECT_DOUBLE_EQ(l.Params.TGA_AspectRatio(), 1.5);
    EXPECT_EQ(l.Params.TGA_Author(), "Someone");
    const size_t ext = file.size() - 26 - 495;
    EXPECT_EQ(file[ext + 474] | (file[ext + 475] << 8), 15000);
    EXPECT_EQ(file[ext + 476] | (file[ext + 477] << 8), 10000);
    if (c.Alpha) {
      ASSERT_TRUE(l.Mask);
      EXPECT_EQ(l.Mask->GetPixel(2, 2), 200);
    }
    if (HaveTool("/usr/bin/tgatoppm")) {
      WriteFile(dir / "w.tga", file);
      ASSERT_EQ(Shell("/usr/bin/tgatoppm " + (dir / "w.tga") + " > " + (dir / "w.ppm")), 0);
      Pnm back;
      ASSERT_TRUE(ReadPnm(dir / "w.ppm", back));
      EXPECT_EQ(back.Samples, src.Samples);
    }
  }
  // 4 bits: a 16-entry colour map and two pixels a byte (a depth the reader
  // refuses, as it never decodes it).
  {
    TIOParamsVals p(nullptr);
    p.SetBitsPerSample(4);
    p.SetSamplesPerPixel(1);
    TMemoryStream out;
    TProgressRec prog;
    VXWriteTGAStream(&out, &bmp, p, nullptr, prog);
    const std::vector<uint8_t> f = MemoryOf(out);
    EXPECT_EQ(f[1], 1);
    EXPECT_EQ(f[5] | (f[6] << 8), 16);
    EXPECT_EQ(f[16], 4);
    EXPECT_EQ(f.size(), 18u + 1 + 16 * 3 + 7 * 10 + 495 + 26);
    EXPECT_EQ(p.ColorMapCount(), 16);
  }
  // A long descriptor is cut so that its length byte stays valid.
  TIOParamsVals p(nullptr);
  p.SetTGA_Descriptor(std::string(300, 'd'));
  TMemoryStream out;
  TProgressRec prog;
  VXWriteTGAStream(&out, &bmp, p, nullptr, prog);
  EXPECT_EQ(static_cast<const uint8_t*>(out.Memory())[0], 255);
  Loaded l;
  LoadTGA(MemoryOf(out), l);
  EXPECT_EQ(l.Params.TGA_Descriptor().size(), 255u);
  // Other pixel formats: refused.
  TVXBitmap grey;
  ASSERT_TRUE(grey.Allocate(2, 2, vx8g));
  bool aborting = false;
  prog.Aborting = &aborting;
  TMemoryStream none;
  VXWriteTGAStream(&none, &grey, p, nullptr, prog);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(none.Size(), 0);
}

TEST(Targa, ThroughTheComponentWithAlpha) {
  ScratchDir dir;
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(6, 4, vx24RGB));
  bmp.Fill(80);
  bmp.AlphaChannel()->Fill(0);
  bmp.AlphaChannel()->SetPixels_vx8(1, 1, 255);
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&bmp);
  io.SaveToFile(dir / "a.tga", -1);
  ASSERT_FALSE(io.Aborting());
  TVXBitmap r;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&r);
  ASSERT_TRUE(reader.LoadFromFile(dir / "a.tga", -1));
  EXPECT_EQ(reader.Params().FileType(), 11);
  ASSERT_TRUE(r.HasAlphaChannel());
  EXPECT_EQ(r.AlphaChannel()->Pixels_vx8(1, 1), 255);
  EXPECT_EQ(r.AlphaChannel()->Pixels_vx8(2, 1), 0);
  // A PCX by the dispatch too.
  io.SaveToFile(dir / "b.pcx", -1);
  ASSERT_TRUE(reader.LoadFromFile(dir / "b.pcx", -9));
  EXPECT_EQ(reader.Params().FileType(), 4);
  EXPECT_EQ(r.Width(), 6);
}

namespace {

// ImageMagick's decoding of File (written with Format's prefix) as RGBA.
bool MagickRGBA(ScratchDir& Dir, const std::vector<uint8_t>& File, const std::string& Format, int W, int H,
                std::vector<uint8_t>& Out) {
  const std::string in = Dir / "magick-in", raw = Dir / "magick-out.rgba";
  WriteFile(in, File);
  if (Shell("/usr/bin/convert " + Format + ":" + in + " -depth 8 RGBA:" + raw + " 2>/dev/null") != 0) return false;
  Out = ReadFile(raw);
  return Out.size() == size_t(W) * H * 4;
}

}  // namespace

// Grey with alpha (16 bits a pixel, 8 alpha bits): a grey byte then an alpha
// byte, in both row orders, plain and run-length coded.
TEST(Targa, GreyWithAlphaInEveryLayout) {
  const int W = 5, H = 3;
  auto grey = [](int x, int y) { return uint8_t(40 * std::max(x, 1) + 10 * y); };
  auto alpha = [](int x, int y) { return uint8_t(x < 2 ? 255 : (x * 60 + y * 7) % 256); };
  struct Case {
    const char* Name;
    bool TopDown, Rle;
  } cases[] = {{"raw top-left", true, false},
               {"raw bottom-left", false, false},
               {"run-length top-left", true, true},
               {"run-length bottom-left", false, true}};
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> t = {0, 0, uint8_t(c.Rle ? 11 : 3), 0, 0, 0, 0, 0, 0, 0, 0, 0, W, 0, H, 0, 16,
                              uint8_t(c.TopDown ? 0x28 : 0x08)};
    for (int r = 0; r < H; ++r) {
      const int y = c.TopDown ? r : H - 1 - r;
      if (c.Rle) {
        // Pixels 0 and 1 are equal: a run packet of 2, then a raw packet of 3.
        t.insert(t.end(), {0x81, grey(0, y), alpha(0, y), 0x02});
        for (int x = 2; x < W; ++x) t.insert(t.end(), {grey(x, y), alpha(x, y)});
      } else {
        for (int x = 0; x < W; ++x) t.insert(t.end(), {grey(x, y), alpha(x, y)});
      }
    }
    Loaded l;
    LoadTGA(t, l);
    ASSERT_FALSE(l.Aborting);
    EXPECT_EQ(l.Params.BitsPerSample(), 8);
    EXPECT_EQ(l.Params.SamplesPerPixel(), 2);
    ASSERT_TRUE(l.Mask);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(x, y), (TRGB{grey(x, y), grey(x, y), grey(x, y)})) << x << "," << y;
        EXPECT_EQ(l.Mask->GetPixel(x, y), alpha(x, y)) << x << "," << y;
      }
    // Pillow reads grey with alpha (ImageMagick takes it for 15-bit colour).
    if (bmptest::HavePillow()) {
      WriteFile(dir / "ga.tga", t);
      bmptest::Image theirs;
      ASSERT_TRUE(bmptest::DecodePillow(dir, dir / "ga.tga", theirs));
      int bad = 0;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) bad += theirs.At(x, y)[0] != grey(x, y) || theirs.At(x, y)[3] != alpha(x, y);
      EXPECT_EQ(bad, 0) << "against Pillow";
    }
  }
}

// Bit planes of the CGA and EGA layouts (2 or 3 planes of 1 bit, 1 plane of
// 2 bits) index the header palette, plane 0 giving the lowest bit.
TEST(Pcx, CgaAndEgaPlanesIndexTheHeaderPalette) {
  const int W = 10, H = 2;
  auto index = [](int x, int y, int Colours) { return (x + 3 * y) % Colours; };
  struct Case {
    const char* Name;
    int Planes, Bits;
  } cases[] = {{"2 planes of 1 bit", 2, 1}, {"3 planes of 1 bit", 3, 1}, {"1 plane of 2 bits", 1, 2}};
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const int colours = 1 << (c.Planes * c.Bits);
    const int bytesPerLine = ((W * c.Bits + 7) / 8 + 1) / 2 * 2;
    std::vector<uint8_t> f(128, 0);
    f[0] = 10, f[1] = 5, f[2] = 0, f[3] = uint8_t(c.Bits);
    f[8] = W - 1, f[10] = H - 1;
    f[12] = 72, f[14] = 72;
    f[65] = uint8_t(c.Planes), f[66] = uint8_t(bytesPerLine), f[68] = 1;
    for (int i = 0; i < 16; ++i) {
      f[16 + 3 * i] = uint8_t(17 * i);       // red
      f[16 + 3 * i + 1] = uint8_t(255 - 9 * i);  // green
      f[16 + 3 * i + 2] = uint8_t(60 + 5 * i);   // blue
    }
    for (int y = 0; y < H; ++y)
      for (int p = 0; p < c.Planes; ++p) {
        std::vector<uint8_t> line(size_t(bytesPerLine), 0);
        for (int x = 0; x < W; ++x) {
          const int i = index(x, y, colours);
          if (c.Bits == 1) {
            if ((i >> p) & 1) line[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
          } else {
            line[size_t(x) / 4] |= uint8_t(i << (6 - 2 * (x % 4)));
          }
        }
        f.insert(f.end(), line.begin(), line.end());
      }
    Loaded l;
    LoadPCX(f, l);
    ASSERT_FALSE(l.Aborting);
    EXPECT_EQ(l.Params.ColorMapCount(), colours);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int i = index(x, y, colours);
        EXPECT_EQ(l.Bitmap.Pixels_vx24RGB(x, y), (TRGB{uint8_t(60 + 5 * i), uint8_t(255 - 9 * i), uint8_t(17 * i)}))
            << x << "," << y;
      }
    std::vector<uint8_t> theirs;
    if (HaveTool("/usr/bin/convert") && MagickRGBA(dir, f, "PCX", W, H, theirs)) {
      int bad = 0;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const TRGB mine = l.Bitmap.Pixels_vx24RGB(x, y);
          const uint8_t* p = &theirs[(size_t(y) * W + x) * 4];
          bad += p[0] != mine.r || p[1] != mine.g || p[2] != mine.b;
        }
      EXPECT_EQ(bad, 0) << "against ImageMagick";
    }
  }
}
