// TVexlaneProc's transition frames through a fake engine in the seam the
// viewer library fills: the frame size, the fitting of each picture, the
// pan-zoom image and rectangles, and the failures.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "gui/graphics.h"
#include "proc/proc.h"
#include "proc/transition_hooks.h"
#include "resample/resample.h"

namespace {

// Records what the component hands the engine; frames are filled with the
// progress as a grey level.
class FakeFrameMaker : public TVXTransitionFrameMaker {
 public:
  static inline FakeFrameMaker* last = nullptr;
  static inline int made = 0, freed = 0;
  FakeFrameMaker() {
    last = this;
    ++made;
  }
  ~FakeFrameMaker() override {
    ++freed;
    if (last == this) last = nullptr;
  }
  TVXTransitionType Transition() const override { return transition; }
  void SetTransition(TVXTransitionType v) override { transition = v; }
  TVXTransitionTiming Timing() const override { return timing; }
  void SetTiming(TVXTransitionTiming v) override { timing = v; }
  TColor Background() const override { return background; }
  void SetBackground(TColor v) override { background = v; }
  TVXBitmap* FullImage() const override { return full; }
  void SetFullImage(TVXBitmap* v) override { full = v; }
  TRect StartRect() const override { return startRect; }
  void SetStartRect(const TRect& v) override { startRect = v; }
  TRect EndRect() const override { return endRect; }
  void SetEndRect(const TRect& v) override { endRect = v; }
  void PrepareBitmap(TBitmap* a, TBitmap* b) override {
    ASSERT_EQ(a->PixelFormat(), pf24bit);
    ASSERT_EQ(b->PixelFormat(), pf24bit);
    start.CopyFromTBitmap(a);
    end.CopyFromTBitmap(b);
    sameStartAndEnd = a == b;
    ++prepared;
  }
  void CreateBitmap(float p, TBitmap* dest) override {
    progress.push_back(p);
    dest->SetPixelFormat(pf24bit);
    dest->SetSize(start.Width(), start.Height());
    for (int y = 0; y < dest->Height(); ++y) std::memset(dest->ScanLine(y), int(p), dest->RowBytes());
  }

  TVXTransitionType transition = vxttNone;
  TVXTransitionTiming timing = vxttLinear;
  TColor background = 0;
  TVXBitmap* full = nullptr;
  TRect startRect{}, endRect{};
  TVXBitmap start, end;
  bool sameStartAndEnd = false;
  int prepared = 0;
  std::vector<float> progress;
};

// A 24-bit picture of varied colours.
std::unique_ptr<TBitmap> Picture(int w, int h, int seed) {
  auto b = std::make_unique<TBitmap>(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* p = static_cast<uint8_t*>(b->ScanLine(y));
    for (int x = 0; x < w * 3; ++x) p[x] = uint8_t((x * 7 + y * 13 + seed * 31 + (x * y) % 17) & 255);
  }
  return b;
}

// What the fitting must give: Source (as 24 bits) placed by VXFitImageRect
// in a W x H picture of Background, resampled by VXResampleBitmap when its
// size changes.
std::unique_ptr<TVXBitmap> Expected(TBitmap* Source, int W, int H, bool StretchSmall, TColor Background,
                                    TResampleFilter Filter) {
  TVXBitmap src;
  src.CopyFromTBitmap(Source);
  src.SetPixelFormat(vx24RGB);
  auto out = std::make_unique<TVXBitmap>(W, H, vx24RGB);
  out->Fill(double(Background));
  TRect r{};
  VXFitImageRect(src.Width(), src.Height(), W, H, 0, 0, StretchSmall, true, true, true, 0, false, r);
  TVXBitmap sized(r.Right - r.Left, r.Bottom - r.Top, vx24RGB);
  if (sized.Width() != src.Width() || sized.Height() != src.Height())
    VXResampleBitmap(&src, &sized, Filter);
  else
    sized.Assign(&src);
  sized.CopyRectTo(out.get(), 0, 0, r.Left, r.Top, sized.Width(), sized.Height());
  return out;
}

class ProcTransitionFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = VXTransitionHooks;
    VXTransitionHooks.CreateFrameMaker = []() -> std::unique_ptr<TVXTransitionFrameMaker> {
      return std::make_unique<FakeFrameMaker>();
    };
    FakeFrameMaker::made = FakeFrameMaker::freed = 0;
  }
  void TearDown() override { VXTransitionHooks = saved_; }
  TVXTransitionHooks saved_;
};

