#pragma once
// Decorations shared by the viewers, the thumbnail viewer, the vector
// objects and the dialogs: three-dimensional frames, the hint boxes that
// follow the mouse and the shadows around an image on the viewer's
// background.

#include <cstdint>
#include <string>

#include "gui/graphics.h"

class TVXCanvas;

// Pen pmCopy, psSolid, width 1; TopLeftColor from (x1, y2) to (x1, y1) to
// (x2, y1), BottomRightColor from (x1, y2) to (x2, y2) to (x2, y1).
void VXDrawFrame3D(TCanvas* Canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor TopLeftColor,
                   TColor BottomRightColor);
// The same through a TVXCanvas (its pen's width is kept).
void VXDrawCanvasFrame3D(TVXCanvas* Canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor TopLeftColor,
                         TColor BottomRightColor);

// The hint box of the vector objects: Text in Font on Brush inside a 3-D
// frame, the box (W = text width + 12, H = text height + 12) at (X, Y) moved
// into the area AreaWidth x AreaHeight (X and Y return the position used).
// Saved (when given) becomes a 24-bit W x H copy of what the box covers.
void VXDrawTextHint(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Text, TFont* Font, TBrush* Brush,
                    TBitmap* Saved, int32_t AreaWidth, int32_t AreaHeight, TColor TopLeftColor,
                    TColor BottomRightColor);
// The half-transparent hint box of the viewer: Arial 9 on light yellow, as
// wide as the wider of Text and Template. X and Y are only kept from being
// negative.
void VXDrawTextHintAlpha(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Template,
                         const std::string& Text);

// Shadow strips right of and below an image; x1..x2, y1..y2 is the strip.
// Kind 1 solid (the canvas's brush), 2 soft (the pixels darkened, in
// Bitmap's rows where Bitmap holds them, else through the canvas), 3 grey
// gradient; other kinds draw nothing.
void VXDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                       uint8_t Kind);
void VXDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                        uint8_t Kind);
// Darkens a blurred band of 5 pixels around the image rectangle
// (x1, y1)-(x2, y2) of a 24-bit bitmap; the image itself is left alone.
void VXDrawSoftShadow(TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
