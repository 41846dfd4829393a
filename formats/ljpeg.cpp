// Lossless JPEG decoding: markers, Huffman tables, the predictors of the
// lossless process and restart intervals.
#include "formats/ljpeg.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/streams.h"

namespace {

constexpr int kMaxTables = 4;
constexpr int kMaxSymbols = 17;
constexpr uint8_t kLongerCode = 255;

// One Huffman table of a DHT segment: the fast table resolves codes of up to
// 8 bits from the next 8 bits of data; longer codes are found bit by bit
// from the range of codes of each length.
struct THuffTable {
  std::array<uint8_t, kMaxSymbols> Symbols{};
  int32_t SymbolCount = 0;
  std::array<uint8_t, 256> FastSymbol{};
  std::array<uint8_t, 256> FastLength{};
  std::array<int32_t, 17> MinCode{};
  std::array<int32_t, 17> MaxCode{};  // -1: no code of that length
  std::array<int32_t, 17> FirstIndex{};
  int32_t MaxLength = 0;
};

// Builds the table from its 16 counts and symbols; false when the counts
// describe more codes than their lengths hold, or no code at all.
bool BuildTable(THuffTable& T, const uint8_t* Counts, const uint8_t* Symbols, int32_t SymbolCount) {
  if (SymbolCount < 1) return false;
  T.SymbolCount = SymbolCount;
  std::memcpy(T.Symbols.data(), Symbols, size_t(SymbolCount));
  T.FastLength.fill(kLongerCode);
  T.FastSymbol.fill(0);
  T.MaxLength = 0;
  int32_t code = 0;
  int32_t k = 0;
  for (int len = 1; len <= 16; ++len) {
    const int32_t n = Counts[len - 1];
    T.MinCode[len] = code;
    T.FirstIndex[len] = k;
    T.MaxCode[len] = n > 0 ? code + n - 1 : -1;
    for (int32_t i = 0; i < n; ++i, ++k, ++code) {
      if (code >= (1 << len)) return false;  // more codes than this length holds
      if (len <= 8) {
        const int32_t first = code << (8 - len);
        for (int32_t j = 0; j < (1 << (8 - len)); ++j) {
          T.FastSymbol[size_t(first + j)] = Symbols[k];
          T.FastLength[size_t(first + j)] = uint8_t(len);
        }
      }
    }
    if (n > 0) T.MaxLength = len;
    code <<= 1;
  }
  return true;
}

// Reads the compacted entropy data MSB first. Bits past the end read as 0;
// Exhausted() tells when any of them was consumed.
class TBitReader {
 public:
  explicit TBitReader(const std::vector<uint8_t>& Data) : fData(Data) {}

  void Restart(size_t BytePos) {
    fPos = BytePos;
    fAcc = 0;
    fBits = 0;
  }
  // The byte after the last one a consumed bit came from.
  size_t NextBytePos() const { return fPos - size_t(fBits / 8); }
  bool Exhausted() const { return int64_t(fPos) * 8 - fBits > int64_t(fData.size()) * 8; }

  uint32_t Peek(int N) {
    Fill(N);
    return uint32_t(fAcc >> (64 - N));
  }
  void Skip(int N) {
    fAcc <<= N;
    fBits -= N;
  }
  uint32_t Get(int N) {
    const uint32_t v = Peek(N);
    Skip(N);
    return v;
  }