TEST_F(ProcTransitionFrames, NegativeSizesTakeTheLargerSidesAndLetterboxBoth) {
  auto a = Picture(120, 80, 1), b = Picture(60, 90, 2);
  TVexlaneProc proc;
  proc.PrepareTransitionBitmaps(a.get(), b.get(), vxttCrossDissolve, -1, -1, 0x336699, rfTriangle);
  FakeFrameMaker* e = FakeFrameMaker::last;
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->transition, vxttCrossDissolve);
  EXPECT_EQ(e->timing, vxttLinear);
  EXPECT_EQ(e->background, 0x336699);
  EXPECT_FALSE(e->sameStartAndEnd);
  EXPECT_EQ(e->start.Width(), 120);
  EXPECT_EQ(e->start.Height(), 90);
  EXPECT_TRUE(VXBitmapsEqual(&e->start, Expected(a.get(), 120, 90, false, 0x336699, rfTriangle).get()));
  EXPECT_TRUE(VXBitmapsEqual(&e->end, Expected(b.get(), 120, 90, false, 0x336699, rfTriangle).get()));
  // The bars: the start picture has background rows above and below.
  EXPECT_EQ(e->start.Pixels_vx24RGB(60, 2).r, 0x99);
  EXPECT_EQ(e->start.Pixels_vx24RGB(60, 2).b, 0x33);
  EXPECT_EQ(e->end.Pixels_vx24RGB(5, 45).g, 0x66);
}

TEST_F(ProcTransitionFrames, PicturesShrinkAndEnlargeOnlyWhenAsked) {
  auto a = Picture(120, 80, 3), b = Picture(30, 20, 4);
  struct Case {
    int w, h;
    bool stretchSmall;
    TResampleFilter filter;
  } cases[] = {{100, 50, false, rfTriangle}, {100, 50, true, rfLanczos3}, {240, 200, false, rfFastLinear},
               {240, 200, true, rfBicubic}, {31, 97, true, rfNone}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << (c.stretchSmall ? " stretched" : ""));
    TVexlaneProc proc;
    proc.PrepareTransitionBitmapsEx(a.get(), b.get(), vxttFadeOut, TRect{}, TRect{}, true, c.w, c.h,
                                    c.stretchSmall, clWhite, c.filter, vxttExponential);
    FakeFrameMaker* e = FakeFrameMaker::last;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->timing, vxttExponential);
    EXPECT_TRUE(VXBitmapsEqual(&e->start, Expected(a.get(), c.w, c.h, c.stretchSmall, clWhite, c.filter).get()));
    EXPECT_TRUE(VXBitmapsEqual(&e->end, Expected(b.get(), c.w, c.h, c.stretchSmall, clWhite, c.filter).get()));
  }
  // The small picture without stretching keeps its pixels, centred.
  TVexlaneProc proc;
  proc.PrepareTransitionBitmaps(b.get(), b.get(), vxttFadeIn, 50, 40, clBlack, rfTriangle);
  TVXBitmap small;
  small.CopyFromTBitmap(b.get());
  FakeFrameMaker* e = FakeFrameMaker::last;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_TRUE(VXSameRGB(e->start.Pixels_vx24RGB(x + 10, y + 10), small.Pixels_vx24RGB(x, y)));
}

TEST_F(ProcTransitionFrames, OneBitAndOtherDepthsAreExpandedAndCallersBitmapsKept) {
  auto mono = std::make_unique<TBitmap>(16, 8, pf1bit);
  const RGBQUAD bw[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  mono->SetPalette(bw);
  for (int y = 0; y < 8; ++y) static_cast<uint8_t*>(mono->ScanLine(y))[0] = uint8_t(0xA5 ^ y);
  auto wide = std::make_unique<TBitmap>(16, 8, pf32bit);
  TVexlaneProc proc;
  proc.PrepareTransitionBitmaps(mono.get(), wide.get(), vxttCrossDissolve, 16, 8, clRed, rfNone);
  FakeFrameMaker* e = FakeFrameMaker::last;
  ASSERT_NE(e, nullptr);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool white = (0xA5 ^ y) & (0x80 >> x);
      ASSERT_EQ(e->start.Pixels_vx24RGB(x, y).g, white ? 255 : 0) << x << "," << y;
    }
  EXPECT_EQ(mono->PixelFormat(), pf1bit);
  EXPECT_EQ(wide->PixelFormat(), pf32bit);
}

