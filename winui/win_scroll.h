// The scroll bars of a window (WS_HSCROLL, WS_VSCROLL) and their flat twins
// of the common controls, which here share one state and one look.
#pragma once
#include "winui/win_types.h"

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_CTL = 2;
constexpr int SB_BOTH = 3;

constexpr UINT SIF_RANGE = 0x0001;
constexpr UINT SIF_PAGE = 0x0002;
constexpr UINT SIF_POS = 0x0004;
constexpr UINT SIF_DISABLENOSCROLL = 0x0008;
constexpr UINT SIF_TRACKPOS = 0x0010;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

constexpr UINT ESB_ENABLE_BOTH = 0x0000;
constexpr UINT ESB_DISABLE_LTUP = 0x0001;
constexpr UINT ESB_DISABLE_LEFT = 0x0001;
constexpr UINT ESB_DISABLE_UP = 0x0001;
constexpr UINT ESB_DISABLE_RTDN = 0x0002;
constexpr UINT ESB_DISABLE_RIGHT = 0x0002;
constexpr UINT ESB_DISABLE_DOWN = 0x0002;
constexpr UINT ESB_DISABLE_BOTH = 0x0003;

// Scroll request codes of WM_HSCROLL and WM_VSCROLL.
constexpr int SB_LINEUP = 0;
constexpr int SB_LINELEFT = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_LINERIGHT = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGELEFT = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_PAGERIGHT = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;
constexpr int SB_LEFT = 6;
constexpr int SB_BOTTOM = 7;
constexpr int SB_RIGHT = 7;
constexpr int SB_ENDSCROLL = 8;

struct SCROLLINFO {
  UINT cbSize = sizeof(SCROLLINFO);
  UINT fMask = 0;
  int nMin = 0;
  int nMax = 0;
  UINT nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};

// Sets what fMask names; the page is kept within the range and the position
// within min .. max - page + 1. A range that leaves nothing to scroll hides
// the bar (disables it with SIF_DISABLENOSCROLL), another shows it. Answers
// the position. Showing or hiding a bar resizes the client area, which sends
// WM_SIZE before the call returns.
int SetScrollInfo(HWND hwnd, int nBar, const SCROLLINFO* lpsi, BOOL redraw);
BOOL GetScrollInfo(HWND hwnd, int nBar, SCROLLINFO* lpsi);
BOOL SetScrollRange(HWND hWnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw);
BOOL GetScrollRange(HWND hWnd, int nBar, int* lpMinPos, int* lpMaxPos);
// Answers the previous position.
int SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw);
int GetScrollPos(HWND hWnd, int nBar);
BOOL ShowScrollBar(HWND hWnd, int wBar, BOOL bShow);
BOOL EnableScrollBar(HWND hWnd, UINT wSBflags, UINT wArrows);

// Flat scroll bars.
BOOL InitializeFlatSB(HWND hwnd);
HRESULT UninitializeFlatSB(HWND hwnd);
int FlatSB_SetScrollInfo(HWND hwnd, int nBar, const SCROLLINFO* lpsi, BOOL redraw);
BOOL FlatSB_GetScrollInfo(HWND hwnd, int nBar, SCROLLINFO* lpsi);
int FlatSB_SetScrollRange(HWND hwnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw);
int FlatSB_SetScrollPos(HWND hwnd, int nBar, int nPos, BOOL bRedraw);
int FlatSB_GetScrollPos(HWND hwnd, int nBar);
BOOL FlatSB_ShowScrollBar(HWND hwnd, int wBar, BOOL bShow);
BOOL FlatSB_EnableScrollBar(HWND hwnd, int wSBflags, UINT wArrows);

// Test access: the arrows disabled on a bar (ESB_...), whether the window
// uses flat bars.
UINT VXScrollBarDisabledArrows(HWND hwnd, int nBar);
bool VXFlatScrollBars(HWND hwnd);
