// Dialog boxes made from dialog templates (RT_DIALOG resources in the
// platform's DLGTEMPLATE layout): the dialog window of class "#32770" with
// its dialog procedure, its controls placed in dialog units, and the dialog
// messages the file dialogs use.
#pragma once
#include "winui/win_types.h"
#include "winui/win_window.h"

constexpr int RT_DIALOG = 5;

constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;

// Template styles.
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_3DLOOK = 0x0004;
constexpr DWORD DS_CONTROL = 0x0400;

// The dialog window's extra bytes: the result of the message being handled.
constexpr int DWL_MSGRESULT = 0;
constexpr int DWLP_MSGRESULT = 0;
constexpr int DLGWINDOWEXTRA = 48;

// Answers TRUE when it handled the message. For most messages the window's
// answer is then what the procedure stored at DWL_MSGRESULT; for
// WM_INITDIALOG it is the procedure's own answer.
using DLGPROC = LONG_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// The dialog of the template resource lpTemplateName (RT_DIALOG of the
// running program), as a child of hWndParent when its style says WS_CHILD:
// the window at the template's place and of its size, converted from
// dialog units (x * baseX / 4, y * baseY / 8 with the base units of the
// template's font, or of the system font without DS_SETFONT), each control
// likewise, then WM_INITDIALOG (lParam: dwInitParam) to lpDialogFunc. Null
// for a missing or damaged template or a control whose class is unknown.
HWND CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam);
// The dialog window's own handling: the dialog procedure first.
LRESULT DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);
// The child of hDlg with that id; null when there is none.
HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
int GetDlgCtrlID(HWND hWnd);
UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax);
BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);

// The base units (average character width and height in pixels) of a font
// given as a dialog template names it: a face and a size in points.
void VXDialogBaseUnits(const char* Face, int PointSize, int& BaseX, int& BaseY);
