// The transition catalogue, the frame dispatcher and the routines the frame
// routines share.
#include "view/transition_catalogue.h"

#include <algorithm>
#include <cmath>

#include "core/bitmap.h"
#include "core/random.h"
#include "core/vxdefs.h"
#include "gui/graphics.h"
#include "view/transition_block_effects.h"
#include "view/transition_region_effects.h"
#include "winui/gdi.h"

// clang-format off
const TEffect VXTransitionEffectCatalogue[249] = {
    {"Cross Fade", tcGeneral, true},  // vxttCrossDissolve
    {"Fade Out", tcUnattractive, false},  // vxttFadeOut
    {"Fade In", tcUnattractive, false},  // vxttFadeIn
    {"Fade Out then In", tcGeneral, false},  // vxttFadeOutIn
    {"Wipe Left to Right", tcWipes, true},  // vxttLeftRight1
    {"Wipe Left to Right 2", tcWipes, true},  // vxttLeftRight2
    {"Wipe Right to Left", tcWipes, true},  // vxttRightLeft1
    {"Wipe Right to Left 2", tcWipes, true},  // vxttRightLeft2
    {"Wipe Top to Bottom", tcWipes, true},  // vxttUpDown1
    {"Wipe Top to Bottom 2", tcWipes, true},  // vxttUpDown2
    {"Wipe Bottom to Top", tcWipes, true},  // vxttDownUp1
    {"Wipe Bottom to Top 2", tcWipes, true},  // vxttDownUp2
    {"Slide from Top Left", tcSlides, false},  // vxttFromUpLeft
    {"Slide from Top Right", tcSlides, false},  // vxttFromUpRight
    {"Slide from Bottom Left", tcSlides, false},  // vxttFromBottomLeft
    {"Slide from Bottom Right", tcSlides, false},  // vxttFromBottomRight
    {"Push Left to Right", tcPushes, false},  // vxttMoveLeftRight1
    {"Slide Out Left to Right", tcSlides, false},  // vxttMoveLeftRight2
    {"Push Right to Left", tcPushes, false},  // vxttMoveRightLeft1
    {"Slide Out Right to Left", tcSlides, false},  // vxttMoveRightLeft2
    {"Push Top to Bottom", tcPushes, false},  // vxttMoveUpDown1
    {"Slide Out Top to Bottom", tcSlides, false},  // vxttMoveUpDown2
    {"Push Bottom to Top", tcPushes, false},  // vxttMoveDownUp1
    {"Slide Out Bottom to Top", tcSlides, false},  // vxttMoveDownUp2
    {"Random Points", tcRandoms, true},  // vxttRandomPoints
    {"Random Boxes", tcRandoms, true},  // vxttRandomBoxes
    {"Wipe Out from Center", tcWipes, true},  // vxttCenter1
    {"Wipe In to Center", tcWipes, true},  // vxttCenter2
    {"Expand Out from Center", tcExpands, false},  // vxttCenterZoom1
    {"Expand In to Center", tcExpands, false},  // vxttCenterZoom2
    {"Expand from Left", tcExpands, false},  // vxttExpandFromLeft
    {"Expand from Right", tcExpands, false},  // vxttExpandFromRight
    {"Expand from Top", tcExpands, false},  // vxttExpandFromTop
    {"Expand from Bottom", tcExpands, false},  // vxttExpandFromBottom
    {"Expand from Top Left", tcExpands, false},  // vxttExpandFromTopLeft
    {"Expand from Top Right", tcExpands, false},  // vxttExpandFromTopRight
    {"Expand from Bottom Left", tcExpands, false},  // vxttExpandFromBottomLeft
    {"Expand from Bottom Right", tcExpands, false},  // vxttExpandFromBottomRight
    {"Expand in from Left", tcExpands, false},  // vxttExpandInFromLeft
    {"Expand in from Right", tcExpands, false},  // vxttExpandInFromRight
    {"Expand in from Top", tcExpands, false},  // vxttExpandInFromTop
    {"Expand in from Bottom", tcExpands, false},  // vxttExpandInFromBottom
    {"Expand in to Vertical Center", tcExpands, false},  // vxttExpandInToVerticalCenter
    {"Expand in to Horizon", tcExpands, false},  // vxttExpandInToHorizon
    {"Expand in from Sides", tcExpands, false},  // vxttExpandInFromSides
    {"Expand in from Top and Bottom", tcExpands, false},  // vxttExpandInFromTopAndBottom
    {"Expand out from Horizon", tcExpands, false},  // vxttExpandOutFromHorizon
    {"Expand out from Vertical Center", tcExpands, false},  // vxttExpandOutFromVerticalCenter
    {"Wipe from Top Left", tcWipes, true},  // vxttWipeFromTopLeft
    {"Wipe from Top Right", tcWipes, true},  // vxttWipeFromTopRight
    {"Wipe from Bottom Left", tcWipes, true},  // vxttWipeFromBottomLeft
    {"Wipe from Bottom Right", tcWipes, true},  // vxttWipeFromBottomRight
    {"Wipe in from Top and Bottom", tcWipes, true},  // vxttWipeInFromTopAndBottom
    {"Wipe from Horizon", tcWipes, true},  // vxttWipeFromHorizon
    {"Wipe in from Sides", tcWipes, true},  // vxttWipeInFromSides
    {"Wipe out from Vertical Center", tcWipes, true},  // vxttWipeOutFromVerticalCenter
    {"Build up from Left", tcOther, false},  // vxttBuildUpFromLeft
    {"Build up from Right", tcOther, false},  // vxttBuildUpFromRight
    {"Build up from Top", tcOther, false},  // vxttBuildUpFromTop
    {"Build up from Bottom", tcOther, false},  // vxttBuildUpFromBottom
    {"Unroll from Left", tcSpecialWipes, true},  // vxttUnrollFromLeft
    {"Unroll from Right", tcSpecialWipes, true},  // vxttUnrollFromRight
    {"Unroll from Top", tcSpecialWipes, true},  // vxttUnrollFromTop
    {"Unroll from Bottom", tcSpecialWipes, true},  // vxttUnrollFromBottom
    {"Slide in from Left", tcSlides, false},  // vxttSlideInFromLeft
    {"Slide in from Right", tcSlides, false},  // vxttSlideInFromRight
    {"Slide in from Top", tcSlides, false},  // vxttSlideInFromTop
    {"Slide in from Bottom", tcSlides, false},  // vxttSlideInFromBottom
    {"Shrink to Top Left", tcShrinks, false},  // vxttShrinkToTopLeft
    {"Shrink to Top Right", tcShrinks, false},  // vxttShrinkToTopRight
    {"Shrink to Bottom Left", tcShrinks, false},  // vxttShrinkToBottomLeft
    {"Shrink to Bottom Right", tcShrinks, false},  // vxttShrinkToBottomRight
    {"Shrink to Center", tcShrinks, false},  // vxttShrinkToCenter
    {"Quarters Wipe in to Center", tcWipes, true},  // vxttQuartersWipeInToCenter
    {"Quarters Expand to Center", tcExpands, false},  // vxttQuartersExpandToCenter
    {"Quarters Slide in to Center", tcSlides, false},  // vxttQuartersSlideInToCenter
    {"Curved Wipe from Left", tcCurvedWipes, true},  // vxttCurvedWipeFromLeft
    {"Curved Wipe from Right", tcCurvedWipes, true},  // vxttCurvedWipeFromRight
    {"Curved Wipe from Top", tcCurvedWipes, true},  // vxttCurvedWipeFromTop
    {"Curved Wipe from Bottom", tcCurvedWipes, true},  // vxttCurvedWipeFromBottom
    {"Curved Wipe from Top Left", tcCurvedWipes, true},  // vxttCurvedWipeFromTopLeft
    {"Curved Wipe from Top Right", tcCurvedWipes, true},  // vxttCurvedWipeFromTopRight
    {"Curved Wipe from Bottom Left", tcCurvedWipes, true},  // vxttCurvedWipeFromBottomLeft
    {"Curved Wipe from Bottom Right", tcCurvedWipes, true},  // vxttCurvedWipeFromBottomRight
    {"Bars in from Left", tcBars, true},  // vxttBarsInFromLeft
    {"Bars in from Right", tcBars, true},  // vxttBarsInFromRight
    {"Bars from Top", tcBars, true},  // vxttBarsFromTop
    {"Bars from Bottom", tcBars, true},  // vxttBarsFromBottom
    {"Bars Left then Right", tcBars, true},  // vxttBarsLeftThenRight
    {"Bars Right then Left", tcBars, true},  // vxttBarsRightThenLeft
    {"Bars Top then Bottom", tcBars, true},  // vxttBarsTopThenBottom
    {"Bars Bottom then Top", tcBars, true},  // vxttBarsBottomThenTop
    {"Bars from both Sides", tcBars, true},  // vxttBarsFromBothSides
    {"Bars from Top and Bottom", tcBars, true},  // vxttBarsFromTopAndBottom
    {"Shredded from Left", tcShreds, true},  // vxttShreddedFromLeft
    {"Shredded from Right", tcShreds, true},  // vxttShreddedFromRight
    {"Shredded from Top", tcShreds, true},  // vxttShreddedFromTop
    {"Shredded from Bottom", tcShreds, true},  // vxttShreddedFromBottom
    {"Shredded from Top and Left", tcShreds, true},  // vxttShreddedFromTopAndLeft
    {"Shredded from Top and Right", tcShreds, true},  // vxttShreddedFromTopAndRight
    {"Shredded from Bottom and Left", tcShreds, true},  // vxttShreddedFromBottomAndLeft
    {"Shredded from Bottom and Right", tcShreds, true},  // vxttShreddedFromBottomAndRight
    {"Shredded from Horizon and Left", tcShreds, true},  // vxttShreddedFromHorizonAndLeft
    {"Shredded from Horizon and Right", tcShreds, true},  // vxttShreddedFromHorizonAndRight
    {"Shredded from Top and Vertical Center", tcShreds, true},  // vxttShreddedFromTopAndVerticalCenter
    {"Shredded from Bottom and Vertical Center", tcShreds, true},  // vxttShreddedFromBottomAndVerticalCenter
    {"Shredded from Center", tcShreds, true},  // vxttShreddedFromCenter
    {"Shredded to Center", tcShreds, true},  // vxttShreddedToCenter
    {"Shredded in to Horizon", tcShreds, true},  // vxttShreddedInToHorizon
    {"Shredded in to Vertical Center", tcShreds, true},  // vxttShreddedInToVerticalCenter
    {"Shredded out from Horizon", tcShreds, true},  // vxttShreddedOutFromHorizon
    {"Shredded out from Vertical Center", tcShreds, true},  // vxttShreddedOutFromVerticalCenter
    {"Expanding Rectangles", tcMultiExpanders, true},  // vxttExpandingRectangles
    {"Expanding Triangles", tcMultiExpanders, true},  // vxttExpandingTriangles
    {"Expanding Circles", tcMultiExpanders, true},  // vxttExpandingCircles
    {"Expanding Diamonds", tcMultiExpanders, true},  // vxttExpandingDiamonds
    {"Circular Wipe from Center", tcCenterWipes, true},  // vxttCircularWipeFromCenter
    {"Circular Wipe to Center", tcCenterWipes, true},  // vxttCircularWipeToCenter
    {"Crisscross Wipe from Top Left", tcBars, true},  // vxttCrisscrossWipeFromTopLeft
    {"Crisscross Wipe from Top Right", tcBars, true},  // vxttCrisscrossWipeFromTopRight
    {"Crisscross Wipe from Bottom Left", tcBars, true},  // vxttCrisscrossWipeFromBottomLeft
    {"Crisscross Wipe from Bottom Right", tcBars, true},  // vxttCrisscrossWipeFromBottomRight
    {"Crisscross Wipe Bounce from Top Left", tcBars, true},  // vxttCrisscrossWipeBounceFromTopLeft
    {"Crisscross Wipe Bounce from Top Right", tcBars, true},  // vxttCrisscrossWipeBounceFromTopRight
    {"Crisscross Wipe Bounce from Bottom Left", tcBars, true},  // vxttCrisscrossWipeBounceFromBottomLeft
    {"Crisscross Wipe Bounce from Bottom Right", tcBars, true},  // vxttCrisscrossWipeBounceFromBottomRight
    {"Crisscross Wipe from Left Right and Top", tcBars, true},  // vxttCrisscrossWipeFromLeftRightAndTop
    {"Crisscross Wipe from Left Right and Bottom", tcBars, true},  // vxttCrisscrossWipeFromLeftRightAndBottom
    {"Crisscross Wipe from Left Top and Bottom", tcBars, true},  // vxttCrisscrossWipeFromLeftTopAndBottom
    {"Crisscross Wipe from Top Left Right and Bottom", tcBars, true},  // vxttCrisscrossWipeFromTopLeftRightAndBottom
    {"Crisscross Wipe from Right Top and Bottom", tcBars, true},  // vxttCrisscrossWipeFromRightTopAndBottom
    {"Crisscross Wipe from Bottom Left Top Right", tcBars, true},  // vxttCrisscrossWipeFromBottomLeftTopRight
    {"Wipe diagonal from Top Left", tcAngledWipes, true},  // vxttWipeDiagonalFromTopLeft
    {"Wipe diagonal from Top Right", tcAngledWipes, true},  // vxttWipeDiagonalFromTopRight
    {"Wipe diagonal from Bottom Left", tcAngledWipes, true},  // vxttWipeDiagonalFromBottomLeft
    {"Wipe diagonal from Bottom Right", tcAngledWipes, true},  // vxttWipeDiagonalFromBottomRight
    {"Diagonal Sweep Clockwise", tcRotates, true},  // vxttDiagonalSweepClockwise
    {"Diagonal Sweep Counter-Clockwise", tcRotates, true},  // vxttDiagonalSweepCounterClockwise
    {"Half Sweep Clockwise", tcRotates, true},  // vxttSweepClockwise
    {"Half Sweep Counter-Clockwise", tcRotates, true},  // vxttSweepCounterClockwise
    {"Starburst Clockwise", tcRotates, true},  // vxttStarburstClockwiseFromCenter
    {"Starburst Counter-Clockwise", tcRotates, true},  // vxttStarburstCounterClockwiseFromCenter
    {"Rotational Rectangle Clockwise", tcRotates, false},  // vxttRotationalRectangle
    {"Rotational Rectangle Counter-Clockwise", tcRotates, false},  // vxttRotationalRectangleCounterClockwise
    {"Rotational Star Clockwise", tcRotates, true},  // vxttRotationalStar
    {"Rotational Star Counter-Clockwise", tcRotates, true},  // vxttRotationalStarCounterClockwise
    {"Speckled Wipe from Left", tcSpecialWipes, true},  // vxttSpeckledWipeFromLeft
    {"Speckled Wipe from Right", tcSpecialWipes, true},  // vxttSpeckledWipeFromRight
    {"Speckled Wipe from Top", tcSpecialWipes, true},  // vxttSpeckledWipeFromTop
    {"Speckled Wipe from Bottom", tcSpecialWipes, true},  // vxttSpeckledWipeFromBottom
    {"Push Left and Slide out", tcPushes, false},  // vxttPushLeftAndSlideOut
    {"Push Right and Slide out", tcPushes, false},  // vxttPushRightAndSlideOut
    {"Push up and Slide out", tcPushes, false},  // vxttPushUpAndSlideOut
    {"Push down and Slide out", tcPushes, false},  // vxttPushDownAndSlideOut
    {"Push and Squeeze Left", tcPushes, false},  // vxttPushAndSqueezeLeft
    {"Push and Squeeze Right", tcPushes, false},  // vxttPushAndSqueezeRight
    {"Push and Squeeze up", tcPushes, false},  // vxttPushAndSqueezeUp
    {"Push and Squeeze down", tcPushes, false},  // vxttPushAndSqueezeDown
    {"Horizontal Blinds", tcOther, true},  // vxttHorizontalBlinds
    {"Vertical Blinds", tcOther, true},  // vxttVerticalBlinds
    {"Uneven Blinds from Left", tcOther, true},  // vxttUnevenBlindsFromLeft
    {"Uneven Blinds from Right", tcOther, true},  // vxttUnevenBlindsFromRight
    {"Uneven Blinds from Top", tcOther, true},  // vxttUnevenBlindsFromTop
    {"Uneven Blinds from Bottom", tcOther, true},  // vxttUnevenBlindsFromBottom
    {"Wide Bars from the Left", tcBars, true},  // vxttRectanglesFromTheLeft
    {"Wide Bars from the Right", tcBars, true},  // vxttRectanglesFromTheRight
    {"Wide Bars from the Top", tcBars, true},  // vxttRectanglesFromTheTop
    {"Wide Bars from the Bottom", tcBars, true},  // vxttRectanglesFromTheBottom
    {"Spiralling Rectangle Clockwise", tcRotates, false},  // vxttSpirallingRectangleClockwise
    {"Spiralling Rectangle Counter-Clockwise", tcRotates, false},  // vxttSpirallingRectangleCounterClockwise
    {"Arrow Wipe from Left", tcAngledWipes, true},  // vxttArrowWipeFromLeft
    {"Arrow Wipe from Right", tcAngledWipes, true},  // vxttArrowWipeFromRight
    {"Arrow Wipe from Top", tcAngledWipes, true},  // vxttArrowWipeFromTop
    {"Arrow Wipe from Bottom", tcAngledWipes, true},  // vxttArrowWipeFromBottom
    {"Horizontal Bow Tie Wipe", tcAngledWipes, true},  // vxttHorizontalBowTieWipe
    {"Vertical Bow Tie Wipe", tcAngledWipes, true},  // vxttVerticalBowTieWipe
    {"Diagonal Cross from Center", tcCenterWipes, true},  // vxttDiagonalCrossFromCenter
    {"Diagonal Cross to Center", tcCenterWipes, true},  // vxttDiagonalCrossToCenter
    {"Zigzag Wipe from Horizon", tcAngledWipes, true},  // vxttZigzagWipeFromHorizon
    {"Zigzag Wipe from Vertical Center", tcAngledWipes, true},  // vxttZigzagWipeFromVerticalCenter
    {"Diamond Wipe from Center", tcCenterWipes, true},  // vxttDiamondWipeFromCenter
    {"Diamond Wipe to Center", tcCenterWipes, true},  // vxttDiamondWipeToCenter
    {"Diamond Wipe In and Out", tcInAndOuts, true},  // vxttDiagonalBoxWipe
    {"Rotational Triangular Wipe", tcRotates, true},  // vxttTriangularWipe
    {"Random Big Boxes", tcRandoms, true},  // vxttRandomBigBoxes
    {"Page Flip", tcGeneral, false},  // vxttPageFlip
    {"3D Page Flip", tcGeneral, false},  // vxttPageFlip2
    {"Reverse Page Flip", tcGeneral, false},  // vxttReversePageFlip
    {"3D Reverse Page Flip", tcGeneral, false},  // vxttReversePageFlip2
    {"Zigzag Wipe To Horizon", tcAngledWipes, true},  // vxttZigzagWipeToHorizon
    {"Zigzag Wipe To Vertical Center", tcAngledWipes, true},  // vxttZigzagWipeToVerticalCenter
    {"Random Hearts", tcRandoms, true},  // vxttRandomHearts
    {"Random 5 Pointed Stars", tcRandoms, true},  // vxttRandomStar5s
    {"Random 6 Pointed Stars", tcRandoms, true},  // vxttRandomStar6s
    {"Random Explosions", tcRandoms, true},  // vxttRandomExplosions
    {"Expanding Hearts", tcMultiExpanders, true},  // vxttExpandingHearts
    {"Expanding 5 Pointed Stars", tcMultiExpanders, true},  // vxttExpandingStar5
    {"Expanding 6 Pointed Stars", tcMultiExpanders, true},  // vxttExpandingStar6
    {"Expanding Explosions", tcMultiExpanders, true},  // vxttExpandingExplosions
    {"Expanding Lightning Bolts", tcMultiExpanders, true},  // vxttExpandingLightningBolts
    {"Heart Wipe from Center", tcCenterWipes, true},  // vxttHeartWipeOut
    {"Heart Wipe to Center", tcCenterWipes, true},  // vxttHeartWipeIn
    {"5 Pointed Star Wipe from Center", tcCenterWipes, true},  // vxttStar5WipeOut
    {"5 Pointed Star Wipe to Center", tcCenterWipes, true},  // vxttStar5WipeIn
    {"6 Pointed Star Wipe from Center", tcCenterWipes, true},  // vxttStar6WipeOut
    {"6 Pointed Star Wipe to Center", tcCenterWipes, true},  // vxttStar6WipeIn
    {"Explosion Wipe from Center", tcCenterWipes, true},  // vxttExplosionWipeOut
    {"Explosion Wipe to Center", tcCenterWipes, true},  // vxttExplosionWipeIn
    {"Cross Wipe from Center", tcCenterWipes, true},  // vxttCrossWipeOut
    {"Cross Wipe to Center", tcCenterWipes, true},  // vxttCrossWipeIn
    {"Heart Wipe In and Out", tcInAndOuts, true},  // vxttHeartWipeInAndOut
    {"5 Pointed Star Wipe In and Out", tcInAndOuts, true},  // vxttStar5WipeInAndOut
    {"6 Pointed Star Wipe In and Out", tcInAndOuts, true},  // vxttStar6WipeInAndOut
    {"Explosion Wipe In and Out", tcInAndOuts, true},  // vxttExplosionWipeInAndOut
    {"Cube Rotate from Left", tcGeneral, true},  // vxttCubeRotateFromLeft
    {"Cube Rotate from Right", tcGeneral, true},  // vxttCubeRotateFromRight
    {"Cube Rotate from Top", tcGeneral, true},  // vxttCubeRotateFromTop
    {"Cube Rotate from Bottom", tcGeneral, true},  // vxttCubeRotateFromBottom
    {"Soft Wipe from Left", tcSpecialWipes, true},  // vxttSoftWipeFromLeft
    {"Soft Wipe from Right", tcSpecialWipes, true},  // vxttSoftWipeFromRight
    {"Soft Wipe from Top", tcSpecialWipes, true},  // vxttSoftWipeFromTop
    {"Soft Wipe from Bottom", tcSpecialWipes, true},  // vxttSoftWipeFromBottom
    {"Twist In", tcAngledWipes, true},  // vxttAngledTwistIn
    {"Twist Out", tcAngledWipes, true},  // vxttAngledTwistOut
    {"Multiple Twist In", tcAngledWipes, true},  // vxttMultipleAngledTwistIn
    {"Multiple Twist Out", tcAngledWipes, true},  // vxttMultipleAngledTwistOut
    {"Random Puzzle Pieces", tcRandoms, true},  // vxttRandomPuzzlePieces
    {"Pacman Devours from Left", tcSpecialWipes, true},  // vxttPacmanFromLeft
    {"Pacman Devours from Right", tcSpecialWipes, true},  // vxttPacmanFromRight
    {"Pacman Devours Three Rows", tcSpecialWipes, true},  // vxttPacman3Row
    {"Pacman Devours Four Rows", tcSpecialWipes, true},  // vxttPacman4Row
    {"Two Simultaneous Rows of Pacman", tcSpecialWipes, true},  // vxttPacman2SimRow
    {"Four Simultaneous Rows of Pacman", tcSpecialWipes, true},  // vxttPacman4SimRow
    {"Six Simultaneous Rows of Pacman", tcSpecialWipes, true},  // vxttPacman6SimRow
    {"Full Sweep Clockwise", tcRotates, true},  // vxttFullSweepClockwise
    {"Expanding Sweep Clockwise", tcRotates, true},  // vxttExpandingSweepClockwise
    {"3D Cube Rotate from Left", tcGeneral, true},  // vxttCubeRotateFromLeft2
    {"3D Cube Rotate from Right", tcGeneral, true},  // vxttCubeRotateFromRight2
    {"3D Cube Rotate from Top", tcGeneral, true},  // vxttCubeRotateFromTop2
    {"3D Cube Rotate from Bottom", tcGeneral, true},  // vxttCubeRotateFromBottom2
    {"Random Boxes with Word", tcWordEffects, false},  // vxttRandomBoxesWithWord
    {"Random Letters of Word", tcWordEffects, false},  // vxttRandomWord
    {"Expanding Letters of Word", tcWordEffects, false},  // vxttExpandingWord
    {"Word Wipe from Center", tcWordEffects, false},  // vxttWordWipeOut
    {"Word Wipe to Center", tcWordEffects, false},  // vxttWordWipeIn
    {"Word Wipe In and Out", tcWordEffects, false},  // vxttWordWipeInAndOut
    {"Half Sweep with Word", tcWordEffects, false},  // vxttWordHalfSweep
    {"Full Sweep with Word", tcWordEffects, false},  // vxttWordFullSweep
    {"Expanding Sweep with Word", tcWordEffects, false},  // vxttWordFullExpandingSweep
};

