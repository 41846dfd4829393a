// Touch gestures of the viewer: the option classes, the gesture
// configuration, zoom, pan, layer move and layer rotation with their limits
// and snapping, the program's own handler, and a platform without the
// gesture entries.
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/sysutils.h"
#include "tests/proc/numpy_oracle.h"
#include "tests/view/view_fixture.h"
#include "winui/win_gesture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The gesture argument of a rotation by Degrees.
uint64_t RotateArg(double Degrees) {
  return uint64_t(std::llrint((Degrees * kPi / 180 + 2 * kPi) / (4 * kPi) * 65535));
}

class ViewGestures : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    VXFreeGestureAPI();
    VXHeadless::RestoreModules();
    VXLoadGestureAPI();
    ASSERT_TRUE(VXGesturesAvailable());
    V = NewView(120, 120);
    SetImage(V, 400, 300);
    SetClientSize(V, 100, 100);
    V->LayersAdd(40, 30, vx24RGB, 0, 0);
    V->Update();
    Layer = V->CurrentLayer();
  }
  void TearDown() override {
    VXFreeGestureAPI();
    VXHeadless::RestoreModules();
    VXLoadGestureAPI();
    ViewTest::TearDown();
  }
  void Send(uint32_t ID, uint32_t Flags, int X, int Y, uint64_t Arg) {
    VXHeadless::Gesture(V->Handle(), ID, Flags, X, Y, Arg);
    VXHeadless::RunUntilIdle();
  }
  TVexlaneView* V = nullptr;
  TVXLayer* Layer = nullptr;
};

