// Merging layers against a numpy model of the merge, drawing all layers into
// a bitmap, layer grips and boxes, making layers and baking display size and
// rotation into them.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/pixels.h"
#include "tests/view/view_fixture.h"

namespace {

struct TDump : TVXByteWriter {
  // Size, place, transparency, opacity, RGB and alpha (255 without one).
  void Layer(const TVXLayer* L) {
    TVXBitmap* p = L->Bitmap();
    I32(p->Width());
    I32(p->Height());
    I32(L->PosX());
    I32(L->PosY());
    I32(L->Transparency());
    F64(L->Opacity());
    Pixels(p);
  }
  void Pixels(TVXBitmap* p) {
    for (int y = 0; y < p->Height(); ++y)
      for (int x = 0; x < p->Width(); ++x) {
        const TRGB c = p->Pixels(x, y);
        b.insert(b.end(), {c.r, c.g, c.b});
      }
    TVXBitmap* a = p->AlphaChannelOpt();
    for (int y = 0; y < p->Height(); ++y)
      for (int x = 0; x < p->Width(); ++x) b.push_back(a ? a->Pixels_vx8(x, y) : 255);
  }
};

// The merge of two layers (with the upper layer's optional mask) as numpy
// computes it; prints the number of differing values.
const char* kMergeModel = R"PY(
import numpy as np, struct, sys
d = open(sys.argv[1], 'rb').read(); p = 0
def i32():
    global p; v, = struct.unpack_from('<i', d, p); p += 4; return v
def f64():
    global p; v, = struct.unpack_from('<d', d, p); p += 8; return v
def pix(w, h):
    global p
    rgb = np.frombuffer(d, np.uint8, w*h*3, p).reshape(h, w, 3).astype(np.float64); p += w*h*3
    a = np.frombuffer(d, np.uint8, w*h, p).reshape(h, w).astype(np.float64); p += w*h
    return rgb, a
def layer():
    w, h, x, y, T = i32(), i32(), i32(), i32(), i32(); O = f64(); rgb, a = pix(w, h)
    return dict(w=w, h=h, x=x, y=y, T=T, O=O, rgb=rgb, a=a)
keep, cropped, hasmask = i32(), i32(), i32()
bg = np.array([i32(), i32(), i32()], np.float64)
lo = layer(); up = layer()
if hasmask:
    mw, mh, mx, my = i32(), i32(), i32(), i32(); mrgb, _ = pix(mw, mh); mval = mrgb[:, :, 0]
W, H, hasalpha = i32(), i32(), i32()
out, outa = pix(W, H)
crop = cropped and not keep
sx = max(0, -lo['x']); sy = max(0, -lo['y'])
if not crop: sx = max(sx, -up['x']); sy = max(sy, -up['y'])
for L in (lo, up): L['x'] += sx; L['y'] += sy
if hasmask: mx += sx; my += sy
ex, ey = lo['x'] + lo['w'], lo['y'] + lo['h']; ox = oy = 0
if not crop:
    ex = max(ex, up['x'] + up['w']); ey = max(ey, up['y'] + up['h'])
    if keep: ox = min(lo['x'], up['x']); oy = min(lo['y'], up['y'])
assert (W, H) == (ex - ox, ey - oy), ((W, H), (ex - ox, ey - oy))
yy, xx = np.mgrid[0:H, 0:W]; px = xx + ox; py = yy + oy
def place(L):
    cov = (px >= L['x']) & (py >= L['y']) & (px < L['x'] + L['w']) & (py < L['y'] + L['h'])
    cx = np.clip(px - L['x'], 0, L['w'] - 1); cy = np.clip(py - L['y'], 0, L['h'] - 1)
    return cov, L['rgb'][cy, cx], L['a'][cy, cx]
cl, rl, al = place(lo); cu, ru, au = place(up)
lowerA = np.minimum(al, lo['T']); a1 = lowerA / 255 * lo['O']
upperA = np.minimum(au, up['T'])
if hasmask:
    cm = (px >= mx) & (py >= my) & (px < mx + mw) & (py < my + mh)
    mv = mval[np.clip(py - my, 0, mh - 1), np.clip(px - mx, 0, mw - 1)]
    upperA = np.where(cm, np.minimum(upperA, mv), 0.0)
a2 = upperA / 255 * up['O']
A = a2 + (1 - a2) * a1
safe = np.where(A == 0, 1, A)[..., None]
both = np.where((A != 0)[..., None], np.clip(np.round((ru * a2[..., None] + rl * (1 - a2)[..., None] * a1[..., None]) / safe), 0, 255), ru)
col = np.where((cl & cu)[..., None], both, np.where(cl[..., None], rl, np.where(cu[..., None], ru, bg)))
alp = np.where(cl & cu, np.clip(np.round(A * 255), 0, 255), np.where(cl, np.trunc(lowerA * lo['O']), np.where(cu, np.trunc(upperA * up['O']), 0)))
alp = np.clip(alp, 0, 255)
bad = int((col != out).sum()) + int((alp != outa).sum())
if bool((alp == 255).all()) == bool(hasalpha): bad += 1
print(bad)
)PY";

