// Controls, window controls and their message handling.
#include "gui/controls.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "gui/forms.h"
#include "gui/menus.h"
#include "winui/win_paint.h"

bool NewStyleControls = true;

namespace {

std::map<HWND, TWinControl*>& WindowMap() {
  static std::map<HWND, TWinControl*> m;
  return m;
}

// The control whose window is being made: its window procedure learns of
// it from the first message.
thread_local TWinControl* gCreating = nullptr;
// A graphic control that holds the mouse (through its parent's window).
TControl* gCaptureControl = nullptr;
// The control under the mouse, for CM_MOUSEENTER and CM_MOUSELEAVE.
TControl* gMouseControl = nullptr;

constexpr TControlStyle kDefaultStyle =
    VXStyleBit(csCaptureMouse) | VXStyleBit(csClickEvents) | VXStyleBit(csSetCaption) | VXStyleBit(csDoubleClicks);
constexpr int kHTClient = 1;

bool IsMouseButtonMsg(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MBUTTONDBLCLK; }

void UpdateMouseControlAt(const TPoint& P) {
  TControl* c = FindDragTarget(P, true);
  if (c == gMouseControl) return;
  TControl* old = gMouseControl;
  gMouseControl = c;
  if (old) old->Perform(CM_MOUSELEAVE, 0, 0);
  if (c && c == gMouseControl) c->Perform(CM_MOUSEENTER, 0, 0);
  if (Application && c == gMouseControl) Application->HintMouseMessage(c);
}

}  // namespace

TShiftState KeysToShiftState(WPARAM Keys) {
  TShiftState s = 0;
  if (Keys & MK_SHIFT) s |= VXShiftBit(ssShift);
  if (Keys & MK_CONTROL) s |= VXShiftBit(ssCtrl);
  if (Keys & MK_LBUTTON) s |= VXShiftBit(ssLeft);
  if (Keys & MK_RBUTTON) s |= VXShiftBit(ssRight);
  if (Keys & MK_MBUTTON) s |= VXShiftBit(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s |= VXShiftBit(ssAlt);
  return s;
}

TShiftState KeyDataToShiftState(LPARAM KeyData) {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= VXShiftBit(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s |= VXShiftBit(ssCtrl);
  if ((KeyData & 0x20000000) || GetKeyState(VK_MENU) < 0) s |= VXShiftBit(ssAlt);
  return s;
}

TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled) {
  HWND h = WindowFromPoint(POINT{Pos.X, Pos.Y});
  TWinControl* w = nullptr;
  while (h && !(w = TWinControl::FindControl(h))) h = GetParent(h);
  if (!w) return nullptr;
  TControl* c = w->ControlAtPos(w->ScreenToClient(Pos), AllowDisabled);
  return c ? c : w;
}

void VXUpdateMouseControl() {
  POINT p;
  GetCursorPos(&p);
  UpdateMouseControlAt(TPoint{p.x, p.y});
}

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner)
    : TComponent(AOwner), fControlStyle(kDefaultStyle), fFont(std::make_unique<TFont>()) {
  fFont->OnChange = [this](void*) {
    if (fSyncingFont) return;
    fParentFont = false;
    Perform(CM_FONTCHANGED, 0, 0);
  };
}

TControl::~TControl() {
  if (gMouseControl == this) gMouseControl = nullptr;
  if (gCaptureControl == this) {
    gCaptureControl = nullptr;
    ReleaseCapture();
  }
  if (fParent) fParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == fParent) return;
  for (TControl* p = AParent; p; p = p->fParent)
    if (p == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (fParent) fParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBoundsFields(int ALeft, int ATop, int AWidth, int AHeight) {
  fLeft = ALeft;
  fTop = ATop;
  fWidth = AWidth;
  fHeight = AHeight;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == fLeft && ATop == fTop && AWidth == fWidth && AHeight == fHeight) return;
  bool sized = AWidth != fWidth || AHeight != fHeight;
  Invalidate();
  SetBoundsFields(ALeft, ATop, AWidth, AHeight);
  Invalidate();
  if (sized) Resize();
}

TRect TControl::ClientRect() { return TRect{0, 0, fWidth, fHeight}; }

void TControl::SetClientSize(int AWidth, int AHeight) {
  TRect r = ClientRect();
  SetBounds(fLeft, fTop, fWidth - r.Right + AWidth, fHeight - r.Bottom + AHeight);
}

TPoint TControl::ClientOrigin() {
  if (!fParent) return TPoint{fLeft, fTop};
  TPoint o = fParent->ClientOrigin();
  return TPoint{o.X + fLeft, o.Y + fTop};
}

bool TControl::Showing() const { return fVisible && fParent && fParent->Showing(); }

