// TIFF reading of hand-built pages: header versions, resolution, alpha
// samples, row rules, PackBits, predictor, fill order, short strips, single
// tiles, refused pages; and damaged copies of the fuzz seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "io/params.h"
#include "tests/io/tiff_test_util.h"

using tifftest::Rational;
using tifftest::TBuilder;
using tifftest::TEntry;

namespace {

// A page of one strip (or none when Strip is empty): the strip's bytes
// first, then the directory.
std::string Page(const std::string& Strip, std::vector<TEntry> Entries, bool LittleEndian = true,
                 bool BigTIFF = false) {
  TBuilder b(LittleEndian, BigTIFF);
  if (!Strip.empty()) {
    const uint64_t at = b.data.size();
    b.data += Strip;
    Entries.push_back({273, 4, {at}});
    Entries.push_back({279, 4, {Strip.size()}});
  }
  std::sort(Entries.begin(), Entries.end(), [](const TEntry& a, const TEntry& b) { return a.Tag < b.Tag; });
  b.AddIFD(Entries);
  return b.data;
}

std::vector<TEntry> Basic(uint32_t W, uint32_t H, uint16_t Photometric, uint16_t Samples, uint16_t Bits,
                          uint16_t Compression = 1) {
  return {{256, 4, {W}},           {257, 4, {H}}, {258, 3, std::vector<uint64_t>(Samples, Bits)},
          {259, 3, {Compression}}, {262, 3, {Photometric}}, {277, 3, {Samples}}};
}

struct TResult {
  bool Aborting = false;
  int32_t Pages = 0;
  TVXBitmap Bitmap;
  std::unique_ptr<TVXMask> Mask;
  TIOParamsVals Params;
};

// Reads page 0 of the bytes; Setup adjusts the parameters first.
std::unique_ptr<TResult> Read(const std::string& Bytes, bool IgnoreAlpha = false, bool Native = false,
                              void (*Setup)(TIOParamsVals&) = nullptr, bool Preview = false) {
  auto r = std::make_unique<TResult>();
  r->Params.IsNativePixelFormat = Native;
  if (Setup) Setup(r->Params);
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec progress;
  progress.Aborting = &r->Aborting;
  VXReadTIFFStream(&r->Bitmap, &s, r->Pages, r->Params, progress, Preview, r->Mask, true, IgnoreAlpha);
  return r;
}

// A page whose one strip (StripOffsets, the last entry of Entries) follows
// its directory, at the end of the file.
std::string StripAfterIFD(std::vector<TEntry> Entries, const std::string& Strip) {
  std::sort(Entries.begin(), Entries.end(), [](const TEntry& a, const TEntry& b) { return a.Tag < b.Tag; });
  TBuilder first(true);
  first.AddIFD(Entries);
  for (TEntry& e : Entries)
    if (e.Tag == 273) e.Values = {uint64_t(first.data.size())};
  TBuilder b(true);
  b.AddIFD(Entries);
  return b.data + Strip;
}

std::vector<uint8_t> Row(const TVXBitmap& b, int32_t y, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(y));
  return std::vector<uint8_t>(p, p + n);
}

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(char(uint8_t(b)));
  return s;
}