void RandomImage(TVXBitmap* b, int W, int H, std::mt19937& g, bool Alpha) {
  b->Allocate(W, H, vx24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixels(x, y, TRGB{uint8_t(g()), uint8_t(g()), uint8_t(g())});
  if (Alpha)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) b->AlphaChannel()->SetPixels_vx8(x, y, uint8_t(g()));
}

}  // namespace

using ViewLayerTools = ViewTest;

TEST_F(ViewLayerTools, MergeMatchesTheNumpyModel) {
  if (ViewRunPython("import numpy\n", "").rfind("FAILED", 0) == 0) GTEST_SKIP() << "numpy missing";
  struct Case {
    const char* name;
    int uw, uh, ux, uy;
    double uOpacity;
    int uTransparency;
    bool lowerAlpha, upperAlpha, cropped, mask, keepOrigin;
    int expectW;  // 0: not checked
    bool expectAlpha;
  } cases[] = {
      {"opaque over opaque", 8, 6, 3, 4, 1.0, 255, false, false, false, false, false, 20, false},
      {"half opacity over opaque", 8, 6, 3, 4, 0.5, 255, false, false, false, false, false, 20, false},
      {"left of layer 0 grows the result", 10, 6, -5, 2, 1.0, 255, false, false, false, false, false, 25, true},
      {"left of layer 0, cropped", 10, 6, -5, 2, 1.0, 255, false, false, true, false, false, 20, false},
      {"alphas, transparency, opacity and a mask", 12, 9, 11, -3, 0.7, 180, true, true, false, true, false, 0, true},
      {"above layer 0, origin kept", 12, 9, 11, -3, 0.6, 230, true, true, true, true, true, 0, true},
  };
  std::mt19937 g(102);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVexlaneView* v = NewView(160, 120);
    v->SetBackground(TColor(0x203040));
    RandomImage(v->VXBitmap(), 20, 15, g, c.lowerAlpha);
    v->Update();
    int32_t lower = 0;
    if (c.keepOrigin) {
      lower = v->LayersAdd(14, 10, vx24RGB, 2, 3);
      RandomImage(v->Layers(lower)->Bitmap(), 14, 10, g, true);
      v->Layers(lower)->SetOpacity(0.8);
    }
    const int32_t u = v->LayersAdd(c.uw, c.uh, vx24RGB, c.ux, c.uy);
    TVXLayer* U = v->Layers(u);
    RandomImage(U->Bitmap(), c.uw, c.uh, g, c.upperAlpha);
    U->SetOpacity(c.uOpacity);
    U->SetTransparency(c.uTransparency);
    U->SetCropped(c.cropped);
    TVXLayer* M = nullptr;
    if (c.mask) {
      const int32_t m = v->LayersAdd(c.uw - 3, c.uh - 2, vx8g, c.ux + 2, c.uy + 1);
      M = v->Layers(m);
      M->SetIsMask(true);
      for (int y = 0; y < M->Bitmap()->Height(); ++y)
        for (int x = 0; x < M->Bitmap()->Width(); ++x) M->Bitmap()->SetPixels_vx8(x, y, uint8_t(g()));
    }
    TVXBitmap out;
    v->LayersMergeTo(u, lower, &out);
    if (c.expectW) {
      EXPECT_EQ(out.Width(), c.expectW);
    }
    EXPECT_EQ(out.HasAlphaChannel(), c.expectAlpha);
    TDump d;
    d.I32(c.keepOrigin);
    d.I32(c.cropped);
    d.I32(c.mask);
    const TRGB bg = VXColorToTRGB(0x203040);
    d.I32(bg.r);
    d.I32(bg.g);
    d.I32(bg.b);
    d.Layer(v->Layers(lower));
    d.Layer(U);
    if (M != nullptr) {
      d.I32(M->Bitmap()->Width());
      d.I32(M->Bitmap()->Height());
      d.I32(M->PosX());
      d.I32(M->PosY());
      d.Pixels(M->Bitmap());
    }
    d.I32(out.Width());
    d.I32(out.Height());
    d.I32(out.HasAlphaChannel());
    d.Pixels(&out);
    const std::string path = ViewTempPath("merge.bin");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(d.b.data()), std::streamsize(d.b.size()));
    EXPECT_EQ(ViewRunPython(kMergeModel, path), "0\n");
    std::remove(path.c_str());
    if (!c.upperAlpha && !c.lowerAlpha && c.uOpacity == 1.0 && !c.cropped && c.ux >= 0) {
      // The upper colours where the layers overlap.
      for (int y = 0; y < c.uh; ++y)
        for (int x = 0; x < c.uw; ++x) ASSERT_EQ(out.Pixels(c.ux + x, c.uy + y), U->Bitmap()->Pixels(x, y));
    }
    delete v;
  }
}

