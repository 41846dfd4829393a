// PNG codec over libpng: the reader, the signature probe and the writer.
#pragma once

#include <cstdint>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;
struct TVXRowSink;

// The PNG writer raises EInvalidGraphic (core/vxdefs.h) when libpng refuses
// the image ("Error on creating PNG").

// Decodes one PNG image at the stream's position into Bitmap (vx24RGB, vx1g for
// 1-bit grey; with IOParams.IsNativePixelFormat 8-bit grey, 16-bit grey and 8-bit
// palette files keep their format) with transparency in Bitmap's alpha channel,
// and fills the PNG fields of IOParams. With Preview only the parameters are
// filled. A damaged, truncated or unreadable stream sets *Progress.Aborting.
// Rows, when given, receives the rows of an image it takes (see TVXRowSink):
// the parameters and the outcome are those of a read into Bitmap.
void VXReadPNGStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview, const TVXRowSink* Rows = nullptr);

// True when the stream holds the start of the PNG signature at its position;
// the position is restored.
bool VXIsPNGStream(TStream* Stream);

// Encodes Bitmap as one PNG image at the stream's position, taking colour type,
// bit depth, interlacing, filter, compression level, background, resolution and
// texts from IOParams. Mask (8 bits, may be nullptr) carries the alpha channel.
// libpng errors raise EInvalidGraphic; a stream that takes fewer bytes than
// given sets *Progress.Aborting.
void VXWritePNGStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      TVXMask* Mask);
