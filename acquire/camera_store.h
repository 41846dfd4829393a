// Camera stores: the devices that the portable-device classes present, each
// a tree of storages, folders and files behind one interface.
//
//   device   the top-level object "DEVICE"; its children are the storages
//   storage  a functional object; holds folders and files
//   folder   holds folders and files
//   file     data with a size
//
// Object IDs are stable for as long as the object exists. The stores:
//   folder tree     a local folder is a device, each of its top-level
//                   folders a storage (files at the top level are not part of
//                   the device); IDs are the paths below the device folder
//                   with "/"; names and original file names are the file
//                   names; children come in byte order of their names;
//                   symbolic links to folders are not followed (left out).
//   mounted volume  a removable volume of the mount table (see
//                   acquire/mount_table.h) holding a DCIM folder: a folder
//                   tree whose one storage is the volume's root.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_com.h"

enum TVXStoreKind { vxskDevice, vxskStorage, vxskFolder, vxskFile };

struct TVXStoreEntry {
  std::string ID;
  std::string ParentID;  // empty for the device object
  std::string Name;      // the object's name, and its original file name
  TVXStoreKind Kind = vxskFile;
  uint64_t Size = 0;            // files
  double DateCreated = 0;       // OLE automation dates, local time
  double DateModified = 0;
  bool Hidden = false;
  bool System = false;
};

class TVXCameraStore {
 public:
  virtual ~TVXCameraStore() = default;
  virtual bool ReadOnly() const = 0;
  // The children of an object in the store's order ("DEVICE" gives the
  // storages). Errors: HRESULT_FROM_WIN32(ERROR_NOT_FOUND) for an unknown ID,
  // the file system's error otherwise.
  virtual HRESULT Children(const std::string& ID, std::vector<std::string>& IDs) = 0;
  virtual HRESULT Entry(const std::string& ID, TVXStoreEntry& E) = 0;
  // A read stream over a file's data.
  virtual HRESULT OpenRead(const std::string& ID, IStream** Stream) = 0;
  // A new file Name in folder or storage ParentID: the stream takes its data
  // and the object appears, whole, on the stream's Commit (an existing
  // object of that name: HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)); released
  // without a Commit, nothing appears. NewID is the ID it gets.
  virtual HRESULT CreateFile(const std::string& ParentID, const std::string& Name, IStream** Stream,
                             std::string& NewID) = 0;
  virtual HRESULT CreateFolder(const std::string& ParentID, const std::string& Name, std::string& NewID) = 0;
  // Deletes a file or folder; a folder that is not empty only with
  // Recursive. The device and its storages are not deleted.
  virtual HRESULT Delete(const std::string& ID, bool Recursive) = 0;
};

// A store over a local folder (see above). With StorageIsRoot the device has
// one storage, the folder itself, named StorageName.
std::shared_ptr<TVXCameraStore> VXCreateFolderTreeStore(const std::string& Folder, bool ReadOnly,
                                                        const std::string& DeviceName, bool StorageIsRoot = false,
                                                        const std::string& StorageName = "");

// One device as the device manager lists it.
struct TVXStoreDevice {
  std::string ID;
  std::string FriendlyName;
  std::string Description;
  std::string Manufacturer;
  bool IsDrive = false;  // a mounted volume
  std::shared_ptr<TVXCameraStore> Store;
};

// A source of devices (simulated folders, mounted volumes, cameras): adds
// its devices to the list.
using TVXStoreDeviceSource = void (*)(std::vector<TVXStoreDevice>& Devices);
void VXAddStoreDeviceSource(TVXStoreDeviceSource Source);
// Every device of every source, in the order of the sources.
std::vector<TVXStoreDevice> VXListStoreDevices();
// The device with that ID, or false.
bool VXFindStoreDevice(const std::string& ID, TVXStoreDevice& Device);
