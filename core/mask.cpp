#include "core/mask.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/pixels.h"
#include "gui/graphics.h"

namespace {

constexpr int64_t kMaxBlockSize = int64_t(1) << 46;  // far beyond any real mask

int32_t ClampTo(int64_t v, int32_t lo, int32_t hi) {
  if (v < lo) return lo;
  if (v > hi) return hi;
  return int32_t(v);
}

}  // namespace

TVXMask::TVXMask() = default;

TVXMask::~TVXMask() = default;

size_t TVXMask::BlockSize() const {
  if (fWidth <= 0 || fHeight <= 0 || fRowlen <= 0) return 0;
  if (fRowlen > kMaxBlockSize / fHeight) return 0;
  // A mask beyond the library's image limits gets no storage.
  if (int64_t(fWidth) * fHeight > VXGetGlobalSettings()->MaxImagePixels() ||
      !VXStorageSizeAllowed(int64_t(fRowlen) * fHeight))
    return 0;
  return size_t(fRowlen) * size_t(fHeight);
}

bool TVXMask::EnsureBits() {
  if (fBits) return true;
  size_t size = BlockSize();
  if (size == 0) return false;
  fBits.reset(new (std::nothrow) uint8_t[size]());
  return fBits != nullptr;
}

uint8_t* TVXMask::Bits() {
  EnsureBits();
  return fBits.get();
}

uint8_t* TVXMask::GetScanLine(int32_t Row) {
  if (Row < 0 || Row >= fHeight || !EnsureBits()) return nullptr;
  return RowPtr(Row);
}

void TVXMask::EmptyBoxRect() {
  fX1 = EmptyBox;
  fY1 = EmptyBox;
  fX2 = 0;
  fY2 = 0;
}

void TVXMask::ClampBox() {
  int32_t xmax = std::max(fWidth - 1, 0);
  int32_t ymax = std::max(fHeight - 1, 0);
  fX1 = ClampTo(fX1, 0, xmax);
  fY1 = ClampTo(fY1, 0, ymax);
  fX2 = ClampTo(fX2, 0, xmax);
  fY2 = ClampTo(fY2, 0, ymax);
}

// Grows the box to include (x, y), clamped to the mask.
void TVXMask::WidenBox(int64_t x, int64_t y) {
  int32_t xmax = std::max(fWidth - 1, 0);
  int32_t ymax = std::max(fHeight - 1, 0);
  int32_t cx = ClampTo(x, 0, xmax);
  int32_t cy = ClampTo(y, 0, ymax);
  if (cx < fX1) fX1 = cx;
  if (cy < fY1) fY1 = cy;
  if (cx > fX2) fX2 = cx;
  if (cy > fY2) fY2 = cy;
}

// Full stays true only while every value written is a full one.
void TVXMask::UpdateFull(bool fullValue) {
  fFull = fFull && fullValue;
}

void TVXMask::AllocateBits(int32_t width, int32_t height, int32_t bitsperpixel) {
  FreeBits();
  fWidth = std::max(width, 0);
  fHeight = std::max(height, 0);
  fBitsperpixel = std::max(bitsperpixel, 0);
  fRowlen = VXBitmapRowLen(fWidth, fBitsperpixel, 32);
  EmptyBoxRect();
  fFull = false;
}

void TVXMask::FreeBits() {
  fBits.reset();
  FreeScratch();
  fWidth = 0;
  fHeight = 0;
  fBitsperpixel = 0;
  fRowlen = 0;
}

void TVXMask::Assign(const TVXMask* Source) {
  if (Source == nullptr || Source == this) return;
  AllocateBits(Source->fWidth, Source->fHeight, Source->fBitsperpixel);
  if (Source->fBits && EnsureBits()) std::memcpy(fBits.get(), Source->fBits.get(), BlockSize());
  fX1 = Source->fX1;
  fY1 = Source->fY1;
  fX2 = Source->fX2;
  fY2 = Source->fY2;
  fFull = Source->fFull;
}

