// The split of a download address: whatever the text, the parts stay within
// it, the path starts with "/", the host is a plain name, and joining the
// parts again splits to the same parts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "io/urlload.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  TVXURLParts parts;
  if (!VXSplitURL(url, parts)) return 0;
  Check(!parts.Host.empty() && parts.Host.size() < size);
  Check(!parts.ObjectPath.empty() && parts.ObjectPath[0] == '/');
  Check(parts.Port >= 0 && parts.Port <= 1000000);
  static const char* const kSchemes[] = {"http://", "https://", "ftp://"};
  std::string again = kSchemes[parts.Service];
  if (!parts.UserName.empty() || !parts.Password.empty())
    again += parts.UserName + ":" + parts.Password + "@";
  again += parts.Host + ":" + std::to_string(parts.Port) + parts.ObjectPath;
  TVXURLParts second;
  Check(VXSplitURL(again, second));
  Check(second.Host == parts.Host && second.ObjectPath == parts.ObjectPath && second.Service == parts.Service);
  return 0;
}
