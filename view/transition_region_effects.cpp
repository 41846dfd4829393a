// The region-clipped transition effects.
#include "view/transition_region_effects.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/random.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "platform/utf.h"
#include "platform/win_clock.h"
#include "view/transition_catalogue.h"
#include "view/transition_regions.h"
#include "winui/gdi.h"

namespace {

constexpr double kPi = std::numbers::pi;

int32_t RoundInt(double v) { return int32_t(std::nearbyint(v)); }

bool Alternative() { return VXGetGlobalSettings()->TransitionsDrawAlternative(); }

// Owns a region handle.
class Rgn {
 public:
  Rgn() = default;
  explicit Rgn(HRGN h) : fH(h) {}
  ~Rgn() { Reset(); }
  Rgn(const Rgn&) = delete;
  Rgn& operator=(const Rgn&) = delete;
  Rgn(Rgn&& o) noexcept : fH(o.fH) { o.fH = nullptr; }
  Rgn& operator=(Rgn&& o) noexcept {
    if (this != &o) {
      Reset();
      fH = o.fH;
      o.fH = nullptr;
    }
    return *this;
  }
  HRGN get() const { return fH; }
  // Hands the handle over to the caller.
  HRGN Release() {
    HRGN h = fH;
    fH = nullptr;
    return h;
  }
  explicit operator bool() const { return fH != nullptr; }
  void Reset() {
    if (fH) DeleteObject(fH);
    fH = nullptr;
  }
  // This combined with B (none counts as empty).
  void Combine(Rgn B, int Mode) {
    if (!fH) fH = CreateRectRgn(0, 0, 0, 0);
    if (!B) B = Rgn(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(fH, fH, B.get(), Mode);
  }
  void Or(Rgn B) { Combine(std::move(B), RGN_OR); }
  void Xor(Rgn B) { Combine(std::move(B), RGN_XOR); }

 private:
  HRGN fH = nullptr;
};

Rgn Poly(std::initializer_list<POINT> Points) { return Rgn(PolygonRegion(std::vector<POINT>(Points))); }

// The frame and the sizes at the percentage.
struct Frame {
  TCanvas* Canvas;
  TBitmap* Source;
  TBitmap* Target;
  int32_t W, H, w, h, cx, cy, p;
};

void Reveal(const Frame& F, const Rgn& R, TBitmap* Picture = nullptr) {
  BlitThroughRegion(F.Canvas, F.W, F.H, Picture ? Picture : F.Target, R.get());
}

void Restore(const Frame& F) {
  if (F.Source) BitBlt(F.Canvas->Handle(), 0, 0, F.W, F.H, F.Source->Canvas()->Handle(), 0, 0, SRCCOPY);
}

// Sets the generator's seed to the target picture's handle for one frame and
// restores it on every way out.
class SeedFromTarget {
 public:
  explicit SeedFromTarget(TBitmap* Target) : fSaved(RandSeed) {
    RandSeed = uint32_t(reinterpret_cast<uintptr_t>(Target->Handle()));
  }
  ~SeedFromTarget() { RandSeed = fSaved; }

