// TIFF reading through the I/O component: files made by ImageMagick and
// every tiffcp layout and compression, against libtiff's own decode
// (tiff2rgba); native pixel formats; pages; stream headers.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/icc.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "io/iptc.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"
#include "tests/formats/tiff_test_util.h"
#include "tests/io/tiff_test_util.h"

VX_START_LIBRARY_FOR_TESTS();

using namespace tiffread;
using tifftest::TEntry;

namespace {

std::vector<uint8_t> Row(const TVXBitmap& b, int32_t y, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(y));
  return std::vector<uint8_t>(p, p + n);
}

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
      {"rgb", "-c jpeg", 2},          {"rgb", "-t -w 16 -l 16 -c jpeg", 2}, {"grey8", "-r 8 -c jpeg", 2},          {"rgb", "-B", 0},               {"rgb", "-L -c lzw:2", 0},
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


TEST_F(TiffRead, OrientationsTurnUpright) {
  for (int32_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE("orientation " + std::to_string(o));
    const std::string file = F("o" + std::to_string(o) + ".tif");
    const std::string upright = F("o" + std::to_string(o) + "-upright.tif");
    std::string out;
    ASSERT_TRUE(Exec("cp " + Source("rgba") + " " + file + " && /usr/bin/tiffset -s 274 " + std::to_string(o) + " " +
                         file + " && /usr/bin/convert " + file + " -auto-orient -compress None " + upright,
                     &out))
        << out;
    TRGBAImage expected;
    ASSERT_TRUE(Oracle(upright, expected, upright));
    TLoader l;
    l.P().SetTIFF_EnableAdjustOrientation(true);
    EXPECT_EQ(l.Load(file), 1);
    EXPECT_EQ(MaxDifference(expected, FromBitmap(l.Bitmap)), 0);
    EXPECT_EQ(l.P().TIFF_Orientation(), 1);
    // Without the adjustment the page stays as stored and keeps its tag.
    TLoader raw;
    EXPECT_EQ(raw.Load(file), 1);
    EXPECT_EQ(raw.P().TIFF_Orientation(), o);
    EXPECT_EQ(raw.Bitmap.Width(), 37);
  }
}

