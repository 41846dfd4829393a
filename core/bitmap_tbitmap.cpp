// TVXBitmap: rows kept in a platform bitmap (location vxTBitmap), its canvas,
// the copies to and from platform bitmaps, and rendering onto them.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/dibbitmap.h"
#include "core/settings.h"
#include "core/sysutils.h"
#include "core/tbitmaputils.h"
#include "gui/graphics.h"

namespace {

// The platform format that holds a bitmap format (pfCustom: none).
TPixelFormat PlatformFormatOf(TVXPixelFormat f) {
  switch (f) {
    case vx1g: return pf1bit;
    case vx8p:
    case vx8g:
    case vx16g: return pf8bit;
    case vx24RGB: return pf24bit;
    case vx32RGB: return pf32bit;
    default: return pfCustom;
  }
}

std::vector<RGBQUAD> ToRGBQUADs(const TRGB* p, int32_t n) {
  std::vector<RGBQUAD> q(size_t(std::max(n, 0)));
  for (int32_t i = 0; i < n; ++i) q[size_t(i)] = RGBQUAD{p[i].b, p[i].g, p[i].r, 0};
  return q;
}

}  // namespace

// ---------------------------------------------------------------------------
// Keeping the fields in line with the platform bitmap

void TVXBitmap::SetFormatFields(TVXPixelFormat Format) {
  fPixelFormat = Format;
  fBitCount = VXPixelFormatBitCount[Format];
  fChannelCount = VXPixelFormatChannelCount[Format];
  // Platform rows are 32-bit aligned whatever alignment the bitmap asks for.
  fRowLen = VXBitmapRowLen(fWidth, fBitCount, fLocation == vxTBitmap ? 32 : fBitAlignment);
}

void TVXBitmap::RebuildScanlines() {
  FreeVXCanvas();  // the platform bitmap's pixels changed
  fBitmapScanlines.clear();
  if (!fBitmap || fBitmap->Empty()) return;
  fBitmapScanlines.resize(size_t(fBitmap->Height()));
  for (int32_t i = 0; i < fBitmap->Height(); ++i) fBitmapScanlines[size_t(i)] = static_cast<uint8_t*>(fBitmap->ScanLine(i));
}

void TVXBitmap::FreePlatformBitmap() {
  FreeVXCanvas();
  if (fBitmap && !fEncapsulatedFromTBitmap) delete fBitmap;
  fBitmap = nullptr;
  fBitmapScanlines.clear();
}

void TVXBitmap::UpdateFromTBitmap() {
  if (!fBitmap || IsVirtual()) return;
  // Depths the bitmap cannot address (4 and 16 bits, a device format of
  // another depth) are turned into 24 bits by the platform.
  const int bits = fBitmap->BitsPerPixel();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) fBitmap->SetPixelFormat(pf24bit);
  TVXPixelFormat f;
  switch (fBitmap->BitsPerPixel()) {
    case 1: f = vx1g; break;
    case 8: f = (fIsAlpha || VXHasGrayPalette(fBitmap)) ? vx8g : vx8p; break;
    case 32: f = vx32RGB; break;
    default: f = vx24RGB; break;
  }
  if (fBitmap->Width() != fWidth || fBitmap->Height() != fHeight || f != fPixelFormat) {
    fWidth = fBitmap->Width();
    fHeight = fBitmap->Height();
    SetFormatFields(f);
    if (f == vx8p && !fRGBPalette) {
      fRGBPalette.reset(new TRGB[256]());
      fRGBPaletteLen = 256;
    }
    if (fAlphaChannel && (fAlphaChannel->fWidth != fWidth || fAlphaChannel->fHeight != fHeight))
      fAlphaChannel->Allocate(fWidth, fHeight, vx8g);
    RebuildScanlines();
  }
  if (fHeight > 0 && (fBitmapScanlines.size() != size_t(fHeight) || fBitmapScanlines[0] != fBitmap->ScanLine(0)))
    RebuildScanlines();
  // vx8p: the colour table becomes the palette (as VXCopyDIBColorTable).
  if (fPixelFormat == vx8p && fRGBPalette) {
    const std::vector<RGBQUAD> pal = fBitmap->Palette();
    const size_t n = std::min(pal.size(), size_t(fRGBPaletteLen));
    for (size_t i = 0; i < n; ++i) fRGBPalette[i] = TRGB{pal[i].rgbBlue, pal[i].rgbGreen, pal[i].rgbRed};
  }
}

