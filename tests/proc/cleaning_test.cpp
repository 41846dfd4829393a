// Speck and noise removal on 1-bit images, the median filter family and the
// Wallis filter: small drawn fixtures, a plain neighbourhood count and numpy
// evaluations of the algorithms as references.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/colorspace.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "selection_check.h"
#include "proc/cleaning.h"
#include "proc/proc.h"

namespace {

// A vx1g bitmap from rows of '#' (white, set) and '.' (black).
std::unique_ptr<TVXBitmap> Picture(const std::vector<std::string>& rows) {
  auto b = std::make_unique<TVXBitmap>(int32_t(rows[0].size()), int32_t(rows.size()), vx1g);
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x) b->SetPixels_vx1g(int32_t(x), int32_t(y), rows[y][x] == '#');
  return b;
}

std::vector<std::string> Rows(const TVXBitmap& b) {
  std::vector<std::string> out;
  for (int32_t y = 0; y < b.Height(); ++y) {
    std::string r;
    for (int32_t x = 0; x < b.Width(); ++x) r += b.Pixels_vx1g(x, y) ? '#' : '.';
    out.push_back(r);
  }
  return out;
}

std::unique_ptr<TVXBitmap> Filled(int32_t w, int32_t h, bool white) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx1g);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx1g(x, y, white);
  return b;
}

// ---------------------------------------------------------------------------
// Isolated pixels

TEST(RemoveIsolatedPixels, ClearsExactlyTheWhitePixelsWithoutWhiteNeighbours) {
  auto b = Picture({
      "#.....#.",
      "..#.....",
      ".....##.",
      ".#......",
      "#.#...#.",
      ".......#",
  });
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  proc->RemoveIsolatedPixels(1, 1);
  EXPECT_EQ(Rows(*b), (std::vector<std::string>{
                          "........",
                          "........",
                          ".....##.",
                          ".#......",
                          "#.#...#.",
                          ".......#",
                      }));
  // PixelsCount 0 does nothing at all, nor records an undo step.
  proc->SetAutoUndo(true);
  auto again = Picture({"#...", "....", "..#."});
  auto p2 = TVexlaneProc::CreateFromBitmap(again.get());
  p2->SetAutoUndo(true);
  p2->RemoveIsolatedPixels(1, 0);
  EXPECT_EQ(Rows(*again), (std::vector<std::string>{"#...", "....", "..#."}));
  EXPECT_EQ(p2->UndoCount(), 0);
}

TEST(RemoveIsolatedPixels, CountsOnlyTheRectangleForEitherNoiseColour) {
  std::mt19937 rng(11);
  auto src = std::make_unique<TVXBitmap>(21, 15, vx1g);
  for (int32_t y = 0; y < 15; ++y)
    for (int32_t x = 0; x < 21; ++x) src->SetPixels_vx1g(x, y, rng() % 4 == 0);
  struct Case {
    int32_t color, count, x1, y1, x2, y2;
  } cases[] = {{1, 1, 0, 0, 21, 15}, {1, 2, 0, 0, 21, 15}, {0, 3, 0, 0, 21, 15},
               {1, 2, 3, 2, 17, 11}, {0, 9, 5, 4, 40, 40}, {1, -1, 0, 0, 21, 15}};
  for (const Case& c : cases) {
    SCOPED_TRACE("colour " + std::to_string(c.color) + " count " + std::to_string(c.count) + " x1 " +
                 std::to_string(c.x1));
    TVXBitmap b(src.get());
    VXDoRemoveIsolatedPixels(&b, c.color, c.count, c.x1, c.y1, c.x2, c.y2);
    const bool noise = c.color != 0;
    for (int32_t y = 0; y < 15; ++y)
      for (int32_t x = 0; x < 21; ++x) {
        bool want = src->Pixels_vx1g(x, y);
        const bool inside = x >= c.x1 && x < c.x2 && y >= c.y1 && y < c.y2;
        if (inside && want == noise) {
          int32_t n = 0;
          for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dx = -1; dx <= 1; ++dx) {
              const int32_t xx = x + dx, yy = y + dy;
              if (xx >= std::max(c.x1, 0) && xx < std::min(c.x2, 21) && yy >= std::max(c.y1, 0) &&
                  yy < std::min(c.y2, 15))
                n += src->Pixels_vx1g(xx, yy) == noise;
            }
          if (n <= c.count) want = !noise;
        }
        ASSERT_EQ(b.Pixels_vx1g(x, y), want) << x << "," << y;
      }
  }
}

