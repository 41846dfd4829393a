// Geometry helpers shared by the selection shapes, the image effects and
// whatever fits an image into a box.

#include "core/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace {

int32_t RoundCoordinate(double v) {
  const double r = std::nearbyint(v);
  if (!(r > -2147483648.0 && r < 2147483647.0)) return r > 0 ? 2147483647 : -2147483647 - 1;
  return int32_t(r);
}

// Trunc toward zero, saturated to the 32-bit range (NaN gives 0).
int32_t TruncCoordinate(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return int32_t(v);
}

int32_t Saturate(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

constexpr double kFar = 1000000.0;
constexpr double kNoDistance = 2147483647.0;

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

// ---------------------------------------------------------------------------

void VXConstrainAngle45(int32_t x0, int32_t y0, int32_t& X, int32_t& Y) {
  const int64_t dx = int64_t(x0) - X, dy = int64_t(y0) - Y;
  const int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
  if (ay > ax + 30) {
    X = x0;
    return;
  }
  if (ay < ax - 30) {
    Y = y0;
    return;
  }
  const int64_t d = ax >= ay ? ax - ay : ay - ax;
  int64_t nx = X, ny = Y;
  if (dx < 0 && dy < 0) {  // below and right of the anchor
    if (ax >= ay) ny += d; else nx += d;
  } else if (dx > 0 && dy > 0) {  // above and left
    if (ax >= ay) nx += d; else ny += d;
  } else if (dx > 0 && dy <= 0) {  // below and left
    if (ax >= ay) ny += d; else nx -= d;
  } else if (dx <= 0 && dy > 0) {  // above and right
    if (ax >= ay) ny -= d; else nx += d;
  }
  X = Saturate(nx);
  Y = Saturate(ny);
}

bool VXPointInBox(int32_t x, int32_t y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  return Left <= x && x <= Right && Top <= y && y <= Bottom;
}

bool VXPointInRect(int32_t x, int32_t y, const TRect& R) { return VXPointInBox(x, y, R.Left, R.Top, R.Right, R.Bottom); }

bool VXPointInCorners(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  VXOrderCorners(x1, y1, x2, y2);
  return VXPointInBox(x, y, x1, y1, x2, y2);
}

void VXOrderCorners(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
}

int32_t VXIntFloor(long double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0L) return 2147483647;
  if (x <= -2147483648.0L) return -2147483647 - 1;
  int64_t t = int64_t(x);
  if (x - (long double)t < 0) --t;
  return Saturate(t);
}

double VXDistance(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const double dx = double(int64_t(x2) - x1), dy = double(int64_t(y2) - y1);
  return std::sqrt(dx * dx + dy * dy);
}

double VXPointLineDistance(int32_t px, int32_t py, int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  // 128-bit products keep the numerator exact for every 32-bit input.
  const __int128 ady = __int128(ay) - by, bdx = __int128(bx) - ax;
  const __int128 num = __int128(px) * ady + __int128(py) * bdx + __int128(ax) * by - __int128(bx) * ay;
  const double n = double(num < 0 ? -num : num);
  const double fa = double(ady), fb = double(bdx);
  return n / std::sqrt(fa * fa + fb * fb);
}

double VXDistPointToSegment(int32_t px, int32_t py, int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  double r;
  if (ax == bx && ay == by) {
    r = VXDistance(px, py, ax, ay);
  } else {
    const __int128 ex = __int128(bx) - ax, ey = __int128(by) - ay;
    const __int128 num = (__int128(px) - ax) * ex + (__int128(py) - ay) * ey;
    const __int128 den = ex * ex + ey * ey;
    const double t = double(num) / double(den);
    const auto far = [](int32_t a, int32_t b) { return std::abs(int64_t(a) - b) > 45000; };
    if (t > 1) {
      r = far(px, bx) || far(py, by) ? kFar : VXDistance(px, py, bx, by);
    } else if (t < 0) {
      r = far(ax, px) || far(ay, py) ? kFar : VXDistance(px, py, ax, ay);
    } else {
      r = VXPointLineDistance(px, py, ax, ay, bx, by);
    }
  }
  return std::isfinite(r) ? r : kFar;
}

