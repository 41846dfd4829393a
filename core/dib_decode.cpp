// VXCopyDIBToBitmap: packed DIBs of the RGB forms and YUV frames into a
// TVXBitmap. A DIB is foreign data: every size is checked against the block
// before anything is read or allocated.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/bitmap.h"
#include "core/dib.h"
#include "core/limits.h"
#include "core/yuv.h"

namespace {

inline uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }

// Headers of this size or more (V2 to V5) hold the bit-field masks at offset
// 40, inside the header.
constexpr uint32_t kHeaderWithMasks = 52;

struct TBitFields {
  uint32_t Mask[3];  // red, green, blue
  int32_t RedShift, GreenShift, BlueShift;  // right, right, left
};

// The shifts that bring each mask's top bits to a byte; false for zero or
// overlapping masks and masks that would need a negative shift.
bool SetUpBitFields(uint32_t r, uint32_t g, uint32_t b, TBitFields& f) {
  if (r == 0 || g == 0 || b == 0 || (r & g) || (r & b) || (g & b)) return false;
  const int32_t rb = VXBitFieldWidth(r), gb = VXBitFieldWidth(g), bb = VXBitFieldWidth(b);
  f = TBitFields{{r, g, b}, gb + bb + rb - 8, gb + bb - 8, 8 - bb};
  return f.RedShift >= 0 && f.GreenShift >= 0 && f.BlueShift >= 0;
}

int32_t Refuse(TVXBitmap* Bitmap) {
  Bitmap->FreeImage(true);
  return 0;
}

int32_t DecodeRGB(const uint8_t* dib, int64_t dibSize, uint32_t biSize, int32_t w, int32_t biHeight, int32_t bits,
                  uint32_t compression, const uint8_t* pixels, int64_t pixelsSize, TVXBitmap* Bitmap) {
  const uint32_t clrUsed = U32(dib + 32);
  if (clrUsed > 256) return Refuse(Bitmap);
  const int64_t h = std::abs(int64_t(biHeight));

  // Colour table, masks and where the rows start.
  int64_t colours = 0;
  int64_t dataOffset = biSize;
  TBitFields fields{};
  switch (bits) {
    case 1:
    case 4:
    case 8:
      if (compression != BI_RGB) return Refuse(Bitmap);
      colours = clrUsed != 0 ? clrUsed : (int64_t(1) << bits);
      dataOffset = int64_t(biSize) + 4 * colours;
      break;
    case 16:
      if (compression == BI_RGB) {
        SetUpBitFields(0x7C00, 0x03E0, 0x001F, fields);
      } else if (compression == BI_BITFIELDS) {
        const int64_t maskOffset = biSize >= kHeaderWithMasks ? 40 : biSize;
        if (maskOffset + 12 > dibSize) return Refuse(Bitmap);
        if (!SetUpBitFields(U32(dib + maskOffset), U32(dib + maskOffset + 4), U32(dib + maskOffset + 8), fields))
          return Refuse(Bitmap);
        if (biSize < kHeaderWithMasks) dataOffset += 12;
      } else {
        return Refuse(Bitmap);
      }
      break;
    case 24:
      if (compression != BI_RGB) return Refuse(Bitmap);
      break;
    case 32:
      if (compression == BI_BITFIELDS && biSize < kHeaderWithMasks)
        dataOffset += 12;  // masks ignored: bytes 0, 1, 2 are blue, green, red
      else if (compression != BI_RGB && compression != BI_BITFIELDS)
        return Refuse(Bitmap);
      break;
    default: return Refuse(Bitmap);
  }
  if (int64_t(biSize) + 4 * colours > dibSize) return Refuse(Bitmap);
  const uint8_t* table = dib + biSize;

  const uint8_t* data = pixels;
  int64_t dataSize = pixelsSize;
  if (data == nullptr) {
    if (dataOffset > dibSize) return Refuse(Bitmap);
    data = dib + dataOffset;
    dataSize = dibSize - dataOffset;
  }
  const int64_t rowLen = ((int64_t(w) * bits + 31) / 32) * 4;
  if (dataSize < 0 || rowLen > dataSize / h) return Refuse(Bitmap);
  if (!VXImageSizeAllowed(w, h, bits == 1 ? 1 : 24)) return Refuse(Bitmap);

  if (!Bitmap->Allocate(w, int32_t(h), bits == 1 ? vx1g : vx24RGB)) return Refuse(Bitmap);

  auto colour = [&](unsigned index) -> TRGB {
    if (index >= colours) return TRGB{0, 0, 0};  // beyond the table: black
    const uint8_t* q = table + 4 * index;
    return TRGB{q[0], q[1], q[2]};
  };
  const bool invert = bits == 1 && table[2] == 255;  // a white entry 0: 1 must mean white
  const int64_t bytes1 = (int64_t(w) + 7) / 8;
  const uint8_t lastMask = uint8_t(0xFF00u >> (((w - 1) & 7) + 1));

  for (int64_t i = 0; i < h; ++i) {
    const uint8_t* s = data + rowLen * i;
    void* dst = Bitmap->GetScanLine(int32_t(biHeight < 0 ? i : h - 1 - i));
    if (dst == nullptr) continue;
    auto* out = static_cast<TRGB*>(dst);
    switch (bits) {
      case 1: {
        auto* d = static_cast<uint8_t*>(dst);
        for (int64_t k = 0; k < bytes1; ++k) d[k] = invert ? uint8_t(~s[k]) : s[k];
        d[bytes1 - 1] &= lastMask;  // no stray bits past the last pixel
        break;
      }
      case 4:
        for (int64_t x = 0; x < w; ++x) out[x] = colour((x & 1) ? s[x >> 1] & 0x0Fu : s[x >> 1] >> 4);
        break;
      case 8:
        for (int64_t x = 0; x < w; ++x) out[x] = colour(s[x]);
        break;
      case 16:
        for (int64_t x = 0; x < w; ++x) {
          const uint32_t p = U16(s + 2 * x);
          out[x].r = uint8_t((p & fields.Mask[0]) >> fields.RedShift);
          out[x].g = uint8_t((p & fields.Mask[1]) >> fields.GreenShift);
          out[x].b = uint8_t((p & fields.Mask[2] & 0xFFu) << fields.BlueShift);
        }
        break;
      case 24: std::memcpy(out, s, size_t(w) * 3); break;
      case 32:
        for (int64_t x = 0; x < w; ++x) out[x] = TRGB{s[4 * x], s[4 * x + 1], s[4 * x + 2]};
        break;
    }
  }
  return bits;
}

}  // namespace

