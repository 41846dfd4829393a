// The automatic enhancements: local equalisation, edge-adaptive sharpening,
// the retinex and the local adaptation, against numpy references
// (tests/proc/autoenhance_ref.py) and their defining properties.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/colorspace.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/autoenhance.h"
#include "proc/proc.h"
#include "resample/resample.h"
#include "selection_check.h"

namespace {

std::string Shape(TVXBitmap* b) {
  return "(" + std::to_string(b->Height()) + ", " + std::to_string(b->Width()) + ", 3)";
}

// Runs Call (python, naming the reference's functions) with the reference
// loaded; the inputs as for numpy_oracle::Run.
std::string Reference(const std::string& Call, const std::vector<std::string>& Inputs) {
  return numpy_oracle::Run("exec(open('" VX_SOURCE_DIR "/tests/proc/autoenhance_ref.py').read())\n" + Call, Inputs);
}

// Every byte within one level and at least Share of them equal.
void ExpectClose(const std::string& Got, const std::string& Want, double Share, const std::string& What) {
  ASSERT_EQ(Got.size(), Want.size()) << What;
  size_t equal = 0;
  for (size_t i = 0; i < Got.size(); ++i) {
    const int d = std::abs(int(uint8_t(Got[i])) - int(uint8_t(Want[i])));
    ASSERT_LE(d, 1) << What << " byte " << i;
    equal += d == 0;
  }
  EXPECT_GE(double(equal), Share * double(Got.size())) << What;
}

std::unique_ptr<TVXBitmap> Uniform(int32_t w, int32_t h, TRGB c) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx24RGB(x, y, c);
  return b;
}

bool AllZero(TVXBitmap* b) {
  const std::string p = numpy_oracle::Pixels(b);
  return std::all_of(p.begin(), p.end(), [](char c) { return c == 0; });
}

}  // namespace

// ---- AutoEnhance1 ----

TEST(AutoEnhance1, UniformImagesAndCutZeroGiveBlack) {
  struct Case {
    int32_t w, h, subsampled, slope, cut, neighbour;
    bool uniform;
  } cases[] = {
      {23, 17, 8, 20, 25, 1, true},    // subsampled
      {23, 17, 100, 45, 80, 0, true},  // no subsampling
      {30, 2, 6, 20, 25, 2, true},     // lower than the step: one copy row
      {19, 13, 50, 20, 0, 1, false},   // Cut 0, no subsampling: every result 0
      {19, 13, 19, 70, 0, 3, false},
  };
  for (const Case& c : cases) {
    auto b = c.uniform ? Uniform(c.w, c.h, TRGB{90, 14, 200}) : procfixture::Noise(c.w, c.h, vx24RGB, 3);
    VXDoAutoEnhance1(b.get(), c.subsampled, c.slope, c.cut, c.neighbour, nullptr, nullptr);
    EXPECT_TRUE(AllZero(b.get())) << c.w << "x" << c.h << " size " << c.subsampled << " cut " << c.cut;
  }
}

TEST(AutoEnhance1, EqualsNumpyReferenceOnRandomImages) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(49);
  for (int round = 0; round < 7; ++round) {
    const int32_t W = 8 + int32_t(rng() % 33), H = round == 6 ? 3 : 6 + int32_t(rng() % 25);
    // Round 0 does not subsample; round 6 has fewer rows than the step.
    const int32_t size = round == 0 ? W + int32_t(rng() % 5) : round == 6 ? 4 : 3 + int32_t(rng() % 12);
    const int32_t slope = 1 + int32_t(rng() % 80), cut = int32_t(rng() % 101), neighbour = int32_t(rng() % 4);
    auto b = round % 2 ? procfixture::Noise(W, H, vx24RGB, 100 + round) : procfixture::Photo(W, H);
    const int32_t e = std::max(1, W / size);
    TVXBitmap small(W / e, std::max(1, H / e), vx24RGB);
    VXResampleBitmap(b.get(), &small, rfNone);
    if (round == 0) {
      // No subsampling: the copy is the image itself.
      EXPECT_EQ(small.Width(), W);
      EXPECT_EQ(numpy_oracle::Pixels(&small), numpy_oracle::Pixels(b.get()));
    }
    const std::string in = numpy_oracle::Pixels(b.get());
    VXDoAutoEnhance1(b.get(), size, slope, cut, neighbour, nullptr, nullptr);
    const std::string want =
        Reference("save(auto_enhance1(load(0, np.uint8, " + Shape(b.get()) + "), load(1, np.uint8, " + Shape(&small) +
                      "), " + std::to_string(slope) + ", " + std::to_string(cut) + ", " + std::to_string(neighbour) +
                      "))",
                  {in, numpy_oracle::Pixels(&small)});
    ExpectClose(numpy_oracle::Pixels(b.get()), want, 0.98,
                "round " + std::to_string(round) + ": " + std::to_string(W) + "x" + std::to_string(H) + " size " +
                    std::to_string(size) + " slope " + std::to_string(slope) + " cut " + std::to_string(cut) +
                    " neighbour " + std::to_string(neighbour));
  }
}

