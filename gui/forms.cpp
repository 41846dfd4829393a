// Forms, the screen and the application.
#include "gui/forms.h"

#include <algorithm>

#include "platform/utf.h"
#include "winui/gdi_font.h"
#include "winui/win_paint.h"

// Made at start-up and kept for the life of the process: windows may still
// be destroyed by the window system's own shut-down after main returns.
TScreen* Screen = new TScreen(nullptr);
TApplication* Application = new TApplication(nullptr);

TCustomForm* GetParentForm(TControl* Control, bool TopForm) {
  if (!Control) return nullptr;
  TControl* c = Control;
  if (!TopForm) {
    for (; c; c = c->Parent())
      if (auto* f = dynamic_cast<TCustomForm*>(c)) return f;
    return nullptr;
  }
  while (c->Parent()) c = c->Parent();
  return dynamic_cast<TCustomForm*>(c);
}

// ---------------------------------------------------------------------------
// Forms

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  fVisible = false;
  fControlStyle |= VXStyleBit(csAcceptsControls);
  SetBoundsFields(0, 0, 320, 240);
  if (Screen) Screen->fForms.push_back(this);
}

TCustomForm::~TCustomForm() {
  if (Screen) {
    auto& f = Screen->fForms;
    f.erase(std::remove(f.begin(), f.end(), this), f.end());
    if (Screen->fActiveForm == this) Screen->fActiveForm = nullptr;
  }
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  if (!Parent()) {
    Params.Style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (!Enabled()) Params.Style |= WS_DISABLED;
    Params.WndParent = ParentWindow();
  }
  Params.WinClassName = "VXForm";
}

void TCustomForm::Show() {
  SetVisible(true);
  HandleNeeded();
  SetActiveWindow(Handle());
  if (Screen) Screen->fActiveForm = this;
}

void TCustomForm::Close() {
  if (Application && Application->MainForm() == this) Application->Terminate();
  Hide();
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (Control && GetParentForm(Control) != this)
    throw EInvalidOperation("Cannot focus a control of another form");
  FocusChanged(Control);
  if (Control && Visible() && HandleAllocated()) Control->SetFocus();
}

void TCustomForm::FocusChanged(TWinControl* Control) {
  if (Control == fActiveControl) return;
  if (fActiveControl) fActiveControl->RemoveFreeNotification(this);
  fActiveControl = Control;
  if (Control && Control != this) Control->FreeNotification(this);
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == fActiveControl) fActiveControl = nullptr;
}

namespace {
void CollectFocusable(TWinControl* Parent, std::vector<TWinControl*>& Out) {
  for (int i = 0; i < Parent->ControlCount(); ++i)
    if (auto* w = dynamic_cast<TWinControl*>(Parent->Controls(i))) {
      Out.push_back(w);
      CollectFocusable(w, Out);
    }
}
}  // namespace

bool TCustomForm::SelectNext(TWinControl* CurControl, bool GoForward) {
  std::vector<TWinControl*> list;
  CollectFocusable(this, list);
  if (list.empty()) return false;
  auto it = std::find(list.begin(), list.end(), CurControl);
  size_t n = list.size();
  size_t start = it == list.end() ? (GoForward ? n - 1 : 0) : size_t(it - list.begin());
  for (size_t k = 1; k <= n; ++k) {
    size_t i = GoForward ? (start + k) % n : (start + n - k) % n;
    TWinControl* c = list[i];
    if (c != CurControl && c->CanFocus()) {
      c->SetFocus();
      return true;
    }
  }
  return false;
}

TMonitor* TCustomForm::Monitor() {
  return Screen ? Screen->MonitorFromWindow(HandleAllocated() ? Handle() : nullptr) : nullptr;
}

void TCustomForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ACTIVATE:
      return WMActivate(Message);
    case WM_CLOSE:
      return WMClose(Message);
    case CM_DIALOGKEY:
      return CMDialogKey(Message);
    default:
      return TWinControl::Dispatch(Message);
  }
}

void TCustomForm::WMActivate(TMessage& Message) {
  DefaultHandler(Message);
  if (LOWORD(Message.WParam) != 0 && Screen) Screen->fActiveForm = this;
}

void TCustomForm::WMClose(TMessage& Message) {
  Close();
  Message.Result = 0;
}

void TCustomForm::CMDialogKey(TMessage& Message) {
  WORD key = WORD(Message.WParam);
  Message.Result = 0;
  if (key == VK_TAB) {
    SelectNext(fActiveControl, GetKeyState(VK_SHIFT) >= 0);
    Message.Result = 1;
  } else if (key >= VK_LEFT && key <= VK_DOWN) {
    if (SelectNext(fActiveControl, key == VK_RIGHT || key == VK_DOWN)) Message.Result = 1;
  }
}

void TCustomForm::CMVisibleChanged(TMessage& Message) {
  DefaultHandler(Message);
  if (Visible()) {
    HandleNeeded();
    ShowWindow(Handle(), SW_SHOW);
    if (OnShow) OnShow(this);
  } else {
    if (HandleAllocated()) ShowWindow(Handle(), SW_HIDE);
    if (Screen && Screen->fActiveForm == this) Screen->fActiveForm = nullptr;
    if (OnHide) OnHide(this);
  }
}

// ---------------------------------------------------------------------------
// Monitors and the screen

