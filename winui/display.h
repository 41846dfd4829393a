// The display behind the window system. Window surfaces and input pass
// through this interface: the headless display (the default) keeps
// nothing and takes input from the test driver; a display on a real screen
// would show the surfaces and feed the input functions below.
#pragma once
#include <functional>
#include <vector>

#include "winui/win_types.h"

class IVXDisplay {
 public:
  virtual ~IVXDisplay() = default;
  // A window's client surface was made, resized or drawn on.
  virtual void SurfaceChanged(HWND /*Wnd*/) {}
  virtual void WindowDestroyed(HWND /*Wnd*/) {}
  // The cursor shape to show (VXReadCursorPicture gives its picture).
  virtual void CursorChanged(HCURSOR /*Cursor*/) {}
  // A top-level window was shown or hidden.
  virtual void WindowShown(HWND /*Wnd*/, bool /*Visible*/) {}
  // A top-level window was moved or resized (GetWindowRect).
  virtual void WindowMoved(HWND /*Wnd*/) {}
  // A top-level window's text changed (its title).
  virtual void WindowTextChanged(HWND /*Wnd*/) {}
};

// The current display (null: headless). Not owned.
IVXDisplay* VXCurrentDisplay();
void VXSetDisplay(IVXDisplay* Display);

// Runs Call later on the thread that owns Wnd, inside its message loop: a
// display's event thread hands over what must run on the window's thread
// (moves, activation, repaints). Nothing runs when the window is gone.
void VXCallOnWindowThread(HWND Wnd, std::function<void()> Call);

// Displays a program can open by name: the factory answers a display that
// it opened (kept for the life of the process), or null when it cannot.
using TVXDisplayFactory = IVXDisplay* (*)();
void VXRegisterDisplay(const char* Name, TVXDisplayFactory Factory);
// With VEXLANE_DISPLAY set to a registered name, opens that display and
// makes it current; a display that does not open (or an unknown name) leaves
// the program headless with one line on stderr. True when a display opened.
// The library's start-up calls it once.
bool VXOpenDisplayFromEnvironment();

// Input from the display, in screen coordinates. Button: 0 left, 1 right,
// 2 middle (the physical buttons).
void VXInputMouseButton(int Button, bool Down, POINT ScreenPt);
void VXInputMouseMove(POINT ScreenPt);
void VXInputWheel(int Delta, POINT ScreenPt, bool Horizontal);
void VXInputKey(int VirtualKey, bool Down);
// A character from an input method, to the focus window (WM_CHAR).
void VXInputChar(char16_t Ch);
// The next Count GetAsyncKeyState polls of the physical left button see it
// down (a button held while a loop polls it) and later ones see it up, until
// the next button input; a negative Count ends the script.
void VXInputHoldButtonForPolls(int Count);

// The pixels of a window's client surface, top-down rows of packed
// 0x00RRGGBB; false for no window.
bool VXReadSurface(HWND Wnd, int& Width, int& Height, std::vector<uint32_t>& Pixels);

// The whole picture of a top-level window as a display shows it, top-down
// rows of packed 0x00RRGGBB: its frame (border, client edge, caption), its
// client surface with its scroll bars, and every visible child window with
// its own frame and bars, in z-order, each clipped to its parent's client
// area. False for no window.
bool VXReadWindowPicture(HWND Wnd, int& Width, int& Height, std::vector<uint32_t>& Pixels);
// The picture of the desktop: the virtual screen (SM_XVIRTUALSCREEN ..
// SM_CYVIRTUALSCREEN) in the desktop colour (COLOR_DESKTOP) with every
// visible top-level window composed over it as VXReadWindowPicture draws
// it, in the order they were made and the foreground window last (on top).
void VXReadDesktopPicture(int& Width, int& Height, std::vector<uint32_t>& Pixels);
// The picture of a cursor as a display shows it: top-down rows of
// 0xAARRGGBB (alpha 0 where the screen shows through) and its hot spot.
// False for no cursor.
bool VXReadCursorPicture(HCURSOR Cursor, int& Width, int& Height, POINT& HotSpot, std::vector<uint32_t>& Pixels);

// The top-level window that holds Wnd (Wnd itself for a top-level window).
HWND VXTopLevelWindow(HWND Wnd);