TEST(AutoEnhance1, ProgressRunsThroughBothHalves) {
  auto b = procfixture::Photo(40, 12);
  std::vector<int32_t> seen;
  VXDoAutoEnhance1(b.get(), 10, 20, 25, 1, nullptr, [&](void*, int32_t p) { seen.push_back(p); });
  // Copy 10 x 3: one report a copy row, then one a change of the percentage.
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(std::vector<int32_t>(seen.begin(), seen.begin() + 3), (std::vector<int32_t>{0, 16, 33}));
  EXPECT_EQ(seen[3], 50);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(std::adjacent_find(seen.begin() + 3, seen.end()), seen.end());
  EXPECT_EQ(seen.back(), 95);  // row 11 of 12
}

// ---- AutoSharp ----

TEST(AutoSharp, ByEdgeMapEqualsNumpyReference) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(8);
  struct Case {
    int32_t w, h, intensity;
  } cases[] = {{17, 11, 7}, {5, 3, 30}, {1, 6, 10}, {9, 1, 4}};
  for (const Case& c : cases) {
    auto b = procfixture::Noise(c.w, c.h, vx24RGB, uint32_t(c.w));
    TVXBitmap map(c.w, c.h, vx8g);
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) static_cast<uint8_t*>(map.ScanLine(y))[x] = uint8_t(rng());
    const std::string in = numpy_oracle::Pixels(b.get());
    VXAutoSharpByEdgeMap(b.get(), &map, c.intensity, nullptr, nullptr);
    const std::string want = Reference("save(auto_sharp_by_map(load(0, np.uint8, " + Shape(b.get()) +
                                           "), load(1, np.uint8, (" + std::to_string(c.h) + ", " +
                                           std::to_string(c.w) + ")), " + std::to_string(c.intensity) + "))",
                                       {in, numpy_oracle::Pixels(&map)});
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), want) << c.w << "x" << c.h;
  }
}

