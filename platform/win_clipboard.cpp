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

struct Registry {
  std::mutex lock;
  std::vector<std::string> keys;   // folded, for the look-up
  std::vector<std::string> names;  // as first registered
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

}  // namespace

uint32_t RegisterClipboardFormatW(const std::string& Name) {
  if (Name.empty()) return 0;
  Registry& r = TheRegistry();
  const std::string key = Folded(Name);
  std::lock_guard guard(r.lock);
  const auto it = std::find(r.keys.begin(), r.keys.end(), key);
  if (it != r.keys.end()) return 0xC000u + uint32_t(it - r.keys.begin());
  r.keys.push_back(key);
  r.names.push_back(Name);
  return 0xC000u + uint32_t(r.keys.size() - 1);
}

int GetClipboardFormatNameW(uint32_t Format, std::string& Name, int MaxCount) {
  Name.clear();
  if (Format < 0xC000u || MaxCount < 2) return 0;
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  const size_t i = Format - 0xC000u;
  if (i >= r.names.size()) return 0;
  Name = r.names[i].substr(0, size_t(MaxCount - 1));
  return int(Name.size());
}
