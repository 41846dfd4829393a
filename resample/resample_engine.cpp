// Two-pass kernel resampler: reference and fast implementations.

#include "resample/resample_engine.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/threadpool.h"
#include "resample/resample_filters.h"

namespace {

inline int32_t ClampSample(int64_t v, int32_t maxv) {
  if (v < 0) return 0;
  if (v > maxv) return maxv;
  return int32_t(v);
}

// Sum divided by its weight sum, truncating toward zero. A weight sum of 0
// either divides by 256 or takes the sum shifted right by 8 as an unsigned
// 32-bit value.
inline int64_t DivideSum(int64_t sum, int64_t wsum, bool zeroDivides) {
  if (wsum == 0) {
    if (zeroDivides) return sum / 256;
    return int64_t(uint32_t(sum) >> 8);
  }
  return sum / wsum;
}

// Reports a percentage when it differs from the last one reported.
struct ProgressReporter {
  const std::function<void(int32_t)>* fn = nullptr;
  bool any = false;
  int32_t last = 0;
  void Report(int32_t per) {
    if (!fn || !*fn) return;
    if (any && per == last) return;
    any = true;
    last = per;
    (*fn)(per);
  }
};

// ---------------------------------------------------------------------------
// Reference implementation: the rules as they read, one sample at a time.

// One intermediate row (DW * C samples) from a source row.
template <typename T>
void ReferenceHorizRow(const T* row, T* out, int32_t DW, int32_t C, const TCListList& h, bool zeroDivides) {
  const int32_t maxv = sizeof(T) == 1 ? 255 : 65535;
  for (int32_t i = 0; i < DW; ++i) {
    const TCList& l = h[size_t(i)];
    for (int32_t c = 0; c < C; ++c) {
      int64_t sum = 0, wsum = 0;
      for (int32_t k = 0; k < l.n; ++k) {
        sum += int64_t(l.p[size_t(k)].weight) * row[size_t(l.p[size_t(k)].pixel) * size_t(C) + size_t(c)];
        wsum += l.p[size_t(k)].weight;
      }
      out[size_t(i) * size_t(C) + size_t(c)] = T(ClampSample(DivideSum(sum, wsum, zeroDivides), maxv));
    }
  }
}

// The target rows from the intermediate rows (workLen samples each, stride
// apart), to J.DstRow.
template <typename T>
void ReferenceVertical(const TVXKernelJob& J, const T* work, size_t workLen, size_t stride, double per1) {
  const int32_t SH = J.SrcHeight, DH = J.DstHeight;
  const int32_t maxv = sizeof(T) == 1 ? 255 : 65535;
  const TCListList v = VXBuildContributors(SH, DH, J.Filter, false);
  std::vector<T> outRow(workLen);
  ProgressReporter progress{&J.Progress};
  for (int32_t i = 0; i < DH; ++i) {
    const TCList& l = v[size_t(i)];
    for (size_t x = 0; x < workLen; ++x) {
      int64_t sum = 0, wsum = 0;
      for (int32_t k = 0; k < l.n; ++k) {
        int32_t r = std::clamp(l.p[size_t(k)].pixel, 0, SH - 1);
        sum += int64_t(l.p[size_t(k)].weight) * work[size_t(r) * stride + x];
        wsum += l.p[size_t(k)].weight;
      }
      outRow[x] = T(ClampSample(DivideSum(sum, wsum, false), maxv));
    }
    J.DstRow(i, outRow.data());
    progress.Report(int32_t(double(SH + i + 1) * per1));
  }
}

template <typename T>
void ReferenceImpl(const TVXKernelJob& J) {
  const int32_t SW = J.SrcWidth, SH = J.SrcHeight, DW = J.DstWidth;
  const int32_t C = J.Channels;
  const double per1 = 100.0 / (double(SH) + double(DW) + 0.5);
  const size_t workLen = size_t(DW) * size_t(C);

  std::vector<T> work(workLen * size_t(SH));
  {
    const TCListList h = VXBuildContributors(SW, DW, J.Filter, true);
    std::vector<T> scratch(size_t(SW) * size_t(C));
    ProgressReporter progress{&J.Progress};
    for (int32_t y = 0; y < SH; ++y) {
      const T* row = static_cast<const T*>(J.SrcRow(y, scratch.data()));
      ReferenceHorizRow<T>(row, work.data() + size_t(y) * workLen, DW, C, h, J.HorizZeroSumDivides);
      progress.Report(int32_t(double(y + 1) * per1));
    }
  }
  ReferenceVertical<T>(J, work.data(), workLen, workLen, per1);
}

// ---------------------------------------------------------------------------
// Fast implementation.
//
// Each contributor list becomes a dense run: its first source position and
// one weight per position up to its last (positions named twice by the edge
// mirroring get the sum of their weights, positions not named get 0). Integer
// sums do not depend on the order of their terms, so every output sample is
// the reference's. Division goes through doubles, which is exact here: the
// operands are integers below 2^31, so the rounded quotient never crosses the
// integer that truncation picks.

struct DenseAxis {
  std::vector<int32_t> start;  // first source position of each list
  std::vector<int32_t> len;    // positions of the run
  std::vector<int64_t> wofs;   // offset of the run in w
  std::vector<int32_t> wsum;   // weight sum of each list
  std::vector<int32_t> w;      // all runs
  int64_t maxAbsSum = 0;       // largest sum of |weight| over a run
  int32_t maxAbs = 0;          // largest |weight|
};

DenseAxis Densify(const TCListList& lists, int32_t srcSize) {
  DenseAxis d;
  const size_t n = lists.size();
  d.start.resize(n);
  d.len.resize(n);
  d.wofs.resize(n);
  d.wsum.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const TCList& l = lists[i];
    d.wofs[i] = int64_t(d.w.size());
    if (l.n == 0) {
      d.start[i] = 0;
      d.len[i] = 0;
      d.wsum[i] = 0;
      continue;
    }
    int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (int32_t k = 0; k < l.n; ++k) {
      int32_t p = std::clamp(l.p[size_t(k)].pixel, 0, srcSize - 1);
      lo = std::min(lo, p);
      hi = std::max(hi, p);
    }
    d.start[i] = lo;
    d.len[i] = hi - lo + 1;
    const size_t base = d.w.size();
    d.w.resize(base + size_t(hi - lo + 1), 0);
    int64_t ws = 0;
    for (int32_t k = 0; k < l.n; ++k) {
      int32_t p = std::clamp(l.p[size_t(k)].pixel, 0, srcSize - 1);
      d.w[base + size_t(p - lo)] += l.p[size_t(k)].weight;
      ws += l.p[size_t(k)].weight;
    }
    d.wsum[i] = int32_t(ws);
    int64_t abssum = 0;
    for (size_t k = base; k < d.w.size(); ++k) {
      abssum += std::abs(int64_t(d.w[k]));
      d.maxAbs = std::max<int32_t>(d.maxAbs, std::abs(d.w[k]));
    }
    d.maxAbsSum = std::max(d.maxAbsSum, abssum);
  }
  return d;
}

}  // namespace

