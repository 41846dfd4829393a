// The test driver of the portable devices: simulated devices over local
// folders or any camera store, a mount table of the test's own, and fault
// switches that make the device layer fail where a real device can.
//
// Faults are per device ID and stay until Reset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "acquire/camera_store.h"

namespace VXWPDSim {

// No simulated devices, no mounted volumes (an empty mount table), no
// faults, all counts 0.
void Reset();
// A folder-tree device (acquire/camera_store.h): each top-level folder of
// Folder is a storage. An empty FriendlyName gives the manager none.
void AddFolderDevice(const std::string& ID, const std::string& FriendlyName, const std::string& Folder,
                     bool ReadOnly);
// A device over any store (its ID, names and store as given).
void AddStoreDevice(const TVXStoreDevice& Device);
// Reads the mounted volumes from File, with every path of the table looked
// up below File's folder, as if that folder were the root: a line
// "/dev/sdz1 /media/user/CARD vfat rw 0 0" names the folder
// <File's folder>/media/user/CARD, and <File's folder>/dev/disk/by-label
// gives the labels.
void SetMountTable(const std::string& File);

// Open answers Result (0: no fault).
void SetOpenFailure(const std::string& DeviceID, HRESULT Result);
// Open answers E_ACCESSDENIED unless the client asks for read access only
// (WPD_CLIENT_DESIRED_ACCESS = GENERIC_READ), as a read-only device does.
void SetDenyUnlessReadAccess(const std::string& DeviceID, bool Deny);
// EnumObjects of a parent at that depth of the device's tree (the device
// object 0, its storages 1, ...) answers Result; a negative depth: none.
void SetEnumFailure(const std::string& DeviceID, int Depth, HRESULT Result);
// Data streams read from the device fail (STG_E_READFAULT) once Bytes bytes
// have been read; a negative count: never.
void SetReadErrorAfter(const std::string& DeviceID, int64_t Bytes);
// Writes to, and commits of, new objects' data streams answer Result.
void SetWriteFailure(const std::string& DeviceID, HRESULT Result);
void SetCommitFailure(const std::string& DeviceID, HRESULT Result);
// Faults of one object by its file name (on every device): reads of its
// data fail (STG_E_READFAULT) once AfterBytes bytes have been read; writes
// to, or the commit of, a new object of that name fail (STG_E_WRITEFAULT,
// STG_E_MEDIUMFULL).
void FailRead(const std::string& Name, int64_t AfterBytes);
void FailWrite(const std::string& Name);
void FailCommit(const std::string& Name);
// The device ID of libgphoto2's camera Model on Port ("Directory Browse",
// "disk:/some/folder"), which the device list then holds; empty when
// libgphoto2 is unavailable or does not know the model or the port.
std::string AddGPhotoCamera(const std::string& Model, const std::string& Port);

// The number of Open calls for the device since Reset.
int OpenCalls(const std::string& DeviceID);

// What the device layer asks of the driver.
struct TFaults {
  HRESULT OpenFailure = S_OK;
  bool DenyUnlessReadAccess = false;
  int EnumFailureDepth = -1;
  HRESULT EnumFailure = S_OK;
  int64_t ReadErrorAfter = -1;
  HRESULT WriteFailure = S_OK;
  HRESULT CommitFailure = S_OK;
};
TFaults FaultsOf(const std::string& DeviceID);
// The faults of the object named Name: Device's (those of its connection),
// with the object's own in their place where it has them.
TFaults WithNameFaults(TFaults Device, const std::string& Name);
void CountOpen(const std::string& DeviceID);
// The device source of the simulated devices.
void AddDevices(std::vector<TVXStoreDevice>& Devices);

}  // namespace VXWPDSim