double VXDistPointToPolyline(int32_t px, int32_t py, const TPoint* Points, int32_t n, int32_t offX, int32_t offY,
                             int32_t baseX, int32_t baseY, double scaleX, double scaleY, int32_t PenWidth,
                             bool Closed) {
  double result = kFar;
  if (n <= 0 || !Points) return result;
  std::vector<TPoint> m(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    m[size_t(i)].X = RoundCoordinate(double(int64_t(Points[i].X) - offX) * scaleX + baseX);
    m[size_t(i)].Y = RoundCoordinate(double(int64_t(Points[i].Y) - offY) * scaleY + baseY);
  }
  const int32_t half = PenWidth / 2;
  const auto side = [&](TPoint a, TPoint b) {
    double d = VXDistPointToSegment(px, py, a.X, a.Y, b.X, b.Y);
    if (PenWidth > 1) {
      for (int32_t ox = -half; ox <= half; ++ox)
        for (int32_t oy = -half; oy <= half; ++oy)
          d = std::min(d, VXDistPointToSegment(px, py, Saturate(int64_t(a.X) + ox), Saturate(int64_t(a.Y) + oy),
                                               Saturate(int64_t(b.X) + ox), Saturate(int64_t(b.Y) + oy)));
    }
    result = std::min(result, d);
  };
  for (int32_t i = 1; i < n; ++i) side(m[size_t(i - 1)], m[size_t(i)]);
  if (Closed) side(m[size_t(n - 1)], m[0]);
  return result;
}

// ---------------------------------------------------------------------------

double VXArcCos(double x) { return std::atan2(std::sqrt(1 - x * x), x); }

double VXAngleBetween(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3) {
  const double ax = double(int64_t(x2) - x1), ay = double(int64_t(y2) - y1);
  const double bx = double(int64_t(x3) - x2), by = double(int64_t(y3) - y2);
  const double la = std::sqrt(ax * ax + ay * ay), lb = std::sqrt(bx * bx + by * by);
  if (!(la > 0) || !(lb > 0)) return 0;
  const double q = (ax * bx + ay * by) / (la * lb);
  if (!(q >= -1 && q <= 1)) return 0;
  return VXArcCos(q);
}

double VXPointAngle(int32_t cx, int32_t cy, int32_t px, int32_t py) {
  constexpr double pi = std::numbers::pi;
  if (px == cx) {
    if (py < cy) return pi / 2;
    if (py > cy) return 3 * pi / 2;
    return 0;
  }
  if (py == cy) return px < cx ? pi : 0;
  const double a = std::atan2(double(int64_t(cy) - py), double(int64_t(px) - cx));
  return a < 0 ? a + 2 * pi : a;
}

int32_t VXTurnDirection(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  // Differences take 33 bits, so their products need 128-bit integers.
  const __int128 d1x = int64_t(x1) - x0, d1y = int64_t(y1) - y0;
  const __int128 d2x = int64_t(x2) - x0, d2y = int64_t(y2) - y0;
  const __int128 l = d1x * d2y, r = d1y * d2x;
  if (l > r) return 1;
  if (l < r) return -1;
  if (d1x * d2x < 0 || d1y * d2y < 0) return -1;
  return d1x * d1x + d1y * d1y < d2x * d2x + d2y * d2y ? 1 : 0;
}

double VXSweepAngle(int32_t sx, int32_t sy, int32_t cx, int32_t cy, int32_t ex, int32_t ey) {
  const auto dist = [](int32_t ax, int32_t ay, int32_t bx, int32_t by) {
    const double d = VXDistance(ax, ay, bx, by);
    return d == 0 ? 1.0 : d;
  };
  const double ce = dist(cx, cy, ex, ey), cs = dist(cx, cy, sx, sy), se = dist(sx, sy, ex, ey);
  // Rounding can push the quotient of nearly collinear points just past
  // +-1, where the arc cosine has no value.
  const double q = std::clamp((ce * ce + cs * cs - se * se) / (2 * ce * cs), -1.0, 1.0);
  const double a = VXArcCos(q);
  return VXTurnDirection(sx, sy, cx, cy, ex, ey) == -1 ? 2 * std::numbers::pi - a : a;
}

double VXReduceAngle(double a) {
  const double r = a - std::floor(a / 360) * 360;
  return a >= 0 ? r : r - 360;
}

