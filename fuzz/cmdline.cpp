// The command line: arguments (one a line) read into run options, and each
// image pattern's file mask listed against a small folder of fixed names.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/textutils.h"
#include "platform/win_files.h"
#include "tool/tarvello_main.h"
#include "tool/zolib.h"

namespace {

const char* const kNames[] = {"icon.png", "Icon.PNG", "a b.png", "x.9.png", ".hidden.png", "[set].png",
                              "n\xC3\xA4me.png"};
std::string gFolder;

void RemoveListingFolder() {
  for (const char* name : kNames) unlink((gFolder + "/" + name).c_str());
  rmdir(gFolder.c_str());
}

// A folder with a few names that masks can match, made once per process and
// removed at its end.
const std::string& ListingFolder() {
  static const bool made = [] {
    std::string tmpl = VXGetSystemTempPath() + "vxfuzz-cmdline-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) return false;
    gFolder = tmpl;
    for (const char* name : kNames) std::ofstream(gFolder + "/" + name) << "x";
    std::atexit(RemoveListingFolder);
    return true;
  }();
  (void)made;
  return gFolder;
}

// Standard output goes nowhere while the arguments are read (usage texts).
struct QuietStdout {
  int saved = -1;
  QuietStdout() {
    std::fflush(stdout);
    saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      close(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved >= 0) {
      dup2(saved, 1);
      close(saved);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string cur;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      args.push_back(cur);
      cur.clear();
    } else {
      cur += char(data[i]);
    }
  }
  if (!cur.empty()) args.push_back(cur);
  // "/out" creates folders: it is taken out, the output folder is given.
  std::vector<std::string> safe{"/out:" + ListingFolder()};
  for (const auto& a : args)
    if (!StartsWithText(TextBefore(a, ":"), "/out", true) || TextBefore(a, ":").size() != 4) safe.push_back(a);
  TRunOptions options;
  {
    QuietStdout quiet;
    (void)ReadArguments(safe, options);
  }
  for (const auto& pattern : options.Patterns) {
    const std::string mask = ExtractFileName(pattern);
    (void)GetFileList(JoinPath(ListingFolder(), mask), false, false, true, false, 0, 0);
  }
  return 0;
}
