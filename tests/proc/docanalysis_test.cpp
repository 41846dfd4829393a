// Document analysis: the Shen-Castan edge map, skew detection by the Hough
// transform and its refinement, orientation and density profiles. Pages of
// text are drawn by ImageMagick with DejaVu Sans.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/rotate.h"
#include "core/threshold.h"
#include "proc/docanalysis.h"
#include "proc/proc.h"

namespace {

std::unique_ptr<TVXBitmap> Rectangle24(int32_t w, int32_t h, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const bool inside = x >= x1 && x < x2 && y >= y1 && y < y2;
      b->SetPixels_vx24RGB(x, y, inside ? TRGB{30, 40, 50} : TRGB{230, 240, 250});
    }
  return b;
}

// A vx1g bitmap from rows of '#' (white) and '.' (black).
std::unique_ptr<TVXBitmap> Picture1(const std::vector<std::string>& rows) {
  auto b = std::make_unique<TVXBitmap>(int32_t(rows[0].size()), int32_t(rows.size()), vx1g);
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x) b->SetPixels_vx1g(int32_t(x), int32_t(y), rows[y][x] == '#');
  return b;
}

// ---------------------------------------------------------------------------
// Shen-Castan

TEST(ShenCastan, EdgesRunAlongTheSidesOfARectangle) {
  struct Case {
    int32_t w, h, x1, y1, x2, y2;
  } cases[] = {{60, 50, 15, 12, 45, 38}, {41, 64, 5, 30, 36, 58}, {3000, 40, 100, 10, 2900, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    auto b = Rectangle24(c.w, c.h, c.x1, c.y1, c.x2, c.y2);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    std::vector<int32_t> steps;
    proc->OnProgress = [&](void*, int32_t per) { steps.push_back(per); };
    proc->EdgeDetect_ShenCastan(0.99, 0.9, 7, 0, true);
    ASSERT_EQ(b->PixelFormat(), vx1g);
    ASSERT_EQ(b->Width(), c.w);
    ASSERT_EQ(b->Height(), c.h);
    EXPECT_EQ(steps, (std::vector<int32_t>{16, 33, 50, 66, 83, 100, 100}));
    for (int32_t y = 0; y < c.h; ++y) EXPECT_TRUE(b->Pixels_vx1g(0, y));
    for (int32_t x = 0; x < c.w; ++x) EXPECT_TRUE(b->Pixels_vx1g(x, c.h - 1));
    // Every edge pixel lies within two pixels of a side; each side carries
    // edges along most of its length.
    auto distToSide = [&](int32_t x, int32_t y) {
      const int32_t dx = std::min(std::abs(x - c.x1), std::abs(x - (c.x2 - 1)));
      const int32_t dy = std::min(std::abs(y - c.y1), std::abs(y - (c.y2 - 1)));
      const bool nearV = y >= c.y1 - 2 && y <= c.y2 + 1, nearH = x >= c.x1 - 2 && x <= c.x2 + 1;
      return std::min(nearV ? dx : 1000, nearH ? dy : 1000);
    };
    int32_t top = 0, left = 0;
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        if (b->Pixels_vx1g(x, y)) continue;
        ASSERT_LE(distToSide(x, y), 2) << x << "," << y;
        top += std::abs(y - c.y1) <= 2;
        left += std::abs(x - c.x1) <= 2;
      }
    EXPECT_GT(top, (c.x2 - c.x1) * 3 / 4);
    EXPECT_GT(left, (c.y2 - c.y1) * 3 / 4);
  }
}