struct TVXKernelTables {
  int32_t SrcWidth, SrcHeight, DstWidth, DstHeight;
  TResampleFilter Filter;
  DenseAxis h, v;
};

namespace {

std::atomic<bool> gForceScalar{false};

bool HaveAVX2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has && !gForceScalar.load(std::memory_order_relaxed);
}

// Runs fn(band, first, last) over `count` items split into `bands` balanced
// bands on the thread pool (on the calling thread when there is one band).
template <typename Fn>
void RunBands(int32_t count, int32_t bands, Fn&& fn) {
  if (bands <= 1 || count <= 1) {
    fn(0, 0, count);
    return;
  }
  bands = std::min(bands, count);
  TVXThreadPool pool;
  for (int32_t b = 0; b < bands; ++b) {
    int32_t first = int32_t(int64_t(count) * b / bands);
    int32_t last = int32_t(int64_t(count) * (b + 1) / bands);
    pool.Add([&fn, b, first, last] { fn(b, first, last); });
  }
  pool.Join();
}

constexpr size_t kRowSlack = kVXKernelRowSlack;  // bytes readable past the end of a padded row

// Weight layouts for the AVX2 loops.
struct SimdWeights {
  // 3 channels: per group of 4 source pixels 16 int16 lanes
  // (w0 w1 w0 w1 w0 w1 0 0 | w2 w3 w2 w3 w2 w3 0 0).
  // 1 channel: per group of 16 source pixels their 16 weights.
  std::vector<int16_t> lanes;
  std::vector<int64_t> gofs;    // first lane of each list
  std::vector<int32_t> groups;  // groups of each list
  // Whether the list's vector loads stay inside a row of exactly SrcWidth
  // pixels (lists at the right edge read past it and need a padded row).
  std::vector<uint8_t> inside;
  // Planes and one-channel rows whose weights all lie within +-64 (strong
  // reductions): per group of 32 source pixels their 32 weights as bytes. Two
  // pixels times two such weights stay inside 16 bits, so byte products
  // summed in pairs are exact.
  std::vector<int8_t> bytes;
  std::vector<int64_t> bofs;    // first byte of each list
  std::vector<int32_t> bgroups;  // groups of 32 of each list
  int64_t rowBytes = 0;          // of an unpadded source row
  // The reciprocal of each list's divisor (0 for none), when quotients may be
  // taken by it (see Quotients); empty otherwise.
  std::vector<double> recip;
};

// Sums of at most 2^24 in absolute value, by divisors below 2^15: the sum
// times the divisor's reciprocal lies within 2^-27 of the quotient, and a
// quotient that is not an integer lies at least 2^-15 from one, so with a
// bias of 2^-20 the product truncates to the integer the quotient truncates
// to for every quotient of 0 or more. A negative quotient gives 0 or less,
// which the clamp to 0 .. 255 makes 0 just as it does the quotient.
constexpr int64_t kReciprocalWeights = int64_t(1) << 15;  // sum of |weights| below this (8-bit samples)

__attribute__((target("avx2"))) inline __m128i Quotients(__m128i Sums, __m256d Reciprocal) {
  const __m256d bias = _mm256_set1_pd(1.0 / double(1 << 20));
  return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(Sums), Reciprocal), bias));
}

constexpr int32_t kByteWeightLimit = 64;

void BuildByteWeights(const DenseAxis& d, SimdWeights& s) {
  const size_t n = d.start.size();
  s.bofs.resize(n);
  s.bgroups.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const int32_t len = d.len[i];
    const int32_t g = (len + 31) / 32;
    s.bofs[i] = int64_t(s.bytes.size());
    s.bgroups[i] = g;
    s.bytes.resize(s.bytes.size() + size_t(g) * 32, 0);
    const int32_t* w = d.w.data() + d.wofs[i];
    for (int32_t k = 0; k < len; ++k) s.bytes[size_t(s.bofs[i]) + size_t(k)] = int8_t(w[k]);
  }
}

SimdWeights BuildSimdWeights(const DenseAxis& d, int32_t channels, int32_t srcWidth) {
  SimdWeights s;
  const size_t n = d.start.size();
  s.rowBytes = int64_t(srcWidth) * channels;
  s.gofs.resize(n);
  s.groups.resize(n);
  s.inside.resize(n);
  const int32_t per = channels == 3 ? 4 : 16;
  for (size_t i = 0; i < n; ++i) {
    const int32_t len = d.len[i];
    const int32_t g = (len + per - 1) / per;
    s.gofs[i] = int64_t(s.lanes.size());
    s.groups[i] = g;
    const int64_t lastByte = channels == 3 ? 3 * int64_t(d.start[i]) + 12 * int64_t(g) + 4
                                           : int64_t(d.start[i]) + 16 * int64_t(g);
    s.inside[i] = lastByte <= int64_t(srcWidth) * channels;
    s.lanes.resize(s.lanes.size() + size_t(g) * 16, 0);
    int16_t* out = s.lanes.data() + s.gofs[i];
    const int32_t* w = d.w.data() + d.wofs[i];
    for (int32_t k = 0; k < len; ++k) {
      int16_t v = int16_t(w[k]);
      if (channels == 3) {
        int32_t grp = k / 4, pos = k % 4;
        int16_t* lane = out + grp * 16 + (pos >= 2 ? 8 : 0);
        int32_t which = pos & 1;
        lane[0 + which] = v;
        lane[2 + which] = v;
        lane[4 + which] = v;
      } else {
        out[k] = v;
      }
    }
  }
  return s;
}

// ---- horizontal rows ----

