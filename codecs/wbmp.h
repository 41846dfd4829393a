// Wireless bitmaps (WBMP type 0): uncompressed 1-bit rows after a header of
// multi-byte integers. The writer keeps images within 255 x 255 pixels.
#pragma once

#include <cstdint>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// One multi-byte integer (bit 7: another byte follows; at most four bytes);
// -1 when the stream ends first or a fifth byte would follow.
int32_t VXReadWBMPMultiByteInt(TStream* Stream);

// Reads a type 0 image (a vx1g bitmap, 1 white). A type or fixed header other
// than 0, or a zero size, sets *Progress.Aborting; rows missing at the end
// stay as allocated.
void VXReadWBMPStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      bool Preview);

// Writes a vx1g copy of the bitmap, cut to its top-left 255 x 255 at most.
void VXWriteWBMPStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
