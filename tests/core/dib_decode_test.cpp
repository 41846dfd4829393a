// Packed DIBs into bitmaps: every RGB form, the refusals of damaged DIBs,
// round trips with the builder, BMPs written by ImageMagick and Pillow, 16-bit
// DIBs packed by numpy, and mutated DIBs.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/dib.h"
#include "dib_test_util.h"

using namespace dibtest;

namespace {

struct Decoded {
  int32_t result;
  Bytes rgb;  // red, green, blue, top row first
};

Decoded Decode(const Bytes& dib, TVXBitmap& b, const Bytes* pixels = nullptr) {
  // An exact-size copy, so that a read past the block is caught by the sanitizer build.
  std::vector<uint8_t> block(dib);
  std::vector<uint8_t> data(pixels ? *pixels : Bytes{});
  const int32_t r = VXCopyDIBToBitmap(block.data(), int64_t(block.size()), &b, pixels ? data.data() : nullptr,
                                      int64_t(data.size()));
  return {r, RGBBytes(b)};
}

// The colour table entry of blue, green, red.
void Entry(Bytes& b, uint8_t r, uint8_t g, uint8_t bl) { Append(b, {bl, g, r, 0}); }

TEST(DIBDecode, RGBForms) {
  struct Case {
    const char* name;
    Bytes dib;
    int32_t bits, w, h;
    TVXPixelFormat pf;
    Bytes rgb;
    Bytes pixels;  // given separately when not empty
  };
  std::vector<Case> cases;
  {  // 1 bit, black first: bits as they are; rows bottom-up
    Bytes d = Header(3, 2, 1, BI_RGB);
    Entry(d, 0, 0, 0);
    Entry(d, 255, 255, 255);
    Append(d, {0x20, 0, 0, 0, 0xC0, 0, 0, 0});  // bottom: ..W ; top: WW.
    cases.push_back({"1 bit black first", d, 1, 3, 2, vx1g,
                     {255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255}, {}});
  }
  {  // 1 bit, white first: the bits are inverted
    Bytes d = Header(3, 2, 1, BI_RGB);
    Entry(d, 255, 255, 255);
    Entry(d, 0, 0, 0);
    Append(d, {0x20, 0, 0, 0, 0xC0, 0, 0, 0});
    cases.push_back({"1 bit white first", d, 1, 3, 2, vx1g,
                     {0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0}, {}});
  }
  {  // 4 bits of width 5: all five pixels, the last byte's low nibble unused
    Bytes d = Header(5, 1, 4, BI_RGB);
    for (int i = 0; i < 16; ++i) Entry(d, uint8_t(i * 16), uint8_t(i), uint8_t(255 - i));
    Append(d, {0x12, 0x3F, 0xE9, 0});
    Bytes rgb;
    for (int n : {1, 2, 3, 15, 14}) Append(rgb, {uint8_t(n * 16), uint8_t(n), uint8_t(255 - n)});
    cases.push_back({"4 bits width 5", d, 4, 5, 1, vx24RGB, rgb, {}});
  }
  {  // 8 bits with a table of 2: indices beyond it read black
    Bytes d = Header(3, 1, 8, BI_RGB, 2);
    Entry(d, 10, 20, 30);
    Entry(d, 40, 50, 60);
    Append(d, {1, 0, 200, 0});
    cases.push_back({"8 bits short table", d, 8, 3, 1, vx24RGB, {40, 50, 60, 10, 20, 30, 0, 0, 0}, {}});
  }
  {  // 16 bits 5-5-5: the top five bits of each channel
    Bytes d = Header(3, 1, 16, BI_RGB);
    Append(d, {0xFF, 0x7F, 0x00, 0x7C, 0x1F, 0x00, 0, 0});
    cases.push_back({"16 bits 555", d, 16, 3, 1, vx24RGB, {248, 248, 248, 248, 0, 0, 0, 0, 248}, {}});
  }
  {  // 16 bits 5-6-5 bit fields after a 40-byte header
    Bytes d = Header(4, 1, 16, BI_BITFIELDS);
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(d, m);
    Append(d, {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF});
    cases.push_back(
        {"16 bits 565", d, 16, 4, 1, vx24RGB, {248, 0, 0, 0, 252, 0, 0, 0, 248, 248, 252, 248}, {}});
  }
  {  // a V5 header holds its masks at offset 40 and the rows follow the header
    Bytes d = Header(2, 1, 16, BI_BITFIELDS, 0, 124);
    const uint32_t masks[3] = {0xF800u, 0x07E0u, 0x001Fu};
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 4; ++k) d[size_t(40 + 4 * i + k)] = uint8_t(masks[i] >> (8 * k));
    Append(d, {0x00, 0xF8, 0xE0, 0x07});
    cases.push_back({"16 bits V5 header", d, 16, 2, 1, vx24RGB, {248, 0, 0, 0, 252, 0}, {}});
  }
  {  // 24 bits top-down: decoded upright
    Bytes d = Header(1, -2, 24, BI_RGB);
    Append(d, {1, 2, 3, 0, 4, 5, 6, 0});
    cases.push_back({"24 bits top-down", d, 24, 1, 2, vx24RGB, {3, 2, 1, 6, 5, 4}, {}});
  }
  {  // 32 bits: bytes 0, 1, 2 are blue, green, red
    Bytes d = Header(2, 1, 32, BI_RGB);
    Append(d, {1, 2, 3, 99, 4, 5, 6, 99});
    cases.push_back({"32 bits", d, 32, 2, 1, vx24RGB, {3, 2, 1, 6, 5, 4}, {}});
  }
  {  // 32 bits with bit fields: the masks are skipped
    Bytes d = Header(1, 1, 32, BI_BITFIELDS);
    for (uint32_t m : {0xFF0000u, 0xFF00u, 0xFFu}) Put32(d, m);
    Append(d, {7, 8, 9, 0});
    cases.push_back({"32 bits bit fields", d, 32, 1, 1, vx24RGB, {9, 8, 7}, {}});
  }
  {  // the pixels given apart from the header and table
    Bytes d = Header(2, 2, 8, BI_RGB, 3);
    Entry(d, 1, 1, 1);
    Entry(d, 2, 2, 2);
    Entry(d, 3, 3, 3);
    cases.push_back({"8 bits separate pixels", d, 8, 2, 2, vx24RGB, {3, 3, 3, 1, 1, 1, 1, 1, 1, 2, 2, 2},
                     {0, 1, 0, 0, 2, 0, 0, 0}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVXBitmap b;
    const Decoded d = Decode(c.dib, b, c.pixels.empty() ? nullptr : &c.pixels);
    EXPECT_EQ(d.result, c.bits);
    EXPECT_EQ(b.Width(), c.w);
    EXPECT_EQ(b.Height(), c.h);
    EXPECT_EQ(b.PixelFormat(), c.pf);
    EXPECT_EQ(d.rgb, c.rgb);
  }
}

TEST(DIBDecode, PaddingBitsOfOneBitRowsStayClear) {
  Bytes d = Header(3, 1, 1, BI_RGB);
  Entry(d, 255, 255, 255);  // white first: inverting must not set bits past the width
  Entry(d, 0, 0, 0);
  Append(d, {0x00, 0, 0, 0});
  TVXBitmap b;
  ASSERT_EQ(Decode(d, b).result, 1);
  EXPECT_EQ(static_cast<const uint8_t*>(b.GetScanLine(0))[0], 0xE0);
}

TEST(DIBDecode, DamagedDIBsAreRefusedAndLeaveTheBitmapEmpty) {
  auto valid8 = [] {
    Bytes d = Header(3, 2, 8, BI_RGB, 2);
    Entry(d, 1, 2, 3);
    Entry(d, 4, 5, 6);
    Append(d, {0, 1, 0, 0, 1, 0, 1, 0});
    return d;
  };
  auto bits16 = [](uint32_t r, uint32_t g, uint32_t b) {
    Bytes d = Header(1, 1, 16, BI_BITFIELDS);
    for (uint32_t m : {r, g, b}) Put32(d, m);
    Append(d, {0xFF, 0xFF, 0, 0});
    return d;
  };
  auto with = [&](size_t at, uint32_t v) {
    Bytes d = valid8();
    for (int k = 0; k < 4; ++k) d[at + size_t(k)] = uint8_t(v >> (8 * k));
    return d;
  };
  struct Case {
    const char* name;
    Bytes dib;
  };
  Bytes truncatedRows = valid8();
  truncatedRows.pop_back();
  Bytes shortTable = Header(2, 1, 8, BI_RGB);  // 256 entries claimed, 2 present
  Entry(shortTable, 1, 1, 1);
  Entry(shortTable, 2, 2, 2);
  const std::vector<Case> cases = {
      {"39 bytes", [&] {
         Bytes d = valid8();
         d.resize(39);
         return d;
       }()},
      {"header size below 40", with(0, 39)},
      {"header size beyond the block", with(0, 4000)},
      {"width 0", with(4, 0)},
      {"negative width", with(4, uint32_t(-3))},
      {"height 0", with(8, 0)},
      {"lowest height", with(8, uint32_t(INT32_MIN))},
      {"height beyond the rows", with(8, 3)},
      {"width beyond the rows", with(4, 5)},
      {"huge size", with(4, 0x7FFFFFFF)},
      {"257 colours", with(32, 257)},
      {"RLE8", with(16, BI_RLE8)},
      {"RLE4", Header(2, 1, 4, BI_RLE4)},
      {"bit fields on 8 bits", with(16, BI_BITFIELDS)},
      {"24 bits with bit fields", Header(1, 1, 24, BI_BITFIELDS)},
      {"2 bits", Header(4, 1, 2, BI_RGB)},
      {"0 bits", Header(4, 1, 0, BI_RGB)},
      {"rows cut short", truncatedRows},
      {"colour table beyond the block", shortTable},
      {"zero mask", bits16(0xF800, 0, 0x1F)},
      {"overlapping masks", bits16(0xF800, 0x0FE0, 0x1F)},
      {"masks too narrow", bits16(0x4, 0x2, 0x1)},
      {"blue mask wider than a byte", bits16(0x8000, 0x4000, 0x3FFF)},
      {"masks beyond the block", Header(1, 1, 16, BI_BITFIELDS)},
      {"unknown FourCC", Header(2, 2, 16, 0x58585858)},
      {"YUY2 short by a byte", [] {
         Bytes d = Header(2, 2, 16, 0x32595559);
         d.resize(40 + 7, 128);
         return d;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVXBitmap b(4, 4, vx24RGB);
    EXPECT_EQ(Decode(c.dib, b).result, 0);
    EXPECT_TRUE(b.IsEmpty());
  }
  // A handle that cannot be locked loads nothing.
  TVXBitmap b(4, 4, vx24RGB);
  EXPECT_EQ(VXCopyDIBToBitmap(HGLOBAL(nullptr), &b), 0);
  EXPECT_TRUE(b.IsEmpty());
  HGLOBAL zero = GlobalAlloc(GMEM_MOVEABLE, 0);
  TVXBitmap c(4, 4, vx24RGB);
  EXPECT_EQ(VXCopyDIBToBitmap(zero, &c), 0);
  EXPECT_TRUE(c.IsEmpty());
  GlobalFree(zero);
}

TEST(DIBDecode, BuiltDIBsComeBackThroughTheHandle) {
  for (TVXPixelFormat pf : {vx1g, vx8p, vx8g, vx24RGB}) {
    SCOPED_TRACE(int(pf));
    TVXBitmap src(11, 4, pf);
    if (pf == vx8p)
      for (int i = 0; i < 256; ++i) src.SetPalette(i, TRGB{uint8_t(i), uint8_t(i * 5), uint8_t(i * 11)});
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 11; ++x) {
        if (pf == vx1g) src.SetPixels_vx1g(x, y, (x + y) % 3 == 0);
        if (pf == vx8p || pf == vx8g) src.SetPixels_vx8(x, y, uint8_t(x * 23 + y));
        if (pf == vx24RGB) src.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x), uint8_t(y * 60), uint8_t(x * y)});
      }
    HGLOBAL h = _CopyBitmaptoDIBEx(&src, 0, 0, 0, 0, 96, 96);
    ASSERT_NE(h, nullptr);
    TVXBitmap back;
    EXPECT_EQ(VXCopyDIBToBitmap(h, &back), pf == vx1g ? 1 : pf == vx24RGB ? 24 : 8);
    EXPECT_EQ(back.PixelFormat(), pf == vx1g ? vx1g : vx24RGB);
    EXPECT_EQ(RGBBytes(back), RGBBytes(src));
    EXPECT_EQ(GlobalUnlock(h), false);  // the decoder released its lock
    GlobalFree(h);
  }
}

