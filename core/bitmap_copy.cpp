// TVXBitmap: copying rectangles between bitmaps, merging alpha channels, and
// copying to and from a selection mask.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/mask.h"
#include "core/settings.h"

namespace {

// The clipped rectangle of a copy from a SrcW x SrcH image to a DstW x DstH
// image; false when nothing remains to copy.
struct ClipRect {
  int32_t SrcX, SrcY, DstX, DstY, W, H;
};

bool ClipCopyRect(int32_t SrcW, int32_t SrcH, int32_t DstW, int32_t DstH, int64_t SrcX, int64_t SrcY, int64_t DstX,
                  int64_t DstY, int64_t RectWidth, int64_t RectHeight, ClipRect& r) {
  if (SrcW <= 0 || SrcH <= 0 || DstW <= 0 || DstH <= 0) return false;
  if (DstX < 0) {
    SrcX -= DstX;
    RectWidth += DstX;
    DstX = 0;
  }
  if (DstY < 0) {
    SrcY -= DstY;
    RectHeight += DstY;
    DstY = 0;
  }
  DstX = std::min<int64_t>(DstX, DstW - 1);
  DstY = std::min<int64_t>(DstY, DstH - 1);
  SrcX = std::min<int64_t>(std::max<int64_t>(SrcX, 0), SrcW - 1);
  SrcY = std::min<int64_t>(std::max<int64_t>(SrcY, 0), SrcH - 1);
  if (SrcX + RectWidth > SrcW) RectWidth = SrcW - SrcX;
  if (SrcY + RectHeight > SrcH) RectHeight = SrcH - SrcY;
  if (DstX + RectWidth > DstW) RectWidth = DstW - DstX;
  if (DstY + RectHeight > DstH) RectHeight = DstH - DstY;
  if (RectWidth <= 0 || RectHeight <= 0) return false;
  r = ClipRect{int32_t(SrcX), int32_t(SrcY), int32_t(DstX), int32_t(DstY), int32_t(RectWidth), int32_t(RectHeight)};
  return true;
}

}  // namespace

void TVXBitmap::CopyRectTo(TVXBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t RectWidth,
                           int32_t RectHeight) {
  if (Dest == nullptr) return;
  ClipRect r;
  if (!ClipCopyRect(fWidth, fHeight, Dest->fWidth, Dest->fHeight, SrcX, SrcY, DstX, DstY, RectWidth, RectHeight, r))
    return;

  // Copying within one bitmap: rows go through a buffer (a file-backed
  // bitmap maps one row at a time), bottom-up when the target lies below.
  const bool same = Dest == this;
  const bool upward = same && r.DstY > r.SrcY;
  auto rowIndex = [&](int32_t i) { return upward ? r.H - 1 - i : i; };

  if (OnRenderVirtualPixel && Dest->fPixelFormat == vx24RGB && !same) {
    for (int32_t i = 0; i < r.H; ++i) {
      TRGB* d = static_cast<TRGB*>(Dest->GetSegment(r.DstY + i, r.DstX, r.W));
      if (d == nullptr) continue;
      for (int32_t x = 0; x < r.W; ++x) OnRenderVirtualPixel(this, r.SrcX + x, r.SrcY + i, d[x]);
    }
    return;
  }

  if (fPixelFormat == vx1g && Dest->fPixelFormat == vx1g) {
    std::vector<uint8_t> buffer(same ? static_cast<size_t>(fRowLen) : 0);
    for (int32_t k = 0; k < r.H; ++k) {
      const int32_t i = rowIndex(k);
      const uint8_t* s = static_cast<const uint8_t*>(GetScanLine(r.SrcY + i));
      if (s == nullptr) continue;
      if (same) {
        std::memcpy(buffer.data(), s, buffer.size());
        s = buffer.data();
      }
      uint8_t* d = static_cast<uint8_t*>(Dest->GetScanLine(r.DstY + i));
      if (d == nullptr) continue;
      VXCopyBitRun(d, s, r.DstX, int32_t(std::min<int64_t>(fRowLen, INT32_MAX)), r.W, r.SrcX);
    }
    return;
  }

  if (fPixelFormat == vx1g && Dest->fPixelFormat == vx24RGB) {
    for (int32_t i = 0; i < r.H; ++i) {
      const uint8_t* s = static_cast<const uint8_t*>(GetScanLine(r.SrcY + i));
      TRGB* d = static_cast<TRGB*>(Dest->GetSegment(r.DstY + i, r.DstX, r.W));
      if (s == nullptr || d == nullptr) continue;
      for (int32_t x = 0; x < r.W; ++x) {
        const int32_t sx = r.SrcX + x;
        const uint8_t v = (s[sx >> 3] & (0x80 >> (sx & 7))) ? 255 : 0;
        d[x] = TRGB{v, v, v};
      }
    }
    return;
  }

  if (fPixelFormat == Dest->fPixelFormat && fBitCount >= 8) {
    const size_t bytes = size_t(fBitCount / 8) * size_t(r.W);
    std::vector<uint8_t> buffer(same ? bytes : 0);
    for (int32_t k = 0; k < r.H; ++k) {
      const int32_t i = rowIndex(k);
      const uint8_t* s = static_cast<const uint8_t*>(GetSegment(r.SrcY + i, r.SrcX, r.W));
      if (s == nullptr) continue;
      if (same) {
        std::memcpy(buffer.data(), s, bytes);
        s = buffer.data();
      }
      uint8_t* d = static_cast<uint8_t*>(Dest->GetSegment(r.DstY + i, r.DstX, r.W));
      if (d == nullptr) continue;
      std::memmove(d, s, bytes);
    }
  }
}

