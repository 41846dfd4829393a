// TIFF page tools: pages deleted from tiffcp-made files in either byte order
// and checked with libtiff's tools (tiffinfo, tiffsplit, tiffcmp) and
// exiftool; damaged streams left alone; a page replaced through the I/O
// component.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "formats/tiff_pages.h"
#include "formats/tiffhandler.h"
#include "io/filecounts.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"
#include "tests/formats/makernote_util.h"
#include "tests/formats/tiff_test_util.h"
#include "tests/io/tiff_test_util.h"

VX_START_LIBRARY_FOR_TESTS();

using namespace tiffread;
using tifftest::TEntry;

namespace {

class TiffPages : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_TOOL("/usr/bin/convert");
    REQUIRE_TOOL("/usr/bin/tiffcp");
    REQUIRE_TOOL("/usr/bin/tiffinfo");
    REQUIRE_TOOL("/usr/bin/tiffsplit");
    REQUIRE_TOOL("/usr/bin/tiffcmp");
    ASSERT_FALSE(dir.Path().empty());
  }
  std::string F(const std::string& Name) const { return dir.File(Name); }

  // Four different pages: RGB in several strips, grey, bilevel G4, a tiled
  // palette page.
  std::string MultiPage(bool BigEndian) {
    const std::string name = BigEndian ? "multi_be.tif" : "multi_le.tif";
    std::string out;
    WritePAM(Pattern(37, 23, 3), F("rgb.pam"));
    WritePAM(Pattern(29, 17, 1), F("grey.pam"));
    WritePBM(53, 29, F("bilevel.pbm"));
    EXPECT_TRUE(Exec("/usr/bin/convert " + F("rgb.pam") + " -depth 8 -compress None " + F("rgb.tif"), &out)) << out;
    EXPECT_TRUE(Exec("/usr/bin/convert " + F("grey.pam") + " -type Grayscale -depth 8 -compress None " + F("grey.tif"),
                     &out))
        << out;
    EXPECT_TRUE(Exec("/usr/bin/convert " + F("bilevel.pbm") + " -compress None " + F("bilevel.tif"), &out)) << out;
    EXPECT_TRUE(Exec("/usr/bin/convert " + F("rgb.pam") + " -colors 20 -type Palette -compress None " +
                         F("palette.tif"),
                     &out))
        << out;
    const std::string order = BigEndian ? " -B" : " -L";
    EXPECT_TRUE(Exec("/usr/bin/tiffcp" + order + " -r 5 " + F("rgb.tif") + " " + F("p0.tif"), &out)) << out;
    EXPECT_TRUE(Exec("/usr/bin/tiffcp" + order + " -c lzw " + F("grey.tif") + " " + F("p1.tif"), &out)) << out;
    EXPECT_TRUE(Exec("/usr/bin/tiffcp" + order + " -c g4 " + F("bilevel.tif") + " " + F("p2.tif"), &out)) << out;
    EXPECT_TRUE(Exec("/usr/bin/tiffcp" + order + " -t -w 16 -l 16 " + F("palette.tif") + " " + F("p3.tif"), &out))
        << out;
    EXPECT_TRUE(Exec("/usr/bin/tiffcp" + order + " " + F("p0.tif") + " " + F("p1.tif") + " " + F("p2.tif") + " " +
                         F("p3.tif") + " " + F(name),
                     &out))
        << out;
    return F(name);
  }

  // tiffsplit's pages of File, as file names.
  std::vector<std::string> Split(const std::string& File, const std::string& Prefix) {
    std::string out;
    EXPECT_TRUE(Exec("cd " + dir.Path() + " && /usr/bin/tiffsplit " + File + " " + Prefix, &out)) << out;
    std::vector<std::string> pages;
    for (char c = 'a';; ++c) {
      const std::string p = F(Prefix + "aa" + c + ".tif");
      if (!std::filesystem::exists(p)) break;
      pages.push_back(p);
    }
    return pages;
  }

  // Pages tiffinfo finds (its EXIF and GPS directories have no width).
  int32_t TiffinfoPages(const std::string& File, std::string* Errors = nullptr) {
    std::string out;
    const bool ok = Exec("/usr/bin/tiffinfo " + File + " >/dev/null", &out);
    if (Errors) *Errors = ok ? out.substr(0, out.size() - 5) : "tiffinfo failed: " + out;
    return std::stoi(RuntimeShell("/usr/bin/tiffinfo " + File + " 2>/dev/null | grep -c 'Image Width'"));
  }

  TRuntimeScratchDir dir;
};

TEST_F(TiffPages, DeletingEachPageKeepsTheOthersAsTheyWere) {
  for (const bool bigEndian : {false, true}) {
    const std::string source = MultiPage(bigEndian);
    const std::string sourceBytes = RuntimeReadFile(source);
    ASSERT_EQ(TiffinfoPages(source), 4);
    EXPECT_EQ(VXGetTIFFFilePageCount(source), 4);
    const std::vector<std::string> sourcePages = Split(source, bigEndian ? "sb" : "sl");
    ASSERT_EQ(sourcePages.size(), 4u);
    for (int32_t k = 0; k < 4; ++k) {
      SCOPED_TRACE("big-endian " + std::to_string(bigEndian) + ", page " + std::to_string(k));
      const std::string file = F("del" + std::to_string(bigEndian) + std::to_string(k) + ".tif");
      RuntimeWriteFile(file, sourceBytes);
      EXPECT_EQ(VXDeleteTIFFFilePage(file, k), 3);
      const std::string bytes = RuntimeReadFile(file);
      EXPECT_LE(bytes.size(), sourceBytes.size());
      EXPECT_EQ(bytes.substr(0, 2), bigEndian ? "MM" : "II");
      std::string errors;
      EXPECT_EQ(TiffinfoPages(file, &errors), 3);
      EXPECT_EQ(errors, "");
      EXPECT_EQ(VXGetTIFFFilePageCount(file), 3);
      const std::vector<std::string> pages = Split(file, "r" + std::to_string(bigEndian) + std::to_string(k));
      ASSERT_EQ(pages.size(), 3u);
      for (int32_t i = 0; i < 3; ++i) {
        std::string out;
        EXPECT_TRUE(Exec("/usr/bin/tiffcmp " + sourcePages[size_t(i < k ? i : i + 1)] + " " + pages[size_t(i)], &out))
            << "page " << i << ": " << out;
      }
    }
  }
}

