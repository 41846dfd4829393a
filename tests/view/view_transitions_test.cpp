// The single-image viewer's transitions on a headless form (the engine's
// timer and the play timer on the virtual clock) and its playback of
// animated GIFs made at test time with ImageMagick, whose frame delays
// gifsicle reads back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "../core/runtime_test_util.h"
#include "core/bitmap.h"
#include "gui/graphics.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/win_clock.h"
#include "view/transitions.h"
#include "view_fixture.h"
#include "winui/headless.h"

namespace {

// A second picture, unlike the fixture's pattern.
void SetOtherImage(TVexlaneView* v, int W, int H) {
  TVXBitmap* b = v->VXBitmap();
  b->Allocate(W, H, vx24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixels(x, y, TRGB{uint8_t(255 - x), uint8_t(40 + 3 * y), uint8_t(x * y)});
  v->Update();
  v->ImageChange();
}

bool Same(const TRect& a, const TRect& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

std::vector<uint32_t> SurfaceOf(TVexlaneView* v) {
  int w = 0, h = 0;
  std::vector<uint32_t> s = VXHeadless::Surface(v->Handle(), w, h);
  // The client area only.
  std::vector<uint32_t> out;
  for (int y = 0; y < v->ClientHeight(); ++y)
    for (int x = 0; x < v->ClientWidth(); ++x) out.push_back(s[size_t(y) * w + x]);
  return out;
}

class ViewTransitions : public ViewTest {
 protected:
  TVexlaneView* MakeView(int CW, int CH) {
    TVexlaneView* v = NewView(CW, CH);
    v->SetBorderStyle(bsNone);
    v->SetScrollBars(ssNone);
    SetClientSize(v, CW, CH);
    VXHeadless::RunUntilIdle();
    return v;
  }
};

TEST_F(ViewTransitions, CrossDissolveBlendsTheOldViewIntoTheNew) {
  TVexlaneView* v = MakeView(64, 48);
  SetImage(v, 64, 48);
  VXHeadless::RunUntilIdle();
  const std::vector<uint32_t> before = SurfaceOf(v);
  v->PrepareTransition();
  SetOtherImage(v, 64, 48);
  VXHeadless::RunUntilIdle();
  const std::vector<uint32_t> after = SurfaceOf(v);
  ASSERT_NE(before, after);
  std::vector<int> steps;
  v->SetOnTransitionPaint([&](void*, TBitmap*, TVXTransitionEffects*, int32_t Step) { steps.push_back(Step); });
  const uint32_t start = GetTickCount();
  v->RunTransition(vxttCrossDissolve, 1000);
  ASSERT_TRUE(v->TransitionRunning());
  for (int t = 0; t < 500; t += 10) VXHeadless::Advance(10);
  ASSERT_TRUE(v->TransitionRunning());
  ASSERT_FALSE(steps.empty());
  // The frame on the window is the blend at the step of the tick before.
  const int s = steps.back();
  EXPECT_GT(s, 300);
  EXPECT_LT(s, 600);
  const std::vector<uint32_t> mid = SurfaceOf(v);
  ASSERT_EQ(mid.size(), before.size());
  for (size_t i = 0; i < mid.size(); ++i)
    for (int c = 0; c < 24; c += 8) {
      const int a = int(before[i] >> c) & 255, b = int(after[i] >> c) & 255;
      ASSERT_EQ(int(mid[i] >> c) & 255, (a * (1024 - s) + b * s) >> 10) << "pixel " << i << " step " << s;
    }
  for (int t = 0; t < 2000 && v->TransitionRunning(); t += 10) VXHeadless::Advance(10);
  EXPECT_FALSE(v->TransitionRunning());
  EXPECT_GE(GetTickCount() - start, 1000u);
  EXPECT_LT(GetTickCount() - start, 1100u);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(SurfaceOf(v), after);
  EXPECT_EQ(v->LockPaintCount(), 0);
}

TEST_F(ViewTransitions, AClientOfNoWidthMakesNoEngineAndDurationsAreAtLeastOne) {
  TVexlaneView* v = MakeView(40, 30);
  SetImage(v, 40, 30);
  v->SetBounds(v->Left(), v->Top(), 0, 30);
  VXHeadless::RunUntilIdle();
  ASSERT_EQ(v->ClientWidth(), 0);
  v->PrepareTransition();
  v->RunTransition(vxttCrossDissolve, 1000);
  EXPECT_EQ(v->TransitionEffects(), nullptr);
  EXPECT_FALSE(v->TransitionRunning());

  SetClientSize(v, 40, 30);
  for (int d : {0, -5, 250}) {
    v->PrepareTransition();
    v->RunTransition(vxttWipeFromTopLeft, d);
    ASSERT_NE(v->TransitionEffects(), nullptr);
    EXPECT_EQ(v->TransitionEffects()->Duration(), d > 0 ? d : 1) << d;
    for (int t = 0; t < 1000 && v->TransitionRunning(); t += 10) VXHeadless::Advance(10);
    EXPECT_FALSE(v->TransitionRunning()) << d;
  }
}

TEST_F(ViewTransitions, PanZoomEndsOnTheEndRectangleWithoutTheTargetBlit) {
  TVexlaneView* v = MakeView(80, 60);
  SetImage(v, 240, 180);
  VXHeadless::RunUntilIdle();
  bool targetBlit = false;
  int frames = 0;
  v->SetOnTransitionPaint([&](void*, TBitmap* b, TVXTransitionEffects* e, int32_t Step) {
    ++frames;
    if (Step == 1024 && b == e->TargetShot()) targetBlit = true;
  });
  const TRect before = v->VisibleBitmapRect();
  v->PrepareTransition();
  v->RunTransition(vxttPanZoom, 300, vxpzZoomInToTopRight, 30);
  ASSERT_TRUE(v->TransitionRunning());
  const TRect end = v->TransitionEffects()->EndRect();
  for (int t = 0; t < 1000 && v->TransitionRunning(); t += 10) VXHeadless::Advance(10);
  EXPECT_FALSE(v->TransitionRunning());
  EXPECT_GT(frames, 5);
  EXPECT_FALSE(targetBlit);
  // The view shows the end rectangle, as the viewer maps a bitmap
  // rectangle to its zoom and origin (edges within the rounding of the
  // zoom), and setting that rectangle again changes nothing.
  const TRect r = v->VisibleBitmapRect();
  EXPECT_FALSE(Same(r, before));
  EXPECT_NEAR(r.Left, end.Left, 3);
  EXPECT_NEAR(r.Top, end.Top, 3);
  EXPECT_NEAR(r.Right, end.Right, 3);
  EXPECT_NEAR(r.Bottom, end.Bottom, 3);
  v->SetVisibleBitmapRect(end);
  EXPECT_TRUE(Same(v->VisibleBitmapRect(), r));
  EXPECT_EQ(v->LockPaintCount(), 0);
}

TEST_F(ViewTransitions, AResizeOrBlankStopsARun) {
  for (int how = 0; how < 2; ++how) {
    TVexlaneView* v = MakeView(60, 40);
    SetImage(v, 60, 40);
    int stops = 0;
    v->SetOnTransitionStop([&](void*) { ++stops; });
    v->PrepareTransition();
    SetOtherImage(v, 60, 40);
    v->RunTransition(vxttCrossDissolve, 1000);
    VXHeadless::Advance(100);
    ASSERT_TRUE(v->TransitionRunning());
    EXPECT_EQ(v->LockPaintCount(), 1);
    if (how == 0)
      v->SetBounds(v->Left(), v->Top(), 70, 50);
    else
      v->Blank();
    EXPECT_FALSE(v->TransitionRunning()) << how;
    EXPECT_EQ(v->LockPaintCount(), 0) << how;
    EXPECT_EQ(stops, 1) << how;
    delete v;
  }
}

TEST_F(ViewTransitions, FramesOnRequestAreTheEnginesFrames) {
  TVexlaneView* v = MakeView(50, 40);
  SetImage(v, 50, 40);
  TBitmap a(30, 20, pf24bit), b(30, 20, pf24bit);
  for (int y = 0; y < 20; ++y) {
    auto* pa = static_cast<uint8_t*>(a.ScanLine(y));
    auto* pb = static_cast<uint8_t*>(b.ScanLine(y));
    for (int i = 0; i < 90; ++i) {
      pa[i] = uint8_t(i * 7 + y);
      pb[i] = uint8_t(255 - i * 3 - y);
    }
  }
  v->PrepareTransitionBitmaps(&a, &b, vxttCrossDissolve);
  TBitmap out;
  v->CreateTransitionBitmap(50, &out);
  ASSERT_EQ(out.Width(), 30);
  ASSERT_EQ(out.Height(), 20);
  for (int y = 0; y < 20; ++y) {
    const auto* pa = static_cast<const uint8_t*>(a.ScanLine(y));
    const auto* pb = static_cast<const uint8_t*>(b.ScanLine(y));
    const auto* po = static_cast<const uint8_t*>(out.ScanLine(y));
    for (int i = 0; i < 90; ++i) ASSERT_EQ(po[i], (pa[i] * 512 + pb[i] * 512) >> 10) << y << " " << i;
  }
  // An explicit frame size.
  v->PrepareTransitionBitmaps(&a, &b, vxttWipeFromTopLeft, 16, 12);
  v->CreateTransitionBitmap(50, &out);
  EXPECT_EQ(out.Width(), 16);
  EXPECT_EQ(out.Height(), 12);
  // Pan and zoom moves over the original, which the viewer now shows.
  v->PrepareTransitionBitmaps(&a, &b, vxttPanZoom, TRect{0, 0, 30, 20}, TRect{10, 5, 25, 15}, false);
  EXPECT_EQ(v->VXBitmap()->Width(), 30);
  EXPECT_EQ(v->VXBitmap()->Height(), 20);
  v->CreateTransitionBitmap(0, &out);
  for (int y = 0; y < 20; ++y)
    EXPECT_EQ(std::memcmp(out.ScanLine(y), a.ScanLine(y), 90), 0) << y;
}

// ---------------------------------------------------------------------------
// Playback

bool HaveTools() {
  return std::filesystem::exists("/usr/bin/convert") && RuntimeHaveTool("gifsicle");
}

// The frame delays in milliseconds that gifsicle reports (0 when it gives
// none).
std::vector<int> GifsicleDelays(const std::string& Path) {
  const std::string info = RuntimeShell("gifsicle --info '" + Path + "' 2>&1");
  std::vector<int> out;
  std::istringstream in(info);
  std::string line;
  const std::regex image(R"(^\s*\+ image #\d+)"), delay(R"(delay ([0-9.]+)s)");
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_search(line, image)) out.push_back(0);
    else if (std::regex_search(line, m, delay) && !out.empty())
      out.back() = int(std::lround(std::stod(m[1]) * 1000));
  }
  return out;
}

class ViewPlayback : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    const char* t = getenv("TMPDIR");
    Dir = std::string(t && *t ? t : "/tmp") + "/vxplay-XXXXXX";
    ASSERT_NE(mkdtemp(Dir.data()), nullptr);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
    ViewTest::TearDown();
  }
  // An animated GIF of Frames solid frames with the delay in hundredths.
  std::string MakeGif(const std::string& Name, int Frames, int Delay) {
    static const char* colours[] = {"red", "lime", "blue", "yellow", "cyan"};
    std::string cmd = "/usr/bin/convert -delay " + std::to_string(Delay) + " -size 12x8";
    for (int i = 0; i < Frames; ++i) cmd += std::string(" xc:") + colours[i % 5];
    const std::string path = Dir + "/" + Name;
    cmd += " '" + path + "' 2>&1";
    RuntimeShell(cmd);
    EXPECT_TRUE(std::filesystem::exists(path)) << cmd;
    return path;
  }
  // Runs the clock in 1 ms steps, noting the time of every frame shown.
  std::vector<std::pair<uint32_t, int>> Play(TVexlaneView* v, int Ms) {
    std::vector<std::pair<uint32_t, int>> shown;
    v->OnImageChange = [&](void*) { shown.push_back({GetTickCount(), v->IO()->Params().ImageIndex()}); };
    for (int t = 0; t < Ms; ++t) VXHeadless::Advance(1);
    v->OnImageChange = nullptr;
    return shown;
  }
  std::string Dir;
};

