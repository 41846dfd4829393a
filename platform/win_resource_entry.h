// Inside the platform layer only: what a resource handle (HRSRC) points at,
// for the program's own table and for the modules that LoadLibraryExW opens.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "platform/win_memory.h"
#include "platform/win_resource.h"

struct TResourceEntry {
  int Type = 0;      // the program's table: the type number
  std::string Name;  // the program's table: upper case
  const void* Data = nullptr;
  size_t Size = 0;
  mutable TGlobalBlock Block;  // what LoadResource hands out
};

// FindResourceW for a module handle of LoadLibraryExW; nullptr for any other
// handle.
HRSRC VXFindModuleResource(HMODULE Module, const TResName& Name, const TResName& Type);
// Every (type, upper-case name) of the program's own table, in type order.
void VXEnumProgramResources(const std::function<void(int Type, const std::string& Name)>& Proc);
