// CCITT fax coding: strips made by libtiff-tools and netpbm decode row for
// row, the encoders' strips read back in libtiff-tools and netpbm, and the
// coding cases at the edges of the code tables.
#include <gtest/gtest.h>

#include <random>

#include "codecs/ccitt.h"
#include "core/startup.h"
#include "core/streams.h"
#include "tests/codecs/tiff_strips_util.h"

using namespace stripstest;

namespace {

// A bilevel page: rows of ceil(width / 8) bytes, 1 = black.
struct TBilevel {
  int32_t width = 0;
  std::vector<std::string> rows;
  size_t RowBytes() const { return size_t((width + 7) / 8); }
};

TBilevel MakePage(int32_t width, int32_t height, uint32_t seed) {
  TBilevel p;
  p.width = width;
  std::mt19937 rnd(seed);
  for (int32_t y = 0; y < height; ++y) {
    std::string r(p.RowBytes(), '\0');
    auto set = [&](int32_t x) { r[size_t(x / 8)] = char(uint8_t(r[size_t(x / 8)]) | (0x80 >> (x % 8))); };
    switch (y % 8) {
      case 0: break;                                                 // all white
      case 1: for (int32_t x = 0; x < width; ++x) set(x); break;     // all black
      case 2: for (int32_t x = 0; x < width; x += 2) set(x); break;  // alternating pixels
      case 3: for (int32_t x = width / 3; x < width; ++x) set(x); break;
      case 4: for (int32_t x = 0; x < width; ++x) if (rnd() % 5 == 0) set(x); break;
      case 5: for (int32_t x = 0; x < width; ++x) if ((x / (1 + y % 13)) % 2) set(x); break;
      case 6: set(0); set(width - 1); break;
      default: for (int32_t x = 0; x < width; ++x) if (int32_t(rnd() % 100) < 50 + (x * 40) / width) set(x); break;
    }
    // Pad bits stay 0.
    p.rows.push_back(r);
  }
  return p;
}

std::string PBM(const TBilevel& p) {
  std::string s = "P4\n" + std::to_string(p.width) + " " + std::to_string(p.rows.size()) + "\n";
  for (const std::string& r : p.rows) s += r;
  return s;
}

std::string Inverted(const std::string& row, int32_t width) {
  std::string r = row;
  for (char& c : r) c = char(~uint8_t(c));
  if (width % 8) r.back() = char(uint8_t(r.back()) & uint8_t(0xFF00 >> (width % 8)));
  return r;
}

// Decodes every strip of a fax-compressed page; rows come back with 1 = black.
std::vector<std::string> DecodePage(const TPage& p) {
  std::vector<std::string> rows;
  const int32_t w = int32_t(p.width);
  const size_t rowBytes = size_t((w + 7) / 8);
  for (const std::string& strip : p.strips) {
    const uint8_t* src = reinterpret_cast<const uint8_t*>(strip.data());
    const int64_t size = int64_t(strip.size());
    std::string ref(rowBytes, char(0xFF));
    int64_t bit = 0, byte = 0;
    for (int64_t y = 0; y < p.rowsPerStrip && int64_t(rows.size()) < p.height; ++y) {
      std::string dest(rowBytes, '\0');
      uint8_t* d = reinterpret_cast<uint8_t*>(dest.data());
      uint8_t* r = reinterpret_cast<uint8_t*>(ref.data());
      if (p.compression == 2) {
        byte += VXCCITTDecodeMHRow(d, src + byte, std::max<int64_t>(size - byte, 0), w, int32_t(p.fillOrder));
      } else if (p.compression == 3 && !(p.t4options & 1)) {
        bit = VXCCITTDecode1DRow(d, src, size, w, bit, int32_t(p.fillOrder));
      } else if (p.compression == 3) {
        bit = VXCCITTDecode2DRow(d, src, size, w, r, bit, int32_t(p.fillOrder), true);
      } else {
        bit = VXCCITTDecode2DRow(d, src, size, w, r, bit, int32_t(p.fillOrder), (p.t6options & 4) != 0);
      }
      rows.push_back(Inverted(dest, w));
    }
  }
  return rows;
}

// Strips of a page coded by one of the encoders.
enum TCoder { cMH, cG31D, cG32D, cG4 };

std::vector<std::string> EncodePage(const TBilevel& p, TCoder coder, int32_t rowsPerStrip, int32_t fillOrder) {
  std::vector<std::string> strips;
  for (size_t y0 = 0; y0 < p.rows.size(); y0 += size_t(rowsPerStrip)) {
    TMemoryStream s;
    bool aborting = false;
    int32_t bits = 0;
    uint8_t byte = 0;
    uint8_t* ref = nullptr;
    for (size_t y = y0; y < std::min(p.rows.size(), y0 + size_t(rowsPerStrip)); ++y) {
      const uint8_t* row = reinterpret_cast<const uint8_t*>(p.rows[y].data());
      switch (coder) {
        case cMH: VXEncodeMHFaxRow(row, p.width, &s, fillOrder, aborting); break;
        case cG31D: VXEncodeG3Fax1DRow(row, p.width, &s, fillOrder, aborting, bits, byte); break;
        case cG32D: VXEncodeG3Fax2DRow(row, p.width, &s, fillOrder, aborting, ref, bits, byte); break;
        case cG4: VXEncodeG4FaxRow(row, p.width, &s, fillOrder, aborting, ref, bits, byte); break;
      }
    }
    switch (coder) {
      case cMH: break;
      case cG31D: VXEncodeG3Fax1DRow(nullptr, 0, &s, fillOrder, aborting, bits, byte); break;
      case cG32D: VXEncodeG3Fax2DRow(nullptr, p.width, &s, fillOrder, aborting, ref, bits, byte); break;
      case cG4: VXEncodeG4FaxRow(nullptr, p.width, &s, fillOrder, aborting, ref, bits, byte); break;
    }
    EXPECT_FALSE(aborting);
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(bits, 0);
    strips.emplace_back(static_cast<const char*>(s.Memory()), size_t(s.Size()));
  }
  return strips;
}

// Bits of a byte string as '0'/'1' characters.
std::string BitString(const std::string& bytes) {
  std::string s;
  for (char c : bytes)
    for (int k = 7; k >= 0; --k) s += ((uint8_t(c) >> k) & 1) ? '1' : '0';
  return s;
}

bool HaveTools() {
  return HaveTool("tiffcp") && HaveTool("tiffcmp") && HaveTool("pamtotiff") && HaveTool("pbmtog3") &&
         HaveTool("g3topbm");
}

}  // namespace

