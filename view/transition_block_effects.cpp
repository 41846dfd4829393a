// The block-copy and stretch transition effects.
#include "view/transition_block_effects.h"

#include <algorithm>
#include <cmath>

#include "core/settings.h"
#include "gui/graphics.h"
#include "view/transition_catalogue.h"
#include "winui/gdi.h"

namespace {

bool Alternative() { return VXGetGlobalSettings()->TransitionsDrawAlternative(); }

int32_t RoundInt(double v) { return int32_t(std::nearbyint(v)); }

// One frame: the canvas, the two pictures and the sizes at the percentage.
struct Frame {
  HDC dc;
  HDC src;
  HDC tgt;
  int32_t W, H, w, h, p;

  // Target (x, y, cx, cy) to the same place.
  void Copy(int32_t x, int32_t y, int32_t cx, int32_t cy) const { CopyFrom(tgt, x, y, cx, cy, x, y); }
  // (sx, sy) size (cx, cy) of Picture to (x, y).
  void CopyFrom(HDC Picture, int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t sx, int32_t sy) const {
    if (cx <= 0 || cy <= 0) return;
    BitBlt(dc, x, y, cx, cy, Picture, sx, sy, SRCCOPY);
  }
  // The whole target stretched into the block (x, y, cx, cy).
  void Stretch(int32_t x, int32_t y, int32_t cx, int32_t cy) const { StretchPart(0, 0, W, H, x, y, cx, cy); }
  // The part (sx, sy, sw, sh) of the target stretched into (x, y, cx, cy).
  void StretchPart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t x, int32_t y, int32_t cx,
                   int32_t cy) const {
    StretchFrom(tgt, sx, sy, sw, sh, x, y, cx, cy);
  }
  void StretchFrom(HDC Picture, int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t x, int32_t y, int32_t cx,
                   int32_t cy) const {
    if (sw <= 0 || sh <= 0 || cx == 0 || cy == 0) return;
    StretchBlt(dc, x, y, cx, cy, Picture, sx, sy, sw, sh, SRCCOPY);
  }
  // Picture (sx, sy, cx, cy) onto the parallelogram of its upper-left,
  // upper-right and lower-left corners.
  void Parallelogram(HDC Picture, int32_t sx, int32_t sy, int32_t cx, int32_t cy, POINT a, POINT b, POINT c) const {
    if (cx <= 0 || cy <= 0) return;
    const POINT pts[3] = {a, b, c};
    PlgBlt(dc, pts, Picture, sx, sy, cx, cy, nullptr, 0, 0);
  }
};

// Types 31 .. 48.
void Expand(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  const bool dark = Alternative() && t >= vxttExpandFromLeft && t <= vxttExpandFromBottom;
  if (dark) F.CopyFrom(F.src, 0, 0, W, H, 0, 0);
  TRect shade{};
  switch (t) {
    case vxttExpandFromLeft:
      F.Stretch(0, 0, w, H);
      shade = TRect{w, 0, W, H};
      break;
    case vxttExpandFromRight:
      F.Stretch(W - w, 0, w, H);
      shade = TRect{0, 0, W - w, H};
      break;
    case vxttExpandFromTop:
      F.Stretch(0, 0, W, h);
      shade = TRect{0, h, W, H};
      break;
    case vxttExpandFromBottom:
      F.Stretch(0, H - h, W, h);
      shade = TRect{0, 0, W, H - h};
      break;
    case vxttExpandFromTopLeft:
      F.Stretch(0, 0, w, h);
      break;
    case vxttExpandFromTopRight:
      F.Stretch(W - w, 0, w, h);
      break;
    case vxttExpandFromBottomLeft:
      F.Stretch(0, H - h, w, h);
      break;
    case vxttExpandFromBottomRight:
      F.Stretch(W - w, H - h, w, h);
      break;
    case vxttExpandInFromLeft:
      F.StretchPart(W - w, 0, w, H, w - W, 0, 2 * W - w, H);
      break;
    case vxttExpandInFromRight:
      F.StretchPart(0, 0, w, H, 0, 0, 2 * W - w, H);
      break;
    case vxttExpandInFromTop:
      F.StretchPart(0, H - h, W, h, 0, h - H, W, 2 * H - h);
      break;
    case vxttExpandInFromBottom:
      F.StretchPart(0, 0, W, h, 0, 0, W, 2 * H - h);
      break;
    case vxttExpandInToVerticalCenter:
      F.StretchPart((W - w) / 2, 0, w, H, w - W, 0, 3 * W - 2 * w, H);
      break;
    case vxttExpandInToHorizon:
      F.StretchPart(0, (H - h) / 2, W, h, 0, h - H, W, 3 * H - 2 * h);
      break;
    case vxttExpandInFromSides:
      F.StretchPart(0, 0, W / 2, H, 0, 0, w / 2, H);
      F.StretchPart(W / 2, 0, W / 2, H, W - w / 2, 0, w / 2, H);
      break;
    case vxttExpandInFromTopAndBottom:
      F.StretchPart(0, 0, W, H / 2, 0, 0, W, h / 2);
      F.StretchPart(0, H / 2, W, H / 2, 0, H - h / 2, W, h / 2);
      break;
    case vxttExpandOutFromHorizon:
      F.Stretch(0, (H - h) / 2, W, h);
      break;
    case vxttExpandOutFromVerticalCenter:
      F.Stretch((W - w) / 2, 0, w, H);
      break;
    default:
      break;
  }
  if (dark) {
    const int32_t k = 10 - F.p / 10;
    AlphaFillRect(F.dc, shade, 0, 100 - k * k);
  }
}

