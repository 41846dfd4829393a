// PNG reading: parameters, native formats, damaged and odd files.
#include <gtest/gtest.h>

#include <zlib.h>

#include "core/settings.h"
#include "io/codec_table.h"
#include "png_test_util.h"
#include "tests/core/library_environment.h"
#include "tests/core/runtime_state_guard.h"

using pngtest::RawImage;

VX_GUARD_PROCESS_STATE();
VX_START_LIBRARY_FOR_TESTS();

namespace {

RawImage Rgb(int w, int h, int depth = 8) {
  RawImage img;
  img.Width = w;
  img.Height = h;
  img.BitDepth = depth;
  img.ColorType = PNG_COLOR_TYPE_RGB;
  const int bytes = depth / 8 * 3;
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> row(size_t(w * bytes));
    for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 7 + y * 13);
    img.Rows.push_back(row);
  }
  return img;
}

TEST(PngRead, ResolutionFromPhysOrSettings) {
  const int32_t defX = VXGetGlobalSettings()->DefaultDPIX();
  struct Case {
    bool phys;
    png_uint_32 ppm;
    int32_t dpi;
  } cases[] = {{true, 3780, 96}, {true, 2835, 72}, {false, 0, defX}};
  for (const auto& c : cases) {
    RawImage img = Rgb(4, 2);
    img.HasPhys = c.phys;
    img.PpmX = img.PpmY = c.ppm;
    TVXBitmap bmp;
    TIOParamsVals p;
    ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), bmp, p));
    EXPECT_EQ(p.DpiX(), c.dpi) << c.ppm;
    EXPECT_EQ(p.DpiY(), c.dpi);
  }
}

TEST(PngRead, TextsInFileOrderWithoutInternationalText) {
  RawImage img = Rgb(3, 3);
  img.Texts = {{"Title", "Caf\xE9"}, {"Author", "Someone"}};
  img.InternationalTexts = {{"Comment", "not taken"}};
  TVXBitmap bmp;
  TIOParamsVals p;
  p.PNG_TextKeys() = {"stale"};
  p.PNG_TextValues() = {"stale"};
  ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), bmp, p));
  EXPECT_EQ(p.PNG_TextKeys(), (std::vector<std::string>{"Title", "Author"}));
  EXPECT_EQ(p.PNG_TextValues(), (std::vector<std::string>{"Caf\xC3\xA9", "Someone"}));
  // a file without texts empties the lists
  ASSERT_TRUE(pngtest::Decode(pngtest::Encode(Rgb(2, 2)), bmp, p));
  EXPECT_TRUE(p.PNG_TextKeys().empty());
  EXPECT_TRUE(p.PNG_TextValues().empty());
}

TEST(PngRead, BackgroundAtTheFileSampleDepth) {
  struct Case {
    int colorType, depth;
    png_color_16 bg;
    TRGB expected;
  } cases[] = {
      {PNG_COLOR_TYPE_RGB, 16, {0, 0xFF00, 0x8000, 0x0100, 0}, TRGB{1, 0x80, 0xFF}},
      {PNG_COLOR_TYPE_RGB, 8, {0, 200, 100, 50, 0}, TRGB{50, 100, 200}},
      {PNG_COLOR_TYPE_GRAY, 4, {0, 0, 0, 0, 15}, TRGB{255, 255, 255}},
      {PNG_COLOR_TYPE_GRAY, 8, {0, 0, 0, 0, 77}, TRGB{77, 77, 77}},
  };
  for (const auto& c : cases) {
    RawImage img;
    img.Width = 2;
    img.Height = 1;
    img.BitDepth = c.depth;
    img.ColorType = c.colorType;
    const int channels = c.colorType == PNG_COLOR_TYPE_RGB ? 3 : 1;
    img.Rows.push_back(std::vector<uint8_t>(size_t(2 * channels * std::max(1, c.depth / 8)), 0));
    img.HasBackground = true;
    img.Background = c.bg;
    TVXBitmap bmp;
    TIOParamsVals p;
    ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), bmp, p));
    EXPECT_EQ(p.PNG_Background(), c.expected) << c.colorType << "/" << c.depth;
  }
  // no bKGD: the value held before stays
  TVXBitmap bmp;
  TIOParamsVals p;
  p.SetPNG_Background(TRGB{1, 2, 3});
  ASSERT_TRUE(pngtest::Decode(pngtest::Encode(Rgb(2, 2)), bmp, p));
  EXPECT_EQ(p.PNG_Background(), (TRGB{1, 2, 3}));
}

