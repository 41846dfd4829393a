// Gamma, histogram matching, channel gains and white balances, gain and
// offset, region casts and colorize; chroma key, transparent colour boxes
// and the dominant colour.
//
// Oracles: numpy (the tables, gains, matching, chroma distances and colour
// counts evaluated from their formulas) and OpenCV's fixed-range flood fill
// (Debian python3-numpy, python3-opencv).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "fake_viewhost.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/chromakey.h"
#include "proc/colors.h"
#include "proc/proc.h"
#include "proc/whitebalance.h"
#include "selection_check.h"

namespace {

bool OpenCVAvailable() {
  static const bool ok = numpy_oracle::Shell("/usr/bin/python3 -c 'import cv2; print(1)' 2>/dev/null") == "1\n";
  return ok;
}

std::string Num(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.17g", v);
  return s;
}

std::string Shape(TVXBitmap* b) { return "(" + std::to_string(b->Height()) + "," + std::to_string(b->Width()) + ",3)"; }

std::unique_ptr<TVXBitmap> Uniform(int32_t w, int32_t h, TRGB c) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx24RGB(x, y, c);
  return b;
}

// Random channel values within lo .. hi.
std::unique_ptr<TVXBitmap> RandomRange(int32_t w, int32_t h, int lo, int hi, uint32_t seed) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* p = static_cast<uint8_t*>(b->ScanLine(y));
    for (int32_t i = 0; i < 3 * w; ++i) p[i] = uint8_t(lo + int(rng() % uint32_t(hi - lo + 1)));
  }
  return b;
}

std::string Alpha(TVXBitmap* b) {
  std::string s;
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x) s += char(b->HasAlphaChannel() ? b->Alpha(x, y) : 255);
  return s;
}

// ---------------------------------------------------------------------------
// Gamma

TEST(GammaCorrect, OneLeavesEverythingAndTwoMaps64To128) {
  auto b = procfixture::Noise(40, 30, vx24RGB, 3);
  const std::string before = numpy_oracle::Pixels(b.get());
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  proc->GammaCorrect(1, TVXChannels{vxcRed, vxcGreen, vxcBlue});
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  auto g = Uniform(2, 2, TRGB{64, 64, 64});
  TVexlaneProc::CreateFromBitmap(g.get())->GammaCorrect(2, TVXChannels{vxcRed, vxcGreen, vxcBlue});
  EXPECT_EQ(g->Pixels_vx24RGB(1, 1), (TRGB{128, 128, 128}));
}

TEST(GammaCorrect, TablesEqualTheFormulaEvaluatedByNumpy) {
  SKIP_WITHOUT_NUMPY();
  const double gammas[] = {1, 2, 0.5, 2.2, 0.45, 3.7, -1.5, 0};
  std::string list;
  for (double g : gammas) list += Num(g) + ",";
  // 8 bits: a 256 x 1 ramp; 16 bits: every word once in a 256 x 256 image.
  std::string got8, got16;
  for (double g : gammas) {
    auto b8 = std::make_unique<TVXBitmap>(256, 1, vx24RGB);
    auto b16 = std::make_unique<TVXBitmap>(256, 256, vx48RGB);
    for (int32_t i = 0; i < 256; ++i) b8->SetPixels_vx24RGB(i, 0, TRGB{uint8_t(i), uint8_t(i), uint8_t(i)});
    for (int32_t y = 0; y < 256; ++y)
      for (int32_t x = 0; x < 256; ++x) {
        const uint16_t v = uint16_t(y * 256 + x);
        b16->SetPixels_vx48RGB(x, y, TRGB48{v, v, v});
      }
    TVexlaneProc::CreateFromBitmap(b8.get())->GammaCorrect(g, TVXChannels{vxcRed, vxcGreen, vxcBlue});
    TVexlaneProc::CreateFromBitmap(b16.get())->GammaCorrect(g, TVXChannels{vxcRed, vxcGreen, vxcBlue});
    for (int32_t i = 0; i < 256; ++i) got8 += char(b8->Pixels_vx24RGB(i, 0).g);
    for (int32_t y = 0; y < 256; ++y)
      for (int32_t x = 0; x < 256; ++x) {
        const uint16_t v = b16->Pixels_vx48RGB(x, y).b;
        got16.append(reinterpret_cast<const char*>(&v), 2);
      }
  }
  const std::string want = numpy_oracle::Run(
      "import warnings\nwarnings.simplefilter('ignore')\n"
      "out8, out16 = [], []\n"
      "i8 = np.arange(256, dtype=np.float64); i16 = np.arange(65536, dtype=np.float64)\n"
      "for g in [" + list + "]:\n"
      "    e = 1 / g if g != 0 else np.inf\n"
      "    out8.append(np.clip(np.nan_to_num(np.rint(255 * np.power(i8 / 255, e)), posinf=255), 0, 255).astype(np.uint8))\n"
      "    out16.append(np.clip(np.nan_to_num(np.rint(65535 * np.power(i16 / 65535, e)), posinf=65535), 0, 65535)"
      ".astype('<u2'))\n"
      "save(np.concatenate([np.concatenate(out8).view(np.uint8), np.concatenate(out16).view(np.uint8)]))",
      {});
  ASSERT_EQ(want.size(), got8.size() + got16.size());
  EXPECT_EQ(got8, want.substr(0, got8.size()));
  EXPECT_TRUE(got16 == want.substr(got8.size())) << "16-bit table differs";
}

TEST(GammaCorrect, ChangesOnlyTheSelectedChannels) {
  struct Case {
    TVXPixelFormat fmt;
    TVXChannels channels;
    bool changed[3];  // in memory order
  } cases[] = {
      {vx24RGB, TVXChannels{vxcRed}, {false, false, true}},
      {vx24RGB, TVXChannels{vxcBlue, vxcGreen}, {true, true, false}},
      {vx48RGB, TVXChannels{vxcRed}, {true, false, false}},
      {vx48RGB, TVXChannels{vxcBlue}, {false, false, true}},
      {vx24RGB, TVXChannels{}, {false, false, false}},
  };
  for (const Case& c : cases) {
    auto b = procfixture::Noise(33, 17, c.fmt, 9);
    TVXBitmap before(b.get());
    TVexlaneProc::CreateFromBitmap(b.get())->GammaCorrect(2.2, c.channels);
    const int32_t words = c.fmt == vx48RGB ? 2 : 1;
    int changedCount[3] = {0, 0, 0}, unchanged[3] = {0, 0, 0};
    for (int32_t y = 0; y < 17; ++y) {
      const uint8_t* p = static_cast<const uint8_t*>(b->ScanLine(y));
      const uint8_t* q = static_cast<const uint8_t*>(before.ScanLine(y));
      for (int32_t x = 0; x < 33; ++x)
        for (int32_t ch = 0; ch < 3; ++ch) {
          const size_t at = size_t(3 * x + ch) * words;
          const bool same = std::memcmp(p + at, q + at, size_t(words)) == 0;
          (same ? unchanged : changedCount)[ch]++;
        }
    }
    for (int ch = 0; ch < 3; ++ch)
      if (c.changed[ch])
        EXPECT_GT(changedCount[ch], 300) << c.fmt << " channel " << ch;
      else
        EXPECT_EQ(changedCount[ch], 0) << c.fmt << " channel " << ch;
  }
}