template <typename T>
void HorizRowScalar(const T* src, T* out, int32_t C, const DenseAxis& d, const std::vector<int32_t>& divisor,
                    int32_t maxv) {
  const int32_t DW = int32_t(d.start.size());
  for (int32_t i = 0; i < DW; ++i) {
    const int32_t* w = d.w.data() + d.wofs[size_t(i)];
    const T* p = src + size_t(d.start[size_t(i)]) * size_t(C);
    const int32_t len = d.len[size_t(i)];
    const int32_t div = divisor[size_t(i)];
    for (int32_t c = 0; c < C; ++c) {
      int32_t sum = 0;
      for (int32_t k = 0; k < len; ++k) sum += w[k] * int32_t(p[size_t(k) * size_t(C) + size_t(c)]);
      int64_t q = div != 0 ? int64_t(sum) / div : int64_t(uint32_t(sum) >> 8);
      out[size_t(i) * size_t(C) + size_t(c)] = T(ClampSample(q, maxv));
    }
  }
}

// Sums of one list over a row with plain loops (for lists whose vector
// loads would leave an unpadded row).
inline void DenseSums(const uint8_t* src, int32_t C, const DenseAxis& d, int32_t i, int32_t* sums) {
  const int32_t* w = d.w.data() + d.wofs[size_t(i)];
  const uint8_t* p = src + size_t(d.start[size_t(i)]) * size_t(C);
  const int32_t len = d.len[size_t(i)];
  for (int32_t c = 0; c < C; ++c) {
    int32_t sum = 0;
    for (int32_t k = 0; k < len; ++k) sum += w[k] * int32_t(p[size_t(k) * size_t(C) + size_t(c)]);
    sums[c] = sum;
  }
}

// One pixel of a 3-channel row from its sums (B G R 0): divided by the list's
// weight sum, or shifted when that is 0 and it does not divide.
__attribute__((target("avx2"))) inline void StorePixel3(__m128i s, int32_t div, uint8_t* o) {
  if (div != 0) {
    __m128i q = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(s), _mm256_set1_pd(double(div))));
    __m128i b = _mm_packus_epi16(_mm_packs_epi32(q, q), q);
    uint32_t v = uint32_t(_mm_cvtsi128_si32(b));
    std::memcpy(o, &v, 4);  // the fourth byte lands in the next pixel or the row's slack
  } else {
    alignas(16) int32_t sums[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), s);
    for (int c = 0; c < 3; ++c) o[c] = uint8_t(ClampSample(int64_t(uint32_t(sums[c]) >> 8), 255));
  }
}

// The pixels of a 3-channel row from Sums(i) (B G R 0 of pixel i), two at a
// time by the reciprocals of their divisors where there are any.
template <typename Sums>
__attribute__((target("avx2"))) inline void StoreRow3(const Sums& sums, int32_t DW, const SimdWeights& sw,
                                                      const std::vector<int32_t>& divisor, uint8_t* out) {
  int32_t i = 0;
  if (!sw.recip.empty())
    for (; i + 1 < DW; i += 2) {
      const int32_t d0 = divisor[size_t(i)], d1 = divisor[size_t(i) + 1];
      const __m128i s0 = sums(i), s1 = sums(i + 1);
      uint8_t* o = out + size_t(i) * 3;
      if (d0 == 0 || d1 == 0) {
        StorePixel3(s0, d0, o);
        StorePixel3(s1, d1, o + 3);
        continue;
      }
      const __m128i q0 = Quotients(s0, _mm256_set1_pd(sw.recip[size_t(i)]));
      const __m128i q1 = Quotients(s1, _mm256_set1_pd(sw.recip[size_t(i) + 1]));
      const __m128i w = _mm_packs_epi32(q0, q1);
      const __m128i b = _mm_packus_epi16(w, w);
      const uint32_t v0 = uint32_t(_mm_cvtsi128_si32(b)), v1 = uint32_t(_mm_extract_epi32(b, 1));
      std::memcpy(o, &v0, 4);
      std::memcpy(o + 3, &v1, 4);  // the fourth byte lands in the next pixel or the row's slack
    }
  for (; i < DW; ++i) StorePixel3(sums(i), divisor[size_t(i)], out + size_t(i) * 3);
}

// The sums of one list over an interleaved B G R row, four pixels a step.
struct TInterleavedSums {
  const uint8_t* src;
  bool padded;
  const DenseAxis& d;
  const SimdWeights& sw;
  __attribute__((target("avx2"))) __m128i operator()(int32_t i) const {
    const __m256i shuf = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1,  //
                                          6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
    if (!padded && !sw.inside[size_t(i)]) {
      int32_t plain[3];
      DenseSums(src, 3, d, i, plain);
      return _mm_setr_epi32(plain[0], plain[1], plain[2], 0);
    }
    const uint8_t* p = src + size_t(d.start[size_t(i)]) * 3;
    const int16_t* w = sw.lanes.data() + sw.gofs[size_t(i)];
    const int32_t groups = sw.groups[size_t(i)];
    __m256i acc0 = _mm256_setzero_si256();
    __m256i acc1 = _mm256_setzero_si256();
    int32_t g = 0;
    for (; g + 1 < groups; g += 2) {
      __m256i a = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size_t(g) * 12)));
      __m256i b =
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size_t(g) * 12 + 12)));
      a = _mm256_shuffle_epi8(a, shuf);
      b = _mm256_shuffle_epi8(b, shuf);
      acc0 = _mm256_add_epi32(
          acc0, _mm256_madd_epi16(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + size_t(g) * 16))));
      acc1 = _mm256_add_epi32(
          acc1, _mm256_madd_epi16(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + size_t(g) * 16 + 16))));
    }
    if (g < groups) {
      __m256i a = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size_t(g) * 12)));
      a = _mm256_shuffle_epi8(a, shuf);
      acc0 = _mm256_add_epi32(
          acc0, _mm256_madd_epi16(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + size_t(g) * 16))));
    }
    const __m256i acc = _mm256_add_epi32(acc0, acc1);
    return _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));  // B G R 0
  }
};

__attribute__((target("avx2"))) void HorizRow3Avx2(const uint8_t* src, bool padded, uint8_t* out, const DenseAxis& d,
                                                   const SimdWeights& sw, const std::vector<int32_t>& divisor) {
  StoreRow3(TInterleavedSums{src, padded, d, sw}, int32_t(d.start.size()), sw, divisor, out);
}

