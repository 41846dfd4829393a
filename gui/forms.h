// Forms, the screen and the application: top-level windows, the screen's
// cursors, fonts and monitors, and the message loop.
#pragma once
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/controls.h"
#include "winui/win_metrics.h"

class TMonitor;

// The result of a modal form.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;
constexpr TModalResult mrClose = 11;

// Border styles of forms: 0 none (bsNone) and 1 single (bsSingle), the
// values of the controls' TBorderStyle, then the form's own.
using TFormBorderStyle = uint8_t;
constexpr TFormBorderStyle bsSizeable = 2, bsDialog = 3, bsToolWindow = 4, bsSizeToolWin = 5;
// Border icons (bit n stands for ordinal n).
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = uint8_t;
constexpr TBorderIcons VXBorderIconBit(TBorderIcon i) { return TBorderIcons(1u << unsigned(i)); }
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
// What closing does with a form that is not modal.
enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(void* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(void* Sender, bool& CanClose)>;

// Size limits of a form (0: none).
struct TSizeConstraints {
  int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
};

// A top-level window control. Modal forms: ShowModal shows the form with
// every other form disabled and returns its modal result once a handler
// sets one (SetModalResult, or a button's ModalResult). Headless, the form
// is run by the handler the forms driver (formdriver.h) queued for it.
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner = nullptr);
  ~TCustomForm() override;

  // Shows the form and makes it the active window. The first showing scales
  // the form (ScaleToScreen).
  void Show();
  void Hide() { SetVisible(false); }
  // A modal form: sets the result mrCancel. Otherwise asks OnCloseQuery,
  // then does what OnClose leaves in its action (caHide: hides; caFree:
  // Release; caNone: nothing); closing the main form ends the
  // application's loop.
  void Close();
  // Shows the form modally and answers its modal result. Raises
  // EInvalidOperation "Cannot make a visible window modal" for a visible or
  // disabled form; headless, raises EInvalidOperation naming the form when
  // no handler was queued for it or its handler left it open.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return fModalResult; }
  // Closes a modal form once the message being handled is done (the close
  // asks OnCloseQuery and runs OnClose); 0 keeps it open.
  void SetModalResult(TModalResult Value);
  bool Modal() const { return fModal; }
  // Shown modally and not yet closed.
  bool ModalRunning() const { return fModal && !fModalDone; }
  // Frees the form once the messages already waiting are handled.
  void Release();
  // Whether OnCloseQuery lets the form close.
  virtual bool CloseQuery();

  TFormBorderStyle BorderStyle() const { return fBorderStyle; }
  void SetBorderStyle(TFormBorderStyle v);
  TBorderIcons BorderIcons() const { return fBorderIcons; }
  void SetBorderIcons(TBorderIcons v) { fBorderIcons = v; }
  TPosition Position() const { return fPosition; }
  void SetPosition(TPosition v) { fPosition = v; }
  TSizeConstraints& Constraints() { return fConstraints; }
  void SetConstraints(const TSizeConstraints& v);
  // The form sees its controls' keys before they do.
  bool KeyPreview() const { return fKeyPreview; }
  void SetKeyPreview(bool v) { fKeyPreview = v; }
  // The pixels per inch the form was built for (96); when Scaled and it
  // differs from the screen's, ScaleToScreen scales the form.
  int PixelsPerInch() const { return fPixelsPerInch; }
  void SetPixelsPerInch(int v) { fPixelsPerInch = v > 0 ? v : 96; }
  bool Scaled() const { return fScaled; }
  void SetScaled(bool v) { fScaled = v; }
  // Scales the form once by Screen->PixelsPerInch() / PixelsPerInch():
  // client size, the bounds of every control and the fonts; then the form
  // counts as made for the screen. Show does it when it was not done.
  void ScaleToScreen();
  // Scales the client size, every control's bounds and every font by M / D.
  void ScaleBy(int M, int D);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetEnabled(bool v) override;
  // Before the window exists, the client area its frame will leave.
  TRect ClientRect() override;

  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  // Runs once before the form is freed (by its owner, Release, or a derived
  // destructor calling DoDestroy; else by this destructor).
  TNotifyEvent OnDestroy;
  void BeforeDestruction() override { DoDestroy(); }
  void DoDestroy();
  // The control that has (or last had) the focus within the form.
  TWinControl* ActiveControl() const { return fActiveControl; }
  // Focuses Control when the form is shown (raises EInvalidOperation when it
  // cannot take the focus).
  void SetActiveControl(TWinControl* Control);
  // Moves the focus to the next (or previous) focusable control after
  // CurControl, in the order of the control tree; false when there is none.
  bool SelectNext(TWinControl* CurControl, bool GoForward);
  // The monitor that holds most of the form.
  TMonitor* Monitor();

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void Dispatch(TMessage& Message) override;
  virtual void WMActivate(TMessage& Message);
  virtual void WMClose(TMessage& Message);
  virtual void CMDialogKey(TMessage& Message);
  void CMVisibleChanged(TMessage& Message) override;
  // A move or resize by the user ended (the default does nothing more).
  virtual void WMExitSizeMove(TMessage& Message);
  virtual void WMSysCommand(TMessage& Message);
  // WM_QUERYNEWPALETTE and WM_PALETTECHANGED (from another window): the
  // controls hear of it through PaletteChanged.
  virtual void WMPalette(TMessage& Message);
  virtual void CMRelease(TMessage& Message);
  virtual void CMCloseModal(TMessage& Message);
  virtual void DoClose(TCloseAction& Action);
  virtual void Activate();
  virtual void Deactivate();

 private:
  friend class TWinControl;
  friend class TApplication;
  // A control of the form received the focus.
  void FocusChanged(TWinControl* Control);
  // Ends a modal run: hides the form when closing is allowed.
  void CloseModal();
  void PlaceOnScreen();
  void ApplyConstraints(int& W, int& H) const;
  TWinControl* fActiveControl = nullptr;
  TModalResult fModalResult = mrNone;
  bool fModal = false;
  bool fModalDone = false;
  bool fCloseModalPosted = false;
  bool fScaledDone = false;
  bool fScaled = true;
  bool fKeyPreview = false;
  bool fDestroyDone = false;
  bool fPlaced = false;
  int fPixelsPerInch = 96;
  TFormBorderStyle fBorderStyle = bsSizeable;
  TBorderIcons fBorderIcons = VXBorderIconBit(biSystemMenu) | VXBorderIconBit(biMinimize) | VXBorderIconBit(biMaximize);
  TPosition fPosition = poDesigned;
  TSizeConstraints fConstraints;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// The form that holds Control (the top-most parent when it is a form);