TEST(GammaCorrect, NoNumberLeavesTheImage) {
  auto b = procfixture::Noise(10, 10, vx24RGB, 1);
  const std::string before = numpy_oracle::Pixels(b.get());
  TVexlaneProc::CreateFromBitmap(b.get())->GammaCorrect(std::nan(""), TVXChannels{vxcRed, vxcGreen, vxcBlue});
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
}

// ---------------------------------------------------------------------------
// Gains and white balances

TEST(WhiteBalance, CoefOneChangesNothingAndTwoDoublesRedClamped) {
  auto b = procfixture::Noise(31, 9, vx24RGB, 4);
  TVXBitmap before(b.get());
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  proc->WhiteBalance_coef(1, 1, 1);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), numpy_oracle::Pixels(&before));
  proc->WhiteBalance_coef(2, 1, 1);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 31; ++x) {
      const TRGB p = b->Pixels_vx24RGB(x, y), q = before.Pixels_vx24RGB(x, y);
      ASSERT_EQ(p.r, std::min(2 * q.r, 255));
      ASSERT_EQ(p.g, q.g);
      ASSERT_EQ(p.b, q.b);
    }
}

TEST(WhiteBalance, GainsAndGrayWorldEqualNumpy) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(12);
  for (int round = 0; round < 4; ++round) {
    auto b = RandomRange(47, 23, 0, 255, 100 + round);
    const double gr = 0.2 + (rng() % 1000) / 400.0, gg = 0.3 + (rng() % 1000) / 500.0, gb = (rng() % 1000) / 300.0;
    const std::string in = numpy_oracle::Pixels(b.get());
    TVexlaneProc::CreateFromBitmap(b.get())->WhiteBalance_coef(gr, gg, gb);
    const std::string want = numpy_oracle::Run(
        "a = load(0, np.uint8, " + Shape(b.get()) + ").astype(np.float64)\n"
        "g = np.array([" + Num(gb) + "," + Num(gg) + "," + Num(gr) + "])\n"
        "save(np.clip(np.trunc(a * g), 0, 255).astype(np.uint8))",
        {in});
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), want) << "gains " << gr << " " << gg << " " << gb;
  }
  // Gray world, with many zeros and, in the second image, a channel of
  // zeros only (which keeps gain 1).
  for (int round = 0; round < 2; ++round) {
    auto b = RandomRange(40, 30, 0, 200, 7 + round);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        TRGB p = b->Pixels_vx24RGB(x, y);
        if ((x + y) % 3 == 0) p.g = 0;
        if (round == 1) p.b = 0;
        b->SetPixels_vx24RGB(x, y, p);
      }
    const std::string in = numpy_oracle::Pixels(b.get());
    TVexlaneProc::CreateFromBitmap(b.get())->WhiteBalance_GrayWorld();
    const std::string want = numpy_oracle::Run(
        "a = load(0, np.uint8, " + Shape(b.get()) + ").astype(np.float64)\n"
        "means, counts = [], []\n"
        "for c in range(3):\n"
        "    nz = a[:, :, c][a[:, :, c] > 0]\n"
        "    counts.append(len(nz)); means.append(nz.sum() / len(nz) if len(nz) else 0.0)\n"
        "m = max(means)\n"
        "out = a.copy()\n"
        "for c in range(3):\n"
        "    g = m / means[c] if counts[c] else 1.0\n"
        "    out[:, :, c] = np.clip(np.trunc(a[:, :, c] * g), 0, 255)\n"
        "save(out.astype(np.uint8))",
        {in});
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), want) << "round " << round;
  }
}

TEST(WhiteBalance, WhiteAtTakesAZeroChannelAsOne) {
  auto b = Uniform(4, 3, TRGB{10, 20, 30});
  b->SetPixels_vx24RGB(0, 0, TRGB{0, 100, 50});    // the white point: blue 0
  b->SetPixels_vx24RGB(3, 2, TRGB{120, 200, 250});  // the maxima
  TVexlaneProc::CreateFromBitmap(b.get())->WhiteBalance_WhiteAt(0, 0);
  // Gains: blue 120 / 1, green 200 / 100, red 250 / 50.
  EXPECT_EQ(b->Pixels_vx24RGB(0, 0), (TRGB{0, 200, 250}));
  EXPECT_EQ(b->Pixels_vx24RGB(1, 1), (TRGB{255, 40, 150}));
  EXPECT_EQ(b->Pixels_vx24RGB(3, 2), (TRGB{255, 255, 255}));
}

