// GDI: device contexts, drawing objects, regions and bitmaps over raster
// surfaces held in memory (DIB sections, compatible bitmaps, window
// surfaces).
#pragma once
#include "platform/win_logfont.h"
#include "platform/win_memory.h"
#include "winui/win_types.h"

// Object types (GetObjectType).
constexpr DWORD OBJ_PEN = 1;
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_PAL = 5;
constexpr DWORD OBJ_FONT = 6;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_REGION = 8;
constexpr DWORD OBJ_MEMDC = 10;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_PALETTE = 15;
constexpr int DEFAULT_GUI_FONT = 17;
constexpr int DC_BRUSH = 18;
constexpr int DC_PEN = 19;

// Region results.
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_ERROR = ERROR;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

// Fill modes, background modes, mix modes, stretch modes.
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int STRETCH_ORSCANS = WHITEONBLACK;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int STRETCH_HALFTONE = HALFTONE;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr UINT GDI_ERROR = 0xFFFFFFFF;

struct RGBQUAD {
  BYTE rgbBlue = 0;
  BYTE rgbGreen = 0;
  BYTE rgbRed = 0;
  BYTE rgbReserved = 0;
};

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;

struct BITMAPINFOHEADER {
  DWORD biSize = 0;
  LONG biWidth = 0;
  LONG biHeight = 0;
  WORD biPlanes = 0;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};

// The colour table follows the header; a caller allocates room for it.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

struct BITMAP {
  LONG bmType = 0;
  LONG bmWidth = 0;
  LONG bmHeight = 0;
  LONG bmWidthBytes = 0;
  WORD bmPlanes = 0;
  WORD bmBitsPixel = 0;
  LPVOID bmBits = nullptr;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3] = {};
  HANDLE dshSection = nullptr;
  DWORD dsOffset = 0;
};

struct LOGBRUSH {
  UINT lbStyle = 0;
  COLORREF lbColor = 0;
  ULONG_PTR lbHatch = 0;
};

struct LOGPEN {
  UINT lopnStyle = 0;
  POINT lopnWidth;
  COLORREF lopnColor = 0;
};

// Brush styles and hatches.
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
constexpr UINT BS_HATCHED = 2;
constexpr UINT BS_PATTERN = 3;
constexpr UINT BS_INDEXED = 4;
constexpr UINT BS_DIBPATTERN = 5;
constexpr UINT BS_DIBPATTERNPT = 6;
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_DASHDOT = 3;
constexpr int PS_DASHDOTDOT = 4;
constexpr int PS_NULL = 5;
constexpr int PS_INSIDEFRAME = 6;

// Objects.
HGDIOBJ GetStockObject(int i);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
BOOL DeleteObject(HGDIOBJ ho);
DWORD GetObjectType(HGDIOBJ h);
// Fills a BITMAP, DIBSECTION, LOGPEN, LOGBRUSH or LOGFONTW record; answers
// the bytes written (the record size when pv is null), 0 for a bad handle.
// A pattern brush's LOGBRUSH is BS_PATTERN with the bitmap it was made
// from, or BS_DIBPATTERNPT with the address of the brush's own copy of the
// packed DIB (valid while the brush lives) and the DIB's colour use.
int GetObjectW(HANDLE h, int c, LPVOID pv);
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int iHatch, COLORREF color);
// BS_SOLID, BS_NULL and BS_HATCHED as the functions above; BS_PATTERN with
// the bitmap in lbHatch; BS_DIBPATTERNPT with a packed DIB's address in
// lbHatch and BS_DIBPATTERN with a global block holding one (checked
// against the block's size), DIB_RGB_COLORS or DIB_PAL_COLORS in lbColor's
// low word.
HBRUSH CreateBrushIndirect(const LOGBRUSH* plbrush);
// Pattern brushes tile their bitmap from the DC's brush origin (device
// pixels, SetBrushOrgEx), whatever the mapping; ROP2 combines them as it
// does solid colours, and the background mode does not apply. The brush
// keeps a copy: the bitmap or DIB may go once it is made.
// A monochrome device bitmap draws its 0 bits in the DC's text colour and
// its 1 bits in the background colour; other bitmaps (DIB sections too)
// keep their own colours.
HBRUSH CreatePatternBrush(HBITMAP hbm);
// A packed DIB: BITMAPINFOHEADER (or a later header), the colour masks of
// BI_BITFIELDS, the colour table (RGBQUADs, or with DIB_PAL_COLORS 16-bit
// indexes into the default palette), then the rows. 1 to 32 bits per pixel,
// BI_RGB or BI_BITFIELDS; anything that does not add up gives null.
HBRUSH CreateDIBPatternBrushPt(const void* lpPackedDIB, UINT iUsage);
HBRUSH GetSysColorBrush(int nIndex);
// The default palette (GetStockObject(DEFAULT_PALETTE)) is the only one:
// SelectPalette answers it for it and null for anything else, RealizePalette
// maps no entries (0; GDI_ERROR for a bad DC).
HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd);
UINT RealizePalette(HDC hdc);
HPEN CreatePen(int iStyle, int cWidth, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* plpen);
COLORREF SetDCBrushColor(HDC hdc, COLORREF color);
COLORREF SetDCPenColor(HDC hdc, COLORREF color);

