// The request handling that the source reader's back ends share.
#include "acquire/mf_reader_base.h"

#include <cstring>

TVXMFReaderBase::~TVXMFReaderBase() {
  StopWorker();
  if (fCallback) fCallback->Release();
}

void TVXMFReaderBase::TakeAttributes(VX_IMFAttributes* Attributes) {
  if (!Attributes) return;
  UINT v = 0;
  fProcessing = SUCCEEDED(Attributes->GetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, &v)) && v != 0;
  if (fCallback) fCallback->Release();
  fCallback = nullptr;
  Attributes->GetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, VX_IMFSourceReaderCallback::kIID,
                         reinterpret_cast<void**>(&fCallback));
}

void TVXMFReaderBase::StartWorker() {
  if (fCallback && !fWorker.joinable()) fWorker = std::thread([this] { Work(); });
}

void TVXMFReaderBase::StopWorker() {
  {
    std::lock_guard g(fWorkLock);
    fQuit = true;
  }
  fWake.notify_all();
  if (fWorker.joinable()) fWorker.join();
}

HRESULT TVXMFReaderBase::ReadSample(DWORD index, DWORD, DWORD* actual, DWORD* flags, LONGLONG* time,
                                    VX_IMFSample** sample) {
  if (index != kAnyStream && !ReadableStream(index)) return MF_E_INVALIDSTREAMNUMBER;
  if (fCallback) {
    if (actual || flags || time || sample) return E_INVALIDARG;
    {
      std::lock_guard g(fWorkLock);
      ++fRequests;
    }
    fWake.notify_one();
    return S_OK;
  }
  DWORD a = 0, fl = 0;
  LONGLONG t = 0;
  VX_IMFSample* s = nullptr;
  {
    std::lock_guard g(fLock);
    ReadOne(a, fl, t, s);
  }
  if (actual) *actual = a;
  if (flags) *flags = fl;
  if (time) *time = t;
  if (sample)
    *sample = s;
  else if (s)
    s->Release();
  return S_OK;
}

void TVXMFReaderBase::Work() {
  for (;;) {
    {
      std::unique_lock g(fWorkLock);
      fWake.wait(g, [this] { return fQuit || fRequests > 0; });
      if (fQuit) return;
      --fRequests;
    }
    DWORD a = 0, fl = 0;
    LONGLONG t = 0;
    VX_IMFSample* s = nullptr;
    {
      std::lock_guard g(fLock);
      ReadOne(a, fl, t, s);
    }
    fCallback->OnReadSample(S_OK, a, fl, t, s);
    if (s) s->Release();
  }
}

HRESULT VXMFCopyMediaType(VX_IMFMediaType* From, VX_IMFMediaType** To) {
  if (FAILED(VXMFPlatCreateMediaType(To))) return E_OUTOFMEMORY;
  From->CopyAllItems(*To);
  return S_OK;
}

VX_IMFSample* VXMFNewMemorySample(const uint8_t* Data, size_t Size, int64_t Time, int64_t Duration) {
  if (Size > 0x7FFFFFFF) return nullptr;
  VX_IMFSample* s = nullptr;
  VX_IMFMediaBuffer* b = nullptr;
  if (FAILED(VXMFPlatCreateSample(&s))) return nullptr;
  if (FAILED(VXMFPlatCreateMemoryBuffer(DWORD(Size), &b))) {
    s->Release();
    return nullptr;
  }
  BYTE* p = nullptr;
  b->Lock(&p, nullptr, nullptr);
  if (Size) {
    if (Data)
      std::memcpy(p, Data, Size);
    else
      std::memset(p, 0, Size);
  }
  b->Unlock();
  b->SetCurrentLength(DWORD(Size));
  s->AddBuffer(b);
  b->Release();
  s->SetSampleTime(Time);
  s->SetSampleDuration(Duration);
  return s;
}
