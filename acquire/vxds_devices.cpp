// Device names and device filters of a category.
#include "acquire/vxds_devices.h"

#include "acquire/capture_devices.h"
#include "acquire/vxds_tables.h"

namespace {

// The category's monikers, or none (an empty category answers S_FALSE).
bool Enumerate(const GUID& Category, TVXComPtr<IEnumMoniker>& Monikers) {
  TVXComPtr<ICreateDevEnum> devEnum;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                              ICreateDevEnum::kIID, reinterpret_cast<void**>(&devEnum))) ||
      !devEnum)
    return false;
  return devEnum->CreateClassEnumerator(Category, &Monikers, 0) == S_OK && Monikers;
}

std::string FriendlyName(IMoniker* Moniker) {
  TVXComPtr<IPropertyBag> bag;
  if (FAILED(Moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIID, reinterpret_cast<void**>(&bag))) || !bag)
    return {};
  PROPVARIANT v;
  std::string name;
  if (SUCCEEDED(bag->Read("FriendlyName", &v, nullptr)) && v.vt == VT_LPWSTR) name = VXStr(v.pwszVal);
  PropVariantClear(&v);
  return name;
}

}  // namespace

void VXDSEnumDeviceNames(const GUID& Category, std::vector<std::string>& List) {
  List.clear();
  TVXComPtr<IEnumMoniker> monikers;
  if (!Enumerate(Category, monikers)) return;
  IMoniker* m = nullptr;
  ULONG fetched = 0;
  while (monikers->Next(1, &m, &fetched) == S_OK) {
    TVXComPtr<IMoniker> held(m);
    if (m) List.push_back(FriendlyName(m));
  }
}

IUnknown* VXDSFindDevice(const GUID& Category, const std::string& Name, int InstanceIndex, REFIID Iid) {
  TVXComPtr<IEnumMoniker> monikers;
  if (!Enumerate(Category, monikers)) return nullptr;
  IUnknown* found = nullptr;
  int seen = 0;
  IMoniker* m = nullptr;
  ULONG fetched = 0;
  // The walk goes on to the end.
  while (monikers->Next(1, &m, &fetched) == S_OK && fetched == 1 && m) {
    TVXComPtr<IMoniker> held(m);
    if (FriendlyName(m) != Name) continue;
    if (seen++ == InstanceIndex && !found) {
      void* p = nullptr;
      if (SUCCEEDED(m->BindToObject(nullptr, nullptr, Iid, &p))) found = static_cast<IUnknown*>(p);
    }
  }
  return found;
}
