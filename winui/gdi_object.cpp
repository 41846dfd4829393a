// The GDI object table, stock objects, pens, brushes, bitmaps and device
// contexts.
#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <unordered_map>

#include "platform/win_syscolors.h"
#include "winui/gdi_internal.h"
#include "winui/gdi_print.h"
#include "winui/win_metrics.h"

namespace vxgdi {

namespace {

std::unordered_map<uintptr_t, std::shared_ptr<Object>>& Table() {
  static auto* t = new std::unordered_map<uintptr_t, std::shared_ptr<Object>>();
  return *t;
}
uintptr_t gNextHandle = 0x1000;
std::atomic<int64_t> gPixelLimit{int64_t(1) << 31};
std::atomic<int> gDibFailures{0};

HGDIOBJ gStock[20] = {};

}  // namespace

std::recursive_mutex& Lock() {
  static auto* m = new std::recursive_mutex();
  return *m;
}

int64_t PixelLimit() { return gPixelLimit.load(); }
void SetPixelLimit(int64_t Pixels) { gPixelLimit.store(Pixels < 0 ? 0 : Pixels); }
void SetDIBSectionFailures(int Count) { gDibFailures.store(Count < 0 ? 0 : Count); }

HGDIOBJ AddObject(std::shared_ptr<Object> O) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  gNextHandle += 4;
  Table()[gNextHandle] = std::move(O);
  return reinterpret_cast<HGDIOBJ>(gNextHandle);
}

std::shared_ptr<Object> Find(HGDIOBJ h) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto it = Table().find(reinterpret_cast<uintptr_t>(h));
  return it == Table().end() ? nullptr : it->second;
}

std::shared_ptr<Object> Find(HGDIOBJ h, ObjKind Kind) {
  auto o = Find(h);
  return o && o->Kind == Kind ? o : nullptr;
}

void RemoveObject(HGDIOBJ h) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Table().erase(reinterpret_cast<uintptr_t>(h));
}

DC* FindDC(HDC h) {
  auto o = Find(h, ObjKind::DC);
  return o ? o->D.get() : nullptr;
}
Region* FindRgn(HRGN h) {
  auto o = Find(h, ObjKind::Region);
  return o ? o->Rgn.get() : nullptr;
}
Brush* FindBrush(HBRUSH h) {
  auto o = Find(h, ObjKind::Brush);
  return o ? o->B.get() : nullptr;
}
Pen* FindPen(HPEN h) {
  auto o = Find(h, ObjKind::Pen);
  return o ? o->P.get() : nullptr;
}

RGBQUAD DefaultPaletteEntry(unsigned Index) {
  static const COLORREF kDefault[20] = {
      RGB(0, 0, 0),       RGB(128, 0, 0),     RGB(0, 128, 0),     RGB(128, 128, 0),   RGB(0, 0, 128),
      RGB(128, 0, 128),   RGB(0, 128, 128),   RGB(192, 192, 192), RGB(192, 220, 192), RGB(166, 202, 240),
      RGB(255, 251, 240), RGB(160, 160, 164), RGB(128, 128, 128), RGB(255, 0, 0),     RGB(0, 255, 0),
      RGB(255, 255, 0),   RGB(0, 0, 255),     RGB(255, 0, 255),   RGB(0, 255, 255),   RGB(255, 255, 255),
  };
  COLORREF c = kDefault[Index < 20 ? Index : 19];
  return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
}

int StrideOf(int Width, int Bpp) { return int(((int64_t(Width) * Bpp + 31) / 32) * 4); }

