// Polygon geometry: measures of polylines, boxes and the viewer's
// selection; polylines traced from colour regions and from the selection;
// simplifying a polyline and straightening a staircase of pixel edges.
#include <algorithm>
#include <cmath>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/layer.h"
#include "core/mask.h"
#include "core/polygon_area.h"
#include "proc/contours.h"
#include "proc/magicwand.h"
#include "proc/proc.h"
#include "vect/vexlanevect.h"

namespace {

// The signed trapezoid sum of a closed polygon: sum of (x_prev - x) (y_prev + y).
double TrapezoidSum(const std::vector<TVXDPoint>& p) {
  double s = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const TVXDPoint& q = p[i == 0 ? p.size() - 1 : i - 1];
    s += (q.X - p[i].X) * (q.Y + p[i].Y);
  }
  return s;
}

TPoint Centroid(const std::vector<TVXDPoint>& p) {
  double S = 0, cx = 0, cy = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const TVXDPoint& q = p[i == 0 ? p.size() - 1 : i - 1];
    const double e = q.X * p[i].Y - p[i].X * q.Y;
    S += e;
    cx += e * (p[i].X + q.X);
    cy += e * (p[i].Y + q.Y);
  }
  if (S == 0) return TPoint{0, 0};
  auto tr = [](double v) { return int32_t(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0)); };
  return TPoint{tr(cx / (3 * S)), tr(cy / (3 * S))};
}

// Sub-polygons of a selection point list (separator points between them).
std::vector<std::vector<TVXDPoint>> SubPolygons(const TPoint* p, int32_t n) {
  std::vector<std::vector<TVXDPoint>> r(1);
  for (int32_t i = 0; i < n; ++i) {
    if (p[i].X == VXPolygonAreaSeparator) {
      if (!r.back().empty()) r.emplace_back();
      continue;
    }
    r.back().push_back(TVXDPoint{double(p[i].X), double(p[i].Y)});
  }
  if (r.back().empty()) r.pop_back();
  return r;
}

double Dist2(TPoint a, TPoint b) {
  const double dx = double(a.X) - b.X, dy = double(a.Y) - b.Y;
  return dx * dx + dy * dy;
}

// Squared distance of P to the segment A-B; beyond an end, to that end.
double SegDist2(TPoint p, TPoint a, TPoint b) {
  const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
  const double l2 = dx * dx + dy * dy;
  if (l2 == 0) return Dist2(p, a);
  const double t = ((double(p.X) - a.X) * dx + (double(p.Y) - a.Y) * dy) / l2;
  if (t < 0) return Dist2(p, a);
  if (t > 1) return Dist2(p, b);
  const double ex = a.X + t * dx - p.X, ey = a.Y + t * dy - p.Y;
  return ex * ex + ey * ey;
}

// One pass of the simplification with tolerance t.
std::vector<TPoint> SimplifyPass(const std::vector<TPoint>& in, double t) {
  const double t2 = t * t;
  std::vector<TPoint> radial;
  radial.push_back(in[0]);
  bool lastKept = true;
  for (size_t i = 1; i < in.size(); ++i) {
    lastKept = Dist2(in[i], radial.back()) >= t2;
    if (lastKept) radial.push_back(in[i]);
  }
  if (!lastKept) radial.push_back(in.back());
  std::vector<char> mark(radial.size(), 0);
  mark.front() = mark.back() = 1;
  std::vector<std::pair<size_t, size_t>> runs{{0, radial.size() - 1}};
  while (!runs.empty()) {
    const auto [a, b] = runs.back();
    runs.pop_back();
    double best = 0;
    size_t at = 0;
    for (size_t i = a + 1; i < b; ++i) {
      const double d = SegDist2(radial[i], radial[a], radial[b]);
      if (d > best) best = d, at = i;
    }
    if (best > t2) {
      mark[at] = 1;
      runs.push_back({a, at});
      runs.push_back({at, b});
    }
  }
  std::vector<TPoint> out;
  for (size_t i = 0; i < radial.size(); ++i)
    if (mark[i]) out.push_back(radial[i]);
  return out;
}

