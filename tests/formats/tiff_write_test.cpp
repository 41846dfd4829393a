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
#include "core/icc.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "formats/tiff_write.h"
#include "io/annotations.h"
#include "io/iptc.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/formats/tiff_test_util.h"

using namespace tiffread;
using stripstest::TPage;

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
  // "Name (code) TYPE (n) count<values>", or "code (0xhex) ..." for tags
  // tiffdump has no name for.
  const std::regex entry(R"(^(\S+) \(((?:0x)?[0-9a-f]+)\) (\w+) \((\d+)\) (\d+)<(.*)>\s*$)");
  const std::regex dir(R"(^Directory \d+:)");
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, dir)) dirs.emplace_back();
    else if (std::regex_match(line, m, entry) && !dirs.empty())
      dirs.back().push_back({std::string(m[2]).rfind("0x", 0) == 0 ? std::stoi(m[1]) : std::stoi(m[2]), m[3],
                             std::stoll(m[5]), m[6]});
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
  add(vx24RGB, true, 3, 8, ioTIFF_RGB, lossless);
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
    // The alpha sample is marked unassociated (the colours are straight),
    // so libtiff premultiplies them by it.
    const int32_t tolerance = (c.Format == vx16g || c.Format == vx48RGB || c.Format == vxCMYK) ? 1 : 0;
    if (c.Alpha)
      EXPECT_EQ(MaxDifference(oracle, want), 0);
    else
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


// The shipped configurations whitelist none of the fax tags (T4Options,
// T6Options, CleanFaxData): CCITT pages are checked against the complete
// TIFF 6 configuration and may be faulted for those tags alone.
TEST_F(TiffWrite, CheckitTiffFaultsCCITTPagesOnlyForTheUnlistedFaxTags) {
  REQUIRE_TOOL("/usr/bin/checkit_tiff");
  const std::string cfg = "/usr/share/checkit_tiff/example_configs/cit_tiff6_complete.cfg";
  const std::regex allowed(R"(^\(EE\)\s+tag (292|293|327) .*whitelisted.*$|^\(EE\)Found \d+ errors$|^\(EE\)No, the given tif is not valid.*$)");
  for (const TIOTIFFCompression c : {ioTIFF_CCITT1D, ioTIFF_G3FAX1D, ioTIFF_G3FAX2D, ioTIFF_G4FAX}) {
    const std::string name = std::string("fax-") + kCompressionNames[c] + ".tif";
    SCOPED_TRACE(name);
    TVXBitmap b;
    MakePicture(b, 40, 30, vx1g);
    ASSERT_TRUE(Save(b, F(name), c, 1, 1));
    std::string out;
    Exec("/usr/bin/checkit_tiff " + cfg + " " + F(name), &out);
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("(EE)", 0) == 0) EXPECT_TRUE(std::regex_match(line, allowed)) << line;
  }
}

// ---------------------------------------------------------------------------
// The page's tags as tiffdump lists them

std::vector<int32_t> TagCodes(const std::vector<TDumpTag>& Dir) {
  std::vector<int32_t> v;
  for (const TDumpTag& t : Dir) v.push_back(t.Tag);
  return v;
}

std::string ValueOf(const std::vector<TDumpTag>& Dir, int32_t Tag) {
  const TDumpTag* t = FindTag(Dir, Tag);
  return t ? t->Values : "absent";
}

TEST_F(TiffWrite, DefaultRGBPageHasTheBaselineTagsInOrder) {
  for (const bool numbered : {false, true}) {
    SCOPED_TRACE(numbered);
    TVXBitmap b;
    MakePicture(b, 20, 10, vx24RGB);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&b);
    if (numbered) {
      io.Params().SetTIFF_PageNumber(2);
      io.Params().SetTIFF_PageCount(5);
    }
    io.SaveToFileTIFF(F("default.tif"));
    ASSERT_FALSE(io.Aborting());
    const auto dirs = Dump(F("default.tif"));
    ASSERT_EQ(dirs.size(), 1u);
    std::vector<int32_t> want = {254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 296};
    if (numbered) want.push_back(297);
    EXPECT_EQ(TagCodes(dirs[0]), want);
    EXPECT_EQ(ValueOf(dirs[0], 258), "8 8 8");
    EXPECT_EQ(ValueOf(dirs[0], 259), "1");
    EXPECT_EQ(ValueOf(dirs[0], 262), "2");
    EXPECT_EQ(ValueOf(dirs[0], 277), "3");
    EXPECT_EQ(ValueOf(dirs[0], 296), "2");
    if (numbered) EXPECT_EQ(ValueOf(dirs[0], 297), "2 5");
  }
}

