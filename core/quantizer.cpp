#include "core/quantizer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <immintrin.h>

#include "core/bitmap.h"
#include "core/settings.h"

namespace {

inline uint32_t PackRGB(uint8_t r, uint8_t g, uint8_t b) {
  return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

inline const uint8_t* RowOf(TVXBitmap* bmp, int32_t y) {
  return static_cast<const uint8_t*>(bmp->GetScanLine(y));
}

// True when every palette entry (vx8p) or every pixel (vx24RGB, vx32RGB,
// vx48RGB) has equal red, green and blue; true for the other formats.
bool IsGrayScale(TVXBitmap* bmp) {
  const TVXPixelFormat pf = bmp->PixelFormat();
  if (bmp->IsEmpty()) return true;
  if (pf == vx8p) {
    const TRGB* pal = bmp->PaletteBuffer();
    for (int32_t i = 0; pal && i < bmp->PaletteLength(); ++i)
      if (pal[i].r != pal[i].g || pal[i].g != pal[i].b) return false;
    return true;
  }
  if (pf != vx24RGB && pf != vx32RGB && pf != vx48RGB) return true;
  const int32_t w = bmp->Width(), h = bmp->Height();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = RowOf(bmp, y);
    for (int32_t x = 0; x < w; ++x) {
      if (pf == vx48RGB) {
        uint16_t c[3];
        std::memcpy(c, p + size_t(x) * 6, 6);
        if (c[0] != c[1] || c[1] != c[2]) return false;
      } else {
        const uint8_t* q = p + size_t(x) * (pf == vx24RGB ? 3 : 4);
        if (q[0] != q[1] || q[1] != q[2]) return false;
      }
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// State of the histogram or neural quantiser.
class TVXQuantizer::Impl {
 public:
  virtual ~Impl() = default;
  virtual int32_t Index(TRGB cl) const = 0;
  virtual void Indices(const TRGB* Colours, int32_t Count, int32_t* Out) const {
    for (int32_t i = 0; i < Count; ++i) Out[i] = Index(Colours[i]);
  }
};

namespace {

// ---------------------------------------------------------------------------
// Histogram quantiser: box splitting on a 32x32x32 colour cube.

constexpr int kCubeSide = 32;
constexpr int kCubeCells = kCubeSide * kCubeSide * kCubeSide;

inline int CubeIndex(int r5, int g5, int b5) { return (r5 * kCubeSide + g5) * kCubeSide + b5; }

struct HBox {
  double score = 0;
  double mean[3] = {0, 0, 0};  // 0 red, 1 green, 2 blue, in 5-bit units
  int64_t count = 0;
  int64_t hist[3][kCubeSide] = {};
  int lo[3] = {0, 0, 0};  // inclusive
  int hi[3] = {kCubeSide, kCubeSide, kCubeSide};  // exclusive
};

class HistogramQuantizer final : public TVXQuantizer::Impl {
 public:
  HistogramQuantizer(TVXBitmap* bmp, TRGB* ColorMap, int32_t MaxColors) {
    fCube.assign(kCubeCells, 0);
    fCellMap.assign(kCubeCells, 0);
    const int32_t w = bmp->Width(), h = bmp->Height();
    HBox root;
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* p = RowOf(bmp, y);
      for (int32_t x = 0; x < w; ++x, p += 3) {
        const int r5 = p[2] >> 3, g5 = p[1] >> 3, b5 = p[0] >> 3;
        ++fCube[CubeIndex(r5, g5, b5)];
        ++root.hist[0][r5];
        ++root.hist[1][g5];
        ++root.hist[2][b5];
      }
    }
    fTotal = int64_t(w) * h;
    root.count = fTotal;
    Statistics(root);
    fBoxes.push_back(root);

    while (int32_t(fBoxes.size()) < MaxColors) {
      int chosen = -1;
      double bestScore = 0;
      for (size_t i = 0; i < fBoxes.size(); ++i)
        if (fBoxes[i].score > bestScore) {
          bestScore = fBoxes[i].score;
          chosen = int(i);
        }
      if (chosen < 0) break;
      HBox bestLow, bestHigh;
      double bestSum = 0;
      bool found = false;
      for (int c = 0; c < 3; ++c) {
        HBox low, high;
        double sum;
        if (!TrySplit(fBoxes[chosen], c, low, high, sum)) continue;
        if (!found || sum < bestSum) {
          found = true;
          bestSum = sum;
          bestLow = low;
          bestHigh = high;
        }
      }
      if (!found) {
        fBoxes[chosen].score = 0;
        continue;
      }
      fBoxes[chosen] = bestLow;
      fBoxes.push_back(bestHigh);
    }

    for (size_t i = 0; i < fBoxes.size(); ++i) {
      const HBox& b = fBoxes[i];
      TRGB e;
      e.r = uint8_t(std::llrint(b.mean[0]) * 8);
      e.g = uint8_t(std::llrint(b.mean[1]) * 8);
      e.b = uint8_t(std::llrint(b.mean[2]) * 8);
      ColorMap[i] = e;
      for (int r = b.lo[0]; r < b.hi[0]; ++r)
        for (int g = b.lo[1]; g < b.hi[1]; ++g)
          for (int bb = b.lo[2]; bb < b.hi[2]; ++bb) fCellMap[CubeIndex(r, g, bb)] = uint16_t(i);
    }
  }

  int32_t Index(TRGB cl) const override { return fCellMap[CubeIndex(cl.r >> 3, cl.g >> 3, cl.b >> 3)]; }

  int32_t BoxCount() const { return int32_t(fBoxes.size()); }

 private:
  void Statistics(HBox& b) const {
    if (b.count == 0) {
      b.score = 0;
      return;
    }
    double total = 0;
    for (int c = 0; c < 3; ++c) {
      int64_t s1 = 0, s2 = 0;
      for (int j = b.lo[c]; j < b.hi[c]; ++j) {
        s1 += int64_t(j) * b.hist[c][j];
        s2 += int64_t(j) * j * b.hist[c][j];
      }
      const double mean = double(s1) / double(b.count);
      b.mean[c] = mean;
      total += double(s2) - mean * mean * double(b.count);
    }
    b.score = fTotal ? total / double(fTotal) : 0;
  }

  // Shrinks the bounds of every channel to the bins that hold pixels.
  static void Shrink(HBox& b) {
    for (int c = 0; c < 3; ++c) {
      int first = -1, last = -1;
      for (int j = b.lo[c]; j < b.hi[c]; ++j)
        if (b.hist[c][j]) {
          if (first < 0) first = j;
          last = j;
        }
      if (first >= 0) {
        b.lo[c] = first;
        b.hi[c] = last + 1;
      }
    }
  }

  bool TrySplit(const HBox& box, int c, HBox& low, HBox& high, double& sum) const {
    const int lo = box.lo[c], hi = box.hi[c];
    if (hi == lo + 1) return false;
    const int64_t N = box.count;
    const double m = box.mean[c];
    const int start = int(std::llrint((lo + m) * 0.5));
    // Bins at and past the upper bound hold no pixels of this box.
    const int end = std::min(int(std::llrint((m + hi) * 0.5)), hi - 1);
    int64_t s = 0;
    for (int j = lo; j < start; ++j) s += box.hist[c][j];
    double t = 0, best = -1;
    int split = -1;
    int64_t lowCount = 0;
    for (int e = start; e <= end; ++e) {
      s += box.hist[c][e];
      if (s == N) break;
      t += double(box.hist[c][e]) * e / double(N);
      const double v = double(s) / double(N - s) * ((m - t) * (m - t));
      if (v > best) {
        split = e;
        lowCount = s;
        best = v;
      }
    }
    if (split < 0 || lowCount <= 0 || lowCount >= N) return false;

    low = box;
    low.hi[c] = split + 1;
    for (int k = 0; k < 3; ++k) std::fill(std::begin(low.hist[k]), std::end(low.hist[k]), 0);
    for (int r = low.lo[0]; r < low.hi[0]; ++r)
      for (int g = low.lo[1]; g < low.hi[1]; ++g)
        for (int b = low.lo[2]; b < low.hi[2]; ++b) {
          const int64_t v = fCube[CubeIndex(r, g, b)];
          if (!v) continue;
          low.hist[0][r] += v;
          low.hist[1][g] += v;
          low.hist[2][b] += v;
        }
    low.count = lowCount;
    high = box;
    high.lo[c] = split + 1;
    for (int k = 0; k < 3; ++k)
      for (int j = 0; j < kCubeSide; ++j) high.hist[k][j] = box.hist[k][j] - low.hist[k][j];
    high.count = N - lowCount;
    if (low.count <= 0 || high.count <= 0) return false;
    Shrink(low);
    Shrink(high);
    Statistics(low);
    Statistics(high);
    sum = low.score + high.score;
    return true;
  }

  std::vector<int64_t> fCube;
  std::vector<uint16_t> fCellMap;
  std::vector<HBox> fBoxes;
  int64_t fTotal = 0;
};

// ---------------------------------------------------------------------------
// Neural quantiser (NeuQuant).

std::atomic<bool> gForceScalar{false};

// For each set of lanes (a bit each), their numbers in rising order.
struct TPackTable {
  std::array<std::array<int32_t, 8>, 256> Lanes{};
  constexpr TPackTable() {
    for (int m = 0; m < 256; ++m) {
      int k = 0;
      for (int lane = 0; lane < 8; ++lane)
        if (m & (1 << lane)) Lanes[m][k++] = lane;
    }
  }
};
constexpr TPackTable kPackTable;
constexpr const std::array<std::array<int32_t, 8>, 256>& kPack = kPackTable.Lanes;

bool UseAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has && !gForceScalar.load(std::memory_order_relaxed);
}

class NeuralQuantizer final : public TVXQuantizer::Impl {
 public:
  NeuralQuantizer(TVXBitmap* bmp, TRGB* ColorMap, int32_t Quality, int32_t NCol) {
    n = std::max<int32_t>(NCol, 1);
    width = bmp->Width();
    height = bmp->Height();
    const int64_t pixels = int64_t(width) * height;
    lengthcount = pixels * 3;
    initrad = n / 8;
    initradius = initrad * 64;

    // Sampling factor.
    if (Quality == -1) {
      if (pixels < 2000)
        samplefac = 1;
      else {
        const int64_t v = std::llrint(double(pixels * 13 - 26000) / 148000.0 + 2);
        samplefac = v <= 1 ? 1 : (v > 30 ? 30 : int32_t(v));
      }
    } else {
      samplefac = int32_t((100.0 - Quality) / 100.0 * 29) + 1;
    }
    if (samplefac < 1) samplefac = 1;

    network.assign(size_t(n), {0, 0, 0, 0});
    // The search of Contest runs over whole groups of eight neurons: the
    // neurons past n are far from every colour and never change (no
    // frequency, no bias), so they never win.
    const size_t padded = (size_t(n) + 7) / 8 * 8;
    bias.assign(padded, 0);
    freq.assign(padded, 0);
    // AlterAvx2's blocks of eight may begin at any neuron: eight more.
    for (auto* c : {&nb, &ng, &nr}) c->assign(padded + 8, kFarAway);
    radpower.assign(size_t(std::max(initrad, 1)), 0);
    for (int32_t i = 0; i < n; ++i) {
      const int32_t v = int32_t(int64_t(i) * 4096 / n);
      network[i] = {v, v, v, 0};
      nb[i] = ng[i] = nr[i] = v;
      freq[i] = 65536 / n;
      bias[i] = 0;
    }
    if (pixels > 0) Learn(bmp, pixels);
    Unbias();
    for (int32_t i = 0; i < n; ++i) {
      ColorMap[i].b = uint8_t(network[i][0]);
      ColorMap[i].g = uint8_t(network[i][1]);
      ColorMap[i].r = uint8_t(network[i][2]);
    }
    BuildIndex();
  }

  void Indices(const TRGB* Colours, int32_t Count, int32_t* Out) const override {
    if (UseAvx2() && n <= 512)
      IndicesAvx2(Colours, Count, Out);
    else
      Impl::Indices(Colours, Count, Out);
  }

  int32_t Index(TRGB cl) const override {
    if (UseAvx2() && n <= 512) return IndexAvx2(cl);  // walk ranks below 1024
    const int32_t b = cl.b, g = cl.g, r = cl.r;
    int32_t bestd = 1000, best = -1;
    int32_t i = netindex[g], j = i - 1;
    while (i < n || j >= 0) {
      if (i < n) {
        const auto& p = network[i];
        int32_t dist = p[1] - g;
        if (dist >= bestd)
          i = n;
        else {
          ++i;
          if (dist < 0) dist = -dist;
          dist += std::abs(p[0] - b);
          if (dist < bestd) {
            dist += std::abs(p[2] - r);
            if (dist < bestd) {
              bestd = dist;
              best = p[3];
            }
          }
        }
      }
      if (j >= 0) {
        const auto& p = network[j];
        int32_t dist = g - p[1];
        if (dist >= bestd)
          j = -1;
        else {
          --j;
          if (dist < 0) dist = -dist;
          dist += std::abs(p[0] - b);
          if (dist < bestd) {
            dist += std::abs(p[2] - r);
            if (dist < bestd) {
              bestd = dist;
              best = p[3];
            }
          }
        }
      }
    }
    return best < 0 ? 0 : best;
  }

 private:
  void ComputeRadPower(int32_t alpha, int32_t rad) {
    const int64_t rad2 = int64_t(rad) * rad;
    for (int32_t i = 0; i < rad; ++i)
      radpower[i] = int32_t(int64_t(alpha) * (((rad2 - int64_t(i) * i) * 256) / rad2));
  }

  int32_t Contest(int32_t b, int32_t g, int32_t r) {
    int32_t bestd = INT32_MAX, bestbiasd = INT32_MAX;
    int32_t bestpos = -1, bestbiaspos = -1;
    for (int32_t i = 0; i < n; ++i) {
      const auto& p = network[i];
      const int32_t dist = std::abs(p[0] - b) + std::abs(p[1] - g) + std::abs(p[2] - r);
      if (dist < bestd) {
        bestd = dist;
        bestpos = i;
      }
      const int32_t biasdist = dist - (bias[i] >> 12);
      if (biasdist < bestbiasd) {
        bestbiasd = biasdist;
        bestbiaspos = i;
      }
      const int32_t betafreq = freq[i] >> 10;
      freq[i] -= betafreq;
      bias[i] += betafreq << 10;
    }
    freq[bestpos] += 64;
    bias[bestpos] -= 65536;
    return bestbiaspos;
  }

  // Eight neurons at a time, the same sums, the same first best of each kind:
  // each lane keeps the first best of its own neurons (its indices rise),
  // and the lanes' best is the smallest value at the smallest index.
  __attribute__((target("avx2"))) int32_t ContestAvx2(int32_t b, int32_t g, int32_t r, int32_t& BestPos) {
    const __m256i vb = _mm256_set1_epi32(b), vg = _mm256_set1_epi32(g), vr = _mm256_set1_epi32(r);
    __m256i bestd = _mm256_set1_epi32(INT32_MAX), bestpos = _mm256_set1_epi32(-1);
    __m256i bestbd = _mm256_set1_epi32(INT32_MAX), bestbpos = _mm256_set1_epi32(-1);
    __m256i idx = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i eight = _mm256_set1_epi32(8);
    const int32_t count = int32_t(freq.size());
    const int32_t *B = nb.data(), *G = ng.data(), *R = nr.data();
    int32_t *F = freq.data(), *S = bias.data();
    for (int32_t i = 0; i < count; i += 8) {
      const __m256i d = _mm256_add_epi32(_mm256_add_epi32(_mm256_abs_epi32(_mm256_sub_epi32(LoadAt(B + i), vb)),
                                                          _mm256_abs_epi32(_mm256_sub_epi32(LoadAt(G + i), vg))),
                                         _mm256_abs_epi32(_mm256_sub_epi32(LoadAt(R + i), vr)));
      bestpos = Choose(_mm256_cmpgt_epi32(bestd, d), idx, bestpos);
      bestd = _mm256_min_epi32(bestd, d);
      __m256i bi = LoadAt(S + i);
      const __m256i bd = _mm256_sub_epi32(d, _mm256_srai_epi32(bi, 12));
      bestbpos = Choose(_mm256_cmpgt_epi32(bestbd, bd), idx, bestbpos);
      bestbd = _mm256_min_epi32(bestbd, bd);
      __m256i fr = LoadAt(F + i);
      const __m256i betafreq = _mm256_srai_epi32(fr, 10);
      fr = _mm256_sub_epi32(fr, betafreq);
      bi = _mm256_add_epi32(bi, _mm256_slli_epi32(betafreq, 10));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(F + i), fr);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(S + i), bi);
      idx = _mm256_add_epi32(idx, eight);
    }
    BestPos = FirstBest(bestd, bestpos);
    return FirstBest(bestbd, bestbpos);
  }

  // The lanes of Yes where Mask is set, of No elsewhere.
  __attribute__((target("avx2"))) static __m256i Choose(__m256i Mask, __m256i Yes, __m256i No) {
    return _mm256_castps_si256(
        _mm256_blendv_ps(_mm256_castsi256_ps(No), _mm256_castsi256_ps(Yes), _mm256_castsi256_ps(Mask)));
  }

  __attribute__((target("avx2"))) static __m256i Load(const std::vector<int32_t>& V, int32_t I) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(V.data() + I));
  }

  // The lane with the smallest value, of those the smallest index.
  __attribute__((target("avx2"))) static int32_t FirstBest(__m256i Values, __m256i Positions) {
    alignas(32) int32_t v[8], p[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(v), Values);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), Positions);
    int32_t best = 0;
    for (int k = 1; k < 8; ++k)
      if (v[k] < v[best] || (v[k] == v[best] && p[k] < p[best])) best = k;
    return p[best];
  }

  void AlterSingle(int32_t alpha, int32_t i, int32_t b, int32_t g, int32_t r) {
    auto& p = network[i];
    p[0] -= int32_t(int64_t(p[0] - b) * alpha / 1024);
    p[1] -= int32_t(int64_t(p[1] - g) * alpha / 1024);
    p[2] -= int32_t(int64_t(p[2] - r) * alpha / 1024);
  }

  void AlterNeighbours(int32_t rad, int32_t i, int32_t b, int32_t g, int32_t r) {
    for (int32_t k = 1; k < rad; ++k) {
      const int64_t a = radpower[k];
      for (int32_t j : {i + k, i - k}) {
        if (j < 0 || j >= n) continue;
        auto& p = network[j];
        p[0] -= int32_t(a * (p[0] - b) / 262144);
        p[1] -= int32_t(a * (p[1] - g) / 262144);
        p[2] -= int32_t(a * (p[2] - r) / 262144);
      }
    }
  }

  // The factors of AlterAvx2 for the neurons from j - (rad - 1) to
  // j + (rad - 1): alpha * 256 for j itself (alpha / 1024 scaled as the
  // others), radpower[k] for j + k and j - k; 0 for the eight on either side.
  void ComputeFactors(int32_t alpha, int32_t rad) {
    const int32_t reach = std::max(rad - 1, 0);
    factors.assign(size_t(2 * reach + 1 + 16), 0);
    factors[size_t(8 + reach)] = alpha * 256;
    for (int32_t k = 1; k <= reach; ++k) factors[size_t(8 + reach + k)] = factors[size_t(8 + reach - k)] = radpower[k];
  }

  // AlterSingle and AlterNeighbours at once on the search copies of the
  // colours, eight neurons at a time; the same sums: a factor is at most
  // 2^18 and a colour difference below 2^12, so the product fits 32 bits,
  // and the quotient is truncated towards 0 as the division of the others.
  __attribute__((target("avx2"))) void AlterAvx2(int32_t rad, int32_t j, int32_t b, int32_t g, int32_t r) {
    const int32_t reach = std::max(rad - 1, 0);
    const int32_t lo = std::max(j - reach, 0), hi = std::min(j + reach, n - 1);
    const __m256i colour[3] = {_mm256_set1_epi32(b), _mm256_set1_epi32(g), _mm256_set1_epi32(r)};
    int32_t* channel[3] = {nb.data(), ng.data(), nr.data()};
    const __m256i round = _mm256_set1_epi32((1 << 18) - 1), count = _mm256_set1_epi32(n);
    for (int32_t m = lo; m <= hi; m += 8) {
      // Past the last neuron the factor is 0 (the padding stays far away).
      const __m256i inside = _mm256_cmpgt_epi32(count, _mm256_add_epi32(_mm256_set1_epi32(m), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
      const __m256i a = _mm256_and_si256(inside, Load(factors, 8 + reach + m - j));
      for (int k = 0; k < 3; ++k) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(channel[k] + m));
        const __m256i x = _mm256_mullo_epi32(a, _mm256_sub_epi32(v, colour[k]));
        const __m256i q = _mm256_srai_epi32(_mm256_add_epi32(x, _mm256_and_si256(_mm256_srai_epi32(x, 31), round)), 18);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(channel[k] + m), _mm256_sub_epi32(v, q));
      }
    }
  }

  void Learn(TVXBitmap* bmp, int64_t pixels) {
    const bool avx = UseAvx2();
    const int32_t alphadec = 30 + (samplefac - 1) / 3;
    const int64_t samplepixels = lengthcount / (3 * int64_t(samplefac));
    int64_t delta = samplepixels / 100;
    if (delta < 1) delta = 1;
    int32_t alpha = 1024;
    int32_t radius = initradius;
    int32_t rad = radius >= 128 ? radius >> 6 : 0;
    ComputeRadPower(alpha, rad);
    if (avx) ComputeFactors(alpha, rad);

    int64_t step;
    if (lengthcount % 499 != 0)
      step = 499;
    else if (lengthcount % 491 != 0)
      step = 491;
    else if (lengthcount % 487 != 0)
      step = 487;
    else
      step = 503;

    // The samples: pos advances by step modulo pixels, its row and column
    // along with it. The rows of a memory bitmap stay where they are, so the
    // next sample is fetched while this one is learnt; the row of any other
    // bitmap is asked for when the samples move to it.
    const bool stable = bmp->Location() == vxMemory && !bmp->IsVirtual();
    std::vector<const uint8_t*> rows(stable ? size_t(height) : 0);
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = RowOf(bmp, int32_t(y));
    const int32_t stepRows = int32_t(step / width), stepColumns = int32_t(step % width);
    int64_t pos = 0;
    int32_t y = 0, x = 0, cachedRow = -1;
    const uint8_t* row = nullptr;
    auto advance = [&] {
      pos += step;
      if (pos >= pixels) {
        pos %= pixels;
        y = int32_t(pos / width);
        x = int32_t(pos % width);
      } else {
        x += stepColumns;
        y += stepRows;
        if (x >= width) {
          x -= width;
          ++y;
        }
      }
    };
    int64_t untilNext = delta;
    for (int64_t i = 0; i < samplepixels; ++i) {
      const uint8_t* px;
      if (stable) {
        px = rows[size_t(y)] + size_t(x) * 3;
        advance();
        __builtin_prefetch(rows[size_t(y)] + size_t(x) * 3);
      } else {
        if (y != cachedRow) {
          row = RowOf(bmp, y);
          cachedRow = y;
        }
        px = row + size_t(x) * 3;
        advance();
      }
      const int32_t b = px[0] << 4, g = px[1] << 4, r = px[2] << 4;
      if (avx) {
        int32_t bestpos;
        const int32_t j = ContestAvx2(b, g, r, bestpos);
        freq[bestpos] += 64;
        bias[bestpos] -= 65536;
        AlterAvx2(rad, j, b, g, r);
      } else {
        const int32_t j = Contest(b, g, r);
        AlterSingle(alpha, j, b, g, r);
        if (rad > 0) AlterNeighbours(rad, j, b, g, r);
      }
      if (--untilNext == 0) {
        untilNext = delta;
        alpha -= alpha / alphadec;
        radius -= radius / 30;
        rad = radius >= 128 ? radius >> 6 : 0;
        ComputeRadPower(alpha, rad);
        if (avx) ComputeFactors(alpha, rad);
      }
    }
    if (avx)
      for (int32_t i = 0; i < n; ++i) network[i] = {nb[i], ng[i], nr[i], network[i][3]};
  }

  void Unbias() {
    for (int32_t i = 0; i < n; ++i) {
      for (int c = 0; c < 3; ++c) {
        uint32_t v = (uint32_t(network[i][c]) + 8u) >> 4;
        if (v > 255) v = 255;
        network[i][c] = int32_t(v);
      }
      network[i][3] = i;
    }
  }

  // The smallest lane.
  __attribute__((target("avx2"))) static int32_t Smallest(__m256i V) {
    __m128i m = _mm_min_epi32(_mm256_castsi256_si128(V), _mm256_extracti128_si256(V, 1));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(m);
  }

  __attribute__((target("avx2"))) static __m256i LoadAt(const int32_t* P) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P));
  }

  __attribute__((target("avx2"))) int32_t IndexAvx2(TRGB cl) const { return Nearest(cl); }

  // Runs of one colour are searched once.
  __attribute__((target("avx2"))) void IndicesAvx2(const TRGB* Colours, int32_t Count, int32_t* Out) const {
    for (int32_t i = 0; i < Count; ++i)
      Out[i] = i > 0 && Colours[i] == Colours[i - 1] ? Out[i - 1] : Nearest(Colours[i]);
  }

  // The search of Index over the candidates of the colour's cell. The walk
  // of Index from netindex[g] outwards (up first, then down, in turn) keeps
  // the first neuron it meets at the smallest distance, and it skips only
  // neurons that cannot be nearer: so it answers the nearest neuron, of
  // equals the one of smallest walk rank (2m for the m-th neuron up, 2m + 1
  // for the m-th down). Distances are at most 765, ranks below 1024: the key
  // distance * 1024 + rank orders them both, and the smallest key over the
  // candidates is the answer, since the nearest neurons of every colour of
  // the cell are among them (see Candidates).
  __attribute__((target("avx2"), always_inline)) inline int32_t Nearest(TRGB cl) const {
    const int32_t* c = CellOf(cl);
    const int32_t start = netindex[cl.g];
    const __m256i vb = _mm256_set1_epi32(cl.b), vg = _mm256_set1_epi32(cl.g), vr = _mm256_set1_epi32(cl.r);
    const __m256i vstart = _mm256_set1_epi32(start);
    __m256i best = _mm256_set1_epi32(INT32_MAX);
    const int32_t blocks = *c++;
    for (int32_t k = 0; k < blocks; ++k, c += 32) {
      const __m256i d = _mm256_add_epi32(_mm256_add_epi32(_mm256_abs_epi32(_mm256_sub_epi32(LoadAt(c), vb)),
                                                          _mm256_abs_epi32(_mm256_sub_epi32(LoadAt(c + 8), vg))),
                                         _mm256_abs_epi32(_mm256_sub_epi32(LoadAt(c + 16), vr)));
      // up >= 0: 2 * up; below: 2 * (-up - 1) + 1 = -2 * up - 1 = ~(2 * up).
      const __m256i up = _mm256_sub_epi32(LoadAt(c + 24), vstart);
      const __m256i rank = _mm256_xor_si256(_mm256_slli_epi32(up, 1), _mm256_srai_epi32(up, 31));
      best = _mm256_min_epi32(best, _mm256_add_epi32(_mm256_slli_epi32(d, 10), rank));
    }
    const int32_t rank = Smallest(best) & 1023;
    return sortedIndex[size_t(start + ((rank >> 1) ^ -(rank & 1)))];
  }

  // The candidate blocks of the smallest cell holding Colour (see Candidates).
  __attribute__((target("avx2"), always_inline)) inline const int32_t* CellOf(TRGB Colour) const {
    const int32_t at = cellAt[kLevels - 1][size_t(CellNumber(Colour, kLevels - 1 + kFirstBits))];
    return at >= 0 ? cellPool.data() + at : MakeCell(Colour);
  }

  static int32_t CellNumber(TRGB Colour, int32_t Bits) {
    const int32_t shift = 8 - Bits;
    return ((Colour.r >> shift) << (2 * Bits)) | ((Colour.g >> shift) << Bits) | (Colour.b >> shift);
  }

  // The cells holding Colour that are not made yet, the larger first.
  __attribute__((target("avx2"), noinline)) const int32_t* MakeCell(TRGB Colour) const {
    int32_t from = allAt;
    for (int32_t level = 0; level < kLevels; ++level) {
      const int32_t bits = level + kFirstBits, cell = CellNumber(Colour, bits);
      int32_t& at = cellAt[size_t(level)][size_t(cell)];
      if (at < 0) at = Candidates(from, cell, bits);
      from = at;
    }
    return cellPool.data() + from;
  }

  // The distances of the eight neurons of a block (blue, green, red at
  // Block, Block + 8, Block + 16) to the nearest (Near) and to the farthest
  // (returned) colour of the cube from Lo to Hi.
  __attribute__((target("avx2"))) static __m256i CubeDistances(const int32_t* Block, const __m256i* Lo,
                                                              const __m256i* Hi, __m256i& Near) {
    __m256i dn = _mm256_setzero_si256(), df = _mm256_setzero_si256();
    for (int k = 0; k < 3; ++k) {
      const __m256i v = LoadAt(Block + 8 * k);
      const __m256i below = _mm256_sub_epi32(Lo[k], v), above = _mm256_sub_epi32(v, Hi[k]);
      dn = _mm256_add_epi32(dn, _mm256_max_epi32(_mm256_max_epi32(below, above), _mm256_setzero_si256()));
      df = _mm256_add_epi32(df, _mm256_max_epi32(_mm256_sub_epi32(v, Lo[k]), _mm256_sub_epi32(Hi[k], v)));
    }
    Near = dn;
    return df;
  }

  // The candidates of a cell of colours (Bits bits per channel): every
  // neuron whose distance to the nearest colour of the cell is at most the
  // distance of some neuron to the farthest colour of the cell (the smallest
  // such distance found). A neuron nearest to a colour of the cell is no
  // farther from it than any other neuron, so it is a candidate. They are
  // taken from the candidates at From (those of a cell holding this one, or
  // all neurons): a neuron nearest to a colour is a candidate of every cell
  // holding it. Of those, the ones Prune finds nearest to no colour of the
  // cell are dropped. Appended to cellPool as the number of blocks of eight, then
  // per block the blue, green, red and sorted position of each (the padding
  // is far from every colour); returns where.
  __attribute__((target("avx2"))) int32_t Candidates(int32_t From, int32_t Cell, int32_t Bits) const {
    const int32_t mask = (1 << Bits) - 1, shift = 8 - Bits;
    const int32_t lo[3] = {(Cell & mask) << shift, ((Cell >> Bits) & mask) << shift,
                           (Cell >> (2 * Bits)) << shift};  // blue, green, red
    __m256i vlo[3], vhi[3];
    for (int k = 0; k < 3; ++k) {
      vlo[k] = _mm256_set1_epi32(lo[k]);
      vhi[k] = _mm256_set1_epi32(lo[k] + (1 << shift) - 1);
    }
    const int32_t blocks = cellPool[size_t(From)];
    const int32_t* src = cellPool.data() + From + 1;
    // Four rows of staging (blue, green, red, position) and the near distances.
    const size_t row = size_t(blocks) * 8 + 8;
    scratch.resize(5 * row);
    int32_t* nearest = scratch.data() + 4 * row;
    __m256i far = _mm256_set1_epi32(INT32_MAX), dn;
    for (int32_t k = 0; k < blocks; ++k) {
      far = _mm256_min_epi32(far, CubeDistances(src + 32 * k, vlo, vhi, dn));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(nearest + 8 * k), dn);
    }
    const int32_t smallest = Smallest(far);
    const __m256i bound = _mm256_set1_epi32(smallest);
    // The candidates of each block packed to the front and written whole
    // after those before.
    int32_t count = 0;
    for (int32_t k = 0; k < blocks; ++k) {
      const int32_t taken =
          _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(LoadAt(nearest + 8 * k), bound))) ^ 0xFF;
      const __m256i order = LoadAt(kPack[size_t(taken)].data());
      for (size_t j = 0; j < 4; ++j)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(scratch.data() + j * row + size_t(count)),
                            _mm256_permutevar8x32_epi32(LoadAt(src + 32 * k + 8 * j), order));
      count += __builtin_popcount(unsigned(taken));
    }
    count = Prune(count, row, lo, 1 << shift, smallest, 8);
    const int32_t used = (count + 7) / 8;
    const int32_t at = int32_t(cellPool.size());
    cellPool.resize(cellPool.size() + 1 + 32 * size_t(used));
    int32_t* out = cellPool.data() + at;
    *out++ = used;
    for (int32_t k = 0; k < used; ++k, out += 32)
      for (size_t j = 0; j < 4; ++j) std::memcpy(out + 8 * j, scratch.data() + j * row + 8 * size_t(k), 32);
    if (count % 8 != 0) PadBlock(out - 32, count % 8);
    return at;
  }

  // Drops from the Count staged candidates (rows of Row in scratch) those
  // that a judge is nearer to than they are at every colour of the cube from
  // Lo (sides of Side): they are nearest to none of its colours. The judges
  // are candidates whose distance to the farthest colour of the cube is
  // within Slack of the smallest, Bound; any neuron would be a fair judge,
  // these ones are near the cube and beat the most. Per channel the
  // difference of two distances is monotonic along the side, so its largest
  // value is at an end, and the largest of the sum is the sum of those.
  // Returns how many are left, in their order.
  __attribute__((target("avx2"))) int32_t Prune(int32_t Count, size_t Row, const int32_t* Lo, int32_t Side,
                                                int32_t Bound, int32_t Slack) const {
    if (Count <= 1) return Count;
    int32_t* stage[4] = {scratch.data(), scratch.data() + Row, scratch.data() + 2 * Row, scratch.data() + 3 * Row};
    const int32_t hi[3] = {Lo[0] + Side - 1, Lo[1] + Side - 1, Lo[2] + Side - 1};
    // The judges: the first eight (or fewer) whose distance to the farthest
    // colour is within Slack of the smallest, Bound.
    __m256i vlo[3], vhi[3];
    for (int c = 0; c < 3; ++c) {
      vlo[c] = _mm256_set1_epi32(Lo[c]);
      vhi[c] = _mm256_set1_epi32(hi[c]);
    }
    constexpr int kJudges = 8;
    int32_t judge[kJudges], judges = 0;
    const __m256i limit = _mm256_set1_epi32(Bound + Slack);
    for (int32_t i = 0; i < Count && judges < kJudges; i += 8) {
      __m256i f = _mm256_setzero_si256();
      for (int c = 0; c < 3; ++c) {
        const __m256i v = LoadAt(stage[c] + i);
        f = _mm256_add_epi32(f, _mm256_max_epi32(_mm256_abs_epi32(_mm256_sub_epi32(v, vlo[c])),
                                                 _mm256_abs_epi32(_mm256_sub_epi32(v, vhi[c]))));
      }
      const int32_t lanes = Count - i >= 8 ? 0xFF : (1 << (Count - i)) - 1;
      for (int32_t near = ~_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(f, limit))) & lanes;
           near != 0 && judges < kJudges; near &= near - 1)
        judge[judges++] = i + __builtin_ctz(unsigned(near));
    }
    __m256i toLo[kJudges][3], toHi[kJudges][3];
    for (int k = 0; k < judges; ++k)
      for (int c = 0; c < 3; ++c) {
        toLo[k][c] = _mm256_set1_epi32(std::abs(stage[c][judge[k]] - Lo[c]));
        toHi[k][c] = _mm256_set1_epi32(std::abs(stage[c][judge[k]] - hi[c]));
      }
    int32_t kept = 0;
    for (int32_t i = 0; i < Count; i += 8) {
      __m256i v[4], a[3], b[3];
      for (int c = 0; c < 4; ++c) v[c] = LoadAt(stage[c] + i);
      for (int c = 0; c < 3; ++c) {
        a[c] = _mm256_abs_epi32(_mm256_sub_epi32(v[c], vlo[c]));
        b[c] = _mm256_abs_epi32(_mm256_sub_epi32(v[c], vhi[c]));
      }
      __m256i beaten = _mm256_setzero_si256();
      for (int k = 0; k < judges; ++k) {
        __m256i most = _mm256_setzero_si256();
        for (int c = 0; c < 3; ++c)
          most = _mm256_add_epi32(most, _mm256_max_epi32(_mm256_sub_epi32(toLo[k][c], a[c]),
                                                         _mm256_sub_epi32(toHi[k][c], b[c])));
        beaten = _mm256_or_si256(beaten, _mm256_cmpgt_epi32(_mm256_setzero_si256(), most));
      }
      const int32_t lanes = Count - i >= 8 ? 0xFF : (1 << (Count - i)) - 1;
      const int32_t keep = ~_mm256_movemask_ps(_mm256_castsi256_ps(beaten)) & lanes;
      // Written at or before where they were read, once read.
      const __m256i order = LoadAt(kPack[size_t(keep)].data());
      for (int c = 0; c < 4; ++c)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(stage[c] + kept), _mm256_permutevar8x32_epi32(v[c], order));
      kept += __builtin_popcount(unsigned(keep));
    }
    return kept;
  }

  // The lanes of a block from Lane on: far from every colour, position 0.
  static void PadBlock(int32_t* Block, int32_t Lane) {
    for (; Lane < 8; ++Lane) {
      Block[Lane] = Block[8 + Lane] = Block[16 + Lane] = kPadColour;
      Block[24 + Lane] = 0;
    }
  }

  void BuildIndex() {
    int32_t previouscol = 0, startpos = 0;
    const int32_t maxnetpos = n - 1;
    for (int32_t i = 0; i < n; ++i) {
      int32_t smallpos = i, smallval = network[i][1];
      for (int32_t j = i + 1; j < n; ++j)
        if (network[j][1] < smallval) {
          smallpos = j;
          smallval = network[j][1];
        }
      if (i != smallpos) std::swap(network[i], network[smallpos]);
      if (smallval != previouscol) {
        netindex[previouscol] = (startpos + i) >> 1;
        for (int32_t j = previouscol + 1; j < smallval; ++j) netindex[j] = i;
        previouscol = smallval;
        startpos = i;
      }
    }
    netindex[previouscol] = (startpos + maxnetpos) >> 1;
    for (int32_t j = previouscol + 1; j < 256; ++j) netindex[j] = maxnetpos;
    // For the searches of IndexAvx2: the original index of each sorted
    // neuron, and all of them as blocks of candidates (see Candidates).
    sortedIndex.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i) sortedIndex[size_t(i)] = network[i][3];
    const int32_t blocks = (n + 7) / 8;
    cellPool.assign(1 + 32 * size_t(blocks), 0);
    cellPool[0] = blocks;
    for (int32_t i = 0; i < n; ++i) {
      int32_t* block = cellPool.data() + 1 + (i / 8) * 32;
      for (int k = 0; k < 3; ++k) block[8 * k + i % 8] = network[i][k];
      block[24 + i % 8] = i;
    }
    if (n % 8 != 0) PadBlock(cellPool.data() + 1 + (blocks - 1) * 32, n % 8);
    allAt = 0;
    for (int32_t level = 0; level < kLevels; ++level)
      cellAt[size_t(level)].assign(size_t(1) << (3 * (level + kFirstBits)), -1);
  }

  int32_t n = 1;
  int32_t width = 0, height = 0;
  int64_t lengthcount = 0;
  int32_t samplefac = 1;
  int32_t initrad = 0, initradius = 0;
  std::vector<std::array<int32_t, 4>> network;
  std::vector<int32_t> bias, freq, radpower, factors;
  // The neurons' colours again, one array per channel, for Contest's search.
  std::vector<int32_t> nb, ng, nr;
  static constexpr int32_t kFarAway = 1 << 28;
  // IndexAvx2's cells: cubes of colours at kLevels sizes, the first of
  // kFirstBits bits per channel, each next one of a bit more. Per cell the
  // offset of its candidates in cellPool, -1 until the cell is first asked
  // for; all neurons at allAt.
  static constexpr int32_t kLevels = 2, kFirstBits = 3;
  static constexpr int32_t kPadColour = 4096;
  mutable std::array<std::vector<int32_t>, kLevels> cellAt;
  mutable std::vector<int32_t> cellPool, scratch;
  int32_t allAt = 0;
  std::vector<int32_t> sortedIndex;
  int32_t netindex[256] = {};
};

}  // namespace

