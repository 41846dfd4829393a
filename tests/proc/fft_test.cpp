// The Fourier image: the transform against a plain one-row-at-a-time
// reference (bit for bit) and numpy's FFT, the spectrum picture, the inverse,
// the filters, the grid sizes and the component's wrappers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/ftimage.h"
#include "proc/proc.h"
#include "resample/resample.h"

namespace {

using procfixture::Noise;
using procfixture::Photo;

// ---- the plain transform, one row at a time, as the algorithm reads ----

struct RefTables {
  int32_t N = 1, nn = 0;
  std::vector<double> sintab;
  std::vector<int32_t> bittab, powers;
  explicit RefTables(int32_t n) : N(n) {
    nn = int32_t(std::log(double(N)) / std::log(2.0) + 0.5);
    for (int32_t i = 0; i <= nn; ++i) powers.push_back(int32_t(std::pow(2.0, i) + 0.5));
    for (int32_t i = 0; i < N; ++i) sintab.push_back(std::sin(i * 6.283185307179587 / N));
    for (int32_t i = 0; i < N; ++i) {
      int32_t r = 0;
      for (int32_t b = 0; b < nn; ++b) r |= ((i >> b) & 1) << (nn - 1 - b);
      bittab.push_back(r);
    }
  }
};

// v: N real parts, then N imaginary parts.
void RefButterflies(const RefTables& t, float* v, int32_t depth, int32_t index, double d) {
  const int32_t N = t.N, power = t.powers[size_t(t.nn - depth)];
  const int32_t a = t.bittab[size_t(index / power)];
  const double cosine = N >= 4 ? t.sintab[size_t((a + N / 4) % N)] : (a == 0 ? 1.0 : -1.0);
  const float c = float(cosine), s = float(d * t.sintab[size_t(a)]);
  for (int32_t k = 0; k < power; ++k) {
    const int32_t i = index + k, j = index + k + power;
    const float tr = v[j] * c - v[N + j] * s;
    const float ti = v[j] * s + v[N + j] * c;
    const float ur = v[i], ui = v[N + i];
    v[i] = ur + tr;
    v[N + i] = ui + ti;
    v[j] = ur - tr;
    v[N + j] = ui - ti;
  }
  if (depth < t.nn) {
    RefButterflies(t, v, depth + 1, index, d);
    RefButterflies(t, v, depth + 1, index + power, d);
  }
}

void RefFFT(const RefTables& t, float* v, int32_t direction) {
  const int32_t N = t.N;
  const double d = direction == 1 ? 1.0 : -1.0;
  if (t.nn >= 1) RefButterflies(t, v, 1, 0, d);
  for (int32_t i = 0; i < N; ++i) {
    const int32_t j = t.bittab[size_t(i)];
    if (i >= j) {
      std::swap(v[i], v[j]);
      std::swap(v[N + i], v[N + j]);
    }
  }
  const float scale = float(1.0 / std::sqrt(double(N)));
  for (int32_t i = 0; i < 2 * N; ++i) v[i] = v[i] * scale;
}

// A plane as N rows of 2N singles.
using Plane = std::vector<float>;

void RefFFT2D(int32_t N, Plane& p, int32_t direction) {
  RefTables t(N);
  for (int32_t y = 0; y < N; ++y) RefFFT(t, p.data() + size_t(y) * 2 * N, direction);
  std::vector<float> col(size_t(2 * N));
  for (int32_t x = 0; x < N; ++x) {
    for (int32_t y = 0; y < N; ++y) {
      col[size_t(y)] = p[size_t(y) * 2 * N + x];
      col[size_t(N + y)] = p[size_t(y) * 2 * N + N + x];
    }
    RefFFT(t, col.data(), direction);
    for (int32_t y = 0; y < N; ++y) {
      p[size_t(y) * 2 * N + x] = col[size_t(y)];
      p[size_t(y) * 2 * N + N + x] = col[size_t(N + y)];
    }
  }
}

int32_t GridOf(int32_t w, int32_t h) {
  int32_t n = 1;
  while (n < std::max(w, h)) n *= 2;
  return n;
}

// The forward planes of the algorithm: channel byte (0 blue, 1 green, 2 red;
// -1 the grey level) centred in the grid, divided by the maximum, odd cells
// negated, transformed.
Plane RefForward(TVXBitmap* b, int32_t channel) {
  const int32_t W = b->Width(), H = b->Height(), N = GridOf(W, H), ox = (N - W) / 2, oy = (N - H) / 2;
  Plane p(size_t(N) * 2 * N, 0.0f);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const TRGB c = b->Pixels_vx24RGB(x, y);
      const int32_t v = channel < 0 ? (c.r * 21 + c.g * 71 + c.b * 8) / 100 : channel == 0 ? c.b : channel == 1 ? c.g : c.r;
      p[size_t(oy + y) * 2 * N + ox + x] = float(v);
    }
  float mx = 1;
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N; ++x) mx = std::max(mx, p[size_t(y) * 2 * N + x]);
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N; ++x) {
      float& re = p[size_t(y) * 2 * N + x];
      float& im = p[size_t(y) * 2 * N + N + x];
      re = re / mx;
      if ((x + y) & 1) re = -re, im = -im;
    }
  RefFFT2D(N, p, -1);
  return p;
}

