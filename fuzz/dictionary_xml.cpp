// Dictionary parser on XML text, and the dump of what it read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = "<" + std::string(reinterpret_cast<const char*>(data), size);
  TVXDictionary dict(64);
  dict.Parse(text);
  (void)dict.Dump();
  return 0;
}