bool AllocBitmap(Bitmap& b, int Width, int Height, int Bpp, bool TopDown) {
  if (Width < 1 || Height < 1) return false;
  int64_t pixels = int64_t(Width) * Height;
  int64_t limit = PixelLimit();
  if (limit > 0 && pixels > limit) return false;
  int64_t stride = ((int64_t(Width) * Bpp + 31) / 32) * 4;
  if (stride > INT32_MAX || stride * Height > (int64_t(1) << 34)) return false;
  try {
    b.Own.assign(size_t(stride) * size_t(Height), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  b.Width = Width;
  b.Height = Height;
  b.Bpp = Bpp;
  b.Stride = int(stride);
  b.TopDown = TopDown;
  b.Bits = b.Own.data();
  return true;
}

static int MaskShift(DWORD m) {
  int s = 0;
  if (!m) return 0;
  while (!(m & 1)) {
    m >>= 1;
    ++s;
  }
  return s;
}
static int MaskBits(DWORD m) {
  m >>= MaskShift(m);
  int n = 0;
  while (m & 1) {
    m >>= 1;
    ++n;
  }
  return n;
}
static uint32_t PackChannel(int v, DWORD mask) {
  int bits = MaskBits(mask);
  if (!bits) return 0;
  uint32_t x = bits >= 8 ? uint32_t(v) << (bits - 8) : uint32_t(v) >> (8 - bits);
  return (x << MaskShift(mask)) & mask;
}
static int UnpackChannel(uint32_t raw, DWORD mask) {
  int bits = MaskBits(mask);
  if (!bits) return 0;
  uint32_t x = (raw & mask) >> MaskShift(mask);
  if (bits >= 8) return int(x >> (bits - 8));
  // The field's top bits repeated below it, as the platform widens them
  // (five bits of 31 give 255).
  const uint32_t top = x << (8 - bits);
  return int((top | (top >> bits)) & 255);
}

uint32_t Bitmap::RawFromColor(COLORREF c) const {
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (Bpp) {
    case 32:
      if (HasMasks) return PackChannel(r, Masks[0]) | PackChannel(g, Masks[1]) | PackChannel(b, Masks[2]);
      return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
    case 24:
      return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
    case 16:
      if (HasMasks) return PackChannel(r, Masks[0]) | PackChannel(g, Masks[1]) | PackChannel(b, Masks[2]);
      return (uint32_t(r >> 3) << 10) | (uint32_t(g >> 3) << 5) | uint32_t(b >> 3);
    default: {
      // The nearest palette entry; the first of equals.
      uint32_t best = 0;
      int64_t bestd = INT64_MAX;
      for (size_t i = 0; i < Palette.size(); ++i) {
        int dr = r - Palette[i].rgbRed, dg = g - Palette[i].rgbGreen, db = b - Palette[i].rgbBlue;
        int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
        if (d < bestd) {
          bestd = d;
          best = uint32_t(i);
        }
      }
      return best;
    }
  }
}

COLORREF Bitmap::ColorFromRaw(uint32_t v) const {
  switch (Bpp) {
    case 32:
      if (HasMasks) return RGB(UnpackChannel(v, Masks[0]), UnpackChannel(v, Masks[1]), UnpackChannel(v, Masks[2]));
      return RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
    case 24:
      return RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
    case 16:
      if (HasMasks) return RGB(UnpackChannel(v, Masks[0]), UnpackChannel(v, Masks[1]), UnpackChannel(v, Masks[2]));
      return RGB(UnpackChannel(v, 0x7C00), UnpackChannel(v, 0x03E0), UnpackChannel(v, 0x001F));
    default:
      if (v < Palette.size()) return RGB(Palette[v].rgbRed, Palette[v].rgbGreen, Palette[v].rgbBlue);
      return 0;
  }
}

uint32_t Bitmap::GetRaw(int x, int y) const {
  const uint8_t* r = Row(y);
  switch (Bpp) {
    case 32:
      return uint32_t(r[x * 4]) | (uint32_t(r[x * 4 + 1]) << 8) | (uint32_t(r[x * 4 + 2]) << 16) |
             (HasMasks ? uint32_t(r[x * 4 + 3]) << 24 : 0);
    case 24:
      return uint32_t(r[x * 3]) | (uint32_t(r[x * 3 + 1]) << 8) | (uint32_t(r[x * 3 + 2]) << 16);
    case 16:
      return uint32_t(r[x * 2]) | (uint32_t(r[x * 2 + 1]) << 8);
    case 8:
      return r[x];
    case 4:
      return (x & 1) ? (r[x >> 1] & 15) : (r[x >> 1] >> 4);
    case 1:
      return (r[x >> 3] >> (7 - (x & 7))) & 1;
  }
  return 0;
}

void Bitmap::SetRaw(int x, int y, uint32_t v) {
  uint8_t* r = Row(y);
  switch (Bpp) {
    case 32:
      r[x * 4] = uint8_t(v);
      r[x * 4 + 1] = uint8_t(v >> 8);
      r[x * 4 + 2] = uint8_t(v >> 16);
      r[x * 4 + 3] = HasMasks ? uint8_t(v >> 24) : 0;
      break;
    case 24:
      r[x * 3] = uint8_t(v);
      r[x * 3 + 1] = uint8_t(v >> 8);
      r[x * 3 + 2] = uint8_t(v >> 16);
      break;
    case 16:
      r[x * 2] = uint8_t(v);
      r[x * 2 + 1] = uint8_t(v >> 8);
      break;
    case 8:
      r[x] = uint8_t(v);
      break;
    case 4:
      if (x & 1)
        r[x >> 1] = uint8_t((r[x >> 1] & 0xF0) | (v & 15));
      else
        r[x >> 1] = uint8_t((r[x >> 1] & 0x0F) | ((v & 15) << 4));
      break;
    case 1: {
      uint8_t bit = uint8_t(0x80 >> (x & 7));
      if (v & 1)
        r[x >> 3] |= bit;
      else
        r[x >> 3] &= uint8_t(~bit);
      break;
    }
  }
}

COLORREF Bitmap::Get(int x, int y) const { return ColorFromRaw(GetRaw(x, y)); }
void Bitmap::Set(int x, int y, COLORREF c) { SetRaw(x, y, RawFromColor(c)); }

namespace {

std::shared_ptr<Bitmap> MonoStockBitmap() {
  auto b = std::make_shared<Bitmap>();
  AllocBitmap(*b, 1, 1, 1, true);
  b->Palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  return b;
}

HGDIOBJ MakeStock(std::shared_ptr<Object> o) {
  o->Stock = true;
  return AddObject(std::move(o));
}

void InitStock() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (gStock[BLACK_PEN]) return;
  auto brush = [](UINT style, COLORREF c) {
    auto o = std::make_shared<Object>();
    o->Kind = ObjKind::Brush;
    o->B = std::make_shared<Brush>();
    o->B->Style = style;
    o->B->Color = c;
    return MakeStock(o);
  };
  auto pen = [](int style, COLORREF c) {
    auto o = std::make_shared<Object>();
    o->Kind = ObjKind::Pen;
    o->P = std::make_shared<Pen>();
    o->P->Style = style;
    o->P->Color = c;
    return MakeStock(o);
  };
  {
    auto palette = std::make_shared<Object>();
    palette->Kind = ObjKind::Palette;
    gStock[DEFAULT_PALETTE] = MakeStock(palette);
  }
  gStock[WHITE_BRUSH] = brush(BS_SOLID, 0xFFFFFF);
  gStock[LTGRAY_BRUSH] = brush(BS_SOLID, 0xC0C0C0);
  gStock[GRAY_BRUSH] = brush(BS_SOLID, 0x808080);
  gStock[DKGRAY_BRUSH] = brush(BS_SOLID, 0x404040);
  gStock[BLACK_BRUSH] = brush(BS_SOLID, 0);
  gStock[NULL_BRUSH] = brush(BS_NULL, 0);
  gStock[DC_BRUSH] = brush(BS_SOLID, 0xFFFFFF);
  gStock[WHITE_PEN] = pen(PS_SOLID, 0xFFFFFF);
  gStock[BLACK_PEN] = pen(PS_SOLID, 0);
  gStock[NULL_PEN] = pen(PS_NULL, 0);
  gStock[DC_PEN] = pen(PS_SOLID, 0);
  for (int f : {SYSTEM_FONT, DEFAULT_GUI_FONT}) {
    auto o = std::make_shared<Object>();
    o->Kind = ObjKind::Font;
    o->F = std::make_shared<Font>();
    o->F->Log.lfHeight = f == SYSTEM_FONT ? 16 : -11;
    o->F->Log.lfWeight = f == SYSTEM_FONT ? 700 : 400;
    const char16_t* name = f == SYSTEM_FONT ? u"System" : u"MS Shell Dlg";
    for (int i = 0; name[i] && i < LF_FACESIZE - 1; ++i) o->F->Log.lfFaceName[i] = name[i];
    gStock[f] = MakeStock(o);
  }
  auto bm = std::make_shared<Object>();
  bm->Kind = ObjKind::Bitmap;
  bm->Bmp = MonoStockBitmap();
  gStock[11] = MakeStock(bm);  // the default 1 x 1 bitmap of memory DCs
}

HGDIOBJ StockBitmap() {
  InitStock();
  return gStock[11];
}

// System colour brushes (GetSysColorBrush, and a class background given as
// a colour index + 1) are small handle values.
constexpr uintptr_t kSysBrushBase = 0x100;

}  // namespace

bool ResolveBrush(const DC& dc, HGDIOBJ h, Brush& Out) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v > 0 && v <= 31) {
    // A class background brush given as a system colour index + 1.
    Out = Brush{BS_SOLID, GetSysColor(int(v) - 1), 0, int(v) - 1, nullptr};
    return true;
  }
  if (v >= kSysBrushBase && v < kSysBrushBase + 32) {
    Out = Brush{BS_SOLID, GetSysColor(int(v - kSysBrushBase)), 0, int(v - kSysBrushBase), nullptr};
    return true;
  }
  Brush* b = FindBrush(reinterpret_cast<HBRUSH>(h));
  if (!b) return false;
  Out = *b;
  if (h == gStock[DC_BRUSH]) Out.Color = dc.S.DCBrushColor;
  return true;
}

