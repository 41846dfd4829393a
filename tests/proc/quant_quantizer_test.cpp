// Colour quantiser: exact palette, grey ramp, histogram and neural methods.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/colorreduce.h"
#include "core/quantizer.h"
#include "tests/core/runtime_state_guard.h"

// Every test of this program must leave the process state as it found it.
VX_GUARD_PROCESS_STATE();

namespace {

class QuantizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    savedAlg = s->ColorReductionAlgorithm();
    savedQuality = s->ColorReductionQuality();
  }
  void TearDown() override {
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    s->SetColorReductionAlgorithm(savedAlg);
    s->SetColorReductionQuality(savedQuality);
  }
  int32_t savedAlg = -1, savedQuality = -1;
};

TRGB* Row(TVXBitmap& b, int y) { return static_cast<TRGB*>(b.GetScanLine(y)); }

uint32_t Key(TRGB c) { return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b; }

// A smooth colour image with thousands of distinct colours.
void FillGradient(TVXBitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      Row(b, y)[x] = TRGB{uint8_t(x * 255 / (b.Width() - 1)), uint8_t((x + y) * 127 / (b.Width() - 1)),
                          uint8_t(y * 255 / (b.Height() - 1))};
}

double MeanError(TVXBitmap& a, TVXBitmap& b) {
  double e = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const TRGB p = Row(a, y)[x], q = Row(b, y)[x];
      e += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
    }
  return e / (3.0 * a.Width() * a.Height());
}

}  // namespace

TEST_F(QuantizerTest, ExactPaletteInScanOrder) {
  TVXBitmap b(3, 2, vx24RGB);
  const TRGB c[4] = {{1, 2, 3}, {200, 100, 50}, {9, 9, 250}, {0, 255, 0}};
  Row(b, 0)[0] = c[0];
  Row(b, 0)[1] = c[1];
  Row(b, 0)[2] = c[0];
  Row(b, 1)[0] = c[2];
  Row(b, 1)[1] = c[3];
  Row(b, 1)[2] = c[1];
  TRGB pal[256] = {};
  TVXQuantizer q(&b, pal, 255, 4);
  EXPECT_TRUE(q.HasExactPalette());
  EXPECT_EQ(q.ExactColorCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(pal[i], c[i]);
    EXPECT_EQ(q.GetRGBIndex(c[i]), i);
  }
  // A colour that is not in the image maps to entry 0.
  EXPECT_EQ(q.GetRGBIndex(TRGB{77, 77, 78}), 0);

  // One colour more than asked for abandons the exact palette.
  TVXQuantizer q3(&b, pal, 255, 3);
  EXPECT_FALSE(q3.HasExactPalette());
  EXPECT_TRUE(q3.HasQuantizer());
}

TEST_F(QuantizerTest, GreyImageGetsTheGreyRamp) {
  TVXBitmap b(256, 1, vx24RGB);
  for (int x = 0; x < 256; ++x) Row(b, 0)[x] = TRGB{uint8_t(x), uint8_t(x), uint8_t(x)};
  for (int n : {2, 3, 16, 82, 98, 256}) {
    SCOPED_TRACE(n);
    TRGB pal[256] = {};
    TVXQuantizer q(&b, pal, 255, n);
    EXPECT_TRUE(q.GrayScale());
    EXPECT_FALSE(q.HasQuantizer());
    for (int i = 0; i < n; ++i) {
      const uint8_t v = uint8_t(256 * i / n);
      EXPECT_EQ(pal[i], (TRGB{v, v, v}));
    }
    // The ramp is exact where 256 / n * i is a whole number (a floating
    // product of 98 colours would give 127 for entry 49).
    if (n == 98) {
      EXPECT_EQ(pal[49].r, 128);
    }
    if (n == 82) {
      EXPECT_EQ(pal[41].r, 128);
    }
    for (int v : {0, 100, 128, 255}) EXPECT_EQ(q.GetRGBIndex(TRGB{uint8_t(v), uint8_t(v), uint8_t(v)}), v * n / 256);
  }
}

