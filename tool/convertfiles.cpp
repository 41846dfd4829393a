#include "tool/convertfiles.h"

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/signal_cleanup.h"
#include "platform/win_console.h"
#include "platform/win_files.h"
#include "tool/convertimage.h"
#include "tool/output_file.h"
#include "tool/resize_branch.h"
#include "tool/tarvello_main.h"
#include "tool/zolib.h"

namespace {

// Processors this process may run on (taskset limits them).
size_t UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? size_t(n) : 1;
}

// Files in flight at once, whatever the processors: each holds, besides its
// pixels, its decoder's and encoder's state and buffers (about half a
// megabyte). Five keep a run over many small images within the memory of a
// converter process that does one image, at about three quarters of the
// speed that eight would give.
constexpr size_t kMaxFilesInFlight = 5;

// Memory the files in flight may take together (a single larger file runs
// alone): enough for small files to fill every processor, while large ones go
// two at a time.
constexpr int64_t kMemoryBudget = int64_t(40) << 20;

// What working on a PNG file takes, about: its pixels with alpha as decoded,
// and as much again for resampling and saving. 0 when the header is unreadable.
int64_t MemoryEstimate(const std::string& File) {
  uint8_t h[24];
  FILE* f = std::fopen(File.c_str(), "rb");
  if (f == nullptr) return 0;
  const size_t n = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  if (n < sizeof h || std::memcmp(h + 12, "IHDR", 4) != 0) return 0;
  auto be32 = [&](int i) { return int64_t(h[i]) << 24 | int64_t(h[i + 1]) << 16 | int64_t(h[i + 2]) << 8 | h[i + 3]; };
  return be32(16) * be32(20) * 5;
}

// The modes of the calls made for every file, in order.
std::vector<uint8_t> CallModes(const TRunOptions& O) {
  if (O.Copy && O.Buckets == 0) return {0};
  std::vector<uint8_t> modes;
  for (uint8_t mode = 1; mode <= 6; ++mode)
    if (O.Buckets & (1u << (mode - 1))) modes.push_back(mode);
  return modes;
}

bool CallImage(const std::string& File, const TRunOptions& O, uint8_t Mode, const std::string& QuantPath,
               TPendingImage* Pending) {
  const bool copy = Mode == 0;
  const int32_t dip = copy ? 0 : O.Dip;
  if (Pending == nullptr)
    return ConvertImage(File, O.OutDir, Mode, dip, copy, O.EightBit, O.NewerOnly, O.LongSide, QuantPath);
  return PrepareImage(File, O.OutDir, Mode, dip, copy, O.EightBit, O.NewerOnly, O.LongSide, QuantPath, *Pending);
}

// One call of ConvertImage, done ahead: its text and its result waiting to be
// put in place.
struct TCall {
  std::string Text;
  bool Ok = false;
  TPendingImage Pending;
};

// All calls of one file.
struct TJob {
  std::string File;
  std::vector<TCall> Calls;
  size_t Started = 0;  // calls begun; the last one may have failed
  bool Taken = false;  // by a worker; guarded by the run's lock
  std::exception_ptr Error;
  bool Done = false;   // guarded by the run's lock
};

class TParallelRun {
public:
  TParallelRun(const std::vector<std::string>& Files, const TRunOptions& O, const std::string& QuantPath,
               size_t Workers, std::map<std::string, bool> MissingAtStart)
      : FOptions(O), FQuant(QuantPath), FModes(CallModes(O)), FWindow(std::max<size_t>(64, 8 * Workers)),
        FMissingAtStart(std::move(MissingAtStart)) {
    std::map<std::string, size_t> lastOfName;
    for (size_t i = 0; i < Files.size(); ++i) {
      auto job = std::make_unique<TJob>();
      job->File = Files[i];
      job->Calls.resize(FModes.size());
      FJobs.push_back(std::move(job));
      // Files of the same name share their targets: the later waits for the earlier.
      const std::string name = ExtractFileName(Files[i]);
      auto it = lastOfName.find(name);
      FPrevious.push_back(it == lastOfName.end() ? SIZE_MAX : it->second);
      lastOfName[name] = i;
      FMemory.push_back(MemoryEstimate(Files[i]));
    }
    for (size_t w = 0; w < Workers; ++w) FThreads.emplace_back([this] { Work(); });
  }

  ~TParallelRun() { Stop(true); }

  // Puts the results in place in order; false after the first failed call.
  bool Finish() {
    for (size_t i = 0; i < FJobs.size(); ++i) {
      TJob& job = *FJobs[i];
      {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return job.Done; });
      }
      for (size_t c = 0; c < job.Started; ++c) {
        TCall& call = job.Calls[c];
        ConsoleWrite(call.Text);
        if (job.Error && c + 1 == job.Started) {
          Stop(true);
          std::rethrow_exception(job.Error);
        }
        if (!call.Ok || !FinishImage(call.Pending)) {
          FailedAt(i, c);
          return false;
        }
      }
      std::lock_guard<std::mutex> lock(FLock);
      FCommitted = i + 1;
      FChanged.notify_all();
    }
    Stop(false);
    return true;
  }

