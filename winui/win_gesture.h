// Touch gestures: the gesture messages, records and the four entries of
// "User32.dll" that a program binds at run time.
#pragma once
#include "winui/win_types.h"

constexpr DWORD GID_BEGIN = 1;
constexpr DWORD GID_END = 2;
constexpr DWORD GID_ZOOM = 3;
constexpr DWORD GID_PAN = 4;
constexpr DWORD GID_ROTATE = 5;
constexpr DWORD GID_TWOFINGERTAP = 6;
constexpr DWORD GID_PRESSANDTAP = 7;
constexpr DWORD GF_BEGIN = 0x00000001;
constexpr DWORD GF_INERTIA = 0x00000002;
constexpr DWORD GF_END = 0x00000004;
constexpr DWORD GC_ALLGESTURES = 0x00000001;
constexpr DWORD GC_ZOOM = 0x00000001;
constexpr DWORD GC_PAN = 0x00000001;
constexpr DWORD GC_PAN_WITH_SINGLE_FINGER_VERTICALLY = 0x00000002;
constexpr DWORD GC_PAN_WITH_SINGLE_FINGER_HORIZONTALLY = 0x00000004;
constexpr DWORD GC_PAN_WITH_GUTTER = 0x00000008;
constexpr DWORD GC_PAN_WITH_INERTIA = 0x00000010;
constexpr DWORD GC_ROTATE = 0x00000001;
constexpr DWORD GC_TWOFINGERTAP = 0x00000001;
constexpr DWORD GC_PRESSANDTAP = 0x00000001;

struct GESTUREINFO {
  UINT cbSize = sizeof(GESTUREINFO);
  DWORD dwFlags = 0;
  DWORD dwID = 0;
  HWND hwndTarget = nullptr;
  POINTS ptsLocation;
  DWORD dwInstanceID = 0;
  DWORD dwSequenceID = 0;
  uint64_t ullArguments = 0;
  UINT cbExtraArgs = 0;
};

struct GESTURECONFIG {
  DWORD dwID = 0;
  DWORD dwWant = 0;
  DWORD dwBlock = 0;
};

struct GESTURENOTIFYSTRUCT {
  UINT cbSize = sizeof(GESTURENOTIFYSTRUCT);
  DWORD dwFlags = 0;
  HWND hwndTarget = nullptr;
  POINTS ptsLocation;
  DWORD dwInstanceID = 0;
};

// The entries of "User32.dll" (reach them through GetProcAddress).
BOOL GetGestureInfo(HGESTUREINFO hGestureInfo, GESTUREINFO* pGestureInfo);
BOOL CloseGestureInfoHandle(HGESTUREINFO hGestureInfo);
BOOL SetGestureConfig(HWND hwnd, DWORD dwReserved, UINT cIDs, GESTURECONFIG* pGestureConfig, UINT cbSize);
BOOL UnregisterTouchWindow(HWND hwnd);

// Test driver: a gesture on a window at a client point. The first record of
// a gesture (GF_BEGIN) is preceded by WM_GESTURENOTIFY; WM_GESTURE is
// posted with the record's handle, which DefWindowProc closes.
void VXPostGesture(HWND Wnd, DWORD ID, DWORD Flags, int X, int Y, uint64_t Arguments);
// The gesture configuration last set for a window (empty when none) and
// whether it was unregistered as a touch window.
int VXGestureConfig(HWND Wnd, GESTURECONFIG* Out, int Max);
bool VXTouchUnregistered(HWND Wnd);
// Gesture records not yet closed.
int VXOpenGestureHandles();
