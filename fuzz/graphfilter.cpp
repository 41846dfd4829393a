// The user filter file of the 3x3 filter: header 1, 3, 3 and a 40-byte
// filter.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/bitmap.h"
#include "proc/filters.h"

namespace {

std::string ScratchFile() {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vx-fuzz-graphfilter-" + std::to_string(getpid()) + ".flt";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = ScratchFile();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  std::fclose(f);
  if (written) {
    TGraphFilter filter;
    if (VXLoadGraphFilter(file, filter)) {
      // Whatever the weights and divisor, the filter runs on a small image.
      TVXBitmap image(5, 4, vx24RGB);
      for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) image.SetPixels_vx24RGB(x, y, TRGB{uint8_t(40 * x), uint8_t(60 * y), 255});
      TProgressRec progress;
      VXApplyFilter3x3(&image, filter, 0, 0, 5, 4, progress);
    }
  }
  std::remove(file.c_str());
  return 0;
}