 private:
  uint32_t fSaved;
};

TRect PartOf(const Frame& F, int32_t From, int32_t To) {
  return TRect{MulDiv(F.W, From, 100), MulDiv(F.H, From, 100), MulDiv(F.W, To, 100), MulDiv(F.H, To, 100)};
}

// ---- curved wipes, bars, shreds, speckles ----

void CurvedWipe(const Frame& F, TVXTransitionType t) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  HRGN r;
  switch (t) {
    case vxttCurvedWipeFromLeft: r = CreateRoundRectRgn(-2 * W, 0, 2 * w, H + 1, 2 * W, 2 * W); break;
    case vxttCurvedWipeFromRight: r = CreateRoundRectRgn(W - 2 * w, 0, 3 * W, H + 1, 2 * W, 2 * W); break;
    case vxttCurvedWipeFromTop: r = CreateRoundRectRgn(0, -2 * H, W + 1, 2 * h, 2 * H, 2 * H); break;
    case vxttCurvedWipeFromBottom: r = CreateRoundRectRgn(0, H - 2 * h, W + 1, 3 * H, 2 * H, 2 * H); break;
    case vxttCurvedWipeFromTopLeft: r = CreateRoundRectRgn(-W, -H, 3 * w / 2, 3 * h / 2, 2 * W, 2 * H); break;
    case vxttCurvedWipeFromTopRight: r = CreateRoundRectRgn(W - 3 * w / 2, -H, 2 * W, 3 * h / 2, 2 * W, 2 * H); break;
    case vxttCurvedWipeFromBottomLeft: r = CreateRoundRectRgn(-W, H - 3 * h / 2, 3 * w / 2, 2 * H, 2 * W, 2 * H); break;
    default: r = CreateRoundRectRgn(W - 3 * w / 2, H - 3 * h / 2, 2 * W, 2 * H, 2 * W, 2 * H); break;
  }
  Reveal(F, Rgn(r));
}

void Bars(const Frame& F, TVXTransitionType t) {
  struct Modes {
    int hm, vm;
  };
  Modes m{};
  switch (t) {
    case vxttBarsInFromLeft: m = {2, 0}; break;
    case vxttBarsInFromRight: m = {1, 0}; break;
    case vxttBarsFromTop: m = {0, 2}; break;
    case vxttBarsFromBottom: m = {0, 1}; break;
    case vxttBarsLeftThenRight: m = {4, 0}; break;
    case vxttBarsRightThenLeft: m = {5, 0}; break;
    case vxttBarsTopThenBottom: m = {0, 4}; break;
    case vxttBarsBottomThenTop: m = {0, 5}; break;
    case vxttBarsFromBothSides: m = {3, 0}; break;
    case vxttBarsFromTopAndBottom: m = {0, 3}; break;
    case vxttCrisscrossWipeFromTopLeft: m = {2, 2}; break;
    case vxttCrisscrossWipeFromTopRight: m = {1, 2}; break;
    case vxttCrisscrossWipeFromBottomLeft: m = {2, 1}; break;
    case vxttCrisscrossWipeFromBottomRight: m = {1, 1}; break;
    case vxttCrisscrossWipeBounceFromTopLeft: m = {4, 4}; break;
    case vxttCrisscrossWipeBounceFromTopRight: m = {5, 4}; break;
    case vxttCrisscrossWipeBounceFromBottomLeft: m = {4, 5}; break;
    case vxttCrisscrossWipeBounceFromBottomRight: m = {5, 5}; break;
    case vxttCrisscrossWipeFromLeftRightAndTop: m = {3, 2}; break;
    case vxttCrisscrossWipeFromLeftRightAndBottom: m = {3, 1}; break;
    case vxttCrisscrossWipeFromLeftTopAndBottom: m = {2, 3}; break;
    case vxttCrisscrossWipeFromTopLeftRightAndBottom: m = {3, 3}; break;
    case vxttCrisscrossWipeFromRightTopAndBottom: m = {1, 3}; break;
    default: {  // vxttCrisscrossWipeFromBottomLeftTopRight
      Rgn a(BarsRegion(2 * F.w, 2 * F.h, F.W, F.H, 1, 1));
      a.Combine(Rgn(BarsRegion(2 * F.w, 2 * F.h, F.W, F.H, 2, 2)), RGN_AND);
      Reveal(F, a);
      return;
    }
  }
  // The criss-crosses with a side of mode 3 run both directions on w and h.
  const bool both = m.hm == 3 || m.vm == 3;
  const int32_t X = m.hm == 0 ? 0 : both ? F.w : 2 * F.w;
  const int32_t Y = m.vm == 0 ? 0 : both ? F.h : 2 * F.h;
  Reveal(F, Rgn(BarsRegion(X, Y, F.W, F.H, m.hm, m.vm)));
}

void Shreds(const Frame& F, TVXTransitionType t) {
  static const int kModes[][2] = {{2, 0}, {1, 0}, {0, 2}, {0, 1}, {2, 2}, {1, 2}, {2, 1}, {1, 1}, {2, 3},
                                  {1, 3}, {3, 2}, {3, 1}, {3, 3}, {4, 4}, {0, 4}, {4, 0}, {0, 3}, {3, 0}};
  const int* m = kModes[t - vxttShreddedFromLeft];
  Reveal(F, Rgn(ShredRegion(m[0] ? F.w : 0, m[1] ? F.h : 0, F.W, F.H, m[0], m[1])));
}

void Speckles(const Frame& F, TVXTransitionType t) {
  static const int kModes[][2] = {{2, 0}, {1, 0}, {0, 2}, {0, 1}};
  const int* m = kModes[t - vxttSpeckledWipeFromLeft];
  Reveal(F, Rgn(SpeckleRegion(F.w, F.h, F.W, F.H, m[0], m[1])));
}

// ---- blinds and rectangles ----

void Blinds(const Frame& F, TVXTransitionType t) {
  const int32_t W = F.W, H = F.H, p = F.p;
  TComplexRegion cr;
  switch (t) {
    case vxttHorizontalBlinds: {
      const int32_t n = H / 40 + 1, a = MulDiv(n, p, 100);
      for (int32_t y = n; y - n < H; y += 2 * n) cr.AddRect(0, y - a, W, y + a);
      break;
    }
    case vxttVerticalBlinds: {
      const int32_t n = W / 40 + 1, a = MulDiv(n, p, 100);
      for (int32_t x = n; x - n < W; x += 2 * n) cr.AddRect(x - a, 0, x + a, H);
      break;
    }
    case vxttUnevenBlindsFromLeft:
    case vxttUnevenBlindsFromRight: {
      const int32_t n = F.w;
      if (n <= 0) return;
      const int32_t a = MulDiv(n, p, 100);
      if (t == vxttUnevenBlindsFromLeft)
        for (int32_t x = 0; x < W; x += n) cr.AddRect(x, 0, x + a, H);
      else
        for (int32_t x = W; x > 0; x -= n) cr.AddRect(x - a, 0, x, H);
      break;
    }
    case vxttUnevenBlindsFromTop:
    case vxttUnevenBlindsFromBottom: {
      const int32_t n = F.h;
      if (n <= 0) return;
      const int32_t a = MulDiv(n, p, 100);
      if (t == vxttUnevenBlindsFromTop)
        for (int32_t y = 0; y < H; y += n) cr.AddRect(0, y, W, y + a);
      else
        for (int32_t y = H; y > 0; y -= n) cr.AddRect(0, y - a, W, y);
      break;
    }
    default: {  // vxttExpandingRectangles
      const int32_t n = std::min(W, H) / 10 + 1, a = MulDiv(n, p, 100);
      for (int32_t x = n; x - n < W; x += 2 * n)
        for (int32_t y = n; y - n < H; y += 2 * n) cr.AddRect(x - a, y - a, x + a, y + a);
      break;
    }
  }
  Reveal(F, Rgn(cr.CreateRegion()));
}

void RectanglesFromTheSides(const Frame& F, TVXTransitionType t) {
  const int32_t K = Alternative() ? 6 : 12, q = 100 / K, p = F.p;
  const bool horizontal = t == vxttRectanglesFromTheLeft || t == vxttRectanglesFromTheRight;
  const int32_t L = horizontal ? F.W : F.H;
  const int32_t th = horizontal ? F.H / K + 1 : F.W / K + 1;
  TVXTransitionSharedState& state = VXTransitionState();
  if (!state.OrderDrawn) {
    MakeRandomOrder(K - 1);
    state.OrderDrawn = true;
  }
  TComplexRegion cr;
  for (int32_t i = 0; i < K; ++i) {
    const int32_t slot = RandomOrderAt(i);
    const int32_t a = slot * th, b = (slot + 1) * th;
    const int32_t len = q * (i + 1) < p ? L : q * i < p ? MulDiv(L, p - q * i, q) : 0;
    if (len <= 0) continue;
    switch (t) {
      case vxttRectanglesFromTheLeft: cr.AddRect(0, a, len, b); break;
      case vxttRectanglesFromTheRight: cr.AddRect(F.W - len, a, F.W, b); break;
      case vxttRectanglesFromTheTop: cr.AddRect(a, 0, b, len); break;
      default: cr.AddRect(a, F.H - len, b, F.H); break;
    }
  }
  Reveal(F, Rgn(cr.CreateRegion()));
}

// ---- polygon wipes ----

void PolygonWipe(const Frame& F, TVXTransitionType t) {
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h, cx = F.cx, cy = F.cy;
  Rgn r;
  // The four triangles of the diagonal cross, pointing in from the sides.
  auto cross = [&](int32_t a, int32_t b) {
    Rgn c = Poly({{0, cy - b}, {a, cy}, {0, cy + b}});
    c.Or(Poly({{W, cy - b}, {W - a, cy}, {W, cy + b}}));
    c.Or(Poly({{cx - a, 0}, {cx, b}, {cx + a, 0}}));
    c.Or(Poly({{cx - a, H}, {cx, H - b}, {cx + a, H}}));
    return c;
  };
  switch (t) {
    case vxttWipeDiagonalFromTopLeft: r = Poly({{0, 0}, {2 * w, 0}, {0, 2 * h}}); break;
    case vxttWipeDiagonalFromTopRight: r = Poly({{W, 0}, {W - 2 * w, 0}, {W, 2 * h}}); break;
    case vxttWipeDiagonalFromBottomLeft: r = Poly({{0, H}, {2 * w, H}, {0, H - 2 * h}}); break;
    case vxttWipeDiagonalFromBottomRight: r = Poly({{W, H}, {W - 2 * w, H}, {W, H - 2 * h}}); break;
    case vxttDiagonalSweepClockwise:
      r = Poly({{W, 0}, {0, 0}, {W, h}});
      r.Or(Poly({{W, H}, {0, H}, {0, H - h}}));
      break;
    case vxttDiagonalSweepCounterClockwise:
      r = Poly({{0, H}, {0, 0}, {w, H}});
      r.Or(Poly({{W, H}, {W, 0}, {W - w, 0}}));
      break;
    case vxttStarburstClockwiseFromCenter:
      r = Poly({{cx, cy}, {0, 0}, {w, 0}});
      r.Or(Poly({{cx, cy}, {0, H}, {0, H - h}}));
      r.Or(Poly({{cx, cy}, {W, H}, {W - w, H}}));
      r.Or(Poly({{cx, cy}, {W, 0}, {W, h}}));
      break;
    case vxttStarburstCounterClockwiseFromCenter:
      r = Poly({{cx, cy}, {0, 0}, {0, h}});
      r.Or(Poly({{cx, cy}, {0, H}, {w, H}}));
      r.Or(Poly({{cx, cy}, {W, H}, {W, H - h}}));
      r.Or(Poly({{cx, cy}, {W, 0}, {W - w, 0}}));
      break;
    case vxttArrowWipeFromLeft: r = Poly({{0, cy - h}, {2 * w, cy}, {0, cy + h}}); break;
    case vxttArrowWipeFromRight: r = Poly({{W, cy - h}, {W - 2 * w, cy}, {W, cy + h}}); break;
    case vxttArrowWipeFromTop: r = Poly({{cx - w, 0}, {cx, 2 * h}, {cx + w, 0}}); break;
    case vxttArrowWipeFromBottom: r = Poly({{cx - w, H}, {cx, H - 2 * h}, {cx + w, H}}); break;
    case vxttHorizontalBowTieWipe:
      r = Poly({{0, cy - h}, {w, cy}, {0, cy + h}});
      r.Or(Poly({{W, cy - h}, {W - w, cy}, {W, cy + h}}));
      break;
    case vxttVerticalBowTieWipe:
      r = Poly({{cx - w, 0}, {cx, 2 * h}, {cx + w, 0}});
      r.Or(Poly({{cx - w, H}, {cx, H - 2 * h}, {cx + w, H}}));
      break;
    case vxttDiagonalCrossToCenter: r = cross(w / 2, h / 2); break;
    case vxttDiagonalCrossFromCenter: {
      const int32_t a = (W - w) / 2, b = (H - h) / 2;
      r = Rgn(CreateRectRgn(0, 0, W, H));
      r.Xor(Poly({{0, cy - b}, {a, cy}, {0, cy + b}}));
      r.Xor(Poly({{W, cy - b}, {W - a, cy}, {W, cy + b}}));
      r.Xor(Poly({{cx - a, 0}, {cx, b}, {cx + a, 0}}));
      r.Xor(Poly({{cx - a, H}, {cx, H - b}, {cx + a, H}}));
      break;
    }
    case vxttDiamondWipeFromCenter: r = Poly({{cx - w, cy}, {cx, cy - h}, {cx + w, cy}, {cx, cy + h}}); break;
    default:  // vxttDiamondWipeToCenter
      r = Rgn(CreateRectRgn(0, 0, W, H));
      r.Xor(Poly({{w - cx, cy}, {cx, h - cy}, {3 * cx - w, cy}, {cx, 3 * cy - h}}));
      break;
  }
  Reveal(F, r);
}

void PolygonGrid(const Frame& F, TVXTransitionType t) {
  const int32_t W = F.W, H = F.H, p = F.p;
  Rgn r;
  if (t == vxttExpandingTriangles) {
    const int32_t cw = W / 10 + 1, ch = H / 10 + 1, a = MulDiv(cw, p, 50), b = MulDiv(ch, p, 50);
    const bool up = Alternative();
    for (int32_t x = cw; x - cw < W; x += 2 * cw)
      for (int32_t y = ch; y - 2 * ch < H; y += 2 * ch)
        r.Or(up ? Poly({{x - a, y + b}, {x, y - b}, {x + a, y + b}}) : Poly({{x - a, y - b}, {x, y + b}, {x + a, y - b}}));
  } else {  // vxttExpandingDiamonds
    const int32_t c = std::min(W, H) / 10 + 1, a = MulDiv(c, p, 50);
    for (int32_t x = c; x - c < W; x += 2 * c)
      for (int32_t y = c; y - c < H; y += 2 * c) r.Or(Poly({{x - a, y}, {x, y - a}, {x + a, y}, {x, y + a}}));
  }
  Reveal(F, r);
}

// ---- zigzag bands ----

void Zigzag(Frame F, TVXTransitionType t, const TRect& Rect) {
  const bool toCentre = t == vxttZigzagWipeToHorizon || t == vxttZigzagWipeToVerticalCenter;
  const bool horizon = t == vxttZigzagWipeFromHorizon || t == vxttZigzagWipeToHorizon;
  if (toCentre) {
    F.p = 100 - F.p;
    CalcProgressSize(Rect, F.p, F.W, F.H, F.w, F.h);
  }
  const std::vector<POINT> pts = ZigzagBandPoints(F.W, F.H, F.w, F.h, F.p, horizon, Alternative());
  Rgn band(PolygonRegion(pts));
  if (toCentre) {
    BitBlt(F.Canvas->Handle(), 0, 0, F.W, F.H, F.Target->Canvas()->Handle(), 0, 0, SRCCOPY);
    Reveal(F, band, F.Source);
  } else {
    Reveal(F, band);
  }
}

// ---- rotating polygons ----

void Rotating(const Frame& F, TVXTransitionType t) {
  const int32_t cx = F.cx, cy = F.cy, w = F.w, h = F.h;
  const double angle = F.p * kPi / 50;
  std::vector<POINT> pts;
  int32_t px = cx, py = cy;
  double a = angle;
  switch (t) {
    case vxttRotationalRectangle:
    case vxttRotationalRectangleCounterClockwise:
    case vxttSpirallingRectangleClockwise:
    case vxttSpirallingRectangleCounterClockwise:
      pts = {{cx - w / 2, cy - h / 2}, {cx + w / 2, cy - h / 2}, {cx + w / 2, cy + h / 2}, {cx - w / 2, cy + h / 2}};
      if (t == vxttRotationalRectangleCounterClockwise || t == vxttSpirallingRectangleCounterClockwise) a = -angle;
      if (t == vxttSpirallingRectangleClockwise || t == vxttSpirallingRectangleCounterClockwise) {
        px = w;
        py = h;
      }
      break;
    case vxttRotationalStar:
    case vxttRotationalStarCounterClockwise:
      pts = {{cx - 2 * w, cy},         {cx - w / 2, cy - h / 2}, {cx, cy - 2 * h}, {cx + w / 2, cy - h / 2},
             {cx + 2 * w, cy},         {cx + w / 2, cy + h / 2}, {cx, cy + 2 * h}, {cx - w / 2, cy + h / 2}};
      if (t == vxttRotationalStarCounterClockwise) a = -angle;
      break;
    default: {  // vxttTriangularWipe
      const int32_t m = std::max(w, h) / 2;
      pts = {{cx, cy - m}, {cx + m, cy + m}, {cx - m, cy + m}};
      if (Alternative()) a = -angle;
      break;
    }
  }
  RotatePoints(pts.data(), int32_t(pts.size()) - 1, px, py, a);
  Reveal(F, Rgn(PolygonRegion(pts)));
}

// ---- sweeps ----

enum class SweepKind { Full, Propeller, Fan };

Rgn SweepRegion(const Frame& F, SweepKind Kind, int32_t D, bool Word, int32_t q, bool f) {
  const int32_t cx = F.cx, cy = F.cy;
  const int32_t R = int32_t(std::ceil(std::sqrt(double(cx) * cx + double(cy) * cy)));
  Rgn r;
  if (Kind == SweepKind::Full) {
    r = Rgn(SectorRegion(cx, cy, R, -kPi / 2, D * kPi * q / 50 - kPi / 2, q, true));
  } else {
    r = Rgn(SectorRegion(cx, cy, R, -kPi / 2, D * kPi * q / 100 - kPi / 2, q / 2, !f));
    if (Kind == SweepKind::Propeller)
      r.Or(Rgn(SectorRegion(cx, cy, R, -kPi / 2, D * kPi * q / 100 - kPi / 2, q / 2, false)));
    else
      r.Or(Rgn(SectorRegion(cx, cy, R, -kPi / 2, -D * kPi * q / 100 - kPi / 2, q / 2, !f)));
  }
  if (Word && F.p > 50) r.Or(Rgn(WordRegion(PartOf(F, 15, 85), F.p, 0, 100, true, true)));
  return r;
}

void Sweep(const Frame& F, TVXTransitionType t) {
  const bool alt = Alternative();
  SweepKind kind = SweepKind::Full;
  int32_t D = 1;
  bool word = false, twoPhases = alt;
  switch (t) {
    case vxttSweepClockwise: break;
    case vxttSweepCounterClockwise: D = -1; break;
    case vxttFullSweepClockwise: kind = SweepKind::Propeller; break;
    case vxttExpandingSweepClockwise: kind = SweepKind::Fan; break;
    case vxttWordHalfSweep: word = twoPhases = true; D = alt ? -1 : 1; break;
    case vxttWordFullSweep: kind = SweepKind::Propeller; word = twoPhases = true; D = alt ? -1 : 1; break;
    default: kind = SweepKind::Fan; word = twoPhases = true; break;  // vxttWordFullExpandingSweep
  }
  if (!twoPhases) {
    Reveal(F, SweepRegion(F, kind, D, word, F.p, false));
    return;
  }
  if (F.p <= 49) {
    TBitmap black(F.W, F.H, pf24bit);
    black.Canvas()->Brush()->SetColor(0);
    black.Canvas()->FillRect(TRect{0, 0, F.W, F.H});
    if (word) {
      Rgn wr(WordRegion(PartOf(F, 15, 85), F.p, 0, 100, true, true));
      BlitThroughRegion(black.Canvas(), F.W, F.H, F.Target, wr.get());
    }
    Reveal(F, SweepRegion(F, kind, D, word, 2 * F.p, false), &black);
  } else {
    F.Canvas->Brush()->SetStyle(bsSolid);
    F.Canvas->Brush()->SetColor(0);
    F.Canvas->FillRect(TRect{0, 0, F.W, F.H});
    Reveal(F, SweepRegion(F, kind, D, word, 2 * F.p - 100, kind == SweepKind::Fan));
  }
}

// ---- shape wipes ----

constexpr int32_t kCircle = 101, kWord = 100;

// The word settings' text has more than one character.
bool LongWord() { return VXUTF8ToUTF16(VXGetGlobalSettings()->WordTransitionParams()->Word).size() > 1; }

bool RestoresFirst(int32_t Shape) { return Shape == 10 || Shape == 16 || Shape == kWord; }

void ShapeWipe(const Frame& F, TVXTransitionType t) {
  const bool alt = Alternative();
  double S = 1;
  int32_t shape = kCircle;
  bool inward = false;
  switch (t) {
    case vxttCircularWipeFromCenter: break;
    case vxttCircularWipeToCenter: inward = true; break;
    case vxttHeartWipeOut: S = 1.3; shape = alt ? 16 : 15; break;
    case vxttHeartWipeIn: S = 1.3; shape = alt ? 16 : 15; inward = true; break;
    case vxttStar5WipeOut: S = 1.6; shape = 0; break;
    case vxttStar5WipeIn: S = 1.6; shape = 0; inward = true; break;
    case vxttStar6WipeOut: S = 1.3; shape = 1; break;
    case vxttStar6WipeIn: S = 1.3; shape = 1; inward = true; break;
    case vxttExplosionWipeOut: shape = alt ? 9 : 8; break;
    case vxttExplosionWipeIn: shape = alt ? 9 : 8; inward = true; break;
    case vxttCrossWipeOut: S = 3.6; shape = 10; break;
    case vxttCrossWipeIn: S = 3.5; shape = 10; inward = true; break;
    case vxttWordWipeOut: S = alt ? 6 : 3; shape = kWord; break;
    default: S = alt ? 6 : 3; shape = kWord; inward = true; break;  // vxttWordWipeIn
  }
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h, cx = F.cx, cy = F.cy;
  Rgn r;
  if (!inward) {
    if (shape == kCircle) {
      r = Rgn(CreateRoundRectRgn(cx - w, cy - h, cx + w, cy + h, w * 9 / 5, h * 9 / 5));
    } else {
      const int32_t g = S == 1 ? w : RoundInt(S * w), e = S == 1 ? h : RoundInt(S * h);
      const TRect box{cx - g, cy - e, cx + g, cy + e};
      r = Rgn(shape == kWord ? WordRegion(box, F.p, 0, 60, false, true) : ShapeRegionInRect(shape, box));
    }
  } else {
    r = Rgn(CreateRectRgn(0, 0, W, H));
    if (shape == kCircle) {
      r.Xor(Rgn(CreateRoundRectRgn(w - cx, h - cy, 3 * cx - w, 3 * cy - h, (W - w) * 9 / 5, (H - h) * 9 / 5)));
    } else {
      int32_t g = 0, e = 0;
      if (S != 1 || shape == kWord) {
        g = RoundInt(S * (W - w)) / 2;
        e = RoundInt(S * (H - h)) / 2;
      }
      const TRect box{w - cx - g, h - cy - e, 3 * cx - w + g, 3 * cy - h + e};
      r.Xor(Rgn(shape == kWord ? WordRegion(box, F.p, 60, 100, false, true) : ShapeRegionInRect(shape, box)));
    }
  }
  if (RestoresFirst(shape)) Restore(F);
  Reveal(F, r);
}

void InAndOut(const Frame& F, TVXTransitionType t) {
  const bool alt = Alternative();
  double S = 1;
  int32_t shape = -1;  // the diamond
  switch (t) {
    case vxttDiagonalBoxWipe: break;
    case vxttHeartWipeInAndOut: S = 1.6; shape = alt ? 16 : 15; break;
    case vxttStar5WipeInAndOut: S = 2.4; shape = 0; break;
    case vxttStar6WipeInAndOut: S = 1.6; shape = 1; break;
    case vxttExplosionWipeInAndOut: S = 1.1; shape = alt ? 9 : 8; break;
    default: S = alt ? 8 : 4; shape = kWord; break;  // vxttWordWipeInAndOut
  }
  const int32_t cx = F.cx, cy = F.cy, a = F.w / 2, b = F.h / 2;
  const int32_t sa = RoundInt(S * a), sb = RoundInt(S * b);
  const TRect outer{-sa, -sb, 2 * cx + sa, 2 * cy + sb}, inner{a, b, 2 * cx - a, 2 * cy - b};
  Rgn r;
  if (shape == -1) {
    r = Poly({{-a, cy}, {cx, -b}, {2 * cx + a, cy}, {cx, 2 * cy + b}});
    r.Xor(Poly({{a, cy}, {cx, b}, {2 * cx - a, cy}, {cx, 2 * cy - b}}));
  } else if (shape == kWord) {
    r = Rgn(WordRegion(outer, F.p, 0, 50, false, true));
    r.Xor(Rgn(WordRegion(inner, F.p, 10, 80, false, true)));
  } else {
    r = Rgn(ShapeRegionInRect(shape, outer));
    r.Xor(Rgn(ShapeRegionInRect(shape, inner)));
  }
  if (shape == 16 || shape == kWord) Restore(F);
  Reveal(F, r);
}

void Expanding(const Frame& F, TVXTransitionType t) {
  const bool alt = Alternative();
  double S = 4;
  int32_t shape = 0;
  switch (t) {
    case vxttExpandingCircles: S = 3; shape = kCircle; break;
    case vxttExpandingHearts: S = 3; shape = alt ? 16 : 15; break;
    case vxttExpandingStar5: shape = 0; break;
    case vxttExpandingStar6: shape = 1; break;
    case vxttExpandingExplosions: shape = alt ? 9 : 8; break;
    case vxttExpandingLightningBolts: S = 6; shape = alt ? 7 : 6; break;
    default: S = alt ? 12 : 6; shape = kWord; break;  // vxttExpandingWord
  }
  const int32_t a = std::min(F.W, F.H) / 10 + 1;
  const int32_t b = MulDiv(RoundInt(S * a), F.p, 200);
  Rgn r;
  if (b <= 0) return;  // shapes of no size
  for (int32_t x = a; x - a < F.W; x += 2 * a)
    for (int32_t y = a; y - a < F.H; y += 2 * a) {
      const TRect box{x - b, y - b, x + b, y + b};
      if (shape == kCircle)
        r.Or(Rgn(CreateEllipticRgn(box.Left, box.Top, box.Right, box.Bottom)));
      else if (shape == kWord)
        r.Or(Rgn(WordRegion(box, F.p, 0, 50, false, true)));
      else
        r.Or(Rgn(ShapeRegionInRect(shape, box)));
    }
  if (shape == 16 || shape == kWord) Restore(F);
  Reveal(F, r);
}

// ---- seeded random cells ----

void RandomShapes(const Frame& F, TVXTransitionType t) {
  const bool alt = Alternative();
  double S;
  int32_t Q, shape;
  switch (t) {
    case vxttRandomHearts: S = 0.2; Q = 12; shape = alt ? 16 : 15; break;
    case vxttRandomStar5s: S = 0.4; Q = 14; shape = 0; break;
    case vxttRandomStar6s: S = 0.4; Q = 14; shape = 1; break;
    case vxttRandomWord: S = alt ? 0.2 : 0.4; Q = 14; shape = kWord; break;
    default: S = 0.5; Q = 18; shape = F.p % 2 == 1 ? 9 : 8; break;  // vxttRandomExplosions
  }
  const int32_t a = std::min(F.W, F.H) / Q + 1;
  // A pitch of 0 (small frames, small scales) would never leave the row.
  const int32_t d = std::max(1, int32_t(S * a));
  Rgn r;
  {
    SeedFromTarget seed(F.Target);
    for (int32_t x = d; x - d < F.W; x += 2 * d)
      for (int32_t y = d; y - d < F.H; y += 2 * d) {
        if (Random(100) >= F.p) continue;
        const TRect box{x - a, y - a, x + a, y + a};
        r.Or(Rgn(shape == kWord ? WordRegion(box, F.p, 0, 50, false, false) : ShapeRegionInRect(shape, box)));
      }
  }
  if (shape == kWord && LongWord()) Restore(F);
  Reveal(F, r);
}

void RandomBigBoxes(const Frame& F) {
  const int32_t m = std::min(F.W, F.H);
  const int32_t c = Alternative() ? (m / 20) / 2 + 1 : m / 20 + 1;
  TComplexRegion cr;
  {
    SeedFromTarget seed(F.Target);
    for (int32_t x = c; x - c < F.W; x += 2 * c)
      for (int32_t y = c; y - c < F.H; y += 2 * c)
        if (Random(100) < F.p) cr.AddRect(x - c, y - c, x + c, y + c);
  }
  Reveal(F, Rgn(cr.CreateRegion()));
}

void RandomBoxesWithWord(const Frame& F) {
  const int32_t m = std::min(F.W, F.H), p = F.p;
  const int32_t c = Alternative() ? (m / 400) / 2 + 1 : m / 400 + 1;
  const int32_t chance = p <= 60 ? MulDiv(p, 100, 60) : MulDiv(p - 60, 100, 40);
  TComplexRegion cr;
  {
    SeedFromTarget seed(F.Target);
    for (int32_t x = c; x - c < F.W; x += 2 * c)
      for (int32_t y = c; y - c < F.H; y += 2 * c)
        if (Random(100) < chance) cr.AddRect(x - c, y - c, x + c, y + c);
  }
  Rgn word(WordRegion(PartOf(F, 5, 95), p, 0, 100, true, true));
  Rgn boxes(cr.CreateRegion());
  if (!boxes) {
    Reveal(F, word);
    return;
  }
  if (word) {
    Rgn w2(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(w2.get(), word.get(), nullptr, RGN_COPY);
    boxes.Combine(std::move(w2), p <= 60 ? RGN_DIFF : RGN_AND);
  } else if (p > 60) {
    boxes.Reset();
  }
  Reveal(F, boxes);
}

void PuzzlePieces(const Frame& F) {
  const int32_t m = std::min(F.W, F.H);
  const int32_t c = Alternative() ? m / 16 + 1 : m / 8 + 1;
  const int32_t d = c / 3, o = c / 15;
  Rgn all;
  {
    SeedFromTarget seed(F.Target);
    int32_t i = 0;
    for (int32_t x = c - 2 * d; x - c < F.W; x += 2 * c, ++i) {
      int32_t j = 0;
      for (int32_t y = c - 2 * d; y - c < F.H; y += 2 * c, ++j) {
        if (Random(100) >= F.p) continue;
        Rgn piece(PuzzlePieceRegion(x, y, c, d, o, (i + j) % 2 == 0));
        all.Xor(std::move(piece));
      }
    }
  }
  Reveal(F, all);
}

// ---- Pacman ----

void Pacman(const Frame& F, TVXTransitionType t) {
  int32_t R = 1;
  bool sim = false, reversed = false;
  switch (t) {
    case vxttPacmanFromLeft: break;
    case vxttPacmanFromRight: reversed = true; break;
    case vxttPacman3Row: R = 3; break;
    case vxttPacman4Row: R = 4; break;
    case vxttPacman2SimRow: R = 2; sim = true; break;
    case vxttPacman4SimRow: R = 4; sim = true; break;
    default: R = 6; sim = true; break;  // vxttPacman6SimRow
  }
  TVXTransitionSharedState& state = VXTransitionState();
  const uint32_t now = GetTickCount();
  if (!state.OrderDrawn) {
    state.MouthTick = now;
    state.MouthPhase = 0;
    state.OrderDrawn = true;
  } else if (now - state.MouthTick > 100) {
    state.MouthPhase = (state.MouthPhase + 1) % 4;
    state.MouthTick = now;
  }
  const int32_t phase = state.MouthPhase;
  const int32_t W = F.W, H = F.H, p = F.p;
  const int32_t rh = H / R + 1, q = 100 / R;
  const bool pellets = !Alternative();

  auto row = [&](int32_t i, int32_t x) {
    const int32_t top = i * rh;
    const bool rev = (i % 2 == 1) != reversed;
    if (rev) x = W - x;
    Rgn r(rev ? CreateRectRgn(x, top, W, top + rh) : CreateRectRgn(0, top, x, top + rh));
    r.Or(Rgn(CreateEllipticRgn(x - rh / 2, top, x + rh / 2, top + rh + 1)));
    const int32_t m = rev ? x - rh / 2 : x + rh / 2;
    int32_t y1, y2;
    if (phase == 1 || phase == 3) {
      y1 = top + MulDiv(rh, 1, 4);
      y2 = top + MulDiv(rh, 3, 4);
    } else if (phase == 2) {
      y1 = top + MulDiv(rh, 15, 32);
      y2 = top + MulDiv(rh, 17, 32);
    } else {
      y1 = top - MulDiv(rh, 1, 4);
      y2 = top + rh + MulDiv(rh, 1, 4);
    }
    r.Combine(Poly({{x, top + rh / 2}, {m, y1}, {m, y2}}), RGN_DIFF);
    if (pellets) {
      const int32_t pr = rh / 12, g = std::max({W / 10, 3 * pr, 1}), mid = top + rh / 2;
      for (int32_t c = g / 2; c < W; c += g)
        if (rev ? c < m : c > m) r.Or(Rgn(CreateEllipticRgn(c - pr, mid - pr, c + pr, mid + pr)));
    }
    return r;
  };

  Rgn all;
  if (sim) {
    const int32_t x = MulDiv(W, p, 100);
    for (int32_t i = 0; i < R; ++i) all.Or(row(i, x));
  } else {
    int32_t i = 0;
    while (i < R - 1 && !(p < q * (i + 1))) ++i;
    all = row(i, MulDiv(W, p - q * i, q));
    if (i * rh > 0) all.Or(Rgn(CreateRectRgn(0, 0, W, i * rh)));
  }
  Restore(F);
  Reveal(F, all);
}

}  // namespace

HRGN PuzzlePieceRegion(int32_t x, int32_t y, int32_t c, int32_t d, int32_t o, bool SameParity) {
  auto ellipse = [](int32_t l, int32_t t, int32_t r, int32_t b) { return Rgn(CreateEllipticRgn(l, t, r, b)); };
  Rgn piece(CreateRectRgn(x - c, y - c, x + c, y + c));
  if (SameParity) {
    piece.Or(ellipse(x - d, y - c + o - 2 * d, x + d, y - c + o));
    piece.Or(ellipse(x - d, y + c - o, x + d, y + c - o + 2 * d));
    piece.Combine(ellipse(x - c - o, y - d, x - c - o + 2 * d, y + d), RGN_DIFF);
    piece.Combine(ellipse(x + c + o - 2 * d, y - d, x + c + o, y + d), RGN_DIFF);
  } else {
    piece.Combine(ellipse(x - d, y - c - o, x + d, y - c - o + 2 * d), RGN_DIFF);
    piece.Combine(ellipse(x - d, y + c + o - 2 * d, x + d, y + c + o), RGN_DIFF);
    piece.Or(ellipse(x - c + o - 2 * d, y - d, x - c + o, y + d));
    piece.Or(ellipse(x + c - o, y - d, x + c - o + 2 * d, y + d));
  }
  return piece.Release();
}

std::vector<POINT> ZigzagBandPoints(int32_t W, int32_t H, int32_t w, int32_t h, int32_t p, bool Horizon, bool Alt) {
  const int32_t mul = Alt ? 2 : 1;
  const int32_t along = Horizon ? W : H, across = Horizon ? H : W;
  const int32_t s = along / 10 * mul, A = across / 10 * mul;
  const int32_t B = MulDiv(A, p, 100) + (Horizon ? h : w) / 2;
  const int32_t M = across / 2;
  const int32_t e0 = M + A - B, e1 = M - A - B, e2 = M + A + B, e3 = M - A + B;
  std::vector<POINT> pts;
  for (int32_t k = 0; k <= 11; ++k) {
    const int32_t v = k % 2 == 0 ? e0 : e1;
    pts.push_back(Horizon ? POINT{k * s, v} : POINT{v, k * s});
  }
  for (int32_t k = 11; k >= 0; --k) {
    const int32_t v = k % 2 == 0 ? e2 : e3;
    pts.push_back(Horizon ? POINT{k * s, v} : POINT{v, k * s});
  }
  return pts;
}

bool DrawRegionClippedFrame(TVXTransitionType Transition, TCanvas* Canvas, TBitmap* SourceShot, TBitmap* TargetShot,
                            const TRect& Rect, int32_t Percent) {
  Frame F{Canvas, SourceShot, TargetShot, 0, 0, 0, 0, 0, 0, Percent};
  CalcProgressSize(Rect, Percent, F.W, F.H, F.w, F.h);
  F.cx = F.W / 2;
  F.cy = F.H / 2;
  const int t = Transition;
  if (t >= vxttCurvedWipeFromLeft && t <= vxttCurvedWipeFromBottomRight) {
    CurvedWipe(F, Transition);
  } else if ((t >= vxttBarsInFromLeft && t <= vxttBarsFromTopAndBottom) ||
             (t >= vxttCrisscrossWipeFromTopLeft && t <= vxttCrisscrossWipeFromBottomLeftTopRight)) {
    Bars(F, Transition);
  } else if (t >= vxttShreddedFromLeft && t <= vxttShreddedOutFromVerticalCenter) {
    Shreds(F, Transition);
  } else if (t >= vxttSpeckledWipeFromLeft && t <= vxttSpeckledWipeFromBottom) {
    Speckles(F, Transition);
  } else if ((t >= vxttHorizontalBlinds && t <= vxttUnevenBlindsFromBottom) || t == vxttExpandingRectangles) {
    Blinds(F, Transition);
  } else if (t >= vxttRectanglesFromTheLeft && t <= vxttRectanglesFromTheBottom) {
    RectanglesFromTheSides(F, Transition);
  } else if ((t >= vxttWipeDiagonalFromTopLeft && t <= vxttDiagonalSweepCounterClockwise) ||
             t == vxttStarburstClockwiseFromCenter || t == vxttStarburstCounterClockwiseFromCenter ||
             (t >= vxttArrowWipeFromLeft && t <= vxttDiagonalCrossToCenter) || t == vxttDiamondWipeFromCenter ||
             t == vxttDiamondWipeToCenter) {
    PolygonWipe(F, Transition);
  } else if (t == vxttExpandingTriangles || t == vxttExpandingDiamonds) {
    PolygonGrid(F, Transition);
  } else if (t == vxttZigzagWipeFromHorizon || t == vxttZigzagWipeFromVerticalCenter ||
             t == vxttZigzagWipeToHorizon || t == vxttZigzagWipeToVerticalCenter) {
    Zigzag(F, Transition, Rect);
  } else if ((t >= vxttRotationalRectangle && t <= vxttRotationalStarCounterClockwise) ||
             t == vxttSpirallingRectangleClockwise || t == vxttSpirallingRectangleCounterClockwise ||
             t == vxttTriangularWipe) {
    Rotating(F, Transition);
  } else if (t == vxttSweepClockwise || t == vxttSweepCounterClockwise || t == vxttFullSweepClockwise ||
             t == vxttExpandingSweepClockwise || (t >= vxttWordHalfSweep && t <= vxttWordFullExpandingSweep)) {
    Sweep(F, Transition);
  } else if (t == vxttCircularWipeFromCenter || t == vxttCircularWipeToCenter ||
             (t >= vxttHeartWipeOut && t <= vxttCrossWipeIn) || t == vxttWordWipeOut || t == vxttWordWipeIn) {
    ShapeWipe(F, Transition);
  } else if (t == vxttDiagonalBoxWipe || (t >= vxttHeartWipeInAndOut && t <= vxttExplosionWipeInAndOut) ||
             t == vxttWordWipeInAndOut) {
    InAndOut(F, Transition);
  } else if (t == vxttExpandingCircles || (t >= vxttExpandingHearts && t <= vxttExpandingLightningBolts) ||
             t == vxttExpandingWord) {
    Expanding(F, Transition);
  } else if ((t >= vxttRandomHearts && t <= vxttRandomExplosions) || t == vxttRandomWord) {
    RandomShapes(F, Transition);
  } else if (t == vxttRandomBigBoxes) {
    RandomBigBoxes(F);
  } else if (t == vxttRandomBoxesWithWord) {
    RandomBoxesWithWord(F);
  } else if (t == vxttRandomPuzzlePieces) {
    PuzzlePieces(F);
  } else if (t >= vxttPacmanFromLeft && t <= vxttPacman6SimRow) {
    Pacman(F, Transition);
  } else {
    return false;
  }
  return true;
}