TEST_F(TiffWrite, CompressionTagsFollowThePixelFormat) {
  struct TCase {
    const char* Name;
    TVXPixelFormat Format;
    bool Alpha;
    TIOTIFFCompression Compression;
    int32_t Samples, Bits;
    std::map<int32_t, std::string> Tags;  // "absent" for a tag that must be missing
  } cases[] = {
      {"g4 bilevel", vx1g, false, ioTIFF_G4FAX, 1, 1,
       {{259, "4"}, {262, "0"}, {293, "0"}, {292, "absent"}, {266, "1"}, {284, "1"}, {327, "0"}}},
      {"g3 2-d bilevel", vx1g, false, ioTIFF_G3FAX2D, 1, 1, {{259, "3"}, {262, "0"}, {292, "1"}, {293, "absent"}}},
      {"g4 asked for rgb", vx24RGB, false, ioTIFF_G4FAX, 3, 8,
       {{259, "1"}, {262, "2"}, {266, "absent"}, {327, "absent"}}},
      {"lzw rgb", vx24RGB, false, ioTIFF_LZW, 3, 8, {{259, "5"}, {317, "2"}}},
      {"lzw rgba", vx24RGB, true, ioTIFF_LZW, 3, 8, {{259, "5"}, {317, "absent"}, {277, "4"}, {338, "2"}}},
      {"deflate rgba", vx24RGB, true, ioTIFF_ZIP, 3, 8, {{259, "32946"}, {277, "4"}, {258, "8 8 8 8"}, {338, "2"}}},
      {"lzw grey", vx8g, false, ioTIFF_LZW, 1, 8, {{259, "5"}, {317, "absent"}, {262, "1"}}},
      {"deflate", vx24RGB, false, ioTIFF_ZIP, 3, 8, {{259, "32946"}, {278, "20"}}},
      {"packbits", vx24RGB, false, ioTIFF_PACKBITS, 3, 8, {{259, "32773"}}},
      {"jpeg", vx24RGB, false, ioTIFF_JPEG, 3, 8, {{259, "7"}, {262, "6"}}},
      {"old jpeg", vx24RGB, false, ioTIFF_OLDJPEG, 3, 8, {{259, "6"}, {512, "1"}, {530, "2 2"}}},
      {"uncompressed bilevel", vx1g, false, ioTIFF_UNCOMPRESSED, 1, 1, {{262, "1"}, {258, "1"}}},
      {"bilevel from two colours", vx24RGB, false, ioTIFF_PACKBITS, 1, 1, {{262, "1"}, {258, "1"}, {259, "32773"}}},
      {"grey asked for three samples", vx8g, false, ioTIFF_UNCOMPRESSED, 3, 8, {{262, "2"}, {277, "3"}, {258, "8 8 8"}}},
      {"16-bit grey asked for three samples", vx16g, false, ioTIFF_UNCOMPRESSED, 3, 16,
       {{262, "2"}, {277, "3"}, {258, "8 8 8"}}},
      {"16-bit grey asked for 8 bits", vx16g, false, ioTIFF_UNCOMPRESSED, 1, 8, {{262, "1"}, {258, "16"}}},
      {"palette image asked for 4 bits", vx8p, false, ioTIFF_UNCOMPRESSED, 1, 4, {{262, "3"}, {258, "8"}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXBitmap b;
    MakePicture(b, 30, 20, c.Format == vx24RGB && c.Bits == 1 ? vx1g : c.Format, c.Alpha);
    if (b.PixelFormat() != c.Format) b.SetPixelFormat(c.Format);
    ASSERT_TRUE(Save(b, F("case.tif"), c.Compression, c.Samples, c.Bits));
    std::string raw;
    const auto dirs = Dump(F("case.tif"), &raw);
    ASSERT_EQ(dirs.size(), 1u) << raw;
    for (const auto& [tag, value] : c.Tags) EXPECT_EQ(ValueOf(dirs[0], tag), value) << "tag " << tag << "\n" << raw;
  }
}

TEST_F(TiffWrite, JpegColourSpaces) {
  struct TCase {
    TIOJPEGColorspace Space;
    std::string Photometric, Samples;
  } cases[] = {{ioJPEG_YCbCr, "6", "3"}, {ioJPEG_RGB, "2", "3"}, {ioJPEG_GRAYLEV, "1", "1"}, {ioJPEG_YCbCrK, "2", "3"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Space));
    TVXBitmap b;
    MakePicture(b, 48, 32, vx24RGB, false, true);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&b);
    io.Params().SetTIFF_Compression(ioTIFF_JPEG);
    io.Params().SetTIFF_JPEGColorSpace(c.Space);
    io.Params().SetTIFF_JPEGQuality(90);
    io.SaveToFileTIFF(F("space.tif"));
    ASSERT_FALSE(io.Aborting());
    const auto dirs = Dump(F("space.tif"));
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(ValueOf(dirs[0], 262), c.Photometric);
    EXPECT_EQ(ValueOf(dirs[0], 277), c.Samples);
    std::string info;
    EXPECT_TRUE(Exec("/usr/bin/tiffinfo " + F("space.tif"), &info)) << info;
    EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
    TRGBAImage oracle;
    ASSERT_TRUE(Oracle(F("space.tif"), oracle, F("space.tif")));
    TLoader l;
    ASSERT_EQ(l.Load(F("space.tif")), 1);
    const TRGBAImage ours = FromBitmap(l.Bitmap);
    EXPECT_LE(MaxDiff(oracle, ours), 2);
    if (c.Space != ioJPEG_GRAYLEV) EXPECT_GE(PSNR(ours, FromBitmap(b)), 30.0);
  }
}