// Types 49 .. 56.
void Wipe(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  switch (t) {
    case vxttWipeFromTopLeft:
      F.Copy(0, 0, w, h);
      break;
    case vxttWipeFromTopRight:
      F.Copy(W - w, 0, w, h);
      break;
    case vxttWipeFromBottomLeft:
      F.Copy(0, H - h, w, h);
      break;
    case vxttWipeFromBottomRight:
      F.Copy(W - w, H - h, w, h);
      break;
    case vxttWipeInFromTopAndBottom:
      F.Copy(0, 0, W, h / 2);
      F.Copy(0, H - h / 2, W, h / 2);
      break;
    case vxttWipeFromHorizon:
      F.Copy(0, (H - h) / 2, W, h);
      break;
    case vxttWipeInFromSides:
      F.Copy(0, 0, w / 2, H);
      F.Copy(W - w / 2, 0, w / 2, H);
      break;
    case vxttWipeOutFromVerticalCenter:
      F.Copy((W - w) / 2, 0, w, H);
      break;
    default:
      break;
  }
}

// Types 57 .. 60: the revealed part, and the strip next to it stretched over
// the rest.
void BuildUp(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  switch (t) {
    case vxttBuildUpFromLeft: {
      F.Copy(W - w, 0, w, H);
      const int32_t x0 = std::max(0, W - w - W / 10);
      F.StretchPart(x0, 0, W - w - x0, H, 0, 0, W - w, H);
      break;
    }
    case vxttBuildUpFromRight:
      F.Copy(0, 0, w, H);
      F.StretchPart(w, 0, std::min(W - w, W / 10), H, w, 0, W - w, H);
      break;
    case vxttBuildUpFromTop: {
      F.Copy(0, H - h, W, h);
      const int32_t y0 = std::max(0, H - h - H / 10);
      F.StretchPart(0, y0, W, H - h - y0, 0, 0, W, H - h);
      break;
    }
    case vxttBuildUpFromBottom:
      F.Copy(0, 0, W, h);
      F.StretchPart(0, h, W, std::min(H - h, H / 10), 0, h, W, H - h);
      break;
    default:
      break;
  }
}

// The width of the roll ahead of an unrolled part of size v out of V.
int32_t RollWidth(int32_t V, int32_t v) {
  if (v < V / 5) return v / 2;
  if (V < v + V / 5) return (V - v) / 2;
  return V / 10;
}

// Columns (or rows) [a, b) of the picture, clipped to its extent N: the
// start and the count.
void ClipSpan(int32_t a, int32_t b, int32_t N, int32_t& start, int32_t& count) {
  start = std::max(0, a);
  count = std::min(b, N) - start;
}

// Types 61 .. 64: the roll shows the next strip mirrored, as the back of
// the sheet; a negative extent of the destination mirrors.
void Unroll(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  int32_t s, n;
  switch (t) {
    case vxttUnrollFromLeft: {
      const int32_t R = w + RollWidth(W, w);
      ClipSpan(R, 2 * R - w, W, s, n);
      F.StretchPart(s, 0, n, H, R + 1, 0, w - R - 2, H);
      F.Copy(0, 0, w, H);
      break;
    }
    case vxttUnrollFromRight: {
      const int32_t D = W - w, L = D - RollWidth(W, w);
      ClipSpan(2 * L - D, L, W, s, n);
      F.StretchPart(s, 0, n, H, D + 1, 0, L - D - 2, H);
      F.Copy(D, 0, w, H);
      break;
    }
    case vxttUnrollFromTop: {
      const int32_t R = h + RollWidth(H, h);
      ClipSpan(R, 2 * R - h, H, s, n);
      F.StretchPart(0, s, W, n, 0, R + 1, W, h - R - 2);
      F.Copy(0, 0, W, h);
      break;
    }
    case vxttUnrollFromBottom: {
      const int32_t D = H - h, L = D - RollWidth(H, h);
      ClipSpan(2 * L - D, L, H, s, n);
      F.StretchPart(0, s, W, n, 0, D + 1, W, L - D - 2);
      F.Copy(0, D, W, h);
      break;
    }
    default:
      break;
  }
}

