// Test driver of the DirectShow graph layer: simulated capture devices,
// compressors, clips and the disc, frames delivered on demand, and the
// record of the capture graph builder's RenderStream calls.
//
// A video input is {"Name", "Caps": [{"SubType", "Width", "Height",
// "BitRate", "Standards"}], "Crossbar", "Tuner", "Busy"}: "SubType" is a
// name of the video subtype table, "Standards" the AnalogVideoStandard
// flags of the capability; the first capability is the current format until
// the device's format is set. "Crossbar" adds a crossbar with tuner,
// composite and S-Video inputs and the analog video decoder, "Tuner" a TV
// tuner in front of it (and the crossbar). A "Busy" device is held by
// another program: running its graph fails with the platform's busy code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acquire/dshow_filters.h"

namespace VXDShowSim {

// Removes every device, clip and record (the machine's cameras too: the
// video device folder becomes "", see VXSetVideoDeviceFolder); the disc goes back to its default
// (3 titles of 12, 4 and 1 chapters; title 1, chapter 2 at 01:05:09:00).
void Reset();
// Raises EVXException for JSON that does not describe a device.
void AddVideoInput(const std::string& Json);
void AddAudioInput(const std::string& Name);
// A camera of FFmpeg's lavfi device over the filter graph Graph
// ("testsrc2=size=320x240:rate=25").
void AddLavfiVideoInput(const std::string& Name, const std::string& Graph);
void AddVideoCodec(const std::string& Name);
void AddAudioCodec(const std::string& Name);
// A clip of Frames generated RGB24 frames at Rate frames per second, opened
// by the file source under FileName. A stalled clip never gives its frame
// while paused.
void AddClip(const std::string& FileName, int Frames, int Width, int Height, double Rate, bool Stall = false);
// Each running device named Name sends Count frames down its graph; answers
// the frames sent once they have reached their filters.
int DeliverFrames(const std::string& Name, int Count);
// "RenderStream(<category>, <type>, <source>, <intermediate>, <sink>)".
std::vector<std::string> Log();
std::vector<std::string> DVDCalls();
TVXDSSimDisc& Disc();
// The filters' names in the newest graph, in the order they were added.
std::vector<std::string> GraphFilters();
// The current format of the live device named Name: subtype, size and
// sample size; false when no such device exists.
bool DeviceFormat(const std::string& Name, std::string& SubType, int& Width, int& Height, uint32_t& SampleSize);
// Frames that renderers and multiplexers received.
int RenderedFrames();

}  // namespace VXDShowSim
