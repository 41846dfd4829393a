// TVXMask::CopyVXBitmap / CopyVXBitmapAlpha, the bitmap's masked copies, and
// the Bezier points.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/mask.h"

namespace {

// Writes channel value v into every channel of pixel x of row 0.
void SetAll(TVXBitmap* b, int32_t x, double v) {
  uint8_t* p = static_cast<uint8_t*>(b->ScanLine(0));
  const int32_t bytes = b->BitCount() / 8;
  switch (b->PixelFormat()) {
    case vx16g:
    case vx48RGB:
      for (int i = 0; i < bytes / 2; ++i) {
        const uint16_t w = uint16_t(v);
        std::memcpy(p + x * bytes + 2 * i, &w, 2);
      }
      break;
    case vx32f: {
      const float f = float(v);
      std::memcpy(p + 4 * x, &f, 4);
      break;
    }
    default:
      for (int i = 0; i < bytes; ++i) p[x * bytes + i] = uint8_t(v);
  }
}

double Get(TVXBitmap* b, int32_t x, int channel) {
  const uint8_t* p = static_cast<const uint8_t*>(b->ScanLine(0));
  const int32_t bytes = b->BitCount() / 8;
  switch (b->PixelFormat()) {
    case vx16g:
    case vx48RGB: {
      uint16_t w;
      std::memcpy(&w, p + x * bytes + 2 * channel, 2);
      return w;
    }
    case vx32f: {
      float f;
      std::memcpy(&f, p + 4 * x, 4);
      return f;
    }
    default:
      return p[x * bytes + channel];
  }
}

// Under an 8-bit mask every format blends each channel as
// d + floor((s - d) * m / 256); a 1-bit mask copies.
TEST(MaskMaskedCopy, BlendsEveryFormatThroughAnEightBitMask) {
  struct Case {
    TVXPixelFormat fmt;
    double lo, hi;  // destination and source values
    int channels;
  };
  const Case cases[] = {
      {vx8g, 0, 255, 1},          {vx24RGB, 0, 255, 3}, {vx32RGB, 0, 255, 4},   {vxCMYK, 0, 255, 4},
      {vx16g, 0, 65535, 1},       {vx48RGB, 0, 65535, 3}, {vx32f, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.fmt));
    // Pixels 0..3 with mask values 0, 128, 255 and 64; x = 1 also blends the
    // other way (d = hi, s = lo) through pixel 4.
    TVXBitmap d(5, 1, c.fmt), s(5, 1, c.fmt);
    for (int32_t x = 0; x < 5; ++x) {
      SetAll(&d, x, x == 4 ? c.hi : c.lo);
      SetAll(&s, x, x == 4 ? c.lo : c.hi);
    }
    TVXMask m;
    m.AllocateBits(5, 1, 8);
    const int32_t mv[5] = {0, 128, 255, 64, 128};
    for (int32_t x = 0; x < 5; ++x) m.SetPixel(x, 0, mv[x]);
    m.SyncRect();
    m.CopyVXBitmap(&d, &s, false, false, false);
    for (int32_t x = 0; x < 5; ++x) {
      const double dv = x == 4 ? c.hi : c.lo, sv = x == 4 ? c.lo : c.hi;
      const double want = c.fmt == vx32f ? float(dv + (sv - dv) * mv[x] / 256)
                                         : dv + std::floor((sv - dv) * mv[x] / 256);
      for (int ch = 0; ch < c.channels; ++ch) EXPECT_EQ(Get(&d, x, ch), want) << "x " << x << " ch " << ch;
    }
    // At 128 a byte goes to 127 from either side.
    if (c.hi == 255) {
      EXPECT_EQ(Get(&d, 1, 0), 127);
      EXPECT_EQ(Get(&d, 4, 0), 127);
    }
  }
  // CIELab: a and b are signed.
  TVXBitmap d(1, 1, vxCIELab), s(1, 1, vxCIELab);
  d.SetPixels_vxCIELab(0, 0, TCIELab{10, -100, 100});
  s.SetPixels_vxCIELab(0, 0, TCIELab{90, 100, -100});
  TVXMask m;
  m.AllocateBits(1, 1, 8);
  m.SetPixel(0, 0, 128);
  m.SyncRect();
  m.CopyVXBitmap(&d, &s, false, false, false);
  EXPECT_EQ(d.Pixels_vxCIELab(0, 0), (TCIELab{50, 0, 0}));
}

