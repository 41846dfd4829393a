// Geometry shared by the drawing library's figures and text.
#pragma once
#include <cairo.h>

struct GpPath;

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

}  // namespace vxgdiplus