TEST_F(TiffWrite, StripLayout) {
  struct TCase {
    int32_t W, H, StripCount;
    std::string RowsPerStrip;
    std::vector<int64_t> RowsOfStrips;
  } cases[] = {
      {1000, 1000, 0, "200", {200, 200, 200, 200, 200}},  // 3,000,000 bytes of rows: five strips
      {20, 10, 3, "3", {3, 3, 3, 1}},
      {20, 9, 3, "3", {3, 3, 3}},
      {20, 10, 1, "10", {10}},
      {20, 10, 50, "1", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},  // more strips than rows: one row each
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.H) + "/" + std::to_string(c.StripCount));
    TVXBitmap b;
    MakePicture(b, c.W, c.H, vx24RGB);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&b);
    io.Params().SetTIFF_StripCount(c.StripCount);
    io.SaveToFileTIFF(F("strips.tif"));
    ASSERT_FALSE(io.Aborting());
    const auto dirs = Dump(F("strips.tif"));
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(ValueOf(dirs[0], 278), c.RowsPerStrip);
    const TDumpTag* offsets = FindTag(dirs[0], 273);
    const TDumpTag* counts = FindTag(dirs[0], 279);
    ASSERT_TRUE(offsets && counts);
    EXPECT_EQ(offsets->Count, int64_t(c.RowsOfStrips.size()));
    std::istringstream in(counts->Values);
    for (int64_t rows : c.RowsOfStrips) {
      int64_t n = -1;
      in >> n;
      EXPECT_EQ(n, rows * c.W * 3);
    }
    // One strip: the offset lies in the entry; more: out of line.
    TPage page;
    ASSERT_TRUE(stripstest::ReadPage(RuntimeReadFile(F("strips.tif")), page));
    EXPECT_EQ(page.strips.size(), c.RowsOfStrips.size());
    TLoader l(true);
    ASSERT_EQ(l.Load(F("strips.tif")), 1);
    EXPECT_TRUE(SameRows(l.Bitmap, b));
  }
}

TEST_F(TiffWrite, SingleStripOffsetsLieInTheEntry) {
  for (const int32_t strips : {1, 3}) {
    SCOPED_TRACE(strips);
    TVXBitmap b;
    MakePicture(b, 16, 12, vx24RGB);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&b);
    io.Params().SetTIFF_StripCount(strips);
    io.SaveToFileTIFF(F("inline.tif"));
    const std::string bytes = RuntimeReadFile(F("inline.tif"));
    const uint8_t* m = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint32_t d = VXTIFFGet32(m + 4, true);
    const uint16_t n = VXTIFFGet16(m + d, true);
    int64_t field = -1, count = 0;
    for (uint16_t i = 0; i < n; ++i)
      if (VXTIFFGet16(m + d + 2 + 12 * i, true) == 273) {
        count = VXTIFFGet32(m + d + 2 + 12 * i + 4, true);
        field = VXTIFFGet32(m + d + 2 + 12 * i + 8, true);
      }
    ASSERT_EQ(count, strips);
    // The first strip holds the first row, red first.
    const int64_t first = strips == 1 ? field : VXTIFFGet32(m + field, true);
    const uint8_t* row = static_cast<const uint8_t*>(b.ScanLine(0));
    EXPECT_EQ(m[first], row[2]);
    EXPECT_EQ(m[first + 1], row[1]);
    EXPECT_EQ(m[first + 2], row[0]);
    if (strips > 1) EXPECT_GT(field, first + 16 * 12 * 3 - 1);  // the table follows the strips
  }
}