// ---------------------------------------------------------------------------
// kFill

TEST(RemoveNoise, OnePassRemovesWhiteSpecksAndTheNextRemovesBlackOnes) {
  // Left half black with a white speck, right half white with a black one.
  auto make = [] {
    auto b = Filled(16, 10, false);
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 8; x < 16; ++x) b->SetPixels_vx1g(x, y, true);
    b->SetPixels_vx1g(3, 4, true);
    b->SetPixels_vx1g(12, 5, false);
    return b;
  };
  auto clean = make();
  clean->SetPixels_vx1g(3, 4, false);
  clean->SetPixels_vx1g(12, 5, true);

  auto one = make();
  TVexlaneProc::CreateFromBitmap(one.get())->RemoveNoise(1, false);
  EXPECT_FALSE(one->Pixels_vx1g(3, 4));
  EXPECT_FALSE(one->Pixels_vx1g(12, 5));  // waits for a black-core pass

  auto two = make();
  TVexlaneProc::CreateFromBitmap(two.get())->RemoveNoise(2, false);
  EXPECT_EQ(Rows(*two), Rows(*clean));

  // InvertImage works on the negative: one pass now clears the black speck.
  auto inv = make();
  TVexlaneProc::CreateFromBitmap(inv.get())->RemoveNoise(1, true);
  EXPECT_TRUE(inv->Pixels_vx1g(12, 5));
  EXPECT_TRUE(inv->Pixels_vx1g(3, 4));

  // Iterations 0 does nothing.
  auto none = make();
  TVexlaneProc::CreateFromBitmap(none.get())->RemoveNoise(0, false);
  EXPECT_EQ(Rows(*none), Rows(*make()));
}

TEST(RemoveNoise, NeverChangesTheBorder) {
  std::mt19937 rng(3);
  for (uint32_t seed = 0; seed < 4; ++seed) {
    auto b = std::make_unique<TVXBitmap>(23, 17, vx1g);
    for (int32_t y = 0; y < 17; ++y)
      for (int32_t x = 0; x < 23; ++x) b->SetPixels_vx1g(x, y, (rng() % 3 == 0) != (seed & 1));
    TVXBitmap before(b.get());
    for (bool invert : {false, true}) {
      VXDoRemoveNoise(b.get(), true, true, invert, 3 + int32_t(seed), 6);
      for (int32_t x = 0; x < 23; ++x) {
        EXPECT_EQ(b->Pixels_vx1g(x, 0), before.Pixels_vx1g(x, 0));
        EXPECT_EQ(b->Pixels_vx1g(x, 16), before.Pixels_vx1g(x, 16));
      }
      for (int32_t y = 0; y < 17; ++y) {
        EXPECT_EQ(b->Pixels_vx1g(0, y), before.Pixels_vx1g(0, y));
        EXPECT_EQ(b->Pixels_vx1g(22, y), before.Pixels_vx1g(22, y));
      }
    }
  }
}

TEST(RemoveNoise, LargerWindowsRemoveLargerSpecks) {
  // A white square speck of n x n on black goes when the window's core
  // holds it (core k - 2), beyond the tabled sizes too.
  struct Case {
    int32_t speck, K;
    bool removed;
  } cases[] = {{1, 3, true}, {2, 3, false}, {2, 4, true}, {3, 4, false}, {3, 5, true},
               {5, 7, true}, {5, 9, true},  {6, 7, false}, {6, 8, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("speck " + std::to_string(c.speck) + " K " + std::to_string(c.K));
    auto b = Filled(24, 24, false);
    for (int32_t y = 9; y < 9 + c.speck; ++y)
      for (int32_t x = 10; x < 10 + c.speck; ++x) b->SetPixels_vx1g(x, y, true);
    VXDoRemoveNoise(b.get(), true, true, false, c.K, 1);
    int32_t white = 0;
    for (int32_t y = 0; y < 24; ++y)
      for (int32_t x = 0; x < 24; ++x) white += b->Pixels_vx1g(x, y);
    EXPECT_EQ(white, c.removed ? 0 : c.speck * c.speck);
  }
}

TEST(RemoveNoise, GreyImagesAreThresholdedAndWrittenAsBytes) {
  auto b = std::make_unique<TVXBitmap>(7, 6, vx8g);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 7; ++x) static_cast<uint8_t*>(b->ScanLine(y))[x] = uint8_t(x < 4 ? 128 : 129);
  static_cast<uint8_t*>(b->ScanLine(3))[1] = 200;  // a light speck in the dark half
  VXDoRemoveNoise(b.get(), true, true, false, 3, 1);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 7; ++x) {
      const uint8_t v = static_cast<uint8_t*>(b->ScanLine(y))[x];
      const bool border = x == 0 || y == 0 || x == 6 || y == 5;
      if (border)
        EXPECT_EQ(v, (y == 3 && x == 1) ? 200 : (x < 4 ? 128 : 129)) << x << "," << y;
      else
        EXPECT_EQ(v, x < 4 ? 0 : 255) << x << "," << y;
    }
}

