// Display levels: computing the black and white points from the pixels and
// baking levels, contrast and channel offsets into them.

#include <algorithm>
#include <cstring>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/render_internal.h"

using namespace vxrender;

namespace {

template <class T>
inline T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}
template <class T>
inline void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

inline uint16_t Clamp65535(int64_t v) { return uint16_t(v < 0 ? 0 : (v > 65535 ? 65535 : v)); }

// Calls Fn(row, x) for every pixel, inside the mask when there is one.
template <class Fn>
void EachPixel(TVXBitmap* b, const TVXMask* mask, Fn&& fn) {
  for (int32_t y = 0; y < b->Height(); ++y) {
    uint8_t* row = static_cast<uint8_t*>(b->ScanLine(y));
    if (!row) continue;
    for (int32_t x = 0; x < b->Width(); ++x)
      if (!mask || mask->IsPointInside(x, y)) fn(row, x);
  }
}

}  // namespace

void TVXBitmap::AutoCalcBWValues() {
  double lo, hi;
  switch (PixelFormat()) {
    case vx8g:
    case vx24RGB: lo = 255; hi = -255; break;
    case vx16g: lo = 65535; hi = -65535; break;
    case vx32f: lo = 100000000; hi = -100000000; break;
    default: return;
  }
  const int64_t count = int64_t(Width()) * (PixelFormat() == vx24RGB ? 3 : 1);
  for (int32_t y = 0; y < Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(ScanLine(y));
    if (!row) continue;
    for (int64_t i = 0; i < count; ++i) {
      double v;
      switch (PixelFormat()) {
        case vx16g: v = Load<uint16_t>(row + 2 * i); break;
        case vx32f: v = Load<float>(row + 4 * i); break;
        default: v = row[i]; break;
      }
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  SetBlackValue(lo);
  SetWhiteValue(hi);
}

void TVXBitmap::StretchValues() {
  const double black = BlackValue(), white = WhiteValue(), d = white - black;
  if (d == 0) return;
  const int64_t a = int64_t(black), b = int64_t(white);
  auto stretch = [&](int64_t v, int64_t range) {
    v = v <= a ? a : (v >= b ? b : v);
    const double r = double(v - a) / d * double(range);
    return r >= double(range) ? range : (r > 0 ? int64_t(r) : 0);
  };
  const TVXMask* mask = HasAdjustmentsMask() ? AdjustmentsMask() : nullptr;
  switch (PixelFormat()) {
    case vx8g: EachPixel(this, mask, [&](uint8_t* r, int32_t x) { r[x] = uint8_t(stretch(r[x], 255)); }); break;
    case vx16g:
      EachPixel(this, mask, [&](uint8_t* r, int32_t x) {
        Store<uint16_t>(r + 2 * x, uint16_t(stretch(Load<uint16_t>(r + 2 * x), 65535)));
      });
      break;
    case vx24RGB:
      EachPixel(this, mask, [&](uint8_t* r, int32_t x) {
        for (int c = 0; c < 3; ++c) r[3 * x + c] = uint8_t(stretch(r[3 * x + c], 255));
      });
      break;
    case vx32f:
      EachPixel(this, mask, [&](uint8_t* r, int32_t x) {
        double v = Load<float>(r + 4 * x);
        v = v <= black ? black : (v >= white ? white : v);
        Store<float>(r + 4 * x, float((v - black) / d));
      });
      break;
    default: break;
  }
  SetBlackValue(0);
  SetWhiteValue(0);
}

void TVXBitmap::FixContrast() {
  const TVXMask* mask = HasAdjustmentsMask() ? AdjustmentsMask() : nullptr;
  const int64_t k = ContrastFactor16(Contrast());
  const double f = ContrastFactor(Contrast());
  switch (PixelFormat()) {
    case vx24RGB:
    case vx32RGB: {
      const int32_t step = PixelFormat() == vx24RGB ? 3 : 4;
      EachPixel(this, mask, [&](uint8_t* r, int32_t x) {
        for (int c = 0; c < 3; ++c) r[step * x + c] = AdjustChannel(r[step * x + c], 0, k);
      });
      break;
    }
    case vx48RGB:
      EachPixel(this, mask, [&](uint8_t* r, int32_t x) {
        for (int c = 0; c < 3; ++c) {
          uint8_t* p = r + 6 * x + 2 * c;
          Store<uint16_t>(p, Clamp65535(int64_t(f * (int32_t(Load<uint16_t>(p)) - 32768) + 32768)));
        }
      });
      break;
    default: break;
  }
  SetContrast(0);
}

void TVXBitmap::FixChannelOffset() {
  const TVXMask* mask = HasAdjustmentsMask() ? AdjustmentsMask() : nullptr;
  const int32_t o0 = fChannelOffset[0], o1 = fChannelOffset[1], o2 = fChannelOffset[2];
  switch (PixelFormat()) {
    case vx24RGB:
    case vx32RGB: {
      const int32_t step = PixelFormat() == vx24RGB ? 3 : 4;
      EachPixel(this, mask, [&](uint8_t* r, int32_t x) {
        uint8_t* p = r + step * x;  // blue, green, red
        p[0] = Clamp255(int64_t(p[0]) + o2);
        p[1] = Clamp255(int64_t(p[1]) + o1);
        p[2] = Clamp255(int64_t(p[2]) + o0);
      });
      break;
    }
    case vx48RGB:
      EachPixel(this, mask, [&](uint8_t* r, int32_t x) {
        uint8_t* p = r + 6 * x;  // red, green, blue words
        Store<uint16_t>(p, Clamp65535(int64_t(Load<uint16_t>(p)) + o0));
        Store<uint16_t>(p + 2, Clamp65535(int64_t(Load<uint16_t>(p + 2)) + o1));
        Store<uint16_t>(p + 4, Clamp65535(int64_t(Load<uint16_t>(p + 4)) + o2));
      });
      break;
    default: break;
  }
  for (int32_t& o : fChannelOffset) o = 0;
}
