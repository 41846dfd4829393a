// The X11 display under an Xvfb server the tests start themselves: the X
// window shows exactly the window's picture (read back with ImageMagick's
// import), follows resizes from the server, and the server's mouse, wheel,
// keys and close requests reach the window system. Without Xvfb the tests
// skip.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "winui/display.h"
#include "winui/gdi.h"
#include "winui/headless.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_paint.h"
#include "winui/win_scroll.h"
#include "winui/win_window.h"
#include "x11/x11display.h"
#include "tests/x11/x11_fixture.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace {

struct Logged {
  HWND Wnd;
  UINT Msg;
  WPARAM W;
  LPARAM L;
};
std::vector<Logged> gLog;

LRESULT CALLBACK LogProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  switch (m) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SIZE:
    case WM_CLOSE:
    case WM_DESTROY:
      gLog.push_back({h, m, w, l});
  }
  return DefWindowProcW(h, m, w, l);
}

class X11Display : public XvfbTest {
 protected:
  void SetUp() override {
    XvfbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    gLog.clear();
    WNDCLASSEXW wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = LogProc;
    wc.lpszClassName = "VXX11Test";
    RegisterClassExW(&wc);
  }
};

// Seeded colours over a child's client area.
void PaintSeeded(HWND h, unsigned seed) {
  RECT r;
  GetClientRect(h, &r);
  const int w = r.right, hh = r.bottom;
  std::vector<uint32_t> px(size_t(w) * size_t(hh));
  std::mt19937 rng(seed);
  for (uint32_t& v : px) v = rng() & 0xFFFFFF;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -hh;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  HDC dc = GetDC(h);
  SetDIBitsToDevice(dc, 0, 0, DWORD(w), DWORD(hh), 0, 0, 0, UINT(hh), px.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(h, dc);
}

TEST_F(X11Display, TheXWindowShowsTheWindowsPicture) {
  HWND top = CreateWindowExW(0, "VXX11Test", "pictures", WS_OVERLAPPED | WS_BORDER, 40, 30, 320, 240, nullptr,
                             nullptr, nullptr, nullptr);
  HWND child = CreateWindowExW(WS_EX_CLIENTEDGE, "VXX11Test", "", WS_CHILD | WS_VISIBLE, 10, 10, 200, 150, top,
                               nullptr, nullptr, nullptr);
  ShowWindow(top, SW_SHOW);
  PaintSeeded(child, 7);
  ASSERT_NE(VXX11WindowOf(top), 0u);
  EXPECT_EQ(VXX11WindowOf(child), 0u);  // children are part of the picture
  ExpectShowsPicture(top, "after showing");

  // Bars appear on the child.
  SCROLLINFO si{};
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMax = 99;
  si.nPage = 30;
  si.nPos = 20;
  SetScrollInfo(child, SB_HORZ, &si, TRUE);
  SetScrollInfo(child, SB_VERT, &si, TRUE);
  PaintSeeded(child, 8);
  ExpectShowsPicture(top, "after scroll bars appear");

  // The server resizes the window: the form follows with WM_SIZE.
  Shell("DISPLAY=" + display + " /usr/bin/xdotool windowsize " + std::to_string(VXX11WindowOf(top)) + " 400 300 2>&1");
  ASSERT_TRUE(PumpUntil([&] {
    RECT r;
    GetWindowRect(top, &r);
    return r.right - r.left == 400 && r.bottom - r.top == 300;
  }));
  bool sized = false;
  for (const Logged& l : gLog)
    if (l.Wnd == top && l.Msg == WM_SIZE) sized = sized || (LOWORD(l.L) == 398 && HIWORD(l.L) == 298);
  EXPECT_TRUE(sized);
  ExpectShowsPicture(top, "after xdotool windowsize");

  // The title follows the window's text.
  SetWindowTextW(top, "renamed form");
  EXPECT_TRUE(PumpUntil([&] {
    return Shell("DISPLAY=" + display + " /usr/bin/xdotool getwindowname " + std::to_string(VXX11WindowOf(top)) + " 2>/dev/null") ==
           "renamed form\n";
  }));
}

TEST_F(X11Display, ServerInputReachesTheWindows) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  HWND top = CreateWindowExW(0, "VXX11Test", "input", WS_OVERLAPPED, 100, 80, 300, 200, nullptr, nullptr, nullptr,
                             nullptr);
  HWND child = CreateWindowExW(0, "VXX11Test", "", WS_CHILD | WS_VISIBLE, 20, 30, 150, 100, top, nullptr, nullptr,
                               nullptr);
  ShowWindow(top, SW_SHOW);
  SetFocus(child);
  const std::string xd = "DISPLAY=" + display + " /usr/bin/xdotool ";
  ASSERT_TRUE(PumpUntil([&] {
    return Shell(xd + "getwindowgeometry " + std::to_string(VXX11WindowOf(top)) + " 2>/dev/null").find("100,80") !=
           std::string::npos;
  }));
  auto seen = [&](UINT msg) {
    for (const Logged& l : gLog)
      if (l.Wnd == child && l.Msg == msg) return &l;
    return static_cast<const Logged*>(nullptr);
  };
  // A click at screen (100 + 20 + 7, 80 + 30 + 9): client point (7, 9).
  Shell(xd + "mousemove 127 119 click 1 2>&1");
  ASSERT_TRUE(PumpUntil([&] { return seen(WM_LBUTTONUP) != nullptr; }));
  EXPECT_EQ(LOWORD(seen(WM_LBUTTONDOWN)->L), 7);
  EXPECT_EQ(HIWORD(seen(WM_LBUTTONDOWN)->L), 9);
  // Two quick clicks make a double click; the wheel and keys come too.
  gLog.clear();
  Shell(xd + "click --repeat 2 --delay 50 1 2>&1");
  EXPECT_TRUE(PumpUntil([&] { return seen(WM_LBUTTONDBLCLK) != nullptr; }));
  Shell(xd + "click 5 2>&1");
  ASSERT_TRUE(PumpUntil([&] { return seen(WM_MOUSEWHEEL) != nullptr; }));
  EXPECT_EQ(short(HIWORD(seen(WM_MOUSEWHEEL)->W)), -120);
  Shell(xd + "key a F5 Escape 2>&1");
  ASSERT_TRUE(PumpUntil([&] {
    int n = 0;
    for (const Logged& l : gLog) n += l.Msg == WM_KEYDOWN;
    return n >= 3;
  }));
  std::vector<WPARAM> keys;
  for (const Logged& l : gLog)
    if (l.Msg == WM_KEYDOWN) keys.push_back(l.W);
  EXPECT_EQ(keys, (std::vector<WPARAM>{'A', VK_F1 + 4, VK_ESCAPE}));

  // The window manager's close request closes the form.
  SendClose(VXX11WindowOf(top));
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(top); }));
}

