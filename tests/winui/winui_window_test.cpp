// Windows, messages, timers, painting and input of the headless window system.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/win_clock.h"
#include "platform/win_resource.h"
#include "platform/win_sysdir.h"
#include "winui/gdi.h"
#include "winui/headless.h"
#include "winui/win_gesture.h"
#include "winui/win_input.h"
#include "winui/win_module.h"
#include "winui/win_metrics.h"
#include "winui/win_paint.h"
#include "winui/win_scroll.h"
#include "winui/win_window.h"

namespace {

struct Logged {
  HWND Wnd;
  UINT Msg;
  WPARAM W;
  LPARAM L;
};
std::vector<Logged> gLog;
// Messages worth recording (the others are only passed on).
bool Interesting(UINT m) {
  switch (m) {
    case WM_SIZE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_TIMER:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_MOUSEWHEEL:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_CAPTURECHANGED:
      return true;
  }
  return m >= WM_USER;
}

LRESULT CALLBACK LogProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (Interesting(m)) gLog.push_back({h, m, w, l});
  if (m == WM_USER + 50) return LRESULT(w * 2);
  return DefWindowProcW(h, m, w, l);
}

std::vector<UINT> Messages(UINT only = 0) {
  std::vector<UINT> out;
  for (const Logged& e : gLog)
    if (!only || e.Msg == only) out.push_back(e.Msg);
  return out;
}

class WinUI : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(100000);
    gLog.clear();
    for (auto [name, style] : {std::pair{"VXTestPlain", 0u}, std::pair{"VXTestDbl", UINT(CS_DBLCLKS)}}) {
      WNDCLASSEXW wc;
      wc.style = style;
      wc.lpfnWndProc = LogProc;
      wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 255));
      wc.lpszClassName = name;
      wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
      RegisterClassExW(&wc);
    }
  }
  void TearDown() override {
    VXHeadless::Reset();
    UnregisterClassW("VXTestPlain", nullptr);
    UnregisterClassW("VXTestDbl", nullptr);
  }
  HWND Top(int w = 200, int h = 100, DWORD style = WS_VISIBLE, DWORD ex = 0, const char* cls = "VXTestPlain") {
    return CreateWindowExW(ex, cls, "top", WS_OVERLAPPED | style, 10, 20, w, h, nullptr, nullptr, nullptr, nullptr);
  }
  HWND Child(HWND parent, int x, int y, int w, int h, DWORD style = WS_VISIBLE, const char* cls = "VXTestPlain") {
    return CreateWindowExW(0, cls, "", WS_CHILD | style, x, y, w, h, parent, nullptr, nullptr, nullptr);
  }
};

TEST_F(WinUI, TimerFiresAtEachDueTimeAndCoalescesWhenLate) {
  HWND h = Top();
  VXHeadless::RunUntilIdle();
  gLog.clear();
  ASSERT_EQ(SetTimer(h, 7, 30, nullptr), 7u);
  VXHeadless::Advance(300);
  EXPECT_EQ(Messages(WM_TIMER).size(), 10u);
  for (const Logged& e : gLog) EXPECT_EQ(e.W, 7u);

  // Nobody reads the queue for 100 ms: one WM_TIMER, not three.
  gLog.clear();
  VXClockAdvance(100);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(Messages(WM_TIMER).size(), 1u);

  // Replaced timers restart; killed ones stop; short intervals are raised.
  gLog.clear();
  EXPECT_TRUE(KillTimer(h, 7));
  EXPECT_FALSE(KillTimer(h, 7));
  VXHeadless::Advance(100);
  EXPECT_TRUE(Messages(WM_TIMER).empty());
  SetTimer(h, 1, 1, nullptr);
  VXHeadless::Advance(100);
  EXPECT_EQ(Messages(WM_TIMER).size(), 10u);
}

void CALLBACK CountingTimerProc(HWND, UINT, UINT_PTR, DWORD) { gLog.push_back({nullptr, WM_TIMER, 0, 0}); }

TEST_F(WinUI, ThreadTimersCallTheirProcedure) {
  UINT_PTR a = SetTimer(nullptr, 0, 50, CountingTimerProc);
  UINT_PTR b = SetTimer(nullptr, 0, 50, CountingTimerProc);
  EXPECT_NE(a, 0u);
  EXPECT_NE(a, b);
  VXHeadless::Advance(100);
  EXPECT_EQ(gLog.size(), 4u);
  KillTimer(nullptr, a);
  KillTimer(nullptr, b);
}

TEST_F(WinUI, TickCountWrapsAt32Bits) {
  VXHeadless::SetClock(0xFFFFFFF0ull);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  VXHeadless::Advance(0x20);
  EXPECT_EQ(GetTickCount(), 0x10u);
  EXPECT_EQ(GetTickCount64(), 0x100000010ull);
  Sleep(5);  // the virtual clock moves instead of waiting
  EXPECT_EQ(GetTickCount(), 0x15u);
  VXHeadless::SetClockStep(3);
  EXPECT_EQ(GetTickCount(), 0x15u);
  EXPECT_EQ(GetTickCount(), 0x18u);
}

