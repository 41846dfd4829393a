// HSV conversions, colour ranges, channel extraction, shifts and reorders,
// histograms, statistics and tone tables.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "fake_viewhost.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "selection_check.h"
#include "proc/colors.h"
#include "proc/proc.h"
#include "proc/tone.h"

namespace {

using procfixture::Noise;

TEST(Colors, HSVConversions) {
  struct ToHSV {
    TRGB rgb;
    int32_t h, s, v;
  };
  for (const ToHSV& c : {ToHSV{{0, 0, 255}, 0, 99, 99}, ToHSV{{255, 0, 0}, 240, 99, 99},
                         ToHSV{{90, 90, 90}, 0, 0, 35}, ToHSV{{0, 255, 255}, 60, 99, 99}}) {
    int32_t h, s, v;
    VXRGBToHSV(c.rgb, h, s, v);
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(s, c.s);
    EXPECT_EQ(v, c.v);
  }
  struct FromHSV {
    int32_t h, s, v;
    TRGB rgb;
  };
  const TRGB red{0, 0, 255};
  for (const FromHSV& c : {FromHSV{360, 99, 99, red}, FromHSV{0, 150, 99, red}, FromHSV{120, 99, -5, {0, 0, 0}},
                           FromHSV{750, 99, 99, VXHSVToRGB(30, 99, 99)}, FromHSV{-330, 99, 99, VXHSVToRGB(30, 99, 99)},
                           FromHSV{-1000000, 50, 60, VXHSVToRGB(80, 50, 60)}}) {
    EXPECT_EQ(VXHSVToRGB(c.h, c.s, c.v), c.rgb) << c.h << " " << c.s << " " << c.v;
  }
  // HSVvar (0, 0, 0) quantises to 100 levels: 1 goes to black, 3 stays.
  TVXBitmap b(2, 1, vx24RGB);
  b.SetPixels_vx24RGB(0, 0, TRGB{1, 1, 1});
  b.SetPixels_vx24RGB(1, 0, TRGB{3, 3, 3});
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  proc->HSVvar(0, 0, 0);
  EXPECT_EQ(b.Pixels_vx24RGB(0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(b.Pixels_vx24RGB(1, 0), (TRGB{3, 3, 3}));
}

TEST(Colors, RangesAndChannels) {
  auto image = Noise(16, 9, vx24RGB, 21);
  TVXBitmap b(image.get());
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  // MatchHSVRange: an inverted hue range matches nothing; counting only.
  EXPECT_EQ(proc->MatchHSVRange(200, 100, 0, 99, 0, 99, true, TRGB{}, false, TRGB{}), 0);
  int32_t want = 0;
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      int32_t h, s, v;
      VXRGBToHSV(image->Pixels_vx24RGB(x, y), h, s, v);
      want += h <= 180 && s >= 20 && v >= 30;
    }
  EXPECT_EQ(proc->MatchHSVRange(0, 180, 20, 99, 30, 99, false, TRGB{}, false, TRGB{}), want);
  EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(image.get()));
  EXPECT_EQ(proc->MatchHSVRange(0, 180, 20, 99, 30, 99, true, TRGB{1, 1, 1}, true, TRGB{2, 2, 2}), want);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 16; ++x) ASSERT_TRUE(b.Pixels_vx24RGB(x, y).b == 1 || b.Pixels_vx24RGB(x, y).b == 2);

