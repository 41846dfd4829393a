// The Media Foundation source reader: sources opened from files, URLs and
// capture devices, their streams and media types, synchronous reading, and
// capture on the platform's worker with a queue and notify receivers.
#include <algorithm>
#include <cstring>
#include <thread>

#include "acquire/vxmmf.h"
#include "core/dictionary.h"
#include "core/sysutils.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "platform/win_clock.h"
#include "winui/win_window.h"

// What the platform's callback shares with its reader: the reader goes dead
// under the lock when it is destroyed, so that an answer arriving later
// touches nothing freed.
struct TVXMFReaderShared {
  std::mutex Lock;
  TVXMediaFoundationSourceReader* Reader = nullptr;
};

namespace {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

// ---- receivers and the callback ----

void TVXMediaFoundationReaderWindowNotifyReceiver::ReceiveNotify(void* sender, TVXMediaFountationNotifyType notifyType,
                                                                 uint32_t, uint32_t, int64_t, VX_IMFSample*,
                                                                 VX_IMFMediaType*, VX_IMFMediaEvent*) {
  PostMessageW(m_notifyWindow, m_notifyMessage, WPARAM(notifyType), LPARAM(reinterpret_cast<intptr_t>(sender)));
}

HRESULT TVXMediaFoundationSourceReaderCallback::OnReadSample(HRESULT hrStatus, DWORD dwStreamIndex,
                                                             DWORD dwStreamFlags, LONGLONG llTimestamp,
                                                             VX_IMFSample* pSample) {
  return m_onCallBack ? m_onCallBack(mfrceONREADSAMPLE, hrStatus, dwStreamIndex, dwStreamFlags, llTimestamp, pSample,
                                     nullptr)
                      : S_OK;
}
HRESULT TVXMediaFoundationSourceReaderCallback::OnFlush(DWORD dwStreamIndex) {
  return m_onCallBack ? m_onCallBack(mfrceONFLUSH, S_OK, dwStreamIndex, 0, 0, nullptr, nullptr) : S_OK;
}
HRESULT TVXMediaFoundationSourceReaderCallback::OnEvent(DWORD dwStreamIndex, VX_IMFMediaEvent* pEvent) {
  return m_onCallBack ? m_onCallBack(mfrceONEVENT, S_OK, dwStreamIndex, 0, 0, nullptr, pEvent) : S_OK;
}

// ---- life ----

TVXMediaFoundationSourceReader::TVXMediaFoundationSourceReader() {
  m_isAvailable = VXMFStartup();
  if (!m_isAvailable) return;
  m_videoInputs = std::make_unique<TVXMFDeviceList>();
  m_shared = std::make_shared<TVXMFReaderShared>();
  m_shared->Reader = this;
}

TVXMediaFoundationSourceReader::~TVXMediaFoundationSourceReader() {
  if (!m_isAvailable) {
    VXMFShutdown();
    return;
  }
  PauseCapture();
  {
    std::lock_guard g(m_shared->Lock);
    m_shared->Reader = nullptr;
  }
  Flush();
  ReleaseReader();
  m_streams.clear();
  m_selectedMediaType.clear();
  ClearNotifyReceivers();
  m_videoInputs.reset();
  m_videoProcessor.reset();
  VXMFShutdown();
}

void TVXMediaFoundationSourceReader::ReleaseReader() {
  // The platform reader joins its worker as it goes; that worker may be in
  // our handler, which needs the lock, so it is released outside it.
  VX_IMFSourceReader* reader = nullptr;
  VX_IMFMediaSource* source = nullptr;
  {
    std::lock_guard g(m_lock);
    reader = m_sourceReader, source = m_source;
    m_sourceReader = nullptr, m_source = nullptr;
  }
  if (reader) reader->Release();
  if (source) source->Release();
  if (m_selectedActivate) m_selectedActivate->Release();
  m_selectedActivate = nullptr;
}

void TVXMediaFoundationSourceReader::Lock() { m_lock.lock(); }
void TVXMediaFoundationSourceReader::Unlock() { m_lock.unlock(); }

bool TVXMediaFoundationSourceReader::Capturing() {
  std::lock_guard g(m_lock);
  return m_capturing;
}

void TVXMediaFoundationSourceReader::SetSamplesBufferSize(int32_t Value) {
  std::lock_guard g(m_lock);
  m_samplesBufferSize = Value;
}

TVXMediaFoundationVideoProcessor* TVXMediaFoundationSourceReader::VideoProcessor() {
  if (!m_videoProcessor) m_videoProcessor = std::make_unique<TVXMediaFoundationVideoProcessor>();
  return m_videoProcessor.get();
}

void TVXMediaFoundationSourceReader::PushNotifyReceiver(IVXMediaFoundationReaderNotifyReceiver* notifyReceiver) {
  if (!notifyReceiver) return;
  std::lock_guard g(m_lock);
  if (std::find(m_notifyReceivers.begin(), m_notifyReceivers.end(), notifyReceiver) != m_notifyReceivers.end())
    return;
  notifyReceiver->AddRef();
  m_notifyReceivers.push_back(notifyReceiver);
}

void TVXMediaFoundationSourceReader::PopNotifyReceiver() {
  std::lock_guard g(m_lock);
  if (m_notifyReceivers.empty()) return;
  m_notifyReceivers.back()->Release();
  m_notifyReceivers.pop_back();
}

void TVXMediaFoundationSourceReader::ClearNotifyReceivers() {
  std::lock_guard g(m_lock);
  for (auto* r : m_notifyReceivers) r->Release();
  m_notifyReceivers.clear();
}

void TVXMediaFoundationSourceReader::UpdateVideoInputs() {
  if (m_videoInputs) m_videoInputs->Populate();
}

const std::vector<std::string>& TVXMediaFoundationSourceReader::VideoInputs() {
  static const std::vector<std::string> kNone;
  if (!m_videoInputs) return kNone;
  if (!m_videoInputs->Populated()) m_videoInputs->Populate();
  return m_videoInputs->GetNames();
}

// ---- opening ----

bool TVXMediaFoundationSourceReader::SetVideoInput(int32_t index) {
  if (!m_videoInputs) return false;
  if (!m_videoInputs->Populated()) m_videoInputs->Populate();
  if (index < 0 || uint32_t(index) >= m_videoInputs->GetCount()) throw EVXException("Invalid video input index");
  m_delayFramePost = false;
  return OpenDevice(m_videoInputs->GetDevice(uint32_t(index)));
}

bool TVXMediaFoundationSourceReader::SetVideoInput(const std::string& name) {
  const std::vector<std::string>& names = VideoInputs();
  int32_t index = -1;
  for (size_t i = 0; i < names.size() && index < 0; ++i)
    if (SameText(names[i], name)) index = int32_t(i);
  return SetVideoInput(index);
}

bool TVXMediaFoundationSourceReader::SetFileInput(const std::string& filename) {
  if (!m_isAvailable) return false;
  m_delayFramePost = true;
  ReleaseReader();
  m_streams.clear();
  m_selectedMediaType.clear();
  VX_IMFByteStream* stream = nullptr;
  if (!VXMFFunctions.MFCreateFile ||
      FAILED(VXMFFunctions.MFCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE,
                                        filename.c_str(), &stream)))
    return false;
  const bool ok = OpenReader(stream, {}, nullptr);
  stream->Release();
  return ok;
}