TEST(AutoSharp, EdgesGetTheFullIntensityAndFlatMapsNothing) {
  auto b = procfixture::Noise(12, 9, vx24RGB, 4);
  const std::string before = numpy_oracle::Pixels(b.get());
  TVXBitmap map(12, 9, vx8g);
  for (int32_t y = 0; y < 9; ++y) std::fill_n(static_cast<uint8_t*>(map.ScanLine(y)), 12, uint8_t(255));
  VXAutoSharpByEdgeMap(b.get(), &map, 50, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  // On an edge (map 0) a pixel gets the whole Intensity: the mean of the
  // corner pixel (0, 0) is over (1, 1), (2, 1), (1, 2), (2, 2).
  for (int32_t y = 0; y < 9; ++y) std::fill_n(static_cast<uint8_t*>(map.ScanLine(y)), 12, uint8_t(0));
  auto src = procfixture::Noise(12, 9, vx24RGB, 4);
  VXAutoSharpByEdgeMap(b.get(), &map, 3, nullptr, nullptr);
  const TRGB p = src->Pixels_vx24RGB(0, 0);
  int32_t sum = 0;
  for (auto [x, y] : {std::pair{1, 1}, {2, 1}, {1, 2}, {2, 2}}) sum += src->Pixels_vx24RGB(x, y).g;
  const int32_t want = std::clamp(int32_t(std::trunc(p.g + (p.g - sum / 4) * 3 / 10.0)), 0, 255);
  EXPECT_EQ(b->Pixels_vx24RGB(0, 0).g, want);
  // A 1 x 1 image: no pixel in the window, the mean is 0.
  for (uint8_t v : {uint8_t(0), uint8_t(9), uint8_t(100), uint8_t(200)}) {
    auto one = Uniform(1, 1, TRGB{v, v, v});
    TVXBitmap m1(1, 1, vx8g);
    VXAutoSharpByEdgeMap(one.get(), &m1, 7, nullptr, nullptr);
    EXPECT_EQ(one->Pixels_vx24RGB(0, 0).r, std::clamp(int32_t(std::trunc(v + v * 7 / 10.0)), 0, 255)) << int(v);
  }
}

TEST(AutoSharp, SharpensAtEdgesOnlyAndIntensityZeroChangesNothing) {
  // A step from 60 to 200 at column 40 of a 96 x 24 image.
  auto step = [] {
    auto b = std::make_unique<TVXBitmap>(96, 24, vx24RGB);
    for (int32_t y = 0; y < 24; ++y)
      for (int32_t x = 0; x < 96; ++x) {
        const uint8_t v = x < 40 ? 60 : 200;
        b->SetPixels_vx24RGB(x, y, TRGB{v, v, v});
      }
    return b;
  };
  auto b = step();
  const std::string before = numpy_oracle::Pixels(b.get());
  VXDoAutoSharp(b.get(), 0, 0.99, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  auto n = procfixture::Noise(20, 14, vx24RGB, 9);
  const std::string noise = numpy_oracle::Pixels(n.get());
  VXDoAutoSharp(n.get(), 0, 0.99, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(n.get()), noise);

  std::vector<int32_t> seen;
  VXDoAutoSharp(b.get(), 10, 0.99, nullptr, [&](void*, int32_t p) { seen.push_back(p); });
  EXPECT_EQ(seen.size(), 24u);
  EXPECT_EQ(seen.back(), 95);
  for (int32_t y = 2; y < 22; ++y) {
    // Next to the step the dark side gets darker and the bright side brighter.
    EXPECT_LT(b->Pixels_vx24RGB(39, y).g, 60) << y;
    EXPECT_GT(b->Pixels_vx24RGB(40, y).g, 200) << y;
    // Far from it nothing changes.
    for (int32_t x : {0, 5, 80, 95}) EXPECT_EQ(b->Pixels_vx24RGB(x, y).g, x < 40 ? 60 : 200) << x << "," << y;
  }
}

// ---- recursive Gaussians ----

namespace {

// The impulse responses of a line of 12 sigma + 1 samples with the impulse
// in the middle, next to numpy's sampled Gaussian of that sigma.
void ExpectGaussianImpulse(const std::vector<double>& Response, double Sigma, const std::string& What) {
  const int32_t n = int32_t(Response.size());
  const std::string g = numpy_oracle::Run("x = np.arange(" + std::to_string(n) + ") - " + std::to_string(n / 2) +
                                              "\ns = " + std::to_string(Sigma) +
                                              "\nsave(np.exp(-x * x / (2 * s * s)) / (np.sqrt(2 * np.pi) * s))",
                                          {});
  ASSERT_EQ(g.size(), size_t(n) * 8);
  std::vector<double> want(static_cast<size_t>(n));
  std::memcpy(want.data(), g.data(), g.size());
  const double peak = *std::max_element(want.begin(), want.end());
  double worst = 0;
  for (int32_t i = 0; i < n; ++i) worst = std::max(worst, std::fabs(Response[size_t(i)] - want[size_t(i)]));
  EXPECT_LE(worst, 0.1 * peak) << What << " sigma " << Sigma;
}

}  // namespace

TEST(RecursiveGauss, ImpulseResponsesFollowTheGaussian) {
  SKIP_WITHOUT_NUMPY();
  for (double sigma : {1.5, 3.0, 10.0, 80.0}) {
    const int32_t n = int32_t(12 * sigma) + 1 + (int32_t(12 * sigma) + 1) % 2;
    std::vector<float> line(size_t(n), 0.0f), work(3 * size_t(n));
    line[size_t(n / 2)] = 1;
    VXRecursiveGaussLine(line.data(), line.data(), n, VXRecursiveGaussCoefs(float(sigma)), work.data());
    ExpectGaussianImpulse(std::vector<double>(line.begin(), line.end()), sigma, "retinex");
  }
}

// ---- AutoEnhance2 ----

namespace {

std::string ScalesOf(int32_t Count, int32_t Curve, int32_t High) {
  if (Count == 1) return "[" + std::to_string(High / 2.0) + "]";
  if (Count == 2) return "[" + std::to_string(High / 2.0) + ", " + std::to_string(High) + "]";
  return "retinex_scales(" + std::to_string(Count) + ", " + std::to_string(Curve) + ", " + std::to_string(High) + ")";
}

std::unique_ptr<TVXBitmap> Crop(TVXBitmap* Source, int32_t x0, int32_t y0, int32_t w, int32_t h) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx24RGB(x, y, Source->Pixels_vx24RGB(x0 + x, y0 + y));
  return b;
}

}  // namespace

TEST(AutoEnhance2, EqualsNumpyReferenceOnRandomCrops) {
  SKIP_WITHOUT_NUMPY();
  auto photo = procfixture::Photo(90, 70);
  std::mt19937 rng(2);
  struct Case {
    int32_t count, curve, high;
    double variance;
    bool luminance;
  } cases[] = {
      {1, 0, 12, 1.5, false},   // the single scale High / 2
      {2, 7, 30, 2.0, false},   // High / 2 and High; the curve plays no part
      {3, 0, 40, 1.2, false},
      {4, 1, 25, 3.0, true},
      {3, 2, 60, 0.8, false},
      {2, 0, 6, 2.5, true},
  };
  for (const Case& c : cases) {
    const int32_t w = 12 + int32_t(rng() % 30), h = 8 + int32_t(rng() % 30);
    auto b = Crop(photo.get(), int32_t(rng() % uint32_t(90 - w)), int32_t(rng() % uint32_t(70 - h)), w, h);
    const std::string in = numpy_oracle::Pixels(b.get());
    VXDoAutoEnhance2(b.get(), c.count, c.curve, c.luminance, c.high, c.variance, nullptr, nullptr);
    const std::string want = Reference("save(auto_enhance2(load(0, np.uint8, " + Shape(b.get()) + "), " +
                                           ScalesOf(c.count, c.curve, c.high) + ", " +
                                           (c.luminance ? "True" : "False") + ", " + std::to_string(c.variance) + "))",
                                       {in});
    ExpectClose(numpy_oracle::Pixels(b.get()), want, 0.97,
                "count " + std::to_string(c.count) + " curve " + std::to_string(c.curve) + " high " +
                    std::to_string(c.high));
  }
}

TEST(AutoEnhance2, UniformImagesComeOutBlack) {
  for (bool luminance : {false, true}) {
    auto b = luminance ? Uniform(40, 40, TRGB{77, 77, 77}) : Uniform(40, 40, TRGB{30, 140, 220});
    VXDoAutoEnhance2(b.get(), 2, 0, luminance, 4, 2.0, nullptr, nullptr);
    EXPECT_TRUE(AllZero(b.get())) << luminance;
  }
}

TEST(AutoEnhance2, LuminanceKeepsEachPixelsCbAndCr) {
  auto b = procfixture::Photo(33, 21);
  TVXBitmap before(b.get());
  VXDoAutoEnhance2(b.get(), 3, 0, true, 20, 1.5, nullptr, nullptr);
  int32_t changed = 0;
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 33; ++x) {
      int32_t Y, Cb, Cr;
      VXRGBToYCbCr(Y, Cb, Cr, before.Pixels_vx24RGB(x, y));
      const TRGB got = b->Pixels_vx24RGB(x, y);
      bool found = false;
      for (int32_t v = 0; v < 256 && !found; ++v) found = VXSameRGB(VXYCbCrToRGB(v, Cb, Cr), got);
      EXPECT_TRUE(found) << x << "," << y;
      changed += !VXSameRGB(got, before.Pixels_vx24RGB(x, y));
    }
  EXPECT_GT(changed, 33 * 21 / 2);
}

