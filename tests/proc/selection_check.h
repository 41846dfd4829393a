#pragma once
// Runs a processing operation on a viewer with an elliptical 8-bit selection
// and checks that only selected pixels changed (at least MinChanged of them)
// and that one Undo restores the image.

#include <gtest/gtest.h>

#include <functional>

#include "fake_viewhost.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/proc.h"

inline void ExpectSelectionOnlyAndUndo(const std::function<void(TVexlaneProc&)>& op, uint32_t seed, int MinChanged) {
  TFakeViewHost host;
  host.Image()->Assign(procfixture::Noise(30, 20, vx24RGB, seed).get());
  TVXBitmap original(host.Image());
  TVXMask* m = host.NewMask(8);
  m->SetEllipse(15, 10, 16, 12, 255);
  m->SyncRect();
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVexlane(&host);
  op(proc);
  int changed = 0;
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) {
      const bool same = host.Image()->Pixels_vx24RGB(x, y) == original.Pixels_vx24RGB(x, y);
      if (m->GetPixel(x, y) == 0) {
        ASSERT_TRUE(same) << x << "," << y;
      }
      changed += !same;
    }
  EXPECT_GT(changed, MinChanged);
  EXPECT_EQ(proc.UndoCount(), 1);
  proc.Undo(false);
  EXPECT_EQ(numpy_oracle::Pixels(host.Image()), numpy_oracle::Pixels(&original));
}
