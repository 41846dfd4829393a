// Keyboard and mouse state, capture, focus and cursors.
#pragma once
#include "winui/win_icon.h"
#include "winui/win_types.h"

constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;

constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_CANCEL = 0x03;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_CAPITAL = 0x14;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_ADD = 0x6B;
constexpr int VK_SUBTRACT = 0x6D;
constexpr int VK_OEM_PLUS = 0xBB;   // the main keyboard's + (= unshifted)
constexpr int VK_OEM_MINUS = 0xBD;  // the main keyboard's -
constexpr int VK_F1 = 0x70;
constexpr int VK_F10 = 0x79;
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;
constexpr int VK_LMENU = 0xA4;
constexpr int VK_RMENU = 0xA5;

// Logical key state of the calling thread's messages read so far (bit 15:
// down, bit 0: toggled).
SHORT GetKeyState(int nVirtKey);
// State of the device now (bit 15: down). Mouse buttons are the physical
// ones, whatever SwapMouseButton says.
SHORT GetAsyncKeyState(int vKey);
BOOL GetKeyboardState(BYTE* lpKeyState);
// Exchanges the meaning of the left and right buttons; answers whether they
// were exchanged before.
BOOL SwapMouseButton(BOOL fSwap);
UINT GetDoubleClickTime();
BOOL SetDoubleClickTime(UINT uInterval);

HWND SetCapture(HWND hWnd);
BOOL ReleaseCapture();
HWND GetCapture();
HWND SetFocus(HWND hWnd);
HWND GetFocus();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND hWnd);
BOOL GetCursorPos(POINT* lpPoint);
BOOL SetCursorPos(int X, int Y);

// Cursors. System cursors by identifier (IDC_...); program cursors by
// resource name or number from the RT_GROUP_CURSOR and RT_CURSOR resources.
constexpr int RT_CURSOR = 1;
constexpr int RT_ICON = 3;
constexpr int RT_GROUP_CURSOR = 12;
constexpr int RT_GROUP_ICON = 14;
inline LPCWSTR const IDC_ARROW = MAKEINTRESOURCEW(32512);
inline LPCWSTR const IDC_IBEAM = MAKEINTRESOURCEW(32513);
inline LPCWSTR const IDC_WAIT = MAKEINTRESOURCEW(32514);
inline LPCWSTR const IDC_CROSS = MAKEINTRESOURCEW(32515);
inline LPCWSTR const IDC_UPARROW = MAKEINTRESOURCEW(32516);
inline LPCWSTR const IDC_SIZENWSE = MAKEINTRESOURCEW(32642);
inline LPCWSTR const IDC_SIZENESW = MAKEINTRESOURCEW(32643);
inline LPCWSTR const IDC_SIZEWE = MAKEINTRESOURCEW(32644);
inline LPCWSTR const IDC_SIZENS = MAKEINTRESOURCEW(32645);
inline LPCWSTR const IDC_SIZEALL = MAKEINTRESOURCEW(32646);
inline LPCWSTR const IDC_NO = MAKEINTRESOURCEW(32648);
inline LPCWSTR const IDC_HAND = MAKEINTRESOURCEW(32649);
inline LPCWSTR const IDC_APPSTARTING = MAKEINTRESOURCEW(32650);
inline LPCWSTR const IDC_HELP = MAKEINTRESOURCEW(32651);

// hInstance null: a system cursor; otherwise a cursor resource of the
// program (any non-null instance, as resources live in the one program).
HCURSOR LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName);
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
// A cursor (fIcon FALSE: hotspot words first) or icon from the bytes of one
// RT_CURSOR or RT_ICON resource: a DIB header, colour table, XOR and AND
// masks. Damaged or short bytes give null.
HICON CreateIconFromResourceEx(const BYTE* presbits, DWORD dwResSize, BOOL fIcon, DWORD dwVer, int cxDesired,
                               int cyDesired, UINT Flags);
// The resource number, among the entries of an RT_GROUP_CURSOR or
// RT_GROUP_ICON resource, that best fits the size; 0 when there is none.
int LookupIconIdFromDirectoryEx(const BYTE* presbits, BOOL fIcon, int cxDesired, int cyDesired, UINT Flags);
HCURSOR SetCursor(HCURSOR hCursor);
HCURSOR GetCursor();
BOOL DestroyCursor(HCURSOR hCursor);
int ShowCursor(BOOL bShow);

// Size in pixels of a cursor or icon; false for an unknown handle.
bool VXCursorSize(HICON hIcon, int& Width, int& Height);