TEST(AutoEnhance2, ProgressAndRefusals) {
  auto b = procfixture::Photo(20, 10);
  std::vector<int32_t> seen;
  VXDoAutoEnhance2(b.get(), 2, 0, false, 8, 2.0, nullptr, [&](void*, int32_t p) { seen.push_back(p); });
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 10, 20, 45, 80, 90, 100}));

  // Refused: no scale, a curve other than 0 .. 2 for more than two scales,
  // scales that are no number (log of ScaleHigh - 2 <= 0), too small images.
  struct Case {
    int32_t w, h, count, curve, high;
  } refused[] = {{20, 10, 0, 0, 10}, {20, 10, 3, 3, 10}, {20, 10, 3, -1, 10},
                 {20, 10, 3, 0, 2},  {20, 10, 4, 1, 1},  {2, 10, 1, 0, 10},  {20, 2, 2, 0, 10}};
  for (const Case& c : refused) {
    auto img = procfixture::Photo(c.w, c.h);
    const std::string before = numpy_oracle::Pixels(img.get());
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetAttachedVXBitmap(img.get());
    proc.AutoEnhance2(c.count, c.curve, 2.0, c.high, false);
    EXPECT_EQ(proc.UndoCount(), 0) << c.count << " " << c.curve << " " << c.high;
    EXPECT_EQ(numpy_oracle::Pixels(img.get()), before);
    VXDoAutoEnhance2(img.get(), c.count, c.curve, false, c.high, 2.0, nullptr, nullptr);
    EXPECT_EQ(numpy_oracle::Pixels(img.get()), before);
  }
}

