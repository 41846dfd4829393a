#pragma once
// Geometry helpers shared by the selection shapes, the image effects and
// whatever fits an image into a box (document pages, previews).

#include <cstdint>
#include <string>
#include <vector>

#include "core/blend.h"
#include "core/pixels.h"
#include "core/vxdefs.h"
#include "platform/win_geometry.h"
#include "platform/win_guid.h"

// n points of the cubic Bezier curve P0..P3 at t = 1/n, 2/n, .., 1 (t grows
// by adding 1/n), each coordinate rounded half to even. Points receives
// exactly n points; n < 1 gives none.
void VXBezierPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, std::vector<TPoint>& Points, int32_t n);

// Whether the rectangle with corners (x1, y1) and (x2, y2), given in any
// order, meets Left..Right x Top..Bottom; edges count.
bool VXRectsIntersect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Left, int32_t Top, int32_t Right,
                      int32_t Bottom);
// How much of the rectangle x1, y1, x2, y2 lies in the box, judged by its
// corner coordinates: 2 when all four lie within the box's ranges, 1 when
// it lies partly inside (one x and at least one y inside, or the other way
// round), 0 otherwise, also for a rectangle that covers the box with no
// coordinate inside it.
int32_t VXRectVisibility(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t x1, int32_t y1, int32_t x2,
                         int32_t y2);

// ---------------------------------------------------------------------------
// Snapping and point tests. Coordinates are pixels, y growing downwards.

