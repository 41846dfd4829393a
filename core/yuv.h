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
