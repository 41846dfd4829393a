// TVXBitmap: single-pixel access, palette accessors and fills.
//
// The typed accessors read and write one pixel without conversion; Pixels
// converts from and to a TRGB colour. Every accessor checks that the pixel
// lies inside the bitmap and inside its row: a read outside gives a zero
// value, a write outside is ignored.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/settings.h"
#include "core/cmyk.h"
#include "platform/win_syscolors.h"

namespace {

// Trunc of a double into 64 bits; NaN gives 0 and values beyond the range
// saturate.
int64_t TruncToInt64(double Value) {
  if (std::isnan(Value)) return 0;
  if (Value >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (Value <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return int64_t(Value);
}

// The colour value (low 32 bits of v = Trunc(Value)) resolved through the
// system colours.
uint32_t ResolvedColor(int64_t v) { return ColorToRGB(int32_t(uint32_t(uint64_t(v)))); }

TRGB ColorValueToTRGB(uint32_t c) {
  TRGB rgb;
  rgb.r = uint8_t(c);
  rgb.g = uint8_t(c >> 8);
  rgb.b = uint8_t(c >> 16);
  return rgb;
}

bool IsWhite(TRGB c) { return c.r == 255 && c.g == 255 && c.b == 255; }

uint8_t Gray8(TRGB c) {
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int32_t g = (int32_t(c.r) * s->RedToGrayCoef() + int32_t(c.g) * s->GreenToGrayCoef() +
                     int32_t(c.b) * s->BlueToGrayCoef()) /
                    100;
  return uint8_t(g);
}

// Trunc(v * 255) clamped into a byte (NaN gives 0).
uint8_t FloatToByte(float v) {
  const double d = double(v) * 255.0;
  if (!(d > 0)) return 0;
  if (d >= 255) return 255;
  return uint8_t(d);
}

template <typename T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

template <typename T>
void Store(void* p, const T& v) {
  std::memcpy(p, &v, sizeof(T));
}

// Fills Count pixels of Size bytes at p with the pixel at Pixel.
void RepeatPixel(uint8_t* p, const void* Pixel, size_t Size, int64_t Count) {
  for (int64_t i = 0; i < Count; ++i) std::memcpy(p + size_t(i) * Size, Pixel, Size);
}

}  // namespace

// ---------------------------------------------------------------------------
// Typed pixel accessors

// Whether pixel (x, y) of Bytes bytes lies inside the bitmap and its row.
#define VX_INSIDE_ROW(Bytes) \
  (x >= 0 && y >= 0 && x < fWidth && y < fHeight && (int64_t(x) + 1) * int64_t(Bytes) <= fRowLen)

bool TVXBitmap::Pixels_vx1g(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= fWidth || y >= fHeight || (x >> 3) >= fRowLen) return false;
  const uint8_t* row = static_cast<const uint8_t*>(GetScanLine(y));
  if (row == nullptr) return false;
  return (row[x >> 3] & (0x80 >> (x & 7))) != 0;
}

void TVXBitmap::SetPixels_vx1g(int32_t x, int32_t y, bool Value) {
  if (x < 0 || y < 0 || x >= fWidth || y >= fHeight || (x >> 3) >= fRowLen) return;
  uint8_t* row = static_cast<uint8_t*>(GetScanLine(y));
  if (row == nullptr) return;
  const uint8_t bit = uint8_t(0x80u >> (x & 7));
  if (Value) {
    row[x >> 3] |= bit;
  } else {
    row[x >> 3] &= uint8_t(~bit);
    fFull = false;
  }
}

#define VX_READ_SEGMENT(T)                                                               \
  if (!VX_INSIDE_ROW(sizeof(T))) return T{};                           \
  const void* p = GetSegment(y, x, 1);                                                   \
  if (p == nullptr) return T{};                                                          \
  return Load<T>(p)

#define VX_WRITE_ROW(T)                                                                  \
  if (!VX_INSIDE_ROW(sizeof(T))) return;                               \
  uint8_t* row = static_cast<uint8_t*>(GetScanLine(y));                                  \
  if (row == nullptr) return;                                                            \
  Store<T>(row + size_t(x) * sizeof(T), Value)

uint8_t TVXBitmap::Pixels_vx8(int32_t x, int32_t y) const { VX_READ_SEGMENT(uint8_t); }

void TVXBitmap::SetPixels_vx8(int32_t x, int32_t y, uint8_t Value) {
  VX_WRITE_ROW(uint8_t);
  if (Value != 255) fFull = false;
}

uint16_t TVXBitmap::Pixels_vx16g(int32_t x, int32_t y) const { VX_READ_SEGMENT(uint16_t); }

void TVXBitmap::SetPixels_vx16g(int32_t x, int32_t y, uint16_t Value) {
  VX_WRITE_ROW(uint16_t);
  if (Value != 65535) fFull = false;
}

float TVXBitmap::Pixels_vx32f(int32_t x, int32_t y) const { VX_READ_SEGMENT(float); }

void TVXBitmap::SetPixels_vx32f(int32_t x, int32_t y, float Value) {
  VX_WRITE_ROW(float);
  if (!(Value >= 1.0f)) fFull = false;
}

TCMYK TVXBitmap::Pixels_vxCMYK(int32_t x, int32_t y) const { VX_READ_SEGMENT(TCMYK); }

void TVXBitmap::SetPixels_vxCMYK(int32_t x, int32_t y, TCMYK Value) { VX_WRITE_ROW(TCMYK); }

TCIELab TVXBitmap::Pixels_vxCIELab(int32_t x, int32_t y) const { VX_READ_SEGMENT(TCIELab); }

void TVXBitmap::SetPixels_vxCIELab(int32_t x, int32_t y, TCIELab Value) { VX_WRITE_ROW(TCIELab); }

TRGB TVXBitmap::Pixels_vx24RGB(int32_t x, int32_t y) const { VX_READ_SEGMENT(TRGB); }

void TVXBitmap::SetPixels_vx24RGB(int32_t x, int32_t y, TRGB Value) {
  VX_WRITE_ROW(TRGB);
  if (!IsWhite(Value)) fFull = false;
}

TRGBA TVXBitmap::Pixels_vx32RGB(int32_t x, int32_t y) const { VX_READ_SEGMENT(TRGBA); }

void TVXBitmap::SetPixels_vx32RGB(int32_t x, int32_t y, TRGBA Value) {
  VX_WRITE_ROW(TRGBA);
  if (!(Value.r == 255 && Value.g == 255 && Value.b == 255)) fFull = false;
}

TRGB48 TVXBitmap::Pixels_vx48RGB(int32_t x, int32_t y) const {
  if (!VX_INSIDE_ROW(sizeof(TRGB48))) return TRGB48{};
  const uint8_t* row = static_cast<const uint8_t*>(GetScanLine(y));
  if (row == nullptr) return TRGB48{};
  return Load<TRGB48>(row + size_t(x) * sizeof(TRGB48));
}

void TVXBitmap::SetPixels_vx48RGB(int32_t x, int32_t y, TRGB48 Value) {
  VX_WRITE_ROW(TRGB48);
  if (!(Value.r == 65535 && Value.g == 65535 && Value.b == 65535)) fFull = false;
}

#undef VX_READ_SEGMENT
#undef VX_WRITE_ROW

PRGB TVXBitmap::PPixels_vx24RGB(int32_t x, int32_t y) const {
  if (!VX_INSIDE_ROW(sizeof(TRGB))) return nullptr;
  uint8_t* row = static_cast<uint8_t*>(GetScanLine(y));
  return row ? reinterpret_cast<PRGB>(row + size_t(x) * sizeof(TRGB)) : nullptr;
}

PRGBA TVXBitmap::PPixels_vx32RGB(int32_t x, int32_t y) const {
  if (!VX_INSIDE_ROW(sizeof(TRGBA))) return nullptr;
  uint8_t* row = static_cast<uint8_t*>(GetScanLine(y));
  return row ? reinterpret_cast<PRGBA>(row + size_t(x) * sizeof(TRGBA)) : nullptr;
}

PRGB48 TVXBitmap::PPixels_vx48RGB(int32_t x, int32_t y) const {
  if (!VX_INSIDE_ROW(sizeof(TRGB48))) return nullptr;
  uint8_t* row = static_cast<uint8_t*>(GetScanLine(y));
  return row ? reinterpret_cast<PRGB48>(row + size_t(x) * sizeof(TRGB48)) : nullptr;
}

#undef VX_INSIDE_ROW

// ---------------------------------------------------------------------------
// Generic pixel property

TRGB TVXBitmap::Pixels(int32_t x, int32_t y) const {
  switch (fPixelFormat) {
    case vx1g:
      return Pixels_vx1g(x, y) ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
    case vx8p: {
      const uint8_t i = Pixels_vx8(x, y);
      return GetPalette(i);
    }
    case vx8g: {
      const uint8_t v = Pixels_vx8(x, y);
      return TRGB{v, v, v};
    }
    case vx16g: {
      const uint8_t v = uint8_t(Pixels_vx16g(x, y) >> 8);
      return TRGB{v, v, v};
    }
    case vx24RGB:
      return Pixels_vx24RGB(x, y);
    case vx32f: {
      const uint8_t v = FloatToByte(Pixels_vx32f(x, y));
      return TRGB{v, v, v};
    }
    case vxCMYK:
      return VXCMYK2RGB(Pixels_vxCMYK(x, y));
    case vx48RGB: {
      const TRGB48 p = Pixels_vx48RGB(x, y);
      TRGB c;
      c.r = uint8_t(p.r >> 8);
      c.g = uint8_t(p.g >> 8);
      c.b = uint8_t(p.b >> 8);
      return c;
    }
    case vxCIELab:
      return VXCIELab2RGB(Pixels_vxCIELab(x, y));
    case vx32RGB: {
      const TRGBA p = Pixels_vx32RGB(x, y);
      return TRGB{p.b, p.g, p.r};
    }
    case vxnull:
    default:
      return TRGB{0, 0, 0};
  }
}

void TVXBitmap::SetPixels(int32_t x, int32_t y, TRGB Value) {
  switch (fPixelFormat) {
    case vx1g: {
      // The full flag is left alone here.
      const bool keep = fFull;
      SetPixels_vx1g(x, y, Value.r != 0 || Value.g != 0 || Value.b != 0);
      fFull = keep;
      break;
    }
    case vx8g:
      SetPixels_vx8(x, y, Gray8(Value));
      break;
    case vx16g:
      SetPixels_vx16g(x, y, uint16_t(Gray8(Value) * 257));
      break;
    case vx24RGB:
      SetPixels_vx24RGB(x, y, Value);
      break;
    case vx32f:
      SetPixels_vx32f(x, y, float(Gray8(Value) / 255.0));
      break;
    case vxCMYK:
      SetPixels_vxCMYK(x, y, VXRGB2CMYK(Value));
      break;
    case vx48RGB:
      SetPixels_vx48RGB(x, y, TRGB48{uint16_t(Value.r * 257), uint16_t(Value.g * 257), uint16_t(Value.b * 257)});
      break;
    case vxCIELab:
      SetPixels_vxCIELab(x, y, VXRGB2CIELab(Value));
      break;
    case vx32RGB:
      SetPixels_vx32RGB(x, y, TRGBA{Value.b, Value.g, Value.r, 255});
      break;
    case vxnull:
    case vx8p:
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Alpha

uint8_t TVXBitmap::Alpha(int32_t x, int32_t y) {
  if (fIsAlpha) return Pixels_vx8(x, y);
  TVXBitmap* a = AlphaChannel();
  return a ? a->Pixels_vx8(x, y) : 0;
}

void TVXBitmap::SetAlpha(int32_t x, int32_t y, uint8_t Value) {
  if (fIsAlpha) {
    SetPixels_vx8(x, y, Value);
    return;
  }
  TVXBitmap* a = AlphaChannel();
  if (a == nullptr) return;
  a->SetPixels_vx8(x, y, Value);
  if (Value < 255) fFull = false;
}

// ---------------------------------------------------------------------------
// Palette

TRGB* TVXBitmap::GetPaletteBuffer() const { return fRGBPalette.get(); }

TRGB TVXBitmap::GetPalette(int32_t index) const {
  if (fRGBPalette && index >= 0 && index < fRGBPaletteLen) return fRGBPalette[size_t(index)];
  return TRGB{0, 0, 0};
}

void TVXBitmap::SetPalette(int32_t index, TRGB Value) {
  if (!fRGBPalette || index < 0 || index >= fRGBPaletteLen) return;
  fRGBPalette[size_t(index)] = Value;
  PushPaletteToTBitmap();
}

int32_t TVXBitmap::GetPaletteLength() const { return fRGBPalette ? fRGBPaletteLen : 0; }

int32_t TVXBitmap::GetPaletteUsed() const { return fPaletteUsed; }

void TVXBitmap::SetPaletteUsed(int32_t Value) { fPaletteUsed = Value; }

// ---------------------------------------------------------------------------
// Fills

void TVXBitmap::Fill(double Value) {
  if (fPixelFormat == vxnull || IsEmpty()) return;
  const TVXDataAccess savedAccess = fAccess;
  fAccess = vxdWrite;

  const int64_t v = TruncToInt64(Value);
  const size_t rowLen = size_t(fRowLen);
  // One row, padding included, moved to every row.
  std::vector<uint8_t> pattern(rowLen, 0);
  uint8_t* p = pattern.data();
  bool full = false;
  switch (fPixelFormat) {
    case vx1g:
      std::memset(p, v != 0 ? 0xFF : 0x00, rowLen);
      full = v != 0;
      break;
    case vx8p:
    case vx8g:
      std::memset(p, uint8_t(v), rowLen);
      full = v == 255;
      break;
    case vx16g: {
      const uint16_t w = uint16_t(v);
      RepeatPixel(p, &w, sizeof w, fWidth);
      full = v == 65535;
      break;
    }
    case vx32f: {
      const float f = float(Value);
      RepeatPixel(p, &f, sizeof f, fWidth);
      full = Value == 1.0;
      break;
    }
    case vx24RGB:
    case vxCMYK:
    case vx48RGB:
    case vxCIELab:
    case vx32RGB: {
      const uint32_t color = ResolvedColor(v);
      const TRGB c = ColorValueToTRGB(color);
      full = IsWhite(c);
      if (fPixelFormat == vx24RGB) {
        RepeatPixel(p, &c, sizeof c, fWidth);
      } else if (fPixelFormat == vxCMYK) {
        const TCMYK k = VXRGB2CMYK(c);
        RepeatPixel(p, &k, sizeof k, fWidth);
      } else if (fPixelFormat == vx48RGB) {
        const TRGB48 w{uint16_t(c.r * 257), uint16_t(c.g * 257), uint16_t(c.b * 257)};
        RepeatPixel(p, &w, sizeof w, fWidth);
      } else if (fPixelFormat == vxCIELab) {
        const TCIELab l = VXRGB2CIELab(c);
        RepeatPixel(p, &l, sizeof l, fWidth);
      } else {
        const TRGBA a{c.b, c.g, c.r, uint8_t(color >> 24)};
        RepeatPixel(p, &a, sizeof a, fWidth);
      }
      break;
    }
    default:
      break;
  }
  for (int32_t y = 0; y < fHeight; ++y) {
    uint8_t* row = static_cast<uint8_t*>(GetScanLine(y));
    if (row != nullptr) std::memcpy(row, p, rowLen);
  }
  fAccess = savedAccess;
  fFull = full;
}

void TVXBitmap::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Value) {
  if (fPixelFormat == vxnull || IsEmpty()) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, fWidth - 1);
  y2 = std::min(y2, fHeight - 1);
  if (x2 < x1 || y2 < y1) return;
  const int32_t w = x2 - x1 + 1;
  const int64_t v = TruncToInt64(Value);
  const int32_t bytes = fBitCount / 8;
  if (fPixelFormat != vx1g && (int64_t(x2) + 1) * bytes > fRowLen) return;

  // The pixel value, built once.
  uint8_t pixel[8] = {0};
  bool belowMax = false;
  TRGB c{0, 0, 0};
  switch (fPixelFormat) {
    case vx1g:
      belowMax = v == 0;
      break;
    case vx8p:
    case vx8g:
      pixel[0] = uint8_t(v);
      belowMax = uint8_t(v) != 255;
      break;
    case vx16g: {
      const uint16_t s = uint16_t(v);
      Store(pixel, s);
      belowMax = s != 65535;
      break;
    }
    case vx32f: {
      const float f = float(v);
      Store(pixel, f);
      belowMax = !(f >= 1.0f);
      break;
    }
    case vx24RGB:
    case vxCMYK:
    case vx48RGB:
    case vxCIELab:
    case vx32RGB:
      c = ColorValueToTRGB(ResolvedColor(v));
      belowMax = !IsWhite(c) && fPixelFormat != vxCMYK && fPixelFormat != vxCIELab;
      if (fPixelFormat == vx24RGB) Store(pixel, c);
      if (fPixelFormat == vxCMYK) Store(pixel, VXRGB2CMYK(c));
      if (fPixelFormat == vx48RGB) Store(pixel, TRGB48{uint16_t(c.r * 257), uint16_t(c.g * 257), uint16_t(c.b * 257)});
      if (fPixelFormat == vxCIELab) Store(pixel, VXRGB2CIELab(c));
      break;
    default:
      return;
  }

  for (int32_t y = y1; y <= y2; ++y) {
    if (fPixelFormat == vx1g) {
      uint8_t* row = static_cast<uint8_t*>(GetScanLine(y));
      if (row == nullptr) continue;
      for (int32_t x = x1; x <= x2; ++x) {
        const uint8_t bit = uint8_t(0x80u >> (x & 7));
        if (v != 0)
          row[x >> 3] |= bit;
        else
          row[x >> 3] &= uint8_t(~bit);
      }
      continue;
    }
    uint8_t* seg = static_cast<uint8_t*>(GetSegment(y, x1, w));
    if (seg == nullptr) continue;
    if (bytes == 1) {
      std::memset(seg, pixel[0], size_t(w));
    } else if (fPixelFormat == vx32RGB) {
      for (int32_t i = 0; i < w; ++i) {
        uint8_t* q = seg + size_t(i) * 4;
        q[0] = c.b;
        q[1] = c.g;
        q[2] = c.r;
      }
    } else {
      RepeatPixel(seg, pixel, size_t(bytes), w);
    }
  }

  if ((fPixelFormat == vx8g || fPixelFormat == vx8p) && fIsAlpha)
    SyncFull();
  else if (belowMax)
    fFull = false;
}