TEST_F(TiffPages, DeletionKeepsTheFirstPagesMetadata) {
  REQUIRE_TOOL("/usr/bin/exiftool");
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const std::string file = MultiPage(bigEndian);
    std::string out;
    ASSERT_TRUE(Exec("/usr/bin/exiftool -q -overwrite_original -Artist=Bob -Make=Vexlane -Model='Test Camera' "
                     "-ExposureTime=1/125 -FNumber=5.6 -ISO=200 -DateTimeOriginal='2024:01:02 03:04:05' "
                     "-GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=11.25 -GPSLongitudeRef=E " +
                         file,
                     &out))
        << out;
    const std::string query = "/usr/bin/exiftool -s -s -IFD0:Artist -Make -Model -ExposureTime -FNumber -ISO "
                              "-DateTimeOriginal -GPSLatitude -GPSLongitude -ImageWidth " +
                              file;
    const std::string before = RuntimeShell(query);
    ASSERT_NE(before.find("GPSLatitude"), std::string::npos) << before;
    ASSERT_NE(before.find("Artist: Bob"), std::string::npos) << before;
    ASSERT_NE(before.find("ExposureTime"), std::string::npos) << before;
    EXPECT_EQ(VXDeleteTIFFFilePage(file, 2), 3);
    EXPECT_EQ(RuntimeShell(query), before);
    std::string warnings = RuntimeShell("/usr/bin/exiftool -validate -warning -a " + file + " 2>&1");
    EXPECT_EQ(warnings.find("Error"), std::string::npos) << warnings;
    std::string errors;
    EXPECT_EQ(TiffinfoPages(file, &errors), 3);
    EXPECT_EQ(errors, "");
  }
}

// Page 0 keeps its data past 64 KiB; page 1 has SHORT offsets to a strip near
// the start: once page 2 is gone, page 1's strip lies beyond 65,535.
TEST_F(TiffPages, ShortStripOffsetsBeyond64KiBBecomeLong) {
  for (const bool le : {true, false}) {
    SCOPED_TRACE(le ? "little-endian" : "big-endian");
    tifftest::TBuilder b(le);
    const uint64_t smallStrip = b.data.size();
    b.data += std::string(6, '\x40');  // 3 x 2 grey
    const uint64_t bigStrip = b.data.size();
    std::string big(300 * 240, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 % 251);
    b.data += big;
    auto page = [&](uint32_t w, uint32_t h, uint16_t offsetType, uint64_t offset, uint64_t bytes) {
      return std::vector<TEntry>{{256, 4, {w}},        {257, 4, {h}},       {258, 3, {8}},
                                 {259, 3, {1}},        {262, 3, {1}},       {273, offsetType, {offset}},
                                 {277, 3, {1}},        {278, 4, {h}},       {279, 4, {bytes}}};
    };
    b.AddIFD(page(300, 240, 4, bigStrip, big.size()));
    b.AddIFD(page(3, 2, 3, smallStrip, 6));
    b.AddIFD(page(3, 2, 3, smallStrip, 6));
    const std::string file = F(le ? "short_le.tif" : "short_be.tif");
    RuntimeWriteFile(file, b.data);
    std::string errors;
    ASSERT_EQ(TiffinfoPages(file, &errors), 3);
    EXPECT_EQ(VXDeleteTIFFFilePage(file, 2), 2);
    EXPECT_EQ(TiffinfoPages(file, &errors), 2);
    EXPECT_EQ(errors, "");
    const auto dump = tifftest::ParseTiffDump(RuntimeShell("/usr/bin/tiffdump " + file));
    ASSERT_EQ(dump.size(), 2u);
    for (const auto& e : dump[1]) {
      if (e.Tag == 273) EXPECT_EQ(e.Type, 4) << "offsets stay SHORT";
    }
    // The strips read back as written.
    TLoader l(true, 1);
    EXPECT_EQ(l.Load(file), 2);
    ASSERT_EQ(l.Bitmap.Width(), 3);
    EXPECT_EQ(static_cast<const uint8_t*>(l.Bitmap.ScanLine(1))[2], 0x40);
    TLoader l0(true, 0);
    EXPECT_EQ(l0.Load(file), 2);
    ASSERT_EQ(l0.Bitmap.Height(), 240);
    EXPECT_EQ(static_cast<const uint8_t*>(l0.Bitmap.ScanLine(239))[299], uint8_t(big[big.size() - 1]));
  }
}

