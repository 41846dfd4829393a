// TVXDibbitmap, the copies between TVXBitmap and DIB sections, and the
// bitmap's exchange with packed DIBs.

#include "core/dibbitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitrows.h"
#include "core/dib.h"
#include "core/limits.h"
#include "core/settings.h"
#include "gui/graphics.h"

// ---------------------------------------------------------------------------
// TVXDibbitmap

TVXDibbitmap::TVXDibbitmap() = default;

TVXDibbitmap::~TVXDibbitmap() { FreeBits(); }

void TVXDibbitmap::FreeBits() {
  if (fHDC) {
    if (fOldObject) SelectObject(fHDC, fOldObject);
    DeleteDC(fHDC);
  }
  if (fDIB) DeleteObject(fDIB);
  fHDC = nullptr;
  fDIB = nullptr;
  fOldObject = nullptr;
  fBits = nullptr;
  fWidth = fHeight = fBitCount = fRowLen = 0;
}

bool TVXDibbitmap::AllocateBits(uint32_t BmpWidth, uint32_t BmpHeight, uint32_t BmpBitCount) {
  if (BmpWidth == 0 || BmpHeight == 0) return false;
  if (BmpBitCount != 1 && BmpBitCount != 24) return false;
  if (BmpWidth > uint32_t(INT32_MAX) || BmpHeight > uint32_t(INT32_MAX)) return false;
  const int64_t rowLen = VXBitmapRowLen(int32_t(BmpWidth), int32_t(BmpBitCount), 32);
  if (rowLen <= 0 || rowLen > int64_t(UINT32_MAX) / int64_t(BmpHeight)) return false;
  if (!VXImageSizeAllowed(BmpWidth, BmpHeight, BmpBitCount)) return false;
  FreeBits();
  fWidth = BmpWidth;
  fHeight = BmpHeight;
  fBitCount = BmpBitCount;
  fRowLen = uint32_t(rowLen);
  fHDC = CreateCompatibleDC(nullptr);
  if (!fHDC) {
    FreeBits();
    return false;
  }
  // A 40-byte header followed by a two-entry table: black, white.
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD));
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
  bmi->bmiHeader.biSize = 40;
  bmi->bmiHeader.biWidth = LONG(fWidth);
  bmi->bmiHeader.biHeight = LONG(fHeight);
  bmi->bmiHeader.biPlanes = 1;
  bmi->bmiHeader.biBitCount = WORD(fBitCount);
  bmi->bmiHeader.biCompression = BI_RGB;
  bmi->bmiHeader.biSizeImage = fRowLen * fHeight;
  bmi->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
  RGBQUAD white{255, 255, 255, 0};
  std::memcpy(info.data() + sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD), &white, sizeof white);
  void* bits = nullptr;
  fDIB = CreateDIBSection(fHDC, bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!fDIB || !bits) {
    FreeBits();
    return false;
  }
  fBits = static_cast<uint8_t*>(bits);
  fOldObject = SelectObject(fHDC, fDIB);
  return true;
}

bool TVXDibbitmap::Allocate(int32_t ImageWidth, int32_t ImageHeight, TVXPixelFormat ImagePixelFormat) {
  if (ImageWidth < 0 || ImageHeight < 0) return false;
  if (ImagePixelFormat == vx1g) return AllocateBits(uint32_t(ImageWidth), uint32_t(ImageHeight), 1);
  if (ImagePixelFormat == vx24RGB) return AllocateBits(uint32_t(ImageWidth), uint32_t(ImageHeight), 24);
  return false;
}

void* TVXDibbitmap::GetScanLine(int32_t Row) const {
  if (!fBits || Row < 0 || uint32_t(Row) >= fHeight) return nullptr;
  return fBits + size_t(fHeight - 1 - uint32_t(Row)) * fRowLen;
}

void TVXDibbitmap::SetWidth(int32_t) { throw EVXException("Cannot resize TVXDibBitmap"); }

void TVXDibbitmap::SetHeight(int32_t) { throw EVXException("Cannot resize TVXDibBitmap"); }

TVXPixelFormat TVXDibbitmap::GetPixelFormat() const {
  if (fBitCount == 1) return vx1g;
  if (fBitCount == 24) return vx24RGB;
  return vxnull;
}

void TVXDibbitmap::Assign(TVXBaseBitmap* Source) {
  auto* src = dynamic_cast<TVXDibbitmap*>(Source);
  if (!src || src == this || !src->fBits) return;
  if (!AllocateBits(src->fWidth, src->fHeight, src->fBitCount)) return;
  std::memcpy(fBits, src->fBits, size_t(fRowLen) * fHeight);
}

void TVXDibbitmap::CopyToTBitmap(TBitmap* Dest) {
  if (!Dest) return;
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(fBitCount == 1 ? pf1bit : pf24bit);
  Dest->SetSize(int(fWidth), int(fHeight));
  if (!fBits) return;
  const size_t n = std::min<size_t>(fRowLen, Dest->RowBytes());
  for (uint32_t y = 0; y < fHeight; ++y) std::memcpy(Dest->ScanLine(int(y)), GetScanLine(int32_t(y)), n);
}

// ---------------------------------------------------------------------------
// TVXBitmap <-> TVXDibbitmap

void TVXBitmap::CopyFromTDibBitmap(TVXDibbitmap* Source) {
  if (!Source || !Source->Bits()) return;
  const int32_t bits = Source->BitCount();
  TVXPixelFormat f = bits == 1 ? vx1g : bits == 24 ? vx24RGB : bits == 8 ? vx8g : vxnull;
  if (f == vxnull) return;
  if (!Allocate(Source->Width(), Source->Height(), f)) return;
  const int64_t n = std::min(fRowLen, Source->RowLen());
  const TVXDataAccess access = fAccess;
  fAccess = vxdWrite;
  for (int32_t i = 0; i < fHeight; ++i) std::memcpy(GetScanLine(i), Source->GetScanLine(i), size_t(n));
  UnMapRows();
  fAccess = access;
  fFull = false;
}

