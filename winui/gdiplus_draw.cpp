// The drawing library's figures over cairo, on the bitmap selected into the
// graphics object's device context: 32-bit bitmaps are drawn on in place,
// their fourth byte taken as premultiplied alpha (colours composite as over
// an opaque surface; what is drawn leaves its alpha there, as AlphaBlend
// reads it), other depths through a 32-bit copy of the touched box that is written back
// pixel by pixel (palette formats by the nearest entry). The device
// context's clip region limits every figure.
#include <cmath>
#include <cstring>
#include <functional>

#include "winui/gdi_internal.h"
#include "winui/gdiplus_draw.h"
#include "winui/gdiplus_internal.h"

using namespace vxgdiplus;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

void Rec(const std::string& Line) {
  if (Recording()) Log(Line);
}

bool Finite(std::initializer_list<double> v) {
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

std::string Nums(std::initializer_list<double> v) {
  std::string s;
  for (double x : v) {
    if (!s.empty()) s += ',';
    s += Num(x);
  }
  return s;
}

// The 8 x 8 hatch patterns, one byte per row, bit 7 leftmost.
const uint8_t kHatch[6][8] = {
    {0xFF, 0, 0, 0, 0, 0, 0, 0},                               // horizontal
    {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},          // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},          // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},          // backward diagonal
    {0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},          // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},          // diagonal cross
};

uint32_t Premultiplied(ARGB c) {
  const uint32_t a = c >> 24;
  auto ch = [a](uint32_t v) { return (v * a + 127) / 255; };
  return (a << 24) | (ch((c >> 16) & 255) << 16) | (ch((c >> 8) & 255) << 8) | ch(c & 255);
}

void SetColor(cairo_t* cr, ARGB c) {
  cairo_set_source_rgba(cr, ((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0, (c & 255) / 255.0,
                        (c >> 24) / 255.0);
}

// The part of a device context's bitmap that one figure can touch, as a
// cairo surface in which image pixel (x, y) covers the unit square at
// ToSurface(x, y).
class Target {
 public:
  Target(vxgdi::Bitmap& B, int X0, int Y0, int X1, int Y1) : B_(B), X0_(X0), Y0_(Y0), W_(X1 - X0), H_(Y1 - Y0) {
    if (B.Bpp == 32 && !B.HasMasks) {
      if (B.TopDown) {
        Surf_ = cairo_image_surface_create_for_data(B.Row(Y0) + size_t(X0) * 4, CAIRO_FORMAT_ARGB32, W_, H_, B.Stride);
        cairo_matrix_init(&ToSurface, 1, 0, 0, 1, -X0, -Y0);
      } else {
        // Bottom-up rows: the surface steps back through memory.
        Surf_ = cairo_image_surface_create_for_data(B.Row(Y0) + size_t(X0) * 4, CAIRO_FORMAT_ARGB32, W_, H_,
                                                    -B.Stride);
        cairo_matrix_init(&ToSurface, 1, 0, 0, 1, -X0, -Y0);
      }
    } else {
      Copy_ = true;
      Surf_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W_, H_);
      cairo_matrix_init(&ToSurface, 1, 0, 0, 1, -X0, -Y0);
      if (cairo_surface_status(Surf_) == CAIRO_STATUS_SUCCESS) {
        Before_.resize(size_t(W_) * size_t(H_));
        for (int y = 0; y < H_; ++y)
          for (int x = 0; x < W_; ++x) {
            const COLORREF c = B.Get(X0 + x, Y0 + y);
            Before_[size_t(y) * W_ + x] = 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
          }
        uint8_t* data = cairo_image_surface_get_data(Surf_);
        const int stride = cairo_image_surface_get_stride(Surf_);
        for (int y = 0; y < H_; ++y) std::memcpy(data + size_t(y) * stride, &Before_[size_t(y) * W_], size_t(W_) * 4);
        cairo_surface_mark_dirty(Surf_);
      }
    }
    Cr = cairo_create(Surf_);
  }

  ~Target() {
    cairo_destroy(Cr);
    cairo_surface_flush(Surf_);
    if (Copy_ && cairo_surface_status(Surf_) == CAIRO_STATUS_SUCCESS) {
      const uint8_t* data = cairo_image_surface_get_data(Surf_);
      const int stride = cairo_image_surface_get_stride(Surf_);
      for (int y = 0; y < H_; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < W_; ++x) {
          const uint32_t v = row[x] & 0xFFFFFF;
          if (v != (Before_[size_t(y) * W_ + x] & 0xFFFFFF))
            B_.Set(X0_ + x, Y0_ + y, RGB((v >> 16) & 255, (v >> 8) & 255, v & 255));
        }
      }
    }
    cairo_surface_destroy(Surf_);
  }

  bool Ok() const { return cairo_status(Cr) == CAIRO_STATUS_SUCCESS; }

  cairo_t* Cr = nullptr;
  cairo_matrix_t ToSurface;

 private:
  vxgdi::Bitmap& B_;
  int X0_, Y0_, W_, H_;
  bool Copy_ = false;
  cairo_surface_t* Surf_ = nullptr;
  std::vector<uint32_t> Before_;
};

bool AntiAliased(const GpGraphics* g) {
  return g->Smoothing == SmoothingModeHighQuality || g->Smoothing == SmoothingModeAntiAlias;
}

double PenWidth(const GpPen* p) { return p->Width < 1 ? 1.0 : double(p->Width); }

// Stroke settings of a pen in the current user space (the world transform
// only turns and moves, so widths and dashes keep their lengths).
void SetStroke(cairo_t* cr, const GpPen* p) {
  const double w = PenWidth(p);
  cairo_set_line_width(cr, w);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_miter_limit(cr, 10);
  // A clipped miter is drawn as a plain miter (bevelled beyond the limit).
  switch (p->Join) {
    case LineJoinBevel: cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL); break;
    case LineJoinRound: cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND); break;
    default: cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER); break;
  }
  // Dash and gap lengths in pen widths.
  static const std::vector<double> kDashes[5] = {{}, {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
  std::vector<double> d = kDashes[p->Dash];
  for (double& x : d) x *= w;
  cairo_set_dash(cr, d.data(), int(d.size()), 0);
}

// Device coordinates beyond this are refused: cairo computes with 24.8
// fixed-point numbers, and a far larger figure would only take time.
constexpr double kLimit = 1 << 22;

}  // namespace

