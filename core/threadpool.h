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

namespace vxdetail {
// Physical cores described by a sysfs cpu folder (e.g. "/sys/devices/system/cpu"):
// distinct (package, core) pairs among the cpuN folders; 0 when none is found.
int32_t VXCountPhysicalCores(const std::string& CpuDir);
// Number of persistent worker threads currently running.
int32_t VXPoolWorkerCount();
}  // namespace vxdetail