const char* const VXPanZoomEffectNames[46] = {
    "Pan from Top Left to Bottom Right",  // vxpzPanTopLeftToBottomRight
    "Pan from Top Right to Bottom Left",  // vxpzPanTopRightToBottomLeft
    "Pan from Bottom Left to Top Right",  // vxpzPanBottomLeftToTopRight
    "Pan from Bottom Right to Top Left",  // vxpzPanBottomRightToTopLeft
    "Pan from Top Left to Center",  // vxpzPanTopLeftToCenter
    "Pan from Top Right to Center",  // vxpzPanTopRightToCenter
    "Pan from Bottom Left to Center",  // vxpzPanBottomLeftToCenter
    "Pan from Bottom Right to Center",  // vxpzPanBottomRightToCenter
    "Pan from Center to Top Left",  // vxpzPanCenterToTopLeft
    "Pan from Center to Top Right",  // vxpzPanCenterToTopRight
    "Pan from Center to Bottom Left",  // vxpzPanCenterToBottomLeft
    "Pan from Center to Bottom Right",  // vxpzPanCenterToBottomRight
    "Pan from Left to Right/Top to Bottom",  // vxpzPanLeftToRightOrTopToBottom
    "Pan from Left to Center/Top to Center",  // vxpzPanLeftToCenterOrTopToCenter
    "Pan from Right to Center/Bottom to Center",  // vxpzPanRightToCenterOrBottomToCenter
    "Pan from Right to Left/Bottom to Top",  // vxpzPanRightToLeftOrBottomToTop
    "Pan from Center to Left/Center to Top",  // vxpzPanCenterToLeftToOrCenterToTop
    "Pan from Center to Right/Center to Bottom",  // vxpzPanCenterToRightOrCenterToBottom
    "Zoom in to Top Left",  // vxpzZoomInToTopLeft
    "Zoom in to Top Right",  // vxpzZoomInToTopRight
    "Zoom in to Center",  // vxpzZoomInToCenter
    "Zoom in to Bottom Left",  // vxpzZoomInToBottomLeft
    "Zoom in to Bottom Right",  // vxpzZoomInToBottomRight
    "Zoom out from Top Left",  // vxpzZoomOutFromTopLeft
    "Zoom out from Top Right",  // vxpzZoomOutFromTopRight
    "Zoom out from Center",  // vxpzZoomOutFromCenter
    "Zoom out from Bottom Left",  // vxpzZoomOutFromBottomLeft
    "Zoom out from Bottom Right",  // vxpzZoomOutFromBottomRight
    "Full Zoom in to Top Left",  // vxpzFullZoomInToTopLeft
    "Full Zoom in to Top",  // vxpzFullZoomInToTop
    "Full Zoom in to Top Right",  // vxpzFullZoomInToTopRight
    "Full Zoom in to Left",  // vxpzFullZoomInToLeft
    "Full Zoom in to Center",  // vxpzFullZoomInToCenter
    "Full Zoom in to Right",  // vxpzFullZoomInToRight
    "Full Zoom in to Bottom Left",  // vxpzFullZoomInToBottomLeft
    "Full Zoom in to Bottom",  // vxpzFullZoomInToBottom
    "Full Zoom in to Bottom Right",  // vxpzFullZoomInToBottomRight
    "Full Zoom out from Top Left",  // vxpzFullZoomOutFromTopLeft
    "Full Zoom out from Top",  // vxpzFullZoomOutFromTop
    "Full Zoom out from Top Right",  // vxpzFullZoomOutFromTopRight
    "Full Zoom out from Left",  // vxpzFullZoomOutFromLeft
    "Full Zoom out from Center",  // vxpzFullZoomOutFromCenter
    "Full Zoom out from Right",  // vxpzFullZoomOutFromRight
    "Full Zoom out from Bottom Left",  // vxpzFullZoomOutFromBottomLeft
    "Full Zoom out from Bottom",  // vxpzFullZoomOutFromBottom
    "Full Zoom out from Bottom Right",  // vxpzFullZoomOutFromBottomRight
};
// clang-format on