// Device contexts.
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int nSavedDC);
BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* lppt);
BOOL GetViewportOrgEx(HDC hdc, POINT* lppoint);
BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* lppt);
BOOL GetWindowOrgEx(HDC hdc, POINT* lppoint);
BOOL OffsetViewportOrgEx(HDC hdc, int x, int y, POINT* lppt);
BOOL SetBrushOrgEx(HDC hdc, int x, int y, POINT* lppt);
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
int SetROP2(HDC hdc, int rop2);
int GetROP2(HDC hdc);
int SetPolyFillMode(HDC hdc, int mode);
int GetPolyFillMode(HDC hdc);
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);

// Graphics modes and the world transform. The transforms held are the
// identity, translations and the vertical flip (eM22 = -1) with a
// translation, whole pixels each; SetWorldTransform refuses other matrices
// (FALSE) and needs GM_ADVANCED. Going back to GM_COMPATIBLE needs the
// identity.
constexpr int GM_COMPATIBLE = 1;
constexpr int GM_ADVANCED = 2;
constexpr DWORD MWT_IDENTITY = 1;
constexpr DWORD MWT_LEFTMULTIPLY = 2;
constexpr DWORD MWT_RIGHTMULTIPLY = 3;
struct XFORM;
int SetGraphicsMode(HDC hdc, int iMode);
int GetGraphicsMode(HDC hdc);
BOOL SetWorldTransform(HDC hdc, const XFORM* lpxf);
BOOL GetWorldTransform(HDC hdc, XFORM* lpxf);
// MWT_IDENTITY resets the transform; the multiplications take the matrices
// SetWorldTransform takes and a result of that kind.
BOOL ModifyWorldTransform(HDC hdc, const XFORM* lpxf, DWORD mode);

// Bitmaps.
HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits);
// 1, 4, 8, 16, 24 and 32 bits per pixel, BI_RGB (and BI_BITFIELDS at 16 and
// 32 bits). A positive height is bottom-up, a negative one top-down.
// Sizes above the pixel limit, or a header that does not add up, give null.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection,
                         DWORD offset);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC hdc, int x, int y);
UINT GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD* prgbq);
UINT SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, const RGBQUAD* prgbq);

