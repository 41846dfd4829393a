// The X server of the display tests: an Xvfb the tests start themselves
// (one per test suite), the display opened on it for each test, and helpers
// that read X windows back (ImageMagick's import) and send them the window
// manager's requests. Without Xvfb the tests skip. Xlib stays out of this
// header (its macros and its Screen meet the window system's names): what
// needs it is in x11_fixture.cpp.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "winui/display.h"
#include "winui/headless.h"
#include "winui/win_window.h"
#include "x11/x11display.h"

inline std::string Shell(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

class XvfbTest : public ::testing::Test {
 protected:
  static inline pid_t xvfb = 0;
  static inline std::string display;
  static inline std::string why;

  // Starts Xvfb (display stays empty, why says why, when it cannot).
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override {
    if (display.empty()) GTEST_SKIP() << why;
    VXHeadless::Reset();
    ASSERT_TRUE(VXOpenX11Display(display));
  }
  void TearDown() override {
    if (display.empty()) return;
    VXCloseX11Display();
    VXHeadless::Reset();
  }

  // Handles this thread's messages until Done holds (or 5 s have passed).
  template <class F>
  static bool PumpUntil(F Done) {
    for (int i = 0; i < 250; ++i) {
      VXHeadless::RunUntilIdle();
      if (Done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // An X window's pixels through ImageMagick's import, as 0x00RRGGBB.
  static std::vector<uint32_t> GrabWindow(unsigned long Xid, int& W, int& H) {
    const std::string file = testing::TempDir() + "/x11_grab." + std::to_string(getpid()) + ".ppm";
    std::remove(file.c_str());
    Shell("/usr/bin/import -display " + display + " -depth 8 -window " + std::to_string(Xid) + " " + file + " 2>&1");
    std::vector<uint32_t> px;
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return px;
    int maxval = 0;
    if (std::fscanf(f, "P6 %d %d %d", &W, &H, &maxval) == 3 && maxval == 255) {
      std::fgetc(f);
      px.resize(size_t(W) * size_t(H));
      for (uint32_t& v : px) {
        unsigned char rgb[3] = {};
        if (std::fread(rgb, 1, 3, f) != 3) break;
        v = (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
      }
    }
    std::fclose(f);
    return px;
  }
  static std::vector<uint32_t> Grab(HWND top, int& W, int& H) { return GrabWindow(VXX11WindowOf(top), W, H); }

  // The window manager's close request to an X window.
  static void SendClose(unsigned long Xid);
  // The server's current cursor: its size, hot spot and ARGB pixels.
  static bool ServerCursor(int& W, int& H, int& HotX, int& HotY, std::vector<uint32_t>& Pixels);

  void ExpectShowsPicture(HWND top, const char* when) {
    SCOPED_TRACE(when);
    if (access("/usr/bin/import", X_OK) != 0) GTEST_SKIP() << "ImageMagick's import is not installed";
    int W = 0, H = 0, gw = 0, gh = 0;
    std::vector<uint32_t> want, got;
    // The server shows what was put once the requests went through.
    bool same = PumpUntil([&] {
      VXReadWindowPicture(top, W, H, want);
      got = Grab(top, gw, gh);
      return gw == W && gh == H && got == want;
    });
    size_t diffs = 0, first = 0;
    for (size_t i = 0; same == false && i < got.size() && i < want.size(); ++i)
      if (got[i] != want[i] && diffs++ == 0) first = i;
    EXPECT_TRUE(same) << "X window " << gw << " x " << gh << ", picture " << W << " x " << H << "; " << diffs
                      << " pixels differ, the first at (" << (W ? first % size_t(W) : 0) << ", "
                      << (W ? first / size_t(W) : 0) << "): " << std::hex << (first < got.size() ? got[first] : 0)
                      << " instead of " << (first < want.size() ? want[first] : 0);
  }
};
