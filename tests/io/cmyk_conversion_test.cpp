// CMYK conversions (arithmetic and through the shared profiles) and the
// default row colour converter.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core/settings.h"
#include "core/icc.h"
#include "core/cmyk.h"
#include "io/cmyk.h"
#include "platform/win_mscms.h"
#include "tests/core/library_environment.h"
#include "tests/core/runtime_state_guard.h"

// Every test of this program must leave the process state as it found it.
VX_GUARD_PROCESS_STATE();
VX_START_LIBRARY_FOR_TESTS();

namespace {

class CMYKTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    savedProfile = s->UseCMYKProfile();
    savedCMS = s->EnableCMS();
    s->SetUseCMYKProfile(false);
  }
  void TearDown() override {
    VXGetGlobalSettings()->SetUseCMYKProfile(savedProfile);
    VXGetGlobalSettings()->SetEnableCMS(savedCMS);
  }
  bool savedProfile = true, savedCMS = false;
};

}  // namespace

TEST_F(CMYKTest, ArithmeticEdgeValues) {
  struct Case {
    TRGB rgb;
    TCMYK cmyk;
  } cases[] = {
      {{0, 0, 255}, {255, 0, 0, 255}},          // red (TRGB is b, g, r)
      {{0, 0, 0}, {255, 255, 255, 0}},          // black
      {{255, 255, 255}, {255, 255, 255, 255}},  // white: no ink
      {{0, 255, 0}, {0, 255, 0, 255}},          // green
      {{50, 200, 10}, {12, 255, 63, 200}},      // R 10, G 200, B 50
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.rgb.r) << "," << int(c.rgb.g) << "," << int(c.rgb.b));
    EXPECT_EQ(VXRGB2CMYK(c.rgb), c.cmyk);
  }
  EXPECT_EQ(VXCMYK2RGB(TCMYK{255, 0, 0, 255}), (TRGB{0, 0, 255}));
  EXPECT_EQ(VXCMYK2RGB(TCMYK{255, 255, 255, 0}), (TRGB{0, 0, 0}));
  EXPECT_EQ(VXCMYK2RGB(TCMYK{100, 200, 50, 128}), (TRGB{50 * 128 / 255, 200 * 128 / 255, 100 * 128 / 255}));
}

// RGB -> CMYK -> RGB loses at most one level per channel.
TEST_F(CMYKTest, ArithmeticRoundTrip) {
  int worst = 0;
  for (int r = 0; r < 256; r += 5)
    for (int g = 0; g < 256; g += 7)
      for (int b = 0; b < 256; b += 3) {
        const TRGB in{uint8_t(b), uint8_t(g), uint8_t(r)};
        const TRGB out = VXCMYK2RGB(VXRGB2CMYK(in));
        worst = std::max({worst, std::abs(out.r - r), std::abs(out.g - g), std::abs(out.b - b)});
      }
  EXPECT_LE(worst, 1);
}

TEST_F(CMYKTest, RowConversionWithWeights) {
  const uint8_t src[8] = {255, 0, 0, 255, 0, 0, 0, 0};  // red, black
  uint8_t dst[6];
  std::memset(dst, 9, sizeof dst);
  VXCMYKRowToBGR(src, dst, 2, nullptr);
  const uint8_t want[6] = {0, 0, 255, 0, 0, 0};
  EXPECT_EQ(std::memcmp(dst, want, 6), 0);

  struct Case {
    int32_t weight;
    uint8_t before;
    uint8_t red;  // the destination's red channel after blending in red 255
    uint8_t blue;  // and its blue channel after blending in blue 0
  } cases[] = {{262144, 40, 255, 0}, {0, 40, 40, 40}, {131072, 40, 147, 20}, {131072, 255, 255, 127}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.weight);
    uint8_t d[3] = {c.before, c.before, c.before};
    VXCMYKRowToBGR(src, d, 1, &c.weight);
    EXPECT_EQ(d[2], c.red);
    EXPECT_EQ(d[0], c.blue);  // 40 + (-40 * 131072) >> 18 = 40 - 20; 255 - 127.5 -> 127
  }
}

// Through the shared CMYK and sRGB profiles: inks translate to plausible
// colours and an in-gamut colour survives a round trip closely.
TEST_F(CMYKTest, ProfiledConversions) {
  VXGetGlobalSettings()->SetUseCMYKProfile(true);
  if (!VXInitCMYKTransforms()) GTEST_SKIP() << "the built-in CMYK profile is not available";
  const TRGB white = VXCMYK2RGB(TCMYK{255, 255, 255, 255});
  EXPECT_GE(white.r, 235);
  EXPECT_GE(white.g, 235);
  EXPECT_GE(white.b, 235);
  const TRGB black = VXCMYK2RGB(TCMYK{0, 0, 0, 0});
  EXPECT_LE(std::max({black.r, black.g, black.b}), 60);
  const TRGB cyan = VXCMYK2RGB(TCMYK{0, 255, 255, 255});  // full cyan ink only
  EXPECT_LT(cyan.r, cyan.b);

  const TRGB in{90, 140, 180};
  const TRGB out = VXCMYK2RGB(VXRGB2CMYK(in));
  EXPECT_NEAR(out.r, in.r, 12);
  EXPECT_NEAR(out.g, in.g, 12);
  EXPECT_NEAR(out.b, in.b, 12);

  // The row routine translates the same way as the single-pixel one.
  const TCMYK px[2] = {{30, 200, 120, 180}, {255, 10, 255, 90}};
  uint8_t row[6];
  VXCMYKRowToBGR(px, row, 2, nullptr);
  for (int i = 0; i < 2; ++i) {
    const TRGB one = VXCMYK2RGB(px[i]);
    EXPECT_EQ(row[i * 3], one.b);
    EXPECT_EQ(row[i * 3 + 1], one.g);
    EXPECT_EQ(row[i * 3 + 2], one.r);
  }
}

