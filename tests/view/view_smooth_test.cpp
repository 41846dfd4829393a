// The viewer's glides (origin and zoom on a 30 ms timer), the highlighted
// pixel, interaction hints, moving content between viewers and frame
// posting.
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/proc/numpy_oracle.h"
#include "tests/view/view_fixture.h"
#include "winui/win_input.h"

namespace {

void FillRGB(TVXBitmap* b, TRGB c) {
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) b->SetPixels(x, y, c);
}

class ViewSmooth : public ViewTest {
 protected:
  // A viewer with a 400 x 300 image in a 100 x 100 client area, so that the
  // origin can move 300 x 200.
  TVexlaneView* ScrollView() {
    TVexlaneView* v = NewView(120, 120);
    SetImage(v, 400, 300);
    SetClientSize(v, 100, 100);
    v->OnFinishSmoothTask = [this](void*, TVXSmoothTask t) { Finished.push_back(t); };
    return v;
  }
  // The origin after each 30 ms tick until the glide ends (at most Limit).
  static std::vector<TPoint> Ticks(TVexlaneView* v, int Limit = 200) {
    std::vector<TPoint> out;
    for (int i = 0; i < Limit && v->SmoothScrollRunning(); ++i) {
      VXHeadless::Advance(30);
      out.push_back(TPoint{v->ViewX(), v->ViewY()});
    }
    return out;
  }
  std::vector<TVXSmoothTask> Finished;
};

TEST_F(ViewSmooth, ScrollGlidesByAnEighthOfTheWayAndStopsShortOfTheTarget) {
  TVexlaneView* v = ScrollView();
  int32_t mx, my;
  v->GetMaxViewXY(mx, my);
  ASSERT_GE(mx, 80);
  v->SetViewXYSmooth(80, 0);
  // The first step runs at once.
  EXPECT_EQ(v->ViewX(), 10);
  EXPECT_TRUE(v->SmoothScrollRunning());
  std::vector<int32_t> xs{v->ViewX()};
  for (const TPoint& p : Ticks(v)) xs.push_back(p.X);
  ASSERT_GE(xs.size(), 7u);
  EXPECT_EQ(std::vector<int32_t>(xs.begin(), xs.begin() + 6), (std::vector<int32_t>{10, 19, 27, 34, 40, 45}));
  // From 76 the step gives rnd(76.5) = 76: the origin stays and the glide ends.
  EXPECT_EQ(xs.back(), 76);
  EXPECT_EQ(xs[xs.size() - 2], 76);
  EXPECT_EQ(v->ViewY(), 0);
  EXPECT_FALSE(v->SmoothScrollRunning());
  EXPECT_EQ(Finished, std::vector<TVXSmoothTask>{vxstScroll});
  // No tick after the end.
  VXHeadless::Advance(300);
  EXPECT_EQ(v->ViewX(), 76);
  EXPECT_EQ(Finished.size(), 1u);
}

TEST_F(ViewSmooth, ARunningScrollTakesANewTargetOnTheSameTimer) {
  TVexlaneView* v = ScrollView();
  v->SetViewXYSmooth(80, 0);  // 10
  VXHeadless::Advance(30);    // 19
  ASSERT_EQ(v->ViewX(), 19);
  // The new target moves no step by itself; one tick every 30 ms goes on.
  v->SetViewXYSmooth(19, 160);
  EXPECT_EQ(v->ViewX(), 19);
  EXPECT_EQ(v->ViewY(), 0);
  VXHeadless::Advance(30);
  EXPECT_EQ(v->ViewY(), 20);
  VXHeadless::Advance(30);
  EXPECT_EQ(v->ViewY(), 38);  // rnd(20 + 17.5): one step, not two
  EXPECT_EQ(v->ViewX(), 19);
  EXPECT_TRUE(Finished.empty());
}

TEST_F(ViewSmooth, ValueZeroScrollsAndZoomsAtOnce) {
  TVexlaneView* v = ScrollView();
  v->SetSmoothScrollValue(0);
  v->SetViewXYSmooth(80, 30);
  EXPECT_EQ(v->ViewX(), 80);
  EXPECT_EQ(v->ViewY(), 30);
  EXPECT_FALSE(v->SmoothScrollRunning());
  v->SetSmoothZoomValue(0);
  v->SetZoomSmooth(150);
  EXPECT_EQ(v->Zoom(), 150);
  EXPECT_FALSE(v->SmoothZoomRunning());
}

