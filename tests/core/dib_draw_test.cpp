// Packed DIBs drawn into a TVXDibbitmap through DrawDib, against the pixels
// Pillow reads from the same bytes as BMP files.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/dibbitmap.h"
#include "dib_test_util.h"

namespace {

using namespace dibtest;

TEST(DIBDraw, DrawsThePixelsPillowReadsFromTheSameBytes) {
  if (!HavePython({"PIL", "numpy"})) GTEST_SKIP() << "python3-pil or python3-numpy is missing";
  TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  ASSERT_TRUE(RunPython(dir, R"(
import struct, numpy as np
from PIL import Image
rng = np.random.default_rng(11)
def bmp(name, w, h, bits, comp, extra, clrused=0, idx_limit=None):
    stride = ((w * bits + 31) // 32) * 4
    data = rng.integers(0, 256, size=(abs(h), stride), dtype=np.uint8)
    if idx_limit:
        data[:, :w] = rng.integers(0, idx_limit, size=(abs(h), w), dtype=np.uint8)
    data = data.tobytes()
    head = struct.pack('<IiiHHIIiiII', 40, w, h, 1, bits, comp, len(data), 2835, 2835, clrused, 0)
    off = 14 + 40 + len(extra)
    f = b'BM' + struct.pack('<IHHI', off + len(data), 0, 0, off) + head + extra + data
    open(name + '.bmp', 'wb').write(f)
    open(name + '.rgb', 'wb').write(Image.open(name + '.bmp').convert('RGB').tobytes())
    if bits == 16:
        # The window layer widens each field as the platform does, its top
        # bits repeated below it (31 in five bits gives 255), where Pillow
        # scales to 255.
        masks = struct.unpack('<III', extra) if comp == 3 else (0x7C00, 0x03E0, 0x001F)
        p = np.frombuffer(data, np.uint8).reshape(abs(h), stride)[:, :2 * w].astype(np.uint32)
        p = p[:, 0::2] | (p[:, 1::2] << 8)
        if h > 0: p = p[::-1]
        out = []
        for m in masks:
            shift = (m & -m).bit_length() - 1
            width = bin(m).count('1')
            top = ((p & m) >> shift) << (8 - width)
            out.append(top | (top >> width))
        open(name + '.plat', 'wb').write(np.stack(out, -1).astype(np.uint8).tobytes())
def pal(n):
    return bytes(x for _ in range(n) for x in list(rng.integers(0, 256, 3)) + [0])
bmp('1a', 13, 5, 1, 0, bytes([0, 0, 0, 0, 255, 255, 255, 0]))
bmp('1b', 11, 3, 1, 0, bytes([255, 255, 255, 0, 0, 0, 0, 0]))
bmp('4', 5, 4, 4, 0, pal(16))
bmp('8', 9, 3, 8, 0, pal(37), 37, 37)
bmp('16a', 7, 4, 16, 0, b'')
bmp('16b', 6, 3, 16, 3, struct.pack('<III', 0xF800, 0x07E0, 0x001F))
bmp('24', 7, 5, 24, 0, b'')
bmp('24t', 5, -4, 24, 0, b'')
bmp('32', 6, 3, 32, 0, b'')
)"));
  struct Case {
    const char* name;
    int32_t bits;
  };
  for (const Case& c : {Case{"1a", 1}, Case{"1b", 1}, Case{"4", 4}, Case{"8", 8}, Case{"16a", 16}, Case{"16b", 16},
                        Case{"24", 24}, Case{"24t", 24}, Case{"32", 32}}) {
    SCOPED_TRACE(c.name);
    const Bytes file = ReadFile(dir / (std::string(c.name) + ".bmp"));
    const Bytes rgb = ReadFile(dir / (std::string(c.name) + ".rgb"));
    ASSERT_GT(file.size(), 54u);
    const Bytes dib(file.begin() + 14, file.end());
    TVXDibbitmap b;
    ASSERT_EQ(VXDrawPackedDIB(dib.data(), int64_t(dib.size()), &b), c.bits);
    const int32_t w = b.GetWidth(), h = b.GetHeight();
    ASSERT_EQ(rgb.size(), size_t(w) * size_t(h) * 3);
    EXPECT_EQ(b.GetBitCount(), c.bits == 1 ? 1 : 24);
    // 16 bits: exactly the window layer's widening, and Pillow's scaling
    // within a few levels of it.
    const Bytes plat = c.bits == 16 ? ReadFile(dir / (std::string(c.name) + ".plat")) : Bytes();
    if (c.bits == 16) ASSERT_EQ(plat.size(), rgb.size());
    const int tolerance = c.bits == 16 ? 7 : 0;
    for (int32_t y = 0; y < h; ++y) {
      const auto* row = static_cast<const uint8_t*>(b.GetScanLine(y));
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* want = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
        if (c.bits == 1) {
          const bool white = want[0] == 255 && want[1] == 255 && want[2] == 255;
          ASSERT_EQ((row[x >> 3] >> (7 - (x & 7))) & 1, white ? 1 : 0) << x << "," << y;
        } else {
          for (int k = 0; k < 3; ++k) {
            ASSERT_NEAR(int(row[3 * x + 2 - k]), int(want[k]), tolerance) << x << "," << y << " channel " << k;
            if (c.bits == 16)
              ASSERT_EQ(row[3 * x + 2 - k], plat[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(k)]) << x << "," << y;
          }
        }
      }
    }
  }

  // The handle form, and pixel data given apart from the header.
  const Bytes file = ReadFile(dir / "24.bmp");
  const Bytes dib(file.begin() + 14, file.end());
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, dib.size());
  ASSERT_NE(mem, nullptr);
  std::memcpy(GlobalLock(mem), dib.data(), dib.size());
  GlobalUnlock(mem);
  TVXDibbitmap viaHandle, apart;
  EXPECT_EQ(VXDrawPackedDIB(mem, &viaHandle), 24);
  GlobalFree(mem);
  EXPECT_EQ(VXDrawPackedDIB(dib.data(), 40, &apart, dib.data() + 40, int64_t(dib.size()) - 40), 24);
  ASSERT_EQ(viaHandle.GetHeight(), 5);
  ASSERT_EQ(apart.GetHeight(), 5);
  for (int32_t y = 0; y < 5; ++y)
    EXPECT_EQ(std::memcmp(viaHandle.GetScanLine(y), apart.GetScanLine(y), 21), 0) << y;
}

TEST(DIBDraw, DamagedDIBsDrawNothing) {
  auto make = [](int32_t w, int32_t h, uint16_t bits, uint32_t comp, uint32_t clrUsed, size_t extra) {
    Bytes b = Header(w, h, bits, comp, clrUsed);
    b.resize(b.size() + extra, 0x55);
    return b;
  };
  struct Case {
    const char* name;
    Bytes dib;
  };
  Bytes overlapping = Header(4, 2, 16, BI_BITFIELDS);
  for (uint32_t m : {0xF800u, 0x0FE0u, 0x001Fu}) Put32(overlapping, m);
  overlapping.resize(overlapping.size() + 16, 0);
  const std::vector<Case> cases = {
      {"rows cut short", make(4, 3, 24, BI_RGB, 0, 35)},
      {"table cut short", make(4, 1, 8, BI_RGB, 0, 100)},
      {"too many colours", make(4, 1, 8, BI_RGB, 300, 1300)},
      {"header bigger than the block", [] {
         Bytes b = Header(2, 2, 24, BI_RGB);
         b[0] = 200;
         return b;
       }()},
      {"block below a header", Bytes(30, 0)},
      {"bit count 7", make(4, 2, 7, BI_RGB, 0, 64)},
      {"RLE8", make(4, 2, 8, BI_RLE8, 0, 2000)},
      {"32-bit PNG", make(4, 2, 32, 5, 0, 64)},
      {"YUV frame", make(4, 2, 16, 0x32595559, 0, 64)},
      {"overlapping masks", overlapping},
      {"width 0", make(0, 2, 24, BI_RGB, 0, 64)},
      {"height 0", make(2, 0, 24, BI_RGB, 0, 64)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVXDibbitmap b;
    ASSERT_TRUE(b.AllocateBits(3, 3, 24));
    std::memset(b.Bits(), 0x11, size_t(b.Rowlen()) * 3);
    EXPECT_EQ(VXDrawPackedDIB(c.dib.data(), int64_t(c.dib.size()), &b), 0);
    EXPECT_EQ(b.GetWidth(), 3);
    EXPECT_EQ(b.GetHeight(), 3);
    EXPECT_EQ(static_cast<const uint8_t*>(b.GetScanLine(1))[4], 0x11);
  }
  TVXDibbitmap b;
  EXPECT_EQ(VXDrawPackedDIB(nullptr, 100, &b), 0);
  EXPECT_EQ(VXDrawPackedDIB(HGLOBAL(nullptr), &b), 0);
}

}  // namespace