GpStatus vxgdiplus::Render(GpGraphics* g, const Figure& f) {
  const GpPen* pen = f.Pen;
  const GpBrush* brush = f.Brush;
  const auto& Build = f.Build;
  cairo_matrix_t toDevice;
  cairo_matrix_multiply(&toDevice, &g->World, &g->Origin);
  {
    const double margin = pen ? PenWidth(pen) : 0;
    if (margin > kLimit) return ValueOverflow;
    for (int i = 0; i < 4; ++i) {
      double x = f.Bounds[(i & 1) ? 2 : 0], y = f.Bounds[(i & 2) ? 3 : 1];
      cairo_matrix_transform_point(&toDevice, &x, &y);
      if (!(std::fabs(x) + margin <= kLimit && std::fabs(y) + margin <= kLimit)) return ValueOverflow;
    }
  }

  std::lock_guard<std::recursive_mutex> lock(vxgdi::Lock());
  vxgdi::DC* dc = vxgdi::FindDC(g->Dc);
  if (!dc) return Win32Error;
  vxgdi::Region vis;
  if (!vxgdi::VisibleRegion(*dc, vis)) return Ok;
  vxgdi::Bitmap& bmp = *dc->Surface;

  // The device box the figure can touch, found on an unbounded surface:
  // cairo leaves out glyphs that lie far from a small surface's pixels.
  double ex1, ey1, ex2, ey2;
  {
    cairo_surface_t* s = cairo_recording_surface_create(CAIRO_CONTENT_ALPHA, nullptr);
    cairo_t* cr = cairo_create(s);
    cairo_set_matrix(cr, &toDevice);
    Build(cr);
    cairo_identity_matrix(cr);
    if (pen) {
      // Without its dashes: the same box, found without walking them.
      SetStroke(cr, pen);
      cairo_set_dash(cr, nullptr, 0, 0);
      cairo_stroke_extents(cr, &ex1, &ey1, &ex2, &ey2);
    } else {
      cairo_fill_extents(cr, &ex1, &ey1, &ex2, &ey2);
    }
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    if (!ok) return GenericError;
  }
  const RECT vb = vis.Box();
  const double fx0 = std::max<double>(vb.left, std::floor(ex1) - 1), fy0 = std::max<double>(vb.top, std::floor(ey1) - 1);
  const double fx1 = std::min<double>(vb.right, std::ceil(ex2) + 1), fy1 = std::min<double>(vb.bottom, std::ceil(ey2) + 1);
  if (!(fx0 < fx1 && fy0 < fy1)) return Ok;
  // cairo's surfaces hold at most 32767 pixels a side.
  const int x0 = int(fx0), y0 = int(fy0), x1 = std::min(int(fx1), x0 + 32767), y1 = std::min(int(fy1), y0 + 32767);

  Target t(bmp, x0, y0, x1, y1);
  if (!t.Ok()) return OutOfMemory;
  cairo_t* cr = t.Cr;
  // Clip and the source in image space.
  cairo_set_matrix(cr, &t.ToSurface);
  for (const RECT& r : vis.Rects()) cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
  cairo_clip(cr);
  cairo_pattern_t* pattern = nullptr;
  const bool copy = g->Compositing == CompositingModeSourceCopy;
  if (pen) {
    SetColor(cr, pen->Color);
  } else if (!brush->Hatch) {
    SetColor(cr, brush->Fore);
  } else {
    // Hatches are aligned with the device: pixel (x, y) takes pattern
    // pixel (x mod 8, y mod 8) whatever the world transform.
    cairo_surface_t* cell = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    uint8_t* data = cairo_image_surface_get_data(cell);
    const int stride = cairo_image_surface_get_stride(cell);
    if (data) {
      const uint32_t fore = Premultiplied(brush->Fore), back = Premultiplied(brush->Back);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          reinterpret_cast<uint32_t*>(data + y * stride)[x] = (kHatch[brush->Style][y] & (0x80 >> x)) ? fore : back;
      cairo_surface_mark_dirty(cell);
    }
    pattern = cairo_pattern_create_for_surface(cell);
    cairo_surface_destroy(cell);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_set_source(cr, pattern);
  }
  cairo_set_operator(cr, copy ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
  const bool smooth = f.AntiAlias < 0 ? AntiAliased(g) : f.AntiAlias > 0;
  cairo_set_antialias(cr, smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);

  cairo_matrix_t full;
  cairo_matrix_multiply(&full, &toDevice, &t.ToSurface);
  cairo_set_matrix(cr, &full);
  if (f.Clip) {
    // On whole pixels, as the device context's clip.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, f.Clip->X, f.Clip->Y, f.Clip->Width, f.Clip->Height);
    cairo_clip(cr);
    cairo_set_antialias(cr, smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  }
  Build(cr);
  if (pen) {
    SetStroke(cr, pen);
    cairo_stroke(cr);
  } else {
    cairo_set_fill_rule(cr, f.Mode == FillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr);
  }
  const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  if (pattern) cairo_pattern_destroy(pattern);
  return ok ? Ok : GenericError;
}

namespace {

// The box of a figure in world coordinates.
struct Box {
  double B[4] = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  Box() = default;
  Box(double x, double y, double w, double h) {
    Add(x, y);
    Add(x + w, y + h);
  }
  void Add(double x, double y) {
    B[0] = std::min(B[0], x);
    B[1] = std::min(B[1], y);
    B[2] = std::max(B[2], x);
    B[3] = std::max(B[3], y);
  }
};

GpStatus Draw(GpGraphics* g, GpPen* pen, GpBrush* brush, GpFillMode mode, const Box& box,
              std::function<void(cairo_t*)> Build) {
  if (!Live(g, Kind::Graphics) || (pen ? !Live(pen, Kind::Pen) : !Live(brush, Kind::Brush))) return InvalidParameter;
  Figure f;
  f.Pen = pen;
  f.Brush = pen ? nullptr : brush;
  f.Mode = mode;
  std::copy(box.B, box.B + 4, f.Bounds);
  f.Build = std::move(Build);
  return Render(g, f);
}

GpStatus Stroke(GpGraphics* g, GpPen* pen, const Box& box, std::function<void(cairo_t*)> Build) {
  return Draw(g, pen, nullptr, FillModeAlternate, box, std::move(Build));
}

GpStatus Fill(GpGraphics* g, GpBrush* brush, GpFillMode mode, const Box& box, std::function<void(cairo_t*)> Build) {
  return Draw(g, nullptr, brush, mode, box, std::move(Build));
}

// Turns a rectangle of negative width or height around its other corner.
void Normalise(REAL& x, REAL& y, REAL& w, REAL& h) {
  if (w < 0) {
    x += w;
    w = -w;
  }
  if (h < 0) {
    y += h;
    h = -h;
  }
}

}  // namespace

namespace vxgdiplus {

double EllipseParameter(double a, double b, double degrees) {
  const double th = degrees * M_PI / 180;
  const double principal = std::atan2(std::sin(th), std::cos(th));
  // The same number of whole turns as the angle itself.
  return std::atan2(a * std::sin(th), b * std::cos(th)) + (th - principal);
}

void AddArc(cairo_t* cr, double x, double y, double w, double h, double start, double sweep, bool join) {
  if (sweep > 360) sweep = 360;
  if (sweep < -360) sweep = -360;
  const double a = w / 2, b = h / 2, cx = x + a, cy = y + b;
  const double t0 = EllipseParameter(a, b, start);
  double t1 = EllipseParameter(a, b, start + sweep);
  if (sweep == 360 || sweep == -360) t1 = t0 + (sweep > 0 ? 2 * M_PI : -2 * M_PI);
  if (!join) cairo_new_sub_path(cr);
  if (a <= 0 || b <= 0) {
    // A flat ellipse: its points along the parameter (a line traced back
    // and forth).
    const int n = 64;
    for (int i = 0; i <= n; ++i) {
      const double t = t0 + (t1 - t0) * i / n;
      cairo_line_to(cr, cx + a * std::cos(t), cy + b * std::sin(t));
    }
    return;
  }
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, a, b);
  if (t1 >= t0)
    cairo_arc(cr, 0, 0, 1, t0, t1);
  else
    cairo_arc_negative(cr, 0, 0, 1, t0, t1);
  cairo_restore(cr);
}

void AddPath(cairo_t* cr, const GpPath& path) {
  for (const GpPathFigure& f : path.Figures) {
    bool first = true;
    for (const GpPathPiece& p : f.Pieces) {
      if (p.Arc) {
        REAL x = p.V[0], y = p.V[1], w = p.V[2], h = p.V[3];
        Normalise(x, y, w, h);
        AddArc(cr, x, y, w, h, p.V[4], p.V[5], !first);
      } else {
        if (first)
          cairo_move_to(cr, p.V[0], p.V[1]);
        else
          cairo_line_to(cr, p.V[0], p.V[1]);
        cairo_line_to(cr, p.V[2], p.V[3]);
      }
      first = false;
    }
    if (f.Closed && !f.Pieces.empty()) cairo_close_path(cr);
  }
}

}  // namespace vxgdiplus

// --- figures ------------------------------------------------------------

namespace {

Box PathBox(const GpPath& path) {
  Box box;
  for (const GpPathFigure& f : path.Figures)
    for (const GpPathPiece& p : f.Pieces) {
      box.Add(p.V[0], p.V[1]);
      box.Add(p.Arc ? p.V[0] + p.V[2] : p.V[2], p.Arc ? p.V[1] + p.V[3] : p.V[3]);
    }
  if (box.B[0] > box.B[2]) box = Box(0, 0, 0, 0);  // nothing to draw
  return box;
}

}  // namespace

GpStatus GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDrawLine(" + Nums({x1, y1, x2, y2}) + ")");
  if (!Finite({x1, y1, x2, y2})) return InvalidParameter;
  Box box;
  box.Add(x1, y1);
  box.Add(x2, y2);
  return Stroke(graphics, pen, box, [&](cairo_t* cr) {
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
  });
}

