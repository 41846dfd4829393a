// Forms, the screen and the application.
#include "gui/forms.h"

#include <algorithm>

#include "gui/formdriver.h"
#include "gui/stdctrls.h"
#include "platform/utf.h"
#include "winui/display.h"
#include "winui/win_msgbox.h"
#include "winui/gdi_font.h"
#include "winui/win_paint.h"
#include "winui/synchronize.h"

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
  fParentFont = false;
  SetBoundsFields(0, 0, 320, 240);
  if (Screen) Screen->fForms.push_back(this);
}

TCustomForm::~TCustomForm() {
  DoDestroy();
  if (Screen) {
    auto& f = Screen->fForms;
    f.erase(std::remove(f.begin(), f.end(), this), f.end());
    if (Screen->fActiveForm == this) Screen->fActiveForm = nullptr;
  }
}

void TCustomForm::DoDestroy() {
  if (fDestroyDone) return;
  fDestroyDone = true;
  if (OnDestroy) OnDestroy(this);
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  if (!Parent()) {
    Params.Style = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    Params.Style |= fBorderStyle == 0 /* bsNone */ ? WS_POPUP : (WS_OVERLAPPED | WS_CAPTION);
    if (!Enabled()) Params.Style |= WS_DISABLED;
    Params.WndParent = ParentWindow();
  }
  Params.WinClassName = "VXForm";
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == fBorderStyle) return;
  // The client area keeps its size.
  const int cw = ClientWidth(), ch = ClientHeight();
  fBorderStyle = v;
  if (HandleAllocated()) {
    RecreateWnd();
    SetClientSize(cw, ch);
  }
}

void TCustomForm::ApplyConstraints(int& W, int& H) const {
  if (fConstraints.MaxWidth > 0) W = std::min(W, fConstraints.MaxWidth);
  if (fConstraints.MaxHeight > 0) H = std::min(H, fConstraints.MaxHeight);
  W = std::max(W, fConstraints.MinWidth);
  H = std::max(H, fConstraints.MinHeight);
}

