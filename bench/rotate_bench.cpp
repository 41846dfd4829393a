// Rotation and flips on a 4000 x 3000 photo-like vx24RGB image, one thread on
// every side, loading excluded, best of several runs:
//
//   rotate-shear   TVexlaneProc::Rotate(20, vxrFast) against ImageMagick's
//                  `-rotate 20` (MAGICK_THREAD_LIMIT=1, time net of loading)
//   bilinear       VXRotateAntialias24To against OpenCV's warpAffine
//   bicubic        (INTER_LINEAR, INTER_CUBIC) to the same size and mapping
//   quarter-turn   VXRotate90CW24 against cv2.rotate (ROTATE_90_CLOCKWISE)
//   flip           VXFlipBitmap (fdHorizontal) against cv2.flip (1)
//
// Prints "rotate-shear: <r>x ImageMagick", one "<name>: <r>x OpenCV" line for
// each OpenCV peer, and their geometric mean last as "rotate: <r>x OpenCV".
// OpenCV is called through /usr/bin/python3 (Debian python3-opencv).
//
// Usage: bench_rotate [runs] [temp folder]

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/rotate.h"
#include "core/startup.h"
#include "proc/proc.h"

namespace {

using vxbench::Clock;
using vxbench::RunCommand;
using vxbench::Seconds;

// Rows top to bottom, blue, green, red: the layout of an OpenCV image.
bool WriteRaw(TVXBitmap& b, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const size_t n = size_t(b.Width()) * 3;
  for (int32_t y = 0; y < b.Height(); ++y)
    if (std::fwrite(b.ScanLine(y), 1, n, f) != n) {
      std::fclose(f);
      return false;
    }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string tmp = argc > 2 ? argv[2] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const std::string convert = "/usr/bin/convert", python = "/usr/bin/python3";
  if (access(convert.c_str(), X_OK) != 0 || access(python.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "%s or %s is missing\n", convert.c_str(), python.c_str());
    return 1;
  }
  TVXLibraryGuard library;
  const int32_t W = 4000, H = 3000;
  TVXBitmap image(W, H, vx24RGB);
  vxbench::PaintPhoto(image);
  const std::string raw = tmp + "/vx_bench_rotate.raw", ppm = tmp + "/vx_bench_rotate.ppm",
                    script = tmp + "/vx_bench_rotate.py";
  if (!WriteRaw(image, raw) || !vxbench::WritePPM(image, ppm)) {
    std::fprintf(stderr, "cannot write to %s\n", tmp.c_str());
    return 1;
  }
  const double angle = 20;

  // Ours.
  std::map<std::string, double> ours;
  ours["rotate-shear"] = vxbench::BestMeasure(runs, [&] {
    TVXBitmap work(&image);
    auto proc = TVexlaneProc::CreateFromBitmap(&work);
    auto t0 = Clock::now();
    proc->Rotate(angle, vxrFast, 0);
    return Seconds(t0, Clock::now());
  });
  int32_t tw = 0, th = 0;
  for (auto [name, mode] : {std::pair{"bilinear", vxrBilinear}, {"bicubic", vxrBicubic}}) {
    ours[name] = vxbench::BestMeasure(runs, [&, mode = mode] {
      TVXBitmap target;
      auto t0 = Clock::now();
      VXRotateAntialias24To(&image, &target, 0, nullptr, nullptr, mode, angle);
      const double s = Seconds(t0, Clock::now());
      tw = target.Width();
      th = target.Height();
      return s;
    });
  }
  ours["quarter-turn"] = vxbench::BestMeasure(runs, [&] {
    TVXBitmap target;
    auto t0 = Clock::now();
    VXRotate90CW24(&image, &target);
    return Seconds(t0, Clock::now());
  });
  ours["flip"] = vxbench::BestMeasure(runs, [&] {
    TVXBitmap work(&image);
    auto t0 = Clock::now();
    VXFlipBitmap(&work, fdHorizontal);
    return Seconds(t0, Clock::now());
  });

  // ImageMagick, net of loading.
  const std::string limits = "MAGICK_THREAD_LIMIT=1 " + convert + " -limit thread 1 -limit memory 2GiB -limit map 4GiB ";
  const double load = vxbench::BestMeasure(runs, [&] { return RunCommand(limits + ppm + " null:"); });
  const double rotated = vxbench::BestMeasure(runs, [&] { return RunCommand(limits + ppm + " -rotate 20 null:"); });
  const double magick = std::max(1e-6, rotated - load);

  // OpenCV, timed inside Python after loading.
  {
    std::ofstream py(script);
    py << "import sys, time, numpy as np, cv2\n"
          "cv2.setNumThreads(1)\n"
          "W, H, TW, TH, angle, runs = "
       << W << "," << H << "," << tw << "," << th << "," << angle << "," << runs
       << "\n"
          "a = np.fromfile(sys.argv[1], dtype=np.uint8).reshape(H, W, 3)\n"
          "th = np.longdouble(angle) * np.longdouble('3.1415926535897932385') / np.longdouble(180)\n"
          "s, c = float(np.sin(th)), float(np.cos(th))\n"
          "cxs, cys, cxd, cyd = (W - 1) / 2, (H - 1) / 2, (TW - 1) / 2, (TH - 1) / 2\n"
          "M = np.array([[c, -s, cxs - cxd * c + cyd * s], [s, c, cys - cxd * s - cyd * c]])\n"
          "ops = {\n"
          " 'bilinear': lambda: cv2.warpAffine(a, M, (TW, TH), flags=cv2.INTER_LINEAR | cv2.WARP_INVERSE_MAP),\n"
          " 'bicubic': lambda: cv2.warpAffine(a, M, (TW, TH), flags=cv2.INTER_CUBIC | cv2.WARP_INVERSE_MAP),\n"
          " 'quarter-turn': lambda: cv2.rotate(a, cv2.ROTATE_90_CLOCKWISE),\n"
          " 'flip': lambda: cv2.flip(a, 1)}\n"
          "for name, f in ops.items():\n"
          "    best = 1e30\n"
          "    for r in range(runs):\n"
          "        t0 = time.perf_counter(); f(); best = min(best, time.perf_counter() - t0)\n"
          "    print(name, best)\n";
  }
  const std::string out = tmp + "/vx_bench_rotate.txt";
  RunCommand(python + " " + script + " " + raw + " > " + out);
  std::map<std::string, double> cv;
  {
    std::ifstream in(out);
    std::string name;
    double s;
    while (in >> name >> s) cv[name] = s;
  }
  std::remove(raw.c_str());
  std::remove(ppm.c_str());
  std::remove(script.c_str());
  std::remove(out.c_str());

  std::printf("rotate benchmark: %dx%d vx24RGB, angle %g, best of %d runs, one thread\n", W, H, angle, runs);
  std::printf("  rotate-shear: ours %.3f s, ImageMagick %.3f s\n", ours["rotate-shear"], magick);
  std::printf("rotate-shear: %.2fx ImageMagick\n", magick / ours["rotate-shear"]);
  double logSum = 0;
  int n = 0;
  for (const char* name : {"bilinear", "bicubic", "quarter-turn", "flip"}) {
    if (!cv.count(name)) {
      std::fprintf(stderr, "OpenCV gave no time for %s\n", name);
      return 1;
    }
    std::printf("  %s: ours %.4f s, OpenCV %.4f s\n", name, ours[name], cv[name]);
    std::printf("%s: %.2fx OpenCV\n", name, cv[name] / ours[name]);
    logSum += std::log(cv[name] / ours[name]);
    ++n;
  }
  std::printf("rotate: %.2fx OpenCV\n", std::exp(logSum / n));
  return 0;
}
