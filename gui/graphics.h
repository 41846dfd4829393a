// Drawing objects of the GUI class library: colours, pens, brushes, fonts,
// the canvas over a device context, and graphics (bitmaps, pictures).
//
// Properties are getters and setters; a drawing object tells its canvas of
// every change through OnChange, and the canvas selects the new object into
// its device context before the next drawing call.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui/component.h"
#include "gui/graphics_types.h"  // TColor, TFontStyle, TFontStyles
#include "platform/pixelformat.h"
#include "platform/win_geometry.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"

constexpr TColor clSystemColor = TColor(0xFF000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The 0x00BBGGRR value of a colour: system colours resolved.
COLORREF VXColorToRGB(TColor Color);

// Failures of the drawing objects.
class EInvalidGraphicOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EOutOfResources : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using TNotifyEvent = std::function<void(void* Sender)>;

// ---------------------------------------------------------------------------
// Pens, brushes, fonts

class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// The 16 binary raster operations of a pen (VXPenModeToROP2 gives the code).
enum TPenMode {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};
// The R2_ code of a pen mode.
int VXPenModeToROP2(TPenMode Mode);

class TPen : public TGraphicsObject {
 public:
  TPen() = default;
  ~TPen() override;
  TColor Color() const { return fColor; }
  void SetColor(TColor v);
  TPenMode Mode() const { return fMode; }
  void SetMode(TPenMode v);
  TPenStyle Style() const { return fStyle; }
  void SetStyle(TPenStyle v);
  int Width() const { return fWidth; }
  void SetWidth(int v);
  // The pen object of the current colour, style and width (made on demand;
  // owned by the pen).
  HPEN Handle();
  void Assign(TPersistent* Source) override;

 private:
  void Touch();
  TColor fColor = clBlack;
  TPenMode fMode = pmCopy;
  TPenStyle fStyle = psSolid;
  int fWidth = 1;
  HPEN fHandle = nullptr;
  bool fStale = false;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
 public:
  TBrush() = default;
  ~TBrush() override;
  TColor Color() const { return fColor; }
  // Setting a colour on a clear brush makes it solid.
  void SetColor(TColor v);
  TBrushStyle Style() const { return fStyle; }
  void SetStyle(TBrushStyle v);
  HBRUSH Handle();
  void Assign(TPersistent* Source) override;

 private:
  void Touch();
  TColor fColor = clWhite;
  TBrushStyle fStyle = bsSolid;
  HBRUSH fHandle = nullptr;
  bool fStale = false;
};

enum TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = uint8_t;

class TFont : public TGraphicsObject {
 public:
  TFont() = default;
  ~TFont() override;
  std::string Name() const { return fName; }
  void SetName(const std::string& v);
  // Height in pixels: negative for the character height, positive for the
  // cell height. Size is in points at PixelsPerInch: -Height * 72 / ppi.
  int Height() const { return fHeight; }
  void SetHeight(int v);
  int Size() const;
  void SetSize(int v);
  TColor Color() const { return fColor; }
  void SetColor(TColor v);
  TFontStyles Style() const { return fStyle; }
  void SetStyle(TFontStyles v);
  TFontCharset Charset() const { return fCharset; }
  void SetCharset(TFontCharset v);
  TFontPitch Pitch() const { return fPitch; }
  void SetPitch(TFontPitch v);
  int PixelsPerInch() const { return fPixelsPerInch; }
  void SetPixelsPerInch(int v) { fPixelsPerInch = v > 0 ? v : 96; }
  // The logical font of the current properties (made on demand).
  HFONT Handle();
  void Assign(TPersistent* Source) override;

 private:
  void Touch();
  std::string fName = "Tahoma";
  int fHeight = -11;
  TColor fColor = clWindowText;
  TFontStyles fStyle = 0;
  TFontCharset fCharset = 1;  // DEFAULT_CHARSET
  TFontPitch fPitch = fpDefault;
  int fPixelsPerInch = 96;
  HFONT fHandle = nullptr;
  bool fStale = false;
};

// ---------------------------------------------------------------------------
// Canvas

class TGraphic;

// Raster operations of CopyRect and Draw.
using TCopyMode = DWORD;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmDstInvert = DSTINVERT;
constexpr TCopyMode cmMergeCopy = MERGECOPY;
constexpr TCopyMode cmMergePaint = MERGEPAINT;
constexpr TCopyMode cmNotSrcCopy = NOTSRCCOPY;
constexpr TCopyMode cmNotSrcErase = NOTSRCERASE;
constexpr TCopyMode cmPatCopy = PATCOPY;
constexpr TCopyMode cmPatInvert = PATINVERT;
constexpr TCopyMode cmPatPaint = PATPAINT;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcErase = SRCERASE;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmWhiteness = WHITENESS;

enum TCanvasOrientation { coLeftToRight, coRightToLeft };

// Drawing on a device context with the canvas's pen, brush and font. A
// canvas either is given a DC (SetHandle) or makes one when first drawn on
// (CreateHandle of the canvas kinds below). Rectangles are right- and
// bottom-exclusive, as for GDI.
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The device context; made on demand. Raises EInvalidOperation "Canvas
  // does not allow drawing" when the canvas has none and can make none.
  HDC Handle();
  // Binds the canvas to a DC that someone else owns (null: unbinds it).
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return fHandle != nullptr; }

  TPen* Pen() { return fPen.get(); }
  TBrush* Brush() { return fBrush.get(); }
  TFont* Font() { return fFont.get(); }
  TCopyMode CopyMode() const { return fCopyMode; }
  void SetCopyMode(TCopyMode v) { fCopyMode = v; }

  TPoint PenPos();
  void SetPenPos(TPoint p) { MoveTo(p.X, p.Y); }
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void Polyline(std::span<const TPoint> Points);
  void Polygon(std::span<const TPoint> Points);
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
  // The arc of the ellipse in (X1, Y1)-(X2, Y2) from the radial through
  // (X3, Y3) counter-clockwise to the radial through (X4, Y4); Pie fills the
  // wedge with the brush and outlines it with the pen.
  void Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  TColor Pixels(int X, int Y);
  void SetPixels(int X, int Y, TColor Value);
  TRect ClipRect();
  void Draw(int X, int Y, TGraphic* Graphic);
  void StretchDraw(const TRect& R, TGraphic* Graphic);
  // Source of Canvas onto Dest of this canvas with CopyMode (stretched when
  // the sizes differ).
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);

  // Text (UTF-8) in the font and its colour with the DC's text flags; a
  // solid brush fills the text's cell with its colour, other brushes leave
  // the background alone. TextOut moves the pen position to the text's end.
  void TextOut(int X, int Y, const std::string& Text);
  // Text at (X, Y) clipped to Rect, which a brush other than bsClear fills
  // first.
  void TextRect(const TRect& Rect, int X, int Y, const std::string& Text);
  // Width and height (the font's ascent + descent) of a text; 0 x 0 when
  // the DC cannot measure.
  TSize TextExtent(const std::string& Text);
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
  // ETO_ options added to every text call (ETO_RTLREADING, ETO_CLIPPED, ...).
  int TextFlags() const { return fTextFlags; }
  void SetTextFlags(int v) { fTextFlags = v; }
  // Right to left when the text flags ask for right-to-left reading and the
  // DC aligns text on its right (TA_RIGHT): text then runs leftwards from a
  // reference point on its right, and TextOut and TextRect put that point
  // one pixel past the text's width from X.
  TCanvasOrientation CanvasOrientation();

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  // Makes a DC for a canvas that has none (default: none can be made).
  virtual void CreateHandle() {}
  // Puts the stock objects back into the DC, which keeps none of ours.
  void DeselectHandles();
  virtual void Changing();
  virtual void Changed();
  enum : unsigned { stHandle = 1, stPen = 2, stBrush = 4, stFont = 8 };
  void RequiredState(unsigned State);

 private:
  HDC fHandle = nullptr;
  unsigned fState = 0;
  std::unique_ptr<TPen> fPen;
  std::unique_ptr<TBrush> fBrush;
  std::unique_ptr<TFont> fFont;
  TCopyMode fCopyMode = cmSrcCopy;
  int fTextFlags = 0;
};

