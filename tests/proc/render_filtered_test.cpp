// Rendering, merging and stretching through the resamplers that the
// processing module's start-up hands to the core.

#include <gtest/gtest.h>

#include <cstring>

#include "core/bitmap.h"
#include "core/resample_hook.h"
#include "core/startup.h"
#include "resample/resample.h"
#include "tests/core/render_test_util.h"

using namespace render_test;

namespace {

class RenderFiltered : public ::testing::Test {
 protected:
  TVXLibraryGuard library_;
};

TEST_F(RenderFiltered, TheStartUpFillsTheResamplingHook) { EXPECT_TRUE(VXResampleHooksReady()); }

TEST(RenderFilteredNoStart, AnEmptyHookRaises) {
  if (VXStaticUseCount() != 0) GTEST_SKIP() << "the library is held started";
  const TVXResampleHooks saved = VXResampleHooks;
  VXResampleHooks = TVXResampleHooks{};
  auto s = Pattern(4, 4, vx24RGB);
  auto d = Canvas(8, 8);
  RenderArgs a = Whole(*s, 0, 0, 8, 8);
  a.Filter = rfTriangle;
  EXPECT_THROW(Render(*s, *d, a), EVXException);
  VXResampleHooks = saved;
}

TEST_F(RenderFiltered, EqualSizesRenderDirectly) {
  auto s = Pattern(5, 4, vx24RGB);
  auto a1 = Canvas(9, 9), a2 = Canvas(9, 9);
  RenderArgs a = Whole(*s, 2, 1, 5, 4);
  Render(*s, *a1, a);
  a.Filter = rfMitchell;
  Render(*s, *a2, a);
  EXPECT_TRUE(SameRows(*a1, *a2));
}

// The filtered render equals the processing library's resampling of the
// source rectangle followed by a 1:1 render.
TEST_F(RenderFiltered, EqualsResamplingThenOneToOne) {
  struct Case {
    TVXPixelFormat f;
    TResampleFilter filter;
    int dw, dh;
    bool alpha;
  };
  const Case cases[] = {
      {vx24RGB, rfMitchell, 13, 7, false}, {vx24RGB, rfTriangle, 3, 2, true}, {vx8g, rfLanczos3, 11, 11, false},
      {vx16g, rfBell, 4, 9, false},        {vx8p, rfHermite, 12, 5, false},    {vx1g, rfTriangle, 14, 10, false},
      {vx1g, rfProjectBW, 3, 2, false},    {vx1g, rfProjectWB, 12, 9, false},
  };
  for (const Case& c : cases) {
    auto s = Pattern(7, 6, c.f);
    if (c.alpha) {
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x) s->AlphaChannel()->SetPixels_vx8(x, y, uint8_t(x * 30 + y * 5));
      s->AlphaChannel()->SetFull(false);
    }
    s->SetContrast(3);
    // The source rectangle (1, 1, 5, 4) drawn into (2, 3, dw, dh).
    auto got = Canvas(20, 20, RGB(40, 50, 60));
    RenderArgs a;
    a.xDst = 2, a.yDst = 3, a.dxDst = c.dw, a.dyDst = c.dh, a.xSrc = 1, a.ySrc = 1, a.dxSrc = 5, a.dySrc = 4;
    a.Filter = c.filter;
    a.Transparency = 200;
    Render(*s, *got, a);

    TVXBitmap part(5, 4, c.f), sized;
    s->CopyRectTo(&part, 1, 1, 0, 0, 5, 4);
    if (c.f == vx8p) s->CopyPaletteTo(&part);
    if (c.alpha) {
      s->AlphaChannel()->CopyRectTo(part.AlphaChannel(), 1, 1, 0, 0, 5, 4);
      part.AlphaChannel()->SetFull(false);
    }
    const bool project = c.filter == rfProjectBW || c.filter == rfProjectWB;
    ASSERT_TRUE(sized.Allocate(c.dw, c.dh, c.f == vx1g ? (project ? vx1g : vx24RGB) : c.f));
    VXResampleBitmap(&part, &sized, c.filter);
    if (c.f == vx1g && !project && c.dw <= 5) {
      // Shrinking 1-bit images average their bits instead.
      ASSERT_TRUE(sized.Allocate(c.dw, c.dh, vx24RGB));
      VXStretch1BitAveraged(s.get(), 1, 1, 5, 4, &sized);
    }
    sized.SetContrast(3);
    auto want = Canvas(20, 20, RGB(40, 50, 60));
    RenderArgs b = Whole(sized, 2, 3, c.dw, c.dh);
    b.Transparency = 200;
    Render(sized, *want, b);
    EXPECT_TRUE(SameRows(*got, *want)) << "format " << int(c.f) << " filter " << int(c.filter);
  }
}

TEST_F(RenderFiltered, MergeWithAlphaResamplesFirst) {
  auto src = Pattern(4, 4, vx24RGB);
  TVXBitmap sized(8, 6, vx24RGB);
  VXResampleBitmap(src.get(), &sized, rfTriangle);
  auto got = Canvas(10, 10, RGB(1, 2, 3)), want = Canvas(10, 10, RGB(1, 2, 3));
  got->MergeWithAlpha(src.get(), 1, 2, 8, 6, 255, rfTriangle, vxlNormal, true, 0, 0, 1);
  want->MergeWithAlpha(&sized, 1, 2, -1, -1, 255, rfNone, vxlNormal, false, 0, 0, 1);
  EXPECT_TRUE(SameRows(*got, *want));
  EXPECT_NE(got->Pixels_vx24RGB(1, 2), RGB(1, 2, 3));
}

TEST_F(RenderFiltered, StretchRectToResamplesFirst) {
  auto src = Pattern(6, 5, vx24RGB);
  TVXBitmap part(4, 4, vx24RGB), sized(9, 7, vx24RGB);
  src->CopyRectTo(&part, 1, 1, 0, 0, 4, 4);
  VXResampleBitmap(&part, &sized, rfMitchell);
  auto got = Canvas(12, 12), want = Canvas(12, 12);
  src->StretchRectTo(got.get(), 2, 2, 9, 7, 1, 1, 4, 4, rfMitchell, 255, 1);
  sized.StretchRectTo(want.get(), 2, 2, 9, 7, 0, 0, 9, 7, rfNone, 255, 1);
  EXPECT_TRUE(SameRows(*got, *want));
  EXPECT_EQ(got->AlphaChannel()->Pixels_vx8(5, 5), 255);
  EXPECT_EQ(got->AlphaChannel()->Pixels_vx8(0, 0), 255);  // a new channel starts opaque
}

}  // namespace
