// Kernels, contributor tables and the size rule of the resampler.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "resample/resample.h"
#include "resample/resample_filters.h"

namespace {

struct KernelCase {
  TResampleFilter filter;
  double x;
  double expected;
};

TEST(ResampleFilters, KernelValues) {
  const KernelCase cases[] = {
      {rfTriangle, 0.25, 0.75},        {rfTriangle, -1.0, 0.0},
      {rfHermite, 0.5, 0.5},           {rfHermite, 1.0, 0.0},
      {rfBell, 0.0, 0.75},             {rfBell, 1.0, 0.125},
      {rfBell, 1.5, 0.0},              {rfBSpline, 0.0, 2.0 / 3.0},
      {rfBSpline, 1.0, 1.0 / 6.0},     {rfBSpline, -2.0, 0.0},
      {rfLanczos3, 0.0, 1.0},          {rfLanczos3, 1.0, 0.0},
      {rfMitchell, 0.0, 16.0 / 18.0},  {rfMitchell, 1.0, 1.0 / 18.0},
      {rfMitchell, 2.0, 0.0},          {rfNearest, 0.5, 1.0},
      {rfNearest, -0.5, 0.0},          {rfLinear, -0.25, 0.75},
      {rfLinear, 0.25, 0.75},          {rfLinear, 1.0, 0.0},
  };
  for (const KernelCase& c : cases) {
    const TVXFilterEntry* e = VXResampleFilterEntry(c.filter);
    ASSERT_NE(e, nullptr) << c.filter;
    EXPECT_NEAR(e->Filter(c.x), c.expected, 1e-12) << "filter " << c.filter << " at " << c.x;
  }
  EXPECT_EQ(VXResampleFilterEntry(rfNone), nullptr);
  EXPECT_EQ(VXResampleFilterEntry(rfFastLinear), nullptr);
  EXPECT_EQ(VXResampleFilterEntry(rfMitchell)->Support, 2.0);
  EXPECT_EQ(VXResampleFilterEntry(rfLanczos3)->Support, 3.0);
  EXPECT_EQ(VXResampleFilterEntry(rfBell)->Support, 1.5);
}

TEST(ResampleFilters, AxisScaleMapsEndpoints) {
  EXPECT_DOUBLE_EQ(VXResampleAxisScale(4, 2), 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(VXResampleAxisScale(1, 5), 5.0);
  EXPECT_DOUBLE_EQ(VXResampleAxisScale(5, 1), 0.2);
  EXPECT_DOUBLE_EQ(VXResampleAxisScale(11, 21), 2.0);
}

// 4 -> 2 with Mitchell: scale 1/3, width 6, weights Round(k(d/3) * 256 / 3),
// indices mirrored and clamped.
TEST(ResampleFilters, MitchellReductionTable) {
  TCListList lists = VXBuildContributors(4, 2, rfMitchell, true);
  ASSERT_EQ(lists.size(), 2u);
  const int32_t expectedPixels0[] = {3, 3, 3, 2, 1, 0, 1, 2, 3, 3, 2};
  const int32_t expectedWeights0[] = {-2, -3, 5, 29, 61, 76, 61, 29, 5, -3, -2};
  ASSERT_EQ(lists[0].n, 11);
  for (int k = 0; k < 11; ++k) {
    EXPECT_EQ(lists[0].p[size_t(k)].pixel, expectedPixels0[k]) << k;
    EXPECT_EQ(lists[0].p[size_t(k)].weight, expectedWeights0[k]) << k;
  }
  int32_t sum = 0;
  for (const TContributor& c : lists[1].p) sum += c.weight;
  EXPECT_EQ(sum, 256);
  // Without clamping, positions mirrored past the far edge stay outside.
  TCListList raw = VXBuildContributors(4, 2, rfMitchell, false);
  EXPECT_EQ(raw[0].p.front().pixel, 5);   // j = -5 -> 5
  EXPECT_EQ(raw[1].p.back().pixel, -1);   // j = 8 -> 2*4-1-8
}

TEST(ResampleFilters, UpscaleTableDropsZeroWeights) {
  // 2 -> 3 with the triangle: scale 2, centres 0, 0.5, 1.
  TCListList lists = VXBuildContributors(2, 3, rfTriangle, true);
  ASSERT_EQ(lists.size(), 3u);
  ASSERT_EQ(lists[0].n, 1);
  EXPECT_EQ(lists[0].p[0].pixel, 0);
  EXPECT_EQ(lists[0].p[0].weight, 256);
  ASSERT_EQ(lists[1].n, 2);
  EXPECT_EQ(lists[1].p[0].weight, 128);
  EXPECT_EQ(lists[1].p[1].weight, 128);
}

TEST(ResampleFilters, ExtremeReductionListsKeepWeight) {
  // Every rounded Mitchell or B-spline weight of a 2000 -> 5 reduction is 0;
  // those lists are rebuilt to sum exactly 256. Other kernels keep some
  // weights of 1, and their lists stay as rounded.
  for (TResampleFilter f : {rfMitchell, rfBSpline, rfTriangle, rfLanczos3, rfNearest, rfHermite}) {
    TCListList lists = VXBuildContributors(2000, 5, f, true);
    ASSERT_EQ(lists.size(), 5u);
    for (const TCList& l : lists) {
      int32_t sum = 0;
      for (const TContributor& c : l.p) {
        sum += c.weight;
        EXPECT_GE(c.pixel, 0);
        EXPECT_LT(c.pixel, 2000);
        EXPECT_NE(c.weight, 0);
      }
      EXPECT_GT(sum, 0) << "filter " << f;
      if (f == rfMitchell || f == rfBSpline) {
        EXPECT_EQ(sum, 256) << "filter " << f;
      }
    }
  }
}

TEST(ResampleFilters, RoundHalfEvenMatchesNearbyint) {
  const long double halves[] = {0.5L, 1.5L, 2.5L, -0.5L, -1.5L, -2.5L, 255.5L, -3.4999999L, 7.50000001L, 0.0L, -0.0L};
  for (long double x : halves) EXPECT_EQ(VXRoundHalfEvenL(x), std::nearbyintl(x)) << double(x);
  uint64_t seed = 99;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const long double x = (long double)(int64_t(seed >> 11) - (int64_t(1) << 52)) / (long double)(1 << (i % 24));
    ASSERT_EQ(VXRoundHalfEvenL(x), std::nearbyintl(x)) << double(x);
  }
}

TEST(ResampleFilters, FloorAndCeil) {
  EXPECT_EQ(VXFloorL(-0.5L), -1);
  EXPECT_EQ(VXFloorL(2.0L), 2);
  EXPECT_EQ(VXFloorL(2.75L), 2);
  EXPECT_EQ(VXCeilL(2.25L), 3);
  EXPECT_EQ(VXCeilL(-2.25L), -2);
  EXPECT_EQ(VXCeilL(3.0L), 3);
}

struct SizeCase {
  int32_t w, h, sw, sh;
  bool aspect;
  int32_t ew, eh;
};

TEST(ResampleSize, Rule) {
  const SizeCase cases[] = {
      {50, -1, 100, 75, true, 50, 37},     // height from the width
      {-1, 30, 100, 75, false, 40, 30},    // width from the height
      {-1, 0, 100, 75, false, 1, 75},      // width from height 0, height kept
      {0, 0, 100, 75, false, 100, 75},     // both kept
      {-20, 10, 100, 75, false, 20, 10},   // absolute values
      {-1, -1, 100, 75, true, -1, -1},     // both negative: unchanged
      {-3, -7, 100, 75, false, -3, -7},
      {50, 50, 100, 75, true, 50, 38},     // fitted: 0.5 * 75 = 37.5 -> 38 (half to even)
      {50, 50, 100, 75, false, 50, 50},
      {300, 100, 100, 75, true, 133, 100}, // fitted by the height, enlarging
      {1, -1, 3000, 1, false, 1, 1},       // at least 1
      {48, -1, 3000, 4000, false, 48, 64},
      // 64-bit products: 100000 * 60000 does not fit 32 bits.
      {-1, 100000, 60000, 100000, false, 60000, 100000},
      {100000, -1, 100000, 60000, false, 100000, 60000},
  };
  for (const SizeCase& c : cases) {
    int32_t w = c.w, h = c.h;
    VXCalcResampleSize(w, h, c.sw, c.sh, c.aspect);
    EXPECT_EQ(w, c.ew) << c.w << "," << c.h << " from " << c.sw << "x" << c.sh;
    EXPECT_EQ(h, c.eh) << c.w << "," << c.h << " from " << c.sw << "x" << c.sh;
  }
}

}  // namespace