// Streams whose kept pages cannot be copied whole stay as they are.
TEST_F(TiffPages, DamagedStreamsAreLeftUnchanged) {
  auto page = [](std::vector<uint64_t> offsets, std::vector<uint64_t> counts) {
    return std::vector<TEntry>{{256, 4, {2}}, {257, 4, {2}}, {258, 3, {8}}, {262, 3, {1}},
                               {273, 4, offsets}, {278, 4, {1}}, {279, 4, counts}};
  };
  struct TCase {
    const char* Name;
    std::string Bytes;
  };
  std::vector<TCase> cases;
  // The damaged page is the middle one of three; the first or the last is deleted.
  auto three = [&](const char* Name, bool LE, const std::vector<TEntry>& Bad) {
    tifftest::TBuilder b(LE);
    b.data += "abcd";
    b.AddIFD(page({8, 10}, {2, 2}));
    b.AddIFD(Bad);
    b.AddIFD(page({8, 10}, {2, 2}));
    cases.push_back({Name, b.data});
  };
  three("fewer byte counts than offsets", true, page({8, 10}, {2}));
  three("no byte counts", false, {{256, 4, {2}}, {257, 4, {2}}, {273, 4, {8}}});
  three("strip beyond the end", false, page({8, 1000000}, {2, 2}));
  three("strip longer than the stream", true, page({8, 10}, {2, 0xFFFFFFF0}));
  three("value beyond the stream's size", true, {{256, 4, {2}}, {270, 2, {}, "", 0x7FFFFFF, 100}});
  three("offsets of an unknown type", true, {{273, 7, {8, 10}}, {279, 4, {2, 2}}});
  // Thousands of strips that all name the same 4 KiB: copies without end.
  three("one block named by every strip", true, page(std::vector<uint64_t>(8000, 8), std::vector<uint64_t>(8000, 4096)));
  {
    tifftest::TBuilder b(true);
    b.data += "abcd";
    const uint64_t first = b.AddIFD(page({8, 10}, {2, 2}));
    b.AddIFD(page({8, 10}, {2, 2}));
    b.AddIFD(page({8, 10}, {2, 2}));
    b.SetLastLink(first);  // the third page leads back to the first
    cases.push_back({"chain back to the first page", b.data});
  }
  {
    tifftest::TBuilder b(true);
    b.data += "abcd";
    b.AddIFD(page({8, 10}, {2, 2}));
    b.AddIFD(page({8, 10}, {2, 2}));
    b.AddIFD(page({8, 10}, {2, 2}));
    b.SetLastLink(b.data.size() - 2);  // a link into the last bytes
    cases.push_back({"link past the end", b.data});
  }
  {
    tifftest::TBuilder b(true, true);
    b.data += "abcd";
    b.AddIFD(page({16, 18}, {2, 2}));
    b.AddIFD(page({16, 18}, {2, 2}));
    b.AddIFD(page({16, 18}, {2, 2}));
    cases.push_back({"BigTIFF", b.data});
  }
  {
    tifftest::TBuilder b(true);
    b.data += "abcd";
    b.AddIFD(page({8, 10}, {2, 2}));
    b.AddIFD(page({8, 10}, {2, 2}));
    b.AddIFD(page({8, 10}, {2, 2}));
    b.data[0] = 'X';
    cases.push_back({"no byte-order mark", b.data});
  }
  cases.push_back({"header only", std::string("II*\0", 4)});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream s;
    s.WriteBuffer(c.Bytes.data(), int64_t(c.Bytes.size()));
    EXPECT_EQ(VXDeleteTIFFStreamPage(&s, 0), 0);
    ASSERT_EQ(s.Size(), int64_t(c.Bytes.size()));
    EXPECT_EQ(std::string(static_cast<const char*>(s.Memory()), size_t(s.Size())), c.Bytes);
    const std::string file = F("damaged.tif");
    RuntimeWriteFile(file, c.Bytes);
    EXPECT_EQ(VXDeleteTIFFFilePage(file, 2), 0);
    EXPECT_EQ(RuntimeReadFile(file), c.Bytes);
  }
}

TEST_F(TiffPages, SeveralPagesAtOnceAndTheLastPage) {
  const std::string source = MultiPage(false);
  const std::vector<std::string> sourcePages = Split(source, "sp");
  TMemoryStream s;
  s.LoadFromFile(source);
  const int32_t drop[] = {0, 2, 7};
  EXPECT_EQ(VXDeleteTIFFStreamPages(&s, drop), 2);
  s.SaveToFile(F("two.tif"));
  const std::vector<std::string> pages = Split(F("two.tif"), "tw");
  ASSERT_EQ(pages.size(), 2u);
  std::string out;
  EXPECT_TRUE(Exec("/usr/bin/tiffcmp " + sourcePages[1] + " " + pages[0], &out)) << out;
  EXPECT_TRUE(Exec("/usr/bin/tiffcmp " + sourcePages[3] + " " + pages[1], &out)) << out;
  // Down to no page: a header whose first link is 0.
  EXPECT_EQ(VXDeleteTIFFStreamPage(&s, 0), 1);
  EXPECT_EQ(VXDeleteTIFFStreamPage(&s, 0), 0);
  ASSERT_EQ(s.Size(), 8);
  EXPECT_EQ(std::string(static_cast<const char*>(s.Memory()), 8), std::string("II*\0\0\0\0\0", 8));
}

TEST_F(TiffPages, ReplacePutsTheImageInThePagesPlace) {
  const std::string source = MultiPage(false);
  const std::vector<std::string> sourcePages = Split(source, "rs");
  TVXBitmap image;
  image.Allocate(11, 7, vx24RGB);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 11; ++x) {
      uint8_t* p = static_cast<uint8_t*>(image.ScanLine(y)) + 3 * x;
      p[0] = uint8_t(x * 20);
      p[1] = uint8_t(y * 30);
      p[2] = uint8_t(x * y);
    }
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "stream" : "file");
    const std::string file = F(stream ? "replace_s.tif" : "replace_f.tif");
    RuntimeWriteFile(file, RuntimeReadFile(source));
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&image);
    io.Params().SetTIFF_ImageIndex(1);
    io.Params().SetTIFF_Compression(ioTIFF_UNCOMPRESSED);
    if (stream) {
      TMemoryStream s;
      s.LoadFromFile(file);
      s.SetPosition(5);
      EXPECT_EQ(io.ReplaceStreamTIFF(&s), 4);
      EXPECT_EQ(s.Position(), 5);
      s.SaveToFile(file);
    } else {
      EXPECT_EQ(io.ReplaceFileTIFF(file), 4);
    }
    EXPECT_FALSE(io.Aborting());
    EXPECT_EQ(TiffinfoPages(file), 4);
    const std::vector<std::string> pages = Split(file, stream ? "os" : "of");
    ASSERT_EQ(pages.size(), 4u);
    for (const int32_t i : {0, 2, 3}) {
      std::string out;
      EXPECT_TRUE(Exec("/usr/bin/tiffcmp " + sourcePages[size_t(i)] + " " + pages[size_t(i)], &out)) << out;
    }
    TLoader l(false, 1);
    EXPECT_EQ(l.Load(file), 4);
    ASSERT_EQ(l.Bitmap.Width(), 11);
    ASSERT_EQ(l.Bitmap.Height(), 7);
    for (int32_t y = 0; y < 7; ++y)
      EXPECT_EQ(0, memcmp(l.Bitmap.ScanLine(y), image.ScanLine(y), 33)) << "row " << y;
  }
  // A page that is not there: refused, the file untouched.
  const std::string file = F("replace_bad.tif");
  RuntimeWriteFile(file, RuntimeReadFile(source));
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&image);
  io.Params().SetTIFF_ImageIndex(4);
  EXPECT_EQ(io.ReplaceFileTIFF(file), 0);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(RuntimeReadFile(file), RuntimeReadFile(source));
}

}  // namespace

