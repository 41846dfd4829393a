// The pixels and rectangles that the GDI call script gave under Wine
// (tests/data/winui/gdi_goldens.bin, made by tests/winui/golden/make-goldens),
// for the tests of every layer that draws through GDI.
#pragma once
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "winui/win_types.h"

namespace vxgolden {

struct Golden {
  char Kind;
  std::string Name;
  bool Exact = true;
  int W = 0, H = 0;
  std::vector<uint32_t> Px;
  std::vector<RECT> Rects;
};

inline std::vector<Golden> ReadGoldens() {
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

// The golden of that name; null when there is none.
inline const Golden* FindGolden(const std::vector<Golden>& All, const std::string& Name) {
  for (const Golden& g : All)
    if (g.Name == Name) return &g;
  return nullptr;
}

}  // namespace vxgolden