void TControl::SetVisible(bool v) {
  if (v == fVisible) return;
  fVisible = v;
  Perform(CM_VISIBLECHANGED, v, 0);
}

void TControl::SetEnabled(bool v) {
  if (v == fEnabled) return;
  fEnabled = v;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetCursor(TCursor v) {
  if (v == fCursor) return;
  fCursor = v;
  // Shown at once when the mouse is over the control.
  POINT p;
  GetCursorPos(&p);
  if (FindDragTarget(TPoint{p.x, p.y}, true) != this) return;
  TWinControl* w = dynamic_cast<TWinControl*>(this);
  if (!w) w = fParent;
  if (w && w->HandleAllocated())
    SendMessageW(w->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(w->Handle()), MAKELPARAM(kHTClient, WM_MOUSEMOVE));
}

void TControl::SetText(const std::string& v) {
  if (v == fText) return;
  fText = v;
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetColor(TColor v) {
  fParentColor = false;
  if (v == fColor) return;
  fColor = v;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentFont(bool v) {
  fParentFont = v;
  if (v) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::SetParentColor(bool v) {
  fParentColor = v;
  if (v) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::CMFontChanged(TMessage& Message) {
  DefaultHandler(Message);
  Invalidate();
}

void TControl::CMColorChanged(TMessage& Message) {
  DefaultHandler(Message);
  Invalidate();
}

void TControl::CMTextChanged(TMessage& Message) {
  DefaultHandler(Message);
  Invalidate();
}

void TControl::CMParentFontChanged(TMessage& Message) {
  DefaultHandler(Message);
  if (!fParentFont || !fParent) return;
  fSyncingFont = true;
  fFont->Assign(fParent->Font());
  fSyncingFont = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::CMParentColorChanged(TMessage& Message) {
  DefaultHandler(Message);
  if (!fParentColor || !fParent || fColor == fParent->fColor) return;
  fColor = fParent->fColor;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetPopupMenu(TComponent* v) {
  if (v == fPopupMenu) return;
  if (fPopupMenu) fPopupMenu->RemoveFreeNotification(this);
  fPopupMenu = v;
  if (v) v->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == fPopupMenu) fPopupMenu = nullptr;
}

void TControl::Invalidate() {
  if (!fParent || !fParent->HandleAllocated()) return;
  RECT r{fLeft, fTop, fLeft + fWidth, fTop + fHeight};
  InvalidateRect(fParent->Handle(), &r, !HasStyle(csOpaque));
}

void TControl::Update() {
  if (fParent) fParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  WndProc(m);
  return m.Result;
}

bool TControl::MouseCapture() const {
  if (auto* w = dynamic_cast<const TWinControl*>(this)) return w->HandleAllocated() && GetCapture() == w->fHandle;
  return gCaptureControl == this;
}

void TControl::SetMouseCapture(bool v) {
  if (v == MouseCapture()) return;
  if (v) {
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
      gCaptureControl = nullptr;
      SetCapture(w->Handle());
    } else if (fParent) {
      gCaptureControl = this;
      SetCapture(fParent->Handle());
    }
  } else {
    gCaptureControl = nullptr;
    ReleaseCapture();
  }
}

void TControl::WndProc(TMessage& Message) {
  // Without csDoubleClicks a double click counts as a second press.
  if (!HasStyle(csDoubleClicks) &&
      (Message.Msg == WM_LBUTTONDBLCLK || Message.Msg == WM_RBUTTONDBLCLK || Message.Msg == WM_MBUTTONDBLCLK))
    Message.Msg -= WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
  Dispatch(Message);
}

void TControl::DefaultHandler(TMessage& Message) { Message.Result = 0; }

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDOWN:
      return WMLButtonDown(Message);
    case WM_LBUTTONUP:
      return WMLButtonUp(Message);
    case WM_LBUTTONDBLCLK:
      return WMLButtonDblClk(Message);
    case WM_RBUTTONDOWN:
      return WMRButtonDown(Message);
    case WM_RBUTTONUP:
      return WMRButtonUp(Message);
    case WM_RBUTTONDBLCLK:
      return WMRButtonDblClk(Message);
    case WM_MBUTTONDOWN:
      return WMMButtonDown(Message);
    case WM_MBUTTONUP:
      return WMMButtonUp(Message);
    case WM_MBUTTONDBLCLK:
      return WMMButtonDblClk(Message);
    case WM_MOUSEMOVE:
      return WMMouseMove(Message);
    case WM_MOUSEWHEEL:
      return WMMouseWheel(Message);
    case CM_MOUSEENTER:
      return CMMouseEnter(Message);
    case CM_MOUSELEAVE:
      return CMMouseLeave(Message);
    case CM_ENABLEDCHANGED:
      return CMEnabledChanged(Message);
    case CM_VISIBLECHANGED:
      return CMVisibleChanged(Message);
    case CM_WANTSPECIALKEY:
      return CMWantSpecialKey(Message);
    case CM_FONTCHANGED:
      return CMFontChanged(Message);
    case CM_COLORCHANGED:
      return CMColorChanged(Message);
    case CM_PARENTFONTCHANGED:
      return CMParentFontChanged(Message);
    case CM_PARENTCOLORCHANGED:
      return CMParentColorChanged(Message);
    case CM_TEXTCHANGED:
      return CMTextChanged(Message);
    default:
      return DefaultHandler(Message);
  }
}

void TControl::DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift) {
  if (HasStyle(csNoStdEvents)) return;
  MouseDown(Button, KeysToShiftState(Message.WParam) | Shift, GET_X_LPARAM(Message.LParam),
            GET_Y_LPARAM(Message.LParam));
}

void TControl::DoMouseUp(TMessage& Message, TMouseButton Button) {
  // The capture ends with the last button.
  if (HasStyle(csCaptureMouse) && !(Message.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) SetMouseCapture(false);
  if (HasStyle(csNoStdEvents)) return;
  MouseUp(Button, KeysToShiftState(Message.WParam), GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
}

void TControl::WMLButtonDown(TMessage& Message) {
  DefaultHandler(Message);
  if (HasStyle(csCaptureMouse)) SetMouseCapture(true);
  if (HasStyle(csClickEvents)) fClicked = true;
  DoMouseDown(Message, mbLeft, 0);
}

void TControl::WMLButtonUp(TMessage& Message) {
  DefaultHandler(Message);
  if (fClicked) {
    fClicked = false;
    TRect r = ClientRect();
    int x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
    if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) Click();
  }
  DoMouseUp(Message, mbLeft);
}

void TControl::WMLButtonDblClk(TMessage& Message) {
  DefaultHandler(Message);
  if (HasStyle(csCaptureMouse)) SetMouseCapture(true);
  if (HasStyle(csClickEvents)) DblClick();
  DoMouseDown(Message, mbLeft, VXShiftBit(ssDouble));
}

void TControl::ButtonPressed(TMessage& Message, TMouseButton Button, TShiftState Shift) {
  DefaultHandler(Message);
  if (HasStyle(csCaptureMouse)) SetMouseCapture(true);
  DoMouseDown(Message, Button, Shift);
}

void TControl::ButtonReleased(TMessage& Message, TMouseButton Button) {
  DefaultHandler(Message);
  DoMouseUp(Message, Button);
}

void TControl::WMRButtonDown(TMessage& Message) { ButtonPressed(Message, mbRight, 0); }
void TControl::WMRButtonUp(TMessage& Message) {
  ButtonReleased(Message, mbRight);
  // The control's pop-up menu opens where the button was released.
  auto* menu = dynamic_cast<TPopupMenu*>(fPopupMenu);
  if (menu && menu->AutoPopup() && !HasStyle(csNoStdEvents)) {
    TPoint p = ClientToScreen(TPoint{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)});
    menu->SetPopupComponent(this);
    menu->Popup(p.X, p.Y);
  }
}
void TControl::WMRButtonDblClk(TMessage& Message) { ButtonPressed(Message, mbRight, VXShiftBit(ssDouble)); }
void TControl::WMMButtonDown(TMessage& Message) { ButtonPressed(Message, mbMiddle, 0); }
void TControl::WMMButtonUp(TMessage& Message) { ButtonReleased(Message, mbMiddle); }
void TControl::WMMButtonDblClk(TMessage& Message) { ButtonPressed(Message, mbMiddle, VXShiftBit(ssDouble)); }

void TControl::WMMouseMove(TMessage& Message) {
  DefaultHandler(Message);
  if (!HasStyle(csNoStdEvents))
    MouseMove(KeysToShiftState(Message.WParam), GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
}

void TControl::WMMouseWheel(TMessage& Message) {
  TShiftState shift = KeysToShiftState(GET_KEYSTATE_WPARAM(Message.WParam));
  TPoint pos{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
  if (DoMouseWheel(shift, GET_WHEEL_DELTA_WPARAM(Message.WParam), pos))
    Message.Result = 1;
  else
    DefaultHandler(Message);
}

bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  if (!handled) {
    if (WheelDelta < 0 && OnMouseWheelDown)
      OnMouseWheelDown(this, Shift, MousePos, handled);
    else if (WheelDelta > 0 && OnMouseWheelUp)
      OnMouseWheelUp(this, Shift, MousePos, handled);
  }
  return handled;
}

void TControl::CMMouseEnter(TMessage& Message) {
  DefaultHandler(Message);
  fMouseInClient = true;
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::CMMouseLeave(TMessage& Message) {
  DefaultHandler(Message);
  fMouseInClient = false;
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::CMEnabledChanged(TMessage& Message) {
  DefaultHandler(Message);
  Invalidate();
}

void TControl::CMVisibleChanged(TMessage& Message) {
  DefaultHandler(Message);
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    if (w->HandleAllocated()) ShowWindow(w->Handle(), fVisible ? SW_SHOWNA : SW_HIDE);
    return;
  }
  // A graphic control: its place on the parent is drawn again.
  if (fParent && fParent->HandleAllocated()) {
    RECT r{fLeft, fTop, fLeft + fWidth, fTop + fHeight};
    InvalidateRect(fParent->Handle(), &r, TRUE);
  }
}

void TControl::CMWantSpecialKey(TMessage& Message) { DefaultHandler(Message); }

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  Destroying();
  while (!fControls.empty()) {
    TControl* c = fControls.back();
    RemoveControl(c);
    delete c;
  }
  DestroyHandle();
}

TWinControl* TWinControl::FindControl(HWND Wnd) {
  auto it = WindowMap().find(Wnd);
  return it == WindowMap().end() ? nullptr : it->second;
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TWinControl* c = FindControl(Wnd);
  if (!c && gCreating) {
    c = gCreating;
    c->fHandle = Wnd;
    WindowMap()[Wnd] = c;
  }
  if (!c) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  TMessage m{Msg, WParam, LParam, 0};
  c->WndProc(m);
  return m.Result;
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return fHandle;
}

void TWinControl::HandleNeeded() {
  if (fHandle) return;
  if (fParent) fParent->HandleNeeded();
  if (!fHandle) CreateHandle();
}

void TWinControl::SetParentWindow(HWND v) {
  if (v == fParentWindow) return;
  fParentWindow = v;
  if (!fParent && fHandle) RecreateWnd();
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params = TCreateParams{};
  if (HasStyle(csSetCaption)) Params.Caption = Text();
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (HasStyle(csAcceptsControls)) Params.Style |= WS_CLIPCHILDREN;
  if (!fEnabled) Params.Style |= WS_DISABLED;
  if (fTabStop) Params.Style |= WS_TABSTOP;
  Params.X = Left();
  Params.Y = Top();
  Params.Width = Width();
  Params.Height = Height();
  Params.WndParent = fParent ? fParent->fHandle : fParentWindow;
  if (fVisible && Params.WndParent) Params.Style |= WS_VISIBLE;
  Params.ClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  Params.WinClassName = "VXWinControl";
}

void TWinControl::CreateWnd() {
  TCreateParams p;
  CreateParams(p);
  // A control without a parent window stands alone as a pop-up window.
  if (!p.WndParent && (p.Style & WS_CHILD)) {
    p.Style &= ~WS_CHILD;
    p.Style |= WS_POPUP;
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%X", unsigned(p.ClassStyle));
  std::string cls = p.WinClassName + suffix;
  WNDCLASSEXW info;
  if (!GetClassInfoExW(nullptr, cls.c_str(), &info)) {
    WNDCLASSEXW wc;
    wc.style = p.ClassStyle;
    wc.lpfnWndProc = &TWinControl::StdWndProc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = cls.c_str();
    if (!RegisterClassExW(&wc)) throw EOutOfResources("Error creating window class");
  }
  TWinControl* outer = gCreating;
  gCreating = this;
  HWND h = CreateWindowExW(p.ExStyle, cls.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                           p.WndParent, nullptr, nullptr, p.Param);
  gCreating = outer;
  if (!h) throw EOutOfResources("Error creating window");
  fHandle = h;
  WindowMap()[h] = this;
  UpdateBounds();
}

void TWinControl::CreateHandle() {
  if (!fHandle) CreateWnd();
  for (TControl* c : fControls)
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (!w->fHandle) w->CreateHandle();
}

void TWinControl::DestroyHandle() {
  if (!fHandle) return;
  HWND h = fHandle;
  DestroyWindow(h);
  // Normally cleared on WM_NCDESTROY, for this window and every child.
  if (fHandle == h) {
    WindowMap().erase(h);
    fHandle = nullptr;
  }
}

void TWinControl::RecreateWnd() {
  if (!fHandle) return;
  bool focused = Focused();
  DestroyHandle();
  CreateHandle();
  if (focused && CanFocus()) ::SetFocus(fHandle);
}

void TWinControl::InsertControl(TControl* AControl) {
  if (!AControl || AControl->fParent == this) return;
  fControls.push_back(AControl);
  AControl->fParent = this;
  if (AControl->fParentFont) AControl->Perform(CM_PARENTFONTCHANGED, 0, 0);
  if (AControl->fParentColor) AControl->Perform(CM_PARENTCOLORCHANGED, 0, 0);
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    if (w->fParentCtl3D) w->fCtl3D = fCtl3D;
    if (w->fHandle) w->DestroyHandle();
    if (fHandle) w->CreateHandle();
  } else {
    AControl->Invalidate();
  }
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(fControls.begin(), fControls.end(), AControl);
  if (it == fControls.end()) return;
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    w->DestroyHandle();
  } else {
    AControl->Invalidate();
    if (gCaptureControl == AControl) AControl->SetMouseCapture(false);
  }
  fControls.erase(std::find(fControls.begin(), fControls.end(), AControl));
  AControl->fParent = nullptr;
}

TControl* TWinControl::ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls) {
  for (auto it = fControls.rbegin(); it != fControls.rend(); ++it) {
    TControl* c = *it;
    if (!AllowWinControls && dynamic_cast<TWinControl*>(c)) continue;
    if (!c->fVisible || (!c->fEnabled && !AllowDisabled)) continue;
    if (Pos.X >= c->fLeft && Pos.X < c->fLeft + c->fWidth && Pos.Y >= c->fTop && Pos.Y < c->fTop + c->fHeight)
      return c;
  }
  return nullptr;
}

bool TControl::PaletteChanged(bool Foreground) {
  (void)Foreground;
  return false;
}

bool TWinControl::PaletteChanged(bool Foreground) {
  // In the foreground the first child that realises a palette ends it;
  // otherwise every child hears of the change.
  bool any = false;
  for (int i = ControlCount() - 1; i >= 0; --i) {
    any = Controls(i)->PaletteChanged(Foreground) || any;
    if (any && Foreground) break;
  }
  return any;
}

bool TWinControl::CanFocus() {
  TCustomForm* f = GetParentForm(this);
  if (f && (!f->Enabled() || !f->Visible())) return false;
  for (TWinControl* c = this; c; c = c->fParent)
    if (!c->fVisible || !c->fEnabled) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ::SetFocus(Handle());
}

bool TWinControl::Focused() const { return fHandle && GetFocus() == fHandle; }

void TWinControl::SetCtl3D(bool v) {
  fParentCtl3D = false;
  if (v == fCtl3D) return;
  fCtl3D = v;
  Perform(CM_CTL3DCHANGED, 0, 0);
}

void TWinControl::SetParentCtl3D(bool v) {
  fParentCtl3D = v;
  if (v && fParent && fParent->fCtl3D != fCtl3D) {
    fCtl3D = fParent->fCtl3D;
    Perform(CM_CTL3DCHANGED, 0, 0);
  }
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == Left() && ATop == Top() && AWidth == Width() && AHeight == Height()) return;
  if (fHandle) {
    // The window's messages bring the new bounds back (UpdateBounds).
    SetWindowPos(fHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetBoundsFields(ALeft, ATop, AWidth, AHeight);
  }
}

void TWinControl::BoundsChanged() {}

void TWinControl::UpdateBounds() {
  if (!fHandle) return;
  RECT r;
  if (!GetWindowRect(fHandle, &r)) return;
  HWND p = GetParent(fHandle);
  if (p && (GetWindowLongW(fHandle, GWL_STYLE) & LONG(WS_CHILD))) MapWindowPoints(nullptr, p, reinterpret_cast<POINT*>(&r), 2);
  SetBoundsFields(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

TRect TWinControl::ClientRect() {
  if (!fHandle) return TControl::ClientRect();
  RECT r;
  GetClientRect(fHandle, &r);
  return TRect{r.left, r.top, r.right, r.bottom};
}

TPoint TWinControl::ClientOrigin() {
  if (!fHandle) return TControl::ClientOrigin();
  POINT p{0, 0};
  ::ClientToScreen(fHandle, &p);
  return TPoint{p.x, p.y};
}

bool TWinControl::Showing() const {
  if (fHandle) return IsWindowVisible(fHandle);
  return fVisible && fParent && fParent->Showing();
}

void TWinControl::SetEnabled(bool v) {
  if (v == fEnabled) return;
  fEnabled = v;
  if (fHandle) EnableWindow(fHandle, v);
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TWinControl::SetText(const std::string& v) {
  if (v == Text()) return;
  TControl::SetText(v);
  if (fHandle) SetWindowTextW(fHandle, v.c_str());
}

void TWinControl::Invalidate() {
  if (fHandle) InvalidateRect(fHandle, nullptr, !HasStyle(csOpaque));
}

void TWinControl::Update() {
  if (fHandle) UpdateWindow(fHandle);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

void TWinControl::PaintWindow(HDC /*DC*/) {}

void TWinControl::PaintControls(HDC DC) {
  for (TControl* c : fControls) {
    if (dynamic_cast<TWinControl*>(c) || !c->fVisible || c->fWidth <= 0 || c->fHeight <= 0) continue;
    int saved = SaveDC(DC);
    POINT org;
    GetViewportOrgEx(DC, &org);
    SetViewportOrgEx(DC, org.x + c->fLeft, org.y + c->fTop, nullptr);
    IntersectClipRect(DC, 0, 0, c->fWidth, c->fHeight);
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    RestoreDC(DC, saved);
  }
}

bool TWinControl::IsControlMouseMsg(TMessage& Message) {
  TControl* target = nullptr;
  if (gCaptureControl && gCaptureControl->fParent == this)
    target = gCaptureControl;
  else if (GetCapture() != fHandle || !gCaptureControl)
    target = ControlAtPos(TPoint{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)}, false);
  if (!target || target == this || dynamic_cast<TWinControl*>(target)) return false;
  int x = GET_X_LPARAM(Message.LParam) - target->fLeft, y = GET_Y_LPARAM(Message.LParam) - target->fTop;
  Message.Result = target->Perform(Message.Msg, Message.WParam, MAKELPARAM(x, y));
  return true;
}

void TWinControl::WndProc(TMessage& Message) {
  UINT m = Message.Msg;
  // Key messages are offered to the control first (CN_...).
  if (!fReflecting && (m == WM_KEYDOWN || m == WM_SYSKEYDOWN || m == WM_KEYUP || m == WM_SYSKEYUP ||
                       m == WM_CHAR || m == WM_SYSCHAR)) {
    fReflecting = true;
    LRESULT r;
    try {
      r = Perform(CN_BASE + m, Message.WParam, Message.LParam);
    } catch (...) {
      fReflecting = false;
      throw;
    }
    fReflecting = false;
    if (r) {
      Message.Result = 0;
      return;
    }
  }
  if (m == WM_MOUSEMOVE && fHandle) {
    POINT p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
    ::ClientToScreen(fHandle, &p);
    UpdateMouseControlAt(TPoint{p.x, p.y});
  }
  if (IsMouseButtonMsg(m) && fHandle && IsControlMouseMsg(Message)) return;
  TControl::WndProc(Message);
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (fHandle && Message.Msg < CM_BASE)
    Message.Result = DefWindowProcW(fHandle, Message.Msg, Message.WParam, Message.LParam);
  else
    TControl::DefaultHandler(Message);
}

void TWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT:
      return WMPaint(Message);
    case WM_ERASEBKGND:
      return WMEraseBkgnd(Message);
    case WM_NCPAINT:
      return WMNCPaint(Message);
    case WM_SIZE:
      return WMSize(Message);
    case WM_MOVE:
      return WMMove(Message);
    case WM_WINDOWPOSCHANGED:
      return WMWindowPosChanged(Message);
    case WM_SETFOCUS:
      return WMSetFocus(Message);
    case WM_KILLFOCUS:
      return WMKillFocus(Message);
    case WM_SETCURSOR:
      return WMSetCursor(Message);
    case WM_KEYDOWN:
      return WMKeyDown(Message);
    case WM_KEYUP:
    case WM_SYSKEYUP:
      return WMKeyUp(Message);
    case WM_CHAR:
      return WMChar(Message);
    case WM_SYSKEYDOWN:
      return WMSysKeyDown(Message);
    case WM_TIMER:
      return WMTimer(Message);
    case WM_HSCROLL:
      return WMHScroll(Message);
    case WM_VSCROLL:
      return WMVScroll(Message);
    case WM_GESTURE:
      return WMGesture(Message);
    case WM_GESTURENOTIFY:
      return WMGestureNotify(Message);
    case WM_CAPTURECHANGED:
      return WMCaptureChanged(Message);
    case WM_DESTROY:
      return WMDestroy(Message);
    case WM_NCDESTROY:
      return WMNCDestroy(Message);
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
      return CNKeyDown(Message);
    case CN_KEYUP:
    case CN_SYSKEYUP:
      return CNKeyUp(Message);
    case CN_CHAR:
    case CN_SYSCHAR:
      return CNChar(Message);
    case CM_ENTER:
      return CMEnter(Message);
    case CM_EXIT:
      return CMExit(Message);
    case CM_CTL3DCHANGED:
      return CMCtl3DChanged(Message);
    case CM_PARENTCTL3DCHANGED:
      return CMParentCtl3DChanged(Message);
    default:
      return TControl::Dispatch(Message);
  }
}

void TWinControl::WMPaint(TMessage& Message) {
  if (Message.WParam) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    PaintWindow(dc);
    PaintControls(dc);
  } else {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(fHandle, &ps);
    try {
      PaintWindow(dc);
      PaintControls(dc);
    } catch (...) {
      EndPaint(fHandle, &ps);
      throw;
    }
    EndPaint(fHandle, &ps);
  }
  Message.Result = 0;
}

void TWinControl::WMEraseBkgnd(TMessage& Message) {
  // An opaque control paints all of its client area itself.
  if (!HasStyle(csOpaque)) {
    HBRUSH b = CreateSolidBrush(VXColorToRGB(Color()));
    RECT r;
    GetClientRect(fHandle, &r);
    FillRect(reinterpret_cast<HDC>(Message.WParam), &r, b);
    DeleteObject(b);
  }
  Message.Result = 1;
}

void TWinControl::WMNCPaint(TMessage& Message) { DefaultHandler(Message); }

void TWinControl::WMSize(TMessage& Message) {
  UpdateBounds();
  DefaultHandler(Message);
  Resize();
}

void TWinControl::WMMove(TMessage& Message) {
  UpdateBounds();
  DefaultHandler(Message);
}

void TWinControl::WMWindowPosChanged(TMessage& Message) {
  DefaultHandler(Message);
  UpdateBounds();
}

void TWinControl::WMSetFocus(TMessage& Message) {
  DefaultHandler(Message);
  if (TCustomForm* f = GetParentForm(this)) f->FocusChanged(this);
  Perform(CM_ENTER, 0, 0);
}

void TWinControl::WMKillFocus(TMessage& Message) {
  DefaultHandler(Message);
  Perform(CM_EXIT, 0, 0);
}

void TWinControl::WMSetCursor(TMessage& Message) {
  if (LOWORD(uintptr_t(Message.LParam)) == kHTClient && Screen && fHandle) {
    TCursor cur = Screen->Cursor();
    if (cur == crDefault) {
      POINT p;
      GetCursorPos(&p);
      ::ScreenToClient(fHandle, &p);
      TControl* c = ControlAtPos(TPoint{p.x, p.y}, false);
      cur = c ? c->Cursor() : Cursor();
    }
    if (cur != crDefault) {
      ::SetCursor(Screen->Cursors(cur));
      Message.Result = 1;
      return;
    }
  }
  DefaultHandler(Message);
}

bool TWinControl::DoKeyDown(TMessage& Message) {
  WORD key = WORD(Message.WParam);
  // A form with KeyPreview sees its controls' keys first.
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview()) {
    f->KeyDown(key, KeyDataToShiftState(Message.LParam));
    if (key == 0) return true;
  }
  KeyDown(key, KeyDataToShiftState(Message.LParam));
  if (key == 0) return true;
  Message.WParam = key;
  return false;
}

