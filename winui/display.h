// The display behind the window system. Window surfaces and input pass
// through this interface: the headless display (the default) keeps
// nothing and takes input from the test driver; a display on a real screen
// would show the surfaces and feed the input functions below.
#pragma once
#include <vector>

#include "winui/win_types.h"

class IVXDisplay {
 public:
  virtual ~IVXDisplay() = default;
  // A window's client surface was made, resized or drawn on.
  virtual void SurfaceChanged(HWND /*Wnd*/) {}
  virtual void WindowDestroyed(HWND /*Wnd*/) {}
  // The cursor shape to show.
  virtual void CursorChanged(HCURSOR /*Cursor*/) {}
};

// The current display (null: headless). Not owned.
IVXDisplay* VXCurrentDisplay();
void VXSetDisplay(IVXDisplay* Display);

// Input from the display, in screen coordinates. Button: 0 left, 1 right,
// 2 middle (the physical buttons).
void VXInputMouseButton(int Button, bool Down, POINT ScreenPt);
void VXInputMouseMove(POINT ScreenPt);
void VXInputWheel(int Delta, POINT ScreenPt, bool Horizontal);
void VXInputKey(int VirtualKey, bool Down);

// The pixels of a window's client surface, top-down rows of packed
// 0x00RRGGBB; false for no window.
bool VXReadSurface(HWND Wnd, int& Width, int& Height, std::vector<uint32_t>& Pixels);
