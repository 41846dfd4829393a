// The portable-device browser.
#include "acquire/vxxwpd.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "acquire/camera_store.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "platform/utf.h"

std::string VXWPDClientName;

void VXWPDStartup() {
  VXWPDClientName = "MyClient";
  OleInitialize(nullptr);
}

void VXWPDShutdown() {
  OleUninitialize();
  VXWPDClientName.clear();
}

namespace {

// Holds a connection and closes it on every path out.
class TConnection {
 public:
  ~TConnection() {
    if (fDevice) {
      fDevice->Close();
      fDevice->Release();
    }
  }
  IPortableDevice*& Device() { return fDevice; }
  IPortableDevice* operator->() const { return fDevice; }

 private:
  IPortableDevice* fDevice = nullptr;
};

// Opens a device (errors into Error) and gets its content and the
// content's properties (absent when the content has none): false when the
// open or the content fails.
bool OpenContent(TVXPortableDevices& P, const std::string& ID, std::string& Error, TConnection& C,
                 TVXComPtr<IPortableDeviceContent>& Content, TVXComPtr<IPortableDeviceProperties>& Props) {
  if (!P.WPDOpenDevice(ID, C.Device(), Error)) return false;
  if (FAILED(C->Content(&Content)) || !Content) return false;
  if (FAILED(Content->Properties(&Props))) Props.Reset();
  return true;
}

std::string Trim(const std::string& S) { return VXTrimAnsi(S); }

// Unicode upper case (C.UTF-8 rules).
std::string UpperUnicode(const std::string& S) {
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  std::string out;
  out.reserve(S.size());
  for (size_t i = 0; i < S.size();) {
    uint32_t c = VXNextUTF8(S, i);
    if (c < 0x80) {
      if (c >= 'a' && c <= 'z') c -= 32;
    } else if (utf8) {
      c = uint32_t(towupper_l(wint_t(c), utf8));
    }
    VXAppendUTF8(out, c);
  }
  return out;
}

// Compares with the letters a to z taken as A to Z, other bytes by value.
int CompareAZ(const std::string& A, const std::string& B) {
  const size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    uint8_t a = uint8_t(A[i]), b = uint8_t(B[i]);
    if (a >= 'a' && a <= 'z') a = uint8_t(a - 32);
    if (b >= 'a' && b <= 'z') b = uint8_t(b - 32);
    if (a != b) return a < b ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

std::string Text(IPortableDeviceValues* Values, REFPROPERTYKEY Key) {
  LPWSTR s = nullptr;
  if (!Values || FAILED(Values->GetStringValue(Key, &s)) || !s) return {};
  std::string r = s;
  CoTaskMemFree(s);
  return r;
}

// Reads one of the manager's device texts in its two calls.
using TManagerText = HRESULT (TPortableDeviceManager::*)(LPCWSTR, LPWSTR, DWORD*);
std::string ManagerText(TPortableDeviceManager& M, TManagerText Get, const std::string& ID) {
  try {
    DWORD count = 0;
    if ((M.*Get)(ID.c_str(), nullptr, &count) != S_OK || count == 0) return {};
    std::string buffer(count, '\0');
    if ((M.*Get)(ID.c_str(), buffer.data(), &count) != S_OK) return {};
    const size_t zero = buffer.find('\0');
    if (zero != std::string::npos) buffer.resize(zero);
    return Trim(buffer);
  } catch (...) {
    return {};
  }
}

// The device's top-level object: the first child of the empty parent ID,
// "DEVICE" when there is none.
std::string RootObjectID(IPortableDevice* Device) {
  std::string result = WPD_DEVICE_OBJECT_ID;
  TVXComPtr<IPortableDeviceContent> content;
  if (FAILED(Device->Content(&content)) || !content) return result;
  TVXComPtr<IEnumPortableDeviceObjectIDs> ids;
  if (FAILED(content->EnumObjects(0, "", nullptr, &ids)) || !ids) return result;
  ids->Reset();
  LPWSTR id = nullptr;
  ULONG fetched = 0;
  if (SUCCEEDED(ids->Next(1, &id, &fetched)) && fetched == 1 && id) result = id;
  if (fetched == 1) CoTaskMemFree(id);
  return result;
}

// The next ID of an enumerator, false at the end.
bool NextID(IEnumPortableDeviceObjectIDs* Ids, std::string& ID) {
  LPWSTR id = nullptr;
  ULONG fetched = 0;
  if (FAILED(Ids->Next(1, &id, &fetched)) || fetched != 1) return false;
  ID = id ? id : "";
  CoTaskMemFree(id);
  return true;
}

bool IsFolderObject(IPortableDeviceValues* Values) {
  GUID g;
  if (!Values || FAILED(Values->GetGuidValue(WPD_OBJECT_CONTENT_TYPE, &g))) return false;
  return IsEqualGUID(g, WPD_CONTENT_TYPE_FOLDER) || IsEqualGUID(g, WPD_CONTENT_TYPE_FUNCTIONAL_OBJECT);
}

// One object's record: all of its supported properties are fetched.
TVXWPDObject ReadObject(IPortableDeviceProperties* Props, const std::string& ID) {
  TVXWPDObject o;
  TVXComPtr<IPortableDeviceValues> values;
  if (Props) {
    TVXComPtr<IPortableDeviceKeyCollection> keys;
    Props->GetSupportedProperties(ID.c_str(), &keys);
    if (FAILED(Props->GetValues(ID.c_str(), keys.Get(), &values))) values.Reset();
  }
  if (values) {
    o.Filename = Text(values.Get(), WPD_OBJECT_ORIGINAL_FILE_NAME);
    if (Trim(o.Filename).empty()) o.Filename = ID;
    o.FriendlyName = Text(values.Get(), WPD_OBJECT_NAME);
  }
  o.ID = ID;
  o.Path = o.FriendlyName;
  o.ObjectType = IsFolderObject(values.Get()) ? vxwFolder : vxwFile;
  return o;
}

std::string Signed(HRESULT hr) { return std::to_string(int32_t(hr)); }

}  // namespace

bool WPDMatchSearchText(const std::string& Pattern, const std::string& Name) {
  if (Pattern.empty() || Name.empty()) return false;
  if (Pattern == "*") return true;
  std::string rest = UpperUnicode(Pattern);
  const bool leading = rest.front() == '*';
  if (leading) rest.erase(0, 1);
  const bool trailing = !rest.empty() && rest.back() == '*';
  if (trailing) rest.pop_back();
  const std::string name = UpperUnicode(Name);
  if (leading) return name.find(rest) != std::string::npos;
  if (trailing) return name.compare(0, rest.size(), rest) == 0;
  return name == rest;
}

int WPDCompareObjects(const TVXWPDObject& A, const TVXWPDObject& B) {
  if (A.ObjectType != B.ObjectType) return A.ObjectType == vxwFolder ? -1 : 1;
  return CompareAZ(A.FriendlyName, B.FriendlyName);
}

// ---------------------------------------------------------------------------

TVXPortableDevices::TVXPortableDevices() = default;

TVXPortableDevices::~TVXPortableDevices() { ClearDevices(); }

void TVXPortableDevices::CreateLists() { fListsCreated = true; }

void TVXPortableDevices::ClearObjects() { fObjects.clear(); }

void TVXPortableDevices::ClearDevices() {
  ClearObjects();
  if (fDevicesInitialized) {
    fDevices.clear();
    fDevicesInitialized = false;
  }
}

void TVXPortableDevices::DoLog(const std::string& Text) {
  if (fOnLog) fOnLog(this, Text);
}

void TVXPortableDevices::EnsureDevicesLoaded() {
  if (!fDevicesInitialized || fDevices.empty()) RefreshDevices();
}

void TVXPortableDevices::EnsureObjectsLoaded() {
  if (!fObjectsInitialized)
    NavigateToFolderID(fActiveDeviceID, fActiveFolderID, false, VXWPDTypes(vxwFile, vxwFolder));
}

void TVXPortableDevices::SetActiveDeviceID(const std::string& Value) {
  if (Value == fActiveDeviceID) return;
  fActiveDeviceID = Value;
  fActiveFolderID.clear();
  fObjectsInitialized = false;
}

void TVXPortableDevices::SetActiveFolderID(const std::string& Value) {
  if (Value == fActiveFolderID) return;
  fActiveFolderID = Value;
  fObjectsInitialized = false;
}

bool TVXPortableDevices::CanNavigateToParent() const {
  return !fActiveFolderID.empty() && fActiveFolderID != WPD_DEVICE_OBJECT_ID;
}

bool TVXPortableDevices::WPDOpenDevice(const std::string& sDeviceID, IPortableDevice*& Device, std::string& Error) {
  DoLog("Connecting to: " + sDeviceID);
  Device = CoPortableDevice::Create();
  TVXComPtr<IPortableDeviceValues> values(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
  DoLog("DeviceValues: Valid");
  values->SetStringValue(WPD_CLIENT_NAME, VXWPDClientName.c_str());
  values->SetUnsignedIntegerValue(WPD_CLIENT_MAJOR_VERSION, 1);
  values->SetUnsignedIntegerValue(WPD_CLIENT_MINOR_VERSION, 0);
  values->SetUnsignedIntegerValue(WPD_CLIENT_REVISION, 0);
  HRESULT hr = Device->Open(sDeviceID.c_str(), values.Get());
  if (hr == E_ACCESSDENIED) {
    values->SetUnsignedIntegerValue(WPD_CLIENT_DESIRED_ACCESS, GENERIC_READ);
    hr = Device->Open(sDeviceID.c_str(), values.Get());
  }
  if (hr == S_OK) {
    DoLog("Connected to: " + sDeviceID);
    return true;
  }
  DoLog("PortableDev.Open Failure: " + Signed(hr));
  Error = "Unable to open device (" + Signed(hr) + ")";
  // Not open: nothing to close, only the object to give back.
  Device->Release();
  Device = nullptr;
  return false;
}

bool TVXPortableDevices::DeviceHasContent(const std::string& ID) {
  if (ID.empty()) return false;
  TConnection c;
  TVXComPtr<IPortableDeviceContent> content;
  TVXComPtr<IPortableDeviceProperties> props;
  if (!OpenContent(*this, ID, fLastError, c, content, props)) return false;
  TVXComPtr<IEnumPortableDeviceObjectIDs> ids;
  if (FAILED(content->EnumObjects(0, RootObjectID(c.Device()).c_str(), nullptr, &ids)) || !ids) return false;
  ids->Reset();
  std::string first;
  return NextID(ids.Get(), first);
}

bool TVXPortableDevices::RefreshDevices() {
  fLastError.clear();
  CreateLists();
  ClearDevices();
  fDevicesInitialized = true;
  fObjectsInitialized = false;
  try {
    TPortableDeviceManager manager;
    HRESULT hr = manager.RefreshDeviceList();
    if (hr != S_OK) throw EVXException("Failed to refresh device list (" + Signed(hr) + ")");
    DWORD count = 0;
    hr = manager.GetDevices(nullptr, &count);
    if (hr != S_OK) throw EVXException("Failed to get device (" + Signed(hr) + ")");
    DoLog("Device count: " + std::to_string(count));
    std::vector<LPWSTR> ids;
    if (count > 0) {
      ids.assign(count, nullptr);
      hr = manager.GetDevices(ids.data(), &count);
      if (hr != S_OK) {
        for (LPWSTR p : ids) CoTaskMemFree(p);
        throw EVXException("Failed to get device (" + Signed(hr) + ")");
      }
      ids.resize(std::min<size_t>(count, ids.size()));
      DoLog("Enumerate devices");
    }
    std::vector<std::string> names;
    for (LPWSTR p : ids) {
      names.push_back(p ? p : "");
      CoTaskMemFree(p);
    }
    for (const std::string& raw : names) {
      const std::string id = Trim(raw);
      DoLog("Device ID: " + id);
      if (id.empty()) continue;
      if (fHideEmptyDevices && !DeviceHasContent(id)) continue;
      TVXPortableDevice d;
      d.ID = id;
      d.FriendlyName = ManagerText(manager, &TPortableDeviceManager::GetDeviceFriendlyName, raw);
      DoLog("FriendlyName: " + d.FriendlyName);
      d.Description = ManagerText(manager, &TPortableDeviceManager::GetDeviceDescription, raw);
      DoLog("DeviceDescription: " + d.Description);
      d.Manufacturer = ManagerText(manager, &TPortableDeviceManager::GetDeviceManufacturer, raw);
      DoLog("DeviceManufacturer: " + d.Manufacturer);
      // A drive letter path, or a volume the device layer mounts as a drive.
      TVXStoreDevice store;
      d.IsDrive = d.FriendlyName.find(":\\") != std::string::npos || (VXFindStoreDevice(raw, store) && store.IsDrive);
      if (d.FriendlyName.empty()) d.FriendlyName = d.ID;
      fDevices.push_back(d);
    }
    return true;
  } catch (const std::exception& e) {
    DoLog(std::string("Exception: (") + e.what() + ")");
    fLastError = e.what();
    return false;
  }
}

int TVXPortableDevices::DeviceIDToIndex(const std::string& sDeviceID) {
  EnsureDevicesLoaded();
  for (size_t i = 0; i < fDevices.size(); ++i)
    if (fDevices[i].ID == sDeviceID) return int(i);
  return -1;
}

TVXPortableDevice TVXPortableDevices::GetDevices(int Index) {
  EnsureDevicesLoaded();
  if (Index < 0 || size_t(Index) >= fDevices.size()) return {};
  return fDevices[size_t(Index)];
}

int TVXPortableDevices::DeviceCount() {
  EnsureDevicesLoaded();
  return int(fDevices.size());
}

int TVXPortableDevices::ObjectCount() {
  EnsureObjectsLoaded();
  return int(fObjects.size());
}

int TVXPortableDevices::ObjectIDToIndex(const std::string& sObjectID) {
  EnsureObjectsLoaded();
  for (size_t i = 0; i < fObjects.size(); ++i)
    if (fObjects[i].ID == sObjectID) return int(i);
  return -1;
}

bool TVXPortableDevices::ObjectIsFolder(const std::string& sObjectID) { return ObjectIsFolder(ObjectIDToIndex(sObjectID)); }

bool TVXPortableDevices::ObjectIsFolder(int Index) {
  EnsureObjectsLoaded();
  return Index >= 0 && size_t(Index) < fObjects.size() && fObjects[size_t(Index)].ObjectType == vxwFolder;
}

TVXWPDObject TVXPortableDevices::GetObjects(int Index) {
  EnsureObjectsLoaded();
  if (Index < 0 || size_t(Index) >= fObjects.size()) return {};
  return fObjects[size_t(Index)];
}

// ---------------------------------------------------------------------------
// Listings

bool TVXPortableDevices::EnumerateObjects(IPortableDeviceContent* Content, IPortableDeviceProperties* Props,
                                          const std::string& ParentID, const std::string& ExtList,
                                          const std::string& SearchText, TVXWPDObjectTypes GetTypes, int MaxDepth,
                                          int Depth, const std::string& PathPrefix, std::set<std::string>* Met) {
  bool result = true;
  if (!Content) return true;
  TVXComPtr<IEnumPortableDeviceObjectIDs> ids;
  const HRESULT hr = Content->EnumObjects(0, ParentID.c_str(), nullptr, &ids);
  if (hr != S_OK || !ids) {
    DoLog("EnumObjects Failure: " + Signed(hr));
    fLastError = "Unable to enumerate objects (" + Signed(hr) + ")";
    if (Depth == 0) result = false;
    return result;
  }
  DoLog("Enumerate Folder: " + ParentID);
  ids->Reset();
  std::string id;
  while (NextID(ids.Get(), id)) {
    if (Met && !Met->insert(id).second) continue;  // met before in this walk: a cycle
    TVXWPDObject o = ReadObject(Props, id);
    std::string path = o.FriendlyName;
    if (!PathPrefix.empty()) path = (PathPrefix.back() == '\\' ? PathPrefix : PathPrefix + "\\") + o.FriendlyName;
    const bool listed =
        VXWPDHasType(GetTypes, o.ObjectType) && (ExtList.empty() || VXFileExtInList(o.Filename, ExtList)) &&
        (SearchText.empty() || WPDMatchSearchText(SearchText, o.ObjectType == vxwFile ? o.Filename : o.FriendlyName));
    if (listed) {
      o.Path = path;
      fObjects.push_back(o);
    }
    if (o.ObjectType == vxwFolder && (MaxDepth == -1 || Depth < MaxDepth)) {
      DoLog("Process sub-folder at depth " + std::to_string(Depth + 1));
      result = EnumerateObjects(Content, Props, id, ExtList, SearchText, GetTypes, MaxDepth, Depth + 1, path, Met);
    }
  }
  return result;
}

bool TVXPortableDevices::Walk(TWalkKind Kind, const std::string& sDeviceID, const std::string& sFolderID,
                              bool bIncludeSubFolders, TVXWPDObjectTypes GetTypes, const std::string& ExtList,
                              const std::string& SearchText, int MaxDepth) {
  fLastError.clear();
  if (!fListsCreated) CreateLists();
  if (!sDeviceID.empty()) fActiveDeviceID = sDeviceID;
  fActiveFolderID = sFolderID;
  fObjectsInitialized = true;
  ClearObjects();
  if (Kind != wkNavigate && fActiveDeviceID.empty()) return false;
  TConnection c;
  TVXComPtr<IPortableDeviceContent> content;
  TVXComPtr<IPortableDeviceProperties> props;
  if (!OpenContent(*this, fActiveDeviceID, fLastError, c, content, props)) return false;
  std::set<std::string> met;
  std::set<std::string>* guard = MaxDepth != 0 ? &met : nullptr;
  bool result;
  if (!sFolderID.empty()) {
    met.insert(sFolderID);
    result = EnumerateObjects(content.Get(), props.Get(), sFolderID, ExtList, SearchText, GetTypes, MaxDepth, 0,
                              sFolderID, guard);
  } else {
    const std::string root = RootObjectID(c.Device());
    met.insert(root);
    result = EnumerateObjects(content.Get(), props.Get(), root, ExtList, SearchText, GetTypes, MaxDepth, 0, "", guard);
  }
  if (fSorted) {
    const bool sort = Kind == wkNavigate ? !bIncludeSubFolders : fObjects.size() < 5000;
    if (sort)
      std::stable_sort(fObjects.begin(), fObjects.end(),
                       [](const TVXWPDObject& a, const TVXWPDObject& b) { return WPDCompareObjects(a, b) < 0; });
  }
  return result;
}

bool TVXPortableDevices::NavigateToFolderID(const std::string& sDeviceID, const std::string& sFolderID,
                                            bool bIncludeSubFolders, TVXWPDObjectTypes GetTypes) {
  return Walk(wkNavigate, sDeviceID, sFolderID, bIncludeSubFolders, GetTypes, "", "", bIncludeSubFolders ? -1 : 0);
}

bool TVXPortableDevices::NavigateToFolderID(const std::string& sFolderID, bool bIncludeSubFolders,
                                            TVXWPDObjectTypes GetTypes) {
  return NavigateToFolderID("", sFolderID, bIncludeSubFolders, GetTypes);
}

bool TVXPortableDevices::FindFilesOfType(const std::string& sDeviceID, const std::string& sFolderID,
                                         const std::string& sFileExtensions, int iMaxDepth) {
  return Walk(wkFilesOfType, sDeviceID, sFolderID, false, VXWPDTypes(vxwFile), sFileExtensions, "", iMaxDepth);
}

bool TVXPortableDevices::FindFilesOfType(const std::string& sFolderID, const std::string& sFileExtensions,
                                         int iMaxDepth) {
  return FindFilesOfType("", sFolderID, sFileExtensions, iMaxDepth);
}

bool TVXPortableDevices::FindFilesByName(const std::string& sDeviceID, const std::string& sFolderID,
                                         const std::string& sSearchText, TVXWPDObjectTypes GetTypes, int iMaxDepth) {
  return Walk(wkByName, sDeviceID, sFolderID, false, GetTypes, "", sSearchText, iMaxDepth);
}

bool TVXPortableDevices::FindFilesByName(const std::string& sFolderID, const std::string& sSearchText,
                                         TVXWPDObjectTypes GetTypes, int iMaxDepth) {
  return FindFilesByName("", sFolderID, sSearchText, GetTypes, iMaxDepth);
}

// ---------------------------------------------------------------------------
// Paths

std::string TVXPortableDevices::FindFolderPath(IPortableDeviceContent* Content, IPortableDeviceProperties* Props,
                                               const std::string& ID, const std::string& Prefix,
                                               const std::string& Wanted, std::set<std::string>& Met) {
  TVXComPtr<IEnumPortableDeviceObjectIDs> ids;
  const HRESULT hr = Content->EnumObjects(0, ID.c_str(), nullptr, &ids);
  if (hr != S_OK || !ids) {
    DoLog("EnumObjects Failure: " + Signed(hr));
    return {};
  }
  DoLog("Enumerate Folder: " + ID);
  ids->Reset();
  std::string child;
  while (NextID(ids.Get(), child)) {
    if (!Met.insert(child).second) continue;  // a cycle
    const TVXWPDObject o = ReadObject(Props, child);
    if (o.ObjectType != vxwFolder) continue;
    const std::string path = Prefix + o.FriendlyName + "\\";
    if (CompareAZ(path, Wanted) == 0) return child;
    const std::string upperPath = UpperUnicode(path);
    if (UpperUnicode(Wanted).compare(0, upperPath.size(), upperPath) == 0) {
      DoLog("Process sub-folder...");
      const std::string found = FindFolderPath(Content, Props, child, path, Wanted, Met);
      if (!found.empty()) return found;
    }
  }
  return {};
}

bool TVXPortableDevices::ResolvePath(const std::string& sDeviceID, const std::string& sPath, std::string& FolderID,
                                     bool Navigate, bool bIncludeSubFolders, TVXWPDObjectTypes GetTypes) {
  FolderID.clear();
  fLastError.clear();
  if (sPath.empty()) return false;
  if (!sDeviceID.empty()) fActiveDeviceID = sDeviceID;
  TConnection c;
  TVXComPtr<IPortableDeviceContent> content;
  TVXComPtr<IPortableDeviceProperties> props;
  if (!OpenContent(*this, fActiveDeviceID, fLastError, c, content, props)) return false;
  const std::string wanted = sPath.back() == '\\' ? sPath : sPath + "\\";
  const std::string root = RootObjectID(c.Device());
  std::set<std::string> met{root};
  FolderID = FindFolderPath(content.Get(), props.Get(), root, "", wanted, met);
  if (FolderID.empty()) {
    fLastError = "Unable to locate path: " + sPath;
    return false;
  }
  if (Navigate) return NavigateToFolderID(fActiveDeviceID, FolderID, bIncludeSubFolders, GetTypes);
  return true;
}

std::string TVXPortableDevices::PathToFolderID(const std::string& sDeviceID, const std::string& sPath) {
  std::string id;
  ResolvePath(sDeviceID, sPath, id, false, false, 0);
  return id;
}

std::string TVXPortableDevices::PathToFolderID(const std::string& sPath) { return PathToFolderID("", sPath); }

bool TVXPortableDevices::NavigateToFolderPath(const std::string& sDeviceID, const std::string& sPath,
                                              bool bIncludeSubFolders, TVXWPDObjectTypes GetTypes) {
  std::string id;
  return ResolvePath(sDeviceID, sPath, id, true, bIncludeSubFolders, GetTypes);
}

bool TVXPortableDevices::NavigateToFolderPath(const std::string& sPath, bool bIncludeSubFolders,
                                              TVXWPDObjectTypes GetTypes) {
  return NavigateToFolderPath("", sPath, bIncludeSubFolders, GetTypes);
}

bool TVXPortableDevices::NavigateToParent() {
  if (fActiveFolderID.empty()) return false;
  TVXWPDObjectAdvancedProps props;
  if (!GetObjectAdvancedProps(fActiveDeviceID, fActiveFolderID, props)) return false;
  return NavigateToFolderID(fActiveDeviceID, props.ParentID, false, VXWPDTypes(vxwFile, vxwFolder));
}

// ---------------------------------------------------------------------------
// Properties

bool TVXPortableDevices::GetObjectAdvancedProps(const std::string& sDeviceID, const std::string& sObjectID,
                                                TVXWPDObjectAdvancedProps& DestProps) {
  DestProps = TVXWPDObjectAdvancedProps{};
  if (sDeviceID.empty()) return false;
  TConnection c;
  TVXComPtr<IPortableDeviceContent> content;
  TVXComPtr<IPortableDeviceProperties> props;
  if (!OpenContent(*this, sDeviceID, fLastError, c, content, props)) return false;
  if (!props) return false;
  TVXComPtr<IPortableDeviceKeyCollection> keys(
      VXCreateComObject<IPortableDeviceKeyCollection>(CLSID_PortableDeviceKeyCollection));
  for (const PROPERTYKEY& k :
       {WPD_OBJECT_PARENT_ID, WPD_OBJECT_NAME, WPD_OBJECT_ORIGINAL_FILE_NAME, WPD_OBJECT_PERSISTENT_UNIQUE_ID,
        WPD_OBJECT_FORMAT, WPD_OBJECT_CONTENT_TYPE, WPD_OBJECT_ISHIDDEN, WPD_OBJECT_ISSYSTEM,
        WPD_OBJECT_DATE_CREATED, WPD_OBJECT_DATE_MODIFIED, WPD_OBJECT_SIZE})
    keys->Add(k);
  TVXComPtr<IPortableDeviceValues> values;
  if (FAILED(props->GetValues(sObjectID.c_str(), keys.Get(), &values)) || !values) return false;
  DestProps.ObjectID = sObjectID;
  DestProps.ParentID = Text(values.Get(), WPD_OBJECT_PARENT_ID);
  DestProps.FriendlyName = Text(values.Get(), WPD_OBJECT_NAME);
  DestProps.Filename = Text(values.Get(), WPD_OBJECT_ORIGINAL_FILE_NAME);
  DestProps.PersistentUniqueID = Text(values.Get(), WPD_OBJECT_PERSISTENT_UNIQUE_ID);
  DestProps.ObjectFormat = WPDObjectFormatFromString(Text(values.Get(), WPD_OBJECT_FORMAT));
  DestProps.ContentType = WPDContentTypeFromString(Text(values.Get(), WPD_OBJECT_CONTENT_TYPE));
  BOOL b = 0;
  DestProps.IsHidden = SUCCEEDED(values->GetBoolValue(WPD_OBJECT_ISHIDDEN, &b)) && b > 0;
  b = 0;
  DestProps.IsSystem = SUCCEEDED(values->GetBoolValue(WPD_OBJECT_ISSYSTEM, &b)) && b > 0;
  for (auto [key, field] : {std::pair{WPD_OBJECT_DATE_CREATED, &DestProps.DateCreated},
                            std::pair{WPD_OBJECT_DATE_MODIFIED, &DestProps.DateModified}}) {
    PROPVARIANT v;
    if (SUCCEEDED(values->GetValue(key, &v)) && v.vt == VT_DATE) *field = v.date;
    PropVariantClear(&v);
  }
  uint64_t size = 0;
  if (SUCCEEDED(values->GetUnsignedLargeIntegerValue(WPD_OBJECT_SIZE, &size))) DestProps.SizeBytes = size;
  return true;
}

bool TVXPortableDevices::GetObjectAdvancedProps(const std::string& sObjectID, TVXWPDObjectAdvancedProps& DestProps) {
  return GetObjectAdvancedProps(fActiveDeviceID, sObjectID, DestProps);
}

bool TVXPortableDevices::GetObjectAdvancedProps(int Index, TVXWPDObjectAdvancedProps& DestProps) {
  EnsureObjectsLoaded();
  const std::string id = (Index >= 0 && size_t(Index) < fObjects.size()) ? fObjects[size_t(Index)].ID : "";
  return GetObjectAdvancedProps(fActiveDeviceID, id, DestProps);
}

std::string TVXPortableDevices::LookupObjectFriendlyName(const std::string& sDeviceID, const std::string& sObjectID) {
  if (!sDeviceID.empty()) fActiveDeviceID = sDeviceID;
  if (fActiveDeviceID.empty()) return {};
  TConnection c;
  TVXComPtr<IPortableDeviceContent> content;
  TVXComPtr<IPortableDeviceProperties> props;
  if (!OpenContent(*this, fActiveDeviceID, fLastError, c, content, props)) return {};
  if (!props) return {};
  TVXComPtr<IPortableDeviceKeyCollection> keys(
      VXCreateComObject<IPortableDeviceKeyCollection>(CLSID_PortableDeviceKeyCollection));
  keys->Add(WPD_OBJECT_NAME);
  TVXComPtr<IPortableDeviceValues> values;
  if (FAILED(props->GetValues(sObjectID.c_str(), keys.Get(), &values)) || !values) return {};
  return Text(values.Get(), WPD_OBJECT_NAME);
}

std::string TVXPortableDevices::LookupObjectFriendlyName(const std::string& sObjectID) {
  return LookupObjectFriendlyName("", sObjectID);
}

std::string TVXPortableDevices::LookupDeviceFriendlyName(const std::string& sDeviceID) {
  const int i = DeviceIDToIndex(sDeviceID);
  return i < 0 ? std::string() : fDevices[size_t(i)].FriendlyName;
}
