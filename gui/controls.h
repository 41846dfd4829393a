// Controls of the GUI class library: TControl (bounds, visibility, mouse
// and message handling), TWinControl (a window of its own, made on demand,
// with children, focus and keys), TCustomControl (a window control with a
// canvas for Paint) and TGraphicControl (a control drawn on its parent).
//
// Every message reaches a control through WndProc, which hands it to one
// virtual handler per message (WMLButtonDown, CMMouseEnter, ...); a
// handler's base version is the inherited handling and ends in
// DefaultHandler, which for a window control is the platform's
// DefWindowProcW.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/component.h"
#include "gui/graphics.h"
#include "winui/win_input.h"
#include "winui/win_window.h"

// Messages of the class library (between controls, never to the platform).
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0;
constexpr UINT CM_DEACTIVATE = CM_BASE + 1;
constexpr UINT CM_DIALOGKEY = CM_BASE + 5;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 11;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
constexpr UINT CM_CURSORCHANGED = CM_BASE + 15;
constexpr UINT CM_CTL3DCHANGED = CM_BASE + 16;
constexpr UINT CM_PARENTCTL3DCHANGED = CM_BASE + 17;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_ENTER = CM_BASE + 26;
constexpr UINT CM_EXIT = CM_BASE + 27;
// Posted by a form's Release: the form frees itself when it arrives.
constexpr UINT CM_RELEASE = CM_BASE + 33;
// Posted when a modal form's result is set: the form closes once the
// message being handled is done.
constexpr UINT CM_CLOSEMODAL = CM_BASE + 34;
// Asked before a special key (Tab, arrows, Return, Escape) moves the focus
// or goes to the form: a non-zero answer keeps the key for the control.
constexpr UINT CM_WANTSPECIALKEY = CM_BASE + 30;
// Key messages reflected to the control before they are handled: a
// non-zero answer consumes the key.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSKEYUP = CN_BASE + WM_SYSKEYUP;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// Shift state (bit n stands for ordinal n).
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble, ssTouch, ssPen };
using TShiftState = uint16_t;
constexpr TShiftState VXShiftBit(TShiftStateItem i) { return TShiftState(1u << unsigned(i)); }
// The state of mouse-message key flags (MK_...) and the Alt key now.
TShiftState KeysToShiftState(WPARAM Keys);
// The state of the modifier keys for a key message.
TShiftState KeyDataToShiftState(LPARAM KeyData);

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Cursor identifiers: the predefined ones are negative; a program adds its
// own through Screen->SetCursors.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
constexpr TCursor crSize = -22;

// Control style (bit n stands for ordinal n).
enum TControlStyleItem {
  csAcceptsControls,
  csCaptureMouse,
  csDesignInteractive,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents,
  csNeedsBorderPaint,
  csParentBackground,
  csPannable,
  csAlignWithMargins,
  csGestures
};
using TControlStyle = uint32_t;
constexpr TControlStyle VXStyleBit(TControlStyleItem i) { return TControlStyle(1u << unsigned(i)); }

// Stored-only layout, hint, drag and touch settings.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = uint8_t;
constexpr TAnchors VXAnchorBit(TAnchorKind k) { return TAnchors(1u << unsigned(k)); }
enum TDragMode { dmManual, dmAutomatic };
enum TDragKind { dkDrag, dkDock };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
struct TTouchManager {
  uint32_t InteractiveGestures = 0;
  uint32_t InteractiveGestureOptions = 0;
  bool ParentTabletOptions = true;
  uint32_t TabletOptions = 0;
};

// Whether the platform draws three-dimensional control frames itself.
extern bool NewStyleControls;

class TControl;
class TWinControl;

