// The ruler box.
#include "dialogs/rulerbox.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/canvas.h"
#include "core/gdiplus.h"
#include "core/textutils.h"
#include "platform/win_logfont.h"
#include "winui/gdi_font.h"
#include "winui/gdi_text.h"
#include "winui/win_input.h"
#include "winui/win_paint.h"

namespace {

int Nearest(double v) { return int(std::nearbyint(v)); }
bool Usable(double v) { return std::isfinite(v) && v > 0; }

}  // namespace

TRulerBox::TRulerBox(TComponent* AOwner) : TCustomControl(AOwner), Bitmap(std::make_unique<TBitmap>()) {
  fControlStyle |= VXStyleBit(csOpaque);
  VXLoadGDIPlusLibrary();
  SetBoundsFields(0, 0, 300, 40);
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(Width() - fOffsetX, Height() - fOffsetY);
  SetGripsCount(1);
  fSelGrip = -1;
  fScrollRate = 1;
  Update();
}

TRulerBox::~TRulerBox() {
  Bitmap.reset();
  VXFreeGDIPlusLibrary();
}

int TRulerBox::AxisLength() const { return fRulerDir == rdHorizontal ? Bitmap->Width() : Bitmap->Height(); }
int TRulerBox::CrossLength() const { return fRulerDir == rdHorizontal ? Bitmap->Height() : Bitmap->Width(); }

void TRulerBox::PaintNow() {
  Invalidate();
  if (HandleAllocated()) UpdateWindow(Handle());
}

void TRulerBox::SetViewPos(double v) {
  fViewPos = v;
  ClampViewPos();
  Update();
  PaintNow();
}

void TRulerBox::SetBackground(TColor v) {
  fBackground = v;
  Update();
}

void TRulerBox::SetGripBaseDim(int v) {
  fGripBaseDim = v;
  Update();
}

void TRulerBox::SetGripsDir(TGripsDir v) {
  fGripsDir = v;
  Update();
}

void TRulerBox::SetRuler(bool v) {
  fRuler = v;
  Update();
}

void TRulerBox::SetDotPerUnit(double v) {
  if (!Usable(v)) return;
  if (InState(csDesigning) && fFitInView) return;
  fDPU = v;
  Update();
  PaintNow();
}

void TRulerBox::SetFrequency(double v) {
  if (!Usable(v)) return;
  fFrequency = v;
  Update();
  PaintNow();
}

void TRulerBox::SetLabelFreq(double v) {
  if (!Usable(v)) return;
  fLabelFreq = v;
  Update();
  PaintNow();
}

void TRulerBox::SetRulerColor(TColor v) {
  fRulerColor = v;
  Update();
}

void TRulerBox::SetRulerDir(TRulerDir v) {
  fRulerDir = v;
  Update();
}

void TRulerBox::SetViewMin(double v) {
  fViewMin = v;
  ClampViewPos();
  for (Grip& g : fGrips) g.Min = v;
  Update();
}

void TRulerBox::SetViewMax(double v) {
  fViewMax = v;
  ClampViewPos();
  for (Grip& g : fGrips) g.Max = v;
  Update();
}

void TRulerBox::SetInverted(bool v) {
  fInverted = v;
  Update();
}

void TRulerBox::SetFitInView(bool v) {
  fFitInView = v;
  Update();
}

void TRulerBox::SetHexLabels(bool v) {
  fHexLabels = v;
  Update();
}

void TRulerBox::SetOffsetX(int v) {
  fOffsetX = v;
  Bitmap->SetWidth(std::max(0, Width() - fOffsetX));
  Update();
}

void TRulerBox::SetOffsetY(int v) {
  fOffsetY = v;
  Bitmap->SetHeight(std::max(0, Height() - fOffsetY));
  Update();
}

void TRulerBox::SetGripsCount(int n) {
  n = std::max(0, n);
  if (n == GripsCount()) return;
  if (n < GripsCount()) {
    fGrips.resize(size_t(n));
  } else {
    while (GripsCount() < n) {
      Grip g;
      g.Color = fBackground;
      g.Min = fViewMin;
      g.Max = fViewMax;
      fGrips.push_back(g);
    }
  }
  Update();
}

double TRulerBox::GetGripsPos(int i) const { return i >= 0 && i < GripsCount() ? fGrips[size_t(i)].Pos : 0; }
TColor TRulerBox::GetGripsCol(int i) const { return i >= 0 && i < GripsCount() ? fGrips[size_t(i)].Color : 0; }
TGripKind TRulerBox::GetGripsKind(int i) const {
  return i >= 0 && i < GripsCount() ? fGrips[size_t(i)].Kind : gkTriangle;
}
double TRulerBox::GetGripsMin(int i) const { return i >= 0 && i < GripsCount() ? fGrips[size_t(i)].Min : 0; }
double TRulerBox::GetGripsMax(int i) const { return i >= 0 && i < GripsCount() ? fGrips[size_t(i)].Max : 0; }

