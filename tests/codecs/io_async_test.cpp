// Request threads of the I/O component and its calls on an attached viewer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/bitmap.h"
#include "core/streams.h"
#include "gui/graphics.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/io_test_support.h"
#include "winui/synchronize.h"

using namespace std::chrono_literals;
using iotest::MakePNG;
using iotest::TEventLog;
using iotest::THeldStream;
using iotest::TRecordingHost;

namespace {

// Opens Stream from another thread after Delay (for calls that block until
// the request has moved on).
std::thread OpenLater(THeldStream& Stream, std::chrono::milliseconds Delay) {
  return std::thread([&Stream, Delay] {
    std::this_thread::sleep_for(Delay);
    Stream.Open();
  });
}

TEST(VexlaneIORequests, TwoLoadsIntoACallersBitmapBothFinishOneAfterTheOther) {
  const auto png = MakePNG(7, 5);
  TVXBitmap target;
  auto io = TVexlaneIO::CreateFromBitmap(&target);
  io->SetAsyncMode(true);
  THeldStream a(png, 40), b(png, 40);
  EXPECT_TRUE(io->LoadFromStreamPNG(&a));
  EXPECT_TRUE(io->LoadFromStreamPNG(&b));
  // They share the target: one reads while the other waits for its turn.
  bool reading = false;
  for (int i = 0; i < 250 && !reading; ++i) reading = a.WaitForReader(10ms) || b.WaitForReader(10ms);
  ASSERT_TRUE(reading);
  EXPECT_EQ(io->ThreadsCount(), 2);
  EXPECT_EQ(io->AsyncRunning(), 2);
  EXPECT_FALSE(io->IsInsideAsyncThreads());
  a.Open();
  b.Open();
  io->WaitThreads(false);
  EXPECT_EQ(io->ThreadsCount(), 0);
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(target.Width(), 7);
  EXPECT_EQ(target.Height(), 5);
}

TEST(VexlaneIORequests, ABufferLoadReadsItsOwnCopyAfterTheCallerFreedTheBuffer) {
  // A held load goes first, so the buffer's request waits for its turn until
  // long after LoadFromBuffer returned and the caller's buffer is gone.
  for (int32_t format : {0, 8}) {
    SCOPED_TRACE(format);
    TVXBitmap target;
    auto io = TVexlaneIO::CreateFromBitmap(&target);
    io->SetAsyncMode(true);
    THeldStream first(MakePNG(3, 3), 40);
    ASSERT_TRUE(io->LoadFromStreamPNG(&first));
    ASSERT_TRUE(first.WaitForReader(5s));
    {
      auto caller = std::make_unique<std::vector<uint8_t>>(MakePNG(11, 4));
      io->LoadFromBuffer(caller->data(), int32_t(caller->size()), format);
      std::fill(caller->begin(), caller->end(), uint8_t(0));
    }
    EXPECT_EQ(io->ThreadsCount(), 2);
    first.Open();
    io->WaitThreads(false);
    EXPECT_FALSE(io->Aborting());
    EXPECT_EQ(target.Width(), 11);
    EXPECT_EQ(target.Height(), 4);
  }
}

TEST(VexlaneIORequests, WaitingWithAbortsStopsASlowLoad) {
  const auto png = MakePNG(4, 400);
  TVXBitmap target;
  auto io = TVexlaneIO::CreateFromBitmap(&target);
  io->SetAsyncMode(true);
  THeldStream slow(png, 100);
  slow.DelayPerRead = 5ms;
  ASSERT_TRUE(io->LoadFromStreamPNG(&slow));
  ASSERT_TRUE(slow.WaitForReader(5s));
  slow.Open();
  const auto start = std::chrono::steady_clock::now();
  io->WaitThreads(true);
  EXPECT_EQ(io->ThreadsCount(), 0);
  EXPECT_TRUE(io->Aborting());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(VexlaneIORequests, AnExceptionOnARequestThreadEndsInAborting) {
  TVXBitmap target;
  auto io = TVexlaneIO::CreateFromBitmap(&target);
  io->SetAsyncMode(true);
  THeldStream failing(MakePNG(3, 3), 0);
  failing.Fail = true;
  failing.Open();
  EXPECT_TRUE(io->LoadFromStreamPNG(&failing));
  io->WaitThreads(false);
  EXPECT_TRUE(io->Aborting());
  EXPECT_EQ(io->ThreadsCount(), 0);
}

TEST(VexlaneIORequests, AComponentOwningItsTargetRunsOnTheCallingThread) {
  TVexlaneIO io;
  io.SetAsyncMode(true);
  TMemoryStream ms;
  const auto png = MakePNG(6, 2);
  ms.WriteBuffer(png.data(), int64_t(png.size()));
  ms.SetPosition(0);
  TEventLog log;
  log.Attach(io);
  EXPECT_TRUE(io.LoadFromStreamPNG(&ms));
  EXPECT_EQ(io.ThreadsCount(), 0);
  EXPECT_EQ(io.VXBitmap()->Width(), 6);
  EXPECT_EQ(log.finished, 1);
  EXPECT_EQ(log.threads.back(), std::this_thread::get_id());
}

TEST(VexlaneIORequests, TheDestructorWaitsForRunningRequests) {
  TVXBitmap target;
  THeldStream held(MakePNG(9, 4), 40);
  std::thread opener;
  {
    auto io = TVexlaneIO::CreateFromBitmap(&target);
    io->SetAsyncMode(true);
    io->LoadFromStreamPNG(&held);
    ASSERT_TRUE(held.WaitForReader(5s));
    opener = OpenLater(held, 30ms);
  }
  EXPECT_EQ(target.Width(), 9);
  opener.join();
}

TEST(VexlaneIORequests, SuspendHoldsALoadAndResumeReleasesIt) {
  TVXBitmap target;
  auto io = TVexlaneIO::CreateFromBitmap(&target);
  io->SetAsyncMode(true);
  TEventLog log;
  log.Attach(*io);
  THeldStream held(MakePNG(3, 200), 60);
  io->LoadFromStreamPNG(&held);
  ASSERT_TRUE(held.WaitForReader(5s));
  std::thread opener = OpenLater(held, 20ms);
  io->SuspendThreads();  // returns once the load pauses at a progress report
  opener.join();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(io->ThreadsCount(), 1);
  {
    std::lock_guard<std::mutex> l(log.m);
    EXPECT_EQ(log.finished, 0);
  }
  io->ResumeThreads();
  io->WaitThreads(false);
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(target.Height(), 200);
  EXPECT_EQ(log.finished, 1);
}

TEST(VexlaneIORequests, SavesAndDispatchedLoadsRunOnRequestThreadsToo) {
  TVXBitmap target;
  target.Allocate(5, 3, vx24RGB);
  auto io = TVexlaneIO::CreateFromBitmap(&target);
  io->SetAsyncMode(true);
  TMemoryStream ms;
  io->SaveToStream(&ms, 8);
  io->WaitThreads(false);
  ASSERT_GT(ms.Size(), 0);
  ms.SetPosition(0);
  TVXBitmap other;
  io->SetAttachedVXBitmap(&other);
  EXPECT_TRUE(io->LoadFromStream(&ms));
  io->WaitThreads(false);
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(other.Width(), 5);
}

// ---- an attached viewer ----

TEST(VexlaneIOViewer, AnAsyncLoadPostsProgressEndAndUpdateToAViewerWithAParent) {
  TRecordingHost host(vxvhImageView, true);
  TVexlaneIO io;
  io.SetAttachedVexlane(&host);
  EXPECT_EQ(io.VXBitmap(), host.bitmap.get());
  io.SetAsyncMode(true);
  TEventLog log;
  log.Attach(io);
  THeldStream held(MakePNG(4, 50), 0);
  held.Open();
  ASSERT_TRUE(io.LoadFromStreamPNG(&held));
  io.WaitThreads(false);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(host.bitmap->Height(), 50);
  EXPECT_TRUE(log.progress.empty());  // the events went to the viewer
  EXPECT_EQ(log.finished, 0);
  const auto progress = host.CallsNamed("Post8027");
  ASSERT_GE(progress.size(), 2u);
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i].Arg, progress[i - 1].Arg);
  EXPECT_EQ(progress.back().Arg, 100);
  EXPECT_EQ(host.CallsNamed("Post8028").size(), 1u);
  EXPECT_EQ(host.CallsNamed("Post8024").size(), 1u);
  // The viewer announces the change when it handles the update.
  EXPECT_TRUE(host.CallsNamed("ImageChange").empty());
  EXPECT_TRUE(host.CallsNamed("Update").empty());
  for (const auto& c : host.Calls()) EXPECT_NE(c.Thread, std::this_thread::get_id()) << c.Name;
  // The finish message comes last, after the update.
  const auto names = host.Names();
  EXPECT_EQ(names.back(), "Post8028");
}

