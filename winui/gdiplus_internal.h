// Internal records of the built-in drawing library: its objects, the table
// of live objects that every entry checks its handles against, and the call
// log of the recording switch. Shared by the gdiplus*.cpp files.
#pragma once
#include <cairo.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "winui/gdiplus.h"
#include "winui/font_face.h"

struct GpPen {
  ARGB Color = 0xFF000000;
  REAL Width = 1;
  GpDashStyle Dash = DashStyleSolid;
  GpLineJoin Join = LineJoinMiter;
};

struct GpBrush {
  bool Hatch = false;
  GpHatchStyle Style = HatchStyleHorizontal;
  ARGB Fore = 0xFF000000;
  ARGB Back = 0;
};

struct GpGraphics {
  HDC Dc = nullptr;
  HANDLE Device = nullptr;
  // The device context's logical-to-device mapping when the graphics was
  // made (later changes of its origins do not move what this draws).
  cairo_matrix_t Origin;
  // The world transform, applied before Origin.
  cairo_matrix_t World;
  GpSmoothingMode Smoothing = SmoothingModeDefault;
  GpCompositingMode Compositing = CompositingModeSourceOver;
  GpCompositingQuality Quality = CompositingQualityDefault;
  GpTextRenderingHint TextHint = TextRenderingHintSystemDefault;
};

// A path: figures of lines and elliptical arcs; each piece joins the end of
// the one before it in its figure by a straight line.
struct GpPathPiece {
  bool Arc = false;
  REAL V[6] = {};  // line: x1 y1 x2 y2; arc: x y width height start sweep
};
struct GpPathFigure {
  std::vector<GpPathPiece> Pieces;
  bool Closed = false;
};
struct GpPath {
  GpFillMode Mode = FillModeAlternate;
  std::vector<GpPathFigure> Figures;
};

// The face of the font selected into the device context when it was made.
struct GpFont {
  VXFontFaceRef Face;
};

struct GpStringFormat {
  INT Attributes = 0;
  LANGID Language = 0;
};

namespace vxgdiplus {

enum class Kind { Graphics, Pen, Brush, Path, Font, StringFormat };

// The one lock of the library's objects; every entry holds it for its whole
// call (before GDI's own lock when it draws).
std::recursive_mutex& Lock();
// The table of live objects: a handle that was never made or is already
// deleted is refused.
void Add(const void* Object, Kind K);
bool Live(const void* Object, Kind K);
void Remove(const void* Object);
// Creating objects needs a started session.
bool Started();

// The call log: true when recording (then Log appends the line).
bool Recording();
void Log(std::string Line);

// Formatting of logged arguments: numbers shortest ("%g"), colours as
// eight hexadecimal digits, point lists in brackets.
std::string Num(double v);
std::string Hex(ARGB v);
std::string Points(const GpPoint* p, INT count);

}  // namespace vxgdiplus
