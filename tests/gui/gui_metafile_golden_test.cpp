// Metafiles recorded and played by the platform (tests/data/metafile, made
// by gen/make-goldens under Wine) played here: at their own size, at
// another size and over the key colour, every pixel whose 3 x 3
// neighbourhood in the golden is one colour must come out the same.
//
// The platform that made them had a screen of 1024 x 768 pixels (271 x 203
// mm, as the enhanced metafiles' headers say); a Windows metafile is turned
// into an enhanced one against the screen, whose whole pixels its window
// then maps onto, so the tests play on a screen of that size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "gui/graphics.h"
#include "gui/metafile.h"
#include "winui/win_metrics.h"
#include "../winui/pinned_fonts.h"

namespace {

struct Image {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  uint32_t At(int x, int y) const {
    const uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  }
};

Image ReadPPM(const std::string& Path) {
  Image img;
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int maxv = 0;
  f >> magic >> img.w >> img.h >> maxv;
  f.get();
  if (magic != "P6" || img.w <= 0 || img.h <= 0 || img.w > 4096 || img.h > 4096) return Image{};
  img.rgb.resize(size_t(img.w) * img.h * 3);
  f.read(reinterpret_cast<char*>(img.rgb.data()), std::streamsize(img.rgb.size()));
  if (!f) return Image{};
  return img;
}

const std::string kDir = std::string(VX_TEST_DATA_DIR) + "/metafile/";

// The screen the goldens were made on, for the life of a test.
struct TGoldenScreen {
  TGoldenScreen() { VXScreen::SetSize(1024, 768); }
  ~TGoldenScreen() { VXScreen::Reset(); }
};

TEST(GuiMetafileGolden, PlaysLikeThePlatform) {
  TGoldenScreen screen;
  for (const char* kind : {"emf", "wmf"}) {
    // Scene 4 is text, compared below.
    for (int scene : {0, 1, 2, 3, 5}) {
      const std::string base = "scene" + std::to_string(scene);
      TMetafile m;
      m.LoadFromFile(kDir + base + "." + kind);
      struct Variant {
        const char* suffix;
        TColor fill;
      } variants[] = {{"own", clWhite}, {"big", clWhite}, {"key", TColor(0x010203)}};
      for (const Variant& v : variants) {
        const std::string name = base + "_" + kind + "_" + v.suffix;
        Image g = ReadPPM(kDir + name + ".ppm");
        ASSERT_GT(g.w, 0) << name;
        if (std::string(v.suffix) != "big") {
          EXPECT_EQ(m.Width(), g.w) << name;
          EXPECT_EQ(m.Height(), g.h) << name;
        }
        TBitmap b(g.w, g.h);
        b.Canvas()->Brush()->SetColor(v.fill);
        b.Canvas()->FillRect(TRect{0, 0, g.w, g.h});
        b.Canvas()->StretchDraw(TRect{0, 0, g.w, g.h}, &m);
        int compared = 0, wrong = 0;
        std::string first;
        auto ours = [&](int x, int y) {
          const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(y)) + x * 3;
          return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        };
        for (int y = 1; y + 1 < g.h; ++y)
          for (int x = 1; x + 1 < g.w; ++x) {
            const uint32_t c = g.At(x, y);
            bool flat = true;
            for (int dy = -1; dy <= 1 && flat; ++dy)
              for (int dx = -1; dx <= 1; ++dx)
                if (g.At(x + dx, y + dy) != c) flat = false;
            if (!flat) continue;
            ++compared;
            if (ours(x, y) != c && wrong++ == 0) first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
          }
        EXPECT_EQ(wrong, 0) << name << ": " << wrong << " of " << compared << " differ, first at " << first;
        EXPECT_GT(compared, g.w * g.h / 3) << name;
      }
    }
  }
}

TEST(GuiMetafileGolden, ThinStrokesLieWithinAPixel) {
  TGoldenScreen screen;
  // The pictures whose outlines are one pixel wide, and their pens' colour:
  // where the platform drew the outline, ours has it within a pixel.
  struct Case {
    const char* file;
    const char* sizes;  // of "own", "big", "key"
    uint32_t pen;
  } cases[] = {
      {"scene0.emf", "own key", 0x2832D2}, {"scene3.emf", "own key", 0x78148C},
      {"scene5.emf", "own big key", 0x000000},  // the stock black pen stays one pixel wide
      {"scene1.wmf", "own key", 0xC81E1E}, {"scene2.wmf", "own key", 0x78148C},
      {"scene5.wmf", "own big key", 0x000000},
  };
  for (const Case& c : cases) {
    TMetafile m;
    m.LoadFromFile(kDir + c.file);
    const std::string base = std::string(c.file).replace(std::string(c.file).find('.'), 1, "_");
    for (const char* suffix : {"own", "big", "key"}) {
      if (!std::strstr(c.sizes, suffix)) continue;
      const std::string name = base + "_" + suffix;
      Image g = ReadPPM(kDir + name + ".ppm");
      ASSERT_GT(g.w, 0) << name;
      TBitmap b(g.w, g.h);
      b.Canvas()->Brush()->SetColor(std::string(suffix) == "key" ? TColor(0x010203) : clWhite);
      b.Canvas()->FillRect(TRect{0, 0, g.w, g.h});
      b.Canvas()->StretchDraw(TRect{0, 0, g.w, g.h}, &m);
      auto ours = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= g.w || y >= g.h) return uint32_t(0xFFFFFFFF);
        const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(y)) + x * 3;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      };
      int stroke = 0, off = 0;
      std::string first;
      for (int y = 0; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) {
          if (g.At(x, y) != c.pen) continue;
          ++stroke;
          bool near = false;
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
              if (ours(x + dx, y + dy) == c.pen) near = true;
          if (!near && off++ == 0) first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
      EXPECT_GT(stroke, g.w) << name;
      EXPECT_EQ(off, 0) << name << ": " << off << " of " << stroke << " outline pixels, first at " << first;
    }
  }
}

}  // namespace

