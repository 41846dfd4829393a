// PCX images (1, 4 and 8 bits in one plane, 1 bit in four planes, 24 bits in
// three planes; plain or run-length encoded) and DCX, the multi-page container
// of PCX pages. The DCX content probe is VXIsDCXStream (io/probes.h).
#pragma once

#include <cstdint>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// Reads the PCX image of Size bytes at the stream's position (the rest of the
// stream for a PCX file, the page's length inside a DCX). A bad header, a
// window with its maximum below its minimum, or a codec exception set
// *Progress.Aborting.
void VXReadPCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview, int64_t Size);

// Writes one PCX image with the depth of the parameters' BitsPerSample x
// SamplesPerPixel (1, 4, 8 or 24; other single-sample depths as 8, more
// samples as 24), run-length encoded for ioPCX_RLE.
void VXWritePCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);

// Run-length encodes Count bytes Source[Start + Stride x i] into Dest (at
// least 2 x Count + 1 bytes); a 0 byte pads an odd Count. Returns the bytes
// written.
int32_t EncodePCXLine(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t Stride, int32_t Start);

// Entries of the DCX page table before its 0 (the magic is skipped unchecked);
// the position is restored.
int32_t VXGetDCXStreamImageCount(TStream* Stream);

// Reads page DCX_ImageIndex (clamped to the pages there are).
void VXReadDCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview);

// Inserts the bitmap as page DCX_ImageIndex into the DCX the stream holds (an
// empty stream starts a new file); the stream receives the whole new file. An
// index beyond the page count, a stream that is not DCX, or more pages than
// the table holds set *Progress.Aborting and leave the stream unchanged.
void VXWriteDCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