// Long windows of 3-channel rows (strong reductions): the row split into
// one plane per channel, each list then summed over 16 pixels per step with
// one weight vector shared by the three planes. The integer sums are those of
// the interleaved loop; only their order differs.
__attribute__((target("avx2"))) void SplitPlanes3(const uint8_t* src, int32_t n, uint8_t* b, uint8_t* g, uint8_t* r) {
  const __m128i a0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i b0 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
  const __m128i c0 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
  const __m128i a1 = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i b1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
  const __m128i c1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
  const __m128i a2 = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i b2 = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
  const __m128i c2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
  int32_t x = 0;
  for (; x + 16 <= n; x += 16) {
    const uint8_t* p = src + size_t(x) * 3;
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b + x),
                     _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(u, a0), _mm_shuffle_epi8(v, b0)), _mm_shuffle_epi8(w, c0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(g + x),
                     _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(u, a1), _mm_shuffle_epi8(v, b1)), _mm_shuffle_epi8(w, c1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r + x),
                     _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(u, a2), _mm_shuffle_epi8(v, b2)), _mm_shuffle_epi8(w, c2)));
  }
  for (; x < n; ++x) {
    b[x] = src[size_t(x) * 3];
    g[x] = src[size_t(x) * 3 + 1];
    r[x] = src[size_t(x) * 3 + 2];
  }
}

// B G R 0 sums from the three planes' sums (eight lanes each).
__attribute__((target("avx2"))) inline __m128i PlaneSums(__m256i accB, __m256i accG, __m256i accR) {
  // B01 B23 G01 G23 | B45 B67 G45 G67, then R, then B G R 0 per half.
  const __m256i bg = _mm256_hadd_epi32(accB, accG);
  const __m256i r0 = _mm256_hadd_epi32(accR, _mm256_setzero_si256());
  const __m256i all = _mm256_hadd_epi32(bg, r0);
  return _mm_add_epi32(_mm256_castsi256_si128(all), _mm256_extracti128_si256(all, 1));
}

// The sums of one list over a row split into planes, 16 pixels of each plane
// a step with the 1-channel weight layout. The planes are readable up to the
// end of every list's last group.
struct TPlaneSums {
  const uint8_t *pb, *pg, *pr;
  const DenseAxis& d;
  const SimdWeights& sw;
  __attribute__((target("avx2"))) __m128i operator()(int32_t i) const {
    const size_t first = size_t(d.start[size_t(i)]);
    const int16_t* w = sw.lanes.data() + sw.gofs[size_t(i)];
    const int32_t groups = sw.groups[size_t(i)];
    __m256i accB = _mm256_setzero_si256(), accG = _mm256_setzero_si256(), accR = _mm256_setzero_si256();
    for (int32_t g = 0; g < groups; ++g) {
      const size_t at = first + size_t(g) * 16;
      const __m256i wv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + size_t(g) * 16));
      accB = _mm256_add_epi32(
          accB, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + at))), wv));
      accG = _mm256_add_epi32(
          accG, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pg + at))), wv));
      accR = _mm256_add_epi32(
          accR, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pr + at))), wv));
    }
    return PlaneSums(accB, accG, accR);
  }
};

// The same with the byte weights: 32 pixels of each plane a step, byte
// products summed in pairs, then in 32 bits.
struct TPlaneByteSums {
  const uint8_t *pb, *pg, *pr;
  const DenseAxis& d;
  const SimdWeights& sw;
  __attribute__((target("avx2"))) __m128i operator()(int32_t i) const {
    const __m256i ones = _mm256_set1_epi16(1);
    const size_t first = size_t(d.start[size_t(i)]);
    const int8_t* w = sw.bytes.data() + sw.bofs[size_t(i)];
    const int32_t groups = sw.bgroups[size_t(i)];
    __m256i accB = _mm256_setzero_si256(), accG = _mm256_setzero_si256(), accR = _mm256_setzero_si256();
    for (int32_t g = 0; g < groups; ++g) {
      const size_t at = first + size_t(g) * 32;
      const __m256i wv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + size_t(g) * 32));
      accB = _mm256_add_epi32(
          accB, _mm256_madd_epi16(
                    _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pb + at)), wv), ones));
      accG = _mm256_add_epi32(
          accG, _mm256_madd_epi16(
                    _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pg + at)), wv), ones));
      accR = _mm256_add_epi32(
          accR, _mm256_madd_epi16(
                    _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pr + at)), wv), ones));
    }
    return PlaneSums(accB, accG, accR);
  }
};

// One intermediate row from a row split into planes, by the byte weights when
// there are any.
__attribute__((target("avx2"))) void HorizPlanes(const uint8_t* pb, const uint8_t* pg, const uint8_t* pr,
                                                 uint8_t* out, const DenseAxis& d, const SimdWeights& sw,
                                                 const std::vector<int32_t>& divisor) {
  const int32_t DW = int32_t(d.start.size());
  if (!sw.bgroups.empty())
    StoreRow3(TPlaneByteSums{pb, pg, pr, d, sw}, DW, sw, divisor, out);
  else
    StoreRow3(TPlaneSums{pb, pg, pr, d, sw}, DW, sw, divisor, out);
}

