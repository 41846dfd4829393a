#include "tool/convertfiles.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "core/threadpool.h"
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

// Memory the calls in flight may take together (a single larger call runs
// alone): enough for small files to fill every processor, while the buckets of
// a large file go side by side from its one decoded source.
constexpr int64_t kMemoryBudget = int64_t(40) << 20;

// A decoded image this large (or larger) is among the files that set the
// pace of a run.
constexpr int64_t kLargeSource = int64_t(4) << 20;

// What one call holds besides the source, about, for its codec: the
// encoder's deflate state and buffers, the decoder's when it decodes.
constexpr int64_t kCodecMemory = int64_t(512) << 10;

// The size of a PNG file's image; 0 x 0 when the header is unreadable.
struct TSourceShape {
  int64_t Width = 0, Height = 0;
  int64_t PixelBytes = 0;  // per pixel as decoded, alpha channel included
  bool OnePass = false;    // decoded as colour rows in one pass (not interlaced, more than one bit)
};

TSourceShape SourceShape(const std::string& File) {
  uint8_t h[29];
  FILE* f = std::fopen(File.c_str(), "rb");
  if (f == nullptr) return {};
  const size_t n = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  if (n < sizeof h || std::memcmp(h + 12, "IHDR", 4) != 0) return {};
  auto be32 = [&](int i) { return int64_t(h[i]) << 24 | int64_t(h[i + 1]) << 16 | int64_t(h[i + 2]) << 8 | h[i + 3]; };
  TSourceShape s;
  s.Width = be32(16);
  s.Height = be32(20);
  // Colour pixels (three bytes, six at 16 bits), with an alpha channel when
  // the file has one or may have one (palettes with transparency).
  const bool alpha = h[25] == 3 || h[25] == 4 || h[25] == 6;
  s.PixelBytes = (h[24] == 16 ? 6 : 3) + (alpha ? 1 : 0);
  s.OnePass = h[28] == 0 && h[24] > 1;
  return s;
}

// What a call of Mode holds at once besides the decoded source, about: the
// resampler's intermediate rows (target width by source height; none when
// they are made as the source is decoded), the resampled image, a
// nine-patch's working copy of the source, and the codec.
int64_t CallMemory(const TSourceShape& S, const TRunOptions& O, uint8_t Mode, bool NinePatch, bool Rows) {
  if (Mode == 0 || S.Width <= 0 || S.Height <= 0) return kCodecMemory;
  const int64_t size = DensityTarget(Mode, O.Dip).Size;
  const int64_t side = O.LongSide == (S.Width > S.Height) ? S.Width : S.Height;
  const int64_t w = S.Width * size / side + 1, h = S.Height * size / side + 1;
  int64_t bytes = ((Rows ? 0 : w * S.Height) + w * h) * S.PixelBytes + kCodecMemory;
  if (NinePatch) bytes += S.Width * S.Height * S.PixelBytes;
  return bytes;
}

// The sizes of the calls of Modes (empty when one of them copies).
std::vector<int32_t> CallSizes(const std::vector<uint8_t>& Modes, const TRunOptions& O) {
  std::vector<int32_t> sizes;
  for (uint8_t mode : Modes) {
    if (mode == 0) return {};
    sizes.push_back(DensityTarget(mode, O.Dip).Size);
  }
  return sizes;
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
  std::exception_ptr Error;
  int64_t Memory = 0;  // estimate while it runs
};

// All calls of one file. They start in order; once the source is decoded the
// later ones run side by side from it. Fields other than the calls' results
// are guarded by the run's lock.
struct TJob {
  std::string File;
  std::vector<TCall> Calls;
  TSharedSource Source;
  int64_t SourceMemory = 0;
  int64_t DecodedSize = 0;  // bytes of the decoded image, about
  size_t NextCall = 0;    // calls started
  size_t Running = 0;     // calls started and not ended
  bool Decoded = false;   // the source has been decoded (or its decoding tried)
  bool Failed = false;    // a call failed: the calls after it do not start
  bool Done = false;      // no call runs or will start
};

