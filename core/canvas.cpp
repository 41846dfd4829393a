#include "core/canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/gdiplus.h"
#include "core/geometry.h"
#include "core/vxdefs.h"
#include "winui/gdi_text.h"

namespace {

template <class P>
P Entry(const char* Name) {
  return reinterpret_cast<P>(VXGDIPlusEntry(Name));
}

// Calls a flat entry when the library still has it; results are not looked
// at (a failed figure simply does not appear).
#define VX_GDIP(name, ...)                                 \
  do {                                                     \
    if (const auto f_ = Entry<name##Proc>(#name)) f_(__VA_ARGS__); \
  } while (0)

// Trunc of a double kept within the 32-bit range (NaN gives 0).
int32_t TruncInt(double v) {
  if (!(v == v)) return 0;
  return int32_t(std::clamp(v, -2147483648.0, 2147483647.0));
}

// Round half to even of a double kept within the 32-bit range.
int32_t RoundInt(double v) { return TruncInt(std::nearbyint(v)); }

std::vector<GpPoint> GpPoints(std::span<const TPoint> Points) {
  std::vector<GpPoint> p(Points.size());
  for (size_t i = 0; i < Points.size(); ++i) p[i] = GpPoint{Points[i].X, Points[i].Y};
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life

TVXCanvas::TVXCanvas(TCanvas* Canvas, bool AntiAlias, bool UseGDIPlus, TBitmap* Bitmap) : FCanvas(Canvas) {
  if (!Canvas) throw EVXException("Cannot create TVXCanvas without a canvas");
  FPen = std::make_unique<TVXPen>(Canvas->Pen());
  FBrush = std::make_unique<TVXBrush>(Canvas->Brush());
  FUseGDIPlus = UseGDIPlus && VXGDIPlusEnabled();
  if (FUseGDIPlus) {
    GpGraphics* g = nullptr;
    const HDC dc = Canvas->Handle();
    if (Bitmap) {
      if (const auto f = Entry<GdipCreateFromHDC2Proc>("GdipCreateFromHDC2")) f(dc, Bitmap->Handle(), &g);
    } else {
      if (const auto f = Entry<GdipCreateFromHDCProc>("GdipCreateFromHDC")) f(dc, &g);
    }
    if (!g) {
      FBrush.reset();
      FPen.reset();
      throw EVXException("Cannot create TVXCanvas. GdipCreateFromHDC failed.");
    }
    FGraphics = g;
  }
  SetSmoothingMode(AntiAlias ? vxsmAntialias : vxsmBestPerformance);
}

TVXCanvas::~TVXCanvas() {
  // The graphics object goes first: whoever listens to OnDestroy may free
  // the surface it draws on (a region-of-interest canvas frees its bitmap,
  // which merges what was drawn).
  FinishGraphics();
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      // Nothing can be reported from a destructor.
    }
  }
  FBrush.reset();
  FPen.reset();
}

void TVXCanvas::FinishGraphics() {
  // Objects of a library that was unloaded meanwhile are gone with it.
  if (FUseGDIPlus && VXGDIPlusLoaded()) {
    if (FImage) VX_GDIP(GdipDisposeImage, FImage);
    if (FGraphics) VX_GDIP(GdipDeleteGraphics, FGraphics);
  }
  FImage = nullptr;
  FGraphics = nullptr;
}

void TVXCanvas::SetSmoothingMode(TVXCanvasSmoothingMode Value) {
  FSmoothingMode = Value;
  if (FGraphics) VX_GDIP(GdipSetSmoothingMode, FGraphics, GpSmoothingMode(int32_t(Value) - 1));
}

// ---------------------------------------------------------------------------
// Lines

void TVXCanvas::MoveTo(int32_t X, int32_t Y) {
  FPenPos = TPoint{X, Y};
  if (!FUseGDIPlus) FCanvas->MoveTo(X, Y);
}

void TVXCanvas::LineTo(int32_t X, int32_t Y) {
  if (FUseGDIPlus) {
    if (FGraphics)
      VX_GDIP(GdipDrawLine, FGraphics, FPen->GHandle(), REAL(FPenPos.X), REAL(FPenPos.Y), REAL(X), REAL(Y));
  } else {
    FCanvas->LineTo(X, Y);
  }
  FPenPos = TPoint{X, Y};
}

void TVXCanvas::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (FUseGDIPlus) {
    if (FGraphics) VX_GDIP(GdipDrawLine, FGraphics, FPen->GHandle(), REAL(X1), REAL(Y1), REAL(X2), REAL(Y2));
  } else {
    const TPoint p[2] = {TPoint{X1, Y1}, TPoint{X2, Y2}};
    FCanvas->Polygon(p);
  }
}