 private:
  void Fill(int N) {
    while (fBits < N) {
      const uint64_t b = fPos < fData.size() ? fData[fPos] : 0;
      ++fPos;
      fAcc |= b << (56 - fBits);
      fBits += 8;
    }
  }
  const std::vector<uint8_t>& fData;
  size_t fPos = 0;
  uint64_t fAcc = 0;
  int fBits = 0;
};

int32_t DecodeSymbol(TBitReader& R, const THuffTable& T) {
  const uint32_t look = R.Peek(8);
  if (T.FastLength[look] != kLongerCode) {
    R.Skip(T.FastLength[look]);
    return T.FastSymbol[look];
  }
  int32_t code = 0;
  for (int len = 1; len <= T.MaxLength; ++len) {
    code = (code << 1) | int32_t(R.Get(1));
    if (T.MaxCode[len] >= 0 && code <= T.MaxCode[len] && code >= T.MinCode[len])
      return T.Symbols[size_t(T.FirstIndex[len] + code - T.MinCode[len])];
  }
  return T.Symbols[size_t(T.SymbolCount - 1)];  // no code matched
}

int32_t DecodeDifference(TBitReader& R, const THuffTable& T) {
  const int32_t s = DecodeSymbol(R, T);
  if (s == 0) return 0;
  if (s >= 16) return 32768;
  const int32_t v = int32_t(R.Get(s));
  return v < (1 << (s - 1)) ? v - ((1 << s) - 1) : v;
}

int32_t Predict(int32_t Ss, int32_t Ra, int32_t Rb, int32_t Rc) {
  switch (Ss) {
    case 2: return Rb;
    case 3: return Rc;
    case 4: return Ra + Rb - Rc;
    case 5: return Ra + ((Rb - Rc) >> 1);
    case 6: return Rb + ((Ra - Rc) >> 1);
    case 7: return (Ra + Rb) >> 1;
    default: return Ra;
  }
}

uint32_t BE16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

bool IsFrameMarker(uint8_t M) { return M >= 0xC0 && M <= 0xCF && M != 0xC4 && M != 0xC8 && M != 0xCC; }

struct TFrame {
  bool Lossless = false;
  bool HaveFrame = false;
  int32_t P = 0, Y = 0, X = 0, Nf = 0;
  int32_t Ns = 0, Ss = 1, Pt = 0;
  int32_t Ri = 0;
  std::vector<THuffTable> Tables;
};

// Reads the markers up to the scan; the result is the offset of the entropy
// data, or 0 when the stream can't be decoded.
size_t ParseHeader(const std::vector<uint8_t>& B, TFrame& F) {
  size_t pos = 2;  // past the start of image
  const size_t size = B.size();
  int32_t tablesSeen = 0;
  while (pos + 1 < size) {
    if (B[pos] != 0xFF) return 0;
    const uint8_t m = B[pos + 1];
    if (m == 0xFF) {  // a fill byte before the marker
      ++pos;
      continue;
    }
    if (m == 0x00 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
      pos += 2;
      continue;
    }
    if (pos + 4 > size) return 0;
    const size_t len = BE16(&B[pos + 2]);
    if (len < 2 || pos + 2 + len > size) return 0;
    const uint8_t* body = &B[pos + 4];
    const size_t bodyLen = len - 2;
    if (IsFrameMarker(m)) {
      if (bodyLen < 6) return 0;
      F.HaveFrame = true;
      F.Lossless = m == 0xC3;
      F.P = body[0];
      F.Y = int32_t(BE16(body + 1));
      F.X = int32_t(BE16(body + 3));
      F.Nf = body[5];
    } else if (m == 0xC4) {
      size_t p = 0;
      while (bodyLen - p > 17) {
        const uint8_t* counts = body + p + 1;
        int32_t n = 0;
        for (int i = 0; i < 16; ++i) n += counts[i];
        if (n > kMaxSymbols || p + 17 + size_t(n) > bodyLen) return 0;
        const uint8_t* symbols = body + p + 17;
        for (int32_t i = 0; i < n; ++i)
          if (symbols[i] > 16) return 0;
        // Tables are numbered in the order they come, whatever their
        // identifiers; component k uses table k.
        if (tablesSeen < kMaxTables) {
          THuffTable t;
          if (!BuildTable(t, counts, symbols, n)) return 0;
          F.Tables.push_back(t);
        }
        ++tablesSeen;
        p += 17 + size_t(n);
      }
    } else if (m == 0xDD) {
      if (bodyLen < 2) return 0;
      F.Ri = int32_t(BE16(body));
    } else if (m == 0xDA) {
      if (bodyLen < 1) return 0;
      F.Ns = body[0];
      if (bodyLen < size_t(4 + 2 * F.Ns)) return 0;
      F.Ss = body[1 + 2 * F.Ns];
      F.Pt = body[3 + 2 * F.Ns] & 0x0F;
      return pos + 2 + len;
    }
    pos += 2 + len;
  }
  return 0;
}

// Removes the stuffed 00 after each FF from Pos on, in place, up to the end
// of image; restart markers stay. The vector ends with the entropy data.
void CompactEntropyData(std::vector<uint8_t>& B, size_t Pos) {
  size_t out = Pos;
  size_t i = Pos;
  while (i < B.size()) {
    const uint8_t b = B[i];
    if (b == 0xFF && i + 1 < B.size()) {
      if (B[i + 1] == 0x00) {
        B[out++] = 0xFF;
        i += 2;
        continue;
      }
      if (B[i + 1] == 0xD9) break;
    }
    B[out++] = b;
    ++i;
  }
  B.resize(out);
}

// The byte after the next restart marker at or after Pos, or 0 when there is none.
size_t NextRestart(const std::vector<uint8_t>& D, size_t Pos) {
  for (size_t i = Pos; i + 1 < D.size(); ++i)
    if (D[i] == 0xFF && D[i + 1] >= 0xD0 && D[i + 1] <= 0xD7) return i + 2;
  return 0;
}

}  // namespace