TEST(CCITTDecoders, StripsMadeByTiffcpDecodeRowForRow) {
  if (!HaveTools()) GTEST_SKIP() << "libtiff-tools or netpbm is missing";
  TRuntimeScratchDir dir;
  for (int32_t width : {203, 3000}) {
    TBilevel page = MakePage(width, 23, uint32_t(width));
    RuntimeWriteFile(dir.File("src.pbm"), PBM(page));
    Shell("pamtotiff -miniswhite '" + dir.File("src.pbm") + "' > '" + dir.File("src.tif") + "' 2>/dev/null");
    for (const char* comp : {"g3:1d", "g3:1d:fill", "g3:2d", "g3:2d:fill", "g4"}) {
      for (const char* order : {"msb2lsb", "lsb2msb"}) {
        for (int rps : {1, 7, 0}) {
          std::string name = std::string(comp) + " " + order + " rows " + std::to_string(rps);
          SCOPED_TRACE(std::to_string(width) + " " + name);
          std::string out = dir.File("c.tif");
          std::string rows = rps ? " -r " + std::to_string(rps) : " -s";
          Shell(std::string("tiffcp -c ") + comp + " -f " + order + rows + " '" + dir.File("src.tif") + "' '" + out +
                "' 2>/dev/null");
          TPage p;
          ASSERT_TRUE(ReadPage(RuntimeReadFile(out), p));
          ASSERT_EQ(p.photometric, 0);
          if (rps) {
            ASSERT_EQ(p.rowsPerStrip, rps);
          }
          std::vector<std::string> got = DecodePage(p);
          ASSERT_EQ(got.size(), page.rows.size());
          for (size_t y = 0; y < got.size(); ++y) ASSERT_EQ(got[y], page.rows[y]) << "row " << y;
        }
      }
    }
  }
}