TEST_F(TiffWrite, PackBitsRows) {
  struct TCase {
    std::vector<uint8_t> Row, Coded;
  };
  std::vector<TCase> cases = {
      {{1, 1, 1, 1, 2}, {0xFD, 1, 0, 2}},
      {{1, 2, 3}, {2, 1, 2, 3}},
      {{5, 5, 5}, {2, 5, 5, 5}},  // runs below four stay literal
      {std::vector<uint8_t>(129, 7), {0x81, 7, 0, 7}},
      {{}, {}},
  };
  // 130 distinct bytes: a literal of 128, then one of 2.
  TCase lit;
  for (int i = 0; i < 130; ++i) lit.Row.push_back(uint8_t(i));
  lit.Coded.push_back(127);
  lit.Coded.insert(lit.Coded.end(), lit.Row.begin(), lit.Row.begin() + 128);
  lit.Coded.insert(lit.Coded.end(), {1, 128, 129});
  cases.push_back(lit);
  for (const TCase& c : cases) {
    TMemoryStream out;
    bool aborting = false;
    VXPackBitsEncodeRow(c.Row.data(), int32_t(c.Row.size()), &out, aborting);
    const uint8_t* m = static_cast<const uint8_t*>(out.Memory());
    EXPECT_EQ(std::vector<uint8_t>(m, m + out.Size()), c.Coded);
    EXPECT_FALSE(aborting);
  }
  // A long mixed row comes back through the reader's expansion.
  std::vector<uint8_t> row;
  for (int i = 0; i < 1000; ++i) row.push_back(uint8_t((i / 7) % 3 == 0 ? 9 : (i * 31) % 256));
  TMemoryStream out;
  bool aborting = false;
  VXPackBitsEncodeRow(row.data(), int32_t(row.size()), &out, aborting);
  std::vector<uint8_t> back(row.size());
  int64_t consumed = 0;
  VXTIFFUnpackBits(static_cast<const uint8_t*>(out.Memory()), out.Size(), consumed, back.data(), int64_t(back.size()));
  EXPECT_EQ(back, row);
  EXPECT_EQ(consumed, out.Size());
}

TEST_F(TiffWrite, IPTCBlockCountsWholeLongs) {
  // Blocks of 16 and 17 bytes: 4 and 5 LONGs.
  for (const std::string& caption : {std::string("abcd"), std::string("abcde")}) {
    TVXBitmap b;
    MakePicture(b, 8, 8, vx24RGB);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&b);
    io.Params().IPTC_Info().AddStringItem(2, 120, caption);
    const size_t length = io.Params().IPTC_Info().SaveToStandardBuffer(false).size();
    io.SaveToFileTIFF(F("iptc.tif"));
    ASSERT_FALSE(io.Aborting());
    std::string raw;
    const auto dirs = Dump(F("iptc.tif"), &raw);
    ASSERT_EQ(dirs.size(), 1u);
    const TDumpTag* t = FindTag(dirs[0], 33723);
    ASSERT_NE(t, nullptr) << raw;
    EXPECT_EQ(t->Type, "LONG");
    EXPECT_EQ(t->Count, int64_t((length + 3) / 4));
    TLoader l;
    ASSERT_EQ(l.Load(F("iptc.tif")), 1);
    // The record version comes back beside the caption.
    TVXIPTCInfoList& got = l.P().IPTC_Info();
    ASSERT_EQ(got.Count(), 2);
    EXPECT_EQ(got.StringItem(1), caption);
  }
}

// The bits of a strip, most significant first.
std::string Bits(const std::string& Strip) {
  std::string s;
  for (unsigned char c : Strip)
    for (int k = 7; k >= 0; --k) s.push_back((c >> k) & 1 ? '1' : '0');
  return s;
}

TEST_F(TiffWrite, Group3TwoDimensionalStripsEndWithTheirEndCode) {
  TVXBitmap b;
  MakePicture(b, 45, 37, vx1g);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&b);
  io.Params().SetTIFF_Compression(ioTIFF_G3FAX2D);
  io.Params().SetSamplesPerPixel(1);
  io.Params().SetBitsPerSample(1);
  io.Params().SetTIFF_StripCount(3);
  io.SaveToFileTIFF(F("g32d.tif"));
  ASSERT_FALSE(io.Aborting());
  TPage page;
  ASSERT_TRUE(stripstest::ReadPage(RuntimeReadFile(F("g32d.tif")), page));
  ASSERT_EQ(page.strips.size(), 4u);
  for (const std::string& strip : page.strips) {
    std::string bits = Bits(strip);
    const size_t last = bits.find_last_of('1');
    ASSERT_NE(last, std::string::npos);
    EXPECT_LT(bits.size() - 1 - last, 8u);  // zero padding to the byte
    bits.resize(last + 1);
    ASSERT_GE(bits.size(), 12u);
    EXPECT_EQ(bits.substr(bits.size() - 12), "000000000001");
  }
}

