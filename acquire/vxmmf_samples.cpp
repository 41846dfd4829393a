// Received samples, the video sample decoders and the video processor.
#include <cstring>

#include "acquire/vxmmf.h"
#include "core/bitmap.h"
#include "core/yuv.h"

namespace {

std::vector<std::unique_ptr<TVXMediaFoundationVideoSampleDecoder>> gDecoders;

// Unlocks a locked media buffer when it goes, also when a decoder raises.
struct TBufferLock {
  VX_IMFMediaBuffer* Buffer;
  ~TBufferLock() { Buffer->Unlock(); }
};

// The rows of an RGB frame of BytesPerPixel, |Stride| apart, bottom row
// first when Stride is negative; Put converts one row. False when the buffer
// does not hold them all.
template <class TPut>
bool DecodeRGB(uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer, uint32_t BufferLen,
               int64_t BytesPerPixel, TVXBitmap* Dest, TPut Put) {
  const int64_t step = Stride < 0 ? -int64_t(Stride) : Stride, row = int64_t(Width) * BytesPerPixel;
  if (!Buffer || !Dest || Width == 0 || Height == 0 || Width > INT32_MAX || Height > INT32_MAX || step < row ||
      step * (int64_t(Height) - 1) + row > int64_t(BufferLen))
    return false;
  if (!Dest->Allocate(int32_t(Width), int32_t(Height), vx24RGB)) return false;
  for (uint32_t i = 0; i < Height; ++i) {
    const uint32_t y = Stride < 0 ? Height - 1 - i : i;
    Put(Buffer + step * i, static_cast<uint8_t*>(Dest->GetScanLine(int32_t(y))));
  }
  return true;
}

// A YUV frame: its layout's size is checked before the bitmap is touched.
template <class TDecode>
bool DecodeYUV(uint32_t FourCC, uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer,
               uint32_t BufferLen, TVXBitmap* Dest, TDecode Decode) {
  if (!Buffer || !Dest || Width > INT32_MAX || Height > INT32_MAX || Stride == INT32_MIN) return false;
  const int32_t step = Stride < 0 ? -Stride : Stride;
  const int64_t need = VXYUVSampleSize(FourCC, int32_t(Width), int32_t(Height), step);
  if (need < 0 || need > int64_t(BufferLen)) return false;
  if (!Dest->Allocate(int32_t(Width), int32_t(Height), vx24RGB)) return false;
  return Decode(Buffer, BufferLen, Dest, Stride > 0, step);
}

}  // namespace

void VXMFRegisterDecoders() {
  if (!gDecoders.empty()) return;
  gDecoders.push_back(std::make_unique<TVXMediaFoundationVideoSampleDecoder_RGB24>());
  gDecoders.push_back(std::make_unique<TVXMediaFoundationVideoSampleDecoder_YUY2>());
  gDecoders.push_back(std::make_unique<TVXMediaFoundationVideoSampleDecoder_I420>());
  gDecoders.push_back(std::make_unique<TVXMediaFoundationVideoSampleDecoder_NV12>());
  gDecoders.push_back(std::make_unique<TVXMediaFoundationVideoSampleDecoder_RGB32>());
}

void VXMFFreeDecoders() { gDecoders.clear(); }

const std::vector<std::unique_ptr<TVXMediaFoundationVideoSampleDecoder>>& VXMFDecoders() { return gDecoders; }

// ---- decoders ----

bool TVXMediaFoundationVideoSampleDecoder_RGB24::Decode(uint32_t Width, uint32_t Height, int32_t Stride,
                                                        const uint8_t* Buffer, uint32_t BufferLen,
                                                        TVXBitmap* DestBitmap) const {
  return DecodeRGB(Width, Height, Stride, Buffer, BufferLen, 3, DestBitmap,
                   [&](const uint8_t* s, uint8_t* d) { std::memcpy(d, s, size_t(Width) * 3); });
}