TEST(CCITTDecoders, Pbmtog3DataWithAndWithoutEOLs) {
  if (!HaveTools()) GTEST_SKIP() << "netpbm is missing";
  TRuntimeScratchDir dir;
  TBilevel page = MakePage(1728, 17, 5);
  RuntimeWriteFile(dir.File("p.pbm"), PBM(page));
  Shell("pbmtog3 '" + dir.File("p.pbm") + "' > '" + dir.File("p.g3") + "' 2>/dev/null");
  std::string g3 = RuntimeReadFile(dir.File("p.g3"));
  ASSERT_FALSE(g3.empty());
  const uint8_t* src = reinterpret_cast<const uint8_t*>(g3.data());
  // With the EOLs: each row begins with one, which the decoder skips.
  std::string bits = BitString(g3), stripped;
  int64_t p = 0;
  for (size_t y = 0; y < page.rows.size(); ++y) {
    std::string dest(page.RowBytes(), '\0');
    int64_t eol = int64_t(bits.find("000000000001", size_t(p)));
    ASSERT_GE(eol, 0);
    int64_t next = VXCCITTDecode1DRow(reinterpret_cast<uint8_t*>(dest.data()), src, int64_t(g3.size()), 1728, p, 1);
    ASSERT_EQ(Inverted(dest, 1728), page.rows[y]) << y;
    stripped += bits.substr(size_t(eol + 12), size_t(next - eol - 12));  // the row without its EOL
    p = next;
  }
  // The same rows without any EOL.
  while (stripped.size() % 8) stripped += '0';
  std::string bytes;
  for (size_t k = 0; k < stripped.size(); k += 8) bytes += char(std::stoi(stripped.substr(k, 8), nullptr, 2));
  const uint8_t* s2 = reinterpret_cast<const uint8_t*>(bytes.data());
  p = 0;
  for (size_t y = 0; y < page.rows.size(); ++y) {
    std::string dest(page.RowBytes(), '\0');
    p = VXCCITTDecode1DRow(reinterpret_cast<uint8_t*>(dest.data()), s2, int64_t(bytes.size()), 1728, p, 1);
    ASSERT_EQ(Inverted(dest, 1728), page.rows[y]) << y;
  }
}

TEST(CCITTEncoders, StripsReadBackInTiffcmpAndInTheDecoders) {
  if (!HaveTools()) GTEST_SKIP() << "libtiff-tools or netpbm is missing";
  TRuntimeScratchDir dir;
  for (int32_t width : {203, 3000}) {
    TBilevel page = MakePage(width, 21, uint32_t(width) + 1);
    RuntimeWriteFile(dir.File("src.pbm"), PBM(page));
    Shell("pamtotiff -miniswhite '" + dir.File("src.pbm") + "' > '" + dir.File("src.tif") + "' 2>/dev/null");
    const struct {
      TCoder coder;
      uint16_t compression;
      int64_t t4;
    } kCoders[] = {{cMH, 2, -1}, {cG31D, 3, 0}, {cG32D, 3, 1}, {cG4, 4, -1}};
    for (const auto& c : kCoders) {
      for (int32_t fo : {1, 2}) {
        for (int32_t rps : {7, 21}) {
          SCOPED_TRACE(std::to_string(width) + " compression " + std::to_string(c.compression) + " t4 " +
                       std::to_string(c.t4) + " fill order " + std::to_string(fo) + " rows " + std::to_string(rps));
          std::vector<std::string> strips = EncodePage(page, c.coder, rps, fo);
          std::string tif = MakeTIFF(width, 21, rps, c.compression, 0, uint16_t(fo), strips, c.t4);
          RuntimeWriteFile(dir.File("e.tif"), tif);
          std::string diff = Shell("tiffcmp -t '" + dir.File("src.tif") + "' '" + dir.File("e.tif") + "' 2>&1; echo rc=$?");
          EXPECT_EQ(diff.find("Scanline"), std::string::npos) << diff;
          EXPECT_NE(diff.find("rc=0"), std::string::npos) << diff;
          TPage p;
          ASSERT_TRUE(ReadPage(tif, p));
          EXPECT_EQ(DecodePage(p), page.rows);
        }
      }
    }
    // netpbm reads the Group 3 one-dimensional output as the source page.
    std::vector<std::string> g3 = EncodePage(page, cG31D, 21, 1);
    RuntimeWriteFile(dir.File("e.g3"), g3[0]);
    std::string pbm = Shell("g3topbm -width " + std::to_string(width) + " '" + dir.File("e.g3") + "' 2>/dev/null");
    EXPECT_EQ(pbm, PBM(page));
  }
}

