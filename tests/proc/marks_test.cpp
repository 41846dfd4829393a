// Fill, dot grid, pen marker, image comparisons (ImageMagick's compare and
// numpy as oracles), red-eye removal and radial stretch.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../core/runtime_test_util.h"
#include "core/bitmap.h"
#include "fake_viewhost.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/distort.h"
#include "proc/marks.h"
#include "proc/proc.h"
#include "selection_check.h"

namespace {

using procfixture::Noise;
using procfixture::Photo;

// ---- fill ----

TEST(Marks, FillEveryFormat) {
  struct Case {
    TVXPixelFormat format;
    TRGB color;
  };
  for (const Case c : {Case{vx1g, {255, 255, 0}}, Case{vx1g, {0, 0, 1}}, Case{vx8g, {10, 200, 90}},
                       Case{vx24RGB, {1, 2, 3}}, Case{vx48RGB, {40, 80, 120}}}) {
    SCOPED_TRACE(testing::Message() << int(c.format) << " " << int(c.color.r) << "," << int(c.color.g) << ","
                                    << int(c.color.b));
    auto img = Noise(13, 7, c.format, 9);
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetAttachedVXBitmap(img.get());
    std::vector<int32_t> progress;
    proc.OnProgress = [&](void*, int32_t p) { progress.push_back(p); };
    proc.Fill(c.color);
    EXPECT_EQ(proc.GetUndoCaptions(0), "Fill (" + std::to_string(c.color.r) + ", " + std::to_string(c.color.g) +
                                           ", " + std::to_string(c.color.b) + ")");
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 13; ++x) switch (c.format) {
          case vx1g:  // only the red component decides
            ASSERT_EQ(img->Pixels_vx1g(x, y), c.color.r != 0);
            break;
          case vx8g:
            ASSERT_EQ(img->Pixels_vx8(x, y), (90 * 21 + 200 * 71 + 10 * 8) / 100);
            break;
          case vx24RGB:
            ASSERT_EQ(img->Pixels_vx24RGB(x, y), c.color);
            break;
          default:  // through FillRect: the colour as 16-bit channels
            ASSERT_EQ(img->Pixels(x, y), c.color);
        }
    if (c.format != vx48RGB) {
      EXPECT_EQ(progress.front(), int32_t(100 / 6.5));
    }
    EXPECT_EQ(progress.back(), 100);
  }
  // The TColor form: red in the low byte.
  TVXBitmap img(3, 2, vx24RGB);
  auto proc = TVexlaneProc::CreateFromBitmap(&img);
  proc->Fill(TColor(0x00336699));
  EXPECT_EQ(img.Pixels_vx24RGB(2, 1), (TRGB{0x33, 0x66, 0x99}));
}

TEST(Marks, FillChangesOnlyTheSelection) {
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.Fill(TRGB{7, 8, 9}); }, 31, 150);
}

// ---- dot grid ----

TEST(Marks, PaintMarkGrid) {
  for (int32_t frequency : {0, 2, 5, -3}) {
    SCOPED_TRACE(frequency);
    auto src = Noise(17, 11, vx24RGB, 2);
    TVXBitmap img(src.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&img);
    proc->PaintMark(frequency, TRGB{1, 2, 3});
    const int32_t step = std::max(frequency, 0) + 1;
    for (int32_t y = 0; y < 11; ++y)
      for (int32_t x = 0; x < 17; ++x)
        ASSERT_EQ(img.Pixels_vx24RGB(x, y),
                  (x % step == 0 && y % step == 0 ? TRGB{1, 2, 3} : src->Pixels_vx24RGB(x, y)))
            << x << "," << y;
  }
  TComponent owner;
  TVexlaneProc proc(&owner);
  TVXBitmap img(4, 4, vx24RGB);
  proc.SetAttachedVXBitmap(&img);
  proc.PaintMark(2, TRGB{10, 20, 30});
  EXPECT_EQ(proc.GetUndoCaptions(0), "PaintMark 2, (30, 20, 10)");
}

// ---- pen marker ----