TEST_F(ViewSmooth, ZoomGlidesAndSnapsToItsTarget) {
  TVexlaneView* v = ScrollView();
  v->SetZoomSmooth(200);
  EXPECT_DOUBLE_EQ(v->Zoom(), 112.5);
  VXHeadless::Advance(30);
  EXPECT_DOUBLE_EQ(v->Zoom(), 123.4375);
  std::vector<double> zs;
  for (int i = 0; i < 200 && v->SmoothZoomRunning(); ++i) {
    VXHeadless::Advance(30);
    zs.push_back(v->Zoom());
  }
  ASSERT_GE(zs.size(), 3u);
  EXPECT_EQ(zs.back(), 200);
  // The snap comes with the first step of at most 1/8.
  EXPECT_LE((200 - zs[zs.size() - 2]) / 8, 0.125);
  EXPECT_GT((200 - zs[zs.size() - 3]) / 8, 0.125);
  EXPECT_FALSE(v->SmoothZoomRunning());
  ASSERT_FALSE(Finished.empty());
  EXPECT_EQ(Finished.back(), vxstZoom);
  EXPECT_EQ(std::count(Finished.begin(), Finished.end(), vxstZoom), 1);
}

TEST_F(ViewSmooth, AZoomTheViewerRefusesEndsTheGlide) {
  TVexlaneView* v = ScrollView();
  v->SetZoomSmooth(-50);
  for (int i = 0; i < 2000 && v->SmoothZoomRunning(); ++i) VXHeadless::Advance(30);
  EXPECT_FALSE(v->SmoothZoomRunning());
  EXPECT_GT(v->Zoom(), 0);
  EXPECT_EQ(std::count(Finished.begin(), Finished.end(), vxstZoom), 1);
}

TEST_F(ViewSmooth, ThePrimaryButtonStopsEitherGlide) {
  struct Case {
    bool Swapped;
    int Physical;  // the button pressed
    bool Stops;
  };
  for (const Case& c : {Case{false, 0, true}, Case{true, 1, true}, Case{true, 0, false}}) {
    SCOPED_TRACE(testing::Message() << "swapped " << c.Swapped << " button " << c.Physical);
    Finished.clear();
    TVexlaneView* v = ScrollView();
    SwapMouseButton(c.Swapped);
    v->SetViewXYSmooth(200, 0);
    VXHeadless::Advance(30);
    const int32_t x = v->ViewX();
    VXHeadless::MouseDown(Form->Handle(), 1000, 800, c.Physical);
    VXHeadless::Advance(30);
    EXPECT_EQ(v->SmoothScrollRunning(), !c.Stops);
    if (c.Stops) {
      // The step of that tick is taken, then the glide stops where it is.
      const int32_t stopped = v->ViewX();
      EXPECT_GT(stopped, x);
      VXHeadless::Advance(300);
      EXPECT_EQ(v->ViewX(), stopped);
      EXPECT_EQ(Finished, std::vector<TVXSmoothTask>{vxstScroll});
    }
    VXHeadless::MouseUp(Form->Handle(), 1000, 800, c.Physical);
    while (v->SmoothScrollRunning()) VXHeadless::Advance(30);

    Finished.clear();
    v->SetZoom(100);
    Finished.clear();
    v->SetZoomSmooth(300);
    VXHeadless::Advance(30);
    VXHeadless::MouseDown(Form->Handle(), 1000, 800, c.Physical);
    VXHeadless::Advance(30);
    EXPECT_EQ(v->SmoothZoomRunning(), !c.Stops);
    if (c.Stops) {
      const double z = v->Zoom();
      EXPECT_LT(z, 300);
      VXHeadless::Advance(300);
      EXPECT_EQ(v->Zoom(), z);
      EXPECT_EQ(std::count(Finished.begin(), Finished.end(), vxstZoom), 1);
    }
    VXHeadless::MouseUp(Form->Handle(), 1000, 800, c.Physical);
    while (v->SmoothZoomRunning()) VXHeadless::Advance(30);
    SwapMouseButton(false);
    delete v;
  }
}

TEST_F(ViewSmooth, AZoomChangeEndsASmoothScroll) {
  TVexlaneView* v = ScrollView();
  v->SetViewXYSmooth(200, 0);
  ASSERT_TRUE(v->SmoothScrollRunning());
  v->SetZoom(150);
  EXPECT_FALSE(v->SmoothScrollRunning());
  ASSERT_FALSE(Finished.empty());
  EXPECT_EQ(std::count(Finished.begin(), Finished.end(), vxstScroll), int(Finished.size()));
  const int32_t x = v->ViewX();
  VXHeadless::Advance(300);
  EXPECT_EQ(v->ViewX(), x);
}

