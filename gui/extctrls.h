// Timers and the image control.
#pragma once
#include <functional>
#include <memory>

#include "gui/controls.h"
#include "gui/graphics.h"
#include "gui/stdctrls.h"  // TAlignment

// A timer on a hidden window of its own: OnTimer fires every Interval
// milliseconds while Enabled. An interval of 0 never fires; enabling again
// starts a whole interval anew.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner = nullptr);
  ~TTimer() override;
  bool Enabled() const { return fEnabled; }
  void SetEnabled(bool v);
  uint32_t Interval() const { return fInterval; }
  void SetInterval(uint32_t v);
  TNotifyEvent OnTimer;

 protected:
  // Fires OnTimer.
  virtual void Timer();

 private:
  static LRESULT CALLBACK TimerWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  void MakeWindow();
  void UpdateTimer();
  HWND fWindow = nullptr;
  bool fEnabled = true;
  uint32_t fInterval = 1000;
};

// Shows a picture: at its size from the top-left corner, centred, or
// stretched over the control.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner = nullptr);
  ~TImage() override;
  TPicture* Picture() { return fPicture.get(); }
  void SetPicture(TPicture* Value) { fPicture->Assign(Value); }
  bool Stretch() const { return fStretch; }
  void SetStretch(bool v);
  bool Center() const { return fCenter; }
  void SetCenter(bool v);
  // The canvas of the picture's bitmap (made the control's size when the
  // picture is empty).
  TCanvas* Canvas();

 protected:
  void Paint() override;

 private:
  TRect DestRect();
  std::unique_ptr<TPicture> fPicture;
  bool fStretch = false;
  bool fCenter = false;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// A container with bevels and a centred caption.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner = nullptr);
  TBevelCut BevelOuter() const { return fBevelOuter; }
  void SetBevelOuter(TBevelCut v);
  TBevelCut BevelInner() const { return fBevelInner; }
  void SetBevelInner(TBevelCut v);
  int BevelWidth() const { return fBevelWidth; }
  void SetBevelWidth(int v);
  int BorderWidth() const { return fBorderWidth; }
  void SetBorderWidth(int v);
  TAlignment Alignment() const { return fAlignment; }
  void SetAlignment(TAlignment v);
  // Stored only.
  bool ParentBackground() const { return fParentBackground; }
  void SetParentBackground(bool v) { fParentBackground = v; }
  bool FullRepaint() const { return fFullRepaint; }
  void SetFullRepaint(bool v) { fFullRepaint = v; }

 protected:
  void Paint() override;

 private:
  TBevelCut fBevelOuter = bvRaised;
  TBevelCut fBevelInner = bvNone;
  int fBevelWidth = 1;
  int fBorderWidth = 0;
  TAlignment fAlignment = taCenter;
  bool fParentBackground = true;
  bool fFullRepaint = true;
};

enum TResizeStyle { rsNone, rsLine, rsUpdate, rsPattern };
using TCanResizeEvent = std::function<void(void* Sender, int& NewSize, bool& Accept)>;

// A bar between two controls that a person drags to share the space. Its
// Align (alLeft, alRight, alTop, alBottom) says which neighbour it sizes:
// the control touching its left (right, top, bottom) edge, whose size
// stays at least MinSize; the control touching the other edge takes what is
// left, also at least MinSize. OnMoved fires when the drag ends.
class TSplitter : public TGraphicControl {
 public:
  explicit TSplitter(TComponent* AOwner = nullptr);
  int MinSize() const { return fMinSize; }
  void SetMinSize(int v) { fMinSize = v < 1 ? 1 : v; }
  // Stored only (the controls follow the drag at once).
  TResizeStyle ResizeStyle() const { return fResizeStyle; }
  void SetResizeStyle(TResizeStyle v) { fResizeStyle = v; }
  bool Beveled() const { return fBeveled; }
  void SetBeveled(bool v);
  // The control the splitter sizes (null when none touches it).
  TControl* FindControl();
  TNotifyEvent OnMoved;
  TCanResizeEvent OnCanResize;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  TControl* Neighbour(bool Before);
  void MoveBy(int Delta);
  bool Vertical() const;
  int fMinSize = 30;
  TResizeStyle fResizeStyle = rsPattern;
  bool fBeveled = false;
  bool fDragging = false;
  int fDownAt = 0;
  TControl* fBefore = nullptr;
  TControl* fAfter = nullptr;
  TRect fStartBefore{0, 0, 0, 0}, fStartAfter{0, 0, 0, 0}, fStartSelf{0, 0, 0, 0};
};
