// Maximum, minimum, opening and closing on a square window.
//
// A window's winner is its first strict extreme in row-major order. Both
// image kinds compute it separably: a row pass over the window's columns,
// then a column pass over the window's rows, which picks the same pixel as
// the scan of the whole window.
//
// vx24RGB: each pixel gets a key that orders by grey (inverted for the
// minimum) and then by the position's rank in the window, row by row
// (higher key for an earlier rank); the largest key of the window names the
// winner. Keys are 16-bit (eight at a time) while the window has at most 128
// positions, 64-bit beyond. Rows are read into rings as the pass reaches
// them, so the pass needs no copy of the whole rectangle. The grey levels
// are formed sixteen at a time where the processor has SSSE3 and the
// coefficients sum to at most 100, else one multiplication or three table
// look-ups a pixel; all give the same bytes.
//
// vx1g: the row pass takes whole words of 64 pixels, combining a row with
// itself shifted by 1, 2, 4, ... pixels; the column pass combines the words
// of the window's rows, kept in a ring.

#include "proc/morph.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/simdvec.h"

#include <tmmintrin.h>

namespace {

using RowDone = std::function<void(int32_t Row)>;

bool CutRect(TVXBitmap* Bitmap, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  return x1 < x2 && y1 < y2;
}

// ---------------------------------------------------------------------------
// vx24RGB

using v8s = int16_t __attribute__((vector_size(16)));
using v2u = uint64_t __attribute__((vector_size(16)));

// Row pass: out[x] = max over j of (key of padded pixel x + j with rank j).
void RowKeys(const int16_t* gp, int32_t C, int32_t Lx, int16_t* out, std::vector<int16_t>& buffer) {
  v8s rank[128];
  for (int32_t j = 0; j < Lx; ++j) rank[j] = v8s{} + int16_t(127 - j);
  int32_t x = 0;
  if (Lx == 3) {  // the common 3 x 3 window unrolled
    for (; x + 8 <= C; x += 8) {
      const v8s a = VXLoadVec<v8s>(gp + x) | rank[0], b = VXLoadVec<v8s>(gp + x + 1) | rank[1],
                c = VXLoadVec<v8s>(gp + x + 2) | rank[2];
      const v8s m = a > b ? a : b;
      VXStoreVec(out + x, m > c ? m : c);
    }
  }
  if (Lx > 3 && C >= 8) {
    // Doubling over keys: after a step, entry x holds the best key of
    // positions x .. x + m - 1 ranked from x; an entry taken from x + d is
    // lowered by d ranks.
    const int32_t n = C + Lx - 1;
    buffer.resize(size_t(n) + 8);
    int16_t* b = buffer.data();
    for (int32_t i = 0; i < n; ++i) b[i] = int16_t(gp[i] | 127);
    int32_t m = 1;
    auto step = [&](int32_t d, int32_t count) {
      const v8s lower = v8s{} + int16_t(d);
      int32_t i = 0;
      for (; i + 8 <= count; i += 8) {
        const v8s a = VXLoadVec<v8s>(b + i), c = VXLoadVec<v8s>(b + i + d) - lower;
        VXStoreVec(b + i, a > c ? a : c);
      }
      for (; i < count; ++i) b[i] = std::max(b[i], int16_t(b[i + d] - d));
    };
    while (2 * m <= Lx) {
      step(m, n - m);
      m *= 2;
    }
    if (Lx > m) step(Lx - m, C);
    std::copy_n(b, C, out);
    return;
  }
  for (; x + 8 <= C; x += 8) {
    v8s m = VXLoadVec<v8s>(gp + x) | rank[0];
    for (int32_t j = 1; j < Lx; ++j) {
      const v8s v = VXLoadVec<v8s>(gp + x + j) | rank[j];
      m = v > m ? v : m;
    }
    VXStoreVec(out + x, m);
  }
  for (; x < C; ++x) {
    int16_t m = int16_t(gp[x] | 127);
    for (int32_t j = 1; j < Lx; ++j) m = std::max(m, int16_t(gp[x + j] | (127 - j)));
    out[x] = m;
  }
}

void RowKeys(const int64_t* gp, int32_t C, int32_t Lx, int64_t* out, std::vector<int64_t>&) {
  constexpr int64_t M = (int64_t(1) << 40) - 1;
  for (int32_t x = 0; x < C; ++x) {
    int64_t m = gp[x] | M;
    for (int32_t j = 1; j < Lx; ++j) m = std::max(m, gp[x + j] | (M - j));
    out[x] = m;
  }
}

// Column pass: out[x] = max over k of (rows[k][x] lowered by k whole rows of
// ranks).
void ColumnKeys(const int16_t* const* rows, int32_t Ly, int32_t Lx, int32_t C, int16_t* out) {
  v8s lower[128];
  for (int32_t k = 0; k < Ly; ++k) lower[k] = v8s{} + int16_t(k * Lx);
  int32_t x = 0;
  for (; x + 8 <= C; x += 8) {
    v8s m = VXLoadVec<v8s>(rows[0] + x);
    for (int32_t k = 1; k < Ly; ++k) {
      const v8s v = VXLoadVec<v8s>(rows[k] + x) - lower[k];
      m = v > m ? v : m;
    }
    VXStoreVec(out + x, m);
  }
  for (; x < C; ++x) {
    int16_t m = rows[0][x];
    for (int32_t k = 1; k < Ly; ++k) m = std::max(m, int16_t(rows[k][x] - k * Lx));
    out[x] = m;
  }
}

void ColumnKeys(const int64_t* const* rows, int32_t Ly, int32_t Lx, int32_t C, int64_t* out) {
  for (int32_t x = 0; x < C; ++x) {
    int64_t m = rows[0][x];
    for (int32_t k = 1; k < Ly; ++k) m = std::max(m, rows[k][x] - int64_t(k) * Lx);
    out[x] = m;
  }
}

template <typename K>
struct KeyTraits;
template <>
struct KeyTraits<int16_t> {
  static constexpr int Shift = 7;
};
template <>
struct KeyTraits<int64_t> {
  static constexpr int Shift = 40;
};

// Grey keys of C pixels, sixteen at a time with SSSE3 byte shuffles: the
// weighted sum (at most 25500 with coefficients summing to at most 100)
// divided by 100 as (sum x 41944) >> 22, exact in that range.
__attribute__((target("ssse3"))) int32_t GreyKeysSSSE3(const uint8_t* rgb, int32_t C, int16_t cr, int16_t cg,
                                                       int16_t cb, uint8_t flip, int16_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i b0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i b1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
  const __m128i b2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
  const __m128i g0 = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i g1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
  const __m128i g2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
  const __m128i r0 = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i r1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
  const __m128i r2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
  const __m128i kr = _mm_set1_epi16(cr), kg = _mm_set1_epi16(cg), kb = _mm_set1_epi16(cb);
  const __m128i div = _mm_set1_epi16(int16_t(41944)), flip16 = _mm_set1_epi16(flip);
  int32_t x = 0;
  for (; x + 16 <= C; x += 16) {
    const uint8_t* p = rgb + 3 * size_t(x);
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i b = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a0, b0), _mm_shuffle_epi8(a1, b1)),
                                   _mm_shuffle_epi8(a2, b2));
    const __m128i g = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a0, g0), _mm_shuffle_epi8(a1, g1)),
                                   _mm_shuffle_epi8(a2, g2));
    const __m128i r = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a0, r0), _mm_shuffle_epi8(a1, r1)),
                                   _mm_shuffle_epi8(a2, r2));
    auto half = [&](__m128i bb, __m128i gg, __m128i rr) {
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(rr, kr), _mm_mullo_epi16(gg, kg)),
                                        _mm_mullo_epi16(bb, kb));
      const __m128i grey = _mm_srli_epi16(_mm_mulhi_epu16(sum, div), 6);
      return _mm_slli_epi16(_mm_xor_si128(grey, flip16), 7);
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     half(_mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(g, zero), _mm_unpacklo_epi8(r, zero)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 8),
                     half(_mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(g, zero), _mm_unpackhi_epi8(r, zero)));
  }
  return x;  // pixels done
}

