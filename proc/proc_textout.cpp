// TVexlaneProc::TextOut: a line of text written onto the image, through the
// anti-aliasing canvas or, turned or without anti-aliasing, through the
// platform's font engine.

#include <algorithm>
#include <climits>
#include <memory>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "gui/graphics.h"
#include "proc/proc.h"
#include "winui/font_face.h"
#include "winui/gdi_text.h"

namespace {

// Formats the platform bitmap holds as they are (vx16g would lose its low
// bytes on the way).
bool PlatformHolds(TVXPixelFormat f) {
  return f == vx1g || f == vx8g || f == vx8p || f == vx24RGB || f == vx32RGB;
}

// The named places: 0 the edge, -901 a margin of a twentieth, -902 centred,
// -903 the margin from the far side, -904 flush with the far side.
int32_t ResolvePlace(int32_t v, int32_t size, int32_t extent) {
  switch (v) {
    case -904: return size - extent;
    case -903: return size - extent - size / 20;
    case -902: return (size - extent) / 2;
    case -901: return size / 20;
    default: return v;
  }
}

int32_t ClampInt(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The font the text is drawn with: AFont, else the work bitmap canvas's font.
// A bitmap the platform holds keeps AFont on its canvas, as its canvas font.
void TakeFont(TVXBitmap* work, TFont* AFont, TFont& font) {
  if (PlatformHolds(work->PixelFormat())) {
    TFont* canvasFont = work->Canvas()->Font();
    if (AFont) canvasFont->Assign(AFont);
    font.Assign(canvasFont);
  } else if (AFont) {
    font.Assign(AFont);
  }
}

// The alpha of pixel (0, 0), 255 without an alpha channel.
int32_t CornerAlpha(TVXBitmap* work) {
  TVXBitmap* a = work->AlphaChannelOpt();
  if (!a || a->IsEmpty()) return 255;
  return static_cast<const uint8_t*>(a->ScanLine(0))[0];
}

}  // namespace

void TVexlaneProc::TextOut(int32_t X, int32_t Y, const std::string& sText, TFont* AFont, int32_t Angle,
                           bool bAntiAlias, bool bAutoEnlarge) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet(), x1, y1, x2, y2, "TextOut", work, mask)) return;
  // A selection is worked on as a copy of its box, which cannot grow.
  const bool canEnlarge = bAutoEnlarge && work == fVXBitmap;
  TFont font;
  TakeFont(work, AFont, font);

  if (Angle == 0 && bAntiAlias) {
    TSize extent;
    {
      TVXEmptyCanvas measure;
      measure.Font()->Assign(&font);
      extent = measure.TextExtent(sText);
    }
    const int32_t w = MulDiv(extent.cx, 110, 100), h = MulDiv(extent.cy, 110, 100);
    if (canEnlarge && (work->Width() < w || work->Height() < h))
      work->Resize(std::max(work->Width(), w), std::max(work->Height(), h), double(Background()), CornerAlpha(work),
                   vxhLeft, vxvTop);
    X = ResolvePlace(X, work->Width(), w);
    Y = ResolvePlace(Y, work->Height(), h);
    std::unique_ptr<TVXCanvas> canvas =
        work->CreateROICanvas(TRect{0, 0, work->Width() - 1, work->Height() - 1}, true, true, false);
    canvas->Brush()->SetColor(TColor(VXColorToRGB(font.Color())));
    canvas->Font()->SetName(font.Name());
    canvas->Font()->SetHeight(font.Height());
    canvas->Font()->SetStyle(font.Style());
    canvas->DrawText(sText, TRect{X, Y, ClampInt(int64_t(X) + 10 * int64_t(w)), ClampInt(int64_t(Y) + 10 * int64_t(h))});
    canvas.reset();  // merges what was drawn
  } else {
    // The font's description turned by Angle (tenths of a degree,
    // counter-clockwise), anti-aliased or not.
    LOGFONTW lf{};
    GetObjectW(font.Handle(), int(sizeof(lf)), &lf);
    lf.lfEscapement = lf.lfOrientation = ClampInt(int64_t(Angle) * 10);
    lf.lfQuality = bAntiAlias ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY;
    HFONT turned = CreateFontIndirectW(&lf);
    SIZE extent{0, 0};
    {
      HDC dc = CreateCompatibleDC(nullptr);
      HGDIOBJ old = SelectObject(dc, turned);
      GetTextExtentPoint32W(dc, sText.c_str(), int(sText.size()), &extent);
      SelectObject(dc, old);
      DeleteDC(dc);
    }
    int32_t w = extent.cx, h = extent.cy;
    if (Angle != 0) {
      const int32_t d = std::max(w, h);
      X = ClampInt(int64_t(X) + h);
      w = ClampInt(int64_t(X) + d);
      h = d;
    }
    if (canEnlarge && (work->Width() < w || work->Height() < h))
      work->Resize(std::max(work->Width(), w), std::max(work->Height(), h), double(Background()), 255, vxhLeft,
                   vxvTop);
    X = ResolvePlace(X, work->Width(), w);
    Y = ResolvePlace(Y, work->Height(), h);
    // Formats the platform bitmap cannot hold are drawn on through a 24-bit
    // copy of the whole image that goes back when freed.
    std::unique_ptr<TVXBitmap> copy;
    TVXBitmap* target = work;
    if (!PlatformHolds(work->PixelFormat())) {
      copy = work->CreateROIBitmap(TRect{0, 0, work->Width() - 1, work->Height() - 1}, vx24RGB, false);
      target = copy.get();
    }
    TCanvas* canvas = target->Canvas();
    HDC dc = canvas->Handle();
    HGDIOBJ oldFont = SelectObject(dc, turned);
    const COLORREF oldColor = SetTextColor(dc, VXColorToRGB(font.Color()));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, X, Y, sText.c_str(), int(sText.size()));
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColor);
    SelectObject(dc, oldFont);
    DeleteObject(turned);
    copy.reset();  // merges what was drawn
  }
  EndImageProcessing(work, mask);
  DoFinishWork();
}

void TVexlaneProc::TextOut(int32_t X, int32_t Y, const std::string& sText, const std::string& sFontName,
                           int32_t iFontSize, TColor cFontColor, TFontStyles Style, int32_t Angle, bool bAntiAlias,
                           bool bAutoEnlarge) {
  TFont font;
  if (fVXBitmap && PlatformHolds(fVXBitmap->PixelFormat())) font.Assign(fVXBitmap->Canvas()->Font());
  font.SetName(sFontName);
  font.SetSize(iFontSize);
  font.SetColor(cFontColor);
  font.SetStyle(Style);
  TextOut(X, Y, sText, &font, Angle, bAntiAlias, bAutoEnlarge);
}
