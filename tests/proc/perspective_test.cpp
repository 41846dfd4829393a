// Drawing onto quadrilaterals and 3D projection: a numpy reference that
// solves the homography of the corners, stretched copies, the alpha modes,
// reflections, and the quads that must not draw.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/perspective.h"
#include "proc/proc.h"

namespace {

using procfixture::Noise;

std::string Bytes(const std::vector<int64_t>& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(int64_t));
}

std::string AlphaBytes(TVXBitmap* b) { return numpy_oracle::Pixels(b->AlphaChannel()); }

// Inputs: source pixels, source alpha, destination pixels, destination
// alpha, then SW, SH, DW, DH, x0, y0, x1, y1, x2, y2, x3, y3, alphaMin,
// alphaMax, merge, Transparency. Output: the destination pixels, its alpha
// and a mask of the pixels drawn.
const char* kQuadReference = R"(
SW, SH, DW, DH, x0, y0, x1, y1, x2, y2, x3, y3, amin, amax, merge, T = [int(v) for v in load(4, np.int64, (16,))]
src = load(0, np.uint8, (SH, SW, 3)).astype(np.int64); sal = load(1, np.uint8, (SH, SW)).astype(np.int64)
dst = load(2, np.uint8, (DH, DW, 3)).astype(np.int64); dal = load(3, np.uint8, (DH, DW)).astype(np.int64)
xs = np.array([x0, x1, x2, x3], float); ys = np.array([y0, y1, y2, y3], float)
X = xs / (xs.max() + 1); Y = ys / (ys.max() + 1)
# The homography taking (0,0), (1,0), (1,1), (0,1) to the corners.
rows, rhs = [], []
for (u, v), Xi, Yi in zip([(0, 0), (1, 0), (1, 1), (0, 1)], X, Y):
    rows.append([u, v, 1, 0, 0, 0, -u * Xi, -v * Xi]); rhs.append(Xi)
    rows.append([0, 0, 0, u, v, 1, -u * Yi, -v * Yi]); rhs.append(Yi)
h = np.linalg.solve(np.array(rows, float), np.array(rhs, float))
Minv = np.linalg.inv(np.append(h, 1.0).reshape(3, 3))
drawn = np.zeros((DH, DW), np.uint8)
r0, r1 = np.clip([ys.min(), ys.max()], 0, DH - 1).astype(int); c0, c1 = np.clip([xs.min(), xs.max()], 0, DW - 1).astype(int)
yy, xx = np.mgrid[r0:r1 + 1, c0:c1 + 1]
p = np.tensordot(Minv, np.stack([xx / (xs.max() + 1), yy / (ys.max() + 1), np.ones(xx.shape)]), axes=1)
u, v = p[0] / p[2], p[1] / p[2]
sx = np.trunc(u * SW + 0.5); sy = np.trunc(v * SH + 0.5)
ok = (sx >= 0) & (sx < SW) & (sy >= 0) & (sy < SH)
yy, xx, sx, sy = yy[ok], xx[ok], sx[ok].astype(np.int64), sy[ok].astype(np.int64)
s = src[sy, sx]; sa = sal[sy, sx]
if amin >= 0 and amax >= 0:
    if merge:
        g = 255 - sy * 255 // SH if y0 < y3 else sy * 255 // SH
        a = np.minimum(np.minimum(g, sa), T)
    else:
        g = 1 - sy / SH if y0 < y3 else sy / SH
        a = np.minimum(np.minimum(np.trunc(g * sa).astype(np.int64), sa), T)
    a = np.where(a < amin, amin, np.where(a > amax, amax, a))
else:
    a = np.minimum(sa, T)
if merge:
    old = dst[yy, xx]
    dst[yy, xx] = old + ((a[:, None] * (s - old)) >> 8)
else:
    dst[yy, xx] = s; dal[yy, xx] = a
drawn[yy, xx] = 1
save(np.concatenate([dst.astype(np.uint8).ravel(), dal.astype(np.uint8).ravel(), drawn.ravel()]))
)";

struct Quad {
  int32_t x0, y0, x1, y1, x2, y2, x3, y3;
};