// Stores one pixel without touching the box or Full; (x, y) must be inside.
void TVXMask::WritePixel(int32_t x, int32_t y, int32_t Alpha) {
  uint8_t* row = RowPtr(y);
  if (fBitsperpixel == 1) {
    uint8_t bit = uint8_t(0x80u >> (x & 7));
    if (Alpha != 0)
      row[x >> 3] |= bit;
    else
      row[x >> 3] &= uint8_t(~bit);
  } else if (fBitsperpixel == 8) {
    row[x] = uint8_t(Alpha);
  }
}

void TVXMask::SetPixel(int32_t x, int32_t y, int32_t Alpha) {
  if (x < 0 || x >= fWidth || y < 0 || y >= fHeight) return;
  if (!EnsureBits()) return;
  if (Alpha != 0) WidenBox(x, y);
  if (fBitsperpixel == 1)
    UpdateFull(Alpha != 0);
  else
    UpdateFull(uint8_t(Alpha) == 255);
  WritePixel(x, y, Alpha);
}

int32_t TVXMask::GetPixel(int32_t x, int32_t y) const {
  if (x < 0 || x >= fWidth || y < 0 || y >= fHeight || !fBits) return 0;
  const uint8_t* row = RowPtr(y);
  if (fBitsperpixel == 1) return row[x >> 3] & (0x80 >> (x & 7));
  if (fBitsperpixel == 8) return row[x];
  return 0;
}

bool TVXMask::IsPointInside(int32_t x, int32_t y) const {
  return fBits && GetPixel(x, y) != 0;
}

// Fills columns x1..x2 of row y, both clamped into the mask. 1-bit masks set
// their bits only for Alpha 1 and clear them for any other value. Returns the
// number of pixels written.
int64_t TVXMask::FillSpan(int32_t Alpha, int64_t y, int64_t x1, int64_t x2) {
  if (fWidth <= 0 || fHeight <= 0 || !EnsureBits()) return 0;
  if (x1 < 0) x1 = 0;
  if (x2 > fWidth - 1) x2 = fWidth - 1;
  int32_t row = ClampTo(y, 0, fHeight - 1);
  if (fBitsperpixel == 1)
    UpdateFull(Alpha == 1);
  else
    UpdateFull(uint8_t(Alpha) == 255);
  if (x2 < x1) return 0;
  uint8_t* p = RowPtr(row);
  int32_t a = int32_t(x1), b = int32_t(x2);
  if (fBitsperpixel == 1) {
    bool set = Alpha == 1;
    int32_t firstByte = a >> 3, lastByte = b >> 3;
    uint8_t firstMask = uint8_t(0xFFu >> (a & 7));
    uint8_t lastMask = uint8_t(0xFFu << (7 - (b & 7)));
    if (firstByte == lastByte) {
      uint8_t m = firstMask & lastMask;
      p[firstByte] = set ? uint8_t(p[firstByte] | m) : uint8_t(p[firstByte] & ~m);
    } else {
      p[firstByte] = set ? uint8_t(p[firstByte] | firstMask) : uint8_t(p[firstByte] & ~firstMask);
      if (lastByte - firstByte > 1) std::memset(p + firstByte + 1, set ? 0xFF : 0x00, size_t(lastByte - firstByte - 1));
      p[lastByte] = set ? uint8_t(p[lastByte] | lastMask) : uint8_t(p[lastByte] & ~lastMask);
    }
  } else if (fBitsperpixel == 8) {
    std::memset(p + a, uint8_t(Alpha), size_t(b - a + 1));
  } else {
    return 0;
  }
  return int64_t(b) - a + 1;
}

void TVXMask::SetRectangle(const TRect& Rect, int32_t Alpha) {
  SetRectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom, Alpha);
}