TEST(CCITTDecoders, TreesLiveFromStartUpToShutDown) {
  EXPECT_EQ(VXLibraryHooks.CCITTStartup, &VXCreateCCITTDecodeTrees);
  EXPECT_EQ(VXLibraryHooks.CCITTShutdown, &VXFreeCCITTDecodeTrees);
  // Freed and built again, the trees decode as before; a missing reference
  // row reads as white.
  VXFreeCCITTDecodeTrees();
  VXCreateCCITTDecodeTrees();
  TBilevel page = MakePage(203, 2, 8);
  std::vector<std::string> strip = EncodePage(page, cG4, 2, 1);
  std::string dest(26, '\0');
  VXCCITTDecode2DRow(reinterpret_cast<uint8_t*>(dest.data()), reinterpret_cast<const uint8_t*>(strip[0].data()),
                     int64_t(strip[0].size()), 203, nullptr, 0, 1, false);
  EXPECT_EQ(Inverted(dest, 203), page.rows[0]);
}

TEST(CCITTEncoders, CodingCases) {
  // A run of 5000 black pixels: white 0, then 2560 + 2432 + 8.
  {
    std::string row(625, char(0xFF));
    TMemoryStream s;
    bool aborting = false;
    VXEncodeMHFaxRow(reinterpret_cast<const uint8_t*>(row.data()), 5000, &s, 1, aborting);
    std::string out(static_cast<const char*>(s.Memory()), size_t(s.Size()));
    std::string want = std::string("00110101") + "000000011111" + "000000011101" + "000101";
    std::string bits = BitString(out);
    EXPECT_EQ(bits.substr(0, want.size()), want);
    EXPECT_EQ(bits.size(), (want.size() + 7) / 8 * 8);
    EXPECT_EQ(bits.find('1', want.size()), std::string::npos);
  }
  // Group 4: an all-white row against the all-white start is one V0 code;
  // the end call writes EOFB and ends on a byte boundary.
  {
    std::string row(26, '\0');
    TMemoryStream s;
    bool aborting = false;
    int32_t bits = 0;
    uint8_t byte = 0;
    uint8_t* ref = nullptr;
    VXEncodeG4FaxRow(reinterpret_cast<const uint8_t*>(row.data()), 203, &s, 1, aborting, ref, bits, byte);
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(bits, 1);
    EXPECT_EQ(byte, 0x80);
    ASSERT_NE(ref, nullptr);
    VXEncodeG4FaxRow(nullptr, 203, &s, 1, aborting, ref, bits, byte);
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(bits, 0);
    std::string out = BitString(std::string(static_cast<const char*>(s.Memory()), size_t(s.Size())));
    EXPECT_EQ(out, std::string("1") + "000000000001" + "000000000001" + "0000000");
  }
  // Fill order 2 is the byte-wise bit reversal of fill order 1, for every coder.
  {
    TBilevel page = MakePage(203, 12, 9);
    for (TCoder c : {cMH, cG31D, cG32D, cG4}) {
      SCOPED_TRACE(int(c));
      std::vector<std::string> a = EncodePage(page, c, 12, 1), b = EncodePage(page, c, 12, 2);
      ASSERT_EQ(a[0].size(), b[0].size());
      for (size_t k = 0; k < a[0].size(); ++k) ASSERT_EQ(Reverse(uint8_t(a[0][k])), uint8_t(b[0][k])) << k;
    }
  }
  // A Group 3 two-dimensional row with tag bit 1 decodes one-dimensionally and
  // becomes the reference of the next row (tag bit 0).
  {
    TBilevel page = MakePage(203, 3, 4);
    std::vector<std::string> strip = EncodePage(page, cG32D, 3, 1);
    std::string bits = BitString(strip[0]);
    EXPECT_EQ(bits.substr(0, 13), "0000000000011");
    const uint8_t* src = reinterpret_cast<const uint8_t*>(strip[0].data());
    std::string ref(26, char(0x00));  // a wrong reference: the first row must not use it
    int64_t p = 0;
    for (size_t y = 0; y < 3; ++y) {
      std::string dest(26, '\0');
      p = VXCCITTDecode2DRow(reinterpret_cast<uint8_t*>(dest.data()), src, int64_t(strip[0].size()), 203,
                             reinterpret_cast<uint8_t*>(ref.data()), p, 1, true);
      EXPECT_EQ(Inverted(dest, 203), page.rows[y]) << y;
      EXPECT_EQ(ref, dest);
    }
  }
}

