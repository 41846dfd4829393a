// BMP writing: every header version and depth loads in Pillow (and the 40-
// and 12-byte ones in bmptopnm) with the pixels written; the bytes of the
// headers, palettes and RLE rows; other pixel formats and short writes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codecs/bmp.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/params.h"
#include "tests/codecs/short_stream.h"
#include "tests/codecs/bmp_test_util.h"

using namespace bmptest;

namespace {

void ToBitmap(const Image& Im, TVXBitmap& Bmp) {
  ASSERT_TRUE(Bmp.Allocate(Im.W, Im.H, vx24RGB));
  for (int y = 0; y < Im.H; ++y)
    for (int x = 0; x < Im.W; ++x) {
      const uint8_t* p = Im.At(x, y);
      Bmp.SetPixels_vx24RGB(x, y, TRGB{p[2], p[1], p[0]});
    }
}

struct Written {
  std::vector<uint8_t> Bytes;
  bool Aborting = false;
};

Written Write(TVXBitmap& Bmp, TIOParamsVals& Params, bool WriteAlpha = false) {
  Written w;
  TMemoryStream out;
  TProgressRec progress;
  progress.Aborting = &w.Aborting;
  VXWriteBMPStream(&out, &Bmp, Params, progress, WriteAlpha);
  w.Bytes.assign(static_cast<const uint8_t*>(out.Memory()), static_cast<const uint8_t*>(out.Memory()) + out.Size());
  return w;
}

struct Read {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  std::unique_ptr<TVXMask> Mask;
  bool Aborting = false;
};

void ReadBack(const std::vector<uint8_t>& Bytes, Read& Out, bool Native = false) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec progress;
  progress.Aborting = &Out.Aborting;
  Out.Params.IsNativePixelFormat = Native;
  VXReadBMPStream(&s, &Out.Bitmap, 0, Out.Params, progress, false, false, Out.Mask, false);
}

uint32_t LE32(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) | (uint32_t(d[at + 1]) << 8) | (uint32_t(d[at + 2]) << 16) | (uint32_t(d[at + 3]) << 24);
}

// The bytes of the pixel data (from bfOffBits).
std::vector<uint8_t> PixelBytes(const std::vector<uint8_t>& File) {
  return std::vector<uint8_t>(File.begin() + LE32(File, 10), File.end());
}

}  // namespace

TEST(BmpWrite, EveryHeaderVersionAndDepthLoadsInTheOraclesWithThePixelsWritten) {
  REQUIRE_PILLOW();
  REQUIRE_NETPBM();
  ScratchDir dir;
  struct Case {
    int Bits;  // 1, 4, 8, 24
    int Colors;
    bool Rle;
  } depths[] = {{1, 2, false}, {4, 13, false}, {4, 13, true}, {8, 150, false}, {8, 150, true}, {24, 5000, false}};
  struct Version {
    TIOBMPVersion V;
    int HeaderSize;
    bool Netpbm;
  } versions[] = {{ioBMP_BM3, 40, true}, {ioBMP_BM, 40, true}, {ioBMP_BMOS2V1, 12, true}, {ioBMP_BMOS2V2, 64, false}};
  for (const Version& v : versions)
    for (const Case& c : depths) {
      SCOPED_TRACE("header " + std::to_string(v.HeaderSize) + ", " + std::to_string(c.Bits) + " bits" +
                   (c.Rle ? " RLE" : ""));
      const Image src = Pattern(29, 11, c.Colors);
      TVXBitmap bmp;
      ToBitmap(src, bmp);
      TIOParamsVals params(nullptr);
      params.SetBMP_Version(v.V);
      params.SetBMP_Compression(c.Rle ? ioBMP_RLE : ioBMP_UNCOMPRESSED);
      params.SetBitsPerSample(c.Bits == 24 ? 8 : c.Bits);
      params.SetSamplesPerPixel(c.Bits == 24 ? 3 : 1);
      const Written w = Write(bmp, params);
      ASSERT_FALSE(w.Aborting);
      EXPECT_EQ(LE32(w.Bytes, 14), uint32_t(v.HeaderSize));
      EXPECT_EQ(LE32(w.Bytes, 2), w.Bytes.size());
      const bool rleWritten = c.Rle && v.V != ioBMP_BMOS2V1;
      if (v.HeaderSize != 12) {
        EXPECT_EQ(LE32(w.Bytes, 30), rleWritten ? (c.Bits == 4 ? 2u : 1u) : 0u);
      }
      const std::string path = dir / "written.bmp";
      WriteFile(path, w.Bytes);
      Image pillow, netpbm;
      // Pillow 9 reads an RLE4 literal of an odd pixel count one pixel short
      // (it takes count div 2 bytes); bmptopnm and the reader check those files.
      if (!(rleWritten && c.Bits == 4)) {
        ASSERT_TRUE(DecodePillow(dir, path, pillow));
        EXPECT_EQ(Differences(pillow, src, true), "") << "Pillow";
      }
      if (v.Netpbm) {
        ASSERT_TRUE(DecodeNetpbm(dir, path, netpbm));
        EXPECT_EQ(Differences(netpbm, src, true), "") << "bmptopnm";
      }
      Read back;
      ReadBack(w.Bytes, back);
      ASSERT_FALSE(back.Aborting);
      EXPECT_EQ(Differences(FromBitmap(back.Bitmap), src, true), "") << "read back";
      EXPECT_EQ(back.Params.BMP_Version(), v.V == ioBMP_BM ? ioBMP_BM3 : v.V);
    }
}

