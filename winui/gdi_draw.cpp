// Lines, shapes, shape regions and edges, over spans of our own.
#include <algorithm>
#include <cmath>
#include <map>

#include "platform/win_syscolors.h"
#include "winui/gdi_internal.h"

namespace vxgdi {
uint32_t RawMask(const Bitmap& b);
}

using namespace vxgdi;

namespace {

// Rows of spans [x1, x2) in some coordinates.
using Spans = std::map<int, std::vector<std::pair<int, int>>>;

// A region of boxes in any order, made at once.
Region RegionOfBoxes(const std::vector<pixman_box32_t>& boxes) {
  Region r;
  r.SetBoxes(boxes);
  return r;
}

Region RegionOfSpans(const Spans& s) {
  std::vector<pixman_box32_t> boxes;
  for (const auto& [y, row] : s)
    for (const auto& [a, b] : row)
      if (a < b) boxes.push_back({a, y, b, y + 1});
  return RegionOfBoxes(boxes);
}

// Pixels of a polygon set at integer sample points: an edge counts for rows
// y with ymin <= y < ymax; a pixel x is inside from the ceiling of a left
// crossing up to (not including) the ceiling of the right one.
// Only the rows and columns within [Seen] are made.
Spans PolygonSpans(const std::vector<std::vector<POINT>>& polys, int mode,
                   const RECT& Seen = RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}) {
  struct Edge {
    double x0, y0, x1, y1;
    int dir;
  };
  std::vector<Edge> edges;
  int ymin = INT32_MAX, ymax = INT32_MIN;
  for (const auto& p : polys) {
    size_t n = p.size();
    for (size_t i = 0; i < n; ++i) {
      POINT a = p[i], b = p[(i + 1) % n];
      if (a.y == b.y) continue;
      int dir = a.y < b.y ? 1 : -1;
      if (a.y > b.y) std::swap(a, b);
      edges.push_back(Edge{double(a.x), double(a.y), double(b.x), double(b.y), dir});
      ymin = std::min(ymin, int(a.y));
      ymax = std::max(ymax, int(b.y));
    }
  }
  Spans out;
  if (edges.empty()) return out;
  std::vector<std::pair<double, int>> xs;
  for (int y = std::max<int>(ymin, Seen.top); y < std::min<int>(ymax, Seen.bottom); ++y) {
    xs.clear();
    for (const Edge& e : edges) {
      if (y < e.y0 || y >= e.y1) continue;
      double x = e.x0 + (e.x1 - e.x0) * (y - e.y0) / (e.y1 - e.y0);
      xs.push_back({x, e.dir});
    }
    std::sort(xs.begin(), xs.end());
    auto& row = out[y];
    int wind = 0, count = 0, start = 0;
    bool inside = false;
    for (const auto& [x, dir] : xs) {
      wind += dir;
      ++count;
      bool now = mode == ALTERNATE ? (count % 2) == 1 : wind != 0;
      if (now && !inside) start = int(std::ceil(x));
      if (!now && inside) {
        int end = std::min<int>(int(std::ceil(x)), Seen.right);
        start = std::max<int>(start, Seen.left);
        if (end > start) row.push_back({start, end});
      }
      inside = now;
    }
  }
  return out;
}

// Pixels of an ellipse inscribed in [l, r) x [t, b), or of a rectangle with
// corners rounded by ellipses of cw x ch. A row is sampled a little inside
// its outer edge (0.4 of a pixel), the corner ellipse's radii are a little
// larger than half the corner (0.3 and 0.15 of a pixel) and a pixel is in
// when its centre lies 0.4 of a pixel within the curve: the shapes the
// platform draws, to a pixel at the ends of a few rows.
// Only rows in [rowFrom, rowTo) are made.
Spans RoundSpans(int l, int t, int r, int b, int cw, int ch, int rowFrom = INT32_MIN, int rowTo = INT32_MAX) {
  Spans out;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  int w = r - l, h = b - t;
  if (w <= 0 || h <= 0) return out;
  cw = std::min(std::abs(cw), w);
  ch = std::min(std::abs(ch), h);
  const double kSample = 0.4, kRx = 0.3, kRy = 0.15, kInside = 0.4;
  double hx = cw / 2.0, hy = ch / 2.0;
  double rx = hx + kRx, ry = hy + kRy;
  for (int y = std::max(t, rowFrom); y < std::min(b, rowTo); ++y) {
    bool top = (y - t) < h / 2.0;
    double py = top ? y + kSample : y + 1 - kSample;
    double dy = 0;
    if (top && py < t + hy)
      dy = t + hy - py;
    else if (!top && py > b - hy)
      dy = py - (b - hy);
    double half = rx;
    if (dy > 0) {
      double q = 1 - (dy / ry) * (dy / ry);
      if (q < 0) continue;
      half = rx * std::sqrt(q);
    }
    half -= kInside;
    // Left: centres at or right of l + hx - half; right: at or left of r - hx + half.
    int a = int(std::ceil(l + hx - half - 0.5));
    int c = int(std::floor(r - hx + half - 0.5)) + 1;
    a = std::max(a, l);
    c = std::min(c, r);
    if (c > a) out[y].push_back({a, c});
  }
  return out;
}

// Coordinates of GDI are 27-bit: shapes with larger boxes are not drawn,
// and pens wider than that draw as that wide.
const int64_t kMaxShape = int64_t(1) << 27;
bool ShapeFits(int l, int t, int r, int b) {
  return int64_t(r) - l < kMaxShape && int64_t(b) - t < kMaxShape && std::abs(int64_t(l)) < kMaxShape &&
         std::abs(int64_t(t)) < kMaxShape;
}
int ShapePenWidth(const Pen& p) { return int(std::min<int64_t>(p.Width, kMaxShape)); }

// The visible box in logical coordinates, grown by Margin on every side;
// false when nothing can be drawn.
bool SeenBox(const DC& dc, int Margin, RECT& Out) {
  Region vis;
  if (!VisibleRegion(dc, vis)) return false;
  RECT seen = LogicalRect(dc, vis.Box());
  auto grow = [](LONG v, int64_t by) { return LONG(std::clamp<int64_t>(v + by, INT32_MIN / 2, INT32_MAX / 2)); };
  Out = RECT{grow(seen.left, -Margin), grow(seen.top, -Margin), grow(seen.right, Margin), grow(seen.bottom, Margin)};
  return true;
}

