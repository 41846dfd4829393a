// MergeWithAlpha: operation, opacity, alpha compositing and clipping.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/bitmap.h"
#include "render_test_util.h"

using namespace render_test;

namespace {

std::unique_ptr<TVXBitmap> Solid(int w, int h, TRGB c) { return Canvas(w, h, c); }

TEST(MergeWithAlpha, CompositesColourAndAlpha) {
  struct Case {
    const char* what;
    int transparency;
    double opacity;
    int srcAlpha;  // -1: the source has no alpha channel
    int dstAlpha;
    TVXRenderOperation op;
    TRGB want;
    int wantAlpha;
  };
  const TRGB S = RGB(200, 40, 90), D = RGB(100, 100, 100);
  const TRGB mul = RGB(78, 15, 35);  // D * S >> 8
  auto mix = [](double h, double l, int t, int d) { return int(std::nearbyint((h * t + l * d) / (h + l))); };
  const double h1 = 128.0 / 255, l1 = 1 - h1;
  const double h2 = 0.5 * 200 / 255, l2 = (1 - h2) * 60 / 255;
  const std::vector<Case> cases = {
      {"opaque source", 255, 1, -1, 255, vxlMul, mul, 255},
      {"opaque over transparent", 255, 1, -1, 0, vxlNormal, S, 255},
      {"transparency 0 keeps pixels", 0, 1, -1, 255, vxlNormal, D, 255},
      {"transparency 0, alpha from itself", 0, 1, -1, 77, vxlNormal, D, 77},
      {"half", 128, 1, -1, 255, vxlNormal, RGB(mix(h1, l1, 200, 100), mix(h1, l1, 40, 100), mix(h1, l1, 90, 100)), 255},
      {"source alpha and opacity", 255, 0.5, 200, 60, vxlNormal,
       RGB(mix(h2, l2, 200, 100), mix(h2, l2, 40, 100), mix(h2, l2, 90, 100)), int(std::nearbyint((h2 + l2) * 255))},
      {"nothing anywhere takes the blend", 0, 1, -1, 0, vxlMul, mul, 0},
  };
  for (const Case& c : cases) {
    for (TVXPixelFormat f : {vx24RGB, vx32RGB}) {
      auto dst = Solid(2, 2, D);
      dst->AlphaChannel()->Fill(c.dstAlpha);
      TVXBitmap src(2, 2, f);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
          if (f == vx24RGB) src.SetPixels_vx24RGB(x, y, S);
          else src.SetPixels_vx32RGB(x, y, TRGBA{S.b, S.g, S.r, uint8_t(c.srcAlpha < 0 ? 255 : c.srcAlpha)});
        }
      if (f == vx24RGB && c.srcAlpha >= 0) src.AlphaChannel()->Fill(c.srcAlpha);
      dst->MergeWithAlpha(&src, 0, 0, -1, -1, c.transparency, rfNone, c.op, false, 0, 0, c.opacity);
      EXPECT_EQ(dst->Pixels_vx24RGB(1, 1), c.want) << c.what << " format " << int(f);
      EXPECT_EQ(dst->AlphaChannel()->Pixels_vx8(1, 1), c.wantAlpha) << c.what << " format " << int(f);
      EXPECT_FALSE(dst->AlphaChannel()->Full());
    }
  }
}

TEST(MergeWithAlpha, PlacementAndClipping) {
  // A 3 x 2 source with distinct pixels over a 5 x 4 destination.
  TVXBitmap src(3, 2, vx24RGB);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) src.SetPixels_vx24RGB(x, y, RGB(10 + x, 20 + y, 0));
  struct Case {
    const char* what;
    int dstX, dstY, w, h, srcX, srcY;
    std::vector<std::pair<int, int>> covered;  // destination pixels drawn, in order
    std::vector<std::pair<int, int>> from;     // their source pixels
    int count;                                 // pixels drawn in all
  };
  const std::vector<Case> cases = {
      {"at 1,1", 1, 1, -1, -1, 0, 0, {{1, 1}, {3, 2}}, {{0, 0}, {2, 1}}, 6},
      {"negative origin", -1, -1, -1, -1, 0, 0, {{0, 0}, {1, 0}}, {{1, 1}, {2, 1}}, 2},
      {"source offset stops at the source's edge", 0, 0, -1, -1, 1, 1, {{0, 0}, {1, 0}}, {{1, 1}, {2, 1}}, 2},
      {"narrower area", 2, 0, 1, 1, 0, 0, {{2, 0}}, {{0, 0}}, 1},
  };
  for (const Case& c : cases) {
    auto dst = Solid(5, 4, RGB(1, 1, 1));
    dst->MergeWithAlpha(&src, c.dstX, c.dstY, c.w, c.h, 255, rfNone, vxlNormal, false, c.srcX, c.srcY, 1);
    int drawn = 0;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) drawn += dst->Pixels_vx24RGB(x, y) != RGB(1, 1, 1);
    EXPECT_EQ(drawn, c.count) << c.what;
    for (size_t i = 0; i < c.covered.size(); ++i)
      EXPECT_EQ(dst->Pixels_vx24RGB(c.covered[i].first, c.covered[i].second),
                RGB(10 + c.from[i].first, 20 + c.from[i].second, 0))
          << c.what << " pixel " << i;
  }
}

TEST(MergeWithAlpha, OnlyIntoAndFromColourBitmaps) {
  TVXBitmap grey(2, 2, vx8g);
  auto dst = Solid(2, 2, RGB(5, 5, 5));
  dst->MergeWithAlpha(&grey, 0, 0, -1, -1, 255, rfNone, vxlNormal, false, 0, 0, 1);
  EXPECT_EQ(dst->Pixels_vx24RGB(0, 0), RGB(5, 5, 5));
  auto src = Solid(2, 2, RGB(9, 9, 9));
  grey.MergeWithAlpha(src.get(), 0, 0, -1, -1, 255, rfNone, vxlNormal, false, 0, 0, 1);
  EXPECT_EQ(grey.Pixels_vx8(0, 0), 0);
  EXPECT_FALSE(grey.HasAlphaChannel());
}

TEST(MergeWithAlpha, StereoOperationsSeeTheDestinationRow) {
  auto src = Solid(1, 4, RGB(200, 200, 200));
  auto dst = Solid(1, 4, RGB(0, 0, 0));
  dst->MergeWithAlpha(src.get(), 0, 0, -1, -1, 255, rfNone, vxlStereoEven, false, 0, 0, 1);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(dst->Pixels_vx24RGB(0, y).r, y % 2 == 0 ? 200 : 0) << y;
}

}  // namespace
