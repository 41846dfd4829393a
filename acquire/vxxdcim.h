// TVXDcimAcquire: acquires the pictures that cameras, phones and memory
// cards keep under a "DCIM" folder. Every DCIM folder of every portable
// device (acquire/vxxwpd.h) is a source; an acquisition reads each image
// file below the selected one into a bitmap for a callback, copies it into
// a folder, or both, and may delete it from the device after a good copy.
//
// Errors of an acquisition are shown in a modal error message box ("Error
// encountered retrieving your images: " and the reason) and answer false.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "acquire/multicallback.h"
#include "acquire/wpd_records.h"
#include "core/vxdefs.h"

class TComponent;
class TVXPortableDevices;

// One source: the DCIM folder of one storage of one device.
struct TVXPortableDevicesSource {
  // The device's friendly name; with two or more storages, the device's
  // name, a blank and the storage's name.
  std::string Name;
  std::string Path;  // the storage's name + "\DCIM\"
  std::string DeviceID;
  std::string DeviceName;
  std::string FolderID;  // the DCIM folder's object ID
  bool IsDrive = false;
};

class TVXDcimAcquire {
 public:
  // Owner (not owned) is the I/O component the instance serves.
  explicit TVXDcimAcquire(TComponent* Owner = nullptr);
  ~TVXDcimAcquire();
  TVXDcimAcquire(const TVXDcimAcquire&) = delete;
  TVXDcimAcquire& operator=(const TVXDcimAcquire&) = delete;

  // Builds the source list again.
  bool Refresh();
  // A copy of source Index; an empty record outside the list.
  TVXPortableDevicesSource GetSources(int Index);
  int SourceCount();
  // The index of the source with that name or device name (A to Z in any
  // case), or whose name begins with the drive letter of "E", "e:" or
  // "E:\..." and a colon; -1 when none.
  int SourceNameToIndex(const std::string& sName);

  // The acquisition. Images are decoded into DestBitmap (a scratch bitmap
  // when it is absent and OnGetImage is set) and handed to OnGetImage, their
  // parameters assigned to DestIOParamVals; with sDestPath each is copied
  // there, and with bDeleteFromSource deleted from the device after a good
  // copy. bMultiple false: the first image only. True when at least one
  // image was delivered or copied and nothing failed.
  bool AcquireEx(bool bMultiple, TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamVals,
                 const TVXMultiCallBack& OnGetImage, const std::string& sDestPath, bool bDeleteFromSource,
                 const TVXProgressEvent& OnProgress);
  // The first image of the selected source.
  bool Acquire(TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamsVals);
  // Every image of the selected source to the callback.
  bool Acquire(const TVXMultiCallBack& OnGetImage, const TVXProgressEvent& OnProgress);
  // Every image of the selected source into a folder.
  bool CopyImages(const std::string& sDestPath, const TVXProgressEvent& OnProgress, bool bDeleteFromSource);

  const std::string& AcquireFormats() const { return fAcquireFormats; }
  void SetAcquireFormats(const std::string& Value) { fAcquireFormats = Value; }
  bool Aborting() const { return fAborting; }
  void SetAborting(bool Value) { fAborting = Value; }
  // The index of the selected source (0 while nothing is selected and a
  // source exists, else -1). Setting an index outside the list changes
  // nothing.
  int SelectedSource();
  void SetSelectedSource(int Value);
  const TVXPortableDeviceLogEvent& OnLog() const { return fOnLog; }
  void SetOnLog(TVXPortableDeviceLogEvent Value);

 private:
  bool InitializeSources();
  void ClearSources();
  bool ProcessObject(TVXBitmap* Bitmap, TIOParamsVals*& DestIOParamVals, const TVXMultiCallBack& OnGetImage,
                     const std::string& sDestPath, bool bDeleteFromSource, const TVXWPDObject& Object,
                     std::set<std::string>& Written);

  TComponent* fOwner;
  std::string fAcquireFormats;
  bool fAborting = false;
  std::string fSelectedDeviceID;
  std::string fSelectedFolderID;
  bool fSourcesInitialized = false;
  std::vector<TVXPortableDevicesSource> fSources;
  TVXPortableDeviceLogEvent fOnLog;
  std::unique_ptr<TVXPortableDevices> fPortableDevices;
};