// Types 65 .. 68: the whole target moved in.
void SlideIn(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  int32_t x = 0, y = 0;
  if (t == vxttSlideInFromLeft) x = w - W;
  if (t == vxttSlideInFromRight) x = W - w;
  if (t == vxttSlideInFromTop) y = h - H;
  if (t == vxttSlideInFromBottom) y = H - h;
  F.CopyFrom(F.tgt, x, y, W, H, 0, 0);
}

// Types 69 .. 73: a part of the target of the progress size, stretched
// large, shrinking to its own size.
void Shrink(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  switch (t) {
    case vxttShrinkToTopLeft:
      F.StretchPart(0, 0, w, h, 0, 0, 2 * W - w, 2 * H - h);
      break;
    case vxttShrinkToTopRight:
      F.StretchPart(W - w, 0, w, h, w - W, 0, 2 * W - w, 2 * H - h);
      break;
    case vxttShrinkToBottomLeft:
      F.StretchPart(0, H - h, w, h, 0, h - H, 2 * W - w, 2 * H - h);
      break;
    case vxttShrinkToBottomRight:
      F.StretchPart(W - w, H - h, w, h, w - W, h - H, 2 * W - w, 2 * H - h);
      break;
    case vxttShrinkToCenter:
      F.StretchPart((W - w) / 2, (H - h) / 2, w, h, w - W, h - H, 3 * W - 2 * w, 3 * H - 2 * h);
      break;
    default:
      break;
  }
}

// Types 74 .. 76.
void Quarters(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, qw = F.w / 2, qh = F.h / 2, QW = W / 2, QH = H / 2;
  switch (t) {
    case vxttQuartersWipeInToCenter:
      F.Copy(0, 0, qw, qh);
      F.Copy(0, H - qh, qw, qh);
      F.Copy(W - qw, H - qh, qw, qh);
      F.Copy(W - qw, 0, qw, qh);
      break;
    case vxttQuartersExpandToCenter:
      F.StretchPart(0, 0, QW, QH, 0, 0, qw, qh);
      F.StretchPart(0, QH, QW, QH, 0, H - qh, qw, qh);
      F.StretchPart(QW, QH, QW, QH, W - qw, H - qh, qw, qh);
      F.StretchPart(QW, 0, QW, QH, W - qw, 0, qw, qh);
      break;
    case vxttQuartersSlideInToCenter:
      F.CopyFrom(F.tgt, qw - QW, 0, QW, QH, 0, 0);
      F.CopyFrom(F.tgt, QW, qh - QH, QW, QH, QW, 0);
      F.CopyFrom(F.tgt, W - qw, QH, QW, QH, QW, QH);
      F.CopyFrom(F.tgt, 0, H - qh, QW, QH, 0, QH);
      break;
    default:
      break;
  }
}

// Types 151 .. 158: the frame's own content shifted or squeezed, then the
// incoming part of the target. The frame is read from a copy of itself.
void Push(TVXTransitionType t, const Frame& F) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  switch (t) {
    case vxttPushLeftAndSlideOut:
      F.CopyFrom(F.dc, 0, 0, W - w, H, w, 0);
      F.CopyFrom(F.tgt, W - w, 0, w, H, 0, 0);
      break;
    case vxttPushRightAndSlideOut:
      F.CopyFrom(F.dc, w, 0, W - w, H, 0, 0);
      F.CopyFrom(F.tgt, 0, 0, w, H, W - w, 0);
      break;
    case vxttPushUpAndSlideOut:
      F.CopyFrom(F.dc, 0, 0, W, H - h, 0, h);
      F.CopyFrom(F.tgt, 0, H - h, W, h, 0, 0);
      break;
    case vxttPushDownAndSlideOut:
      F.CopyFrom(F.dc, 0, h, W, H - h, 0, 0);
      F.CopyFrom(F.tgt, 0, 0, W, h, 0, H - h);
      break;
    case vxttPushAndSqueezeLeft:
      F.StretchFrom(F.dc, 0, 0, W, H, 0, 0, W - w, H);
      F.CopyFrom(F.tgt, W - w, 0, w, H, 0, 0);
      break;
    case vxttPushAndSqueezeRight:
      F.StretchFrom(F.dc, 0, 0, W, H, w, 0, W - w, H);
      F.CopyFrom(F.tgt, 0, 0, w, H, W - w, 0);
      break;
    case vxttPushAndSqueezeUp:
      F.StretchFrom(F.dc, 0, 0, W, H, 0, 0, W, H - h);
      F.CopyFrom(F.tgt, 0, H - h, W, h, 0, 0);
      break;
    case vxttPushAndSqueezeDown:
      F.StretchFrom(F.dc, 0, 0, W, H, 0, h, W, H - h);
      F.CopyFrom(F.tgt, 0, 0, W, h, 0, H - h);
      break;
    default:
      break;
  }
}

