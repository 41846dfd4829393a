// Module resources: the program's entry registers the blobs that the build embeds
// (e.g. RT_RCDATA "quant"); FindResourceW / LoadResource / LockResource /
// SizeofResource reach them as on Windows. A null module is the running program.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int RT_RCDATA = 10;

struct TResourceEntry;
using HMODULE = void*;
using HRSRC = const TResourceEntry*;
using HGLOBAL = const TResourceEntry*;

// Registers (or replaces) a resource of the running program. The bytes are not
// copied and must stay valid for the life of the process.
void RegisterResource(int Type, const std::string& Name, const void* Data, size_t Size);
// Removes a registered resource; true when there was one.
bool UnregisterResource(int Type, const std::string& Name);

// Names are compared without case, as on Windows.
HRSRC FindResourceW(HMODULE Module, const std::string& Name, int Type);
HGLOBAL LoadResource(HMODULE Module, HRSRC Resource);
const void* LockResource(HGLOBAL Data);
uint32_t SizeofResource(HMODULE Module, HRSRC Resource);
