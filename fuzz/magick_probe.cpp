// The ImageMagick plug-in's content probe on any input, for each of its file
// types: it reads at most 8192 bytes, puts the position back and never
// crashes. (ImageMagick itself is not fuzzed here; without its libraries the
// probe answers false at once.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/streams.h"
#include "formats/magick_plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  for (const auto& format : TVXMiscPluginsImageMagick::Formats()) {
    in.SetPosition(int64_t(size / 3));
    TVXMiscPluginsImageMagick::TryImageStream(&in, format.typ);
    if (in.Position() != int64_t(size / 3)) std::abort();
    in.SetPosition(0);
    TVXMiscPluginsImageMagick::TryImageStream(&in, format.typ);
    if (in.Position() != 0) std::abort();
  }
  return 0;
}