bool ResolvePen(const DC& dc, HGDIOBJ h, Pen& Out) {
  Pen* p = FindPen(reinterpret_cast<HPEN>(h));
  if (!p) return false;
  Out = *p;
  if (h == gStock[DC_PEN]) Out.Color = dc.S.DCPenColor;
  return true;
}

}  // namespace vxgdi

using namespace vxgdi;

HGDIOBJ GetStockObject(int i) {
  InitStock();
  if (i < 0 || i >= 20 || i == 11) return nullptr;
  return gStock[i];
}

// Only the default palette exists: every device shows true colour.
HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL /*bForceBkgd*/) {
  HGDIOBJ def = GetStockObject(DEFAULT_PALETTE);
  if (!FindDC(hdc) || reinterpret_cast<HGDIOBJ>(hPal) != def) return nullptr;
  return reinterpret_cast<HPALETTE>(def);
}

UINT RealizePalette(HDC hdc) { return FindDC(hdc) ? 0 : GDI_ERROR; }

HBRUSH GetSysColorBrush(int nIndex) {
  if (nIndex < 0 || nIndex > 30) return nullptr;
  return reinterpret_cast<HBRUSH>(kSysBrushBase + uintptr_t(nIndex));
}

static HBRUSH NewBrush(UINT style, COLORREF c, int hatch) {
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::Brush;
  o->B = std::make_shared<Brush>();
  o->B->Style = style;
  o->B->Color = c & 0x00FFFFFF;
  o->B->Hatch = hatch;
  return reinterpret_cast<HBRUSH>(AddObject(o));
}

HBRUSH CreateSolidBrush(COLORREF color) { return NewBrush(BS_SOLID, color, 0); }

HBRUSH CreateHatchBrush(int iHatch, COLORREF color) {
  if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) return nullptr;
  return NewBrush(BS_HATCHED, color, iHatch);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* plbrush) {
  if (!plbrush) return nullptr;
  switch (plbrush->lbStyle) {
    case BS_SOLID:
      return CreateSolidBrush(plbrush->lbColor);
    case BS_NULL:
      return reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    case BS_HATCHED:
      return CreateHatchBrush(int(plbrush->lbHatch), plbrush->lbColor);
    case BS_PATTERN:
      return CreatePatternBrush(reinterpret_cast<HBITMAP>(plbrush->lbHatch));
    case BS_DIBPATTERNPT:
      return CreateDIBPatternBrushPt(reinterpret_cast<const void*>(plbrush->lbHatch), LOWORD(plbrush->lbColor));
    case BS_DIBPATTERN: {
      // A global block: the DIB may not claim more than the block holds.
      HGLOBAL g = reinterpret_cast<HGLOBAL>(plbrush->lbHatch);
      const void* p = GlobalLock(g);
      if (!p) return nullptr;
      HBRUSH b = NewDibPatternBrush(static_cast<const uint8_t*>(p), GlobalSize(g), nullptr, 0, LOWORD(plbrush->lbColor),
                                  false);
      GlobalUnlock(g);
      return b;
    }
    default:
      return nullptr;
  }
}

