// Windows icons and cursors: the image count of an icon file and the readers
// of one of its entries (device-independent bitmaps with their AND mask, and
// for icons PNG images). The content probes are io/probes.h's VXIsICOStream
// and VXIsCURStream.
#pragma once

#include <cstdint>
#include <memory>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;

// The count field of the icon directory at the stream's position (0 when the
// stream is too short); the position is restored.
int32_t VXGetICOStreamImageCount(TStream* Stream);

// Decodes the entry ICO_ImageIndex of the icon file at the stream's position
// (without directory when IOParams.IsResource) into Bitmap, fills ImageCount,
// ICO_Sizes and ICO_BitCount from the directory and the image fields from the
// entry. A stream that holds a BMP ("BM") is read as one.
//   Preview     parameters only, the bitmap is left alone
//   AlphaMask   receives the transparency as an 8-bit mask (created when
//               empty); emptied when every pixel is opaque. A PNG entry puts
//               its transparency in the bitmap's alpha channel instead.
//   IgnoreAlpha no mask at all
//   Check256    an entry of a directory whose entries are all 256 wide that
//               is 256 high and whose lowest non-transparent pixel of a
//               32-bit image lies in the top 66 rows raises EVXException
//               "Not valid 256x256 Icon"
// An index outside the directory leaves everything as it was. Damaged,
// truncated or undecodable data sets *Progress.Aborting; with
// IsNativePixelFormat a depth other than 1, 4, 8, 24 and 32 raises
// EVXException "Unsupported pixel format".
void VXReadICOStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                     TProgressRec& Progress, std::unique_ptr<TVXMask>& AlphaMask, bool IgnoreAlpha, bool Check256);

// The same for the entry CUR_ImageIndex of a cursor file, which also gives
// CUR_XHotSpot and CUR_YHotSpot (a resource cursor starts with them). The
// bitmap is vx1g for 1-bit entries, vx24RGB otherwise; pixels under the AND
// mask show CUR_Background; the mask is returned even when every pixel is
// opaque.
void VXReadCURStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                     TProgressRec& Progress, std::unique_ptr<TVXMask>& AlphaMask, bool IgnoreAlpha);