  // Channel extraction: the Integer form takes the byte position.
  b.Assign(image.get());
  auto blue = proc->GetRGBChannel(int32_t(0));
  auto red = proc->GetRGBChannel(vxcRed);
  ASSERT_TRUE(blue && red);
  EXPECT_EQ(proc->GetRGBChannel(int32_t(-1)), nullptr);
  EXPECT_EQ(blue->Pixels_vx24RGB(3, 4).g, image->Pixels_vx24RGB(3, 4).b);
  EXPECT_EQ(red->Pixels_vx24RGB(3, 4).b, image->Pixels_vx24RGB(3, 4).r);
  TVXBitmap H, S, V;
  proc->GetHSVChannelAll(&H, &S, &V);
  int32_t h, s, v;
  VXRGBToHSV(image->Pixels_vx24RGB(5, 6), h, s, v);
  EXPECT_EQ(H.Pixels_vx24RGB(5, 6).r, uint8_t(h / 359.0 * 255));
  EXPECT_EQ(V.Pixels_vx24RGB(5, 6).r, uint8_t(v / 99.0 * 255));
  EXPECT_EQ(proc->GetHSVChannel(7)->Pixels_vx24RGB(5, 6), H.Pixels_vx24RGB(5, 6));

  SKIP_WITHOUT_NUMPY();
  const std::string pixels = numpy_oracle::Pixels(image.get());
  // IntensityRGBAll and CastColorRange (bytes are blue, green, red).
  proc->IntensityRGBAll(40, -300, 7);
  EXPECT_EQ(numpy_oracle::Pixels(&b),
            numpy_oracle::Run("a = load(0, np.uint8, (-1, 3)).astype(int)\n"
                              "save(np.clip(a + np.array([7, -300, 40]), 0, 255).astype(np.uint8))",
                              {pixels}));
  b.Assign(image.get());
  proc->CastColorRange(TRGB{10, 20, 30}, TRGB{200, 180, 250}, TRGB{1, 2, 3});
  EXPECT_EQ(numpy_oracle::Pixels(&b),
            numpy_oracle::Run("a = load(0, np.uint8, (-1, 3))\n"
                              "m = np.all((a >= [10, 20, 30]) & (a <= [200, 180, 250]), axis=1)\n"
                              "a[m] = [1, 2, 3]\nsave(a)",
                              {pixels}));
  // A begin colour above the end in one channel changes nothing.
  b.Assign(image.get());
  proc->CastColorRange(TRGB{0, 0, 200}, TRGB{255, 255, 100}, TRGB{1, 2, 3});
  EXPECT_EQ(numpy_oracle::Pixels(&b), pixels);
}

TEST(Colors, ShiftAndDisposeChannels) {
  TVXBitmap row(10, 1, vx24RGB);
  for (int32_t x = 0; x < 10; ++x) row.SetPixels_vx24RGB(x, 0, TRGB{uint8_t(x), uint8_t(50 + x), uint8_t(100 + x)});
  TVXBitmap original(&row);
  auto proc = TVexlaneProc::CreateFromBitmap(&row);
  proc->ShiftChannel(3, 0, vxcRed, -1);
  for (int32_t x = 0; x < 10; ++x) {
    EXPECT_EQ(row.Pixels_vx24RGB(x, 0).r, 100 + std::max(x - 3, 0));
    EXPECT_EQ(row.Pixels_vx24RGB(x, 0).g, 50 + x);
  }
  row.Assign(&original);
  proc->ShiftChannel(3, 0, vxcRed, 0);
  for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(row.Pixels_vx24RGB(x, 0).r, x < 3 ? 0 : 100 + x - 3);
  // vx48RGB: the same channel, fill as a 16-bit value.
  TVXBitmap wide(4, 2, vx48RGB);
  for (int32_t x = 0; x < 4; ++x) wide.SetPixels_vx48RGB(x, 1, TRGB48{uint16_t(1000 * x), 7, 9});
  proc->SetAttachedVXBitmap(&wide);
  proc->ShiftChannel(1, 1, vxcRed, 60000);
  EXPECT_EQ(wide.Pixels_vx48RGB(0, 1), (TRGB48{60000, 7, 9}));
  EXPECT_EQ(wide.Pixels_vx48RGB(2, 1), (TRGB48{0, 7, 9}));  // from (1, 0)

  // "bgr" leaves both formats unchanged, "RGB" swaps red and blue.
  auto rgb = Noise(5, 3, vx24RGB, 22);
  auto rgb48 = Noise(5, 3, vx48RGB, 23);
  for (TVXBitmap* b : {rgb.get(), rgb48.get()}) {
    TVXBitmap before(b);
    TComponent owner;
    TVexlaneProc p(&owner);
    p.SetAttachedVXBitmap(b);
    p.DisposeChannels("bgr");
    EXPECT_EQ(numpy_oracle::Pixels(b), numpy_oracle::Pixels(&before));
    for (const char* bad : {"RG", "RGX", ""}) p.DisposeChannels(bad);
    EXPECT_EQ(p.UndoCount(), 1);
    EXPECT_EQ(p.GetUndoCaptions(0), "DisposeChannels bgr");
    p.DisposeChannels("RGB");
    const TRGB a = before.Pixels(2, 1), c = b->Pixels(2, 1);
    EXPECT_EQ(c, (TRGB{a.r, a.g, a.b}));
    p.DisposeChannels("0GB");
    EXPECT_EQ(b->Pixels(2, 1), (TRGB{0, a.g, a.r}));  // red from the current blue
  }
}