HPEN CreatePen(int iStyle, int cWidth, COLORREF color) {
  if (iStyle < PS_SOLID || iStyle > PS_INSIDEFRAME) return nullptr;
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::Pen;
  o->P = std::make_shared<Pen>();
  o->P->Style = iStyle;
  o->P->Width = cWidth < 0 ? 0 : cWidth;
  // Styled pens wider than one pixel are drawn solid.
  if (o->P->Width > 1 && iStyle >= PS_DASH && iStyle <= PS_DASHDOTDOT) o->P->Style = PS_SOLID;
  o->P->Color = color & 0x00FFFFFF;
  return reinterpret_cast<HPEN>(AddObject(o));
}

HPEN CreatePenIndirect(const LOGPEN* plpen) {
  if (!plpen) return nullptr;
  return CreatePen(int(plpen->lopnStyle), plpen->lopnWidth.x, plpen->lopnColor);
}

COLORREF SetDCBrushColor(HDC hdc, COLORREF color) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->S.DCBrushColor;
  dc->S.DCBrushColor = color & 0xFFFFFF;
  return old;
}

COLORREF SetDCPenColor(HDC hdc, COLORREF color) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->S.DCPenColor;
  dc->S.DCPenColor = color & 0xFFFFFF;
  return old;
}

DWORD GetObjectType(HGDIOBJ h) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v >= kSysBrushBase && v < kSysBrushBase + 32) return OBJ_BRUSH;
  auto o = Find(h);
  if (!o) return 0;
  switch (o->Kind) {
    case ObjKind::Bitmap:
      return OBJ_BITMAP;
    case ObjKind::Region:
      return OBJ_REGION;
    case ObjKind::Pen:
      return OBJ_PEN;
    case ObjKind::Brush:
      return OBJ_BRUSH;
    case ObjKind::Font:
      return OBJ_FONT;
    case ObjKind::DC:
      return o->D->Memory ? OBJ_MEMDC : OBJ_DC;
    case ObjKind::Palette:
      return OBJ_PAL;
  }
  return 0;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return nullptr;
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v >= kSysBrushBase && v < kSysBrushBase + 32) {
    HGDIOBJ old = dc->S.Brush;
    dc->S.Brush = h;
    return old;
  }
  auto o = Find(h);
  if (!o) return nullptr;
  HGDIOBJ old = nullptr;
  switch (o->Kind) {
    case ObjKind::Pen:
      old = dc->S.Pen;
      dc->S.Pen = h;
      return old;
    case ObjKind::Brush:
      old = dc->S.Brush;
      dc->S.Brush = h;
      return old;
    case ObjKind::Font:
      old = dc->S.Font;
      dc->S.Font = h;
      return old;
    case ObjKind::Bitmap: {
      // Only memory DCs take bitmaps, and a bitmap lives in one DC at a time.
      if (!dc->Memory) return nullptr;
      if (o->Bmp->SelectedIn > 0 && dc->S.BitmapH != h && !o->Stock) return nullptr;
      old = dc->S.BitmapH;
      if (auto prev = Find(old, ObjKind::Bitmap)) prev->Bmp->SelectedIn = std::max(0, prev->Bmp->SelectedIn - 1);
      dc->S.BitmapH = h;
      o->Bmp->SelectedIn++;
      dc->Surface = o->Bmp;
      // Selecting a bitmap resets the clip region.
      dc->S.HasClip = false;
      dc->S.Clip.Clear();
      return old;
    }
    case ObjKind::Region: {
      int r = SelectClipRgn(hdc, reinterpret_cast<HRGN>(h));
      return reinterpret_cast<HGDIOBJ>(intptr_t(r));
    }
    default:
      return nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN:
      return dc->S.Pen;
    case OBJ_BRUSH:
      return dc->S.Brush;
    case OBJ_FONT:
      return dc->S.Font;
    case OBJ_BITMAP:
      return dc->S.BitmapH;
  }
  return nullptr;
}

BOOL DeleteObject(HGDIOBJ ho) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto o = Find(ho);
  if (!o || o->Kind == ObjKind::DC) return FALSE;
  if (o->Stock) return TRUE;
  if (o->Kind == ObjKind::Bitmap && o->Bmp->SelectedIn > 0) return FALSE;  // still selected
  RemoveObject(ho);
  return TRUE;
}

