// The transition engine's own effects made on demand (PrepareBitmap, then
// CreateBitmap at rising percentages), compared with a pixel model of their
// formulas written here, plus the stretched and perspective effects against
// the window layer's own stretches and quad drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/random.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "proc/perspective.h"
#include "view/transition_catalogue.h"
#include "view/transitions.h"
#include "transition_pics.h"
#include "winui/gdi.h"

namespace {

using namespace vxtest;


// Where the first pixel differs, for the failure message.
std::string FirstDifference(const Pic& a, const Pic& b) {
  if (a.W != b.W || a.H != b.H) return "sizes differ";
  for (int y = 0; y < a.H; ++y)
    for (int x = 0; x < a.W; ++x)
      if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "(%d, %d): %d %d %d vs model %d %d %d", x, y, a.at(x, y)[0], a.at(x, y)[1],
                      a.at(x, y)[2], b.at(x, y)[0], b.at(x, y)[1], b.at(x, y)[2]);
        return buf;
      }
  return "";
}

int RoundHalfEven(double v) { return int(std::nearbyint(v)); }


// The model of one frame at step s drawn over the previous model frame.
void ModelStep(TVXTransitionType t, int s, bool first, bool alt, const Pic& src, const Pic& tgt, const uint8_t bg[3],
               Pic& f) {
  const int W = f.W, H = f.H;
  auto reset = [&] {
    if (s == 0 || first) f.px = src.px;
  };
  auto copyRect = [&](const Pic& from, int x0, int y0, int w, int h) {
    for (int y = std::max(0, y0); y < std::min(H, y0 + h); ++y)
      for (int x = std::max(0, x0); x < std::min(W, x0 + w); ++x) std::memcpy(f.at(x, y), from.at(x, y), 3);
  };
  const uint8_t red[3] = {0, 0, 255};
  auto vline = [&](int x) {
    if (x >= 0 && x < W)
      for (int y = 0; y < H; ++y) std::memcpy(f.at(x, y), red, 3);
  };
  auto hline = [&](int y) {
    if (y >= 0 && y < H)
      for (int x = 0; x < W; ++x) std::memcpy(f.at(x, y), red, 3);
  };
  switch (t) {
    case vxttCrossDissolve:
    case vxttFadeOut:
    case vxttFadeIn:
    case vxttFadeOutIn:
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
          for (int c = 0; c < 3; ++c) {
            const int a = src.at(x, y)[c], b = tgt.at(x, y)[c];
            int v;
            if (t == vxttCrossDissolve)
              v = (a * (1024 - s) + b * s) >> 10;
            else if (t == vxttFadeOut)
              v = (bg[c] * s + a * (1024 - s)) >> 10;
            else if (t == vxttFadeIn)
              v = (bg[c] * (1024 - s) + b * s) >> 10;
            else if (s < 512)
              v = (bg[c] * 2 * s + a * (1024 - 2 * s)) >> 10;
            else
              v = (bg[c] * (2048 - 2 * s) + b * (2 * s - 1024)) >> 10;
            f.at(x, y)[c] = uint8_t(v);
          }
      return;
    case vxttLeftRight1:
    case vxttLeftRight2: {
      reset();
      const int x = (s * W) >> 10;
      copyRect(tgt, 0, 0, x, H);
      if (t == vxttLeftRight2) vline(x);
      return;
    }
    case vxttRightLeft1:
    case vxttRightLeft2: {
      reset();
      const int x = RoundHalfEven(W * (1024 - s) / 1024.0);
      copyRect(tgt, x, 0, RoundHalfEven(s * W / 1024.0), H);
      if (t == vxttRightLeft2) vline(x);
      return;
    }
    case vxttUpDown1:
    case vxttUpDown2: {
      reset();
      const int y = RoundHalfEven(s * H / 1024.0);
      copyRect(tgt, 0, 0, W, y);
      if (t == vxttUpDown2) hline(y);
      return;
    }
    case vxttDownUp1:
    case vxttDownUp2: {
      reset();
      const int y = RoundHalfEven(H * (1024 - s) / 1024.0);
      copyRect(tgt, 0, y, W, RoundHalfEven(s * H / 1024.0));
      if (t == vxttDownUp2) hline(y);
      return;
    }
    case vxttFromUpLeft:
    case vxttFromUpRight:
    case vxttFromBottomLeft:
    case vxttFromBottomRight: {
      reset();
      const int dx = ((1024 - s) * W) >> 10, dy = ((1024 - s) * H) >> 10;
      const int ox = (t == vxttFromUpLeft || t == vxttFromBottomLeft) ? -dx : dx;
      const int oy = (t == vxttFromUpLeft || t == vxttFromUpRight) ? -dy : dy;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const int sx = x - ox, sy = y - oy;
          if (sx >= 0 && sx < W && sy >= 0 && sy < H) std::memcpy(f.at(x, y), tgt.at(sx, sy), 3);
        }
      return;
    }
    case vxttMoveLeftRight1:
    case vxttMoveLeftRight2:
    case vxttMoveRightLeft1:
    case vxttMoveRightLeft2:
    case vxttMoveUpDown1:
    case vxttMoveUpDown2:
    case vxttMoveDownUp1:
    case vxttMoveDownUp2: {
      const int b = (s * W) >> 10, c = ((1024 - s) * W) >> 10, r = (s * H) >> 10, q = ((1024 - s) * H) >> 10;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const uint8_t* p;
          switch (t) {
            case vxttMoveLeftRight1: p = x < b ? tgt.at(W - b + x, y) : src.at(x - b, y); break;
            case vxttMoveLeftRight2: p = x < b ? tgt.at(x, y) : src.at(x - b, y); break;
            case vxttMoveRightLeft1: p = x < c ? src.at(W - c + x, y) : tgt.at(x - c, y); break;
            case vxttMoveRightLeft2: p = x < c ? src.at(x, y) : tgt.at(x - c, y); break;
            case vxttMoveUpDown1: p = y < r ? tgt.at(x, H - r + y) : src.at(x, y - r); break;
            case vxttMoveUpDown2: p = y < r ? tgt.at(x, y) : src.at(x, y - r); break;
            case vxttMoveDownUp1: p = y < q ? src.at(x, H - q + y) : tgt.at(x, y - q); break;
            default: p = y < q ? src.at(x, H - q + y) : tgt.at(x, y); break;
          }
          std::memcpy(f.at(x, y), p, 3);
        }
      return;
    }
    case vxttCenter1:
    case vxttCenter2: {
      const int hw = W / 2, hh = H / 2;
      const int k = t == vxttCenter1 ? s : 1024 - s;
      if (t == vxttCenter1)
        reset();
      else
        f.px = tgt.px;
      copyRect(t == vxttCenter1 ? tgt : src, hw - ((k * hw) >> 10), hh - ((k * hh) >> 10), (k * W) >> 10,
               (k * H) >> 10);
      return;
    }
    default: {  // soft wipes
      const bool horiz = t == vxttSoftWipeFromLeft || t == vxttSoftWipeFromRight;
      const bool fwd = t == vxttSoftWipeFromLeft || t == vxttSoftWipeFromTop;
      const int len = horiz ? W : H;
      const int D = alt ? len / 4 : len / 8;
      const int p = MulDiv(D + len, fwd ? s : 1024 - s, 1024);
      const Pic& nw = fwd ? tgt : src;
      const Pic& old = fwd ? src : tgt;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const int j = horiz ? x : y;
          int w = j > p ? 0 : (D == 0 ? (p > j ? 1024 : 0) : std::min(1024, MulDiv(1024, p - j, D)));
          for (int c = 0; c < 3; ++c)
            f.at(x, y)[c] = uint8_t((old.at(x, y)[c] * (1024 - w) + nw.at(x, y)[c] * w) >> 10);
        }
      return;
    }
  }
}

