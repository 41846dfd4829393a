#pragma once
// Pixel formats, pixel records, row layout and the small bit and byte
// helpers shared by the bitmap, the codecs and the processing routines.

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "platform/pixelformat.h"

// ---------------------------------------------------------------------------
// Pixel formats

enum TVXPixelFormat : uint8_t {
  vxnull,    // no image
  vx1g,      // 1 bit, most significant bit first, 1 = white
  vx8p,      // 8-bit index into a palette of 256 TRGB
  vx8g,      // 8-bit grey
  vx16g,     // 16-bit grey, little-endian
  vx24RGB,   // TRGB
  vx32f,     // single-precision float grey, 0.0 .. 1.0
  vxCMYK,    // TCMYK
  vx48RGB,   // TRGB48
  vxCIELab,  // TCIELab
  vx32RGB    // TRGBA
};

constexpr int VXPixelFormatCount = 11;

// Bits per pixel and channel count of every format, indexed by the format.
inline constexpr int32_t VXPixelFormatBitCount[VXPixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
inline constexpr int32_t VXPixelFormatChannelCount[VXPixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

// Replacement formats tried in order when a caller does not accept a format
// (remaining places hold vxnull).
extern const TVXPixelFormat VXPixelFormatFallback[VXPixelFormatCount][7];

// A set of pixel formats held in 16 bits, bit n standing for ordinal n.
// The empty set means "every format" to the operations that take a set.
struct TVXPixelFormatSet {
  uint16_t Bits = 0;

  constexpr TVXPixelFormatSet() = default;
  constexpr TVXPixelFormatSet(std::initializer_list<TVXPixelFormat> formats) {
    for (TVXPixelFormat f : formats) Bits |= uint16_t(1u << unsigned(f));
  }
  constexpr bool Contains(TVXPixelFormat f) const { return (Bits >> unsigned(f)) & 1u; }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr void Include(TVXPixelFormat f) { Bits |= uint16_t(1u << unsigned(f)); }
  constexpr void Exclude(TVXPixelFormat f) { Bits &= uint16_t(~(1u << unsigned(f))); }
  constexpr bool operator==(const TVXPixelFormatSet&) const = default;
};

// ---------------------------------------------------------------------------
// Pixel records (packed; all members are bytes or words, so no padding)

struct TRGB {
  uint8_t b, g, r;
  constexpr bool operator==(const TRGB&) const = default;
};

struct TRGBA {
  uint8_t b, g, r, a;
  constexpr bool operator==(const TRGBA&) const = default;
};

struct TRGB48 {
  uint16_t r, g, b;
  constexpr bool operator==(const TRGB48&) const = default;
};

struct TCMYK {
  uint8_t c, m, y, k;
  constexpr bool operator==(const TCMYK&) const = default;
};

struct TCIELab {
  uint8_t l;
  int8_t a, b;
  constexpr bool operator==(const TCIELab&) const = default;
};

static_assert(sizeof(TRGB) == 3 && alignof(TRGB) == 1);
static_assert(sizeof(TRGBA) == 4 && alignof(TRGBA) == 1);
static_assert(sizeof(TRGB48) == 6);
static_assert(sizeof(TCMYK) == 4 && alignof(TCMYK) == 1);
static_assert(sizeof(TCIELab) == 3 && alignof(TCIELab) == 1);

// A vx32f value (0 black .. 1 white) as a byte: Trunc(v * 255) clamped to
// 0..255; NaN gives 0.
inline uint8_t VXFloatToByte(float v) {
  const double t = double(v) * 255;
  if (!(t > 0)) return 0;
  if (t >= 255) return 255;
  return uint8_t(int32_t(t));
}

using PRGB = TRGB*;
using PRGBA = TRGBA*;
using PRGB48 = TRGB48*;
using PVXRGBPalette = TRGB*;  // a palette: a heap block of TRGB entries

// ---------------------------------------------------------------------------
// Storage and layout enumerations of the bitmap

// What happens to rows copied out of a file store: vxdRead fills a mapped row
// from the file, vxdWrite writes it back when it is released. A set of two
// members; combine with |.
enum TVXDataAccess : uint8_t {
  vxdRead = 1,
  vxdWrite = 2
};
constexpr TVXDataAccess operator|(TVXDataAccess a, TVXDataAccess b) { return TVXDataAccess(uint8_t(a) | uint8_t(b)); }
constexpr TVXDataAccess operator&(TVXDataAccess a, TVXDataAccess b) { return TVXDataAccess(uint8_t(a) & uint8_t(b)); }
constexpr TVXDataAccess vxdNone = TVXDataAccess(0);
constexpr TVXDataAccess vxdReadWrite = TVXDataAccess(3);

// Where the rows of a bitmap are stored.
enum TVXLocation : uint8_t { vxMemory, vxFile, vxTBitmap };

// How a single memory block is obtained.
enum TVXMemoryAllocator : uint8_t { vxmaVCL, vxmaSystem, vxmaAuto };

// Which end of the storage holds row 0.
enum TVXBitmapOrigin : uint8_t { vxboBOTTOMLEFT, vxboTOPLEFT };

// Used when converting to 1 bit.
enum TVXDitherMethod : uint8_t { vxOrdered, vxThreshold, vxDithering };

// Alignment of the kept content when resizing without scaling.
enum TVXHAlign : uint8_t { vxhLeft, vxhCenter, vxhRight };
enum TVXVAlign : uint8_t { vxvTop, vxvCenter, vxvBottom };

// ---------------------------------------------------------------------------
// Row layout

// Row length in bytes for Width pixels of BitsPerPixel bits at the given bit
// alignment (32 for platform rows). Computed in 64 bits; 0 for a width of 0,
// a negative width or an alignment below 8.
int64_t VXBitmapRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Alignment);

// Platform bitmap formats.
int32_t VXVclPixelFormatBits(TPixelFormat Format);
TVXPixelFormat VXVclToPixelFormat(TPixelFormat Format);
int64_t VXVclRowLen(int32_t Width, TPixelFormat Format);

// ---------------------------------------------------------------------------
// Bit and byte helpers

uint32_t VXSwapWord(uint32_t Value);    // swaps the two low bytes, keeps the high 16 bits
uint32_t VXSwapDWord(uint32_t Value);   // reverses the four bytes
int64_t VXSwapInt64(int64_t Value);     // reverses the eight bytes
void VXSwapWords(void* p, int32_t n);   // byte-swaps n 16-bit words in place
void VXSwapDWords(void* p, int32_t n);  // byte-swaps n 32-bit words in place
extern const uint8_t VXReverseBitsTable[256];
void VXReverseByteBits(uint8_t& b);

// The TRGB of a colour value (red in bits 0-7, green 8-15, blue 16-23); a
// negative value names a system colour by its low byte and is resolved first.
TRGB VXColorToTRGB(int32_t color);
// The colour value of a TRGB (red in bits 0-7, green 8-15, blue 16-23).
int32_t VXTRGBToColor(TRGB rgb);
// Grey level of rgb by the settings' coefficients (read on every call).
int32_t VXRGBToGray(TRGB rgb);
void VXReverseDWordBits(uint32_t& d);
int32_t VXBitFieldWidth(uint32_t Mask);
int32_t VXBitsForColorCount(int32_t N);
long double VXPower(double Base, double Exponent);
