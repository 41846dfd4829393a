// The navigator: a second viewer that shows the whole image of this one with
// a rectangle selection marking this viewer's visible area; moving the
// rectangle scrolls this viewer, and the navigator's wheel may zoom it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "view/vexlaneview.h"
#include "winui/gdi.h"
#include "winui/win_window.h"

namespace {

constexpr TVXNavigatorOptions NavOpt(TVXNavigatorOption o) { return TVXNavigatorOptions(1u << o); }

int32_t Rnd(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::nearbyint(v), double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

void TVexlaneView::SetNavigator(TVexlaneView* Nav, TVXNavigatorOptions Options) {
  if (fNavigator != nullptr) {
    TVexlaneView* old = fNavigator;
    fNavigator = nullptr;
    old->OnSelectionChanging = nullptr;
    if (!(old->fNavigatorOptions & NavOpt(vxnoDontAssignNavBitmap))) old->SetExternalBitmap(nullptr);
    old->fIsNavigator = false;
    old->fNavigatorSource = nullptr;
    // A frame posting to the old navigator still needs its notification.
    bool posting = false;
    for (const auto& p : fPostFrames) posting = posting || p->FTarget == old;
    if (!posting) RemoveFreeNotification(old);
  }
  if (Nav == nullptr || Nav == this) return;
  Nav->fIsNavigator = true;
  Nav->fNavigatorSource = this;
  Nav->SetEnableAlphaChannel(fEnableAlphaChannel);
  Nav->fAutoFit = true;
  Nav->SetMouseInteract(TVXMouseInteract(1u << miSelect));
  Nav->SetSelectionBase(vxsbBitmap);
  Nav->SetSelectionOptions(VXSelOpt(vxsoMoveable) | VXSelOpt(vxsoCanScroll));
  Nav->fNavigatorOptions = Options;
  fNavigator = Nav;
  if (!(Options & NavOpt(vxnoDontAssignNavBitmap))) Nav->SetExternalBitmap(fVXBitmap);
  Nav->OnSelectionChanging = [this](void*) { FollowNavigator(); };
  FreeNotification(Nav);
  RefreshNavigator();
}

void TVexlaneView::RefreshNavigator() {
  if (fNavigator == nullptr || fNavigatorInside || fLockPaint > 0 || fVXBitmap == nullptr) return;
  TVexlaneView* nav = fNavigator;
  if (nav->fVXBitmap == nullptr || fVXBitmap->Width() == 0) return;
  fNavigatorInside = true;
  try {
    if (!(nav->fNavigatorOptions & NavOpt(vxnoDontPaintSrcBitmap))) Paint();
    const double r = double(nav->fVXBitmap->Width()) / fVXBitmap->Width();
    const int32_t x1 = Rnd(XScr2Bmp(fOffX) * r), y1 = Rnd(YScr2Bmp(fOffY) * r);
    const int32_t x2 = Rnd(XScr2Bmp(fOffX + fExtX) * r), y2 = Rnd(YScr2Bmp(fOffY + fExtY) * r);
    nav->SetSelectionAbsWidth(x2 - x1);
    nav->SetSelectionAbsHeight(y2 - y1);
    nav->SetSelectionAspectRatio(0);
    nav->Select(x1, y1, x2, y2);
  } catch (...) {
    fNavigatorInside = false;
    throw;
  }
  fNavigatorInside = false;
}

void TVexlaneView::FollowNavigator() {
  TVexlaneView* nav = fNavigator;
  if (nav == nullptr || fNavigatorInside || fVXBitmap == nullptr || nav->fVXBitmap == nullptr) return;
  if ((nav->fNavigatorOptions & NavOpt(vxnoDontRefreshSrcIfNavNotFocused)) && !nav->Focused()) return;
  if (nav->fVXBitmap->Width() == 0) return;
  const double r = double(fVXBitmap->Width()) / nav->fVXBitmap->Width();
  SetViewXY(Rnd(nav->SelX1() * r * fZoomX / 100), Rnd(nav->SelY1() * r * fZoomY / 100));
}

void TVexlaneView::NavigatorBlit(int32_t x, int32_t y, int32_t w, int32_t h) {
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  if (!fNavigatorBackBuffer) {
    fNavigatorBackBuffer = std::make_unique<TVXBitmap>();
    fNavigatorBackBuffer->SetLocation(vxTBitmap);
  }
  TVXBitmap* nb = fNavigatorBackBuffer.get();
  if (nb->Width() != cw || nb->Height() != ch || nb->PixelFormat() != vx24RGB) {
    nb->Allocate(cw, ch, vx24RGB);
    nb->Fill(255);
  }
  TBitmap* dst = nb->VclBitmap();
  BitBlt(dst->Canvas()->Handle(), x, y, w, h, fTBitmap->VclBitmap()->Canvas()->Handle(), x, y, SRCCOPY);
  const TVXDrawingInfo& d = CurrentLayer()->DrawingInfo();
  const TRect& a = fNavigatorActualRect;
  VXShadeOutsideRect(dst->Canvas(), d.XDst, d.YDst, d.WidthDst, d.HeightDst, a.Left, a.Top, a.Right, a.Bottom);
  BitBlt(Canvas()->Handle(), x, y, w, h, dst->Canvas()->Handle(), x, y, SRCCOPY);
}