TEST(RemoveNoise, CleansSaltAndPepperFromADrawnPage) {
  // Lines of "words" (black blocks) on white, then single-pixel salt and
  // pepper.
  const int32_t W = 120, H = 80;
  auto page = Filled(W, H, true);
  for (int32_t line = 0; line < 5; ++line)
    for (int32_t word = 0; word < 6; ++word)
      for (int32_t y = 8 + line * 14; y < 15 + line * 14; ++y)
        for (int32_t x = 6 + word * 18; x < 6 + word * 18 + 4 + 2 * word; ++x) page->SetPixels_vx1g(x, y, false);
  TVXBitmap noisy(page.get());
  std::mt19937 rng(17);
  int32_t specks = 0;
  for (int32_t i = 0; i < 300; ++i) {
    const int32_t x = 2 + int32_t(rng() % (W - 4)), y = 2 + int32_t(rng() % (H - 4));
    // Keep specks apart so that each is single.
    bool alone = true;
    for (int32_t dy = -1; dy <= 1; ++dy)
      for (int32_t dx = -1; dx <= 1; ++dx)
        alone = alone && noisy.Pixels_vx1g(x + dx, y + dy) == page->Pixels_vx1g(x + dx, y + dy) &&
                page->Pixels_vx1g(x + dx, y + dy) == page->Pixels_vx1g(x, y);
    if (!alone) continue;
    noisy.SetPixels_vx1g(x, y, !page->Pixels_vx1g(x, y));
    ++specks;
  }
  ASSERT_GT(specks, 150);
  TVexlaneProc::CreateFromBitmap(&noisy)->RemoveNoise(4, false);
  int32_t wrong = 0;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) wrong += noisy.Pixels_vx1g(x, y) != page->Pixels_vx1g(x, y);
  EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------------------
// Median filter

const char* kMedianNumpy = R"(
np.seterr(all='ignore')
p = load(1, '<i4', (10,))
H, W, WX, WY, Br, Co, Mu, Th, mode = [int(v) for v in p[:9]]
a = load(0, np.uint8, (H, W, 3)).astype(np.int64)
E = WX * WY; w = WX // 2; h = WY // 2
g = (54 * a[..., 2] + 182 * a[..., 1] + 20 * a[..., 0]) >> 8
lower, middle, upper = E // 4, E // 2, 3 * (E // 4)
B = (Br - 50) * 5.1
T = int(Th * 2.56)
if mode == 0:
    f = (Th - 50) * 0.02
    lower = E // 4 - int(f * (E // 4))
    upper = 3 * (E // 4) + int(f * lower)
elif mode == 1:
    Hs = (5.36 - 0.04 * Mu) * (E - 1) + 1
    Is = np.float64(1) / np.float64(Hs - E)
else:
    Is = Co * 0.5 / (E - 1)
lower = min(max(lower, 0), E - 1); upper = min(max(upper, 0), E - 1)
def tc(v):
    return 0 if not v > 0 else (255 if v >= 255 else int(v))
out = a.copy() if mode != 2 else np.full_like(a, 255)
inv = 1.0 / (E - 1)
for y in range(h, H - WY + h + 1):
    for x in range(w, W - WX + w + 1):
        win = a[y - h:y - h + WY, x - w:x - w + WX].reshape(-1, 3)
        gs = np.sort(g[y - h:y - h + WY, x - w:x - w + WX].reshape(-1))
        q1, med, q3 = int(gs[lower]), int(gs[middle]), int(gs[upper])
        v = a[y, x]
        others = np.delete(win, h * WX + w, axis=0)
        def nearest():
            s = others.sum(axis=0)
            m = np.array([tc(float(s[c]) * inv) for c in range(3)])
            return others[int(np.argmin(np.abs(others - m).sum(axis=1)))]
        if mode == 0:
            keep = T != 0 and all(abs(int(v[c]) - med) < q3 - q1 for c in range(3))
            out[y, x] = v if keep else nearest()
        elif mode == 1:
            m = nearest()
            out[y, x] = [tc((float(v[c]) * Hs - float(m[c]) * E) * Is + B) for c in range(3)]
        else:
            o = tc((float(v[1]) * E - float(med) * E) * Is + B)
            out[y, x] = 0 if 255 - o < T else 255
save(out.astype(np.uint8))
)";