void VXRotatePoints(std::vector<TPoint>& Points, int32_t cx, int32_t cy, double Angle) {
  const double theta = -Angle * std::numbers::pi / 180;
  const double c = std::cos(theta), s = std::sin(theta);
  for (TPoint& p : Points) {
    const double dx = double(int64_t(p.X) - cx), dy = double(int64_t(p.Y) - cy);
    p.X = Saturate(int64_t(cx) + TruncCoordinate(c * dx - s * dy));
    p.Y = Saturate(int64_t(cy) + TruncCoordinate(s * dx + c * dy));
  }
}

namespace {

// Even-odd crossing test over vertices given by vx(i), vy(i).
template <typename VX, typename VY>
bool EvenOdd(double x, double y, size_t n, VX vx, VY vy) {
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = vx(i), yi = vy(i), xj = vx(j), yj = vy(j);
    if (((yi <= y && y < yj) || (yj <= y && y < yi)) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
      inside = !inside;
  }
  return inside;
}

}  // namespace

bool VXPointInPolygon(int32_t x, int32_t y, const std::vector<TPoint>& Points) {
  if (Points.empty()) return false;
  return EvenOdd(x, y, Points.size(), [&](size_t i) { return double(Points[i].X); },
                 [&](size_t i) { return double(Points[i].Y); });
}

bool VXPointInZoomedPolygon(int32_t x, int32_t y, const TPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ZoomX, double ZoomY) {
  if (!Points || Count <= 0) return false;
  return EvenOdd(
      x, y, size_t(Count), [&](size_t i) { return OffsetX + ZoomX * double(int64_t(Points[i].X) - OriginX); },
      [&](size_t i) { return OffsetY + ZoomY * double(int64_t(Points[i].Y) - OriginY); });
}

double VXDistanceToRectOutline(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool Filled,
                               int32_t PenWidth) {
  double result = kNoDistance;
  const int32_t half = PenWidth / 2;
  for (int32_t k = -half; k <= half; ++k) {
    const int32_t l = Saturate(int64_t(x1) + k), t = Saturate(int64_t(y1) + k);
    const int32_t r = Saturate(int64_t(x2) + k), b = Saturate(int64_t(y2) + k);
    if (Filled && VXPointInBox(x, y, l, t, r, b)) return 0;
    result = std::min({result, VXDistPointToSegment(x, y, l, t, r, t), VXDistPointToSegment(x, y, r, t, r, b),
                       VXDistPointToSegment(x, y, r, b, l, b), VXDistPointToSegment(x, y, l, t, l, b)});
  }
  return result;
}

double VXDistanceToEllipse(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool Filled,
                           int32_t PenWidth) {
  double result = kNoDistance;
  const int32_t half = PenWidth / 2;
  const int64_t hw = (int64_t(x2) - x1) / 2, hh = (int64_t(y2) - y1) / 2;
  const int32_t px = Saturate(int64_t(x) - (x1 + hw)), py = Saturate(int64_t(y) - (y1 + hh));
  // Beyond this the outline is a polygon of bounded size: a radius of
  // 10,430 pixels is the largest that reaches it.
  constexpr int64_t kMaxVertices = 65536;
  std::vector<TPoint> v;
  for (int32_t k = -half; k <= half; ++k) {
    const double rx = double(hw + k), ry = double(hh + k);
    const double full = std::min(rx, ry) * 2 * std::numbers::pi;
    int64_t n = full >= double(kMaxVertices) ? kMaxVertices : full > 0 ? int64_t(full) : 0;
    if (!Filled) n >>= 3;
    n = std::clamp<int64_t>(n, 2, kMaxVertices);
    v.resize(size_t(n + 1));
    for (int64_t j = 0; j < n; ++j) {
      const double a = 2 * std::numbers::pi * double(j) / double(n);
      v[size_t(j)] = TPoint{TruncCoordinate(std::cos(a) * rx), TruncCoordinate(std::sin(a) * ry)};
    }
    v[size_t(n)] = v[0];
    for (int64_t j = 1; j <= n; ++j) {
      const TPoint a = Filled ? TPoint{0, 0} : v[size_t(j - 1)], b = v[size_t(j)];
      double d = VXDistPointToSegment(px, py, a.X, a.Y, b.X, b.Y);
      if (Filled) d = std::trunc(d);
      result = std::min(result, d);
    }
  }
  return result;
}

// ---------------------------------------------------------------------------

