#pragma once
// The GDI+ drawing library, loaded on demand by the user-interface
// components and kept while any of them lives (a use count). Canvases draw
// through it when it is loaded and the global setting UseGDIPlus is on;
// otherwise they draw through GDI. User-interface thread only.

#include "winui/win_types.h"

// One more use. The first use while the setting UseGDIPlus is on loads
// "gdiplus.dll", resolves its entry points (a missing one stays null) and
// starts it; when it cannot be loaded or started everything draws through
// GDI and nothing is reported.
void VXLoadGDIPlusLibrary();
// One use less; the last one shuts the library down and unloads it.
void VXFreeGDIPlusLibrary();
// The library is loaded (and started).
bool VXGDIPlusLoaded();
// The library is loaded and the setting UseGDIPlus is on.
bool VXGDIPlusEnabled();
// An entry point of the loaded library by its flat-API name; null when the
// library is not loaded or lacks it, or for a name the canvas does not use.
FARPROC VXGDIPlusEntry(const char* Name);

// The unit's slots in the library start-up and shut-down: start forgets any
// module handle and use count; stop does nothing.
void VXStartUpGDIPlusUnit();
void VXShutDownGDIPlusUnit();