bool TVXMediaFoundationSourceReader::SetURLInput(const std::string& URL) {
  if (!m_isAvailable) return false;
  m_delayFramePost = true;
  ReleaseReader();
  return OpenReader(nullptr, URL, nullptr);
}

// Makes the platform reader over a byte stream, a URL or a media source
// (taking the source's reference).
bool TVXMediaFoundationSourceReader::OpenReader(VX_IMFByteStream* byteStream, const std::string& url,
                                                VX_IMFMediaSource* source) {
  m_streams.clear();
  m_selectedMediaType.clear();
  m_duration = 0;
  if (source) m_source = source;
  VX_IMFAttributes* attributes = nullptr;
  if (!VXMFFunctions.MFCreateAttributes || FAILED(VXMFFunctions.MFCreateAttributes(&attributes, 3))) return false;
  bool async = false;
  {
    std::lock_guard g(m_lock);
    async = !m_notifyReceivers.empty();
  }
  if (async) {
    std::weak_ptr<TVXMFReaderShared> shared = m_shared;
    auto* callback = new TVXMediaFoundationSourceReaderCallback(
        [shared](TVXMediaFoundationSourceReaderCallbackEventType event, HRESULT, uint32_t stream, uint32_t flags,
                 int64_t time, VX_IMFSample* sample, VX_IMFMediaEvent*) -> HRESULT {
          std::shared_ptr<TVXMFReaderShared> s = shared.lock();
          if (!s) return S_OK;
          std::lock_guard g(s->Lock);
          if (!s->Reader) return S_OK;
          return s->Reader->OnSample(event, stream, flags, time, sample);
        });
    attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, callback);
    callback->Release();
  }
  attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, 1);
  attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 1);
  VX_IMFSourceReader* reader = nullptr;
  HRESULT hr = E_FAIL;
  if (source && VXMFFunctions.MFCreateSourceReaderFromMediaSource)
    hr = VXMFFunctions.MFCreateSourceReaderFromMediaSource(source, attributes, &reader);
  else if (byteStream && VXMFFunctions.MFCreateSourceReaderFromByteStream)
    hr = VXMFFunctions.MFCreateSourceReaderFromByteStream(byteStream, attributes, &reader);
  else if (!source && !byteStream && VXMFFunctions.MFCreateSourceReaderFromURL)
    hr = VXMFFunctions.MFCreateSourceReaderFromURL(url.c_str(), attributes, &reader);
  attributes->Release();
  if (FAILED(hr) || !reader) return false;
  {
    std::lock_guard g(m_lock);
    m_sourceReader = reader;
    m_async = async;
  }
  PROPVARIANT v;
  if (SUCCEEDED(reader->GetPresentationAttribute(MF_SOURCE_READER_MEDIASOURCE, MF_PD_DURATION, &v)) &&
      (v.vt == VT_UI8 || v.vt == VT_I8))
    m_duration = int64_t(v.uhVal);
  PropVariantClear(&v);
  EnumerateStreams();
  RefreshCurrentMediaTypes();
  return true;
}