void TVXBitmap::MergeFromTDibBitmap(TVXDibbitmap* Source, int32_t x, int32_t y) {
  if (!Source || !Source->Bits() || IsEmpty()) return;
  const int32_t bits = Source->BitCount();
  if (!((bits == 1 && fPixelFormat == vx1g) || (bits == 24 && fPixelFormat == vx24RGB))) return;
  // Clipped to both sides.
  int32_t sx = 0, sy = 0;
  if (x < 0) {
    sx = -x;
    x = 0;
  }
  if (y < 0) {
    sy = -y;
    y = 0;
  }
  const int64_t w = std::min<int64_t>(int64_t(Source->Width()) - sx, int64_t(fWidth) - x);
  const int64_t h = std::min<int64_t>(int64_t(Source->Height()) - sy, int64_t(fHeight) - y);
  if (w <= 0 || h <= 0) return;
  const TVXDataAccess access = fAccess;
  fAccess = vxdRead | vxdWrite;
  for (int32_t i = 0; i < h; ++i) {
    const auto* s = static_cast<const uint8_t*>(Source->GetScanLine(sy + i));
    auto* d = static_cast<uint8_t*>(GetScanLine(y + i));
    if (!s || !d) continue;
    if (bits == 1)
      VXCopyBitRun(d, s, x, int32_t(Source->RowLen()), int32_t(w), sx);
    else
      std::memcpy(d + 3 * int64_t(x), s + 3 * int64_t(sx), size_t(3 * w));
  }
  UnMapRows();
  fAccess = access;
  fFull = false;
}

void TVXBitmap::CopyToTDibBitmap(TVXDibbitmap* Dest, int32_t source_x, int32_t source_y, int32_t sourceWidth,
                                 int32_t sourceHeight) {
  if (!Dest || !Dest->Bits() || IsEmpty()) return;
  const int32_t bits = Dest->BitCount();
  if (!((bits == 1 && fPixelFormat == vx1g) || (bits == 24 && fPixelFormat == vx24RGB))) return;
  int32_t dx = 0, dy = 0;
  int64_t sw = sourceWidth, sh = sourceHeight;
  if (source_x < 0) {
    dx = -source_x;
    sw += source_x;
    source_x = 0;
  }
  if (source_y < 0) {
    dy = -source_y;
    sh += source_y;
    source_y = 0;
  }
  const int64_t w = std::min({int64_t(Dest->Width()) - dx, sw, int64_t(fWidth) - source_x});
  const int64_t h = std::min({int64_t(Dest->Height()) - dy, sh, int64_t(fHeight) - source_y});
  if (w <= 0 || h <= 0) return;
  const TVXDataAccess access = fAccess;
  fAccess = vxdRead;
  for (int32_t i = 0; i < h; ++i) {
    auto* d = static_cast<uint8_t*>(Dest->GetScanLine(dy + i));
    if (bits == 1) {
      const auto* s = static_cast<const uint8_t*>(GetScanLine(source_y + i));
      if (s && d) VXCopyBitRun(d, s, dx, int32_t(std::min<int64_t>(fRowLen, INT32_MAX)), int32_t(w), source_x);
    } else {
      const auto* s = static_cast<const uint8_t*>(GetSegment(source_y + i, source_x, int32_t(w)));
      if (s && d) std::memcpy(d + 3 * int64_t(dx), s, size_t(3 * w));
    }
  }
  UnMapRows();
  fAccess = access;
}

// ---------------------------------------------------------------------------
// Packed DIBs

void TVXBitmap::CopyFromDIB(HGLOBAL Source) { VXCopyDIBToBitmap(Source, this); }

void TVXBitmap::CopyFromDIB(const void* BitmapInfo, const void* Pixels) {
  if (!BitmapInfo) return;
  // The header says how much it and its colour table take; the pixels are
  // given apart, their size from the header's rows.
  const auto* h = static_cast<const uint8_t*>(BitmapInfo);
  auto u32 = [](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; };
  const uint32_t biSize = u32(h);
  if (biSize < 40 || biSize > 124) return;
  const int32_t width = int32_t(u32(h + 4));
  const int32_t height = int32_t(u32(h + 8));
  const uint32_t bitCount = uint32_t(h[14]) | uint32_t(h[15]) << 8;
  const uint32_t compression = u32(h + 16);
  uint32_t clrUsed = u32(h + 32);
  int64_t tableBytes = 0;
  if (bitCount <= 8) {
    if (clrUsed == 0 || clrUsed > 256) clrUsed = 1u << bitCount;
    tableBytes = 4 * int64_t(clrUsed);
  } else if (compression == BI_BITFIELDS && biSize == 40) {
    tableBytes = 12;
  }
  const int64_t absHeight = height < 0 ? -int64_t(height) : int64_t(height);
  const int64_t rowLen = VXBitmapRowLen(width, int32_t(bitCount), 32);
  if (width <= 0 || absHeight == 0 || rowLen <= 0) return;
  const int64_t pixelBytes = rowLen * absHeight;
  VXCopyDIBToBitmap(BitmapInfo, int64_t(biSize) + tableBytes, this, Pixels, Pixels ? pixelBytes : 0);
}

HGLOBAL TVXBitmap::CreateDIB() { return CreateDIB(0, 0, 0, 0); }

HGLOBAL TVXBitmap::CreateDIB(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  return _CopyBitmaptoDIBEx(this, x1, y1, x2, y2, s->DefaultDPIX(), s->DefaultDPIY());
}
