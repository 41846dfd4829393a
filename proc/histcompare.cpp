// Histogram comparison.

#include "proc/histcompare.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/bitmap.h"
#include "proc/tone.h"

double VXHistogramDistance(std::span<const uint32_t> a, std::span<const uint32_t> b, TVXCmpMode Mode) {
  const size_t n = std::min(a.size(), b.size());
  if (n == 0) return 0;
  switch (Mode) {
    case vxcmpRMSE: {
      double squares = 0;
      uint32_t hi = 0, lo = UINT32_MAX;
      for (size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - double(b[i]);
        squares += d * d;
        hi = std::max({hi, a[i], b[i]}), lo = std::min({lo, a[i], b[i]});
      }
      // Every counter equal: no spread to measure against, and no difference.
      if (hi == lo) return 0;
      return std::sqrt(squares / double(n)) / double(hi - lo);
    }
    case vxcmpHamming: {
      size_t differ = 0;
      for (size_t i = 0; i < n; ++i) differ += a[i] != b[i];
      return double(differ) / double(n);
    }
    case vxcmpCovariance: {
      double ma = 0, mb = 0;
      for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
      ma /= double(n), mb /= double(n);
      double c = 0;
      for (size_t i = 0; i < n; ++i) c += ((double(a[i]) - ma) * (double(b[i]) - mb) - c) / double(i + 1);
      return c;
    }
  }
  return 0;
}

double VXCompareHistograms(TVXBitmap* Bitmap, TVXBitmap* SecondImage, TVXCmpMode Mode, bool GrayScale) {
  if (!Bitmap || !SecondImage) return 0;
  const TVXHistogramContent content = vxhcRed | vxhcGreen | vxhcBlue | vxhcGray;
  TVXHistogram h1, h2;
  VXCalcHistogram(Bitmap, 0, 0, Bitmap->Width(), SecondImage->Height(), h1, content, nullptr);
  VXCalcHistogram(SecondImage, 0, 0, Bitmap->Width(), SecondImage->Height(), h2, content, nullptr);
  auto channel = [](const TVXHistogram& h, uint32_t THistogramItem::*field) {
    std::vector<uint32_t> v(h.size());
    for (size_t i = 0; i < h.size(); ++i) v[i] = h[i].*field;
    return v;
  };
  auto d = [&](uint32_t THistogramItem::*field) {
    return VXHistogramDistance(channel(h1, field), channel(h2, field), Mode);
  };
  if (GrayScale) return 1 - d(&THistogramItem::Gray);
  return 1 - (d(&THistogramItem::R) + d(&THistogramItem::G) + d(&THistogramItem::B)) / 3;
}