// The inverse picture bytes of one plane: |real part| stretched from the
// grid's range, the source's cells.
std::vector<uint8_t> RefInverse(Plane p, int32_t N, int32_t W, int32_t H) {
  RefFFT2D(N, p, 1);
  float mn = 1e30f, mx = -1e30f;
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N; ++x) {
      const float v = std::fabs(p[size_t(y) * 2 * N + x]);
      mn = std::min(mn, v);
      mx = std::max(mx, v);
    }
  std::vector<uint8_t> out;
  const int32_t ox = (N - W) / 2, oy = (N - H) / 2;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const float v = std::fabs(p[size_t(oy + y) * 2 * N + ox + x]);
      const float s = mx == mn ? 0.0f : float((double(v) - mn) * 255.0 / (double(mx) - mn));
      out.push_back(uint8_t(std::clamp<int64_t>(int64_t(s), 0, 255)));
    }
  return out;
}

std::vector<uint8_t> Channel(TVXBitmap* b, int32_t byte) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x) out.push_back(static_cast<uint8_t*>(b->ScanLine(y))[3 * x + byte]);
  return out;
}

bool SamePlane(const TVXCOMPLEX_IMAGE* a, const Plane& b) {
  const int32_t N = a->Size();
  for (int32_t y = 0; y < N; ++y)
    if (std::memcmp((*a)[y], b.data() + size_t(y) * 2 * N, size_t(2 * N) * sizeof(float)) != 0) return false;
  return true;
}

// An image whose grid is N, padded in one direction (alternating).
std::unique_ptr<TVXBitmap> ImageForGrid(int32_t N, uint32_t seed) {
  const int32_t shortSide = N == 1 ? 1 : N / 2 + 1;
  return seed % 2 ? Noise(N, shortSide, vx24RGB, seed) : Noise(shortSide, N, vx24RGB, seed);
}

// ---- the transform ----

// Restores the wide loops when a test ends.
struct BaselineLoops {
  explicit BaselineLoops(bool on) { vxdetail::VXFtImageForceBaseline(on); }
  ~BaselineLoops() { vxdetail::VXFtImageForceBaseline(false); }
};

TEST(FtImage, TransformEqualsThePlainTransformBitForBit) {
  for (int32_t N = 1, pass = 0; N <= 256; pass ? N *= 2, pass = 0 : pass = 1) {
    // Both the baseline and (where the processor has it) the AVX2 loops.
    BaselineLoops baseline(pass == 1);
    SCOPED_TRACE(std::to_string(N) + (pass ? " baseline" : ""));
    auto img = ImageForGrid(N, uint32_t(N) + 3);
    const int32_t W = img->Width(), H = img->Height();
    TVXFtImage rgb, grey;
    rgb.BuildFT(img.get(), vxitRGB);
    grey.BuildFT(img.get(), vxitGrayscale);
    ASSERT_EQ(rgb.FFTN(), N);
    const Plane r = RefForward(img.get(), 2), g = RefForward(img.get(), 1), b = RefForward(img.get(), 0),
                gr = RefForward(img.get(), -1);
    EXPECT_TRUE(SamePlane(rgb.fftr(), r));
    EXPECT_TRUE(SamePlane(rgb.fftg(), g));
    EXPECT_TRUE(SamePlane(rgb.fftb(), b));
    EXPECT_TRUE(SamePlane(grey.fftgray(), gr));
    EXPECT_EQ(rgb.fftgray(), nullptr);
    EXPECT_EQ(grey.fftr(), nullptr);
    // The inverse, byte for byte.
    TVXBitmap back, backGrey;
    rgb.BuildBitmap(&back);
    grey.BuildBitmap(&backGrey);
    ASSERT_EQ(back.Width(), W);
    ASSERT_EQ(back.Height(), H);
    EXPECT_EQ(Channel(&back, 2), RefInverse(r, N, W, H));
    EXPECT_EQ(Channel(&back, 1), RefInverse(g, N, W, H));
    EXPECT_EQ(Channel(&back, 0), RefInverse(b, N, W, H));
    for (int32_t byte = 0; byte < 3; ++byte) EXPECT_EQ(Channel(&backGrey, byte), RefInverse(gr, N, W, H));
  }
}

