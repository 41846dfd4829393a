// Times the palette writer's quantiser on resampled images, the way the
// resizer writes a palette source: each file is decoded, made 24-bit and
// resampled (Mitchell) to the six short sides of 48 dip; each result is then
// quantised to 256 colours, every pixel is mapped to its index, and it is
// written as an 8-bit palette PNG to memory.
//
//   bench_quantizer runs FILE...
//
// Prints, in seconds (best of runs): building the quantiser, mapping every
// pixel (GetRGBIndices a row at a time), and the whole palette PNG write; then
// the same two quantiser figures with the one-neuron-at-a-time searches.
// Both forms must give the same palettes and indices; a difference ends the
// benchmark with status 1.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "codecs/png.h"
#include "core/bitmap.h"
#include "core/quantizer.h"
#include "core/startup.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "resample/resample.h"

namespace {

struct TRun {
  double build = 0, index = 0;
  std::vector<uint32_t> answers;  // the palettes and indices, in order
};

TRun Quantise(const std::vector<std::unique_ptr<TVXBitmap>>& Images, bool Scalar) {
  vxdetail::VXQuantizerForceScalar(Scalar);
  TRun r;
  std::vector<TRGB> pal(256);
  for (const auto& b : Images) {
    auto t0 = vxbench::Clock::now();
    TVXQuantizer q(b.get(), pal.data(), 255, 256);
    auto t1 = vxbench::Clock::now();
    uint32_t sum = 0;
    std::vector<int32_t> row(size_t(b->Width()));
    for (int32_t y = 0; y < b->Height(); ++y) {
      q.GetRGBIndices(static_cast<const TRGB*>(b->ScanLine(y)), b->Width(), row.data());
      for (const int32_t i : row) sum = sum * 31 + uint32_t(i);
    }
    auto t2 = vxbench::Clock::now();
    r.build += vxbench::Seconds(t0, t1);
    r.index += vxbench::Seconds(t1, t2);
    for (const TRGB& c : pal) r.answers.push_back(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
    r.answers.push_back(sum);
  }
  vxdetail::VXQuantizerForceScalar(false);
  return r;
}

double WriteAll(const std::vector<std::unique_ptr<TVXBitmap>>& Images) {
  auto t0 = vxbench::Clock::now();
  for (const auto& b : Images) {
    TMemoryStream out;
    TIOParamsVals params(nullptr);
    params.SetSamplesPerPixel(1);
    params.SetBitsPerSample(8);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXWritePNGStream(&out, b.get(), params, progress, nullptr);
  }
  return vxbench::Seconds(t0, vxbench::Clock::now());
}

}  // namespace

int main(int argc, char** argv) {
  TVXLibraryGuard library;
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_quantizer runs FILE...\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  std::vector<std::unique_ptr<TVXBitmap>> images;
  for (int a = 2; a < argc; ++a) {
    TVXBitmap src;
    TVexlaneIO io(nullptr);
    io.SetAttachedVXBitmap(&src);
    if (!io.LoadFromFile(argv[a], -1) || src.IsEmpty()) {
      std::fprintf(stderr, "cannot read %s\n", argv[a]);
      return 2;
    }
    src.RemoveAlphaChannel(false, 0);
    src.SetPixelFormat(vx24RGB);
    for (int32_t side : {36, 48, 72, 96, 144, 192}) {
      auto b = std::make_unique<TVXBitmap>();
      const bool wide = src.Width() >= src.Height();
      VXResampleToSize(&src, b.get(), wide ? -1 : side, wide ? side : -1, rfMitchell, true);
      images.push_back(std::move(b));
    }
  }
  TRun best[2];
  double write = 1e30;
  for (int k = 0; k < runs; ++k)
    for (int scalar = 0; scalar < 2; ++scalar) {
      TRun r = Quantise(images, scalar == 1);
      if (k == 0 || r.build < best[scalar].build) best[scalar].build = r.build;
      if (k == 0 || r.index < best[scalar].index) best[scalar].index = r.index;
      best[scalar].answers = std::move(r.answers);
    }
  for (int k = 0; k < runs; ++k) write = std::min(write, WriteAll(images));
  std::printf("quantiser %.4f s, indices %.4f s, palette PNG writes %.4f s; one at a time: %.4f s, %.4f s\n",
              best[0].build, best[0].index, write, best[1].build, best[1].index);
  if (best[0].answers != best[1].answers) {
    std::printf("the two forms differ\n");
    return 1;
  }
  return 0;
}
