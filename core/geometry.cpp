// Geometry helpers shared by the selection shapes, the image effects and
// whatever fits an image into a box.

#include "core/geometry.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t RoundCoordinate(double v) {
  const double r = std::nearbyint(v);
  if (!(r > -2147483648.0 && r < 2147483647.0)) return r > 0 ? 2147483647 : -2147483647 - 1;
  return int32_t(r);
}

}  // namespace

void VXBezierPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, std::vector<TPoint>& Points, int32_t n) {
  Points.clear();
  if (n < 1) return;
  Points.reserve(size_t(n));
  const double step = 1.0 / n;
  double t = 0;
  for (int32_t i = 0; i < n; ++i) {
    t += step;
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
    Points.push_back(TPoint{RoundCoordinate(a * P0.X + b * P1.X + c * P2.X + d * P3.X),
                            RoundCoordinate(a * P0.Y + b * P1.Y + c * P2.Y + d * P3.Y)});
  }
}

bool VXRectsIntersect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Left, int32_t Top, int32_t Right,
                      int32_t Bottom) {
  return std::max(x1, x2) >= Left && std::min(x1, x2) <= Right && std::max(y1, y2) >= Top &&
         std::min(y1, y2) <= Bottom;
}

int32_t VXRectVisibility(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t x1, int32_t y1, int32_t x2,
                         int32_t y2) {
  const bool x1in = Left <= x1 && x1 <= Right, x2in = Left <= x2 && x2 <= Right;
  const bool y1in = Top <= y1 && y1 <= Bottom, y2in = Top <= y2 && y2 <= Bottom;
  if ((x1in != x2in && (y1in || y2in)) || ((x1in || x2in) && y1in != y2in)) return 1;
  if (x1in && x2in && y1in && y2in) return 2;
  return 0;
}

void VXFitInBox(int32_t w, int32_t h, int32_t MaxW, int32_t MaxH, int32_t& NewW, int32_t& NewH) {
  if (w == 0 || h == 0) return;
  const double f = std::min(double(MaxH) / h, double(MaxW) / w);
  const auto side = [](double v) {
    if (!(v >= 1)) return int32_t(1);
    if (v >= 2147483647.0) return int32_t(2147483647);
    return int32_t(v);
  };
  NewW = side(w * f);
  NewH = side(h * f);
}
