// Resampling targets under the library's image limits.

#include <gtest/gtest.h>

#include "core/bitmap.h"
#include "core/settings.h"
#include "proc/proc.h"

TEST(ResampleLimits, TargetsBeyondTheLimitRaiseBeforeAnyAllocation) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int64_t saved = s->MaxImagePixels();
  struct Case {
    int32_t srcW, srcH;
    bool alpha;
    int32_t newW, newH;
    int64_t limit;
    const char* message;  // nullptr: resampled
  } cases[] = {
      // a 1 x 100,000 source asked for 2,000 pixels on its short side
      {1, 100000, false, 2000, -1, saved, "Image too large: 2000 x 200000000 pixels"},
      {10, 10, false, 20, -1, 400, nullptr},
      {10, 10, true, 21, -1, 400, "Image too large: 21 x 21 pixels"},
  };
  for (const auto& c : cases) {
    s->SetMaxImagePixels(c.limit);
    TVXBitmap src(c.srcW, c.srcH, vx24RGB);
    if (c.alpha) src.AlphaChannel();
    TVXBitmap target;
    TVexlaneProc proc(nullptr);
    proc.SetAttachedVXBitmap(&src);
    if (c.message) {
      try {
        proc.ResampleTo(&target, c.newW, c.newH, rfMitchell, true);
        ADD_FAILURE() << "no exception for " << c.newW;
      } catch (const EVXException& e) {
        EXPECT_STREQ(e.what(), c.message);
      }
      EXPECT_TRUE(target.IsEmpty());
      // Resample in place keeps the image as it was.
      EXPECT_THROW(proc.Resample(c.newW, c.newH, rfMitchell, true), EVXException);
      EXPECT_EQ(src.Width(), c.srcW);
      EXPECT_EQ(src.Height(), c.srcH);
    } else {
      proc.ResampleTo(&target, c.newW, c.newH, rfMitchell, true);
      EXPECT_EQ(target.Width(), c.newW);
    }
    proc.SetAttachedVXBitmap(nullptr);
  }
  s->SetMaxImagePixels(saved);
}
