// PDF page counter: the count of the page-tree root, read from the start of
// the stream whatever its position, which it restores.
#include <cstddef>
#include <cstdint>

#include "codecs/pdf_objects.h"
#include "core/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  in.Seek(int64_t(size / 2), soBeginning);
  const int32_t pages = VXGetPDFPageCount(&in);
  if (pages < 0 || in.Position() != int64_t(size / 2)) __builtin_trap();
  return 0;
}
