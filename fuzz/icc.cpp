// Colour profiles: read from a block and from the stream forms.
#include <climits>
#include <cstddef>
#include <cstdint>

#include "core/icc.h"
#include "core/streams.h"
#include "core/vxdefs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > size_t(INT32_MAX)) return 0;
  TVXICC fromBlock;
  fromBlock.LoadFromBuffer(data, int32_t(size));
  TMemoryStream out;
  fromBlock.SaveToStream(&out, false);
  // The stream form refuses a length that the stream does not hold.
  TVXMemStream in(data, int64_t(size));
  TVXICC fromStream;
  try {
    fromStream.LoadFromStream(&in, false);
  } catch (const EVXException&) {
  }
  return 0;
}