namespace {

// Every truncation and many byte flips of a three-page file with EXIF and GPS
// directories: the deletion either rebuilds a stream libtiff's walk accepts
// as a chain, or leaves the bytes alone.
TEST(TiffPagesDamage, TruncationsAndFlipsAreRebuiltOrLeftAlone) {
  const std::string seed = RuntimeReadFile(std::string(VX_SOURCE_DIR) + "/fuzz/seeds/tiffhandler/three_pages_exif.tif");
  ASSERT_GT(seed.size(), 300u);
  std::vector<std::string> inputs;
  for (size_t n = 0; n < seed.size(); n += 3) inputs.push_back(seed.substr(0, n));
  for (size_t i = 0; i < seed.size(); ++i)
    for (const uint8_t mask : {0xFF, 0x80, 0x01}) {
      std::string s = seed;
      s[i] = char(uint8_t(s[i]) ^ mask);
      inputs.push_back(s);
    }
  for (const std::string& in : inputs) {
    // The editor reads, edits and writes what it could read.
    {
      TVXMemStream src(in.data(), int64_t(in.size()));
      TVXTIFFHandler h;
      if (h.ReadStream(&src) && h.GetPagesCount() > 0) {
        h.SetValue(0, 305, std::string("edit"), ttAscii);
        TMemoryStream out;
        h.WriteStream(&out);
        out.SetPosition(0);
        TVXTIFFHandler back;
        ASSERT_TRUE(back.ReadStream(&out));
        ASSERT_EQ(back.GetPagesCount(), h.GetPagesCount());
        EXPECT_EQ(back.GetString(0, back.FindTag(0, 305)), "edit");
      }
    }
    for (const int32_t page : {0, 1}) {
      TMemoryStream s;
      s.WriteBuffer(in.data(), int64_t(in.size()));
      const int32_t kept = VXTryDeleteTIFFStreamPage(&s, page);
      const std::string out(static_cast<const char*>(s.Memory()), size_t(s.Size()));
      if (kept < 0) {
        ASSERT_EQ(out, in);
        continue;
      }
      // The rebuilt chain holds the pages it reports.
      s.SetPosition(0);
      EXPECT_EQ(VXGetTIFFStreamPageCount(&s), kept);
    }
  }
}

}  // namespace


namespace {

TEST_F(TiffPages, HandlerRewritesPagesAsTheyWere) {
  REQUIRE_TOOL("/usr/bin/exiftool");
  REQUIRE_TOOL("/usr/bin/tiffdump");
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const std::string source = MultiPage(bigEndian);
    std::string out;
    ASSERT_TRUE(Exec("/usr/bin/exiftool -q -overwrite_original -Artist=Bob -Make=Vexlane -ExposureTime=1/125 "
                     "-GPSLatitude=48.5 -GPSLatitudeRef=N " + source, &out)) << out;
    const std::string tag = bigEndian ? "b" : "l";
    const std::vector<std::string> sourcePages = Split(source, "hs" + tag);
    TVXTIFFHandler h;
    ASSERT_TRUE(h.ReadFile(source));
    EXPECT_EQ(h.GetPagesCount(), 4);
    EXPECT_EQ(h.LittleEndian(), !bigEndian);
    const std::string file = F("handler" + tag + ".tif");
    h.WriteFile(file);
    const std::string bytes = RuntimeReadFile(file);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 4), bigEndian ? std::string("MM\0*", 4) : std::string("II*\0", 4));
    EXPECT_EQ(bytes.substr(4, 4), bigEndian ? std::string("\0\0\0\x08", 4) : std::string("\x08\0\0\0", 4));
    std::string errors;
    EXPECT_EQ(TiffinfoPages(file, &errors), 4);
    EXPECT_EQ(errors, "");
    const std::vector<std::string> pages = Split(file, "hr" + tag);
    ASSERT_EQ(pages.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(Exec("/usr/bin/tiffcmp " + sourcePages[i] + " " + pages[i], &out)) << out;
    const std::string query = "/usr/bin/exiftool -s -s -Artist -Make -ExposureTime -GPSLatitude ";
    const std::string before = RuntimeShell(query + source);
    EXPECT_NE(before.find("Artist: Bob"), std::string::npos) << before;
    EXPECT_NE(before.find("GPSLatitude"), std::string::npos) << before;
    EXPECT_EQ(RuntimeShell(query + file), before);
    // Entries in ascending order.
    for (const auto& dir : tifftest::ParseTiffDump(RuntimeShell("/usr/bin/tiffdump " + file)))
      for (size_t i = 1; i < dir.size(); ++i) EXPECT_LT(dir[i - 1].Tag, dir[i].Tag);
    // One page alone.
    TMemoryStream one;
    h.WriteStream(&one, 2);
    one.SaveToFile(F("one" + tag + ".tif"));
    EXPECT_EQ(TiffinfoPages(F("one" + tag + ".tif")), 1);
    EXPECT_TRUE(Exec("/usr/bin/tiffcmp " + sourcePages[2] + " " + F("one" + tag + ".tif"), &out)) << out;
  }
}

