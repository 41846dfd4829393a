// The single-image viewer's transitions and frame playback: pictures of its
// own view handed to the transition engine, frames made on request, and the
// play timer (window timer 1) that steps through the frames of a
// multi-frame file.
#include <algorithm>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "gui/graphics.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "view/transition_panzoom.h"
#include "view/vexlaneview.h"
#include "winui/win_window.h"

namespace {

constexpr UINT_PTR kPlayTimerId = 1;

}  // namespace

TVXTransitionEffects* TVexlaneView::TransitionEngine() {
  if (!fTransition) fTransition = std::make_unique<TVXTransitionEffects>(this);
  return fTransition.get();
}

void TVexlaneView::PaintViewTo(TBitmap* Dest) {
  TVXBitmap wrap;
  wrap.EncapsulateTBitmap(Dest, false);
  PaintToEx(&wrap, nullptr, nullptr, true, true);
}

void TVexlaneView::PrepareTransition() {
  const int32_t w = GetClientWidth(), h = GetClientHeight();
  if (w == 0 || h == 0) return;
  TVXTransitionEffects* e = TransitionEngine();
  e->SetSizes(w, h);
  PaintViewTo(e->SourceShot());
}

void TVexlaneView::RunTransition(TVXTransitionType Effect, int32_t Duration) {
  if (GetClientWidth() == 0 || GetClientHeight() == 0) return;
  TVXTransitionEffects* e = TransitionEngine();
  fTransitionEffect = Effect;
  fTransitionDuration = Duration > 0 ? Duration : 1;
  e->SetTransition(Effect);
  e->SetDuration(fTransitionDuration);
  e->SetBackground(fBackGround);
  PaintViewTo(e->TargetShot());
  e->SetFullImage(fVXBitmap);
  e->Run(true);
  // The view shows the end rectangle once the run (holding the paint lock)
  // has ended.
  if (Effect == vxttPanZoom) SetVisibleBitmapRect(e->EndRect());
  fTransitionEffect = vxttNone;
}

namespace {

// Rect widened, centred, to the client's aspect, inside the bitmap.
TRect AspectRect(const TRect& Rect, TVXBitmap* Bitmap, bool Empty, int32_t ClientW, int32_t ClientH) {
  if (Empty || Bitmap == nullptr) return Rect;
  TRect r = Rect;
  VXAdjustRectToAspect(Rect, Bitmap->Width(), Bitmap->Height(), r, 0, ClientW, ClientH);
  return r;
}

}  // namespace

void TVexlaneView::RunTransition(TVXTransitionType Effect, int32_t Duration, const TRect& StartRect,
                                 const TRect& EndRect, bool bMaintainAspectRatio) {
  TVXTransitionEffects* e = TransitionEngine();
  if (bMaintainAspectRatio) {
    const bool empty = IsEmpty();
    e->SetStartRect(AspectRect(StartRect, fVXBitmap, empty, GetClientWidth(), GetClientHeight()));
    e->SetEndRect(AspectRect(EndRect, fVXBitmap, empty, GetClientWidth(), GetClientHeight()));
  } else {
    e->SetStartRect(StartRect);
    e->SetEndRect(EndRect);
  }
  RunTransition(Effect, Duration);
}

void TVexlaneView::RunTransition(TVXTransitionType Effect, int32_t Duration, TVXPanZoomType PanZoomEffect,
                                 int32_t iZoomLevel) {
  TRect s{}, en{};
  const int32_t iw = fVXBitmap ? fVXBitmap->Width() : 0, ih = fVXBitmap ? fVXBitmap->Height() : 0;
  CalcPanZoomRects(GetClientWidth(), GetClientHeight(), iw, ih, iZoomLevel, PanZoomEffect, s, en);
  RunTransition(Effect, Duration, s, en, true);
}

void TVexlaneView::PrepareTransitionBitmaps(TBitmap* OriginalBitmap, TBitmap* TargetBitmap,
                                            TVXTransitionType Effect, int32_t iWidth, int32_t iHeight) {
  TVXTransitionEffects* e = TransitionEngine();
  e->SetTransition(Effect);
  e->SetFullImage(fVXBitmap);
  e->SetBackground(fBackGround);
  if (Effect == vxttPanZoom) {
    Assign(OriginalBitmap);
    e->SetFullImage(fVXBitmap);
    e->PrepareBitmap(OriginalBitmap, OriginalBitmap);
  } else {
    e->PrepareBitmap(OriginalBitmap, TargetBitmap);
  }
  if (iWidth > 0) e->SetSizes(iWidth, iHeight);
}