template <typename K>
void Pass24(TVXBitmap* Bitmap, int32_t wx, int32_t wy, bool IsMax, int32_t x1, int32_t y1, int32_t C, int32_t R,
            const RowDone& Done) {
  constexpr int S = KeyTraits<K>::Shift;
  constexpr int64_t M = (int64_t(1) << S) - 1;
  const int32_t Lx = 2 * wx + 1, Ly = 2 * wy + 1;
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  int32_t red[256], green[256], blue[256];
  for (int32_t v = 0; v < 256; ++v)
    red[v] = v * settings->RedToGrayCoef(), green[v] = v * settings->GreenToGrayCoef(),
    blue[v] = v * settings->BlueToGrayCoef();
  const uint8_t flip = IsMax ? 0 : 255;
  // With non-negative coefficients summing to at most 256 one multiplication
  // forms the weighted sum: (b + g 2^16 + r 2^32) (cr + cg 2^16 + cb 2^32)
  // holds it at bit 32, every lower partial sum staying below 2^16.
  const int64_t kr = settings->RedToGrayCoef(), kg = settings->GreenToGrayCoef(), kb = settings->BlueToGrayCoef();
  const bool oneMultiply = kr >= 0 && kg >= 0 && kb >= 0 && kr + kg + kb <= 256;
  const uint64_t weights = uint64_t(kr) | (uint64_t(kg) << 16) | (uint64_t(kb) << 32);
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  const bool vectorGrey = ssse3 && kr + kg + kb <= 100;
  // Rings of the original colours (each row with wx pixels repeated on either
  // side) and of the row keys, Ly rows each.
  const size_t colourBytes = 3 * (size_t(C) + 2 * size_t(wx)) + 1;  // a spare byte: pixels read as 4 bytes
  std::vector<uint8_t> colours(colourBytes * size_t(Ly));
  std::vector<K> rowKeys(size_t(C) * size_t(Ly));
  std::vector<K> padded(size_t(C) + 2 * size_t(wx));
  std::vector<K> keys(static_cast<size_t>(C)), scratch;
  std::vector<const K*> window(static_cast<size_t>(Ly));
  std::vector<const uint8_t*> colourRows(static_cast<size_t>(Ly));
  // 16-bit keys: the winner's bytes relative to the first window row at the
  // pixel's own column, by the key's low seven bits (127 - rank).
  ptrdiff_t offsets[128] = {};

  int32_t loaded = 0, slot = 0;  // slot of row `loaded`
  std::vector<int32_t> slots(static_cast<size_t>(R));
  auto load = [&](int32_t r) {
    slots[size_t(r)] = slot;
    uint8_t* c = colours.data() + colourBytes * size_t(slot);
    uint8_t* inner = c + 3 * size_t(wx);
    std::memcpy(inner, static_cast<const uint8_t*>(Bitmap->ScanLine(y1 + r)) + 3 * size_t(x1), 3 * size_t(C));
    for (int32_t i = 0; i < wx; ++i) {
      std::memcpy(c + 3 * size_t(i), inner, 3);
      std::memcpy(inner + 3 * (size_t(C) + size_t(i)), inner + 3 * (size_t(C) - 1), 3);
    }
    K* g = padded.data() + wx;
    if (oneMultiply) {
      int32_t x = 0;
      if constexpr (S == 7)
        if (vectorGrey) x = GreyKeysSSSE3(inner, C, int16_t(kr), int16_t(kg), int16_t(kb), flip, g);
      for (; x < C; ++x) {
        uint32_t v;
        std::memcpy(&v, inner + 3 * size_t(x), 4);
        const uint64_t spread = (v & 0xFF) | ((v & 0xFF00) << 8) | (uint64_t(v & 0xFF0000) << 16);
        const uint8_t grey = uint8_t(uint32_t(((spread * weights) >> 32) & 0xFFFF) / 100);
        g[x] = K(K(grey ^ flip) << S);  // 255 - grey for the minimum
      }
    } else {
      for (int32_t x = 0; x < C; ++x) {
        const uint8_t* p = inner + 3 * size_t(x);
        const uint8_t grey = uint8_t((red[p[2]] + green[p[1]] + blue[p[0]]) / 100);
        g[x] = K(K(grey ^ flip) << S);
      }
    }
    for (int32_t i = 0; i < wx; ++i) padded[size_t(i)] = g[0], g[C + i] = g[C - 1];
    RowKeys(padded.data(), C, Lx, rowKeys.data() + size_t(C) * size_t(slot), scratch);
    if (++slot == Ly) slot = 0;
  };

  for (int32_t y = 0; y < R; ++y) {
    for (const int32_t last = std::min(y + wy, R - 1); loaded <= last; ++loaded) load(loaded);
    for (int32_t k = 0; k < Ly; ++k) {
      const int32_t s = slots[size_t(std::clamp(y - wy + k, 0, R - 1))];
      window[size_t(k)] = rowKeys.data() + size_t(C) * size_t(s);
      colourRows[size_t(k)] = colours.data() + colourBytes * size_t(s);
    }
    ColumnKeys(window.data(), Ly, Lx, C, keys.data());
    const uint8_t* base = colourRows[0];
    if (S == 7)
      for (int32_t rank = 0; rank < Lx * Ly; ++rank)
        offsets[127 - rank] = (colourRows[size_t(rank / Lx)] - base) + 3 * (rank % Lx);
    // A window all black (maximum) or all white (minimum) has no winner: the
    // pixel keeps its own colour. Every pixel is written, in order, as four
    // bytes whose fourth the next pixel rewrites (the last one as three).
    const ptrdiff_t self = colourRows[size_t(wy)] - base + 3 * wx;
    uint8_t* out = static_cast<uint8_t*>(Bitmap->ScanLine(y1 + y)) + 3 * size_t(x1);
    for (int32_t x = 0; x < C; ++x) {
      const int64_t key = keys[size_t(x)];
      ptrdiff_t at;
      if (S == 7) {
        at = offsets[key & 127];
      } else {
        const int64_t rank = M - (key & M);
        at = colourRows[size_t(rank / Lx)] - base + 3 * (rank % Lx);
      }
      if ((key >> S) == 0) at = self;
      const uint8_t* src = base + 3 * size_t(x) + at;
      if (x + 1 < C) {
        uint32_t v;
        std::memcpy(&v, src, 4);
        std::memcpy(out + 3 * size_t(x), &v, 4);
      } else {
        std::memcpy(out + 3 * size_t(x), src, 3);
      }
    }
    Done(y);
  }
}

