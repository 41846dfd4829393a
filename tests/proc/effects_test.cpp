// Reflection, motion blur, noise fill, spectrum zone clearing and the 3x3
// filter text: references written from the algorithms, statistics of the
// noise, selections and undo.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/effects.h"
#include "proc/filters.h"
#include "proc/ftimage.h"
#include "proc/proc.h"
#include "selection_check.h"

namespace {

using procfixture::Noise;
using procfixture::Photo;

// ---- reflection ----

TEST(Effects, Reflection) {
  struct Case {
    int32_t minAlpha, maxAlpha, percentage;
    bool withAlpha;
  };
  const int32_t W = 7, H = 6;
  for (const Case c : {Case{0, 255, 100, false}, Case{0, 255, 100, true}, Case{20, 200, 50, true},
                       Case{-30, 255, 50, false}, Case{300, 400, 100, false}, Case{0, 255, 0, true}}) {
    SCOPED_TRACE(std::to_string(c.minAlpha) + " " + std::to_string(c.maxAlpha) + " " + std::to_string(c.percentage));
    auto src = Noise(W, H, vx24RGB, 5);
    if (c.withAlpha) {
      TVXBitmap* a = src->AlphaChannel();
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) a->SetPixels_vx8(x, y, uint8_t(40 * x + y));
      a->SetFull(false);
    }
    TVXBitmap img(src.get());
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetAttachedVXBitmap(&img);
    std::vector<int32_t> progress;
    proc.OnProgress = [&](void*, int32_t p) { progress.push_back(p); };
    proc.Reflection(c.minAlpha, c.maxAlpha, c.percentage);
    ASSERT_EQ(img.Width(), W);
    ASSERT_EQ(img.Height(), 2 * H);
    EXPECT_FALSE(img.AlphaChannel()->Full());
    for (int32_t r = 0; r < H; ++r)
      for (int32_t x = 0; x < W; ++x) {
        EXPECT_EQ(img.Pixels_vx24RGB(x, r), src->Pixels_vx24RGB(x, r));
        EXPECT_EQ(img.Pixels_vx24RGB(x, 2 * H - 1 - r), src->Pixels_vx24RGB(x, r));
        const int32_t a = c.withAlpha ? src->AlphaChannel()->Pixels_vx8(x, r) : 255;
        EXPECT_EQ(img.Alpha(x, r), a);
        const double f = double(r) / H;
        const int32_t want = std::max(
            c.minAlpha, std::min(c.maxAlpha, std::min(a, int32_t((f - (100 - c.percentage) / 100.0) * a))));
        EXPECT_EQ(img.Alpha(x, 2 * H - 1 - r), std::clamp(want, 0, 255)) << x << "," << r;
      }
    EXPECT_EQ(progress, (std::vector<int32_t>{0, 16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(proc.GetUndoCaptions(0), "Reflection " + std::to_string(c.minAlpha) + ", " +
                                           std::to_string(c.maxAlpha) + ", " + std::to_string(c.percentage));
    proc.Undo(false);
    EXPECT_EQ(img.Height(), H);
  }
  // (0, 255, 100): nearly full next to the picture, 0 at the bottom.
  TVXBitmap img(4, 10, vx24RGB);
  auto proc = TVexlaneProc::CreateFromBitmap(&img);
  proc->Reflection(0, 255, 100);
  EXPECT_EQ(img.Alpha(0, 10), 229);
  EXPECT_EQ(img.Alpha(0, 19), 0);
}

// ---- motion blur ----

// The blur as the algorithm reads, one pixel and tap at a time.
void RefMotionBlur(TVXBitmap* b, int32_t radius, int32_t sigma, double angle) {
  if (sigma < 1) return;
  const int32_t n = std::max(2 * radius + 1, 3);
  std::vector<double> w(static_cast<size_t>(n));
  double total = 0;
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t s = 0; s < 3; ++s)
      w[size_t(j)] += std::exp(-double((3 * j + s) * (3 * j + s)) / (18.0 * sigma * sigma)) /
                      (sigma * std::sqrt(2 * M_PI));
    total += w[size_t(j)];
  }
  for (double& v : w) v /= total;
  const double theta = angle * M_PI / 180;
  const double t = std::nearbyint(std::sin(theta) * n), u = std::nearbyint(std::cos(theta) * n);
  const double dx = u / std::sqrt(u * u + t * t), dy = t / std::sqrt(u * u + t * t);
  TVXBitmap src(b);
  const int32_t W = b->Width(), H = b->Height(), C = b->PixelFormat() == vx8g ? 1 : 3;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      for (int32_t c = 0; c < C; ++c) {
        double sum = 0, wsum = 0;
        for (int32_t j = 0; j < n; ++j) {
          const int32_t sx = int32_t(std::clamp(std::nearbyint(x + j * dx), 0.0, double(W - 1)));
          const int32_t sy = int32_t(std::clamp(std::nearbyint(y + j * dy), 0.0, double(H - 1)));
          sum += w[size_t(j)] * static_cast<uint8_t*>(src.ScanLine(sy))[C * sx + c];
          wsum += w[size_t(j)];
        }
        const double v = std::fabs(wsum) <= 0.000001 ? sum : sum / wsum;
        static_cast<uint8_t*>(b->ScanLine(y))[C * x + c] = uint8_t(std::clamp(int64_t(v), int64_t(0), int64_t(255)));
      }
}

TEST(Effects, MotionBlurMatchesTheReference) {
  struct Case {
    double angle;
    int32_t radius, sigma;
  };
  int64_t total = 0, equal = 0;
  for (TVXPixelFormat fmt : {vx24RGB, vx8g}) {
    for (const Case c : {Case{0, 3, 2}, Case{30, 2, 1}, Case{90, 4, 3}, Case{135, 0, 1}, Case{200, 5, 2},
                         Case{-45, 3, 5}, Case{12.5, 6, 2}}) {
      auto img = Photo(40, 30);
      img->SetPixelFormat(fmt);
      TVXBitmap ours(img.get()), ref(img.get());
      VXDoMotionBlur(&ours, c.radius, c.sigma, c.angle, nullptr, nullptr);
      RefMotionBlur(&ref, c.radius, c.sigma, c.angle);
      const std::string a = numpy_oracle::Pixels(&ours), b = numpy_oracle::Pixels(&ref);
      ASSERT_EQ(a.size(), b.size());
      for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_LE(std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i]))), 1) << c.angle << " byte " << i;
        equal += a[i] == b[i];
      }
      total += int64_t(a.size());
    }
  }
  EXPECT_GE(double(equal), 0.99 * double(total));
}

