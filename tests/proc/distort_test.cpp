// Lens, wave, bump mapping and radial stretch: numpy references written from
// the algorithms, the identities, selections and undo.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/distort.h"
#include "proc/proc.h"
#include "selection_check.h"

namespace {

using procfixture::Noise;
using procfixture::Photo;

std::string Fmt(const char* format, double a = 0, double b = 0, double c = 0, double d = 0, double e = 0,
                double f = 0, double g = 0, double h = 0) {
  char text[8192];
  std::snprintf(text, sizeof text, format, a, b, c, d, e, f, g, h);
  return text;
}

// Pixels (of 3 bytes) that are equal, and those within one level.
struct Agreement {
  size_t equal = 0, withinOne = 0, total = 0;
};
Agreement Compare(const std::string& got, const std::string& want) {
  Agreement a;
  if (got.size() != want.size()) return a;
  a.total = got.size() / 3;
  for (size_t i = 0; i < got.size(); i += 3) {
    int worst = 0;
    for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(uint8_t(got[i + c])) - int(uint8_t(want[i + c]))));
    a.equal += worst == 0;
    a.withinOne += worst <= 1;
  }
  return a;
}

TProgressRec NoProgress() { return TProgressRec{}; }

// ---- lens ----

const char* kLensReference = R"(
H, W = %.0f, %.0f
cx, cy, Wd, Hd, n = %.0f, %.0f, %.0f, %.0f, %.17g
img = load(0, np.uint8, (H, W, 3))
x0 = min(max(cx - int(Wd / 2), 0), W - 1); x1 = min(max(cx + int(Wd / 2), 0), W - 1)
y0 = min(max(cy - int(Hd / 2), 0), H - 1); y1 = min(max(cy + int(Hd / 2), 0), H - 1)
Wb, Hb = x1 - x0, y1 - y0
out = img.copy()
if Wb > 0 and Hb > 0:
    A, B = Wb / 2.0, Hb / 2.0
    R = min(A, B)
    j, i = np.mgrid[0:Hb, 0:Wb].astype(np.float64)
    u = i - A + 0.5
    v = B - j - 0.5
    inside = (u / A) ** 2 + (v / B) ** 2 < 1
    z = np.sqrt(np.maximum(1 - (u / A) ** 2 - (v / B) ** 2, 0)) * R
    if n < 0: z = -z
    def bend(w):
        h = np.hypot(w, z)
        s = np.divide(w, h, out=np.zeros_like(w), where=h > 0)
        a = np.arcsin(s)
        return w - z * np.tan(a - np.arcsin(s / abs(n)))
    c = np.trunc(bend(u) + A).astype(np.int64)
    r = np.trunc(B - bend(v)).astype(np.int64)
    c = np.where(inside, c, i.astype(np.int64)); r = np.where(inside, r, j.astype(np.int64))
    px = np.clip(x0 + c, 0, W - 1); py = np.clip(y0 + r, 0, H - 1)
    out[y0:y0 + Hb, x0:x0 + Wb] = img[py, px]
save(out)
)";

std::string LensReference(TVXBitmap* img, int32_t cx, int32_t cy, int32_t w, int32_t h, double n) {
  return numpy_oracle::Run(Fmt(kLensReference, img->Height(), img->Width(), cx, cy, w, h, n),
                           {numpy_oracle::Pixels(img)});
}

