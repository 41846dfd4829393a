// What a display shows of a top-level window (VXReadWindowPicture): frames,
// client surfaces at their places, scroll bars of the platform's sizes, child
// windows in z-order clipped to their parents; and the display registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win_syscolors.h"
#include "winui/display.h"
#include "winui/gdi.h"
#include "winui/headless.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_scroll.h"
#include "winui/win_paint.h"
#include "winui/win_state.h"
#include "winui/win_window.h"

namespace {

uint32_t Packed(uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// Fills a window's whole client surface with one colour (0x00BBGGRR).
void Paint(HWND h, COLORREF c) {
  HDC dc = GetDC(h);
  HBRUSH b = CreateSolidBrush(c);
  RECT r;
  GetClientRect(h, &r);
  FillRect(dc, &r, b);
  DeleteObject(b);
  ReleaseDC(h, dc);
}

class WinUIPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    WNDCLASSEXW wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = "VXPictureTest";
    RegisterClassExW(&wc);
  }
  void TearDown() override { VXHeadless::Reset(); }
};

TEST_F(WinUIPicture, ClientSurfacesFramesAndBarsAtTheirPlaces) {
  HWND top = CreateWindowExW(0, "VXPictureTest", "form", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 30, 40, 300, 220,
                             nullptr, nullptr, nullptr, nullptr);
  HWND a = CreateWindowExW(WS_EX_CLIENTEDGE, "VXPictureTest", "", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 10,
                           12, 150, 120, top, nullptr, nullptr, nullptr);
  // A second child overlapping the first from below in the z-order, and
  // running past the form's client area.
  HWND b = CreateWindowExW(0, "VXPictureTest", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 120, 100, 400, 50, top, nullptr,
                           nullptr, nullptr);
  SetWindowPos(b, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Paint(top, RGB(200, 210, 220));
  Paint(a, RGB(255, 0, 0));
  Paint(b, RGB(0, 0, 255));
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 99;
  si.nPage = 25;
  si.nPos = 50;
  SetScrollInfo(a, SB_HORZ, &si, TRUE);

  int W = 0, H = 0;
  std::vector<uint32_t> px;
  ASSERT_TRUE(VXReadWindowPicture(top, W, H, px));
  ASSERT_EQ(W, 300);
  ASSERT_EQ(H, 220);
  auto at = [&](int x, int y) { return px[size_t(y) * size_t(W) + size_t(x)]; };
  if (const char* dir = std::getenv("VX_TEST_DUMP")) {
    // To look at: $VX_TEST_DUMP/window_picture.ppm.
    if (FILE* f = std::fopen((std::string(dir) + "/window_picture.ppm").c_str(), "wb")) {
      std::fprintf(f, "P6 %d %d 255\n", W, H);
      for (uint32_t v : px) {
        const unsigned char rgb[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        std::fwrite(rgb, 1, 3, f);
      }
      std::fclose(f);
    }
  }
  const int border = GetSystemMetrics(SM_CXBORDER), caption = GetSystemMetrics(SM_CYCAPTION);
  const int edge = GetSystemMetrics(SM_CXEDGE);
  const int cxv = GetSystemMetrics(SM_CXVSCROLL), cyh = GetSystemMetrics(SM_CYHSCROLL);
  // The form: frame, caption, client.
  EXPECT_EQ(at(0, 100), Packed(GetSysColor(COLOR_WINDOWFRAME)));
  EXPECT_EQ(at(150, border + 2), Packed(GetSysColor(COLOR_ACTIVECAPTION)));
  const int cx = border, cy = border + caption;  // the form's client origin
  EXPECT_EQ(at(cx + 2, cy + 2), 0xC8D2DCu);
  // Child a: its client edge, then its client area, bars right and below.
  const int ax = cx + 10, ay = cy + 12;
  EXPECT_EQ(at(ax, ay), Packed(GetSysColor(COLOR_BTNSHADOW)));
  EXPECT_EQ(at(ax + edge, ay + edge), 0xFF0000u);
  const int clientRight = ax + 150 - edge - cxv, clientBottom = ay + 120 - edge - cyh;
  EXPECT_EQ(at(clientRight - 1, clientBottom - 1), 0xFF0000u);
  EXPECT_NE(at(clientRight, ay + edge + 40), 0xFF0000u);   // the vertical bar
  EXPECT_NE(at(ax + edge + 40, clientBottom), 0xFF0000u);  // the horizontal bar
  // The horizontal bar: arrows at both ends, the thumb where the position
  // puts it, the track elsewhere.
  RECT bar{ax + edge, clientBottom, clientRight, clientBottom + cyh};
  vxwin::ScrollBar sb;
  sb.Max = 99;
  sb.Page = 25;
  sb.Pos = 50;
  VXScrollBarParts parts = VXScrollBarLayout(bar, true, sb);
  EXPECT_EQ(parts.Arrow1.right - parts.Arrow1.left, cyh);
  EXPECT_GT(parts.Thumb.left, parts.Arrow1.right);
  EXPECT_EQ(at(parts.Thumb.left + 3, clientBottom + cyh / 2), Packed(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(at(parts.Arrow1.right + 2, clientBottom + cyh / 2), Packed(GetSysColor(COLOR_SCROLLBAR)));
  // Child b lies below a in the z-order: a covers the overlap.
  const int bx = cx + 120, by = cy + 100;
  EXPECT_EQ(at(bx + 50, by), Packed(GetSysColor(COLOR_WINDOWFRAME)));  // b's border, beyond a
  EXPECT_EQ(at(bx, by + 5), 0xFF0000u);          // inside a's client area
  EXPECT_EQ(at(bx + 100, by + 20), 0x0000FFu);   // beyond a
  EXPECT_EQ(at(W - 1 - border, by + 20), 0x0000FFu);  // cut at the form's client edge
  EXPECT_EQ(at(W - 1, by + 20), Packed(GetSysColor(COLOR_WINDOWFRAME)));

  // A hidden child leaves the form's own surface.
  ShowWindow(b, SW_HIDE);
  ASSERT_TRUE(VXReadWindowPicture(top, W, H, px));
  EXPECT_EQ(at(bx + 100, by + 20), 0xC8D2DCu);
  // A child's picture alone starts at its own corner.
  ASSERT_TRUE(VXReadWindowPicture(a, W, H, px));
  EXPECT_EQ(W, 150);
  EXPECT_EQ(at(edge, edge), 0xFF0000u);
  EXPECT_EQ(VXTopLevelWindow(a), top);
  EXPECT_FALSE(VXReadWindowPicture(nullptr, W, H, px));
}

// A display that records what it was told.
struct Recorder : IVXDisplay {
  std::vector<std::string> log;
  void SurfaceChanged(HWND) override { log.push_back("surface"); }
  void WindowShown(HWND, bool v) override { log.push_back(v ? "shown" : "hidden"); }
  void WindowMoved(HWND) override { log.push_back("moved"); }
  void WindowTextChanged(HWND) override { log.push_back("text"); }
};

TEST_F(WinUIPicture, DisplaysLearnOfTopLevelWindowsAndOpenByName) {
  Recorder r;
  VXSetDisplay(&r);
  HWND top = CreateWindowExW(0, "VXPictureTest", "t", WS_OVERLAPPED, 0, 0, 100, 80, nullptr, nullptr, nullptr,
                             nullptr);
  HWND child = CreateWindowExW(0, "VXPictureTest", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, top, nullptr, nullptr,
                               nullptr);
  r.log.clear();
  ShowWindow(top, SW_SHOW);
  SetWindowPos(top, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SetWindowPos(top, nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER);
  SetWindowTextW(top, "new title");
  auto has = [&](const char* what) { return std::find(r.log.begin(), r.log.end(), what) != r.log.end(); };
  EXPECT_TRUE(has("shown"));
  EXPECT_TRUE(has("moved"));
  EXPECT_TRUE(has("text"));
  r.log.clear();
  SetWindowTextW(child, "child");
  EXPECT_FALSE(has("text"));
  SetWindowPos(child, nullptr, 3, 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_TRUE(has("surface"));  // the form's picture changed
  EXPECT_FALSE(has("moved"));
  ShowWindow(top, SW_HIDE);
  EXPECT_TRUE(has("hidden"));
  VXSetDisplay(nullptr);

  // The registry: VEXLANE_DISPLAY names the display to open.
  static Recorder opened;
  VXRegisterDisplay("recorder", [] { return static_cast<IVXDisplay*>(&opened); });
  VXRegisterDisplay("broken", [] { return static_cast<IVXDisplay*>(nullptr); });
  unsetenv("VEXLANE_DISPLAY");
  EXPECT_FALSE(VXOpenDisplayFromEnvironment());
  EXPECT_EQ(VXCurrentDisplay(), nullptr);
  for (const char* name : {"broken", "nowhere"}) {
    setenv("VEXLANE_DISPLAY", name, 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(VXOpenDisplayFromEnvironment());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(name), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_EQ(VXCurrentDisplay(), nullptr);
  }
  setenv("VEXLANE_DISPLAY", "recorder", 1);
  EXPECT_TRUE(VXOpenDisplayFromEnvironment());
  EXPECT_EQ(VXCurrentDisplay(), &opened);
  VXSetDisplay(nullptr);
  unsetenv("VEXLANE_DISPLAY");
  VXRegisterDisplay("recorder", nullptr);
  VXRegisterDisplay("broken", nullptr);
}

std::vector<std::pair<UINT, WPARAM>> gBarLog;
LRESULT CALLBACK BarProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_HSCROLL || m == WM_VSCROLL || m == WM_LBUTTONDOWN || m == WM_LBUTTONUP) gBarLog.push_back({m, w});
  return DefWindowProcW(h, m, w, l);
}

TEST_F(WinUIPicture, PressesOnTheBarsScrollAsThePlatformDoes) {
  VXHeadless::SetClock(50000);
  WNDCLASSEXW wc;
  wc.lpfnWndProc = BarProc;
  wc.lpszClassName = "VXBarTest";
  RegisterClassExW(&wc);
  HWND h = CreateWindowExW(0, "VXBarTest", "bars", WS_OVERLAPPED | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 100, 50,
                           300, 200, nullptr, nullptr, nullptr, nullptr);
  SCROLLINFO si{};
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMax = 99;
  si.nPage = 25;
  si.nPos = 20;
  SetScrollInfo(h, SB_HORZ, &si, TRUE);
  SetScrollInfo(h, SB_VERT, &si, TRUE);
  const int cxv = GetSystemMetrics(SM_CXVSCROLL), cyh = GetSystemMetrics(SM_CYHSCROLL);
  // Screen geometry: client 0..300-cxv x 0..200-cyh at (100, 50).
  const RECT hbar{100, 50 + 200 - cyh, 100 + 300 - cxv, 250};
  vxwin::ScrollBar sb;
  sb.Max = 99;
  sb.Page = 25;
  sb.Pos = 20;
  const VXScrollBarParts parts = VXScrollBarLayout(hbar, true, sb);
  const int y = hbar.top + cyh / 2;
  auto hit = [&](int x, int yy) { return SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(x, yy)); };
  EXPECT_EQ(hit(150, 100), HTCLIENT);
  EXPECT_EQ(hit(150, y), HTHSCROLL);
  EXPECT_EQ(hit(100 + 300 - cxv / 2, 100), HTVSCROLL);
  EXPECT_EQ(hit(100 + 300 - 2, y), HTBORDER);  // the corner between the bars
  EXPECT_EQ(hit(10, 10), HTNOWHERE);
  auto codes = [&] {
    std::vector<int> out;
    for (auto [m, w] : gBarLog) out.push_back(m == WM_HSCROLL ? int(LOWORD(w)) : m == WM_VSCROLL ? 100 + int(LOWORD(w)) : -1);
    gBarLog.clear();
    return out;
  };
  auto press = [&](int x, int yy, bool down) {
    VXInputMouseButton(0, down, POINT{x, yy});
    VXHeadless::RunUntilIdle();
  };
  // The left arrow: one line up, the end on release; no client message.
  press(parts.Arrow1.left + 3, y, true);
  press(parts.Arrow1.left + 3, y, false);
  EXPECT_EQ(codes(), (std::vector<int>{SB_LINEUP, SB_ENDSCROLL}));
  // Held, the right arrow repeats after 400 ms, then every 50 ms.
  press(parts.Arrow2.left + 3, y, true);
  VXHeadless::Advance(399);
  EXPECT_EQ(codes(), (std::vector<int>{SB_LINEDOWN}));
  VXHeadless::Advance(1);
  VXHeadless::Advance(100);
  EXPECT_EQ(codes(), (std::vector<int>{SB_LINEDOWN, SB_LINEDOWN, SB_LINEDOWN}));
  press(parts.Arrow2.left + 3, y, false);
  EXPECT_EQ(codes(), (std::vector<int>{SB_ENDSCROLL}));
  // The track on either side of the thumb pages.
  press(parts.Thumb.right + 2, y, true);
  press(parts.Thumb.right + 2, y, false);
  press(parts.Arrow1.right + 1, y, true);
  press(parts.Arrow1.right + 1, y, false);
  EXPECT_EQ(codes(), (std::vector<int>{SB_PAGEDOWN, SB_ENDSCROLL, SB_PAGEUP, SB_ENDSCROLL}));
  // The thumb dragged by 40 pixels: track positions, then the final one.
  const int grab = parts.Thumb.left + 5;
  press(grab, y, true);
  VXInputMouseMove(POINT{grab + 20, y + 30});  // leaving the bar keeps the drag
  VXHeadless::RunUntilIdle();
  VXInputMouseMove(POINT{grab + 40, y});
  VXHeadless::RunUntilIdle();
  press(grab + 40, y, false);
  const int track = parts.Track.right - parts.Track.left, thumb = parts.Thumb.right - parts.Thumb.left;
  const int want = (parts.Thumb.left - parts.Track.left + 40) * 75 / (track - thumb);
  std::vector<std::pair<UINT, WPARAM>> log = gBarLog;
  ASSERT_EQ(codes(), (std::vector<int>{SB_THUMBTRACK, SB_THUMBTRACK, SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL}));
  EXPECT_EQ(HIWORD(log[0].second), 20);
  EXPECT_EQ(HIWORD(log[3].second), want);
  // The vertical bar's arrow, and a click in the client area stays a client
  // message.
  press(100 + 300 - cxv / 2, 52, true);
  press(100 + 300 - cxv / 2, 52, false);
  press(150, 100, true);
  press(150, 100, false);
  EXPECT_EQ(codes(), (std::vector<int>{100 + SB_LINEUP, 100 + SB_ENDSCROLL, -1, -1}));
}

}  // namespace
