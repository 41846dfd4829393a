// Convolution, the 3x3 filter and its presets, the user filter file, the
// Gaussian blur, sharpening and shadows: plain references written from the
// algorithms, numpy and ImageMagick as oracles.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/gaussblur.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/threadpool.h"
#include "fake_viewhost.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "selection_check.h"
#include "proc/filters.h"
#include "proc/proc.h"

namespace {

using procfixture::Noise;

using procfixture::Photo;

// Sets the library's core count for a scope.
struct Cores {
  int32_t saved;
  explicit Cores(int32_t n) : saved(VXGetGlobalSettings()->DefaultCoresCount()) {
    VXGetGlobalSettings()->SetDefaultCoresCount(n);
  }
  ~Cores() { VXGetGlobalSettings()->SetDefaultCoresCount(saved); }
};

// ---- references written from the algorithms ----

void RefConvolve(TVXBitmap* b, const std::vector<double>& k, int32_t kw, int32_t kh, double factor, int32_t x1,
                 int32_t y1, int32_t x2, int32_t y2) {
  TVXBitmap src(b);
  const int32_t W = b->Width(), H = b->Height();
  for (int32_t y = y1; y < std::min(y2, H); ++y)
    for (int32_t x = x1; x < std::min(x2, W); ++x) {
      double sum[3] = {0, 0, 0};
      int i = 0;
      for (int32_t dy = -(kh / 2); dy <= kh / 2; ++dy)
        for (int32_t dx = -(kw / 2); dx <= kw / 2; ++dx, ++i) {
          const TRGB p = src.Pixels_vx24RGB(std::clamp(x + dx, 0, W - 1), std::clamp(y + dy, 0, H - 1));
          sum[0] += k[size_t(i)] * p.b;
          sum[1] += k[size_t(i)] * p.g;
          sum[2] += k[size_t(i)] * p.r;
        }
      auto c = [&](double s) { return uint8_t(std::clamp(std::nearbyint(s * factor), 0.0, 255.0)); };
      b->SetPixels_vx24RGB(x, y, TRGB{c(sum[0]), c(sum[1]), c(sum[2])});
    }
}

void RefFilter3x3(TVXBitmap* b, const TGraphFilter& f, int32_t C) {
  TVXBitmap src(b);
  const int32_t W = b->Width(), H = b->Height(), D = f.Divisor == 0 ? 1 : f.Divisor;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      for (int32_t c = 0; c < C; ++c) {
        int64_t s = 0;
        for (int r = 0; r < 3; ++r)
          for (int k = 0; k < 3; ++k) {
            const uint8_t* row = static_cast<const uint8_t*>(src.ScanLine(std::clamp(y + r - 1, 0, H - 1)));
            s += int64_t(f.Values[r][k]) * row[C * std::clamp(x + k - 1, 0, W - 1) + c];
          }
        const int64_t q = std::llabs(s) / D;
        static_cast<uint8_t*>(b->ScanLine(y))[C * x + c] = uint8_t(std::clamp<int64_t>(q, 0, 255));
      }
}

// One run as the blur describes it: end weights L and R, 16.16 fixed point.
void RefRun(const TGaussKernel& k, std::vector<uint32_t>& v) {
  const int32_t n = int32_t(v.size()), R = k.Radius;
  std::vector<uint32_t> out(v.size());
  for (int32_t p = 0; p < n; ++p) {
    uint32_t L = 0, Rw = 0, acc = 0;
    for (int32_t t = -R; t <= R; ++t) {
      if (p + t < 0) L += uint32_t(k.Kernel[100 + t]);
      else if (p + t > n - 1) Rw += uint32_t(k.Kernel[100 + t]);
    }
    acc = L * v[0] + 32768;
    for (int32_t t = -R; t <= R; ++t)
      if (p + t >= 0 && p + t <= n - 1) acc += uint32_t(k.Kernel[100 + t]) * v[size_t(p + t)];
    acc += Rw * v[size_t(n - 1)];
    out[size_t(p)] = acc >> 16;
  }
  v = out;
}

void RefBlur(TVXBitmap* b, double sigma) {
  TGaussKernel k;
  VXMakeGaussKernel(k, sigma);
  const int32_t W = b->Width(), H = b->Height(), C = b->PixelFormat() == vx8g ? 1 : 3;
  std::vector<uint32_t> run;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t c = 0; c < C; ++c) {
      uint8_t* row = static_cast<uint8_t*>(b->ScanLine(y));
      run.assign(size_t(W), 0);
      for (int32_t x = 0; x < W; ++x) run[size_t(x)] = row[C * x + c];
      RefRun(k, run);
      for (int32_t x = 0; x < W; ++x) row[C * x + c] = uint8_t(run[size_t(x)]);
    }
  for (int32_t x = 0; x < W; ++x)
    for (int32_t c = 0; c < C; ++c) {
      run.assign(size_t(H), 0);
      for (int32_t y = 0; y < H; ++y) run[size_t(y)] = static_cast<uint8_t*>(b->ScanLine(y))[C * x + c];
      RefRun(k, run);
      for (int32_t y = 0; y < H; ++y) static_cast<uint8_t*>(b->ScanLine(y))[C * x + c] = uint8_t(run[size_t(y)]);
    }
}

