// BMP reading: files made by netpbm and ImageMagick decode as bmptopnm and
// Pillow decode them; hand-made files cover RLE escapes, top-down rows,
// alpha, bit fields, palettes and damaged data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/bmp.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/params.h"
#include "tests/codecs/bmp_test_util.h"

using namespace bmptest;

namespace {

struct Decoded {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  std::unique_ptr<TVXMask> Mask;
  bool Aborting = false;
};

void Decode(const std::vector<uint8_t>& Bytes, Decoded& Out, bool Native = false, bool HandleAlpha = false,
            bool Preview = false) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec progress;
  progress.Aborting = &Out.Aborting;
  Out.Params.IsNativePixelFormat = Native;
  VXReadBMPStream(&s, &Out.Bitmap, 0, Out.Params, progress, Preview, false, Out.Mask, !HandleAlpha);
}

// Both oracles and both pixel-format choices agree with the reader.
void ExpectLikeOracles(ScratchDir& Dir, const std::string& Path, bool Netpbm = true) {
  const std::vector<uint8_t> bytes = ReadFile(Path);
  Image pillow, netpbm;
  ASSERT_TRUE(DecodePillow(Dir, Path, pillow)) << Path;
  if (Netpbm) {
    ASSERT_TRUE(DecodeNetpbm(Dir, Path, netpbm)) << Path;
  }
  for (bool native : {false, true}) {
    Decoded d;
    Decode(bytes, d, native);
    ASSERT_FALSE(d.Aborting) << Path;
    const Image got = FromBitmap(d.Bitmap);
    EXPECT_EQ(Differences(got, pillow, false), "") << Path << " (Pillow, native " << native << ")";
    if (Netpbm) {
      EXPECT_EQ(Differences(got, netpbm, false), "") << Path << " (bmptopnm, native " << native << ")";
    }
  }
}

}  // namespace

TEST(BmpRead, NetpbmFilesOfEveryDepthAndHeaderDecodeLikeTheOracles) {
  REQUIRE_NETPBM();
  REQUIRE_PILLOW();
  ScratchDir dir;
  struct Case {
    int Bpp, Colors;
  } cases[] = {{1, 2}, {4, 12}, {8, 200}, {24, 4096}};
  for (const Case& c : cases)
    for (const char* kind : {"-windows", "-os2"}) {
      SCOPED_TRACE(std::to_string(c.Bpp) + " " + kind);
      const std::string ppm = dir / "src.ppm", bmp = dir / "netpbm.bmp";
      WritePpm(ppm, Pattern(37, 23, c.Colors));
      ASSERT_EQ(Shell("/usr/bin/ppmtobmp -bpp " + std::to_string(c.Bpp) + " " + kind + " " + ppm + " > " + bmp), 0);
      ExpectLikeOracles(dir, bmp);
      Decoded d;
      Decode(ReadFile(bmp), d, true);
      EXPECT_EQ(d.Params.BMP_Version(), std::string(kind) == "-os2" ? ioBMP_BMOS2V1 : ioBMP_BM3);
      EXPECT_EQ(d.Params.BitsPerSample(), c.Bpp == 24 ? 8 : c.Bpp);
      EXPECT_EQ(d.Params.SamplesPerPixel(), c.Bpp == 24 ? 3 : 1);
      EXPECT_EQ(d.Bitmap.PixelFormat(), c.Bpp == 1 ? vx1g : c.Bpp == 24 ? vx24RGB : vx8p);
      EXPECT_EQ(d.Params.Width(), 37);
      EXPECT_EQ(d.Params.Height(), 23);
      EXPECT_EQ(d.Params.ImageCount(), 1);
    }
}