// RoundSpans of the rows within Seen, both ends of each span brought into
// its columns (a span wholly outside becomes an empty one at the near
// edge, so that outlines still see the row). Bringing the ends in keeps
// their order, so with a margin of two pixels or more around the visible
// box the pixels that show, outlines included, are those of the whole
// shape.
Spans SeenRoundSpans(int l, int t, int r, int b, int cw, int ch, const RECT& Seen) {
  Spans sp = RoundSpans(l, t, r, b, cw, ch, Seen.top, Seen.bottom);
  for (auto& [y, row] : sp)
    for (auto& [a, c] : row) {
      a = std::clamp<int>(a, Seen.left, Seen.right);
      c = std::clamp<int>(c, Seen.left, Seen.right);
    }
  return sp;
}

// Cosmetic pen styles: on and off runs in pixels.
const std::vector<int>& StyleRuns(int style) {
  static const std::vector<int> solid, dash{18, 6}, dot{3, 3}, dashdot{9, 6, 3, 6}, dashdotdot{9, 3, 3, 3, 3, 3};
  switch (style) {
    case PS_DASH:
      return dash;
    case PS_DOT:
      return dot;
    case PS_DASHDOT:
      return dashdot;
    case PS_DASHDOTDOT:
      return dashdotdot;
  }
  return solid;
}

// Ceiling of a / b for b > 0.
int64_t CeilDiv(__int128 a, int64_t b) {
  return int64_t(a >= 0 ? (a + b - 1) / b : -((-a) / b));
}

// The walk of a line from (x0, y0) to (x1, y1), the end point left out:
// along the major axis one point per step, the minor coordinate the nearest
// to the true line, halves going to the smaller coordinate whichever way
// the line runs. Each step's point follows from its index alone, so a part
// of the walk gives the same points as the whole walk there.
struct LineWalk {
  int64_t X0, Y0, Dx, Dy, Adx, Ady;
  bool XMajor;
  LineWalk(int64_t x0, int64_t y0, int64_t x1, int64_t y1) : X0(x0), Y0(y0), Dx(x1 - x0), Dy(y1 - y0) {
    Adx = Dx < 0 ? -Dx : Dx;
    Ady = Dy < 0 ? -Dy : Dy;
    XMajor = Adx >= Ady;
  }
  int64_t Steps() const { return XMajor ? Adx : Ady; }
  void At(int64_t i, int64_t& x, int64_t& y) const {
    if (XMajor) {
      x = X0 + (Dx < 0 ? -i : i);
      y = Y0 + CeilDiv(__int128(2) * Dy * i - Adx, 2 * Adx);
    } else {
      x = X0 + CeilDiv(__int128(2) * Dx * i - Ady, 2 * Ady);
      y = Y0 + (Dy < 0 ? -i : i);
    }
  }
  // The steps [From, To) whose major coordinate lies in [Lo, Hi] (inclusive
  // bounds along the major axis); From >= To when there are none.
  void Within(int64_t Lo, int64_t Hi, int64_t& From, int64_t& To) const {
    const int64_t start = XMajor ? X0 : Y0;
    const bool back = XMajor ? Dx < 0 : Dy < 0;
    // Step i lies at start + i (or start - i going back).
    int64_t a = back ? start - Hi : Lo - start, b = back ? start - Lo : Hi - start;
    From = std::max<int64_t>(a, 0);
    To = std::min<int64_t>(b + 1, Steps());
  }
};

template <class F>
void LinePoints(int x0, int y0, int x1, int y1, F&& f) {
  LineWalk w(x0, y0, x1, y1);
  for (int64_t i = 0, n = w.Steps(); i < n; ++i) {
    int64_t x, y;
    w.At(i, x, y);
    f(int(x), int(y));
  }
}

// The widest pen a surface needs: a pen at least twice its diagonal (and a
// little more) covers the whole surface from any point on it. Wider pens
// draw as one of this width, keeping the parity of the width (which decides
// where the pen's centre falls), so that the work stays bounded by the
// surface.
int PenWidthFor(int Width, const Bitmap& Surface) {
  const double diag = std::hypot(double(Surface.Width), double(Surface.Height));
  const int64_t cap = 2 * int64_t(std::ceil(diag)) + 8;
  if (Width <= cap) return Width;
  return int(cap + ((int64_t(Width) - cap) & 1));
}

// Where the two long sides of a wide pen's band along a segment lie: whole
// pixels off the segment, half the width along its normal. The corner on
// the side that leans towards larger x is rounded away from the segment, the
// other to the nearest pixel (halves up); this is how the platform's bands
// come out at every width and angle it was tried at.
void BandOffsets(int64_t dx, int64_t dy, int w, int64_t (&a)[2], int64_t (&b)[2]) {
  const double len = std::hypot(double(dx), double(dy));
  const double ox = -double(dy) / len * w / 2, oy = double(dx) / len * w / 2;
  auto side = [](double x, double y, int64_t (&out)[2]) {
    if (x > 0) {
      out[0] = int64_t(std::ceil(x));
      out[1] = int64_t(y > 0 ? std::ceil(y) : std::floor(y));
    } else {
      out[0] = int64_t(std::floor(x + 0.5));
      out[1] = int64_t(std::floor(y + 0.5));
    }
  };
  side(ox, oy, a);
  side(-ox, -oy, b);
}

struct PenDrawer {
  DC& dc;
  Pen pen;
  Region vis;
  RECT box{};  // the visible region's bounds, device coordinates
  bool ok = false;
  uint32_t penRaw = 0, bkRaw = 0, mask = 0;
  int styleLen = 0;
  int stylePos = 0;  // runs on across the segments of one call, in [0, styleLen)
  // A wide pen: its width for this surface, its round dot (the runs [a, b)
  // of the rows r0 .. r0 + width - 1 relative to the point) and the runs it
  // covers on each row of the box so far.
  int width = 1, r0 = 0;
  std::vector<std::pair<int, int>> dot;
  // The rows' runs live on between calls (the thread's own), so that their
  // memory is reused; rows [0, rowCount) are this call's.
  std::vector<std::vector<std::pair<int, int>>>& runs = RunRows();
  std::vector<size_t> mergeAt;  // a row's runs are merged when they reach this many
  size_t rowCount = 0;
  int runsTop = 0;               // the device row of runs[0]
  bool boxOnly = false;          // the visible region is its bounding box

  static std::vector<std::vector<std::pair<int, int>>>& RunRows() {
    thread_local std::vector<std::vector<std::pair<int, int>>> rows;
    return rows;
  }

