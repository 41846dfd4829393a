#pragma once
// One colour between sRGB (TRGB) and CIELab (TCIELab: L scaled to 0..255,
// a and b signed bytes), D65 white; and the processor's MMX test.

#include "core/pixels.h"

TCIELab VXRGB2CIELab(TRGB rgb);
TRGB VXCIELab2RGB(TCIELab lab);

// True when the processor reports the MMX instruction set.
bool VXMMXSupported();
