// Windows modules (executables and libraries, PE32 and PE32+) opened as data
// files for their resources: our own reader of the PE/COFF resource
// directory. Nothing is run or mapped as code; a file that is not a PE
// image (an ELF program, a text) does not load. FindResourceW, LoadResource,
// LockResource and SizeofResource (platform/win_resource.h) accept the
// handles; the bytes stay valid until FreeLibrary (winui/win_module.h, which
// hands these handles to VXFreeModuleFile).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/win_resource.h"

constexpr uint32_t DONT_RESOLVE_DLL_REFERENCES = 0x00000001;
constexpr uint32_t LOAD_LIBRARY_AS_DATAFILE = 0x00000002;
constexpr uint32_t LOAD_LIBRARY_AS_IMAGE_RESOURCE = 0x00000020;
constexpr uint32_t LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE = 0x00000040;

// Only data-file loads are served (a flag among LOAD_LIBRARY_AS_DATAFILE,
// LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE and LOAD_LIBRARY_AS_IMAGE_RESOURCE);
// any other request, a missing file or a damaged one gives nullptr. File is
// unused and must be nullptr. Every offset, size and count of the file is
// checked against it; a resource directory that refers back into itself is
// walked once.
HMODULE LoadLibraryExW(const std::string& FileName, void* File, uint32_t Flags);
// Frees a module of LoadLibraryExW; false for any other handle.
bool VXFreeModuleFile(HMODULE Module);

// Resource types and names in the order of the module's directory (named
// entries, then numbered ones). A null module enumerates the program's own
// table. A callback that answers false ends the walk. False when the module
// is unknown or has no such type.
using ENUMRESTYPEPROCA = std::function<bool(HMODULE Module, const TResName& Type)>;
using ENUMRESNAMEPROCA = std::function<bool(HMODULE Module, const TResName& Type, const TResName& Name)>;
bool EnumResourceTypesA(HMODULE Module, const ENUMRESTYPEPROCA& Proc);
bool EnumResourceNamesA(HMODULE Module, const TResName& Type, const ENUMRESNAMEPROCA& Proc);