TEST_F(ViewGestures, OptionDefaultsAndPanExcludesLayerMove) {
  TVXViewerGestures g;
  EXPECT_FALSE(g.Enabled());
  EXPECT_TRUE(g.Pan()->Inertia());
  EXPECT_FALSE(g.Pan()->SnapValues());
  EXPECT_EQ(g.Pan()->BoundingBox(), (TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
  EXPECT_TRUE(g.Zoom()->Inertia());
  EXPECT_EQ(g.Zoom()->Min(), 1.0);
  EXPECT_EQ(g.Zoom()->Max(), 8000.0);
  EXPECT_EQ(g.Zoom()->SnapDelta(), 5.0);
  EXPECT_FALSE(g.LayerRotate()->Inertia());
  EXPECT_EQ(g.LayerRotate()->Min(), -1.7976931348623157E308);
  EXPECT_TRUE(g.LayerMove()->SnapValues());
  g.Pan()->SetEnabled(true);
  g.Zoom()->SetEnabled(true);
  g.LayerMove()->SetEnabled(true);
  EXPECT_FALSE(g.Pan()->Enabled());
  EXPECT_TRUE(g.LayerMove()->Enabled());
  EXPECT_TRUE(g.Zoom()->Enabled());
  g.Pan()->SetEnabled(true);
  EXPECT_FALSE(g.LayerMove()->Enabled());
  EXPECT_TRUE(g.Enabled());
  g.Pan()->SetEnabled(false);
  g.Zoom()->SetEnabled(false);
  EXPECT_FALSE(g.Enabled());
}

TEST_F(ViewGestures, TheNotificationConfiguresTheEnabledGesturesInOrder) {
  struct Case {
    bool Pan, Zoom, Rotate, Move;
    std::vector<DWORD> Ids;
  };
  const Case cases[] = {{true, true, true, false, {GID_PAN, GID_ZOOM, GID_ROTATE}},
                        {false, false, true, true, {GID_PAN, GID_ROTATE}},
                        {false, true, false, false, {GID_ZOOM}}};
  for (const Case& c : cases) {
    TVXViewerGestures* g = V->Gestures();
    g->Pan()->SetEnabled(c.Pan);
    g->Zoom()->SetEnabled(c.Zoom);
    g->LayerRotate()->SetEnabled(c.Rotate);
    g->LayerMove()->SetEnabled(c.Move);
    Send(GID_ZOOM, GF_BEGIN, 50, 50, 100);
    GESTURECONFIG cfg[8];
    const int n = VXGestureConfig(V->Handle(), cfg, 8);
    ASSERT_EQ(n, int(c.Ids.size()));
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(cfg[i].dwID, c.Ids[size_t(i)]);
      EXPECT_EQ(cfg[i].dwWant, cfg[i].dwID == GID_PAN ? 23u : 1u);
      EXPECT_EQ(cfg[i].dwBlock, cfg[i].dwID == GID_PAN ? 8u : 0u);
    }
    EXPECT_TRUE(VXTouchUnregistered(V->Handle()));
  }
  EXPECT_EQ(VXOpenGestureHandles(), 0);
}

TEST_F(ViewGestures, WithEverythingDisabledTheMessageGoesOnUntouched) {
  int events = 0;
  V->OnVexlaneGesture = [&](void*, TVXGestureFlags, TVXGestureID, TSmallPoint, int32_t, int32_t, int32_t, int32_t,
                            bool&) { ++events; };
  Send(GID_ZOOM, GF_BEGIN, 50, 50, 100);
  Send(GID_ZOOM, 0, 50, 50, 200);
  Send(GID_PAN, GF_BEGIN, 50, 50, 0);
  Send(GID_PAN, 0, 10, 10, 0);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(V->Zoom(), 100);
  EXPECT_EQ(V->ViewX(), 0);
  GESTURECONFIG cfg[4];
  EXPECT_EQ(VXGestureConfig(V->Handle(), cfg, 4), 0);
  EXPECT_FALSE(VXTouchUnregistered(V->Handle()));
  EXPECT_EQ(VXOpenGestureHandles(), 0) << "the default handling closed them";
}

TEST_F(ViewGestures, APinchZoomsWithinItsLimitsAndSnapsTo100) {
  struct Case {
    double Min, Max, Multiplier;
    uint64_t Arg;
    double Zoom;
  };
  const Case cases[] = {
      {1, 8000, 1, 200, 200},  {1, 8000, 1, 104, 100},  {1, 8000, 1, 106, 106},  {1, 8000, 1, 96, 100},
      {1, 150, 1, 300, 150},   {50, 8000, 1, 10, 50},   {1, 8000, 2, 150, 300},  {1, 8000, 0.5, 400, 200},
  };
  V->Gestures()->Zoom()->SetEnabled(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "arg " << c.Arg << " min " << c.Min << " max " << c.Max);
    V->SetZoom(100);
    V->Gestures()->Zoom()->SetMin(c.Min);
    V->Gestures()->Zoom()->SetMax(c.Max);
    V->Gestures()->Zoom()->SetMultiplier(c.Multiplier);
    Send(GID_ZOOM, GF_BEGIN, 50, 50, 100);
    Send(GID_ZOOM, 0, 50, 50, c.Arg);
    EXPECT_DOUBLE_EQ(V->Zoom(), c.Zoom);
  }
  // Inertia follows the option.
  V->Gestures()->Zoom()->SetMin(1);
  V->Gestures()->Zoom()->SetMax(8000);
  V->Gestures()->Zoom()->SetMultiplier(1);
  V->SetZoom(100);
  V->Gestures()->Zoom()->SetInertia(false);
  Send(GID_ZOOM, GF_BEGIN, 50, 50, 100);
  Send(GID_ZOOM, GF_INERTIA, 50, 50, 300);
  EXPECT_EQ(V->Zoom(), 100);
  V->Gestures()->Zoom()->SetInertia(true);
  Send(GID_ZOOM, GF_INERTIA, 50, 50, 300);
  EXPECT_EQ(V->Zoom(), 300);
  EXPECT_EQ(VXOpenGestureHandles(), 0);
}

