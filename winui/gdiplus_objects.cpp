// The drawing library's objects: pens, brushes, graphics over a device
// context with their settings and world transform, and paths.
#include <cmath>

#include "winui/gdi_internal.h"
#include "winui/gdiplus_internal.h"

using namespace vxgdiplus;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

void Rec(const std::string& Line) {
  if (Recording()) Log(Line);
}

bool Finite(double v) { return std::isfinite(v); }

template <class T>
GpStatus Make(T** out, Kind K, std::unique_ptr<T> o) {
  if (!Started()) return GdiplusNotInitialized;
  Add(o.get(), K);
  *out = o.release();
  return Ok;
}

template <class T>
GpStatus Delete(T* o, Kind K) {
  if (!Live(o, K)) return InvalidParameter;
  Remove(o);
  delete o;
  return Ok;
}

GpStatus NewGraphics(HDC hdc, HANDLE device, GpGraphics** graphics) {
  if (!graphics) return InvalidParameter;
  *graphics = nullptr;
  auto g = std::make_unique<GpGraphics>();
  {
    std::lock_guard<std::recursive_mutex> lock(vxgdi::Lock());
    vxgdi::DC* dc = vxgdi::FindDC(hdc);
    if (!dc) return OutOfMemory;
    // Pixel centres lie on whole coordinates: the centre of device pixel
    // (x, y) is at (x + 0.5, y + 0.5) on the cairo surface.
    const double ox = vxgdi::DevX(*dc, 0) + 0.5, oy = vxgdi::DevY(*dc, 0) + 0.5;
    cairo_matrix_init(&g->Origin, 1, 0, 0, vxgdi::FlipsY(*dc) ? -1 : 1, ox, oy);
  }
  cairo_matrix_init_identity(&g->World);
  g->Dc = hdc;
  g->Device = device;
  return Make(graphics, Kind::Graphics, std::move(g));
}

}  // namespace

// --- pens ---------------------------------------------------------------

GpStatus GdipCreatePen1(ARGB color, REAL width, GpUnit unit, GpPen** pen) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreatePen1(" + Hex(color) + "," + Num(width) + "," + std::to_string(unit) + ")");
  if (!pen) return InvalidParameter;
  *pen = nullptr;
  // Widths are in pixels whatever the unit: the graphics objects here have
  // no page scale.
  if (!Finite(width) || unit < UnitWorld || unit > UnitPixel) return InvalidParameter;
  auto p = std::make_unique<GpPen>();
  p->Color = color;
  p->Width = width;
  return Make(pen, Kind::Pen, std::move(p));
}

GpStatus GdipDeletePen(GpPen* pen) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDeletePen()");
  return Delete(pen, Kind::Pen);
}

GpStatus GdipSetPenColor(GpPen* pen, ARGB color) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetPenColor(" + Hex(color) + ")");
  if (!Live(pen, Kind::Pen)) return InvalidParameter;
  pen->Color = color;
  return Ok;
}

GpStatus GdipSetPenWidth(GpPen* pen, REAL width) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetPenWidth(" + Num(width) + ")");
  if (!Live(pen, Kind::Pen) || !Finite(width)) return InvalidParameter;
  pen->Width = width;
  return Ok;
}

GpStatus GdipSetPenDashStyle(GpPen* pen, GpDashStyle style) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetPenDashStyle(" + std::to_string(style) + ")");
  if (!Live(pen, Kind::Pen) || style < DashStyleSolid || style > DashStyleDashDotDot) return InvalidParameter;
  pen->Dash = style;
  return Ok;
}

GpStatus GdipSetPenLineJoin(GpPen* pen, GpLineJoin join) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetPenLineJoin(" + std::to_string(join) + ")");
  if (!Live(pen, Kind::Pen) || join < LineJoinMiter || join > LineJoinMiterClipped) return InvalidParameter;
  pen->Join = join;
  return Ok;
}

// --- brushes ------------------------------------------------------------

GpStatus GdipCreateSolidFill(ARGB color, GpBrush** brush) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreateSolidFill(" + Hex(color) + ")");
  if (!brush) return InvalidParameter;
  *brush = nullptr;
  auto b = std::make_unique<GpBrush>();
  b->Fore = color;
  return Make(brush, Kind::Brush, std::move(b));
}

