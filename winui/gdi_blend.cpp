// Alpha blending, gradient fills, parallelogram transfers and DrawDib.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "winui/drawdib.h"
#include "winui/gdi_internal.h"

using namespace vxgdi;

namespace {

// Writes a colour (and, on 32-bit surfaces, an alpha byte) to a pixel.
void PutColor(Bitmap& b, int x, int y, int r, int g, int bl, int a) {
  if (b.Bpp == 32 && !b.HasMasks) {
    uint8_t* p = b.Row(y) + x * 4;
    p[0] = uint8_t(bl);
    p[1] = uint8_t(g);
    p[2] = uint8_t(r);
    p[3] = uint8_t(a);
    return;
  }
  b.Set(x, y, RGB(r, g, bl));
}

void GetColor(const Bitmap& b, int x, int y, int& r, int& g, int& bl, int& a) {
  if (b.Bpp == 32 && !b.HasMasks) {
    const uint8_t* p = b.Row(y) + x * 4;
    bl = p[0];
    g = p[1];
    r = p[2];
    a = p[3];
    return;
  }
  COLORREF c = b.Get(x, y);
  r = GetRValue(c);
  g = GetGValue(c);
  bl = GetBValue(c);
  a = 0;
}

inline int Div255(int v) { return (v + 127) / 255; }

}  // namespace

BOOL GradientFill(HDC hdc, TRIVERTEX* pVertex, ULONG nVertex, void* pMesh, ULONG nMesh, ULONG ulMode) {
  if (!pVertex || !pMesh || nVertex == 0) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  Region vis;
  if (!VisibleRegion(*dc, vis)) return TRUE;
  Bitmap& b = *dc->Surface;
  auto plot = [&](int x, int y, double r, double g, double bl, double a) {
    if (!pixman_region32_contains_point(&vis.R, x, y, nullptr)) return;
    PutColor(b, x, y, int(r) >> 8, int(g) >> 8, int(bl) >> 8, int(a) >> 8);
  };
  if (ulMode == GRADIENT_FILL_RECT_H || ulMode == GRADIENT_FILL_RECT_V) {
    auto* rects = static_cast<GRADIENT_RECT*>(pMesh);
    for (ULONG i = 0; i < nMesh; ++i) {
      if (rects[i].UpperLeft >= nVertex || rects[i].LowerRight >= nVertex) return FALSE;
      TRIVERTEX v0 = pVertex[rects[i].UpperLeft], v1 = pVertex[rects[i].LowerRight];
      if (v0.x > v1.x) std::swap(v0.x, v1.x);
      if (v0.y > v1.y) std::swap(v0.y, v1.y);
      int x0 = DevX(*dc, v0.x), x1 = DevX(*dc, v1.x), y0 = DevY(*dc, v0.y), y1 = DevY(*dc, v1.y);
      // Turned over by the world transform: the rows run upwards.
      const bool flip = FlipsY(*dc);
      if (flip) {
        const int top = y1 + 1, bottom = y0 + 1;
        y0 = top;
        y1 = bottom;
      }
      RECT box = vis.Box();
      int cx0 = std::max(x0, int(box.left)), cx1 = std::min(x1, int(box.right));
      int cy0 = std::max(y0, int(box.top)), cy1 = std::min(y1, int(box.bottom));
      bool horz = ulMode == GRADIENT_FILL_RECT_H;
      int len = horz ? x1 - x0 : y1 - y0;
      if (len <= 0) continue;
      const TRIVERTEX& a = pVertex[rects[i].UpperLeft];
      const TRIVERTEX& c = pVertex[rects[i].LowerRight];
      for (int y = cy0; y < cy1; ++y)
        for (int x = cx0; x < cx1; ++x) {
          int64_t t = horz ? x - x0 : flip ? y1 - 1 - y : y - y0;
          auto mix = [&](int p, int q) { return double(p + (int64_t(q) - p) * t / len); };
          plot(x, y, mix(a.Red, c.Red), mix(a.Green, c.Green), mix(a.Blue, c.Blue), mix(a.Alpha, c.Alpha));
        }
    }
    return TRUE;
  }
  if (ulMode != GRADIENT_FILL_TRIANGLE) return FALSE;
  auto* tris = static_cast<GRADIENT_TRIANGLE*>(pMesh);
  for (ULONG i = 0; i < nMesh; ++i) {
    ULONG ids[3] = {tris[i].Vertex1, tris[i].Vertex2, tris[i].Vertex3};
    for (ULONG id : ids)
      if (id >= nVertex) return FALSE;
    const TRIVERTEX* v[3] = {&pVertex[ids[0]], &pVertex[ids[1]], &pVertex[ids[2]]};
    double X[3], Y[3];
    for (int k = 0; k < 3; ++k) {
      X[k] = DevX(*dc, v[k]->x);
      Y[k] = DevY(*dc, v[k]->y);
    }
    double det = (Y[1] - Y[2]) * (X[0] - X[2]) + (X[2] - X[1]) * (Y[0] - Y[2]);
    if (det == 0) continue;
    RECT box = vis.Box();
    int minx = std::max(int(std::floor(std::min({X[0], X[1], X[2]}))), int(box.left));
    int maxx = std::min(int(std::ceil(std::max({X[0], X[1], X[2]}))), int(box.right));
    int miny = std::max(int(std::floor(std::min({Y[0], Y[1], Y[2]}))), int(box.top));
    int maxy = std::min(int(std::ceil(std::max({Y[0], Y[1], Y[2]}))), int(box.bottom));
    for (int y = miny; y < maxy; ++y)
      for (int x = minx; x < maxx; ++x) {
        double l0 = ((Y[1] - Y[2]) * (x - X[2]) + (X[2] - X[1]) * (y - Y[2])) / det;
        double l1 = ((Y[2] - Y[0]) * (x - X[2]) + (X[0] - X[2]) * (y - Y[2])) / det;
        double l2 = 1 - l0 - l1;
        if (l0 < 0 || l1 < 0 || l2 < 0) continue;
        auto mix = [&](COLOR16 TRIVERTEX::*ch) { return l0 * (v[0]->*ch) + l1 * (v[1]->*ch) + l2 * (v[2]->*ch); };
        plot(x, y, mix(&TRIVERTEX::Red), mix(&TRIVERTEX::Green), mix(&TRIVERTEX::Blue), mix(&TRIVERTEX::Alpha));
      }
  }
  return TRUE;
}

