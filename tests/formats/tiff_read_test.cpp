// TIFF reading through the I/O component: files made by ImageMagick and
// every tiffcp layout and compression, against libtiff's own decode
// (tiff2rgba); native pixel formats; pages; stream headers.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"
#include "tests/formats/tiff_test_util.h"

VX_START_LIBRARY_FOR_TESTS();

using namespace tiffread;

namespace {

class TiffRead : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TOOL("/usr/bin/convert");
    REQUIRE_TOOL("/usr/bin/tiffcp");
    REQUIRE_TOOL("/usr/bin/tiff2rgba");
    ASSERT_FALSE(dir.Path().empty());
  }
  std::string F(const std::string& Name) const { return dir.File(Name); }

  // The source pictures as uncompressed TIFF files made by ImageMagick.
  std::string Source(const std::string& Kind) {
    auto it = sources.find(Kind);
    if (it != sources.end()) return it->second;
    const std::string tif = F(Kind + ".tif");
    std::string out;
    bool ok = false;
    if (Kind == "bilevel") {
      WritePBM(53, 29, F("bilevel.pbm"));
      ok = Exec("/usr/bin/convert " + F("bilevel.pbm") + " -compress None " + tif, &out);
    } else {
      const std::map<std::string, TPicture> pictures = {
          {"rgb", Pattern(37, 23, 3)},         {"rgba", Pattern(37, 23, 4)}, {"palette4", Pattern(37, 23, 3)},
          {"rgb16p", Pattern(37, 23, 3, 65535)},
          {"grey8", Pattern(37, 23, 1)},       {"grey16", Pattern(37, 23, 1, 65535)},
          {"rgb16", Pattern(37, 23, 3, 65535)}, {"palette", Pattern(37, 23, 3)}};
      const TPicture& p = pictures.at(Kind);
      WritePAM(p, F(Kind + ".pam"));
      std::string options = p.Maxval > 255 ? " -depth 16" : " -depth 8";
      if (Kind == "palette") options += " -colors 60 -type Palette";
      if (Kind == "palette4") options += " -colors 16 -type Palette";
      if (Kind == "rgb16p") options += " -interlace Plane";
      if (Kind == "grey8" || Kind == "grey16") options += " -type Grayscale";
      ok = Exec("/usr/bin/convert " + F(Kind + ".pam") + options + " -compress None " + tif, &out);
    }
    EXPECT_TRUE(ok) << out;
    sources[Kind] = tif;
    return tif;
  }

  TRuntimeScratchDir dir;
  std::map<std::string, std::string> sources;
};