  PenDrawer(DC& d) : dc(d) {
    if (!ResolvePen(dc, dc.S.Pen, pen) || pen.Style == PS_NULL) return;
    if (!VisibleRegion(dc, vis)) return;
    box = vis.Box();
    boxOnly = pixman_region32_n_rects(&vis.R) <= 1;
    Bitmap& b = *dc.Surface;
    penRaw = b.RawFromColor(pen.Color);
    bkRaw = b.RawFromColor(dc.S.BkColor);
    mask = RawMask(b);
    for (int r : StyleRuns(pen.Style)) styleLen += r;
    if (pen.Width > 1) MakeDot();
    ok = true;
  }

  bool Wide() const { return pen.Width > 1; }

  // The pen's dot: the filled ellipse of the pen's width in the box that
  // starts half the width above and left of the point.
  void MakeDot() {
    const int w = width = PenWidthFor(pen.Width, *dc.Surface);
    r0 = -(w / 2);
    dot.assign(size_t(w), {0, 0});
    for (const auto& [y, row] : RoundSpans(r0, r0, r0 + w, r0 + w, w, w))
      if (!row.empty()) dot[size_t(y - r0)] = {row.front().first, row.back().second};
  }

  void Plot(int x, int y, uint32_t raw) {
    if (boxOnly) {
      if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) return;
    } else if (!pixman_region32_contains_point(&vis.R, x, y, nullptr)) {
      return;
    }
    Bitmap& b = *dc.Surface;
    if (dc.S.Rop2 == R2_COPYPEN)
      b.SetRaw(x, y, raw & mask);
    else
      b.SetRaw(x, y, Rop2(dc.S.Rop2, raw, b.GetRaw(x, y), mask));
  }

  // The pixels [a, b) of row y, as Plot each: a visible region of one
  // rectangle clips the run once, and the copy mode writes without reading.
  void PlotRun(int a, int b, int y, uint32_t raw) {
    if (!boxOnly) {
      for (int x = a; x < b; ++x) Plot(x, y, raw);
      return;
    }
    if (y < box.top || y >= box.bottom) return;
    a = std::max<int>(a, box.left);
    b = std::min<int>(b, box.right);
    Bitmap& bm = *dc.Surface;
    if (dc.S.Rop2 == R2_COPYPEN) {
      const uint32_t v = raw & mask;
      for (int x = a; x < b; ++x) bm.SetRaw(x, y, v);
    } else {
      for (int x = a; x < b; ++x) bm.SetRaw(x, y, Rop2(dc.S.Rop2, raw, bm.GetRaw(x, y), mask));
    }
  }

  // Moves the style on by a number of points not drawn.
  void Skip(int64_t n) {
    if (styleLen && n > 0) stylePos = int((stylePos + n % styleLen) % styleLen);
  }

  // One point of a one-pixel pen, with its style.
  void Dot(int x, int y) {
    bool on = true;
    if (styleLen) {
      int p = stylePos;
      const auto& runs = StyleRuns(pen.Style);
      for (size_t i = 0; i < runs.size(); ++i) {
        if (p < runs[i]) {
          on = (i % 2) == 0;
          break;
        }
        p -= runs[i];
      }
      if (++stylePos == styleLen) stylePos = 0;
    }
    if (on)
      Plot(x, y, penRaw);
    else if (dc.S.BkMode == OPAQUE)
      Plot(x, y, bkRaw);
  }

  // Device coordinates; the end point is not drawn. Only the part of the
  // walk that can reach the visible box is made; the style runs on over the
  // rest as if it had been drawn. A wide pen draws the segment with its
  // dots at both ends.
  void Line(int x0, int y0, int x1, int y1) {
    if (Wide()) {
      Stroke({{POINT{x0, y0}, POINT{x1, y1}}}, false, false);
      return;
    }
    // Under a turned-over world transform the points are those of the
    // logical line, so that halves round as they do untransformed.
    const bool flip = FlipsY(dc);
    const int64_t sy = flip ? -1 : 1;
    LineWalk w(x0, sy * y0, x1, sy * y1);
    const int64_t n = w.Steps();
    int64_t lo, hi;
    if (w.XMajor) {
      lo = int64_t(box.left);
      hi = int64_t(box.right) - 1;
    } else if (!flip) {
      lo = int64_t(box.top);
      hi = int64_t(box.bottom) - 1;
    } else {
      lo = -(int64_t(box.bottom) - 1);
      hi = -int64_t(box.top);
    }
    int64_t from, to;
    w.Within(lo, hi, from, to);
    if (from >= to) {
      Skip(n);
      return;
    }
    Skip(from);
    for (int64_t i = from; i < to; ++i) {
      int64_t x, y;
      w.At(i, x, y);
      Dot(int(x), int(sy * y));
    }
    Skip(n - to);
  }

  // A wide pen along paths of device points: a band along each segment and
  // a dot at each point (the platform's round ends and joins), every pixel
  // drawn once with the mix mode however often the pieces cover it. Closed
  // paths join their last point to the first. On curves (Neighbours) the
  // points are the outline's pixels and only neighbouring pixels are joined,
  // so that the parts of an outline cut off by the visible box stay apart.
  struct Path {
    std::vector<POINT> Pts;
    bool Closed = false, Neighbours = false;
  };
  void Stroke(const std::vector<std::vector<POINT>>& paths, bool closed, bool neighbours) {
    std::vector<Path> all;
    for (const auto& p : paths) all.push_back(Path{p, closed, neighbours});
    Stroke(all);
  }
  void Stroke(const std::vector<Path>& paths) {
    // A dot that covers the whole box covers all there is to draw.
    const double inner = width / 2.0 - 2;
    for (const Path& path : paths)
      for (const POINT& q : path.Pts) {
        const double dx = std::max(std::abs(double(q.x) - box.left), std::abs(double(q.x) - (box.right - 1)));
        const double dy = std::max(std::abs(double(q.y) - box.top), std::abs(double(q.y) - (box.bottom - 1)));
        if (inner > 0 && dx * dx + dy * dy <= inner * inner) {
          for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) Plot(x, y, penRaw);
          return;
        }
      }
    // Rows only where the pen can reach: the points' rows grown by the
    // pen's width (the dots and the bands reach at most half of it, plus
    // rounding), within the box.
    int64_t lowY = INT64_MAX, highY = INT64_MIN;
    for (const Path& path : paths)
      for (const POINT& q : path.Pts) lowY = std::min<int64_t>(lowY, q.y), highY = std::max<int64_t>(highY, q.y);
    if (lowY > highY) return;
    const int64_t rowsFrom = std::max<int64_t>(lowY - width - 2, box.top);
    const int64_t rowsTo = std::min<int64_t>(highY + width + 3, box.bottom);
    if (rowsFrom >= rowsTo) return;
    runsTop = int(rowsFrom);
    rowCount = size_t(rowsTo - rowsFrom);
    if (runs.size() < rowCount) runs.resize(rowCount);
    for (size_t i = 0; i < rowCount; ++i) runs[i].clear();
    mergeAt.assign(rowCount, 64);
    for (const Path& path : paths) {
      const auto& p = path.Pts;
      const size_t n = p.size();
      if (n == 0) continue;
      const size_t segs = path.Closed && n > 2 ? n : n - 1;
      for (size_t i = 0; i < segs; ++i) {
        const POINT a = p[i], b = p[(i + 1) % n];
        if (path.Neighbours && (std::abs(int64_t(a.x) - b.x) > 1 || std::abs(int64_t(a.y) - b.y) > 1)) continue;
        AddBand(a.x, a.y, b.x, b.y);
      }
      for (const POINT& q : p) AddDot(q.x, q.y);
    }
    for (size_t i = 0; i < rowCount; ++i) {
      auto& row = runs[i];
      Merge(row);
      const int py = runsTop + int(i);
      for (const auto& [a, b] : row) PlotRun(a, b, py, penRaw);
      row.clear();
    }
    rowCount = 0;
  }

  // Sorts a row's runs and joins those that overlap or touch.
  static void Merge(std::vector<std::pair<int, int>>& row) {
    std::sort(row.begin(), row.end());
    size_t n = 0;
    for (const auto& r : row)
      if (n > 0 && r.first <= row[n - 1].second)
        row[n - 1].second = std::max(row[n - 1].second, r.second);
      else
        row[n++] = r;
    row.resize(n);
  }

  void AddRun(int64_t y, int64_t a, int64_t b) {
    if (y < runsTop || y >= runsTop + int64_t(rowCount)) return;
    a = std::max<int64_t>(a, box.left);
    b = std::min<int64_t>(b, box.right);
    if (a >= b) return;
    // A long path piles up runs on a row; merged now and then they stay
    // within the row's width.
    const size_t i = size_t(y - runsTop);
    runs[i].push_back({int(a), int(b)});
    if (runs[i].size() >= mergeAt[i]) {
      Merge(runs[i]);
      mergeAt[i] = std::max<size_t>(64, 2 * runs[i].size());
    }
  }

  void AddDot(int64_t x, int64_t y) {
    if (x + r0 >= box.right || x + r0 + width <= box.left || y + r0 >= box.bottom || y + r0 + width <= box.top)
      return;
    for (int i = 0; i < width; ++i) {
      const auto& [a, b] = dot[size_t(i)];
      if (a < b) AddRun(y + r0 + i, x + a, x + b);
    }
  }

  // The band of a segment: the quadrilateral of its ends moved to either
  // side (BandOffsets), its pixels those of a polygon.
  void AddBand(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    if (x0 == x1 && y0 == y1) return;
    int64_t h[2], l[2];
    BandOffsets(x1 - x0, y1 - y0, width, h, l);
    const int64_t vx[4] = {x0 + h[0], x1 + h[0], x1 + l[0], x0 + l[0]};
    const int64_t vy[4] = {y0 + h[1], y1 + h[1], y1 + l[1], y0 + l[1]};
    const int64_t left = std::min({vx[0], vx[1], vx[2], vx[3]}), right = std::max({vx[0], vx[1], vx[2], vx[3]});
    if (left >= box.right || right < box.left) return;
    const int64_t top = std::max<int64_t>(std::min({vy[0], vy[1], vy[2], vy[3]}), box.top);
    const int64_t bottom = std::min<int64_t>(std::max({vy[0], vy[1], vy[2], vy[3]}), box.bottom);
    for (int64_t y = top; y < bottom; ++y) {
      // Crossings of the row with the edges that span it (a pixel is in
      // from the ceiling of a left crossing up to that of the right one).
      std::pair<int64_t, int> xs[4];
      int k = 0;
      for (int i = 0; i < 4; ++i) {
        int64_t xa = vx[i], ya = vy[i], xb = vx[(i + 1) % 4], yb = vy[(i + 1) % 4];
        if (ya == yb) continue;
        const int dir = ya < yb ? 1 : -1;
        if (ya > yb) std::swap(xa, xb), std::swap(ya, yb);
        if (y < ya || y >= yb) continue;
        xs[k++] = {CeilDiv(__int128(xa) * (yb - ya) + __int128(xb - xa) * (y - ya), yb - ya), dir};
      }
      for (int i = 1; i < k; ++i)
        for (int j = i; j > 0 && xs[j] < xs[j - 1]; --j) std::swap(xs[j], xs[j - 1]);
      int wind = 0;
      int64_t start = 0;
      for (int i = 0; i < k; ++i) {
        const bool was = wind != 0;
        wind += xs[i].second;
        if (!was && wind != 0) start = xs[i].first;
        if (was && wind == 0) AddRun(y, start, xs[i].first);
      }
    }
  }
};