TEST(TiffHandler, TagsAndPages) {
  TVXTIFFHandler h;
  EXPECT_EQ(h.InsertPage(0), 0);
  EXPECT_EQ(h.InsertPage(5), 1);
  EXPECT_EQ(h.InsertPage(5), 2);
  EXPECT_EQ(h.GetPagesCount(), 3);
  h.SetValue(0, 282, 0.5, ttRational);
  const int32_t r = h.FindTag(0, 282);
  ASSERT_GE(r, 0);
  const uint8_t* raw = h.GetValueRAW(0, r, 0);
  EXPECT_EQ(VXTIFFGet32(raw, true), 5000u);
  EXPECT_EQ(VXTIFFGet32(raw + 4, true), 10000u);
  EXPECT_DOUBLE_EQ(h.GetFloat(0, r, 0), 0.5);
  h.SetValue(0, 315, std::string("Bob"), ttAscii);
  const int32_t a = h.FindTag(0, 315);
  EXPECT_EQ(h.GetTagLength(0, a), 4);
  EXPECT_EQ(h.GetString(0, a), "Bob");
  EXPECT_EQ(std::get<std::string>(h.GetValue(0, a, 0)), "Bob");
  h.SetValueRAW(0, 270, "AB\0\0", 4, ttAscii);
  EXPECT_EQ(h.GetString(0, h.FindTag(0, 270)), "AB");
  h.SetValueRAW(0, 270, "A\0B", 3, ttAscii);
  EXPECT_EQ(h.GetString(0, h.FindTag(0, 270)), std::string("A\0B", 3));
  h.SetValue(0, 290, 7, ttShort);
  EXPECT_EQ(h.GetTagDescription(0, h.FindTag(0, 290)), "GratResponseUnit");
  h.SetValue(0, 1000, 7, ttLong);
  EXPECT_EQ(h.GetTagDescription(0, h.FindTag(0, 1000)), "Unknown");
  EXPECT_EQ(h.GetInteger(0, h.FindTag(0, 1000), 0), 7);
  EXPECT_THROW(h.SetValue(0, 1001, 1, ttUndefined), EVXException);
  EXPECT_THROW(h.GetInteger(0, 99, 0), EVXException);
  EXPECT_THROW(h.DeletePage(7), EVXException);
  EXPECT_EQ(h.FindTag(9, 282), -1);
  EXPECT_EQ(h.GetTagsCount(9), 0);
  h.ChangeTagCode(0, h.FindTag(0, 1000), 1002);
  EXPECT_GE(h.FindTag(0, 1002), 0);
}

TEST_F(TiffPages, HandlerTagEditsAcrossByteOrders) {
  const std::string le = MultiPage(false);
  const std::string be = MultiPage(true);
  TVXTIFFHandler l(le), b(be);
  ASSERT_EQ(b.GetPagesCount(), 4);
  // Offsets and sub-directory tags keep their codes.
  l.SetValue(0, 34665, 0, ttLong);
  for (uint16_t code : {273, 34665}) {
    const int32_t i = l.FindTag(0, code);
    ASSERT_GE(i, 0);
    l.ChangeTagCode(0, i, 999);
    EXPECT_EQ(l.GetTagCode(0, i), code);
  }
  l.SetValue(1, 315, std::string("Somebody"), ttAscii);
  l.SetValue(1, 282, 72.5, ttRational);
  b.CopyTag(1, l.FindTag(1, 315), 3, l);
  b.CopyTag(1, l.FindTag(1, 282), 3, l);
  EXPECT_EQ(b.GetString(3, b.FindTag(3, 315)), "Somebody");
  EXPECT_DOUBLE_EQ(b.GetFloat(3, b.FindTag(3, 282), 0), 72.5);
  // A big-endian page inserted into the little-endian handler is converted.
  EXPECT_EQ(l.InsertPage(-1, b, 3), 4);
  EXPECT_DOUBLE_EQ(l.GetFloat(4, l.FindTag(4, 282), 0), 72.5);
  l.WriteFile(F("mixed.tif"));
  std::string errors;
  EXPECT_EQ(TiffinfoPages(F("mixed.tif"), &errors), 5);
  const std::vector<std::string> src = Split(be, "mb");
  const std::vector<std::string> out = Split(F("mixed.tif"), "mx");
  ASSERT_EQ(out.size(), 5u);
  TLoader a(false, 3), c(false, 4);
  EXPECT_EQ(a.Load(be), 4);
  EXPECT_EQ(c.Load(F("mixed.tif")), 5);
  EXPECT_EQ(MaxDifference(FromBitmap(a.Bitmap), FromBitmap(c.Bitmap)), 0);
}

TEST_F(TiffPages, HandlerOldStyleJpegPage) {
  REQUIRE_TOOL("/usr/bin/tiff2rgba");
  const std::string seed = std::string(VX_SOURCE_DIR) + "/fuzz/seeds/tiff/oldjpeg_interchange.tif";
  TVXTIFFHandler h(seed);
  ASSERT_EQ(h.GetPagesCount(), 1);
  for (uint16_t code : {273, 519, 520, 521}) EXPECT_EQ(h.FindTag(0, code), -1) << code;
  ASSERT_GE(h.FindTag(0, 513), 0);
  h.WriteFile(F("oldjpeg.tif"));
  const std::string bytes = RuntimeReadFile(F("oldjpeg.tif"));
  TVXTIFFHandler back(F("oldjpeg.tif"));
  // The written 273 points at the start-of-scan marker.
  const auto dump = tifftest::ParseTiffDump(RuntimeShell("/usr/bin/tiffdump " + F("oldjpeg.tif")));
  ASSERT_EQ(dump.size(), 1u);
  int64_t strip = -1;
  for (const auto& e : dump[0])
    if (e.Tag == 273) strip = std::stoll(e.Values.at(0));
  ASSERT_GT(strip, 0);
  ASSERT_LT(size_t(strip + 1), bytes.size());
  EXPECT_EQ(uint8_t(bytes[size_t(strip)]), 0xFF);
  EXPECT_EQ(uint8_t(bytes[size_t(strip + 1)]), 0xDA);
  std::string out;
  EXPECT_TRUE(Exec("/usr/bin/tiff2rgba " + F("oldjpeg.tif") + " " + F("oldjpeg_rgba.tif"), &out)) << out;
}

}  // namespace