void TWinControl::WMKeyDown(TMessage& Message) {
  if (!DoKeyDown(Message)) DefaultHandler(Message);
}

void TWinControl::WMSysKeyDown(TMessage& Message) {
  if (!DoKeyDown(Message)) DefaultHandler(Message);
}

void TWinControl::WMKeyUp(TMessage& Message) {
  WORD key = WORD(Message.WParam);
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview()) {
    f->KeyUp(key, KeyDataToShiftState(Message.LParam));
    if (key == 0) return;
  }
  KeyUp(key, KeyDataToShiftState(Message.LParam));
  if (key == 0) return;
  Message.WParam = key;
  DefaultHandler(Message);
}

void TWinControl::WMChar(TMessage& Message) {
  char16_t key = char16_t(Message.WParam);
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview()) {
    f->KeyPress(key);
    if (key == 0) return;
  }
  KeyPress(key);
  if (key == 0) return;
  Message.WParam = key;
  DefaultHandler(Message);
}

void TWinControl::WMTimer(TMessage& Message) { DefaultHandler(Message); }
void TWinControl::WMHScroll(TMessage& Message) { DefaultHandler(Message); }
void TWinControl::WMVScroll(TMessage& Message) { DefaultHandler(Message); }
void TWinControl::WMGesture(TMessage& Message) { DefaultHandler(Message); }
void TWinControl::WMGestureNotify(TMessage& Message) { DefaultHandler(Message); }