std::vector<POINT> DevPoints(const DC& dc, const POINT* p, size_t n) {
  std::vector<POINT> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = POINT{DevX(dc, p[i].x), DevY(dc, p[i].y)};
  return out;
}

void FillWithBrush(DC& dc, const Region& area) {
  Brush b;
  if (!ResolveBrush(dc, dc.S.Brush, b)) return;
  FillRegion(dc, area, b, dc.S.Rop2);
}

Region DeviceShift(const DC& dc, Region r) { return ToDevice(dc, r); }

bool HasPen(const DC& dc) {
  Pen p;
  return ResolvePen(dc, dc.S.Pen, p) && p.Style != PS_NULL;
}

// The outline of a shape given by one span per row: the top and bottom rows
// whole, elsewhere the ends of each row reaching over to the ends of the
// narrower neighbour row, so that the outline is one pixel thin and joined
// at the corners.
Region SpanOutline(const Spans& sp) {
  std::vector<pixman_box32_t> boxes;
  const auto add = [&](int x1, int y, int x2) {
    if (x1 < x2) boxes.push_back(pixman_box32_t{x1, y, x2, y + 1});
  };
  for (const auto& [y, row] : sp) {
    if (row.empty()) continue;
    auto up = sp.find(y - 1), down = sp.find(y + 1);
    int a = row.front().first, b = row.back().second;
    if (up == sp.end() || up->second.empty() || down == sp.end() || down->second.empty()) {
      add(a, y, b);
      continue;
    }
    int A = std::max(up->second.front().first, down->second.front().first);
    int B = std::min(up->second.back().second, down->second.back().second);
    add(a, y, std::max(a + 1, A));
    add(std::min(b - 1, B), y, b);
  }
  return RegionOfBoxes(boxes);
}

