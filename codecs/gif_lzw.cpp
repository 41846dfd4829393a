// The LZW coder of GIF image data: codes packed least significant bit first,
// the width growing when the next free code passes the current maximum (no
// early change), 12-bit codes at most.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/gif.h"
#include "core/streams.h"

namespace {

constexpr int32_t kMaxCodes = 4096;
constexpr int32_t kMaxWidth = 12;

// The pixel cursor shared by both directions: rows in order, or the four
// interlace passes (0, 8, 16, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...).
class TPixelCursor {
 public:
  TPixelCursor(int32_t Height, int32_t Width, bool Interlaced)
      : fHeight(Height), fWidth(Width), fInterlaced(Interlaced), fDone(Height <= 0 || Width <= 0) {}
  bool Done() const { return fDone; }
  size_t Offset() const { return size_t(fRow) * size_t(fWidth) + size_t(fCol); }
  void Advance() {
    if (fDone) return;
    if (++fCol < fWidth) return;
    fCol = 0;
    if (!fInterlaced) {
      if (++fRow >= fHeight) fDone = true;
      return;
    }
    static constexpr int32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    fRow += kStep[fPass];
    while (fRow >= fHeight) {
      if (++fPass >= 4) {
        fDone = true;
        return;
      }
      fRow = kStart[fPass];
    }
  }

 private:
  int32_t fHeight, fWidth;
  bool fInterlaced;
  bool fDone;
  int32_t fRow = 0, fCol = 0, fPass = 0;
};

}  // namespace

void VXGIFLZWDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* FData) {
  const int64_t p0 = Stream->Position();
  auto fail = [&] { Stream->SetPosition(p0); };
  uint8_t s = 0;
  if (Stream->Read(&s, 1) != 1 || s < 2 || s > 9) {
    fail();
    return;
  }
  // The whole data chain of the frame.
  std::vector<uint8_t> data;
  for (;;) {
    uint8_t n = 0;
    if (Stream->Read(&n, 1) != 1 || n == 0) break;
    const size_t at = data.size();
    data.resize(at + n);
    const int64_t got = std::max<int64_t>(0, Stream->Read(data.data() + at, n));
    data.resize(at + size_t(got));
    if (got < n) break;
  }
  if (data.empty()) return;

  const uint64_t totalBits = uint64_t(data.size()) * 8;
  uint64_t bitPos = 0;
  auto readCode = [&](int32_t width) {
    uint32_t code = 0;
    for (int32_t i = 0; i < width; ++i, ++bitPos)
      if (bitPos < totalBits && (data[size_t(bitPos >> 3)] >> (bitPos & 7)) & 1) code |= 1u << i;
    return int32_t(code);
  };
  auto dataLeft = [&] { return bitPos < totalBits; };

  TPixelCursor cursor(Height, Width, Interlaced);
  auto put = [&](uint8_t v) {
    if (cursor.Done()) return;
    FData[cursor.Offset()] = v;
    cursor.Advance();
  };

  const int32_t clear = 1 << s, eoi = clear + 1;
  std::vector<uint16_t> prefix(kMaxCodes, 0);
  std::vector<uint8_t> suffix(kMaxCodes, 0), stack(kMaxCodes + 1);
  for (int32_t i = 0; i < clear; ++i) suffix[size_t(i)] = uint8_t(i);
  int32_t width = 0, next = 0, limit = 0, prev = 0;
  bool full = false;

  // Writes the string of Code; returns its first byte.
  auto output = [&](int32_t code) {
    size_t top = 0;
    while (code > eoi && top < stack.size()) {
      stack[top++] = suffix[size_t(code)];
      code = prefix[size_t(code)];
    }
    const uint8_t first = uint8_t(code);
    put(first);
    while (top > 0) put(stack[--top]);
    return first;
  };
  auto firstOf = [&](int32_t code) {
    while (code > eoi) code = prefix[size_t(code)];
    return uint8_t(code);
  };
  auto addEntry = [&](int32_t pre, uint8_t suf) {
    if (full) return;
    prefix[size_t(next)] = uint16_t(pre);
    suffix[size_t(next)] = suf;
    ++next;
    if (next >= limit) {
      if (width < kMaxWidth) {
        ++width;
        limit <<= 1;
      } else {
        // The table stays as it is until the next Clear (a deferred clear).
        full = true;
      }
    }
  };

  bool afterClear = true;  // data that does not start with Clear is read as if it did
  width = s + 1;
  next = eoi + 1;
  limit = 1 << width;
  while (dataLeft()) {
    int32_t code = readCode(width);
    if (code == clear) {
      width = s + 1;
      next = eoi + 1;
      limit = 1 << width;
      full = false;
      afterClear = true;
      continue;
    }
    if (afterClear) {
      afterClear = false;
      if (code == eoi) {
        if (dataLeft()) fail();
        return;
      }
      if (code >= next) code = 0;
      output(code);
      prev = code;
      continue;
    }
    if (code == eoi) return;
    if (code < next) {
      const uint8_t first = output(code);
      addEntry(prev, first);
      prev = code;
    } else if (code == next && !full) {
      addEntry(prev, firstOf(prev));
      output(code);
      prev = code;
    } else {
      fail();
      return;
    }
  }
}

void VXGIFLZWEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* FData,
                    int32_t BitsPerPixel) {
  constexpr int32_t kHashSize = 5003, kHashShift = 4;
  const int32_t bits = std::clamp(BitsPerPixel, 2, 8);
  const uint8_t codeSize = uint8_t(bits);
  Stream->WriteBuffer(&codeSize, 1);

  const int32_t initWidth = bits + 1;
  int32_t width = initWidth;
  int32_t maxCode = (1 << width) - 1;
  const int32_t clear = 1 << bits, eoi = clear + 1;
  int32_t freeCode = clear + 2;
  bool clearFlag = false;
  uint32_t accum = 0;
  int32_t accumBits = 0;
  uint8_t block[256];
  int32_t blockLen = 0;
  std::vector<int32_t> htab(kHashSize, -1);
  std::vector<uint16_t> codetab(kHashSize, 0);

  auto flushBlock = [&] {
    if (blockLen == 0) return;
    const uint8_t n = uint8_t(blockLen);
    Stream->WriteBuffer(&n, 1);
    Stream->WriteBuffer(block, blockLen);
    blockLen = 0;
  };
  auto charOut = [&](uint8_t c) {
    block[blockLen++] = c;
    if (blockLen >= 254) flushBlock();
  };
  auto outCode = [&](int32_t code) {
    accum |= uint32_t(code) << accumBits;
    accumBits += width;
    while (accumBits >= 8) {
      charOut(uint8_t(accum & 0xFF));
      accum >>= 8;
      accumBits -= 8;
    }
    if (freeCode > maxCode || clearFlag) {
      if (clearFlag) {
        width = initWidth;
        maxCode = (1 << width) - 1;
        clearFlag = false;
      } else {
        ++width;
        maxCode = width == kMaxWidth ? kMaxCodes : (1 << width) - 1;
      }
    }
  };

  TPixelCursor cursor(Height, Width, Interlaced);
  // Without pixels the data is Clear and End of Information.
  int32_t ent = 0;
  const bool any = !cursor.Done();
  if (any) {
    ent = FData[cursor.Offset()] & ((1 << bits) - 1);
    cursor.Advance();
  }
  outCode(clear);
  if (any) {
    for (; !cursor.Done(); cursor.Advance()) {
      const int32_t c = FData[cursor.Offset()] & ((1 << bits) - 1);
      const int32_t fcode = (c << kMaxWidth) + ent;
      int32_t i = (c << kHashShift) ^ ent;
      if (htab[size_t(i)] == fcode) {
        ent = codetab[size_t(i)];
        continue;
      }
      bool found = false;
      if (htab[size_t(i)] >= 0) {
        const int32_t disp = i == 0 ? 1 : kHashSize - i;
        do {
          i -= disp;
          if (i < 0) i += kHashSize;
          if (htab[size_t(i)] == fcode) {
            ent = codetab[size_t(i)];
            found = true;
            break;
          }
        } while (htab[size_t(i)] > 0);
      }
      if (found) continue;
      outCode(ent);
      ent = c;
      if (freeCode < kMaxCodes) {
        codetab[size_t(i)] = uint16_t(freeCode++);
        htab[size_t(i)] = fcode;
      } else {
        std::fill(htab.begin(), htab.end(), -1);
        freeCode = clear + 2;
        clearFlag = true;
        outCode(clear);
      }
    }
    outCode(ent);
  }
  outCode(eoi);
  while (accumBits > 0) {
    charOut(uint8_t(accum & 0xFF));
    accum >>= 8;
    accumBits -= 8;
  }
  flushBlock();
  const uint8_t terminator = 0;
  Stream->WriteBuffer(&terminator, 1);
}
