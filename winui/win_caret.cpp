#include "winui/win_caret.h"

namespace {

struct TCaret {
  bool Exists = false;
  HWND Window = nullptr;
  int Width = 0, Height = 0;
  POINT Pos{0, 0};
  int HideCount = 1;
};

thread_local TCaret gCaret;

bool Owns(HWND hWnd) { return gCaret.Exists && (!hWnd || hWnd == gCaret.Window); }

}  // namespace

BOOL CreateCaret(HWND hWnd, HBITMAP, int nWidth, int nHeight) {
  if (!hWnd) return FALSE;
  gCaret = TCaret{};
  gCaret.Exists = true;
  gCaret.Window = hWnd;
  gCaret.Width = nWidth > 0 ? nWidth : 1;
  gCaret.Height = nHeight > 0 ? nHeight : 1;
  return TRUE;
}

BOOL DestroyCaret() {
  if (!gCaret.Exists) return FALSE;
  gCaret = TCaret{};
  return TRUE;
}

BOOL SetCaretPos(int X, int Y) {
  if (!gCaret.Exists) return FALSE;
  gCaret.Pos = POINT{X, Y};
  return TRUE;
}

BOOL GetCaretPos(POINT* lpPoint) {
  if (!lpPoint) return FALSE;
  *lpPoint = gCaret.Exists ? gCaret.Pos : POINT{0, 0};
  return TRUE;
}

BOOL ShowCaret(HWND hWnd) {
  if (!Owns(hWnd) || gCaret.HideCount == 0) return FALSE;
  --gCaret.HideCount;
  return TRUE;
}

BOOL HideCaret(HWND hWnd) {
  if (!Owns(hWnd)) return FALSE;
  ++gCaret.HideCount;
  return TRUE;
}

TVXCaretState VXCaretState() {
  TVXCaretState s;
  s.Exists = gCaret.Exists;
  s.Window = gCaret.Window;
  s.Width = gCaret.Width;
  s.Height = gCaret.Height;
  s.Pos = gCaret.Pos;
  s.Visible = gCaret.Exists && gCaret.HideCount == 0;
  return s;
}
