// The HSV colour picker.
#include "dialogs/hsvbox.h"

#include <algorithm>
#include <cmath>

#include "core/pixels.h"
#include "proc/colors.h"

namespace {

int Round(double v) { return int(std::nearbyint(v)); }

void Put(TBitmap* B, int X, int Row, TRGB C) {
  uint8_t* p = static_cast<uint8_t*>(B->ScanLine(Row)) + 3 * X;
  p[0] = C.b;
  p[1] = C.g;
  p[2] = C.r;
}

}  // namespace

THSVBox::THSVBox(TComponent* AOwner) : TCustomControl(AOwner), fBitmap(std::make_unique<TBitmap>()) {
  fControlStyle |= VXStyleBit(csAcceptsControls) | VXStyleBit(csOpaque);
  SetBoundsFields(0, 0, 105, 105);
  fBitmap->SetPixelFormat(pf24bit);
  fBitmap->SetSize(105, 105);
  DrawHueBar();
  DrawSVSquare();
  XorMarkers();
}

THSVBox::~THSVBox() = default;

int THSVBox::SquareWidth() const { return fBitmap->Width() - fBarsDistance - fHueBarWidth; }

void THSVBox::DrawHueBar() {
  const int w = SquareWidth(), H = fBitmap->Height(), W = fBitmap->Width();
  if (w < 1 || H < 1) return;
  // The factor is single precision, its products exact.
  const double f = double(float(360.0 / H));
  const TRGB back = VXColorToTRGB(fBackground);
  for (int a = 0; a < H; ++a) {
    const int row = H - 1 - a;
    for (int x = w; x < w + fBarsDistance && x < W; ++x) Put(fBitmap.get(), x, row, back);
    const TRGB c = VXHSVToRGB(int(a * f), 99, 99);
    for (int x = w + fBarsDistance; x < std::min(W, Width()); ++x) Put(fBitmap.get(), x, row, c);
  }
}

void THSVBox::DrawSVSquare() {
  const int w = SquareWidth(), H = fBitmap->Height();
  if (w < 1 || H < 1) return;
  const double fv = double(float(100.0 / H)), fs = double(float(100.0 / w));
  for (int a = 0; a < H; ++a) {
    const int value = int(a * fv);
    const int row = H - 1 - a;
    for (int d = 0; d < w; ++d) Put(fBitmap.get(), d, row, VXHSVToRGB(fHue, int(d * fs), value));
  }
}

void THSVBox::XorMarkers() {
  const int w = SquareWidth(), H = fBitmap->Height();
  // A box less than 2 pixels wide or high has no markers.
  if (w < 2 || H < 2) return;
  TCanvas* c = fBitmap->Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->Pen()->SetMode(pmNot);
  c->Brush()->SetStyle(bsClear);
  const int y = Round(double(H - 1) * (359 - fHue) / 360);
  c->Rectangle(w + fBarsDistance, y - 2, Width(), y + 2);
  const int sx = Round(double(fSat) / 99 * (w - 1));
  const int sy = H - 1 - Round(double(H - 1) * fVal / 99);
  c->Rectangle(sx - 3, sy - 3, sx + 3, sy + 3);
  c->Pen()->SetMode(pmCopy);
  c->Brush()->SetStyle(bsSolid);
}

void THSVBox::RedrawAll() {
  DrawHueBar();
  DrawSVSquare();
  XorMarkers();
  Invalidate();
}

void THSVBox::PaintNow() { Repaint(); }

void THSVBox::FromHSV() {
  const TRGB c = VXHSVToRGB(fHue, fSat, fVal);
  fRed = c.r;
  fGreen = c.g;
  fBlue = c.b;
  fColor = VXTRGBToColor(c);
}

void THSVBox::FromRGB() {
  TRGB c;
  c.r = fRed;
  c.g = fGreen;
  c.b = fBlue;
  int32_t h, s, v;
  VXRGBToHSV(c, h, s, v);
  fHue = h;
  fSat = s;
  fVal = v;
}

