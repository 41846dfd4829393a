// The portable devices' test driver.
#include "acquire/wpd_sim.h"

#include <map>
#include <mutex>

#include "acquire/gphoto2_store.h"
#include "acquire/mount_table.h"

namespace {

std::mutex gLock;
std::vector<TVXStoreDevice> gDevices;
std::map<std::string, VXWPDSim::TFaults> gFaults;
std::map<std::string, int> gOpens;
std::map<std::string, VXWPDSim::TFaults> gNameFaults;

template <class F>
void ChangeName(const std::string& Name, F f) {
  std::lock_guard<std::mutex> guard(gLock);
  f(gNameFaults[Name]);
}

template <class F>
void Change(const std::string& DeviceID, F f) {
  std::lock_guard<std::mutex> guard(gLock);
  f(gFaults[DeviceID]);
}

}  // namespace

namespace VXWPDSim {

void Reset() {
  {
    std::lock_guard<std::mutex> guard(gLock);
    gDevices.clear();
    gFaults.clear();
    gOpens.clear();
    gNameFaults.clear();
  }
  VXGPhoto2RemoveCameras();
  VXSetMountTableLocation("", "");
}

void AddFolderDevice(const std::string& ID, const std::string& FriendlyName, const std::string& Folder,
                     bool ReadOnly) {
  TVXStoreDevice d;
  d.ID = ID;
  d.FriendlyName = FriendlyName;
  d.Description = "Folder device";
  d.Store = VXCreateFolderTreeStore(Folder, ReadOnly, FriendlyName.empty() ? ID : FriendlyName);
  AddStoreDevice(d);
}

void AddStoreDevice(const TVXStoreDevice& Device) {
  std::lock_guard<std::mutex> guard(gLock);
  gDevices.push_back(Device);
}

void SetMountTable(const std::string& File) {
  const size_t slash = File.rfind('/');
  VXSetMountTableLocation(File, slash == std::string::npos ? "." : File.substr(0, slash));
}

void SetOpenFailure(const std::string& DeviceID, HRESULT Result) {
  Change(DeviceID, [&](TFaults& f) { f.OpenFailure = Result; });
}
void SetDenyUnlessReadAccess(const std::string& DeviceID, bool Deny) {
  Change(DeviceID, [&](TFaults& f) { f.DenyUnlessReadAccess = Deny; });
}
void SetEnumFailure(const std::string& DeviceID, int Depth, HRESULT Result) {
  Change(DeviceID, [&](TFaults& f) {
    f.EnumFailureDepth = Depth;
    f.EnumFailure = Result;
  });
}
void SetReadErrorAfter(const std::string& DeviceID, int64_t Bytes) {
  Change(DeviceID, [&](TFaults& f) { f.ReadErrorAfter = Bytes; });
}
void SetWriteFailure(const std::string& DeviceID, HRESULT Result) {
  Change(DeviceID, [&](TFaults& f) { f.WriteFailure = Result; });
}
void SetCommitFailure(const std::string& DeviceID, HRESULT Result) {
  Change(DeviceID, [&](TFaults& f) { f.CommitFailure = Result; });
}

void FailRead(const std::string& Name, int64_t AfterBytes) {
  ChangeName(Name, [&](TFaults& f) { f.ReadErrorAfter = AfterBytes; });
}
void FailWrite(const std::string& Name) {
  ChangeName(Name, [&](TFaults& f) { f.WriteFailure = STG_E_WRITEFAULT; });
}
void FailCommit(const std::string& Name) {
  ChangeName(Name, [&](TFaults& f) { f.CommitFailure = STG_E_MEDIUMFULL; });
}

std::string AddGPhotoCamera(const std::string& Model, const std::string& Port) {
  return VXGPhoto2AddCamera(Model, Port);
}

int OpenCalls(const std::string& DeviceID) {
  std::lock_guard<std::mutex> guard(gLock);
  auto it = gOpens.find(DeviceID);
  return it == gOpens.end() ? 0 : it->second;
}

TFaults FaultsOf(const std::string& DeviceID) {
  std::lock_guard<std::mutex> guard(gLock);
  auto it = gFaults.find(DeviceID);
  return it == gFaults.end() ? TFaults{} : it->second;
}

TFaults WithNameFaults(TFaults f, const std::string& Name) {
  std::lock_guard<std::mutex> guard(gLock);
  auto it = gNameFaults.find(Name);
  if (it == gNameFaults.end()) return f;
  if (it->second.ReadErrorAfter >= 0) f.ReadErrorAfter = it->second.ReadErrorAfter;
  if (it->second.WriteFailure != S_OK) f.WriteFailure = it->second.WriteFailure;
  if (it->second.CommitFailure != S_OK) f.CommitFailure = it->second.CommitFailure;
  return f;
}

void CountOpen(const std::string& DeviceID) {
  std::lock_guard<std::mutex> guard(gLock);
  ++gOpens[DeviceID];
}

void AddDevices(std::vector<TVXStoreDevice>& Devices) {
  std::lock_guard<std::mutex> guard(gLock);
  Devices.insert(Devices.end(), gDevices.begin(), gDevices.end());
}

}  // namespace VXWPDSim
