#pragma once
// Helpers for platform bitmaps and canvases (TBitmap, TCanvas): grey colour
// tables, copies, the conversions the bitmap's platform location uses, and
// text measured and shortened on a canvas.

#include <cstdint>
#include <memory>
#include <string>

#include "core/vxdefs.h"

class TBitmap;
class TCanvas;
class TVXBitmap;

// Width and height in pixels of a UTF-8 text in the canvas's font, measured
// on its device context; 0 without a canvas.
int32_t VXTextWidthW(TCanvas* Canvas, const std::string& S);
int32_t VXTextHeightW(TCanvas* Canvas, const std::string& S);
// Result = S, shortened with "..." while it is wider than MaxWidth and has
// at least 2 characters: Side 0 keeps the first length(S) - k - 1
// characters and appends "...", Side 1 puts "..." before S from character
// k + 1 on (k = 1, 2, ... in turn). It stops when nothing of S would be
// left, keeping the last shortened text. Characters are code points, never
// cut apart. Other sides (and no canvas) give S unchanged.
void VXTruncateTextToWidth(const std::string& S, int32_t Side, TCanvas* Canvas, std::string& Result,
                           int32_t MaxWidth);

// Sets the 256-entry colour table of an 8-bit platform bitmap to the grey
// levels 0..255 and its stretch mode to colour-on-colour.
void VXSetGrayPalette(TBitmap* Bitmap);
// True when every entry of the bitmap's colour table has red = green = blue
// = its index (false for a bitmap without a table).
bool VXHasGrayPalette(TBitmap* Bitmap);
// For an 8-bit platform bitmap and a vx8p TVXBitmap: each palette entry
// becomes the colour-table entry of the same index.
void VXCopyDIBColorTable(TBitmap* Bitmap, TVXBitmap* VXBitmap);

// Dest gets Source's size, pixel format, colour table and rows (1 x 1 when
// Source is empty).
void VXCopyTBitmap(TBitmap* Source, TBitmap* Dest);
// A new platform bitmap holding a copy of Source.
std::unique_ptr<TBitmap> VXCloneTBitmap(TBitmap* Source);
// Rewrites Dest as a 24-bit platform bitmap of Source's size from the 1-bit
// Source (clear bits black, set bits white).
void VXConvertTBitmap1To24(TBitmap* Source, TBitmap* Dest, TProgressRec& Progress);
// Dest becomes an 8-bit grey platform bitmap of Source's size: (R x red
// weight + G x green weight + B x blue weight) div 100 of each 24-bit pixel,
// with the settings' weights.
void VXTBitmapToGray8(TBitmap* Source, TBitmap* Dest);
