// Pens, brushes, fonts, the canvas, bitmaps and pictures.
#include "gui/graphics.h"

#include <algorithm>
#include <cstring>

#include "platform/utf.h"
#include "platform/win_syscolors.h"
#include "winui/gdi_font.h"
#include "winui/win_metrics.h"

COLORREF VXColorToRGB(TColor Color) { return COLORREF(ColorToRGB(Color)) & 0xFFFFFFu; }

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// Pen

int VXPenModeToROP2(TPenMode Mode) {
  static const int rop[16] = {R2_BLACK,       R2_WHITE,       R2_NOP,         R2_NOT,
                              R2_COPYPEN,     R2_NOTCOPYPEN,  R2_MERGEPENNOT, R2_MASKPENNOT,
                              R2_MERGENOTPEN, R2_MASKNOTPEN,  R2_MERGEPEN,    R2_NOTMERGEPEN,
                              R2_MASKPEN,     R2_NOTMASKPEN,  R2_XORPEN,      R2_NOTXORPEN};
  unsigned m = unsigned(Mode);
  return m < 16 ? rop[m] : R2_COPYPEN;
}

TPen::~TPen() {
  if (fHandle) DeleteObject(fHandle);
}

// The handle is remade on its next use, after the canvas has let go of it.
void TPen::Touch() {
  fStale = true;
  Changed();
}

void TPen::SetColor(TColor v) {
  if (v == fColor) return;
  fColor = v;
  Touch();
}

void TPen::SetMode(TPenMode v) {
  if (v == fMode) return;
  fMode = v;
  Changed();  // the mode is a state of the DC, not of the pen object
}

void TPen::SetStyle(TPenStyle v) {
  if (v == fStyle) return;
  fStyle = v;
  Touch();
}

void TPen::SetWidth(int v) {
  if (v < 0) v = 0;
  if (v == fWidth) return;
  fWidth = v;
  Touch();
}

HPEN TPen::Handle() {
  if (fStale && fHandle) {
    DeleteObject(fHandle);
    fHandle = nullptr;
  }
  fStale = false;
  if (!fHandle) fHandle = CreatePen(int(fStyle), fWidth, VXColorToRGB(fColor));
  return fHandle;
}

void TPen::Assign(TPersistent* Source) {
  auto* p = dynamic_cast<TPen*>(Source);
  if (!p) return TPersistent::Assign(Source);
  fColor = p->fColor;
  fMode = p->fMode;
  fStyle = p->fStyle;
  fWidth = p->fWidth;
  Touch();
}

// ---------------------------------------------------------------------------
// Brush

TBrush::~TBrush() {
  if (fHandle && fStyle != bsClear) DeleteObject(fHandle);
}

void TBrush::Touch() {
  fStale = true;
  Changed();
}

void TBrush::SetColor(TColor v) {
  if (v == fColor && fStyle != bsClear) return;
  fColor = v;
  if (fStyle == bsClear) {
    if (fHandle) {
      // The stock null brush is not ours to delete.
      fHandle = nullptr;
    }
    fStyle = bsSolid;
  }
  Touch();
}

void TBrush::SetStyle(TBrushStyle v) {
  if (v == fStyle) return;
  if (fStyle == bsClear) fHandle = nullptr;  // stock object
  fStyle = v;
  Touch();
}

HBRUSH TBrush::Handle() {
  if (fStale && fHandle) {
    if (fStyle != bsClear) DeleteObject(fHandle);
    fHandle = nullptr;
  }
  fStale = false;
  if (!fHandle) {
    switch (fStyle) {
      case bsSolid:
        fHandle = CreateSolidBrush(VXColorToRGB(fColor));
        break;
      case bsClear:
        fHandle = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        break;
      default:
        fHandle = CreateHatchBrush(int(fStyle) - int(bsHorizontal) + HS_HORIZONTAL, VXColorToRGB(fColor));
        break;
    }
  }
  return fHandle;
}

void TBrush::Assign(TPersistent* Source) {
  auto* b = dynamic_cast<TBrush*>(Source);
  if (!b) return TPersistent::Assign(Source);
  if (fHandle && fStyle != bsClear) DeleteObject(fHandle);
  fHandle = nullptr;
  fColor = b->fColor;
  fStyle = b->fStyle;
  Touch();
}

