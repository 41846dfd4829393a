// The rich-text control's layout and painting (word wrap, per-character
// formats, alignment and justification, selection, caret, zoom, automatic
// height) and its two clipboard formats.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/winchores.h"
#include "platform/utf.h"
#include "vect/textcontrol.h"
#include "winui/gdi_text.h"
#include "winui/win_caret.h"
#include "winui/win_clipboard.h"

namespace {

std::string Utf8Of(char16_t Ch) {
  if (Ch >= 0xD800 && Ch <= 0xDFFF) Ch = 0xFFFD;  // a lone half of a pair
  return VXUTF16ToUTF8(std::u16string(1, Ch));
}

// The unit a character is measured and drawn as: control codes as a blank.
char16_t Shown(char16_t Ch) { return (Ch < 31 || Ch == 127) ? u' ' : Ch; }

}  // namespace

void TVXTextControl::PaintBackground() {
  if (!fBackbuf || fBackbuf->Width() <= 0 || fBackbuf->Height() <= 0) return;
  TCanvas* c = fBackbuf->Canvas();
  if (fBrush->Style() != bsSolid && fUnderBuffer && !fUnderBuffer->Empty()) {
    const TRect src{Left(), Top(), Left() + fBackbuf->Width(), Top() + fBackbuf->Height()};
    c->CopyRect(TRect{0, 0, fBackbuf->Width(), fBackbuf->Height()}, fUnderBuffer->Canvas(), src);
  }
  if (fBrush->Style() != bsClear) {
    c->Brush()->SetColor(fBrush->Color());
    c->Brush()->SetStyle(fBrush->Style());
    c->FillRect(TRect{0, 0, fBackbuf->Width(), fBackbuf->Height()});
  }
}

void TVXTextControl::Paint() {
  if (!Visible() || !Parent() || fPainting) return;
  fPainting = true;
  DestroyCaret();
  const int w = std::max(0, ClientWidth()), h = std::max(0, ClientHeight());
  if (fBackbuf->Width() != w || fBackbuf->Height() != h) fBackbuf->SetSize(w, h);
  if (w > 0 && h > 0) {
    PaintBackground();
    {
      TVXCanvas c(fBackbuf->Canvas(), false, true);
      PaintTo(&c, 0, 0, int32_t(w / fZoom), int32_t(h / fZoom));
    }
    Canvas()->Draw(0, 0, fBackbuf.get());
  }
  if (HandleAllocated()) {
    CreateCaret(Handle(), nullptr, 0, fCaretH);
    SetCaretPos(fCaretX, fCaretY);
    ShowCaret(Handle());
  }
  fPainting = false;
}

void TVXTextControl::ApplyFormat(TVXCanvas* C, int32_t i) {
  TVXCharInfo def;
  const TVXCharInfo* info;
  if (fFontLocked) {
    DefaultCharInfo(def);
    info = &def;
  } else if (fTextLength <= 0) {
    info = &fInsertingCharInfo;
  } else {
    info = &fCharInfo[size_t((*fCharRef)[size_t(std::min(i, fTextLength - 1))])];
  }
  TFont* f = C->Font();
  if (f->Name() != info->name) f->SetName(info->name);
  if (f->Height() != info->height) f->SetHeight(info->height);
  if (f->Style() != info->style) f->SetStyle(info->style);
  if (!fForceDefaultColors) {
    if (f->Color() != info->color) f->SetColor(info->color);
    fCurBrushColor = info->brushColor;
  }
  fCurBrushStyle = TBrushStyle(info->brushStyle);
}

