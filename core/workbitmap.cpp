#include "core/workbitmap.h"

#include <cstdlib>
#include <new>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/settings.h"

namespace {

// The smallest fragment tried after the first round of four.
constexpr int64_t kWorkFragmentFloor = 10485760;

uint8_t* ZeroFragment(int64_t Size) {
  const int64_t limit = VXMaxMemoryBlock();
  if (Size < 0 || (limit >= 0 && Size > limit) || uint64_t(Size) > SIZE_MAX) return nullptr;
  return static_cast<uint8_t*>(std::calloc(Size == 0 ? 1 : size_t(Size), 1));
}

}  // namespace

TVXWorkBitmap::TVXWorkBitmap(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount) {
  if (BmpWidth > 0 && BmpHeight > 0) AllocateBits(BmpWidth, BmpHeight, BmpBitCount);
}

TVXWorkBitmap::~TVXWorkBitmap() { FreeBits(); }

void TVXWorkBitmap::FreeBits() {
  if (fBlock) VXFreeBlock(fBlock);
  fBits = nullptr;
  for (uint8_t* f : fFragments) std::free(f);
  fFragments.clear();
  fWidth = fHeight = fBitCount = fRowLen = fRowsPerFragment = 0;
}

void TVXWorkBitmap::AllocateBits(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount) {
  if (BmpWidth == fWidth && BmpHeight == fHeight && BmpBitCount == fBitCount) return;
  FreeBits();
  if (BmpWidth <= 0 || BmpHeight <= 0 || BmpBitCount <= 0) return;
  // The whole size in 64 bits, held to the pixel limit before anything is
  // allocated.
  VXCheckImageSize(BmpWidth, BmpHeight, BmpBitCount);
  const int64_t rowLen = VXBitmapRowLen(BmpWidth, BmpBitCount, 32);
  if (rowLen <= 0 || rowLen > INT32_MAX) throw EVXException("Image too large: " + std::to_string(BmpWidth) + " x " +
                                                            std::to_string(BmpHeight) + " pixels");
  const int64_t size = rowLen * int64_t(BmpHeight);
  // Rows of words, floats and doubles need aligned addresses; the block's
  // own start is not.
  fBlock = VXAllocBlock(size + 63);
  if (fBlock) {
    fBits = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(fBlock) + 63) & ~uintptr_t(63));
  } else if (!AllocateFragments(BmpHeight, rowLen)) {
    throw std::bad_alloc();
  }
  fWidth = BmpWidth;
  fHeight = BmpHeight;
  fBitCount = BmpBitCount;
  fRowLen = int32_t(rowLen);
}

// Four fragments first, then twice as many each round while a fragment keeps
// at least 10 MiB and the count stays below the height.
bool TVXWorkBitmap::AllocateFragments(int64_t Height, int64_t RowLen) {
  if (!VXGetGlobalSettings()->AutoFragmentBitmap()) return false;
  int64_t n = 4;
  for (;;) {
    const int64_t rowsPer = (Height + n - 1) / n;
    const int64_t fragSize = rowsPer * RowLen;
    if (fragSize < kWorkFragmentFloor && n > 4) return false;
    const int64_t count = (Height + rowsPer - 1) / rowsPer;
    std::vector<uint8_t*> frags;
    frags.reserve(size_t(count));
    bool ok = true;
    for (int64_t i = 0; i < count; ++i) {
      uint8_t* f = ZeroFragment(fragSize);
      if (!f) {
        ok = false;
        break;
      }
      frags.push_back(f);
    }
    if (ok) {
      fFragments = std::move(frags);
      fRowsPerFragment = int32_t(rowsPer);
      return true;
    }
    for (uint8_t* f : frags) std::free(f);
    n *= 2;
    if (n >= Height) return false;
  }
}

uint8_t* TVXWorkBitmap::GetScanline(int32_t Row) const {
  if (!fFragments.empty())
    return fFragments[size_t(Row / fRowsPerFragment)] + int64_t(Row % fRowsPerFragment) * fRowLen;
  return fBits + int64_t(fRowLen) * (int64_t(fHeight) - 1 - Row);
}

void TVXWorkBitmap::SetBit(int32_t Row, int32_t Col, int32_t Value) {
  uint8_t* p = GetScanline(Row) + Col / 8;
  const uint8_t mask = uint8_t(0x80u >> (Col % 8));
  if (Value != 0)
    *p |= mask;
  else
    *p &= uint8_t(~mask);
}
