#pragma once
// Blend operations: the 44 ways of combining a source colour with a
// destination colour, used by the row renderers, the merge with alpha and
// the viewer's layers.

#include <cstdint>

#include "core/pixels.h"

// Stored in one byte; values of 44 and above leave the destination unchanged.
enum TVXRenderOperation : uint8_t {
  vxlNormal,
  vxlAdd,
  vxlSub,
  vxlDiv,
  vxlMul,
  vxlOR,
  vxlAND,
  vxlXOR,
  vxlMAX,
  vxlMIN,
  vxlAverage,
  vxlScreen,
  vxlNegation,
  vxlExclusion,
  vxlOverlay,
  vxlHardLight,
  vxlSoftLight,
  vxlXFader,
  vxlColorEdge,
  vxlColorBurn,
  vxlInverseColorDodge,
  vxlInverseColorBurn,
  vxlSoftDodge,
  vxlSoftBurn,
  vxlReflect,
  vxlGlow,
  vxlFreeze,
  vxlEat,
  vxlSubtractive,
  vxlInterpolation,
  vxlStamp,
  vxlRed,
  vxlGreen,
  vxlBlue,
  vxlHue,
  vxlSaturation,
  vxlColor,
  vxlLuminosity,
  vxlStereoBW,
  vxlStereoColor,
  vxlStereoColorDubois,
  vxlStereoEven,
  vxlStereoOdd,
  vxlLuminosity2
};
constexpr int VXRenderOperationCount = 44;

// Combines *Src into *Dst in place. Row is the destination row (read by the
// even/odd stereo operations only).
void VXBlendPixels(const TRGB* Src, TRGB* Dst, TVXRenderOperation Op, int32_t Row);
// The same through local copies of both pixels.
void VXBlendPixelCopies(TRGB* Src, TRGB* Dst, TVXRenderOperation Op, int32_t Row);

// Builds the cosine ramp t[i] = Round(64 - 64 cos(i pi / 255)) used by
// vxlInterpolation; the library start-up runs it.
void VXBuildCosineTable();
// The table (all 0 until built).
const int32_t* VXCosineTable();
