// Drawing the objects: over the viewer's rendering (in client coordinates,
// per layer when objects are anchored to layers) and into bitmaps (in image
// coordinates). An object that needs blending (transparency of a text or
// memo, a blend operation, a highlight box, a target with an alpha channel)
// is drawn into an off-screen bitmap with a grey mask of its coverage and
// merged; every other object is drawn straight onto the target.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/gdiplus.h"
#include "core/geometry.h"
#include "core/settings.h"
#include "gui/extctrls.h"
#include "proc/filters.h"
#include "vect/extended.h"
#include "vect/vexlanevect.h"
#include "winui/win_input.h"

namespace {

// Toward zero, saturated to 32 bits; not a number gives 0.
int32_t Trunc(double v) { return v == v ? int32_t(std::clamp(v, -2147483648.0, 2147483647.0)) : 0; }

void Grow(TRect& R, int32_t x, int32_t y) {
  R.Left = std::min(R.Left, x), R.Top = std::min(R.Top, y);
  R.Right = std::max(R.Right, x), R.Bottom = std::max(R.Bottom, y);
}

TColor Grey(int32_t T) {
  const int32_t g = std::clamp(T, 0, 255);
  return TColor(g | (g << 8) | (g << 16));
}

}  // namespace

TVexlaneVect::TVXCanvasPair::TVXCanvasPair() = default;
TVexlaneVect::TVXCanvasPair::~TVXCanvasPair() = default;

// ---------------------------------------------------------------------------
// Line ends

bool VXLineEndShape(TVXShape Shape, TPoint P, TPoint Q, int32_t BaseWidth, int32_t Length, TPoint Out[3]) {
  if (Shape != vxsINARROW && Shape != vxsOUTARROW) return false;
  const double dx = double(Q.X) - P.X, dy = double(Q.Y) - P.Y, len = std::hypot(dx, dy);
  if (len == 0) return false;  // ends that coincide have no direction
  const double ux = dx / len, uy = dy / len, nx = -uy, ny = ux;
  auto at = [](TPoint From, double k, double vx, double vy) {
    return TPoint{From.X + Trunc(k * vx), From.Y + Trunc(k * vy)};
  };
  const TPoint A = at(P, Length, ux, uy);
  const double half = BaseWidth / 2;
  if (Shape == vxsINARROW) {
    Out[0] = at(P, half, nx, ny), Out[1] = at(P, -half, nx, ny), Out[2] = A;
  } else {
    Out[0] = at(A, half, nx, ny), Out[1] = at(A, -half, nx, ny), Out[2] = P;
  }
  return true;
}

// ---------------------------------------------------------------------------

