// AVI reader: the bytes as a file opened by the I/O component, whose first
// 64 frames (and the one past the end) are loaded.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/settings.h"
#include "core/startup.h"
#include "fuzz/fuzz_library.h"
#include "io/vexlaneio.h"

namespace {

// The input as a file: the AVI layer reads files by name.
std::string InputFile() {
  static const std::string name = [] {
    const char* t = std::getenv("TMPDIR");
    return std::string(t && *t ? t : "/tmp") + "/vxfuzz-avi-" + std::to_string(getpid()) + ".avi";
  }();
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  const std::string name = InputFile();
  if (FILE* f = std::fopen(name.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  TVexlaneIO io;
  const int32_t frames = io.OpenAVIFile(name);
  for (int32_t k = 0; k < frames && k < 64; ++k) io.LoadFromAVI(k);
  io.LoadFromAVI(frames);
  io.CloseAVIFile();
  std::remove(name.c_str());
  return 0;
}