TEST(MedianFilter, EveryModeMatchesNumpy) {
  if (!numpy_oracle::Available()) GTEST_SKIP() << "python3-numpy is not installed";
  struct Case {
    int32_t wx, wy, brightness, contrast, multiplier, threshold;
    TVXMedFilType op;
  } cases[] = {
      {3, 3, 50, 0, 0, 50, mfMedianFilter},  {5, 3, 50, 0, 0, 0, mfMedianFilter},
      {3, 5, 50, 0, 0, 80, mfMedianFilter},  {4, 4, 50, 0, 0, 20, mfMedianFilter},
      {7, 7, 50, 0, 0, 160, mfMedianFilter}, {2, 1, 50, 0, 0, 50, mfMedianFilter},
      {3, 3, 50, 0, 10, 0, mfSharpen},       {5, 5, 60, 0, 100, 0, mfSharpen},
      {3, 3, 50, 0, 109, 0, mfSharpen},      {3, 3, 50, 20, 0, 40, mfEdgeExtract},
      {5, 4, 70, 100, 0, 10, mfEdgeExtract}, {1, 3, 40, 50, 0, 90, mfEdgeExtract},
  };
  auto image = procfixture::Photo(17, 13);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.wx) + "x" + std::to_string(c.wy) + " mode " + std::to_string(int(c.op)) +
                 " threshold " + std::to_string(c.threshold));
    TVXBitmap b(image.get());
    TVexlaneProc::CreateFromBitmap(&b)->MedianFilter(c.wx, c.wy, c.brightness, c.contrast, c.multiplier,
                                                     c.threshold, c.op);
    const int32_t p[10] = {13, 17, c.wx, c.wy, c.brightness, c.contrast, c.multiplier, c.threshold, int32_t(c.op), 0};
    const std::string want =
        numpy_oracle::Run(kMedianNumpy, {numpy_oracle::Pixels(image.get()), std::string(reinterpret_cast<const char*>(p), 40)});
    EXPECT_EQ(numpy_oracle::Pixels(&b), want);
  }
}

TEST(MedianFilter, WindowsOfOnePixelOrNoneChangeNothing) {
  auto image = procfixture::Noise(9, 8, vx24RGB, 4);
  for (auto [wx, wy] : {std::pair{1, 1}, {0, 5}, {5, 0}, {-3, 3}}) {
    TVXBitmap b(image.get());
    VXDoMedianFilter(&b, wx, wy, 50, 50, 50, 50, mfSharpen, nullptr, nullptr);
    EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(image.get())) << wx << "x" << wy;
  }
  // A window larger than the image keeps every pixel (edge extraction: white).
  TVXBitmap big(image.get());
  VXDoMedianFilter(&big, 11, 3, 50, 50, 50, 50, mfEdgeExtract, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(&big), std::string(size_t(9 * 8 * 3), '\xff'));
}

TEST(MedianFilter, ChangesOnlyTheSelection) {
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.MedianFilter(3, 3, 50, 0, 0, 50, mfMedianFilter); }, 5, 20);
}

// ---------------------------------------------------------------------------
// Wallis filter

// Lightness of each output pixel, or -1 where the source pixel stays; with
// thresholding 0 (black) or 1 (white).
const char* kWallisNumpy = R"(
p = load(1, '<i4', (10,))
H, W, WW, WH, Mean, StDev, InGain, Edge, Limit, Thr = [int(v) for v in p]
L = load(0, np.float64, (H, W))
ld = np.longdouble
PW, PH = W + 30, H + 30
ys = np.clip(np.arange(PH) - 15, 0, H - 1); xs = np.clip(np.arange(PW) - 15, 0, W - 1)
P = L[np.ix_(ys, xs)].astype(ld)
side = float(W + 29 if H >= W else H + 29)
ww = max(21, int(WW / 100.0 * side)); wh = max(21, int(WH / 100.0 * side))
hw = (ww + 1) // 2; hh = (wh + 1) // 2
N = ld(ww) * ld(wh)
md = ld(Mean) / ld(100); sd = ld(3 * StDev) / ld(100); A = ld(InGain); a = ld(Edge) / ld(100)
Smax = ld(6 * Limit) / ld(100); eps = ld('0.00001')
out = np.full((H, W), -1.0)
cs = np.zeros(PW, dtype=ld); cq = np.zeros(PW, dtype=ld)
for py in range(wh):
    cs = cs + P[py]; cq = cq + P[py] * P[py]