int GetObjectW(HANDLE h, int c, LPVOID pv) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v >= kSysBrushBase && v < kSysBrushBase + 32) {
    if (!pv) return sizeof(LOGBRUSH);
    if (c < int(sizeof(LOGBRUSH))) return 0;
    LOGBRUSH lb;
    lb.lbStyle = BS_SOLID;
    lb.lbColor = GetSysColor(int(v - kSysBrushBase));
    std::memcpy(pv, &lb, sizeof lb);
    return sizeof lb;
  }
  auto o = Find(h);
  if (!o) return 0;
  switch (o->Kind) {
    case ObjKind::Bitmap: {
      const Bitmap& b = *o->Bmp;
      BITMAP bm;
      bm.bmType = 0;
      bm.bmWidth = b.Width;
      bm.bmHeight = b.Height;
      bm.bmWidthBytes = b.IsDib ? b.Stride : ((b.Width * b.Bpp + 15) / 16) * 2;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = WORD(b.Bpp);
      bm.bmBits = b.IsDib ? b.Bits : nullptr;
      if (!pv) return b.IsDib ? int(sizeof(DIBSECTION)) : int(sizeof(BITMAP));
      if (b.IsDib && c >= int(sizeof(DIBSECTION))) {
        DIBSECTION ds;
        ds.dsBm = bm;
        ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
        ds.dsBmih.biWidth = b.Width;
        ds.dsBmih.biHeight = b.TopDown ? -b.Height : b.Height;
        ds.dsBmih.biPlanes = 1;
        ds.dsBmih.biBitCount = WORD(b.Bpp);
        ds.dsBmih.biCompression = b.HasMasks ? BI_BITFIELDS : BI_RGB;
        ds.dsBmih.biSizeImage = DWORD(size_t(b.Stride) * size_t(b.Height));
        ds.dsBmih.biClrUsed = DWORD(b.Palette.size());
        for (int i = 0; i < 3; ++i) ds.dsBitfields[i] = b.Masks[i];
        std::memcpy(pv, &ds, sizeof ds);
        return sizeof ds;
      }
      if (c < int(sizeof(BITMAP))) return 0;
      std::memcpy(pv, &bm, sizeof bm);
      return sizeof bm;
    }
    case ObjKind::Pen: {
      if (!pv) return sizeof(LOGPEN);
      if (c < int(sizeof(LOGPEN))) return 0;
      LOGPEN lp;
      lp.lopnStyle = UINT(o->P->Style);
      lp.lopnWidth.x = o->P->Width;
      lp.lopnColor = o->P->Color;
      std::memcpy(pv, &lp, sizeof lp);
      return sizeof lp;
    }
    case ObjKind::Brush: {
      if (!pv) return sizeof(LOGBRUSH);
      if (c < int(sizeof(LOGBRUSH))) return 0;
      LOGBRUSH lb;
      lb.lbStyle = o->B->Style;
      lb.lbColor = o->B->Color;
      lb.lbHatch = ULONG_PTR(o->B->Hatch);
      if (const Pattern* pat = o->B->Pat.get()) {
        lb.lbColor = pat->Source ? 0 : pat->Usage;
        lb.lbHatch = pat->Source ? reinterpret_cast<ULONG_PTR>(pat->Source)
                                 : reinterpret_cast<ULONG_PTR>(pat->Packed.data());
      }
      std::memcpy(pv, &lb, sizeof lb);
      return sizeof lb;
    }
    case ObjKind::Font: {
      if (!pv) return sizeof(LOGFONTW);
      int n = std::min<int>(c, int(sizeof(LOGFONTW)));
      if (n <= 0) return 0;
      std::memcpy(pv, &o->F->Log, size_t(n));
      return n;
    }
    default:
      return 0;
  }
}

// Device contexts.

HDC CreateCompatibleDC(HDC /*hdc*/) {
  InitStock();
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::DC;
  o->D = std::make_shared<DC>();
  o->D->Memory = true;
  o->D->S.Pen = gStock[BLACK_PEN];
  o->D->S.Brush = gStock[WHITE_BRUSH];
  o->D->S.Font = gStock[SYSTEM_FONT];
  o->D->S.BitmapH = StockBitmap();
  o->D->Surface = Find(o->D->S.BitmapH)->Bmp;
  return reinterpret_cast<HDC>(AddObject(o));
}

namespace vxgdi {

HDC NewWindowDC(HWND Wnd, std::shared_ptr<Bitmap> Surface, const Region* SysClip) {
  InitStock();
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::DC;
  o->D = std::make_shared<DC>();
  o->D->Window = Wnd;
  o->D->Surface = std::move(Surface);
  o->D->S.Pen = gStock[BLACK_PEN];
  o->D->S.Brush = gStock[WHITE_BRUSH];
  o->D->S.Font = gStock[SYSTEM_FONT];
  if (SysClip) {
    o->D->SysClip = *SysClip;
    o->D->HasSysClip = true;
  }
  return reinterpret_cast<HDC>(AddObject(o));
}

void FreeWindowDC(HDC h) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (FindDC(h)) RemoveObject(h);
}

void RebindWindowDCs(HWND Wnd, const std::shared_ptr<Bitmap>& Old, const std::shared_ptr<Bitmap>& New) {
  if (!Wnd || Old == New) return;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  for (auto& [h, o] : Table())
    if (o->Kind == ObjKind::DC && o->D && !o->D->Memory && o->D->Window == Wnd && o->D->Surface == Old)
      o->D->Surface = New;
}

bool VisibleRegion(const DC& dc, Region& Out) {
  if (!dc.Surface) return false;
  Out.SetRect(0, 0, dc.Surface->Width, dc.Surface->Height);
  if (dc.HasSysClip) Out.Intersect(dc.SysClip);
  if (dc.S.HasClip) Out.Intersect(dc.S.Clip);
  return !Out.Empty();
}

}  // namespace vxgdi

BOOL DeleteDC(HDC hdc) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc || dc->Window) return FALSE;
  vxgdi::ReleasePrinterDC(hdc);
  if (auto b = Find(dc->S.BitmapH, ObjKind::Bitmap)) b->Bmp->SelectedIn = std::max(0, b->Bmp->SelectedIn - 1);
  for (auto& s : dc->Saved)
    if (s.BitmapH != dc->S.BitmapH)
      if (auto b = Find(s.BitmapH, ObjKind::Bitmap)) b->Bmp->SelectedIn = std::max(0, b->Bmp->SelectedIn - 1);
  RemoveObject(hdc);
  return TRUE;
}

