// Media Foundation for the library's video readers, bound by name at run
// time: the binding and the start and stop of Media Foundation, the names of
// its identifiers, media types as dictionaries (and so JSON) and back, the
// list of video capture devices, received samples and their decoding into
// bitmaps, and the video processor that crops, mirrors and turns frames.
//
// A system without one of the three libraries reports Media Foundation as
// unavailable; nothing raises.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquire/mf_api.h"
#include "core/vxdefs.h"
#include "platform/win_geometry.h"

class TVXBitmap;
class TVXDictionary;

// ---- the binding ----

// The bound entries; an entry a library lacks stays null.
struct TVXMFFunctions {
  TVXMFStartup MFStartup = nullptr;
  TVXMFShutdown MFShutdown = nullptr;
  TVXMFCreateAttributes MFCreateAttributes = nullptr;
  TVXMFCreateMediaType MFCreateMediaType = nullptr;
  TVXMFGetStrideForBitmapInfoHeader MFGetStrideForBitmapInfoHeader = nullptr;
  TVXMFCreateFile MFCreateFile = nullptr;
  TVXMFGetSystemTime MFGetSystemTime = nullptr;
  TVXMFCreateSample MFCreateSample = nullptr;
  TVXMFCreateMemoryBuffer MFCreateMemoryBuffer = nullptr;
  TVXMFEnumDeviceSources MFEnumDeviceSources = nullptr;
  FARPROC MFCreateAudioRenderer = nullptr;      // bound, never called
  FARPROC MFCreatePresentationClock = nullptr;  // bound, never called
  TVXMFCreateSourceReaderFromMediaSource MFCreateSourceReaderFromMediaSource = nullptr;
  TVXMFCreateSourceReaderFromByteStream MFCreateSourceReaderFromByteStream = nullptr;
  TVXMFCreateSourceReaderFromURL MFCreateSourceReaderFromURL = nullptr;
};
extern TVXMFFunctions VXMFFunctions;

// Loads "Mfplat.dll", "Mf.dll" and "Mfreadwrite.dll" and binds their
// entries while "Mfplat.dll" is not loaded yet, filling the decoder registry
// in the same step; true when all three are loaded.
bool VXMFBind();
// COM for the calling thread (apartment-threaded, OLE1 DDE off) in every
// case; then MFStartup when the binding succeeds. True when Media
// Foundation started.
bool VXMFStartup();
// MFShutdown when all three libraries are loaded; then CoUninitialize, but
// only when this thread's VXMFStartup had initialised COM (S_OK or S_FALSE),
// so that other users of the thread's COM keep theirs.
void VXMFShutdown();
// Frees the three libraries (reader, Mf, then Mfplat) and the decoder
// registry; the library's shut-down calls it.
void VXMFUnbind();
// True when all three libraries are loaded.
bool VXMFLoaded();

// ---- helpers over attributes ----
std::string VXMFGetAllocatedString(VX_IMFAttributes* Attributes, const GUID& Key);
// Width in the high 32 bits of MF_MT_FRAME_SIZE, height in the low; both 0
// and false when the type has none.
bool VXMFGetFrameSize(VX_IMFMediaType* MediaType, uint32_t& Width, uint32_t& Height);
// MF_MT_DEFAULT_STRIDE; without it the platform's stride for the subtype's
// code at that width; 0 when neither answers.
int32_t VXMFGetDefaultStride(VX_IMFMediaType* MediaType, const GUID& SubType, uint32_t Width);
// The name of the type's major type; "" for no media type.
std::string VXMFMediaTypeMajorName(VX_IMFMediaType* MediaType);

