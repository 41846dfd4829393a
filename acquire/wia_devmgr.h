// Our image-acquisition device manager (CLSID_WiaDevMgr, for the local-server
// context): it lists its devices (the test driver's simulated scanners, then
// the SANE scanners of the machine, then their seven information properties,
// and the camera stores (memory cards, cameras), and opens a device as its
// root item. A camera's items are its store's storages and folders (folders)
// and files (JPEG and BMP files are images, with a thumbnail); a transfer
// gives the file's bytes; TAKE_PICTURE captures through libgphoto2 on its
// cameras. A scanner's root holds the bed size
// and document-handling properties and a flatbed item, and a feeder item when
// the scanner has a feeder; the image items carry format, medium, data type,
// depth, resolution and scan area as properties with their valid values, and
// transfer pages as MEMORYBMP (a bitmap information header, a colour table
// for 1 and 8 bits, bottom-up rows padded to 4 bytes) in bands.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "acquire/camera_store.h"
#include "acquire/scan_device.h"
#include "acquire/wia_api.h"

// Registers the manager's class; at library start-up.
void VXRegisterWiaDevMgr();
void VXUnregisterWiaDevMgr();

namespace VXWiaDevices {

// Adds a scanner device: its name, its ID, its WIA_DIP_DEV_TYPE value and the
// scanner behind it.
void AddScanner(const std::string& Name, const std::string& Id, LONG DevType, std::unique_ptr<TVXScanDevice> Device);
// Adds a camera over a camera store; it takes pictures (TAKE_PICTURE writes
// a small JPEG into its first DCIM folder and, with SendsEvents, reports
// ITEM_CREATED).
void AddCamera(const std::string& Name, const std::string& Id, std::shared_ptr<TVXCameraStore> Store,
               bool SendsEvents = true);
// WIA_CMD_SYNCHRONIZE commands the devices received since the last Reset.
int32_t SynchronizeCount();
// Device properties written to scanners since the last Reset, in order, as
// "<property id>=<value>".
std::vector<std::string> DeviceWrites();
// Removes the added devices (the SANE scanners are asked for again).
void Reset();
// Band size of transfers (0: the size the client asks for, else 64 KB), and
// whether IT_MSG_NEW_PAGE follows each page (true) or precedes every page
// after the first (false).
void SetBandSize(LONG Bytes);
void SetNewPageAfter(bool After);
// The answer of the device dialogs: SelectDeviceDlgID picks the device of
// that ID, DeviceDlg the items of that name; empty (or no such device or
// item) cancels.
void SetDialogAnswer(const std::string& Answer);

}  // namespace VXWiaDevices
