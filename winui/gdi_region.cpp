// Regions, clip regions and filling with brushes.
#include <algorithm>
#include <cstring>
#include <utility>

#include "winui/gdi_internal.h"

namespace vxgdi {

void Region::SetRect(int x1, int y1, int x2, int y2) {
  pixman_region32_fini(&R);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2)
    pixman_region32_init(&R);
  else
    pixman_region32_init_rect(&R, x1, y1, unsigned(x2 - x1), unsigned(y2 - y1));
}

void Region::IntersectRect(int x1, int y1, int x2, int y2) {
  Region r;
  r.SetRect(x1, y1, x2, y2);
  Intersect(r);
}

void Region::UnionRect(int x1, int y1, int x2, int y2) {
  if (x1 >= x2 || y1 >= y2) return;
  pixman_region32_union_rect(&R, &R, x1, y1, unsigned(x2 - x1), unsigned(y2 - y1));
}

void Region::SetBoxes(const std::vector<pixman_box32_t>& Boxes) {
  pixman_region32_fini(&R);
  if (Boxes.empty())
    pixman_region32_init(&R);
  else
    pixman_region32_init_rects(&R, Boxes.data(), int(Boxes.size()));
}

RECT Region::Box() const {
  if (Empty()) return RECT{};
  const pixman_box32_t* b = pixman_region32_extents(const_cast<pixman_region32_t*>(&R));
  return RECT{b->x1, b->y1, b->x2, b->y2};
}

std::vector<RECT> Region::Rects() const {
  int n = 0;
  const pixman_box32_t* b = pixman_region32_rectangles(const_cast<pixman_region32_t*>(&R), &n);
  std::vector<RECT> out;
  out.reserve(size_t(n));
  for (int i = 0; i < n; ++i) out.push_back(RECT{b[i].x1, b[i].y1, b[i].x2, b[i].y2});
  return out;
}

int Region::Kind() const {
  int n = pixman_region32_n_rects(const_cast<pixman_region32_t*>(&R));
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

uint32_t Rop2(int Rop, uint32_t P, uint32_t D, uint32_t Mask) {
  uint32_t idx = uint32_t(Rop - 1) & 15;
  uint32_t r = 0;
  if (idx & 1) r |= ~P & ~D;
  if (idx & 2) r |= ~P & D;
  if (idx & 4) r |= P & ~D;
  if (idx & 8) r |= P & D;
  return r & Mask;
}

uint32_t RawMask(const Bitmap& b) {
  if (b.Bpp >= 24) return 0xFFFFFF;
  if (b.Bpp == 16) return 0xFFFF;
  return (1u << b.Bpp) - 1;
}

// The 8 x 8 hatch patterns: bit 7 of row 0 is the pixel at the brush origin.
static const uint8_t kHatch[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

bool HatchBit(int Hatch, int x, int y) {
  return (kHatch[Hatch][y & 7] >> (7 - (x & 7))) & 1;
}

void FillRegion(DC& dc, const Region& Area, const Brush& B, int Rop) {
  if (B.Style == BS_NULL) return;
  Region vis;
  if (!VisibleRegion(dc, vis)) return;
  vis.Intersect(Area);
  Bitmap& bm = *dc.Surface;
  uint32_t mask = RawMask(bm);
  uint32_t fg = bm.RawFromColor(B.Color);
  uint32_t bg = bm.RawFromColor(dc.S.BkColor);
  bool hatched = B.Style == BS_HATCHED;
  bool opaque = dc.S.BkMode == OPAQUE;
  if (B.Pat) {
    PatternSampler tile(dc, *B.Pat);
    for (const RECT& r : vis.Rects())
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) bm.SetRaw(x, y, Rop2(Rop, tile.At(x, y), bm.GetRaw(x, y), mask));
    return;
  }
  for (const RECT& r : vis.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      if (!hatched && Rop == R2_COPYPEN && bm.Bpp == 32 && !bm.HasMasks) {
        uint32_t* row = reinterpret_cast<uint32_t*>(bm.Row(y));
        std::fill(row + r.left, row + r.right, fg);
        continue;
      }
      if (!hatched && Rop == R2_COPYPEN && bm.Bpp == 24) {
        uint8_t* p = bm.Row(y) + size_t(r.left) * 3;
        const uint8_t c[3] = {uint8_t(fg), uint8_t(fg >> 8), uint8_t(fg >> 16)};
        if (c[0] == c[1] && c[1] == c[2]) {
          std::memset(p, c[0], size_t(r.right - r.left) * 3);
        } else {
          for (int x = r.left; x < r.right; ++x, p += 3) std::memcpy(p, c, 3);
        }
        continue;
      }
      for (int x = r.left; x < r.right; ++x) {
        uint32_t src = fg;
        if (hatched) {
          if (!HatchBit(B.Hatch, int((int64_t(x) - dc.S.BrushOrg.x) & 7), int((int64_t(y) - dc.S.BrushOrg.y) & 7))) {
            if (!opaque) continue;
            src = bg;
          }
        }
        uint32_t d = bm.GetRaw(x, y);
        bm.SetRaw(x, y, Rop2(Rop, src, d, mask));
      }
    }
  }
}

}  // namespace vxgdi