void TVXBitmap::PushPaletteToTBitmap() {
  if (fLocation != vxTBitmap || !fBitmap || fPixelFormat != vx8p || !fRGBPalette || fRGBPaletteLen <= 0) return;
  if (fBitmap->BitsPerPixel() != 8) return;
  fBitmap->SetPalette(ToRGBQUADs(fRGBPalette.get(), std::min(fRGBPaletteLen, 256)));
}

// Allocation in vxTBitmap: the platform bitmap (the caller's one is reused)
// takes the size and the format.
bool TVXBitmap::AllocatePlatformBitmap() {
  const int64_t physical = VXPhysicalMemory(false);
  if (physical != 0 && physical < int64_t(fHeight) * VXBitmapRowLen(fWidth, fBitCount, 32)) return false;
  TPixelFormat pf = PlatformFormatOf(fPixelFormat);
  if (pf == pfCustom) return false;  // vx32f, vxCMYK, vx48RGB, vxCIELab
  if (fPixelFormat == vx16g) fPixelFormat = vx8g;
  const bool created = fBitmap == nullptr;
  try {
    if (created) fBitmap = new TBitmap();
    fBitmap->SetSize(1, 1);
    fBitmap->SetPixelFormat(pf);
    fBitmap->SetSize(fWidth, fHeight);
    if (fPixelFormat == vx8g) VXSetGrayPalette(fBitmap);
  } catch (...) {
    if (created) {
      delete fBitmap;
      fBitmap = nullptr;
    }
    return false;
  }
  SetFormatFields(fPixelFormat);
  // The palette's colours (not a grey ramp) keep a vx8p bitmap vx8p.
  PushPaletteToTBitmap();
  RebuildScanlines();
  return true;
}

void* TVXBitmap::Memory() const {
  if (fLocation == vxTBitmap) {
    if (!fBitmap || fBitmap->Empty()) return nullptr;
    return std::min(fBitmap->ScanLine(0), fBitmap->ScanLine(fBitmap->Height() - 1));
  }
  return fMemory;
}

// ---------------------------------------------------------------------------
// Accessors that move the bitmap to vxTBitmap

TBitmap* TVXBitmap::VclBitmap() {
  if (fLocation != vxTBitmap) SetLocation(vxTBitmap);
  if (!fBitmap) {
    // An empty bitmap gets an empty platform bitmap that the caller may size.
    fBitmap = new TBitmap();
    fBitmap->SetPixelFormat(pf24bit);
    fEncapsulatedFromTBitmap = false;
  }
  AdjustCanvasOrientation();
  return fBitmap;
}

void TVXBitmap::SetVclBitmap(TBitmap* Value) {
  if (Value == fBitmap) return;
  FreePlatformBitmap();
  fBitmap = Value;
  fEncapsulatedFromTBitmap = false;
  RebuildScanlines();
}

TCanvas* TVXBitmap::Canvas() { return VclBitmap()->Canvas(); }

void TVXBitmap::AdjustCanvasOrientation() {
  if (!fBitmap) return;
  HDC dc = fBitmap->Canvas()->Handle();
  if (fOrigin == vxboTOPLEFT) {
    SetGraphicsMode(dc, GM_ADVANCED);
    XFORM x;
    x.eM11 = 1;
    x.eM12 = 0;
    x.eM21 = 0;
    x.eM22 = -1;
    x.eDx = 0;
    x.eDy = float(fBitmap->Height() - 1);
    SetWorldTransform(dc, &x);
  } else if (GetGraphicsMode(dc) == GM_ADVANCED) {
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
  }
}