TEST(VexlaneIOViewer, WithoutAParentTheEventsRunOnTheRequestThread) {
  TRecordingHost host(vxvhImageView, false);
  TVexlaneIO io;
  io.SetAttachedVexlane(&host);
  io.SetAsyncMode(true);
  TEventLog log;
  log.Attach(io);
  THeldStream held(MakePNG(4, 20), 0);
  held.Open();
  io.LoadFromStreamPNG(&held);
  io.WaitThreads(false);
  EXPECT_EQ(log.finished, 1);
  ASSERT_FALSE(log.progress.empty());
  EXPECT_EQ(log.progress.back(), 100);
  for (auto id : log.threads) EXPECT_NE(id, std::this_thread::get_id());
  for (const auto& c : host.Calls()) EXPECT_EQ(c.Name.rfind("Post", 0), std::string::npos) << c.Name;
  EXPECT_EQ(host.CallsNamed("ImageChange").size(), 1u);
}

TEST(VexlaneIOViewer, ASynchronousLoadUpdatesAndHandsTheResolutionBetweenLocks) {
  struct Case {
    TVXViewHostKind kind;
    bool dpiReachesViewer;
  } cases[] = {{vxvhView, false}, {vxvhImageView, true}, {vxvhVectView, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.kind));
    TRecordingHost host(c.kind);
    TVexlaneIO io;
    io.SetAttachedVexlane(&host);
    TMemoryStream ms;
    const auto png = MakePNG(2, 2);
    ms.WriteBuffer(png.data(), int64_t(png.size()));
    ms.SetPosition(0);
    host.Clear();
    ASSERT_TRUE(io.LoadFromStreamPNG(&ms));
    const auto names = host.Names();
    EXPECT_EQ(host.CallsNamed("Update").size(), 1u);
    EXPECT_EQ(host.CallsNamed("ImageChange").size(), 1u);
    const std::vector<std::string> locked = {"LockUpdate", "SetDPI", "UnLockUpdateEx"};
    const auto it = std::search(names.begin(), names.end(), locked.begin(), locked.end());
    EXPECT_EQ(it != names.end(), c.dpiReachesViewer);
    host.Clear();
    io.Params().SetDpiX(300);
    if (c.dpiReachesViewer) {
      EXPECT_EQ(host.Names(), (std::vector<std::string>{"LockUpdate", "SetDpiX", "UnLockUpdateEx"}));
      EXPECT_EQ(host.CallsNamed("SetDpiX")[0].Arg, 300);
    } else {
      EXPECT_TRUE(host.Names().empty());
    }
  }
}