namespace {

// The scale that brings the image side `side` into `box`; with a stretch
// the other side (`other` into `otherBox`) may not overflow its box.
double StretchFactor(int32_t side, int32_t box, int32_t other, int32_t otherBox, int32_t Stretch) {
  if (Stretch <= 0) return double(box) / side;
  double f = Stretch == 100 ? 1000.0 : double(box) / (double(100 - Stretch) * side / 100);
  if (RoundCoordinate(other * f) > otherBox) f = double(otherBox) / other;
  return f;
}

}  // namespace

void VXThumbnailSize(int32_t w, int32_t h, int32_t BoxW, int32_t BoxH, int32_t& ClipW, int32_t& ClipH,
                     int32_t Stretch, int32_t& W, int32_t& H) {
  if (Stretch > 100) Stretch = 100;
  if (w == 0 || h == 0 || BoxW == 0 || BoxH == 0) {
    ClipW = ClipH = W = H = 0;
    return;
  }
  const bool wide = double(w) / BoxW > double(h) / BoxH;
  const double f = wide ? StretchFactor(w, BoxW, h, BoxH, Stretch) : StretchFactor(h, BoxH, w, BoxW, Stretch);
  W = RoundCoordinate(w * f);
  H = RoundCoordinate(h * f);
  ClipW = Stretch <= 0 ? W : std::min(BoxW, W);
  ClipH = Stretch <= 0 ? H : std::min(BoxH, H);
}

void VXFitImageRect(int32_t w, int32_t h, int32_t BoxW, int32_t BoxH, int32_t BoxLeft, int32_t BoxTop,
                    bool CanEnlarge, bool CanShrink, bool CenterH, bool CenterV, int32_t Stretch, bool Fill,
                    TRect& Rect) {
  if (Stretch > 100) Stretch = 100;
  if (w == 0 || h == 0 || BoxW == 0 || BoxH == 0) {
    Rect = TRect{BoxLeft, BoxTop, 0, 0};
    return;
  }
  const bool taller = double(w) / BoxW <= double(h) / BoxH;
  const bool byHeight = taller != Fill;
  const int32_t side = byHeight ? h : w, box = byHeight ? BoxH : BoxW;
  int32_t width = w, height = h;
  if (side > box ? CanShrink : CanEnlarge) {
    const double f = byHeight ? StretchFactor(h, BoxH, w, BoxW, Stretch) : StretchFactor(w, BoxW, h, BoxH, Stretch);
    width = RoundCoordinate(w * f);
    height = RoundCoordinate(h * f);
  }
  int64_t left = BoxLeft, top = BoxTop;
  if (CenterH) left += TruncCoordinate(BoxW / 2.0 - width / 2.0);
  if (CenterV) top += TruncCoordinate(BoxH / 2.0 - height / 2.0);
  Rect = TRect{Saturate(left), Saturate(top), Saturate(left + width), Saturate(top + height)};
}

void VXFitImageRectInRect(int32_t w, int32_t h, const TRect& Box, bool CanEnlarge, bool CanShrink, bool CenterH,
                          bool CenterV, int32_t Stretch, bool Fill, TRect& Rect) {
  VXFitImageRect(w, h, Saturate(int64_t(Box.Right) - Box.Left), Saturate(int64_t(Box.Bottom) - Box.Top), Box.Left,
                 Box.Top, CanEnlarge, CanShrink, CenterH, CenterV, Stretch, Fill, Rect);
}

void VXFitImageSize(int32_t w, int32_t h, int32_t BoxW, int32_t BoxH, bool CanEnlarge, bool Fill, TSize& Size) {
  TRect r;
  VXFitImageRect(w, h, BoxW, BoxH, 0, 0, CanEnlarge, true, false, false, 0, Fill, r);
  Size = TSize{r.Right - r.Left, r.Bottom - r.Top};
}