// Regions. Coordinates are those of the device; right and bottom exclusive.
struct RGNDATAHEADER {
  DWORD dwSize = 0;
  DWORD iType = 0;
  DWORD nCount = 0;
  DWORD nRgnSize = 0;
  RECT rcBound;
};
struct RGNDATA {
  RGNDATAHEADER rdh;
  char Buffer[1];
};
constexpr DWORD RDH_RECTANGLES = 1;
struct XFORM {
  float eM11 = 1, eM12 = 0, eM21 = 0, eM22 = 1, eDx = 0, eDy = 0;
};
HRGN CreateRectRgn(int x1, int y1, int x2, int y2);
HRGN CreateRectRgnIndirect(const RECT* lprect);
int CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode);
int OffsetRgn(HRGN hrgn, int x, int y);
BOOL PtInRegion(HRGN hrgn, int x, int y);
BOOL RectInRegion(HRGN hrgn, const RECT* lprect);
int GetRgnBox(HRGN hrgn, RECT* lprc);
BOOL EqualRgn(HRGN hrgn1, HRGN hrgn2);
BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom);
// Rectangles of the region, sorted by bands; answers the bytes needed (when
// lpRgnData is null or nCount too small) or written.
DWORD GetRegionData(HRGN hrgn, DWORD nCount, RGNDATA* lpRgnData);
// The region of nCount bytes of RGNDATA (transform: translation only).
// Damaged or short data gives null.
HRGN ExtCreateRegion(const XFORM* lpx, DWORD nCount, const RGNDATA* lpData);

// Clipping.
int SelectClipRgn(HDC hdc, HRGN hrgn);
int ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode);
int GetClipRgn(HDC hdc, HRGN hrgn);
int GetClipBox(HDC hdc, RECT* lprect);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int OffsetClipRgn(HDC hdc, int x, int y);
BOOL PtVisible(HDC hdc, int x, int y);

// Filling rectangles and regions with a brush.
int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
int FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
BOOL InvertRect(HDC hDC, const RECT* lprc);
BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr);
BOOL PaintRgn(HDC hdc, HRGN hrgn);
BOOL FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h);
BOOL InvertRgn(HDC hdc, HRGN hrgn);

// Rectangle helpers.
BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom);
BOOL SetRectEmpty(RECT* lprc);
BOOL IsRectEmpty(const RECT* lprc);
BOOL CopyRect(RECT* lprcDst, const RECT* lprcSrc);
BOOL InflateRect(RECT* lprc, int dx, int dy);
BOOL OffsetRect(RECT* lprc, int dx, int dy);
BOOL IntersectRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
BOOL UnionRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
BOOL PtInRect(const RECT* lprc, POINT pt);
BOOL EqualRect(const RECT* lprc1, const RECT* lprc2);

// The largest number of pixels that a bitmap or a region rectangle may
// hold; 0: no limit. The image library hands its pixel limit down here.
void VXSetGdiPixelLimit(int64_t Pixels);

// Lines and shapes, drawn with the selected pen (lines exclude their end
// point) and filled with the selected brush.
BOOL MoveToEx(HDC hdc, int x, int y, POINT* lppt);
BOOL LineTo(HDC hdc, int x, int y);
BOOL GetCurrentPositionEx(HDC hdc, POINT* lppt);
BOOL Polyline(HDC hdc, const POINT* apt, int cpt);
BOOL PolylineTo(HDC hdc, const POINT* apt, DWORD cpt);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
BOOL Polygon(HDC hdc, const POINT* apt, int cpt);
// Arcs of the ellipse inscribed in the box (right and bottom exclusive, as
// for Ellipse), from the radial through (xStart, yStart) to the radial
// through (xEnd, yEnd), both seen from the box's centre, turning the DC's
// arc direction (counter-clockwise on the screen by default); equal radials
// give the whole ellipse. Pie fills the wedge with the brush and outlines it
// with the arc and the two radials.
constexpr int AD_COUNTERCLOCKWISE = 1;
constexpr int AD_CLOCKWISE = 2;
int SetArcDirection(HDC hdc, int dir);
int GetArcDirection(HDC hdc);
BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL Pie(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL PolyPolygon(HDC hdc, const POINT* apt, const INT* asz, int csz);
using LINEDDAPROC = void (*)(int, int, LPARAM);
// Calls the procedure for each point of the line, end point excluded.
BOOL LineDDA(int xStart, int yStart, int xEnd, int yEnd, LINEDDAPROC lpProc, LPARAM data);

// Edges of 3-D frames.
constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr UINT BF_MIDDLE = 0x0800;
constexpr UINT BF_ADJUST = 0x2000;
BOOL DrawEdge(HDC hdc, RECT* qrc, UINT edge, UINT grfFlags);

// Shape regions.
HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2);
HRGN CreateEllipticRgnIndirect(const RECT* lprect);
HRGN CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h);
HRGN CreatePolygonRgn(const POINT* pptl, int cPoint, int iMode);
HRGN CreatePolyPolygonRgn(const POINT* pptl, const INT* pc, int cPoly, int iMode);

