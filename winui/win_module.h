// Modules: the system libraries that this window system carries built in
// ("User32.dll" with the touch-gesture entries, "MSIMG32.DLL" with the
// gradient and blend entries, "gdiplus.dll" with the drawing library),
// bound by name as on the platform.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "winui/win_types.h"

// A built-in module by name (compared without case, ".dll" may be left
// out); null for any other name or one the test driver removed. Each call
// counts one more use.
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// A path: when its file exists and its file name (after the last "/", "\\"
// or ":") is a built-in module's, that module; a bare name as LoadLibraryW.
HMODULE LoadLibraryA(const char* lpLibFileName);
HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
// Also frees the modules that LoadLibraryExW opened as data files
// (platform/win_module.h).
BOOL FreeLibrary(HMODULE hLibModule);
// An entry of a loaded module; null when the module lacks it.
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName);

namespace VXModules {
using TEntries = std::vector<std::pair<std::string, FARPROC>>;
// Higher layers add the modules they carry built in (a start-up hook):
// the module's file name and its entries. A name registered again gets the
// new entries. The Windows folder's default holds a file of that name.
void Register(const char* Module, const TEntries& Entries);
// Test driver: a removed module cannot be loaded (handles already given
// out keep working); a removed entry is not found.
void Remove(const char* Module);
void RemoveEntry(const char* Module, const char* Entry);
void RestoreAll();
}  // namespace VXModules
