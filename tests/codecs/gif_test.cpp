// GIF: the LZW coder, the reader against netpbm's and giflib's tools, the
// component's raw and composed loads against ImageMagick's coalesced frames,
// the writer and the frame editing against gifsicle and giftext.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/gif.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/filecounts.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/jpeg_test_util.h"
#include "tests/core/library_environment.h"

VX_START_LIBRARY_FOR_TESTS();

using namespace jpegtest;

namespace {

#define REQUIRE_TOOL(path) \
  if (!HaveTool(path)) GTEST_SKIP() << path << " missing"

std::string Capture(const std::string& Command) {
  std::string out;
  if (FILE* f = popen((Command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
  }
  return out;
}

struct Frame {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  std::unique_ptr<TVXMask> Mask;
  bool Aborting = false;
  int32_t Count = -1;
};

void ReadGif(const std::vector<uint8_t>& B, Frame& F, int32_t Index = 0, bool Preview = false) {
  TVXMemStream s(B.data(), int64_t(B.size()));
  TProgressRec p;
  p.Aborting = &F.Aborting;
  F.Params.SetGIF_ImageIndex(Index);
  VXReadGIFStream(&s, &F.Bitmap, F.Params, p, F.Mask, Preview, false, F.Count);
}

TRGB PixelOf(TVXBitmap& B, int x, int y) {
  TVXBitmap rgb;
  rgb.Assign(&B);
  rgb.SetPixelFormat(vx24RGB);
  return rgb.Pixels(x, y);
}

// Pixels of the bitmap that differ from the PPM (-1: other size).
int Mismatches(TVXBitmap& B, const Pnm& Ref) {
  if (B.Width() != Ref.Width || B.Height() != Ref.Height) return -1;
  TVXBitmap rgb;
  rgb.Assign(&B);
  rgb.SetPixelFormat(vx24RGB);
  int bad = 0;
  for (int y = 0; y < Ref.Height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(rgb.GetScanLine(y));
    for (int x = 0; x < Ref.Width; ++x) {
      bool same = true;
      for (int c = 0; c < 3; ++c) same &= row[3 * x + 2 - c] == (Ref.Channels == 1 ? Ref.At(x, y, 0) : Ref.At(x, y, c));
      bad += !same;
    }
  }
  return bad;
}

// A PPM of W x H with Colours distinct colours.
void WritePalettePpm(const std::string& File, int W, int H, int Colours, uint32_t Seed = 7) {
  std::string header = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
  std::vector<uint8_t> d(header.begin(), header.end());
  std::mt19937 rng(Seed);
  for (int i = 0; i < W * H; ++i) {
    const int c = (i < Colours) ? i : int(rng() % uint32_t(Colours));
    d.push_back(uint8_t(c * 37));
    d.push_back(uint8_t(255 - c * 11));
    d.push_back(uint8_t((c * 91) & 255));
  }
  WriteFile(File, d);
}

// RGBA samples of a P7 file.
struct Pam {
  int Width = 0, Height = 0, Depth = 0;
  std::vector<uint8_t> Samples;
};
bool ReadPam(const std::string& Name, Pam& Out) {
  const std::vector<uint8_t> d = ReadFile(Name);
  const std::string text(d.begin(), d.end());
  const size_t end = text.find("ENDHDR\n");
  if (text.compare(0, 3, "P7\n") != 0 || end == std::string::npos) return false;
  std::istringstream h(text.substr(3, end - 3));
  std::string key;
  while (h >> key) {
    if (key == "WIDTH") h >> Out.Width;
    else if (key == "HEIGHT") h >> Out.Height;
    else if (key == "DEPTH") h >> Out.Depth;
    else h.ignore(1000, '\n');
  }
  Out.Samples.assign(d.begin() + int64_t(end + 7), d.end());
  return Out.Samples.size() >= size_t(Out.Width) * Out.Height * Out.Depth;
}

std::vector<uint8_t> MemoryOf(TMemoryStream& M) {
  const uint8_t* p = static_cast<const uint8_t*>(M.Memory());
  return std::vector<uint8_t>(p, p + M.Size());
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& Pixels, int W, int H, bool Interlaced, int Bits) {
  TMemoryStream m;
  std::vector<uint8_t> copy = Pixels;
  VXGIFLZWEncode(&m, H, W, Interlaced, copy.data(), Bits);
  return MemoryOf(m);
}

// A minimal one-frame GIF around image data (global table of 2^Bits greys).
std::vector<uint8_t> WrapFrame(const std::vector<uint8_t>& Data, int W, int H, int Bits, bool Interlaced = false) {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8),
                            uint8_t(0x80 | (Bits - 1)), 0, 0};
  for (int i = 0; i < (1 << Bits); ++i) {
    const uint8_t v = uint8_t(i * 255 / ((1 << Bits) - 1));
    g.insert(g.end(), {v, v, v});
  }
  g.insert(g.end(), {0x2C, 0, 0, 0, 0, uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8),
                     uint8_t(Interlaced ? 0x40 : 0)});
  g.insert(g.end(), Data.begin(), Data.end());
  g.push_back(0x3B);
  return g;
}

// ---- LZW coder ----

TEST(GIFLZW, RoundTripsEveryDepthAndOrder) {
  struct Case {
    int W, H, Bits;
    bool Interlaced;
  };
  const Case cases[] = {{1, 1, 1, false}, {7, 5, 2, true},    {9, 13, 4, false},   {300, 200, 8, false},
                        {33, 17, 8, true}, {640, 480, 8, true}, {100, 1, 3, false}, {1, 100, 5, true}};
  for (const Case& c : cases) {
    std::mt19937 rng(uint32_t(c.W * 31 + c.H));
    std::vector<uint8_t> px(size_t(c.W) * c.H);
    // Runs and noise, so that long strings and table resets both occur.
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t((rng() % 4 == 0 ? rng() : i / 37) % (1u << c.Bits));
    const std::vector<uint8_t> data = Encode(px, c.W, c.H, c.Interlaced, c.Bits);
    EXPECT_EQ(data[0], std::max(c.Bits, 2)) << c.W << "x" << c.H;
    TVXMemStream s(data.data(), int64_t(data.size()));
    std::vector<uint8_t> out(px.size(), 0xEE);
    VXGIFLZWDecode(&s, c.H, c.W, c.Interlaced, out.data());
    EXPECT_EQ(s.Position(), int64_t(data.size()));
    EXPECT_EQ(out, px) << c.W << "x" << c.H << " bits " << c.Bits;
  }
}