TEST(Perspective, QuadsAgreeWithReference) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(23);
  for (int k = 0; k < 16; ++k) {
    const int32_t SW = 5 + int32_t(rng() % 30), SH = 5 + int32_t(rng() % 30), DW = 70, DH = 60;
    // A rectangle with its corners moved about, at times past the border or
    // upside down.
    const int32_t L = int32_t(rng() % 40) - 10, T = int32_t(rng() % 30) - 10;
    const int32_t R = L + 15 + int32_t(rng() % 40), B = T + 15 + int32_t(rng() % 40);
    auto j = [&] { return int32_t(rng() % 17) - 8; };
    Quad q{L + j(), T + j(), R + j(), T + j(), R + j(), B + j(), L + j(), B + j()};
    if (k % 5 == 4) q = Quad{q.x3, q.y3, q.x2, q.y2, q.x1, q.y1, q.x0, q.y0};
    const bool merge = k % 2, gradient = (k / 2) % 2;
    const int32_t amin = gradient ? int32_t(rng() % 100) : -1, amax = gradient ? amin + int32_t(rng() % 156) : -1;
    const int32_t transparency = k % 3 ? 255 : 1 + int32_t(rng() % 254);
    SCOPED_TRACE(testing::Message() << "case " << k << " quad " << q.x0 << "," << q.y0 << " " << q.x1 << ","
                                    << q.y1 << " " << q.x2 << "," << q.y2 << " " << q.x3 << "," << q.y3
                                    << (merge ? " merge" : "") << " alpha " << amin << ".." << amax << " T "
                                    << transparency);
    auto src = Noise(SW, SH, vx24RGB, uint32_t(k));
    auto salpha = Noise(SW, SH, vx8g, uint32_t(k + 100));
    src->AlphaChannel()->Assign(salpha.get());
    src->AlphaChannel()->SetFull(false);
    auto dst = Noise(DW, DH, vx24RGB, uint32_t(k + 200));
    const std::string want = numpy_oracle::Run(
        kQuadReference, {numpy_oracle::Pixels(src.get()), AlphaBytes(src.get()), numpy_oracle::Pixels(dst.get()),
                         AlphaBytes(dst.get()),
                         Bytes({SW, SH, DW, DH, q.x0, q.y0, q.x1, q.y1, q.x2, q.y2, q.x3, q.y3, amin, amax, merge,
                                transparency})});
    ASSERT_EQ(want.size(), size_t(DW * DH * 5));
    VXDrawToQuad(src.get(), dst.get(), q.x0, q.y0, q.x1, q.y1, q.x2, q.y2, q.x3, q.y3, amin, amax, merge,
                 transparency);
    const std::string got = numpy_oracle::Pixels(dst.get()), gotAlpha = AlphaBytes(dst.get());
    size_t drawn = 0, differ = 0;
    for (size_t i = 0; i < size_t(DW * DH); ++i) {
      drawn += want[size_t(DW * DH * 4) + i] != 0;
      differ += got.compare(3 * i, 3, want, 3 * i, 3) != 0 || gotAlpha[i] != want[size_t(DW * DH * 3) + i];
    }
    EXPECT_GT(drawn, 50u);
    EXPECT_LE(differ * 100, drawn) << differ << " of " << drawn << " drawn pixels differ";
  }
}

TEST(Perspective, AxisAlignedQuadIsAStretchedCopy) {
  auto src = Noise(8, 6, vx24RGB, 1);
  TVXBitmap dst(40, 30, vx24RGB);
  VXDrawToQuad(src.get(), &dst, 5, 4, 24, 4, 24, 15, 5, 15, -1, -1, false, 255);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      // Nearest pixel: u = (x - 5) / 19 over the 20 columns, v = (y - 4) / 11.
      const int32_t sx = int32_t((x - 5) / 19.0 * 8 + 0.5), sy = int32_t((y - 4) / 11.0 * 6 + 0.5);
      const bool inside = x >= 5 && x <= 24 && y >= 4 && y <= 15 && sx < 8 && sy < 6;
      ASSERT_EQ(dst.Pixels_vx24RGB(x, y), inside ? src->Pixels_vx24RGB(sx, sy) : TRGB{}) << x << "," << y;
    }
}

