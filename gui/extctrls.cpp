// Timers and the image control.
#include "gui/extctrls.h"

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
