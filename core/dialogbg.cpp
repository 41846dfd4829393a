#include "core/dialogbg.h"

#include <algorithm>
#include <cmath>

#include "core/random.h"
#include "gui/graphics.h"

void VXGaussianCurve(int32_t N, int32_t MinValue, int32_t MaxValue, double Sigma, std::vector<double>& Values) {
  Values.assign(size_t(std::max(N, 0)), 0.0);
  if (N < 1) return;
  double peak = 0;
  for (int32_t i = 0; i < N; ++i) {
    const double t = 2.0 * i / N - 1;
    Values[size_t(i)] = std::exp(-Sigma * Sigma * t * t / 2) / (Sigma * std::sqrt(2 * M_PI));
    peak = std::max(peak, Values[size_t(i)]);
  }
  for (double& v : Values) v = (peak > 0 ? v / peak : 0) * (MaxValue - MinValue) + MinValue;
}

namespace {

// Makes Bitmap Width x Height at 24 bits; false when there is nothing to fill.
bool Prepare(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (!Bitmap) return false;
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(std::max(Width, 0), std::max(Height, 0));
  return !Bitmap->Empty();
}

}  // namespace

void VXFillStripesBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (!Prepare(Bitmap, Width, Height)) return;
  std::vector<double> level;
  VXGaussianCurve(4, 130, 255, 0.5, level);
  for (int32_t r = 0; r < Height; ++r) {
    auto* p = static_cast<uint8_t*>(Bitmap->ScanLine(r));
    std::fill(p, p + size_t(Width) * 3, uint8_t(int32_t(level[size_t(r % 4)])));
  }
}

void VXFillBrushedMetalBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (!Prepare(Bitmap, Width, Height)) return;
  std::vector<double> profile;
  VXGaussianCurve(Width, 160, 208, 3.0, profile);
  int32_t c = 0;
  for (int32_t r = 0; r < Height; ++r) {
    auto* p = static_cast<uint8_t*>(Bitmap->ScanLine(r));
    int32_t counter = 0;
    for (int32_t j = 0; j < Width; ++j, p += 3) {
      const uint8_t g = uint8_t(int32_t(profile[size_t(j)]) + c);
      p[0] = p[1] = p[2] = g;
      ++counter;
      if (Random(Width) + 100 < counter) {
        c = Random(11);
        counter = 0;
      }
    }
  }
}