TEST_F(WinUI, WorkerSendIsAnsweredInsideTheUILoop) {
  HWND h = Top();
  VXHeadless::RunUntilIdle();
  gLog.clear();
  DWORD ui = GetCurrentThreadId();
  std::atomic<DWORD> answeredOn{0};
  std::atomic<LRESULT> result{0};
  std::thread worker([&] {
    result = SendMessageW(h, WM_USER + 50, 21, 0);
    answeredOn = 1;
    PostMessageW(h, WM_USER + 51, 0, 0);
  });
  // The send is answered by this thread's loop, not on the worker.
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    DispatchMessageW(&m);
    if (m.message == WM_USER + 51) break;
  }
  worker.join();
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(answeredOn.load(), 1u);
  ASSERT_GE(gLog.size(), 2u);
  EXPECT_EQ(gLog[0].Msg, WM_USER + 50);
  EXPECT_EQ(GetCurrentThreadId(), ui);
}

TEST_F(WinUI, QueueOrderIsSentPostedInputPaintTimer) {
  HWND h = Top();
  VXHeadless::RunUntilIdle();
  gLog.clear();
  SetTimer(h, 1, 10, nullptr);
  VXClockAdvance(20);
  InvalidateRect(h, nullptr, FALSE);
  VXHeadless::MouseMove(h, 5, 5);
  PostMessageW(h, WM_USER + 1, 0, 0);
  std::thread worker([&] { SendMessageW(h, WM_USER + 2, 0, 0); });
  // Wait until the worker's message is queued.
  MSG m;
  while (!PeekMessageW(&m, h, WM_USER + 2, WM_USER + 2, PM_NOREMOVE) && gLog.empty()) std::this_thread::yield();
  for (int i = 0; i < 5 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&m);
  worker.join();
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_USER + 2, WM_USER + 1, WM_MOUSEMOVE, WM_PAINT, WM_TIMER}));
  KillTimer(h, 1);
}

TEST_F(WinUI, QuitEndsTheInnermostLoopAndNestedLoopsDispatch) {
  HWND h = Top();
  VXHeadless::RunUntilIdle();
  PostMessageW(h, WM_USER + 3, 0, 0);
  PostQuitMessage(5);
  MSG m;
  int count = 0;
  while (GetMessageW(&m, nullptr, 0, 0)) {
    DispatchMessageW(&m);
    ++count;
  }
  EXPECT_EQ(count, 1);  // the posted message first, then the quit
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 5u);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WinUI, DestroyGoesFromTheWindowDownAndFreesFromTheLeavesUp) {
  HWND top = Top();
  HWND child = Child(top, 0, 0, 10, 10);
  HWND grandchild = Child(child, 0, 0, 5, 5);
  gLog.clear();
  EXPECT_TRUE(DestroyWindow(top));
  std::vector<std::pair<HWND, UINT>> seen;
  for (const Logged& e : gLog) seen.push_back({e.Wnd, e.Msg});
  std::vector<std::pair<HWND, UINT>> want = {{top, WM_DESTROY},          {child, WM_DESTROY},
                                             {grandchild, WM_DESTROY},   {grandchild, WM_NCDESTROY},
                                             {child, WM_NCDESTROY},      {top, WM_NCDESTROY}};
  EXPECT_EQ(seen, want);
  for (HWND h : {top, child, grandchild}) EXPECT_FALSE(IsWindow(h));
  // Handles are never handed out again.
  for (int i = 0; i < 5; ++i) {
    HWND n = Top();
    EXPECT_NE(n, top);
    EXPECT_NE(n, child);
    EXPECT_NE(n, grandchild);
  }
  EXPECT_FALSE(DestroyWindow(top));
}

TEST_F(WinUI, FramesFollowTheMetricsAndScreenCoordinatesNest) {
  struct Case {
    DWORD style, ex;
    int cw, ch;
  } cases[] = {
      {0, 0, 200, 100},
      {WS_BORDER, 0, 198, 98},
      {0, WS_EX_CLIENTEDGE, 196, 96},
      {WS_BORDER | WS_VSCROLL, WS_EX_CLIENTEDGE, 194 - 17, 94},
      {WS_HSCROLL | WS_VSCROLL, 0, 183, 83},
  };
  for (const Case& c : cases) {
    HWND h = Top(200, 100, c.style | WS_VISIBLE, c.ex);
    RECT r;
    GetClientRect(h, &r);
    EXPECT_EQ(r.right, c.cw) << c.style << " " << c.ex;
    EXPECT_EQ(r.bottom, c.ch) << c.style << " " << c.ex;
    DestroyWindow(h);
  }
  VXHeadless::SetMetric(SM_CXBORDER, 3);
  VXHeadless::SetMetric(SM_CYBORDER, 3);
  HWND top = Top(200, 100, WS_VISIBLE | WS_BORDER);
  RECT r;
  GetClientRect(top, &r);
  EXPECT_EQ(r.right, 194);
  HWND child = Child(top, 7, 9, 50, 40, WS_VISIBLE | WS_BORDER);
  POINT p{1, 2};
  ClientToScreen(child, &p);
  // top at (10, 20), its client 3 in, the child at (7, 9), its client 3 in.
  EXPECT_EQ(p.x, 10 + 3 + 7 + 3 + 1);
  EXPECT_EQ(p.y, 20 + 3 + 9 + 3 + 2);
  ScreenToClient(child, &p);
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(p.y, 2);
  RECT wr;
  GetWindowRect(child, &wr);
  EXPECT_EQ(wr.left, 10 + 3 + 7);
  EXPECT_EQ(wr.right - wr.left, 50);
}