void TVXBitmap::SetCanvasCurrentAlpha(int32_t Value) {
  if (fCanvasCurrentAlpha == -1) {
    if (fPixelFormat != vx8g && !IsEmpty()) SetPixelFormat(vx8g);
    if (IsEmpty()) fPixelFormat = vx8g;
    SetLocation(vxTBitmap);
    TBitmap* b = VclBitmap();
    if (b->PixelFormat() != pf8bit) b->SetPixelFormat(pf8bit);
    VXSetGrayPalette(b);
    UpdateFromTBitmap();
  }
  if (Value != -1) {
    // A palette-relative grey: the nearest entry of the grey table.
    const TColor c = TColor(0x02000000 + Value * 65536 + Value * 256 + Value);
    TCanvas* cv = Canvas();
    cv->Pen()->SetColor(c);
    cv->Brush()->SetColor(c);
  }
  fCanvasCurrentAlpha = Value;
}

// ---------------------------------------------------------------------------
// Wrapping a caller's platform bitmap

void TVXBitmap::EncapsulateTBitmap(TBitmap* obj, bool DoFreeImage) {
  if (obj) {
    const TPixelFormat pf = obj->PixelFormat();
    if (pf != pf1bit && pf != pf8bit && pf != pf24bit && pf != pf32bit) {
      // A bitmap without pixels (a new picture's) takes 24 bits; one with
      // pixels of another depth cannot be addressed as a library bitmap.
      if (!obj->Empty()) throw EVXException("EncapsulateTBitmap: the platform bitmap's pixel format is not supported");
      obj->SetPixelFormat(pf24bit);
    }
  }
  // Our own platform bitmap is kept alive when it is the one wrapped.
  const bool ownedSame = obj && obj == fBitmap && !fEncapsulatedFromTBitmap;
  if (obj && obj == fBitmap) fBitmap = nullptr;
  if (DoFreeImage) FreeImage(true);
  if (!obj) return;
  if (!DoFreeImage) ReleaseStorage();
  fWidth = obj->Width();
  fHeight = obj->Height();
  fLocation = vxTBitmap;
  fBitmap = obj;
  fEncapsulatedFromTBitmap = !ownedSame;
  fPixelFormat = vxnull;
  UpdateFromTBitmap();  // size, format, rows and (vx8p) the colour table
  fFullReallocate = true;
}

TVXBitmap::TVXBitmap(TBitmap* image, const TRect& Rect) : TVXBitmap() {
  if (!image) return;
  TVXBitmap wrapper;
  wrapper.EncapsulateTBitmap(image, false);
  const int32_t w = Rect.Right - Rect.Left + 1;
  const int32_t h = Rect.Bottom - Rect.Top + 1;
  if (!Allocate(w, h, wrapper.PixelFormat())) return;
  wrapper.CopyRectTo(this, Rect.Left, Rect.Top, 0, 0, w, h);
  wrapper.CopyPaletteTo(this);
}

// ---------------------------------------------------------------------------
// Copies to and from platform bitmaps

