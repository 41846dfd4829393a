// Loading through the viewer's I/O component, scroll bars and scroll
// messages, the wheel, view events, keys and the update cycle.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "core/startup.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"
#include "tests/view/view_fixture.h"
#include "winui/win_input.h"

VX_START_LIBRARY_FOR_TESTS();

namespace {

const char* kPython = "/usr/bin/python3";

bool HavePillow() {
  std::string cmd = std::string(kPython) + " -c 'import PIL' 2>/dev/null";
  return std::system(cmd.c_str()) == 0;
}

// Pillow writes a W x H PNG of seeded noise and the same pixels raw (RGB).
bool WritePillowPNG(const std::string& png, const std::string& raw, int W, int H) {
  std::string script = "import random\nfrom PIL import Image\nrandom.seed(78)\n"
                       "w, h = " + std::to_string(W) + ", " + std::to_string(H) + "\n"
                       "px = bytes(random.getrandbits(8) for _ in range(w * h * 3))\n"
                       "im = Image.frombytes('RGB', (w, h), px)\n"
                       "im.save('" + png + "')\nopen('" + raw + "', 'wb').write(im.tobytes())\n";
  const std::string py = ViewTempPath("make.py");
  std::ofstream(py) << script;
  const bool ok = std::system((std::string(kPython) + " " + py).c_str()) == 0;
  std::remove(py.c_str());
  return ok;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

class ViewScroll : public ViewTest {
 protected:
  void TearDown() override {
    for (const std::string& f : Files) std::remove(f.c_str());
    ViewTest::TearDown();
  }
  // A 1000 x 800 PNG by Pillow; false (test skipped) without Pillow.
  bool MakePNG(std::string& png, std::vector<uint8_t>& rgb) {
    if (!HavePillow()) return false;
    png = ViewTempPath("1000x800.png");
    const std::string raw = ViewTempPath("1000x800.rgb");
    Files.push_back(png);
    Files.push_back(raw);
    if (!WritePillowPNG(png, raw, 1000, 800)) return false;
    rgb = ReadAll(raw);
    return rgb.size() == size_t(1000) * 800 * 3;
  }
  std::vector<std::string> Files;
};

TEST_F(ViewScroll, PillowPNGLoadedThroughIOFillsTheBitmapAndSetsUpTheBars) {
  std::string png;
  std::vector<uint8_t> rgb;
  if (!MakePNG(png, rgb)) GTEST_SKIP() << "Pillow (python3-pil) missing";
  TVexlaneView* v = NewView(300, 200);
  ASSERT_TRUE(v->IO()->LoadFromFile(png, -1));
  SetClientSize(v, 400, 300);
  ASSERT_EQ(v->ClientWidth(), 400);
  ASSERT_EQ(v->ClientHeight(), 300);
  TVXBitmap* b = v->VXBitmap();
  ASSERT_EQ(b->Width(), 1000);
  ASSERT_EQ(b->Height(), 800);
  for (int y = 0; y < 800; ++y)
    for (int x = 0; x < 1000; ++x) {
      const TRGB p = b->Pixels(x, y);
      const uint8_t* e = &rgb[(size_t(y) * 1000 + x) * 3];
      if (p.r != e[0] || p.g != e[1] || p.b != e[2]) FAIL() << "pixel " << x << "," << y;
    }
  int32_t mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 601);
  EXPECT_EQ(my, 501);
  v->SetViewXY(333, 77);
  for (int bar : {SB_HORZ, SB_VERT}) {
    SCROLLINFO si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(v->Handle(), bar, &si));
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 65535);
    EXPECT_TRUE(BarShown(v, bar));
    const double ratio = bar == SB_HORZ ? 1001 / 65536.0 : 801 / 65536.0;
    EXPECT_EQ(si.nPos, int(std::trunc((bar == SB_HORZ ? 333 : 77) / ratio)));
    if (bar == SB_HORZ) {
      EXPECT_EQ(si.nPage, 26188u);
    }
  }
}

