// Icons drawn on a device context (DrawIconEx, DrawIcon), the arrow cursor's
// picture, maximised and foreground windows, and the window and desktop
// device contexts with their frames and the desktop colour.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

// A 32-bit memory DC of w x h filled with one colour.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bmp = nullptr;
  HGDIOBJ old = nullptr;
  Canvas(int w, int h, COLORREF fill) {
    dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = SelectObject(dc, bmp);
    HBRUSH b = CreateSolidBrush(fill);
    RECT r{0, 0, w, h};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

// A 2 x 2 icon: per pixel its colour (0x00RRGGBB with alpha on top when
// Alpha) and whether the AND mask lets the screen through.
HICON MakeIcon(const uint32_t (&argb)[4], const bool (&through)[4], bool Alpha) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 2;
  bi.bmiHeader.biHeight = -2;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP colour = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* p = static_cast<uint8_t*>(bits);
  for (int i = 0; i < 4; ++i) {
    p[4 * i] = uint8_t(argb[i]);
    p[4 * i + 1] = uint8_t(argb[i] >> 8);
    p[4 * i + 2] = uint8_t(argb[i] >> 16);
    p[4 * i + 3] = Alpha ? uint8_t(argb[i] >> 24) : 0;
  }
  // 1-bit rows of a 2-pixel-wide bitmap are 2 bytes each.
  uint8_t mask[4] = {uint8_t((through[0] ? 0x80 : 0) | (through[1] ? 0x40 : 0)), 0,
                     uint8_t((through[2] ? 0x80 : 0) | (through[3] ? 0x40 : 0)), 0};
  HBITMAP mono = CreateBitmap(2, 2, 1, 1, mask);
  ICONINFO ii;
  ii.fIcon = TRUE;
  ii.hbmColor = colour;
  ii.hbmMask = mono;
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(colour);
  DeleteObject(mono);
  return icon;
}

uint32_t Packed(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

class WinUIDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    WNDCLASSEXW wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = "VXDesktopTest";
    RegisterClassExW(&wc);
  }
  void TearDown() override { VXHeadless::Reset(); }
  static void Paint(HWND h, COLORREF c) {
    HDC dc = GetDC(h);
    HBRUSH b = CreateSolidBrush(c);
    RECT r;
    GetClientRect(h, &r);
    FillRect(dc, &r, b);
    DeleteObject(b);
    ReleaseDC(h, dc);
  }
};

