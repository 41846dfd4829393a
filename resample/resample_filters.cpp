// Resampling kernels and contributor tables.
//
// Every weight is defined bit for bit: the scales, the support, the width and
// the centre are doubles; centre -/+ width, centre - j, its division by the
// scale and the product with 256 are evaluated in extended precision; the
// kernel's argument is rounded to a double first; weights are rounded half to
// even.

#include "resample/resample_filters.h"

#include <cmath>
#include <cstdlib>

#include "core/vxdefs.h"

namespace {

constexpr long double kPiExtended = 3.14159265358979323846264338327950288L;

}  // namespace

double VXTriangleFilter(double x) {
  double a = std::fabs(x);
  if (a < 1.0) return 1.0 - a;
  return 0.0;
}

double VXHermiteFilter(double x) {
  double a = std::fabs(x);
  if (a < 1.0) {
    double a2 = a * a;
    double a3 = a2 * a;
    return 2.0 * a3 - 3.0 * a2 + 1.0;
  }
  return 0.0;
}

double VXBellFilter(double x) {
  double a = std::fabs(x);
  if (a < 0.5) return 0.75 - a * a;
  if (a < 1.5) {
    double t = a - 1.5;
    return 0.5 * (t * t);
  }
  return 0.0;
}

double VXBSplineFilter(double x) {
  double a = std::fabs(x);
  if (a < 1.0) {
    double a2 = a * a;
    double a3 = a2 * a;
    return 0.5 * a3 - a2 + 2.0 / 3.0;
  }
  if (a < 2.0) {
    double t = 2.0 - a;
    return t * t * t / 6.0;
  }
  return 0.0;
}

double VXSinc(double x) {
  if (x == 0.0) return 1.0;
  double px = double(kPiExtended * (long double)x);
  return std::sin(px) / px;
}

double VXLanczos3Filter(double x) {
  double a = std::fabs(x);
  if (a < 3.0) return VXSinc(a) * VXSinc(a / 3.0);
  return 0.0;
}

double VXMitchellFilter(double x) {
  // Mitchell-Netravali with B = C = 1/3.
  double a = std::fabs(x);
  double a2 = a * a;
  double a3 = a2 * a;
  if (a < 1.0) return (7.0 * a3 - 12.0 * a2 + 16.0 / 3.0) / 6.0;
  if (a < 2.0) return (-(7.0 / 3.0) * a3 + 12.0 * a2 - 20.0 * a + 32.0 / 3.0) / 6.0;
  return 0.0;
}

double VXNearestFilter(double x) {
  if (x > -0.5 && x <= 0.5) return 1.0;
  return 0.0;
}

double VXLinearFilter(double x) {
  if (x >= 0.0 && x < 1.0) return 1.0 - x;
  if (x >= -1.0 && x < 0.0) return x + 1.0;
  return 0.0;
}

namespace {

const TVXFilterEntry kFilterTable[8] = {
    {VXTriangleFilter, 1.0}, {VXHermiteFilter, 1.0}, {VXBellFilter, 1.5},    {VXBSplineFilter, 2.0},
    {VXLanczos3Filter, 3.0}, {VXMitchellFilter, 2.0}, {VXNearestFilter, 1.0}, {VXLinearFilter, 1.0},
};

}  // namespace

bool VXIsKernelFilter(TResampleFilter Filter) {
  int f = int(Filter);
  return f >= int(rfTriangle) && f <= int(rfLinear);
}

const TVXFilterEntry* VXResampleFilterEntry(TResampleFilter Filter) {
  if (!VXIsKernelFilter(Filter)) return nullptr;
  return &kFilterTable[int(Filter) - int(rfTriangle)];
}

int64_t VXFloorL(long double x) {
  int64_t t = int64_t(x);
  if (x - (long double)t < 0) --t;
  return t;
}

int64_t VXCeilL(long double x) {
  int64_t t = int64_t(x);
  if (x - (long double)t > 0) ++t;
  return t;
}

