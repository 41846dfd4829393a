// Resampling of bitmaps: dispatch by filter and pixel format, alpha channel,
// the component's Resample and ResampleTo.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "proc/proc.h"
#include "resample/resample.h"
#include "resample/resample_engine.h"

namespace {

std::vector<uint8_t> Row(TVXBitmap& b, int32_t y) {
  const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
  size_t n = size_t(b.Width()) * size_t(b.BitCount()) / 8;
  if (b.PixelFormat() == vx1g) n = (size_t(b.Width()) + 7) / 8;
  return std::vector<uint8_t>(p, p + n);
}

std::vector<uint8_t> Pixels(TVXBitmap& b) {
  std::vector<uint8_t> all;
  for (int32_t y = 0; y < b.Height(); ++y) {
    auto r = Row(b, y);
    if (b.PixelFormat() == vx1g && b.Width() % 8) r.back() &= uint8_t(0xFF00 >> (b.Width() % 8));
    all.insert(all.end(), r.begin(), r.end());
  }
  return all;
}

void FillRandom(TVXBitmap& b, std::mt19937& rng) {
  for (int32_t y = 0; y < b.Height(); ++y) {
    uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
    for (int64_t i = 0; i < b.RowLen(); ++i) p[i] = uint8_t(rng());
  }
}

// Restores the settings a test changes.
struct SettingsGuard {
  int32_t cores = VXGetGlobalSettings()->DefaultCoresCount();
  TResampleFilter filter = VXGetGlobalSettings()->DefaultResampleFilter();
  ~SettingsGuard() {
    VXGetGlobalSettings()->SetDefaultCoresCount(cores);
    VXGetGlobalSettings()->SetDefaultResampleFilter(filter);
  }
};

TEST(ResampleBitmap, FourPixelRowMitchell) {
  TVXBitmap b(4, 1, vx24RGB);
  uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(0));
  const uint8_t v[4] = {0, 0, 255, 255};
  for (int x = 0; x < 4; ++x) std::memset(p + 3 * x, v[x], 3);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&b);
  proc.Resample(2, 1, rfMitchell, false);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 1);
  ASSERT_EQ(b.PixelFormat(), vx24RGB);
  EXPECT_EQ(Row(b, 0), (std::vector<uint8_t>{57, 57, 57, 224, 224, 224}));
}

// The pixel format a resample leaves, by source format and filter.
TVXPixelFormat ExpectedFormat(TVXPixelFormat src, TResampleFilter f) {
  const bool project = f == rfProjectBW || f == rfProjectWB;
  const bool areaFilter = f == rfBilinear || f == rfBicubic;
  if (f == rfNone) return src;
  switch (src) {
    case vx1g:
      return project ? vx1g : vx24RGB;
    case vx8g:
      return vx8g;
    case vx16g:
      return vx16g;
    case vx48RGB:
      if (areaFilter) return vx48RGB;
      return project ? vx1g : vx24RGB;
    default:
      return project ? vx1g : vx24RGB;
  }
}

TEST(ResampleBitmap, EveryFilterOnEveryFormat) {
  SettingsGuard guard;
  const TVXPixelFormat formats[] = {vx24RGB, vx8g, vx16g, vx48RGB, vx8p, vx1g};
  const int32_t sizes[][2] = {{4, 9}, {17, 3}};
  for (TVXPixelFormat fmt : formats) {
    for (int32_t f = 0; f < VXResampleFilterCount; ++f) {
      for (const auto& size : sizes) {
        // A uniform image: every scaler keeps its colour (a mid grey, which
        // the projections turn white or black).
        TVXBitmap b(7, 5, fmt);
        if (fmt == vx8p)
          for (int i = 0; i < 256; ++i) b.SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), 90});
        for (int32_t y = 0; y < 5; ++y) {
          uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
          const int64_t n = fmt == vx1g ? 1 : int64_t(7) * b.BitCount() / 8;
          std::memset(p, fmt == vx1g ? 0xFF : (fmt == vx8p ? 40 : 0x90), size_t(n));
        }
        const TRGB before = b.Pixels(3, 2);
        TVexlaneProc proc;
        proc.SetAttachedVXBitmap(&b);
        proc.Resample(size[0], size[1], TResampleFilter(f), false);
        SCOPED_TRACE(testing::Message() << "format " << int(fmt) << " filter " << f);
        ASSERT_EQ(b.Width(), size[0]);
        ASSERT_EQ(b.Height(), size[1]);
        ASSERT_EQ(b.PixelFormat(), ExpectedFormat(fmt, TResampleFilter(f)));
        for (int32_t y = 0; y < b.Height(); ++y) {
          for (int32_t x = 0; x < b.Width(); ++x) {
            TRGB c = b.Pixels(x, y);
            if (b.PixelFormat() == vx1g && fmt != vx1g) {
              // rfProjectBW is black where a pixel is dark (all channels
              // below 128), rfProjectWB white where one is light (all above).
              const bool dark = before.r < 128 && before.g < 128 && before.b < 128;
              const bool light = before.r > 128 && before.g > 128 && before.b > 128;
              const uint8_t e = (f == rfProjectBW ? !dark : light) ? 255 : 0;
              ASSERT_EQ(c, (TRGB{e, e, e})) << x << "," << y;
            } else {
              ASSERT_EQ(c, before) << x << "," << y;
            }
          }
        }
        if (fmt == vx16g) {
          const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(b.Height() - 1));
          EXPECT_EQ(p[0], 0x90);
          EXPECT_EQ(p[1], 0x90);
        }
      }
    }
  }
}

