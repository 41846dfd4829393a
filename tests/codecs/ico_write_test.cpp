// Icon writing and icon handles: the directory and headers as written, icotool's listing,
// Pillow's and this library's decoding of every entry, the depths a bitmap
// is converted to, the list writer, and the abort and size checks; icon
// handles made from bitmaps back to bitmaps with alpha, and shell icons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/ico.h"
#include "codecs/ico_handles.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/bmp_test_util.h"
#include "winui/gdi.h"
#include "winui/win_icon.h"
#include "winui/win_shell.h"

using namespace bmptest;

namespace {

uint32_t LE16(const std::vector<uint8_t>& d, size_t p) { return d[p] | (d[p + 1] << 8); }
uint32_t LE32(const std::vector<uint8_t>& d, size_t p) { return LE16(d, p) | (LE16(d, p + 2) << 16); }

struct DirEntry16 {
  uint32_t Width, Height, Colors, Planes, Bits, Size, Offset;
};

std::vector<DirEntry16> Directory(const std::vector<uint8_t>& d) {
  std::vector<DirEntry16> out;
  if (d.size() < 6) return out;
  for (uint32_t i = 0; i < LE16(d, 4); ++i) {
    const size_t p = 6 + 16 * size_t(i);
    out.push_back({d[p], d[p + 1], d[p + 2], LE16(d, p + 4), LE16(d, p + 6), LE32(d, p + 8), LE32(d, p + 12)});
  }
  return out;
}

// A smooth seeded picture: colour gradients with a few discs, opaque inside a
// large disc, graded near its edge and transparent in the corners.
void SmoothPicture(TVXBitmap& Bmp, int W, int H, bool WithAlpha) {
  ASSERT_TRUE(Bmp.Allocate(W, H, vx24RGB));
  for (int y = 0; y < H; ++y) {
    TRGB* row = static_cast<TRGB*>(Bmp.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      const double d = std::hypot(x - W * 0.3, y - H * 0.6);
      row[x] = TRGB{uint8_t(255 * y / H), uint8_t(d < W / 6.0 ? 40 : 200 - x), uint8_t(255 * x / W)};
    }
  }
  if (!WithAlpha) return;
  TVXBitmap* a = Bmp.AlphaChannel();
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(a->ScanLine(y));
    for (int x = 0; x < W; ++x) {
      const double r = std::hypot(x - (W - 1) / 2.0, y - (H - 1) / 2.0) / (W / 2.0);
      row[x] = r < 0.8 ? 255 : r > 0.95 ? 0 : uint8_t((0.95 - r) / 0.15 * 255);
    }
  }
}

std::vector<uint8_t> WriteIcon(TVXBitmap& Bmp, std::vector<TIOIconSize> Sizes, std::vector<int32_t> Bits,
                               bool* AbortOut = nullptr, TIOParamsVals* Params = nullptr) {
  TMemoryStream s;
  TIOParamsVals local(nullptr);
  TIOParamsVals& p = Params ? *Params : local;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteICOStream(&s, &Bmp, p, progress, Sizes, Bits);
  if (AbortOut) *AbortOut = aborting;
  std::vector<uint8_t> out(size_t(s.Size()));
  s.SetPosition(0);
  if (!out.empty()) s.Read(out.data(), int64_t(out.size()));
  return out;
}

// This library's decoding of entry Index, alpha from the returned mask.
Image OwnDecode(const std::vector<uint8_t>& Bytes, int Index, bool* HadMask = nullptr) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TVXBitmap bmp;
  TIOParamsVals params(nullptr);
  std::unique_ptr<TVXMask> mask;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  params.SetICO_ImageIndex(Index);
  VXReadICOStream(&s, &bmp, params, false, progress, mask, false, false);
  EXPECT_FALSE(aborting);
  if (HadMask) *HadMask = mask != nullptr;
  return FromBitmap(bmp, mask.get());
}

std::string Listing(ScratchDir& Dir, const std::vector<uint8_t>& Bytes) {
  const std::string path = Dir / "listed.ico", out = Dir / "listing.txt";
  WriteFile(path, Bytes);
  if (Shell("/usr/bin/icotool -l " + path + " > " + out + " 2>&1") != 0) return "icotool failed";
  const std::vector<uint8_t> text = ReadFile(out);
  return std::string(text.begin(), text.end());
}

int Lines(const std::string& Text) { return int(std::count(Text.begin(), Text.end(), '\n')); }

}  // namespace

