// Extras of the viewer on top of zoom, scrolling and painting: the view
// origin and the zoom gliding to their targets on a 30 ms timer, the
// interaction hint, moving the whole content into another viewer, and frame
// posting (a second viewer shows this one's image with a delay).
#include <cmath>
#include <stdexcept>

#include "core/bitmap.h"
#include "core/decorate.h"
#include "core/sysutils.h"
#include "core/vxdefs.h"
#include "gui/extctrls.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"

namespace {

// A timer whose tick calls a member function of its object. A tick may free
// the timer itself (a glide that ends), so nothing is read after the call.
template <class T>
class TMemberTimer : public TTimer {
 public:
  TMemberTimer(T* Object, void (T::*Step)(), uint32_t Interval) : TTimer(nullptr), fObject(Object), fStep(Step) {
    SetInterval(Interval);
  }

 protected:
  void Timer() override {
    if (!Enabled()) return;
    T* o = fObject;
    auto step = fStep;
    (o->*step)();
  }

 private:
  T* fObject;
  void (T::*fStep)();
};

int32_t Rnd(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::nearbyint(v), double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Smooth scrolling

void TVexlaneView::SetViewXYSmooth(int32_t x, int32_t y) {
  if (fSmoothScrollValue == 0) {
    SetViewXY(x, y);
    return;
  }
  fSmoothScrollDestX = x;
  fSmoothScrollDestY = y;
  if (fSmoothScrollTimer) return;
  fSmoothScrollTimer = std::make_unique<TMemberTimer<TVexlaneView>>(this, &TVexlaneView::SmoothScrollStep, 30);
  fSmoothScrolling = true;
  SmoothScrollStep();
}

void TVexlaneView::SmoothScrollStep() {
  if (!fSmoothScrollTimer) return;
  const int32_t vx = fViewX, vy = fViewY;
  const double d = fSmoothScrollValue;
  SetViewXY(Rnd(vx - (vx - fSmoothScrollDestX) / d), Rnd(vy - (vy - fSmoothScrollDestY) / d));
  if (!fSmoothScrollTimer) return;  // a handler of the view change ended it
  if ((fViewX == vx && fViewY == vy) || VXIsPrimaryMouseButtonDown()) StopSmoothScroll();
}

void TVexlaneView::StopSmoothScroll() {
  fSmoothScrolling = false;
  fSmoothScrollTimer.reset();
  if (OnFinishSmoothTask) OnFinishSmoothTask(static_cast<TVXView*>(this), vxstScroll);
}

// ---------------------------------------------------------------------------
// Smooth zooming

void TVexlaneView::SetZoomSmooth(double Zoom) {
  if (fSmoothZoomValue == 0) {
    SetZoom(Zoom);
    return;
  }
  fSmoothZoomDest = Zoom;
  if (fSmoothZoomTimer) return;
  fSmoothZoomTimer = std::make_unique<TMemberTimer<TVexlaneView>>(this, &TVexlaneView::SmoothZoomStep, 30);
  SmoothZoomStep();
}

void TVexlaneView::SmoothZoomStep() {
  if (!fSmoothZoomTimer) return;
  const double d = fSmoothZoomValue;
  const double before = fZoomX;
  const double a = (before - fSmoothZoomDest) / d;
  SetZoom(before - a);
  if (!fSmoothZoomTimer) return;
  if (std::fabs(a) <= 1 / std::fabs(d)) {
    SetZoom(fSmoothZoomDest);
    StopSmoothZoom();
  } else if (VXIsPrimaryMouseButtonDown() || fZoomX == before) {
    // A zoom the viewer refuses (the target out of its limits) would leave
    // the glide ticking for ever: it ends where it is.
    StopSmoothZoom();
  }
}

void TVexlaneView::StopSmoothZoom() {
  fSmoothZoomTimer.reset();
  if (OnFinishSmoothTask) OnFinishSmoothTask(static_cast<TVXView*>(this), vxstZoom);
}

// ---------------------------------------------------------------------------
// Interaction hint

void TVexlaneView::SetInteractionHint(const std::string& Text, int32_t x, int32_t y, const std::string& MinText) {
  fInteractionHint = Text;
  fInteractionHintX = x;
  fInteractionHintY = y;
  fInteractionHintMinText = MinText;
}

void TVexlaneView::DrawInteractionHint() {
  if (fInteractionHint.empty() || !fEnableInteractionHints || !HandleAllocated()) return;
  int32_t x = fInteractionHintX, y = fInteractionHintY;
  VXDrawTextHintAlpha(Canvas(), x, y, fInteractionHintMinText, fInteractionHint);
}

// ---------------------------------------------------------------------------
// Moving the content

void TVexlaneView::MoveContentTo(TVexlaneView* Destination) {
  if (Destination == nullptr || Destination == this) return;
  TVexlaneView* myNav = fNavigator;
  TVexlaneView* destNav = Destination->fNavigator;
  SetNavigator(nullptr, 0);
  Destination->SetNavigator(nullptr, 0);

  Destination->IO()->AssignParams(IO());

  StoreCurrentBitmap();
  Destination->StoreCurrentBitmap();
  Destination->fLayers = std::move(fLayers);
  Destination->fVXBitmap = fVXBitmap;
  Destination->fBitmap = fBitmap;
  Destination->fLayersCurrent = fLayersCurrent;
  for (const auto& l : Destination->fLayers) l->SetOwner(Destination);

  auto* bmp = new TVXBitmap();
  if (fLegacyBitmap) bmp->SetLocation(vxTBitmap);
  fVXBitmap = bmp;
  fBitmap = fLegacyBitmap ? bmp->VclBitmap() : nullptr;
  fLayers = TVXLayerList();
  auto layer0 = std::make_unique<TVXLayer>(this, bmp, true);
  layer0->SetVisibleBox(false);
  layer0->SetLocked(true);
  fLayers.push_back(std::move(layer0));
  fLayersCurrent = 0;
  FitSelectionMaskToImage();
  Destination->FitSelectionMaskToImage();

  Destination->CallBitmapChangeEvents();
  CallBitmapChangeEvents();
  Destination->Update();
  Update();

  if (myNav != nullptr && myNav != Destination) SetNavigator(myNav, 0);
  if (destNav != nullptr && destNav != this) Destination->SetNavigator(destNav, 0);
}

// ---------------------------------------------------------------------------
// Frame posting

TVXPostFramesTarget::TVXPostFramesTarget(TVexlaneView* Source, TVexlaneView* Target, int32_t Delay,
                                         int32_t Interval)
    : FSource(Source), FTarget(Target), FDelay(std::max(Delay, 0)), FInterval(Interval) {
  if (Interval <= 0) throw EVXException("Frame posting needs an interval above 0");
  const int32_t n = FDelay / FInterval + 1;
  for (int32_t i = 0; i < n; ++i) FBuffers.push_back(std::make_unique<TVXBitmap>());
  FTimer = std::make_unique<TMemberTimer<TVXPostFramesTarget>>(this, &TVXPostFramesTarget::Tick, uint32_t(FInterval));
}

TVXPostFramesTarget::~TVXPostFramesTarget() { FTimer.reset(); }

void TVXPostFramesTarget::Tick() {
  // Counted in intervals; the count stops once past the delay, as nothing
  // changes from then on.
  if (FElapsed <= FDelay) FElapsed += FInterval;
  const int32_t n = int32_t(FBuffers.size());
  // The frame is stored before the oldest one is shown: with a ring of one
  // frame (a delay below the interval) the target shows the frame just
  // taken rather than a slot never written; larger rings read another slot
  // than the one written, so the order does not matter to them.
  FBuffers[size_t(FNextToWrite)]->Assign(FSource->VXBitmap());
  FNextToWrite = (FNextToWrite + 1) % n;
  const bool show = FElapsed > FDelay;
  if (show) {
    FTarget->VXBitmap()->Assign(FBuffers[size_t(FNextToRead)].get());
    FNextToRead = (FNextToRead + 1) % n;
  }
  // Last: the target's handlers may end this posting.
  if (show) FTarget->Update();
}

void TVexlaneView::BeginPostFrames(TVexlaneView* Target, int32_t Delay, int32_t Interval) {
  if (Target == nullptr) return;
  EndPostFrames(Target);
  fPostFrames.push_back(std::make_unique<TVXPostFramesTarget>(this, Target, Delay, Interval));
  // A target that goes first ends its posting (Notification).
  FreeNotification(Target);
}

void TVexlaneView::EndPostFrames(TVexlaneView* Target) {
  for (size_t i = 0; i < fPostFrames.size(); ++i)
    if (fPostFrames[i]->FTarget == Target) {
      EndPostFramesAt(i);
      return;
    }
}

void TVexlaneView::EndPostFramesAt(size_t Index) {
  TVexlaneView* target = fPostFrames[Index]->FTarget;
  fPostFrames.erase(fPostFrames.begin() + std::ptrdiff_t(Index));
  for (const auto& p : fPostFrames)
    if (p->FTarget == target) return;
  if (!NeedsNotificationOf(target)) RemoveFreeNotification(target);
}

bool TVexlaneView::NeedsNotificationOf(TComponent* C) const { return C == fNavigator || C == fNavigatorSource; }
