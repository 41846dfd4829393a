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
    for (auto* c : {&nb, &ng, &nr}) c->assign(padded, kFarAway);
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
    if (UseAvx2()) {
      int32_t bestpos;
      const int32_t bestbiaspos = ContestAvx2(b, g, r, bestpos);
      freq[bestpos] += 64;
      bias[bestpos] -= 65536;
      return bestbiaspos;
    }
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
    for (int32_t i = 0; i < count; i += 8) {
      const __m256i d = Distances(nb, ng, nr, i, vb, vg, vr);
      const __m256i closer = _mm256_cmpgt_epi32(bestd, d);
      bestd = _mm256_blendv_epi8(bestd, d, closer);
      bestpos = _mm256_blendv_epi8(bestpos, idx, closer);
      __m256i bi = Load(bias, i);
      const __m256i bd = _mm256_sub_epi32(d, _mm256_srai_epi32(bi, 12));
      const __m256i closerBiased = _mm256_cmpgt_epi32(bestbd, bd);
      bestbd = _mm256_blendv_epi8(bestbd, bd, closerBiased);
      bestbpos = _mm256_blendv_epi8(bestbpos, idx, closerBiased);
      __m256i fr = Load(freq, i);
      const __m256i betafreq = _mm256_srai_epi32(fr, 10);
      fr = _mm256_sub_epi32(fr, betafreq);
      bi = _mm256_add_epi32(bi, _mm256_slli_epi32(betafreq, 10));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(freq.data() + i), fr);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(bias.data() + i), bi);
      idx = _mm256_add_epi32(idx, eight);
    }
    BestPos = FirstBest(bestd, bestpos);
    return FirstBest(bestbd, bestbpos);
  }

  __attribute__((target("avx2"))) static __m256i Load(const std::vector<int32_t>& V, int32_t I) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(V.data() + I));
  }

  // |B - b| + |G - g| + |R - r| of the eight neurons from I.
  __attribute__((target("avx2"))) static __m256i Distances(const std::vector<int32_t>& B, const std::vector<int32_t>& G,
                                                          const std::vector<int32_t>& R, int32_t I, __m256i b,
                                                          __m256i g, __m256i r) {
    return _mm256_add_epi32(_mm256_add_epi32(_mm256_abs_epi32(_mm256_sub_epi32(Load(B, I), b)),
                                             _mm256_abs_epi32(_mm256_sub_epi32(Load(G, I), g))),
                            _mm256_abs_epi32(_mm256_sub_epi32(Load(R, I), r)));
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
    Mirror(i);
  }

  // The search copy of neuron i's colour.
  void Mirror(int32_t i) {
    nb[i] = network[i][0];
    ng[i] = network[i][1];
    nr[i] = network[i][2];
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
        Mirror(j);
      }
    }
  }

  void Learn(TVXBitmap* bmp, int64_t pixels) {
    const int32_t alphadec = 30 + (samplefac - 1) / 3;
    const int64_t samplepixels = lengthcount / (3 * int64_t(samplefac));
    int64_t delta = samplepixels / 100;
    if (delta < 1) delta = 1;
    int32_t alpha = 1024;
    int32_t radius = initradius;
    int32_t rad = radius >= 128 ? radius >> 6 : 0;
    ComputeRadPower(alpha, rad);

    int64_t step;
    if (lengthcount % 499 != 0)
      step = 499;
    else if (lengthcount % 491 != 0)
      step = 491;
    else if (lengthcount % 487 != 0)
      step = 487;
    else
      step = 503;

    int64_t pos = 0;
    int32_t cachedRow = -1;
    const uint8_t* row = nullptr;
    for (int64_t i = 0; i < samplepixels;) {
      const int32_t y = int32_t(pos / width), x = int32_t(pos % width);
      if (y != cachedRow) {
        row = RowOf(bmp, y);
        cachedRow = y;
      }
      const uint8_t* px = row + size_t(x) * 3;
      const int32_t b = px[0] << 4, g = px[1] << 4, r = px[2] << 4;
      const int32_t j = Contest(b, g, r);
      AlterSingle(alpha, j, b, g, r);
      if (rad > 0) AlterNeighbours(rad, j, b, g, r);
      pos = (pos + step) % pixels;
      ++i;
      if (i % delta == 0) {
        alpha -= alpha / alphadec;
        radius -= radius / 30;
        rad = radius >= 128 ? radius >> 6 : 0;
        ComputeRadPower(alpha, rad);
      }
    }
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

  // The keys of the sorted neurons First .. First + 7 (the padding is far
  // from every colour).
  __attribute__((target("avx2"))) __m256i BlockKeys(int32_t First, __m256i b, __m256i g, __m256i r,
                                                    __m256i start) const {
    const __m256i d = Distances(sb, sg, sr, First + kSortedPad, b, g, r);
    const __m256i up =
        _mm256_sub_epi32(_mm256_add_epi32(_mm256_set1_epi32(First), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)), start);
    // up >= 0: 2 * up; below: 2 * (-up - 1) + 1 = -2 * up - 1.
    const __m256i twice = _mm256_slli_epi32(up, 1);
    const __m256i rank =
        _mm256_blendv_epi8(twice, _mm256_sub_epi32(_mm256_sub_epi32(_mm256_setzero_si256(), twice), _mm256_set1_epi32(1)),
                           _mm256_cmpgt_epi32(_mm256_setzero_si256(), up));
    return _mm256_add_epi32(_mm256_slli_epi32(d, 10), rank);
  }

  __attribute__((target("avx2"))) static int32_t Smallest(__m256i V) {
    __m128i m = _mm_min_epi32(_mm256_castsi256_si128(V), _mm256_extracti128_si256(V, 1));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(m);
  }

  // The search of Index, eight neurons at a time. The walk from netindex[g]
  // outwards (up first, then down, in turn) keeps the first neuron it meets
  // at the smallest distance, and it skips only neurons that cannot be
  // nearer: so it answers the nearest neuron, of equals the one of smallest
  // walk rank (2m for the m-th neuron up, 2m + 1 for the m-th down).
  // Distances are at most 765, ranks below 1024: the key distance * 1024 +
  // rank orders them both. The blocks go outwards the same way, up and down
  // in turn; a direction ends where the green distance alone exceeds the
  // best distance found (the neurons are sorted by green), as every neuron
  // beyond is then farther than the best.
  __attribute__((target("avx2"))) int32_t IndexAvx2(TRGB cl) const {
    const __m256i vb = _mm256_set1_epi32(cl.b), vg = _mm256_set1_epi32(cl.g), vr = _mm256_set1_epi32(cl.r);
    const int32_t start = netindex[cl.g];
    const __m256i vstart = _mm256_set1_epi32(start);
    __m256i best = _mm256_set1_epi32(INT32_MAX);
    const int32_t g = cl.g;
    int32_t bestd = INT32_MAX;
    int32_t up = start, down = start;  // the next block up begins at up, the next down ends before down
    bool goUp = true, goDown = true;
    while (goUp || goDown) {
      if (goUp) {
        if (up >= n || sg[size_t(up + kSortedPad)] - g > bestd) {
          goUp = false;
        } else {
          best = _mm256_min_epi32(best, BlockKeys(up, vb, vg, vr, vstart));
          up += 8;
        }
      }
      if (goDown) {
        if (down <= 0 || g - sg[size_t(down - 1 + kSortedPad)] > bestd) {
          goDown = false;
        } else {
          best = _mm256_min_epi32(best, BlockKeys(down - 8, vb, vg, vr, vstart));
          down -= 8;
        }
      }
      bestd = Smallest(best) >> 10;
    }
    const int32_t key = Smallest(best);
    const int32_t rank = key & 1023;
    const int32_t at = start + (rank % 2 == 0 ? rank / 2 : -(rank + 1) / 2);
    return network[at][3];
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
    // The sorted colours again, one array per channel, for IndexAvx2, neuron
    // i at i + kSortedPad; the padding on either side (a block of eight may
    // begin below 0 or end past n) is far from every colour.
    const size_t padded = size_t(n) + 2 * kSortedPad;
    for (auto* c : {&sb, &sg, &sr}) c->assign(padded, 4096);
    for (int32_t i = 0; i < n; ++i) {
      sb[size_t(i + kSortedPad)] = network[i][0];
      sg[size_t(i + kSortedPad)] = network[i][1];
      sr[size_t(i + kSortedPad)] = network[i][2];
    }
  }

  int32_t n = 1;
  int32_t width = 0, height = 0;
  int64_t lengthcount = 0;
  int32_t samplefac = 1;
  int32_t initrad = 0, initradius = 0;
  std::vector<std::array<int32_t, 4>> network;
  std::vector<int32_t> bias, freq, radpower;
  // The neurons' colours again, one array per channel, for Contest's search.
  std::vector<int32_t> nb, ng, nr;
  // The colours of the sorted network, for Index's search.
  static constexpr int32_t kSortedPad = 8;
  std::vector<int32_t> sb, sg, sr;
  static constexpr int32_t kFarAway = 1 << 28;
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

void vxdetail::VXQuantizerForceScalar(bool Value) { gForceScalar.store(Value, std::memory_order_relaxed); }