const TEffect* VXTransitionEffect(TVXTransitionType Transition) {
  if (Transition < vxttCrossDissolve || Transition > vxttWordFullExpandingSweep) return nullptr;
  return &VXTransitionEffectCatalogue[Transition - 1];
}

TVXTransitionSharedState& VXTransitionState() {
  static TVXTransitionSharedState state;
  return state;
}

int32_t VXTransitionPercent(int32_t Step) {
  return int32_t(std::nearbyint(double(Step) / 1024.0 * 100.0));
}

void DrawTransitionFrame(TVXTransitionType Transition, TCanvas* Canvas, TBitmap* SourceShot, TBitmap* TargetShot,
                         const TRect& Rect, int32_t Step) {
  const int32_t percent = VXTransitionPercent(Step);
  // The speckled wipes and the random boxes with a word are given the
  // target picture only.
  const bool targetOnly = (Transition >= vxttSpeckledWipeFromLeft && Transition <= vxttSpeckledWipeFromBottom) ||
                          Transition == vxttRandomBoxesWithWord;
  if (DrawBlockCopyFrame(Transition, Canvas, SourceShot, TargetShot, Rect, percent, Step)) return;
  if (DrawRegionClippedFrame(Transition, Canvas, targetOnly ? nullptr : SourceShot, TargetShot, Rect, percent)) return;
  // The engine draws types 1 .. 30, 186 .. 189, 215 .. 222 and 237 .. 240
  // itself; none and pan-and-zoom have no frame here.
  throw EVXException("Unknown Transition!");
}

