// PNG writing: colour type and depth chosen from the parameters, transparency,
// chunks, and load -> save -> load of every PngSuite image.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>

#include "core/quantizer.h"
#include "core/settings.h"
#include "io/vexlaneio.h"
#include "png_test_util.h"
#include "tests/codecs/short_stream.h"

namespace {

enum TContent { ctColourful, ctGrey, ctTwoColours, ctBlackWhite, ctGrey16 };
enum TAlpha { alNone, alFull, alBinary, alPartial };

// A 16 x 9 test image of the given content.
std::unique_ptr<TVXBitmap> MakeImage(TContent content, TAlpha alpha) {
  auto bmp = std::make_unique<TVXBitmap>();
  const int w = 16, h = 9;
  bmp->Allocate(w, h, content == ctGrey16 ? vx16g : vx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool on = (x + y) % 3 == 0;
      switch (content) {
        case ctColourful: bmp->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 16), uint8_t(y * 28), uint8_t(x * y)}); break;
        case ctGrey: bmp->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 15 + y), uint8_t(x * 15 + y), uint8_t(x * 15 + y)}); break;
        case ctTwoColours: bmp->SetPixels_vx24RGB(x, y, on ? TRGB{200, 0, 0} : TRGB{0, 0, 180}); break;
        case ctBlackWhite: bmp->SetPixels_vx24RGB(x, y, on ? TRGB{255, 255, 255} : TRGB{0, 0, 0}); break;
        case ctGrey16: bmp->SetPixels_vx16g(x, y, uint16_t(x * 4099 + y * 7)); break;
      }
    }
  if (alpha != alNone) {
    TVXBitmap* a = bmp->AlphaChannel();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t v = 255;
        if (alpha == alBinary) v = x < 4 ? 0 : 255;
        if (alpha == alPartial) v = uint8_t(x * 17);
        a->SetPixels_vx8(x, y, v);
      }
    a->SyncFull();
  }
  return bmp;
}

struct WriteCase {
  const char* name;
  int32_t spp, bps;
  TContent content;
  TAlpha alpha;
  int colorType, depth;
  bool lossless;  // the decoded image equals the source
};

class PngWriteLayout : public ::testing::TestWithParam<WriteCase> {};