TEST_F(ViewGestures, ARotationTurnsTheLayerAndSnapsToMultiplesOf45) {
  struct Case {
    double Base, Degrees, Want, Tolerance;
  };
  const Case cases[] = {{0, 43, 45, 0},   {0, 30, 30, 0.01},   {0, -43, -45, 0},  {0, -30, -30, 0.01},
                        {0, 2, 0, 0},     {90, 88, 180, 0},    {0, 178, 180, 0},  {300, 100, 45, 0},
                        {0, -178, -180, 0}};
  V->Gestures()->LayerRotate()->SetEnabled(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "base " << c.Base << " by " << c.Degrees);
    Layer->SetRotate(c.Base);
    Send(GID_ROTATE, GF_BEGIN, 50, 50, RotateArg(0));
    Send(GID_ROTATE, 0, 50, 50, RotateArg(c.Degrees));
    EXPECT_NEAR(Layer->Rotate(), c.Want, c.Tolerance);
  }
  // Limits hold, and without snapping the angle stays as given.
  V->Gestures()->LayerRotate()->SetMax(20);
  Layer->SetRotate(0);
  Send(GID_ROTATE, GF_BEGIN, 50, 50, RotateArg(0));
  Send(GID_ROTATE, 0, 50, 50, RotateArg(60));
  EXPECT_EQ(Layer->Rotate(), 20);
  V->Gestures()->LayerRotate()->SetMax(1e300);
  V->Gestures()->LayerRotate()->SetSnapValues(false);
  Send(GID_ROTATE, 0, 50, 50, RotateArg(43));
  EXPECT_NEAR(Layer->Rotate(), 43, 0.01);
  EXPECT_NE(Layer->Rotate(), 45);
  // Inertia records are ignored while the option's Inertia is off.
  Send(GID_ROTATE, GF_INERTIA, 50, 50, RotateArg(90));
  EXPECT_NEAR(Layer->Rotate(), 43, 0.01);
}

TEST_F(ViewGestures, APanScrollsTheViewOrMovesTheLayer) {
  V->Gestures()->Pan()->SetEnabled(true);
  V->SetViewXY(30, 20);
  Send(GID_PAN, GF_BEGIN, 50, 50, 0);
  Send(GID_PAN, 0, 40, 45, 0);
  EXPECT_EQ(V->ViewX(), 40);
  EXPECT_EQ(V->ViewY(), 25);
  // Limited to the box, then multiplied and truncated.
  V->Gestures()->Pan()->SetBoundingBox(TRect{0, 0, 50, 100});
  V->Gestures()->Pan()->SetMultiplier(1.5);
  Send(GID_PAN, 0, 15, 47, 0);  // 65 -> 50 -> 75; 23 -> 34.5 -> 34
  EXPECT_EQ(V->ViewX(), 75);
  EXPECT_EQ(V->ViewY(), 34);
  // Inertia is on by default for panning; off, inertia records are ignored.
  V->Gestures()->Pan()->SetInertia(false);
  Send(GID_PAN, GF_INERTIA, 45, 45, 0);
  EXPECT_EQ(V->ViewX(), 75);
  V->Gestures()->Pan()->SetInertia(true);
  Send(GID_PAN, GF_INERTIA | GF_END, 45, 45, 0);
  EXPECT_EQ(V->ViewX(), 52);

  // Layer move: the layer moves by the finger's way over the zoom.
  V->Gestures()->LayerMove()->SetEnabled(true);
  ASSERT_FALSE(V->Gestures()->Pan()->Enabled());
  V->SetZoom(200);
  const int32_t vx = V->ViewX(), vy = V->ViewY();
  Layer->SetPosX(30);
  Layer->SetPosY(40);
  Send(GID_PAN, GF_BEGIN, 50, 50, 0);
  Send(GID_PAN, 0, 71, 30, 0);  // 30 + trunc(10.5) = 40; 40 - 10 = 30
  EXPECT_EQ(Layer->PosX(), 40);
  EXPECT_EQ(Layer->PosY(), 30);
  EXPECT_EQ(V->ViewX(), vx);
  EXPECT_EQ(V->ViewY(), vy);
  Send(GID_PAN, 0, 10, 0, 0);  // 30 - 20 = 10; 40 - 25 = 15
  EXPECT_EQ(Layer->PosX(), 10);
  EXPECT_EQ(Layer->PosY(), 15);
  Send(GID_PAN, 0, 0, 10, 0);  // 30 - 25 = 5 snaps to 0; 40 - 20 = 20
  EXPECT_EQ(Layer->PosX(), 0);
  EXPECT_EQ(Layer->PosY(), 20);
  // Layer moves take no inertia by default.
  Send(GID_PAN, GF_INERTIA, 50, 50, 0);
  EXPECT_EQ(Layer->PosX(), 0);
  EXPECT_EQ(VXOpenGestureHandles(), 0);
}

