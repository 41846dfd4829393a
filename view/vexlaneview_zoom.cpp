// The viewer's zoom, view origin, layout, scroll bars, wheel and keys, and
// the mapping between client and bitmap coordinates.
//
// The zoom maps the image (MaxLayerWidth x MaxLayerHeight) to a zoomed image;
// the view origin is a point of the zoomed image shown at the client position
// (OffsetX, OffsetY). Mapping is a table look-up: global tables cover the
// zoomed image plus one client width and are rebuilt only when the zoom, the
// visible size or the image size change; scrolling only moves the start
// entries of the client tables.
#include <algorithm>
#include <climits>
#include <cmath>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/settings.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"
#include "winui/win_input.h"
#include "winui/win_scroll.h"
#include "winui/win_window.h"

namespace {

// The largest zoomed image side the 32-bit tables and origins can hold.
constexpr double kMaxZoomedSide = 1073741824.0;  // 2^30

// Truncation and rounding to int32 that never turn a non-finite or
// out-of-range double into an integer by undefined conversion.
int32_t TruncI(double v) {
  if (!std::isfinite(v)) return 0;
  if (v >= double(INT32_MAX)) return INT32_MAX;
  if (v <= double(INT32_MIN)) return INT32_MIN;
  return int32_t(v);
}

int32_t RndI(double v) { return TruncI(std::nearbyint(v)); }

bool AxisZoomAcceptable(double v, int32_t Size) {
  return std::isfinite(v) && v > 0 && double(Size) * (v / 100) <= kMaxZoomedSide;
}

// Builds one axis of the global tables (Scr2Bmp: zoomed pixel to bitmap
// pixel; Bmp2Scr: bitmap pixel to its first zoomed pixel).
void BuildAxis(double Zoom, int32_t ZoomedSize, int32_t Visible, int32_t ImageSize, std::vector<int32_t>& Scr2Bmp,
               std::vector<int32_t>& Bmp2Scr, int32_t& Scr2BmpSize) {
  const int32_t n = ZoomedSize + Visible + 1;
  const int32_t k = TruncI(n * 100 / Zoom) + 1;
  Scr2BmpSize = n + 1;
  Scr2Bmp.assign(size_t(n) + 1, 0);
  Bmp2Scr.assign(size_t(k) + 1, 0);
  const int32_t last = std::max(ImageSize - 1, 0);
  // Descending, so that each entry keeps the smallest value mapping to it.
  if (Zoom > 100) {
    for (int32_t s = n - 1; s >= 0; --s) {
      const int32_t b = TruncI(s * 100 / Zoom);
      if (b >= 0 && b <= k) Bmp2Scr[size_t(b)] = s;
      Scr2Bmp[size_t(s)] = std::min(b, last);
    }
  } else {
    for (int32_t b = k - 1; b >= 0; --b) {
      const int32_t s = TruncI(b * Zoom / 100);
      Bmp2Scr[size_t(b)] = s;
      if (s >= 0 && s <= n) Scr2Bmp[size_t(s)] = std::min(b, last);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Zoom

bool TVexlaneView::ZoomAcceptable(double v) const {
  return AxisZoomAcceptable(v, fMaxLayerWidth) && AxisZoomAcceptable(v, fMaxLayerHeight);
}

void TVexlaneView::SetDelayedFilterCounters(bool Changed) {
  (void)Changed;
  if (fDelayZoomFilter && fZoomFilter != rfNone && (fZoomX != 100 || fZoomY != 100)) fStable = fStableReset;
  fStable2 = fStable2Reset;
}

void TVexlaneView::SetZoom(double v) { ChangeZoom(v, true, true); }
void TVexlaneView::SetZoomX(double v) { ChangeZoom(v, true, false); }
void TVexlaneView::SetZoomY(double v) { ChangeZoom(v, false, true); }

void TVexlaneView::ChangeZoom(double v, bool X, bool Y) {
  StopSmoothScroll();
  DoViewChanging(2, v);
  if ((X && !AxisZoomAcceptable(v, fMaxLayerWidth)) || (Y && !AxisZoomAcceptable(v, fMaxLayerHeight))) return;
  if ((!X || v == fZoomX) && (!Y || v == fZoomY)) return;
  SetDelayedFilterCounters(true);
  LockPaint();
  try {
    if (X && Y)
      SetZoomNoUpdate(v);
    else if (X)
      SetZoomXNoUpdate(v);
    else
      SetZoomYNoUpdate(v);
    // The second update settles the layout after the bars changed.
    fUpdateReason = vxurZoomed;
    Update();
    fUpdateReason = vxurZoomed;
    Update();
    UpdateVisibleRects();
    UpdateCoordinateTables();
  } catch (...) {
    NPUnLockPaint();
    throw;
  }
  NPUnLockPaint();
  Paint();
  DoViewChange(1);
}

void TVexlaneView::SetZoomNoUpdate(double v) {
  StopSmoothScroll();
  if (!ZoomAcceptable(v)) return;
  const uint32_t hw = uint32_t(GetClientWidth()) >> 1, hh = uint32_t(GetClientHeight()) >> 1;
  const int32_t cx = RndI((double(hw) + fViewX - fOffX) * 100 / fZoomX);
  const int32_t cy = RndI((double(hh) + fViewY - fOffY) * 100 / fZoomY);
  fZoomX = fZoomY = v;
  fZoomD100X = fZoomD100Y = v / 100;
  f100DZoomX = f100DZoomY = 100 / v;
  int32_t mx, my;
  GetMaxViewXY(mx, my);
  fViewX = std::clamp(TruncI(cx * (v / 100) - double(hw)), 0, std::max(mx, 0));
  fViewY = std::clamp(TruncI(cy * (v / 100) - double(hh)), 0, std::max(my, 0));
}

void TVexlaneView::SetZoomXNoUpdate(double v) {
  StopSmoothScroll();
  if (!AxisZoomAcceptable(v, fMaxLayerWidth)) return;
  const uint32_t hw = uint32_t(GetClientWidth()) >> 1;
  const int32_t cx = RndI((double(hw) + fViewX - fOffX) * 100 / fZoomX);
  fZoomX = v;
  fZoomD100X = v / 100;
  f100DZoomX = 100 / v;
  int32_t mx, my;
  GetMaxViewXY(mx, my);
  fViewX = std::clamp(TruncI(cx * (v / 100) - double(hw)), 0, std::max(mx, 0));
}

void TVexlaneView::SetZoomYNoUpdate(double v) {
  StopSmoothScroll();
  if (!AxisZoomAcceptable(v, fMaxLayerHeight)) return;
  const uint32_t hh = uint32_t(GetClientHeight()) >> 1;
  const int32_t cy = RndI((double(hh) + fViewY - fOffY) * 100 / fZoomY);
  fZoomY = v;
  fZoomD100Y = v / 100;
  f100DZoomY = 100 / v;
  int32_t mx, my;
  GetMaxViewXY(mx, my);
  fViewY = std::clamp(TruncI(cy * (v / 100) - double(hh)), 0, std::max(my, 0));
}

void TVexlaneView::ZoomAt(int32_t x, int32_t y, double ZoomVal, bool Center) {
  DoViewChanging(2, x);
  DoViewChanging(2, y);
  LockPaint();
  try {
    const int32_t bx = XScr2Bmp(x), by = YScr2Bmp(y);
    SetZoom(ZoomVal);
    const double z = fZoomX / 100;
    if (Center)
      SetViewXY(TruncI(bx * z - GetClientWidth() / 2), TruncI(by * z - GetClientHeight() / 2));
    else
      SetViewXY(TruncI(bx * z - x + z), TruncI(by * z - y + z));
  } catch (...) {
    NPUnLockPaint();
    throw;
  }
  UnLockPaint();
  UpdateVisibleRects();
  UpdateCoordinateTables();
}

double TVexlaneView::GetIdealZoom() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return 0;
  return std::min(Height() / (fMaxLayerHeight / 100.0), Width() / (fMaxLayerWidth / 100.0));
}

void TVexlaneView::ZoomIn() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return;
  SetZoom(VXGetNextZoom(true, GetIdealZoom(), fZoomX));
}

void TVexlaneView::ZoomOut() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return;
  SetZoom(VXGetNextZoom(false, GetIdealZoom(), fZoomX));
}

void TVexlaneView::FitMargins(int32_t& mx, int32_t& my) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  switch (fBackgroundStyle) {
    case vxbsCropped:
      mx = s->EdgeX();
      my = s->EdgeY();
      return;
    case vxbsCropShadow: mx = my = 5; return;
    case vxbsSoftShadow: mx = my = 9; return;
    default: break;
  }
  if (FBorderStyle == bsNone) {
    mx = my = 0;
  } else if (Ctl3D()) {
    mx = s->EdgeX();
    my = s->EdgeY();
  } else {
    mx = s->BorderX();
    my = s->BorderY();
  }
}

