#pragma once
// Separable Gaussian blur in 16.16 fixed point: the kernel, the row routines
// and the grey-rectangle blur that the image core and the viewer use to
// soften masks and alpha channels. The processing component's whole-image
// blur (VXDoGaussianBlur) builds on these.
//
// Results are integer arithmetic: each output is (32768 + sum of weight x
// value over the taps) shr 16, the ends of a run standing in for everything
// beyond them. The sums are exact, so any evaluation order gives the same
// bytes.

#include <cstdint>

class TVXBitmap;

struct TGaussKernel {
  int8_t Radius = 1;        // half-width actually used, 1 .. 100
  double Weights[201] = {};  // exp(-d^2 / 2), d = (i - 100) / sigma
  int32_t Kernel[201] = {};  // Round(Weights[i] * 65536 / sum of weights); 100 is the centre
};

// Fills Kernel for Sigma (> 0).
void VXMakeGaussKernel(TGaussKernel& Kernel, double Sigma);
// One-dimensional blur of n vx24RGB pixels (each channel apart), and of n
// bytes. Source and Dest may be the same run.
void VXGaussBlurRow24(const TGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t n);
void VXGaussBlurRow8(const TGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t n);
// Blurs the rectangle x1..x2, y1..y2 (inclusive, clamped into the bitmap) of
// a vx8g bitmap in place: rows, then columns, each run's ends replicating
// the rectangle's own border. Other formats and Sigma <= 0: nothing.
void VXGaussianBlurGray(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Sigma);

namespace vxdetail {
// The two passes over a plane of Height rows of Count values each (Channels
// interleaved values a pixel): Row(i) gives the address of row i. Each pass
// may report after a row through Progress (pass 0 horizontal, 1 vertical).
void VXGaussBlurPlane(const TGaussKernel& Kernel, int32_t Channels, int32_t Count, int32_t Height,
                      uint8_t* (*Row)(void* Context, int32_t i), void (*Release)(void* Context, int32_t i),
                      void* Context, void (*Progress)(void* Context, int32_t Pass, int32_t Row));
}  // namespace vxdetail
