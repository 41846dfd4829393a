// Scroll bars of windows.
#include <algorithm>

#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_scroll.h"
#include "winui/win_state.h"

using namespace vxwin;

VXScrollBarParts VXScrollBarLayout(const RECT& Bar, bool Horizontal, const ScrollBar& B) {
  VXScrollBarParts p{};
  const int len = Horizontal ? Bar.right - Bar.left : Bar.bottom - Bar.top;
  const int thick = Horizontal ? Bar.bottom - Bar.top : Bar.right - Bar.left;
  // Square arrows, shrinking when the bar is shorter than both.
  const int arrow = std::max(0, std::min(thick, len / 2));
  const int track = std::max(0, len - 2 * arrow);
  auto along = [&](int a, int b) {
    return Horizontal ? RECT{Bar.left + a, Bar.top, Bar.left + b, Bar.bottom}
                      : RECT{Bar.left, Bar.top + a, Bar.right, Bar.top + b};
  };
  p.Arrow1 = along(0, arrow);
  p.Arrow2 = along(len - arrow, len);
  p.Track = along(arrow, arrow + track);
  p.Thumb = along(arrow, arrow);
  const int64_t range = int64_t(B.Max) - B.Min + 1;
  const int64_t page = std::max<int64_t>(B.Page, 1);
  if (range - page <= 0 || track <= 0 || B.Disabled == 3) return p;
  const int minThumb = GetSystemMetrics(Horizontal ? SM_CXHTHUMB : SM_CYVTHUMB) / 2;
  int64_t thumb = B.Page ? int64_t(track) * B.Page / range : GetSystemMetrics(Horizontal ? SM_CXHTHUMB : SM_CYVTHUMB);
  thumb = std::clamp<int64_t>(thumb, std::min(minThumb, track), track);
  const int64_t at = int64_t(track - thumb) * std::clamp<int64_t>(int64_t(B.Pos) - B.Min, 0, range - page) / (range - page);
  p.Thumb = along(arrow + int(at), arrow + int(at + thumb));
  return p;
}

static ScrollBar* Bar(Window& w, int nBar) {
  if (nBar == SB_HORZ) return &w.HBar;
  if (nBar == SB_VERT) return &w.VBar;
  return nullptr;
}

static void Normalise(ScrollBar& b) {
  int64_t range = int64_t(b.Max) - b.Min + 1;
  if (range < 0) range = 0;
  if (int64_t(b.Page) > range) b.Page = UINT(range);
  int64_t maxPos = int64_t(b.Max) - std::max<int64_t>(int64_t(b.Page) - 1, 0);
  if (b.Pos > maxPos) b.Pos = int(maxPos);
  if (b.Pos < b.Min) b.Pos = b.Min;
}

