// Base64 decoder: whatever it makes of the input encodes and decodes back to
// the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/streams.h"
#include "core/streamutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  TMemoryStream decoded;
  VXDecodeBase64(&in, &decoded);
  decoded.SetPosition(0);
  TMemoryStream encoded;
  VXEncodeBase64(&decoded, &encoded, 76);
  encoded.SetPosition(0);
  TMemoryStream again;
  VXDecodeBase64(&encoded, &again);
  if (again.Size() != decoded.Size() ||
      (decoded.Size() > 0 && std::memcmp(again.Memory(), decoded.Memory(), size_t(decoded.Size())) != 0))
    std::abort();
  return 0;
}
