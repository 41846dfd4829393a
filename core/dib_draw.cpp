// Packed DIBs drawn into a TVXDibbitmap through the DrawDib service (the
// video frames of the AVI readers).
//
// The DIB is checked as the decoder checks it (core/dib_decode.cpp) and its
// header, colour table and masks are handed to DrawDib as a fresh 40-byte
// header of our own with the table or masks after it, so that the service
// never reads past the caller's block.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/dib.h"
#include "core/dibbitmap.h"
#include "core/limits.h"
#include "core/pixels.h"
#include "core/winchores.h"

namespace {

inline uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Headers of this size or more hold the bit-field masks at offset 40.
constexpr uint32_t kHeaderWithMasks = 52;

// Masks the decoder takes: non-zero, not overlapping, each bringing its top
// bits to a byte with a shift that is not negative.
bool UsableMasks(uint32_t r, uint32_t g, uint32_t b) {
  if (r == 0 || g == 0 || b == 0 || (r & g) || (r & b) || (g & b)) return false;
  const int32_t rb = VXBitFieldWidth(r), gb = VXBitFieldWidth(g), bb = VXBitFieldWidth(b);
  return gb + bb + rb - 8 >= 0 && gb + bb - 8 >= 0 && 8 - bb >= 0;
}

}  // namespace

int32_t VXDrawPackedDIB(const void* DIB, int64_t DIBSize, TVXDibbitmap* Bitmap, const void* Pixels,
                        int64_t PixelsSize) {
  const auto* dib = static_cast<const uint8_t*>(DIB);
  if (!Bitmap || !dib || DIBSize < 40) return 0;
  const uint32_t biSize = U32(dib);
  if (biSize < 40 || biSize > DIBSize) return 0;
  const int32_t w = int32_t(U32(dib + 4)), biHeight = int32_t(U32(dib + 8));
  const int32_t bits = U16(dib + 14);
  const uint32_t compression = U32(dib + 16);
  const uint32_t clrUsed = U32(dib + 32);
  if (w <= 0 || biHeight == 0 || biHeight == INT32_MIN || clrUsed > 256) return 0;
  const int64_t h = std::abs(int64_t(biHeight));

  // The table or masks that go with the header, and where the rows start.
  int64_t tableBytes = 0;
  int64_t dataOffset = biSize;
  uint32_t masks[3] = {0, 0, 0};
  uint32_t drawCompression = BI_RGB;
  switch (bits) {
    case 1:
    case 4:
    case 8:
      if (compression != BI_RGB) return 0;
      tableBytes = 4 * (clrUsed != 0 ? int64_t(clrUsed) : (int64_t(1) << bits));
      dataOffset += tableBytes;
      break;
    case 16:
      if (compression == BI_BITFIELDS) {
        const int64_t maskOffset = biSize >= kHeaderWithMasks ? 40 : biSize;
        if (maskOffset + 12 > DIBSize) return 0;
        for (int k = 0; k < 3; ++k) masks[k] = U32(dib + maskOffset + 4 * k);
        if (!UsableMasks(masks[0], masks[1], masks[2])) return 0;
        if (biSize < kHeaderWithMasks) dataOffset += 12;
        drawCompression = BI_BITFIELDS;
      } else if (compression != BI_RGB) {
        return 0;
      }
      break;
    case 24:
      if (compression != BI_RGB) return 0;
      break;
    case 32:
      // Bit fields or not, bytes 0, 1, 2 are blue, green, red.
      if (compression == BI_BITFIELDS && biSize < kHeaderWithMasks)
        dataOffset += 12;
      else if (compression != BI_RGB && compression != BI_BITFIELDS)
        return 0;
      break;
    default:
      return 0;
  }
  if (int64_t(biSize) + tableBytes > DIBSize) return 0;
  const uint8_t* data = static_cast<const uint8_t*>(Pixels);
  int64_t dataSize = PixelsSize;
  if (!data) {
    if (dataOffset > DIBSize) return 0;
    data = dib + dataOffset;
    dataSize = DIBSize - dataOffset;
  }
  const int64_t rowLen = ((int64_t(w) * bits + 31) / 32) * 4;
  if (dataSize < 0 || rowLen > dataSize / h) return 0;
  if (!VXImageSizeAllowed(w, h, bits == 1 ? 1 : 24)) return 0;

  // Our own header with the table or masks after it.
  std::vector<uint32_t> info(size_t(10 + (tableBytes ? tableBytes / 4 : 3)), 0);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  header->biSize = 40;
  header->biWidth = w;
  header->biHeight = biHeight;
  header->biPlanes = 1;
  header->biBitCount = WORD(bits);
  header->biCompression = drawCompression;
  header->biClrUsed = bits <= 8 ? clrUsed : 0;
  auto* after = reinterpret_cast<uint8_t*>(info.data() + 10);
  if (tableBytes) std::memcpy(after, dib + biSize, size_t(tableBytes));
  if (drawCompression == BI_BITFIELDS) std::memcpy(after, masks, sizeof masks);

  if (!Bitmap->AllocateBits(uint32_t(w), uint32_t(h), bits == 1 ? 1 : 24)) return 0;
  HDRAWDIB hdd = VXDrawDibOpen();
  if (!hdd) return 0;
  VXDrawDibDraw(hdd, Bitmap->GetHDC(), 0, 0, w, int(h), header, const_cast<uint8_t*>(data), 0, 0, w, int(h), 0);
  VXDrawDibClose(hdd);
  return bits;
}

int32_t VXDrawPackedDIB(HGLOBAL DIB, TVXDibbitmap* Bitmap, const void* Pixels, int64_t PixelsSize) {
  if (!Bitmap) return 0;
  const void* p = GlobalLock(DIB);
  if (!p) return 0;
  const int32_t result = VXDrawPackedDIB(p, int64_t(GlobalSize(DIB)), Bitmap, Pixels, PixelsSize);
  GlobalUnlock(DIB);
  return result;
}
