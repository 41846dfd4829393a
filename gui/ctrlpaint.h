// Drawing shared by the standard controls: frames, faces, check boxes and
// arrows, all through the canvas's GDI calls.
#pragma once
#include <string>

#include "gui/graphics.h"

class TControl;

namespace vxpaint {

// Fills R with a solid colour (the canvas's brush is left as it was).
void Fill(TCanvas* C, const TRect& R, TColor Color);
// A frame of two colours: top and left, bottom and right; one pixel wide.
void Frame3D(TCanvas* C, TRect R, TColor TopLeft, TColor BottomRight);
// The two-pixel raised or sunken edge of buttons and boxes.
void Edge(TCanvas* C, const TRect& R, bool Sunken);
// The inside of R after a two-pixel edge.
TRect Inner(const TRect& R, int By = 2);
// The colour of a control's text: the font's, or clGrayText when disabled.
TColor TextColor(TControl* Control, TColor Normal);
// Text in the canvas's font and Color, without background, at X, Y.
void Text(TCanvas* C, int X, int Y, const std::string& S, TColor Color);
// Text centred in R (both ways).
void CentredText(TCanvas* C, const TRect& R, const std::string& S, TColor Color);
// A 13 x 13 check box with its top-left at X, Y: white (button face when
// disabled) with a sunken edge, a tick when checked, grey when grayed.
void CheckBox(TCanvas* C, int X, int Y, int State, bool Enabled);
// A filled triangle pointing up (Dir 0), down (1), left (2) or right (3),
// centred in R.
void Arrow(TCanvas* C, const TRect& R, int Dir, TColor Color);
// A dotted focus rectangle.
void FocusRect(TCanvas* C, const TRect& R);

}  // namespace vxpaint
