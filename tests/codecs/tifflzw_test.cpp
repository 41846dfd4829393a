// The TIFF LZW coder: strips made by tiffcp decode to the uncompressed copy,
// the encoder's strips read back in tiffcmp and in the decoder, the code
// widths change early, Clear comes at 4094, rows hand their surplus on, and
// damaged strips decode without reading past their size.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "codecs/ccitt.h"
#include "codecs/tifflzw.h"
#include "core/settings.h"
#include "core/streams.h"
#include "tests/codecs/tiff_strips_util.h"

using namespace stripstest;

namespace {

// Rows of every strip, LineSize bytes each, through the settings' hook.
std::vector<std::string> DecodeStrips(const TPage& p, int64_t lineSize) {
  TTIFFLZWDecompFunc decode = VXGetGlobalSettings()->DefTIFF_LZWDECOMPFUNC();
  std::vector<std::string> rows;
  for (const std::string& strip : p.strips) {
    std::vector<uint8_t> data(strip.begin(), strip.end());
    void* id = nullptr;
    for (int64_t y = 0; y < p.rowsPerStrip && int64_t(rows.size()) < p.height; ++y) {
      uint8_t* row = decode(data.data(), int32_t(lineSize), id, int32_t(p.fillOrder), int64_t(data.size()));
      if (!row) break;
      std::string r(reinterpret_cast<const char*>(row), size_t(lineSize));
      if (p.predictor == 2)
        for (int64_t k = p.samples; k < lineSize; ++k) r[size_t(k)] = char(uint8_t(r[size_t(k)] + r[size_t(k - p.samples)]));
      rows.push_back(r);
    }
    decode(nullptr, 0, id, 1, 0);
    EXPECT_EQ(id, nullptr);
  }
  return rows;
}

std::string EncodeRows(const std::vector<std::string>& rows) {
  TTIFFLZWCompFunc encode = VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC();
  TMemoryStream s;
  void* id = nullptr;
  for (const std::string& r : rows) {
    std::vector<uint8_t> b(r.begin(), r.end());
    encode(b.data(), int32_t(b.size()), &s, id);
  }
  encode(nullptr, 0, &s, id);
  EXPECT_EQ(id, nullptr);
  return std::string(static_cast<const char*>(s.Memory()), size_t(s.Size()));
}

bool HaveTools() { return HaveTool("tiffcp") && HaveTool("tiffcmp") && HaveTool("pamtotiff") && HaveTool("pgmramp"); }

// An independent reader of the code stream with TIFF's early change: the
// codes with the width each was read at, and the table size at each Clear.
struct TCodeWalk {
  std::vector<int32_t> codes, widths, nextAtClear, widthAtClear;
  bool valid = true;
};

TCodeWalk WalkCodes(const std::string& data) {
  TCodeWalk w;
  int64_t bit = 0;
  int32_t width = 9, next = 258, prev = -1;
  auto read = [&]() -> int32_t {
    if (bit + width > int64_t(data.size()) * 8) return -1;
    int32_t v = 0;
    for (int32_t k = 0; k < width; ++k, ++bit)
      v = (v << 1) | ((uint8_t(data[size_t(bit / 8)]) >> (7 - bit % 8)) & 1);
    return v;
  };
  for (;;) {
    int32_t c = read();
    if (c < 0) {
      w.valid = false;
      break;
    }
    w.codes.push_back(c);
    w.widths.push_back(width);
    if (c == 257) break;
    if (c == 256) {
      w.nextAtClear.push_back(next);
      w.widthAtClear.push_back(width);
      width = 9;
      next = 258;
      prev = -1;
      continue;
    }
    if (c > next || (c == next && prev < 0)) {
      w.valid = false;
      break;
    }
    if (prev >= 0) ++next;
    prev = c;
    if (next == 511) width = 10;
    if (next == 1023) width = 11;
    if (next == 2047) width = 12;
  }
  return w;
}

}  // namespace

TEST(TIFFLZWCoder, InstalledInTheSettingsAtStartUp) {
  EXPECT_EQ(VXGetGlobalSettings()->DefTIFF_LZWDECOMPFUNC(), &VXTIFFLZWDecode);
  EXPECT_EQ(VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC(), &VXTIFFLZWEncode);
}

