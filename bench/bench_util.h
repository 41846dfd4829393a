#pragma once
// Timing helpers shared by the benchmarks.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace vxbench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Wall time of a shell command; a failing command ends the benchmark.
inline double RunCommand(const std::string& cmd) {
  auto t0 = Clock::now();
  int rc = std::system(cmd.c_str());
  auto t1 = Clock::now();
  if (rc != 0) {
    std::fprintf(stderr, "command failed (%d): %s\n", rc, cmd.c_str());
    std::exit(1);
  }
  return Seconds(t0, t1);
}

// A photo-like test image: smooth gradients, soft shapes and fine noise.
inline void PaintPhoto(TVXBitmap& b) {
  uint32_t seed = 12345;
  const int32_t w = b.Width(), h = b.Height();
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 28) - 8;
      const double fx = double(x) / w, fy = double(y) / h;
      const double ring = 0.5 + 0.5 * std::sin(40.0 * std::hypot(fx - 0.4, fy - 0.6));
      p[3 * x + 0] = uint8_t(std::clamp(int(255 * (1 - fx) * 0.6 + 80 * ring) + noise, 0, 255));
      p[3 * x + 1] = uint8_t(std::clamp(int(255 * fy * 0.8 + 40 * ring) + noise, 0, 255));
      p[3 * x + 2] = uint8_t(std::clamp(int(255 * fx * 0.7 + 60 * ring) + noise, 0, 255));
    }
  }
}

// Best (least) wall time of Runs calls of Job, each timed whole.
template <class F>
double BestTime(int Runs, F&& Job) {
  double best = 1e30;
  for (int i = 0; i < Runs; ++i) {
    const auto t0 = Clock::now();
    Job();
    best = std::min(best, Seconds(t0, Clock::now()));
  }
  return best;
}

// Least of Runs measures, for jobs that time their own part (set-up left out).
template <class F>
double BestMeasure(int Runs, F&& Measure) {
  double best = 1e30;
  for (int i = 0; i < Runs; ++i) best = std::min(best, double(Measure()));
  return best;
}

// A vx24RGB bitmap as a binary PPM, for the peers' command lines.
inline bool WritePPM(TVXBitmap& b, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const int32_t w = b.Width(), h = b.Height();
  std::fprintf(f, "P6\n%d %d\n255\n", w, h);
  std::vector<uint8_t> line(size_t(w) * 3);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      line[3 * size_t(x)] = p[3 * x + 2];
      line[3 * size_t(x) + 1] = p[3 * x + 1];
      line[3 * size_t(x) + 2] = p[3 * x];
    }
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) {
      std::fclose(f);
      return false;
    }
  }
  return std::fclose(f) == 0;
}

}  // namespace vxbench
