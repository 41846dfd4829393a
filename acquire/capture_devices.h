// The capture-device registry: the video and audio inputs and compressors
// that the platform's system device enumerator lists, each with a friendly
// name and a factory of its filter; and that enumerator's interfaces
// (ICreateDevEnum, IEnumMoniker, IMoniker, IPropertyBag), each the
// platform's published interface with its IID and method order.
//
// The enumerator (CLSID_SystemDeviceEnum) is an entry of the COM class
// registry from the library's start-up on. A category's monikers list its
// devices in the order they were added; a moniker binds to storage as an
// IPropertyBag holding "FriendlyName" (VT_LPWSTR) and to an object by
// asking the device's factory for a new filter.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win_com.h"
#include "platform/win_files.h"

enum TVXCaptureCategory : uint8_t { vxccVideoInput, vxccAudioInput, vxccVideoCompressor, vxccAudioCompressor };

// A new filter of the device with one reference, or null.
using TVXFilterFactory = std::function<IUnknown*()>;

struct TVXCaptureDevice {
  TVXCaptureCategory Category = vxccVideoInput;
  std::string FriendlyName;
  TVXFilterFactory Create;
  // The FFmpeg input the device's frames come from ("lavfi:testsrc2",
  // "video4linux2:/dev/video0"); empty for the simulated devices. Media
  // Foundation's media source of the device reads it.
  std::string MediaUrl;
};

void VXAddCaptureDevice(const TVXCaptureDevice& Device);
// The devices added, then (video inputs) the machine's cameras
// (acquire/v4l2_devices.h).
// Takes every added device of every category out.
void VXClearCaptureDevices();
std::vector<TVXCaptureDevice> VXCaptureDevices(TVXCaptureCategory Category);
// The category of a category GUID (CLSID_VideoInputDeviceCategory, ...).
bool VXCaptureCategoryOf(const GUID& Category, TVXCaptureCategory& Out);

struct IErrorLog;
struct IBindCtx;

struct IPropertyBag : IUnknown {
  static constexpr GUID kIID{0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
  using TVXBase = IUnknown;
  virtual HRESULT Read(LPCWSTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) = 0;
  virtual HRESULT Write(LPCWSTR pszPropName, VARIANT* pVar) = 0;
};

struct IPersist : IUnknown {
  static constexpr GUID kIID{0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  using TVXBase = IUnknown;
  virtual HRESULT GetClassID(CLSID* pClassID) = 0;
};

struct IPersistStream : IPersist {
  static constexpr GUID kIID{0x00000109, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  using TVXBase = IPersist;
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* pStm) = 0;
  virtual HRESULT Save(IStream* pStm, BOOL fClearDirty) = 0;
  virtual HRESULT GetSizeMax(uint64_t* pcbSize) = 0;
};

struct IEnumMoniker;

struct IMoniker : IPersistStream {
  static constexpr GUID kIID{0x0000000F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  using TVXBase = IPersistStream;
  virtual HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) = 0;
  virtual HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) = 0;
  virtual HRESULT Reduce(IBindCtx* pbc, DWORD dwReduceHowFar, IMoniker** ppmkToLeft, IMoniker** ppmkReduced) = 0;
  virtual HRESULT ComposeWith(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric, IMoniker** ppmkComposite) = 0;
  virtual HRESULT Enum(BOOL fForward, IEnumMoniker** ppenumMoniker) = 0;
  virtual HRESULT IsEqual(IMoniker* pmkOtherMoniker) = 0;
  virtual HRESULT Hash(DWORD* pdwHash) = 0;
  virtual HRESULT IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) = 0;
  virtual HRESULT GetTimeOfLastChange(IBindCtx* pbc, IMoniker* pmkToLeft, FILETIME* pFileTime) = 0;
  virtual HRESULT Inverse(IMoniker** ppmk) = 0;
  virtual HRESULT CommonPrefixWith(IMoniker* pmkOther, IMoniker** ppmkPrefix) = 0;
  virtual HRESULT RelativePathTo(IMoniker* pmkOther, IMoniker** ppmkRelPath) = 0;
  virtual HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPWSTR* ppszDisplayName) = 0;
  virtual HRESULT ParseDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPCWSTR pszDisplayName, ULONG* pchEaten,
                                   IMoniker** ppmkOut) = 0;
  virtual HRESULT IsSystemMoniker(DWORD* pdwMksys) = 0;
};

struct IEnumMoniker : IUnknown {
  static constexpr GUID kIID{0x00000102, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  using TVXBase = IUnknown;
  virtual HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) = 0;
  virtual HRESULT Skip(ULONG celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumMoniker** ppenum) = 0;
};

struct ICreateDevEnum : IUnknown {
  static constexpr GUID kIID{0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
  using TVXBase = IUnknown;
  // S_FALSE and no enumerator for a category without devices.
  virtual HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD dwFlags) = 0;
};

constexpr GUID CLSID_CDeviceMoniker{0x4315D437, 0x5B8C, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr HRESULT MK_S_REDUCED_TO_SELF = HRESULT(0x000401E2);
constexpr HRESULT MK_E_NOINVERSE = HRESULT(0x800401ECu);
constexpr HRESULT MK_E_NOPREFIX = HRESULT(0x800401EEu);
constexpr HRESULT MK_E_NEEDGENERIC = HRESULT(0x800401E2u);
constexpr DWORD MKSYS_NONE = 0;

// The enumerator's class in the COM registry (the library's start-up).
void VXRegisterSystemDeviceEnum();
void VXUnregisterSystemDeviceEnum();