GpStatus GdipCreateHatchBrush(GpHatchStyle style, ARGB fore, ARGB back, GpBrush** brush) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreateHatchBrush(" + std::to_string(style) + "," + Hex(fore) + "," + Hex(back) + ")");
  if (!brush) return InvalidParameter;
  *brush = nullptr;
  if (style < HatchStyleHorizontal || style > HatchStyleDiagonalCross) return InvalidParameter;
  auto b = std::make_unique<GpBrush>();
  b->Hatch = true;
  b->Style = style;
  b->Fore = fore;
  b->Back = back;
  return Make(brush, Kind::Brush, std::move(b));
}

GpStatus GdipDeleteBrush(GpBrush* brush) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDeleteBrush()");
  return Delete(brush, Kind::Brush);
}

// --- graphics -----------------------------------------------------------

GpStatus GdipCreateFromHDC(HDC hdc, GpGraphics** graphics) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreateFromHDC()");
  return NewGraphics(hdc, nullptr, graphics);
}

GpStatus GdipCreateFromHDC2(HDC hdc, HANDLE device, GpGraphics** graphics) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreateFromHDC2()");
  return NewGraphics(hdc, device, graphics);
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDeleteGraphics()");
  return Delete(graphics, Kind::Graphics);
}

GpStatus GdipSetSmoothingMode(GpGraphics* graphics, GpSmoothingMode mode) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetSmoothingMode(" + std::to_string(mode) + ")");
  if (!Live(graphics, Kind::Graphics) || mode < SmoothingModeDefault || mode > SmoothingModeAntiAlias)
    return InvalidParameter;
  graphics->Smoothing = mode;
  return Ok;
}

GpStatus GdipSetCompositingMode(GpGraphics* graphics, GpCompositingMode mode) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetCompositingMode(" + std::to_string(mode) + ")");
  if (!Live(graphics, Kind::Graphics) || mode < CompositingModeSourceOver || mode > CompositingModeSourceCopy)
    return InvalidParameter;
  graphics->Compositing = mode;
  return Ok;
}

GpStatus GdipSetCompositingQuality(GpGraphics* graphics, GpCompositingQuality quality) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetCompositingQuality(" + std::to_string(quality) + ")");
  if (!Live(graphics, Kind::Graphics) || quality < CompositingQualityDefault ||
      quality > CompositingQualityAssumeLinear)
    return InvalidParameter;
  // Every quality blends the same way here: straight 8-bit source-over.
  graphics->Quality = quality;
  return Ok;
}

GpStatus GdipSetTextRenderingHint(GpGraphics* graphics, GpTextRenderingHint hint) {
  Guard l(Lock());
  if (Recording()) Rec("GdipSetTextRenderingHint(" + std::to_string(hint) + ")");
  if (!Live(graphics, Kind::Graphics) || hint < TextRenderingHintSystemDefault ||
      hint > TextRenderingHintClearTypeGridFit)
    return InvalidParameter;
  graphics->TextHint = hint;
  return Ok;
}

GpStatus GdipRotateWorldTransform(GpGraphics* graphics, REAL angle, GpMatrixOrder order) {
  Guard l(Lock());
  if (Recording()) Rec("GdipRotateWorldTransform(" + Num(angle) + "," + std::to_string(order) + ")");
  if (!Live(graphics, Kind::Graphics) || !Finite(angle) || (order != MatrixOrderPrepend && order != MatrixOrderAppend))
    return InvalidParameter;
  cairo_matrix_t r;
  // Whole quarter turns exactly, so that turned figures keep their pixels.
  const double a = std::fmod(double(angle), 360.0);
  double s = std::sin(a * M_PI / 180), c = std::cos(a * M_PI / 180);
  if (std::fmod(a, 90.0) == 0) {
    const int q = (int(a / 90) % 4 + 4) % 4;
    const int cs[4] = {1, 0, -1, 0}, ss[4] = {0, 1, 0, -1};
    c = cs[q];
    s = ss[q];
  }
  cairo_matrix_init(&r, c, s, -s, c, 0, 0);
  cairo_matrix_t m;
  if (order == MatrixOrderPrepend)
    cairo_matrix_multiply(&m, &r, &graphics->World);  // turn first, then the old transform
  else
    cairo_matrix_multiply(&m, &graphics->World, &r);
  graphics->World = m;
  return Ok;
}

