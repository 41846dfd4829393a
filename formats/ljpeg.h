// Lossless JPEG (the predictive, Huffman-coded process of start-of-frame 3)
// as DICOM frame fragments carry it: one image of one or more interleaved
// components with 2 to 16 bits per sample.
#pragma once

#include <cstdint>

#include "core/vxdefs.h"

class TStream;

// Decodes the Length bytes at the stream's position into a caller's block.
// An 8-bit frame goes to Out8, any other precision to Out16 as 16-bit
// samples; the block receives the image's rows one after another, each of
// width x components samples (components interleaved per pixel), the first
// decoded row first, and is zero-filled first. OutSamples is the capacity of
// the block that is given, in samples.
//
// False for fewer than 32 bytes, a frame other than lossless, a bad Huffman
// table, a second scan, a missing table, a header that ends before the scan,
// a frame that does not fit the block, and data that end (or lose a restart
// marker) before the last sample; the samples decoded until then stay in the
// block. Progress receives the percentage of the data read whenever it
// changes.
bool DecodeLosslessJpeg(TStream* Stream, uint16_t* Out16, uint8_t* Out8, int64_t OutSamples,
                        TProgressRec& Progress, int32_t Length);