bool TVXMediaFoundationVideoSampleDecoder_RGB32::Decode(uint32_t Width, uint32_t Height, int32_t Stride,
                                                        const uint8_t* Buffer, uint32_t BufferLen,
                                                        TVXBitmap* DestBitmap) const {
  return DecodeRGB(Width, Height, Stride, Buffer, BufferLen, 4, DestBitmap, [&](const uint8_t* s, uint8_t* d) {
    for (uint32_t x = 0; x < Width; ++x, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
  });
}

bool TVXMediaFoundationVideoSampleDecoder_YUY2::Decode(uint32_t Width, uint32_t Height, int32_t Stride,
                                                       const uint8_t* Buffer, uint32_t BufferLen,
                                                       TVXBitmap* DestBitmap) const {
  return DecodeYUV(VXMFFourCC('Y', 'U', 'Y', '2'), Width, Height, Stride, Buffer, BufferLen, DestBitmap,
                   &VXDecodeYUY2);
}

bool TVXMediaFoundationVideoSampleDecoder_I420::Decode(uint32_t Width, uint32_t Height, int32_t Stride,
                                                       const uint8_t* Buffer, uint32_t BufferLen,
                                                       TVXBitmap* DestBitmap) const {
  return DecodeYUV(VXMFFourCC('I', '4', '2', '0'), Width, Height, Stride, Buffer, BufferLen, DestBitmap,
                   &VXDecodeI420);
}

bool TVXMediaFoundationVideoSampleDecoder_NV12::Decode(uint32_t Width, uint32_t Height, int32_t Stride,
                                                       const uint8_t* Buffer, uint32_t BufferLen,
                                                       TVXBitmap* DestBitmap) const {
  return DecodeYUV(VXMFFourCC('N', 'V', '1', '2'), Width, Height, Stride, Buffer, BufferLen, DestBitmap,
                   &VXDecodeNV12);
}

// ---- received samples ----

TVXMFReceivedSample::TVXMFReceivedSample(VX_IMFSample* ASample, uint32_t AStreamIndex, uint32_t AStreamFlags,
                                         int64_t ATimeStamp, VX_IMFMediaType* AMediaType)
    : Sample(ASample), StreamIndex(AStreamIndex), StreamFlags(AStreamFlags), TimeStamp(ATimeStamp),
      MediaType(AMediaType) {
  if (Sample) Sample->AddRef();
  if (MediaType) MediaType->AddRef();
  StreamType = VXMFMediaTypeMajorName(MediaType);
}

TVXMFReceivedSample::~TVXMFReceivedSample() {
  if (Sample) Sample->Release();
  if (MediaType) MediaType->Release();
}

bool TVXMFReceivedSample::DecodeSample(TVXBitmap* DestBitmap) const {
  if (StreamType != "Video" || !Sample || !DestBitmap) return false;
  VX_IMFMediaBuffer* buffer = nullptr;
  if (FAILED(Sample->ConvertToContiguousBuffer(&buffer)) || !buffer) return false;
  TVXComPtr<VX_IMFMediaBuffer> hold(buffer);
  GUID sub{};
  if (!MediaType || FAILED(MediaType->GetGUID(MF_MT_SUBTYPE, &sub))) sub = GUID{};
  const std::string name = VXMFSubTypeName(sub);
  uint32_t width = 0, height = 0;
  VXMFGetFrameSize(MediaType, width, height);
  const int32_t stride = VXMFGetDefaultStride(MediaType, sub, width);
  if (stride == 0) return false;
  BYTE* data = nullptr;
  DWORD maxLen = 0, curLen = 0;
  if (FAILED(buffer->Lock(&data, &maxLen, &curLen))) return false;
  TBufferLock unlock{buffer};
  for (const auto& d : gDecoders)
    if (d->GetSubType() == name) return d->Decode(width, height, stride, data, curLen, DestBitmap);
  return false;
}

// ---- the video processor ----

TVXMediaFoundationVideoProcessor::TVXMediaFoundationVideoProcessor() {
  if (!VXMFStartup()) return;
  if (FAILED(CoCreateInstance(CLSID_VideoProcessorMFT, nullptr, CLSCTX_INPROC_SERVER, VX_IMFTransform::kIID,
                              reinterpret_cast<void**>(&m_transform))))
    m_transform = nullptr;
  if (m_transform &&
      FAILED(m_transform->QueryInterface(VX_IMFVideoProcessorControl::kIID, reinterpret_cast<void**>(&m_control))))
    m_control = nullptr;
}

TVXMediaFoundationVideoProcessor::~TVXMediaFoundationVideoProcessor() {
  if (IsAvailable()) StopStreaming();
  if (m_control) m_control->Release();
  if (m_transform) m_transform->Release();
  VXMFShutdown();
}

void TVXMediaFoundationVideoProcessor::SetSourceRectangle(const TRect& Rect) {
  if (!IsAvailable()) return;
  RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  m_control->SetSourceRectangle(&r);
}

void TVXMediaFoundationVideoProcessor::SetDestinationRectangle(const TRect& Rect) {
  if (!IsAvailable()) return;
  RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  m_control->SetDestinationRectangle(&r);
}

void TVXMediaFoundationVideoProcessor::SetMirror(TVXMediaFoundationVideoProcessorMirror Mirror) {
  if (IsAvailable()) m_control->SetMirror(MF_VIDEO_PROCESSOR_MIRROR(Mirror));
}

void TVXMediaFoundationVideoProcessor::SetRotation(TVXMediaFoundationVideoProcessorRotation Rotation) {
  if (IsAvailable()) m_control->SetRotation(MF_VIDEO_PROCESSOR_ROTATION(Rotation));
}

bool TVXMediaFoundationVideoProcessor::SetInputType(VX_IMFMediaType* MediaType) {
  return m_transform && SUCCEEDED(m_transform->SetInputType(0, MediaType, 0));
}

VX_IMFMediaType* TVXMediaFoundationVideoProcessor::GetOutputType() {
  VX_IMFMediaType* t = nullptr;
  if (!m_transform || FAILED(m_transform->GetOutputCurrentType(0, &t))) return nullptr;
  return t;
}

bool TVXMediaFoundationVideoProcessor::SetOutputType(VX_IMFMediaType* MediaType) {
  if (!m_transform) return false;
  const bool ok = SUCCEEDED(m_transform->SetOutputType(0, MediaType, 0));
  MFT_OUTPUT_STREAM_INFO info;
  m_transform->GetOutputStreamInfo(0, &info);
  m_outputBufferSize = info.cbSize;
  return ok;
}

void TVXMediaFoundationVideoProcessor::StartStreaming() {
  if (!m_transform) return;
  m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
  m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
  m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
  m_started = true;
}

void TVXMediaFoundationVideoProcessor::StopStreaming() {
  if (!m_transform) return;
  m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_END_OF_STREAM, 0);
  m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0);
  m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_END_STREAMING, 0);
  m_started = false;
}