TEST(WhiteBalance, PointsOutsideTheWorkBitmapDoNothingAndSaveNoUndo) {
  struct Case {
    const char* name;
    void (*op)(TVexlaneProc&, int32_t, int32_t);
  } ops[] = {
      {"WhiteAt", [](TVexlaneProc& p, int32_t x, int32_t y) { p.WhiteBalance_WhiteAt(x, y); }},
      {"CastColor", [](TVexlaneProc& p, int32_t x, int32_t y) { p.CastColor(x, y, TRGB{1, 2, 3}, 300); }},
      {"CastAlpha", [](TVexlaneProc& p, int32_t x, int32_t y) { p.CastAlpha(x, y, 0, 300); }},
      {"RemoveChromaKey", [](TVexlaneProc& p, int32_t x, int32_t y) { p.RemoveChromaKey(x, y, 3, 0, 0, 0, false); }},
  };
  const TPoint points[] = {{-1, 0}, {0, -1}, {20, 0}, {0, 10}, {-5, -5}, {-1, -1}};
  for (const Case& c : ops)
    for (const TPoint& pt : points) {
      if (pt.X == -1 && pt.Y == -1 && std::string(c.name) == "RemoveChromaKey") continue;  // the guess
      auto b = procfixture::Noise(20, 10, vx24RGB, 5);
      const std::string before = numpy_oracle::Pixels(b.get());
      TComponent owner;
      TVexlaneProc proc(&owner);
      proc.SetAttachedVXBitmap(b.get());
      c.op(proc, pt.X, pt.Y);
      EXPECT_EQ(numpy_oracle::Pixels(b.get()), before) << c.name << " " << pt.X << "," << pt.Y;
      EXPECT_FALSE(b->HasAlphaChannel()) << c.name;
      EXPECT_EQ(proc.UndoCount(), 0) << c.name << " " << pt.X << "," << pt.Y;
    }
  // With a selection the work bitmap is its bounding box: a point inside the
  // image but beyond the box does nothing, one inside the box works in the
  // box's coordinates.
  TFakeViewHost host;
  host.Image()->Assign(Uniform(30, 20, TRGB{50, 60, 70}).get());
  TVXMask* m = host.NewMask(8);
  m->SetRectangle(10, 5, 19, 14, 255);
  m->SyncRect();
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVexlane(&host);
  proc.CastColor(12, 11, TRGB{1, 2, 3}, 0);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(host.Image()->Pixels_vx24RGB(12, 11), (TRGB{50, 60, 70}));
  proc.CastColor(0, 0, TRGB{1, 2, 3}, 0);
  EXPECT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(host.Image()->Pixels_vx24RGB(10, 5), (TRGB{1, 2, 3}));
  EXPECT_EQ(host.Image()->Pixels_vx24RGB(19, 14), (TRGB{1, 2, 3}));
  EXPECT_EQ(host.Image()->Pixels_vx24RGB(9, 5), (TRGB{50, 60, 70}));
  EXPECT_EQ(host.Image()->Pixels_vx24RGB(20, 14), (TRGB{50, 60, 70}));
}

TEST(WhiteBalance, AutoWhiteUsesTheBrightUnsaturatedPixelsOnly) {
  // Dark or saturated pixels only: every mean counts as 255, nothing moves.
  auto dark = RandomRange(25, 25, 0, 150, 3);
  for (int32_t x = 0; x < 25; ++x) dark->SetPixels_vx24RGB(x, 0, TRGB{0, 0, 255});  // bright but saturated
  const std::string before = numpy_oracle::Pixels(dark.get());
  TVexlaneProc::CreateFromBitmap(dark.get())->WhiteBalance_AutoWhite();
  EXPECT_EQ(numpy_oracle::Pixels(dark.get()), before);
  // One candidate colour (hue 0.071, outside the bands): gains 255 / it.
  auto b = RandomRange(20, 20, 0, 120, 4);
  for (int32_t x = 0; x < 20; ++x) b->SetPixels_vx24RGB(x, 7, TRGB{225, 228, 232});
  // Light but too saturated (0.375) counts not.
  b->SetPixels_vx24RGB(5, 5, TRGB{200, 215, 230});
  // A light grey whose hue falls in a band (0.4) counts not.
  b->SetPixels_vx24RGB(3, 3, TRGB{222, 240, 210});
  TVXBitmap orig(b.get());
  TVexlaneProc::CreateFromBitmap(b.get())->WhiteBalance_AutoWhite();
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const TRGB p = orig.Pixels_vx24RGB(x, y), q = b->Pixels_vx24RGB(x, y);
      ASSERT_EQ(q.b, std::min(255, int(p.b * (255 / 225.0))));
      ASSERT_EQ(q.g, std::min(255, int(p.g * (255 / 228.0))));
      ASSERT_EQ(q.r, std::min(255, int(p.r * (255 / 232.0))));
    }
}

