#include "proc/rowops.h"

#include <cstring>
#include <vector>

#include "core/bitmap.h"

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
