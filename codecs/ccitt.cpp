#include "codecs/ccitt.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/pixels.h"
#include "core/streams.h"
#include "core/streamutils.h"

// T.4 codes: terminating codes 0..63, make-up codes 64..1728, the extended
// make-up codes 1792..2560 shared by both colours, EOL, three codes of 8 to
// 10 zeros ending in a 1 that carry no run, and EOL preceded by 1 to 20 fill
// bits.
const TVXCCITTCode VXCCITTRunCodes[2][128] = {
    {
        {8, 0x35, 0}, {6, 0x7, 1}, {4, 0x7, 2}, {4, 0x8, 3}, {4, 0xB, 4}, {4, 0xC, 5},
        {4, 0xE, 6}, {4, 0xF, 7}, {5, 0x13, 8}, {5, 0x14, 9}, {5, 0x7, 10}, {5, 0x8, 11},
        {6, 0x8, 12}, {6, 0x3, 13}, {6, 0x34, 14}, {6, 0x35, 15}, {6, 0x2A, 16}, {6, 0x2B, 17},
        {7, 0x27, 18}, {7, 0xC, 19}, {7, 0x8, 20}, {7, 0x17, 21}, {7, 0x3, 22}, {7, 0x4, 23},
        {7, 0x28, 24}, {7, 0x2B, 25}, {7, 0x13, 26}, {7, 0x24, 27}, {7, 0x18, 28}, {8, 0x2, 29},
        {8, 0x3, 30}, {8, 0x1A, 31}, {8, 0x1B, 32}, {8, 0x12, 33}, {8, 0x13, 34}, {8, 0x14, 35},
        {8, 0x15, 36}, {8, 0x16, 37}, {8, 0x17, 38}, {8, 0x28, 39}, {8, 0x29, 40}, {8, 0x2A, 41},
        {8, 0x2B, 42}, {8, 0x2C, 43}, {8, 0x2D, 44}, {8, 0x4, 45}, {8, 0x5, 46}, {8, 0xA, 47},
        {8, 0xB, 48}, {8, 0x52, 49}, {8, 0x53, 50}, {8, 0x54, 51}, {8, 0x55, 52}, {8, 0x24, 53},
        {8, 0x25, 54}, {8, 0x58, 55}, {8, 0x59, 56}, {8, 0x5A, 57}, {8, 0x5B, 58}, {8, 0x4A, 59},
        {8, 0x4B, 60}, {8, 0x32, 61}, {8, 0x33, 62}, {8, 0x34, 63}, {5, 0x1B, 64}, {5, 0x12, 128},
        {6, 0x17, 192}, {7, 0x37, 256}, {8, 0x36, 320}, {8, 0x37, 384}, {8, 0x64, 448}, {8, 0x65, 512},
        {8, 0x68, 576}, {8, 0x67, 640}, {9, 0xCC, 704}, {9, 0xCD, 768}, {9, 0xD2, 832}, {9, 0xD3, 896},
        {9, 0xD4, 960}, {9, 0xD5, 1024}, {9, 0xD6, 1088}, {9, 0xD7, 1152}, {9, 0xD8, 1216}, {9, 0xD9, 1280},
        {9, 0xDA, 1344}, {9, 0xDB, 1408}, {9, 0x98, 1472}, {9, 0x99, 1536}, {9, 0x9A, 1600}, {6, 0x18, 1664},
        {9, 0x9B, 1728}, {11, 0x8, 1792}, {11, 0xC, 1856}, {11, 0xD, 1920}, {12, 0x12, 1984}, {12, 0x13, 2048},
        {12, 0x14, 2112}, {12, 0x15, 2176}, {12, 0x16, 2240}, {12, 0x17, 2304}, {12, 0x1C, 2368}, {12, 0x1D, 2432},
        {12, 0x1E, 2496}, {12, 0x1F, 2560}, {12, 0x1, -3}, {9, 0x1, -1}, {10, 0x1, -1}, {11, 0x1, -1},
        {13, 0x1, -3}, {14, 0x1, -3}, {15, 0x1, -3}, {16, 0x1, -3}, {17, 0x1, -3}, {18, 0x1, -3},
        {19, 0x1, -3}, {20, 0x1, -3}, {21, 0x1, -3}, {22, 0x1, -3}, {23, 0x1, -3}, {24, 0x1, -3},
        {25, 0x1, -3}, {26, 0x1, -3}, {27, 0x1, -3}, {28, 0x1, -3}, {29, 0x1, -3}, {30, 0x1, -3},
        {31, 0x1, -3}, {32, 0x1, -3},
    },
    {
        {10, 0x37, 0}, {3, 0x2, 1}, {2, 0x3, 2}, {2, 0x2, 3}, {3, 0x3, 4}, {4, 0x3, 5},
        {4, 0x2, 6}, {5, 0x3, 7}, {6, 0x5, 8}, {6, 0x4, 9}, {7, 0x4, 10}, {7, 0x5, 11},
        {7, 0x7, 12}, {8, 0x4, 13}, {8, 0x7, 14}, {9, 0x18, 15}, {10, 0x17, 16}, {10, 0x18, 17},
        {10, 0x8, 18}, {11, 0x67, 19}, {11, 0x68, 20}, {11, 0x6C, 21}, {11, 0x37, 22}, {11, 0x28, 23},
        {11, 0x17, 24}, {11, 0x18, 25}, {12, 0xCA, 26}, {12, 0xCB, 27}, {12, 0xCC, 28}, {12, 0xCD, 29},
        {12, 0x68, 30}, {12, 0x69, 31}, {12, 0x6A, 32}, {12, 0x6B, 33}, {12, 0xD2, 34}, {12, 0xD3, 35},
        {12, 0xD4, 36}, {12, 0xD5, 37}, {12, 0xD6, 38}, {12, 0xD7, 39}, {12, 0x6C, 40}, {12, 0x6D, 41},
        {12, 0xDA, 42}, {12, 0xDB, 43}, {12, 0x54, 44}, {12, 0x55, 45}, {12, 0x56, 46}, {12, 0x57, 47},
        {12, 0x64, 48}, {12, 0x65, 49}, {12, 0x52, 50}, {12, 0x53, 51}, {12, 0x24, 52}, {12, 0x37, 53},
        {12, 0x38, 54}, {12, 0x27, 55}, {12, 0x28, 56}, {12, 0x58, 57}, {12, 0x59, 58}, {12, 0x2B, 59},
        {12, 0x2C, 60}, {12, 0x5A, 61}, {12, 0x66, 62}, {12, 0x67, 63}, {10, 0xF, 64}, {12, 0xC8, 128},
        {12, 0xC9, 192}, {12, 0x5B, 256}, {12, 0x33, 320}, {12, 0x34, 384}, {12, 0x35, 448}, {13, 0x6C, 512},
        {13, 0x6D, 576}, {13, 0x4A, 640}, {13, 0x4B, 704}, {13, 0x4C, 768}, {13, 0x4D, 832}, {13, 0x72, 896},
        {13, 0x73, 960}, {13, 0x74, 1024}, {13, 0x75, 1088}, {13, 0x76, 1152}, {13, 0x77, 1216}, {13, 0x52, 1280},
        {13, 0x53, 1344}, {13, 0x54, 1408}, {13, 0x55, 1472}, {13, 0x5A, 1536}, {13, 0x5B, 1600}, {13, 0x64, 1664},
        {13, 0x65, 1728}, {11, 0x8, 1792}, {11, 0xC, 1856}, {11, 0xD, 1920}, {12, 0x12, 1984}, {12, 0x13, 2048},
        {12, 0x14, 2112}, {12, 0x15, 2176}, {12, 0x16, 2240}, {12, 0x17, 2304}, {12, 0x1C, 2368}, {12, 0x1D, 2432},
        {12, 0x1E, 2496}, {12, 0x1F, 2560}, {12, 0x1, -3}, {9, 0x1, -1}, {10, 0x1, -1}, {11, 0x1, -1},
        {13, 0x1, -3}, {14, 0x1, -3}, {15, 0x1, -3}, {16, 0x1, -3}, {17, 0x1, -3}, {18, 0x1, -3},
        {19, 0x1, -3}, {20, 0x1, -3}, {21, 0x1, -3}, {22, 0x1, -3}, {23, 0x1, -3}, {24, 0x1, -3},
        {25, 0x1, -3}, {26, 0x1, -3}, {27, 0x1, -3}, {28, 0x1, -3}, {29, 0x1, -3}, {30, 0x1, -3},
        {31, 0x1, -3}, {32, 0x1, -3},
    },
};
const TVXCCITTCode VXCCITTModeCodes[13] = {
        {12, 0x0, 0}, {4, 0x1, 0}, {3, 0x1, 0}, {7, 0x2, 0}, {6, 0x2, 0}, {3, 0x2, 0},
        {1, 0x1, 0}, {3, 0x3, 0}, {6, 0x3, 0}, {7, 0x3, 0}, {10, 0xF, 0}, {12, 0xF, 0},
        {12, 0x1, 0},
};

