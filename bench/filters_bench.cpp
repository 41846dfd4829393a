// Linear filters against ImageMagick: the 5x5 convolution, the "High Pass 2"
// 3x3 preset and the Gaussian blur with sigma 2 and 8, on a 4000 x 3000
// photo-like vx24RGB image.
//
// Each operation runs alone on a fresh copy of the image (the copy is not
// timed). ImageMagick runs `convert IN <operation> null:` and its time is
// taken net of `convert IN null:` on the same input; every figure is the
// best of several runs. Both sides run first on one thread (the library's
// core count 1; ImageMagick with -limit thread 1 and its caches held in
// memory), then on all cores for information. The one-thread lines read
// "<op>: <ratio>x ImageMagick"; the last line is the geometric mean of them,
// "filters: <ratio>x ImageMagick".
//
// Usage: bench_filters [runs] [temp folder]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/threadpool.h"
#include "proc/filters.h"
#include "proc/proc.h"

namespace {

using vxbench::Clock;
using vxbench::RunCommand;
using vxbench::Seconds;

struct Op {
  const char* name;
  std::function<void(TVexlaneProc&)> ours;
  std::string magick;  // ImageMagick's operation
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::string tmp = argc > 2 ? argv[2] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const std::string convert = "/usr/bin/convert";
  if (access(convert.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "%s is missing\n", convert.c_str());
    return 1;
  }
  TVXLibraryGuard library;  // the filter presets
  TVXBitmap image(4000, 3000, vx24RGB);
  vxbench::PaintPhoto(image);
  const std::string file = tmp + "/vx_bench_filters.ppm";
  if (!vxbench::WritePPM(image, file)) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return 1;
  }

  static const double kernel5[25] = {1, 2, 3, 2, 1, 2, 3, 4, 3, 2, 3, 4, 5, 4, 3, 2, 3, 4, 3, 2, 1, 2, 3, 2, 1};
  const std::vector<Op> ops = {
      {"convolve5x5", [](TVexlaneProc& p) { p.Convolve(kernel5, 5, 5, 1.0 / 65); },
       "-define convolve:scale=! -morphology Convolve '5x5:1,2,3,2,1,2,3,4,3,2,3,4,5,4,3,2,3,4,3,2,1,2,3,2,1'"},
      {"highpass2", [](TVexlaneProc& p) { p.ApplyFilterPreset(5); },
       "-morphology Convolve '3x3:-1,-1,-1,-1,9,-1,-1,-1,-1'"},
      {"blur2", [](TVexlaneProc& p) { p.Blur(2); }, "-blur 0x2"},
      {"blur8", [](TVexlaneProc& p) { p.Blur(8); }, "-blur 0x8"},
  };

  const int32_t cores = VXProcessorCount();
  const std::string oneThread = " -limit thread 1 -limit memory 2GiB -limit map 4GiB ";
  auto measure = [&](const Op& op, bool single) {
    VXGetGlobalSettings()->SetDefaultCoresCount(single ? 1 : cores);
    double ours = 1e30;
    for (int r = 0; r < runs; ++r) {
      TVXBitmap work(&image);
      TVexlaneProc proc;
      proc.SetAttachedVXBitmap(&work);
      auto t0 = Clock::now();
      op.ours(proc);
      ours = std::min(ours, Seconds(t0, Clock::now()));
    }
    const std::string limits = single ? oneThread : " ";
    double load = 1e30, all = 1e30;
    for (int r = 0; r < runs; ++r) load = std::min(load, RunCommand(convert + limits + file + " null:"));
    for (int r = 0; r < runs; ++r)
      all = std::min(all, RunCommand(convert + limits + file + " " + op.magick + " null:"));
    const double magick = std::max(1e-6, all - load);
    return std::pair{ours, magick};
  };

  std::printf("filters benchmark: 4000x3000 vx24RGB, best of %d runs\n", runs);
  double logSum = 0;
  for (const Op& op : ops) {
    auto [ours, magick] = measure(op, true);
    std::printf("  %-12s one thread: ours %.3f s, ImageMagick %.3f s\n", op.name, ours, magick);
    std::printf("%s: %.2fx ImageMagick\n", op.name, magick / ours);
    logSum += std::log(magick / ours);
  }
  for (const Op& op : ops) {
    auto [ours, magick] = measure(op, false);
    std::printf("%s (%d cores): %.2fx ImageMagick (ours %.3f s, ImageMagick %.3f s)\n", op.name, cores,
                magick / ours, ours, magick);
  }
  VXGetGlobalSettings()->SetDefaultCoresCount(cores);
  std::remove(file.c_str());
  std::printf("filters: %.2fx ImageMagick\n", std::exp(logSum / double(ops.size())));
  return 0;
}