TEST_F(WinUIDesktop, IconMasksAndImagesByFlags) {
  // Pixels: opaque red, opaque black, white over the screen (inverts it),
  // and the screen unchanged.
  const uint32_t colours[4] = {0xFF0000, 0x000000, 0xFFFFFF, 0x000000};
  const bool through[4] = {false, false, true, true};
  HICON icon = MakeIcon(colours, through, false);
  ASSERT_NE(icon, nullptr);
  const COLORREF screen = RGB(10, 200, 60);
  const COLORREF inverted = RGB(245, 55, 195);
  struct Case {
    UINT flags;
    COLORREF expect[4];
  };
  const Case cases[] = {
      {DI_NORMAL, {RGB(255, 0, 0), RGB(0, 0, 0), inverted, screen}},
      {DI_MASK, {RGB(0, 0, 0), RGB(0, 0, 0), screen, screen}},
      {DI_IMAGE, {RGB(255, 0, 0), RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    Canvas cv(6, 6, screen);
    ASSERT_TRUE(DrawIconEx(cv.dc, 2, 3, icon, 0, 0, 0, nullptr, c.flags));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(cv.At(2 + i % 2, 3 + i / 2), c.expect[i]) << i;
    EXPECT_EQ(cv.At(1, 3), screen);
    EXPECT_EQ(cv.At(4, 4), screen);
  }
  Canvas cv(6, 6, screen);
  EXPECT_FALSE(DrawIconEx(cv.dc, 0, 0, icon, 0, 0, 0, nullptr, 0));
  EXPECT_FALSE(DrawIconEx(cv.dc, 0, 0, nullptr, 0, 0, 0, nullptr, DI_NORMAL));
  EXPECT_FALSE(DrawIconEx(nullptr, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
  DestroyIcon(icon);
}

TEST_F(WinUIDesktop, IconStretchedClippedBlendedAndOnAFlickerFreeBrush) {
  const uint32_t colours[4] = {0xFF0000FF, 0x80FF0000, 0x00FFFFFF, 0xFF00FF00};
  const bool through[4] = {false, false, true, false};
  HICON icon = MakeIcon(colours, through, true);
  ASSERT_NE(icon, nullptr);
  {
    // 2 x 2 stretched to 4 x 4: each source pixel covers 2 x 2; alpha blends.
    Canvas cv(4, 4, RGB(0, 0, 0));
    ASSERT_TRUE(DrawIconEx(cv.dc, 0, 0, icon, 4, 4, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cv.At(1, 1), RGB(0, 0, 255));
    EXPECT_EQ(cv.At(2, 0), RGB(128, 0, 0));  // 255 at alpha 128 over black
    EXPECT_EQ(cv.At(0, 3), RGB(0, 0, 0));    // alpha 0
    EXPECT_EQ(cv.At(3, 3), RGB(0, 255, 0));
  }
  {
    // Past the edges: only what lies on the bitmap is drawn.
    Canvas cv(3, 3, RGB(9, 9, 9));
    ASSERT_TRUE(DrawIconEx(cv.dc, -1, 2, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cv.At(0, 2), RGB(132, 4, 4));  // (255, 0, 0) at 128 over (9, 9, 9)
    EXPECT_EQ(cv.At(0, 1), RGB(9, 9, 9));
  }
  {
    // A flicker-free brush fills the rectangle first: alpha 0 shows it.
    Canvas cv(4, 4, RGB(0, 0, 0));
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    ASSERT_TRUE(DrawIconEx(cv.dc, 1, 1, icon, 0, 0, 0, white, DI_NORMAL));
    DeleteObject(white);
    EXPECT_EQ(cv.At(1, 2), RGB(255, 255, 255));
    EXPECT_EQ(cv.At(0, 0), RGB(0, 0, 0));
  }
  {
    // A clip region keeps the drawing inside it.
    Canvas cv(4, 4, RGB(0, 0, 0));
    HRGN clip = CreateRectRgn(0, 0, 1, 4);
    SelectClipRgn(cv.dc, clip);
    DeleteObject(clip);
    ASSERT_TRUE(DrawIconEx(cv.dc, 0, 0, icon, 2, 2, 0, nullptr, DI_NORMAL));
    SelectClipRgn(cv.dc, nullptr);
    EXPECT_EQ(cv.At(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(cv.At(1, 1), RGB(0, 0, 0));
  }
  DestroyIcon(icon);
}

TEST_F(WinUIDesktop, TheArrowCursorHasAPictureWithItsTipAtTheHotSpot) {
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  ICONINFO ii;
  ASSERT_TRUE(GetIconInfo(arrow, &ii));
  EXPECT_FALSE(ii.fIcon);
  EXPECT_EQ(ii.xHotspot, 0u);
  EXPECT_EQ(ii.yHotspot, 0u);
  // The masks read back: the tip opaque, the far corner the screen's.
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
  ASSERT_EQ(GetDIBits(dc, ii.hbmMask, 0, 32, mask.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS), 32);
  info.h.biBitCount = 32;
  std::vector<uint32_t> colour(32 * 32);
  ASSERT_EQ(GetDIBits(dc, ii.hbmColor, 0, 32, colour.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS),
            32);
  DeleteDC(dc);
  auto through = [&](int x, int y) { return (mask[size_t(y) * 4 + size_t(x / 8)] >> (7 - x % 8)) & 1; };
  EXPECT_EQ(through(0, 0), 0);
  EXPECT_EQ(colour[0] & 0xFFFFFF, 0u);                // the outline is black
  EXPECT_EQ(colour[5 * 32 + 2] & 0xFFFFFF, 0xFFFFFFu);  // the inside white
  EXPECT_EQ(through(31, 31), 1);
  EXPECT_EQ(through(5, 0), 1);
  DeleteObject(ii.hbmMask);
  DeleteObject(ii.hbmColor);

  // DrawIcon puts exactly that on a canvas.
  Canvas cv(40, 40, RGB(50, 100, 150));
  ASSERT_TRUE(DrawIcon(cv.dc, 4, 4, arrow));
  EXPECT_EQ(cv.At(4, 4), RGB(0, 0, 0));
  EXPECT_EQ(cv.At(6, 9), RGB(255, 255, 255));
  EXPECT_EQ(cv.At(30, 30), RGB(50, 100, 150));
  EXPECT_EQ(cv.At(3, 4), RGB(50, 100, 150));
}

TEST_F(WinUIDesktop, MaximisedWindowsReachBeyondTheScreenByTheirFrame) {
  const int frame = GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  EXPECT_EQ(frame, 8);
  EXPECT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), 0);
  EXPECT_EQ(GetSystemMetrics(SM_YVIRTUALSCREEN), 0);
  struct Case {
    DWORD style;
    int inset;  // the frame on each side
  };
  for (const Case c : {Case{WS_CAPTION | WS_THICKFRAME, frame}, Case{WS_CAPTION, 1}, Case{WS_POPUP, 0}}) {
    SCOPED_TRACE(c.style);
    HWND h = CreateWindowExW(0, "VXDesktopTest", "w", c.style | WS_VISIBLE, 100, 50, 300, 200, nullptr, nullptr,
                             nullptr, nullptr);
    EXPECT_FALSE(IsZoomed(h));
    ShowWindow(h, SW_MAXIMIZE);
    EXPECT_TRUE(IsZoomed(h));
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, -c.inset);
    EXPECT_EQ(r.top, -c.inset);
    EXPECT_EQ(r.right, 1920 + c.inset);
    EXPECT_EQ(r.bottom, 1080 + c.inset);
    RECT cr;
    GetClientRect(h, &cr);
    EXPECT_EQ(cr.right, 1920);
    ShowWindow(h, SW_RESTORE);
    EXPECT_FALSE(IsZoomed(h));
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.bottom, 250);
    DestroyWindow(h);
  }
}

TEST_F(WinUIDesktop, ForegroundWindowIsTheActiveTopLevelWindow) {
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  HWND a = CreateWindowExW(0, "VXDesktopTest", "a", WS_CAPTION | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                           nullptr);
  HWND child = CreateWindowExW(0, "VXDesktopTest", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, a, nullptr, nullptr,
                               nullptr);
  HWND b = CreateWindowExW(0, "VXDesktopTest", "b", WS_CAPTION | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                           nullptr);
  EXPECT_TRUE(SetForegroundWindow(a));
  EXPECT_EQ(GetForegroundWindow(), a);
  EXPECT_EQ(GetActiveWindow(), a);
  EXPECT_FALSE(SetForegroundWindow(child));
  EXPECT_FALSE(SetForegroundWindow(nullptr));
  EXPECT_EQ(GetForegroundWindow(), a);
  EXPECT_TRUE(SetForegroundWindow(b));
  EXPECT_EQ(GetForegroundWindow(), b);
  // No window ever gets the desktop's handle.
  for (int i = 0; i < 40; ++i) {
    HWND h = CreateWindowExW(0, "VXDesktopTest", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(h, GetDesktopWindow());
    DestroyWindow(h);
  }
}

TEST_F(WinUIDesktop, WindowAndDesktopContextsShowFramesSurfacesAndTheDesktopColour) {
  HWND a = CreateWindowExW(0, "VXDesktopTest", "a", WS_CAPTION | WS_THICKFRAME | WS_VISIBLE, 100, 80, 400, 300,
                           nullptr, nullptr, nullptr, nullptr);
  HWND b = CreateWindowExW(0, "VXDesktopTest", "b", WS_CAPTION | WS_VISIBLE, 300, 200, 400, 300, nullptr, nullptr,
                           nullptr, nullptr);
  HWND hidden = CreateWindowExW(0, "VXDesktopTest", "h", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  Paint(a, RGB(200, 0, 0));
  Paint(b, RGB(0, 0, 200));
  Paint(hidden, RGB(0, 200, 0));

  // The window DC: the frame at (0, 0), the client surface inside it.
  HDC wdc = GetWindowDC(a);
  ASSERT_NE(wdc, nullptr);
  const int frame = 8, caption = GetSystemMetrics(SM_CYCAPTION);
  EXPECT_EQ(GetPixel(wdc, 0, 0), GetSysColor(COLOR_WINDOWFRAME));
  EXPECT_EQ(GetPixel(wdc, 3, 100), GetSysColor(COLOR_INACTIVEBORDER));
  EXPECT_EQ(GetPixel(wdc, frame, frame + caption), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(wdc, 399 - frame, 299 - frame), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(wdc, 399, 299), GetSysColor(COLOR_WINDOWFRAME));
  EXPECT_EQ(ReleaseDC(a, wdc), 1);

  // The desktop: its colour where no window is; b (made later) over a until
  // a comes to the foreground.
  HDC ddc = GetDC(GetDesktopWindow());
  ASSERT_NE(ddc, nullptr);
  EXPECT_EQ(GetPixel(ddc, 5, 5), GetSysColor(COLOR_DESKTOP));
  EXPECT_EQ(GetPixel(ddc, 1919, 1079), GetSysColor(COLOR_DESKTOP));
  EXPECT_EQ(GetPixel(ddc, 150, 150), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(ddc, 400, 300), RGB(0, 0, 200));
  EXPECT_EQ(ReleaseDC(GetDesktopWindow(), ddc), 1);
  SetForegroundWindow(a);
  ddc = GetWindowDC(GetDesktopWindow());
  EXPECT_EQ(GetPixel(ddc, 400, 300), RGB(200, 0, 0));
  EXPECT_EQ(GetPixel(ddc, 600, 400), RGB(0, 0, 200));
  ReleaseDC(GetDesktopWindow(), ddc);

  // The whole picture against VXReadWindowPicture of each window.
  int W = 0, H = 0, aw = 0, ah = 0;
  std::vector<uint32_t> desk, pa;
  VXReadDesktopPicture(W, H, desk);
  ASSERT_EQ(W, 1920);
  ASSERT_EQ(H, 1080);
  ASSERT_TRUE(VXReadWindowPicture(a, aw, ah, pa));
  for (int y = 0; y < ah; y += 7)
    for (int x = 0; x < aw; x += 5)
      ASSERT_EQ(desk[size_t(80 + y) * 1920 + size_t(100 + x)], pa[size_t(y) * size_t(aw) + size_t(x)]) << x << "," << y;
  EXPECT_EQ(desk[10 * 1920 + 10], Packed(GetSysColor(COLOR_DESKTOP)));
  DestroyWindow(hidden);
}

}  // namespace
