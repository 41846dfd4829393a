#pragma once
// Runs a numpy snippet as the oracle of a processing test.
//
// The inputs are written as raw files; the snippet sees them through
// load(i, dtype, shape) and hands its result to save(array), which stores the
// raw bytes the test reads back. Debian's python3-numpy is called as
// /usr/bin/python3 (another python3 on the PATH may lack numpy).

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../core/runtime_test_util.h"
#include "core/bitmap.h"

namespace numpy_oracle {

inline std::string Shell(const std::string& cmd) { return RuntimeShell(cmd); }

inline bool Available() {
  static const bool ok = Shell("/usr/bin/python3 -c 'import numpy; print(1)' 2>/dev/null") == "1\n";
  return ok;
}

// The result's bytes; fails the test (and returns empty) when the snippet
// does not run.
inline std::string Run(const std::string& snippet, const std::vector<std::string>& inputs) {
  const char* t = getenv("TMPDIR");
  std::string tmpl = std::string(t && *t ? t : "/tmp") + "/vxnumpy-XXXXXX";
  if (!mkdtemp(tmpl.data())) {
    ADD_FAILURE() << "no scratch folder";
    return {};
  }
  const std::string dir = tmpl + "/";
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::ofstream f(dir + "a" + std::to_string(i), std::ios::binary);
    f.write(inputs[i].data(), std::streamsize(inputs[i].size()));
  }
  {
    std::ofstream f(dir + "script.py");
    f << "import numpy as np, sys\n"
         "d = sys.argv[1]\n"
         "def load(i, dtype, shape):\n"
         "    return np.fromfile(d + '/a%d' % i, dtype=dtype).reshape(shape)\n"
         "def save(a):\n"
         "    np.ascontiguousarray(a).tofile(d + '/out')\n"
      << snippet << "\n";
  }
  const std::string err = Shell("/usr/bin/python3 " + dir + "script.py " + dir + " 2>&1");
  std::ifstream f(dir + "out", std::ios::binary);
  std::string out((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (!f.is_open()) ADD_FAILURE() << "numpy snippet failed: " << err;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return out;
}

// The pixel bytes of a bitmap, rows top to bottom without padding.
inline std::string Pixels(TVXBitmap* b) {
  const size_t bytes = (size_t(b->Width()) * size_t(b->BitCount()) + 7) / 8;
  std::string out;
  for (int32_t y = 0; y < b->Height(); ++y) out.append(static_cast<const char*>(b->ScanLine(y)), bytes);
  return out;
}

inline void SetPixels(TVXBitmap* b, const std::string& data) {
  const size_t bytes = (size_t(b->Width()) * size_t(b->BitCount()) + 7) / 8;
  ASSERT_EQ(data.size(), bytes * size_t(b->Height()));
  for (int32_t y = 0; y < b->Height(); ++y) std::memcpy(b->ScanLine(y), data.data() + bytes * size_t(y), bytes);
}

}  // namespace numpy_oracle

#define SKIP_WITHOUT_NUMPY()                                                                  \
  do {                                                                                        \
    if (!numpy_oracle::Available())                                                          \
      GTEST_SKIP() << "/usr/bin/python3 with numpy (Debian python3-numpy) is not installed"; \
  } while (0)
