// Blend operations, the cosine table and the HSL and YCbCr conversions.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/blend.h"
#include "core/colorspace.h"
#include "core/startup.h"
#include "tests/core/runtime_test_util.h"

namespace {

TRGB RGB(int r, int g, int b) { return TRGB{uint8_t(b), uint8_t(g), uint8_t(r)}; }

TRGB Blend(TRGB s, TRGB d, int op, int row = 0) {
  VXBlendPixels(&s, &d, TVXRenderOperation(op), row);
  return d;
}

class BlendOps : public ::testing::Test {
 protected:
  void SetUp() override { VXBuildCosineTable(); }
};

// One source and one destination pixel through every per-channel operation;
// the expected values come from an independent evaluation of the formulas.
TEST_F(BlendOps, PerChannelOperationsOnOnePair) {
  const TRGB S = RGB(200, 90, 17), D = RGB(100, 160, 240);
  struct Case {
    TVXRenderOperation op;
    TRGB want;
  };
  const std::vector<Case> cases = {
      {vxlNormal, S},
      {vxlAdd, RGB(255, 250, 255)},
      {vxlSub, RGB(100, 70, 223)},
      {vxlDiv, RGB(0, 1, 14)},
      {vxlMul, RGB(78, 56, 15)},
      {vxlOR, RGB(236, 250, 241)},
      {vxlAND, RGB(64, 0, 16)},
      {vxlXOR, RGB(172, 250, 225)},
      {vxlMAX, RGB(200, 160, 240)},
      {vxlMIN, RGB(100, 90, 17)},
      {vxlAverage, RGB(150, 125, 128)},
      {vxlScreen, RGB(221, 193, 241)},
      {vxlNegation, RGB(210, 250, 253)},
      {vxlExclusion, RGB(144, 138, 226)},
      {vxlOverlay, RGB(156, 133, 228)},
      {vxlHardLight, RGB(189, 112, 31)},
      {vxlSoftLight, RGB(133, 142, 227)},
      {vxlXFader, RGB(134, 142, 227)},
      {vxlColorEdge, RGB(255, 248, 255)},
      {vxlColorBurn, RGB(57, 0, 30)},
      {vxlInverseColorDodge, RGB(255, 242, 255)},
      {vxlInverseColorBurn, RGB(115, 0, 2)},
      {vxlSoftDodge, RGB(185, 124, 129)},
      {vxlSoftBurn, RGB(156, 121, 143)},
      {vxlReflect, RGB(181, 155, 242)},
      {vxlGlow, RGB(255, 85, 19)},
      {vxlFreeze, RGB(135, 155, 242)},
      {vxlEat, RGB(225, 85, 19)},
      {vxlSubtractive, RGB(44, 0, 1)},
      {vxlInterpolation, RGB(157, 124, 128)},
      {vxlStamp, RGB(244, 84, 18)},
      {vxlRed, RGB(200, 160, 240)},
      {vxlGreen, RGB(100, 90, 240)},
      {vxlBlue, RGB(100, 160, 17)},
      {vxlStereoBW, RGB(153, 107, 107)},
      {vxlStereoColor, RGB(100, 90, 17)},
      {vxlStereoColorDubois, RGB(151, 128, 0)},
      {vxlLuminosity2, RGB(62, 123, 202)},
  };
  for (const Case& c : cases) EXPECT_EQ(Blend(S, D, c.op), c.want) << "operation " << int(c.op);
}

TEST_F(BlendOps, GuardsAndLimits) {
  struct Case {
    TVXRenderOperation op;
    int s, d, want;
  };
  const std::vector<Case> cases = {
      {vxlAdd, 200, 100, 255},      {vxlSub, 200, 50, 150},         {vxlDiv, 0, 200, 200},
      {vxlSubtractive, 128, 128, 0}, {vxlSubtractive, 255, 255, 254}, {vxlExclusion, 255, 255, 2},
      {vxlMul, 255, 255, 254},      {vxlScreen, 0, 0, 0},           {vxlScreen, 255, 37, 255},
      {vxlScreen, 37, 255, 255},    {vxlColorEdge, 255, 0, 255},    {vxlColorEdge, 255, 200, 255},
      {vxlColorBurn, 0, 0, 0},      {vxlColorBurn, 0, 255, 0},      {vxlInterpolation, 0, 0, 0},
      {vxlInterpolation, 255, 255, 255}, {vxlInverseColorDodge, 9, 255, 255}, {vxlInverseColorBurn, 9, 0, 0},
      {vxlReflect, 255, 3, 255},    {vxlGlow, 3, 255, 255},         {vxlFreeze, 0, 3, 0},
      {vxlEat, 3, 0, 0},            {vxlSoftDodge, 255, 0, 255},    {vxlSoftBurn, 0, 255, 255},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Blend(RGB(c.s, c.s, c.s), RGB(c.d, c.d, c.d), c.op).r, c.want)
        << "operation " << int(c.op) << " S " << c.s << " D " << c.d;
}

TEST_F(BlendOps, SoftLightTakesEachChannelsOwnSource) {
  // S 128 takes the square-root branch, S 0 the other one.
  const TRGB d = Blend(RGB(128, 0, 255), RGB(64, 64, 64), vxlSoftLight);
  EXPECT_EQ(d.r, 64);   // Trunc((sqrt(d)(2s-1) + 2d(1-s)) * 255)
  EXPECT_EQ(d.g, 16);   // d * d * 255
  EXPECT_EQ(d.b, 127);  // sqrt(d) * 255
}

TEST_F(BlendOps, StereoRowsAndUnknownOperations) {
  const TRGB S = RGB(1, 2, 3), D = RGB(7, 8, 9);
  EXPECT_EQ(Blend(S, D, vxlStereoEven, 4), S);
  EXPECT_EQ(Blend(S, D, vxlStereoEven, 5), D);
  EXPECT_EQ(Blend(S, D, vxlStereoOdd, 5), S);
  EXPECT_EQ(Blend(S, D, vxlStereoOdd, 4), D);
  for (int op : {44, 45, 200, 255}) EXPECT_EQ(Blend(S, D, op), D) << op;
}

TEST_F(BlendOps, CopiesVariantLeavesTheSourceAlone) {
  TRGB s = RGB(200, 90, 17), d = RGB(100, 160, 240);
  VXBlendPixelCopies(&s, &d, vxlMul, 0);
  EXPECT_EQ(s, RGB(200, 90, 17));
  EXPECT_EQ(d, RGB(78, 56, 15));
}

TEST_F(BlendOps, CosineTableFollowsItsFormula) {
  const int32_t* t = VXCosineTable();
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[127], 64);
  EXPECT_EQ(t[128], 64);
  EXPECT_EQ(t[129], 65);
  EXPECT_EQ(t[255], 128);
  for (int i = 1; i < 256; ++i) EXPECT_GE(t[i], t[i - 1]);
}

