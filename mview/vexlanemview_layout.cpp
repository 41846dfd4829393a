// The thumbnail viewer's grid: columns and rows, cell coordinates, the grid
// extent and the scroll bars, the view position, the scroll-bar and wheel
// messages, zooming and the size change.
#include <algorithm>
#include <cmath>

#include "mview/vexlanemview.h"
#include "winui/win_scroll.h"
#include "winui/win_types.h"
#include "winui/win_window.h"

namespace {

// A divisor of the layout: below 1 it counts as 1.
int32_t Divisor(int32_t d) { return d < 1 ? 1 : d; }

}  // namespace

int32_t TVexlaneMView::CalcGridWidth() {
  int32_t g = fCurrentGridWidth;
  if (g == -1) {
    g = (ClientWidth() - fHorizBorder) / Divisor(ThumbWidth() + fHorizBorder);
    if (g < 1 && ImageCount() > 0) g = 1;
    return g;
  }
  if (g == 0) return ImageCount();
  return g;
}

int32_t TVexlaneMView::CalcGridHeight() {
  const int32_t g = CalcGridWidth();
  if (ImageCount() == 0 || g <= 0) return 0;
  return (ImageCount() + g - 1) / g;
}

int32_t TVexlaneMView::MaximumViewX() { return std::max(0, fVWidth - ClientWidth()); }

int32_t TVexlaneMView::MaximumViewY() { return std::max(0, fVHeight - ClientHeight()); }

void TVexlaneMView::CalcCoords() {
  const int32_t g = CalcGridWidth();
  const int32_t w = ThumbWidth(), h = ThumbHeight();
  const bool grid = fDisplayMode == mdGrid;
  const bool center = grid && (fThumbnailOptionsEx & VXThumbOpt(vxtxCenterThumbnailColumn)) != 0;
  int32_t cx = 0, cy = 0;
  if (center) {
    if (fCurrentGridWidth == 1)
      cx = (ClientWidth() - w) / 2;
    else if (fCurrentGridWidth != 0)
      cx = std::max(0, (ClientWidth() - g * (w + fHorizBorder)) / 2);
    if (fCurrentGridWidth == 0) cy = (ClientHeight() - h) / 2;
  }
  fVWidth = fVHeight = 0;
  int32_t row = 0, col = 0;
  for (auto& r : fImageInfo) {
    int32_t x = (w + fHorizBorder) * col, y = row * (h + fVertBorder);
    if (grid) {
      x += std::max(cx, fHorizBorder);
      y += std::max(cy, fVertBorder);
    }
    r->X = x;
    r->Y = y;
    r->row = row;
    r->col = col;
    fVWidth = std::max(fVWidth, x);
    fVHeight = std::max(fVHeight, y);
    ++col;
    if (!grid) {
      col = 0;
    } else if (col >= g) {
      col = 0;
      ++row;
    }
  }
  fVWidth += w + fHorizBorder;
  fVHeight += h + fVertBorder;
}

void TVexlaneMView::SetupScrollBars() {
  if (!HandleAllocated()) return;
  const HWND hw = Handle();
  auto axis = [&](bool horizontal) {
    const int bar = horizontal ? SB_HORZ : SB_VERT;
    const int32_t m = horizontal ? MaximumViewX() : MaximumViewY();
    if (m < 1) {
      if (fScrollBarsAlwaysVisible) {
        ShowScrollBar(hw, bar, TRUE);
        EnableScrollBar(hw, UINT(bar), ESB_DISABLE_BOTH);
      } else {
        ShowScrollBar(hw, bar, FALSE);
      }
      return;
    }
    const int32_t client = horizontal ? ClientWidth() : ClientHeight();
    double& ratio = horizontal ? fRXScroll : fRYScroll;
    ratio = (double(client) + m - 1) / 65536;
    if (!(ratio > 0)) ratio = 1.0 / 65536;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = 65535;
    si.nPage = UINT(std::max(0, int32_t(client / ratio)));
    si.nPos = int32_t((horizontal ? fViewX : fViewY) / ratio);
    SetScrollInfo(hw, bar, &si, TRUE);
    EnableScrollBar(hw, UINT(bar), ESB_ENABLE_BOTH);
    ShowScrollBar(hw, bar, TRUE);
  };
  if (fScrollBars == ssHorizontal || fScrollBars == ssBoth) axis(true);
  if (fScrollBars == ssVertical || fScrollBars == ssBoth) axis(false);
}