void TRulerBox::SetGripsPos(int i, double v) {
  if (i < 0 || i >= GripsCount()) return;
  fGrips[size_t(i)].Pos = v;
  ClampGripPos(i);
  if (OnRulerPosChange) OnRulerPosChange(this, i);
  Update();
  PaintNow();
}

void TRulerBox::SetGripsCol(int i, TColor c) {
  if (i < 0 || i >= GripsCount()) return;
  fGrips[size_t(i)].Color = c;
  Update();
}

void TRulerBox::SetGripsKind(int i, TGripKind k) {
  if (i >= 0 && i < GripsCount()) fGrips[size_t(i)].Kind = k;
  Update();
}

void TRulerBox::SetGripsMin(int i, double v) {
  if (i < 0 || i >= GripsCount()) return;
  fGrips[size_t(i)].Min = v;
  for (int k = 0; k < GripsCount(); ++k) ClampGripPos(k);
  Update();
}

void TRulerBox::SetGripsMax(int i, double v) {
  if (i < 0 || i >= GripsCount()) return;
  fGrips[size_t(i)].Max = v;
  for (int k = 0; k < GripsCount(); ++k) ClampGripPos(k);
  Update();
}

int TRulerBox::GripToPixel(int i) const {
  const int x = Nearest((GetGripsPos(i) - fViewPos) * fDPU);
  return fInverted ? AxisLength() - x : x;
}

int TRulerBox::GetRulerSize() const {
  if (!fRuler) return 0;
  if (fRulerDir == rdHorizontal) return int(std::abs(const_cast<TRulerBox*>(this)->Font()->Height()) * 1.7) + 3;
  return Bitmap->Width() - fMaxGripHeight;
}

double TRulerBox::GetViewSpan() const { return AxisLength() / fDPU; }

void TRulerBox::ClampViewPos() {
  if (!(fViewMin < fViewMax)) return;
  if (fViewPos < fViewMin)
    fViewPos = fViewMin;
  else if (fViewMax - GetViewSpan() < fViewPos)
    fViewPos = std::max(0.0, fViewMax - GetViewSpan());
}

void TRulerBox::ClampGripPos(int i) {
  if (i < 0 || i >= GripsCount()) return;
  const Grip g = fGrips[size_t(i)];
  if (!(g.Max > g.Min)) return;
  if (g.Pos < g.Min)
    SetGripsPos(i, g.Min);
  else if (g.Pos > g.Max)
    SetGripsPos(i, g.Max);
}

std::vector<TPoint> TRulerBox::GetGripPolygon(int i) const {
  const int b = InState(csDesigning) ? i * (fGripBaseDim + 5) : GripToPixel(i);
  const int A = CrossLength(), R = GetRulerSize();
  const int base = fGripsDir == gdUp ? A - 1 : 0;
  const int tip = fGripsDir == gdUp ? R : A - 1 - R;
  const int h = fGripBaseDim / 2, q = fGripBaseDim / 4;
  std::vector<TPoint> p;
  switch (GetGripsKind(i)) {
    case gkTriangle:
      p = {{b - h, base}, {b + h, base}, {b, tip}};
      break;
    case gkLeftTriangle:
      p = {{b - h, base}, {b, base}, {b, tip}};
      break;
    case gkRightTriangle:
      p = {{b, base}, {b + h, base}, {b, tip}};
      break;
    case gkArrow: {
      const int m = fGripsDir == gdUp ? tip + (base - tip) / 3 : base + ((tip - base) / 3) * 2;
      p = {{b - q, base}, {b + q, base}, {b + q, m}, {b + h, m}, {b, tip}, {b - h, m}, {b - q, m}};
      break;
    }
    case gkArrow2: {
      const int m2 = fGripsDir == gdUp ? tip + (base - tip) / 2 : base + (tip - base) / 2;
      p = {{b - h, base}, {b + h, base}, {b + h, m2}, {b, tip}, {b - h, m2}};
      break;
    }
  }
  if (fRulerDir == rdVertical)
    for (TPoint& pt : p) std::swap(pt.X, pt.Y);
  return p;
}

TRect TRulerBox::GetGripRect(int i) const {
  const std::vector<TPoint> p = GetGripPolygon(i);
  TRect r{p[0].X, p[0].Y, p[0].X, p[0].Y};
  for (const TPoint& pt : p) {
    r.Left = std::min(r.Left, pt.X);
    r.Top = std::min(r.Top, pt.Y);
    r.Right = std::max(r.Right, pt.X);
    r.Bottom = std::max(r.Bottom, pt.Y);
  }
  ++r.Right;
  ++r.Bottom;
  return r;
}