// Columns (or rows) whose pixels are not black after blurring a black vx8g
// image with one white column at 10 (or row at 10).
std::vector<int32_t> Lit(double angle, int32_t radius, int32_t sigma, bool rows) {
  TVXBitmap img(24, 24, vx8g);
  img.Fill(0);
  for (int32_t i = 0; i < 24; ++i) img.SetPixels_vx8(rows ? i : 10, rows ? 10 : i, 255);
  auto proc = TVexlaneProc::CreateFromBitmap(&img);
  proc->MotionBlur(angle, radius, sigma);
  std::vector<int32_t> out;
  for (int32_t i = 0; i < 24; ++i)
    if (img.Pixels_vx8(rows ? 12 : i, rows ? i : 12) != 0) out.push_back(i);
  return out;
}

TEST(Effects, MotionBlurDirectionAndTaps) {
  // Angle 0 reads from the pixel rightward, so the light spreads left of the
  // column; 90 reads downward, spreading above the row.
  EXPECT_EQ(Lit(0, 2, 5, false), (std::vector<int32_t>{6, 7, 8, 9, 10}));
  EXPECT_EQ(Lit(90, 2, 5, true), (std::vector<int32_t>{6, 7, 8, 9, 10}));
  EXPECT_EQ(Lit(180, 2, 5, false), (std::vector<int32_t>{10, 11, 12, 13, 14}));
  // Radius 0 still has three taps.
  EXPECT_EQ(Lit(0, 0, 5, false), (std::vector<int32_t>{8, 9, 10}));
  // Sigma below 1 or an angle that is no number changes nothing.
  EXPECT_EQ(Lit(0, 3, 0, false), (std::vector<int32_t>{10}));
  EXPECT_EQ(Lit(std::nan(""), 3, 2, false), (std::vector<int32_t>{10}));

  // The alpha channel is blurred as a grey image.
  auto img = Photo(20, 16);
  TVXBitmap* alpha = img->AlphaChannel();
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 20; ++x) alpha->SetPixels_vx8(x, y, uint8_t((x * 53 + y * 31) % 256));
  alpha->SetFull(false);
  TVXBitmap alphaRef(alpha), alphaBefore(alpha);
  VXDoMotionBlur(img.get(), 3, 2, 60, nullptr, nullptr);
  VXDoMotionBlur(&alphaRef, 3, 2, 60, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(img->AlphaChannel()), numpy_oracle::Pixels(&alphaRef));
  EXPECT_NE(numpy_oracle::Pixels(img->AlphaChannel()), numpy_oracle::Pixels(&alphaBefore));

  // One row: progress stays within 0 .. 100.
  TVXBitmap line(30, 1, vx24RGB);
  std::vector<int32_t> progress;
  VXDoMotionBlur(&line, 2, 2, 0, nullptr, [&](void*, int32_t p) { progress.push_back(p); });
  EXPECT_EQ(progress, (std::vector<int32_t>{100}));

  TVXBitmap rgb(8, 8, vx24RGB);
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&rgb);
  proc.MotionBlur(45, 3, 2);
  EXPECT_EQ(proc.GetUndoCaptions(0), "MotionBlur 45.00, 3, 2");
}