TEST_F(TiffWrite, PaletteAndGreyPagesFromOneSample) {
  struct TCase {
    const char* Name;
    TVXPixelFormat Picture;
    int32_t Bits;
    std::string Photometric, BitsTag;
    int64_t ColorMapCount;
  } cases[] = {
      {"40 colours, 8 bits", vx8p, 8, "3", "8", 768},
      {"40 colours, 16 bits", vx8p, 16, "3", "8", 768},
      {"grey, 8 bits", vx8g, 8, "1", "8", 0},
      {"grey, 4 bits", vx8g, 4, "1", "4", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXBitmap b;
    MakePicture(b, 33, 21, c.Picture);
    if (c.Picture == vx8g) {
      // A grey picture with 16 levels, so that 4 bits keep it whole.
      for (int32_t y = 0; y < b.Height(); ++y) {
        uint8_t* p = static_cast<uint8_t*>(b.ScanLine(y));
        for (int32_t x = 0; x < b.Width(); ++x) p[x] = uint8_t(((x + y) % 16) * 17);
      }
    }
    b.SetPixelFormat(vx24RGB);
    ASSERT_TRUE(Save(b, F("onesample.tif"), ioTIFF_UNCOMPRESSED, 1, c.Bits));
    const auto dirs = Dump(F("onesample.tif"));
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(ValueOf(dirs[0], 262), c.Photometric);
    EXPECT_EQ(ValueOf(dirs[0], 258), c.BitsTag);
    EXPECT_EQ(ValueOf(dirs[0], 277), "1");
    const TDumpTag* map = FindTag(dirs[0], 320);
    EXPECT_EQ(map ? map->Count : 0, c.ColorMapCount);
    TRGBAImage oracle;
    ASSERT_TRUE(Oracle(F("onesample.tif"), oracle, F("onesample.tif")));
    EXPECT_EQ(MaxDiff(oracle, FromBitmap(b)), 0);
    TLoader l;
    ASSERT_EQ(l.Load(F("onesample.tif")), 1);
    EXPECT_EQ(MaxDiff(FromBitmap(l.Bitmap), FromBitmap(b)), 0);
  }
}

TEST_F(TiffWrite, FormatsWithoutRowsAreWrittenAs24Bit) {
  for (const TVXPixelFormat f : {vx32RGB, vxCIELab, vx32f}) {
    SCOPED_TRACE(int(f));
    TVXBitmap b;
    MakePicture(b, 17, 11, vx24RGB);
    b.SetPixelFormat(f);
    TVXBitmap want;
    want.Assign(&b);
    want.SetPixelFormat(vx24RGB);
    ASSERT_TRUE(Save(b, F("other.tif"), ioTIFF_UNCOMPRESSED, 3, 8));
    EXPECT_EQ(b.PixelFormat(), f);
    TLoader l;
    ASSERT_EQ(l.Load(F("other.tif")), 1);
    EXPECT_TRUE(SameRows(l.Bitmap, want));
  }
}

TEST_F(TiffWrite, FaxPagesInEitherFillOrder) {
  for (const int32_t fill : {1, 2})
    for (const TIOTIFFCompression c : {ioTIFF_CCITT1D, ioTIFF_G3FAX1D, ioTIFF_G3FAX2D, ioTIFF_G4FAX}) {
      const std::string name = "fill" + std::to_string(fill) + kCompressionNames[c] + ".tif";
      SCOPED_TRACE(name);
      TVXBitmap b;
      MakePicture(b, 61, 23, vx1g);
      TVexlaneIO io;
      io.SetAttachedVXBitmap(&b);
      io.Params().SetTIFF_Compression(c);
      io.Params().SetSamplesPerPixel(1);
      io.Params().SetBitsPerSample(1);
      io.Params().SetTIFF_FillOrder(fill);
      io.Params().SetTIFF_StripCount(2);
      io.SaveToFileTIFF(F(name));
      ASSERT_FALSE(io.Aborting());
      std::string info;
      EXPECT_TRUE(Exec("/usr/bin/tiffinfo " + F(name), &info)) << info;
      EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
      EXPECT_EQ(ValueOf(Dump(F(name))[0], 266), std::to_string(fill));
      TRGBAImage oracle;
      ASSERT_TRUE(Oracle(F(name), oracle, F(name)));
      EXPECT_EQ(MaxDiff(oracle, FromBitmap(b)), 0);
      TLoader l(true);
      ASSERT_EQ(l.Load(F(name)), 1);
      EXPECT_EQ(MaxDiff(FromBitmap(l.Bitmap), FromBitmap(b)), 0);
    }
}

TEST_F(TiffWrite, MetadataTagsReadBack) {
  TVXBitmap b;
  MakePicture(b, 9, 7, vx24RGB);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&b);
  TIOParamsVals& p = io.Params();
  p.SetTIFF_ImageDescription("a description of the page");
  p.SetTIFF_DocumentName("doc");  // short enough to lie in the entry, terminator included
  p.SetTIFF_PageName("four");  // four characters and the terminator: out of line
  p.SetTIFF_XPos(3);
  p.SetTIFF_YPos(4);
  p.SetTIFF_NewSubfileType(2);
  p.SetXMP_Info("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>");
  p.TIFF_PhotoshopImageResources() = {'8', 'B', 'I', 'M', 0, 1, 2};
  p.TIFF_PhotoshopImageSourceData() = {9, 8, 7};
  const std::string profile = RuntimeReadFile(std::string(VX_SOURCE_DIR) + "/core/profiles/AdobeRGB1998.icc");
  p.InputICCProfile().LoadFromBuffer(profile.data(), int32_t(profile.size()));
  const std::string objects = std::string("VEXLANEANNOT") + "objects of the page";
  p.VexlaneAnnot().LoadFromBuffer(objects.data(), int64_t(objects.size()));
  const int32_t iccLength = p.InputICCProfile().RawLength();
  ASSERT_GT(iccLength, 0);
  io.SaveToFileTIFF(F("meta.tif"));
  ASSERT_FALSE(io.Aborting());
  std::string info;
  EXPECT_TRUE(Exec("/usr/bin/tiffinfo " + F("meta.tif"), &info)) << info;
  // The library's own objects tag is the one libtiff does not know.
  const std::string unknown = "TIFFReadDirectory: Warning, Unknown field with tag 40101 (0x9ca5) encountered.\n";
  const size_t at = info.find(unknown);
  EXPECT_NE(at, std::string::npos) << info;
  if (at != std::string::npos) info.erase(at, unknown.size());
  EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
  TLoader l;
  ASSERT_EQ(l.Load(F("meta.tif")), 1);
  EXPECT_EQ(l.P().TIFF_ImageDescription(), "a description of the page");
  EXPECT_EQ(l.P().TIFF_DocumentName(), "doc");
  EXPECT_EQ(l.P().TIFF_PageName(), "four");
  EXPECT_EQ(l.P().TIFF_XPos(), 3);
  EXPECT_EQ(l.P().TIFF_YPos(), 4);
  EXPECT_EQ(l.P().TIFF_NewSubfileType(), 2);
  EXPECT_EQ(l.P().XMP_Info(), "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>");
  EXPECT_EQ(l.P().TIFF_PhotoshopImageResources(), (std::vector<uint8_t>{'8', 'B', 'I', 'M', 0, 1, 2}));
  EXPECT_EQ(l.P().TIFF_PhotoshopImageSourceData(), (std::vector<uint8_t>{9, 8, 7}));
  ASSERT_TRUE(l.P().HasInputICCProfile());
  ASSERT_EQ(l.P().InputICCProfile().RawLength(), iccLength);
  EXPECT_EQ(std::memcmp(l.P().InputICCProfile().Raw(), profile.data(), profile.size()), 0);
  EXPECT_TRUE(TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(F("meta.tif"), 0));
  const std::vector<uint8_t> gotObjects = l.P().VexlaneAnnot().SaveToBuffer();
  EXPECT_EQ(std::string(gotObjects.begin(), gotObjects.end()), objects);
  EXPECT_EQ(MaxDiff(FromBitmap(l.Bitmap), FromBitmap(b)), 0);
}