TEST_F(ProcTransitionFrames, PanZoomTakesTheStartPictureAndGrowsTheRectangles) {
  auto a = Picture(200, 100, 5), b = Picture(10, 10, 6);
  TVexlaneProc proc;
  proc.SetBackground(0x102030);
  proc.PrepareTransitionBitmapsEx(a.get(), b.get(), vxttPanZoom, TRect{10, 20, 50, 40}, TRect{150, 0, 190, 100},
                                  true, 100, 100, false, -1, rfTriangle, vxttLogarithmic);
  FakeFrameMaker* e = FakeFrameMaker::last;
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->background, 0x102030);
  EXPECT_TRUE(e->sameStartAndEnd);
  ASSERT_NE(e->full, nullptr);
  TVXBitmap copy;
  copy.CopyFromTBitmap(a.get());
  EXPECT_TRUE(VXBitmapsEqual(e->full, &copy));
  // Square now, about the same centre, inside the full image.
  for (auto [got, was] : {std::pair{e->startRect, TRect{10, 20, 50, 40}}, std::pair{e->endRect, TRect{150, 0, 190, 100}}}) {
    TRect want{};
    VXAdjustRectToAspect(was, 200, 100, want, 0, 100, 100);
    EXPECT_EQ(got.Left, want.Left);
    EXPECT_EQ(got.Top, want.Top);
    EXPECT_EQ(got.Right, want.Right);
    EXPECT_EQ(got.Bottom, want.Bottom);
    EXPECT_EQ(got.Right - got.Left, got.Bottom - got.Top);
    EXPECT_GE(got.Left, 0);
    EXPECT_LE(got.Bottom, 100);
  }
  EXPECT_EQ(e->startRect.Left + e->startRect.Right, 60);
  // The start picture fitted into the frame; the end picture is not used.
  EXPECT_TRUE(VXBitmapsEqual(&e->start, Expected(a.get(), 100, 100, false, 0x102030, rfTriangle).get()));

  // Without keeping the aspect the rectangles pass as they are; negative
  // sizes take the start picture's.
  proc.PrepareTransitionBitmapsEx(a.get(), nullptr, vxttPanZoom, TRect{1, 2, 3, 4}, TRect{5, 6, 7, 8}, false, -1,
                                  -1, false, clBlack, rfTriangle, vxttLinear);
  EXPECT_EQ(e, FakeFrameMaker::last);  // the same engine
  EXPECT_EQ(FakeFrameMaker::made, 1);
  EXPECT_EQ(e->startRect.Right, 3);
  EXPECT_EQ(e->endRect.Bottom, 8);
  EXPECT_EQ(e->start.Width(), 200);
  EXPECT_EQ(e->start.Height(), 100);
}

TEST_F(ProcTransitionFrames, FramesComeFromThePreparedEngine) {
  auto a = Picture(20, 10, 7), b = Picture(20, 10, 8);
  TBitmap dest(3, 3, pf24bit);
  std::memset(dest.ScanLine(0), 0x5A, dest.RowBytes());
  {
    TVexlaneProc proc;
    try {
      proc.CreateTransitionBitmap(50, &dest);
      ADD_FAILURE() << "no exception";
    } catch (const EVXException& ex) {
      EXPECT_STREQ(ex.what(), "Transition has not been prepared!");
    }
    EXPECT_EQ(dest.Width(), 3);
    EXPECT_EQ(static_cast<uint8_t*>(dest.ScanLine(0))[4], 0x5A);
    proc.PrepareTransitionBitmaps(a.get(), b.get(), vxttFadeOut, -1, -1, clBlack, rfTriangle);
    proc.CreateTransitionBitmap(37.5f, &dest);
    ASSERT_NE(FakeFrameMaker::last, nullptr);
    EXPECT_EQ(FakeFrameMaker::last->progress, std::vector<float>{37.5f});
    EXPECT_EQ(dest.Width(), 20);
    EXPECT_EQ(static_cast<uint8_t*>(dest.ScanLine(9))[0], 37);
  }
  EXPECT_EQ(FakeFrameMaker::made, 1);
  EXPECT_EQ(FakeFrameMaker::freed, 1);  // the component owned it
}

TEST_F(ProcTransitionFrames, EmptyPicturesAndAMissingEnginePrepareNothing) {
  auto a = Picture(20, 10, 9);
  TBitmap empty;
  TBitmap dest(2, 2, pf24bit);
  auto expectRaise = [](auto call, const std::string& text) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const EVXException& ex) {
      EXPECT_NE(std::string(ex.what()).find(text), std::string::npos) << ex.what();
    }
  };
  TVexlaneProc proc;
  for (auto [s, e, w, h] : {std::tuple{&empty, a.get(), -1, -1}, std::tuple{a.get(), &empty, -1, -1},
                            std::tuple{a.get(), static_cast<TBitmap*>(nullptr), 5, 5},
                            std::tuple{a.get(), a.get(), 0, 7}, std::tuple{a.get(), a.get(), 7, 0}})
    expectRaise([&] { proc.PrepareTransitionBitmaps(s, e, vxttCrossDissolve, w, h, clBlack, rfTriangle); },
                "Transition bitmaps are empty");
  EXPECT_EQ(FakeFrameMaker::made, 0);
  expectRaise([&] { proc.CreateTransitionBitmap(10, &dest); }, "Transition has not been prepared!");

  // Without the viewer library nothing can prepare.
  VXTransitionHooks.CreateFrameMaker = nullptr;
  TVexlaneProc bare;
  expectRaise([&] { bare.PrepareTransitionBitmaps(a.get(), a.get(), vxttCrossDissolve, -1, -1, clBlack, rfTriangle); },
              "viewer library");
  expectRaise([&] { bare.CreateTransitionBitmap(10, &dest); }, "Transition has not been prepared!");
  EXPECT_EQ(dest.Width(), 2);
}

}  // namespace