TEST(AdjustGainOffset, StretchesEachChannelToTheFullRangeAsNumpy) {
  // 10 .. 200 in every channel: 10 -> 0, 200 -> 255.
  auto b = RandomRange(30, 20, 10, 200, 2);
  b->SetPixels_vx24RGB(0, 0, TRGB{10, 10, 10});
  b->SetPixels_vx24RGB(1, 0, TRGB{200, 200, 200});
  TVexlaneProc::CreateFromBitmap(b.get())->AdjustGainOffset();
  EXPECT_EQ(b->Pixels_vx24RGB(0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(b->Pixels_vx24RGB(1, 0), (TRGB{255, 255, 255}));
  // The largest value lands on full for every range, also where the product
  // with a floating-point factor falls just short (190 x (255 / 190) is
  // below 255 in doubles for many ranges).
  for (int32_t d = 1; d <= 255; ++d) {
    auto r = Uniform(2, 1, TRGB{0, 0, 0});
    r->SetPixels_vx24RGB(1, 0, TRGB{uint8_t(d), uint8_t(d), uint8_t(d)});
    TVexlaneProc::CreateFromBitmap(r.get())->AdjustGainOffset();
    ASSERT_EQ(r->Pixels_vx24RGB(1, 0), (TRGB{255, 255, 255})) << "range " << d;
  }
  for (int32_t d : {3, 190, 4097, 40000, 65534}) {
    auto r = std::make_unique<TVXBitmap>(2, 1, vx48RGB);
    r->SetPixels_vx48RGB(0, 0, TRGB48{1, 1, 1});
    r->SetPixels_vx48RGB(1, 0, TRGB48{uint16_t(1 + d), uint16_t(1 + d), uint16_t(1 + d)});
    TVexlaneProc::CreateFromBitmap(r.get())->AdjustGainOffset();
    ASSERT_EQ(r->Pixels_vx48RGB(1, 0).g, 65535) << "range " << d;
  }
  // A channel with a single value stays.
  auto flat = RandomRange(9, 9, 30, 90, 6);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 9; ++x) {
      TRGB p = flat->Pixels_vx24RGB(x, y);
      p.g = 77;
      flat->SetPixels_vx24RGB(x, y, p);
    }
  TVexlaneProc::CreateFromBitmap(flat.get())->AdjustGainOffset();
  EXPECT_EQ(flat->Pixels_vx24RGB(4, 4).g, 77);

  SKIP_WITHOUT_NUMPY();
  for (TVXPixelFormat fmt : {vx24RGB, vx48RGB}) {
    auto n = procfixture::Noise(37, 21, fmt, 31);
    // Narrow the channels so that the stretch does something.
    for (int32_t y = 0; y < 21; ++y) {
      if (fmt == vx24RGB) {
        uint8_t* p = static_cast<uint8_t*>(n->ScanLine(y));
        for (int32_t i = 0; i < 3 * 37; ++i) p[i] = uint8_t(20 + p[i] % (60 + 50 * (i % 3)));
      } else {
        uint16_t* p = static_cast<uint16_t*>(n->ScanLine(y));
        for (int32_t i = 0; i < 3 * 37; ++i) p[i] = uint16_t(1000 + p[i] % (3000 + 20000 * (i % 3)));
      }
    }
    const std::string in = numpy_oracle::Pixels(n.get());
    TVexlaneProc::CreateFromBitmap(n.get())->AdjustGainOffset();
    const bool w16 = fmt == vx48RGB;
    const std::string want = numpy_oracle::Run(
        std::string("a = load(0, ") + (w16 ? "'<u2'" : "np.uint8") + ", (21, 37, 3)).astype(np.int64)\n" +
            "full = " + (w16 ? "65535" : "255") + "\n"
            "mn = a.min(axis=(0, 1)); mx = a.max(axis=(0, 1))\n"
            "save(((a - mn) * full // (mx - mn)).astype(" + (w16 ? "'<u2'" : "np.uint8") + "))",
        {in});
    EXPECT_EQ(numpy_oracle::Pixels(n.get()), want) << fmt;
  }
}

// ---------------------------------------------------------------------------
// Histogram matching

TEST(MatchHistogram, EqualsNumpyOfItsFiveSteps) {
  SKIP_WITHOUT_NUMPY();
  const char* snippet =
      "ref = load(0, np.uint8, (REFSHAPE))\n"
      "img = load(1, DTYPE, (IMGSHAPE))\n"
      "N = ref.shape[0] * ref.shape[1]; WH = img.shape[0] * img.shape[1]\n"
      "out = img.copy()\n"
      "for c in range(3):\n"
      "    rc = 2 - c if WIDE else c\n"  // the reference channel of image channel c
      "    href = np.bincount(ref[:, :, rc].ravel(), minlength=256)\n"
      "    v = img[:, :, c].astype(np.int64) >> (8 if WIDE else 0)\n"
      "    h = np.bincount(v.ravel(), minlength=256)\n"
      "    e = np.cumsum(h).astype(np.float64) * 255 / WH\n"
      "    eq = np.trunc(e).astype(np.int64)\n"
      "    r = (255 / N) * np.cumsum(href).astype(np.float64)\n"
      "    lut = np.array([np.argmin(np.abs(i - r)) for i in range(256)])\n"
      "    out[:, :, c] = lut[eq[v]] * (257 if WIDE else 1)\n"
      "save(out)";
  for (TVXPixelFormat fmt : {vx24RGB, vx48RGB}) {
    auto ref = RandomRange(23, 19, 30, 140, 8);
    auto img = procfixture::Noise(41, 27, fmt, 9);
    const bool wide = fmt == vx48RGB;
    std::string s = snippet;
    auto put = [&](const std::string& k, const std::string& v) {
      for (size_t at; (at = s.find(k)) != std::string::npos;) s.replace(at, k.size(), v);
    };
    put("REFSHAPE", "19, 23, 3");
    put("IMGSHAPE", "27, 41, 3");
    put("DTYPE", wide ? "'<u2'" : "np.uint8");
    put("WIDE", wide ? "True" : "False");
    const std::string want = numpy_oracle::Run(s, {numpy_oracle::Pixels(ref.get()), numpy_oracle::Pixels(img.get())});
    VXMatchHistogram(ref.get(), img.get());
    EXPECT_EQ(numpy_oracle::Pixels(img.get()), want) << fmt;
  }
}

TEST(MatchHistogram, AgainstItselfMovesOnlyByTheTruncationsAndADarkerReferenceDarkens) {
  auto b = procfixture::Photo(64, 48);
  TVXBitmap orig(b.get());
  VXMatchHistogram(b.get(), b.get());
  // Each channel's cumulative map r: a level v goes to the level j whose
  // r[j] lies nearest to Trunc(r[v]), so |r[j] - r[v]| stays below 2.
  for (int c = 0; c < 3; ++c) {
    double cum[256] = {};
    for (int32_t y = 0; y < 48; ++y)
      for (int32_t x = 0; x < 64; ++x) cum[static_cast<const uint8_t*>(orig.ScanLine(y))[3 * x + c]] += 1;
    for (int i = 1; i < 256; ++i) cum[i] += cum[i - 1];
    for (int32_t y = 0; y < 48; ++y)
      for (int32_t x = 0; x < 64; ++x) {
        const int v = static_cast<const uint8_t*>(orig.ScanLine(y))[3 * x + c];
        const int j = static_cast<const uint8_t*>(b->ScanLine(y))[3 * x + c];
        ASSERT_LT(std::fabs(cum[j] - cum[v]) * 255 / (64 * 48), 2.0) << v << " -> " << j;
      }
  }
  // A darker reference: the mean of every channel drops.
  auto img = procfixture::Photo(64, 48);
  auto darker = procfixture::Photo(64, 48);
  for (int32_t y = 0; y < 48; ++y) {
    uint8_t* p = static_cast<uint8_t*>(darker->ScanLine(y));
    for (int32_t i = 0; i < 3 * 64; ++i) p[i] = uint8_t(p[i] / 2);
  }
  TVXBitmap before(img.get());
  VXMatchHistogram(darker.get(), img.get());
  for (int c = 0; c < 3; ++c) {
    double s0 = 0, s1 = 0;
    for (int32_t y = 0; y < 48; ++y)
      for (int32_t x = 0; x < 64; ++x) {
        s0 += static_cast<const uint8_t*>(before.ScanLine(y))[3 * x + c];
        s1 += static_cast<const uint8_t*>(img->ScanLine(y))[3 * x + c];
      }
    EXPECT_LT(s1, s0 * 0.6) << "channel " << c;
  }
  // A reference of another format, or an empty one, changes nothing.
  auto grey = std::make_unique<TVXBitmap>(8, 8, vx8g);
  TVXBitmap empty;
  const std::string kept = numpy_oracle::Pixels(img.get());
  VXMatchHistogram(grey.get(), img.get());
  VXMatchHistogram(&empty, img.get());
  EXPECT_EQ(numpy_oracle::Pixels(img.get()), kept);
}

// ---------------------------------------------------------------------------
// Region casts

// Blocks of a few colours with small noise, so that tolerance decides.
std::unique_ptr<TVXBitmap> Patches(int32_t w, int32_t h, uint32_t seed) {
  static const TRGB base[] = {{40, 80, 120}, {44, 84, 118}, {200, 30, 60}, {90, 90, 90}, {60, 200, 180}};
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  std::mt19937 rng(seed);
  std::vector<int> cell(size_t((w / 4 + 1) * (h / 4 + 1)));
  for (int& c : cell) c = int(rng() % 5);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      TRGB p = base[cell[size_t((y / 4) * (w / 4 + 1) + x / 4)]];
      const int n = int(rng() % 7);
      p.b = uint8_t(p.b + n), p.g = uint8_t(p.g + n / 2), p.r = uint8_t(p.r + (6 - n));
      b->SetPixels_vx24RGB(x, y, p);
    }
  return b;
}

