// Painting throughput: RenderToTVXBitmap against pixman.
//
// Paints a 1920 x 1080 vx24RGB back buffer from a 24-bit source four ways:
// 100 % opaque, 200 % and 50 % nearest, and 100 % at Opacity 0.5. The viewer's
// way is followed: the column, row and row-address tables are built by the
// first paint of a zoom and handed to every later paint. pixman composites the
// same rectangles between r8g8b8 images with the nearest filter (SRC, and
// OVER through a constant mask of one half for the opacity case). Figures are
// destination megapixels per second, the best of several runs; the last line
// reads "render: <ratio>x pixman", the smallest of the four ratios.
//
// Usage: bench_render [runs]

#include <pixman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"

namespace {

using vxbench::Clock;
using vxbench::Seconds;

constexpr int32_t kW = 1920, kH = 1080;

struct Case {
  const char* name;
  int32_t srcW, srcH;
  double opacity;
};

// A pixman image over the rows of a top-down copy of a bitmap.
struct PixmanImage {
  std::vector<uint32_t> bits;
  pixman_image_t* img = nullptr;
  PixmanImage(int32_t w, int32_t h, TVXBitmap* from) {
    const int stride = ((w * 3 + 3) / 4) * 4;
    bits.assign(size_t(stride / 4) * size_t(h), 0);
    img = pixman_image_create_bits(PIXMAN_r8g8b8, w, h, bits.data(), stride);
    if (from)
      for (int32_t y = 0; y < h; ++y)
        std::copy_n(static_cast<const uint8_t*>(from->ScanLine(y)), size_t(w) * 3,
                    reinterpret_cast<uint8_t*>(bits.data()) + size_t(y) * stride);
  }
  ~PixmanImage() { pixman_image_unref(img); }
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const Case cases[] = {
      {"100% opaque", kW, kH, 1.0},
      {"200% nearest", kW / 2, kH / 2, 1.0},
      {"50% nearest", kW * 2, kH * 2, 1.0},
      {"100% opacity 0.5", kW, kH, 0.5},
  };
  TVXBitmap back(kW, kH, vx24RGB);
  PixmanImage pback(kW, kH, nullptr);
  const double mpix = double(kW) * kH / 1e6;
  double worst = 1e30;
  std::printf("%-18s %12s %12s %8s\n", "case", "Mpx/s", "pixman", "ratio");
  for (const Case& c : cases) {
    TVXBitmap src(c.srcW, c.srcH, vx24RGB);
    vxbench::PaintPhoto(src);
    PixmanImage psrc(c.srcW, c.srcH, &src);

    // The library: tables built by the first paint, reused afterwards.
    uint8_t** rows = nullptr;
    int32_t* xl = nullptr;
    int32_t* yl = nullptr;
    auto paint = [&] {
      src.RenderToTVXBitmap(&back, rows, xl, yl, nullptr, 0, 0, kW, kH, 0, 0, c.srcW, c.srcH, false, true, 255, rfNone,
                            false, vxlNormal, c.opacity);
    };
    paint();
    const double ours = vxbench::BestTime(runs, paint);
    delete[] rows;
    delete[] xl;
    delete[] yl;

    // pixman: the same rectangle, nearest filter.
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(double(c.srcW) / kW), pixman_double_to_fixed(double(c.srcH) / kH));
    pixman_image_set_transform(psrc.img, &t);
    pixman_image_set_filter(psrc.img, PIXMAN_FILTER_NEAREST, nullptr, 0);
    pixman_color_t half = {0, 0, 0, 0x8000};
    pixman_image_t* mask = c.opacity < 1 ? pixman_image_create_solid_fill(&half) : nullptr;
    const pixman_op_t op = c.opacity < 1 ? PIXMAN_OP_OVER : PIXMAN_OP_SRC;
    auto ppaint = [&] { pixman_image_composite32(op, psrc.img, mask, pback.img, 0, 0, 0, 0, 0, 0, kW, kH); };
    ppaint();
    const double theirs = vxbench::BestTime(runs, ppaint);
    if (mask) pixman_image_unref(mask);

    const double a = mpix / ours, b = mpix / theirs;
    worst = std::min(worst, a / b);
    std::printf("%-18s %12.1f %12.1f %7.2fx\n", c.name, a, b, a / b);
  }
  std::printf("render: %.2fx pixman\n", worst);
  return 0;
}
