// A SANE scanner behind the scanner-device interface, so that our TWAIN
// source manager (and through it every acquisition path) offers it as a
// source. The device's options become capabilities: resolution, mode and
// depth, source (feeder and duplex), the scan area, brightness, contrast and
// threshold; its frames become pages.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "acquire/scan_device.h"

// One device per local SANE scanner (none when SANE is unavailable). The
// first call binds SANE and reads the device list.
std::vector<std::unique_ptr<TVXScanDevice>> VXSaneScanDevices();

// The source's product name for a SANE device: the model and the device's
// name in parentheses, cut to 33 characters.
std::string VXSaneProductName(const std::string& Model, const std::string& DeviceName);