// Direction code of a unit step: 1 / -1 along x, 2 / -2 along y; 0 for
// anything else.
int32_t StepCode(TPoint a, TPoint b) {
  const int64_t dx = int64_t(b.X) - a.X, dy = int64_t(b.Y) - a.Y;
  if (dy == 0 && (dx == 1 || dx == -1)) return int32_t(dx);
  if (dx == 0 && (dy == 1 || dy == -1)) return int32_t(2 * dy);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Measures

double TVexlaneVect::GetPolylineLen(int32_t hobj) {
  const TVXVObject& o = *GetObjRecord(hobj);
  if (o.Kind != vxkPOLYLINE) return 0;
  const std::vector<TVXDPoint> p = MappedPolyPointsF(o);
  double len = 0;
  for (size_t i = 1; i < p.size(); ++i) {
    const double dx = (p[i].X - p[i - 1].X) * fCoefX, dy = (p[i].Y - p[i - 1].Y) * fCoefY;
    len += std::sqrt(dx * dx + dy * dy);
  }
  return len;
}

double TVexlaneVect::GetPolylineArea(int32_t hobj) {
  const TVXVObject& o = *GetObjRecord(hobj);
  if (o.Kind != vxkPOLYLINE || o.PolyPoints.empty()) return 0;
  return std::abs(TrapezoidSum(MappedPolyPointsF(o)) * fCoefX * fCoefY) / 2;
}

TPoint TVexlaneVect::GetPolylineCentroid(int32_t hobj) {
  const TVXVObject& o = *GetObjRecord(hobj);
  if (o.Kind != vxkPOLYLINE) return TPoint{0, 0};
  return Centroid(MappedPolyPointsF(o));
}

double TVexlaneVect::GetObjDiagLen(int32_t hobj) {
  const TVXVObject& o = *GetObjRecord(hobj);
  const double w = std::abs(double(o.x2) - o.x1 + 1) * fCoefX, h = std::abs(double(o.y2) - o.y1 + 1) * fCoefY;
  return std::sqrt(w * w + h * h);
}

double TVexlaneVect::GetSelectionArea() {
  const int32_t n = PolySelCount();
  if (n >= 3) {
    double s = 0;
    for (const auto& poly : SubPolygons(PolySelPoints(), n)) s += TrapezoidSum(poly);
    return std::abs(s) / 2 * fCoefX * fCoefY;
  }
  TVXMask* m = SelectionMask();
  if (!m || m->BitsPerPixel() != 1 || m->IsEmpty()) return 0;
  int64_t count = 0;
  for (int32_t y = m->Y1(); y <= m->Y2(); ++y)
    for (int32_t x = m->X1(); x <= m->X2(); ++x)
      if (m->GetPixel(x, y) != 0) ++count;
  return double(count) * fCoefX * fCoefY;
}

TPoint TVexlaneVect::GetSelectionCentroid() {
  const int32_t n = PolySelCount();
  if (n >= 3) {
    const auto polys = SubPolygons(PolySelPoints(), n);
    return polys.empty() ? TPoint{0, 0} : Centroid(polys.front());
  }
  TVXMask* m = SelectionMask();
  if (!m || m->BitsPerPixel() != 1 || m->IsEmpty()) return TPoint{0, 0};
  double sx = 0, sy = 0;
  int64_t count = 0;
  for (int32_t y = m->Y1(); y <= m->Y2(); ++y)
    for (int32_t x = m->X1(); x <= m->X2(); ++x)
      if (m->GetPixel(x, y) != 0) sx += x, sy += y, ++count;
  if (count == 0) return TPoint{0, 0};
  return TPoint{int32_t(std::nearbyint(sx / double(count) + 1)), int32_t(std::nearbyint(sy / double(count) + 1))};
}

// ---------------------------------------------------------------------------
// Polylines from regions and selections

int32_t TVexlaneVect::CreatePolygonFromEdge(int32_t x, int32_t y, bool maxfilter, int32_t tolerance) {
  const TVXLayer* L = CurrentLayer();
  TVXBitmap* b = GetVXBitmap();
  if (!b || b->IsEmpty()) return -1;
  const int32_t bx = L ? ConvXScr2Bmp(L, x) : XScr2Bmp(x), by = L ? ConvYScr2Bmp(L, y) : YScr2Bmp(y);
  std::vector<TPoint> pts = VXMagicWandPolygon(b, bx, by, tolerance, maxfilter);
  if (pts.empty()) return -1;
  pts.push_back(pts.front());
  const int32_t h = AddNewObject(false);
  SetObjKind(h, vxkPOLYLINE);
  SetObjLayer(h, LayersCurrent());  // the points are that layer's pixels
  SetObjPolylinePoints(h, pts);
  Update();
  return h;
}

int32_t TVexlaneVect::CreatePolygonsFromSelection() {
  TVXMask* m = SelectionMask();
  if (!Selected() || !m || m->IsEmpty()) return 0;
  const std::vector<TPoint> list = VXMaskToPolygons(m, m->X1(), m->Y1(), m->X2(), m->Y2(), 4);
  int32_t count = 0;
  for (size_t i = 0; i < list.size();) {
    if (list[i].X == VXPolygonSeparator) {
      ++i;
      continue;
    }
    std::vector<TPoint> poly;
    for (; i < list.size() && list[i].X != VXPolygonSeparator; ++i)
      if (poly.empty() || poly.back() != list[i]) poly.push_back(list[i]);
    if (poly.size() < 3) continue;  // a trace too small for an outline
    const int32_t h = AddNewObject(false);
    SetObjKind(h, vxkPOLYLINE);
    SetObjLayer(h, LayersCurrent());
    SetObjPolylinePoints(h, poly);
    ++count;
  }
  if (count) Update();
  return count;
}

int32_t TVexlaneVect::CreateImageFromSelectedArea(int32_t feather, bool smooth) {
  TVXMask* m = SelectionMask();
  TVXBitmap* src = GetVXBitmap();
  if (!Selected() || !m || m->IsEmpty() || !src || src->IsEmpty()) return -1;
  const int32_t x1 = m->X1(), y1 = m->Y1(), x2 = m->X2(), y2 = m->Y2();
  const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
  TVXBitmap pic;
  pic.Allocate(w, h, src->PixelFormat());
  src->CopyRectTo(&pic, x1, y1, 0, 0, w, h);
  TVXBitmap* a = pic.AlphaChannel();
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(a->Scanline(y));
    for (int32_t x = 0; x < w; ++x) row[x] = m->GetPixel(x + x1, y + y1) != 0 ? 255 : 0;
  }
  a->SyncFull();
  if (smooth || feather > 0) {
    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(&pic);
    proc.FeatherAlphaEdges(std::max(feather, 1));
  }
  const int32_t obj = AddNewObject(false);
  SetObjKind(obj, vxkBITMAP);
  SetObjLayer(obj, LayersCurrent());
  SetObjBitmap(obj, &pic);
  SetObjRect(obj, TRect{x1, y1, x2, y2}, false);
  Update();
  return obj;
}