TEST(GIFLZW, SubBlocksAreAtMost254BytesAndGiflibReadsTheClears) {
  const int W = 256, H = 256;
  std::mt19937 rng(3);
  std::vector<uint8_t> px(size_t(W) * H);
  for (auto& p : px) p = uint8_t(rng());
  const std::vector<uint8_t> data = Encode(px, W, H, false, 8);
  size_t at = 1;
  int blocks = 0;
  while (data[at] != 0) {
    EXPECT_LE(data[at], 254);
    at += data[at] + 1u;
    ++blocks;
  }
  EXPECT_EQ(at + 1, data.size());
  EXPECT_GT(blocks, 100);

  REQUIRE_TOOL("/usr/bin/giftext");
  ScratchDir dir;
  WriteFile(dir / "n.gif", WrapFrame(data, W, H, 8));
  const std::string z = Capture("/usr/bin/giftext -z " + dir / "n.gif");
  EXPECT_NE(z.find("terminated normally"), std::string::npos) << z.substr(0, 400);
  // Random bytes fill the table many times: Clear (0x100) comes again after the first.
  size_t clears = 0;
  for (size_t p = z.find(" 100"); p != std::string::npos; p = z.find(" 100", p + 1)) ++clears;
  EXPECT_GT(clears, 2u);
  REQUIRE_TOOL("/usr/bin/giftopnm");
  Shell("/usr/bin/giftopnm " + dir / "n.gif > " + dir / "n.pgm");
  Pnm ref;
  ASSERT_TRUE(ReadPnm(dir / "n.pgm", ref));
  for (int i = 0; i < W * H; i += 97) EXPECT_EQ(ref.At(i % W, i / W, 0), px[size_t(i)]);
}

TEST(GIFLZW, TwoAndFourColoursUseMinimumCodeSizeTwo) {
  for (int bits : {1, 2}) EXPECT_EQ(Encode({0, 1, 1, 0}, 2, 2, false, bits)[0], 2);
}

TEST(GIFLZW, InterlacedHeightFiveFillsRowsInPassOrder) {
  // Row r of the data holds value r + 1; interlaced height 5 stores the data
  // rows at 0, 4, 2, 1, 3.
  const int W = 3, H = 5;
  std::vector<uint8_t> inPassOrder;
  for (int r = 0; r < H; ++r)
    for (int x = 0; x < W; ++x) inPassOrder.push_back(uint8_t(r + 1));
  const std::vector<uint8_t> data = Encode(inPassOrder, W, H, false, 3);
  TVXMemStream s(data.data(), int64_t(data.size()));
  std::vector<uint8_t> out(size_t(W) * H, 0);
  VXGIFLZWDecode(&s, H, W, true, out.data());
  const int expected[H] = {1, 4, 3, 5, 2};
  for (int y = 0; y < H; ++y) EXPECT_EQ(out[size_t(y) * W], expected[y]) << "row " << y;
}

TEST(GIFLZW, DamagedDataFailsWithTheStreamOnTheCodeSize) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    bool Fails;
  };
  const Case cases[] = {
      {"code size 10", {10, 2, 0x00, 0x00, 0}, true},
      {"code size 1", {1, 2, 0x00, 0x00, 0}, true},
      // Clear(4), 1, then 7: beyond the next free code 6.
      {"code beyond next", {2, 2, 0xCC, 0x01, 0}, true},
      // Clear, EOI with a byte after it.
      {"EOI after Clear", {2, 2, 0x2C, 0xFF, 0}, true},
      // No data at all: nothing decoded, not a failure.
      {"empty chain", {2, 0}, false},
      // Clear, 1, 1, 1 and no End of Information: the pixels present count.
      {"no EOI", {2, 2, 0x4C, 0x02, 0}, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buf = {0xAA};
    buf.insert(buf.end(), c.Data.begin(), c.Data.end());
    TVXMemStream s(buf.data(), int64_t(buf.size()));
    s.SetPosition(1);
    std::vector<uint8_t> out(4, 9);
    VXGIFLZWDecode(&s, 2, 2, false, out.data());
    if (c.Fails)
      EXPECT_EQ(s.Position(), 1) << c.Name;
    else
      EXPECT_EQ(s.Position(), int64_t(buf.size())) << c.Name;
    if (std::string(c.Name) == "no EOI") EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3), (std::vector<uint8_t>{1, 1, 1}));
  }
}

// A test encoder that never emits Clear: once the table is full it goes on
// with the table frozen (a deferred clear).
std::vector<uint8_t> EncodeWithoutClear(const std::vector<uint8_t>& Px, int Bits) {
  const int clear = 1 << Bits, eoi = clear + 1;
  int width = Bits + 1, next = eoi + 1;
  std::map<std::pair<int, int>, int> table;
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int nacc = 0;
  auto put = [&](int code) {
    acc |= uint32_t(code) << nacc;
    nacc += width;
    while (nacc >= 8) {
      bytes.push_back(uint8_t(acc));
      acc >>= 8;
      nacc -= 8;
    }
  };
  put(clear);
  int prefix = Px[0];
  for (size_t i = 1; i < Px.size(); ++i) {
    auto it = table.find({prefix, Px[i]});
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    put(prefix);
    if (next < 4096) {
      table[{prefix, Px[i]}] = next++;
      if (next > (1 << width) && width < 12) ++width;
    }
    prefix = Px[i];
  }
  put(prefix);
  put(eoi);
  if (nacc > 0) bytes.push_back(uint8_t(acc));
  std::vector<uint8_t> out = {uint8_t(Bits)};
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - at);
    out.push_back(uint8_t(n));
    out.insert(out.end(), bytes.begin() + int64_t(at), bytes.begin() + int64_t(at + n));
  }
  out.push_back(0);
  return out;
}

