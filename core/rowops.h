// Whole-row helpers of the processing routines: bit inversion of buffers and
// bitmap rows, the bitmap equality test, and rows of any format as RGB.
#pragma once

#include <cstddef>
#include <cstdint>

class TVXBitmap;
struct TRGB;

// Inverts every bit of Length bytes at Buffer.
void VXInvertBytes(void* Buffer, int64_t Length);
// Inverts every bit of every row of the bitmap (padding included).
void VXInvertBitmapRows(TVXBitmap* Bitmap);
// True when both bitmaps have the same size, pixel format and presence of an
// alpha channel, and equal pixels and alpha values. Row padding is not
// compared.
bool VXBitmapsEqual(TVXBitmap* a, TVXBitmap* b);
// Row y of a bitmap of any pixel format as Width() 24-bit pixels: grey and
// vx1g rows give grey pixels, vx32f values go through VXFloatToByte, 16-bit
// channels keep their high byte, CMYK and CIELab pass through their RGB
// conversions, vx8p entries the bitmap does not hold are black.
void VXRowToRGB(TVXBitmap* Bitmap, int32_t y, TRGB* Out);

// Averages of the three colour channels over the whole bitmap (0..255 each);
// 128 for all three when the bitmap cannot be read (for instance width or
// height 0).
void VXCalcAverageChannels(TVXBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B);