// A wide PS_INSIDEFRAME pen keeps a shape's stroke within the pixels its
// one-pixel outline would take: the box is pulled in by half the width on
// the left and top and by the rest, less one, on the right and bottom (a box
// smaller than that shrinks to its middle).
void InsideFrame(const DC& dc, int& l, int& t, int& r, int& b) {
  Pen p;
  if (!ResolvePen(dc, dc.S.Pen, p) || p.Style != PS_INSIDEFRAME || p.Width <= 1) return;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const int64_t lead = p.Width / 2, trail = (int64_t(p.Width) - 1) / 2;
  auto pull = [&](int& lo, int& hi) {
    int64_t a = lo + lead, z = int64_t(hi) - trail;
    if (a > z) a = z = (int64_t(lo) + hi) / 2;
    lo = int(a), hi = int(z);
  };
  pull(l, r);
  pull(t, b);
}

// How far around the visible box a shape's outline is worked out: a wide
// pen reaches half its width from it.
int WideMargin(const DC& dc, int PenWidth) {
  if (PenWidth <= 1 || !dc.Surface) return 2;
  return PenWidthFor(PenWidth, *dc.Surface) / 2 + 4;
}

// The pixels of an outline made by SeenRoundSpans in the order of their
// angle about (cx, cy). Those on the edges of Seen are left out: there the
// spans brought in make outline pixels the whole shape does not have.
std::vector<POINT> PixelsAround(const Region& r, double cx, double cy, const RECT& Seen) {
  std::vector<std::pair<double, POINT>> px;
  for (const RECT& rc : r.Rects())
    for (int y = std::max(rc.top, Seen.top + 1); y < std::min(rc.bottom, Seen.bottom - 1); ++y)
      for (int x = std::max(rc.left, Seen.left + 1); x < std::min(rc.right, Seen.right - 1); ++x)
        px.push_back({std::atan2(y - cy, x - cx), POINT{x, y}});
  std::stable_sort(px.begin(), px.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<POINT> out;
  out.reserve(px.size());
  for (const auto& e : px) out.push_back(e.second);
  return out;
}

// Fills a closed shape (ellipse or rounded rectangle in [l, r) x [t, b) with
// corners cw x ch) with the brush and draws its outline with the pen: one
// pixel thin for a cosmetic pen; a wide pen's ring is centred on the
// outline, half its width outside the box.
void FillAndOutline(DC& dc, int l, int t, int r, int b, int cw, int ch, bool ellipse) {
  InsideFrame(dc, l, t, r, b);
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  if (!ShapeFits(l, t, r, b)) return;
  Pen pen;
  bool hasPen = ResolvePen(dc, dc.S.Pen, pen) && pen.Style != PS_NULL;
  if (hasPen) pen.Width = ShapePenWidth(pen);
  // Only what can be seen is worked out, with a margin for a wide pen's
  // reach from the outline.
  RECT seen;
  if (!SeenBox(dc, WideMargin(dc, hasPen ? pen.Width : 1), seen)) return;
  cw = int(std::clamp<int64_t>(cw, -kMaxShape, kMaxShape));
  ch = int(std::clamp<int64_t>(ch, -kMaxShape, kMaxShape));
  auto spans = [&](int k) {
    // The box grown by k on every side (shrunk for a negative k).
    int w = r - l + 2 * k, h = b - t + 2 * k;
    return SeenRoundSpans(l - k, t - k, r + k, b + k, ellipse ? w : cw + 2 * k, ellipse ? h : ch + 2 * k, seen);
  };
  if (!hasPen) {
    FillWithBrush(dc, DeviceShift(dc, RegionOfSpans(spans(0))));
    return;
  }
  Spans sp = spans(0);
  Region ring = SpanOutline(sp), inside = RegionOfSpans(sp);
  inside.Subtract(ring);
  FillWithBrush(dc, DeviceShift(dc, inside));
  PenDrawer pd(dc);
  if (!pd.ok) return;
  if (pd.Wide()) {
    // A wide pen goes along the thin outline's pixels in turn.
    std::vector<POINT> around = PixelsAround(ring, (int64_t(l) + r - 1) / 2.0, (int64_t(t) + b - 1) / 2.0, seen);
    pd.Stroke({DevPoints(dc, around.data(), around.size())}, true, true);
    return;
  }
  Region dev = DeviceShift(dc, ring);
  for (const RECT& rc : dev.Rects())
    for (int y = rc.top; y < rc.bottom; ++y) pd.PlotRun(rc.left, rc.right, y, pd.penRaw);
}


// The part of the plane an arc or pie covers: the pixels strictly between
// the start radial and the end radial, turning from the start in the arc
// direction; the angles are seen from the box's centre, ((left + right) / 2,
// (top + bottom) / 2) in whole pixels, and measured counter-clockwise on the
// screen. A pixel on a radial belongs to neither side, except that equal
// radials take in the whole plane.
struct Wedge {
  double cx = 0, cy = 0;
  double start = 0, span = 0;  // span in (0, 2 pi]
  bool ccw = true;
  static double AngleOf(double dx, double dy) {
    double a = std::atan2(-dy, dx);
    return a < 0 ? a + 2 * M_PI : a;
  }
  Wedge(int l, int t, int r, int b, int xs, int ys, int xe, int ye, bool Ccw) : ccw(Ccw) {
    cx = double((int64_t(l) + r) / 2);
    cy = double((int64_t(t) + b) / 2);
    start = AngleOf(xs - cx, ys - cy);
    double end = AngleOf(xe - cx, ye - cy);
    span = ccw ? end - start : start - end;
    if (span <= 0) span += 2 * M_PI;
  }
  // How far a pixel lies into the wedge from the start radial (radians);
  // negative outside.
  double Into(double x, double y) const {
    if (x == cx && y == cy) return 0;
    double a = AngleOf(x - cx, y - cy);
    double d = ccw ? a - start : start - a;
    if (d < 0) d += 2 * M_PI;
    const double eps = 1e-9;
    if (span >= 2 * M_PI - eps) return d;
    return d > eps && d < span - eps ? d : -1;
  }
  bool Contains(double x, double y) const { return (x == cx && y == cy) || Into(x, y) >= 0; }
  // How far a pixel lies from the start radial, turning in the arc
  // direction, in [0, 2 pi).
  double Turn(double x, double y) const {
    double d = ccw ? AngleOf(x - cx, y - cy) - start : start - AngleOf(x - cx, y - cy);
    return d < 0 ? d + 2 * M_PI : d;
  }
  Region Cut(const Region& r) const {
    std::vector<pixman_box32_t> runs;
    for (const RECT& rc : r.Rects())
      for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right;) {
          if (!Contains(x, y)) {
            ++x;
            continue;
          }
          int e = x + 1;
          while (e < rc.right && Contains(e, y)) ++e;
          runs.push_back({x, y, e, y + 1});
          x = e;
        }
    return RegionOfBoxes(runs);
  }
};