const float kRising[] = {0, 0.4f, 1, 3, 10, 25, 33, 50, 51, 75, 90, 99, 99.6f, 100};

TEST(TransitionEffects, ModelledEffectsMatchFrameByFrameInBothLooks) {
  std::vector<TVXTransitionType> types;
  for (int t = 1; t <= 24; ++t) types.push_back(TVXTransitionType(t));
  for (int t : {27, 28, 219, 220, 221, 222}) types.push_back(TVXTransitionType(t));
  const int sizes[][2] = {{8, 8}, {9, 7}, {13, 16}, {20, 11}, {5, 3}};
  const TColor bgColor = 0x406080;  // red 0x80, green 0x60, blue 0x40
  const uint8_t bg[3] = {0x40, 0x60, 0x80};
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (auto& sz : sizes) {
      const Pic src = Noise(sz[0], sz[1], 7), tgt = Noise(sz[0], sz[1], 99);
      auto sb = ToBitmap(src), tb = ToBitmap(tgt);
      for (TVXTransitionType t : types) {
        // The straight wipes' line pen is two pixels wide in the
        // alternative look, which the model does not draw.
        if (alt && (t == vxttLeftRight2 || t == vxttRightLeft2 || t == vxttUpDown2 || t == vxttDownUp2)) continue;
        TVXTransitionEffects e;
        e.SetTransition(t);
        e.SetBackground(bgColor);
        e.PrepareBitmap(sb.get(), tb.get());
        Pic model = src;
        bool first = true;
        for (float pct : kRising) {
          TBitmap out;
          e.CreateBitmap(pct, &out);
          const int s = std::clamp(RoundHalfEven(pct * 1024.0 / 100.0), 0, 1024);
          ModelStep(t, s, first, alt, src, tgt, bg, model);
          first = false;
          const std::string diff = FirstDifference(FromBitmap(&out), model);
          ASSERT_EQ(diff, "") << "type " << t << " at " << pct << "% on " << sz[0] << "x" << sz[1]
                              << (alt ? " (alternative)" : "");
        }
      }
    }
  }
}

