#include "core/bitrows.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <utility>

void VXCopyBitRun(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t SourceBytes, int32_t Count,
                  int32_t SourceBit) {
  if (Count < 1 || DestBit < 0 || SourceBit < 0) return;
  const int64_t srcLen = Source != nullptr ? std::max<int64_t>(SourceBytes, 0) : 0;
  auto srcByte = [&](int64_t i) -> unsigned { return i < srcLen ? Source[i] : 0u; };
  int64_t d = DestBit, s = SourceBit, left = Count;

  // Both offsets on byte boundaries: whole bytes move at once.
  if ((d & 7) == 0 && (s & 7) == 0) {
    const int64_t whole = std::min(left >> 3, std::max<int64_t>(srcLen - (s >> 3), 0));
    if (whole > 0) {
      std::memmove(Dest + (d >> 3), Source + (s >> 3), size_t(whole));
      d += whole * 8;
      s += whole * 8;
      left -= whole * 8;
    }
  }
  // One destination byte a step: the first may be partial, then whole bytes,
  // then the partial last one.
  while (left > 0) {
    const int dsh = int(d & 7);
    const int n = int(std::min<int64_t>(8 - dsh, left));
    const unsigned word = (srcByte(s >> 3) << 8) | srcByte((s >> 3) + 1);
    const uint8_t bits = uint8_t(word >> (8 - (s & 7)));  // the 8 source bits from s
    const uint8_t mask = uint8_t(uint8_t(0xFFu << (8 - n)) >> dsh);
    uint8_t& out = Dest[d >> 3];
    out = uint8_t((out & ~mask) | ((bits >> dsh) & mask));
    d += n;
    s += n;
    left -= n;
  }
}

void VXCopyBitRunBitwise(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t Count, int32_t SourceBit) {
  if (Count < 1 || DestBit < 0 || SourceBit < 0) return;
  for (int64_t i = 0; i < Count; ++i) {
    const int64_t s = int64_t(SourceBit) + i, d = int64_t(DestBit) + i;
    const bool bit = (Source[s >> 3] & (0x80u >> (s & 7))) != 0;
    if (bit)
      Dest[d >> 3] = uint8_t(Dest[d >> 3] | (0x80u >> (d & 7)));
    else
      Dest[d >> 3] = uint8_t(Dest[d >> 3] & ~(0x80u >> (d & 7)));
  }
}

int32_t VXGetRowBit(const void* Row, int32_t i) {
  return static_cast<const uint8_t*>(Row)[i >> 3] & (0x80u >> (i & 7));
}

void VXSetRowBit(void* Row, int32_t i, bool Value) {
  uint8_t& b = static_cast<uint8_t*>(Row)[i >> 3];
  const uint8_t m = uint8_t(0x80u >> (i & 7));
  b = Value ? uint8_t(b | m) : uint8_t(b & ~m);
}

namespace {

// Five pixels a step, while a whole 16-byte load stays inside the row. The
// sixteenth byte is stored back as it was read, so Dest may be Source.
__attribute__((target("ssse3"))) int32_t CopySwapRBSsse3(uint8_t* d, const uint8_t* s, int32_t n) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  int32_t i = 0;
  for (; i + 6 <= n; i += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + size_t(i) * 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + size_t(i) * 3), _mm_shuffle_epi8(v, order));
  }
  return i;
}

}  // namespace

void VXCopySwapRBRow(void* Dest, const void* Source, int32_t n) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  auto* d = static_cast<uint8_t*>(Dest);
  const auto* s = static_cast<const uint8_t*>(Source);
  int64_t i = ssse3 && n > 0 ? CopySwapRBSsse3(d, s, n) : 0;
  for (d += i * 3, s += i * 3; i < n; ++i, d += 3, s += 3) {
    const uint8_t b0 = s[0], b1 = s[1], b2 = s[2];  // Dest may be Source
    d[0] = b2;
    d[1] = b1;
    d[2] = b0;
  }
}

void VXSwapRBRow(void* Row, int32_t n) { VXCopySwapRBRow(Row, Row, n); }

void VXSwapRBRow48(void* Row, int32_t n) {
  auto* p = static_cast<uint8_t*>(Row);
  for (int64_t i = 0; i < n; ++i, p += 6) {
    std::swap(p[0], p[4]);
    std::swap(p[1], p[5]);
  }
}

void VXSwapRBPalette(TRGB* Palette, int32_t n) {
  for (int32_t i = 0; i < n; ++i) std::swap(Palette[i].r, Palette[i].b);
}
