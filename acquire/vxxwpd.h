// TVXPortableDevices: browses the portable devices (phones, cameras, media
// players, memory cards): a device list, an active device and folder, and
// the objects of a listing or a search. Every operation that talks to a
// device opens its own connection and closes it before it returns; each
// step is reported through OnLog and the last failure kept in LastError.
// Failures are results (false, -1, empty text or record); only the creation
// of a platform object raises EVXException (RefreshDevices catches it).
//
// Paths name storages, then folders, by their friendly names separated by
// "\" ("Card\DCIM\100CAM"), without regard to case (A to Z), a trailing "\"
// optional. A name pattern is an upper-cased text with an optional leading
// "*" (contains) or trailing "*" (begins with); a lone "*" matches every
// name. Walks that descend skip an object ID met before in the same walk,
// so that a device that lists a folder below itself still ends.
//
// Texts are UTF-8. The unit's start-up (the acquisition library's) sets the
// client name "MyClient" and calls OleInitialize once; its shut-down calls
// OleUninitialize and clears the name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "acquire/wpd_records.h"

class TMemoryStream;

// The client name that the devices are told ("MyClient" from the start-up
// to the shut-down).
extern std::string VXWPDClientName;
void VXWPDStartup();
void VXWPDShutdown();

class TVXPortableDevices {
 public:
  TVXPortableDevices();
  ~TVXPortableDevices();
  TVXPortableDevices(const TVXPortableDevices&) = delete;
  TVXPortableDevices& operator=(const TVXPortableDevices&) = delete;

  // Rebuilds the device list; false (with LastError) when the platform
  // failed, the devices listed so far staying listed.
  bool RefreshDevices();
  int DeviceIDToIndex(const std::string& sDeviceID);
  // A copy of the record; an empty record outside the list.
  TVXPortableDevice GetDevices(int Index);
  int DeviceCount();

  // Lists a folder (empty: the device's top level) into the object list;
  // with bIncludeSubFolders the whole tree below it, unsorted. An empty
  // sDeviceID means the active device.
  bool NavigateToFolderID(const std::string& sDeviceID, const std::string& sFolderID, bool bIncludeSubFolders,
                          TVXWPDObjectTypes GetTypes);
  bool NavigateToFolderID(const std::string& sFolderID, bool bIncludeSubFolders, TVXWPDObjectTypes GetTypes);
  bool NavigateToFolderPath(const std::string& sDeviceID, const std::string& sPath, bool bIncludeSubFolders,
                            TVXWPDObjectTypes GetTypes);
  bool NavigateToFolderPath(const std::string& sPath, bool bIncludeSubFolders, TVXWPDObjectTypes GetTypes);
  bool NavigateToParent();
  // The files below a folder whose extension is in the ";"-separated list
  // (an empty list: every file), iMaxDepth levels down (-1: all, 0: the
  // folder's own).
  bool FindFilesOfType(const std::string& sDeviceID, const std::string& sFolderID,
                       const std::string& sFileExtensions, int iMaxDepth);
  bool FindFilesOfType(const std::string& sFolderID, const std::string& sFileExtensions, int iMaxDepth);
  // The objects below a folder whose name matches the pattern (files by
  // file name, folders by friendly name).
  bool FindFilesByName(const std::string& sDeviceID, const std::string& sFolderID, const std::string& sSearchText,
                       TVXWPDObjectTypes GetTypes, int iMaxDepth);
  bool FindFilesByName(const std::string& sFolderID, const std::string& sSearchText, TVXWPDObjectTypes GetTypes,
                       int iMaxDepth);
  // The object ID of the folder at sPath, or empty.
  std::string PathToFolderID(const std::string& sDeviceID, const std::string& sPath);
  std::string PathToFolderID(const std::string& sPath);

  int ObjectCount();
  int ObjectIDToIndex(const std::string& sObjectID);
  bool ObjectIsFolder(const std::string& sObjectID);
  bool ObjectIsFolder(int Index);
  TVXWPDObject GetObjects(int Index);

  bool GetObjectAdvancedProps(const std::string& sDeviceID, const std::string& sObjectID,
                              TVXWPDObjectAdvancedProps& DestProps);
  bool GetObjectAdvancedProps(const std::string& sObjectID, TVXWPDObjectAdvancedProps& DestProps);
  bool GetObjectAdvancedProps(int Index, TVXWPDObjectAdvancedProps& DestProps);
  std::string LookupObjectFriendlyName(const std::string& sDeviceID, const std::string& sObjectID);
  std::string LookupObjectFriendlyName(const std::string& sObjectID);
  std::string LookupDeviceFriendlyName(const std::string& sDeviceID);

  const std::string& ActiveDeviceID() const { return fActiveDeviceID; }
  void SetActiveDeviceID(const std::string& Value);
  const std::string& ActiveFolderID() const { return fActiveFolderID; }
  void SetActiveFolderID(const std::string& Value);
  const std::string& LastError() const { return fLastError; }
  const TVXPortableDeviceLogEvent& OnLog() const { return fOnLog; }
  void SetOnLog(TVXPortableDeviceLogEvent Value) { fOnLog = std::move(Value); }
  bool CanNavigateToParent() const;
  bool Sorted() const { return fSorted; }
  void SetSorted(bool Value) { fSorted = Value; }
  bool HideEmptyDevices() const { return fHideEmptyDevices; }
  void SetHideEmptyDevices(bool Value) { fHideEmptyDevices = Value; }

