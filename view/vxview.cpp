#include "view/vxview.h"

#include <algorithm>

#include "core/startup.h"
#include "winui/win_window.h"
#include "winui/synchronize.h"

TVXView::TVXView(TComponent* Owner) : TCustomControl(Owner), fBackGround(clBtnFace) {
  TControlStyle style = ControlStyle() | VXStyleBit(csAcceptsControls) | VXStyleBit(csOpaque) |
                        VXStyleBit(csReplicatable) | VXStyleBit(csNeedsBorderPaint);
  if (!NewStyleControls) style |= VXStyleBit(csFramed);
  SetControlStyle(style);
}

TVXView::~TVXView() { CallBitmapDestroyEvents(); }

void TVXView::CallBitmapDestroyEvents() {
  // Each callback only forgets the viewer; one that removes its own entry
  // meanwhile finds it still registered and is not freed twice.
  while (!fBmpChange.empty()) {
    std::shared_ptr<TBmpChangeRecord> r = fBmpChange.front();
    if (r->Method && !r->Removed) r->Method(CallerOwner(*r), true);
    r->Removed = true;
    auto it = std::find(fBmpChange.begin(), fBmpChange.end(), r);
    if (it != fBmpChange.end()) fBmpChange.erase(it);
  }
}

void TVXView::SetBackground(TColor Value) { fBackGround = Value; }

void TVXView::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  if (HandleAllocated()) RecreateWnd();
}

void TVXView::SetDPIX(int32_t dpiX) {
  if (dpiX != 0) fDPIX = dpiX;
}

void TVXView::SetDPIY(int32_t dpiY) {
  if (dpiY != 0) fDPIY = dpiY;
}

void TVXView::SetDPI(int32_t dpiX, int32_t dpiY) {
  SetDPIX(dpiX);
  SetDPIY(dpiY);
}

void* TVXView::RegisterBitmapChangeEvent(TVXBitmapChangeEvent Handler, void* Owner) {
  auto r = std::make_shared<TBmpChangeRecord>();
  r->Method = std::move(Handler);
  r->Owner = Owner;
  fBmpChange.push_back(r);
  return r.get();
}

void TVXView::RemoveBitmapChangeEvent(void* Handle) {
  if (Handle == nullptr) return;
  auto it = std::find_if(fBmpChange.begin(), fBmpChange.end(),
                         [Handle](const std::shared_ptr<TBmpChangeRecord>& r) { return r.get() == Handle; });
  if (it == fBmpChange.end()) return;
  (*it)->Removed = true;
  fBmpChange.erase(it);
}

void TVXView::CallBitmapChangeEvents() {
  // A snapshot: callbacks may add or remove registrations while they run.
  std::vector<std::shared_ptr<TBmpChangeRecord>> snapshot = fBmpChange;
  for (const auto& r : snapshot)
    if (!r->Removed && r->Method) r->Method(CallerOwner(*r), false);
}

void TVXView::HandleNeededOnMainThread() {
  if (HandleAllocated()) return;
  // The window belongs to the thread that started the library: another
  // thread has it made there and waits.
  if (std::this_thread::get_id() == VXMainThreadId())
    HandleNeeded();
  else if (VXMainThreadId() != std::thread::id())
    VXSynchronize([this] {
      if (!HandleAllocated() && !InState(csDestroying)) HandleNeeded();
    });
}

void TVXView::PostMessage(uint32_t Msg, uintptr_t WParam) {
  if (HandleAllocated()) PostMessageW(Handle(), Msg, WParam, 0);
}

void TVXView::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) {
    if (NewStyleControls && Ctl3D())
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
  Params.ClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TVXView::CMCtl3DChanged(TMessage& Message) {
  if (HandleAllocated()) RecreateWnd();
  TCustomControl::CMCtl3DChanged(Message);
}
