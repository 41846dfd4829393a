// Windows and OS/2 bitmaps: the reader (also for bare device-independent
// bitmaps without file header, as icon files and scanners hold them) and the
// writer of the three header versions, with RLE4 and RLE8.
#pragma once

#include <cstdint>
#include <memory>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;

// Decodes the BMP at the stream's position into Bitmap and the BMP fields of
// IOParams.
//   DataSize     bytes of BMP from the position, 0 when unknown (the file
//                header's size is taken then); never trusted beyond what the
//                stream holds
//   Preview      parameters only, the bitmap is left alone
//   NoFileHeader the data starts with the info header (so does a stream
//                read with IOParams.IsResource)
//   AlphaMask    32-bit files: receives the fourth bytes as an 8-bit mask
//                (created when empty); left empty, or emptied, when every
//                fourth byte is 0 or every one is 255
//   IgnoreAlpha  no mask at all
// 1-bit files give vx1g; 4- and 8-bit files vx8p with IOParams.IsNativePixelFormat,
// 16-bit files with all-ones masks vx16g likewise; everything else vx24RGB.
// Damaged, truncated or undecodable data sets *Progress.Aborting.
void VXReadBMPStream(TStream* Stream, TVXBitmap* Bitmap, int32_t DataSize, TIOParamsVals& IOParams,
                     TProgressRec& Progress, bool Preview, bool NoFileHeader, std::unique_ptr<TVXMask>& AlphaMask,
                     bool IgnoreAlpha);

// Writes Bitmap as a BMP at the stream's position with the header version,
// compression, bit depth (BitsPerSample, SamplesPerPixel) and resolution of
// IOParams: 1 bit (two-coloured images keep their colours), 4 and 8 bits
// with a quantised palette (stored in IOParams' colour map), 24 bits, or 32
// bits when the bitmap has an alpha channel (written when WriteAlpha, else
// 255). The bitmap itself is never changed. A short write sets
// *Progress.Aborting and leaves the headers unfinished.
void VXWriteBMPStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      bool WriteAlpha);