double TVexlaneView::GetFitValue() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return 0;
  int32_t mx, my;
  FitMargins(mx, my);
  const double h = (Width() - 2.0 * mx) / (fMaxLayerWidth / 100.0);
  const double v = (Height() - 2.0 * my) / (fMaxLayerHeight / 100.0);
  return std::min(h, v);
}

double TVexlaneView::AutoZoomValue(int32_t w, int32_t h, int32_t aw, int32_t ah, bool Stretch, bool Shrink) {
  if (w == 0 || h == 0 || aw == 0 || ah == 0) return 100;
  const double rw = double(w) / aw, rh = double(h) / ah;
  if (!std::isfinite(rw) || !std::isfinite(rh)) return 100;
  bool allowed;
  if (rw > rh)
    allowed = aw < w ? Shrink : Stretch;
  else
    allowed = ah < h ? Shrink : Stretch;
  if (!allowed) return 100;
  const double z = GetFitValue();
  return std::isfinite(z) ? z : 100;
}

void TVexlaneView::Fit() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return;
  if (HandleAllocated()) ShowScrollBar(Handle(), SB_BOTH, FALSE);
  fHScrollBarVisible = fVScrollBarVisible = false;
  SetZoom(GetFitValue());
}

void TVexlaneView::Stretch() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return;
  auto hideBars = [this] {
    if (HandleAllocated()) ShowScrollBar(Handle(), SB_BOTH, FALSE);
    fHScrollBarVisible = fVScrollBarVisible = false;
  };
  hideBars();
  int32_t mx, my;
  FitMargins(mx, my);
  const double h = (Width() - 2.0 * mx) / (fMaxLayerWidth / 100.0);
  const double v = (Height() - 2.0 * my) / (fMaxLayerHeight / 100.0);
  LockPaint();
  try {
    SetZoomX(h);
    SetZoomY(v);
  } catch (...) {
    NPUnLockPaint();
    throw;
  }
  UnLockPaint();
  hideBars();
}

