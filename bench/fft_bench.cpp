// The Fourier image against OpenCV: BuildFT plus BuildBitmap (forward and
// inverse transform of every plane, with the padding, normalisation and
// stretching around them) of a 1000 x 1000 and a 4000 x 3000 photo-like
// image, grey and RGB, against OpenCV's dft and idft of the same number of
// N x N single-precision complex planes (N = 1024 and 4096, the same
// padding). Both sides run on one thread (the library's core count 1,
// cv2.setNumThreads(1)); every figure is the best of several runs. One line
// per case, "<case>: <ratio>x OpenCV"; the last line is the geometric mean,
// "fft: <ratio>x OpenCV".
//
// Usage: bench_fft [runs]

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "proc/ftimage.h"

namespace {

using vxbench::Clock;
using vxbench::Seconds;

struct Case {
  const char* name;
  int32_t w, h;
  TVXFtImageType type;
};

const Case kCases[] = {
    {"1000x1000 grey", 1000, 1000, vxitGrayscale},
    {"1000x1000 rgb", 1000, 1000, vxitRGB},
    {"4000x3000 grey", 4000, 3000, vxitGrayscale},
    {"4000x3000 rgb", 4000, 3000, vxitRGB},
};

const char* kPeer = R"(
import sys, time
import numpy as np, cv2
cv2.setNumThreads(1)
runs = int(sys.argv[1])
for line in sys.stdin:
    name, w, h, planes = line.rsplit(' ', 3)
    w, h, planes = int(w), int(h), int(planes)
    n = 1
    while n < max(w, h):
        n *= 2
    rng = np.random.default_rng(1)
    ps = []
    for _ in range(planes):
        a = np.zeros((n, n, 2), np.float32)
        a[(n - h) // 2:(n - h) // 2 + h, (n - w) // 2:(n - w) // 2 + w, 0] = rng.random((h, w), dtype=np.float32)
        ps.append(a)
    best = 1e30
    for _ in range(runs):
        t0 = time.perf_counter()
        for a in ps:
            f = cv2.dft(a, flags=cv2.DFT_COMPLEX_OUTPUT)
            b = cv2.idft(f, flags=cv2.DFT_SCALE)
        best = min(best, time.perf_counter() - t0)
    print(name, best, flush=True)
)";

// OpenCV's best time per case, by name.
std::map<std::string, double> RunPeer(int runs) {
  const char* t = std::getenv("TMPDIR");
  const std::string dir = t && *t ? t : "/tmp";
  const std::string script = dir + "/vx_bench_fft_" + std::to_string(getpid()) + ".py";
  const std::string cases = script + ".in";
  FILE* f = std::fopen(script.c_str(), "w");
  FILE* g = std::fopen(cases.c_str(), "w");
  if (!f || !g) {
    std::fprintf(stderr, "cannot write %s\n", script.c_str());
    std::exit(1);
  }
  std::fputs(kPeer, f);
  std::fclose(f);
  for (const Case& c : kCases) std::fprintf(g, "%s %d %d %d\n", c.name, c.w, c.h, c.type == vxitRGB ? 3 : 1);
  std::fclose(g);
  const std::string cmd = "/usr/bin/python3 " + script + " " + std::to_string(runs) + " < " + cases;
  FILE* p = popen(cmd.c_str(), "r");
  std::map<std::string, double> out;
  char line[256];
  while (p && std::fgets(line, sizeof line, p)) {
    std::string s(line);
    const size_t sp = s.rfind(' ');
    if (sp != std::string::npos) out[s.substr(0, sp)] = std::atof(s.c_str() + sp + 1);
  }
  const int rc = p ? pclose(p) : -1;
  std::remove(script.c_str());
  std::remove(cases.c_str());
  if (rc != 0 || out.size() != std::size(kCases)) {
    std::fprintf(stderr, "OpenCV run failed (is python3-opencv installed?): %s\n", cmd.c_str());
    std::exit(1);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int32_t cores = VXGetGlobalSettings()->DefaultCoresCount();
  VXGetGlobalSettings()->SetDefaultCoresCount(1);
  std::printf("fft benchmark: BuildFT + BuildBitmap against OpenCV dft + idft, one thread, best of %d runs\n", runs);
  std::map<std::string, double> ours;
  for (const Case& c : kCases) {
    TVXBitmap image(c.w, c.h, vx24RGB);
    vxbench::PaintPhoto(image);
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
      TVXFtImage ft;
      TVXBitmap back;
      const auto t0 = Clock::now();
      ft.BuildFT(&image, c.type);
      ft.BuildBitmap(&back);
      best = std::min(best, Seconds(t0, Clock::now()));
    }
    ours[c.name] = best;
  }
  const std::map<std::string, double> peer = RunPeer(runs);
  double logSum = 0;
  for (const Case& c : kCases) {
    const double a = ours[c.name], b = peer.at(c.name);
    std::printf("  %-15s ours %.3f s, OpenCV %.3f s\n", c.name, a, b);
    std::printf("%s: %.2fx OpenCV\n", c.name, b / a);
    logSum += std::log(b / a);
  }
  VXGetGlobalSettings()->SetDefaultCoresCount(cores);
  std::printf("fft: %.2fx OpenCV\n", std::exp(logSum / double(std::size(kCases))));
  return 0;
}
