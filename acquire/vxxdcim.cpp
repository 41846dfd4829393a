// Camera-folder acquisition.
#include "acquire/vxxdcim.h"

#include "acquire/acquire_params.h"

#include <cmath>
#include <exception>

#include "acquire/vxxwpd.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "winui/win_msgbox.h"

namespace {

// Equal with the letters a to z taken as A to Z.
bool SameAZ(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'a' && a <= 'z') a = char(a - 32);
    if (b >= 'a' && b <= 'z') b = char(b - 32);
    if (a != b) return false;
  }
  return true;
}

void ShowError(const std::string& Text) { MessageBoxW(nullptr, Text.c_str(), "Error", MB_OK | MB_ICONERROR); }

// The file-name part of a device's file name: after the last "/", "\" or
// ":".
std::string NamePart(const std::string& Filename) {
  const size_t cut = Filename.find_last_of("/\\:");
  return cut == std::string::npos ? Filename : Filename.substr(cut + 1);
}

// Name with " (n)" before its extension.
std::string Numbered(const std::string& Name, int n) {
  const size_t dot = Name.rfind('.');
  const std::string suffix = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return Name + suffix;
  return Name.substr(0, dot) + suffix + Name.substr(dot);
}

}  // namespace

TVXDcimAcquire::TVXDcimAcquire(TComponent* Owner) : fOwner(Owner) {}

TVXDcimAcquire::~TVXDcimAcquire() { ClearSources(); }

void TVXDcimAcquire::ClearSources() {
  if (fSourcesInitialized) fSources.clear();
  fSourcesInitialized = false;
}

void TVXDcimAcquire::SetOnLog(TVXPortableDeviceLogEvent Value) {
  fOnLog = std::move(Value);
  if (fPortableDevices) fPortableDevices->SetOnLog(fOnLog);
}

bool TVXDcimAcquire::InitializeSources() {
  if (fSourcesInitialized) return true;
  try {
    if (!fPortableDevices) {
      fPortableDevices = std::make_unique<TVXPortableDevices>();
      fPortableDevices->SetOnLog(fOnLog);
    }
    fSources.clear();
    TVXPortableDevices& p = *fPortableDevices;
    if (!p.RefreshDevices()) return false;
    for (int d = 0; d < p.DeviceCount(); ++d) {
      const TVXPortableDevice device = p.GetDevices(d);
      if (!p.NavigateToFolderID(device.ID, "", false, VXWPDTypes(vxwFolder))) continue;
      std::vector<TVXWPDObject> storages;
      for (int i = 0; i < p.ObjectCount(); ++i) storages.push_back(p.GetObjects(i));
      for (const TVXWPDObject& storage : storages) {
        const std::string path = storage.FriendlyName + "\\DCIM\\";
        const std::string folder = p.PathToFolderID(device.ID, path);
        if (folder.empty()) continue;
        TVXPortableDevicesSource s;
        s.Name = storages.size() < 2 ? device.FriendlyName : device.FriendlyName + " " + storage.FriendlyName;
        s.Path = path;
        s.DeviceID = device.ID;
        s.DeviceName = device.FriendlyName;
        s.FolderID = folder;
        s.IsDrive = device.IsDrive;
        fSources.push_back(s);
      }
    }
    fSourcesInitialized = true;
    return true;
  } catch (...) {
    return false;
  }
}

bool TVXDcimAcquire::Refresh() {
  fSourcesInitialized = false;
  return InitializeSources();
}

TVXPortableDevicesSource TVXDcimAcquire::GetSources(int Index) {
  InitializeSources();
  if (Index < 0 || Index >= int(fSources.size())) return {};
  return fSources[size_t(Index)];
}

int TVXDcimAcquire::SourceCount() {
  InitializeSources();
  return int(fSources.size());
}

int TVXDcimAcquire::SelectedSource() {
  InitializeSources();
  const int fallback = fSources.empty() ? -1 : 0;
  if (fSelectedDeviceID.empty()) return fallback;
  for (size_t i = 0; i < fSources.size(); ++i)
    if (SameAZ(fSources[i].DeviceID, fSelectedDeviceID) && SameAZ(fSources[i].FolderID, fSelectedFolderID))
      return int(i);
  return fallback;
}

void TVXDcimAcquire::SetSelectedSource(int Value) {
  // The owner's acquisition parameters now serve the camera folders.
  VXAcquireOwnerSourceSelected(fOwner, vxaDCIM);
  InitializeSources();
  if (Value < 0 || Value >= int(fSources.size())) return;
  fSelectedDeviceID = fSources[size_t(Value)].DeviceID;
  fSelectedFolderID = fSources[size_t(Value)].FolderID;
}

int TVXDcimAcquire::SourceNameToIndex(const std::string& sName) {
  InitializeSources();
  if (sName.empty()) return -1;
  for (size_t i = 0; i < fSources.size(); ++i)
    if (SameAZ(fSources[i].Name, sName) || SameAZ(fSources[i].DeviceName, sName)) return int(i);
  if (sName.size() <= 2 || sName.compare(1, 2, ":\\") == 0) {
    char letter = sName[0];
    if (letter >= 'a' && letter <= 'z') letter = char(letter - 32);
    const std::string drive = std::string(1, letter) + ":";
    for (size_t i = 0; i < fSources.size(); ++i)
      if (fSources[i].Name.compare(0, drive.size(), drive) == 0) return int(i);
  }
  return -1;
}