TEST_F(ViewPlayback, FramesPlayForTheirDelays) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick's convert or gifsicle is not installed";
  for (int delay : {0, 7}) {
    const std::string gif = MakeGif("d" + std::to_string(delay) + ".gif", 3, delay);
    const std::vector<int> delays = GifsicleDelays(gif);
    ASSERT_EQ(delays.size(), 3u);
    const int want = delays[0] > 0 ? delays[0] : 100;
    EXPECT_EQ(want, delay ? 70 : 100);
    TVexlaneView* v = NewView(40, 30);
    v->IO()->LoadFromFile(gif, int32_t(-1));
    ASSERT_EQ(v->IO()->Params().ImageCount(), 3);
    v->SetPlaying(true);
    const uint32_t start = GetTickCount();
    const auto shown = Play(v, want * 7 + want / 2);
    // Frames 1, 2, 0, 1, 2, 0, 1, each after its delay.
    ASSERT_EQ(shown.size(), 7u) << delay;
    for (size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].first - start, uint32_t(want) * (i + 1)) << delay << " frame " << i;
      EXPECT_EQ(shown[i].second, int(i + 1) % 3) << delay;
    }
    EXPECT_TRUE(v->Playing());
    // The timer is window timer 1 of the viewer.
    EXPECT_TRUE(KillTimer(v->Handle(), 1));
    EXPECT_TRUE(Play(v, want * 3).empty());
    delete v;
  }
}