void TVexlaneView::FitToWidth() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return;
  int32_t mx, my;
  FitMargins(mx, my);
  LockPaint();
  try {
    SetZoom((Width() - 2.0 * mx) / (fMaxLayerWidth / 100.0));
    SetZoom(GetClientWidth() / (fMaxLayerWidth / 100.0));
  } catch (...) {
    NPUnLockPaint();
    throw;
  }
  UnLockPaint();
}

void TVexlaneView::FitToHeight() {
  if (fMaxLayerWidth == 0 || fMaxLayerHeight == 0) return;
  int32_t mx, my;
  FitMargins(mx, my);
  LockPaint();
  try {
    SetZoom((Height() - 2.0 * my) / (fMaxLayerHeight / 100.0));
    SetZoom(GetClientHeight() / (fMaxLayerHeight / 100.0));
  } catch (...) {
    NPUnLockPaint();
    throw;
  }
  UnLockPaint();
}

void TVexlaneView::ZoomSelection(bool AspectRatio) {
  if (!Selected()) return;
  const int32_t x1 = SelX1(), y1 = SelY1();
  const int32_t w = SelX2() - x1 + 1, h = SelY2() - y1 + 1;
  if (x1 < 0 || y1 < 0 || w < 2 || h < 2) return;
  DeSelect();
  if (AspectRatio) {
    SetZoom(std::min(Height() / (h / 100.0), Width() / (w / 100.0)));
  } else {
    SetZoomX(Width() / (w / 100.0));
    SetZoomY(Height() / (h / 100.0));
  }
  SetViewXY(TruncI(x1 * fZoomD100X) - (GetClientWidth() - TruncI(w * fZoomD100X)) / 2,
            TruncI(y1 * fZoomD100Y) - (GetClientHeight() - TruncI(h * fZoomD100Y)) / 2);
}

void TVexlaneView::CenterImage() {
  if (fVXBitmap == nullptr) return;
  SetViewXY(TruncI((fVXBitmap->Width() * fZoomD100X - GetClientWidth()) / 2),
            TruncI((fVXBitmap->Height() * fZoomD100Y - GetClientHeight()) / 2));
}

int32_t TVexlaneView::IdealComponentWidth() {
  int32_t w = TruncI(fMaxLayerWidth / 100.0 * fZoomX) + 1;
  if (fScrollBars == ssHorizontal || fScrollBars == ssBoth) w += Width() - GetClientWidth();
  return w;
}

int32_t TVexlaneView::IdealComponentHeight() {
  int32_t h = TruncI(fMaxLayerHeight / 100.0 * fZoomY) + 1;
  if (fScrollBars == ssVertical || fScrollBars == ssBoth) h += Height() - GetClientHeight();
  return h;
}

TRect TVexlaneView::VisibleBitmapRect() {
  return TRect{XScr2Bmp(fOffX), YScr2Bmp(fOffY), XScr2Bmp(GetClientWidth() - fOffX) - 1,
               YScr2Bmp(GetClientHeight() - fOffY) - 1};
}

