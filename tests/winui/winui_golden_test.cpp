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

namespace {

struct Golden {
  char Kind;
  std::string Name;
  bool Exact = true;
  int W = 0, H = 0;
  std::vector<uint32_t> Px;
  std::vector<RECT> Rects;
};

std::vector<Golden> ReadGoldens() {
  std::ifstream f(std::string(VX_TEST_DATA_DIR) + "/winui/gdi_goldens.bin", std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<Golden> out;
  size_t p = 0;
  auto rd32 = [&](int32_t& v) {
    if (p + 4 > b.size()) return false;
    std::memcpy(&v, &b[p], 4);
    p += 4;
    return true;
  };
  while (p < b.size()) {
    Golden g;
    g.Kind = char(b[p++]);
    if (p >= b.size()) break;
    size_t n = b[p++];
    if (p + n > b.size()) break;
    g.Name.assign(reinterpret_cast<const char*>(&b[p]), n);
    p += n;
    if (g.Kind == 'P') {
      if (p >= b.size()) break;
      g.Exact = b[p++] != 0;
      int32_t w, h;
      if (!rd32(w) || !rd32(h) || w <= 0 || h <= 0 || p + size_t(w) * size_t(h) * 4 > b.size()) break;
      g.W = w;
      g.H = h;
      g.Px.resize(size_t(w) * size_t(h));
      std::memcpy(g.Px.data(), &b[p], g.Px.size() * 4);
      p += g.Px.size() * 4;
    } else {
      int32_t count;
      if (!rd32(count) || count < 0 || p + size_t(count) * 16 > b.size()) break;
      for (int i = 0; i < count; ++i) {
        int32_t v[4];
        std::memcpy(v, &b[p], 16);
        p += 16;
        g.Rects.push_back(RECT{v[0], v[1], v[2], v[3]});
      }
    }
    out.push_back(std::move(g));
  }
  return out;
}

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
