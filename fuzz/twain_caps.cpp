// TWAIN capability containers as a source answers them: the first byte picks
// the container type, the rest is the container block, copied into a block
// of exactly its size. Every reader takes it whole, reading nothing outside
// the block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "acquire/twain_caps.h"
#include "core/containers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const uint16_t kConTypes[] = {TWON_ARRAY, TWON_ENUMERATION, TWON_ONEVALUE, TWON_RANGE, 0, 0xFFFF, 7, 2};
  const uint16_t conType = kConTypes[data[0] & 7];
  const size_t n = size - 1;
  std::unique_ptr<uint8_t[]> block(new uint8_t[n ? n : 1]);
  for (size_t i = 0; i < n; ++i) block[i] = data[1 + i];
  const uint8_t* p = n ? block.get() : nullptr;
  for (uint16_t cap : {ICAP_XRESOLUTION, ICAP_CONTRAST}) {
    TVXDoubleList d;
    if (VXTWReadFix32List(cap, conType, p, n, &d) && d.Count() < 0) std::abort();
  }
  TVXIntegerList l;
  if (VXTWReadUINT16List(conType, p, n, &l)) {
    for (int32_t i = 0; i < l.Count(); ++i)
      if (l.GetItem(i) < 0 || l.GetItem(i) > 0xFFFF) std::abort();
  }
  uint32_t item = 0;
  VXTWReadOneValue(conType, p, n, 2, item);
  VXTWReadOneValue(conType, p, n, 4, item);
  std::string text;
  if (VXTWReadString(p, n, text) && text.size() + 2 >= n + 1) std::abort();
  return 0;
}