static GpStatus PointsFigure(GpGraphics* graphics, GpPen* pen, GpBrush* brush, GpFillMode mode,
                             const GpPoint* points, INT count, bool closed) {
  if (!points || count < (closed ? 1 : 2)) return InvalidParameter;
  Box box;
  for (INT i = 0; i < count; ++i) box.Add(points[i].X, points[i].Y);
  auto build = [&](cairo_t* cr) {
    cairo_move_to(cr, points[0].X, points[0].Y);
    for (INT i = 1; i < count; ++i) cairo_line_to(cr, points[i].X, points[i].Y);
    if (closed) cairo_close_path(cr);
  };
  return pen ? Stroke(graphics, pen, box, build) : Fill(graphics, brush, mode, box, build);
}

GpStatus GdipDrawLinesI(GpGraphics* graphics, GpPen* pen, const GpPoint* points, INT count) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDrawLinesI(" + Points(points, count) + "," + std::to_string(count) + ")");
  return PointsFigure(graphics, pen, nullptr, FillModeAlternate, points, count, false);
}

GpStatus GdipDrawPolygonI(GpGraphics* graphics, GpPen* pen, const GpPoint* points, INT count) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDrawPolygonI(" + Points(points, count) + "," + std::to_string(count) + ")");
  if (!pen) return InvalidParameter;
  return PointsFigure(graphics, pen, nullptr, FillModeAlternate, points, count, true);
}

