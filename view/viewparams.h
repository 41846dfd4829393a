// The option objects of the viewers' scroll bars and mouse wheel, shared by
// the single-image and the thumbnail viewer.
#pragma once
#include <cstdint>

// Which scroll bars a viewer may show.
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

class TVXScrollBarParams {
 public:
  // Arrow step in bitmap pixels; -1: one bitmap pixel.
  int32_t LineStep() const { return fLineStep; }
  void SetLineStep(int32_t v) { fLineStep = v; }
  // Page step in bitmap pixels; -1: one client page.
  int32_t PageStep() const { return fPageStep; }
  void SetPageStep(int32_t v) { fPageStep = v; }
  // Scroll while the thumb is dragged.
  bool Tracking() const { return fTracking; }
  void SetTracking(bool v) { fTracking = v; }

  int32_t fLineStep = -1;
  int32_t fPageStep = -1;
  bool fTracking = true;
};

enum TVXMouseWheelParamsAction : uint8_t { vxmwNone, vxmwVScroll, vxmwZoom, vxmwNavigate };
enum TVXMouseWheelParamsVariation : uint8_t { vxmwAbsolute, vxmwPercentage };
enum TVXMouseWheelParamsZoomPosition : uint8_t { vxmwCenter, vxmwMouse };

class TVXMouseWheelParams {
 public:
  explicit TVXMouseWheelParams(TVXMouseWheelParamsAction Action_) : Action(Action_) {}
  void Assign(const TVXMouseWheelParams& Source) {
    InvertDirection = Source.InvertDirection;
    Action = Source.Action;
    Variation = Source.Variation;
    Value = Source.Value;
    ZoomPosition = Source.ZoomPosition;
  }

  bool InvertDirection = false;
  TVXMouseWheelParamsAction Action;
  TVXMouseWheelParamsVariation Variation = vxmwPercentage;
  int32_t Value = 8;
  TVXMouseWheelParamsZoomPosition ZoomPosition = vxmwCenter;
};