TEST(FtImage, ForwardPlanesMatchNumpy) {
  SKIP_WITHOUT_NUMPY();
  std::vector<std::string> inputs;
  std::vector<std::unique_ptr<TVXBitmap>> images;
  std::string sizes;
  for (int32_t N = 1; N <= 1024; N *= 2) {
    images.push_back(N >= 64 ? Photo(N == 64 ? 64 : N, N * 3 / 4 + 1) : ImageForGrid(N, uint32_t(N)));
    inputs.push_back(numpy_oracle::Pixels(images.back().get()));
    sizes += "(" + std::to_string(images.back()->Width()) + "," + std::to_string(images.back()->Height()) + "),";
  }
  // Planes red, green, blue, grey per image, complex64.
  const std::string out = numpy_oracle::Run(
      "out = []\n"
      "for i, (w, h) in enumerate([" + sizes + "]):\n"
      "    img = load(i, np.uint8, (h, w, 3)).astype(np.int64)\n"
      "    n = 1\n"
      "    while n < max(w, h): n *= 2\n"
      "    ox, oy = (n - w) // 2, (n - h) // 2\n"
      "    chans = [img[:, :, 2], img[:, :, 1], img[:, :, 0],\n"
      "             (img[:, :, 2] * 21 + img[:, :, 1] * 71 + img[:, :, 0] * 8) // 100]\n"
      "    for c in chans:\n"
      "        p = np.zeros((n, n), np.float64)\n"
      "        p[oy:oy + h, ox:ox + w] = c\n"
      "        p /= max(1.0, p.max())\n"
      "        out.append(np.fft.fftshift(np.fft.fft2(p, norm='ortho')).astype(np.complex64).ravel())\n"
      "save(np.concatenate(out))\n",
      inputs);
  size_t at = 0;
  for (size_t i = 0; i < images.size(); ++i) {
    TVXBitmap* img = images[i].get();
    const int32_t N = GridOf(img->Width(), img->Height());
    SCOPED_TRACE(N);
    TVXFtImage rgb, grey;
    rgb.BuildFT(img, vxitRGB);
    grey.BuildFT(img, vxitGrayscale);
    for (const TVXCOMPLEX_IMAGE* plane : {rgb.fftr(), rgb.fftg(), rgb.fftb(), grey.fftgray()}) {
      ASSERT_LE(at + size_t(N) * N * 8, out.size());
      const float* ref = reinterpret_cast<const float*>(out.data() + at);
      at += size_t(N) * N * 8;
      // Errors of a unitary single-precision FFT grow with the norm of the
      // plane and the number of stages: a few units of the single's epsilon
      // per stage.
      double norm = 0, worst = 0;
      for (size_t k = 0; k < size_t(N) * N; ++k) norm += double(ref[2 * k]) * ref[2 * k] + double(ref[2 * k + 1]) * ref[2 * k + 1];
      for (int32_t y = 0; y < N; ++y)
        for (int32_t x = 0; x < N; ++x) {
          const float* r = ref + 2 * (size_t(y) * N + x);
          worst = std::max({worst, std::fabs(double((*plane)[y][x]) - r[0]), std::fabs(double((*plane)[y][N + x]) - r[1])});
        }
      const double stages = std::log2(double(N)) + 1;
      EXPECT_LE(worst, 6e-8 * stages * std::sqrt(norm) + 2.4e-7) << "norm " << std::sqrt(norm);
    }
  }
  EXPECT_EQ(at, out.size());
}