GpStatus GdipFillPolygonI(GpGraphics* graphics, GpBrush* brush, const GpPoint* points, INT count,
                          GpFillMode fillMode) {
  Guard l(Lock());
  if (Recording()) Rec("GdipFillPolygonI(" + Points(points, count) + "," + std::to_string(count) + "," + std::to_string(fillMode) +
      ")");
  if (!brush || (fillMode != FillModeAlternate && fillMode != FillModeWinding)) return InvalidParameter;
  return PointsFigure(graphics, nullptr, brush, fillMode, points, count, true);
}

GpStatus GdipDrawRectangle(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDrawRectangle(" + Nums({x, y, width, height}) + ")");
  if (!Finite({x, y, width, height})) return InvalidParameter;
  if (width < 0 || height < 0) return Live(graphics, Kind::Graphics) && Live(pen, Kind::Pen) ? Ok : InvalidParameter;
  return Stroke(graphics, pen, Box(x, y, width, height),
                [&](cairo_t* cr) { cairo_rectangle(cr, x, y, width, height); });
}

GpStatus GdipFillRectangle(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height) {
  Guard l(Lock());
  if (Recording()) Rec("GdipFillRectangle(" + Nums({x, y, width, height}) + ")");
  if (!Finite({x, y, width, height})) return InvalidParameter;
  // An empty or turned-over rectangle covers nothing.
  if (width <= 0 || height <= 0)
    return Live(graphics, Kind::Graphics) && Live(brush, Kind::Brush) ? Ok : InvalidParameter;
  return Fill(graphics, brush, FillModeAlternate, Box(x, y, width, height),
              [&](cairo_t* cr) { cairo_rectangle(cr, x, y, width, height); });
}