// Shows or hides bars by their style bits; the frame change resizes the
// client area and so sends WM_SIZE before this returns.
static void SetBarsVisible(HWND h, int wBar, bool show) {
  bool changed = false;
  {
    Lock l(S().M);
    Window* w = Find(h);
    if (!w) return;
    DWORD bits = wBar == SB_HORZ ? WS_HSCROLL : wBar == SB_VERT ? WS_VSCROLL : WS_HSCROLL | WS_VSCROLL;
    DWORD ns = show ? (w->Style | bits) : (w->Style & ~bits);
    changed = ns != w->Style;
    w->Style = ns;
  }
  if (changed) SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int SetScrollInfo(HWND hwnd, int nBar, const SCROLLINFO* si, BOOL) {
  if (!si || (si->cbSize != sizeof(SCROLLINFO) && si->cbSize != sizeof(SCROLLINFO) - 4)) return 0;
  int pos;
  int visibility = -1;  // -1 keep, 0 hide, 1 show
  {
    Lock l(S().M);
    Window* w = Find(hwnd);
    if (!w) return 0;
    ScrollBar* b = Bar(*w, nBar);
    if (!b) return 0;
    if (si->fMask & SIF_RANGE) {
      b->Min = si->nMin;
      b->Max = si->nMax;
    }
    if (si->fMask & SIF_PAGE) b->Page = si->nPage;
    if (si->fMask & SIF_POS) b->Pos = si->nPos;
    Normalise(*b);
    pos = b->Pos;
    if (si->fMask & (SIF_RANGE | SIF_PAGE)) {
      bool nothing = b->Min >= b->Max || (b->Page != 0 && int64_t(b->Page) > int64_t(b->Max) - b->Min);
      if (si->fMask & SIF_DISABLENOSCROLL) {
        b->Disabled = nothing ? ESB_DISABLE_BOTH : ESB_ENABLE_BOTH;
        visibility = 1;
      } else {
        visibility = nothing ? 0 : 1;
      }
    }
  }
  if (visibility >= 0) SetBarsVisible(hwnd, nBar, visibility == 1);
  return pos;
}

BOOL GetScrollInfo(HWND hwnd, int nBar, SCROLLINFO* si) {
  if (!si) return FALSE;
  Lock l(S().M);
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  ScrollBar* b = Bar(*w, nBar);
  if (!b || !(si->fMask & SIF_ALL)) return FALSE;
  if (si->fMask & SIF_RANGE) {
    si->nMin = b->Min;
    si->nMax = b->Max;
  }
  if (si->fMask & SIF_PAGE) si->nPage = b->Page;
  if (si->fMask & SIF_POS) si->nPos = b->Pos;
  if (si->fMask & SIF_TRACKPOS) si->nTrackPos = b->TrackPos;
  return TRUE;
}

BOOL SetScrollRange(HWND hWnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
  if (int64_t(nMaxPos) - nMinPos > INT32_MAX) return FALSE;
  SCROLLINFO si;
  si.fMask = SIF_RANGE;
  si.nMin = nMinPos;
  si.nMax = nMaxPos;
  if (!IsWindow(hWnd)) return FALSE;
  SetScrollInfo(hWnd, nBar, &si, bRedraw);
  return TRUE;
}

BOOL GetScrollRange(HWND hWnd, int nBar, int* lpMinPos, int* lpMaxPos) {
  SCROLLINFO si;
  si.fMask = SIF_RANGE;
  if (!GetScrollInfo(hWnd, nBar, &si)) return FALSE;
  if (lpMinPos) *lpMinPos = si.nMin;
  if (lpMaxPos) *lpMaxPos = si.nMax;
  return TRUE;
}

int SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
  int old = GetScrollPos(hWnd, nBar);
  SCROLLINFO si;
  si.fMask = SIF_POS;
  si.nPos = nPos;
  SetScrollInfo(hWnd, nBar, &si, bRedraw);
  return old;
}

int GetScrollPos(HWND hWnd, int nBar) {
  SCROLLINFO si;
  si.fMask = SIF_POS;
  return GetScrollInfo(hWnd, nBar, &si) ? si.nPos : 0;
}

BOOL ShowScrollBar(HWND hWnd, int wBar, BOOL bShow) {
  if (!IsWindow(hWnd) || wBar < SB_HORZ || wBar > SB_BOTH || wBar == SB_CTL) return FALSE;
  SetBarsVisible(hWnd, wBar, bShow != FALSE);
  return TRUE;
}

BOOL EnableScrollBar(HWND hWnd, UINT wSBflags, UINT wArrows) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w || wSBflags > SB_BOTH || wSBflags == SB_CTL) return FALSE;
  bool changed = false;
  for (int bar : {SB_HORZ, SB_VERT}) {
    if (wSBflags != SB_BOTH && int(wSBflags) != bar) continue;
    ScrollBar* b = Bar(*w, bar);
    changed |= b->Disabled != (wArrows & 3);
    b->Disabled = wArrows & 3;
  }
  // As on the platform: false when nothing changed.
  return changed ? TRUE : FALSE;
}

BOOL InitializeFlatSB(HWND hwnd) {
  Lock l(S().M);
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  w->FlatBars = true;
  return TRUE;
}

HRESULT UninitializeFlatSB(HWND hwnd) {
  Lock l(S().M);
  Window* w = Find(hwnd);
  if (!w) return HRESULT(0x80004005);  // E_FAIL
  w->FlatBars = false;
  return 0;
}