bool TVexlaneVect::DrawOneObject(int32_t h, TVXBitmap* Target, bool Screen, int32_t Layer, bool AntiAlias,
                                 bool MaskMode, TVXCanvasPair* Canvas) {
  if (fAllObjectsHidden) return false;
  TVXVObject& o = *fObjHeap[size_t(h)];
  if (fObjAnchorToLayers && Layer >= 0 && o.Layer != Layer) return false;
  if (!(o.Style & VXVStyleOf(vxvsVisible))) return false;
  const int32_t e = fDrawFactor;  // the supersampling factor
  const double zx = (Screen ? ZoomX() / 100 : 1) * e, zy = (Screen ? ZoomY() / 100 : 1) * e;
  const TVXLayer* L = nullptr;
  if (Screen && fObjAnchorToLayers && o.Layer >= 0 && o.Layer < LayersCount()) L = Layers(o.Layer);
  auto mx = [&](int32_t x) { return e * (!Screen ? x : L ? ConvXBmp2Scr(L, x) : XBmp2Scr(x)); };
  auto my = [&](int32_t y) { return e * (!Screen ? y : L ? ConvYBmp2Scr(L, y) : YBmp2Scr(y)); };
  int32_t X1 = mx(o.x1), Y1 = my(o.y1), X2 = mx(o.x2), Y2 = my(o.y2);
  if ((o.Kind == vxkBITMAP) && (zx != 1 || zy != 1)) {
    if (zx != 1) X2 = mx(o.x2 + 1) - 1;
    if (zy != 1) Y2 = my(o.y2 + 1) - 1;
  }
  const int32_t pen = o.BoxHighlight ? 1 : o.PenWidth;
  const int32_t pw = fZoomObjectsWidth ? int32_t(std::ceil(std::max(std::min(zx, zy) * pen, 1.0))) : pen;
  // Only what meets the target is drawn.
  if (Screen && o.Kind != vxkPOLYLINE && o.Kind != vxkANGLE) {
    const int32_t l = std::min(X1, X2) - 2 * pw, r = std::max(X1, X2) + 2 * pw;
    const int32_t t = std::min(Y1, Y2) - 2 * pw, b = std::max(Y1, Y2) + 2 * pw;
    if (r < 0 || b < 0 || l >= Target->Width() || t >= Target->Height()) return false;
  }
  o.plim = TRect{2000000000, 2000000000, -2000000000, -2000000000};
  o.pwidth = pw;
  const TColor penColor = MaskMode ? Grey(o.Transparency) : o.PenColor;
  const TColor brushColor = MaskMode ? Grey(o.Transparency) : o.BrushColor;
  const int32_t transparency = MaskMode ? 255 : o.Transparency;
  bool handled = false;
  const TRect box{X1, Y1, X2, Y2};
  if (OnBeforeDrawObject) OnBeforeDrawObject(this, h, Target, nullptr, box, MaskMode, handled);
  Grow(o.plim, X1, Y1);
  Grow(o.plim, X2, Y2);
  if (!handled) {
    if (o.Kind == vxkBITMAP || (o.Kind == vxkMEMO && o.MemoHasBitmap && !MaskMode))
      DrawObjectBitmap(o, Target, X1, Y1, X2, Y2, pw, MaskMode, penColor);
    if (o.Kind != vxkBITMAP && o.Kind != vxkNONE && o.Kind != vxkEXTENDED) {
      // One canvas of each kind serves a whole drawing loop on a target:
      // through GDI+ for antialiased or transparent drawing, else through GDI.
      const bool smooth = AntiAlias && fObjAntialias && !fFastDrawing;
      const bool gdiplus = smooth || transparency < 255;
      TVXCanvasPair own;
      TVXCanvasPair& pair = Canvas ? *Canvas : own;
      std::unique_ptr<TVXCanvas>& holder = gdiplus ? pair.GDIPlus : pair.GDI;
      if (!holder) holder = std::make_unique<TVXCanvas>(Target->Canvas(), smooth, gdiplus);
      TVXCanvas& c = *holder;
      TVXPen* p = c.Pen();
      p->SetStyle(o.PenStyle);
      p->SetWidth(float(pw));
      p->SetMode(pmCopy);
      p->SetColor(penColor);
      p->SetTransparency(transparency);
      TVXBrush* br = c.Brush();
      br->SetColor(brushColor);
      br->SetStyle(o.BrushStyle);
      br->SetTransparency(transparency);
      switch (o.Kind) {
        case vxkLINE:
        case vxkLINELABEL: {
          p->SetLineJoin(vxljRound);
          c.DrawLine(X1, Y1, X2, Y2);
          const int32_t bw = Trunc(o.ShapeWidth * zx), bl = Trunc(o.ShapeHeight * zy);
          TPoint tri[3];
          const TPoint a{X1, Y1}, b{X2, Y2};
          if (VXLineEndShape(o.BeginShape, a, b, bw, bl, tri)) {
            c.Polygon(tri);
            for (const TPoint& q : tri) Grow(o.plim, q.X, q.Y);
          }
          if (VXLineEndShape(o.EndShape, b, a, bw, bl, tri)) {
            c.Polygon(tri);
            for (const TPoint& q : tri) Grow(o.plim, q.X, q.Y);
          }
          break;
        }
        case vxkBOX:
          p->SetLineJoin(vxljMiter);
          if (o.BoxHighlight) {
            HighlightBox(Target, X1, Y1, X2, Y2, MaskMode ? Grey(o.Transparency) : o.BrushColor, MaskMode);
          } else {
            c.Rectangle(X1, Y1, mx(o.x2 + 1), my(o.y2 + 1));
            Grow(o.plim, mx(o.x2 + 1), my(o.y2 + 1));
          }
          break;
        case vxkELLIPSE:
          c.Ellipse(X1, Y1, mx(o.x2 + 1), my(o.y2 + 1));
          Grow(o.plim, mx(o.x2 + 1), my(o.y2 + 1));
          break;
        case vxkARC: {
          const double rx = (double(X2) - X1) / 2, ry = (double(Y2) - Y1) / 2;
          auto P = [&](double a) { return TPoint{X1 + Trunc(rx + std::cos(a) * rx), Y1 + Trunc(ry + std::sin(a) * ry)}; };
          const TPoint s = P(o.a1), e = P(o.a2);
          c.Arc(X1, Y1, mx(o.x2 + 1), my(o.y2 + 1), s.X, s.Y, e.X, e.Y);
          Grow(o.plim, mx(o.x2 + 1), my(o.y2 + 1));
          break;
        }
        case vxkPOLYLINE: {
          p->SetLineJoin(vxljRound);
          if (o.PolyPoints.empty() || (o.PolyBaseX1 == o.PolyBaseX2 && o.PolyBaseY1 == o.PolyBaseY2)) break;
          const double bw = double(o.PolyBaseX2) - o.PolyBaseX1, bh = double(o.PolyBaseY2) - o.PolyBaseY1;
          const double sx = bw != 0 ? (double(o.x2) - o.x1) / bw : 1, sy = bh != 0 ? (double(o.y2) - o.y1) / bh : 1;
          o.DrawnPoints.clear();
          for (const TPoint& q : o.PolyPoints) {
            const TPoint d{mx(Trunc(o.x1 + std::nearbyint((double(q.X) - o.PolyBaseX1) * sx))),
                           my(Trunc(o.y1 + std::nearbyint((double(q.Y) - o.PolyBaseY1) * sy)))};
            o.DrawnPoints.push_back(d);
            Grow(o.plim, d.X, d.Y);
          }
          if (int32_t(o.DrawnPoints.size()) > o.DrawnPointsAllocated)
            o.DrawnPointsAllocated = int32_t(o.DrawnPoints.size()) * 2;
          if (o.PolyClosed) c.Polygon(o.DrawnPoints);
          else c.Polyline(o.DrawnPoints);
          if (e > 1)
            for (TPoint& d : o.DrawnPoints) d = TPoint{d.X / e, d.Y / e};
          break;
        }
        case vxkTEXT:
          p->SetLineJoin(vxljMiter);
          if (h == fTextEditing && Screen) {
            // The editor stands there: a frame marks its place.
            br->SetStyle(bsClear);
            c.Rectangle(X1 - 1, Y1 - 1, X2 + 1, Y2 + 1);
          } else {
            RenderText(o, c, Target->Canvas()->Handle(), X1, Y1, X2, Y2, std::min(zx, zy), penColor);
          }
          break;
        case vxkMEMO:
          p->SetLineJoin(vxljMiter);
          if (h != fTextEditing) RenderMemo(o, c, X1, Y1, zy, MaskMode);
          break;
        case vxkRULER:
          p->SetLineJoin(vxljMiter);
          RenderRuler(o, c, Target->Canvas()->Handle(), X1, Y1, X2, Y2, std::min(zx, zy), zx, zy, penColor);
          break;
        case vxkANGLE:
          p->SetLineJoin(vxljMiter);
          RenderAngle(o, c, Target->Canvas()->Handle(), [&](TPoint q) { return TPoint{mx(q.X), my(q.Y)}; },
                      std::min(zx, zy), penColor);
          break;
        default:
          // Memo texts come with the rich-text control.
          break;
      }
      if (o.Kind == vxkLINELABEL)
        RenderLineLabel(o, c, Target->Canvas()->Handle(), X1, Y1, X2, Y2, std::min(zx, zy), penColor, Screen);
    }
    if (o.Kind == vxkEXTENDED && o.extendedObject.Ptr)
      o.extendedObject.Ptr->Draw(Target, X1, Y1, X2, Y2, MaskMode, zx, zy);
  }
  if (OnAfterDrawObject) OnAfterDrawObject(this, h, Target, nullptr, box, MaskMode, handled);
  ++fObjDrawed;
  return true;
}

