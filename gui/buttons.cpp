// Glyph buttons and speed buttons.
#include "gui/buttons.h"

#include <algorithm>

#include "gui/ctrlpaint.h"

using namespace vxpaint;

void VXDrawGlyphAndCaption(TCanvas* Canvas, const TRect& Rect, TBitmap* Glyph, int NumGlyphs,
                           const std::string& Caption, TButtonLayout Layout, int Spacing, bool Enabled,
                           TColor TextColor) {
  const std::string text = VXStripAccelChars(Caption);
  const TSize ts = text.empty() ? TSize{0, 0} : Canvas->TextExtent(text);
  const bool hasGlyph = Glyph && !Glyph->Empty();
  const int n = std::max(1, NumGlyphs);
  const int gw = hasGlyph ? Glyph->Width() / n : 0, gh = hasGlyph ? Glyph->Height() : 0;
  const int gap = hasGlyph && !text.empty() ? Spacing : 0;
  const bool horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  const int totalW = horizontal ? gw + gap + ts.cx : std::max(gw, int(ts.cx));
  const int totalH = horizontal ? std::max(gh, int(ts.cy)) : gh + gap + ts.cy;
  const int x0 = Rect.Left + ((Rect.Right - Rect.Left) - totalW) / 2;
  const int y0 = Rect.Top + ((Rect.Bottom - Rect.Top) - totalH) / 2;
  int gx = x0, gy = y0, tx = x0, ty = y0;
  switch (Layout) {
    case blGlyphLeft:
      gy = Rect.Top + ((Rect.Bottom - Rect.Top) - gh) / 2;
      tx = x0 + gw + gap;
      ty = Rect.Top + ((Rect.Bottom - Rect.Top) - ts.cy) / 2;
      break;
    case blGlyphRight:
      tx = x0;
      ty = Rect.Top + ((Rect.Bottom - Rect.Top) - ts.cy) / 2;
      gx = x0 + ts.cx + gap;
      gy = Rect.Top + ((Rect.Bottom - Rect.Top) - gh) / 2;
      break;
    case blGlyphTop:
      gx = Rect.Left + ((Rect.Right - Rect.Left) - gw) / 2;
      tx = Rect.Left + ((Rect.Right - Rect.Left) - ts.cx) / 2;
      ty = y0 + gh + gap;
      break;
    case blGlyphBottom:
      tx = Rect.Left + ((Rect.Right - Rect.Left) - ts.cx) / 2;
      ty = y0;
      gx = Rect.Left + ((Rect.Right - Rect.Left) - gw) / 2;
      gy = y0 + ts.cy + gap;
      break;
  }
  if (hasGlyph) {
    // The first picture (the second, for disabled, when the glyph has one);
    // the bottom-left pixel's colour is transparent.
    const int pic = !Enabled && n >= 2 ? 1 : 0;
    TBitmap copy;
    copy.Assign(Glyph);
    copy.SetPixelFormat(pf24bit);
    const uint8_t* bl = static_cast<const uint8_t*>(copy.ScanLine(copy.Height() - 1));
    const uint8_t kb = bl[0], kg = bl[1], kr = bl[2];
    HDC dc = Canvas->Handle();
    for (int y = 0; y < gh; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(copy.ScanLine(y));
      for (int x = 0; x < gw; ++x) {
        const uint8_t* p = row + 3 * (pic * gw + x);
        if (p[0] == kb && p[1] == kg && p[2] == kr) continue;
        int r = p[2], g = p[1], b = p[0];
        if (!Enabled && n < 2) r = g = b = 128 + ((r * 77 + g * 150 + b * 29) >> 9);
        SetPixel(dc, gx + x, gy + y, RGB(r, g, b));
      }
    }
  }
  vxpaint::Text(Canvas, tx, ty, text, TextColor);
}

// ---------------------------------------------------------------------------
// TBitBtn

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner), fGlyph(std::make_unique<TBitmap>()) {
  fGlyph->OnChange = [this](void*) { Invalidate(); };
}

TBitBtn::~TBitBtn() = default;

void TBitBtn::SetGlyph(TBitmap* Value) {
  if (Value)
    fGlyph->Assign(Value);
  else
    fGlyph->SetSize(0, 0);
  Invalidate();
}