TEST_F(X11Display, TheCursorOverAWindowIsItsPicture) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  WNDCLASSEXW wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = "VXX11Cursor";
  wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
  RegisterClassExW(&wc);
  HWND top = CreateWindowExW(0, "VXX11Cursor", "cursor", WS_OVERLAPPED, 200, 100, 200, 150, nullptr, nullptr,
                             nullptr, nullptr);
  ShowWindow(top, SW_SHOW);
  PumpUntil([&] { return VXX11WindowOf(top) != 0; });
  Shell("DISPLAY=" + display + " /usr/bin/xdotool mousemove 260 170 2>&1");
  int W = 0, H = 0;
  POINT hot{};
  std::vector<uint32_t> want;
  ASSERT_TRUE(VXReadCursorPicture(wc.hCursor, W, H, hot, want));
  Display* d = XOpenDisplay(display.c_str());
  ASSERT_NE(d, nullptr);
  bool same = PumpUntil([&] {
    XFixesCursorImage* c = XFixesGetCursorImage(d);
    if (!c) return false;
    bool ok = c->width == W && c->height == H && c->xhot == hot.x && c->yhot == hot.y;
    for (int i = 0; ok && i < W * H; ++i) {
      const uint32_t got = uint32_t(c->pixels[i]), w = want[size_t(i)];
      if ((w >> 24) < 128) {
        ok = (got >> 24) == 0;
      } else {
        const int grey = (((w >> 16) & 255) * 30 + ((w >> 8) & 255) * 59 + (w & 255) * 11) / 100;
        ok = got == (grey < 128 ? 0xFF000000u : 0xFFFFFFFFu);
      }
    }
    XFree(c);
    return ok;
  });
  XCloseDisplay(d);
  EXPECT_TRUE(same) << "the server's cursor is not the cross's picture";
}