void TVexlaneVect::HighlightBox(TVXBitmap* Target, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color,
                                bool Set) {
  const int32_t l = std::max(0, std::min(X1, X2)), r = std::min(Target->Width() - 1, std::max(X1, X2));
  const int32_t t = std::max(0, std::min(Y1, Y2)), b = std::min(Target->Height() - 1, std::max(Y1, Y2));
  const TRGB c{uint8_t(Color >> 16), uint8_t(Color >> 8), uint8_t(Color)};
  for (int32_t y = t; y <= b; ++y)
    for (int32_t x = l; x <= r; ++x) {
      TRGB p = Target->Pixels_vx24RGB(x, y);
      p = Set ? c : TRGB{uint8_t(p.b & c.b), uint8_t(p.g & c.g), uint8_t(p.r & c.r)};
      Target->SetPixels_vx24RGB(x, y, p);
    }
}

void TVexlaneVect::DrawObjectBitmap(TVXVObject& o, TVXBitmap* Target, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                    int32_t pw, bool MaskMode, TColor PenColor) {
  if (o.BitmapIdx < 0 || o.BitmapIdx >= int32_t(fBitmaps.size()) || !fBitmaps[size_t(o.BitmapIdx)].fBitmap) return;
  TVXBitmap* b = fBitmaps[size_t(o.BitmapIdx)].fBitmap.get();
  const int32_t l = std::min(X1, X2), t = std::min(Y1, Y2), w = std::abs(X2 - X1) + 1, hgt = std::abs(Y2 - Y1) + 1;
  if (MaskMode) {
    // The coverage: the picture's alpha weighted by the transparency.
    TVXBitmap cover;
    cover.Allocate(b->Width(), b->Height(), vx24RGB);
    for (int32_t y = 0; y < b->Height(); ++y)
      for (int32_t x = 0; x < b->Width(); ++x) {
        const int32_t a = b->HasAlphaChannel() ? static_cast<uint8_t*>(b->AlphaChannelOpt()->Scanline(y))[x] : 255;
        const uint8_t g = uint8_t(a * std::clamp(o.Transparency, 0, 255) / 255);
        cover.SetPixels_vx24RGB(x, y, TRGB{g, g, g});
      }
    cover.RenderToTVXBitmapEx(Target, l, t, w, hgt, 0, 0, b->Width(), b->Height(), false, 255, rfNone, vxlNormal, 1.0);
  } else {
    b->RenderToTVXBitmapEx(Target, l, t, w, hgt, 0, 0, b->Width(), b->Height(), true,
                           std::clamp(o.Transparency, 0, 255), fBitmapResampleFilter, vxlNormal, 1.0);
  }
  if (o.BitmapBorder) {
    const TRGB c = MaskMode ? TRGB{255, 255, 255} : TRGB{uint8_t(PenColor >> 16), uint8_t(PenColor >> 8), uint8_t(PenColor)};
    for (int32_t k = 0; k < pw && 2 * k < std::min(w, hgt); ++k) {
      auto put = [&](int32_t x, int32_t y) {
        if (x < 0 || y < 0 || x >= Target->Width() || y >= Target->Height()) return;
        Target->SetPixels_vx24RGB(x, y, c);
        if (Target->HasAlphaChannel()) static_cast<uint8_t*>(Target->AlphaChannel()->Scanline(y))[x] = 255;
      };
      for (int32_t x = l + k; x <= l + w - 1 - k; ++x) put(x, t + k), put(x, t + hgt - 1 - k);
      for (int32_t y = t + k; y <= t + hgt - 1 - k; ++y) put(l + k, y), put(l + w - 1 - k, y);
    }
  }
}