void TVXTextControl::MeasureChar(TVXCanvas* C, int32_t i, int32_t& W, int32_t& H, int32_t& IL, int32_t& D) {
  ApplyFormat(C, i);
  const size_t k = size_t(i);
  if (fcache_w[k] == 0) {
    const TSize s = C->GDICanvas()->TextExtent(Utf8Of(Shown(Unit(i))));
    fcache_w[k] = uint16_t(std::clamp<int32_t>(s.cx, 0, 65535));
  }
  if (fcache_h[k] == 0) {
    if (fFixedHeight != 0) {
      fcache_h[k] = uint16_t(std::clamp<int32_t>(std::abs(fFixedHeight), 0, 65535));
      fcache_InternalLeading[k] = fcache_Descent[k] = 0;
    } else {
      C->GDICanvas()->TextExtent(std::string());  // the font into the device context
      TEXTMETRICW tm;
      if (GetTextMetricsW(C->Handle(), &tm)) {
        fcache_h[k] = uint16_t(std::clamp<int32_t>(std::abs(tm.tmHeight), 0, 65535));
        fcache_InternalLeading[k] = std::abs(tm.tmInternalLeading);
        fcache_Descent[k] = std::abs(tm.tmDescent);
      }
    }
  }
  W = fcache_w[k];
  H = fcache_h[k];
  IL = fcache_InternalLeading[k];
  D = fcache_Descent[k];
}

void TVXTextControl::DrawGlyph(TVXCanvas* C, int32_t X, int32_t Y, char16_t Ch, int32_t Index, const TRect& Clip) {
  const bool selected = Index >= fSelStart && Index < fSelStop;
  COLORREF fg = VXColorToRGB(C->Font()->Color());
  COLORREF bg = VXColorToRGB(fCurBrushColor);
  bool opaque = fCurBrushStyle == bsSolid;
  if (selected) {
    fg = ~fg & 0xFFFFFFu;
    bg = ~bg & 0xFFFFFFu;
    opaque = true;
  }
  TCanvas* g = C->GDICanvas();
  g->TextExtent(std::string());  // the font into the device context
  const HDC dc = C->Handle();
  SetTextColor(dc, fg);
  SetBkColor(dc, bg);
  SetBkMode(dc, opaque ? OPAQUE : TRANSPARENT);
  const RECT r{Clip.Left, Clip.Top, Clip.Right, Clip.Bottom};
  const std::string s = Utf8Of(Shown(Ch));
  ExtTextOutW(dc, X, Y, ETO_CLIPPED, &r, s.c_str(), int(s.size()), nullptr);
}