TEST_F(ViewSmooth, DestroyingAViewerInAGlideLeavesNoTimer) {
  TVexlaneView* v = ScrollView();
  v->SetViewXYSmooth(200, 100);
  v->SetZoomSmooth(300);
  delete v;
  VXHeadless::Advance(300);  // no tick reaches the freed viewer
  SUCCEED();
}

// Seeded glides against a model of the steps in Python, whose round() sends
// halves to the even neighbour.
TEST_F(ViewSmooth, SeededGlidesEqualTheModelTickByTick) {
  if (!numpy_oracle::Available()) GTEST_SKIP() << "/usr/bin/python3 with numpy is missing";
  std::mt19937 rng(9205);
  TVexlaneView* v = ScrollView();
  int32_t mx, my;
  v->GetMaxViewXY(mx, my);
  std::ostringstream cases;  // scroll: "s x0 y0 dx dy div"; zoom: "z z0 target div"
  std::vector<std::vector<double>> got;
  for (int i = 0; i < 40; ++i) {
    const int32_t div = 2 + int32_t(rng() % 15);
    v->SetSmoothScrollValue(div);
    v->SetSmoothZoomValue(div);
    std::vector<double> seq;
    if (i % 2 == 0) {
      const int32_t x0 = int32_t(rng() % uint32_t(mx + 1)), y0 = int32_t(rng() % uint32_t(my + 1));
      // Targets inside and beyond the scroll range.
      const int32_t dx = int32_t(rng() % uint32_t(mx + 60)) - 30, dy = int32_t(rng() % uint32_t(my + 60)) - 30;
      v->SetZoom(100);
      v->SetViewXY(x0, y0);
      ASSERT_EQ(v->ViewX(), x0);
      cases << "s " << x0 << ' ' << y0 << ' ' << dx << ' ' << dy << ' ' << div << '\n';
      v->SetViewXYSmooth(dx, dy);
      seq.push_back(v->ViewX());
      seq.push_back(v->ViewY());
      for (const TPoint& p : Ticks(v, 1000)) {
        seq.push_back(p.X);
        seq.push_back(p.Y);
      }
    } else {
      const double z0 = 20 + rng() % 400, target = 20 + rng() % 400 + (rng() % 8) / 8.0;
      v->SetZoom(z0);
      ASSERT_EQ(v->Zoom(), z0);
      cases << "z " << z0 << ' ' << target << ' ' << div << '\n';
      v->SetZoomSmooth(target);
      seq.push_back(v->Zoom());
      for (int t = 0; t < 1000 && v->SmoothZoomRunning(); ++t) {
        VXHeadless::Advance(30);
        seq.push_back(v->Zoom());
      }
    }
    got.push_back(seq);
  }
  const std::string snippet = "mx, my = " + std::to_string(mx) + ", " + std::to_string(my) + R"(
out = []
for line in open(d + '/a0').read().split('\n'):
    if not line: continue
    f = line.split()
    seq = []
    if f[0] == 's':
        x, y, dx, dy, n = map(int, f[1:])
        while True:
            nx = min(max(round(x - (x - dx) / n), 0), mx)
            ny = min(max(round(y - (y - dy) / n), 0), my)
            seq += [nx, ny]
            if nx == x and ny == y: break
            x, y = nx, ny
    else:
        z, t, n = float(f[1]), float(f[2]), int(f[3])
        while True:
            a = (z - t) / n
            z = z - a
            seq.append(z)
            if abs(a) <= 1 / n:
                seq[-1] = t
                break
    out.append(len(seq))
    out += seq
save(np.array(out, dtype='<f8'))
)";
  const std::string res = numpy_oracle::Run(snippet, {cases.str()});
  std::vector<double> model(res.size() / 8);
  std::memcpy(model.data(), res.data(), model.size() * 8);
  size_t at = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    ASSERT_LT(at, model.size());
    const size_t n = size_t(model[at++]);
    ASSERT_LE(at + n, model.size());
    EXPECT_EQ(got[i], std::vector<double>(model.begin() + std::ptrdiff_t(at), model.begin() + std::ptrdiff_t(at + n)));
    at += n;
  }
}

