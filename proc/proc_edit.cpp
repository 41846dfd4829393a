// TVexlaneProc: canvas size, clearing, cropping to the selection, merging
// with another image and the negative, with their worker routines.

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/mask.h"
#include "core/cmyk.h"
#include "proc/edits.h"
#include "proc/caption.h"
#include "proc/proc.h"
#include "gui/graphics.h"
#include "resample/resample.h"

using vxproc::FormatCaption;

namespace {

// Cuts a worker rectangle to the bitmap; false when nothing remains.
bool CutRect(const TVXBitmap* Bitmap, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  return x2 > x1 && y2 > y1;
}

// Progress after row y of rows y1 .. y2 - 1.
void RowProgress(void* Sender, const TVXProgressEvent& OnProgress, int32_t y, int32_t y1, int32_t y2) {
  if (!OnProgress) return;
  const double rows = double(y2 - y1);
  OnProgress(Sender, int32_t(double(y - y1 + 1) * 100.0 / (rows - 1 + 0.5)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Workers

void VXDoMerge(TVXBitmap* Bitmap, TVXBitmap* DBitmap, int32_t pcf, void* Sender, const TVXProgressEvent& OnProgress,
               int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Bitmap || !DBitmap || DBitmap->IsEmpty() || Bitmap->PixelFormat() != vx24RGB) return;
  if (!CutRect(Bitmap, x1, y1, x2, y2)) return;
  // The other image as vx24RGB, stretched to the rectangle.
  TVXBitmap other24;
  TVXBitmap* source = DBitmap;
  if (DBitmap->PixelFormat() != vx24RGB) {
    other24.SetMinFileSize(DBitmap->MinFileSize());
    other24.Assign(DBitmap);
    other24.SetPixelFormat(vx24RGB);
    source = &other24;
  }
  TVXBitmap stretched;
  if (!stretched.Allocate(x2 - x1, y2 - y1, vx24RGB)) throw EVXException("Not enough memory to merge the images");
  VXStretchNearest(source, &stretched);
  const double own = double(pcf), rest = double(100 - pcf);
  for (int32_t y = y1; y < y2; ++y) {
    uint8_t* d = static_cast<uint8_t*>(Bitmap->GetRow(y)) + size_t(x1) * 3;
    const uint8_t* s = static_cast<const uint8_t*>(stretched.GetRow(y - y1));
    for (int32_t i = 0; i < (x2 - x1) * 3; ++i) {
      const double v = std::nearbyint(double(d[i]) * own / 100.0 + double(s[i]) * rest / 100.0);
      d[i] = v < 0 ? 0 : v > 255 ? 255 : uint8_t(v);
    }
    stretched.FreeRow(y - y1);
    Bitmap->FreeRow(y);
    RowProgress(Sender, OnProgress, y, y1, y2);
  }
}

void VXDoNegative(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                  const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt == vx8p) {
    for (int32_t i = 0; i < Bitmap->PaletteLength(); ++i) {
      TRGB c = Bitmap->Palette(i);
      Bitmap->SetPalette(i, TRGB{uint8_t(255 - c.b), uint8_t(255 - c.g), uint8_t(255 - c.r)});
    }
    return;
  }
  if (!CutRect(Bitmap, x1, y1, x2, y2)) return;
  const size_t n = size_t(x2 - x1);
  for (int32_t y = y1; y < y2; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->GetRow(y));
    switch (fmt) {
      case vx1g:
        for (int32_t x = x1; x < x2; ++x) row[x >> 3] ^= uint8_t(0x80 >> (x & 7));
        break;
      case vx8g:
        for (size_t i = 0; i < n; ++i) row[size_t(x1) + i] = uint8_t(255 - row[size_t(x1) + i]);
        break;
      case vx24RGB:
        for (size_t i = 0; i < 3 * n; ++i) row[3 * size_t(x1) + i] = uint8_t(255 - row[3 * size_t(x1) + i]);
        break;
      case vx32RGB:
        for (size_t i = 0; i < n; ++i) {
          uint8_t* p = row + 4 * (size_t(x1) + i);
          p[0] = uint8_t(255 - p[0]), p[1] = uint8_t(255 - p[1]), p[2] = uint8_t(255 - p[2]);
        }
        break;
      case vx16g:
      case vx48RGB: {
        const size_t words = fmt == vx16g ? n : 3 * n;
        uint8_t* p = row + size_t(x1) * (fmt == vx16g ? 2 : 6);
        for (size_t i = 0; i < words; ++i) {
          uint16_t v;
          std::memcpy(&v, p + 2 * i, 2);
          v = uint16_t(65535 - v);
          std::memcpy(p + 2 * i, &v, 2);
        }
        break;
      }
      case vx32f: {
        uint8_t* p = row + 4 * size_t(x1);
        for (size_t i = 0; i < n; ++i) {
          float v;
          std::memcpy(&v, p + 4 * i, 4);
          v = 1 - v;
          std::memcpy(p + 4 * i, &v, 4);
        }
        break;
      }
      case vxCMYK:
        for (size_t i = 0; i < n; ++i) {
          uint8_t* p = row + 4 * (size_t(x1) + i);
          const TRGB c = VXCMYK2RGB(TCMYK{p[0], p[1], p[2], p[3]});
          const TCMYK k = VXRGB2CMYK(TRGB{uint8_t(255 - c.b), uint8_t(255 - c.g), uint8_t(255 - c.r)});
          p[0] = k.c, p[1] = k.m, p[2] = k.y, p[3] = k.k;
        }
        break;
      case vxCIELab:
        for (size_t i = 0; i < n; ++i) {
          uint8_t* p = row + 3 * (size_t(x1) + i);
          const TRGB c = VXCIELab2RGB(TCIELab{p[0], int8_t(p[1]), int8_t(p[2])});
          const TCIELab l = VXRGB2CIELab(TRGB{uint8_t(255 - c.b), uint8_t(255 - c.g), uint8_t(255 - c.r)});
          p[0] = l.l, p[1] = uint8_t(l.a), p[2] = uint8_t(l.b);
        }
        break;
      default:
        break;
    }
    Bitmap->FreeRow(y);
    RowProgress(Sender, OnProgress, y, y1, y2);
  }
}

void VXFillSelection(TVXBitmap* Bitmap, TVXMask* mask, TColor Value) {
  if (!Bitmap || Bitmap->IsEmpty() || !mask || mask->IsEmpty()) return;
  TVXBitmap fill;
  if (!fill.Allocate(mask->X2() - mask->X1() + 1, mask->Y2() - mask->Y1() + 1, Bitmap->PixelFormat()))
    throw EVXException("Not enough memory for the selection");
  if (Bitmap->PixelFormat() == vx8p) Bitmap->CopyPaletteTo(&fill);
  fill.Fill(Value);
  mask->CopyVXBitmap(Bitmap, &fill, false, true, false);
}

// ---------------------------------------------------------------------------
// Operations

void TVexlaneProc::ImageResize(int32_t newWidth, int32_t newHeight, TVXHAlign HorizAlign, TVXVAlign VertAlign,
                               int32_t FillAlpha) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (newWidth <= 0 || newHeight <= 0) return;
  if (newWidth == fVXBitmap->Width() && newHeight == fVXBitmap->Height()) return;
  if (fAutoUndo) SaveUndoCaptioned(FormatCaption("ImageResize %d, %d", int(newWidth), int(newHeight)), vxuImage);
  if (fVXBitmap->Width() < 2 || fVXBitmap->Height() < 2) Clear();
  if (FillAlpha < 255) fVXBitmap->AlphaChannel();
  fVXBitmap->Resize(newWidth, newHeight, double(Background()), FillAlpha, HorizAlign, VertAlign);
  Update();
  DoFinishWork();
}