TEST_F(WinUI, ResizeAndBarChangesSendWMSizeBeforeReturning) {
  HWND h = Top(200, 100, WS_VISIBLE | WS_VSCROLL);
  gLog.clear();
  EXPECT_TRUE(ShowScrollBar(h, SB_VERT, FALSE));
  ASSERT_EQ(Messages(WM_SIZE).size(), 1u);
  EXPECT_EQ(gLog[0].Msg, WM_SIZE);
  EXPECT_EQ(LOWORD(uintptr_t(gLog[0].L)), 200);
  gLog.clear();
  ShowScrollBar(h, SB_VERT, FALSE);  // no change, no message
  EXPECT_TRUE(Messages(WM_SIZE).empty());

  // A range that needs scrolling shows the bar; one that does not hides it.
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 65535;
  si.nPage = 1000;
  si.nPos = 70000;
  EXPECT_EQ(SetScrollInfo(h, SB_HORZ, &si, TRUE), 65535 - 999);
  ASSERT_EQ(Messages(WM_SIZE).size(), 1u);
  EXPECT_EQ(HIWORD(uintptr_t(gLog.back().L)), 83);
  si.nPage = 70000;
  gLog.clear();
  SetScrollInfo(h, SB_HORZ, &si, TRUE);
  EXPECT_EQ(Messages(WM_SIZE).size(), 1u);
  SCROLLINFO got;
  got.fMask = SIF_ALL;
  GetScrollInfo(h, SB_HORZ, &got);
  EXPECT_EQ(got.nPage, 65536u);
  EXPECT_EQ(got.nPos, 0);

  gLog.clear();
  SetWindowPos(h, nullptr, 0, 0, 150, 60, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_EQ(Messages(WM_SIZE).size(), 1u);
  EXPECT_EQ(gLog[0].L, MAKELPARAM(150, 60));
}

TEST_F(WinUI, BeginPaintErasesAndClipsToTheInvalidatedUnion) {
  HWND h = Top(40, 30);
  VXHeadless::RunUntilIdle();  // the first paint erases everything blue
  int w, hh;
  auto px = VXHeadless::Surface(h, w, hh);
  ASSERT_EQ(w, 40);
  ASSERT_EQ(hh, 30);
  EXPECT_EQ(px[0], 0x0000FFu);

  RECT a{2, 3, 6, 8}, b{20, 10, 25, 12};
  InvalidateRect(h, &a, FALSE);
  InvalidateRect(h, &b, FALSE);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(h, &ps);
  EXPECT_EQ(ps.rcPaint.left, 2);
  EXPECT_EQ(ps.rcPaint.top, 3);
  EXPECT_EQ(ps.rcPaint.right, 25);
  EXPECT_EQ(ps.rcPaint.bottom, 12);
  RECT all{0, 0, 40, 30};
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECT clip;
  EXPECT_EQ(GetClipBox(dc, &clip), COMPLEXREGION);
  EndPaint(h, &ps);
  px = VXHeadless::Surface(h, w, hh);
  int white = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      POINT p{x, y};
      bool inside = PtInRect(&a, p) || PtInRect(&b, p);
      EXPECT_EQ(px[size_t(y) * 40 + size_t(x)], inside ? 0xFFFFFFu : 0x0000FFu) << x << "," << y;
      white += inside;
    }
  EXPECT_EQ(white, 4 * 5 + 5 * 2);
  // Validated: no further WM_PAINT.
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, h, WM_PAINT, WM_PAINT, PM_NOREMOVE));

  // Erasing happens once, with the class brush, only when asked.
  gLog.clear();
  InvalidateRect(h, &a, TRUE);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
  px = VXHeadless::Surface(h, w, hh);
  EXPECT_EQ(px[size_t(3) * 40 + 2], 0x0000FFu);
}