TEST(Tone, HistogramsMatchNumpy) {
  SKIP_WITHOUT_NUMPY();
  auto image = Noise(23, 17, vx24RGB, 31);
  auto proc = TVexlaneProc::CreateFromBitmap(image.get());
  const TVXHistogram h = proc->GetHistogram(vxhcRed | vxhcGreen | vxhcBlue | vxhcGray | vxhcHue);
  ASSERT_EQ(h.size(), 256u);
  std::string counts;
  for (const THistogramItem& i : h)
    for (uint32_t v : {i.R, i.G, i.B, i.Gray, i.Hue}) counts.append(reinterpret_cast<const char*>(&v), 4);
  // The integer HSV hue written out in Python, folded into 256 levels.
  const std::string hsvHue =
      "def hue(r, g, b):\n"
      "    r, g, b = [int(round(c / 255 * 99)) for c in (r, g, b)]\n"
      "    mx, mn = max(r, g, b), min(r, g, b)\n"
      "    if mx == 0 or (mx - mn) * 99 // mx == 0: return 0\n"
      "    d = mx - mn\n"
      "    q = lambda a: int(a / d)\n"
      "    h = q((g - b) * 60) if r == mx else q((b - r) * 60) + 120 if g == mx else q((r - g) * 60) + 240\n"
      "    return h + 360 if h < 0 else h\n";
  const std::string want = numpy_oracle::Run(
      hsvHue +
          "a = load(0, np.uint8, (-1, 3)).astype(int)\n"
          "b, g, r = a[:, 0], a[:, 1], a[:, 2]\n"
          "grey = (r * 21 + g * 71 + b * 8) // 100\n"
          "hues = np.array([256 * hue(*p) // 360 for p in zip(r, g, b)])\n"
          "out = np.stack([np.bincount(c, minlength=256) for c in (r, g, b, grey, hues)], axis=1)\n"
          "save(out.astype('<u4'))",
      {numpy_oracle::Pixels(image.get())});
  EXPECT_EQ(counts, want);
  // Hue alone: 360 items indexed by degree.
  const TVXHistogram hues = proc->GetHistogram(vxhcHue);
  ASSERT_EQ(hues.size(), 360u);
  uint32_t total = 0;
  for (const THistogramItem& i : hues) total += i.Hue;
  EXPECT_EQ(total, 23u * 17u);
  // vx16g: 65536 levels.
  auto grey16 = Noise(40, 30, vx16g, 32);
  proc->SetAttachedVXBitmap(grey16.get());
  const TVXHistogram h16 = proc->GetHistogram(vxhcGray);
  ASSERT_EQ(h16.size(), 65536u);
  std::string g16;
  for (const THistogramItem& i : h16) g16.append(reinterpret_cast<const char*>(&i.Gray), 4);
  EXPECT_EQ(g16, numpy_oracle::Run("save(np.bincount(load(0, '<u2', (-1,)), minlength=65536).astype('<u4'))",
                                   {numpy_oracle::Pixels(grey16.get())}));
}