// The DIB of a BMP file: the file without its 14-byte header, and the pixel
// data apart when the file puts it elsewhere than right after the table.
struct FileDIB {
  Bytes dib, pixels;
};
FileDIB SplitBMP(const Bytes& file) {
  FileDIB f;
  if (file.size() < 54) return f;
  const uint32_t off = Get32(file.data() + 10);
  f.dib.assign(file.begin() + 14, file.end());
  const uint32_t biSize = Get32(f.dib.data()), bits = f.dib[14], clr = Get32(f.dib.data() + 32);
  const uint32_t colours = bits <= 8 ? (clr ? clr : 1u << bits) : 0;
  const uint32_t masks = Get32(f.dib.data() + 16) == BI_BITFIELDS && biSize < 52 ? 12 : 0;
  if (off != 14 + biSize + 4 * colours + masks && off < file.size()) f.pixels.assign(file.begin() + off, file.end());
  return f;
}

TEST(DIBDecode, BMPsOfImageMagickAndPillowDecodeToPillowsPixels) {
  if (access("/usr/bin/convert", X_OK) != 0) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is missing";
  if (!HavePython({"PIL"})) GTEST_SKIP() << "python3-pil (Pillow) is missing";
  TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  // ImageMagick's BMP3 writer picks 1, 4, 8, 24 or 32 bits from the image.
  const std::vector<std::string> magick = {
      "-size 13x7 pattern:checkerboard -type bilevel",
      "-size 13x7 gradient:red-blue -colors 12 -type palette",
      "-seed 7 -size 21x9 xc: +noise Random -colors 200 -type palette",
      "-seed 8 -size 15x6 xc: +noise Random -type truecolor",
      "-seed 9 -size 7x5 xc: +noise Random -alpha set -channel A -evaluate set 50% +channel -define bmp3:alpha=true",
  };
  std::vector<std::string> names;
  for (size_t i = 0; i < magick.size(); ++i) {
    names.push_back("m" + std::to_string(i));
    const std::string cmd =
        "/usr/bin/convert " + magick[i] + " -compress none BMP3:'" + (dir / (names.back() + ".bmp")) + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  for (const char* mode : {"1", "L", "P", "RGB", "RGBA"}) names.push_back(std::string("p") + mode);
  ASSERT_TRUE(RunPython(dir, R"(
import random
from PIL import Image
random.seed(5)
for mode in ['1', 'L', 'P', 'RGB', 'RGBA']:
    im = Image.new('RGBA', (11, 6))
    im.putdata([tuple(random.randrange(256) for _ in range(4)) for _ in range(66)])
    im = im.convert(mode) if mode != 'P' else im.convert('RGB').quantize(37)
    im.save('p%s.bmp' % mode)
import glob
for f in glob.glob('*.bmp'):
    open(f[:-4] + '.rgb', 'wb').write(Image.open(f).convert('RGB').tobytes())
)"));
  const int32_t wantBits[] = {1, 4, 8, 24, 32, 1, 8, 8, 24, 32};
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const FileDIB f = SplitBMP(ReadFile(dir / (names[i] + ".bmp")));
    ASSERT_FALSE(f.dib.empty());
    TVXBitmap b;
    const Decoded d = Decode(f.dib, b, f.pixels.empty() ? nullptr : &f.pixels);
    EXPECT_EQ(d.result, wantBits[i]);
    EXPECT_TRUE(d.rgb == ReadFile(dir / (names[i] + ".rgb")));
  }
}

TEST(DIBDecode, SixteenBitDIBsPackedByNumpy) {
  if (!HavePython({"numpy"})) GTEST_SKIP() << "python3-numpy is missing";
  TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  // 555 without masks and 565 bit fields; rows padded, bottom-up and top-down.
  ASSERT_TRUE(RunPython(dir, R"(
import numpy as np, struct
rng = np.random.default_rng(3)
for name, w, h, fields in [('a', 7, 5, None), ('b', 9, -4, (0xF800, 0x07E0, 0x001F)), ('c', 6, 3, (0x7C00, 0x03E0, 0x001F))]:
    ah = abs(h)
    p = rng.integers(0, 65536, size=(ah, w), dtype=np.uint32)
    p[0, 0] = 0x7FFF
    stride = ((w * 16 + 31) // 32) * 4
    rows = np.zeros((ah, stride), np.uint8)
    rows[:, 0:2 * w:2] = p & 0xFF
    rows[:, 1:2 * w:2] = p >> 8
    head = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 16, 3 if fields else 0, 0, 0, 0, 0, 0)
    if fields: head += struct.pack('<III', *fields)
    stored = rows if h < 0 else rows[::-1]
    open(name + '.dib', 'wb').write(head + stored.tobytes())
    rm, gm, bm = fields or (0x7C00, 0x03E0, 0x001F)
    def top(v, m):
        bits = bin(m).count('1'); shift = (m & -m).bit_length() - 1
        return (((v & m) >> shift) << (8 - bits)) & 0xFF
    rgb = np.stack([top(p, rm), top(p, gm), top(p, bm)], axis=-1).astype(np.uint8)
    open(name + '.rgb', 'wb').write(rgb.tobytes())
)"));
  for (const char* name : {"a", "b", "c"}) {
    SCOPED_TRACE(name);
    TVXBitmap b;
    const Decoded d = Decode(ReadFile(dir / (std::string(name) + ".dib")), b);
    EXPECT_EQ(d.result, 16);
    ASSERT_GE(d.rgb.size(), 3u);
    if (name[0] != 'b') {
      EXPECT_EQ(d.rgb[0], 248);  // 5-5-5: 0x7FFF keeps the top five bits of 0x1F
    }
    EXPECT_TRUE(d.rgb == ReadFile(dir / (std::string(name) + ".rgb")));
  }
}

TEST(DIBDecode, MutatedDIBsNeverReadPastTheBlock) {
  std::vector<Bytes> seeds;
  {
    Bytes d = Header(5, 3, 4, BI_RGB, 4);
    for (int i = 0; i < 4; ++i) Entry(d, uint8_t(i * 60), 0, 0);
    d.resize(d.size() + 12, 0x31);
    seeds.push_back(d);
  }
  {
    Bytes d = Header(9, -2, 1, BI_RGB);
    Entry(d, 255, 255, 255);
    Entry(d, 0, 0, 0);
    d.resize(d.size() + 8, 0xA5);
    seeds.push_back(d);
  }
  {
    Bytes d = Header(3, 2, 16, BI_BITFIELDS);
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(d, m);
    d.resize(d.size() + 16, 0x5A);
    seeds.push_back(d);
  }
  {
    Bytes d = Header(4, 2, 12, 0x30323449);  // I420
    d.resize(d.size() + 12, 0x80);
    seeds.push_back(d);
  }
  {
    Bytes d = Header(8, 2, 12, 0x50313459);  // Y41P
    d.resize(d.size() + 24, 0x40);
    seeds.push_back(d);
  }
  std::mt19937 rng(20261209);
  int decoded = 0;
  for (int n = 0; n < 4000; ++n) {
    Bytes d = seeds[size_t(n) % seeds.size()];
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % d.size();
      switch (rng() % 4) {
        case 0: d[at] = uint8_t(rng()); break;
        case 1: d[at] ^= uint8_t(1u << (rng() % 8)); break;
        case 2: d.resize(std::max<size_t>(at, 1)); break;
        default: d[at] = uint8_t(d[at] + 1); break;
      }
    }
    TVXBitmap b;
    const int32_t r = Decode(d, b).result;
    if (r == 0) {
      ASSERT_TRUE(b.IsEmpty());
    } else {
      ++decoded;
      ASSERT_FALSE(b.IsEmpty());
      ASSERT_EQ(int64_t(b.Width()) * b.Height() > 0, true);
    }
  }
  EXPECT_GT(decoded, 0);
}

}  // namespace