// Without the platform's colour management the profiled paths fall back to
// the arithmetic.
TEST_F(CMYKTest, MissingColourManagementFallsBack) {
  VXGetGlobalSettings()->SetUseCMYKProfile(true);
  VXFreeCMYKTransforms();
  MscmsSimulate(false);
  VXICCClearLibraryHandle();
  EXPECT_FALSE(VXInitCMYKTransforms());
  EXPECT_EQ(VXCMYK2RGB(TCMYK{100, 200, 50, 128}), (TRGB{50 * 128 / 255, 200 * 128 / 255, 100 * 128 / 255}));
  EXPECT_EQ(VXRGB2CMYK(TRGB{0, 0, 255}), (TCMYK{255, 0, 0, 255}));
  const uint8_t src[4] = {255, 0, 0, 255};
  uint8_t dst[3];
  VXCMYKRowToBGR(src, dst, 1, nullptr);
  EXPECT_EQ(dst[2], 255);
  EXPECT_EQ(dst[0], 0);
  MscmsSimulate(true);
  VXICCClearLibraryHandle();
  VXFreeCMYKTransforms();
}

TEST_F(CMYKTest, DefaultConvertColorTable) {
  EXPECT_EQ(VXGetGlobalSettings()->ConvertColorFunction(), &VXDefaultConvertColor);

  uint8_t out[12];
  {
    uint8_t in[3] = {100, 100, 100};
    VXDefaultConvertColor(in, vxcmsBGR, out, vxcmsGray8, 1, nullptr);
    EXPECT_EQ(out[0], 100);
  }
  {
    uint8_t in[6] = {1, 2, 3, 4, 5, 6};
    VXDefaultConvertColor(in, vxcmsRGB, out, vxcmsBGR, 2, nullptr);
    const uint8_t want[6] = {3, 2, 1, 6, 5, 4};
    EXPECT_EQ(std::memcmp(out, want, 6), 0);
  }
  {
    // Inks c 0, m 255 (full), y 0, k 0 plus two extra bytes: the ink bytes
    // are inverted in the input row, then converted.
    uint8_t in[6] = {0, 255, 0, 0, 77, 88};
    VXDefaultConvertColor(in, vxcmsCMYK6, out, vxcmsBGR, 1, nullptr);
    const uint8_t inverted[6] = {255, 0, 255, 255, 77, 88};
    EXPECT_EQ(std::memcmp(in, inverted, 6), 0);
    EXPECT_EQ(out[2], 255);  // magenta: red and blue, no green
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[0], 255);
  }
  {
    const uint8_t le[6] = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A};  // R 0x1234, G 0x5678, B 0x9ABC
    VXDefaultConvertColor(const_cast<uint8_t*>(le), vxcmsRGB48, out, vxcmsBGR, 1, nullptr);
    EXPECT_EQ(out[0], 0x9A);
    EXPECT_EQ(out[1], 0x56);
    EXPECT_EQ(out[2], 0x12);
    const uint8_t be[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    VXDefaultConvertColor(const_cast<uint8_t*>(be), vxcmsRGB48_SE, out, vxcmsBGR, 1, nullptr);
    EXPECT_EQ(out[0], 0x9A);
    EXPECT_EQ(out[1], 0x56);
    EXPECT_EQ(out[2], 0x12);
  }
  {
    uint8_t in[3] = {0, 255, 128};  // Y 0, Cb 255, Cr 128
    VXDefaultConvertColor(in, vxcmsYCBCR, out, vxcmsBGR, 1, nullptr);
    EXPECT_EQ(out[0], 225);  // Trunc(1.772 * 127)
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
  }
  {
    uint8_t in[3] = {0, 0, 255};  // pure red as BGR
    VXDefaultConvertColor(in, vxcmsBGR, out, vxcmsCMYK, 1, nullptr);
    const uint8_t want[4] = {255, 0, 0, 255};
    EXPECT_EQ(std::memcmp(out, want, 4), 0);
    uint8_t back[3];
    VXDefaultConvertColor(out, vxcmsCMYK, back, vxcmsBGR, 1, nullptr);
    EXPECT_EQ(std::memcmp(back, in, 3), 0);
  }
  {
    // Colour management on but no parameters: the table is used.
    VXGetGlobalSettings()->SetEnableCMS(true);
    uint8_t in[3] = {7, 8, 9};
    VXDefaultConvertColor(in, vxcmsBGR, out, vxcmsBGR, 1, nullptr);
    EXPECT_EQ(std::memcmp(out, in, 3), 0);
  }
}