TEST_F(WinUI, GetDCDrawsOnTheSurface) {
  HWND h = Top(20, 10, WS_VISIBLE | WS_BORDER);
  VXHeadless::RunUntilIdle();
  HDC dc = GetDC(h);
  SetPixel(dc, 3, 4, RGB(1, 2, 3));
  RECT r{10, 0, 12, 2};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &r, red);
  EXPECT_EQ(GetPixel(dc, 3, 4), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(dc, 17, 7), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 18, 7), CLR_INVALID);  // the client is 18 x 8
  EXPECT_EQ(ReleaseDC(h, dc), 1);
  DeleteObject(red);
  int w, hh;
  auto px = VXHeadless::Surface(h, w, hh);
  ASSERT_EQ(w, 18);
  EXPECT_EQ(px[size_t(4) * 18 + 3], 0x010203u);
  EXPECT_EQ(px[11], 0xFF0000u);
  EXPECT_EQ(px[size_t(1) * 18 + 10], 0xFF0000u);
  EXPECT_EQ(px[size_t(2) * 18 + 10], 0x0000FFu);
}

// A DC kept open across a resize (a control's canvas keeps one) draws on the
// window as it is now: the grown client area, and nothing lost on an old one.
TEST_F(WinUI, AnOpenDCFollowsTheResizedClientArea) {
  HWND h = Top(20, 10, WS_VISIBLE | WS_BORDER);
  VXHeadless::RunUntilIdle();
  HDC dc = GetDC(h);
  SetWindowPos(h, nullptr, 0, 0, 40, 30, SWP_NOMOVE | SWP_NOZORDER);
  VXHeadless::RunUntilIdle();
  RECT r{0, 0, 38, 28};
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(dc, &r, green);
  EXPECT_EQ(GetPixel(dc, 30, 20), RGB(0, 255, 0));
  EXPECT_EQ(ReleaseDC(h, dc), 1);
  DeleteObject(green);
  int w, hh;
  auto px = VXHeadless::Surface(h, w, hh);
  ASSERT_EQ(w, 38);
  ASSERT_EQ(hh, 28);
  EXPECT_EQ(px[size_t(2) * 38 + 3], 0x00FF00u);
  EXPECT_EQ(px[size_t(20) * 38 + 30], 0x00FF00u);
}

TEST_F(WinUI, DoubleClicksNeedTheClassStyleTimeAndBox) {
  struct Case {
    const char* cls;
    uint32_t delay;
    int dx, dy;
    UINT second;
  } cases[] = {
      {"VXTestDbl", 0, 0, 0, WM_LBUTTONDBLCLK},   {"VXTestDbl", 500, 2, -2, WM_LBUTTONDBLCLK},
      {"VXTestDbl", 501, 0, 0, WM_LBUTTONDOWN},    {"VXTestDbl", 100, 3, 0, WM_LBUTTONDOWN},
      {"VXTestDbl", 100, 0, -3, WM_LBUTTONDOWN},   {"VXTestPlain", 100, 0, 0, WM_LBUTTONDOWN},
  };
  for (const Case& c : cases) {
    HWND h = Top(100, 100, WS_VISIBLE, 0, c.cls);
    VXHeadless::RunUntilIdle();
    gLog.clear();
    VXHeadless::MouseDown(h, 50, 50, 0);
    VXHeadless::MouseUp(h, 50, 50, 0);
    VXHeadless::RunUntilIdle();
    VXHeadless::Advance(c.delay);
    VXHeadless::MouseDown(h, 50 + c.dx, 50 + c.dy, 0);
    VXHeadless::MouseUp(h, 50 + c.dx, 50 + c.dy, 0);
    VXHeadless::RunUntilIdle();
    std::vector<UINT> buttons;
    for (const Logged& e : gLog)
      if (e.Msg != WM_MOUSEMOVE) buttons.push_back(e.Msg);
    EXPECT_EQ(buttons, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, c.second, WM_LBUTTONUP}))
        << c.cls << " " << c.delay << " " << c.dx << "," << c.dy;
    DestroyWindow(h);
    VXHeadless::Advance(1000);
  }
  // A third click starts over.
  HWND h = Top(100, 100, WS_VISIBLE, 0, "VXTestDbl");
  gLog.clear();
  for (int i = 0; i < 3; ++i) {
    VXHeadless::MouseDown(h, 5, 5, 0);
    VXHeadless::MouseUp(h, 5, 5, 0);
  }
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(Messages(WM_LBUTTONDBLCLK).size(), 1u);
  EXPECT_EQ(Messages(WM_LBUTTONDOWN).size(), 2u);
}

TEST_F(WinUI, SwappedButtonsTurnLeftIntoRight) {
  HWND h = Top();
  VXHeadless::RunUntilIdle();
  gLog.clear();
  EXPECT_FALSE(SwapMouseButton(TRUE));
  VXHeadless::MouseDown(h, 10, 12, 0);
  // The device state is the physical button; the message state the logical one.
  EXPECT_TRUE(GetAsyncKeyState(VK_LBUTTON) & 0x8000);
  EXPECT_FALSE(GetAsyncKeyState(VK_RBUTTON) & 0x8000);
  VXHeadless::RunUntilIdle();
  EXPECT_TRUE(GetKeyState(VK_RBUTTON) & 0x8000);
  EXPECT_FALSE(GetKeyState(VK_LBUTTON) & 0x8000);
  VXHeadless::MouseUp(h, 10, 12, 0);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_RBUTTONDOWN, WM_RBUTTONUP}));
  EXPECT_EQ(gLog[0].L, MAKELPARAM(10, 12));
  EXPECT_EQ(gLog[0].W, MK_RBUTTON);
  EXPECT_TRUE(SwapMouseButton(FALSE));
}