TEST(BmpRead, ImageMagickFilesDecodeLikeTheOracles) {
  REQUIRE_CONVERT();
  REQUIRE_PILLOW();
  REQUIRE_NETPBM();
  ScratchDir dir;
  struct Case {
    const char* Args;
    int Colors;
    TIOBMPVersion Version;
    TIOBMPCompression Compression;
    int BitsPerSample, SamplesPerPixel;
  } cases[] = {
      {"-type Palette -compress None BMP3:", 200, ioBMP_BM3, ioBMP_UNCOMPRESSED, 8, 1},
      {"-type Palette -compress None BMP:", 200, ioBMP_BM, ioBMP_UNCOMPRESSED, 8, 1},
      {"-type Palette -compress RLE BMP3:", 200, ioBMP_BM3, ioBMP_RLE, 8, 1},
      {"-type Palette -compress RLE BMP:", 20, ioBMP_BM, ioBMP_RLE, 8, 1},
      {"-type TrueColor BMP3:", 4096, ioBMP_BM3, ioBMP_UNCOMPRESSED, 8, 3},
      {"-type TrueColor BMP:", 4096, ioBMP_BM, ioBMP_UNCOMPRESSED, 8, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Args);
    const std::string ppm = dir / "src.ppm", bmp = dir / "magick.bmp";
    WritePpm(ppm, Pattern(45, 19, c.Colors));
    ASSERT_EQ(Shell(kConvert + " " + ppm + " " + c.Args + bmp), 0);
    // bmptopnm does not read every RLE file ImageMagick writes (it has no deltas).
    ExpectLikeOracles(dir, bmp, c.Compression != ioBMP_RLE);
    const std::vector<uint8_t> file = ReadFile(bmp);
    if (file[14] == 124) {
      // The same file with a 108-byte (V4) header: the last 16 header bytes cut.
      std::vector<uint8_t> v4(file.begin(), file.begin() + 14 + 108);
      v4.insert(v4.end(), file.begin() + 14 + 124, file.end());
      v4[14] = 108;
      auto put32 = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) v4[at + k] = uint8_t(v >> (8 * k));
      };
      put32(2, uint32_t(v4.size()));
      put32(10, (file[10] | (file[11] << 8) | (file[12] << 16)) - 16);
      const std::string v4path = dir / "magick-v4.bmp";
      WriteFile(v4path, v4);
      ExpectLikeOracles(dir, v4path, c.Compression != ioBMP_RLE);
    }
    Decoded d;
    Decode(ReadFile(bmp), d);
    EXPECT_EQ(d.Params.BMP_Version(), c.Version);
    EXPECT_EQ(d.Params.BMP_Compression(), c.Compression);
    EXPECT_EQ(d.Params.BitsPerSample(), c.BitsPerSample);
    EXPECT_EQ(d.Params.SamplesPerPixel(), c.SamplesPerPixel);
    if (c.SamplesPerPixel == 1) {
      const std::vector<uint8_t> f = ReadFile(bmp);
      const int used = f[46] | (f[47] << 8);
      EXPECT_EQ(d.Params.ColorMapCount(), used == 0 ? 256 : used);
    }
  }
}

// 16-bit files keep the top bits of each channel: 5-5-5 and 5-6-5, from a
// 40-byte header (masks after it) or a 124-byte one (masks inside it).
TEST(BmpRead, SixteenBitBitFieldsKeepTheTopBitsOfEachChannel) {
  REQUIRE_CONVERT();
  REQUIRE_PILLOW();
  ScratchDir dir;
  struct Case {
    const char* Subtype;
    int GreenBits;
  } cases[] = {{"RGB565", 6}, {"RGB555", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Subtype);
    const std::string ppm = dir / "src.ppm", bmp = dir / "16.bmp";
    WritePpm(ppm, Pattern(33, 9, 4096));
    ASSERT_EQ(Shell(kConvert + " " + ppm + " -define bmp:subtype=" + c.Subtype + " BMP:" + bmp), 0);
    const std::vector<uint8_t> v5 = ReadFile(bmp);
    ASSERT_EQ(v5[14], 124);
    Image pillow;
    ASSERT_TRUE(DecodePillow(dir, bmp, pillow));
    // The same pixels behind a 40-byte header with the masks after it.
    auto le32 = [&](size_t at) { return uint32_t(v5[at] | (v5[at + 1] << 8) | (v5[at + 2] << 16)); };
    const uint32_t masks[3] = {le32(14 + 40), le32(14 + 44), le32(14 + 48)};
    const uint32_t off = v5[10] | (v5[11] << 8);
    const std::vector<uint8_t> v3 =
        MakeBMP(33, 9, 16, 3, {}, std::vector<uint8_t>(v5.begin() + off, v5.end()), 40, masks);
    for (const auto* bytes : {&v5, &v3})
      for (bool native : {false, true}) {
        Decoded d;
        Decode(*bytes, d, native);
        ASSERT_FALSE(d.Aborting);
        EXPECT_EQ(d.Bitmap.PixelFormat(), vx24RGB);
        EXPECT_EQ(d.Params.BitsPerSample(), 5);
        EXPECT_EQ(d.Params.SamplesPerPixel(), 3);
        // Each channel, reduced to its field width, equals the oracle's.
        const Image got = FromBitmap(d.Bitmap);
        const int widths[3] = {5, c.GreenBits, 5};
        int bad = 0;
        for (int y = 0; y < got.H; ++y)
          for (int x = 0; x < got.W; ++x)
            for (int ch = 0; ch < 3; ++ch) {
              const int w = widths[ch];
              const int mine = got.At(x, y)[ch], theirs = pillow.At(x, y)[ch];
              if ((mine & ((0xFF << (8 - w)) & 0xFF)) != mine ||
                  mine >> (8 - w) != (theirs * ((1 << w) - 1) + 127) / 255)
                ++bad;
            }
        EXPECT_EQ(bad, 0) << (bytes == &v5 ? "124-byte header" : "40-byte header") << ", native " << native;
      }
  }
}