TEST_F(TiffRead, ImageMagickColourSpacesAndAlpha) {
  std::string out;
  // CMYK with alpha: the inks through the colour converter, the fifth sample
  // into the alpha channel.
  ASSERT_TRUE(Exec("/usr/bin/convert " + Source("rgba") + " -colorspace CMYK -compress None " + F("cmyka.tif"), &out))
      << out;
  const std::string info = RuntimeShell("/usr/bin/tiffinfo " + F("cmyka.tif") + " 2>/dev/null");
  ASSERT_NE(info.find("separated"), std::string::npos) << info;
  ASSERT_NE(info.find("Samples/Pixel: 5"), std::string::npos) << info;
  // The colours are the library's colour converter applied to the file's
  // inks (stored inverted in vxCMYK), the alpha the source picture's.
  stripstest::TPage page;
  ASSERT_TRUE(stripstest::ReadPage(RuntimeReadFile(F("cmyka.tif")), page));
  const std::vector<std::string> rows = stripstest::Rows(page);
  ASSERT_EQ(rows.size(), 23u);
  TLoader native(true);
  EXPECT_EQ(native.Load(F("cmyka.tif")), 1);
  ASSERT_EQ(native.Bitmap.PixelFormat(), vxCMYK);
  TLoader cmyk;
  EXPECT_EQ(cmyk.Load(F("cmyka.tif")), 1);
  ASSERT_EQ(cmyk.Bitmap.PixelFormat(), vx24RGB);
  ASSERT_TRUE(cmyk.Bitmap.HasAlphaChannel());
  const TPicture source = Pattern(37, 23, 4);
  TVXConvertColorFunction convert = VXGetGlobalSettings()->ConvertColorFunction();
  ASSERT_TRUE(convert);
  for (int32_t y = 0; y < 23; ++y) {
    std::vector<uint8_t> inks(37 * 4), bgr(37 * 3);
    for (int32_t x = 0; x < 37; ++x)
      for (int k = 0; k < 4; ++k) inks[4 * x + k] = uint8_t(255 - uint8_t(rows[y][5 * x + k]));
    EXPECT_EQ(Row(native.Bitmap, y, 37 * 4), inks);
    convert(inks.data(), vxcmsCMYK, bgr.data(), vxcmsBGR, 37, &cmyk.P());
    EXPECT_EQ(Row(cmyk.Bitmap, y, 37 * 3), bgr);
    const uint8_t* alpha = static_cast<const uint8_t*>(cmyk.Bitmap.AlphaChannel()->ScanLine(y));
    for (int32_t x = 0; x < 37; ++x) EXPECT_EQ(alpha[x], source.Samples[(size_t(y) * 37 + x) * 4 + 3]);
  }

  // CIELab through the converter, the samples in file order.
  ASSERT_TRUE(Exec("/usr/bin/convert " + Source("rgb") + " -colorspace Lab -depth 8 -compress None " + F("lab.tif"),
                   &out))
      << out;
  ASSERT_NE(RuntimeShell("/usr/bin/tiffinfo " + F("lab.tif") + " 2>/dev/null").find("CIE L*a*b*"), std::string::npos);
  TLoader lab;
  EXPECT_EQ(lab.Load(F("lab.tif")), 1);
  EXPECT_EQ(lab.P().TIFF_PhotometInterpret(), ioTIFF_CIELAB);
  stripstest::TPage labPage;
  ASSERT_TRUE(stripstest::ReadPage(RuntimeReadFile(F("lab.tif")), labPage));
  const std::vector<std::string> labRows = stripstest::Rows(labPage);
  ASSERT_EQ(labRows.size(), 23u);
  for (int32_t y = 0; y < 23; ++y) {
    std::vector<uint8_t> bgr(37 * 3);
    std::string samples = labRows[y];
    convert(samples.data(), vxcmsCIELab, bgr.data(), vxcmsBGR, 37, &lab.P());
    EXPECT_EQ(Row(lab.Bitmap, y, 37 * 3), bgr);
  }

  // Associated alpha on four samples: the stored (premultiplied) colour and
  // the fourth sample as alpha.
  ASSERT_TRUE(Exec("/usr/bin/convert " + Source("rgba") + " -define tiff:alpha=associated -compress None " +
                       F("assoc.tif"),
                   &out))
      << out;
  ASSERT_NE(RuntimeShell("/usr/bin/tiffinfo " + F("assoc.tif") + " 2>/dev/null").find("assoc-alpha"),
            std::string::npos);
  TRGBAImage stored;
  ASSERT_TRUE(Oracle(F("assoc.tif"), stored, F("assoc")));
  TLoader assoc;
  EXPECT_EQ(assoc.Load(F("assoc.tif")), 1);
  const TRGBAImage mine = FromBitmap(assoc.Bitmap);
  ASSERT_EQ(mine.RGBA.size(), stored.RGBA.size());
  EXPECT_EQ(mine.RGBA, stored.RGBA);
}

// An uncompressed 8-bit grey page whose offsets are absolute positions of a
// stream in which it starts at Base (as the TIFF writer stores them).
std::string GreyPageAt(int64_t Base, uint32_t W, uint32_t H, uint8_t Seed) {
  std::string s;
  auto put = [&](uint64_t v, int n) {
    for (int k = 0; k < n; ++k) s.push_back(char(uint8_t(v >> (8 * k))));
  };
  const uint32_t pixels = W * H;
  const uint32_t dir = uint32_t(Base) + 8 + pixels + (pixels & 1);
  s += "II";
  put(42, 2);
  put(dir, 4);
  for (uint32_t i = 0; i < pixels; ++i) s.push_back(char(uint8_t(Seed + i * 7)));
  if (pixels & 1) s.push_back('\0');
  const std::vector<std::array<uint32_t, 3>> tags = {{256, 4, W},     {257, 4, H},          {258, 3, 8},
                                                     {259, 3, 1},     {262, 3, 1},          {273, 4, uint32_t(Base) + 8},
                                                     {277, 3, 1},     {278, 4, H},          {279, 4, pixels}};
  put(tags.size(), 2);
  for (const auto& t : tags) {
    put(t[0], 2);
    put(t[1], 2);
    put(1, 4);
    put(t[2], 4);
  }
  put(0, 4);
  return s;
}