void RefSharpen(TVXBitmap* b, int32_t N, int32_t I) {
  TVXBitmap src(b);
  const int32_t W = b->Width(), H = b->Height(), h = N / 2;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const int32_t a = std::max(0, x - h), d = std::min(W - 1, x + h), e = std::max(0, y - h),
                    f = std::min(H - 1, y + h);
      const TRGB v = src.Pixels_vx24RGB(x, y);
      int64_t s[3] = {0, 0, 0};
      for (int32_t r = e; r <= f; ++r)
        for (int32_t q = a; q <= d; ++q)
          if (r != y && q != x) {
            const TRGB p = src.Pixels_vx24RGB(q, r);
            s[0] += p.b, s[1] += p.g, s[2] += p.r;
          }
      const int64_t count = int64_t(d - a) * (f - e);
      const uint8_t vv[3] = {v.b, v.g, v.r};
      uint8_t o[3];
      for (int c = 0; c < 3; ++c) {
        const int64_t mean = count ? s[c] / count : 0;
        o[c] = uint8_t(std::clamp(std::trunc((vv[c] - mean) * (I / 10.0) + vv[c]), 0.0, 255.0));
      }
      b->SetPixels_vx24RGB(x, y, TRGB{o[0], o[1], o[2]});
    }
}

// ---- convolution ----

TEST(Filters, ConvolveMatchesNumpyWithDyadicWeights) {
  SKIP_WITHOUT_NUMPY();
  auto image = Noise(37, 23, vx24RGB, 1);
  struct Case {
    int32_t kw, kh;
    std::vector<double> k;
    double factor;
  };
  const Case cases[] = {
      {3, 3, {0.25, -0.5, 0.25, 1, 2.5, -1, 0.125, 0.5, 0.75}, 0.5},
      {5, 5, {}, 0.0625},
      {7, 1, {-1, 0.5, 2, 4, 2, 0.5, -1}, 0.25},
  };
  for (const Case& c0 : cases) {
    Case c = c0;
    if (c.k.empty())
      for (int i = 0; i < 25; ++i) c.k.push_back(double((i * 7) % 9 - 3) / 4);
    std::string kernel(reinterpret_cast<const char*>(c.k.data()), c.k.size() * sizeof(double));
    const std::string want = numpy_oracle::Run(
        "a = load(0, np.uint8, (23, 37, 3)).astype(np.float64)\n"
        "k = load(1, '<f8', (" + std::to_string(c.kh) + ", " + std::to_string(c.kw) + "))\n"
        "hh, hw = k.shape[0] // 2, k.shape[1] // 2\n"
        "p = np.pad(a, ((hh, hh), (hw, hw), (0, 0)), mode='edge')\n"
        "s = np.zeros_like(a)\n"
        "for dy in range(k.shape[0]):\n"
        "    for dx in range(k.shape[1]):\n"
        "        s += k[dy, dx] * p[dy:dy + 23, dx:dx + 37]\n"
        "save(np.clip(np.round(s * " + std::to_string(c.factor) + "), 0, 255).astype(np.uint8))",
        {numpy_oracle::Pixels(image.get()), kernel});
    for (int32_t cores : {1, 0}) {
      SCOPED_TRACE(testing::Message() << c.kw << "x" << c.kh << " cores " << cores);
      Cores n(cores == 1 ? 1 : std::max(VXProcessorCount(), 4));
      TVXBitmap b(image.get());
      auto proc = TVexlaneProc::CreateFromBitmap(&b);
      proc->Convolve(c.k, c.kw, c.kh, c.factor);
      EXPECT_EQ(numpy_oracle::Pixels(&b), want);
    }
  }
}