TEST(FtImage, RoundTripStretchesTheLevels) {
  struct Case {
    int32_t w, h;
    TVXFtImageType type;
    int lo, hi;  // levels of the picture
  };
  for (const Case c : {Case{64, 64, vxitRGB, 50, 200}, Case{64, 64, vxitGrayscale, 50, 200}, Case{60, 40, vxitRGB, 30, 180},
                       Case{33, 64, vxitGrayscale, 10, 90}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    TVXBitmap img(c.w, c.h, vx24RGB);
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        const int v = c.lo + (x * 7 + y * 13) % (c.hi - c.lo + 1);
        img.SetPixels_vx24RGB(x, y, TRGB{uint8_t(v), uint8_t(c.hi + c.lo - v), uint8_t(v)});
      }
    TVXFtImage ft;
    ft.BuildFT(&img, c.type);
    TVXBitmap back;
    ft.BuildBitmap(&back);
    ASSERT_EQ(back.Width(), c.w);
    ASSERT_EQ(back.Height(), c.h);
    EXPECT_EQ(back.PixelFormat(), vx24RGB);
    auto Grey = [](TRGB q) { return (q.r * 21 + q.g * 71 + q.b * 8) / 100; };
    int greyLo = 255, greyHi = 0;
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        greyLo = std::min(greyLo, Grey(img.Pixels_vx24RGB(x, y)));
        greyHi = std::max(greyHi, Grey(img.Pixels_vx24RGB(x, y)));
      }
    // A picture filling the grid stretches from its own lowest level; a
    // padded one from the black border.
    const bool fills = c.w == 64 && c.h == 64;
    int worst = 0;
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        const TRGB s = img.Pixels_vx24RGB(x, y), r = back.Pixels_vx24RGB(x, y);
        const int srcs[3] = {s.b, s.g, s.r}, got[3] = {r.b, r.g, r.r};
        for (int k = 0; k < 3; ++k) {
          int lv = srcs[k], lo = c.lo, hi = c.hi;
          if (c.type == vxitGrayscale) lv = Grey(s), lo = greyLo, hi = greyHi;
          if (!fills) lo = 0;
          const double want = double(lv - lo) * 255.0 / (hi - lo);
          worst = std::max(worst, int(std::fabs(want - got[k]) + 0.999));
        }
      }
    EXPECT_LE(worst, 1);
  }
  // One colour over the whole grid comes back black.
  for (TVXFtImageType type : {vxitRGB, vxitGrayscale}) {
    TVXBitmap flat(64, 64, vx24RGB);
    flat.Fill(0x336699);
    TVXFtImage ft;
    ft.BuildFT(&flat, type);
    TVXBitmap back;
    ft.BuildBitmap(&back);
    ASSERT_EQ(back.Width(), 64);
    EXPECT_EQ(numpy_oracle::Pixels(&back), std::string(64 * 64 * 3, '\0'));
  }
}

TEST(FtImage, SpectrumPictureFollowsThePlanes) {
  auto img = Photo(50, 70);
  for (TVXFtImageType type : {vxitRGB, vxitGrayscale}) {
    TVXFtImage ft;
    ft.BuildFT(img.get(), type);
    ft.HiPass(2);  // zero cells too
    TVXBitmap pic;
    ft.GetFTImage(&pic);
    const int32_t N = ft.FFTN();
    ASSERT_EQ(N, 128);
    ASSERT_EQ(pic.Width(), N);
    ASSERT_EQ(pic.Height(), N);
    ASSERT_EQ(pic.PixelFormat(), vx24RGB);
    std::vector<const TVXCOMPLEX_IMAGE*> planes = {ft.fftb(), ft.fftg(), ft.fftr()};  // bytes 0, 1, 2
    if (type == vxitGrayscale) planes = {ft.fftgray(), ft.fftgray(), ft.fftgray()};
    int worst = 0;
    for (int byte = 0; byte < 3; ++byte) {
      const TVXCOMPLEX_IMAGE& p = *planes[size_t(byte)];
      std::vector<double> L;
      double mn = 1e20, mx = -1e20;
      for (int32_t y = 0; y < N; ++y)
        for (int32_t x = 0; x < N; ++x) {
          const double m = std::hypot(double(p[y][x]), double(p[y][N + x]));
          L.push_back(m == 0 ? 0 : std::log(std::sqrt(m)));
          mn = std::min(mn, L.back()), mx = std::max(mx, L.back());
        }
      if (std::fabs(mn) < 1e-5) mn = 0;
      for (int32_t y = 0; y < N; ++y)
        for (int32_t x = 0; x < N; ++x) {
          const double want = std::clamp((L[size_t(y) * N + x] - mn) * 255 / (mx - mn), 0.0, 255.0);
          worst = std::max(worst, int(std::ceil(std::fabs(want - static_cast<uint8_t*>(pic.ScanLine(y))[3 * x + byte]))));
        }
    }
    EXPECT_LE(worst, 1);
  }
}