TEST_F(WinUI, InputFollowsCaptureFocusAndTheWindowUnderThePoint) {
  HWND top = Top(200, 100);
  HWND a = Child(top, 0, 0, 50, 50);
  HWND b = Child(top, 100, 0, 50, 50, WS_VISIBLE | WS_DISABLED);
  VXHeadless::RunUntilIdle();
  gLog.clear();
  VXHeadless::MouseMove(top, 10, 10);
  VXHeadless::MouseMove(top, 110, 10);  // disabled: nobody gets it
  VXHeadless::RunUntilIdle();
  ASSERT_EQ(gLog.size(), 1u);
  EXPECT_EQ(gLog[0].Wnd, a);

  SetCapture(a);
  gLog.clear();
  VXHeadless::MouseMove(top, 120, 30);
  VXHeadless::RunUntilIdle();
  ASSERT_EQ(gLog.size(), 1u);
  EXPECT_EQ(gLog[0].Wnd, a);
  EXPECT_EQ(gLog[0].L, MAKELPARAM(120, 30));
  gLog.clear();
  SetCapture(top);
  ReleaseCapture();
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CAPTURECHANGED, WM_CAPTURECHANGED}));

  gLog.clear();
  SetFocus(a);
  EXPECT_EQ(SetFocus(b), nullptr);  // disabled windows take no focus
  EXPECT_EQ(GetFocus(), a);
  VXHeadless::KeyDown('A');
  VXHeadless::KeyUp('A');
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_SETFOCUS, WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
  EXPECT_EQ(gLog[2].W, WPARAM('a'));

  gLog.clear();
  VXHeadless::Wheel(top, 20, 20, -120);
  VXHeadless::RunUntilIdle();
  ASSERT_EQ(gLog.size(), 2u);  // the child, then its parent by DefWindowProc
  EXPECT_EQ(gLog[0].Wnd, a);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(gLog[0].W), -120);
  POINT screen{20, 20};
  ClientToScreen(top, &screen);
  EXPECT_EQ(gLog[0].L, MAKELPARAM(screen.x, screen.y));
}

LRESULT CALLBACK SubclassProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  WNDPROC old = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (m == WM_USER + 50) return CallWindowProcW(old, h, m, w + 1, l);
  return CallWindowProcW(old, h, m, w, l);
}

TEST_F(WinUI, SubclassingChainsToThePreviousProcedure) {
  HWND h = Top();
  LONG_PTR old = SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc));
  EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(LogProc));
  SetWindowLongPtrW(h, GWLP_USERDATA, old);
  EXPECT_EQ(SendMessageW(h, WM_USER + 50, 4, 0), 10);
  char text[16];
  SetWindowTextW(h, "héllo");
  EXPECT_EQ(GetWindowTextLengthW(h), 6);
  EXPECT_EQ(GetWindowTextW(h, text, 4), 3);
  EXPECT_STREQ(text, "hé");
}

// A 2 x 2 cursor resource: hotspot, 40-byte header (height doubled), two
// palette entries, the colour rows and the mask rows, bottom-up.
std::vector<uint8_t> CursorBytes(uint16_t hx, uint16_t hy) {
  std::vector<uint8_t> b = {uint8_t(hx), 0, uint8_t(hy), 0};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  put32(40);
  put32(2);
  put32(4);
  b.push_back(1), b.push_back(0), b.push_back(1), b.push_back(0);
  for (int i = 0; i < 6; ++i) put32(0);
  put32(0x000000);
  put32(0xFFFFFF);
  put32(0x40);  // colour rows (first byte 0x40): bottom row 0 1
  put32(0x80);  //                                top row 1 0
  put32(0x00);  // mask rows: the top row's second pixel shows through
  put32(0x40);
  return b;
}

// The pixels of a bitmap, top-down, as GetDIBits gives them at 32 bits
// (0xAARRGGBB) or as indices at 1 bit.
std::vector<uint32_t> IconRows(HBITMAP Bitmap, int Bits) {
  BITMAP bm;
  if (!GetObjectW(Bitmap, sizeof bm, &bm)) return {};
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[2];
  } info{};
  info.h.biSize = sizeof(BITMAPINFOHEADER);
  info.h.biWidth = bm.bmWidth;
  info.h.biHeight = -bm.bmHeight;
  info.h.biPlanes = 1;
  info.h.biBitCount = WORD(Bits);
  const int stride = ((bm.bmWidth * Bits + 31) / 32) * 4;
  std::vector<uint8_t> rows(size_t(stride) * bm.bmHeight);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetDIBits(dc, Bitmap, 0, UINT(bm.bmHeight), rows.data(), reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS),
            bm.bmHeight);
  DeleteDC(dc);
  std::vector<uint32_t> out;
  for (int y = 0; y < bm.bmHeight; ++y)
    for (int x = 0; x < bm.bmWidth; ++x) {
      const uint8_t* r = &rows[size_t(y) * stride];
      uint32_t v = 0;
      if (Bits == 1) v = (r[x / 8] >> (7 - x % 8)) & 1;
      else std::memcpy(&v, r + 4 * x, 4);
      out.push_back(v);
    }
  return out;
}

