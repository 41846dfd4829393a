// The media back end: the simulated source and the FFmpeg source.
#include "acquire/media_source.h"

#include <cmath>
#include <cstring>

#include "acquire/dshow_graph.h"
#include "acquire/ffmpeg_input.h"
#include "core/settings.h"
#include "winui/ffmpeg_api.h"

namespace {

size_t Stride(int Width) { return (size_t(Width) * 3 + 3) & ~size_t(3); }

class TSimSource : public TVXMediaSource {
 public:
  TSimSource(int Frames, int Width, int Height, double Rate) : fFrames(Frames), fW(Width), fH(Height), fRate(Rate) {}
  int Width() const override { return fW; }
  int Height() const override { return fH; }
  double FrameRate() const override { return fRate; }
  int64_t FrameCount() const override { return fFrames; }
  int64_t Duration() const override { return int64_t(std::llrint(fFrames * 1e7 / fRate)); }
  bool FrameExact() const override { return true; }
  std::vector<TVXMediaStreamInfo> Streams() const override { return {{true, "rawvideo", fW, fH}}; }
  bool ReadFrame(std::vector<uint8_t>& Bits, int64_t& Index) override {
    if (fNext >= fFrames) return false;
    Index = fNext++;
    Bits = VXDSDrawFrame(Index, fW, fH);
    return true;
  }
  bool Seek(int64_t Index) override {
    if (Index < 0) return false;
    fNext = std::min<int64_t>(Index, fFrames);
    return true;
  }
  // The generated frames are DIB rows: that is their native layout too.
  bool SetPixelFormat(const std::string& Name) override { return Name.empty() || Name == "native"; }
  std::string PixelFormat() const override { return "bgr24"; }

 private:
  int64_t fFrames;
  int fW, fH;
  double fRate;
  int64_t fNext = 0;
};

// Reads from memory for the fuzz target and in-memory clips.
struct TMemoryInput {
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
  static int Read(void* opaque, uint8_t* buf, int n) {
    auto* m = static_cast<TMemoryInput*>(opaque);
    const size_t left = m->Size - m->Pos;
    if (left == 0) return AVERROR_EOF;
    const size_t k = std::min(left, size_t(n));
    std::memcpy(buf, m->Data + m->Pos, k);
    m->Pos += k;
    return int(k);
  }
  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* m = static_cast<TMemoryInput*>(opaque);
    if (whence == AVSEEK_SIZE) return int64_t(m->Size);
    int64_t base = (whence & 3) == SEEK_SET ? 0 : (whence & 3) == SEEK_CUR ? int64_t(m->Pos) : int64_t(m->Size);
    const int64_t to = base + offset;
    if (to < 0 || to > int64_t(m->Size)) return -1;
    m->Pos = size_t(to);
    return to;
  }
};

