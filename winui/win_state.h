// Internal state of the window system: windows, classes, queues, timers and
// input state, under one lock. Window procedures are never called with the
// lock held.
#pragma once
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <functional>

#include "winui/gdi_internal.h"
#include "winui/win_window.h"

namespace vxwin {

// A call handed to the window's thread (VXCallOnWindowThread): LPARAM is the
// call's number, which the default window procedure takes and runs.
constexpr UINT WM_VXDISPLAYCALL = 0x03FE;
// The pending call of that number, taken out of the pending calls (empty when
// there is none).
std::function<void()> TakeDisplayCall(LPARAM Id);

struct WndClassRec {
  std::string Name;
  WNDCLASSEXW Info;
};

struct ScrollBar {
  int Min = 0;
  int Max = 100;
  UINT Page = 0;
  int Pos = 0;
  int TrackPos = 0;
  UINT Disabled = 0;  // ESB_DISABLE_... arrows
  bool Flat = false;
};

struct Window {
  HWND H = nullptr;
  std::shared_ptr<WndClassRec> Class;
  WNDPROC Proc = nullptr;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  HWND Parent = nullptr;
  HWND Owner = nullptr;
  std::vector<HWND> Children;  // top of the z-order first
  RECT Rect;                   // in the parent's client coordinates (screen for top-level windows)
  std::string Text;
  LONG_PTR UserData = 0;
  LONG_PTR Id = 0;
  HINSTANCE Instance = nullptr;
  std::vector<uint8_t> Extra;
  DWORD Thread = 0;
  vxgdi::Region Update;  // client coordinates
  bool Erase = false;
  bool InternalPaint = false;
  std::shared_ptr<vxgdi::Bitmap> Surface;
  ScrollBar HBar, VBar;
  bool FlatBars = false;
  bool Destroying = false;
  std::map<std::string, uintptr_t> Props;
  RECT Restore;  // the rectangle before SW_MAXIMIZE
};

struct SentMsg {
  HWND Wnd = nullptr;
  UINT Msg = 0;
  WPARAM W = 0;
  LPARAM L = 0;
  LRESULT Result = 0;
  bool Done = false;
};

struct Queue {
  DWORD Thread = 0;
  std::deque<MSG> Posted;
  std::deque<MSG> Input;
  std::deque<std::shared_ptr<SentMsg>> Sent;
  bool Quit = false;
  int QuitCode = 0;
  int InSend = 0;  // answering a message sent from another thread
  DWORD MsgTime = 0;
};

struct Timer {
  HWND Wnd = nullptr;
  UINT_PTR Id = 0;
  UINT Interval = 0;
  uint64_t Due = 0;
  TIMERPROC Proc = nullptr;
  DWORD Thread = 0;
};

struct State {
  std::recursive_mutex M;
  std::condition_variable_any Wake;
  std::map<uintptr_t, std::shared_ptr<Window>> Windows;
  std::map<std::string, std::shared_ptr<WndClassRec>> Classes;
  std::map<DWORD, std::shared_ptr<Queue>> Queues;
  std::vector<Timer> Timers;
  uintptr_t NextHwnd = 0x10000;
  UINT_PTR NextTimerId = 0x7FF0;
  HWND Capture = nullptr;
  HWND Focus = nullptr;
  HWND Active = nullptr;
  POINT Cursor;
  HCURSOR CursorShape = nullptr;
  int CursorCount = 0;
  BYTE Keys[256] = {};   // logical state (read messages)
  BYTE Async[256] = {};  // device state now
  UINT DoubleClickTime = 500;
  // The last button press, for double clicks.
  HWND LastClickWnd = nullptr;
  int LastClickButton = -1;
  DWORD LastClickTime = 0;
  POINT LastClickPt;
  bool LastWasDouble = false;
  // A scroll bar held by the mouse (the default handling of a press on it):
  // the window, which bar, the part pressed (SB_LINEUP, SB_LINEDOWN,
  // SB_PAGEUP, SB_PAGEDOWN, or SB_THUMBTRACK for the thumb) and, for the
  // thumb, where in it the mouse took it.
  HWND BarWnd = nullptr;
  int BarKind = 0;  // SB_HORZ or SB_VERT
  int BarPart = 0;
  int ThumbGrip = 0;
};

// The hit-test code of a screen point for a window (lock held): its client
// area, a scroll bar, the rest of the window (border), or nowhere.
LRESULT HitTest(const Window& w, POINT Screen);
// The screen rectangle of a window's bar (SB_HORZ or SB_VERT); empty when it
// has none (lock held).
RECT BarRect(const Window& w, int Kind);
// The default handling of WM_NCHITTEST and of the mouse on a scroll bar
// (lock not held): true when Msg was handled, with its Result.
bool DefBarMessage(HWND h, UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result);

State& S();
using Lock = std::unique_lock<std::recursive_mutex>;

DWORD ThisThread();
Queue& QueueOf(DWORD Thread);  // made on first use; lock held
Window* Find(HWND h);          // lock held; null for no window
std::shared_ptr<Window> FindShared(HWND h);

// Geometry (lock held): the client rectangle in window coordinates, the
// window's origin on the screen and its client origin on the screen.
RECT ClientInWindow(const Window& w);
// The width and height of the window's outer frame (sizing frame or border).
int FrameX(const Window& w);
int FrameY(const Window& w);
POINT ScreenOrigin(const Window& w);
POINT ClientScreenOrigin(const Window& w);
bool Visible(const Window& w);  // itself and every ancestor

// Calls the window procedure (lock not held); 0 for no window.
LRESULT Call(HWND h, UINT Msg, WPARAM W, LPARAM L);

// Re-reads the client size after a change of frame, bars or rectangle:
// resizes the surface, invalidates what the class asks for and sends
// WM_SIZE when the client size changed (lock not held).
void ClientChanged(HWND h, bool Moved);

// Posts an input message to the window's thread.
void PostInput(HWND h, UINT Msg, WPARAM W, LPARAM L, POINT ScreenPt);

// The display behind the surfaces (headless by default).
void NotifySurface(HWND h);

}  // namespace vxwin

// The parts of a scroll bar lying in Bar (its arrow buttons, square, at its
// ends; the track between them; the thumb on the track, empty when the bar
// cannot scroll).
struct VXScrollBarParts {
  RECT Arrow1, Arrow2, Track, Thumb;
};
VXScrollBarParts VXScrollBarLayout(const RECT& Bar, bool Horizontal, const vxwin::ScrollBar& B);

namespace vxwin {

}  // namespace vxwin
