// Helpers of the BMP, icon and cursor tests: RGBA images, test patterns,
// decoding by the outside oracles (netpbm's bmptopnm, Pillow) and by the
// library's readers, and small BMP builders.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/rowops.h"
#include "tests/codecs/jpeg_test_util.h"

namespace bmptest {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::ScratchDir;
using jpegtest::Shell;
using jpegtest::WriteFile;

const std::string kPython = "/usr/bin/python3";
const std::string kConvert = "/usr/bin/convert";

inline bool HavePillow() {
  return HaveTool(kPython) && Shell(kPython + " -c 'import PIL' >/dev/null") == 0;
}

#define REQUIRE_NETPBM() \
  if (!bmptest::HaveTool("/usr/bin/bmptopnm")) GTEST_SKIP() << "netpbm (bmptopnm, ppmtobmp) missing"
#define REQUIRE_PILLOW() \
  if (!bmptest::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) missing"
#define REQUIRE_ICOTOOL() \
  if (!bmptest::HaveTool("/usr/bin/icotool")) GTEST_SKIP() << "icotool (icoutils) missing"
#define REQUIRE_CONVERT() \
  if (!bmptest::HaveTool(bmptest::kConvert)) GTEST_SKIP() << "ImageMagick convert missing"

// An image as red, green, blue, alpha bytes, rows top-down.
struct Image {
  int W = 0, H = 0;
  std::vector<uint8_t> Px;
  Image() = default;
  Image(int w, int h) : W(w), H(h), Px(size_t(w) * h * 4, 255) {}
  uint8_t* At(int x, int y) { return &Px[(size_t(y) * W + x) * 4]; }
  const uint8_t* At(int x, int y) const { return &Px[(size_t(y) * W + x) * 4]; }
  void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    uint8_t* p = At(x, y);
    p[0] = r, p[1] = g, p[2] = b, p[3] = a;
  }
};

// A pattern of at most Colors distinct colours (all of them when the image is
// large enough), with diagonal bands so that runs and literals both occur;
// above 256 colours nearly every pixel differs.
inline Image Pattern(int W, int H, int Colors) {
  Image im(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int i = ((x / 3) + y * 7 + (x * y) % 5) % Colors;
      if (Colors == 2)
        im.Set(x, y, i ? 255 : 0, i ? 255 : 0, i ? 255 : 0);
      else if (Colors > 256)
        im.Set(x, y, uint8_t(x * 7 + i), uint8_t(y * 11), uint8_t(x * y + 3 * i));
      else
        im.Set(x, y, uint8_t(i * 53 % 256), uint8_t(i * 101 % 256), uint8_t(255 - i * 29 % 256));
    }
  return im;
}

inline void WritePpm(const std::string& Path, const Image& Im) {
  std::string header = "P6\n" + std::to_string(Im.W) + " " + std::to_string(Im.H) + "\n255\n";
  std::vector<uint8_t> d(header.begin(), header.end());
  for (size_t i = 0; i < Im.Px.size(); i += 4) d.insert(d.end(), &Im.Px[i], &Im.Px[i] + 3);
  WriteFile(Path, d);
}

// A source image: Pattern colours, transparent where Alpha says.
inline Image Source(int W, int H, int Colors, int AlphaKind) {
  Image im = Pattern(W, H, Colors);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t a = 255;
      if (AlphaKind == 1) a = (x < 3 && y < 2) ? 0 : 255;        // a transparent corner
      if (AlphaKind == 2) a = uint8_t((x * 5 + y) % 256);         // graded
      im.At(x, y)[3] = a;
    }
  return im;
}

// An RGBA PNG through Pillow (for icotool).
inline bool WritePng(ScratchDir& Dir, const std::string& Path, const Image& Im) {
  const std::string raw = Dir / "png-source.raw";
  WriteFile(raw, Im.Px);
  return Shell(kPython + " -c \"from PIL import Image; import sys; Image.frombytes('RGBA', (" +
               std::to_string(Im.W) + "," + std::to_string(Im.H) + "), open(sys.argv[1],'rb').read()).save(sys.argv[2])\" " +
               raw + " " + Path) == 0;
}