__attribute__((target("avx2"))) void HorizRow1Avx2(const uint8_t* src, bool padded, uint8_t* out, const DenseAxis& d,
                                                   const SimdWeights& sw, const std::vector<int32_t>& divisor,
                                                   std::vector<int32_t>& sums) {
  const int32_t DW = int32_t(d.start.size());
  for (int32_t i = 0; i < DW; ++i) {
    const uint8_t* p = src + size_t(d.start[size_t(i)]);
    const int16_t* w = sw.lanes.data() + sw.gofs[size_t(i)];
    // Byte weights, 32 pixels a step, where the loads stay in the row.
    if (!sw.bgroups.empty() &&
        (padded || int64_t(d.start[size_t(i)]) + 32 * int64_t(sw.bgroups[size_t(i)]) <= sw.rowBytes)) {
      const __m256i ones = _mm256_set1_epi16(1);
      const int8_t* wb = sw.bytes.data() + sw.bofs[size_t(i)];
      const int32_t groups = sw.bgroups[size_t(i)];
      __m256i acc = _mm256_setzero_si256();
      for (int32_t g = 0; g < groups; ++g)
        acc = _mm256_add_epi32(
            acc, _mm256_madd_epi16(
                     _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + size_t(g) * 32)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wb + size_t(g) * 32))),
                     ones));
      __m128i t = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
      t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0x4E));
      t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xB1));
      sums[size_t(i)] = _mm_cvtsi128_si32(t);
      continue;
    }
    if (!padded && !sw.inside[size_t(i)]) {
      DenseSums(src, 1, d, i, &sums[size_t(i)]);
      continue;
    }
    const int32_t groups = sw.groups[size_t(i)];
    __m256i acc = _mm256_setzero_si256();
    for (int32_t g = 0; g < groups; ++g) {
      __m256i px = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size_t(g) * 16)));
      acc = _mm256_add_epi32(
          acc, _mm256_madd_epi16(px, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + size_t(g) * 16))));
    }
    __m128i t = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0x4E));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xB1));
    sums[size_t(i)] = _mm_cvtsi128_si32(t);
  }
  int32_t i = 0;
  for (; i + 4 <= DW; i += 4) {
    __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(divisor.data() + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(dv, _mm_setzero_si128())) != 0) {
      for (int32_t k = i; k < i + 4; ++k) {
        int32_t div = divisor[size_t(k)];
        int64_t q = div != 0 ? int64_t(sums[size_t(k)]) / div : int64_t(uint32_t(sums[size_t(k)]) >> 8);
        out[k] = uint8_t(ClampSample(q, 255));
      }
      continue;
    }
    __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums.data() + i));
    __m128i q = sw.recip.empty()
                    ? _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(sv), _mm256_cvtepi32_pd(dv)))
                    : Quotients(sv, _mm256_loadu_pd(sw.recip.data() + i));
    __m128i b = _mm_packus_epi16(_mm_packs_epi32(q, q), q);
    uint32_t v = uint32_t(_mm_cvtsi128_si32(b));
    std::memcpy(out + i, &v, 4);
  }
  for (; i < DW; ++i) {
    int32_t div = divisor[size_t(i)];
    int64_t q = div != 0 ? int64_t(sums[size_t(i)]) / div : int64_t(uint32_t(sums[size_t(i)]) >> 8);
    out[i] = uint8_t(ClampSample(q, 255));
  }
}

// ---- vertical rows ----

template <typename T>
void VertRowScalar(const T* work, size_t stride, int32_t first, int32_t len, const int32_t* w, int32_t wsum,
                   size_t count, T* out, std::vector<int32_t>& acc, int32_t maxv) {
  std::fill(acc.begin(), acc.begin() + ptrdiff_t(count), 0);
  for (int32_t k = 0; k < len; ++k) {
    const int32_t wk = w[k];
    if (wk == 0) continue;
    const T* row = work + size_t(first + k) * stride;
    int32_t* a = acc.data();
    for (size_t x = 0; x < count; ++x) a[x] += wk * int32_t(row[x]);
  }
  for (size_t x = 0; x < count; ++x) {
    int64_t q = wsum != 0 ? int64_t(acc[x]) / wsum : int64_t(uint32_t(acc[x]) >> 8);
    out[x] = T(ClampSample(q, maxv));
  }
}

__attribute__((target("avx2"))) void VertRowAvx2(const uint8_t* work, size_t stride, int32_t first, int32_t len,
                                                 const int32_t* w, int32_t wsum, bool reciprocal, size_t count,
                                                 uint8_t* out, std::vector<int32_t>& pairs) {
  // Weights of row pairs packed as (w[2m], w[2m+1]) int16 couples.
  const int32_t npairs = (len + 1) / 2;
  pairs.resize(size_t(npairs));
  for (int32_t m = 0; m < npairs; ++m) {
    int32_t lo = w[2 * m];
    int32_t hi = 2 * m + 1 < len ? w[2 * m + 1] : 0;
    pairs[size_t(m)] = int32_t(uint32_t(uint16_t(int16_t(lo))) | (uint32_t(uint16_t(int16_t(hi))) << 16));
  }
  const __m256d dd = _mm256_set1_pd(double(wsum));
  const __m256d rd = _mm256_set1_pd(wsum != 0 ? 1.0 / double(wsum) : 0.0);
  for (size_t x = 0; x < count; x += 16) {
    __m256i acc0 = _mm256_setzero_si256();
    __m256i acc1 = _mm256_setzero_si256();
    for (int32_t m = 0; m < npairs; ++m) {
      const uint8_t* ra = work + size_t(first + 2 * m) * stride + x;
      const uint8_t* rb = 2 * m + 1 < len ? ra + stride : ra;
      __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ra)));
      __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rb)));
      __m256i wp = _mm256_set1_epi32(pairs[size_t(m)]);
      acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), wp));
      acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), wp));
    }
    // acc0 holds samples 0-3 and 8-11, acc1 4-7 and 12-15.
    __m256i s0 = _mm256_permute2x128_si256(acc0, acc1, 0x20);  // 0-7
    __m256i s1 = _mm256_permute2x128_si256(acc0, acc1, 0x31);  // 8-15
    if (wsum != 0 && reciprocal) {
      const __m128i q0 = Quotients(_mm256_castsi256_si128(s0), rd);
      const __m128i q1 = Quotients(_mm256_extracti128_si256(s0, 1), rd);
      const __m128i q2 = Quotients(_mm256_castsi256_si128(s1), rd);
      const __m128i q3 = Quotients(_mm256_extracti128_si256(s1, 1), rd);
      const __m128i b = _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), b);
    } else if (wsum != 0) {
      __m128i q0 = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(s0)), dd));
      __m128i q1 = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(s0, 1)), dd));
      __m128i q2 = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(s1)), dd));
      __m128i q3 = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(s1, 1)), dd));
      __m128i b = _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), b);
    } else {
      alignas(32) int32_t sums[16];
      _mm256_store_si256(reinterpret_cast<__m256i*>(sums), s0);
      _mm256_store_si256(reinterpret_cast<__m256i*>(sums + 8), s1);
      for (int k = 0; k < 16; ++k) out[x + size_t(k)] = uint8_t(ClampSample(int64_t(uint32_t(sums[k]) >> 8), 255));
    }
  }
}

