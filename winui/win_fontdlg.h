// The font dialog in the shape of the system's: a start font (logical font
// and colour), OK or cancel. Headless it answers cancel and changes
// nothing; a form (or a test) installs a handler that shows the dialog and
// fills in the answer.
#pragma once
#include <functional>

#include "platform/win_logfont.h"
#include "winui/win_types.h"

constexpr DWORD CF_SCREENFONTS = 0x00000001;
constexpr DWORD CF_INITTOLOGFONTSTRUCT = 0x00000040;
constexpr DWORD CF_EFFECTS = 0x00000100;

struct CHOOSEFONTW {
  DWORD lStructSize = sizeof(CHOOSEFONTW);
  HWND hwndOwner = nullptr;
  LOGFONTW* lpLogFont = nullptr;  // in (CF_INITTOLOGFONTSTRUCT) and out
  int iPointSize = 0;             // out: the size in tenths of a point
  DWORD Flags = 0;
  COLORREF rgbColors = 0;  // in and out with CF_EFFECTS
};

// TRUE when the user chose a font (lpLogFont, iPointSize and, with
// CF_EFFECTS, rgbColors hold it); FALSE when cancelled or lpcf is unusable.
BOOL ChooseFontW(CHOOSEFONTW* lpcf);

using TChooseFontHandler = std::function<BOOL(CHOOSEFONTW& cf)>;
// Installs Handler (empty: back to the headless cancel); returns the old one.
TChooseFontHandler SetChooseFontHandler(TChooseFontHandler Handler);