// bmptopnm's decoding (alpha 255).
inline bool DecodeNetpbm(ScratchDir& Dir, const std::string& Path, Image& Out) {
  const std::string ppm = Dir / "netpbm-out.ppm";
  if (Shell("/usr/bin/bmptopnm " + Path + " 2>/dev/null | /usr/bin/pamdepth 255 2>/dev/null | /usr/bin/ppmtoppm > " + ppm) != 0) return false;
  jpegtest::Pnm pnm;
  if (!jpegtest::ReadPnm(ppm, pnm) || pnm.Channels != 3) return false;
  Out = Image(pnm.Width, pnm.Height);
  for (int y = 0; y < pnm.Height; ++y)
    for (int x = 0; x < pnm.Width; ++x) Out.Set(x, y, pnm.At(x, y, 0), pnm.At(x, y, 1), pnm.At(x, y, 2));
  return true;
}

// Pillow's decoding as RGBA. Size (w, h): that image of an icon file.
inline bool DecodePillow(ScratchDir& Dir, const std::string& Path, Image& Out, int IconW = 0, int IconH = 0) {
  const std::string script = Dir / "decode.py", raw = Dir / "pillow-out.raw";
  const std::string code =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "if int(sys.argv[3]) > 0:\n"
      "    im = im.ico.getimage((int(sys.argv[3]), int(sys.argv[4])))\n"
      "im = im.convert('RGBA')\n"
      "open(sys.argv[2], 'wb').write(b'%d %d\\n' % im.size + im.tobytes())\n";
  WriteFile(script, std::vector<uint8_t>(code.begin(), code.end()));
  if (Shell(kPython + " " + script + " " + Path + " " + raw + " " + std::to_string(IconW) + " " +
            std::to_string(IconH)) != 0)
    return false;
  const std::vector<uint8_t> d = ReadFile(raw);
  const auto nl = std::find(d.begin(), d.end(), uint8_t('\n'));
  if (nl == d.end()) return false;
  int w = 0, h = 0;
  if (sscanf(std::string(d.begin(), nl).c_str(), "%d %d", &w, &h) != 2) return false;
  Out = Image(w, h);
  if (size_t(d.end() - nl - 1) != Out.Px.size()) return false;
  std::copy(nl + 1, d.end(), Out.Px.begin());
  return true;
}

// A decoded bitmap of any format as RGBA, alpha from the mask, else from the
// bitmap's alpha channel, else 255.
inline Image FromBitmap(TVXBitmap& Bmp, TVXMask* Mask = nullptr) {
  Image im(Bmp.Width(), Bmp.Height());
  std::vector<TRGB> row(static_cast<size_t>(Bmp.Width()));
  for (int y = 0; y < im.H; ++y) {
    VXRowToRGB(&Bmp, y, row.data());
    for (int x = 0; x < im.W; ++x)
      im.Set(x, y, row[x].r, row[x].g, row[x].b,
             Mask                     ? uint8_t(Mask->GetPixel(x, y))
             : Bmp.HasAlphaChannel() ? Bmp.Alpha(x, y)
                                      : 255);
  }
  return im;
}

// The first few differing pixels as text, empty when the images agree.
// Colour is compared where the reference is not fully transparent.
inline std::string Differences(const Image& Got, const Image& Want, bool CompareAlpha) {
  if (Got.W != Want.W || Got.H != Want.H)
    return "size " + std::to_string(Got.W) + "x" + std::to_string(Got.H) + " instead of " +
           std::to_string(Want.W) + "x" + std::to_string(Want.H);
  std::string out;
  int n = 0;
  for (int y = 0; y < Got.H && n < 4; ++y)
    for (int x = 0; x < Got.W && n < 4; ++x) {
      const uint8_t* g = Got.At(x, y);
      const uint8_t* w = Want.At(x, y);
      const bool colour = w[3] != 0 && (g[0] != w[0] || g[1] != w[1] || g[2] != w[2]);
      const bool alpha = CompareAlpha && g[3] != w[3];
      if (colour || alpha) {
        char buf[160];
        snprintf(buf, sizeof buf, "(%d,%d): %d %d %d %d instead of %d %d %d %d; ", x, y, g[0], g[1], g[2], g[3], w[0],
                 w[1], w[2], w[3]);
        out += buf;
        ++n;
      }
    }
  return out;
}