// ---- noise ----

TEST(Effects, RandomFill) {
  // Without deviation every pixel is the mean: 0.5 x 255 rounds to even.
  struct Case {
    TVXPixelFormat fmt;
    uint8_t want;
  };
  for (const Case c : {Case{vx8g, 128}, Case{vx24RGB, 128}, Case{vx1g, 0}}) {
    TVXBitmap img(21, 5, c.fmt);
    img.Fill(c.fmt == vx1g ? 1 : 0);
    if (c.fmt == vx1g) {
      ASSERT_TRUE(img.Pixels_vx1g(20, 4));
    }
    auto proc = TVexlaneProc::CreateFromBitmap(&img);
    proc->Random(0.5, 0);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 21; ++x) {
        const int got = c.fmt == vx1g ? img.Pixels_vx1g(x, y) : c.fmt == vx8g ? img.Pixels_vx8(x, y) : img.Pixels_vx24RGB(x, y).g;
        ASSERT_EQ(got, c.want) << c.fmt << " " << x << "," << y;
        if (c.fmt == vx24RGB) {
          ASSERT_TRUE(img.Pixels_vx24RGB(x, y) == (TRGB{128, 128, 128}));
        }
      }
  }
  // Mean and deviation of the noise.
  TVXBitmap img(1000, 1000, vx8g);
  auto proc = TVexlaneProc::CreateFromBitmap(&img);
  proc->Random(0.5, 0.1);
  double sum = 0, sq = 0;
  for (int32_t y = 0; y < 1000; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(img.ScanLine(y));
    for (int32_t x = 0; x < 1000; ++x) sum += row[x], sq += double(row[x]) * row[x];
  }
  const double mean = sum / 1e6, sd = std::sqrt(sq / 1e6 - mean * mean);
  EXPECT_NEAR(mean, 127.5, 1.0);
  EXPECT_NEAR(sd, 25.5, 1.0);
  // 1 bit: the share of set bits is the share of g above 0.5 (mean 0.6,
  // deviation 0.1: 84 %).
  TVXBitmap bits(400, 400, vx1g);
  VXDoRandomFill(&bits, 0, 0, 400, 400, 0.6, 0.1);
  int64_t set = 0;
  for (int32_t y = 0; y < 400; ++y)
    for (int32_t x = 0; x < 400; ++x) set += bits.Pixels_vx1g(x, y);
  EXPECT_NEAR(double(set) / 160000, 0.8413, 0.01);
  // Levels beyond the range are clamped; no number gives black.
  TVXBitmap levels(3, 1, vx8g);
  VXDoRandomFill(&levels, 0, 0, 1, 1, 7.0, 0);
  VXDoRandomFill(&levels, 1, 0, 2, 1, -3.0, 0);
  VXDoRandomFill(&levels, 2, 0, 3, 1, std::nan(""), 0);
  EXPECT_EQ(numpy_oracle::Pixels(&levels), std::string("\xff\x00\x00", 3));
  // The rectangle is cut to the bitmap; pixels outside it keep their value.
  TVXBitmap part(10, 10, vx8g);
  part.Fill(7);
  VXDoRandomFill(&part, 5, -3, 40, 4, 0.5, 0);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(part.Pixels_vx8(x, y), x >= 5 && y < 4 ? 128 : 7);
  // Uniform numbers lie in [0, 1).
  double lo = 1, hi = 0, total = 0;
  for (int i = 0; i < 100000; ++i) {
    const double u = VXRandomUniform();
    lo = std::min(lo, u), hi = std::max(hi, u), total += u;
  }
  EXPECT_GE(lo, 0.0);
  EXPECT_LT(hi, 1.0);
  EXPECT_NEAR(total / 100000, 0.5, 0.01);
  TComponent owner;
  TVexlaneProc undoing(&owner);
  undoing.SetAttachedVXBitmap(&part);
  undoing.Random(0.5, 0.1);
  EXPECT_EQ(undoing.GetUndoCaptions(0), "Random 0.50, 0.10");
}