// One frame of an effect at step-exact percentage from fresh pictures.
Pic FrameAt(TVXTransitionType t, const Pic& src, const Pic& tgt, float pct, TColor bg = 0) {
  TVXTransitionEffects e;
  e.SetTransition(t);
  e.SetBackground(bg);
  auto sb = ToBitmap(src), tb = ToBitmap(tgt);
  e.PrepareBitmap(sb.get(), tb.get());
  TBitmap out;
  e.CreateBitmap(pct, &out);
  return FromBitmap(&out);
}

TEST(TransitionEffects, ExamplesOfTheFades) {
  const Pic black = Solid(9, 9, 0), white = Solid(9, 9, 255);
  // Step 512 is exactly 50 %.
  Pic f = FrameAt(vxttCrossDissolve, black, white, 50);
  for (uint8_t v : f.px) ASSERT_EQ(v, 127);
  // Fade out then in on a grey background: step 511 (49.90234375 %).
  const Pic src = Noise(9, 9, 3), tgt = Noise(9, 9, 4);
  f = FrameAt(vxttFadeOutIn, src, tgt, 49.90234375f, 0x102030);
  const uint8_t bg[3] = {0x10, 0x20, 0x30};
  for (int i = 0; i < int(f.px.size()); ++i) ASSERT_EQ(f.px[i], (bg[i % 3] * 1022 + src.px[i] * 2) >> 10);
  f = FrameAt(vxttFadeOutIn, src, tgt, 50, 0x102030);
  for (int i = 0; i < int(f.px.size()); ++i) ASSERT_EQ(f.px[i], bg[i % 3]);
}

TEST(TransitionEffects, SlideOutsMoveOnePictureOverTheOther) {
  const Pic src = Noise(16, 4, 5), tgt = Noise(16, 4, 6);
  // At 25 % (step 256) the moving picture has moved by 4 columns.
  Pic f = FrameAt(vxttMoveRightLeft2, src, tgt, 25);  // c = 12
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(0, std::memcmp(f.at(0, y), src.at(0, y), 12 * 3)) << "the source's left part stays";
    EXPECT_EQ(0, std::memcmp(f.at(12, y), tgt.at(0, y), 4 * 3)) << "the target comes in from the right";
  }
  f = FrameAt(vxttMoveLeftRight2, src, tgt, 25);  // b = 4
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(0, std::memcmp(f.at(0, y), tgt.at(0, y), 4 * 3)) << "the target stands still";
    EXPECT_EQ(0, std::memcmp(f.at(4, y), src.at(0, y), 12 * 3)) << "the source moves out to the right";
  }
}

TEST(TransitionEffects, StepsFromPercentages) {
  const Pic p = Noise(8, 8, 1);
  auto b = ToBitmap(p);
  TVXTransitionEffects e;
  e.SetTransition(vxttCrossDissolve);
  e.PrepareBitmap(b.get(), b.get());
  const struct {
    float pct;
    int step;
  } cases[] = {{150, 1024}, {-5, 0}, {50, 512}, {0.05f, 1}, {99.99f, 1024}, {std::nanf(""), 0}};
  for (auto& c : cases) {
    TBitmap out;
    e.CreateBitmap(c.pct, &out);
    EXPECT_EQ(e.Step(), c.step) << c.pct;
    EXPECT_EQ(out.Width(), 8);
    EXPECT_EQ(out.PixelFormat(), pf24bit);
  }
  const struct {
    int step, pct;
  } pcts[] = {{0, 0}, {1, 0}, {5, 0}, {6, 1}, {512, 50}, {1019, 100}, {1024, 100}};
  for (auto& c : pcts) EXPECT_EQ(VXTransitionPercent(c.step), c.pct) << c.step;
}

