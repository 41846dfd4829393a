// The magic wand: span fill, global selection and outline tracing.

#include "proc/magicwand.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/rowops.h"
#include "proc/edits.h"

namespace {

// One byte per pixel: 1 where the colour is similar to the seed's.
struct TSimilarMap {
  int32_t W = 0, H = 0;
  std::vector<uint8_t> similar;
  bool At(int32_t x, int32_t y) const { return similar[size_t(y) * size_t(W) + size_t(x)] != 0; }
};

TSimilarMap SimilarMap(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Tolerance) {
  TSimilarMap m;
  m.W = Bitmap->Width(), m.H = Bitmap->Height();
  std::vector<TRGB> row(size_t(m.W));
  VXRowToRGB(Bitmap, y, row.data());
  const TRGB seed = row[size_t(x)];
  m.similar.resize(size_t(m.W) * size_t(m.H));
  for (int32_t r = 0; r < m.H; ++r) {
    VXRowToRGB(Bitmap, r, row.data());
    uint8_t* out = m.similar.data() + size_t(r) * size_t(m.W);
    for (int32_t c = 0; c < m.W; ++c) out[c] = VXColorsWithinTolerance(Tolerance, row[size_t(c)], seed);
  }
  return m;
}

bool Inside(TVXBitmap* Bitmap, int32_t x, int32_t y) {
  return Bitmap && x >= 0 && y >= 0 && x < Bitmap->Width() && y < Bitmap->Height();
}

// The visited pixels of the fill, one bit per pixel (width div 8 + 1 bytes a
// row, most significant bit first), and their bounding box.
struct TFillResult {
  int32_t W = 0, H = 0;
  int64_t RowBytes = 0;
  std::vector<uint8_t> bits;
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Visited(int32_t x, int32_t y) const {
    return (bits[size_t(y) * size_t(RowBytes) + size_t(x >> 3)] >> (7 - (x & 7))) & 1;
  }
  void Visit(int32_t x, int32_t y) { bits[size_t(y) * size_t(RowBytes) + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7)); }
};

// The 4-connected similar area around (x, y), filled span by span with a
// stack of its own.
TFillResult SpanFill(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Tolerance) {
  const TSimilarMap sim = SimilarMap(Bitmap, x, y, Tolerance);
  TFillResult f;
  f.W = sim.W, f.H = sim.H;
  f.RowBytes = f.W / 8 + 1;
  f.bits.assign(size_t(f.RowBytes) * size_t(f.H), 0);
  f.Left = f.Right = x, f.Top = f.Bottom = y;
  struct Span {
    int32_t y, left, right;
  };
  std::vector<Span> stack;
  stack.reserve(2 * size_t(f.W));
  auto open = [&](int32_t sx, int32_t sy) -> Span {  // fills the span through (sx, sy)
    int32_t l = sx, r = sx;
    while (l > 0 && sim.At(l - 1, sy) && !f.Visited(l - 1, sy)) --l;
    while (r + 1 < f.W && sim.At(r + 1, sy) && !f.Visited(r + 1, sy)) ++r;
    for (int32_t i = l; i <= r; ++i) f.Visit(i, sy);
    f.Left = std::min(f.Left, l), f.Right = std::max(f.Right, r);
    f.Top = std::min(f.Top, sy), f.Bottom = std::max(f.Bottom, sy);
    return Span{sy, l, r};
  };
  stack.push_back(open(x, y));
  while (!stack.empty()) {
    const Span s = stack.back();
    stack.pop_back();
    for (const int32_t ny : {s.y - 1, s.y + 1}) {
      if (ny < 0 || ny >= f.H) continue;
      for (int32_t i = s.left; i <= s.right; ++i)
        if (sim.At(i, ny) && !f.Visited(i, ny)) {
          const Span n = open(i, ny);
          stack.push_back(n);
          i = n.right;
        }
    }
  }
  return f;
}

}  // namespace

void VXMagicWandFill(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Alpha, TVXMask* Mask, int32_t Tolerance,
                     bool MaxFilter) {
  if (!Mask || !Inside(Bitmap, x, y)) return;
  const TFillResult f = SpanFill(Bitmap, x, y, Tolerance);
  if (!MaxFilter) {
    for (int32_t r = f.Top; r <= f.Bottom; ++r)
      for (int32_t c = f.Left; c <= f.Right; ++c)
        if (f.Visited(c, r)) Mask->SetPixel(c, r, Alpha);
    return;
  }
  // Each visited pixel marks the 3 x 3 block around it, cut to the image.
  const int32_t top = std::max(f.Top - 1, 0), bottom = std::min(f.Bottom + 1, f.H - 1);
  const int32_t left = std::max(f.Left - 1, 0), right = std::min(f.Right + 1, f.W - 1);
  for (int32_t r = top; r <= bottom; ++r)
    for (int32_t c = left; c <= right; ++c) {
      bool hit = false;
      for (int32_t dy = -1; dy <= 1 && !hit; ++dy)
        for (int32_t dx = -1; dx <= 1 && !hit; ++dx) {
          const int32_t sx = c + dx, sy = r + dy;
          hit = sx >= 0 && sy >= 0 && sx < f.W && sy < f.H && f.Visited(sx, sy);
        }
      if (hit) Mask->SetPixel(c, r, Alpha);
    }
}