void TVexlaneView::SetVisibleBitmapRect(const TRect& Rect) {
  LockPaint();
  try {
    TRect r = Rect;
    if (!IsEmpty() && fVXBitmap != nullptr)
      VXAdjustRectToAspect(Rect, fVXBitmap->Width(), fVXBitmap->Height(), r, 0, GetClientWidth(), GetClientHeight());
    const int32_t h = r.Bottom - r.Top;
    if (h != 0) {
      const double f = double(GetClientHeight()) / h;
      SetZoom(f * 100);
      SetViewX(RndI(r.Left * f));
      SetViewY(RndI(r.Top * f));
    }
  } catch (...) {
    UnLockPaint();
    throw;
  }
  UnLockPaint();
}

void TVexlaneView::SetZoomFilter(TResampleFilter Value) {
  fSaveZoomFilter = Value;
  if (Value == fZoomFilter) return;
  fZoomFilter = Value;
  Update();
}

// ---------------------------------------------------------------------------
// View origin

void TVexlaneView::GetMaxViewXY(int32_t& mx, int32_t& my) {
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  int32_t zw = TruncI(fMaxLayerWidth * fZoomD100X);
  int32_t zh = TruncI(fMaxLayerHeight * fZoomD100Y);
  if (fZoomX != fZoomY) {
    if (zw > cw + 10) zw = TruncI((fMaxLayerWidth + 1.0) * fZoomD100X);
    if (zh > ch + 10) zh = TruncI((fMaxLayerHeight + 1.0) * fZoomD100Y);
  } else if ((zw > cw + 10 || zh > ch + 10) && fScrollBars != ssNone) {
    zw = TruncI((fMaxLayerWidth + 1.0) * fZoomD100X);
    zh = TruncI((fMaxLayerHeight + 1.0) * fZoomD100Y);
  }
  mx = my = 0;
  if (zw < 1 || zh < 1) return;
  mx = zw - cw;
  my = zh - ch;
  if (mx < 0 || XScr2Bmp(mx) == 0) mx = 0;
  if (my < 0 || YScr2Bmp(my) == 0) my = 0;
  if (fZoomX != fZoomY) {
    if (zw <= Width()) mx = 0;
    if (zh <= Height()) my = 0;
  } else if (zw <= Width() && zh <= Height()) {
    mx = my = 0;
  }
}

void TVexlaneView::DoViewChanging(int32_t Change, double newValue) {
  if (OnViewChanging) OnViewChanging(static_cast<TVXView*>(this), Change, newValue);
}

void TVexlaneView::DoViewChange(int32_t Change) {
  if (OnViewChange) OnViewChange(static_cast<TVXView*>(this), Change);
  if (fNavigator != nullptr) RefreshNavigator();
}

void TVexlaneView::SetViewX(int32_t x) {
  DoViewChanging(0, x);
  if (x != fViewX) MoveView(x, fViewY, true, false);
}

void TVexlaneView::SetViewY(int32_t y) {
  DoViewChanging(1, y);
  if (y != fViewY) MoveView(fViewX, y, false, true);
}

void TVexlaneView::SetViewXY(int32_t x, int32_t y) {
  DoViewChanging(0, x);
  DoViewChanging(1, y);
  if (x != fViewX || y != fViewY) MoveView(x, y, true, true);
}

void TVexlaneView::MoveView(int32_t x, int32_t y, bool X, bool Y) {
  int32_t mx, my;
  GetMaxViewXY(mx, my);
  x = std::clamp(x, 0, std::max(mx, 0));
  y = std::clamp(y, 0, std::max(my, 0));
  if (x == fViewX && y == fViewY) return;
  SetDelayedFilterCounters(true);
  fViewX = x;
  fViewY = y;
  UpdateVisibleRects();
  UpdateCoordinateTables();
  fFullUpdateRequest = fDBToDraw = true;
  Paint();
  DoViewChange(0);
  if (Selected()) RedrawSelectionOutlines();
  if (!HandleAllocated()) return;
  if (X && (fScrollBars == ssHorizontal || fScrollBars == ssBoth)) SetBarPos(SB_HORZ, TruncI(fViewX / fRXScroll));
  if (Y && (fScrollBars == ssVertical || fScrollBars == ssBoth)) SetBarPos(SB_VERT, TruncI(fViewY / fRYScroll));
}

void TVexlaneView::SetBarPos(int Bar, int32_t Pos) {
  if (fFlatScrollBars)
    FlatSB_SetScrollPos(Handle(), Bar, Pos, TRUE);
  else
    SetScrollPos(Handle(), Bar, Pos, TRUE);
}

void TVexlaneView::SetCenter(bool Value) {
  if (Value) {
    fImageHorizAlignment = vxhCenter;
    fImageVertAlignment = vxvCenter;
  } else {
    fImageHorizAlignment = vxhLeft;
    fImageVertAlignment = vxvTop;
  }
  fUpdateReason = vxurScrolled;
  Update();
}