TEST(BlendStartup, TheCoreFillsTheCosineSlot) { EXPECT_EQ(VXLibraryHooks.BlendCosineTable, &VXBuildCosineTable); }

TEST(ColourModels, YCbCrEdges) {
  int32_t y, cb, cr;
  VXRGBToYCbCr(y, cb, cr, RGB(0, 0, 0));
  EXPECT_EQ(y, 0);
  EXPECT_EQ(cb, 128);
  EXPECT_EQ(cr, 128);
  EXPECT_EQ(VXYCbCrToRGB(0, 255, 128), RGB(0, 0, 225));
  VXRGBToYCbCr(y, cb, cr, RGB(255, 255, 255));
  EXPECT_EQ(y, 255);
  EXPECT_EQ(VXYCbCrToRGB(300, 128, 128), RGB(255, 255, 255));
}

TEST(ColourModels, HSLWrapsTheHueOnceAndClamps) {
  EXPECT_EQ(VXHSLToRGB(1.2, 1, 0.5), VXHSLToRGB(0.2, 1, 0.5));
  EXPECT_EQ(VXHSLToRGB(0.3, 0, 0.5), RGB(128, 128, 128));  // 127.5 rounds to even
  EXPECT_EQ(VXHSLToRGB(0.3, 2, 2), RGB(255, 255, 255));
  double h, s, l;
  VXRGBToHSL(RGB(90, 90, 90), h, s, l);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 0);
  VXRGBToHSL(RGB(255, 0, 128), h, s, l);  // magenta side: a negative sector wraps
  EXPECT_GT(h, 0.8);
  EXPECT_LT(h, 1.0);
}

// The four HSL recombinations against Python's colorsys over a sweep of pairs.
TEST_F(BlendOps, HSLOperationsAgreeWithColorsys) {
  if (std::system("python3 -c 'import colorsys' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 with colorsys is not installed";
  std::vector<std::pair<TRGB, TRGB>> pairs;
  for (int i = 0; i < 400; ++i) {
    const int a = (i * 37) % 256, b = (i * 91 + 13) % 256, c = (i * 53 + 101) % 256;
    pairs.push_back({RGB(a, b, c), RGB(c, (a + 77) % 256, (b * 3) % 256)});
  }
  pairs.push_back({RGB(10, 10, 10), RGB(200, 30, 40)});
  pairs.push_back({RGB(250, 20, 30), RGB(128, 128, 128)});
  // A folder of this run's own: runs side by side must not share the files.
  TRuntimeScratchDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string in = dir.File("hsl_pairs.txt");
  {
    std::ofstream f(in);
    for (auto& [s, d] : pairs)
      f << int(s.r) << ' ' << int(s.g) << ' ' << int(s.b) << ' ' << int(d.r) << ' ' << int(d.g) << ' ' << int(d.b)
        << '\n';
  }
  const std::string script =
      "import colorsys,sys\n"
      "for line in open(sys.argv[1]):\n"
      "  v=[int(x)/255 for x in line.split()]\n"
      "  sh,sl,ss=colorsys.rgb_to_hls(*v[:3]); dh,dl,ds=colorsys.rgb_to_hls(*v[3:])\n"
      "  out=[]\n"
      "  for h,l,s in ((sh,dl,ds),(dh,dl,ss),(sh,dl,ss),(dh,sl,ds)):\n"
      "    out+= [round(c*255) for c in colorsys.hls_to_rgb(h,l,s)]\n"
      "  print(*out)\n";
  const std::string py = dir.File("hsl_ref.py");
  std::ofstream(py) << script;
  FILE* p = popen(("python3 " + py + " " + in).c_str(), "r");
  ASSERT_NE(p, nullptr);
  const TVXRenderOperation ops[4] = {vxlHue, vxlSaturation, vxlColor, vxlLuminosity};
  for (auto& [s, d] : pairs) {
    for (TVXRenderOperation op : ops) {
      int r, g, b;
      ASSERT_EQ(fscanf(p, "%d %d %d", &r, &g, &b), 3);
      const TRGB got = Blend(s, d, op);
      EXPECT_NEAR(got.r, r, 1) << int(op);
      EXPECT_NEAR(got.g, g, 1) << int(op);
      EXPECT_NEAR(got.b, b, 1) << int(op);
    }
  }
  pclose(p);
}

}  // namespace
