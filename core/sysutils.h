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
#include "winui/gdi.h"
#include "winui/win_gesture.h"

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

// The gesture entries bound by VXLoadGestureAPI (null while unavailable).
struct TVXGestureEntries {
  BOOL (*GetGestureInfo)(HGESTUREINFO, GESTUREINFO*) = nullptr;
  BOOL (*CloseGestureInfoHandle)(HGESTUREINFO) = nullptr;
  BOOL (*SetGestureConfig)(HWND, DWORD, UINT, GESTURECONFIG*, UINT) = nullptr;
  BOOL (*UnregisterTouchWindow)(HWND) = nullptr;
};
TVXGestureEntries VXGestureEntries();

// Scroll bars that may be flat: range, page and position, or only the range
// or the position; enabling arrows and showing a bar.
void VXSetScrollInfo(HWND Wnd, int Bar, int Min, int Max, int Page, int Pos, bool Redraw, bool Flat);
void VXSetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw, bool Flat);
void VXSetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw, bool Flat);
void VXEnableScrollBar(HWND Wnd, int Bar, UINT Arrows, bool Flat);
void VXShowScrollBar(HWND Wnd, int Bar, bool Show, bool Flat);

// The primary button (the left one, or the right one when the buttons are
// swapped) is down now.
bool VXIsPrimaryMouseButtonDown();

// Two-colour linear gradient over Rect (top-left Color1, bottom-right
// Color2; system colours resolved), vertical or horizontal, through the
// GradientFill entry of "MSIMG32.DLL"; false when the library or the entry
// is missing.
bool VXGradientFillRect(const RECT& Rect, HDC DC, TColor Color1, bool Vertical, TColor Color2);

// Places a dialog window: through the settings' DefDialogCenter when it is
// assigned; otherwise on the monitor of the active form, else of the main
// form, else on monitor 0, at left + (monitor width - window width) div 2,
// top + (monitor height - window height) div 3, keeping its size, z-order
// and activation.
void VXCenterDialog(HWND Wnd);

class TWinControl;
class TCustomImageList;
// Owner-draw of one item of a list box or combo box (on its Canvas) with a
// picture of an image list: the picture (ImageIndex taken as a signed
// 16-bit value; none when negative or without a list) at Rect's left + 2,
// centred in the item height, the text 5 pixels after it (4 from the left
// without one), centred too. Another control raises EVXException
// "Unsupported Control Type". When drawing fails the control leaves owner
// drawing (the standard drop-down or list style).
void VXDrawListItemWithImage(TWinControl* Control, const RECT& Rect, const std::string& Text, int32_t ImageIndex,
                             TCustomImageList* ImageList);

// Makes the current printer drop its stored device mode: selects the same
// printer again without one, keeping its copies, orientation and title.
void VXRefreshPrinter();
