#pragma once
// Helpers of the CCITT and LZW coder tests: strips and tags pulled out of TIFF
// files, minimal TIFF files wrapped around strips, and the tools.
#include <cstdint>
#include <string>
#include <vector>

#include "core/streams.h"
#include "core/streamutils.h"
#include "io/tiffifd.h"
#include "tests/core/runtime_test_util.h"

namespace stripstest {

struct TPage {
  int64_t width = 0, height = 0, rowsPerStrip = 0, compression = 1, photometric = 0, fillOrder = 1;
  int64_t t4options = 0, t6options = 0, predictor = 1, samples = 1, bits = 1;
  std::vector<std::string> strips;  // the bytes of each strip
};

// Page 0 of a TIFF file's bytes, with its strips.
inline bool ReadPage(const std::string& bytes, TPage& page) {
  TVXMemStream s(bytes.data(), int64_t(bytes.size()));
  bool le = true, big = false;
  int64_t first = 0;
  int32_t posSize = 4;
  if (!VXReadTIFFHeader(&s, nullptr, le, first, posSize, big)) return false;
  TVXTIFFIFDReader r;
  r.Stream = &s;
  r.LittleEndian = le;
  r.IsBigTIFF = big;
  r.DataPosSize = posSize;
  int32_t n = 0;
  if (!r.ReadIFD(0, first, n)) return false;
  page.width = r.ReadInteger(256, 0, 0);
  page.height = r.ReadInteger(257, 0, 0);
  page.rowsPerStrip = r.ReadInteger(278, 0, page.height);
  page.compression = r.ReadInteger(259, 0, 1);
  page.photometric = r.ReadInteger(262, 0, 0);
  page.fillOrder = r.ReadInteger(266, 0, 1);
  page.t4options = r.ReadInteger(292, 0, 0);
  page.t6options = r.ReadInteger(293, 0, 0);
  page.predictor = r.ReadInteger(317, 0, 1);
  page.samples = r.ReadInteger(277, 0, 1);
  page.bits = r.ReadInteger(258, 0, 1);
  std::vector<int64_t> offs, counts;
  r.ReadArrayIntegers(offs, 273);
  r.ReadArrayIntegers(counts, 279);
  if (offs.size() != counts.size()) return false;
  for (size_t i = 0; i < offs.size(); ++i) page.strips.push_back(bytes.substr(size_t(offs[i]), size_t(counts[i])));
  return true;
}

// The rows of an uncompressed page, each strip's rows in turn.
inline std::vector<std::string> Rows(const TPage& p) {
  std::vector<std::string> rows;
  const size_t rowBytes = size_t((p.width * p.samples * p.bits + 7) / 8);
  for (const std::string& s : p.strips)
    for (size_t k = 0; k + rowBytes <= s.size() && int64_t(rows.size()) < p.height; k += rowBytes)
      rows.push_back(s.substr(k, rowBytes));
  return rows;
}

// A one-page little-endian TIFF around strips.
inline std::string MakeTIFF(int64_t width, int64_t height, int64_t rowsPerStrip, uint16_t compression,
                            uint16_t photometric, uint16_t fillOrder, const std::vector<std::string>& strips,
                            int64_t t4options = -1, uint16_t bits = 1, uint16_t samples = 1) {
  TMemoryStream s;
  bool aborting = false;
  s.Write("II*\0\0\0\0\0", 8);
  std::vector<int32_t> offs, counts;
  for (const std::string& st : strips) {
    VXStreamPadToWord(&s, aborting);
    offs.push_back(int32_t(s.Position()));
    counts.push_back(int32_t(st.size()));
    s.Write(st.data(), int64_t(st.size()));
  }
  TVXTIFFIFDWriter w;
  w.WriteSingleLong(256, uint32_t(width));
  w.WriteSingleLong(257, uint32_t(height));
  std::vector<uint16_t> bps(samples, bits);
  w.WriteMultiShort(&s, 258, aborting, bps);
  w.WriteSingleShort(259, compression);
  w.WriteSingleShort(262, photometric);
  w.WriteSingleShort(266, fillOrder);
  w.WriteMultiLongEx(&s, 273, aborting, int32_t(offs.size()), offs);
  w.WriteSingleShort(277, samples);
  w.WriteSingleLong(278, uint32_t(rowsPerStrip));
  w.WriteMultiLongEx(&s, 279, aborting, int32_t(counts.size()), counts);
  w.WriteSingleShort(284, 1);
  if (t4options >= 0) w.WriteSingleLong(292, uint32_t(t4options));
  w.ReorderTags();
  VXStreamPadToWord(&s, aborting);
  uint32_t dir = uint32_t(s.Position());
  uint8_t c[2] = {uint8_t(w.Count()), 0};
  s.Write(c, 2);
  for (const TTIFFTAG& t : w.Items) VXWriteTIFFTag(&s, t, true, aborting);
  s.Write("\0\0\0\0", 4);
  s.SetPosition(4);
  uint8_t d[4] = {uint8_t(dir), uint8_t(dir >> 8), uint8_t(dir >> 16), uint8_t(dir >> 24)};
  s.Write(d, 4);
  return std::string(static_cast<const char*>(s.Memory()), size_t(s.Size()));
}

inline std::string Shell(const std::string& c) { return RuntimeShell(c); }
inline bool HaveTool(const std::string& t) { return RuntimeHaveTool(t); }

inline uint8_t Reverse(uint8_t b) {
  uint8_t r = 0;
  for (int k = 0; k < 8; ++k)
    if (b & (1 << k)) r |= uint8_t(0x80 >> k);
  return r;
}

}  // namespace stripstest