BOOL AlphaBlend(HDC hdcDest, int xd, int yd, int wd, int hd, HDC hdcSrc, int xs, int ys, int ws, int hs,
                BLENDFUNCTION f) {
  if (wd < 0 || hd < 0 || ws < 0 || hs < 0 || f.BlendOp != AC_SRC_OVER) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* d = FindDC(hdcDest);
  DC* s = FindDC(hdcSrc);
  if (!d || !s || !s->Surface) return FALSE;
  Bitmap& sb = *s->Surface;
  int sx = DevX(*s, xs), sy = DevY(*s, ys);
  // A turned-over source is read upwards from its first row.
  const bool sFlip = FlipsY(*s);
  const int sTop = sFlip ? sy - hs + 1 : sy;
  if (sx < 0 || sTop < 0 || sx + ws > sb.Width || sTop + hs > sb.Height) return FALSE;
  bool perPixel = f.AlphaFormat & AC_SRC_ALPHA;
  if (perPixel && sb.Bpp != 32) return FALSE;
  if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return TRUE;
  Region vis;
  if (!VisibleRegion(*d, vis)) return TRUE;
  int dx = DevX(*d, xd), dy = DevY(*d, yd);
  const bool dFlip = FlipsY(*d);
  vis.IntersectRect(dx, dFlip ? dy - hd + 1 : dy, dx + wd, dFlip ? dy + 1 : dy + hd);
  Bitmap& db = *d->Surface;
  int sca = f.SourceConstantAlpha;
  for (const RECT& r : vis.Rects())
    for (int y = r.top; y < r.bottom; ++y) {
      const int yi = dFlip ? dy - y : y - dy;  // the destination's row from its first
      const int k = int(hs <= hd ? (int64_t(2 * yi + 1) * hs - 1) / (2 * int64_t(hd))
                                 : (int64_t(2 * yi + 2) * hs - hd - 1) / (2 * int64_t(hd)));
      int srow = sFlip ? sy - k : sy + k;
      for (int x = r.left; x < r.right; ++x) {
        int scol = sx + int(ws <= wd ? (int64_t(2 * (x - dx) + 1) * ws - 1) / (2 * int64_t(wd))
                                               : (int64_t(2 * (x - dx) + 2) * ws - wd - 1) / (2 * int64_t(wd)));
        int sr, sg, sbl, sa, dr, dg, dbl, da;
        GetColor(sb, scol, srow, sr, sg, sbl, sa);
        GetColor(db, x, y, dr, dg, dbl, da);
        if (perPixel) {
          int a = Div255(sa * sca);
          int nr = Div255(sr * sca) + Div255(dr * (255 - a));
          int ng = Div255(sg * sca) + Div255(dg * (255 - a));
          int nb = Div255(sbl * sca) + Div255(dbl * (255 - a));
          int na = a + Div255(da * (255 - a));
          PutColor(db, x, y, std::min(nr, 255), std::min(ng, 255), std::min(nb, 255), std::min(na, 255));
        } else {
          PutColor(db, x, y, Div255(sr * sca + dr * (255 - sca)), Div255(sg * sca + dg * (255 - sca)),
                   Div255(sbl * sca + dbl * (255 - sca)), Div255(sa * sca + da * (255 - sca)));
        }
      }
    }
  return TRUE;
}

