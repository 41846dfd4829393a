// Drawing the selection on screen (inverted area, marching ants, shaded
// outside) and the masked copy between platform bitmaps.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <queue>
#include <vector>

#include "core/mask.h"
#include "gui/graphics.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

std::unique_ptr<TBitmap> Solid(int w, int h, uint8_t v, TPixelFormat pf = pf24bit) {
  auto b = std::make_unique<TBitmap>(w, h, pf);
  for (int y = 0; y < h; ++y) std::memset(b->ScanLine(y), v, b->RowBytes());
  return b;
}

uint32_t Px(TBitmap& b, int x, int y) {
  const auto* p = static_cast<const uint8_t*>(b.ScanLine(y)) + 3 * x;
  return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
}

void SetPx(TBitmap& b, int x, int y, uint32_t c) {
  auto* p = static_cast<uint8_t*>(b.ScanLine(y)) + 3 * x;
  p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
}

// A w x h mask selecting r (right and bottom included); a 1-bit mask sets
// its bits with the value 1.
std::unique_ptr<TVXMask> RectMask(int w, int h, int bpp, TRect r, int alpha = 255) {
  auto m = std::make_unique<TVXMask>();
  m->AllocateBits(w, h, bpp);
  m->SetRectangle(r.Left, r.Top, r.Right, r.Bottom, bpp == 1 ? 1 : alpha);
  return m;
}

// The pixels of b that differ from Before (row-major).
std::vector<int> Changed(TBitmap& b, TBitmap& Before) {
  std::vector<int> c(size_t(b.Width()) * size_t(b.Height()));
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) c[size_t(y) * size_t(b.Width()) + size_t(x)] = Px(b, x, y) != Px(Before, x, y);
  return c;
}

// Connected components of the cells of set equal to Value (8- or 4-connected).
int Components(const std::vector<int>& set, int w, int h, int Value, bool eight) {
  std::vector<int> seen(set.size());
  int n = 0;
  for (size_t s = 0; s < set.size(); ++s) {
    if (set[s] != Value || seen[s]) continue;
    ++n;
    std::queue<size_t> q;
    q.push(s);
    seen[s] = 1;
    while (!q.empty()) {
      const int x = int(q.front() % size_t(w)), y = int(q.front() / size_t(w));
      q.pop();
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
          const int nx = x + dx, ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const size_t k = size_t(ny) * size_t(w) + size_t(nx);
          if (set[k] == Value && !seen[k]) seen[k] = 1, q.push(k);
        }
    }
  }
  return n;
}

TEST(MaskDraw, OutlineColoursMarchAlongTheDiagonal) {
  auto m = RectMask(20, 16, 1, TRect{0, 0, 9, 9});
  std::vector<uint32_t> row[2];
  for (int ani = 0; ani < 2; ++ani) {
    auto b = Solid(20, 16, 255);
    m->DrawOutline(b->Canvas(), 0, 0, 20, 16, 0, 0, 20, 16, ani, TColor(0x0000FF), TColor(0xFF0000), nullptr);
    for (int x = 0; x < 10; ++x) row[ani].push_back(Px(*b, x, 0));
  }
  EXPECT_EQ(row[0][0], 0xFF0000u);  // Color2
  EXPECT_EQ(row[0][3], 0xFF0000u);
  EXPECT_EQ(row[0][4], 0x0000FFu);  // Color1
  EXPECT_EQ(row[0][8], 0xFF0000u);
  for (int x = 0; x + 1 < 10; ++x) EXPECT_EQ(row[1][size_t(x)], row[0][size_t(x) + 1]) << x;
}

