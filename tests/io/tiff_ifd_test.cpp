// The TIFF directory reader and writer: listings equal to tiffdump's in every
// byte order and in BigTIFF, damaged chains, typed values at their limits and
// the writer's encodings.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "core/streams.h"
#include "core/streamutils.h"
#include "io/tiffifd.h"
#include "tests/io/tiff_test_util.h"

using namespace tifftest;

namespace {

struct TOpened {
  std::string bytes;
  std::unique_ptr<TVXMemStream> stream;
  TVXTIFFIFDReader reader;
  int64_t first = 0;
  bool headerOk = false;
};

// Reads the header of bytes and prepares a reader for its chain.
std::unique_ptr<TOpened> Open(const std::string& bytes) {
  auto o = std::make_unique<TOpened>();
  o->bytes = bytes;
  o->stream = std::make_unique<TVXMemStream>(o->bytes.data(), int64_t(o->bytes.size()));
  bool le = true, big = false;
  int32_t posSize = 4;
  o->headerOk = VXReadTIFFHeader(o->stream.get(), nullptr, le, o->first, posSize, big);
  o->reader.Stream = o->stream.get();
  o->reader.LittleEndian = le;
  o->reader.IsBigTIFF = big;
  o->reader.DataPosSize = posSize;
  return o;
}

// Compares every entry of directory `page` with tiffdump's listing of it.
void ExpectListingEqual(const std::string& file, const std::string& bytes) {
  auto dirs = ParseTiffDump(Shell("tiffdump -m 100000 '" + file + "' 2>/dev/null"));
  ASSERT_FALSE(dirs.empty()) << file;
  auto o = Open(bytes);
  ASSERT_TRUE(o->headerOk);
  for (size_t page = 0; page < dirs.size(); ++page) {
    int32_t count = 0;
    ASSERT_TRUE(o->reader.ReadIFD(int32_t(page), o->first, count));
    EXPECT_EQ(count, int32_t(dirs.size()));
    const TVXTIFFIFDReader& r = o->reader;
    ASSERT_EQ(r.NumTags(), int32_t(dirs[page].size())) << file;
    for (size_t k = 0; k < dirs[page].size(); ++k) {
      const TDumpEntry& d = dirs[page][k];
      SCOPED_TRACE(file + " tag " + std::to_string(d.Tag));
      int32_t i = r.FindTAG(d.Tag);
      ASSERT_EQ(i, int32_t(k));
      EXPECT_EQ(r.GetDataType(i), d.Type);
      EXPECT_EQ(r.GetDataNum(i), d.Count);
      int32_t size = 0;
      auto raw = r.ReadRawData(d.Tag, size);
      EXPECT_EQ(size, d.Count * VXTIFFTypeSize(d.Type));
      if (d.Type == 2) {
        EXPECT_EQ(r.ReadString(d.Tag, false), d.Values[0]);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw.get()), size_t(size)), d.Values[0]);
      } else if (d.Type == 5 || d.Type == 10 || d.Type == 11 || d.Type == 12) {
        ASSERT_EQ(int64_t(d.Values.size()), d.Count);
        for (size_t v = 0; v < d.Values.size(); ++v) {
          double want = std::stod(d.Values[v]);
          if (d.Type == 5 || d.Type == 10) {
            EXPECT_NEAR(r.ReadRational(d.Tag, int32_t(v), -1), want, 1e-6 * std::max(1.0, std::fabs(want)));
          }
        }
      } else {
        std::vector<int64_t> ar;
        ASSERT_EQ(r.ReadArrayIntegers(ar, d.Tag), int32_t(d.Count));
        ASSERT_EQ(int64_t(d.Values.size()), d.Count);
        for (size_t v = 0; v < d.Values.size(); ++v) {
          int64_t want = std::stoll(d.Values[v], nullptr, 0);
          EXPECT_EQ(ar[v], want);
          EXPECT_EQ(r.ReadInteger(d.Tag, int64_t(v), -7), want);
        }
      }
    }
  }
}

bool HaveTiffTools() { return HaveTool("tiffdump") && HaveTool("tiffcp") && HaveTool("tiffset"); }
bool HaveNetpbm() { return HaveTool("pgmramp") && HaveTool("pamtotiff"); }