TEST(Distort, LensWithoutBendingChangesNothing) {
  auto src = Noise(23, 17, vx24RGB, 3);
  for (double n : {1.0, -1.0, 0.5, -0.99, 0.0, std::nan("")}) {
    SCOPED_TRACE(n);
    TVXBitmap img(src.get());
    TProgressRec progress = NoProgress();
    VXDoLens(&img, 11, 8, 18, 12, n, progress);
    EXPECT_EQ(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
  }
}

TEST(Distort, LensAgreesWithReference) {
  SKIP_WITHOUT_NUMPY();
  struct Case {
    int32_t w, h, cx, cy, lw, lh;
    double n;
  };
  std::vector<Case> cases = {
      {40, 30, 20, 15, 30, 20, 1.7},    // inside the image
      {40, 30, 2, 3, 24, 20, 2.5},      // past the top-left border: cut, and refracted points clamp
      {40, 30, 38, 28, 30, 30, -1.8},   // concave, past the bottom-right border
      {33, 21, 16, 10, 1000, 1000, 3},  // a box larger than the image
  };
  std::mt19937 rng(11);
  for (int k = 0; k < 6; ++k) {
    const int32_t w = 10 + int32_t(rng() % 50), h = 10 + int32_t(rng() % 50);
    cases.push_back({w, h, int32_t(rng() % w), int32_t(rng() % h), 8 + int32_t(rng() % w), 8 + int32_t(rng() % h),
                     (rng() % 2 ? 1 : -1) * (1.3 + (rng() % 400) / 100.0)});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " lens " << c.cx << "," << c.cy << " " << c.lw << "x"
                                    << c.lh << " n " << c.n);
    auto img = Noise(c.w, c.h, vx24RGB, uint32_t(c.w * 100 + c.h));
    const std::string before = numpy_oracle::Pixels(img.get());
    const std::string want = LensReference(img.get(), c.cx, c.cy, c.lw, c.lh, c.n);
    EXPECT_TRUE(want != before) << "the lens changes nothing here";
    std::vector<int32_t> progress;
    TProgressRec p;
    p.fOnProgress = [&](void*, int32_t per) { progress.push_back(per); };
    VXDoLens(img.get(), c.cx, c.cy, c.lw, c.lh, c.n, p);
    const Agreement a = Compare(numpy_oracle::Pixels(img.get()), want);
    ASSERT_GT(a.total, 0u);
    EXPECT_GE(a.equal * 100, a.total * 99) << a.equal << " of " << a.total;
    // One report a column of the box, rising from 0 and below 100.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_LT(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  }
}

TEST(Distort, LensBendsTheMiddleOfTheBox) {
  // A convex lens magnifies: the pixel at the box's middle stays, pixels off
  // the middle take sources closer to it.
  TVXBitmap img(41, 41, vx24RGB);
  for (int32_t y = 0; y < 41; ++y)
    for (int32_t x = 0; x < 41; ++x) img.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x), uint8_t(y), 0});
  TProgressRec p = NoProgress();
  VXDoLens(&img, 20, 20, 40, 40, 1.5, p);
  EXPECT_EQ(img.Pixels_vx24RGB(20, 20).b, 20);
  const TRGB right = img.Pixels_vx24RGB(30, 20);
  EXPECT_GT(right.b, 20);
  EXPECT_LT(right.b, 30);
  EXPECT_EQ(img.Pixels_vx24RGB(0, 0), (TRGB{0, 0, 0}));  // outside the ellipse
}

TEST(Distort, LensChangesOnlyTheSelection) {
  ExpectSelectionOnlyAndUndo([](TVexlaneProc& p) { p.Lens(15, 11, 24, 18, 2.2); }, 21, 50);
}

// ---- wave ----

const char* kWaveReference = R"(
H, W = %.0f, %.0f
amp, wl, phase, refl = %.0f, %.0f, %.0f, %.0f
img = load(0, np.uint8, (H, W, 3)).astype(np.float64)
bottom_up = img[::-1]
cx, cr = (W - 1) / 2.0, (H - 1) / 2.0
kx = max(1.0, H / W); kr = max(1.0, W / H)
r, x = np.mgrid[0:H, 0:W].astype(np.float64)
a = (x - cx) * kx; b = (r - cr) * kr
s = np.sin(np.hypot(a, b) * np.pi / wl + phase * np.pi / 180)
if refl:
    g = np.abs(s) * amp
    sx = cx + a * g / kx; sr = cr + b * g / kr
else:
    sx = (s * amp + a) / kx + cx; sr = (s * amp + b) / kr + cr
ix = np.clip(np.trunc(sx), 0, max(W - 2, 0)).astype(np.int64)
ir = np.clip(np.trunc(sr), 0, max(H - 2, 0)).astype(np.int64)
fx = np.mod(sx, 1.0)[..., None]; fr = np.mod(sr, 1.0)[..., None]
pad = np.zeros((int(H) + 1, int(W) + 1, 3)); pad[:int(H), :int(W)] = bottom_up
q1 = pad[ir, ix]; q2 = pad[ir, ix + 1]; q3 = pad[ir + 1, ix]; q4 = pad[ir + 1, ix + 1]
out = (1 - fr) * ((1 - fx) * q1 + fx * q2) + fr * ((1 - fx) * q3 + fx * q4)
save(np.trunc(out)[::-1].astype(np.uint8))
)";