int SaveDC(HDC hdc) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return 0;
  dc->Saved.push_back(dc->S);
  if (auto b = Find(dc->S.BitmapH, ObjKind::Bitmap)) b->Bmp->SelectedIn++;
  return int(dc->Saved.size());
}

BOOL RestoreDC(HDC hdc, int nSavedDC) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  int n = int(dc->Saved.size());
  int level = nSavedDC < 0 ? n + 1 + nSavedDC : nSavedDC;
  if (level < 1 || level > n) return FALSE;
  while (int(dc->Saved.size()) > level) {
    if (auto b = Find(dc->Saved.back().BitmapH, ObjKind::Bitmap)) b->Bmp->SelectedIn = std::max(0, b->Bmp->SelectedIn - 1);
    dc->Saved.pop_back();
  }
  if (auto b = Find(dc->S.BitmapH, ObjKind::Bitmap)) b->Bmp->SelectedIn = std::max(0, b->Bmp->SelectedIn - 1);
  dc->S = dc->Saved.back();
  dc->Saved.pop_back();
  if (dc->Memory) {
    auto b = Find(dc->S.BitmapH, ObjKind::Bitmap);
    dc->Surface = b ? b->Bmp : nullptr;
  }
  return TRUE;
}

#define VX_DC_OR(ret)                                   \
  std::lock_guard<std::recursive_mutex> lock(Lock()); \
  DC* dc = FindDC(hdc);                               \
  if (!dc) return ret

BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* lppt) {
  VX_DC_OR(FALSE);
  if (lppt) *lppt = dc->S.ViewportOrg;
  dc->S.ViewportOrg = POINT{x, y};
  return TRUE;
}
BOOL GetViewportOrgEx(HDC hdc, POINT* lppoint) {
  VX_DC_OR(FALSE);
  if (lppoint) *lppoint = dc->S.ViewportOrg;
  return TRUE;
}
BOOL OffsetViewportOrgEx(HDC hdc, int x, int y, POINT* lppt) {
  VX_DC_OR(FALSE);
  if (lppt) *lppt = dc->S.ViewportOrg;
  dc->S.ViewportOrg.x += x;
  dc->S.ViewportOrg.y += y;
  return TRUE;
}
BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* lppt) {
  VX_DC_OR(FALSE);
  if (lppt) *lppt = dc->S.WindowOrg;
  dc->S.WindowOrg = POINT{x, y};
  return TRUE;
}
BOOL GetWindowOrgEx(HDC hdc, POINT* lppoint) {
  VX_DC_OR(FALSE);
  if (lppoint) *lppoint = dc->S.WindowOrg;
  return TRUE;
}
BOOL SetBrushOrgEx(HDC hdc, int x, int y, POINT* lppt) {
  VX_DC_OR(FALSE);
  if (lppt) *lppt = dc->S.BrushOrg;
  dc->S.BrushOrg = POINT{x, y};
  return TRUE;
}
COLORREF SetTextColor(HDC hdc, COLORREF color) {
  VX_DC_OR(CLR_INVALID);
  COLORREF old = dc->S.TextColor;
  dc->S.TextColor = color & 0xFFFFFF;
  return old;
}
COLORREF GetTextColor(HDC hdc) {
  VX_DC_OR(CLR_INVALID);
  return dc->S.TextColor;
}
COLORREF SetBkColor(HDC hdc, COLORREF color) {
  VX_DC_OR(CLR_INVALID);
  COLORREF old = dc->S.BkColor;
  dc->S.BkColor = color & 0xFFFFFF;
  return old;
}
COLORREF GetBkColor(HDC hdc) {
  VX_DC_OR(CLR_INVALID);
  return dc->S.BkColor;
}
int SetBkMode(HDC hdc, int mode) {
  VX_DC_OR(0);
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  int old = dc->S.BkMode;
  dc->S.BkMode = mode;
  return old;
}
int GetBkMode(HDC hdc) {
  VX_DC_OR(0);
  return dc->S.BkMode;
}
int SetROP2(HDC hdc, int rop2) {
  VX_DC_OR(0);
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
  int old = dc->S.Rop2;
  dc->S.Rop2 = rop2;
  return old;
}
int GetROP2(HDC hdc) {
  VX_DC_OR(0);
  return dc->S.Rop2;
}
int SetPolyFillMode(HDC hdc, int mode) {
  VX_DC_OR(0);
  if (mode != ALTERNATE && mode != WINDING) return 0;
  int old = dc->S.PolyFillMode;
  dc->S.PolyFillMode = mode;
  return old;
}
int GetPolyFillMode(HDC hdc) {
  VX_DC_OR(0);
  return dc->S.PolyFillMode;
}
int SetStretchBltMode(HDC hdc, int mode) {
  VX_DC_OR(0);
  if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
  int old = dc->S.StretchMode;
  dc->S.StretchMode = mode;
  return old;
}
int GetStretchBltMode(HDC hdc) {
  VX_DC_OR(0);
  return dc->S.StretchMode;
}