// Raster operations of block transfers.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD NOMIRRORBITMAP = 0x80000000;
constexpr DWORD CAPTUREBLT = 0x40000000;

// Block transfers: every ternary raster operation (bits 16-23 of the code:
// the result for pattern, source and destination bits P*4 + S*2 + D).
// Monochrome device bitmaps as sources take the destination's text colour
// for 0 and its background colour for 1; a colour source becomes such a
// bitmap by its background colour (white) against the rest (black). DIB
// sections convert through their colour tables. A negative width or
// height mirrors.
BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
                int hSrc, DWORD rop);
// Device-independent bits: the header says how many bytes the rows take;
// a header that does not add up (or biSizeImage below that) gives 0.
int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                  int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop);
int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                      UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi, UINT ColorUse);
// Rows of a bitmap in the format the header asks for (1, 4, 8, 24 or 32
// bits); with null bits, fills in the header. Answers the rows copied.
int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, BITMAPINFO* lpbmi, UINT usage);
int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits, const BITMAPINFO* lpbmi,
              UINT ColorUse);

// Blending, gradients and parallelogram transfers (the entries of
// "MSIMG32.DLL" and GDI).
using COLOR16 = USHORT;
struct TRIVERTEX {
  LONG x = 0;
  LONG y = 0;
  COLOR16 Red = 0;
  COLOR16 Green = 0;
  COLOR16 Blue = 0;
  COLOR16 Alpha = 0;
};
struct GRADIENT_RECT {
  ULONG UpperLeft = 0;
  ULONG LowerRight = 0;
};
struct GRADIENT_TRIANGLE {
  ULONG Vertex1 = 0;
  ULONG Vertex2 = 0;
  ULONG Vertex3 = 0;
};
constexpr ULONG GRADIENT_FILL_RECT_H = 0x00000000;
constexpr ULONG GRADIENT_FILL_RECT_V = 0x00000001;
constexpr ULONG GRADIENT_FILL_TRIANGLE = 0x00000002;
struct BLENDFUNCTION {
  BYTE BlendOp = 0;
  BYTE BlendFlags = 0;
  BYTE SourceConstantAlpha = 255;
  BYTE AlphaFormat = 0;
};
constexpr BYTE AC_SRC_OVER = 0x00;
constexpr BYTE AC_SRC_ALPHA = 0x01;

// Colours of the vertices interpolated over rectangles (horizontally or
// vertically) or triangles; the channels' high bytes are used.
BOOL GradientFill(HDC hdc, TRIVERTEX* pVertex, ULONG nVertex, void* pMesh, ULONG nMesh, ULONG ulMode);
// The source over the destination with a constant opacity, and with the
// source's own premultiplied alpha (AC_SRC_ALPHA, 32-bit sources only). The
// source rectangle must lie inside the source.
BOOL AlphaBlend(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc, int xoriginSrc,
                int yoriginSrc, int wSrc, int hSrc, BLENDFUNCTION ftn);
// The source rectangle onto the parallelogram of three points (upper-left,
// upper-right, lower-left), through an optional monochrome mask.
BOOL PlgBlt(HDC hdcDest, const POINT* lpPoint, HDC hdcSrc, int xSrc, int ySrc, int width, int height,
            HBITMAP hbmMask, int xMask, int yMask);

// Drawing here is never batched: nothing to flush.
BOOL GdiFlush();