// ---- names ----
// "Audio", "Video", ...; "Unknown" for another GUID. Back: names compared
// case-sensitively; MFMediaType_Default for another name.
std::string VXMFMajorTypeName(const GUID& MajorType);
GUID VXMFMajorTypeFromName(const std::string& Name);
// Subtypes of the fixed tail: a listed code by its name ("RGB32"), any other
// code as its four characters, lowest byte first ("NV12"; trailing zero
// bytes left out); "" for a GUID of another tail. Back: a listed name gives
// its code, another name its first four bytes as a FOURCC (zero bytes where
// the name is shorter).
std::string VXMFSubTypeName(const GUID& SubType);
GUID VXMFSubTypeFromName(const std::string& Name);
// MF_MT_VIDEO_LIGHTING and MF_MT_INTERLACE_MODE values: "Unknown" for other
// values, 0 for other names.
std::string VXMFVideoLightingName(uint32_t Value);
uint32_t VXMFVideoLightingFromName(const std::string& Name);
std::string VXMFInterlaceModeName(uint32_t Value);
uint32_t VXMFInterlaceModeFromName(const std::string& Name);

// The 21 keys of a media type's dictionary, in table order.
extern const std::vector<std::string> VXMFMediaTypeKeys;

// The media type's values in a new dictionary (empty when the type has no
// major type); see the keys above. Frame sizes and rates read as doubles.
std::unique_ptr<TVXDictionary> VXMFMediaTypeToDictionary(VX_IMFMediaType* MediaType);
// A new media type (one reference) holding the dictionary's values; keys it
// does not set are ignored. Null when MFCreateMediaType is not bound.
VX_IMFMediaType* VXMFDictionaryToMediaType(const TVXDictionary* Dictionary);

// ---- the video capture devices ----
class TVXMFDeviceList {
 public:
  TVXMFDeviceList() = default;
  ~TVXMFDeviceList();
  TVXMFDeviceList(const TVXMFDeviceList&) = delete;
  TVXMFDeviceList& operator=(const TVXMFDeviceList&) = delete;

  // Releases the devices and the names; Populated stays as it is.
  void Clear();
  // Clear, then asks Media Foundation for the video capture devices;
  // Populated tells whether it answered.
  void Populate();
  uint32_t GetCount() const { return m_devicesCount; }
  // The device's friendly name. Indexes are not checked here: the caller
  // does.
  std::string GetName(uint32_t Index) const;
  // The device's activation object with one more reference.
  VX_IMFActivate* GetDevice(uint32_t Index) const;
  // The names in device order, made on the first call after a Clear.
  const std::vector<std::string>& GetNames();
  bool Populated() const { return m_populated; }

 private:
  VX_IMFActivate** m_devices = nullptr;
  uint32_t m_devicesCount = 0;
  bool m_populated = false;
  std::unique_ptr<std::vector<std::string>> m_names;
};

// ---- samples and decoders ----

// One sample read from a stream; it holds one reference to the sample and
// one to the media type.
class TVXMFReceivedSample {
 public:
  TVXMFReceivedSample(VX_IMFSample* ASample, uint32_t AStreamIndex, uint32_t AStreamFlags, int64_t ATimeStamp,
                      VX_IMFMediaType* AMediaType);
  ~TVXMFReceivedSample();
  TVXMFReceivedSample(const TVXMFReceivedSample&) = delete;
  TVXMFReceivedSample& operator=(const TVXMFReceivedSample&) = delete;

  // Decodes a video sample into DestBitmap (vx24RGB) through the first
  // decoder of its subtype; false, with the bitmap left alone, for other
  // samples, no buffer, no stride, no decoder or data that does not cover
  // the frame.
  bool DecodeSample(TVXBitmap* DestBitmap) const;

  VX_IMFSample* Sample = nullptr;
  uint32_t StreamIndex = 0;
  uint32_t StreamFlags = 0;  // bit 0 error, bit 1 end of stream
  int64_t TimeStamp = 0;     // 100-ns units
  VX_IMFMediaType* MediaType = nullptr;
  std::string StreamType;  // "Video", "Audio", ...; "" without a media type
};

class TVXMediaFoundationVideoSampleDecoder {
 public:
  virtual ~TVXMediaFoundationVideoSampleDecoder() = default;
  virtual std::string GetSubType() const = 0;
  // Allocates DestBitmap as Width x Height vx24RGB and fills it; a negative
  // Stride means the buffer's first row is the image's bottom row. False,
  // leaving DestBitmap alone, when BufferLen does not cover the frame.
  virtual bool Decode(uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer, uint32_t BufferLen,
                      TVXBitmap* DestBitmap) const = 0;
};