TEST_F(TiffRead, StreamHeadersLoadInTurn) {
  TMemoryStream ms;
  const std::vector<std::pair<uint32_t, uint8_t>> pages = {{5, 3}, {4, 100}};
  std::vector<int64_t> ends;
  for (const auto& [w, seed] : pages) {
    const std::string page = GreyPageAt(ms.Position() + 12, w, 3, seed);
    uint8_t h[12] = {'T', 'I', 'F', 'F', 0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) h[8 + k] = uint8_t(page.size() >> (8 * k));
    ms.Write(h, 12);
    ms.Write(page.data(), int64_t(page.size()));
    ends.push_back(ms.Position());
  }
  ms.Write("tail", 4);
  ms.SetPosition(0);
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i);
    TLoader l(true);
    l.IO.SetStreamHeaders(true);
    EXPECT_EQ(l.IO.LoadFromStreamTIFF(&ms), 1);
    EXPECT_EQ(ms.Position(), ends[i]);
    ASSERT_EQ(l.Bitmap.Width(), int32_t(pages[i].first));
    const uint8_t* row = static_cast<const uint8_t*>(l.Bitmap.ScanLine(2));
    EXPECT_EQ(row[1], uint8_t(pages[i].second + (2 * pages[i].first + 1) * 7));
  }
  // A header that does not say "TIFF" is refused.
  TMemoryStream bad;
  bad.Write("TIFX\0\0\0\0\0\0\0\0", 12);
  bad.SetPosition(0);
  TLoader l;
  l.IO.SetStreamHeaders(true);
  EXPECT_EQ(l.IO.LoadFromStreamTIFF(&bad), -1);
}

