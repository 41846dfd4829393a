// Our Media Foundation's source reader ("Mfreadwrite.dll"): the video stream
// of a file (through its byte stream) or a URL, demuxed and decoded by
// FFmpeg, and, as stream 1, its best audio stream decoded to interleaved
// samples ("PCM" of 16 or 32 bits, or "Float" of 32 bits). The stream's native type is the decoder's raw format (YUY2, NV12,
// I420, RGB24, RGB32) or the compressed format's code; with video processing
// the current type may be any of the five raw formats, converted by
// libswscale. Frames are laid out top-down with the platform's stride.
// Inputs named "mfsim:NAME" are the scripted sources of the test driver
// (acquire/mf_sim.h).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "acquire/ffmpeg_input.h"
#include "acquire/mf_reader_base.h"
#include "acquire/mf_sim.h"
#include "winui/ffmpeg_api.h"

namespace {

struct TRawFormat {
  GUID Sub;
  AVPixelFormat Pix;
  DWORD Code;  // for the stride
};
const TRawFormat kRaw[] = {{MFVideoFormat_RGB24, AV_PIX_FMT_BGR24, 20},
                           {MFVideoFormat_YUY2, AV_PIX_FMT_YUYV422, VXMFFourCC('Y', 'U', 'Y', '2')},
                           {MFVideoFormat_I420, AV_PIX_FMT_YUV420P, VXMFFourCC('I', '4', '2', '0')},
                           {MFVideoFormat_NV12, AV_PIX_FMT_NV12, VXMFFourCC('N', 'V', '1', '2')},
                           {MFVideoFormat_RGB32, AV_PIX_FMT_BGRA, 22}};

const TRawFormat* RawOf(const GUID& Sub) {
  for (const TRawFormat& r : kRaw)
    if (IsEqualGUID(r.Sub, Sub)) return &r;
  return nullptr;
}
const TRawFormat* RawOf(AVPixelFormat Pix) {
  if (Pix == AV_PIX_FMT_BGR0) Pix = AV_PIX_FMT_BGRA;
  for (const TRawFormat& r : kRaw)
    if (r.Pix == Pix) return &r;
  return nullptr;
}

// Reads an FFmpeg input from a byte stream.
int ReadStream(void* opaque, uint8_t* buf, int n) {
  ULONG got = 0;
  if (FAILED(static_cast<VX_IMFByteStream*>(opaque)->Read(buf, ULONG(n), &got))) return AVERROR(EIO);
  return got == 0 ? AVERROR_EOF : int(got);
}
int64_t SeekStream(void* opaque, int64_t offset, int whence) {
  auto* bs = static_cast<VX_IMFByteStream*>(opaque);
  QWORD len = 0, pos = 0;
  if (FAILED(bs->GetLength(&len))) return -1;
  if (whence == AVSEEK_SIZE) return int64_t(len);
  bs->GetCurrentPosition(&pos);
  const int64_t base = (whence & 3) == SEEK_SET ? 0 : (whence & 3) == SEEK_CUR ? int64_t(pos) : int64_t(len);
  const int64_t to = base + offset;
  if (to < 0 || FAILED(bs->SetCurrentPosition(QWORD(to)))) return -1;
  return to;
}

// V x Mul / Div, to the nearest (FFmpeg's rescaling is not bound).
int64_t Rescale(int64_t V, int64_t Mul, int64_t Div) {
  if (Div <= 0) return 0;
  const __int128 p = __int128(V) * Mul;
  const __int128 q = p >= 0 ? (p + Div / 2) / Div : -((-p + Div / 2) / Div);
  return int64_t(q);
}

class TSourceReader : public TVXMFReaderBase {
 public:
  explicit TSourceReader(const TVXFFmpegApi* Api) : f(Api) {}
  ~TSourceReader() override {
    StopWorker();
    if (fCurrent) fCurrent->Release();
    if (fNative) fNative->Release();
    if (fAudioType) fAudioType->Release();
    if (fAudioFrame) f->av_frame_free(&fAudioFrame);
    if (fAudioCodec) f->avcodec_free_context(&fAudioCodec);
    if (fSws) f->sws_freeContext(fSws);
    fIn.reset();  // before the byte stream it reads
    if (fByteStream) fByteStream->Release();
  }