// Random points and boxes: the library's generator drives them, so with a
// fixed seed the model draws the same positions.
TEST(TransitionEffects, RandomPointsAndBoxesOnlyAddTargetPixels) {
  const int W = 40, H = 24;
  const Pic src = Solid(W, H, 0), tgt = Noise(W, H, 8);
  for (bool alt : {false, true}) {
    AlternativeLook look(alt);
    for (TVXTransitionType t : {vxttRandomPoints, vxttRandomBoxes}) {
      auto sb = ToBitmap(src), tb = ToBitmap(tgt);
      TVXTransitionEffects e;
      e.SetTransition(t);
      e.PrepareBitmap(sb.get(), tb.get());
      Pic model = src;
      int accum = 0;
      Pic prev = src;
      for (float pct : {0.f, 5.f, 20.f, 50.f, 80.f, 100.f}) {
        RandSeed = 4242;
        TBitmap out;
        e.CreateBitmap(pct, &out);
        const Pic f = FromBitmap(&out);
        // The model, drawing from the same seed.
        RandSeed = 4242;
        const int s = RoundHalfEven(pct * 1024.0 / 100.0);
        if (s > 0) {
          if (t == vxttRandomPoints) {
            const int total = RoundHalfEven(double(s) * W * (double(s) / 180.0) / 1024.0), n = total - accum;
            accum = total;
            for (int y = 0; y < H; ++y)
              for (int k = 0; k < n; ++k) {
                const int x = Random(W);
                for (int i = x; i <= std::min(W - 1, x + (alt ? 5 : 0)); ++i) std::memcpy(model.at(i, y), tgt.at(i, y), 3);
              }
          } else {
            const int B = alt ? 16 : 8;
            const int total = RoundHalfEven(double(s) * ((W * H) / (B * B)) * (double(s) / 180.0) / 1024.0);
            const int n = total - accum;
            accum = total;
            for (int k = 0; k < n; ++k) {
              const int x = Random(W) / 8 * 8, y = Random(H) / 8 * 8;
              for (int yy = y; yy < std::min(H, y + B); ++yy)
                for (int xx = x; xx < std::min(W, x + B); ++xx) std::memcpy(model.at(xx, yy), tgt.at(xx, yy), 3);
            }
          }
        }
        ASSERT_EQ(FirstDifference(f, model), "") << t << " at " << pct << (alt ? " alt" : "");
        // Every pixel shown from the target stays shown.
        for (int i = 0; i < int(f.px.size()); ++i)
          if (prev.px[i] != src.px[i]) {
            ASSERT_EQ(f.px[i], tgt.px[i]);
          }
        prev = f;
      }
      EXPECT_GT(accum, 0);
    }
  }
}

// A TVXBitmap copy of a picture part (x0 .. x0 + w - 1, all rows).
std::unique_ptr<TVXBitmap> VXPart(const Pic& p, int x0, int w) {
  auto b = std::make_unique<TVXBitmap>(w, p.H, vx24RGB);
  for (int y = 0; y < p.H; ++y) std::memcpy(b->ScanLine(y), p.at(x0, y), size_t(w) * 3);
  return b;
}

void Shade(Pic& f, const uint8_t bg[3], int x0, int x1, int y0, int y1, int weight) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c) f.at(x, y)[c] = uint8_t((bg[c] * (1024 - weight) + f.at(x, y)[c] * weight) >> 10);
}