// Arc (the outline within the wedge) or Pie (the wedge filled, outlined by
// the arc and by lines from the centre to the arc's two end pixels). The
// outline pixels are those Ellipse draws for the same box and pen; without
// a pen the figure is one pixel smaller on the right and bottom, as a
// rectangle is.
void ArcOrPie(DC& dc, int l, int t, int r, int b, int xs, int ys, int xe, int ye, bool pie) {
  // The radials go out from the centre of the box as given.
  const Wedge wedge(std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b), xs, ys, xe, ye,
                    dc.S.ArcDirection != AD_CLOCKWISE);
  InsideFrame(dc, l, t, r, b);
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  if (!ShapeFits(l, t, r, b)) return;
  Pen pen;
  bool hasPen = ResolvePen(dc, dc.S.Pen, pen) && pen.Style != PS_NULL;
  // The work around the visible box grows with the pen's width: pens wider
  // than the surface needs draw as that wide, as on lines.
  if (hasPen && dc.Surface) pen.Width = PenWidthFor(pen.Width, *dc.Surface);
  if (!hasPen) {
    --r;
    --b;
  }
  if (r - l < 1 || b - t < 1) return;
  // Only what can be seen is worked out, with a margin for the outline and
  // the pie's end pixels (up to 64 pixels past the pen's width).
  RECT seen;
  const int margin = std::max(2, hasPen ? std::min(pen.Width, 64) + 2 : 2);
  if (!SeenBox(dc, std::max(margin, WideMargin(dc, hasPen ? pen.Width : 1)), seen)) return;
  auto spans = [&](int k) {
    int w = r - l + 2 * k, h = b - t + 2 * k;
    return SeenRoundSpans(l - k, t - k, r + k, b + k, w, h, seen);
  };
  Region ring;
  Spans sp = spans(0);
  Region inside = RegionOfSpans(sp);
  if (hasPen) {
    ring = SpanOutline(sp);
    inside.Subtract(ring);
  }
  if (pie) FillWithBrush(dc, DeviceShift(dc, wedge.Cut(inside)));
  if (!hasPen) return;
  PenDrawer pd(dc);
  if (!pd.ok) return;
  if (pd.Wide()) {
    // A wide pen goes along the outline's pixels within the wedge in turn,
    // an arc on to the outline's next pixel, a pie back through the centre.
    std::vector<POINT> around = PixelsAround(ring, wedge.cx, wedge.cy, seen);
    std::vector<std::pair<double, POINT>> turned;
    for (const POINT& q : around) turned.push_back({wedge.Turn(q.x, q.y), q});
    std::stable_sort(turned.begin(), turned.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<POINT> arcPts;
    size_t after = 0;
    for (size_t i = 0; i < turned.size(); ++i)
      if (wedge.Into(turned[i].second.x, turned[i].second.y) >= 0) {
        arcPts.push_back(turned[i].second);
        after = i + 1;
      }
    std::vector<PenDrawer::Path> paths;
    if (pie) {
      // The radials run from the arc's end pixels to the centre; an end
      // that lies beyond what was worked out is taken where its radial
      // meets the ellipse.
      auto end = [&](int xr, int yr, bool First) {
        const double dx = xr - wedge.cx, dy = yr - wedge.cy;
        const double a = std::max(1.0, (double(r) - l) / 2), bb = std::max(1.0, (double(b) - t) / 2);
        const double k = 1 / std::sqrt((dx / a) * (dx / a) + (dy / bb) * (dy / bb));
        const double ex = std::isfinite(k) ? wedge.cx + k * dx : wedge.cx;
        const double ey = std::isfinite(k) ? wedge.cy + k * dy : wedge.cy;
        const bool shown = ex > seen.left + 2 && ex < seen.right - 3 && ey > seen.top + 2 && ey < seen.bottom - 3;
        if (shown && !arcPts.empty()) return First ? arcPts.front() : arcPts.back();
        return POINT{LONG(std::lround(ex)), LONG(std::lround(ey))};
      };
      const POINT c{LONG(wedge.cx), LONG(wedge.cy)};
      const bool round = wedge.span >= 2 * M_PI - 1e-9;
      paths.push_back({{end(round ? xs : xe, round ? ys : ye, false), c, end(xs, ys, true)}, false, false});
    } else if (!turned.empty() && !arcPts.empty()) {
      arcPts.push_back(turned[after % turned.size()].second);
    }
    paths.push_back({std::move(arcPts), false, true});
    for (auto& path : paths) path.Pts = DevPoints(dc, path.Pts.data(), path.Pts.size());
    pd.Stroke(paths);
    return;
  }
  Region arc = wedge.Cut(ring);
  Region dev = DeviceShift(dc, arc);
  for (const RECT& rc : dev.Rects())
    for (int y = rc.top; y < rc.bottom; ++y)
      for (int x = rc.left; x < rc.right; ++x) pd.Plot(x, y, pd.penRaw);
  if (!pie) return;
  // The arc's end pixels: nearest to the start radial and to the end one
  // (the farther from the centre of equals).
  bool any = false;
  POINT first{}, last{};
  double dFirst = 0, dLast = 0, rFirst = 0, rLast = 0;
  for (const RECT& rc : arc.Rects())
    for (int y = rc.top; y < rc.bottom; ++y)
      for (int x = rc.left; x < rc.right; ++x) {
        double d = wedge.Into(x, y);
        if (d < 0) continue;
        double q = (x - wedge.cx) * (x - wedge.cx) + (y - wedge.cy) * (y - wedge.cy);
        if (!any || d < dFirst || (d == dFirst && q > rFirst)) {
          first = POINT{x, y};
          dFirst = d;
          rFirst = q;
        }
        if (!any || d > dLast || (d == dLast && q > rLast)) {
          last = POINT{x, y};
          dLast = d;
          rLast = q;
        }
        any = true;
      }
  POINT c{LONG(wedge.cx), LONG(wedge.cy)};
  // Equal radials: one line, along the radial.
  if (wedge.span >= 2 * M_PI - 1e-9) last = first;
  if (any)
    for (POINT e : {first, last}) pd.Line(DevX(dc, e.x), DevY(dc, e.y), DevX(dc, c.x), DevY(dc, c.y));
  pd.Dot(DevX(dc, c.x), DevY(dc, c.y));
}

}  // namespace

