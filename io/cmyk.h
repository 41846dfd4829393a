// The default row colour converter of the I/O parameters' colour-conversion
// hook: colour spaces of loaded rows into BGR (and BGR into CMYK, CIELab or
// grey), through the parameters' colour profiles when colour management is on.
#pragma once

#include <cstdint>

#include "core/vxdefs.h"

class TIOParamsVals;

// Default value of the settings' colour-conversion hook: converts one row of
// InputColorSpace into OutputColorSpace, through the parameters' colour
// profiles when colour management is enabled.
void VXDefaultConvertColor(void* InputScanline, TVXColorSpace InputColorSpace, void* OutputScanline,
                           TVXColorSpace OutputColorSpace, int32_t ImageWidth, TIOParamsVals* IOParams);
