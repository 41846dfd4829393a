// Our Media Foundation's source reader ("Mfreadwrite.dll"): the video stream
// of a file (through its byte stream) or a URL, demuxed and decoded by
// FFmpeg. The stream's native type is the decoder's raw format (YUY2, NV12,
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
    StartWorker();
    return S_OK;
  }

  HRESULT GetStreamSelection(DWORD index, BOOL* selected) override {
    if (!selected) return E_POINTER;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    *selected = fSelected;
    return S_OK;
  }
  HRESULT SetStreamSelection(DWORD index, BOOL selected) override {
    if (!IsStream(index) && index != kAllStreams) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard g(fLock);
    fSelected = selected != 0;
    return S_OK;
  }
  HRESULT GetNativeMediaType(DWORD index, DWORD typeIndex, VX_IMFMediaType** type) override {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    if (typeIndex != 0) return MF_E_NO_MORE_TYPES;
    return Copy(fNative, type);
  }
  HRESULT GetCurrentMediaType(DWORD index, VX_IMFMediaType** type) override {
    if (!type) return E_POINTER;
    *type = nullptr;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard g(fLock);
    return Copy(fCurrent, type);
  }
  // The native subtype, or with video processing one of the raw formats;
  // the frame size, when given, must be the stream's.
  HRESULT SetCurrentMediaType(DWORD index, DWORD*, VX_IMFMediaType* type) override {
    if (!type) return E_POINTER;
    if (!IsStream(index)) return MF_E_INVALIDSTREAMNUMBER;
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
    fEnded = fDraining = false;
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
  bool IsStream(DWORD index) const { return index == 0 || index == kFirstVideo; }
  bool ReadableStream(DWORD index) override { return IsStream(index); }
  static HRESULT Copy(VX_IMFMediaType* from, VX_IMFMediaType** to) { return VXMFCopyMediaType(from, to); }
  void SetStride(VX_IMFMediaType* type, const TRawFormat& raw) const {
    LONG stride = 0;
    VXMFPlatGetStrideForBitmapInfoHeader(raw.Code, DWORD(fW), &stride);
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, UINT(stride));
  }

  // The next decoded frame into fIn->Frame; false at the end or on damage.
  bool NextFrame(bool& Damaged) {
    Damaged = false;
    for (;;) {
      const int got = f->avcodec_receive_frame(fIn->Codec, fIn->Frame);
      if (got == 0) return true;
      if (got == AVERROR_EOF) return false;
      if (got != AVERROR(EAGAIN)) return Damaged = true, false;
      if (fDraining) return false;
      if (!NextPacket()) {
        fDraining = true;
        f->avcodec_send_packet(fIn->Codec, nullptr);
        continue;
      }
      const int sent = f->avcodec_send_packet(fIn->Codec, fIn->Packet);
      f->av_packet_unref(fIn->Packet);
      if (sent < 0 && sent != AVERROR(EAGAIN)) return Damaged = true, false;
    }
  }
  bool NextPacket() {
    for (;;) {
      if (f->av_read_frame(fIn->Format, fIn->Packet) < 0) return false;
      if (fIn->Packet->stream_index == fIn->Stream) return true;
      f->av_packet_unref(fIn->Packet);
    }
  }
  int64_t Hns(int64_t pts) const {
    return pts == AV_NOPTS_VALUE ? 0 : Rescale(pts, int64_t(fTimeBase.num) * 10000000, fTimeBase.den);
  }

  // One sample of the current type; end of stream once the source ends,
  // the error flag on damage.
  void ReadOne(DWORD& stream, DWORD& flags, LONGLONG& time, VX_IMFSample*& sample) override {
    stream = 0, flags = 0, time = 0, sample = nullptr;
    if (fEnded || !fSelected) {
      flags = MF_SOURCE_READERF_ENDOFSTREAM;
      return;
    }
    GUID sub{};
    fCurrent->GetGUID(MF_MT_SUBTYPE, &sub);
    const TRawFormat* raw = RawOf(sub);
    if (!raw) {  // the compressed data as it is
      if (!NextPacket()) {
        fEnded = true;
        flags = MF_SOURCE_READERF_ENDOFSTREAM;
        return;
      }
      time = Hns(fIn->Packet->pts != AV_NOPTS_VALUE ? fIn->Packet->pts : fIn->Packet->dts);
      sample = NewSample(fIn->Packet->data, size_t(fIn->Packet->size), time, Hns(fIn->Packet->duration));
      f->av_packet_unref(fIn->Packet);
      if (!sample) flags = MF_SOURCE_READERF_ERROR;
      return;
    }
    bool damaged = false;
    for (;;) {
      if (!NextFrame(damaged)) {
        fEnded = true;
        flags = damaged ? MF_SOURCE_READERF_ERROR : MF_SOURCE_READERF_ENDOFSTREAM;
        return;
      }
      time = Hns(fIn->Frame->best_effort_timestamp);
      if (time >= fSkipBefore) break;
      f->av_frame_unref(fIn->Frame);
    }
    fSkipBefore = INT64_MIN;
    sample = Convert(*raw, time, Hns(fIn->Frame->pkt_duration));
    f->av_frame_unref(fIn->Frame);
    if (!sample) flags = MF_SOURCE_READERF_ERROR;
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