void TVexlaneMView::LayoutPasses() {
  CalcCoords();
  for (int pass = 0; pass < 9; ++pass) {
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    const int32_t vx = std::clamp(fViewX, 0, MaximumViewX()), vy = std::clamp(fViewY, 0, MaximumViewY());
    if (vx != fViewX || vy != fViewY) {
      fViewX = vx;
      fViewY = vy;
      DoViewChange(0);
    }
    try {
      SetupScrollBars();
    } catch (...) {
    }
    if (ClientWidth() == cw && ClientHeight() == ch) break;
    CalcCoords();
  }
}

// ---------------------------------------------------------------------------
// View position

void TVexlaneMView::BarPosition(bool Horizontal) {
  if (!HandleAllocated()) return;
  if (Horizontal && (fScrollBars == ssHorizontal || fScrollBars == ssBoth))
    SetScrollPos(Handle(), SB_HORZ, int32_t(fViewX / (fRXScroll > 0 ? fRXScroll : 1.0 / 65536)), TRUE);
  if (!Horizontal && (fScrollBars == ssVertical || fScrollBars == ssBoth))
    SetScrollPos(Handle(), SB_VERT, int32_t(fViewY / (fRYScroll > 0 ? fRYScroll : 1.0 / 65536)), TRUE);
}

void TVexlaneMView::SetViewX(int32_t Value) {
  if (Value == fViewX) return;
  fViewX = std::clamp(Value, 0, MaximumViewX());
  Invalidate();
  BarPosition(true);
}

void TVexlaneMView::SetViewY(int32_t Value) {
  if (Value == fViewY) return;
  fViewY = std::clamp(Value, 0, MaximumViewY());
  Invalidate();
  BarPosition(false);
}

void TVexlaneMView::SetViewXY(int32_t x, int32_t y) {
  if (Parent() == nullptr && ParentWindow() == nullptr) return;
  if (x == fViewX && y == fViewY) return;
  fViewX = std::clamp(x, 0, MaximumViewX());
  fViewY = std::clamp(y, 0, MaximumViewY());
  Invalidate();
  BarPosition(true);
  BarPosition(false);
}

void TVexlaneMView::CenterSelected() {
  const TVXImageInfo* r = Rec(fSelectedItem);
  if (r == nullptr) return;
  SetViewXY(r->X - (ClientWidth() - ThumbWidth()) / 2, r->Y - (ClientHeight() - ThumbHeight()) / 2);
}

void TVexlaneMView::DisplayImageAt(int32_t idx, int32_t x, int32_t y) {
  const TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return;
  SetViewXY(r->X + x, r->Y + y);
}

bool TVexlaneMView::IsVisible(int32_t idx) {
  const TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return false;
  const int32_t x1 = r->X - fViewX, y1 = r->Y - fViewY;
  const int32_t x2 = r->X + ThumbWidth() - fViewX - 1, y2 = r->Y + ThumbHeight() - fViewY - 1;
  return x2 >= 0 && y2 >= 0 && x1 <= Width() - 1 && y1 <= Height() - 1;
}