TRect TMonitor::BoundsRect() const {
  MONITORINFO mi;
  GetMonitorInfoW(fHandle, &mi);
  return TRect{mi.rcMonitor.left, mi.rcMonitor.top, mi.rcMonitor.right, mi.rcMonitor.bottom};
}

TRect TMonitor::WorkareaRect() const {
  MONITORINFO mi;
  GetMonitorInfoW(fHandle, &mi);
  return TRect{mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
}

bool TMonitor::Primary() const {
  MONITORINFO mi;
  GetMonitorInfoW(fHandle, &mi);
  return (mi.dwFlags & MONITORINFOF_PRIMARY) != 0;
}

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}
TScreen::~TScreen() = default;

HCURSOR TScreen::Cursors(TCursor Index) {
  auto it = fCursors.find(Index);
  if (it != fCursors.end()) return it->second;
  LPCWSTR id = IDC_ARROW;
  switch (Index) {
    case crNone:
      return nullptr;
    case crCross:
      id = IDC_CROSS;
      break;
    case crIBeam:
      id = IDC_IBEAM;
      break;
    case crSizeNESW:
      id = IDC_SIZENESW;
      break;
    case crSizeNS:
    case crVSplit:
      id = IDC_SIZENS;
      break;
    case crSizeNWSE:
      id = IDC_SIZENWSE;
      break;
    case crSizeWE:
    case crHSplit:
      id = IDC_SIZEWE;
      break;
    case crUpArrow:
      id = IDC_UPARROW;
      break;
    case crHourGlass:
    case crSQLWait:
      id = IDC_WAIT;
      break;
    case crNo:
    case crNoDrop:
      id = IDC_NO;
      break;
    case crAppStart:
      id = IDC_APPSTARTING;
      break;
    case crHelp:
      id = IDC_HELP;
      break;
    case crHandPoint:
      id = IDC_HAND;
      break;
    case crSizeAll:
      id = IDC_SIZEALL;
      break;
    default:
      break;
  }
  return LoadCursorW(nullptr, id);
}

void TScreen::SetCursors(TCursor Index, HCURSOR Handle) {
  if (Handle)
    fCursors[Index] = Handle;
  else
    fCursors.erase(Index);
}

void TScreen::SetCursor(TCursor Value) {
  fCursor = Value;
  if (Value != crDefault) {
    ::SetCursor(Cursors(Value));
    return;
  }
  // Back to the cursor of what lies under the mouse.
  POINT p;
  GetCursorPos(&p);
  HWND h = WindowFromPoint(p);
  if (h)
    SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(1, WM_MOUSEMOVE));
  else
    ::SetCursor(Cursors(crDefault));
}

namespace {
int CALLBACK AddFamily(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM Data) {
  auto* out = reinterpret_cast<std::vector<std::string>*>(Data);
  std::u16string name;
  for (int i = 0; i < LF_FACESIZE && lf->lfFaceName[i]; ++i) name.push_back(lf->lfFaceName[i]);
  out->push_back(VXUTF16ToUTF8(name));
  return 1;
}
}  // namespace

const std::vector<std::string>& TScreen::Fonts() {
  std::vector<std::string> list;
  LOGFONTW lf;
  lf.lfCharSet = DEFAULT_CHARSET;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, &AddFamily, reinterpret_cast<LPARAM>(&list), 0);
  ReleaseDC(nullptr, dc);
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
  fFonts = std::move(list);
  return fFonts;
}

TMonitor* TScreen::MonitorOf(HMONITOR H) {
  for (auto& m : fMonitors)
    if (m->fHandle == H) return m.get();
  auto m = std::make_unique<TMonitor>();
  m->fHandle = H;
  m->fNum = int(fMonitors.size());
  fMonitors.push_back(std::move(m));
  return fMonitors.back().get();
}

int TScreen::MonitorCount() {
  MonitorOf(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
  return int(fMonitors.size());
}

TMonitor* TScreen::Monitors(int Index) {
  if (Index < 0 || Index >= MonitorCount()) throw EInvalidOperation("List index out of bounds");
  return fMonitors[size_t(Index)].get();
}

TMonitor* TScreen::MonitorFromWindow(HWND Wnd) {
  return MonitorOf(::MonitorFromWindow(Wnd, MONITOR_DEFAULTTOPRIMARY));
}

TMonitor* TScreen::MonitorFromPoint(const TPoint& P) {
  return MonitorOf(::MonitorFromPoint(POINT{P.X, P.Y}, MONITOR_DEFAULTTOPRIMARY));
}

int TScreen::PixelsPerInch() const { return GetDeviceCaps(nullptr, LOGPIXELSY); }

// ---------------------------------------------------------------------------
// Application

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}
TApplication::~TApplication() = default;

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == fMainForm) fMainForm = nullptr;
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    fTerminated = true;
  } else {
    TranslateMessage(&Msg);
    DispatchMessageW(&Msg);
  }
  return true;
}

void TApplication::ProcessMessages() {
  MSG m;
  while (ProcessMessage(m)) {
  }
}

void TApplication::Idle() {
  VXUpdateMouseControl();
  if (OnIdle) OnIdle(this);
}

void TApplication::HandleMessage() {
  MSG m;
  if (ProcessMessage(m)) return;
  Idle();
  if (!fTerminated) WaitMessage();
}

void TApplication::Run() {
  while (!fTerminated) HandleMessage();
}

void TApplication::Terminate() { PostQuitMessage(0); }