class TVXMediaFoundationVideoSampleDecoder_RGB24 : public TVXMediaFoundationVideoSampleDecoder {
 public:
  std::string GetSubType() const override { return "RGB24"; }
  bool Decode(uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer, uint32_t BufferLen,
              TVXBitmap* DestBitmap) const override;
};
class TVXMediaFoundationVideoSampleDecoder_YUY2 : public TVXMediaFoundationVideoSampleDecoder {
 public:
  std::string GetSubType() const override { return "YUY2"; }
  bool Decode(uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer, uint32_t BufferLen,
              TVXBitmap* DestBitmap) const override;
};
class TVXMediaFoundationVideoSampleDecoder_I420 : public TVXMediaFoundationVideoSampleDecoder {
 public:
  std::string GetSubType() const override { return "I420"; }
  bool Decode(uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer, uint32_t BufferLen,
              TVXBitmap* DestBitmap) const override;
};
class TVXMediaFoundationVideoSampleDecoder_NV12 : public TVXMediaFoundationVideoSampleDecoder {
 public:
  std::string GetSubType() const override { return "NV12"; }
  bool Decode(uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer, uint32_t BufferLen,
              TVXBitmap* DestBitmap) const override;
};
class TVXMediaFoundationVideoSampleDecoder_RGB32 : public TVXMediaFoundationVideoSampleDecoder {
 public:
  std::string GetSubType() const override { return "RGB32"; }
  bool Decode(uint32_t Width, uint32_t Height, int32_t Stride, const uint8_t* Buffer, uint32_t BufferLen,
              TVXBitmap* DestBitmap) const override;
};

// The decoder registry, in search order (RGB24, YUY2, I420, NV12, RGB32
// once the binding has run); empty before it and after VXMFUnbind.
const std::vector<std::unique_ptr<TVXMediaFoundationVideoSampleDecoder>>& VXMFDecoders();

// ---- the video processor ----
enum TVXMediaFoundationVideoProcessorMirror { mfpmNone, mfpmHorizontal, mfpmVertical };
enum TVXMediaFoundationVideoProcessorRotation { mfprNone, mfprNormal };

class TVXMediaFoundationVideoProcessor {
 public:
  // Starts Media Foundation and, when it started, makes the platform's
  // video processor transform.
  TVXMediaFoundationVideoProcessor();
  // Stops streaming, releases the transform, then VXMFShutdown in every case.
  ~TVXMediaFoundationVideoProcessor();
  TVXMediaFoundationVideoProcessor(const TVXMediaFoundationVideoProcessor&) = delete;
  TVXMediaFoundationVideoProcessor& operator=(const TVXMediaFoundationVideoProcessor&) = delete;

  bool IsAvailable() const { return m_control != nullptr; }
  // These four do nothing when the processor is not available.
  void SetSourceRectangle(const TRect& Rect);
  void SetDestinationRectangle(const TRect& Rect);
  void SetMirror(TVXMediaFoundationVideoProcessorMirror Mirror);
  void SetRotation(TVXMediaFoundationVideoProcessorRotation Rotation);

  // Stream 0 in and out.
  bool SetInputType(VX_IMFMediaType* MediaType);
  // The current output type (one reference), or null.
  VX_IMFMediaType* GetOutputType();
  // Also reads the output frame's byte size, whether or not the type was taken.
  bool SetOutputType(VX_IMFMediaType* MediaType);
  void StartStreaming();
  void StopStreaming();
  bool ProcessInput(VX_IMFSample* Sample);
  // The next output frame in a sample of its own (one reference), or null
  // when the transform needs more input or fails. The transform is flushed
  // afterwards in every case.
  void ProcessOutput(VX_IMFSample*& Sample);

  bool Started() const { return m_started; }

 private:
  VX_IMFTransform* m_transform = nullptr;
  VX_IMFVideoProcessorControl* m_control = nullptr;
  uint32_t m_outputBufferSize = 0;
  bool m_started = false;
};

// ---- the source reader ----