// A grey ramp as TIFF with extra tags, in the form tiffcp makes of it.
std::string MakeSource(const TRuntimeScratchDir& dir) {
  std::string src = dir.File("src.tif");
  Shell("pgmramp -lr 40 30 2>/dev/null | pamtotiff > '" + src + "' 2>/dev/null");
  Shell("tiffset -s 270 'a description of the page' '" + src + "'");
  Shell("tiffset -s 305 sw '" + src + "'");
  Shell("tiffset -s 282 72.5 '" + src + "'");
  Shell("tiffset -s 283 300 '" + src + "'");
  Shell("tiffset -s 297 2 5 '" + src + "'");
  Shell("tiffset -s 318 0.3127 0.329 '" + src + "'");
  return src;
}

}  // namespace

TEST(TIFFIFDReader, ListingsOfEveryByteOrderAndBigTIFFEqualTiffdump) {
  if (!HaveTiffTools() || !HaveNetpbm()) GTEST_SKIP() << "libtiff-tools or netpbm is missing";
  TRuntimeScratchDir dir;
  std::string src = MakeSource(dir);
  const struct {
    const char* name;
    const char* options;
  } kCopies[] = {
      {"be.tif", "-B"}, {"le.tif", "-L"}, {"big.tif", "-8"}, {"bigbe.tif", "-8 -B"}, {"strips.tif", "-B -r 3"},
      {"pages.tif", "-L -r 7"},
  };
  for (const auto& c : kCopies) {
    std::string out = dir.File(c.name);
    std::string extra = std::string(c.name) == "pages.tif" ? " '" + src + "'" : "";
    Shell(std::string("tiffcp ") + c.options + " '" + src + "'" + extra + " '" + out + "' 2>/dev/null");
    std::string bytes = ReadFile(out);
    ASSERT_FALSE(bytes.empty()) << c.name;
    ExpectListingEqual(out, bytes);
  }
}

TEST(TIFFIFDReader, DamagedChainsStopQuicklyAndCountEachDirectoryOnce) {
  const std::vector<TEntry> ifd = {{256, 3, {16}}, {257, 3, {8}}};
  struct TCase {
    const char* name;
    std::string bytes;
    int32_t index;
    bool loaded;
    int32_t count;
  };
  std::vector<TCase> cases;
  for (bool le : {true, false}) {
    {  // A -> B -> A
      TBuilder b(le);
      uint64_t a = b.AddIFD(ifd);
      b.AddIFD(ifd);
      b.SetLastLink(a);
      cases.push_back({"A-B-A", b.data, 0, true, 2});
      cases.push_back({"A-B-A, page 5", b.data, 5, false, 2});
    }
    {  // A -> A
      TBuilder b(le);
      uint64_t a = b.AddIFD(ifd);
      b.SetLastLink(a);
      cases.push_back({"A-A", b.data, 0, true, 1});
    }
    {  // next offset past the end and below 8
      TBuilder b(le);
      b.AddIFD(ifd);
      b.SetLastLink(1u << 30);
      cases.push_back({"past end", b.data, 0, true, 1});
      TBuilder c(le);
      c.AddIFD(ifd);
      c.SetLastLink(4);
      cases.push_back({"below 8", c.data, 0, true, 1});
    }
    {  // entry count far beyond the file
      TBuilder b(le);
      uint64_t a = b.AddIFD(ifd);
      b.data.replace(size_t(a), 2, b.Num(0xFFFF, 2));
      cases.push_back({"count 65535", b.data, 0, false, 0});
    }
    {  // zero entries
      TBuilder b(le);
      b.AddIFD({});
      cases.push_back({"zero entries", b.data, 0, false, 0});
    }
    {  // directory cut inside its entries, and cut before its link
      TBuilder b(le);
      b.AddIFD(ifd);
      std::string cut = b.data.substr(0, b.data.size() - 10);
      cases.push_back({"truncated entries", cut, 0, false, 0});
      std::string noLink = b.data.substr(0, b.data.size() - 4);
      cases.push_back({"no link", noLink, 0, true, 0});
    }
    {  // BigTIFF count of 2^62
      TBuilder b(le, true);
      uint64_t a = b.AddIFD(ifd);
      b.data.replace(size_t(a), 8, b.Num(uint64_t(1) << 62, 8));
      cases.push_back({"BigTIFF count 2^62", b.data, 0, false, 0});
    }
  }
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto o = Open(c.bytes);
    ASSERT_TRUE(o->headerOk);
    int32_t count = -1;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(o->reader.ReadIFD(c.index, o->first, count), c.loaded);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_EQ(count, c.count);
    if (c.loaded) {
      EXPECT_EQ(o->reader.ReadInteger(256, 0, 0), 16);
    }
  }
}