TEST(GIFLZW, DeferredClearDecodesWithTheTableFrozen) {
  const int W = 200, H = 150;
  std::mt19937 rng(11);
  std::vector<uint8_t> px(size_t(W) * H);
  for (auto& p : px) p = uint8_t(rng() % 16);
  const std::vector<uint8_t> data = EncodeWithoutClear(px, 4);
  TVXMemStream s(data.data(), int64_t(data.size()));
  std::vector<uint8_t> out(px.size(), 0);
  VXGIFLZWDecode(&s, H, W, false, out.data());
  EXPECT_EQ(s.Position(), int64_t(data.size()));
  EXPECT_EQ(out, px);

  REQUIRE_TOOL("/usr/bin/gif2rgb");
  ScratchDir dir;
  WriteFile(dir / "d.gif", WrapFrame(data, W, H, 4));
  Shell("/usr/bin/gif2rgb -1 -o " + dir / "d.rgb " + dir / "d.gif");
  const std::vector<uint8_t> rgb = ReadFile(dir / "d.rgb");
  ASSERT_EQ(rgb.size(), px.size() * 3);
  for (size_t i = 0; i < px.size(); ++i) ASSERT_EQ(rgb[3 * i], px[i] * 17) << "pixel " << i;
}

// ---- reading ----

TEST(GIFRead, PamtogifFilesMatchGiftopnm) {
  REQUIRE_TOOL("/usr/bin/pamtogif");
  REQUIRE_TOOL("/usr/bin/giftopnm");
  struct Case {
    int W, H, Colours;
    const char* Options;
  };
  const Case cases[] = {{5, 3, 2, ""},           {9, 7, 3, "-interlace"},      {17, 5, 4, ""},
                        {13, 11, 16, "-interlace"}, {31, 9, 100, ""},          {40, 33, 256, "-interlace"},
                        {8, 1, 5, "-interlace"},   {3, 2, 8, "-sort"}};
  ScratchDir dir;
  for (const Case& c : cases) {
    const std::string tag = std::to_string(c.W) + "x" + std::to_string(c.H) + "/" + std::to_string(c.Colours);
    WritePalettePpm(dir / "s.ppm", c.W, c.H, c.Colours);
    ASSERT_EQ(Shell("/usr/bin/pamtogif " + std::string(c.Options) + " " + dir / "s.ppm > " + dir / "s.gif"), 0);
    Shell("/usr/bin/giftopnm " + dir / "s.gif > " + dir / "r.ppm");
    Pnm ref;
    ASSERT_TRUE(ReadPnm(dir / "r.ppm", ref)) << tag;
    Frame f;
    ReadGif(ReadFile(dir / "s.gif"), f);
    ASSERT_FALSE(f.Aborting) << tag;
    EXPECT_EQ(f.Count, 1);
    EXPECT_EQ(Mismatches(f.Bitmap, ref), 0) << tag;
    EXPECT_EQ(f.Params.GIF_Interlaced(), std::string(c.Options) == "-interlace") << tag;
    EXPECT_EQ(f.Params.ColorMapCount(), 1 << f.Params.BitsPerSample()) << tag;
    // The native format keeps the file's indices with its table.
    Frame n;
    n.Params.IsNativePixelFormat = true;
    ReadGif(ReadFile(dir / "s.gif"), n);
    if (n.Bitmap.PixelFormat() == vx8p) EXPECT_EQ(Mismatches(n.Bitmap, ref), 0) << tag;
  }
}

TEST(GIFRead, TransparencyFromPamtogifBecomesTheMask) {
  REQUIRE_TOOL("/usr/bin/pamtogif");
  ScratchDir dir;
  WritePalettePpm(dir / "t.ppm", 6, 4, 3);
  // Colour 1 of the fixture is (37, 244, 91).
  Shell("/usr/bin/pamtogif -transparent=rgb:25/f4/5b " + dir / "t.ppm > " + dir / "t.gif");
  Frame f;
  ReadGif(ReadFile(dir / "t.gif"), f);
  ASSERT_FALSE(f.Aborting);
  EXPECT_TRUE(f.Params.GIF_FlagTranspColor());
  EXPECT_EQ(f.Params.GIF_TranspColor().g, 244);
  ASSERT_TRUE(f.Mask);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(f.Mask->GetPixel(x, y) == 0, PixelOf(f.Bitmap, x, y).g == 244);
  // A transparency flag whose index no pixel has gives no mask.
  std::vector<uint8_t> gif = WrapFrame(Encode({0, 1, 2, 1}, 2, 2, false, 2), 2, 2, 2);
  const std::vector<uint8_t> gce = {0x21, 0xF9, 4, 0x01, 0, 0, 3, 0};
  gif.insert(gif.begin() + 13 + 12, gce.begin(), gce.end());
  Frame g;
  ReadGif(gif, g);
  EXPECT_FALSE(g.Aborting);
  EXPECT_TRUE(g.Params.GIF_FlagTranspColor());
  EXPECT_FALSE(g.Mask);
  gif[13 + 12 + 6] = 2;
  Frame h;
  ReadGif(gif, h);
  ASSERT_TRUE(h.Mask);
  EXPECT_EQ(h.Mask->GetPixel(0, 1), 0);
  EXPECT_EQ(h.Mask->GetPixel(1, 1), 255);
}

TEST(GIFRead, TwoColourTablesChooseTheFormat) {
  // Black then white: vx1g with the ninth column from the data; white then
  // black: vx24RGB.
  std::vector<uint8_t> px(9 * 2, 0);
  px[8] = 1;
  px[9] = 1;
  const std::vector<uint8_t> data = Encode(px, 9, 2, false, 1);
  std::vector<uint8_t> gif = WrapFrame(data, 9, 2, 1);
  Frame f;
  ReadGif(gif, f);
  ASSERT_FALSE(f.Aborting);
  ASSERT_EQ(f.Bitmap.PixelFormat(), vx1g);
  EXPECT_EQ(PixelOf(f.Bitmap, 8, 0).r, 255);
  EXPECT_EQ(PixelOf(f.Bitmap, 7, 0).r, 0);
  EXPECT_EQ(PixelOf(f.Bitmap, 0, 1).r, 255);
  std::swap_ranges(gif.begin() + 13, gif.begin() + 16, gif.begin() + 16);
  Frame g;
  ReadGif(gif, g);
  ASSERT_EQ(g.Bitmap.PixelFormat(), vx24RGB);
  EXPECT_EQ(PixelOf(g.Bitmap, 8, 0).r, 0);
  EXPECT_EQ(PixelOf(g.Bitmap, 7, 0).r, 255);
}

