// Speck removal on 1-bit images and the kFill salt-and-pepper filter.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/workbitmap.h"
#include "proc/cleaning.h"

namespace {

inline bool GetBit1(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80u >> (x & 7))) != 0; }

inline void PutBit1(uint8_t* row, int32_t x, bool v) {
  const uint8_t mask = uint8_t(0x80u >> (x & 7));
  if (v)
    row[x >> 3] |= mask;
  else
    row[x >> 3] &= uint8_t(~mask);
}

}  // namespace

void VXDoRemoveIsolatedPixels(TVXBitmap* Bitmap, int32_t NoiseColor, int32_t PixelsCount, int32_t x1, int32_t y1,
                              int32_t x2, int32_t y2) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->PixelFormat() != vx1g || PixelsCount == 0) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  if (x1 >= x2 || y1 >= y2) return;
  const bool noise = NoiseColor != 0;
  const int32_t w = x2 - x1, h = y2 - y1;
  // Counts with a one-pixel margin: count (i + 1, j + 1) is pixel (x1 + i, y1 + j).
  const int64_t cw = int64_t(w) + 2;
  std::vector<int32_t> count(size_t(cw * (int64_t(h) + 2)), 0);
  for (int32_t j = 0; j < h; ++j) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->Scanline(y1 + j));
    for (int32_t i = 0; i < w; ++i) {
      if (GetBit1(row, x1 + i) != noise) continue;
      for (int32_t dy = 0; dy < 3; ++dy)
        for (int32_t dx = 0; dx < 3; ++dx) ++count[size_t((j + dy) * cw + i + dx)];
    }
  }
  for (int32_t j = 0; j < h; ++j) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->Scanline(y1 + j));
    for (int32_t i = 0; i < w; ++i) {
      const int32_t c = count[size_t((j + 1) * cw + i + 1)];
      if (c > 0 && c <= PixelsCount) PutBit1(row, x1 + i, !noise);
    }
  }
}

// ---------------------------------------------------------------------------
// kFill

namespace {

// Decision tables are kept up to this window size (2^20 ring patterns);
// larger windows decide each pattern as it comes.
constexpr int32_t kMaxTableWindow = 6;

class TKFillState {
 public:
  TKFillState(int32_t Width, int32_t Height, bool UseConnectivity, bool StrictWhiteFill, int32_t K)
      : fWidth(Width), fHeight(Height), fUseConnectivity(UseConnectivity), fStrictWhiteFill(StrictWhiteFill), fK(K),
        fWork(Width, Height, 8), fRing(size_t(4 * K - 4)), fRuns(size_t(Height)) {
    // Decisions are looked up once per pattern met: 0 not yet decided,
    // 1 keep, 2 fill.
    for (int32_t k = 3; k <= std::min(K, kMaxTableWindow); ++k) {
      fWhiteTable.emplace_back(size_t(1) << (4 * k - 4), uint8_t(0));
      fBlackTable.emplace_back(size_t(1) << (4 * k - 4), uint8_t(0));
    }
  }

  uint8_t& At(int32_t x, int32_t y) { return fWork.GetPByte(y, x)[0]; }
  // Ring pixels beyond the work image read as the border value 0.
  uint8_t Read(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= fWidth || y >= fHeight) return 0;
    return fWork.GetPByte(y, x)[0];
  }

  // One pass; true when it filled anything. First: the pass that visits every
  // pixel and records the runs of non-black columns of each row.
  bool Pass(bool WhiteCores, bool First);

  int32_t BlackLevel = 1;
  int32_t WhiteLevel = 254;

 private:
  // The fill decision for one ring pattern (bits[i] is ring position i).
  uint8_t Decide(const uint8_t* bits, int32_t k, bool WhiteCore) const;
  // Core offsets of size k: lo .. lo + k - 3 in both directions.
  static int32_t CoreLo(int32_t k) { return (k & 1) ? -(k - 3) / 2 : -(k - 4) / 2; }
  bool IsCore(int32_t v, bool WhiteCores) const { return WhiteCores ? v > BlackLevel : v < WhiteLevel; }
  // The largest size up to K whose core lies inside the image and holds
  // only core-coloured pixels; 0 when none does.
  int32_t CoreSize(int32_t x, int32_t y, bool WhiteCores);
  bool TryFill(int32_t x, int32_t y, int32_t k, bool WhiteCores);
  void Visit(int32_t x, int32_t y, bool WhiteCores, bool& filled);

