// Screen captures of the I/O component on the headless desktop (two
// top-level windows with seeded client surfaces, the cursor at a seeded
// point), checked against a composition made here from the windows'
// rectangles and surfaces.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/win_syscolors.h"
#include "winui/display.h"
#include "winui/gdi.h"
#include "winui/headless.h"
#include "winui/win_icon.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_paint.h"
#include "winui/win_window.h"

namespace {

constexpr TCursor kNone = -1, kDefault = 0;

uint32_t Packed(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// 0x00RRGGBB of a vx24RGB pixel.
uint32_t At(const TVXBitmap& b, int x, int y) {
  const auto* p = static_cast<const uint8_t*>(b.Scanline(y)) + size_t(x) * 3;
  return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// Fills the window's client surface with seeded noise.
void Seed(HWND Wnd, unsigned SeedValue) {
  RECT c;
  GetClientRect(Wnd, &c);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = c.right;
  bi.bmiHeader.biHeight = -c.bottom;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> px(size_t(c.right) * size_t(c.bottom));
  std::mt19937 rng(SeedValue);
  for (uint32_t& v : px) v = rng() & 0xFFFFFF;
  HDC dc = GetDC(Wnd);
  SetDIBitsToDevice(dc, 0, 0, DWORD(c.right), DWORD(c.bottom), 0, 0, 0, UINT(c.bottom), px.data(), &bi,
                    DIB_RGB_COLORS);
  ReleaseDC(Wnd, dc);
}

// The screen as the windows make it: the desktop colour, each window's
// client surface at its client rectangle (bottom window first), and which
// pixels belong to a non-client frame.
struct Composition {
  int W = 1920, H = 1080;
  std::vector<uint32_t> px;
  std::vector<bool> frame;
  explicit Composition(const std::vector<HWND>& BottomFirst) {
    px.assign(size_t(W) * size_t(H), Packed(GetSysColor(COLOR_DESKTOP)));
    frame.assign(px.size(), false);
    for (HWND w : BottomFirst) {
      RECT r, c;
      GetWindowRect(w, &r);
      GetClientRect(w, &c);
      POINT o{0, 0};
      ClientToScreen(w, &o);
      int sw = 0, sh = 0;
      const std::vector<uint32_t> s = VXHeadless::Surface(w, sw, sh);
      for (int y = std::max<int>(0, r.top); y < std::min<int>(H, r.bottom); ++y)
        for (int x = std::max<int>(0, r.left); x < std::min<int>(W, r.right); ++x) {
          const size_t i = size_t(y) * size_t(W) + size_t(x);
          const int cx = x - o.x, cy = y - o.y;
          const bool inClient = cx >= 0 && cy >= 0 && cx < c.right && cy < c.bottom;
          frame[i] = !inClient;
          if (inClient) px[i] = s[size_t(cy) * size_t(sw) + size_t(cx)];
        }
    }
  }
  // The arrow's masks applied at P.
  void Cursor(POINT P) {
    ICONINFO ii;
    ASSERT_TRUE(GetIconInfo(LoadCursorW(nullptr, IDC_ARROW), &ii));
    HDC dc = CreateCompatibleDC(nullptr);
    struct {
      BITMAPINFOHEADER h;
      RGBQUAD c[2];
    } info{};
    info.h.biSize = sizeof(BITMAPINFOHEADER);
    info.h.biWidth = 32;
    info.h.biHeight = -32;
    info.h.biPlanes = 1;
    info.h.biBitCount = 1;
    std::vector<uint8_t> mask(4 * 32);
    GetDIBits(dc, ii.hbmMask, 0, 32, mask.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    info.h.biBitCount = 32;
    std::vector<uint32_t> colour(32 * 32);
    GetDIBits(dc, ii.hbmColor, 0, 32, colour.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteDC(dc);
    DeleteObject(ii.hbmMask);
    DeleteObject(ii.hbmColor);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const int sx = P.x + x, sy = P.y + y;
        if (sx < 0 || sy < 0 || sx >= W || sy >= H) continue;
        uint32_t& v = px[size_t(sy) * size_t(W) + size_t(sx)];
        const bool through = (mask[size_t(y) * 4 + size_t(x / 8)] >> (7 - x % 8)) & 1;
        v = ((through ? v : 0) ^ colour[size_t(y) * 32 + size_t(x)]) & 0xFFFFFF;
      }
  }
};

class IOCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXGetGlobalSettings()->SetOpSys(vxosUnknown);
    WNDCLASSEXW wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = "VXCaptureTest";
    RegisterClassExW(&wc);
    a_ = CreateWindowExW(0, "VXCaptureTest", "a", WS_CAPTION | WS_THICKFRAME | WS_VISIBLE, 100, 80, 400, 300,
                         nullptr, nullptr, nullptr, nullptr);
    b_ = CreateWindowExW(0, "VXCaptureTest", "b", WS_CAPTION | WS_VISIBLE, 350, 250, 500, 350, nullptr, nullptr,
                         nullptr, nullptr);
    Seed(a_, 11);
    Seed(b_, 22);
    SetCursorPos(420, 300);  // over both windows
    io_ = TVexlaneIO::CreateFromBitmap(&target_);
    io_->OnFinishWork = [this](void*) { ++finished_; };
  }
  void TearDown() override {
    VXSetGdiPixelLimit(int64_t(1) << 31);
    VXGetGlobalSettings()->SetOpSys(vxosUnknown);
    VXHeadless::Reset();
  }
  // Every pixel outside the frames equals the composition.
  void ExpectScreen(const Composition& c) {
    ASSERT_EQ(target_.Width(), c.W);
    ASSERT_EQ(target_.Height(), c.H);
    ASSERT_EQ(target_.PixelFormat(), vx24RGB);
    int wrong = 0;
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x) {
        const size_t i = size_t(y) * size_t(c.W) + size_t(x);
        if (c.frame[i] || At(target_, x, y) == c.px[i]) continue;
        if (++wrong <= 5) ADD_FAILURE() << "pixel " << x << ", " << y << ": " << std::hex << At(target_, x, y)
                                        << " expected " << c.px[i];
      }
    EXPECT_EQ(wrong, 0);
  }
  HWND a_ = nullptr, b_ = nullptr;
  TVXBitmap target_;
  std::unique_ptr<TVexlaneIO> io_;
  int finished_ = 0;
};

TEST_F(IOCapture, PrimaryScreenWithoutCursorIsTheComposedDesktop) {
  SetForegroundWindow(a_);  // a on top of b
  io_->Params().SetDpiX(1);
  io_->CaptureFromScreen(vxcsPrimary, kNone);
  ExpectScreen(Composition({b_, a_}));
  EXPECT_EQ(io_->Params().DpiX(), VXGetGlobalSettings()->SystemDPIX());
  EXPECT_EQ(io_->Params().DpiY(), VXGetGlobalSettings()->SystemDPIY());
  EXPECT_EQ(io_->Params().DpiX(), 96);
  EXPECT_EQ(finished_, 1);
}

TEST_F(IOCapture, TheArrowIsDrawnAtTheCursorLessItsHotSpot) {
  SetForegroundWindow(b_);
  // Any cursor but crNone draws the arrow; the arrow's hot spot is its tip.
  for (TCursor shape : {kDefault, TCursor(-2)}) {
    io_->CaptureFromScreen(vxcsPrimary, shape);
    Composition c({a_, b_});
    c.Cursor(POINT{420, 300});
    ExpectScreen(c);
  }
  if (const char* dir = std::getenv("VX_TEST_DUMP")) {
    // To look at: $VX_TEST_DUMP/capture.ppm.
    if (FILE* f = std::fopen((std::string(dir) + "/capture.ppm").c_str(), "wb")) {
      std::fprintf(f, "P6 %d %d 255\n", target_.Width(), target_.Height());
      for (int y = 0; y < target_.Height(); ++y)
        for (int x = 0; x < target_.Width(); ++x) {
          const uint32_t v = At(target_, x, y);
          const unsigned char rgb[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
          std::fwrite(rgb, 1, 3, f);
        }
      std::fclose(f);
    }
  }
  // Captured from the foreground window's client area, at its corner.
  io_->CaptureFromScreen(vxcsForegroundWindowClient, kDefault);
  POINT o{0, 0};
  ClientToScreen(b_, &o);
  EXPECT_EQ(At(target_, 420 - o.x, 300 - o.y), 0u);  // the arrow's black tip
  EXPECT_EQ(At(target_, 420 - o.x + 2, 300 - o.y + 5), 0xFFFFFFu);
}

TEST_F(IOCapture, ForegroundWindowClientIsItsClientSurface) {
  for (HWND fg : {a_, b_}) {
    SetForegroundWindow(fg);
    io_->CaptureFromScreen(vxcsForegroundWindowClient, kNone);
    int sw = 0, sh = 0;
    const std::vector<uint32_t> s = VXHeadless::Surface(fg, sw, sh);
    ASSERT_EQ(target_.Width(), sw);
    ASSERT_EQ(target_.Height(), sh);
    bool same = true;
    for (int y = 0; y < sh && same; ++y)
      for (int x = 0; x < sw && same; ++x) same = At(target_, x, y) == s[size_t(y) * size_t(sw) + size_t(x)];
    EXPECT_TRUE(same);
  }
}

TEST_F(IOCapture, ForegroundWindowWithItsFrameAndMaximisedOnlyOnTheScreen) {
  SetForegroundWindow(b_);
  io_->CaptureFromScreen(vxcsForegroundWindow, kNone);
  int W = 0, H = 0;
  std::vector<uint32_t> pic;
  ASSERT_TRUE(VXReadWindowPicture(b_, W, H, pic));
  ASSERT_EQ(target_.Width(), 500);
  ASSERT_EQ(target_.Height(), 350);
  EXPECT_EQ(At(target_, 0, 0), pic[0]);
  EXPECT_EQ(At(target_, 250, 200), pic[200 * 500 + 250]);

  // A maximised window: its frame reaches 8 pixels beyond the screen, the
  // capture starts at (8, 8) of its window picture.
  ShowWindow(a_, SW_MAXIMIZE);
  SetForegroundWindow(a_);
  RECT r;
  GetWindowRect(a_, &r);
  ASSERT_EQ(r.left, -8);
  ASSERT_EQ(r.top, -8);
  io_->CaptureFromScreen(vxcsForegroundWindow, kNone);
  ASSERT_EQ(target_.Width(), 1920);
  ASSERT_EQ(target_.Height(), 1080);
  ASSERT_TRUE(VXReadWindowPicture(a_, W, H, pic));
  ASSERT_EQ(W, 1936);
  bool same = true;
  for (int y = 0; y < 1080 && same; y += 3)
    for (int x = 0; x < 1920 && same; x += 3) same = At(target_, x, y) == pic[size_t(y + 8) * size_t(W) + size_t(x + 8)];
  EXPECT_TRUE(same);
  EXPECT_EQ(finished_, 2);
}

TEST_F(IOCapture, WholeVirtualScreenOrTheScreenFromTheOriginOnOldSystems) {
  SetForegroundWindow(a_);
  VXHeadless::SetMetric(SM_XVIRTUALSCREEN, -200);
  VXHeadless::SetMetric(SM_CXVIRTUALSCREEN, 2120);
  struct Case {
    TVXOpSys os;
    int width, shift;
  };
  for (const Case c : {Case{vxosUnknown, 2120, 200}, Case{vxosWinXP, 2120, 200}, Case{vxosWin95, 1920, 0},
                       Case{vxosWinNT4, 1920, 0}}) {
    SCOPED_TRACE(int(c.os));
    VXGetGlobalSettings()->SetOpSys(c.os);
    io_->CaptureFromScreen(vxcsScreen, kNone);
    ASSERT_EQ(target_.Width(), c.width);
    ASSERT_EQ(target_.Height(), 1080);
    // a's client area starts at screen (108, 111).
    POINT o{0, 0};
    ClientToScreen(a_, &o);
    int sw = 0, sh = 0;
    const std::vector<uint32_t> s = VXHeadless::Surface(a_, sw, sh);
    EXPECT_EQ(At(target_, o.x + c.shift, o.y), s[0]);
    EXPECT_EQ(At(target_, o.x + c.shift + 9, o.y + 4), s[4 * size_t(sw) + 9]);
  }
}

TEST_F(IOCapture, NothingCapturedLeavesTheTargetAndStillFinishes) {
  ASSERT_TRUE(target_.Allocate(3, 2, vx8p));
  // No foreground window: both window sources capture nothing.
  for (TVXCSSource s : {vxcsForegroundWindow, vxcsForegroundWindowClient}) {
    finished_ = 0;
    io_->CaptureFromScreen(s, kDefault);
    EXPECT_EQ(target_.Width(), 3);
    EXPECT_EQ(target_.PixelFormat(), vx8p);
    EXPECT_EQ(finished_, 1);
  }
  // The desktop's context refused (its picture is over the pixel limit):
  // the small capture's own section was made, and is freed.
  SetForegroundWindow(b_);
  VXSetGdiPixelLimit(1000000);
  finished_ = 0;
  io_->CaptureFromScreen(vxcsForegroundWindowClient, kNone);
  EXPECT_EQ(target_.Width(), 3);
  EXPECT_EQ(finished_, 1);
  VXSetGdiPixelLimit(int64_t(1) << 31);
  // No target: nothing at all, not even the end of work.
  io_->SetAttachedVXBitmap(nullptr);
  finished_ = 0;
  io_->CaptureFromScreen(vxcsPrimary, kNone);
  EXPECT_EQ(finished_, 0);
}

TEST_F(IOCapture, AsyncModeCapturesOnARequestThread) {
  SetForegroundWindow(b_);
  std::thread::id worker;
  io_->OnFinishWork = [&](void*) {
    worker = std::this_thread::get_id();
    ++finished_;
  };
  io_->SetAsyncMode(true);
  io_->CaptureFromScreen(vxcsForegroundWindowClient, kNone);
  io_->WaitThreads(false);
  EXPECT_EQ(finished_, 1);
  EXPECT_NE(worker, std::this_thread::get_id());
  int sw = 0, sh = 0;
  const std::vector<uint32_t> s = VXHeadless::Surface(b_, sw, sh);
  ASSERT_EQ(target_.Width(), sw);
  EXPECT_EQ(At(target_, 7, 9), s[9 * size_t(sw) + 7]);
}

}  // namespace