TEST(Perspective, QuadsThatDrawNothing) {
  auto src = Noise(8, 6, vx24RGB, 2);
  auto dst = Noise(30, 30, vx24RGB, 3);
  const std::string before = numpy_oracle::Pixels(dst.get());
  struct Case {
    const char* what;
    Quad q;
    int32_t transparency;
  };
  for (const Case& c : {Case{"transparency 0", {2, 2, 20, 2, 20, 20, 2, 20}, 0},
                        Case{"x0 = x1", {2, 2, 2, 9, 20, 20, 2, 20}, 255},
                        Case{"y2 = y0", {2, 2, 20, 5, 20, 2, 2, 20}, 255},
                        Case{"largest x -1", {-5, 2, -1, 2, -1, 20, -5, 20}, 255},
                        Case{"three corners on a line", {0, 0, 10, 0, 10, 10, 10, 20}, 255}}) {
    SCOPED_TRACE(c.what);
    VXDrawToQuad(src.get(), dst.get(), c.q.x0, c.q.y0, c.q.x1, c.q.y1, c.q.x2, c.q.y2, c.q.x3, c.q.y3, -1, -1, true,
                 c.transparency);
    EXPECT_TRUE(numpy_oracle::Pixels(dst.get()) == before);
  }
}

TEST(Perspective, ProjectedQuadsAgreeWithReference) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(31);
  std::vector<int64_t> args;
  std::vector<TVXQuadCoords> got;
  for (int k = 0; k < 40; ++k) {
    const int32_t cx = int32_t(rng() % 400), cy = int32_t(rng() % 300), w = 10 + int32_t(rng() % 200),
                  h = 10 + int32_t(rng() % 200), tx = int32_t(rng() % 41) - 20, ty = int32_t(rng() % 41) - 20;
    const int32_t depth = 300 + int32_t(rng() % 700), rx = int32_t(rng() % 121) - 60, ry = int32_t(rng() % 121) - 60;
    TVXQuadCoords q;
    VXProjectDraw3D(nullptr, nullptr, cx, cy, w, h, tx, ty, depth, rx, ry, -1, -1, q, 0, false, 255);
    got.push_back(q);
    for (int64_t v : {cx, cy, w, h, tx, ty, depth, rx, ry}) args.push_back(v);
  }
  const std::string want = numpy_oracle::Run(R"(
a = load(0, np.int64, (-1, 9)).astype(np.float64)
out = []
for cx, cy, w, h, tx, ty, depth, rx, ry in a:
    ax, ay = np.radians(rx), np.radians(ry)
    Ry = np.array([[np.cos(ay), 0, np.sin(ay)], [0, 1, 0], [-np.sin(ay), 0, np.cos(ay)]])
    Rx = np.array([[1, 0, 0], [0, np.cos(ax), -np.sin(ax)], [0, np.sin(ax), np.cos(ax)]])
    for px, py in [(0, 0), (w, 0), (w, h), (0, h)]:
        x, y, z = Rx @ Ry @ np.array([px - (w / 2 - tx), py - (h / 2 - ty), 0.0])
        out += [np.trunc(cx + x * depth / (depth + z) - tx), np.trunc(cy + y * depth / (depth + z) - ty)]
save(np.array(out, np.int64))
)",
                                             {Bytes(args)});
  ASSERT_EQ(want.size(), got.size() * 8 * sizeof(int64_t));
  const int64_t* w = reinterpret_cast<const int64_t*>(want.data());
  for (size_t k = 0; k < got.size(); ++k) {
    const TVXQuadCoords& q = got[k];
    const int32_t mine[8] = {q.x0, q.y0, q.x1, q.y1, q.x2, q.y2, q.x3, q.y3};
    for (int i = 0; i < 8; ++i) EXPECT_LE(std::abs(mine[i] - w[k * 8 + size_t(i)]), 1) << "case " << k << " value " << i;
  }
}

TEST(Perspective, CornersAtOrBehindTheEyeDrawNothing) {
  auto src = Noise(10, 10, vx24RGB, 4);
  auto dst = Noise(60, 60, vx24RGB, 5);
  const std::string before = numpy_oracle::Pixels(dst.get());
  const TVXQuadCoords kept{1, 2, 3, 4, 5, 6, 7, 8};
  // Turned by 90 degrees, the near edge of a 300 wide picture lies 150 in
  // front of an eye only 100 away; a depth of 0 puts the eye on the picture.
  for (auto [depth, ry] : {std::pair{100.0, 90.0}, std::pair{0.0, 0.0}, std::pair{-50.0, 0.0}}) {
    TVXQuadCoords q = kept;
    VXProjectDraw3D(src.get(), dst.get(), 30, 30, 300, 40, 0, 0, depth, 0, ry, 0, 255, q, 2, false, 255);
    EXPECT_EQ(q, kept);
    EXPECT_TRUE(numpy_oracle::Pixels(dst.get()) == before);
  }
}

