// The regions the region-clipped transition effects draw the target picture
// through: a region collected from rectangles, seventeen drawn shapes fitted
// into a rectangle, circle sectors, the bar, shred and speckle regions and a
// region in the shape of a text. Coordinates are the frame's pixels; every
// builder returns a new region that its caller owns and deletes (none where
// stated). The random builders draw from the library's generator
// (core/random.h); the word region reads the settings' WordTransitionParams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/graphics_types.h"
#include "platform/win_geometry.h"
#include "winui/win_types.h"

class TBitmap;

// Rectangles collected in the platform's region-data layout and turned into
// one region in a single call.
class TComplexRegion {
 public:
  TComplexRegion() { Clear(); }
  void Clear();
  void AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  // None when no rectangle was added.
  HRGN CreateRegion();
  int32_t Count() const { return fCount; }
  TRect Bounds() const { return fBounds; }

 private:
  std::vector<uint8_t> fRgnData;
  int32_t fCapacity = 0;
  int32_t fCount = 0;
  TRect fBounds{};
};

// Shape 0 .. 16 (stars, diagonal arrows, lightning bolts, explosions, a
// cross, feathered arrows, a heart, two hearts) fitted into the rectangle;
// none for any other number. A rectangle of no area gives an empty region.
HRGN CreateShapeRegion(int32_t Shape, int32_t Left, int32_t Top, int32_t Width, int32_t Height);
HRGN ShapeRegionInRect(int32_t Shape, const TRect& Rect);
// The polygon of the centre and Count + 1 points on the circle from
// StartAngle to EndAngle (radians, clockwise on screen); mirrored through
// the centre when not Forward.
HRGN SectorRegion(int32_t CX, int32_t CY, int32_t Radius, double StartAngle, double EndAngle, int32_t Count,
                  bool Forward);
// Turns Points[0 .. High] about (CX, CY) by Angle radians (clockwise on
// screen for a positive angle), rounding halves to even.
void RotatePoints(POINT* Points, int32_t High, int32_t CX, int32_t CY, double Angle);
// A polygon of the points, winding rule.
HRGN PolygonRegion(const std::vector<POINT>& Points);

// Bars growing from the sides (modes 1 .. 5; 0: that direction unused).
HRGN BarsRegion(int32_t X, int32_t Y, int32_t W, int32_t H, int32_t HorizontalMode, int32_t VerticalMode);
// Strips of random lengths (modes 1 .. 4); one random number per strip,
// horizontal strips first.
HRGN ShredRegion(int32_t X, int32_t Y, int32_t W, int32_t H, int32_t HorizontalMode, int32_t VerticalMode);
// A solid part with random blocks ahead of it (mode 1 from the right or
// bottom, other modes from the left or top).
HRGN SpeckleRegion(int32_t X, int32_t Y, int32_t W, int32_t H, int32_t HorizontalMode, int32_t VerticalMode);

// The word of the settings' WordTransitionParams (empty settings are written
// back as "A", "Arial" and 200) as a region fitted into Rect: the whole
// word, or one letter chosen by Progress between Start and End.
HRGN WordRegion(const TRect& Rect, int32_t Progress, int32_t Start, int32_t End, bool WholeWord, bool CellHeight);
// Text drawn in a new 24-bit bitmap exactly as large as its extent: font
// height Size (a cell height with CellHeight, else a character height),
// turned by Angle degrees, anti-aliased or not, FontColor on BackColor.
std::unique_ptr<TBitmap> TextBitmap(const std::string& Text, int32_t Size, const std::string& FontName,
                                    TColor FontColor, TFontStyles Style, TColor BackColor, int32_t Angle,
                                    bool Antialias, bool CellHeight);
// The pixels of Bitmap that are not Transparent, as runs per row, placed at
// (Left, Top) and scaled to DestWidth x DestHeight. None for a bitmap
// without a pixel of another colour.
HRGN BitmapToRegion(TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t DestWidth, int32_t DestHeight,
                    TColor Transparent);