TEST(Tone, CountsAndMeans) {
  auto image = Noise(30, 20, vx24RGB, 33);
  // A few colours repeated.
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; x += 2) image->SetPixels_vx24RGB(x, y, TRGB{1, 2, uint8_t(y % 3)});
  auto proc = TVexlaneProc::CreateFromBitmap(image.get());
  const int32_t colours = proc->CalcImageNumColors();
  TVXBitmap bw(8, 8, vx1g), g8(8, 8, vx8g);
  proc->SetAttachedVXBitmap(&bw);
  EXPECT_EQ(proc->CalcImageNumColors(), 2);
  proc->SetAttachedVXBitmap(&g8);
  EXPECT_EQ(proc->CalcImageNumColors(), 0);

  // The mean inside an elliptical selection.
  TFakeViewHost host;
  host.Image()->Assign(image.get());
  TVXMask* m = host.NewMask(1);
  m->SetEllipse(14, 9, 16, 12, 1);
  m->SyncRect();
  TVexlaneProc viewed;
  viewed.SetAttachedVexlane(&host);
  const TRGB mean = viewed.CalcAverageRGB(0);
  const double sd = viewed.CalcStdDev();
  EXPECT_GT(sd, 10);
  // No selected pixel inside the box: black, and 0.
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) m->SetPixel(x, y, 0);
  EXPECT_EQ(viewed.CalcAverageRGB(0), (TRGB{0, 0, 0}));
  EXPECT_EQ(viewed.CalcStdDev(), 0);

  SKIP_WITHOUT_NUMPY();
  std::string sel;
  TVXMask ellipse;
  ellipse.AllocateBits(30, 20, 1);
  ellipse.SetEllipse(14, 9, 16, 12, 1);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 30; ++x) sel.push_back(char(ellipse.GetPixel(x, y) ? 1 : 0));
  const std::string pixels = numpy_oracle::Pixels(image.get());
  const std::string want = numpy_oracle::Run(
      "a = load(0, np.uint8, (20, 30, 3)).astype(np.int64)\n"
      "m = load(1, np.uint8, (20, 30)) == 1\n"
      "n = len(np.unique(a.reshape(-1, 3), axis=0))\n"
      "save(np.concatenate([a[m].sum(axis=0) // m.sum(), [n]]).astype('<i4'))",
      {pixels, sel});
  ASSERT_EQ(want.size(), 16u);
  int32_t w[4];
  std::memcpy(w, want.data(), 16);
  EXPECT_EQ(mean, (TRGB{uint8_t(w[0]), uint8_t(w[1]), uint8_t(w[2])}));
  EXPECT_EQ(colours, w[3]);
}