TEST(BmpWrite, OS2CoreHeaderHasSixteenBitSizesAndThreeBytePaletteEntries) {
  TVXBitmap bmp;
  ToBitmap(Pattern(7, 3, 2), bmp);
  TIOParamsVals params(nullptr);
  params.SetBMP_Version(ioBMP_BMOS2V1);
  params.SetBitsPerSample(1);
  params.SetSamplesPerPixel(1);
  const Written w = Write(bmp, params);
  ASSERT_FALSE(w.Aborting);
  const std::vector<uint8_t> header(w.Bytes.begin() + 14, w.Bytes.begin() + 26);
  EXPECT_EQ(header, (std::vector<uint8_t>{12, 0, 0, 0, 7, 0, 3, 0, 1, 0, 1, 0}));
  // Two 3-byte entries, darker first, then the rows.
  EXPECT_EQ(std::vector<uint8_t>(w.Bytes.begin() + 26, w.Bytes.begin() + 32),
            (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
  EXPECT_EQ(LE32(w.Bytes, 10), 32u);
  EXPECT_EQ(w.Bytes.size(), 32u + 3 * 4);
}

TEST(BmpWrite, ResolutionIsWrittenInPixelsPerMetre) {
  TVXBitmap bmp(4, 4, vx24RGB);
  TIOParamsVals params(nullptr);
  params.SetBitsPerSample(8);
  params.SetSamplesPerPixel(3);
  // Resolutions beyond the 32-bit field (a damaged file's, read back) are kept to it.
  const struct {
    int32_t Dpi;
    uint32_t PixelsPerMetre;
  } cases[] = {{300, 11811}, {72, 2835}, {-600000000, 0x80000000u}, {600000000, 0x7FFFFFFFu}};
  for (const auto& c : cases) {
    params.SetDpiX(c.Dpi);
    params.SetDpiY(72);
    const Written w = Write(bmp, params);
    EXPECT_EQ(LE32(w.Bytes, 38), c.PixelsPerMetre) << c.Dpi;
    EXPECT_EQ(LE32(w.Bytes, 42), 2835u);
  }
}

// Rows of palette indices from a vx8p image, encoded as they are.
TEST(BmpWrite, RLERowsEncodeRunsAndLiteralsWithTheirPadding) {
  struct Case {
    int Bits;
    std::vector<uint8_t> Row;
    std::vector<uint8_t> Encoded;  // the pixel data of the one-row image
  } cases[] = {
      {4, {1, 2, 3}, {0, 3, 0x12, 0x30, 0, 0, 0, 1}},
      {4, {1, 2, 3, 4, 5}, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 1}},
      {4, {7, 7, 7, 7, 2, 3}, {4, 0x77, 2, 0x23, 0, 0, 0, 1}},
      {4, {5}, {1, 0x50, 0, 0, 0, 1}},
      {8, {9, 9, 9, 1, 2, 3, 4, 4}, {3, 9, 0, 3, 1, 2, 3, 0, 2, 4, 0, 0, 0, 1}},
      {8, {1, 2, 6, 6}, {1, 1, 1, 2, 2, 6, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    TVXBitmap bmp(int32_t(c.Row.size()), 1, vx8p);
    for (size_t x = 0; x < c.Row.size(); ++x) bmp.SetPixels_vx8(int32_t(x), 0, c.Row[x]);
    TIOParamsVals params(nullptr);
    params.SetBitsPerSample(c.Bits == 4 ? 4 : 8);
    params.SetSamplesPerPixel(1);
    params.SetBMP_Compression(ioBMP_RLE);
    const Written w = Write(bmp, params);
    ASSERT_FALSE(w.Aborting);
    EXPECT_EQ(PixelBytes(w.Bytes), c.Encoded) << c.Bits << " bits, " << c.Row.size() << " pixels";
  }
}

TEST(BmpWrite, RLE8RoundTripsItsIndicesAndEndsWithEndOfBitmap) {
  // Long runs (over 255), long literals (over 255) and short pieces.
  TVXBitmap bmp(700, 5, vx8p);
  for (int i = 0; i < 256; ++i) bmp.SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 700; ++x) bmp.SetPixels_vx8(x, y, uint8_t(x < 300 ? y : x < 600 ? x * 13 + y : (x / 3) % 4));
  TIOParamsVals params(nullptr);
  params.SetBitsPerSample(8);
  params.SetSamplesPerPixel(1);
  params.SetBMP_Compression(ioBMP_RLE);
  const Written w = Write(bmp, params);
  ASSERT_FALSE(w.Aborting);
  ASSERT_GE(w.Bytes.size(), 2u);
  EXPECT_EQ(w.Bytes[w.Bytes.size() - 2], 0);
  EXPECT_EQ(w.Bytes[w.Bytes.size() - 1], 1);
  EXPECT_EQ(LE32(w.Bytes, 34), w.Bytes.size() - LE32(w.Bytes, 10));  // image size
  Read back;
  ReadBack(w.Bytes, back, true);
  ASSERT_FALSE(back.Aborting);
  ASSERT_EQ(back.Bitmap.PixelFormat(), vx8p);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 700; ++x) ASSERT_EQ(back.Bitmap.Pixels_vx8(x, y), bmp.Pixels_vx8(x, y)) << x << "," << y;
  for (int i = 0; i < 256; ++i) EXPECT_EQ(back.Bitmap.Palette(i), bmp.Palette(i));
}

// 1 bit: two colours keep their colours (darker first); other images get
// black and white matching the bits of their black-and-white copy.
TEST(BmpWrite, OneBitPaletteFollowsTheColoursOfTheImage) {
  struct Case {
    const char* Name;
    TVXPixelFormat Format;
    std::vector<TRGB> Colours;  // cycled over the pixels
    TRGB Pal0, Pal1;
  } cases[] = {
      {"two colours", vx24RGB, {{255, 0, 0}, {0, 0, 40}}, {0, 0, 40}, {255, 0, 0}},
      {"one colour", vx24RGB, {{0, 200, 0}}, {0, 0, 0}, {255, 255, 255}},
      {"three colours", vx24RGB, {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}}, {0, 0, 0}, {255, 255, 255}},
      {"vx1g", vx1g, {{0, 0, 0}, {255, 255, 255}}, {0, 0, 0}, {255, 255, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXBitmap bmp(10, 3, c.Format);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 10; ++x) bmp.SetPixels(x, y, c.Colours[size_t(x * 3 + y) % c.Colours.size()]);
    TVXBitmap copy(&bmp);
    copy.SetPixelFormat(vx1g);
    TIOParamsVals params(nullptr);
    params.SetBitsPerSample(1);
    params.SetSamplesPerPixel(1);
    const Written w = Write(bmp, params);
    ASSERT_FALSE(w.Aborting);
    EXPECT_EQ(bmp.PixelFormat(), c.Format);
    const uint32_t pal = 14 + 40;
    EXPECT_EQ((TRGB{w.Bytes[pal], w.Bytes[pal + 1], w.Bytes[pal + 2]}), c.Pal0);
    EXPECT_EQ((TRGB{w.Bytes[pal + 4], w.Bytes[pal + 5], w.Bytes[pal + 6]}), c.Pal1);
    EXPECT_EQ(params.ColorMapCount(), 2);
    Read back;
    ReadBack(w.Bytes, back);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 10; ++x) {
        // Two colours come back as they were (a palette other than black
        // and white reads as colours); the others as the 1-bit copy.
        if (c.Colours.size() == 2)
          EXPECT_EQ(back.Bitmap.Pixels(x, y), bmp.Pixels(x, y)) << x << "," << y;
        else
          EXPECT_EQ(back.Bitmap.Pixels_vx1g(x, y), copy.Pixels_vx1g(x, y)) << x << "," << y;
      }
  }
}

