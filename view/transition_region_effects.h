// The region-clipped transition effects: each frame builds a region from
// the frame size and the percentage and copies the target picture through
// it onto the frame (a few restore the source picture first). Reached
// through DrawTransitionFrame (view/transition_catalogue.h).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win_geometry.h"
#include "proc/transition_hooks.h"
#include "winui/win_types.h"

class TBitmap;
class TCanvas;

// Draws the frame of Transition at Percent (0 .. 100) onto Canvas; false
// when Transition is not one of these effects.
bool DrawRegionClippedFrame(TVXTransitionType Transition, TCanvas* Canvas, TBitmap* SourceShot, TBitmap* TargetShot,
                            const TRect& Rect, int32_t Percent);

// The 24 corners of the zigzag wipes' band at percentage p of a W x H frame
// (w, h: the frame scaled to p): the upper (left) edge at steps of a tenth
// of the frame, then the lower (right) edge back; Horizon: the band lies
// along the horizon, else along the vertical centre; Alt doubles the step
// and the amplitude.
std::vector<POINT> ZigzagBandPoints(int32_t W, int32_t H, int32_t w, int32_t h, int32_t p, bool Horizon, bool Alt);

// One puzzle piece centred on (x, y): the square of half size c with
// circular knobs of diameter 2d, o pixels in from its sides, sticking out at
// the top and bottom and holes at the left and right when the cell's column
// and row have the same parity, the other way round otherwise.
HRGN PuzzlePieceRegion(int32_t x, int32_t y, int32_t c, int32_t d, int32_t o, bool SameParity);