bool TVexlaneVect::NeedsCompositing(const TVXVObject& o, const TVXBitmap* Target) const {
  if (fFastDrawing) return false;
  const bool textual = o.Kind == vxkTEXT || o.Kind == vxkMEMO;
  return o.softShadow.Enabled || o.BoxHighlight || (o.Transparency < 255 && textual) || o.BlendOperation != vxlNormal ||
         Target->HasAlphaChannel();
}

void TVexlaneVect::DrawObjectsLoop(TVXBitmap* Target, bool Screen, int32_t Layer, int32_t hobj, bool AntiAlias) {
  if (fAllObjectsHidden) return;
  std::vector<int32_t> handles;
  if (hobj == -3) handles = fObj;
  else if (hobj == -9) handles = fSelObj;
  else handles.push_back(ResolveHandle(hobj));
  if (fObjGraphicRender && !fObj.empty() && !VXGDIPlusEnabled() && !Target->HasAlphaChannel()) {
    SupersampleLoop(Target, Screen, Layer, handles, AntiAlias);
    return;
  }
  TVXCanvasPair direct;
  for (int32_t h : handles) {
    TVXVObject& o = *fObjHeap[size_t(h)];
    if (!NeedsCompositing(o, Target)) {
      DrawOneObject(h, Target, Screen, Layer, AntiAlias, false, &direct);
      continue;
    }
    // Off-screen: the object in colour, then its coverage in grey. Both
    // bitmaps are black wherever no object is being drawn: each object
    // clears the rectangle it used, so the cost follows the object.
    const int32_t W = Target->Width(), H = Target->Height();
    if (!fCacheBitmap || fCacheBitmap->Width() != W || fCacheBitmap->Height() != H) {
      fCacheBitmap = std::make_unique<TVXBitmap>();
      fCacheBitmap->Allocate(W, H, vx24RGB);
      fCacheBitmap->Fill(0);
      fCacheBitmap->AlphaChannel()->Fill(0);
      fCacheMask = std::make_unique<TVXBitmap>();
      fCacheMask->Allocate(W, H, vx24RGB);
      fCacheMask->Fill(0);
    }
    auto clip = [&](TRect r) {
      r.Left = std::clamp(r.Left, 0, W - 1), r.Right = std::clamp(r.Right, 0, W - 1);
      r.Top = std::clamp(r.Top, 0, H - 1), r.Bottom = std::clamp(r.Bottom, 0, H - 1);
      return r;
    };
    TRect hl{};
    if (o.BoxHighlight) {
      hl = clip(MappedBox(o, Screen));
      if (hl.Left <= hl.Right && hl.Top <= hl.Bottom)
        Target->CopyRectTo(fCacheBitmap.get(), hl.Left, hl.Top, hl.Left, hl.Top, hl.Right - hl.Left + 1,
                           hl.Bottom - hl.Top + 1);
    }
    const int32_t savedT = o.Transparency;
    o.Transparency = 255;
    bool drawn = false;
    TRect used{};
    auto clean = [&](const TRect& r) {
      if (r.Left > r.Right || r.Top > r.Bottom) return;
      fCacheBitmap->FillRect(r.Left, r.Top, r.Right, r.Bottom, 0);
      fCacheMask->FillRect(r.Left, r.Top, r.Right, r.Bottom, 0);
      TVXBitmap* ca = fCacheBitmap->AlphaChannel();
      for (int32_t y = r.Top; y <= r.Bottom; ++y)
        std::memset(static_cast<uint8_t*>(ca->Scanline(y)) + r.Left, 0, size_t(r.Right - r.Left + 1));
    };
    try {
      drawn = DrawOneObject(h, fCacheBitmap.get(), Screen, Layer, AntiAlias, false);
    } catch (...) {
      o.Transparency = savedT;
      clean(TRect{0, 0, W - 1, H - 1});
      throw;
    }
    o.Transparency = savedT;
    if (!drawn) {
      clean(hl);
      continue;
    }
    const int32_t savedDrawed = fObjDrawed;
    const TRect plim = o.plim;
    DrawOneObject(h, fCacheMask.get(), Screen, Layer, AntiAlias, true);
    fObjDrawed = savedDrawed;
    o.plim = plim;
    // The rectangle the object covers, grown by its pen width.
    TRect r = clip(TRect{plim.Left - o.pwidth, plim.Top - o.pwidth, plim.Right + o.pwidth, plim.Bottom + o.pwidth});
    // What to clear afterwards: that rectangle with a margin for strokes
    // that reach past it, and the highlight's copy.
    used = clip(TRect{r.Left - 2 * o.pwidth - 2, r.Top - 2 * o.pwidth - 2, r.Right + 2 * o.pwidth + 2,
                      r.Bottom + 2 * o.pwidth + 2});
    if (o.BoxHighlight)
      used = TRect{std::min(used.Left, hl.Left), std::min(used.Top, hl.Top), std::max(used.Right, hl.Right),
                   std::max(used.Bottom, hl.Bottom)};
    if (r.Left > r.Right || r.Top > r.Bottom) {
      clean(used);
      continue;
    }
    TVXBitmap* a = fCacheBitmap->AlphaChannel();
    for (int32_t y = r.Top; y <= r.Bottom; ++y) {
      uint8_t* ar = static_cast<uint8_t*>(a->Scanline(y));
      for (int32_t x = r.Left; x <= r.Right; ++x) {
        const uint8_t g = fCacheMask->Pixels_vx24RGB(x, y).r;
        ar[x] = g <= 7 ? 0 : g;
      }
    }
    if (o.softShadow.Enabled) {
      // The shadow spreads the merged rectangle by its growth, and what is
      // cleared afterwards with it.
      r = ShadowRect(fCacheBitmap.get(), o.softShadow, r, 1);
      used = TRect{std::min(used.Left, r.Left), std::min(used.Top, r.Top), std::max(used.Right, r.Right),
                   std::max(used.Bottom, r.Bottom)};
    }
    a->SetFull(false);
    const int32_t rw = r.Right - r.Left + 1, rh = r.Bottom - r.Top + 1;
    if (Target->HasAlphaChannel()) {
      TVXBitmap part;
      part.Allocate(rw, rh, vx24RGB);
      fCacheBitmap->CopyRectTo(&part, r.Left, r.Top, 0, 0, rw, rh);
      TVXBitmap* pa = part.AlphaChannel();
      for (int32_t y = 0; y < rh; ++y)
        std::memcpy(pa->Scanline(y), static_cast<uint8_t*>(a->Scanline(r.Top + y)) + r.Left, size_t(rw));
      pa->SetFull(false);
      // The target's coverage as the object's over it, exactly: opaque
      // where the object is opaque.
      std::vector<uint8_t> before(size_t(rw) * size_t(rh));
      TVXBitmap* ta = Target->AlphaChannel();
      for (int32_t y = 0; y < rh; ++y)
        std::memcpy(&before[size_t(y) * size_t(rw)], static_cast<uint8_t*>(ta->Scanline(r.Top + y)) + r.Left, size_t(rw));
      Target->MergeWithAlpha(&part, r.Left, r.Top, rw, rh, 255, rfNone, o.BlendOperation, false, 0, 0, 1.0);
      for (int32_t y = 0; y < rh; ++y) {
        const uint8_t* sa = static_cast<uint8_t*>(a->Scanline(r.Top + y)) + r.Left;
        uint8_t* da = static_cast<uint8_t*>(ta->Scanline(r.Top + y)) + r.Left;
        for (int32_t x = 0; x < rw; ++x)
          da[x] = uint8_t(sa[x] + (before[size_t(y) * size_t(rw) + size_t(x)] * (255 - sa[x]) + 127) / 255);
      }
      ta->SetFull(false);
    } else {
      fCacheBitmap->RenderToTVXBitmapEx(Target, r.Left, r.Top, rw, rh, r.Left, r.Top, rw, rh, true, 255, rfNone,
                                        o.BlendOperation, 1.0);
    }
    clean(used);
  }
}