// ---------------------------------------------------------------------------
// Insertion

// The widths of a file's pages in chain order, as tiffdump finds them.
std::vector<std::string> PageWidths(const std::string& File) {
  std::vector<std::string> w;
  for (const auto& d : Dump(File)) w.push_back(ValueOf(d, 256));
  return w;
}

int32_t InsertPage(TVXBitmap& Bitmap, const std::string& File, int32_t Index, bool& Aborting) {
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&Bitmap);
  io.Params().SetTIFF_ImageIndex(Index);
  io.Params().SetTIFF_Compression(ioTIFF_LZW);
  const int32_t n = io.InsertToFileTIFF(File);
  Aborting = io.Aborting();
  return n;
}

TEST_F(TiffWrite, InsertedPagesTakeTheirPlaceInTheChain) {
  TVXBitmap a, b, c;
  MakePicture(a, 11, 9, vx24RGB);
  MakePicture(b, 12, 9, vx8g);
  MakePicture(c, 13, 9, vx1g);
  bool aborting = false;
  ASSERT_TRUE(Save(a, F("two.tif"), ioTIFF_UNCOMPRESSED, 3, 8));
  ASSERT_EQ(InsertPage(b, F("two.tif"), 1, aborting), 2);
  ASSERT_FALSE(aborting);
  ASSERT_EQ(PageWidths(F("two.tif")), (std::vector<std::string>{"11", "12"}));
  const std::string two = RuntimeReadFile(F("two.tif"));

  struct TCase {
    int32_t Index;
    int32_t Result;
    std::vector<std::string> Widths;
  } cases[] = {{0, 3, {"13", "11", "12"}}, {1, 3, {"11", "13", "12"}}, {2, 3, {"11", "12", "13"}},
               {5, 3, {"11", "12", "13"}}};
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.Index);
    RuntimeWriteFile(F("three.tif"), two);
    EXPECT_EQ(InsertPage(c, F("three.tif"), k.Index, aborting), k.Result);
    EXPECT_FALSE(aborting);
    std::string info;
    EXPECT_TRUE(Exec("/usr/bin/tiffinfo " + F("three.tif"), &info)) << info;
    EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
    EXPECT_EQ(PageWidths(F("three.tif")), k.Widths);
    // Each page reads back as it was saved.
    TVXBitmap* pages[] = {&a, &b, &c};
    for (int32_t i = 0; i < 3; ++i) {
      TLoader l(true, i);
      ASSERT_EQ(l.Load(F("three.tif")), 3);
      const int32_t w = std::stoi(k.Widths[size_t(i)]);
      EXPECT_EQ(MaxDiff(FromBitmap(l.Bitmap), FromBitmap(*pages[w - 11])), 0) << "page " << i;
    }
  }
}

