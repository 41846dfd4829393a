// Shared libraries bound by name at run time: LoadLibraryW, GetProcAddress
// and FreeLibrary over dlopen, dlsym and dlclose, and the file of the module
// that holds the library's own code (dladdr).
//
// The functions live in a namespace of their own because the window layer
// (winui/win_module.h) answers the same Windows names for the system modules
// it carries built in; these reach real shared objects on disk.
#pragma once

#include <string>

#include "platform/win_resource.h"  // HMODULE

namespace VXSharedLibrary {

using FARPROC = void (*)();

// Loads a shared object by file name (searched as the dynamic loader does when
// the name holds no "/") with all its symbols bound at once. nullptr when it
// cannot be loaded. Each successful call counts one more use.
HMODULE LoadLibraryW(const std::string& FileName);
// The entry point ProcName of a loaded module; nullptr when the module or the
// entry is missing.
FARPROC GetProcAddress(HMODULE Module, const char* ProcName);
// Drops one use of the module; true on success, false for nullptr or an error.
bool FreeLibrary(HMODULE Module);

// The full file name of the module (the program or a shared object) whose code
// holds this function; empty when the loader cannot tell.
std::string GetOwnModuleFileName();
// The folder of that module with a trailing "/"; empty when unknown.
std::string GetOwnModuleFolder();
// True when the library's code runs inside a shared object loaded into some
// other program, not inside the program file itself.
bool IsLibrary();

}  // namespace VXSharedLibrary
