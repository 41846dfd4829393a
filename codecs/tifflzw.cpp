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

struct TDecoder {
  const uint8_t* data = nullptr;
  int64_t size = 0;
  int64_t bitPos = 0;
  int32_t width = 9;
  int32_t next = kFirstFree;
  int32_t prev = -1;
  int32_t lineSize = 0;
  std::vector<uint8_t> out;  // at least lineSize + 1 bytes, grows by 1024
  int64_t count = 0;         // bytes of the row being built (surplus included)
  bool error = false;
  int32_t fillOrder = 1;
  // The string of each code as prefix code + last byte, with its length
  // and first byte.
  int32_t prefix[kTableSize];
  uint8_t suffix[kTableSize];
  uint8_t first[kTableSize];
  int32_t length[kTableSize];
};

uint8_t* DecodeRow(TDecoder& d) {
  if (d.error) return nullptr;
  if (d.count > d.lineSize) {
    std::memmove(d.out.data(), d.out.data() + d.lineSize, size_t(d.count - d.lineSize));
    d.count -= d.lineSize;
  } else {
    d.count = 0;
  }
  // The loop works on local copies of the state (stores of output bytes
  // would otherwise make the compiler reload every field), written back at
  // the end.
  const uint8_t* const data = d.data;
  const int64_t size = d.size;
  const uint8_t* const reverse = d.fillOrder == 2 ? VXReverseBitsTable : nullptr;
  int64_t bitPos = d.bitPos;
  int32_t width = d.width, next = d.next, prev = d.prev;
  int64_t count = d.count;
  const int64_t lineSize = d.lineSize;
  uint8_t* out = d.out.data();
  int64_t capacity = int64_t(d.out.size());
  int32_t* const prefix = d.prefix;
  uint8_t* const suffix = d.suffix;
  uint8_t* const firstByte = d.first;
  int32_t* const length = d.length;
  bool failed = false;

  auto readCode = [&]() -> int32_t {
    if (bitPos + width > size * 8) return kEOI;
    const int64_t byte = bitPos >> 3;
    uint32_t v = 0;
    if (byte + 4 <= size) {
      const uint8_t* p = data + byte;
      v = reverse ? (uint32_t(reverse[p[0]]) << 24) | (uint32_t(reverse[p[1]]) << 16) |
                        (uint32_t(reverse[p[2]]) << 8) | uint32_t(reverse[p[3]])
                  : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    } else {
      for (int k = 0; k < 4; ++k) {
        const uint8_t b = byte + k < size ? data[byte + k] : 0;
        v = (v << 8) | (reverse ? reverse[b] : b);
      }
    }
    v <<= (bitPos & 7);
    bitPos += width;
    return int32_t(v >> (32 - width));
  };
  // Appends the string of code c, built backwards from the table.
  auto output = [&](int32_t c) {
    const int64_t len = length[c];
    if (count + len > capacity) {
      int64_t grown = capacity;
      while (grown < count + len) grown += 1024;
      d.out.resize(size_t(grown), 0);
      out = d.out.data();
      capacity = grown;
    }
    uint8_t* o = out + count;
    if (c < 256) {
      *o = uint8_t(c);
    } else {
      for (int32_t k = c, i = int32_t(len) - 1; i >= 0; --i) {
        o[i] = suffix[k];
        k = prefix[k];
      }
    }
    count += len;
  };
  // Adds prev's string plus First.
  auto addEntry = [&](uint8_t First) -> bool {
    if (next >= kTableSize) return false;
    prefix[next] = prev;
    suffix[next] = First;
    firstByte[next] = firstByte[prev];
    length[next] = length[prev] + 1;
    ++next;
    if (next == 511) width = 10;
    if (next == 1023) width = 11;
    if (next == 2047) width = 12;
    return next <= 4096;
  };

  while (count < lineSize) {
    const int32_t c = readCode();
    if (c == kClear) {
      next = kFirstFree;
      width = 9;
      const int32_t n = readCode();
      if (n == kEOI) break;
      if (n >= next) {
        failed = true;
        break;
      }
      output(n);
      prev = n;
    } else if (c == kEOI) {
      break;
    } else if (c < next) {
      output(c);
      if (prev >= 0 && !addEntry(firstByte[c])) {
        failed = true;
        break;
      }
      prev = c;
    } else if (c == next && prev >= 0) {
      if (!addEntry(firstByte[prev])) {
        failed = true;
        break;
      }
      output(c);
      prev = c;
    } else {
      break;  // a code beyond the table ends the row
    }
  }
  d.bitPos = bitPos;
  d.width = width;
  d.next = next;
  d.prev = prev;
  d.count = count;
  if (failed) {
    d.error = true;
    return nullptr;
  }
  return d.out.data();
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
    d->data = CompBuf;
    d->size = std::max<int64_t>(CompSize, 0);
    d->lineSize = LineSize;
    d->fillOrder = FillOrder;
    d->out.assign(size_t(LineSize) + 1, 0);
    for (int32_t c = 0; c < 256; ++c) {
      d->prefix[c] = -1;
      d->suffix[c] = uint8_t(c);
      d->first[c] = uint8_t(c);
      d->length[c] = 1;
    }
    for (int32_t c = 256; c < kTableSize; ++c) {
      d->prefix[c] = -1;
      d->suffix[c] = 0;
      d->first[c] = 0;
      d->length[c] = 0;
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
