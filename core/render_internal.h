#pragma once
// Pixel arithmetic shared by the row renderers, the levels and the merge:
// the contrast factor, the black and white points and the weighted mix.

#include <cmath>
#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;

namespace vxrender {

inline uint8_t Clamp255(int64_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The contrast factor as a double: 1 + c / 10, or 1 - sqrt(-c) / 10 below 0.
inline double ContrastFactor(int32_t Contrast) {
  return Contrast >= 0 ? double(Contrast) / 10 + 1 : 1 - std::sqrt(double(-Contrast)) / 10;
}

// The same in 16.16 fixed point.
inline int64_t ContrastFactor16(int32_t Contrast) { return int64_t(ContrastFactor(Contrast) * 65536); }

// One 8-bit channel through the channel offset and the 16.16 contrast factor
// (the division truncates toward zero).
inline uint8_t AdjustChannel(int32_t c, int32_t offset, int64_t F) {
  return Clamp255((int64_t(c + offset - 128) * F) / 65536 + 128);
}

// D moved toward C by w / 256 (w 0..255), rounding toward minus infinity.
inline uint8_t Mix(uint8_t D, int32_t C, int32_t w) { return uint8_t(D + (((C - D) * w * 1024) >> 18)); }

inline void MixPixel(uint8_t* d, const TRGB& c, int32_t w) {
  d[0] = Mix(d[0], c.b, w);
  d[1] = Mix(d[1], c.g, w);
  d[2] = Mix(d[2], c.r, w);
}

// The checks of the 24-bit destination of RenderToTVXBitmap and
// StretchRectTo (Caller begins the messages): it must be given, 24-bit and
// held in memory. False when it is empty, so that there is nothing to draw.
bool UsableDestination(const char* Caller, TVXBitmap* Dest);

// A destination and a source rectangle in 64 bits while they are clipped;
// Narrow stores them back into the caller's 32-bit values.
struct TClipRects {
  int64_t xd, yd, dxd, dyd, xs, ys, dxs, dys;
  void Narrow(int32_t& xDst, int32_t& yDst, int32_t& dxDst, int32_t& dyDst, int32_t& xSrc, int32_t& ySrc,
              int32_t& dxSrc, int32_t& dySrc) const {
    xDst = int32_t(xd);
    yDst = int32_t(yd);
    dxDst = int32_t(dxd);
    dyDst = int32_t(dyd);
    xSrc = int32_t(xs);
    ySrc = int32_t(ys);
    dxSrc = int32_t(dxs);
    dySrc = int32_t(dys);
  }
};

// The filtered paths: the rectangle (x, y, w, h) of Source, with its alpha
// channel when WithAlpha, resampled by Filter into Sized at dw x dh. A vx1g
// source becomes vx1g for the projections and vx24RGB otherwise; any other
// source becomes Format (vxnull: its own), which the resampler may turn into
// vx24RGB. Raises EVXException when memory runs out or no resampler is there.
void ResampleRect(TVXBitmap* Source, int32_t x, int32_t y, int32_t w, int32_t h, bool WithAlpha,
                  TResampleFilter Filter, int32_t dw, int32_t dh, TVXPixelFormat Format, TVXBitmap& Sized);

}  // namespace vxrender
