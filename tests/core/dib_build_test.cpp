// Packed DIBs built from bitmaps: header, colour table, rows and padding, the
// cut rectangle, the print-log steps, Pillow reading them as BMP files, and
// the gamma correction of a built DIB.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/dib.h"
#include "core/printlog.h"
#include "dib_test_util.h"

using namespace dibtest;

namespace {

// Small images of every kind the builder keeps, and one it converts.
std::unique_ptr<TVXBitmap> Fixture(TVXPixelFormat pf, int32_t w = 13, int32_t h = 5) {
  auto b = std::make_unique<TVXBitmap>(w, h, pf);
  if (pf == vx8p)
    for (int i = 0; i < 256; ++i) b->SetPalette(i, TRGB{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7)});
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) switch (pf) {
        case vx1g: b->SetPixels_vx1g(x, y, (x * 3 + y) % 5 < 2); break;
        case vx8g:
        case vx8p: b->SetPixels_vx8(x, y, uint8_t(x * 19 + y * 37)); break;
        case vx24RGB: b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * y * 5), uint8_t(y * 40), uint8_t(x * 17)}); break;
        case vx48RGB:
          b->SetPixels_vx48RGB(x, y, TRGB48{uint16_t(x * 4000 + y), uint16_t(y * 9000 + 77), uint16_t(x * y * 700)});
          break;
        default: break;
      }
  return b;
}

struct Locked {
  explicit Locked(HGLOBAL h) : handle(h), p(static_cast<uint8_t*>(GlobalLock(h))) {}
  ~Locked() {
    if (handle) {
      GlobalUnlock(handle);
      GlobalFree(handle);
    }
  }
  HGLOBAL handle;
  uint8_t* p;
};

// A BMP file of a built DIB: the 14-byte file header in front.
Bytes BMPFile(HGLOBAL dib) {
  const auto* p = static_cast<const uint8_t*>(GlobalLock(dib));
  const size_t size = GlobalSize(dib);
  const uint32_t bits = p[14];
  const uint32_t offset = 14 + 40 + (bits == 1 ? 8 : bits == 8 ? 1024 : 0);
  Bytes f{'B', 'M'};
  Put32(f, uint32_t(14 + size));
  Put32(f, 0);
  Put32(f, offset);
  f.insert(f.end(), p, p + size);
  GlobalUnlock(dib);
  return f;
}

TEST(DIBBuild, HeaderTableAndPaddedRows) {
  struct Case {
    TVXPixelFormat pf;
    uint16_t bits;
    int64_t tableBytes;
  };
  for (Case c : {Case{vx1g, 1, 8}, Case{vx8g, 8, 1024}, Case{vx8p, 8, 1024}, Case{vx24RGB, 24, 0}}) {
    SCOPED_TRACE(int(c.pf));
    auto src = Fixture(c.pf);
    Locked d(_CopyBitmaptoDIBEx(src.get(), 0, 0, 0, 0, 96, 300));
    ASSERT_NE(d.p, nullptr);
    const int64_t rowLen = ((13 * int64_t(c.bits) + 31) / 32) * 4;
    EXPECT_EQ(GlobalSize(d.handle), size_t(40 + c.tableBytes + rowLen * 5 + 4));
    const uint8_t* p = d.p;
    EXPECT_EQ(Get32(p), 40u);
    EXPECT_EQ(Get32(p + 4), 13u);
    EXPECT_EQ(Get32(p + 8), 5u);
    EXPECT_EQ(p[12] | p[13] << 8, 1);
    EXPECT_EQ(p[14] | p[15] << 8, c.bits);
    EXPECT_EQ(Get32(p + 16), 0u);
    EXPECT_EQ(Get32(p + 20), 0u);
    EXPECT_EQ(Get32(p + 24), 3779u);   // Trunc(96 x 39.3700787)
    EXPECT_EQ(Get32(p + 28), 11811u);  // Trunc(300 x 39.3700787)
    EXPECT_EQ(Get32(p + 32), 0u);
    EXPECT_EQ(Get32(p + 36), 0u);
    const uint8_t* table = p + 40;
    if (c.pf == vx1g) {
      EXPECT_EQ(Get32(table), 0u);
      EXPECT_EQ(Get32(table + 4), 0xFFFFFFFFu);
    }
    if (c.pf == vx8g) {
      EXPECT_EQ(Get32(table + 4 * 200), 0x00C8C8C8u);
    }
    if (c.pf == vx8p) {
      const TRGB e = src->Palette(200);
      EXPECT_EQ(Get32(table + 4 * 200), uint32_t(e.b | e.g << 8 | e.r << 16));
    }
    // Rows bottom-up; the bytes past the last pixel are zero.
    const uint8_t* rows = table + c.tableBytes;
    for (int32_t j = 0; j < 5; ++j) {
      const uint8_t* r = rows + rowLen * j;
      const auto* s = static_cast<const uint8_t*>(src->GetScanLine(4 - j));
      const int64_t used = (13 * int64_t(c.bits) + 7) / 8;
      if (c.pf == vx1g) {
        EXPECT_EQ(std::memcmp(r, s, size_t(used - 1)), 0);
        EXPECT_EQ(r[used - 1], s[used - 1] & 0xF8);  // 13 bits: 3 pad bits clear
      } else {
        EXPECT_EQ(std::memcmp(r, s, size_t(used)), 0);
      }
      for (int64_t k = used; k < rowLen; ++k) EXPECT_EQ(r[k], 0) << "row " << j << " byte " << k;
    }
  }
}

