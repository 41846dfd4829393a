// SANE's test scanner for the acquisition tests: a test runs in a child
// process of the test program (SANE is bound once per process and reads its
// configuration then) with SANE_CONFIG_DIR at a folder of the test tree, and
// scanimage's pages are the oracle.
#pragma once
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace {

namespace fs = std::filesystem;

inline const char* const kChildVar = "VX_SANE_TEST_CHILD";

inline bool InChild() { return std::getenv(kChildVar) != nullptr; }

inline std::string ConfigDir(const char* Name) { return std::string(VX_TEST_DATA_DIR) + "/sane/" + Name; }

inline std::string SelfPath() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

inline bool HaveProgram(const char* Name) {
  return std::system(("command -v " + std::string(Name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs this test in a child process with SANE configured from the folder;
// false in the child itself, which then runs the test's body.
inline bool RanInChild(const char* Config = "with-test", const std::string& Env = "", int Seconds = 120) {
  if (InChild()) return false;
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
  // SANE's back ends leave a little memory behind at sane_exit, freed by a
  // module that is unloaded by then (the leak checker of sanitizer builds
  // cannot tell whose it is): the children skip leak checking.
  const std::string cmd = "timeout -k 5 " + std::to_string(Seconds) + " env " + kChildVar +
                          "=1 LSAN_OPTIONS=detect_leaks=0 SANE_CONFIG_DIR='" +
                          ConfigDir(Config) + "' " + Env + " '" + SelfPath() + "' --gtest_filter='" + suite + "." +
                          name + "' >'" + (fs::temp_directory_path() / ("vxsane-" + name + ".log")).string() + "' 2>&1";
  const int rc = std::system(cmd.c_str());
  std::ifstream log(fs::temp_directory_path() / ("vxsane-" + name + ".log"));
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(rc, 0) << (WEXITSTATUS(rc) == 124 ? "the child ran out of time\n" : "") << text.str();
  return true;
}

// A picture as scanimage writes it (PNM: P4, P5 or P6, 8 or 16-bit).
struct TPnm {
  std::string Magic;
  int32_t W = 0, H = 0, MaxVal = 1;
  std::vector<uint8_t> Data;
  size_t Stride = 0;
  size_t RowBytes() const {
    if (Magic == "P4") return size_t(W + 7) / 8;
    return size_t(W) * (Magic == "P6" ? 3 : 1) * (MaxVal > 255 ? 2 : 1);
  }
};

inline bool ReadPnm(const std::string& File, TPnm& p) {
  std::ifstream f(File, std::ios::binary);
  if (!f) return false;
  auto token = [&f]() {  // skips blanks and comments
    std::string t;
    int c;
    while ((c = f.get()) != EOF) {
      if (c == '#') {
        while ((c = f.get()) != EOF && c != '\n') {
        }
      } else if (std::isspace(c)) {
        if (!t.empty()) break;
      } else {
        t += char(c);
      }
    }
    return t;
  };
  p.Magic = token();
  p.W = std::atoi(token().c_str());
  p.H = std::atoi(token().c_str());
  if (p.Magic != "P4") p.MaxVal = std::atoi(token().c_str());
  p.Data.assign(std::istreambuf_iterator<char>(f), {});
  if (p.W <= 0 || p.H <= 0 || p.Data.size() < p.RowBytes() * size_t(p.H)) return false;
  // scanimage writes the scanner's whole lines, the pixels a line lost at its
  // end included (the header gives the pixels per line).
  p.Stride = p.Data.size() / size_t(p.H);
  return true;
}

// scanimage's page for the device and options, into Folder (a --batch when
// Batch); the pages' file names in order.
inline std::vector<std::string> Oracle(const std::string& Options, const std::string& Folder, bool Batch = false) {
  fs::create_directories(Folder);
  const std::string out = Batch ? " --batch='" + Folder + "/page%d.pnm'" : " >'" + Folder + "/page.pnm'";
  const std::string cmd = "scanimage -d test:0 --format=pnm " + Options + out + " 2>/dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::vector<std::string> pages;
  if (!Batch) return {Folder + "/page.pnm"};
  for (int i = 1; fs::exists(Folder + "/page" + std::to_string(i) + ".pnm"); ++i)
    pages.push_back(Folder + "/page" + std::to_string(i) + ".pnm");
  return pages;
}

// The bitmap holds the oracle's pixels: 1-bit as 1-bit (PNM's 1 is black),
// grey and colour as 24-bit, or, when Native16, 16-bit grey samples whole.
inline void ExpectSame(const TPnm& p, const TVXBitmap& b, bool Native16 = false) {
  ASSERT_EQ(b.Width(), p.W);
  ASSERT_EQ(b.Height(), p.H);
  const size_t rb = p.Stride;
  const bool wide = p.MaxVal > 255;
  int bad = 0;
  for (int32_t y = 0; y < p.H && bad < 3; ++y) {
    const uint8_t* s = p.Data.data() + size_t(y) * rb;
    const auto* d = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < p.W && bad < 3; ++x) {
      std::vector<int> want, got;
      if (p.Magic == "P4") {
        ASSERT_EQ(b.PixelFormat(), vx1g);
        want = {((s[x / 8] >> (7 - x % 8)) & 1) ^ 1};
        got = {(d[x / 8] >> (7 - x % 8)) & 1};
      } else if (Native16) {
        ASSERT_EQ(b.PixelFormat(), vx16g);
        uint16_t g;
        std::memcpy(&g, d + 2 * x, 2);
        want = {s[2 * x] << 8 | s[2 * x + 1]};
        got = {g};
      } else {
        ASSERT_EQ(b.PixelFormat(), vx24RGB);
        const size_t k = wide ? 2 : 1;
        if (p.Magic == "P5")
          want = {s[k * x], s[k * x], s[k * x]};
        else
          want = {s[k * (3 * x + 2)], s[k * (3 * x + 1)], s[k * 3 * x]};
        got = {d[3 * x], d[3 * x + 1], d[3 * x + 2]};
      }
      if (want != got) {
        ++bad;
        std::string w, g;
        for (int v : want) w += " " + std::to_string(v);
        for (int v : got) g += " " + std::to_string(v);
        ADD_FAILURE() << "pixel " << x << "," << y << " is" << g << ", not" << w;
      }
    }
  }
}

}  // namespace
