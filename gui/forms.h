// Forms, the screen and the application: top-level windows, the screen's
// cursors, fonts and monitors, and the message loop.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/controls.h"
#include "winui/win_metrics.h"

class TMonitor;

// A top-level window control.
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner = nullptr);
  ~TCustomForm() override;

  // Shows the form and makes it the active window.
  void Show();
  void Hide() { SetVisible(false); }
  // Hides the form; closing the main form ends the application's loop.
  void Close();
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

 private:
  friend class TWinControl;
  // A control of the form received the focus.
  void FocusChanged(TWinControl* Control);
  TWinControl* fActiveControl = nullptr;
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

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner = nullptr);
  ~TApplication() override;

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
  TCustomForm* fMainForm = nullptr;
  bool fTerminated = false;
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
