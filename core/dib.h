#pragma once
// Packed device-independent bitmaps (DIBs): a BITMAPINFOHEADER (little-endian,
// at least 40 bytes), a colour table or bit-field masks, and the pixel rows,
// each padded to 4 bytes. The builder serves the clipboard, printing and the
// bitmap's rendering; the decoder reads DIBs from the clipboard, scanners,
// video and annotation blocks, including raw YUV video frames named by a
// FourCC in biCompression (core/yuv.h).

#include <cstdint>

#include "platform/win_memory.h"
#include "winui/gdi.h"  // BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS

class TVXBitmap;

// A packed DIB in a new movable, shareable global memory block that the caller
// frees: a 40-byte header, a colour table (2 entries for vx1g: black 00 00 00
// 00 and white FF FF FF FF; 256 for vx8p and vx8g) and the rows bottom-up,
// unused bytes zero. Columns x1 .. x2 - 1 and rows y1 .. y2 - 1 (x2 = 0 means
// the width, y2 = 0 the height), cut to the bitmap; resolution in dots per
// inch. vx1g, vx8p, vx8g and vx24RGB keep their format, every other format is
// converted to vx24RGB on a copy. nullptr for an empty rectangle or bitmap, or
// when the memory cannot be had. Each step is announced on the print log.
HGLOBAL _CopyBitmaptoDIBEx(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t DpiX,
                           int32_t DpiY);

// Decodes the DIB of DIBSize bytes at DIB into Bitmap: vx1g for 1-bit DIBs,
// vx24RGB for 4, 8, 16, 24 and 32 bits and for YUV frames. Pixels, when not
// nullptr, holds the pixel data (PixelsSize bytes); otherwise the data follows
// the header and its colour table or masks. Bottom-up and top-down DIBs both
// come out upright. Returns biBitCount, or 0 when the DIB is refused
// (damaged, truncated, RLE-compressed or of an unknown form), in which case
// Bitmap is left empty.
int32_t VXCopyDIBToBitmap(const void* DIB, int64_t DIBSize, TVXBitmap* Bitmap, const void* Pixels = nullptr,
                          int64_t PixelsSize = 0);
// The same with the DIB in a global memory block, locked for the call; a
// handle that cannot be locked loads nothing.
int32_t VXCopyDIBToBitmap(HGLOBAL DIB, TVXBitmap* Bitmap, const void* Pixels = nullptr, int64_t PixelsSize = 0);

// For an uncompressed 24-bit DIB (rows right after the header) replaces every
// pixel byte v by Clamp255(Round(255 x (v / 255)^(1 / Gamma))). Other DIBs, a
// block too short for its rows, and a Gamma that is not positive are left as
// they are.
void VXGammaCorrectDIB(HGLOBAL DIB, double Gamma);

class TVXDibbitmap;

// Draws the packed DIB of DIBSize bytes at DIB (1, 4, 8, 16, 24 or 32 bits,
// uncompressed or bit fields) at its own size into Bitmap, which becomes
// biWidth x |biHeight| at 1 bit per pixel for 1-bit DIBs and 24 bits for the
// others, through the DrawDib service. The pixel data is found as
// VXCopyDIBToBitmap finds it, or is Pixels (PixelsSize bytes) when given.
// Returns biBitCount; 0, drawing nothing and leaving Bitmap as it was, for
// a DIB that VXCopyDIBToBitmap would refuse, for RLE and YUV frames and when
// the bitmap cannot be had.
int32_t VXDrawPackedDIB(const void* DIB, int64_t DIBSize, TVXDibbitmap* Bitmap, const void* Pixels = nullptr,
                        int64_t PixelsSize = 0);
// The same with the DIB in a global memory block, locked for the call.
int32_t VXDrawPackedDIB(HGLOBAL DIB, TVXDibbitmap* Bitmap, const void* Pixels = nullptr, int64_t PixelsSize = 0);
