#include <cmath>
#include <cstring>

#include "acquire/scan_device.h"

std::vector<uint8_t> VXScanFrameDIB(const TVXScanFrame& p) {
  const int32_t bpp = p.BitsPerPixel == 1 ? 1 : (p.BitsPerPixel == 8 || p.BitsPerPixel == 16) ? 8 : 24;
  const size_t stride = ((size_t(p.Width) * size_t(bpp) + 31) / 32) * 4;
  const uint32_t colours = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
  const size_t rb = p.RowBytes();
  if (p.Width <= 0 || p.Height <= 0 || p.Pixels.size() < rb * size_t(p.Height)) return {};
  std::vector<uint8_t> d(40 + colours * 4 + stride * size_t(p.Height), 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, uint32_t(p.Width));
  put32(8, uint32_t(p.Height));
  d[12] = 1;
  d[14] = uint8_t(bpp);
  put32(20, uint32_t(stride * size_t(p.Height)));
  put32(24, uint32_t(std::lround(p.XResolution / 0.0254)));
  put32(28, uint32_t(std::lround(p.YResolution / 0.0254)));
  put32(32, colours);
  for (uint32_t i = 0; i < colours; ++i) {
    const uint8_t v = uint8_t(colours == 2 ? i * 255 : i);
    d[40 + i * 4] = d[41 + i * 4] = d[42 + i * 4] = v;
  }
  uint8_t* rows = d.data() + 40 + colours * 4;
  for (int32_t y = 0; y < p.Height; ++y) {
    const uint8_t* s = p.Pixels.data() + size_t(y) * rb;
    uint8_t* o = rows + size_t(p.Height - 1 - y) * stride;
    switch (p.BitsPerPixel) {
      case 1:
      case 8: std::memcpy(o, s, rb); break;
      case 16:
        for (int32_t x = 0; x < p.Width; ++x) o[x] = s[2 * x + 1];
        break;
      case 24:
        for (int32_t x = 0; x < p.Width; ++x) {
          o[3 * x] = s[3 * x + 2];
          o[3 * x + 1] = s[3 * x + 1];
          o[3 * x + 2] = s[3 * x];
        }
        break;
      default:  // 48
        for (int32_t x = 0; x < p.Width; ++x) {
          o[3 * x] = s[6 * x + 5];
          o[3 * x + 1] = s[6 * x + 3];
          o[3 * x + 2] = s[6 * x + 1];
        }
        break;
    }
  }
  return d;
}