TEST_F(TiffRead, OldStyleJpegPage) {
  REQUIRE_TOOL("/usr/bin/djpeg");
  std::string out;
  WritePAM(Pattern(37, 23, 3), F("photo.pam"));
  ASSERT_TRUE(Exec("/usr/bin/convert " + F("photo.pam") + " -quality 90 " + F("photo.jpg") + " && /usr/bin/djpeg -ppm " +
                       F("photo.jpg") + " > " + F("photo.ppm"),
                   &out))
      << out;
  const std::string jpeg = RuntimeReadFile(F("photo.jpg"));
  const std::string ppm = RuntimeReadFile(F("photo.ppm"));
  const std::string head = "P6\n37 23\n255\n";
  ASSERT_EQ(ppm.compare(0, head.size(), head), 0);
  // The page in the old forms: the whole interchange stream without strip
  // tables; the shared tables (up to the end of the scan header) with the
  // entropy data as strip 0; and the whole interchange stream with strip
  // tables of a row each (the stream is the page, decoded once, not again
  // for each strip).
  const size_t sos = jpeg.find("\xFF\xDA");
  ASSERT_NE(sos, std::string::npos);
  const size_t scan = sos + 2 + ((uint8_t(jpeg[sos + 2]) << 8) | uint8_t(jpeg[sos + 3]));
  for (int form = 0; form < 3; ++form) {
    const bool strips = form == 1;
    SCOPED_TRACE(form == 0 ? "interchange stream" : strips ? "strips" : "interchange stream and strips");
    tifftest::TBuilder b(true);
    const uint64_t at = b.data.size();
    std::vector<TEntry> e = {{256, 4, {37}}, {257, 4, {23}}, {258, 3, {8, 8, 8}},
                             {259, 3, {6}},  {262, 3, {6}},  {277, 3, {3}}};
    if (form == 2) {
      b.data += jpeg;
      e.insert(e.end(), {{273, 4, std::vector<uint64_t>(23, at)}, {278, 4, {1}},
                         {279, 4, std::vector<uint64_t>(23, 1)}, {513, 4, {at}}, {514, 4, {jpeg.size()}}});
    } else if (strips) {
      b.data += jpeg.substr(0, scan);
      const uint64_t data = b.data.size();
      b.data += jpeg.substr(scan);
      e.insert(e.end(), {{273, 4, {data}}, {278, 4, {23}}, {279, 4, {jpeg.size() - scan}}, {513, 4, {at}},
                         {514, 4, {scan}}});
    } else {
      b.data += jpeg;
      e.insert(e.end(), {{513, 4, {at}}, {514, 4, {jpeg.size()}}});
    }
    b.AddIFD(e);
    RuntimeWriteFile(F("oldjpeg.tif"), b.data);
    TLoader l;
    EXPECT_EQ(l.Load(F("oldjpeg.tif")), 1);
    EXPECT_EQ(l.P().TIFF_Compression(), ioTIFF_OLDJPEG);
    ASSERT_EQ(l.Bitmap.Width(), 37);
    ASSERT_EQ(l.Bitmap.Height(), 23);
    int32_t worst = 0;
    for (int32_t y = 0; y < 23; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(l.Bitmap.ScanLine(y));
      for (int32_t x = 0; x < 37; ++x)
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::abs(int32_t(row[3 * x + 2 - c]) -
                                           int32_t(uint8_t(ppm[head.size() + (size_t(y) * 37 + x) * 3 + c]))));
    }
    EXPECT_LE(worst, 2);
  }
}

TEST_F(TiffRead, MetadataReachesTheParameters) {
  TVXICC icc;
  icc.Assign_AdobeRGB1998();
  ASSERT_GT(icc.RawLength(), 0);
  const std::string profile(reinterpret_cast<const char*>(icc.Raw()), size_t(icc.RawLength()));
  const std::string xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>";
  const std::string iptc = std::string("\x1C\x02\x78\x00\x05Hello", 10);
  tifftest::TBuilder b(true);
  const uint64_t at = b.data.size();
  b.data += std::string("\x05\x09", 2);
  b.AddIFD({{256, 4, {2}},
            {257, 4, {1}},
            {258, 3, {8}},
            {259, 3, {1}},
            {262, 3, {1}},
            {269, 2, {}, "doc\0"},
            {273, 4, {at}},
            {277, 3, {1}},
            {279, 4, {2}},
            {297, 3, {2, 7}},
            {700, 1, {}, xmp},
            {33723, 7, {}, iptc},
            {34377, 7, {}, "8BIM"},
            {34675, 7, {}, profile}});
  RuntimeWriteFile(F("meta.tif"), b.data);
  TLoader l;
  EXPECT_EQ(l.Load(F("meta.tif")), 1);
  EXPECT_EQ(l.P().XMP_Info(), xmp);
  ASSERT_EQ(l.P().IPTC_Info().Count(), 1);
  EXPECT_EQ(l.P().IPTC_Info().StringItem(0), "Hello");
  ASSERT_TRUE(l.P().HasInputICCProfile());
  EXPECT_EQ(l.P().InputICCProfile().RawLength(), icc.RawLength());
  EXPECT_EQ(l.P().TIFF_PhotoshopImageResources(), std::vector<uint8_t>({'8', 'B', 'I', 'M'}));
  EXPECT_EQ(l.P().TIFF_DocumentName(), "doc");
  EXPECT_EQ(l.P().TIFF_PageNumber(), 2);
  EXPECT_EQ(l.P().TIFF_PageCount(), 7);
}

}  // namespace