class TParallelRun {
public:
  TParallelRun(const std::vector<std::string>& Files, const TRunOptions& O, const std::string& QuantPath,
               size_t Workers, std::map<std::string, bool> MissingAtStart)
      : FOptions(O), FQuant(QuantPath), FModes(CallModes(O)), FWindow(std::max<size_t>(64, 8 * Workers)),
        FMissingAtStart(std::move(MissingAtStart)) {
    std::map<std::string, size_t> lastOfName;
    const std::vector<int32_t> sizes = CallSizes(FModes, O);
    for (size_t i = 0; i < Files.size(); ++i) {
      auto job = std::make_unique<TJob>();
      TJob* raw = job.get();
      job->File = Files[i];
      job->Calls.resize(FModes.size());
      const TSourceShape shape = SourceShape(Files[i]);
      const bool ninePatch = EndsWithText(Files[i], ".9.png", true);
      job->DecodedSize = shape.Width * shape.Height * shape.PixelBytes;
      job->SourceMemory = FModes.size() == 1 && FModes[0] == 0 ? 0 : job->DecodedSize;
      // Rows resampled as they are decoded: the intermediate rows of every
      // size in place of the source.
      bool rows = false;
      if (!ninePatch && !sizes.empty()) {
        job->Source.PlanSizes(sizes, O.LongSide);
        int64_t memory = 0;
        rows = shape.OnePass && shape.Width <= INT32_MAX && shape.Height <= INT32_MAX &&
               RowsResampled(int32_t(shape.Width), int32_t(shape.Height), shape.PixelBytes == 4 || shape.PixelBytes == 7,
                             sizes, O.LongSide, &memory);
        if (rows) job->SourceMemory = memory + kCodecMemory;
      }
      for (size_t c = 0; c < FModes.size(); ++c)
        job->Calls[c].Memory = CallMemory(shape, O, FModes[c], ninePatch, rows);
      job->Source.OnDecoded = [this, raw] {
        std::lock_guard<std::mutex> lock(FLock);
        raw->Decoded = true;
        FChanged.notify_all();
      };
      FJobs.push_back(std::move(job));
      // Files of the same name share their targets: the later waits for the earlier.
      const std::string name = ExtractFileName(Files[i]);
      auto it = lastOfName.find(name);
      FPrevious.push_back(it == lastOfName.end() ? SIZE_MAX : it->second);
      lastOfName[name] = i;
    }
    // The largest decoded images of the run (as many as there are workers)
    // may start before the window reaches them: they set the pace.
    std::vector<size_t> order(FJobs.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    const size_t largest = std::min(order.size(), Workers);
    std::partial_sort(order.begin(), order.begin() + ptrdiff_t(largest), order.end(), [&](size_t a, size_t b) {
      return FJobs[a]->DecodedSize > FJobs[b]->DecodedSize || (FJobs[a]->DecodedSize == FJobs[b]->DecodedSize && a < b);
    });
    for (size_t i = 0; i < largest; ++i)
      if (FJobs[order[i]]->DecodedSize >= kLargeSource) FLargest.push_back(order[i]);
    std::sort(FLargest.begin(), FLargest.end());
    // The workers keep every processor busy: the pools' pieces (a large
    // source's rows, bands of a resample) run on them, between calls, instead
    // of on more threads that would take turns with a large file's decoding.
    FHelpers = std::make_unique<TVXPoolHelpers>([this] {
      std::lock_guard<std::mutex> lock(FLock);
      FPieceAdded = true;
      if (FWaiting > 0) FChanged.notify_all();
    });
    for (size_t w = 0; w < Workers; ++w) FThreads.emplace_back([this] { Work(); });
    // The workers begin once they all exist: a worker that starts on a large
    // file at once takes the memory map's lock with its first page faults,
    // and the next threads would wait for it to be made.
    {
      std::lock_guard<std::mutex> lock(FLock);
      FStarted = true;
    }
    FChanged.notify_all();
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
      for (size_t c = 0; c < job.NextCall; ++c) {
        TCall& call = job.Calls[c];
        if (call.Error) {
          ConsoleWrite(call.Text);
          Stop(true);
          std::rethrow_exception(call.Error);
        }
        // The call's line and what putting it in place prints go out together.
        bool placed = false;
        {
          TConsoleCapture capture(call.Text);
          placed = call.Ok && FinishImage(call.Pending);
        }
        ConsoleWrite(call.Text);
        if (!placed) {
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
      while (VXPoolHelp()) {
      }
      size_t j = SIZE_MAX, c = 0;
      {
        std::unique_lock<std::mutex> lock(FLock);
        // A worker stays while calls run: their pieces may need it.
        ++FWaiting;
        FChanged.wait(lock, [&] { return FStarted; });
        FChanged.wait(lock, [&] { return FCancel || FPieceAdded || (FAllStarted() && FRunning == 0) || NextCall(j, c); });
        --FWaiting;
        if (FCancel) return;
        if (j == SIZE_MAX) {
          if (!FPieceAdded) return;
          FPieceAdded = false;
          continue;
        }
      }
      TJob& job = *FJobs[j];
      TCall& call = job.Calls[c];
      try {
        TConsoleCapture capture(call.Text);
        TSharedSourceScope scope(&job.Source);
        call.Ok = CallImage(job.File, FOptions, FModes[c], FQuant, &call.Pending);
      } catch (...) {
        call.Error = std::current_exception();
      }
      bool last;
      {
        std::lock_guard<std::mutex> lock(FLock);
        FInFlight -= call.Memory;
        --FRunning;
        --job.Running;
        if (!call.Ok || call.Error) job.Failed = true;
        // A call that ended without the source decoded lets the next one try.
        last = job.Running == 0 && (job.Failed || job.NextCall == job.Calls.size());
        if (!last) FChanged.notify_all();
      }
      if (!last) continue;
      job.Source.Clear();
      std::lock_guard<std::mutex> lock(FLock);
      FInFlight -= job.SourceMemory;
      job.Done = true;
      FChanged.notify_all();
    }
  }

  bool FAllStarted() {
    while (FFirstOpen < FJobs.size() && (FJobs[FFirstOpen]->Failed || FJobs[FFirstOpen]->NextCall == FModes.size()))
      ++FFirstOpen;
    return FFirstOpen == FJobs.size();
  }

  bool Fits(int64_t Memory) const { return FInFlight + Memory <= kMemoryBudget; }

  // Chooses the call to start next and takes it; false when none may start
  // now. First the next call of a file under way, the earliest such file, once
  // its source is decoded (or no call of it runs); otherwise the first call of
  // a file not yet started, within the window or among the largest files of
  // the run, one whose earlier namesake is in place and whose memory fits, the
  // largest decoded image (the longest to run, so that it does not end the
  // run alone), the first of equals. When nothing runs, any call may start
  // whatever its memory.
  bool NextCall(size_t& J, size_t& C) {
    const size_t end = std::min(FJobs.size(), FCommitted + FWindow);
    size_t best = SIZE_MAX;
    // True when the next call of a file under way was taken.
    auto consider = [&](size_t j) {
      TJob& job = *FJobs[j];
      if (job.Failed || job.NextCall == job.Calls.size()) return false;
      if (job.NextCall > 0) {
        if (!job.Decoded && job.Running > 0) return false;
        if (FRunning != 0 && !Fits(job.Calls[job.NextCall].Memory)) return false;
        return Take(j, J, C);
      }
      const size_t prev = FPrevious[j];
      if (prev != SIZE_MAX && prev >= FCommitted) return false;
      const int64_t need = job.SourceMemory + job.Calls[0].Memory;
      if (FInFlight != 0 && !Fits(need)) return false;
      if (best == SIZE_MAX || job.DecodedSize > FJobs[best]->DecodedSize ||
          (job.DecodedSize == FJobs[best]->DecodedSize && j < best))
        best = j;
      return false;
    };
    for (size_t j = FFirstOpen; j < end; ++j)
      if (consider(j)) return true;
    for (size_t j : FLargest)
      if (j >= end && consider(j)) return true;
    if (best == SIZE_MAX) return false;
    FInFlight += FJobs[best]->SourceMemory;
    return Take(best, J, C);
  }

  bool Take(size_t j, size_t& J, size_t& C) {
    TJob& job = *FJobs[j];
    J = j;
    C = job.NextCall++;
    ++job.Running;
    ++FRunning;
    FInFlight += job.Calls[C].Memory;
    return true;
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
    FHelpers.reset();
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
  std::vector<size_t> FLargest;   // the largest files, in list order
  int64_t FInFlight = 0;          // memory estimates of the sources and calls in flight
  size_t FRunning = 0;            // calls running
  std::vector<std::thread> FThreads;
  std::mutex FLock;
  std::condition_variable FChanged;
  size_t FFirstOpen = 0, FCommitted = 0;
  std::atomic<bool> FCancel{false};
  const std::map<std::string, bool> FMissingAtStart;
  std::unique_ptr<TVXPoolHelpers> FHelpers;  // while the workers run
  size_t FWaiting = 0;       // workers waiting for a call or a piece
  bool FPieceAdded = false;  // a piece was added since a worker last looked
  bool FStarted = false;     // every worker exists
};

}  // namespace

bool ConvertFiles(const std::vector<std::string>& Files, const TRunOptions& Options, const std::string& QuantPath) {
  const std::vector<uint8_t> modes = CallModes(Options);
  const size_t workers = std::min(Files.size() * modes.size(), UsableProcessors());
  if (workers <= 1) {
    // The buckets of a file are made from its rows as they are decoded, as in
    // a run on several processors (one pass over the source for every size).
    const std::vector<int32_t> sizes = CallSizes(modes, Options);
    for (const auto& file : Files) {
      TSharedSource source;
      if (!sizes.empty() && !EndsWithText(file, ".9.png", true)) source.PlanSizes(sizes, Options.LongSide);
      TSharedSourceScope scope(&source);
      for (uint8_t mode : modes)
        if (!CallImage(file, Options, mode, QuantPath, nullptr)) return false;
    }
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