void TVexlaneView::SetImageHorizAlignment(TVXHAlign Value) {
  if (Value == fImageHorizAlignment) return;
  fImageHorizAlignment = Value;
  fUpdateReason = vxurScrolled;
  Update();
}

void TVexlaneView::SetImageVertAlignment(TVXVAlign Value) {
  if (Value == fImageVertAlignment) return;
  fImageVertAlignment = Value;
  fUpdateReason = vxurScrolled;
  Update();
}

// ---------------------------------------------------------------------------
// Layout and tables

void TVexlaneView::CalcViewLayout() {
  fZZWW = RndI(fMaxLayerWidth * fZoomD100X);
  fZZHH = RndI(fMaxLayerHeight * fZoomD100Y);
  fOffX = fOffY = 0;
  if (InState(csDesigning)) {
    fExtX = std::min(fZZWW, Width());
    fExtY = std::min(fZZHH, Height());
    return;
  }
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  fExtX = std::min(fZZWW, cw);
  fExtY = std::min(fZZHH, ch);
  if (fExtX < cw) {
    switch (fImageHorizAlignment) {
      case vxhCenter: fOffX = (cw - fExtX) / 2; break;
      case vxhRight: fOffX = cw - fExtX; break;
      default: fOffX = 0; break;
    }
  }
  if (fExtY < ch) {
    switch (fImageVertAlignment) {
      case vxvCenter: fOffY = (ch - fExtY) / 2; break;
      case vxvBottom: fOffY = ch - fExtY; break;
      default: fOffY = 0; break;
    }
  }
}

int32_t TVexlaneView::SnapX(int32_t v) const {
  if (v < 0) v = 0;
  if (v < fZZWW && !fGXScr2Bmp.empty() && fXScr2BmpSize > 0 && v < fGXScr2BmpSize) {
    const int32_t b = fGXScr2Bmp[size_t(v)];
    if (b >= 0 && size_t(b) < fGXBmp2Scr.size()) return fGXBmp2Scr[size_t(b)];
  }
  return v;
}

int32_t TVexlaneView::SnapY(int32_t v) const {
  if (v < 0) v = 0;
  if (v < fZZHH && !fGYScr2Bmp.empty() && fYScr2BmpSize > 0 && v < fGYScr2BmpSize) {
    const int32_t b = fGYScr2Bmp[size_t(v)];
    if (b >= 0 && size_t(b) < fGYBmp2Scr.size()) return fGYBmp2Scr[size_t(b)];
  }
  return v;
}

void TVexlaneView::UpdateVisibleRects() {
  fo1x = fo1y = fo2x = fo2y = 0;
  if (fZZWW != 0) {
    const double r = double(fMaxLayerWidth) / fZZWW;
    fo1x = RndI(SnapX(fViewX) * r);
    fo2x = RndI(r * fExtX);
    if (fo1x + fo2x > fMaxLayerWidth) --fo2x;
  }
  if (fZZHH != 0) {
    const double r = double(fMaxLayerHeight) / fZZHH;
    fo1y = RndI(SnapY(fViewY) * r);
    fo2y = RndI(r * fExtY);
    if (fo1y + fo2y > fMaxLayerHeight) --fo2y;
  }
  if (fZoomX > 100) {
    frx = TruncI(fo2x * fZoomD100X);
    if (frx < fExtX && fo1x + fo2x + 1 <= fMaxLayerWidth) {
      ++fo2x;
      frx = TruncI(fo2x * fZoomD100X);
    }
  } else {
    frx = fExtX;
  }
  if (fZoomY > 100) {
    fry = TruncI(fo2y * fZoomD100Y);
    if (fry < fExtY && fo1y + fo2y + 1 <= fMaxLayerHeight) {
      ++fo2y;
      fry = TruncI(fo2y * fZoomD100Y);
    }
  } else {
    fry = fExtY;
  }
}

void TVexlaneView::ClearCoordinateTables() {
  fGXScr2Bmp.clear();
  fGYScr2Bmp.clear();
  fGXBmp2Scr.clear();
  fGYBmp2Scr.clear();
  fGXScr2BmpSize = fGYScr2BmpSize = 0;
  fXScr2Bmp = fYScr2Bmp = fXBmp2Scr = fYBmp2Scr = 0;
  fXScr2BmpSize = fYScr2BmpSize = fXBmp2ScrSize = fYBmp2ScrSize = 0;
}