  HRESULT Open(const std::string& Url, VX_IMFByteStream* Stream, VX_IMFAttributes* Attributes) {
    TakeAttributes(Attributes);
    TVXFFmpegInput::TReader reader;
    if (Stream) {
      fByteStream = Stream;
      Stream->AddRef();
      reader = {Stream, &ReadStream, &SeekStream};
    }
    if (!fIn->Open(Url, Stream ? &reader : nullptr)) return E_FAIL;
    AVStream* st = fIn->Format->streams[fIn->Stream];
    const AVCodecParameters* par = st->codecpar;
    const AVCodec* codec = fIn->Decoder;
    fW = par->width, fH = par->height;
    fTimeBase = st->time_base;
    if (st->duration > 0)
      fDuration = int64_t(std::llrint(double(st->duration) * av_q2d(st->time_base) * 1e7));
    else if (fIn->Format->duration > 0)
      fDuration = fIn->Format->duration * 10;
    // The native type.
    if (FAILED(VXMFPlatCreateMediaType(&fNative))) return E_OUTOFMEMORY;
    fNative->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    const TRawFormat* raw = par->codec_id == AV_CODEC_ID_RAWVIDEO ? RawOf(AVPixelFormat(par->format)) : nullptr;
    fCompressed = raw == nullptr;
    if (raw) {
      fNative->SetGUID(MF_MT_SUBTYPE, raw->Sub);
    } else {
      std::string name = par->codec_id == AV_CODEC_ID_MJPEG ? "MJPG" : par->codec_id == AV_CODEC_ID_H264 ? "H264"
                                                                                                          : codec->name;
      for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
      name.resize(4, '\0');
      fNative->SetGUID(MF_MT_SUBTYPE, VXMFSubTypeOf(VXMFFourCC(name[0], name[1], name[2], name[3])));
      fNative->SetUINT32(MF_MT_COMPRESSED, 1);
    }
    fNative->SetUINT64(MF_MT_FRAME_SIZE, uint64_t(fW) << 32 | uint32_t(fH));
    const AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (r.num > 0 && r.den > 0) fNative->SetUINT64(MF_MT_FRAME_RATE, uint64_t(r.num) << 32 | uint32_t(r.den));
    fNative->SetUINT32(MF_MT_INTERLACE_MODE, 2);  // progressive
    if (raw) SetStride(fNative, *raw);
    fCurrent = fNative;
    fCurrent->AddRef();
    OpenAudio();
    StartWorker();
    return S_OK;
  }

