// Geometry shared by the drawing library's figures and text.
#pragma once
#include <cairo.h>

#include <functional>

#include "winui/gdiplus.h"

namespace vxgdiplus {

// The parameter t of the point (a cos t, b sin t) of an ellipse with half
// axes a and b that lies on the ray from its centre at the given angle
// (degrees, clockwise on the screen), with as many whole turns as the angle.
double EllipseParameter(double a, double b, double degrees);
// Appends the arc of the ellipse in (x, y, w, h) from the ray at Start over
// Sweep degrees (at most one turn either way); Join draws a line from the
// current point to its start, otherwise it begins a new figure.
void AddArc(cairo_t* cr, double x, double y, double w, double h, double Start, double Sweep, bool Join);
// Appends a path's figures.
void AddPath(cairo_t* cr, const GpPath& Path);

// A figure to stroke with a pen or fill with a brush.
struct Figure {
  const GpPen* Pen = nullptr;
  const GpBrush* Brush = nullptr;
  GpFillMode Mode = FillModeAlternate;
  // The box (x0, y0, x1, y1) the figure lies in, in world coordinates
  // (before the pen's width).
  double Bounds[4] = {};
  // -1: smoothed as the graphics' smoothing mode says; 0 never; 1 always.
  int AntiAlias = -1;
  // A clip rectangle in world coordinates on top of the device context's.
  const GpRectF* Clip = nullptr;
  // Builds the figure's path on a context whose user space is the world.
  std::function<void(cairo_t*)> Build;
};
// Draws a figure through the graphics' transforms on the bitmap of its
// device context. The caller holds the library's lock and has checked the
// handles.
GpStatus Render(GpGraphics* g, const Figure& f);

}  // namespace vxgdiplus
