// Assembly of one scanned page from a SANE scanner's frames: the parameters
// of each frame and the bytes read for it become a TVXScanFrame. One frame
// holds grey or interleaved red, green and blue samples; a three-pass scanner
// sends its red, green and blue frames one after the other, in any order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "acquire/scan_device.h"

// A frame's parameters as the scanner reports them (its format numbers:
// 0 grey, 1 RGB, 2 red, 3 green, 4 blue). Lines is -1 when the scanner does
// not know the height before the frame's end.
struct TVXSaneFrameParams {
  int32_t Format = 0;
  bool LastFrame = true;
  int32_t BytesPerLine = 0;
  int32_t PixelsPerLine = 0;
  int32_t Lines = 0;
  int32_t Depth = 8;
};

class TVXSanePageAssembler {
public:
  // Starts the next frame; false, with the reason in Error, for parameters
  // the page cannot take (a depth other than 1, 8 or 16, a line shorter than
  // its pixels, a colour frame that does not match the frames before it).
  bool BeginFrame(const TVXSaneFrameParams& Params, std::string& Error);
  // Bytes read for the current frame, in any chunks.
  void Feed(const uint8_t* Data, size_t Size);
  // The current frame's end; the page is whole after the frame that was the
  // last one.
  void EndFrame();
  bool Complete() const { return fComplete; }
  // The page: rows that arrived whole (never more than the frame's lines),
  // 1-bit rows with 1 as white, 16-bit samples little-endian. False when no
  // frame began or a three-pass page lacks a colour.
  bool Finish(TVXScanFrame& Page, std::string& Error) const;
  // The parameters of the first frame (zero before any).
  const TVXSaneFrameParams& FirstParams() const { return fFirst; }

private:
  struct TFrame {
    TVXSaneFrameParams Params;
    std::vector<uint8_t> Bytes;
  };
  std::vector<TFrame> fFrames;
  TVXSaneFrameParams fFirst;
  bool fOpen = false;
  bool fComplete = false;
};
