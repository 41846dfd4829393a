#pragma once
// System helpers: Windows version, remote session, display rotation,
// physical memory, GUID text, font style sets, small choices, and the
// optional system libraries bound by name (gradient fill, touch gestures).
// On this platform the screen facts are a fixed headless answer.

#include <cstdint>
#include <string>

#include "core/vxdefs.h"
#include "platform/win_guid.h"
#include "platform/win_logfont.h"

// Version of the running system mapped to the library's enumeration.
TVXOpSys VXGetOpSys();
// The mapping itself: PlatformId 1 (9x line) or 2 (NT line), major.minor.
TVXOpSys VXOpSysFromVersion(uint32_t PlatformId, uint32_t Major, uint32_t Minor);

// Orientation of the current display mode in degrees (0, 90, 180, 270).
int32_t VXDisplayRotation();
bool VXIsRemoteSession();

// Physical memory in bytes: available when Available, else total. The total is
// read once; the available figure is kept for a few hundred milliseconds.
int64_t VXPhysicalMemory(bool Available);
// Reads the available memory now (and keeps it for the calls above).
int64_t VXRefreshAvailableMemory();

bool VXGUIDEqual(const GUID& A, const GUID& B);
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", lower case.
std::string VXGUIDToStr(const GUID& G);
// Reads that form at its fixed positions; non-hex characters count as 0.
void VXStrToGUID(const std::string& S, GUID& G);

int32_t VXIfThen(bool Cond, int32_t A, int32_t B);
double VXIfThenFloat(bool Cond, double A, double B);

// Font style set of a logical font: bold from weight 700, italic, underline
// and strike-out from their bytes; the empty set for nullptr.
TFontStyles VXLogFontAStyles(const LOGFONTA* LogFont);
TFontStyles VXLogFontWStyles(const LOGFONTW* LogFont);
// Copies the integer and byte fields; the face name (Windows-1252) becomes UTF-16.
void VXLogFontAToW(const LOGFONTA& Source, LOGFONTW& Dest);

// "MSIMG32.DLL" with its GradientFill entry, loaded on first use; true when loaded.
bool VXLoadGradientFill();
void VXFreeGradientFill();

// "User32.dll" with the touch-gesture entries (library start-up / shut-down).
void VXLoadGestureAPI();
void VXFreeGestureAPI();
bool VXGesturesAvailable();