TEST(GIFRead, MissingTablesAndShortDataReadBlack) {
  // No table anywhere, indices 0..3; data ending early leaves index 0.
  std::vector<uint8_t> data = Encode({3, 1, 2, 3}, 2, 2, false, 2);
  std::vector<uint8_t> gif = WrapFrame(data, 2, 2, 2);
  gif[10] = 1;  // no global table, size field 1
  gif.erase(gif.begin() + 13, gif.begin() + 13 + 12);
  Frame f;
  ReadGif(gif, f);
  ASSERT_FALSE(f.Aborting);
  EXPECT_EQ(f.Params.ColorMapCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(PixelOf(f.Bitmap, i % 2, i / 2).r, 0);
  // A frame of 4 x 4 with two pixels of data: the rest is index 0 (black).
  std::vector<uint8_t> shortData = {2, 2, 0x4C, 0x00, 0};
  std::vector<uint8_t> g2 = WrapFrame(shortData, 4, 4, 2);
  Frame g;
  ReadGif(g2, g);
  ASSERT_FALSE(g.Aborting);
  EXPECT_EQ(PixelOf(g.Bitmap, 0, 0).r, 85);
  EXPECT_EQ(PixelOf(g.Bitmap, 3, 3).r, 0);
}

TEST(GIFRead, AnimationFrameFieldsCountAndComments) {
  REQUIRE_TOOL("/usr/bin/gifsicle");
  REQUIRE_TOOL("/usr/bin/pamtogif");
  ScratchDir dir;
  std::string frames;
  for (int i = 0; i < 10; ++i) {
    WritePalettePpm(dir / "f.ppm", 4 + i, 3, 2 + i, uint32_t(i));
    const std::string name = dir / ("f" + std::to_string(i) + ".gif");
    Shell("/usr/bin/pamtogif " + dir / "f.ppm > " + name);
    frames += " -d " + std::to_string(10 + i) + " -D " + std::to_string(i % 4) + " " + name;
  }
  ASSERT_EQ(Shell("/usr/bin/gifsicle -c 'first words'" + frames + " > " + dir / "a.gif"), 0);
  const std::vector<uint8_t> file = ReadFile(dir / "a.gif");
  Frame f;
  ReadGif(file, f, 3);
  ASSERT_FALSE(f.Aborting);
  EXPECT_EQ(f.Count, 10);
  EXPECT_EQ(f.Params.GIF_ImageCount(), 10);
  EXPECT_EQ(f.Params.GIF_DelayTime(), 13);
  EXPECT_EQ(f.Params.GIF_Action(), ioGIF_RestorePrev);
  EXPECT_EQ(f.Bitmap.Width(), 7);
  ASSERT_EQ(f.Params.GIF_Comments().size(), 1u);
  EXPECT_EQ(f.Params.GIF_Comments()[0], "first words");
  // Parameters only: same fields, no pixels; an index past the end leaves
  // the bitmap alone and still counts.
  Frame p;
  ReadGif(file, p, 5, true);
  EXPECT_FALSE(p.Aborting);
  EXPECT_TRUE(p.Bitmap.IsEmpty());
  EXPECT_EQ(p.Params.Width(), 9);
  EXPECT_EQ(p.Params.GIF_Action(), ioGIF_DontRemove);
  Frame q;
  ReadGif(file, q, 12);
  EXPECT_FALSE(q.Aborting);
  EXPECT_TRUE(q.Bitmap.IsEmpty());
  EXPECT_EQ(q.Params.GIF_ImageCount(), 10);
  EXPECT_EQ(VXGetGIFFileImageCount(dir / "a.gif"), 10);
  EXPECT_EQ(VXGetGIFFileImageCount(dir / "missing.gif"), 0);
}

TEST(GIFRead, DamagedInputRefusesOrLoadsCleanly) {
  REQUIRE_TOOL("/usr/bin/pamtogif");
  ScratchDir dir;
  WritePalettePpm(dir / "s.ppm", 23, 19, 40);
  Shell("/usr/bin/pamtogif -interlace -comment damaged " + dir / "s.ppm > " + dir / "s.gif");
  const std::vector<uint8_t> good = ReadFile(dir / "s.gif");
  for (size_t cut = 0; cut < good.size(); cut += 3) {
    Frame f;
    ReadGif(std::vector<uint8_t>(good.begin(), good.begin() + int64_t(cut)), f);
    if (cut < 13) EXPECT_TRUE(f.Aborting) << cut;
  }
  std::mt19937 rng(5);
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> bad = good;
    for (int k = 0; k < 3; ++k) bad[3 + rng() % (bad.size() - 3)] = uint8_t(rng());
    Frame f;
    ReadGif(bad, f);
  }
  // A frame claiming 65535 x 65535 at the end of the stream is refused.
  std::vector<uint8_t> huge = WrapFrame({2, 2, 0x4C, 0x00, 0}, 65535, 65535, 2);
  Frame h;
  ReadGif(huge, h);
  EXPECT_TRUE(h.Aborting);
  // Not GIF.
  Frame n;
  ReadGif({'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, n);
  EXPECT_TRUE(n.Aborting);
}

// ---- component: raw and composed loads ----

struct Frames {
  std::vector<Pam> Coalesced;
};

TEST(GIFComponent, ComposedLoadsEqualCoalescedFrames) {
  REQUIRE_TOOL("/usr/bin/gifsicle");
  REQUIRE_TOOL("/usr/bin/pamtogif");
  REQUIRE_TOOL("/usr/bin/convert");
  ScratchDir dir;
  // Frames of different sizes and places, every disposal, with transparency.
  struct Part {
    int W, H, X, Y, Disposal;
    bool Transparent;
  };
  const Part parts[] = {{24, 20, 0, 0, 1, false}, {8, 6, 3, 2, 2, true}, {10, 5, 9, 9, 3, true},
                        {6, 6, 12, 1, 0, false},  {5, 9, 1, 6, 2, false}, {7, 4, 4, 4, 1, true}};
  std::string args;
  int i = 0;
  for (const Part& p : parts) {
    WritePalettePpm(dir / "p.ppm", p.W, p.H, 6, uint32_t(i + 1));
    const std::string name = dir / ("p" + std::to_string(i) + ".gif");
    // Colour 2 (74, 233, 182) is the transparent one where asked.
    Shell("/usr/bin/pamtogif " + std::string(p.Transparent ? "-transparent=rgb:4a/e9/b6 " : "") + dir / "p.ppm > " + name);
    args += " -d 5 -p " + std::to_string(p.X) + "," + std::to_string(p.Y) + " -D " + std::to_string(p.Disposal) + " " + name;
    ++i;
  }
  ASSERT_EQ(Shell("/usr/bin/gifsicle --logical-screen 24x20" + args + " > " + dir / "a.gif"), 0);
  ASSERT_EQ(Shell("/usr/bin/convert " + dir / "a.gif -coalesce " + dir / "c-%d.pam"), 0);
  const int n = int(std::size(parts));
  for (int k = 0; k < n; ++k) {
    Pam ref;
    ASSERT_TRUE(ReadPam(dir / ("c-" + std::to_string(k) + ".pam"), ref)) << k;
    TVexlaneIO io;
    io.Params().SetGIF_ImageIndex(k);
    EXPECT_EQ(io.LoadFromFileGIF(dir / "a.gif"), n);
    ASSERT_FALSE(io.Aborting());
    TVXBitmap* b = io.VXBitmap();
    EXPECT_EQ(io.Params().GIF_ImageIndex(), k);
    EXPECT_EQ(io.Params().GIF_XPos(), 0);
    EXPECT_EQ(io.Params().GIF_YPos(), 0);
    EXPECT_EQ(io.Params().GIF_Action(), ioGIF_DrawBackground);
    ASSERT_EQ(b->Width(), ref.Width);
    ASSERT_EQ(b->Height(), ref.Height);
    ASSERT_TRUE(b->HasAlphaChannel());
    int bad = 0;
    for (int y = 0; y < ref.Height; ++y)
      for (int x = 0; x < ref.Width; ++x) {
        const uint8_t* s = &ref.Samples[(size_t(y) * ref.Width + x) * ref.Depth];
        const bool opaque = ref.Depth < 4 || s[3] == 255;
        const uint8_t a = b->Alpha(x, y);
        if (opaque != (a == 255)) {
          if (bad < 3) ADD_FAILURE() << k << " at " << x << "," << y << " alpha " << int(a) << " ref " << int(s[3]);
          ++bad;
          continue;
        }
        if (opaque) {
          const TRGB c = b->Pixels(x, y);
          if ((c.r != s[0] || c.g != s[1] || c.b != s[2]) && bad < 3)
            ADD_FAILURE() << k << " at " << x << "," << y << " " << int(c.r) << "," << int(c.g) << "," << int(c.b)
                          << " ref " << int(s[0]) << "," << int(s[1]) << "," << int(s[2]);
          bad += c.r != s[0] || c.g != s[1] || c.b != s[2];
        }
      }
    EXPECT_EQ(bad, 0) << "frame " << k;
  }
  // A comment is kept once however many frames were composed.
  ASSERT_EQ(Shell("/usr/bin/gifsicle -c 'said once' " + dir / "a.gif > " + dir / "b.gif"), 0);
  TVexlaneIO all;
  all.Params().SetGIF_ImageIndex(-1);
  EXPECT_EQ(all.LoadFromFileGIF(dir / "b.gif"), n);
  EXPECT_EQ(all.Params().GIF_Comments(), std::vector<std::string>{"said once"});
  // Raw: frame 2 alone at its size with its offsets.
  TVexlaneIO raw;
  raw.Params().SetGIF_RAWLoad(true);
  raw.Params().SetGIF_ImageIndex(2);
  EXPECT_EQ(raw.LoadFromFileGIF(dir / "a.gif"), n);
  EXPECT_EQ(raw.VXBitmap()->Width(), 10);
  EXPECT_EQ(raw.VXBitmap()->Height(), 5);
  EXPECT_EQ(raw.Params().GIF_XPos(), 9);
  EXPECT_EQ(raw.Params().GIF_YPos(), 9);
  EXPECT_EQ(raw.Params().GIF_Action(), ioGIF_RestorePrev);
}

TEST(GIFComponent, OneFrameLoadsWithoutCompositionAndDamageGivesMinusOne) {
  std::vector<uint8_t> px(9 * 2, 1);
  const std::vector<uint8_t> gif = WrapFrame(Encode(px, 9, 2, false, 1), 9, 2, 1);
  TVexlaneIO io;
  TVXMemStream s(gif.data(), int64_t(gif.size()));
  EXPECT_EQ(io.LoadFromStreamGIF(&s), 1);
  EXPECT_EQ(io.VXBitmap()->PixelFormat(), vx1g);
  EXPECT_EQ(io.Params().FileType(), 2);
  const std::vector<uint8_t> bad = {'G', 'I', 'F', '8', '9', 'a', 1};
  TVXMemStream b(bad.data(), int64_t(bad.size()));
  EXPECT_EQ(io.LoadFromStreamGIF(&b), -1);
  EXPECT_TRUE(io.Aborting());
  ScratchDir dir;
  WriteFile(dir / "bad.gif", bad);
  EXPECT_EQ(io.LoadFromFileGIF(dir / "bad.gif"), -1);
  // A wide frame then a high one: each is within the pixel limit, the canvas
  // holding both is not. The load ends as damaged instead of raising.
  auto image = [](int W, int H) {
    std::vector<uint8_t> d = {0x2C, 0, 0, 0, 0, uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8), 0};
    const std::vector<uint8_t> data = Encode(std::vector<uint8_t>(size_t(W) * H, 0), W, H, false, 1);
    d.insert(d.end(), data.begin(), data.end());
    return d;
  };
  std::vector<uint8_t> two = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
  for (const auto& part : {image(1100, 1), image(1, 1100)}) two.insert(two.end(), part.begin(), part.end());
  two.push_back(0x3B);
  const int64_t limit = VXGetGlobalSettings()->MaxImagePixels();
  VXGetGlobalSettings()->SetMaxImagePixels(1 << 20);
  TVXMemStream big(two.data(), int64_t(two.size()));
  io.Params().SetGIF_ImageIndex(1);
  EXPECT_EQ(io.LoadFromStreamGIF(&big), -1);
  EXPECT_TRUE(io.Aborting());
  VXGetGlobalSettings()->SetMaxImagePixels(limit);
  io.Params().SetGIF_ImageIndex(0);
  // Through the dispatch, by content.
  TVXMemStream s2(gif.data(), int64_t(gif.size()));
  EXPECT_TRUE(io.LoadFromStream(&s2));
  EXPECT_EQ(io.VXBitmap()->Width(), 9);
}

// ---- writing ----

TEST(GIFWrite, WrittenFilesReadBackAndGiftopnmAgrees) {
  REQUIRE_TOOL("/usr/bin/giftopnm");
  ScratchDir dir;
  struct Case {
    int Colours, Bits;
    bool Interlaced;
  };
  const Case cases[] = {{2, 1, false}, {4, 2, true}, {4, 8, false}, {16, 4, true}, {200, 8, false}};
  for (const Case& c : cases) {
    WritePalettePpm(dir / "s.ppm", 29, 13, c.Colours);
    TVexlaneIO io;
    io.LoadFromFilePXM(dir / "s.ppm");
    io.Params().SetBitsPerSample(c.Bits);
    io.Params().SetGIF_Interlaced(c.Interlaced);
    io.SaveToFileGIF(dir / "w.gif");
    ASSERT_FALSE(io.Aborting());
    Pnm src, ref;
    ASSERT_TRUE(ReadPnm(dir / "s.ppm", src));
    ASSERT_EQ(Shell("/usr/bin/giftopnm " + dir / "w.gif | /usr/bin/ppmtoppm > " + dir / "r.ppm"), 0);
    ASSERT_TRUE(ReadPnm(dir / "r.ppm", ref));
    const std::vector<uint8_t> file = ReadFile(dir / "w.gif");
    if (c.Bits > 1 || c.Colours == 2) {
      // The exact palette keeps every pixel (a 2-colour image is black and white).
      TVexlaneIO back;
      back.LoadFromFileGIF(dir / "w.gif");
      if (c.Colours > 2) EXPECT_EQ(Mismatches(*back.VXBitmap(), src), 0) << c.Colours;
      EXPECT_EQ(Mismatches(*back.VXBitmap(), ref), 0) << c.Colours;
    }
    // Minimum code size: the byte after the image descriptor.
    const size_t table = size_t(3) << ((file[10] & 7) + 1);
    const size_t descriptor = 13 + table + 8;
    ASSERT_EQ(file[descriptor], 0x2C);
    EXPECT_EQ(file[descriptor + 10], std::max(2, c.Bits));
  }
}

TEST(GIFWrite, AlphaTakesTheLastIndex) {
  struct Case {
    int Bits;
    int Entries, TranspIndex;
  };
  // 1 bit with alpha is written at 2 bits, so white stays opaque.
  const Case cases[] = {{8, 256, 255}, {4, 16, 15}, {1, 4, 2}};
  for (const Case& c : cases) {
    TVXBitmap b;
    b.Allocate(4, 2, vx24RGB);
    b.Fill(0);
    b.SetPixels(1, 0, TRGB{255, 255, 255});
    b.SetPixels(2, 0, TRGB{255, 255, 255});
    b.SetPixels(0, 1, TRGB{0, 0, 255});
    b.AlphaChannel()->Fill(255);
    b.SetAlpha(2, 0, 0);
    b.SetAlpha(3, 1, 100);
    TIOParamsVals params(nullptr);
    params.SetBitsPerSample(c.Bits);
    TMemoryStream m;
    TProgressRec p;
    bool aborting = false;
    p.Aborting = &aborting;
    VXWriteGIFStream(&m, &b, params, p);
    ASSERT_FALSE(aborting);
    EXPECT_TRUE(params.GIF_FlagTranspColor());
    const std::vector<uint8_t> file = MemoryOf(m);
    EXPECT_EQ(2 << (file[10] & 7), c.Entries) << c.Bits;
    const size_t gce = 13 + size_t(c.Entries) * 3;
    ASSERT_EQ(file[gce + 1], 0xF9);
    EXPECT_EQ(file[gce + 3] & 1, 1);
    EXPECT_EQ(file[gce + 6], c.TranspIndex) << c.Bits;
    Frame f;
    ReadGif(file, f);
    ASSERT_FALSE(f.Aborting);
    ASSERT_TRUE(f.Mask);
    EXPECT_EQ(f.Mask->GetPixel(1, 0), 255) << c.Bits;  // white, opaque
    EXPECT_EQ(f.Mask->GetPixel(2, 0), 0);
    EXPECT_EQ(f.Mask->GetPixel(3, 1), 0);
    EXPECT_EQ(f.Mask->GetPixel(0, 0), 255);
    EXPECT_EQ(PixelOf(f.Bitmap, 1, 0).g, 255);
  }
}

TEST(GIFWrite, CommentsAndOtherFormats) {
  TVXBitmap b;
  b.Allocate(5, 3, vx48RGB);  // read through a private vx24RGB copy
  b.Fill(0);
  TIOParamsVals params(nullptr);
  params.SetBitsPerSample(8);
  const std::string longLine(300, 'c');
  params.GIF_Comments() = {longLine, "short"};
  TMemoryStream m;
  TProgressRec p;
  bool aborting = false;
  p.Aborting = &aborting;
  VXWriteGIFStream(&m, &b, params, p);
  ASSERT_FALSE(aborting);
  Frame f;
  ReadGif(MemoryOf(m), f);
  ASSERT_FALSE(f.Aborting);
  // Sub-blocks come back as lines: the long line in two pieces of 255 + 45.
  ASSERT_EQ(f.Params.GIF_Comments().size(), 3u);
  EXPECT_EQ(f.Params.GIF_Comments()[0] + f.Params.GIF_Comments()[1], longLine);
  EXPECT_EQ(f.Params.GIF_Comments()[2], "short");
  // No comments: an empty comment extension.
  params.GIF_Comments().clear();
  TMemoryStream e;
  VXWriteGIFStream(&e, &b, params, p);
  const std::vector<uint8_t> file = MemoryOf(e);
  const std::vector<uint8_t> tail = {0x21, 0xFE, 0x00, 0x3B};
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), file.end() - 4));
}