TEST(TransitionEffects, StretchedEffectsAreTheWindowLayersStretchesWithTheShades) {
  const int W = 24, H = 16;
  const Pic src = Noise(W, H, 11), tgt = Noise(W, H, 12);
  const uint8_t bg[3] = {0, 0, 0};
  auto stretch = [&](Pic& onto, const Pic& from, int fx, int fw, int x, int y, int w, int h) {
    auto d = ToBitmap(onto), s = ToBitmap(from);
    SetStretchBltMode(d->Canvas()->Handle(), HALFTONE);
    StretchBlt(d->Canvas()->Handle(), x, y, w, h, s->Canvas()->Handle(), fx, 0, fw, from.H, SRCCOPY);
    onto = FromBitmap(d.get());
  };
  // Expand out from centre at 50 %: the target into (6, 4, 12, 8).
  {
    Pic want = src;
    stretch(want, tgt, 0, W, 6, 4, 12, 8);
    EXPECT_EQ(FirstDifference(FrameAt(vxttCenterZoom1, src, tgt, 50), want), "");
    Pic want2 = tgt;
    stretch(want2, src, 0, W, 6, 4, 12, 8);
    EXPECT_EQ(FirstDifference(FrameAt(vxttCenterZoom2, src, tgt, 50), want2), "");
  }
  // Cube from the left at 25 % (step 256): edge 6; faces shaded by
  // A = 513, B = 1024 (at most).
  {
    Pic want = src;
    stretch(want, tgt, 0, W, 0, 0, 6, H);
    stretch(want, src, 0, W, 6, 0, W - 6, H);
    Shade(want, bg, 0, 6, 0, H, 513);
    EXPECT_EQ(FirstDifference(FrameAt(vxttCubeRotateFromLeft, src, tgt, 25), want), "");
  }
  // Cube from the bottom at 75 % (step 768): y = 16 - 12 = 4, kind 0.
  {
    Pic want = src;
    stretch(want, src, 0, W, 0, 0, W, 4);
    stretch(want, tgt, 0, W, 0, 4, W, 12);
    Shade(want, bg, 0, W, 0, 4, 513);  // first side: B = 1024 - 768 + 257
    EXPECT_EQ(FirstDifference(FrameAt(vxttCubeRotateFromBottom, src, tgt, 75), want), "");
  }
  // Page flip at 25 % (step 256): the target's right half, the source's right
  // half turned into (12, 0, b = 6, H), shade of f = 768 right of c = 18, and
  // the black edge line.
  {
    Pic want = src;
    for (int y = 0; y < H; ++y) std::memcpy(want.at(12, y), tgt.at(12, y), 12 * 3);
    stretch(want, src, 12, 12, 12, 0, 6, H);
    Shade(want, bg, 19, W, 0, H, 768);
    for (int y = 0; y < H; ++y) std::memset(want.at(18, y), 0, 3);
    EXPECT_EQ(FirstDifference(FrameAt(vxttPageFlip, src, tgt, 25), want), "");
  }
  // Reverse page flip at 75 % (step 768): n = 12; the source's right half,
  // the target's right half turned into (12, 0, 6, H); shade f = 768 from
  // c = 18 on.
  {
    Pic want = src;
    for (int y = 0; y < H; ++y) std::memcpy(want.at(0, y), tgt.at(0, y), 12 * 3);
    stretch(want, tgt, 12, 12, 12, 0, 6, H);
    Shade(want, bg, 18, W, 0, H, 768);
    for (int y = 0; y < H; ++y) std::memset(want.at(18, y), 0, 3);
    EXPECT_EQ(FirstDifference(FrameAt(vxttReversePageFlip, src, tgt, 75), want), "");
  }
}