TEST(PngRead, PaletteIndexBeyondThePaletteReadsBlack) {
  // 1-bit image with a one-entry palette and set bits; 8-bit image with index 5 of two
  struct Case {
    int depth;
    std::vector<png_color> pal;
    std::vector<uint8_t> row;
  } cases[] = {
      {1, {{200, 10, 20}}, {0x40}},
      {8, {{200, 10, 20}, {1, 2, 3}}, {0, 5, 1, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    RawImage img;
    img.Width = c.depth == 1 ? 3 : 3;
    img.Height = 1;
    img.BitDepth = c.depth;
    img.ColorType = PNG_COLOR_TYPE_PALETTE;
    img.Palette = c.pal;
    img.Rows = {c.row};
    const auto data = pngtest::Encode(img);
    ASSERT_FALSE(data.empty());
    TVXBitmap bmp;
    TIOParamsVals p;
    ASSERT_TRUE(pngtest::Decode(data, bmp, p));
    ASSERT_EQ(bmp.PixelFormat(), vx24RGB);
    EXPECT_EQ(bmp.Pixels_vx24RGB(0, 0), (TRGB{20, 10, 200})) << c.depth;
    EXPECT_EQ(bmp.Pixels_vx24RGB(1, 0), (TRGB{0, 0, 0})) << c.depth;
  }
}

TEST(PngRead, InterlacedOneBitPaletteKeepsEveryPass) {
  RawImage img;
  img.Width = 13;
  img.Height = 11;
  img.BitDepth = 1;
  img.ColorType = PNG_COLOR_TYPE_PALETTE;
  img.Palette = {{255, 0, 0}, {0, 0, 255}};
  for (int y = 0; y < img.Height; ++y) {
    std::vector<uint8_t> row(2, 0);
    for (int x = 0; x < img.Width; ++x)
      if ((x * 3 + y * 5) % 7 < 3) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
    img.Rows.push_back(row);
  }
  TVXBitmap plain, interlaced;
  TIOParamsVals p1, p2;
  ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), plain, p1));
  img.Interlaced = true;
  ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), interlaced, p2));
  EXPECT_TRUE(p2.PNG_Interlaced());
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x)
      ASSERT_EQ(plain.Pixels_vx24RGB(x, y), interlaced.Pixels_vx24RGB(x, y)) << x << "," << y;
}

