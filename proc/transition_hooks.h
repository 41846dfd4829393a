#pragma once
// The transition engine as the processing component reaches it.
//
// TVexlaneProc::PrepareTransitionBitmaps(Ex) and CreateTransitionBitmap make
// frames of the viewer's transition effects between two platform bitmaps
// without a viewer on screen. The engine lives in the viewer library (view/),
// above the processing library: its start-up fills VXTransitionHooks with a
// factory, and the component owns the frame maker it makes. Without it the
// two preparing calls raise EVXException.
//
// The effect and timing types are declared here, below the viewer, which
// uses them as its own.

#include <cstdint>
#include <memory>

#include "gui/graphics_types.h"
#include "platform/win_geometry.h"

class TBitmap;
class TVXBitmap;

// The transition effects: none (0), the 249 effects of the catalogue and
// pan-and-zoom (250).
enum TVXTransitionType : int32_t {
  vxttNone = 0,
  vxttCrossDissolve = 1,
  vxttFadeOut,
  vxttFadeIn,
  vxttFadeOutIn,
  vxttLeftRight1,
  vxttLeftRight2,
  vxttRightLeft1,
  vxttRightLeft2,
  vxttUpDown1,
  vxttUpDown2,
  vxttDownUp1,
  vxttDownUp2,
  vxttFromUpLeft,
  vxttFromUpRight,
  vxttFromBottomLeft,
  vxttFromBottomRight,
  vxttMoveLeftRight1,
  vxttMoveLeftRight2,
  vxttMoveRightLeft1,
  vxttMoveRightLeft2,
  vxttMoveUpDown1,
  vxttMoveUpDown2,
  vxttMoveDownUp1,
  vxttMoveDownUp2,
  vxttRandomPoints,
  vxttRandomBoxes,
  vxttCenter1,
  vxttCenter2,
  vxttCenterZoom1,
  vxttCenterZoom2,
  vxttExpandFromLeft,
  vxttExpandFromRight,
  vxttExpandFromTop,
  vxttExpandFromBottom,
  vxttExpandFromTopLeft,
  vxttExpandFromTopRight,
  vxttExpandFromBottomLeft,
  vxttExpandFromBottomRight,
  vxttExpandInFromLeft,
  vxttExpandInFromRight,
  vxttExpandInFromTop,
  vxttExpandInFromBottom,
  vxttExpandInToVerticalCenter,
  vxttExpandInToHorizon,
  vxttExpandInFromSides,
  vxttExpandInFromTopAndBottom,
  vxttExpandOutFromHorizon,
  vxttExpandOutFromVerticalCenter,
  vxttWipeFromTopLeft,
  vxttWipeFromTopRight,
  vxttWipeFromBottomLeft,
  vxttWipeFromBottomRight,
  vxttWipeInFromTopAndBottom,
  vxttWipeFromHorizon,
  vxttWipeInFromSides,
  vxttWipeOutFromVerticalCenter,
  vxttBuildUpFromLeft,
  vxttBuildUpFromRight,
  vxttBuildUpFromTop,
  vxttBuildUpFromBottom,
  vxttUnrollFromLeft,
  vxttUnrollFromRight,
  vxttUnrollFromTop,
  vxttUnrollFromBottom,
  vxttSlideInFromLeft,
  vxttSlideInFromRight,
  vxttSlideInFromTop,
  vxttSlideInFromBottom,
  vxttShrinkToTopLeft,
  vxttShrinkToTopRight,
  vxttShrinkToBottomLeft,
  vxttShrinkToBottomRight,
  vxttShrinkToCenter,
  vxttQuartersWipeInToCenter,
  vxttQuartersExpandToCenter,
  vxttQuartersSlideInToCenter,
  vxttCurvedWipeFromLeft,
  vxttCurvedWipeFromRight,
  vxttCurvedWipeFromTop,
  vxttCurvedWipeFromBottom,
  vxttCurvedWipeFromTopLeft,
  vxttCurvedWipeFromTopRight,
  vxttCurvedWipeFromBottomLeft,
  vxttCurvedWipeFromBottomRight,
  vxttBarsInFromLeft,
  vxttBarsInFromRight,
  vxttBarsFromTop,
  vxttBarsFromBottom,
  vxttBarsLeftThenRight,
  vxttBarsRightThenLeft,
  vxttBarsTopThenBottom,
  vxttBarsBottomThenTop,
  vxttBarsFromBothSides,
  vxttBarsFromTopAndBottom,
  vxttShreddedFromLeft,
  vxttShreddedFromRight,
  vxttShreddedFromTop,
  vxttShreddedFromBottom,
  vxttShreddedFromTopAndLeft,
  vxttShreddedFromTopAndRight,
  vxttShreddedFromBottomAndLeft,
  vxttShreddedFromBottomAndRight,
  vxttShreddedFromHorizonAndLeft,
  vxttShreddedFromHorizonAndRight,
  vxttShreddedFromTopAndVerticalCenter,
  vxttShreddedFromBottomAndVerticalCenter,
  vxttShreddedFromCenter,
  vxttShreddedToCenter,
  vxttShreddedInToHorizon,
  vxttShreddedInToVerticalCenter,
  vxttShreddedOutFromHorizon,
  vxttShreddedOutFromVerticalCenter,
  vxttExpandingRectangles,
  vxttExpandingTriangles,
  vxttExpandingCircles,
  vxttExpandingDiamonds,
  vxttCircularWipeFromCenter,
  vxttCircularWipeToCenter,
  vxttCrisscrossWipeFromTopLeft,
  vxttCrisscrossWipeFromTopRight,
  vxttCrisscrossWipeFromBottomLeft,
  vxttCrisscrossWipeFromBottomRight,
  vxttCrisscrossWipeBounceFromTopLeft,
  vxttCrisscrossWipeBounceFromTopRight,
  vxttCrisscrossWipeBounceFromBottomLeft,
  vxttCrisscrossWipeBounceFromBottomRight,
  vxttCrisscrossWipeFromLeftRightAndTop,
  vxttCrisscrossWipeFromLeftRightAndBottom,
  vxttCrisscrossWipeFromLeftTopAndBottom,
  vxttCrisscrossWipeFromTopLeftRightAndBottom,
  vxttCrisscrossWipeFromRightTopAndBottom,
  vxttCrisscrossWipeFromBottomLeftTopRight,
  vxttWipeDiagonalFromTopLeft,
  vxttWipeDiagonalFromTopRight,
  vxttWipeDiagonalFromBottomLeft,
  vxttWipeDiagonalFromBottomRight,
  vxttDiagonalSweepClockwise,
  vxttDiagonalSweepCounterClockwise,
  vxttSweepClockwise,
  vxttSweepCounterClockwise,
  vxttStarburstClockwiseFromCenter,
  vxttStarburstCounterClockwiseFromCenter,
  vxttRotationalRectangle,
  vxttRotationalRectangleCounterClockwise,
  vxttRotationalStar,
  vxttRotationalStarCounterClockwise,
  vxttSpeckledWipeFromLeft,
  vxttSpeckledWipeFromRight,
  vxttSpeckledWipeFromTop,
  vxttSpeckledWipeFromBottom,
  vxttPushLeftAndSlideOut,
  vxttPushRightAndSlideOut,
  vxttPushUpAndSlideOut,
  vxttPushDownAndSlideOut,
  vxttPushAndSqueezeLeft,
  vxttPushAndSqueezeRight,
  vxttPushAndSqueezeUp,
  vxttPushAndSqueezeDown,
  vxttHorizontalBlinds,
  vxttVerticalBlinds,
  vxttUnevenBlindsFromLeft,
  vxttUnevenBlindsFromRight,
  vxttUnevenBlindsFromTop,
  vxttUnevenBlindsFromBottom,
  vxttRectanglesFromTheLeft,
  vxttRectanglesFromTheRight,
  vxttRectanglesFromTheTop,
  vxttRectanglesFromTheBottom,
  vxttSpirallingRectangleClockwise,
  vxttSpirallingRectangleCounterClockwise,
  vxttArrowWipeFromLeft,
  vxttArrowWipeFromRight,
  vxttArrowWipeFromTop,
  vxttArrowWipeFromBottom,
  vxttHorizontalBowTieWipe,
  vxttVerticalBowTieWipe,
  vxttDiagonalCrossFromCenter,
  vxttDiagonalCrossToCenter,
  vxttZigzagWipeFromHorizon,
  vxttZigzagWipeFromVerticalCenter,
  vxttDiamondWipeFromCenter,
  vxttDiamondWipeToCenter,
  vxttDiagonalBoxWipe,
  vxttTriangularWipe,
  vxttRandomBigBoxes,
  vxttPageFlip,
  vxttPageFlip2,
  vxttReversePageFlip,
  vxttReversePageFlip2,
  vxttZigzagWipeToHorizon,
  vxttZigzagWipeToVerticalCenter,
  vxttRandomHearts,
  vxttRandomStar5s,
  vxttRandomStar6s,
  vxttRandomExplosions,
  vxttExpandingHearts,
  vxttExpandingStar5,
  vxttExpandingStar6,
  vxttExpandingExplosions,
  vxttExpandingLightningBolts,
  vxttHeartWipeOut,
  vxttHeartWipeIn,
  vxttStar5WipeOut,
  vxttStar5WipeIn,
  vxttStar6WipeOut,
  vxttStar6WipeIn,
  vxttExplosionWipeOut,
  vxttExplosionWipeIn,
  vxttCrossWipeOut,
  vxttCrossWipeIn,
  vxttHeartWipeInAndOut,
  vxttStar5WipeInAndOut,
  vxttStar6WipeInAndOut,
  vxttExplosionWipeInAndOut,
  vxttCubeRotateFromLeft,
  vxttCubeRotateFromRight,
  vxttCubeRotateFromTop,
  vxttCubeRotateFromBottom,
  vxttSoftWipeFromLeft,
  vxttSoftWipeFromRight,
  vxttSoftWipeFromTop,
  vxttSoftWipeFromBottom,
  vxttAngledTwistIn,
  vxttAngledTwistOut,
  vxttMultipleAngledTwistIn,
  vxttMultipleAngledTwistOut,
  vxttRandomPuzzlePieces,
  vxttPacmanFromLeft,
  vxttPacmanFromRight,
  vxttPacman3Row,
  vxttPacman4Row,
  vxttPacman2SimRow,
  vxttPacman4SimRow,
  vxttPacman6SimRow,
  vxttFullSweepClockwise,
  vxttExpandingSweepClockwise,
  vxttCubeRotateFromLeft2,
  vxttCubeRotateFromRight2,
  vxttCubeRotateFromTop2,
  vxttCubeRotateFromBottom2,
  vxttRandomBoxesWithWord,
  vxttRandomWord,
  vxttExpandingWord,
  vxttWordWipeOut,
  vxttWordWipeIn,
  vxttWordWipeInAndOut,
  vxttWordHalfSweep,
  vxttWordFullSweep,
  vxttWordFullExpandingSweep,
  vxttPanZoom = 250
};