// Without GDI+ the objects are drawn at twice the size (antialiased) or at
// their size into an off-screen bitmap, with their coverage, and merged, so
// that edges are smooth and transparency holds.
void TVexlaneVect::SupersampleLoop(TVXBitmap* Target, bool Screen, int32_t Layer, const std::vector<int32_t>& Handles,
                                   bool AntiAlias) {
  const int32_t e = AntiAlias ? 2 : 1;
  const int32_t W = Target->Width(), H = Target->Height();
  auto cache = std::make_unique<TVXBitmap>(), mask = std::make_unique<TVXBitmap>();
  cache->Allocate(W * e, H * e, vx24RGB);
  mask->Allocate(W * e, H * e, vx24RGB);
  const TResampleFilter filter = e > 1 ? VXGetGlobalSettings()->DefaultResampleFilter() : rfNone;
  struct TFactor {
    int32_t& F;
    explicit TFactor(int32_t& f, int32_t v) : F(f) { F = v; }
    ~TFactor() { F = 1; }
  } factor(fDrawFactor, e);
  for (int32_t h : Handles) {
    TVXVObject& o = *fObjHeap[size_t(h)];
    cache->Fill(0);
    if (e > 1) {
      // The edges fade into the pen's colour.
      const TRGB pc{uint8_t(o.PenColor >> 16), uint8_t(o.PenColor >> 8), uint8_t(o.PenColor)};
      for (int32_t y = 0; y < cache->Height(); ++y)
        for (int32_t x = 0; x < cache->Width(); ++x) cache->SetPixels_vx24RGB(x, y, pc);
    }
    mask->Fill(0);
    if (o.BoxHighlight) Target->RenderToTVXBitmapEx(cache.get(), 0, 0, W * e, H * e, 0, 0, W, H, false, 255, rfNone, vxlNormal, 1.0);
    const int32_t savedT = o.Transparency;
    o.Transparency = 255;
    bool drawn = false;
    try {
      drawn = DrawOneObject(h, cache.get(), Screen, Layer, false, false);
    } catch (...) {
      o.Transparency = savedT;
      throw;
    }
    o.Transparency = savedT;
    if (!drawn) continue;
    const TRect plim = o.plim;
    const int32_t count = fObjDrawed;
    DrawOneObject(h, mask.get(), Screen, Layer, false, true);
    fObjDrawed = count;
    o.plim = plim;
    TRect r{plim.Left - o.pwidth, plim.Top - o.pwidth, plim.Right + o.pwidth, plim.Bottom + o.pwidth};
    r.Left = std::clamp(r.Left, 0, W * e - 1), r.Right = std::clamp(r.Right, 0, W * e - 1);
    r.Top = std::clamp(r.Top, 0, H * e - 1), r.Bottom = std::clamp(r.Bottom, 0, H * e - 1);
    // Whole target pixels: an even start and an odd end at factor 2.
    r.Left -= r.Left % e, r.Top -= r.Top % e;
    r.Right += e - 1 - r.Right % e, r.Bottom += e - 1 - r.Bottom % e;
    r.Right = std::min(r.Right, W * e - 1), r.Bottom = std::min(r.Bottom, H * e - 1);
    if (r.Left > r.Right || r.Top > r.Bottom) continue;
    TVXBitmap* a = cache->AlphaChannel();
    a->Fill(0);
    for (int32_t y = r.Top; y <= r.Bottom; ++y) {
      uint8_t* ar = static_cast<uint8_t*>(a->Scanline(y));
      for (int32_t x = r.Left; x <= r.Right; ++x) {
        const uint8_t g = mask->Pixels_vx24RGB(x, y).r;
        ar[x] = g <= 7 ? 0 : g;
      }
    }
    if (o.softShadow.Enabled) {
      r = ShadowRect(cache.get(), o.softShadow, r, e);
      r.Left -= r.Left % e, r.Top -= r.Top % e;
      r.Right += e - 1 - r.Right % e, r.Bottom += e - 1 - r.Bottom % e;
      r.Right = std::min(r.Right, W * e - 1), r.Bottom = std::min(r.Bottom, H * e - 1);
    }
    a->SetFull(false);
    const int32_t rw = r.Right - r.Left + 1, rh = r.Bottom - r.Top + 1;
    cache->RenderToTVXBitmapEx(Target, r.Left / e, r.Top / e, rw / e, rh / e, r.Left, r.Top, rw, rh, true, 255, filter,
                               o.BlendOperation, 1.0);
    o.plim = TRect{plim.Left / e, plim.Top / e, plim.Right / e, plim.Bottom / e};
  }
}