TEST_F(ViewLayerTools, MergingLayersReplacesThemAndChecksTheListFirst) {
  TVexlaneView* v = NewView(160, 120);
  std::mt19937 g(7);
  RandomImage(v->VXBitmap(), 20, 15, g, false);
  v->Update();
  for (int i = 0; i < 3; ++i) {
    const int32_t n = v->LayersAdd(6, 5, vx24RGB, 2 + 3 * i, 1 + 2 * i);
    RandomImage(v->Layers(n)->Bitmap(), 6, 5, g, i == 1);
    v->Layers(n)->SetOpacity(0.4 + 0.2 * i);
  }
  // Bad lists raise before any layer goes.
  for (const std::vector<int32_t>& bad : {std::vector<int32_t>{0, 4}, {1, 2, 1}, {-1, 2}}) {
    EXPECT_THROW(v->LayersMerge(bad), EVXException);
    EXPECT_EQ(v->LayersCount(), 4);
  }
  v->LayersMerge(std::vector<int32_t>{2});  // one entry: nothing
  EXPECT_EQ(v->LayersCount(), 4);
  // Two layers merged in place of the lower one are what LayersMergeTo gives.
  TVXBitmap expect;
  v->LayersMergeTo(1, 2, &expect);
  v->LayersMerge(1, 2, true);
  ASSERT_EQ(v->LayersCount(), 3);
  EXPECT_EQ(v->LayersCurrent(), 1);
  TVXLayer* m = v->Layers(1);
  EXPECT_EQ(m->PosX(), 2);
  EXPECT_EQ(m->PosY(), 1);
  ASSERT_EQ(m->Bitmap()->Width(), expect.Width());
  ASSERT_EQ(m->Bitmap()->Height(), expect.Height());
  for (int y = 0; y < expect.Height(); ++y)
    for (int x = 0; x < expect.Width(); ++x) ASSERT_EQ(m->Bitmap()->Pixels(x, y), expect.Pixels(x, y));
  EXPECT_EQ(v->VXBitmap(), m->Bitmap());
  // All layers into one at layer 0.
  v->LayersMerge(std::vector<int32_t>{});
  EXPECT_EQ(v->LayersCount(), 1);
  EXPECT_EQ(v->LayersCurrent(), 0);
  EXPECT_EQ(v->VXBitmap()->Width(), 20);
}