// Moves the dragged point (X, Y) onto the vertical, the horizontal or a
// 45-degree line through the anchor (x0, y0). Within 30 pixels of the
// diagonal the point snaps to it; beyond, to the straight line.
void VXConstrainAngle45(int32_t x0, int32_t y0, int32_t& X, int32_t& Y);
// Left <= x <= Right and Top <= y <= Bottom.
bool VXPointInBox(int32_t x, int32_t y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// The same test against R; its right and bottom edges count as inside.
bool VXPointInRect(int32_t x, int32_t y, const TRect& R);
// The same test against the rectangle with corners given in any order.
bool VXPointInCorners(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Swaps the coordinates so that x1 <= x2 and y1 <= y2.
void VXOrderCorners(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2);
// The largest integer not above x (saturated to the 32-bit range).
int32_t VXIntFloor(long double x);

// ---------------------------------------------------------------------------
// Distances. All arithmetic is done in 64 bits and doubles, so distant
// points do not overflow.

double VXDistance(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Distance from P to the infinite line through A and B (NaN when A = B).
double VXPointLineDistance(int32_t px, int32_t py, int32_t ax, int32_t ay, int32_t bx, int32_t by);
// Distance from P to the segment A-B. When the nearest point is an end more
// than 45,000 pixels away on either axis, or the arithmetic fails, the result
// is 1,000,000, which callers read as "far".
double VXDistPointToSegment(int32_t px, int32_t py, int32_t ax, int32_t ay, int32_t bx, int32_t by);
// Smallest distance from the screen point P to the polyline Points[0..n-1]
// as drawn: each point maps to (Round((x - offX) * scaleX + baseX),
// Round((y - offY) * scaleY + baseY)); Closed adds the side from the last
// point to the first. A pen wider than 1 is measured as copies of each side
// shifted by -(PenWidth div 2)..PenWidth div 2 on both axes. 1,000,000 when
// n <= 0.
double VXDistPointToPolyline(int32_t px, int32_t py, const TPoint* Points, int32_t n, int32_t offX, int32_t offY,
                             int32_t baseX, int32_t baseY, double scaleX, double scaleY, int32_t PenWidth,
                             bool Closed);

// ---------------------------------------------------------------------------
// Angles and polygons

// Arc cosine as atan2(sqrt(1 - x * x), x): 0 for 1, pi for -1; NaN outside
// -1..1.
double VXArcCos(double x);
// Angle between the vectors P1->P2 and P2->P3 in 0..pi; 0 when either has
// no length or the cosine falls outside -1..1.
double VXAngleBetween(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3);
// Direction of P seen from C in 0..2pi, counter-clockwise on the screen (y
// grows downwards): right 0, above pi/2, left pi, below 3pi/2; 0 when P = C.
double VXPointAngle(int32_t cx, int32_t cy, int32_t px, int32_t py);
// Orientation of P0, P1, P2 from the cross product of d1 = P1 - P0 and
// d2 = P2 - P0: 1 or -1 by its sign; for collinear points -1 when P0 lies
// between the others, 1 when P1 is nearer to P0 than P2, else 0.
int32_t VXTurnDirection(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Angle at the centre C from the start point S to the end point E,
// counter-clockwise on the screen, in 0..2pi, by the law of cosines (a
// distance of 0 counts as 1). Turns a GDI arc's start and end points into a
// sweep.
double VXSweepAngle(int32_t sx, int32_t sy, int32_t cx, int32_t cy, int32_t ex, int32_t ey);
// An angle in degrees reduced modulo 360 keeping its sign: 0 <= r < 360 for
// a >= 0, -360 <= r < 0 for a < 0.
double VXReduceAngle(double a);
// Rotates every point about (cx, cy) by Angle degrees, counter-clockwise on
// the screen; new offsets from the centre are truncated.
void VXRotatePoints(std::vector<TPoint>& Points, int32_t cx, int32_t cy, double Angle);
// Even-odd test of (x, y) against the polygon.
bool VXPointInPolygon(int32_t x, int32_t y, const std::vector<TPoint>& Points);
// The same test against the Count points mapped to
// (OffsetX + ZoomX * (px - OriginX), OffsetY + ZoomY * (py - OriginY)).
bool VXPointInZoomedPolygon(int32_t x, int32_t y, const TPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ZoomX, double ZoomY);
// Distance from (x, y) to the outline of the rectangle x1, y1, x2, y2 drawn
// with PenWidth (copies shifted by (k, k), k = -(PenWidth div 2)..PenWidth
// div 2). With Filled a point inside a shifted rectangle is at 0.
// 2,147,483,647 when there is no copy to measure (PenWidth <= -2).
double VXDistanceToRectOutline(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool Filled,
                               int32_t PenWidth);
// Distance from (x, y) to the ellipse inscribed in x1, y1, x2, y2, measured
// against a polygon of its outline (or, with Filled, against spokes from its
// centre, the distances truncated). The polygon has at most 65,536 vertices.
// 2,147,483,647 when there is nothing to measure (PenWidth <= -2).
double VXDistanceToEllipse(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool Filled,
                           int32_t PenWidth);

// ---------------------------------------------------------------------------
// Fitting and placing

// The size of a w x h image scaled by min(MaxW / w, MaxH / h), each side
// truncated and at least 1. NewW and NewH are left alone when w or h is 0.
void VXFitInBox(int32_t w, int32_t h, int32_t MaxW, int32_t MaxH, int32_t& NewW, int32_t& NewH);

// Size of a w x h thumbnail in a BoxW x BoxH box. Stretch 0 fits the image
// inside the box; Stretch 100 fills the box and ClipW x ClipH (the box-sized
// part shown) cuts the overflow; values between enlarge the image so that
// (100 - Stretch) % of its limiting side fills the box. All four results
// are 0 when a size is 0.
void VXThumbnailSize(int32_t w, int32_t h, int32_t BoxW, int32_t BoxH, int32_t& ClipW, int32_t& ClipH,
                     int32_t Stretch, int32_t& W, int32_t& H);
// Where a w x h image goes in the box BoxLeft, BoxTop, BoxW x BoxH (right and
// bottom exclusive). Fill covers the box instead of fitting inside it; a
// larger image is scaled only with CanShrink, a smaller one only with
// CanEnlarge. (BoxLeft, BoxTop, 0, 0) when a size is 0.
void VXFitImageRect(int32_t w, int32_t h, int32_t BoxW, int32_t BoxH, int32_t BoxLeft, int32_t BoxTop,
                    bool CanEnlarge, bool CanShrink, bool CenterH, bool CenterV, int32_t Stretch, bool Fill,
                    TRect& Rect);
void VXFitImageRectInRect(int32_t w, int32_t h, const TRect& Box, bool CanEnlarge, bool CanShrink, bool CenterH,
                          bool CenterV, int32_t Stretch, bool Fill, TRect& Rect);
// The size VXFitImageRect gives with shrinking allowed, no stretch and no
// centring.
void VXFitImageSize(int32_t w, int32_t h, int32_t BoxW, int32_t BoxH, bool CanEnlarge, bool Fill, TSize& Size);
// Rect clipped to 0..MaxW x 0..MaxH in size and brought to the aspect
// AspectW : AspectH. Mode 0 grows the short side about its centre; mode 1
// shrinks the long side and keeps the rectangle inside MaxW x MaxH. With an
// aspect side of 0 or less the clipped rectangle is returned unchanged.
void VXAdjustRectToAspect(const TRect& Rect, int32_t MaxW, int32_t MaxH, TRect& Result, int32_t Mode,
                          int32_t AspectW, int32_t AspectH);
TRect VXRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// Grows R to hold (x, y) and returns it.
TRect VXRectIncludePoint(TRect& R, int32_t x, int32_t y);

// ---------------------------------------------------------------------------
// Zoom steps, palettes, exchanges

// The viewer's next zoom in percent from Zoom: steps of 5 below 26, of 25 up
// to 300 and of 100 above; 1 when zooming out below 6. IdealZoom (the zoom
// that fits the image, 0 for none) is taken when it lies between the two.
double VXGetNextZoom(bool ZoomIn, double IdealZoom, double Zoom);
// Index of the palette entry nearest to Color (0x00BBGGRR) by squared
// distance over red, green and blue; ties keep the lower index; 0 when
// Count <= 0.
int32_t VXClosestPaletteEntry(const TRGB* Palette, int32_t Count, TColor Color);

void VXExchangeInteger(int32_t& a, int32_t& b);
void VXExchangeDouble(double& a, double& b);
void VXExchangeBoolean(bool& a, bool& b);
void VXExchangeRenderOperation(TVXRenderOperation& a, TVXRenderOperation& b);
void VXExchangePointer(void*& a, void*& b);
void VXExchangeResampleFilter(TResampleFilter& a, TResampleFilter& b);
void VXExchangeAnsiString(std::string& a, std::string& b);
void VXExchangeGUID(GUID& a, GUID& b);
void VXExchangeRGBArray(std::vector<TRGB>& a, std::vector<TRGB>& b);