// ---- third-order recursive Gaussian ----

TEST(RecursiveGauss, ThirdOrderImpulseResponsesFollowTheGaussian) {
  SKIP_WITHOUT_NUMPY();
  for (double sigma : {1.5, 3.0, 10.0, 80.0}) {
    const int32_t n = int32_t(12 * sigma) + 1 + (int32_t(12 * sigma) + 1) % 2;
    std::vector<double> line(static_cast<size_t>(n), 0.0);
    line[size_t(n / 2)] = 1;
    VXGauss3Line(line.data(), n, VXGauss3Coefs(sigma));
    ExpectGaussianImpulse(line, sigma, "third order");
  }
}

TEST(RecursiveGauss, ThirdOrderEndsAsIfTheRowWentOnWithItsLastValue) {
  std::mt19937 rng(3);
  for (double sigma : {1.5, 3.0, 10.0, 80.0}) {
    const TVXGauss3Coefs c = VXGauss3Coefs(sigma);
    for (int32_t n : {3, 4, 9, 57}) {
      std::vector<double> row(static_cast<size_t>(n));
      for (double& v : row) v = double(rng() % 25600) / 100;
      // The same filter over the row continued by its last value for
      // thousands of samples, the anticausal pass starting from 0 at the far
      // end.
      const int32_t N = n + 8000;
      std::vector<double> x(row), w(static_cast<size_t>(N)), y(static_cast<size_t>(N) + 3, 0.0);
      x.resize(size_t(N), row.back());
      const double init = row[0] / c.B;
      for (int32_t k = 0; k < N; ++k) {
        auto prev = [&](int32_t d) { return k - d >= 0 ? w[size_t(k - d)] : init; };
        w[size_t(k)] = x[size_t(k)] + c.a1 * prev(1) + c.a2 * prev(2) + c.a3 * prev(3);
      }
      for (int32_t k = N - 1; k >= 0; --k)
        y[size_t(k)] = c.B * c.B * w[size_t(k)] + c.a1 * y[size_t(k) + 1] + c.a2 * y[size_t(k) + 2] +
                       c.a3 * y[size_t(k) + 3];
      std::vector<double> got(row);
      VXGauss3Line(got.data(), n, c);
      for (int32_t k = 0; k < n; ++k)
        EXPECT_NEAR(got[size_t(k)], y[size_t(k)], 1e-9 * 256) << "sigma " << sigma << " n " << n << " k " << k;
      // A constant row stays constant.
      std::vector<double> flat(static_cast<size_t>(n), 97.25);
      VXGauss3Line(flat.data(), n, c);
      for (double v : flat) EXPECT_NEAR(v, 97.25, 1e-9 * 256) << "sigma " << sigma << " n " << n;
    }
  }
}

// ---- AutoEnhance3 ----