// Transparency of the low-depth images: every palette depth and 1-bit grey keep
// it through reading and through writing the decoded image again.
TEST(PngRead, LowDepthTransparencyReachesTheAlphaChannel) {
  struct Case {
    int depth, colorType;
    bool interlaced;
  } cases[] = {
      {1, PNG_COLOR_TYPE_PALETTE, false}, {1, PNG_COLOR_TYPE_PALETTE, true}, {2, PNG_COLOR_TYPE_PALETTE, false},
      {4, PNG_COLOR_TYPE_PALETTE, false}, {8, PNG_COLOR_TYPE_PALETTE, false}, {1, PNG_COLOR_TYPE_GRAY, false},
      {1, PNG_COLOR_TYPE_GRAY, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("depth " + std::to_string(c.depth) + " type " + std::to_string(c.colorType) +
                 (c.interlaced ? " interlaced" : ""));
    RawImage img;
    img.Width = 11;
    img.Height = 9;
    img.BitDepth = c.depth;
    img.ColorType = c.colorType;
    img.Interlaced = c.interlaced;
    // Index (or grey bit) 0 is transparent; everything else opaque.
    auto index = [](int x, int y) { return (x / 2 + y) % 2; };
    if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
      img.Palette = {{255, 0, 0}, {0, 0, 255}};
      img.Trans = {0};
    }
    for (int y = 0; y < img.Height; ++y) {
      std::vector<uint8_t> row(size_t((img.Width * c.depth + 7) / 8), 0);
      for (int x = 0; x < img.Width; ++x) {
        const int bit = x * c.depth;
        row[size_t(bit / 8)] |= uint8_t(index(x, y) << (8 - c.depth - bit % 8));
      }
      img.Rows.push_back(row);
    }
    std::vector<uint8_t> file = pngtest::Encode(img);
    if (c.colorType == PNG_COLOR_TYPE_GRAY) {
      // The helper writes no grey key: tRNS (grey 0) goes in right after IHDR.
      uint8_t trns[] = {0, 0, 0, 2, 't', 'R', 'N', 'S', 0, 0, 0, 0, 0, 0};
      const uLong crc = crc32(0, trns + 4, 6);
      for (int i = 0; i < 4; ++i) trns[10 + i] = uint8_t(crc >> (24 - 8 * i));
      file.insert(file.begin() + 8 + 25, trns, trns + sizeof trns);
    }
    TVXBitmap bmp;
    TIOParamsVals params;
    ASSERT_TRUE(pngtest::Decode(file, bmp, params));
    ASSERT_TRUE(bmp.HasAlphaChannel());
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x)
        ASSERT_EQ(bmp.AlphaChannel()->Pixels_vx8(x, y), index(x, y) ? 255 : 0) << x << "," << y;

    const std::vector<uint8_t> again = pngtest::EncodeBitmap(bmp, params);
    TVXBitmap back;
    TIOParamsVals backParams;
    ASSERT_TRUE(pngtest::Decode(again, back, backParams));
    ASSERT_TRUE(back.HasAlphaChannel());
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) {
        ASSERT_EQ(back.AlphaChannel()->Pixels_vx8(x, y), index(x, y) ? 255 : 0) << x << "," << y;
        if (index(x, y)) {
          ASSERT_EQ(back.Pixels(x, y), bmp.Pixels(x, y)) << x << "," << y;
        }
      }
  }
}

TEST(PngRead, TruncatedStreamKeepsRowsBeforeTheCut) {
  RawImage img = Rgb(256, 128);
  // incompressible rows, so that the cut lands inside the image data
  uint32_t seed = 1;
  for (auto& row : img.Rows)
    for (auto& b : row) b = uint8_t((seed = seed * 1103515245 + 12345) >> 24);
  auto data = pngtest::Encode(img);
  data.resize(data.size() / 2);
  TVXBitmap bmp;
  TIOParamsVals p;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(pngtest::Decode(data, bmp, p));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(bmp.Width(), 256);
  const TRGB first = bmp.Pixels_vx24RGB(0, 0);
  EXPECT_EQ(first, (TRGB{img.Rows[0][2], img.Rows[0][1], img.Rows[0][0]}));
}

