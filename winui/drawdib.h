// DrawDib of Video for Windows: here a plain copy of the bits to the DC.
#pragma once
#include "winui/gdi.h"

constexpr UINT DDF_HALFTONE = 0x1000;
HDRAWDIB DrawDibOpen();
BOOL DrawDibClose(HDRAWDIB hdd);
// Sizes of -1: the destination takes the source's, the source the DIB's.
BOOL DrawDibDraw(HDRAWDIB hdd, HDC hdc, int xDst, int yDst, int dxDst, int dyDst, BITMAPINFOHEADER* lpbi,
                 LPVOID lpBits, int xSrc, int ySrc, int dxSrc, int dySrc, UINT wFlags);
UINT DrawDibRealize(HDRAWDIB hdd, HDC hdc, BOOL fBackground);