TEST_F(QuantizerTest, PaletteSourceCopiesItsPalette) {
  TVXBitmap b(2, 1, vx8p);
  b.SetPalette(0, TRGB{10, 20, 30});
  b.SetPalette(1, TRGB{40, 50, 60});
  b.SetPalette(2, TRGB{1, 1, 200});
  TRGB pal[256] = {};
  TVXQuantizer q(&b, pal, 255, 3);
  EXPECT_EQ(pal[0], (TRGB{10, 20, 30}));
  EXPECT_EQ(pal[2], (TRGB{1, 1, 200}));
  EXPECT_EQ(q.GetRGBIndex(TRGB{1, 1, 200}), 2);
  EXPECT_EQ(q.GetRGBIndex(TRGB{99, 99, 1}), 0);
}

TEST_F(QuantizerTest, AutomaticChoiceOfMethod) {
  TVXBitmap b(64, 64, vx24RGB);
  FillGradient(b);
  TRGB pal[256];
  VXGetGlobalSettings()->SetColorReductionAlgorithm(-1);
  TVXQuantizer q16(&b, pal, 255, 16);
  EXPECT_EQ(q16.Method(), 1);
  TVXQuantizer q256(&b, pal, 255, 256);
  EXPECT_EQ(q256.Method(), 0);
  VXGetGlobalSettings()->SetColorReductionAlgorithm(0);
  TVXQuantizer n16(&b, pal, 255, 16);
  EXPECT_EQ(n16.Method(), 0);
  VXGetGlobalSettings()->SetColorReductionAlgorithm(1);
  TVXQuantizer h256(&b, pal, 255, 256);
  EXPECT_EQ(h256.Method(), 1);
}

// Each method reduces a true-colour image to at most N colours that stay close
// to the original.
TEST_F(QuantizerTest, ReducesToNColoursByEachMethod) {
  struct Case {
    int alg, n, quality;
    double maxError;
  } cases[] = {{1, 2, -1, 80}, {1, 16, -1, 20}, {1, 64, -1, 11}, {1, 256, -1, 7},
               {0, 16, -1, 20}, {0, 64, -1, 11}, {0, 256, -1, 7}, {0, 32, 50, 14}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "method " << c.alg << " colours " << c.n << " quality " << c.quality);
    VXGetGlobalSettings()->SetColorReductionAlgorithm(c.alg);
    VXGetGlobalSettings()->SetColorReductionQuality(c.quality);
    TVXBitmap orig(96, 80, vx24RGB);
    FillGradient(orig);
    TVXBitmap b(&orig);
    std::vector<TRGB> pal(size_t(c.n));
    VXQuantizeInPlace(&b, c.n, pal.data(), nullptr, nullptr);
    std::set<uint32_t> palette, used;
    for (const TRGB& p : pal) palette.insert(Key(p));
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) used.insert(Key(Row(b, y)[x]));
    EXPECT_LE(int(used.size()), c.n);
    for (uint32_t k : used) EXPECT_TRUE(palette.count(k)) << "a pixel colour outside the palette";
    EXPECT_LT(MeanError(orig, b), c.maxError);
  }
}

TEST_F(QuantizerTest, HistogramSplitsTwoClusters) {
  VXGetGlobalSettings()->SetColorReductionAlgorithm(1);
  TVXBitmap b(40, 10, vx24RGB);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x)
      Row(b, y)[x] = x < 20 ? TRGB{uint8_t(8 * (x % 3)), 16, 240} : TRGB{240, uint8_t(200 + 8 * (y % 3)), 16};
  TRGB pal[2];
  TVXQuantizer q(&b, pal, 1, 2);
  ASSERT_TRUE(q.HasQuantizer());
  const int red = q.GetRGBIndex(TRGB{8, 16, 240}), blue = q.GetRGBIndex(TRGB{240, 208, 16});
  EXPECT_NE(red, blue);
  EXPECT_EQ(pal[red].r, 240);
  EXPECT_EQ(pal[red].g, 16);
  EXPECT_LE(pal[red].b, 16);
  EXPECT_EQ(pal[blue].b, 240);
  EXPECT_EQ(pal[blue].r, 16);
  EXPECT_GE(pal[blue].g, 200);
}

