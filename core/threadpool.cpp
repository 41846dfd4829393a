#include "core/threadpool.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <tuple>

#include "core/settings.h"

// ---------------------------------------------------------------------------
// Processor count

namespace vxdetail {

int32_t VXCountPhysicalCores(const std::string& CpuDir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(CpuDir, ec), end;
  if (ec) return 0;
  auto readInt = [](const fs::path& p, long& v) {
    std::ifstream f(p);
    return bool(f >> v);
  };
  std::set<std::tuple<long, long, long>> cores;
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    if (name.size() < 4 || name.compare(0, 3, "cpu") != 0 ||
        !std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    long online = 1;
    if (readInt(it->path() / "online", online) && online == 0) continue;
    const fs::path topo = it->path() / "topology";
    long core = 0, package = 0, die = 0;
    if (!readInt(topo / "core_id", core)) continue;
    readInt(topo / "physical_package_id", package);
    readInt(topo / "die_id", die);
    cores.emplace(package, die, core);
  }
  return int32_t(cores.size());
}

}  // namespace vxdetail

namespace {
int32_t CountCores() {
  int32_t n = vxdetail::VXCountPhysicalCores("/sys/devices/system/cpu");
  if (n < 1) return 1;
  // Never more workers than processors this process may run on.
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int allowed = CPU_COUNT(&set);
    if (allowed > 0 && allowed < n) n = allowed;
  }
  return std::max<int32_t>(1, n);
}
}  // namespace

int32_t VXProcessorCount() {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  int32_t c = s->DefaultCoresCount();
  if (c == -1) {
    static const int32_t counted = CountCores();
    c = counted;
    s->SetDefaultCoresCount(c);
  }
  return std::max<int32_t>(1, c);
}

// ---------------------------------------------------------------------------
// Workers shared by all pools

namespace {
struct TItem {
  std::function<void()> Fn;
  std::exception_ptr Error;
  std::atomic<bool> Taken{false};
  bool Done = false;  // guarded by the group's lock
};
}  // namespace

struct TVXThreadPool::TGroup {
  std::mutex Lock;
  std::condition_variable Finished;
  std::vector<std::shared_ptr<TItem>> Items;
  int32_t Pending = 0;

  void Run(const std::shared_ptr<TItem>& item) {
    try {
      item->Fn();
    } catch (...) {
      item->Error = std::current_exception();
    }
    item->Fn = nullptr;
    std::lock_guard<std::mutex> lock(Lock);
    item->Done = true;
    if (--Pending == 0) Finished.notify_all();
  }
};

namespace {
thread_local bool tIsPoolWorker = false;

class TWorkers;
TWorkers& Workers();

class TWorkers {
public:
  struct TTask {
    std::shared_ptr<TVXThreadPool::TGroup> Group;
    std::shared_ptr<TItem> Item;
  };

  TWorkers() { pthread_atfork(nullptr, nullptr, [] { Workers().AfterFork(); }); }

  ~TWorkers() {
    {
      std::lock_guard<std::mutex> lock(fLock);
      fStop = true;
    }
    fWake.notify_all();
    for (std::thread& t : fThreads)
      if (t.joinable()) t.join();
  }

  void Submit(TTask task) {
    std::function<void()> wakeHelper;
    {
      std::lock_guard<std::mutex> lock(fLock);
      if (fHelpers > 0) {
        fHelped.push_back(std::move(task));
        wakeHelper = fHelperWake;
      } else {
        fQueue.push_back(std::move(task));
        // Every piece starts at once: a new worker joins when no idle one is
        // left for it.
        if (int32_t(fQueue.size()) > fIdle && int32_t(fThreads.size()) < kMaxWorkers)
          fThreads.emplace_back([this] { Loop(); });
        else
          fWake.notify_one();
      }
    }
    if (wakeHelper) wakeHelper();
  }

  // Helpers begin (Wake: how to call one) or end (the previous call).
  std::function<void()> BeginHelpers(std::function<void()> Wake) {
    std::lock_guard<std::mutex> lock(fLock);
    fHelpersActive.store(++fHelpers > 0, std::memory_order_release);
    std::swap(fHelperWake, Wake);
    return Wake;
  }

  void EndHelpers(std::function<void()> PreviousWake) {
    std::lock_guard<std::mutex> lock(fLock);
    if (fHelpers == 0) return;  // begun in the parent of a forked child
    fHelperWake = std::move(PreviousWake);
    fHelpersActive.store(--fHelpers > 0, std::memory_order_release);
    if (fHelpers > 0 || fHelped.empty()) return;
    // Pieces nobody helped with yet (or already run by their waiters) go to
    // the workers, as many as wait.
    for (TTask& t : fHelped) fQueue.push_back(std::move(t));
    fHelped.clear();
    for (int32_t n = int32_t(fQueue.size()) - fIdle; n > 0 && int32_t(fThreads.size()) < kMaxWorkers; --n)
      fThreads.emplace_back([this] { Loop(); });
    fWake.notify_all();
  }

