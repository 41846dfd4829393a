// Times the JPEG codec through the I/O component: a full decode, a decode at
// 1/8 and an encode at quality 80 of the decoded image, best of N runs each.
// Prints the three times in seconds on one line (bench/jpeg compares them
// with djpeg and cjpeg).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/startup.h"
#include "io/markers.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_jpeg IN.jpg OUT.jpg [runs]\n");
    return 2;
  }
  const std::string in = argv[1], out = argv[2];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  TVXLibraryGuard library;
  TVXBitmap bmp;
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&bmp);
  bool ok = true;
  const double full = vxbench::BestTime(runs, [&] {
    io.Params().SetJPEG_Scale(ioJPEG_FULLSIZE);
    ok = ok && io.LoadFromFileJpeg(in);
  });
  TVXBitmap small;
  TVexlaneIO io8(nullptr);
  io8.SetAttachedVXBitmap(&small);
  const double eighth = vxbench::BestTime(runs, [&] {
    io8.Params().SetJPEG_Scale(ioJPEG_EIGHTH);
    ok = ok && io8.LoadFromFileJpeg(in);
  });
  io.Params().SetJPEG_Quality(80);
  io.Params().JPEG_MarkerList().Clear();
  const double encode = vxbench::BestTime(runs, [&] {
    io.SaveToFileJpeg(out);
    ok = ok && !io.Aborting();
  });
  if (!ok) {
    std::fprintf(stderr, "bench_jpeg: a load or save failed\n");
    return 1;
  }
  std::printf("%.4f %.4f %.4f\n", full, eighth, encode);
  return 0;
}