namespace {

// ---------------------------------------------------------------------------
// Decode trees

struct TNode {
  int32_t value = 128;  // 128: inner node; else the index of the code
  TNode* child[2] = {nullptr, nullptr};
};

TNode gRoots[2];
std::mutex gTreesLock;
bool gTreesBuilt = false;

void FreeNode(TNode* n) {
  for (TNode*& c : n->child) {
    if (c) {
      FreeNode(c);
      delete c;
      c = nullptr;
    }
  }
}

void BuildTrees() {
  for (int colour = 0; colour < 2; ++colour) {
    for (int32_t j = 0; j < 128; ++j) {
      const TVXCCITTCode& e = VXCCITTRunCodes[colour][j];
      TNode* n = &gRoots[colour];
      for (int32_t b = e.length - 1; b >= 0; --b) {
        // Bits above the 16 stored ones are zeros.
        int bit = b < 16 ? (e.code >> b) & 1 : 0;
        if (!n->child[bit]) {
          n->child[bit] = new TNode();
          n->value = 128;
        }
        n = n->child[bit];
      }
      n->value = j;
    }
  }
  gTreesBuilt = true;
}

void EnsureTrees() {
  std::lock_guard<std::mutex> lock(gTreesLock);
  if (!gTreesBuilt) BuildTrees();
}

// ---------------------------------------------------------------------------
// Bit reading

class TBitSource {
public:
  TBitSource(const uint8_t* src, int64_t size, int32_t fillOrder)
      : fSrc(src), fSize(src ? std::max<int64_t>(size, 0) : 0), fReverse(fillOrder != 1) {}

