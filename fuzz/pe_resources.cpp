// Windows module resources: the input is opened as a module (a data file) and
// every type, name, group and frame is walked, every buffer read whole.
// Seeds: the DLLs of tests/data/peres (res.rc, generate.sh).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/resextract.h"

namespace {

std::string ScratchFile() {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vx-fuzz-pe-" + std::to_string(getpid()) + ".dll";
}

// Every byte of a buffer, so that the sanitizers see a read outside it.
// Get asks for the buffer first and only then is its length read.
template <class TGet>
unsigned Touch(TGet&& Get) {
  uint32_t length = 0;
  const auto* p = static_cast<const volatile uint8_t*>(Get(length));
  unsigned sum = 0;
  for (uint32_t i = 0; p != nullptr && i < length; ++i) sum += p[i];
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = ScratchFile();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  std::fclose(f);
  if (written) {
    TVXResourceExtractor x(file);
    unsigned sum = 0;
    for (int32_t t = 0; t < x.TypesCount(); ++t) {
      x.FriendlyTypes(t);
      for (int32_t n = 0; n < x.NamesCount(t); ++n) {
        sum += Touch([&](uint32_t& len) { return x.GetBuffer(t, n, len); });
        sum += Touch([&](uint32_t& len) { return x.GetBuffer(x.Types(t), x.Names(t, n), len); });
        // The group search is a walk over every group: a few names suffice.
        int32_t gt = -1, gi = -1, gf = -1;
        if (n < 4) x.GetGroupAndFrame(t, n, gt, gi, gf);
        const int32_t frames = x.GroupCountFrames(t, n);
        for (int32_t fr = -1; fr <= frames; ++fr) {
          sum += unsigned(x.GroupFrameWidth(t, n, fr) + x.GroupFrameHeight(t, n, fr) + x.GroupFrameDepth(t, n, fr));
          x.GroupFrameName(t, n, fr);
          sum += Touch([&](uint32_t& len) { return x.GetFrameBuffer(t, n, fr, len); });
          sum += Touch([&](uint32_t& len) { return x.GetBuffer(x.GetResourceBookmark(t, n, fr), len); });
        }
      }
    }
    (void)sum;
  }
  std::remove(file.c_str());
  return 0;
}