void TVXBitmap::MergeAlphaRectTo(TVXBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                                 int32_t RectWidth, int32_t RectHeight) {
  if (Dest == nullptr) return;
  TVXBitmap* sa = AlphaChannel();
  TVXBitmap* da = Dest->AlphaChannel();
  if (sa == nullptr || da == nullptr) return;
  if (sa->fPixelFormat != vx8g || da->fPixelFormat != vx8g) return;
  ClipRect r;
  if (!ClipCopyRect(sa->fWidth, sa->fHeight, da->fWidth, da->fHeight, SrcX, SrcY, DstX, DstY, RectWidth, RectHeight, r))
    return;
  std::vector<uint8_t> buffer(static_cast<size_t>(r.W));
  const bool upward = sa == da && r.DstY > r.SrcY;
  for (int32_t k = 0; k < r.H; ++k) {
    const int32_t i = upward ? r.H - 1 - k : k;
    const uint8_t* s = static_cast<const uint8_t*>(sa->GetSegment(r.SrcY + i, r.SrcX, r.W));
    if (s == nullptr) continue;
    std::memcpy(buffer.data(), s, buffer.size());
    uint8_t* d = static_cast<uint8_t*>(da->GetSegment(r.DstY + i, r.DstX, r.W));
    if (d == nullptr) continue;
    for (int32_t x = 0; x < r.W; ++x) d[x] = std::max(buffer[size_t(x)], d[x]);
  }
}

void TVXBitmap::CopyFromTVXMask(TVXMask* Source) {
  if (Source == nullptr) {
    Fill(255);
    return;
  }
  TVXPixelFormat format;
  if (Source->BitsPerPixel() == 1)
    format = vx1g;
  else if (Source->BitsPerPixel() == 8)
    format = vx8g;
  else
    return;
  if (!Allocate(Source->Width(), Source->Height(), format)) return;
  const size_t bytes = size_t(std::min<int64_t>(fRowLen, Source->Rowlen()));
  for (int32_t i = 0; i < fHeight; ++i) {
    const uint8_t* s = Source->GetScanLine(i);
    uint8_t* d = static_cast<uint8_t*>(GetScanLine(i));
    if (d == nullptr) continue;
    if (s != nullptr)
      std::memcpy(d, s, bytes);
    else
      std::memset(d, 0, bytes);
  }
  fFull = Source->Full();
}

void TVXBitmap::CopyToTVXMask(TVXMask* Dest) {
  if (Dest == nullptr) return;
  switch (fPixelFormat) {
    case vx1g:
    case vx8g: {
      Dest->AllocateBits(fWidth, fHeight, fPixelFormat == vx1g ? 1 : 8);
      const size_t bytes = size_t(std::min<int64_t>(fRowLen, Dest->Rowlen()));
      for (int32_t i = 0; i < fHeight; ++i) {
        const uint8_t* s = static_cast<const uint8_t*>(GetScanLine(i));
        uint8_t* d = Dest->GetScanLine(i);
        if (s == nullptr || d == nullptr) continue;
        std::memcpy(d, s, bytes);
      }
      Dest->SetFull(fFull);
      break;
    }
    case vx24RGB: {
      Dest->AllocateBits(fWidth, fHeight, 8);
      const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
      const int32_t cr = st->RedToGrayCoef(), cg = st->GreenToGrayCoef(), cb = st->BlueToGrayCoef();
      for (int32_t i = 0; i < fHeight; ++i) {
        const TRGB* s = static_cast<const TRGB*>(GetScanLine(i));
        uint8_t* d = Dest->GetScanLine(i);
        if (s == nullptr || d == nullptr) continue;
        for (int32_t x = 0; x < fWidth; ++x)
          d[x] = uint8_t((int32_t(s[x].r) * cr + int32_t(s[x].g) * cg + int32_t(s[x].b) * cb) / 100);
      }
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Copies through a selection mask

void TVXBitmap::CopyWithMask1(TVXBitmap* Dest, TVXMask* SourceMask, int32_t Background) {
  if (Dest == nullptr || SourceMask == nullptr || SourceMask->IsEmpty() || Dest == this) return;
  if (!Dest->Allocate(SourceMask->X2() - SourceMask->X1() + 1, SourceMask->Y2() - SourceMask->Y1() + 1, fPixelFormat))
    return;
  if (fPixelFormat == vx8p) CopyPaletteTo(Dest);
  Dest->Fill(Background);
  SourceMask->CopyVXBitmap(Dest, this, true, false, true);
}

void TVXBitmap::CopyWithMask1(TVXBitmap* Dest, TVXMask* SourceMask) {
  if (Dest == nullptr || SourceMask == nullptr || SourceMask->IsEmpty() || Dest == this) return;
  const int32_t w = SourceMask->X2() - SourceMask->X1() + 1, h = SourceMask->Y2() - SourceMask->Y1() + 1;
  if (!Dest->Allocate(w, h, fPixelFormat)) return;
  if (fPixelFormat == vx8p) CopyPaletteTo(Dest);
  CopyRectTo(Dest, SourceMask->X1(), SourceMask->Y1(), 0, 0, w, h);
  SourceMask->CopyVXBitmap(Dest, this, true, false, true);
}

void TVXBitmap::CopyWithMask2(TVXBitmap* Dest, TVXMask* DestMask) {
  if (Dest == nullptr || DestMask == nullptr || DestMask->IsEmpty() || Dest == this) return;
  DestMask->CopyVXBitmap(Dest, this, false, true, false);
  if (HasAlphaChannel()) {
    TVXBitmap* da = Dest->AlphaChannel();
    if (da == nullptr) return;
    DestMask->CopyVXBitmap(da, fAlphaChannel.get(), false, true, false);
    da->SetFull(false);
  }
}
