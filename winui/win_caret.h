// The caret: one per thread, owned by a window, with a size, a position in
// that window's client area and a hide count (made hidden; ShowCaret and
// HideCaret count). Nothing blinks here; tests read the state.
#pragma once
#include "winui/win_types.h"

// Replaces this thread's caret by one of nWidth x nHeight (0 width: the
// system's border width, 1 here) owned by hWnd, hidden, at (0, 0). FALSE for
// a null window.
BOOL CreateCaret(HWND hWnd, HBITMAP hBitmap, int nWidth, int nHeight);
// FALSE when this thread has no caret.
BOOL DestroyCaret();
BOOL SetCaretPos(int X, int Y);
BOOL GetCaretPos(POINT* lpPoint);
// hWnd null or the caret's window; ShowCaret fails on a caret already shown.
BOOL ShowCaret(HWND hWnd);
BOOL HideCaret(HWND hWnd);

// This thread's caret as tests see it.
struct TVXCaretState {
  bool Exists = false;
  HWND Window = nullptr;
  int Width = 0, Height = 0;
  POINT Pos{0, 0};
  bool Visible = false;  // hide count 0
};
TVXCaretState VXCaretState();
