// The block-copy and stretch effects made on demand by the engine: the pure
// copies against a numpy model of their blocks, the ends of every effect,
// the darkening of the alternative expands, the mirrored strip of the
// unrolls, the twists' parallelograms and the push effects' dependence on
// the frames before.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gui/graphics.h"
#include "view/transition_catalogue.h"
#include "view/transitions.h"
#include "transition_pics.h"
#include "../proc/numpy_oracle.h"

namespace {

using namespace vxtest;

// Frames of one effect made on demand at the given progress values.
std::vector<Pic> Frames(TVXTransitionType t, const Pic& src, const Pic& tgt, const std::vector<float>& Progress) {
  TVXTransitionEffects e;
  e.SetTransition(t);
  auto sb = ToBitmap(src), tb = ToBitmap(tgt);
  e.PrepareBitmap(sb.get(), tb.get());
  std::vector<Pic> out;
  TBitmap dest;
  for (float p : Progress) {
    e.CreateBitmap(p, &dest);
    out.push_back(FromBitmap(&dest));
  }
  return out;
}

Pic Frame(TVXTransitionType t, const Pic& src, const Pic& tgt, float Progress) {
  return Frames(t, src, tgt, {Progress})[0];
}

std::string Bytes(const Pic& p) { return std::string(p.px.begin(), p.px.end()); }

const char* kCopyModel = R"PY(
def muldiv(a, b, c):
    if c == 0:
        return -1
    n = a * b
    q = (2 * abs(n) + abs(c)) // (2 * abs(c))
    return q if (n >= 0) == (c > 0) else -q

def blit(f, pic, x, y, cx, cy, sx, sy):
    H, W = f.shape[0], f.shape[1]
    if cx <= 0 or cy <= 0:
        return
    dx = np.arange(x, x + cx); sxs = dx - x + sx
    mx = (dx >= 0) & (dx < W) & (sxs >= 0) & (sxs < W)
    dy = np.arange(y, y + cy); sys_ = dy - y + sy
    my = (dy >= 0) & (dy < H) & (sys_ >= 0) & (sys_ < H)
    if mx.any() and my.any():
        f[np.ix_(dy[my], dx[mx])] = pic[np.ix_(sys_[my], sxs[mx])]

def frame(t, f, tg, p):
    H, W = f.shape[0], f.shape[1]
    if W < H:
        h = muldiv(H, p, 100); w = muldiv(h, W, H)
    else:
        w = muldiv(W, p, 100); h = muldiv(w, H, W)
    c = lambda x, y, cx, cy: blit(f, tg, x, y, cx, cy, x, y)
    if t == 49: c(0, 0, w, h)
    elif t == 50: c(W - w, 0, w, h)
    elif t == 51: c(0, H - h, w, h)
    elif t == 52: c(W - w, H - h, w, h)
    elif t == 53: c(0, 0, W, h // 2); c(0, H - h // 2, W, h // 2)
    elif t == 54: c(0, (H - h) // 2, W, h)
    elif t == 55: c(0, 0, w // 2, H); c(W - w // 2, 0, w // 2, H)
    elif t == 56: c((W - w) // 2, 0, w, H)
    elif t == 65: blit(f, tg, w - W, 0, W, H, 0, 0)
    elif t == 66: blit(f, tg, W - w, 0, W, H, 0, 0)
    elif t == 67: blit(f, tg, 0, h - H, W, H, 0, 0)
    elif t == 68: blit(f, tg, 0, H - h, W, H, 0, 0)
    elif t == 74:
        qw, qh = w // 2, h // 2
        c(0, 0, qw, qh); c(0, H - qh, qw, qh); c(W - qw, H - qh, qw, qh); c(W - qw, 0, qw, qh)
    elif t == 76:
        qw, qh, QW, QH = w // 2, h // 2, W // 2, H // 2
        blit(f, tg, qw - QW, 0, QW, QH, 0, 0)
        blit(f, tg, QW, qh - QH, QW, QH, QW, 0)
        blit(f, tg, W - qw, QH, QW, QH, QW, QH)
        blit(f, tg, 0, H - qh, QW, QH, 0, QH)
    elif t == 151: blit(f, f, 0, 0, W - w, H, w, 0); blit(f, tg, W - w, 0, w, H, 0, 0)
    elif t == 152: blit(f, f, w, 0, W - w, H, 0, 0); blit(f, tg, 0, 0, w, H, W - w, 0)
    elif t == 153: blit(f, f, 0, 0, W, H - h, 0, h); blit(f, tg, 0, H - h, W, h, 0, 0)
    elif t == 154: blit(f, f, 0, h, W, H - h, 0, 0); blit(f, tg, 0, 0, W, h, 0, H - h)

out = []
for k, (W, H) in enumerate(SIZES):
    src = load(2 * k, np.uint8, (H, W, 3)); tg = load(2 * k + 1, np.uint8, (H, W, 3))
    for t in TYPES:
        f = src.copy()
        for i, s in enumerate(STEPS):
            if i == 0 or s == 0:
                f = src.copy()
            if s >= 1:
                frame(t, f, tg, round(s / 1024 * 100))
            out.append(f.copy())
save(np.concatenate([a.ravel() for a in out]))
)PY";

TEST(TransitionBlockEffects, PureCopiesEqualTheModelOfTheirBlocks) {
  SKIP_WITHOUT_NUMPY();
  const std::vector<int> types = {49, 50, 51, 52, 53, 54, 55, 56, 65, 66, 67, 68, 74, 76, 151, 152, 153, 154};
  const std::vector<std::pair<int, int>> sizes = {{37, 26}, {18, 29}};
  const std::vector<float> progress = {0, 0.3f, 3, 11, 24, 37, 50, 63, 77, 90, 99, 100};
  std::vector<int> steps;
  for (float p : progress) steps.push_back(int(std::min(1024.0, std::nearbyint(p * 1024.0 / 100.0))));
  std::vector<Pic> src, tgt;
  std::vector<std::string> inputs;
  for (size_t k = 0; k < sizes.size(); ++k) {
    src.push_back(Noise(sizes[k].first, sizes[k].second, 11 + uint32_t(k)));
    tgt.push_back(Noise(sizes[k].first, sizes[k].second, 21 + uint32_t(k)));
    inputs.push_back(Bytes(src.back()));
    inputs.push_back(Bytes(tgt.back()));
  }
  std::ostringstream cfg;
  cfg << "SIZES = [";
  for (auto [w, h] : sizes) cfg << "(" << w << ", " << h << "), ";
  cfg << "]\nTYPES = [";
  for (int t : types) cfg << t << ", ";
  cfg << "]\nSTEPS = [";
  for (int s : steps) cfg << s << ", ";
  cfg << "]\n";
  const std::string model = numpy_oracle::Run(cfg.str() + kCopyModel, inputs);
  size_t at = 0;
  for (size_t k = 0; k < sizes.size(); ++k)
    for (int t : types) {
      std::vector<Pic> plain = Frames(TVXTransitionType(t), src[k], tgt[k], progress);
      std::vector<Pic> alt;
      {
        AlternativeLook look(true);
        alt = Frames(TVXTransitionType(t), src[k], tgt[k], progress);
      }
      for (size_t i = 0; i < progress.size(); ++i) {
        const size_t n = plain[i].px.size();
        ASSERT_LE(at + n, model.size());
        const std::string want = model.substr(at, n);
        at += n;
        EXPECT_EQ(Bytes(plain[i]), want) << "type " << t << " size " << k << " progress " << progress[i];
        EXPECT_EQ(Bytes(alt[i]), want) << "alternative, type " << t << " size " << k << " progress " << progress[i];
      }
    }
  EXPECT_EQ(at, model.size());
}

bool ShowsTargetAtTheEnd(int t) {
  return !(t >= vxttPushAndSqueezeLeft && t <= vxttPushAndSqueezeDown) && t != vxttMultipleAngledTwistIn;
}

TEST(TransitionBlockEffects, EveryEffectEndsOnTheTarget) {
  const Pic src = Noise(36, 24, 3), tgt = Noise(36, 24, 4);
  const Pic tall_src = Noise(20, 30, 5), tall_tgt = Noise(20, 30, 6);
  std::vector<int> types;
  for (int t = vxttExpandFromLeft; t <= vxttQuartersSlideInToCenter; ++t) types.push_back(t);
  for (int t = vxttPushLeftAndSlideOut; t <= vxttPushAndSqueezeDown; ++t) types.push_back(t);
  for (int t = vxttAngledTwistIn; t <= vxttMultipleAngledTwistOut; ++t) types.push_back(t);
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (int t : types) {
      if (!ShowsTargetAtTheEnd(t)) continue;
      EXPECT_TRUE(Frame(TVXTransitionType(t), src, tgt, 100) == tgt) << t << (alt ? " alternative" : "");
      // After frames on the way as well.
      EXPECT_TRUE(Frames(TVXTransitionType(t), tall_src, tall_tgt, {10, 45, 80, 100}).back() == tall_tgt)
          << t << (alt ? " alternative" : "");
    }
  }
}

TEST(TransitionBlockEffects, NothingChangesAtZeroPercent) {
  const Pic src = Noise(30, 20, 7), tgt = Noise(30, 20, 8);
  std::vector<int> types;
  for (int t = vxttExpandFromLeft; t <= vxttWipeOutFromVerticalCenter; ++t) types.push_back(t);
  for (int t = vxttSlideInFromLeft; t <= vxttSlideInFromBottom; ++t) types.push_back(t);
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (int t : types)
      // Steps 1 .. 5 are drawn at 0 %.
      for (float p : {0.1f, 0.3f, 0.48f}) {
        const std::vector<Pic> f = Frames(TVXTransitionType(t), src, tgt, {p, p});
        EXPECT_TRUE(f[0] == src && f[1] == src) << t << " at " << p << (alt ? " alternative" : "");
      }
  }
}

TEST(TransitionBlockEffects, AlternativeExpandFromBottomDarkensOnlyTheUncoveredRows) {
  const Pic src = Noise(24, 40, 9, 40), tgt = Noise(24, 40, 10);
  const std::vector<float> progress = {5, 20, 35, 50, 70, 90, 99};
  const std::vector<Pic> plain = Frames(vxttExpandFromBottom, src, tgt, progress);
  std::vector<Pic> alt;
  {
    AlternativeLook look(true);
    alt = Frames(vxttExpandFromBottom, src, tgt, progress);
  }
  for (size_t i = 0; i < progress.size(); ++i) {
    const int p = VXTransitionPercent(int(std::nearbyint(progress[i] * 1024.0 / 100.0)));
    int W, H, w, h;
    CalcProgressSize(TRect{0, 0, 24, 40}, p, W, H, w, h);
    const int k = 10 - p / 10, a = 100 - k * k;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        for (int c = 0; c < 3; ++c) {
          if (y >= H - h) {
            // Covered: the new picture as the plain look stretches it.
            ASSERT_EQ(alt[i].at(x, y)[c], plain[i].at(x, y)[c]) << p << "% (" << x << ", " << y << ")";
          } else {
            // Uncovered: the old picture under black at opacity a / 255.
            const double want = src.at(x, y)[c] * (255.0 - a) / 255.0;
            ASSERT_NEAR(alt[i].at(x, y)[c], want, 1.0) << p << "% (" << x << ", " << y << ")";
          }
        }
  }
}

// Pictures whose columns (or rows) each have their own colour: the bytes
// of column x are (x, 100 + x, 200 - x), plus Offset.
Pic Columns(int W, int H, bool Rows, int Offset) {
  Pic p(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int i = Rows ? y : x;
      p.at(x, y)[0] = uint8_t(i + Offset);
      p.at(x, y)[1] = uint8_t(100 + i + Offset);
      p.at(x, y)[2] = uint8_t(200 - i - Offset);
    }
  return p;
}

TEST(TransitionBlockEffects, UnrollsShowTheNextStripMirroredOnTheRoll) {
  // At 50 % of 20 pixels: w = 10, the roll is 2 wide. Expected per column
  // (or row): 'S' the source, 'T' the target in place, a number: that
  // column of the target, -1 a blend of the two strip columns.
  struct Case {
    TVXTransitionType t;
    bool rows;
    std::vector<int> want;  // 20 entries; -2 = source, -3 = target in place
  };
  const int S = -2, T = -3, M = -1;
  const std::vector<int> fromStart = {T, T, T, T, T, T, T, T, T, T, 13, 13, M, 12, S, S, S, S, S, S};
  const std::vector<int> fromEnd = {S, S, S, S, S, S, S, S, 7, 7, T, T, T, T, T, T, T, T, T, T};
  const std::vector<Case> cases = {{vxttUnrollFromLeft, false, fromStart},
                                   {vxttUnrollFromRight, false, fromEnd},
                                   {vxttUnrollFromTop, true, fromStart},
                                   {vxttUnrollFromBottom, true, fromEnd}};
  for (const Case& c : cases) {
    const int W = c.rows ? 4 : 20, H = c.rows ? 20 : 4;
    const Pic src = Solid(W, H, 7), tgt = Columns(W, H, c.rows, 10);
    const Pic f = Frame(c.t, src, tgt, 50);
    for (int i = 0; i < 20; ++i) {
      const int x = c.rows ? 1 : i, y = c.rows ? i : 1;
      const uint8_t* got = f.at(x, y);
      const int want = c.want[size_t(i)];
      if (want == S) {
        EXPECT_EQ(std::memcmp(got, src.at(x, y), 3), 0) << c.t << " at " << i;
      } else if (want == T) {
        EXPECT_EQ(std::memcmp(got, tgt.at(x, y), 3), 0) << c.t << " at " << i;
      } else if (want == M) {
        // Between the strip's two columns.
        EXPECT_GE(got[0], 10 + 12) << c.t << " at " << i;
        EXPECT_LE(got[0], 10 + 13) << c.t << " at " << i;
      } else {
        const uint8_t* from = c.rows ? tgt.at(1, want) : tgt.at(want, 1);
        EXPECT_EQ(std::memcmp(got, from, 3), 0) << c.t << " at " << i << " wants " << want;
      }
    }
  }
}

// One parallelogram copy: the source rectangle (sx, sy, cw, ch) of a
// picture onto the parallelogram of points a (upper left), b (upper right)
// and c (lower left).
struct Plg {
  const Pic* pic;
  int sx, sy, cw, ch;
  double ax, ay, bx, by, cx, cy;
};

// The expected frame of parallelogram copies drawn in order over Base:
// pixels whose centre lies clearly inside a parallelogram take the source
// pixel at its coordinates; pixels near an edge are marked unknown.
void ExpectParallelograms(const Pic& got, const Pic& Base, const std::vector<Plg>& copies, const std::string& what) {
  const int W = Base.W, H = Base.H;
  std::vector<const uint8_t*> want(size_t(W) * H, nullptr);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) want[size_t(y) * W + x] = Base.at(x, y);
  const double eps = 0.03;
  for (const Plg& p : copies) {
    const double ux = p.bx - p.ax, uy = p.by - p.ay, vx = p.cx - p.ax, vy = p.cy - p.ay;
    const double det = ux * vy - uy * vx;
    if (det == 0) continue;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const double px = x + 0.5 - p.ax, py = y + 0.5 - p.ay;
        const double u = (px * vy - py * vx) / det, v = (ux * py - uy * px) / det;
        const bool near = std::fabs(u) < eps || std::fabs(v) < eps || std::fabs(u - 1) < eps || std::fabs(v - 1) < eps;
        const bool inside = u >= 0 && v >= 0 && u < 1 && v < 1;
        if (!inside && !near) continue;
        const int su = p.sx + int(u * p.cw), sv = p.sy + int(v * p.ch);
        const bool fromPic = inside && su >= 0 && sv >= 0 && su < p.pic->W && sv < p.pic->H;
        // Near the edges or between two source pixels: unknown.
        const double fu = u * p.cw - std::floor(u * p.cw), fv = v * p.ch - std::floor(v * p.ch);
        if (near || fu < 0.01 || fu > 0.99 || fv < 0.01 || fv > 0.99)
          want[size_t(y) * W + x] = nullptr;
        else if (fromPic)
          want[size_t(y) * W + x] = p.pic->at(su, sv);
      }
  }
  int checked = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (const uint8_t* w = want[size_t(y) * W + x]) {
        ++checked;
        EXPECT_EQ(std::memcmp(got.at(x, y), w, 3), 0) << what << " at (" << x << ", " << y << ")";
      }
  EXPECT_GT(checked, W * H / 2) << what;
}

