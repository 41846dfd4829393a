#include "platform/win_sysdir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

struct TSysDir {
  std::mutex M;
  std::string Chosen;            // set by VXSetWindowsDirectory
  std::string Default;           // made on first use
  std::set<std::string> Files;   // names the default folder holds
};

TSysDir& S() {
  static auto* s = new TSysDir();
  return *s;
}

void TouchFile(const std::string& Folder, const std::string& Name) {
  const std::string path = Folder + "/" + Name;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

void RemoveDefault() {
  TSysDir& s = S();
  std::lock_guard<std::mutex> l(s.M);
  if (s.Default.empty()) return;
  for (const std::string& n : s.Files) ::unlink((s.Default + "/" + n).c_str());
  ::rmdir(s.Default.c_str());
  s.Default.clear();
}

// Under the lock.
bool MakeDefault(TSysDir& s) {
  if (!s.Default.empty()) return true;
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string templ = base + "/vxwindows-XXXXXX";
  if (!::mkdtemp(templ.data())) return false;
  s.Default = templ;
  for (const std::string& n : s.Files) TouchFile(s.Default, n);
  static const bool cleanup = (std::atexit(&RemoveDefault), true);
  (void)cleanup;
  return true;
}

}  // namespace

uint32_t GetWindowsDirectoryA(char* lpBuffer, uint32_t uSize) {
  TSysDir& s = S();
  std::lock_guard<std::mutex> l(s.M);
  std::string folder = s.Chosen;
  if (folder.empty()) {
    if (!MakeDefault(s)) return 0;
    folder = s.Default;
  }
  const size_t need = folder.size() + 1;
  if (!lpBuffer || uSize < need) return uint32_t(need);
  std::memcpy(lpBuffer, folder.c_str(), need);
  return uint32_t(folder.size());
}

void VXSetWindowsDirectory(const std::string& Folder) {
  TSysDir& s = S();
  std::lock_guard<std::mutex> l(s.M);
  s.Chosen = Folder;
}

void VXAddWindowsDirectoryFile(const std::string& FileName) {
  if (FileName.empty() || FileName.find('/') != std::string::npos) return;
  TSysDir& s = S();
  std::lock_guard<std::mutex> l(s.M);
  if (!s.Files.insert(FileName).second) return;
  if (!s.Default.empty()) TouchFile(s.Default, FileName);
}