#define VX_DC(ret)                                      \
  std::lock_guard<std::recursive_mutex> lock(Lock()); \
  DC* dc = FindDC(hdc);                               \
  if (!dc) return ret

BOOL MoveToEx(HDC hdc, int x, int y, POINT* lppt) {
  VX_DC(FALSE);
  if (lppt) *lppt = dc->S.CurPos;
  dc->S.CurPos = POINT{x, y};
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, POINT* lppt) {
  VX_DC(FALSE);
  if (lppt) *lppt = dc->S.CurPos;
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  VX_DC(FALSE);
  PenDrawer pd(*dc);
  if (pd.ok) pd.Line(DevX(*dc, dc->S.CurPos.x), DevY(*dc, dc->S.CurPos.y), DevX(*dc, x), DevY(*dc, y));
  dc->S.CurPos = POINT{x, y};
  return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* apt, int cpt) {
  VX_DC(FALSE);
  if (!apt || cpt < 2) return FALSE;
  PenDrawer pd(*dc);
  if (pd.ok && pd.Wide())
    pd.Stroke({DevPoints(*dc, apt, size_t(cpt))}, false, false);
  else if (pd.ok)
    for (int i = 1; i < cpt; ++i)
      pd.Line(DevX(*dc, apt[i - 1].x), DevY(*dc, apt[i - 1].y), DevX(*dc, apt[i].x), DevY(*dc, apt[i].y));
  return TRUE;
}

BOOL PolylineTo(HDC hdc, const POINT* apt, DWORD cpt) {
  VX_DC(FALSE);
  if (!apt) return FALSE;
  PenDrawer pd(*dc);
  POINT cur = dc->S.CurPos;
  if (pd.ok && pd.Wide() && cpt > 0) {
    std::vector<POINT> p{cur};
    p.insert(p.end(), apt, apt + cpt);
    pd.Stroke({DevPoints(*dc, p.data(), p.size())}, false, false);
    cur = apt[cpt - 1];
  } else {
    for (DWORD i = 0; i < cpt; ++i) {
      if (pd.ok) pd.Line(DevX(*dc, cur.x), DevY(*dc, cur.y), DevX(*dc, apt[i].x), DevY(*dc, apt[i].y));
      cur = apt[i];
    }
  }
  dc->S.CurPos = cur;
  return TRUE;
}

BOOL LineDDA(int xStart, int yStart, int xEnd, int yEnd, LINEDDAPROC lpProc, LPARAM data) {
  if (!lpProc) return FALSE;
  // The same points as a pen's line, except that at an exact half step the
  // minor coordinate stays on the start's side (a pen's line takes the
  // smaller coordinate there, whichever way it runs).
  const int64_t dx = int64_t(xEnd) - xStart, dy = int64_t(yEnd) - yStart;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const int64_t n = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  const int64_t majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1, minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  for (int64_t i = 0; i < n; ++i) {
    // minor x i / n rounded to the nearest, halves down.
    const int64_t m = CeilDiv(__int128(2) * minor * i - n, 2 * n);
    const int64_t a = majorStep * i, b = minorStep * m;
    lpProc(int(xStart + (xMajor ? a : b)), int(yStart + (xMajor ? b : a)), data);
  }
  return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  VX_DC(FALSE);
  InsideFrame(*dc, left, top, right, bottom);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  bool pen = HasPen(*dc);
  // Without a pen the filled area is one pixel smaller on the right and bottom.
  Region fill;
  if (pen)
    fill.SetRect(left + 1, top + 1, right - 1, bottom - 1);
  else
    fill.SetRect(left, top, right - 1, bottom - 1);
  FillWithBrush(*dc, DeviceShift(*dc, fill));
  if (pen && right - left >= 1 && bottom - top >= 1) {
    PenDrawer pd(*dc);
    if (pd.ok) {
      int l = DevX(*dc, left), t = DevY(*dc, top), r = DevX(*dc, right - 1), b = DevY(*dc, bottom - 1);
      if (t > b) std::swap(t, b);  // turned over by the world transform
      if (pd.Wide()) {
        // A wide pen goes round the corners of the outline a thin one draws.
        pd.Stroke({{POINT{l, t}, POINT{r, t}, POINT{r, b}, POINT{l, b}}}, true, false);
      } else if (r == l) {
        pd.Line(l, t, l, b + 1);
      } else if (b == t) {
        pd.Line(l, t, r + 1, t);
      } else if (dc->S.ArcDirection == AD_CLOCKWISE) {
        // Clockwise from the top-left corner.
        pd.Line(l, t, r, t);
        pd.Line(r, t, r, b);
        pd.Line(r, b, l, b);
        pd.Line(l, b, l, t);
      } else {
        // Anticlockwise from the top-right corner, as the platform goes by
        // default: a styled pen's dashes start there.
        pd.Line(r, t, l, t);
        pd.Line(l, t, l, b);
        pd.Line(l, b, r, b);
        pd.Line(r, b, r, t);
      }
    }
  }
  return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  VX_DC(FALSE);
  FillAndOutline(*dc, left, top, right, bottom, 0, 0, true);
  return TRUE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  VX_DC(FALSE);
  FillAndOutline(*dc, left, top, right, bottom, width, height, false);
  return TRUE;
}

int SetArcDirection(HDC hdc, int dir) {
  VX_DC(0);
  if (dir != AD_COUNTERCLOCKWISE && dir != AD_CLOCKWISE) return 0;
  int old = dc->S.ArcDirection;
  dc->S.ArcDirection = dir;
  return old;
}

int GetArcDirection(HDC hdc) {
  VX_DC(0);
  return dc->S.ArcDirection;
}

BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
  VX_DC(FALSE);
  ArcOrPie(*dc, left, top, right, bottom, xStart, yStart, xEnd, yEnd, false);
  return TRUE;
}