// ---- sizes, cells and filters ----

TEST(FtImage, GridAndSourceSizes) {
  struct Case {
    int32_t w, h, grid;
  };
  for (const Case c : {Case{300, 200, 512}, Case{256, 256, 256}, Case{1, 1, 1}, Case{2, 1, 2}, Case{257, 3, 512},
                       Case{0, 0, 1}}) {
    int32_t n = -1;
    TVXFtImage::CalcFFTImageSize(c.w, c.h, n);
    EXPECT_EQ(n, c.grid) << c.w << "x" << c.h;
  }
  struct Source {
    int32_t w, h, nw, nh;
  };
  for (const Source c : {Source{900, 600, 300, 200}, Source{200, 100, 128, 64}, Source{600, 900, 200, 300},
                         Source{100, 100, 128, 128}, Source{0, 0, 0, 128}}) {
    int32_t nw = -1, nh = -1;
    TVXFtImage::CalcSuitableSourceSize(c.w, c.h, nw, nh);
    EXPECT_EQ(nw, c.nw) << c.w << "x" << c.h;
    EXPECT_EQ(nh, c.nh) << c.w << "x" << c.h;
  }
  // The tables of a grid of 8.
  auto img = Noise(8, 5, vx24RGB, 1);
  TVXFtImage ft;
  ft.BuildFT(img.get(), vxitGrayscale);
  EXPECT_EQ(ft.powers(), (std::vector<int32_t>{1, 2, 4, 8}));
  EXPECT_EQ(ft.bittabpt(), (std::vector<int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));
  EXPECT_DOUBLE_EQ(ft.sintabpt()[2], 1.0);
  EXPECT_EQ(ft.OX(), 0);
  EXPECT_EQ(ft.OY(), 1);
}

// The cells a filter zeroed (both parts 0 in every plane).
std::vector<std::pair<int32_t, int32_t>> ZeroCells(TVXFtImage& ft) {
  std::vector<std::pair<int32_t, int32_t>> out;
  for (int32_t y = 0; y < ft.FFTN(); ++y)
    for (int32_t x = 0; x < ft.FFTN(); ++x) {
      const TVXComplexColor c = ft.GetComplexImage(x, y);
      if (*c.real_Red == 0 && *c.imag_Red == 0 && *c.real_Green == 0 && *c.imag_Green == 0 && *c.real_Blue == 0 &&
          *c.imag_Blue == 0)
        out.emplace_back(x, y);
    }
  return out;
}

