#include "platform/win_clipboard.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

namespace {

std::string Folded(const std::string& s) {
  std::string r = s;
  std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return r;
}

}  // namespace

uint32_t RegisterClipboardFormatW(const std::string& Name) {
  if (Name.empty()) return 0;
  static std::mutex lock;
  static std::vector<std::string> names;
  const std::string key = Folded(Name);
  std::lock_guard guard(lock);
  const auto it = std::find(names.begin(), names.end(), key);
  if (it != names.end()) return 0xC000u + uint32_t(it - names.begin());
  names.push_back(key);
  return 0xC000u + uint32_t(names.size() - 1);
}
