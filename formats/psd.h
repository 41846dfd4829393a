// Layered documents in the PSD format and its large-document variant PSB:
// the merged image, the layers with their masks, resolution, colour profile,
// IPTC, XMP and the JPEG thumbnail. Every channel is written PackBits
// compressed.
#pragma once

#include <cstdint>
#include <vector>

#include "core/layer.h"
#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// Reads the document at the stream's position. Bitmap receives the merged
// image (nullptr: parameters only); IOParams the size, depth, resolution and
// metadata; a bad header or damage sets *Progress.Aborting. Layers, when
// given, receives new layers (a mask layer directly after its layer): all of
// them when LoadLayers is set, or the only one of a single-layer document;
// the merged image is then read only when no layer came. The parameters'
// PSD_SelectLayer restricts the pixels read to the layer of that name and
// skips the merged image.
void VXReadPSDStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool LoadLayers, TVXLayerList* Layers);

// Writes Bitmap as the merged image, with Layers (mask layers with IsMask set
// directly after their layer; may be empty), as PSD, or as PSB when the
// parameters' PSD_LargeDocumentFormat is set. The list stays as it is, but the
// layers' bitmaps are brought to the merged image's mode and to their display
// size in place, and given an alpha channel. vxnull and vx32f are not
// writable: *Progress.Aborting is set and nothing is written.
void VXWritePSDStream(TStream* Stream, TIOParamsVals& IOParams, TProgressRec& Progress, TVXBitmap* Bitmap,
                      const TVXLayerList& Layers);

// PackBits of one row: runs of 4 to 128 equal bytes as a repeat, everything
// else as literals of at most 128 bytes. Returns the packed bytes.
std::vector<uint8_t> VXPackBitsRow(const uint8_t* Row, int64_t Count);
