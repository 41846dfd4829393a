// Build step: writes the program's version block (VS_VERSIONINFO layout).
// Usage: mkversion OUT FILEVERSION PRODUCTVERSION KEY=VALUE...
#include "platform/win_version.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {
// "a.b.c.d" as the two 32-bit halves of the fixed info.
void ParseVersion(const std::string& Text, uint32_t& MS, uint32_t& LS) {
  unsigned p[4] = {0, 0, 0, 0};
  std::sscanf(Text.c_str(), "%u.%u.%u.%u", &p[0], &p[1], &p[2], &p[3]);
  MS = ((p[0] & 0xFFFF) << 16) | (p[1] & 0xFFFF);
  LS = ((p[2] & 0xFFFF) << 16) | (p[3] & 0xFFFF);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: mkversion OUT FILEVERSION PRODUCTVERSION KEY=VALUE...\n");
    return 2;
  }
  TVersionBlockContents contents;
  ParseVersion(argv[2], contents.Fixed.dwFileVersionMS, contents.Fixed.dwFileVersionLS);
  ParseVersion(argv[3], contents.Fixed.dwProductVersionMS, contents.Fixed.dwProductVersionLS);
  for (int i = 4; i < argc; ++i) {
    const std::string kv = argv[i];
    const auto eq = kv.find('=');
    if (eq == std::string::npos) continue;
    contents.Strings.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
  }
  const auto block = BuildVersionInfoBlock(contents);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
  return out ? 0 : 1;
}