using TMouseEvent = std::function<void(void* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(void* Sender, TShiftState Shift, int X, int Y)>;
using TMouseWheelEvent =
    std::function<void(void* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent = std::function<void(void* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(void* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(void* Sender, char16_t& Key)>;
using TDragDropEvent = std::function<void(void* Sender, void* Source, int X, int Y)>;
using TDragOverEvent =
    std::function<void(void* Sender, void* Source, int X, int Y, TDragState State, bool& Accept)>;
using TEndDragEvent = std::function<void(void* Sender, void* Target, int X, int Y)>;
using TStartDragEvent = std::function<void(void* Sender, void*& DragObject)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner = nullptr);
  ~TControl() override;

  TWinControl* Parent() const { return fParent; }
  virtual void SetParent(TWinControl* AParent);

  int Left() const { return fLeft; }
  int Top() const { return fTop; }
  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  void SetLeft(int v) { SetBounds(v, fTop, fWidth, fHeight); }
  void SetTop(int v) { SetBounds(fLeft, v, fWidth, fHeight); }
  void SetWidth(int v) { SetBounds(fLeft, fTop, v, fHeight); }
  void SetHeight(int v) { SetBounds(fLeft, fTop, fWidth, v); }
  TRect BoundsRect() const { return TRect{fLeft, fTop, fLeft + fWidth, fTop + fHeight}; }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top); }
  // Position in the parent's client area and size; a negative size counts
  // as 0.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  virtual TRect ClientRect();
  int ClientWidth() { return ClientRect().Right; }
  int ClientHeight() { return ClientRect().Bottom; }
  void SetClientSize(int AWidth, int AHeight);
  // The screen position of the client area's origin.
  virtual TPoint ClientOrigin();
  TPoint ClientToScreen(const TPoint& P) { TPoint o = ClientOrigin(); return TPoint{P.X + o.X, P.Y + o.Y}; }
  TPoint ScreenToClient(const TPoint& P) { TPoint o = ClientOrigin(); return TPoint{P.X - o.X, P.Y - o.Y}; }

  bool Visible() const { return fVisible; }
  void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible with every parent (and a top-level parent shown).
  virtual bool Showing() const;
  bool Enabled() const { return fEnabled; }
  virtual void SetEnabled(bool v);
  TCursor Cursor() const { return fCursor; }
  void SetCursor(TCursor v);
  TControlStyle ControlStyle() const { return fControlStyle; }
  void SetControlStyle(TControlStyle v) { fControlStyle = v; }
  bool HasStyle(TControlStyleItem i) const { return (fControlStyle & VXStyleBit(i)) != 0; }
  const std::string& Caption() const { return fText; }
  void SetCaption(const std::string& v) { SetText(v); }
  const std::string& Text() const { return fText; }
  virtual void SetText(const std::string& v);
  TColor Color() const { return fColor; }
  // Sets the colour (the control no longer takes its parent's).
  void SetColor(TColor v);
  // Changing the font makes the control keep its own font.
  TFont* Font() { return fFont.get(); }
  // While set, the control takes its parent's font (the default) or colour,
  // now and whenever the parent's changes.
  bool ParentFont() const { return fParentFont; }
  void SetParentFont(bool v);
  bool ParentColor() const { return fParentColor; }
  void SetParentColor(bool v);
  bool MouseInClient() const { return fMouseInClient; }

  // Stored only.
  TAlign Align() const { return fAlign; }
  void SetAlign(TAlign v) { fAlign = v; }
  TAnchors Anchors() const { return fAnchors; }
  void SetAnchors(TAnchors v) { fAnchors = v; }
  const std::string& Hint() const { return fHint; }
  void SetHint(const std::string& v) { fHint = v; }
  bool ShowHint() const { return fShowHint; }
  void SetShowHint(bool v) { fShowHint = v; fParentShowHint = false; }
  bool ParentShowHint() const { return fParentShowHint; }
  void SetParentShowHint(bool v) { fParentShowHint = v; }
  TComponent* PopupMenu() const { return fPopupMenu; }
  void SetPopupMenu(TComponent* v);
  TDragMode DragMode() const { return fDragMode; }
  void SetDragMode(TDragMode v) { fDragMode = v; }
  TDragKind DragKind() const { return fDragKind; }
  void SetDragKind(TDragKind v) { fDragKind = v; }
  TCursor DragCursor() const { return fDragCursor; }
  void SetDragCursor(TCursor v) { fDragCursor = v; }
  TTouchManager& Touch() { return fTouch; }

  virtual void Invalidate();
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  // Sends a message straight to the control's WndProc.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Mouse messages go to this control (and its window) while set.
  bool MouseCapture() const;
  void SetMouseCapture(bool v);

  // Every message of the control; the base hands it to Dispatch.
  virtual void WndProc(TMessage& Message);
  // What happens to a message that no handler takes (here: answered 0).
  virtual void DefaultHandler(TMessage& Message);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnResize;
  // Stored only.
  TDragDropEvent OnDragDrop;
  TDragOverEvent OnDragOver;
  TEndDragEvent OnEndDrag;
  TStartDragEvent OnStartDrag;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  // Calls the handler of the message (DefaultHandler for others).
  virtual void Dispatch(TMessage& Message);
  virtual void WMLButtonDown(TMessage& Message);
  virtual void WMLButtonUp(TMessage& Message);
  virtual void WMLButtonDblClk(TMessage& Message);
  virtual void WMRButtonDown(TMessage& Message);
  virtual void WMRButtonUp(TMessage& Message);
  virtual void WMRButtonDblClk(TMessage& Message);
  virtual void WMMButtonDown(TMessage& Message);
  virtual void WMMButtonUp(TMessage& Message);
  virtual void WMMButtonDblClk(TMessage& Message);
  virtual void WMMouseMove(TMessage& Message);
  virtual void WMMouseWheel(TMessage& Message);
  virtual void CMMouseEnter(TMessage& Message);
  virtual void CMMouseLeave(TMessage& Message);
  virtual void CMEnabledChanged(TMessage& Message);
  virtual void CMVisibleChanged(TMessage& Message);
  virtual void CMWantSpecialKey(TMessage& Message);
  virtual void CMFontChanged(TMessage& Message);
  virtual void CMColorChanged(TMessage& Message);
  virtual void CMParentFontChanged(TMessage& Message);
  virtual void CMParentColorChanged(TMessage& Message);
  virtual void CMTextChanged(TMessage& Message);

  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void Click();
  virtual void DblClick();
  // OnMouseWheel, then OnMouseWheelDown or OnMouseWheelUp; true when a
  // handler took the wheel.
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual void Resize();
  // The bounds changed (the window control moves its window).
  virtual void BoundsChanged() {}
  // The system palette changed (Foreground: the form is to realise its
  // palette); true when the control realised one. A window control asks
  // its children.
  virtual bool PaletteChanged(bool Foreground);
  void SetBoundsFields(int ALeft, int ATop, int AWidth, int AHeight);

  TControlStyle fControlStyle;
  bool fVisible = true;
  bool fEnabled = true;
  bool fParentFont = true;
  bool fParentColor = false;

 private:
  friend class TWinControl;
  void DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift);
  void DoMouseUp(TMessage& Message, TMouseButton Button);
  // The default handler, the capture (csCaptureMouse) and DoMouseDown; the
  // default handler and DoMouseUp. The right and middle buttons' messages.
  void ButtonPressed(TMessage& Message, TMouseButton Button, TShiftState Shift);
  void ButtonReleased(TMessage& Message, TMouseButton Button);
  TWinControl* fParent = nullptr;
  int fLeft = 0, fTop = 0, fWidth = 0, fHeight = 0;
  TCursor fCursor = crDefault;
  std::string fText;
  TColor fColor = clBtnFace;
  std::unique_ptr<TFont> fFont;
  bool fMouseInClient = false;
  bool fClicked = false;
  bool fSyncingFont = false;
  TAlign fAlign = alNone;
  TAnchors fAnchors = VXAnchorBit(akLeft) | VXAnchorBit(akTop);
  std::string fHint;
  bool fShowHint = false, fParentShowHint = true;
  TComponent* fPopupMenu = nullptr;
  TDragMode fDragMode = dmManual;
  TDragKind fDragKind = dkDrag;
  TCursor fDragCursor = crDrag;
  TTouchManager fTouch;
};

