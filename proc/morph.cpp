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
// them, so the pass needs no copy of the whole rectangle.
//
// vx1g: the row pass takes whole words of 64 pixels, combining a row with
// itself shifted by 1, 2, 4, ... pixels; the column pass combines the rows'
// words.

#include "proc/morph.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/simdvec.h"

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

// Row pass: out[x] = max over j of (key of padded pixel x + j with rank j).
void RowKeys(const int16_t* gp, int32_t C, int32_t Lx, int16_t* out) {
  int32_t x = 0;
  for (; x + 8 <= C; x += 8) {
    v8s m = VXLoadVec<v8s>(gp + x) | int16_t(127);
    for (int32_t j = 1; j < Lx; ++j) {
      const v8s v = VXLoadVec<v8s>(gp + x + j) | int16_t(127 - j);
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

void RowKeys(const int64_t* gp, int32_t C, int32_t Lx, int64_t* out) {
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
  int32_t x = 0;
  for (; x + 8 <= C; x += 8) {
    v8s m = VXLoadVec<v8s>(rows[0] + x);
    for (int32_t k = 1; k < Ly; ++k) {
      const v8s v = VXLoadVec<v8s>(rows[k] + x) - int16_t(k * Lx);
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

template <typename K>
void Pass24(TVXBitmap* Bitmap, int32_t wx, int32_t wy, bool IsMax, int32_t x1, int32_t y1, int32_t C, int32_t R,
            const RowDone& Done) {
  constexpr int S = KeyTraits<K>::Shift;
  constexpr int64_t M = (int64_t(1) << S) - 1;
  const int32_t Lx = 2 * wx + 1, Ly = 2 * wy + 1;
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int32_t cr = settings->RedToGrayCoef(), cg = settings->GreenToGrayCoef(), cb = settings->BlueToGrayCoef();
  // Rings of the original colours (each row with wx pixels repeated on either
  // side) and of the row keys, Ly rows each.
  const size_t colourBytes = 3 * (size_t(C) + 2 * size_t(wx));
  std::vector<uint8_t> colours(colourBytes * size_t(Ly));
  std::vector<K> rowKeys(size_t(C) * size_t(Ly));
  std::vector<K> padded(size_t(C) + 2 * size_t(wx));
  std::vector<K> keys(static_cast<size_t>(C));
  std::vector<const K*> window(static_cast<size_t>(Ly));
  std::vector<const uint8_t*> colourRows(static_cast<size_t>(Ly));
  // Rank -> row offset and byte offset within the padded row, for the
  // 16-bit keys.
  int32_t rankRow[128] = {}, rankCol[128] = {};
  if (S == 7)
    for (int32_t r = 0; r < 128 && r < Lx * Ly; ++r) rankRow[r] = r / Lx, rankCol[r] = 3 * (r % Lx);

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
    for (int32_t x = 0; x < C; ++x) {
      const uint8_t* p = inner + 3 * size_t(x);
      const uint8_t grey = uint8_t((p[2] * cr + p[1] * cg + p[0] * cb) / 100);
      g[x] = K(K(IsMax ? grey : 255 - grey) << S);
    }
    for (int32_t i = 0; i < wx; ++i) padded[size_t(i)] = g[0], g[C + i] = g[C - 1];
    RowKeys(padded.data(), C, Lx, rowKeys.data() + size_t(C) * size_t(slot));
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
    uint8_t* dst = static_cast<uint8_t*>(Bitmap->ScanLine(y1 + y)) + 3 * size_t(x1);
    for (int32_t x = 0; x < C; ++x) {
      const int64_t key = keys[size_t(x)];
      // A window all black (maximum) or all white (minimum) has no winner.
      if ((key >> S) == 0) continue;
      const int64_t rank = M - (key & M);
      const uint8_t* src;
      if (S == 7) {
        src = colourRows[size_t(rankRow[rank])] + 3 * size_t(x) + size_t(rankCol[rank]);
      } else {
        src = colourRows[size_t(rank / Lx)] + 3 * (size_t(x) + size_t(rank % Lx));
      }
      uint8_t* d = dst + 3 * size_t(x);
      std::memcpy(d, src, 2);
      d[2] = src[2];
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
  for (int32_t k = 0; k < n; ++k) {
    const uint64_t hi = k + q < n ? a[k + q] : 0, lo = k + q + 1 < n ? a[k + q + 1] : 0;
    const uint64_t t = r ? (hi << r) | (lo >> (64 - r)) : hi;
    a[k] = Or ? (a[k] | t) : (a[k] & t);
  }
}

// 8 pixels from bit position p of a row (most significant bit first).
inline uint8_t ReadByteAt(const uint8_t* row, int64_t p) {
  const int64_t b = p >> 3;
  const int s = int(p & 7);
  return s ? uint8_t((row[b] << s) | (row[b + 1] >> (8 - s))) : row[b];
}

template <bool Or>
void Pass1(TVXBitmap* Bitmap, int32_t wx, int32_t wy, int32_t x1, int32_t y1, int32_t C, int32_t R,
           const RowDone& Done) {
  const int64_t Lx = 2 * int64_t(wx) + 1;
  const int64_t plen = int64_t(C) + 2 * int64_t(wx);
  const int32_t pw = int32_t((plen + 63) / 64) + 1;  // words of the padded row
  const int32_t nw = (C + 63) / 64;                  // words of a result row
  std::vector<uint8_t> padded(size_t(pw) * 8);
  std::vector<uint64_t> work(static_cast<size_t>(pw));
  std::vector<uint64_t> rows(size_t(R) * size_t(nw));
  for (int32_t r = 0; r < R; ++r) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->ScanLine(y1 + r));
    auto pixel = [&](int64_t i) {  // padded pixel i
      const int64_t x = x1 + std::clamp<int64_t>(i - wx, 0, C - 1);
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    };
    std::fill(padded.begin(), padded.end(), 0);
    for (int64_t b = 0; b * 8 < plen; ++b) {
      const int64_t first = b * 8 - wx;
      if (first >= 0 && first + 7 <= C - 1) {
        padded[size_t(b)] = ReadByteAt(row, x1 + first);
      } else {
        uint8_t v = 0;
        for (int t = 0; t < 8 && b * 8 + t < plen; ++t) v |= uint8_t(pixel(b * 8 + t) << (7 - t));
        padded[size_t(b)] = v;
      }
    }
    for (int32_t k = 0; k < pw; ++k) work[size_t(k)] = LoadBE(padded.data() + 8 * size_t(k));
    // Doubling: after it, bit i covers pixels i .. i + m - 1.
    int64_t m = 1;
    while (2 * m <= Lx) {
      CombineShifted<Or>(work.data(), pw, m);
      m *= 2;
    }
    if (Lx > m) CombineShifted<Or>(work.data(), pw, Lx - m);
    std::copy_n(work.begin(), nw, rows.begin() + ptrdiff_t(size_t(r) * size_t(nw)));
  }

  std::vector<uint64_t> out(static_cast<size_t>(nw));
  std::vector<uint8_t> bytes(size_t(nw) * 8);
  const int s = int(x1 & 7);
  for (int32_t y = 0; y < R; ++y) {
    const int32_t r0 = std::max(0, y - wy), r1 = std::min(R - 1, y + wy);
    std::copy_n(rows.begin() + ptrdiff_t(size_t(r0) * size_t(nw)), nw, out.begin());
    for (int32_t r = r0 + 1; r <= r1; ++r) {
      const uint64_t* h = rows.data() + size_t(r) * size_t(nw);
      for (int32_t k = 0; k < nw; ++k) out[size_t(k)] = Or ? (out[size_t(k)] | h[k]) : (out[size_t(k)] & h[k]);
    }
    for (int32_t k = 0; k < nw; ++k) StoreBE(bytes.data() + 8 * size_t(k), out[size_t(k)]);
    uint8_t* row = static_cast<uint8_t*>(Bitmap->ScanLine(y1 + y));
    for (int32_t i = 0; 8 * i < C; ++i) {
      const int n = std::min(8, C - 8 * i);
      const unsigned mask = (0xFF00u >> n) & 0xFF;  // the top n bits
      const int64_t q = int64_t(x1) + 8 * i;
      uint8_t* d = row + (q >> 3);
      const unsigned m16 = mask << (8 - s), v16 = (bytes[size_t(i)] & mask) << (8 - s);
      d[0] = uint8_t((d[0] & ~(m16 >> 8)) | (v16 >> 8));
      if (m16 & 0xFF) d[1] = uint8_t((d[1] & ~m16) | (v16 & 0xFF));
    }
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
