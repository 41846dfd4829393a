// Chain-code tracing of masks and object separation.

#include "proc/contours.h"

#include <algorithm>
#include <cstring>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/mask.h"
#include "core/rowops.h"
#include "core/settings.h"

TVXChainCode::TVXChainCode(int32_t aSCALE) : SCALE(aSCALE), code(512, 0), length(512) {}

void TVXChainCode::add(char c) {
  if (alength >= length - 1) {
    length *= 2;
    code.resize(size_t(length), 0);
  }
  code[size_t(alength++)] = c;
  code[size_t(alength)] = 0;
}

std::unique_ptr<TVXChainCode> TVXChainCode::postProcess() const {
  auto out = std::make_unique<TVXChainCode>(SCALE);
  const int32_t S = std::max(SCALE, 1);
  auto allEqual = [&](int32_t from, int32_t n) {
    if (from + n > alength) return false;
    for (int32_t i = 1; i < n; ++i)
      if (code[size_t(from + i)] != code[size_t(from)]) return false;
    return true;
  };
  int32_t pos = 0;
  while (pos < alength) {
    if (allEqual(pos, S)) {
      out->add(code[size_t(pos)]);
      pos += S;
    } else if (S > 1 && allEqual(pos, S - 1)) {
      pos += S - 1;
    } else {
      out->add(code[size_t(pos)]);
      ++pos;
    }
  }
  return out;
}

namespace {

constexpr int32_t DX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t DY[8] = {0, -1, -1, -1, 0, 1, 1, 1};
constexpr int32_t TryOrder[8] = {0, 2, 4, 6, 1, 3, 5, 7};

// 1-bit rows: the bit, most significant first; 8-bit rows: not 0.
bool RowPixelSet(const uint8_t* row, int32_t BitsPerPixel, int32_t x) {
  if (!row) return false;
  return BitsPerPixel == 1 ? ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0 : row[x] != 0;
}

}  // namespace

std::vector<TPoint> VXMaskToPolygons(TVXMask* Mask, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Scale) {
  const TPoint separator{VXPolygonSeparator, VXPolygonSeparator};
  std::vector<TPoint> list;
  const int32_t S = std::max(Scale, 1);
  if (Mask) {
    X1 = std::max(X1, 0), Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Mask->Width() - 1), Y2 = std::min(Y2, Mask->Height() - 1);
  }
  if (!Mask || X2 < X1 || Y2 < Y1) {
    list.push_back(separator);
    return list;
  }
  // Outside 1, inside 0, with two outside cells around the enlarged part.
  const int64_t gw = int64_t(S) * (X2 - X1 + 1) + 4, gh = int64_t(S) * (Y2 - Y1 + 1) + 4;
  std::vector<uint8_t> grid(size_t(gw) * size_t(gh), 1);
  auto cell = [&](int64_t c, int64_t r) -> uint8_t& { return grid[size_t(r) * size_t(gw) + size_t(c)]; };
  for (int32_t y = Y1; y <= Y2; ++y) {
    const int32_t bpp = Mask->BitsPerPixel();
    const uint8_t* row = bpp == 1 || bpp == 8 ? Mask->GetScanLine(y) : nullptr;
    for (int32_t x = X1; x <= X2; ++x) {
      const bool set = row ? RowPixelSet(row, bpp, x) : Mask->GetPixel(x, y) != 0;
      if (!set) continue;
      const int64_t c0 = int64_t(S) * (x - X1) + 2, r0 = int64_t(S) * (y - Y1) + 2;
      for (int64_t r = r0; r < r0 + S; ++r) std::memset(&cell(c0, r), 0, size_t(S));
    }
  }
  // Marks (2): inside cells with an outside cell to the left, right, above
  // or below.
  for (int64_t r = 1; r < gh - 1; ++r)
    for (int64_t c = 1; c < gw - 1; ++c)
      if (cell(c, r) != 1 && (cell(c - 1, r) == 1 || cell(c + 1, r) == 1 || cell(c, r - 1) == 1 || cell(c, r + 1) == 1))
        cell(c, r) = 2;

  int64_t searchRow = 0;
  for (;;) {
    int64_t sc = -1, sr = -1;
    for (int64_t r = searchRow; r < gh && sc < 0; ++r)
      for (int64_t c = 1; c < gw; ++c)
        if (cell(c, r) == 2) {
          sc = c, sr = r;
          break;
        }
    if (sc < 0) break;
    searchRow = sr;
    TVXChainCode chain(S);
    cell(sc, sr) = 3;
    int64_t c = sc, r = sr;
    int32_t d = 4;
    for (;;) {
      if (cell(c + DX[d], r + DY[d]) == 2) {
        c += DX[d], r += DY[d];
        cell(c, r) = 3;
        chain.add(char('0' + d));
      }
      int32_t k = 0;
      while (k < 8 && cell(c + DX[TryOrder[k]], r + DY[TryOrder[k]]) != 2) ++k;
      if (k == 8) break;
      d = TryOrder[k];
      c += DX[d], r += DY[d];
      cell(c, r) = 3;
      chain.add(char('0' + d));
    }
    for (const int32_t k : TryOrder)
      if (c + DX[k] == sc && r + DY[k] == sr) {
        chain.add(char('0' + k));
        break;
      }
    const std::unique_ptr<TVXChainCode> moves = chain.postProcess();
    list.push_back(separator);
    TPoint p{int32_t((sc - 2) / S + X1), int32_t((sr - 2) / S + Y1)};
    for (int32_t j = 0; j < moves->alength; ++j) {
      const int32_t m = moves->code[size_t(j)] - '0';
      if (j == 0 || j == moves->alength - 1 || moves->code[size_t(j)] != moves->code[size_t(j - 1)]) list.push_back(p);
      p.X += DX[m], p.Y += DY[m];
    }
  }
  list.push_back(separator);
  return list;
}

