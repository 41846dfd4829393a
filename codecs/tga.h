// Targa images: colour-mapped, true-colour and grey, uncompressed or
// run-length encoded, with the 2.0 extension area (author, job name, date,
// key colour, aspect ratio, gamma). The content probe is VXIsTGAStream
// (io/probes.h).
#pragma once

#include <memory>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;

// Reads the image at the stream's position. 32-bit pixels or 32-bit colour
// map entries give a transparency mask in AlphaMask (none when IgnoreAlpha,
// or when every alpha value is 0). A header that fails the type or depth
// check, depth 4 and run-length 1-bit data set *Progress.Aborting.
void VXReadTGAStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, bool IgnoreAlpha,
                     std::unique_ptr<TVXMask>& AlphaMask, bool Preview, TProgressRec& Progress);

// Writes vx24RGB and vx1g bitmaps (1, 4, 8, 24 bits, or 32 with AlphaMask);
// other pixel formats set *Progress.Aborting.
void VXWriteTGAStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TVXMask* AlphaMask,
                      TProgressRec& Progress);