TEST_F(ViewScroll, AnImageWithinTheControlButNotTheClientAreaDoesNotScroll) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 10, 10);
  // Frame of the control: the client area is smaller than the control.
  const int fw = v->Width() - v->ClientWidth(), fh = v->Height() - v->ClientHeight();
  ASSERT_GT(fw, 0);
  SetImage(v, v->ClientWidth() + fw, v->ClientHeight() + fh);
  int32_t mx, my;
  v->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  EXPECT_FALSE(BarShown(v, SB_HORZ));
  EXPECT_FALSE(BarShown(v, SB_VERT));
  // Always visible: shown with both arrows disabled while nothing scrolls.
  SetImage(v, 10, 10);
  v->SetScrollBarsAlwaysVisible(true);
  EXPECT_TRUE(BarShown(v, SB_HORZ));
  EXPECT_TRUE(BarShown(v, SB_VERT));
  EXPECT_EQ(VXScrollBarDisabledArrows(v->Handle(), SB_HORZ), ESB_DISABLE_BOTH);
}

TEST_F(ViewScroll, EveryScrollCodeMovesTheOriginAsListed) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 1000, 800);
  SetClientSize(v, 400, 300);
  v->SetZoom(200);  // unit: 2 zoomed pixels per bitmap pixel
  int32_t mx, my;
  v->GetMaxViewXY(mx, my);
  ASSERT_GT(mx, 1000);
  const double ratioX = (400.0 + mx) / 65536;
  struct Case {
    int code;
    int pos;
    int lineStep, pageStep;
    bool tracking;
    int expected;  // from an origin of 500; -1: the maximum
  };
  const Case cases[] = {
      {SB_LINEUP, 0, -1, -1, true, 498},
      {SB_LINEDOWN, 0, -1, -1, true, 502},
      {SB_LINEDOWN, 0, 3, -1, true, 506},
      {SB_PAGEUP, 0, -1, -1, true, 100},
      {SB_PAGEDOWN, 0, -1, -1, true, 900},
      {SB_PAGEDOWN, 0, -1, 10, true, 520},
      {SB_THUMBPOSITION, 40000, -1, -1, false, int(std::nearbyint(40000 * ratioX))},
      {SB_THUMBTRACK, 30000, -1, -1, true, int(std::nearbyint(30000 * ratioX))},
      {SB_THUMBTRACK, 30000, -1, -1, false, 500},
      {SB_TOP, 0, -1, -1, true, 0},
      {SB_BOTTOM, 0, -1, -1, true, -1},
      {SB_ENDSCROLL, 0, -1, -1, true, 500},
      {SB_PAGEUP, 0, -1, 300, true, 0},  // limited at 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    v->SetViewXY(500, 500);
    v->HScrollBarParams()->SetLineStep(c.lineStep);
    v->HScrollBarParams()->SetPageStep(c.pageStep);
    v->HScrollBarParams()->SetTracking(c.tracking);
    v->VScrollBarParams()->SetLineStep(c.lineStep);
    v->VScrollBarParams()->SetPageStep(c.pageStep);
    v->VScrollBarParams()->SetTracking(c.tracking);
    SendMessageW(v->Handle(), WM_HSCROLL, WPARAM(c.code | (c.pos << 16)), 0);
    EXPECT_EQ(v->ViewX(), c.expected == -1 ? mx : c.expected);
    EXPECT_EQ(v->ViewY(), 500);
    // The vertical bar, with the client height as its page.
    if (c.code == SB_PAGEDOWN && c.pageStep == -1) {
      SendMessageW(v->Handle(), WM_VSCROLL, WPARAM(c.code), 0);
      EXPECT_EQ(v->ViewY(), 800);
    }
  }
}

