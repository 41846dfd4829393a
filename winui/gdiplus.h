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