int TRulerBox::GripAtPoint(int X, int Y) const {
  for (int i = GripsCount() - 1; i >= 0; --i) {
    const TRect r = GetGripRect(i);
    if (X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom) return i;
  }
  return -1;
}

void TRulerBox::Update() {
  if (fFitInView && fViewMax - fViewMin > 0 && AxisLength() > 0) fDPU = AxisLength() / (fViewMax - fViewMin);
  if (fFitInView) ClampViewPos();
  DrawGrips();
  DrawRuler();
  Invalidate();
}

void TRulerBox::DrawGrips() {
  if (Bitmap->Empty()) return;
  TVXCanvas cv(Bitmap->Canvas(), true, true);
  const int R = GetRulerSize(), W = Bitmap->Width(), H = Bitmap->Height();
  TRect area;
  if (fRulerDir == rdHorizontal)
    area = fGripsDir == gdUp ? TRect{0, R, W, H} : TRect{0, 0, W, H - R};
  else
    area = fGripsDir == gdUp ? TRect{R, 0, W, H} : TRect{0, 0, W - R, H};
  Bitmap->Canvas()->Brush()->SetStyle(bsSolid);
  Bitmap->Canvas()->Brush()->SetColor(fBackground);
  Bitmap->Canvas()->FillRect(area);
  cv.Pen()->SetColor(clBlack);
  cv.Pen()->SetStyle(psSolid);
  for (int i = 0; i < GripsCount(); ++i) {
    cv.Brush()->SetStyle(bsSolid);
    cv.Brush()->SetColor(fGrips[size_t(i)].Color);
    const std::vector<TPoint> p = GetGripPolygon(i);
    cv.Polygon(p);
  }
}

std::string TRulerBox::LabelText(double v) const {
  if (fHexLabels) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%06llX", (unsigned long long)std::trunc(std::fabs(v)));
    std::string s = buf;
    const size_t nz = s.find_first_not_of('0');
    s = nz == std::string::npos ? "0" : s.substr(nz);
    return v < 0 ? "-" + s : s;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", std::nearbyint(v * 1000) / 1000);
  std::string s = buf;
  if (s == "-0") s = "0";
  for (char& c : s)
    if (c == '.') c = VXGetDecimalSeparator();
  return s;
}

void TRulerBox::DrawRuler() {
  if (!fRuler || Bitmap->Empty()) return;
  TCanvas* c = Bitmap->Canvas();
  const int R = GetRulerSize(), W = Bitmap->Width(), H = Bitmap->Height(), L = AxisLength();
  const int F = std::abs(Font()->Height());
  const int d = R / 2, e = R / 4;
  const bool horz = fRulerDir == rdHorizontal, up = fGripsDir == gdUp;
  TRect band;
  if (horz)
    band = up ? TRect{0, 0, W, R + 1} : TRect{0, H - R, W, H};
  else
    band = up ? TRect{0, 0, R, H} : TRect{W - R, 0, W, H};
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(fRulerColor);
  c->FillRect(band);
  c->Pen()->SetColor(Font()->Color());
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetMode(pmCopy);
  c->Font()->Assign(Font());
  auto tick = [&](int s, int len) {
    if (horz) {
      if (up) {
        c->MoveTo(s, R);
        c->LineTo(s, R - len);
      } else {
        c->MoveTo(s, H - R);
        c->LineTo(s, H - R + len);
      }
    } else if (up) {
      c->MoveTo(R, s);
      c->LineTo(R - len, s);
    } else {
      c->MoveTo(W - R, s);
      c->LineTo(W - R + len, s);
    }
  };
  auto pixel = [&](double v) {
    const int s = Nearest((v - fViewPos) * fDPU);
    return fInverted ? L - s : s;
  };
  auto first = [&](double f) { return fViewPos - f * (fViewPos / f - std::trunc(fViewPos / f)); };
  const int n = int(L / fDPU / fFrequency);
  for (int k = 0; k <= n + 1; ++k) tick(pixel(k * fFrequency + first(fFrequency)), e);
  // Vertical labels use a font turned by a quarter turn.
  HFONT rotated = nullptr;
  if (!horz) {
    LOGFONTW lf;
    GetObjectW(Font()->Handle(), int(sizeof lf), &lf);
    lf.lfEscapement = lf.lfOrientation = up ? 900 : -900;
    lf.lfPitchAndFamily = 1;
    rotated = CreateFontIndirectW(&lf);
  }
  const int nl = int(L / fDPU / fLabelFreq);
  for (int k = 0; k <= nl + 1; ++k) {
    const double v = k * fLabelFreq + first(fLabelFreq);
    const int s = pixel(v);
    tick(s, d);
    const std::string text = LabelText(v);
    const TSize ext = c->TextExtent(text);
    if (horz) {
      c->TextOut(s - ext.cx / 2, up ? 0 : H - F, text);
    } else {
      HDC dc = c->Handle();
      HGDIOBJ old = SelectObject(dc, rotated);
      SetTextColor(dc, VXColorToRGB(Font()->Color()));
      SetBkColor(dc, VXColorToRGB(fRulerColor));
      SetBkMode(dc, OPAQUE);
      if (up)
        TextOutW(dc, 0, s - ext.cy / 2, text.c_str(), int(text.size()));
      else
        TextOutW(dc, W, s - ext.cx / 2, text.c_str(), int(text.size()));
      SelectObject(dc, old);
    }
  }
  if (rotated) DeleteObject(rotated);
}