// ---------------------------------------------------------------------------
// Highlighted pixel and hints

TEST_F(ViewSmooth, TheHighlightedPixelShowsOnlyWithTheGrid) {
  TVexlaneView* v = NewView(220, 220);
  SetImage(v, 20, 20);
  v->SetZoom(1000);
  v->SetViewXY(0, 0);
  VXHeadless::RunUntilIdle();
  int w, h;
  const std::vector<uint32_t> plain = VXHeadless::Surface(v->Handle(), w, h);
  v->SetHighlightedPixel(TPoint{3, 4});
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(VXHeadless::Surface(v->Handle(), w, h), plain) << "no grid, no highlight";

  v->SetDisplayGrid(true);
  VXHeadless::RunUntilIdle();
  std::vector<uint32_t> grid = VXHeadless::Surface(v->Handle(), w, h);
  // The ring in the highlight colour (red) around pixel (3, 4): client
  // (30, 40)..(40, 50).
  auto redIn = [&](const std::vector<uint32_t>& s, int x1, int y1, int x2, int y2) {
    int n = 0;
    for (int y = std::max(y1, 0); y < std::min(y2, h); ++y)
      for (int x = std::max(x1, 0); x < std::min(x2, w); ++x) {
        const uint32_t p = s[size_t(y) * size_t(w) + size_t(x)];
        if (((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80) ++n;
      }
    return n;
  };
  const int x0 = v->XBmp2Scr(3), y0 = v->YBmp2Scr(4);
  EXPECT_GT(redIn(grid, x0 - 3, y0 - 3, x0 + 13, y0 + 13), 10);
  EXPECT_EQ(redIn(grid, 0, 0, w, h), redIn(grid, x0 - 5, y0 - 5, x0 + 15, y0 + 15)) << "red only at the pixel";

  // Another pixel: the old one's area (grown by 5) is rendered again.
  v->SetHighlightedPixel(TPoint{12, 10});
  VXHeadless::RunUntilIdle();
  grid = VXHeadless::Surface(v->Handle(), w, h);
  EXPECT_EQ(redIn(grid, x0 - 5, y0 - 5, x0 + 15, y0 + 15), 0);
  const int x1 = v->XBmp2Scr(12), y1 = v->YBmp2Scr(10);
  EXPECT_GT(redIn(grid, x1 - 3, y1 - 3, x1 + 13, y1 + 13), 10);
}

TEST_F(ViewSmooth, AHintBoxAppearsOnTheNextPaintAndGoesWhenCleared) {
  TVexlaneView* v = NewView(220, 220);
  SetImage(v, 200, 200);
  FillRGB(v->VXBitmap(), TRGB{0, 0, 0});
  v->Update();
  VXHeadless::RunUntilIdle();
  int w, h;
  const std::vector<uint32_t> plain = VXHeadless::Surface(v->Handle(), w, h);
  auto changedBox = [&](const std::vector<uint32_t>& s, TRect& box) {
    box = TRect{w, h, -1, -1};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (s[size_t(y) * size_t(w) + size_t(x)] != plain[size_t(y) * size_t(w) + size_t(x)]) {
          box.Left = std::min(box.Left, x);
          box.Top = std::min(box.Top, y);
          box.Right = std::max(box.Right, x);
          box.Bottom = std::max(box.Bottom, y);
        }
    return box.Right >= 0;
  };
  v->SetInteractionHint("Zoom 200%", 40, 60, "");
  TRect box;
  EXPECT_FALSE(changedBox(VXHeadless::Surface(v->Handle(), w, h), box)) << "no paint of its own";
  v->Invalidate();
  VXHeadless::RunUntilIdle();
  ASSERT_TRUE(changedBox(VXHeadless::Surface(v->Handle(), w, h), box));
  // The box begins 6 pixels right of and below the hint position.
  EXPECT_EQ(box.Left, 46);
  EXPECT_EQ(box.Top, 66);
  const int narrow = box.Right - box.Left;
  // A wider template widens the box.
  v->SetInteractionHint("Zoom 200%", 40, 60, "Zoom 2000% of the picture");
  v->Invalidate();
  VXHeadless::RunUntilIdle();
  ASSERT_TRUE(changedBox(VXHeadless::Surface(v->Handle(), w, h), box));
  EXPECT_GT(box.Right - box.Left, narrow);
  // Switched off, and cleared: gone.
  v->SetEnableInteractionHints(false);
  v->Invalidate();
  VXHeadless::RunUntilIdle();
  EXPECT_FALSE(changedBox(VXHeadless::Surface(v->Handle(), w, h), box));
  v->SetEnableInteractionHints(true);
  v->SetInteractionHint("", 40, 60, "");
  v->Invalidate();
  VXHeadless::RunUntilIdle();
  EXPECT_FALSE(changedBox(VXHeadless::Surface(v->Handle(), w, h), box));
}

// ---------------------------------------------------------------------------
// Moving the content

TEST_F(ViewSmooth, MoveContentToHandsOverLayersAndPixels) {
  TVexlaneView* a = NewView(150, 150);
  TVexlaneView* b = NewView(150, 150);
  TVexlaneView* navA = NewView(80, 80);
  TVexlaneView* navB = NewView(80, 80);
  SetImage(a, 64, 48);
  SetImage(b, 10, 10);
  a->LayersAdd();
  TVXLayer* added = a->CurrentLayer();
  added->Bitmap()->Allocate(8, 8, vx24RGB);
  FillRGB(added->Bitmap(), TRGB{1, 2, 3});
  added->SetPosX(5);
  a->Update();
  a->IO()->Params().SetJPEG_Quality(37);
  a->SetNavigator(navA, TVXNavigatorOptions(1u << vxnoMarkOuter));
  b->SetNavigator(navB, TVXNavigatorOptions(1u << vxnoMarkOuter));
  int changesA = 0, changesB = 0;
  // The counters go with the test, before the viewers do (at tear-down).
  struct TCounter {
    TVexlaneView* View;
    void* Handle;
    ~TCounter() { View->RemoveBitmapChangeEvent(Handle); }
  } counterA{a, a->RegisterBitmapChangeEvent([&](void*, bool) { ++changesA; })},
      counterB{b, b->RegisterBitmapChangeEvent([&](void*, bool) { ++changesB; })};

  a->MoveContentTo(b);

  EXPECT_EQ(a->LayersCount(), 1);
  EXPECT_TRUE(a->VXBitmap()->IsEmpty());
  EXPECT_EQ(a->LayersCurrent(), 0);
  ASSERT_EQ(b->LayersCount(), 2);
  EXPECT_EQ(b->LayersCurrent(), 1);
  EXPECT_EQ(b->CurrentLayer(), added);
  EXPECT_EQ(added->Owner(), static_cast<TVXViewHost*>(b));
  EXPECT_EQ(b->Layers(0)->Bitmap()->Width(), 64);
  EXPECT_EQ(b->Layers(0)->Bitmap()->Pixels(7, 5).b, 7);
  EXPECT_EQ(b->IO()->Params().JPEG_Quality(), 37);
  EXPECT_GE(changesA, 1);
  EXPECT_GE(changesB, 1);
  // Both navigators linked again, without the options they had.
  EXPECT_EQ(a->Navigator(), navA);
  EXPECT_EQ(b->Navigator(), navB);
  EXPECT_TRUE(navB->IsNavigator());
  EXPECT_EQ(navB->VXBitmap(), b->VXBitmap());
  // The destination shows the moved layers.
  b->SetZoom(100);
  b->SetViewXY(0, 0);
  VXHeadless::RunUntilIdle();
  int w, h;
  const std::vector<uint32_t> s = VXHeadless::Surface(b->Handle(), w, h);
  const int x = b->XBmp2Scr(6), y = b->YBmp2Scr(1);
  EXPECT_EQ(s[size_t(y) * size_t(w) + size_t(x)], 0x030201u);
  // Moving to itself changes nothing.
  b->MoveContentTo(b);
  EXPECT_EQ(b->LayersCount(), 2);
}

// ---------------------------------------------------------------------------
// Frame posting

class ViewPostFrames : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    Source = NewView(60, 60);
    Target = NewView(60, 60);
    SetImage(Source, 8, 6);
  }
  // Gives the source's pixels a value of tick n.
  void Paint(int n) {
    FillRGB(Source->VXBitmap(), TRGB{uint8_t(n), uint8_t(n * 7), 99});
    Source->Update();
  }
  TVexlaneView* Source = nullptr;
  TVexlaneView* Target = nullptr;
};