// ---------------------------------------------------------------------------
// Reductions

void TVexlaneVect::SimplifyPolygon(int32_t hobj, int32_t MaxPoints) {
  TVXVObject& o = *GetObjRecord(hobj);
  if (o.Kind != vxkPOLYLINE || o.PolyPoints.empty()) return;
  // The first and the last point always stay, so no budget is below 2.
  const size_t budget = size_t(std::max(MaxPoints, 2));
  std::vector<TPoint> pts = MappedPolyPoints(o);
  double t = 0.1;
  for (;;) {
    pts = SimplifyPass(pts, t);
    if (pts.size() <= budget) break;
    t += 0.1;
  }
  SetObjPolylinePoints(hobj, pts);
}

bool TVexlaneVect::RemovePolygonJaggedEdges(int32_t hobj) {
  TVXVObject& o = *GetObjRecord(hobj);
  if (o.Kind != vxkPOLYLINE) return false;
  std::vector<TPoint> p = MappedPolyPoints(o);
  // A closing point that repeats the first one is no edge of its own.
  if (p.size() > 1 && p.back() == p.front()) p.pop_back();
  const size_t n = p.size();
  if (n < 4) return false;
  std::vector<int32_t> code(n);
  for (size_t i = 0; i < n; ++i)
    if ((code[i] = StepCode(p[i], p[(i + 1) % n])) == 0) return false;  // not a chain of pixel edges
  // Start at a corner of the staircase, so that no run begins halfway.
  size_t start = 0;
  for (size_t i = 0; i < n; ++i)
    if (code[i] != code[(i + n - 1) % n]) {
      start = i;
      break;
    }
  // Straight runs: from the run's first vertex, edges are added while they
  // keep to two directions (never opposite), the minor one never twice in
  // a row, and every vertex passed stays within half a pixel of the chord.
  const double tol2 = 1.0;
  std::vector<TPoint> result;
  size_t covered = 0, s = start;
  while (covered < n) {
    const TPoint a = p[s % n];
    result.push_back(a);
    int32_t dir1 = 0, dir2 = 0, major = 0, prev = 0, counted1 = 0, counted2 = 0;
    size_t best = 1;
    for (size_t k = 1; covered + k <= n; ++k) {
      const int32_t c = code[(s + k - 1) % n];
      if (dir1 == 0) dir1 = c;
      else if (c != dir1 && dir2 == 0) {
        if (c == -dir1) break;
        dir2 = c;
      } else if (c != dir1 && c != dir2) {
        break;
      }
      (c == dir1 ? counted1 : counted2)++;
      if (k == 3) major = counted1 >= counted2 ? dir1 : dir2;
      if (major != 0 && dir2 != 0) {
        const int32_t minor = major == dir1 ? dir2 : dir1;
        if (c == minor && prev == minor) break;
      }
      prev = c;
      const TPoint b = p[(s + k) % n];
      bool straight = true;
      for (size_t j = 1; j < k && straight; ++j) straight = SegDist2(p[(s + j) % n], a, b) <= tol2;
      if (!straight) break;
      best = k;
    }
    covered += best;
    s += best;
  }
  if (result.size() <= 2) {
    Update();
    return false;
  }
  SetObjPolylinePoints(hobj, result);
  return true;
}

void TVexlaneVect::NormalizePolyline(int32_t hobj) {
  TVXVObject& o = *GetObjRecord(hobj);
  if (o.Kind != vxkPOLYLINE || o.PolyPoints.empty()) return;
  const std::vector<TPoint> m = MappedPolyPoints(o);
  int32_t l = m[0].X, t = m[0].Y, r = m[0].X, b = m[0].Y;
  for (const TPoint& q : m) l = std::min(l, q.X), t = std::min(t, q.Y), r = std::max(r, q.X), b = std::max(b, q.Y);
  int32_t bl = o.PolyPoints[0].X, bt = o.PolyPoints[0].Y, br = bl, bb = bt;
  for (const TPoint& q : o.PolyPoints)
    bl = std::min(bl, q.X), bt = std::min(bt, q.Y), br = std::max(br, q.X), bb = std::max(bb, q.Y);
  o.x1 = l, o.y1 = t, o.x2 = r, o.y2 = b;
  o.PolyBaseX1 = bl, o.PolyBaseY1 = bt, o.PolyBaseX2 = br, o.PolyBaseY2 = bb;
}