namespace {

// Whether the listed rectangle takes in Box: they overlap (merging common
// areas), or the listed one lies wholly inside Box.
bool Takes(const TRect& Listed, const TRect& Box, bool MergeCommonAreas) {
  if (MergeCommonAreas)
    return VXRectsIntersect(Box.Left, Box.Top, Box.Right, Box.Bottom, Listed.Left, Listed.Top, Listed.Right,
                            Listed.Bottom);
  return VXRectVisibility(Box.Left, Box.Top, Box.Right, Box.Bottom, Listed.Left, Listed.Top, Listed.Right,
                          Listed.Bottom) == 2;
}

void Unite(TRect& a, const TRect& b) {
  a.Left = std::min(a.Left, b.Left), a.Top = std::min(a.Top, b.Top);
  a.Right = std::max(a.Right, b.Right), a.Bottom = std::max(a.Bottom, b.Bottom);
}

}  // namespace

std::vector<TRect> VXDoSeparateObjects(TVXBitmap* Bitmap, bool MergeCommonAreas, int32_t Quality, bool UseColorRange,
                                       TRGB BackgroundColorBegin, TRGB BackgroundColorEnd) {
  std::vector<TRect> rects;
  if (!Bitmap || Bitmap->IsEmpty()) return rects;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  TVXMask mask;
  mask.AllocateBits(W + 2, H + 2, 8);
  mask.Fill(255);
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int32_t cr = s->RedToGrayCoef(), cg = s->GreenToGrayCoef(), cb = s->BlueToGrayCoef();
  auto grey = [&](TRGB p) { return (cr * p.r + cg * p.g + cb * p.b) / 100; };
  int32_t threshold = 200;
  if (Bitmap->PixelFormat() == vx24RGB && !UseColorRange) {
    int32_t r = 0, g = 0, b = 0;
    VXCalcAverageChannels(Bitmap, r, g, b);
    threshold = (cr * r + cg * g + cb * b) / 100;
  }
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* m = mask.GetScanLine(y + 1);
    if (!m) return rects;
    for (int32_t x = 0; x < W; ++x) {
      uint8_t v;
      if (Bitmap->PixelFormat() == vx1g) {
        v = Bitmap->Pixels_vx1g(x, y) ? 255 : 0;
      } else if (Bitmap->PixelFormat() == vx24RGB && UseColorRange) {
        const TRGB p = Bitmap->Pixels_vx24RGB(x, y);
        const bool background = p.r >= BackgroundColorBegin.r && p.r <= BackgroundColorEnd.r &&
                                p.g >= BackgroundColorBegin.g && p.g <= BackgroundColorEnd.g &&
                                p.b >= BackgroundColorBegin.b && p.b <= BackgroundColorEnd.b;
        v = background ? 255 : 0;  // background light, objects dark, as in the other forms
      } else {
        const TRGB p = Bitmap->PixelFormat() == vx24RGB ? Bitmap->Pixels_vx24RGB(x, y) : Bitmap->Pixels(x, y);
        v = grey(p) >= threshold ? 255 : 0;
      }
      m[x + 1] = v;
    }
  }
  const std::vector<TPoint> polygons = VXMaskToPolygons(&mask, 0, 0, W + 1, H + 1, Quality);
  const TRect whole{0, 0, W + 1, H + 1};
  for (size_t i = 0; i + 1 < polygons.size();) {
    size_t j = i + 1;  // past the separator
    TRect box{VXPolygonSeparator, VXPolygonSeparator, -VXPolygonSeparator, -VXPolygonSeparator};
    size_t count = 0;
    for (; j < polygons.size() && polygons[j].X != VXPolygonSeparator; ++j, ++count) {
      box.Left = std::min(box.Left, polygons[j].X), box.Top = std::min(box.Top, polygons[j].Y);
      box.Right = std::max(box.Right, polygons[j].X), box.Bottom = std::max(box.Bottom, polygons[j].Y);
    }
    i = j;
    if (count <= 3 || box == whole) continue;
    auto it = std::find_if(rects.begin(), rects.end(), [&](const TRect& r) { return Takes(r, box, MergeCommonAreas); });
    if (it != rects.end())
      Unite(*it, box);
    else
      rects.push_back(box);
  }
  for (size_t i = 0; i < rects.size(); ++i)
    for (size_t j = i + 1; j < rects.size();) {
      if (Takes(rects[i], rects[j], MergeCommonAreas)) {
        Unite(rects[i], rects[j]);
        rects.erase(rects.begin() + ptrdiff_t(j));
        j = i + 1;
      } else {
        ++j;
      }
    }
  std::vector<TRect> result;
  for (TRect r : rects) {
    if (r.Left >= r.Right - 1 || r.Top >= r.Bottom - 1) continue;
    r.Right -= 2, r.Bottom -= 2;
    result.push_back(r);
  }
  return result;
}