// ---------------------------------------------------------------------------

TVXQuantizer::TVXQuantizer(TVXBitmap* SrcBitmap, TRGB* ColorMap, int32_t ColorMapHigh, int32_t NCol)
    : fSrcBmp(SrcBitmap) {
  // Never write past the caller's palette, never divide by a colour count of 0.
  if (ColorMap && NCol > ColorMapHigh + 1) NCol = ColorMapHigh + 1;
  if (NCol < 1) NCol = 1;
  fNCol = NCol;
  if (!SrcBitmap || !ColorMap || ColorMapHigh < 0) return;
  fGrayScale = IsGrayScale(SrcBitmap);
  const TVXPixelFormat pf = SrcBitmap->PixelFormat();

  if (fGrayScale || pf != vx24RGB) {
    if (pf == vx8p) {
      const TRGB* pal = static_cast<const TRGB*>(SrcBitmap->PaletteBuffer());
      const int32_t len = SrcBitmap->PaletteLength();
      for (int32_t i = 0; i < NCol; ++i) ColorMap[i] = (pal && i < len) ? pal[i] : TRGB{};
    } else if (fGrayScale) {
      for (int32_t i = 0; i < NCol; ++i) {
        // Trunc(256 / NCol * i), computed exactly.
        const uint8_t v = uint8_t(int64_t(256) * i / NCol);
        ColorMap[i].r = ColorMap[i].g = ColorMap[i].b = v;
      }
    }
    return;
  }

  // Exact palette: the distinct colours in scan order, abandoned at NCol + 1.
  {
    auto sq = std::make_unique<std::vector<TRGB>>();
    std::unordered_map<uint32_t, int32_t> index;
    bool ok = true;
    const int32_t w = SrcBitmap->Width(), h = SrcBitmap->Height();
    for (int32_t y = 0; y < h && ok; ++y) {
      const uint8_t* p = RowOf(SrcBitmap, y);
      for (int32_t x = 0; x < w; ++x, p += 3) {
        const uint32_t key = PackRGB(p[2], p[1], p[0]);
        if (index.find(key) != index.end()) continue;
        if (int32_t(sq->size()) >= NCol) {
          ok = false;
          break;
        }
        index.emplace(key, int32_t(sq->size()));
        TRGB c;
        c.b = p[0];
        c.g = p[1];
        c.r = p[2];
        sq->push_back(c);
      }
    }
    if (ok) {
      std::copy(sq->begin(), sq->end(), ColorMap);
      fSQ = std::move(sq);
      fSQIndex = std::move(index);
      return;
    }
  }

  const int32_t alg = VXGetGlobalSettings()->ColorReductionAlgorithm();
  if (alg == -1)
    fMethod = NCol < 128 ? 1 : 0;
  else if (alg == 1)
    fMethod = 1;
  else
    fMethod = 0;
  if (fMethod == 0)
    fQT = std::make_unique<NeuralQuantizer>(SrcBitmap, ColorMap,
                                            VXGetGlobalSettings()->ColorReductionQuality(), NCol);
  else
    // The cell map addresses at most 256 boxes.
    fQT = std::make_unique<HistogramQuantizer>(SrcBitmap, ColorMap, std::min<int32_t>(NCol, 256));
}