TEST(IcoWrite, ThreeSizesAtFourEightAndThirtyTwoBits) {
  TVXBitmap src;
  SmoothPicture(src, 100, 100, true);
  const std::vector<uint8_t> ico = WriteIcon(src, {{16, 16}, {32, 32}, {48, 48}}, {4, 8, 32});
  const std::vector<DirEntry16> dir = Directory(ico);
  ASSERT_EQ(dir.size(), 3u);
  const uint32_t side[3] = {16, 32, 48}, colors[3] = {16, 255, 0}, bits[3] = {0, 0, 32}, planes[3] = {0, 0, 1};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(dir[i].Width, side[i]);
    EXPECT_EQ(dir[i].Height, side[i]);
    EXPECT_EQ(dir[i].Colors, colors[i]);
    EXPECT_EQ(dir[i].Bits, bits[i]);
    EXPECT_EQ(dir[i].Planes, planes[i]);
    ASSERT_LE(size_t(dir[i].Offset) + dir[i].Size, ico.size());
    EXPECT_EQ(LE32(ico, dir[i].Offset), 40u);
    EXPECT_EQ(LE32(ico, dir[i].Offset + 8), 2 * side[i]);  // XOR and AND halves
    EXPECT_EQ(LE16(ico, dir[i].Offset + 14), uint32_t(i == 0 ? 4 : i == 1 ? 8 : 32));
  }
  EXPECT_EQ(dir[0].Offset, 6u + 3 * 16);
  EXPECT_EQ(dir[1].Offset, dir[0].Offset + dir[0].Size);
  EXPECT_EQ(size_t(dir[2].Offset) + dir[2].Size, ico.size());

  // The 32-bit entry's AND mask is set exactly where its alpha is below 255.
  const size_t px = dir[2].Offset + 40, mask = px + 48 * 48 * 4;
  for (int k = 0; k < 48; ++k)
    for (int x = 0; x < 48; ++x) {
      const bool transparent = ico[px + (size_t(k) * 48 + x) * 4 + 3] < 255;
      const bool bit = (ico[mask + size_t(k) * 8 + x / 8] >> (7 - x % 8)) & 1;
      ASSERT_EQ(bit, transparent) << x << "," << k;
    }

  bool hadMask = false;
  OwnDecode(ico, 1, &hadMask);
  EXPECT_TRUE(hadMask);
  OwnDecode(ico, 2, &hadMask);
  EXPECT_TRUE(hadMask);

  REQUIRE_ICOTOOL();
  ScratchDir dir2;
  EXPECT_EQ(Lines(Listing(dir2, ico)), 3);
  REQUIRE_PILLOW();
  const std::string path = dir2 / "three.ico";
  WriteFile(path, ico);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    Image pillow;
    ASSERT_TRUE(DecodePillow(dir2, path, pillow, int(side[i]), int(side[i])));
    const Image own = OwnDecode(ico, i);
    EXPECT_EQ(Differences(own, pillow, true), "");
  }

  // The 32-bit entry against Pillow's resize of the source, where opaque.
  Image srcImage = FromBitmap(src);
  const std::string raw = dir2 / "src.raw", resized = dir2 / "resized.raw";
  WriteFile(raw, srcImage.Px);
  ASSERT_EQ(Shell(kPython + " -c \"from PIL import Image; import sys; "
                            "im = Image.frombytes('RGBA', (100, 100), open(sys.argv[1],'rb').read()); "
                            "open(sys.argv[2],'wb').write(im.resize((48, 48), Image.BICUBIC).tobytes())\" " +
                  raw + " " + resized),
            0);
  const std::vector<uint8_t> ref = ReadFile(resized);
  ASSERT_EQ(ref.size(), size_t(48 * 48 * 4));
  const Image own = OwnDecode(ico, 2);
  double sum = 0;
  int n = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      if (own.At(x, y)[3] != 255) continue;
      for (int c = 0; c < 3; ++c) sum += std::abs(int(own.At(x, y)[c]) - int(ref[(size_t(y) * 48 + x) * 4 + c]));
      n += 3;
    }
  ASSERT_GT(n, 0);
  EXPECT_LE(sum / n, 6.0);
}