void TWinControl::WMCaptureChanged(TMessage& Message) {
  if (gCaptureControl && gCaptureControl->fParent == this &&
      reinterpret_cast<HWND>(Message.LParam) != fHandle)
    gCaptureControl = nullptr;
  DefaultHandler(Message);
}

void TWinControl::WMDestroy(TMessage& Message) { DefaultHandler(Message); }

void TWinControl::WMNCDestroy(TMessage& Message) {
  DefaultHandler(Message);
  WindowMap().erase(fHandle);
  fHandle = nullptr;
}

void TWinControl::CNKeyDown(TMessage& Message) {
  Message.Result = 0;
  WORD key = WORD(Message.WParam);
  bool special = key == VK_TAB || (key >= VK_LEFT && key <= VK_DOWN) || key == VK_RETURN || key == VK_ESCAPE ||
                 key == VK_CANCEL;
  if (!special) return;
  // A key the control does not want goes to the form (focus moves).
  if (Perform(CM_WANTSPECIALKEY, key, Message.LParam) != 0) return;
  // So does a window that claims it through the dialog-code query.
  const LRESULT code = Perform(WM_GETDLGCODE, key, Message.LParam);
  if ((code & DLGC_WANTALLKEYS) || (key == VK_TAB && (code & DLGC_WANTTAB)) ||
      (key >= VK_LEFT && key <= VK_DOWN && (code & DLGC_WANTARROWS)))
    return;
  if (TCustomForm* f = GetParentForm(this))
    if (f->Perform(CM_DIALOGKEY, key, Message.LParam) != 0) Message.Result = 1;
}

