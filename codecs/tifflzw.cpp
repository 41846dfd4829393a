#include "codecs/tifflzw.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/pixels.h"
#include "core/streams.h"

namespace {

constexpr int32_t kClear = 256;
constexpr int32_t kEOI = 257;
constexpr int32_t kFirstFree = 258;
constexpr int32_t kTableSize = 4097;

// The decoder keeps every string it has output since the last Clear in one
// buffer: a table entry is the place and length of its string there (the
// previous code's string followed by the first byte of the next one, which
// is where they already stand), so a code is output by copying bytes that
// are already decoded, without walking a chain of prefixes.
struct TDecoder {
  const uint8_t* data = nullptr;
  int64_t size = 0;
  std::vector<uint8_t> reversed;  // FillOrder 2: the data with each byte reversed
  // Bit reader: the next bits at the top of acc, nbits of them valid; pos is
  // the next byte to load and bitPos the bits consumed.
  uint64_t acc = 0;
  int32_t nbits = 0;
  int64_t pos = 0;
  int64_t bitPos = 0;
  int32_t width = 9;
  int32_t next = kFirstFree;
  int32_t prev = -1;
  int64_t prevStart = 0;  // where prev's string stands in out
  int32_t lineSize = 0;
  std::vector<uint8_t> out;
  int64_t rowStart = -1;  // the row handed out last
  int64_t count = 0;      // bytes decoded into out
  bool error = false;
  uint32_t start[kTableSize];
  uint16_t length[kTableSize];
};

// Bytes of slack behind the decoded data: strings are copied in 16-byte steps.
constexpr int64_t kSlack = 32;
// The 256 one-byte strings stand in front of the decoded data, each at its
// own value.
constexpr int64_t kDataStart = 256;
// Decoded bytes before the current row are dropped at a Clear once there
// are this many.
constexpr int64_t kCompactAt = 1 << 18;

inline uint64_t LoadBE64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

// Copies n bytes of an earlier string at src (which ends at or before dst)
// to dst, in 16-byte steps that may write up to 15 bytes past dst + n.
inline void CopyString(uint8_t* dst, const uint8_t* src, int64_t n) {
  uint8_t t[16];
  std::memcpy(t, src, 16);
  std::memcpy(dst, t, 16);
  for (int64_t k = 16; k < n; k += 16) std::memcpy(dst + k, src + k, 16);
}

uint8_t* DecodeRow(TDecoder& d) {
  if (d.error) return nullptr;
  // The next row starts where the last one ended; a row cut short by the
  // data ended there too, its missing bytes zero.
  const int64_t lineSize = d.lineSize;
  int64_t rowStart = d.rowStart < 0 ? kDataStart : d.rowStart + lineSize;
  // The loop works on local copies of the state (stores of output bytes
  // would otherwise make the compiler reload every field), written back at
  // the end.
  const uint8_t* const data = d.data;
  const int64_t size = d.size;
  const int64_t totalBits = size * 8;
  uint64_t acc = d.acc;
  int32_t nbits = d.nbits;
  int64_t pos = d.pos;
  int64_t bitPos = d.bitPos;
  int32_t width = d.width, next = d.next, prev = d.prev;
  int64_t prevStart = d.prevStart;
  int64_t count = d.count;
  uint8_t* out = d.out.data();
  int64_t capacity = int64_t(d.out.size()) - kSlack;
  uint32_t* const start = d.start;
  uint16_t* const length = d.length;
  bool failed = false;
  int64_t rowEnd = rowStart + lineSize;

  auto readCode = [&]() -> int32_t {
    if (bitPos + width > totalBits) return kEOI;
    if (nbits < width) {
      if (pos + 8 <= size) {
        acc |= LoadBE64(data + pos) >> nbits;
        pos += (63 - nbits) >> 3;
        nbits |= 56;
      } else {
        while (nbits <= 56) {
          acc |= uint64_t(pos < size ? data[pos] : 0) << (56 - nbits);
          ++pos;
          nbits += 8;
        }
      }
    }
    const int32_t code = int32_t(acc >> (64 - width));
    acc <<= width;
    nbits -= width;
    bitPos += width;
    return code;
  };
  // Room for n more bytes (and the copy's slack).
  auto reserve = [&](int64_t n) {
    if (count + n <= capacity) return;
    int64_t grown = std::max<int64_t>(capacity * 2, count + n + 4096);
    d.out.resize(size_t(grown + kSlack), 0);
    out = d.out.data();
    capacity = grown;
  };
  // Adds prev's string plus the byte after it (now at prevStart + its length).
  auto addEntry = [&]() -> bool {
    if (next >= kTableSize) return false;
    start[next] = uint32_t(prevStart);
    length[next] = uint16_t(length[prev] + 1);
    ++next;
    if (next == 511) width = 10;
    if (next == 1023) width = 11;
    if (next == 2047) width = 12;
    return next <= 4096;
  };

  while (count < rowEnd) {
    const int32_t c = readCode();
    if (c < next && uint32_t(c - kClear) > 1) {
      // A byte or a string of the table (bytes stand at their own value in
      // front of the decoded data).
      const int64_t len = length[c];
      reserve(len);
      CopyString(out + count, out + start[c], len);
      if (prev >= 0 && !addEntry()) {
        failed = true;
        break;
      }
      prev = c;
      prevStart = count;
      count += len;
    } else if (c == kClear) {
      next = kFirstFree;
      width = 9;
      // No entry refers to what lies before the row any more.
      if (rowStart - kDataStart >= kCompactAt) {
        const int64_t shift = rowStart - kDataStart;
        std::memmove(out + kDataStart, out + rowStart, size_t(count - rowStart));
        count -= shift;
        rowEnd -= shift;
        rowStart = kDataStart;
      }
      const int32_t n = readCode();
      if (n == kEOI) break;
      if (n >= next) {
        failed = true;
        break;
      }
      reserve(1);
      out[count] = uint8_t(n);
      prev = n;
      prevStart = count++;
    } else if (c == kEOI) {
      break;
    } else if (c == next && prev >= 0) {
      // prev's string and its own first byte.
      const int64_t prevLen = length[prev];
      reserve(prevLen + 1);
      CopyString(out + count, out + prevStart, prevLen);
      out[count + prevLen] = out[prevStart];
      if (!addEntry()) {
        failed = true;
        break;
      }
      prev = c;
      prevStart = count;
      count += prevLen + 1;
    } else {
      break;  // a code beyond the table ends the row
    }
  }
  if (!failed && count < rowEnd) {
    reserve(rowEnd - count);
    std::memset(out + count, 0, size_t(rowEnd - count));
    count = rowEnd;
  }
  d.acc = acc;
  d.nbits = nbits;
  d.pos = pos;
  d.bitPos = bitPos;
  d.width = width;
  d.next = next;
  d.prev = prev;
  d.prevStart = prevStart;
  d.count = count;
  d.rowStart = rowStart;
  if (failed) {
    d.error = true;
    return nullptr;
  }
  return out + rowStart;
}

// ---------------------------------------------------------------------------

constexpr int32_t kHashSize = 5003;

struct TEncoder {
  TStream* stream = nullptr;
  int32_t initBits = 9;
  int32_t bits = 9;
  int32_t maxCode = 511;
  int32_t next = kFirstFree;
  uint32_t acc = 0;  // pending bits at the top
  int32_t accBits = 0;
  int32_t prefix = -1;
  int32_t hashKey[kHashSize];
  uint16_t hashCode[kHashSize];
  int32_t hashShift = 4;
  bool clearFlag = false;
  uint8_t buf[254];
  int32_t bufLen = 0;