TEST(IcoWrite, SizesDepthsAndMasks) {
  TVXBitmap opaque;
  SmoothPicture(opaque, 20, 20, false);
  // 256 wide and high is stored as 0; no alpha channel: AND masks of zeros.
  const std::vector<uint8_t> big = WriteIcon(opaque, {{256, 256}, {8, 8}}, {32, 24});
  std::vector<DirEntry16> dir = Directory(big);
  ASSERT_EQ(dir.size(), 2u);
  EXPECT_EQ(dir[0].Width, 0u);
  EXPECT_EQ(dir[0].Height, 0u);
  EXPECT_EQ(dir[1].Bits, 24u);
  for (const DirEntry16& e : dir) {
    const uint32_t w = e.Width ? e.Width : 256, bits = e.Bits;
    const size_t maskStart = e.Offset + 40 + size_t(w) * w * bits / 8;
    const size_t maskLen = ((w + 31) / 32) * 4 * w;
    ASSERT_EQ(maskStart + maskLen, size_t(e.Offset) + e.Size);
    EXPECT_TRUE(std::all_of(big.begin() + maskStart, big.begin() + maskStart + maskLen, [](uint8_t b) { return b == 0; }));
  }

  // A BitCounts list shorter than Sizes: the missing depth comes from the
  // parameters ((3, 8): 24 bits). Other values than 1, 4, 8, 32 and 0 give 24.
  TIOParamsVals params(nullptr);
  params.SetSamplesPerPixel(3);
  params.SetBitsPerSample(8);
  dir = Directory(WriteIcon(opaque, {{4, 4}, {5, 5}, {6, 6}}, {7}, nullptr, &params));
  ASSERT_EQ(dir.size(), 3u);
  EXPECT_EQ(dir[0].Bits, 24u);
  EXPECT_EQ(dir[1].Bits, 24u);
  EXPECT_EQ(dir[2].Bits, 24u);

  // A side below 1 writes nothing and aborts.
  bool aborted = false;
  EXPECT_TRUE(WriteIcon(opaque, {{16, 16}, {0, 16}}, {32, 32}, &aborted).empty());
  EXPECT_TRUE(aborted);
  TVXBitmap empty;
  EXPECT_TRUE(WriteIcon(empty, {{16, 16}}, {32}, &aborted).empty());
  EXPECT_TRUE(aborted);
}

TEST(IcoWrite, EveryPixelFormatWritesEveryDepth) {
  // Each source format at each depth decodes close to the source's colours;
  // none reads rows past their ends (the sanitizer build checks that).
  TVXBitmap rgb;
  SmoothPicture(rgb, 12, 9, false);
  for (int y = 0; y < 9; ++y)  // two colours only, so the 1-bit entries map exactly
    for (int x = 0; x < 12; ++x)
      static_cast<TRGB*>(rgb.ScanLine(y))[x] = (x + y) % 3 ? TRGB{0, 0, 200} : TRGB{250, 240, 230};
  for (TVXPixelFormat f : {vx24RGB, vx8g, vx8p, vx48RGB, vx1g}) {
    for (int32_t bits : {1, 4, 8, 24, 32}) {
      SCOPED_TRACE(std::to_string(int(f)) + " at " + std::to_string(bits));
      TVXBitmap bmp;
      bmp.Assign(&rgb);
      bmp.SetPixelFormat(f);
      const std::vector<uint8_t> ico = WriteIcon(bmp, {{12, 9}}, {bits});
      ASSERT_EQ(Directory(ico).size(), 1u);
      const Image got = OwnDecode(ico, 0);
      const Image want = FromBitmap(bmp);
      ASSERT_EQ(got.W, 12);
      int worst = 0;
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
          for (int c = 0; c < 3; ++c) {
            int d = std::abs(int(got.At(x, y)[c]) - int(want.At(x, y)[c]));
            if (bits == 1) {  // the darker colour is black, the lighter white
              const int lum = want.At(x, y)[0] + want.At(x, y)[1] + want.At(x, y)[2];
              const int bwSource = f == vx1g ? want.At(x, y)[0] : (lum > 600 ? 255 : 0);
              d = std::abs(int(got.At(x, y)[c]) - bwSource);
            }
            worst = std::max(worst, d);
          }
      // Grey pictures are quantised to an even ramp: at 4 bits its 15 levels
      // step by 17 and end at 238.
      const bool grey = f == vx8g || f == vx1g;
      EXPECT_LE(worst, bits == 4 && grey ? 17 : 2);
    }
  }
}

