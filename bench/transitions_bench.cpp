// Frames per second of the transition engine's frames on demand: 1920 x 1080
// frames of a cross fade, a push, a page flip and a soft wipe made through
// CreateBitmap at rising percentages. In the same run pixman composes the
// same two pictures in the same 24-bit layout: the source copied, the target
// laid over it through a constant-alpha mask. The last line reads
// "transitions: <ratio>x pixman" for the cross fade (engine frames per
// second over pixman's).
#include <pixman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bench/bench_util.h"
#include "core/startup.h"
#include "gui/graphics.h"
#include "view/transitions.h"

namespace {

constexpr int kW = 1920, kH = 1080;

void Paint(TBitmap* b, uint32_t seed) {
  TVXBitmap photo(kW, kH, vx24RGB);
  vxbench::PaintPhoto(photo);
  for (int y = 0; y < kH; ++y) {
    auto* d = static_cast<uint8_t*>(b->ScanLine(y));
    const auto* s = static_cast<const uint8_t*>(photo.ScanLine((y + seed) % kH));
    std::memcpy(d, s, size_t(kW) * 3);
  }
}

double EngineFps(TVXTransitionType Type, TBitmap* A, TBitmap* B, int Frames) {
  TVXTransitionEffects e;
  e.SetTransition(Type);
  e.PrepareBitmap(A, B);
  TBitmap out;
  const auto t0 = vxbench::Clock::now();
  for (int i = 0; i < Frames; ++i) e.CreateBitmap(100.0f * float(i + 1) / float(Frames + 1), &out);
  return Frames / vxbench::Seconds(t0, vxbench::Clock::now());
}

// pixman over the pictures' own rows (bottom-up bitmaps: the first row in
// memory is the bottom one, which a copy and a blend do not care about).
pixman_image_t* Wrap(TBitmap* b) {
  auto* bits = static_cast<uint8_t*>(b->ScanLine(kH - 1));
  return pixman_image_create_bits(PIXMAN_r8g8b8, kW, kH, reinterpret_cast<uint32_t*>(bits), int(b->RowBytes()));
}

double PixmanFps(TBitmap* A, TBitmap* B, int Frames) {
  TBitmap out(kW, kH, pf24bit);
  pixman_image_t* src = Wrap(A);
  pixman_image_t* tgt = Wrap(B);
  pixman_image_t* dst = Wrap(&out);
  const auto t0 = vxbench::Clock::now();
  for (int i = 0; i < Frames; ++i) {
    const uint16_t alpha = uint16_t(65535.0 * (i + 1) / (Frames + 1));
    pixman_color_t c{0, 0, 0, alpha};
    pixman_image_t* mask = pixman_image_create_solid_fill(&c);
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_composite32(PIXMAN_OP_OVER, tgt, mask, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_unref(mask);
  }
  const double fps = Frames / vxbench::Seconds(t0, vxbench::Clock::now());
  pixman_image_unref(src);
  pixman_image_unref(tgt);
  pixman_image_unref(dst);
  return fps;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(4, std::atoi(argv[1])) : 40;
  TVXLibraryGuard library;
  TBitmap a(kW, kH, pf24bit), b(kW, kH, pf24bit);
  Paint(&a, 0);
  Paint(&b, kH / 3);
  const struct {
    const char* name;
    TVXTransitionType type;
  } effects[] = {{"cross fade", vxttCrossDissolve},
                 {"push", vxttMoveLeftRight1},
                 {"page flip", vxttPageFlip},
                 {"soft wipe", vxttSoftWipeFromLeft}};
  double crossFade = 0;
  for (const auto& e : effects) {
    const double fps = EngineFps(e.type, &a, &b, frames);
    if (e.type == vxttCrossDissolve) crossFade = fps;
    std::printf("%-12s %8.1f frames/s\n", e.name, fps);
  }
  const double pix = PixmanFps(&a, &b, frames);
  std::printf("%-12s %8.1f frames/s (pixman: copy and constant-alpha over)\n", "pixman", pix);
  std::printf("transitions: %.2fx pixman\n", crossFade / pix);
  return 0;
}