void VXMagicWandGlobal(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Alpha, TVXMask* Mask, int32_t Tolerance) {
  if (!Mask || !Inside(Bitmap, x, y)) return;
  const TSimilarMap sim = SimilarMap(Bitmap, x, y, Tolerance);
  for (int32_t r = 0; r < sim.H; ++r)
    for (int32_t c = 0; c < sim.W; ++c)
      if (sim.At(c, r)) Mask->SetPixel(c, r, Alpha);
}

std::vector<TPoint> VXMagicWandPolygon(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t Tolerance, bool MaxFilter) {
  if (!Inside(Bitmap, x, y)) return {};
  const TFillResult f = SpanFill(Bitmap, x, y, Tolerance);
  const int32_t w = f.Right - f.Left + 1, h = f.Bottom - f.Top + 1;
  // The area in its bounding box, grown by a pixel within the box with
  // MaxFilter.
  std::vector<uint8_t> area(size_t(w) * size_t(h));
  for (int32_t r = 0; r < h; ++r)
    for (int32_t c = 0; c < w; ++c) {
      if (!f.Visited(f.Left + c, f.Top + r)) continue;
      if (!MaxFilter) {
        area[size_t(r) * size_t(w) + size_t(c)] = 1;
        continue;
      }
      for (int32_t yy = std::max(r - 1, 0); yy <= std::min(r + 1, h - 1); ++yy)
        for (int32_t xx = std::max(c - 1, 0); xx <= std::min(c + 1, w - 1); ++xx)
          area[size_t(yy) * size_t(w) + size_t(xx)] = 1;
    }

  // Magnified four times with two empty cells around: 1 inside, then 3 on
  // the empty cells next to the area along rows and columns.
  const int32_t gw = 4 * w + 4, gh = 4 * h + 4;
  std::vector<uint8_t> grid(size_t(gw) * size_t(gh));
  auto cell = [&](int32_t c, int32_t r) -> uint8_t& { return grid[size_t(r) * size_t(gw) + size_t(c)]; };
  for (int32_t r = 0; r < h; ++r)
    for (int32_t c = 0; c < w; ++c)
      if (area[size_t(r) * size_t(w) + size_t(c)])
        for (int32_t gy = 4 * r + 2; gy <= 4 * r + 5; ++gy)
          for (int32_t gx = 4 * c + 2; gx <= 4 * c + 5; ++gx) cell(gx, gy) = 1;
  for (int32_t r = 0; r < gh; ++r)
    for (int32_t c = 1; c < gw; ++c) {
      if (cell(c, r) == 1 && cell(c - 1, r) != 1) cell(c - 1, r) = 3;              // left of a run
      if (cell(gw - 1 - c, r) == 1 && cell(gw - c, r) != 1) cell(gw - c, r) = 3;  // right of a run
    }
  for (int32_t c = 0; c < gw; ++c)
    for (int32_t r = 1; r < gh; ++r) {
      if (cell(c, r) == 1 && cell(c, r - 1) != 1) cell(c, r - 1) = 3;              // above
      if (cell(c, gh - 1 - r) == 1 && cell(c, gh - r) != 1) cell(c, gh - r) = 3;  // below
    }

  // The start: the marked cell nearest to (smallest marked column, smallest
  // marked row), the first in row order on ties.
  int32_t mx = gw, my = gh;
  for (int32_t r = 0; r < gh; ++r)
    for (int32_t c = 0; c < gw; ++c)
      if (cell(c, r) == 3) mx = std::min(mx, c), my = std::min(my, r);
  int32_t sx = -1, sy = -1;
  int64_t best = -1;
  for (int32_t r = 0; r < gh; ++r)
    for (int32_t c = 0; c < gw; ++c)
      if (cell(c, r) == 3) {
        const int64_t d = int64_t(c - mx) * (c - mx) + int64_t(r - my) * (r - my);
        if (best < 0 || d < best) best = d, sx = c, sy = r;
      }
  if (sx < 0) return {};
  cell(sx, sy) = 2;

  // Eight-way walk over the marks, recording the Freeman codes.
  static constexpr int32_t DX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
  static constexpr int32_t DY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
  static constexpr uint8_t CODE[8] = {0, 2, 4, 6, 1, 3, 5, 7};
  auto marked = [&](int32_t c, int32_t r) { return c >= 0 && r >= 0 && c < gw && r < gh && cell(c, r) == 3; };
  std::vector<uint8_t> codes;
  int32_t px = sx, py = sy, d = 4;
  for (;;) {
    if (marked(px + DX[d], py + DY[d])) {
      px += DX[d], py += DY[d];
      cell(px, py) = 2;
      codes.push_back(CODE[d]);
    }
    int32_t i = 0;
    while (i < 8 && !marked(px + DX[i], py + DY[i])) ++i;
    if (i == 8) break;
    px += DX[i], py += DY[i];
    cell(px, py) = 2;
    codes.push_back(CODE[i]);
    d = i;
  }
  for (int32_t i = 0; i < 8; ++i)
    if (px + DX[i] == sx && py + DY[i] == sy) {
      codes.push_back(CODE[i]);
      break;
    }

  // A vertex wherever the code changes, back in image coordinates.
  static constexpr int32_t CX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  static constexpr int32_t CY[8] = {0, -1, -1, -1, 0, 1, 1, 1};
  std::vector<TPoint> poly;
  int64_t cx = sx + 4 * int64_t(f.Left) - 1, cy = sy + 4 * int64_t(f.Top) - 1;
  int previous = -1;
  for (const uint8_t code : codes) {
    if (code != previous) poly.push_back(TPoint{int32_t(cx / 4), int32_t(cy / 4)});
    previous = code;
    cx += CX[code], cy += CY[code];
  }
  return poly;
}
