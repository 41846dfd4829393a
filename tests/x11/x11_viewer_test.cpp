// The image viewer on the X11 display under Xvfb: the X window shows the
// form with its viewer exactly through zooms, bars and server resizes, and
// the server's clicks, double clicks, keys, wheel steps, presses on the
// viewer's bars and close requests reach the viewer and its form; the
// viewer's cursor is the X cursor.
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "gui/forms.h"
#include "view/vexlaneview.h"
#include "winui/display.h"
#include "winui/win_metrics.h"
#include "winui/win_scroll.h"
#include "winui/win_state.h"
#include "tests/x11/x11_fixture.h"

namespace {

class X11Viewer : public XvfbTest {
 protected:
  void SetUp() override {
    XvfbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Form = std::make_unique<TForm>();
    Form->SetCaption("viewer on X");
    Form->SetBounds(60, 50, 420, 320);
    View = new TVexlaneView(Form.get());
    View->SetParent(Form.get());
    View->SetBorderStyle(bsNone);
    View->SetBounds(8, 6, 300, 220);
    // A seeded 160 x 120 image.
    TVXBitmap* b = View->VXBitmap();
    b->Allocate(160, 120, vx24RGB);
    std::mt19937 rng(41);
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 160; ++x) b->SetPixels(x, y, TRGB{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    View->Update();
    Form->Show();
    ASSERT_TRUE(PumpUntil([&] { return VXX11WindowOf(Form->Handle()) != 0; }));
  }
  void TearDown() override {
    Form.reset();
    XvfbTest::TearDown();
  }

  // xdotool on the server.
  std::string XDo(const std::string& Args) { return Shell("DISPLAY=" + display + " /usr/bin/xdotool " + Args + " 2>&1"); }
  // The screen point of a viewer client point.
  POINT OnScreen(int X, int Y) {
    POINT p{X, Y};
    ClientToScreen(View->Handle(), &p);
    return p;
  }
  // Waits until the server has the form where the window system has it.
  void WaitForPlace() {
    RECT r;
    GetWindowRect(Form->Handle(), &r);
    const std::string at = std::to_string(r.left) + "," + std::to_string(r.top);
    PumpUntil([&] {
      return XDo("getwindowgeometry " + std::to_string(VXX11WindowOf(Form->Handle()))).find(at) != std::string::npos;
    });
  }

  std::unique_ptr<TForm> Form;
  TVexlaneView* View = nullptr;
};

TEST_F(X11Viewer, TheXWindowShowsTheFormWithItsViewer) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  ExpectShowsPicture(Form->Handle(), "after showing");
  View->SetZoom(80);
  ExpectShowsPicture(Form->Handle(), "after a zoom");
  View->SetZoom(250);  // 400 x 300 in a 300 x 220 viewer
  const LONG style = GetWindowLongW(View->Handle(), GWL_STYLE);
  ASSERT_TRUE((style & WS_HSCROLL) && (style & WS_VSCROLL));
  ExpectShowsPicture(Form->Handle(), "after scroll bars appear");
  // The server resizes the form: it hears of the new size.
  int resized = 0;
  Form->OnResize = [&](void*) { resized = Form->Width() == 500 && Form->Height() == 400 ? resized + 1 : resized; };
  XDo("windowsize " + std::to_string(VXX11WindowOf(Form->Handle())) + " 500 400");
  ASSERT_TRUE(PumpUntil([&] { return resized > 0; }));
  ExpectShowsPicture(Form->Handle(), "after xdotool windowsize");
}

TEST_F(X11Viewer, ServerInputReachesTheViewer) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  WaitForPlace();
  std::vector<std::pair<int, int>> downs, ups;
  int doubles = 0;
  std::vector<WORD> keys;
  View->OnMouseDown = [&](void*, TMouseButton, TShiftState, int X, int Y) { downs.push_back({X, Y}); };
  View->OnMouseUp = [&](void*, TMouseButton, TShiftState, int X, int Y) { ups.push_back({X, Y}); };
  View->OnDblClick = [&](void*) { ++doubles; };
  View->OnKeyDown = [&](void*, WORD& Key, TShiftState) { keys.push_back(Key); };
  // A click at client (37, 21): the X position less the window's origin.
  const POINT p = OnScreen(37, 21);
  XDo("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1");
  ASSERT_TRUE(PumpUntil([&] { return !ups.empty(); }));
  EXPECT_EQ(downs, (std::vector<std::pair<int, int>>{{37, 21}}));
  EXPECT_EQ(ups, (std::vector<std::pair<int, int>>{{37, 21}}));
  XDo("click --repeat 2 --delay 50 1");
  EXPECT_TRUE(PumpUntil([&] { return doubles == 1; }));
  View->SetFocus();
  XDo("key b F3");
  ASSERT_TRUE(PumpUntil([&] { return keys.size() >= 2; }));
  EXPECT_EQ(keys, (std::vector<WORD>{'B', VK_F1 + 2}));

