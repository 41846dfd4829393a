// PNG reading under the library's limits: declared sizes, libpng's chunk
// limits and the text budget.
#include <gtest/gtest.h>

#include "core/settings.h"
#include "png_hostile.h"
#include "png_test_util.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Restores the limits that a test changes.
struct LimitsGuard {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  int64_t pixels = s->MaxImagePixels(), text = s->MaxTextSize(), meta = s->MaxMetadataSize();
  ~LimitsGuard() {
    s->SetMaxImagePixels(pixels);
    s->SetMaxTextSize(text);
    s->SetMaxMetadataSize(meta);
  }
};

}  // namespace

TEST(PngLimits, DeclaredSizesBeyondTheLimitFailBeforeAnyAllocation) {
  struct Case {
    uint32_t w, h;
    int colorType;
    bool interlaced;
  } cases[] = {
      {100000, 100000, 2, false},   // 10^10 pixels
      {999999, 999999, 6, false},   // with an alpha channel, that once went to a temporary file
      {65536, 32769, 6, true},      // just above 2^31 pixels, interlaced
  };
  for (const auto& c : cases) {
    TVXBitmap bmp;
    TIOParamsVals p;
    EXPECT_FALSE(pngtest::Decode(Bytes(pnghostile::DeclaredSize(c.w, c.h, c.colorType, c.interlaced)), bmp, p))
        << c.w << " x " << c.h;
    EXPECT_TRUE(bmp.IsEmpty());
    EXPECT_FALSE(bmp.HasAlphaChannel());
  }
}

TEST(PngLimits, PixelLimitFromTheSettings) {
  LimitsGuard g;
  g.s->SetMaxImagePixels(100);
  struct Case {
    uint32_t w, h;
    bool loads;
  } cases[] = {{10, 10, true}, {100, 1, true}, {1, 100, true}, {11, 10, false}, {101, 1, false}};
  for (const auto& c : cases) {
    TVXBitmap bmp;
    TIOParamsVals p;
    EXPECT_EQ(pngtest::Decode(Bytes(pnghostile::Grey(c.w, c.h)), bmp, p), c.loads) << c.w << " x " << c.h;
    EXPECT_EQ(bmp.Width(), c.loads ? int32_t(c.w) : 0);
  }
  // A value below 1 restores the default.
  g.s->SetMaxImagePixels(0);
  EXPECT_EQ(g.s->MaxImagePixels(), int64_t(1) << 31);
}

TEST(PngLimits, TextsBeyondTheBudgetAreDroppedWhole) {
  LimitsGuard g;
  g.s->SetMaxTextSize(100);
  using namespace pnghostile;
  const std::string chunks = TextChunk("A", std::string(40, 'a')) +    // 41: kept
                             ZTextChunk("B", std::string(70, 'b')) +   // 71 > 59 left: dropped
                             TextChunk("C", std::string(10, 'c')) +    // 11: kept
                             ZTextChunk("D", std::string(5000, 'd')) + // far beyond: dropped
                             Chunk("zTXt", std::string("E\0\0garbage", 10)) +  // damaged: dropped
                             Chunk("tEXt", std::string("\0no key", 7)) +       // no keyword: dropped
                             ZTextChunk("F", std::string(47, 'f'));    // 48 = exactly what is left: kept
  TVXBitmap bmp;
  TIOParamsVals p;
  ASSERT_TRUE(pngtest::Decode(Bytes(Grey(2, 2, chunks)), bmp, p));
  EXPECT_EQ(p.PNG_TextKeys(), (std::vector<std::string>{"A", "C", "F"}));
  EXPECT_EQ(p.PNG_TextValues(), (std::vector<std::string>{std::string(40, 'a'), std::string(10, 'c'),
                                                          std::string(47, 'f')}));
  EXPECT_EQ(bmp.Width(), 2);
}

TEST(PngLimits, TextBombKeepsTheDefaultBudget) {
  // 300 chunks of 7.9 MB each: every value is beyond the 1 MiB budget.
  TVXBitmap bmp;
  TIOParamsVals p;
  ASSERT_TRUE(pngtest::Decode(Bytes(pnghostile::TextBomb(300, 7900000)), bmp, p));
  EXPECT_TRUE(p.PNG_TextKeys().empty());
  EXPECT_EQ(bmp.Width(), 4);
  // Values that fit are kept up to the budget.
  ASSERT_TRUE(pngtest::Decode(Bytes(pnghostile::TextBomb(3, 400000)), bmp, p));
  EXPECT_EQ(p.PNG_TextKeys().size(), 2u);
}

TEST(PngLimits, UnknownChunksAreSkippedAndUnknownCriticalChunksRefused) {
  using namespace pnghostile;
  TVXBitmap bmp;
  TIOParamsVals p;
  EXPECT_TRUE(pngtest::Decode(Bytes(Grey(2, 2, Chunk("prVt", std::string(100, 'x')))), bmp, p));
  EXPECT_FALSE(pngtest::Decode(Bytes(Grey(2, 2, Chunk("CRIT", "x"))), bmp, p));
  // A chunk larger than one metadata block is skipped by libpng, the image stays.
  LimitsGuard g;
  g.s->SetMaxMetadataSize(70000);
  ASSERT_TRUE(pngtest::Decode(Bytes(Grey(2, 2, TextChunk("Big", std::string(80000, 'x')) + TextChunk("Small", "y"))),
                              bmp, p));
  EXPECT_EQ(p.PNG_TextKeys(), (std::vector<std::string>{"Small"}));
}
