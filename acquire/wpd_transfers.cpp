// The portable-device browser's transfers: object data into a file or a
// memory stream, a file into a new object, and deletions.
#include <memory>

#include "acquire/vxxwpd.h"
#include "acquire/wpd_api.h"
#include "core/filewriter.h"
#include "core/streams.h"

namespace {

constexpr ULONG kChunk = 1024;

std::string Signed(HRESULT hr) { return std::to_string(int32_t(hr)); }

// An open device and its content; the device is closed on every path out.
class TOpenDevice {
 public:
  ~TOpenDevice() {
    fContent.Reset();
    if (fDevice) {
      fDevice->Close();
      fDevice->Release();
    }
  }
  bool Open(TVXPortableDevices& P, const std::string& ID, std::string& Error) {
    if (!P.WPDOpenDevice(ID, fDevice, Error)) return false;
    return SUCCEEDED(fDevice->Content(&fContent)) && fContent;
  }
  IPortableDeviceContent* Content() const { return fContent.Get(); }

 private:
  IPortableDevice* fDevice = nullptr;
  TVXComPtr<IPortableDeviceContent> fContent;
};

// The default resource of an object, for reading.
bool OpenObjectStream(TOpenDevice& D, const std::string& ObjectID, TVXComPtr<IStream>& Stream) {
  TVXComPtr<IPortableDeviceResources> resources;
  if (FAILED(D.Content()->Transfer(&resources)) || !resources) return false;
  DWORD optimal = 0;
  return SUCCEEDED(resources->GetStream(ObjectID.c_str(), WPD_RESOURCE_DEFAULT, STGM_READ, &optimal, &Stream)) &&
         Stream;
}

// Reads the stream to its end in chunks, handing each to Sink. A read that
// answers neither S_OK nor S_FALSE is a failure: its result, else S_OK.
template <class F>
HRESULT ReadAll(IStream* Stream, F Sink) {
  uint8_t buffer[kChunk];
  while (true) {
    ULONG got = 0;
    const HRESULT hr = Stream->Read(buffer, kChunk, &got);
    if (hr != S_OK && hr != S_FALSE) return FAILED(hr) ? hr : E_FAIL;
    if (got == 0) return S_OK;
    Sink(buffer, got);
  }
}

// The text after the last "/", "\" or ":".
std::string NamePart(const std::string& Path) {
  const size_t cut = Path.find_last_of("/\\:");
  return cut == std::string::npos ? Path : Path.substr(cut + 1);
}

std::string StringValue(IPortableDeviceValues* Values, REFPROPERTYKEY Key) {
  LPWSTR s = nullptr;
  if (FAILED(Values->GetStringValue(Key, &s)) || !s) return {};
  std::string r = s;
  CoTaskMemFree(s);
  return r;
}

}  // namespace

bool TVXPortableDevices::CopyFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                                        const std::function<HRESULT(IStream* Data)>& Copy) {
  fLastError.clear();
  TOpenDevice device;
  if (!device.Open(*this, sDeviceID, fLastError)) return false;
  DoLog("Content: Valid");
  TVXComPtr<IStream> data;
  if (!OpenObjectStream(device, sObjectID, data)) return false;
  DoLog("Stream: Valid");
  const HRESULT failure = Copy(data.Get());
  if (failure != S_OK) {
    DoLog("Read failure: " + Signed(failure));
    fLastError = "Unable to read object (" + Signed(failure) + ")";
    return false;
  }
  return true;
}

bool TVXPortableDevices::CopyFileFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                                            const std::string& sDestFilename) {
  return CopyFromDevice(sDeviceID, sObjectID, [&](IStream* Data) {
    HRESULT failure = S_OK;
    bool aborting = false;
    VXWriteFileSafely(sDestFilename, aborting, [&](TStream* File) {
      failure = ReadAll(Data, [&](const uint8_t* p, ULONG n) { File->WriteBuffer(p, n); });
      aborting = failure != S_OK;
    });
    return failure;
  });
}

bool TVXPortableDevices::CopyStreamFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                                              std::unique_ptr<TMemoryStream>& ssDestStream) {
  return CopyFromDevice(sDeviceID, sObjectID, [&](IStream* Data) {
    if (!ssDestStream) ssDestStream = std::make_unique<TMemoryStream>();
    TMemoryStream* dest = ssDestStream.get();
    const HRESULT failure = ReadAll(Data, [&](const uint8_t* p, ULONG n) { dest->WriteBuffer(p, n); });
    dest->SetPosition(0);
    return failure;
  });
}