void TVXMediaFoundationSourceReader::EnumerateStreams() {
  m_streams.clear();
  if (!m_sourceReader) return;
  for (DWORD s = 0;; ++s) {
    VX_IMFMediaType* type = nullptr;
    if (FAILED(m_sourceReader->GetNativeMediaType(s, 0, &type)) || !type) break;
    std::vector<std::unique_ptr<TVXDictionary>> types;
    types.push_back(VXMFMediaTypeToDictionary(type));
    type->Release();
    for (DWORD t = 1;; ++t) {
      if (FAILED(m_sourceReader->GetNativeMediaType(s, t, &type)) || !type) break;
      types.push_back(VXMFMediaTypeToDictionary(type));
      type->Release();
    }
    m_streams.push_back(std::move(types));
  }
}

void TVXMediaFoundationSourceReader::RefreshCurrentMediaTypes() {
  m_selectedMediaType.clear();
  if (!m_sourceReader) return;
  for (size_t s = 0; s < m_streams.size(); ++s) {
    VX_IMFMediaType* type = nullptr;
    if (SUCCEEDED(m_sourceReader->GetCurrentMediaType(DWORD(s), &type)) && type) {
      m_selectedMediaType.push_back(VXMFMediaTypeToDictionary(type));
      type->Release();
    } else {
      m_selectedMediaType.push_back(std::make_unique<TVXDictionary>(16));
    }
  }
}

// ---- streams and media types ----

int32_t TVXMediaFoundationSourceReader::IndexOfFirstStream(const std::string& streamType) const {
  for (size_t s = 0; s < m_streams.size(); ++s)
    if (SameText(GetStreamType(int32_t(s)), streamType)) return int32_t(s);
  return -1;
}

std::string TVXMediaFoundationSourceReader::GetStreamType(int32_t streamIndex) const {
  const auto& types = m_streams.at(size_t(streamIndex));
  if (types.empty() || !types[0]->HasKey("MajorType", false)) return {};
  return types[0]->GetString("MajorType", false);
}

