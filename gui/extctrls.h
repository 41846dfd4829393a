// Timers and the image control.
#pragma once
#include <memory>

#include "gui/controls.h"
#include "gui/graphics.h"

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
