#include "core/rowdepth.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/quantizer.h"

int32_t VXNearestPaletteIndex(const TRGB* Palette, int32_t Count, TRGB Colour) {
  int32_t best = 1000, index = 0;
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t d = std::abs(int32_t(Palette[i].r) - Colour.r) + std::abs(int32_t(Palette[i].g) - Colour.g) +
                      std::abs(int32_t(Palette[i].b) - Colour.b);
    if (d < best) {
      best = d;
      index = i;
    }
  }
  return index;
}

namespace {

int32_t DestRowLength(int32_t Width, int32_t DstBits) {
  switch (DstBits) {
    case 1: return int32_t((int64_t(Width) + 7) / 8);
    case 4: return int32_t((int64_t(Width) + 1) / 2);
    case 8: return Width;
    case 24: return int32_t(std::min<int64_t>(int64_t(Width) * 3, INT32_MAX));
    default: return 0;
  }
}

inline unsigned Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }
inline unsigned Nibble(const uint8_t* row, int32_t x) { return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4; }
inline void OrNibble(uint8_t* row, int32_t x, unsigned v) {
  row[x >> 1] = uint8_t(row[x >> 1] | ((x & 1) ? (v & 0x0Fu) : (v & 0x0Fu) << 4));
}

}  // namespace

int32_t VXConvertRowBitDepth(const void* Src, void* Dst, int32_t SrcBits, TVXQuantizer* Quantizer, const TRGB* Palette,
                             int32_t PaletteCount, int32_t Width, int32_t DstBits) {
  Width = std::max(Width, 0);
  const int32_t result = DestRowLength(Width, DstBits);
  const auto* s = static_cast<const uint8_t*>(Src);
  auto* d = static_cast<uint8_t*>(Dst);

  // A local copy of the palette, black past the caller's entries.
  std::vector<TRGB> pal(256, TRGB{0, 0, 0});
  if (Palette != nullptr) std::copy_n(Palette, std::clamp(PaletteCount, 0, 256), pal.begin());
  auto put24 = [&](int32_t x, unsigned index) { std::memcpy(d + size_t(x) * 3, &pal[index], 3); };
  auto indexOf = [&](int32_t x) -> unsigned {
    if (Quantizer == nullptr) return 0;
    TRGB c;
    std::memcpy(&c, s + size_t(x) * 3, 3);
    return unsigned(Quantizer->GetRGBIndex(c)) & 0xFFu;
  };

  switch (SrcBits * 100 + DstBits) {
    case 101: std::memcpy(d, s, size_t(result)); break;
    case 104:
      for (int32_t x = 0; x < Width; ++x) OrNibble(d, x, Bit(s, x));
      break;
    case 108:
      for (int32_t x = 0; x < Width; ++x) d[x] = uint8_t(Bit(s, x));
      break;
    case 124:
      for (int32_t x = 0; x < Width; ++x) put24(x, Bit(s, x));
      break;
    case 404: std::memcpy(d, s, size_t(result)); break;
    case 408:
      for (int32_t x = 0; x < Width; ++x) d[x] = uint8_t(Nibble(s, x));
      break;
    case 424:
      for (int32_t x = 0; x < Width; ++x) put24(x, Nibble(s, x));
      break;
    case 801:
      std::memset(d, 0, size_t(DestRowLength(Width, 1)));
      for (int32_t x = 0; x < Width; ++x)
        if (s[x] == 1) d[x >> 3] = uint8_t(d[x >> 3] | (0x80u >> (x & 7)));
      break;
    case 808: std::memcpy(d, s, size_t(Width)); break;
    case 824:
      for (int32_t x = 0; x < Width; ++x) put24(x, s[x]);
      break;
    case 2404:
      for (int32_t x = 0; x < Width; ++x) OrNibble(d, x, indexOf(x));
      break;
    case 2408:
      for (int32_t x = 0; x < Width; ++x) d[x] = uint8_t(indexOf(x));
      break;
    case 2424: std::memcpy(d, s, size_t(Width) * 3); break;
    case 3224:
      for (int32_t x = 0; x < Width; ++x) std::memcpy(d + size_t(x) * 3, s + size_t(x) * 4, 3);
      break;
    default: break;
  }
  return result;
}