int32_t TVXMediaFoundationSourceReader::GetMediaTypesCount(int32_t streamIndex) const {
  return int32_t(m_streams.at(size_t(streamIndex)).size());
}
int32_t TVXMediaFoundationSourceReader::GetMediaTypesCount(const std::string& streamType) const {
  const int32_t s = IndexOfFirstStream(streamType);
  return s < 0 ? 0 : GetMediaTypesCount(s);
}

TVXDictionary* TVXMediaFoundationSourceReader::GetMediaType(int32_t streamIndex, int32_t mediaTypeIndex) const {
  return m_streams.at(size_t(streamIndex)).at(size_t(mediaTypeIndex)).get();
}
TVXDictionary* TVXMediaFoundationSourceReader::GetMediaType(const std::string& streamType,
                                                            int32_t mediaTypeIndex) const {
  const int32_t s = IndexOfFirstStream(streamType);
  return s < 0 ? nullptr : GetMediaType(s, mediaTypeIndex);
}

TVXDictionary* TVXMediaFoundationSourceReader::GetCurrentMediaType(int32_t streamIndex) const {
  if (streamIndex < 0 || size_t(streamIndex) >= m_selectedMediaType.size()) return nullptr;
  return m_selectedMediaType[size_t(streamIndex)].get();
}
TVXDictionary* TVXMediaFoundationSourceReader::GetCurrentMediaType(const std::string& streamType) const {
  const int32_t s = IndexOfFirstStream(streamType);
  return s < 0 ? nullptr : GetCurrentMediaType(s);
}

void TVXMediaFoundationSourceReader::SetSelectedStreams(int32_t streamIndex, bool selected) {
  if (m_sourceReader) m_sourceReader->SetStreamSelection(DWORD(streamIndex), selected ? TRUE : FALSE);
}
void TVXMediaFoundationSourceReader::SetSelectedStreams(const std::string& streamType, bool selected) {
  const int32_t s = IndexOfFirstStream(streamType);
  if (s >= 0) SetSelectedStreams(s, selected);
}

bool TVXMediaFoundationSourceReader::SelectMediaType(int32_t streamIndex, int32_t mediaTypeIndex) {
  std::lock_guard g(m_lock);
  if (!m_sourceReader) return false;
  VX_IMFMediaType* type = nullptr;
  if (FAILED(m_sourceReader->GetNativeMediaType(DWORD(streamIndex), DWORD(mediaTypeIndex), &type)) || !type)
    return false;
  const std::unique_ptr<TVXDictionary> dict = VXMFMediaTypeToDictionary(type);
  const std::string major = dict->HasKey("MajorType", false) ? dict->GetString("MajorType", false) : "";
  const std::string sub = dict->HasKey("SubType", false) ? dict->GetString("SubType", false) : "";
  bool ok = false;
  if (major != "Video") {
    ok = SUCCEEDED(m_sourceReader->SetCurrentMediaType(DWORD(streamIndex), nullptr, type));
  } else {
    bool native = false;
    for (const auto& d : VXMFDecoders())
      if (d->GetSubType() == sub) native = true;
    if (native) {
      ok = SUCCEEDED(m_sourceReader->SetCurrentMediaType(DWORD(streamIndex), nullptr, type));
    } else {
      for (const auto& d : VXMFDecoders()) {
        type->SetGUID(MF_MT_SUBTYPE, VXMFSubTypeFromName(d->GetSubType()));
        if (SUCCEEDED(m_sourceReader->SetCurrentMediaType(DWORD(streamIndex), nullptr, type))) {
          ok = true;
          break;
        }
      }
    }
  }
  type->Release();
  RefreshCurrentMediaTypes();
  return ok;
}
bool TVXMediaFoundationSourceReader::SelectMediaType(const std::string& streamType, int32_t mediaTypeIndex) {
  const int32_t s = IndexOfFirstStream(streamType);
  return s >= 0 && SelectMediaType(s, mediaTypeIndex);
}