TEST(FtImage, PassFiltersAndZones) {
  auto img = Photo(32, 32);
  TVXFtImage ft;
  ft.BuildFT(img.get(), vxitRGB);
  ASSERT_TRUE(ZeroCells(ft).empty());
  {
    TVXFtImage hi;
    hi.Assign(&ft);
    hi.HiPass(0);
    EXPECT_EQ(ZeroCells(hi), (std::vector<std::pair<int32_t, int32_t>>{{16, 16}}));
    hi.HiPass(1);  // the centre and its four neighbours (distance 1), diagonals are Trunc(1.41) = 1 too
    EXPECT_EQ(ZeroCells(hi).size(), 9u);
    // Assign made a deep copy.
    EXPECT_TRUE(ZeroCells(ft).empty());
  }
  {
    TVXFtImage lo;
    lo.Assign(&ft);
    lo.LoPass(32);
    EXPECT_TRUE(ZeroCells(lo).empty());
    lo.LoPass(0);
    EXPECT_EQ(ZeroCells(lo).size(), 32u * 32 - 1);
  }
  {
    // Rectangles are cut to the grid.
    TVXFtImage z;
    z.Assign(&ft);
    z.ClearZone(-5, 30, 1, 100, 0, 0);
    EXPECT_EQ(ZeroCells(z).size(), 2u * 2);
    z.ClearZone(40, 40, 50, 50, 0, 0);
    z.ClearZone(5, 5, 4, 4, 0, 0);
    EXPECT_EQ(ZeroCells(z).size(), 4u);
    z.ClearZone(3, 4, 3, 4, 7, -2);
    const TVXComplexColor c = z.GetComplexImage(3, 4);
    EXPECT_EQ(*c.real_Green, 7.0f);
    EXPECT_EQ(*c.imag_Blue, -2.0f);
  }
  {
    // A mask larger than the grid is read where they overlap.
    TVXFtImage z;
    z.Assign(&ft);
    TVXMask m;
    m.AllocateBits(100, 80, 8);
    m.SetRectangle(30, 2, 90, 3, 255);
    m.SyncRect();
    z.ClearZone(&m, 0, 0);
    EXPECT_EQ(ZeroCells(z).size(), 2u * 2);
    TVXMask bits;
    bits.AllocateBits(10, 10, 1);
    bits.SetPixel(4, 5, 1);
    bits.SyncRect();
    z.ClearZone(&bits, 0, 0);
    EXPECT_EQ(ZeroCells(z).size(), 5u);
  }
  // Cells of a grey transform; outside the grid nothing.
  TVXFtImage grey;
  grey.BuildFT(img.get(), vxitGrayscale);
  const TVXComplexColor g = grey.GetComplexImage(5, 6);
  EXPECT_EQ(g.real_gray, &(*grey.fftgray())[6][5]);
  EXPECT_EQ(g.imag_gray, &(*grey.fftgray())[6][32 + 5]);
  for (float* p : {g.real_Red, g.imag_Red, g.real_Green, g.imag_Green, g.real_Blue, g.imag_Blue}) EXPECT_EQ(p, nullptr);
  for (auto [x, y] : {std::pair{-1, 0}, std::pair{0, 32}, std::pair{32, 5}}) {
    const TVXComplexColor o = grey.GetComplexImage(x, y);
    EXPECT_EQ(o.real_gray, nullptr);
    EXPECT_EQ(o.imag_gray, nullptr);
  }
}

TEST(FtImage, WithoutPlanesThePicturesAreBlack) {
  auto img = Photo(20, 10);
  TVXFtImage none;
  none.BuildFT(img.get(), vxitUnknown);
  EXPECT_EQ(none.FFTN(), 32);
  TVXBitmap pic, back;
  pic.Allocate(3, 3, vx24RGB);
  pic.Fill(0xffffff);
  none.GetFTImage(&pic);
  none.BuildBitmap(&back);
  EXPECT_EQ(numpy_oracle::Pixels(&pic), std::string(32 * 32 * 3, '\0'));
  EXPECT_EQ(numpy_oracle::Pixels(&back), std::string(20 * 10 * 3, '\0'));
  none.HiPass(3);
  none.ClearZone(0, 0, 5, 5, 1, 1);
  // A never built object has no size.
  TVXFtImage empty;
  TVXBitmap e;
  empty.GetFTImage(&e);
  EXPECT_TRUE(e.IsEmpty());
  empty.BuildBitmap(&e);
  EXPECT_TRUE(e.IsEmpty());
  EXPECT_EQ(empty.GetComplexImage(0, 0).real_gray, nullptr);
}

struct PixelLimit {
  int64_t saved = VXGetGlobalSettings()->MaxImagePixels();
  explicit PixelLimit(int64_t v) { VXGetGlobalSettings()->SetMaxImagePixels(v); }
  ~PixelLimit() { VXGetGlobalSettings()->SetMaxImagePixels(saved); }
};