  HRESULT GetStreamSelection(DWORD index, BOOL* selected) override {
    if (!selected) return E_POINTER;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard g(fLock);
    *selected = IsAudio(index) ? fAudioSelected : fSelected;
    return S_OK;
  }
  HRESULT SetStreamSelection(DWORD index, BOOL selected) override {
    if (!IsStream(index) && index != kAllStreams) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard g(fLock);
    if (index == kAllStreams || !IsAudio(index)) fSelected = selected != 0;
    if (index == kAllStreams || IsAudio(index)) fAudioSelected = selected != 0;
    return S_OK;
  }
  HRESULT GetNativeMediaType(DWORD index, DWORD typeIndex, VX_IMFMediaType** type) override {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    if (typeIndex != 0) return MF_E_NO_MORE_TYPES;
    return Copy(IsAudio(index) ? fAudioType : fNative, type);
  }
  HRESULT GetCurrentMediaType(DWORD index, VX_IMFMediaType** type) override {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard g(fLock);
    return Copy(IsAudio(index) ? fAudioType : fCurrent, type);
  }
  // The native subtype, or with video processing one of the raw formats;
  // the frame size, when given, must be the stream's. Audio keeps its
  // native type: its subtype, and its channels, rate and sample size when
  // given.
  HRESULT SetCurrentMediaType(DWORD index, DWORD*, VX_IMFMediaType* type) override {
    if (!type) return E_POINTER;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    if (IsAudio(index)) return SameAudioType(type) ? S_OK : MF_E_INVALIDMEDIATYPE;
    GUID major{}, sub{}, nativeSub{};
    if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || !IsEqualGUID(major, MFMediaType_Video))
      return MF_E_INVALIDMEDIATYPE;
    if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &sub))) return MF_E_INVALIDMEDIATYPE;
    uint64_t size = 0;
    if (SUCCEEDED(type->GetUINT64(MF_MT_FRAME_SIZE, &size)) && size != (uint64_t(fW) << 32 | uint32_t(fH)))
      return MF_E_INVALIDMEDIATYPE;
    fNative->GetGUID(MF_MT_SUBTYPE, &nativeSub);
    const TRawFormat* raw = RawOf(sub);
    if (!IsEqualGUID(sub, nativeSub) && !(fProcessing && raw)) return MF_E_INVALIDMEDIATYPE;
    VX_IMFMediaType* now = nullptr;
    Copy(fNative, &now);
    now->SetGUID(MF_MT_SUBTYPE, sub);
    if (raw) {
      now->DeleteItem(MF_MT_COMPRESSED);
      SetStride(now, *raw);
    }
    std::lock_guard g(fLock);
    fCurrent->Release();
    fCurrent = now;
    return S_OK;
  }
  // Positions in 100-ns units; the next sample is the first at or after
  // the position.
  HRESULT SetCurrentPosition(REFGUID format, REFPROPVARIANT position) override {
    if (!IsEqualGUID(format, GUID_NULL) || position.vt != VT_I8) return E_INVALIDARG;
    std::lock_guard g(fLock);
    const int64_t ts = Rescale(position.hVal, fTimeBase.den, int64_t(fTimeBase.num) * 10000000);
    if (f->av_seek_frame(fIn->Format, fIn->Stream, ts, AVSEEK_FLAG_BACKWARD) < 0) return E_FAIL;
    f->avcodec_flush_buffers(fIn->Codec);
    if (fAudioCodec) f->avcodec_flush_buffers(fAudioCodec);
    fEnded = fDraining = fAudioEnded = false;
    fSkipBefore = position.hVal;
    return S_OK;
  }
  HRESULT Flush(DWORD) override { return S_OK; }
  HRESULT GetServiceForStream(DWORD, REFGUID, REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT GetPresentationAttribute(DWORD index, REFGUID key, PROPVARIANT* value) override {
    if (!value) return E_POINTER;
    PropVariantInit(value);
    if (index == kMediaSource && IsEqualGUID(key, MF_PD_DURATION) && fDuration > 0) {
      value->vt = VT_UI8;
      value->uhVal = uint64_t(fDuration);
      return S_OK;
    }
    return MF_E_ATTRIBUTENOTFOUND;
  }

 private:
  bool IsAudio(DWORD index) const { return fAudioCodec && (index == 1 || index == kFirstAudio); }
  bool IsStream(DWORD index) const { return index == 0 || index == kFirstVideo || IsAudio(index); }
  bool ReadableStream(DWORD index) override { return IsStream(index); }
  static HRESULT Copy(VX_IMFMediaType* from, VX_IMFMediaType** to) { return VXMFCopyMediaType(from, to); }
  void SetStride(VX_IMFMediaType* type, const TRawFormat& raw) const {
    LONG stride = 0;
    VXMFPlatGetStrideForBitmapInfoHeader(raw.Code, DWORD(fW), &stride);
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, UINT(stride));
  }

  int64_t Hns(int64_t pts, AVRational base) const {
    return pts == AV_NOPTS_VALUE ? 0 : Rescale(pts, int64_t(base.num) * 10000000, base.den);
  }
  int64_t Hns(int64_t pts) const { return Hns(pts, fTimeBase); }

  // The best audio stream with a decoder that gives 16- or 32-bit integer
  // or 32-bit float samples; none otherwise.
  void OpenAudio() {
    const AVCodec* decoder = nullptr;
    const int index = f->av_find_best_stream(fIn->Format, AVMEDIA_TYPE_AUDIO, -1, fIn->Stream, &decoder, 0);
    if (index < 0 || !decoder) return;
    const AVStream* st = fIn->Format->streams[index];
    AVCodecContext* c = f->avcodec_alloc_context3(decoder);
    if (!c) return;
    c->thread_count = 1;
    if (f->avcodec_parameters_to_context(c, st->codecpar) < 0 || f->avcodec_open2(c, decoder, nullptr) < 0) {
      f->avcodec_free_context(&c);
      return;
    }
    const AVSampleFormat fmt = c->sample_fmt;
    const bool isFloat = fmt == AV_SAMPLE_FMT_FLT || fmt == AV_SAMPLE_FMT_FLTP;
    const int bytes = fmt == AV_SAMPLE_FMT_S16 || fmt == AV_SAMPLE_FMT_S16P ? 2
                      : fmt == AV_SAMPLE_FMT_S32 || fmt == AV_SAMPLE_FMT_S32P || isFloat ? 4
                                                                                      : 0;
    const int channels = c->ch_layout.nb_channels;
    fAudioFrame = f->av_frame_alloc();
    if (bytes == 0 || channels <= 0 || channels > 64 || c->sample_rate <= 0 || !fAudioFrame ||
        FAILED(VXMFPlatCreateMediaType(&fAudioType))) {
      f->avcodec_free_context(&c);
      return;
    }
    fAudioCodec = c;
    fAudioStream = index;
    fAudioTimeBase = st->time_base;
    fAudioFormat = fmt;
    fAudioChannels = channels;
    fAudioBytes = bytes;
    fAudioRate = c->sample_rate;
    fAudioType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    fAudioType->SetGUID(MF_MT_SUBTYPE, VXMFSubTypeOf(isFloat ? 3 : 1));
    fAudioType->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, UINT(channels));
    fAudioType->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, UINT(fAudioRate));
    fAudioType->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, UINT(8 * bytes));
    fAudioType->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, UINT(channels * bytes));
    fAudioType->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, UINT(fAudioRate * channels * bytes));
    fAudioType->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
  }
  bool SameAudioType(VX_IMFMediaType* type) const {
    GUID major{}, sub{}, nativeSub{};
    if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || !IsEqualGUID(major, MFMediaType_Audio)) return false;
    fAudioType->GetGUID(MF_MT_SUBTYPE, &nativeSub);
    if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &sub)) || !IsEqualGUID(sub, nativeSub)) return false;
    for (const GUID& key : {MF_MT_AUDIO_NUM_CHANNELS, MF_MT_AUDIO_SAMPLES_PER_SECOND, MF_MT_AUDIO_BITS_PER_SAMPLE}) {
      UINT want = 0, given = 0;
      fAudioType->GetUINT32(key, &want);
      if (SUCCEEDED(type->GetUINT32(key, &given)) && given != want) return false;
    }
    return true;
  }

  // The decoded audio frame as interleaved samples; null when its layout is
  // not the stream's.
  VX_IMFSample* AudioSample(int64_t time) {
    const AVFrame* fr = fAudioFrame;
    if (fr->format != fAudioFormat || fr->ch_layout.nb_channels != fAudioChannels || fr->nb_samples < 0)
      return nullptr;
    const size_t n = size_t(fr->nb_samples), c = size_t(fAudioChannels), b = size_t(fAudioBytes);
    std::vector<uint8_t> bytes(n * c * b);
    const bool planar = fAudioFormat == AV_SAMPLE_FMT_S16P || fAudioFormat == AV_SAMPLE_FMT_S32P ||
                        fAudioFormat == AV_SAMPLE_FMT_FLTP;
    if (!planar) {
      if (!bytes.empty()) std::memcpy(bytes.data(), fr->extended_data[0], bytes.size());
    } else {
      for (size_t ch = 0; ch < c; ++ch)
        for (size_t i = 0; i < n; ++i) std::memcpy(&bytes[(i * c + ch) * b], fr->extended_data[ch] + i * b, b);
    }
    return NewSample(bytes.data(), bytes.size(), time, Rescale(int64_t(n), 10000000, fAudioRate));
  }

  // One sample of the selected streams in file order: a video sample of the
  // current type or an audio sample; the error flag on damage (the stream
  // ends there), and the end of stream once every selected stream is done.
  void ReadOne(DWORD& stream, DWORD& flags, LONGLONG& time, VX_IMFSample*& sample) override {
    stream = 0, flags = 0, time = 0, sample = nullptr;
    GUID sub{};
    fCurrent->GetGUID(MF_MT_SUBTYPE, &sub);
    const TRawFormat* raw = RawOf(sub);
    for (;;) {
      const bool video = fSelected && !fEnded, audio = fAudioCodec && fAudioSelected && !fAudioEnded;
      if (!video && !audio) {
        flags = MF_SOURCE_READERF_ENDOFSTREAM;
        return;
      }
      // Frames the decoders hold.
      if (video && raw) {
        const int got = f->avcodec_receive_frame(fIn->Codec, fIn->Frame);
        if (got == 0) {
          time = Hns(fIn->Frame->best_effort_timestamp);
          if (time < fSkipBefore) {
            f->av_frame_unref(fIn->Frame);
            continue;
          }
          fSkipBefore = INT64_MIN;
          sample = Convert(*raw, time, Hns(fIn->Frame->pkt_duration));
          f->av_frame_unref(fIn->Frame);
          if (!sample) flags = MF_SOURCE_READERF_ERROR;
          return;
        }
        if (got != AVERROR(EAGAIN)) {
          fEnded = true;
          if (got != AVERROR_EOF) {
            flags = MF_SOURCE_READERF_ERROR;
            return;
          }
          continue;
        }
      }
      if (audio) {
        const int got = f->avcodec_receive_frame(fAudioCodec, fAudioFrame);
        if (got == 0) {
          stream = 1;
          time = Hns(fAudioFrame->best_effort_timestamp, fAudioTimeBase);
          if (time < fSkipBefore) {
            f->av_frame_unref(fAudioFrame);
            continue;
          }
          fSkipBefore = INT64_MIN;
          sample = AudioSample(time);
          f->av_frame_unref(fAudioFrame);
          if (!sample) flags = MF_SOURCE_READERF_ERROR;
          return;
        }
        if (got != AVERROR(EAGAIN)) {
          fAudioEnded = true;
          if (got != AVERROR_EOF) {
            stream = 1;
            flags = MF_SOURCE_READERF_ERROR;
            return;
          }
          continue;
        }
      }
      if (fDraining) {  // the decoders are empty
        fEnded = fAudioEnded = true;
        continue;
      }
      if (f->av_read_frame(fIn->Format, fIn->Packet) < 0) {
        fDraining = true;
        if (!raw) fEnded = true;  // compressed samples end with the packets
        if (video && raw) f->avcodec_send_packet(fIn->Codec, nullptr);
        if (audio) f->avcodec_send_packet(fAudioCodec, nullptr);
        continue;
      }
      AVPacket* pk = fIn->Packet;
      if (pk->stream_index == fIn->Stream && video) {
        if (!raw) {  // the compressed data as it is
          time = Hns(pk->pts != AV_NOPTS_VALUE ? pk->pts : pk->dts);
          sample = NewSample(pk->data, size_t(pk->size), time, Hns(pk->duration));
          f->av_packet_unref(pk);
          if (!sample) flags = MF_SOURCE_READERF_ERROR;
          return;
        }
        const int sent = f->avcodec_send_packet(fIn->Codec, pk);
        f->av_packet_unref(pk);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
          fEnded = true;
          flags = MF_SOURCE_READERF_ERROR;
          return;
        }
      } else if (pk->stream_index == fAudioStream && audio) {
        const int sent = f->avcodec_send_packet(fAudioCodec, pk);
        f->av_packet_unref(pk);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
          fAudioEnded = true;
          stream = 1;
          flags = MF_SOURCE_READERF_ERROR;
          return;
        }
      } else {
        f->av_packet_unref(pk);
      }
    }
  }

  static VX_IMFSample* NewSample(const uint8_t* data, size_t size, int64_t time, int64_t duration) {
    return VXMFNewMemorySample(data, size, time, duration);
  }

  // The decoded frame in the raw format, planes one after the other with
  // the platform's stride.
  VX_IMFSample* Convert(const TRawFormat& raw, int64_t time, int64_t duration) {
    LONG stride = 0;
    VXMFPlatGetStrideForBitmapInfoHeader(raw.Code, DWORD(fW), &stride);
    const size_t w = size_t(fW), h = size_t(fH), st = size_t(stride);
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    size_t size = st * h;
    if (raw.Pix == AV_PIX_FMT_YUV420P) size += 2 * (cw * ch);
    if (raw.Pix == AV_PIX_FMT_NV12) size += st * ch;
    VX_IMFSample* s = NewSample(nullptr, size, time, duration);
    if (!s) return nullptr;
    VX_IMFMediaBuffer* b = nullptr;
    s->GetBufferByIndex(0, &b);
    BYTE* p = nullptr;
    b->Lock(&p, nullptr, nullptr);
    uint8_t* planes[4] = {p, nullptr, nullptr, nullptr};
    int strides[4] = {int(st), 0, 0, 0};
    if (raw.Pix == AV_PIX_FMT_YUV420P) {
      planes[1] = p + st * h, planes[2] = planes[1] + cw * ch;
      strides[1] = strides[2] = int(cw);
    } else if (raw.Pix == AV_PIX_FMT_NV12) {
      planes[1] = p + st * h;
      strides[1] = int(st);
    }
    fSws = SwsFor(AVPixelFormat(fIn->Frame->format), raw.Pix);
    bool ok = fSws && fIn->Frame->width == fW && fIn->Frame->height == fH;
    if (ok) ok = f->sws_scale(fSws, fIn->Frame->data, fIn->Frame->linesize, 0, fH, planes, strides) == fH;
    b->Unlock();
    b->Release();
    if (!ok) {
      s->Release();
      return nullptr;
    }
    return s;
  }
  SwsContext* SwsFor(AVPixelFormat from, AVPixelFormat to) {
    if (fSws && fSwsFrom == from && fSwsTo == to) return fSws;
    if (fSws) f->sws_freeContext(fSws);
    fSwsFrom = from, fSwsTo = to;
    fSws = f->sws_getContext(fW, fH, from, fW, fH, to, SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr,
                             nullptr, nullptr);
    return fSws;
  }

  const TVXFFmpegApi* f;
  VX_IMFByteStream* fByteStream = nullptr;
  std::unique_ptr<TVXFFmpegInput> fIn = std::make_unique<TVXFFmpegInput>(f);
  SwsContext* fSws = nullptr;
  AVPixelFormat fSwsFrom = AV_PIX_FMT_NONE, fSwsTo = AV_PIX_FMT_NONE;
  int fW = 0, fH = 0;
  AVRational fTimeBase{1, 1};
  int64_t fDuration = 0;
  int64_t fSkipBefore = INT64_MIN;
  bool fCompressed = false, fSelected = true;
  bool fEnded = false, fDraining = false;
  // The audio stream (stream 1), when there is one.
  AVCodecContext* fAudioCodec = nullptr;
  AVFrame* fAudioFrame = nullptr;
  VX_IMFMediaType* fAudioType = nullptr;
  int fAudioStream = -1, fAudioChannels = 0, fAudioBytes = 0, fAudioRate = 0;
  AVSampleFormat fAudioFormat = AV_SAMPLE_FMT_NONE;
  AVRational fAudioTimeBase{1, 1};
  bool fAudioSelected = true, fAudioEnded = false;
  VX_IMFMediaType* fNative = nullptr;
  VX_IMFMediaType* fCurrent = nullptr;
};