TEST(Marks, PenMarkerPaintsOnlyTheBackground) {
  TFakeViewHost host;
  TVXBitmap* img = host.Image();
  img->Allocate(30, 20, vx24RGB);
  // A checkerboard of the background colour and a colour up to 32 levels off it.
  const TRGB back = VXColorToTRGB(0x102030), other{0x30, 0x20, 0x11};
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) img->SetPixels_vx24RGB(x, y, (x + y) % 2 ? other : back);
  host.scrOffsetX = 100;
  host.scrOffsetY = 50;
  host.zoom = 200;
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVexlane(&host);
  proc.PaintPenMarker(12, 8, 9, 0x0000FF, 0x102030, 0);
  const TRGB red = VXColorToTRGB(0x0000FF);
  int painted = 0;
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) {
      const TRGB p = img->Pixels_vx24RGB(x, y);
      if ((x + y) % 2) {
        ASSERT_EQ(p, other) << x << "," << y;
        continue;
      }
      if (p == red) {
        ++painted;
        EXPECT_LE(std::hypot(x - 12, y - 8), 4.75) << x << "," << y;
      }
    }
  // The centre and the points of the circles on the axes.
  for (auto [x, y] : {std::pair{12, 8}, std::pair{14, 8}, std::pair{10, 8}, std::pair{12, 10}, std::pair{12, 4}})
    EXPECT_EQ(img->Pixels_vx24RGB(x, y), red) << x << "," << y;
  EXPECT_GT(painted, 15);
  EXPECT_EQ(proc.UndoCount(), 0);
  // Screen (100 + 2 x, 50 + 2 y), d = Round((9 div 2 + 1) x 200 / 100) = 10.
  ASSERT_EQ(host.updateRects.size(), 1u);
  EXPECT_EQ(host.updateRects[0], (TRect{124 - 10, 66 - 10, 124 + 11, 66 + 11}));

  // A tolerance takes the other colour too; a point outside does nothing.
  proc.PaintPenMarker(5, 5, 3, 0x00FF00, 0x102030, 32);
  EXPECT_EQ(img->Pixels_vx24RGB(5, 6), VXColorToTRGB(0x00FF00));
  const std::string before = numpy_oracle::Pixels(img);
  proc.PaintPenMarker(30, 5, 3, 0x00FF00, 0x102030, 255);
  proc.PaintPenMarker(-1, 5, 3, 0x00FF00, 0x102030, 255);
  EXPECT_TRUE(numpy_oracle::Pixels(img) == before);
  EXPECT_EQ(host.updateRects.size(), 2u);
}

TEST(Marks, PenMarkerSetsAlphaAndStaysInside) {
  TVXBitmap img(10, 8, vx24RGB);
  img.AlphaChannel()->Fill(0);
  auto proc = TVexlaneProc::CreateFromBitmap(&img);
  // A marker far larger than the image paints all of it, border included.
  proc->PaintPenMarker(1, 1, 1000001, 0xFFFFFF, 0, 0);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      ASSERT_EQ(img.Pixels_vx24RGB(x, y), (TRGB{255, 255, 255})) << x << "," << y;
      ASSERT_EQ(img.Alpha(x, y), 255);
    }
}

// ---- comparisons ----

// Reads a binary PPM written by ImageMagick into a vx24RGB bitmap.
std::unique_ptr<TVXBitmap> ReadPPM(const std::string& file) {
  std::istringstream in(RuntimeReadFile(file));
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255 || w <= 0 || h <= 0) return nullptr;
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      char rgb[3];
      in.read(rgb, 3);
      b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(rgb[2]), uint8_t(rgb[1]), uint8_t(rgb[0])});
    }
  return in ? std::move(b) : nullptr;
}

struct Metrics {
  double psnr[2], mse[2], rmse[2], pae[2], mae[2];
  bool equal;
};

Metrics Measure(TVXBitmap* a, TVXBitmap* b) {
  Metrics m{};
  auto proc = TVexlaneProc::CreateFromBitmap(a);
  m.equal = proc->ComputeImageEquality(b, m.psnr[0], m.psnr[1], m.mse[0], m.mse[1], m.rmse[0], m.rmse[1], m.pae[0],
                                       m.pae[1], m.mae[0], m.mae[1]);
  return m;
}

// ImageMagick's per-channel value of a metric (red, green, blue), scaled from
// its normalised figure to levels 0 .. 255 (PSNR as printed).
std::vector<double> MagickChannels(const std::string& metric, const std::string& a, const std::string& b) {
  const std::string out =
      RuntimeShell("/usr/bin/compare -verbose -metric " + metric + " " + a + " " + b + " null: 2>&1");
  std::vector<double> values;
  for (const char* channel : {"red: ", "green: ", "blue: "}) {
    const size_t at = out.find(channel, out.find("Channel distortion"));
    if (at == std::string::npos) return {};
    const std::string rest = out.substr(at + std::strlen(channel));
    const size_t open = rest.find('(');
    double v = std::stod(metric == "PSNR" || open == std::string::npos ? rest : rest.substr(open + 1));
    if (metric == "MSE") v *= 255.0 * 255.0;
    if (metric == "RMSE" || metric == "PAE" || metric == "MAE") v *= 255.0;
    values.push_back(v);
  }
  return values;
}