TEST_F(ViewGestures, TheProgramsHandlerSeesTheRecordAndMayTakeItOver) {
  V->Gestures()->Zoom()->SetEnabled(true);
  struct Seen {
    TVXGestureFlags Flags;
    TVXGestureID ID;
    TSmallPoint Location;
    int32_t Value, InertiaX, InertiaY, Distance;
  };
  std::vector<Seen> seen;
  bool take = true;
  V->OnVexlaneGesture = [&](void* Sender, TVXGestureFlags Flags, TVXGestureID ID, TSmallPoint Location,
                            int32_t Value, int32_t InertiaX, int32_t InertiaY, int32_t Distance, bool& Handled) {
    EXPECT_EQ(Sender, static_cast<void*>(static_cast<TVXView*>(V)));
    seen.push_back(Seen{Flags, ID, Location, Value, InertiaX, InertiaY, Distance});
    Handled = take;
  };
  POINT origin{0, 0};
  ClientToScreen(V->Handle(), &origin);
  Send(GID_ZOOM, GF_BEGIN, 30, 40, 100);
  Send(GID_ZOOM, GF_INERTIA | GF_END, 31, 41, (uint64_t(0x0003FFFE) << 32) | 200);
  EXPECT_EQ(V->Zoom(), 100) << "taken over";
  EXPECT_EQ(VXOpenGestureHandles(), 0) << "the handle is closed";
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].Flags, VXGestureFlag(vxgfBegin));
  EXPECT_EQ(seen[0].ID, vxgiZoom);
  EXPECT_EQ(seen[0].Location.x, origin.x + 30);
  EXPECT_EQ(seen[0].Location.y, origin.y + 40);
  EXPECT_EQ(seen[0].Value, 100);
  EXPECT_EQ(seen[1].Flags, VXGestureFlag(vxgfInertia) | VXGestureFlag(vxgfEnd));
  EXPECT_EQ(seen[1].Value, 200);
  EXPECT_EQ(seen[1].InertiaX, 0xFFFE);
  EXPECT_EQ(seen[1].InertiaY, 3);
  EXPECT_EQ(seen[1].Distance, 0x0003FFFE);
  // Not taken: the viewer reacts (the taken beginning set no start).
  take = false;
  Send(GID_ZOOM, 0, 30, 40, 150);
  EXPECT_EQ(V->Zoom(), 100);
  Send(GID_ZOOM, GF_BEGIN, 30, 40, 100);
  Send(GID_ZOOM, 0, 30, 40, 150);
  EXPECT_EQ(V->Zoom(), 150);
  Send(GID_TWOFINGERTAP, 0, 30, 40, 7);
  EXPECT_EQ(seen.back().ID, vxgiTwoFingerTap);
  EXPECT_EQ(VXOpenGestureHandles(), 0);
}

TEST_F(ViewGestures, WithoutTheGestureEntriesTheViewerNeverConfiguresOrHandles) {
  VXFreeGestureAPI();
  VXHeadless::RemoveModuleEntry("User32.dll", "GetGestureInfo");
  VXLoadGestureAPI();
  ASSERT_FALSE(VXGesturesAvailable());
  V->Gestures()->Zoom()->SetEnabled(true);
  V->Gestures()->Pan()->SetEnabled(true);
  int events = 0;
  V->OnVexlaneGesture = [&](void*, TVXGestureFlags, TVXGestureID, TSmallPoint, int32_t, int32_t, int32_t, int32_t,
                            bool& Handled) {
    ++events;
    Handled = true;
  };
  Send(GID_ZOOM, GF_BEGIN, 50, 50, 100);
  Send(GID_ZOOM, 0, 50, 50, 200);
  Send(GID_PAN, GF_BEGIN, 50, 50, 0);
  Send(GID_PAN, 0, 10, 10, 0);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(V->Zoom(), 100);
  EXPECT_EQ(V->ViewX(), 0);
  GESTURECONFIG cfg[4];
  EXPECT_EQ(VXGestureConfig(V->Handle(), cfg, 4), 0);
  EXPECT_FALSE(VXTouchUnregistered(V->Handle()));
  EXPECT_EQ(VXOpenGestureHandles(), 0);
}

