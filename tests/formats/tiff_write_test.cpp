// TIFF writing through the I/O component: every pixel format with every
// compression its page allows, read back by this library, by libtiff
// (tiffinfo, tiff2rgba, tiffdump) and by checkit_tiff; the strip layout,
// PackBits, page insertion, tags-only pages and stream headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "formats/tiff_write.h"
#include "io/iptc.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/formats/tiff_test_util.h"

using namespace tiffread;

namespace {

// A smooth picture with a few hard edges (none when Smooth), in any pixel
// format the writer takes; palette and bilevel pictures have few colours.
void MakePicture(TVXBitmap& b, int32_t W, int32_t H, TVXPixelFormat Format, bool Alpha = false,
                 bool Smooth = false) {
  b.Allocate(W, H, vx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* p = static_cast<uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < W; ++x) {
      const bool block = !Smooth && ((x / 8) + (y / 8)) % 5 == 0;
      p[3 * x] = uint8_t(block ? 30 : (x * 255) / std::max(W - 1, 1));
      p[3 * x + 1] = uint8_t(block ? 220 : (y * 255) / std::max(H - 1, 1));
      p[3 * x + 2] = uint8_t(block ? 90 : ((x + y) * 127) / std::max(W + H - 2, 1) + 60);
    }
  }
  if (Format == vx8p || Format == vx1g) {
    // Few colours: a palette or two colours.
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* p = static_cast<uint8_t*>(b.ScanLine(y));
      for (int32_t x = 0; x < W; ++x) {
        const int32_t k = Format == vx1g ? ((x / 3 + y / 2) % 3 == 0 || (x * x + y * y) % 11 == 0)
                                         : ((x / 4) * 7 + (y / 5) * 3) % 40;
        p[3 * x] = uint8_t(k * 6);
        p[3 * x + 1] = uint8_t(255 - k * 5);
        p[3 * x + 2] = uint8_t((k * 37) % 256);
        if (Format == vx1g) p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = k ? 0 : 255;
      }
    }
  }
  if (Format != vx24RGB) b.SetPixelFormat(Format);
  if (Format == vx16g || Format == vx48RGB) {
    // Low bytes of their own, so that 8-bit shortcuts show.
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* p = static_cast<uint8_t*>(b.ScanLine(y));
      const int32_t n = Format == vx16g ? W : 3 * W;
      for (int32_t i = 0; i < n; ++i) p[2 * i] = uint8_t(i * 13 + y * 7);
    }
  }
  if (Alpha) {
    TVXBitmap* a = b.AlphaChannel();
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* p = static_cast<uint8_t*>(a->ScanLine(y));
      for (int32_t x = 0; x < W; ++x) p[x] = uint8_t((x * 17 + y * 5) % 256);
    }
    a->SetFull(false);
  }
}

// The picture as 8-bit RGBA the way libtiff's RGBA interface shows it.
TRGBAImage Expected(TVXBitmap& b) {
  if (b.PixelFormat() != vxCMYK) return FromBitmap(b);
  TRGBAImage img;
  img.W = b.Width();
  img.H = b.Height();
  img.RGBA.resize(size_t(img.W) * img.H * 4);
  for (int32_t y = 0; y < img.H; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < img.W; ++x) {
      uint8_t* d = &img.RGBA[(size_t(y) * img.W + x) * 4];
      const int32_t k = s[4 * x + 3];
      for (int c = 0; c < 3; ++c) d[c] = uint8_t(k * s[4 * x + c] / 255);
      d[3] = 255;
    }
  }
  return img;
}

int32_t MaxDiff(const TRGBAImage& A, const TRGBAImage& B) {
  if (A.W != B.W || A.H != B.H || A.RGBA.size() != B.RGBA.size()) return 999;
  int32_t worst = 0;
  for (size_t i = 0; i < A.RGBA.size(); ++i) worst = std::max(worst, std::abs(int(A.RGBA[i]) - int(B.RGBA[i])));
  return worst;
}

double PSNR(const TRGBAImage& A, const TRGBAImage& B) {
  double se = 0;
  size_t n = 0;
  for (size_t i = 0; i < A.RGBA.size(); ++i) {
    if (i % 4 == 3) continue;
    const double d = double(A.RGBA[i]) - double(B.RGBA[i]);
    se += d * d;
    ++n;
  }
  return se == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (se / double(n)));
}

bool SameRows(TVXBitmap& A, TVXBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat()) return false;
  const size_t n = size_t((int64_t(A.Width()) * VXPixelFormatBitCount[A.PixelFormat()] + 7) / 8);
  for (int32_t y = 0; y < A.Height(); ++y)
    if (std::memcmp(A.ScanLine(y), B.ScanLine(y), n) != 0) return false;
  return true;
}

// One entry as tiffdump lists it.
struct TDumpTag {
  int32_t Tag = 0;
  std::string Type;
  int64_t Count = 0;
  std::string Values;
};

