// TVXView: the window control both viewers descend from. It adds to the
// custom control a border, a background colour, the image resolution, the
// operations every viewer supplies for its current image, and the list of
// bitmap-change callbacks through which attached components (I/O,
// processing) learn that the viewer's bitmap was replaced or that the viewer
// goes away. It is the viewer-host interface of core/viewhost.h for the
// components below this layer.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/viewhost.h"
#include "gui/controls.h"

class TBitmap;
class TVXBitmap;

enum TBorderStyle : uint8_t { bsNone, bsSingle };

class TVXView : public TCustomControl, public TVXViewHost {
 public:
  explicit TVXView(TComponent* Owner = nullptr);
  // Tells every bitmap-change callback (Destroying true), once each, in
  // registration order.
  ~TVXView() override;

  TVXViewHostKind HostKind() const override { return vxvhView; }

  // ---- properties ----
  TColor Background() const override { return fBackGround; }
  void SetBackground(TColor Value) override;
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  // A different value recreates the window.
  void SetBorderStyle(TBorderStyle Value);
  int32_t DpiX() const override { return fDPIX; }
  int32_t DpiY() const override { return fDPIY; }
  // 0 leaves the stored value.
  virtual void SetDPIX(int32_t dpiX);
  virtual void SetDPIY(int32_t dpiY);
  void SetDPI(int32_t dpiX, int32_t dpiY) override;
  void SetDpiX(int32_t Value) override { SetDPIX(Value); }
  void SetDpiY(int32_t Value) override { SetDPIY(Value); }
  TBitmap* Bitmap() { return GetBitmap(); }
  TVXBitmap* VXBitmap() override { return GetVXBitmap(); }
  TVXBitmap* AlphaChannel() { return GetAlphaChannel(); }
  bool HasAlphaChannel() { return GetHasAlphaChannel(); }

  // ---- what every viewer supplies ----
  virtual TBitmap* GetBitmap() { return nullptr; }
  virtual TVXBitmap* GetVXBitmap() { return nullptr; }
  virtual TVXBitmap* GetAlphaChannel() = 0;
  virtual bool GetHasAlphaChannel() = 0;
  virtual void RemoveAlphaChannel(bool Merge) = 0;
  virtual void LockPaint() = 0;
  virtual int32_t UnLockPaint() = 0;
  virtual int32_t NPUnLockPaint() = 0;
  void ImageChange() override {}
  // The control's repaint; the viewers recompute their view first.
  void Update() override { TCustomControl::Update(); }

  // ---- bitmap-change callbacks ----
  // Handler is called with Owner (the viewer itself when Owner is null);
  // the returned record address is the handle.
  void* RegisterBitmapChangeEvent(TVXBitmapChangeEvent Handler, void* Owner) override;
  void* RegisterBitmapChangeEvent(TVXBitmapChangeEvent Handler) { return RegisterBitmapChangeEvent(Handler, nullptr); }
  // A null handle or one not in the list changes nothing.
  void RemoveBitmapChangeEvent(void* Handle) override;
  // Every registered callback with Destroying false. A callback may remove
  // registrations meanwhile: those are skipped, each remaining one is called
  // once.
  virtual void CallBitmapChangeEvents();
  int32_t BitmapChangeEventsCount() const { return int32_t(fBmpChange.size()); }
  // Every registered callback once with Destroying true, and the list
  // emptied. A viewer calls it first thing in its destructor, while it is
  // still whole for the components that wait for their requests to end.
  void CallBitmapDestroyEvents();

  TCanvas* GetCanvas() { return Canvas(); }

  // ---- window, for request threads ----
  bool HasParent() const override { return Parent() != nullptr || ParentWindow() != nullptr; }
  void HandleNeededOnMainThread() override;
  void PostMessage(uint32_t Msg, uintptr_t WParam) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CMCtl3DChanged(TMessage& Message) override;

  TBorderStyle FBorderStyle = bsSingle;
  int32_t fDPIX = 0;
  int32_t fDPIY = 0;
  TColor fBackGround;

 private:
  struct TBmpChangeRecord {
    TVXBitmapChangeEvent Method;
    void* Owner = nullptr;
    bool Removed = false;
  };
  void* CallerOwner(const TBmpChangeRecord& R) { return R.Owner ? R.Owner : static_cast<TVXView*>(this); }
  std::vector<std::shared_ptr<TBmpChangeRecord>> fBmpChange;
};