// Small images (fewer pixels than the sampling step), a single neuron, a
// histogram asked for more than 256 boxes and a buffer smaller than the colour
// count stay inside their buffers.
TEST_F(QuantizerTest, OddSizesStayInBounds) {
  TVXBitmap tiny(7, 3, vx24RGB);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) Row(tiny, y)[x] = TRGB{uint8_t(x * 37), uint8_t(y * 90), uint8_t(x * y * 11)};
  TRGB pal[300];
  VXGetGlobalSettings()->SetColorReductionAlgorithm(0);
  for (int n : {1, 4, 16}) {
    TVXQuantizer q(&tiny, pal, 255, n);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) {
        const int i = q.GetRGBIndex(Row(tiny, y)[x]);
        EXPECT_GE(i, 0);
        EXPECT_LT(i, n);
      }
  }
  VXGetGlobalSettings()->SetColorReductionAlgorithm(1);
  TVXBitmap big(40, 40, vx24RGB);
  FillGradient(big);
  TVXQuantizer h(&big, pal, 299, 300);
  EXPECT_LT(h.GetRGBIndex(TRGB{1, 2, 3}), 256);
  TRGB small[8];
  TVXQuantizer s(&big, small, 7, 64);
  EXPECT_LT(s.GetRGBIndex(TRGB{200, 2, 3}), 8);
}

TEST_F(QuantizerTest, CalcImagePaletteFillsTheCallersPalette) {
  TVXBitmap b(2, 1, vx24RGB);
  Row(b, 0)[0] = TRGB{5, 6, 7};
  Row(b, 0)[1] = TRGB{8, 9, 10};
  TRGB pal[4] = {};
  VXCalcImagePalette(&b, pal, 3, 4);
  EXPECT_EQ(pal[0], (TRGB{5, 6, 7}));
  EXPECT_EQ(pal[1], (TRGB{8, 9, 10}));
}