  bool Help() {
    TTask task;
    {
      std::lock_guard<std::mutex> lock(fLock);
      if (fHelped.empty()) return false;
      task = std::move(fHelped.front());
      fHelped.pop_front();
    }
    if (!task.Item->Taken.exchange(true)) task.Group->Run(task.Item);
    return true;
  }

  bool HelpersActive() const { return fHelpersActive.load(std::memory_order_acquire); }

  int32_t WorkerCount() {
    std::lock_guard<std::mutex> lock(fLock);
    return int32_t(fThreads.size());
  }

private:
  static constexpr int32_t kMaxWorkers = 256;

  // A forked child has only the thread that forked: the workers and whoever
  // held the lock are gone, so the pool starts afresh there.
  void AfterFork() {
    new (&fLock) std::mutex();
    new (&fWake) std::condition_variable();
    // The thread objects name threads of the parent: keep them, never join.
    new std::vector<std::thread>(std::move(fThreads));
    fThreads.clear();
    fQueue.clear();
    fHelped.clear();
    fHelpers = 0;
    fHelpersActive = false;
    fHelperWake = nullptr;
    fIdle = 0;
    fStop = false;
  }

  friend TWorkers& Workers();

  void Loop() {
    tIsPoolWorker = true;
    std::unique_lock<std::mutex> lock(fLock);
    for (;;) {
      ++fIdle;
      fWake.wait(lock, [this] { return fStop || !fQueue.empty(); });
      --fIdle;
      if (fQueue.empty()) return;  // stopping
      TTask task = std::move(fQueue.front());
      fQueue.pop_front();
      lock.unlock();
      if (!task.Item->Taken.exchange(true)) task.Group->Run(task.Item);
      task = TTask{};
      lock.lock();
    }
  }

  std::mutex fLock;
  std::condition_variable fWake;
  std::deque<TTask> fQueue;
  // Pieces added while helpers are active: only helpers and their waiters
  // run them.
  std::deque<TTask> fHelped;
  int32_t fHelpers = 0;
  std::atomic<bool> fHelpersActive{false};
  std::function<void()> fHelperWake;
  std::vector<std::thread> fThreads;
  int32_t fIdle = 0;
  bool fStop = false;
};

TWorkers& Workers() {
  static TWorkers w;
  return w;
}
}  // namespace

TVXPoolHelpers::TVXPoolHelpers(std::function<void()> Wake) : fPreviousWake(Workers().BeginHelpers(std::move(Wake))) {}

TVXPoolHelpers::~TVXPoolHelpers() { Workers().EndHelpers(std::move(fPreviousWake)); }

bool VXPoolHelp() { return Workers().Help(); }

namespace vxdetail {
int32_t VXPoolWorkerCount() { return Workers().WorkerCount(); }
}  // namespace vxdetail

// ---------------------------------------------------------------------------
// TVXThreadPool

TVXThreadPool::TVXThreadPool() : fGroup(std::make_shared<TGroup>()) {}

TVXThreadPool::~TVXThreadPool() {
  try {
    Join();
  } catch (...) {
  }
}

void TVXThreadPool::Add(std::function<void()> Thread) {
  auto item = std::make_shared<TItem>();
  item->Fn = std::move(Thread);
  {
    std::lock_guard<std::mutex> lock(fGroup->Lock);
    fGroup->Items.push_back(item);
    ++fGroup->Pending;
  }
  Workers().Submit({fGroup, item});
}

void TVXThreadPool::WaitFor() {
  std::vector<std::shared_ptr<TItem>> items;
  {
    std::lock_guard<std::mutex> lock(fGroup->Lock);
    items = fGroup->Items;
  }
  // A worker that waits for a nested pool runs the pieces nobody has taken
  // yet itself, so nested pools cannot starve the workers; so does every
  // waiter while helpers stand in for the workers.
  if (tIsPoolWorker || Workers().HelpersActive())
    for (auto& item : items)
      if (!item->Taken.exchange(true)) fGroup->Run(item);
  {
    std::unique_lock<std::mutex> lock(fGroup->Lock);
    fGroup->Finished.wait(lock, [this] { return fGroup->Pending == 0; });
  }
  for (auto& item : items)
    if (item->Error) std::rethrow_exception(item->Error);
}

void TVXThreadPool::Join() {
  std::exception_ptr first;
  try {
    WaitFor();
  } catch (...) {
    first = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(fGroup->Lock);
    fGroup->Items.clear();
  }
  if (first) std::rethrow_exception(first);
}

int32_t TVXThreadPool::Count() const {
  std::lock_guard<std::mutex> lock(fGroup->Lock);
  return int32_t(fGroup->Items.size());
}