TVXQuantizer::~TVXQuantizer() = default;

int32_t TVXQuantizer::GetRGBIndex(TRGB cl) const {
  if (fSQ) {
    const auto it = fSQIndex.find(PackRGB(cl.r, cl.g, cl.b));
    return it == fSQIndex.end() ? 0 : it->second;
  }
  if (fGrayScale) return int32_t(int64_t(cl.r) * fNCol / 256);
  if (fQT) return fQT->Index(cl);
  if (fSrcBmp && fSrcBmp->PixelFormat() == vx8p) {
    const TRGB* pal = static_cast<const TRGB*>(fSrcBmp->PaletteBuffer());
    const int32_t len = fSrcBmp->PaletteLength();
    for (int32_t i = 0; pal && i < len; ++i)
      if (pal[i].r == cl.r && pal[i].g == cl.g && pal[i].b == cl.b) return i;
  }
  return 0;
}

void TVXQuantizer::GetRGBIndices(const TRGB* Colours, int32_t Count, int32_t* Indices) const {
  if (fQT && !fSQ && !fGrayScale)
    fQT->Indices(Colours, Count, Indices);
  else
    for (int32_t i = 0; i < Count; ++i) Indices[i] = GetRGBIndex(Colours[i]);
}

void vxdetail::VXQuantizerForceScalar(bool Value) { gForceScalar.store(Value, std::memory_order_relaxed); }