TEST(MaskDraw, OutlineOfARectangleAtScaleOneIsItsEdge) {
  for (int bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    const TRect r{3, 4, 12, 10};
    auto m = RectMask(20, 16, bpp, r);
    auto b = Solid(24, 20, 255), before = Solid(24, 20, 255);
    TRect actual{};
    m->DrawOutline(b->Canvas(), 2, 1, 20, 16, 0, 0, 20, 16, 0, clBlack, clBlack, &actual);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 24; ++x) {
        const int mx = x - 2, my = y - 1;
        const bool inRect = mx >= r.Left && mx <= r.Right && my >= r.Top && my <= r.Bottom;
        const bool edge = inRect && (mx == r.Left || mx == r.Right || my == r.Top || my == r.Bottom);
        EXPECT_EQ(Px(*b, x, y) != kWhite, edge) << x << "," << y;
      }
    // Drawing range rows 4..12, columns 3..14, reported one pixel inside.
    EXPECT_EQ(actual.Left, 2 + 3 + 1);
    EXPECT_EQ(actual.Top, 1 + 4 + 1);
    EXPECT_EQ(actual.Right, 2 + 14 - 1);
    EXPECT_EQ(actual.Bottom, 1 + 12 - 1);
  }
  // A selection reaching the mask's right and bottom edges is closed there.
  auto m = RectMask(10, 8, 1, TRect{2, 2, 9, 7});
  auto b = Solid(10, 8, 255);
  m->DrawOutline(b->Canvas(), 0, 0, 10, 8, 0, 0, 10, 8, 0, clBlack, clBlack, nullptr);
  for (int y = 2; y <= 7; ++y) EXPECT_NE(Px(*b, 9, y), kWhite) << y;
  for (int x = 2; x <= 9; ++x) EXPECT_NE(Px(*b, x, 7), kWhite) << x;
  EXPECT_EQ(Px(*b, 5, 5), kWhite);
}

TEST(MaskDraw, OutlineOfAnEllipseIsOneClosedRingInsideTheSelectionAtEveryZoom) {
  struct Zoom {
    int mw, mh, dw, dh;
  };
  for (const Zoom& z : {Zoom{90, 60, 30, 20}, Zoom{60, 40, 60, 40}, Zoom{30, 20, 90, 60}}) {
    SCOPED_TRACE(z.dw);
    auto m = std::make_unique<TVXMask>();
    m->AllocateBits(z.mw, z.mh, 1);
    m->SetEllipse(z.mw / 2, z.mh / 2, z.mw * 2 / 3, z.mh * 2 / 3, 1);
    auto b = Solid(z.dw, z.dh, 255), before = Solid(z.dw, z.dh, 255);
    m->DrawOutline(b->Canvas(), 0, 0, z.dw, z.dh, 0, 0, z.mw, z.mh, 3, clBlack, clBlack, nullptr);
    const std::vector<int> drawn = Changed(*b, *before);
    EXPECT_EQ(Components(drawn, z.dw, z.dh, 1, true), 1);
    EXPECT_EQ(Components(drawn, z.dw, z.dh, 0, false), 2);  // inside and outside
    const int64_t sx = int64_t(double(z.mw) / z.dw * 16384), sy = int64_t(double(z.mh) / z.dh * 16384);
    for (int y = 0; y < z.dh; ++y)
      for (int x = 0; x < z.dw; ++x)
        if (drawn[size_t(y) * size_t(z.dw) + size_t(x)])
          EXPECT_TRUE(m->IsPointInside(int32_t((sx * x) >> 14), int32_t((sy * y) >> 14))) << x << "," << y;
  }
}

TEST(MaskDraw, OuterPaintsOnlyTheUnselectedMappedArea) {
  const TRect r{4, 3, 12, 9};
  for (int bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    auto m = RectMask(16, 12, bpp, r);
    // Checkerboard: the mask at scale 2 at (5, 3) of a larger bitmap.
    auto b = Solid(50, 40, 200);
    m->DrawOuter(b.get(), 5, 3, 32, 24, 0, 0, 16, 12, -1, clRed);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 50; ++x) {
        const int i = y - 3, j = x - 5;
        const bool mapped = i >= 0 && j >= 0 && i < 24 && j < 32;
        const bool sel = mapped && m->IsPointInside(j / 2, i / 2);
        const uint32_t want = mapped && !sel && (i + j) % 2 == 0 ? 0x616161u : 0xC8C8C8u;
        ASSERT_EQ(Px(*b, x, y), want) << x << "," << y;
      }
    // 255 paints Color exactly, 0 leaves every pixel, 128 blends.
    for (int alpha : {255, 0, 128}) {
      auto c = Solid(16, 12, 200);
      m->DrawOuter(c.get(), 0, 0, 16, 12, 0, 0, 16, 12, alpha, TColor(0x0080FF));
      const double a = alpha / 255.0;
      const uint32_t blended = uint32_t(int(a * 0xFF + (1 - a) * 200)) | uint32_t(int(a * 0x80 + (1 - a) * 200)) << 8 |
                               uint32_t(int(a * 0 + (1 - a) * 200)) << 16;
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
          ASSERT_EQ(Px(*c, x, y), m->IsPointInside(x, y) ? 0xC8C8C8u : blended) << alpha << ":" << x << "," << y;
    }
  }
  // A partly selected 8-bit pixel is left.
  auto m8 = RectMask(8, 8, 8, TRect{2, 2, 5, 5}, 100);
  auto c = Solid(8, 8, 200);
  m8->DrawOuter(c.get(), 0, 0, 8, 8, 0, 0, 8, 8, 255, clBlack);
  EXPECT_EQ(Px(*c, 3, 3), 0xC8C8C8u);
  EXPECT_EQ(Px(*c, 1, 1), 0u);
}