TEST(TiffEdge, HeaderVersionsBigTIFFAndByteOrder) {
  // A 2 x 1 grey page in every header form: version 42, another version
  // word (read as classic), BigTIFF, big-endian.
  const std::string grey = Bytes({10, 200});
  std::string other = Page(grey, Basic(2, 1, 1, 1, 8));
  other[2] = 0x34;
  other[3] = 0x12;
  const std::vector<std::pair<const char*, std::string>> files = {
      {"classic", Page(grey, Basic(2, 1, 1, 1, 8))},
      {"other version", other},
      {"BigTIFF", Page(grey, Basic(2, 1, 1, 1, 8), true, true)},
      {"big-endian", Page(grey, Basic(2, 1, 1, 1, 8), false)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    auto r = Read(bytes, false, true);
    EXPECT_FALSE(r->Aborting);
    EXPECT_EQ(r->Pages, 1);
    ASSERT_EQ(r->Bitmap.PixelFormat(), vx8g);
    EXPECT_EQ(Row(r->Bitmap, 0, 2), std::vector<uint8_t>({10, 200}));
    EXPECT_EQ(r->Params.TIFF_BigTIFF(), std::string(name) == "BigTIFF");
    EXPECT_EQ(r->Params.TIFF_ByteOrder(), std::string(name) == "big-endian" ? ioBigEndian : ioLittleEndian);
  }
  // Refused: an unknown byte-order mark, a first offset of 0.
  std::string bad = Page(grey, Basic(2, 1, 1, 1, 8));
  bad[0] = 'X';
  EXPECT_TRUE(Read(bad)->Aborting);
  std::string zero = Page(grey, Basic(2, 1, 1, 1, 8));
  zero[4] = zero[5] = zero[6] = zero[7] = 0;
  EXPECT_TRUE(Read(zero)->Aborting);
}

TEST(TiffEdge, ResolutionInDotsPerInch) {
  struct TCase {
    const char* Name;
    std::vector<TEntry> Extra;
    int32_t Dpi;
    double Exif;
  };
  const int32_t def = VXGetGlobalSettings()->DefaultDPIX();
  const std::vector<TCase> cases = {
      {"300/1 inch", {{282, 5, {Rational(300, 1)}}, {283, 5, {Rational(300, 1)}}, {296, 3, {2}}}, 300, 300},
      {"100/1 cm", {{282, 5, {Rational(100, 1)}}, {283, 5, {Rational(100, 1)}}, {296, 3, {3}}}, 254, 254},
      {"none", {}, def, double(def)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TEntry> e = Basic(2, 1, 1, 1, 8);
    e.insert(e.end(), c.Extra.begin(), c.Extra.end());
    auto r = Read(Page(Bytes({1, 2}), e));
    EXPECT_FALSE(r->Aborting);
    EXPECT_EQ(r->Params.DpiX(), c.Dpi);
    EXPECT_EQ(r->Params.DpiY(), c.Dpi);
    EXPECT_DOUBLE_EQ(r->Params.EXIF_XResolution(), c.Exif);
  }
}

TEST(TiffEdge, BilevelPagesLabelledRGB) {
  // 8 pixels, bits 1111 0000: uncompressed RGB-labelled bilevel data are
  // WhiteIsZero (inverted into vx1g, 1 = white); with LZW they are
  // BlackIsZero.
  auto plain = Read(Page(Bytes({0xF0}), Basic(8, 1, 2, 1, 1)));
  EXPECT_FALSE(plain->Aborting);
  ASSERT_EQ(plain->Bitmap.PixelFormat(), vx1g);
  EXPECT_EQ(Row(plain->Bitmap, 0, 1)[0], 0x0F);
  EXPECT_EQ(plain->Params.TIFF_PhotometInterpret(), ioTIFF_WHITEISZERO);
  // LZW: Clear, 0xF0, EndOfInformation in 9-bit codes.
  auto lzw = Read(Page(Bytes({0x80, 0x3C, 0x20, 0x20}), Basic(8, 1, 2, 1, 1, 5)));
  EXPECT_FALSE(lzw->Aborting);
  EXPECT_EQ(Row(lzw->Bitmap, 0, 1)[0], 0xF0);
  EXPECT_EQ(lzw->Params.TIFF_PhotometInterpret(), ioTIFF_BLACKISZERO);
}

TEST(TiffEdge, AlphaSamples) {
  // Two RGBA pixels, unassociated alpha (ExtraSamples 2).
  std::vector<TEntry> e = Basic(2, 1, 2, 4, 8);
  e.push_back({338, 3, {2}});
  const std::string rgba = Page(Bytes({10, 20, 30, 40, 50, 60, 70, 255}), e);
  auto with = Read(rgba);
  EXPECT_FALSE(with->Aborting);
  EXPECT_EQ(Row(with->Bitmap, 0, 6), std::vector<uint8_t>({30, 20, 10, 70, 60, 50}));
  ASSERT_TRUE(with->Mask);
  EXPECT_EQ(with->Mask->GetScanLine(0)[0], 40);
  EXPECT_EQ(with->Mask->GetScanLine(0)[1], 255);
  EXPECT_FALSE(with->Mask->Full());
  auto without = Read(rgba, true);
  EXPECT_FALSE(without->Aborting);
  EXPECT_FALSE(without->Mask);
  EXPECT_EQ(Row(without->Bitmap, 0, 6), std::vector<uint8_t>({30, 20, 10, 70, 60, 50}));

  // Associated alpha on five samples: the colour divided back, clamped.
  std::vector<TEntry> a = Basic(3, 1, 2, 5, 8);
  a.push_back({338, 3, {1, 0}});
  auto assoc = Read(Page(Bytes({100, 50, 0, 128, 9, 200, 100, 7, 0, 9, 3, 2, 1, 255, 9}), a));
  EXPECT_FALSE(assoc->Aborting);
  EXPECT_EQ(Row(assoc->Bitmap, 0, 9), std::vector<uint8_t>({0, 99, 199, 255, 255, 255, 1, 2, 3}));
  ASSERT_TRUE(assoc->Mask);
  EXPECT_EQ(std::vector<uint8_t>(assoc->Mask->GetScanLine(0), assoc->Mask->GetScanLine(0) + 3),
            std::vector<uint8_t>({128, 0, 255}));

  // 16-bit RGBA keeps its alpha (the high byte), in either byte order and
  // either layout: a transparent pixel must not load opaque.
  for (const bool planar : {false, true})
    for (const bool le : {true, false}) {
      SCOPED_TRACE(std::string(planar ? "planar" : "chunky") + (le ? " II" : " MM"));
      // Pixel 0: white, fully transparent; pixel 1: red, alpha 0x80xx.
      const uint16_t px[2][4] = {{0xFFFF, 0xFFFF, 0xFFFF, 0x0000}, {0xFF00, 0x0000, 0x0000, 0x8011}};
      std::string strip;
      auto put = [&](uint16_t v) {
        strip.push_back(char(le ? v & 255 : v >> 8));
        strip.push_back(char(le ? v >> 8 : v & 255));
      };
      if (planar)
        for (int c = 0; c < 4; ++c)
          for (int x = 0; x < 2; ++x) put(px[x][c]);
      else
        for (int x = 0; x < 2; ++x)
          for (int c = 0; c < 4; ++c) put(px[x][c]);
      std::vector<TEntry> w = Basic(2, 1, 2, 4, 16);
      w.push_back({338, 3, {2}});
      if (planar) w.push_back({284, 3, {2}});
      TBuilder b(le);
      std::vector<uint64_t> offsets, counts;
      const size_t per = planar ? 4 : 1;
      for (size_t k = 0; k < per; ++k) {
        offsets.push_back(b.data.size() + k * strip.size() / per);
        counts.push_back(strip.size() / per);
      }
      b.data += strip;
      w.push_back({273, 4, offsets});
      w.push_back({279, 4, counts});
      std::sort(w.begin(), w.end(), [](const TEntry& x, const TEntry& y) { return x.Tag < y.Tag; });
      b.AddIFD(w);
      auto wide = Read(b.data);
      EXPECT_FALSE(wide->Aborting);
      EXPECT_EQ(Row(wide->Bitmap, 0, 6), std::vector<uint8_t>({255, 255, 255, 0, 0, 255}));
      ASSERT_TRUE(wide->Mask);
      EXPECT_FALSE(wide->Mask->Full());
      EXPECT_EQ(std::vector<uint8_t>(wide->Mask->GetScanLine(0), wide->Mask->GetScanLine(0) + 2),
                std::vector<uint8_t>({0, 0x80}));
    }
}

TEST(TiffEdge, RowRules) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    std::vector<TEntry> Entries;
    bool Native;
    TVXPixelFormat Format;
    std::vector<uint8_t> Row0;
  };
  std::vector<TEntry> molli = Basic(1, 1, 1, 1, 16);
  molli.push_back({305, 2, {}, std::string("Look@Molli v1.1\0", 16)});
  std::vector<TEntry> pred = Basic(2, 1, 2, 3, 8, 8);
  pred.push_back({317, 3, {2}});
  std::vector<TEntry> fill2 = Basic(8, 1, 1, 1, 1);
  fill2.push_back({266, 3, {2}});
  std::vector<TEntry> palette = Basic(3, 1, 3, 1, 4);
  std::vector<uint64_t> map(48, 0);
  map[1] = 65535;       // red of entry 1
  map[16 + 2] = 32768;  // green of entry 2
  palette.push_back({320, 3, map});
  // zlib of 10 20 30 1 1 1.
  const std::string zipped = Bytes({0x78, 0x9c, 0xe3, 0x12, 0x91, 0x63, 0x64, 0x64, 0x04, 0x00, 0x01, 0x24, 0x00, 0x40});
  const std::vector<TCase> cases = {
      {"4-bit grey 0xF0", Bytes({0xF0}), Basic(2, 1, 1, 1, 4), true, vx24RGB, {255, 255, 255, 0, 0, 0}},
      {"WhiteIsZero 8-bit, native", Bytes({0, 55}), Basic(2, 1, 0, 1, 8), true, vx8g, {255, 200}},
      {"WhiteIsZero 8-bit, 24-bit", Bytes({0, 55}), Basic(2, 1, 0, 1, 8), false, vx24RGB, {255, 255, 255, 200, 200, 200}},
      {"16-bit grey", Bytes({0xFF, 0xFF}), Basic(1, 1, 1, 1, 16), false, vx24RGB, {255, 255, 255}},
      {"16-bit grey Look@Molli", Bytes({0xFF, 0x0F}), molli, false, vx24RGB, {255, 255, 255}},
      {"16-bit grey native", Bytes({0x34, 0x12}), Basic(1, 1, 1, 1, 16), true, vx16g, {0x34, 0x12}},
      {"12-bit grey", Bytes({0xAB, 0xCD, 0xEF}), Basic(2, 1, 1, 1, 12), true, vx16g, {0xC0, 0xAB, 0xF0, 0xDE}},
      {"CMYK 0,0,0,0", Bytes({0, 0, 0, 0}), Basic(1, 1, 5, 4, 8), true, vxCMYK, {255, 255, 255, 255}},
      {"predictor 2 RGB", zipped, pred, false, vx24RGB, {30, 20, 10, 31, 21, 11}},
      {"fill order 2", Bytes({0x0F}), fill2, false, vx1g, {0xF0}},
      {"4-bit palette", Bytes({0x12, 0x00}), palette, false, vx24RGB, {0, 0, 255, 0, 128, 0, 0, 0, 0}},
      {"RGB555", Bytes({0x1F, 0x7C}), Basic(1, 1, 2, 1, 16), false, vx24RGB, {248, 0, 248}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto r = Read(Page(c.Bytes, c.Entries), false, c.Native);
    EXPECT_FALSE(r->Aborting);
    ASSERT_EQ(r->Bitmap.PixelFormat(), c.Format);
    EXPECT_EQ(Row(r->Bitmap, 0, c.Row0.size()), c.Row0);
  }
}

TEST(TiffEdge, PackBits) {
  struct TCase {
    std::string Data;
    std::vector<uint8_t> Row;
  };
  for (const TCase& c : std::vector<TCase>{{Bytes({0x80, 0xFE, 0x41}), {0x41, 0x41, 0x41, 0}},
                                           {Bytes({0x01, 7, 8, 0xFF, 9}), {7, 8, 9, 9}},
                                           {Bytes({0x05, 1, 2}), {1, 2, 0, 0}},
                                           {Bytes({0xF0, 3}), {3, 3, 3, 3}}}) {
    std::vector<uint8_t> row(4, 0);
    int64_t used = 0;
    VXTIFFUnpackBits(reinterpret_cast<const uint8_t*>(c.Data.data()), int64_t(c.Data.size()), used, row.data(), 4);
    EXPECT_EQ(row, c.Row);
    EXPECT_LE(used, int64_t(c.Data.size()));
  }
  auto r = Read(Page(Bytes({0x80, 0xFE, 0x41}), Basic(3, 1, 1, 1, 8, 32773)), false, true);
  EXPECT_FALSE(r->Aborting);
  EXPECT_EQ(Row(r->Bitmap, 0, 3), std::vector<uint8_t>({0x41, 0x41, 0x41}));
}

TEST(TiffEdge, ShortAndMissingStripData) {
  // Two rows of 4 grey bytes in one strip whose byte count says 2: read at
  // the full uncompressed size.
  std::vector<TEntry> e = Basic(4, 2, 1, 1, 8);
  TBuilder b(true);
  b.data += Bytes({1, 2, 3, 4, 5, 6, 7, 8});
  e.push_back({273, 4, {8}});
  e.push_back({279, 4, {2}});
  b.AddIFD(e);
  auto r = Read(b.data, false, true);
  EXPECT_FALSE(r->Aborting);
  EXPECT_EQ(Row(r->Bitmap, 1, 4), std::vector<uint8_t>({5, 6, 7, 8}));
  // No byte counts: up to the stream's end. A strip cut by the end of the
  // stream decodes as zeros past it.
  TBuilder n(true);
  n.data += Bytes({9, 8, 7, 6, 5, 4, 3, 2});
  std::vector<TEntry> ne = Basic(4, 2, 1, 1, 8, 32773);
  ne.push_back({273, 4, {8}});
  n.AddIFD(ne);
  auto nr = Read(n.data, false, true);
  EXPECT_FALSE(nr->Aborting);
  EXPECT_EQ(Row(nr->Bitmap, 0, 4), std::vector<uint8_t>({8, 7, 6, 5}));
  // A strip that starts in the file and is cut by its end: zeros past it.
  std::vector<TEntry> ce = Basic(4, 2, 1, 1, 8);
  ce.push_back({273, 4, {0}});
  ce.push_back({279, 4, {8}});
  auto cr = Read(StripAfterIFD(ce, Bytes({1, 2, 3, 4, 5, 6})), false, true);
  EXPECT_FALSE(cr->Aborting);
  EXPECT_EQ(Row(cr->Bitmap, 1, 4), std::vector<uint8_t>({5, 6, 0, 0}));

  // A strip (or tile) none of whose bytes lie in the file, or that has
  // none, is damage: refused, not loaded blank.
  struct TNoData {
    const char* Name;
    uint16_t Compression;
    uint64_t Offset;  // past the end when large
    uint64_t Count;
    bool Tiled, Planar;
  };
  for (const TNoData& c : std::vector<TNoData>{{"uncompressed strip past the end", 1, 4000, 8, false, false},
                                               {"PackBits strip past the end", 32773, 4000, 8, false, false},
                                               {"Deflate strip past the end", 8, 1u << 30, 8, false, false},
                                               {"strip at the very end, no byte count", 32773, 0, 0, false, false},
                                               {"planar strip past the end", 1, 4000, 4, false, true},
                                               {"tile past the end", 1, 4000, 8, true, false}}) {
    SCOPED_TRACE(c.Name);
    TBuilder b(true);
    b.data += Bytes({1, 2, 3, 4, 5, 6, 7, 8});
    std::vector<TEntry> e = Basic(4, 2, c.Planar ? 2 : 1, c.Planar ? 3 : 1, 8, c.Compression);
    const uint16_t offsetsTag = c.Tiled ? 324 : 273, countsTag = c.Tiled ? 325 : 279;
    if (c.Tiled) {
      e.push_back({322, 3, {16}});
      e.push_back({323, 3, {16}});
    }
    if (c.Planar) {
      e.push_back({284, 3, {2}});
      // The first two planes in the file, the third not.
      e.push_back({offsetsTag, 4, {8, 8, c.Offset}});
      e.push_back({countsTag, 4, {c.Count, c.Count, c.Count}});
    } else if (c.Count == 0) {
      // No byte counts, and the strip starts where the file ends.
      e.push_back({offsetsTag, 4, {0}});
      EXPECT_TRUE(Read(StripAfterIFD(e, ""), false, true)->Aborting);
      continue;
    } else {
      e.push_back({offsetsTag, 4, {c.Offset}});
      e.push_back({countsTag, 4, {c.Count}});
    }
    std::sort(e.begin(), e.end(), [](const TEntry& x, const TEntry& y) { return x.Tag < y.Tag; });
    b.AddIFD(e);
    EXPECT_TRUE(Read(b.data, false, true)->Aborting);
  }
}

TEST(TiffEdge, Group4RowsAfterAZeroLengthRun) {
  // Three 16-pixel rows: H(0, 0) H(5, 3) V0, then twice V0 V0 V0, then
  // EOFB. The reference runs of row 0 begin 0, 0, so b1 of row 1 lies at 0
  // and rows 1 and 2 are 8 black pixels (as libtiff decodes them).
  const std::string bits =
      "001" "00110101" "0000110111" "001" "1100" "10" "1" "111" "111" "000000000001" "000000000001";
  std::string strip;
  for (size_t k = 0; k < bits.size(); k += 8) {
    std::string byte = bits.substr(k, 8);
    byte.resize(8, '0');
    strip += char(std::stoi(byte, nullptr, 2));
  }
  auto r = Read(Page(strip, Basic(16, 3, 0, 1, 1, 4)), false, true);
  EXPECT_FALSE(r->Aborting);
  ASSERT_EQ(r->Bitmap.PixelFormat(), vx1g);
  // vx1g: 1 is white.
  EXPECT_EQ(Row(r->Bitmap, 0, 2), std::vector<uint8_t>({0xF8, 0xFF}));
  EXPECT_EQ(Row(r->Bitmap, 1, 2), std::vector<uint8_t>({0x00, 0xFF}));
  EXPECT_EQ(Row(r->Bitmap, 2, 2), std::vector<uint8_t>({0x00, 0xFF}));
}

TEST(TiffEdge, SingleTileAtTheTopLeft) {
  // A 4 x 2 page of four 2 x 1 tiles; TIFF_GetTile 3 reads tile 3 alone.
  TBuilder b(true);
  std::vector<uint64_t> offsets;
  for (int t = 0; t < 4; ++t) {
    offsets.push_back(b.data.size());
    b.data += Bytes({10 * t + 1, 10 * t + 2});
  }
  std::vector<TEntry> e = Basic(4, 2, 1, 1, 8);
  e.push_back({322, 3, {2}});
  e.push_back({323, 3, {1}});
  e.push_back({324, 4, offsets});
  e.push_back({325, 4, {2, 2, 2, 2}});
  b.AddIFD(e);
  auto whole = Read(b.data, false, true);
  EXPECT_FALSE(whole->Aborting);
  EXPECT_EQ(Row(whole->Bitmap, 1, 4), std::vector<uint8_t>({21, 22, 31, 32}));
  auto one = Read(b.data, false, true, [](TIOParamsVals& p) { p.SetTIFF_GetTile(3); });
  EXPECT_FALSE(one->Aborting);
  EXPECT_EQ(one->Bitmap.Width(), 2);
  EXPECT_EQ(one->Bitmap.Height(), 1);
  EXPECT_EQ(Row(one->Bitmap, 0, 2), std::vector<uint8_t>({31, 32}));
}

TEST(TiffEdge, TilesReachingFarPastThePage) {
  // A 3 x 20 page in tiles of 64 x 16: only the first three columns of each
  // tile row and the rows down to the page's end are the picture's. Tile
  // pixels are x + 10 y (8 bits) or x + y (4 bits, grey 17 a step); the
  // columns and rows beyond the page hold 200 (8) or 15 (4) and must not
  // show.
  struct TCase {
    uint16_t Bits;
    uint16_t Compression;
  };
  for (const TCase& c : {TCase{8, 1}, TCase{4, 1}, TCase{8, 32773}, TCase{4, 32773}}) {
    SCOPED_TRACE(std::to_string(c.Bits) + " bits, compression " + std::to_string(c.Compression));
    const int TW = 64, TL = 16, W = 3, H = 20;
    TBuilder b(true);
    std::vector<uint64_t> offsets, counts;
    for (int t = 0; t < 2; ++t) {
      std::string tile;
      for (int r = 0; r < TL; ++r) {
        const int y = t * TL + r;
        std::string row;
        for (int x = 0; x < TW; x += 8 / c.Bits) {
          const bool inside = y < H;
          if (c.Bits == 8) {
            row.push_back(char(x < W && inside ? x + 10 * y : 200));
          } else {
            const int hi = x < W && inside ? (x + y) & 15 : 15, lo = x + 1 < W && inside ? (x + 1 + y) & 15 : 15;
            row.push_back(char(hi << 4 | lo));
          }
        }
        if (c.Compression == 32773) tile += char(int(row.size()) - 1);  // one literal run a row
        tile += row;
      }
      offsets.push_back(b.data.size());
      counts.push_back(tile.size());
      b.data += tile;
    }
    std::vector<TEntry> e = Basic(W, H, 1, 1, c.Bits, c.Compression);
    e.push_back({322, 3, {uint64_t(TW)}});
    e.push_back({323, 3, {uint64_t(TL)}});
    e.push_back({324, 4, offsets});
    e.push_back({325, 4, counts});
    b.AddIFD(e);
    auto r = Read(b.data, false, true);
    EXPECT_FALSE(r->Aborting);
    ASSERT_EQ(r->Bitmap.Width(), W);
    ASSERT_EQ(r->Bitmap.Height(), H);
    const TVXPixelFormat pf = r->Bitmap.PixelFormat();
    ASSERT_TRUE(pf == vx8g || pf == vx24RGB);
    const int step = pf == vx8g ? 1 : 3;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        EXPECT_EQ(Row(r->Bitmap, y, step * W)[step * x], c.Bits == 8 ? x + 10 * y : ((x + y) & 15) * 17)
            << x << ", " << y;
  }
  // Tiles decode whole rows of their own width: tiles of 65536 columns over
  // a page of 16, their rows from four bytes of LZW each, ask for work the
  // data could never hold and are refused as damage, not decoded.
  TBuilder wide(true);
  const uint64_t lzw = wide.data.size();
  wide.data += Bytes({0x80, 0x00, 0x20, 0x20});  // clear, end of information
  std::vector<TEntry> e = Basic(16, 256, 2, 3, 8, 5);
  e.push_back({322, 4, {65536}});
  e.push_back({323, 4, {16}});
  e.push_back({324, 4, std::vector<uint64_t>(16, lzw)});
  e.push_back({325, 4, std::vector<uint64_t>(16, 4)});
  wide.AddIFD(e);
  EXPECT_TRUE(Read(wide.data)->Aborting);
}

TEST(TiffEdge, RefusedPages) {
  std::vector<TEntry> ycc = Basic(2, 2, 6, 3, 8);
  ycc.push_back({530, 3, {2, 2}});
  std::vector<TEntry> planar = Basic(1, 1, 2, 11, 8);
  planar.push_back({284, 3, {2}});
  std::vector<TEntry> unequal = Basic(1, 1, 2, 3, 8);
  unequal[2] = TEntry(258, 3, {8, 8, 16});
  std::vector<TEntry> noSize = Basic(0, 1, 1, 1, 8);
  std::vector<TEntry> float16grey = Basic(1, 1, 1, 1, 16), float16rgb = Basic(1, 1, 2, 3, 16),
                      float32grey = Basic(1, 1, 1, 1, 32);
  for (auto* f : {&float16grey, &float16rgb, &float32grey}) f->push_back({339, 3, {3}});
  const std::vector<std::pair<const char*, std::string>> pages = {
      {"YCbCr 2 x 2 uncompressed", Page(std::string(12, '\x80'), ycc)},
      {"12-bit WhiteIsZero", Page(Bytes({1, 2, 3}), Basic(2, 1, 0, 1, 12))},
      {"planar, 11 samples", Page(std::string(11, '\1'), planar)},
      {"unknown compression", Page(Bytes({1}), Basic(1, 1, 1, 1, 8, 99))},
      {"bits per sample differ", Page(Bytes({1, 2, 3, 4}), unequal)},
      {"no width", Page(Bytes({1}), noSize)},
      {"no strips", Page("", Basic(1, 1, 1, 1, 8))},
      {"32-bit palette", Page(Bytes({1, 2, 3, 4}), Basic(1, 1, 3, 1, 32))},
      {"16-bit float grey", Page(Bytes({0x00, 0x3C}), float16grey)},
      {"16-bit float RGB", Page(std::string(6, '\x3C'), float16rgb)},
      {"32-bit float grey", Page(Bytes({0, 0, 0x80, 0x3F}), float32grey)},
  };
  for (const auto& [name, bytes] : pages) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(Read(bytes, false, true)->Aborting);
  }
  // Parameters only on a page without a width: filled, refused, bitmap alone.
  auto p = Read(Page(Bytes({1}), noSize), false, false, nullptr, true);
  EXPECT_TRUE(p->Aborting);
  EXPECT_EQ(p->Params.Height(), 1);
  EXPECT_TRUE(p->Bitmap.IsEmpty());
}

