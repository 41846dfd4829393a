// Pixel formats, row layout and the bit and byte helpers.

#include "core/pixels.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/settings.h"
#include "platform/win_syscolors.h"

const TVXPixelFormat VXPixelFormatFallback[VXPixelFormatCount][7] = {
    /* vxnull   */ {vxnull, vxnull, vxnull, vxnull, vxnull, vxnull, vxnull},
    /* vx1g     */ {vx8g, vx16g, vx32f, vx24RGB, vxnull, vxnull, vxnull},
    /* vx8p     */ {vx24RGB, vxCMYK, vx48RGB, vxCIELab, vxnull, vxnull, vxnull},
    /* vx8g     */ {vx16g, vx32f, vx24RGB, vxCMYK, vx48RGB, vxnull, vxnull},
    /* vx16g    */ {vx32f, vx8g, vx48RGB, vx24RGB, vxCMYK, vxnull, vxnull},
    /* vx24RGB  */ {vxCMYK, vxCIELab, vx48RGB, vx8p, vx16g, vx8g, vxnull},
    /* vx32f    */ {vx16g, vx8g, vx24RGB, vx48RGB, vxCIELab, vxnull, vxnull},
    /* vxCMYK   */ {vx24RGB, vx48RGB, vxCIELab, vx8g, vxnull, vxnull, vxnull},
    /* vx48RGB  */ {vx24RGB, vxCMYK, vxCIELab, vx16g, vxnull, vxnull, vxnull},
    /* vxCIELab */ {vx24RGB, vxCMYK, vx48RGB, vx8g, vxnull, vxnull, vxnull},
    /* vx32RGB  */ {vx24RGB, vxCMYK, vx48RGB, vx8g, vxnull, vxnull, vxnull},
};

int64_t VXBitmapRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Alignment) {
  if (Width <= 0 || BitsPerPixel <= 0 || Alignment < 8) return 0;
  const int64_t bits = int64_t(Width) * int64_t(BitsPerPixel);
  if (Alignment == 32) return ((bits + 31) >> 5) * 4;
  return (bits + Alignment - 1) / Alignment * (Alignment / 8);
}

int32_t VXVclPixelFormatBits(TPixelFormat Format) {
  switch (Format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
  }
}

TVXPixelFormat VXVclToPixelFormat(TPixelFormat Format) {
  switch (Format) {
    case pf1bit: return vx1g;
    case pf4bit:
    case pf8bit: return vx8p;
    default: return vx24RGB;
  }
}

int64_t VXVclRowLen(int32_t Width, TPixelFormat Format) {
  return VXBitmapRowLen(Width, VXVclPixelFormatBits(Format), 32);
}

uint32_t VXSwapWord(uint32_t Value) {
  return (Value & 0xFFFF0000u) | ((Value & 0xFFu) << 8) | ((Value >> 8) & 0xFFu);
}

uint32_t VXSwapDWord(uint32_t Value) { return __builtin_bswap32(Value); }

int64_t VXSwapInt64(int64_t Value) { return int64_t(__builtin_bswap64(uint64_t(Value))); }

void VXSwapWords(void* p, int32_t n) {
  uint8_t* b = static_cast<uint8_t*>(p);
  for (int32_t i = 0; i < n; ++i, b += 2) {
    const uint8_t t = b[0];
    b[0] = b[1];
    b[1] = t;
  }
}

void VXSwapDWords(void* p, int32_t n) {
  uint8_t* b = static_cast<uint8_t*>(p);
  for (int32_t i = 0; i < n; ++i, b += 4) {
    uint32_t v;
    std::memcpy(&v, b, 4);
    v = __builtin_bswap32(v);
    std::memcpy(b, &v, 4);
  }
}

namespace {
constexpr uint8_t ReverseBits(uint8_t v) {
  uint8_t r = 0;
  for (int i = 0; i < 8; ++i)
    if (v & (1u << i)) r = uint8_t(r | (0x80u >> i));
  return r;
}

struct ReverseTable {
  uint8_t t[256];
  constexpr ReverseTable() : t() {
    for (int i = 0; i < 256; ++i) t[i] = ReverseBits(uint8_t(i));
  }
};
constexpr ReverseTable kReverse;
}  // namespace

const uint8_t VXReverseBitsTable[256] = {
#define R(i) kReverse.t[i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

void VXReverseByteBits(uint8_t& b) { b = VXReverseBitsTable[b]; }

TRGB VXColorToTRGB(int32_t color) {
  const uint32_t c = ColorToRGB(color);
  return TRGB{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
}

int32_t VXTRGBToColor(TRGB rgb) { return int32_t(uint32_t(rgb.r) | (uint32_t(rgb.g) << 8) | (uint32_t(rgb.b) << 16)); }

int32_t VXRGBToGray(TRGB rgb) {
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  return (int32_t(rgb.r) * s->RedToGrayCoef() + int32_t(rgb.g) * s->GreenToGrayCoef() +
          int32_t(rgb.b) * s->BlueToGrayCoef()) /
         100;
}

void VXReverseDWordBits(uint32_t& d) {
  uint32_t v = __builtin_bswap32(d);
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  d = v;
}

int32_t VXBitFieldWidth(uint32_t Mask) {
  if (Mask == 0) return 0;
  while ((Mask & 1u) == 0) Mask >>= 1;
  int32_t n = 0;
  while (Mask & 1u) {
    ++n;
    Mask >>= 1;
  }
  return n;
}

int32_t VXBitsForColorCount(int32_t N) {
  if (N <= 0) return -1;
  const uint32_t u = uint32_t(N);
  const int32_t high = 31 - __builtin_clz(u);
  return (u & (u - 1)) == 0 ? high : high + 1;
}

namespace {
long double IntPower(long double x, uint64_t n) {
  long double result = 1.0L;
  while (n) {
    if (n & 1u) result *= x;
    x *= x;
    n >>= 1;
  }
  return result;
}
}  // namespace

long double VXPower(double Base, double Exponent) {
  const long double x = Base;
  const double y = Exponent;
  if (std::fabs(y) < 2147483647.0 && y == std::trunc(y)) {
    const int64_t n = int64_t(y);
    if (x == 0.0L) return n == 0 ? 1.0L : 0.0L;
    if (n == 0) return 1.0L;
    if (n == 1) return x;
    if (n == 2) return x * x;
    if (n > 2) return IntPower(x, uint64_t(n));
    if (n == -1) return 1.0L / x;
    if (n == -2) return 1.0L / (x * x);
    return 1.0L / IntPower(x, uint64_t(-n));
  }
  if (x == 0.0L && std::fabs(y) >= 2147483647.0) return 0.0L;
  if (x < 0.0L) return std::numeric_limits<long double>::quiet_NaN();
  return std::exp(static_cast<long double>(y) * std::log(x));
}
