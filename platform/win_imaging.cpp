// The imaging component's factory: its slot and its entry in the COM class
// registry.
#include "platform/win_imaging.h"

#include <mutex>

namespace {

std::mutex gLock;
IWICImagingFactory* gFactory = nullptr;
bool gPresent = true;
std::atomic<uint32_t> gGeneration{0};

// The registry's creator of CLSID_WICImagingFactory: the installed factory,
// asked for the interface wanted.
HRESULT CreateImagingFactory(REFIID riid, void** ppv) {
  IWICImagingFactory* factory = nullptr;
  {
    std::lock_guard<std::mutex> guard(gLock);
    if (!gPresent || !gFactory) return REGDB_E_CLASSNOTREG;
    factory = gFactory;
    factory->AddRef();
  }
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

}  // namespace

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
  if (Factory)
    VXRegisterComClass(CLSID_WICImagingFactory, &CreateImagingFactory, CLSCTX_INPROC_SERVER);
  else
    VXUnregisterComClass(CLSID_WICImagingFactory);
  if (old) old->Release();
}

void VXSetImagingComponentPresent(bool Present) {
  std::lock_guard<std::mutex> guard(gLock);
  if (gPresent != Present) ++gGeneration;
  gPresent = Present;
}

uint32_t VXImagingComponentGeneration() { return gGeneration; }