TEST(Effects, SelectionLimitsMotionBlurAndNoise) {
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.MotionBlur(30, 3, 2); }, 11, 50);
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.Random(0.5, 0.2); }, 12, 100);
}

// ---- spectrum zone ----

TEST(Effects, FTClearZone) {
  auto src = Photo(300, 200);  // spectrum picture of the preview: 128, grid 512
  {
    TVXBitmap img(src.get());
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetAttachedVXBitmap(&img);
    proc.FTClearZone(0, 0, 128, 128, false);
    EXPECT_EQ(numpy_oracle::Pixels(&img), std::string(300 * 200 * 3, '\0'));
    EXPECT_EQ(proc.GetUndoCaptions(0), "FTClearZone");
    proc.Undo(false);
    EXPECT_EQ(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
  }
  // A zone of the preview's picture is the zone four times as large here.
  for (bool grey : {false, true}) {
    TVXBitmap img(src.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&img);
    proc->FTClearZone(60, 61, 70, 66, grey);
    TVXFtImage ft;
    ft.BuildFT(src.get(), grey ? vxitGrayscale : vxitRGB);
    ft.ClearZone(240, 244, 280, 264, 0, 0);
    TVXBitmap want;
    ft.BuildBitmap(&want);
    EXPECT_EQ(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(&want));
    EXPECT_NE(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
  }
  // A grid beyond the pixel limit leaves the image as it was.
  {
    TVXBitmap img(src.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&img);
    const int64_t saved = VXGetGlobalSettings()->MaxImagePixels();
    VXGetGlobalSettings()->SetMaxImagePixels(300 * 300);
    proc->FTClearZone(0, 0, 128, 128, true);
    VXGetGlobalSettings()->SetMaxImagePixels(saved);
    EXPECT_EQ(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
  }
}

// ---- the 3x3 filter as text ----

TEST(Effects, GraphFilterToText) {
  struct Case {
    TGraphFilter filter;
    const char* text;
  };
  const Case cases[] = {
      {{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}, "1/91/91/91/91/91/91/91/91/9"},
      {{{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}, "-1/1-1/1-1/1-1/19/1-1/1-1/1-1/1-1/1"},
      {{{{0, 12, 0}, {0, 0, 0}, {0, 0, -3}}, 0}, "0/012/00/00/00/00/00/00/0-3/0"},
  };
  for (const Case& c : cases) {
    std::string text = "old";
    VXGraphFilterToText(c.filter, text);
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