TEST(MaskMaskedCopy, OneBitMaskCopiesAndRegionsClip) {
  TVXBitmap d(8, 6, vx24RGB), s(8, 6, vx24RGB);
  s.Fill(0xFFFFFF);
  TVXMask m;
  m.AllocateBits(8, 6, 1);
  m.SetRectangle(2, 1, 5, 3, 1);
  m.CopyVXBitmap(&d, &s, false, false, false);
  EXPECT_EQ(d.Pixels_vx24RGB(2, 1), (TRGB{255, 255, 255}));
  EXPECT_EQ(d.Pixels_vx24RGB(5, 3), (TRGB{255, 255, 255}));
  EXPECT_EQ(d.Pixels_vx24RGB(1, 1), (TRGB{0, 0, 0}));
  EXPECT_EQ(d.Pixels_vx24RGB(6, 3), (TRGB{0, 0, 0}));

  // vx1g: the bit is copied, set or cleared.
  TVXBitmap d1(8, 6, vx1g), s1(8, 6, vx1g);
  d1.Fill(1);
  s1.SetPixels_vx1g(3, 2, true);
  m.CopyVXBitmap(&d1, &s1, false, false, false);
  EXPECT_TRUE(d1.Pixels_vx1g(3, 2));
  EXPECT_FALSE(d1.Pixels_vx1g(4, 2));
  EXPECT_TRUE(d1.Pixels_vx1g(6, 2));

  // A source that holds only the box, smaller than the box, and a smaller
  // destination: only what lies inside both is touched.
  TVXBitmap small(2, 2, vx24RGB), tiny(4, 2, vx24RGB);
  small.Fill(0x0000FF);
  m.CopyVXBitmap(&tiny, &small, false, true, false);
  EXPECT_EQ(tiny.Pixels_vx24RGB(2, 1), (TRGB{0, 0, 255}));
  EXPECT_EQ(tiny.Pixels_vx24RGB(3, 1), (TRGB{0, 0, 255}));
  EXPECT_EQ(tiny.Pixels_vx24RGB(2, 0), (TRGB{0, 0, 0}));

  // Formats that differ copy nothing.
  TVXBitmap g(8, 6, vx8g);
  m.CopyVXBitmap(&g, &s, false, false, false);
  EXPECT_EQ(g.Pixels_vx8(3, 2), 0);
}

TEST(MaskMaskedCopy, AlphaThroughTheMask) {
  TVXBitmap d(6, 4, vx24RGB), s(6, 4, vx24RGB);
  TVXBitmap* sa = s.AlphaChannel();
  sa->Fill(200);
  TVXMask m;
  m.AllocateBits(6, 4, 8);
  m.SetRectangle(1, 1, 4, 2, 255);
  m.SetPixel(2, 1, 0);
  m.SetPixel(3, 1, 100);
  m.SyncRect();
  m.CopyVXBitmapAlpha(&d, &s, false, false);
  TVXBitmap* da = d.AlphaChannelOpt();
  ASSERT_NE(da, nullptr);
  EXPECT_FALSE(da->Full());
  EXPECT_EQ(da->Pixels_vx8(1, 1), 200);  // min(source alpha, 255)
  EXPECT_EQ(da->Pixels_vx8(2, 1), 0);    // unselected part of the box
  EXPECT_EQ(da->Pixels_vx8(3, 1), 100);  // min(200, 100)
  EXPECT_EQ(da->Pixels_vx8(0, 0), 255);  // outside the box: kept

  // Without a source alpha, a 1-bit mask gives 255 and 0.
  TVXBitmap d2(6, 4, vx24RGB), s2(6, 4, vx24RGB);
  TVXMask m1;
  m1.AllocateBits(6, 4, 1);
  m1.SetRectangle(1, 1, 2, 2, 1);
  m1.SetRectangle(4, 2, 4, 2, 1);
  m1.CopyVXBitmapAlpha(&d2, &s2, false, false);
  EXPECT_EQ(d2.AlphaChannel()->Pixels_vx8(1, 1), 255);
  EXPECT_EQ(d2.AlphaChannel()->Pixels_vx8(3, 1), 0);
}

