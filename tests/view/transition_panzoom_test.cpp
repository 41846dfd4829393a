// Pan and zoom: the kinds' rectangles against a Python model, and the
// engine's frames (clamping and letterboxing, the source never moving back).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "gui/graphics.h"
#include "view/transition_panzoom.h"
#include "view/transitions.h"
#include "transition_pics.h"
#include "view_fixture.h"
#include "../proc/numpy_oracle.h"

namespace {

using namespace vxtest;

const TRect kUnset{-999999, -999999, -999999, -999999};

struct Rects {
  TRect s = kUnset, e = kUnset;
};

Rects Calc(int cw, int ch, int iw, int ih, int zoom, int kind) {
  Rects r;
  CalcPanZoomRects(cw, ch, iw, ih, zoom, TVXPanZoomType(kind), r.s, r.e);
  return r;
}

bool Same(const TRect& a, const TRect& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

TEST(PanZoomRects, TheWorkedExample) {
  const Rects r = Calc(400, 300, 1000, 800, 20, vxpzPanTopLeftToBottomRight);
  EXPECT_TRUE(Same(r.s, TRect{2, 2, 797, 599}));
  EXPECT_TRUE(Same(r.e, TRect{201, 199, 996, 796}));
}

TEST(PanZoomRects, ZoomLevelsKindsAndEmptyInputs) {
  for (int kind = 0; kind < 46; ++kind) {
    const Rects twenty = Calc(400, 300, 1000, 800, 20, kind);
    for (int zoom : {0, 1, -7}) {
      const Rects r = Calc(400, 300, 1000, 800, zoom, kind);
      EXPECT_TRUE(Same(r.s, twenty.s) && Same(r.e, twenty.e)) << kind << " zoom " << zoom;
    }
  }
  // Zoom in to the centre: fitted (994 x 746) to zoomed (795 x 597), centred.
  const Rects in = Calc(400, 300, 1000, 800, 20, vxpzZoomInToCenter);
  EXPECT_TRUE(Same(in.s, TRect{2, 26, 996, 772}));
  EXPECT_TRUE(Same(in.e, TRect{101, 100, 896, 697}));
  const Rects out = Calc(400, 300, 1000, 800, 20, vxpzZoomOutFromCenter);
  EXPECT_TRUE(Same(out.s, in.e) && Same(out.e, in.s));
  // Nothing is set for a kind above 45, an empty client or an image with no
  // room inside its margins.
  for (const auto& c : std::vector<std::vector<int>>{{400, 300, 1000, 800, 46},
                                                     {0, 300, 1000, 800, 0},
                                                     {400, 0, 1000, 800, 20},
                                                     {400, 300, 6, 800, 0},
                                                     {400, 300, 1000, 5, 32},
                                                     {400, 300, 0, 0, 41}}) {
    const Rects r = Calc(c[0], c[1], c[2], c[3], 20, c[4]);
    EXPECT_TRUE(Same(r.s, kUnset) && Same(r.e, kUnset)) << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
  }
}

const char* kRectsModel = R"PY(
def muldiv(a, b, c):
    if c == 0:
        return -1
    n = a * b
    q = (2 * abs(n) + abs(c)) // (2 * abs(c))
    return q if (n >= 0) == (c > 0) else -q

def trunc_div2(v):
    return int(v / 2)

def calc(cw, ch, iw, ih, z, kind):
    if kind > 45:
        return None
    L, T, BW, BH = 2, 2, iw - 6, ih - 6
    if cw <= 0 or ch <= 0 or BW <= 0 or BH <= 0:
        return None
    same = abs(cw / ch - BW / BH) <= 0.01
    portrait = ih > iw
    if z < 2:
        z = 20
    taller = BH / ch > BW / cw
    if taller:
        FW = BW; FH = round(FW * ch / cw)
    else:
        FH = BH; FW = round(FH * cw / ch)
    def P(pos, w, h):
        col, row = pos % 3, pos // 3
        left = [L, L + trunc_div2(BW - w), L + BW - w][col]
        top = [T, T + trunc_div2(BH - h), T + BH - h][row]
        return (left, top, left + w, top + h)
    Z = lambda p: P(p, muldiv(FW, 100 - z, 100), muldiv(FH, 100 - z, 100))
    F = lambda p: P(p, FW, FH)
    G = lambda p: P(p, muldiv(BW, 100 - z, 100), muldiv(BH, 100 - z, 100))
    B = (L, T, L + BW, T + BH)
    case = ('A' if portrait else 'C') if same else 'B'
    def side(k):
        if k == 12:
            return {'A': (Z(1), Z(7)), 'B': (F(1), F(7)) if taller else (F(3), F(5)), 'C': (Z(3), Z(5))}[case]
        if k == 13:
            return {'A': (Z(1), Z(4)), 'B': (F(1) if taller else F(3), F(4)), 'C': (Z(3), Z(4))}[case]
        return {'A': (Z(7), Z(4)), 'B': (F(7) if taller else F(5), F(4)), 'C': (Z(5), Z(4))}[case]
    pans = {0: (0, 8), 1: (2, 6), 2: (6, 2), 3: (8, 0), 4: (0, 4), 5: (2, 4), 6: (6, 4), 7: (8, 4),
            8: (4, 0), 9: (4, 2), 10: (4, 6), 11: (4, 8)}
    if kind in pans:
        return Z(pans[kind][0]) + Z(pans[kind][1])
    if 12 <= kind <= 14:
        s, e = side(kind)
        return s + e
    if 15 <= kind <= 17:
        s, e = side(kind - 3)
        return e + s
    corners = [0, 2, 4, 6, 8]
    if 18 <= kind <= 22:
        return F(corners[kind - 18]) + Z(corners[kind - 18])
    if 23 <= kind <= 27:
        return Z(corners[kind - 23]) + F(corners[kind - 23])
    if 28 <= kind <= 36:
        return B + G(kind - 28)
    return G(kind - 37) + B

out = []
for c in CASES:
    r = calc(*c)
    out.extend(r if r is not None else [-999999] * 8)
save(np.array(out, dtype=np.int32))
)PY";

TEST(PanZoomRects, EqualAModelOfTheKindsOnRandomSizes) {
  SKIP_WITHOUT_NUMPY();
  uint32_t seed = 2024;
  auto rnd = [&seed](int lo, int hi) {
    seed = seed * 1103515245u + 12345u;
    return lo + int((seed >> 8) % uint32_t(hi - lo + 1));
  };
  std::vector<std::vector<int>> cases;
  for (int i = 0; i < 400; ++i) {
    int iw = rnd(8, 3000), ih = rnd(8, 3000), cw = rnd(20, 1600), ch = rnd(20, 1200);
    if (i % 4 == 0) {
      // The client of the bound's aspect (the aspect cases of the side pans).
      const int k = rnd(1, 4);
      cw = std::max(1, (iw - 6) / k);
      ch = std::max(1, (ih - 6) / k);
    }
    cases.push_back({cw, ch, iw, ih, rnd(-2, 70), i % 47});
  }
  std::ostringstream cfg;
  cfg << "CASES = [";
  for (const auto& c : cases) cfg << "(" << c[0] << "," << c[1] << "," << c[2] << "," << c[3] << "," << c[4] << "," << c[5] << "),";
  cfg << "]\n";
  const std::string model = numpy_oracle::Run(cfg.str() + kRectsModel, {});
  ASSERT_EQ(model.size(), cases.size() * 8 * 4);
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    const Rects r = Calc(c[0], c[1], c[2], c[3], c[4], c[5]);
    int32_t want[8];
    std::memcpy(want, model.data() + i * 32, 32);
    const int32_t got[8] = {r.s.Left, r.s.Top, r.s.Right, r.s.Bottom, r.e.Left, r.e.Top, r.e.Right, r.e.Bottom};
    for (int k = 0; k < 8; ++k)
      EXPECT_EQ(got[k], want[k]) << "client " << c[0] << "x" << c[1] << " image " << c[2] << "x" << c[3] << " zoom "
                                 << c[4] << " kind " << c[5] << " value " << k;
  }
}

