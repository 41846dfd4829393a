// Processor count and thread pool.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/threadpool.h"
#include "runtime_test_util.h"

namespace {

void MakeCpu(const std::string& root, int cpu, int package, int core, const char* online = nullptr) {
  std::string d = root + "cpu" + std::to_string(cpu) + "/topology/";
  std::filesystem::create_directories(d);
  RuntimeWriteFile(d + "core_id", std::to_string(core) + "\n");
  RuntimeWriteFile(d + "physical_package_id", std::to_string(package) + "\n");
  if (online) RuntimeWriteFile(root + "cpu" + std::to_string(cpu) + "/online", online);
}

TEST(RuntimeThreads, PhysicalCoresAreCountedOncePerCore) {
  TRuntimeScratchDir dir;
  const std::string root = dir.Path();
  // Two packages of two cores with two hardware threads each, one CPU
  // offline, and entries that are not CPUs.
  int cpu = 0;
  for (int pkg = 0; pkg < 2; ++pkg)
    for (int core = 0; core < 2; ++core)
      for (int t = 0; t < 2; ++t) MakeCpu(root, cpu++, pkg, core);
  MakeCpu(root, cpu++, 5, 9, "0\n");
  std::filesystem::create_directories(root + "cpufreq");
  std::filesystem::create_directories(root + "cpuidle");
  EXPECT_EQ(vxdetail::VXCountPhysicalCores(root), 4);
  EXPECT_EQ(vxdetail::VXCountPhysicalCores(root + "does-not-exist"), 0);
}

TEST(RuntimeThreads, ProcessorCountIsCachedInTheSettings) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  int32_t saved = s->DefaultCoresCount();
  s->SetDefaultCoresCount(-1);
  int32_t n = VXProcessorCount();
  EXPECT_GE(n, 1);
  EXPECT_LE(n, int32_t(std::thread::hardware_concurrency()));
  EXPECT_EQ(s->DefaultCoresCount(), n);
  s->SetDefaultCoresCount(3);  // a stored count is used as it is
  EXPECT_EQ(VXProcessorCount(), 3);
  s->SetDefaultCoresCount(0);  // never less than one
  EXPECT_EQ(VXProcessorCount(), 1);
  s->SetDefaultCoresCount(saved);

  // Racing first callers agree.
  s->SetDefaultCoresCount(-1);
  std::vector<std::thread> ts;
  std::vector<int32_t> seen(8);
  for (int i = 0; i < 8; ++i) ts.emplace_back([&, i] { seen[size_t(i)] = VXProcessorCount(); });
  for (auto& t : ts) t.join();
  for (int32_t v : seen) EXPECT_EQ(v, n);
}

TEST(RuntimeThreads, BandsSpreadOverAllCoresAndJoinWaitsForAll) {
  const int32_t n = std::max<int32_t>(2, VXProcessorCount());
  const int height = 1000;
  std::vector<int> rows(height, 0);
  std::mutex lock;
  std::set<std::thread::id> threads;
  std::atomic<int> running{0}, peak{0};
  TVXThreadPool pool;
  const int band = height / n;
  for (int32_t i = 0; i < n; ++i) {
    int first = i * band, last = i == n - 1 ? height : first + band;
    pool.Add([&, first, last] {
      int now = ++running;
      int p = peak.load();
      while (now > p && !peak.compare_exchange_weak(p, now)) {
      }
      // Every band waits until all bands have started: with one band per
      // core they must all run at once (a pool running them one after
      // another would stop here until the time-out).
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (peak.load() < n && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      for (int r = first; r < last; ++r) rows[size_t(r)] += 1;
      {
        std::lock_guard<std::mutex> g(lock);
        threads.insert(std::this_thread::get_id());
      }
      --running;
    });
  }
  EXPECT_EQ(pool.Count(), n);
  pool.Join();
  EXPECT_EQ(pool.Count(), 0);
  for (int r = 0; r < height; ++r) ASSERT_EQ(rows[size_t(r)], 1) << "row " << r;
  EXPECT_EQ(int32_t(threads.size()), n);
  EXPECT_EQ(peak.load(), n);  // every band ran at the same time
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
}

TEST(RuntimeThreads, ExceptionOfABandReachesTheWaiter) {
  TVXThreadPool pool;
  std::atomic<int> finished{0};
  for (int i = 0; i < 6; ++i)
    pool.Add([&, i] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5 * i));
      if (i == 2) throw std::runtime_error("band 2 failed");
      if (i == 4) throw EVXException("band 4 failed");
      ++finished;
    });
  try {
    pool.WaitFor();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "band 2 failed");  // the first in list order
  }
  EXPECT_EQ(finished.load(), 4);  // the others still ran to their end
  EXPECT_EQ(pool.Count(), 6);     // WaitFor keeps the list
  EXPECT_THROW(pool.Join(), std::runtime_error);
  EXPECT_EQ(pool.Count(), 0);
  pool.Join();  // an empty pool joins at once
}

