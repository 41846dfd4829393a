// The drawing library "gdiplus.dll" that this window system carries built
// in: its start-up and shut-down and the flat drawing entries, bound by name
// through LoadLibraryW / GetProcAddress (winui/win_module.h). Drawing goes
// through cairo onto the bitmap selected into the device context.
#pragma once
#include <string>
#include <vector>

#include "platform/win_locale.h"
#include "winui/win_types.h"

enum GpStatus : int32_t {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  ValueOverflow = 11,
  FontFamilyNotFound = 14,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
};

using DebugEventProc = void (*)(int32_t level, char* message);

struct GdiplusStartupInput {
  UINT GdiplusVersion = 1;
  DebugEventProc DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};

// Filled only when the input suppresses the background thread.
struct GdiplusStartupOutput {
  void* NotificationHook = nullptr;
  void* NotificationUnhook = nullptr;
};

// Starts a session and stores its token. Version 1 only; Ok or an error.
GpStatus GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
// Ends the session of the token; an unknown token is ignored.
void GdiplusShutdown(ULONG_PTR token);

namespace VXGdiPlus {
// Test driver: while set, GdiplusStartup fails with GenericError.
void SetStartupFails(bool Fails);
// Sessions started and not yet shut down.
int32_t OpenSessions();
// Test driver: while recording, every flat drawing call is logged with its
// arguments, e.g. "GdipFillRectangle(10,10,9,9)" (numbers as %g, colours as
// eight hexadecimal digits, point lists as "[(x,y),...]", strings quoted,
// objects left out), and still draws. Turning it off discards the log.
void SetRecording(bool On);
// The calls logged since the last call; clears the log.
std::vector<std::string> Recorded();
// Objects made by the flat entries and not yet deleted (graphics, pens,
// brushes, paths, fonts, string formats).
int32_t LiveObjects();
}  // namespace VXGdiPlus

// Types of the flat drawing entries. Objects are opaque handles; colours
// are 32-bit ARGB (alpha in the top byte).
using ARGB = uint32_t;
using REAL = float;
struct GpPen;
struct GpBrush;
enum GpUnit : int32_t { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2 };
enum GpDashStyle : int32_t { DashStyleSolid = 0, DashStyleDash, DashStyleDot, DashStyleDashDot, DashStyleDashDotDot };
enum GpLineJoin : int32_t { LineJoinMiter = 0, LineJoinBevel, LineJoinRound, LineJoinMiterClipped };
enum GpHatchStyle : int32_t {
  HatchStyleHorizontal = 0,
  HatchStyleVertical,
  HatchStyleForwardDiagonal,
  HatchStyleBackwardDiagonal,
  HatchStyleCross,
  HatchStyleDiagonalCross
};

using GdipCreatePen1Proc = GpStatus (*)(ARGB color, REAL width, GpUnit unit, GpPen** pen);
using GdipDeletePenProc = GpStatus (*)(GpPen* pen);
using GdipSetPenColorProc = GpStatus (*)(GpPen* pen, ARGB color);
using GdipSetPenWidthProc = GpStatus (*)(GpPen* pen, REAL width);
using GdipSetPenDashStyleProc = GpStatus (*)(GpPen* pen, GpDashStyle style);
using GdipSetPenLineJoinProc = GpStatus (*)(GpPen* pen, GpLineJoin join);
using GdipCreateSolidFillProc = GpStatus (*)(ARGB color, GpBrush** brush);
using GdipCreateHatchBrushProc = GpStatus (*)(GpHatchStyle style, ARGB fore, ARGB back, GpBrush** brush);
using GdipDeleteBrushProc = GpStatus (*)(GpBrush* brush);

// Graphics objects, paths, fonts, string formats and images.
struct GpGraphics;
struct GpPath;
struct GpFont;
struct GpStringFormat;
struct GpImage;

struct GpPoint {
  INT X = 0;
  INT Y = 0;
};

struct GpRectF {
  REAL X = 0;
  REAL Y = 0;
  REAL Width = 0;
  REAL Height = 0;
};

enum GpSmoothingMode : int32_t {
  SmoothingModeInvalid = -1,
  SmoothingModeDefault = 0,
  SmoothingModeHighSpeed = 1,
  SmoothingModeHighQuality = 2,
  SmoothingModeNone = 3,
  SmoothingModeAntiAlias = 4
};
enum GpMatrixOrder : int32_t { MatrixOrderPrepend = 0, MatrixOrderAppend = 1 };
enum GpCompositingMode : int32_t { CompositingModeSourceOver = 0, CompositingModeSourceCopy = 1 };
enum GpCompositingQuality : int32_t {
  CompositingQualityInvalid = -1,
  CompositingQualityDefault = 0,
  CompositingQualityHighSpeed = 1,
  CompositingQualityHighQuality = 2,
  CompositingQualityGammaCorrected = 3,
  CompositingQualityAssumeLinear = 4
};
enum GpTextRenderingHint : int32_t {
  TextRenderingHintSystemDefault = 0,
  TextRenderingHintSingleBitPerPixelGridFit = 1,
  TextRenderingHintSingleBitPerPixel = 2,
  TextRenderingHintAntiAliasGridFit = 3,
  TextRenderingHintAntiAlias = 4,
  TextRenderingHintClearTypeGridFit = 5
};
enum GpFillMode : int32_t { FillModeAlternate = 0, FillModeWinding = 1 };