// ---------------------------------------------------------------------------
// Font

TFont::~TFont() {
  if (fHandle) DeleteObject(fHandle);
}

void TFont::Touch() {
  fStale = true;
  Changed();
}

void TFont::SetName(const std::string& v) {
  if (v == fName || v.empty()) return;
  fName = v;
  Touch();
}

void TFont::SetHeight(int v) {
  if (v == fHeight) return;
  fHeight = v;
  Touch();
}

int TFont::Size() const { return -MulDiv(fHeight, 72, fPixelsPerInch); }

void TFont::SetSize(int v) { SetHeight(-MulDiv(v, fPixelsPerInch, 72)); }

void TFont::SetColor(TColor v) {
  if (v == fColor) return;
  fColor = v;
  Changed();  // the text colour is a state of the DC
}

void TFont::SetStyle(TFontStyles v) {
  if (v == fStyle) return;
  fStyle = v;
  Touch();
}

void TFont::SetCharset(TFontCharset v) {
  if (v == fCharset) return;
  fCharset = v;
  Touch();
}

void TFont::SetPitch(TFontPitch v) {
  if (v == fPitch) return;
  fPitch = v;
  Touch();
}

HFONT TFont::Handle() {
  if (fStale && fHandle) {
    DeleteObject(fHandle);
    fHandle = nullptr;
  }
  fStale = false;
  if (!fHandle) {
    LOGFONTW lf;
    lf.lfHeight = fHeight;
    lf.lfWeight = (fStyle & VXFontStyleBit(fsBold)) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (fStyle & VXFontStyleBit(fsItalic)) ? 1 : 0;
    lf.lfUnderline = (fStyle & VXFontStyleBit(fsUnderline)) ? 1 : 0;
    lf.lfStrikeOut = (fStyle & VXFontStyleBit(fsStrikeOut)) ? 1 : 0;
    lf.lfCharSet = fCharset;
    lf.lfPitchAndFamily = fPitch == fpFixed ? 1 : fPitch == fpVariable ? 2 : 0;
    std::u16string face = VXUTF8ToUTF16(fName);
    size_t n = std::min<size_t>(face.size(), LF_FACESIZE - 1);
    std::copy_n(face.begin(), n, lf.lfFaceName);
    fHandle = CreateFontIndirectW(&lf);
  }
  return fHandle;
}

void TFont::Assign(TPersistent* Source) {
  auto* f = dynamic_cast<TFont*>(Source);
  if (!f) return TPersistent::Assign(Source);
  fName = f->fName;
  fHeight = f->fHeight;
  fColor = f->fColor;
  fStyle = f->fStyle;
  fCharset = f->fCharset;
  fPitch = f->fPitch;
  fPixelsPerInch = f->fPixelsPerInch;
  Touch();
}

// ---------------------------------------------------------------------------
// Canvas