TEST(RuntimeThreads, PoolIsReusableAndCheapForSmallJobs) {
  // The workers are shared by the whole process: earlier work may have
  // started any number of them, so only the growth during this job counts.
  const int32_t before = vxdetail::VXPoolWorkerCount();
  TVXThreadPool pool;
  std::atomic<int64_t> sum{0};
  for (int round = 0; round < 500; ++round) {
    for (int i = 0; i < 4; ++i) pool.Add([&sum, i] { sum += i; });
    pool.Join();
  }
  EXPECT_EQ(sum.load(), 500 * 6);
  // The workers persist between jobs instead of growing with them.
  EXPECT_LE(vxdetail::VXPoolWorkerCount() - before, 64);
}

TEST(RuntimeThreads, FreeingAPoolWaitsForRunningWork) {
  std::atomic<bool> done{false};
  {
    TVXThreadPool pool;
    pool.Add([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(80));
      done = true;
    });
  }
  EXPECT_TRUE(done.load());
}

TEST(RuntimeThreads, NestedPoolsDoNotStarve) {
  // Every outer band waits for an inner pool of its own.
  const int outer = 2 * std::max<int32_t>(2, VXProcessorCount());
  std::atomic<int> inner{0};
  TVXThreadPool pool;
  for (int i = 0; i < outer; ++i)
    pool.Add([&] {
      TVXThreadPool nested;
      for (int k = 0; k < 8; ++k) nested.Add([&] { ++inner; });
      nested.Join();
    });
  pool.Join();
  EXPECT_EQ(inner.load(), outer * 8);
}

TEST(RuntimeThreads, HelpersRunThePiecesInsteadOfTheWorkers) {
  const std::thread::id self = std::this_thread::get_id();
  std::atomic<int> wakes{0};
  std::mutex lock;
  std::vector<std::thread::id> ranOn;
  auto record = [&] {
    std::lock_guard<std::mutex> g(lock);
    ranOn.push_back(std::this_thread::get_id());
  };
  {
    TVXPoolHelpers helpers([&] { ++wakes; });
    TVXThreadPool pool;
    for (int i = 0; i < 3; ++i) pool.Add(record);
    EXPECT_EQ(wakes.load(), 3);
    // No worker takes them: they wait for a helper.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(ranOn.empty());
    // A helper on another thread runs them, one a call, then finds none.
    std::thread helper([&] {
      int n = 0;
      while (VXPoolHelp()) ++n;
      EXPECT_EQ(n, 3);
    });
    helper.join();
    pool.Join();
    ASSERT_EQ(ranOn.size(), 3u);
    for (const auto& id : ranOn) EXPECT_NE(id, self);

    // The waiter runs its own pieces that nobody took; a later helper finds
    // only pieces already run and runs nothing twice.
    ranOn.clear();
    for (int i = 0; i < 4; ++i) pool.Add(record);
    pool.Join();
    ASSERT_EQ(ranOn.size(), 4u);
    for (const auto& id : ranOn) EXPECT_EQ(id, self);
    while (VXPoolHelp()) {
    }
    EXPECT_EQ(ranOn.size(), 4u);
  }
  EXPECT_FALSE(VXPoolHelp());
}

TEST(RuntimeThreads, PiecesLeftByHelpersGoToTheWorkers) {
  const std::thread::id self = std::this_thread::get_id();
  std::atomic<bool> ran{false};
  std::thread::id ranOn;
  TVXThreadPool pool;
  {
    TVXPoolHelpers helpers([] {});
    pool.Add([&] {
      ranOn = std::this_thread::get_id();
      ran = true;
    });
  }
  // Once the helpers are gone a worker takes the piece (this thread, not a
  // worker, only waits).
  pool.Join();
  EXPECT_TRUE(ran.load());
  EXPECT_NE(ranOn, self);
}

TEST(RuntimeThreads, NestedPoolsUnderHelpersDoNotStarve) {
  TVXPoolHelpers helpers([] {});
  std::atomic<int> inner{0};
  TVXThreadPool pool;
  for (int i = 0; i < 6; ++i)
    pool.Add([&] {
      TVXThreadPool nested;
      for (int k = 0; k < 5; ++k) nested.Add([&] { ++inner; });
      nested.Join();
    });
  std::thread helper([] {
    while (VXPoolHelp()) {
    }
  });
  pool.Join();
  helper.join();
  EXPECT_EQ(inner.load(), 30);
}

TEST(RuntimeThreads, PoolWorksInAForkedChild) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer does not allow threads after a fork of a threaded process";
#endif
  // The workers exist in the parent before the fork.
  {
    TVXThreadPool warm;
    for (int i = 0; i < 4; ++i) warm.Add([] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
    warm.Join();
  }
#if defined(__SANITIZE_ADDRESS__)
  // This compiler's address sanitizer does not hold its allocator across a
  // fork: a worker still freeing its finished task at that moment would leave
  // the child's first allocation waiting forever. Let the workers go idle.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
#endif
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(20);  // a hang would fail the test instead of blocking it
    std::atomic<int> n{0};
    TVXThreadPool pool;
    for (int i = 0; i < 4; ++i) pool.Add([&n] { ++n; });
    pool.Join();
    _exit(n.load() == 4 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the child hung or crashed";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
