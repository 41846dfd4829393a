// Icon and cursor reading: files made by icotool decode as Pillow decodes
// them, entry by entry; hand-made files cover the AND mask rules, the
// background colour, the 256-pixel check, resources and damaged data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/ico.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/bmp_test_util.h"

using namespace bmptest;

namespace {

struct Decoded {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  std::unique_ptr<TVXMask> Mask;
  bool Aborting = false;
};

void DecodeICO(const std::vector<uint8_t>& Bytes, Decoded& Out, int32_t Index, bool Native = false,
               bool Check256 = false, bool Preview = false) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec progress;
  progress.Aborting = &Out.Aborting;
  Out.Params.IsNativePixelFormat = Native;
  Out.Params.SetICO_ImageIndex(Index);
  VXReadICOStream(&s, &Out.Bitmap, Out.Params, Preview, progress, Out.Mask, false, Check256);
}

void DecodeCUR(const std::vector<uint8_t>& Bytes, Decoded& Out, int32_t Index) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec progress;
  progress.Aborting = &Out.Aborting;
  Out.Params.SetCUR_ImageIndex(Index);
  VXReadCURStream(&s, &Out.Bitmap, Out.Params, false, progress, Out.Mask, false);
}

}  // namespace

TEST(IcoRead, EveryEntryOfAnIcotoolIconDecodesLikePillow) {
  REQUIRE_ICOTOOL();
  REQUIRE_PILLOW();
  ScratchDir dir;
  struct Case {
    int Size, Colors, AlphaKind;
    bool Png;
    int BitsPerSample, SamplesPerPixel;
  } cases[] = {
      {16, 2, 1, false, 1, 1},    {24, 12, 1, false, 4, 1},   {32, 200, 1, false, 8, 1},
      {40, 5000, 1, false, 8, 3}, {48, 5000, 2, false, 8, 4}, {256, 5000, 2, true, 8, 4},
  };
  std::string args;
  for (const Case& c : cases) {
    const std::string png = dir / ("e" + std::to_string(c.Size) + ".png");
    ASSERT_TRUE(WritePng(dir, png, Source(c.Size, c.Size, c.Colors, c.AlphaKind)));
    args += (c.Png ? " -r " : " ") + png;
  }
  const std::string ico = dir / "mix.ico";
  ASSERT_EQ(Shell("/usr/bin/icotool -c -o " + ico + args), 0);
  const std::vector<uint8_t> bytes = ReadFile(ico);
  for (int i = 0; i < 6; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE("entry " + std::to_string(i) + " (" + std::to_string(c.Size) + ")");
    Image pillow;
    ASSERT_TRUE(DecodePillow(dir, ico, pillow, c.Size, c.Size));
    for (bool native : {false, true}) {
      Decoded d;
      DecodeICO(bytes, d, i, native);
      ASSERT_FALSE(d.Aborting);
      EXPECT_EQ(d.Params.ImageCount(), 6);
      EXPECT_EQ(d.Params.Width(), c.Size);
      EXPECT_EQ(d.Params.BitsPerSample(), c.BitsPerSample);
      EXPECT_EQ(d.Params.SamplesPerPixel(), c.SamplesPerPixel);
      if (c.Png) {
        // The PNG reader puts the transparency into the alpha channel.
        EXPECT_EQ(d.Mask, nullptr);
        EXPECT_TRUE(d.Bitmap.HasAlphaChannel());
      } else {
        ASSERT_NE(d.Mask, nullptr);
      }
      if (native && (c.BitsPerSample == 4 || c.BitsPerSample == 8) && c.SamplesPerPixel == 1) {
        EXPECT_EQ(d.Bitmap.PixelFormat(), vx8p);
      }
      EXPECT_EQ(Differences(FromBitmap(d.Bitmap, d.Mask.get()), pillow, true), "") << "native " << native;
    }
  }
}