int SetGraphicsMode(HDC hdc, int iMode) {
  VX_DC_OR(0);
  if (iMode != GM_COMPATIBLE && iMode != GM_ADVANCED) return 0;
  // The compatible mode keeps no transform.
  if (iMode == GM_COMPATIBLE && (dc->S.XFlipY || dc->S.XDx != 0 || dc->S.XDy != 0)) return 0;
  int old = dc->S.GraphicsMode;
  dc->S.GraphicsMode = iMode;
  return old;
}

int GetGraphicsMode(HDC hdc) {
  VX_DC_OR(0);
  return dc->S.GraphicsMode;
}

namespace {

// The flip and the whole-pixel translation of a matrix; false for any other.
bool HeldTransform(const XFORM& x, bool& Flip, int& Dx, int& Dy) {
  if (x.eM11 != 1 || x.eM12 != 0 || x.eM21 != 0 || (x.eM22 != 1 && x.eM22 != -1)) return false;
  if (!(std::fabs(x.eDx) < 1e9f) || !(std::fabs(x.eDy) < 1e9f)) return false;
  if (x.eDx != std::floor(x.eDx) || x.eDy != std::floor(x.eDy)) return false;
  Flip = x.eM22 == -1;
  Dx = int(x.eDx);
  Dy = int(x.eDy);
  return true;
}

XFORM HeldToXForm(const DCState& S) {
  XFORM x;
  x.eM22 = S.XFlipY ? -1.0f : 1.0f;
  x.eDx = float(S.XDx);
  x.eDy = float(S.XDy);
  return x;
}

}  // namespace

BOOL SetWorldTransform(HDC hdc, const XFORM* lpxf) {
  VX_DC_OR(FALSE);
  if (!lpxf || dc->S.GraphicsMode != GM_ADVANCED) return FALSE;
  bool flip;
  int dx, dy;
  if (!HeldTransform(*lpxf, flip, dx, dy)) return FALSE;
  dc->S.XFlipY = flip;
  dc->S.XDx = dx;
  dc->S.XDy = dy;
  return TRUE;
}

BOOL GetWorldTransform(HDC hdc, XFORM* lpxf) {
  VX_DC_OR(FALSE);
  if (!lpxf) return FALSE;
  *lpxf = HeldToXForm(dc->S);
  return TRUE;
}

BOOL ModifyWorldTransform(HDC hdc, const XFORM* lpxf, DWORD mode) {
  VX_DC_OR(FALSE);
  if (dc->S.GraphicsMode != GM_ADVANCED) return FALSE;
  if (mode == MWT_IDENTITY) {
    dc->S.XFlipY = false;
    dc->S.XDx = dc->S.XDy = 0;
    return TRUE;
  }
  if (!lpxf || (mode != MWT_LEFTMULTIPLY && mode != MWT_RIGHTMULTIPLY)) return FALSE;
  bool f2;
  int dx2, dy2;
  if (!HeldTransform(*lpxf, f2, dx2, dy2)) return FALSE;
  // Row vectors: p' = p * M. Left multiplication applies the given matrix
  // first, right multiplication the current one first.
  auto apply = [](bool f, int dx, int dy, int& x, int& y) {
    x = x + dx;
    y = f ? dy - y : y + dy;
  };
  const bool f1 = dc->S.XFlipY;
  const int dx1 = dc->S.XDx, dy1 = dc->S.XDy;
  // The combination maps (0, 0) and the y direction; enough to rebuild it.
  int x0 = 0, y0 = 0;
  if (mode == MWT_LEFTMULTIPLY) {
    apply(f2, dx2, dy2, x0, y0);
    apply(f1, dx1, dy1, x0, y0);
  } else {
    apply(f1, dx1, dy1, x0, y0);
    apply(f2, dx2, dy2, x0, y0);
  }
  dc->S.XFlipY = f1 != f2;
  dc->S.XDx = x0;
  dc->S.XDy = y0;
  return TRUE;
}

// Bitmaps.

