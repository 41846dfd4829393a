// TVXTransitionEffects: life cycle, timing and the frame hand-over. The
// effects themselves are in transition_effects.cpp (those the engine draws)
// and behind DrawTransitionFrame (view/transition_catalogue.h).
#include "view/transitions.h"

#include <algorithm>
#include <cmath>

#include "core/vxdefs.h"
#include "gui/extctrls.h"
#include "gui/graphics.h"
#include "platform/win_clock.h"
#include "view/transition_catalogue.h"
#include "view/vxview.h"
#include "winui/gdi.h"

namespace {

}  // namespace

// Row copies between two of the engine's 24-bit pictures (transition_effects.cpp).
void VXTransitionBlit(TBitmap* Dest, int32_t X, int32_t Y, int32_t W, int32_t H, TBitmap* Source, int32_t SX,
                      int32_t SY);

namespace {

void MakeOnePixel(TBitmap* b) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(1, 1);
}

// The step at Elapsed ms of a run of Duration ms on the curve. A duration
// of 0 or less counts as 1 ms; values that are negative or not finite give
// step 0, values above 1024 give 1024.
int32_t StepAt(TVXTransitionTiming Timing, uint32_t Elapsed, int32_t Duration) {
  const double x = double(Elapsed) / double(std::max(1, Duration));
  double v;
  switch (Timing) {
    case vxttExponential:
      v = std::exp(5.0 * x - 2.718) / 10.0 * 1024.0;
      break;
    case vxttLogarithmic:
      v = x > 0.0 ? (std::log(10.0 * x) + 2.718) / 5.0 * 1024.0 : 0.0;
      break;
    case vxttLinear:
    default:
      v = x * 1024.0;
      break;
  }
  if (!std::isfinite(v) || v <= 0.0) return 0;
  if (v >= 1024.0) return 1024;
  return int32_t(v);
}

}  // namespace

TVXTransitionEffects::TVXTransitionEffects(TVXView* Owner)
    : fSourceShot(std::make_unique<TBitmap>(1, 1, pf24bit)),
      fTargetShot(std::make_unique<TBitmap>(1, 1, pf24bit)),
      fCurrentView(std::make_unique<TBitmap>(1, 1, pf24bit)),
      fOwner(Owner) {
  // The engine owns its timer (the owner viewer may go first).
  fTimer = std::make_unique<TTimer>(nullptr);
  fTimer->SetEnabled(false);
  fTimer->SetInterval(1);
  fTimer->OnTimer = [this](void*) { TimerTick(); };
}

TVXTransitionEffects::~TVXTransitionEffects() {
  fTimer->SetEnabled(false);
  fTimer->OnTimer = nullptr;
}

bool TVXTransitionEffects::CanStart() const {
  return (fWidth > 1 || fHeight > 1) && fSourceShot->Height() == fHeight && fSourceShot->Width() == fWidth &&
         fTargetShot->Height() == fHeight && fTargetShot->Width() == fWidth && fCurrentView->Height() == fHeight &&
         fCurrentView->Width() == fWidth;
}

void TVXTransitionEffects::SetSizes(int32_t Width, int32_t Height) {
  Stop();
  fWidth = std::max(0, Width);
  fHeight = std::max(0, Height);
  for (TBitmap* b : {fCurrentView.get(), fSourceShot.get(), fTargetShot.get()}) {
    b->SetPixelFormat(pf24bit);
    b->SetSize(fWidth, fHeight);
  }
  // Pan and zoom starts its extremes afresh.
  FMinLeft = 0;
  FMaxRight = 0;
}