TEST(TIFFLZWCoder, TiffcpStripsDecodeToTheUncompressedCopy) {
  if (!HaveTools()) GTEST_SKIP() << "libtiff-tools or netpbm is missing";
  TRuntimeScratchDir dir;
  Shell("pgmramp -ellipse 97 61 2>/dev/null | pamtotiff > '" + dir.File("grey.tif") + "' 2>/dev/null");
  Shell("ppmpat -g2 -color rgb:ff/00/00,rgb:00/00/ff 83 45 2>/dev/null | pamtotiff -truecolor > '" +
        dir.File("rgb.tif") + "' 2>/dev/null");
  for (const char* src : {"grey.tif", "rgb.tif"}) {
    TPage plain;
    ASSERT_TRUE(ReadPage(RuntimeReadFile(dir.File(src)), plain)) << src;
    std::vector<std::string> want = Rows(plain);
    ASSERT_EQ(int64_t(want.size()), plain.height);
    const int64_t lineSize = plain.width * plain.samples;
    for (const char* comp : {"lzw", "lzw:2"}) {
      for (const char* order : {"msb2lsb", "lsb2msb"}) {
        for (const char* rows : {"-r 1", "-r 7", "-s"}) {
          SCOPED_TRACE(std::string(src) + " " + comp + " " + order + " " + rows);
          Shell(std::string("tiffcp -c ") + comp + " -f " + order + " " + rows + " '" + dir.File(src) + "' '" +
                dir.File("c.tif") + "' 2>/dev/null");
          TPage p;
          ASSERT_TRUE(ReadPage(RuntimeReadFile(dir.File("c.tif")), p));
          ASSERT_EQ(p.compression, 5);
          EXPECT_EQ(DecodeStrips(p, lineSize), want);
        }
      }
    }
  }
}

TEST(TIFFLZWCoder, EncoderStripsReadBackInTiffcmpAndTheDecoder) {
  if (!HaveTools()) GTEST_SKIP() << "libtiff-tools or netpbm is missing";
  TRuntimeScratchDir dir;
  Shell("pgmramp -ellipse 301 77 2>/dev/null | pamtotiff > '" + dir.File("src.tif") + "' 2>/dev/null");
  TPage plain;
  ASSERT_TRUE(ReadPage(RuntimeReadFile(dir.File("src.tif")), plain));
  std::vector<std::string> rows = Rows(plain);
  for (int32_t rps : {1, 10, 77}) {
    SCOPED_TRACE(rps);
    std::vector<std::string> strips;
    for (size_t y = 0; y < rows.size(); y += size_t(rps))
      strips.push_back(EncodeRows(std::vector<std::string>(rows.begin() + long(y),
                                                           rows.begin() + long(std::min(rows.size(), y + size_t(rps))))));
    std::string tif = MakeTIFF(plain.width, plain.height, rps, 5, uint16_t(plain.photometric), 1, strips, -1, 8, 1);
    RuntimeWriteFile(dir.File("e.tif"), tif);
    std::string diff = Shell("tiffcmp -t '" + dir.File("src.tif") + "' '" + dir.File("e.tif") + "' 2>&1; echo rc=$?");
    EXPECT_EQ(diff.find("Scanline"), std::string::npos) << diff;
    EXPECT_NE(diff.find("rc=0"), std::string::npos) << diff;
    TPage p;
    ASSERT_TRUE(ReadPage(tif, p));
    EXPECT_EQ(DecodeStrips(p, plain.width), rows);
  }
}

TEST(TIFFLZWCoder, EarlyWidthChangeAndClearAt4094) {
  std::mt19937 rnd(3);
  std::string row(20000, '\0');
  for (char& c : row) c = char(rnd());
  std::string data = EncodeRows({row});
  TCodeWalk w = WalkCodes(data);
  ASSERT_TRUE(w.valid);
  ASSERT_FALSE(w.codes.empty());
  EXPECT_EQ(w.codes.front(), 256);
  EXPECT_EQ(w.widths.front(), 9);
  EXPECT_EQ(w.codes.back(), 257);
  // Clears come when the table holds 4094 codes, at 12 bits, and 9-bit
  // literal codes follow.
  ASSERT_GE(w.nextAtClear.size(), 3u);  // the opening Clear and at least two more
  for (size_t k = 1; k < w.nextAtClear.size(); ++k) {
    EXPECT_EQ(w.nextAtClear[k], 4094);
    EXPECT_EQ(w.widthAtClear[k], 12);
  }
  for (size_t i = 1; i + 1 < w.codes.size(); ++i)
    if (w.codes[i] == 256 && i > 0) {
      EXPECT_EQ(w.widths[i + 1], 9);
      EXPECT_LT(w.codes[i + 1], 256);
    }
  // The first 10-bit code is the 255th code after the opening Clear (the
  // code written while the next free code was 511).
  size_t first10 = 0;
  while (first10 < w.widths.size() && w.widths[first10] == 9) ++first10;
  EXPECT_EQ(first10, 255u);
  // And the rows come back.
  TPage p;
  p.width = 20000;
  p.height = 1;
  p.rowsPerStrip = 1;
  p.strips = {data};
  EXPECT_EQ(DecodeStrips(p, 20000), std::vector<std::string>{row});
  // Fill order 2 data decode the same.
  std::string reversed = data;
  for (char& c : reversed) c = char(Reverse(uint8_t(c)));
  p.strips = {reversed};
  p.fillOrder = 2;
  EXPECT_EQ(DecodeStrips(p, 20000), std::vector<std::string>{row});
}