TEST(TransitionEffects, PerspectiveEffectsAreQuadDrawingsWithTheShades) {
  const int W = 40, H = 30;
  const Pic src = Noise(W, H, 21), tgt = Noise(W, H, 22);
  const TColor bgColor = 0x302010;  // blue 0x30, green 0x20, red 0x10
  const uint8_t bg[3] = {0x30, 0x20, 0x10};
  auto quad = [&](Pic& onto, const Pic& from, int fx, int fw, std::array<int, 8> c) {
    auto d = ToBitmap(onto);
    TVXBitmap dest;
    dest.EncapsulateTBitmap(d.get(), false);
    auto s = VXPart(from, fx, fw);
    VXDrawToQuad(s.get(), &dest, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], -1, -1, true, 255);
    onto = FromBitmap(d.get());
  };
  // 3D cube from the left at 50 %: x = 20, t1 = t2 = MulDiv(30, 512, 4096) = 4.
  {
    Pic want = Solid(W, H, 0);
    for (int i = 0; i < W * H; ++i) std::memcpy(&want.px[i * 3], bg, 3);
    quad(want, tgt, 0, W, {0, 4, 20, 0, 20, H, 0, H - 4});
    quad(want, src, 0, W, {20, 0, W, 4, W, H - 4, 20, H});
    Shade(want, bg, 0, 20, 0, H, 769);
    Shade(want, bg, 20, W, 0, H, 769);
    EXPECT_EQ(FirstDifference(FrameAt(vxttCubeRotateFromLeft2, src, tgt, 50, bgColor), want), "");
  }
  // 3D cube from the bottom at 25 %: k = MulDiv(MulDiv(40, 256, 1024), 30,
  // 40) = 8, y = 22, t1 = 3, t2 = 8; rows above y keep f = 1024, rows
  // below take f = 513.
  {
    Pic want = Solid(W, H, 0);
    for (int i = 0; i < W * H; ++i) std::memcpy(&want.px[i * 3], bg, 3);
    quad(want, src, 0, W, {3, 0, W - 3, 0, W, 22, 0, 22});
    quad(want, tgt, 0, W, {0, 22, W, 22, W - 8, H, 8, H});
    Shade(want, bg, 0, W, 22, H, 513);
    EXPECT_EQ(FirstDifference(FrameAt(vxttCubeRotateFromBottom2, src, tgt, 25, bgColor), want), "");
  }
  // 3D page flip at 25 % (step 256): s' = 256, a = MulDiv(30, 256, 5120) = 2,
  // e = 1, M = 20, g = MulDiv(40, 256, 1024) = 10, c = 30, shade f = 768
  // right of c, spine of alpha MulDiv(256, 255, 1024) = 64.
  {
    Pic want = Solid(W, H, 0);
    for (int i = 0; i < W * H; ++i) std::memcpy(&want.px[i * 3], bg, 3);
    quad(want, src, 0, 20, {1, 1, 20, 2, 20, H - 2, 1, H - 1});
    quad(want, tgt, 20, 20, {20, 2, W - 1, 1, W - 1, H - 1, 20, H - 2});
    quad(want, src, 20, 20, {20, 2, 30, 0, 30, H, 20, H - 2});
    Shade(want, bg, 31, W, 0, H, 768);
    for (int y = 0; y < H; ++y) std::memset(want.at(30, y), 0, 3);
    auto d = ToBitmap(want);
    AlphaFillRect(d->Canvas()->Handle(), TRect{20, 0, 21, H}, bgColor, 64);
    want = FromBitmap(d.get());
    EXPECT_EQ(FirstDifference(FrameAt(vxttPageFlip2, src, tgt, 25, bgColor), want), "");
  }
}

TEST(TransitionEffects, ShadesStayInRange) {
  const Pic src = Solid(32, 16, 200), tgt = Solid(32, 16, 100);
  // Page shades never brighten, even with a white background... they blend
  // towards it; with black they only darken.
  for (float pct : {10.f, 40.f, 60.f, 90.f})
    for (TVXTransitionType t : {vxttPageFlip, vxttReversePageFlip, vxttPageFlip2, vxttReversePageFlip2}) {
      const Pic f = FrameAt(t, src, tgt, pct, 0);
      for (uint8_t v : f.px) ASSERT_LE(v, 200) << t << " " << pct;
    }
  // A white background lightens the cube's faces; nothing passes 255.
  const Pic white = Solid(32, 16, 255);
  for (TVXTransitionType t : {vxttCubeRotateFromLeft, vxttCubeRotateFromTop, vxttCubeRotateFromRight2}) {
    const Pic f = FrameAt(t, src, white, 30, 0xFFFFFF);
    int lighter = 0;
    for (int x = 0; x < 32; ++x)
      if (f.at(x, 8)[0] > 200 && f.at(x, 8)[0] < 255) ++lighter;
    EXPECT_GT(lighter, 0) << t;
    const Pic g = FrameAt(t, white, white, 30, 0xFFFFFF);
    for (uint8_t v : g.px) ASSERT_EQ(v, 255) << t;
  }
}

TEST(TransitionEffects, OwnEffectsStartFromTheSourceAndEndOnTheTarget) {
  const Pic src = Noise(17, 12, 31), tgt = Noise(17, 12, 32);
  // Not here: the fades through the background, the wipes that draw a line
  // at their edge, the random elements, the page flips (the page stays
  // shaded at both ends) and the quad drawings (tested above).
  const int skipped[] = {2, 3, 4, 6, 8, 10, 12, 25, 26, 186, 187, 188, 189, 237, 238, 239, 240};
  for (int t = 1; t <= 222; ++t) {
    if (!(t <= 30 || (t >= 215 && t <= 222))) continue;
    if (std::find(std::begin(skipped), std::end(skipped), t) != std::end(skipped)) continue;
    const auto type = TVXTransitionType(t);
    EXPECT_EQ(FirstDifference(FrameAt(type, src, tgt, 0), src), "") << t;
    EXPECT_EQ(FirstDifference(FrameAt(type, src, tgt, 100), tgt), "") << t;
  }
}

}  // namespace