TEST_F(TiffWrite, RefusedInsertsLeaveTheFileAsItWas) {
  TVXBitmap a;
  MakePicture(a, 11, 9, vx24RGB);
  ASSERT_TRUE(Save(a, F("one.tif"), ioTIFF_UNCOMPRESSED, 3, 8));
  std::string one = RuntimeReadFile(F("one.tif"));
  // A chain whose page links back to itself.
  std::string loop = one;
  {
    const uint32_t d = VXTIFFGet32(reinterpret_cast<const uint8_t*>(loop.data()) + 4, true);
    const uint16_t n = VXTIFFGet16(reinterpret_cast<const uint8_t*>(loop.data()) + d, true);
    VXTIFFPut32(reinterpret_cast<uint8_t*>(loop.data()) + d + 2 + 12 * n, d, true);
  }
  // A chain whose link leaves the file.
  std::string beyond = one;
  VXTIFFPut32(reinterpret_cast<uint8_t*>(beyond.data()) + 4, 0x7FFFFFF0u, true);
  std::string big = one;  // big-endian mark
  big[0] = big[1] = 'M';
  struct TCase {
    const char* Name;
    std::string Bytes;
    int32_t Index;
  } cases[] = {{"negative index", one, -1},     {"looping chain", loop, 3}, {"link beyond the end", beyond, 1},
               {"big-endian", big, 0},          {"not a TIFF", "GIF89a and more bytes", 0},
               {"short file", "II*", 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    RuntimeWriteFile(F("refused.tif"), c.Bytes);
    bool aborting = false;
    EXPECT_EQ(InsertPage(a, F("refused.tif"), c.Index, aborting), 0);
    EXPECT_TRUE(aborting);
    EXPECT_EQ(RuntimeReadFile(F("refused.tif")), c.Bytes);
  }
}

TEST_F(TiffWrite, InsertIntoAStreamStartsAtItsBeginning) {
  TVXBitmap a, b;
  MakePicture(a, 11, 9, vx24RGB);
  MakePicture(b, 12, 9, vx24RGB);
  TMemoryStream s;
  {
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&a);
    io.SaveToStreamTIFF(&s);
    ASSERT_FALSE(io.Aborting());
  }
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&b);
  io.Params().SetTIFF_ImageIndex(0);
  s.SetPosition(s.Size());
  EXPECT_EQ(io.InsertToStreamTIFF(&s), 2);
  ASSERT_FALSE(io.Aborting());
  RuntimeWriteFile(F("stream.tif"), std::string(static_cast<const char*>(s.Memory()), size_t(s.Size())));
  EXPECT_EQ(PageWidths(F("stream.tif")), (std::vector<std::string>{"12", "11"}));
}

// ---------------------------------------------------------------------------
// Tags-only pages and relocation

TEST_F(TiffWrite, TagsOnlyPageKeepsItsValuesAfterTheDirectory) {
  TIOParamsVals p;
  p.SetTIFF_ImageDescription("a page without pixels");
  p.SetDpiX(300);
  p.SetDpiY(150);
  TMemoryStream s;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  EXPECT_EQ(VXWriteTIFFStream(&s, false, nullptr, progress, p), 1);
  ASSERT_FALSE(aborting);
  const uint8_t* m = static_cast<const uint8_t*>(s.Memory());
  ASSERT_GE(s.Size(), 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m), 4), std::string("II*\0", 4));
  const uint32_t d = VXTIFFGet32(m + 4, true);
  EXPECT_EQ(d, 8u);  // nothing but the header before the directory
  const uint16_t n = VXTIFFGet16(m + d, true);
  EXPECT_EQ(n, 4);
  TVXTIFFIFDReader r;
  r.Stream = &s;
  int32_t pages = 0;
  ASSERT_TRUE(r.ReadIFD(0, d, pages));
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(r.ReadString(270, true), "a page without pixels");
  EXPECT_DOUBLE_EQ(r.ReadRational(282, 0, 0), 300.0);
  EXPECT_DOUBLE_EQ(r.ReadRational(283, 0, 0), 150.0);
  EXPECT_EQ(r.ReadInteger(296, 0, 0), 2);
  for (int32_t i = 0; i < r.NumTags(); ++i)
    if (r.GetDataLengthInBytes(i) > 4) EXPECT_GE(r.GetDataPos(i), int64_t(d) + 2 + 12 * n + 4);
}