TEST(PngRead, GarbageAndEmptyStreamsAreRefused) {
  const std::vector<std::vector<uint8_t>> inputs = {
      {}, {137, 80, 78}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  for (const auto& in : inputs) {
    TVXBitmap bmp;
    TIOParamsVals p;
    EXPECT_FALSE(pngtest::Decode(in, bmp, p)) << in.size();
  }
}

TEST(PngRead, NativePixelFormats) {
  // 8-bit grey, 16-bit grey, 8-bit palette with transparency, 4-bit palette (expanded)
  {
    RawImage img;
    img.Width = 3, img.Height = 1, img.BitDepth = 8, img.ColorType = PNG_COLOR_TYPE_GRAY;
    img.Rows = {{0, 128, 255}};
    TVXBitmap bmp;
    TIOParamsVals p;
    p.IsNativePixelFormat = true;
    ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), bmp, p));
    ASSERT_EQ(bmp.PixelFormat(), vx8g);
    EXPECT_EQ(bmp.Pixels_vx8(1, 0), 128);
  }
  {
    RawImage img;
    img.Width = 2, img.Height = 1, img.BitDepth = 16, img.ColorType = PNG_COLOR_TYPE_GRAY;
    img.Rows = {{0x12, 0x34, 0xAB, 0xCD}};
    TVXBitmap bmp;
    TIOParamsVals p;
    p.IsNativePixelFormat = true;
    ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), bmp, p));
    ASSERT_EQ(bmp.PixelFormat(), vx16g);
    EXPECT_EQ(bmp.Pixels_vx16g(0, 0), 0x1234);
    EXPECT_EQ(bmp.Pixels_vx16g(1, 0), 0xABCD);
  }
  {
    RawImage img;
    img.Width = 3, img.Height = 1, img.BitDepth = 8, img.ColorType = PNG_COLOR_TYPE_PALETTE;
    img.Palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    img.Trans = {0, 128};
    img.Rows = {{0, 1, 2}};
    TVXBitmap bmp;
    TIOParamsVals p;
    p.IsNativePixelFormat = true;
    ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), bmp, p));
    ASSERT_EQ(bmp.PixelFormat(), vx8p);
    EXPECT_EQ(bmp.Palette(2), (TRGB{90, 80, 70}));
    ASSERT_TRUE(bmp.HasAlphaChannel());
    EXPECT_EQ(bmp.AlphaChannel()->Pixels_vx8(0, 0), 0);
    EXPECT_EQ(bmp.AlphaChannel()->Pixels_vx8(1, 0), 128);
    EXPECT_EQ(bmp.AlphaChannel()->Pixels_vx8(2, 0), 255);
    EXPECT_EQ(p.ColorMapCount(), 3);
  }
  {
    RawImage img;
    img.Width = 2, img.Height = 1, img.BitDepth = 4, img.ColorType = PNG_COLOR_TYPE_PALETTE;
    img.Palette = {{10, 20, 30}, {40, 50, 60}};
    img.Rows = {{0x01}};
    TVXBitmap bmp;
    TIOParamsVals p;
    p.IsNativePixelFormat = true;
    ASSERT_TRUE(pngtest::Decode(pngtest::Encode(img), bmp, p));
    EXPECT_EQ(bmp.PixelFormat(), vx24RGB);
    EXPECT_EQ(bmp.Pixels_vx24RGB(1, 0), (TRGB{60, 50, 40}));
    EXPECT_EQ(p.BitsPerSample(), 4);
    EXPECT_EQ(p.SamplesPerPixel(), 1);
  }
}

TEST(PngRead, PreviewFillsOnlyTheParameters) {
  RawImage img = Rgb(7, 5, 16);
  TVXBitmap bmp;
  TIOParamsVals p;
  const auto data = pngtest::Encode(img);
  TVXMemStream in(data.data(), int64_t(data.size()));
  bool aborting = false;
  TProgressRec pr;
  pr.Aborting = &aborting;
  VXReadPNGStream(&in, &bmp, p, pr, true);
  EXPECT_FALSE(aborting);
  EXPECT_TRUE(bmp.IsEmpty());
  EXPECT_EQ(p.Width(), 7);
  EXPECT_EQ(p.Height(), 5);
  EXPECT_EQ(p.BitsPerSample(), 16);
  EXPECT_EQ(p.SamplesPerPixel(), 3);
}

TEST(PngRead, ProgressOfAnInterlacedImage) {
  RawImage img = Rgb(9, 10);
  img.Interlaced = true;
  const auto data = pngtest::Encode(img);
  TVXMemStream in(data.data(), int64_t(data.size()));
  TVXBitmap bmp;
  TIOParamsVals p;
  bool aborting = false;
  std::vector<int32_t> seen;
  TProgressRec pr;
  pr.Aborting = &aborting;
  pr.fOnProgress = [&](void*, int32_t per) { seen.push_back(per); };
  VXReadPNGStream(&in, &bmp, p, pr, false);
  ASSERT_FALSE(aborting);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_EQ(pr.val, 70);
}