bool TVXMediaFoundationSourceReader::SetMediaTypeCustom(int32_t streamIndex, const std::string& jsonDescription) {
  std::lock_guard g(m_lock);
  if (!m_sourceReader) return false;
  TVXDictionary dict(32);
  dict.Parse(jsonDescription);
  dict.Insert("MajorType", GetStreamType(streamIndex));
  VX_IMFMediaType* type = VXMFDictionaryToMediaType(&dict);
  if (!type) return false;
  const bool ok = SUCCEEDED(m_sourceReader->SetCurrentMediaType(DWORD(streamIndex), nullptr, type));
  type->Release();
  RefreshCurrentMediaTypes();
  return ok;
}
bool TVXMediaFoundationSourceReader::SetMediaTypeCustom(const std::string& streamType,
                                                        const std::string& jsonDescription) {
  const int32_t s = IndexOfFirstStream(streamType);
  return s >= 0 && SetMediaTypeCustom(s, jsonDescription);
}

bool TVXMediaFoundationSourceReader::SetMediaTypeVideo(int32_t streamIndex, const std::string& subTypeStr,
                                                       int32_t frameWidth, int32_t frameHeight, double frameRate,
                                                       const std::string& videoLighting) {
  TVXDictionary dict(16);
  dict.Insert("MajorType", "Video");
  dict.Insert("SubType", subTypeStr);
  if (frameWidth != 0) dict.Insert("FrameWidth", frameWidth);
  if (frameHeight != 0) dict.Insert("FrameHeight", frameHeight);
  if (frameRate > 0) dict.Insert("FrameRate", frameRate);
  if (!videoLighting.empty()) dict.Insert("VideoLighting", videoLighting);
  return SetMediaTypeCustom(streamIndex, dict.Dump());
}
bool TVXMediaFoundationSourceReader::SetMediaTypeVideo(const std::string& subTypeStr, int32_t frameWidth,
                                                       int32_t frameHeight, double frameRate,
                                                       const std::string& videoLighting) {
  const int32_t s = IndexOfFirstStream("Video");
  return s >= 0 && SetMediaTypeVideo(s, subTypeStr, frameWidth, frameHeight, frameRate, videoLighting);
}
bool TVXMediaFoundationSourceReader::SetMediaTypeAudio(int32_t streamIndex, const std::string& subTypeStr) {
  TVXDictionary dict(16);
  dict.Insert("MajorType", "Audio");
  dict.Insert("SubType", subTypeStr);
  return SetMediaTypeCustom(streamIndex, dict.Dump());
}
bool TVXMediaFoundationSourceReader::SetMediaTypeAudio(const std::string& subTypeStr) {
  const int32_t s = IndexOfFirstStream("Audio");
  return s >= 0 && SetMediaTypeAudio(s, subTypeStr);
}

// ---- capture ----

bool TVXMediaFoundationSourceReader::Asynchronous() {
  std::lock_guard g(m_lock);
  return m_async;
}

bool TVXMediaFoundationSourceReader::RequestSample(uint32_t streamIndex) {
  std::lock_guard g(m_lock);
  if (!m_sourceReader || !m_async) return false;
  // Every request of an asynchronous reader is answered once, whatever the
  // receivers are now, so every one is counted.
  const bool ok = SUCCEEDED(m_sourceReader->ReadSample(streamIndex, 0, nullptr, nullptr, nullptr, nullptr));
  if (ok) ++m_frameRequested;
  return ok;
}

bool TVXMediaFoundationSourceReader::StartCapture() {
  if (!m_isAvailable || !m_sourceReader) return false;
  if (m_videoProcessor && m_videoProcessor->IsAvailable()) {
    const int32_t s = IndexOfFirstStream("Video");
    if (TVXDictionary* current = GetCurrentMediaType(s)) {
      TVXDictionary d(32);
      d.Assign(current);
      d.Insert("SubType", "RGB32");
      SetMediaTypeCustom(s, d.Dump());
    }
  }
  {
    std::lock_guard g(m_lock);
    m_firstTimeStamp = -1;
  }
  SetPosition(0);
  {
    std::lock_guard g(m_lock);
    m_capturing = true;
  }
  return RequestSample(MF_SOURCE_READER_ANY_STREAM);
}

bool TVXMediaFoundationSourceReader::PauseCapture() {
  if (!m_isAvailable) return false;
  bool was = false;
  {
    std::lock_guard g(m_lock);
    was = m_capturing;
    m_capturing = false;
  }
  const uint32_t start = GetTickCount();
  for (;;) {
    {
      std::lock_guard g(m_lock);
      if (m_frameRequested <= 0) break;
    }
    if (GetTickCount() - start >= 1000) break;
    std::this_thread::yield();
  }
  return was;
}

