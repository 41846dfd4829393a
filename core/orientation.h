#pragma once
// Turning a decoded image upright by its EXIF orientation tag.

#include <cstdint>

class TVXBitmap;

// Applies the EXIF orientation (1 to 8) so that the picture shows upright:
// 2 mirrors left to right, 3 turns by 180 degrees, 4 mirrors top to bottom,
// 5 is the transpose (mirrored across the main diagonal), 6 turns clockwise,
// 7 is the transverse (mirrored across the other diagonal), 8 turns
// counter-clockwise. Quarter turns are exact; the alpha channel turns
// alongside. Other values and an empty or missing bitmap change nothing.
void VXApplyEXIFOrientation(TVXBitmap* Bitmap, int32_t Orientation);
