// The fast kernel resampler against the plain reference, byte for byte.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "resample/resample_engine.h"

namespace {

struct Plane {
  int32_t w = 0, h = 0, channels = 1;
  bool wide = false;
  std::vector<uint8_t> bytes;
  size_t RowBytes() const { return size_t(w) * size_t(channels) * (wide ? 2 : 1); }
};

Plane RandomPlane(std::mt19937& rng, int32_t w, int32_t h, int32_t channels, bool wide, int kind) {
  Plane p;
  p.w = w, p.h = h, p.channels = channels, p.wide = wide;
  p.bytes.resize(p.RowBytes() * size_t(h));
  if (kind == 0) {
    for (auto& b : p.bytes) b = uint8_t(rng());
  } else {
    // Sharp black and white edges drive the kernels' negative lobes into the
    // clamp on both sides.
    for (auto& b : p.bytes) b = (rng() & 1) ? 0xFF : 0x00;
  }
  return p;
}

Plane Resize(const Plane& src, int32_t dw, int32_t dh, TResampleFilter f, bool zeroDivides, bool reference,
          int32_t threads) {
  Plane out;
  out.w = dw, out.h = dh, out.channels = src.channels, out.wide = src.wide;
  out.bytes.assign(out.RowBytes() * size_t(dh), 0xCD);
  TVXKernelJob job;
  job.SrcWidth = src.w;
  job.SrcHeight = src.h;
  job.DstWidth = dw;
  job.DstHeight = dh;
  job.Channels = src.channels;
  job.Wide = src.wide;
  job.Filter = f;
  job.HorizZeroSumDivides = zeroDivides;
  job.Threads = threads;
  const size_t sl = src.RowBytes(), dl = out.RowBytes();
  job.SrcRow = [&](int32_t y, void*) -> const void* { return src.bytes.data() + size_t(y) * sl; };
  job.DstRow = [&](int32_t y, const void* row) { std::memcpy(out.bytes.data() + size_t(y) * dl, row, dl); };
  if (reference)
    VXKernelResampleReference(job);
  else
    VXKernelResample(job);
  return out;
}

TEST(ResampleEngine, FourToTwoMitchell) {
  Plane src;
  src.w = 4, src.h = 1, src.channels = 1;
  src.bytes = {0, 0, 255, 255};
  for (bool reference : {true, false}) {
    Plane out = Resize(src, 2, 1, rfMitchell, true, reference, 4);
    EXPECT_EQ(out.bytes, (std::vector<uint8_t>{57, 224})) << (reference ? "reference" : "fast");
  }
}

// Random sizes including 1-pixel axes, equal axes, enlargement and extreme
// reduction; every kernel, 1 and 3 channels, bytes and words, 1 to 8 threads.
TEST(ResampleEngine, FastMatchesReference) {
  std::mt19937 rng(20261209);
  const int32_t shapes[][4] = {
      {1, 1, 5, 3},    {1, 7, 1, 9},     {7, 1, 9, 1},     {13, 13, 13, 7},  {9, 17, 9, 17},
      {3, 2, 40, 25},  {2000, 3, 5, 2},  {3, 1500, 2, 4},  {640, 480, 48, 36}, {97, 61, 211, 143},
      {300, 200, 1, 1}, {5, 900, 5, 3},  {1024, 8, 1023, 8},
      // Long windows (the split-plane rows), odd widths for the row tails;
      // weights within a byte for most filters, beyond it for some (37 to 7,
      // 43 to 8).
      {2400, 3, 54, 2}, {2399, 2, 289, 3}, {1203, 4, 37, 2}, {977, 3, 41, 5}, {37, 3, 7, 2}, {43, 2, 8, 3},
  };
  int cases = 0;
  for (const auto& s : shapes) {
    for (int32_t f = rfTriangle; f <= rfLinear; ++f) {
      for (int variant = 0; variant < 3; ++variant) {
        const int32_t channels = variant == 1 ? 1 : 3;
        const bool wide = variant == 2;
        Plane src = RandomPlane(rng, s[0], s[1], wide ? 1 : channels, wide, int(rng() % 2));
        const bool zeroDivides = (rng() & 1) != 0;
        Plane ref = Resize(src, s[2], s[3], TResampleFilter(f), zeroDivides, true, 1);
        for (int32_t threads : {1, 3, 8}) {
          // Odd thread counts also take the portable loops.
          vxdetail::VXResampleForceScalar(threads == 3);
          Plane fast = Resize(src, s[2], s[3], TResampleFilter(f), zeroDivides, false, threads);
          vxdetail::VXResampleForceScalar(false);
          ASSERT_EQ(fast.bytes, ref.bytes) << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3] << " filter "
                                           << f << " channels " << src.channels << " wide " << wide << " threads "
                                           << threads;
          ++cases;
        }
      }
    }
  }
  // Random shapes on top of the table.
  for (int it = 0; it < 150; ++it) {
    const int32_t sw = 1 + int32_t(rng() % 300), sh = 1 + int32_t(rng() % 300);
    const int32_t dw = 1 + int32_t(rng() % 300), dh = 1 + int32_t(rng() % 300);
    const int32_t f = rfTriangle + int32_t(rng() % 8);
    const bool wide = rng() % 4 == 0;
    const int32_t channels = wide ? 1 : ((rng() & 1) ? 3 : 1);
    Plane src = RandomPlane(rng, sw, sh, channels, wide, int(rng() % 2));
    const bool zeroDivides = (rng() & 1) != 0;
    Plane ref = Resize(src, dw, dh, TResampleFilter(f), zeroDivides, true, 1);
    Plane fast = Resize(src, dw, dh, TResampleFilter(f), zeroDivides, false, 1 + int32_t(rng() % 8));
    ASSERT_EQ(fast.bytes, ref.bytes) << sw << "x" << sh << " -> " << dw << "x" << dh << " filter " << f;
  }
  EXPECT_GT(cases, 0);
}