TEST(ResampleBitmap, AlphaChannelFollows) {
  TVXBitmap b(4, 1, vx24RGB);
  TVXBitmap* a = b.AlphaChannel();
  uint8_t* ap = static_cast<uint8_t*>(a->GetScanLine(0));
  ap[0] = 0, ap[1] = 0, ap[2] = 255, ap[3] = 255;
  a->SetFull(false);
  TVXBitmap target(2, 1, vx24RGB);
  VXResampleBitmap(&b, &target, rfMitchell);
  ASSERT_TRUE(target.HasAlphaChannel());
  TVXBitmap* ta = target.AlphaChannelOpt();
  ASSERT_EQ(ta->Width(), 2);
  EXPECT_EQ(Row(*ta, 0), (std::vector<uint8_t>{57, 224}));
  EXPECT_FALSE(ta->Full());

  // An all-opaque channel stays marked full.
  TVXBitmap opaque(30, 20, vx24RGB);
  opaque.AlphaChannel()->SetFull(true);
  TVXBitmap t2(11, 7, vx24RGB);
  VXResampleBitmap(&opaque, &t2, rfLanczos3);
  ASSERT_TRUE(t2.HasAlphaChannel());
  EXPECT_TRUE(t2.AlphaChannelOpt()->Full());
  EXPECT_EQ(t2.AlphaChannelOpt()->Width(), 11);
  EXPECT_EQ(t2.AlphaChannelOpt()->Height(), 7);
}

TEST(ResampleBitmap, SinglePixelFillsTarget) {
  const TResampleFilter filters[] = {rfTriangle, rfMitchell, rfLanczos3, rfNearest, rfBilinear, rfFastLinear};
  for (TResampleFilter f : filters) {
    TVXBitmap b(1, 1, vx24RGB);
    uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(0));
    p[0] = 10, p[1] = 20, p[2] = 30;
    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(&b);
    proc.Resample(5, 4, f, false);
    ASSERT_EQ(b.Width(), 5);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 5; ++x) ASSERT_EQ(b.Pixels(x, y), (TRGB{10, 20, 30})) << f;
  }
  // 16-bit channels take the high byte times 257; the format stays.
  TVXBitmap w(1, 1, vx48RGB);
  uint16_t px[3] = {0x1234, 0xABCD, 0x00FF};
  std::memcpy(w.GetScanLine(0), px, 6);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&w);
  proc.Resample(3, 2, rfMitchell, false);
  ASSERT_EQ(w.PixelFormat(), vx48RGB);
  uint16_t out[3];
  std::memcpy(out, static_cast<uint8_t*>(w.GetScanLine(1)) + 12, 6);
  EXPECT_EQ(out[0], 0x1212);
  EXPECT_EQ(out[1], 0xABAB);
  EXPECT_EQ(out[2], 0x0000);
}

TEST(ResampleBitmap, NearestKernelUpscaleCopiesColumns) {
  // 3 -> 5: centres 0, 0.5, 1, 1.5, 2 take columns 0, 0, 1, 1, 2.
  TVXBitmap b(3, 1, vx8g);
  uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(0));
  p[0] = 10, p[1] = 200, p[2] = 77;
  TVXBitmap t(5, 1, vx8g);
  VXResampleBitmap(&b, &t, rfNearest);
  EXPECT_EQ(Row(t, 0), (std::vector<uint8_t>{10, 10, 200, 200, 77}));
}