TEST(Marks, ComputeImageEqualityAgreesWithImageMagick) {
  if (!RuntimeHaveTool("/usr/bin/compare") || !RuntimeHaveTool("/usr/bin/convert"))
    GTEST_SKIP() << "ImageMagick (Debian imagemagick) is not installed";
  TRuntimeScratchDir dir;
  const std::string photo = std::string(VX_TEST_DATA_DIR) + "/photo_48x30.jpg";
  const std::string a = dir.File("a.ppm");
  ASSERT_EQ(RuntimeShell("/usr/bin/convert " + photo + " " + a + " && echo ok"), "ok\n");
  for (const char* change : {"-modulate 90,110,95 -blur 0x1", "-level 5%,90%", "-roll +1+0"}) {
    SCOPED_TRACE(change);
    const std::string b = dir.File("b.ppm");
    ASSERT_EQ(RuntimeShell("/usr/bin/convert " + a + " " + change + " " + b + " && echo ok"), "ok\n");
    auto first = ReadPPM(a), second = ReadPPM(b);
    ASSERT_TRUE(first && second);
    const Metrics m = Measure(first.get(), second.get());
    EXPECT_FALSE(m.equal);
    struct Row {
      const char* metric;
      const double* pair;
    };
    for (const Row r : {Row{"MSE", m.mse}, Row{"RMSE", m.rmse}, Row{"PAE", m.pae}, Row{"MAE", m.mae},
                        Row{"PSNR", m.psnr}}) {
      const std::vector<double> im = MagickChannels(r.metric, a, b);
      ASSERT_EQ(im.size(), 3u) << r.metric;
      const double lo = *std::min_element(im.begin(), im.end()), hi = *std::max_element(im.begin(), im.end());
      EXPECT_NEAR(r.pair[0], lo, 1e-4 * std::max(1.0, lo)) << r.metric;
      EXPECT_NEAR(r.pair[1], hi, 1e-4 * std::max(1.0, hi)) << r.metric;
    }
  }
}

TEST(Marks, ComputeImageEqualityAgreesWithNumpy) {
  SKIP_WITHOUT_NUMPY();
  auto a = Photo(37, 23);
  auto b = Noise(37, 23, vx24RGB, 8);
  const Metrics m = Measure(a.get(), b.get());
  const std::string want = numpy_oracle::Run(R"(
a = load(0, np.uint8, (-1, 3)).astype(np.float64); b = load(1, np.uint8, (-1, 3)).astype(np.float64)
diff = b - a
mse = (diff ** 2).mean(axis=0); mae = np.abs(diff).mean(axis=0); pae = np.abs(diff).max(axis=0)
psnr = 20 * np.log10(255 / np.sqrt(mse))
rows = [psnr, mse, np.sqrt(mse), pae, mae]
save(np.array([[r.min(), r.max()] for r in rows]))
)",
                                             {numpy_oracle::Pixels(a.get()), numpy_oracle::Pixels(b.get())});
  ASSERT_EQ(want.size(), 10 * sizeof(double));
  double w[10];
  std::memcpy(w, want.data(), sizeof w);
  const double got[10] = {m.psnr[0], m.psnr[1], m.mse[0], m.mse[1], m.rmse[0],
                          m.rmse[1], m.pae[0],  m.pae[1], m.mae[0], m.mae[1]};
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(got[i], w[i], 1e-9 * std::max(1.0, std::fabs(w[i]))) << i;
}

TEST(Marks, ComputeImageEqualityEqualDarkerAndRefused) {
  auto a = Photo(20, 12);
  TVXBitmap same(a.get());
  Metrics m = Measure(a.get(), &same);
  EXPECT_TRUE(m.equal);
  for (const double* pair : {m.psnr, m.mse, m.rmse, m.pae, m.mae}) {
    EXPECT_EQ(pair[0], 0);
    EXPECT_EQ(pair[1], 0);
  }
  // Darker in one corner only.
  TVXBitmap darker(a.get());
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      TRGB p = darker.Pixels_vx24RGB(x, y);
      p.g = uint8_t(std::max(0, p.g - 9));
      darker.SetPixels_vx24RGB(x, y, p);
    }
  m = Measure(a.get(), &darker);
  EXPECT_FALSE(m.equal);
  EXPECT_EQ(m.pae[0], 0);  // blue and red agree
  EXPECT_EQ(m.pae[1], 9);
  // Another size or format: false, the outputs untouched.
  TVXBitmap smaller(19, 12, vx24RGB), grey(20, 12, vx8g);
  for (TVXBitmap* other : {&smaller, &grey}) {
    double v[10];
    std::fill(v, v + 10, -7.0);
    auto proc = TVexlaneProc::CreateFromBitmap(a.get());
    EXPECT_FALSE(proc->ComputeImageEquality(other, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]));
    for (double x : v) EXPECT_EQ(x, -7.0);
  }
}

