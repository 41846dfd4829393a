// Timers and the image control.
#include "gui/extctrls.h"
#include <algorithm>

#include "gui/ctrlpaint.h"

// ---------------------------------------------------------------------------
// Timer

namespace {
const char* const kTimerClass = "VXTimerWindow";
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) { UpdateTimer(); }

void TTimer::MakeWindow() {
  WNDCLASSEXW info;
  if (!GetClassInfoExW(nullptr, kTimerClass, &info)) {
    WNDCLASSEXW wc;
    wc.lpfnWndProc = &TTimer::TimerWndProc;
    wc.lpszClassName = kTimerClass;
    RegisterClassExW(&wc);
  }
  fWindow = CreateWindowExW(0, kTimerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  if (!fWindow) throw EOutOfResources("Error creating window");
  SetWindowLongPtrW(fWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TTimer::~TTimer() {
  fEnabled = false;
  if (fWindow && IsWindow(fWindow)) {
    KillTimer(fWindow, 1);
    SetWindowLongPtrW(fWindow, GWLP_USERDATA, 0);
    DestroyWindow(fWindow);
  }
}

LRESULT CALLBACK TTimer::TimerWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_TIMER) {
    if (auto* t = reinterpret_cast<TTimer*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA))) t->Timer();
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

void TTimer::UpdateTimer() {
  // The window goes when the window system is reset: a new one is made.
  if (!fWindow || !IsWindow(fWindow)) MakeWindow();
  KillTimer(fWindow, 1);
  if (fInterval != 0 && fEnabled)
    if (!SetTimer(fWindow, 1, fInterval, nullptr)) throw EOutOfResources("Not enough timers available");
}

void TTimer::SetEnabled(bool v) {
  if (v == fEnabled) return;
  fEnabled = v;
  UpdateTimer();
}

void TTimer::SetInterval(uint32_t v) {
  if (v == fInterval) return;
  fInterval = v;
  UpdateTimer();
}

void TTimer::Timer() {
  if (fEnabled && OnTimer) OnTimer(this);
}

// ---------------------------------------------------------------------------
// Image

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), fPicture(std::make_unique<TPicture>()) {
  fControlStyle |= VXStyleBit(csReplicatable);
  SetBoundsFields(Left(), Top(), 105, 105);
  fPicture->OnChange = [this](void*) { Invalidate(); };
}

TImage::~TImage() = default;

void TImage::SetStretch(bool v) {
  if (v == fStretch) return;
  fStretch = v;
  Invalidate();
}

void TImage::SetCenter(bool v) {
  if (v == fCenter) return;
  fCenter = v;
  Invalidate();
}

TCanvas* TImage::Canvas() {
  TBitmap* b = fPicture->Bitmap();
  if (b->Empty()) {
    b->SetPixelFormat(pf24bit);
    b->SetSize(Width(), Height());
  }
  return b->Canvas();
}

TRect TImage::DestRect() {
  int w = fPicture->Width(), h = fPicture->Height();
  if (fStretch) return TRect{0, 0, Width(), Height()};
  if (fCenter) {
    int x = (Width() - w) / 2, y = (Height() - h) / 2;
    return TRect{x, y, x + w, y + h};
  }
  return TRect{0, 0, w, h};
}

void TImage::Paint() {
  if (TGraphic* g = fPicture->Graphic()) TGraphicControl::Canvas()->StretchDraw(DestRect(), g);
}

// ---------------------------------------------------------------------------
// Panels and splitters


TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle | VXStyleBit(csAcceptsControls) | VXStyleBit(csOpaque)) & ~VXStyleBit(csSetCaption);
  SetBoundsFields(0, 0, 185, 41);
}

void TPanel::SetBevelOuter(TBevelCut v) {
  fBevelOuter = v;
  Invalidate();
}

void TPanel::SetBevelInner(TBevelCut v) {
  fBevelInner = v;
  Invalidate();
}

void TPanel::SetBevelWidth(int v) {
  fBevelWidth = std::max(1, v);
  Invalidate();
}

void TPanel::SetBorderWidth(int v) {
  fBorderWidth = std::max(0, v);
  Invalidate();
}

void TPanel::SetAlignment(TAlignment v) {
  fAlignment = v;
  Invalidate();
}

void TPanel::Paint() {
  using namespace vxpaint;
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  Fill(c, r, Color());
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    for (int i = 0; i < fBevelWidth; ++i) {
      if (cut == bvLowered) Frame3D(c, r, clBtnShadow, clBtnHighlight);
      if (cut == bvRaised) Frame3D(c, r, clBtnHighlight, clBtnShadow);
      r = Inner(r, 1);
    }
  };
  bevel(fBevelOuter);
  r = Inner(r, fBorderWidth);
  bevel(fBevelInner);
  const std::string text = VXStripAccelChars(Caption());
  if (text.empty()) return;
  c->Font()->Assign(Font());
  const TSize sz = c->TextExtent(text);
  int x = r.Left + ((r.Right - r.Left) - sz.cx) / 2;
  if (fAlignment == taLeftJustify) x = r.Left + 2;
  if (fAlignment == taRightJustify) x = r.Right - 2 - sz.cx;
  vxpaint::Text(c, x, r.Top + ((r.Bottom - r.Top) - sz.cy) / 2, text, TextColor(this, Font()->Color()));
}