TEST(Distort, WaveAmplitudeOrWavelengthZeroChangesNothing) {
  auto src = Noise(19, 13, vx24RGB, 5);
  for (auto [amp, wl] : {std::pair{0, 10}, std::pair{10, 0}}) {
    TVXBitmap img(src.get());
    TProgressRec p = NoProgress();
    VXDoWave(&img, amp, wl, 30, false, p);
    EXPECT_EQ(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
  }
}

TEST(Distort, WaveAgreesWithReference) {
  SKIP_WITHOUT_NUMPY();
  struct Case {
    int32_t w, h, amp, wl, phase;
    bool refl;
  };
  std::vector<Case> cases = {
      {40, 40, 4, 8, 0, false}, {60, 24, 3, 6, 45, false},  // square, and wide: elliptical ripples
      {20, 50, 5, 9, 90, true}, {1, 17, 3, 4, 10, false},   // tall; one pixel wide
      {23, 1, 2, 5, 0, true},   {1, 1, 3, 5, 0, false},
  };
  std::mt19937 rng(5);
  for (int k = 0; k < 6; ++k)
    cases.push_back({5 + int32_t(rng() % 60), 5 + int32_t(rng() % 60), int32_t(rng() % 21) - 10,
                     int32_t(rng() % 20) + 3, int32_t(rng() % 360), bool(rng() % 2)});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " amp " << c.amp << " wl " << c.wl << " phase "
                                    << c.phase << (c.refl ? " reflective" : ""));
    auto img = Photo(c.w, c.h);
    const std::string want = numpy_oracle::Run(
        Fmt(kWaveReference, c.h, c.w, c.amp, c.wl, c.phase, c.refl), {numpy_oracle::Pixels(img.get())});
    if (c.w > 1 && c.h > 1 && c.amp != 0) {
      EXPECT_TRUE(want != numpy_oracle::Pixels(img.get())) << "the wave changes nothing here";
    }
    std::vector<int32_t> progress;
    TProgressRec p;
    p.fOnProgress = [&](void*, int32_t per) { progress.push_back(per); };
    VXDoWave(img.get(), c.amp, c.wl, c.phase, c.refl, p);
    const Agreement a = Compare(numpy_oracle::Pixels(img.get()), want);
    ASSERT_GT(a.total, 0u);
    if (c.amp == 0) continue;
    EXPECT_GE(a.withinOne * 100, a.total * 99) << a.withinOne << " of " << a.total;
    ASSERT_EQ(progress.size(), size_t(c.h));
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), (c.h - 1) * 100 / c.h);
  }
}

