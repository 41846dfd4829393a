// The filters of the graph layer: simulated capture devices (with crossbar,
// tuner and analog decoder), pass-through compressors, the file source over
// generated clips, colour converter, AVI decompressor, sample grabber, null
// and default renderers, the windowless mixing renderer, the AVI
// multiplexer (through winui/avifile.h), the MPEG-2 stand-ins and a DVD
// navigator. VXDShowSim (dshow_sim.h) describes the devices, clips and disc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acquire/dshow_api.h"

// One capture capability of a simulated video input.
struct TVXDSSimCaps {
  GUID SubType;
  int Width = 0, Height = 0;
  DWORD BitRate = 0;
  uint32_t Standards = 0;  // AnalogVideoStandard flags
};

struct TVXDSSimVideoInput {
  std::string Name;
  std::vector<TVXDSSimCaps> Caps;  // the first is the current format
  bool Crossbar = false, Tuner = false, Busy = false;
};

// A generated clip: frames carry their index.
struct TVXDSSimClip {
  std::string FileName;
  int Frames = 0, Width = 0, Height = 0;
  double Rate = 25;
  // The source never delivers its cue while paused (a graph that does not
  // settle).
  bool Stall = false;
};

// The disc in the simulated DVD drive.
struct TVXDSSimDisc {
  ULONG Volumes = 1, Volume = 1, Titles = 3;
  DVD_DISC_SIDE Side = DVD_SIDE_A;
  uint64_t DiscID = 0x0123456789ABCDEFull;
  std::vector<ULONG> Chapters = {12, 4, 1};  // per title, from title 1
  DVD_PLAYBACK_LOCATION2 Location;
  DVD_HMSF_TIMECODE TotalTitleTime;
};

// Filter factories (one reference) for the capture-device registry.
IUnknown* VXDSNewVideoInput(const TVXDSSimVideoInput& Device);
// A live camera read through the media back end (Url: "lavfi:<graph>",
// "video4linux2:/dev/video0"); its one capability is the size and rate the
// device gives when opened (0 x 0 when it cannot be opened: running fails).
IUnknown* VXDSNewLiveVideoInput(const std::string& Name, const std::string& Url);
// A video4linux2 camera, opened only when its graph runs; a capability for
// each format and size its driver lists.
struct TVXV4L2Device;
IUnknown* VXDSNewV4L2VideoInput(const TVXV4L2Device& Device);
IUnknown* VXDSNewAudioInput(const std::string& Name);
IUnknown* VXDSNewCompressor(bool Video);

// The simulated world: clips, the disc, the running devices.
void VXDSSimAddClip(const TVXDSSimClip& Clip);
void VXDSSimReset();
TVXDSSimDisc& VXDSSimDisc();
// Calls the navigator received ("ShowMenu(3)", "SetDVDDirectory(D:)", ...).
std::vector<std::string> VXDSSimDVDCalls();
// Makes each running device named Name deliver Count frames; answers the
// frames delivered (0 when none runs).
int VXDSSimDeliverFrames(const std::string& Name, int Count);
// The current format of the live device named Name (false when none).
bool VXDSSimDeviceFormat(const std::string& Name, AM_MEDIA_TYPE& Format);
// Frames that renderers and multiplexers received since the reset.
int VXDSSimRenderedFrames();

void VXDSRegisterFilterClasses();
void VXDSUnregisterFilterClasses();

// Compound files are not on this platform: every call fails with
// STG_E_INVALIDFUNCTION and nothing is written.
struct IStorage;
HRESULT StgCreateDocfile(LPCWSTR pwcsName, DWORD grfMode, DWORD reserved, IStorage** ppstgOpen);