TEST_F(TiffRead, EveryTiffcpLayoutLoadsAsLibtiffDecodesIt) {
  struct TCase {
    const char* Kind;
    const char* Options;
    int32_t Tolerance;
  };
  const std::vector<TCase> cases = {
      {"rgb", "-c none", 0},          {"rgb", "-c lzw", 0},           {"rgb", "-c lzw:2", 0},
      {"rgb", "-c zip", 0},           {"rgb", "-c zip:2", 0},         {"rgb", "-c packbits", 0},
      {"rgb", "-c jpeg", 2},          {"rgb", "-B", 0},               {"rgb", "-L -c lzw:2", 0},
      {"rgb", "-8 -c lzw", 0},        {"rgb", "-t -w 16 -l 16", 0},   {"rgb", "-t -w 16 -l 16 -c zip:2", 0},
      {"rgb", "-p separate", 0},      {"rgb", "-p separate -c lzw:2", 0}, {"rgb", "-r 5", 0},
      {"rgb", "-f lsb2msb", 0},       {"rgb", "-f lsb2msb -c zip", 0}, {"rgb", "-f lsb2msb -c packbits", 0},
      {"rgba", "-c none", 0},         {"rgba", "-c lzw:2", 0},        {"rgba", "-t -w 16 -l 16", 0},
      {"rgba", "-p separate", 0},     {"rgba", "-B -r 3", 0},
      {"grey8", "-c none", 0},        {"grey8", "-c lzw:2", 0},       {"grey8", "-c zip", 0},
      {"grey8", "-c packbits", 0},    {"grey8", "-c jpeg", 2},        {"grey8", "-t -w 16 -l 32", 0},
      {"grey8", "-8 -r 7", 0},        {"grey8", "-f lsb2msb", 0},
      {"grey16", "-c none", 1},       {"grey16", "-B", 1},            {"grey16", "-B -c lzw:2", 1},
      {"grey16", "-c zip:2", 1},      {"grey16", "-t -w 16 -l 16", 1}, {"grey16", "-f lsb2msb", 1},
      {"rgb16", "-c none", 1},        {"rgb16", "-B -c zip:2", 1},    {"rgb16", "-c lzw:2", 1},
      {"rgb16", "-B -c lzw:2", 1},    {"rgb16", "-t -w 16 -l 16", 1}, {"rgb16p", "-c none", 1},
      {"rgb16p", "-B -c lzw:2", 1},   {"rgb16p", "-c zip:2 -r 4", 1},
      {"palette4", "-c none", 0},     {"palette4", "-c packbits", 0},    {"palette4", "-t -w 16 -l 16", 0},
      {"palette", "-c none", 0},      {"palette", "-c lzw", 0},       {"palette", "-c packbits", 0},
      {"palette", "-t -w 16 -l 16", 0}, {"palette", "-p separate -r 4", 0},
      {"bilevel", "-c none", 0},      {"bilevel", "-c g3", 0},        {"bilevel", "-c g3:2d", 0},
      {"bilevel", "-c g4", 0},        {"bilevel", "-c lzw", 0},       {"bilevel", "-c packbits", 0},
      {"bilevel", "-c zip", 0},       {"bilevel", "-t -w 16 -l 16", 0}, {"bilevel", "-f lsb2msb", 0},
      {"bilevel", "-f lsb2msb -c g4", 0}, {"bilevel", "-r 3 -c g3", 0}, {"bilevel", "-8 -c g4", 0},
  };
  int32_t n = 0;
  for (const TCase& c : cases) {
    const std::string what = std::string(c.Kind) + " " + c.Options;
    SCOPED_TRACE(what);
    const std::string file = F("case" + std::to_string(n++) + ".tif");
    std::string out;
    ASSERT_TRUE(Exec("/usr/bin/tiffcp " + std::string(c.Options) + " " + Source(c.Kind) + " " + file, &out)) << out;
    // libtiff's decode of the source, or of the file itself when its
    // compression loses detail (libtiff's RGBA reader of 16-bit edge tiles
    // misplaces samples, so the file's own decode is no oracle for those).
    const bool lossy = std::string(c.Options).find("jpeg") != std::string::npos;
    TRGBAImage expected;
    ASSERT_TRUE(Oracle(lossy ? file : Source(c.Kind), expected, file));
    TLoader l;
    EXPECT_EQ(l.Load(file), 1);
    EXPECT_FALSE(l.IO.Aborting());
    const int32_t diff = MaxDifference(expected, FromBitmap(l.Bitmap));
    EXPECT_GE(diff, 0) << "size " << l.Bitmap.Width() << " x " << l.Bitmap.Height();
    EXPECT_LE(diff, c.Tolerance);
  }
}