// The progress curve of a timed run.
enum TVXTransitionTiming : int32_t { vxttLinear, vxttExponential, vxttLogarithmic };

// What the component uses of the engine: the effect, the curve, the colour
// uncovered areas take, and for pan-and-zoom the full image (not owned) with
// the start and end rectangles in its coordinates; then the two pictures
// (24-bit platform bitmaps of one size) and frames at a percentage.
class TVXTransitionFrameMaker {
 public:
  TVXTransitionFrameMaker() = default;
  virtual ~TVXTransitionFrameMaker() = default;
  TVXTransitionFrameMaker(const TVXTransitionFrameMaker&) = delete;
  TVXTransitionFrameMaker& operator=(const TVXTransitionFrameMaker&) = delete;

  virtual TVXTransitionType Transition() const = 0;
  virtual void SetTransition(TVXTransitionType Value) = 0;
  virtual TVXTransitionTiming Timing() const = 0;
  virtual void SetTiming(TVXTransitionTiming Value) = 0;
  virtual TColor Background() const = 0;
  virtual void SetBackground(TColor Value) = 0;
  virtual TVXBitmap* FullImage() const = 0;
  virtual void SetFullImage(TVXBitmap* Value) = 0;
  virtual TRect StartRect() const = 0;
  virtual void SetStartRect(const TRect& Value) = 0;
  virtual TRect EndRect() const = 0;
  virtual void SetEndRect(const TRect& Value) = 0;
  // Takes copies of the two pictures for the frames that follow.
  virtual void PrepareBitmap(TBitmap* OriginalBitmap, TBitmap* TargetBitmap) = 0;
  // The frame at TransitionProgress per cent (0 .. 100) into DestBitmap,
  // which takes the frame's size and 24 bits.
  virtual void CreateBitmap(float TransitionProgress, TBitmap* DestBitmap) = 0;
};

struct TVXTransitionHooks {
  // A new engine without owner; empty slot: no engine is linked.
  std::unique_ptr<TVXTransitionFrameMaker> (*CreateFrameMaker)() = nullptr;
};

extern constinit TVXTransitionHooks VXTransitionHooks;