  // ---- transfers (acquire/wpd_transfers.cpp) ----
  // Each opens the device sDeviceID, moves the data in 1,024-byte chunks
  // and closes the device; the active device, folder and object list stay.
  //
  // Copies an object's data into a file, replacing it: the file appears
  // whole or not at all. A read of the device that fails ends the copy with
  // false ("Read failure: " logged, LastError "Unable to read object (n)").
  // The file system's errors raise.
  bool CopyFileFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                          const std::string& sDestFilename);
  // Copies an object's data into a memory stream at its position and leaves
  // the position at 0. An absent stream is created (owned by the caller)
  // once the object's data stream is open. A failed read: false, as above.
  bool CopyStreamFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                            std::unique_ptr<TMemoryStream>& ssDestStream);
  // Creates an object in sFolderID with the file's name and data. The first
  // write the device refuses ends the copy: the object is reverted, never
  // committed, and the answer is false.
  bool CopyFileToDevice(const std::string& sDeviceID, const std::string& sFolderID,
                        const std::string& sSourceFilename);
  // Deletes objects (with the objects below them when bDeleteSubObjects):
  // -1 when the device, its content or the deletion fails, otherwise the
  // number of results the device gives (one per ID). sResultText: the first
  // result as text.
  int DeleteFromDevice(const std::string& sDeviceID, const std::string& sObjectID, bool bDeleteSubObjects,
                       std::string& sResultText);
  int DeleteFromDevice(const std::string& sDeviceID, const std::string& sObjectID, bool bDeleteSubObjects);
  int DeleteFromDevice(const std::string& sDeviceID, const std::vector<std::string>& ssObjectIDs,
                       bool bDeleteSubObjects, std::string& sResultText);
  int DeleteFromDevice(const std::string& sDeviceID, const std::vector<std::string>& ssObjectIDs,
                       bool bDeleteSubObjects);

  // For the transfers: a connection to a device (see the .cpp), the log.
  bool WPDOpenDevice(const std::string& sDeviceID, IPortableDevice*& Device, std::string& Error);
  void DoLog(const std::string& Text);

 private:
  enum TWalkKind { wkNavigate, wkFilesOfType, wkByName };
  void CreateLists();
  void ClearObjects();
  void ClearDevices();
  void EnsureDevicesLoaded();
  void EnsureObjectsLoaded();
  bool DeviceHasContent(const std::string& ID);
  bool Walk(TWalkKind Kind, const std::string& sDeviceID, const std::string& sFolderID, bool bIncludeSubFolders,
            TVXWPDObjectTypes GetTypes, const std::string& ExtList, const std::string& SearchText, int MaxDepth);
  bool EnumerateObjects(IPortableDeviceContent* Content, IPortableDeviceProperties* Props,
                        const std::string& ParentID, const std::string& ExtList, const std::string& SearchText,
                        TVXWPDObjectTypes GetTypes, int MaxDepth, int Depth, const std::string& PathPrefix,
                        std::set<std::string>* Met);
  std::string FindFolderPath(IPortableDeviceContent* Content, IPortableDeviceProperties* Props,
                             const std::string& ID, const std::string& Prefix, const std::string& Wanted,
                             std::set<std::string>& Met);
  // Resolves sPath on the active device with a connection of its own; for
  // NavigateToFolderPath, lists the folder before that connection closes.
  bool ResolvePath(const std::string& sDeviceID, const std::string& sPath, std::string& FolderID,
                   bool Navigate, bool bIncludeSubFolders, TVXWPDObjectTypes GetTypes);

  // Opens the object's data and hands it to Copy: false when the device or
  // the data cannot be opened, or Copy answers a read failure.
  bool CopyFromDevice(const std::string& sDeviceID, const std::string& sObjectID,
                      const std::function<HRESULT(IStream* Data)>& Copy);
  int WPDDeleteObjects(const std::string& sDeviceID, const std::string& sObjectID,
                       const std::vector<std::string>* ssObjectIDs, bool bDeleteSubObjects, std::string& sResultText);

  std::vector<TVXPortableDevice> fDevices;
  std::vector<TVXWPDObject> fObjects;
  bool fListsCreated = false;
  bool fDevicesInitialized = false;
  bool fObjectsInitialized = false;
  bool fSorted = true;
  TVXPortableDeviceLogEvent fOnLog;
  std::string fLastError;
  std::string fActiveDeviceID;
  std::string fActiveFolderID;
  bool fHideEmptyDevices = false;
};

// The name pattern test (see above): false when either text is empty.
bool WPDMatchSearchText(const std::string& Pattern, const std::string& Name);
// The listing order: folders first, then by friendly name, A to Z without
// regard to case, other characters by code. Negative, 0 or positive.
int WPDCompareObjects(const TVXWPDObject& A, const TVXWPDObject& B);
