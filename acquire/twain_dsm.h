// Our TWAIN source manager: the module "TWAIN_32.DLL" with its one entry
// DSM_Entry, built into the program. It lists the installed sources (one per
// scanner device), opens them, enforces the TWAIN state table (a triplet out
// of state fails with TWCC_SEQERROR) and hands every triplet for an open
// source to that source.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "acquire/scan_device.h"
#include "acquire/twain_types.h"

// The module's entry, as the engine finds it by name.
uint16_t VXTWDSMEntry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, uint32_t DG, uint16_t DAT, uint16_t MSG,
                      TW_MEMREF pData);

// The window message a source posts to the window it was enabled with when
// it has a TWAIN message for the application; MSG_PROCESSEVENT of that
// message answers TWRC_DSEVENT with the TWAIN message.
constexpr uint32_t VX_TWAIN_EVENT_MESSAGE = 0x0400 + 0x0B7A;

// How a source behaves beyond its device (what a driver decides itself).
struct TVXTwainSourceScript {
  uint16_t FileFormat = 2;  // TWFF_BMP: the format proposed for file transfers
  int32_t StripRows = 16;   // rows per memory strip
  int32_t FirstYOffset = 0; // YOffset of a page's first strip
  bool UnknownLength = false;  // ImageLength -1 until the page is transferred
  bool Vanilla = false;        // stays TWPF_VANILLA: 1-bit data with 0 as white
  std::string Force;           // "compressed", "planar" or "palette" in the image information
  int32_t CancelAtStrip = -1;  // that strip (native and file: 0) answers TWRC_CANCEL
  int32_t FailAtStrip = -1;    // that strip answers TWRC_FAILURE
  std::string UI = "ok";       // the source's dialog: "ok", "cancel" or "settingsok"
  std::vector<uint8_t> Settings;  // DAT_CUSTOMDSDATA at the start
};

namespace VXTwainManager {

// Adds a source in front of the device; answers its identity's Id.
uint32_t AddSource(std::unique_ptr<TVXScanDevice> Device, const TVXTwainSourceScript& Script = {});
// The devices found on the system (SANE scanners): asked for when the manager
// first opens after start-up or a Reset, their sources follow those added
// before.
void SetDeviceProvider(std::vector<std::unique_ptr<TVXScanDevice>> (*Provider)());
// Every enabled source with pages waiting announces MSG_XFERREADY.
void AnnouncePages();
// Removes every source and every script; the manager is closed.
void Reset();

// Scripting for tests: the answer of the manager's own selection dialog
// (a product name; "" or a name not installed cancels); per-triplet faults
// ("DG_CONTROL DAT_IDENTITY MSG_OPENDS": that triplet answers ReturnCode
// with ConditionCode, Times times, -1 for ever); enabling that answers
// TWRC_CHECKSTATUS.
void SetUserSelect(const std::string& Name);
void AddFault(const std::string& Triplet, uint16_t ReturnCode, uint16_t ConditionCode, int32_t Times);
void SetEnableCheckStatus(bool On);
// Queues a TWAIN message (MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK) from
// the enabled source and posts VX_TWAIN_EVENT_MESSAGE; false when no source
// is enabled.
bool PostEvent(uint16_t TWMessage);

// One line per triplet that reached the manager: the DG, DAT and MSG names
// and the decimal return code, blank-separated.
std::vector<std::string> Triplets();
void ClearTriplets();

}  // namespace VXTwainManager