void TWinControl::CNKeyUp(TMessage& Message) { DefaultHandler(Message); }
void TWinControl::CNChar(TMessage& Message) { DefaultHandler(Message); }

void TWinControl::CMEnter(TMessage& Message) {
  DefaultHandler(Message);
  DoEnter();
}

void TWinControl::CMExit(TMessage& Message) {
  DefaultHandler(Message);
  DoExit();
}

void TWinControl::CMFontChanged(TMessage& Message) {
  TControl::CMFontChanged(Message);
  for (size_t i = 0; i < fControls.size(); ++i) fControls[i]->Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TWinControl::CMColorChanged(TMessage& Message) {
  TControl::CMColorChanged(Message);
  for (size_t i = 0; i < fControls.size(); ++i) fControls[i]->Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TWinControl::CMCtl3DChanged(TMessage& Message) {
  DefaultHandler(Message);
  for (TControl* c : fControls)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->Perform(CM_PARENTCTL3DCHANGED, 0, 0);
}

void TWinControl::CMParentCtl3DChanged(TMessage& Message) {
  DefaultHandler(Message);
  if (fParentCtl3D && fParent && fParent->fCtl3D != fCtl3D) {
    fCtl3D = fParent->fCtl3D;
    Perform(CM_CTL3DCHANGED, 0, 0);
  }
}

void TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char16_t& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// ---------------------------------------------------------------------------
// Canvases of controls, custom and graphic controls

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::FreeHandle() {
  if (!fDC) return;
  HDC dc = fDC;
  fDC = nullptr;
  SetHandle(nullptr);
  ReleaseDC(fDCWindow, dc);
  fDCWindow = nullptr;
}

void TControlCanvas::CreateHandle() {
  FreeHandle();
  if (auto* w = dynamic_cast<TWinControl*>(fControl)) {
    fDCWindow = w->Handle();
    fDC = GetDC(fDCWindow);
  } else if (TWinControl* p = fControl->Parent()) {
    fDCWindow = p->Handle();
    fDC = GetDC(fDCWindow);
    // The control's own coordinates, clipped to it.
    SetViewportOrgEx(fDC, fControl->Left(), fControl->Top(), nullptr);
    IntersectClipRect(fDC, 0, 0, fControl->Width(), fControl->Height());
  }
  if (fDC) SetHandle(fDC);
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), fCanvas(std::make_unique<TControlCanvas>(this)) {}

TCustomControl::~TCustomControl() { fCanvas->FreeHandle(); }

void TCustomControl::PaintWindow(HDC DC) {
  fCanvas->FreeHandle();
  fCanvas->SetHandle(DC);
  try {
    Paint();
  } catch (...) {
    fCanvas->SetHandle(nullptr);
    throw;
  }
  fCanvas->SetHandle(nullptr);
}

void TCustomControl::WMNCDestroy(TMessage& Message) {
  fCanvas->FreeHandle();
  TWinControl::WMNCDestroy(Message);
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), fCanvas(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() { fCanvas->FreeHandle(); }

void TGraphicControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT && Message.WParam) {
    fCanvas->FreeHandle();
    fCanvas->SetHandle(reinterpret_cast<HDC>(Message.WParam));
    try {
      Paint();
    } catch (...) {
      fCanvas->SetHandle(nullptr);
      throw;
    }
    fCanvas->SetHandle(nullptr);
    Message.Result = 0;
    return;
  }
  TControl::Dispatch(Message);
}