HRESULT MakeReader(const std::string& Url, VX_IMFByteStream* Stream, VX_IMFAttributes* Attributes,
                   VX_IMFSourceReader** Reader) {
  if (!Reader) return E_POINTER;
  *Reader = nullptr;
  if (Url.rfind(kVXMFSimScheme, 0) == 0) return VXMFSimCreateReader(Url.substr(sizeof(kVXMFSimScheme) - 1), Attributes, Reader);
  const TVXFFmpegApi* api = VXFFmpeg();
  if (!api) return E_FAIL;
  auto* r = new TSourceReader(api);
  const HRESULT hr = r->Open(Url, Stream, Attributes);
  if (FAILED(hr)) {
    r->Release();
    return hr;
  }
  *Reader = r;
  return S_OK;
}

// A capture device's media source: the FFmpeg input its reader opens.
class TDeviceMediaSource : public TVXComObject<VX_IMFMediaSource> {
 public:
  explicit TDeviceMediaSource(std::string Url) : MediaUrl(std::move(Url)) {}
  HRESULT GetEvent(DWORD, VX_IMFMediaEvent**) override { return E_NOTIMPL; }
  HRESULT BeginGetEvent(VX_IMFAsyncCallback*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT EndGetEvent(VX_IMFAsyncResult*, VX_IMFMediaEvent**) override { return E_NOTIMPL; }
  HRESULT QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) override { return E_NOTIMPL; }
  HRESULT GetCharacteristics(DWORD* c) override {
    if (!c) return E_POINTER;
    *c = 1;  // live
    return S_OK;
  }
  HRESULT CreatePresentationDescriptor(VX_IMFPresentationDescriptor**) override { return E_NOTIMPL; }
  HRESULT Start(VX_IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) override { return S_OK; }
  HRESULT Stop() override { return S_OK; }
  HRESULT Pause() override { return S_OK; }
  HRESULT Shutdown() override { return S_OK; }
  const std::string MediaUrl;
};

}  // namespace