TEST(AutoEnhance3, EqualsNumpyReferenceOnRandomCrops) {
  SKIP_WITHOUT_NUMPY();
  auto photo = procfixture::Photo(90, 70);
  std::mt19937 rng(5);
  struct Case {
    double gamma;
    int32_t saturation;
  } cases[] = {{2.2, 100}, {1.0, 130}, {3.5, 60}, {0.7, 0}, {1.8, 200}};
  for (const Case& c : cases) {
    const int32_t w = 5 + int32_t(rng() % 40), h = 3 + int32_t(rng() % 40);
    auto b = Crop(photo.get(), int32_t(rng() % uint32_t(90 - w)), int32_t(rng() % uint32_t(70 - h)), w, h);
    const std::string in = numpy_oracle::Pixels(b.get());
    VXDoAutoEnhance3(b.get(), c.saturation, c.gamma, nullptr, nullptr);
    ASSERT_EQ(b->Width(), w);
    ASSERT_EQ(b->Height(), h);
    const std::string want = Reference("save(auto_enhance3(load(0, np.uint8, " + Shape(b.get()) + "), " +
                                           std::to_string(c.gamma) + ", " + std::to_string(c.saturation) + "))",
                                       {in});
    ExpectClose(numpy_oracle::Pixels(b.get()), want, 0.97,
                "gamma " + std::to_string(c.gamma) + " saturation " + std::to_string(c.saturation));
  }
}

TEST(AutoEnhance3, Gamma22ScalesEachPixelByOneRatioAndSaturation0GivesGrey) {
  auto photo = procfixture::Photo(41, 29);
  TVXBitmap before(photo.get());
  VXDoAutoEnhance3(photo.get(), 100, 2.2, nullptr, nullptr);
  ASSERT_EQ(photo->Width(), 41);
  ASSERT_EQ(photo->Height(), 29);
  // Gamma 2.2 makes both tables the same: a channel c becomes
  // T[Trunc(T[c] x ratio)], one ratio for the pixel's three channels.
  int32_t T[256];
  for (int32_t i = 0; i < 256; ++i) T[i] = int32_t(std::nearbyint(255 * std::pow(i / 255.0, 1 / 2.2)));
  T[0] = 1;
  for (int32_t y = 0; y < 29; ++y)
    for (int32_t x = 0; x < 41; ++x) {
      const TRGB in = before.Pixels_vx24RGB(x, y), out = photo->Pixels_vx24RGB(x, y);
      double lo = 0, hi = 1e30;
      for (auto [c, o] : {std::pair{in.r, out.r}, {in.g, out.g}, {in.b, out.b}}) {
        // The table entries k with T'[k] == o, T' being T with T'[0] = 0.
        int32_t k0 = 256, k1 = -1;
        for (int32_t k = 0; k < 256; ++k)
          if ((k == 0 ? 0 : T[k]) == o) k0 = std::min(k0, k), k1 = k;
        ASSERT_LE(k0, k1) << "no table entry gives " << int(o);
        lo = std::max(lo, double(k0) / T[c]);
        if (k1 < 255) hi = std::min(hi, double(k1 + 1) / T[c]);
      }
      EXPECT_LT(lo, hi) << x << "," << y;
      // Channel order and grey stay.
      EXPECT_EQ(in.r < in.g, out.r < out.g || (in.r < in.g && out.r == out.g)) << x << "," << y;
    }
  auto grey = procfixture::Photo(23, 17);
  VXDoAutoEnhance3(grey.get(), 0, 1.6, nullptr, nullptr);
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 23; ++x) {
      const TRGB p = grey->Pixels_vx24RGB(x, y);
      EXPECT_TRUE(p.r == p.g && p.g == p.b) << x << "," << y;
    }
}

TEST(AutoEnhance3, NineStagesOfProgress) {
  auto b = procfixture::Photo(12, 5);  // 13 rows when enlarged
  std::vector<int32_t> seen;
  VXDoAutoEnhance3(b.get(), 100, 2.2, nullptr, [&](void*, int32_t p) { seen.push_back(p); });
  // Eight stages of 13 reports (the last of each at 9 more than its start),
  // then the saturation worker's 13 from 72.
  ASSERT_EQ(seen.size(), 9u * 13u);
  for (int32_t s = 0; s < 8; ++s) {
    EXPECT_EQ(seen[size_t(13 * s)], 9 * s);
    EXPECT_EQ(seen[size_t(13 * s + 12)], 9 * s + 9);
    EXPECT_TRUE(std::is_sorted(seen.begin() + 13 * s, seen.begin() + 13 * s + 13));
  }
  EXPECT_EQ(seen[8 * 13], 72);
  EXPECT_EQ(seen.back(), 72 + int32_t(12.0 / 13 * 0.09 * 100));
}

