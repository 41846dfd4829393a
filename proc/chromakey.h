#pragma once
// Transparency from colour: the key colour of a uniform backdrop, keying it
// out with spill suppression, and alpha for every pixel inside a colour box.
//
// Packed colours hold red in bits 16 .. 23, green in 8 .. 15, blue in 0 .. 7.

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;

// The packed form of a colour and back.
inline int32_t VXPackRGB(TRGB c) { return int32_t(c.r) << 16 | int32_t(c.g) << 8 | c.b; }
inline TRGB VXUnpackRGB(int32_t c) { return TRGB{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)}; }

// Normalised chroma (Cb, Cr) of a colour, each about 0 .. 1.
void VXChromaOf(TRGB c, double& Cb, double& Cr);

// The mean colour of the most uniform of five sample regions (the four
// corners' 3 .. 13 % and 87 .. 97 % bands and the centre, each cut to the
// image and at least one pixel). Black for an empty bitmap; other formats
// than vx24RGB are sampled through a vx24RGB copy.
void VXGuessChromaKeyColor(TVXBitmap* Bitmap, TRGB& Color);

// Keys out KeyColor over the whole vx24RGB or vx1g bitmap (a vx1g bitmap is
// keyed as vx24RGB and keeps its format): a pixel whose chroma lies within
// Tolerance / 3 of the key's and whose HSV saturation reaches Saturation
// (any saturation for a white key) turns black with alpha 0; every other
// pixel gets alpha 255 and, with HueReduction 1 .. 5, loses saturation the
// more the nearer its hue is to the key's. Afterwards RemoveNoise cleans the
// alpha channel with kFill, and FeatherEdges > 0 feathers its edges.
void VXDoRemoveChromaKey(TVXBitmap* Bitmap, int32_t Saturation, int32_t FeatherEdges, void* Sender,
                         const TVXProgressEvent& OnProgress, bool RemoveNoise, int32_t HueReduction, double Tolerance,
                         int32_t KeyColor);

// Gives alpha Alpha (clamped to 0 .. 255) to the pixels of the rectangle
// (x2, y2 exclusive) whose red, green and blue each lie between MinColor's
// and MaxColor's (inclusive); for vx1g to the white pixels when MinColor's
// red is not 0, else to the black ones. The alpha channel is created on the
// first such pixel; its full mark is recomputed at the end.
void VXDoSetTransparentColors(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                              const TVXProgressEvent& OnProgress, int32_t Alpha, int32_t MaxColor, int32_t MinColor);