void TBitBtn::SetNumGlyphs(int v) {
  fNumGlyphs = std::clamp(v, 1, 4);
  Invalidate();
}

void TBitBtn::SetLayout(TButtonLayout v) {
  fLayout = v;
  Invalidate();
}

void TBitBtn::SetSpacing(int v) {
  fSpacing = v;
  Invalidate();
}

void TBitBtn::PaintContent(const TRect& Rect) {
  VXDrawGlyphAndCaption(Canvas(), Rect, fGlyph.get(), fNumGlyphs, Caption(), fLayout, fSpacing, Enabled(),
                        TextColor(this, Font()->Color()));
}

// ---------------------------------------------------------------------------
// TSpeedButton

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), fGlyph(std::make_unique<TBitmap>()) {
  fControlStyle = (fControlStyle & ~VXStyleBit(csClickEvents)) | VXStyleBit(csOpaque);
  fParentColor = true;
  SetBoundsFields(0, 0, 23, 22);
  fGlyph->OnChange = [this](void*) { Invalidate(); };
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetGroupIndex(int v) {
  fGroupIndex = v;
  UpdateExclusive();
}

void TSpeedButton::SetAllowAllUp(bool v) {
  fAllowAllUp = v;
  // Buttons of a group share the setting.
  if (fGroupIndex && Parent())
    for (int i = 0; i < Parent()->ControlCount(); ++i)
      if (auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i)))
        if (b != this && b->fGroupIndex == fGroupIndex) b->fAllowAllUp = v;
}

void TSpeedButton::SetDown(bool v) {
  if (fGroupIndex == 0) v = false;
  if (v == fDown) return;
  if (fDown && !fAllowAllUp) return;
  fDown = v;
  Invalidate();
  if (v) UpdateExclusive();
}

void TSpeedButton::UpdateExclusive() {
  if (!fDown || fGroupIndex == 0 || !Parent()) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i)))
      if (b != this && b->fGroupIndex == fGroupIndex && b->fDown) {
        b->fDown = false;
        b->Invalidate();
      }
}

void TSpeedButton::SetFlat(bool v) {
  fFlat = v;
  Invalidate();
}

void TSpeedButton::SetGlyph(TBitmap* Value) {
  if (Value)
    fGlyph->Assign(Value);
  else
    fGlyph->SetSize(0, 0);
  Invalidate();
}

void TSpeedButton::SetNumGlyphs(int v) {
  fNumGlyphs = std::clamp(v, 1, 4);
  Invalidate();
}

void TSpeedButton::SetLayout(TButtonLayout v) {
  fLayout = v;
  Invalidate();
}

void TSpeedButton::SetSpacing(int v) {
  fSpacing = v;
  Invalidate();
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && Enabled()) {
    fTracking = fPressed = true;
    Invalidate();
  }
}

void TSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  const bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
  if (fTracking && inside != fPressed) {
    fPressed = inside;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !fTracking) return;
  const bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
  fTracking = fPressed = false;
  Invalidate();
  if (!inside) return;
  if (fGroupIndex != 0) SetDown(!fDown);
  Click();
}

void TSpeedButton::CMMouseEnter(TMessage& Message) {
  TGraphicControl::CMMouseEnter(Message);
  if (fFlat) Invalidate();
}

void TSpeedButton::CMMouseLeave(TMessage& Message) {
  TGraphicControl::CMMouseLeave(Message);
  if (fFlat) Invalidate();
}

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  const bool down = fDown || fPressed;
  // A down button shows a lighter face, as the system's checked buttons do.
  Fill(c, r, fDown && !fPressed ? cl3DLight : Color());
  if (down)
    Frame3D(c, r, clBtnShadow, clBtnHighlight);
  else if (!fFlat || (MouseInClient() && Enabled()))
    fFlat ? Frame3D(c, r, clBtnHighlight, clBtnShadow) : Edge(c, r, false);
  TRect content = Inner(r, 2);
  if (down) content = TRect{content.Left + 1, content.Top + 1, content.Right + 1, content.Bottom + 1};
  c->Font()->Assign(Font());
  VXDrawGlyphAndCaption(c, content, fGlyph.get(), fNumGlyphs, Caption(), fLayout, fSpacing, Enabled(),
                        TextColor(this, Font()->Color()));
}