TRect TVexlaneVect::ShadowRect(TVXBitmap* Cache, const TVXVSoftShadow& Shadow, const TRect& R, int32_t Factor) {
  // The shadow is laid into the cache's colours and coverage around the
  // object; the rectangle to merge grows by the shadow's reach.
  const uint32_t colour = (uint32_t(Shadow.ShadowColor.r) << 16) | (uint32_t(Shadow.ShadowColor.g) << 8) |
                          uint32_t(Shadow.ShadowColor.b);
  const int32_t g = VXAddSoftShadowRect(Cache, Shadow.OffsetX * Factor, Shadow.OffsetY * Factor, R.Left, R.Top, R.Right,
                                        R.Bottom, colour, Shadow.Intensity, Shadow.Radius * Factor);
  const int32_t W = Cache->Width(), H = Cache->Height();
  return TRect{std::clamp(R.Left - g, 0, W - 1), std::clamp(R.Top - g, 0, H - 1), std::clamp(R.Right + g, 0, W - 1),
               std::clamp(R.Bottom + g, 0, H - 1)};
}

TRect TVexlaneVect::MappedBox(const TVXVObject& o, bool Screen) {
  const TVXLayer* L = Screen && fObjAnchorToLayers && o.Layer >= 0 && o.Layer < LayersCount() ? Layers(o.Layer) : nullptr;
  auto mx = [&](int32_t x) { return !Screen ? x : L ? ConvXBmp2Scr(L, x) : XBmp2Scr(x); };
  auto my = [&](int32_t y) { return !Screen ? y : L ? ConvYBmp2Scr(L, y) : YBmp2Scr(y); };
  const int32_t a = mx(o.x1), b = my(o.y1), c = mx(o.x2 + 1), d = my(o.y2 + 1);
  return TRect{std::min(a, c), std::min(b, d), std::max(a, c), std::max(b, d)};
}