HRESULT VXMFNewDeviceMediaSource(LPCWSTR Url, VX_IMFMediaSource** ppSource) {
  if (!ppSource) return E_POINTER;
  *ppSource = nullptr;
  if (!Url || !*Url) return E_FAIL;
  *ppSource = new TDeviceMediaSource(Url);
  return S_OK;
}

HRESULT VXMFReadCreateSourceReaderFromMediaSource(VX_IMFMediaSource* pMediaSource, VX_IMFAttributes* pAttributes,
                                                  VX_IMFSourceReader** ppSourceReader) {
  auto* device = dynamic_cast<TDeviceMediaSource*>(pMediaSource);
  if (!device) {
    if (ppSourceReader) *ppSourceReader = nullptr;
    return E_INVALIDARG;
  }
  return MakeReader(device->MediaUrl, nullptr, pAttributes, ppSourceReader);
}

HRESULT VXMFReadCreateSourceReaderFromByteStream(VX_IMFByteStream* pByteStream, VX_IMFAttributes* pAttributes,
                                                 VX_IMFSourceReader** ppSourceReader) {
  if (!pByteStream) return E_POINTER;
  return MakeReader({}, pByteStream, pAttributes, ppSourceReader);
}

HRESULT VXMFReadCreateSourceReaderFromURL(LPCWSTR pwszURL, VX_IMFAttributes* pAttributes,
                                          VX_IMFSourceReader** ppSourceReader) {
  if (!pwszURL) return E_POINTER;
  return MakeReader(VXStr(pwszURL), nullptr, pAttributes, ppSourceReader);
}