int32_t TVexlaneMView::GetImageVisibility(int32_t idx) {
  const TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return 0;
  const int32_t cw = ClientWidth(), ch = ClientHeight();
  const int32_t xs[2] = {r->X - fViewX, r->X + ThumbWidth() - fViewX - 1};
  const int32_t ys[2] = {r->Y - fViewY, r->Y + ThumbHeight() - fViewY - 1};
  int inside = 0;
  for (int32_t x : xs)
    for (int32_t y : ys)
      if (x >= 0 && x <= cw - 1 && y >= 0 && y <= ch - 1) ++inside;
  if (inside == 4) return 2;
  if (inside > 0) return 1;
  // No corner inside: the cell may still cross the client area.
  const bool overlap = xs[1] >= 0 && xs[0] <= cw - 1 && ys[1] >= 0 && ys[0] <= ch - 1;
  return overlap ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Settings of the grid

void TVexlaneMView::SetGridWidth(int32_t Value) {
  fGridWidth = Value;
  fCurrentGridWidth = Value;
  Update();
}

void TVexlaneMView::SetDisplayMode(TVXMDisplayMode Value) {
  fDisplayMode = Value;
  Update();
}

void TVexlaneMView::SetStyle(TVXMStyle Value) {
  if (Value == fStyle) return;
  fStyle = Value;
  ClearCache();
  Update();
}

void TVexlaneMView::SetScrollBarsAlwaysVisible(bool Value) {
  fScrollBarsAlwaysVisible = Value;
  Update();
}

void TVexlaneMView::SetZoom(double Value) {
  // A zoom of 0, below 0 or not finite would divide the next change by it.
  if (!std::isfinite(Value) || Value <= 0) return;
  const double z0 = fZoom;
  fCurrentGridWidth = fGridWidth;
  if (Value != 100) fCurrentGridWidth = CalcGridWidth();
  SetViewXY(int32_t(std::nearbyint(Value / 100 * fViewX / (z0 / 100))),
            int32_t(std::nearbyint(fViewY / (z0 / 100) * Value / 100)));
  fZoom = Value;
  ClearCache();
  Update();
}

// ---------------------------------------------------------------------------
// Messages

void TVexlaneMView::WMSize(TMessage& Message) {
  TVXView::WMSize(Message);
  fCurrentGridWidth = fGridWidth;
  if (fZoom != 100) fCurrentGridWidth = CalcGridWidth();
  UpdateEx(false, false);
}

void TVexlaneMView::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void TVexlaneMView::ScrollMessage(TMessage& Message, bool Horizontal) {
  const TVXScrollBarParams& p = Horizontal ? fHScrollBarParams : fVScrollBarParams;
  const int code = int(Message.WParam & 0xFFFF);
  const uint32_t pos = uint32_t((Message.WParam >> 16) & 0xFFFF);
  const int32_t line =
      p.fLineStep == -1 ? (Horizontal ? ThumbWidth() + fHorizBorder : ThumbHeight() + fVertBorder) : p.fLineStep;
  const int32_t page = p.fPageStep == -1 ? (Horizontal ? ClientWidth() : ClientHeight()) : p.fPageStep;
  double ratio = Horizontal ? fRXScroll : fRYScroll;
  if (!(ratio > 0)) ratio = 1.0 / 65536;
  const int32_t origin = Horizontal ? fViewX : fViewY;
  if (code == SB_THUMBTRACK && !p.fTracking) return;
  const bool oldUser = fUserAction;
  fUserAction = true;
  int32_t v = origin;
  switch (code) {
    case SB_LINEUP: v = origin - line; break;
    case SB_LINEDOWN: v = origin + line; break;
    case SB_PAGEUP: v = origin - page; break;
    case SB_PAGEDOWN: v = origin + page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: v = int32_t(double(pos) * ratio); break;
    case SB_TOP: v = 0; break;
    case SB_BOTTOM: v = Horizontal ? MaximumViewX() : MaximumViewY(); break;
    default: break;
  }
  if (Horizontal)
    SetViewX(v);
  else
    SetViewY(v);
  DoViewChange(0);
  fUserAction = oldUser;
}

void TVexlaneMView::WMHScroll(TMessage& Message) {
  TVXView::WMHScroll(Message);
  ScrollMessage(Message, true);
}

void TVexlaneMView::WMVScroll(TMessage& Message) {
  TVXView::WMVScroll(Message);
  ScrollMessage(Message, false);
}

void TVexlaneMView::WMMouseWheel(TMessage& Message) {
  TVXView::WMMouseWheel(Message);
  const TVXMouseWheelParams& p = fMouseWheelParams;
  if (p.Action == vxmwNone) return;
  const int32_t delta = int16_t(uint16_t((Message.WParam >> 16) & 0xFFFF));
  int32_t d = delta > 0 ? -1 : 1;
  if (p.InvertDirection) d = -d;
  const bool oldUser = fUserAction;
  fUserAction = true;
  if (p.Action == vxmwVScroll) {
    int32_t step = p.Value;
    if (p.Variation == vxmwPercentage) {
      const double cell =
          fCurrentGridWidth != 0 ? double(ThumbHeight() + fVertBorder) : double(ThumbWidth() + fHorizBorder);
      step = int32_t(cell / 8 * p.Value);
    }
    if (fCurrentGridWidth != 0)
      SetViewY(fViewY + d * step);
    else
      SetViewX(fViewX + d * step);
    DoViewChange(0);
  } else if (p.Action == vxmwZoom) {
    if (p.Variation == vxmwAbsolute)
      SetZoom(fZoom + d * p.Value);
    else
      SetZoom(fZoom + d * std::max(int32_t(std::nearbyint(fZoom * p.Value / 100)), 1));
  }
  // Navigating by the wheel comes with the frame seeking.
  Message.Result = 1;
  fUserAction = oldUser;
}