// The vector path and the bands give the plain reference's bytes for random
// sizes (1-pixel axes too), kernels and rectangles.
TEST(Filters, ConvolveMatchesTheReference) {
  std::mt19937 rng(3);
  for (int iter = 0; iter < 40; ++iter) {
    const int32_t w = 1 + int32_t(rng() % 40), h = 1 + int32_t(rng() % 30);
    const int32_t kw = 1 + 2 * int32_t(rng() % 4), kh = 1 + 2 * int32_t(rng() % 4);
    std::vector<double> k(size_t(kw * kh));
    for (double& v : k) v = std::ldexp(double(int32_t(rng() % 20001) - 10000), -13) + 1.0 / 3;
    const double factor = 0.1 + double(rng() % 100) / 70;
    const int32_t x1 = int32_t(rng() % w), y1 = int32_t(rng() % h);
    const int32_t x2 = x1 + 1 + int32_t(rng() % (w + 3)), y2 = y1 + 1 + int32_t(rng() % (h + 3));
    auto image = Noise(w, h, vx24RGB, uint32_t(iter));
    TVXBitmap want(image.get());
    RefConvolve(&want, k, kw, kh, factor, x1, y1, x2, y2);
    for (int32_t cores : {1, 8}) {
      Cores n(cores);
      TVXBitmap b(image.get());
      VXDoConvolve(&b, k, nullptr, nullptr, x1, y1, x2, y2, factor, kh, kw);
      ASSERT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(&want))
          << w << "x" << h << " kernel " << kw << "x" << kh << " cores " << cores;
    }
  }
}

TEST(Filters, ConvolveEdgeCases) {
  auto image = Noise(9, 6, vx24RGB, 2);
  TVXBitmap b(image.get());
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&b);
  const std::vector<double> identity = {0, 0, 0, 0, 1, 0, 0, 0, 0};
  proc.Convolve(identity, 3, 3, 1);
  EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(image.get()));
  proc.Convolve(std::vector<double>{2}, 1, 1, 0);  // Factor 0
  EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(image.get()));
  const int32_t entries = proc.UndoCount();
  proc.ClearAllUndo();
  // Even sizes and short arrays are refused without an undo entry.
  proc.Convolve(std::vector<double>(16, 1.0), 4, 4, 1);
  proc.Convolve(std::vector<double>(8, 1.0), 3, 3, 1);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(image.get()));
  // A 1 x 1 kernel scales, halves to even.
  TVXBitmap one(1, 1, vx24RGB);
  one.SetPixels_vx24RGB(0, 0, TRGB{5, 7, 200});
  proc.SetAttachedVXBitmap(&one);
  proc.Convolve(std::vector<double>{0.5}, 1, 1, 1);
  EXPECT_EQ(one.Pixels_vx24RGB(0, 0), (TRGB{2, 4, 100}));
  // Other formats are left alone (no conversion).
  TVXBitmap grey(4, 4, vx8g);
  grey.Fill(9);
  VXDoConvolve(&grey, std::vector<double>{2}, nullptr, nullptr, 0, 0, 4, 4, 1, 1, 1);
  EXPECT_EQ(grey.Pixels_vx8(2, 2), 9);
  // Progress of the first band reaches the caller's thread and ends at 100.
  Cores n(1);
  auto big = Noise(20, 30, vx24RGB, 4);
  proc.SetAttachedVXBitmap(big.get());
  std::vector<int32_t> seen;
  const auto caller = std::this_thread::get_id();
  proc.OnProgress = [&](void*, int32_t p) {
    EXPECT_TRUE(std::this_thread::get_id() == caller);
    seen.push_back(p);
  };
  proc.Convolve(identity, 3, 3, 1);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
}