bool TVXMediaFoundationVideoProcessor::ProcessInput(VX_IMFSample* Sample) {
  return m_transform && SUCCEEDED(m_transform->ProcessInput(0, Sample, 0));
}

// Every output frame gets a buffer of its own, so that frames still queued
// keep their pixels when the next one is made.
void TVXMediaFoundationVideoProcessor::ProcessOutput(VX_IMFSample*& Sample) {
  Sample = nullptr;
  if (!m_transform || !VXMFFunctions.MFCreateSample || !VXMFFunctions.MFCreateMemoryBuffer) return;
  VX_IMFSample* out = nullptr;
  VX_IMFMediaBuffer* buffer = nullptr;
  if (SUCCEEDED(VXMFFunctions.MFCreateSample(&out)) && out &&
      SUCCEEDED(VXMFFunctions.MFCreateMemoryBuffer(m_outputBufferSize, &buffer)) && buffer) {
    out->AddBuffer(buffer);
    MFT_OUTPUT_DATA_BUFFER data;
    data.dwStreamID = 0;
    data.pSample = out;
    DWORD status = 0;
    const HRESULT hr = m_transform->ProcessOutput(0, 1, &data, &status);
    if (data.pEvents) data.pEvents->Release();
    if (SUCCEEDED(hr)) {
      Sample = out;
      out = nullptr;
    }
  }
  if (buffer) buffer->Release();
  if (out) out->Release();
  m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
}