GpStatus GdipTranslateWorldTransform(GpGraphics* graphics, REAL dx, REAL dy, GpMatrixOrder order) {
  Guard l(Lock());
  if (Recording()) Rec("GdipTranslateWorldTransform(" + Num(dx) + "," + Num(dy) + "," + std::to_string(order) + ")");
  if (!Live(graphics, Kind::Graphics) || !Finite(dx) || !Finite(dy) ||
      (order != MatrixOrderPrepend && order != MatrixOrderAppend))
    return InvalidParameter;
  cairo_matrix_t t, m;
  cairo_matrix_init_translate(&t, dx, dy);
  if (order == MatrixOrderPrepend)
    cairo_matrix_multiply(&m, &t, &graphics->World);
  else
    cairo_matrix_multiply(&m, &graphics->World, &t);
  graphics->World = m;
  return Ok;
}

GpStatus GdipResetWorldTransform(GpGraphics* graphics) {
  Guard l(Lock());
  if (Recording()) Rec("GdipResetWorldTransform()");
  if (!Live(graphics, Kind::Graphics)) return InvalidParameter;
  cairo_matrix_init_identity(&graphics->World);
  return Ok;
}

// --- paths --------------------------------------------------------------

namespace {

GpStatus AddPiece(GpPath* path, bool arc, std::initializer_list<REAL> v) {
  if (!Live(path, Kind::Path)) return InvalidParameter;
  for (REAL x : v)
    if (!Finite(x)) return InvalidParameter;
  if (path->Figures.empty() || path->Figures.back().Closed) path->Figures.emplace_back();
  GpPathPiece p;
  p.Arc = arc;
  int i = 0;
  for (REAL x : v) p.V[i++] = x;
  path->Figures.back().Pieces.push_back(p);
  return Ok;
}

}  // namespace

GpStatus GdipCreatePath(GpFillMode brushMode, GpPath** path) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreatePath(" + std::to_string(brushMode) + ")");
  if (!path) return InvalidParameter;
  *path = nullptr;
  if (brushMode != FillModeAlternate && brushMode != FillModeWinding) return InvalidParameter;
  auto p = std::make_unique<GpPath>();
  p->Mode = brushMode;
  return Make(path, Kind::Path, std::move(p));
}

GpStatus GdipAddPathLine(GpPath* path, REAL x1, REAL y1, REAL x2, REAL y2) {
  Guard l(Lock());
  if (Recording()) Rec("GdipAddPathLine(" + Num(x1) + "," + Num(y1) + "," + Num(x2) + "," + Num(y2) + ")");
  return AddPiece(path, false, {x1, y1, x2, y2});
}

GpStatus GdipAddPathArc(GpPath* path, REAL x, REAL y, REAL width, REAL height, REAL startAngle, REAL sweepAngle) {
  Guard l(Lock());
  if (Recording()) Rec("GdipAddPathArc(" + Num(x) + "," + Num(y) + "," + Num(width) + "," + Num(height) + "," + Num(startAngle) +
      "," + Num(sweepAngle) + ")");
  return AddPiece(path, true, {x, y, width, height, startAngle, sweepAngle});
}

GpStatus GdipClosePathFigure(GpPath* path) {
  Guard l(Lock());
  if (Recording()) Rec("GdipClosePathFigure()");
  if (!Live(path, Kind::Path)) return InvalidParameter;
  if (!path->Figures.empty()) path->Figures.back().Closed = true;
  return Ok;
}

GpStatus GdipDeletePath(GpPath* path) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDeletePath()");
  return Delete(path, Kind::Path);
}

// --- images -------------------------------------------------------------

GpStatus GdipDisposeImage(GpImage* image) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDisposeImage()");
  // This library makes no images, so no handle can name one.
  (void)image;
  return InvalidParameter;
}