TEST_F(TiffRead, NativePixelFormatsFollowTheSamples) {
  struct TCase {
    const char* Kind;
    TVXPixelFormat Format;
  };
  for (const TCase& c : std::vector<TCase>{{"bilevel", vx1g},
                                           {"palette", vx8p},
                                           {"grey8", vx8g},
                                           {"grey16", vx16g},
                                           {"rgb16", vx48RGB},
                                           {"rgb", vx24RGB}}) {
    SCOPED_TRACE(c.Kind);
    const std::string file = Source(c.Kind);
    TRGBAImage expected;
    ASSERT_TRUE(Oracle(file, expected, file));
    TLoader l(true);
    EXPECT_EQ(l.Load(file), 1);
    EXPECT_EQ(l.Bitmap.PixelFormat(), c.Format);
    const bool wide = c.Format == vx16g || c.Format == vx48RGB;
    EXPECT_LE(MaxDifference(expected, FromBitmap(l.Bitmap)), wide ? 1 : 0);
  }
  // CMYK made by ImageMagick: native keeps the inks (stored as 255 - ink).
  std::string out;
  ASSERT_TRUE(Exec("/usr/bin/convert -size 8x4 xc:'cmyk(0,0,0,0)' -colorspace CMYK -compress None " + F("cmyk.tif"),
                  &out))
      << out;
  TLoader l(true);
  EXPECT_EQ(l.Load(F("cmyk.tif")), 1);
  ASSERT_EQ(l.Bitmap.PixelFormat(), vxCMYK);
  const uint8_t* p = static_cast<const uint8_t*>(l.Bitmap.ScanLine(0));
  EXPECT_EQ(std::vector<uint8_t>(p, p + 4), std::vector<uint8_t>({255, 255, 255, 255}));
}

TEST_F(TiffRead, PagesCountAndLoadByIndex) {
  std::string out;
  ASSERT_TRUE(Exec("/usr/bin/tiffcp " + Source("rgb") + " " + Source("grey8") + " " + Source("bilevel") + " " +
                      F("multi.tif"),
                  &out))
      << out;
  const std::string info = RuntimeShell("/usr/bin/tiffinfo " + F("multi.tif") + " 2>/dev/null | grep -c 'TIFF Directory'");
  ASSERT_EQ(std::stoi(info), 3);
  const std::vector<std::pair<int32_t, std::string>> pages = {{0, "rgb"}, {1, "grey8"}, {2, "bilevel"}};
  for (const auto& [index, kind] : pages) {
    SCOPED_TRACE(kind);
    TLoader l(false, index);
    EXPECT_EQ(l.Load(F("multi.tif")), 3);
    EXPECT_EQ(l.P().ImageCount(), 3);
    TRGBAImage expected;
    ASSERT_TRUE(Oracle(Source(kind), expected, F(kind + "-oracle")));
    EXPECT_EQ(MaxDifference(expected, FromBitmap(l.Bitmap)), 0);
  }
  // The index equal to the page count: refused, the count still reported.
  TLoader past(false, 3);
  EXPECT_EQ(past.Load(F("multi.tif")), -1);
  EXPECT_TRUE(past.IO.Aborting());
  TVXWideFileStream s(F("multi.tif"), fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(VXGetTIFFStreamPageCount(&s), 3);
  EXPECT_EQ(s.Position(), 0);
  TIOParamsVals params;
  params.SetTIFF_ImageIndex(3);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  std::unique_ptr<TVXMask> mask;
  int32_t numi = 0;
  VXReadTIFFStream(nullptr, &s, numi, params, progress, true, mask, true, false);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(numi, 3);
}

TEST_F(TiffRead, ContentDetectionAndParamsFromFile) {
  // A TIFF named .png loads with -9 by its content.
  std::string out;
  ASSERT_TRUE(Exec("cp " + Source("rgb") + " " + F("really.png"), &out)) << out;
  TLoader l;
  EXPECT_TRUE(l.IO.LoadFromFile(F("really.png"), -9));
  EXPECT_EQ(l.Bitmap.Width(), 37);
  EXPECT_EQ(l.P().FileType(), 1);

  TLoader p;
  p.IO.ParamsFromFile(Source("grey16"));
  EXPECT_EQ(p.P().FileType(), 1);
  EXPECT_EQ(p.P().Width(), 37);
  EXPECT_EQ(p.P().Height(), 23);
  EXPECT_EQ(p.P().BitsPerSample(), 16);
  EXPECT_EQ(p.P().SamplesPerPixel(), 1);
  EXPECT_TRUE(p.Bitmap.IsEmpty());
}

}  // namespace