// null when there is none.
TCustomForm* GetParentForm(TControl* Control, bool TopForm = true);

class TMonitor {
 public:
  HMONITOR Handle() const { return fHandle; }
  int MonitorNum() const { return fNum; }
  TRect BoundsRect() const;
  TRect WorkareaRect() const;
  int Left() const { return BoundsRect().Left; }
  int Top() const { return BoundsRect().Top; }
  int Width() const { return BoundsRect().Right - BoundsRect().Left; }
  int Height() const { return BoundsRect().Bottom - BoundsRect().Top; }
  bool Primary() const;

 private:
  friend class TScreen;
  HMONITOR fHandle = nullptr;
  int fNum = 0;
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner = nullptr);
  ~TScreen() override;

  // The cursor of an identifier: the predefined ones (negative), those a
  // program set, and the default arrow for any other.
  HCURSOR Cursors(TCursor Index);
  // Sets (null: removes) the cursor of an identifier.
  void SetCursors(TCursor Index, HCURSOR Handle);
  // While not crDefault, this cursor is shown over every control.
  TCursor Cursor() const { return fCursor; }
  void SetCursor(TCursor Value);

  TCustomForm* ActiveForm() const { return fActiveForm; }
  int FormCount() const { return int(fForms.size()); }
  TCustomForm* Forms(int Index) const { return fForms.at(size_t(Index)); }

  // The font families of the system, sorted (EnumFontFamiliesExW).
  const std::vector<std::string>& Fonts();

  int MonitorCount();
  TMonitor* Monitors(int Index);
  TMonitor* MonitorFromWindow(HWND Wnd);
  TMonitor* MonitorFromPoint(const TPoint& P);
  int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
  int PixelsPerInch() const;

 private:
  friend class TCustomForm;
  TMonitor* MonitorOf(HMONITOR H);
  TCursor fCursor = crDefault;
  std::map<int, HCURSOR> fCursors;
  TCustomForm* fActiveForm = nullptr;
  std::vector<TCustomForm*> fForms;
  std::vector<std::string> fFonts;
  std::vector<std::unique_ptr<TMonitor>> fMonitors;
};