TEST(MaskDraw, OuterStopsAtANarrowDestinationAndFoldsNegativeOrigins) {
  auto m = RectMask(20, 16, 1, TRect{5, 5, 9, 9});
  // Mapped at scale 2 onto 40 x 32, but the bitmap is only 13 wide.
  auto b = Solid(13, 32, 200);
  m->DrawOuter(b.get(), 0, 0, 40, 32, 0, 0, 20, 16, 255, clBlack);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 13; ++x) ASSERT_EQ(Px(*b, x, y), m->IsPointInside(x / 2, y / 2) ? 0xC8C8C8u : 0u);
  // Starting 4 rows and 3 columns outside the bitmap shows mask (3, 4) at
  // (0, 0).
  auto n = Solid(30, 30, 200);
  m->DrawOuter(n.get(), -3, -4, 20, 16, 0, 0, 20, 16, 255, clBlack);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 17; ++x) ASSERT_EQ(Px(*n, x, y), m->IsPointInside(x + 3, y + 4) ? 0xC8C8C8u : 0u);
  for (int y = 14; y < 30; ++y) ASSERT_EQ(Px(*n, 0, y), 0xC8C8C8u) << y;
}

TEST(MaskDraw, DegenerateRectanglesDrawNothing) {
  auto m = RectMask(20, 16, 1, TRect{0, 0, 19, 15});
  struct Case {
    int dxDst, dyDst, dxMask, dyMask;
  };
  for (const Case& c : {Case{0, 16, 20, 16}, Case{20, -1, 20, 16}, Case{20, 16, 0, 16}, Case{20, 16, 20, -3}}) {
    auto b = Solid(20, 16, 200), before = Solid(20, 16, 200);
    m->DrawOutline(b->Canvas(), 0, 0, c.dxDst, c.dyDst, 0, 0, c.dxMask, c.dyMask, 0, clBlack, clBlack, nullptr);
    m->DrawOuter(b.get(), 0, 0, c.dxDst, c.dyDst, 0, 0, c.dxMask, c.dyMask, 255, clBlack);
    const auto changed = Changed(*b, *before);
    EXPECT_EQ(std::count(changed.begin(), changed.end(), 1), 0);
  }
  // A zoom beyond 16384 : 1 truncates the scale to 0.
  auto e = RectMask(4, 4, 1, TRect{1, 1, 2, 2});
  auto b = Solid(20, 20, 200), before = Solid(20, 20, 200);
  e->DrawOutline(b->Canvas(), 0, 0, 20000, 20, 0, 0, 1, 4, 0, clBlack, clBlack, nullptr);
  e->DrawOuter(b.get(), 0, 0, 20000, 20, 0, 0, 1, 4, 255, clBlack);
  const auto changed = Changed(*b, *before);
  EXPECT_EQ(std::count(changed.begin(), changed.end(), 1), 0);
}