TEST(BmpRead, SixteenBitWithoutBitFieldsIsFiveFiveFiveAndAllOnesMasksAreGrey) {
  // Pixel values: red only, green only, blue only, white.
  const std::vector<uint8_t> px = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F};
  Decoded d;
  Decode(MakeBMP(4, 1, 16, 0, {}, px), d);
  ASSERT_FALSE(d.Aborting);
  const Image got = FromBitmap(d.Bitmap);
  const uint8_t want[4][3] = {{248, 0, 0}, {0, 248, 0}, {0, 0, 248}, {248, 248, 248}};
  for (int x = 0; x < 4; ++x)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(got.At(x, 0)[c], want[x][c]) << x << " " << c;

  // All-ones masks: 16-bit grey, kept whole in the native format.
  const uint32_t grey[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  const std::vector<uint8_t> g = {0x34, 0x12, 0xCD, 0xAB, 0, 0, 0, 0};
  Decoded n;
  Decode(MakeBMP(2, 1, 16, 3, {}, g, 40, grey), n, true);
  ASSERT_EQ(n.Bitmap.PixelFormat(), vx16g);
  EXPECT_EQ(n.Bitmap.Pixels_vx16g(0, 0), 0x1234);
  EXPECT_EQ(n.Bitmap.Pixels_vx16g(1, 0), 0xABCD);
  Decoded rgb;
  Decode(MakeBMP(2, 1, 16, 3, {}, g, 40, grey), rgb, false);
  EXPECT_EQ(rgb.Bitmap.Pixels_vx24RGB(1, 0), (TRGB{0xAB, 0xAB, 0xAB}));
}

// Hand-made RLE data: runs, literals with their pad byte, runs and literals
// past the width (dropped), a delta escape, end of line and end of bitmap.
TEST(BmpRead, RLEEscapesPlacePixelsWhereTheWalkPutsThem) {
  const std::vector<TRGB> pal = {{0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}, {255, 255, 255}};
  struct Case {
    const char* Name;
    int Bits;
    std::vector<uint8_t> Data;
    std::vector<uint8_t> Want;  // indices, top row first
  } cases[] = {
      {"RLE8",
       8,
       {3, 1,           // bottom row: 1 1 1
        0, 2, 1, 1,     // delta: right 1, up 1 row (column 4 of the middle row)
        2, 2,           // past the width: dropped
        0, 0,           // end of line: top row
        0, 3, 3, 4, 2, 0,  // literal 3 4 2 and its pad byte
        5, 1,           // 1 at column 3, the rest dropped
        0, 1},
       {3, 4, 2, 1, /**/ 0, 0, 0, 0, /**/ 1, 1, 1, 0}},
      {"RLE4",
       4,
       {5, 0x12,        // bottom row: 1 2 1 2 (the fifth dropped)
        0, 0,
        0, 2, 2, 0,     // delta: right 2, same row
        2, 0x35,        // 3 5 at columns 2 and 3
        0, 0,
        0, 3, 0x45, 0x10,  // literal 4 5 1 (two bytes: no pad)
        0, 1},
       {4, 5, 1, 0, /**/ 0, 0, 3, 5, /**/ 1, 2, 1, 2}},
      {"RLE8 ending with an end of line on the last row",
       8,
       {4, 2, 0, 0, 4, 3, 0, 0, 4, 4, 0, 0, 9, 9},
       {4, 4, 4, 4, /**/ 3, 3, 3, 3, /**/ 2, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> file = MakeBMP(4, 3, c.Bits, c.Bits == 8 ? 1 : 2, pal, c.Data);
    for (bool native : {true, false}) {
      Decoded d;
      Decode(file, d, native);
      ASSERT_FALSE(d.Aborting);
      EXPECT_EQ(d.Params.BMP_Compression(), ioBMP_RLE);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
          const uint8_t want = c.Want[size_t(y) * 4 + x];
          if (native)
            EXPECT_EQ(d.Bitmap.Pixels_vx8(x, y), want) << x << "," << y;
          else
            EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(x, y), pal[want]) << x << "," << y;
        }
    }
  }
}

