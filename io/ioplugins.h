// The list of I/O plug-ins: modules that register a file type of their own
// with the registry. The I/O module creates the list at start-up and frees it,
// with every plug-in's registry entry and module, at shut-down.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct TVXIOPlugin {
  void* libhandle = nullptr;  // the loaded module (dlopen), or nullptr
  int32_t FileType = 0;       // the type it registered
  std::unique_ptr<std::mutex> PluginsCS;
  int32_t Capability = 0;     // bit 8 (256): the plug-in has no lock
  int32_t pluginFormat = 0;
  std::string DLLFileName;
  bool use_cdecl = false;
};

// The plug-in list; empty until a plug-in is added.
std::vector<std::unique_ptr<TVXIOPlugin>>& VXIOPlugins();
void VXCreateIOPlugins();
// For each plug-in: its file type leaves the registry, its lock is freed
// (unless it has none), its module is unloaded; then the list is emptied.
void VXFreeIOPlugins();