void TVXTransitionEffects::PrepareBitmap(TBitmap* OriginalBitmap, TBitmap* TargetBitmap) {
  if (fTransition == vxttNone) return;
  if (!OriginalBitmap || !TargetBitmap) throw EVXException("Transition bitmaps are empty");
  fRunning = true;
  fStep = 0;
  FFirstStep = true;
  fAccum1 = 0;
  fFrames = 0;
  SetSizes(OriginalBitmap->Width(), OriginalBitmap->Height());
  // Copies at 24 bits and at the frame's size (the target drawn at 0, 0).
  HDC src = fSourceShot->Canvas()->Handle();
  BitBlt(src, 0, 0, fWidth, fHeight, OriginalBitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
  BitBlt(fCurrentView->Canvas()->Handle(), 0, 0, fWidth, fHeight, src, 0, 0, SRCCOPY);
  BitBlt(fTargetShot->Canvas()->Handle(), 0, 0, fWidth, fHeight, TargetBitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
  fRunning = false;
}

void TVXTransitionEffects::Run(bool UpdateOnStop) {
  if (fTransition == vxttNone) return;
  if (!fOwner) throw EVXException("A timed transition needs a viewer to paint on");
  if (fRunning && fLockTaken) {
    fOwner->NPUnLockPaint();
    fLockTaken = false;
  }
  fUpdateOnStop = UpdateOnStop;
  fRunning = true;
  fStep = 0;
  FFirstStep = true;
  fAccum1 = 0;
  fFrames = 0;
  if (CanStart()) {
    fOwner->LockPaint();
    fLockTaken = true;
    fStartTick = GetTickCount();
    fTimer->SetEnabled(true);
  } else {
    fTimer->SetEnabled(false);
    fRunning = false;
  }
}

void TVXTransitionEffects::Stop() {
  // A run ends whatever Transition holds now (it may have been set to
  // vxttNone during the run).
  if (!fRunning) return;
  fTimer->SetEnabled(false);
  fRunning = false;
  MakeOnePixel(fCurrentView.get());
  MakeOnePixel(fSourceShot.get());
  MakeOnePixel(fTargetShot.get());
  if (!fOwner) return;
  // Only the lock Run took is given back: PrepareBitmap and SetSizes stop
  // runs that never locked the owner.
  if (fLockTaken) {
    fLockTaken = false;
    fOwner->NPUnLockPaint();
  }
  if (fUpdateOnStop) fOwner->Update();
  if (OnTransitionStop) OnTransitionStop(fOwner);
}

void TVXTransitionEffects::TimerTick() {
  if (!fRunning) return;
  if (OnTransitionStep) OnTransitionStep(fOwner, fStep);
  ++fFrames;
  try {
    MakeFrame(fOwner->GetCanvas());
  } catch (...) {
    // An effect that cannot be drawn ends the run (timer off, lock given
    // back) instead of failing at every tick.
    Stop();
    throw;
  }
  if (fOnTransitionPaint) fOnTransitionPaint(fOwner, fCurrentView.get(), this, fStep);
  const uint32_t elapsed = GetTickCount() - fStartTick;
  if (elapsed >= uint32_t(std::max(0, fDuration))) {
    if (fUpdateOnStop && fTransition != vxttPanZoom) {
      BitBlt(fOwner->GetCanvas()->Handle(), 0, 0, fWidth, fHeight, fTargetShot->Canvas()->Handle(), 0, 0, SRCCOPY);
      if (fOnTransitionPaint) fOnTransitionPaint(fOwner, fTargetShot.get(), this, 1024);
    }
    Stop();
  }
  fStep = StepAt(fTiming, elapsed, fDuration);
  FFirstStep = false;
}

void TVXTransitionEffects::CreateBitmap(float TransitionProgress, TBitmap* DestBitmap) {
  if (!DestBitmap) throw EVXException("No bitmap to draw the transition frame into");
  if (DestBitmap->PixelFormat() != pf24bit) DestBitmap->SetPixelFormat(pf24bit);
  if (DestBitmap->Width() != fWidth || DestBitmap->Height() != fHeight) DestBitmap->SetSize(fWidth, fHeight);
  double step = std::nearbyint(double(TransitionProgress) * 1024.0 / 100.0);
  if (!(step >= 0.0)) step = 0.0;  // also NaN
  fStep = int32_t(std::min(step, 1024.0));
  ++fFrames;
  MakeFrame(nullptr);
  VXTransitionBlit(DestBitmap, 0, 0, fWidth, fHeight, fCurrentView.get(), 0, 0);
  FFirstStep = false;
}

void TVXTransitionEffects::MakeFrame(TCanvas* Canvas) {
  // Pictures sized apart from each other (a caller's SetSizes without
  // painting them) would send the effects outside their rows.
  if (!CanStart() && (fWidth > 0 && fHeight > 0)) {
    for (TBitmap* b : {fCurrentView.get(), fSourceShot.get(), fTargetShot.get()})
      if (b->Width() != fWidth || b->Height() != fHeight) {
        b->SetPixelFormat(pf24bit);
        b->SetSize(fWidth, fHeight);
      }
  }
  if (!DrawOwnEffect()) {
    if (fTransition == vxttPanZoom) {
      DrawPanZoom();
    } else if (fTransition == vxttNone) {
      DrawTransitionFrame(fTransition, fCurrentView->Canvas(), fSourceShot.get(), fTargetShot.get(),
                          TRect{0, 0, fCurrentView->Width(), fCurrentView->Height()}, fStep);
    } else {
      if (fStep == 0 || FFirstStep) {
        ResetToSource();
        VXTransitionState().OrderDrawn = false;
      }
      if (fStep >= 1) {
        SetStretchBltMode(fCurrentView->Canvas()->Handle(), HALFTONE);
        DrawTransitionFrame(fTransition, fCurrentView->Canvas(), fSourceShot.get(), fTargetShot.get(),
                            TRect{0, 0, fCurrentView->Width(), fCurrentView->Height()}, fStep);
      }
    }
  }
  if (Canvas) BitBlt(Canvas->Handle(), 0, 0, fWidth, fHeight, fCurrentView->Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TVXTransitionEffects::ResetToSource() {
  VXTransitionBlit(fCurrentView.get(), 0, 0, fWidth, fHeight, fSourceShot.get(), 0, 0);
}

std::unique_ptr<TVXTransitionFrameMaker> VXCreateTransitionFrameMaker() {
  return std::make_unique<TVXTransitionEffects>(nullptr);
}