// Tone operations against their tables, on a photo-like image.
TEST(Tone, TablesAndEqualisation) {
  auto image = Noise(24, 16, vx24RGB, 34);
  auto proc = TVexlaneProc::CreateFromBitmap(image.get());
  TVXBitmap original(image.get());
  auto each = [&](std::function<TRGB(TRGB)> f) {
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 24; ++x)
        ASSERT_EQ(image->Pixels_vx24RGB(x, y), f(original.Pixels_vx24RGB(x, y))) << x << "," << y;
  };
  // Threshold: the down limit first, then the up limit on its result.
  proc->Threshold(TRGB{0, 0, 0}, TRGB{255, 255, 255}, TRGB{9, 9, 9}, TRGB{1, 1, 1});
  each([](TRGB p) { return p; });
  proc->Threshold(TRGB{50, 60, 70}, TRGB{150, 100, 200}, TRGB{160, 5, 5}, TRGB{255, 254, 253});
  each([](TRGB p) {
    auto c = [](int v, int down, int up, int dv, int uv) {
      if (v <= down) v = dv;
      return v > up ? uv : v;
    };
    return TRGB{uint8_t(c(p.b, 50, 150, 160, 255)), uint8_t(c(p.g, 60, 100, 5, 254)),
                uint8_t(c(p.r, 70, 200, 5, 253))};
  });
  // HistEqualize: equal thresholds do nothing; otherwise B[A[v]].
  image->Assign(&original);
  proc->HistEqualize(TRGB{0, 0, 0}, TRGB{0, 0, 0});
  proc->HistEqualize(TRGB{1, 1, 1}, TRGB{0, 0, 0});
  each([](TRGB p) { return p; });
  proc->HistEqualize(TRGB{20, 0, 40}, TRGB{200, 255, 128});
  each([](TRGB p) {
    auto c = [](int v, int lo, int hi) {
      const double a = std::clamp(std::nearbyint((v - lo) / double(255 - lo) * 255), 0.0, 255.0);
      return uint8_t(std::clamp(std::nearbyint(a / hi * 255), 0.0, 255.0));
    };
    return TRGB{c(p.b, 20, 200), c(p.g, 0, 255), c(p.r, 40, 128)};
  });
  // Contrast with vv 0 keeps the image; HistAutoEqualize of one colour goes
  // through the tables only (every pixel alike).
  image->Assign(&original);
  proc->Contrast(0);
  each([](TRGB p) { return p; });
  TVXBitmap flat(10, 10, vx24RGB);
  flat.Fill(0x406080);
  proc->SetAttachedVXBitmap(&flat);
  proc->HistAutoEqualize();
  const TRGB first = flat.Pixels_vx24RGB(0, 0);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) ASSERT_EQ(flat.Pixels_vx24RGB(x, y), first);
  // Threshold2 with both thresholds 0: t[i] = Trunc(t / 255) of (255 - i) / 255 + i.
  proc->SetAttachedVXBitmap(image.get());
  proc->Threshold2(128, 200, true, false, false);
  each([](TRGB p) {
    int v = int(std::trunc((255 - p.r) / (255.0 / 128) + p.r));
    if (v > 128) v = int(std::trunc(v / (255.0 / 200)));
    return TRGB{p.b, p.g, uint8_t(v)};
  });
}

// Every modifying operation changes only the selected pixels, and one Undo
// restores the image.
TEST(Tone, SelectionAndUndo) {
  const std::vector<std::pair<const char*, std::function<void(TVexlaneProc&)>>> ops = {
      {"HSVvar", [](TVexlaneProc& p) { p.HSVvar(40, 10, -10); }},
      {"IntensityRGBAll", [](TVexlaneProc& p) { p.IntensityRGBAll(30, 30, 30); }},
      {"CastColorRange", [](TVexlaneProc& p) { p.CastColorRange(TRGB{0, 0, 0}, TRGB{200, 200, 200}, TRGB{}); }},
      {"MatchHSVRange", [](TVexlaneProc& p) { p.MatchHSVRange(0, 359, 0, 99, 0, 99, true, TRGB{1, 1, 1}, false, TRGB{}); }},
      {"ShiftChannel", [](TVexlaneProc& p) { p.ShiftChannel(2, 1, vxcGreen, 0); }},
      {"DisposeChannels", [](TVexlaneProc& p) { p.DisposeChannels("RGB"); }},
      {"Contrast", [](TVexlaneProc& p) { p.Contrast(30); }},
      {"Threshold", [](TVexlaneProc& p) { p.Threshold(TRGB{100, 100, 100}, TRGB{200, 200, 200}, TRGB{}, TRGB{}); }},
      {"Threshold2", [](TVexlaneProc& p) { p.Threshold2(100, 50, true, true, true); }},
      {"HistAutoEqualize", [](TVexlaneProc& p) { p.HistAutoEqualize(); }},
      {"HistEqualize", [](TVexlaneProc& p) { p.HistEqualize(TRGB{50, 50, 50}, TRGB{150, 150, 150}); }},
  };
  for (const auto& [name, op] : ops) {
    SCOPED_TRACE(name);
    ExpectSelectionOnlyAndUndo(op, 35, 20);
  }
}

}  // namespace
