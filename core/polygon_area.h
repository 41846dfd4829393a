#pragma once
// Copying a polygon-shaped area between platform bitmaps (the viewer's
// polygon copy and paste commands). A point whose X is
// VXPolygonAreaSeparator ends one sub-polygon and starts the next; each
// sub-polygon clips the copy with the alternate fill rule, and the copied
// area is the union of the sub-polygons.

#include <cstdint>

#include "platform/win_geometry.h"

class TBitmap;

constexpr int32_t VXPolygonAreaSeparator = 1048575;

// Copies the polygon area of Source into Dest with the corner of the
// points' bounding box at (DestLeft, DestTop); Dest grows to hold the box.
// Fewer than 3 points copy nothing. Only the part of the box inside Source
// is copied, and a Dest that would grow past the pixel limit is left as it
// is.
void VXCopyPolygonArea(TBitmap* Source, const TPoint* Points, int32_t Count, int32_t DestLeft, int32_t DestTop,
                       TBitmap* Dest);
// The reverse: the area of the box's size at (SourceLeft, SourceTop) of
// Source goes into the polygon area of Dest at the points' own place; Dest
// grows to at least the box's right and bottom edges.
void VXPastePolygonArea(TBitmap* Source, const TPoint* Points, int32_t Count, int32_t SourceLeft, int32_t SourceTop,
                        TBitmap* Dest);