namespace {

// The parameters' EXIF data goes into one page only; the page's own GPS stays
// where the parameters carry none.
TEST_F(TiffPages, InjectEXIFIntoOnePage) {
  REQUIRE_TOOL("/usr/bin/exiftool");
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const std::string source = MultiPage(bigEndian);
    const std::string tag = bigEndian ? "b" : "l";
    const std::vector<std::string> sourcePages = Split(source, "is" + tag);
    // Page 0 gets GPS of its own (exiftool writes the first page).
    std::string out;
    ASSERT_TRUE(Exec("/usr/bin/exiftool -q -overwrite_original -GPSLatitude=48.5 -GPSLatitudeRef=N -Make=Old " +
                         source, &out)) << out;
    const std::string file = F("inject" + tag + ".tif");
    RuntimeWriteFile(file, RuntimeReadFile(source));
    TVexlaneIO io;
    io.Params().SetEXIF_HasEXIFData(true);
    io.Params().SetEXIF_Make("Vexlane");
    io.Params().SetEXIF_Model("Injector");
    io.Params().SetEXIF_Artist("Bob");
    io.Params().SetEXIF_ExposureTime(0.008);
    EXPECT_TRUE(io.InjectTIFFEXIF(file, 0));
    const std::string query = "/usr/bin/exiftool -s -s -Make -Model -Artist -ExposureTime -GPSLatitude ";
    const std::string shown = RuntimeShell(query + file);
    EXPECT_NE(shown.find("Make: Vexlane"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Model: Injector"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Artist: Bob"), std::string::npos) << shown;
    EXPECT_NE(shown.find("ExposureTime: 1/125"), std::string::npos) << shown;
    EXPECT_NE(shown.find("GPSLatitude: 48 deg 30"), std::string::npos) << shown;
    EXPECT_EQ(RuntimeReadFile(file).substr(0, 2), bigEndian ? "MM" : "II");
    std::string errors;
    EXPECT_EQ(TiffinfoPages(file, &errors), 4);
    const std::vector<std::string> pages = Split(file, "io" + tag);
    ASSERT_EQ(pages.size(), 4u);
    for (size_t i = 1; i < 4; ++i) EXPECT_TRUE(Exec("/usr/bin/tiffcmp " + sourcePages[i] + " " + pages[i], &out)) << out;
    // Page 2 of a copy, through the file-to-file form; page 0 keeps its maker.
    EXPECT_TRUE(io.InjectTIFFEXIF(source, F("copy" + tag + ".tif"), 2));
    TLoader l(false, 2), l0(false, 0);
    EXPECT_EQ(l.Load(F("copy" + tag + ".tif")), 4);
    EXPECT_EQ(l.P().EXIF_Make(), "Vexlane");
    EXPECT_EQ(l0.Load(F("copy" + tag + ".tif")), 4);
    EXPECT_EQ(l0.P().EXIF_Make(), "Old");
    // A page that is not there: nothing written.
    EXPECT_FALSE(io.InjectTIFFEXIF(source, F("none" + tag + ".tif"), 4));
    EXPECT_FALSE(std::filesystem::exists(F("none" + tag + ".tif")));
  }
}

}  // namespace

namespace {

// Pages made from a PNG, a JPEG and an I/O component's image read back as
// their sources (the JPEG page JPEG-compressed, as libtiff decodes it within
// 2 levels).
TEST_F(TiffPages, HandlerInsertsPagesFromImages) {
  WritePAM(Pattern(31, 19, 3), F("src.pam"));
  std::string out;
  ASSERT_TRUE(Exec("/usr/bin/convert " + F("src.pam") + " " + F("src.png"), &out)) << out;
  ASSERT_TRUE(Exec("/usr/bin/convert " + F("src.pam") + " -quality 90 " + F("src.jpg"), &out)) << out;
  TVXBitmap own;
  own.Allocate(9, 5, vx24RGB);
  own.Fill(0x336699);
  TVexlaneIO ownIO;
  ownIO.SetAttachedVXBitmap(&own);
  ownIO.Params().SetTIFF_Compression(ioTIFF_UNCOMPRESSED);

  TVXTIFFHandler h;
  EXPECT_TRUE(h.InsertPageAsFile(F("src.png"), -1));
  EXPECT_TRUE(h.InsertPageAsFile(F("src.jpg"), -1));
  EXPECT_TRUE(h.InsertPageAsImage(&ownIO, 0));
  EXPECT_FALSE(h.InsertPageAsImage(nullptr, 0));
  EXPECT_FALSE(h.InsertPageAsFile(F("missing.png"), 0));
  ASSERT_EQ(h.GetPagesCount(), 3);
  EXPECT_EQ(h.GetInteger(2, h.FindTag(2, 259), 0), 7);
  h.WriteFile(F("inserted.tif"));
  EXPECT_EQ(TiffinfoPages(F("inserted.tif")), 3);

  auto load = [](const std::string& File, int32_t Page) {
    TLoader l(false, Page);
    l.IO.LoadFromFile(File, -9);
    return FromBitmap(l.Bitmap);
  };
  TLoader first(false, 0);
  EXPECT_EQ(first.Load(F("inserted.tif")), 3);
  TVXBitmap expectOwn;
  expectOwn.Assign(&own);
  EXPECT_EQ(MaxDifference(FromBitmap(expectOwn), FromBitmap(first.Bitmap)), 0);
  EXPECT_EQ(MaxDifference(load(F("src.png"), 0), load(F("inserted.tif"), 1)), 0);
  // The JPEG page is a new JPEG encoding: libtiff decodes it as we do.
  REQUIRE_TOOL("/usr/bin/tiff2rgba");
  const std::vector<std::string> pages = Split(F("inserted.tif"), "ins");
  ASSERT_EQ(pages.size(), 3u);
  TRGBAImage oracle;
  ASSERT_TRUE(Oracle(pages[2], oracle, F("ins-oracle")));
  const int32_t jpegDiff = MaxDifference(oracle, load(F("inserted.tif"), 2));
  EXPECT_GE(jpegDiff, 0);
  EXPECT_LE(jpegDiff, 2);
}

}  // namespace