// A hook of the application window: true when it handled the message.
using TWindowHook = std::function<bool(TMessage& Message)>;
using TExceptionEvent = std::function<void(void* Sender, const std::exception& E)>;
using THelpContext = int;
// The help event: Command and Data as for the help system; CallHelp false
// stops the help system being asked. Answers whether help was given.
using THelpEvent = std::function<bool(uint16_t Command, intptr_t Data, bool& CallHelp)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner = nullptr);
  ~TApplication() override;

  // The hidden application window (made on demand): messages sent to it
  // pass the hooks first.
  HWND Handle();
  // Adds a hook of the application window; answers its key for
  // UnhookMainWindow.
  int HookMainWindow(TWindowHook Hook);
  void UnhookMainWindow(int Key);
  // Inside a catch block: hands the exception being handled to OnException,
  // or without one shows its message in a message box (ShowException).
  void HandleException(void* Sender);
  void ShowException(const std::exception& E);
  TExceptionEvent OnException;
  const std::string& Title() const { return fTitle; }
  void SetTitle(const std::string& v) { fTitle = v; }
  // Help by context number: OnHelp decides; without a help file nothing
  // shows and the answer is false.
  bool HelpContext(THelpContext Context);
  const std::string& HelpFile() const { return fHelpFile; }
  void SetHelpFile(const std::string& v) { fHelpFile = v; }
  THelpEvent OnHelp;
  // The hint of the control under the mouse; CancelHint hides it until the
  // mouse reaches another control.
  const std::string& Hint() const { return fHint; }
  void SetHint(const std::string& v);
  bool HintShowing() const { return fHintShowing; }
  void CancelHint();
  // The mouse entered Control (the hint follows it).
  void HintMouseMessage(TControl* Control);
  TNotifyEvent OnHint;

  // The first form made by CreateForm.
  TCustomForm* MainForm() const { return fMainForm; }
  // A form owned by the application; the first one becomes the main form.
  template <class T>
  T* CreateForm() {
    T* f = new T(this);
    if (!fMainForm) fMainForm = f;
    return f;
  }
  // Handles every message waiting in the queue, then returns.
  void ProcessMessages();
  // Handles one message; without one, does the idle work and waits for
  // the next message.
  void HandleMessage();
  // Handles messages until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return fTerminated; }

  TNotifyEvent OnIdle;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  bool ProcessMessage(MSG& Msg);
  void Idle();
  static LRESULT CALLBACK AppWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  TCustomForm* fMainForm = nullptr;
  bool fTerminated = false;
  HWND fHandle = nullptr;
  std::vector<std::pair<int, TWindowHook>> fHooks;
  int fNextHook = 1;
  std::string fTitle;
  std::string fHelpFile;
  std::string fHint;
  bool fHintShowing = false;
  TControl* fHintControl = nullptr;
};

// The screen and the application of the program, made at start-up and
// kept for the life of the process.
extern TScreen* Screen;
extern TApplication* Application;

// The control under a screen point (a window control or one of its
// graphic children); null for none.
TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled);
// Sends CM_MOUSELEAVE and CM_MOUSEENTER when the control under the cursor
// changed since the last call.
void VXUpdateMouseControl();
