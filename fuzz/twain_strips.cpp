// Memory-transfer strips as a source reports them: image information and a
// strip record with any fields, and the strip's bytes in a block of exactly
// the size given, copied into a bitmap of the image's size (in memory and
// through a global handle, as stored strips and fresh ones are). Nothing is
// read or written outside the strip or the bitmap.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "acquire/twain_engine.h"
#include "core/bitmap.h"

namespace {

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHead = 3 + 6 * 4;
  if (size < kHead) return 0;
  static const int16_t kDepths[] = {1, 8, 16, 24, 48, 4, 32, 0};
  TW_IMAGEINFO info{};
  info.BitsPerPixel = kDepths[data[0] & 7];
  info.ImageWidth = 1 + data[1] % 64;
  info.ImageLength = 1 + data[2] % 64;
  const bool native = data[0] & 8;
  TW_IMAGEMEMXFER strip{};
  strip.BytesPerRow = U32(data + 3);
  strip.Columns = U32(data + 7);
  strip.Rows = U32(data + 11) % 100000;
  strip.XOffset = U32(data + 15);
  strip.YOffset = U32(data + 19);
  strip.BytesWritten = U32(data + 23);
  const size_t n = size - kHead;
  tgrec r;
  VXTW_InitRecord(r);
  r.NativePixelFormat = native;
  TVXBitmap b;
  TVXPixelFormat fmt = vx24RGB;
  if (info.BitsPerPixel == 1) fmt = vx1g;
  if (native && info.BitsPerPixel == 8) fmt = vx8g;
  if (native && info.BitsPerPixel == 16) fmt = vx16g;
  if (native && info.BitsPerPixel == 48) fmt = vx48RGB;
  b.Allocate(info.ImageWidth, info.ImageLength, fmt);
  // A stored strip: its own copy of exactly its bytes.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[n ? n : 1]);
  if (n) std::memcpy(copy.get(), data + kHead, n);
  strip.Memory.TheMem = copy.get();
  strip.Memory.Length = uint32_t(n);
  CopyBuffer(r, &b, info, false, strip);
  // A fresh strip in the application's global block.
  HGLOBAL h = GlobalAlloc(GMEM_FIXED, n);
  if (h) {
    if (n) std::memcpy(GlobalLock(h), data + kHead, n);
    if (n) GlobalUnlock(h);
    strip.Memory.TheMem = h;
    strip.Memory.Length = uint32_t(data[1]) << 8 | data[2];  // may claim more than the block holds
    CopyBuffer(r, &b, info, true, strip);
    GlobalFree(h);
  }
  return 0;
}