TEST_P(PngWriteLayout, ColourTypeDepthAndPixels) {
  const WriteCase& c = GetParam();
  auto bmp = MakeImage(c.content, c.alpha);
  TIOParamsVals p;
  p.SetSamplesPerPixel(c.spp);
  p.SetBitsPerSample(c.bps);
  const auto data = pngtest::EncodeBitmap(*bmp, p);
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(pngtest::ColorType(data), c.colorType);
  EXPECT_EQ(pngtest::BitDepth(data), c.depth);
  if (pngtest::HavePngcheck()) {
    EXPECT_TRUE(pngtest::PngcheckAccepts(data, c.name));
  }

  TVXBitmap back;
  TIOParamsVals q;
  q.IsNativePixelFormat = c.content == ctGrey16;
  ASSERT_TRUE(pngtest::Decode(data, back, q));
  ASSERT_EQ(back.Width(), bmp->Width());
  if (!c.lossless) return;
  for (int y = 0; y < bmp->Height(); ++y)
    for (int x = 0; x < bmp->Width(); ++x) {
      const uint8_t a = bmp->HasAlphaChannel() ? bmp->AlphaChannel()->Pixels_vx8(x, y) : 255;
      const uint8_t b = back.HasAlphaChannel() ? back.AlphaChannel()->Pixels_vx8(x, y) : 255;
      ASSERT_EQ(a, b) << c.name << " alpha at " << x << "," << y;
      if (a == 0) continue;
      if (c.content == ctGrey16)
        ASSERT_EQ(back.Pixels_vx16g(x, y), bmp->Pixels_vx16g(x, y)) << x << "," << y;
      else
        ASSERT_EQ(back.Pixels(x, y), bmp->Pixels(x, y)) << c.name << " at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngWriteLayout,
    ::testing::Values(WriteCase{"rgb", 3, 8, ctColourful, alNone, PNG_COLOR_TYPE_RGB, 8, true},
                      WriteCase{"rgba", 4, 8, ctColourful, alPartial, PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
                      WriteCase{"fullmask", 4, 8, ctColourful, alFull, PNG_COLOR_TYPE_RGB, 8, true},
                      WriteCase{"pal4", 1, 4, ctColourful, alNone, PNG_COLOR_TYPE_PALETTE, 8, true},
                      WriteCase{"grey8", 1, 8, ctGrey, alNone, PNG_COLOR_TYPE_GRAY, 8, true},
                      WriteCase{"paltrans", 1, 8, ctColourful, alBinary, PNG_COLOR_TYPE_PALETTE, 8, true},
                      WriteCase{"palpartial", 1, 8, ctColourful, alPartial, PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
                      WriteCase{"greypartial", 1, 8, ctGrey, alPartial, PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
                      WriteCase{"bw1", 1, 1, ctBlackWhite, alNone, PNG_COLOR_TYPE_GRAY, 1, true},
                      WriteCase{"twocolours1", 1, 1, ctTwoColours, alNone, PNG_COLOR_TYPE_PALETTE, 1, true},
                      WriteCase{"grey16", 1, 16, ctGrey16, alNone, PNG_COLOR_TYPE_GRAY, 16, true},
                      WriteCase{"grey16from24", 1, 16, ctGrey, alNone, PNG_COLOR_TYPE_GRAY, 16, true},
                      WriteCase{"pal16", 1, 16, ctColourful, alNone, PNG_COLOR_TYPE_PALETTE, 8, true}),
    [](const ::testing::TestParamInfo<WriteCase>& i) { return std::string(i.param.name); });

TEST(PngWrite, DepthOfOneSampleNormalisedInTheParameters) {
  auto bmp = MakeImage(ctColourful, alNone);
  TIOParamsVals p;
  p.SetSamplesPerPixel(1);
  p.SetBitsPerSample(4);
  const auto data = pngtest::EncodeBitmap(*bmp, p);
  EXPECT_EQ(p.BitsPerSample(), 8);
  const auto chunks = pngtest::Chunks(data);
  ASSERT_NE(pngtest::Find(chunks, "PLTE"), nullptr);
  // the 144 colours of the image, held exactly
  EXPECT_EQ(pngtest::Find(chunks, "PLTE")->Data.size(), 144u * 3);
  EXPECT_EQ(pngtest::Find(chunks, "tRNS"), nullptr);
}

TEST(PngWrite, TransparentPaletteEntryIsTheBackground) {
  auto bmp = MakeImage(ctColourful, alBinary);
  TIOParamsVals p;
  p.SetSamplesPerPixel(1);
  p.SetBitsPerSample(8);
  p.SetPNG_Background(TRGB{30, 20, 10});
  const auto chunks = pngtest::Chunks(pngtest::EncodeBitmap(*bmp, p));
  const auto* plte = pngtest::Find(chunks, "PLTE");
  const auto* trns = pngtest::Find(chunks, "tRNS");
  ASSERT_NE(plte, nullptr);
  ASSERT_NE(trns, nullptr);
  EXPECT_EQ(plte->Data.size(), 145u * 3);  // the background, then the image's colours
  EXPECT_EQ((std::vector<uint8_t>(plte->Data.begin(), plte->Data.begin() + 3)), (std::vector<uint8_t>{10, 20, 30}));
  EXPECT_EQ(trns->Data, (std::vector<uint8_t>{0}));
}

TEST(PngWrite, ChunksOfBackgroundResolutionAndText) {
  auto bmp = MakeImage(ctColourful, alNone);
  TIOParamsVals p;
  p.SetSamplesPerPixel(3);
  p.SetDpiX(96);
  p.SetDpiY(72);
  p.SetPNG_Background(TRGB{50, 100, 200});
  p.PNG_TextKeys() = {"Title", "", "Author", "Extra"};
  p.PNG_TextValues() = {"Caf\xC3\xA9", "empty key", "Someone"};
  const auto data = pngtest::EncodeBitmap(*bmp, p);
  const auto chunks = pngtest::Chunks(data);
  const auto* bkgd = pngtest::Find(chunks, "bKGD");
  ASSERT_NE(bkgd, nullptr);
  EXPECT_EQ(bkgd->Data, (std::vector<uint8_t>{0, 200, 0, 100, 0, 50}));
  const auto* phys = pngtest::Find(chunks, "pHYs");
  ASSERT_NE(phys, nullptr);
  EXPECT_EQ(pngtest::BE32(&phys->Data[0]), 3780u);
  EXPECT_EQ(pngtest::BE32(&phys->Data[4]), 2835u);
  EXPECT_EQ(phys->Data[8], 1);
  std::vector<std::string> texts;
  for (const auto& c : chunks)
    if (c.Type == "tEXt") texts.emplace_back(c.Data.begin(), c.Data.end());
  EXPECT_EQ(texts, (std::vector<std::string>{std::string("Title\0Caf\xE9", 10), std::string("Author\0Someone", 14)}));

  // and back
  TVXBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(pngtest::Decode(data, back, q));
  EXPECT_EQ(q.PNG_TextKeys(), (std::vector<std::string>{"Title", "Author"}));
  EXPECT_EQ(q.PNG_TextValues(), (std::vector<std::string>{"Caf\xC3\xA9", "Someone"}));
  EXPECT_EQ(q.DpiX(), 96);
  EXPECT_EQ(q.DpiY(), 72);
  EXPECT_EQ(q.PNG_Background(), (TRGB{50, 100, 200}));
}

TEST(PngWrite, InterlacedProgress) {
  auto bmp = MakeImage(ctColourful, alPartial);
  TIOParamsVals p;
  p.SetSamplesPerPixel(4);
  p.SetPNG_Interlaced(true);
  TMemoryStream s;
  bool aborting = false;
  int calls = 0, last = -1;
  TProgressRec pr;
  pr.Aborting = &aborting;
  pr.fOnProgress = [&](void*, int32_t per) {
    ++calls;
    last = per;
  };
  TVXMask mask;
  bmp->AlphaChannel()->CopyToTVXMask(&mask);
  VXWritePNGStream(&s, bmp.get(), p, pr, &mask);
  EXPECT_EQ(calls, 7 * bmp->Height());
  EXPECT_EQ(last, 100);
  const auto* b = static_cast<const uint8_t*>(s.Memory());
  const std::vector<uint8_t> data(b, b + s.Size());
  EXPECT_EQ(data[28], 1);  // interlace method
  TVXBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(pngtest::Decode(data, back, q));
  EXPECT_EQ(back.Pixels_vx24RGB(5, 3), bmp->Pixels_vx24RGB(5, 3));
}

TEST(PngWrite, FailuresOfTheStreamAndOfLibpng) {
  auto bmp = MakeImage(ctColourful, alNone);
  {
    TIOParamsVals p;
    vxtest::TShortStream s(40);
    bool aborting = false;
    TProgressRec pr;
    pr.Aborting = &aborting;
    VXWritePNGStream(&s, bmp.get(), p, pr, nullptr);
    EXPECT_TRUE(aborting);
  }
  {
    TIOParamsVals p;
    p.SetPNG_Compression(42);
    TMemoryStream s;
    bool aborting = false;
    TProgressRec pr;
    pr.Aborting = &aborting;
    testing::internal::CaptureStderr();
    EXPECT_THROW(VXWritePNGStream(&s, bmp.get(), p, pr, nullptr), EInvalidGraphic);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

// ---------------------------------------------------------------------------
// load -> save -> load

std::vector<std::string> SuiteImages() {
  std::vector<std::string> out;
  if (DIR* d = opendir(VX_PNGSUITE_DIR)) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".png" && n[0] != 'x') out.push_back(n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

class PngRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(PngRoundTrip, KeepsPixelsAlphaResolutionAndTexts) {
  const std::string path = std::string(VX_PNGSUITE_DIR) + "/" + GetParam();
  TVXBitmap first;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&first);
  ASSERT_TRUE(io.LoadFromFilePNG(path));
  TMemoryStream s;
  io.SaveToStreamPNG(&s);
  ASSERT_FALSE(io.Aborting());
  const auto* b = static_cast<const uint8_t*>(s.Memory());
  const std::vector<uint8_t> data(b, b + s.Size());
  if (pngtest::HavePngcheck()) {
    EXPECT_TRUE(pngtest::PngcheckAccepts(data, GetParam()));
  }

  TVXBitmap second;
  TVexlaneIO io2;
  io2.SetAttachedVXBitmap(&second);
  s.SetPosition(0);
  ASSERT_TRUE(io2.LoadFromStreamPNG(&s));
  ASSERT_EQ(second.Width(), first.Width());
  ASSERT_EQ(second.Height(), first.Height());
  EXPECT_EQ(io2.Params().DpiX(), io.Params().DpiX());
  EXPECT_EQ(io2.Params().DpiY(), io.Params().DpiY());
  EXPECT_EQ(io2.Params().PNG_TextKeys(), io.Params().PNG_TextKeys());
  EXPECT_EQ(io2.Params().PNG_TextValues(), io.Params().PNG_TextValues());
  for (int y = 0; y < first.Height(); ++y)
    for (int x = 0; x < first.Width(); ++x) {
      const uint8_t a1 = first.HasAlphaChannel() ? first.AlphaChannel()->Pixels_vx8(x, y) : 255;
      const uint8_t a2 = second.HasAlphaChannel() ? second.AlphaChannel()->Pixels_vx8(x, y) : 255;
      ASSERT_EQ(a1, a2) << "alpha at " << x << "," << y;
      if (a1 != 0) {
        ASSERT_EQ(first.Pixels(x, y), second.Pixels(x, y)) << x << "," << y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, PngRoundTrip, ::testing::ValuesIn(SuiteImages()),
                         [](const ::testing::TestParamInfo<std::string>& i) {
                           return i.param.substr(0, i.param.size() - 4);
                         });

}  // namespace

namespace {

TEST(PngWrite, ResizedTwoColourPaletteImageKeepsItsPalette) {
  // A 1-bit palette file of red and blue, blended by resampling into many colours.
  TVXBitmap bmp;
  bmp.Allocate(10, 2, vx24RGB);
  for (int x = 0; x < 10; ++x)
    for (int y = 0; y < 2; ++y) bmp.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 25), 0, uint8_t(250 - x * 25)});
  TIOParamsVals p;
  p.SetSamplesPerPixel(1);
  p.SetBitsPerSample(1);
  p.fColorMap = {TRGB{0, 0, 255}, TRGB{255, 0, 0}};
  p.fColorMapCount = 2;
  const auto data = pngtest::EncodeBitmap(bmp, p);
  EXPECT_EQ(pngtest::ColorType(data), PNG_COLOR_TYPE_PALETTE);
  EXPECT_EQ(pngtest::BitDepth(data), 1);
  TVXBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(pngtest::Decode(data, back, q));
  EXPECT_EQ(back.Pixels_vx24RGB(0, 0), (TRGB{0, 0, 255}));  // nearer to red
  EXPECT_EQ(back.Pixels_vx24RGB(9, 1), (TRGB{255, 0, 0}));  // nearer to blue
}

}  // namespace

namespace {

TEST(PngWrite, TextKeysThatHoldNoKeywordCharacterAreSkipped) {
  auto bmp = MakeImage(ctColourful, alNone);
  struct Case {
    std::string key;
    bool kept;
  } cases[] = {{"", false}, {"   ", false}, {"\x01\x1F", false}, {" \x7F\xC2\xA0 ", false},
               {"Title", true}, {" Spaced ", true}, {"\xC3\xA9t\xC3\xA9", true}};
  for (const auto& c : cases) {
    TIOParamsVals p;
    p.SetSamplesPerPixel(3);
    p.PNG_TextKeys() = {c.key, "Last"};
    p.PNG_TextValues() = {"value", "end"};
    std::vector<uint8_t> data;
    ASSERT_NO_THROW(data = pngtest::EncodeBitmap(*bmp, p)) << c.key;
    TVXBitmap back;
    TIOParamsVals q;
    ASSERT_TRUE(pngtest::Decode(data, back, q));
    EXPECT_EQ(q.PNG_TextKeys().size(), c.kept ? 2u : 1u) << c.key;
    EXPECT_EQ(q.PNG_TextValues().back(), "end") << c.key;
  }
}

TEST(PngWrite, ResolutionIsAlwaysStored) {
  auto bmp = MakeImage(ctColourful, alNone);
  struct Case {
    int32_t dpiX, dpiY;
    uint32_t ppmX, ppmY;
  } cases[] = {{96, 72, 3780, 2835}, {300, 0, 11811, 0}, {-5, 1000000000, 0, 2147483647u}};
  for (const auto& c : cases) {
    TIOParamsVals p;
    p.SetSamplesPerPixel(3);
    p.SetDpiX(c.dpiX);
    p.SetDpiY(c.dpiY);
    const auto data = pngtest::EncodeBitmap(*bmp, p);
    const auto chunks = pngtest::Chunks(data);
    const auto* phys = pngtest::Find(chunks, "pHYs");
    ASSERT_NE(phys, nullptr) << c.dpiX << "x" << c.dpiY;
    EXPECT_EQ(pngtest::BE32(&phys->Data[0]), c.ppmX);
    EXPECT_EQ(pngtest::BE32(&phys->Data[4]), c.ppmY);
    EXPECT_EQ(phys->Data[8], 1);
    if (pngtest::HavePngcheck()) {
      EXPECT_TRUE(pngtest::PngcheckAccepts(data, "phys" + std::to_string(c.ppmX)));
    }
  }
  // one stated direction survives a load
  TIOParamsVals p;
  p.SetSamplesPerPixel(3);
  p.SetDpiX(300);
  p.SetDpiY(0);
  TVXBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(pngtest::Decode(pngtest::EncodeBitmap(*bmp, p), back, q));
  EXPECT_EQ(q.DpiX(), 300);
  EXPECT_EQ(q.DpiY(), VXGetGlobalSettings()->DefaultDPIY());
}

}  // namespace

namespace {

TEST(PngWrite, ManyColoursTakeTheQuantisersPaletteAndIndices) {
  // More colours than a palette holds: each pixel is stored as the
  // quantiser's index for its colour (one more behind a transparent entry),
  // runs of one colour and transparent pixels of any colour included.
  struct Case {
    const char* Name;
    bool Alpha;
  } cases[] = {{"opaque", false}, {"transparent pixels", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXBitmap bmp;
    bmp.Allocate(70, 40, vx24RGB);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 70; ++x)
        bmp.SetPixels_vx24RGB(x, y, x < 6 ? TRGB{9, uint8_t(y), 200}
                                          : TRGB{uint8_t(x * 3), uint8_t(y * 6 + x), uint8_t((x * y) % 251)});
    if (c.Alpha) {
      TVXBitmap* a = bmp.AlphaChannel();
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 70; ++x) a->SetPixels_vx8(x, y, (x + 2 * y) % 7 == 0 ? 0 : 255);
      a->SyncFull();
    }
    const int32_t colours = c.Alpha ? 255 : 256, shift = c.Alpha ? 1 : 0;
    TRGB pal[256] = {};
    TVXQuantizer q(&bmp, pal, 255, colours);
    ASSERT_TRUE(q.HasQuantizer());

    TIOParamsVals p;
    p.SetSamplesPerPixel(1);
    p.SetBitsPerSample(8);
    const auto data = pngtest::EncodeBitmap(bmp, p);
    const auto chunks = pngtest::Chunks(data);
    const auto* plte = pngtest::Find(chunks, "PLTE");
    ASSERT_NE(plte, nullptr);
    ASSERT_EQ(plte->Data.size(), size_t(colours + shift) * 3);
    for (int i = 0; i < colours; ++i) {
      const uint8_t* e = plte->Data.data() + 3 * (i + shift);
      ASSERT_EQ((TRGB{e[2], e[1], e[0]}), pal[i]) << i;
    }
    TVXBitmap back;
    TIOParamsVals r;
    r.IsNativePixelFormat = true;
    ASSERT_TRUE(pngtest::Decode(data, back, r));
    ASSERT_EQ(back.PixelFormat(), vx8p);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 70; ++x) {
        const bool clear = c.Alpha && bmp.AlphaChannel()->Pixels_vx8(x, y) == 0;
        const int want = clear ? 0 : q.GetRGBIndex(bmp.Pixels_vx24RGB(x, y)) + shift;
        ASSERT_EQ(static_cast<const uint8_t*>(back.ScanLine(y))[x], want) << x << "," << y;
      }
  }
}

}  // namespace
