#pragma once
// TVXCanvas: the drawing surface of the viewers, the vector objects, the
// thumbnails, the small controls and the bitmap's own canvas. It wraps a
// platform canvas (not owned) and draws every figure through GDI+ when the
// canvas was asked to and GDI+ was enabled at its creation, so that lines
// and fills can be anti-aliased and semi-transparent; otherwise the same
// call goes to the platform canvas (GDI). A canvas created while GDI+ is not
// loaded draws through GDI for its whole life.
//
// TVXEmptyCanvas is a canvas over a private 24-bit platform bitmap, for
// measuring and laying out text without a window.
//
// User-interface thread only.

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/canvas_tools.h"
#include "gui/graphics.h"
#include "platform/win_geometry.h"
#include "winui/gdiplus.h"

class TVXBitmap;

// Passed to GDI+ as ordinal - 1 (invalid, default, high speed, high
// quality, none, anti-alias).
enum TVXCanvasSmoothingMode {
  vxsmInvalid,
  vxsmDefault,
  vxsmBestPerformance,
  vxsmBestRenderingQuality,
  vxsmNone,
  vxsmAntialias
};
enum TVXCanvasCompositingMode { vxCompositingModeSourceOver, vxCompositingModeSourceCopy };
enum TVXCanvasCompositingQuality {
  vxCompositingQualityDefault,
  vxCompositingQualityHighSpeed,
  vxCompositingQualityHighQuality,
  vxCompositingQualityGammaCorrected,
  vxCompositingQualityAssumeLinear
};

struct TVX2DPoint {
  double X = 0;
  double Y = 0;
};
using TVX2DPointArray = std::vector<TVX2DPoint>;

// Radians to degrees, as the arc and pie angles are converted.
constexpr double VXRadToDeg = 57.29577951308232;

class TVXCanvas {
 public:
  // Over Canvas (kept, not owned). With UseGDIPlus and GDI+ enabled, draws
  // through a GDI+ graphics object made from Canvas's device context (and
  // Bitmap's handle when given); raises EVXException "Cannot create
  // TVXCanvas. GdipCreateFromHDC failed." when none can be made. AntiAlias
  // sets the smoothing mode vxsmAntialias, otherwise vxsmBestPerformance.
  TVXCanvas(TCanvas* Canvas, bool AntiAlias, bool UseGDIPlus, TBitmap* Bitmap = nullptr);
  // Finishes the GDI+ drawing, then fires OnDestroy (the platform canvas
  // may go with it), then frees pen and brush.
  virtual ~TVXCanvas();
  TVXCanvas(const TVXCanvas&) = delete;
  TVXCanvas& operator=(const TVXCanvas&) = delete;

  // Through GDI+ only; a GDI canvas ignores it.
  void SetSmoothingMode(TVXCanvasSmoothingMode Value);

  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(TPoint Value) { MoveTo(Value.X, Value.Y); }
  TVXPen* Pen() const { return FPen.get(); }
  TVXBrush* Brush() const { return FBrush.get(); }
  // The platform canvas's device context.
  HDC Handle() const { return FCanvas->Handle(); }
  TFont* Font() const { return FCanvas->Font(); }
  TCanvas* GDICanvas() const { return FCanvas; }
  // True when this canvas draws through GDI+.
  bool UsesGDIPlus() const { return FUseGDIPlus; }
  // The bitmap of a region-of-interest canvas (not owned by the canvas).
  TVXBitmap* ROIBitmap() const { return FROIBitmap; }
  void SetROIBitmap(TVXBitmap* Value) { FROIBitmap = Value; }
  // A GDI+ image the canvas disposes of when destroyed.
  void SetImage(GpImage* Value) { FImage = Value; }

  // Fired with the canvas as sender while it is destroyed.
  TNotifyEvent OnDestroy;

