// Touch-gesture options of the viewers: one option object per kind of
// gesture (pan, zoom, layer rotation, layer move) with its limits,
// multiplier and snapping, and the set a viewer owns. Switching one option
// on may switch others off (pan and layer move exclude each other).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/win_geometry.h"

// A screen point as the gesture messages carry it.
struct TSmallPoint {
  int16_t x = 0;
  int16_t y = 0;
};

enum TVXGestureFlag : uint8_t { vxgfBegin, vxgfInertia, vxgfEnd };
using TVXGestureFlags = uint8_t;
constexpr TVXGestureFlags VXGestureFlag(TVXGestureFlag f) { return TVXGestureFlags(1u << f); }
enum TVXGestureID : uint8_t {
  vxgiBegin,
  vxgiEnd,
  vxgiZoom,
  vxgiPan,
  vxgiRotate,
  vxgiTwoFingerTap,
  vxgiPressAndTap
};
// (Sender, Flags, ID, Location (screen), Value, InertiaX, InertiaY,
// PressAndTapDistance, Handled).
using TVXVexlaneGestureEvent =
    std::function<void(void* Sender, TVXGestureFlags Flags, TVXGestureID ID, TSmallPoint Location, int32_t Value,
                        int32_t InertiaX, int32_t InertiaY, int32_t PressAndTapDistance, bool& Handled)>;

class TVXGestureOptions {
 public:
  TVXGestureOptions() = default;
  virtual ~TVXGestureOptions() = default;
  TVXGestureOptions(const TVXGestureOptions&) = delete;
  TVXGestureOptions& operator=(const TVXGestureOptions&) = delete;

  bool Enabled() const { return fEnabled; }
  // On switches every option of Disables() off.
  void SetEnabled(bool Value);
  bool Inertia() const { return fInertia; }
  void SetInertia(bool Value) { fInertia = Value; }
  double Multiplier() const { return fMultiplier; }
  void SetMultiplier(double Value) { fMultiplier = Value; }
  bool SnapValues() const { return fSnapValues; }
  void SetSnapValues(bool Value) { fSnapValues = Value; }
  double SnapDelta() const { return fSnapDelta; }
  void SetSnapDelta(double Value) { fSnapDelta = Value; }
  // The options switched off whenever this one is switched on (not owned).
  std::vector<TVXGestureOptions*>& Disables() { return fDisables; }

 protected:
  std::vector<TVXGestureOptions*> fDisables;
  bool fEnabled = false;
  bool fInertia = false;
  double fMultiplier = 1.0;
  bool fSnapValues = false;
  double fSnapDelta = 0;
};

// Options with a box that limits the resulting position.
class TVXGestureBoxOptions : public TVXGestureOptions {
 public:
  TRect BoundingBox() const { return fBoundingBox; }
  void SetBoundingBox(const TRect& Value) { fBoundingBox = Value; }

 protected:
  TRect fBoundingBox{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
};

// Options with limits of the resulting value.
class TVXGestureRangeOptions : public TVXGestureOptions {
 public:
  double Max() const { return fMax; }
  void SetMax(double Value) { fMax = Value; }
  double Min() const { return fMin; }
  void SetMin(double Value) { fMin = Value; }

 protected:
  double fMax = 1.7976931348623157E308;
  double fMin = -1.7976931348623157E308;
};

class TVXGesturePanOptions : public TVXGestureBoxOptions {};
class TVXGestureLayerMoveOptions : public TVXGestureBoxOptions {};
class TVXGestureZoomOptions : public TVXGestureRangeOptions {};
class TVXGestureLayerRotateOptions : public TVXGestureRangeOptions {};

// The gesture options of a viewer; all four start disabled.
class TVXViewerGestures {
 public:
  TVXViewerGestures();
  TVXViewerGestures(const TVXViewerGestures&) = delete;
  TVXViewerGestures& operator=(const TVXViewerGestures&) = delete;

  TVXGesturePanOptions* Pan() { return &fPan; }
  TVXGestureZoomOptions* Zoom() { return &fZoom; }
  TVXGestureLayerRotateOptions* LayerRotate() { return &fLayerRotate; }
  TVXGestureLayerMoveOptions* LayerMove() { return &fLayerMove; }
  // Any of the four is enabled.
  bool Enabled() const {
    return fPan.Enabled() || fZoom.Enabled() || fLayerRotate.Enabled() || fLayerMove.Enabled();
  }

 private:
  TVXGesturePanOptions fPan;
  TVXGestureZoomOptions fZoom;
  TVXGestureLayerRotateOptions fLayerRotate;
  TVXGestureLayerMoveOptions fLayerMove;
};
