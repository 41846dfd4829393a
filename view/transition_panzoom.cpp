// Pan and zoom: the rectangles of the kinds of movement and the engine's
// frame routine, which moves a viewing rectangle over the full-resolution
// image and shows its content stretched to the frame.
#include "view/transition_panzoom.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/bitmap.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "view/transitions.h"
#include "view/vexlaneview.h"
#include "winui/gdi.h"

namespace {

// Placement of a w x h rectangle at anchor Pos (0 .. 8, row by row) of the
// bound.
TRect Place(const TRect& Bound, int32_t Pos, int32_t w, int32_t h) {
  const int32_t BW = Bound.Right - Bound.Left, BH = Bound.Bottom - Bound.Top;
  const int32_t col = Pos % 3, row = Pos / 3;
  const int32_t left = col == 0 ? Bound.Left : col == 2 ? Bound.Left + BW - w : Bound.Left + (BW - w) / 2;
  const int32_t top = row == 0 ? Bound.Top : row == 2 ? Bound.Top + BH - h : Bound.Top + (BH - h) / 2;
  return TRect{left, top, left + w, top + h};
}

}  // namespace

void CalcPanZoomRects(int32_t ClientWidth, int32_t ClientHeight, int32_t ImageWidth, int32_t ImageHeight,
                      int32_t ZoomLevel, TVXPanZoomType Kind, TRect& StartRect, TRect& EndRect) {
  if (Kind < 0 || Kind > vxpzFullZoomOutFromBottomRight) return;
  const TRect Bound{2, 2, ImageWidth - 4, ImageHeight - 4};
  const int32_t BW = Bound.Right - Bound.Left, BH = Bound.Bottom - Bound.Top;
  // Nothing to place in an empty client or bound (the ratios below would
  // divide by zero).
  if (ClientWidth <= 0 || ClientHeight <= 0 || BW <= 0 || BH <= 0) return;
  const double cw = ClientWidth, ch = ClientHeight, bw = BW, bh = BH;
  const bool SameAspect = std::fabs(cw / ch - bw / bh) <= 0.01;
  const bool Portrait = ImageHeight > ImageWidth;
  if (ZoomLevel < 2) ZoomLevel = 20;
  const bool Taller = bh / ch > bw / cw;
  int32_t FW, FH;
  if (Taller) {
    FW = BW;
    FH = int32_t(std::nearbyint(double(FW) * ch / cw));
  } else {
    FH = BH;
    FW = int32_t(std::nearbyint(double(FH) * cw / ch));
  }
  const int32_t zw = MulDiv(FW, 100 - ZoomLevel, 100), zh = MulDiv(FH, 100 - ZoomLevel, 100);
  const int32_t gw = MulDiv(BW, 100 - ZoomLevel, 100), gh = MulDiv(BH, 100 - ZoomLevel, 100);
  auto Z = [&](int32_t p) { return Place(Bound, p, zw, zh); };
  auto F = [&](int32_t p) { return Place(Bound, p, FW, FH); };
  auto G = [&](int32_t p) { return Place(Bound, p, gw, gh); };

  // Kinds listed with their pair in the other order are their partner
  // reversed.
  int32_t k = Kind;
  bool reversed = false;
  switch (k) {
    case vxpzPanBottomLeftToTopRight: k = vxpzPanTopRightToBottomLeft; reversed = true; break;
    case vxpzPanBottomRightToTopLeft: k = vxpzPanTopLeftToBottomRight; reversed = true; break;
    case vxpzPanCenterToTopLeft: k = vxpzPanTopLeftToCenter; reversed = true; break;
    case vxpzPanCenterToTopRight: k = vxpzPanTopRightToCenter; reversed = true; break;
    case vxpzPanCenterToBottomLeft: k = vxpzPanBottomLeftToCenter; reversed = true; break;
    case vxpzPanCenterToBottomRight: k = vxpzPanBottomRightToCenter; reversed = true; break;
    case vxpzPanRightToLeftOrBottomToTop: k = vxpzPanLeftToRightOrTopToBottom; reversed = true; break;
    case vxpzPanCenterToLeftToOrCenterToTop: k = vxpzPanLeftToCenterOrTopToCenter; reversed = true; break;
    case vxpzPanCenterToRightOrCenterToBottom: k = vxpzPanRightToCenterOrBottomToCenter; reversed = true; break;
    default:
      if (k >= vxpzZoomOutFromTopLeft && k <= vxpzZoomOutFromBottomRight) {
        k -= vxpzZoomOutFromTopLeft - vxpzZoomInToTopLeft;
        reversed = true;
      } else if (k >= vxpzFullZoomOutFromTopLeft) {
        k -= vxpzFullZoomOutFromTopLeft - vxpzFullZoomInToTopLeft;
        reversed = true;
      }
      break;
  }
  // The three aspect cases of the side pans: A portrait of the client's
  // aspect, B another aspect, C landscape of the client's aspect.
  const char Case = SameAspect ? (Portrait ? 'A' : 'C') : 'B';
  TRect S{}, E{};
  switch (k) {
    case vxpzPanTopLeftToBottomRight: S = Z(0); E = Z(8); break;
    case vxpzPanTopRightToBottomLeft: S = Z(2); E = Z(6); break;
    case vxpzPanTopLeftToCenter: S = Z(0); E = Z(4); break;
    case vxpzPanTopRightToCenter: S = Z(2); E = Z(4); break;
    case vxpzPanBottomLeftToCenter: S = Z(6); E = Z(4); break;
    case vxpzPanBottomRightToCenter: S = Z(8); E = Z(4); break;
    case vxpzPanLeftToRightOrTopToBottom:
      if (Case == 'A') { S = Z(1); E = Z(7); }
      else if (Case == 'B') { S = Taller ? F(1) : F(3); E = Taller ? F(7) : F(5); }
      else { S = Z(3); E = Z(5); }
      break;
    case vxpzPanLeftToCenterOrTopToCenter:
      if (Case == 'A') { S = Z(1); E = Z(4); }
      else if (Case == 'B') { S = Taller ? F(1) : F(3); E = F(4); }
      else { S = Z(3); E = Z(4); }
      break;
    case vxpzPanRightToCenterOrBottomToCenter:
      if (Case == 'A') { S = Z(7); E = Z(4); }
      else if (Case == 'B') { S = Taller ? F(7) : F(5); E = F(4); }
      else { S = Z(5); E = Z(4); }
      break;
    default: {
      static const int32_t kPos[5] = {0, 2, 4, 6, 8};
      if (k >= vxpzZoomInToTopLeft && k <= vxpzZoomInToBottomRight) {
        const int32_t p = kPos[k - vxpzZoomInToTopLeft];
        S = F(p);
        E = Z(p);
      } else if (k >= vxpzFullZoomInToTopLeft && k <= vxpzFullZoomInToBottomRight) {
        S = Bound;
        E = G(k - vxpzFullZoomInToTopLeft);
      }
      break;
    }
  }
  if (reversed) std::swap(S, E);
  StartRect = S;
  EndRect = E;
}