TEST(PngRead, SignatureProbe) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool png;
  } cases[] = {
      {{137, 80, 78, 71, 0, 0, 0, 0}, true},
      {{137, 80, 78, 71, 13, 10, 26, 10, 0}, true},
      {{137, 80, 78}, false},
      {{137, 80, 78, 72, 13, 10, 26, 10}, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> data = {9, 9};
    data.insert(data.end(), c.bytes.begin(), c.bytes.end());
    TVXMemStream s(data.data(), int64_t(data.size()));
    s.SetPosition(2);
    EXPECT_EQ(VXIsPNGStream(&s), c.png) << c.bytes.size();
    EXPECT_EQ(s.Position(), 2);
  }
}

}  // namespace

namespace {

std::vector<uint8_t> SuiteFile(const std::string& name) {
  std::vector<uint8_t> out;
  if (FILE* f = std::fopen((std::string(VX_PNGSUITE_DIR) + "/" + name).c_str(), "rb")) {
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
  }
  return out;
}

TEST(PngRead, CutAndFlippedFilesNeverCrash) {
  for (const char* name : {"basn6a08.png", "basi3p01.png", "basi0g16.png", "tbrn2c08.png"}) {
    const auto whole = SuiteFile(name);
    if (whole.empty()) GTEST_SKIP() << "PngSuite missing";
    // every cut before the end of the image-end chunk is refused
    for (size_t k = 0; k < 24; ++k) {
      auto cut = whole;
      cut.resize(whole.size() * k / 24);
      TVXBitmap bmp;
      TIOParamsVals p;
      EXPECT_FALSE(pngtest::Decode(cut, bmp, p)) << name << " cut at " << cut.size();
    }
    // a flipped byte is refused or decoded at the stated size
    for (size_t pos = 8; pos < whole.size(); pos += 7) {
      auto bad = whole;
      bad[pos] ^= 0x5A;
      TVXBitmap bmp;
      TIOParamsVals p;
      if (pngtest::Decode(bad, bmp, p)) {
        EXPECT_EQ(bmp.Width(), p.Width()) << name << " flip at " << pos;
        EXPECT_EQ(bmp.Height(), p.Height());
      }
    }
  }
}

// Rows handed to a sink, in the order it asks for, or, when it declines them,
// to the bitmap: the pixels of a plain read either way. Interlaced images
// never reach the sink.
TEST(PngRead, RowsToASinkInEitherOrder) {
  auto image = [](int ct, int depth, bool interlaced, bool trans) {
    RawImage img;
    img.Width = 37;  // odd, past a vector of pixels
    img.Height = 5;
    img.ColorType = ct;
    img.BitDepth = depth;
    img.Interlaced = interlaced;
    const int samples = ct == PNG_COLOR_TYPE_RGB ? 3 : ct == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                        : ct == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    const size_t bytes = (size_t(img.Width) * size_t(samples * depth) + 7) / 8;
    if (ct == PNG_COLOR_TYPE_PALETTE) {
      for (int i = 0; i < (1 << depth); ++i)
        img.Palette.push_back(png_color{png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 5 + 3)});
      if (trans) img.Trans = {0, 128};
    }
    for (int y = 0; y < img.Height; ++y) {
      std::vector<uint8_t> row(bytes);
      for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 29 + size_t(y) * 71 + 5);
      if (ct == PNG_COLOR_TYPE_PALETTE && depth == 8)
        for (auto& v : row) v = uint8_t(v % img.Palette.size());
      img.Rows.push_back(row);
    }
    return pngtest::Encode(img);
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> png;
    bool streamed;  // the rows may go to the sink
    bool alpha;
  } cases[] = {
      {"RGB", image(PNG_COLOR_TYPE_RGB, 8, false, false), true, false},
      {"RGB 16-bit", image(PNG_COLOR_TYPE_RGB, 16, false, false), true, false},
      {"RGBA", image(PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false), true, true},
      {"palette", image(PNG_COLOR_TYPE_PALETTE, 8, false, false), true, false},
      {"palette with transparency", image(PNG_COLOR_TYPE_PALETTE, 4, false, true), true, true},
      {"1-bit palette with transparency", image(PNG_COLOR_TYPE_PALETTE, 1, false, true), true, true},
      {"grey", image(PNG_COLOR_TYPE_GRAY, 8, false, false), true, false},
      {"grey and alpha", image(PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false), true, true},
      {"1-bit palette", image(PNG_COLOR_TYPE_PALETTE, 1, false, false), false, false},
      {"interlaced RGB", image(PNG_COLOR_TYPE_RGB, 8, true, false), false, false},
      {"interlaced RGBA", image(PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVXBitmap plain;
    TIOParamsVals plainParams;
    ASSERT_TRUE(pngtest::Decode(c.png, plain, plainParams));
    ASSERT_EQ(plain.PixelFormat(), vx24RGB);
    ASSERT_EQ(plain.HasAlphaChannel(), c.alpha);
    for (const bool rgb : {false, true})
      for (const bool take : {true, false}) {
        SCOPED_TRACE(std::string(rgb ? "R G B" : "B G R") + (take ? ", taken" : ", declined"));
        std::vector<uint8_t> colour, alpha;
        int32_t started = 0, rows = 0;
        TVXRowSink sink;
        sink.Rgb = rgb;
        sink.Start = [&](int32_t W, int32_t H, bool Alpha) {
          ++started;
          EXPECT_EQ(W, plain.Width());
          EXPECT_EQ(H, plain.Height());
          EXPECT_EQ(Alpha, c.alpha);
          return take;
        };
        sink.Row = [&](int32_t Y, const uint8_t* Colour, const uint8_t* Alpha) {
          EXPECT_EQ(Y, rows++);
          colour.insert(colour.end(), Colour, Colour + size_t(plain.Width()) * 3);
          EXPECT_EQ(Alpha != nullptr, c.alpha);
          if (Alpha != nullptr) alpha.insert(alpha.end(), Alpha, Alpha + plain.Width());
        };
        TVXBitmap bmp;
        TIOParamsVals params;
        TVXMemStream in(c.png.data(), int64_t(c.png.size()));
        bool aborting = false;
        TProgressRec pr;
        pr.Aborting = &aborting;
        VXReadPNGStream(&in, &bmp, params, pr, false, &sink);
        ASSERT_FALSE(aborting);
        EXPECT_EQ(started, c.streamed ? 1 : 0);
        std::vector<uint8_t> wantColour, wantAlpha;
        for (int32_t y = 0; y < plain.Height(); ++y) {
          const auto* p = static_cast<const uint8_t*>(plain.GetScanLine(y));
          for (int32_t x = 0; x < plain.Width(); ++x) {
            const uint8_t b = p[x * 3], g = p[x * 3 + 1], r = p[x * 3 + 2];
            for (uint8_t v : {b, g, r}) wantColour.push_back(v);
            if (rgb && c.streamed && take) std::swap(wantColour[wantColour.size() - 3], wantColour.back());
          }
          if (c.alpha) {
            const auto* a = static_cast<const uint8_t*>(plain.AlphaChannel()->GetScanLine(y));
            wantAlpha.insert(wantAlpha.end(), a, a + plain.Width());
          }
        }
        if (c.streamed && take) {
          EXPECT_EQ(rows, plain.Height());
          EXPECT_EQ(colour, wantColour);
          EXPECT_EQ(alpha, wantAlpha);
          continue;
        }
        // Declined: the bitmap holds what a read without a sink gives.
        EXPECT_EQ(rows, 0);
        ASSERT_EQ(bmp.Width(), plain.Width());
        ASSERT_EQ(bmp.PixelFormat(), vx24RGB);
        ASSERT_EQ(bmp.HasAlphaChannel(), c.alpha);
        std::vector<uint8_t> got, gotAlpha;
        for (int32_t y = 0; y < bmp.Height(); ++y) {
          const auto* p = static_cast<const uint8_t*>(bmp.GetScanLine(y));
          got.insert(got.end(), p, p + size_t(bmp.Width()) * 3);
          if (c.alpha) {
            const auto* a = static_cast<const uint8_t*>(bmp.AlphaChannel()->GetScanLine(y));
            gotAlpha.insert(gotAlpha.end(), a, a + bmp.Width());
          }
        }
        EXPECT_EQ(got, wantColour);
        EXPECT_EQ(gotAlpha, wantAlpha);
      }
  }
}

}  // namespace
