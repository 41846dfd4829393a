// The DirectShow unit's device lookups over the system device enumerator.
#pragma once

#include <string>
#include <vector>

#include "platform/win_com.h"

// The friendly names of a category's devices, in the enumerator's order,
// duplicates kept (their order is the instance index); empty for a category
// without devices.
void VXDSEnumDeviceNames(const GUID& Category, std::vector<std::string>& List);
// The filter of the InstanceIndex-th device (from 0) named Name
// (case-sensitive) of the category, bound as interface Iid with one
// reference; null when no device matches.
IUnknown* VXDSFindDevice(const GUID& Category, const std::string& Name, int InstanceIndex, REFIID Iid);