TEST(VexlaneIOViewer, LayerFilesAreTheViewersToWrite) {
  struct Case {
    TVXViewHostKind kind;
    const char* name;
    int32_t format;
    const char* call;  // nullptr: the wrong kind of viewer raises
  } cases[] = {
      {vxvhImageView, "a.lyr", -1, "LayersSaveToFile"}, {vxvhVectView, "a.lyr", -1, "LayersSaveToFile"},
      {vxvhImageView, "a.bin", 26, "LayersSaveToFile"}, {vxvhVectView, "a.all", -1, "SaveToFileAll"},
      {vxvhVectView, "a.bin", 27, "SaveToFileAll"},     {vxvhImageView, "a.all", -1, nullptr},
      {vxvhView, "a.lyr", -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + std::string(" ") + std::to_string(c.format));
    TRecordingHost host(c.kind);
    TVexlaneIO io;
    io.SetAttachedVexlane(&host);
    if (!c.call) {
      EXPECT_THROW(io.SaveToFile(c.name, c.format), EVXException);
      continue;
    }
    io.SaveToFile(c.name, c.format);
    const auto calls = host.CallsNamed(c.call);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Arg, -1);
  }
}

TEST(VexlaneIOViewer, ABackgroundReachesOnlyViewersThatTakeIt) {
  struct Case {
    TVXViewHostKind kind;
    bool change, reaches;
  } cases[] = {{vxvhView, false, false},      {vxvhView, true, true},  {vxvhImageView, true, true},
               {vxvhVectView, true, true},    {vxvhMView, false, false}, {vxvhMView, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.kind)) + (c.change ? " change" : ""));
    TRecordingHost host(c.kind);
    TVexlaneIO io;
    io.SetAttachedVexlane(&host);
    io.SetChangeBackground(c.change);
    io.SetBackground(0x00FF00);
    EXPECT_EQ(host.background, c.reaches ? 0x00FF00 : 0x123456);
    EXPECT_EQ(io.Background(), host.background);
  }
}

