// Skew of a scanned page by a Hough transform over its dark pixels, its
// refinement by the row profile of the turned page, and the row and column
// brightness profiles.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "proc/docanalysis.h"

namespace {

// Divides by 2^17, rounding to nearest with halves away from zero.
inline int64_t RoundShift17(int64_t v) {
  const uint64_t a = uint64_t(v < 0 ? -v : v);
  int64_t r = int64_t(a >> 17);
  if ((a & 0x1FFFF) > 65535) ++r;
  return v < 0 ? -r : r;
}

}  // namespace

int32_t VXHoughStepsPerDegree(double Precision) {
  const double p = std::trunc(Precision * 10) / 10;
  if (!(p >= 0.1 && p <= 1)) return 0;
  return int32_t(std::nearbyint(1 / Precision));
}

double VXHoughSkew(TVXBitmap* Bitmap, int32_t AngleRange, double Precision, void* Sender,
                   const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->PixelFormat() != vx1g) return 0;
  const int32_t e = VXHoughStepsPerDegree(Precision);
  if (e == 0 || AngleRange < 0 || AngleRange > 180) return 0;
  const double step = (1.0 / e) * 0.017453292519444445;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int64_t d = int64_t(std::sqrt(double(W) * W + double(H) * H) / 2);
  const int32_t angles = 180 * e;
  // Two columns more than 2d + 1: the separately rounded projections can
  // land one column beyond either end. Column k holds rho = k - 1.
  const int64_t cols = 2 * d + 3;
  // One row an angle, each a block of its own.
  std::vector<std::vector<int32_t>> acc(static_cast<size_t>(angles));
  for (auto& row : acc) row.assign(size_t(cols), 0);
  std::vector<int64_t> S(static_cast<size_t>(angles)), C(static_cast<size_t>(angles));
  for (int32_t i = 0; i < angles; ++i) {
    S[size_t(i)] = int64_t(std::sin(i * step) * 131072);
    C[size_t(i)] = int64_t(std::cos(i * step) * 131072);
  }
  const int32_t n = (AngleRange * e) / 2, half = 90 * e;
  const int32_t lFirst = half - n, lLast = half + n - 2;
  const int32_t fullBytes = W / 8;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->Scanline(y));
    const int64_t dy = y - H / 2;
    for (int32_t x = 0; x < W; ++x) {
      // Eight white pixels at a time.
      if ((x & 7) == 0 && (x >> 3) < fullBytes && row[x >> 3] == 0xFF) {
        x += 7;
        continue;
      }
      if (row[x >> 3] & (0x80u >> (x & 7))) continue;
      const int64_t dx = x - W / 2;
      for (int32_t l = lFirst; l <= lLast; ++l) {
        const int64_t rho = RoundShift17(S[size_t(l)] * dy) + RoundShift17(C[size_t(l)] * dx) + d;
        ++acc[size_t(l)][size_t(rho + 1)];
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / H));
  }
  int32_t best = 0, index = 0;
  for (int32_t l = lFirst; l <= half + n - 1; ++l) {
    const int32_t* a = acc[size_t(l)].data();
    for (int64_t k = 0; k < cols; ++k)
      if (a[k] > best) {
        best = a[k];
        index = l;
      }
  }
  return double(index) / e - 90;
}

void VXCalcDensityProfiles(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t norm_horiz, int32_t norm_vert,
                           int32_t* HorizHist, int32_t* VertHist, void* Sender, const TVXProgressEvent& OnProgress,
                           int32_t y2, int32_t x2) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TVXPixelFormat format = Bitmap->PixelFormat();
  if (format != vx24RGB && format != vx1g) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  if (x1 >= x2 || y1 >= y2) return;
  const int32_t cols = x2 - x1, rows = y2 - y1;
  std::vector<int64_t> colSum(size_t(cols), 0), rowSum(size_t(rows), 0);
  const auto* settings = VXGetGlobalSettings();
  const int32_t cr = settings->RedToGrayCoef(), cg = settings->GreenToGrayCoef(), cb = settings->BlueToGrayCoef();
  for (int32_t y = y1; y < y2; ++y) {
    const void* line = Bitmap->Scanline(y);
    int64_t& rs = rowSum[size_t(y - y1)];
    if (format == vx24RGB) {
      const TRGB* p = static_cast<const TRGB*>(line);
      for (int32_t x = x1; x < x2; ++x) {
        const int32_t g = (p[x].r * cr + p[x].g * cg + p[x].b * cb) / 100;
        colSum[size_t(x - x1)] += g;
        rs += g;
      }
    } else {
      const uint8_t* p = static_cast<const uint8_t*>(line);
      for (int32_t x = x1; x < x2; ++x)
        if (p[x >> 3] & (0x80u >> (x & 7))) {
          ++colSum[size_t(x - x1)];
          ++rs;
        }
    }
    if (OnProgress) OnProgress(Sender, int32_t((y - y1 + 1) * 100 / (rows - 1 + 0.5)));
  }
  auto normalise = [](const std::vector<int64_t>& in, int32_t* out, int32_t norm) {
    const int64_t top = *std::max_element(in.begin(), in.end());
    for (size_t i = 0; i < in.size(); ++i)
      out[i] = top != 0 ? int32_t(double(in[i]) / double(top) * norm) : 0;
  };
  normalise(rowSum, VertHist, norm_vert);
  normalise(colSum, HorizHist, norm_horiz);
}

int64_t VXRowProfileScore(TVXBitmap* Bitmap) {
  if (!Bitmap || Bitmap->IsEmpty()) return 0;
  std::vector<int32_t> rows(size_t(Bitmap->Height()), 0), cols(size_t(Bitmap->Width()), 0);
  VXCalcDensityProfiles(Bitmap, 0, 0, 1000, 1000, cols.data(), rows.data(), nullptr, nullptr, Bitmap->Height(),
                        Bitmap->Width());
  int64_t score = 0;
  for (size_t i = 0; i + 1 < rows.size(); ++i) {
    const int64_t dlt = int64_t(rows[i + 1]) - rows[i];
    score += dlt * dlt;
  }
  return score;
}
