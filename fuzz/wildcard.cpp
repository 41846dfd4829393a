// Wildcard matching: the input is a mask and a text separated by the first
// NUL; both forms (extended and simple), with and without case.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tool/zolib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* p = size ? reinterpret_cast<const char*>(data) : "";
  const void* nul = std::memchr(p, 0, size);
  const size_t maskLen = nul ? size_t(static_cast<const char*>(nul) - p) : size;
  const std::string mask(p, maskLen);
  const std::string text = nul ? std::string(p + maskLen + 1, size - maskLen - 1) : std::string("icon.png");
  for (bool simple : {false, true}) {
    for (bool ignoreCase : {false, true}) {
      try {
        (void)WildcardMatch(text, mask, ignoreCase, simple);
      } catch (const std::invalid_argument&) {
        // an unclosed set or a dangling escape
      }
    }
  }
  if (!mask.empty() && mask[0] == '[') {
    try {
      (void)MaskCharSetMatch(mask, U'a');
    } catch (const std::invalid_argument&) {
    }
  }
  return 0;
}