TEST(IcoRead, ThreeIconsReadAtIndexTwoGiveTheLargestAndTheDirectory) {
  REQUIRE_ICOTOOL();
  REQUIRE_PILLOW();
  ScratchDir dir;
  std::string args;
  for (int s : {16, 32, 48}) {
    const std::string png = dir / ("s" + std::to_string(s) + ".png");
    ASSERT_TRUE(WritePng(dir, png, Source(s, s, 5000, 1)));
    args += " " + png;
  }
  ASSERT_EQ(Shell("/usr/bin/icotool -c -o " + (dir / "three.ico") + args), 0);
  const std::vector<uint8_t> bytes = ReadFile(dir / "three.ico");
  Decoded d;
  DecodeICO(bytes, d, 2);
  ASSERT_FALSE(d.Aborting);
  EXPECT_EQ(d.Bitmap.Width(), 48);
  EXPECT_EQ(d.Bitmap.Height(), 48);
  EXPECT_EQ(d.Params.ImageCount(), 3);
  const int sizes[16] = {16, 32, 48};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(d.Params.ICO_Sizes[i].cx, sizes[i]) << i;
    EXPECT_EQ(d.Params.ICO_Sizes[i].cy, sizes[i]) << i;
    EXPECT_EQ(d.Params.ICO_BitCount[i], i < 3 ? bytes[6 + 16 * i + 6] : 0) << i;
  }
  TVXMemStream s(bytes.data(), int64_t(bytes.size()));
  EXPECT_EQ(VXGetICOStreamImageCount(&s), 3);
  EXPECT_EQ(s.Position(), 0);
  // Out of the directory: nothing changes and nothing is reported.
  for (int32_t index : {3, -1}) {
    Decoded out;
    out.Bitmap.Allocate(5, 5, vx8g);
    out.Params.SetImageCount(9);
    DecodeICO(bytes, out, index);
    EXPECT_FALSE(out.Aborting);
    EXPECT_EQ(out.Bitmap.Width(), 5);
    EXPECT_EQ(out.Params.ImageCount(), 9);
  }
  // Parameters only.
  Decoded p;
  p.Bitmap.Allocate(5, 5, vx8g);
  DecodeICO(bytes, p, 1, false, false, true);
  EXPECT_FALSE(p.Aborting);
  EXPECT_EQ(p.Params.Width(), 32);
  EXPECT_EQ(p.Params.BitsPerSample(), bytes[6 + 16 + 6] <= 8 ? bytes[6 + 16 + 6] : 8);
  EXPECT_EQ(p.Bitmap.Width(), 5);
}

TEST(IcoRead, IcotoolCursorsDecodeLikePillowWithTheirHotspot) {
  REQUIRE_ICOTOOL();
  REQUIRE_PILLOW();
  ScratchDir dir;
  struct Case {
    int Size, Colors, AlphaKind, Bits;
  } cases[] = {{32, 2, 1, 1}, {32, 200, 1, 8}, {32, 5000, 1, 24}, {32, 5000, 0, 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Bits) + " bits, alpha " + std::to_string(c.AlphaKind));
    const std::string png = dir / "c.png", cur = dir / "c.cur";
    ASSERT_TRUE(WritePng(dir, png, Source(c.Size, c.Size, c.Colors, c.AlphaKind)));
    ASSERT_EQ(Shell("/usr/bin/icotool -c --cursor -X 5 -Y 7 -o " + cur + " " + png), 0);
    // Pillow shows a cursor without its AND mask: the source's transparency
    // says where the colours must agree and what the mask must hold.
    Image pillow;
    ASSERT_TRUE(DecodePillow(dir, cur, pillow));
    const Image src = Source(c.Size, c.Size, c.Colors, c.AlphaKind);
    for (size_t i = 3; i < pillow.Px.size(); i += 4) pillow.Px[i] = src.Px[i];
    Decoded d;
    DecodeCUR(ReadFile(cur), d, 0);
    ASSERT_FALSE(d.Aborting);
    EXPECT_EQ(d.Params.CUR_XHotSpot(), 5);
    EXPECT_EQ(d.Params.CUR_YHotSpot(), 7);
    EXPECT_EQ(d.Params.BitsPerSample(), c.Bits);
    EXPECT_EQ(d.Params.SamplesPerPixel(), 1);
    EXPECT_EQ(d.Bitmap.PixelFormat(), c.Bits == 1 ? vx1g : vx24RGB);
    // A cursor returns its mask even when every pixel is opaque.
    ASSERT_NE(d.Mask, nullptr);
    EXPECT_EQ(Differences(FromBitmap(d.Bitmap, d.Mask.get()), pillow, true), "");
  }
}