TCanvas::TCanvas() : fPen(std::make_unique<TPen>()), fBrush(std::make_unique<TBrush>()), fFont(std::make_unique<TFont>()) {
  // A changed object is put out of the DC at once (its handle may be
  // remade) and selected again before the next drawing call.
  fPen->OnChange = [this](void*) {
    if (fState & stPen) {
      SelectObject(fHandle, GetStockObject(BLACK_PEN));
      fState &= ~unsigned(stPen);
    }
  };
  fBrush->OnChange = [this](void*) {
    if (fState & stBrush) {
      SelectObject(fHandle, GetStockObject(NULL_BRUSH));
      fState &= ~unsigned(stBrush);
    }
  };
  fFont->OnChange = [this](void*) {
    if (fState & stFont) {
      SelectObject(fHandle, GetStockObject(SYSTEM_FONT));
      fState &= ~unsigned(stFont);
    }
  };
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

HDC TCanvas::Handle() {
  RequiredState(stHandle);
  return fHandle;
}

void TCanvas::SetHandle(HDC Value) {
  if (Value == fHandle) return;
  if (fHandle) DeselectHandles();
  fHandle = Value;
  fState = Value ? unsigned(stHandle) : 0u;
}

void TCanvas::DeselectHandles() {
  if (!fHandle) return;
  if (fState & stPen) SelectObject(fHandle, GetStockObject(BLACK_PEN));
  if (fState & stBrush) SelectObject(fHandle, GetStockObject(NULL_BRUSH));
  if (fState & stFont) SelectObject(fHandle, GetStockObject(SYSTEM_FONT));
  fState &= ~unsigned(stPen | stBrush | stFont);
}

void TCanvas::RequiredState(unsigned State) {
  if (!fHandle) {
    CreateHandle();
    if (!fHandle) throw EInvalidOperation("Canvas does not allow drawing");
    fState |= stHandle;
  }
  unsigned need = State & ~fState;
  if (need & stPen) {
    SelectObject(fHandle, fPen->Handle());
    fState |= stPen;
  }
  if (need & stBrush) {
    SelectObject(fHandle, fBrush->Handle());
    // Hatched and clear brushes leave the gaps (of hatches and styled
    // lines) alone; a solid brush fills them with its colour.
    if (fBrush->Style() == bsSolid) {
      SetBkColor(fHandle, VXColorToRGB(fBrush->Color()));
      SetBkMode(fHandle, OPAQUE);
    } else {
      SetBkColor(fHandle, ~VXColorToRGB(fBrush->Color()) & 0xFFFFFFu);
      SetBkMode(fHandle, TRANSPARENT);
    }
    fState |= stBrush;
  }
  if (need & stFont) {
    SelectObject(fHandle, fFont->Handle());
    fState |= stFont;
  }
  // Mode and colours are states of the DC: set on every call.
  if (State & stPen) SetROP2(fHandle, VXPenModeToROP2(fPen->Mode()));
  if (State & stFont) SetTextColor(fHandle, VXColorToRGB(fFont->Color()));
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

TPoint TCanvas::PenPos() {
  RequiredState(stHandle);
  POINT p;
  GetCurrentPositionEx(fHandle, &p);
  return TPoint{p.x, p.y};
}

void TCanvas::MoveTo(int X, int Y) {
  RequiredState(stHandle);
  MoveToEx(fHandle, X, Y, nullptr);
}

void TCanvas::LineTo(int X, int Y) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  ::LineTo(fHandle, X, Y);
  Changed();
}

static std::vector<POINT> ToPOINTs(std::span<const TPoint> Points) {
  std::vector<POINT> p(Points.size());
  for (size_t i = 0; i < Points.size(); ++i) p[i] = POINT{Points[i].X, Points[i].Y};
  return p;
}

void TCanvas::Polyline(std::span<const TPoint> Points) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  auto p = ToPOINTs(Points);
  ::Polyline(fHandle, p.data(), int(p.size()));
  Changed();
}