// Pens and brushes.
GpStatus GdipCreatePen1(ARGB color, REAL width, GpUnit unit, GpPen** pen);
GpStatus GdipDeletePen(GpPen* pen);
GpStatus GdipSetPenColor(GpPen* pen, ARGB color);
GpStatus GdipSetPenWidth(GpPen* pen, REAL width);
GpStatus GdipSetPenDashStyle(GpPen* pen, GpDashStyle style);
GpStatus GdipSetPenLineJoin(GpPen* pen, GpLineJoin join);
GpStatus GdipCreateSolidFill(ARGB color, GpBrush** brush);
GpStatus GdipCreateHatchBrush(GpHatchStyle style, ARGB fore, ARGB back, GpBrush** brush);
GpStatus GdipDeleteBrush(GpBrush* brush);

// Graphics over a device context. The device handle of the second form is
// kept but not used: drawing goes to the DC's selected bitmap.
GpStatus GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);
GpStatus GdipCreateFromHDC2(HDC hdc, HANDLE device, GpGraphics** graphics);
GpStatus GdipDeleteGraphics(GpGraphics* graphics);
GpStatus GdipSetSmoothingMode(GpGraphics* graphics, GpSmoothingMode mode);
GpStatus GdipSetCompositingMode(GpGraphics* graphics, GpCompositingMode mode);
GpStatus GdipSetCompositingQuality(GpGraphics* graphics, GpCompositingQuality quality);
GpStatus GdipSetTextRenderingHint(GpGraphics* graphics, GpTextRenderingHint hint);
// Angles in degrees, clockwise on the screen.
GpStatus GdipRotateWorldTransform(GpGraphics* graphics, REAL angle, GpMatrixOrder order);
GpStatus GdipTranslateWorldTransform(GpGraphics* graphics, REAL dx, REAL dy, GpMatrixOrder order);
GpStatus GdipResetWorldTransform(GpGraphics* graphics);

// Figures. Rectangles are (x, y, width, height); arc angles in degrees,
// clockwise from the positive x axis, measured as the angle of the ray from
// the centre of the ellipse. Pixel centres lie on whole coordinates: without
// smoothing, FillRectangle(10, 10, 9, 9) covers exactly the 9 x 9 pixels
// from (10, 10) and DrawRectangle of the same figures the outline of 10 x 10
// pixels around them; smoothed, the edges of such a rectangle are half
// covered. Pens draw at least one pixel wide, with flat ends; dash and gap
// lengths are multiples of the width. Hatches are aligned with the device.
// Rectangles of negative width or height draw nothing; ellipses, arcs and
// pies over them are taken from the other corner. Figures reaching beyond
// 2^22 pixels from the device's origin are refused (ValueOverflow).
GpStatus GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
GpStatus GdipDrawLinesI(GpGraphics* graphics, GpPen* pen, const GpPoint* points, INT count);
GpStatus GdipDrawRectangle(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height);
GpStatus GdipFillRectangle(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height);
GpStatus GdipDrawEllipse(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height);
GpStatus GdipFillEllipse(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height);
GpStatus GdipDrawPolygonI(GpGraphics* graphics, GpPen* pen, const GpPoint* points, INT count);
GpStatus GdipFillPolygonI(GpGraphics* graphics, GpBrush* brush, const GpPoint* points, INT count, GpFillMode fillMode);
GpStatus GdipDrawPie(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                     REAL sweepAngle);
GpStatus GdipFillPie(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                     REAL sweepAngle);
GpStatus GdipDrawArc(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                     REAL sweepAngle);

// Paths.
GpStatus GdipCreatePath(GpFillMode brushMode, GpPath** path);
GpStatus GdipAddPathLine(GpPath* path, REAL x1, REAL y1, REAL x2, REAL y2);
GpStatus GdipAddPathArc(GpPath* path, REAL x, REAL y, REAL width, REAL height, REAL startAngle, REAL sweepAngle);
GpStatus GdipClosePathFigure(GpPath* path);
GpStatus GdipDrawPath(GpGraphics* graphics, GpPen* pen, GpPath* path);
GpStatus GdipFillPath(GpGraphics* graphics, GpBrush* brush, GpPath* path);
GpStatus GdipDeletePath(GpPath* path);