TEST(CastColor, RegionEqualsOpenCVFixedRangeFloodFill) {
  if (!numpy_oracle::Available() || !OpenCVAvailable())
    GTEST_SKIP() << "/usr/bin/python3 with numpy and OpenCV (Debian python3-numpy, python3-opencv) is not installed";
  struct Seed {
    int32_t x, y, tol;
  } seeds[] = {{0, 0, 0}, {5, 7, 3}, {20, 10, 6}, {33, 29, 10}, {17, 3, 40}, {39, 0, 300}, {12, 22, 8}};
  auto src = Patches(40, 30, 77);
  const std::string in = numpy_oracle::Pixels(src.get());
  std::string list;
  for (const Seed& s : seeds)
    list += "(" + std::to_string(s.x) + "," + std::to_string(s.y) + "," + std::to_string(s.tol) + "),";
  const std::string want = numpy_oracle::Run(
      "import cv2\n"
      "a = load(0, np.uint8, (30, 40, 3))\n"
      "out = []\n"
      "for x, y, t in [" + list + "]:\n"
      "    m = np.zeros((32, 42), np.uint8)\n"
      "    t = min(t, 255)\n"
      "    cv2.floodFill(a.copy(), m, (x, y), (0, 0, 0), (t, t, t), (t, t, t),\n"
      "                  4 | cv2.FLOODFILL_FIXED_RANGE | cv2.FLOODFILL_MASK_ONLY | (1 << 8))\n"
      "    out.append(m[1:-1, 1:-1])\n"
      "save(np.concatenate(out))",
      {in});
  ASSERT_EQ(want.size(), sizeof seeds / sizeof seeds[0] * 1200);
  for (size_t k = 0; k < sizeof seeds / sizeof seeds[0]; ++k) {
    const Seed& s = seeds[k];
    // CastColor with a colour the picture does not hold.
    auto b = std::make_unique<TVXBitmap>(src.get());
    std::vector<int32_t> progress;
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    proc->OnProgress = [&](void*, int32_t p) { progress.push_back(p); };
    proc->CastColor(s.x, s.y, TRGB{1, 2, 3}, s.tol);
    // CastAlpha on another copy.
    auto a = std::make_unique<TVXBitmap>(src.get());
    TVexlaneProc::CreateFromBitmap(a.get())->CastAlpha(s.x, s.y, 0, s.tol);
    int region = 0;
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        const bool inRegion = want[size_t(k) * 1200 + size_t(y) * 40 + size_t(x)] != 0;
        region += inRegion;
        ASSERT_EQ(b->Pixels_vx24RGB(x, y) == (TRGB{1, 2, 3}), inRegion) << k << ": " << x << "," << y;
        if (!inRegion) {
          ASSERT_EQ(b->Pixels_vx24RGB(x, y), src->Pixels_vx24RGB(x, y));
        }
        ASSERT_EQ(a->Alpha(x, y), inRegion ? 0 : 255) << k << ": " << x << "," << y;
        ASSERT_EQ(a->Pixels_vx24RGB(x, y), src->Pixels_vx24RGB(x, y));
      }
    EXPECT_GT(region, 0);
    EXPECT_FALSE(a->AlphaChannel()->Full());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_LE(*std::max_element(progress.begin(), progress.end()), 100) << "seed " << k;
  }
}

TEST(CastAlpha, EndsWithTheFullMarkRecomputed) {
  auto b = Uniform(10, 8, TRGB{5, 6, 7});
  for (int32_t x = 0; x < 10; ++x) b->SetPixels_vx24RGB(x, 4, TRGB{100, 100, 100});
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  proc->CastAlpha(3, 4, 0, 0);  // the stripe becomes transparent
  EXPECT_FALSE(b->AlphaChannel()->Full());
  EXPECT_EQ(b->Alpha(9, 4), 0);
  EXPECT_EQ(b->Alpha(9, 5), 255);
  proc->CastAlpha(0, 4, 255, 0);  // and opaque again: the channel is full
  EXPECT_TRUE(b->AlphaChannel()->Full());
  proc->CastAlpha(0, 0, 300, 0);  // alpha values clamp
  EXPECT_EQ(b->Alpha(0, 0), 255);
}

// ---------------------------------------------------------------------------
// Colorize

TEST(Colorize, WhiteBecomesTheHueAtFullValueAndAPaletteImageKeepsItsPixels) {
  const struct {
    int32_t hue, sat;
    TRGB want;
  } cases[] = {{0, 99, {0, 0, 255}}, {120, 99, {0, 255, 0}}, {240, 99, {255, 0, 0}}, {60, 0, {255, 255, 255}}};
  for (const auto& c : cases) {
    auto b = Uniform(3, 3, TRGB{255, 255, 255});
    TVexlaneProc::CreateFromBitmap(b.get())->Colorize(c.hue, c.sat, 1);
    EXPECT_EQ(b->Pixels_vx24RGB(1, 1), c.want) << c.hue;
    EXPECT_EQ(c.want, VXHSVToRGB(c.hue, c.sat, 99));
  }
  // A grey level of 50 at luminosity 1.5 gives value 75; black stays black.
  auto g = Uniform(2, 1, TRGB{128, 128, 128});
  g->SetPixels_vx24RGB(1, 0, TRGB{0, 0, 0});
  TVexlaneProc::CreateFromBitmap(g.get())->Colorize(200, 50, 1.5);
  EXPECT_EQ(g->Pixels_vx24RGB(0, 0), VXHSVToRGB(200, 50, 75));
  EXPECT_EQ(g->Pixels_vx24RGB(1, 0), (TRGB{0, 0, 0}));
  // vx8p: the palette changes, the indices not.
  auto p = std::make_unique<TVXBitmap>(16, 16, vx8p);
  for (int32_t i = 0; i < 256; ++i) {
    p->SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    p->SetPixels_vx8(i % 16, i / 16, uint8_t(255 - i));
  }
  TVexlaneProc::CreateFromBitmap(p.get())->Colorize(30, 80, 1);
  ASSERT_EQ(p->PixelFormat(), vx8p);
  for (int32_t i = 0; i < 256; ++i) {
    ASSERT_EQ(p->Pixels_vx8(i % 16, i / 16), 255 - i);
    ASSERT_EQ(p->Palette(i), VXColorizeColor(TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)}, 30, 80, 1));
  }
}