// An image whose pixels are all far from the backgrounds used here.
std::unique_ptr<TVXBitmap> Image(int W, int H) {
  auto b = std::make_unique<TVXBitmap>(W, H, vx24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixels(x, y, TRGB{uint8_t(100 + x % 50), uint8_t(100 + y % 50), 120});
  return b;
}

bool IsColour(const uint8_t* p, uint8_t b, uint8_t g, uint8_t r) { return p[0] == b && p[1] == g && p[2] == r; }

class PanZoomFrames : public ViewTest {};

TEST_F(PanZoomFrames, ClampedFramesAreLetterboxedOnTheViewersBackground) {
  TVexlaneView* view = NewView(100, 100);
  view->SetBackground(TColor(0x00FF00));  // green
  auto img = Image(200, 150);
  const int FW = 80, FH = 60;
  // The start rectangle reaches 40 pixels left of the image.
  const TRect start{-40, 0, 120, 150}, end{40, 0, 200, 150};
  for (TVXView* owner : {static_cast<TVXView*>(view), static_cast<TVXView*>(nullptr)}) {
    TVXTransitionEffects e(owner);
    e.SetTransition(vxttPanZoom);
    e.SetBackground(TColor(0x0000FF));  // red
    e.SetFullImage(img.get());
    e.SetStartRect(start);
    e.SetEndRect(end);
    TBitmap a(FW, FH, pf24bit);
    e.PrepareBitmap(&a, &a);
    TBitmap dest;
    int clamped = 0;
    for (int p = 0; p <= 100; p += 5) {
      e.CreateBitmap(float(p), &dest);
      const Pic f = FromBitmap(&dest);
      const int s = int(std::nearbyint(p * 1024.0 / 100.0));
      const int L = int(start.Left - s * ((start.Left - end.Left) / 1024.0));
      if (L >= 0) {
        // Not clamped: the image over the whole frame.
        EXPECT_FALSE(IsColour(f.at(0, FH / 2), 0, 255, 0) || IsColour(f.at(0, FH / 2), 0, 0, 255)) << p;
        continue;
      }
      ++clamped;
      // 160 x 150 fitted into 80 x 60: 64 x 60 at x = 8.
      for (int y = 0; y < FH; ++y)
        for (int x = 0; x < FW; ++x) {
          const bool border = x < 8 || x >= 72;
          const uint8_t* px = f.at(x, y);
          if (border)
            EXPECT_TRUE(owner ? IsColour(px, 0, 255, 0) : IsColour(px, 0, 0, 255))
                << p << "% (" << x << ", " << y << ")" << (owner ? " viewer" : " no owner");
          else
            EXPECT_FALSE(IsColour(px, 0, 255, 0) || IsColour(px, 0, 0, 255)) << p << "% (" << x << ", " << y << ")";
        }
    }
    EXPECT_GT(clamped, 3);
  }
}

TEST(PanZoomFrame, SourceEdgesNeverMoveBack) {
  auto img = Image(300, 240);
  TBitmap a(60, 48, pf24bit);
  Rects r = Calc(60, 48, 300, 240, 30, vxpzPanTopLeftToBottomRight);
  Rects zoom = Calc(60, 48, 300, 240, 30, vxpzZoomOutFromBottomRight);
  for (const Rects& k : {r, zoom}) {
    auto frames = [&](const std::vector<float>& progress) {
      TVXTransitionEffects e;
      e.SetTransition(vxttPanZoom);
      e.SetFullImage(img.get());
      e.SetStartRect(k.s);
      e.SetEndRect(k.e);
      e.PrepareBitmap(&a, &a);
      TBitmap dest;
      std::vector<Pic> out;
      for (float p : progress) {
        e.CreateBitmap(p, &dest);
        out.push_back(FromBitmap(&dest));
      }
      return out;
    };
    // Asked for backwards, the source stays where the later frame had it.
    const Pic at60 = frames({60}).back();
    const Pic at50 = frames({50}).back();
    const std::vector<Pic> back = frames({60, 50, 30});
    EXPECT_FALSE(at60 == at50);
    EXPECT_TRUE(back[1] == at60);
    EXPECT_TRUE(back[2] == at60);
    // Forwards, every frame is the frame of its own step.
    const std::vector<Pic> fwd = frames({10, 30, 50, 60});
    EXPECT_TRUE(fwd[2] == at50);
    EXPECT_TRUE(fwd[3] == at60);
  }
}

TEST(PanZoomFrame, ARectangleTallerThanTheImageStartsAtItsTop) {
  // 100 x 40 image, rectangle 50 x 60 from y = -5: the height is clamped
  // to 40 and the top to 0, the frame letterboxed left and right.
  auto img = Image(100, 40);
  TVXTransitionEffects e;
  e.SetTransition(vxttPanZoom);
  e.SetBackground(TColor(0x0000FF));
  e.SetFullImage(img.get());
  e.SetStartRect(TRect{10, -5, 60, 55});
  e.SetEndRect(TRect{10, -5, 60, 55});
  TBitmap a(50, 60, pf24bit), dest;
  e.PrepareBitmap(&a, &a);
  e.CreateBitmap(50, &dest);
  const Pic f = FromBitmap(&dest);
  // 50 x 40 into 50 x 60: 50 x 40 at y = 10; the image's top row first.
  EXPECT_TRUE(IsColour(f.at(25, 9), 0, 0, 255));
  EXPECT_EQ(f.at(25, 10)[1], 100);  // row 0 of the image
  EXPECT_EQ(f.at(25, 49)[1], 139);  // row 39
  EXPECT_TRUE(IsColour(f.at(25, 50), 0, 0, 255));
}

}  // namespace