// Text. Strings are UTF-8 here; length in bytes, -1 up to the terminating
// zero. A string is laid out from the top left of the layout rectangle,
// with a margin of a sixth of the em on either side, lines broken at line
// feeds and wrapped at spaces to the rectangle's width, and clipped to the
// rectangle; a rectangle of no width or height neither wraps nor clips.
// The text rendering hint chooses smoothed glyphs or not (the system
// default: the font's quality).
constexpr INT StringFormatFlagsNoWrap = 0x1000;
constexpr INT StringFormatFlagsNoClip = 0x4000;
GpStatus GdipCreateFontFromDC(HDC hdc, GpFont** font);
GpStatus GdipDeleteFont(GpFont* font);
GpStatus GdipCreateStringFormat(INT formatAttributes, LANGID language, GpStringFormat** format);
GpStatus GdipDeleteStringFormat(GpStringFormat* format);
GpStatus GdipDrawString(GpGraphics* graphics, LPCWSTR string, INT length, const GpFont* font,
                        const GpRectF* layoutRect, const GpStringFormat* stringFormat, const GpBrush* brush);

// Images (none is made here; the canvas only disposes of one it was given).
GpStatus GdipDisposeImage(GpImage* image);

using GdipCreateFromHDCProc = GpStatus (*)(HDC hdc, GpGraphics** graphics);
using GdipCreateFromHDC2Proc = GpStatus (*)(HDC hdc, HANDLE device, GpGraphics** graphics);
using GdipDeleteGraphicsProc = GpStatus (*)(GpGraphics* graphics);
using GdipSetSmoothingModeProc = GpStatus (*)(GpGraphics* graphics, GpSmoothingMode mode);
using GdipSetCompositingModeProc = GpStatus (*)(GpGraphics* graphics, GpCompositingMode mode);
using GdipSetCompositingQualityProc = GpStatus (*)(GpGraphics* graphics, GpCompositingQuality quality);
using GdipSetTextRenderingHintProc = GpStatus (*)(GpGraphics* graphics, GpTextRenderingHint hint);
using GdipRotateWorldTransformProc = GpStatus (*)(GpGraphics* graphics, REAL angle, GpMatrixOrder order);
using GdipTranslateWorldTransformProc = GpStatus (*)(GpGraphics* graphics, REAL dx, REAL dy, GpMatrixOrder order);
using GdipResetWorldTransformProc = GpStatus (*)(GpGraphics* graphics);
using GdipDrawLineProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
using GdipDrawLinesIProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, const GpPoint* points, INT count);
using GdipDrawRectangleProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height);
using GdipFillRectangleProc = GpStatus (*)(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width,
                                           REAL height);
using GdipDrawEllipseProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height);
using GdipFillEllipseProc = GpStatus (*)(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width,
                                         REAL height);
using GdipDrawPolygonIProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, const GpPoint* points, INT count);
using GdipFillPolygonIProc = GpStatus (*)(GpGraphics* graphics, GpBrush* brush, const GpPoint* points, INT count,
                                          GpFillMode fillMode);
using GdipDrawPieProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height,
                                     REAL startAngle, REAL sweepAngle);
using GdipFillPieProc = GpStatus (*)(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height,
                                     REAL startAngle, REAL sweepAngle);
using GdipDrawArcProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height,
                                     REAL startAngle, REAL sweepAngle);
using GdipCreatePathProc = GpStatus (*)(GpFillMode brushMode, GpPath** path);
using GdipAddPathLineProc = GpStatus (*)(GpPath* path, REAL x1, REAL y1, REAL x2, REAL y2);
using GdipAddPathArcProc = GpStatus (*)(GpPath* path, REAL x, REAL y, REAL width, REAL height, REAL startAngle,
                                        REAL sweepAngle);
using GdipClosePathFigureProc = GpStatus (*)(GpPath* path);
using GdipDrawPathProc = GpStatus (*)(GpGraphics* graphics, GpPen* pen, GpPath* path);
using GdipFillPathProc = GpStatus (*)(GpGraphics* graphics, GpBrush* brush, GpPath* path);
using GdipDeletePathProc = GpStatus (*)(GpPath* path);
using GdipCreateFontFromDCProc = GpStatus (*)(HDC hdc, GpFont** font);
using GdipDeleteFontProc = GpStatus (*)(GpFont* font);
using GdipCreateStringFormatProc = GpStatus (*)(INT formatAttributes, LANGID language, GpStringFormat** format);
using GdipDeleteStringFormatProc = GpStatus (*)(GpStringFormat* format);
using GdipDrawStringProc = GpStatus (*)(GpGraphics* graphics, LPCWSTR string, INT length, const GpFont* font,
                                        const GpRectF* layoutRect, const GpStringFormat* stringFormat,
                                        const GpBrush* brush);
using GdipDisposeImageProc = GpStatus (*)(GpImage* image);