TSplitter::TSplitter(TComponent* AOwner) : TGraphicControl(AOwner) {
  fControlStyle = (fControlStyle & ~VXStyleBit(csClickEvents)) | VXStyleBit(csOpaque);
  fParentColor = true;
  SetAlign(alLeft);
  SetBoundsFields(0, 0, 3, 100);
  SetCursor(crHSplit);
}

void TSplitter::SetBeveled(bool v) {
  fBeveled = v;
  Invalidate();
}

bool TSplitter::Vertical() const { return Align() == alTop || Align() == alBottom; }

TControl* TSplitter::Neighbour(bool Before) {
  if (!Parent()) return nullptr;
  const bool v = Vertical();
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    TControl* c = Parent()->Controls(i);
    if (c == this || !c->Visible()) continue;
    // Touching the edge and overlapping along it.
    if (!v) {
      const bool touches = Before ? c->Left() + c->Width() == Left() : c->Left() == Left() + Width();
      if (touches && c->Top() < Top() + Height() && c->Top() + c->Height() > Top()) return c;
    } else {
      const bool touches = Before ? c->Top() + c->Height() == Top() : c->Top() == Top() + Height();
      if (touches && c->Left() < Left() + Width() && c->Left() + c->Width() > Left()) return c;
    }
  }
  return nullptr;
}

TControl* TSplitter::FindControl() {
  return Neighbour(Align() == alLeft || Align() == alTop || Align() == alNone || Align() == alClient);
}

void TSplitter::MoveBy(int Delta) {
  const bool v = Vertical();
  auto len = [v](const TRect& r) { return v ? r.Bottom - r.Top : r.Right - r.Left; };
  // Both neighbours keep at least MinSize; without one, the parent's edge
  // limits the move.
  int lo = -(1 << 30), hi = 1 << 30;
  if (fBefore) lo = fMinSize - len(fStartBefore);
  if (fAfter) hi = len(fStartAfter) - fMinSize;
  if (!fBefore) lo = -(v ? fStartSelf.Top : fStartSelf.Left);
  if (!fAfter && Parent()) hi = (v ? Parent()->ClientHeight() - fStartSelf.Bottom : Parent()->ClientWidth() - fStartSelf.Right);
  if (lo > hi) return;
  Delta = std::clamp(Delta, lo, hi);
  const bool sizedBefore = Align() == alLeft || Align() == alTop;
  TControl* sized = sizedBefore ? fBefore : fAfter;
  if (sized && OnCanResize) {
    int newSize = sizedBefore ? len(fStartBefore) + Delta : len(fStartAfter) - Delta;
    bool accept = true;
    OnCanResize(this, newSize, accept);
    if (!accept) return;
    Delta = sizedBefore ? newSize - len(fStartBefore) : len(fStartAfter) - newSize;
  }
  const TRect s = fStartSelf;
  if (fBefore) {
    const TRect b = fStartBefore;
    if (v)
      fBefore->SetBounds(b.Left, b.Top, b.Right - b.Left, b.Bottom - b.Top + Delta);
    else
      fBefore->SetBounds(b.Left, b.Top, b.Right - b.Left + Delta, b.Bottom - b.Top);
  }
  if (fAfter) {
    const TRect a = fStartAfter;
    if (v)
      fAfter->SetBounds(a.Left, a.Top + Delta, a.Right - a.Left, a.Bottom - a.Top - Delta);
    else
      fAfter->SetBounds(a.Left + Delta, a.Top, a.Right - a.Left - Delta, a.Bottom - a.Top);
  }
  if (v)
    SetBounds(s.Left, s.Top + Delta, s.Right - s.Left, s.Bottom - s.Top);
  else
    SetBounds(s.Left + Delta, s.Top, s.Right - s.Left, s.Bottom - s.Top);
}

void TSplitter::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  fBefore = Neighbour(true);
  fAfter = Neighbour(false);
  fStartBefore = fBefore ? fBefore->BoundsRect() : TRect{0, 0, 0, 0};
  fStartAfter = fAfter ? fAfter->BoundsRect() : TRect{0, 0, 0, 0};
  fStartSelf = BoundsRect();
  fDownAt = Vertical() ? Y + Top() : X + Left();
  fDragging = true;
}

void TSplitter::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (fDragging) MoveBy((Vertical() ? Y + Top() : X + Left()) - fDownAt);
}

void TSplitter::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !fDragging) return;
  fDragging = false;
  if (OnMoved) OnMoved(this);
}

void TSplitter::Paint() {
  using namespace vxpaint;
  const TRect r = ClientRect();
  Fill(Canvas(), r, Color());
  if (fBeveled) Frame3D(Canvas(), r, clBtnHighlight, clBtnShadow);
}
