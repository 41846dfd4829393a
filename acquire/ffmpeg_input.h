// A media input opened through FFmpeg with its best video stream's decoder
// ready, as the media back end and the source reader read it: a file or
// URL, an input device named "format:device" (lavfi:testsrc2,
// video4linux2:/dev/video0), or a reader of the caller's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "winui/ffmpeg_api.h"

struct TVXFFmpegInput {
  // The caller's bytes: Opaque is handed to both callbacks as FFmpeg's
  // custom I/O does.
  struct TReader {
    void* Opaque = nullptr;
    int (*Read)(void* Opaque, uint8_t* Buf, int N) = nullptr;
    int64_t (*Seek)(void* Opaque, int64_t Offset, int Whence) = nullptr;
  };

  explicit TVXFFmpegInput(const TVXFFmpegApi* Api) : f(Api) {}
  ~TVXFFmpegInput();
  TVXFFmpegInput(const TVXFFmpegInput&) = delete;
  TVXFFmpegInput& operator=(const TVXFFmpegInput&) = delete;

  // Opens Url (or Reader's bytes, when given) with the demuxer options, finds
  // the best video stream and opens its decoder on one thread. A stream of
  // no size, or larger than the library's pixel limit, is refused. False on
  // any failure; OpenError then holds FFmpeg's answer when the input itself
  // could not be opened.
  bool Open(const std::string& Url, const TReader* Reader,
            const std::vector<std::pair<std::string, std::string>>& Options = {});

  const TVXFFmpegApi* f;
  AVIOContext* IO = nullptr;
  AVFormatContext* Format = nullptr;
  AVCodecContext* Codec = nullptr;
  const AVCodec* Decoder = nullptr;
  AVPacket* Packet = nullptr;
  AVFrame* Frame = nullptr;
  int Stream = -1;
  int OpenError = 0;
};