TEST(DIBBuild, RectangleIsCutToTheBitmap) {
  auto src = Fixture(vx24RGB);
  struct Case {
    int32_t x1, y1, x2, y2, w, h;  // w = 0: no DIB
  };
  for (Case c : {Case{0, 0, 0, 0, 13, 5}, Case{3, 1, 11, 4, 8, 3}, Case{-4, -2, 50, 70, 13, 5},
                 Case{12, 4, 0, 0, 1, 1}, Case{5, 0, 5, 0, 0, 0}, Case{7, 2, 3, 4, 0, 0}, Case{13, 0, 0, 0, 0, 0},
                 Case{0, 0, -1, 0, 0, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2);
    HGLOBAL h = _CopyBitmaptoDIBEx(src.get(), c.x1, c.y1, c.x2, c.y2, 72, 72);
    if (c.w == 0) {
      EXPECT_EQ(h, nullptr);
      continue;
    }
    Locked d(h);
    ASSERT_NE(d.p, nullptr);
    EXPECT_EQ(Get32(d.p + 4), uint32_t(c.w));
    EXPECT_EQ(Get32(d.p + 8), uint32_t(c.h));
    // The bottom DIB row's first pixel is the rectangle's bottom-left pixel.
    const int32_t x0 = std::max(c.x1, 0), yb = std::max(c.y1, 0) + c.h - 1;
    const TRGB e = src->Pixels(x0, yb);
    EXPECT_EQ(d.p[40], e.b);
    EXPECT_EQ(d.p[41], e.g);
    EXPECT_EQ(d.p[42], e.r);
  }
  TVXBitmap empty;
  EXPECT_EQ(_CopyBitmaptoDIBEx(&empty, 0, 0, 0, 0, 72, 72), nullptr);
  EXPECT_EQ(_CopyBitmaptoDIBEx(nullptr, 0, 0, 0, 0, 72, 72), nullptr);
}

TEST(DIBBuild, PrintLogStepsAndConversionOfOtherFormats) {
  std::vector<std::string>* lines = new std::vector<std::string>;
  static std::vector<std::string>* sink;
  sink = lines;
  const TVXPrintLogProc saved = VXPrintLogHook;
  VXPrintLogHook = [](const std::string& t) { sink->push_back(t); };
  auto src = Fixture(vx48RGB);
  Locked d(_CopyBitmaptoDIBEx(src.get(), 0, 0, 0, 0, 72, 72));
  auto gray = Fixture(vx8g);
  Locked g(_CopyBitmaptoDIBEx(gray.get(), 0, 0, 0, 0, 72, 72));
  VXPrintLogHook = saved;
  const std::vector<std::string> want = {
      "_CopyBitmaptoDIBEx: begin",
      "_CopyBitmaptoDIBEx: not supported pixel format, converting to 24bit and recurse",
      "_CopyBitmaptoDIBEx: begin",
      "_CopyBitmaptoDIBEx: allocate " + std::to_string(40 + 40 * 5 + 4) + " bytes",
      "_CopyBitmaptoDIBEx: vx24RGB",
      "_CopyBitmaptoDIBEx: begin",
      "_CopyBitmaptoDIBEx: allocate " + std::to_string(40 + 1024 + 16 * 5 + 4) + " bytes",
      "_CopyBitmaptoDIBEx: vx8g or vx8p"};
  EXPECT_EQ(*lines, want);
  delete lines;
  // A vx48RGB image gives the 24-bit DIB of its converted copy.
  ASSERT_NE(d.p, nullptr);
  EXPECT_EQ(d.p[14], 24);
  TVXBitmap conv(13, 5, vx24RGB);
  conv.CopyAndConvertFormat(src.get());
  for (int32_t y = 0; y < 5; ++y)
    EXPECT_EQ(std::memcmp(d.p + 40 + 40 * (4 - y), conv.GetScanLine(y), 39), 0) << y;
}

TEST(DIBBuild, PillowReadsTheDIBsAsBMPFiles) {
  if (!HavePython({"PIL"})) GTEST_SKIP() << "python3-pil (Pillow) is missing";
  TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  struct Case {
    TVXPixelFormat pf;
    int32_t x1, y1, x2, y2, dpi;
  };
  const std::vector<Case> cases = {{vx1g, 0, 0, 0, 0, 96},     {vx1g, 3, 1, 12, 4, 150},  {vx8g, 0, 0, 0, 0, 72},
                                   {vx8g, 5, 2, 9, 5, 200},    {vx8p, 0, 0, 0, 0, 300},   {vx8p, 1, 0, 8, 3, 96},
                                   {vx24RGB, 0, 0, 0, 0, 96},  {vx24RGB, 3, 1, 11, 4, 600}, {vx48RGB, 0, 0, 0, 0, 96},
                                   {vx48RGB, 2, 1, 7, 0, 120}};
  std::vector<Bytes> expected;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    auto src = Fixture(c.pf);
    HGLOBAL h = _CopyBitmaptoDIBEx(src.get(), c.x1, c.y1, c.x2, c.y2, c.dpi, c.dpi);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(WriteFile(dir / (std::to_string(i) + ".bmp"), BMPFile(h)));
    GlobalFree(h);
    TVXBitmap ref(src->Width(), src->Height(), c.pf == vx48RGB ? vx24RGB : c.pf);
    if (c.pf == vx48RGB)
      ref.CopyAndConvertFormat(src.get());
    else
      ref.Assign(src.get());
    const int32_t x2 = c.x2 ? c.x2 : ref.Width(), y2 = c.y2 ? c.y2 : ref.Height();
    Bytes e;
    for (int32_t y = c.y1; y < y2; ++y)
      for (int32_t x = c.x1; x < x2; ++x) {
        const TRGB p = ref.Pixels(x, y);
        Append(e, {p.r, p.g, p.b});
      }
    expected.push_back(e);
  }
  ASSERT_TRUE(RunPython(dir, "from PIL import Image\n"
                             "for i in range(" + std::to_string(cases.size()) + "):\n"
                             "    im = Image.open('%d.bmp' % i)\n"
                             "    dpi = im.info.get('dpi', (0, 0))\n"
                             "    head = '%d %d %.3f %.3f\\n' % (im.width, im.height, dpi[0], dpi[1])\n"
                             "    open('%d.out' % i, 'wb').write(head.encode() + im.convert('RGB').tobytes())\n"));
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "case " << i << " format " << int(cases[i].pf));
    const Bytes out = ReadFile(dir / (std::to_string(i) + ".out"));
    const auto nl = std::find(out.begin(), out.end(), uint8_t('\n'));
    ASSERT_NE(nl, out.end());
    std::istringstream head(std::string(out.begin(), nl));
    int w = 0, h = 0;
    double dx = 0, dy = 0;
    head >> w >> h >> dx >> dy;
    EXPECT_NEAR(dx, cases[i].dpi, 0.05);
    EXPECT_NEAR(dy, cases[i].dpi, 0.05);
    EXPECT_EQ(size_t(w) * size_t(h) * 3, expected[i].size());
    EXPECT_TRUE(Bytes(nl + 1, out.end()) == expected[i]);
  }
}

