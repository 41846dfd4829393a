#pragma once
// The real display: the window system's top-level windows shown on an X11
// server through Xlib, its mouse, wheel and keys taken as the window
// system's input. A program that links this library can open it by name
// ("x11", VEXLANE_DISPLAY=x11 at start-up) or call VXOpenX11Display itself.
//
// Each visible top-level window is one X window at its place and size,
// titled with its text, showing the window's whole picture
// (VXReadWindowPicture). X events are read on the display's own thread and
// handed to the window system; drawing runs on the windows' thread over a
// connection of its own.

#include <string>

// Connects to the X server Name (empty: $DISPLAY) and makes it the current
// display; true when it connected (an open display is closed first).
bool VXOpenX11Display(const std::string& Name);
// Closes the current X display and goes back to headless.
void VXCloseX11Display();
// The X window showing a top-level window (its XID); 0 when none.
unsigned long VXX11WindowOf(void* Wnd);