TEST(VexlaneIOViewer, AttachmentFollowsTheViewer) {
  TRecordingHost host(vxvhImageView);
  TVexlaneIO io;
  io.SetAttachedVexlane(&host);
  EXPECT_EQ(host.Registrations(), 1u);
  // A new bitmap object of the viewer becomes the target, with its resolution.
  host.ReplaceBitmap();
  EXPECT_EQ(io.VXBitmap(), host.bitmap.get());
  EXPECT_EQ(io.Params().DpiX(), 150);
  EXPECT_EQ(io.Params().DpiY(), 120);
  // The background is the viewer's; a load changes it only when allowed.
  EXPECT_EQ(io.Background(), host.background);
  io.SetBackground(0x0000FF);
  EXPECT_EQ(host.background, 0x123456);
  io.SetChangeBackground(true);
  io.SetBackground(0x0000FF);
  EXPECT_EQ(host.background, 0x0000FF);
  // A nil bitmap only removes the registration: the viewer stays.
  io.SetAttachedVXBitmap(nullptr);
  EXPECT_EQ(io.AttachedVexlane(), &host);
  EXPECT_EQ(host.Registrations(), 0u);
  // A bitmap leaves the viewer.
  TVXBitmap mine;
  io.SetAttachedVXBitmap(&mine);
  EXPECT_EQ(io.AttachedVexlane(), nullptr);
  EXPECT_EQ(io.VXBitmap(), &mine);
}

TEST(VexlaneIOViewer, ADestroyedViewerIsForgottenAndItsBitmapNotUsed) {
  auto host = std::make_unique<TRecordingHost>(vxvhImageView);
  TVexlaneIO io;
  io.SetAttachedVexlane(host.get());
  host->AnnounceDestruction();
  host.reset();
  EXPECT_EQ(io.AttachedVexlane(), nullptr);
  ASSERT_NE(io.VXBitmap(), nullptr);
  TMemoryStream ms;
  const auto png = MakePNG(3, 3);
  ms.WriteBuffer(png.data(), int64_t(png.size()));
  ms.SetPosition(0);
  EXPECT_TRUE(io.LoadFromStreamPNG(&ms));
  EXPECT_EQ(io.VXBitmap()->Width(), 3);
}

TEST(VexlaneIOViewer, AdjustDPIReturnsASquarePixelCopy) {
  TVXBitmap b;
  b.Allocate(100, 50, vx24RGB);
  TIOParamsVals p(nullptr);
  struct Case {
    int32_t w, h, dx, dy;
    bool filtered;
    int32_t ew, eh, edx, edy;  // ew 0: the bitmap itself comes back
  } cases[] = {
      {100, 50, 200, 100, false, 100, 100, 200, 200},
      {50, 100, 200, 100, true, 25, 100, 100, 100},
      {100, 50, 100, 100, false, 0, 0, 100, 100},
      {100, 50, 0, 100, false, 0, 0, 0, 100},
  };
  for (const Case& c : cases) {
    b.Allocate(c.w, c.h, vx8g);
    p.SetWidth(c.w);
    p.SetHeight(c.h);
    p.SetDpiX(c.dx);
    p.SetDpiY(c.dy);
    std::unique_ptr<TVXBitmap> owned;
    TVXBitmap* r = VXAdjustDPI(&b, p, c.filtered);
    if (r != &b) owned.reset(r);
    if (c.ew == 0) {
      EXPECT_EQ(r, &b);
    } else {
      ASSERT_NE(r, &b);
      EXPECT_EQ(r->Width(), c.ew);
      EXPECT_EQ(r->Height(), c.eh);
      EXPECT_EQ(r->PixelFormat(), c.filtered ? vx24RGB : vx8g);
      EXPECT_FALSE(r->HasAlphaChannel());
      EXPECT_EQ(b.Width(), c.w);
    }
    EXPECT_EQ(p.DpiX(), c.edx);
    EXPECT_EQ(p.DpiY(), c.edy);
  }
}

}  // namespace