// Little-endian byte builder for hand-made files.
struct Bytes {
  std::vector<uint8_t> D;
  Bytes& U8(uint32_t v) { D.push_back(uint8_t(v)); return *this; }
  Bytes& U16(uint32_t v) { return U8(v).U8(v >> 8); }
  Bytes& U32(uint32_t v) { return U16(v).U16(v >> 16); }
  Bytes& Raw(const std::vector<uint8_t>& v) { D.insert(D.end(), v.begin(), v.end()); return *this; }
};

// A BMP with a 40-byte info header (or HeaderSize, zero-padded, with Masks at
// offsets 40..51 when given), Palette (blue, green, red entries) and Pixels.
inline std::vector<uint8_t> MakeBMP(int32_t W, int32_t H, int Bits, uint32_t Compression,
                                    const std::vector<TRGB>& Palette, const std::vector<uint8_t>& Pixels,
                                    uint32_t HeaderSize = 40, const uint32_t* Masks = nullptr) {
  Bytes h;
  h.U32(HeaderSize).U32(uint32_t(W)).U32(uint32_t(H)).U16(1).U16(uint32_t(Bits)).U32(Compression);
  h.U32(uint32_t(Pixels.size())).U32(2835).U32(2835).U32(uint32_t(Palette.size())).U32(0);
  if (Masks && HeaderSize > 40) h.U32(Masks[0]).U32(Masks[1]).U32(Masks[2]);
  h.D.resize(HeaderSize, 0);
  if (Masks && HeaderSize == 40) h.U32(Masks[0]).U32(Masks[1]).U32(Masks[2]);
  for (const TRGB& c : Palette) h.U8(c.b).U8(c.g).U8(c.r).U8(0);
  Bytes f;
  f.U8('B').U8('M').U32(uint32_t(14 + h.D.size() + Pixels.size())).U32(0).U32(uint32_t(14 + h.D.size()));
  f.Raw(h.D).Raw(Pixels);
  return f.D;
}

// One bitmap entry: info header (height doubled), palette, XOR rows and AND
// rows, both bottom-up as given.
inline std::vector<uint8_t> BitmapEntry(int W, int H, int Bits, const std::vector<TRGB>& Palette,
                                 const std::vector<uint8_t>& Xor, const std::vector<uint8_t>& And) {
  Bytes b;
  b.U32(40).U32(uint32_t(W)).U32(uint32_t(2 * H)).U16(1).U16(uint32_t(Bits)).U32(0);
  b.U32(uint32_t(Xor.size() + And.size())).U32(0).U32(0).U32(0).U32(0);
  for (const TRGB& c : Palette) b.U8(c.b).U8(c.g).U8(c.r).U8(0);
  return b.Raw(Xor).Raw(And).D;
}

struct DirEntry {
  int W, H, Colors, Field1, Field2;
  std::vector<uint8_t> Data;
};

// An icon (Type 1) or cursor (Type 2) file of the entries.
inline std::vector<uint8_t> IconFile(int Type, const std::vector<DirEntry>& Entries) {
  Bytes f;
  f.U16(0).U16(uint32_t(Type)).U16(uint32_t(Entries.size()));
  uint32_t offset = uint32_t(6 + 16 * Entries.size());
  for (const DirEntry& e : Entries) {
    f.U8(uint32_t(e.W)).U8(uint32_t(e.H)).U8(uint32_t(e.Colors)).U8(0).U16(uint32_t(e.Field1)).U16(uint32_t(e.Field2));
    f.U32(uint32_t(e.Data.size())).U32(offset);
    offset += uint32_t(e.Data.size());
  }
  for (const DirEntry& e : Entries) f.Raw(e.Data);
  return f.D;
}

// An AND mask of W x H (rows of 4-byte multiples, bottom-up) with the pixels
// for which Set is true.
template <class F>
std::vector<uint8_t> AndMask(int W, int H, F&& Set) {
  const int rowLen = (W + 31) / 32 * 4;
  std::vector<uint8_t> m(size_t(rowLen) * H, 0);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (Set(x, y)) m[size_t(H - 1 - y) * rowLen + x / 8] |= uint8_t(0x80 >> (x % 8));
  return m;
}

}  // namespace bmptest