TEST_F(ViewLayerTools, DrawToGrowsForLayersLeftOfLayerZero) {
  TVexlaneView* v = NewView(160, 120);
  std::mt19937 g(11);
  RandomImage(v->VXBitmap(), 30, 20, g, false);
  v->SetZoom(250);
  v->Update();
  const double zoom = v->Zoom();
  const int32_t vx = v->ViewX();
  const int32_t n = v->LayersAdd(10, 5, vx24RGB, -20, 0);
  v->Layers(n)->Bitmap()->Fill(double(0x00FF00));
  TVXBitmap out;
  v->LayersDrawTo(&out);
  ASSERT_EQ(out.Width(), 50);
  ASSERT_EQ(out.Height(), 20);
  TVXBitmap* b0 = v->Layers(0)->Bitmap();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(out.Pixels(20 + x, y), b0->Pixels(x, y)) << x << "," << y;
  const TRGB green = v->Layers(n)->Bitmap()->Pixels(0, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(out.Pixels(x, y), green);
  EXPECT_EQ(v->Zoom(), zoom);
  EXPECT_EQ(v->ViewX(), vx);
  // A cropped layer adds nothing.
  v->Layers(n)->SetCropped(true);
  v->LayersDrawTo(&out);
  EXPECT_EQ(out.Width(), 30);
  // Merging all: one layer holding the drawing.
  v->Layers(n)->SetCropped(false);
  v->LayersMergeAll();
  EXPECT_EQ(v->LayersCount(), 1);
  EXPECT_EQ(v->VXBitmap()->Width(), 50);
  EXPECT_EQ(v->VXBitmap()->Pixels(0, 0), green);
}

TEST_F(ViewLayerTools, GripsAreFoundByRectangleAndByDistance) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 100, 80);
  const int32_t n = v->LayersAdd(40, 40, vx24RGB, 10, 10);
  VXHeadless::RunUntilIdle();
  TVXLayer* L = v->Layers(n);
  L->SetClientAreaBox(TRect{50, 10, 90, 50});
  TRect g[9];
  v->CalcLayerGripCoords(n, g);
  EXPECT_EQ(g[0], (TRect{45, 5, 55, 15}));
  EXPECT_EQ(g[5], (TRect{85, 25, 95, 35}));
  EXPECT_EQ(g[7], (TRect{65, 45, 75, 55}));
  const TPoint rc{(g[8].Left + g[8].Right) / 2, (g[8].Top + g[8].Bottom) / 2};
  struct Case {
    int x, y;
    TVXMouseInteract mi;
    TVXGrip expect;
  } cases[] = {
      {50, 10, 0, vxTopLeft},
      {55, 15, 0, vxTopLeft},  // edges inclusive
      {56, 10, 0, vxNone},
      {90, 30, 0, vxRightSide},
      {rc.X, rc.Y, 0, vxNone},
      {rc.X, rc.Y, TVXMouseInteract(1u << miRotateLayers), vxRotationCenter},
  };
  for (const Case& c : cases) {
    v->SetMouseInteract(c.mi);
    EXPECT_EQ(v->FindLayerGrip(c.x, c.y), c.expect) << c.x << "," << c.y;
  }
  // (50, 20) lies 10 from the top-left and the left-side grip: the first wins.
  double d = 0;
  EXPECT_EQ(v->FindLayerGripDist(50, 20, d), vxTopLeft);
  EXPECT_DOUBLE_EQ(d, 10.0);
  EXPECT_EQ(v->FindLayerGripDist(91, 52, d), vxBottomRight);
  EXPECT_DOUBLE_EQ(d, std::hypot(1.0, 2.0));
}