TEST(ColourOperations, ChangeOnlyTheSelectionAndUndoRestores) {
  const std::function<void(TVexlaneProc&)> ops[] = {
      [](TVexlaneProc& p) { p.GammaCorrect(2.2, TVXChannels{vxcRed, vxcGreen, vxcBlue}); },
      [](TVexlaneProc& p) { p.WhiteBalance_coef(1.5, 0.7, 1.2); },
      [](TVexlaneProc& p) { p.WhiteBalance_GrayWorld(); },
      [](TVexlaneProc& p) { p.WhiteBalance_WhiteAt(3, 3); },
      [](TVexlaneProc& p) { p.AdjustGainOffset(); },
      [](TVexlaneProc& p) { p.Colorize(90, 60, 1.2); },
      [](TVexlaneProc& p) { p.CastColor(8, 6, TRGB{1, 2, 3}, 250); },
  };
  for (const auto& op : ops) ExpectSelectionOnlyAndUndo(op, 21, 50);
}

// ---------------------------------------------------------------------------
// Chroma key

// A photo-like picture over a uniform backdrop of Key, the picture covering
// the middle (20 .. 80 %) of the image.
std::unique_ptr<TVXBitmap> Composite(int32_t w, int32_t h, TRGB Key) {
  auto photo = procfixture::Photo(w, h);
  auto b = Uniform(w, h, Key);
  for (int32_t y = h / 5; y < h * 4 / 5; ++y)
    for (int32_t x = w / 5; x < w * 4 / 5; ++x) b->SetPixels_vx24RGB(x, y, photo->Pixels_vx24RGB(x, y));
  return b;
}

TEST(ChromaKey, GuessesTheBackdropAndRemovesExactlyThePixelsNumpyFindsWithinTolerance) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(2024);
  for (int round = 0; round < 5; ++round) {
    const TRGB key{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    auto b = Composite(90, 70, key);
    const std::string in = numpy_oracle::Pixels(b.get());
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    const TRGB guessed = proc->GuessChromaKeyColor();
    EXPECT_LE(std::abs(guessed.r - key.r), 2);
    EXPECT_LE(std::abs(guessed.g - key.g), 2);
    EXPECT_LE(std::abs(guessed.b - key.b), 2);
    const double tol = 0.05 + 0.1 * round;
    proc->RemoveChromaKey(-1, -1, tol, 0, 0, 0, false);
    const std::string want = numpy_oracle::Run(
        "a = load(0, np.uint8, (70, 90, 3)).astype(np.float64)\n"
        "B, G, R = a[:, :, 0], a[:, :, 1], a[:, :, 2]\n"
        "def chroma(R, G, B):\n"
        "    return (-0.000661725490196 * R - 0.00129905882353 * G + 0.00196078431373 * B + 0.5,\n"
        "            0.00196078431373 * R - 0.00164192156863 * G - 0.000318862745098 * B + 0.5)\n"
        "cb, cr = chroma(R, G, B)\n"
        "kb, kr = chroma(" + std::to_string(guessed.r) + ".0, " + std::to_string(guessed.g) + ".0, " +
            std::to_string(guessed.b) + ".0)\n"
            "db = cb - kb; dr = cr - kr\n"
            "dist = np.sqrt(db * db / 2 + dr * dr / 2)\n"
            "save((dist <= " + Num(tol) + " / 3).astype(np.uint8))",
        {in});
    ASSERT_EQ(want.size(), size_t(90 * 70));
    int removed = 0;
    for (int32_t y = 0; y < 70; ++y)
      for (int32_t x = 0; x < 90; ++x) {
        const bool gone = want[size_t(y) * 90 + size_t(x)] != 0;
        removed += gone;
        const uint8_t* o = reinterpret_cast<const uint8_t*>(in.data()) + (size_t(y) * 90 + size_t(x)) * 3;
        ASSERT_EQ(b->Alpha(x, y), gone ? 0 : 255) << round << ": " << x << "," << y;
        const TRGB expected = gone ? TRGB{0, 0, 0} : TRGB{o[0], o[1], o[2]};
        ASSERT_EQ(b->Pixels_vx24RGB(x, y), expected);
      }
    EXPECT_GE(removed, 90 * 70 - 54 * 42);  // at least the backdrop
  }
}

TEST(ChromaKey, HueReductionDesaturatesTheKeyHueAndNeverTouchesHuesHalfACircleAway) {
  const TRGB key{0, 255, 0};  // hue 120
  auto src = procfixture::Noise(64, 64, vx24RGB, 5);
  // Pixels of exactly the key's hue at many saturations and values.
  for (int32_t s = 0; s < 64; ++s) src->SetPixels_vx24RGB(s, 0, VXHSVToRGB(120, 30 + s, 40 + s / 2));
  for (int32_t hr = 0; hr <= 5; ++hr) {
    auto b = std::make_unique<TVXBitmap>(src.get());
    TVexlaneProc::CreateFromBitmap(b.get())->RemoveChromaKey(key, 0.02, 0, 0, hr, false);
    int keyHue = 0;
    for (int32_t y = 0; y < 64; ++y)
      for (int32_t x = 0; x < 64; ++x) {
        if (b->Alpha(x, y) == 0) continue;
        const TRGB o = src->Pixels_vx24RGB(x, y), p = b->Pixels_vx24RGB(x, y);
        int32_t h, s, v;
        VXRGBToHSV(o, h, s, v);
        if (hr == 0 || std::abs(h - 120) >= 180) {
          ASSERT_EQ(p, o) << "reduction " << hr << " hue " << h;
        } else if (h == 120) {
          int32_t h2, s2, v2;
          VXRGBToHSV(p, h2, s2, v2);
          ASSERT_EQ(s2, 0) << "reduction " << hr;
          ASSERT_EQ(p, VXHSVToRGB(120, 0, v));
          ++keyHue;
        }
      }
    if (hr > 0) {
      EXPECT_GE(keyHue, 50);
    }
  }
}