// Other pixel formats are read as 24-bit pixels without changing the bitmap.
TEST(BmpWrite, OtherPixelFormatsAreWrittenFromAConvertedViewOfTheirRows) {
  for (TVXPixelFormat f : {vx1g, vx8g, vx8p, vx16g, vx48RGB, vx32RGB}) {
    SCOPED_TRACE(int(f));
    TVXBitmap bmp(9, 4, f);
    if (f == vx8p)
      for (int i = 0; i < 256; ++i) bmp.SetPalette(i, TRGB{uint8_t(i), uint8_t(i / 2), 7});
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 9; ++x)
        bmp.SetPixels(x, y, f == vx8p ? TRGB{uint8_t(x * 20), uint8_t(x * 10), 7} : TRGB{uint8_t(x * 25), uint8_t(y * 60), uint8_t(x * y)});
    const Image before = FromBitmap(bmp);
    TIOParamsVals params(nullptr);
    params.SetBitsPerSample(8);
    params.SetSamplesPerPixel(3);
    const Written w = Write(bmp, params);
    ASSERT_FALSE(w.Aborting);
    EXPECT_EQ(bmp.PixelFormat(), f);
    Read back;
    ReadBack(w.Bytes, back);
    EXPECT_EQ(Differences(FromBitmap(back.Bitmap), before, false), "");
  }
}

