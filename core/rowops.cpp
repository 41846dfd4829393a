#include "core/rowops.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/cmyk.h"

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

namespace {

// Trunc(v * 255). A value that has no 64-bit integer part (NaN, infinite or
// too large) cannot be read: the caller's failure path gives 128.
int64_t TruncScaled(float v) {
  const double d = double(v) * 255.0;
  if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0))
    throw EVXException("VXCalcAverageChannels: pixel value out of range");
  return int64_t(std::clamp(d, -2147483648.0, 2147483647.0));
}

}  // namespace

void VXCalcAverageChannels(TVXBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B) {
  R = G = B = 0;
  try {
    if (!Bitmap) throw EVXException("no bitmap");
    const int32_t W = Bitmap->Width(), H = Bitmap->Height();
    if (W <= 0 || H <= 0) throw EVXException("empty bitmap");
    const TVXPixelFormat fmt = Bitmap->PixelFormat();
    int64_t r = 0, g = 0, b = 0;
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(Bitmap->GetScanLine(y));
      int64_t sr = 0, sg = 0, sb = 0;
      for (int32_t x = 0; x < W; ++x) {
        int64_t pr = 0, pg = 0, pb = 0;
        switch (fmt) {
          case vx1g: {
            int64_t v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            pr = pg = pb = v;
            break;
          }
          case vx8p: {
            TRGB c = Bitmap->Palette(row[x]);
            pr = c.r, pg = c.g, pb = c.b;
            break;
          }
          case vx8g:
            pr = pg = pb = row[x];
            break;
          case vx16g: {
            uint16_t v;
            std::memcpy(&v, row + 2 * size_t(x), 2);
            pr = pg = pb = int64_t(v) * 255 / 65535;
            break;
          }
          case vx24RGB:
          case vx32RGB: {
            const uint8_t* p = row + size_t(x) * (fmt == vx24RGB ? 3 : 4);
            pr = p[2], pg = p[1], pb = p[0];
            break;
          }
          case vx32f: {
            float v;
            std::memcpy(&v, row + 4 * size_t(x), 4);
            pr = pg = pb = TruncScaled(v);
            break;
          }
          case vxCMYK: {
            const uint8_t* p = row + 4 * size_t(x);
            TRGB c = VXCMYK2RGB(TCMYK{p[0], p[1], p[2], p[3]});
            pr = c.r, pg = c.g, pb = c.b;
            break;
          }
          case vx48RGB: {
            uint16_t w[3];
            std::memcpy(w, row + 6 * size_t(x), 6);
            pr = int64_t(w[0]) * 255 / 65535, pg = int64_t(w[1]) * 255 / 65535, pb = int64_t(w[2]) * 255 / 65535;
            break;
          }
          case vxCIELab: {
            const uint8_t* p = row + 3 * size_t(x);
            TRGB c = VXCIELab2RGB(TCIELab{p[0], int8_t(p[1]), int8_t(p[2])});
            pr = c.r, pg = c.g, pb = c.b;
            break;
          }
          default:
            break;
        }
        sr += pr, sg += pg, sb += pb;
      }
      r += sr / W, g += sg / W, b += sb / W;
    }
    R = int32_t(r / H);
    G = int32_t(g / H);
    B = int32_t(b / H);
  } catch (...) {
    R = G = B = 128;
  }
}