using namespace vxgdi;

static HRGN AddRegion(std::shared_ptr<Region> r) {
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::Region;
  o->Rgn = std::move(r);
  return reinterpret_cast<HRGN>(AddObject(o));
}

HRGN CreateRectRgn(int x1, int y1, int x2, int y2) {
  auto r = std::make_shared<Region>();
  r->SetRect(x1, y1, x2, y2);
  return AddRegion(r);
}

HRGN CreateRectRgnIndirect(const RECT* lprect) {
  if (!lprect) return nullptr;
  return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* r = FindRgn(hrgn);
  if (!r) return FALSE;
  r->SetRect(left, top, right, bottom);
  return TRUE;
}

int CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* d = FindRgn(hrgnDst);
  Region* a = FindRgn(hrgnSrc1);
  if (!d || !a) return ERROR;
  if (iMode == RGN_COPY) {
    *d = *a;
    return d->Kind();
  }
  Region* b = FindRgn(hrgnSrc2);
  if (!b) return ERROR;
  Region out;
  switch (iMode) {
    case RGN_AND:
      pixman_region32_intersect(&out.R, &a->R, &b->R);
      break;
    case RGN_OR:
      pixman_region32_union(&out.R, &a->R, &b->R);
      break;
    case RGN_DIFF:
      pixman_region32_subtract(&out.R, &a->R, &b->R);
      break;
    case RGN_XOR: {
      Region ab, ba;
      pixman_region32_subtract(&ab.R, &a->R, &b->R);
      pixman_region32_subtract(&ba.R, &b->R, &a->R);
      pixman_region32_union(&out.R, &ab.R, &ba.R);
      break;
    }
    default:
      return ERROR;
  }
  *d = out;
  return d->Kind();
}

int OffsetRgn(HRGN hrgn, int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* r = FindRgn(hrgn);
  if (!r) return ERROR;
  r->Translate(x, y);
  return r->Kind();
}

BOOL PtInRegion(HRGN hrgn, int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* r = FindRgn(hrgn);
  return r && pixman_region32_contains_point(&r->R, x, y, nullptr);
}

BOOL RectInRegion(HRGN hrgn, const RECT* lprect) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* r = FindRgn(hrgn);
  if (!r || !lprect) return FALSE;
  Region t;
  t.SetRect(lprect->left, lprect->top, lprect->right, lprect->bottom);
  t.Intersect(*r);
  return !t.Empty();
}

int GetRgnBox(HRGN hrgn, RECT* lprc) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* r = FindRgn(hrgn);
  if (!r || !lprc) return ERROR;
  *lprc = r->Box();
  return r->Kind();
}