  // The 32 bits from bit position p, the first one at the top; bytes beyond
  // the source read as 0.
  uint32_t Window(int64_t p) const {
    if (p < 0) return 0;
    int64_t byte = p >> 3;
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      uint8_t b = byte + k < fSize ? fSrc[byte + k] : 0;
      if (fReverse) VXReverseByteBits(b);
      v = (v << 8) | b;
    }
    return v << (p & 7);
  }
  int64_t Bits() const { return fSize * 8; }
  bool AtEnd(int64_t p) const { return (p >> 3) >= fSize; }

private:
  const uint8_t* fSrc;
  int64_t fSize;
  bool fReverse;
};

// The index of the run code of a colour at p: 128 when none, 127 at the end.
int32_t LookupRun(const TBitSource& s, int colour, int64_t p) {
  if (s.AtEnd(p)) return 127;
  uint32_t w = s.Window(p);
  const TNode* n = &gRoots[colour];
  for (int step = 0; step < 32; ++step) {
    n = n->child[(w >> 31) & 1];
    if (!n) return 128;
    if (n->value != 128) return n->value;
    w <<= 1;
  }
  return 128;
}

int32_t LookupMode(const TBitSource& s, int64_t p) {
  uint32_t w = s.Window(p);
  for (int32_t i = 0; i < 13; ++i) {
    const TVXCCITTCode& m = VXCCITTModeCodes[i];
    if ((w >> (32 - m.length)) == m.code) return i;
  }
  return 0;
}