// ---- frame editing ----

TEST(GIFEdit, BuildAnAnimationAndEditIt) {
  REQUIRE_TOOL("/usr/bin/gifsicle");
  ScratchDir dir;
  const std::string file = dir / "anim.gif";
  TVexlaneIO io;
  auto image = [&](TRGB c, int W, int H) {
    io.VXBitmap()->Allocate(W, H, vx24RGB);
    io.VXBitmap()->Fill(0);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; x += 2) io.VXBitmap()->SetPixels(x, y, c);
  };
  image(TRGB{0, 0, 255}, 10, 8);
  io.Params().SetBitsPerSample(8);
  io.Params().SetGIF_DelayTime(20);
  io.Params().SetGIF_Action(ioGIF_DontRemove);
  io.Params().GIF_Comments() = {"made here"};
  io.SaveToFileGIF(file);
  ASSERT_FALSE(io.Aborting());
  // Frame 1 appended, larger and offset; frame 2 with transparency, at 1 bit.
  image(TRGB{0, 255, 0}, 12, 6);
  io.Params().SetGIF_ImageIndex(1);
  io.Params().SetGIF_XPos(3);
  io.Params().SetGIF_YPos(4);
  io.Params().SetGIF_DelayTime(30);
  io.Params().SetGIF_Action(ioGIF_DrawBackground);
  EXPECT_EQ(io.InsertToFileGIF(file), 2);
  image(TRGB{255, 255, 255}, 4, 4);
  io.VXBitmap()->AlphaChannel()->Fill(255);
  io.VXBitmap()->SetAlpha(1, 1, 0);
  io.Params().SetGIF_ImageIndex(2);
  io.Params().SetGIF_XPos(0);
  io.Params().SetGIF_YPos(0);
  io.Params().SetGIF_DelayTime(40);
  io.Params().SetGIF_Action(ioGIF_RestorePrev);
  io.Params().SetBitsPerSample(1);
  EXPECT_EQ(io.InsertToFileGIF(file), 3);
  ASSERT_FALSE(io.Aborting());
  // Twice: still one looping extension.
  io.InsertToFileGIF(file);  // index 2 again: now 4 frames
  const std::string info = Capture("/usr/bin/gifsicle --info " + file);
  EXPECT_NE(info.find("4 images"), std::string::npos) << info;
  EXPECT_NE(info.find("logical screen 15x10"), std::string::npos) << info;
  EXPECT_NE(info.find("loop forever"), std::string::npos) << info;
  EXPECT_NE(info.find("made here"), std::string::npos) << info;
  EXPECT_NE(info.find("delay 0.30s"), std::string::npos) << info;
  EXPECT_NE(info.find("disposal background"), std::string::npos) << info;
  EXPECT_NE(info.find("disposal previous"), std::string::npos) << info;
  EXPECT_NE(info.find("transparent"), std::string::npos) << info;
  const std::vector<uint8_t> bytes = ReadFile(file);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("NETSCAPE2.0"), text.rfind("NETSCAPE2.0"));
  EXPECT_EQ(VXGetGIFFileImageCount(file), 4);

  // Removing frame 1 keeps the control extensions of the others.
  EXPECT_EQ(VXDeleteGIFFileFrame(file, 1), 3);
  const std::string after = Capture("/usr/bin/gifsicle --info " + file);
  EXPECT_NE(after.find("3 images"), std::string::npos) << after;
  EXPECT_EQ(after.find("delay 0.30s"), std::string::npos) << after;
  EXPECT_NE(after.find("delay 0.20s"), std::string::npos) << after;
  EXPECT_NE(after.find("delay 0.40s"), std::string::npos) << after;

  // Replace frame 0: exactly one frame changes.
  Frame before1, before2;
  ReadGif(ReadFile(file), before1, 1);
  ReadGif(ReadFile(file), before2, 2);
  image(TRGB{255, 0, 0}, 10, 8);
  io.VXBitmap()->RemoveAlphaChannel(false, 0);
  io.Params().SetBitsPerSample(8);
  io.Params().SetGIF_ImageIndex(0);
  EXPECT_EQ(io.ReplaceFileGIF(file), 3);
  Frame f0, f1, f2;
  ReadGif(ReadFile(file), f0, 0);
  ReadGif(ReadFile(file), f1, 1);
  ReadGif(ReadFile(file), f2, 2);
  EXPECT_EQ(f0.Bitmap.Width(), 10);
  EXPECT_EQ(PixelOf(f0.Bitmap, 0, 0).b, 255);
  EXPECT_EQ(PixelOf(f0.Bitmap, 0, 0).g, 0);
  for (auto [a, b] : {std::pair<Frame*, Frame*>{&before1, &f1}, {&before2, &f2}}) {
    ASSERT_EQ(a->Bitmap.Width(), b->Bitmap.Width());
    for (int y = 0; y < a->Bitmap.Height(); ++y)
      for (int x = 0; x < a->Bitmap.Width(); ++x) EXPECT_EQ(PixelOf(a->Bitmap, x, y).g, PixelOf(b->Bitmap, x, y).g);
  }
  // Without an encoder a replace leaves every frame in place.
  const std::vector<uint8_t> kept = ReadFile(file);
  TGIFLZWCompFunc encoder = VXGetGlobalSettings()->DefGIF_LZWCOMPFUNC();
  VXGetGlobalSettings()->SetDefGIF_LZWCOMPFUNC(nullptr);
  io.Params().SetGIF_LZWCompFunc(nullptr);
  EXPECT_EQ(io.ReplaceFileGIF(file), 0);
  EXPECT_TRUE(io.Aborting());
  VXGetGlobalSettings()->SetDefGIF_LZWCOMPFUNC(encoder);
  EXPECT_EQ(ReadFile(file), kept);
  // Not a GIF: left alone, 0.
  WriteFile(dir / "not.gif", {'P', '6', '\n'});
  EXPECT_EQ(VXDeleteGIFFileFrame(dir / "not.gif", 0), 0);
  EXPECT_EQ(ReadFile(dir / "not.gif").size(), 3u);
}

