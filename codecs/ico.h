// Windows icons and cursors: the image count of an icon file and the readers
// of one of its entries (device-independent bitmaps with their AND mask, and
// for icons PNG images). The content probes are io/probes.h's VXIsICOStream
// and VXIsCURStream.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;
struct TIOIconSize;

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

// ---- writing ----

// Writes an icon file at the stream's position: one entry per element of
// Sizes, each the bitmap resampled to that size (alpha channel included; no
// filter for vx1g bitmaps, the settings' default resample filter otherwise)
// at the depth BitCounts[i] gives: 1, 4, 8 or 32 bits as named, 0 the depth
// of the parameters' samples ((3, 8) 24, (4, 8) 32, (1, 1) 1, (1, 4) 4,
// else 8 bits; a bitmap that is not vx24RGB first sets them to (1, 1)), any
// other value 24 bits. A BitCounts list shorter than Sizes gives the missing
// entries depth 0.
//   1 bit   black and white; a bitmap of two colours maps the darker to
//           black, one of more colours is thresholded
//   4, 8    a vx8p bitmap whose indices fit writes its own palette and
//           indices; otherwise the colours are quantised to 15 or 255 entries
//           after entry 0 (black), which every transparent pixel takes. The
//           quantised palette is left in the parameters' ColorMap.
//   24, 32  the colours, at 32 bits with the alpha channel (255 without)
// The AND mask marks every pixel whose alpha is below 255. A size with a side
// below 1 sets Aborting and writes nothing; an abort from the progress
// callback or a short write stops the writer, leaving a directory of the
// finished entries only. The stream is left at the end of what was written.
void VXWriteICOStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      std::span<const TIOIconSize> Sizes, std::span<const int32_t> BitCounts);

// One bitmap of a multi-entry icon file and the parameters that give its depth.
struct TVXICOEntry {
  TVXBitmap* Bitmap = nullptr;
  TIOParamsVals* Params = nullptr;
};

// Writes one entry per pair, the bitmap as it is (no resampling) at the
// depth of its parameters' samples, as for depth 0 above; a bitmap that is
// neither vx24RGB nor vx8p first sets its parameters to (1, 1) and frees their
// colour map. Quantised entries use all 16 or 256 palette entries (none is
// kept for transparency); a 24-bit entry states its image size.
void VXWriteMultiICOStream(TStream* Stream, std::span<const TVXICOEntry> Entries, TProgressRec& Progress);
