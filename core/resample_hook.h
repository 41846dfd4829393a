#pragma once
// The resamplers that the core's rendering and merging need. They live in the
// resampling library (resample/), above the core: its start-up fills these
// slots. A call through an empty slot raises EVXException.

#include <cstdint>

#include "core/vxdefs.h"

class TVXBaseBitmap;
class TVXBitmap;

struct TVXResampleHooks {
  // Source into Target at Target's size; the alpha channel comes along.
  void (*ResampleBitmap)(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) = nullptr;
  // vx1g Source into Target (vx1g for the projections, vx24RGB otherwise).
  void (*Resample1Bit)(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) = nullptr;
  // vx8g pairs (alpha channels).
  void (*ResampleGray8)(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) = nullptr;
  // The vx1g rectangle x1..x2, y1..y2 averaged into the vx24RGB Target as grey.
  void (*Stretch1BitAveraged)(TVXBaseBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                              TVXBaseBitmap* Target) = nullptr;
  // Nearest neighbour, Target in Source's format.
  void (*StretchNearest)(TVXBaseBitmap* Source, TVXBaseBitmap* Target) = nullptr;
  // Bitmap resampled in place to NewWidth x NewHeight, alpha channel included.
  void (*ResampleInPlace)(TVXBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) = nullptr;
};

extern constinit TVXResampleHooks VXResampleHooks;

// True when every slot is filled.
bool VXResampleHooksReady();

// Callers of the slots: each raises EVXException when its slot is empty.
void VXHookResampleBitmap(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter);
void VXHookResample1Bit(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter);
void VXHookResampleGray8(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter);
void VXHookStretch1BitAveraged(TVXBaseBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                               TVXBaseBitmap* Target);
void VXHookStretchNearest(TVXBaseBitmap* Source, TVXBaseBitmap* Target);
void VXHookResampleInPlace(TVXBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);

// The size rule of resampling. W and H are the requested sizes: -1 derives
// that side from the other keeping the aspect ratio, 0 keeps the source's
// side, any other value is taken by its absolute value; results are at least
// 1. With MaintainAspect and both sizes at least 1 the source is fitted into
// the box W x H (enlarging or shrinking). When both are negative nothing
// changes.
void VXCalcResampleSize(int32_t& W, int32_t& H, int32_t SrcWidth, int32_t SrcHeight, bool MaintainAspect);