void TCustomForm::SetConstraints(const TSizeConstraints& v) {
  fConstraints = v;
  SetBounds(Left(), Top(), Width(), Height());
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  ApplyConstraints(AWidth, AHeight);
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TCustomForm::SetEnabled(bool v) { TWinControl::SetEnabled(v); }

TRect TCustomForm::ClientRect() {
  if (HandleAllocated() || Parent()) return TWinControl::ClientRect();
  // The frame the window layer gives these styles: a border and a caption.
  TCreateParams p;
  CreateParams(p);
  int bx = 0, by = 0, top = 0;
  if (p.Style & WS_BORDER) {
    bx = GetSystemMetrics(SM_CXBORDER);
    by = GetSystemMetrics(SM_CYBORDER);
  }
  if ((p.Style & WS_CAPTION) == WS_CAPTION) top = GetSystemMetrics(SM_CYCAPTION);
  return TRect{0, 0, std::max(0, Width() - 2 * bx), std::max(0, Height() - 2 * by - top)};
}

namespace {
void ScaleControls(TWinControl* Parent, int M, int D) {
  for (int i = 0; i < Parent->ControlCount(); ++i) {
    TControl* c = Parent->Controls(i);
    c->SetBounds(MulDiv(c->Left(), M, D), MulDiv(c->Top(), M, D), MulDiv(c->Width(), M, D),
                 MulDiv(c->Height(), M, D));
    if (!c->ParentFont()) c->Font()->SetHeight(MulDiv(c->Font()->Height(), M, D));
    if (auto* w = dynamic_cast<TWinControl*>(c)) ScaleControls(w, M, D);
  }
}
}  // namespace

void TCustomForm::ScaleBy(int M, int D) {
  if (M <= 0 || D <= 0 || M == D) return;
  const int cw = ClientWidth(), ch = ClientHeight();
  fConstraints.MinWidth = MulDiv(fConstraints.MinWidth, M, D);
  fConstraints.MinHeight = MulDiv(fConstraints.MinHeight, M, D);
  fConstraints.MaxWidth = MulDiv(fConstraints.MaxWidth, M, D);
  fConstraints.MaxHeight = MulDiv(fConstraints.MaxHeight, M, D);
  ScaleControls(this, M, D);
  Font()->SetHeight(MulDiv(Font()->Height(), M, D));
  SetClientSize(MulDiv(cw, M, D), MulDiv(ch, M, D));
}

void TCustomForm::ScaleToScreen() {
  if (fScaledDone) return;
  fScaledDone = true;
  if (!fScaled || !Screen) return;
  const int ppi = Screen->PixelsPerInch();
  if (ppi != fPixelsPerInch) {
    ScaleBy(ppi, fPixelsPerInch);
    fPixelsPerInch = ppi;
  }
}

void TCustomForm::PlaceOnScreen() {
  fPlaced = true;
  TRect area{0, 0, Screen ? Screen->Width() : 0, Screen ? Screen->Height() : 0};
  TCustomForm* over = nullptr;
  switch (fPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      break;
    case poMainFormCenter:
      over = Application ? Application->MainForm() : nullptr;
      break;
    case poOwnerFormCenter:
      over = dynamic_cast<TCustomForm*>(Owner());
      break;
    default:
      return;
  }
  if (over == this) over = nullptr;
  if (over) area = over->BoundsRect();
  SetBounds(area.Left + ((area.Right - area.Left) - Width()) / 2, area.Top + ((area.Bottom - area.Top) - Height()) / 2,
            Width(), Height());
}

void TCustomForm::Show() {
  if (!fScaledDone) ScaleToScreen();
  if (!fPlaced) PlaceOnScreen();
  SetVisible(true);
  HandleNeeded();
  SetActiveWindow(Handle());
  if (Screen) Screen->fActiveForm = this;
  // The focus goes to the active control, else to the first control that
  // takes it.
  if (fActiveControl && fActiveControl != this && fActiveControl->CanFocus())
    fActiveControl->SetFocus();
  else if (!fActiveControl || fActiveControl == this)
    SelectNext(nullptr, true);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::Close() {
  if (fModal) {
    SetModalResult(mrCancel);
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) Application->Terminate();
  if (action == caFree)
    Release();
  else
    Hide();
}

void TCustomForm::Release() {
  if (HandleAllocated()) PostMessageW(Handle(), CM_RELEASE, 0, 0);
}

void TCustomForm::CMRelease(TMessage& Message) {
  Message.Result = 0;
  DoDestroy();
  delete this;
}

void TCustomForm::SetModalResult(TModalResult Value) {
  fModalResult = Value;
  if (fModal && !fModalDone && Value != mrNone && !fCloseModalPosted && HandleAllocated()) {
    fCloseModalPosted = true;
    PostMessageW(Handle(), CM_CLOSEMODAL, 0, 0);
  }
}

void TCustomForm::CMCloseModal(TMessage& Message) {
  Message.Result = 0;
  fCloseModalPosted = false;
  if (!fModal || fModalDone || fModalResult == mrNone) return;
  CloseModal();
}

void TCustomForm::CloseModal() {
  if (!CloseQuery()) {
    fModalResult = mrNone;
    return;
  }
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) {
    fModalResult = mrNone;
    return;
  }
  fModalDone = true;
  Hide();
  if (action == caFree) Release();
}

TModalResult TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || fModal) throw EInvalidOperation("Cannot make a visible window modal");
  if (GetCapture()) ReleaseCapture();
  const HWND activeWnd = GetActiveWindow();
  const HWND focusWnd = GetFocus();
  fModal = true;
  fModalDone = false;
  fCloseModalPosted = false;
  fModalResult = mrNone;
  // Every other form that takes input waits meanwhile.
  std::vector<HWND> disabled;
  if (Screen)
    for (TCustomForm* f : Screen->fForms)
      if (f != this && f->HandleAllocated() && IsWindowVisible(f->Handle()) && IsWindowEnabled(f->Handle())) {
        EnableWindow(f->Handle(), FALSE);
        disabled.push_back(f->Handle());
      }
  auto restore = [&]() {
    fModal = false;
    if (Visible()) Hide();
    for (HWND h : disabled)
      if (IsWindow(h)) EnableWindow(h, TRUE);
    if (activeWnd && activeWnd != (HandleAllocated() ? Handle() : nullptr) && IsWindow(activeWnd)) {
      SetActiveWindow(activeWnd);
      if (focusWnd && IsWindow(focusWnd) && IsWindowVisible(focusWnd) && IsWindowEnabled(focusWnd))
        ::SetFocus(focusWnd);
    }
  };
  try {
    Show();
    if (!VXCurrentDisplay()) {
      VXFormDriver::RunModal(this);
    } else {
      // A person answers on the display.
      while (!fModalDone) {
        try {
          Application->HandleMessage();
        } catch (...) {
          Application->HandleException(this);
        }
        if (Application->Terminated() && !fModalDone) {
          fModalResult = mrCancel;
          fModalDone = true;
        }
      }
    }
  } catch (...) {
    restore();
    throw;
  }
  restore();
  return fModalResult;
}

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::WMExitSizeMove(TMessage& Message) { DefaultHandler(Message); }

void TCustomForm::WMSysCommand(TMessage& Message) {
  // Without the system menu there is no close box.
  if ((Message.WParam & 0xFFF0) == SC_CLOSE && !(fBorderIcons & VXBorderIconBit(biSystemMenu))) {
    Message.Result = 0;
    return;
  }
  DefaultHandler(Message);
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
    case WM_EXITSIZEMOVE:
      return WMExitSizeMove(Message);
    case WM_SYSCOMMAND:
      return WMSysCommand(Message);
    case CM_RELEASE:
      return CMRelease(Message);
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
      return WMPalette(Message);
    case CM_CLOSEMODAL:
      return CMCloseModal(Message);
    default:
      return TWinControl::Dispatch(Message);
  }
}