// Each enhancement through the component: arguments it refuses leave the
// image and the undo list alone; a run changes the image under its undo
// caption, Undo brings the image back, and with a selection only the
// selection changes.
TEST(AutoEnhance, ThroughTheComponent) {
  using Op = std::function<void(TVexlaneProc&)>;
  const struct {
    const char* Name;
    Op Refused, Run;
    std::string Caption;
    Op OnSelection;
    uint32_t Seed;
    int MinChanged;
  } cases[] = {
      // A subsampled size below 1 is refused.
      {"AutoEnhance1", [](TVexlaneProc& p) { p.AutoEnhance1(0, 20, 25, 1); },
       [](TVexlaneProc& p) { p.AutoEnhance1(10, 20, 25, 1); }, "AutoEnhance1 10, 20, 25, 1",
       [](TVexlaneProc& p) { p.AutoEnhance1(10, 20, 25, 1); }, 5, 100},
      {"AutoSharp", nullptr, [](TVexlaneProc& p) { p.AutoSharp(6, 0.95); }, "AutoSharp 6, 0.95",
       [](TVexlaneProc& p) { p.AutoSharp(8, 0.99); }, 6, 50},
      {"AutoEnhance2", nullptr, [](TVexlaneProc& p) { p.AutoEnhance2(3, 2, 2.0, 16, false); }, "AutoEnhance2",
       [](TVexlaneProc& p) { p.AutoEnhance2(2, 0, 2.0, 10, true); }, 7, 100},
      // Gamma 0 or less, or no number, is refused.
      {"AutoEnhance3",
       [](TVexlaneProc& p) {
         for (double g : {0.0, -1.0, std::nan("")}) p.AutoEnhance3(g, 100);
       },
       [](TVexlaneProc& p) { p.AutoEnhance3(2.2, 120); }, "AutoEnhance3 2.20, 120",
       [](TVexlaneProc& p) { p.AutoEnhance3(1.5, 110); }, 8, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto b = procfixture::Photo(30, 20);
    const std::string before = numpy_oracle::Pixels(b.get());
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetAttachedVXBitmap(b.get());
    if (c.Refused) {
      c.Refused(proc);
      EXPECT_EQ(proc.UndoCount(), 0);
      EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
    }
    c.Run(proc);
    EXPECT_EQ(proc.GetUndoCaptions(0), c.Caption);
    EXPECT_NE(numpy_oracle::Pixels(b.get()), before);
    proc.Undo(false);
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
    ExpectSelectionOnlyAndUndo(c.OnSelection, c.Seed, c.MinChanged);
  }
}

TEST(AutoEnhance, TinyImagesAndExtremeArguments) {
  // A negative Neighbour leaves no candidates: each value is carried back
  // between the defaults 0 and 255, i.e. unchanged.
  auto b = procfixture::Noise(15, 9, vx24RGB, 21);
  const std::string before = numpy_oracle::Pixels(b.get());
  VXDoAutoEnhance1(b.get(), 5, 30, 50, -2, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  // Slope 90 (tan of about 1.6e16) and Cut beyond 100 stay finite.
  VXDoAutoEnhance1(b.get(), 5, 90, 250, 1, nullptr, nullptr);
  EXPECT_EQ(b->Width(), 15);
  // A 1 x 1 image: its edge map (first column white) holds no edge, nothing
  // sharpens.
  auto one = procfixture::Noise(1, 1, vx24RGB, 22);
  const std::string p = numpy_oracle::Pixels(one.get());
  VXDoAutoSharp(one.get(), 20, 0.99, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(one.get()), p);
  auto two = procfixture::Noise(2, 2, vx24RGB, 22);
  VXDoAutoSharp(two.get(), 20, 0.99, nullptr, nullptr);
  EXPECT_EQ(two->Width(), 2);
  // The local adaptation of a single pixel and a single row keeps the size.
  for (auto [w, h] : {std::pair{1, 1}, {7, 1}}) {
    auto t = procfixture::Noise(w, h, vx24RGB, 23);
    VXDoAutoEnhance3(t.get(), 100, 2.2, nullptr, nullptr);
    EXPECT_EQ(t->Width(), w);
    EXPECT_EQ(t->Height(), h);
  }
  // The smallest retinex, with a huge spread factor: everything clamps.
  auto r = procfixture::Noise(3, 3, vx24RGB, 24);
  VXDoAutoEnhance2(r.get(), 1, 0, false, 100, 1e300, nullptr, nullptr);
  EXPECT_EQ(r->Width(), 3);
}