// ---- 3x3 filters and presets ----

TEST(Filters, PresetsMatchNumpy) {
  TVXLibraryGuard library;
  ASSERT_EQ(VXFilterPresetCount(), 9);
  const char* names[9] = {"None",        "Blur",        "Edges",      "Emboss",    "High Pass 1",
                          "High Pass 2", "High Pass 3", "Low Pass 1", "Low Pass 2"};
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(VXGetFilterPresetName(i), names[i]);
  EXPECT_EQ(VXGetFilterPreset(1)->Divisor, 9);
  EXPECT_THROW(VXGetFilterPreset(9), EVXException);
  EXPECT_THROW(VXGetFilterPresetName(-1), EVXException);
  EXPECT_EQ(VXBuiltInFilterPresetName(9), "");

  auto image = Noise(19, 11, vx24RGB, 5);
  for (int32_t i = 0; i < 9; ++i) {
    SCOPED_TRACE(names[i]);
    const TGraphFilter f = *VXGetFilterPreset(i);
    TVXBitmap b(image.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    proc->ApplyFilterPreset(i);
    if (i == 0) {
      EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(image.get()));
    }
    if (!numpy_oracle::Available()) continue;
    std::string weights(reinterpret_cast<const char*>(&f.Values[0][0]), 36);
    const std::string want = numpy_oracle::Run(
        "a = load(0, np.uint8, (11, 19, 3)).astype(np.int64)\n"
        "w = load(1, '<i4', (3, 3)).astype(np.int64)\n"
        "p = np.pad(a, ((1, 1), (1, 1), (0, 0)), mode='edge')\n"
        "s = sum(w[r, c] * p[r:r + 11, c:c + 19] for r in range(3) for c in range(3))\n"
        "save(np.clip(np.abs(s) // " + std::to_string(f.Divisor == 0 ? 1 : f.Divisor) + ", 0, 255).astype(np.uint8))",
        {numpy_oracle::Pixels(image.get()), weights});
    EXPECT_EQ(numpy_oracle::Pixels(&b), want);
  }
}

TEST(Filters, Filter3x3MatchesTheReference) {
  std::mt19937 rng(9);
  for (int iter = 0; iter < 30; ++iter) {
    const int32_t w = 1 + int32_t(rng() % 30), h = 1 + int32_t(rng() % 20);
    TGraphFilter f;
    const int32_t range = iter % 3 == 0 ? 5000000 : 20;  // wide weights take the 64-bit path
    for (auto& row : f.Values)
      for (int32_t& v : row) v = int32_t(rng() % (2 * range + 1)) - range;
    f.Divisor = int32_t(rng() % 40) - 5;
    for (TVXPixelFormat fmt : {vx24RGB, vx8g}) {
      auto image = Noise(w, h, fmt, uint32_t(iter));
      TVXBitmap want(image.get());
      RefFilter3x3(&want, f, fmt == vx8g ? 1 : 3);
      if (fmt == vx24RGB) {
        TProgressRec progress;
        VXApplyFilter3x3(image.get(), f, 0, 0, w + 5, h + 5, progress);
      } else {
        VXApplyFilter3x3Gray(image.get(), f, 0, 0, w, h);
      }
      ASSERT_EQ(numpy_oracle::Pixels(image.get()), numpy_oracle::Pixels(&want))
          << w << "x" << h << " divisor " << f.Divisor << " format " << int(fmt);
    }
  }
}