TEST(CCITTDecoders, DamagedDataStaysInsideTheRow) {
  // Vertical codes that put a1 before the row or beyond it, and data that is
  // cut short, garbage or random.
  std::mt19937 rnd(7);
  for (int round = 0; round < 300; ++round) {
    int32_t width = 1 + int32_t(rnd() % 300);
    size_t n = rnd() % 64;
    std::vector<uint8_t> data(n);
    for (uint8_t& b : data) b = uint8_t(rnd());
    if (round % 3 == 0)
      for (uint8_t& b : data) b = uint8_t(b & 0x0F);  // many long zero runs
    const size_t rowBytes = size_t((width + 7) / 8);
    // Guard bytes around the row catch writes outside it.
    std::vector<uint8_t> dest(rowBytes + 8, 0xAB), ref(rowBytes + 8, 0xAB);
    std::fill(ref.begin() + 4, ref.begin() + 4 + long(rowBytes), uint8_t(rnd()));
    int32_t fo = 1 + int32_t(rnd() % 2);
    int64_t p = 0;
    for (int row = 0; row < 4; ++row) {
      int64_t q = VXCCITTDecode2DRow(dest.data() + 4, data.data(), int64_t(n), width, ref.data() + 4, p, fo, round % 2);
      EXPECT_GE(q, p);
      p = q;
      q = VXCCITTDecode1DRow(dest.data() + 4, data.data(), int64_t(n), width, p, fo);
      EXPECT_GE(q, p);
      p = q;
      VXCCITTDecodeMHRow(dest.data() + 4, data.data(), int64_t(n), width, fo);
    }
    for (int k = 0; k < 4; ++k) {
      ASSERT_EQ(dest[size_t(k)], 0xAB);
      ASSERT_EQ(dest[rowBytes + 4 + size_t(k)], 0xAB);
      ASSERT_EQ(ref[size_t(k)], 0xAB);
      ASSERT_EQ(ref[rowBytes + 4 + size_t(k)], 0xAB);
    }
  }
}

// A Group 4 strip of three 16-pixel rows whose first row opens with a
// horizontal code of two zero-length runs, H(0, 0). The next rows' codes
// (V0 V0 V0) count on the reference row's runs, zero-length ones included:
// b1 starts at 0, so those rows are 8 black pixels, not a copy of row 0.
TEST(CCITTDecoders, ZeroLengthRunsOfTheReferenceRowKeepTheirPlace) {
  const std::string bits = std::string("001" "00110101" "0000110111")  // H(0, 0)
                           + "001" "1100" "10" + "1"                    // H(5, 3), V0
                           + "111" + "111"                              // two rows of V0 V0 V0
                           + "000000000001" "000000000001";             // EOFB
  std::string strip;
  for (size_t k = 0; k < bits.size(); k += 8) {
    std::string byte = bits.substr(k, 8);
    byte.resize(8, '0');
    strip += char(std::stoi(byte, nullptr, 2));
  }
  const std::vector<std::string> want = {std::string("\x07\x00", 2), std::string("\xFF\x00", 2),
                                         std::string("\xFF\x00", 2)};
  const uint8_t* src = reinterpret_cast<const uint8_t*>(strip.data());
  std::string ref(2, char(0xFF));
  std::vector<int32_t> runs;
  int64_t bit = 0;
  for (size_t y = 0; y < want.size(); ++y) {
    std::string dest(2, '\0');
    bit = VXCCITTDecode2DRow(reinterpret_cast<uint8_t*>(dest.data()), src, int64_t(strip.size()), 16,
                             reinterpret_cast<uint8_t*>(ref.data()), bit, 1, false, &runs);
    EXPECT_EQ(Inverted(dest, 16), want[y]) << "row " << y;
  }

  // libtiff decodes the strip the same way.
  if (!HaveTool("tiffcp")) GTEST_SKIP() << "libtiff-tools is missing";
  TRuntimeScratchDir dir;
  RuntimeWriteFile(dir.File("g4.tif"), MakeTIFF(16, 3, 3, 4, 0, 1, {strip}));
  Shell("tiffcp -c none '" + dir.File("g4.tif") + "' '" + dir.File("raw.tif") + "' 2>/dev/null");
  TPage page;
  ASSERT_TRUE(ReadPage(RuntimeReadFile(dir.File("raw.tif")), page));
  EXPECT_EQ(Rows(page), want);  // WhiteIsZero: 1 is black
}
