#include "proc/rowops.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "io/cmyk.h"

void VXInvertBytes(void* Buffer, int64_t Length) {
  if (!Buffer || Length <= 0) return;
  uint8_t* p = static_cast<uint8_t*>(Buffer);
  for (int64_t i = 0; i < Length; ++i) p[i] = uint8_t(~p[i]);
}

void VXInvertBitmapRows(TVXBitmap* Bitmap) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const int64_t len = Bitmap->RowLen();
  for (int32_t y = 0; y < Bitmap->Height(); ++y) VXInvertBytes(Bitmap->GetScanLine(y), len);
}

namespace {

// Compares the pixel bits of two rows of Width pixels at Bits per pixel.
bool RowPixelsEqual(const uint8_t* a, const uint8_t* b, int32_t Width, int32_t Bits) {
  const int64_t bits = int64_t(Width) * Bits;
  const int64_t whole = bits >> 3;
  if (std::memcmp(a, b, size_t(whole)) != 0) return false;
  const int rest = int(bits & 7);
  if (rest) {
    const uint8_t mask = uint8_t(0xFF00 >> rest);  // the leading bits of the last byte
    if ((a[whole] & mask) != (b[whole] & mask)) return false;
  }
  return true;
}

bool PixelsEqual(TVXBitmap* a, TVXBitmap* b) {
  const int32_t w = a->Width(), h = a->Height(), bits = a->BitCount();
  const size_t len = size_t(a->RowLen());
  std::vector<uint8_t> row(len);
  for (int32_t y = 0; y < h; ++y) {
    // A file-backed bitmap keeps only its last row mapped: copy one side.
    std::memcpy(row.data(), a->GetScanLine(y), len);
    if (!RowPixelsEqual(row.data(), static_cast<const uint8_t*>(b->GetScanLine(y)), w, bits)) return false;
  }
  return true;
}

}  // namespace

bool VXBitmapsEqual(TVXBitmap* a, TVXBitmap* b) {
  if (!a || !b) return a == b;
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  if (a->HasAlphaChannel() != b->HasAlphaChannel()) return false;
  if (a->PixelFormat() != b->PixelFormat()) return false;
  if (a->IsEmpty() || b->IsEmpty()) return a->IsEmpty() == b->IsEmpty();
  if (!PixelsEqual(a, b)) return false;
  if (a->HasAlphaChannel()) {
    TVXBitmap* aa = a->AlphaChannelOpt();
    TVXBitmap* ba = b->AlphaChannelOpt();
    if (aa->IsEmpty() != ba->IsEmpty()) return false;
    if (!aa->IsEmpty() && !PixelsEqual(aa, ba)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Rows of any pixel format as 24-bit pixels

namespace {

// The 256 palette entries of a bitmap; entries it does not hold are black.
void CopyPalette(const TVXBitmap* bmp, TRGB* out) {
  const TRGB* pal = bmp->PaletteBuffer();
  const int32_t n = pal ? std::min(bmp->PaletteLength(), 256) : 0;
  if (n > 0) std::memcpy(static_cast<void*>(out), pal, size_t(n) * sizeof(TRGB));
}

}  // namespace

void VXRowToRGB(TVXBitmap* bmp, int32_t y, TRGB* out) {
  const int32_t w = bmp->Width();
  const uint8_t* p = static_cast<const uint8_t*>(bmp->GetScanLine(y));
  switch (bmp->PixelFormat()) {
    case vx1g:
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t v = (p[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        out[x] = TRGB{v, v, v};
      }
      break;
    case vx8p: {
      TRGB pal[256] = {};
      CopyPalette(bmp, pal);
      for (int32_t x = 0; x < w; ++x) out[x] = pal[p[x]];
      break;
    }
    case vx8g:
      for (int32_t x = 0; x < w; ++x) out[x] = TRGB{p[x], p[x], p[x]};
      break;
    case vx16g:
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t v = p[size_t(x) * 2 + 1];
        out[x] = TRGB{v, v, v};
      }
      break;
    case vx24RGB:
      std::memcpy(out, p, size_t(w) * 3);
      break;
    case vx32RGB:
      for (int32_t x = 0; x < w; ++x) out[x] = TRGB{p[size_t(x) * 4], p[size_t(x) * 4 + 1], p[size_t(x) * 4 + 2]};
      break;
    case vx32f:
      for (int32_t x = 0; x < w; ++x) {
        float f;
        std::memcpy(&f, p + size_t(x) * 4, 4);
        const uint8_t v = VXFloatToByte(f);
        out[x] = TRGB{v, v, v};
      }
      break;
    case vxCMYK:
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* q = p + size_t(x) * 4;
        out[x] = VXCMYK2RGB(TCMYK{q[0], q[1], q[2], q[3]});
      }
      break;
    case vx48RGB:
      for (int32_t x = 0; x < w; ++x) {
        TRGB48 c;
        std::memcpy(&c, p + size_t(x) * 6, 6);
        out[x] = TRGB{uint8_t(c.b >> 8), uint8_t(c.g >> 8), uint8_t(c.r >> 8)};
      }
      break;
    case vxCIELab:
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* q = p + size_t(x) * 3;
        out[x] = VXCIELab2RGB(TCIELab{q[0], int8_t(q[1]), int8_t(q[2])});
      }
      break;
    default:
      std::memset(static_cast<void*>(out), 0, size_t(w) * 3);
      break;
  }
}