// Rows stored top-down (negative height) load upright, the alpha mask too;
// the fourth bytes of 32-bit files become a mask only when they carry
// transparency, and only when transparency is asked for.
TEST(BmpRead, TopDownRowsAndThirtyTwoBitAlpha) {
  struct Case {
    const char* Name;
    int Bits;
    bool TopDown;
    std::vector<uint8_t> Alphas;  // per pixel, top row first (32 bits)
    bool MaskExpected;
  } cases[] = {
      {"24-bit top-down", 24, true, {}, false},
      {"24-bit bottom-up", 24, false, {}, false},
      {"32-bit all zero", 32, false, {0, 0, 0, 0, 0, 0}, false},
      {"32-bit all 255", 32, true, {255, 255, 255, 255, 255, 255}, false},
      {"32-bit mixed bottom-up", 32, false, {255, 128, 0, 255, 255, 10}, true},
      {"32-bit mixed top-down", 32, true, {255, 128, 0, 255, 255, 10}, true},
      {"32-bit only 0 and 255", 32, true, {255, 0, 255, 255, 255, 255}, true},
  };
  const int W = 3, H = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const int bpp = c.Bits / 8;
    const int rowLen = (W * bpp + 3) / 4 * 4;
    std::vector<uint8_t> px(size_t(rowLen) * H, 0);
    for (int y = 0; y < H; ++y) {
      const int fileRow = c.TopDown ? y : H - 1 - y;
      for (int x = 0; x < W; ++x) {
        uint8_t* p = &px[size_t(fileRow) * rowLen + size_t(x) * bpp];
        p[0] = uint8_t(10 * x), p[1] = uint8_t(100 + y), p[2] = uint8_t(200 + x + y);
        if (bpp == 4) p[3] = c.Alphas[size_t(y) * W + x];
      }
    }
    const std::vector<uint8_t> file = MakeBMP(W, c.TopDown ? -H : H, c.Bits, 0, {}, px);
    Decoded d;
    Decode(file, d, false, true);
    ASSERT_FALSE(d.Aborting);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(x, y), (TRGB{uint8_t(10 * x), uint8_t(100 + y), uint8_t(200 + x + y)}));
        if (c.MaskExpected && d.Mask) {
          EXPECT_EQ(d.Mask->GetPixel(x, y), c.Alphas[size_t(y) * W + x]) << x << "," << y;
        }
      }
    EXPECT_EQ(d.Mask != nullptr, c.MaskExpected);
    Decoded ignored;
    Decode(file, ignored, false, false);
    EXPECT_EQ(ignored.Mask, nullptr);
  }
}

// vx1g holds white as 1: a (white, black) palette gives the same picture as
// its (black, white) twin with the bits inverted.
TEST(BmpRead, OneBitWhiteBlackPaletteShowsThePictureOfItsTwin) {
  const std::vector<uint8_t> bits = {0xA5, 0x80, 0, 0, 0x3C, 0x00, 0, 0};
  std::vector<uint8_t> inverted = bits;
  for (auto& b : inverted) b = uint8_t(~b);
  Decoded normal, swapped;
  Decode(MakeBMP(9, 2, 1, 0, {{0, 0, 0}, {255, 255, 255}}, bits), normal);
  Decode(MakeBMP(9, 2, 1, 0, {{255, 255, 255}, {0, 0, 0}}, inverted), swapped);
  ASSERT_EQ(swapped.Bitmap.PixelFormat(), vx1g);
  EXPECT_EQ(Differences(FromBitmap(swapped.Bitmap), FromBitmap(normal.Bitmap), false), "");
  EXPECT_TRUE(normal.Bitmap.Pixels_vx1g(0, 1));   // file row 0 is the bottom row
  EXPECT_FALSE(normal.Bitmap.Pixels_vx1g(1, 1));
}