TEST(FtImage, GridBeyondThePixelLimitIsRefused) {
  auto img = Photo(40, 40);  // a grid of 64 x 64
  TVXFtImage ft;
  ft.BuildFT(img.get(), vxitGrayscale);
  {
    PixelLimit limit(64 * 64 - 1);
    try {
      ft.BuildFT(img.get(), vxitRGB);
      ADD_FAILURE() << "no exception";
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), "Image too large: 64 x 64 pixels");
    }
    // The object keeps what it held.
    EXPECT_EQ(ft.ImageType(), vxitGrayscale);
    EXPECT_NE(ft.fftgray(), nullptr);
    // The component's wrappers leave the image alone.
    TVXBitmap image(img.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&image);
    EXPECT_EQ(proc->FTCreateImage(vxitRGB, -1, -1), nullptr);
    EXPECT_EQ(proc->FTCreateImage(vxitRGB, 50, -1), nullptr);
    EXPECT_EQ(numpy_oracle::Pixels(&image), numpy_oracle::Pixels(img.get()));
  }
  PixelLimit limit(64 * 64);
  ft.BuildFT(img.get(), vxitRGB);
  EXPECT_NE(ft.fftr(), nullptr);
}

// ---- the component ----

TEST(FtImage, ComponentWrappers) {
  auto img = Photo(300, 200);
  TVXBitmap image(img.get());
  TComponent owner;
  TVexlaneProc proc(&owner);  // with automatic undo
  proc.SetAttachedVXBitmap(&image);
  int finished = 0;
  proc.OnFinishWork = [&](void*) { ++finished; };
  std::vector<int32_t> progress;
  void* sender = nullptr;
  proc.OnProgress = [&](void* s, int32_t per) {
    if (progress.empty()) sender = s;
    progress.push_back(per);
  };

  auto whole = proc.FTCreateImage(vxitRGB, -1, -1);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->FFTN(), 512);
  EXPECT_EQ(whole->OrigBitmapWidth(), 300);
  EXPECT_EQ(sender, whole.get());
  EXPECT_EQ(finished, 1);
  ASSERT_EQ(progress.size(), 3u * 512 + 1);  // every column of three planes, then the finish
  EXPECT_EQ(progress[1], 0);
  EXPECT_EQ(progress[512], 33);
  EXPECT_EQ(progress[3 * 512 - 1], 99);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

  struct Scaled {
    int32_t w, h, ew, eh, grid;
  };
  for (const Scaled c : {Scaled{150, -1, 150, 100, 256}, Scaled{-1, 60, 90, 60, 128}, Scaled{40, 30, 40, 30, 64}}) {
    auto ft = proc.FTCreateImage(vxitGrayscale, c.w, c.h);
    ASSERT_NE(ft, nullptr);
    EXPECT_EQ(ft->OrigBitmapWidth(), c.ew);
    EXPECT_EQ(ft->OrigBitmapHeight(), c.eh);
    EXPECT_EQ(ft->FFTN(), c.grid);
  }
  // The nearest-pixel stretch is what was transformed.
  auto half = proc.FTCreateImage(vxitRGB, 150, 100);
  TVXBitmap scaled(150, 100, vx24RGB);
  VXStretchNearest(&image, &scaled);
  TVXFtImage direct;
  direct.BuildFT(&scaled, vxitRGB);
  for (int32_t y = 0; y < 256; y += 17) EXPECT_EQ(std::memcmp((*half->fftg())[y], (*direct.fftg())[y], 256 * 8), 0);

  EXPECT_EQ(numpy_oracle::Pixels(&image), numpy_oracle::Pixels(img.get()));
  proc.FTDisplayFrom(half.get());
  TVXBitmap pic;
  half->GetFTImage(&pic);
  EXPECT_EQ(numpy_oracle::Pixels(&image), numpy_oracle::Pixels(&pic));
  proc.FTConvertFrom(half.get());
  TVXBitmap back;
  half->BuildBitmap(&back);
  EXPECT_EQ(image.Width(), 150);
  EXPECT_EQ(numpy_oracle::Pixels(&image), numpy_oracle::Pixels(&back));
  EXPECT_EQ(proc.UndoCount(), 0);
  proc.FTDisplayFrom(nullptr);

  // The format check: without conversion only vx24RGB is transformed.
  TVXBitmap grey(16, 16, vx8g);
  proc.SetAttachedVXBitmap(&grey);
  proc.SetAutoConvertFormat(false);
  EXPECT_EQ(proc.FTCreateImage(vxitRGB, -1, -1), nullptr);
  proc.SetAutoConvertFormat(true);
  auto converted = proc.FTCreateImage(vxitRGB, -1, -1);
  ASSERT_NE(converted, nullptr);
  EXPECT_EQ(grey.PixelFormat(), vx24RGB);
}

}  // namespace