void TVXBitmap::CopyToTBitmap(TBitmap* Dest) {
  if (!Dest) return;
  Synced();
  if (Dest == fBitmap) return;  // already holds the rows
  Dest->SetSize(1, 1);
  std::vector<RGBQUAD> grey(256);
  for (int i = 0; i < 256; ++i) grey[size_t(i)] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  enum { Rows, Words, Floats } how = Rows;
  switch (fPixelFormat) {
    case vx1g:
      Dest->SetPixelFormat(pf1bit);
      Dest->SetPalette(std::vector<RGBQUAD>{RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}});
      break;
    case vx8p:
      Dest->SetPixelFormat(pf8bit);
      if (fRGBPalette) Dest->SetPalette(ToRGBQUADs(fRGBPalette.get(), std::min(fRGBPaletteLen, 256)));
      break;
    case vx8g:
      Dest->SetPixelFormat(pf8bit);
      Dest->SetPalette(grey);
      break;
    case vx16g:
      Dest->SetPixelFormat(pf8bit);
      Dest->SetPalette(grey);
      how = Words;
      break;
    case vx32f:
      Dest->SetPixelFormat(pf8bit);
      Dest->SetPalette(grey);
      how = Floats;
      break;
    case vx24RGB: Dest->SetPixelFormat(pf24bit); break;
    case vx32RGB: Dest->SetPixelFormat(pf32bit); break;
    case vxCMYK: throw EVXException("CMYK to TBitmap not supported");
    case vx48RGB: throw EVXException("RGB48 to TBitmap not supported");
    case vxCIELab: throw EVXException("CIELab to TBitmap not supported");
    default: return;
  }
  if (IsEmpty()) return;
  Dest->SetSize(fWidth, fHeight);
  const TVXDataAccess access = fAccess;
  fAccess = vxdRead;
  const size_t n = std::min<size_t>(size_t(fRowLen), Dest->RowBytes());
  for (int32_t y = 0; y < fHeight; ++y) {
    const auto* s = static_cast<const uint8_t*>(GetScanLine(y));
    auto* d = static_cast<uint8_t*>(Dest->ScanLine(y));
    if (!s) continue;
    if (how == Rows) {
      std::memcpy(d, s, n);
    } else if (how == Words) {
      for (int32_t x = 0; x < fWidth; ++x) {
        uint16_t v;
        std::memcpy(&v, s + 2 * x, 2);
        d[x] = uint8_t(v >> 8);
      }
    } else {
      for (int32_t x = 0; x < fWidth; ++x) {
        float v;
        std::memcpy(&v, s + 4 * size_t(x), 4);
        const double t = double(v) * 255;
        d[x] = !(t > 0) ? 0 : t >= 255 ? 255 : uint8_t(t);
      }
    }
  }
  UnMapRows();
  fAccess = access;
  Dest->SetModified(true);
}

