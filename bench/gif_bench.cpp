// Times composed GIF loading through the I/O component against its parts.
//
//   bench_gif make DIR N      writes N one-frame GIFs DIR/f0000.gif ... (40 x 30
//                             pixels, 16 colours, each a little different)
//   bench_gif time ANIM DIR N [runs]
//                             ANIM: the N frames as one animation; DIR: the
//                             frames as files. Prints three times in seconds
//                             on one line: the composed load of the last
//                             frame, the raw load of the last frame, and the
//                             decoding and conversion to 24 bits of every
//                             frame (each from its own file, in memory).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/startup.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

std::string FrameName(const std::string& Dir, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "/f%04d.gif", i);
  return Dir + name;
}

int Make(const std::string& Dir, int N) {
  TVXBitmap b;
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&b);
  for (int i = 0; i < N; ++i) {
    b.Allocate(40, 30, vx24RGB);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const int c = ((x + i) / 5 + (y + 2 * i) / 4) % 16;
        b.SetPixels(x, y, TRGB{uint8_t(c * 16), uint8_t(255 - c * 13), uint8_t((c * 57 + i) & 255)});
      }
    io.Params().SetBitsPerSample(4);
    io.SaveToFileGIF(FrameName(Dir, i));
    if (io.Aborting()) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TVXLibraryGuard library;
  if (argc == 4 && std::string(argv[1]) == "make") return Make(argv[2], std::atoi(argv[3]));
  if (argc < 5 || std::string(argv[1]) != "time") {
    std::fprintf(stderr, "usage: bench_gif make DIR N | bench_gif time ANIM DIR N [runs]\n");
    return 2;
  }
  const std::string anim = argv[2], dir = argv[3];
  const int n = std::atoi(argv[4]);
  const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;
  bool ok = true;

  TVXBitmap composed;
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&composed);
  const double tComposed = vxbench::BestTime(runs, [&] {
    io.Params().SetGIF_RAWLoad(false);
    io.Params().SetGIF_ImageIndex(-1);
    ok = ok && io.LoadFromFileGIF(anim) == n;
  });

  TVXBitmap raw;
  TVexlaneIO rawIO(nullptr);
  rawIO.SetAttachedVXBitmap(&raw);
  const double tRaw = vxbench::BestTime(runs, [&] {
    rawIO.Params().SetGIF_RAWLoad(true);
    rawIO.Params().SetGIF_ImageIndex(n - 1);
    ok = ok && rawIO.LoadFromFileGIF(anim) == n;
  });

  // Every frame read from memory and converted to 24 bits: the work that any
  // composition does once per frame.
  std::vector<std::unique_ptr<TMemoryStream>> frames;
  for (int i = 0; i < n; ++i) {
    frames.push_back(std::make_unique<TMemoryStream>());
    frames.back()->LoadFromFile(FrameName(dir, i));
  }
  TVXBitmap one;
  TVexlaneIO frameIO(nullptr);
  frameIO.SetAttachedVXBitmap(&one);
  const double tFrames = vxbench::BestTime(runs, [&] {
    for (auto& f : frames) {
      f->SetPosition(0);
      frameIO.Params().SetGIF_RAWLoad(true);
      frameIO.Params().SetGIF_ImageIndex(0);
      ok = ok && frameIO.LoadFromStreamGIF(f.get()) == 1;
      TVXBitmap rgb;
      rgb.Assign(&one);
      rgb.SetPixelFormat(vx24RGB);
    }
  });
  if (!ok) {
    std::fprintf(stderr, "bench_gif: a load failed\n");
    return 1;
  }
  std::printf("%.4f %.4f %.4f\n", tComposed, tRaw, tFrames);
  return 0;
}