bool TVXDcimAcquire::ProcessObject(TVXBitmap* Bitmap, TIOParamsVals*& DestIOParamVals,
                                   const TVXMultiCallBack& OnGetImage, const std::string& sDestPath,
                                   bool bDeleteFromSource, const TVXWPDObject& Object, std::set<std::string>& Written) {
  TVXPortableDevices& p = *fPortableDevices;
  bool processed = false;
  if (Bitmap) {
    TIOParamsVals params;
    std::unique_ptr<TMemoryStream> data;
    bool decoded = false;
    if (p.CopyStreamFromDevice(fSelectedDeviceID, Object.ID, data)) {
      try {
        decoded = Bitmap->Read(data.get(), 0, &params) && !Bitmap->IsEmpty();
      } catch (const std::exception&) {
        decoded = false;
      }
    }
    // An image that could not be read or decoded is not handed over.
    if (decoded) {
      if (DestIOParamVals) DestIOParamVals->Assign(params);
      if (OnGetImage) OnGetImage(Bitmap, DestIOParamVals, params.DpiX(), params.DpiY());
      processed = true;
    }
  }
  if (!sDestPath.empty()) {
    const char last = sDestPath.back();
    const std::string folder = (last == '/' || last == '\\' || last == ':') ? sDestPath : sDestPath + "/";
    std::string name = NamePart(Object.Filename);
    if (name.empty() || name == "." || name == "..") throw EVXException("Unable to copy to: " + folder + name);
    // With deletion an earlier image of the same name is kept: it is gone
    // from the device.
    if (bDeleteFromSource && Written.count(name)) {
      int n = 2;
      while (Written.count(Numbered(name, n))) ++n;
      name = Numbered(name, n);
    }
    const std::string dest = folder + name;
    if (!p.CopyFileFromDevice(fSelectedDeviceID, Object.ID, dest)) throw EVXException("Unable to copy to: " + dest);
    Written.insert(name);
    processed = true;
    if (bDeleteFromSource) p.DeleteFromDevice(fSelectedDeviceID, Object.ID, true);
  }
  return processed;
}

bool TVXDcimAcquire::AcquireEx(bool bMultiple, TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamVals,
                               const TVXMultiCallBack& OnGetImage, const std::string& sDestPath,
                               bool bDeleteFromSource, const TVXProgressEvent& OnProgress) {
  bool result = false;
  if (!InitializeSources()) return false;
  std::unique_ptr<TVXBitmap> scratch;
  if (!DestBitmap && OnGetImage) {
    scratch = std::make_unique<TVXBitmap>();
    DestBitmap = scratch.get();
  }
  fAborting = false;
  auto progress = [&](int32_t per) {
    if (bMultiple && OnProgress) OnProgress(this, per);
  };
  try {
    if (fSelectedDeviceID.empty() && !fSources.empty()) {
      fSelectedDeviceID = fSources[0].DeviceID;
      fSelectedFolderID = fSources[0].FolderID;
    }
    if (fSelectedDeviceID.empty()) throw EVXException("No device available");
    progress(0);
    const std::string formats = fAcquireFormats.empty() ? VXGetAllFileFormatsFilter(true, true, true) : fAcquireFormats;
    TVXPortableDevices& p = *fPortableDevices;
    if (!p.FindFilesOfType(fSelectedDeviceID, fSelectedFolderID, formats, -1))
      throw EVXException("Cannot access device");
    const int count = p.ObjectCount();
    if (count == 0) {
      ShowError("No images were found on the specified device.");
      return false;
    }
    std::vector<TVXWPDObject> objects;
    for (int i = 0; i < count; ++i) objects.push_back(p.GetObjects(i));
    std::set<std::string> written;
    for (int i = 0; i < count; ++i) {
      progress(int32_t(std::nearbyint(double(i) * 100.0 / double(count))));
      if (ProcessObject(DestBitmap, DestIOParamVals, OnGetImage, sDestPath, bDeleteFromSource, objects[size_t(i)],
                        written))
        result = true;
      if (!bMultiple || fAborting) break;
    }
  } catch (const std::exception& e) {
    ShowError(std::string("Error encountered retrieving your images: ") + e.what());
    result = false;
  }
  return result;
}

bool TVXDcimAcquire::Acquire(TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamsVals) {
  return AcquireEx(false, DestBitmap, DestIOParamsVals, nullptr, "", false, nullptr);
}

bool TVXDcimAcquire::Acquire(const TVXMultiCallBack& OnGetImage, const TVXProgressEvent& OnProgress) {
  TVXBitmap scratch;
  return AcquireEx(true, &scratch, nullptr, OnGetImage, "", false, OnProgress);
}

bool TVXDcimAcquire::CopyImages(const std::string& sDestPath, const TVXProgressEvent& OnProgress,
                                bool bDeleteFromSource) {
  TVXBitmap scratch;
  return AcquireEx(true, &scratch, nullptr, nullptr, sDestPath, bDeleteFromSource, OnProgress);
}