TEST(ResampleEngine, ResultDoesNotDependOnThreads) {
  std::mt19937 rng(7);
  Plane src = RandomPlane(rng, 1200, 900, 3, false, 0);
  Plane one = Resize(src, 173, 131, rfMitchell, true, false, 1);
  for (int32_t threads : {2, 5, 8, 16}) {
    Plane many = Resize(src, 173, 131, rfMitchell, true, false, threads);
    EXPECT_EQ(many.bytes, one.bytes) << threads << " threads";
  }
  Plane up1 = Resize(src, 1900, 1300, rfLanczos3, true, false, 1);
  Plane up8 = Resize(src, 1900, 1300, rfLanczos3, true, false, 8);
  EXPECT_EQ(up1.bytes, up8.bytes);
}

TEST(ResampleEngine, SharedTables) {
  // Tables built once serve every job of their sizes and filter; tables of
  // other sizes are not used.
  std::mt19937 rng(11);
  Plane colour = RandomPlane(rng, 300, 200, 3, false, 0);
  Plane alpha = RandomPlane(rng, 300, 200, 1, false, 0);
  TVXKernelJob job;
  job.SrcWidth = 300, job.SrcHeight = 200, job.DstWidth = 61, job.DstHeight = 47;
  job.Filter = rfMitchell;
  std::shared_ptr<const TVXKernelTables> tables = VXKernelBuildTables(job);
  ASSERT_TRUE(VXKernelTablesFit(*tables, job));
  for (const Plane* src : {&colour, &alpha}) {
    for (int32_t dw : {61, 62}) {
      Plane expected = Resize(*src, dw, 47, rfMitchell, false, true, 1);
      Plane out;
      out.w = dw, out.h = 47, out.channels = src->channels;
      out.bytes.assign(out.RowBytes() * 47, 0);
      TVXKernelJob k = job;
      k.DstWidth = dw;
      k.Channels = src->channels;
      k.Threads = 4;
      k.Tables = tables;
      EXPECT_EQ(VXKernelTablesFit(*tables, k), dw == 61);
      const size_t sl = src->RowBytes(), dl = out.RowBytes();
      k.SrcRow = [&](int32_t y, void*) -> const void* { return src->bytes.data() + size_t(y) * sl; };
      k.DstRow = [&](int32_t y, const void* row) { std::memcpy(out.bytes.data() + size_t(y) * dl, row, dl); };
      VXKernelResample(k);
      EXPECT_EQ(out.bytes, expected.bytes) << src->channels << " channels, width " << dw;
    }
  }
}

TEST(ResampleEngine, ExtremeReductionIsNotBlack) {
  // 2000 x 1 of mid grey down to 5 x 1: every rounded weight is 0, yet the
  // result keeps the grey.
  Plane src;
  src.w = 2000, src.h = 1, src.channels = 1;
  src.bytes.assign(2000, 128);
  for (bool reference : {true, false}) {
    Plane out = Resize(src, 5, 1, rfMitchell, true, reference, 8);
    EXPECT_EQ(out.bytes, std::vector<uint8_t>(5, 128));
  }
}

TEST(ResampleEngine, ProgressOfTheCallingThreadRun) {
  Plane src;
  src.w = 4, src.h = 4, src.channels = 3;
  src.bytes.assign(48, 100);
  std::vector<int32_t> reports;
  TVXKernelJob job;
  job.SrcWidth = 4, job.SrcHeight = 4, job.DstWidth = 2, job.DstHeight = 2;
  job.Channels = 3;
  job.Filter = rfMitchell;
  job.HorizZeroSumDivides = true;
  job.Threads = 1;
  job.SrcRow = [&](int32_t y, void*) -> const void* { return src.bytes.data() + size_t(y) * 12; };
  job.DstRow = [](int32_t, const void*) {};
  job.Progress = [&](int32_t per) { reports.push_back(per); };
  VXKernelResample(job);
  // per1 = 100 / (4 + 2 + 0.5): rows 1..4 of the first pass, then 5 and 6.
  EXPECT_EQ(reports, (std::vector<int32_t>{15, 30, 46, 61, 76, 92}));
}