TEST(ShenCastan, SmallImagesGiveAMapOfTheirSize) {
  for (auto [w, h] : {std::pair{1, 1}, {5, 40}, {40, 5}, {26, 26}, {2, 27}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    auto b = Rectangle24(w, h, w / 3, h / 3, w - w / 3, h - h / 3);
    TVXBitmap target;
    TProgressRec progress;
    VXShenCastan(b.get(), &target, 7, progress, true, 2, 0.9, 0.99);
    ASSERT_EQ(target.PixelFormat(), vx1g);
    EXPECT_EQ(target.Width(), w);
    EXPECT_EQ(target.Height(), h);
    for (int32_t x = 0; x < w; ++x) EXPECT_TRUE(target.Pixels_vx1g(x, h - 1));
    // A window far larger than the frame reads nothing outside either.
    VXShenCastan(b.get(), &target, 301, progress, false, 0, 0.5, 0.5);
    EXPECT_EQ(target.Width(), w);
  }
  // Other formats are refused, the target stays as it is.
  TVXBitmap grey(4, 4, vx8g), target(3, 3, vx24RGB);
  TProgressRec progress;
  VXShenCastan(&grey, &target, 7, progress, true, 0, 0.9, 0.99);
  EXPECT_EQ(target.PixelFormat(), vx24RGB);
}

// ---------------------------------------------------------------------------
// Skew and orientation

constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

bool MagickAvailable() { return access("/usr/bin/convert", X_OK) == 0 && access(kFont, R_OK) == 0; }

#define REQUIRE_MAGICK()                                                                                 \
  if (!MagickAvailable()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) or fonts-dejavu-core is not installed"

// A page of text lines drawn by ImageMagick in DejaVu Sans, turned by
// `-rotate Angle` (clockwise on screen), as a vx24RGB bitmap.
std::unique_ptr<TVXBitmap> TextPage(double Angle) {
  const char* t = getenv("TMPDIR");
  const std::string file = std::string(t && *t ? t : "/tmp") + "/vxskew-" + std::to_string(getpid()) + ".ppm";
  static const char* lines[] = {"The quick brown fox jumps over the lazy dog near the river",
                                "Pack my box with five dozen liquor jugs and send it home",
                                "Sphinx of black quartz, judge my vow before the evening",
                                "How vexingly quick daft zebras jump across the wide field",
                                "Bright vixens jump; dozy fowl quack under the grey sky",
                                "Jackdaws love my big sphinx of quartz and its old stones",
                                "The five boxing wizards jump quickly over the tall fence"};
  std::string cmd = std::string("/usr/bin/convert -size 560x330 xc:white -font ") + kFont +
                    " -pointsize 15 -fill black";
  for (int i = 0; i < 7; ++i) cmd += " -annotate +24+" + std::to_string(40 + 40 * i) + " '" + lines[i] + "'";
  char angle[32];
  std::snprintf(angle, sizeof angle, "%.3f", Angle);
  cmd += std::string(" -background white -rotate ") + angle + " -depth 8 " + file + " 2>&1";
  if (std::system(cmd.c_str()) != 0) return nullptr;
  std::ifstream f(file, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxv = 0;
  f >> magic >> w >> h >> maxv;
  f.get();
  std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
  f.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size()));
  std::remove(file.c_str());
  if (magic != "P6" || maxv != 255 || !f) return nullptr;
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
      b->SetPixels_vx24RGB(x, y, TRGB{p[2], p[1], p[0]});
    }
  return b;
}

std::unique_ptr<TVXBitmap> ToBW(TVXBitmap* b) {
  auto bw = std::make_unique<TVXBitmap>();
  TProgressRec progress;
  VXConvertTo1BitThreshold(b, bw.get(), 128, progress);
  return bw;
}

// White vx1g page with black lines one pixel thick, every 12 pixels,
// sloping down to the right by Slope degrees (a page turned clockwise by
// Slope), or vertical.
std::unique_ptr<TVXBitmap> LinesPage(int32_t w, int32_t h, bool vertical, double Slope = 0) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx1g);
  for (int32_t y = 0; y < h; ++y) std::memset(b->ScanLine(y), 0xFF, size_t(b->RowLen()));
  const double t = std::tan(Slope * 3.14159265358979323846 / 180);
  for (int32_t v = 12; v < (vertical ? w : h) - 12; v += 12)
    for (int32_t u = 10; u < (vertical ? h : w) - 10; ++u) {
      const int32_t along = int32_t(std::lround(v + t * (u - (vertical ? h : w) / 2)));
      if (along < 0 || along >= (vertical ? w : h)) continue;
      if (vertical)
        b->SetPixels_vx1g(along, u, false);
      else
        b->SetPixels_vx1g(u, along, false);
    }
  return b;
}

TEST(Skew, StepsPerDegreeAndRefusedParameters) {
  struct Case {
    double precision;
    int32_t steps;
  } cases[] = {{0.05, 0}, {0.09, 0}, {0.1, 10}, {0.2, 5}, {0.25, 4}, {0.3, 3}, {0.5, 2}, {1, 1}, {1.05, 1},
               {1.5, 0},  {-1, 0}};
  for (const Case& c : cases) EXPECT_EQ(VXHoughStepsPerDegree(c.precision), c.steps) << c.precision;

  // Lines at a slant: a valid request finds the slant; the refused ones
  // give 0.
  auto page = LinesPage(200, 120, false, 6);
  auto proc = TVexlaneProc::CreateFromBitmap(page.get());
  const double found = proc->SkewDetection(0, 30, 0.3, false);
  EXPECT_NEAR(found, 6, 0.34);
  EXPECT_DOUBLE_EQ(found * 3, std::nearbyint(found * 3));
  for (auto [range, precision] : {std::pair{30, 0.05}, {30, 1.5}, {-1, 0.2}, {181, 0.2}})
    EXPECT_EQ(proc->SkewDetection(0, range, precision, false), 0) << range << " " << precision;
}

TEST(Skew, HorizontalLinesGiveZeroAndABlankPageMinus90) {
  // Wide enough that one step off the level moves the line ends into the
  // next accumulator column.
  auto lines = LinesPage(400, 160, false);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(lines.get())->SkewDetection(0, 20, 0.2, false), 0);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(lines.get())->SkewDetection(0, 180, 1, false), 0);
  auto blank = std::make_unique<TVXBitmap>(64, 48, vx1g);
  for (int32_t y = 0; y < 48; ++y) std::memset(blank->ScanLine(y), 0xFF, size_t(blank->RowLen()));
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(blank.get())->SkewDetection(0, 20, 0.2, false), -90);
}

