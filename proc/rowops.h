// Whole-row helpers of the processing routines: bit inversion of buffers and
// bitmap rows, and the bitmap equality test.
#pragma once

#include <cstddef>
#include <cstdint>

class TVXBitmap;

// Inverts every bit of Length bytes at Buffer.
void VXInvertBytes(void* Buffer, int64_t Length);
// Inverts every bit of every row of the bitmap (padding included).
void VXInvertBitmapRows(TVXBitmap* Bitmap);
// True when both bitmaps have the same size, pixel format and presence of an
// alpha channel, and equal pixels and alpha values. Row padding is not
// compared.
bool VXBitmapsEqual(TVXBitmap* a, TVXBitmap* b);