TEST_F(ViewPostFrames, TheTargetShowsTheSourceTenTicksLate) {
  Paint(0);
  Target->VXBitmap()->Allocate(3, 3, vx24RGB);
  FillRGB(Target->VXBitmap(), TRGB{200, 200, 200});
  Source->BeginPostFrames(Target, 1000, 100);
  EXPECT_EQ(Source->PostFramesCount(), 1);
  std::vector<std::unique_ptr<TVXBitmap>> kept;  // the source before tick n
  for (int n = 1; n <= 30; ++n) {
    Paint(n);
    auto copy = std::make_unique<TVXBitmap>();
    copy->Assign(Source->VXBitmap());
    kept.push_back(std::move(copy));
    VXHeadless::Advance(100);
    SCOPED_TRACE(testing::Message() << "tick " << n);
    if (n <= 10) {
      ASSERT_EQ(Target->VXBitmap()->Width(), 3) << "unchanged before the 11th tick";
    } else {
      const TVXBitmap* want = kept[size_t(n - 11)].get();
      ASSERT_EQ(Target->VXBitmap()->Width(), want->Width());
      EXPECT_EQ(numpy_oracle::Pixels(Target->VXBitmap()), numpy_oracle::Pixels(const_cast<TVXBitmap*>(want)));
    }
  }
  Source->EndPostFrames(Target);
  EXPECT_EQ(Source->PostFramesCount(), 0);
  const std::string last = numpy_oracle::Pixels(Target->VXBitmap());
  Paint(77);
  VXHeadless::Advance(2000);
  EXPECT_EQ(numpy_oracle::Pixels(Target->VXBitmap()), last);
  Source->EndPostFrames(Target);  // none: nothing
}