// The passes taken apart: rows fed in blocks, out of order and from several
// threads, give the bytes of the whole-image call, with padded rows (long
// vector loads) and rows that end at the source width alike.
TEST(ResampleEngine, RowsFedInBlocksMatchWholeImage) {
  std::mt19937 rng(66);
  const int32_t shapes[][5] = {
      // sw, sh, dw, dh, channels
      {2400, 40, 54, 2, 3}, {2400, 40, 289, 27, 3}, {641, 33, 73, 5, 3},  {97, 61, 211, 143, 3},
      {300, 200, 1, 1, 1},  {640, 48, 48, 36, 1},   {5, 900, 5, 3, 3},    {2000, 3, 5, 2, 1},
      {1, 9, 1, 4, 3},      {13, 1, 3, 1, 1},
  };
  for (const auto& s : shapes) {
    const int32_t sw = s[0], sh = s[1], dw = s[2], dh = s[3], channels = s[4];
    Plane src = RandomPlane(rng, sw, sh, channels, false, int(rng() % 2));
    const bool zeroDivides = channels == 3;
    Plane whole = Resize(src, dw, dh, rfMitchell, zeroDivides, false, 4);
    for (bool padded : {false, true}) {
      Plane out;
      out.w = dw, out.h = dh, out.channels = channels;
      out.bytes.assign(out.RowBytes() * size_t(dh), 0xCD);
      TVXKernelJob job;
      job.SrcWidth = sw, job.SrcHeight = sh, job.DstWidth = dw, job.DstHeight = dh;
      job.Channels = channels;
      job.Filter = rfMitchell;
      job.HorizZeroSumDivides = zeroDivides;
      job.Threads = 3;
      TVXKernelRows rows(job);
      // Blocks of 7 rows, copied with slack when padded, the last block first.
      const size_t sl = src.RowBytes(), stride = padded ? sl + kVXKernelRowSlack : sl;
      std::vector<int32_t> firsts;
      for (int32_t y = 0; y < sh; y += 7) firsts.insert(firsts.begin(), y);
      std::vector<std::thread> threads;
      for (int32_t first : firsts) {
        threads.emplace_back([&, first] {
          const int32_t count = std::min(7, sh - first);
          std::vector<uint8_t> block(stride * size_t(count), 0xEE);
          for (int32_t k = 0; k < count; ++k)
            std::memcpy(block.data() + size_t(k) * stride, src.bytes.data() + size_t(first + k) * sl, sl);
          rows.Rows(first, count, block.data(), stride, padded);
        });
      }
      for (auto& t : threads) t.join();
      const size_t dl = out.RowBytes();
      rows.Finish([&](int32_t y, const void* row) { std::memcpy(out.bytes.data() + size_t(y) * dl, row, dl); }, true);
      EXPECT_EQ(out.bytes, whole.bytes) << sw << "x" << sh << " -> " << dw << "x" << dh << " channels " << channels
                                        << (padded ? " padded" : "");
    }
  }
}

// Grey rows: a change to any one byte of any pixel makes the row colour,
// whatever its place in the vector steps and the tail; the grey taken out is
// each pixel's first byte.
TEST(ResampleEngine, GreyRowsFoundAndTakenOut) {
  for (bool scalar : {false, true}) {
    vxdetail::VXResampleForceScalar(scalar);
    for (int32_t w : {1, 15, 16, 17, 33, 50}) {
      std::vector<uint8_t> row(size_t(w) * 3);
      for (int32_t x = 0; x < w; ++x) row[size_t(x) * 3] = row[size_t(x) * 3 + 1] = row[size_t(x) * 3 + 2] = uint8_t(x * 37);
      EXPECT_TRUE(VXKernelRowIsGrey(row.data(), w)) << w << (scalar ? " scalar" : "");
      std::vector<uint8_t> grey(size_t(w), 0xEE);
      VXKernelGreyOfRow(row.data(), w, grey.data());
      for (int32_t x = 0; x < w; ++x) EXPECT_EQ(grey[size_t(x)], uint8_t(x * 37)) << w << " pixel " << x;
      for (size_t i = 0; i < row.size(); ++i) {
        row[i] ^= 0x10;
        EXPECT_FALSE(VXKernelRowIsGrey(row.data(), w)) << w << " byte " << i << (scalar ? " scalar" : "");
        row[i] ^= 0x10;
      }
    }
    vxdetail::VXResampleForceScalar(false);
  }
}

}  // namespace