void TVexlaneVect::DrawObjectsToBitmap(TVXBitmap* Target, bool Antialias, bool AdaptBitmapPixelFormat) {
  DrawOneObjectToBitmap(-3, Target, Antialias, AdaptBitmapPixelFormat);
}

void TVexlaneVect::DrawOneObjectToBitmap(int32_t hobj, TVXBitmap* Target, bool Antialias, bool AdaptBitmapPixelFormat) {
  const bool fast = fFastDrawing, render = fObjGraphicRender;
  fFastDrawing = false;
  if (Antialias) fObjGraphicRender = true;
  try {
    if (AdaptBitmapPixelFormat && !Target->IsEmpty() && Target->PixelFormat() != vx24RGB)
      Target->SetPixelFormat(vx24RGB);
    if (Target->IsEmpty()) {
      const TRect e = ObjectsExtents();
      const int32_t w = e.Right == INT32_MAX ? e.Right : e.Right + 1, h = e.Bottom == INT32_MAX ? e.Bottom : e.Bottom + 1;
      if (!Target->Allocate(std::max(1, w), std::max(1, h), vx24RGB)) throw EVXException("Not enough memory");
      Target->Fill(0);
    }
    fObjDrawed = 0;
    DrawObjectsLoop(Target, false, -1, hobj, Antialias);
  } catch (...) {
    fFastDrawing = fast;
    fObjGraphicRender = render;
    throw;
  }
  fFastDrawing = fast;
  fObjGraphicRender = render;
}

void TVexlaneVect::CopyObjectsToBack(bool Antialias, bool AdaptBitmapPixelFormat) {
  CopyObjectToBack(-3, Antialias, AdaptBitmapPixelFormat);
}

void TVexlaneVect::CopyObjectToBack(int32_t hobj, bool Antialias, bool AdaptBitmapPixelFormat) {
  if (fObjAnchorToLayers) {
    for (int32_t i = 0; i < LayersCount(); ++i) {
      TVXBitmap* b = Layers(i)->Bitmap();
      if (!b || b->IsEmpty()) continue;
      if (AdaptBitmapPixelFormat && b->PixelFormat() != vx24RGB) b->SetPixelFormat(vx24RGB);
      DrawObjectsLoop(b, false, i, hobj, Antialias);
    }
  } else if (TVXBitmap* b = VXBitmap()) {
    DrawOneObjectToBitmap(hobj, b, Antialias, AdaptBitmapPixelFormat);
  }
  Update();
  ImageChange();
}

// ---------------------------------------------------------------------------
// Over the viewer

void TVexlaneVect::PaintToEx(TVXBitmap* ABitmap, uint8_t** ABitmapScanline, const TRect* UpdRect, bool DrawBackground,
                             bool DrawGadgets) {
  TVexlaneView::PaintToEx(ABitmap, ABitmapScanline, UpdRect, DrawBackground, DrawGadgets);
  if (fObjLockPaint > 0 || !ABitmap || ABitmap->IsEmpty()) return;
  if (!fObjAnchorToLayers) {
    fObjDrawed = 0;
    DrawObjectsLoop(ABitmap, true, -1, -3, fObjAntialias);
  }
  DrawSelectionGrips(ABitmap);
  // Editing a polyline's points: each drawn point marked.
  if ((fMouseInteractVt & (1u << miEditPolyline)) && fSelObj.size() == 1) {
    const TVXVObject& o = *fObjHeap[size_t(fSelObj[0])];
    if (o.Kind == vxkPOLYLINE && !o.DrawnPoints.empty()) {
      TVXCanvas c(ABitmap->Canvas(), false, false);
      c.Pen()->SetColor(clBlack);
      c.Pen()->SetWidth(1);
      c.Pen()->SetStyle(psSolid);
      c.Brush()->SetColor(TColor(0x0000FF));
      c.Brush()->SetStyle(bsSolid);
      for (const TPoint& p : o.DrawnPoints) c.Ellipse(p.X - 3, p.Y - 3, p.X + 3, p.Y + 3);
    }
  }
}

void TVexlaneVect::AfterDrawLayer(int32_t LayerIndex, TVXBitmap* Dest, const TRect* UpdRect) {
  TVexlaneView::AfterDrawLayer(LayerIndex, Dest, UpdRect);
  if (fObjLockPaint > 0 || !fObjAnchorToLayers || !Dest || Dest->IsEmpty()) return;
  if (LayerIndex == 0) fObjDrawed = 0;
  DrawObjectsLoop(Dest, true, LayerIndex, -3, fObjAntialias);
}