void TVXCanvas::DrawLinesPath(const TVX2DPointArray& Points) {
  if (Points.size() < 2) return;
  if (FUseGDIPlus) {
    if (!FGraphics) return;
    GpPath* path = nullptr;
    VX_GDIP(GdipCreatePath, FillModeAlternate, &path);
    if (!path) return;
    for (size_t i = 0; i + 1 < Points.size(); ++i)
      VX_GDIP(GdipAddPathLine, path, REAL(Points[i].X), REAL(Points[i].Y), REAL(Points[i + 1].X),
              REAL(Points[i + 1].Y));
    VX_GDIP(GdipDrawPath, FGraphics, FPen->GHandle(), path);
    VX_GDIP(GdipDeletePath, path);
  } else {
    std::vector<TPoint> p(Points.size());
    for (size_t i = 0; i < Points.size(); ++i) p[i] = TPoint{RoundInt(Points[i].X), RoundInt(Points[i].Y)};
    FCanvas->Polyline(p);
  }
}

// ---------------------------------------------------------------------------
// Rectangles and ellipses

void TVXCanvas::FillRect(const TRect& Rect) {
  if (!FUseGDIPlus) {
    FCanvas->FillRect(Rect);
    return;
  }
  if (!FGraphics) return;
  int32_t l = Rect.Left, t = Rect.Top, r = Rect.Right, b = Rect.Bottom;
  VXOrderCorners(l, t, r, b);
  VX_GDIP(GdipFillRectangle, FGraphics, FBrush->GHandle(), REAL(l), REAL(t), REAL(int64_t(r) - l - 1),
          REAL(int64_t(b) - t - 1));
}

void TVXCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!FUseGDIPlus) {
    FCanvas->Rectangle(X1, Y1, X2, Y2);
    return;
  }
  if (!FGraphics) return;
  VXOrderCorners(X1, Y1, X2, Y2);
  const REAL w = REAL(int64_t(X2) - X1 - 1), h = REAL(int64_t(Y2) - Y1 - 1);
  VX_GDIP(GdipFillRectangle, FGraphics, FBrush->GHandle(), REAL(X1), REAL(Y1), w, h);
  VX_GDIP(GdipDrawRectangle, FGraphics, FPen->GHandle(), REAL(X1), REAL(Y1), w, h);
}

void TVXCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!FUseGDIPlus) {
    FCanvas->Ellipse(X1, Y1, X2, Y2);
    return;
  }
  if (!FGraphics) return;
  // A wide pen straddles the outline: the rectangle is adjusted so that a
  // small ellipse keeps room for it. 64-bit so that no step overflows.
  int64_t l = X1, t = Y1, r = X2, b = Y2;
  const float pw = FPen->Width();
  if (pw != 1.0f) {
    const int64_t h = RoundInt(pw / 2);
    if (l > r) l += h;
    if (l <= r && h >= r - l - 1) r = l + h;
    if (l > r && h >= l - r - 1) r = l - h;
    if (t > b) t += h;
    if (t <= b && h >= b - t - 1) b = t + h;
    if (t > b && h >= t - b - 1) b = t - h;
    if (l == r - h) l -= h;
    if (t == b - h) t -= h;
    if (l > r) {
      l -= h;
      r -= h - 1;
    }
  }
  // An ellipse in an empty rectangle (no width or no height) is not drawn,
  // as GDI draws none.
  if (l == r || t == b) return;
  const REAL w = REAL(r - l - 1), h = REAL(b - t - 1);
  VX_GDIP(GdipFillEllipse, FGraphics, FBrush->GHandle(), REAL(l), REAL(t), w, h);
  VX_GDIP(GdipDrawEllipse, FGraphics, FPen->GHandle(), REAL(l), REAL(t), w, h);
}

void TVXCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  if (!FUseGDIPlus) {
    FCanvas->RoundRect(X1, Y1, X2, Y2, X3, Y3);
    return;
  }
  if (!FGraphics) return;
  VXOrderCorners(X1, Y1, X2, Y2);
  int64_t W = int64_t(X2) - X1, H = int64_t(Y2) - Y1;
  int64_t cw = std::min<int64_t>(X3, W), ch = std::min<int64_t>(Y3, H);
  GpPath* path = nullptr;
  VX_GDIP(GdipCreatePath, FillModeAlternate, &path);
  if (!path) return;
  VX_GDIP(GdipAddPathArc, path, REAL(X1), REAL(Y1), REAL(cw), REAL(ch), REAL(180), REAL(90));
  // Corners of 20 are drawn one pixel larger from here on, the figure one
  // pixel narrower, so that they match the platform's round rectangle.
  if (cw == 20) {
    cw = 21;
    --W;
  }
  if (ch == 20) {
    ch = 21;
    --H;
  }
  const REAL right = REAL(X1 + W - std::min<int64_t>(X3, W) - 1);
  const REAL bottom = REAL(Y1 + H - std::min<int64_t>(Y3, H) - 1);
  VX_GDIP(GdipAddPathArc, path, right, REAL(Y1), REAL(cw), REAL(ch), REAL(270), REAL(90));
  VX_GDIP(GdipAddPathArc, path, right, bottom, REAL(cw), REAL(ch), REAL(0), REAL(90));
  VX_GDIP(GdipAddPathArc, path, REAL(X1), bottom, REAL(cw), REAL(ch), REAL(90), REAL(90));
  VX_GDIP(GdipClosePathFigure, path);
  VX_GDIP(GdipFillPath, FGraphics, FBrush->GHandle(), path);
  VX_GDIP(GdipDrawPath, FGraphics, FPen->GHandle(), path);
  VX_GDIP(GdipDeletePath, path);
}

// ---------------------------------------------------------------------------
// Polygons, pies and arcs

void TVXCanvas::Polygon(std::span<const TPoint> Points) {
  if (!FUseGDIPlus) {
    FCanvas->Polygon(Points);
    return;
  }
  if (!FGraphics || Points.empty()) return;
  const std::vector<GpPoint> p = GpPoints(Points);
  VX_GDIP(GdipDrawPolygonI, FGraphics, FPen->GHandle(), p.data(), INT(p.size()));
  VX_GDIP(GdipFillPolygonI, FGraphics, FBrush->GHandle(), p.data(), INT(p.size()), FillModeAlternate);
}

void TVXCanvas::Polyline(std::span<const TPoint> Points) {
  if (!FUseGDIPlus) {
    FCanvas->Polyline(Points);
    return;
  }
  if (!FGraphics || Points.empty()) return;
  const std::vector<GpPoint> p = GpPoints(Points);
  VX_GDIP(GdipDrawLinesI, FGraphics, FPen->GHandle(), p.data(), INT(p.size()));
}

void TVXCanvas::Pie(float X, float Y, float Width, float Height, float StartAngle, float SweepAngle) {
  if (!FUseGDIPlus || !FGraphics) return;
  VX_GDIP(GdipDrawPie, FGraphics, FPen->GHandle(), X, Y, Width, Height, StartAngle, SweepAngle);
  VX_GDIP(GdipFillPie, FGraphics, FBrush->GHandle(), X, Y, Width, Height, StartAngle, SweepAngle);
}

