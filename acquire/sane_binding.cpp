#include "acquire/sane_binding.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace {

struct TBinding {
  std::mutex M;
  std::string Soname = "libsane.so.1";
  bool Tried = false;
  void* Library = nullptr;
  TVXSaneApi Api;
  bool Available = false;
  bool DevicesRead = false;
  std::vector<TVXSaneDeviceInfo> Devices;
};

TBinding& B() {
  static auto* b = new TBinding();
  return *b;
}

template <typename F>
bool Bind(void* Library, const char* Name, F& Slot) {
  Slot = reinterpret_cast<F>(dlsym(Library, Name));
  return Slot != nullptr;
}

void ExitSane() {
  TBinding& b = B();
  std::lock_guard<std::mutex> l(b.M);
  if (b.Available) b.Api.exit();
  b.Available = false;
}

const TVXSaneApi* Load(TBinding& b) {
  if (b.Tried) return b.Available ? &b.Api : nullptr;
  b.Tried = true;
  b.Library = dlopen(b.Soname.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!b.Library) return nullptr;
  TVXSaneApi& a = b.Api;
  const bool all = Bind(b.Library, "sane_init", a.init) && Bind(b.Library, "sane_exit", a.exit) &&
                   Bind(b.Library, "sane_get_devices", a.get_devices) && Bind(b.Library, "sane_open", a.open) &&
                   Bind(b.Library, "sane_close", a.close) &&
                   Bind(b.Library, "sane_get_option_descriptor", a.get_option_descriptor) &&
                   Bind(b.Library, "sane_control_option", a.control_option) &&
                   Bind(b.Library, "sane_get_parameters", a.get_parameters) && Bind(b.Library, "sane_start", a.start) &&
                   Bind(b.Library, "sane_read", a.read) && Bind(b.Library, "sane_cancel", a.cancel);
  SANE_Int version = 0;
  if (!all || a.init(&version, nullptr) != SANE_STATUS_GOOD) {
    dlclose(b.Library);
    b.Library = nullptr;
    b.Api = TVXSaneApi();
    return nullptr;
  }
  b.Available = true;
  std::atexit(&ExitSane);
  return &b.Api;
}

}  // namespace

const TVXSaneApi* VXSaneApi() {
  TBinding& b = B();
  std::lock_guard<std::mutex> l(b.M);
  return Load(b);
}

void VXSaneSetSoname(const std::string& Name) {
  TBinding& b = B();
  std::lock_guard<std::mutex> l(b.M);
  if (!b.Tried) b.Soname = Name;
}

const std::vector<TVXSaneDeviceInfo>& VXSaneLocalDevices() {
  TBinding& b = B();
  std::lock_guard<std::mutex> l(b.M);
  if (b.DevicesRead) return b.Devices;
  b.DevicesRead = true;
  const TVXSaneApi* a = Load(b);
  const SANE_Device** list = nullptr;
  if (!a || a->get_devices(&list, SANE_TRUE) != SANE_STATUS_GOOD || !list) return b.Devices;
  auto text = [](const char* s) { return std::string(s ? s : ""); };
  for (size_t i = 0; list[i]; ++i)
    b.Devices.push_back(
        TVXSaneDeviceInfo{text(list[i]->name), text(list[i]->vendor), text(list[i]->model), text(list[i]->type)});
  return b.Devices;
}