// ---------------------------------------------------------------------------
// Graphics

class TGraphic : public TPersistent {
 public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int v) = 0;
  virtual void SetHeight(int v) = 0;
  virtual bool Empty() const = 0;
  // Draws the whole graphic into Rect of Canvas.
  virtual void Draw(TCanvas* Canvas, const TRect& Rect) = 0;
  bool Modified() const { return fModified; }
  void SetModified(bool v);
  TNotifyEvent OnChange;

 protected:
  virtual void Changed();

 private:
  bool fModified = false;
};


class TBitmapCanvas;

// A device-independent bitmap (a DIB section, bottom-up rows as the
// platform keeps them) with a canvas on a memory DC. pfDevice takes the
// screen's depth. A bitmap of no pixels has no handle.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int Width, int Height, TPixelFormat Format = pf24bit);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const override { return fWidth; }
  int Height() const override { return fHeight; }
  void SetWidth(int v) override { SetSize(v, fHeight); }
  void SetHeight(int v) override { SetSize(fWidth, v); }
  bool Empty() const override { return fWidth == 0 || fHeight == 0; }
  // Keeps the pixels the old and the new size share; new pixels are 0.
  // Raises EOutOfResources when the platform refuses the size.
  void SetSize(int NewWidth, int NewHeight);
  TPixelFormat PixelFormat() const { return fPixelFormat; }
  // Converts the pixels to the new format (pfCustom raises
  // EInvalidGraphicOperation).
  void SetPixelFormat(TPixelFormat v);
  // Bits per pixel of the pixels held.
  int BitsPerPixel() const;
  // Bytes of one row (multiple of 4).
  size_t RowBytes() const;
  // Row Row (0 the top row); raises EInvalidGraphicOperation "Scan line
  // index out of range" outside 0 .. Height-1.
  void* ScanLine(int Row);
  HBITMAP Handle() const { return fHandle; }
  TCanvas* Canvas();
  // The colour table of 1-, 4- and 8-bit bitmaps (empty otherwise).
  std::vector<RGBQUAD> Palette() const;
  void SetPalette(std::span<const RGBQUAD> Entries);
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* Canvas, const TRect& Rect) override;

 private:
  friend class TBitmapCanvas;
  void Recreate(int W, int H, TPixelFormat F, const TBitmap* CopyFrom);
  HDC MemoryDC();
  void FreeMemoryDC();
  int fWidth = 0, fHeight = 0;
  TPixelFormat fPixelFormat = pfDevice;
  HBITMAP fHandle = nullptr;
  uint8_t* fBits = nullptr;
  std::vector<RGBQUAD> fPalette;
  HDC fDC = nullptr;
  HGDIOBJ fOldBitmap = nullptr;
  std::unique_ptr<TBitmapCanvas> fCanvas;
};

// A picture holds one graphic (a bitmap here) and makes one on demand.
class TPicture : public TPersistent {
 public:
  TPicture() = default;
  ~TPicture() override;
  // The graphic, null when empty.
  TGraphic* Graphic() const { return fGraphic.get(); }
  // Takes a copy of Value (null: empties the picture).
  void SetGraphic(TGraphic* Value);
  // The picture's bitmap: an empty bitmap replaces any other graphic.
  TBitmap* Bitmap();
  int Width() const { return fGraphic ? fGraphic->Width() : 0; }
  int Height() const { return fGraphic ? fGraphic->Height() : 0; }
  void Assign(TPersistent* Source) override;
  TNotifyEvent OnChange;

 private:
  void Take(std::unique_ptr<TGraphic> G);
  void Changed();
  std::unique_ptr<TGraphic> fGraphic;
};