TEST_F(ViewScroll, WheelZoomsByPercentageStepsAndFiresZoomEvents) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 1000, 800);
  std::vector<std::string> log;
  v->OnZoomIn = [&](void* s, double& z) {
    EXPECT_EQ(s, static_cast<void*>(v));
    log.push_back("in " + std::to_string(int(z)));
  };
  v->OnZoomOut = [&](void*, double& z) { log.push_back("out " + std::to_string(int(z))); };
  v->SetZoom(50);
  VXHeadless::Wheel(v->Handle(), 50, 50, -120);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ZoomX(), 54);
  v->SetZoom(50);
  VXHeadless::Wheel(v->Handle(), 50, 50, 120);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ZoomX(), 46);
  v->SetZoom(5);
  VXHeadless::Wheel(v->Handle(), 50, 50, -120);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ZoomX(), 6);
  EXPECT_EQ(log, (std::vector<std::string>{"in 54", "out 46", "in 6"}));
  // A handler may change the zoom.
  v->OnZoomIn = [](void*, double& z) { z = 300; };
  VXHeadless::Wheel(v->Handle(), 50, 50, -120);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ZoomX(), 300);
  // Absolute steps, inverted.
  v->MouseWheelParams()->Variation = vxmwAbsolute;
  v->MouseWheelParams()->InvertDirection = true;
  v->OnZoomIn = nullptr;
  VXHeadless::Wheel(v->Handle(), 50, 50, -120);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ZoomX(), 292);
  // No action, or AutoFit: nothing.
  v->MouseWheelParams()->Action = vxmwNone;
  VXHeadless::Wheel(v->Handle(), 50, 50, -120);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ZoomX(), 292);
}

TEST_F(ViewScroll, WheelAtTheMouseKeepsThePixelUnderTheCursor) {
  TVexlaneView* v = NewView(420, 320);
  SetImage(v, 900, 700);
  v->MouseWheelParams()->ZoomPosition = vxmwMouse;
  v->SetZoom(150);
  v->SetViewXY(200, 150);
  const int points[][2] = {{37, 41}, {200, 150}, {390, 12}, {5, 280}};
  for (int step = 0; step < 8; ++step) {
    const int px = points[step % 4][0], py = points[step % 4][1];
    const int32_t bx = v->XScr2Bmp(px), by = v->YScr2Bmp(py);
    VXHeadless::Wheel(v->Handle(), px, py, step < 5 ? -120 : 120);
    VXHeadless::RunUntilIdle();
    const double z = v->ZoomX() / 100;
    int32_t d[8];
    v->GetRenderRectangles(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
    SCOPED_TRACE("step " + std::to_string(step) + " zoom " + std::to_string(v->ZoomX()));
    EXPECT_LE(std::abs(v->XBmp2Scr(bx) - px), int(std::ceil(z)));
    EXPECT_LE(std::abs(v->YBmp2Scr(by) - py), int(std::ceil(z)));
  }
}

TEST_F(ViewScroll, WheelScrollsWhenAskedAndNavigatesThroughIO) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 1000, 800);
  v->MouseWheelParams()->Action = vxmwVScroll;
  VXHeadless::Wheel(v->Handle(), 50, 50, -120);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ViewY(), int(std::nearbyint(v->ClientHeight() * 8 / 100.0)));
  EXPECT_EQ(v->ViewX(), 0);
  v->MouseWheelParams()->Variation = vxmwAbsolute;
  VXHeadless::KeyDown(VK_CONTROL);
  VXHeadless::Wheel(v->Handle(), 50, 50, -120);
  VXHeadless::KeyUp(VK_CONTROL);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->ViewX(), 8);
}

TEST_F(ViewScroll, WheelNavigatesThroughTheImagesOfAFile) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) missing";
  const std::string tif = ViewTempPath("three.tif");
  Files.push_back(tif);
  const std::string py = ViewTempPath("tif.py");
  Files.push_back(py);
  std::ofstream(py) << "from PIL import Image\n"
                       "fr = [Image.new('RGB', (30 + 10 * i, 20 + 5 * i), (40 * i, 0, 0)) for i in range(3)]\n"
                       "fr[0].save('" << tif << "', save_all=True, append_images=fr[1:])\n";
  ASSERT_EQ(std::system((std::string(kPython) + " " + py).c_str()), 0);
  TVexlaneView* v = NewView(300, 200);
  ASSERT_TRUE(v->IO()->LoadFromFile(tif, -1));
  ASSERT_EQ(v->IO()->Params().ImageCount(), 3);
  v->MouseWheelParams()->Action = vxmwNavigate;
  const int widths[] = {40, 50, 50, 40, 30, 30};
  const int deltas[] = {-120, -120, -120, 120, 120, 120};
  for (int i = 0; i < 6; ++i) {
    VXHeadless::Wheel(v->Handle(), 50, 50, deltas[i]);
    VXHeadless::RunUntilIdle();
    EXPECT_EQ(v->VXBitmap()->Width(), widths[i]) << "step " << i;
    EXPECT_EQ(v->MaxLayerWidth(), widths[i]) << "step " << i;
  }
}