// Types 223 .. 226: parallelogram copies.
void Twist(TVXTransitionType t, const Frame& F, int32_t Step) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  switch (t) {
    case vxttAngledTwistIn:
      F.Parallelogram(F.tgt, 0, 0, W, H, POINT{(W - w) / 2, (H - h) / 2}, POINT{W, 0}, POINT{0, H});
      break;
    case vxttAngledTwistOut:
      F.Copy(0, 0, W, H);
      F.Parallelogram(F.src, 0, 0, W, H, POINT{w / 2, h / 2}, POINT{W, 0}, POINT{0, H});
      break;
    case vxttMultipleAngledTwistIn:
    case vxttMultipleAngledTwistOut: {
      const int32_t cw = RoundInt(W / 6.0), ch = RoundInt(H / 4.0);
      const bool in = t == vxttMultipleAngledTwistIn;
      if (!in) F.Copy(0, 0, W, H);
      int32_t b, c;
      if (in) {
        b = (cw - MulDiv(cw, Step, 1024)) / 2;
        c = (ch - MulDiv(ch, Step, 1024)) / 2;
      } else {
        b = MulDiv(cw, Step, 1024);
        c = MulDiv(ch, Step, 1024);
      }
      for (int32_t i = 0; i < 4; ++i)
        for (int32_t j = 0; j < 6; ++j) {
          const int32_t x = cw * j, y = ch * i;
          if (in)
            F.Parallelogram(F.tgt, x, y, cw, ch, POINT{x + b, y + c}, POINT{x + cw, y - 1}, POINT{x - 1, y + ch});
          // At the end the cells have shrunk to their diagonals (an odd cell
          // side would leave a sliver of the old picture).
          else if (Step < 1024)
            F.Parallelogram(F.src, x, y, cw, ch, POINT{x + b / 2, y + c / 2}, POINT{x + cw, y}, POINT{x, y + ch});
        }
      break;
    }
    default:
      break;
  }
}

}  // namespace

bool DrawBlockCopyFrame(TVXTransitionType Transition, TCanvas* Canvas, TBitmap* SourceShot, TBitmap* TargetShot,
                        const TRect& Rect, int32_t Percent, int32_t Step) {
  const int t = Transition;
  const bool mine = (t >= vxttExpandFromLeft && t <= vxttQuartersSlideInToCenter) ||
                    (t >= vxttPushLeftAndSlideOut && t <= vxttPushAndSqueezeDown) ||
                    (t >= vxttAngledTwistIn && t <= vxttMultipleAngledTwistOut);
  if (!mine) return false;
  Frame F{};
  F.dc = Canvas->Handle();
  F.src = SourceShot ? SourceShot->Canvas()->Handle() : nullptr;
  F.tgt = TargetShot->Canvas()->Handle();
  F.p = Percent;
  CalcProgressSize(Rect, Percent, F.W, F.H, F.w, F.h);
  if (F.W <= 0 || F.H <= 0) return true;
  if (t <= vxttExpandOutFromVerticalCenter)
    Expand(Transition, F);
  else if (t <= vxttWipeOutFromVerticalCenter)
    Wipe(Transition, F);
  else if (t <= vxttBuildUpFromBottom)
    BuildUp(Transition, F);
  else if (t <= vxttUnrollFromBottom)
    Unroll(Transition, F);
  else if (t <= vxttSlideInFromBottom)
    SlideIn(Transition, F);
  else if (t <= vxttShrinkToCenter)
    Shrink(Transition, F);
  else if (t <= vxttQuartersSlideInToCenter)
    Quarters(Transition, F);
  else if (t <= vxttPushAndSqueezeDown)
    Push(Transition, F);
  else
    Twist(Transition, F, Step);
  return true;
}