// GDI goes counter-clockwise from the start ray to the end ray; GDI+
// measures clockwise, so the same arc starts at the end ray. GDI sees its
// rays from the box's centre in whole pixels, ((X1 + X2) div 2,
// (Y1 + Y2) div 2); the ellipse GDI+ draws (ArcBox) has its centre half a
// pixel up and left of that, so each angle is taken from that centre to
// where the GDI ray meets the ellipse: near a flat side of the ellipse the
// half pixel would otherwise move the arc's ends by several pixels. Equal
// rays give the whole ellipse, as in GDI.
void TVXCanvas::ArcAngles(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
                          int32_t Y4, float& Start, float& Sweep) {
  VXOrderCorners(X1, Y1, X2, Y2);
  const int32_t cx = int32_t((int64_t(X1) + X2) / 2), cy = int32_t((int64_t(Y1) + Y2) / 2);
  const double ex = (double(X1) + X2 - 1) / 2, ey = (double(Y1) + Y2 - 1) / 2;  // GDI+ ellipse centre
  const double ax = (double(X2) - X1 - 1) / 2, ay = (double(Y2) - Y1 - 1) / 2;  // and half axes
  // Clockwise angle in degrees (0..360) of the point where the ray from the
  // GDI centre through (px, py) meets the ellipse, seen from its centre.
  auto angle = [&](int32_t px, int32_t py, double& deg) {
    const double dx = double(px) - cx, dy = double(py) - cy;
    if (!(ax > 0 && ay > 0) || (dx == 0 && dy == 0)) return false;
    const double ox = (cx - ex) / ax, oy = (cy - ey) / ay, ux = dx / ax, uy = dy / ay;
    const double A = ux * ux + uy * uy, B = 2 * (ox * ux + oy * uy), C = ox * ox + oy * oy - 1;
    const double disc = B * B - 4 * A * C;
    if (!(disc >= 0)) return false;
    const double t = (-B + std::sqrt(disc)) / (2 * A);
    deg = std::atan2(cy + t * dy - ey, cx + t * dx - ex) * VXRadToDeg;
    if (deg < 0) deg += 360;
    return true;
  };
  double s3 = 0, s4 = 0;
  if (angle(X3, Y3, s3) && angle(X4, Y4, s4)) {
    double sweep = s3 - s4;  // counter-clockwise from the start ray
    if (sweep <= 0) sweep += 360;
    Start = float(s4);
    Sweep = float(sweep);
    return;
  }
  // A box without inside or a ray from its very centre: the plain angles.
  Start = float(-VXPointAngle(cx, cy, X4, Y4) * VXRadToDeg);
  Sweep = float(VXSweepAngle(X3, Y3, cx, cy, X4, Y4) * VXRadToDeg);
}

// The ellipse of a GDI arc or pie lies in its rectangle with the right and
// bottom edges excluded, as for Ellipse: the same (R - L - 1) x (B - T - 1)
// outline through GDI+.
GpRectF TVXCanvas::ArcBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  VXOrderCorners(X1, Y1, X2, Y2);
  return GpRectF{REAL(X1), REAL(Y1), REAL(int64_t(X2) - X1 - 1), REAL(int64_t(Y2) - Y1 - 1)};
}