void TVexlaneProc::Clear() {
  if (!BeginCanvasEdit("Clear")) return;
  fVXBitmap->Fill(double(Background()));
  Update();
  DoFinishWork();
}

void TVexlaneProc::ClearSel() {
  if (!BeginCanvasEdit("ClearSel")) return;
  int32_t x1, y1, x2, y2;
  TVXMask* mask = nullptr;
  GetReSel(x1, y1, x2, y2, mask);
  if (mask && !mask->IsEmpty()) VXFillSelection(fVXBitmap, mask, Background());
  Update();
  DoFinishWork();
}

void TVexlaneProc::CropSel(bool TransparencyOnly) {
  if (!BeginCanvasEdit("CropSel")) return;
  int32_t x1, y1, x2, y2;
  TVXMask* mask = nullptr;
  if (GetReSel(x1, y1, x2, y2, mask) && mask && !mask->IsEmpty()) {
    if (TransparencyOnly) {
      // The alpha channel becomes the selection: a 1-bit mask gives 0 and
      // 255, pixels beyond the mask are transparent.
      TVXBitmap* alpha = fVXBitmap->AlphaChannel();
      if (alpha && !alpha->IsEmpty()) {
        const int32_t bpp = mask->BitsPerPixel();
        for (int32_t y = 0; y < alpha->Height(); ++y) {
          uint8_t* a = static_cast<uint8_t*>(alpha->GetRow(y));
          const uint8_t* m = y < mask->Height() ? mask->GetScanLine(y) : nullptr;
          for (int32_t x = 0; x < alpha->Width(); ++x) {
            uint8_t v = 0;
            if (m && x < mask->Width())
              v = bpp == 8 ? m[x] : ((m[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0);
            a[x] = v;
          }
          alpha->FreeRow(y);
        }
        alpha->SyncFull();
      }
    } else {
      TVXBitmap cropped;
      fVXBitmap->CopyWithMask1(&cropped, mask, Background());
      if (!cropped.IsEmpty()) {
        fVXBitmap->Assign(&cropped);
        if (TVXBitmap* alpha = fVXBitmap->AlphaChannel()) {
          alpha->SyncFull();
          if (alpha->Full()) fVXBitmap->RemoveAlphaChannel(false, 0);
        }
      }
    }
  }
  Update();
  DoFinishWork();
}

void TVexlaneProc::Merge(TBitmap* DBitmap, int32_t pcf) {
  if (!DBitmap || DBitmap->Empty()) return;
  // A copy of the platform bitmap in 24-bit colours (any platform format).
  TVXBitmap other;
  other.CopyFromTBitmap(DBitmap);
  if (other.IsEmpty()) return;
  if (other.PixelFormat() != vx24RGB) other.SetPixelFormat(vx24RGB);
  MergeVXBitmap(&other, pcf);
}

void TVexlaneProc::MergeVXBitmap(TVXBitmap* DBitmap, int32_t pcf) {
  if (!DBitmap || DBitmap->IsEmpty()) return;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, FormatCaption("Merge %d", int(pcf)), work,
                            mask))
    return;
  VXDoMerge(work, DBitmap, pcf, this, OnProgress, x1, y1, x2, y2);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

void TVexlaneProc::Negative() {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet(), x1, y1, x2, y2, "Negative", work, mask)) return;
  VXDoNegative(work, x1, y1, x2, y2, this, OnProgress);
  EndImageProcessing(work, mask);
  DoFinishWork();
}