void VXAdjustRectToAspect(const TRect& Rect, int32_t MaxW, int32_t MaxH, TRect& Result, int32_t Mode,
                          int32_t AspectW, int32_t AspectH) {
  int64_t x = std::max(0, Rect.Left), y = std::max(0, Rect.Top);
  int64_t width = std::min<int64_t>(MaxW, int64_t(Rect.Right) - Rect.Left);
  int64_t height = std::min<int64_t>(MaxH, int64_t(Rect.Bottom) - Rect.Top);
  const auto rnd = [](double v) { return int64_t(RoundCoordinate(v)); };
  if (AspectW > 0 && AspectH > 0) {
    const double rw = double(width) / AspectW, rh = double(height) / AspectH;
    if (Mode == 0) {
      if (rw < rh) {
        const int64_t nw = rnd(double(AspectW) * double(height) / AspectH);
        x -= (nw - width) / 2;
        width = nw;
      } else {
        const int64_t nh = rnd(double(AspectH) * double(width) / AspectW);
        y -= (nh - height) / 2;
        height = nh;
      }
    } else if (Mode == 1) {
      if (rw > rh) {
        const int64_t nw = rnd(double(AspectW) * double(height) / AspectH);
        x = std::max<int64_t>(0, x + (width - nw) / 2);
        width = nw;
        if (width > MaxW) {
          width = MaxW;
          const int64_t nh = rnd(double(MaxW) * AspectH / AspectW);
          y += (height - nh) / 2;
          height = nh;
        }
      } else {
        const int64_t nh = rnd(double(AspectH) * double(width) / AspectW);
        y = std::max<int64_t>(0, y + (height - nh) / 2);
        height = nh;
        if (height > MaxH) {
          height = MaxH;
          const int64_t nw = rnd(double(MaxH) * AspectW / AspectH);
          x += (width - nw) / 2;
          width = nw;
        }
      }
      if (x + width > MaxW) x = MaxW - width;
      if (y + height > MaxH) y = MaxH - height;
    }
  }
  Result = TRect{Saturate(x), Saturate(y), Saturate(x + width), Saturate(y + height)};
}

TRect VXRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) { return TRect{Left, Top, Right, Bottom}; }

TRect VXRectIncludePoint(TRect& R, int32_t x, int32_t y) {
  R.Left = std::min(R.Left, x);
  R.Right = std::max(R.Right, x);
  R.Top = std::min(R.Top, y);
  R.Bottom = std::max(R.Bottom, y);
  return R;
}

// ---------------------------------------------------------------------------

double VXGetNextZoom(bool ZoomIn, double IdealZoom, double Zoom) {
  if (!ZoomIn && Zoom < 6) return 1;
  const double e = ZoomIn ? Zoom + 1 : Zoom - 1;
  const auto trunc64 = [](double v) -> int64_t {
    if (!(v == v)) return 0;
    return v >= 9.2e18 ? int64_t(9.2e18) : v <= -9.2e18 ? -int64_t(9.2e18) : int64_t(v);
  };
  const int64_t step = e < 26 ? 5 : e >= 300 ? 100 : 25;
  int64_t next = trunc64(e) / step * step;
  if (ZoomIn) next += step;
  const int64_t tz = trunc64(Zoom);
  if (IdealZoom > 0 && IdealZoom != Zoom && trunc64(IdealZoom) != tz && IdealZoom > double(std::min(next, tz)) &&
      IdealZoom < double(std::max(next, tz)))
    return IdealZoom;
  return double(next);
}

int32_t VXClosestPaletteEntry(const TRGB* Palette, int32_t Count, TColor Color) {
  const int32_t r = Color & 0xFF, g = (Color >> 8) & 0xFF, b = (Color >> 16) & 0xFF;
  int32_t best = 0, bestDist = 195076;
  for (int32_t i = 0; Palette && i < Count; ++i) {
    const int32_t dr = Palette[i].r - r, dg = Palette[i].g - g, db = Palette[i].b - b;
    const int32_t d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

void VXExchangeInteger(int32_t& a, int32_t& b) { std::swap(a, b); }
void VXExchangeDouble(double& a, double& b) { std::swap(a, b); }
void VXExchangeBoolean(bool& a, bool& b) { std::swap(a, b); }
void VXExchangeRenderOperation(TVXRenderOperation& a, TVXRenderOperation& b) { std::swap(a, b); }
void VXExchangePointer(void*& a, void*& b) { std::swap(a, b); }
void VXExchangeResampleFilter(TResampleFilter& a, TResampleFilter& b) { std::swap(a, b); }
void VXExchangeAnsiString(std::string& a, std::string& b) { a.swap(b); }
void VXExchangeGUID(GUID& a, GUID& b) { std::swap(a, b); }
void VXExchangeRGBArray(std::vector<TRGB>& a, std::vector<TRGB>& b) { a.swap(b); }
