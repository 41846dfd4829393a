#include "platform/win_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace VXSharedLibrary {

namespace {

// An address inside this module, for dladdr.
void OwnModuleAnchor() {}

std::string RealPath(const std::string& Path) {
  if (Path.empty()) return std::string();
  char buf[PATH_MAX];
  if (realpath(Path.c_str(), buf) == nullptr) return Path;
  return buf;
}

std::string ProgramFileName() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return std::string();
  return std::string(buf, size_t(n));
}

}  // namespace

HMODULE LoadLibraryW(const std::string& FileName) {
  if (FileName.empty()) return nullptr;
  return dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

FARPROC GetProcAddress(HMODULE Module, const char* ProcName) {
  if (Module == nullptr || ProcName == nullptr) return nullptr;
  dlerror();
  void* p = dlsym(Module, ProcName);
  return reinterpret_cast<FARPROC>(p);
}

bool FreeLibrary(HMODULE Module) {
  if (Module == nullptr) return false;
  return dlclose(Module) == 0;
}

std::string GetOwnModuleFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModuleAnchor), &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0')
    return ProgramFileName();
  return RealPath(info.dli_fname);
}

std::string GetOwnModuleFolder() {
  const std::string file = GetOwnModuleFileName();
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return std::string();
  return file.substr(0, slash + 1);
}

bool IsLibrary() {
  const std::string own = GetOwnModuleFileName();
  const std::string program = RealPath(ProgramFileName());
  return !own.empty() && !program.empty() && own != program;
}

}  // namespace VXSharedLibrary