TEST_F(ViewLayerTools, BoxOuterAndGripsDrawing) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 100, 80);
  const int32_t n = v->LayersAdd(40, 30, vx24RGB, 10, 10);
  TVXLayer* L = v->Layers(n);
  TVXBitmap b;
  b.SetLocation(vxTBitmap);
  b.Allocate(80, 60, vx24RGB);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) b.SetPixels(x, y, TRGB{uint8_t(3 * x), uint8_t(4 * y), 200});
  std::vector<TRGB> before;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) before.push_back(b.Pixels(x, y));
  L->SetClientAreaBox(TRect{10, 8, 50, 40});
  // The default box: dotted and inverting, gone when drawn twice.
  v->DrawLayerBox(&b, n);
  int changed = 0, onEdge = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const TRGB o = before[size_t(y) * 80 + x], p = b.Pixels(x, y);
      if (o == p) continue;
      ++changed;
      EXPECT_EQ(p, (TRGB{uint8_t(255 - o.b), uint8_t(255 - o.g), uint8_t(255 - o.r)}));
      if (x == 10 || x == 49 || y == 8 || y == 39) ++onEdge;
    }
  EXPECT_GT(changed, 20);
  EXPECT_EQ(onEdge, changed);
  EXPECT_LT(changed, 2 * (40 + 32));  // dotted: not every outline pixel
  v->DrawLayerBox(&b, n);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) ASSERT_EQ(b.Pixels(x, y), before[size_t(y) * 80 + x]);
  // The outer area: every other pixel outside the box dimmed to grey 97.
  v->DrawLayerOuter(&b, n);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const bool outside = x < 10 || x > 50 || y < 8 || y > 40;
      const TRGB expect = outside && (x + y) % 2 == 0 ? TRGB{97, 97, 97} : before[size_t(y) * 80 + x];
      ASSERT_EQ(b.Pixels(x, y), expect) << x << "," << y;
    }
  // Painting: the current layer shows grips with miResizeLayers unless
  // locked.
  v->SetMouseInteract(TVXMouseInteract(1u << miResizeLayers));
  for (bool locked : {false, true}) {
    L->SetLocked(locked);
    v->UpdateRect(TRect{0, 0, 200, 150});
    VXHeadless::RunUntilIdle();
    TRect g[9];
    v->CalcLayerGripCoords(n, g);
    const TRGB c = v->BackBufferBitmap()->Pixels((g[2].Left + g[2].Right) / 2, (g[2].Top + g[2].Bottom) / 2);
    EXPECT_EQ(c == (TRGB{186, 255, 255}), !locked);
  }
}

TEST_F(ViewLayerTools, FixesBakeSizeAndRotation) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 120, 90);
  // Rotation: a 100 x 50 layer turned by 90 degrees about its centre.
  const int32_t r = v->LayersAdd(100, 50, vx24RGB, 0, 0);
  TVXLayer* R = v->Layers(r);
  R->Bitmap()->Fill(double(0x0000FF));
  R->SetRotate(90);
  v->LayersFixRotations(r);
  EXPECT_EQ(R->Rotate(), 0);
  EXPECT_EQ(R->Bitmap()->Width(), 50);
  EXPECT_EQ(R->Bitmap()->Height(), 100);
  EXPECT_EQ(R->PosX(), 25);
  EXPECT_EQ(R->PosY(), -25);
  // Display size: resampled to it, then cleared.
  const int32_t s = v->LayersAdd(10, 8, vx24RGB, 3, 4);
  TVXLayer* S = v->Layers(s);
  S->SetWidth(20);
  S->SetHeight(16);
  v->LayersFixSizes(-1);
  EXPECT_EQ(S->Bitmap()->Width(), 20);
  EXPECT_EQ(S->Bitmap()->Height(), 16);
  EXPECT_EQ(S->ResizedWidth(), 0);
  EXPECT_EQ(S->ResizedHeight(), 0);
  EXPECT_EQ(R->Bitmap()->Width(), 50);  // no display size: untouched
}