// Indices at or beyond the palette read black, in plain and RLE rows.
TEST(BmpRead, IndicesBeyondThePaletteReadBlack) {
  const std::vector<TRGB> pal = {{10, 20, 30}, {40, 50, 60}};
  struct Case {
    int Bits;
    uint32_t Compression;
    std::vector<uint8_t> Data;
  } cases[] = {
      {8, 0, {1, 7, 200, 0}},
      {4, 0, {0x1F, 0x20, 0, 0}},
      {8, 1, {1, 1, 2, 250, 0, 1}},
  };
  for (const Case& c : cases) {
    Decoded d;
    Decode(MakeBMP(3, 1, c.Bits, c.Compression, pal, c.Data), d);
    ASSERT_FALSE(d.Aborting);
    EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(0, 0), pal[1]) << c.Bits << "/" << c.Compression;
    EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(1, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(2, 0), (TRGB{0, 0, 0}));
  }
}

TEST(BmpRead, PreviewFillsTheParametersAndLeavesTheBitmap) {
  Decoded d;
  d.Bitmap.Allocate(2, 2, vx8g);
  std::vector<uint8_t> px(size_t(12) * 5, 0);
  Decode(MakeBMP(11, 5, 8, 0, {{1, 2, 3}}, px), d, false, false, true);
  EXPECT_FALSE(d.Aborting);
  EXPECT_EQ(d.Params.Width(), 11);
  EXPECT_EQ(d.Params.Height(), 5);
  EXPECT_EQ(d.Params.BitsPerSample(), 8);
  EXPECT_EQ(d.Params.DpiX(), 72);  // 2835 pixels per metre
  EXPECT_EQ(d.Params.ColorMapCount(), 1);
  EXPECT_EQ(d.Bitmap.Width(), 2);
  EXPECT_EQ(d.Bitmap.PixelFormat(), vx8g);
}

