// HSL offsets and the colour adjustments: saturation, tint, brightness with
// contrast and saturation, HSV equalisations, contrast curves, intensity,
// temperature and grey maps.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/colorspace.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/adjust.h"
#include "proc/proc.h"
#include "selection_check.h"

namespace {

using procfixture::Noise;

TEST(Adjust, HSLAgreesWithColorsys) {
  SKIP_WITHOUT_NUMPY();
  // 16 levels per channel: 4096 colours.
  std::string colours, ours;
  for (int r = 0; r < 16; ++r)
    for (int g = 0; g < 16; ++g)
      for (int b = 0; b < 16; ++b) {
        const TRGB c{uint8_t(b * 17), uint8_t(g * 17), uint8_t(r * 17)};
        colours += char(c.r), colours += char(c.g), colours += char(c.b);
        double h, s, l;
        VXRGBToHSL(c, h, s, l);
        for (double v : {h, l, s}) ours.append(reinterpret_cast<const char*>(&v), 8);
        const TRGB back = VXHSLToRGB(h, s, l);
        ASSERT_LE(std::abs(back.r - c.r), 1);
        ASSERT_LE(std::abs(back.g - c.g), 1);
        ASSERT_LE(std::abs(back.b - c.b), 1);
      }
  const std::string want = numpy_oracle::Run(
      "import colorsys\n"
      "a = load(0, np.uint8, (-1, 3)) / 255.0\n"
      "save(np.array([colorsys.rgb_to_hls(*p) for p in a], dtype='<f8'))",
      {colours});
  ASSERT_EQ(want.size(), ours.size());
  for (size_t i = 0; i < ours.size() / 8; ++i) {
    double x, y;
    std::memcpy(&x, ours.data() + 8 * i, 8);
    std::memcpy(&y, want.data() + 8 * i, 8);
    ASSERT_NEAR(x, y, 1e-12) << i;
  }
  EXPECT_EQ(VXHSLToRGB(1.2, 0.7, 0.4), VXHSLToRGB(0.2, 0.7, 0.4));
}

TEST(Adjust, Temperature) {
  struct Row {
    int32_t kelvin;
    uint8_t r, g, b;
  };
  for (const Row& t : {Row{1000, 255, 56, 0}, Row{1100, 255, 71, 0}, Row{2000, 255, 137, 18},
                       Row{3000, 255, 180, 107}, Row{5000, 255, 228, 206}, Row{6500, 255, 249, 253},
                       Row{6600, 254, 249, 255}, Row{7000, 245, 243, 255}, Row{10000, 204, 219, 255},
                       Row{20000, 168, 197, 255}, Row{40000, 155, 188, 255}}) {
    const uint8_t* e = VXBlackBodyTable[(t.kelvin - 1000) / 100];
    EXPECT_EQ(e[0], t.r) << t.kelvin;
    EXPECT_EQ(e[1], t.g) << t.kelvin;
    EXPECT_EQ(e[2], t.b) << t.kelvin;
  }
  TVXBitmap white(3, 1, vx24RGB);
  auto proc = TVexlaneProc::CreateFromBitmap(&white);
  std::vector<int32_t> progress;
  proc->OnProgress = [&](void*, int32_t p) { progress.push_back(p); };
  for (auto [kelvin, want] : {std::pair{6500, TRGB{253, 249, 255}}, {500, TRGB{0, 56, 255}},
                              {90000, TRGB{255, 188, 155}}}) {
    white.Fill(0xFFFFFF);
    proc->AdjustTemperature(kelvin);
    EXPECT_EQ(white.Pixels_vx24RGB(1, 0), want) << kelvin;
  }
  // A one-row image reports 100 (and the closing 100).
  EXPECT_EQ(progress.front(), 100);
}

TEST(Adjust, IdentitiesAndLimits) {
  auto image = Noise(20, 12, vx24RGB, 41);
  const std::string pixels = numpy_oracle::Pixels(image.get());
  auto run = [&](const std::function<void(TVexlaneProc&)>& op) {
    TVXBitmap b(image.get());
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    op(*proc);
    return numpy_oracle::Pixels(&b);
  };
  EXPECT_EQ(run([](TVexlaneProc& p) { p.AdjustBrightnessContrastSaturation(0, 0, 0); }), pixels);
  EXPECT_EQ(run([](TVexlaneProc& p) { p.AdjustSaturation(0); }), pixels);
  EXPECT_EQ(run([](TVexlaneProc& p) { p.AdjustTint(30, TRGB{0, 0, 0}, TRGB{255, 255, 255}); }), pixels);
  EXPECT_EQ(run([](TVexlaneProc& p) { p.Intensity(100, 101, 50, false, true, true, true); }), pixels);
  EXPECT_EQ(run([](TVexlaneProc& p) { p.Intensity(-50, 300, 0, false, true, true, true); }), pixels);
  EXPECT_EQ(run([](TVexlaneProc& p) { p.Contrast3(0, 10, true, true, true); }), pixels);
  // Tint 0 re-quantises by at most one level.
  const std::string tint = run([](TVexlaneProc& p) { p.AdjustTint(0); });
  for (size_t i = 0; i < pixels.size(); ++i) ASSERT_LE(std::abs(int(uint8_t(tint[i])) - int(uint8_t(pixels[i]))), 1);
  // Contrast3 (-255) compresses towards the pivot by 1 / 11.2.
  const std::string flat = run([](TVexlaneProc& p) { p.Contrast3(-255, 0, true, true, true); });
  for (size_t i = 0; i < pixels.size(); ++i)
    ASSERT_EQ(uint8_t(flat[i]), uint8_t(std::clamp(std::trunc((uint8_t(pixels[i]) - 100) / 11.2 + 100), 0.0, 255.0)));
  // Intensity with limits beyond 0..255 stays inside its tables.
  const std::string bump = run([](TVexlaneProc& p) { p.Intensity(-40, 400, 30, false, true, false, false); });
  EXPECT_NE(bump, pixels);
  // Contrast2 with a negative exponent on an image with empty levels gives
  // finite levels: the value channel stays ordered.
  TVXBitmap ramp(64, 1, vx24RGB);
  for (int32_t x = 0; x < 64; ++x) ramp.SetPixels_vx24RGB(x, 0, TRGB{uint8_t(2 * x), uint8_t(2 * x), uint8_t(2 * x)});
  auto proc = TVexlaneProc::CreateFromBitmap(&ramp);
  proc->Contrast2(-1);
  for (int32_t x = 1; x < 64; ++x) ASSERT_GT(ramp.Pixels_vx24RGB(x, 0).r, ramp.Pixels_vx24RGB(x - 1, 0).r);
  EXPECT_EQ(ramp.Pixels_vx24RGB(63, 0).r, 255);

  // A short map does nothing and records no undo; a full one maps grey.
  TVXBitmap b(image.get());
  TComponent owner;
  TVexlaneProc owned(&owner);
  owned.SetAttachedVXBitmap(&b);
  std::vector<TRGB> map(255, TRGB{1, 2, 3});
  owned.MapGrayToColor(map);
  EXPECT_EQ(owned.UndoCount(), 0);
  EXPECT_EQ(numpy_oracle::Pixels(&b), pixels);
  for (int i = 0; i < 256; ++i) map.resize(256), map[size_t(i)] = TRGB{uint8_t(i), 0, uint8_t(255 - i)};
  owned.MapGrayToColor(map);
  const TRGB p = image->Pixels_vx24RGB(4, 5);
  const int g = (21 * p.r + 71 * p.g + 8 * p.b) / 100;
  EXPECT_EQ(b.Pixels_vx24RGB(4, 5), (TRGB{uint8_t(g), 0, uint8_t(255 - g)}));

  SKIP_WITHOUT_NUMPY();
  // Saturation -100: grey with 0.3, 0.59, 0.11, halves to even.
  EXPECT_EQ(run([](TVexlaneProc& p) { p.AdjustSaturation(-100); }),
            numpy_oracle::Run("a = load(0, np.uint8, (-1, 3)).astype(np.float64)\n"
                              "y = np.clip(np.round(0.3 * a[:, 2] + 0.59 * a[:, 1] + 0.11 * a[:, 0]), 0, 255)\n"
                              "save(np.repeat(y[:, None], 3, axis=1).astype(np.uint8))",
                              {pixels}));
}

TEST(Adjust, SelectionAndUndo) {
  const std::vector<std::pair<const char*, std::function<void(TVexlaneProc&)>>> ops = {
      {"HSLvar", [](TVexlaneProc& p) { p.HSLvar(40, 10, 5); }},
      {"AdjustSaturation", [](TVexlaneProc& p) { p.AdjustSaturation(60); }},
      {"AdjustTint", [](TVexlaneProc& p) { p.AdjustTint(90); }},
      {"AdjustBrightnessContrastSaturation", [](TVexlaneProc& p) { p.AdjustBrightnessContrastSaturation(20, 30, 40); }},
      {"Contrast2", [](TVexlaneProc& p) { p.Contrast2(1); }},
      {"AdjustLumSatHistogram", [](TVexlaneProc& p) { p.AdjustLumSatHistogram(0.5, 1); }},
      {"Intensity", [](TVexlaneProc& p) { p.Intensity(20, 220, 60, true, true, true, true); }},
      {"Contrast3", [](TVexlaneProc& p) { p.Contrast3(100, 0, true, true, true); }},
      {"AdjustTemperature", [](TVexlaneProc& p) { p.AdjustTemperature(3000); }},
  };
  for (const auto& [name, op] : ops) {
    SCOPED_TRACE(name);
    ExpectSelectionOnlyAndUndo(op, 42, 20);
  }
}

}  // namespace