long double VXRoundHalfEvenL(long double x) {
  // At 1.5 * 2^63 the extended format's unit in the last place is 1, so the
  // addition rounds x to an integer (halves to even: the constant is even);
  // the subtraction is exact.
  const long double magic = 0x1.8p63L;
  if (!(std::fabs(x) < 0x1p62L)) return x;  // integral already (or not finite)
  return (x + magic) - magic;
}

double VXResampleAxisScale(int32_t SrcSize, int32_t DstSize) {
  if (SrcSize == 1 || DstSize == 1) return double(DstSize) / double(SrcSize);
  return double(DstSize - 1) / double(SrcSize - 1);
}

namespace {

inline int32_t MirrorIndex(int64_t j, int32_t size, bool clamp) {
  if (j < 0)
    j = -j;
  else if (j >= size)
    j = 2 * int64_t(size) - 1 - j;
  if (clamp) {
    if (j < 0) j = 0;
    if (j > size - 1) j = size - 1;
  }
  // Without clamping the index still has to fit 32 bits; it is clamped by the
  // user, so saturating here changes nothing.
  if (j < INT32_MIN) j = INT32_MIN;
  if (j > INT32_MAX) j = INT32_MAX;
  return int32_t(j);
}

}  // namespace

TCListList VXBuildContributors(int32_t SrcSize, int32_t DstSize, TResampleFilter Filter, bool ClampIndices) {
  TCListList lists;
  const TVXFilterEntry* entry = VXResampleFilterEntry(Filter);
  if (!entry || SrcSize <= 0 || DstSize <= 0) return lists;
  lists.resize(size_t(DstSize));

  const double scale = VXResampleAxisScale(SrcSize, DstSize);
  const bool up = scale >= 1.0;
  const double fscale = 1.0 / scale;
  const double width = up ? entry->Support : entry->Support / scale;

  // Unrounded weight of source position j for the list centred at center.
  auto rawWeight = [&](double center, int64_t j) -> long double {
    if (up) {
      double arg = double((long double)center - (long double)j);
      return (long double)entry->Filter(arg) * 256.0L;
    }
    double arg = double(((long double)center - (long double)j) / (long double)fscale);
    return (long double)entry->Filter(arg) * 256.0L / (long double)fscale;
  };

  for (int32_t i = 0; i < DstSize; ++i) {
    const double center = double(i) / scale;
    const int64_t left = VXFloorL((long double)center - (long double)width);
    const int64_t right = VXCeilL((long double)center + (long double)width);
    TCList& list = lists[size_t(i)];
    list.p.reserve(size_t(std::max<int64_t>(0, int64_t(2.0 * width + 1.0))));
    int64_t sum = 0;
    for (int64_t j = left; j <= right; ++j) {
      // Integral already, so the conversion through double is exact.
      const int32_t weight = int32_t(double(VXRoundHalfEvenL(rawWeight(center, j))));
      if (weight != 0) {
        list.p.push_back({MirrorIndex(j, SrcSize, ClampIndices), weight});
        sum += weight;
      }
    }
    if (sum == 0) {
      // Every weight rounded away (or they cancel): spread 256 over the
      // unrounded values instead, rounding the running total so the integer
      // weights add up to exactly 256.
      long double total = 0;
      for (int64_t j = left; j <= right; ++j) total += rawWeight(center, j);
      if (total != 0) {
        list.p.clear();
        long double running = 0;
        int64_t previous = 0;
        for (int64_t j = left; j <= right; ++j) {
          running += rawWeight(center, j) * 256.0L / total;
          const int64_t rounded = int64_t(double(VXRoundHalfEvenL(running)));
          const int64_t weight = rounded - previous;
          previous = rounded;
          if (weight != 0) list.p.push_back({MirrorIndex(j, SrcSize, ClampIndices), int32_t(weight)});
        }
      }
    }
    list.n = int32_t(list.p.size());
  }
  return lists;
}