BOOL EqualRgn(HRGN hrgn1, HRGN hrgn2) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* a = FindRgn(hrgn1);
  Region* b = FindRgn(hrgn2);
  if (!a || !b) return ERROR;
  // Empty regions are equal wherever an offset left their (empty) extents.
  const bool emptyA = !pixman_region32_not_empty(&a->R), emptyB = !pixman_region32_not_empty(&b->R);
  if (emptyA || emptyB) return emptyA && emptyB ? TRUE : FALSE;
  return pixman_region32_equal(&a->R, &b->R) ? TRUE : FALSE;
}

DWORD GetRegionData(HRGN hrgn, DWORD nCount, RGNDATA* lpRgnData) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Region* r = FindRgn(hrgn);
  if (!r) return 0;
  std::vector<RECT> rects = r->Rects();
  DWORD need = DWORD(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  if (!lpRgnData) return need;
  if (nCount < need) return need;
  lpRgnData->rdh.dwSize = sizeof(RGNDATAHEADER);
  lpRgnData->rdh.iType = RDH_RECTANGLES;
  lpRgnData->rdh.nCount = DWORD(rects.size());
  lpRgnData->rdh.nRgnSize = DWORD(rects.size() * sizeof(RECT));
  lpRgnData->rdh.rcBound = r->Box();
  if (!rects.empty()) std::memcpy(lpRgnData->Buffer, rects.data(), rects.size() * sizeof(RECT));
  return need;
}

HRGN ExtCreateRegion(const XFORM* lpx, DWORD nCount, const RGNDATA* lpData) {
  if (!lpData || nCount < sizeof(RGNDATAHEADER)) return nullptr;
  const RGNDATAHEADER h = lpData->rdh;
  if (h.dwSize < sizeof(RGNDATAHEADER) || h.iType != RDH_RECTANGLES) return nullptr;
  if (h.dwSize > nCount) return nullptr;
  uint64_t need = uint64_t(h.dwSize) + uint64_t(h.nCount) * sizeof(RECT);
  if (need > nCount) return nullptr;
  int dx = 0, dy = 0;
  if (lpx) {
    // Only translations are kept.
    if (lpx->eM11 != 1 || lpx->eM22 != 1 || lpx->eM12 != 0 || lpx->eM21 != 0) return nullptr;
    dx = int(lpx->eDx);
    dy = int(lpx->eDy);
  }
  const uint8_t* p = reinterpret_cast<const uint8_t*>(lpData) + h.dwSize;
  auto r = std::make_shared<Region>();
  std::vector<pixman_box32_t> boxes;
  boxes.reserve(h.nCount);
  int64_t limit = PixelLimit();
  for (DWORD i = 0; i < h.nCount; ++i) {
    RECT rc;
    std::memcpy(&rc, p + size_t(i) * sizeof(RECT), sizeof rc);
    int64_t l = std::min(rc.left, rc.right), rr = std::max(rc.left, rc.right);
    int64_t t = std::min(rc.top, rc.bottom), b = std::max(rc.top, rc.bottom);
    l += dx;
    rr += dx;
    t += dy;
    b += dy;
    if (l < INT32_MIN / 2 || rr > INT32_MAX / 2 || t < INT32_MIN / 2 || b > INT32_MAX / 2) return nullptr;
    if (l == rr || t == b) continue;
    if (limit > 0 && (rr - l) * (b - t) > limit) return nullptr;
    boxes.push_back(pixman_box32_t{int32_t(l), int32_t(t), int32_t(rr), int32_t(b)});
  }
  // Rectangles may overlap and come in any order.
  r->SetBoxes(boxes);
  return AddRegion(r);
}

// Clipping. The clip region is kept in device coordinates.

int SelectClipRgn(HDC hdc, HRGN hrgn) { return ExtSelectClipRgn(hdc, hrgn, RGN_COPY); }

static int ClipKind(DC& dc) {
  Region vis;
  VisibleRegion(dc, vis);
  return vis.Kind();
}

int ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return ERROR;
  if (!hrgn) {
    if (mode != RGN_COPY) return ERROR;
    dc->S.HasClip = false;
    dc->S.Clip.Clear();
    return ClipKind(*dc);
  }
  Region* r = FindRgn(hrgn);
  if (!r) return ERROR;
  if (mode == RGN_COPY) {
    dc->S.Clip = *r;
    dc->S.HasClip = true;
    return ClipKind(*dc);
  }
  if (!dc->S.HasClip) {
    // Without a clip region the other modes combine with the whole surface.
    if (!dc->Surface) return ERROR;
    dc->S.Clip.SetRect(0, 0, dc->Surface->Width, dc->Surface->Height);
    dc->S.HasClip = true;
  }
  switch (mode) {
    case RGN_AND:
      dc->S.Clip.Intersect(*r);
      break;
    case RGN_OR:
      dc->S.Clip.Union(*r);
      break;
    case RGN_DIFF:
      dc->S.Clip.Subtract(*r);
      break;
    case RGN_XOR: {
      Region both = dc->S.Clip;
      both.Intersect(*r);
      dc->S.Clip.Union(*r);
      dc->S.Clip.Subtract(both);
      break;
    }
    default:
      return ERROR;
  }
  return ClipKind(*dc);
}

int GetClipRgn(HDC hdc, HRGN hrgn) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  Region* r = FindRgn(hrgn);
  if (!dc || !r) return -1;
  if (!dc->S.HasClip) return 0;
  *r = dc->S.Clip;
  return 1;
}

int GetClipBox(HDC hdc, RECT* lprect) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc || !lprect) return ERROR;
  Region vis;
  VisibleRegion(*dc, vis);
  RECT b = vis.Box();
  // Answered in logical coordinates.
  if (vis.Empty()) {
    *lprect = RECT{};
    return NULLREGION;
  }
  *lprect = LogicalRect(*dc, b);
  return vis.Kind();
}

static int ClipRectOp(HDC hdc, int left, int top, int right, int bottom, bool exclude) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return ERROR;
  Region rect;
  RECT d = DevRect(*dc, left, top, right, bottom);
  rect.SetRect(d.left, d.top, d.right, d.bottom);
  if (!dc->S.HasClip) {
    if (!dc->Surface) return ERROR;
    dc->S.Clip.SetRect(0, 0, dc->Surface->Width, dc->Surface->Height);
    if (dc->HasSysClip) dc->S.Clip.Intersect(dc->SysClip);
    dc->S.HasClip = true;
  }
  if (exclude)
    dc->S.Clip.Subtract(rect);
  else
    dc->S.Clip.Intersect(rect);
  return ClipKind(*dc);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return ClipRectOp(hdc, left, top, right, bottom, true);
}
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return ClipRectOp(hdc, left, top, right, bottom, false);
}

int OffsetClipRgn(HDC hdc, int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return ERROR;
  if (dc->S.HasClip) dc->S.Clip.Translate(x, y);
  return ClipKind(*dc);
}

BOOL PtVisible(HDC hdc, int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  Region vis;
  if (!VisibleRegion(*dc, vis)) return FALSE;
  return pixman_region32_contains_point(&vis.R, DevX(*dc, x), DevY(*dc, y), nullptr) ? TRUE : FALSE;
}

// Filling.

static Region DeviceRect(const DC& dc, const RECT& r) {
  Region out;
  RECT d = DevRect(dc, r.left, r.top, r.right, r.bottom);
  out.SetRect(d.left, d.top, d.right, d.bottom);
  return out;
}

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hDC);
  Brush b;
  if (!dc || !lprc || !ResolveBrush(*dc, hbr, b)) return 0;
  if (lprc->left >= lprc->right || lprc->top >= lprc->bottom) return 1;
  FillRegion(*dc, DeviceRect(*dc, *lprc), b, R2_COPYPEN);
  return 1;
}

int FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hDC);
  Brush b;
  if (!dc || !lprc || !ResolveBrush(*dc, hbr, b)) return 0;
  RECT r = *lprc;
  if (r.left >= r.right || r.top >= r.bottom) return 1;
  Region frame = DeviceRect(*dc, r);
  Region inner = DeviceRect(*dc, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1});
  if (r.right - r.left > 2 && r.bottom - r.top > 2) frame.Subtract(inner);
  FillRegion(*dc, frame, b, R2_COPYPEN);
  return 1;
}

