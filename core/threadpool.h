#pragma once
// Processor count and a pool of workers for banded image work.
//
// Typical use (one band per core):
//   int32_t n = VXProcessorCount();
//   TVXThreadPool pool;
//   for (int32_t i = 0; i < n; ++i) pool.Add([&, i] { DoBand(i); });
//   pool.Join();   // returns when every band is done; rethrows a band's exception
//
// The work runs on a set of persistent worker threads shared by all pools, so
// a pool is cheap to create for small jobs; a pool's waiter also runs work of
// its own pool that no worker has taken yet, so pools may nest.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Number of physical processor cores (at least 1); counted on the first call
// and cached in the settings' DefaultCoresCount.
int32_t VXProcessorCount();

class TVXThreadPool {
public:
  TVXThreadPool();
  // Waits for work still running (exceptions are dropped here).
  ~TVXThreadPool();
  TVXThreadPool(const TVXThreadPool&) = delete;
  TVXThreadPool& operator=(const TVXThreadPool&) = delete;

  // Appends a piece of work and starts it at once.
  void Add(std::function<void()> Thread);
  // Waits for every piece in list order and keeps them; then rethrows the
  // exception of the first piece (in list order) that raised one.
  void WaitFor();
  // Waits for every piece, then empties the list; rethrows like WaitFor.
  void Join();
  // Pieces in the list.
  int32_t Count() const;

  struct TGroup;

private:
  std::shared_ptr<TGroup> fGroup;
};

// While a TVXPoolHelpers lives, the pools' pieces run on threads of the
// caller instead of on the shared workers. It is for a caller that already
// keeps every processor busy with threads of its own: pieces added meanwhile
// wait until one of those threads calls VXPoolHelp (between jobs of its own),
// or until their pool's waiter runs them itself, so that no more threads run
// than there are processors and none of them is put aside for another. No
// shared worker takes a piece while one lives; every waiter (not only the
// pool's workers) runs the pieces of its own pool that nobody has taken, so a
// piece never waits for a worker that will not come. Nothing of the pieces'
// results depends on where they run.
//
//   TVXPoolHelpers helpers([&] { wake one of my threads });
//   ... each of my threads, between jobs: while (VXPoolHelp()) {}
class TVXPoolHelpers {
public:
  // Wake is called, on the thread that added it and outside the pools'
  // locks, each time a piece is added: one of the caller's threads waiting
  // for work of its own may help instead. The helpers object (and what Wake
  // uses) must outlive every thread that may add pieces while it lives.
  explicit TVXPoolHelpers(std::function<void()> Wake);
  // The shared workers take whatever pieces still wait.
  ~TVXPoolHelpers();
  TVXPoolHelpers(const TVXPoolHelpers&) = delete;
  TVXPoolHelpers& operator=(const TVXPoolHelpers&) = delete;

private:
  std::function<void()> fPreviousWake;
};

// Runs one piece that waits for a helper on the calling thread; false when
// none waits (always false while no TVXPoolHelpers lives).
bool VXPoolHelp();

namespace vxdetail {
// Physical cores described by a sysfs cpu folder (e.g. "/sys/devices/system/cpu"):
// distinct (package, core) pairs among the cpuN folders; 0 when none is found.
int32_t VXCountPhysicalCores(const std::string& CpuDir);
// Number of persistent worker threads currently running.
int32_t VXPoolWorkerCount();
}  // namespace vxdetail
