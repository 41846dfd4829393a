#pragma once
// Drawing a bitmap onto a quadrilateral through a projective mapping, with
// alpha blending and a vertical alpha gradient, and a rectangle turned about
// two axes and seen in perspective, optionally with a reflection below it.
// The viewer draws layers with perspective through VXDrawToQuad; the
// multi-image viewer's 3D presentations use VXProjectDraw3D.

#include <cstdint>

class TVXBitmap;

// Where the source's top-left (x0, y0), top-right (x1, y1), bottom-right
// (x2, y2) and bottom-left (x3, y3) corners go.
struct TVXQuadCoords {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0, x3 = 0, y3 = 0;
  bool operator==(const TVXQuadCoords&) const = default;
};

// Draws Source (vx24RGB; its alpha channel is created opaque when missing)
// onto the quad x0, y0 .. x3, y3 of Dest (vx24RGB), nearest pixel. Each
// destination pixel of the corners' bounding box takes the source pixel
// (Trunc(u x width + 0.5), Trunc(v x height + 0.5)) at the inverse mapping
// (u, v) of its position, when that lies inside the source.
// - alphaMin and alphaMax both >= 0: gradient mode, the alpha falling down
//   the source rows (rising for a quad upside down), bounded by alphaMin ..
//   alphaMax; otherwise plain mode.
// - mergeAlpha: blends into Dest by min(source alpha, Transparency) (and the
//   gradient); otherwise Dest takes the source pixel and the alpha goes
//   into Dest's alpha channel.
// Nothing is drawn for Transparency 0, for a quad whose largest x or y is
// -1, whose x0 = x1 or y2 = y0, or whose corners make no quadrilateral
// (three of them on one line).
void VXDrawToQuad(TVXBitmap* Source, TVXBitmap* Dest, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                  int32_t y2, int32_t x3, int32_t y3, int32_t alphaMin, int32_t alphaMax, bool mergeAlpha,
                  int32_t Transparency);

// A destWidth x destHeight rectangle centred on (centerDestX, centerDestY),
// moved by (translateX, translateY), turned by rotateY degrees about the
// vertical axis and rotateX degrees about the horizontal one, seen from
// depth. Mode 0 computes Quad, 1 draws Source onto the Quad given, 2 does
// both. When drawing, specularAlphaMin and specularAlphaMax both >= 0 add
// the picture mirrored below the quad, fading from specularAlphaMax toward
// its far end. Nothing happens, and Quad stays, when a corner would lie at
// or behind the eye (depth + z <= 0).
void VXProjectDraw3D(TVXBitmap* Source, TVXBitmap* Dest, int32_t centerDestX, int32_t centerDestY, int32_t destWidth,
                     int32_t destHeight, int32_t translateX, int32_t translateY, double depth, double rotateX,
                     double rotateY, int32_t specularAlphaMin, int32_t specularAlphaMax, TVXQuadCoords& Quad,
                     int32_t Mode, bool mergeAlpha, int32_t Transparency);