TEST_F(WinUI, IconsFromBitmapsAndTheDefaultPalette) {
  // A colour section with alpha of its own keeps it; the mask comes along.
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 2;
  bi.bmiHeader.biHeight = 1;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP colour = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(colour, nullptr);
  const uint32_t px[2] = {0x80102030, 0xFF405060};
  std::memcpy(bits, px, sizeof px);
  EXPECT_EQ(IconRows(colour, 32), (std::vector<uint32_t>{0x80102030, 0xFF405060}));  // GetDIBits keeps the alpha
  const uint8_t maskBits[2] = {0x80, 0};
  HBITMAP mask = CreateBitmap(2, 1, 1, 1, maskBits);
  ICONINFO ii;
  ii.fIcon = TRUE;
  ii.hbmColor = colour;
  ii.hbmMask = mask;
  HICON icon = CreateIconIndirect(&ii);
  ASSERT_NE(icon, nullptr);
  ICONINFO out;
  ASSERT_TRUE(GetIconInfo(icon, &out));
  EXPECT_TRUE(out.fIcon);
  EXPECT_NE(out.hbmColor, colour);  // copies
  EXPECT_EQ(IconRows(out.hbmColor, 32), (std::vector<uint32_t>{0x80102030, 0xFF405060}));
  EXPECT_EQ(IconRows(out.hbmMask, 1), (std::vector<uint32_t>{1, 0}));
  DIBSECTION ds;
  ASSERT_EQ(GetObjectW(out.hbmColor, sizeof ds, &ds), int(sizeof ds));
  EXPECT_EQ(ds.dsBmih.biSize, 40u);
  EXPECT_EQ(ds.dsBmih.biBitCount, 32);
  EXPECT_GT(ds.dsBmih.biHeight, 0);  // bottom-up
  DeleteObject(out.hbmColor);
  DeleteObject(out.hbmMask);
  DestroyIcon(icon);

  // Without a colour bitmap the mask holds the AND half over the XOR half.
  const uint8_t mono[4] = {0x40, 0, 0x80, 0};  // AND: (1,0) shows through; XOR: (0,0) white
  HBITMAP monoMask = CreateBitmap(2, 2, 1, 1, mono);
  ICONINFO monoInfo;
  monoInfo.hbmMask = monoMask;
  HICON monoIcon = CreateIconIndirect(&monoInfo);
  ASSERT_NE(monoIcon, nullptr);
  int w = 0, h = 0;
  ASSERT_TRUE(VXCursorSize(monoIcon, w, h));
  EXPECT_EQ(h, 1);
  ASSERT_TRUE(GetIconInfo(monoIcon, &out));
  EXPECT_EQ(IconRows(out.hbmColor, 32), (std::vector<uint32_t>{0xFFFFFF, 0}));
  EXPECT_EQ(IconRows(out.hbmMask, 1), (std::vector<uint32_t>{0, 1}));
  DeleteObject(out.hbmColor);
  DeleteObject(out.hbmMask);
  DestroyIcon(monoIcon);

  // Missing or mismatched bitmaps make no icon.
  ICONINFO none;
  EXPECT_EQ(CreateIconIndirect(&none), nullptr);
  ICONINFO mismatched;
  mismatched.hbmColor = colour;
  mismatched.hbmMask = monoMask;  // 2 x 2 against 2 x 1
  EXPECT_EQ(CreateIconIndirect(&mismatched), nullptr);
  DeleteObject(colour);
  DeleteObject(mask);
  DeleteObject(monoMask);

  // The default palette is the only one.
  HDC dc = CreateCompatibleDC(nullptr);
  HPALETTE def = reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(GetObjectType(def), OBJ_PAL);
  EXPECT_EQ(SelectPalette(dc, def, FALSE), def);
  EXPECT_EQ(RealizePalette(dc), 0u);
  EXPECT_EQ(SelectPalette(dc, reinterpret_cast<HPALETTE>(uintptr_t(0x1234)), FALSE), nullptr);
  DeleteDC(dc);
  EXPECT_EQ(RealizePalette(dc), GDI_ERROR);
}