// Seeded gesture scripts against a model of the gesture rules in Python.
TEST_F(ViewGestures, SeededScriptsEqualTheModel) {
  if (!numpy_oracle::Available()) GTEST_SKIP() << "/usr/bin/python3 with numpy is missing";
  std::mt19937 rng(107);
  auto uni = [&](double lo, double hi) { return lo + (hi - lo) * (rng() % 100001) / 100000.0; };
  std::ostringstream script;
  script.precision(17);
  std::vector<double> got;
  TVXViewerGestures* g = V->Gestures();
  for (int s = 0; s < 48; ++s) {
    const int kind = s % 4;  // 0 zoom, 1 pan, 2 layer move, 3 rotate
    g->Pan()->SetEnabled(false);
    g->Zoom()->SetEnabled(false);
    g->LayerMove()->SetEnabled(false);
    g->LayerRotate()->SetEnabled(false);
    TVXGestureOptions* o = kind == 0 ? static_cast<TVXGestureOptions*>(g->Zoom())
                           : kind == 1 ? static_cast<TVXGestureOptions*>(g->Pan())
                           : kind == 2 ? static_cast<TVXGestureOptions*>(g->LayerMove())
                                       : static_cast<TVXGestureOptions*>(g->LayerRotate());
    o->SetEnabled(true);
    o->SetInertia(rng() % 2 != 0);
    o->SetSnapValues(rng() % 2 != 0);
    o->SetSnapDelta(uni(0, 30));
    o->SetMultiplier(rng() % 3 == 0 ? 1.0 : uni(0.25, 2.5));
    double lo = 0, hi = 0;
    TRect box{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    if (kind == 0) {
      lo = uni(5, 90);
      hi = uni(110, 900);
      g->Zoom()->SetMin(lo);
      g->Zoom()->SetMax(hi);
      if (o->Multiplier() * lo < 1) o->SetMultiplier(1);
    } else if (kind == 3) {
      lo = rng() % 2 ? -1.7976931348623157E308 : uni(-400, -10);
      hi = rng() % 2 ? 1.7976931348623157E308 : uni(10, 400);
      g->LayerRotate()->SetMin(lo);
      g->LayerRotate()->SetMax(hi);
    } else {
      if (rng() % 2) box = TRect{int32_t(rng() % 60) - 30, int32_t(rng() % 60) - 30, 40 + int32_t(rng() % 200),
                                  40 + int32_t(rng() % 200)};
      (kind == 1 ? static_cast<TVXGestureBoxOptions*>(g->Pan()) : g->LayerMove())->SetBoundingBox(box);
    }
    const double zoom = kind == 2 ? uni(30, 400) : 100 + rng() % 3 * 50;
    V->SetZoom(zoom);
    V->SetViewXY(int32_t(rng() % 80), int32_t(rng() % 80));
    Layer->SetPosX(int32_t(rng() % 100) - 50);
    Layer->SetPosY(int32_t(rng() % 100) - 50);
    Layer->SetRotate(double(int32_t(rng() % 720) - 360));
    int32_t mx, my;
    V->GetMaxViewXY(mx, my);
    script << "G " << kind << ' ' << int(o->Inertia()) << ' ' << int(o->SnapValues()) << ' ' << o->SnapDelta() << ' '
           << o->Multiplier() << ' ' << lo << ' ' << hi << ' ' << box.Left << ' ' << box.Top << ' ' << box.Right
           << ' ' << box.Bottom << ' ' << V->Zoom() << ' ' << V->ViewX() << ' ' << V->ViewY() << ' ' << mx << ' '
           << my << ' ' << Layer->PosX() << ' ' << Layer->PosY() << ' ' << Layer->Rotate() << '\n';
    const DWORD id = kind == 0 ? GID_ZOOM : kind == 3 ? GID_ROTATE : GID_PAN;
    const int steps = 3 + int(rng() % 5);
    for (int i = 0; i <= steps + 2; ++i) {
      DWORD flags = i == 0 ? GF_BEGIN : i > steps ? GF_INERTIA : 0;
      if (i == steps + 2) flags |= GF_END;
      const int x = int(rng() % 100), y = int(rng() % 100);
      const uint32_t arg = kind == 0 ? 20 + rng() % 300 : kind == 3 ? rng() % 65536 : 0;
      script << "S " << flags << ' ' << x << ' ' << y << ' ' << arg << '\n';
      Send(id, flags, x, y, arg);
      for (double v : {V->Zoom(), double(V->ViewX()), double(V->ViewY()), double(Layer->PosX()),
                       double(Layer->PosY()), Layer->Rotate()})
        got.push_back(v);
    }
  }
  const std::string snippet = R"(
import math
out = []
def lim(v, lo, hi): return min(hi, max(lo, v))
for line in open(d + '/a0').read().split('\n'):
    if not line: continue
    f = line.split()
    if f[0] == 'G':
        kind, inertia, snap = int(f[1]), f[2] == '1', f[3] == '1'
        delta, mult, lo, hi = map(float, f[4:8])
        bl, bt, br, bb = map(int, f[8:12])
        zoom = float(f[12]); vx, vy, mx, my, px, py = map(int, f[13:19]); rot = float(f[19])
        continue
    flags, gx, gy, arg = map(int, f[1:])
    begin, inr = flags & 1, flags & 2
    if begin:
        start, bzoom, sx, sy, bvx, bvy, bpx, bpy, brot = arg, zoom, gx, gy, vx, vy, px, py, rot
    elif not inr or inertia:
        if kind == 0:
            z = arg / start * bzoom
            z = lim(z, lo, hi) * mult
            if snap and abs(z - 100) <= delta: z = 100
            zoom = z
        elif kind == 1:
            vx = min(max(int(lim(sx + bvx - gx, bl, br) * mult), 0), mx)
            vy = min(max(int(lim(sy + bvy - gy, bt, bb) * mult), 0), my)
        elif kind == 2:
            x = lim(bpx - int((sx - gx) / (zoom / 100)), bl, br) * mult
            y = lim(bpy - int((sy - gy) / (zoom / 100)), bt, bb) * mult
            if snap:
                if abs(x) <= delta: x = 0
                if abs(y) <= delta: y = 0
            px, py = int(x), int(y)
        else:
            a = (arg / 65535 * 4 * math.pi - 2 * math.pi) * 180 / math.pi + brot
            a = lim(a, lo, hi) * mult
            if snap:
                neg = a < 0
                def red(v):
                    r = math.fmod(v, 360.0)
                    return -360.0 if neg and r == 0 and v != 0 else r
                r = red(a)
                for k in range(9):
                    s = -k * 45.0 if neg else k * 45.0
                    if abs(s - r) <= delta:
                        a = s
                        r = red(a)
            rot = 0.0 if a == math.trunc(a) and math.fmod(a, 360.0) == 0 else a
    # A zoom moves the origin by rules of its own: not modelled here.
    out += [zoom, vx if kind else math.nan, vy if kind else math.nan, px, py, rot]
save(np.array(out, dtype='<f8'))
)";
  const std::string res = numpy_oracle::Run(snippet, {script.str()});
  std::vector<double> model(res.size() / 8);
  std::memcpy(model.data(), res.data(), model.size() * 8);
  ASSERT_EQ(model.size(), got.size());
  for (size_t i = 0; i < got.size(); ++i)
    if (!std::isnan(model[i])) {
      ASSERT_EQ(got[i], model[i]) << "record " << i / 6 << " value " << i % 6;
    }
}

}  // namespace