void TVXTextControl::PaintTo(TVXCanvas* DestCanvas, int32_t DestX, int32_t DestY, int32_t NonZoomDestWidth,
                             int32_t NonZoomDestHeight) {
  const int32_t W0 = NonZoomDestWidth, H0 = NonZoomDestHeight;
  if (W0 <= 1 || H0 <= 1 || !DestCanvas) return;
  TVXCanvas* C = DestCanvas;
  const double Z = fZoom;
  const bool zoomed = Z != 1.0;
  fFormattedString.clear();
  fGlyphs.clear();
  if (zoomed) fGlyphs.reserve(size_t(fTextLength + 1) * 10);
  // Every cache has an entry per character and one for the terminator.
  if (fcache_w.size() < size_t(fTextLength) + 1) {
    const size_t n = size_t(fTextLength) + 1;
    fcache_h.resize(n, 0);
    fcache_w.resize(n, 0);
    fcache_InternalLeading.resize(n, 0);
    fcache_Descent.resize(n, 0);
    fposxarray.resize(n, -1);
    fposyarray.resize(n, -1);
  }

  // The box.
  C->Pen()->SetWidth(1);
  C->Font()->SetColor(fDefaultFont->Color());
  C->Pen()->SetColor(fForceDefaultColors ? fDefaultFont->Color() : fBorderPen->Color());
  C->Pen()->SetStyle(fBorderPen->Style());
  C->Pen()->SetMode(pmCopy);
  C->Brush()->SetColor(fBrush->Color());
  C->Brush()->SetStyle(fBrush->Style());
  if (fBrush->Style() != bsClear || fBorderPen->Style() != psClear)
    C->Rectangle(DestX, DestY, DestX + int32_t(std::nearbyint(Z * W0)), DestY + int32_t(std::nearbyint(Z * H0)));
  C->Pen()->SetStyle(psSolid);
  fCurBrushColor = fBrush->Color();
  fCurBrushStyle = fBrush->Style();

  const int32_t left = int32_t(W0 * fMarginLeft / 100) + 1;
  const int32_t top = int32_t(H0 * fMarginTop / 100) + 1;
  const int32_t textW = int32_t(W0 - W0 * fMarginRight / 100 - W0 * fMarginLeft / 100) - 2;
  const int32_t textH = int32_t(H0 - H0 * fMarginBottom / 100 - H0 * fMarginTop / 100) - 2;
  const TRect clip{int32_t(left * Z + DestX), int32_t(top * Z + DestY), int32_t(left * Z + DestX + Z * textW),
                   int32_t(top * Z + DestY + Z * textH)};
  const HDC dc = C->Handle();
  const UINT oldAlign = GetTextAlign(dc);
  SetTextAlign(dc, TA_BASELINE);

  const bool resizes = fAutoSize && Visible() && Parent();
  bool processed = false;
  bool stopped = false;  // painting stops (the control was resized)
  int32_t lineD = 0;
  const int32_t len = fTextLength;
  const int32_t caret = fInsertPos;
  auto addLine = [&] {
    if (fWriteFormattedString) fFormattedString.push_back(u'\n');
  };

  if (len > 0) {
    int32_t lineStart = 0;
    int32_t y = 0;
    bool done = false;
    while (!done) {
      // Measuring pass.
      int32_t x = 0, natural = 0, lineH = 0, lineIL = 0;
      lineD = 0;
      double factor = 1.0;
      int32_t breakAt = -1;  // first character of the next line
      bool endText = false, wrapped = false;
      for (int32_t i = lineStart;; ++i) {
        fposxarray[size_t(i)] = left + x;
        fposyarray[size_t(i)] = top + y;
        int32_t w, h, il, d;
        MeasureChar(C, i, w, h, il, d);
        processed = true;
        lineH = std::max(lineH, h);
        lineIL = std::max(lineIL, il);
        lineD = std::max(lineD, d);
        if (i >= len) {
          endText = true;
          breakAt = len;
          break;
        }
        const char16_t ch = Unit(i);
        if (ch == u'\n') {
          if (caret > i) {
            fCaretX = left;
            fCaretY = top + y + lineH;
            fCaretH = lineH;
          } else if (i == 0 && caret == 0) {
            fCaretX = left;
            fCaretY = top;
            fCaretH = lineH;
          }
          breakAt = i + 1;
          break;
        }
        if (x + w + 2 >= textW) {
          int32_t blank = -1;
          for (int32_t j = i - 1; j >= lineStart; --j)
            if (Unit(j) == u' ') {
              blank = j;
              break;
            }
          breakAt = blank < 0 ? i : blank + 1;
          wrapped = true;
          break;
        }
        natural += w;
        x = int32_t(natural * factor);
      }
      if (wrapped && breakAt == lineStart) break;  // not even one character fits

      // The line's alignment offset, from its last character a.
      int32_t a = endText ? len : breakAt - 1;
      if (a >= len) --a;
      if (a >= 0 && Unit(a) == u'\n') --a;
      if (a >= 0 && Unit(a) == u' ') --a;
      if (a < 0) a = 0;
      TVXAlignment align;
      if (fFontLocked)
        align = fDefaultAlign;
      else if (len <= 0)
        align = fInsertingCharInfo.align;
      else
        align = fCharInfo[size_t((*fCharRef)[size_t(std::min(a, len - 1))])].align;
      // Measured from the text area's left edge, so that margins do not
      // shorten right, centred and justified lines.
      const int32_t lineEnd = fposxarray[size_t(a)] - left + fcache_w[size_t(a)];
      int32_t offset = 0;
      switch (align) {
        case vxjRight:
          offset = textW - lineEnd - 1;
          break;
        case vxjCenter:
          offset = (textW - lineEnd) / 2;
          break;
        case vxjJustify: {
          const char16_t next = Unit(a + 1);
          const bool endsParagraph =
              next == 0 || next == u'\n' || (a + 2 >= len && Unit(a + 2) == 0);
          if (!endsParagraph && fposxarray[size_t(a)] + fcache_w[size_t(a)] != -1 && lineEnd + 1 > 0)
            factor = double(textW) / double(lineEnd + 1);
          break;
        }
        default:
          break;
      }

      // Drawing pass.
      x = offset;
      natural = offset;
      int32_t prevEnd = x;
      int32_t next = -1;
      for (int32_t i = lineStart;; ++i) {
        fposxarray[size_t(i)] = left + x;
        fposyarray[size_t(i)] = top + y;
        int32_t w, h, il, d;
        MeasureChar(C, i, w, h, il, d);
        if (i >= len) {
          done = true;
          break;
        }
        const char16_t ch = Unit(i);
        if (ch == u'\n') {
          if (caret > i) {
            fCaretX = left;
            fCaretY = top + y + lineH;
            fCaretH = lineH;
          } else if (i == 0 && caret == 0) {
            fCaretX = left;
            fCaretY = top;
            fCaretH = lineH;
          }
          if (i == len - 1)
            done = true;
          else
            next = i + 1;
          break;
        }
        if (wrapped && i == breakAt) {
          next = i;
          break;
        }
        // Drawing the character.
        const int32_t X = DestX + left + x;
        const int32_t Y = DestY + top + y + lineH - lineIL;
        if (factor != 1.0 && x != natural) {
          for (int32_t col = prevEnd; col < x; ++col) {
            if (zoomed)
              fGlyphs.push_back(TGlyph{DestX + left + col, Y, u' ', i});
            else
              DrawGlyph(C, DestX + left + col, Y, u' ', i, clip);
          }
        }
        if (zoomed)
          fGlyphs.push_back(TGlyph{X, Y, ch, i});
        else
          DrawGlyph(C, X, Y, ch, i, clip);
        if (fWriteFormattedString) {
          if (DestY + top + textH < Y) {
            done = true;
            break;
          }
          fFormattedString.push_back(ch);
        }
        if (Y + lineD > DestY + top + textH && resizes) {
          SetHeight(int32_t((Y + lineD + lineH) * Z));
          stopped = true;
          done = true;
          break;
        }
        if (i == caret) {
          fCaretX = left + x;
          fCaretY = top + y;
          fCaretH = lineH;
        } else if (i < caret) {
          fCaretX = left + x + w;
          fCaretY = top + y;
          fCaretH = lineH;
        }
        natural += w;
        prevEnd = x + w;
        x = int32_t(natural * factor);
      }
      if (done) break;
      addLine();
      y += lineH + fLineSpace;
      lineStart = next;
    }
  }
  if (stopped) {
    SetTextAlign(dc, oldAlign);
    return;
  }
  if (!processed) {
    fCaretX = left;
    fCaretY = top;
    ApplyFormat(C, 0);
    fCaretH = C->Font()->Height();
  }

  if (zoomed) {
    for (size_t g = 0; g < fGlyphs.size(); ++g) {
      const TGlyph& gl = fGlyphs[g];
      ApplyFormat(C, gl.index);
      const int32_t hgt = fFontLocked ? fDefaultFont->Height()
                          : len > 0   ? fCharInfo[size_t((*fCharRef)[size_t(std::min(gl.index, len - 1))])].height
                                      : fInsertingCharInfo.height;
      C->Font()->SetHeight(int32_t(hgt * Z));
      const int32_t zx = DestX + int32_t((gl.x - DestX) * Z);
      const int32_t zy = DestY + int32_t((gl.y - DestY) * Z);
      if (g + 1 < fGlyphs.size() && fGlyphs[g + 1].y == gl.y) {
        const int32_t nx = DestX + int32_t((fGlyphs[g + 1].x - DestX) * Z);
        const int32_t blank = std::max(1, C->GDICanvas()->TextWidth(" "));
        for (int32_t bx = zx; bx < nx; bx += blank) DrawGlyph(C, bx, zy, u' ', gl.index, clip);
      }
      DrawGlyph(C, zx, zy, gl.ch, gl.index, clip);
    }
    for (int32_t i = 0; i <= len; ++i) {
      if (fposxarray[size_t(i)] != -1) fposxarray[size_t(i)] = int32_t(fposxarray[size_t(i)] * Z);
      if (fposyarray[size_t(i)] != -1) fposyarray[size_t(i)] = int32_t(fposyarray[size_t(i)] * Z);
    }
    fCaretX = int32_t(fCaretX * Z);
    fCaretY = int32_t(fCaretY * Z);
    fCaretH = int32_t(fCaretH * Z);
  }
  if (resizes && int32_t(textH * Z) < fCaretY + fCaretH) SetHeight(fCaretY + fCaretH + lineD);
  if (caret >= 0 && caret <= len) {
    fposxarray[size_t(caret)] = fCaretX;
    fposyarray[size_t(caret)] = fCaretY;
  }
  SetTextAlign(dc, oldAlign);
}