void TVXMediaFoundationSourceReader::ResumeCapture() {
  std::lock_guard g(m_lock);
  m_firstTimeStamp = -1;
  m_capturing = true;
  RequestSample(MF_SOURCE_READER_ANY_STREAM);
}

void TVXMediaFoundationSourceReader::StopCapture() {
  if (!m_isAvailable) return;
  PauseCapture();
  Flush();
  if (m_videoProcessor && m_videoProcessor->IsAvailable()) m_videoProcessor->StopStreaming();
  // A device opens again, so that the next start begins afresh; the old
  // reader is let go outside the lock, as its worker may be in our handler.
  if (m_selectedActivate) {
    VX_IMFActivate* activate = m_selectedActivate;
    activate->AddRef();
    ReleaseReader();
    activate->ShutdownObject();
    OpenDevice(activate);
  }
}

// Opens the device behind the activation object (taking its reference).
bool TVXMediaFoundationSourceReader::OpenDevice(VX_IMFActivate* activate) {
  ReleaseReader();
  m_selectedActivate = activate;
  m_streams.clear();
  m_selectedMediaType.clear();
  VX_IMFMediaSource* source = nullptr;
  if (!activate || FAILED(activate->ActivateObject(VX_IMFMediaSource::kIID, reinterpret_cast<void**>(&source))) ||
      !source)
    return false;
  activate->DetachObject();
  return OpenReader(nullptr, {}, source);
}

void TVXMediaFoundationSourceReader::SetPosition(int64_t position) {
  if (!m_isAvailable) return;
  const bool was = PauseCapture();
  Flush();
  {
    std::lock_guard g(m_lock);
    if (m_sourceReader) {
      PROPVARIANT v;
      v.vt = VT_I8;
      v.hVal = position;
      m_sourceReader->SetCurrentPosition(GUID_NULL, v);
    }
  }
  if (was) ResumeCapture();
}

void TVXMediaFoundationSourceReader::Flush() {
  std::lock_guard g(m_lock);
  m_receivedSamples.clear();
}

size_t TVXMediaFoundationSourceReader::QueuedSamples() {
  std::lock_guard g(m_lock);
  return m_receivedSamples.size();
}

void TVXMediaFoundationSourceReader::Notify(TVXMediaFountationNotifyType type, uint32_t streamIndex, uint32_t flags,
                                            int64_t timeStamp, VX_IMFSample* sample, VX_IMFMediaType* mediaType) {
  std::lock_guard g(m_lock);
  for (auto* r : m_notifyReceivers)
    r->ReceiveNotify(this, type, streamIndex, flags, timeStamp, sample, mediaType, nullptr);
}

HRESULT TVXMediaFoundationSourceReader::OnSample(TVXMediaFoundationSourceReaderCallbackEventType event,
                                                 uint32_t streamIndex, uint32_t flags, int64_t timeStamp,
                                                 VX_IMFSample* sample) {
  if (event != mfrceONREADSAMPLE) return S_OK;
  VX_IMFMediaType* mediaType = nullptr;
  bool capturing = false;
  {
    std::lock_guard g(m_lock);
    capturing = m_capturing;
    if (!capturing) {
      --m_frameRequested;
      return S_OK;
    }
    if (m_sourceReader) m_sourceReader->GetCurrentMediaType(streamIndex, &mediaType);
  }
  const int64_t now = VXMFFunctions.MFGetSystemTime ? VXMFFunctions.MFGetSystemTime() : 0;
  bool first = false;
  int64_t firstTime = 0;
  {
    std::lock_guard g(m_lock);
    if (m_firstTimeStamp == -1) {
      m_firstTimeStamp = now - timeStamp;
      first = true;
    }
    firstTime = m_firstTimeStamp;
  }
  if (first) Notify(vxmfnSTARTINGCAPTURE, streamIndex, flags, timeStamp, sample, mediaType);
  if (m_delayFramePost && size_t(streamIndex) < m_streams.size() && GetStreamType(int32_t(streamIndex)) == "Video") {
    // Slices of at most 10 ms, ending when capture stops.
    const int64_t until = timeStamp + firstTime;
    for (;;) {
      const int64_t wait = until - (VXMFFunctions.MFGetSystemTime ? VXMFFunctions.MFGetSystemTime() : until);
      if (wait <= 0 || !Capturing()) break;
      Sleep(uint32_t(std::min<int64_t>(wait / 10000, 10)));
      if (wait < 10000) break;
    }
  }
  VX_IMFSample* held = sample;
  if (held) held->AddRef();
  {
    std::lock_guard g(m_lock);
    --m_frameRequested;
    if (m_capturing) {
      if (held && int32_t(m_receivedSamples.size()) < m_samplesBufferSize) {
        ProcessSample(mediaType, held);
        m_receivedSamples.push_back(
            std::make_unique<TVXMFReceivedSample>(held, streamIndex, flags, timeStamp, mediaType));
        Notify(vxmfnFRAME, streamIndex, flags, timeStamp, held, mediaType);
      }
      if (flags & MF_SOURCE_READERF_ENDOFSTREAM) Notify(vxmfnENDOFSTREAM, streamIndex, flags, timeStamp, held, mediaType);
      if (!(flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM)))
        RequestSample(MF_SOURCE_READER_ANY_STREAM);
    }
  }
  if (held) held->Release();
  if (mediaType) mediaType->Release();
  return S_OK;
}

