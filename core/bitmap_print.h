#pragma once
// Drawing device-independent bitmaps onto a device canvas (core/bitmap_print.cpp).

#include <cstdint>

#include "platform/win_memory.h"

class TCanvas;
class TVXBitmap;

// The DIB's rectangle (xSrc, ySrc, SrcWidth, SrcHeight; rows counted from the
// bottom of a bottom-up DIB) stretched onto the canvas's rectangle, colour on
// colour. The DIB is locked for the call.
void _DIBDrawTo(TCanvas* Canvas, HGLOBAL DIB, int32_t xSrc, int32_t ySrc, int32_t SrcWidth, int32_t SrcHeight,
                int32_t xDst, int32_t yDst, int32_t DestWidth, int32_t DestHeight);
// Columns FirstCol .. FirstCol + Width - 1 and rows FirstRow .. FirstRow +
// Rows - 1 of Bitmap drawn at (xDst, yDst) at 1:1 through a DIB. False (and
// nothing drawn) when the DIB could not be had.
bool PrintPict(TCanvas* Canvas, int32_t xDst, int32_t yDst, TVXBitmap* Bitmap, int32_t FirstCol, int32_t FirstRow,
               int32_t Width, int32_t Rows);