TEST_F(ViewPlayback, ASingleImageNeverStartsTheTimer) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick's convert or gifsicle is not installed";
  const std::string gif = MakeGif("one.gif", 1, 5);
  TVexlaneView* v = NewView(40, 30);
  v->IO()->LoadFromFile(gif, int32_t(-1));
  ASSERT_EQ(v->IO()->Params().ImageCount(), 1);
  v->SetPlaying(true);
  EXPECT_TRUE(v->Playing());
  EXPECT_FALSE(KillTimer(v->Handle(), 1));
  EXPECT_TRUE(Play(v, 500).empty());
}

TEST_F(ViewPlayback, WithoutLoopPlaybackStopsOnTheFirstFrame) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick's convert or gifsicle is not installed";
  const std::string gif = MakeGif("three.gif", 3, 5);
  ASSERT_EQ(GifsicleDelays(gif), (std::vector<int>{50, 50, 50}));
  TVexlaneView* v = NewView(40, 30);
  v->IO()->LoadFromFile(gif, int32_t(-1));
  v->SetPlayLoop(false);
  v->SetPlaying(true);
  const auto shown = Play(v, 600);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].second, 1);
  EXPECT_EQ(shown[1].second, 2);
  EXPECT_EQ(shown[2].second, 0);
  EXPECT_FALSE(v->Playing());
  EXPECT_EQ(v->IO()->Params().ImageIndex(), 0);
  EXPECT_FALSE(KillTimer(v->Handle(), 1));
}

TEST_F(ViewPlayback, AnAbortedFrameLoadStopsTheTimer) {
  if (!HaveTools()) GTEST_SKIP() << "ImageMagick's convert or gifsicle is not installed";
  const std::string gif = MakeGif("gone.gif", 3, 5);
  TVexlaneView* v = NewView(40, 30);
  v->IO()->LoadFromFile(gif, int32_t(-1));
  v->SetPlaying(true);
  // The file is damaged before the next frame is due.
  {
    std::ofstream f(gif, std::ios::binary | std::ios::trunc);
    f << "GIF89a";
  }
  VXHeadless::Advance(60);
  EXPECT_TRUE(v->IO()->Aborting());
  EXPECT_FALSE(KillTimer(v->Handle(), 1));
  const int index = v->IO()->Params().ImageIndex();
  for (int t = 0; t < 500; ++t) VXHeadless::Advance(1);
  EXPECT_EQ(v->IO()->Params().ImageIndex(), index);
}

}  // namespace