void TVXCanvas::ArcOrPie(bool IsPie, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3,
                         int32_t X4, int32_t Y4) {
  if (!FUseGDIPlus) {
    if (IsPie)
      FCanvas->Pie(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    else
      FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    return;
  }
  if (!FGraphics) return;
  float start = 0, sweep = 0;
  ArcAngles(X1, Y1, X2, Y2, X3, Y3, X4, Y4, start, sweep);
  GpRectF b = ArcBox(X1, Y1, X2, Y2);
  if (!IsPie) {
    VX_GDIP(GdipDrawArc, FGraphics, FPen->GHandle(), b.X, b.Y, b.Width, b.Height, start, sweep);
    return;
  }
  VX_GDIP(GdipDrawPie, FGraphics, FPen->GHandle(), b.X, b.Y, b.Width, b.Height, start, sweep);
  VX_GDIP(GdipFillPie, FGraphics, FBrush->GHandle(), b.X, b.Y, b.Width, b.Height, start, sweep);
}

void TVXCanvas::Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  ArcOrPie(true, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}

void TVXCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  ArcOrPie(false, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}

// ---------------------------------------------------------------------------
// Text

void TVXCanvas::TextOut(int32_t X, int32_t Y, const std::string& Text) { FCanvas->TextOut(X, Y, Text); }

void TVXCanvas::TextRect(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text) {
  FCanvas->TextRect(Rect, X, Y, Text);
}

void TVXCanvas::TextRectEx(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text) {
  const int32_t width = FCanvas->TextWidth(Text);  // also puts the font into the device context
  if (FCanvas->CanvasOrientation() == coRightToLeft) X += width + 1;
  const RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  ExtTextOutW(FCanvas->Handle(), X, Y, UINT(FCanvas->TextFlags()) | ETO_CLIPPED, &r, Text.c_str(), int(Text.size()),
              nullptr);
}

TSize TVXCanvas::TextExtent(const std::string& Text) { return FCanvas->TextExtent(Text); }

void TVXCanvas::DrawText(const std::string& Text, const TRect& BoundingRect) {
  if (!FUseGDIPlus) {
    TextRectEx(BoundingRect, BoundingRect.Left, BoundingRect.Top, Text);
    return;
  }
  if (!FGraphics) return;
  FCanvas->TextExtent(std::string());  // the platform font into the device context
  VX_GDIP(GdipSetTextRenderingHint, FGraphics, TextRenderingHintAntiAliasGridFit);
  GpFont* font = nullptr;
  VX_GDIP(GdipCreateFontFromDC, FCanvas->Handle(), &font);
  GpStringFormat* format = nullptr;
  VX_GDIP(GdipCreateStringFormat, 0, LANGID(0), &format);
  if (font && format) {
    const GpRectF layout{REAL(BoundingRect.Left), REAL(BoundingRect.Top),
                         REAL(int64_t(BoundingRect.Right) - BoundingRect.Left + 1),
                         REAL(int64_t(BoundingRect.Bottom) - BoundingRect.Top + 1)};
    VX_GDIP(GdipDrawString, FGraphics, Text.c_str(), INT(Text.size()), font, &layout, format, FBrush->GHandle());
  }
  if (format) VX_GDIP(GdipDeleteStringFormat, format);
  if (font) VX_GDIP(GdipDeleteFont, font);
}

// ---------------------------------------------------------------------------
// Compositing and transformation

void TVXCanvas::SetCompositingMode(TVXCanvasCompositingMode Mode, TVXCanvasCompositingQuality Quality) {
  if (!FUseGDIPlus || !FGraphics) return;
  VX_GDIP(GdipSetCompositingMode, FGraphics, GpCompositingMode(Mode));
  VX_GDIP(GdipSetCompositingQuality, FGraphics, GpCompositingQuality(Quality));
}

void TVXCanvas::Rotate(double Angle) {
  if (FUseGDIPlus && FGraphics) VX_GDIP(GdipRotateWorldTransform, FGraphics, REAL(Angle), MatrixOrderPrepend);
}

void TVXCanvas::Translate(double dx, double dy) {
  if (FUseGDIPlus && FGraphics)
    VX_GDIP(GdipTranslateWorldTransform, FGraphics, REAL(dx), REAL(dy), MatrixOrderPrepend);
  OffsetViewportOrgEx(FCanvas->Handle(), TruncInt(dx), TruncInt(dy), nullptr);
}

void TVXCanvas::ResetTransform() {
  if (FUseGDIPlus && FGraphics) VX_GDIP(GdipResetWorldTransform, FGraphics);
}

// ---------------------------------------------------------------------------
// The empty canvas

vxcanvas_detail::TVXEmptyCanvasBitmap::TVXEmptyCanvasBitmap() : FTempBitmap(std::make_unique<TBitmap>()) {
  FTempBitmap->SetPixelFormat(pf24bit);
}

TVXEmptyCanvas::TVXEmptyCanvas() : TVXCanvas(FTempBitmap->Canvas(), true, true, nullptr) {}

TVXEmptyCanvas::~TVXEmptyCanvas() = default;

// ---------------------------------------------------------------------------

void VXShadeOutsideRect(TCanvas* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t L, int32_t T,
                        int32_t R, int32_t B) {
  if (!Canvas || L >= R || T >= B) return;
  // The caller's brush gets its colour and style back.
  TBrush* platform = Canvas->Brush();
  const TColor savedColor = platform->Color();
  const TBrushStyle savedStyle = platform->Style();
  TVXCanvas c(Canvas, false, true, nullptr);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetColor(clBlack);
  c.Brush()->SetTransparency(150);
  c.FillRect(TRect{X, Y, L + 2, Y + H + 1});
  c.FillRect(TRect{R, Y, X + W + 1, Y + H + 1});
  c.FillRect(TRect{L + 1, Y, R + 1, T + 2});
  c.FillRect(TRect{L + 1, B + 1, R + 1, Y + H + 1});
  platform->SetColor(savedColor);
  platform->SetStyle(savedStyle);
}