private:
  void Work() {
    for (;;) {
      size_t j = SIZE_MAX;
      {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return FCancel || FStarted == FJobs.size() || (j = NextJob()) != SIZE_MAX; });
        if (FCancel || FStarted == FJobs.size()) return;
        FJobs[j]->Taken = true;
        ++FStarted;
        FInFlight += FMemory[j];
      }
      TJob& job = *FJobs[j];
      try {
        for (size_t c = 0; c < FModes.size() && !FCancel; ++c) {
          TCall& call = job.Calls[c];
          ++job.Started;
          TConsoleCapture capture(call.Text);
          call.Ok = CallImage(job.File, FOptions, FModes[c], FQuant, &call.Pending);
          if (!call.Ok) break;
        }
      } catch (...) {
        job.Error = std::current_exception();
      }
      ForgetDecodedSource();
      std::lock_guard<std::mutex> lock(FLock);
      FInFlight -= FMemory[j];
      job.Done = true;
      FChanged.notify_all();
    }
  }

  // The job to start next, or SIZE_MAX when none may start now: of the jobs
  // not yet started within the window, those whose earlier namesake is in
  // place and whose memory fits, the largest (the longest to run, so that it
  // does not end the run alone), the first of equals.
  size_t NextJob() {
    while (FFirstWaiting < FJobs.size() && FJobs[FFirstWaiting]->Taken) ++FFirstWaiting;
    const size_t end = std::min(FJobs.size(), FCommitted + FWindow);
    size_t best = SIZE_MAX;
    for (size_t j = FFirstWaiting; j < end; ++j) {
      if (FJobs[j]->Taken) continue;
      const size_t prev = FPrevious[j];
      if (prev != SIZE_MAX && prev >= FCommitted) continue;
      if (FInFlight != 0 && FInFlight + FMemory[j] > kMemoryBudget) continue;
      if (best == SIZE_MAX || FMemory[j] > FMemory[best]) best = j;
    }
    return best;
  }

  // Ends the workers; with Cancel also the work they have not finished.
  void Stop(bool Cancel) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (Cancel) FCancel = true;
      FChanged.notify_all();
    }
    if (Cancel) EndSignalChildren();  // quantisers of files whose results will not be used
    for (auto& t : FThreads) t.join();
    FThreads.clear();
  }

  // The calls after the failed one never ran in the one-after-another run: their
  // results go, and so do the bucket folders that only they made.
  void FailedAt(size_t Job, size_t Call) {
    Stop(true);
    FJobs.clear();
    if (Job > 0) return;  // the first file made every folder
    for (size_t c = Call + 1; c < FModes.size(); ++c) {
      const std::string dir = JoinPath(FOptions.OutDir, DensityTarget(FModes[c], FOptions.Dip).Folder);
      if (FMissingAtStart.count(dir)) rmdir(dir.c_str());
    }
  }

  const TRunOptions& FOptions;
  const std::string FQuant;
  const std::vector<uint8_t> FModes;
  const size_t FWindow;
  std::vector<std::unique_ptr<TJob>> FJobs;
  std::vector<size_t> FPrevious;  // the earlier file of the same name, or SIZE_MAX
  std::vector<int64_t> FMemory;   // estimates, and the sum of those in flight
  int64_t FInFlight = 0;
  std::vector<std::thread> FThreads;
  std::mutex FLock;
  std::condition_variable FChanged;
  size_t FStarted = 0, FFirstWaiting = 0, FCommitted = 0;
  std::atomic<bool> FCancel{false};
  const std::map<std::string, bool> FMissingAtStart;
};

}  // namespace

bool ConvertFiles(const std::vector<std::string>& Files, const TRunOptions& Options, const std::string& QuantPath) {
  const std::vector<uint8_t> modes = CallModes(Options);
  const size_t workers = std::min({Files.size(), UsableProcessors(), kMaxFilesInFlight});
  if (workers <= 1) {
    for (const auto& file : Files)
      for (uint8_t mode : modes)
        if (!CallImage(file, Options, mode, QuantPath, nullptr)) return false;
    return true;
  }
  // Bucket folders that do not exist yet: a failure removes those that the calls
  // before it would not have made.
  std::map<std::string, bool> missing;
  for (uint8_t mode : modes) {
    if (mode == 0) continue;
    const std::string dir = JoinPath(Options.OutDir, DensityTarget(mode, Options.Dip).Folder);
    if (!DirExists(dir)) missing[dir] = true;
  }
  TParallelRun run(Files, Options, QuantPath, workers, std::move(missing));
  return run.Finish();
}