TEST(ChromaKey, AlphaIsBinaryWithoutFeatheringAndCleaningTouchesOnlyAlpha) {
  auto src = Composite(80, 60, TRGB{30, 190, 40});
  // Specks of the key inside the picture and of the picture on the backdrop.
  std::mt19937 rng(3);
  for (int i = 0; i < 60; ++i) {
    src->SetPixels_vx24RGB(20 + int32_t(rng() % 40), 15 + int32_t(rng() % 30), TRGB{30, 190, 40});
    src->SetPixels_vx24RGB(int32_t(rng() % 80), int32_t(rng() % 8), TRGB{200, 10, 220});
  }
  auto plain = std::make_unique<TVXBitmap>(src.get());
  TVexlaneProc::CreateFromBitmap(plain.get())->RemoveChromaKey(TRGB{30, 190, 40}, 0.1, 10, 0, 0, false);
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 80; ++x) ASSERT_TRUE(plain->Alpha(x, y) == 0 || plain->Alpha(x, y) == 255);
  EXPECT_FALSE(plain->AlphaChannel()->Full());
  struct Case {
    bool noise;
    int32_t feather;
  } cases[] = {{true, 0}, {false, 4}, {true, 3}};
  for (const Case& c : cases) {
    auto b = std::make_unique<TVXBitmap>(src.get());
    TVexlaneProc::CreateFromBitmap(b.get())->RemoveChromaKey(TRGB{30, 190, 40}, 0.1, 10, c.feather, 0, c.noise);
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), numpy_oracle::Pixels(plain.get())) << c.noise << " " << c.feather;
    EXPECT_NE(Alpha(b.get()), Alpha(plain.get())) << c.noise << " " << c.feather;
    bool partial = false;
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 0; x < 80; ++x) partial |= b->Alpha(x, y) != 0 && b->Alpha(x, y) != 255;
    EXPECT_EQ(partial, c.feather > 0);
  }
}

TEST(ChromaKey, SaturationThresholdAndWhiteKey) {
  // Light, unsaturated pixels near white and saturated ones.
  auto b = Uniform(4, 1, TRGB{255, 255, 255});
  b->SetPixels_vx24RGB(1, 0, TRGB{250, 252, 251});
  b->SetPixels_vx24RGB(2, 0, TRGB{0, 0, 255});
  b->SetPixels_vx24RGB(3, 0, TRGB{0, 0, 0});  // black: same chroma as white
  TVexlaneProc::CreateFromBitmap(b.get())->RemoveChromaKey(TRGB{255, 255, 255}, 0.05, 99, 0, 0, false);
  EXPECT_EQ(b->Alpha(0, 0), 0);
  EXPECT_EQ(b->Alpha(1, 0), 0);
  EXPECT_EQ(b->Alpha(2, 0), 255);
  EXPECT_EQ(b->Alpha(3, 0), 0);
  // A saturated key: Saturation above 99 removes nothing, even the key.
  auto g = Uniform(3, 3, TRGB{0, 255, 0});
  TVexlaneProc::CreateFromBitmap(g.get())->RemoveChromaKey(TRGB{0, 255, 0}, 0.5, 100, 0, 0, false);
  EXPECT_EQ(g->Alpha(1, 1), 255);
  TVexlaneProc::CreateFromBitmap(g.get())->RemoveChromaKey(TRGB{0, 255, 0}, 0, 99, 0, 0, false);
  EXPECT_EQ(g->Alpha(1, 1), 0);
  EXPECT_EQ(g->Pixels_vx24RGB(1, 1), (TRGB{0, 0, 0}));
}

TEST(ChromaKey, OneBitImagesAreKeyedInColourAndKeepTheirFormat) {
  auto b = std::make_unique<TVXBitmap>(21, 5, vx1g);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 21; ++x) b->SetPixels_vx1g(x, y, (x * 7 + y) % 3 == 0);
  TVXBitmap orig(b.get());
  TVexlaneProc::CreateFromBitmap(b.get())->RemoveChromaKey(TRGB{255, 255, 255}, 0.01, 0, 0, 3, false);
  ASSERT_EQ(b->PixelFormat(), vx1g);
  ASSERT_TRUE(b->HasAlphaChannel());
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 21; ++x) {
      const bool white = orig.Pixels_vx1g(x, y);
      // White (the key) and black (its chroma too) are keyed out and black.
      EXPECT_EQ(b->Alpha(x, y), 0);
      EXPECT_FALSE(b->Pixels_vx1g(x, y)) << white;
    }
  // A coloured key leaves every pixel, marks it opaque.
  TVXBitmap again(&orig);
  TVexlaneProc::CreateFromBitmap(&again)->RemoveChromaKey(TRGB{0, 0, 255}, 0.1, 0, 0, 0, false);
  ASSERT_EQ(again.PixelFormat(), vx1g);
  EXPECT_EQ(numpy_oracle::Pixels(&again), numpy_oracle::Pixels(&orig));
  EXPECT_EQ(again.Alpha(3, 0), 255);
  // Keying by a pixel of the 1-bit image, and guessing on it.
  TVXBitmap third(&orig);
  auto p3 = TVexlaneProc::CreateFromBitmap(&third);
  const TRGB guess = p3->GuessChromaKeyColor();  // a grey mean of black and white samples
  EXPECT_TRUE(guess.r == guess.g && guess.g == guess.b);
  p3->RemoveChromaKey(1, 0, 0.01, 0, 0, 0, false);  // a black pixel: both colours have its chroma
  EXPECT_EQ(third.Alpha(0, 0), 0);
}

