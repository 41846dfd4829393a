#pragma once
// Helpers of the TIFF reader tests: source pictures written as netpbm files
// and turned into TIFF by ImageMagick and tiffcp, the tiff2rgba oracle read
// back without the library's reader, and loads through the I/O component.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/tiff_strips_util.h"
#include "tests/core/runtime_test_util.h"

namespace tiffread {

#define REQUIRE_TOOL(path) \
  if (!RuntimeHaveTool(path)) GTEST_SKIP() << path << " is missing (bash scripts/setup --tests)"

// Runs a shell command; its output (stdout and stderr) on failure.
inline bool Exec(const std::string& Command, std::string* Output = nullptr) {
  const std::string out = RuntimeShell("(" + Command + ") 2>&1; echo \"rc=$?\"");
  if (Output) *Output = out;
  return out.size() >= 5 && out.compare(out.size() - 5, 5, "rc=0\n") == 0;
}

// An RGBA picture, 8 bits per sample (or 16 when Wide), with a pattern that
// differs in every channel.
struct TPicture {
  int32_t W = 0, H = 0;
  int32_t Channels = 3;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
  int32_t Maxval = 255;
  std::vector<uint16_t> Samples;  // W x H x Channels
};

inline TPicture Pattern(int32_t W, int32_t H, int32_t Channels, int32_t Maxval = 255) {
  TPicture p;
  p.W = W;
  p.H = H;
  p.Channels = Channels;
  p.Maxval = Maxval;
  p.Samples.resize(size_t(W) * H * Channels);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      for (int32_t c = 0; c < Channels; ++c) {
        uint32_t v = uint32_t(x * 37 + y * 71 + c * 101 + ((x * y) % 13) * 9);
        if (Channels % 2 == 0 && c == Channels - 1) v = (x + y) % 5 == 0 ? 0 : (x * 29 + y * 3) % 256;
        v = Maxval == 255 ? v % 256 : (v * 257 + uint32_t(x * 5 + y)) % 65536;
        if (Channels % 2 == 0 && c == Channels - 1 && (x + y) % 7 == 0) v = uint32_t(Maxval);
        p.Samples[(size_t(y) * W + x) * Channels + c] = uint16_t(v);
      }
  return p;
}

// The picture as PAM (P7), which ImageMagick reads with its alpha.
inline void WritePAM(const TPicture& p, const std::string& File) {
  static const char* types[] = {"", "GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
  std::string s = "P7\nWIDTH " + std::to_string(p.W) + "\nHEIGHT " + std::to_string(p.H) + "\nDEPTH " +
                  std::to_string(p.Channels) + "\nMAXVAL " + std::to_string(p.Maxval) + "\nTUPLTYPE " +
                  types[p.Channels] + "\nENDHDR\n";
  for (uint16_t v : p.Samples) {
    if (p.Maxval > 255) s.push_back(char(v >> 8));
    s.push_back(char(v & 255));
  }
  RuntimeWriteFile(File, s);
}

// A bilevel picture as PBM (1 = black).
inline void WritePBM(int32_t W, int32_t H, const std::string& File) {
  std::string s = "P4\n" + std::to_string(W) + " " + std::to_string(H) + "\n";
  const int32_t rowBytes = (W + 7) / 8;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t b = 0; b < rowBytes; ++b) {
      uint8_t v = 0;
      for (int32_t k = 0; k < 8; ++k) {
        const int32_t x = b * 8 + k;
        if (x < W && ((x / 3 + y / 2) % 3 == 0 || (x * x + y * y) % 11 == 0)) v |= uint8_t(0x80 >> k);
      }
      s.push_back(char(v));
    }
  RuntimeWriteFile(File, s);
}

// What tiff2rgba makes of a file: 8-bit RGBA, the colour premultiplied by
// alpha, read from its uncompressed strips.
struct TRGBAImage {
  int32_t W = 0, H = 0;
  std::vector<uint8_t> RGBA;
  const uint8_t* At(int32_t x, int32_t y) const { return &RGBA[(size_t(y) * W + x) * 4]; }
};

inline bool Oracle(const std::string& File, TRGBAImage& Out, const std::string& Scratch) {
  const std::string out = Scratch + ".rgba.tif";
  if (!Exec("/usr/bin/tiff2rgba -c none '" + File + "' '" + out + "'")) return false;
  stripstest::TPage page;
  if (!stripstest::ReadPage(RuntimeReadFile(out), page) || page.samples != 4 || page.bits != 8) return false;
  Out.W = int32_t(page.width);
  Out.H = int32_t(page.height);
  Out.RGBA.clear();
  for (const std::string& r : stripstest::Rows(page)) Out.RGBA.insert(Out.RGBA.end(), r.begin(), r.end());
  // tiff2rgba keeps the fill order, and libtiff stores such bytes reversed.
  if (page.fillOrder == 2)
    for (uint8_t& b : Out.RGBA) b = stripstest::Reverse(b);
  return int64_t(Out.RGBA.size()) == page.width * page.height * 4;
}

// A loaded picture as 8-bit RGBA (alpha 255 without an alpha channel).
inline TRGBAImage FromBitmap(TVXBitmap& b) {
  TRGBAImage img;
  img.W = b.Width();
  img.H = b.Height();
  TVXBitmap rgb;
  rgb.Assign(&b);
  if (rgb.PixelFormat() != vx24RGB) rgb.SetPixelFormat(vx24RGB);
  TVXBitmap* alpha = b.HasAlphaChannel() ? b.AlphaChannel() : nullptr;
  img.RGBA.resize(size_t(img.W) * img.H * 4);
  for (int32_t y = 0; y < img.H; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(rgb.ScanLine(y));
    const uint8_t* a = alpha ? static_cast<const uint8_t*>(alpha->ScanLine(y)) : nullptr;
    for (int32_t x = 0; x < img.W; ++x) {
      uint8_t* d = &img.RGBA[(size_t(y) * img.W + x) * 4];
      d[0] = s[3 * x + 2];
      d[1] = s[3 * x + 1];
      d[2] = s[3 * x];
      d[3] = a ? a[x] : 255;
    }
  }
  return img;
}

// The largest difference between the oracle and a load, the loaded colour
// premultiplied as the oracle's is; -1 when the sizes differ.
inline int32_t MaxDifference(const TRGBAImage& Oracle, const TRGBAImage& Ours) {
  if (Oracle.W != Ours.W || Oracle.H != Ours.H) return -1;
  int32_t worst = 0;
  for (int32_t y = 0; y < Oracle.H; ++y)
    for (int32_t x = 0; x < Oracle.W; ++x) {
      const uint8_t* o = Oracle.At(x, y);
      const uint8_t* u = Ours.At(x, y);
      for (int c = 0; c < 4; ++c) {
        const int32_t mine = c == 3 ? u[3] : (u[c] * u[3] + 127) / 255;
        worst = std::max(worst, std::abs(mine - int32_t(o[c])));
      }
    }
  return worst;
}

// A component with its own bitmap, for loads.
struct TLoader {
  TVXBitmap Bitmap;
  TVexlaneIO IO;
  explicit TLoader(bool Native = false, int32_t Page = 0) {
    IO.SetAttachedVXBitmap(&Bitmap);
    IO.Params().IsNativePixelFormat = Native;
    IO.Params().SetTIFF_ImageIndex(Page);
  }
  TIOParamsVals& P() { return IO.Params(); }
  // LoadFromFileTIFF; its result (the page count, -1 after an abort).
  int32_t Load(const std::string& File) { return IO.LoadFromFileTIFF(File); }
};

}  // namespace tiffread