void TRulerBox::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(fBackground);
  if (fOffsetX > 0) c->FillRect(TRect{0, 0, fOffsetX, Height()});
  if (fOffsetY > 0) c->FillRect(TRect{0, 0, Width(), fOffsetY});
  c->Draw(fOffsetX, fOffsetY, Bitmap.get());
}

void TRulerBox::SyncBitmap() {
  const int w = std::max(0, Width() - fOffsetX), h = std::max(0, Height() - fOffsetY);
  if (Bitmap->Width() == w && Bitmap->Height() == h) return;
  Bitmap->SetSize(w, h);
  Update();
}

void TRulerBox::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  SyncBitmap();
}

void TRulerBox::Resize() {
  SyncBitmap();
  TCustomControl::Resize();
}

void TRulerBox::CMFontChanged(TMessage& Message) {
  TCustomControl::CMFontChanged(Message);
  Update();
}

void TRulerBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  X -= fOffsetX;
  Y -= fOffsetY;
  fSelGrip = GripAtPoint(X, Y);
  fMX1 = X;
  fMY1 = Y;
  if (fSelGrip >= 0) {
    if ((Shift & VXShiftBit(ssDouble)) && OnRulerGripDblClick) OnRulerGripDblClick(this, fSelGrip);
    fSelGripSt = GripToPixel(fSelGrip);
  } else if (OnRulerClick) {
    const int u = fRulerDir == rdHorizontal ? X : Y;
    const double ps = fInverted ? (AxisLength() - u) / fDPU + fViewPos : u / fDPU + fViewPos;
    OnRulerClick(this, ps);
  }
}

void TRulerBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  X -= fOffsetX;
  Y -= fOffsetY;
  if (fSelGrip >= 0 && X == fMX1 && Y == fMY1 && OnRulerGripClick) OnRulerGripClick(this, fSelGrip);
}

int TRulerBox::CursorAlong() {
  POINT p;
  GetCursorPos(&p);
  const TPoint c = ScreenToClient(TPoint{p.x, p.y});
  return fRulerDir == rdHorizontal ? c.X : c.Y;
}

int TRulerBox::ScrollStep(bool Up) {
  const int L = AxisLength();
  const int P0 = fSelGripSt, U1 = fRulerDir == rdHorizontal ? fMX1 : fMY1;
  Grip& g = fGrips[size_t(fSelGrip)];
  if (!Up) {
    g.Pos = (P0 - U1) / fDPU + fViewPos - fScrollRate / fDPU;
    ClampGripPos(fSelGrip);
    fViewPos -= fScrollRate / fDPU;
  } else {
    g.Pos = (L + P0 - U1 - 1) / fDPU + fViewPos + fScrollRate / fDPU;
    ClampGripPos(fSelGrip);
    fViewPos += fScrollRate / fDPU;
  }
  ClampViewPos();
  DrawGrips();
  DrawRuler();
  PaintNow();
  if (OnRulerPosChange) OnRulerPosChange(this, fSelGrip);
  return CursorAlong();
}

void TRulerBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!MouseCapture() || fSelGrip < 0 || fSelGrip >= GripsCount()) return;
  X -= fOffsetX;
  Y -= fOffsetY;
  const int L = AxisLength();
  const int u = fRulerDir == rdHorizontal ? X : Y;
  const int P0 = fSelGripSt, U1 = fRulerDir == rdHorizontal ? fMX1 : fMY1;
  if (u >= 0 && u < L) {
    SetGripsPos(fSelGrip, fInverted ? (L + P0 - u - U1) / fDPU + fViewPos : (u + P0 - U1) / fDPU + fViewPos);
    PaintNow();
    return;
  }
  // Past an end the view scrolls while the cursor stays there and the left
  // button is held; messages wait meanwhile.
  const bool before = u < 0;
  const bool scrollUp = before ? fInverted : !fInverted;
  for (;;) {
    const int at = ScrollStep(scrollUp);
    const bool stays = before ? at < 0 : at >= L;
    if (!stays || GetAsyncKeyState(VK_LBUTTON) == 0) break;
  }
}
