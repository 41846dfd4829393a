// The COM calls of the imaging component and the slot of its factory.
#include "platform/win_imaging.h"

#include <mutex>

namespace {

std::mutex gLock;
IWICImagingFactory* gFactory = nullptr;
bool gPresent = true;
std::atomic<uint32_t> gGeneration{0};

}  // namespace

HRESULT CoInitializeEx(void*, DWORD) { return S_OK; }

void CoUninitialize() {}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown*, DWORD, REFIID, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualGUID(rclsid, CLSID_WICImagingFactory)) return REGDB_E_CLASSNOTREG;
  std::lock_guard<std::mutex> guard(gLock);
  if (!gPresent || !gFactory) return REGDB_E_CLASSNOTREG;
  gFactory->AddRef();
  *ppv = gFactory;
  return S_OK;
}

void VXSetImagingFactory(IWICImagingFactory* Factory) {
  IWICImagingFactory* old = nullptr;
  {
    std::lock_guard<std::mutex> guard(gLock);
    if (Factory == gFactory) return;
    old = gFactory;
    if (Factory) Factory->AddRef();
    gFactory = Factory;
    ++gGeneration;
  }
  if (old) old->Release();
}

void VXSetImagingComponentPresent(bool Present) {
  std::lock_guard<std::mutex> guard(gLock);
  if (gPresent != Present) ++gGeneration;
  gPresent = Present;
}

uint32_t VXImagingComponentGeneration() { return gGeneration; }