TEST(BmpWrite, ThirtyTwoBitsCarryTheAlphaChannelWhenAsked) {
  TVXBitmap bmp(5, 2, vx24RGB);
  for (int x = 0; x < 5; ++x) {
    bmp.SetPixels_vx24RGB(x, 0, TRGB{uint8_t(x), 2, 3});
    bmp.SetAlpha(x, 0, uint8_t(x * 60));
  }
  TIOParamsVals params(nullptr);
  params.SetBitsPerSample(8);
  params.SetSamplesPerPixel(4);
  for (bool writeAlpha : {true, false}) {
    const Written w = Write(bmp, params, writeAlpha);
    ASSERT_FALSE(w.Aborting);
    EXPECT_EQ(w.Bytes[28], 32);
    const std::vector<uint8_t> px = PixelBytes(w.Bytes);
    // The top row is the second row of the file.
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(px[20 + 4 * x], x);
      EXPECT_EQ(px[20 + 4 * x + 3], writeAlpha ? x * 60 : 255);
    }
    EXPECT_EQ(LE32(w.Bytes, 50), 1u);  // colours important
  }
}

TEST(BmpWrite, AShortWriteSetsTheAbortFlagAndLeavesTheHeadersUnfinished) {
  TVXBitmap bmp(50, 50, vx24RGB);
  TIOParamsVals params(nullptr);
  params.SetBitsPerSample(8);
  params.SetSamplesPerPixel(3);
  vxtest::TShortStream out(1000);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteBMPStream(&out, &bmp, params, progress, false);
  EXPECT_TRUE(aborting);
  const uint8_t* d = static_cast<const uint8_t*>(out.Memory());
  EXPECT_EQ(d[0], 'B');
  EXPECT_EQ(d[2] | d[3] | d[4] | d[5], 0);  // no file size
  EXPECT_EQ(d[28], 0);                      // no bits per pixel
}