void TCanvas::Polygon(std::span<const TPoint> Points) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  auto p = ToPOINTs(Points);
  ::Polygon(fHandle, p.data(), int(p.size()));
  Changed();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  ::Rectangle(fHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  ::Ellipse(fHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  ::RoundRect(fHandle, X1, Y1, X2, Y2, X3, Y3);
  Changed();
}

void TCanvas::Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  ::Arc(fHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  Changing();
  RequiredState(stHandle | stPen | stBrush);
  ::Pie(fHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

TCanvasOrientation TCanvas::CanvasOrientation() {
  if (!(fTextFlags & ETO_RTLREADING)) return coLeftToRight;
  RequiredState(stHandle);
  UINT align = GetTextAlign(fHandle);
  return align != GDI_ERROR && (align & TA_CENTER) == TA_RIGHT ? coRightToLeft : coLeftToRight;
}

TSize TCanvas::TextExtent(const std::string& Text) {
  RequiredState(stHandle | stFont);
  SIZE sz;
  if (!GetTextExtentPoint32W(fHandle, Text.c_str(), int(Text.size()), &sz)) return TSize{};
  return TSize{sz.cx, sz.cy};
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  Changing();
  RequiredState(stHandle | stFont | stBrush);
  int width = TextWidth(Text);
  if (CanvasOrientation() == coRightToLeft) X += width + 1;
  ExtTextOutW(fHandle, X, Y, UINT(fTextFlags), nullptr, Text.c_str(), int(Text.size()), nullptr);
  MoveToEx(fHandle, X + width, Y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& Rect, int X, int Y, const std::string& Text) {
  Changing();
  RequiredState(stHandle | stFont | stBrush);
  UINT options = UINT(fTextFlags) | ETO_CLIPPED;
  if (fBrush->Style() != bsClear) options |= ETO_OPAQUE;
  if (CanvasOrientation() == coRightToLeft) X += TextWidth(Text) + 1;
  RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  // The rectangle takes the brush's colour whatever its style.
  COLORREF bk = SetBkColor(fHandle, VXColorToRGB(fBrush->Color()));
  ExtTextOutW(fHandle, X, Y, options, &r, Text.c_str(), int(Text.size()), nullptr);
  SetBkColor(fHandle, bk);
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  Changing();
  RequiredState(stHandle | stBrush);
  RECT r{R.Left, R.Top, R.Right, R.Bottom};
  ::FillRect(fHandle, &r, fBrush->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  Changing();
  RequiredState(stHandle | stBrush);
  RECT r{R.Left, R.Top, R.Right, R.Bottom};
  ::FrameRect(fHandle, &r, fBrush->Handle());
  Changed();
}

TColor TCanvas::Pixels(int X, int Y) {
  RequiredState(stHandle);
  return TColor(GetPixel(fHandle, X, Y));
}

void TCanvas::SetPixels(int X, int Y, TColor Value) {
  Changing();
  RequiredState(stHandle | stPen);
  SetPixel(fHandle, X, Y, VXColorToRGB(Value));
  Changed();
}

TRect TCanvas::ClipRect() {
  RequiredState(stHandle);
  RECT r;
  GetClipBox(fHandle, &r);
  return TRect{r.left, r.top, r.right, r.bottom};
}

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  StretchDraw(TRect{X, Y, X + Graphic->Width(), Y + Graphic->Height()}, Graphic);
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(stHandle);
  // Monochrome device sources take these two colours.
  SetBkColor(fHandle, VXColorToRGB(fBrush->Color()));
  SetTextColor(fHandle, VXColorToRGB(fFont->Color()));
  fState &= ~unsigned(stBrush);  // the brush's background colour is set again when needed
  Graphic->Draw(this, R);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas) return;
  Changing();
  RequiredState(stHandle | stBrush | stFont);
  Canvas->RequiredState(stHandle | stBrush);
  StretchBlt(fHandle, Dest.Left, Dest.Top, Dest.Right - Dest.Left, Dest.Bottom - Dest.Top, Canvas->fHandle,
             Source.Left, Source.Top, Source.Right - Source.Left, Source.Bottom - Source.Top, fCopyMode);
  Changed();
}

// ---------------------------------------------------------------------------
// Graphics

void TGraphic::SetModified(bool v) {
  if (v)
    Changed();
  else
    fModified = false;
}

void TGraphic::Changed() {
  fModified = true;
  if (OnChange) OnChange(this);
}

// The canvas of a bitmap draws on the bitmap's memory DC; what it draws
// changes the bitmap.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* Owner) : fBitmap(Owner) {}
  ~TBitmapCanvas() override { SetHandle(nullptr); }

 protected:
  void CreateHandle() override { SetHandle(fBitmap->MemoryDC()); }
  void Changed() override {
    TCanvas::Changed();
    fBitmap->Changed();
  }

 private:
  TBitmap* fBitmap;
};

namespace {

int FormatBits(TPixelFormat f) {
  switch (f) {
    case pf1bit:
      return 1;
    case pf4bit:
      return 4;
    case pf8bit:
      return 8;
    case pf15bit:
    case pf16bit:
      return 16;
    case pf24bit:
      return 24;
    case pf32bit:
      return 32;
    default: {
      int b = GetDeviceCaps(nullptr, BITSPIXEL);
      return (b == 1 || b == 4 || b == 8 || b == 16 || b == 24) ? b : 32;
    }
  }
}

// The colour table a new bitmap of that depth starts with: black and
// white; the 16 standard colours; a grey ramp.
std::vector<RGBQUAD> DefaultPalette(int Bits) {
  std::vector<RGBQUAD> p;
  if (Bits == 1) {
    p = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  } else if (Bits == 4) {
    static const TColor vga[16] = {clBlack, clMaroon, clGreen,  clOlive, clNavy, clPurple, clTeal,    clGray,
                                   clSilver, clRed,   clLime,   clYellow, clBlue, clFuchsia, clAqua, clWhite};
    for (TColor c : vga) p.push_back(RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0});
  } else if (Bits == 8) {
    for (int i = 0; i < 256; ++i) p.push_back(RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0});
  }
  return p;
}

}  // namespace

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int Width, int Height, TPixelFormat Format) {
  SetPixelFormat(Format);
  SetSize(Width, Height);
}