void TCustomForm::WMPalette(TMessage& Message) {
  if (Message.Msg == WM_QUERYNEWPALETTE) {
    Message.Result = PaletteChanged(true) ? 1 : 0;
    return;
  }
  // The window that realised its palette does not answer its own change.
  if (HandleAllocated() && reinterpret_cast<HWND>(Message.WParam) == Handle()) return;
  PaletteChanged(false);
  Message.Result = 0;
}

void TCustomForm::WMActivate(TMessage& Message) {
  DefaultHandler(Message);
  if (LOWORD(Message.WParam) != 0) {
    if (Screen) Screen->fActiveForm = this;
    Activate();
  } else {
    Deactivate();
  }
}

void TCustomForm::WMClose(TMessage& Message) {
  Close();
  Message.Result = 0;
}

void TCustomForm::CMDialogKey(TMessage& Message) {
  WORD key = WORD(Message.WParam);
  Message.Result = 0;
  if ((key == VK_RETURN || key == VK_ESCAPE) && KeyDataToShiftState(Message.LParam) == 0) {
    // Enter presses the focused button, else the default one; Escape the
    // cancel button.
    if (TButton* b = VXDialogKeyButton(this, key)) {
      b->Click();
      Message.Result = 1;
    }
    return;
  }
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
TApplication::~TApplication() {
  if (fHandle && IsWindow(fHandle)) DestroyWindow(fHandle);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == fMainForm) fMainForm = nullptr;
}

bool TApplication::ProcessMessage(MSG& Msg) {
  // The calls other threads wait for come before the next message.
  VXCheckSynchronize();
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

LRESULT CALLBACK TApplication::AppWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Application && Application->fHandle == Wnd) {
    TMessage m{Msg, WParam, LParam, 0};
    // A copy: a hook may unhook itself.
    auto hooks = Application->fHooks;
    for (auto& [key, hook] : hooks)
      if (hook && hook(m)) return m.Result;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

HWND TApplication::Handle() {
  if (fHandle && IsWindow(fHandle)) return fHandle;
  WNDCLASSEXW info;
  if (!GetClassInfoExW(nullptr, "VXApplication", &info)) {
    WNDCLASSEXW wc;
    wc.lpfnWndProc = &TApplication::AppWndProc;
    wc.lpszClassName = "VXApplication";
    if (!RegisterClassExW(&wc)) throw EOutOfResources("Error creating window class");
  }
  fHandle = CreateWindowExW(0, "VXApplication", fTitle.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                            nullptr);
  if (!fHandle) throw EOutOfResources("Error creating window");
  return fHandle;
}

int TApplication::HookMainWindow(TWindowHook Hook) {
  const int key = fNextHook++;
  fHooks.emplace_back(key, std::move(Hook));
  return key;
}

void TApplication::UnhookMainWindow(int Key) {
  fHooks.erase(std::remove_if(fHooks.begin(), fHooks.end(), [Key](const auto& h) { return h.first == Key; }),
               fHooks.end());
}

void TApplication::ShowException(const std::exception& E) {
  std::string msg = E.what();
  // Messages end with a full stop, as the user reads them.
  if (!msg.empty() && msg.back() != '.') msg += '.';
  MessageBoxW(nullptr, msg.c_str(), fTitle.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(void* Sender) {
  std::exception_ptr ep = std::current_exception();
  if (!ep) return;
  try {
    std::rethrow_exception(ep);
  } catch (const std::exception& e) {
    if (OnException)
      OnException(Sender, e);
    else
      ShowException(e);
  } catch (...) {
    const std::runtime_error e("Unknown exception");
    if (OnException)
      OnException(Sender, e);
    else
      ShowException(e);
  }
}

bool TApplication::HelpContext(THelpContext Context) {
  bool callHelp = true;
  bool result = false;
  if (OnHelp) result = OnHelp(1 /* HELP_CONTEXT */, Context, callHelp);
  // There is no help viewer behind a help file: nothing more shows.
  return result;
}

void TApplication::SetHint(const std::string& v) {
  if (v == fHint) return;
  fHint = v;
  if (OnHint) OnHint(this);
}

void TApplication::HintMouseMessage(TControl* Control) {
  if (Control == fHintControl) return;
  fHintControl = Control;
  bool show = false;
  std::string hint;
  if (Control) {
    hint = Control->Hint();
    // ShowHint comes from the first control up the chain that has its own.
    TControl* c = Control;
    while (c && c->ParentShowHint() && c->Parent()) c = c->Parent();
    show = c && c->ShowHint();
  }
  fHintShowing = show && !hint.empty();
  SetHint(hint);
}

void TApplication::CancelHint() { fHintShowing = false; }