void TVXTransitionEffects::DrawPanZoom() {
  if (fFullImage == nullptr || fWidth <= 0 || fHeight <= 0) return;
  const int32_t s = fStep;
  auto lerp = [s](int32_t a, int32_t b) { return int32_t(double(a) - s * ((double(a) - double(b)) / 1024.0)); };
  int32_t L = lerp(fStartRect.Left, fEndRect.Left), T = lerp(fStartRect.Top, fEndRect.Top);
  int32_t Wd = lerp(fStartRect.Right, fEndRect.Right) - L, Ht = lerp(fStartRect.Bottom, fEndRect.Bottom) - T;
  const int32_t IW = fFullImage->Width(), IH = fFullImage->Height();
  // Both edges are clamped in the same order, so that the source never
  // starts outside the image even when the rectangle is larger than it.
  bool Clipped = false;
  if (L < 0) { L = 0; Clipped = true; }
  if (IW < Wd) { Wd = IW; Clipped = true; }
  if (IW < L + Wd) { L = IW - Wd; Clipped = true; }
  if (T < 0) { T = 0; Clipped = true; }
  if (IH < Ht) { Ht = IH; Clipped = true; }
  if (IH < T + Ht) { T = IH - Ht; Clipped = true; }
  // A rectangle of no size has nothing to show (and no aspect to fit).
  if (Wd <= 0 || Ht <= 0) return;

  int32_t dx = 0, dy = 0, dw = fWidth, dh = fHeight;
  if (Clipped) {
    const double k = double(Wd) / fWidth > double(Ht) / fHeight ? double(fWidth) / Wd : double(fHeight) / Ht;
    dw = int32_t(std::nearbyint(Wd * k));
    dh = int32_t(std::nearbyint(Ht * k));
    dx = int32_t(fWidth / 2.0 - dw / 2.0);
    dy = int32_t(fHeight / 2.0 - dh / 2.0);
    if (auto* view = dynamic_cast<TVexlaneView*>(fOwner)) {
      view->DrawBackgroundToCanvas(fCurrentView->Canvas(), view->Width(), view->Height());
    } else {
      TCanvas* c = fCurrentView->Canvas();
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(fBackground);
      c->FillRect(TRect{0, 0, fWidth, fHeight});
    }
  }
  if (s == 0 || FFirstStep || FMinLeft == 0 || FMaxRight == 0 || Clipped) {
    FMinLeft = FMaxLeft = L;
    FMinTop = FMaxTop = T;
    FMinRight = FMaxRight = L + Wd;
    FMinBottom = FMaxBottom = T + Ht;
  }
  // The source edges never move back against the direction of travel.
  const int32_t srcL = fStartRect.Left > fEndRect.Left ? std::min(FMinLeft, L) : std::max(FMaxLeft, L);
  const int32_t srcT = fStartRect.Top > fEndRect.Top ? std::min(FMinTop, T) : std::max(FMaxTop, T);
  const int32_t srcR =
      fStartRect.Right > fEndRect.Right ? std::min(FMinRight, srcL + Wd) : std::max(FMaxRight, srcL + Wd);
  const int32_t srcB =
      fStartRect.Bottom > fEndRect.Bottom ? std::min(FMinBottom, srcT + Ht) : std::max(FMaxBottom, srcT + Ht);
  if (srcR > srcL && srcB > srcT && dw > 0 && dh > 0)
    fFullImage->RenderToTBitmapEx(fCurrentView.get(), dx, dy, dw, dh, srcL, srcT, srcR - srcL, srcB - srcT, true, 255,
                                  VXGetGlobalSettings()->PanZoomQualityFilter(), vxlNormal, 1.0);
  FMinLeft = std::min(FMinLeft, srcL);
  FMaxLeft = std::max(FMaxLeft, srcL);
  FMinTop = std::min(FMinTop, srcT);
  FMaxTop = std::max(FMaxTop, srcT);
  FMinRight = std::min(FMinRight, srcR);
  FMaxRight = std::max(FMaxRight, srcR);
  FMinBottom = std::min(FMinBottom, srcB);
  FMaxBottom = std::max(FMaxBottom, srcB);
}