TEST(ResampleBitmap, ComponentResampleRules) {
  TVXBitmap b(100, 75, vx24RGB);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&b);
  int finished = 0, hundreds = 0;
  proc.OnFinishWork = [&](void* sender) {
    EXPECT_EQ(sender, &proc);
    ++finished;
  };
  proc.OnProgress = [&](void*, int32_t per) { hundreds += per == 100; };
  proc.Resample(100, 75, rfMitchell, true);  // the current size: nothing at all
  EXPECT_EQ(finished, 0);
  EXPECT_EQ(hundreds, 0);
  proc.Resample(50, -1, rfMitchell, true);
  EXPECT_EQ(b.Width(), 50);
  EXPECT_EQ(b.Height(), 37);
  EXPECT_EQ(finished, 2);  // ResampleTo and Resample each finish
  EXPECT_GE(hundreds, 2);
  proc.Resample(-1, -1, rfMitchell, true);  // both negative: nothing changes
  EXPECT_EQ(b.Width(), 50);
  EXPECT_EQ(b.Height(), 37);

  // ResampleTo leaves the attached bitmap alone.
  TVXBitmap target;
  proc.ResampleTo(&target, -1, 0, rfTriangle, false);
  EXPECT_EQ(target.Width(), 1);
  EXPECT_EQ(target.Height(), 37);
  EXPECT_EQ(b.Width(), 50);
  // A target reused at the same size drops an alpha channel the source
  // does not have.
  target.AlphaChannel();
  proc.ResampleTo(&target, -1, 0, rfTriangle, false);
  EXPECT_FALSE(target.HasAlphaChannel());

  // An empty bitmap: nothing, no events.
  TVXBitmap empty;
  proc.SetAttachedVXBitmap(&empty);
  finished = 0;
  proc.Resample(10, 10, rfMitchell, false);
  EXPECT_EQ(finished, 0);
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(ResampleBitmap, ToSizeInPlaceGivesWhatTheCopyGets) {
  struct Case {
    int32_t w, h;
    bool aspect;
    int32_t outW, outH;
    bool done;
  };
  const Case cases[] = {
      {20, -1, true, 20, 15, true},   // height from the aspect ratio
      {-1, 9, false, 12, 9, true},    // width from the aspect ratio
      {30, 30, true, 30, 22, true},   // fitted into the box
      {0, 10, false, 40, 10, true},   // 0 keeps the source's side
      {-1, -1, true, 40, 30, false},  // not a request: nothing changes
  };
  std::mt19937 rng(5);
  TVXBitmap src(40, 30, vx24RGB);
  FillRandom(src, rng);
  FillRandom(*src.AlphaChannel(), rng);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    TVXBitmap copy, inPlace;
    inPlace.Assign(&src);
    EXPECT_EQ(VXResampleToSize(&src, &copy, c.w, c.h, rfMitchell, c.aspect), c.done);
    EXPECT_EQ(VXResampleToSizeInPlace(&inPlace, c.w, c.h, rfMitchell, c.aspect), c.done);
    EXPECT_EQ(inPlace.Width(), c.outW);
    EXPECT_EQ(inPlace.Height(), c.outH);
    EXPECT_EQ(src.Width(), 40);
    if (!c.done) {
      EXPECT_TRUE(copy.IsEmpty());
      EXPECT_EQ(Pixels(inPlace), Pixels(src));
      continue;
    }
    EXPECT_EQ(Pixels(inPlace), Pixels(copy));
    ASSERT_TRUE(inPlace.HasAlphaChannel() && copy.HasAlphaChannel());
    EXPECT_EQ(Pixels(*inPlace.AlphaChannelOpt()), Pixels(*copy.AlphaChannelOpt()));
  }
  TVXBitmap empty;
  EXPECT_FALSE(VXResampleToSizeInPlace(&empty, 5, 5, rfMitchell, false));
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_THROW(VXResampleToSize(&src, &src, 5, 5, rfMitchell, false), EVXException);
}