TEST_F(TiffWrite, RelocationFollowsSubDirectories) {
  // Main directory in one stream: an out-of-line tag, an inline one and an
  // EXIF pointer into the data stream, whose directory has an out-of-line
  // value of its own.
  auto entry = [](std::string& s, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    uint8_t e[12];
    VXTIFFPut16(e, tag, true);
    VXTIFFPut16(e + 2, type, true);
    VXTIFFPut32(e + 4, count, true);
    VXTIFFPut32(e + 8, value, true);
    s.append(reinterpret_cast<const char*>(e), 12);
  };
  std::string main = std::string("\x03\x00", 2);
  entry(main, 270, 2, 20, 100);
  entry(main, 296, 3, 1, 2);
  entry(main, 34665, 4, 1, 40);
  main.append(4, '\0');
  std::string data(200, '\0');
  std::string sub = std::string("\x01\x00", 2);
  entry(sub, 37510, 7, 30, 150);
  sub.append(4, '\0');
  data.replace(40, sub.size(), sub);
  TMemoryStream ms, ds;
  ms.WriteBuffer(main.data(), int64_t(main.size()));
  ds.WriteBuffer(data.data(), int64_t(data.size()));
  VXRelocateTIFFIFD(&ms, &ds, true, 1000, 0);
  const uint8_t* m = static_cast<const uint8_t*>(ms.Memory());
  const uint8_t* dd = static_cast<const uint8_t*>(ds.Memory());
  EXPECT_EQ(VXTIFFGet32(m + 2 + 8, true), 1100u);
  EXPECT_EQ(VXTIFFGet32(m + 14 + 8, true), 2u);
  EXPECT_EQ(VXTIFFGet32(m + 26 + 8, true), 1040u);
  EXPECT_EQ(VXTIFFGet32(dd + 40 + 2 + 8, true), 1150u);
}

// ---------------------------------------------------------------------------
// The component

TEST_F(TiffWrite, StreamHeadersLetImagesFollowEachOther) {
  TVXBitmap a, b;
  MakePicture(a, 11, 9, vx24RGB);
  MakePicture(b, 14, 6, vx8g);
  TMemoryStream s;
  for (TVXBitmap* bmp : {&a, &b}) {
    TVexlaneIO io;
    io.SetAttachedVXBitmap(bmp);
    io.SetStreamHeaders(true);
    if (bmp == &b) {
      io.Params().SetSamplesPerPixel(1);
      io.Params().SetTIFF_Compression(ioTIFF_PACKBITS);
    }
    const int64_t start = s.Position();
    io.SaveToStreamTIFF(&s);
    ASSERT_FALSE(io.Aborting());
    const uint8_t* h = static_cast<const uint8_t*>(s.Memory()) + start;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h), 5), std::string("TIFF\0", 5));
    EXPECT_EQ(int64_t(VXTIFFGet32(h + 8, true)), s.Position() - start - 12);
  }
  s.SetPosition(0);
  for (TVXBitmap* bmp : {&a, &b}) {
    TVXBitmap got;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&got);
    io.SetStreamHeaders(true);
    EXPECT_EQ(io.LoadFromStreamTIFF(&s), 1);
    EXPECT_EQ(MaxDiff(FromBitmap(got), FromBitmap(*bmp)), 0);
  }
  EXPECT_EQ(s.Position(), s.Size());
}

// A stream that takes bytes only up to a limit.
class TFullStream : public TMemoryStream {
 public:
  explicit TFullStream(int64_t Limit) : fLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t room = std::max<int64_t>(0, fLimit - Position());
    return TMemoryStream::Write(Buffer, std::min(Count, room));
  }

 private:
  int64_t fLimit;
};

TEST_F(TiffWrite, FailedStreamSaveStillGetsItsHeader) {
  TVXBitmap a;
  MakePicture(a, 40, 30, vx24RGB);
  TFullStream s(500);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&a);
  io.SetStreamHeaders(true);
  std::vector<int32_t> percents;
  io.OnProgress = [&](void*, int32_t p) { percents.push_back(p); };
  io.SaveToStreamTIFF(&s);
  EXPECT_TRUE(io.Aborting());
  ASSERT_GE(s.Size(), 12);
  const uint8_t* h = static_cast<const uint8_t*>(s.Memory());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h), 5), std::string("TIFF\0", 5));
  EXPECT_EQ(int64_t(VXTIFFGet32(h + 8, true)), s.Position() - 12);
  // The rows were reported until the stream filled (the end of the work
  // reports 100).
  ASSERT_GE(percents.size(), 2u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);
  EXPECT_LT(percents[percents.size() - 2], 20);
}

TEST_F(TiffWrite, SaveToFileByExtensionWritesTIFF) {
  TVXBitmap a;
  MakePicture(a, 11, 9, vx24RGB);
  for (const char* name : {"ext.tif", "ext.TIFF", "ext.fax"}) {
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&a);
    io.SaveToFile(F(name), -1);
    ASSERT_FALSE(io.Aborting()) << name;
    EXPECT_EQ(RuntimeReadFile(F(name)).substr(0, 4), std::string("II*\0", 4)) << name;
    EXPECT_EQ(io.Params().FileType(), 1);
  }
}

TEST_F(TiffWrite, FailedSaveLeavesTheOldFile) {
  RuntimeWriteFile(F("old.tif"), "old content");
  TVXBitmap empty;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&empty);
  io.SaveToFileTIFF(F("old.tif"));
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(RuntimeReadFile(F("old.tif")), "old content");
}

}  // namespace
