// Modules: the system libraries that this window system carries built in
// ("User32.dll" with the touch-gesture entries, "MSIMG32.DLL" with the
// gradient and blend entries, "gdiplus.dll" with the drawing library),
// bound by name as on the platform.
#pragma once
#include "winui/win_types.h"

// A built-in module by name (compared without case, ".dll" may be left
// out); null for any other name or one the test driver removed. Each call
// counts one more use.
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
// Also frees the modules that LoadLibraryExW opened as data files
// (platform/win_module.h).
BOOL FreeLibrary(HMODULE hLibModule);
// An entry of a loaded module; null when the module lacks it.
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName);

namespace VXModules {
// Test driver: a removed module cannot be loaded (handles already given
// out keep working); a removed entry is not found.
void Remove(const char* Module);
void RemoveEntry(const char* Module, const char* Entry);
void RestoreAll();
}  // namespace VXModules
