// FFmpeg inputs with a video decoder: opening and closing.
#include "acquire/ffmpeg_input.h"

#include "core/settings.h"

namespace {
constexpr int kIOBuffer = 32768;
}  // namespace

TVXFFmpegInput::~TVXFFmpegInput() {
  if (Frame) f->av_frame_free(&Frame);
  if (Packet) f->av_packet_free(&Packet);
  if (Codec) f->avcodec_free_context(&Codec);
  if (Format) f->avformat_close_input(&Format);
  if (IO) {
    f->av_free(IO->buffer);
    f->av_free(IO);
  }
}

bool TVXFFmpegInput::Open(const std::string& Url, const TReader* Reader,
                          const std::vector<std::pair<std::string, std::string>>& Options) {
  const AVInputFormat* device = nullptr;
  std::string url = Url;
  if (Reader) {
    auto* buffer = static_cast<uint8_t*>(f->av_malloc(kIOBuffer));
    if (!buffer) return false;
    IO = f->avio_alloc_context(buffer, kIOBuffer, 0, Reader->Opaque, Reader->Read, nullptr, Reader->Seek);
    if (!IO) {
      f->av_free(buffer);
      return false;
    }
    Format = f->avformat_alloc_context();
    if (!Format) return false;
    Format->pb = IO;
  } else {
    // "format:device" names an input device; a drive letter, "file:" and
    // URLs ("scheme://") stay names of files.
    const size_t colon = Url.find(':');
    if (colon != std::string::npos && colon > 1 && Url.compare(0, 5, "file:") != 0 &&
        Url.find("://") == std::string::npos) {
      device = f->av_find_input_format(Url.substr(0, colon).c_str());
      if (device) url = Url.substr(colon + 1);
    }
  }
  AVDictionary* options = nullptr;
  for (const auto& [key, value] : Options) f->av_dict_set(&options, key.c_str(), value.c_str(), 0);
  const int opened = f->avformat_open_input(&Format, Reader ? nullptr : url.c_str(), device, &options);
  f->av_dict_free(&options);
  if (opened < 0) {
    OpenError = opened;
    return false;
  }
  if (f->avformat_find_stream_info(Format, nullptr) < 0) return false;
  Stream = f->av_find_best_stream(Format, AVMEDIA_TYPE_VIDEO, -1, -1, &Decoder, 0);
  if (Stream < 0 || !Decoder) return false;
  const AVCodecParameters* par = Format->streams[Stream]->codecpar;
  const int64_t limit = VXGetGlobalSettings()->MaxImagePixels();
  if (par->width <= 0 || par->height <= 0 || int64_t(par->width) * par->height > limit) return false;
  Codec = f->avcodec_alloc_context3(Decoder);
  if (!Codec || f->avcodec_parameters_to_context(Codec, par) < 0) return false;
  Codec->thread_count = 1;
  if (f->avcodec_open2(Codec, Decoder, nullptr) < 0) return false;
  Packet = f->av_packet_alloc();
  Frame = f->av_frame_alloc();
  return Packet && Frame;
}
