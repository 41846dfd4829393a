// The drawing library "gdiplus.dll" that this window system carries built
// in: its start-up and shut-down entries, bound by name through
// LoadLibraryW / GetProcAddress (winui/win_module.h).
#pragma once
#include "winui/win_types.h"

enum GpStatus : int32_t {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  UnsupportedGdiplusVersion = 17,
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