TEST(TIFFIFDReader, HeadersAreRefusedOrAccepted) {
  struct TCase {
    const char* name;
    std::string bytes;
    bool ok;
  };
  TBuilder good(true);
  good.AddIFD({{256, 3, {1}}});
  TBuilder big(false, true);
  big.AddIFD({{256, 3, {1}}});
  std::string badBig = big.data;
  badBig[5] = 4;  // offset size 4 in a BigTIFF header
  std::string zero = good.data;
  zero.replace(4, 4, std::string(4, '\0'));
  std::string beyond = good.data;
  beyond.replace(4, 4, good.Num(100000, 4));
  std::string mark = good.data;
  mark[0] = 'X';
  const TCase cases[] = {{"classic", good.data, true},      {"BigTIFF big-endian", big.data, true},
                         {"BigTIFF offset size", badBig, false}, {"first offset 0", zero, false},
                         {"first offset past end", beyond, false}, {"no byte-order mark", mark, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Open(c.bytes)->headerOk, c.ok);
  }
}

TEST(TIFFIFDReader, TypedValuesFollowTheFieldTypeInBothByteOrders) {
  for (bool le : {true, false}) {
    SCOPED_TRACE(le ? "little-endian" : "big-endian");
    TBuilder b(le);
    b.AddIFD({
        {300, 4, {0x80000000u}},                                   // LONG 2^31 inline
        {301, 3, {7, 65535}},                                      // two SHORTs inline
        {302, 8, {uint16_t(-2), 3}},                               // SSHORT
        {303, 9, {uint32_t(-5)}},                                  // SLONG
        {304, 5, {Rational(0xFFFFFFFFu, 1), Rational(1, 0)}},      // RATIONAL
        {305, 10, {Rational(uint32_t(-1), 2)}},                    // SRATIONAL
        {306, 2, {}, std::string("ab\0cd", 5)},                    // ASCII with an inner NUL
        {307, 6, {0xFE}},                                          // SBYTE
        {308, 4, {1, 2, 0x80000000u}},                             // LONGs out of line
        {309, 16, {uint64_t(1) << 40}},                            // LONG8
    });
    auto o = Open(b.data);
    int32_t n = 0;
    ASSERT_TRUE(o->reader.ReadIFD(0, o->first, n));
    const TVXTIFFIFDReader& r = o->reader;
    EXPECT_EQ(r.ReadInteger(300, 0, 0), int64_t(1) << 31);
    EXPECT_EQ(r.ReadInteger(301, 0, 0), 7);
    EXPECT_EQ(r.ReadInteger(301, 1, 0), 65535);
    EXPECT_EQ(r.ReadInteger(301, 2, 9), 0);  // beyond the count
    EXPECT_EQ(r.ReadInteger(302, 0, 0), -2);
    EXPECT_EQ(r.ReadInteger(303, 0, 0), -5);
    EXPECT_DOUBLE_EQ(r.ReadRational(304, 0, 0), 4294967295.0);
    EXPECT_DOUBLE_EQ(r.ReadRational(304, 1, 0), 1.0);
    EXPECT_DOUBLE_EQ(r.ReadRational(305, 0, 0), -0.5);
    EXPECT_DOUBLE_EQ(r.ReadRational(999, 0, 2.5), 2.5);
    EXPECT_EQ(r.ReadString(306, true), "ab");
    EXPECT_EQ(r.ReadString(306, false), std::string("ab\0cd", 5));
    EXPECT_EQ(r.ReadInteger(307, 0, 0), -2);
    std::vector<int64_t> ar;
    ASSERT_EQ(r.ReadArrayIntegers(ar, 308), 3);
    EXPECT_EQ(ar, (std::vector<int64_t>{1, 2, int64_t(1) << 31}));
    EXPECT_EQ(r.ReadInteger(309, 0, 0), int64_t(1) << 40);
    EXPECT_EQ(r.ReadInteger(999, 0, 42), 42);
    EXPECT_EQ(r.ReadArrayIntegers(ar, 999), 0);
  }
}