TEST(GIFEdit, InsertAtZeroGoesFirstAndWithoutEncoderNothingChanges) {
  // Frame 0 has no graphic control extension.
  std::vector<uint8_t> px(4, 1);
  std::vector<uint8_t> gif = WrapFrame(Encode(px, 2, 2, false, 1), 2, 2, 1);
  TVXBitmap b;
  b.Allocate(3, 3, vx24RGB);
  b.Fill(0);
  b.SetPixels(0, 0, TRGB{10, 20, 30});
  b.SetPixels(1, 0, TRGB{40, 50, 60});
  b.SetPixels(2, 0, TRGB{70, 80, 90});
  TIOParamsVals params(nullptr);
  params.SetBitsPerSample(1);  // four colours at 1 bit: stored at 8 bits
  params.SetGIF_ImageIndex(0);
  TMemoryStream m;
  m.WriteBuffer(gif.data(), int64_t(gif.size()));
  m.SetPosition(0);
  TProgressRec p;
  bool aborting = false;
  p.Aborting = &aborting;
  EXPECT_EQ(VXInsertGIFFrameToStream(&m, &b, params, p), 2);
  ASSERT_FALSE(aborting);
  Frame f0, f1;
  ReadGif(MemoryOf(m), f0, 0);
  ReadGif(MemoryOf(m), f1, 1);
  EXPECT_EQ(f0.Bitmap.Width(), 3);
  EXPECT_EQ(f0.Params.BitsPerSample(), 8);
  EXPECT_EQ(PixelOf(f0.Bitmap, 1, 0).g, 50);
  EXPECT_EQ(f1.Bitmap.Width(), 2);
  EXPECT_EQ(f0.Count, 2);

  const std::vector<uint8_t> was = MemoryOf(m);
  params.SetGIF_LZWCompFunc(nullptr);
  TGIFLZWCompFunc saved = VXGetGlobalSettings()->DefGIF_LZWCOMPFUNC();
  VXGetGlobalSettings()->SetDefGIF_LZWCOMPFUNC(nullptr);
  m.SetPosition(0);
  EXPECT_EQ(VXInsertGIFFrameToStream(&m, &b, params, p), 0);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(MemoryOf(m), was);
  VXGetGlobalSettings()->SetDefGIF_LZWCOMPFUNC(saved);
  // A stream that is not GIF: 0, Aborting cleared.
  aborting = false;
  TMemoryStream other;
  other.WriteBuffer("PNG-ish-data-here", 17);
  other.SetPosition(0);
  EXPECT_EQ(VXInsertGIFFrameToStream(&other, &b, params, p), 0);
  EXPECT_FALSE(aborting);
  EXPECT_EQ(other.Size(), 17);
}