TEST(ResampleBitmap, SameBytesForAnyCoreCountAndStorage) {
  SettingsGuard guard;
  std::mt19937 rng(3);
  TVXBitmap src(1300, 700, vx24RGB);
  FillRandom(src, rng);
  FillRandom(*src.AlphaChannel(), rng);
  std::vector<uint8_t> first, firstAlpha;
  for (int32_t cores : {1, 2, 8, 0, -7}) {
    VXGetGlobalSettings()->SetDefaultCoresCount(cores);
    TVXBitmap t(301, 257, vx24RGB);
    VXResampleBitmap(&src, &t, rfMitchell);
    if (first.empty()) {
      first = Pixels(t);
      firstAlpha = Pixels(*t.AlphaChannelOpt());
    } else {
      EXPECT_EQ(Pixels(t), first) << cores << " cores";
      EXPECT_EQ(Pixels(*t.AlphaChannelOpt()), firstAlpha) << cores << " cores";
    }
  }
  // Rows held in a temporary file are read one at a time; same bytes.
  TVXBitmap fileSrc;
  fileSrc.SetMinFileSize(1);
  ASSERT_TRUE(fileSrc.Allocate(1300, 700, vx24RGB));
  ASSERT_EQ(fileSrc.Location(), vxFile);
  for (int32_t y = 0; y < 700; ++y) std::memcpy(fileSrc.GetScanLine(y), src.GetScanLine(y), 1300 * 3);
  TVXBitmap t(301, 257, vx24RGB);
  VXResampleBitmap(&fileSrc, &t, rfMitchell);
  EXPECT_EQ(Pixels(t), first);
  // A target in a temporary file is written one row at a time.
  TVXBitmap fileTarget;
  fileTarget.SetMinFileSize(1);
  ASSERT_TRUE(fileTarget.Allocate(301, 257, vx24RGB));
  ASSERT_EQ(fileTarget.Location(), vxFile);
  VXResampleBitmap(&src, &fileTarget, rfMitchell);
  EXPECT_EQ(Pixels(fileTarget), first);

  // And the plain reference gives them too.
  TVXKernelJob job;
  job.SrcWidth = 1300, job.SrcHeight = 700, job.DstWidth = 301, job.DstHeight = 257;
  job.Channels = 3;
  job.Filter = rfMitchell;
  job.HorizZeroSumDivides = true;
  std::vector<uint8_t> ref;
  job.SrcRow = [&](int32_t y, void*) -> const void* { return src.GetScanLine(y); };
  job.DstRow = [&](int32_t, const void* row) {
    const uint8_t* r = static_cast<const uint8_t*>(row);
    ref.insert(ref.end(), r, r + 301 * 3);
  };
  VXKernelResampleReference(job);
  EXPECT_EQ(ref, first);
}

// Grey pictures stored as colour (each pixel three equal bytes) are
// resampled as one channel: the same bytes as the 3-channel reference, for
// every kernel, shrunk and enlarged, with the vector loops and without. A
// pixel off grey anywhere (the last one, one at a row's vector tail) takes
// the colour path, with the same result.
TEST(ResampleBitmap, GreyStoredAsColourGivesTheColourBytes) {
  struct Case {
    int32_t sw, sh, dw, dh;
    int32_t offX, offY;  // a pixel that is not grey, or -1
  } cases[] = {
      {640, 480, 48, 36, -1, -1}, {640, 480, 256, 192, -1, -1}, {37, 23, 90, 61, -1, -1},
      {33, 5, 7, 3, -1, -1},      {640, 480, 48, 36, 639, 479},  {50, 9, 20, 4, 49, 4},
      {50, 9, 20, 4, 33, 0},      {17, 2, 5, 1, 16, 1},
  };
  std::mt19937 rng(48);
  for (const Case& c : cases) {
    TVXBitmap src(c.sw, c.sh, vx24RGB);
    for (int32_t y = 0; y < c.sh; ++y) {
      uint8_t* p = static_cast<uint8_t*>(src.GetScanLine(y));
      for (int32_t x = 0; x < c.sw; ++x) p[x * 3] = p[x * 3 + 1] = p[x * 3 + 2] = uint8_t((rng() & 1) * 255);
    }
    if (c.offX >= 0) static_cast<uint8_t*>(src.GetScanLine(c.offY))[c.offX * 3 + 1] ^= 1;
    for (int32_t f = rfTriangle; f <= rfLinear; ++f) {
      TVXKernelJob job;
      job.SrcWidth = c.sw, job.SrcHeight = c.sh, job.DstWidth = c.dw, job.DstHeight = c.dh;
      job.Channels = 3;
      job.Filter = TResampleFilter(f);
      job.HorizZeroSumDivides = true;
      std::vector<uint8_t> ref;
      job.SrcRow = [&](int32_t y, void*) -> const void* { return src.GetScanLine(y); };
      job.DstRow = [&](int32_t, const void* row) {
        const uint8_t* r = static_cast<const uint8_t*>(row);
        ref.insert(ref.end(), r, r + size_t(c.dw) * 3);
      };
      VXKernelResampleReference(job);
      for (bool scalar : {false, true}) {
        vxdetail::VXResampleForceScalar(scalar);
        TVXBitmap t(c.dw, c.dh, vx24RGB);
        VXResampleBitmap(&src, &t, TResampleFilter(f));
        vxdetail::VXResampleForceScalar(false);
        EXPECT_EQ(Pixels(t), ref) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " filter " << f
                                  << (c.offX >= 0 ? " one pixel off grey" : "") << (scalar ? " scalar" : "");
      }
    }
  }
}