// Masked pixels of palette entries show the background colour; 1-bit
// entries show them over white by inverting; an icon whose mask ends up all
// opaque returns none.
TEST(IcoRead, MaskedPixelsAndTheBackgroundColour) {
  const std::vector<TRGB> pal8 = [] {
    std::vector<TRGB> p(256, TRGB{0, 0, 0});
    p[1] = {200, 100, 50};
    return p;
  }();
  // 4 x 2, 8 bits: all index 1, the left column masked.
  const std::vector<uint8_t> xor8 = {1, 1, 1, 1, 1, 1, 1, 1};
  const std::vector<uint8_t> andLeft = AndMask(4, 2, [](int x, int) { return x == 0; });
  const std::vector<uint8_t> file8 = IconFile(1, {{4, 2, 0, 1, 8, BitmapEntry(4, 2, 8, pal8, xor8, andLeft)}});
  for (TRGB bg : {TRGB{0, 0, 255}, TRGB{255, 255, 255}}) {
    Decoded d;
    d.Params.SetICO_Background(bg);
    DecodeICO(file8, d, 0);
    ASSERT_FALSE(d.Aborting);
    ASSERT_NE(d.Mask, nullptr);
    for (int y = 0; y < 2; ++y) {
      EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(0, y), bg);
      EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(1, y), pal8[1]);
      EXPECT_EQ(d.Mask->GetPixel(0, y), 0);
      EXPECT_EQ(d.Mask->GetPixel(1, y), 255);
    }
  }
  // The same entry without masked pixels: no mask.
  const std::vector<uint8_t> opaque =
      IconFile(1, {{4, 2, 0, 1, 8, BitmapEntry(4, 2, 8, pal8, xor8, AndMask(4, 2, [](int, int) { return false; }))}});
  Decoded o;
  DecodeICO(opaque, o, 0);
  ASSERT_FALSE(o.Aborting);
  EXPECT_EQ(o.Mask, nullptr);

  // 1 bit, palette (black, white): XOR 0 under the mask reads white over a
  // white background, XOR 1 (screen inversion) black; kept over red.
  const std::vector<uint8_t> xor1 = {0x40, 0, 0, 0};  // one row: pixel 1 set
  const std::vector<uint8_t> and1 = {0xC0, 0, 0, 0};  // pixels 0 and 1 masked
  const std::vector<uint8_t> file1 =
      IconFile(1, {{3, 1, 2, 1, 1, BitmapEntry(3, 1, 1, {{0, 0, 0}, {255, 255, 255}}, xor1, and1)}});
  for (TRGB bg : {TRGB{255, 255, 255}, TRGB{0, 0, 255}}) {
    Decoded d;
    d.Params.SetICO_Background(bg);
    DecodeICO(file1, d, 0);
    ASSERT_EQ(d.Bitmap.PixelFormat(), vx1g);
    const bool white = bg == TRGB{255, 255, 255};
    EXPECT_EQ(d.Bitmap.Pixels_vx1g(0, 0), white);
    EXPECT_EQ(d.Bitmap.Pixels_vx1g(1, 0), !white);
    EXPECT_FALSE(d.Bitmap.Pixels_vx1g(2, 0));
    EXPECT_EQ(d.Mask->GetPixel(0, 0), 0);
    EXPECT_EQ(d.Mask->GetPixel(2, 0), 255);
  }
}