namespace {

// A two-page TIFF whose page 0 carries two reduced-resolution SubIFDs (8 x 4
// and 4 x 2 grey, not in the page chain), each with its own strip.
std::string SubIFDTIFF(bool le) {
  tifftest::TBuilder b(le);
  auto grey = [&](int32_t w, int32_t h, int32_t seed) {
    if (b.data.size() & 1) b.data += '\0';
    const uint64_t at = b.data.size();
    for (int32_t i = 0; i < w * h; ++i) b.data += char(uint8_t(i * 11 + seed));
    return at;
  };
  // A directory off the chain, every value inline.
  auto subIFD = [&](int32_t w, int32_t h, uint64_t pixels) {
    const uint64_t at = b.data.size();
    const std::vector<std::array<uint32_t, 4>> e = {{254, 4, 1, 1}, {256, 3, 1, uint32_t(w)}, {257, 3, 1, uint32_t(h)},
                                                   {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
                                                   {273, 4, 1, uint32_t(pixels)}, {277, 3, 1, 1},
                                                   {278, 3, 1, uint32_t(h)}, {279, 4, 1, uint32_t(w * h)}};
    b.data += b.Num(e.size(), 2);
    for (const auto& x : e)
      b.data += b.Num(x[0], 2) + b.Num(x[1], 2) + b.Num(x[2], 4) + (x[1] == 3 ? b.Num(x[3], 2) + b.Num(0, 2) : b.Num(x[3], 4));
    b.data += b.Num(0, 4);
    return at;
  };
  const uint64_t subA = subIFD(8, 4, grey(8, 4, 3));
  const uint64_t subB = subIFD(4, 2, grey(4, 2, 90));
  const uint64_t main0 = grey(16, 8, 7);
  b.AddIFD({{256, 3, {16}}, {257, 3, {8}}, {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}}, {273, 4, {main0}},
            {277, 3, {1}}, {278, 3, {8}}, {279, 4, {16 * 8}}, {330, 4, {subA, subB}}});
  const uint64_t main1 = grey(5, 3, 200);
  b.AddIFD({{256, 3, {5}}, {257, 3, {3}}, {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}}, {273, 4, {main1}},
            {277, 3, {1}}, {278, 3, {3}}, {279, 4, {15}}});
  return b.data;
}

// The SubIFD offsets of page 0 and, for each, what tiffinfo reads from the
// directory there (tags and decoded rows, without the lines that name offsets).
std::vector<std::string> SubPages(const std::string& File) {
  const auto dirs = tifftest::ParseTiffDump(RuntimeShell("/usr/bin/tiffdump " + File + " 2>&1"));
  std::vector<std::string> pages;
  if (dirs.empty()) return pages;
  for (const tifftest::TDumpEntry& e : dirs[0]) {
    if (e.Tag != 330) continue;
    for (const std::string& off : e.Values)
      pages.push_back(RuntimeShell("/usr/bin/tiffinfo -o " + off + " -d " + File +
                                   " 2>&1 | grep -v -i offset"));
  }
  return pages;
}

}  // namespace

TEST_F(TiffPages, HandlerKeepsSubIFDs) {
  REQUIRE_TOOL("/usr/bin/tiffdump");
  for (const bool le : {true, false}) {
    SCOPED_TRACE(le ? "little-endian" : "big-endian");
    const std::string tag = le ? "l" : "b";
    const std::string source = F("subifd" + tag + ".tif");
    RuntimeWriteFile(source, SubIFDTIFF(le));
    const std::vector<std::string> before = SubPages(source);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_NE(before[0].find("Image Width: 8 Image Length: 4"), std::string::npos) << before[0];
    EXPECT_NE(before[1].find("Image Width: 4 Image Length: 2"), std::string::npos) << before[1];
    EXPECT_NE(before[1].find(" 5a 65 70 7b"), std::string::npos) << before[1];
    EXPECT_EQ(TiffinfoPages(source), 4);  // two pages and their two SubIFDs

    // Read and written whole, after the pages changed places, and page 0 alone.
    TVXTIFFHandler h;
    ASSERT_TRUE(h.ReadFile(source));
    ASSERT_EQ(h.GetPagesCount(), 2);
    h.WriteFile(F("sub-whole" + tag + ".tif"));
    h.ExchangePage(0, 1);
    h.WriteFile(F("sub-swapped" + tag + ".tif"));
    h.ExchangePage(0, 1);
    TMemoryStream one;
    h.WriteStream(&one, 0);
    one.SaveToFile(F("sub-one" + tag + ".tif"));
    for (const char* name : {"sub-whole", "sub-one"}) {
      SCOPED_TRACE(name);
      const std::string file = F(name + tag + ".tif");
      EXPECT_EQ(RuntimeReadFile(file).substr(0, 2), le ? "II" : "MM");
      EXPECT_EQ(SubPages(file), before);
      std::string errors;
      EXPECT_EQ(TiffinfoPages(file, &errors), std::string(name) == "sub-one" ? 3 : 4);
      EXPECT_EQ(errors, "");
    }
    // Swapped, page 0 has none, and page 1's are those of the old page 0.
    TVXTIFFHandler swapped(F("sub-swapped" + tag + ".tif"));
    ASSERT_EQ(swapped.GetPagesCount(), 2);
    EXPECT_LT(swapped.FindTag(0, 330), 0);
    ASSERT_GE(swapped.FindTag(1, 330), 0);
    for (int32_t k = 0; k < 2; ++k) {
      const std::string off = std::to_string(swapped.GetInteger(1, swapped.FindTag(1, 330), k));
      EXPECT_EQ(RuntimeShell("/usr/bin/tiffinfo -o " + off + " -d " + F("sub-swapped" + tag + ".tif") +
                             " 2>&1 | grep -v -i offset"),
                before[size_t(k)]);
    }

    // Deleting a page drops the SubIFD pointers of the pages it keeps rather
    // than leaving them pointing into the old layout.
    const std::string del = F("sub-del" + tag + ".tif");
    RuntimeWriteFile(del, RuntimeReadFile(source));
    EXPECT_EQ(VXDeleteTIFFFilePage(del, 1), 1);
    std::string errors;
    EXPECT_EQ(TiffinfoPages(del, &errors), 1);
    EXPECT_EQ(errors, "");
    EXPECT_TRUE(SubPages(del).empty());
  }
}