TEST(ResampleBitmap, OneBitKernelGivesGrey) {
  // Alternating columns of black and white average to grey.
  TVXBitmap b(16, 4, vx1g);
  for (int32_t y = 0; y < 4; ++y) std::memset(b.GetScanLine(y), 0xAA, 2);
  TVXBitmap t(4, 2, vx1g);
  VXResampleBitmap(&b, &t, rfMitchell);
  ASSERT_EQ(t.PixelFormat(), vx24RGB);
  for (int32_t x = 0; x < 4; ++x) {
    TRGB c = t.Pixels(x, 1);
    EXPECT_EQ(c.r, c.g);
    EXPECT_EQ(c.g, c.b);
    EXPECT_GT(c.r, 90);
    EXPECT_LT(c.r, 165);
  }
  // The same through the 8-bit grey path gives the same levels.
  TVXBitmap g(16, 4, vx8g);
  for (int32_t y = 0; y < 4; ++y) {
    uint8_t* p = static_cast<uint8_t*>(g.GetScanLine(y));
    for (int x = 0; x < 16; ++x) p[x] = (x % 2) ? 0 : 255;
  }
  TVXBitmap gt(4, 2, vx8g);
  VXResampleBitmap(&g, &gt, rfMitchell);
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(t.Pixels(x, 1).r, Row(gt, 1)[size_t(x)]) << x;
}

TEST(ResampleBitmap, PlatformScalerFiltersUseTheDefaultFilter) {
  SettingsGuard guard;
  std::mt19937 rng(5);
  TVXBitmap src(40, 30, vx24RGB);
  FillRandom(src, rng);
  for (TResampleFilter def : {rfFastLinear, rfMitchell}) {
    VXGetGlobalSettings()->SetDefaultResampleFilter(def);
    TVXBitmap expected(13, 9, vx24RGB);
    VXResampleBitmap(&src, &expected, def);
    for (int32_t f = rfWICNearestNeighbor; f <= rfWICFant; ++f) {
      TVXBitmap t(13, 9, vx24RGB);
      VXResampleBitmap(&src, &t, TResampleFilter(f));
      EXPECT_EQ(Pixels(t), Pixels(expected)) << f;
    }
  }
  // A default that cannot serve as one counts as rfFastLinear.
  VXGetGlobalSettings()->SetDefaultResampleFilter(rfBicubic);
  TVXBitmap expected(13, 9, vx24RGB);
  VXResampleBitmap(&src, &expected, rfFastLinear);
  TVXBitmap t(13, 9, vx24RGB);
  VXResampleBitmap(&src, &t, rfWICCubic);
  EXPECT_EQ(Pixels(t), Pixels(expected));
}

TEST(ResampleBitmap, InPlace) {
  std::mt19937 rng(9);
  TVXBitmap b(50, 40, vx24RGB);
  FillRandom(b, rng);
  TVXBitmap copy(&b);
  TVXBitmap expected(20, 10, vx24RGB);
  VXResampleBitmap(&copy, &expected, rfBSpline);
  VXResampleInPlace(&b, rfBSpline, 20, 10);
  ASSERT_EQ(b.Width(), 20);
  ASSERT_EQ(b.Height(), 10);
  EXPECT_EQ(Pixels(b), Pixels(expected));
}

}  // namespace
