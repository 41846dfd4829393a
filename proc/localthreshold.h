#pragma once
// Binarisation against a threshold computed in a moving window, for scanned
// pages whose lighting varies.

#include <cstdint>

#include "core/vxdefs.h"

class TVXBitmap;

enum TVXThreshMode { vxtMean, vxtMedian, vxtMeanMinMax };

// Target becomes a vx1g image of Source's size (Target may be Source): a
// pixel is black when its grey (Source converted to vx8g) is below T, white
// otherwise. The window of pixel (x, y) is rows y - h + 1 .. y + h and
// columns x - h + 1 .. x + h, h = WinSize div 2 (2h x 2h pixels, so 10 and
// 11 both give 10 x 10), counting only pixels inside the image. T is, less
// Offset: vxtMean the window's mean (truncated), vxtMedian its grey at index
// count div 2 in ascending order, vxtMeanMinMax (min + max) shr 1. WinSize
// below 2 does nothing. Progress Trunc(y / height x 100) after each row when
// it changes.
void VXDoLocalThreshold(TVXBitmap* Source, TVXBitmap* Target, int32_t WinSize, TVXThreshMode Mode, int32_t Offset,
                        void* Sender, const TVXProgressEvent& OnProgress);
