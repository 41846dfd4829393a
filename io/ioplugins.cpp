#include "io/ioplugins.h"

#include <dlfcn.h>

#include "io/fileformats.h"

std::vector<std::unique_ptr<TVXIOPlugin>>& VXIOPlugins() {
  static std::vector<std::unique_ptr<TVXIOPlugin>> plugins;
  return plugins;
}

void VXCreateIOPlugins() { VXIOPlugins().clear(); }

void VXFreeIOPlugins() {
  for (auto& plugin : VXIOPlugins()) {
    VXUnregisterFileFormat(plugin->FileType);
    if ((plugin->Capability & 256) == 0) plugin->PluginsCS.reset();
    if (plugin->libhandle != nullptr) dlclose(plugin->libhandle);
    plugin->libhandle = nullptr;
  }
  VXIOPlugins().clear();
}
