// Dictionary parser on JSON text (the seeds are JSON; the parser picks the
// language by the first non-blank character), and the dump of what it read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXDictionary dict(64);
  dict.Parse(std::string(reinterpret_cast<const char*>(data), size));
  const std::string dump = dict.Dump();
  TVXDictionary again(64);
  again.Parse(dump);
  return 0;
}
