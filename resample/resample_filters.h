#pragma once
// Reconstruction kernels of the separable resampler and the contributor
// tables built from them: for every target column (or row) the list of
// source columns (rows) that contribute to it, with integer weights scaled
// by 256.

#include <cstdint>
#include <vector>

#include "core/vxdefs.h"

// A kernel: weight of a sample at signed distance x (in source pixels of the
// kernel's own scale).
using TVXFilterKernel = double (*)(double x);

struct TVXFilterEntry {
  TVXFilterKernel Filter;
  double Support;  // half-width
};

double VXTriangleFilter(double x);
double VXHermiteFilter(double x);
double VXBellFilter(double x);
double VXBSplineFilter(double x);
double VXLanczos3Filter(double x);
double VXMitchellFilter(double x);
double VXNearestFilter(double x);
double VXLinearFilter(double x);
// sin(pi x) / (pi x), 1 at 0 (pi x taken as a double first).
double VXSinc(double x);

// True for the filters that have a kernel (rfTriangle .. rfLinear).
bool VXIsKernelFilter(TResampleFilter Filter);
// The kernel and support of rfTriangle .. rfLinear; nullptr for the others.
const TVXFilterEntry* VXResampleFilterEntry(TResampleFilter Filter);

// Trunc(x), minus 1 when x has a negative fraction / plus 1 when it has a
// positive one.
int64_t VXFloorL(long double x);
int64_t VXCeilL(long double x);
// Nearest integer of an extended value, halves to even (as nearbyintl under
// the default rounding mode, without its cost).
long double VXRoundHalfEvenL(long double x);

struct TContributor {
  int32_t pixel;   // source column or row
  int32_t weight;  // filter weight scaled by 256
};

struct TCList {
  int32_t n = 0;                 // contributors in use
  std::vector<TContributor> p;   // the contributors, in increasing source position
};

using TCListList = std::vector<TCList>;

// Scale of the axis: endpoints map onto endpoints, except when one side is a
// single pixel.
double VXResampleAxisScale(int32_t SrcSize, int32_t DstSize);

// Contributor lists of one axis, one per target position 0 .. DstSize - 1.
// Indices outside the source are mirrored (j < 0 -> -j, j >= SrcSize ->
// 2 SrcSize - 1 - j); with ClampIndices the mirrored index is also clamped to
// 0 .. SrcSize - 1 (otherwise the user clamps it). Zero weights are not
// stored. A list whose rounded weights sum to 0 (extreme reductions, where
// every single weight rounds to 0) is rebuilt from the unrounded kernel values
// scaled to sum 256 and rounded cumulatively, so it still sums to 256.
// Filter must be a kernel filter; sizes must be positive.
TCListList VXBuildContributors(int32_t SrcSize, int32_t DstSize, TResampleFilter Filter, bool ClampIndices);