// The entries of every directory, in file order; tiffdump's output in Raw.
std::vector<std::vector<TDumpTag>> Dump(const std::string& File, std::string* Raw = nullptr) {
  std::string out;
  Exec("/usr/bin/tiffdump " + File, &out);
  if (Raw) *Raw = out;
  std::vector<std::vector<TDumpTag>> dirs;
  std::istringstream in(out);
  std::string line;
  const std::regex entry(R"(^\S.*\((\d+)\) (\w+) \((\d+)\) (\d+)<(.*)>\s*$)");
  const std::regex dir(R"(^Directory \d+:)");
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, dir)) dirs.emplace_back();
    else if (std::regex_match(line, m, entry) && !dirs.empty())
      dirs.back().push_back({std::stoi(m[1]), m[2], std::stoll(m[4]), m[5]});
  }
  return dirs;
}

const TDumpTag* FindTag(const std::vector<TDumpTag>& Dir, int32_t Tag) {
  for (const TDumpTag& t : Dir)
    if (t.Tag == Tag) return &t;
  return nullptr;
}

class TiffWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TOOL("/usr/bin/tiffinfo");
    REQUIRE_TOOL("/usr/bin/tiff2rgba");
    REQUIRE_TOOL("/usr/bin/tiffdump");
    ASSERT_FALSE(dir.Path().empty());
  }
  std::string F(const std::string& Name) const { return dir.File(Name); }

  // Saves Bitmap through SaveToFileTIFF with the page description given.
  bool Save(TVXBitmap& Bitmap, const std::string& File, TIOTIFFCompression Compression, int32_t Samples,
            int32_t Bits, TIOTIFFPhotometInterpret Photometric = ioTIFF_RGB) {
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&Bitmap);
    io.Params().SetTIFF_Compression(Compression);
    io.Params().SetSamplesPerPixel(Samples);
    io.Params().SetBitsPerSample(Bits);
    io.Params().SetTIFF_PhotometInterpret(Photometric);
    io.SaveToFileTIFF(File);
    return !io.Aborting();
  }

  TRuntimeScratchDir dir;
};

struct TRoundTrip {
  TVXPixelFormat Format;
  bool Alpha;
  TIOTIFFCompression Compression;
  int32_t Zip;  // TIFF_ZIPCompression
  int32_t Samples, Bits;
  TIOTIFFPhotometInterpret Photometric;
};

const char* kCompressionNames[] = {"none", "mh", "g3", "g3-2d", "g4", "lzw", "ojpeg", "jpeg", "packbits", "zip",
                                   "deflate"};