TEST(Distort, WaveThroughTheComponent) {
  auto src = Photo(30, 20);
  TVXBitmap img(src.get());
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&img);
  proc.Wave(3, 7, 0, false);
  EXPECT_NE(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
  EXPECT_EQ(proc.GetUndoCaptions(0), "Wave");
  proc.Undo(false);
  EXPECT_EQ(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
}

// ---- bump mapping ----

// Arguments: H, W, x1, y1, x2, y2 (cut to the image), LightX, LightY, LampX,
// LampY, pcf, red, green, blue.
const char* kBumpReference = R"(
H, W, x1, y1, x2, y2, lx, ly, lampx, lampy, pcf, cr, cg, cb = [int(v) for v in load(1, np.int64, (14,))]
img = load(0, np.uint8, (H, W, 3)).astype(np.float64)
g = np.mgrid[0:256].astype(np.float64)
dist = np.hypot((g[None, :] - 128) / 128, (g[:, None] - 128) / 128)
light = np.mod(np.trunc(np.maximum(0, 1 - dist) * 256), 256)
light[128, 128] = (light[129, 129] + light[127, 127]) // 2
rect = img[y1:y2, x1:x2]
hm = ((rect[..., 2] * 21 + rect[..., 1] * 71 + rect[..., 0] * 8) // 100)
hx = np.pad(hm, ((0, 0), (1, 1)), mode='edge'); hy = np.pad(hm, ((1, 1), (0, 0)), mode='edge')
dx = hx[:, 2:] - hx[:, :-2]; dy = hy[2:, :] - hy[:-2, :]
yy, xx = np.mgrid[y1:y2, x1:x2].astype(np.float64)
nx = np.clip(dx - np.trunc((xx - lx) / lampx * 128) + 128, 0, 255).astype(np.int64)
ny = np.clip(dy - np.trunc((yy - ly) / lampy * 128) + 128, 0, 255).astype(np.int64)
L = light[ny, nx][..., None] * (100 - pcf) / 100
weights = np.array([cb, cg, cr]) / 255.0
out = img.copy()
out[y1:y2, x1:x2] = np.clip(np.rint(rect * pcf / 100 + L * weights), 0, 255)
save(out.astype(np.uint8))
)";

TEST(Distort, BumpMappingAgreesWithReference) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(17);
  for (int k = 0; k < 8; ++k) {
    const int32_t w = 5 + int32_t(rng() % 50), h = 5 + int32_t(rng() % 50);
    const int32_t x1 = int32_t(rng() % (w / 2)), y1 = int32_t(rng() % (h / 2));
    const int32_t x2 = k % 2 ? w + 5 : x1 + 1 + int32_t(rng() % (w - x1)), y2 = y1 + 1 + int32_t(rng() % (h - y1));
    const int32_t lx = int32_t(rng() % w), ly = int32_t(rng() % h);
    const int32_t lampx = (int32_t(rng() % 60) + 5) * (k % 3 ? 1 : -1), lampy = int32_t(rng() % 60) + 5;
    const int32_t pcf = int32_t(rng() % 101);
    const TRGB color{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    SCOPED_TRACE(testing::Message() << w << "x" << h << " rect " << x1 << "," << y1 << "-" << x2 << "," << y2
                                    << " light " << lx << "," << ly << " lamp " << lampx << "," << lampy << " pcf "
                                    << pcf);
    auto img = k % 2 ? Photo(w, h) : Noise(w, h, vx24RGB, uint32_t(k));
    const int64_t args[14] = {h, w, x1, y1, std::min(x2, w), std::min(y2, h), lx, ly, lampx, lampy, pcf,
                              color.r, color.g, color.b};
    const std::string expected = numpy_oracle::Run(
        kBumpReference, {numpy_oracle::Pixels(img.get()), std::string(reinterpret_cast<const char*>(args), sizeof args)});
    EXPECT_TRUE(expected != numpy_oracle::Pixels(img.get())) << "the light changes nothing here";
    TProgressRec p = NoProgress();
    VXDoBumpMapping(img.get(), x1, y1, x2, y2, lx, ly, lampx, lampy, pcf, color, p);
    const Agreement a = Compare(numpy_oracle::Pixels(img.get()), expected);
    ASSERT_GT(a.total, 0u);
    EXPECT_GE(a.withinOne * 100, a.total * 99) << a.withinOne << " of " << a.total;
  }
}

TEST(Distort, BumpMappingIdentitiesAndLightMap) {
  auto src = Photo(20, 14);
  // pcf 100 keeps every pixel; a lamp of spread 0 does nothing.
  for (auto [lampx, lampy, pcf] : {std::tuple{30, 30, 100}, std::tuple{0, 30, 0}, std::tuple{30, 0, 0}}) {
    TVXBitmap img(src.get());
    TProgressRec p = NoProgress();
    VXDoBumpMapping(&img, 0, 0, 20, 14, 5, 5, lampx, lampy, pcf, TRGB{255, 255, 255}, p);
    EXPECT_EQ(numpy_oracle::Pixels(&img), numpy_oracle::Pixels(src.get()));
  }
  // pcf 0 on a flat image: the light map times the colour. Under the lamp
  // the map's repaired centre (253) shines; at the rim of the lamp it is 0.
  TVXBitmap flat(20, 14, vx24RGB);
  flat.Fill(0x808080);
  TProgressRec p = NoProgress();
  VXDoBumpMapping(&flat, 0, 0, 20, 14, 4, 6, 10, 10, 0, TRGB{0, 128, 255}, p);
  EXPECT_EQ(flat.Pixels_vx24RGB(4, 6), (TRGB{0, 127, 253}));
  EXPECT_EQ(flat.Pixels_vx24RGB(14, 6), (TRGB{0, 0, 0}));  // d = 1
  // One pixel off the centre: nx = 128 - Trunc(12.8), (1 - 12 / 128) x 256 = 232.
  EXPECT_EQ(flat.Pixels_vx24RGB(5, 6), (TRGB{0, 116, 232}));
}

}  // namespace

namespace {

TEST(Distort, UndoCaptionsOfTheEffects) {
  struct Case {
    const char* caption;
    std::function<void(TVexlaneProc&)> op;
  };
  const std::vector<Case> cases = {
      {"Lens", [](TVexlaneProc& p) { p.Lens(10, 7, 12, 10, 1.6); }},
      {"Wave", [](TVexlaneProc& p) { p.Wave(2, 5, 0, true); }},
      {"BumpMapping", [](TVexlaneProc& p) { p.BumpMapping(4, 4, 20, 20, 30, TRGB{255, 255, 255}); }},
      {"RemoveRedEyes", [](TVexlaneProc& p) { p.RemoveRedEyes(); }},
      {"RadialStretch", [](TVexlaneProc& p) { p.RadialStretch(0, 0, 0, 0.5, 0, 0, 0, 0.5, 0, 0, 0, 0.5); }},
  };
  auto src = Photo(21, 15);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    TVXBitmap img(src.get());
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetAttachedVXBitmap(&img);
    int finished = 0;
    proc.OnFinishWork = [&](void*) { ++finished; };
    c.op(proc);
    EXPECT_EQ(proc.GetUndoCaptions(0), c.caption);
    EXPECT_EQ(finished, 1);
    proc.Undo(false);
    EXPECT_TRUE(numpy_oracle::Pixels(&img) == numpy_oracle::Pixels(src.get()));
  }
}

}  // namespace
