#pragma once
// Rows between bit depths for the palette writers, and the nearest palette
// entry of a colour. Pixels are packed most significant first; 4-bit pixels
// high nibble first.

#include <cstdint>

#include "core/pixels.h"

class TVXQuantizer;

// The first index of the smallest |dr| + |dg| + |db| among Count entries; 0
// for an empty palette.
int32_t VXNearestPaletteIndex(const TRGB* Palette, int32_t Count, TRGB Colour);

// Converts Width pixels of Src (SrcBits 1, 4, 8, 24 or 32) into Dst (DstBits
// 1, 4, 8 or 24):
//   1 -> 1, 4 -> 4, 8 -> 8, 24 -> 24: copied;
//   1 -> 4: nibble = bit, ORed into Dst;  1 -> 8: byte = bit;
//   4 -> 8: byte = nibble;  8 -> 1: Dst cleared, a bit set where the byte is 1;
//   1, 4, 8 -> 24: the palette entry of the value (black past PaletteCount);
//   24 -> 4: nibble = Quantizer index, ORed into Dst;  24 -> 8: byte = index;
//   32 -> 24: the first three bytes of each pixel.
// Other pairs write nothing; where Dst is ORed the caller clears it. Returns
// the destination row length for DstBits ((Width + 7) div 8, (Width + 1) div
// 2, Width, 3 x Width), 0 for other values.
int32_t VXConvertRowBitDepth(const void* Src, void* Dst, int32_t SrcBits, TVXQuantizer* Quantizer, const TRGB* Palette,
                             int32_t PaletteCount, int32_t Width, int32_t DstBits);