void CalcProgressSize(const TRect& Rect, int32_t Percent, int32_t& W, int32_t& H, int32_t& w, int32_t& h) {
  W = Rect.Right - Rect.Left;
  H = Rect.Bottom - Rect.Top;
  if (W < H) {
    h = MulDiv(H, Percent, 100);
    w = MulDiv(h, W, H);
  } else {
    w = MulDiv(W, Percent, 100);
    h = MulDiv(w, H, W);
  }
}

void BlitThroughRegion(TCanvas* Canvas, int32_t W, int32_t H, TBitmap* Bitmap, HRGN Region) {
  if (Region == nullptr) return;
  try {
    HDC dc = Canvas->Handle();
    SelectClipRgn(dc, Region);
    BitBlt(dc, 0, 0, W, H, Bitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
    SelectClipRgn(dc, nullptr);
  } catch (...) {
    // A frame that cannot be drawn through its region keeps the previous one.
  }
}

void AlphaFillRect(HDC DC, const TRect& Rect, TColor Color, int32_t Alpha) {
  const int32_t w = Rect.Right - Rect.Left, h = Rect.Bottom - Rect.Top;
  if (w <= 0 || h <= 0) return;
  HDC mem = CreateCompatibleDC(DC);
  if (mem == nullptr) return;
  HBITMAP bmp = CreateCompatibleBitmap(DC, w, h);
  if (bmp == nullptr) {
    DeleteDC(mem);
    return;
  }
  HGDIOBJ old = SelectObject(mem, bmp);
  HBRUSH brush = CreateSolidBrush(VXColorToRGB(Color));
  const RECT r{0, 0, w, h};
  FillRect(mem, &r, brush);
  DeleteObject(brush);
  BLENDFUNCTION blend;
  blend.BlendOp = AC_SRC_OVER;
  blend.SourceConstantAlpha = BYTE(std::clamp(Alpha, 0, 255));
  AlphaBlend(DC, Rect.Left, Rect.Top, w, h, mem, 0, 0, w, h, blend);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
}

void MakeRandomOrder(int32_t Count) {
  if (Count >= 30) throw EVXException("Too large for random array");
  if (Count < 0) return;
  Randomize();
  int32_t* order = VXTransitionState().RandomOrder;
  for (int32_t i = 0; i <= Count; ++i) order[i] = -1;
  for (int32_t i = 0; i <= Count; ++i) {
    int32_t slot;
    do {
      slot = Random(Count + 1);
    } while (order[slot] != -1);
    order[slot] = i;
  }
}

int32_t RandomOrderAt(int32_t Index) {
  if (Index < 0 || Index >= 30) throw EVXException("Random order index out of range");
  return VXTransitionState().RandomOrder[Index];
}