int FlatSB_SetScrollInfo(HWND hwnd, int nBar, const SCROLLINFO* lpsi, BOOL redraw) {
  return SetScrollInfo(hwnd, nBar, lpsi, redraw);
}
BOOL FlatSB_GetScrollInfo(HWND hwnd, int nBar, SCROLLINFO* lpsi) { return GetScrollInfo(hwnd, nBar, lpsi); }
int FlatSB_SetScrollRange(HWND hwnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
  return SetScrollRange(hwnd, nBar, nMinPos, nMaxPos, bRedraw);
}
int FlatSB_SetScrollPos(HWND hwnd, int nBar, int nPos, BOOL bRedraw) { return SetScrollPos(hwnd, nBar, nPos, bRedraw); }
int FlatSB_GetScrollPos(HWND hwnd, int nBar) { return GetScrollPos(hwnd, nBar); }
BOOL FlatSB_ShowScrollBar(HWND hwnd, int wBar, BOOL bShow) { return ShowScrollBar(hwnd, wBar, bShow); }
BOOL FlatSB_EnableScrollBar(HWND hwnd, int wSBflags, UINT wArrows) {
  return EnableScrollBar(hwnd, UINT(wSBflags), wArrows);
}

UINT VXScrollBarDisabledArrows(HWND hwnd, int nBar) {
  Lock l(S().M);
  Window* w = Find(hwnd);
  ScrollBar* b = w ? Bar(*w, nBar) : nullptr;
  return b ? b->Disabled : 0;
}

bool VXFlatScrollBars(HWND hwnd) {
  Lock l(S().M);
  Window* w = Find(hwnd);
  return w && w->FlatBars;
}

// ---------------------------------------------------------------------------
// Scroll bars under the mouse: hit testing and the default handling of a
// press on a bar.

namespace vxwin {

RECT BarRect(const Window& w, int Kind) {
  const DWORD bit = Kind == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
  if (!(w.Style & bit)) return RECT{0, 0, 0, 0};
  const RECT c = ClientInWindow(w);
  const POINT o = ScreenOrigin(w);
  if (Kind == SB_HORZ)
    return RECT{o.x + c.left, o.y + c.bottom, o.x + c.right, o.y + c.bottom + GetSystemMetrics(SM_CYHSCROLL)};
  return RECT{o.x + c.right, o.y + c.top, o.x + c.right + GetSystemMetrics(SM_CXVSCROLL), o.y + c.bottom};
}

LRESULT HitTest(const Window& w, POINT pt) {
  const POINT o = ScreenOrigin(w);
  const RECT whole{o.x, o.y, o.x + w.Rect.right - w.Rect.left, o.y + w.Rect.bottom - w.Rect.top};
  if (!PtInRect(&whole, pt)) return HTNOWHERE;
  const RECT c = ClientInWindow(w);
  const RECT client{o.x + c.left, o.y + c.top, o.x + c.right, o.y + c.bottom};
  if (PtInRect(&client, pt)) return HTCLIENT;
  RECT h = BarRect(w, SB_HORZ), v = BarRect(w, SB_VERT);
  if (PtInRect(&h, pt)) return HTHSCROLL;
  if (PtInRect(&v, pt)) return HTVSCROLL;
  return HTBORDER;
}

}  // namespace vxwin

namespace {

constexpr UINT_PTR kRepeatTimer = 0xFFF0;

void SendScroll(HWND h, int Kind, int Code, int Pos) {
  SendMessageW(h, Kind == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(Code, WORD(Pos)), 0);
}

// The held arrow or track part repeats while the button stays down.
void CALLBACK Repeat(HWND h, UINT, UINT_PTR, DWORD) {
  int kind, part;
  {
    Lock l(S().M);
    if (S().BarWnd != h || S().BarPart == SB_THUMBTRACK) {
      KillTimer(h, kRepeatTimer);
      return;
    }
    kind = S().BarKind;
    part = S().BarPart;
  }
  SetTimer(h, kRepeatTimer, 50, Repeat);
  SendScroll(h, kind, part, 0);
}

// The thumb's position for the mouse at a screen point (lock held).
int ThumbPosition(const Window& w, int Kind, POINT pt, int Grip) {
  const ScrollBar& b = Kind == SB_HORZ ? w.HBar : w.VBar;
  const bool horz = Kind == SB_HORZ;
  const VXScrollBarParts p = VXScrollBarLayout(BarRect(w, Kind), horz, b);
  const int thumb = horz ? p.Thumb.right - p.Thumb.left : p.Thumb.bottom - p.Thumb.top;
  const int track = horz ? p.Track.right - p.Track.left : p.Track.bottom - p.Track.top;
  const int at = (horz ? pt.x - p.Track.left : pt.y - p.Track.top) - Grip;
  const int64_t range = int64_t(b.Max) - b.Min + 1, page = std::max<int64_t>(b.Page, 1);
  if (track - thumb <= 0 || range - page <= 0) return b.Pos;
  const int64_t v = int64_t(std::clamp(at, 0, track - thumb)) * (range - page) / (track - thumb);
  return int(b.Min + v);
}

}  // namespace