BOOL InvertRect(HDC hDC, const RECT* lprc) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hDC);
  if (!dc || !lprc) return FALSE;
  Brush b{BS_SOLID, 0, 0, -1, nullptr};
  FillRegion(*dc, DeviceRect(*dc, *lprc), b, R2_NOT);
  return TRUE;
}

static Region DeviceRegion(const DC& dc, const Region& r) { return ToDevice(dc, r); }

BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  Region* r = FindRgn(hrgn);
  Brush b;
  if (!dc || !r || !ResolveBrush(*dc, hbr, b)) return FALSE;
  FillRegion(*dc, DeviceRegion(*dc, *r), b, R2_COPYPEN);
  return TRUE;
}

BOOL PaintRgn(HDC hdc, HRGN hrgn) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  Region* r = FindRgn(hrgn);
  Brush b;
  if (!dc || !r || !ResolveBrush(*dc, dc->S.Brush, b)) return FALSE;
  FillRegion(*dc, DeviceRegion(*dc, *r), b, dc->S.Rop2);
  return TRUE;
}

BOOL InvertRgn(HDC hdc, HRGN hrgn) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  Region* r = FindRgn(hrgn);
  if (!dc || !r) return FALSE;
  Brush b{BS_SOLID, 0, 0, -1, nullptr};
  FillRegion(*dc, DeviceRegion(*dc, *r), b, R2_NOT);
  return TRUE;
}

BOOL FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  Region* r = FindRgn(hrgn);
  Brush b;
  if (!dc || !r || !ResolveBrush(*dc, hbr, b) || w <= 0 || h <= 0) return FALSE;
  // The frame is the region minus the points whose neighbours w across and
  // h down, on each side, are in it too.
  Region inner2 = *r;
  for (auto [dx, dy] : {std::pair{w, 0}, std::pair{-w, 0}, std::pair{0, h}, std::pair{0, -h}}) {
    Region s = *r;
    s.Translate(dx, dy);
    inner2.Intersect(s);
  }
  Region frame = *r;
  frame.Subtract(inner2);
  FillRegion(*dc, DeviceRegion(*dc, frame), b, R2_COPYPEN);
  return TRUE;
}

// ---------------------------------------------------------------------------
// Logical and device coordinates under the world transform

namespace vxgdi {

RECT DevRect(const DC& dc, int left, int top, int right, int bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  RECT r{DevX(dc, left), DevY(dc, top), DevX(dc, right), DevY(dc, bottom)};
  if (FlipsY(dc)) {
    // Rows top .. bottom - 1 land on DevY(bottom - 1) .. DevY(top).
    r.top = DevY(dc, bottom) + 1;
    r.bottom = DevY(dc, top) + 1;
  }
  return r;
}

RECT LogicalRect(const DC& dc, const RECT& r) {
  const int ox = dc.S.WindowOrg.x - dc.S.ViewportOrg.x - dc.S.XDx;
  const int py = dc.S.WindowOrg.y - dc.S.ViewportOrg.y;  // device to page
  if (!FlipsY(dc)) return RECT{r.left + ox, r.top + py - dc.S.XDy, r.right + ox, r.bottom + py - dc.S.XDy};
  // Page row p shows logical row XDy - p.
  const int top = dc.S.XDy - (r.bottom - 1 + py);
  const int bottom = dc.S.XDy - (r.top + py) + 1;
  return RECT{r.left + ox, top, r.right + ox, bottom};
}

Region ToDevice(const DC& dc, const Region& r) {
  if (!FlipsY(dc)) {
    Region out = r;
    out.Translate(DevX(dc, 0), DevY(dc, 0));
    return out;
  }
  std::vector<pixman_box32_t> boxes;
  for (const RECT& q : r.Rects()) {
    RECT d = DevRect(dc, q.left, q.top, q.right, q.bottom);
    if (d.left < d.right && d.top < d.bottom) boxes.push_back(pixman_box32_t{d.left, d.top, d.right, d.bottom});
  }
  Region out;
  out.SetBoxes(boxes);
  return out;
}

}  // namespace vxgdi
