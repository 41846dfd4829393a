// Times TIFF page loading through the I/O component.
//
//   bench_tiff FILE... RUNS   loads each file with LoadFromFileTIFF (best of
//                             RUNS each) and prints the times in seconds on
//                             one line, in the order of the files.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/startup.h"
#include "io/params.h"
#include "io/vexlaneio.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_tiff FILE... RUNS\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[argc - 1]));
  TVXLibraryGuard library;
  bool ok = true;
  for (int i = 1; i < argc - 1; ++i) {
    TVXBitmap bmp;
    TVexlaneIO io(nullptr);
    io.SetAttachedVXBitmap(&bmp);
    const std::string file = argv[i];
    const double t = vxbench::BestTime(runs, [&] { ok = ok && io.LoadFromFileTIFF(file) == 1; });
    std::printf("%s%.4f", i > 1 ? " " : "", t);
  }
  std::printf("\n");
  if (!ok) {
    std::fprintf(stderr, "bench_tiff: a load failed\n");
    return 1;
  }
  return 0;
}
