// Cameras and phones over libgphoto2 (PTP cameras, MTP phones, and any
// other camera the library drives) as camera stores: each storage of the
// camera a storage of the device, its folders and files below it.
//
// libgphoto2 is bound at run time: the first use opens libgphoto2.so.6
// (dlopen) and looks its functions up by name, so no program that links this
// library links libgphoto2. When the library or one of its functions is
// missing, libgphoto2 is unavailable: no camera is listed, and nothing
// raises.
//
// Object IDs are libgphoto2's paths: a storage is its base folder ("/" or
// "/store_00010001"), a folder its path, a file its folder's path, "/" and
// its name. Storages are named by their description, else their label,
// else their base folder.
#pragma once

#include <string>
#include <vector>

#include "acquire/camera_store.h"

// Points the binding at another soname: the next use opens that one. The
// cameras listed so far (detected and added) are dropped.
void VXGPhoto2SetSoname(const std::string& Name);
// Opens libgphoto2 when it is not open yet; false when it is unavailable.
bool VXGPhoto2Available();
// Adds the camera of model Model on port Port (the names libgphoto2 gives,
// "Directory Browse" on "disk:/some/folder") to the devices: its device ID,
// or empty when libgphoto2 is unavailable or knows neither the model nor
// the port. The same camera added twice keeps one ID.
std::string VXGPhoto2AddCamera(const std::string& Model, const std::string& Port);
// Removes the cameras added with VXGPhoto2AddCamera (the detected ones stay).
void VXGPhoto2RemoveCameras();
// The device source of the cameras: those that libgphoto2's autodetection
// finds (once, on the first listing), then the added ones.
void VXAddGPhotoCameraDevices(std::vector<TVXStoreDevice>& Devices);
// Takes a picture with the camera of DeviceID: ObjectID names the new file.
// HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED) when the camera cannot capture,
// ERROR_NOT_FOUND for an unknown device.
HRESULT VXGPhoto2Capture(const std::string& DeviceID, std::string& ObjectID);
