#pragma once
// Sobel edges.

#include "core/vxdefs.h"

class TVXBitmap;

// Replaces the bitmap by the Sobel gradient magnitude of its grey levels,
// Trunc(sqrt(gx^2 + gy^2) / 4) capped at 255, as vx8g (vx24RGB with the
// value in all three bytes for a bitmap held in a platform bitmap). The
// one-pixel border is 0. Progress Trunc(y / height x 100) after each row.
void VXDoSobel(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress);
