// The scalers beside the kernel resampler: nearest neighbour, fast linear,
// 1-bit scalers, projections, area-integrating bilinear and bicubic.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/bitmap.h"
#include "resample/resample.h"

namespace {

std::vector<uint8_t> Row8(TVXBitmap& b, int32_t y) {
  const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
  return std::vector<uint8_t>(p, p + size_t(b.Width()) * size_t(b.BitCount()) / 8);
}

bool Bit(TVXBitmap& b, int32_t x, int32_t y) {
  const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
  return (p[x >> 3] & (0x80 >> (x & 7))) != 0;
}

void SetRow8(TVXBitmap& b, int32_t y, std::initializer_list<uint8_t> v) {
  std::memcpy(b.GetScanLine(y), std::data(v), v.size());
}

TEST(ResampleVariants, NearestStretch) {
  // Column map Trunc(i * SW / DW): 3 -> 5 gives 0, 0, 1, 1, 2 (0.6 * 3 = 1.8).
  TVXBitmap b(3, 2, vx8g);
  SetRow8(b, 0, {1, 2, 3});
  SetRow8(b, 1, {4, 5, 6});
  TVXBitmap t(5, 4, vx8g);
  std::vector<int32_t> progress;
  VXStretchNearest(&b, &t, [&](void* s, int32_t per) {
    EXPECT_EQ(s, &b);
    progress.push_back(per);
  }, &b);
  EXPECT_EQ(Row8(t, 0), (std::vector<uint8_t>{1, 1, 2, 2, 3}));
  EXPECT_EQ(Row8(t, 1), (std::vector<uint8_t>{1, 1, 2, 2, 3}));
  EXPECT_EQ(Row8(t, 2), (std::vector<uint8_t>{4, 4, 5, 5, 6}));
  // Trunc(j * 100 / 4.5), each value once.
  EXPECT_EQ(progress, (std::vector<int32_t>{0, 22, 44, 66}));

  // A palette image keeps its palette; 1-bit pixels are copied as bits.
  TVXBitmap p(4, 1, vx8p);
  p.SetPalette(7, TRGB{1, 2, 3});
  SetRow8(p, 0, {7, 0, 7, 0});
  TVXBitmap pt(2, 1, vx8p);
  VXStretchNearest(&p, &pt);
  EXPECT_EQ(pt.Palette(7), (TRGB{1, 2, 3}));
  EXPECT_EQ(Row8(pt, 0), (std::vector<uint8_t>{7, 7}));
  TVXBitmap one(10, 1, vx1g);
  static_cast<uint8_t*>(one.GetScanLine(0))[0] = 0xF0;
  TVXBitmap onet(20, 1, vx1g);
  VXStretchNearest(&one, &onet);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(Bit(onet, x, 0), x < 8) << x;
  // A target of another format is left alone.
  TVXBitmap other(2, 1, vx24RGB);
  VXStretchNearest(&p, &other);
  EXPECT_EQ(Row8(other, 0), std::vector<uint8_t>(6, 0));
}

TEST(ResampleVariants, FastLinear) {
  // Enlargement interpolates with 17-bit fractions; reduction averages
  // boxes that share their border pixel.
  TVXBitmap b(2, 1, vx8g);
  SetRow8(b, 0, {0, 200});
  TVXBitmap t(4, 1, vx8g);
  ResampleFastLinear8(&b, &t);
  // x0 = Trunc(i / 2), frac = 0 or 65536; b at Min(x0 + 1, 1).
  EXPECT_EQ(Row8(t, 0), (std::vector<uint8_t>{0, 100, 200, 200}));

  TVXBitmap r(6, 1, vx8g);
  SetRow8(r, 0, {0, 30, 60, 90, 120, 150});
  TVXBitmap rt(3, 1, vx8g);
  ResampleFastLinear8(&r, &rt);
  // Boxes 0..2, 2..4 and 4..4 (the last box ends at Trunc(2 / 0.5)).
  EXPECT_EQ(Row8(rt, 0), (std::vector<uint8_t>{30, 90, 120}));

  // Equal sizes copy the image.
  TVXBitmap c(5, 3, vx24RGB);
  std::mt19937 rng(1);
  for (int32_t y = 0; y < 3; ++y)
    for (int i = 0; i < 15; ++i) static_cast<uint8_t*>(c.GetScanLine(y))[i] = uint8_t(rng());
  TVXBitmap ct(5, 3, vx24RGB);
  ResampleFastLinear24(&c, &ct);
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(Row8(ct, y), Row8(c, y));

  // 16-bit words interpolate in 64 bits.
  TVXBitmap w(2, 1, vx16g);
  const uint16_t wv[2] = {0, 65535};
  std::memcpy(w.GetScanLine(0), wv, 4);
  TVXBitmap wt(4, 1, vx16g);
  ResampleFastLinear16(&w, &wt);
  uint16_t out[4];
  std::memcpy(out, wt.GetScanLine(0), 8);
  EXPECT_EQ(out[1], 32767);
  EXPECT_EQ(out[2], 65535);
}

TEST(ResampleVariants, OneBitReductionAverages) {
  // Reduced both ways, a checkerboard becomes grey by averaging bits.
  TVXBitmap b(16, 16, vx1g);
  for (int32_t y = 0; y < 16; ++y) std::memset(b.GetScanLine(y), (y % 2) ? 0xAA : 0x55, 2);
  TVXBitmap t(4, 4, vx24RGB);
  ResampleFastLinear1Bit(&b, &t);
  for (int32_t y = 0; y < 4; ++y) {
    const std::vector<uint8_t> row = Row8(t, y);
    for (int32_t x = 0; x < 4; ++x) {
      EXPECT_EQ(row[size_t(3 * x)], row[size_t(3 * x + 1)]);
      EXPECT_GT(row[size_t(3 * x)], 100) << x << "," << y;
      EXPECT_LT(row[size_t(3 * x)], 160) << x << "," << y;
    }
  }
  // Averaged stretch of a rectangle: all set bits give white.
  TVXBitmap w(8, 8, vx1g);
  for (int32_t y = 0; y < 8; ++y) static_cast<uint8_t*>(w.GetScanLine(y))[0] = 0xFF;
  TVXBitmap wt(2, 2, vx24RGB);
  VXStretch1BitAveraged(&w, 0, 0, 7, 7, &wt);
  EXPECT_EQ(Row8(wt, 1), std::vector<uint8_t>(6, 255));
  // Enlarged, 1-bit interpolation gives grey between black and white.
  TVXBitmap e(2, 1, vx1g);
  static_cast<uint8_t*>(e.GetScanLine(0))[0] = 0x40;  // black, white
  TVXBitmap et(4, 1, vx24RGB);
  ResampleFastLinear1Bit(&e, &et);
  EXPECT_EQ(Row8(et, 0), (std::vector<uint8_t>{0, 0, 0, 127, 127, 127, 255, 255, 255, 255, 255, 255}));
}

TEST(ResampleVariants, ProjectionsKeepThinLines) {
  // A one-pixel black line on white survives any reduction with rfProjectBW;
  // a white line on black with rfProjectWB.
  for (int32_t factor : {2, 3, 7, 10}) {
    const int32_t n = 70;
    TVXBitmap b(n, n, vx24RGB);
    TVXBitmap inv(n, n, vx24RGB);
    TVXBitmap bits(n, n, vx1g);
    for (int32_t y = 0; y < n; ++y) {
      uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
      uint8_t* q = static_cast<uint8_t*>(inv.GetScanLine(y));
      std::memset(p, 255, size_t(n) * 3);
      std::memset(q, 0, size_t(n) * 3);
      std::memset(p + 3 * 33, 0, 3);
      std::memset(q + 3 * 33, 255, 3);
      uint8_t* r = static_cast<uint8_t*>(bits.GetScanLine(y));
      std::memset(r, 0xFF, (n + 7) / 8);
      r[33 >> 3] = uint8_t(r[33 >> 3] & ~(0x80 >> (33 & 7)));
    }
    const int32_t dw = n / factor;
    TVXBitmap t(dw, dw, vx24RGB);
    ResampleProject24(&b, &t, false);
    ASSERT_EQ(t.PixelFormat(), vx1g);
    TVXBitmap tw(dw, dw, vx24RGB);
    ResampleProject24(&inv, &tw, true);
    TVXBitmap tb(dw, dw, vx1g);
    ResampleProject1Bit(&bits, &tb, false);
    for (int32_t y = 0; y < dw; ++y) {
      int dark = 0, light = 0, darkBits = 0;
      for (int32_t x = 0; x < dw; ++x) {
        dark += !Bit(t, x, y);
        light += Bit(tw, x, y);
        darkBits += !Bit(tb, x, y);
      }
      EXPECT_GE(dark, 1) << "factor " << factor << " row " << y;
      EXPECT_LE(dark, 2);
      EXPECT_GE(light, 1) << "factor " << factor << " row " << y;
      EXPECT_GE(darkBits, 1) << "factor " << factor << " row " << y;
    }
  }
}

TEST(ResampleVariants, BilinearAlphaTakesOpaqueNeighbour) {
  // Red opaque pixel beside a transparent green one, enlarged: the colour of
  // the transparent pixel does not bleed in.
  TVXBitmap b(2, 2, vx24RGB);
  for (int32_t y = 0; y < 2; ++y) {
    uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
    p[0] = 0, p[1] = 0, p[2] = 255;    // red
    p[3] = 0, p[4] = 255, p[5] = 0;    // green
  }
  TVXBitmap* a = b.AlphaChannel();
  for (int32_t y = 0; y < 2; ++y) SetRow8(*a, y, {255, 0});
  TVXBitmap t(6, 6, vx24RGB);
  ResampleBilinearBicubic24(&b, &t, a, nullptr, nullptr, false);
  // Target columns 0..2 lie over the red pixel (column 2 is sampled at its
  // right edge, where the green one begins).
  for (int32_t y = 0; y < 6; ++y) {
    const std::vector<uint8_t> row = Row8(t, y);
    for (int32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(row[size_t(3 * x + 1)], 0) << x << "," << y;
      EXPECT_EQ(row[size_t(3 * x + 2)], 255) << x << "," << y;
    }
  }
  // Without the alpha channel the green comes in.
  TVXBitmap m(6, 6, vx24RGB);
  ResampleBilinearBicubic24(&b, &m, nullptr, nullptr, nullptr, false);
  EXPECT_GT(Row8(m, 2)[size_t(3 * 2 + 1)], 0);
}

TEST(ResampleVariants, BilinearAndBicubicStayInRange) {
  // A step from black to white: cubic convolution overshoots on both sides of
  // the edge; clamped results rise monotonically along every row.
  for (bool bicubic : {false, true}) {
    const int32_t shapes[][4] = {{9, 7, 23, 19}, {31, 17, 8, 5}, {10, 10, 25, 6}, {12, 30, 5, 45}};
    for (const auto& s : shapes) {
      TVXBitmap b(s[0], s[1], vx24RGB);
      TVXBitmap w(s[0], s[1], vx16g);
      for (int32_t y = 0; y < s[1]; ++y) {
        uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
        uint16_t* q = static_cast<uint16_t*>(w.GetScanLine(y));
        for (int32_t x = 0; x < s[0]; ++x) {
          std::memset(p + 3 * x, x < s[0] / 2 ? 0 : 255, 3);
          q[x] = x < s[0] / 2 ? 0 : 65535;
        }
      }
      TVXBitmap t(s[2], s[3], vx24RGB);
      std::vector<int32_t> progress;
      ResampleBilinearBicubic24(&b, &t, nullptr, [&](void*, int32_t per) { progress.push_back(per); }, nullptr,
                                bicubic);
      ASSERT_EQ(int32_t(progress.size()), s[3]);
      EXPECT_EQ(progress.back(), 100);
      TVXBitmap wt(s[2], s[3], vx16g);
      ResampleBilinearBicubic48(&w, &wt, bicubic);
      for (int32_t y = 0; y < s[3]; ++y) {
        const std::vector<uint8_t> row = Row8(t, y);
        const uint16_t* q = static_cast<const uint16_t*>(wt.GetScanLine(y));
        for (int32_t x = 1; x < s[2]; ++x) {
          EXPECT_LE(row[size_t(3 * (x - 1))], row[size_t(3 * x)]) << bicubic << " " << x << "," << y;
          EXPECT_LE(q[x - 1], q[x]) << bicubic << " " << x << "," << y;
        }
        EXPECT_EQ(row[0], 0);
        EXPECT_EQ(row[size_t(3 * (s[2] - 1))], 255);
      }
      // Uniform input stays uniform.
      TVXBitmap u(s[0], s[1], vx8g);
      for (int32_t y = 0; y < s[1]; ++y) std::memset(u.GetScanLine(y), 77, size_t(s[0]));
      TVXBitmap ut(s[2], s[3], vx8g);
      ResampleBilinearBicubic24(&u, &ut, nullptr, nullptr, nullptr, bicubic);
      for (int32_t y = 0; y < s[3]; ++y) EXPECT_EQ(Row8(ut, y), std::vector<uint8_t>(size_t(s[2]), 77));
    }
  }
  // The 48-bit colour format resamples too; other formats and mixed pairs
  // are left alone.
  struct Case {
    TVXPixelFormat From, To;
    bool Wide, Resampled;
  } cases[] = {
      {vx48RGB, vx48RGB, true, true}, {vx24RGB, vx8g, false, false}, {vx1g, vx1g, false, false},
      {vx48RGB, vx48RGB, false, false}, {vx24RGB, vx24RGB, true, false}, {vx16g, vx48RGB, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.From)) + " to " + std::to_string(int(c.To)) + (c.Wide ? " wide" : ""));
    TVXBitmap from(5, 4, c.From), to(7, 3, c.To);
    for (int32_t y = 0; y < 4; ++y) std::memset(from.GetScanLine(y), 0x42, size_t(from.RowLen()));
    for (int32_t y = 0; y < 3; ++y) std::memset(to.GetScanLine(y), 0x07, size_t(to.RowLen()));
    if (c.Wide)
      ResampleBilinearBicubic48(&from, &to, true);
    else
      ResampleBilinearBicubic24(&from, &to, nullptr, nullptr, nullptr, true);
    const uint8_t* row = static_cast<const uint8_t*>(to.GetScanLine(1));
    const size_t used = size_t(to.RowLen()) < size_t(7 * 6) ? size_t(to.RowLen()) : size_t(7 * 6);
    for (size_t i = 0; i < (c.Resampled ? used : size_t(to.RowLen())); ++i)
      EXPECT_EQ(row[i], c.Resampled ? 0x42 : 0x07) << i;
  }
  // Weights at t = 0.5: -0.125, 0.625, 0.625, -0.125.
  EXPECT_EQ(CubicWeight(0, 100, 100, 0, 0.5, 0, 255), 125);
  EXPECT_EQ(CubicWeight(255, 0, 0, 255, 0.5, 0, 255), 0);
  EXPECT_EQ(CubicWeight(0, 255, 255, 255, 0.5, 0, 255), 255);  // overshoot lowered to High
}

}  // namespace