TBitmap::~TBitmap() {
  fCanvas.reset();
  FreeMemoryDC();
  if (fHandle) DeleteObject(fHandle);
}

int TBitmap::BitsPerPixel() const { return FormatBits(fPixelFormat); }

size_t TBitmap::RowBytes() const { return ((size_t(fWidth) * size_t(BitsPerPixel()) + 31) / 32) * 4; }

HDC TBitmap::MemoryDC() {
  if (!fDC) {
    fDC = CreateCompatibleDC(nullptr);
    if (fHandle) fOldBitmap = SelectObject(fDC, fHandle);
  }
  return fDC;
}

void TBitmap::FreeMemoryDC() {
  if (!fDC) return;
  if (fCanvas) fCanvas->SetHandle(nullptr);
  if (fOldBitmap) SelectObject(fDC, fOldBitmap);
  DeleteDC(fDC);
  fDC = nullptr;
  fOldBitmap = nullptr;
}

void TBitmap::Recreate(int W, int H, TPixelFormat F, const TBitmap* CopyFrom) {
  if (W < 0 || H < 0) throw EInvalidGraphicOperation("Invalid bitmap size");
  int bits = FormatBits(F);
  HBITMAP nh = nullptr;
  uint8_t* nbits = nullptr;
  std::vector<RGBQUAD> pal;
  if (bits <= 8) pal = fPalette.size() == (size_t(1) << bits) ? fPalette : DefaultPalette(bits);
  if (W > 0 && H > 0) {
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    bmi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi->bmiHeader.biWidth = W;
    bmi->bmiHeader.biHeight = H;  // bottom-up
    bmi->bmiHeader.biPlanes = 1;
    bmi->bmiHeader.biBitCount = WORD(bits);
    bmi->bmiHeader.biCompression = F == pf16bit ? BI_BITFIELDS : BI_RGB;
    if (F == pf16bit) {
      const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(bmi->bmiColors, masks, sizeof(masks));
    } else if (bits <= 8) {
      bmi->bmiHeader.biClrUsed = DWORD(pal.size());
      std::memcpy(bmi->bmiColors, pal.data(), pal.size() * sizeof(RGBQUAD));
    }
    void* p = nullptr;
    nh = CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, &p, nullptr, 0);
    if (!nh || !p) {
      if (nh) DeleteObject(nh);
      throw EOutOfResources("Out of system resources");
    }
    nbits = static_cast<uint8_t*>(p);
    size_t row = ((size_t(W) * size_t(bits) + 31) / 32) * 4;
    std::memset(nbits, 0, row * size_t(H));
  }
  // The own DC lets go of the old bitmap, which the copy selects elsewhere.
  if (fDC && fHandle && fOldBitmap) SelectObject(fDC, fOldBitmap);
  // The shared part of the old pixels, converted by a block transfer.
  if (nh && CopyFrom && CopyFrom->fHandle) {
    HDC src = CreateCompatibleDC(nullptr);
    HGDIOBJ so = SelectObject(src, CopyFrom->fHandle);
    HDC dst = CreateCompatibleDC(nullptr);
    HGDIOBJ dob = SelectObject(dst, nh);
    BitBlt(dst, 0, 0, std::min(W, CopyFrom->fWidth), std::min(H, CopyFrom->fHeight), src, 0, 0, SRCCOPY);
    SelectObject(dst, dob);
    DeleteDC(dst);
    SelectObject(src, so);
    DeleteDC(src);
  }
  if (fHandle) DeleteObject(fHandle);
  fHandle = nh;
  fBits = nbits;
  fWidth = W;
  fHeight = H;
  fPixelFormat = F;
  fPalette = pal;
  if (fDC && fHandle) {
    HGDIOBJ old = SelectObject(fDC, fHandle);
    if (!fOldBitmap) fOldBitmap = old;
  }
}