// A container that holds no image is a failed load: no frame at all, a frame
// of width or height 0, or a screen far beyond what the file could code. The
// target keeps its picture, raw and composed.
TEST(GIFComponent, ContainersWithoutAnImageFailAndKeepTheTarget) {
  auto header = [](int W, int H) {
    return std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8),
                                0x80, 0, 0, 0, 0, 0, 255, 255, 255};
  };
  auto frame = [](int W, int H) {
    std::vector<uint8_t> d = {0x2C, 0, 0, 0, 0, uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8), 0};
    const int n = std::max(W, 1) * std::max(H, 1);
    const std::vector<uint8_t> data = Encode(std::vector<uint8_t>(size_t(n), 1), std::max(W, 1), std::max(H, 1), false, 1);
    d.insert(d.end(), data.begin(), data.end());
    return d;
  };
  auto file = [&](int SW, int SH, const std::vector<std::pair<int, int>>& Frames) {
    std::vector<uint8_t> g = header(SW, SH);
    for (const auto& f : Frames) {
      const std::vector<uint8_t> part = frame(f.first, f.second);
      g.insert(g.end(), part.begin(), part.end());
    }
    g.push_back(0x3B);
    return g;
  };
  struct Case {
    const char* Name;
    std::vector<uint8_t> File;
  } cases[] = {
      {"zero screen, no frame", file(0, 0, {})},
      {"screen, no frame", file(4, 4, {})},
      {"zero-width only frame", file(4, 4, {{0, 3}})},
      {"zero-height only frame", file(0, 0, {{3, 0}})},
      {"second frame of width 0", file(4, 4, {{2, 2}, {0, 2}})},
      {"4000 x 4000 screen from a few bytes", file(4000, 4000, {{1, 1}, {1, 1}})},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    for (bool raw : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (raw ? ", raw" : ", composed"));
      if (raw && std::string(c.Name).find("screen from") != std::string::npos) continue;  // frames are fine alone
      WriteFile(dir / "empty.gif", c.File);
      TVexlaneIO io;
      io.VXBitmap()->Allocate(3, 2, vx24RGB);
      io.VXBitmap()->Fill(0);
      io.VXBitmap()->SetPixels(2, 1, TRGB{1, 2, 3});
      io.Params().SetGIF_RAWLoad(raw);
      io.Params().SetGIF_ImageIndex(std::string(c.Name).find("second") != std::string::npos ? 1 : 0);
      EXPECT_EQ(io.LoadFromFileGIF(dir / "empty.gif"), -1);
      EXPECT_TRUE(io.Aborting());
      if (std::string(c.Name).find("second") == std::string::npos) {
        EXPECT_EQ(io.VXBitmap()->Width(), 3);
        EXPECT_EQ(io.VXBitmap()->Height(), 2);
        EXPECT_EQ(io.VXBitmap()->Pixels(2, 1), (TRGB{1, 2, 3}));
      }
      if (std::string(c.Name).find("second") != std::string::npos) continue;  // frame 0 alone is whole
      io.Params().SetGIF_ImageIndex(0);
      EXPECT_FALSE(io.LoadFromFile(dir / "empty.gif", false));
      EXPECT_TRUE(io.Aborting());
    }
  }
  // Reading the parameters of a frameless file still works.
  Frame f;
  ReadGif(file(4, 4, {}), f, 0, true);
  EXPECT_FALSE(f.Aborting);
  EXPECT_EQ(f.Count, 0);
}