// A 32-bit entry whose alpha bytes are all 0 takes its transparency from the
// AND mask; one with alpha keeps its alpha.
TEST(IcoRead, ThirtyTwoBitEntryWithoutAlphaTakesTheANDMask) {
  const int W = 5, H = 4;
  auto corners = [&](int x, int y) { return (x == 0 || x == W - 1) && (y == 0 || y == H - 1); };
  for (bool withAlpha : {false, true}) {
    std::vector<uint8_t> xorData;
    for (int k = 0; k < H; ++k)
      for (int x = 0; x < W; ++x) xorData.insert(xorData.end(), {uint8_t(x), uint8_t(k), 9, uint8_t(withAlpha ? 77 : 0)});
    const std::vector<uint8_t> file =
        IconFile(1, {{W, H, 0, 1, 32, BitmapEntry(W, H, 32, {}, xorData, AndMask(W, H, corners))}});
    Decoded d;
    DecodeICO(file, d, 0);
    ASSERT_FALSE(d.Aborting);
    ASSERT_NE(d.Mask, nullptr);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        EXPECT_EQ(d.Mask->GetPixel(x, y), withAlpha ? 77 : corners(x, y) ? 0 : 255) << x << "," << y;
        EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(x, y), (TRGB{uint8_t(x), uint8_t(H - 1 - y), 9}));
      }
  }
}

// The 256-pixel check: only with Check256, only when every entry is 256 wide,
// the image 256 high and the lowest visible pixel in the top 66 rows.
TEST(IcoRead, NotValid256IconIsRaisedOnlyInTheCheckedCase) {
  struct Case {
    const char* Name;
    int FirstVisibleRow;  // from the top
    bool SmallEntryToo;
    bool Check;
    bool Raises;
  } cases[] = {
      {"visible only in the top rows", 65, false, true, true},
      {"visible from row 66", 66, false, true, false},
      {"another entry is not 256 wide", 10, true, true, false},
      {"not checked", 10, false, false, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> xorData(size_t(256) * 256 * 4, 0);
    for (int y = 0; y <= c.FirstVisibleRow; ++y) xorData[size_t(255 - y) * 1024 + 3] = 200;
    std::vector<DirEntry> entries = {
        {0, 0, 0, 1, 32, BitmapEntry(256, 256, 32, {}, xorData, AndMask(256, 256, [](int, int) { return false; }))}};
    if (c.SmallEntryToo)
      entries.push_back({1, 1, 0, 1, 24, BitmapEntry(1, 1, 24, {}, {1, 2, 3, 0}, {0, 0, 0, 0})});
    const std::vector<uint8_t> file = IconFile(1, entries);
    Decoded d;
    if (c.Raises) {
      EXPECT_THROW(
          {
            try {
              DecodeICO(file, d, 0, false, c.Check);
            } catch (const EVXException& e) {
              EXPECT_STREQ(e.what(), "Not valid 256x256 Icon");
              throw;
            }
          },
          EVXException)
          << c.Name;
    } else {
      EXPECT_NO_THROW(DecodeICO(file, d, 0, false, c.Check)) << c.Name;
      EXPECT_FALSE(d.Aborting) << c.Name;
    }
  }
}

TEST(IcoRead, ABitmapStreamGivenToTheIconReaderIsReadAsBMP) {
  const std::vector<uint8_t> bmp = MakeBMP(2, 1, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0});
  Decoded d;
  DecodeICO(bmp, d, 0);
  ASSERT_FALSE(d.Aborting);
  EXPECT_EQ(d.Bitmap.Width(), 2);
  EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(1, 0), (TRGB{4, 5, 6}));
  EXPECT_EQ(d.Params.BMP_Version(), ioBMP_BM3);
}