  void ClearHash() { std::fill(std::begin(hashKey), std::end(hashKey), -1); }

  void FlushBuffer() {
    if (bufLen > 0) stream->Write(buf, bufLen);
    bufLen = 0;
  }
  void PutByte(uint8_t b) {
    buf[bufLen++] = b;
    if (bufLen == 254) FlushBuffer();
  }

  void WriteCode(int32_t code) {
    acc |= uint32_t(code) << (32 - bits - accBits);
    accBits += bits;
    while (accBits >= 8) {
      PutByte(uint8_t(acc >> 24));
      acc <<= 8;
      accBits -= 8;
    }
    if (next >= maxCode || clearFlag) {
      if (clearFlag) {
        bits = initBits;
        maxCode = 511;
        clearFlag = false;
      } else {
        ++bits;
        maxCode = bits == 12 ? 4095 : (1 << bits) - 1;
      }
    }
    if (code == kEOI) {
      if (accBits > 0) PutByte(uint8_t(acc >> 24));
      acc = 0;
      accBits = 0;
      FlushBuffer();
    }
  }

  void Encode(const uint8_t* in, int32_t len) {
    int32_t i0 = 0;
    if (prefix < 0) {
      if (len <= 0) return;
      prefix = in[0];
      i0 = 1;
    }
    for (int32_t k = i0; k < len; ++k) {
      int32_t b = in[k];
      int32_t key = (b << 12) + prefix;
      int32_t i = (b << hashShift) ^ prefix;
      if (hashKey[i] == key) {
        prefix = hashCode[i];
        continue;
      }
      bool found = false;
      if (hashKey[i] >= 0) {
        int32_t step = i == 0 ? 1 : kHashSize - i;
        for (;;) {
          i -= step;
          if (i < 0) i += kHashSize;
          if (hashKey[i] == key) {
            prefix = hashCode[i];
            found = true;
            break;
          }
          if (hashKey[i] <= 0) break;
        }
      }
      if (found) continue;
      WriteCode(prefix);
      prefix = b;
      if (next >= 4094) {
        ClearHash();
        next = kFirstFree;
        clearFlag = true;
        WriteCode(kClear);
      } else {
        hashCode[i] = uint16_t(next++);
        hashKey[i] = key;
      }
    }
  }
};

}  // namespace