TEST(Filters, UserFilterFile) {
  char dir[] = "/tmp/vxfilter-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/f.flt";
  TGraphFilter f{{{1, -2, 3}, {-4, 5, -6}, {7, -8, 2147483647}}, -9};
  VXSaveGraphFilter(file, f);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 43u);
  EXPECT_EQ(bytes.substr(0, 3), std::string("\x01\x03\x03", 3));
  EXPECT_EQ(bytes.substr(7, 4), std::string("\xFE\xFF\xFF\xFF", 4));  // -2, little-endian
  TGraphFilter g;
  EXPECT_TRUE(VXLoadGraphFilter(file, g));
  EXPECT_EQ(std::memcmp(&g, &f, sizeof f), 0);
  // A bad header or a short file leaves the filter as it was.
  const TGraphFilter keep{{{9, 9, 9}, {9, 9, 9}, {9, 9, 9}}, 3};
  for (const std::string& damaged : {std::string("\x01\x03\x04", 3) + bytes.substr(3), bytes.substr(0, 42),
                                     bytes.substr(0, 3)}) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
    TGraphFilter h = keep;
    EXPECT_FALSE(VXLoadGraphFilter(file, h));
    EXPECT_EQ(std::memcmp(&h, &keep, sizeof h), 0);
  }
  TGraphFilter h = keep;
  EXPECT_FALSE(VXLoadGraphFilter(std::string(dir) + "/missing", h));
  std::remove(file.c_str());
  rmdir(dir);
}

// ---- Gaussian blur ----

TEST(Filters, GaussKernel) {
  TGaussKernel k;
  VXMakeGaussKernel(k, 2);
  EXPECT_EQ(k.Radius, 9);
  EXPECT_EQ(k.Kernel[100], 13073);
  EXPECT_EQ(k.Kernel[101], k.Kernel[99]);
  VXMakeGaussKernel(k, 10);
  EXPECT_EQ(k.Radius, 41);
  VXMakeGaussKernel(k, 0.1);
  EXPECT_EQ(k.Radius, 1);
}

TEST(Filters, BlurMatchesTheReference) {
  auto photo = Photo(64, 48);
  TVXBitmap want(photo.get());
  RefBlur(&want, 2);
  TVXBitmap b(photo.get());
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  proc->Blur(2);
  EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(&want));
  // Random sizes, sigmas and both formats.
  std::mt19937 rng(11);
  for (int iter = 0; iter < 30; ++iter) {
    const int32_t w = 1 + int32_t(rng() % 50), h = 1 + int32_t(rng() % 40);
    const double sigma = 0.2 + double(rng() % 100) / 9;
    for (TVXPixelFormat fmt : {vx24RGB, vx8g}) {
      auto image = Noise(w, h, fmt, uint32_t(iter));
      TVXBitmap ref(image.get());
      RefBlur(&ref, sigma);
      VXDoGaussianBlur(image.get(), nullptr, nullptr, sigma);
      ASSERT_EQ(numpy_oracle::Pixels(image.get()), numpy_oracle::Pixels(&ref))
          << w << "x" << h << " sigma " << sigma << " format " << int(fmt);
    }
  }
  // Flat and 1 x 1 images stay as they are; the row routines agree.
  TVXBitmap flat(30, 20, vx24RGB), dot(1, 1, vx24RGB);
  flat.Fill(0x336699);
  dot.SetPixels_vx24RGB(0, 0, TRGB{1, 2, 3});
  VXDoGaussianBlur(&flat, nullptr, nullptr, 5);
  VXDoGaussianBlur(&dot, nullptr, nullptr, 5);
  EXPECT_EQ(flat.Pixels_vx24RGB(0, 19), flat.Pixels_vx24RGB(15, 10));
  EXPECT_EQ(flat.Pixels_vx24RGB(15, 10), (TRGB{0x33, 0x66, 0x99}));
  EXPECT_EQ(dot.Pixels_vx24RGB(0, 0), (TRGB{1, 2, 3}));
  TGaussKernel k;
  VXMakeGaussKernel(k, 1.5);
  std::vector<uint8_t> row = {0, 0, 255, 10, 200, 3, 3}, out(row.size());
  std::vector<uint32_t> ref(row.begin(), row.end());
  RefRun(k, ref);
  VXGaussBlurRow8(k, row.data(), out.data(), int32_t(row.size()));
  for (size_t i = 0; i < row.size(); ++i) EXPECT_EQ(out[i], ref[i]);
}

