// Test driver of Media Foundation's source reader: simulated sources with
// scripted streams, native media types and samples, opened by URL
// ("mfsim:NAME", paced like a file) or as capture devices (not paced), and
// the log of the media types the reader was offered.
//
// A source lists its streams in order, each with its major type ("Video",
// "Audio"), its native subtypes and the further subtypes that
// SetCurrentMediaType accepts (the platform's processing converting to
// them); a type of another major type, or of a video frame size other than
// the stream's, is refused. The current type of a stream starts as its
// first native type. Video types carry the frame size and 25 frames per
// second, audio types 2 channels at 48 kHz of 16 bits ("PCM") or 32 bits
// (others).
//
// Reading gives the scripted samples in order, skipping those of
// deselected streams. A sample whose flags hold neither
// MF_SOURCE_READERF_ERROR nor MF_SOURCE_READERF_ENDOFSTREAM carries a
// sample object of one buffer: a whole frame of the current type for the
// raw video formats, 64 bytes otherwise, every byte the sample's place in
// the script (modulo 256). Once the script is done, every read answers the
// end of stream 0. Positioning goes to the first scripted sample at or
// after the position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acquire/mf_api.h"

namespace VXMFSim {

struct TStream {
  std::string MajorType = "Video";
  std::vector<std::string> NativeTypes;
  std::vector<std::string> Accepts;
  int Width = 64, Height = 48;
};

struct TSample {
  uint32_t Stream = 0;
  int64_t Time = 0;  // 100 ns
  uint32_t Flags = 0;
};

struct TSource {
  std::vector<TStream> Streams;
  std::vector<TSample> Samples;
  int64_t Duration = 0;  // MF_PD_DURATION when above 0
};

// Removes every simulated source and the log, and every capture device
// (as VXDShowSim::Reset does).
void Reset();
// A source that SetURLInput("mfsim:" + Name) opens.
void AddSource(const std::string& Name, const TSource& Source);
// The source as a video capture device named Name too.
void AddVideoInput(const std::string& Name, const TSource& Source);
// "SetCurrentMediaType(<stream>, <major>, <subtype>): accepted" (or
// "refused"), one line per call of every simulated reader, in call order.
std::vector<std::string> Log();

}  // namespace VXMFSim

// The URL prefix of the simulated sources.
constexpr char kVXMFSimScheme[] = "mfsim:";
// A reader of the simulated source Name (mf_reader.cpp calls it for
// "mfsim:" inputs); E_FAIL for an unknown name.
HRESULT VXMFSimCreateReader(const std::string& Name, VX_IMFAttributes* pAttributes,
                            VX_IMFSourceReader** ppSourceReader);