// Inserting a frame into, or rewriting the header of, a GIF whose global
// colour table is cut short refuses the file and leaves it as it was.
TEST(GIFEdit, CutGlobalTableRefusesInsertAndHeaderUpdate) {
  // The header declares 256 entries; the file ends after 4.
  std::vector<uint8_t> cut = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x87, 0, 0};
  for (int i = 0; i < 12; ++i) cut.push_back(uint8_t(i * 20));
  ScratchDir dir;
  const std::string name = dir / "cut.gif";
  WriteFile(name, cut);
  TVexlaneIO io;
  io.VXBitmap()->Allocate(2, 2, vx24RGB);
  io.VXBitmap()->Fill(0);
  io.Params().SetBitsPerSample(8);
  io.Params().SetGIF_ImageIndex(1);
  EXPECT_LE(io.InsertToFileGIF(name), 0);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ReadFile(name), cut);
  EXPECT_FALSE(VXUpdateGIFFileHeader(name, 0, 10, 10));
  EXPECT_EQ(ReadFile(name), cut);
  // The same table whole is accepted.
  std::vector<uint8_t> whole = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x3B};
  WriteFile(name, whole);
  EXPECT_TRUE(VXUpdateGIFFileHeader(name, 0, 10, 10));
  EXPECT_EQ(ReadFile(name)[6], 10);
}

}  // namespace