TEST(Filters, BlurOfAGreyRectangle) {
  auto image = Noise(20, 16, vx8g, 12);
  TVXBitmap original(image.get());
  // The rectangle blurs as an image of its own; the rest stays.
  TVXBitmap part(image.get(), TRect{3, 2, 12, 10});
  RefBlur(&part, 1.7);
  VXGaussianBlurGray(image.get(), 12, 10, 3, 2, 1.7);  // corners out of order: empty
  EXPECT_EQ(numpy_oracle::Pixels(image.get()), numpy_oracle::Pixels(&original));
  VXGaussianBlurGray(image.get(), 3, 2, 12, 10, 1.7);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool inside = x >= 3 && x <= 12 && y >= 2 && y <= 10;
      ASSERT_EQ(image->Pixels_vx8(x, y), inside ? part.Pixels_vx8(x - 3, y - 2) : original.Pixels_vx8(x, y));
    }
  VXGaussianBlurGray(image.get(), -5, -5, 100, 100, 0);  // sigma 0: nothing
  VXGaussianBlurGray(image.get(), -5, -5, 100, 100, -1);
  EXPECT_EQ(image->Pixels_vx8(5, 5), part.Pixels_vx8(2, 3));
}

TEST(Filters, BlurAgainstImageMagick) {
  if (access("/usr/bin/convert", X_OK) != 0) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed";
  auto photo = Photo(160, 120);
  char dir[] = "/tmp/vxblur-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string in = std::string(dir) + "/in.ppm", out = std::string(dir) + "/out.rgb";
  {
    std::ofstream f(in, std::ios::binary);
    f << "P6\n160 120\n255\n";
    for (int32_t y = 0; y < 120; ++y)
      for (int32_t x = 0; x < 160; ++x) {
        const TRGB p = photo->Pixels_vx24RGB(x, y);
        f << char(p.r) << char(p.g) << char(p.b);
      }
  }
  ASSERT_EQ(std::system(("/usr/bin/convert " + in + " -blur 0x2 -depth 8 rgb:" + out).c_str()), 0);
  std::ifstream f(out, std::ios::binary);
  const std::string magick((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(magick.size(), size_t(160 * 120 * 3));
  auto proc = TVexlaneProc::CreateFromBitmap(photo.get());
  proc->Blur(2);
  int maxDiff = 0;
  double total = 0;
  for (int32_t y = 0; y < 120; ++y)
    for (int32_t x = 0; x < 160; ++x) {
      const TRGB p = photo->Pixels_vx24RGB(x, y);
      const uint8_t ours[3] = {p.r, p.g, p.b};
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(int(ours[c]) - int(uint8_t(magick[size_t(3 * (y * 160 + x) + c)])));
        maxDiff = std::max(maxDiff, d);
        total += d;
      }
    }
  EXPECT_LE(maxDiff, 2);
  EXPECT_LT(total / (160 * 120 * 3), 1.0);
  std::remove(in.c_str());
  std::remove(out.c_str());
  rmdir(dir);
}

TEST(Filters, BlurThroughTheComponent) {
  auto image = Noise(10, 8, vx24RGB, 13);
  TVXBitmap original(image.get());
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(image.get());
  for (double sigma : {0.0, -2.0}) {
    proc.Blur(sigma);
    EXPECT_EQ(numpy_oracle::Pixels(image.get()), numpy_oracle::Pixels(&original));
  }
  EXPECT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaptions(0), "Blur -2.00");
  // Other formats are converted to vx24RGB first (AutoConvertFormat).
  TVXBitmap grey48(4, 4, vx48RGB);
  proc.SetAttachedVXBitmap(&grey48);
  proc.Blur(1);
  EXPECT_EQ(grey48.PixelFormat(), vx24RGB);
}

// ---- sharpening ----

