// CMYK <-> RGB pixel and row conversions.
//
// CMYK pixels are stored inverted: each byte holds 255 minus the ink amount.
// When the settings ask for it (UseCMYKProfile) the conversions go through two
// shared colour transforms built from the built-in CMYK profile and sRGB;
// otherwise (or when those cannot be built) they use plain integer arithmetic.
#pragma once

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXICC;

// Builds the shared CMYK <-> sRGB transforms on first use; true when ready.
bool VXInitCMYKTransforms();
// Releases the shared transforms (I/O module shut-down).
void VXFreeCMYKTransforms();

TRGB VXCMYK2RGB(TCMYK cmyk);
TCMYK VXRGB2CMYK(TRGB rgb);

// Converts Count BGR pixels into CMYK pixels, each as VXRGB2CMYK would (the
// whole row in one translation when the profiles are used).
void VXBGRRowToCMYK(const void* Source, void* Dest, int32_t Count);

// Converts Count CMYK pixels into BGR pixels. With Weights (one 18-bit fixed
// point weight per pixel, 262144 = full) the converted pixel is blended over
// the destination instead of replacing it.
void VXCMYKRowToBGR(const void* Source, void* Dest, int32_t Count, const int32_t* Weights);
// The same by the plain formula on the stored bytes (red = c * k div 255, ...),
// whatever the settings say.
void VXCMYKRowToBGRPlain(const void* Source, void* Dest, int32_t Count, const int32_t* Weights);
// The same through the transform of Profile (input CMYK, output RGB).
void VXCMYKRowToBGRProfiled(const void* Source, void* Dest, int32_t Count, const int32_t* Weights,
                            TVXICC* Profile);
