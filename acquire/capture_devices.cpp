// The capture-device registry and the system device enumerator over it.
#include "acquire/capture_devices.h"

#include <mutex>

#include "platform/win_com_enum.h"

#include "acquire/v4l2_devices.h"
#include "acquire/vxds_tables.h"

namespace {

std::mutex gLock;
std::vector<TVXCaptureDevice> gDevices;

constexpr HRESULT kNotImplemented = E_NOTIMPL;

class TPropertyBag : public TVXComObject<IPropertyBag> {
 public:
  explicit TPropertyBag(std::string Name) : fName(std::move(Name)) {}
  HRESULT Read(LPCWSTR name, VARIANT* v, IErrorLog*) override {
    if (!name || !v) return E_POINTER;
    if (std::string(name) != "FriendlyName") return E_INVALIDARG;
    return InitPropVariantFromString(fName.c_str(), v);
  }
  // The devices' properties are fixed.
  HRESULT Write(LPCWSTR, VARIANT*) override { return E_ACCESSDENIED; }

 private:
  std::string fName;
};

class TDeviceMoniker : public TVXComObject<IMoniker> {
 public:
  TDeviceMoniker(TVXCaptureDevice Device, int Index) : fDevice(std::move(Device)), fIndex(Index) {}
  HRESULT GetClassID(CLSID* id) override {
    if (!id) return E_POINTER;
    *id = CLSID_CDeviceMoniker;
    return S_OK;
  }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream*) override { return kNotImplemented; }
  HRESULT Save(IStream*, BOOL) override { return kNotImplemented; }
  HRESULT GetSizeMax(uint64_t*) override { return kNotImplemented; }
  // A new filter of the device.
  HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IUnknown* filter = fDevice.Create ? fDevice.Create() : nullptr;
    if (!filter) return E_FAIL;
    const HRESULT hr = filter->QueryInterface(riid, ppv);
    filter->Release();
    return hr;
  }
  HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* bag = new TPropertyBag(fDevice.FriendlyName);
    const HRESULT hr = bag->QueryInterface(riid, ppv);
    bag->Release();
    return hr;
  }
  HRESULT Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker** reduced) override {
    if (!reduced) return E_POINTER;
    AddRef();
    *reduced = this;
    return MK_S_REDUCED_TO_SELF;
  }
  HRESULT ComposeWith(IMoniker*, BOOL, IMoniker** out) override {
    if (out) *out = nullptr;
    return MK_E_NEEDGENERIC;
  }
  HRESULT Enum(BOOL, IEnumMoniker** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;  // no sub-monikers
    return S_OK;
  }
  HRESULT IsEqual(IMoniker* other) override {
    auto* o = dynamic_cast<TDeviceMoniker*>(other);
    return o && o->fDevice.Category == fDevice.Category && o->fIndex == fIndex ? S_OK : S_FALSE;
  }
  HRESULT Hash(DWORD* h) override {
    if (!h) return E_POINTER;
    *h = DWORD(fDevice.Category) * 65599u + DWORD(fIndex);
    return S_OK;
  }
  HRESULT IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  HRESULT GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return kNotImplemented; }
  HRESULT Inverse(IMoniker** out) override {
    if (out) *out = nullptr;
    return MK_E_NOINVERSE;
  }
  HRESULT CommonPrefixWith(IMoniker*, IMoniker** out) override {
    if (out) *out = nullptr;
    return MK_E_NOPREFIX;
  }
  HRESULT RelativePathTo(IMoniker*, IMoniker** out) override {
    if (out) *out = nullptr;
    return kNotImplemented;
  }
  // "@device:sw:<category index>\<n>\<friendly name>".
  HRESULT GetDisplayName(IBindCtx*, IMoniker*, LPWSTR* out) override {
    if (!out) return E_POINTER;
    *out = VXCoTaskStrDup("@device:sw:" + std::to_string(int(fDevice.Category)) + "\\" + std::to_string(fIndex) +
                          "\\" + fDevice.FriendlyName);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT ParseDisplayName(IBindCtx*, IMoniker*, LPCWSTR, ULONG*, IMoniker** out) override {
    if (out) *out = nullptr;
    return kNotImplemented;
  }
  HRESULT IsSystemMoniker(DWORD* kind) override {
    if (!kind) return E_POINTER;
    *kind = MKSYS_NONE;
    return S_FALSE;
  }

 private:
  TVXCaptureDevice fDevice;
  int fIndex;
};

struct TMonikerItem {
  TVXCaptureDevice Device;
  int Index;
};

class TEnumMoniker : public TVXComEnum<TEnumMoniker, IEnumMoniker, TMonikerItem, IMoniker*> {
 public:
  using TVXComEnum::TVXComEnum;
  static bool Hand(const TMonikerItem& Item, IMoniker*& Out) {
    Out = new TDeviceMoniker(Item.Device, Item.Index);
    return true;
  }
};

class TCreateDevEnum : public TVXComObject<ICreateDevEnum> {
 public:
  HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    TVXCaptureCategory c;
    if (!VXCaptureCategoryOf(category, c)) return S_FALSE;
    std::vector<TVXCaptureDevice> devices = VXCaptureDevices(c);
    if (devices.empty()) return S_FALSE;
    std::vector<TMonikerItem> items;
    for (size_t i = 0; i < devices.size(); ++i) items.push_back({devices[i], int(i)});
    *out = new TEnumMoniker(std::move(items));
    return S_OK;
  }
};

HRESULT CreateDevEnum(REFIID riid, void** ppv) {
  auto* e = new TCreateDevEnum;
  const HRESULT hr = e->QueryInterface(riid, ppv);
  e->Release();
  return hr;
}

}  // namespace

void VXAddCaptureDevice(const TVXCaptureDevice& Device) {
  std::lock_guard<std::mutex> guard(gLock);
  gDevices.push_back(Device);
}

void VXClearCaptureDevices() {
  std::lock_guard<std::mutex> guard(gLock);
  gDevices.clear();
}

std::vector<TVXCaptureDevice> VXCaptureDevices(TVXCaptureCategory Category) {
  std::vector<TVXCaptureDevice> out;
  {
    std::lock_guard<std::mutex> guard(gLock);
    for (const TVXCaptureDevice& d : gDevices)
      if (d.Category == Category) out.push_back(d);
  }
  // The machine's cameras, as they are now.
  if (Category == vxccVideoInput)
    for (TVXCaptureDevice& d : VXMachineVideoInputs()) out.push_back(std::move(d));
  return out;
}

bool VXCaptureCategoryOf(const GUID& Category, TVXCaptureCategory& Out) {
  const struct {
    const GUID* Guid;
    TVXCaptureCategory Category;
  } table[] = {{&CLSID_VideoInputDeviceCategory, vxccVideoInput},
               {&CLSID_AudioInputDeviceCategory, vxccAudioInput},
               {&CLSID_VideoCompressorCategory, vxccVideoCompressor},
               {&CLSID_AudioCompressorCategory, vxccAudioCompressor}};
  for (const auto& row : table)
    if (IsEqualGUID(Category, *row.Guid)) {
      Out = row.Category;
      return true;
    }
  return false;
}

void VXRegisterSystemDeviceEnum() {
  VXRegisterComClass(CLSID_SystemDeviceEnum, &CreateDevEnum, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER);
}

void VXUnregisterSystemDeviceEnum() { VXUnregisterComClass(CLSID_SystemDeviceEnum); }