BOOL PlgBlt(HDC hdcDest, const POINT* p, HDC hdcSrc, int xSrc, int ySrc, int width, int height, HBITMAP hbmMask,
            int xMask, int yMask) {
  if (!p || width <= 0 || height <= 0) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* d = FindDC(hdcDest);
  DC* s = FindDC(hdcSrc);
  if (!d || !s || !s->Surface) return FALSE;
  std::shared_ptr<Bitmap> mask;
  if (hbmMask) {
    auto o = Find(hbmMask, ObjKind::Bitmap);
    if (!o || o->Bmp->Bpp != 1) return FALSE;
    mask = o->Bmp;
  }
  Region vis;
  if (!VisibleRegion(*d, vis)) return TRUE;
  double x0 = DevX(*d, p[0].x), y0 = DevY(*d, p[0].y);
  double ax = DevX(*d, p[1].x) - x0, ay = DevY(*d, p[1].y) - y0;  // along the source's width
  double bx = DevX(*d, p[2].x) - x0, by = DevY(*d, p[2].y) - y0;  // along its height
  double det = ax * by - ay * bx;
  if (det == 0) return FALSE;
  double xs[4] = {x0, x0 + ax, x0 + bx, x0 + ax + bx}, ys[4] = {y0, y0 + ay, y0 + by, y0 + ay + by};
  vis.IntersectRect(int(std::floor(*std::min_element(xs, xs + 4))), int(std::floor(*std::min_element(ys, ys + 4))),
                    int(std::ceil(*std::max_element(xs, xs + 4))), int(std::ceil(*std::max_element(ys, ys + 4))));
  Bitmap& db = *d->Surface;
  const Bitmap& sb = *s->Surface;
  int sx0 = DevX(*s, xSrc), sy0 = DevY(*s, ySrc);
  for (const RECT& r : vis.Rects())
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) {
        double px = x + 0.5 - x0, py = y + 0.5 - y0;
        double u = (px * by - py * bx) / det, v = (ax * py - ay * px) / det;
        if (u < 0 || v < 0 || u >= 1 || v >= 1) continue;
        int cu = int(u * width), cv = int(v * height);
        int sx = sx0 + cu, sy = sy0 + cv;
        if (sx < 0 || sy < 0 || sx >= sb.Width || sy >= sb.Height) continue;
        if (mask) {
          int mx = xMask + cu, my = yMask + cv;
          if (mx < 0 || my < 0 || mx >= mask->Width || my >= mask->Height || !mask->GetRaw(mx, my)) continue;
        }
        db.Set(x, y, sb.Get(sx, sy));
      }
  return TRUE;
}

// DrawDib.

namespace {
std::mutex gDrawDibLock;
std::set<uintptr_t> gDrawDibs;
uintptr_t gNextDrawDib = 0x60000;
}  // namespace

HDRAWDIB DrawDibOpen() {
  std::lock_guard<std::mutex> l(gDrawDibLock);
  gNextDrawDib += 4;
  gDrawDibs.insert(gNextDrawDib);
  return reinterpret_cast<HDRAWDIB>(gNextDrawDib);
}

BOOL DrawDibClose(HDRAWDIB hdd) {
  std::lock_guard<std::mutex> l(gDrawDibLock);
  return gDrawDibs.erase(reinterpret_cast<uintptr_t>(hdd)) ? TRUE : FALSE;
}

UINT DrawDibRealize(HDRAWDIB hdd, HDC, BOOL) {
  std::lock_guard<std::mutex> l(gDrawDibLock);
  (void)hdd;
  return 0;  // no palette to realise on a true-colour screen
}

BOOL DrawDibDraw(HDRAWDIB hdd, HDC hdc, int xDst, int yDst, int dxDst, int dyDst, BITMAPINFOHEADER* lpbi,
                 LPVOID lpBits, int xSrc, int ySrc, int dxSrc, int dySrc, UINT) {
  {
    std::lock_guard<std::mutex> l(gDrawDibLock);
    if (!gDrawDibs.count(reinterpret_cast<uintptr_t>(hdd))) return FALSE;
  }
  if (!lpbi || lpbi->biSize < sizeof(BITMAPINFOHEADER)) return FALSE;
  if (!lpBits) {
    // The bits follow the header and its colour table.
    size_t colors = lpbi->biBitCount <= 8 ? (lpbi->biClrUsed ? lpbi->biClrUsed : (size_t(1) << lpbi->biBitCount)) : 0;
    if (lpbi->biCompression == BI_BITFIELDS) colors = 3;
    lpBits = reinterpret_cast<uint8_t*>(lpbi) + lpbi->biSize + colors * 4;
  }
  if (dxSrc == -1) dxSrc = lpbi->biWidth;
  if (dySrc == -1) dySrc = std::abs(lpbi->biHeight);
  if (dxDst == -1) dxDst = dxSrc;
  if (dyDst == -1) dyDst = dySrc;
  int old = SetStretchBltMode(hdc, COLORONCOLOR);
  int n = StretchDIBits(hdc, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, lpBits,
                        reinterpret_cast<BITMAPINFO*>(lpbi), DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(hdc, old);
  return n ? TRUE : FALSE;
}