TEST_F(QuantizerTest, NeuralSearchesGiveTheSameAnswersEightAtATime) {
  // The neuron searches in their eight-at-a-time and one-at-a-time forms: the
  // same palette and the same index for every colour tried, over palette
  // sizes that fill whole groups of eight and ones that do not, images of
  // many and of few colours (ties), and every sampling quality.
  VXGetGlobalSettings()->SetColorReductionAlgorithm(0);
  struct TImage {
    int32_t W, H;
    uint32_t Seed;
    int32_t Levels;  // distinct values per channel
  };
  const TImage images[] = {{61, 47, 1, 256}, {40, 40, 7, 6}, {128, 3, 9, 2}, {33, 29, 4, 17}};
  int compared = 0;
  for (const TImage& im : images) {
    TVXBitmap src;
    src.Allocate(im.W, im.H, vx24RGB);
    uint32_t state = im.Seed;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    for (int y = 0; y < im.H; ++y)
      for (int x = 0; x < im.W; ++x) {
        auto level = [&] { return uint8_t((next() >> 24) % uint32_t(im.Levels) * 255 / std::max(1, im.Levels - 1)); };
        Row(src, y)[x] = TRGB{level(), level(), level()};
      }
    for (int32_t ncol : {2, 7, 16, 64, 100, 256}) {
      for (int32_t quality : {-1, 100, 60}) {
        SCOPED_TRACE(std::to_string(im.W) + "x" + std::to_string(im.H) + " colours " + std::to_string(ncol) +
                     " quality " + std::to_string(quality));
        VXGetGlobalSettings()->SetColorReductionQuality(quality);
        std::vector<TRGB> palettes[2];
        std::vector<int32_t> answers[2];
        for (int scalar = 0; scalar < 2; ++scalar) {
          vxdetail::VXQuantizerForceScalar(scalar == 1);
          palettes[scalar].assign(256, TRGB{});
          TVXQuantizer q(&src, palettes[scalar].data(), 255, ncol);
          if (!q.HasQuantizer()) break;
          std::vector<TRGB> probes;
          for (uint32_t c = 0; c < (1u << 24); c += 4099) probes.push_back(TRGB{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
          for (int y = 0; y < im.H; ++y)
            for (int x = 0; x < im.W; ++x) probes.push_back(Row(src, y)[x]);
          for (const TRGB& c : probes) answers[scalar].push_back(q.GetRGBIndex(c));
          // The same colours a row at a time.
          std::vector<int32_t> rows(probes.size());
          q.GetRGBIndices(probes.data(), int32_t(probes.size()), rows.data());
          answers[scalar].insert(answers[scalar].end(), rows.begin(), rows.end());
        }
        vxdetail::VXQuantizerForceScalar(false);
        if (answers[0].empty()) continue;  // few enough colours for an exact palette
        ++compared;
        for (size_t i = 0; i < 256; ++i) ASSERT_EQ(Key(palettes[0][i]), Key(palettes[1][i])) << i;
        ASSERT_EQ(answers[0], answers[1]);
      }
    }
  }
  EXPECT_GT(compared, 30);
}

TEST_F(QuantizerTest, NeuralIndicesOfEveryRegionOfTheColourCube) {
  // A palette learnt from a smooth image (colours from the network's few
  // dense clusters and from its sparse ends), then a grid over the whole
  // colour cube and runs of equal colours: the searches a colour at a time,
  // a row at a time and one neuron at a time give the same indices.
  VXGetGlobalSettings()->SetColorReductionAlgorithm(0);
  VXGetGlobalSettings()->SetColorReductionQuality(-1);
  TVXBitmap src(90, 70, vx24RGB);
  FillGradient(src);
  std::vector<TRGB> probes;
  for (int r = 0; r < 256; r += 5)
    for (int g = 0; g < 256; g += 3)
      for (int b = 0; b < 256; b += 7) probes.push_back(TRGB{uint8_t(r), uint8_t(g), uint8_t(b)});
  for (int k = 0; k < 40; ++k) probes.insert(probes.end(), size_t(k % 4 + 1), TRGB{uint8_t(k * 6), 128, uint8_t(255 - k)});
  std::vector<int32_t> answers[3];
  for (int scalar = 0; scalar < 2; ++scalar) {
    vxdetail::VXQuantizerForceScalar(scalar == 1);
    TRGB pal[256];
    TVXQuantizer q(&src, pal, 255, 256);
    ASSERT_TRUE(q.HasQuantizer());
    if (scalar == 0) {
      answers[2].resize(probes.size());
      q.GetRGBIndices(probes.data(), int32_t(probes.size()), answers[2].data());
    }
    for (const TRGB& c : probes) answers[scalar].push_back(q.GetRGBIndex(c));
  }
  vxdetail::VXQuantizerForceScalar(false);
  EXPECT_EQ(answers[0], answers[1]);
  EXPECT_EQ(answers[2], answers[1]);
}

TEST_F(QuantizerTest, NeuralPaletteOfABitmapHeldInAFile) {
  // Rows held in a temporary file are mapped one at a time: the samples are
  // read row by row as they come, and give the palette and indices of the
  // same pixels in memory.
  VXGetGlobalSettings()->SetColorReductionAlgorithm(0);
  VXGetGlobalSettings()->SetColorReductionQuality(-1);
  TVXBitmap memory(150, 90, vx24RGB);
  FillGradient(memory);
  for (int y = 0; y < 90; y += 7) Row(memory, y)[(y * 13) % 150] = TRGB{250, uint8_t(y), 3};
  TVXBitmap file;
  file.SetMinFileSize(1);
  ASSERT_TRUE(file.Allocate(150, 90, vx24RGB));
  ASSERT_EQ(file.Location(), vxFile);
  for (int y = 0; y < 90; ++y) std::memcpy(file.GetScanLine(y), memory.GetScanLine(y), 150 * 3);
  TRGB pal[2][256] = {};
  TVXQuantizer inMemory(&memory, pal[0], 255, 256), inFile(&file, pal[1], 255, 256);
  ASSERT_TRUE(inFile.HasQuantizer());
  for (int i = 0; i < 256; ++i) ASSERT_EQ(pal[1][i], pal[0][i]) << i;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 150; ++x) ASSERT_EQ(inFile.GetRGBIndex(Row(memory, y)[x]), inMemory.GetRGBIndex(Row(memory, y)[x]));
}