// What no rule decodes, and what the stream cannot hold, fails without
// allocating the image.
TEST(BmpRead, UndecodableOrOversizedFilesSetTheAbortFlag) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> File;
  } cases[] = {
      {"not BM", std::vector<uint8_t>{'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}},
      {"2 bits per pixel", MakeBMP(4, 1, 2, 0, {{0, 0, 0}}, {0, 0, 0, 0})},
      {"RLE on 24 bits", MakeBMP(1, 1, 24, 1, {}, {0, 1})},
      {"JPEG compression", MakeBMP(1, 1, 24, 4, {}, {0, 0, 0, 0})},
      {"pixels the stream does not hold", MakeBMP(60000, 60000, 24, 0, {}, {1, 2, 3})},
      // One flipped bit in the height: 33,554,462 rows, nearly all missing.
      {"height far beyond the rows held", MakeBMP(4, 33554462, 24, 0, {}, std::vector<uint8_t>(12 * 30, 7))},
      // gdk-pixbuf's bug776694.bmp: 131,168 x 4,096 pixels of RLE4 from 5 KB.
      {"RLE data far too short for the size", MakeBMP(131168, 4096, 4, 2, std::vector<TRGB>(16, TRGB{9, 9, 9}), std::vector<uint8_t>(5000, 0x51))},
      {"top-down height far beyond the rows held", MakeBMP(4, -33554462, 1, 0, {{0, 0, 0}, {255, 255, 255}}, std::vector<uint8_t>(4 * 30, 7))},
      {"header longer than the stream", MakeBMP(1, 1, 24, 0, {}, {1, 2, 3, 0}, 4000)},
      {"truncated header", std::vector<uint8_t>{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0}},
  };
  for (Case& c : cases) {
    if (std::string(c.Name) == "header longer than the stream") c.File.resize(200);
    Decoded d;
    Decode(c.File, d);
    EXPECT_TRUE(d.Aborting) << c.Name;
    EXPECT_TRUE(d.Bitmap.IsEmpty()) << c.Name;
  }
}

// Every cut and many single-bit flips of real files load or refuse cleanly;
// a cut inside the pixels is reported.
TEST(BmpRead, TruncatedAndBitFlippedFilesLoadOrRefuseCleanly) {
  REQUIRE_CONVERT();
  ScratchDir dir;
  const std::string ppm = dir / "src.ppm";
  WritePpm(ppm, Pattern(21, 13, 200));
  std::vector<std::vector<uint8_t>> files;
  for (const char* args : {"-type Palette -compress RLE BMP3:", "-type Palette -compress None BMP:", "BMP3:",
                           "-define bmp:subtype=RGB565 BMP:", "-type Palette -colors 12 -depth 4 BMP3:"}) {
    const std::string bmp = dir / "f.bmp";
    ASSERT_EQ(Shell(kConvert + " " + ppm + " " + args + bmp), 0) << args;
    files.push_back(ReadFile(bmp));
  }
  uint32_t seed = 7;
  for (const auto& file : files) {
    const uint32_t off = file[10] | (file[11] << 8);
    for (size_t cut = 0; cut < file.size(); cut += 1 + file.size() / 97) {
      Decoded d;
      Decode(std::vector<uint8_t>(file.begin(), file.begin() + long(cut)), d, cut % 2 == 0, true);
      if (cut > off && cut + 4 < file.size()) {
        EXPECT_TRUE(d.Aborting) << "cut at " << cut;
      }
    }
    for (int i = 0; i < 200; ++i) {
      std::vector<uint8_t> flipped = file;
      seed = seed * 1664525u + 1013904223u;
      const size_t at = (seed >> 8) % std::min<size_t>(flipped.size(), i < 150 ? 80 : flipped.size());
      flipped[at] ^= uint8_t(1 << (seed & 7));
      Decoded d;
      Decode(flipped, d, i % 2 == 0, true);
    }
  }
}

// Progress runs up with the rows; setting the abort flag from the progress
// handler stops the reader.
TEST(BmpRead, ProgressFollowsTheRowsAndTheAbortFlagStopsTheReader) {
  std::vector<uint8_t> rle;
  for (int y = 0; y < 50; ++y) rle.insert(rle.end(), {8, uint8_t(y), 0, 0});
  rle.insert(rle.end(), {0, 1});
  const std::vector<std::vector<uint8_t>> files = {
      MakeBMP(8, 50, 24, 0, {}, std::vector<uint8_t>(size_t(24) * 50, 7)),
      MakeBMP(8, 50, 8, 1, std::vector<TRGB>(256, TRGB{1, 2, 3}), rle),
  };
  for (const auto& file : files) {
    for (int stopAt : {-1, 40}) {
      TVXBitmap bmp;
      TIOParamsVals params(nullptr);
      std::unique_ptr<TVXMask> mask;
      bool aborting = false;
      std::vector<int32_t> seen;
      TProgressRec progress;
      progress.Aborting = &aborting;
      progress.fOnProgress = [&](void*, int32_t per) {
        seen.push_back(per);
        if (stopAt >= 0 && per >= stopAt) aborting = true;
      };
      TVXMemStream s(file.data(), int64_t(file.size()));
      VXReadBMPStream(&s, &bmp, 0, params, progress, false, false, mask, true);
      ASSERT_FALSE(seen.empty());
      EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
      if (stopAt < 0) {
        EXPECT_FALSE(aborting);
        EXPECT_GE(seen.back(), 90);
      } else {
        EXPECT_TRUE(aborting);
        EXPECT_EQ(seen.back(), 40) << "the reader went on after the abort";
      }
    }
  }
}

namespace {

// ImageMagick's decoding as RGBA (its alpha 255 where the file has none).
bool DecodeMagick(ScratchDir& Dir, const std::vector<uint8_t>& File, Image& Out) {
  const std::string path = Dir / "magick-in.bmp", raw = Dir / "magick-out.rgba";
  WriteFile(path, File);
  if (Shell(kConvert + " BMP:" + path + " -depth 8 RGBA:" + raw + " 2>/dev/null") != 0) return false;
  if (Shell("/usr/bin/identify -format '%w %h' BMP:" + path + " > " + raw + ".size 2>/dev/null") != 0) return false;
  const std::vector<uint8_t> size = ReadFile(raw + ".size");
  int w = 0, h = 0;
  if (sscanf(std::string(size.begin(), size.end()).c_str(), "%d %d", &w, &h) != 2) return false;
  Out = Image(w, h);
  const std::vector<uint8_t> px = ReadFile(raw);
  if (px.size() != Out.Px.size()) return false;
  Out.Px = px;
  return true;
}

// A 32-bit bit-field BMP of Picture: the three colour masks (and an alpha mask
// when the header holds one) after a 40-byte header (HeaderSize 40) or inside
// a V4/V5 header (108, 124). Each channel is stored at its field's width.
std::vector<uint8_t> MakeBitFieldBMP(const Image& Picture, uint32_t HeaderSize, const uint32_t (&Masks)[4]) {
  auto put = [](uint32_t Mask, uint8_t Value) -> uint32_t {
    if (Mask == 0) return 0;
    const int shift = __builtin_ctz(Mask), width = __builtin_popcount(Mask);
    const uint64_t top = (uint64_t(1) << width) - 1;
    return uint32_t(((Value * top + 127) / 255) << shift);
  };
  std::vector<uint8_t> px;
  for (int y = Picture.H - 1; y >= 0; --y)
    for (int x = 0; x < Picture.W; ++x) {
      const uint8_t* p = Picture.At(x, y);
      const uint32_t v = put(Masks[0], p[0]) | put(Masks[1], p[1]) | put(Masks[2], p[2]) | put(Masks[3], p[3]);
      for (int k = 0; k < 4; ++k) px.push_back(uint8_t(v >> (8 * k)));
    }
  Bytes h;
  h.U32(HeaderSize).U32(uint32_t(Picture.W)).U32(uint32_t(Picture.H)).U16(1).U16(32).U32(3);
  h.U32(uint32_t(px.size())).U32(2835).U32(2835).U32(0).U32(0);
  h.U32(Masks[0]).U32(Masks[1]).U32(Masks[2]);
  if (HeaderSize > 40) h.U32(Masks[3]);
  if (HeaderSize > 40) h.D.resize(HeaderSize, 0);
  Bytes f;
  f.U8('B').U8('M').U32(uint32_t(14 + h.D.size() + px.size())).U32(0).U32(uint32_t(14 + h.D.size()));
  return f.Raw(h.D).Raw(px).D;
}

}  // namespace

// 32-bit bit fields in any layout: each channel from its own mask, scaled to
// 8 bits; an alpha mask is honoured; masks that overlap or are all zero refuse
// the file. ImageMagick reads the same files.
TEST(BmpRead, ThirtyTwoBitBitFieldsFollowTheirMasks) {
  // Values that a 2-bit field holds exactly, so that every layout can carry them.
  Image picture(4, 3);
  const uint8_t v[4] = {0, 85, 170, 255};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) picture.Set(x, y, v[x], v[(x + y) % 4], v[(3 - x + 2 * y) % 4], v[(x + 2 * y + 1) % 4]);
  struct Case {
    const char* Name;
    uint32_t HeaderSize;
    uint32_t Masks[4];  // red, green, blue, alpha
    bool Alpha;         // the alpha mask carries the picture's alpha
    bool Magick;        // ImageMagick reads the layout exactly (it reads
                        // 10-bit fields one level low and 2-bit alpha wrongly)
  } cases[] = {
      {"R G B X from the top byte down", 40, {0xFF000000u, 0x00FF0000u, 0x0000FF00u, 0}, false, true},
      {"10-10-10-2 with alpha in V5", 124, {0x3FF00000u, 0x000FFC00u, 0x000003FFu, 0xC0000000u}, true, false},
      {"alpha in the low byte in V4", 108, {0xFF000000u, 0x00FF0000u, 0x0000FF00u, 0x000000FFu}, true, true},
      {"usual order with alpha in V5", 124, {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}, true, true},
      {"blue and red swapped", 40, {0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0}, false, true},
  };
  ScratchDir dir;
  const bool magick = HaveTool(kConvert);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> file = MakeBitFieldBMP(picture, c.HeaderSize, c.Masks);
    Decoded d;
    Decode(file, d, false, true);
    ASSERT_FALSE(d.Aborting);
    ASSERT_EQ(d.Bitmap.PixelFormat(), vx24RGB);
    Image want = picture;
    if (!c.Alpha)
      for (int y = 0; y < want.H; ++y)
        for (int x = 0; x < want.W; ++x) want.At(x, y)[3] = 255;
    EXPECT_EQ(Differences(FromBitmap(d.Bitmap, d.Mask.get()), want, true), "");
    EXPECT_EQ(d.Mask != nullptr, c.Alpha);
    if (magick && c.Magick) {
      Image theirs;
      ASSERT_TRUE(DecodeMagick(dir, file, theirs));
      EXPECT_EQ(Differences(FromBitmap(d.Bitmap), theirs, false), "") << "against ImageMagick";
    }
  }
  struct Bad {
    const char* Name;
    uint32_t Masks[4];
  } bad[] = {
      {"red and green overlap", {0xFFFF0000u, 0x00FFFF00u, 0x000000FFu, 0}},
      {"alpha overlaps blue", {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0x000001FFu}},
      {"all zero", {0, 0, 0, 0}},
  };
  for (const Bad& b : bad) {
    Decoded d;
    Decode(MakeBitFieldBMP(picture, 124, b.Masks), d, false, true);
    EXPECT_TRUE(d.Aborting) << b.Name;
    EXPECT_TRUE(d.Bitmap.IsEmpty()) << b.Name;
  }
}