void THSVBox::SetRGB(uint8_t R, uint8_t G, uint8_t B) {
  XorMarkers();
  fRed = R;
  fGreen = G;
  fBlue = B;
  FromRGB();
  TRGB c;
  c.r = R;
  c.g = G;
  c.b = B;
  fColor = VXTRGBToColor(c);
  DrawSVSquare();
  XorMarkers();
  PaintNow();
}

void THSVBox::SetColor(TColor Value) {
  XorMarkers();
  const TRGB c = VXColorToTRGB(Value);
  fRed = c.r;
  fGreen = c.g;
  fBlue = c.b;
  FromRGB();
  fColor = Value;
  DrawSVSquare();
  XorMarkers();
  PaintNow();
}

void THSVBox::SetHue(int v) {
  v = std::clamp(v, 0, 359);
  XorMarkers();
  fHue = v;
  FromHSV();
  DrawSVSquare();
  XorMarkers();
  PaintNow();
}

void THSVBox::SetSat(int v) {
  v = std::clamp(v, 0, 99);
  XorMarkers();
  fSat = v;
  FromHSV();
  XorMarkers();
  PaintNow();
}

void THSVBox::SetVal(int v) {
  v = std::clamp(v, 0, 99);
  XorMarkers();
  fVal = v;
  FromHSV();
  XorMarkers();
  PaintNow();
}

void THSVBox::SetBackground(TColor v) {
  fBackground = v;
  RedrawAll();
}

void THSVBox::SetHueBarWidth(int v) {
  if (v < 0) return;
  fHueBarWidth = v;
  RedrawAll();
}

void THSVBox::SetBarsDistance(int v) {
  if (v < 0) return;
  fBarsDistance = v;
  RedrawAll();
}

TColor THSVBox::GetColorAt(int X, int Y) {
  const int w = SquareWidth(), H = fBitmap->Height();
  if (w < 2 || H < 2 || X >= w) return fColor;
  return VXTRGBToColor(VXHSVToRGB(fHue, Round(double(X) / (w - 1) * 99), 99 - Round(double(Y) / (H - 1) * 99)));
}

void THSVBox::SelectAt(int X, int Y) {
  const int w = SquareWidth(), H = fBitmap->Height();
  if (w < 2 || H < 2) return;
  if (X < w) {
    XorMarkers();
    fSat = Round(double(X) / (w - 1) * 99);
    fVal = 99 - Round(double(Y) / (H - 1) * 99);
  } else if (X >= w + fBarsDistance) {
    XorMarkers();
    fHue = 359 - Round(double(Y) / (H - 1) * 359);
    DrawSVSquare();
  } else {
    return;
  }
  FromHSV();
  if (OnChange) OnChange(this);
  XorMarkers();
  PaintNow();
}

void THSVBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int w = SquareWidth();
  if (w <= 0) return;
  if (X < w) {
    fMouseSel = 1;
    SelectAt(X, Y);
  } else if (X >= w + fBarsDistance) {
    fMouseSel = 2;
    SelectAt(X, Y);
  } else {
    fMouseSel = 0;
  }
}

void THSVBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  const int w = SquareWidth(), H = fBitmap->Height(), W = fBitmap->Width();
  if (!MouseCapture() || w < 1) return;
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  if (Y >= H) Y = H - 1;
  if (fMouseSel == 1) {
    if (X >= w) X = w - 1;
    SelectAt(X, Y);
  } else if (fMouseSel == 2) {
    if (X < w + fBarsDistance) X = w + fBarsDistance;
    if (X >= W) X = W - 1;
    SelectAt(X, Y);
  }
}

void THSVBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  fMouseSel = 0;
}

void THSVBox::SyncBitmap() {
  if (fBitmap->Width() == Width() && fBitmap->Height() == Height()) return;
  fBitmap->SetSize(std::max(0, Width()), std::max(0, Height()));
  RedrawAll();
}

void THSVBox::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  SyncBitmap();
}

void THSVBox::Resize() {
  SyncBitmap();
  TCustomControl::Resize();
}

void THSVBox::Paint() { Canvas()->Draw(0, 0, fBitmap.get()); }
