// The transition effects' vocabulary and the rules their frame routines
// share: the published catalogue of the 249 effects (display name, category,
// overlay flag) and of the pan-and-zoom kinds, the frame dispatcher that the
// engine (view/transitions.h) calls for every effect it does not draw itself,
// and the small routines and shared state the frame routines use.
// User-interface thread only: the shared state is unguarded.
#pragma once

#include <cstdint>

#include "platform/win_geometry.h"
#include "proc/transition_hooks.h"
#include "gui/graphics_types.h"
#include "winui/win_types.h"

class TBitmap;
class TCanvas;

enum TTransitionCategory : uint8_t {
  tcGeneral,
  tcWipes,
  tcSpecialWipes,
  tcCurvedWipes,
  tcAngledWipes,
  tcCenterWipes,
  tcInAndOuts,
  tcShreds,
  tcBars,
  tcSlides,
  tcPushes,
  tcShrinks,
  tcExpands,
  tcMultiExpanders,
  tcRandoms,
  tcRotates,
  tcWordEffects,
  tcOther,
  tcUnattractive
};

// One catalogue entry.
struct TEffect {
  const char* Name;
  TTransitionCategory Category;
  bool Overlay;
};

// Entry i - 1 describes effect i (vxttCrossDissolve .. vxttWordFullExpandingSweep);
// vxttNone and vxttPanZoom have none. For applications (lists of effects);
// the engine does not read it.
extern const TEffect VXTransitionEffectCatalogue[249];
// The catalogue entry of an effect 1 .. 249; null for any other value.
const TEffect* VXTransitionEffect(TVXTransitionType Transition);

// The kinds of pan-and-zoom movement and their display names.
enum TVXPanZoomType : int32_t {
  vxpzPanTopLeftToBottomRight,
  vxpzPanTopRightToBottomLeft,
  vxpzPanBottomLeftToTopRight,
  vxpzPanBottomRightToTopLeft,
  vxpzPanTopLeftToCenter,
  vxpzPanTopRightToCenter,
  vxpzPanBottomLeftToCenter,
  vxpzPanBottomRightToCenter,
  vxpzPanCenterToTopLeft,
  vxpzPanCenterToTopRight,
  vxpzPanCenterToBottomLeft,
  vxpzPanCenterToBottomRight,
  vxpzPanLeftToRightOrTopToBottom,
  vxpzPanLeftToCenterOrTopToCenter,
  vxpzPanRightToCenterOrBottomToCenter,
  vxpzPanRightToLeftOrBottomToTop,
  vxpzPanCenterToLeftToOrCenterToTop,
  vxpzPanCenterToRightOrCenterToBottom,
  vxpzZoomInToTopLeft,
  vxpzZoomInToTopRight,
  vxpzZoomInToCenter,
  vxpzZoomInToBottomLeft,
  vxpzZoomInToBottomRight,
  vxpzZoomOutFromTopLeft,
  vxpzZoomOutFromTopRight,
  vxpzZoomOutFromCenter,
  vxpzZoomOutFromBottomLeft,
  vxpzZoomOutFromBottomRight,
  vxpzFullZoomInToTopLeft,
  vxpzFullZoomInToTop,
  vxpzFullZoomInToTopRight,
  vxpzFullZoomInToLeft,
  vxpzFullZoomInToCenter,
  vxpzFullZoomInToRight,
  vxpzFullZoomInToBottomLeft,
  vxpzFullZoomInToBottom,
  vxpzFullZoomInToBottomRight,
  vxpzFullZoomOutFromTopLeft,
  vxpzFullZoomOutFromTop,
  vxpzFullZoomOutFromTopRight,
  vxpzFullZoomOutFromLeft,
  vxpzFullZoomOutFromCenter,
  vxpzFullZoomOutFromRight,
  vxpzFullZoomOutFromBottomLeft,
  vxpzFullZoomOutFromBottom,
  vxpzFullZoomOutFromBottomRight
};
extern const char* const VXPanZoomEffectNames[46];

// Draws one frame of a dispatched effect onto Canvas, over what it holds.
// Rect is the frame (0, 0, width, height); Step is 0 .. 1024 and becomes a
// percentage (halves to even). A type without a frame routine raises
// EVXException "Unknown Transition!".
void DrawTransitionFrame(TVXTransitionType Transition, TCanvas* Canvas, TBitmap* SourceShot, TBitmap* TargetShot,
                         const TRect& Rect, int32_t Step);
// The percentage a step 0 .. 1024 stands for, rounded halves to even.
int32_t VXTransitionPercent(int32_t Step);

// W, H: the size of Rect; w, h: that size scaled to Percent, the longer side
// scaled directly and the shorter one following it (MulDiv).
void CalcProgressSize(const TRect& Rect, int32_t Percent, int32_t& W, int32_t& H, int32_t& w, int32_t& h);
// Copies Bitmap's (0, 0, W, H) onto Canvas at (0, 0) through Region (null:
// nothing). A failure inside is swallowed; the caller deletes the region.
void BlitThroughRegion(TCanvas* Canvas, int32_t W, int32_t H, TBitmap* Bitmap, HRGN Region);
// Lays Color (system colours resolved) over Rect of DC with constant
// opacity Alpha 0 .. 255.
void AlphaFillRect(HDC DC, const TRect& Rect, TColor Color, int32_t Alpha);
// Draws a new random permutation of 0 .. Count into the shared order after
// seeding the generator from the clock; Count >= 30 raises EVXException
// "Too large for random array".
void MakeRandomOrder(int32_t Count);
// Entry Index (0 .. 29) of the shared order.
int32_t RandomOrderAt(int32_t Index);

// The module's shared state (one copy for every engine of the process).
struct TVXTransitionSharedState {
  int32_t RandomOrder[30] = {};
  // Set when a random-order effect has drawn its order for the current run;
  // the engine clears it whenever it restarts a dispatched effect.
  bool OrderDrawn = false;
  // The Pacman effects' mouth phase 0 .. 3 and the tick of its last change.
  int32_t MouthPhase = 0;
  uint32_t MouthTick = 0;
};
TVXTransitionSharedState& VXTransitionState();
