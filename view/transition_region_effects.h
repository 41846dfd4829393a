// The region-clipped transition effects: each frame builds a region from
// the frame size and the percentage and copies the target picture through
// it onto the frame (a few restore the source picture first). Reached
// through DrawTransitionFrame (view/transition_catalogue.h).
#pragma once

#include <cstdint>

#include "platform/win_geometry.h"
#include "proc/transition_hooks.h"

class TBitmap;
class TCanvas;

// Draws the frame of Transition at Percent (0 .. 100) onto Canvas; false
// when Transition is not one of these effects.
bool DrawRegionClippedFrame(TVXTransitionType Transition, TCanvas* Canvas, TBitmap* SourceShot, TBitmap* TargetShot,
                            const TRect& Rect, int32_t Percent);