namespace vxwin {

bool DefBarMessage(HWND h, UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  Result = 0;
  const POINT pt{short(LOWORD(uintptr_t(lParam))), short(HIWORD(uintptr_t(lParam)))};
  switch (Msg) {
    case WM_NCHITTEST: {
      Lock l(S().M);
      Window* w = Find(h);
      Result = w ? HitTest(*w, pt) : HTNOWHERE;
      return true;
    }
    case WM_NCLBUTTONDOWN: {
      if (wParam != WPARAM(HTHSCROLL) && wParam != WPARAM(HTVSCROLL)) return false;
      const int kind = wParam == WPARAM(HTHSCROLL) ? SB_HORZ : SB_VERT;
      int part = -1, pos = 0;
      {
        Lock l(S().M);
        Window* w = Find(h);
        if (!w) return true;
        const ScrollBar& b = kind == SB_HORZ ? w->HBar : w->VBar;
        const bool horz = kind == SB_HORZ;
        const VXScrollBarParts p = VXScrollBarLayout(BarRect(*w, kind), horz, b);
        const bool hasThumb = p.Thumb.right > p.Thumb.left && p.Thumb.bottom > p.Thumb.top;
        const int at = horz ? pt.x : pt.y;
        if (PtInRect(&p.Arrow1, pt)) {
          part = SB_LINEUP;
        } else if (PtInRect(&p.Arrow2, pt)) {
          part = SB_LINEDOWN;
        } else if (hasThumb && PtInRect(&p.Thumb, pt)) {
          part = SB_THUMBTRACK;
          S().ThumbGrip = at - (horz ? p.Thumb.left : p.Thumb.top);
          pos = b.Pos;
        } else if (hasThumb && PtInRect(&p.Track, pt)) {
          part = at < (horz ? p.Thumb.left : p.Thumb.top) ? SB_PAGEUP : SB_PAGEDOWN;
        }
        if (part < 0) return true;
        S().BarWnd = h;
        S().BarKind = kind;
        S().BarPart = part;
      }
      SetCapture(h);
      if (part == SB_THUMBTRACK) {
        SendScroll(h, kind, SB_THUMBTRACK, pos);
      } else {
        SendScroll(h, kind, part, 0);
        SetTimer(h, kRepeatTimer, 400, Repeat);
      }
      return true;
    }
    case WM_NCMOUSEMOVE: {
      int kind, pos;
      {
        Lock l(S().M);
        Window* w = Find(h);
        if (!w || S().BarWnd != h || S().BarPart != SB_THUMBTRACK) return false;
        kind = S().BarKind;
        pos = ThumbPosition(*w, kind, pt, S().ThumbGrip);
        (kind == SB_HORZ ? w->HBar : w->VBar).TrackPos = pos;
      }
      SendScroll(h, kind, SB_THUMBTRACK, pos);
      return true;
    }
    case WM_NCLBUTTONUP: {
      int kind, part, pos = 0;
      {
        Lock l(S().M);
        Window* w = Find(h);
        if (!w || S().BarWnd != h) return false;
        kind = S().BarKind;
        part = S().BarPart;
        if (part == SB_THUMBTRACK) pos = ThumbPosition(*w, kind, pt, S().ThumbGrip);
        S().BarWnd = nullptr;
      }
      KillTimer(h, kRepeatTimer);
      if (GetCapture() == h) ReleaseCapture();
      if (part == SB_THUMBTRACK) SendScroll(h, kind, SB_THUMBPOSITION, pos);
      SendScroll(h, kind, SB_ENDSCROLL, 0);
      return true;
    }
  }
  return false;
}

}  // namespace vxwin