  int32_t fWidth, fHeight;
  bool fUseConnectivity, fStrictWhiteFill;
  int32_t fK;
  TVXWorkBitmap fWork;
  std::vector<uint8_t> fRing;
  std::vector<std::vector<uint8_t>> fWhiteTable, fBlackTable;
  // Per row: runs of columns [first, last] to visit after the first pass.
  std::vector<std::vector<std::pair<int32_t, int32_t>>> fRuns;
};

uint8_t TKFillState::Decide(const uint8_t* bits, int32_t k, bool WhiteCore) const {
  const int32_t len = 4 * k - 4;
  const int32_t side = k - 1;
  auto isCorner = [&](int32_t i) { return i % side == 0; };
  // Runs of set bits along the ring with the corners stepped over; the
  // wrap from the last position to position 1 counts.
  int32_t groups = 0;
  bool prev = bits[len - 1] != 0;
  for (int32_t i = 1; i < len; ++i) {
    if (isCorner(i)) continue;
    const bool cur = bits[i] != 0;
    if (cur && !prev) ++groups;
    prev = cur;
  }
  int32_t corners = 0;
  for (int32_t c = 0; c < len; c += side) {
    if (!bits[c]) continue;
    ++corners;
    if (!bits[(c + len - 1) % len] && !bits[(c + 1) % len]) ++groups;
  }
  int32_t set = 0;
  for (int32_t i = 0; i < len; ++i) set += bits[i] != 0;
  const bool connected = !fUseConnectivity || groups <= 1;
  if (WhiteCore) {
    const int32_t n = len - set;
    const bool many = fStrictWhiteFill ? n == len : n > 3 * k - 4;
    return connected && (many || (n == 3 * k - 4 && corners == 2));
  }
  const int32_t n = set;
  return connected && (n > 3 * k - 4 || (n == 3 * k - 4 && corners == 2));
}

int32_t TKFillState::CoreSize(int32_t x, int32_t y, bool WhiteCores) {
  if (fK == 3) return 3;
  for (int32_t k = fK; k >= 3; --k) {
    const int32_t lo = CoreLo(k), hi = lo + k - 3;
    if (x + lo < 1 || x + hi >= fWidth - 1 || y + lo < 1 || y + hi >= fHeight) continue;
    bool all = true;
    for (int32_t dy = lo; dy <= hi && all; ++dy)
      for (int32_t dx = lo; dx <= hi; ++dx)
        if (!IsCore(At(x + dx, y + dy), WhiteCores)) {
          all = false;
          break;
        }
    if (all) return k;
  }
  return 0;
}

bool TKFillState::TryFill(int32_t x, int32_t y, int32_t k, bool WhiteCores) {
  const int32_t lo = CoreLo(k), hi = lo + k - 3;
  const int32_t side = k - 1, len = 4 * k - 4;
  // Ring from its top-left corner: along the top, down the right, back
  // along the bottom, up the left.
  const int32_t left = x + lo - 1, right = x + hi + 1, top = y + lo - 1, bottom = y + hi + 1;
  uint32_t pattern = 0;
  for (int32_t i = 0; i < len; ++i) {
    const int32_t s = i / side, j = i % side;
    int32_t px, py;
    switch (s) {
      case 0: px = left + j, py = top; break;
      case 1: px = right, py = top + j; break;
      case 2: px = right - j, py = bottom; break;
      default: px = left, py = bottom - j; break;
    }
    const int32_t v = Read(px, py);
    const bool bit = WhiteCores ? v >= BlackLevel : v > WhiteLevel;
    fRing[size_t(i)] = bit;
    if (k <= kMaxTableWindow && bit) pattern |= uint32_t(1) << i;
  }
  bool fill;
  if (k <= kMaxTableWindow) {
    uint8_t& entry = (WhiteCores ? fWhiteTable : fBlackTable)[size_t(k - 3)][pattern];
    if (entry == 0) entry = Decide(fRing.data(), k, WhiteCores) ? 2 : 1;
    fill = entry == 2;
  } else {
    fill = Decide(fRing.data(), k, WhiteCores) != 0;
  }
  if (!fill) return false;
  const uint8_t to = uint8_t(WhiteCores ? BlackLevel : WhiteLevel);
  for (int32_t dy = lo; dy <= hi; ++dy)
    for (int32_t dx = lo; dx <= hi; ++dx) {
      const int32_t cx = x + dx, cy = y + dy;
      if (cx < 0 || cy < 0 || cx >= fWidth || cy >= fHeight) continue;
      uint8_t& v = At(cx, cy);
      if (IsCore(v, WhiteCores)) v = to;
    }
  return true;
}