TEST_F(X11Display, EnvironmentOpensTheRegisteredDisplay) {
  VXCloseX11Display();
  setenv("DISPLAY", display.c_str(), 1);
  setenv("VEXLANE_DISPLAY", "x11", 1);
  EXPECT_TRUE(VXOpenDisplayFromEnvironment());
  EXPECT_NE(VXCurrentDisplay(), nullptr);
  VXCloseX11Display();
  EXPECT_EQ(VXCurrentDisplay(), nullptr);
  // A server that is not there leaves the program headless.
  setenv("DISPLAY", ":199", 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(VXOpenDisplayFromEnvironment());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("x11"), std::string::npos);
  EXPECT_EQ(VXCurrentDisplay(), nullptr);
  unsetenv("VEXLANE_DISPLAY");
}

#ifdef VX_VIEW_PROGRAM
// The XID of the first window named Name (xdotool), 0 when none shows
// within 5 s.
unsigned long FindWindowNamed(const std::string& display, const std::string& Name) {
  for (int i = 0; i < 100; ++i) {
    const std::string out = Shell("DISPLAY=" + display + " /usr/bin/xdotool search --name '" + Name + "' 2>/dev/null");
    if (!out.empty()) return std::stoul(out);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

// Runs Program FILE on Display (without VEXLANE_DISPLAY).
pid_t StartProgram(const std::string& Program, const std::string& File, const std::string& Display) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("DISPLAY", Display.c_str(), 1);
    unsetenv("VEXLANE_DISPLAY");
    execl(Program.c_str(), Program.c_str(), File.c_str(), nullptr);
    _exit(127);
  }
  return pid;
}

// The exit status of a started program, killed when it has not ended
// within 5 s.
int WaitForExit(pid_t Pid) {
  int status = -1;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(Pid, &status, WNOHANG) == Pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(Pid, SIGKILL);
  waitpid(Pid, &status, 0);
  return status;
}