// Resource icons and cursors have no directory; a cursor starts with its hotspot.
TEST(IcoRead, ResourceIconsAndCursorsStartWithTheInfoHeader) {
  const std::vector<uint8_t> entry =
      BitmapEntry(2, 2, 24, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}, {0x40, 0, 0, 0, 0, 0, 0, 0});
  Decoded icon;
  icon.Params.SetIsResource(true);
  icon.Params.SetICO_ImageIndex(3);
  {
    TVXMemStream s(entry.data(), int64_t(entry.size()));
    TProgressRec progress;
    progress.Aborting = &icon.Aborting;
    VXReadICOStream(&s, &icon.Bitmap, icon.Params, false, progress, icon.Mask, false, false);
  }
  ASSERT_FALSE(icon.Aborting);
  EXPECT_EQ(icon.Params.ICO_ImageIndex(), 0);
  EXPECT_EQ(icon.Params.ICO_Sizes[0].cx, 2);
  EXPECT_EQ(icon.Params.ICO_Sizes[0].cy, 2);
  EXPECT_EQ(icon.Bitmap.Pixels_vx24RGB(0, 0), (TRGB{7, 8, 9}));
  ASSERT_NE(icon.Mask, nullptr);
  EXPECT_EQ(icon.Mask->GetPixel(1, 1), 0);  // the bottom row's second pixel

  std::vector<uint8_t> cursor = {3, 0, 4, 0};
  cursor.insert(cursor.end(), entry.begin(), entry.end());
  Decoded cur;
  cur.Params.SetIsResource(true);
  {
    TVXMemStream s(cursor.data(), int64_t(cursor.size()));
    TProgressRec progress;
    progress.Aborting = &cur.Aborting;
    VXReadCURStream(&s, &cur.Bitmap, cur.Params, false, progress, cur.Mask, false);
  }
  ASSERT_FALSE(cur.Aborting);
  EXPECT_EQ(cur.Params.CUR_XHotSpot(), 3);
  EXPECT_EQ(cur.Params.CUR_YHotSpot(), 4);
  EXPECT_EQ(cur.Bitmap.Pixels_vx24RGB(1, 1), (TRGB{4, 5, 6}));
}

// Entries that point outside the stream, depths no rule decodes, and
// palette indices of a cursor beyond its stated colour count.
TEST(IcoRead, DamagedOrUndecodableEntries) {
  const std::vector<uint8_t> good = BitmapEntry(2, 1, 24, {}, {1, 2, 3, 4, 5, 6, 0, 0}, {0, 0, 0, 0});
  struct Case {
    const char* Name;
    int Type;
    std::vector<uint8_t> File;
  } cases[] = {
      {"icon offset past the end", 1, [&] {
         auto f = IconFile(1, {{2, 1, 0, 1, 24, good}});
         f[18] = 0xF0;
         return f;
       }()},
      {"icon size past the end", 1, [&] {
         auto f = IconFile(1, {{2, 1, 0, 1, 24, good}});
         f[15] = 0x10;
         return f;
       }()},
      {"cursor offset past the end", 2, [&] {
         auto f = IconFile(2, {{2, 1, 0, 0, 0, good}});
         f[20] = 0x01;
         return f;
       }()},
      {"directory longer than the stream", 1, [&] {
         auto f = IconFile(1, {{2, 1, 0, 1, 24, good}});
         f[4] = 0xFF;
         f.resize(40);
         return f;
       }()},
      {"2 bits per pixel", 1,
       IconFile(1, {{2, 1, 0, 1, 2, BitmapEntry(2, 1, 2, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, {0, 0, 0, 0}, {0, 0, 0, 0})}})},
      {"icon directory without entries", 1, IconFile(1, {})},
      {"cursor directory without entries", 2, IconFile(2, {})},
      {"rows the entry does not hold", 1,
       IconFile(1, {{0, 0, 0, 1, 24, BitmapEntry(3000, 3000, 24, {}, {1, 2, 3, 0}, {})}})},
  };
  for (const Case& c : cases) {
    Decoded d;
    if (c.Type == 1)
      DecodeICO(c.File, d, 0);
    else
      DecodeCUR(c.File, d, 0);
    EXPECT_TRUE(d.Aborting) << c.Name;
    EXPECT_TRUE(d.Bitmap.IsEmpty()) << c.Name;
  }
  // The native format has no place for 2-bit pixels.
  Decoded native;
  try {
    DecodeICO(cases[4].File, native, 0, true);  // 2 bits per pixel
    ADD_FAILURE() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Unsupported pixel format");
  }
  // A cursor stating 2 colours for an 8-bit entry: indices past them read black.
  std::vector<uint8_t> xor8 = {0, 1, 5, 0};
  const auto cur = IconFile(2, {{3, 1, 2, 0, 0, BitmapEntry(3, 1, 8, {{10, 20, 30}, {40, 50, 60}}, xor8, {0, 0, 0, 0})}});
  Decoded d;
  DecodeCUR(cur, d, 0);
  ASSERT_FALSE(d.Aborting);
  EXPECT_EQ(d.Params.ColorMapCount(), 2);
  EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(1, 0), (TRGB{40, 50, 60}));
  EXPECT_EQ(d.Bitmap.Pixels_vx24RGB(2, 0), (TRGB{0, 0, 0}));
}