// Decoded rows: white 1, black 0.
void PaintBlack(uint8_t* row, int32_t width, int64_t from, int64_t to) {
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, width);
  for (int64_t x = from; x < to; ++x) row[x >> 3] &= uint8_t(~(0x80u >> (x & 7)));
}

// Colour of a reference-row pixel (0 white, 1 black); -1, positions past
// the row and a missing row are white.
int RefColour(const uint8_t* ref, int32_t width, int64_t x) {
  if (!ref || x < 0 || x >= width) return 0;
  return ((ref[x >> 3] >> (7 - (x & 7))) & 1) ? 0 : 1;
}

// Changes: when given, receives the position of every change of colour,
// zero-length runs included.
int64_t Decode1D(uint8_t* dest, const TBitSource& s, int32_t width, int64_t p,
                 std::vector<int64_t>* Changes = nullptr) {
  std::memset(dest, 0xFF, size_t((int64_t(width) + 7) / 8));
  int64_t d = 0;
  int colour = 0;
  int64_t rowStart = p;
  bool makeup = false;
  while (d < width || makeup) {
    int32_t idx = LookupRun(s, colour, p);
    if (idx == 128) {
      ++p;
      ++rowStart;
      continue;
    }
    const TVXCCITTCode& e = VXCCITTRunCodes[colour][idx];
    const int64_t codeStart = p;
    p += e.length;
    bool terminating = idx < 64;
    if (e.run == -3) {
      if (codeStart == rowStart) continue;
      if (colour == 1) PaintBlack(dest, width, d, width);
      d = int64_t(width) + 1;
      terminating = true;
      makeup = false;
      break;
    } else if (e.run >= 0) {
      if (colour == 1) PaintBlack(dest, width, d, d + e.run);
      d += e.run;
    }
    makeup = idx > 63;
    if (terminating) {
      colour ^= 1;
      if (Changes) Changes->push_back(std::min<int64_t>(d, width));
    }
  }
  return p;
}

// The runs of a decoded row (white 1), white first: a row that starts black
// begins with a white run of 0. A missing row is one white run.
void RunsOfRow(const uint8_t* row, int64_t width, std::vector<int32_t>& runs) {
  runs.clear();
  int colour = 0;
  int64_t start = 0;
  for (int64_t x = 0; x < width; ++x) {
    const int c = RefColour(row, int32_t(width), x);
    if (c == colour) continue;
    runs.push_back(int32_t(x - start));
    start = x;
    colour = c;
  }
  runs.push_back(int32_t(width - start));
}

// The runs between the changes of colour of a row, zero-length ones kept.
void RunsOfChanges(const std::vector<int64_t>& changes, int64_t width, std::vector<int32_t>& runs) {
  runs.clear();
  int64_t prev = 0;
  for (int64_t c : changes) {
    c = std::clamp<int64_t>(c, prev, width);
    runs.push_back(int32_t(c - prev));
    prev = c;
  }
  runs.push_back(int32_t(width - prev));
}

// The reference row walked as its runs: b1 is the end of the first k runs,
// so its parity tells the colour it changes to. Runs past the last one are
// empty; the runs add up to the width, so b1 stops there.
struct TRefWalk {
  const std::vector<int32_t>& runs;
  int64_t width;
  size_t k = 1;
  int64_t b1;
  TRefWalk(const std::vector<int32_t>& r, int64_t w) : runs(r), width(w), b1(Run(0)) {}
  int64_t Run(size_t i) const { return i < runs.size() ? runs[i] : 0; }
  // b1 past a0, by pairs of runs so that it keeps its colour.
  void Past(int64_t a0) {
    while (b1 <= a0 && b1 < width && k < runs.size() + 2) {
      b1 += Run(k) + Run(k + 1);
      k += 2;
    }
  }
  int64_t B2() const { return b1 + Run(k); }
  void Forward() { b1 += Run(k++); }
  void Back() {
    if (k > 0) b1 -= Run(--k);
  }
};