// Everything the fast passes of one job need besides the pixels: tables,
// divisors, weight layouts and the intermediate row layout.
template <typename T>
struct FastPlan {
  int32_t SW, SH, DW, DH, C, maxv;
  double per1;
  std::shared_ptr<const TVXKernelTables> tables;
  bool fits32 = false, simd = false, planes = false;
  std::vector<int32_t> hdiv;
  int64_t hWork = 0, vWork = 0;
  SimdWeights sw;
  size_t planeLen = 0;
  size_t rowSamples = 0, stride = 0;
  int32_t threads = 1;

  explicit FastPlan(const TVXKernelJob& J)
      : SW(J.SrcWidth), SH(J.SrcHeight), DW(J.DstWidth), DH(J.DstHeight), C(J.Channels),
        maxv(sizeof(T) == 1 ? 255 : 65535), per1(100.0 / (double(SH) + double(DW) + 0.5)), tables(J.Tables) {
    if (!tables || !VXKernelTablesFit(*tables, J)) tables = VXKernelBuildTables(J);
    const DenseAxis& h = tables->h;
    const DenseAxis& v = tables->v;
    // Integer sums must stay inside 32 bits and weights inside 16 bits for
    // the loops below; otherwise the reference does the work.
    fits32 = h.maxAbsSum * maxv < (int64_t(1) << 31) && v.maxAbsSum * maxv < (int64_t(1) << 31);
    if (!fits32) return;
    simd = sizeof(T) == 1 && HaveAVX2() && h.maxAbs <= 32767 && v.maxAbs <= 32767 && (C == 1 || C == 3);
    hdiv.resize(static_cast<size_t>(DW));
    for (int32_t i = 0; i < DW; ++i) {
      int32_t ws = h.wsum[size_t(i)];
      hdiv[size_t(i)] = ws != 0 ? ws : (J.HorizZeroSumDivides ? 256 : 0);
    }
    for (int32_t l : h.len) hWork += l;
    for (int32_t l : v.len) vWork += l;
    // 3-channel rows go through planes when the lists are long on average.
    planes = simd && C == 3 && hWork >= 24 * int64_t(DW);
    if (simd) sw = BuildSimdWeights(h, planes ? 1 : C, SW);
    if (simd && h.maxAbsSum < kReciprocalWeights) {
      sw.recip.resize(size_t(DW));
      for (int32_t i = 0; i < DW; ++i) sw.recip[size_t(i)] = hdiv[size_t(i)] != 0 ? 1.0 / double(hdiv[size_t(i)]) : 0.0;
    }
    if (simd && (planes || C == 1) && h.maxAbs <= kByteWeightLimit) BuildByteWeights(h, sw);
    // Each plane readable up to the end of every list's last group.
    planeLen = size_t(SW) + 16;
    if (planes)
      for (int32_t i = 0; i < DW; ++i) {
        planeLen = std::max(planeLen, size_t(h.start[size_t(i)]) + size_t(sw.groups[size_t(i)]) * 16);
        if (!sw.bgroups.empty())
          planeLen = std::max(planeLen, size_t(h.start[size_t(i)]) + size_t(sw.bgroups[size_t(i)]) * 32);
      }
    threads = std::max(1, J.Threads);
    rowSamples = size_t(DW) * size_t(C);
    // Intermediate rows: room for one extra sample written by the 3-channel
    // loop, rounded to 32 bytes so the vertical loop may read whole vectors.
    stride = ((rowSamples + 1) * sizeof(T) + 31) / 32 * 32 / sizeof(T);
  }

  // Bands of at least about 2^19 multiply-adds each: below that, waking a
  // worker costs more than it saves.
  int32_t BandsFor(int64_t macs, int32_t rows, bool parallel) const {
    if (!parallel) return 1;
    return int32_t(std::clamp<int64_t>(std::min<int64_t>(macs >> 19, threads), 1, std::max(1, rows)));
  }

  // Working room of one thread of the horizontal pass.
  struct Scratch {
    std::vector<uint8_t> buffer;  // a source row with slack
    std::vector<int32_t> sums;
    std::vector<uint8_t> split;
    explicit Scratch(const FastPlan& P)
        : buffer(size_t(P.SW) * size_t(P.C) * sizeof(T) + kRowSlack, 0), sums(static_cast<size_t>(P.DW)),
          split(P.planes ? P.planeLen * 3 : 0, 0) {}
  };

  // One intermediate row from a source row; Padded: the row is readable
  // kRowSlack bytes past its end.
  void Horiz(const T* row, bool padded, T* out, Scratch& s) const {
    const DenseAxis& h = tables->h;
    if constexpr (sizeof(T) == 1) {
      if (planes) {
        uint8_t* pb = s.split.data();
        SplitPlanes3(row, SW, pb, pb + planeLen, pb + 2 * planeLen);
        HorizPlanes(pb, pb + planeLen, pb + 2 * planeLen, out, h, sw, hdiv);
      } else if (simd && C == 3)
        HorizRow3Avx2(row, padded, out, h, sw, hdiv);
      else if (simd)
        HorizRow1Avx2(row, padded, out, h, sw, hdiv, s.sums);
      else
        HorizRowScalar<T>(row, out, C, h, hdiv, maxv);
    } else {
      HorizRowScalar<T>(row, out, C, h, hdiv, maxv);
    }
  }

  // The vertical pass over the intermediate rows, target rows to J.DstRow.
  void Vertical(const T* work, const TVXKernelJob& J) const {
    const DenseAxis& v = tables->v;
    const int32_t vBands = BandsFor(vWork * int64_t(DW) * C, DH, J.ParallelDst);
    RunBands(DH, vBands, [&](int32_t band, int32_t first, int32_t last) {
      const size_t padded = (rowSamples + 15) / 16 * 16;
      std::vector<T> outRow(padded + 16);
      std::vector<int32_t> acc(rowSamples);
      std::vector<int32_t> pairs;
      ProgressReporter progress{band == 0 ? &J.Progress : nullptr};
      for (int32_t i = first; i < last; ++i) {
        const int32_t start = v.start[size_t(i)];
        const int32_t len = v.len[size_t(i)];
        const int32_t* w = v.w.data() + v.wofs[size_t(i)];
        const int32_t ws = v.wsum[size_t(i)];
        if constexpr (sizeof(T) == 1) {
          if (simd)
            VertRowAvx2(work, stride, start, len, w, ws, v.maxAbsSum < kReciprocalWeights, padded, outRow.data(),
                        pairs);
          else
            VertRowScalar<T>(work, stride, start, len, w, ws, rowSamples, outRow.data(), acc, maxv);
        } else {
          VertRowScalar<T>(work, stride, start, len, w, ws, rowSamples, outRow.data(), acc, maxv);
        }
        J.DstRow(i, outRow.data());
        if (band == 0) {
          int64_t done = std::min<int64_t>(int64_t(vBands) * (i - first), DH - 1);
          progress.Report(int32_t(double(SH + done + 1) * per1));
        }
      }
    });
  }
};

