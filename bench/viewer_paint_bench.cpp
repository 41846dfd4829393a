// Frames per second of the single-image viewer: a 4000 x 3000 image in a
// 1920 x 1080 viewer, each frame a property change (a scroll step or a zoom
// step) and the repaint onto the window surface. In the same run pixman draws
// the same visible source rectangle of the same image, scaled with the
// nearest filter, into a 1920 x 1080 x8r8g8b8 image. The last line reads
// "viewer_paint: <ratio>x pixman", the geometric mean of the ratios.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "core/startup.h"
#include "gui/forms.h"
#include "view/vexlaneview.h"
#include "winui/headless.h"
#include "winui/win_paint.h"

namespace {

constexpr int32_t kImageW = 4000, kImageH = 3000, kViewW = 1920, kViewH = 1080;

struct Frame {
  double zoom;
  int32_t viewX, viewY;
};

// A 32-bit pixman copy of the image.
struct PixmanSource {
  std::vector<uint32_t> bits;
  pixman_image_t* img = nullptr;
  explicit PixmanSource(TVXBitmap* from) {
    bits.resize(size_t(from->Width()) * from->Height());
    for (int32_t y = 0; y < from->Height(); ++y) {
      const auto* p = static_cast<const uint8_t*>(from->ScanLine(y));
      for (int32_t x = 0; x < from->Width(); ++x)
        bits[size_t(y) * from->Width() + x] = uint32_t(p[3 * x]) | (uint32_t(p[3 * x + 1]) << 8) |
                                              (uint32_t(p[3 * x + 2]) << 16);
    }
    img = pixman_image_create_bits(PIXMAN_x8r8g8b8, from->Width(), from->Height(), bits.data(), from->Width() * 4);
    pixman_image_set_filter(img, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  ~PixmanSource() { pixman_image_unref(img); }
};

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(4, std::atoi(argv[1])) : 40;
  TVXLibraryGuard library;
  auto form = std::make_unique<TForm>();
  form->SetBounds(0, 0, kViewW + 100, kViewH + 100);
  form->Show();
  auto* v = new TVexlaneView(form.get());
  v->SetParent(form.get());
  v->SetBorderStyle(bsNone);
  v->SetScrollBars(ssNone);
  v->SetBounds(0, 0, kViewW, kViewH);
  v->VXBitmap()->Allocate(kImageW, kImageH, vx24RGB);
  vxbench::PaintPhoto(*v->VXBitmap());
  int64_t paints = 0;
  v->OnDrawCanvas = [&paints](void*, TCanvas*, const TRect&) { ++paints; };
  v->Update();
  VXHeadless::RunUntilIdle();
  PixmanSource src(v->VXBitmap());
  std::vector<uint32_t> dstBits(size_t(kViewW) * kViewH);
  pixman_image_t* dst =
      pixman_image_create_bits(PIXMAN_x8r8g8b8, kViewW, kViewH, dstBits.data(), kViewW * 4);

  struct Case {
    std::string name;
    std::vector<Frame> frames;
  };
  std::vector<Case> cases;
  for (double z : {100.0, 50.0, 25.0, 250.0}) {
    Case c{"scroll at " + std::to_string(int(z)) + "%", {}};
    for (int i = 0; i < frames; ++i) c.frames.push_back(Frame{z, 40 * i, 23 * i});
    cases.push_back(c);
  }
  Case sweep{"zoom 12.5..400%", {}};
  for (int i = 0; i < frames; ++i) sweep.frames.push_back(Frame{12.5 * std::pow(32.0, double(i) / (frames - 1)), 0, 0});
  cases.push_back(sweep);

  std::printf("%-18s %10s %10s %8s\n", "case", "viewer fps", "pixman fps", "ratio");
  double logSum = 0;
  for (const Case& c : cases) {
    // The viewer: the property change, which repaints the window surface
    // itself, then whatever else it queued. A zoom step sets the zoom and the
    // view origin together under the paint lock, as a program does, and is
    // painted once on unlocking. A change that moves nothing (a scroll step
    // past the end, or an image smaller than the window) has the window
    // repainted through WM_PAINT instead, so that every frame puts the
    // picture on the surface once.
    v->SetZoom(c.frames[0].zoom);
    auto t0 = vxbench::Clock::now();
    for (const Frame& f : c.frames) {
      const int64_t before = paints;
      if (f.zoom != v->ZoomX()) {
        v->LockPaint();
        v->SetZoom(f.zoom);
        v->SetViewXY(f.viewX, f.viewY);
        v->UnLockPaint();
      } else {
        v->SetViewXY(f.viewX, f.viewY);
      }
      VXHeadless::RunUntilIdle();
      if (paints == before) {
        InvalidateRect(v->Handle(), nullptr, FALSE);
        VXHeadless::RunUntilIdle();
      }
    }
    const double tv = vxbench::Seconds(t0, vxbench::Clock::now());
    // pixman: the visible source rectangle of each frame, nearest filter.
    t0 = vxbench::Clock::now();
    for (const Frame& f : c.frames) {
      const double s = 100 / f.zoom;
      pixman_transform_t t;
      pixman_transform_init_scale(&t, pixman_double_to_fixed(s), pixman_double_to_fixed(s));
      pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(f.viewX * s), pixman_double_to_fixed(f.viewY * s));
      pixman_image_set_transform(src.img, &t);
      const int32_t w = std::min<int32_t>(kViewW, int32_t(kImageW / s)), h = std::min<int32_t>(kViewH, int32_t(kImageH / s));
      pixman_image_composite32(PIXMAN_OP_SRC, src.img, nullptr, dst, 0, 0, 0, 0, 0, 0, w, h);
    }
    const double tp = vxbench::Seconds(t0, vxbench::Clock::now());
    const double fv = c.frames.size() / tv, fp = c.frames.size() / tp, ratio = fv / fp;
    logSum += std::log(ratio);
    std::printf("%-18s %10.1f %10.1f %8.2f\n", c.name.c_str(), fv, fp, ratio);
  }
  pixman_image_unref(dst);
  std::printf("viewer_paint: %.2fx pixman\n", std::exp(logSum / cases.size()));
  form.reset();
  return 0;
}