bool TVXPortableDevices::CopyFileToDevice(const std::string& sDeviceID, const std::string& sFolderID,
                                          const std::string& sSourceFilename) {
  fLastError.clear();
  TOpenDevice device;
  if (!device.Open(*this, sDeviceID, fLastError)) return false;
  TVXComPtr<IPortableDeviceValues> values(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
  DoLog("Copying " + sSourceFilename + " to folder: " + sFolderID);
  TVXWideFileStream file(sSourceFilename, fmOpenRead | fmShareDenyWrite);
  const std::string name = NamePart(sSourceFilename);
  values->SetStringValue(WPD_OBJECT_PARENT_ID, sFolderID.c_str());
  values->SetStringValue(WPD_OBJECT_NAME, name.c_str());
  values->SetStringValue(WPD_OBJECT_ORIGINAL_FILE_NAME, name.c_str());
  values->SetUnsignedLargeIntegerValue(WPD_OBJECT_SIZE, uint64_t(file.Size()));
  TVXComPtr<IStream> data;
  DWORD optimal = 0;
  LPWSTR cookie = nullptr;
  const HRESULT created = device.Content()->CreateObjectWithPropertiesAndData(values.Get(), &data, &optimal, &cookie);
  CoTaskMemFree(cookie);
  if (FAILED(created) || !data) return false;
  DoLog("Stream: Valid");
  uint8_t buffer[kChunk];
  while (true) {
    const int64_t got = file.Read(buffer, kChunk);
    DoLog("Bytes read: " + std::to_string(got));
    if (got <= 0) break;
    ULONG written = 0;
    const HRESULT hr = data->Write(buffer, ULONG(got), &written);
    if (hr != S_OK || written != ULONG(got)) {
      // A damaged object is never committed.
      DoLog("Write failure: " + Signed(hr != S_OK ? hr : STG_E_WRITEFAULT));
      data->Revert();
      return false;
    }
  }
  if (data->Commit(STGC_DEFAULT) != S_OK) {
    DoLog("Commit failure!");
    return false;
  }
  DoLog("File copied");
  return true;
}

int TVXPortableDevices::WPDDeleteObjects(const std::string& sDeviceID, const std::string& sObjectID,
                                         const std::vector<std::string>* ssObjectIDs, bool bDeleteSubObjects,
                                         std::string& sResultText) {
  int result = -1;
  fLastError.clear();
  sResultText.clear();
  TOpenDevice device;
  if (!device.Open(*this, sDeviceID, fLastError)) return -1;
  TVXComPtr<IPortableDevicePropVariantCollection> ids(
      VXCreateComObject<IPortableDevicePropVariantCollection>(CLSID_PortableDevicePropVariantCollection));
  TVXComPtr<IPortableDevicePropVariantCollection> results(
      VXCreateComObject<IPortableDevicePropVariantCollection>(CLSID_PortableDevicePropVariantCollection));
  auto add = [&](const std::string& id) {
    TVXComPtr<IPortableDeviceValues> v(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
    v->SetStringValue(WPD_OBJECT_ID, id.c_str());
    PROPVARIANT pv;
    if (SUCCEEDED(v->GetValue(WPD_OBJECT_ID, &pv))) {
      ids->Add(&pv);
      PropVariantClear(&pv);
    }
  };
  if (ssObjectIDs) {
    for (const std::string& id : *ssObjectIDs) add(id);
  } else {
    add(sObjectID);
  }
  DoLog("Deleting file: " + sObjectID);
  const HRESULT hr = device.Content()->Delete(
      bDeleteSubObjects ? PORTABLE_DEVICE_DELETE_WITH_RECURSION : PORTABLE_DEVICE_DELETE_NO_RECURSION, ids.Get(),
      &results);
  if (results) {
    DWORD count = 0;
    results->GetCount(&count);
    if (hr == S_OK) result = int(count);
    PROPVARIANT first;
    if (count > 0 && SUCCEEDED(results->GetAt(0, &first))) {
      if (first.vt == VT_ERROR) {
        sResultText = SysErrorMessage(first.scode);
      } else {
        TVXComPtr<IPortableDeviceValues> v(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
        v->SetValue(WPD_OBJECT_ID, &first);
        sResultText = StringValue(v.Get(), WPD_OBJECT_ID);
      }
      PropVariantClear(&first);
      DoLog("Delete: " + sResultText);
    }
  }
  return result;
}

int TVXPortableDevices::DeleteFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                                         bool bDeleteSubObjects, std::string& sResultText) {
  return WPDDeleteObjects(sDeviceID, sObjectID, nullptr, bDeleteSubObjects, sResultText);
}

int TVXPortableDevices::DeleteFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                                         bool bDeleteSubObjects) {
  std::string scratch;
  return WPDDeleteObjects(sDeviceID, sObjectID, nullptr, bDeleteSubObjects, scratch);
}

int TVXPortableDevices::DeleteFromDevice(const std::string& sDeviceID, const std::vector<std::string>& ssObjectIDs,
                                         bool bDeleteSubObjects, std::string& sResultText) {
  return WPDDeleteObjects(sDeviceID, "", &ssObjectIDs, bDeleteSubObjects, sResultText);
}

int TVXPortableDevices::DeleteFromDevice(const std::string& sDeviceID, const std::vector<std::string>& ssObjectIDs,
                                         bool bDeleteSubObjects) {
  std::string scratch;
  return WPDDeleteObjects(sDeviceID, "", &ssObjectIDs, bDeleteSubObjects, scratch);
}
