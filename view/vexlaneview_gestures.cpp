// Touch gestures of the viewer: a two-finger zoom changes the zoom, a pan
// scrolls the view or moves the current layer, a rotation turns the current
// layer, each within its option's limits, multiplier and snapping. The
// program sees every gesture first (OnVexlaneGesture) and may take it over.
#include <algorithm>
#include <cmath>

#include "core/layer.h"
#include "core/sysutils.h"
#include "view/vexlaneview.h"
#include "winui/win_gesture.h"
#include "winui/win_window.h"

// ---------------------------------------------------------------------------
// Options

void TVXGestureOptions::SetEnabled(bool Value) {
  fEnabled = Value;
  if (!Value) return;
  for (TVXGestureOptions* o : fDisables)
    if (o != nullptr && o != this) o->SetEnabled(false);
}

TVXViewerGestures::TVXViewerGestures() {
  fPan.SetInertia(true);
  fPan.SetSnapValues(false);
  fPan.SetSnapDelta(0);
  fPan.Disables().push_back(&fLayerMove);

  fZoom.SetInertia(true);
  fZoom.SetMin(1.0);
  fZoom.SetMax(8000.0);
  fZoom.SetSnapValues(true);
  fZoom.SetSnapDelta(5.0);

  fLayerRotate.SetInertia(false);
  fLayerRotate.SetSnapValues(true);
  fLayerRotate.SetSnapDelta(5.0);

  fLayerMove.SetInertia(false);
  fLayerMove.SetSnapValues(true);
  fLayerMove.SetSnapDelta(5.0);
  fLayerMove.Disables().push_back(&fPan);
}

// ---------------------------------------------------------------------------
// The viewer

namespace {

int32_t Trunc(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::trunc(v), double(INT32_MIN), double(INT32_MAX)));
}

// Within Lo..Hi as the limits read: the upper limit wins when they cross.
double Limit(double v, double Lo, double Hi) { return std::min(Hi, std::max(Lo, v)); }

}  // namespace

void TVexlaneView::DoVexlaneGesture(const GESTUREINFO& Info, bool& Handled) {
  if (!OnVexlaneGesture) return;
  TVXGestureFlags flags = 0;
  if (Info.dwFlags & GF_BEGIN) flags |= VXGestureFlag(vxgfBegin);
  if (Info.dwFlags & GF_INERTIA) flags |= VXGestureFlag(vxgfInertia);
  if (Info.dwFlags & GF_END) flags |= VXGestureFlag(vxgfEnd);
  const uint32_t high = uint32_t(Info.ullArguments >> 32);
  OnVexlaneGesture(static_cast<TVXView*>(this), flags, TVXGestureID(Info.dwID - 1),
                   TSmallPoint{Info.ptsLocation.x, Info.ptsLocation.y}, int32_t(uint32_t(Info.ullArguments)),
                   int32_t(high & 0xFFFF), int32_t(high >> 16), int32_t(high), Handled);
}

void TVexlaneView::WMGestureNotify(TMessage& Message) {
  TVXView::WMGestureNotify(Message);
  if (!fGestures->Enabled() || !VXGesturesAvailable()) return;
  const TVXGestureEntries api = VXGestureEntries();
  if (api.SetGestureConfig == nullptr) return;
  if (api.UnregisterTouchWindow != nullptr) api.UnregisterTouchWindow(Handle());
  GESTURECONFIG cfg[3];
  UINT n = 0;
  if (fGestures->Pan()->Enabled() || fGestures->LayerMove()->Enabled()) {
    cfg[n].dwID = GID_PAN;
    cfg[n].dwWant = GC_PAN | GC_PAN_WITH_SINGLE_FINGER_VERTICALLY | GC_PAN_WITH_SINGLE_FINGER_HORIZONTALLY |
                    GC_PAN_WITH_INERTIA;
    cfg[n].dwBlock = GC_PAN_WITH_GUTTER;
    ++n;
  }
  if (fGestures->Zoom()->Enabled()) {
    cfg[n].dwID = GID_ZOOM;
    cfg[n].dwWant = GC_ZOOM;
    cfg[n].dwBlock = 0;
    ++n;
  }
  if (fGestures->LayerRotate()->Enabled()) {
    cfg[n].dwID = GID_ROTATE;
    cfg[n].dwWant = GC_ROTATE;
    cfg[n].dwBlock = 0;
    ++n;
  }
  api.SetGestureConfig(Handle(), 0, n, cfg, sizeof(GESTURECONFIG));
}