TEST(Marks, CompareWith) {
  auto a = Photo(31, 19);
  TVXBitmap same(a.get());
  TVXBitmap diff(1, 1, vx8g);
  auto proc = TVexlaneProc::CreateFromBitmap(a.get());
  EXPECT_EQ(proc->CompareWith(&same, &diff), 1.0);
  ASSERT_EQ(diff.Width(), 31);
  ASSERT_EQ(diff.Height(), 19);
  for (int32_t y = 0; y < 19; ++y)
    for (int32_t x = 0; x < 31; ++x) ASSERT_EQ(diff.Pixels_vx8(x, y), 0);

  // A larger second image: the common area counts.
  auto b = Noise(40, 19, vx24RGB, 12);
  const double got = proc->CompareWith(b.get(), &diff);
  EXPECT_EQ(diff.Width(), 31);
  if (numpy_oracle::Available()) {
    const std::string want = numpy_oracle::Run(R"(
a = load(0, np.uint8, (19, 31, 3)).astype(np.int64); b = load(1, np.uint8, (19, 40, 3))[:, :31].astype(np.int64)
g = lambda p: (p[..., 2] * 21 + p[..., 1] * 71 + p[..., 0] * 8) // 100
diff = np.abs(g(a) - g(b))
save(np.concatenate([np.array([1 - (diff / 255).mean()]).view(np.uint8), diff.astype(np.uint8).ravel()]))
)",
                                               {numpy_oracle::Pixels(a.get()), numpy_oracle::Pixels(b.get())});
    ASSERT_EQ(want.size(), 8u + 31 * 19);
    double score;
    std::memcpy(&score, want.data(), 8);
    EXPECT_NEAR(got, score, 1e-12);
    EXPECT_TRUE(numpy_oracle::Pixels(&diff) == want.substr(8));
  }
  EXPECT_LT(got, 0.9);
  // A colour DiffBitmap is left alone; a grey first image gives 0.
  TVXBitmap colour(2, 2, vx24RGB);
  EXPECT_EQ(proc->CompareWith(&same, &colour), 1.0);
  EXPECT_EQ(colour.Width(), 2);
  EXPECT_EQ(proc->CompareWith(&same, nullptr), 1.0);
  TVXBitmap greyImage(4, 4, vx8g);
  auto greyProc = TVexlaneProc::CreateFromBitmap(&greyImage);
  greyProc->SetAutoConvertFormat(false);
  EXPECT_EQ(greyProc->CompareWith(&same, nullptr), 0.0);
}

// ---- red eyes ----

TEST(Marks, RemoveRedEyesAgreesWithReference) {
  SKIP_WITHOUT_NUMPY();
  // Every red with a spread of green and blue.
  TVXBitmap img(256, 64, vx24RGB);
  std::mt19937 rng(3);
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 256; ++x) img.SetPixels_vx24RGB(x, y, TRGB{uint8_t(rng() % 120), uint8_t(rng() % 120), uint8_t(x)});
  const std::string before = numpy_oracle::Pixels(&img);
  const std::string want = numpy_oracle::Run(R"(
p = load(0, np.uint8, (-1, 3)).astype(np.float64)
B, G, R = p[:, 0], p[:, 1], p[:, 2]
k = np.clip(np.sqrt(np.where(G >= 2, B / np.maximum(G, 1), B)), 0.5, 1.5)
g = R / np.maximum(G + B, 1) * k
o = np.maximum(1.775 - (0.75 * g + 0.25), 0) ** 2
red = g > 0.7
out = p.copy()
out[red, 2] = np.rint(R * o)[red]; out[red, 0] = np.rint(B * (1 - (1 - o) / 2))[red]; out[red, 1] = np.rint(G * (1 - (1 - o) / 4))[red]
save(np.concatenate([out.astype(np.uint8).ravel(), red.astype(np.uint8)]))
)",
                                             {before});
  ASSERT_EQ(want.size(), before.size() + 256 * 64);
  auto proc = TVexlaneProc::CreateFromBitmap(&img);
  proc->RemoveRedEyes();
  const std::string got = numpy_oracle::Pixels(&img);
  size_t red = 0, same = 0;
  for (size_t i = 0; i < 256 * 64; ++i) {
    if (!want[before.size() + i]) {  // redness at most 0.7: untouched
      ASSERT_EQ(got.compare(3 * i, 3, before, 3 * i, 3), 0) << i;
      continue;
    }
    ++red;
    same += got.compare(3 * i, 3, want, 3 * i, 3) == 0;
  }
  EXPECT_GT(red, 3000u);
  EXPECT_GE(same * 1000, red * 999) << same << " of " << red;
}