void TKFillState::Visit(int32_t x, int32_t y, bool WhiteCores, bool& filled) {
  if (!IsCore(At(x, y), WhiteCores)) return;
  const int32_t k = CoreSize(x, y, WhiteCores);
  if (k == 0) return;
  if (TryFill(x, y, k, WhiteCores)) {
    filled = true;
  } else if (k > 3 && TryFill(x, y, k - 1, WhiteCores)) {
    filled = true;
  }
}

bool TKFillState::Pass(bool WhiteCores, bool First) {
  bool filled = false;
  const int32_t reach = fK - 2;
  for (int32_t y = 1; y < fHeight; ++y) {
    if (First) {
      auto& runs = fRuns[size_t(y)];
      bool inRun = false;
      for (int32_t x = 1; x <= fWidth - 2; ++x) {
        if (At(x, y) > BlackLevel) {
          if (!inRun) {
            if (!runs.empty() && x - runs.back().second <= 4)
              runs.back().second = x;
            else
              runs.emplace_back(x, x);
            inRun = true;
          } else {
            runs.back().second = x;
          }
        } else {
          inRun = false;
        }
        Visit(x, y, WhiteCores, filled);
      }
      if (!runs.empty()) runs.back().second = fWidth - 2;
    } else {
      int32_t next = 1;  // first column not yet visited in this row
      for (const auto& run : fRuns[size_t(y)]) {
        const int32_t from = std::max(next, std::max(1, run.first - reach));
        const int32_t to = std::min(fWidth - 1, run.second + reach);
        for (int32_t x = from; x <= to; ++x) Visit(x, y, WhiteCores, filled);
        next = std::max(next, to + 1);
      }
    }
  }
  return filled;
}

}  // namespace

void VXDoRemoveNoise(TVXBitmap* Bitmap, bool UseConnectivity, bool StrictWhiteFill, bool InvertImage, int32_t K,
                     int32_t Iterations) {
  if (!Bitmap || Bitmap->IsEmpty() || K < 3) return;
  const TVXPixelFormat format = Bitmap->PixelFormat();
  if (format != vx1g && format != vx8g) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  TKFillState st(W, H, UseConnectivity, StrictWhiteFill, K);

  // Work image: 0 black, 255 white (of the inverted picture with
  // InvertImage), the outermost rows and columns black.
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->Scanline(y));
    for (int32_t x = 0; x < W; ++x) {
      bool white = format == vx1g ? GetBit1(row, x) : row[x] >= 129;
      if (format == vx8g && InvertImage) white = uint8_t(255 - row[x]) >= 129;
      else if (InvertImage) white = !white;
      const bool border = x == 0 || y == 0 || x == W - 1 || y == H - 1;
      st.At(x, y) = border ? 0 : (white ? 255 : 0);
    }
  }

  bool whiteCores = true;
  bool lastFilled = st.Pass(true, true);
  bool beforeFilled = true;
  int32_t passes = 1;
  st.WhiteLevel -= 1;
  whiteCores = false;
  // The levels move towards each other by one a pass; they stop the passes
  // before they meet.
  while (passes < Iterations && (lastFilled || beforeFilled) && st.BlackLevel + 1 < st.WhiteLevel) {
    const bool filled = st.Pass(whiteCores, false);
    ++passes;
    beforeFilled = lastFilled;
    lastFilled = filled;
    if (whiteCores) {
      st.WhiteLevel -= 1;
      if (beforeFilled) whiteCores = false;
    } else {
      st.BlackLevel += 1;
      if (beforeFilled) whiteCores = true;
    }
  }

  // Interior pixels take their final colour; the border stays.
  for (int32_t y = 1; y < H - 1; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->Scanline(y));
    for (int32_t x = 1; x < W - 1; ++x) {
      const int32_t v = st.At(x, y);
      bool white;
      if (v <= st.BlackLevel)
        white = false;
      else if (v >= st.WhiteLevel)
        white = true;
      else
        continue;
      if (InvertImage) white = !white;
      if (format == vx1g)
        PutBit1(row, x, white);
      else
        row[x] = white ? 255 : 0;
    }
  }
}