TEST_F(X11Display, TheViewerProgramShowsAFile) {
  if (access("/usr/bin/xdotool", X_OK) != 0 || access("/usr/bin/import", X_OK) != 0)
    GTEST_SKIP() << "xdotool or ImageMagick's import is not installed";
  VXCloseX11Display();
  const std::string dir = testing::TempDir();
  const std::string png = dir + "/seeded_view.png";
  Shell("/usr/bin/python3 -c \"import random; from PIL import Image; random.seed(5); im = Image.new('RGB', (120, 90)); "
        "im.putdata([(random.randrange(256), random.randrange(256), random.randrange(256)) for _ in range(10800)]); "
        "im.save('" + png + "')\" 2>&1");
  if (access(png.c_str(), R_OK) != 0) GTEST_SKIP() << "/usr/bin/python3 with PIL (python3-pil) is missing";
  const std::string prog = VX_VIEW_PROGRAM;
  auto exitCode = [](const std::string& cmd) {
    const int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  };
  EXPECT_EQ(exitCode("env -u DISPLAY -u VEXLANE_DISPLAY " + prog + " " + png + " 2>/dev/null"), 2);
  EXPECT_EQ(exitCode("DISPLAY=" + display + " " + prog + " " + dir + "/no_such_file.png 2>/dev/null"), 1);

  const pid_t pid = StartProgram(prog, png, display);
  const unsigned long wid = FindWindowNamed(display, "seeded_view.png - vexlane-view");
  ASSERT_NE(wid, 0u);
  // The picture of the whole window: the file's pixels exactly, centred in
  // the client area below the caption.
  auto grab = [&](int& W, int& H) { return GrabWindow(wid, W, H); };
  std::vector<uint32_t> want(size_t(120) * 90);
  {
    const std::string raw = Shell("/usr/bin/python3 -c \"from PIL import Image; import sys; "
                                  "sys.stdout.buffer.write(Image.open('" + png + "').tobytes())\"");
    ASSERT_EQ(raw.size(), want.size() * 3);
    for (size_t i = 0; i < want.size(); ++i)
      want[i] = (uint32_t(uint8_t(raw[3 * i])) << 16) | (uint32_t(uint8_t(raw[3 * i + 1])) << 8) | uint8_t(raw[3 * i + 2]);
  }
  const int border = GetSystemMetrics(SM_CXBORDER), caption = GetSystemMetrics(SM_CYCAPTION);
  const int cw = 800 - 2 * border, ch = 600 - 2 * border - caption;
  const int x0 = border + (cw - 120) / 2, y0 = border + caption + (ch - 90) / 2;
  auto shows = [&](const std::vector<uint32_t>& px, int W) {
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 120; ++x)
        if (px[size_t(y0 + y) * size_t(W) + size_t(x0 + x)] != want[size_t(y) * 120 + size_t(x)]) return false;
    return true;
  };
  int W = 0, H = 0;
  bool exact = false;
  for (int i = 0; i < 100 && !exact; ++i) {
    std::vector<uint32_t> px = grab(W, H);
    exact = W == 800 && H == 600 && shows(px, W);
    if (!exact) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(exact) << "the file is not shown exactly at (" << x0 << ", " << y0 << ")";
  // + (the keypad's) enlarges it: the file's area no longer holds it as it is.
  Shell("DISPLAY=" + display + " /usr/bin/xdotool mousemove 440 340 key KP_Add 2>&1");
  bool enlarged = false;
  for (int i = 0; i < 100 && !enlarged; ++i) {
    std::vector<uint32_t> px = grab(W, H);
    const uint32_t bg = px.empty() ? 0 : px[size_t(y0 - 20) * size_t(W) + size_t(x0)];
    enlarged = W == 800 && !shows(px, W) && px[size_t(y0 - 3) * size_t(W) + size_t(x0 + 60)] != bg;
    if (!enlarged) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(enlarged);
  // Closing the window ends the program with 0.
  SendClose(wid);
  const int status = WaitForExit(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(X11Display, TheViewerProgramsKeysScrollAndZoom) {
  if (access("/usr/bin/xdotool", X_OK) != 0 || access("/usr/bin/import", X_OK) != 0)
    GTEST_SKIP() << "xdotool or ImageMagick's import is not installed";
  VXCloseX11Display();
  // A noise picture, and its pixels as raw RGB to compare the screen with.
  const std::string png = testing::TempDir() + "/seeded_large.png";
  const std::string raw = testing::TempDir() + "/seeded_large." + std::to_string(getpid()) + ".rgb";
  Shell("/usr/bin/python3 -c \"import random; from PIL import Image; random.seed(9); im = Image.new('RGB', (1000, 800)); "
        "im.putdata([(random.randrange(256), random.randrange(256), random.randrange(256)) for _ in range(800000)]); "
        "im.save('" + png + "'); open('" + raw + "', 'wb').write(im.tobytes())\" 2>&1");
  if (access(png.c_str(), R_OK) != 0 || access(raw.c_str(), R_OK) != 0)
    GTEST_SKIP() << "/usr/bin/python3 with PIL (python3-pil) is missing";
  std::vector<uint32_t> image(size_t(1000) * 800);
  {
    FILE* f = std::fopen(raw.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    for (uint32_t& v : image) {
      unsigned char rgb[3] = {};
      ASSERT_EQ(std::fread(rgb, 1, 3, f), 3u);
      v = (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
    }
    std::fclose(f);
    std::remove(raw.c_str());
  }
  const std::string prog = VX_VIEW_PROGRAM;
  const pid_t pid = StartProgram(prog, png, display);
  const unsigned long wid = FindWindowNamed(display, "seeded_large.png - vexlane-view");
  ASSERT_NE(wid, 0u);
  const std::string xd = "DISPLAY=" + display + " /usr/bin/xdotool ";
  Shell(xd + "mousemove 300 300 2>&1");
  // A 200 x 150 piece of the client area (clear of frame and bars). A
  // loaded machine may show a key late, so each check grabs until the
  // piece shows what the key should have made of it (or 20 s have passed).
  const int border = GetSystemMetrics(SM_CXBORDER), caption = GetSystemMetrics(SM_CYCAPTION);
  const int x0 = border + 100, y0 = border + caption + 100;
  auto grab = [&] {
    int W = 0, H = 0;
    const std::vector<uint32_t> px = GrabWindow(wid, W, H);
    std::vector<uint32_t> now;
    for (int y = 0; W == 800 && H >= y0 + 150 && y < 150; ++y)
      for (int x = 0; x < 200; ++x) now.push_back(px[size_t(y0 + y) * size_t(W) + size_t(x0 + x)]);
    return now;
  };
  auto piece = [&](const std::function<bool(const std::vector<uint32_t>&)>& Shows) {
    std::vector<uint32_t> now;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      now = grab();
      if (!now.empty() && Shows(now)) return now;
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    return now;
  };
  // The piece shows the picture at 100 % from picture point (ox, oy).
  auto showsAt = [&](const std::vector<uint32_t>& p, int ox, int oy) {
    if (p.size() != 200 * 150 || ox < 0 || oy < 0 || ox + 200 > 1000 || oy + 150 > 800) return false;
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 200; ++x)
        if (p[size_t(y) * 200 + size_t(x)] != image[size_t(oy + y) * 1000 + size_t(ox + x)]) return false;
    return true;
  };
  // Where the piece starts in the picture (the viewer's own margin decides).
  int ox = -1, oy = -1;
  const std::vector<uint32_t> start = piece([&](const std::vector<uint32_t>& p) {
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 150; ++x)
        if (showsAt(p, x, y)) {
          ox = x;
          oy = y;
          return true;
        }
    return false;
  });
  ASSERT_GE(ox, 0) << "the viewer never showed the picture at 100 %";
  // At 100 % an arrow scrolls by one pixel.
  Shell(xd + "key Right 2>&1");
  EXPECT_TRUE(showsAt(piece([&](const auto& p) { return showsAt(p, ox + 1, oy); }), ox + 1, oy));
  Shell(xd + "key Down Down 2>&1");
  EXPECT_TRUE(showsAt(piece([&](const auto& p) { return showsAt(p, ox + 1, oy + 2); }), ox + 1, oy + 2));
  Shell(xd + "key Left 2>&1");
  const std::vector<uint32_t> left = piece([&](const auto& p) { return showsAt(p, ox, oy + 2); });
  EXPECT_TRUE(showsAt(left, ox, oy + 2));
  // The main keyboard's minus zooms out: the piece no longer shows the
  // picture at 100 % near where it was.
  Shell(xd + "key minus 2>&1");
  auto at100 = [&](const std::vector<uint32_t>& p) {
    for (int y = oy - 20; y <= oy + 20; ++y)
      for (int x = ox - 20; x <= ox + 20; ++x)
        if (showsAt(p, x, y)) return true;
    return false;
  };
  const std::vector<uint32_t> out = piece([&](const auto& p) { return !at100(p); });
  EXPECT_EQ(out.size(), 200u * 150u);
  EXPECT_FALSE(at100(out));
  Shell(xd + "key Escape 2>&1");
  const int status = WaitForExit(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