static HBITMAP AddBitmap(std::shared_ptr<Bitmap> b) {
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::Bitmap;
  o->Bmp = std::move(b);
  return reinterpret_cast<HBITMAP>(AddObject(o));
}

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits) {
  if (nPlanes != 1) return nullptr;
  int bpp = nBitCount <= 1 ? 1 : nBitCount <= 4 ? 4 : nBitCount <= 8 ? 8 : nBitCount <= 16 ? 16 : nBitCount <= 24 ? 24 : 32;
  if (nWidth == 0 || nHeight == 0) return reinterpret_cast<HBITMAP>(StockBitmap());
  auto b = std::make_shared<Bitmap>();
  if (!AllocBitmap(*b, std::abs(nWidth), std::abs(nHeight), bpp, true)) return nullptr;
  if (bpp == 1) b->Palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  if (bpp == 4 || bpp == 8) {
    // The default palette: the 16 VGA colours, the rest black.
    static const COLORREF vga[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
                                     0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    b->Palette.assign(size_t(1) << bpp, RGBQUAD{});
    for (int i = 0; i < 16; ++i)
      b->Palette[size_t(i)] = RGBQUAD{GetBValue(vga[i]), GetGValue(vga[i]), GetRValue(vga[i]), 0};
  }
  if (lpBits) {
    // Source rows are word-aligned.
    int srcStride = ((b->Width * bpp + 15) / 16) * 2;
    const uint8_t* src = static_cast<const uint8_t*>(lpBits);
    for (int y = 0; y < b->Height; ++y)
      std::memcpy(b->Row(y), src + size_t(y) * size_t(srcStride), size_t(std::min(srcStride, b->Stride)));
  }
  return AddBitmap(b);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return nullptr;
  if (cx == 0 || cy == 0) return reinterpret_cast<HBITMAP>(StockBitmap());
  // A memory DC makes bitmaps like the one selected into it; any other DC
  // stands for the screen, whose bitmaps are 32-bit.
  auto b = std::make_shared<Bitmap>();
  int bpp = dc->Memory && dc->Surface ? dc->Surface->Bpp : 32;
  if (!AllocBitmap(*b, std::abs(cx), std::abs(cy), bpp, true)) return nullptr;
  if (dc->Memory && dc->Surface) b->Palette = dc->Surface->Palette;
  return AddBitmap(b);
}

HBITMAP CreateDIBSection(HDC /*hdc*/, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE /*hSection*/,
                         DWORD /*offset*/) {
  if (ppvBits) *ppvBits = nullptr;
  if (!pbmi) return nullptr;
  for (int n = gDibFailures.load(); n > 0;)
    if (gDibFailures.compare_exchange_weak(n, n - 1)) return nullptr;
  const BITMAPINFOHEADER& h = pbmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biWidth <= 0 || h.biHeight == 0 ||
      h.biHeight == INT32_MIN)
    return nullptr;
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return nullptr;
  auto b = std::make_shared<Bitmap>();
  if (!AllocBitmap(*b, h.biWidth, std::abs(h.biHeight), bpp, h.biHeight < 0)) return nullptr;
  b->IsDib = true;
  const uint8_t* after = reinterpret_cast<const uint8_t*>(pbmi) + h.biSize;
  if (bpp <= 8) {
    size_t n = size_t(1) << bpp;
    size_t used = h.biClrUsed && h.biClrUsed < n ? h.biClrUsed : n;
    b->Palette.assign(n, RGBQUAD{});
    if (usage == DIB_RGB_COLORS) {
      for (size_t i = 0; i < used; ++i) std::memcpy(&b->Palette[i], after + i * 4, 4);
    } else {
      // 16-bit indexes into the default palette, the only one.
      for (size_t i = 0; i < used; ++i) b->Palette[i] = DefaultPaletteEntry(unsigned(after[i * 2] | after[i * 2 + 1] << 8));
    }
    for (auto& q : b->Palette) q.rgbReserved = 0;
  } else if (h.biCompression == BI_BITFIELDS) {
    std::memcpy(b->Masks, after, 12);
    b->HasMasks = true;
  }
  if (ppvBits) *ppvBits = b->Bits;
  return AddBitmap(b);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  VX_DC_OR(CLR_INVALID);
  Region vis;
  if (!VisibleRegion(*dc, vis)) return CLR_INVALID;
  int dx = DevX(*dc, x), dy = DevY(*dc, y);
  if (!pixman_region32_contains_point(&vis.R, dx, dy, nullptr)) return CLR_INVALID;
  Bitmap& b = *dc->Surface;
  b.Set(dx, dy, color);
  return b.Get(dx, dy);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  VX_DC_OR(CLR_INVALID);
  Region vis;
  if (!VisibleRegion(*dc, vis)) return CLR_INVALID;
  int dx = DevX(*dc, x), dy = DevY(*dc, y);
  if (!pixman_region32_contains_point(&vis.R, dx, dy, nullptr)) return CLR_INVALID;
  return dc->Surface->Get(dx, dy);
}

UINT GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD* prgbq) {
  VX_DC_OR(0);
  if (!dc->Surface || !dc->Surface->IsDib || !prgbq) return 0;
  const auto& p = dc->Surface->Palette;
  UINT n = 0;
  for (UINT i = iStart; i < p.size() && n < cEntries; ++i) prgbq[n++] = p[i];
  return n;
}

UINT SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, const RGBQUAD* prgbq) {
  VX_DC_OR(0);
  if (!dc->Surface || !dc->Surface->IsDib || !prgbq) return 0;
  auto& p = dc->Surface->Palette;
  UINT n = 0;
  for (UINT i = iStart; i < p.size() && n < cEntries; ++i) p[i] = prgbq[n++];
  return n;
}

// Rectangle helpers.

BOOL SetRect(RECT* r, int l, int t, int rr, int b) {
  if (!r) return FALSE;
  *r = RECT{l, t, rr, b};
  return TRUE;
}
BOOL SetRectEmpty(RECT* r) { return SetRect(r, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* r) { return !r || r->left >= r->right || r->top >= r->bottom; }
BOOL CopyRect(RECT* d, const RECT* s) {
  if (!d || !s) return FALSE;
  *d = *s;
  return TRUE;
}
BOOL InflateRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}
BOOL OffsetRect(RECT* r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(RECT* d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(a) || IsRectEmpty(b) || r.left >= r.right || r.top >= r.bottom) {
    *d = RECT{};
    return FALSE;
  }
  *d = r;
  return TRUE;
}
BOOL UnionRect(RECT* d, const RECT* a, const RECT* b) {
  if (!d || !a || !b) return FALSE;
  if (IsRectEmpty(a)) {
    if (IsRectEmpty(b)) {
      *d = RECT{};
      return FALSE;
    }
    *d = *b;
    return TRUE;
  }
  if (IsRectEmpty(b)) {
    *d = *a;
    return TRUE;
  }
  *d = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
            std::max(a->bottom, b->bottom)};
  return TRUE;
}
BOOL PtInRect(const RECT* r, POINT pt) {
  return r && pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom;
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

void VXSetGdiPixelLimit(int64_t Pixels) { vxgdi::SetPixelLimit(Pixels); }
BOOL GdiFlush() { return TRUE; }