TEST(TIFFLZWCoder, SurplusCarriesOnAndLongStringsGrowTheBuffer) {
  // Strings of one repeated byte grow by one each: 600,000 zeros make
  // strings beyond 1,024 bytes, decoded into rows of 100 bytes.
  std::string zeros(600000, '\0');
  std::string data = EncodeRows({zeros.substr(0, 300000), zeros.substr(300000)});
  TPage p;
  p.width = 100;
  p.height = 6000;
  p.rowsPerStrip = 6000;
  p.strips = {data};
  std::vector<std::string> rows = DecodeStrips(p, 100);
  ASSERT_EQ(rows.size(), 6000u);
  for (const std::string& r : rows) ASSERT_EQ(r, std::string(100, '\0'));
  // Rows of varied data whose codes cross the row boundaries.
  std::mt19937 rnd(5);
  std::vector<std::string> src;
  for (int y = 0; y < 40; ++y) {
    std::string r(77, '\0');
    for (char& c : r) c = char(rnd() % 4);
    src.push_back(r);
  }
  TPage q;
  q.width = 77;
  q.height = 40;
  q.rowsPerStrip = 40;
  q.strips = {EncodeRows(src)};
  EXPECT_EQ(DecodeStrips(q, 77), src);
  // A strip of long rows, megabytes of output with many Clears: the decoder
  // drops what lies before the current row at a Clear and carries on.
  std::vector<std::string> wide;
  for (int y = 0; y < 60; ++y) {
    std::string r(30001, '\0');
    for (char& c : r) c = char(rnd() % (y % 3 == 0 ? 256 : 6));
    wide.push_back(r);
  }
  TPage w;
  w.width = 30001;
  w.height = 60;
  w.rowsPerStrip = 60;
  w.strips = {EncodeRows(wide)};
  EXPECT_EQ(DecodeStrips(w, 30001), wide);
}

TEST(TIFFLZWCoder, DamagedStripsDecodeWithinTheirSize) {
  std::mt19937 rnd(11);
  std::vector<std::string> src;
  for (int y = 0; y < 30; ++y) {
    std::string r(64, '\0');
    for (char& c : r) c = char(rnd() % 8);
    src.push_back(r);
  }
  const std::string good = EncodeRows(src);
  for (int round = 0; round < 400; ++round) {
    std::string bad = good;
    switch (round % 4) {
      case 0: bad.resize(size_t(rnd() % good.size())); break;          // cut short
      case 1: for (int k = 0; k < 50; ++k) bad += char(rnd()); break;  // garbage after it
      case 2: for (int k = 0; k < 5; ++k) bad[rnd() % bad.size()] = char(rnd()); break;
      default: for (char& c : bad) c = char(rnd()); break;
    }
    // The strip is copied into a block of exactly its size, so that a read
    // past it is caught by the sanitizers.
    std::unique_ptr<uint8_t[]> block(new uint8_t[std::max<size_t>(bad.size(), 1)]);
    std::memcpy(block.get(), bad.data(), bad.size());
    void* id = nullptr;
    for (int y = 0; y < 40; ++y) {
      uint8_t* row = VXTIFFLZWDecode(block.get(), 64, id, 1 + round % 2, int64_t(bad.size()));
      if (!row) break;
    }
    if (id) VXTIFFLZWDecode(nullptr, 0, id, 1, 0);
    EXPECT_EQ(id, nullptr);
  }
}