TEST(Filters, Sharpen) {
  auto image = Noise(23, 17, vx24RGB, 14);
  for (auto [n, intensity] : {std::pair{0, 7}, {1, -4}, {3, 10}, {5, 25}, {8, 3}}) {
    SCOPED_TRACE(testing::Message() << "neighbourhood " << n << " intensity " << intensity);
    TVXBitmap want(image.get());
    RefSharpen(&want, n, intensity);
    TVXBitmap b(image.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    proc->Sharpen(intensity, n);
    EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(&want));
    if (n <= 1) {
      const uint8_t v = image->Pixels_vx24RGB(4, 4).g;
      EXPECT_EQ(b.Pixels_vx24RGB(4, 4).g, uint8_t(std::clamp(std::trunc(v * (1 + intensity / 10.0)), 0.0, 255.0)));
    }
  }
  // A smaller rectangle leaves the pixels outside it as they were.
  TVXBitmap b(image.get());
  VXDoSharpen(&b, 5, 4, nullptr, nullptr, 3, 20, 9, 12);
  EXPECT_EQ(b.Pixels_vx24RGB(0, 0), image->Pixels_vx24RGB(0, 0));
  EXPECT_EQ(b.Pixels_vx24RGB(12, 9), image->Pixels_vx24RGB(12, 9));
}

TEST(Filters, UnsharpMask) {
  auto image = Photo(40, 30);
  for (auto [amount, threshold] : {std::pair{0.0, 0.0}, {1.5, 2.01}}) {
    TVXBitmap b(image.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    proc->UnsharpMask(2, amount, threshold);
    EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(image.get()));
  }
  // Otherwise every pixel that differs from its blurred value moves by
  // Round(diff x Amount).
  TVXBitmap blurred(image.get());
  RefBlur(&blurred, 2);
  TVXBitmap b(image.get());
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  proc->UnsharpMask(2, 0.5, 0.02);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const int32_t v = image->Pixels_vx24RGB(x, y).r, diff = v - blurred.Pixels_vx24RGB(x, y).r;
      const int32_t want = std::abs(2 * diff) >= 0.02 * 255
                               ? int32_t(std::clamp(std::nearbyint(diff * 0.5 + v), 0.0, 255.0))
                               : v;
      ASSERT_EQ(b.Pixels_vx24RGB(x, y).r, want) << x << "," << y;
    }
}

// ---- shadows ----

TEST(Filters, Shadows) {
  EXPECT_EQ(VXSoftShadowMargin(0, 0, 0), 1);
  EXPECT_EQ(VXSoftShadowMargin(3, -5, 1.5), 17);
  // AdaptSize: the canvas grows by the margin, the picture centred.
  auto image = Photo(100, 50);
  TVXBitmap original(image.get());
  auto proc = TVexlaneProc::CreateFromBitmap(image.get());
  proc->AddSoftShadow(1.5, 3, -5, true, 0x000000, 100);
  ASSERT_EQ(image->Width(), 117);
  ASSERT_EQ(image->Height(), 67);
  EXPECT_EQ(image->Pixels_vx24RGB(8 + 40, 8 + 20), original.Pixels_vx24RGB(40, 20));
  EXPECT_EQ(image->AlphaChannel()->Pixels_vx8(8 + 40, 8 + 20), 255);
  EXPECT_EQ(image->AlphaChannel()->Pixels_vx8(0, 0), 0);
  // Below the picture's right edge the shadow shows (offset 3, -5).
  EXPECT_GT(image->AlphaChannel()->Pixels_vx8(8 + 101, 30), 0);
  EXPECT_EQ(image->Pixels_vx24RGB(8 + 101, 30), (TRGB{0, 0, 0}));
  // Intensity 0 divides the shadow's alpha by 3.
  auto image3 = Photo(100, 50);
  auto proc3 = TVexlaneProc::CreateFromBitmap(image3.get());
  proc3->AddSoftShadow(1.5, 3, -5, true, 0x000000, -20);
  EXPECT_EQ(image3->AlphaChannel()->Pixels_vx8(8 + 101, 30), image->AlphaChannel()->Pixels_vx8(8 + 101, 30) / 3);
  // A fully opaque image without AdaptSize stays as it was.
  auto opaque = Photo(30, 20);
  TVXBitmap opaque0(opaque.get());
  proc->SetAttachedVXBitmap(opaque.get());
  proc->AddSoftShadow(2, 4, 4, false, 0x0000FF, 50);
  EXPECT_EQ(numpy_oracle::Pixels(opaque.get()), numpy_oracle::Pixels(&opaque0));
  EXPECT_EQ(opaque->AlphaChannel()->Pixels_vx8(0, 0), 255);
  // The inner shadow darkens a band along the borders of an opaque image.
  TVXBitmap white(40, 30, vx24RGB);
  white.Fill(0xFFFFFF);
  proc->SetAttachedVXBitmap(&white);
  proc->AddInnerShadow(2, 0, 0, 0x000000);
  EXPECT_LT(white.Pixels_vx24RGB(0, 15).r, 200);
  EXPECT_LT(white.Pixels_vx24RGB(20, 29).r, 200);
  EXPECT_EQ(white.Pixels_vx24RGB(20, 15), (TRGB{255, 255, 255}));
  EXPECT_LT(white.Pixels_vx24RGB(0, 15).r, white.Pixels_vx24RGB(3, 15).r);
}