template <typename T>
void FastImpl(const TVXKernelJob& J) {
  const FastPlan<T> plan(J);
  if (!plan.fits32) {
    ReferenceImpl<T>(J);
    return;
  }
  std::vector<T> work(plan.stride * size_t(plan.SH), T(0));
  const int32_t hBands = plan.BandsFor(plan.hWork * plan.SH * plan.C, plan.SH, J.ParallelSrc);
  RunBands(plan.SH, hBands, [&](int32_t band, int32_t first, int32_t last) {
    typename FastPlan<T>::Scratch scratch(plan);
    T* buffer = reinterpret_cast<T*>(scratch.buffer.data());
    ProgressReporter progress{band == 0 ? &J.Progress : nullptr};
    for (int32_t y = first; y < last; ++y) {
      const T* row = static_cast<const T*>(J.SrcRow(y, buffer));
      const bool padded = row == buffer;  // the caller's own rows end at SrcWidth
      plan.Horiz(row, padded, work.data() + size_t(y) * plan.stride, scratch);
      if (band == 0) progress.Report(int32_t(double(int64_t(hBands) * (y - first) + 1) * plan.per1));
    }
  });
  plan.Vertical(work.data(), J);
}

bool ValidShape(const TVXKernelJob& J) {
  return J.SrcWidth > 0 && J.SrcHeight > 0 && J.DstWidth > 0 && J.DstHeight > 0 && (J.Channels == 1 || J.Channels == 3) &&
         VXIsKernelFilter(J.Filter);
}

bool ValidJob(const TVXKernelJob& J) { return ValidShape(J) && J.SrcRow && J.DstRow; }

}  // namespace

void VXKernelResample(const TVXKernelJob& Job) {
  if (!ValidJob(Job)) return;
  if (Job.Wide)
    FastImpl<uint16_t>(Job);
  else
    FastImpl<uint8_t>(Job);
}

struct TVXKernelRows::TImpl {
  TVXKernelJob Job;
  FastPlan<uint8_t> Plan;
  TCListList Lists;  // the horizontal lists, when the sums outgrow the fast loops
  size_t Stride = 0;
  std::vector<uint8_t> Work;
  explicit TImpl(const TVXKernelJob& J) : Job(J), Plan(J) {
    Job.Wide = false;
    if (Plan.fits32) {
      Stride = Plan.stride;
    } else {
      Lists = VXBuildContributors(J.SrcWidth, J.DstWidth, J.Filter, true);
      Stride = size_t(J.DstWidth) * size_t(J.Channels);
    }
    Work.assign(Stride * size_t(J.SrcHeight), 0);
  }
};

TVXKernelRows::TVXKernelRows(const TVXKernelJob& Job) {
  if (!ValidShape(Job)) return;
  FImpl = std::make_unique<TImpl>(Job);
}

TVXKernelRows::~TVXKernelRows() = default;

void TVXKernelRows::Rows(int32_t First, int32_t Count, const uint8_t* Src, size_t SrcStride, bool Padded) {
  if (!FImpl) return;
  TImpl& m = *FImpl;
  const int32_t last = std::min(First + Count, m.Job.SrcHeight);
  if (First < 0 || First >= last) return;
  if (!m.Plan.fits32) {
    for (int32_t y = First; y < last; ++y)
      ReferenceHorizRow<uint8_t>(Src + size_t(y - First) * SrcStride, m.Work.data() + size_t(y) * m.Stride,
                                 m.Job.DstWidth, m.Job.Channels, m.Lists, m.Job.HorizZeroSumDivides);
    return;
  }
  FastPlan<uint8_t>::Scratch scratch(m.Plan);
  for (int32_t y = First; y < last; ++y)
    m.Plan.Horiz(Src + size_t(y - First) * SrcStride, Padded, m.Work.data() + size_t(y) * m.Stride, scratch);
}

void TVXKernelRows::Finish(const std::function<void(int32_t y, const void* Row)>& DstRow, bool ParallelDst) const {
  if (!FImpl || !DstRow) return;
  const TImpl& m = *FImpl;
  TVXKernelJob job = m.Job;
  job.DstRow = DstRow;
  job.ParallelDst = ParallelDst;
  job.Progress = nullptr;
  if (m.Plan.fits32)
    m.Plan.Vertical(m.Work.data(), job);
  else
    ReferenceVertical<uint8_t>(job, m.Work.data(), m.Stride, m.Stride, m.Plan.per1);
}

size_t TVXKernelRows::PlaneLength() const {
  return FImpl && FImpl->Plan.fits32 && FImpl->Plan.planes ? FImpl->Plan.planeLen : 0;
}

void TVXKernelRows::PlaneRow(int32_t Y, const uint8_t* Planes, size_t PlaneLen) {
  const size_t own = PlaneLength();
  if (own == 0 || PlaneLen < own) return;
  TImpl& m = *FImpl;
  if (Y < 0 || Y >= m.Job.SrcHeight) return;
  HorizPlanes(Planes, Planes + PlaneLen, Planes + 2 * PlaneLen, m.Work.data() + size_t(Y) * m.Stride,
                  m.Plan.tables->h, m.Plan.sw, m.Plan.hdiv);
}

void VXKernelSplitPlanes(const uint8_t* Row, int32_t Width, uint8_t* Planes, size_t PlaneLen, bool Rgb) {
  if (Rgb)
    SplitPlanes3(Row, Width, Planes + 2 * PlaneLen, Planes + PlaneLen, Planes);
  else
    SplitPlanes3(Row, Width, Planes, Planes + PlaneLen, Planes + 2 * PlaneLen);
}