  // The wheel zooms by the viewer's rule: a step toward the user enlarges
  // by 8 % of the zoom (at least 1), one away shrinks by as much.
  View->SetZoom(100);
  XDo("click 5");
  ASSERT_TRUE(PumpUntil([&] { return View->ZoomX() != 100; }));
  EXPECT_EQ(View->ZoomX(), 108);
  XDo("click 4");
  ASSERT_TRUE(PumpUntil([&] { return View->ZoomX() != 108; }));
  EXPECT_EQ(View->ZoomX(), 108 - std::nearbyint(8 * 108 / 100.0));

  // The window manager's close request closes the form.
  bool closed = false;
  Form->OnClose = [&](void*, TCloseAction&) { closed = true; };
  SendClose(VXX11WindowOf(Form->Handle()));
  EXPECT_TRUE(PumpUntil([&] { return closed && !Form->Visible(); }));
}

TEST_F(X11Viewer, PressesOnTheViewersBarsScrollIt) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  View->SetZoom(250);  // 400 x 300: both bars
  WaitForPlace();
  RECT wr;
  GetWindowRect(View->Handle(), &wr);
  const int cxv = GetSystemMetrics(SM_CXVSCROLL), cyh = GetSystemMetrics(SM_CYHSCROLL);
  const RECT hbar{wr.left, wr.bottom - cyh, wr.right - cxv, wr.bottom};
  SCROLLINFO si{};
  si.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(View->Handle(), SB_HORZ, &si));
  vxwin::ScrollBar sb;
  sb.Min = si.nMin;
  sb.Max = si.nMax;
  sb.Page = si.nPage;
  sb.Pos = si.nPos;
  const VXScrollBarParts parts = VXScrollBarLayout(hbar, true, sb);
  const int y = hbar.top + cyh / 2;
  auto click = [&](int x) { XDo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"); };
  // The right arrow: one line, that is trunc(zoom / 100) client pixels.
  const int32_t start = View->ViewX();  // the zoom kept the centre
  click(parts.Arrow2.left + cxv / 2);
  ASSERT_TRUE(PumpUntil([&] { return View->ViewX() != start; }));
  EXPECT_EQ(View->ViewX(), start + 2);
  // The track right of the thumb: a page of the client width (as far as
  // the view goes).
  click(parts.Thumb.right + 3);
  int32_t mx = 0, my = 0;
  View->GetMaxViewXY(mx, my);
  ASSERT_TRUE(PumpUntil([&] { return View->ViewX() != start + 2; }));
  EXPECT_EQ(View->ViewX(), std::min(start + 2 + View->ClientWidth(), mx));
  // The left arrow back by a line.
  const int32_t before = View->ViewX();
  click(parts.Arrow1.left + cxv / 2);
  ASSERT_TRUE(PumpUntil([&] { return View->ViewX() != before; }));
  EXPECT_EQ(View->ViewX(), before - 2);
}

TEST_F(X11Viewer, TheViewersCursorIsTheXCursor) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  WaitForPlace();
  View->SetCursor(1785);
  const HCURSOR cross = Screen->Cursors(1785);
  int W = 0, H = 0;
  POINT hot{};
  std::vector<uint32_t> want;
  ASSERT_TRUE(VXReadCursorPicture(cross, W, H, hot, want));
  const POINT p = OnScreen(50, 40);
  XDo("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y));
  std::string why;
  // The picture as it is, its colours premultiplied by their alpha.
  const bool same = PumpUntil([&] {
    int cw = 0, ch = 0, hx = 0, hy = 0;
    std::vector<uint32_t> got;
    if (!ServerCursor(cw, ch, hx, hy, got)) return false;
    bool ok = cw == W && ch == H && hx == hot.x && hy == hot.y;
    why = "size " + std::to_string(cw) + " x " + std::to_string(ch) + ", hot spot " + std::to_string(hx) + ", " +
          std::to_string(hy);
    for (int i = 0; ok && i < W * H; ++i) {
      const uint32_t v = want[size_t(i)], a = v >> 24;
      auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
      const uint32_t expect = (a << 24) | (pre((v >> 16) & 255) << 16) | (pre((v >> 8) & 255) << 8) | pre(v & 255);
      ok = got[size_t(i)] == expect;
      if (!ok) why = "pixel " + std::to_string(i) + " differs";
    }
    return ok;
  });
  EXPECT_TRUE(same) << "the server's cursor is not cursor 1785: " << why;
}

}  // namespace