void TVXBitmap::CopyFromTBitmap(TBitmap* Source) {
  if (!Source) return;
  if (fLocation == vxTBitmap) {
    if (Source == fBitmap) return;
    // The caller's bitmap stays as it is: formats the location does not
    // hold go through a private 24-bit clone.
    std::unique_ptr<TBitmap> clone;
    TBitmap* src = Source;
    const TPixelFormat pf = Source->PixelFormat();
    if (pf != pf1bit && pf != pf24bit && pf != pf32bit) {
      clone = VXCloneTBitmap(Source);
      clone->SetPixelFormat(pf24bit);
      src = clone.get();
    }
    if (!fBitmap) {
      fBitmap = new TBitmap();
      fEncapsulatedFromTBitmap = false;
    }
    VXCopyTBitmap(src, fBitmap);
    fAlphaChannel.reset();
    fRGBPalette.reset();
    fRGBPaletteLen = 0;
    fWidth = fBitmap->Width();
    fHeight = fBitmap->Height();
    SetFormatFields(src->PixelFormat() == pf1bit ? vx1g : src->PixelFormat() == pf32bit ? vx32RGB : vx24RGB);
    RebuildScanlines();
    fFull = false;
    fFullReallocate = true;
    return;
  }
  const int32_t w = Source->Width(), h = Source->Height();
  const TPixelFormat pf = Source->PixelFormat();
  const std::vector<RGBQUAD> pal = Source->Palette();
  const bool monochrome = pf == pf1bit && pal.size() >= 2 && pal[0].rgbRed == 0 && pal[0].rgbGreen == 0 &&
                          pal[0].rgbBlue == 0 && pal[1].rgbRed == 255 && pal[1].rgbGreen == 255 &&
                          pal[1].rgbBlue == 255;
  TVXPixelFormat f;
  switch (pf) {
    case pf1bit: f = monochrome ? vx1g : vx8p; break;
    case pf4bit:
    case pf8bit: f = vx8p; break;
    case pf15bit:
    case pf16bit:
    case pf24bit: f = vx24RGB; break;
    case pf32bit: f = vx32RGB; break;
    default: return;  // pfDevice, pfCustom
  }
  if (Source->Empty() || !Allocate(w, h, f)) return;
  if (f == vx8p) {
    if (!fRGBPalette) {
      fRGBPalette.reset(new TRGB[256]());
      fRGBPaletteLen = 256;
    }
    for (size_t i = 0; i < pal.size() && i < size_t(fRGBPaletteLen); ++i)
      fRGBPalette[i] = TRGB{pal[i].rgbBlue, pal[i].rgbGreen, pal[i].rgbRed};
  }
  const TVXDataAccess access = fAccess;
  fAccess = vxdWrite;
  const size_t n = std::min<size_t>(size_t(fRowLen), Source->RowBytes());
  for (int32_t y = 0; y < h; ++y) {
    const auto* s = static_cast<const uint8_t*>(Source->ScanLine(y));
    auto* d = static_cast<uint8_t*>(GetScanLine(y));
    if (!d) continue;
    switch (pf) {
      case pf1bit:
        if (monochrome)
          std::memcpy(d, s, n);
        else
          for (int32_t x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
        break;
      case pf4bit:
        for (int32_t x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
        break;
      case pf15bit:
      case pf16bit:
        for (int32_t x = 0; x < w; ++x) {
          const uint32_t v = uint32_t(s[2 * x]) | uint32_t(s[2 * x + 1]) << 8;
          TRGB& p = reinterpret_cast<TRGB*>(d)[x];
          if (pf == pf15bit) {
            p.r = uint8_t(((v >> 10) & 31) * 8);
            p.g = uint8_t(((v >> 5) & 31) * 8);
          } else {
            p.r = uint8_t((v >> 11) * 8);
            p.g = uint8_t(((v >> 5) & 63) * 4);
          }
          p.b = uint8_t((v & 31) * 8);
        }
        break;
      default: std::memcpy(d, s, n); break;
    }
  }
  UnMapRows();
  fAccess = access;
  fFull = false;
}

// ---------------------------------------------------------------------------
// Rendering onto platform bitmaps and canvases

void TVXBitmap::RenderToTBitmap(TBitmap* ABitmap, uint8_t**& ABitmapScanline, int32_t*& XLUT, int32_t*& YLUT,
                                const TRect* UpdRect, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                                int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool EnableAlpha,
                                bool SolidBackground, int32_t Transparency, TResampleFilter Filter, bool FreeTables,
                                TVXRenderOperation RenderOperation, double Opacity) {
  if (!ABitmap) throw EVXException("RenderToTBitmap: no destination bitmap");
  if (ABitmap->PixelFormat() != pf24bit) throw EVXException("RenderToTBitmap: the destination must be a 24-bit bitmap");
  TVXBitmap wrapper;
  wrapper.EncapsulateTBitmap(ABitmap, false);
  RenderToTVXBitmap(&wrapper, ABitmapScanline, XLUT, YLUT, UpdRect, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc,
                    dySrc, EnableAlpha, SolidBackground, Transparency, Filter, FreeTables, RenderOperation, Opacity);
  ABitmap->SetModified(true);
}

void TVXBitmap::RenderToTBitmapEx(TBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                                  int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool bEnableAlpha,
                                  int32_t Transparency, TResampleFilter Filter, TVXRenderOperation RenderOperation,
                                  double Opacity) {
  uint8_t** rows = nullptr;
  int32_t* xl = nullptr;
  int32_t* yl = nullptr;
  RenderToTBitmap(Dest, rows, xl, yl, nullptr, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, bEnableAlpha,
                  false, Transparency, Filter, true, RenderOperation, Opacity);
}

void TVXBitmap::RenderToTBitmapEx(TBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                                  int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc, int32_t Transparency,
                                  TResampleFilter Filter, TVXRenderOperation RenderOperation, double Opacity) {
  RenderToTBitmapEx(Dest, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, true, Transparency, Filter,
                    RenderOperation, Opacity);
}

void TVXBitmap::RenderToCanvasWithAlpha(TCanvas* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                                        int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc,
                                        int32_t Transparency, TResampleFilter Filter,
                                        TVXRenderOperation RenderOperation, double Opacity) {
  if (!Dest || dxDst <= 0 || dyDst <= 0) return;
  TVXDibbitmap dib;
  if (!dib.AllocateBits(uint32_t(dxDst), uint32_t(dyDst), 24))
    throw EVXException("RenderToCanvasWithAlpha: no DIB section of " + std::to_string(dxDst) + " x " +
                       std::to_string(dyDst));
  HDC dc = Dest->Handle();
  BitBlt(dib.GetHDC(), 0, 0, dxDst, dyDst, dc, xDst, yDst, SRCCOPY);
  {
    TVXBitmap wrapper;
    wrapper.EncapsulateMemory(dib.Bits(), dxDst, dyDst, vx24RGB, true, vxboBOTTOMLEFT);
    RenderToTVXBitmapEx(&wrapper, 0, 0, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, true, Transparency, Filter,
                        RenderOperation, Opacity);
  }
  BitBlt(dc, xDst, yDst, dxDst, dyDst, dib.GetHDC(), 0, 0, SRCCOPY);
}

void TVXBitmap::DrawToCanvasWithAlpha(TCanvas* DestCanvas, int32_t xDst, int32_t yDst, int32_t Transparency,
                                      double Opacity) {
  RenderToCanvasWithAlpha(DestCanvas, xDst, yDst, Width(), Height(), 0, 0, Width(), Height(), Transparency, rfNone,
                          vxlNormal, Opacity);
}

// ---------------------------------------------------------------------------
// Pixel-format changes in vxTBitmap

bool TVXBitmap::ConvertPlatformFormat(TVXPixelFormat NewFormat) {
  const TPixelFormat pf = fBitmap->PixelFormat();
  const bool holdable = NewFormat != vx16g && PlatformFormatOf(NewFormat) != pfCustom;
  if (fBitmap->Empty()) {
    if (!holdable) throw EVXException("A platform bitmap cannot hold the pixel format");
    fBitmap->SetPixelFormat(PlatformFormatOf(NewFormat));
    if (NewFormat == vx8g) VXSetGrayPalette(fBitmap);
    SetFormatFields(NewFormat);
    RebuildScanlines();
    return true;
  }
  bool done = true;
  if (pf == pf1bit && NewFormat == vx24RGB) {
    std::unique_ptr<TBitmap> clone = VXCloneTBitmap(fBitmap);
    TProgressRec progress;
    VXConvertTBitmap1To24(clone.get(), fBitmap, progress);
  } else if (pf == pf8bit && NewFormat == vx24RGB) {
    fBitmap->SetPixelFormat(pf24bit);  // through the colour table
  } else if (pf == pf24bit && NewFormat == vx8g) {
    std::unique_ptr<TBitmap> clone = VXCloneTBitmap(fBitmap);
    VXTBitmapToGray8(clone.get(), fBitmap);
  } else if (pf == pf24bit && NewFormat == vx32RGB) {
    fBitmap->SetPixelFormat(pf32bit);
  } else {
    done = false;
  }
  if (done) {
    fRGBPalette.reset();
    fRGBPaletteLen = 0;
    fWidth = fBitmap->Width();
    fHeight = fBitmap->Height();
    SetFormatFields(NewFormat);
    RebuildScanlines();
    fBitmap->SetModified(true);
    return true;
  }
  // Any other change is made in memory; the result comes back into the
  // platform bitmap (the caller's one too) when one can hold it.
  if (!holdable) throw EVXException("A platform bitmap cannot hold the pixel format");
  TVXBitmap work;
  work.fLocation = vxMemory;
  work.fMinFileSize = fMinFileSize;
  work.fDefaultDitherMethod = fDefaultDitherMethod;
  work.AssignImage(this);
  work.SetPixelFormat(NewFormat);
  AssignImage(&work);
  fBitmap->SetModified(true);
  return true;
}
