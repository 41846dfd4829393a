// Polygon-shaped copies between platform bitmaps, against the pixels the
// window layer's alternate-fill polygon regions include.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/polygon_area.h"
#include "gui/graphics.h"
#include "winui/gdi.h"

namespace {

constexpr int32_t kSep = VXPolygonAreaSeparator;

// Pixel (x, y) is (x * 5, y * 7, 9) as blue, green, red bytes.
std::unique_ptr<TBitmap> Pattern(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* p = static_cast<uint8_t*>(b->ScanLine(y));
    for (int x = 0; x < w; ++x) p[3 * x] = uint8_t(x * 5), p[3 * x + 1] = uint8_t(y * 7), p[3 * x + 2] = 9;
  }
  return b;
}

std::unique_ptr<TBitmap> Solid(int w, int h, uint8_t v) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y) std::memset(b->ScanLine(y), v, b->RowBytes());
  return b;
}

uint32_t Px(TBitmap& b, int x, int y) {
  const auto* p = static_cast<const uint8_t*>(b.ScanLine(y)) + 3 * x;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

// Whether (x, y) lies in the alternate-fill region of any sub-polygon of
// Points moved by (dx, dy).
bool InRegions(const std::vector<TPoint>& Points, int dx, int dy, int x, int y) {
  std::vector<POINT> poly;
  bool in = false;
  auto flush = [&] {
    if (poly.size() >= 3) {
      HRGN r = CreatePolygonRgn(poly.data(), int(poly.size()), ALTERNATE);
      if (r) {
        in = in || PtInRegion(r, x, y);
        DeleteObject(r);
      }
    }
    poly.clear();
  };
  for (const TPoint& p : Points) {
    if (p.X == kSep)
      flush();
    else
      poly.push_back(POINT{p.X + dx, p.Y + dy});
  }
  flush();
  return in;
}

TEST(PolygonArea, CopyTakesExactlyTheRegionsPixelsAndPasteRestoresThem) {
  struct Case {
    const char* name;
    std::vector<TPoint> points;
    int minX, minY, maxX, maxY;
  };
  const std::vector<Case> cases = {
      {"triangle", {{4, 3}, {30, 8}, {12, 25}}, 4, 3, 30, 25},
      {"two separated", {{2, 2}, {12, 2}, {7, 11}, {kSep, 0}, {20, 14}, {34, 16}, {26, 27}, {22, 24}}, 2, 2, 34, 27},
      // A self-crossing bow tie: alternate fill leaves nothing out of its
      // two lobes.
      {"bow tie", {{5, 5}, {25, 20}, {25, 5}, {5, 20}}, 5, 5, 25, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto src = Pattern(40, 30);
    auto dest = Solid(6, 5, 0x33);
    VXCopyPolygonArea(src.get(), c.points.data(), int32_t(c.points.size()), 3, 2, dest.get());
    const int w = c.maxX - c.minX, h = c.maxY - c.minY;
    ASSERT_EQ(dest->Width(), 3 + w);  // grown to the box
    ASSERT_EQ(dest->Height(), 2 + h);
    int copied = 0;
    for (int y = 0; y < dest->Height(); ++y)
      for (int x = 0; x < dest->Width(); ++x) {
        const bool in = InRegions(c.points, 3 - c.minX, 2 - c.minY, x, y);
        const uint32_t old = x < 6 && y < 5 ? 0x333333u : 0u;
        ASSERT_EQ(Px(*dest, x, y), in ? Px(*src, x - 3 + c.minX, y - 2 + c.minY) : old) << x << "," << y;
        copied += in;
      }
    EXPECT_GT(copied, 40);

    // Pasting the copy back into a blank image puts the pixels where they were.
    auto back = Solid(10, 10, 0x77);
    VXPastePolygonArea(dest.get(), c.points.data(), int32_t(c.points.size()), 3, 2, back.get());
    ASSERT_EQ(back->Width(), c.maxX);
    ASSERT_EQ(back->Height(), c.maxY);
    for (int y = 0; y < back->Height(); ++y)
      for (int x = 0; x < back->Width(); ++x) {
        const bool in = InRegions(c.points, 0, 0, x, y);
        const uint32_t old = x < 10 && y < 10 ? 0x777777u : 0u;
        ASSERT_EQ(Px(*back, x, y), in ? Px(*src, x, y) : old) << x << "," << y;
      }
  }
}

TEST(PolygonArea, OnlyThePartInsideTheSourceIsCopiedAndOversizedBoxesLeaveTheDestination) {
  auto src = Pattern(20, 20);
  // A triangle reaching left of and below the source.
  const std::vector<TPoint> pts = {{-6, 4}, {15, 10}, {4, 26}};
  auto dest = Solid(4, 4, 0x55);
  VXCopyPolygonArea(src.get(), pts.data(), 3, 0, 0, dest.get());
  ASSERT_EQ(dest->Width(), 21);
  ASSERT_EQ(dest->Height(), 22);
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 21; ++x) {
      const int sx = x - 6, sy = y + 4;
      const bool in = InRegions(pts, 6, -4, x, y) && sx >= 0 && sy < 20;
      const uint32_t old = x < 4 && y < 4 ? 0x555555u : 0u;
      ASSERT_EQ(Px(*dest, x, y), in ? Px(*src, sx, sy) : old) << x << "," << y;
    }

  // A box past the pixel limit leaves the destination as it is.
  const std::vector<TPoint> huge = {{0, 0}, {200000, 0}, {0, 200000}};
  auto d2 = Solid(5, 5, 0x66);
  VXCopyPolygonArea(src.get(), huge.data(), 3, 0, 0, d2.get());
  EXPECT_EQ(d2->Width(), 5);
  EXPECT_EQ(Px(*d2, 1, 1), 0x666666u);
  VXPastePolygonArea(src.get(), huge.data(), 3, 0, 0, d2.get());
  EXPECT_EQ(d2->Width(), 5);

  // Fewer than three points, or only separators and a line, copy nothing.
  const std::vector<TPoint> line = {{1, 1}, {kSep, 0}, {5, 5}, {9, 9}};
  for (int n : {2, 4}) {
    auto d = Solid(3, 3, 0x11);
    VXCopyPolygonArea(src.get(), line.data(), n, 0, 0, d.get());
    for (int y = 0; y < d->Height(); ++y)
      for (int x = 0; x < d->Width(); ++x) ASSERT_EQ(Px(*d, x, y), x < 3 && y < 3 ? 0x111111u : 0u);
  }
}

}  // namespace