TEST(Filters, ShadowOfARectangle) {
  TVXLibraryGuard library;  // the box preset
  TVXBitmap b(60, 40, vx24RGB);
  b.Fill(0xFFFFFF);
  TVXBitmap* a = b.AlphaChannel();
  a->Fill(0);
  a->FillRect(20, 10, 39, 24, 255);
  EXPECT_EQ(VXAddSoftShadowRect(&b, 3, 2, 20, 10, 39, 24, 0x000000, 100, 0), 2 * 3 + 10);
  EXPECT_EQ(b.AlphaChannel()->Pixels_vx8(30, 15), 255);
  EXPECT_EQ(b.Pixels_vx24RGB(30, 15), (TRGB{255, 255, 255}));
  EXPECT_GT(b.AlphaChannel()->Pixels_vx8(41, 26), 0);  // shadow below right
  EXPECT_EQ(b.Pixels_vx24RGB(41, 26), (TRGB{0, 0, 0}));
  EXPECT_EQ(b.AlphaChannel()->Pixels_vx8(2, 2), 0);
  EXPECT_EQ(VXAddSoftShadowRect(&b, 0, 0, 20, 10, 39, 24, 0, 100, 1.5), 7);
}

TEST(Filters, MoveRegion) {
  TVXBitmap b(6, 4, vx8g);
  for (int32_t x = 0; x < 6; ++x) b.FillRect(x, 0, x, 3, 10 * x);
  b.MoveRegion(1, 0, 2, 3, 4, 1, 99, true);
  EXPECT_EQ(b.Pixels_vx8(1, 0), 99);
  EXPECT_EQ(b.Pixels_vx8(4, 1), 10);
  EXPECT_EQ(b.Pixels_vx8(5, 3), 20);
  EXPECT_EQ(b.Pixels_vx8(4, 0), 40);
}

// ---- with a selection ----

TEST(Filters, SelectionLimitsTheFiltersAndUndoRestores) {
  TVXLibraryGuard library;
  const std::vector<double> kernel = {1, 2, 1, 2, 4, 2, 1, 2, 1};
  const std::vector<std::pair<const char*, std::function<void(TVexlaneProc&)>>> ops = {
      {"Convolve", [&](TVexlaneProc& p) { p.Convolve(kernel, 3, 3, 1.0 / 16); }},
      {"ApplyFilter", [](TVexlaneProc& p) { p.ApplyFilterPreset(2); }},
      {"Blur", [](TVexlaneProc& p) { p.Blur(3); }},
  };
  for (const auto& [name, op] : ops) {
    SCOPED_TRACE(name);
    ExpectSelectionOnlyAndUndo(op, 15, 50);
  }
}

}  // namespace