void TVexlaneView::UpdateCoordinateTables() {
  if (fZoomX != fLutLastZoomX || fZoomY != fLutLastZoomY || frx != fLutLastFRX || fry != fLutLastFRY ||
      fMaxLayerWidth != fLutLastMaxLayerWidth || fMaxLayerHeight != fLutLastMaxLayerHeight) {
    ClearCoordinateTables();
    if (frx <= 0 || fry <= 0 || fVXBitmap == nullptr || fVXBitmap->IsEmpty()) return;
    fXScr2BmpSize = frx;
    fYScr2BmpSize = fry;
    fXBmp2ScrSize = TruncI(frx * 100 / fZoomX);
    fYBmp2ScrSize = TruncI(fry * 100 / fZoomY);
    BuildAxis(fZoomX, fZZWW, frx, fMaxLayerWidth, fGXScr2Bmp, fGXBmp2Scr, fGXScr2BmpSize);
    BuildAxis(fZoomY, fZZHH, fry, fMaxLayerHeight, fGYScr2Bmp, fGYBmp2Scr, fGYScr2BmpSize);
    fLutLastZoomX = fZoomX;
    fLutLastZoomY = fZoomY;
    fLutLastFRX = frx;
    fLutLastFRY = fry;
    fLutLastMaxLayerWidth = fMaxLayerWidth;
    fLutLastMaxLayerHeight = fMaxLayerHeight;
  }
  if (fXScr2BmpSize > 0) {
    const int32_t a = SnapX(fViewX), b = SnapY(fViewY);
    fXScr2Bmp = a;
    fYScr2Bmp = b;
    const int32_t ca = a < int32_t(fGXScr2Bmp.size()) ? fGXScr2Bmp[size_t(a)] : 0;
    const int32_t cb = b < int32_t(fGYScr2Bmp.size()) ? fGYScr2Bmp[size_t(b)] : 0;
    fXBmp2Scr = std::max(0, ca - fo1x);
    fYBmp2Scr = std::max(0, cb - fo1y);
  }
}

// ---------------------------------------------------------------------------
// Mapping

int32_t TVexlaneView::XScr2Bmp(int32_t x) const {
  const int64_t d = int64_t(x) - fOffX;
  if (d >= 0 && d < fXScr2BmpSize) {
    const int64_t i = fXScr2Bmp + d;
    if (i < int64_t(fGXScr2Bmp.size())) return fGXScr2Bmp[size_t(i)];
  }
  return TruncI(double(d) * f100DZoomX + fo1x);
}

int32_t TVexlaneView::YScr2Bmp(int32_t y) const {
  const int64_t d = int64_t(y) - fOffY;
  if (d >= 0 && d < fYScr2BmpSize) {
    const int64_t i = fYScr2Bmp + d;
    if (i < int64_t(fGYScr2Bmp.size())) return fGYScr2Bmp[size_t(i)];
  }
  return TruncI(double(d) * f100DZoomY + fo1y);
}

int32_t TVexlaneView::XBmp2Scr(int32_t x) const {
  const int64_t d = int64_t(x) - fo1x;
  if (d >= 0 && d < fXBmp2ScrSize) {
    const int64_t i = fXBmp2Scr + d;
    if (i < int64_t(fGXBmp2Scr.size())) return fGXBmp2Scr[size_t(i)] + fOffX;
  }
  return RndI((x - std::nearbyint(SnapX(fViewX) * f100DZoomX)) * fZoomD100X + fOffX);
}

int32_t TVexlaneView::YBmp2Scr(int32_t y) const {
  const int64_t d = int64_t(y) - fo1y;
  if (d >= 0 && d < fYBmp2ScrSize) {
    const int64_t i = fYBmp2Scr + d;
    if (i < int64_t(fGYBmp2Scr.size())) return fGYBmp2Scr[size_t(i)] + fOffY;
  }
  return RndI((y - std::nearbyint(SnapY(fViewY) * f100DZoomY)) * fZoomD100Y + fOffY);
}

void TVexlaneView::GetRenderRectangles(int32_t& xDst, int32_t& yDst, int32_t& dxDst, int32_t& dyDst,
                                       int32_t& xSrc, int32_t& ySrc, int32_t& dxSrc, int32_t& dySrc) {
  SyncLayers();
  UpdateVisibleRects();
  UpdateCoordinateTables();
  xDst = fOffX;
  yDst = fOffY;
  dxDst = frx;
  dyDst = fry;
  xSrc = fo1x;
  ySrc = fo1y;
  dxSrc = fo2x;
  dySrc = fo2y;
}

// ---------------------------------------------------------------------------
// Scroll bars