TEST(Skew, EveryAccumulatorColumnStaysInside) {
  // All-black pages: every pixel votes at every angle, the corners too.
  for (auto [w, h] : {std::pair{101, 57}, {1000, 999}, {1, 1}, {3, 200}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TVXBitmap b(w, h, vx1g);
    const double a = VXHoughSkew(&b, 180, 1, nullptr, nullptr);
    EXPECT_GE(a, -90);
    EXPECT_LT(a, 90);
  }
}

TEST(Skew, TurnedTextPagesAreMeasuredAndRefined) {
  REQUIRE_MAGICK();
  for (double angle : {-4.6, -2.0, 0.7, 3.0, 5.0}) {
    SCOPED_TRACE(angle);
    auto colour = TextPage(angle);
    ASSERT_TRUE(colour);
    auto bw = ToBW(colour.get());
    auto proc = TVexlaneProc::CreateFromBitmap(bw.get());
    const double coarse = proc->SkewDetection(0, 20, 0.2, false);
    EXPECT_NEAR(coarse, angle, 0.4 + 1e-9);
    // Refined on the page itself: within a step of the better of the
    // coarse value and the turn ImageMagick made.
    auto cproc = TVexlaneProc::CreateFromBitmap(colour.get());
    const double fine = cproc->SkewDetectionFine(coarse, 0.05, 1, true);
    EXPECT_NEAR(fine, angle, 0.2);
    EXPECT_LE(std::fabs(fine - angle), std::max(std::fabs(coarse - angle), 0.05) + 1e-9);
    // The 1-bit page refined on its reduced colour copy.
    EXPECT_NEAR(proc->SkewDetectionFine(coarse, 0.05, 1, false), angle, 0.2 + 1e-9);

    // The colour page by its edge map, and resampled with and without one
    // (without: measured at the average threshold).
    EXPECT_NEAR(cproc->SkewDetection(0, 20, 0.2, false), angle, 0.4 + 1e-9);
    EXPECT_NEAR(cproc->SkewDetection(colour->Width() * 3 / 4, 20, 0.2, true), angle, 0.4 + 1e-9);
    EXPECT_NEAR(cproc->SkewDetection(colour->Width() * 3 / 4, 20, 0.2, false), angle, 0.6 + 1e-9);
  }
}

TEST(Skew, FineDetectionWithoutStepsKeepsTheStartingAngle) {
  auto page = LinesPage(120, 80, false);
  auto proc = TVexlaneProc::CreateFromBitmap(page.get());
  EXPECT_EQ(proc->SkewDetectionFine(1.25, 0, 4, true), 1.25);
  EXPECT_EQ(proc->SkewDetectionFine(1.25, -0.1, 4, false), 1.25);
  EXPECT_EQ(proc->SkewDetectionFine(-2.5, 0.1, 0, true), -2.5);
}

TEST(Orientation, LinesGiveZeroAndColumnsNinety) {
  auto rows = LinesPage(200, 140, false), cols = LinesPage(200, 140, true);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(rows.get())->CalcOrientation(), 0);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(cols.get())->CalcOrientation(), 90);
  if (!MagickAvailable()) return;
  auto text = TextPage(0), turned = TextPage(90);
  ASSERT_TRUE(text && turned);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(text.get())->CalcOrientation(), 0);
  EXPECT_EQ(TVexlaneProc::CreateFromBitmap(turned.get())->CalcOrientation(), 90);
}

TEST(DensityProfiles, CountWhiteBitsOrGreyLevelsAndNormalise) {
  auto bw = Picture1({"##..", "#...", "####"});
  std::vector<int32_t> vert(3, -1), horiz(4, -1);
  TVexlaneProc::CreateFromBitmap(bw.get())->CalcDensityHistogram(vert.data(), horiz.data(), 100, 30);
  EXPECT_EQ(vert, (std::vector<int32_t>{50, 25, 100}));  // 2, 1, 4 of 4
  EXPECT_EQ(horiz, (std::vector<int32_t>{30, 20, 10, 10}));  // 3, 2, 1, 1 of 3

  TVXBitmap colour(3, 2, vx24RGB);
  colour.SetPixels_vx24RGB(0, 0, TRGB{0, 0, 100});  // grey 21
  colour.SetPixels_vx24RGB(2, 1, TRGB{200, 0, 0});  // grey 16
  std::vector<int32_t> rows(2, -1), cols(3, -1), progress;
  VXCalcDensityProfiles(&colour, 0, 0, 1000, 0, cols.data(), rows.data(), nullptr,
                        [&](void*, int32_t p) { progress.push_back(p); }, 9, 9);
  EXPECT_EQ(rows, (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(cols, (std::vector<int32_t>{1000, 0, 761}));  // Trunc(16 / 21 x 1000)
  EXPECT_EQ(progress, (std::vector<int32_t>{66, 133}));
  // Other formats leave the arrays alone.
  TVXBitmap grey(3, 2, vx8g);
  std::vector<int32_t> r2(2, 7), c2(3, 7);
  VXCalcDensityProfiles(&grey, 0, 0, 10, 10, c2.data(), r2.data(), nullptr, nullptr, 2, 3);
  EXPECT_EQ(r2, (std::vector<int32_t>{7, 7}));
}

}  // namespace