// ---------------------------------------------------------------------------
// vx1g

inline uint64_t LoadBE(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

inline void StoreBE(uint8_t* p, uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

// a[k] := a[k] op (a moved s pixels toward the row's start); bits past the
// end come in as 0.
template <bool Or>
void CombineShifted(uint64_t* a, int32_t n, int64_t s) {
  const int64_t q = s >> 6;
  const int r = int(s & 63);
  auto combine = [](uint64_t x, uint64_t t) { return Or ? (x | t) : (x & t); };
  int64_t k = 0;
  const int64_t inner = n - q - 1;  // both source words inside the row
  if (r == 0) {
    for (; k < n - q; ++k) a[k] = combine(a[k], a[k + q]);
  } else {
    for (; k < inner; ++k) a[k] = combine(a[k], (a[k + q] << r) | (a[k + q + 1] >> (64 - r)));
    if (k < n - q) a[k] = combine(a[k], a[k + q] << r), ++k;
  }
  for (; k < n; ++k) a[k] = combine(a[k], 0);
}

// Sets (v true) or clears bits from .. to - 1 of a word row.
void SetBits(uint64_t* a, int64_t from, int64_t to, bool v) {
  for (int64_t i = from; i < to;) {
    const int64_t k = i >> 6, bit = i & 63, n = std::min<int64_t>(64 - bit, to - i);
    const uint64_t mask = (n == 64 ? ~uint64_t(0) : ((uint64_t(1) << n) - 1) << (64 - bit - n));
    a[k] = v ? (a[k] | mask) : (a[k] & ~mask);
    i += n;
  }
}

template <bool Or>
void Pass1(TVXBitmap* Bitmap, int32_t wx, int32_t wy, int32_t x1, int32_t y1, int32_t C, int32_t R,
           const RowDone& Done) {
  const int64_t Lx = 2 * int64_t(wx) + 1;
  const int64_t plen = int64_t(C) + 2 * int64_t(wx);
  const int32_t pw = int32_t((plen + 63) / 64) + 1;  // words of the padded row
  const int32_t nw = (C + 63) / 64;                  // words of the rectangle's row
  const int64_t firstByte = x1 >> 3, s = x1 & 7;
  const size_t spanBytes = size_t(((int64_t(x1) + C + 7) >> 3) - firstByte);
  std::vector<uint8_t> bytes(size_t(nw) * 8 + 16);
  std::vector<uint64_t> src(static_cast<size_t>(nw)), work(static_cast<size_t>(pw));
  // Row results of the rows in the window, slot = row mod Ly: row r is read
  // before output row r - wy is written, so every read sees the rectangle
  // as it was.
  const int32_t Ly = 2 * wy + 1;
  std::vector<uint64_t> ring(size_t(Ly) * size_t(nw));
  const int64_t q = wx >> 6, sh = wx & 63;
  auto rowPass = [&](int32_t r) {
    // The rectangle's pixels of the row from bit 0 of word 0.
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->ScanLine(y1 + r)) + firstByte;
    std::memcpy(bytes.data(), row, spanBytes);
    std::memset(bytes.data() + spanBytes, 0, bytes.size() - spanBytes);
    for (int32_t k = 0; k < nw; ++k) {
      const uint8_t* p = bytes.data() + 8 * size_t(k);
      src[size_t(k)] = s ? (LoadBE(p) << s) | (p[8] >> (8 - s)) : LoadBE(p);
    }
    const bool edge0 = src[0] >> 63, edgeL = (src[size_t((C - 1) >> 6)] >> (63 - ((C - 1) & 63))) & 1;
    // Padded row: wx copies of the first pixel, the row, wx copies of the
    // last one.
    for (int32_t k = 0; k < pw; ++k) {
      const int64_t i = k - q;
      const uint64_t hi = i >= 0 && i < nw ? src[size_t(i)] : 0, lo = i - 1 >= 0 && i - 1 < nw ? src[size_t(i - 1)] : 0;
      work[size_t(k)] = sh ? (hi >> sh) | (lo << (64 - sh)) : hi;
    }
    SetBits(work.data(), 0, wx, edge0);
    SetBits(work.data(), wx + C, plen, edgeL);
    // Doubling: after it, bit i covers pixels i .. i + m - 1.
    int64_t m = 1;
    while (2 * m <= Lx) {
      CombineShifted<Or>(work.data(), pw, m);
      m *= 2;
    }
    if (Lx > m) CombineShifted<Or>(work.data(), pw, Lx - m);
    std::copy_n(work.begin(), nw, ring.begin() + ptrdiff_t(size_t(r % Ly) * size_t(nw)));
  };

  std::vector<uint64_t> out(static_cast<size_t>(nw));
  std::vector<const uint64_t*> window(static_cast<size_t>(Ly));
  int32_t loaded = 0;
  for (int32_t y = 0; y < R; ++y) {
    for (const int32_t last = std::min(y + wy, R - 1); loaded <= last; ++loaded) rowPass(loaded);
    const int32_t r0 = std::max(0, y - wy), r1 = std::min(R - 1, y + wy), n = r1 - r0 + 1;
    for (int32_t i = 0; i < n; ++i) window[size_t(i)] = ring.data() + size_t((r0 + i) % Ly) * size_t(nw);
    int32_t k = 0;
    for (; k + 2 <= nw; k += 2) {  // two words at a time
      v2u acc = VXLoadVec<v2u>(window[0] + k);
      for (int32_t i = 1; i < n; ++i) {
        const v2u v = VXLoadVec<v2u>(window[size_t(i)] + k);
        acc = Or ? (acc | v) : (acc & v);
      }
      VXStoreVec(out.data() + k, acc);
    }
    for (; k < nw; ++k) {
      uint64_t acc = window[0][k];
      for (int32_t i = 1; i < n; ++i) acc = Or ? (acc | window[size_t(i)][k]) : (acc & window[size_t(i)][k]);
      out[size_t(k)] = acc;
    }
    // Back at bit s of the first byte, keeping the bits around the rectangle.
    uint8_t* row = static_cast<uint8_t*>(Bitmap->ScanLine(y1 + y)) + firstByte;
    std::memset(bytes.data(), 0, bytes.size());
    for (int32_t k = 0; k < nw; ++k) {
      uint8_t* p = bytes.data() + 8 * size_t(k);
      const uint64_t v = out[size_t(k)];
      if (s) {
        StoreBE(p, LoadBE(p) | (v >> s));
        p[8] = uint8_t(v << (8 - s));
      } else {
        StoreBE(p, v);
      }
    }
    const unsigned headMask = 0xFFu >> s;  // the rectangle's bits of the first byte
    const int64_t endBit = (int64_t(x1) + C) & 7;
    const unsigned tailMask = endBit ? (0xFF00u >> endBit) & 0xFF : 0xFF;  // ... of the last byte
    const uint8_t first = row[0], last = row[spanBytes - 1];
    std::memcpy(row, bytes.data(), spanBytes);
    unsigned m0 = headMask;
    if (spanBytes == 1) m0 &= tailMask;
    row[0] = uint8_t((first & ~m0) | (row[0] & m0));
    if (spanBytes > 1) row[spanBytes - 1] = uint8_t((last & ~tailMask) | (row[spanBytes - 1] & tailMask));
    Done(y);
  }
}

// Runs the passes of Op, each pass p reporting its rows.
template <typename PassFn>
void RunPasses(TVXBitmap* Bitmap, int32_t WindowSize, int32_t Op, void* Sender, const TVXProgressEvent& OnProgress,
               int32_t x1, int32_t y1, int32_t x2, int32_t y2, PassFn pass) {
  if (Op < 0 || Op > 3 || WindowSize < 1 || !CutRect(Bitmap, x1, y1, x2, y2)) return;
  const int32_t C = x2 - x1, R = y2 - y1;
  const bool maxFirst = Op == VXMorphMaximum || Op == VXMorphClosing;
  const int passes = Op >= VXMorphOpening ? 2 : 1;
  double step = 100 / (R - 1 + 0.5);
  if (passes == 2) step /= 2;
  // Wider windows than the rectangle visit the same pixels in the same order.
  const int32_t wx = std::min(WindowSize, C - 1), wy = std::min(WindowSize, R - 1);
  for (int p = 0; p < passes; ++p) {
    const bool isMax = (p == 0) == maxFirst;
    pass(isMax, wx, wy, x1, y1, C, R, [&](int32_t y) {
      if (OnProgress) OnProgress(Sender, int32_t((y + 1 + int64_t(p) * R) * step));
    });
  }
}

}  // namespace