// ---------------------------------------------------------------------------
// Grips

void TVexlaneVect::DrawObjGrips(TVXBitmap* Target, int32_t hobj) {
  const TVXVObject& o = *GetObjRecord(hobj);
  if (o.Style & VXVStyleOf(vxvsHideGrips)) return;
  const TVXLayer* L = fObjAnchorToLayers && o.Layer >= 0 && o.Layer < LayersCount() ? Layers(o.Layer) : nullptr;
  auto mx = [&](int32_t x) { return L ? ConvXBmp2Scr(L, x) : XBmp2Scr(x); };
  auto my = [&](int32_t y) { return L ? ConvYBmp2Scr(L, y) : YBmp2Scr(y); };
  int32_t x1 = mx(o.x1), y1 = my(o.y1), x2 = mx(o.x2), y2 = my(o.y2);
  if (o.Kind == vxkBITMAP && fZoomObjectsWidth) {
    if (ZoomX() != 100) x2 = mx(o.x2 + 1) - 1;
    if (ZoomY() != 100) y2 = my(o.y2 + 1) - 1;
  }
  if (std::max(x1, x2) < 0 || std::max(y1, y2) < 0 || std::min(x1, x2) >= Target->Width() ||
      std::min(y1, y2) >= Target->Height())
    return;
  if (!(o.Style & VXVStyleOf(vxvsSelectable))) return;
  std::vector<TPoint> grips;
  if (o.Kind == vxkANGLE) {
    for (const TPoint& p : o.AnglePoints) grips.push_back(TPoint{mx(p.X), my(p.Y)});
  } else {
    grips = {{x1, y1}, {x2, y2}};
    if (o.Kind != vxkLINE && o.Kind != vxkRULER && o.Kind != vxkLINELABEL) {
      const int32_t cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
      grips.insert(grips.end(), {{x2, y1}, {x1, y2}, {x1, cy}, {x2, cy}, {cx, y1}, {cx, y2}});
    }
  }
  TVXCanvas c(Target->Canvas(), true, true);
  c.Pen()->SetWidth(float(fObjGripPen->Width()));
  c.Pen()->SetColor(fObjGripPen->Color());
  c.Pen()->SetStyle(fObjGripPen->Style());
  c.Pen()->SetMode(fObjGripPen->Mode());
  c.Pen()->SetTransparency(180);
  c.Brush()->SetColor(fObjGripBrush->Color());
  c.Brush()->SetStyle(fObjGripBrush->Style());
  c.Brush()->SetTransparency(180);
  const int32_t s = fObjGripSize;
  for (const TPoint& g : grips) {
    if (fObjGripShape == vxgsBox) c.Rectangle(g.X - s, g.Y - s, g.X + s, g.Y + s);
    else c.Ellipse(g.X - s, g.Y - s, g.X + s, g.Y + s);
  }
  if (fUseCentralGrip) {
    int32_t a = x1, b = y1, d = x2, e = y2;
    VXOrderCorners(a, b, d, e);
    const int32_t gx = a + (d - a + 1) / 2, gy = b + (e - b + 1) / 2;
    c.Pen()->SetWidth(1);
    const TPoint diamond[5] = {{gx, gy - s}, {gx + s, gy}, {gx, gy + s}, {gx - s, gy}, {gx, gy - s}};
    c.Polyline(diamond);
  }
}

void TVexlaneVect::DrawSelectionGrips(TVXBitmap* Target) {
  for (int32_t h : std::vector<int32_t>(fSelObj)) DrawObjGrips(Target, h);
}

// ---------------------------------------------------------------------------
// Painting and fast drawing

void TVexlaneVect::Paint() {
  if (!fMouseStableTimer->Enabled() && !fFastDrawing && fObjEnableFastDrawing &&
      (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0) {
    fFastDrawing = true;
    fMouseStableTimer->SetEnabled(true);
  }
  TVexlaneView::Paint();
  // The window under the measure hint was painted again: what the hint kept
  // of it is stale, and the hint goes back over the new picture.
  fHintSaveBitmap->SetWidth(1);
  if (fStable2 == 0) DrawMeasureHint(-1000000, -1000000);
}

void TVexlaneVect::MouseStableTimer() {
  if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0) return;
  fMouseStableTimer->SetEnabled(false);
  fFastDrawing = false;
  Update();
}

void TVexlaneVect::Update() {
  TVexlaneView::Update();
  PlaceTextEditor();
}

void TVexlaneVect::DoViewChange(int32_t Change) {
  TVexlaneView::DoViewChange(Change);
  if (fTextEditing != -1) PlaceTextEditor();
}

void TVexlaneVect::WMSize(TMessage& Message) {
  TVexlaneView::WMSize(Message);
  CancelInteracts();
  Update();
}
