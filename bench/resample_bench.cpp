// Resampling throughput: the exact Mitchell resampler against ImageMagick.
//
// Resizes a 4000 x 3000 RGB image and a 1024 x 1024 RGBA image to the six
// density sizes of 48 dip (short side 36, 48, 72, 96, 144, 192) the way the
// command-line program does, and runs ImageMagick's
// `convert IN -filter Mitchell -resize WxH! null:` on the same images and
// sizes. ImageMagick's time is taken net of reading its input (a run of
// `convert IN null:` is subtracted), so the comparison is resize against
// resize. Figures are source megapixels per second; every measurement is the
// best of several runs. The last line reads "resample: <ratio>x ImageMagick".
//
// Usage: bench_resample [runs] [temp folder] [cores]
// (cores sets the library's processor-core count; by default it is detected)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/threadpool.h"
#include "proc/proc.h"

namespace {

using vxbench::Clock;
using vxbench::RunCommand;
using vxbench::Seconds;

// The photo-like test image, with a round alpha mask when asked.
void Paint(TVXBitmap& b, bool alpha) {
  const int32_t w = b.Width(), h = b.Height();
  vxbench::PaintPhoto(b);
  if (alpha) {
    TVXBitmap* a = b.AlphaChannel();
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* p = static_cast<uint8_t*>(a->GetScanLine(y));
      for (int32_t x = 0; x < w; ++x) {
        const double d = std::hypot(double(x) / w - 0.5, double(y) / h - 0.5);
        p[x] = uint8_t(std::clamp(int(255 * (1.2 - 2.2 * d)), 0, 255));
      }
    }
    a->SetFull(false);
  }
}

bool WriteNetpbm(TVXBitmap& b, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const int32_t w = b.Width(), h = b.Height();
  TVXBitmap* a = b.AlphaChannelOpt();
  if (a)
    std::fprintf(f, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h);
  else
    std::fprintf(f, "P6\n%d %d\n255\n", w, h);
  std::vector<uint8_t> line(size_t(w) * 4);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
    const uint8_t* ap = a ? static_cast<const uint8_t*>(a->GetScanLine(y)) : nullptr;
    size_t n = 0;
    for (int32_t x = 0; x < w; ++x) {
      line[n++] = p[3 * x + 2];
      line[n++] = p[3 * x + 1];
      line[n++] = p[3 * x + 0];
      if (ap) line[n++] = ap[x];
    }
    if (std::fwrite(line.data(), 1, n, f) != n) {
      std::fclose(f);
      return false;
    }
  }
  return std::fclose(f) == 0;
}

struct Job {
  const char* name;
  TVXBitmap* image;
  std::string file;
  std::vector<std::pair<int32_t, int32_t>> sizes;
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::string tmp = argc > 2 ? argv[2] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  if (argc > 3) VXGetGlobalSettings()->SetDefaultCoresCount(std::max(1, std::atoi(argv[3])));
  const std::string convert = "/usr/bin/convert";
  if (access(convert.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "%s is missing\n", convert.c_str());
    return 1;
  }

  TVXBitmap rgb(4000, 3000, vx24RGB);
  TVXBitmap rgba(1024, 1024, vx24RGB);
  Paint(rgb, false);
  Paint(rgba, true);

  const double factors[6] = {0.75, 1, 1.5, 2, 3, 4};
  std::vector<Job> jobs = {{"4000x3000 RGB ", &rgb, tmp + "/vx_bench_rgb.ppm", {}},
                           {"1024x1024 RGBA", &rgba, tmp + "/vx_bench_rgba.pam", {}}};
  for (Job& j : jobs) {
    for (double f : factors) {
      // As the program does: the short side gets dip x factor, the other -1.
      int32_t side = int32_t(48 * f);
      int32_t w = -1, h = side;
      if (j.image->Width() < j.image->Height()) std::swap(w, h);
      TVexlaneProc probe;
      probe.SetAttachedVXBitmap(j.image);
      TVXBitmap t;
      probe.ResampleTo(&t, w, h, rfMitchell, true);
      j.sizes.emplace_back(t.Width(), t.Height());
    }
    if (!WriteNetpbm(*j.image, j.file)) {
      std::fprintf(stderr, "cannot write %s\n", j.file.c_str());
      return 1;
    }
  }

  std::printf("resample benchmark: Mitchell, %d cores, best of %d runs\n", VXProcessorCount(), runs);
  double oursTotal = 0, magickTotal = 0, mpTotal = 0;
  for (Job& j : jobs) {
    const double mp = double(j.image->Width()) * j.image->Height() / 1e6 * double(j.sizes.size());
    // Ours.
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
      TVexlaneProc proc;
      proc.SetAttachedVXBitmap(j.image);
      auto t0 = Clock::now();
      for (auto& s : j.sizes) {
        TVXBitmap target;
        proc.ResampleTo(&target, s.first, s.second, rfMitchell, false);
      }
      best = std::min(best, Seconds(t0, Clock::now()));
    }
    // ImageMagick, net of reading the input.
    double load = 1e30, all = 1e30;
    for (int r = 0; r < runs; ++r) load = std::min(load, RunCommand(convert + " " + j.file + " null:"));
    for (int r = 0; r < runs; ++r) {
      double t = 0;
      for (auto& s : j.sizes) {
        t += RunCommand(convert + " " + j.file + " -filter Mitchell -resize " + std::to_string(s.first) + "x" +
                        std::to_string(s.second) + "! null:");
      }
      all = std::min(all, t);
    }
    const double magick = std::max(1e-6, all - load * double(j.sizes.size()));
    std::printf("%s -> ", j.name);
    for (auto& s : j.sizes) std::printf("%dx%d ", s.first, s.second);
    std::printf("\n  exact resampler: %8.3f s  %8.1f MP/s\n", best, mp / best);
    std::printf("  ImageMagick:     %8.3f s  %8.1f MP/s  (%.3f s with reading)\n", magick, mp / magick, all);
    oursTotal += best;
    magickTotal += magick;
    mpTotal += mp;
    std::remove(j.file.c_str());
  }
  std::printf("total: exact %.1f MP/s, ImageMagick %.1f MP/s\n", mpTotal / oursTotal, mpTotal / magickTotal);
  std::printf("resample: %.1fx ImageMagick\n", magickTotal / oursTotal);
  return 0;
}