// Told of queued samples, of the first sample after a start or resume and of
// a stream's end, on the thread that produced them; must not block.
struct IVXMediaFoundationReaderNotifyReceiver : IUnknown {
  static constexpr GUID kIID{0x70E06CBA, 0x1727, 0x402B, {0x85, 0x7A, 0xCC, 0x36, 0x79, 0xED, 0xDC, 0x26}};
  using TVXBase = IUnknown;
  virtual void ReceiveNotify(void* sender, TVXMediaFountationNotifyType notifyType, uint32_t dwStreamIndex,
                             uint32_t dwStreamFlags, int64_t llTimestamp, VX_IMFSample* pSample,
                             VX_IMFMediaType* mediaType, VX_IMFMediaEvent* pEvent) = 0;
};

// Posts notifyMessage to the window: wParam the notification's type, lParam
// the reader.
class TVXMediaFoundationReaderWindowNotifyReceiver : public TVXComObject<IVXMediaFoundationReaderNotifyReceiver> {
 public:
  TVXMediaFoundationReaderWindowNotifyReceiver(HWND notifyWindow, uint32_t notifyMessage)
      : m_notifyWindow(notifyWindow), m_notifyMessage(notifyMessage) {}
  void ReceiveNotify(void* sender, TVXMediaFountationNotifyType notifyType, uint32_t dwStreamIndex,
                     uint32_t dwStreamFlags, int64_t llTimestamp, VX_IMFSample* pSample, VX_IMFMediaType* mediaType,
                     VX_IMFMediaEvent* pEvent) override;

 private:
  HWND m_notifyWindow;
  uint32_t m_notifyMessage;
};

enum TVXMediaFoundationSourceReaderCallbackEventType { mfrceONREADSAMPLE, mfrceONFLUSH, mfrceONEVENT };
using TVXMediaFoundationSourceReaderCallbackEvent =
    std::function<HRESULT(TVXMediaFoundationSourceReaderCallbackEventType event, HRESULT hrStatus,
                          uint32_t dwStreamIndex, uint32_t dwStreamFlags, int64_t llTimestamp, VX_IMFSample* pSample,
                          VX_IMFMediaEvent* pEvent)>;

class TVXMediaFoundationSourceReaderCallback : public TVXComObject<VX_IMFSourceReaderCallback> {
 public:
  explicit TVXMediaFoundationSourceReaderCallback(TVXMediaFoundationSourceReaderCallbackEvent OnCallBack)
      : m_onCallBack(std::move(OnCallBack)) {}
  HRESULT OnReadSample(HRESULT hrStatus, DWORD dwStreamIndex, DWORD dwStreamFlags, LONGLONG llTimestamp,
                       VX_IMFSample* pSample) override;
  HRESULT OnFlush(DWORD dwStreamIndex) override;
  HRESULT OnEvent(DWORD dwStreamIndex, VX_IMFMediaEvent* pEvent) override;

 private:
  TVXMediaFoundationSourceReaderCallbackEvent m_onCallBack;
};

struct TVXMFReaderShared;

// Reads video from a file or a URL through the platform's source reader:
// synchronously when no receiver is registered at opening, otherwise on the
// platform's worker, queued and announced to the receivers.
class TVXMediaFoundationSourceReader {
 public:
  TVXMediaFoundationSourceReader();
  ~TVXMediaFoundationSourceReader();
  TVXMediaFoundationSourceReader(const TVXMediaFoundationSourceReader&) = delete;
  TVXMediaFoundationSourceReader& operator=(const TVXMediaFoundationSourceReader&) = delete;

  bool IsAvailable() const { return m_isAvailable; }
  const std::vector<std::string>& VideoInputs();
  int32_t StreamCount() const { return int32_t(m_streams.size()); }
  int64_t Duration() const { return m_duration; }
  bool Capturing();
  int32_t SamplesBufferSize() const { return m_samplesBufferSize; }
  void SetSamplesBufferSize(int32_t Value);
  TVXMediaFoundationVideoProcessor* VideoProcessor();

  void Lock();
  void Unlock();
  void PushNotifyReceiver(IVXMediaFoundationReaderNotifyReceiver* notifyReceiver);
  void PopNotifyReceiver();
  void ClearNotifyReceivers();
  void UpdateVideoInputs();

  bool SetVideoInput(int32_t index);
  bool SetVideoInput(const std::string& name);
  bool SetFileInput(const std::string& filename);
  bool SetURLInput(const std::string& URL);

