// Test driver of our TWAIN source manager: simulated scanners described in
// JSON, the scripted answer of the manager's selection dialog, scripted
// faults, and the record of every triplet that reached the manager.
//
// A source is {"ProductName", "Manufacturer", "ProductFamily",
// "Caps": {"<capability, decimal>": {"Get": C, "Set": [kinds]}},
// "Layout": [left, top, right, bottom]}. C is {"ConType": "ONEVALUE",
// "ItemType", "Value"}, "ARRAY" or "ENUMERATION" with "Items", "Current",
// "Default", "RANGE" with "Min", "Max", "Step", "Default", "Current", or
// {"ConType": n, "Raw": "<hex bytes>"} for a container given byte for byte.
// Pages: "Pages" (PNM files, P4, P5 or P6, 8 or 16-bit samples) wait in the
// feeder; "Batches" are further lists of pages, each put into the feeder by
// NextBatch. "XResolution", "YResolution" (dpi), "Captions" (one per page, in
// order), "FileFormat" (the TWFF code proposed for file transfers),
// "StripRows", "FirstYOffset", "UnknownLength" (1: ImageLength -1 until the
// page is transferred), "PixelFlavor" (1: stays TWPF_VANILLA, 1-bit data with
// 0 as white), "Force" ("compressed", "planar" or "palette" in the image
// information), "CancelAtStrip", "FailAtStrip", "UI" ("ok", "cancel",
// "settingsok": the source's dialog when shown) and "Settings" (hex bytes of
// DAT_CUSTOMDSDATA).
// Item types: "UINT16", "INT16", "INT32", "BOOL", "FIX32", "STR32". A
// capability not listed fails MSG_GET with TWCC_CAPUNSUPPORTED; a MSG_SET of
// a container kind ("ONEVALUE", "ENUMERATION", "RANGE", "ARRAY") not in
// "Set" fails with TWCC_BADVALUE; an accepted MSG_SET replaces the current
// value.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "acquire/scan_device.h"
#include "acquire/twain_dsm.h"

// A PNM file (P4, P5 or P6, 8 or 16-bit samples) as a scanned page; raises
// EVXException for a file that cannot be read or is no such PNM.
TVXScanFrame VXReadPNMPage(const std::string& FileName);

namespace VXTwainSim {

// Removes every source, script and recorded triplet.
void Reset();
// Installs a simulated source; answers its TWAIN identity Id. Raises
// EVXException for JSON that does not describe a source.
int32_t AddSource(const std::string& Json);
// A simulated scanner described as for AddSource, not installed (another
// device manager puts it behind its own interface); Script receives its
// script when given. It takes no part in NextBatch.
std::unique_ptr<TVXScanDevice> MakeDevice(const std::string& Json, TVXTwainSourceScript* Script = nullptr);
// The pick of the manager's selection dialog; "" cancels.
void SetUserSelect(const std::string& Name);

std::vector<std::string> Triplets();
void ClearTriplets();

// The triplet ("DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS") answers
// ReturnCode with ConditionCode, Times times (-1: always).
void SetFault(const std::string& Triplet, uint16_t ReturnCode, uint16_t ConditionCode, int32_t Times = -1);
// Enabling a source answers TWRC_CHECKSTATUS (the source is enabled).
void SetEnableCheckStatus(bool On);
// The enabled source has a TWAIN message (MSG_CLOSEDSREQ, ...) for the
// application; false when no source is enabled.
bool PostEvent(uint16_t TWMessage);
// The next batch of every source goes into its feeder; enabled sources
// announce MSG_XFERREADY. False when no source had a batch left.
bool NextBatch();
// The enabled source asks to be closed (MSG_CLOSEDSREQ).
bool RequestClose();

}  // namespace VXTwainSim