BOOL Pie(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
  VX_DC(FALSE);
  ArcOrPie(*dc, left, top, right, bottom, xStart, yStart, xEnd, yEnd, true);
  return TRUE;
}

static BOOL PolyPolygonImpl(HDC hdc, const std::vector<std::vector<POINT>>& polys) {
  VX_DC(FALSE);
  // The fill is worked out over the visible rows and columns only.
  RECT seen;
  if (SeenBox(*dc, 0, seen)) {
    Region area = RegionOfSpans(PolygonSpans(polys, dc->S.PolyFillMode, seen));
    FillWithBrush(*dc, DeviceShift(*dc, area));
  }
  PenDrawer pd(*dc);
  if (pd.ok && pd.Wide()) {
    std::vector<std::vector<POINT>> dev;
    for (const auto& p : polys) dev.push_back(DevPoints(*dc, p.data(), p.size()));
    pd.Stroke(dev, true, false);
  } else if (pd.ok)
    for (const auto& p : polys)
      for (size_t i = 0; i < p.size(); ++i) {
        POINT a = p[i], b = p[(i + 1) % p.size()];
        pd.Line(DevX(*dc, a.x), DevY(*dc, a.y), DevX(*dc, b.x), DevY(*dc, b.y));
      }
  return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* apt, int cpt) {
  if (!apt || cpt < 2) return FALSE;
  return PolyPolygonImpl(hdc, {std::vector<POINT>(apt, apt + cpt)});
}

BOOL PolyPolygon(HDC hdc, const POINT* apt, const INT* asz, int csz) {
  if (!apt || !asz || csz < 1) return FALSE;
  std::vector<std::vector<POINT>> polys;
  const POINT* p = apt;
  for (int i = 0; i < csz; ++i) {
    if (asz[i] < 2) return FALSE;
    polys.emplace_back(p, p + asz[i]);
    p += asz[i];
  }
  return PolyPolygonImpl(hdc, polys);
}

static HRGN NewRegion(const Region& r) {
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::Region;
  o->Rgn = std::make_shared<Region>(r);
  return reinterpret_cast<HRGN>(AddObject(o));
}

static bool SizeAllowed(int64_t w, int64_t h) {
  int64_t limit = PixelLimit();
  return std::abs(w) < (int64_t(1) << 27) && std::abs(h) < (int64_t(1) << 27) &&
         (limit <= 0 || std::abs(w) * std::abs(h) <= limit);
}

HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  if (!SizeAllowed(int64_t(x2) - x1, int64_t(y2) - y1)) return nullptr;
  // Region shapes leave out the right column and the bottom row of the box.
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  return NewRegion(RegionOfSpans(RoundSpans(x1, y1, x2 - 1, y2 - 1, x2 - 1 - x1, y2 - 1 - y1)));
}

HRGN CreateEllipticRgnIndirect(const RECT* r) {
  return r ? CreateEllipticRgn(r->left, r->top, r->right, r->bottom) : nullptr;
}

HRGN CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h) {
  if (!SizeAllowed(int64_t(x2) - x1, int64_t(y2) - y1)) return nullptr;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  return NewRegion(RegionOfSpans(RoundSpans(x1, y1, x2 - 1, y2 - 1, w, h)));
}

HRGN CreatePolyPolygonRgn(const POINT* pptl, const INT* pc, int cPoly, int iMode) {
  if (!pptl || !pc || cPoly < 1 || (iMode != ALTERNATE && iMode != WINDING)) return nullptr;
  std::vector<std::vector<POINT>> polys;
  const POINT* p = pptl;
  int minx = INT32_MAX, maxx = INT32_MIN, miny = INT32_MAX, maxy = INT32_MIN;
  for (int i = 0; i < cPoly; ++i) {
    if (pc[i] < 0) return nullptr;
    polys.emplace_back(p, p + pc[i]);
    for (int k = 0; k < pc[i]; ++k) {
      minx = std::min(minx, int(p[k].x));
      maxx = std::max(maxx, int(p[k].x));
      miny = std::min(miny, int(p[k].y));
      maxy = std::max(maxy, int(p[k].y));
    }
    p += pc[i];
  }
  if (minx <= maxx && !SizeAllowed(int64_t(maxx) - minx, int64_t(maxy) - miny)) return nullptr;
  return NewRegion(RegionOfSpans(PolygonSpans(polys, iMode)));
}

HRGN CreatePolygonRgn(const POINT* pptl, int cPoint, int iMode) {
  return CreatePolyPolygonRgn(pptl, &cPoint, 1, iMode);
}

BOOL DrawEdge(HDC hdc, RECT* qrc, UINT edge, UINT grfFlags) {
  if (!qrc) return FALSE;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    if (!FindDC(hdc)) return FALSE;
  }
  // Outer ring, then inner ring: top-left and bottom-right colours.
  struct Ring {
    UINT raised, sunken;
    int tlR, brR, tlS, brS;
  } rings[2] = {
      {BDR_RAISEDOUTER, BDR_SUNKENOUTER, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
      {BDR_RAISEDINNER, BDR_SUNKENINNER, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
  };
  RECT r = *qrc;
  for (const Ring& ring : rings) {
    int tl = -1, br = -1;
    if (edge & ring.raised) {
      tl = ring.tlR;
      br = ring.brR;
    } else if (edge & ring.sunken) {
      tl = ring.tlS;
      br = ring.brS;
    }
    if (tl < 0) continue;
    HBRUSH btl = GetSysColorBrush(tl), bbr = GetSysColorBrush(br);
    if (grfFlags & BF_LEFT) {
      RECT e{r.left, r.top, r.left + 1, r.bottom};
      FillRect(hdc, &e, btl);
    }
    if (grfFlags & BF_TOP) {
      RECT e{r.left, r.top, r.right, r.top + 1};
      FillRect(hdc, &e, btl);
    }
    if (grfFlags & BF_RIGHT) {
      RECT e{r.right - 1, r.top, r.right, r.bottom};
      FillRect(hdc, &e, bbr);
    }
    if (grfFlags & BF_BOTTOM) {
      RECT e{r.left, r.bottom - 1, r.right, r.bottom};
      FillRect(hdc, &e, bbr);
    }
    if (grfFlags & BF_LEFT) r.left++;
    if (grfFlags & BF_TOP) r.top++;
    if (grfFlags & BF_RIGHT) r.right--;
    if (grfFlags & BF_BOTTOM) r.bottom--;
  }
  if (grfFlags & BF_MIDDLE) FillRect(hdc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (grfFlags & BF_ADJUST) *qrc = r;
  return TRUE;
}