TEST(Perspective, ProjectDrawWithoutTurnsIsTheFittedRectangle) {
  TVXBitmap img(120, 160, vx24RGB);
  TVXBitmap src(40, 20, vx24RGB);
  src.Fill(0xFFFFFF);
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&img);
  // 40 x 20 fitted into 100 x 100 is 100 x 50, centred on (60, 50).
  const TVXQuadCoords q = proc.ProjectDraw(&src, 60, 50, 100, 100, 700.0, 0, 0, 0.0, 0.0, -1, -1, false);
  EXPECT_EQ(q, (TVXQuadCoords{10, 25, 110, 25, 110, 75, 10, 75}));
  EXPECT_EQ(proc.GetUndoCaptions(0), "ProjectDraw");
  EXPECT_EQ(img.Pixels_vx24RGB(60, 50), (TRGB{255, 255, 255}));
  EXPECT_EQ(img.Pixels_vx24RGB(10, 25), (TRGB{255, 255, 255}));
  for (auto [x, y] : {std::pair{9, 50}, std::pair{111, 50}, std::pair{60, 24}, std::pair{60, 76}, std::pair{60, 100}})
    EXPECT_EQ(img.Pixels_vx24RGB(x, y), (TRGB{0, 0, 0})) << x << "," << y;
  // The scale form: 40 x 20 times 1.5.
  const TVXQuadCoords s = proc.ProjectDraw(&src, 60, 50, 1.5, 700.0, 0, 0, 0.0, 0.0, -1, -1, false);
  EXPECT_EQ(s, (TVXQuadCoords{30, 35, 90, 35, 90, 65, 30, 65}));
  proc.Undo(false);
}

TEST(Perspective, ReflectionStaysBelowItsAlphaMaximum) {
  TVXBitmap src(40, 20, vx24RGB);
  src.Fill(0xFFFFFF);
  for (bool merge : {false, true}) {
    SCOPED_TRACE(merge);
    TVXBitmap img(120, 160, vx24RGB);
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetAttachedVXBitmap(&img);
    const TVXQuadCoords q = proc.ProjectDraw(&src, 60, 50, 100, 100, 700.0, 0, 0, 0.0, 0.0, 0, 128, merge);
    ASSERT_EQ(q.y3, 75);
    int reflected = 0, strongest = 0;
    for (int32_t y = 76; y < 160; ++y)
      for (int32_t x = 0; x < 120; ++x) {
        const int v = merge ? img.Pixels_vx24RGB(x, y).r : img.Alpha(x, y);
        if (merge || img.Pixels_vx24RGB(x, y).r) {
          strongest = std::max(strongest, v);
          reflected += v > 0;
        }
      }
    EXPECT_GT(reflected, 1000);
    EXPECT_LE(strongest, merge ? 127 : 128);
    // Strongest next to the picture, fading away from it.
    const int near = merge ? img.Pixels_vx24RGB(60, 77).r : img.Alpha(60, 77);
    const int far = merge ? img.Pixels_vx24RGB(60, 122).r : img.Alpha(60, 122);
    EXPECT_GT(near, far);
    if (!merge) {
      EXPECT_FALSE(img.AlphaChannel()->Full());
    }
  }
}

TEST(Perspective, PerspectiveDrawThroughTheComponent) {
  auto src = Noise(8, 6, vx24RGB, 6);
  TVXBitmap img(40, 30, vx24RGB);
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&img);
  proc.PerspectiveDraw(src.get(), 5, 4, 24, 4, 24, 15, 5, 15, -1, -1, false);
  EXPECT_EQ(proc.GetUndoCaptions(0), "PerspectiveDraw");
  EXPECT_EQ(img.Pixels_vx24RGB(5, 4), src->Pixels_vx24RGB(0, 0));
  EXPECT_EQ(img.Pixels_vx24RGB(22, 14), src->Pixels_vx24RGB(7, 5));
  proc.Undo(false);
  EXPECT_EQ(img.Pixels_vx24RGB(5, 4), (TRGB{0, 0, 0}));
}

}  // namespace