TEST_F(ViewScroll, ZoomAndViewChangesReportTheirEvents) {
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 1000, 800);
  std::vector<std::string> log;
  v->OnViewChanging = [&](void*, int32_t c, double nv) {
    log.push_back("changing " + std::to_string(c) + " " + std::to_string(int(nv)));
  };
  v->OnViewChange = [&](void*, int32_t c) { log.push_back("change " + std::to_string(c)); };
  v->OnFinishSmoothTask = [&](void*, TVXSmoothTask t) { log.push_back(t == vxstScroll ? "smooth scroll" : "smooth"); };
  v->SetZoom(250);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front(), "smooth scroll");
  EXPECT_EQ(log[1], "changing 2 250");
  EXPECT_EQ(log.back(), "change 1");
  log.clear();
  v->SetZoom(250);
  EXPECT_EQ(log, (std::vector<std::string>{"smooth scroll", "changing 2 250"}));
  log.clear();
  v->SetZoomX(120);
  EXPECT_EQ(log.front(), "smooth scroll");
  EXPECT_EQ(log.back(), "change 1");
  log.clear();
  v->SetViewX(40);
  EXPECT_EQ(log, (std::vector<std::string>{"changing 0 40", "change 0"}));
  log.clear();
  v->SetViewX(40);
  EXPECT_EQ(log, (std::vector<std::string>{"changing 0 40"}));
  log.clear();
  v->SetViewXY(-5, 30);
  EXPECT_EQ(log, (std::vector<std::string>{"changing 0 -5", "changing 1 30", "change 0"}));
  EXPECT_EQ(v->ViewX(), 0);
}

// Counts the updates and those that start inside another one.
class CountingView : public TVexlaneView {
 public:
  using TVexlaneView::TVexlaneView;
  int Calls = 0, Nested = 0, Depth = 0;
  void Update() override {
    ++Calls;
    if (Depth > 0) ++Nested;
    ++Depth;
    try {
      TVexlaneView::Update();
    } catch (...) {
      --Depth;
      throw;
    }
    --Depth;
  }
};

TEST_F(ViewScroll, ABarAppearingInsideUpdateGivesOneNestedUpdate) {
  auto* v = NewView<CountingView>(300, 200);
  SetImage(v, 50, 50);
  ASSERT_FALSE(BarShown(v, SB_HORZ));
  v->VXBitmap()->Allocate(1000, 800, vx24RGB);
  v->Calls = v->Nested = 0;
  v->Update();
  EXPECT_TRUE(BarShown(v, SB_HORZ));
  EXPECT_EQ(v->Calls, 2);
  EXPECT_EQ(v->Nested, 1);
  // Outside an update a resize updates once through WM_SIZE.
  v->Calls = v->Nested = 0;
  v->SetBounds(10, 10, 310, 210);
  EXPECT_GE(v->Calls, 1);
  EXPECT_EQ(v->Nested, 0);
}

TEST_F(ViewScroll, UpdateReasonAndLocksRecoverFromARaisingHandler) {
  auto* v = NewView<CountingView>(300, 200);
  SetImage(v, 200, 100);
  v->SetAutoFit(true);
  v->OnViewChanging = [](void*, int32_t, double) { throw std::runtime_error("handler"); };
  v->SetUpdateReason(vxurZoomed);
  EXPECT_THROW(v->Update(), std::runtime_error);
  EXPECT_EQ(v->UpdateReason(), vxurDefault);
  v->OnViewChanging = nullptr;
  v->SetAutoFit(false);
  // Not left inside an update: a resize updates again.
  v->Calls = 0;
  v->SetBounds(10, 10, 320, 220);
  EXPECT_GE(v->Calls, 1);

  v->Calls = 0;
  EXPECT_EQ(v->UnLockPaint(), 0);
  EXPECT_EQ(v->LockPaintCount(), 0);
  EXPECT_EQ(v->Calls, 1);
  v->LockPaint();
  v->LockPaint();
  EXPECT_EQ(v->NPUnLockPaint(), 1);
  EXPECT_EQ(v->UnLockPaint(), 0);
  EXPECT_EQ(v->Calls, 2);
  v->LockUpdate();
  v->Calls = 0;
  v->Update();  // counted, but does nothing while locked
  v->UnLockUpdateEx();
  v->UnLockUpdateEx();
  EXPECT_EQ(v->UpdateLockCount(), 0);
  v->UpdateNoPaint();
  EXPECT_EQ(v->Calls, 2);
}

