#include "core/polygon_area.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/limits.h"
#include "gui/graphics.h"
#include "winui/gdi.h"

namespace {

struct TBox {
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  bool Empty() const { return minX > maxX; }
};

// The sub-polygons of the point list (separators dropped) and the bounding
// box of all their points.
std::vector<std::vector<TPoint>> SubPolygons(const TPoint* Points, int32_t Count, TBox& Box) {
  std::vector<std::vector<TPoint>> polys(1);
  for (int32_t i = 0; i < Count; ++i) {
    const TPoint& p = Points[i];
    if (p.X == VXPolygonAreaSeparator) {
      if (!polys.back().empty()) polys.emplace_back();
      continue;
    }
    polys.back().push_back(p);
    Box.minX = std::min<int64_t>(Box.minX, p.X);
    Box.minY = std::min<int64_t>(Box.minY, p.Y);
    Box.maxX = std::max<int64_t>(Box.maxX, p.X);
    Box.maxY = std::max<int64_t>(Box.maxY, p.Y);
  }
  return polys;
}

bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Copies the Width x Height area at (sx, sy) of Source to (dx, dy) of Dest
// through each polygon (moved by (mx, my)) as a clip region, after growing
// Dest to at least NeedW x NeedH.
void CopyThroughPolygons(TBitmap* Source, int64_t sx, int64_t sy, int64_t Width, int64_t Height, TBitmap* Dest,
                         int64_t dx, int64_t dy, const std::vector<std::vector<TPoint>>& Polys, int64_t mx,
                         int64_t my, int64_t NeedW, int64_t NeedH) {
  if (Width < 1 || Height < 1) return;
  const int64_t newW = std::max<int64_t>(Dest->Width(), NeedW), newH = std::max<int64_t>(Dest->Height(), NeedH);
  if (newW != Dest->Width() || newH != Dest->Height()) {
    const int64_t bpp = Dest->Empty() ? 24 : std::max(Dest->BitsPerPixel(), 1);
    if (!FitsInt32(newW) || !FitsInt32(newH) || !VXImageSizeAllowed(newW, newH, bpp)) return;
    try {
      Dest->SetSize(int(newW), int(newH));
    } catch (const std::exception&) {
      return;
    }
  }
  // Only the part of the area inside Source.
  const int64_t cx0 = std::max<int64_t>(sx, 0), cy0 = std::max<int64_t>(sy, 0);
  const int64_t cx1 = std::min<int64_t>(sx + Width, Source->Width()), cy1 = std::min<int64_t>(sy + Height, Source->Height());
  if (cx1 <= cx0 || cy1 <= cy0) return;
  const int64_t ox = dx + (cx0 - sx), oy = dy + (cy0 - sy);
  if (!FitsInt32(ox) || !FitsInt32(oy) || !FitsInt32(ox + (cx1 - cx0)) || !FitsInt32(oy + (cy1 - cy0))) return;
  const TRect from{int32_t(cx0), int32_t(cy0), int32_t(cx1), int32_t(cy1)};
  const TRect to{int32_t(ox), int32_t(oy), int32_t(ox + (cx1 - cx0)), int32_t(oy + (cy1 - cy0))};
  TCanvas* canvas = Dest->Canvas();
  for (const std::vector<TPoint>& poly : Polys) {
    if (poly.size() < 3) continue;
    std::vector<POINT> pts;
    pts.reserve(poly.size());
    bool fits = true;
    for (const TPoint& p : poly) {
      const int64_t x = p.X + mx, y = p.Y + my;
      fits = fits && FitsInt32(x) && FitsInt32(y);
      pts.push_back(POINT{LONG(x), LONG(y)});
    }
    if (!fits) continue;
    HRGN rgn = CreatePolygonRgn(pts.data(), int(pts.size()), ALTERNATE);
    if (!rgn) continue;  // without a region the copy would not be clipped
    HDC dc = canvas->Handle();
    SelectClipRgn(dc, rgn);
    canvas->CopyRect(to, Source->Canvas(), from);
    SelectClipRgn(dc, nullptr);
    DeleteObject(rgn);
  }
}

}  // namespace

void VXCopyPolygonArea(TBitmap* Source, const TPoint* Points, int32_t Count, int32_t DestLeft, int32_t DestTop,
                       TBitmap* Dest) {
  if (!Source || !Dest || !Points || Count < 3 || Source == Dest) return;
  TBox box;
  const auto polys = SubPolygons(Points, Count, box);
  if (box.Empty()) return;
  const int64_t w = box.maxX - box.minX, h = box.maxY - box.minY;
  CopyThroughPolygons(Source, box.minX, box.minY, w, h, Dest, DestLeft, DestTop, polys, int64_t(DestLeft) - box.minX,
                      int64_t(DestTop) - box.minY, int64_t(DestLeft) + w, int64_t(DestTop) + h);
}

void VXPastePolygonArea(TBitmap* Source, const TPoint* Points, int32_t Count, int32_t SourceLeft, int32_t SourceTop,
                        TBitmap* Dest) {
  if (!Source || !Dest || !Points || Count < 3 || Source == Dest) return;
  TBox box;
  const auto polys = SubPolygons(Points, Count, box);
  if (box.Empty()) return;
  CopyThroughPolygons(Source, SourceLeft, SourceTop, box.maxX - box.minX, box.maxY - box.minY, Dest, box.minX,
                      box.minY, polys, 0, 0, box.maxX, box.maxY);
}
