#pragma once
// Turning and mirroring bitmaps: the three-shear rotation with 1/4096 blending
// (24-bit images and their 8-bit alpha channels), nearest-pixel rotations,
// exact quarter and half turns, the bilinear and bicubic rotation renderers,
// and the flip of every pixel format. Angles are in degrees; positive angles
// turn the picture counter-clockwise as seen with row 0 at the top.
//
// Implementation files:
//   core/rotate_shear.cpp    VXRotateShear24, VXRotateShear8
//   core/rotate_nearest.cpp  VXRotate1Bit, VXRotateNearest8, VXRotateNearest(To),
//                            the quarter turns
//   core/rotate_render.cpp   VXRotateAntialias24(To), VXRotateAntialias8(To)
//   core/flip.cpp            VXFlipBitmap
//
// The in-place routines replace the image and keep the bitmap's alpha
// channel, origin, levels and colour profile; rotating the alpha channel
// alongside is the caller's part (TVXBitmap::RotateEx does it). Angles that
// are not finite leave the bitmap unchanged.

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;

// ---- three-shear rotation (rotate_shear.cpp) ----

// Rotates a vx24RGB bitmap in place: the angle is cut to 1/1000 degree, exact
// quarter turns bring it into -45 .. 45, three shears do the rest (blended at
// 1/4096 pixel when AntiAlias). Uncovered pixels take Background. A vx1g
// bitmap goes to VXRotate1Bit (white when all three channels of Background
// are non-zero); the other formats to VXRotateNearest, which has no shears.
void VXRotateShear24(TVXBitmap* Bitmap, bool AntiAlias, void* Sender, const TVXProgressEvent& OnProgress,
                     TRGB Background, double Angle);
// The same on vx8g and vx8p bitmaps (alpha channels), one byte a pixel, so
// that an image and its alpha channel turned alike match. Other formats are
// left alone.
void VXRotateShear8(TVXBitmap* Bitmap, bool AntiAlias, uint8_t FillValue, void* Sender,
                    const TVXProgressEvent& OnProgress, double Angle);

// ---- nearest-pixel rotations and quarter turns (rotate_nearest.cpp) ----

// vx1g only: exact for 90, -90, 270, 180 and -180; otherwise nearest pixel
// with four-decimal sine and cosine. Uncovered pixels are white when White.
void VXRotate1Bit(TVXBitmap* Bitmap, bool White, TProgressRec& Progress, double Angle);
// vx8g and vx8p (the palette stays) by the same rule, uncovered pixels
// FillValue.
void VXRotateNearest8(TVXBitmap* Bitmap, int32_t FillValue, double Angle);

// Any pixel format, nearest pixel, about the centre; whole multiples of 90
// are exact turns. Uncovered pixels take Background as TVXBitmap::Fill takes
// it (vx1g: black). In place.
void VXRotateNearest(TVXBitmap* Bitmap, double Background, void* Sender, const TVXProgressEvent& OnProgress,
                     double Angle);
// The same rendered into Target, which is (re)allocated; an empty Source
// gives an empty Target.
void VXRotateNearestTo(TVXBitmap* Source, TVXBitmap* Target, double Background, void* Sender,
                       const TVXProgressEvent& OnProgress, double Angle);

// Quarter turns into Dest, allocated with the swapped size and Source's
// format (clockwise: Dest(x, y) = Source(y, H - 1 - x); counter-clockwise:
// Dest(x, y) = Source(W - 1 - y, x)). The 24-bit pair moves 3-byte pixels,
// the 8-bit pair bytes (a vx8p palette comes along).
void VXRotate90CW24(TVXBitmap* Source, TVXBitmap* Dest);
void VXRotate90CCW24(TVXBitmap* Source, TVXBitmap* Dest);
void VXRotate90CW8(TVXBitmap* Source, TVXBitmap* Dest);
void VXRotate90CCW8(TVXBitmap* Source, TVXBitmap* Dest);

// ---- bilinear and bicubic renderers (rotate_render.cpp) ----
// The target measures Round(|c (W - 1)| + |s (H - 1)|) by Round(|s (W - 1)| +
// |c (H - 1)|). Modes other than vxrBilinear and vxrBicubic fill the target
// with the background; an empty source gives an empty target.

// vx24RGB; sample points up to one pixel outside the source repeat its
// border, further out they take Background (a colour value).
void VXRotateAntialias24(TVXBitmap* Bitmap, TColor Background, TVXAntialiasMode Mode, void* Sender,
                         const TVXProgressEvent& OnProgress, double Angle);
void VXRotateAntialias24To(TVXBitmap* Source, TVXBitmap* Target, TColor Background, void* Sender,
                           const TVXProgressEvent& OnProgress, TVXAntialiasMode Mode, double Angle);
// One byte a pixel (alpha channels); every point outside takes Background.
void VXRotateAntialias8(TVXBitmap* Bitmap, int32_t Background, TVXAntialiasMode Mode, double Angle);
void VXRotateAntialias8To(TVXBitmap* Source, TVXBitmap* Target, int32_t Background, TVXAntialiasMode Mode,
                          double Angle);

// ---- flip (flip.cpp) ----

// Mirrors the bitmap in place, left to right or top to bottom, every pixel
// format by whole pixels, the alpha channel with it.
void VXFlipBitmap(TVXBitmap* Bitmap, TFlipDir Dir);
