// Internal records of GDI: the object table, bitmaps (raster surfaces),
// regions and device contexts. Shared by the gdi_*.cpp and win_*.cpp files.
#pragma once
#include <pixman.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "winui/gdi.h"

namespace vxgdi {

// A raster surface: rows of Bpp bits, each Stride bytes (a multiple of 4),
// bottom-up unless TopDown. Bits is owned (Own) or the window's surface.
struct Bitmap {
  int Width = 0;
  int Height = 0;
  int Bpp = 32;
  int Stride = 0;
  bool TopDown = true;
  bool IsDib = false;
  std::vector<uint8_t> Own;
  uint8_t* Bits = nullptr;
  std::vector<RGBQUAD> Palette;
  DWORD Masks[3] = {0, 0, 0};  // BI_BITFIELDS at 16 and 32 bits
  bool HasMasks = false;
  int SelectedIn = 0;  // DCs that have it selected

  uint8_t* Row(int y) const { return Bits + size_t(TopDown ? y : Height - 1 - y) * size_t(Stride); }
  // Colour of a pixel and writing a colour; palette formats take the nearest
  // entry.
  COLORREF Get(int x, int y) const;
  void Set(int x, int y, COLORREF c);
  // Raw pixel value (palette index or packed colour) and its colour.
  uint32_t GetRaw(int x, int y) const;
  void SetRaw(int x, int y, uint32_t v);
  uint32_t RawFromColor(COLORREF c) const;
  COLORREF ColorFromRaw(uint32_t v) const;
};

// An entry of the default palette, which the 16-bit colour table entries of
// DIB_PAL_COLORS name; an index past its twenty entries takes the last.
RGBQUAD DefaultPaletteEntry(unsigned Index);

// Allocates a bitmap's rows (zeroed); false when the size is refused.
bool AllocBitmap(Bitmap& b, int Width, int Height, int Bpp, bool TopDown);
int StrideOf(int Width, int Bpp);

// The largest number of pixels a bitmap or region may hold (a limit set from
// above; 0 means no limit).
int64_t PixelLimit();
void SetPixelLimit(int64_t Pixels);

struct Region {
  pixman_region32_t R;
  Region() { pixman_region32_init(&R); }
  Region(const Region& o) {
    pixman_region32_init(&R);
    pixman_region32_copy(&R, const_cast<pixman_region32_t*>(&o.R));
  }
  Region& operator=(const Region& o) {
    if (this != &o) pixman_region32_copy(&R, const_cast<pixman_region32_t*>(&o.R));
    return *this;
  }
  ~Region() { pixman_region32_fini(&R); }
  void SetRect(int x1, int y1, int x2, int y2);
  void Clear() { SetRect(0, 0, 0, 0); }
  bool Empty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&R)); }
  void Intersect(const Region& o) { pixman_region32_intersect(&R, &R, const_cast<pixman_region32_t*>(&o.R)); }
  void Union(const Region& o) { pixman_region32_union(&R, &R, const_cast<pixman_region32_t*>(&o.R)); }
  void Subtract(const Region& o) { pixman_region32_subtract(&R, &R, const_cast<pixman_region32_t*>(&o.R)); }
  void IntersectRect(int x1, int y1, int x2, int y2);
  void UnionRect(int x1, int y1, int x2, int y2);
  // The union of boxes in any order, overlapping or not, made at once: they
  // are sorted into bands and merged, where adding them one at a time would
  // cost the region's size for each.
  void SetBoxes(const std::vector<pixman_box32_t>& Boxes);
  void Translate(int dx, int dy) { pixman_region32_translate(&R, dx, dy); }
  RECT Box() const;
  std::vector<RECT> Rects() const;
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int Kind() const;
};

struct Pen {
  int Style = PS_SOLID;
  int Width = 1;
  COLORREF Color = 0;
};

struct DC;

// A pattern brush's tile, top row first, and what GetObject gives back.
struct Pattern {
  std::shared_ptr<const Bitmap> Bmp;
  bool Mono = false;             // 0 bits: the DC's text colour, 1 bits: its background
  std::vector<uint8_t> Packed;   // the packed DIB (BS_DIBPATTERNPT)
  UINT Usage = DIB_RGB_COLORS;
  HBITMAP Source = nullptr;      // the bitmap it was made from (BS_PATTERN)
};

struct Brush {
  UINT Style = BS_SOLID;
  COLORREF Color = 0;
  int Hatch = 0;
  int SysColor = -1;  // a system colour brush follows that colour
  std::shared_ptr<const Pattern> Pat;  // BS_PATTERN, BS_DIBPATTERNPT
};

// Reads a pattern brush's tile at device pixels as raw values of the DC's
// surface: the tile repeats from the brush origin.
class PatternSampler {
 public:
  PatternSampler(const DC& dc, const Pattern& P);
  uint32_t At(int x, int y);

 private:
  const Bitmap& fTile;
  const Bitmap& fDst;
  bool fMono;
  uint32_t fZero = 0, fOne = 0;
  POINT fOrg;
  COLORREF fLast = CLR_INVALID;
  uint32_t fLastRaw = 0;
};

// Colour use of a DIB without a colour table (a monochrome brush's).
constexpr UINT DIB_PAL_INDICES = 2;