TEST(IcoWrite, ListWriterTakesEachBitmapAsItIs) {
  // A vx8p bitmap 3 pixels wide at 4 bits: two bytes a row plus padding, the
  // third pixel in the high nibble of the second byte.
  TVXBitmap narrow;
  ASSERT_TRUE(narrow.Allocate(3, 2, vx8p));
  for (int i = 0; i < 16; ++i) narrow.SetPalette(i, TRGB{uint8_t(i * 16), uint8_t(i * 8), uint8_t(255 - i * 16)});
  const uint8_t idx[2][3] = {{1, 2, 3}, {4, 5, 15}};
  for (int y = 0; y < 2; ++y) std::memcpy(narrow.ScanLine(y), idx[y], 3);
  TIOParamsVals p4(nullptr);
  p4.SetSamplesPerPixel(1);
  p4.SetBitsPerSample(4);

  TVXBitmap wide;
  SmoothPicture(wide, 40, 30, true);
  TIOParamsVals p32(nullptr);
  p32.SetSamplesPerPixel(4);
  p32.SetBitsPerSample(8);

  TVXBitmap grey;  // neither vx24RGB nor vx8p: written at 1 bit
  ASSERT_TRUE(grey.Allocate(5, 5, vx8g));
  TIOParamsVals pGrey(nullptr);
  pGrey.SetSamplesPerPixel(3);
  pGrey.SetBitsPerSample(8);

  const TVXICOEntry entries[] = {{&narrow, &p4}, {&wide, &p32}, {&grey, &pGrey}};
  TMemoryStream s;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteMultiICOStream(&s, entries, progress);
  ASSERT_FALSE(aborting);
  std::vector<uint8_t> ico(size_t(s.Size()));
  s.SetPosition(0);
  s.Read(ico.data(), int64_t(ico.size()));
  const std::vector<DirEntry16> dir = Directory(ico);
  ASSERT_EQ(dir.size(), 3u);
  EXPECT_EQ(dir[0].Width, 3u);
  EXPECT_EQ(dir[0].Height, 2u);
  EXPECT_EQ(dir[0].Colors, 16u);
  EXPECT_EQ(dir[1].Width, 40u);
  EXPECT_EQ(dir[1].Bits, 32u);
  EXPECT_EQ(dir[2].Colors, 2u);
  EXPECT_EQ(pGrey.BitsPerSample(), 1);
  EXPECT_EQ(pGrey.SamplesPerPixel(), 1);
  const size_t rows = dir[0].Offset + 40 + 16 * 4;  // bottom-up: row 1 first
  const uint8_t want[8] = {0x45, 0xF0, 0, 0, 0x12, 0x30, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(ico.begin() + rows, ico.begin() + rows + 8), std::vector<uint8_t>(want, want + 8));
  const Image narrowBack = OwnDecode(ico, 0);
  EXPECT_EQ(Differences(narrowBack, FromBitmap(narrow), false), "");
  EXPECT_EQ(Differences(OwnDecode(ico, 1), FromBitmap(wide), true), "");
}

TEST(IcoWrite, ClusteredPaletteAtFourBitsDecodesInPillow) {
  // 40 colours in 8 tight clusters: a vx8p bitmap whose indices do not fit a
  // nibble is quantised instead of having its indices cut.
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(40, 10, vx8p));
  const TRGB centres[8] = {{20, 20, 200}, {200, 20, 20}, {20, 200, 20}, {220, 220, 30},
                           {30, 220, 220}, {220, 30, 220}, {128, 128, 128}, {240, 240, 240}};
  for (int i = 0; i < 40; ++i) {
    const TRGB c = centres[i % 8];
    const int j = i / 8;  // 0..4
    bmp.SetPalette(i, TRGB{uint8_t(c.b + j), uint8_t(c.g + j), uint8_t(c.r + j)});
  }
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x) static_cast<uint8_t*>(bmp.ScanLine(y))[x] = uint8_t((x + 7 * y) % 40);
  TIOParamsVals p(nullptr);
  p.SetSamplesPerPixel(1);
  p.SetBitsPerSample(4);
  const TVXICOEntry entries[] = {{&bmp, &p}};
  TMemoryStream s;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteMultiICOStream(&s, entries, progress);
  std::vector<uint8_t> ico(size_t(s.Size()));
  s.SetPosition(0);
  s.Read(ico.data(), int64_t(ico.size()));
  const Image want = FromBitmap(bmp);
  auto Check = [&](const Image& got) {
    ASSERT_EQ(got.W, 40);
    int worst = 0;
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 40; ++x)
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(got.At(x, y)[c]) - int(want.At(x, y)[c])));
    EXPECT_LE(worst, 12);
  };
  Check(OwnDecode(ico, 0));
  REQUIRE_PILLOW();
  ScratchDir dir;
  const std::string path = dir / "clusters.ico";
  WriteFile(path, ico);
  Image pillow;
  ASSERT_TRUE(DecodePillow(dir, path, pillow, 40, 10));
  Check(pillow);
}