void VXMorphFilter24(TVXBitmap* Bitmap, int32_t WindowSize, int32_t Op, void* Sender,
                     const TVXProgressEvent& OnProgress, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  RunPasses(Bitmap, WindowSize, Op, Sender, OnProgress, x1, y1, x2, y2,
            [&](bool isMax, int32_t wx, int32_t wy, int32_t px1, int32_t py1, int32_t C, int32_t R,
                const RowDone& done) {
              if (int64_t(2 * wx + 1) * (2 * wy + 1) <= 128)
                Pass24<int16_t>(Bitmap, wx, wy, isMax, px1, py1, C, R, done);
              else
                Pass24<int64_t>(Bitmap, wx, wy, isMax, px1, py1, C, R, done);
            });
}

void VXMorphFilter1Bit(TVXBitmap* Bitmap, int32_t WindowSize, int32_t Op, void* Sender,
                       const TVXProgressEvent& OnProgress, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  RunPasses(Bitmap, WindowSize, Op, Sender, OnProgress, x1, y1, x2, y2,
            [&](bool isMax, int32_t wx, int32_t wy, int32_t px1, int32_t py1, int32_t C, int32_t R,
                const RowDone& done) {
              if (isMax)
                Pass1<true>(Bitmap, wx, wy, px1, py1, C, R, done);
              else
                Pass1<false>(Bitmap, wx, wy, px1, py1, C, R, done);
            });
}

void VXDoMorphFilter(TVXBitmap* Bitmap, int32_t WindowSize, int32_t Op, void* Sender,
                     const TVXProgressEvent& OnProgress, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Bitmap) return;
  if (Bitmap->PixelFormat() == vx1g)
    VXMorphFilter1Bit(Bitmap, WindowSize, Op, Sender, OnProgress, x1, y1, x2, y2);
  else if (Bitmap->PixelFormat() == vx24RGB)
    VXMorphFilter24(Bitmap, WindowSize, Op, Sender, OnProgress, x1, y1, x2, y2);
}