// A viewer whose window is made on the main thread: the request waits there.
class TMainThreadWindowHost : public TRecordingHost {
 public:
  using TRecordingHost::TRecordingHost;
  void HandleNeededOnMainThread() override {
    VXSynchronize([this] { madeOn = std::this_thread::get_id(); });
  }
  std::atomic<std::thread::id> madeOn{};
};

TEST(VexlaneIORequests, ChangingTheTargetWaitsForTheRunningRequest) {
  enum Kind { kBitmap, kPlatformBitmap, kViewer, kNoViewer };
  for (Kind kind : {kBitmap, kPlatformBitmap, kViewer, kNoViewer}) {
    SCOPED_TRACE(int(kind));
    // The request reports to a viewer in a window, whose window the main
    // thread has to make while it waits.
    TMainThreadWindowHost host(vxvhImageView, true);
    TVexlaneIO io;
    io.SetAttachedVexlane(&host);
    io.SetAsyncMode(true);
    io.OnFinishWork = [](void*) {};
    THeldStream slow(MakePNG(4, 60), 100);
    slow.DelayPerRead = 2ms;
    ASSERT_TRUE(io.LoadFromStreamPNG(&slow));
    ASSERT_TRUE(slow.WaitForReader(5s));
    std::thread opener = OpenLater(slow, 30ms);
    TVXBitmap other;
    TBitmap platform;
    switch (kind) {
      case kBitmap: io.SetAttachedVXBitmap(&other); break;
      case kPlatformBitmap: io.SetAttachedBitmap(&platform); break;
      case kViewer: {
        TRecordingHost second(vxvhImageView);
        io.SetAttachedVexlane(&second);
        EXPECT_EQ(io.ThreadsCount(), 0);
        io.SetAttachedVexlane(nullptr);
        break;
      }
      case kNoViewer: io.SetAttachedVexlane(nullptr); break;
    }
    EXPECT_EQ(io.ThreadsCount(), 0);
    opener.join();
    // The load went whole into the viewer it started on.
    EXPECT_EQ(host.bitmap->Height(), 60);
    EXPECT_EQ(other.Height(), 0);
    EXPECT_EQ(host.madeOn.load(), std::this_thread::get_id());
  }
}

TEST(VexlaneIORequests, AViewerGoingAwayWaitsForTheRequestAndLeavesATargetOfTheComponent) {
  auto host = std::make_unique<TRecordingHost>(vxvhImageView, false);
  TVexlaneIO io;
  io.SetAttachedVexlane(host.get());
  io.SetAsyncMode(true);
  THeldStream slow(MakePNG(4, 60), 100);
  slow.DelayPerRead = 2ms;
  ASSERT_TRUE(io.LoadFromStreamPNG(&slow));
  ASSERT_TRUE(slow.WaitForReader(5s));
  std::thread opener = OpenLater(slow, 30ms);
  host->AnnounceDestruction();
  EXPECT_EQ(io.ThreadsCount(), 0);
  EXPECT_EQ(host->bitmap->Height(), 60);
  host.reset();
  opener.join();
  EXPECT_EQ(io.AttachedVexlane(), nullptr);
  ASSERT_NE(io.VXBitmap(), nullptr);
  EXPECT_EQ(io.AttachedVXBitmap(), nullptr);  // its own
  // The component goes on working on its own target.
  io.SetAsyncMode(false);
  TMemoryStream ms;
  const auto png = MakePNG(3, 2);
  ms.WriteBuffer(png.data(), int64_t(png.size()));
  ms.SetPosition(0);
  EXPECT_TRUE(io.LoadFromStreamPNG(&ms));
  EXPECT_EQ(io.VXBitmap()->Width(), 3);
}