void TVexlaneView::SetScrollBars(TScrollStyle Value) {
  fScrollBars = Value;
  if (HandleAllocated()) {
    if (Value != ssVertical && Value != ssBoth) {
      if (fFlatScrollBars)
        FlatSB_ShowScrollBar(Handle(), SB_VERT, FALSE);
      else
        ShowScrollBar(Handle(), SB_VERT, FALSE);
    }
    if (Value != ssHorizontal && Value != ssBoth) {
      if (fFlatScrollBars)
        FlatSB_ShowScrollBar(Handle(), SB_HORZ, FALSE);
      else
        ShowScrollBar(Handle(), SB_HORZ, FALSE);
    }
  }
  if (Value != ssVertical && Value != ssBoth) fVScrollBarVisible = false;
  if (Value != ssHorizontal && Value != ssBoth) fHScrollBarVisible = false;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetScrollBarsAlwaysVisible(bool Value) {
  fScrollBarsAlwaysVisible = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetFlatScrollBars(bool Value) {
  if (Value == fFlatScrollBars) return;
  fFlatScrollBars = Value;
  if (!HandleAllocated()) return;
  if (!Value) {
    UninitializeFlatSB(Handle());
  } else {
    SetScrollRange(Handle(), SB_HORZ, 0, 65535, FALSE);
    SetScrollRange(Handle(), SB_VERT, 0, 65535, FALSE);
    InitializeFlatSB(Handle());
    FlatSB_ShowScrollBar(Handle(), SB_BOTH, FALSE);
    fHScrollBarVisible = fVScrollBarVisible = false;
  }
}

void TVexlaneView::SetupScrollBars() {
  if (!CanPaint() || !HandleAllocated()) return;
  const HWND h = Handle();
  const bool flat = fFlatScrollBars;
  auto show = [&](int bar, BOOL on) { flat ? FlatSB_ShowScrollBar(h, bar, on) : ShowScrollBar(h, bar, on); };
  auto enable = [&](int bar, UINT arrows) {
    flat ? FlatSB_EnableScrollBar(h, bar, arrows) : EnableScrollBar(h, UINT(bar), arrows);
  };
  auto setInfo = [&](int bar, int page, int pos) {
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = 65535;
    si.nPage = UINT(std::max(page, 0));
    si.nPos = pos;
    flat ? FlatSB_SetScrollInfo(h, bar, &si, TRUE) : SetScrollInfo(h, bar, &si, TRUE);
  };
  auto axis = [&](bool horizontal) {
    const int bar = horizontal ? SB_HORZ : SB_VERT;
    bool& visible = horizontal ? fHScrollBarVisible : fVScrollBarVisible;
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    const int32_t m = horizontal ? mx : my;
    if (m < 1) {
      if (fScrollBarsAlwaysVisible) {
        visible = true;
        show(bar, TRUE);
        enable(bar, ESB_DISABLE_BOTH);
      } else if (visible) {
        visible = false;
        show(bar, FALSE);
      }
      return;
    }
    visible = true;
    const int32_t client = horizontal ? GetClientWidth() : GetClientHeight();
    double& ratio = horizontal ? fRXScroll : fRYScroll;
    ratio = (double(client) + m) / 65536;
    setInfo(bar, TruncI(client / ratio), TruncI((horizontal ? fViewX : fViewY) / ratio));
    enable(bar, ESB_ENABLE_BOTH);
    show(bar, TRUE);
  };
  if (fScrollBars == ssHorizontal || fScrollBars == ssBoth) axis(true);
  if (fScrollBars == ssVertical || fScrollBars == ssBoth) axis(false);
}

void TVexlaneView::ScrollMessage(TMessage& Message, bool Horizontal) {
  const TVXScrollBarParams& p = Horizontal ? fHScrollBarParams : fVScrollBarParams;
  const int code = int(Message.WParam & 0xFFFF);
  const uint32_t pos = uint32_t((Message.WParam >> 16) & 0xFFFF);
  const double zoom = Horizontal ? fZoomX : fZoomY;
  const int32_t unit = std::max(1, TruncI(zoom / 100));
  const int32_t line = p.fLineStep == -1 ? unit : unit * p.fLineStep;
  const int32_t page = p.fPageStep == -1 ? (Horizontal ? GetClientWidth() : GetClientHeight()) : unit * p.fPageStep;
  const double ratio = Horizontal ? fRXScroll : fRYScroll;
  const int32_t origin = Horizontal ? fViewX : fViewY;
  int32_t v = origin;
  switch (code) {
    case SB_LINEUP: v = origin - line; break;
    case SB_LINEDOWN: v = origin + line; break;
    case SB_PAGEUP: v = origin - page; break;
    case SB_PAGEDOWN: v = origin + page; break;
    case SB_THUMBPOSITION: v = RndI(pos * ratio); break;
    case SB_THUMBTRACK:
      if (!p.fTracking) return;
      v = RndI(pos * ratio);
      break;
    case SB_TOP: v = 0; break;
    case SB_BOTTOM: {
      int32_t mx, my;
      GetMaxViewXY(mx, my);
      v = Horizontal ? mx : my;
      break;
    }
    default: break;
  }
  if (Horizontal)
    SetViewX(v);
  else
    SetViewY(v);
}

void TVexlaneView::WMHScroll(TMessage& Message) {
  TVXView::WMHScroll(Message);
  ScrollMessage(Message, true);
}

void TVexlaneView::WMVScroll(TMessage& Message) {
  TVXView::WMVScroll(Message);
  ScrollMessage(Message, false);
}

// ---------------------------------------------------------------------------
// Wheel and keys

void TVexlaneView::WMMouseWheel(TMessage& Message) {
  TVXView::WMMouseWheel(Message);
  const int32_t delta = int16_t(uint16_t((Message.WParam >> 16) & 0xFFFF));
  const bool ctrl = (Message.WParam & MK_CONTROL) != 0;
  POINT p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
  if (HandleAllocated()) ::ScreenToClient(Handle(), &p);
  if (fIsNavigator && fNavigatorSource != nullptr && (fNavigatorOptions & (1u << vxnoMouseWheelZoom)) != 0) {
    // The navigator's wheel zooms its source.
    fNavigatorSource->WheelZoom(fMouseWheelParams, delta, p.x, p.y);
    Message.Result = 1;
    return;
  }
  MouseWheelScroll(delta, p.x, p.y, ctrl);
}

void TVexlaneView::MouseWheelScroll(int32_t Delta, int32_t MouseX, int32_t MouseY, bool CtrlPressed) {
  const TVXMouseWheelParams& w = fMouseWheelParams;
  if (w.Action == vxmwNone || fAutoFit) return;
  int32_t dir = Delta > 0 ? -1 : 1;
  if (w.InvertDirection) dir = -dir;
  switch (w.Action) {
    case vxmwVScroll: {
      int32_t mx, my;
      GetMaxViewXY(mx, my);
      const bool horizontal = CtrlPressed || (mx > 0 && my == 0);
      const double zoom = horizontal ? fZoomX : fZoomY;
      int32_t step;
      if (w.Variation == vxmwAbsolute)
        step = dir * w.Value * std::max(1, TruncI(zoom / 100));
      else
        step = dir * std::max(1, RndI(double(horizontal ? GetClientWidth() : GetClientHeight()) * w.Value / 100));
      if (horizontal)
        SetViewX(fViewX + step);
      else
        SetViewY(fViewY + step);
      break;
    }
    case vxmwZoom:
      WheelZoom(w, Delta, MouseX, MouseY);
      break;
    case vxmwNavigate:
      IO()->Seek(dir < 0 ? vxioSeekPrior : vxioSeekNext);
      break;
    default: break;
  }
}

void TVexlaneView::WheelZoom(const TVXMouseWheelParams& w, int32_t Delta, int32_t MouseX, int32_t MouseY) {
  int32_t dir = Delta > 0 ? -1 : 1;
  if (w.InvertDirection) dir = -dir;
  double z;
  if (w.Variation == vxmwAbsolute)
    z = fZoomX + dir * w.Value;
  else
    z = fZoomX + dir * std::max(1, RndI(w.Value * fZoomX / 100));
  if (z > fZoomX) {
    if (OnZoomIn) OnZoomIn(static_cast<TVXView*>(this), z);
  } else if (z < fZoomX) {
    if (OnZoomOut) OnZoomOut(static_cast<TVXView*>(this), z);
  }
  if (w.ZoomPosition == vxmwMouse)
    ZoomAt(MouseX, MouseY, z, false);
  else
    SetZoom(z);
}

void TVexlaneView::CMWantSpecialKey(TMessage& Message) {
  TVXView::CMWantSpecialKey(Message);
  if (!OnSpecialKey) return;
  bool handled = false;
  OnSpecialKey(static_cast<TVXView*>(this), uint16_t(Message.WParam), KeyDataToShiftState(Message.LParam), handled);
  if (handled) Message.Result = 1;
}

void TVexlaneView::KeyDown(WORD& Key, TShiftState Shift) {
  TVXView::KeyDown(Key, Shift);
  if ((Shift & VXShiftBit(ssShift)) && fEnableShiftKey) {
    // The cursors that show adding to a selection.
    if (fCursor == 1785)
      SetInteractionCursor(1791, false);
    else if (fCursor == 1793)
      SetInteractionCursor(1794, false);
  }
}

void TVexlaneView::KeyUp(WORD& Key, TShiftState Shift) {
  TVXView::KeyUp(Key, Shift);
  if (!(Shift & VXShiftBit(ssShift)) && fEnableShiftKey) RestoreCursor();
}
