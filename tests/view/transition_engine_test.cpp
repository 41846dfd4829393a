// The transition engine's timed runs on a headless viewer (virtual clock)
// and the processing component's transition frames made by it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/settings.h"
#include "core/vxdefs.h"
#include "gui/graphics.h"
#include "platform/win_clock.h"
#include "proc/proc.h"
#include "view/transitions.h"
#include "view_fixture.h"
#include "winui/headless.h"

namespace {

void Fill(TBitmap* b, uint32_t seed) {
  for (int y = 0; y < b->Height(); ++y) {
    auto* p = static_cast<uint8_t*>(b->ScanLine(y));
    for (int i = 0; i < b->Width() * 3; ++i) {
      seed = seed * 1103515245u + 12345u;
      p[i] = uint8_t(seed >> 16);
    }
  }
}

// The window surface equals the picture (0x00RRGGBB against BGR bytes).
bool SurfaceHolds(HWND Wnd, TBitmap* b) {
  int w = 0, h = 0;
  const std::vector<uint32_t> s = VXHeadless::Surface(Wnd, w, h);
  if (w < b->Width() || h < b->Height()) return false;
  for (int y = 0; y < b->Height(); ++y) {
    const auto* p = static_cast<const uint8_t*>(b->ScanLine(y));
    for (int x = 0; x < b->Width(); ++x) {
      const uint32_t want = uint32_t(p[3 * x]) | uint32_t(p[3 * x + 1]) << 8 | uint32_t(p[3 * x + 2]) << 16;
      if (s[size_t(y) * w + x] != want) return false;
    }
  }
  return true;
}

class TransitionRun : public ViewTest {
 protected:
  struct Paint {
    int step;
    TBitmap* bitmap;
    uint32_t tick;
  };

  void SetUp() override {
    ViewTest::SetUp();
    View = NewView(60, 40);
    View->SetBorderStyle(bsNone);
    VXHeadless::RunUntilIdle();
    Engine = std::make_unique<TVXTransitionEffects>(View);
    Engine->SetTransition(vxttCrossDissolve);
    Engine->OnTransitionStop = [this](void* Sender) {
      EXPECT_EQ(Sender, static_cast<void*>(View));
      ++Stops;
      StopTick = GetTickCount();
    };
    Engine->OnTransitionStep = [this](void*, int32_t step) { Steps.push_back(step); };
    Engine->SetOnTransitionPaint([this](void*, TBitmap* b, TVXTransitionEffects* e, int32_t step) {
      EXPECT_EQ(e, Engine.get());
      Paints.push_back(Paint{step, b, GetTickCount()});
      if (step == 1024) {
        TargetOnSurface = b == Engine->TargetShot() && SurfaceHolds(View->Handle(), b);
      }
    });
  }
  void TearDown() override {
    Engine.reset();
    ViewTest::TearDown();
  }

  // Sizes the engine to the client area and paints both pictures.
  void Prepare() {
    Engine->SetSizes(View->ClientWidth(), View->ClientHeight());
    Fill(Engine->SourceShot(), 1);
    Fill(Engine->TargetShot(), 2);
    Target = std::make_unique<TBitmap>();
    Target->Assign(Engine->TargetShot());
  }

  // Lets the clock run in 10 ms steps until the run ends (at most Limit ms).
  void RunOut(int Limit = 5000) {
    for (int t = 0; t < Limit && Engine->Running(); t += 10) VXHeadless::Advance(10);
  }