TEST_F(ViewLayerTools, MakingLayers) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 40, 30);
  // A file that does not load leaves no layer.
  EXPECT_EQ(v->LayersCreateFromFile(ViewTempPath("missing.png")), -1);
  EXPECT_EQ(v->LayersCount(), 1);
  EXPECT_EQ(v->LayersCurrent(), 0);
  // The alpha channel as an 8-bit grey layer.
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) v->VXBitmap()->AlphaChannel()->SetPixels_vx8(x, y, uint8_t(x * 6 + y));
  const int32_t a = v->LayersCreateFromAlpha();
  EXPECT_EQ(a, 1);
  TVXBitmap* ab = v->Layers(a)->Bitmap();
  ASSERT_EQ(ab->PixelFormat(), vx8g);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(ab->Pixels_vx8(x, y), uint8_t(x * 6 + y));
  // The selection copied at its place.
  v->SetLayersCurrent(0);
  v->SetSelectionBase(vxsbBitmap);
  v->Select(5, 6, 15, 12);
  const int32_t s = v->LayersCreateFromSelection();
  EXPECT_EQ(v->LayersCurrent(), s);
  TVXLayer* S = v->Layers(s);
  EXPECT_EQ(S->PosX(), 5);
  EXPECT_EQ(S->PosY(), 6);
  ASSERT_EQ(S->Bitmap()->Width(), 10);
  ASSERT_EQ(S->Bitmap()->Height(), 6);
  EXPECT_EQ(S->Bitmap()->Pixels(2, 3), v->Layers(0)->Bitmap()->Pixels(7, 9));
  // The current image (layer 0, grey) as another layer's alpha channel, cut
  // to that layer's size.
  v->SetLayersCurrent(0);
  v->LayersCopyToAlpha(s);
  TVXBitmap* sa = S->Bitmap()->AlphaChannelOpt();
  ASSERT_NE(sa, nullptr);
  EXPECT_EQ(sa->Width(), 10);
  TVXBitmap grey(v->Layers(0)->Bitmap());
  grey.RemoveAlphaChannel(false, 0);
  grey.SetPixelFormat(vx8g);
  EXPECT_EQ(sa->Pixels_vx8(3, 2), grey.Pixels_vx8(3, 2));
}

TEST_F(ViewLayerTools, TextLayersAreCutToTheText) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 40, 30);
  for (int32_t angle : {0}) {
    SCOPED_TRACE(angle);
    const int32_t n = v->LayersCreateFromText("Ab", "DejaVu Sans", 20, TColor(0x0000FF), TFontStyles{}, false, 0, 0,
                                              angle, true);
    EXPECT_EQ(n, v->LayersCount() - 1);
    TVXBitmap* b = v->Layers(n)->Bitmap();
    ASSERT_GT(b->Width(), 5);
    ASSERT_GT(b->Height(), 5);
    TVXBitmap* a = b->AlphaChannelOpt();
    ASSERT_NE(a, nullptr);
    // Transparent around the letters, and no border row or column left
    // that is transparent all along.
    int clear = 0;
    std::vector<int> rows(size_t(b->Height()), 0), cols(size_t(b->Width()), 0);
    for (int y = 0; y < b->Height(); ++y)
      for (int x = 0; x < b->Width(); ++x) {
        const int al = a->Pixels_vx8(x, y);
        clear += al == 0;
        rows[size_t(y)] += al != 0;
        cols[size_t(x)] += al != 0;
      }
    EXPECT_GT(clear, 0);
    EXPECT_GT(rows.front(), 0);
    EXPECT_GT(rows.back(), 0);
    EXPECT_GT(cols.front(), 0);
    EXPECT_GT(cols.back(), 0);
    EXPECT_GT(b->Width(), b->Height());
    // Every pixel has the text's colour; the letters' shapes are in alpha.
    for (int y = 0; y < b->Height(); ++y)
      for (int x = 0; x < b->Width(); ++x) ASSERT_EQ(b->Pixels(x, y), (TRGB{0, 0, 255}));  // red
  }
}