for y in range(hh, PH - hh):
    s = ld(0); q = ld(0)
    for px in range(ww):
        s = s + cs[px]; q = q + cq[px]
    for x in range(PW):
        if x < hw or x > PW - 1 - hw:
            out[ys[y], xs[x]] = 1.0 if Thr else -1.0
            continue
        M = s / N
        S = np.sqrt(q / N - M * M + 1)
        if S > Smax: S = Smax
        r = A * sd / (A * S + sd + eps)
        Lp = (P[y, x] - M) * r + (1 - a) * M + a * md
        Lp = min(max(Lp, ld(0)), ld(1))
        out[ys[y], xs[x]] = (0.0 if Lp <= ld(0.5) else 1.0) if Thr else float(Lp)
        if x < PW - 1 - hw:
            s = s - cs[x - hw] + cs[x - hw + ww]; q = q - cq[x - hw] + cq[x - hw + ww]
    if y < PH - 1 - hh:
        o, i = P[y - hh], P[y - hh + wh]
        cs = cs - o + i; cq = cq - o * o + i * i
save(out)
)";

TEST(WallisFilter, MatchesNumpyWithWindowsOfAtLeast21Pixels) {
  if (!numpy_oracle::Available()) GTEST_SKIP() << "python3-numpy is not installed";
  struct Case {
    int32_t w, h, winW, winH, mean, stdev, gain, edge, limit;
    bool thresholding;
  } cases[] = {
      {20, 14, 5, 5, 50, 50, 3, 60, 50, false},     // windows of 21 (tiny percentages)
      {14, 20, 60, 50, 40, 30, 2, 90, 20, false},   // 26 x 21, odd and even heights
      {20, 14, 90, 80, 60, 40, 5, 30, 100, false},  // 38 x 34: rows no window reaches
      {18, 18, 45, 70, 50, 50, 3, 60, 50, true},
      {6, 5, 1, 1, 50, 50, 1, 100, 100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " window " + std::to_string(c.winW) + "," +
                 std::to_string(c.winH));
    auto image = procfixture::Photo(c.w, c.h);
    TVXBitmap b(image.get());
    TVexlaneProc::CreateFromBitmap(&b)->WallisFilter(c.winW, c.winH, c.mean, c.stdev, c.gain, c.edge, c.limit,
                                                     c.thresholding);
    std::vector<double> light(size_t(c.w * c.h)), hue(light.size()), sat(light.size());
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        const size_t i = size_t(y * c.w + x);
        VXRGBToHSL(image->Pixels_vx24RGB(x, y), hue[i], sat[i], light[i]);
      }
    const int32_t p[10] = {c.h, c.w, c.winW, c.winH, c.mean, c.stdev, c.gain, c.edge, c.limit, c.thresholding};
    const std::string got = numpy_oracle::Run(
        kWallisNumpy, {std::string(reinterpret_cast<const char*>(light.data()), light.size() * 8),
                       std::string(reinterpret_cast<const char*>(p), 40)});
    ASSERT_EQ(got.size(), light.size() * 8);
    std::vector<double> want(light.size());
    std::memcpy(want.data(), got.data(), got.size());
    int32_t kept = 0;
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) {
        const size_t i = size_t(y * c.w + x);
        TRGB expect;
        if (want[i] < 0) {
          expect = image->Pixels_vx24RGB(x, y);
          ++kept;
        } else if (c.thresholding) {
          const uint8_t v = want[i] > 0 ? 255 : 0;
          expect = TRGB{v, v, v};
        } else {
          expect = VXHSLToRGB(hue[i], sat[i], want[i]);
        }
        const TRGB got1 = b.Pixels_vx24RGB(x, y);
        ASSERT_TRUE(got1 == expect) << x << "," << y << " got " << int(got1.r) << "," << int(got1.g) << ","
                                    << int(got1.b) << " want " << int(expect.r) << "," << int(expect.g) << ","
                                    << int(expect.b);
      }
    // The source stays in the rightmost column and in rows no window reaches.
    EXPECT_GT(kept, 0);
  }
}

}  // namespace