TEST(MaskDraw, InvertCanvasInvertsTheSelectedAreaOfOneBitMasks) {
  // An L-shaped selection, so that an upside-down blit would show.
  auto m = std::make_unique<TVXMask>();
  m->AllocateBits(12, 10, 1);
  m->SetRectangle(1, 1, 3, 8, 1);
  m->SetRectangle(1, 7, 9, 8, 1);
  auto b = Solid(30, 24, 0), orig = Solid(30, 24, 0);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 30; ++x) SetPx(*b, x, y, uint32_t(x * 8) | uint32_t(y * 10) << 8), SetPx(*orig, x, y, Px(*b, x, y));
  m->InvertCanvas(b->Canvas(), 2, 1, 24, 20, 0, 0, 12, 10);  // scale 2
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 30; ++x) {
      const int i = y - 1, j = x - 2;
      const bool sel = i >= 0 && j >= 0 && i < 20 && j < 24 && m->IsPointInside(j / 2, i / 2);
      ASSERT_EQ(Px(*b, x, y), sel ? (Px(*orig, x, y) ^ 0xFFFFFFu) : Px(*orig, x, y)) << x << "," << y;
    }
  m->InvertCanvas(b->Canvas(), 2, 1, 24, 20, 0, 0, 12, 10);
  auto again = Changed(*b, *orig);
  EXPECT_EQ(std::count(again.begin(), again.end(), 1), 0);
  // A part of the mask: rows 5..9, columns 0..5 at scale 1.
  auto p = Solid(6, 5, 0);
  m->InvertCanvas(p->Canvas(), 0, 0, 6, 5, 0, 5, 6, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(Px(*p, x, y), m->IsPointInside(x, y + 5) ? kWhite : 0u) << x << "," << y;
  // 8-bit masks are not inverted.
  auto m8 = RectMask(12, 10, 8, TRect{0, 0, 11, 9});
  auto c = Solid(12, 10, 50);
  m8->InvertCanvas(c->Canvas(), 0, 0, 12, 10, 0, 0, 12, 10);
  EXPECT_EQ(Px(*c, 5, 5), 0x323232u);
}

TEST(MaskDraw, CopyBitmapThroughTheMask) {
  // 8-bit value 128 blends halfway with the floor, both ways.
  auto m8 = RectMask(4, 2, 8, TRect{0, 0, 3, 1}, 128);
  auto d = Solid(4, 2, 0), s = Solid(4, 2, 255);
  m8->CopyBitmap(d.get(), s.get(), false, false);
  EXPECT_EQ(Px(*d, 2, 1), 0x7F7F7Fu);
  auto d2 = Solid(4, 2, 255), s2 = Solid(4, 2, 0);
  m8->CopyBitmap(d2.get(), s2.get(), false, false);
  EXPECT_EQ(Px(*d2, 0, 0), 0x7F7F7Fu);

  // 1-bit: selected pixels copied; Dest holding only the box.
  auto m = RectMask(10, 8, 1, TRect{2, 3, 5, 6});
  m->SetPixel(3, 4, 0);
  auto src = Solid(10, 8, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) SetPx(*src, x, y, uint32_t(x * 20 + y));
  auto box = Solid(4, 4, 7);
  m->CopyBitmap(box.get(), src.get(), true, false);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(Px(*box, x, y), m->IsPointInside(x + 2, y + 3) ? Px(*src, x + 2, y + 3) : 0x070707u) << x << "," << y;

  // A Dest smaller than the box takes the part inside it.
  auto small = Solid(4, 5, 7);
  m->CopyBitmap(small.get(), src.get(), false, false);
  EXPECT_EQ(Px(*small, 3, 4), 0x070707u);  // (3, 4) unselected
  EXPECT_EQ(Px(*small, 2, 4), Px(*src, 2, 4));
  EXPECT_EQ(Px(*small, 1, 4), 0x070707u);

  // 1-bit bitmaps: the bit copied, set or cleared.
  auto b1 = Solid(10, 8, 0xFF, pf1bit), s1 = Solid(10, 8, 0, pf1bit);
  static_cast<uint8_t*>(s1->ScanLine(5))[0] = 0x20;  // pixel (2, 5) set
  m->CopyBitmap(b1.get(), s1.get(), false, false);
  const uint8_t row5 = static_cast<uint8_t*>(b1->ScanLine(5))[0];
  EXPECT_EQ(row5, 0xE3);  // columns 3..5 cleared, 2 copied as set
  // Mixed formats copy nothing.
  auto mixed = Solid(10, 8, 9);
  m->CopyBitmap(mixed.get(), s1.get(), false, false);
  EXPECT_EQ(Px(*mixed, 2, 3), 0x090909u);
}

}  // namespace
