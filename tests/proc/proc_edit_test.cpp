// TVexlaneProc: negative, merge, canvas size, crop, automatic crop, tiling
// and rounded corners, checked against numpy where it can compute them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/cmyk.h"
#include "core/geometry.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/edits.h"
#include "proc/proc.h"
#include "resample/resample.h"
#include "core/rowops.h"

namespace {

using procfixture::Noise;

TEST(ProcEdit, NegativeMatchesNumpy) {
  SKIP_WITHOUT_NUMPY();
  struct Case {
    TVXPixelFormat fmt;
    const char* snippet;  // from a0 (shape h, w, channels) to the expected pixels
  };
  const Case cases[] = {
      {vx8g, "save(255 - load(0, np.uint8, (-1,)))"},
      {vx24RGB, "save(255 - load(0, np.uint8, (-1,)))"},
      {vx32RGB, "a = load(0, np.uint8, (-1, 4)); a[:, :3] = 255 - a[:, :3]; save(a)"},
      {vx16g, "save(65535 - load(0, '<u2', (-1,)))"},
      {vx48RGB, "save(65535 - load(0, '<u2', (-1,)))"},
      {vx32f, "save(np.float32(1) - load(0, '<f4', (-1,)))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.fmt));
    auto b = Noise(13, 7, c.fmt, 11 + c.fmt);
    TVXBitmap original(b.get());
    const std::string want = numpy_oracle::Run(c.snippet, {numpy_oracle::Pixels(b.get())});
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    proc->Negative();
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), want);
    proc->Negative();
    EXPECT_TRUE(VXBitmapsEqual(b.get(), &original));
  }
}

TEST(ProcEdit, NegativeOfTheOtherFormats) {
  // vx1g: the bits of the rectangle; twice restores.
  auto bw = Noise(19, 3, vx1g, 5);
  TVXBitmap bwOriginal(bw.get());
  auto proc = TVexlaneProc::CreateFromBitmap(bw.get());
  proc->Negative();
  for (int32_t x = 0; x < 19; ++x) EXPECT_NE(bw->Pixels_vx1g(x, 1), bwOriginal.Pixels_vx1g(x, 1));
  proc->Negative();
  EXPECT_TRUE(VXBitmapsEqual(bw.get(), &bwOriginal));
  // vx8p: the palette, not the indices.
  TVXBitmap pal(4, 2, vx8p);
  pal.SetPalette(3, TRGB{10, 20, 30});
  pal.SetPixels_vx8(1, 1, 3);
  proc->SetAttachedVXBitmap(&pal);
  proc->Negative();
  EXPECT_EQ(pal.Palette(3), (TRGB{245, 235, 225}));
  EXPECT_EQ(pal.Pixels_vx8(1, 1), 3);
  // CMYK and CIELab go through RGB and back, pixel by pixel.
  auto cmyk = Noise(6, 3, vxCMYK, 7);
  auto lab = Noise(6, 3, vxCIELab, 8);
  TVXBitmap cmyk0(cmyk.get()), lab0(lab.get());
  auto inv = [](TRGB c) { return TRGB{uint8_t(255 - c.b), uint8_t(255 - c.g), uint8_t(255 - c.r)}; };
  proc->SetAttachedVXBitmap(cmyk.get());
  proc->Negative();
  proc->SetAttachedVXBitmap(lab.get());
  proc->Negative();
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 6; ++x) {
      EXPECT_EQ(cmyk->Pixels_vxCMYK(x, y), VXRGB2CMYK(inv(VXCMYK2RGB(cmyk0.Pixels_vxCMYK(x, y)))));
      EXPECT_EQ(lab->Pixels_vxCIELab(x, y), VXRGB2CIELab(inv(VXCIELab2RGB(lab0.Pixels_vxCIELab(x, y)))));
    }
}

TEST(ProcEdit, MergeVXBitmap) {
  auto own = Noise(17, 9, vx24RGB, 1);
  auto other = Noise(17, 9, vx24RGB, 2);
  TVXBitmap original(own.get());
  auto proc = TVexlaneProc::CreateFromBitmap(own.get());
  proc->MergeVXBitmap(other.get(), 100);
  EXPECT_TRUE(VXBitmapsEqual(own.get(), &original));
  // 0: the other image stretched to the rectangle.
  auto small = Noise(5, 4, vx24RGB, 3);
  proc->MergeVXBitmap(small.get(), 0);
  TVXBitmap stretched(17, 9, vx24RGB);
  VXStretchNearest(small.get(), &stretched);
  EXPECT_EQ(numpy_oracle::Pixels(own.get()), numpy_oracle::Pixels(&stretched));
  // An empty other image does nothing, not even an undo snapshot.
  TVXBitmap empty;
  int saved = 0;
  proc->SetAutoUndo(true);
  proc->OnSaveUndo = [&](void*, TVXUndoSource) { ++saved; };
  proc->MergeVXBitmap(&empty, 10);
  proc->MergeVXBitmap(nullptr, 10);
  EXPECT_EQ(saved, 0);

  SKIP_WITHOUT_NUMPY();
  own->Assign(&original);
  const std::string want = numpy_oracle::Run(
      "a = load(0, np.uint8, (-1,)).astype(np.float64); b = load(1, np.uint8, (-1,)).astype(np.float64)\n"
      "save(np.clip(np.round(a * 37 / 100 + b * 63 / 100), 0, 255).astype(np.uint8))",
      {numpy_oracle::Pixels(own.get()), numpy_oracle::Pixels(other.get())});
  proc->MergeVXBitmap(other.get(), 37);
  EXPECT_EQ(numpy_oracle::Pixels(own.get()), want);
  EXPECT_EQ(proc->GetUndoCaptions(0), "Merge 37");
}