  TVexlaneView* View = nullptr;
  std::unique_ptr<TVXTransitionEffects> Engine;
  std::unique_ptr<TBitmap> Target;
  std::vector<Paint> Paints;
  std::vector<int> Steps;
  int Stops = 0;
  uint32_t StopTick = 0;
  bool TargetOnSurface = false;
};

TEST_F(TransitionRun, LinearRunEndsOnTimeWithTheTargetShown) {
  Prepare();
  const uint32_t start = GetTickCount();
  Engine->Run(true);
  EXPECT_TRUE(Engine->Running());
  EXPECT_EQ(View->LockPaintCount(), 1);
  RunOut();
  EXPECT_FALSE(Engine->Running());
  EXPECT_EQ(Stops, 1);
  EXPECT_EQ(StopTick - start, 1000u) << "the first tick at or after 1000 ms";
  EXPECT_EQ(View->LockPaintCount(), 0);
  ASSERT_GE(Paints.size(), 3u);
  EXPECT_EQ(Paints.front().step, 0) << "the first frame shows step 0";
  EXPECT_EQ(Paints.back().step, 1024);
  EXPECT_TRUE(TargetOnSurface);
  // Each frame shows the step of the tick before; steps rise.
  for (size_t i = 1; i + 1 < Paints.size(); ++i) {
    EXPECT_EQ(Paints[i].step, int((Paints[i - 1].tick - start) * 1024 / 1000)) << i;
    EXPECT_GE(Paints[i].step, Paints[i - 1].step);
  }
  EXPECT_EQ(Steps.size(), Paints.size() - 1) << "one step event per timer frame";
  EXPECT_EQ(Engine->SourceShot()->Width(), 1) << "pictures released when idle";
}

TEST_F(TransitionRun, CurvesStayInTheirRange) {
  const struct {
    TVXTransitionTiming timing;
    int maxDrawn;
  } cases[] = {{vxttExponential, 1003}, {vxttLogarithmic, 1024}, {vxttLinear, 1024}};
  for (auto& c : cases) {
    Paints.clear();
    Prepare();
    Engine->SetTiming(c.timing);
    Engine->Run(true);
    RunOut();
    ASSERT_FALSE(Engine->Running());
    ASSERT_GE(Paints.size(), 2u);
    int highest = 0;
    for (size_t i = 0; i + 1 < Paints.size(); ++i) {
      EXPECT_GE(Paints[i].step, 0);
      highest = std::max(highest, Paints[i].step);
    }
    EXPECT_LE(highest, c.maxDrawn) << c.timing;
    // The last frame before the stop shows the step at 990 ms.
    if (c.timing == vxttExponential) {
      EXPECT_EQ(highest, 954);
    }
  }
}

TEST_F(TransitionRun, RestartsAndStopsKeepOneLock) {
  Prepare();
  Engine->Run(false);
  VXHeadless::Advance(300);
  ASSERT_TRUE(Engine->Running());
  ASSERT_GT(Paints.back().step, 0);
  Paints.clear();
  Engine->Run(false);
  EXPECT_EQ(View->LockPaintCount(), 1) << "a restart holds exactly one lock";
  VXHeadless::Advance(10);
  ASSERT_FALSE(Paints.empty());
  EXPECT_EQ(Paints.front().step, 0);
  // Resizing stops the run: timer off, lock released, one stop event.
  Engine->SetSizes(30, 20);
  EXPECT_FALSE(Engine->Running());
  EXPECT_EQ(View->LockPaintCount(), 0);
  EXPECT_EQ(Stops, 1);
  const size_t frames = Paints.size();
  VXHeadless::Advance(200);
  EXPECT_EQ(Paints.size(), frames) << "no frame after the stop";
}

TEST_F(TransitionRun, NoneAndIdleChangeNothing) {
  Prepare();
  Engine->SetTransition(vxttNone);
  Engine->Run(true);
  EXPECT_FALSE(Engine->Running());
  Engine->Stop();
  VXHeadless::Advance(100);
  EXPECT_EQ(View->LockPaintCount(), 0);
  EXPECT_EQ(Stops, 0);
  EXPECT_TRUE(Paints.empty());
  EXPECT_EQ(Engine->SourceShot()->Width(), View->ClientWidth()) << "the pictures stay";

  // Set to none during a run, then stopped: the run ends.
  Engine->SetTransition(vxttCrossDissolve);
  Engine->Run(true);
  VXHeadless::Advance(50);
  Engine->SetTransition(vxttNone);
  Engine->Stop();
  EXPECT_FALSE(Engine->Running());
  EXPECT_EQ(View->LockPaintCount(), 0);
  EXPECT_EQ(Stops, 1);

  // A frame of one pixel does not start.
  Engine->SetTransition(vxttCrossDissolve);
  Engine->SetSizes(1, 1);
  Engine->Run(true);
  EXPECT_FALSE(Engine->Running());
  EXPECT_EQ(View->LockPaintCount(), 0);
}

TEST_F(TransitionRun, PrepareStopsWithoutReleasingALockItNeverTook) {
  Prepare();
  View->LockPaint();  // someone else's lock
  TBitmap a(20, 10, pf24bit), b(20, 10, pf24bit);
  Engine->PrepareBitmap(&a, &b);
  EXPECT_EQ(Stops, 1) << "PrepareBitmap stops a run of its own";
  EXPECT_EQ(View->LockPaintCount(), 1);
  EXPECT_FALSE(Engine->Running());
  View->NPUnLockPaint();
}

TEST_F(TransitionRun, TheTickCounterWrapsAndZeroDurationEndsAtOnce) {
  VXHeadless::SetClock((uint64_t(1) << 32) - 300);
  Prepare();
  const uint32_t start = GetTickCount();
  Engine->Run(true);
  RunOut();
  EXPECT_FALSE(Engine->Running());
  EXPECT_EQ(uint32_t(StopTick - start), 1000u);
  EXPECT_LT(StopTick, start) << "the counter wrapped during the run";

  for (int duration : {0, -5}) {
    Paints.clear();
    Stops = 0;
    Prepare();
    Engine->SetDuration(duration);
    Engine->Run(true);
    VXHeadless::Advance(10);
    EXPECT_FALSE(Engine->Running()) << duration;
    EXPECT_EQ(Stops, 1);
    ASSERT_EQ(Paints.size(), 2u);
    EXPECT_EQ(Paints[0].step, 0);
    EXPECT_EQ(Paints[1].step, 1024);
    EXPECT_TRUE(TargetOnSurface);
  }
}

TEST_F(TransitionRun, EveryRegionClippedEffectEndsOnTheTarget) {
  std::vector<int> types;
  for (int t = 77; t <= 150; ++t) types.push_back(t);
  for (int t = 159; t <= 185; ++t) types.push_back(t);
  for (int t = 190; t <= 214; ++t) types.push_back(t);
  for (int t = 227; t <= 236; ++t) types.push_back(t);
  for (int t = 241; t <= 249; ++t) types.push_back(t);
  ASSERT_EQ(types.size(), 145u);
  for (bool alt : {false, true}) {
    VXGetGlobalSettings()->SetTransitionsDrawAlternative(alt);
    for (int t : types) {
      Paints.clear();
      Stops = 0;
      TargetOnSurface = false;
      Prepare();
      Engine->SetTransition(TVXTransitionType(t));
      Engine->SetDuration(40);  // a few frames each
      Engine->Run(true);
      EXPECT_NO_THROW(RunOut(1000)) << t;
      EXPECT_GE(Paints.size(), 4u);
      EXPECT_FALSE(Engine->Running()) << t;
      EXPECT_EQ(Stops, 1) << t;
      EXPECT_TRUE(TargetOnSurface) << t << (alt ? " alt" : "");
      EXPECT_EQ(View->LockPaintCount(), 0);
    }
  }
  VXGetGlobalSettings()->SetTransitionsDrawAlternative(false);
}

TEST_F(TransitionRun, AnEffectWithoutARoutineEndsTheRun) {
  Prepare();
  Engine->Run(true);
  // An effect changed to one without a routine during the run.
  Engine->SetTransition(vxttNone);
  try {
    RunOut();
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Unknown Transition!");
  }
  EXPECT_FALSE(Engine->Running());
  EXPECT_EQ(View->LockPaintCount(), 0);
  EXPECT_EQ(Stops, 1);
}

TEST_F(TransitionRun, SizesSetAfterPrepareMakeFramesOfTheNewSize) {
  TVXTransitionEffects e;
  e.SetTransition(vxttCrossDissolve);
  TBitmap a(16, 8, pf24bit), b(16, 8, pf24bit);
  Fill(&a, 5);
  Fill(&b, 6);
  e.PrepareBitmap(&a, &b);
  e.SetSizes(40, 30);
  TBitmap out;
  e.CreateBitmap(50, &out);
  EXPECT_EQ(out.Width(), 40);
  EXPECT_EQ(out.Height(), 30);
}

TEST(TransitionFrames, TheProcessingComponentUsesTheEngine) {
  TBitmap a(12, 10, pf24bit), b(12, 10, pf24bit), out;
  Fill(&a, 7);
  Fill(&b, 8);
  TVexlaneProc proc;
  proc.PrepareTransitionBitmaps(&a, &b, vxttCrossDissolve, -1, -1, 0, rfNone);
  proc.CreateTransitionBitmap(50, &out);
  ASSERT_EQ(out.Width(), 12);
  for (int y = 0; y < 10; ++y) {
    const auto* pa = static_cast<const uint8_t*>(a.ScanLine(y));
    const auto* pb = static_cast<const uint8_t*>(b.ScanLine(y));
    const auto* po = static_cast<const uint8_t*>(out.ScanLine(y));
    for (int i = 0; i < 36; ++i) ASSERT_EQ(po[i], (pa[i] * 512 + pb[i] * 512) >> 10);
  }
  proc.PrepareTransitionBitmaps(&a, &b, vxttLeftRight1, -1, -1, 0, rfNone);
  proc.CreateTransitionBitmap(100, &out);
  EXPECT_EQ(std::memcmp(out.ScanLine(3), b.ScanLine(3), 36), 0);
}

}  // namespace
