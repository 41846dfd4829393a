// ZoLib path helpers, file times and temporary file names.
#include "tool/zolib.h"

#include "core/textutils.h"
#include "platform/win_errors.h"

#include <chrono>
#include <ctime>
#include <random>
#include <unistd.h>

std::string AddPathDelimiter(const std::string& Path) {
  if (Path.empty() || Path.back() == '/') return Path;
  return Path + "/";
}

std::string JoinPath(const std::string& Dir, const std::string& Name) {
  if (!Name.empty()) return AddPathDelimiter(Dir) + Name;
  if (Dir.size() > 1 && Dir.back() == '/') return Dir.substr(0, Dir.size() - 1);
  return Dir;
}

bool DirExists(const std::string& Path) {
  const uint32_t a = GetFileAttributesW(Path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

double FileTimeToLocalDateTime(const FILETIME& Time) {
  return VXFileTimeToDateTime((static_cast<uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime);
}

double GetFileDateTime(const std::string& Path, int Which) {
  if (Which < 1 || Which > 3) return 0;
  WIN32_FIND_DATAW d;
  HFIND h = FindFirstFileW(Path, d);
  if (h == INVALID_FIND_HANDLE) return 0;
  FindClose(h);
  const FILETIME& t = Which == 1 ? d.ftCreationTime : (Which == 2 ? d.ftLastAccessTime : d.ftLastWriteTime);
  return FileTimeToLocalDateTime(t);
}

std::string GetTempDir() { return JoinPath(GetTempPathW(), ""); }

std::string MakeTempFileName(const std::string& Dir, const std::string& Prefix) {
  const std::string folder = DirExists(Dir) ? Dir : GetTempDir();
  const std::u32string p = Utf8ToUtf32(Prefix);
  const std::string prefix = p.size() < 3 ? std::string("TMP") : Utf32ToUtf8(p.substr(0, 3));
  static std::mt19937 rng(static_cast<uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count() ^ (static_cast<int64_t>(getpid()) << 16)));
  std::uniform_int_distribution<int> dist(1, 65535);
  static const char kHex[] = "0123456789ABCDEF";
  // Far more tries than names: a full folder ends in an error, not in an endless loop.
  for (int tries = 0; tries < 1 << 20; ++tries) {
    const int n = dist(rng);
    std::string name = prefix + "_";
    for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(n >> shift) & 0xF];
    name += ".TMP";
    const std::string path = JoinPath(folder, name);
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return path;
  }
  throw EInOutError("No free temporary file name in " + folder);
}