TEST(ProcEdit, ImageResizeAndClear) {
  auto b = Noise(10, 6, vx24RGB, 4);
  TVXBitmap original(b.get());
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(b.get());
  int finished = 0;
  proc.OnFinishWork = [&](void*) { ++finished; };
  proc.ImageResize(10, 6, vxhLeft, vxvTop, 255);
  proc.ImageResize(0, 10, vxhLeft, vxvTop, 255);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(finished, 0);
  proc.SetBackground(0x00FF00);
  proc.ImageResize(14, 8, vxhCenter, vxvBottom, 100);
  EXPECT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaptions(0), "ImageResize 14, 8");
  ASSERT_EQ(b->Width(), 14);
  EXPECT_EQ(b->Pixels_vx24RGB(2, 2), original.Pixels_vx24RGB(0, 0));
  EXPECT_EQ(b->Pixels_vx24RGB(0, 0), (TRGB{0, 255, 0}));
  ASSERT_TRUE(b->HasAlphaChannel());
  EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(0, 0), 100);
  EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(2, 2), 255);
  proc.Clear();
  EXPECT_EQ(b->Pixels_vx24RGB(5, 5), (TRGB{0, 255, 0}));
  EXPECT_EQ(proc.GetUndoCaptions(0), "Clear");
}

TEST(ProcEdit, Crop) {
  auto b = Noise(12, 9, vx24RGB, 6);
  b->AlphaChannel()->Fill(40);
  b->AlphaChannel()->SetPixels_vx8(3, 2, 7);
  TVXBitmap original(b.get());
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  int finished = 0;
  proc->OnFinishWork = [&](void*) { ++finished; };
  proc->Crop(0, 0, 11, 8);
  proc->Crop(5, 5, 4, 9);
  EXPECT_EQ(finished, 0);
  EXPECT_TRUE(VXBitmapsEqual(b.get(), &original));
  proc->Crop(TRect{3, 2, 7, 5});
  ASSERT_EQ(b->Width(), 5);
  ASSERT_EQ(b->Height(), 4);
  EXPECT_EQ(b->Pixels_vx24RGB(0, 0), original.Pixels_vx24RGB(3, 2));
  EXPECT_EQ(b->Pixels_vx24RGB(4, 3), original.Pixels_vx24RGB(7, 5));
  EXPECT_EQ(b->AlphaChannel()->Width(), 5);
  EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(0, 0), 7);
  // A rectangle reaching past the image keeps the inside part.
  proc->Crop(2, 1, 9, 9);
  EXPECT_EQ(b->Width(), 8);
  EXPECT_EQ(b->Pixels_vx24RGB(0, 0), original.Pixels_vx24RGB(5, 3));
}

TEST(ProcEdit, AutoCrop) {
  TVXBitmap b(30, 25, vx24RGB);
  b.Fill(0xFFFFFF);
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  const TRGB white{255, 255, 255};
  // Entirely background: the first column.
  EXPECT_EQ(proc->AutoCrop(0, white, false), (TRect{0, 0, 0, 24}));
  b.SetPixels_vx24RGB(10, 20, TRGB{0, 0, 0});
  EXPECT_EQ(proc->AutoCrop(0, white, false), (TRect{10, 20, 10, 20}));
  // Within tolerance counts as background.
  b.SetPixels_vx24RGB(2, 3, TRGB{250, 250, 250});
  EXPECT_EQ(proc->AutoCrop(5, int32_t(0xFFFFFF), false), (TRect{10, 20, 10, 20}));
  b.SetPixels_vx24RGB(25, 5, TRGB{0, 0, 0});
  EXPECT_EQ(proc->AutoCrop(0, white, true), (TRect{2, 3, 25, 20}));
  EXPECT_EQ(b.Width(), 24);
  EXPECT_EQ(b.Height(), 18);
  EXPECT_EQ(b.Pixels_vx24RGB(8, 17), (TRGB{0, 0, 0}));
  // An empty background image with DoCrop keeps its first column.
  TVXBitmap plain(6, 4, vx8g);
  proc->SetAttachedVXBitmap(&plain);
  proc->AutoCrop(0, TRGB{0, 0, 0}, true);
  EXPECT_EQ(plain.Width(), 1);
  EXPECT_EQ(plain.Height(), 4);
}