// ---- clipboard ----

void TVXTextControl::CopyToClipboard() {
  if (fSelStart >= fSelStop || !fText) return;
  if (!VXOpenClipboard()) return;
  EmptyClipboard();
  const int32_t n = std::min(fSelStop, fTextLength) - fSelStart;
  if (n > 0) {
    std::u16string text;
    for (int32_t i = fSelStart; i < fSelStart + n; ++i) {
      if (Unit(i) == u'\n') text.push_back(u'\r');
      text.push_back(Unit(i));
    }
    text.push_back(0);
    // The block keeps the string's own terminator too: it ends with two zeros.
    const size_t bytes = (text.size() + 1) * 2;
    if (HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, bytes)) {
      auto* p = static_cast<uint8_t*>(GlobalLock(h));
      for (size_t k = 0; k < text.size(); ++k) {
        p[2 * k] = uint8_t(text[k]);
        p[2 * k + 1] = uint8_t(text[k] >> 8);
      }
      GlobalUnlock(h);
      if (!SetClipboardData(CF_UNICODETEXT, h)) GlobalFree(h);
    }
    const size_t priv = size_t(VXCharInfoSize + 2) * size_t(n) + 2;
    if (HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, priv)) {
      auto* p = static_cast<uint8_t*>(GlobalLock(h));
      for (int32_t k = 0; k < n; ++k) {
        const char16_t u = Unit(fSelStart + k);
        p[2 * k] = uint8_t(u);
        p[2 * k + 1] = uint8_t(u >> 8);
        TVXCharInfo info;
        GetCharInfo(fSelStart + k, info);
        VXCharInfoToBytes(info, p + 2 * size_t(n) + 2 + size_t(VXCharInfoSize) * size_t(k));
      }
      GlobalUnlock(h);
      if (!SetClipboardData(VXTextMemoClipboardFormat(), h)) GlobalFree(h);
    }
  }
  CloseClipboard();
}

