// The block-copy and stretch transition effects: expands, corner and edge
// wipes, build-ups, mirrored unrolls, slide-ins, shrinks, quarters,
// push-and-slide, push-and-squeeze and twists. Each frame is drawn from
// block copies, halftone stretches, mirrored stretches and parallelogram
// copies of the pictures over the previous frame, without clipping regions.
// Reached through DrawTransitionFrame (view/transition_catalogue.h).
#pragma once

#include <cstdint>

#include "platform/win_geometry.h"
#include "proc/transition_hooks.h"

class TBitmap;
class TCanvas;

// Draws the frame of Transition at Percent (0 .. 100) onto Canvas; Step
// (0 .. 1024) drives the multiple twists. False when Transition is not one
// of these effects.
bool DrawBlockCopyFrame(TVXTransitionType Transition, TCanvas* Canvas, TBitmap* SourceShot, TBitmap* TargetShot,
                        const TRect& Rect, int32_t Percent, int32_t Step);
