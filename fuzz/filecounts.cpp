// File counting: the bytes as a file of each extension whose counter opens
// it (TIFF, GIF, ICO, DCX, PDF, DICOM, HD Photo, AVI), counted through the
// registry and through the format's own counter.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_library.h"
#include "io/filecounts.h"

namespace {

std::string Scratch(const char* Extension) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vx-fuzz-count-" + std::to_string(getpid()) + Extension;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  // The bytes are written once and the file renamed to each extension.
  std::string file = Scratch(".tif");
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  std::fclose(f);
  for (const char* ext : {".tif", ".gif", ".ico", ".dcx", ".pdf", ".dcm", ".wdp", ".avi"}) {
    const std::string named = Scratch(ext);
    if (named != file) {
      if (std::rename(file.c_str(), named.c_str()) != 0) break;
      file = named;
    }
    if (!written) continue;
    try {
      VXGetFileImageCount(file);
      const std::string e = ext;
      if (e == ".tif") VXGetTIFFFilePageCount(file);
      if (e == ".gif") VXGetGIFFileImageCount(file);
      if (e == ".ico") VXGetICOFileImageCount(file);
      if (e == ".dcx") VXGetDCXFileImageCount(file);
    } catch (const std::exception&) {
      // A counter may refuse the file by raising.
    }
  }
  std::remove(file.c_str());
  return 0;
}
