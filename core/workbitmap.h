#pragma once
// TVXWorkBitmap: a raw row buffer of any bit depth that the processing
// routines use as a scratch image (bytes, words, RGB triples, floats,
// doubles or single bits a pixel). Rows are 32-bit aligned
// (VXBitmapRowLen). The storage is one block holding the rows bottom-up,
// as a bitmap's does; when no block can be had and the settings allow
// fragmented bitmaps, fragments holding the rows top-down.

#include <cstdint>
#include <vector>

#include "core/pixels.h"

class TVXWorkBitmap {
 public:
  TVXWorkBitmap() = default;
  // Empty; allocates when BmpWidth and BmpHeight are above 0.
  TVXWorkBitmap(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount);
  ~TVXWorkBitmap();
  TVXWorkBitmap(const TVXWorkBitmap&) = delete;
  TVXWorkBitmap& operator=(const TVXWorkBitmap&) = delete;

  // Nothing when size and bit count are unchanged (the content stays).
  // Otherwise frees the old storage and allocates zeroed rows: one block,
  // else fragments. A size beyond the library's pixel limit raises
  // EVXException; no storage at all raises std::bad_alloc. Either way the
  // work bitmap is left empty (0 x 0).
  void AllocateBits(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount);
  // Releases the storage and clears every field.
  void FreeBits();

  int32_t Width() const { return fWidth; }
  int32_t Height() const { return fHeight; }
  int32_t BitCount() const { return fBitCount; }
  int32_t Rowlen() const { return fRowLen; }
  // The single block (aligned for every pixel type), or nullptr (empty or
  // fragmented).
  uint8_t* Bits() const { return fBits; }
  int32_t RowsPerFragment() const { return fRowsPerFragment; }
  int32_t FragmentsCount() const { return int32_t(fFragments.size()); }

  uint8_t* GetScanline(int32_t Row) const;
  uint8_t* Scanline(int32_t Row) const { return GetScanline(Row); }

  uint8_t* GetPByte(int32_t Row, int32_t Col) const { return GetScanline(Row) + Col; }
  uint16_t* GetPWord(int32_t Row, int32_t Col) const {
    return reinterpret_cast<uint16_t*>(GetScanline(Row) + 2 * int64_t(Col));
  }
  TRGB* GetPRGB(int32_t Row, int32_t Col) const {
    return reinterpret_cast<TRGB*>(GetScanline(Row) + 3 * int64_t(Col));
  }
  float* GetPSingle(int32_t Row, int32_t Col) const {
    return reinterpret_cast<float*>(GetScanline(Row) + 4 * int64_t(Col));
  }
  int32_t* GetPInteger(int32_t Row, int32_t Col) const {
    return reinterpret_cast<int32_t*>(GetScanline(Row) + 4 * int64_t(Col));
  }
  double* GetPDouble(int32_t Row, int32_t Col) const {
    return reinterpret_cast<double*>(GetScanline(Row) + 8 * int64_t(Col));
  }

  // Sets (Value != 0) or clears the bit of column Col in row Row, the most
  // significant bit of a byte being the leftmost pixel.
  void SetBit(int32_t Row, int32_t Col, int32_t Value);

 private:
  bool AllocateFragments(int64_t Height, int64_t RowLen);

  int32_t fWidth = 0;
  int32_t fHeight = 0;
  int32_t fBitCount = 0;
  int32_t fRowLen = 0;
  uint8_t* fBits = nullptr;      // 64-byte aligned, inside fBlock
  void* fBlock = nullptr;         // as VXAllocBlock gave it
  int32_t fRowsPerFragment = 0;
  std::vector<uint8_t*> fFragments;
};
