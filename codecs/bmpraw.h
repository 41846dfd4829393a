// Headerless pixel data in the layout of the parameters' BMPRAW_ fields:
// binary or text samples, interleaved or planar channels, red-green-blue or
// blue-green-red order, rows padded to a bit alignment, header bytes skipped.
// The data carries no size: the reader fills the bitmap the caller allocated
// (its size and pixel format describe the data); the writer writes the
// bitmap's own pixels.
#pragma once

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// Hexadecimal text for a vx32f bitmap raises EVXException "Format unsupported".
void VXReadBMPRAWStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);

// Writes no header; the caller's bitmap is not changed.
void VXWriteBMPRAWStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
