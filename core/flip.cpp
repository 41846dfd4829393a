// Mirrors a bitmap of any pixel format, left to right or top to bottom, with
// its alpha channel.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/rotate.h"

namespace {

template <int B>
void ReversePixels(uint8_t* row, int32_t W, int32_t b) {
  const int32_t size = B > 0 ? B : b;
  uint8_t* l = row;
  uint8_t* r = row + int64_t(W - 1) * size;
  uint8_t tmp[16];
  for (; l < r; l += size, r -= size) {
    if constexpr (B == 1) {
      std::swap(*l, *r);
    } else if constexpr (B == 3) {
      std::swap(l[0], r[0]);
      std::swap(l[1], r[1]);
      std::swap(l[2], r[2]);
    } else {
      std::memcpy(tmp, l, size_t(size));
      std::memcpy(l, r, size_t(size));
      std::memcpy(r, tmp, size_t(size));
    }
  }
}

void FlipRows(TVXBitmap* Bitmap, TFlipDir Dir) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->IsVirtual()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const size_t rowLen = size_t(Bitmap->RowLen());
  if (Dir == fdVertical) {
    std::vector<uint8_t> tmp(rowLen);
    for (int32_t i = 0, j = H - 1; i < j; ++i, --j) {
      uint8_t* a = static_cast<uint8_t*>(Bitmap->GetRow(i));
      uint8_t* b = static_cast<uint8_t*>(Bitmap->GetRow(j));
      std::memcpy(tmp.data(), a, rowLen);
      std::memcpy(a, b, rowLen);
      std::memcpy(b, tmp.data(), rowLen);
      Bitmap->FreeRow(j);
      Bitmap->FreeRow(i);
    }
    return;
  }
  // Horizontal. The flipped row's padding is cleared, as in a fresh copy.
  const int32_t bits = Bitmap->BitCount();
  const size_t used = (size_t(W) * size_t(bits) + 7) / 8;
  std::vector<uint8_t> rev;
  if (Bitmap->PixelFormat() == vx1g) rev.resize(used);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->GetRow(y));
    if (Bitmap->PixelFormat() == vx1g) {
      // Bytes reversed and each byte bit-reversed; the padding bits, now in
      // front, are dropped by copying the row from bit p.
      for (size_t k = 0; k < used; ++k) rev[k] = VXReverseBitsTable[row[used - 1 - k]];
      std::memset(row, 0, rowLen);
      const int32_t p = (W % 8) != 0 ? 8 - (W % 8) : 0;
      VXCopyBitRun(row, rev.data(), 0, int32_t(used), W, p);
    } else {
      switch (bits / 8) {
        case 1: ReversePixels<1>(row, W, 1); break;
        case 3: ReversePixels<3>(row, W, 3); break;
        default: ReversePixels<0>(row, W, bits / 8); break;
      }
      if (rowLen > used) std::memset(row + used, 0, rowLen - used);
    }
    Bitmap->FreeRow(y);
  }
}

}  // namespace

void VXFlipBitmap(TVXBitmap* Bitmap, TFlipDir Dir) {
  if (!Bitmap) return;
  FlipRows(Bitmap, Dir);
  if (TVXBitmap* alpha = Bitmap->AlphaChannelOpt()) FlipRows(alpha, Dir);
}