void TVXMask::SetRectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Alpha) {
  if (y2 >= y1 && fHeight > 0) {
    // Rows outside the mask land on its first or last row; drawing the same
    // span there once is the same as drawing it for every such row.
    int32_t from = ClampTo(y1, 0, fHeight - 1);
    int32_t to = ClampTo(y2, 0, fHeight - 1);
    for (int32_t y = from; y <= to; ++y) FillSpan(Alpha, y, x1, x2);
  }
  if (x1 < fX1) fX1 = std::max(0, x1);
  if (x2 > fX2) fX2 = std::min(fWidth - 1, x2);
  if (y1 < fY1) fY1 = std::max(0, y1);
  if (y2 > fY2) fY2 = std::min(fHeight - 1, y2);
}

void TVXMask::SetEllipse(int32_t CenterX, int32_t CenterY, int32_t Width, int32_t Height, int32_t Alpha) {
  const int64_t a = Width / 2;
  const int64_t b = Height / 2;
  const int64_t cx = CenterX, cy = CenterY;

  fX1 = int32_t(std::max<int64_t>(0, std::min<int64_t>(cx - a, fX1)));
  fX2 = int32_t(std::min<int64_t>(int64_t(fWidth) - 1, std::max<int64_t>(cx + a, fX2)));
  fY1 = int32_t(std::max<int64_t>(0, std::min<int64_t>(cy - b, fY1)));
  fY2 = int32_t(std::min<int64_t>(int64_t(fHeight) - 1, std::max<int64_t>(cy + b, fY2)));

  // Both half-axes 0: a single point (the stepping below would never end).
  if (a == 0 && b == 0) {
    FillSpan(Alpha, cy, cx, cx);
    return;
  }

  using wide = __int128;
  const wide A2 = wide(a) * a, B2 = wide(b) * b;
  const wide twoA2 = 2 * A2, twoB2 = 2 * B2;

  // First region: from the right end of the horizontal axis up to where the
  // slope reaches -1.
  {
    int64_t x = a, y = 0;
    wide xChange = B2 * (1 - 2 * wide(a));
    wide yChange = A2;
    wide error = 0;
    wide stopX = twoB2 * a;
    wide stopY = 0;
    while (stopX >= stopY) {
      FillSpan(Alpha, cy + y, cx - x, cx + x);
      FillSpan(Alpha, cy - y, cx - x, cx + x);
      ++y;
      stopY += twoA2;
      error += yChange;
      yChange += twoA2;
      if (2 * error + xChange > 0) {
        --x;
        stopX -= twoB2;
        error += xChange;
        xChange += twoB2;
      }
    }
  }
  // Second region: from the top of the vertical axis down to the first one.
  {
    int64_t x = 0, y = b;
    wide xChange = B2;
    wide yChange = A2 * (1 - 2 * wide(b));
    wide error = 0;
    wide stopX = 0;
    wide stopY = twoA2 * b;
    while (stopY >= stopX) {
      FillSpan(Alpha, cy + y, cx - x, cx + x);
      FillSpan(Alpha, cy - y, cx - x, cx + x);
      ++x;
      stopX += twoB2;
      error += xChange;
      xChange += twoB2;
      if (2 * error + yChange > 0) {
        --y;
        stopY -= twoA2;
        error += yChange;
        yChange += twoA2;
      }
    }
  }
}

namespace {

struct PolyEdge {
  int64_t x;       // current x (the upper end's x at the start)
  int64_t dx, dy;  // lower end minus upper end; dy > 0
  int64_t ylower;  // y of the lower end
  int64_t error;
  int64_t yupper;
};

}  // namespace

