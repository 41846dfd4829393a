// Replays every seed and every past finding of fuzz/ (any target's) through
// every fuzz target: a reader must take any input without crashing, and under
// the sanitizer build without reading or writing outside its buffers. No
// input may take longer than the fuzzer's own time-out allows: the seeds
// include small inputs that once cost minutes (nested or shared structures,
// declared sizes far beyond their data).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define VX_FUZZ_TARGET(id, name) extern "C" int VXFuzzEntry_##id(const uint8_t* data, size_t size);
#include "fuzz_targets.inc"
#undef VX_FUZZ_TARGET

namespace {

namespace fs = std::filesystem;

struct TFuzzTarget {
  const char* Name;
  int (*Entry)(const uint8_t*, size_t);
};

const TFuzzTarget kTargets[] = {
#define VX_FUZZ_TARGET(id, name) {name, &VXFuzzEntry_##id},
#include "fuzz_targets.inc"
#undef VX_FUZZ_TARGET
};

void PrintTo(const TFuzzTarget& Target, std::ostream* os) { *os << Target.Name; }

const fs::path kFuzzDir = VX_FUZZ_DIR;

std::vector<fs::path> FilesUnder(const fs::path& Dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(Dir, ec))
    if (e.is_regular_file() && e.path().filename().string()[0] != '.') out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> ReadAll(const fs::path& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class FuzzReplay : public ::testing::TestWithParam<TFuzzTarget> {};

TEST_P(FuzzReplay, HasSeeds) {
  EXPECT_FALSE(FilesUnder(kFuzzDir / "seeds" / GetParam().Name).empty())
      << "fuzz/seeds/" << GetParam().Name << "/ holds no seed";
}

TEST_P(FuzzReplay, TakesEverySeedAndFinding) {
  std::vector<fs::path> files = FilesUnder(kFuzzDir / "seeds");
  const auto findings = FilesUnder(kFuzzDir / "regressions");
  files.insert(files.end(), findings.begin(), findings.end());
  ASSERT_FALSE(files.empty());
  static const uint8_t kNothing[1] = {0};
  EXPECT_EQ(GetParam().Entry(kNothing, 0), 0) << "empty input";
  // Far above what any input needs, even under the sanitizers, and far
  // below what the costly inputs took before their readers were mended.
  constexpr double kMostSeconds = 30;
  for (const auto& f : files) {
    SCOPED_TRACE(f.string());
    const std::vector<uint8_t> data = ReadAll(f);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetParam().Entry(data.data(), data.size()), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), kMostSeconds);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<TFuzzTarget>& info) {
                           std::string n = info.param.Name;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