// A run of one colour in horizontal mode: make-up codes summed up to the
// terminating code; -1 when a code without run was met or the data ended.
int64_t ReadRun(const TBitSource& s, int colour, int64_t& p) {
  int64_t sum = 0;
  for (;;) {
    int32_t idx = LookupRun(s, colour, p);
    if (idx == 128) {
      ++p;  // no code: skip one bit, as in one-dimensional rows
      continue;
    }
    const TVXCCITTCode& e = VXCCITTRunCodes[colour][idx];
    p += e.length;
    if (e.run < 0) return -1;
    sum += e.run;
    if (idx < 64) return sum;
  }
}

// Byte-wise bit writer that starts with the caller's pending bits.
class TBitSink {
public:
  TBitSink(int32_t width, int32_t pendingBits, uint8_t pendingByte) {
    // The worst row: two codes of up to 13 bits a pixel, EOL, tag bit and
    // the pending bits.
    fBytes.reserve(size_t((2 * int64_t(std::max(width, 0)) * 13 + 12 + 1 + 7) / 8 + 16));
    if (pendingBits > 0) Put(uint32_t(pendingByte >> (8 - pendingBits)), pendingBits);
  }
  void Put(uint32_t code, int32_t length) {
    for (int32_t b = length - 1; b >= 0; --b) {
      uint32_t bit = b < 32 ? (code >> b) & 1 : 0;
      fCur = uint8_t(fCur | (bit << (7 - fBits)));
      if (++fBits == 8) {
        fBytes.push_back(fCur);
        fCur = 0;
        fBits = 0;
      }
    }
  }
  void PutCode(const TVXCCITTCode& c) { Put(c.code, c.length); }
  void PadToByte() {
    if (fBits > 0) {
      fBytes.push_back(fCur);
      fCur = 0;
      fBits = 0;
    }
  }
  // Writes the whole bytes and hands back the rest.
  void Flush(TStream* stream, int32_t fillOrder, bool& aborting, int32_t& pendingBits, uint8_t& pendingByte) {
    if (fillOrder == 2)
      for (uint8_t& b : fBytes) VXReverseByteBits(b);
    if (!fBytes.empty()) VXWriteChecked(stream, aborting, fBytes.data(), int64_t(fBytes.size()));
    fBytes.clear();
    pendingBits = fBits;
    pendingByte = fCur;
  }

private:
  std::vector<uint8_t> fBytes;
  uint8_t fCur = 0;
  int32_t fBits = 0;
};

const TVXCCITTCode kEOL = {12, 0x001, -3};
const TVXCCITTCode kPass = {4, 0x1, 0};
const TVXCCITTCode kHoriz = {3, 0x1, 0};
// Vertical codes by b1 - a1 from -3 to +3.
const TVXCCITTCode kVert[7] = {{7, 0x03, 0}, {6, 0x03, 0}, {3, 0x3, 0}, {1, 0x1, 0},
                               {3, 0x2, 0},  {6, 0x02, 0}, {7, 0x02, 0}};

void PutSpan(TBitSink& sink, int64_t run, int colour) {
  const TVXCCITTCode* t = VXCCITTRunCodes[colour];
  while (run >= 64) {
    if (run > 2560) {
      sink.PutCode(t[103]);
      run -= 2560;
    } else {
      sink.PutCode(t[63 + run / 64]);
      run -= (run / 64) * 64;
    }
  }
  sink.PutCode(t[run]);
}

