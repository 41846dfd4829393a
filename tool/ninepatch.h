// Nine-patch images: the one-pixel marker border is cut off, the inner image
// resized, the marker strips rescaled and the border put back, again exactly one
// pixel wide with opaque black markers.
#pragma once
#include <cstdint>

class TVXBitmap;

// A marker pixel of a strip: alpha 255 when the strip has an alpha channel, else a
// black pixel.
// Replaces a horizontal strip (height 1) by a rescaled strip of width NewLength.
void ScaleNinePatchRow(TVXBitmap* Strip, int32_t NewLength);
// The same for a vertical strip (width 1), new height NewLength.
void ScaleNinePatchColumn(TVXBitmap* Strip, int32_t NewLength);
// Paints the run [RunStart, RunEnd] of the old strip, rescaled by 1 / Factor, black
// and opaque into the new strip; indexes are held within the strip.
void MarkNinePatchRow(TVXBitmap* Strip, int32_t RunStart, int32_t RunEnd, double Factor);
void MarkNinePatchColumn(TVXBitmap* Strip, int32_t RunStart, int32_t RunEnd, double Factor);

struct TNinePatchSizes {
  int32_t Width = 0, Height = 0;        // inner image before resizing
  int32_t NewWidth = 0, NewHeight = 0;  // inner image after resizing
};

// Resizes the nine-patch image S in place: the inner image's short side (or long
// side with LongSide) becomes Size. Raises EVXException for an image narrower or
// lower than 3 pixels (it has no inner image) and lets every other exception pass.
TNinePatchSizes ResizeNinePatch(TVXBitmap* S, int32_t Size, bool LongSide);