TEST(TiffEdge, SubIFDOfThePage) {
  // A 2 x 1 page whose SubIFDs entry points to a 3 x 1 sub-image.
  TBuilder b(true);
  const uint64_t mainStrip = b.data.size();
  b.data += Bytes({1, 2});
  const uint64_t subStrip = b.data.size();
  b.data += Bytes({7, 8, 9, 0});
  std::vector<TEntry> sub = Basic(3, 1, 1, 1, 8);
  sub.push_back({273, 4, {subStrip}});
  sub.push_back({279, 4, {3}});
  const uint64_t subAt = b.AddIFD(sub);
  std::vector<TEntry> page = Basic(2, 1, 1, 1, 8);
  page.push_back({273, 4, {mainStrip}});
  page.push_back({279, 4, {2}});
  page.push_back({330, 4, {subAt}});
  const uint64_t pageAt = b.AddIFD(page);
  b.SetFirstLink(pageAt);
  auto main = Read(b.data, false, true);
  EXPECT_FALSE(main->Aborting);
  EXPECT_EQ(main->Pages, 1);
  EXPECT_EQ(Row(main->Bitmap, 0, 2), std::vector<uint8_t>({1, 2}));
  auto subPage = Read(b.data, false, true, [](TIOParamsVals& p) { p.SetTIFF_SubIndex(0); });
  EXPECT_FALSE(subPage->Aborting);
  EXPECT_EQ(subPage->Pages, 1);
  ASSERT_EQ(subPage->Bitmap.Width(), 3);
  EXPECT_EQ(Row(subPage->Bitmap, 0, 3), std::vector<uint8_t>({7, 8, 9}));
  // No second sub-image: the page itself.
  auto none = Read(b.data, false, true, [](TIOParamsVals& p) { p.SetTIFF_SubIndex(1); });
  EXPECT_FALSE(none->Aborting);
  EXPECT_EQ(none->Bitmap.Width(), 2);
}