// A pattern brush of a DIB: its header and colour table in InfoSize bytes
// at Info, followed there by the rows, or the rows in BitsSize bytes at Bits
// when Bits is given. Null when the DIB does not add up or needs more bytes
// than it has. DcColours: a one-bit DIB whose bits take the DC's text and
// background colours (as a monochrome bitmap's); only such a DIB may have
// no colour table (DIB_PAL_INDICES).
HBRUSH NewDibPatternBrush(const uint8_t* Info, size_t InfoSize, const uint8_t* Bits, size_t BitsSize, UINT Usage,
                          bool DcColours);

struct Font {
  LOGFONTW Log;
};

struct DCState {
  HGDIOBJ Pen = nullptr;
  HGDIOBJ Brush = nullptr;
  HGDIOBJ Font = nullptr;
  HGDIOBJ BitmapH = nullptr;
  COLORREF TextColor = 0;
  COLORREF BkColor = 0xFFFFFF;
  COLORREF DCBrushColor = 0xFFFFFF;
  COLORREF DCPenColor = 0;
  int BkMode = OPAQUE;
  int Rop2 = R2_COPYPEN;
  int PolyFillMode = ALTERNATE;
  int StretchMode = BLACKONWHITE;
  UINT TextAlign = 0;     // TA_LEFT | TA_TOP
  int ArcDirection = 1;   // AD_COUNTERCLOCKWISE
  POINT ViewportOrg;
  POINT WindowOrg;
  POINT CurPos;
  POINT BrushOrg;
  // World transform (GM_ADVANCED): a translation by (XDx, XDy), the y axis
  // turned over first when XFlipY (y' = XDy - y).
  int GraphicsMode = 1;  // GM_COMPATIBLE
  bool XFlipY = false;
  int XDx = 0;
  int XDy = 0;
  bool HasClip = false;
  Region Clip;  // device coordinates
};

struct DC {
  bool Memory = false;
  HWND Window = nullptr;        // a window DC (GetDC, BeginPaint)
  std::shared_ptr<Bitmap> Surface;  // what is drawn on; null: nothing
  Region SysClip;               // paint region of a window DC (device coordinates)
  bool HasSysClip = false;
  DCState S;
  std::vector<DCState> Saved;
};

enum class ObjKind { Bitmap, Region, Pen, Brush, Font, DC, Palette };

struct Object {
  ObjKind Kind;
  bool Stock = false;
  std::shared_ptr<Bitmap> Bmp;
  std::shared_ptr<Region> Rgn;
  std::shared_ptr<Pen> P;
  std::shared_ptr<Brush> B;
  std::shared_ptr<Font> F;
  std::shared_ptr<DC> D;
};

// The one lock of GDI's tables; drawing takes it for the whole call.
std::recursive_mutex& Lock();
HGDIOBJ AddObject(std::shared_ptr<Object> O);
std::shared_ptr<Object> Find(HGDIOBJ h);
std::shared_ptr<Object> Find(HGDIOBJ h, ObjKind Kind);
void RemoveObject(HGDIOBJ h);
DC* FindDC(HDC h);
Region* FindRgn(HRGN h);
Brush* FindBrush(HBRUSH h);
Pen* FindPen(HPEN h);

// A DC on a window's client surface (win_paint.cpp).
HDC NewWindowDC(HWND Wnd, std::shared_ptr<Bitmap> Surface, const Region* SysClip);
void FreeWindowDC(HDC h);
// Moves the window's DCs that draw on Old onto New (the window's client area
// was resized and got a new surface).
void RebindWindowDCs(HWND Wnd, const std::shared_ptr<Bitmap>& Old, const std::shared_ptr<Bitmap>& New);

// The region drawing may touch, in device coordinates (surface bounds, the
// paint region and the clip region); false when nothing can be drawn.
bool VisibleRegion(const DC& dc, Region& Out);

// Logical to device coordinates: the world transform, then the window and
// viewport origins.
inline int DevX(const DC& dc, int x) { return x + dc.S.XDx - dc.S.WindowOrg.x + dc.S.ViewportOrg.x; }
inline int DevY(const DC& dc, int y) {
  return (dc.S.XFlipY ? dc.S.XDy - y : y + dc.S.XDy) - dc.S.WindowOrg.y + dc.S.ViewportOrg.y;
}
inline bool FlipsY(const DC& dc) { return dc.S.XFlipY; }
// A logical rectangle (right and bottom exclusive) as the device pixels it
// covers, normalised.
RECT DevRect(const DC& dc, int left, int top, int right, int bottom);
// A device rectangle back in logical coordinates.
RECT LogicalRect(const DC& dc, const RECT& r);
// A region in logical coordinates as device pixels.
Region ToDevice(const DC& dc, const Region& r);

// ROP2 of a pen or brush colour (raw pixel values) over a destination pixel.
uint32_t Rop2(int Rop, uint32_t Pen, uint32_t Dst, uint32_t Mask);

// Fills the spans of a region (device coordinates) with a brush.
void FillRegion(DC& dc, const Region& Area, const Brush& B, int Rop);
// Resolved brush of a handle (DC brush, system colours); false for none.
bool ResolveBrush(const DC& dc, HGDIOBJ h, Brush& Out);
bool ResolvePen(const DC& dc, HGDIOBJ h, Pen& Out);

}  // namespace vxgdi

namespace vxgdi {
// The next Count DIB sections fail (test driver).
void SetDIBSectionFailures(int Count);
// Off: block transfers take the per-pixel path everywhere (test driver).
void SetBlitRowPaths(bool On);
}  // namespace vxgdi