TEST(TransitionBlockEffects, TwistsCopyIntoTheirParallelograms) {
  const int W = 24, H = 16;
  const Pic src = Noise(W, H, 12), tgt = Noise(W, H, 13);
  // 50 %: w = 12, h = 8.
  ExpectParallelograms(Frame(vxttAngledTwistIn, src, tgt, 50), src, {{&tgt, 0, 0, W, H, 6, 4, W, 0, 0, H}},
                       "twist in");
  ExpectParallelograms(Frame(vxttAngledTwistOut, src, tgt, 50), tgt, {{&src, 0, 0, W, H, 6, 4, W, 0, 0, H}},
                       "twist out");
  // Step 256: cells of Round(24 / 6) = 4 by Round(16 / 4) = 4.
  const int cw = 4, ch = 4;
  std::vector<Plg> in, out;
  const int bi = (cw - 1) / 2, ci = (ch - 1) / 2;  // (cw - MulDiv(cw, 256, 1024)) div 2
  const int bo = 1, co = 1;                         // MulDiv(cw, 256, 1024)
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 6; ++j) {
      const double x = cw * j, y = ch * i;
      in.push_back({&tgt, int(x), int(y), cw, ch, x + bi, y + ci, x + cw, y - 1, x - 1, y + ch});
      out.push_back({&src, int(x), int(y), cw, ch, x + bo / 2, y + co / 2, x + cw, y, x, y + ch});
    }
  ExpectParallelograms(Frame(vxttMultipleAngledTwistIn, src, tgt, 25), src, in, "multiple twist in");
  ExpectParallelograms(Frame(vxttMultipleAngledTwistOut, src, tgt, 25), tgt, out, "multiple twist out");
}

TEST(TransitionBlockEffects, PushFramesDependOnTheFramesBefore) {
  const Pic src = Noise(40, 30, 14), tgt = Noise(40, 30, 15);
  for (int t = vxttPushLeftAndSlideOut; t <= vxttPushAndSqueezeDown; ++t) {
    const Pic direct = Frames(TVXTransitionType(t), src, tgt, {60}).back();
    const Pic afterOne = Frames(TVXTransitionType(t), src, tgt, {30, 60}).back();
    const Pic afterTwo = Frames(TVXTransitionType(t), src, tgt, {20, 40, 60}).back();
    EXPECT_FALSE(direct == afterOne) << t;
    EXPECT_FALSE(afterOne == afterTwo) << t;
  }
}

}  // namespace
