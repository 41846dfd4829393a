// Small pictures for the transition tests: top-down rows of blue, green,
// red bytes, copied to and from 24-bit platform bitmaps, and the settings'
// alternative look switched on for a scope.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/settings.h"
#include "gui/graphics.h"

namespace vxtest {

struct Pic {
  int W = 0, H = 0;
  std::vector<uint8_t> px;
  Pic(int w, int h) : W(w), H(h), px(size_t(w) * h * 3) {}
  uint8_t* at(int x, int y) { return &px[(size_t(y) * W + x) * 3]; }
  const uint8_t* at(int x, int y) const { return &px[(size_t(y) * W + x) * 3]; }
  bool operator==(const Pic& o) const { return W == o.W && H == o.H && px == o.px; }
};

// Bytes from a seeded generator, between Low and Low + 255 / Div.
inline Pic Noise(int W, int H, uint32_t seed, int Low = 0, int Div = 1) {
  Pic p(W, H);
  for (auto& b : p.px) {
    seed = seed * 1103515245u + 12345u;
    b = uint8_t(Low + int((seed >> 16) & 255) / Div);
  }
  return p;
}

inline Pic Solid(int W, int H, uint8_t v) {
  Pic p(W, H);
  std::fill(p.px.begin(), p.px.end(), v);
  return p;
}

inline std::unique_ptr<TBitmap> ToBitmap(const Pic& p) {
  auto b = std::make_unique<TBitmap>(p.W, p.H, pf24bit);
  for (int y = 0; y < p.H; ++y) std::memcpy(b->ScanLine(y), p.at(0, y), size_t(p.W) * 3);
  return b;
}

inline Pic FromBitmap(TBitmap* b) {
  Pic p(b->Width(), b->Height());
  for (int y = 0; y < p.H; ++y) std::memcpy(p.at(0, y), b->ScanLine(y), size_t(p.W) * 3);
  return p;
}

struct AlternativeLook {
  explicit AlternativeLook(bool on) { VXGetGlobalSettings()->SetTransitionsDrawAlternative(on); }
  ~AlternativeLook() { VXGetGlobalSettings()->SetTransitionsDrawAlternative(false); }
  AlternativeLook(const AlternativeLook&) = delete;
};

}  // namespace vxtest