// The ellipse, arc and pie calls: the call recorded under Name (an ellipse
// without angles), then the figure drawn with the pen or filled with the
// brush, whichever the call takes.
static GpStatus ArcFigure(const char* Name, GpGraphics* graphics, GpPen* pen, GpBrush* brush, REAL x, REAL y, REAL w,
                          REAL h, REAL start, REAL sweep, int kind /* 0 ellipse, 1 arc, 2 pie */) {
  Guard l(Lock());
  if (Recording()) Rec(std::string(Name) + "(" + (kind == 0 ? Nums({x, y, w, h}) : Nums({x, y, w, h, start, sweep})) + ")");
  if (!pen && !brush) return InvalidParameter;
  if (!Finite({x, y, w, h, start, sweep})) return InvalidParameter;
  Normalise(x, y, w, h);
  auto build = [&](cairo_t* cr) {
    if (kind == 2) cairo_move_to(cr, x + w / 2, y + h / 2);
    AddArc(cr, x, y, w, h, kind == 0 ? 0 : start, kind == 0 ? 360 : sweep, kind == 2);
    if (kind != 1) cairo_close_path(cr);
  };
  const Box box(x, y, w, h);
  return pen ? Stroke(graphics, pen, box, build) : Fill(graphics, brush, FillModeAlternate, box, build);
}

GpStatus GdipDrawEllipse(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height) {
  return ArcFigure("GdipDrawEllipse", graphics, pen, nullptr, x, y, width, height, 0, 360, 0);
}

GpStatus GdipFillEllipse(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height) {
  return ArcFigure("GdipFillEllipse", graphics, nullptr, brush, x, y, width, height, 0, 360, 0);
}

GpStatus GdipDrawArc(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                     REAL sweepAngle) {
  return ArcFigure("GdipDrawArc", graphics, pen, nullptr, x, y, width, height, startAngle, sweepAngle, 1);
}

GpStatus GdipDrawPie(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                     REAL sweepAngle) {
  return ArcFigure("GdipDrawPie", graphics, pen, nullptr, x, y, width, height, startAngle, sweepAngle, 2);
}

GpStatus GdipFillPie(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                     REAL sweepAngle) {
  return ArcFigure("GdipFillPie", graphics, nullptr, brush, x, y, width, height, startAngle, sweepAngle, 2);
}

GpStatus GdipDrawPath(GpGraphics* graphics, GpPen* pen, GpPath* path) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDrawPath()");
  if (!Live(path, Kind::Path)) return InvalidParameter;
  return Stroke(graphics, pen, PathBox(*path), [&](cairo_t* cr) { AddPath(cr, *path); });
}

GpStatus GdipFillPath(GpGraphics* graphics, GpBrush* brush, GpPath* path) {
  Guard l(Lock());
  if (Recording()) Rec("GdipFillPath()");
  if (!Live(path, Kind::Path)) return InvalidParameter;
  return Fill(graphics, brush, path->Mode, PathBox(*path), [&](cairo_t* cr) { AddPath(cr, *path); });
}
