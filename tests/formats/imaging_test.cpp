// The imaging component's scaler and converter as the processing component
// reaches them: the rfWIC* resampling filters and ConvertTo with palette and
// dither types. numpy says what the scaler's rules give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "../proc/numpy_oracle.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "formats/wic.h"
#include "proc/proc.h"
#include "proc/resample.h"

namespace {

// A picture with gradients and noise in every byte of the rows.
void Fill(TVXBitmap& b, TVXPixelFormat f, int W, int H, uint32_t seed = 7) {
  ASSERT_TRUE(b.Allocate(W, H, f));
  uint32_t r = seed;
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int64_t i = 0; i < b.RowLen(); ++i) {
      r = r * 1664525u + 1013904223u;
      row[i] = uint8_t(i * 5 + y * 9 + (r >> 27));
    }
  }
}

// Resample of a copy of Source through the processing component.
std::string Resampled(TVXBitmap& Source, int W, int H, TResampleFilter Filter, TVXPixelFormat* Format = nullptr) {
  TVXBitmap b;
  b.Assign(&Source);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&b);
  proc.Resample(W, H, Filter, false);
  EXPECT_EQ(b.Width(), W);
  EXPECT_EQ(b.Height(), H);
  if (Format) *Format = b.PixelFormat();
  return numpy_oracle::Pixels(&b);
}

std::string Shape(const TVXBitmap& b, int channels) {
  return "(" + std::to_string(b.Height()) + "," + std::to_string(b.Width()) + "," + std::to_string(channels) + ")";
}

TEST(ImagingResample, NearestNeighbourTakesThePixelUnderTheTargetCentre) {
  SKIP_WITHOUT_NUMPY();
  TVXBitmap src;
  Fill(src, vx24RGB, 13, 9);
  for (auto [W, H] : {std::pair{29, 20}, std::pair{6, 4}, std::pair{13, 5}, std::pair{20, 9}}) {
    SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H));
    TVXPixelFormat f;
    const std::string got = Resampled(src, W, H, rfWICNearestNeighbor, &f);
    EXPECT_EQ(f, vx24RGB);
    const std::string expect = numpy_oracle::Run(
        "a = load(0, np.uint8, " + Shape(src, 3) + ")\n"
        "W, H = " + std::to_string(W) + ", " + std::to_string(H) + "\n"
        "xs = ((np.arange(W) + 0.5) * a.shape[1] / W).astype(int)\n"
        "ys = ((np.arange(H) + 0.5) * a.shape[0] / H).astype(int)\n"
        "save(a[ys][:, xs])\n",
        {numpy_oracle::Pixels(&src)});
    EXPECT_TRUE(got == expect);
    // Any filter that is not one of the other three is mode 0.
    TVXBitmap direct;
    direct.Allocate(W, H, vx24RGB);
    ASSERT_TRUE(VXWICResampleBitmap(&src, &direct, nullptr, rfMitchell));
    EXPECT_TRUE(numpy_oracle::Pixels(&direct) == expect);
  }
}

TEST(ImagingResample, LinearAndCubicAreTheBilinearAndBicubicScalers) {
  for (TVXPixelFormat f : {vx24RGB, vx8g, vx48RGB}) {
    TVXBitmap src;
    Fill(src, f, 17, 11);
    for (auto [W, H] : {std::pair{40, 23}, std::pair{7, 5}}) {
      SCOPED_TRACE(std::to_string(int(f)) + ": " + std::to_string(W) + "x" + std::to_string(H));
      EXPECT_TRUE(Resampled(src, W, H, rfWICLinear) == Resampled(src, W, H, rfBilinear));
      EXPECT_TRUE(Resampled(src, W, H, rfWICCubic) == Resampled(src, W, H, rfBicubic));
    }
  }
}

TEST(ImagingResample, FantIsTheAreaAverage) {
  SKIP_WITHOUT_NUMPY();
  struct Case {
    TVXPixelFormat Format;
    int Channels;
    const char* Type;
  };
  for (const Case& c : {Case{vx24RGB, 3, "np.uint8"}, Case{vx16g, 1, "np.uint16"}}) {
    TVXBitmap src;
    Fill(src, c.Format, 24, 18);
    // Halving: the exact mean of each 2 x 2 block, rounded to nearest (ties
    // to even).
    TVXPixelFormat f;
    const std::string half = Resampled(src, 12, 9, rfWICFant, &f);
    EXPECT_EQ(f, c.Format);
    EXPECT_TRUE(half == numpy_oracle::Run(std::string("a = load(0, ") + c.Type + ", " + Shape(src, c.Channels) +
                                              ").astype(np.int64)\n"
                                              "s = a[0::2, 0::2] + a[1::2, 0::2] + a[0::2, 1::2] + a[1::2, 1::2]\n"
                                              "save(np.round(s / 4).astype(" + c.Type + "))\n",
                                          {numpy_oracle::Pixels(&src)}));
    // Other sizes: the area average within 1.
    for (auto [W, H] : {std::pair{7, 5}, std::pair{17, 13}, std::pair{31, 20}}) {
      SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H));
      const std::string got = Resampled(src, W, H, rfWICFant);
      const std::string diff = numpy_oracle::Run(
          std::string("a = load(0, ") + c.Type + ", " + Shape(src, c.Channels) + ").astype(float)\n"
          "g = load(1, " + c.Type + ", (" + std::to_string(H) + "," + std::to_string(W) + "," +
              std::to_string(c.Channels) + ")).astype(float)\n"
          "SH, SW = a.shape[:2]\n"
          "H, W = " + std::to_string(H) + ", " + std::to_string(W) + "\n"
          "def weights(S, D):\n"
          "    m = np.zeros((D, S))\n"
          "    for j in range(D):\n"
          "        lo, hi = j * S / D, (j + 1) * S / D\n"
          "        for i in range(S):\n"
          "            m[j, i] = max(0.0, min(hi, i + 1) - max(lo, i))\n"
          "    return m / (S / D)\n"
          "r = np.einsum('yi,xj,ijc->yxc', weights(SH, H), weights(SW, W), a)\n"
          "save(np.array([np.abs(r - g).max()]))\n",
          {numpy_oracle::Pixels(&src), got});
      ASSERT_EQ(diff.size(), sizeof(double));
      double d;
      std::memcpy(&d, diff.data(), sizeof d);
      EXPECT_LE(d, 1.0);
    }
  }
}

// Without the component the rfWIC* filters are the default filter.
TEST(ImagingResample, WithoutTheComponentTheDefaultFilterScales) {
  TVXBitmap src;
  Fill(src, vx24RGB, 15, 10);
  const std::string byDefault = Resampled(src, 9, 7, VXGetGlobalSettings()->DefaultResampleFilter());
  ASSERT_NE(Resampled(src, 9, 7, rfWICFant), byDefault);
  VXSetImagingComponentPresent(false);
  for (TResampleFilter f : {rfWICNearestNeighbor, rfWICLinear, rfWICCubic, rfWICFant})
    EXPECT_TRUE(Resampled(src, 9, 7, f) == byDefault) << int(f);
  VXSetImagingComponentPresent(true);
}

}  // namespace
