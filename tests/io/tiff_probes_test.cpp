// TIFF content probes, the tags reader over files, streams and sub-directories,
// and the annotation block found in a TIFF page.
#include <gtest/gtest.h>

#include "core/streams.h"
#include "io/annotations.h"
#include "io/tiffpages.h"
#include "io/tiftagsreader.h"
#include "tests/io/tiff_test_util.h"

using namespace tifftest;

namespace {

bool Probe(bool (*probe)(TStream*), const std::string& bytes, int64_t at = 0) {
  std::string b = std::string(size_t(at), '\0') + bytes;
  TVXMemStream s(b.data(), int64_t(b.size()));
  s.SetPosition(at);
  bool r = probe(&s);
  EXPECT_EQ(s.Position(), at);
  return r;
}

std::string RawIFD(uint16_t width, uint16_t height, std::vector<TEntry> extra, bool le = true) {
  std::vector<TEntry> e = {{256, 3, {width}}, {257, 3, {height}}};
  e.insert(e.end(), extra.begin(), extra.end());
  TBuilder b(le);
  b.AddIFD(e);
  return b.data;
}

}  // namespace

TEST(TIFFProbes, RawTIFFMarks) {
  const TEntry subIFDs{330, 4, {8}}, standard{37398, 1, {1, 0, 0, 0}};
  struct TCase {
    const char* name;
    std::string bytes;
    bool raw;
  } cases[] = {
      {"SubIFDs and StandardID, 160 x 120", RawIFD(160, 120, {subIFDs, standard}), true},
      {"the same big-endian", RawIFD(160, 120, {subIFDs, standard}, false), true},
      {"SubIFDs and StandardID, 200 x 120", RawIFD(200, 120, {subIFDs, standard}), false},
      {"SubIFDs alone", RawIFD(160, 120, {subIFDs}), false},
      {"DNGVersion", RawIFD(4000, 3000, {{50706, 1, {1, 4, 0, 0}}}), true},
      {"DNGVersion of 3 bytes", RawIFD(4000, 3000, {{50706, 1, {1, 4, 0}}}), false},
      {"colour filter array", RawIFD(4000, 3000, {{262, 3, {32803}}}), true},
      {"linear raw", RawIFD(4000, 3000, {{262, 3, {34892}}}), true},
      {"RGB", RawIFD(4000, 3000, {{262, 3, {2}}}), false},
      {"not TIFF", std::string(64, 'Q'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Probe(&VXIsRawTIFFStream, c.bytes), c.raw);
    EXPECT_EQ(Probe(&VXIsRawTIFFStream, c.bytes, 0), c.raw);
  }
}

TEST(TIFFProbes, TIFFAndHDPhotoContent) {
  std::string page = RawIFD(16, 8, {{258, 3, {8}}});
  TBuilder big(false, true);
  big.AddIFD({{256, 3, {16}}, {257, 3, {8}}});
  std::string noSize = RawIFD(16, 8, {});
  noSize[10] = 1;  // first tag 256 becomes 257 + ...: no ImageWidth
  noSize[11] = 1;
  TBuilder hd(true);
  hd.AddIFD({{48129, 3, {1}}, {48256, 4, {16}}, {48257, 4, {16}}, {48320, 4, {200}}, {48321, 4, {10}}});
  struct TCase {
    const char* name;
    std::string bytes;
    bool tiff, hdphoto;
  } cases[] = {
      {"classic page", page, true, false},
      {"BigTIFF big-endian", big.data, true, false},
      {"first 20 bytes of a page", page.substr(0, 20), false, false},
      {"no image width", noSize, false, false},
      {"HD Photo tags", hd.data, false, true},
      {"8 bytes", hd.data.substr(0, 8), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Probe(&VXIsTIFFStream, c.bytes), c.tiff);
    EXPECT_EQ(Probe(&VXIsHDPhotoStream, c.bytes), c.hdphoto);
  }
}

TEST(TIFFProbes, FilesMadeByTheTools) {
  if (!HaveTool("tiffcp") || !HaveTool("pamtotiff") || !HaveTool("JxrEncApp") || !HaveTool("ppmtobmp"))
    GTEST_SKIP() << "libtiff-tools, libjxr-tools or netpbm is missing";
  TRuntimeScratchDir dir;
  Shell("pgmramp -lr 24 12 2>/dev/null | pamtotiff > '" + dir.File("src.tif") + "' 2>/dev/null");
  for (const char* opt : {"-B", "-L", "-8"}) {
    SCOPED_TRACE(opt);
    std::string out = dir.File(std::string("c") + opt + ".tif");
    Shell(std::string("tiffcp ") + opt + " '" + dir.File("src.tif") + "' '" + out + "'");
    std::string bytes = ReadFile(out);
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(Probe(&VXIsTIFFStream, bytes));
    EXPECT_FALSE(Probe(&VXIsHDPhotoStream, bytes));
    EXPECT_FALSE(Probe(&VXIsRawTIFFStream, bytes));
  }
  Shell("ppmmake rgb:20/80/f0 16 16 2>/dev/null | ppmtobmp -bpp 24 > '" + dir.File("c.bmp") + "' 2>/dev/null");
  Shell("JxrEncApp -i '" + dir.File("c.bmp") + "' -o '" + dir.File("c.jxr") + "' >/dev/null 2>&1");
  std::string jxr = ReadFile(dir.File("c.jxr"));
  ASSERT_FALSE(jxr.empty());
  EXPECT_TRUE(Probe(&VXIsHDPhotoStream, jxr));
  EXPECT_FALSE(Probe(&VXIsTIFFStream, jxr));
}

TEST(TVXTIFTagsReader, FileStreamAndSubDirectory) {
  TBuilder b(false);
  b.AddIFD({{256, 3, {40}},
            {257, 4, {30}},
            {270, 2, {}, std::string("first page\0", 11)},
            {282, 5, {Rational(145, 2)}},
            {273, 4, {8, 100, 200}},
            {34665, 4, {0}}});
  uint64_t exif = b.AddIFD({{33434, 5, {Rational(1, 250)}}, {34855, 3, {400}}, {36867, 2, {}, "2020:01:02 03:04:05"}});
  b.PatchField(34665, exif);  // (the EXIF directory is also linked as page 1 here)

  TRuntimeScratchDir dir;
  WriteFile(dir.File("t.tif"), b.data);
  TVXMemStream stream(b.data.data(), int64_t(b.data.size()));
  auto fromFile = TVXTIFTagsReader::CreateFromFile(dir.File("t.tif"), 0);
  auto fromStream = TVXTIFTagsReader::CreateFromStream(&stream, 0);
  for (TVXTIFTagsReader* r : {fromFile.get(), fromStream.get()}) {
    EXPECT_EQ(r->GetInteger(256), 40);
    EXPECT_EQ(r->GetInteger(257), 30);
    EXPECT_EQ(r->GetString(270), "first page");
    EXPECT_DOUBLE_EQ(r->GetRational(282, 0), 72.5);
    std::vector<int64_t> ar;
    EXPECT_EQ(r->GetIntegerArray(273, ar), 3);
    EXPECT_EQ(ar, (std::vector<int64_t>{8, 100, 200}));
    EXPECT_EQ(r->GetIntegerIndexed(273, 1), 100);
    EXPECT_EQ(r->TagLength(270), 11);
    // Absent tags.
    EXPECT_FALSE(r->TagExists(999));
    EXPECT_EQ(r->GetInteger(999), 0);
    EXPECT_EQ(r->GetString(999), "");
    EXPECT_DOUBLE_EQ(r->GetRational(999, 3.5), 3.5);
    EXPECT_TRUE(r->GetRawData(999).empty());

    auto sub = TVXTIFTagsReader::CreateFromIFD(*r, 34665);
    EXPECT_DOUBLE_EQ(sub->GetRational(33434, 0), 1.0 / 250);
    EXPECT_EQ(sub->GetInteger(34855), 400);
    EXPECT_EQ(sub->GetString(36867), "2020:01:02 03:04:05");
    EXPECT_FALSE(sub->TagExists(256));
    auto none = TVXTIFTagsReader::CreateFromIFD(*r, 34853);  // no GPS directory
    EXPECT_FALSE(none->TagExists(1));
  }
  EXPECT_EQ(fromStream->Numi(), 2);

  // A page beyond the chain and a stream that is no TIFF leave no tags.
  stream.SetPosition(0);
  auto beyond = TVXTIFTagsReader::CreateFromStream(&stream, 5);
  EXPECT_FALSE(beyond->TagExists(256));
  std::string junk(64, 'J');
  TVXMemStream js(junk.data(), int64_t(junk.size()));
  EXPECT_FALSE(TVXTIFTagsReader::CreateFromStream(&js, 0)->TagExists(256));
}

TEST(TVXTIFTagsReader, ValuesEqualTiffdump) {
  if (!HaveTool("tiffdump") || !HaveTool("pamtotiff")) GTEST_SKIP() << "libtiff-tools or netpbm is missing";
  TRuntimeScratchDir dir;
  std::string f = dir.File("g.tif");
  Shell("pgmramp -lr 24 12 2>/dev/null | pamtotiff > '" + f + "' 2>/dev/null");
  Shell("tiffset -s 282 96 '" + f + "'");
  Shell("tiffset -s 305 'some software' '" + f + "'");
  auto dirs = ParseTiffDump(Shell("tiffdump -m 100000 '" + f + "'"));
  ASSERT_EQ(dirs.size(), 1u);
  auto r = TVXTIFTagsReader::CreateFromFile(f, 0);
  for (const TDumpEntry& d : dirs[0]) {
    SCOPED_TRACE(d.Tag);
    EXPECT_TRUE(r->TagExists(d.Tag));
    if (d.Type == 2) {
      EXPECT_EQ(r->GetString(d.Tag) + '\0', d.Values[0]);
    } else if (d.Type == 5) {
      EXPECT_NEAR(r->GetRational(d.Tag, -1), std::stod(d.Values[0]), 1e-9);
    } else {
      EXPECT_EQ(r->GetInteger(d.Tag), std::stoll(d.Values[0], nullptr, 0));
    }
  }
}

TEST(TVXVexlaneAnnot, FoundInTheObjectsTagOfItsPage) {
  std::string block = std::string("VEXLANEANNOT") + "objects";
  TBuilder b(true);
  b.AddIFD({{256, 3, {1}}, {257, 3, {1}}, {40101, 7, {}, "OTHERDATA-NOT-OURS"}});
  b.AddIFD({{256, 3, {1}}, {257, 3, {1}}, {40101, 7, {}, block}});
  TVXMemStream s(b.data.data(), int64_t(b.data.size()));
  s.SetPosition(0);
  EXPECT_FALSE(TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(&s, 0));
  EXPECT_TRUE(TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(&s, 1));
  EXPECT_FALSE(TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(&s, 2));
  EXPECT_EQ(s.Position(), 0);
  TRuntimeScratchDir dir;
  WriteFile(dir.File("a.tif"), b.data);
  EXPECT_TRUE(TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(dir.File("a.tif"), 1));
  EXPECT_FALSE(TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(dir.File("a.tif"), 0));
}