TEST_F(ViewPostFrames, SeededDelaysFirstChangeTheTargetAtDelayDivIntervalPlusOne) {
  std::mt19937 rng(4242);
  for (int i = 0; i < 12; ++i) {
    const int32_t interval = 10 + int32_t(rng() % 90), delay = int32_t(rng() % 700) - 50;
    SCOPED_TRACE(testing::Message() << "delay " << delay << " interval " << interval);
    Target->VXBitmap()->Allocate(3, 3, vx24RGB);
    Paint(1);
    Source->BeginPostFrames(Target, delay, interval);
    const int first = std::max(delay, 0) / interval + 1;
    int changed = 0;
    for (int n = 1; n <= first + 2 && changed == 0; ++n) {
      VXHeadless::Advance(uint32_t(interval));
      if (Target->VXBitmap()->Width() != 3) changed = n;
    }
    EXPECT_EQ(changed, first);
    Source->EndPostFrames(Target);
  }
}

TEST_F(ViewPostFrames, ANewPostingToTheSameTargetReplacesTheOld) {
  TVexlaneView* other = NewView(60, 60);
  Source->BeginPostFrames(Target, 500, 100);
  Source->BeginPostFrames(other, 500, 100);
  Source->BeginPostFrames(Target, 200, 100);
  EXPECT_EQ(Source->PostFramesCount(), 2);
  Source->EndPostFrames(Target);
  EXPECT_EQ(Source->PostFramesCount(), 1);
}

TEST_F(ViewPostFrames, AnIntervalOfZeroOrLessIsRefused) {
  for (int32_t interval : {0, -100}) {
    try {
      Source->BeginPostFrames(Target, 1000, interval);
      ADD_FAILURE() << "no exception";
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), "Frame posting needs an interval above 0");
    }
    EXPECT_EQ(Source->PostFramesCount(), 0);
  }
}

TEST_F(ViewPostFrames, DestroyingTheTargetOrTheSourceEndsThePosting) {
  Source->BeginPostFrames(Target, 300, 100);
  VXHeadless::Advance(200);
  delete Target;
  Target = nullptr;
  EXPECT_EQ(Source->PostFramesCount(), 0);
  VXHeadless::Advance(1000);  // no tick writes into the freed viewer

  TVexlaneView* t2 = NewView(60, 60);
  t2->VXBitmap()->Allocate(3, 3, vx24RGB);
  Source->BeginPostFrames(t2, 300, 100);
  delete Source;
  Source = nullptr;
  VXHeadless::Advance(1000);
  EXPECT_EQ(t2->VXBitmap()->Width(), 3);
}

TEST_F(ViewPostFrames, EndingAPostingKeepsTheNavigatorLink) {
  Source->SetNavigator(Target, 0);
  Source->BeginPostFrames(Target, 300, 100);
  Source->EndPostFrames(Target);
  delete Target;
  Target = nullptr;
  EXPECT_EQ(Source->Navigator(), nullptr) << "the navigator's going was noticed";
}

}  // namespace
