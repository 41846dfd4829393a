// The I/O component's loads from text and modules, and its stepping through
// the images of a file. The first byte chooses: 0, the rest as a Windows
// module whose resources (the first of each of its first three types) are
// loaded as images; 1, as Base64 text; 2, as a multi-image file (GIF, TIFF
// or ICO, as its bytes say) stepped through first, next, last and prior.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/bitmap.h"
#include "core/resextract.h"
#include "core/streams.h"
#include "fuzz_library.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

std::string Scratch(const char* Extension) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vx-fuzz-text-" + std::to_string(getpid()) + Extension;
}

bool Write(const std::string& File, const uint8_t* Data, size_t Size) {
  FILE* f = std::fopen(File.c_str(), "wb");
  if (!f) return false;
  const bool written = Size == 0 || std::fwrite(Data, 1, Size, f) == Size;
  std::fclose(f);
  return written;
}

const char* MultiImageExtension(const uint8_t* Data, size_t Size) {
  if (Size >= 3 && Data[0] == 'G' && Data[1] == 'I' && Data[2] == 'F') return ".gif";
  if (Size >= 2 && Data[0] == 0 && Data[1] == 0) return ".ico";
  return ".tif";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The loads fill a canvas of the size a file declares: small frames.
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  if (size < 1) return 0;
  const uint8_t way = data[0] % 3;
  ++data;
  --size;
  TVXBitmap bmp;
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&bmp);
  if (way == 1) {
    TVXMemStream in(data, int64_t(size));
    try {
      io.LoadFromText(&in, vxtfBase64);
    } catch (const std::exception&) {
      // Text that is no image may raise as a load of bad data does.
    }
    return 0;
  }
  const std::string file = Scratch(way == 0 ? ".dll" : MultiImageExtension(data, size));
  if (Write(file, data, size)) {
    try {
      if (way == 0) {
        TVXResourceExtractor x(file);
        // Each load reads the module again: the first resource of each of
        // the first types only, so that an input runs in well under 5 ms.
        for (int32_t t = 0; t < x.TypesCount() && t < 3; ++t)
          if (x.NamesCount(t) > 0) io.LoadFromResource(file, x.Types(t), x.Names(t, 0), 0);
      } else {
        io.Seek(vxioSeekFirst, file);
        for (TVXIOSeekDestination d : {vxioSeekNext, vxioSeekLast, vxioSeekPrior}) io.Seek(d);
      }
    } catch (const std::exception&) {
      // A load of damaged data may raise.
    }
  }
  std::remove(file.c_str());
  return 0;
}