TEST_F(ViewScroll, WorkerPostsReachTheEventsOnTheViewersThread) {
  TVexlaneView* v = NewView(300, 200);
  std::vector<std::string> log;
  const std::thread::id ui = std::this_thread::get_id();
  v->SetOnProgress([&](void* s, int32_t per) {
    EXPECT_EQ(std::this_thread::get_id(), ui);
    EXPECT_EQ(s, static_cast<void*>(v));
    log.push_back("progress " + std::to_string(per));
  });
  v->SetOnFinishWork([&](void*) {
    EXPECT_EQ(std::this_thread::get_id(), ui);
    log.push_back("finish");
  });
  std::thread worker([v] {
    TVXViewHost* host = v;
    host->PostMessage(0x1F5B, 40);
    host->PostMessage(0x1F5C, 0);
  });
  worker.join();
  EXPECT_TRUE(log.empty());
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"progress 40", "finish"}));
}

TEST_F(ViewScroll, AnAsynchronousLoadUpdatesTheViewerThroughItsMessages) {
  std::string png;
  std::vector<uint8_t> rgb;
  if (!MakePNG(png, rgb)) GTEST_SKIP() << "Pillow (python3-pil) missing";
  TVexlaneView* v = NewView(300, 200);
  SetImage(v, 20, 20);
  int finished = 0;
  v->SetOnFinishWork([&](void*) { ++finished; });
  v->IO()->SetAsyncMode(true);
  v->IO()->LoadFromFile(png, -1);
  v->IO()->WaitThreads(false);
  EXPECT_EQ(v->MaxLayerWidth(), 20);  // not updated by the worker itself
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(v->MaxLayerWidth(), 1000);
  EXPECT_EQ(v->MaxLayerHeight(), 800);
  EXPECT_TRUE(BarShown(v, SB_HORZ));
  const TRGB p = v->VXBitmap()->Pixels(999, 799);
  const uint8_t* e = &rgb[(size_t(799) * 1000 + 999) * 3];
  EXPECT_EQ(p.r, e[0]);
  EXPECT_EQ(p.g, e[1]);
  EXPECT_EQ(p.b, e[2]);
}

TEST_F(ViewScroll, ShiftSwapsTheCursorAndKeysReachTheirEvents) {
  TVexlaneView* v = NewView(300, 200);
  EXPECT_TRUE(v->AutoCursors());
  v->SetFocus();
  VXHeadless::RunUntilIdle();
  std::vector<std::string> log;
  v->OnVirtualKey = [&](void*, uint32_t k, uint32_t, bool down) {
    log.push_back(std::string(down ? "down " : "up ") + std::to_string(k));
  };
  v->OnSpecialKey = [&](void*, uint16_t k, TShiftState, bool& handled) {
    log.push_back("special " + std::to_string(k));
    handled = k == VK_LEFT;
  };
  EXPECT_EQ(v->CurrentCursor(), 1785);
  VXHeadless::KeyDown(VK_SHIFT);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->CurrentCursor(), 1791);
  VXHeadless::KeyUp(VK_SHIFT);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->CurrentCursor(), 1785);
  EXPECT_EQ(log, (std::vector<std::string>{"down 16", "up 16"}));
  log.clear();
  EXPECT_EQ(v->Perform(CM_WANTSPECIALKEY, VK_LEFT, 0), 1);
  EXPECT_EQ(v->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"special 37", "special 9"}));
  // A cursor handler can change what is set.
  v->OnSetCursor = [](void*, TCursor& c) { c = 1793; };
  v->SetCursor(1780);
  EXPECT_EQ(v->Cursor(), 1793);
  v->OnSetCursor = nullptr;
  VXHeadless::KeyDown(VK_SHIFT);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(v->CurrentCursor(), 1794);
  VXHeadless::KeyUp(VK_SHIFT);
}

}  // namespace
