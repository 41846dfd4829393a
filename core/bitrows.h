#pragma once
// Row-level helpers shared by the bitmap, the codecs and the processing
// routines: copies of bit runs between 1-bit rows at any bit offset, single
// bits of a row, and red/blue exchanges of 24- and 48-bit rows and palettes.
// Bits are numbered from the most significant bit of the first byte.

#include <cstdint>

#include "core/pixels.h"

// Copies Count bits from bit SourceBit of Source (a row of SourceBytes bytes)
// to bit DestBit of Dest. Destination bits outside the run keep their values;
// bits past the end of the source row read as 0 (the source row is never
// read beyond SourceBytes). Nothing happens when Count < 1 or an offset is
// negative.
void VXCopyBitRun(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t SourceBytes, int32_t Count,
                  int32_t SourceBit);
// The same, one bit at a time (and with no source length).
void VXCopyBitRunBitwise(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t Count, int32_t SourceBit);

// Non-zero when bit i of Row is set.
int32_t VXGetRowBit(const void* Row, int32_t i);
void VXSetRowBit(void* Row, int32_t i, bool Value);

// Copies n 3-byte pixels from Source to Dest, exchanging bytes 0 and 2.
void VXCopySwapRBRow(void* Dest, const void* Source, int32_t n);
// Exchanges bytes 0 and 2 of n 3-byte pixels in place.
void VXSwapRBRow(void* Row, int32_t n);
// Exchanges the first and third 16-bit word of n 6-byte pixels in place.
void VXSwapRBRow48(void* Row, int32_t n);
// Exchanges r and b of n palette entries.
void VXSwapRBPalette(TRGB* Palette, int32_t n);
