// Test driver of our image-acquisition device manager: simulated scanners
// described in JSON, the transfers' band size and where IT_MSG_NEW_PAGE
// falls. A scanner is {"Name", "Type" (its WIA_DIP_DEV_TYPE; a scanner when
// absent), "Pages" (PNM files, P4, P5 or P6, 8 or 16-bit samples)}; its ID is
// "sim:" and its name. A scanner with "Caps" or "Layout" is described as a
// simulated TWAIN source is (acquire/twain_sim.h), its settings becoming
// properties. A transfer hands over every page it holds.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace VXWiaSim {

// Removes every simulated device and restores the default transfers (the
// SANE scanners are listed again after the simulated ones). Items of a
// removed device must have been released.
void Reset();
void SetBandSize(int32_t Bytes);
void SetNewPageAfter(bool After);
// The device dialogs' answer: a device ID for SelectDeviceDlgID, an item name
// for DeviceDlg; "" cancels.
void SetDialogAnswer(const std::string& Answer);
// Raises EVXException for JSON that does not describe a scanner.
void AddScanner(const std::string& Json);
// A camera over a folder (its one storage, "Memory card"); ID "sim:" and
// the name. TAKE_PICTURE adds a JPEG and, with SendsEvents, reports
// ITEM_CREATED.
void AddCamera(const std::string& Name, const std::string& Folder, bool SendsEvents = true);
// WIA_CMD_SYNCHRONIZE commands the devices received since the last Reset.
int32_t SynchronizeCount();
// The device (root item) properties written to scanners since the last
// Reset, in order, as "<property id>=<value>".
std::vector<std::string> DeviceWrites();

}  // namespace VXWiaSim