TEST(Marks, RemoveRedEyesChangesOnlyTheSelection) {
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.RemoveRedEyes(); }, 41, 20);
}

// ---- radial stretch ----

TEST(Marks, RadialStretch) {
  auto src = Noise(21, 14, vx24RGB, 6);
  src->AlphaChannel()->Assign(Noise(21, 14, vx8g, 7).get());
  src->AlphaChannel()->SetFull(false);
  const int32_t cx = 10, cy = 7;
  {  // A = B = C = 0, D = 1: the identity.
    TVXBitmap img(src.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&img);
    proc->RadialStretch(0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1);
    EXPECT_TRUE(numpy_oracle::Pixels(&img) == numpy_oracle::Pixels(src.get()));
    EXPECT_TRUE(numpy_oracle::Pixels(img.AlphaChannel()) == numpy_oracle::Pixels(src->AlphaChannel()));
  }
  {  // D = 0.5 on red and blue: those channels (and the alpha, with blue)
     // show the centre magnified twice; green stays.
    TVXBitmap img(src.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&img);
    std::vector<int32_t> progress;
    proc->OnProgress = [&](void*, int32_t p) { progress.push_back(p); };
    proc->RadialStretch(0, 0, 0, 0.5, 0, 0, 0, 1, 0, 0, 0, 0.5);
    for (int32_t y = 0; y < 14; ++y)
      for (int32_t x = 0; x < 21; ++x) {
        const int32_t sx = cx + int32_t(std::nearbyint((x - cx) * 0.5)), sy = cy + int32_t(std::nearbyint((y - cy) * 0.5));
        const TRGB p = img.Pixels_vx24RGB(x, y);
        ASSERT_EQ(p.r, src->Pixels_vx24RGB(sx, sy).r) << x << "," << y;
        ASSERT_EQ(p.b, src->Pixels_vx24RGB(sx, sy).b);
        ASSERT_EQ(p.g, src->Pixels_vx24RGB(x, y).g);
        ASSERT_EQ(img.Alpha(x, y), src->AlphaChannel()->Pixels_vx8(sx, sy));
      }
    EXPECT_EQ(progress.front(), 0);
    EXPECT_TRUE(std::adjacent_find(progress.begin(), progress.end()) == progress.end());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(proc->GetUndoCaptions(0), "");  // no owner, no undo
  }
  {  // D = 2: sources beyond the image leave 0.
    TVXBitmap img(src.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&img);
    proc->RadialStretch(0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 2);
    EXPECT_EQ(img.Pixels_vx24RGB(0, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(img.Alpha(0, 0), 0);
    EXPECT_EQ(img.Pixels_vx24RGB(cx, cy), src->Pixels_vx24RGB(cx, cy));
  }
}

}  // namespace

namespace {

TEST(Marks, ComparisonsOfFileBackedImages) {
  // A file-backed image, compared with itself (each row is asked for twice)
  // and with another image, measures as the same image in memory does.
  auto photo = Photo(33, 21);
  auto other = Noise(33, 21, vx24RGB, 5);
  TVXBitmap file(photo.get());
  file.SetMinFileSize(0);
  file.SetLocation(vxFile);
  ASSERT_EQ(file.Location(), vxFile);
  auto proc = TVexlaneProc::CreateFromBitmap(&file);
  EXPECT_EQ(proc->CompareWith(&file, nullptr), 1.0);
  const Metrics self = Measure(&file, &file);
  EXPECT_TRUE(self.equal);
  EXPECT_EQ(self.pae[1], 0);
  auto memProc = TVexlaneProc::CreateFromBitmap(photo.get());
  EXPECT_EQ(proc->CompareWith(other.get(), nullptr), memProc->CompareWith(other.get(), nullptr));
  const Metrics fromFile = Measure(&file, other.get()), fromMemory = Measure(photo.get(), other.get());
  EXPECT_EQ(fromFile.mse[0], fromMemory.mse[0]);
  EXPECT_EQ(fromFile.mae[1], fromMemory.mae[1]);
}

}  // namespace
