// The portable bitmap family: PBM ("P1" text, "P4" binary), PGM ("P2", "P5")
// and PPM ("P3", "P6"), samples up to 65535, header comments kept in the
// parameters' PXM_Comments. The content probe is VXIsPXMStream (io/probes.h).
#pragma once

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// Reads the header and, unless Preview, the raster at the stream's position.
// An unknown magic, a size not above 0, a maxval of 0 or above 65535 set
// *Progress.Aborting; rows missing at the end stay as allocated.
void VXReadPXMStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview);

// Writes P4, P5 or P6 as the parameters' BitsPerSample and SamplesPerPixel and
// the bitmap's pixel format choose; the bitmap is converted in a private copy
// when its format does not match the chosen type.
void VXWritePXMStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