void TVexlaneView::PrepareTransitionBitmaps(TBitmap* OriginalBitmap, TBitmap* TargetBitmap,
                                            TVXTransitionType Effect, const TRect& StartRect, const TRect& EndRect,
                                            bool bMaintainAspectRatio, int32_t iWidth, int32_t iHeight) {
  TVXTransitionEffects* e = TransitionEngine();
  if (bMaintainAspectRatio) {
    const bool empty = IsEmpty();
    e->SetStartRect(AspectRect(StartRect, fVXBitmap, empty, GetClientWidth(), GetClientHeight()));
    e->SetEndRect(AspectRect(EndRect, fVXBitmap, empty, GetClientWidth(), GetClientHeight()));
  } else {
    e->SetStartRect(StartRect);
    e->SetEndRect(EndRect);
  }
  PrepareTransitionBitmaps(OriginalBitmap, TargetBitmap, Effect, iWidth, iHeight);
}

void TVexlaneView::CreateTransitionBitmap(float TransitionProgress, TBitmap* DestBitmap) {
  TransitionEngine()->CreateBitmap(TransitionProgress, DestBitmap);
}

void TVexlaneView::AbortTransition() {
  if (fTransition) fTransition->Stop();
}

void TVexlaneView::StopTransition() { AbortTransition(); }

bool TVexlaneView::TransitionRunning() const { return fTransition && fTransition->Running(); }

TVXTransitionTiming TVexlaneView::TransitionTiming() { return TransitionEngine()->Timing(); }

void TVexlaneView::SetTransitionTiming(TVXTransitionTiming Value) { TransitionEngine()->SetTiming(Value); }

TVXTransitionStopEvent TVexlaneView::OnTransitionStop() const {
  return fTransition ? fTransition->OnTransitionStop : TVXTransitionStopEvent();
}

void TVexlaneView::SetOnTransitionStop(TVXTransitionStopEvent Value) {
  TransitionEngine()->OnTransitionStop = std::move(Value);
}

TVXTransitionStepEvent TVexlaneView::OnTransitionStep() const {
  return fTransition ? fTransition->OnTransitionStep : TVXTransitionStepEvent();
}

void TVexlaneView::SetOnTransitionStep(TVXTransitionStepEvent Value) {
  TransitionEngine()->OnTransitionStep = std::move(Value);
}

TVXOnTransitionPaint TVexlaneView::OnTransitionPaint() const {
  return fTransition ? fTransition->OnTransitionPaint() : TVXOnTransitionPaint();
}

void TVexlaneView::SetOnTransitionPaint(TVXOnTransitionPaint Value) {
  TransitionEngine()->SetOnTransitionPaint(std::move(Value));
}

// ---------------------------------------------------------------------------
// Playback

void TVexlaneView::SetPlaying(bool Value) {
  if (Value == fPlaying) return;
  fPlaying = Value;
  if (Value)
    StartPlayTimer();
  else
    StopPlayTimer();
}

void TVexlaneView::StopPlayTimer() {
  if (fPlayTimer == 0) return;
  if (HandleAllocated()) KillTimer(Handle(), UINT_PTR(fPlayTimer));
  fPlayTimer = 0;
}

void TVexlaneView::StartPlayTimer() {
  StopPlayTimer();
  if (!fPlaying) return;
  int32_t delay = 0;
  if (fVexlaneIO != nullptr && fVexlaneIO->Params().ImageCount() >= 2) {
    delay = fVexlaneIO->Params().ImageDelayTime();
    if (delay <= 0) delay = 100;
  }
  if (delay > 0 && CanPaint() && SetTimer(Handle(), kPlayTimerId, UINT(delay), nullptr) != 0)
    fPlayTimer = int32_t(kPlayTimerId);
}

void TVexlaneView::WMTimer(TMessage& Message) {
  if (Message.WParam != kPlayTimerId) {
    TVXView::WMTimer(Message);
    return;
  }
  StopPlayTimer();
  TVexlaneIO* io = fVexlaneIO;
  if (io == nullptr || !fPlaying) return;
  if (io->Params().ImageIndex() < io->Params().ImageCount() - 1) {
    io->Seek(vxioSeekNext);
  } else {
    io->Seek(vxioSeekFirst);
    if (!fPlayLoop) {
      // The first frame stays; the timer that showing it restarted stops.
      SetPlaying(false);
      return;
    }
  }
  // A frame that failed to load ends the timer (the load may have restarted
  // it already).
  if (io->Aborting())
    StopPlayTimer();
  else
    StartPlayTimer();
}
