// GIF (87a and 89a): one frame read into a bitmap with its transparency mask,
// one-frame files written, frames inserted into and removed from existing
// files, the animation header rewritten, and the LZW coder of the image data.
// The reader and writers reach the coder through the LZW hooks of the
// parameters (GIF_LZWDecompFunc, GIF_LZWCompFunc), else of the settings.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;

// ---- LZW coder ----

// Decodes the image data at the stream's position (minimum code size byte,
// data sub-blocks, terminator) into FData, Width x Height indices, rows top
// first (in the four interlace passes when Interlaced). On success the stream
// stands after the terminator; on failure (bad code size, a code beyond the
// next free code, End of Information right after Clear with data left) it is
// put back on the code size byte. Pixels the data does not reach are left
// as they were.
void VXGIFLZWDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* FData);

// Encodes the Width x Height indices of FData (in interlace order when
// Interlaced) as image data: the minimum code size (BitsPerPixel, at least 2),
// sub-blocks of at most 254 bytes, the terminator.
void VXGIFLZWEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* FData,
                    int32_t BitsPerPixel);

// ---- reading ----

// Reads frame GIF_ImageIndex of the GIF at the stream's position into Bitmap
// (vx1g for a black-and-white table, vx8p with IsNativePixelFormat, else
// vx24RGB) and the GIF fields of the parameters; FrameCount receives the
// frames of the whole stream. With Preview only the parameters are read.
// Transparent pixels come back as an 8-bit mask in AlphaMask (nullptr when
// the frame has none or IgnoreTransparency). Damage sets *Progress.Aborting.
//
// With OnFrame, every frame up to GIF_ImageIndex (every frame for a negative
// index) is decoded in turn into Bitmap and AlphaMask, its fields set in the
// parameters, and OnFrame called after each; false from it ends the walk
// there (the frames are still counted only as far as the walk went).
void VXReadGIFStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     std::unique_ptr<TVXMask>& AlphaMask, bool Preview, bool IgnoreTransparency,
                     int32_t& FrameCount, const std::function<bool()>& OnFrame = {});

// ---- writing and frame editing ----

// Writes Bitmap as a one-frame GIF at the stream's position, BitsPerSample
// bits per pixel (palette from the quantiser; an alpha channel takes the last
// index as transparent and sets GIF_FlagTranspColor).
void VXWriteGIFStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);

// Inserts Bitmap as frame GIF_ImageIndex into the GIF the stream holds from
// its position (index 0: first; the frame count: appended; beyond: nothing)
// and returns the frame count afterwards; 0, stream unchanged and Aborting
// clear, when the stream holds no GIF. Without an LZW encoder Aborting is set
// and the stream is left alone.
int32_t VXInsertGIFFrameToStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                                 TProgressRec& Progress);
// The same on a file, which is replaced whole when the frame went in.
int32_t VXInsertGIFFrameToFile(const std::string& FileName, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                               TProgressRec& Progress);

// Copies the GIF file without frame Index (its graphic control extension
// and image) and, with Save, replaces the file with the copy; returns the
// frames copied. Index -1 without Save counts the frames. A file that is not
// GIF gives 0 and is not touched.
int32_t VXRemoveGIFFrame(const std::string& FileName, int32_t Index, bool Save);
// The frames of the GIF at the stream's position (0 when it is not GIF);
// the position is restored.
int32_t VXGetGIFStreamImageCount(TStream* Stream);

// Rewrites the start of the GIF file for animation: version "89a", logical
// screen at least MinWidth x MinHeight, one looping extension with
// LoopCount (0: endless) replacing a leading one. A file that is not GIF, or
// whose global colour table is cut short, is left alone (false).
bool VXUpdateGIFFileHeader(const std::string& FileName, uint16_t LoopCount, int32_t MinWidth, int32_t MinHeight);
