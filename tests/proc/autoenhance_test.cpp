// The automatic enhancements: local equalisation, edge-adaptive sharpening,
// the retinex and the local adaptation, against numpy references
// (tests/proc/autoenhance_ref.py) and their defining properties.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/autoenhance.h"
#include "proc/proc.h"
#include "proc/resample.h"
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

TEST(AutoEnhance1, ThroughTheComponent) {
  auto b = procfixture::Photo(30, 20);
  const std::string before = numpy_oracle::Pixels(b.get());
  int owner = 0;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(b.get());
  // A subsampled size below 1 is refused without an undo entry.
  proc.AutoEnhance1(0, 20, 25, 1);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  proc.AutoEnhance1(10, 20, 25, 1);
  EXPECT_EQ(proc.GetUndoCaptions(0), "AutoEnhance1 10, 20, 25, 1");
  EXPECT_NE(numpy_oracle::Pixels(b.get()), before);
  proc.Undo(false);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.AutoEnhance1(10, 20, 25, 1); }, 5, 100);
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

TEST(AutoSharp, ThroughTheComponent) {
  auto b = procfixture::Photo(30, 20);
  const std::string before = numpy_oracle::Pixels(b.get());
  int owner = 0;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(b.get());
  proc.AutoSharp(6, 0.95);
  EXPECT_EQ(proc.GetUndoCaptions(0), "AutoSharp 6, 0.95");
  EXPECT_NE(numpy_oracle::Pixels(b.get()), before);
  proc.Undo(false);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.AutoSharp(8, 0.99); }, 6, 50);
}