// An icon or cursor file without entries holds no image: the load fails and
// the target keeps its picture.
TEST(IcoRead, EmptyDirectoriesFailTheLoadAndKeepTheTarget) {
  ScratchDir dir;
  for (int type : {1, 2}) {
    const std::string name = dir / (type == 1 ? "empty.ico" : "empty.cur");
    WriteFile(name, IconFile(type, {}));
    TVexlaneIO io;
    io.VXBitmap()->Allocate(3, 2, vx24RGB);
    io.VXBitmap()->Fill(0);
    io.VXBitmap()->SetPixels(2, 1, TRGB{1, 2, 3});
    EXPECT_FALSE(type == 1 ? io.LoadFromFileICO(name) : io.LoadFromFileCUR(name)) << name;
    EXPECT_TRUE(io.Aborting());
    EXPECT_EQ(io.VXBitmap()->Width(), 3);
    EXPECT_EQ(io.VXBitmap()->Pixels(2, 1), (TRGB{1, 2, 3}));
  }
}

TEST(IcoRead, TruncatedAndBitFlippedFilesLoadOrRefuseCleanly) {
  REQUIRE_ICOTOOL();
  REQUIRE_PILLOW();
  ScratchDir dir;
  std::string args;
  const int sizes[] = {16, 24, 32, 40, 48};
  const int colours[] = {2, 12, 200, 5000, 5000};
  for (int i = 0; i < 5; ++i) {
    const std::string png = dir / ("t" + std::to_string(i) + ".png");
    ASSERT_TRUE(WritePng(dir, png, Source(sizes[i], sizes[i], colours[i], i == 4 ? 2 : 1)));
    args += " " + png;
  }
  ASSERT_EQ(Shell("/usr/bin/icotool -c -o " + (dir / "t.ico") + args), 0);
  ASSERT_EQ(Shell("/usr/bin/icotool -c --cursor -X 1 -Y 2 -o " + (dir / "t.cur") + args), 0);
  const std::vector<uint8_t> ico = ReadFile(dir / "t.ico"), cur = ReadFile(dir / "t.cur");
  uint32_t seed = 3;
  for (const auto* file : {&ico, &cur})
    for (int index = 0; index < 5; ++index) {
      for (size_t cut = 0; cut < file->size(); cut += 1 + file->size() / 61) {
        Decoded d;
        const std::vector<uint8_t> part(file->begin(), file->begin() + long(cut));
        file == &ico ? DecodeICO(part, d, index, index % 2 == 0) : DecodeCUR(part, d, index);
      }
      for (int i = 0; i < 60; ++i) {
        std::vector<uint8_t> flipped = *file;
        seed = seed * 1664525u + 1013904223u;
        const size_t at = (seed >> 8) % std::min<size_t>(flipped.size(), i < 40 ? 6 + 16 * 5 + 48 : flipped.size());
        flipped[at] ^= uint8_t(1 << (seed & 7));
        Decoded d;
        try {
          file == &ico ? DecodeICO(flipped, d, index, i % 2 == 0) : DecodeCUR(flipped, d, index);
        } catch (const EVXException&) {
          // "Unsupported pixel format" of a flipped depth in the native format.
        }
      }
    }
}
