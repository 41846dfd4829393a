// The machine's cameras: the video4linux2 capture nodes of a device folder
// ("/dev" by default), each a video input of the capture-device registry
// named by its card name, with a capability per pixel format and frame size
// the driver lists. They are read through the media back end, so none is
// listed while FFmpeg is not available.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "acquire/capture_devices.h"

struct TVXV4L2Size {
  uint32_t FourCC = 0;  // the driver's pixel format ('YUYV', 'MJPG', ...)
  int Width = 0, Height = 0;
  double Rate = 0;  // fastest frame rate at this size, 0 when unknown
};

struct TVXV4L2Device {
  std::string Path;  // the node ("/dev/video0")
  std::string Card;  // the driver's card name
  std::vector<TVXV4L2Size> Sizes;
};

// Asks one node what it is; false when it is not a video capture device.
using TVXV4L2Query = std::function<bool(const std::string& Path, TVXV4L2Device& Device)>;

// The folder whose "video<N>" nodes are cameras; "" lists none.
void VXSetVideoDeviceFolder(const std::string& Folder);
std::string VXVideoDeviceFolder();
// Replaces the driver query (the ioctls of the real nodes) for tests; an
// empty function restores it.
void VXSetV4L2Query(TVXV4L2Query Query);
// The capture nodes of the folder in node-number order.
std::vector<TVXV4L2Device> VXListV4L2Devices();
// The cameras as registry entries (none without FFmpeg).
std::vector<TVXCaptureDevice> VXMachineVideoInputs();
// FFmpeg's input format name of a driver pixel format ("" when FFmpeg has
// no name for it: the device chooses).
std::string VXV4L2FormatName(uint32_t FourCC);