void TVXMask::FillPolygon(int32_t Alpha, const TPoint* Points, int32_t Count) {
  if (Count < 0) Count = 0;
  int64_t ymin = 0, ymax = -1;
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t x = Points[i].X, y = Points[i].Y;
    if (Alpha != 0) {
      if (x < fX1) fX1 = x;
      if (y < fY1) fY1 = y;
      if (x > fX2) fX2 = x - 1;
      if (y > fY2) fY2 = y - 1;
    }
    if (i == 0) {
      ymin = ymax = y;
    } else {
      ymin = std::min<int64_t>(ymin, y);
      ymax = std::max<int64_t>(ymax, y);
    }
  }
  if (Alpha != 0 && Count > 0) ClampBox();

  // Edge table ordered by upper y; horizontal edges are left out.
  std::vector<PolyEdge> edges;
  edges.reserve(size_t(Count));
  for (int32_t i = 0; i < Count; ++i) {
    const TPoint& p = Points[i];
    const TPoint& q = Points[(i + 1) % Count];
    if (p.Y == q.Y) continue;
    const TPoint& up = p.Y < q.Y ? p : q;
    const TPoint& lo = p.Y < q.Y ? q : p;
    PolyEdge e;
    e.x = up.X;
    e.dx = int64_t(lo.X) - up.X;
    e.dy = int64_t(lo.Y) - up.Y;
    e.ylower = lo.Y;
    e.yupper = up.Y;
    e.error = 0;
    edges.push_back(e);
  }
  std::stable_sort(edges.begin(), edges.end(), [](const PolyEdge& l, const PolyEdge& r) { return l.yupper < r.yupper; });

  int64_t written = 0;
  std::vector<PolyEdge> active;
  size_t next = 0;
  for (int64_t y = ymin; y <= ymax && (next < edges.size() || !active.empty()); ++y) {
    // Retire the edges that end here and step the others.
    size_t keep = 0;
    for (size_t k = 0; k < active.size(); ++k) {
      PolyEdge e = active[k];
      if (e.ylower == y) continue;
      if (e.dx != 0) {
        const int64_t q = e.dx / e.dy;
        e.x += q;
        e.error += 2 * e.dx - 2 * q * e.dy;
        if (e.error > e.dy || e.error < -e.dy) {
          if (e.dx <= 0) {
            e.x -= 1;
            e.error += 2 * e.dy;
          } else {
            e.x += 1;
            e.error -= 2 * e.dy;
          }
        }
      }
      active[keep++] = e;
    }
    active.resize(keep);
    // Edges that cross keep the list ordered by x (a stable pass leaves the
    // order of a simple polygon as it was).
    for (size_t k = 1; k < active.size(); ++k) {
      PolyEdge e = active[k];
      size_t j = k;
      while (j > 0 && active[j - 1].x > e.x) {
        active[j] = active[j - 1];
        --j;
      }
      active[j] = e;
    }
    // Insert the edges that start on this line, sorted by x; on equal x a new
    // edge goes before the first one whose slope is at least its own.
    while (next < edges.size() && edges[next].yupper == y) {
      const PolyEdge& e = edges[next++];
      size_t pos = 0;
      while (pos < active.size()) {
        const PolyEdge& o = active[pos];
        if (o.x > e.x) break;
        // dx/dy >= e.dx/e.dy, compared exactly (both dy positive)
        if (o.x == e.x && __int128(o.dx) * e.dy >= __int128(e.dx) * o.dy) break;
        ++pos;
      }
      active.insert(active.begin() + ptrdiff_t(pos), e);
    }
    // Even-odd spans between pairs of edges, right end excluded.
    for (size_t k = 0; k + 1 < active.size(); k += 2) {
      const int64_t xl = active[k].x, xr = active[k + 1].x - 1;
      if (xr >= xl) written += FillSpan(Alpha, y, xl, xr);
    }
  }
  if (written == 0) EmptyBoxRect();
}

void TVXMask::DrawPolygon(int32_t Alpha, const TPoint* SelPoly, int32_t SelPolyCount) {
  if (SelPoly != nullptr && SelPolyCount > 0) {
    int32_t start = 0;
    for (int32_t i = 0; i <= SelPolyCount; ++i) {
      if (i == SelPolyCount || SelPoly[i].X == PolygonSeparator) {
        FillPolygon(Alpha, SelPoly + start, i - start);
        start = i + 1;
      }
    }
  }
  SyncFull();
}

void TVXMask::Fill(int32_t Alpha) {
  if (EnsureBits()) std::memset(fBits.get(), uint8_t(Alpha), BlockSize());
  fFull = Alpha == 255;
}

void TVXMask::Empty() {
  if (fBits)
    Fill(0);
  else
    fFull = false;
  EmptyBoxRect();
}

