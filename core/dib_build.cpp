// _CopyBitmaptoDIBEx: a rectangle of a TVXBitmap as a packed DIB in global
// memory; VXGammaCorrectDIB on such a block.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/dib.h"
#include "core/printlog.h"

namespace {

inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}
inline uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Dots per inch to the header's pixels per metre, truncated.
int32_t PelsPerMeter(int32_t Dpi) {
  const double v = std::trunc(double(Dpi) * 39.3700787);
  return int32_t(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

HGLOBAL _CopyBitmaptoDIBEx(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t DpiX,
                           int32_t DpiY) {
  VXPrintLogLine("_CopyBitmaptoDIBEx: begin");
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return nullptr;
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  if (pf != vx1g && pf != vx8p && pf != vx8g && pf != vx24RGB) {
    VXPrintLogLine("_CopyBitmaptoDIBEx: not supported pixel format, converting to 24bit and recurse");
    TVXBitmap converted;
    if (!converted.Allocate(Bitmap->Width(), Bitmap->Height(), vx24RGB)) return nullptr;
    converted.CopyAndConvertFormat(Bitmap);
    return _CopyBitmaptoDIBEx(&converted, x1, y1, x2, y2, DpiX, DpiY);
  }

  // The rectangle, cut to the bitmap.
  if (x2 == 0) x2 = Bitmap->Width();
  if (y2 == 0) y2 = Bitmap->Height();
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  if (x2 <= x1 || y2 <= y1) return nullptr;
  const int32_t width = x2 - x1, height = y2 - y1;

  const int32_t bits = pf == vx1g ? 1 : pf == vx24RGB ? 24 : 8;
  const int64_t colours = bits == 1 ? 2 : bits == 8 ? 256 : 0;
  const int64_t rowLen = ((int64_t(width) * bits + 31) / 32) * 4;
  const int64_t size = 40 + 4 * colours + rowLen * height + 4;
  VXPrintLogLine("_CopyBitmaptoDIBEx: allocate " + std::to_string(size) + " bytes");
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, size_t(size));
  if (block == nullptr) return nullptr;
  auto* dib = static_cast<uint8_t*>(GlobalLock(block));

  Put32(dib + 0, 40);
  Put32(dib + 4, uint32_t(width));
  Put32(dib + 8, uint32_t(height));
  Put16(dib + 12, 1);
  Put16(dib + 14, uint32_t(bits));
  Put32(dib + 16, BI_RGB);
  Put32(dib + 20, 0);
  Put32(dib + 24, uint32_t(PelsPerMeter(DpiX)));
  Put32(dib + 28, uint32_t(PelsPerMeter(DpiY)));
  Put32(dib + 32, 0);
  Put32(dib + 36, 0);
  uint8_t* table = dib + 40;
  uint8_t* rows = table + 4 * colours;

  if (pf == vx1g) {
    VXPrintLogLine("_CopyBitmaptoDIBEx: vx1g");
    std::memset(table + 4, 0xFF, 4);  // entry 0 black, entry 1 white
    const int32_t srcLen = int32_t(std::min<int64_t>(Bitmap->RowLen(), INT32_MAX));
    for (int32_t j = 0; j < height; ++j) {
      const auto* s = static_cast<const uint8_t*>(Bitmap->GetScanLine(y2 - 1 - j));
      if (s != nullptr) VXCopyBitRun(rows + rowLen * j, s, 0, srcLen, width, x1);
    }
  } else if (bits == 8) {
    VXPrintLogLine("_CopyBitmaptoDIBEx: vx8g or vx8p");
    if (pf == vx8p) {
      const TRGB* pal = Bitmap->PaletteBuffer();
      const int32_t n = pal != nullptr ? std::min(Bitmap->PaletteLength(), 256) : 0;
      for (int32_t i = 0; i < n; ++i) std::memcpy(table + 4 * i, &pal[i], 3);
    } else {
      for (int32_t i = 0; i < 256; ++i) std::memset(table + 4 * i, i, 3);
    }
    for (int32_t j = 0; j < height; ++j) {
      const auto* s = static_cast<const uint8_t*>(Bitmap->GetScanLine(y2 - 1 - j));
      if (s != nullptr) std::memcpy(rows + rowLen * j, s + x1, size_t(width));
    }
  } else {
    VXPrintLogLine("_CopyBitmaptoDIBEx: vx24RGB");
    for (int32_t j = 0; j < height; ++j) {
      const auto* s = static_cast<const uint8_t*>(Bitmap->GetScanLine(y2 - 1 - j));
      if (s != nullptr) std::memcpy(rows + rowLen * j, s + 3 * int64_t(x1), size_t(width) * 3);
    }
  }
  GlobalUnlock(block);
  return block;
}

void VXGammaCorrectDIB(HGLOBAL DIB, double Gamma) {
  if (!(Gamma > 0) || !std::isfinite(Gamma)) return;
  auto* dib = static_cast<uint8_t*>(GlobalLock(DIB));
  if (dib == nullptr) return;
  const int64_t size = int64_t(GlobalSize(DIB));
  const uint32_t biSize = size >= 40 ? U32(dib) : 0;
  const int32_t w = size >= 40 ? int32_t(U32(dib + 4)) : 0;
  const int64_t h = size >= 40 ? std::abs(int64_t(int32_t(U32(dib + 8)))) : 0;
  const uint32_t bits = size >= 40 ? (dib[14] | dib[15] << 8) : 0;
  const uint32_t compression = size >= 40 ? U32(dib + 16) : 1;
  const int64_t rowLen = ((int64_t(w) * 24 + 31) / 32) * 4;
  if (biSize >= 40 && biSize <= size && w > 0 && h > 0 && bits == 24 && compression == BI_RGB &&
      rowLen <= (size - biSize) / h) {
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) {
      const double v = std::nearbyint(255 * std::pow(i / 255.0, 1 / Gamma));
      table[i] = uint8_t(std::clamp(v, 0.0, 255.0));
    }
    for (int64_t y = 0; y < h; ++y) {
      uint8_t* p = dib + biSize + rowLen * y;
      for (int64_t k = 0; k < int64_t(w) * 3; ++k) p[k] = table[p[k]];
    }
  }
  GlobalUnlock(DIB);
}