void TBitmap::SetSize(int NewWidth, int NewHeight) {
  if (NewWidth == fWidth && NewHeight == fHeight) return;
  Recreate(NewWidth, NewHeight, fPixelFormat, this);
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat v) {
  if (v == pfCustom) throw EInvalidGraphicOperation("Invalid pixel format");
  if (v == fPixelFormat) return;
  Recreate(fWidth, fHeight, v, this);
  Changed();
}

void* TBitmap::ScanLine(int Row) {
  if (!fBits || Row < 0 || Row >= fHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  return fBits + size_t(fHeight - 1 - Row) * RowBytes();
}

TCanvas* TBitmap::Canvas() {
  if (!fCanvas) {
    fCanvas = std::make_unique<TBitmapCanvas>(this);
  }
  return fCanvas.get();
}

std::vector<RGBQUAD> TBitmap::Palette() const { return BitsPerPixel() <= 8 ? fPalette : std::vector<RGBQUAD>{}; }

void TBitmap::SetPalette(std::span<const RGBQUAD> Entries) {
  int bits = BitsPerPixel();
  if (bits > 8) return;
  size_t n = std::min(Entries.size(), size_t(1) << bits);
  std::vector<RGBQUAD> pal = fPalette.size() == (size_t(1) << bits) ? fPalette : DefaultPalette(bits);
  std::copy_n(Entries.begin(), n, pal.begin());
  fPalette = pal;
  if (fHandle) SetDIBColorTable(MemoryDC(), 0, UINT(fPalette.size()), fPalette.data());
  Changed();
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    SetSize(0, 0);
    return;
  }
  auto* b = dynamic_cast<TBitmap*>(Source);
  if (!b) return TGraphic::Assign(Source);
  if (b == this) return;
  fPalette = b->fPalette;
  Recreate(b->fWidth, b->fHeight, b->fPixelFormat, nullptr);
  if (fBits && b->fBits) std::memcpy(fBits, b->fBits, RowBytes() * size_t(fHeight));
  Changed();
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& R) {
  if (Empty() || !ACanvas) return;
  HDC dst = ACanvas->Handle();
  int oldMode = SetStretchBltMode(dst, COLORONCOLOR);
  StretchBlt(dst, R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top, Canvas()->Handle(), 0, 0, fWidth, fHeight,
             ACanvas->CopyMode());
  SetStretchBltMode(dst, oldMode);
}

// ---------------------------------------------------------------------------
// Picture

TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::Take(std::unique_ptr<TGraphic> G) {
  fGraphic = std::move(G);
  if (fGraphic) fGraphic->OnChange = [this](void*) { Changed(); };
  Changed();
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (!Value) return Take(nullptr);
  if (Value == fGraphic.get()) return;
  if (auto* b = dynamic_cast<TBitmap*>(Value)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(b);
    return Take(std::move(copy));
  }
  throw EInvalidGraphicOperation("Unsupported graphic class");
}

TBitmap* TPicture::Bitmap() {
  auto* b = dynamic_cast<TBitmap*>(fGraphic.get());
  if (!b) {
    auto nb = std::make_unique<TBitmap>();
    b = nb.get();
    Take(std::move(nb));
  }
  return b;
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) return SetGraphic(nullptr);
  if (auto* p = dynamic_cast<TPicture*>(Source)) return SetGraphic(p->Graphic());
  if (auto* g = dynamic_cast<TGraphic*>(Source)) return SetGraphic(g);
  TPersistent::Assign(Source);
}