// Encoder rows: black 1.
inline int Pixel(const uint8_t* row, int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// First position at or after bs whose colour differs from colour; be when none.
int64_t FindDiff(const uint8_t* row, int64_t bs, int64_t be, int colour) {
  for (int64_t x = bs; x < be; ++x)
    if (Pixel(row, x) != colour) return x;
  return be;
}

int64_t FindDiff2(const uint8_t* row, int64_t bs, int64_t be, int colour) {
  return bs < be ? FindDiff(row, bs, be, colour) : be;
}

void Encode1D(TBitSink& sink, const uint8_t* row, int32_t width) {
  int64_t x = 0;
  int colour = 0;
  while (x < width) {
    int64_t next = FindDiff(row, x, width, colour);
    PutSpan(sink, next - x, colour);
    x = next;
    colour ^= 1;
  }
  if (width == 0) PutSpan(sink, 0, 0);
}

void Encode2D(TBitSink& sink, const uint8_t* row, const uint8_t* ref, int32_t width) {
  const int64_t w = width;
  int64_t a0 = 0;
  int64_t a1 = Pixel(row, 0) ? 0 : FindDiff(row, 0, w, 0);
  int64_t b1 = Pixel(ref, 0) ? 0 : FindDiff(ref, 0, w, 0);
  for (;;) {
    int64_t b2 = FindDiff2(ref, b1, w, b1 < w ? Pixel(ref, b1) : 0);
    if (b2 >= a1) {
      int64_t d = b1 - a1;
      if (d < -3 || d > 3) {
        int64_t a2 = FindDiff2(row, a1, w, a1 < w ? Pixel(row, a1) : 0);
        sink.PutCode(kHoriz);
        if (a0 + a1 == 0 || Pixel(row, a0) == 0) {
          PutSpan(sink, a1 - a0, 0);
          PutSpan(sink, a2 - a1, 1);
        } else {
          PutSpan(sink, a1 - a0, 1);
          PutSpan(sink, a2 - a1, 0);
        }
        a0 = a2;
      } else {
        sink.PutCode(kVert[d + 3]);
        a0 = a1;
      }
    } else {
      sink.PutCode(kPass);
      a0 = b2;
    }
    if (a0 >= w) break;
    int c = Pixel(row, a0);
    a1 = FindDiff(row, a0, w, c);
    b1 = FindDiff(ref, a0, w, c ^ 1);
    b1 = FindDiff(ref, b1, w, c);
  }
}

// The encoders' own reference row: 32-bit aligned, padded with white, the
// caller's ceil(Width / 8) bytes copied in.
void CopyToRef(uint8_t*& ref, const uint8_t* row, int32_t width) {
  size_t aligned = size_t((int64_t(width) + 31) / 32 * 4);
  if (!ref) {
    ref = new uint8_t[std::max<size_t>(aligned, 4)];
    std::memset(ref, 0, std::max<size_t>(aligned, 4));
  }
  std::memcpy(ref, row, size_t((int64_t(width) + 7) / 8));
}

// Ends a two-dimensional block: EOLs, the last byte padded with 0 bits, the
// reference row freed.
void EndBlock(int32_t eols, TStream* stream, int32_t fillOrder, bool& aborting, uint8_t*& refRow,
              int32_t& pendingBits, uint8_t& pendingByte) {
  TBitSink sink(0, pendingBits, pendingByte);
  for (int32_t k = 0; k < eols; ++k) sink.PutCode(kEOL);
  sink.PadToByte();
  sink.Flush(stream, fillOrder, aborting, pendingBits, pendingByte);
  delete[] refRow;
  refRow = nullptr;
}

uint8_t PendingMask(int32_t bits, int32_t fillOrder) {
  uint8_t m = uint8_t(0xFF00u >> bits);
  if (fillOrder == 2) VXReverseByteBits(m);
  return m;
}

}  // namespace

void VXCreateCCITTDecodeTrees() { EnsureTrees(); }

void VXFreeCCITTDecodeTrees() {
  std::lock_guard<std::mutex> lock(gTreesLock);
  for (TNode& r : gRoots) {
    FreeNode(&r);
    r.value = 128;
  }
  gTreesBuilt = false;
}

int32_t VXCCITTDecodeMHRow(uint8_t* Dest, const uint8_t* Source, int64_t SourceSize, int32_t Width,
                           int32_t FillOrder) {
  int64_t p = VXCCITTDecode1DRow(Dest, Source, SourceSize, Width, 0, FillOrder);
  return int32_t(std::min<int64_t>((p + 7) / 8, INT32_MAX));
}