TEST(DIBGamma, CorrectsOnlyUncompressed24BitPixels) {
  auto src = Fixture(vx24RGB, 5, 3);  // rows of 15 bytes + 1 padding byte
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) src->SetPixels_vx24RGB(x, y, TRGB{128, 128, 128});
  struct Case {
    double gamma;
    uint8_t want;
  };
  for (Case c : {Case{1, 128}, Case{2.2, 186}, Case{0.5, 64}, Case{0, 128}, Case{-1, 128}}) {
    SCOPED_TRACE(c.gamma);
    Locked d(_CopyBitmaptoDIBEx(src.get(), 0, 0, 0, 0, 72, 72));
    d.p[40 + 15] = 0x5A;  // padding byte of the bottom row
    GlobalUnlock(d.handle);
    VXGammaCorrectDIB(d.handle, c.gamma);
    GlobalLock(d.handle);
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 15; ++k) ASSERT_EQ(d.p[40 + 16 * j + k], c.want) << j << "," << k;
    EXPECT_EQ(d.p[40 + 15], 0x5A);
  }
  // 32-bit, compressed, 8-bit and short blocks stay as they are.
  struct Other {
    uint16_t bits;
    uint32_t compression;
    int64_t dataBytes;
  };
  for (Other o : {Other{32, 0, 5 * 4 * 3}, Other{24, 3, 16 * 3}, Other{8, 0, 8 * 3}, Other{24, 0, 16 * 3 - 1}}) {
    SCOPED_TRACE(::testing::Message() << o.bits << " bits, compression " << o.compression);
    Bytes dib = Header(5, 3, o.bits, o.compression);
    dib.resize(size_t(40 + o.dataBytes), 128);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    std::memcpy(GlobalLock(h), dib.data(), dib.size());
    GlobalUnlock(h);
    VXGammaCorrectDIB(h, 2.2);
    EXPECT_EQ(std::memcmp(GlobalLock(h), dib.data(), dib.size()), 0);
    GlobalUnlock(h);
    GlobalFree(h);
  }
  VXGammaCorrectDIB(nullptr, 2.2);
}

}  // namespace