TEST(IcoWrite, AbortAtTheSecondEntryKeepsTheFirst) {
  TVXBitmap src;
  SmoothPicture(src, 30, 30, true);
  TMemoryStream s;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  std::vector<int32_t> seen;
  progress.fOnProgress = [&](void*, int32_t percent) {
    seen.push_back(percent);
    if (seen.size() == 2) aborting = true;
  };
  TIOParamsVals params(nullptr);
  const TIOIconSize sizes[] = {{16, 16}, {24, 24}, {32, 32}};
  const int32_t bits[] = {32, 32, 32};
  VXWriteICOStream(&s, &src, params, progress, sizes, bits);
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 33}));
  std::vector<uint8_t> ico(size_t(s.Size()));
  s.SetPosition(0);
  s.Read(ico.data(), int64_t(ico.size()));
  const std::vector<DirEntry16> dir = Directory(ico);
  ASSERT_EQ(dir.size(), 1u);
  EXPECT_EQ(dir[0].Width, 16u);
  EXPECT_EQ(size_t(dir[0].Offset) + dir[0].Size, ico.size());
  EXPECT_EQ(OwnDecode(ico, 0).W, 16);
  REQUIRE_ICOTOOL();
  ScratchDir d;
  const std::string listing = Listing(d, ico);
  EXPECT_EQ(Lines(listing), 1) << listing;
}

TEST(IcoWrite, ComponentSavesTheLeadingSizes) {
  ScratchDir dir;
  TVXBitmap src;
  SmoothPicture(src, 64, 64, true);
  auto io = TVexlaneIO::CreateFromBitmap(&src);
  TIOParamsVals& p = io->Params();
  const TIOIconSize sizes[] = {{48, 48}, {32, 32}, {16, 16}, {0, 0}, {24, 24}};
  for (int i = 0; i < 5; ++i) {
    p.ICO_Sizes[i] = sizes[i];
    p.ICO_BitCount[i] = 32;
  }
  const std::string path = dir / "saved.ico";
  io->SaveToFileICO(path);
  ASSERT_FALSE(io->Aborting());
  EXPECT_EQ(p.FileType(), 6);
  const std::vector<uint8_t> ico = ReadFile(path);
  const std::vector<DirEntry16> dir3 = Directory(ico);
  ASSERT_EQ(dir3.size(), 3u);
  EXPECT_EQ(dir3[0].Width, 48u);
  EXPECT_EQ(dir3[2].Width, 16u);

  // The dispatch by extension and by type, file and stream.
  io->SaveToFile(dir / "by-name.ico", -1);
  EXPECT_EQ(Directory(ReadFile(dir / "by-name.ico")).size(), 3u);
  TMemoryStream stream;
  io->SaveToStream(&stream, 6);
  EXPECT_EQ(stream.Size(), int64_t(ico.size()));

  TVXBitmap loaded;
  io->SetAttachedVXBitmap(&loaded);
  io->Params().SetICO_ImageIndex(1);
  ASSERT_TRUE(io->LoadFromFile(path, -9));
  EXPECT_EQ(loaded.Width(), 32);
  EXPECT_TRUE(loaded.HasAlphaChannel());
}

// ---- icon handles ----

namespace {

// A 32-bit bottom-up DIB section of W x H from RGBA pixels (top-down).
HBITMAP ColourSection(const Image& Im) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = Im.W;
  bi.bmiHeader.biHeight = Im.H;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP h = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!h) return h;
  for (int y = 0; y < Im.H; ++y)
    for (int x = 0; x < Im.W; ++x) {
      uint8_t* p = static_cast<uint8_t*>(bits) + (size_t(Im.H - 1 - y) * Im.W + x) * 4;
      const uint8_t* s = Im.At(x, y);
      p[0] = s[2], p[1] = s[1], p[2] = s[0], p[3] = s[3];
    }
  return h;
}

// A 1-bit bitmap, set where Transparent(x, y).
template <typename F>
HBITMAP MaskBitmap(int W, int H, F&& Transparent) {
  const int stride = ((W + 15) / 16) * 2;
  std::vector<uint8_t> bits(size_t(stride) * H, 0);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (Transparent(x, y)) bits[size_t(y) * stride + x / 8] |= uint8_t(0x80 >> (x % 8));
  return CreateBitmap(W, H, 1, 1, bits.data());
}

