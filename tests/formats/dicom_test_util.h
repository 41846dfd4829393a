// Helpers of the DICOM tests: the oracle script (pydicom, numpy, dcmtk) and
// samples as it writes them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../codecs/jpeg_test_util.h"
#include "core/bitmap.h"
#include "tests/core/runtime_test_util.h"

namespace dicomtest {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::Shell;

inline const std::string kPython = "/usr/bin/python3";
inline const std::string kOracle = std::string(VX_SOURCE_DIR) + "/tests/formats/dicom_oracle.py";
inline const std::string kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

inline bool HaveOracles() {
  return HaveTool(kPython) && HaveTool("/usr/bin/dcmconv") && HaveTool("/usr/bin/dcmdump") &&
         Shell(kPython + " -c 'import pydicom, numpy'") == 0;
}
#define REQUIRE_ORACLES() \
  if (!HaveOracles()) GTEST_SKIP() << "dcmtk, pydicom or numpy missing"

// Standard output of a shell command.
inline std::string Capture(const std::string& Command) { return RuntimeShell(Command); }

// Samples as the oracle writes them.
struct TSamples {
  int W = 0, H = 0, Samples = 0, Bytes = 0;
  std::vector<uint8_t> Data;
  uint32_t At(int x, int y, int c) const {
    const size_t i = (size_t(y) * W + x) * Samples + c;
    return Bytes == 2 ? uint32_t(Data[2 * i] | (Data[2 * i + 1] << 8)) : Data[i];
  }
};

inline TSamples ReadSamples(const std::string& Path) {
  TSamples s;
  const std::vector<uint8_t> d = ReadFile(Path);
  const auto nl = std::find(d.begin(), d.end(), uint8_t('\n'));
  if (nl == d.end()) return s;
  std::istringstream(std::string(d.begin(), nl)) >> s.W >> s.H >> s.Samples >> s.Bytes;
  s.Data.assign(nl + 1, d.end());
  return s;
}

// The bitmap's sample (x, y, c) in the oracle's order (red first).
inline uint32_t Sample(TVXBitmap& B, int x, int y, int c) {
  const uint8_t* row = static_cast<const uint8_t*>(B.ScanLine(y));
  switch (B.PixelFormat()) {
    case vx8g: return row[x];
    case vx16g: return reinterpret_cast<const uint16_t*>(row)[x];
    case vx24RGB: return row[x * 3 + (2 - c)];
    case vx48RGB: return reinterpret_cast<const uint16_t*>(row)[x * 3 + c];
    default: return 0xFFFFFFFF;
  }
}

}  // namespace dicomtest