namespace {

// Bytes 0, 3, 6 ... of 48 bytes, and whether bytes 3k, 3k + 1 and 3k + 2
// match (0 in every lane of the result then).
__attribute__((target("avx2"))) inline __m128i FirstOfThree(const uint8_t* p) {
  const __m128i a = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i b = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
  const __m128i c = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
  const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(u, a), _mm_shuffle_epi8(v, b)), _mm_shuffle_epi8(w, c));
}

__attribute__((target("avx2"))) bool GreyRowAvx2(const uint8_t* Row, int32_t Width) {
  // A pixel is grey when its bytes equal those one and two places on.
  const __m128i keep0 = _mm_setr_epi8(-1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1);
  const __m128i keep1 = _mm_setr_epi8(-1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1);
  const __m128i keep2 = _mm_setr_epi8(0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0);
  int32_t x = 0;
  __m128i diff = _mm_setzero_si128();
  // 16 pixels a step while the byte after them is in the row.
  for (; x + 17 <= Width; x += 16) {
    const uint8_t* p = Row + size_t(x) * 3;
    for (int k = 0; k < 3; ++k) {
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k + 1));
      const __m128i keep = k == 0 ? keep0 : k == 1 ? keep1 : keep2;
      diff = _mm_or_si128(diff, _mm_and_si128(_mm_xor_si128(here, next), keep));
    }
    if (!_mm_testz_si128(diff, diff)) return false;
  }
  for (; x < Width; ++x) {
    const uint8_t* p = Row + size_t(x) * 3;
    if (p[0] != p[1] || p[1] != p[2]) return false;
  }
  return true;
}

__attribute__((target("avx2"))) void GreyOfRowAvx2(const uint8_t* Row, int32_t Width, uint8_t* Grey) {
  int32_t x = 0;
  for (; x + 16 <= Width; x += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Grey + x), FirstOfThree(Row + size_t(x) * 3));
  for (; x < Width; ++x) Grey[x] = Row[size_t(x) * 3];
}

}  // namespace

bool VXKernelRowIsGrey(const uint8_t* Row, int32_t Width) {
  if (HaveAVX2()) return GreyRowAvx2(Row, Width);
  for (int32_t x = 0; x < Width; ++x) {
    const uint8_t* p = Row + size_t(x) * 3;
    if (p[0] != p[1] || p[1] != p[2]) return false;
  }
  return true;
}

void VXKernelGreyOfRow(const uint8_t* Row, int32_t Width, uint8_t* Grey) {
  if (HaveAVX2()) {
    GreyOfRowAvx2(Row, Width, Grey);
    return;
  }
  for (int32_t x = 0; x < Width; ++x) Grey[x] = Row[size_t(x) * 3];
}

void TVXKernelRows::Release() { FImpl.reset(); }

size_t TVXKernelRows::Memory() const { return FImpl ? FImpl->Work.size() : 0; }

namespace {

std::shared_ptr<const TVXKernelTables> BuildTables(const TVXKernelJob& Job) {
  auto t = std::make_shared<TVXKernelTables>();
  t->SrcWidth = Job.SrcWidth;
  t->SrcHeight = Job.SrcHeight;
  t->DstWidth = Job.DstWidth;
  t->DstHeight = Job.DstHeight;
  t->Filter = Job.Filter;
  auto horizontal = [&] { t->h = Densify(VXBuildContributors(Job.SrcWidth, Job.DstWidth, Job.Filter, true), Job.SrcWidth); };
  auto vertical = [&] { t->v = Densify(VXBuildContributors(Job.SrcHeight, Job.DstHeight, Job.Filter, false), Job.SrcHeight); };
  // Each kernel evaluation costs some tens of nanoseconds: large tables are
  // built side by side.
  const int64_t evaluations = int64_t(Job.SrcWidth) + Job.DstWidth + Job.SrcHeight + Job.DstHeight;
  if (Job.Threads > 1 && evaluations > 4096) {
    TVXThreadPool pool;
    pool.Add(horizontal);
    pool.Add(vertical);
    pool.Join();
  } else {
    horizontal();
    vertical();
  }
  return t;
}

}  // namespace

bool VXKernelTablesFit(const TVXKernelTables& Tables, const TVXKernelJob& Job) {
  return Tables.SrcWidth == Job.SrcWidth && Tables.SrcHeight == Job.SrcHeight && Tables.DstWidth == Job.DstWidth &&
         Tables.DstHeight == Job.DstHeight && Tables.Filter == Job.Filter;
}

namespace {

// The tables of the last jobs: a run resizes many images of the same sizes
// (icons of one size, photos of one camera) to the same targets, and the
// tables depend on nothing else. Only small ones are kept.
constexpr size_t kKnownTables = 32;
constexpr size_t kKnownTableBytes = size_t(1) << 20;

size_t TableBytes(const DenseAxis& a) {
  return a.w.size() * sizeof(int32_t) + a.start.size() * (3 * sizeof(int32_t) + sizeof(int64_t));
}

}  // namespace

std::shared_ptr<const TVXKernelTables> VXKernelBuildTables(const TVXKernelJob& J) {
  static std::mutex lock;
  static std::vector<std::shared_ptr<const TVXKernelTables>> known;  // the latest used first
  {
    std::lock_guard<std::mutex> guard(lock);
    for (size_t i = 0; i < known.size(); ++i)
      if (VXKernelTablesFit(*known[i], J)) {
        std::shared_ptr<const TVXKernelTables> t = known[i];
        std::rotate(known.begin(), known.begin() + ptrdiff_t(i), known.begin() + ptrdiff_t(i) + 1);
        return t;
      }
  }
  std::shared_ptr<const TVXKernelTables> t = BuildTables(J);
  if (TableBytes(t->h) + TableBytes(t->v) > kKnownTableBytes) return t;
  std::lock_guard<std::mutex> guard(lock);
  for (const auto& k : known)
    if (VXKernelTablesFit(*k, J)) return k;  // built meanwhile on another thread
  if (known.size() == kKnownTables) known.pop_back();
  known.insert(known.begin(), t);
  return t;
}

void vxdetail::VXResampleForceScalar(bool Value) { gForceScalar.store(Value, std::memory_order_relaxed); }

void VXKernelResampleReference(const TVXKernelJob& Job) {
  if (!ValidJob(Job)) return;
  if (Job.Wide)
    ReferenceImpl<uint16_t>(Job);
  else
    ReferenceImpl<uint8_t>(Job);
}
