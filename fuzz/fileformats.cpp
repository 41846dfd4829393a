// Content detection and reading only the parameters of an image: whatever the
// bytes, detection names a type without moving the stream, and the
// parameters-only readers of the detected type leave the target bitmap alone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/bitmap.h"
#include "core/startup.h"
#include "core/streams.h"
#include "fuzz/fuzz_library.h"
#include "io/fileformats.h"
#include "io/probes.h"
#include "io/vexlaneio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The codecs register with the I/O component when the library starts.
  VXFuzzStartLibrary(false);
  // At the start and one byte in, so that the total size and the bytes left differ.
  for (size_t start : {size_t(0), size_t(1)}) {
    if (start > size) break;
    TVXMemStream in(data, int64_t(size));
    in.SetPosition(int64_t(start));
    (void)VXFindStreamFormat(&in);
    if (in.Position() != int64_t(start)) std::abort();
    (void)VXFindJpegSOI(&in, true);
    (void)VXIsPXMStream(&in);
    if (in.Position() != int64_t(start)) std::abort();

    TVXBitmap target;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&target);
    io.ParamsFromStream(&in);
    if (!target.IsEmpty()) std::abort();
  }
  return 0;
}