// A 1-bit file whose palette is not black and white keeps its colours, as an
// indexed or a colour bitmap; a missing second entry reads black.
TEST(BmpRead, OneBitColourPalettesKeepTheirColours) {
  const std::vector<uint8_t> bits = {0xA5, 0x80, 0, 0, 0x3C, 0x00, 0, 0};  // 9 x 2, bottom row first
  struct Case {
    const char* Name;
    std::vector<TRGB> Palette;
    TRGB Zero, One;
    bool Magick;  // ImageMagick reads it too
  } cases[] = {
      {"blue and green", {TRGB{255, 0, 0}, TRGB{0, 255, 0}}, TRGB{255, 0, 0}, TRGB{0, 255, 0}, true},
      {"white and red", {TRGB{255, 255, 255}, TRGB{0, 0, 255}}, TRGB{255, 255, 255}, TRGB{0, 0, 255}, true},
      {"one entry", {TRGB{0, 200, 100}}, TRGB{0, 200, 100}, TRGB{0, 0, 0}, false},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> file = MakeBMP(9, 2, 1, 0, c.Palette, bits);
    for (bool native : {false, true}) {
      Decoded d;
      Decode(file, d, native);
      ASSERT_FALSE(d.Aborting);
      EXPECT_EQ(d.Bitmap.PixelFormat(), native ? vx8p : vx24RGB);
      EXPECT_EQ(d.Params.BitsPerSample(), 1);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 9; ++x) {
          const bool set = (bits[size_t(1 - y) * 4 + size_t(x / 8)] >> (7 - x % 8)) & 1;
          EXPECT_EQ(d.Bitmap.Pixels(x, y), set ? c.One : c.Zero) << x << "," << y << " native " << native;
        }
    }
    if (c.Magick && HaveTool(kConvert)) {
      Decoded d;
      Decode(file, d);
      Image theirs;
      ASSERT_TRUE(DecodeMagick(dir, file, theirs));
      EXPECT_EQ(Differences(FromBitmap(d.Bitmap), theirs, false), "") << "against ImageMagick";
    }
  }
}

// Compressions the reader does not decode are refused, not read as raw bits:
// Huffman 1D (compression 3 in an OS/2 2.x header) and 24-bit RLE (4).
TEST(BmpRead, OS2HuffmanAndTwentyFourBitRLEAreRefused) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> File;
  } cases[] = {
      {"OS/2 64-byte header, Huffman 1D", MakeBMP(16, 2, 1, 3, {{0, 0, 0}, {255, 255, 255}}, std::vector<uint8_t>(8, 0x55), 64)},
      {"OS/2 24-byte header, Huffman 1D", MakeBMP(16, 2, 1, 3, {{0, 0, 0}, {255, 255, 255}}, std::vector<uint8_t>(8, 0x55), 24)},
      {"OS/2 64-byte header, 24-bit RLE", MakeBMP(2, 2, 24, 4, {}, {2, 7, 0, 0, 2, 9, 0, 1}, 64)},
      {"bit fields on 8 bits", MakeBMP(4, 1, 8, 3, {{1, 2, 3}}, {0, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    Decoded d;
    Decode(c.File, d);
    EXPECT_TRUE(d.Aborting) << c.Name;
    EXPECT_TRUE(d.Bitmap.IsEmpty()) << c.Name;
  }
}