void TVXTextControl::PasteFromClipboard() {
  if (!VXOpenClipboard()) return;
  bool done = false;
  const UINT fmt = VXTextMemoClipboardFormat();
  if (fmt && IsClipboardFormatAvailable(fmt)) {
    HGLOBAL h = static_cast<HGLOBAL>(GetClipboardData(fmt));
    const size_t size = GlobalSize(h);
    if (const auto* p = static_cast<const uint8_t*>(h ? GlobalLock(h) : nullptr)) {
      // n units before the first zero, all within the block; the records
      // after them must fit too, else the plain text is used.
      size_t n = 0;
      while (2 * n + 1 < size && (p[2 * n] | p[2 * n + 1]) != 0) ++n;
      if (2 * n + 1 < size && size_t(VXCharInfoSize + 2) * n + 2 <= size) {
        for (size_t k = 0; k < n; ++k) {
          fInsertingCharInfo = VXCharInfoFromBytes(p + 2 * n + 2 + size_t(VXCharInfoSize) * k);
          AddChar(char16_t(p[2 * k] | (p[2 * k + 1] << 8)));
        }
        done = true;
      }
      GlobalUnlock(h);
    }
  }
  if (!done && IsClipboardFormatAvailable(CF_UNICODETEXT)) {
    HGLOBAL h = static_cast<HGLOBAL>(GetClipboardData(CF_UNICODETEXT));
    const size_t units = GlobalSize(h) / 2;
    if (const auto* p = static_cast<const uint8_t*>(h ? GlobalLock(h) : nullptr)) {
      for (size_t k = 0; k < units; ++k) {
        const char16_t u = char16_t(p[2 * k] | (p[2 * k + 1] << 8));
        if (u == 0) break;
        if (u != u'\r') AddChar(u);
      }
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
}