// How a window control's window is made.
struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  void* Param = nullptr;
  // The class style (CS_...) of the window class.
  UINT ClassStyle = 0;
  // The window class's name; controls with different class styles get
  // classes of their own.
  std::string WinClassName;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner = nullptr);
  // Frees the child controls, then the window.
  ~TWinControl() override;

  // The window, made (with the parent's) when first asked for.
  HWND Handle();
  bool HandleAllocated() const { return fHandle != nullptr; }
  void HandleNeeded();
  // Makes the window anew from CreateParams, keeping bounds and children.
  void RecreateWnd();
  // The platform window that parents a control without Parent.
  HWND ParentWindow() const { return fParentWindow; }
  void SetParentWindow(HWND v);
  // The control of a window made by this library (null for others).
  static TWinControl* FindControl(HWND Wnd);

  int ControlCount() const { return int(fControls.size()); }
  TControl* Controls(int Index) const { return fControls.at(size_t(Index)); }
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  // The child under a client point (last inserted first).
  TControl* ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls = false);

  bool PaletteChanged(bool Foreground) override;
  // Showing and enabled along the whole parent chain.
  virtual bool CanFocus();
  // Raises EInvalidOperation "Cannot focus a disabled or invisible window"
  // when the control cannot take the focus.
  virtual void SetFocus();
  bool Focused() const;
  bool TabStop() const { return fTabStop; }
  void SetTabStop(bool v) { fTabStop = v; }
  bool Ctl3D() const { return fCtl3D; }
  void SetCtl3D(bool v);
  bool ParentCtl3D() const { return fParentCtl3D; }
  void SetParentCtl3D(bool v);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  TRect ClientRect() override;
  TPoint ClientOrigin() override;
  bool Showing() const override;
  void SetEnabled(bool v) override;
  void SetText(const std::string& v) override;
  void Invalidate() override;
  void Update() override;
  void Repaint() override;

  void WndProc(TMessage& Message) override;
  // The platform's handling (DefWindowProcW) for window messages.
  void DefaultHandler(TMessage& Message) override;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

 protected:
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  // Makes the window and those of the child controls.
  virtual void CreateHandle();
  virtual void DestroyHandle();
  // Draws the client area on a paint DC (here: nothing).
  virtual void PaintWindow(HDC DC);
  // Paints the graphic (windowless) children onto DC.
  void PaintControls(HDC DC);

  void Dispatch(TMessage& Message) override;
  virtual void WMPaint(TMessage& Message);
  virtual void WMEraseBkgnd(TMessage& Message);
  virtual void WMNCPaint(TMessage& Message);
  virtual void WMSize(TMessage& Message);
  virtual void WMMove(TMessage& Message);
  virtual void WMWindowPosChanged(TMessage& Message);
  virtual void WMSetFocus(TMessage& Message);
  virtual void WMKillFocus(TMessage& Message);
  virtual void WMSetCursor(TMessage& Message);
  virtual void WMKeyDown(TMessage& Message);
  virtual void WMKeyUp(TMessage& Message);
  virtual void WMChar(TMessage& Message);
  virtual void WMSysKeyDown(TMessage& Message);
  virtual void WMTimer(TMessage& Message);
  virtual void WMHScroll(TMessage& Message);
  virtual void WMVScroll(TMessage& Message);
  virtual void WMGesture(TMessage& Message);
  virtual void WMGestureNotify(TMessage& Message);
  virtual void WMCaptureChanged(TMessage& Message);
  virtual void WMDestroy(TMessage& Message);
  virtual void WMNCDestroy(TMessage& Message);
  virtual void CNKeyDown(TMessage& Message);
  virtual void CNKeyUp(TMessage& Message);
  virtual void CNChar(TMessage& Message);
  virtual void CMEnter(TMessage& Message);
  virtual void CMExit(TMessage& Message);
  virtual void CMCtl3DChanged(TMessage& Message);
  virtual void CMParentCtl3DChanged(TMessage& Message);
  void CMFontChanged(TMessage& Message) override;
  void CMColorChanged(TMessage& Message) override;

  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyUp(WORD& Key, TShiftState Shift);
  virtual void KeyPress(char16_t& Key);
  virtual void DoEnter();
  virtual void DoExit();
  void BoundsChanged() override;

 private:
  friend class TControl;
  static LRESULT CALLBACK StdWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  void UpdateBounds();
  bool IsControlMouseMsg(TMessage& Message);
  bool DoKeyDown(TMessage& Message);
  HWND fHandle = nullptr;
  HWND fParentWindow = nullptr;
  std::vector<TControl*> fControls;
  bool fTabStop = false;
  bool fCtl3D = true;
  bool fParentCtl3D = true;
  bool fReflecting = false;
  bool fSettingBounds = false;
};

// A canvas on a control's window: its own DC (GetDC) when drawn on outside
// painting, the paint DC during Paint.
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl* Control) : fControl(Control) {}
  ~TControlCanvas() override;
  TControl* Control() const { return fControl; }
  // Gives back the own DC.
  void FreeHandle();

 protected:
  void CreateHandle() override;

 private:
  TControl* fControl;
  HWND fDCWindow = nullptr;
  HDC fDC = nullptr;
};

// A window control that paints itself through Canvas in Paint.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner = nullptr);
  ~TCustomControl() override;
  TCanvas* Canvas() { return fCanvas.get(); }

 protected:
  // Draws the control; the canvas is bound to the paint DC meanwhile.
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;
  void WMNCDestroy(TMessage& Message) override;

 private:
  std::unique_ptr<TControlCanvas> fCanvas;
};

// A control without a window, drawn by its parent on the parent's window.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner = nullptr);
  ~TGraphicControl() override;
  TCanvas* Canvas() { return fCanvas.get(); }

 protected:
  virtual void Paint() {}
  void Dispatch(TMessage& Message) override;

 private:
  std::unique_ptr<TControlCanvas> fCanvas;
};