TEST_F(WinUI, CursorsComeFromTheSystemAndFromResources) {
  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);

  static std::vector<uint8_t> cur = CursorBytes(1, 0);
  static std::vector<uint8_t> group = {0, 0, 2, 0, 1, 0,               // reserved, type 2, one entry
                                       2, 0, 4, 0, 1, 0, 1, 0,         // width, height x 2, planes, bits
                                       uint8_t(cur.size() - 4), 0, 0, 0, 9, 0};  // bytes, id 9
  RegisterResource(RT_CURSOR, "#9", cur.data(), cur.size());
  RegisterResource(RT_GROUP_CURSOR, "#1778", group.data(), group.size());
  HINSTANCE self = reinterpret_cast<HINSTANCE>(uintptr_t(1));
  HCURSOR c = LoadCursorW(self, MAKEINTRESOURCEW(1778));
  ASSERT_NE(c, nullptr);
  ICONINFO ii;
  ASSERT_TRUE(GetIconInfo(c, &ii));
  EXPECT_EQ(ii.xHotspot, 1u);
  EXPECT_EQ(ii.yHotspot, 0u);
  int w, h;
  ASSERT_TRUE(VXCursorSize(c, w, h));
  EXPECT_EQ(w, 2);
  EXPECT_EQ(h, 2);
  // Copies of its colour image (32 bits, no alpha of its own) and its mask.
  EXPECT_EQ(IconRows(ii.hbmColor, 32), (std::vector<uint32_t>{0xFFFFFF, 0, 0, 0xFFFFFF}));
  EXPECT_EQ(IconRows(ii.hbmMask, 1), (std::vector<uint32_t>{0, 1, 0, 0}));
  // An icon made from them again gives the same bitmaps.
  HICON again = CreateIconIndirect(&ii);
  ASSERT_NE(again, nullptr);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  ICONINFO ii2;
  ASSERT_TRUE(GetIconInfo(again, &ii2));
  EXPECT_EQ(ii2.xHotspot, 1u);
  EXPECT_EQ(IconRows(ii2.hbmColor, 32), (std::vector<uint32_t>{0xFFFFFF, 0, 0, 0xFFFFFF}));
  EXPECT_EQ(IconRows(ii2.hbmMask, 1), (std::vector<uint32_t>{0, 1, 0, 0}));
  DeleteObject(ii2.hbmColor);
  DeleteObject(ii2.hbmMask);
  EXPECT_TRUE(DestroyIcon(again));
  EXPECT_FALSE(GetIconInfo(again, &ii2));
  EXPECT_EQ(LoadCursorW(self, MAKEINTRESOURCEW(1779)), nullptr);

  // Short or damaged bytes give no cursor.
  for (size_t n : {size_t(0), size_t(3), size_t(43), cur.size() - 1})
    EXPECT_EQ(CreateIconFromResourceEx(cur.data(), DWORD(n), FALSE, 0x00030000, 0, 0, 0), nullptr) << n;
  std::vector<uint8_t> bad = cur;
  bad[4 + 12] = 3;  // planes
  EXPECT_EQ(CreateIconFromResourceEx(bad.data(), DWORD(bad.size()), FALSE, 0x00030000, 0, 0, 0), nullptr);
  bad = cur;
  bad[4 + 8] = 5;  // odd doubled height
  EXPECT_EQ(CreateIconFromResourceEx(bad.data(), DWORD(bad.size()), FALSE, 0x00030000, 0, 0, 0), nullptr);
  UnregisterResource(RT_CURSOR, "#9");
  UnregisterResource(RT_GROUP_CURSOR, "#1778");

  // The class cursor is set as the mouse moves over a client area.
  HWND top = Top();
  VXHeadless::MouseMove(top, 3, 3);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_CROSS));
}

TEST_F(WinUI, ScreenFactsAndMulDiv) {
  EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 32);
  VXHeadless::SetScreenDepth(8);
  EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 8);
  EXPECT_EQ(GetSystemMetrics(SM_REMOTESESSION), 0);
  VXHeadless::SetRemoteSession(true);
  EXPECT_NE(GetSystemMetrics(SM_REMOTESESSION), 0);
  MONITORINFO mi;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), &mi));
  EXPECT_EQ(mi.rcMonitor.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(MonitorFromPoint(POINT{-5, 0}, MONITOR_DEFAULTTONULL), nullptr);
  struct {
    int a, b, c, r;
  } cases[] = {{5, 3, 2, 8}, {-5, 3, 2, -8}, {7, 1, 2, 4}, {-7, 1, 2, -4}, {1, 1, 0, -1}, {0x40000000, 4, 1, -1},
               {10, 10, -3, -33}};
  for (auto& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.r) << c.a << " " << c.b << " " << c.c;
}

LRESULT CALLBACK GestureProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_GESTURENOTIFY) {
    gLog.push_back({h, m, w, l});
    GESTURECONFIG cfg[2] = {{GID_PAN, 23, 8}, {GID_ZOOM, GC_ZOOM, 0}};
    UnregisterTouchWindow(h);
    SetGestureConfig(h, 0, 2, cfg, sizeof(GESTURECONFIG));
    return 0;
  }
  if (m == WM_GESTURE) {
    GESTUREINFO gi;
    EXPECT_TRUE(GetGestureInfo(reinterpret_cast<HGESTUREINFO>(l), &gi));
    gLog.push_back({h, m, gi.dwID, LPARAM(gi.ullArguments)});
    if (gi.dwID == GID_ZOOM) {  // handled here: closed here
      CloseGestureInfoHandle(reinterpret_cast<HGESTUREINFO>(l));
      return 0;
    }
  }
  return DefWindowProcW(h, m, w, l);
}

