// Scroll bars of windows.
#include <algorithm>

#include "winui/win_scroll.h"
#include "winui/win_state.h"

using namespace vxwin;

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