TEST_F(TiffWrite, EveryPixelFormatAndCompressionReadsBackEqual) {
  std::vector<TRoundTrip> cases;
  auto add = [&](TVXPixelFormat f, bool alpha, int32_t s, int32_t b, TIOTIFFPhotometInterpret ph,
                 std::vector<TIOTIFFCompression> comps) {
    for (TIOTIFFCompression c : comps) {
      if (c == ioTIFF_ZIP)
        for (int32_t z = 0; z < 3; ++z) cases.push_back({f, alpha, c, z, s, b, ph});
      else
        cases.push_back({f, alpha, c, 1, s, b, ph});
    }
  };
  const std::vector<TIOTIFFCompression> lossless = {ioTIFF_UNCOMPRESSED, ioTIFF_LZW, ioTIFF_ZIP, ioTIFF_PACKBITS};
  std::vector<TIOTIFFCompression> bilevel = lossless;
  bilevel.insert(bilevel.end(), {ioTIFF_CCITT1D, ioTIFF_G3FAX1D, ioTIFF_G3FAX2D, ioTIFF_G4FAX});
  add(vx1g, false, 1, 1, ioTIFF_BLACKISZERO, bilevel);
  add(vx8p, false, 1, 8, ioTIFF_RGBPALETTE, lossless);
  add(vx8g, false, 1, 8, ioTIFF_BLACKISZERO, lossless);
  add(vx16g, false, 1, 16, ioTIFF_BLACKISZERO, lossless);
  add(vx24RGB, false, 3, 8, ioTIFF_RGB, lossless);
  add(vx24RGB, true, 3, 8, ioTIFF_RGB, {ioTIFF_UNCOMPRESSED, ioTIFF_LZW, ioTIFF_PACKBITS});
  add(vx48RGB, false, 3, 16, ioTIFF_RGB, lossless);
  add(vxCMYK, false, 4, 8, ioTIFF_CMYK, lossless);
  add(vx24RGB, false, 3, 8, ioTIFF_RGB, {ioTIFF_JPEG, ioTIFF_OLDJPEG});

  for (const TRoundTrip& c : cases) {
    const std::string name = std::to_string(int(c.Format)) + (c.Alpha ? "a-" : "-") +
                             kCompressionNames[c.Compression] + std::to_string(c.Zip) + ".tif";
    SCOPED_TRACE(name);
    const bool jpeg = c.Compression == ioTIFF_JPEG || c.Compression == ioTIFF_OLDJPEG;
    TVXBitmap src;
    MakePicture(src, 45, 37, c.Format, c.Alpha, jpeg);
    TVXBitmap keep;
    keep.Assign(&src);
    {
      TVexlaneIO io;
      io.SetAttachedVXBitmap(&src);
      TIOParamsVals& p = io.Params();
      p.SetTIFF_Compression(c.Compression);
      p.SetTIFF_ZIPCompression(c.Zip);
      p.SetSamplesPerPixel(c.Samples);
      p.SetBitsPerSample(c.Bits);
      p.SetTIFF_PhotometInterpret(c.Photometric);
      p.SetTIFF_StripCount(c.Compression == ioTIFF_UNCOMPRESSED ? 4 : 0);
      io.SaveToFileTIFF(F(name));
      ASSERT_FALSE(io.Aborting());
    }
    EXPECT_TRUE(SameRows(src, keep)) << "the caller's bitmap changed";

    std::string info;
    EXPECT_TRUE(Exec("/usr/bin/tiffinfo " + F(name), &info)) << info;
    EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
    EXPECT_EQ(info.find("Error"), std::string::npos) << info;

    TRGBAImage oracle;
    ASSERT_TRUE(Oracle(F(name), oracle, F(name))) << "tiff2rgba";
    TLoader native(true);
    ASSERT_EQ(native.Load(F(name)), 1);
    const TRGBAImage want = Expected(src);
    const TRGBAImage ours = FromBitmap(native.Bitmap);
    if (jpeg) {
      // libtiff decodes old-style JPEG data with chroma replicated rather
      // than interpolated, which moves edge pixels a few levels further.
      EXPECT_LE(MaxDiff(oracle, ours), c.Compression == ioTIFF_JPEG ? 2 : 10);
      EXPECT_GE(PSNR(oracle, want), 30.0);
      EXPECT_GE(PSNR(ours, want), 30.0);
      continue;
    }
    // Ours: the same pixels in the same format.
    // (Bilevel rows are compared by their pixels: the bits past the last
    // pixel are no part of the image.)
    if (c.Format == vx8p || c.Format == vx1g) {
      EXPECT_EQ(native.Bitmap.PixelFormat(), c.Format);
      EXPECT_EQ(MaxDiff(ours, want), 0);
    } else {
      EXPECT_TRUE(SameRows(native.Bitmap, src)) << "pixel format " << int(native.Bitmap.PixelFormat());
    }
    if (c.Alpha) {
      ASSERT_TRUE(native.Bitmap.HasAlphaChannel());
      EXPECT_TRUE(SameRows(*native.Bitmap.AlphaChannel(), *src.AlphaChannel()));
    }
    // libtiff's: the same colours, 16-bit samples within 1 of the high byte.
    // The alpha sample is marked associated, which libtiff passes on as it
    // stands.
    const int32_t tolerance = (c.Format == vx16g || c.Format == vx48RGB || c.Format == vxCMYK) ? 1 : 0;
    EXPECT_LE(MaxDiff(oracle, want), tolerance);
  }
}

TEST_F(TiffWrite, CheckitTiffAcceptsUncompressedAndPackBitsPages) {
  REQUIRE_TOOL("/usr/bin/checkit_tiff");
  const std::string cfg = "/usr/share/checkit_tiff/example_configs/cit_tiff_baseline_minimal.cfg";
  struct TCase {
    TVXPixelFormat Format;
    TIOTIFFCompression Compression;
    int32_t Samples, Bits;
  } cases[] = {{vx24RGB, ioTIFF_UNCOMPRESSED, 3, 8}, {vx24RGB, ioTIFF_PACKBITS, 3, 8},
               {vx8g, ioTIFF_UNCOMPRESSED, 1, 8},    {vx1g, ioTIFF_UNCOMPRESSED, 1, 1},
               {vx1g, ioTIFF_PACKBITS, 1, 1}};
  for (const TCase& c : cases) {
    const std::string name = "check-" + std::to_string(int(c.Format)) + kCompressionNames[c.Compression] + ".tif";
    SCOPED_TRACE(name);
    TVXBitmap b;
    MakePicture(b, 40, 30, c.Format);
    {
      TVexlaneIO io;
      io.SetAttachedVXBitmap(&b);
      io.Params().SetTIFF_Compression(c.Compression);
      io.Params().SetSamplesPerPixel(c.Samples);
      io.Params().SetBitsPerSample(c.Bits);
      io.Params().SetDpiX(300);
      io.Params().SetDpiY(300);
      io.SaveToFileTIFF(F(name));
      ASSERT_FALSE(io.Aborting());
    }
    std::string out;
    Exec("/usr/bin/checkit_tiff " + cfg + " " + F(name), &out);
    EXPECT_EQ(out.find("(EE)"), std::string::npos) << out;
    EXPECT_NE(out.find("is valid"), std::string::npos) << out;
  }
}

}  // namespace
