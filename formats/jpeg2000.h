// JPEG 2000 images, as JP2 files or bare J2K code streams, read and written
// through OpenJPEG on the library's streams. The content probes are
// VXIsJP2Stream and VXIsJ2KCodestream (io/probes.h).
#pragma once

#include <cstdint>
#include <string>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// Reads the JP2 file or J2K code stream at the stream's position (either,
// whatever the caller expects). Grey images become vx1g, vx8g, vx16g (9 bits
// and more, the top 16 bits) or, for 2 to 7 bits, vx24RGB; RGB and sYCC
// images vx24RGB (a fourth component is not read). With Preview only the
// parameters are filled. An unknown signature, undecodable data, a colour
// space other than grey, RGB or YCC, a precision outside 1..32, a size or
// step of 0 and an image above the pixel limit set *Progress.Aborting.
void VXReadJpeg2000Stream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                          bool Preview);

// Writes a vx1g, vx8g, vx16g or vx24RGB bitmap as a JP2 file (Format 0) or a
// J2K code stream (Format 1) with the parameters' J2000_ColorSpace,
// J2000_Rate and J2000_ScalableBy; grey bitmaps always as grey of their own
// depth (BitsPerSample and J2000_ColorSpace are set so), an alpha channel
// that is not entirely opaque as a fourth component marked as opacity. A
// failing encoder or a short write sets *Progress.Aborting.
void VXWriteJpeg2000Stream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                           int32_t Format);

// The encoder's option text for the parameters: "rate=" with J2000_Rate,
// then " prg=lrcp" (by rate) or " prg=rlcp" (by resolution).
std::string VXJpeg2000OptionText(const TIOParamsVals& IOParams);

// The one-time set-up (the YCbCr tables); reading and writing call it first.
void VXJpeg2000Initialize();
// At library shut-down: forgets the set-up when it ran.
void VXJpeg2000Finalize();
// True between the set-up and the shut-down.
bool VXJpeg2000Initialized();