  int32_t IndexOfFirstStream(const std::string& streamType) const;
  std::string GetStreamType(int32_t streamIndex) const;
  int32_t GetMediaTypesCount(int32_t streamIndex) const;
  int32_t GetMediaTypesCount(const std::string& streamType) const;
  TVXDictionary* GetMediaType(int32_t streamIndex, int32_t mediaTypeIndex) const;
  TVXDictionary* GetMediaType(const std::string& streamType, int32_t mediaTypeIndex) const;
  TVXDictionary* GetCurrentMediaType(int32_t streamIndex) const;
  TVXDictionary* GetCurrentMediaType(const std::string& streamType) const;
  void SetSelectedStreams(int32_t streamIndex, bool selected);
  void SetSelectedStreams(const std::string& streamType, bool selected);
  bool SelectMediaType(int32_t streamIndex, int32_t mediaTypeIndex);
  bool SelectMediaType(const std::string& streamType, int32_t mediaTypeIndex);
  bool SetMediaTypeCustom(int32_t streamIndex, const std::string& jsonDescription);
  bool SetMediaTypeCustom(const std::string& streamType, const std::string& jsonDescription);
  bool SetMediaTypeVideo(int32_t streamIndex, const std::string& subTypeStr, int32_t frameWidth, int32_t frameHeight,
                         double frameRate, const std::string& videoLighting);
  bool SetMediaTypeVideo(const std::string& subTypeStr, int32_t frameWidth, int32_t frameHeight, double frameRate,
                         const std::string& videoLighting);
  bool SetMediaTypeAudio(int32_t streamIndex, const std::string& subTypeStr);
  bool SetMediaTypeAudio(const std::string& subTypeStr);

  bool StartCapture();
  bool PauseCapture();
  void ResumeCapture();
  void StopCapture();
  void SetPosition(int64_t position);
  void Flush();
  std::unique_ptr<TVXMFReceivedSample> GetNextSample();

  // Samples in the queue (test driver).
  size_t QueuedSamples();

 private:
  bool OpenReader(VX_IMFByteStream* byteStream, const std::string& url, VX_IMFMediaSource* source);
  bool OpenDevice(VX_IMFActivate* activate);
  void ReleaseReader();
  void EnumerateStreams();
  void RefreshCurrentMediaTypes();
  bool RequestSample(uint32_t streamIndex);
  HRESULT OnSample(TVXMediaFoundationSourceReaderCallbackEventType event, uint32_t streamIndex, uint32_t flags,
                   int64_t timeStamp, VX_IMFSample* sample);
  void Notify(TVXMediaFountationNotifyType type, uint32_t streamIndex, uint32_t flags, int64_t timeStamp,
              VX_IMFSample* sample, VX_IMFMediaType* mediaType);
  void ProcessSample(VX_IMFMediaType*& mediaType, VX_IMFSample*& sample);
  bool Asynchronous();

  std::recursive_mutex m_lock;
  bool m_isAvailable = false;
  std::unique_ptr<TVXMFDeviceList> m_videoInputs;
  std::vector<IVXMediaFoundationReaderNotifyReceiver*> m_notifyReceivers;
  bool m_capturing = false;
  std::deque<std::unique_ptr<TVXMFReceivedSample>> m_receivedSamples;
  int64_t m_firstTimeStamp = -1;
  bool m_delayFramePost = false;
  int32_t m_frameRequested = 0;
  VX_IMFMediaSource* m_source = nullptr;
  VX_IMFSourceReader* m_sourceReader = nullptr;
  std::vector<std::vector<std::unique_ptr<TVXDictionary>>> m_streams;
  std::vector<std::unique_ptr<TVXDictionary>> m_selectedMediaType;
  VX_IMFActivate* m_selectedActivate = nullptr;
  int64_t m_duration = 0;
  std::unique_ptr<TVXMediaFoundationVideoProcessor> m_videoProcessor;
  int32_t m_samplesBufferSize = 30;
  bool m_async = false;  // the open reader answers on a worker
  std::shared_ptr<TVXMFReaderShared> m_shared;
};
