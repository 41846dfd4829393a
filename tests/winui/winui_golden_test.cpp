// The GDI call script against the platform's own pixels and rectangles,
// recorded once under Wine (tests/winui/golden/make-goldens).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "winui/gdi.h"

#include "golden/gdi_scenes.inc"
#include "golden/gdi_goldens.h"

namespace {

using vxgolden::Golden;
using vxgolden::ReadGoldens;

struct CompareSink : SceneSink {
  std::vector<Golden> Want;
  size_t Next = 0;
  void Pixels(const char* Name, bool Exact, int W, int H, const unsigned* Px) override {
    ASSERT_LT(Next, Want.size()) << Name;
    const Golden& g = Want[Next++];
    ASSERT_EQ(g.Name, Name);
    ASSERT_EQ(g.W, W);
    ASSERT_EQ(g.H, H);
    size_t bytes = 0, pixels = 0;
    std::string map;
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        uint32_t a = Px[y * W + x] & 0xFFFFFF, b = g.Px[size_t(y) * size_t(W) + size_t(x)] & 0xFFFFFF;
        int d = 0;
        for (int k = 0; k < 3; ++k) d += ((a >> (8 * k)) & 255) != ((b >> (8 * k)) & 255);
        bytes += size_t(d);
        pixels += d != 0;
        map += d ? 'x' : '.';
      }
      map += '\n';
    }
    if (const char* dir = std::getenv("VX_GOLDEN_DUMP")) {
      // Both pictures, for looking at a difference.
      for (int k = 0; k < 2; ++k) {
        std::ofstream o(std::string(dir) + "/" + Name + (k ? ".want" : ".ours"));
        for (int y = 0; y < H; ++y) {
          for (int x = 0; x < W; ++x) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%06x ", k ? g.Px[size_t(y) * size_t(W) + size_t(x)] & 0xFFFFFF : Px[y * W + x] & 0xFFFFFF);
            o << hex;
          }
          o << "\n";
        }
      }
    }
    if (Exact) {
      EXPECT_EQ(pixels, 0u) << Name << ": pixels that differ from the platform's\n" << map;
    } else {
      EXPECT_LE(bytes * 100, size_t(W) * size_t(H) * 3 * 2) << Name << ": " << pixels << " pixels differ\n" << map;
    }
  }
  void Rects(const char* Name, const RECT* R, int N) override {
    ASSERT_LT(Next, Want.size()) << Name;
    const Golden& g = Want[Next++];
    ASSERT_EQ(g.Name, Name);
    std::string got, want;
    for (int i = 0; i < N; ++i)
      got += std::to_string(R[i].left) + "," + std::to_string(R[i].top) + "," + std::to_string(R[i].right) + "," +
             std::to_string(R[i].bottom) + " ";
    for (const RECT& r : g.Rects)
      want += std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
              std::to_string(r.bottom) + " ";
    EXPECT_EQ(got, want) << Name;
  }
};

TEST(WinUIGolden, TheCallScriptGivesThePlatformsPixelsAndRectangles) {
  CompareSink sink;
  sink.Want = ReadGoldens();
  ASSERT_FALSE(sink.Want.empty()) << "tests/data/winui/gdi_goldens.bin is missing";
  RunGdiScenes(sink);
  EXPECT_EQ(sink.Next, sink.Want.size());
}

}  // namespace
