// Resamples of a source that arrives a row at a time, against the component's
// ResampleTo of the whole source.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "proc/proc.h"
#include "resample/resample_rows.h"

namespace {

std::vector<uint8_t> Pixels(TVXBitmap& b) {
  std::vector<uint8_t> all;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
    all.insert(all.end(), p, p + size_t(b.Width()) * size_t(b.BitCount()) / 8);
  }
  return all;
}

void FillRandom(TVXBitmap& b, std::mt19937& rng, bool Edges) {
  for (int32_t y = 0; y < b.Height(); ++y) {
    uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
    // Hard black and white edges drive the kernel's lobes into the clamp.
    for (int64_t i = 0; i < int64_t(b.Width()) * b.BitCount() / 8; ++i) p[i] = Edges ? (rng() & 1) * 255 : uint8_t(rng());
  }
}

TEST(ResampleRows, SameBytesAsTheWholeSource) {
  struct Case {
    int32_t w, h;
    bool alpha;
    std::vector<TVXResampleSize> targets;
  } cases[] = {
      // Six sizes of a wide source, short side measured: targets summed by
      // planes and by pixels side by side.
      {961, 97, false, {{27, 2}, {39, 3}, {59, 5}, {79, 7}, {118, 11}, {158, 15}}},
      // Strong reductions only: the rows are kept as planes. Odd widths, below
      // and above a vector of pixels.
      {963, 70, false, {{9, 3}, {31, 5}, {77, 9}}},
      {963, 70, true, {{9, 3}, {77, 9}}},
      {23, 40, false, {{1, 2}, {2, 4}}},
      {961, 97, true, {{27, 2}, {158, 15}}},
      // Heights around the block of rows, one row, one column.
      {300, 31, false, {{17, 3}}},
      {300, 32, true, {{17, 3}}},
      {300, 65, false, {{17, 30}, {299, 65}}},
      {300, 1, true, {{12, 1}, {50, 1}}},
      {1, 300, false, {{1, 40}}},
      // Enlarged, and larger in one direction only.
      {40, 30, true, {{97, 70}, {40, 90}}},
      // A tall source with more rows than the blocks in flight hold.
      {130, 1500, true, {{13, 150}, {26, 300}, {52, 600}}},
  };
  std::mt19937 rng(66);
  for (const Case& c : cases) {
    const std::string label = std::to_string(c.w) + "x" + std::to_string(c.h) + (c.alpha ? " with alpha" : "");
    TVXBitmap source(c.w, c.h, vx24RGB);
    FillRandom(source, rng, c.h % 2 == 0);
    if (c.alpha) FillRandom(*source.AlphaChannel(), rng, c.h % 2 != 0);
    ASSERT_TRUE(TVXRowResampler::Streamable(c.w, c.h, c.targets, rfMitchell)) << label;

    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(&source);
    std::vector<TVXBitmap> expected(c.targets.size());
    for (size_t i = 0; i < c.targets.size(); ++i)
      proc.ResampleTo(&expected[i], c.targets[i].Width, c.targets[i].Height, rfMitchell, false);

    // The rows as the bitmap holds them (B G R) and as a file stores them
    // (R G B): the same targets.
    for (const bool rgb : {false, true}) {
      SCOPED_TRACE(rgb ? "R G B rows" : "B G R rows");
      TVXRowResampler rows(c.w, c.h, c.alpha, c.targets, rfMitchell, 4, rgb);
      std::vector<uint8_t> turned(size_t(c.w) * 3);
      for (int32_t y = 0; y < c.h; ++y) {
        const auto* line = static_cast<const uint8_t*>(source.GetScanLine(y));
        if (rgb) {
          for (int32_t x = 0; x < c.w; ++x) {
            turned[size_t(x) * 3] = line[size_t(x) * 3 + 2];
            turned[size_t(x) * 3 + 1] = line[size_t(x) * 3 + 1];
            turned[size_t(x) * 3 + 2] = line[size_t(x) * 3];
          }
          line = turned.data();
        }
        rows.Row(y, line, c.alpha ? static_cast<const uint8_t*>(source.AlphaChannel()->GetScanLine(y)) : nullptr);
      }
      ASSERT_TRUE(rows.Finish()) << label;

      for (size_t i = 0; i < c.targets.size(); ++i) {
        const TVXResampleSize t = c.targets[i];
        SCOPED_TRACE(label + " to " + std::to_string(t.Width) + "x" + std::to_string(t.Height));
        TVXBitmap got;
        ASSERT_EQ(rows.IndexOf(t.Width, t.Height), int32_t(i));
        rows.ResampleTo(int32_t(i), &got);
        ASSERT_EQ(got.Width(), expected[i].Width());
        ASSERT_EQ(got.Height(), expected[i].Height());
        EXPECT_EQ(got.PixelFormat(), expected[i].PixelFormat());
        EXPECT_EQ(Pixels(got), Pixels(expected[i]));
        ASSERT_EQ(got.HasAlphaChannel(), expected[i].HasAlphaChannel());
        if (c.alpha) {
          EXPECT_EQ(Pixels(*got.AlphaChannel()), Pixels(*expected[i].AlphaChannel()));
        }
      }
      EXPECT_EQ(rows.IndexOf(c.w + 1, c.h + 1), -1);
    }
  }
}

TEST(ResampleRows, WhatTheRowsCannotMake) {
  struct Case {
    int32_t w, h;
    std::vector<TVXResampleSize> targets;
    TResampleFilter filter;
    bool streamable;
  } cases[] = {
      {100, 80, {{10, 8}, {20, 16}}, rfMitchell, true},
      {100, 80, {{10, 8}, {100, 80}}, rfMitchell, false},  // a copy, not a resample
      {1, 1, {{10, 10}}, rfMitchell, false},                // one pixel fills the target
      {100, 80, {{0, 8}}, rfMitchell, false},
      {100, 80, {{10, 8}}, rfBilinear, false},  // not a kernel filter
      {100, 80, {{10, 8}}, rfNone, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TVXRowResampler::Streamable(c.w, c.h, c.targets, c.filter), c.streamable)
        << c.w << "x" << c.h << " filter " << int(c.filter);
}

TEST(ResampleRows, MissingRowsAreReported) {
  TVXRowResampler rows(50, 70, false, {{5, 7}}, rfMitchell, 2);
  std::vector<uint8_t> row(150, 9);
  for (int32_t y = 0; y < 69; ++y) rows.Row(y, row.data(), nullptr);
  rows.Row(0, row.data(), nullptr);  // out of order: not taken
  EXPECT_FALSE(rows.Finish());
}

}  // namespace