// A page whose SubIFDs tag links eight levels of sub-directories, each
// level's four links (the SubIFDs, EXIF, GPS and interoperability tags) all
// naming the same directory below: each directory is read and written once,
// so that the rewritten file and an EXIF injection stay the size of the
// input (each link copied the whole tree below it).
TEST(TiffHandler, SubDirectoriesSharedByLinksAreReadOnce) {
  std::string f = "II*";
  f += std::string("\0\x08\0\0\0", 5);
  const auto put16 = [&](uint32_t v) { f += char(v & 0xFF), f += char(v >> 8); };
  const auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  f.resize(8 + 2 + 4 * 12 + 4, '\0');  // the page, written last
  uint32_t below = uint32_t(f.size());
  put16(1), put16(256), put16(3), put32(1), put32(1), put32(0);
  for (int level = 0; level < 8; ++level) {
    const uint32_t at = uint32_t(f.size());
    put16(4);
    for (uint32_t tag : {330u, 34665u, 34853u, 40965u}) put16(tag), put16(4), put32(1), put32(below);
    put32(0);
    below = at;
  }
  const std::string tail = f.substr(8 + 2 + 4 * 12 + 4);
  f.resize(8);
  put16(4);
  for (const std::array<uint32_t, 3> e : {std::array<uint32_t, 3>{256, 3, 1}, {257, 3, 1}, {258, 3, 8}}) {
    put16(e[0]), put16(e[1]), put32(1), put32(e[2]);
  }
  put16(330), put16(4), put32(1), put32(below), put32(0);
  f += tail;

  TVXMemStream in(f.data(), int64_t(f.size()));
  TVXTIFFHandler h;
  ASSERT_TRUE(h.ReadStream(&in));
  ASSERT_EQ(h.GetPagesCount(), 1);
  TMemoryStream out;
  h.WriteStream(&out);
  EXPECT_LT(out.Size(), 2 * int64_t(f.size()));
  // The chain is kept: written again, it reads back the same.
  out.SetPosition(0);
  TVXTIFFHandler back;
  ASSERT_TRUE(back.ReadStream(&out));
  TMemoryStream again;
  back.WriteStream(&again);
  EXPECT_EQ(again.Size(), out.Size());

  in.SetPosition(0);
  TMemoryStream injected;
  TIOParamsVals params;
  params.SetEXIF_HasEXIFData(true);
  params.SetEXIF_Artist("Bob");
  EXPECT_TRUE(VXInjectEXIFIntoTIFF(&in, &injected, "", "", 0, params));
  EXPECT_LT(injected.Size(), 4 * int64_t(f.size()) + 4096);
}

// A page whose EXIF holds a camera maker note moves (a page before it is
// deleted, the pages are rewritten or swapped, the page is written alone):
// exiftool still reads every value of the note. The Canon note's offsets
// count from the TIFF header and must move with it; the Nikon note's count
// from its own header and must not.
TEST_F(TiffPages, MakerNotesMoveWithTheirPage) {
  REQUIRE_TOOL("/usr/bin/exiftool");
  for (const makernote::TMaker& m : makernote::Makers()) {
    SCOPED_TRACE(m.Name);
    const std::string tag = m.LittleEndian ? "l" : "b";
    // The note on page 1 of three; exiftool reads the EXIF of page 0 only, so
    // the source is checked with the note on page 0.
    const std::string front = F("note-front" + tag + ".tif"), source = F("note" + tag + ".tif");
    RuntimeWriteFile(front, makernote::MakerNoteTIFF(m, 3, 0));
    ASSERT_EQ(makernote::MakerNoteProblems(m, front), "");
    RuntimeWriteFile(source, makernote::MakerNoteTIFF(m, 3, 1));

    const std::string deleted = F("note-deleted" + tag + ".tif");
    RuntimeWriteFile(deleted, RuntimeReadFile(source));
    EXPECT_EQ(VXDeleteTIFFFilePage(deleted, 0), 2);

    TVXTIFFHandler h;
    ASSERT_TRUE(h.ReadFile(source));
    TMemoryStream one;
    h.WriteStream(&one, 1);
    one.SaveToFile(F("note-one" + tag + ".tif"));
    h.MovePage(1, 0);
    h.WriteFile(F("note-moved" + tag + ".tif"));
    TVXTIFFHandler fromFront;
    ASSERT_TRUE(fromFront.ReadFile(front));
    fromFront.WriteFile(F("note-rewritten" + tag + ".tif"));

    for (const char* name : {"note-deleted", "note-one", "note-moved", "note-rewritten"}) {
      SCOPED_TRACE(name);
      const std::string file = F(name + tag + ".tif");
      EXPECT_EQ(makernote::MakerNoteProblems(m, file), "");
      EXPECT_EQ(RuntimeShell("/usr/bin/exiftool -s3 -n -ExposureTime " + file), "0.004\n");
      std::string errors;
      TiffinfoPages(file, &errors);
      EXPECT_EQ(errors.find("rror"), std::string::npos) << errors;
    }
  }
}