uint8_t* VXTIFFLZWDecode(uint8_t* CompBuf, int32_t LineSize, void*& Id, int32_t FillOrder, int64_t CompSize) {
  if (Id && !CompBuf) {
    delete static_cast<TDecoder*>(Id);
    Id = nullptr;
    return nullptr;
  }
  if (!Id) {
    if (!CompBuf || LineSize < 0) return nullptr;
    auto* d = new TDecoder();
    d->size = std::max<int64_t>(CompSize, 0);
    d->data = CompBuf;
    if (FillOrder == 2) {
      d->reversed.resize(size_t(d->size));
      for (int64_t i = 0; i < d->size; ++i) d->reversed[size_t(i)] = VXReverseBitsTable[CompBuf[i]];
      d->data = d->reversed.data();
    }
    d->lineSize = LineSize;
    d->out.assign(size_t(kDataStart + LineSize + 4096 + kSlack), 0);
    d->count = kDataStart;
    for (int32_t c = 0; c < 256; ++c) {
      d->out[size_t(c)] = uint8_t(c);
      d->start[c] = uint32_t(c);
      d->length[c] = 1;
    }
    Id = d;
  }
  return DecodeRow(*static_cast<TDecoder*>(Id));
}

void VXTIFFLZWEncode(uint8_t* indata, int32_t inputlen, TStream* outstream, void*& id) {
  if (!id) {
    if (!indata) return;
    auto* e = new TEncoder();
    e->stream = outstream;
    e->ClearHash();
    id = e;
    e->WriteCode(kClear);
    e->Encode(indata, inputlen);
    return;
  }
  auto* e = static_cast<TEncoder*>(id);
  if (indata) {
    e->Encode(indata, inputlen);
    return;
  }
  if (e->prefix >= 0) e->WriteCode(e->prefix);
  e->WriteCode(kEOI);
  delete e;
  id = nullptr;
}
