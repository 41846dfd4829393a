// The background of the viewers: the fourteen background styles and the
// wallpaper, drawn by the single-image viewer under its layers and by the
// thumbnail viewer behind its cells.
#pragma once
#include <cstdint>

#include "core/vxdefs.h"
#include "gui/graphics.h"

enum TVXWallPaperStyle : uint8_t { vxwoNormal, vxwoStretch, vxwoTile };

// Paints Style with colour C over the target (X, Y, X + W, Y + H) of Canvas
// (whose platform bitmap is Bitmap, or nullptr when the canvas has none),
// around the image rectangle (ix1, iy1)-(ix2, iy2); ChessboardSize and
// ChessboardBrushStyle shape vxbsChessboard and vxbsPhotoLike, GradientEnd is
// the second colour of vxbsGradient; then the wallpaper (when it holds a
// graphic). Designing: the control sits in a form designer (the framed and
// shadowed styles are filled solid).
void VXRenderBackground(bool Designing, TCanvas* Canvas, TBitmap* Bitmap, TVXBackgroundStyle Style, TColor C,
                        int32_t X, int32_t Y, int32_t W, int32_t H, int32_t ix1, int32_t iy1, int32_t ix2,
                        int32_t iy2, int32_t ChessboardSize, TBrushStyle ChessboardBrushStyle, TColor GradientEnd,
                        TPicture* WallPaper, TVXWallPaperStyle WallPaperStyle);
