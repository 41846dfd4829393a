// The colour dialog in the shape of the system's: a start colour, sixteen
// custom colours the dialog may change, OK or cancel. Headless it answers
// cancel and changes nothing; a form (or a test) installs a handler that
// shows the dialog and fills in the answer.
#pragma once
#include <functional>

#include "winui/win_types.h"

constexpr DWORD CC_RGBINIT = 0x00000001;
constexpr DWORD CC_FULLOPEN = 0x00000002;
constexpr DWORD CC_ANYCOLOR = 0x00000100;

struct CHOOSECOLORW {
  DWORD lStructSize = sizeof(CHOOSECOLORW);
  HWND hwndOwner = nullptr;
  COLORREF rgbResult = 0;      // in: the start colour (CC_RGBINIT); out: the choice
  COLORREF* lpCustColors = nullptr;  // sixteen entries, read and written
  DWORD Flags = 0;
};

// TRUE when the user chose a colour (rgbResult holds it); FALSE when the
// dialog was cancelled or lpcc is unusable.
BOOL ChooseColorW(CHOOSECOLORW* lpcc);

// Shows the dialog: gets the filled record, returns OK (TRUE) or cancel.
using TChooseColorHandler = std::function<BOOL(CHOOSECOLORW& cc)>;
// Installs Handler (empty: back to the headless cancel); returns the old one.
TChooseColorHandler SetChooseColorHandler(TChooseColorHandler Handler);