HICON MakeIcon(const Image& Im, bool (*Transparent)(int, int)) {
  ICONINFO ii;
  ii.fIcon = TRUE;
  ii.hbmColor = ColourSection(Im);
  ii.hbmMask = MaskBitmap(Im.W, Im.H, Transparent);
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  return icon;
}

}  // namespace

TEST(IcoHandles, IconsBecomeBitmapsWithAlpha) {
  // Per-pixel alpha of the colour bitmap comes through as it is.
  Image graded = Source(20, 12, 50, 2);
  HICON icon = MakeIcon(graded, [](int, int) { return false; });
  ASSERT_NE(icon, nullptr);
  TVXBitmap bmp;
  VXIconToBitmap(icon, &bmp, false);
  ASSERT_TRUE(bmp.HasAlphaChannel());
  EXPECT_EQ(Differences(FromBitmap(bmp), graded, true), "");
  DestroyIcon(icon);

  // A colour bitmap without alpha: the mask decides.
  Image opaque = Source(9, 7, 30, 0);
  for (int y = 0; y < opaque.H; ++y)
    for (int x = 0; x < opaque.W; ++x) opaque.At(x, y)[3] = 0;
  HICON masked = MakeIcon(opaque, [](int x, int y) { return x < 2 || y == 6; });
  ASSERT_NE(masked, nullptr);
  TVXBitmap fromMask;
  VXIconToBitmap(masked, &fromMask, false);
  ASSERT_EQ(fromMask.Width(), 9);
  ASSERT_TRUE(fromMask.HasAlphaChannel());
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) {
      ASSERT_EQ(fromMask.Alpha(x, y), (x < 2 || y == 6) ? 0 : 255) << x << "," << y;
      if (fromMask.Alpha(x, y)) {
        TRGB c = static_cast<TRGB*>(fromMask.ScanLine(y))[x];
        EXPECT_EQ(c.r, opaque.At(x, y)[0]);
        EXPECT_EQ(c.b, opaque.At(x, y)[2]);
      }
    }
  DestroyIcon(masked);

  // An unknown handle leaves the bitmap empty.
  VXIconToBitmap(reinterpret_cast<HICON>(uintptr_t(0x7777)), &fromMask, false);
  EXPECT_TRUE(fromMask.IsEmpty());
  EXPECT_FALSE(fromMask.HasAlphaChannel());
}

TEST(IcoHandles, TheCheckOf256PixelIcons) {
  // 256 x 256 with its only opaque pixels in the top rows: refused with the check.
  Image top(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) top.Set(x, y, 10, 20, 30, y < 10 ? 255 : 0);
  HICON icon = MakeIcon(top, [](int, int) { return false; });
  ASSERT_NE(icon, nullptr);
  TVXBitmap bmp;
  EXPECT_THROW(VXIconToBitmap(icon, &bmp, true), EVXException);
  VXIconToBitmap(icon, &bmp, false);
  EXPECT_EQ(bmp.Width(), 256);
  EXPECT_EQ(bmp.Alpha(5, 5), 255);
  EXPECT_EQ(bmp.Alpha(5, 200), 0);
  DestroyIcon(icon);
}

TEST(IcoHandles, ShellIconsComeFromTheProvider) {
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(3, 3, vx24RGB));
  VXShellIconToBitmap("/tmp/whatever.txt", &bmp);  // no provider: no icon
  EXPECT_TRUE(bmp.IsEmpty());

  static const Image picture = Source(16, 16, 40, 1);
  std::vector<std::string> asked;
  int made = 0;
  VXSetShellIconProvider([&](const std::string& Name) -> HICON {
    asked.push_back(Name);
    if (Name.ends_with(".none")) return nullptr;
    ++made;
    return MakeIcon(picture, [](int, int) { return false; });
  });
  VXShellIconToBitmap("/home/user/readme.txt", &bmp);
  EXPECT_EQ(Differences(FromBitmap(bmp), picture, true), "");
  VXShellIconToBitmap("/home/user/file.none", &bmp);
  EXPECT_TRUE(bmp.IsEmpty());
  VXSetShellIconProvider(nullptr);
  EXPECT_EQ(asked, (std::vector<std::string>{"/home/user/readme.txt", "/home/user/file.none"}));
  EXPECT_EQ(made, 1);
}