void TVXMask::SyncRect() {
  EmptyBoxRect();
  if (!fBits) return;
  for (int32_t y = 0; y < fHeight; ++y) {
    const uint8_t* row = RowPtr(y);
    if (fBitsperpixel == 1) {
      for (int32_t x = 0; x < fWidth; ++x) {
        if (row[x >> 3] == 0) {  // skip clear bytes
          x |= 7;
          continue;
        }
        if (row[x >> 3] & (0x80 >> (x & 7))) WidenBox(x, y);
      }
    } else if (fBitsperpixel == 8) {
      for (int32_t x = 0; x < fWidth; ++x)
        if (row[x] != 0) WidenBox(x, y);
    }
  }
}

void TVXMask::SyncFull() {
  if (fWidth <= 0 || fHeight <= 0 || !fBits || (fBitsperpixel != 1 && fBitsperpixel != 8)) {
    fFull = false;
    return;
  }
  for (int32_t y = 0; y < fHeight; ++y) {
    const uint8_t* row = RowPtr(y);
    if (fBitsperpixel == 1) {
      const int32_t whole = fWidth / 8;
      for (int32_t i = 0; i < whole; ++i)
        if (row[i] != 0xFF) {
          fFull = false;
          return;
        }
      for (int32_t x = whole * 8; x < fWidth; ++x)
        if (GetPixel(x, y) == 0) {
          fFull = false;
          return;
        }
    } else {
      for (int32_t x = 0; x < fWidth; ++x)
        if (row[x] != 255) {
          fFull = false;
          return;
        }
    }
  }
  fFull = true;
}

void TVXMask::Resize(int32_t NewWidth, int32_t NewHeight) {
  NewWidth = std::max(NewWidth, 0);
  NewHeight = std::max(NewHeight, 0);
  const int32_t oldWidth = fWidth, oldHeight = fHeight;
  const int64_t oldRowlen = fRowlen;
  std::unique_ptr<uint8_t[]> old = std::move(fBits);
  fWidth = NewWidth;
  fHeight = NewHeight;
  fRowlen = VXBitmapRowLen(fWidth, fBitsperpixel, 32);
  if (old && EnsureBits()) {
    // Only the pixels of the old rows are carried over: whatever lay in their
    // padding must not turn into selected pixels of the wider mask.
    const int32_t rows = std::min(oldHeight, NewHeight);
    const int32_t cols = std::min(oldWidth, NewWidth);
    const int64_t bits = int64_t(cols) * fBitsperpixel;
    const size_t wholeBytes = size_t(bits / 8);
    const int32_t restBits = int32_t(bits % 8);
    for (int32_t y = 0; y < rows; ++y) {
      const uint8_t* src = old.get() + size_t(oldHeight - 1 - y) * size_t(oldRowlen);
      uint8_t* dst = RowPtr(y);
      std::memcpy(dst, src, wholeBytes);
      if (restBits) dst[wholeBytes] = uint8_t(src[wholeBytes] & (0xFF00u >> restBits));
    }
  }
  if (fX1 < fX2) {
    fX1 = std::min(fX1, fWidth - 1);
    fY1 = std::min(fY1, fHeight - 1);
    fX2 = std::min(fX2, fWidth - 1);
    fY2 = std::min(fY2, fHeight - 1);
  }
}