TEST(MaskMaskedCopy, BitmapMaskedCopies) {
  TVXBitmap src(10, 8, vx24RGB);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 10; ++x) src.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x), uint8_t(y), 9});
  TVXMask m;
  m.AllocateBits(10, 8, 1);
  m.SetRectangle(2, 3, 5, 6, 1);
  m.SetPixel(2, 3, 0);  // a hole in the box
  // With a background fill: the hole takes the colour, and alpha 0.
  TVXBitmap box;
  src.CopyWithMask1(&box, &m, 0x0000FF);
  ASSERT_EQ(box.Width(), 4);
  ASSERT_EQ(box.Height(), 4);
  EXPECT_EQ(box.Pixels_vx24RGB(0, 0), (TRGB{0, 0, 255}));
  EXPECT_EQ(box.Pixels_vx24RGB(1, 0), (TRGB{3, 3, 9}));
  // Without a fill the hole keeps the image; an empty mask does nothing.
  TVXBitmap box2;
  src.CopyWithMask1(&box2, &m);
  EXPECT_EQ(box2.Pixels_vx24RGB(0, 0), (TRGB{2, 3, 9}));
  TVXMask empty;
  empty.AllocateBits(10, 8, 1);
  TVXBitmap none;
  src.CopyWithMask1(&none, &empty, 0);
  EXPECT_TRUE(none.IsEmpty());

  // Back through the mask, alpha channel included.
  box2.Fill(0);
  box2.AlphaChannel()->Fill(77);
  TVXBitmap dest(&src);
  box2.CopyWithMask2(&dest, &m);
  EXPECT_EQ(dest.Pixels_vx24RGB(3, 3), (TRGB{0, 0, 0}));
  EXPECT_EQ(dest.Pixels_vx24RGB(2, 3), (TRGB{2, 3, 9}));
  EXPECT_EQ(dest.AlphaChannel()->Pixels_vx8(3, 3), 77);
  EXPECT_EQ(dest.AlphaChannel()->Pixels_vx8(2, 3), 255);
  EXPECT_FALSE(dest.AlphaChannel()->Full());
}

TEST(Geometry, BezierPoints) {
  std::vector<TPoint> p;
  VXBezierPoints({0, 0}, {0, 10}, {10, 10}, {7, 3}, p, 1);
  EXPECT_EQ(p, (std::vector<TPoint>{TPoint{7, 3}}));
  // A straight line at t = 1/4, 2/4, 3/4, 1; 2.5 rounds to 2 (half to even).
  VXBezierPoints({0, 0}, {10 / 3, 0}, {20 / 3, 0}, {10, 0}, p, 4);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p.back(), (TPoint{10, 0}));
  VXBezierPoints({0, 0}, {0, 0}, {10, 0}, {10, 0}, p, 2);
  EXPECT_EQ(p[0], (TPoint{5, 0}));
  VXBezierPoints({0, 0}, {0, 0}, {0, 0}, {5, 0}, p, 2);
  EXPECT_EQ(p[0], (TPoint{1, 0}));  // 5 / 8 = 0.625
  VXBezierPoints({0, 0}, {0, 0}, {0, 0}, {5, 0}, p, 0);
  EXPECT_TRUE(p.empty());
}

}  // namespace