bool DecodeLosslessJpeg(TStream* Stream, uint16_t* Out16, uint8_t* Out8, int64_t OutSamples,
                        TProgressRec& Progress, int32_t Length) {
  if (Length < 32 || Stream == nullptr) return false;
  // What the stream holds of the fragment, never more than it has.
  const int64_t remaining = std::max<int64_t>(0, Stream->Size() - Stream->Position());
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(Length, remaining)));
  buf.resize(size_t(Stream->Read(buf.data(), int64_t(buf.size()))));

  TFrame F;
  const size_t dataPos = ParseHeader(buf, F);
  if (dataPos == 0 || !F.HaveFrame || !F.Lossless || F.Tables.empty()) return false;
  if (F.P < 2 || F.P > 16 || F.Pt >= F.P || F.X < 1 || F.Y < 1 || F.Nf < 1 || F.Nf > 4 || F.Ns != F.Nf)
    return false;
  const int64_t rowSamples = int64_t(F.X) * F.Nf;
  const int64_t samples = rowSamples * F.Y;
  if (samples > OutSamples) return false;
  const bool eight = F.P == 8;
  if ((eight && Out8 == nullptr) || (!eight && Out16 == nullptr)) return false;
  // Restarts fall on row boundaries: an interval is a whole number of rows.
  if (F.Ri > 0 && F.Ri % F.X != 0) return false;
  const int32_t rowsPerInterval = F.Ri > 0 ? F.Ri / F.X : 0;

  if (eight)
    std::memset(Out8, 0, size_t(samples));
  else
    std::memset(Out16, 0, size_t(samples) * sizeof(uint16_t));

  std::array<const THuffTable*, 4> table{};
  for (int32_t c = 0; c < F.Nf; ++c)
    table[size_t(c)] = &F.Tables[int32_t(F.Tables.size()) < F.Nf ? 0 : size_t(c)];

  CompactEntropyData(buf, dataPos);
  TBitReader reader(buf);
  reader.Restart(dataPos);

  const int32_t initial = 1 << (F.P - F.Pt - 1);
  const uint32_t outMask = eight ? 0xFFu : 0xFFFFu;
  std::vector<int32_t> prev(size_t(rowSamples), 0), cur(size_t(rowSamples), 0);
  int32_t lastPercent = -1;
  const int32_t nf = F.Nf;

  for (int32_t y = 0; y < F.Y; ++y) {
    bool firstLine = y == 0;
    if (rowsPerInterval > 0 && y > 0 && y % rowsPerInterval == 0) {
      const size_t next = NextRestart(buf, std::min(reader.NextBytePos(), buf.size()));
      if (next == 0) return false;
      reader.Restart(next);
      firstLine = true;
    }
    for (int32_t x = 0; x < F.X; ++x) {
      for (int32_t c = 0; c < nf; ++c) {
        const size_t i = size_t(x) * size_t(nf) + size_t(c);
        int32_t pred;
        if (firstLine)
          pred = x == 0 ? initial : cur[i - size_t(nf)];
        else if (x == 0)
          pred = prev[i];
        else
          pred = Predict(F.Ss, cur[i - size_t(nf)], prev[i], prev[i - size_t(nf)]);
        const int32_t diff = DecodeDifference(reader, *table[size_t(c)]);
        if (reader.Exhausted()) return false;
        const int32_t v = (pred + diff) & 0xFFFF;
        cur[i] = v;
        const uint32_t out = (uint32_t(v) << F.Pt) & outMask;
        const int64_t o = int64_t(y) * rowSamples + int64_t(i);
        if (eight)
          Out8[o] = uint8_t(out);
        else
          Out16[o] = uint16_t(out);
      }
    }
    std::swap(prev, cur);
    const int64_t at = std::min<int64_t>(int64_t(reader.NextBytePos()), Length);
    VXReportProgress(Progress, int32_t(at * 100 / Length), lastPercent);
  }
  return true;
}