std::unique_ptr<TVXMask> TVXMask::CreateResampledMask(int32_t NewWidth, int32_t NewHeight) const {
  auto result = std::make_unique<TVXMask>();
  NewWidth = std::max(NewWidth, 0);
  NewHeight = std::max(NewHeight, 0);
  result->AllocateBits(NewWidth, NewHeight, fBitsperpixel);
  result->fFull = fFull;
  if (NewWidth == 0 || NewHeight == 0) return result;
  if (fBits && fWidth > 0 && fHeight > 0 && result->EnsureBits()) {
    std::vector<int32_t> cols(static_cast<size_t>(NewWidth));
    for (int32_t j = 0; j < NewWidth; ++j) cols[size_t(j)] = int32_t(int64_t(j) * fWidth / NewWidth);
    for (int32_t i = 0; i < NewHeight; ++i) {
      const int32_t sy = int32_t(int64_t(i) * fHeight / NewHeight);
      const uint8_t* src = RowPtr(sy);
      uint8_t* dst = result->RowPtr(i);
      if (fBitsperpixel == 8) {
        for (int32_t j = 0; j < NewWidth; ++j) dst[j] = src[cols[size_t(j)]];
      } else if (fBitsperpixel == 1) {
        for (int32_t j = 0; j < NewWidth; ++j) {
          const int32_t sx = cols[size_t(j)];
          if (src[sx >> 3] & (0x80 >> (sx & 7))) dst[j >> 3] |= uint8_t(0x80 >> (j & 7));
        }
      }
    }
  }
  if (!IsEmpty() && fWidth > 0 && fHeight > 0) {
    const double rx = double(fWidth) / NewWidth;
    const double ry = double(fHeight) / NewHeight;
    result->fX1 = int32_t(std::trunc(fX1 / rx));
    result->fY1 = int32_t(std::trunc(fY1 / ry));
    result->fX2 = int32_t(std::trunc(fX2 / rx));
    result->fY2 = int32_t(std::trunc(fY2 / ry));
  }
  return result;
}

void TVXMask::Negative(int32_t MaxVal) {
  if (fX1 == EmptyBox || fY1 == EmptyBox) return;
  if (!EnsureBits()) return;
  fFull = false;
  EmptyBoxRect();
  for (int32_t y = 0; y < fHeight; ++y)
    for (int32_t x = 0; x < fWidth; ++x) {
      if (GetPixel(x, y) != 0) {
        WritePixel(x, y, 0);
      } else {
        WritePixel(x, y, MaxVal);
        WidenBox(x, y);
      }
    }
}

void TVXMask::Intersect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!IsEmpty() && EnsureBits()) {
    const int32_t bx1 = std::max(fX1, 0), by1 = std::max(fY1, 0);
    const int32_t bx2 = std::min(fX2, fWidth - 1), by2 = std::min(fY2, fHeight - 1);
    for (int32_t y = by1; y <= by2; ++y)
      for (int32_t x = bx1; x <= bx2; ++x)
        if (x < x1 || x > x2 || y < y1 || y > y2) WritePixel(x, y, 0);
  }
  SyncRect();
  SyncFull();
}