  // ---- figures ----
  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  // A line that leaves the pen position alone.
  void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  // Lines from each point to the next; through GDI a polyline through the
  // points rounded to whole pixels.
  void DrawLinesPath(const TVX2DPointArray& Points);
  // Through GDI+ the rectangle's corners are ordered and it covers
  // (R - L - 1) x (B - T - 1) pixels; through GDI right and bottom are
  // exclusive.
  void FillRect(const TRect& Rect);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Rectangle(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  // Through GDI+ the rectangle is first adjusted for a pen wider or
  // thinner than 1 so that a small ellipse keeps room for its outline; an
  // ellipse whose rectangle then has no width or no height is not drawn
  // (GDI draws none either).
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Ellipse(const TRect& Rect) { Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  // Corners of X3 x Y3 pixels.
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
  void Polygon(std::span<const TPoint> Points);
  void Polyline(std::span<const TPoint> Points);
  // A pie in GDI+ terms (angles in degrees, clockwise); GDI draws nothing.
  void Pie(float X, float Y, float Width, float Height, float StartAngle, float SweepAngle);
  // A pie and an arc in GDI terms: the ellipse in (X1, Y1)-(X2, Y2), from
  // the ray through (X3, Y3) counter-clockwise to the ray through (X4, Y4).
  void Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);


  // ---- text (UTF-8) ----
  // The platform canvas's text in its font, also on a GDI+ canvas.
  void TextOut(int32_t X, int32_t Y, const std::string& Text);
  void TextOut2(int32_t X, int32_t Y, const std::string& Text) { TextOut(X, Y, Text); }
  // Text at (X, Y) clipped to Rect with the platform canvas's text flags;
  // the brush fills Rect first unless its style is bsClear. Right to left
  // (see TCanvas::CanvasOrientation) X is moved past the text's width.
  void TextRect(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text);
  // The same, never filling Rect.
  void TextRectEx(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text);
  // 0 x 0 when the device context cannot measure.
  TSize TextExtent(const std::string& Text);
  int32_t TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int32_t TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
  // The whole text laid out in BoundingRect: through GDI+ in the device
  // context's font with the brush, anti-aliased; through GDI the platform
  // text at the rectangle's top-left corner, clipped to it.
  void DrawText(const std::string& Text, const TRect& BoundingRect);

  // ---- compositing and transformation ----
  // Through GDI+ only; a GDI canvas ignores it.
  void SetCompositingMode(TVXCanvasCompositingMode Mode, TVXCanvasCompositingQuality Quality);
  // Degrees, clockwise; GDI+ only.
  void Rotate(double Angle);
  // Moves what is drawn by (dx, dy): GDI+ exactly, and the device context's
  // viewport origin by the truncated amounts (GDI drawing and text).
  void Translate(double dx, double dy);
  // Resets the GDI+ transformation (the viewport origin stays).
  void ResetTransform();

 protected:
  // The GDI+ graphics object is deleted (drawing done).
  void FinishGraphics();

 private:
  // Angles of an arc or pie given in GDI terms, in degrees.
  static void ArcAngles(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
                        int32_t Y4, float& Start, float& Sweep);
  static GpRectF ArcBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  // Arc (outline only) and Pie (outline, then filled), through GDI+ or the
  // platform canvas.
  void ArcOrPie(bool IsPie, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
                int32_t Y4);

  TVXCanvasSmoothingMode FSmoothingMode = vxsmInvalid;
  GpGraphics* FGraphics = nullptr;
  TCanvas* FCanvas = nullptr;
  std::unique_ptr<TVXPen> FPen;
  TPoint FPenPos{0, 0};
  std::unique_ptr<TVXBrush> FBrush;
  bool FUseGDIPlus = false;
  GpImage* FImage = nullptr;
  TVXBitmap* FROIBitmap = nullptr;
};

namespace vxcanvas_detail {
// Holds the empty canvas's bitmap so that it exists before the canvas over
// it is made and goes after it.
struct TVXEmptyCanvasBitmap {
  TVXEmptyCanvasBitmap();
  std::unique_ptr<TBitmap> FTempBitmap;
};
}  // namespace vxcanvas_detail

// A canvas over a private 24-bit platform bitmap, anti-aliased and through
// GDI+ when enabled.
class TVXEmptyCanvas : private vxcanvas_detail::TVXEmptyCanvasBitmap, public TVXCanvas {
 public:
  TVXEmptyCanvas();
  ~TVXEmptyCanvas() override;
};

// The viewer's shading outside a soft-crop rectangle: nothing when L >= R or
// T >= B; otherwise fills, through a TVXCanvas over Canvas with a solid
// black brush of transparency 150, the rectangles (X, Y)-(L + 2, Y + H + 1),
// (R, Y)-(X + W + 1, Y + H + 1), (L + 1, Y)-(R + 1, T + 2) and
// (L + 1, B + 1)-(R + 1, Y + H + 1) as the canvas's FillRect takes them
// (through GDI+ right and bottom lie one pixel further in, so the four do
// not overlap). The platform brush keeps its colour and style.
void VXShadeOutsideRect(TCanvas* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t L, int32_t T,
                        int32_t R, int32_t B);