class TFFmpegSource : public TVXMediaSource {
 public:
  explicit TFFmpegSource(const TVXFFmpegApi* Api) : f(Api) {}
  ~TFFmpegSource() override {
    if (fSws) f->sws_freeContext(fSws);
  }
  int Error = 0;
  bool Open(const std::string& Url, const TMemoryInput* Memory, const TVXMediaOptions& Options) {
    TVXFFmpegInput::TReader reader;
    if (Memory) {
      fMemory = *Memory;
      reader = {&fMemory, &TMemoryInput::Read, &TMemoryInput::Seek};
    }
    if (!fIn.Open(Url, Memory ? &reader : nullptr, Options)) {
      Error = fIn.OpenError;
      return false;
    }
    AVStream* st = fIn.Format->streams[fIn.Stream];
    const AVCodecParameters* par = st->codecpar;
    const AVCodec* codec = fIn.Decoder;
    fW = par->width;
    fH = par->height;
    fTimeBase = av_q2d(st->time_base);
    const AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    fRate = r.den > 0 && r.num > 0 ? av_q2d(r) : 0;
    fConstant = st->avg_frame_rate.num > 0 && av_cmp_q(st->avg_frame_rate, st->r_frame_rate) == 0;
    fStart = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    if (st->duration > 0)
      fDuration = int64_t(std::llrint(st->duration * fTimeBase * 1e7));
    else if (fIn.Format->duration > 0)
      fDuration = fIn.Format->duration * 10;  // AV_TIME_BASE is 1e6
    if (st->nb_frames > 0)
      fCount = st->nb_frames;
    else if (fRate > 0 && fDuration > 0)
      fCount = int64_t(std::llrint(fDuration / 1e7 * fRate));
    fCodecName = codec->name ? codec->name : "";
    return true;
  }
  int Width() const override { return fW; }
  int Height() const override { return fH; }
  double FrameRate() const override { return fRate; }
  int64_t FrameCount() const override { return fCount; }
  int64_t Duration() const override { return fDuration; }
  bool FrameExact() const override { return fConstant && fCount > 0 && fRate > 0; }
  std::vector<TVXMediaStreamInfo> Streams() const override {
    std::vector<TVXMediaStreamInfo> out;
    for (unsigned i = 0; i < fIn.Format->nb_streams; ++i) {
      const AVCodecParameters* p = fIn.Format->streams[i]->codecpar;
      TVXMediaStreamInfo s;
      s.Video = p->codec_type == AVMEDIA_TYPE_VIDEO;
      const AVCodec* c = f->avcodec_find_decoder(p->codec_id);
      s.Codec = c && c->name ? c->name : "";
      s.Width = p->width;
      s.Height = p->height;
      out.push_back(s);
    }
    return out;
  }
  bool ReadFrame(std::vector<uint8_t>& Bits, int64_t& Index) override {
    if (!Decode()) return false;
    Index = fDecoded;
    if (fNative) return Copy(Bits);
    if (fTarget != AV_PIX_FMT_NONE) return ConvertPlanes(Bits);
    return Convert(Bits);
  }
  bool SetPixelFormat(const std::string& Name) override {
    if (Name.empty() || Name == "native") {
      fNative = !Name.empty();
      fTarget = AV_PIX_FMT_NONE;
      return true;
    }
    const AVPixelFormat target = f->av_get_pix_fmt(Name.c_str());
    if (target == AV_PIX_FMT_NONE || f->av_image_get_buffer_size(target, fW, fH, 1) <= 0) return false;
    fNative = false;
    fTarget = target;
    return true;
  }
  std::string PixelFormat() const override {
    const int format = fNative ? fIn.Codec->pix_fmt : fTarget != AV_PIX_FMT_NONE ? fTarget : AV_PIX_FMT_BGR24;
    const char* name = f->av_get_pix_fmt_name(AVPixelFormat(format));
    return name ? name : "";
  }
  // The next frame decodes forward; any other goes back to the key frame
  // before it and decodes up to it.
  bool Seek(int64_t Index) override {
    if (Index < 0) return false;
    if (Index == fDecoded + 1 && !fPending) return true;
    if (Index == fDecoded && fPending) return true;
    if (fRate <= 0) return false;
    const int64_t ts = fStart + int64_t(std::llrint(Index / fRate / fTimeBase));
    if (f->av_seek_frame(fIn.Format, fIn.Stream, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        f->av_seek_frame(fIn.Format, fIn.Stream, fStart, AVSEEK_FLAG_BACKWARD) < 0)
      return false;
    f->avcodec_flush_buffers(fIn.Codec);
    fEnded = fDraining = false;
    fPending = false;
    fDecoded = -1;
    while (Decode()) {
      if (fDecoded >= Index) {
        fPending = true;  // this frame is the next ReadFrame's
        return true;
      }
    }
    return true;  // past the end: ReadFrame answers false
  }

 private:
  // One more decoded frame into fIn.Frame (or the pending one).
  bool Decode() {
    if (fPending) {
      fPending = false;
      return true;
    }
    for (;;) {
      const int r = f->avcodec_receive_frame(fIn.Codec, fIn.Frame);
      if (r == 0) {
        const int64_t pts = fIn.Frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE && fRate > 0)
          fDecoded = int64_t(std::llrint((pts - fStart) * fTimeBase * fRate));
        else
          ++fDecoded;
        return true;
      }
      if (r != AVERROR(EAGAIN) || fEnded) return false;
      if (fDraining) {
        fEnded = true;
        return false;
      }
      const int rr = f->av_read_frame(fIn.Format, fIn.Packet);
      if (rr < 0) {
        fDraining = true;
        f->avcodec_send_packet(fIn.Codec, nullptr);
        continue;
      }
      if (fIn.Packet->stream_index == fIn.Stream) f->avcodec_send_packet(fIn.Codec, fIn.Packet);
      f->av_packet_unref(fIn.Packet);
    }
  }
  // The scaler from the frame's format to Target (made again when either
  // changes).
  bool Scaler(AVPixelFormat Target) {
    if (fIn.Frame->width != fW || fIn.Frame->height != fH) return false;
    if (!fSws || fSwsFormat != fIn.Frame->format || fSwsTarget != Target) {
      if (fSws) f->sws_freeContext(fSws);
      fSws = f->sws_getContext(fW, fH, AVPixelFormat(fIn.Frame->format), fW, fH, Target, SWS_BICUBIC, nullptr, nullptr,
                               nullptr);
      fSwsFormat = fIn.Frame->format;
      fSwsTarget = Target;
    }
    return fSws != nullptr;
  }
  // The decoded frame as it is, packed.
  bool Copy(std::vector<uint8_t>& Bits) {
    if (fIn.Frame->width != fW || fIn.Frame->height != fH) return false;
    const AVPixelFormat format = AVPixelFormat(fIn.Frame->format);
    const int size = f->av_image_get_buffer_size(format, fW, fH, 1);
    if (size <= 0) return false;
    Bits.resize(size_t(size));
    return f->av_image_copy_to_buffer(Bits.data(), size, fIn.Frame->data, fIn.Frame->linesize, format, fW, fH, 1) == size;
  }
  // The frame converted to fTarget, packed; the scaler writes into padded
  // planes first, as it may write past a row's end.
  bool ConvertPlanes(std::vector<uint8_t>& Bits) {
    if (!Scaler(fTarget)) return false;
    const int padded = f->av_image_get_buffer_size(fTarget, fW, fH, 64);
    const int size = f->av_image_get_buffer_size(fTarget, fW, fH, 1);
    if (padded <= 0 || size <= 0) return false;
    fScratch.resize(size_t(padded) + 64);
    uint8_t* planes[4] = {};
    int linesizes[4] = {};
    if (f->av_image_fill_arrays(planes, linesizes, fScratch.data(), fTarget, fW, fH, 64) < 0) return false;
    if (f->sws_scale(fSws, fIn.Frame->data, fIn.Frame->linesize, 0, fH, planes, linesizes) != fH) return false;
    Bits.resize(size_t(size));
    return f->av_image_copy_to_buffer(Bits.data(), size, planes, linesizes, fTarget, fW, fH, 1) == size;
  }
  bool Convert(std::vector<uint8_t>& Bits) {
    if (!Scaler(AV_PIX_FMT_BGR24)) return false;
    // swscale may write a little past a row's end: convert into a padded
    // top-down buffer, then lay the rows bottom-up.
    const size_t stride = Stride(fW);
    const int linesize = int(FFALIGN(size_t(fW) * 3, 64));
    fScratch.resize(size_t(linesize) * size_t(fH) + 64);
    uint8_t* dst[4] = {fScratch.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {linesize, 0, 0, 0};
    if (f->sws_scale(fSws, fIn.Frame->data, fIn.Frame->linesize, 0, fH, dst, dstStride) != fH) return false;
    Bits.resize(stride * size_t(fH));
    for (int y = 0; y < fH; ++y) {
      uint8_t* row = Bits.data() + stride * size_t(fH - 1 - y);
      std::memcpy(row, fScratch.data() + size_t(linesize) * y, size_t(fW) * 3);
      std::memset(row + size_t(fW) * 3, 0, stride - size_t(fW) * 3);
    }
    return true;
  }

  const TVXFFmpegApi* f;
  TMemoryInput fMemory{nullptr, 0};
  TVXFFmpegInput fIn{f};
  SwsContext* fSws = nullptr;
  int fSwsFormat = -1;
  AVPixelFormat fSwsTarget = AV_PIX_FMT_NONE;
  AVPixelFormat fTarget = AV_PIX_FMT_NONE;  // a named layout
  bool fNative = false;
  int fW = 0, fH = 0;
  double fTimeBase = 0, fRate = 0;
  bool fConstant = false, fEnded = false, fDraining = false, fPending = false;
  int64_t fStart = 0, fDuration = 0, fCount = -1, fDecoded = -1;
  std::string fCodecName;
  std::vector<uint8_t> fScratch;
};

std::unique_ptr<TVXMediaSource> Open(const std::string& Url, const TMemoryInput* Memory, int* Error,
                                     const TVXMediaOptions& Options = {}) {
  if (Error) *Error = 0;
  const TVXFFmpegApi* api = VXFFmpeg();
  if (!api) return nullptr;
  auto s = std::make_unique<TFFmpegSource>(api);
  if (!s->Open(Url, Memory, Options)) {
    if (Error) *Error = s->Error;
    return nullptr;
  }
  return s;
}

}  // namespace

std::unique_ptr<TVXMediaSource> VXNewSimMediaSource(int Frames, int Width, int Height, double Rate) {
  return std::make_unique<TSimSource>(Frames, Width, Height, Rate);
}

std::unique_ptr<TVXMediaSource> VXOpenMediaSource(const std::string& Url, int* Error,
                                                  const TVXMediaOptions& Options) {
  return Open(Url, nullptr, Error, Options);
}

int VXMediaBusyError() { return AVERROR(EBUSY); }

std::unique_ptr<TVXMediaSource> VXOpenMediaMemory(const uint8_t* Data, size_t Size) {
  if (!Data || Size == 0) return nullptr;
  TMemoryInput m{Data, Size};
  return Open("", &m, nullptr);
}
