// Maximum and minimum against OpenCV's dilate and erode, one thread on both
// sides: windows 1 and 5 (3 x 3 and 11 x 11) on a 4000 x 3000 vx24RGB
// photo-like image (OpenCV: the same bytes as 8UC3) and on an 8000 x 6000
// vx1g page (OpenCV: the page as 8UC1 with 0 and 255), both with the border
// repeated.
//
// Each of our runs filters a fresh copy of the image (the copy is not
// timed); OpenCV (Debian python3-opencv, cv2.setNumThreads(1)) is timed
// inside Python around the call alone. Every figure is the best of several
// runs. One line per case, "<case>: <ratio>x OpenCV" (OpenCV's time over
// ours), then the geometric mean, "morph: <ratio>x OpenCV"; the times go to
// standard error.
//
// Usage: bench_morph [runs] [temp folder]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "proc/morph.h"

namespace {

using vxbench::Clock;
using vxbench::Seconds;

// A scanned page: lines of letter-sized dark blobs on white, some specks.
void PaintPage(TVXBitmap& b) {
  std::mt19937 rng(99);
  const int32_t w = b.Width(), h = b.Height();
  for (int32_t y = 0; y < h; ++y) std::fill_n(static_cast<uint8_t*>(b.ScanLine(y)), (w + 7) / 8, 0xFF);
  for (int32_t line = 200; line + 60 < h - 200; line += 90)
    for (int32_t x = 300; x < w - 300;) {
      const int32_t lw = 20 + int32_t(rng() % 30), lh = 30 + int32_t(rng() % 25);
      for (int32_t y = line; y < line + lh; ++y)
        for (int32_t i = x; i < x + lw; ++i)
          if (rng() % 4) b.SetPixels_vx1g(i, y, false);
      x += lw + 8 + int32_t(rng() % 40);
    }
  for (int i = 0; i < 200000; ++i) b.SetPixels_vx1g(int32_t(rng() % w), int32_t(rng() % h), rng() % 2);
}

bool WriteRaw(TVXBitmap& b, const std::string& path, bool Bytes255) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const int32_t w = b.Width();
  std::vector<uint8_t> line(Bytes255 ? size_t(w) : size_t(w) * 3);
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(y));
    if (Bytes255)
      for (int32_t x = 0; x < w; ++x) line[size_t(x)] = ((p[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
    else
      std::copy_n(p, line.size(), line.begin());
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) {
      std::fclose(f);
      return false;
    }
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string tmp = argc > 2 ? argv[2] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  if (std::system("/usr/bin/python3 -c 'import cv2' 2>/dev/null") != 0) {
    std::fprintf(stderr, "/usr/bin/python3 with OpenCV (Debian python3-opencv) is missing\n");
    return 1;
  }
  TVXBitmap photo(4000, 3000, vx24RGB);
  vxbench::PaintPhoto(photo);
  TVXBitmap page(8000, 6000, vx1g);
  PaintPage(page);
  const std::string rgbFile = tmp + "/vx_bench_morph_rgb.raw", pageFile = tmp + "/vx_bench_morph_page.raw";
  const std::string script = tmp + "/vx_bench_morph.py";
  if (!WriteRaw(photo, rgbFile, false) || !WriteRaw(page, pageFile, true)) {
    std::fprintf(stderr, "cannot write to %s\n", tmp.c_str());
    return 1;
  }
  {
    FILE* f = std::fopen(script.c_str(), "w");
    if (!f) return 1;
    std::fprintf(f,
                 "import cv2, numpy as np, sys, time\n"
                 "cv2.setNumThreads(1)\n"
                 "runs = %d\n"
                 "rgb = np.fromfile('%s', np.uint8).reshape(3000, 4000, 3)\n"
                 "page = np.fromfile('%s', np.uint8).reshape(6000, 8000)\n"
                 "for name, img in (('rgb', rgb), ('1g', page)):\n"
                 "    for w in (1, 5):\n"
                 "        k = np.ones((2 * w + 1, 2 * w + 1), np.uint8)\n"
                 "        for op, f in (('max', cv2.dilate), ('min', cv2.erode)):\n"
                 "            best = 1e9\n"
                 "            for r in range(runs):\n"
                 "                t = time.perf_counter()\n"
                 "                f(img, k, borderType=cv2.BORDER_REPLICATE)\n"
                 "                best = min(best, time.perf_counter() - t)\n"
                 "            print('%%s%%d-%%s %%.6f' %% (op, w, name, best))\n",
                 runs, rgbFile.c_str(), pageFile.c_str());
    std::fclose(f);
  }
  std::map<std::string, double> peer;
  if (FILE* p = popen(("/usr/bin/python3 " + script).c_str(), "r")) {
    char name[64];
    double t;
    while (std::fscanf(p, "%63s %lf", name, &t) == 2) peer[name] = t;
    pclose(p);
  }
  std::remove(rgbFile.c_str()), std::remove(pageFile.c_str()), std::remove(script.c_str());

  const char* order[] = {"max1-rgb", "max5-rgb", "min1-rgb", "min5-rgb", "max1-1g", "max5-1g", "min1-1g", "min5-1g"};
  double logSum = 0;
  int count = 0;
  for (const char* name : order) {
    const std::string n = name;
    const bool isMax = n.compare(0, 3, "max") == 0;
    const int32_t w = n[3] - '0';
    TVXBitmap& src = n.find("rgb") != std::string::npos ? photo : page;
    double ours = 1e9;
    for (int r = 0; r < runs; ++r) {
      TVXBitmap copy(&src);
      const auto t0 = Clock::now();
      VXDoMorphFilter(&copy, w, isMax ? VXMorphMaximum : VXMorphMinimum, nullptr, nullptr, 0, 0, copy.Width(),
                      copy.Height());
      ours = std::min(ours, Seconds(t0, Clock::now()));
    }
    if (!peer.count(n)) {
      std::fprintf(stderr, "OpenCV gave no time for %s\n", name);
      return 1;
    }
    const double ratio = peer[n] / ours;
    std::printf("%s: %.2fx OpenCV\n", name, ratio);
    std::fprintf(stderr, "  %s: ours %.1f ms, OpenCV %.1f ms\n", name, ours * 1e3, peer[n] * 1e3);
    logSum += std::log(ratio);
    ++count;
  }
  std::printf("morph: %.2fx OpenCV\n", std::exp(logSum / count));
  return 0;
}
