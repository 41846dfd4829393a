// The shared media back end: a video source opened from a file, a URL, a
// device or memory, read frame by frame as bottom-up 24-bit DIB rows
// (blue, green, red; rows padded to 4 bytes), in the decoder's own pixel
// format or in another one asked for, with exact seeking by frame.
// FFmpeg (winui/ffmpeg.h) stands behind files, URLs and devices; a simulated
// source generates frames that carry their index (VXDSDrawFrame).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct TVXMediaStreamInfo {
  bool Video = false;
  std::string Codec;
  int Width = 0, Height = 0;
};

class TVXMediaSource {
 public:
  virtual ~TVXMediaSource() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Frames per second, 0 when unknown.
  virtual double FrameRate() const = 0;
  // Frames of the video stream, -1 when unknown.
  virtual int64_t FrameCount() const = 0;
  // 100 ns units.
  virtual int64_t Duration() const = 0;
  // A constant frame rate and a known frame count: positions by frame.
  virtual bool FrameExact() const = 0;
  virtual std::vector<TVXMediaStreamInfo> Streams() const = 0;
  // The next frame and its index; false at the end of the stream or on
  // damage.
  virtual bool ReadFrame(std::vector<uint8_t>& Bits, int64_t& Index) = 0;
  // The layout of ReadFrame's frames from the next one on: "" (the
  // default) bottom-up 24-bit DIB rows; "native" the decoder's own pixel
  // format unconverted; or an FFmpeg pixel format name ("rgba", "gray",
  // "yuyv422", "nv12", ...), converted as the ffmpeg program's -pix_fmt
  // converts. Native and named frames are top-down, plane after plane, rows
  // unpadded. False, the layout unchanged, for a name the source cannot
  // give.
  virtual bool SetPixelFormat(const std::string& Name) = 0;
  // The FFmpeg name of the pixel format of the frames ReadFrame gives
  // ("bgr24" for DIB rows, the decoder's for native frames).
  virtual std::string PixelFormat() const = 0;
  // The next ReadFrame gives frame Index (or the end); false when the
  // source cannot go there.
  virtual bool Seek(int64_t Index) = 0;
};

// A generated clip.
std::unique_ptr<TVXMediaSource> VXNewSimMediaSource(int Frames, int Width, int Height, double Rate);
// A file, URL or device ("lavfi:testsrc2" style "format:device" for an
// input device) through FFmpeg; null when FFmpeg is missing or the input
// cannot be opened, holds no decodable video, or its frames exceed the
// library's pixel limit.
// Error, when given, receives FFmpeg's error code of a failed open (0 for
// other failures); a device another program holds gives AVERROR(EBUSY).
// Options go to the input format ("video_size", "framerate",
// "input_format" for a camera).
using TVXMediaOptions = std::vector<std::pair<std::string, std::string>>;
std::unique_ptr<TVXMediaSource> VXOpenMediaSource(const std::string& Url, int* Error = nullptr,
                                                  const TVXMediaOptions& Options = {});
// The error code of a device held by another program.
int VXMediaBusyError();
// A clip held in memory (the bytes must outlive the source).
std::unique_ptr<TVXMediaSource> VXOpenMediaMemory(const uint8_t* Data, size_t Size);