TEST(TIFFIFDReader, ValuesBeyondTheStreamAreNeverReadOrAllocated) {
  for (bool le : {true, false}) {
    TBuilder b(le);
    b.AddIFD({
        {256, 3, {16}},
        {270, 2, {}, "", int64_t(1) << 31, 8},       // text count 2^31
        {273, 4, {}, "", 1000, 8},                   // 1000 offsets from position 8: only what the file holds
        {700, 1, {}, "", 0x7FFFFFFF, 0x7FFFFFF0},    // XMP-like block far past the end
        {37724, 7, {}, "ABC"},                       // 3 bytes of data, inline
    });
    auto o = Open(b.data);
    int32_t n = 0;
    ASSERT_TRUE(o->reader.ReadIFD(0, o->first, n));
    const TVXTIFFIFDReader& r = o->reader;
    EXPECT_EQ(r.GetDataNum(r.FindTAG(270)), int64_t(1) << 31);
    EXPECT_EQ(r.ReadString(270, true), "");
    std::vector<int64_t> ar;
    int32_t got = r.ReadArrayIntegers(ar, 273);
    EXPECT_LE(int64_t(got) * 4, int64_t(b.data.size()));
    EXPECT_GT(got, 0);
    int32_t size = -1;
    EXPECT_NE(r.ReadRawData(700, size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(r.ReadRawDataAsArrayOfByte(700).empty());
    EXPECT_EQ(r.ReadRawDataAsArrayOfByte(37724), (TVXArrayOfByte{'A', 'B', 'C'}));
    EXPECT_EQ(r.ReadRawData(701, size), nullptr);
  }
}

TEST(TIFFIFDWriter, EncodingsReadBackThroughTiffdump) {
  if (!HaveTiffTools()) GTEST_SKIP() << "libtiff-tools is missing";
  TRuntimeScratchDir dir;
  TMemoryStream s;
  bool aborting = false;
  // Header with the directory offset patched in later; one pixel of data.
  s.Write("II*\0\0\0\0\0\xFF", 9);
  TVXTIFFIFDWriter w;
  w.WriteString(&s, 305, "abcd", aborting);
  w.WriteString(&s, 270, "abcde", aborting);
  w.WriteWideString(&s, 40091, u"A", aborting);
  w.WriteWideString(&s, 40092, u"xyz", aborting);
  const uint16_t shorts[] = {1, 2, 3};
  w.WriteMultiShort(&s, 297, aborting, std::span<const uint16_t>(shorts, 2));
  w.WriteMultiShort(&s, 530, aborting, std::span<const uint16_t>(shorts, 3));
  w.WriteSingleRational(&s, 282, 72.5, aborting);
  const double wp[] = {0.3127, 0.329};
  w.WriteMultiRational(&s, 318, aborting, wp);
  const int32_t longs[] = {8};
  w.WriteMultiLongEx(&s, 273, aborting, 1, longs);
  w.WriteSingleLong(279, 1);
  w.WriteSingleShort(256, 1);
  w.WriteSingleShort(257, 1);
  w.WriteSingleShort(258, 8);
  w.WriteSingleShort(262, 1);
  w.WriteSingleShort(259, 1, nullptr);
  TVXTIFFIFDWriter::TTagList only = {999};
  w.WriteSingleShort(284, 1, &only);  // filtered out
  w.WriteSingleByte(50000, 9);
  w.WriteArrayOfByte(&s, 50001, 7, TVXArrayOfByte{1, 2, 3, 4, 5, 6}, aborting);
  w.WriteMiniByteString(50002, "xy");
  ASSERT_FALSE(aborting);

  const TTIFFTAG* t305 = nullptr;
  const TTIFFTAG* t270 = nullptr;
  const TTIFFTAG* t40091 = nullptr;
  const TTIFFTAG* t530 = nullptr;
  for (const TTIFFTAG& t : w.Items) {
    if (t.IdTag == 305) t305 = &t;
    if (t.IdTag == 270) t270 = &t;
    if (t.IdTag == 40091) t40091 = &t;
    if (t.IdTag == 530) t530 = &t;
    if (VXTIFFTypeSize(t.DataType) * int64_t(t.DataNum) > 4) {
      EXPECT_EQ(t.DataPos % 2, 0u) << t.IdTag;
    }
  }
  ASSERT_TRUE(t305 && t270 && t40091 && t530);
  EXPECT_EQ(t305->DataNum, 4);
  EXPECT_EQ(t305->DataPos, 0x64636261u);  // "abcd" inline
  EXPECT_EQ(t270->DataNum, 6);
  EXPECT_EQ(t40091->DataType, 1);
  EXPECT_EQ(t40091->DataNum, 4);
  EXPECT_EQ(t40091->DataPos, uint32_t('A'));
  EXPECT_EQ(t530->DataNum, 3);
  int64_t pos530 = t530->DataPos;

  w.ReorderTags();
  for (int32_t i = 1; i < w.Count(); ++i) EXPECT_LT(w.GetTag(i - 1)->IdTag, w.GetTag(i)->IdTag);
  VXStreamPadToWord(&s, aborting);
  uint32_t dirPos = uint32_t(s.Position());
  uint8_t c[2] = {uint8_t(w.Count()), 0};
  s.Write(c, 2);
  for (const TTIFFTAG& t : w.Items) VXWriteTIFFTag(&s, t, true, aborting);
  s.Write("\0\0\0\0", 4);
  s.SetPosition(4);
  uint8_t p[4] = {uint8_t(dirPos), uint8_t(dirPos >> 8), uint8_t(dirPos >> 16), uint8_t(dirPos >> 24)};
  s.Write(p, 4);
  std::string bytes(static_cast<const char*>(s.Memory()), size_t(s.Size()));
  EXPECT_EQ(uint8_t(bytes[size_t(pos530)]), 1);
  EXPECT_EQ(uint8_t(bytes[size_t(pos530) + 4]), 3);

  std::string file = dir.File("w.tif");
  WriteFile(file, bytes);
  auto dirs = ParseTiffDump(Shell("tiffdump -m 100000 '" + file + "' 2>/dev/null"));
  ASSERT_EQ(dirs.size(), 1u);
  std::map<uint16_t, TDumpEntry> byTag;
  uint16_t last = 0;
  for (const TDumpEntry& e : dirs[0]) {
    EXPECT_GT(e.Tag, last);  // sorted as unsigned codes
    last = e.Tag;
    byTag[e.Tag] = e;
  }
  EXPECT_EQ(byTag.count(284), 0u);
  EXPECT_EQ(byTag[305].Values[0], "abcd");
  EXPECT_EQ(byTag[270].Count, 6);
  EXPECT_EQ(byTag[270].Values[0], std::string("abcde\0", 6));
  EXPECT_EQ(byTag[40092].Count, 8);
  EXPECT_EQ(byTag[297].Values, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(byTag[530].Values, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_NEAR(std::stod(byTag[282].Values[0]), 72.5, 1e-9);
  EXPECT_NEAR(std::stod(byTag[318].Values[1]), 0.329, 1e-6);
  EXPECT_EQ(byTag[50001].Count, 6);
  EXPECT_EQ(byTag[50002].Count, 2);
  // And this reader lists the same.
  ExpectListingEqual(file, bytes);
  auto o = Open(bytes);
  int32_t n = 0;
  ASSERT_TRUE(o->reader.ReadIFD(0, o->first, n));
  EXPECT_EQ(o->reader.ReadWideString(40091), u"A");
  EXPECT_EQ(o->reader.ReadWideString(40092), u"xyz");
}