TEST(ChromaKey, GuessOnSmallImagesSamplesOnlyPixelsThatExist) {
  // A uniform image of every size up to 12 x 12: each of the five regions
  // keeps at least one pixel inside the image, so the guess is the colour
  // (an empty region would win with black).
  const TRGB c{90, 140, 210};
  for (int32_t w = 1; w <= 12; ++w)
    for (int32_t h = 1; h <= 12; ++h) {
      auto b = Uniform(w, h, c);
      TRGB got;
      VXGuessChromaKeyColor(b.get(), got);
      ASSERT_EQ(got, c) << w << " x " << h;
    }
  TVXBitmap empty;
  TRGB none{1, 1, 1};
  VXGuessChromaKeyColor(&empty, none);
  EXPECT_EQ(none, (TRGB{0, 0, 0}));
  // The most uniform region wins: here the top-right corner.
  auto b = procfixture::Noise(100, 100, vx24RGB, 4);
  for (int32_t y = 0; y < 15; ++y)
    for (int32_t x = 85; x < 100; ++x) b->SetPixels_vx24RGB(x, y, TRGB{10, 220, 30});
  TRGB got;
  VXGuessChromaKeyColor(b.get(), got);
  EXPECT_EQ(got, (TRGB{10, 220, 30}));
}

// ---------------------------------------------------------------------------
// Transparent colours and the dominant colour

TEST(SetTransparentColors, EqualsNumpysBoxTestAndAnInvertedBoxChangesNothing) {
  auto src = RandomRange(50, 40, 0, 255, 17);
  // An inverted box in one channel: nothing changes, no alpha appears.
  {
    auto b = std::make_unique<TVXBitmap>(src.get());
    TVexlaneProc::CreateFromBitmap(b.get())->SetTransparentColors(TRGB{0, 200, 0}, TRGB{255, 100, 255}, 0);
    EXPECT_FALSE(b->HasAlphaChannel());
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), numpy_oracle::Pixels(src.get()));
  }
  SKIP_WITHOUT_NUMPY();
  const struct {
    TRGB lo, hi;
    int32_t alpha;
  } cases[] = {{{0, 0, 0}, {128, 128, 128}, 0}, {{50, 60, 70}, {200, 190, 180}, 77}, {{10, 10, 10}, {10, 255, 255}, 300}};
  for (const auto& c : cases) {
    auto b = std::make_unique<TVXBitmap>(src.get());
    TVexlaneProc::CreateFromBitmap(b.get())->SetTransparentColors(c.lo, c.hi, c.alpha);
    const std::string want = numpy_oracle::Run(
        "a = load(0, np.uint8, (40, 50, 3)).astype(np.int64)\n"
        "lo = np.array([" + std::to_string(c.lo.b) + "," + std::to_string(c.lo.g) + "," + std::to_string(c.lo.r) +
            "]); hi = np.array([" + std::to_string(c.hi.b) + "," + std::to_string(c.hi.g) + "," +
            std::to_string(c.hi.r) + "])\n"
            "inside = np.all((a >= lo) & (a <= hi), axis=2)\n"
            "save(np.where(inside, " + std::to_string(std::clamp(c.alpha, 0, 255)) + ", 255).astype(np.uint8))",
        {numpy_oracle::Pixels(src.get())});
    EXPECT_EQ(Alpha(b.get()), want) << c.alpha;
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), numpy_oracle::Pixels(src.get()));
    EXPECT_EQ(b->AlphaChannel()->Full(), want.find_first_not_of('\xff') == std::string::npos);
  }
}

TEST(SetTransparentColors, OneBitImagesChooseWhiteOrBlackByTheMinimumsRed) {
  for (bool white : {true, false}) {
    auto b = std::make_unique<TVXBitmap>(13, 3, vx1g);
    for (int32_t x = 0; x < 13; ++x) b->SetPixels_vx1g(x, 1, x % 2 == 0);
    TVexlaneProc::CreateFromBitmap(b.get())->SetTransparentColors(white ? TRGB{0, 0, 1} : TRGB{255, 255, 0},
                                                                  TRGB{0, 0, 0}, 10);
    ASSERT_EQ(b->PixelFormat(), vx1g);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 13; ++x) ASSERT_EQ(b->Alpha(x, y), b->Pixels_vx1g(x, y) == white ? 10 : 255);
  }
}

TEST(GetDominantColor, OneColourTwoPixelsAndRandomImagesAgainstNumpy) {
  auto one = Uniform(7, 5, TRGB{3, 99, 201});
  TRGB c{};
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(one.get())->GetDominantColor(c), 100);
  EXPECT_EQ(c, (TRGB{3, 99, 201}));
  auto bw = std::make_unique<TVXBitmap>(2, 1, vx1g);
  bw->SetPixels_vx1g(0, 0, false);
  bw->SetPixels_vx1g(1, 0, true);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(bw.get())->GetDominantColor(c), 50);
  EXPECT_EQ(c, (TRGB{255, 255, 255}));
  bw->SetPixels_vx1g(1, 0, false);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(bw.get())->GetDominantColor(c), 100);
  EXPECT_EQ(c, (TRGB{0, 0, 0}));
  // Another format: -1, Color untouched.
  auto grey = std::make_unique<TVXBitmap>(4, 4, vx8g);
  c = TRGB{1, 2, 3};
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(grey.get())->GetDominantColor(c), -1);
  EXPECT_EQ(c, (TRGB{1, 2, 3}));

  SKIP_WITHOUT_NUMPY();
  for (uint32_t seed : {1u, 2u, 3u}) {
    // Few colours so that counts tie, spread over many hash slots.
    auto b = std::make_unique<TVXBitmap>(61, 43, vx24RGB);
    std::mt19937 rng(seed);
    for (int32_t y = 0; y < 43; ++y)
      for (int32_t x = 0; x < 61; ++x) {
        const uint32_t k = rng() % 40;
        b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(k * 37), uint8_t(k * 11 % 7), uint8_t(k < 20 ? k : 255 - k)});
      }
    const double share = TVexlaneProc::CreateFromBitmap(b.get())->GetDominantColor(c);
    const std::string want = numpy_oracle::Run(
        "a = load(0, np.uint8, (43, 61, 3)).astype(np.int64)\n"
        "k = (a[:, :, 2] << 16 | a[:, :, 1] << 8 | a[:, :, 0]).ravel()\n"
        "u, n = np.unique(k, return_counts=True)\n"
        "best = n.max()\n"
        "save(np.concatenate([[best / k.size * 100], u[n == best].astype(np.float64)]))",
        {numpy_oracle::Pixels(b.get())});
    ASSERT_GE(want.size(), 16u);
    std::vector<double> v(want.size() / 8);
    std::memcpy(v.data(), want.data(), want.size());
    EXPECT_EQ(share, v[0]);
    const double key = double(VXPackRGB(c));
    EXPECT_NE(std::find(v.begin() + 1, v.end(), key), v.end()) << "seed " << seed;
  }
}

}  // namespace