TEST_F(WinUI, GesturesArriveAsRecordsThatSomebodyCloses) {
  HWND h = Top();
  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GestureProc));
  gLog.clear();
  VXHeadless::Gesture(h, GID_ZOOM, GF_BEGIN, 10, 10, 100);
  VXHeadless::Gesture(h, GID_ZOOM, 0, 10, 10, 200);
  VXHeadless::Gesture(h, GID_PAN, GF_END, 10, 10, 0);
  VXHeadless::RunUntilIdle();
  ASSERT_EQ(gLog.size(), 4u);
  EXPECT_EQ(gLog[0].Msg, WM_GESTURENOTIFY);
  EXPECT_EQ(gLog[2].L, 200);
  EXPECT_EQ(gLog[3].W, GID_PAN);
  EXPECT_EQ(VXOpenGestureHandles(), 0);  // the pan went to DefWindowProc, which closed it
  GESTURECONFIG got[4];
  ASSERT_EQ(VXGestureConfig(h, got, 4), 2);
  EXPECT_EQ(got[0].dwWant, 23u);
  EXPECT_EQ(got[0].dwBlock, 8u);
  EXPECT_TRUE(VXTouchUnregistered(h));
  GESTUREINFO gi;
  EXPECT_FALSE(GetGestureInfo(reinterpret_cast<HGESTUREINFO>(uintptr_t(12345)), &gi));
}

TEST_F(WinUI, BuiltInModulesAreFoundByNameUnlessRemoved) {
  HMODULE u = LoadLibraryW("user32.DLL");
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(LoadLibraryW("User32"), u);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(u, "GetGestureInfo")), reinterpret_cast<void*>(&GetGestureInfo));
  EXPECT_EQ(GetProcAddress(u, "NoSuchEntry"), nullptr);
  HMODULE m = LoadLibraryW("MSIMG32.DLL");
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "GradientFill"), nullptr);
  EXPECT_EQ(LoadLibraryW("nosuch.dll"), nullptr);
  HMODULE gp = LoadLibraryW("GDIPLUS");
  ASSERT_NE(gp, nullptr);
  EXPECT_NE(GetProcAddress(gp, "GdiplusStartup"), nullptr);
  FreeLibrary(gp);
  VXHeadless::RemoveModule("USER32.dll");
  EXPECT_EQ(LoadLibraryW("User32.dll"), nullptr);
  EXPECT_NE(GetProcAddress(u, "GetGestureInfo"), nullptr);  // handles given out keep working
  VXHeadless::Reset();  // brings the modules back
  EXPECT_NE(LoadLibraryW("User32.dll"), nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(FreeLibrary(u));
  EXPECT_FALSE(FreeLibrary(u));
  EXPECT_TRUE(FreeLibrary(m));
}

void VXTestEntry() {}
BOOL CollectWindow(HWND h, LPARAM l) {
  reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
  return TRUE;
}

TEST_F(WinUI, RegisteredModulesLoadByPathAndSitInTheWindowsFolder) {
  VXModules::Register("VXTEST_9.DLL", {{"Entry", reinterpret_cast<FARPROC>(&VXTestEntry)}});
  char dir[256];
  const uint32_t n = GetWindowsDirectoryA(dir, sizeof(dir));
  ASSERT_GT(n, 0u);
  const std::string path = std::string(dir, n) + "/VXTEST_9.DLL";
  HMODULE h = LoadLibraryA(path.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetProcAddress(h, "Entry"), reinterpret_cast<FARPROC>(&VXTestEntry));
  EXPECT_EQ(LoadLibraryA((std::string(dir, n) + "/missing/VXTEST_9.DLL").c_str()), nullptr);  // no such file
  EXPECT_EQ(LoadLibraryA((std::string(dir, n) + "/User32.dll").c_str()), LoadLibraryW("User32.dll"));
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(WinUI, StaticClassAndThreadWindows) {
  HWND a = CreateWindowExW(0, "STATIC", "Acquire Proxy", WS_POPUP | WS_BORDER, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(a, nullptr);
  HWND child = CreateWindowExW(0, "static", "", WS_CHILD, 0, 0, 10, 10, a, nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  HWND b = CreateWindowExW(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  std::vector<HWND> seen;
  EXPECT_TRUE(EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&seen)));
  EXPECT_NE(std::find(seen.begin(), seen.end(), a), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), b), seen.end());
  EXPECT_EQ(std::find(seen.begin(), seen.end(), child), seen.end());  // top-level windows only
  EXPECT_LT(std::find(seen.begin(), seen.end(), a), std::find(seen.begin(), seen.end(), b));
  DestroyWindow(a);
  DestroyWindow(b);
  seen.clear();
  EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&seen));
  EXPECT_EQ(std::find(seen.begin(), seen.end(), a), seen.end());
}

}  // namespace