// Replaces the media type and the sample by the video processor's output.
void TVXMediaFoundationSourceReader::ProcessSample(VX_IMFMediaType*& mediaType, VX_IMFSample*& sample) {
  if (!m_videoProcessor || !m_videoProcessor->IsAvailable() || !mediaType) return;
  if (VXMFMediaTypeMajorName(mediaType) != "Video") return;
  if (!m_videoProcessor->Started()) {
    m_videoProcessor->SetInputType(mediaType);
    m_videoProcessor->SetOutputType(mediaType);
    m_videoProcessor->StartStreaming();
  }
  UINT rotation = 0;
  if (FAILED(mediaType->GetUINT32(MF_MT_VIDEO_ROTATION, &rotation))) rotation = 0;
  const UINT wanted = UINT(360 - VXDisplayRotation());
  if (rotation != wanted) {
    mediaType->SetUINT32(MF_MT_VIDEO_ROTATION, wanted);
    m_videoProcessor->SetInputType(mediaType);
  }
  VX_IMFMediaType* out = m_videoProcessor->GetOutputType();
  mediaType->Release();
  mediaType = out;
  if (sample) m_videoProcessor->ProcessInput(sample);
  VX_IMFSample* processed = nullptr;
  m_videoProcessor->ProcessOutput(processed);
  if (sample) sample->Release();
  sample = processed;
}

std::unique_ptr<TVXMFReceivedSample> TVXMediaFoundationSourceReader::GetNextSample() {
  auto empty = [](uint32_t stream) {
    return std::make_unique<TVXMFReceivedSample>(nullptr, stream, 0, 0, nullptr);
  };
  if (!m_isAvailable) return empty(MF_SOURCE_READER_ANY_STREAM);
  std::lock_guard g(m_lock);
  if (m_async) {
    if (m_receivedSamples.empty()) return empty(MF_SOURCE_READER_ANY_STREAM);
    std::unique_ptr<TVXMFReceivedSample> s = std::move(m_receivedSamples.front());
    m_receivedSamples.pop_front();
    return s;
  }
  if (!m_sourceReader) return empty(MF_SOURCE_READER_ANY_STREAM);
  DWORD actual = 0, flags = 0;
  LONGLONG time = 0;
  VX_IMFSample* sample = nullptr;
  const HRESULT hr = m_sourceReader->ReadSample(MF_SOURCE_READER_ANY_STREAM, 0, &actual, &flags, &time, &sample);
  if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
    if (sample) sample->Release();
    return empty(MF_SOURCE_READER_ANY_STREAM);
  }
  VX_IMFMediaType* mediaType = nullptr;
  m_sourceReader->GetCurrentMediaType(actual, &mediaType);
  ProcessSample(mediaType, sample);
  auto out = std::make_unique<TVXMFReceivedSample>(sample, actual, flags, time, mediaType);
  if (sample) sample->Release();
  if (mediaType) mediaType->Release();
  return out;
}