TEST(TiffEdge, DamagedSeedsLoadOrRefuse) {
  // Every seed cut short at many places and with bytes flipped: each read
  // ends, refused or with a bitmap of the size the page declares.
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int64_t oldMax = settings->MaxImagePixels();
  settings->SetMaxImagePixels(int64_t(1) << 22);
  int32_t loaded = 0, refused = 0;
  for (const auto& f : std::filesystem::directory_iterator(VX_SOURCE_DIR "/fuzz/seeds/tiff")) {
    const std::string bytes = tifftest::ReadFile(f.path().string());
    std::vector<std::string> variants;
    const size_t step = std::max<size_t>(1, bytes.size() / 23);
    for (size_t cut = 0; cut < bytes.size(); cut += step) variants.push_back(bytes.substr(0, cut));
    for (size_t at = 0; at < bytes.size(); at += std::max<size_t>(1, step / 3)) {
      std::string v = bytes;
      v[at] = char(v[at] ^ 0xA5);
      variants.push_back(v);
    }
    for (const std::string& v : variants) {
      auto r = Read(v, false, true, [](TIOParamsVals& p) { p.SetTIFF_EnableAdjustOrientation(true); });
      if (r->Aborting) {
        ++refused;
        continue;
      }
      ++loaded;
      // An old-style JPEG stream without strips decodes at its own size.
      if (r->Params.TIFF_Compression() != ioTIFF_OLDJPEG) {
        EXPECT_EQ(int64_t(r->Bitmap.Width()) * r->Bitmap.Height(), int64_t(r->Params.Width()) * r->Params.Height())
            << f.path();
      }
    }
  }
  settings->SetMaxImagePixels(oldMax);
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
