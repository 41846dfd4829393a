#pragma once
// Raw YUV video frames in the common FourCC layouts, decoded to vx24RGB.

#include <cstdint>

#include "core/pixels.h"

class TVXBitmap;

// Y, U, V (video range) to RGB with floating coefficients: C = Y - 16,
// D = U - 128, E = V - 128; blue = 1.164 C + 2.018 D, green = 1.164 C -
// 0.813 E - 0.391 D, red = 1.164 C + 1.596 E, each rounded half to even and
// clamped to 0 .. 255.
TRGB VXYUVToRGB(int32_t Y, int32_t U, int32_t V);
// The integer form: red = clip((298 C + 409 E + 128) / 256), green =
// clip((298 C - 100 D - 208 E + 128) / 256), blue = clip((298 C + 516 D + 128)
// / 256), dividing toward zero.
TRGB VXYUVToRGBInt(int32_t Y, int32_t U, int32_t V);

// True when FourCC names a layout the decoder knows.
bool VXIsYUVFourCC(uint32_t FourCC);

// Decodes a frame of Width x |Height| pixels (Height as biHeight: its sign
// chooses the row order) from DataSize bytes at Data into Bitmap (vx24RGB).
// False, leaving Bitmap empty, for an unknown FourCC, a size that is not
// positive, data shorter than the layout's planes and rows, or a failed
// allocation. Pixels without a complete chroma group stay black.
bool VXDecodeYUVFrame(uint32_t FourCC, int32_t Width, int32_t Height, const uint8_t* Data, int64_t DataSize,
                      TVXBitmap* Bitmap);

// The video sample layouts with their own rules, each decoding into Bitmap,
// already allocated as vx24RGB at the frame's size: image rows from the top
// when TopDown, from the bottom otherwise. Stride is the byte step between
// luma rows; 0, or the row length the layout assumes, keeps that length:
//   YUY2: packed Y0 U Y1 V, width x 2 bytes a row, integer coefficients;
//   I420: Y plane, then U and V planes of (width / 2) x (height / 2), each
//         chroma row serving two image rows, floating coefficients; chroma
//         rows step by |Stride| / 2 when Stride is given;
//   NV12: Y plane with rows padded to 4 bytes, then interleaved U V rows of
//         (width / 2) x 2 bytes padded to 4, each serving two image rows,
//         integer coefficients; UV rows step by |Stride| when it is given.
// False, with Bitmap untouched, when BufferLen does not cover every plane or
// Bitmap is not a vx24RGB image. Pixels without a complete chroma group
// (an odd last column or row) stay black.
bool VXDecodeYUY2(const uint8_t* Buffer, uint64_t BufferLen, TVXBitmap* Bitmap, bool TopDown, int32_t Stride = 0);
bool VXDecodeI420(const uint8_t* Buffer, uint64_t BufferLen, TVXBitmap* Bitmap, bool TopDown, int32_t Stride = 0);
bool VXDecodeNV12(const uint8_t* Buffer, uint64_t BufferLen, TVXBitmap* Bitmap, bool TopDown, int32_t Stride = 0);
// Bytes a frame of the layout needs at that size and stride (as above);
// -1 for a size that is not positive or does not fit.
int64_t VXYUVSampleSize(uint32_t FourCC, int32_t Width, int32_t Height, int32_t Stride);