namespace {

// Dark pixels' box in the rows [Y0, Y1).
RECT Ink(const std::function<uint32_t(int, int)>& At, int W, int Y0, int Y1) {
  RECT r{W, Y1, -1, -1};
  for (int y = Y0; y < Y1; ++y)
    for (int x = 0; x < W; ++x) {
      uint32_t c = At(x, y);
      if (((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255) < 3 * 128) {
        r.left = std::min<LONG>(r.left, x), r.top = std::min<LONG>(r.top, y);
        r.right = std::max<LONG>(r.right, x), r.bottom = std::max<LONG>(r.bottom, y);
      }
    }
  return r;
}

TEST(GuiMetafileGolden, TextStartsWhereItsAlignmentPutsIt) {
  TGoldenScreen screen;
  // Three texts in three bands: left/top, right/baseline, centre/bottom. The
  // ink's edges that the alignment names (the baseline is the bottom of
  // "Hx", the bottom that of "Mi") lie within a pixel of the platform's; the
  // other edges, where the shapes of the glyphs end, within two.
  struct Band {
    bool left, top, right, bottom, centre;
  } bands[] = {{true, true, false, false, false}, {false, false, true, true, false}, {false, false, false, true, true}};
  for (const char* kind : {"emf", "wmf"}) {
    TMetafile m;
    m.LoadFromFile(kDir + "scene4." + kind);
    for (const char* suffix : {"own", "big"}) {
      const std::string name = std::string("scene4_") + kind + "_" + suffix;
      Image g = ReadPPM(kDir + name + ".ppm");
      ASSERT_GT(g.w, 0) << name;
      TBitmap b(g.w, g.h);
      b.Canvas()->Brush()->SetColor(clWhite);
      b.Canvas()->FillRect(TRect{0, 0, g.w, g.h});
      b.Canvas()->StretchDraw(TRect{0, 0, g.w, g.h}, &m);
      auto ours = [&](int x, int y) {
        const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(y)) + x * 3;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      };
      auto golden = [&](int x, int y) { return g.At(x, y); };
      for (int band = 0; band < 3; ++band) {
        RECT a = Ink(ours, g.w, g.h * band / 3, g.h * (band + 1) / 3);
        RECT e = Ink(golden, g.w, g.h * band / 3, g.h * (band + 1) / 3);
        ASSERT_GE(e.right, 0) << name << " band " << band;
        const Band& k = bands[band];
        const std::string where = name + " band " + std::to_string(band);
        EXPECT_NEAR(a.left, e.left, k.left ? 1 : 2) << where;
        EXPECT_NEAR(a.top, e.top, k.top ? 1 : 2) << where;
        EXPECT_NEAR(a.right, e.right, k.right ? 1 : 2) << where;
        EXPECT_NEAR(a.bottom, e.bottom, k.bottom ? 1 : 2) << where;
        if (k.centre) EXPECT_NEAR(a.left + a.right, e.left + e.right, 2) << where;
      }
    }
  }
}

}  // namespace

namespace {

// Every cut of the recorded metafiles fails to load.
TEST(GuiMetafileGolden, DamagedCopiesLoadOrFailCleanly) {
  for (const char* file : {"scene1.emf", "scene4.emf", "scene2.wmf", "scene4.wmf"}) {
    std::ifstream f(kDir + file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty()) << file;
    TBitmap b(64, 64);
    auto tryOne = [&](const std::vector<uint8_t>& v) {
      TMetafile m;
      try {
        m.LoadFromBuffer(v.data(), v.size());
      } catch (const EInvalidGraphicOperation&) {
        return false;
      }
      b.Canvas()->StretchDraw(TRect{0, 0, 64, 64}, &m);
      return true;
    };
    int loaded = 0;
    for (size_t n = 0; n < bytes.size(); ++n)
      loaded += tryOne(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n));
    EXPECT_EQ(loaded, 0) << file << ": a cut copy has no end record";
    EXPECT_TRUE(tryOne(bytes)) << file;
  }
}

}  // namespace