void TVXMask::TranslateBitmap(int32_t& ox, int32_t& oy, bool CutSel) {
  if (IsEmpty()) SyncRect();
  if (IsEmpty()) return;
  if (!EnsureBits()) return;

  int64_t X1 = fX1, Y1 = fY1, X2 = fX2, Y2 = fY2;
  if (CutSel) {
    if (X1 + ox < 0) X1 = -int64_t(ox);
    if (Y1 + oy < 0) Y1 = -int64_t(oy);
    if (X2 + ox >= fWidth) X2 = int64_t(fWidth) - 1 - ox;
    if (Y2 + oy >= fHeight) Y2 = int64_t(fHeight) - 1 - oy;
  } else {
    if (X1 + ox < 0) ox = int32_t(-X1);
    if (X2 + ox >= fWidth) ox = int32_t(fWidth - 1 - X2);
    if (Y1 + oy < 0) oy = int32_t(-Y1);
    if (Y2 + oy >= fHeight) oy = int32_t(fHeight - 1 - Y2);
  }
  fX1 = int32_t(X1);
  fY1 = int32_t(Y1);
  fX2 = int32_t(X2);
  fY2 = int32_t(Y2);
  if (ox == 0 && oy == 0) return;

  // The walked part of the box never leaves the mask.
  const int32_t bx1 = std::max<int32_t>(fX1, 0), by1 = std::max<int32_t>(fY1, 0);
  const int32_t bx2 = std::min<int32_t>(fX2, fWidth - 1), by2 = std::min<int32_t>(fY2, fHeight - 1);

  if (fBitsperpixel == 1) {
    if (fX2 < fX1 || fY2 < fY1) {
      Empty();
      return;
    }
    const int64_t w = std::max(0, bx2 - bx1 + 1), h = std::max(0, by2 - by1 + 1);
    std::vector<uint8_t> saved(size_t(w * h));
    for (int32_t y = by1; y <= by2; ++y)
      for (int32_t x = bx1; x <= bx2; ++x) saved[size_t((y - by1) * w + (x - bx1))] = GetPixel(x, y) != 0;
    std::memset(fBits.get(), 0, BlockSize());
    for (int32_t y = by1; y <= by2; ++y)
      for (int32_t x = bx1; x <= bx2; ++x) {
        const int64_t tx = int64_t(x) + ox, ty = int64_t(y) + oy;
        if (tx < 0 || tx >= fWidth || ty < 0 || ty >= fHeight) continue;
        if (saved[size_t((y - by1) * w + (x - bx1))]) WritePixel(int32_t(tx), int32_t(ty), 1);
      }
  } else if (fBitsperpixel == 8) {
    const size_t size = BlockSize();
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[size]);
    if (!copy) return;
    std::memcpy(copy.get(), fBits.get(), size);
    std::memset(fBits.get(), 0, size);
    for (int32_t y = by1; y <= by2; ++y) {
      const int64_t ty = int64_t(y) + oy;
      if (ty < 0 || ty >= fHeight) continue;
      const uint8_t* src = copy.get() + size_t(fHeight - 1 - y) * size_t(fRowlen);
      uint8_t* dst = RowPtr(int32_t(ty));
      for (int32_t x = bx1; x <= bx2; ++x) {
        const int64_t tx = int64_t(x) + ox;
        if (tx < 0 || tx >= fWidth) continue;
        dst[tx] = src[x];
      }
    }
  }
  fX1 = ClampTo(int64_t(fX1) + ox, 0, std::max(fWidth - 1, 0));
  fX2 = ClampTo(int64_t(fX2) + ox, 0, std::max(fWidth - 1, 0));
  fY1 = ClampTo(int64_t(fY1) + oy, 0, std::max(fHeight - 1, 0));
  fY2 = ClampTo(int64_t(fY2) + oy, 0, std::max(fHeight - 1, 0));
}

void TVXMask::CombineWithAlpha(TVXBitmap* SourceAlpha, int32_t ox, int32_t oy, bool SynchronizeBoundingRect) {
  if (SourceAlpha == nullptr) return;
  const TVXPixelFormat pf = SourceAlpha->PixelFormat();
  if (pf != vx8g && pf != vx8p) return;
  if (EnsureBits() && (fBitsperpixel == 1 || fBitsperpixel == 8)) {
    const int32_t sw = SourceAlpha->Width(), sh = SourceAlpha->Height();
    // Pixels that fall outside the mask, on any side, are skipped.
    const int32_t j0 = oy < 0 ? int32_t(std::min<int64_t>(-int64_t(oy), sh)) : 0;
    const int32_t i0 = ox < 0 ? int32_t(std::min<int64_t>(-int64_t(ox), sw)) : 0;
    const int32_t j1 = int32_t(std::min<int64_t>(sh, int64_t(fHeight) - oy));
    const int32_t i1 = int32_t(std::min<int64_t>(sw, int64_t(fWidth) - ox));
    for (int32_t j = j0; j < j1; ++j) {
      const uint8_t* src = static_cast<const uint8_t*>(SourceAlpha->GetScanLine(j));
      if (src == nullptr) continue;
      uint8_t* dst = RowPtr(oy + j);
      for (int32_t i = i0; i < i1; ++i) {
        const int32_t x = ox + i;
        const uint8_t a = src[i];
        if (fBitsperpixel == 1) {
          if (a == 0) dst[x >> 3] &= uint8_t(~(0x80u >> (x & 7)));
        } else {
          dst[x] = std::min(a, dst[x]);
        }
      }
    }
  }
  if (SynchronizeBoundingRect) SyncRect();
  SyncFull();
}