void TVexlaneView::WMGesture(TMessage& Message) {
  Message.Result = 1;
  const TVXGestureEntries api = VXGestureEntries();
  if (!fGestures->Enabled() || !VXGesturesAvailable() || api.GetGestureInfo == nullptr) {
    TVXView::WMGesture(Message);
    return;
  }
  const HGESTUREINFO h = reinterpret_cast<HGESTUREINFO>(Message.LParam);
  GESTUREINFO gi;
  if (!api.GetGestureInfo(h, &gi)) {
    TVXView::WMGesture(Message);
    return;
  }
  bool handled = false;
  DoVexlaneGesture(gi, handled);
  if (handled) {
    Message.Result = 0;
  } else {
    const bool begin = (gi.dwFlags & GF_BEGIN) != 0;
    const bool inertia = (gi.dwFlags & GF_INERTIA) != 0;
    const int32_t arg = int32_t(uint32_t(gi.ullArguments));
    const int32_t gx = gi.ptsLocation.x, gy = gi.ptsLocation.y;
    TVXGestureZoomOptions* zo = fGestures->Zoom();
    TVXGesturePanOptions* po = fGestures->Pan();
    TVXGestureLayerMoveOptions* mo = fGestures->LayerMove();
    TVXGestureLayerRotateOptions* ro = fGestures->LayerRotate();
    TVXLayer* layer =
        fLayersCurrent >= 0 && fLayersCurrent < LayersCount() ? fLayers[size_t(fLayersCurrent)].get() : nullptr;
    switch (gi.dwID) {
      case GID_ZOOM:
        if (begin) {
          fGestureStartValue = arg;
          fGestureBaseZoom = fZoomX;
          if (zo->Enabled()) Message.Result = 0;
        } else if (zo->Enabled() && (!inertia || zo->Inertia())) {
          // A step with no start distance (no beginning seen) has no ratio.
          if (fGestureStartValue != 0) {
            double z = double(arg) / fGestureStartValue * fGestureBaseZoom;
            z = Limit(z, zo->Min(), zo->Max()) * zo->Multiplier();
            if (zo->SnapValues() && std::fabs(z - 100) <= zo->SnapDelta()) z = 100;
            SetZoom(z);
          }
          Message.Result = 0;
        }
        break;
      case GID_PAN:
        if (begin) {
          fGestureStartX = gx;
          fGestureStartY = gy;
          fGestureBaseViewX = fViewX;
          fGestureBaseViewY = fViewY;
          fGestureBasePosX = layer ? layer->PosX() : 0;
          fGestureBasePosY = layer ? layer->PosY() : 0;
          if (po->Enabled() || mo->Enabled()) Message.Result = 0;
        } else if (po->Enabled() && (!inertia || po->Inertia())) {
          const TRect b = po->BoundingBox();
          const double vx = Limit(double(fGestureStartX) + fGestureBaseViewX - gx, b.Left, b.Right) * po->Multiplier();
          const double vy = Limit(double(fGestureStartY) + fGestureBaseViewY - gy, b.Top, b.Bottom) * po->Multiplier();
          SetViewX(Trunc(vx));
          SetViewY(Trunc(vy));
          Message.Result = 0;
        } else if (mo->Enabled() && (!inertia || mo->Inertia())) {
          if (layer != nullptr) {
            const TRect b = mo->BoundingBox();
            double px = fGestureBasePosX - double(Trunc((double(fGestureStartX) - gx) / (fZoomX / 100)));
            double py = fGestureBasePosY - double(Trunc((double(fGestureStartY) - gy) / (fZoomY / 100)));
            px = Limit(px, b.Left, b.Right) * mo->Multiplier();
            py = Limit(py, b.Top, b.Bottom) * mo->Multiplier();
            if (mo->SnapValues()) {
              if (std::fabs(px) <= mo->SnapDelta()) px = 0;
              if (std::fabs(py) <= mo->SnapDelta()) py = 0;
            }
            layer->SetPosX(Trunc(px));
            layer->SetPosY(Trunc(py));
            Update();
          }
          Message.Result = 0;
        }
        break;
      case GID_ROTATE:
        if (begin) {
          fGestureBaseRotate = layer ? layer->Rotate() : 0;
          if (ro->Enabled()) Message.Result = 0;
        } else if (ro->Enabled() && (!inertia || ro->Inertia())) {
          if (layer != nullptr) {
            const double pi = 3.14159265358979323846;
            const double rad = double(arg) / 65535 * 4 * pi - 2 * pi;
            double a = rad * 180 / pi + fGestureBaseRotate;
            a = Limit(a, ro->Min(), ro->Max()) * ro->Multiplier();
            if (ro->SnapValues() && std::isfinite(a)) {
              // The angle within one turn, keeping its sign: 0 <= r < 360,
              // or -360 <= r < 0 for a negative angle.
              const bool negative = a < 0;
              auto reduce = [negative](double v) {
                const double r = std::fmod(v, 360.0);
                return negative && r == 0 && v != 0 ? -360.0 : r;
              };
              double r = reduce(a);
              for (int k = 0; k <= 8; ++k) {
                const double s = negative ? -k * 45.0 : k * 45.0;
                if (std::fabs(s - r) <= ro->SnapDelta()) {
                  a = s;
                  r = reduce(a);
                }
              }
            }
            layer->SetRotate(a);
            Update();
          }
          Message.Result = 0;
        }
        break;
      default:
        break;
    }
  }
  if (Message.Result == 0) {
    if (api.CloseGestureInfoHandle != nullptr) api.CloseGestureInfoHandle(h);
  } else {
    TVXView::WMGesture(Message);
  }
}