int64_t VXCCITTDecode1DRow(uint8_t* Dest, const uint8_t* Source, int64_t SourceSize, int32_t Width, int64_t BitPos,
                           int32_t FillOrder) {
  if (Width <= 0) return BitPos;
  EnsureTrees();
  TBitSource s(Source, SourceSize, FillOrder);
  return Decode1D(Dest, s, Width, BitPos);
}

int64_t VXCCITTDecode2DRow(uint8_t* Dest, const uint8_t* Source, int64_t SourceSize, int32_t Width, uint8_t* RefRow,
                           int64_t BitPos, int32_t FillOrder, bool FillBeforeEOL, std::vector<int32_t>* RefRuns) {
  if (Width <= 0) return BitPos;
  EnsureTrees();
  TBitSource s(Source, SourceSize, FillOrder);
  const int64_t w = Width;
  const size_t rowBytes = size_t((w + 7) / 8);
  // The reference row as runs: those the row before left, which keep its
  // zero-length runs (a horizontal code H(0, 0) moves b1 for the next row,
  // though it paints nothing), or else those of its pixels.
  std::vector<int32_t> ownRuns;
  if (!RefRuns || RefRuns->empty()) RunsOfRow(RefRow, w, ownRuns);
  const std::vector<int32_t>& refRuns = RefRuns && !RefRuns->empty() ? *RefRuns : ownRuns;
  TRefWalk ref(refRuns, w);
  // Where this row changes colour, for the next row's reference.
  std::vector<int64_t> changes;
  bool fromPixels = false;
  std::memset(Dest, 0xFF, rowBytes);
  int64_t p = BitPos;
  int64_t a0 = -1;
  int colour = 0;
  const int64_t start = p;
  // Before any run of the row is out, b1 may lie at a0 (a row whose
  // reference starts black, or with a zero-length run).
  auto findB1 = [&] {
    if (!changes.empty()) ref.Past(a0);
    return ref.b1;
  };
  bool done = false;
  while (!done && a0 < w && p < s.Bits()) {
    const int64_t codeStart = p;
    int32_t idx = LookupMode(s, p);
    p += VXCCITTModeCodes[idx].length;
    if (idx == 0 && FillBeforeEOL) {
      // Fill bits up to and including the next 1: an EOL.
      while (p < s.Bits() && !(s.Window(p) >> 31)) ++p;
      ++p;
      idx = 12;
    }
    switch (idx) {
      case 0:
        break;
      case 1: {  // pass
        findB1();
        const int64_t b2 = ref.B2();
        if (a0 < 0) a0 = 0;
        if (colour == 1) PaintBlack(Dest, Width, a0, b2);
        a0 = std::min(b2, w);
        ref.Forward();
        ref.Forward();
        break;
      }
      case 2: {  // horizontal
        int64_t r1 = ReadRun(s, colour, p);
        int64_t r2 = r1 < 0 ? -1 : ReadRun(s, colour ^ 1, p);
        if (r1 < 0 || r2 < 0) break;
        if (a0 < 0) a0 = 0;
        int64_t m = std::min(a0 + r1, w);
        int64_t e = std::min(m + r2, w);
        if (colour == 1)
          PaintBlack(Dest, Width, a0, m);
        else
          PaintBlack(Dest, Width, m, e);
        a0 = e;
        changes.push_back(m);
        changes.push_back(e);
        break;
      }
      case 3: case 4: case 5: case 6: case 7: case 8: case 9: {  // vertical
        int64_t a1 = findB1() + (idx - 6);
        a1 = std::clamp<int64_t>(a1, 0, w);
        if (a0 < 0) a0 = 0;
        if (colour == 1) PaintBlack(Dest, Width, a0, a1);
        a0 = a1;
        colour ^= 1;
        changes.push_back(a1);
        // b1 moves on to the next change of the reference row (back to the
        // one before for V-left), which has the colour to look for now.
        if (idx >= 6)
          ref.Forward();
        else
          ref.Back();
        break;
      }
      case 10: case 11: {  // uncompressed mode
        fromPixels = true;
        if (a0 < 0) a0 = 0;
        for (;;) {
          if (p >= s.Bits() || a0 >= w) break;
          uint32_t win = s.Window(p);
          int32_t m = 0;
          for (int32_t k = 0; k < 11; ++k)
            if ((win >> (31 - k)) & 1) {
              m = k + 1;
              break;
            }
          if (m == 0) break;
          p += m;
          if (m <= 5) {
            a0 += m;
            PaintBlack(Dest, Width, a0 - 1, a0);
          } else if (m == 6) {
            a0 += 5;
          } else {
            a0 += m - 7;
            colour = (s.Window(p) >> 31) ? 1 : 0;
            ++p;
            break;
          }
        }
        a0 = std::min(a0, w);
        break;
      }
      case 12: {  // EOL
        if (codeStart == start) {
          int tag = int(s.Window(p) >> 31);
          ++p;
          if (tag == 1) {
            changes.clear();
            p = Decode1D(Dest, s, Width, p, &changes);
            done = true;
          }
        } else {
          if (colour == 1 && a0 >= 0) PaintBlack(Dest, Width, a0, w);
          p = codeStart;
          done = true;
        }
        break;
      }
    }
  }
  if (RefRow) std::memcpy(RefRow, Dest, rowBytes);
  if (RefRuns) {
    if (fromPixels)
      RunsOfRow(Dest, w, *RefRuns);
    else
      RunsOfChanges(changes, w, *RefRuns);
  }
  return p;
}

void VXEncodeMHFaxRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting) {
  TBitSink sink(Width, 0, 0);
  Encode1D(sink, Row, std::max(Width, 0));
  sink.PadToByte();
  int32_t bits = 0;
  uint8_t byte = 0;
  sink.Flush(Stream, FillOrder, Aborting, bits, byte);
}

void VXEncodeG3Fax1DRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting,
                        int32_t& PendingBits, uint8_t& PendingByte) {
  if (!Row && Width == 0) {
    if (PendingBits > 0) {
      uint8_t b = PendingByte;
      if (FillOrder == 2) VXReverseByteBits(b);
      b &= PendingMask(PendingBits, FillOrder);
      VXWriteChecked(Stream, Aborting, &b, 1);
      PendingBits = 0;
      PendingByte = 0;
    }
    return;
  }
  if (!Row) return;
  TBitSink sink(Width, PendingBits, PendingByte);
  sink.PutCode(kEOL);
  Encode1D(sink, Row, std::max(Width, 0));
  sink.Flush(Stream, FillOrder, Aborting, PendingBits, PendingByte);
}

void VXEncodeG3Fax2DRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting,
                        uint8_t*& RefRow, int32_t& PendingBits, uint8_t& PendingByte) {
  if (!Row) {
    EndBlock(1, Stream, FillOrder, Aborting, RefRow, PendingBits, PendingByte);
    return;
  }
  TBitSink sink(Width, PendingBits, PendingByte);
  const int32_t w = std::max(Width, 0);
  sink.PutCode(kEOL);
  if (!RefRow) {
    sink.Put(1, 1);
    Encode1D(sink, Row, w);
  } else {
    sink.Put(0, 1);
    if (w > 0) Encode2D(sink, Row, RefRow, w);
  }
  CopyToRef(RefRow, Row, w);
  sink.Flush(Stream, FillOrder, Aborting, PendingBits, PendingByte);
}

void VXEncodeG4FaxRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting,
                      uint8_t*& RefRow, int32_t& PendingBits, uint8_t& PendingByte) {
  if (!Row) {
    EndBlock(2, Stream, FillOrder, Aborting, RefRow, PendingBits, PendingByte);  // EOFB
    return;
  }
  TBitSink sink(Width, PendingBits, PendingByte);
  const int32_t w = std::max(Width, 0);
  if (!RefRow) {
    size_t aligned = std::max<size_t>(size_t((int64_t(w) + 31) / 32 * 4), 4);
    RefRow = new uint8_t[aligned];
    std::memset(RefRow, 0, aligned);
  }
  if (w > 0) Encode2D(sink, Row, RefRow, w);
  CopyToRef(RefRow, Row, w);
  sink.Flush(Stream, FillOrder, Aborting, PendingBits, PendingByte);
}