int32_t VXCopyDIBToBitmap(const void* DIB, int64_t DIBSize, TVXBitmap* Bitmap, const void* Pixels,
                          int64_t PixelsSize) {
  if (Bitmap == nullptr) return 0;
  const auto* dib = static_cast<const uint8_t*>(DIB);
  if (dib == nullptr || DIBSize < 40) return Refuse(Bitmap);
  const uint32_t biSize = U32(dib);
  if (biSize < 40 || biSize > DIBSize) return Refuse(Bitmap);
  const int32_t w = I32(dib + 4), biHeight = I32(dib + 8);
  const int32_t bits = U16(dib + 14);
  const uint32_t compression = U32(dib + 16);
  if (w <= 0 || biHeight == 0 || biHeight == INT32_MIN) return Refuse(Bitmap);
  const auto* pixels = static_cast<const uint8_t*>(Pixels);

  if (compression > BI_BITFIELDS) {
    const uint8_t* data = pixels;
    int64_t size = PixelsSize;
    if (data == nullptr) {
      data = dib + biSize;
      size = DIBSize - biSize;
    }
    return VXDecodeYUVFrame(compression, w, biHeight, data, size, Bitmap) ? bits : 0;
  }
  return DecodeRGB(dib, DIBSize, biSize, w, biHeight, bits, compression, pixels, PixelsSize, Bitmap);
}

int32_t VXCopyDIBToBitmap(HGLOBAL DIB, TVXBitmap* Bitmap, const void* Pixels, int64_t PixelsSize) {
  if (Bitmap == nullptr) return 0;
  const void* p = GlobalLock(DIB);
  if (p == nullptr) return Refuse(Bitmap);
  const int32_t result = VXCopyDIBToBitmap(p, int64_t(GlobalSize(DIB)), Bitmap, Pixels, PixelsSize);
  GlobalUnlock(DIB);
  return result;
}
