#pragma once
// TVXDibbitmap: a minimal bitmap over a device-independent bitmap section,
// selected into a memory device context of its own (1 or 24 bits per
// pixel, rows bottom-up).

#include <cstdint>

#include "core/bitmap.h"
#include "winui/gdi.h"

class TBitmap;

class TVXDibbitmap : public TVXBaseBitmap {
 public:
  TVXDibbitmap();
  ~TVXDibbitmap() override;

  // False, keeping the old section, when width or height is 0 or the depth
  // is not 1 or 24; false (and no pixels) when the context or the section
  // cannot be made.
  bool AllocateBits(uint32_t BmpWidth, uint32_t BmpHeight, uint32_t BmpBitCount);
  // vx1g and vx24RGB only; other formats give false.
  bool Allocate(int32_t ImageWidth, int32_t ImageHeight, TVXPixelFormat ImagePixelFormat) override;
  // Deletes section and context; the size becomes 0.
  void FreeBits();

  void* GetScanLine(int32_t Row) const override;
  int32_t GetBitCount() const override { return int32_t(fBitCount); }
  int32_t GetHeight() const override { return int32_t(fHeight); }
  int32_t GetWidth() const override { return int32_t(fWidth); }
  // Raise EVXException "Cannot resize TVXDibBitmap".
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;
  TVXPixelFormat GetPixelFormat() const override;
  int64_t GetRowLen() const override { return int64_t(fRowLen); }
  TRGB* GetPaletteBuffer() const override { return nullptr; }
  TRGB GetPalette(int32_t) const override { return TRGB{0, 0, 0}; }
  void SetPalette(int32_t, TRGB) override {}
  int32_t GetPaletteLength() const override { return 0; }
  int32_t GetPaletteUsed() const override { return 0; }
  void SetPaletteUsed(int32_t) override {}
  // From another TVXDibbitmap only; other sources are ignored.
  void Assign(TVXBaseBitmap* Source) override;
  void AssignImage(TVXBaseBitmap* Source) override { Assign(Source); }
  void CopyPaletteTo(TVXBaseBitmap*) override {}

  // Dest becomes pf1bit or pf24bit of this size with these rows.
  void CopyToTBitmap(TBitmap* Dest);

  HDC GetHDC() const { return fHDC; }
  HBITMAP DIB() const { return fDIB; }
  uint8_t* Bits() const { return fBits; }
  int64_t Rowlen() const { return int64_t(fRowLen); }

 private:
  uint32_t fWidth = 0;
  uint32_t fHeight = 0;
  uint32_t fBitCount = 0;
  uint32_t fRowLen = 0;
  HDC fHDC = nullptr;
  HBITMAP fDIB = nullptr;
  HGDIOBJ fOldObject = nullptr;
  uint8_t* fBits = nullptr;
};
