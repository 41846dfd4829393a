#pragma once
// One-click enhancements of vx24RGB images: local colour equalisation
// (AutoEnhance1), edge-adaptive sharpening (AutoSharp), multi-scale retinex
// with colour restoration (AutoEnhance2) and two-stage local adaptation of
// the luminance (AutoEnhance3), with the recursive Gaussian filters behind
// the last two.
//
// Implementation files:
//   proc/autoenhance.cpp  VXDoAutoEnhance1, VXDoAutoSharp, VXAutoSharpByEdgeMap
//   proc/retinex.cpp      the recursive Gaussians, VXDoAutoEnhance2, VXDoAutoEnhance3
//
// The workers take the whole bitmap, report progress through OnProgress
// (only when assigned) with Sender, and leave other pixel formats alone.

#include <cstdint>

#include "core/vxdefs.h"

class TVXBitmap;

// Local colour equalisation. A copy about SubsampledSize pixels wide (step
// e = max(1, W div SubsampledSize), nearest pixel) compares every pixel with
// all others, channel by channel, weighted by the inverse distance and
// limited by tan(Slope degrees) and Cut per cent; the results are stretched
// to 0..255 and carried back to each full-size pixel by interpolating
// between the nearest darker and brighter copy pixels of its neighbourhood
// (3 rows, 2 x Neighbour + 1 columns). A copy of at least one row and column
// is made; SubsampledSize below 1 does nothing. Progress: 0 .. 50 for the
// comparison, 50 .. 100 for the carrying back.
void VXDoAutoEnhance1(TVXBitmap* Bitmap, int32_t SubsampledSize, int32_t Slope, int32_t Cut, int32_t Neighbour,
                      void* Sender, const TVXProgressEvent& OnProgress);

// Sharpening whose strength follows the nearness of edges: the Shen-Castan
// edge map (WindowSize 7, hysteresis, no thinning, Smooth 0.9, Ratio = rate)
// as grey levels, blurred with sigma 4, drives VXAutoSharpByEdgeMap.
void VXDoAutoSharp(TVXBitmap* Bitmap, int32_t Intensity, double rate, void* Sender,
                   const TVXProgressEvent& OnProgress);
// The sharpening step of VXDoAutoSharp for a given vx8g EdgeMap of the
// bitmap's size (0 on edges, 255 far from them): amount = Round((255 - edge)
// / 255 x Intensity), and each channel v becomes clamp(Trunc(v + (v - mean)
// x amount / 10)), mean being the integer mean of the 5 x 5 window cut to
// the image without its centre row and column (0 when that holds no pixel).
// Progress Trunc(y / H x 100) after each row. Nothing when the map's size or
// format does not fit.
void VXAutoSharpByEdgeMap(TVXBitmap* Bitmap, TVXBitmap* EdgeMap, int32_t Intensity, void* Sender,
                          const TVXProgressEvent& OnProgress);

// ---- recursive Gaussians ----

// First-order-cascade recursive Gaussian of the retinex (single precision):
// w[k] = B e[k] + b1 w[k-1] + b2 w[k-2] + b3 w[k-3], and backwards alike.
struct TVXRecursiveGaussCoefs {
  float B = 0, b1 = 0, b2 = 0, b3 = 0;
};
TVXRecursiveGaussCoefs VXRecursiveGaussCoefs(float Sigma);
// Smooths one line of n samples (n >= 1; Source and Target may be the same)
// over its mirrored extension to 3n samples: a causal pass from the first
// extended sample (zero state), an anticausal pass back from the last (zero
// state) to the middle copy, which is the result. Work holds 3n values.
void VXRecursiveGaussLine(const float* Source, float* Target, int32_t n, const TVXRecursiveGaussCoefs& Coefs,
                          float* Work);
// Smooths a plane of Width x Height values (row after row) into Target:
// every row, then every column of Target in place.
void VXRecursiveGaussPlane(const float* Source, float* Target, int32_t Width, int32_t Height,
                           const TVXRecursiveGaussCoefs& Coefs);

// Multi-scale retinex with colour restoration. The scales: ScaleHigh / 2
// and (ScaleCount >= 2) ScaleHigh; with more than two scales ScaleCurve
// spreads ScaleCount of them logarithmically upwards from 3 (0) or
// downwards from ScaleHigh - 1 (1), or evenly from 2 (2). Each scale adds
// the difference of the logarithms of the channels and their smoothed
// planes; the colour restoration weighs it; the results, Variance standard
// deviations either side of their mean, are stretched to 0..255 (a spread
// within single-precision noise counts as none). With Luminance only the
// YCbCr luminance goes through the retinex and each pixel keeps its Cb and
// Cr. Refused (nothing happens): ScaleCount < 1, another ScaleCurve with
// more than two scales, scales that are no number (ScaleHigh <= 2 with
// curve 0 or 1), images narrower or lower than 3 pixels.
bool VXAutoEnhance2Accepts(int32_t Width, int32_t Height, int32_t ScaleCount, int32_t ScaleCurve, int32_t ScaleHigh);
void VXDoAutoEnhance2(TVXBitmap* Bitmap, int32_t ScaleCount, int32_t ScaleCurve, bool Luminance, int32_t ScaleHigh,
                      double Variance, void* Sender, const TVXProgressEvent& OnProgress);

// Third-order recursive Gaussian in double precision (Young, van Vliet and
// van Ginkel) with the boundary conditions of Triggs and Sdika: the causal
// pass w[k] = x[k] + a1 w[k-1] + a2 w[k-2] + a3 w[k-3] starts in the steady
// state of the first sample; the anticausal pass y[k] = B^2 w[k] + a1 y[k+1]
// + a2 y[k+2] + a3 y[k+3] starts where an endless continuation of the line
// by its last sample would bring it. M maps the last three causal residuals
// (w[n-1] - u, w[n-2] - u, w[n-3] - u; u = x[n-1] / B) to the anticausal
// values at n - 1, n and n + 1 less their steady state u / B, in units of
// B^2. B = 1 - a1 - a2 - a3. M's entries grow to about 1e8 at sigma 80 and
// nearly cancel, so M and the boundary are kept in extended precision.
struct TVXGauss3Coefs {
  double a1 = 0, a2 = 0, a3 = 0, B = 0;
  long double M[3][3] = {};
};
TVXGauss3Coefs VXGauss3Coefs(double Sigma);
// Smooths a line of n samples in place; lines shorter than 3 samples stay
// as they are.
void VXGauss3Line(double* Line, int32_t n, const TVXGauss3Coefs& Coefs);

// Local adaptation of the luminance on the image enlarged by 8 columns on
// the left and 8 rows at the bottom (black): two stages, sigma 3 then 1.5,
// each dividing the luminance by its smoothed self plus an offset of half
// the mean; each pixel's channels then scale with the new luminance through
// gamma 2.2 tables and a gamma table of Gamma; the saturation changes by the
// factor Saturation / 100 (VXDoAdjustSaturation). Gamma <= 0 does nothing.
// Progress in nine stages of 9 per cent.
void VXDoAutoEnhance3(TVXBitmap* Bitmap, int32_t Saturation, double Gamma, void* Sender,
                      const TVXProgressEvent& OnProgress);