TEST(ProcEdit, AutoCrop2) {
  TVXBitmap b(20, 16, vx24RGB);
  b.Fill(0x646464);  // grey 100
  b.FillRect(0, 0, 2, 15, 0);
  b.FillRect(0, 0, 19, 1, 0);
  TVXBitmap original(&b);
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  for (double rate : {0.0, -1.0}) EXPECT_EQ(proc->AutoCrop2(rate, true), (TRect{0, 0, 0, 0}));
  EXPECT_TRUE(VXBitmapsEqual(&b, &original));
  EXPECT_EQ(proc->AutoCrop2(4, true), (TRect{3, 2, 19, 15}));
  EXPECT_EQ(b.Width(), 17);
  EXPECT_EQ(b.Height(), 14);
  // Nothing near the mean: the limits cross.
  TVXBitmap stripes(4, 4, vx24RGB);
  for (int32_t x = 0; x < 4; ++x) stripes.FillRect(x, 0, x, 3, x % 2 ? 0xFFFFFF : 0);
  proc->SetAttachedVXBitmap(&stripes);
  TRect r = proc->AutoCrop2(100, false);
  EXPECT_EQ(r.Left, 3);
  EXPECT_EQ(r.Right, 0);
}

TEST(ProcEdit, MakeTileMatchesNumpy) {
  auto b = Noise(10, 7, vx24RGB, 8);
  TVXBitmap* a = b->AlphaChannel();
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 10; ++x) a->SetPixels_vx8(x, y, uint8_t(x * 20 + y));
  const std::string pixels = numpy_oracle::Pixels(b.get()), alpha = numpy_oracle::Pixels(a);
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  for (auto [c, r] : {std::pair{0, 2}, {3, 0}, {-1, 5}}) {
    proc->MakeTile(c, r);
    EXPECT_EQ(b->Width(), 10);
  }
  proc->MakeTile(3, 2);
  ASSERT_EQ(b->Width(), 30);
  ASSERT_EQ(b->Height(), 14);
  SKIP_WITHOUT_NUMPY();
  EXPECT_EQ(numpy_oracle::Pixels(b.get()),
            numpy_oracle::Run("save(np.tile(load(0, np.uint8, (7, 10, 3)), (2, 3, 1)))", {pixels}));
  EXPECT_EQ(numpy_oracle::Pixels(b->AlphaChannel()),
            numpy_oracle::Run("save(np.tile(load(0, np.uint8, (7, 10)), (2, 3)))", {alpha}));
}

// The corners as the rounding is described: every curve point clears the
// block between it and its corner.
void ReferenceRound(TVXBitmap* alpha, int32_t a, int32_t b) {
  const int32_t W = alpha->Width(), H = alpha->Height();
  std::vector<TPoint> top, bottom;
  VXBezierPoints({0, b}, {0, 0}, {a, 0}, {a, 0}, top, a + b);
  VXBezierPoints({W, H - b}, {W, H}, {W - a, H}, {W - a, H}, bottom, a + b);
  for (const TPoint& p : top)
    for (int32_t j = 0; j <= std::min(p.Y, H - 1); ++j)
      for (int32_t k = 0; k <= std::min(p.X, W - 1); ++k) {
        alpha->SetPixels_vx8(k, j, 0);
        alpha->SetPixels_vx8(W - 1 - k, j, 0);
      }
  for (const TPoint& p : bottom) {
    const int32_t c = std::max(p.X, 1), d = std::max(p.Y, 1);
    for (int32_t j = H - 1; j >= d - 1; --j)
      for (int32_t k = W - 1; k >= c - 1; --k) {
        alpha->SetPixels_vx8(k, j, 0);
        alpha->SetPixels_vx8(W - 1 - k, j, 0);
      }
  }
}

TEST(ProcEdit, RoundImage) {
  for (auto [w, h, a, r] : {std::tuple{40, 30, 8, 6}, {21, 17, 5, 9}, {9, 6, 12, 3}, {1, 1, 1, 1}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << " " << a << "," << r);
    auto b = Noise(w, h, vx24RGB, 9);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    proc->RoundImage(a, r);
    ASSERT_TRUE(b->HasAlphaChannel());
    TVXBitmap want(w, h, vx8g);
    want.Fill(255);
    ReferenceRound(&want, a, r);
    EXPECT_EQ(numpy_oracle::Pixels(b->AlphaChannel()), numpy_oracle::Pixels(&want));
    TVXBitmap* al = b->AlphaChannel();
    EXPECT_EQ(al->Pixels_vx8(0, 0), 0);
    EXPECT_EQ(al->Pixels_vx8(w - 1, h - 1), 0);
    EXPECT_FALSE(al->Full());
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) ASSERT_EQ(al->Pixels_vx8(x, y), al->Pixels_vx8(w - 1 - x, y));
  }
  // A width or height of 0 changes nothing.
  auto b = Noise(10, 10, vx24RGB, 10);
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  proc->RoundImage(0, 5);
  EXPECT_FALSE(b->HasAlphaChannel() && !b->AlphaChannel()->Full());
}

}  // namespace
