// Simulated sources of the Media Foundation source reader.
#include "acquire/mf_sim.h"

#include <map>
#include <mutex>

#include "acquire/capture_devices.h"
#include "acquire/dshow_sim.h"
#include "acquire/mf_reader_base.h"
#include "acquire/vxmmf.h"

namespace {

std::mutex gLock;
std::map<std::string, VXMFSim::TSource> gSources;
std::vector<std::string> gLog;

void AddLog(const std::string& Line) {
  std::lock_guard g(gLock);
  gLog.push_back(Line);
}

class TSimReader : public TVXMFReaderBase {
 public:
  explicit TSimReader(VXMFSim::TSource Source) : fSource(std::move(Source)) {
    for (const VXMFSim::TStream& s : fSource.Streams) {
      fSelected.push_back(true);
      fCurrent.push_back(s.NativeTypes.empty() ? nullptr : TypeOf(s, s.NativeTypes[0]));
    }
  }
  ~TSimReader() override {
    StopWorker();
    for (VX_IMFMediaType* t : fCurrent)
      if (t) t->Release();
  }
  void Start(VX_IMFAttributes* Attributes) {
    TakeAttributes(Attributes);
    StartWorker();
  }

  HRESULT GetStreamSelection(DWORD index, BOOL* selected) override {
    if (!selected) return E_POINTER;
    std::lock_guard g(fLock);
    const int s = StreamOf(index);
    if (s < 0) return MF_E_INVALIDSTREAMNUMBER;
    *selected = fSelected[size_t(s)];
    return S_OK;
  }
  HRESULT SetStreamSelection(DWORD index, BOOL selected) override {
    std::lock_guard g(fLock);
    if (index == kAllStreams) {
      for (size_t i = 0; i < fSelected.size(); ++i) fSelected[i] = selected != 0;
      return S_OK;
    }
    const int s = StreamOf(index);
    if (s < 0) return MF_E_INVALIDSTREAMNUMBER;
    fSelected[size_t(s)] = selected != 0;
    return S_OK;
  }
  HRESULT GetNativeMediaType(DWORD index, DWORD typeIndex, VX_IMFMediaType** type) override {
    if (!type) return E_POINTER;
    *type = nullptr;
    const int s = StreamOf(index);
    if (s < 0) return MF_E_INVALIDSTREAMNUMBER;
    const VXMFSim::TStream& st = fSource.Streams[size_t(s)];
    if (typeIndex >= st.NativeTypes.size()) return MF_E_NO_MORE_TYPES;
    *type = TypeOf(st, st.NativeTypes[typeIndex]);
    return *type ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetCurrentMediaType(DWORD index, VX_IMFMediaType** type) override {
    if (!type) return E_POINTER;
    *type = nullptr;
    std::lock_guard g(fLock);
    const int s = StreamOf(index);
    if (s < 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!fCurrent[size_t(s)]) return MF_E_NO_MORE_TYPES;
    return VXMFCopyMediaType(fCurrent[size_t(s)], type);
  }
  HRESULT SetCurrentMediaType(DWORD index, DWORD*, VX_IMFMediaType* type) override {
    if (!type) return E_POINTER;
    std::lock_guard g(fLock);
    const int s = StreamOf(index);
    if (s < 0) return MF_E_INVALIDSTREAMNUMBER;
    const VXMFSim::TStream& st = fSource.Streams[size_t(s)];
    GUID major{}, sub{};
    type->GetGUID(MF_MT_MAJOR_TYPE, &major);
    type->GetGUID(MF_MT_SUBTYPE, &sub);
    const std::string majorName = VXMFMajorTypeName(major), subName = VXMFSubTypeName(sub);
    bool ok = majorName == st.MajorType;
    uint64_t size = 0;
    if (ok && st.MajorType == "Video" && SUCCEEDED(type->GetUINT64(MF_MT_FRAME_SIZE, &size)))
      ok = size == (uint64_t(uint32_t(st.Width)) << 32 | uint32_t(st.Height));
    if (ok) {
      ok = false;
      for (const std::string& n : st.NativeTypes) ok = ok || n == subName;
      for (const std::string& n : st.Accepts) ok = ok || n == subName;
    }
    AddLog("SetCurrentMediaType(" + std::to_string(s) + ", " + majorName + ", " + subName +
           (ok ? "): accepted" : "): refused"));
    if (!ok) return MF_E_INVALIDMEDIATYPE;
    if (fCurrent[size_t(s)]) fCurrent[size_t(s)]->Release();
    fCurrent[size_t(s)] = TypeOf(st, subName);
    return S_OK;
  }
  HRESULT SetCurrentPosition(REFGUID format, REFPROPVARIANT position) override {
    if (!IsEqualGUID(format, GUID_NULL) || position.vt != VT_I8) return E_INVALIDARG;
    std::lock_guard g(fLock);
    fNext = 0;
    while (fNext < fSource.Samples.size() && fSource.Samples[fNext].Time < position.hVal) ++fNext;
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
    if (index == kMediaSource && IsEqualGUID(key, MF_PD_DURATION) && fSource.Duration > 0) {
      value->vt = VT_UI8;
      value->uhVal = uint64_t(fSource.Duration);
      return S_OK;
    }
    return MF_E_ATTRIBUTENOTFOUND;
  }

 private:
  // The stream of an index (the first video or audio stream too); -1 for none.
  int StreamOf(DWORD index) const {
    const auto& st = fSource.Streams;
    if (index == kFirstVideo || index == kFirstAudio) {
      const char* major = index == kFirstVideo ? "Video" : "Audio";
      for (size_t i = 0; i < st.size(); ++i)
        if (st[i].MajorType == major) return int(i);
      return -1;
    }
    return index < st.size() ? int(index) : -1;
  }
  bool ReadableStream(DWORD index) override { return StreamOf(index) >= 0; }

  static VX_IMFMediaType* TypeOf(const VXMFSim::TStream& Stream, const std::string& SubType) {
    VX_IMFMediaType* t = nullptr;
    if (FAILED(VXMFPlatCreateMediaType(&t))) return nullptr;
    t->SetGUID(MF_MT_MAJOR_TYPE, VXMFMajorTypeFromName(Stream.MajorType));
    const GUID sub = VXMFSubTypeFromName(SubType);
    t->SetGUID(MF_MT_SUBTYPE, sub);
    if (Stream.MajorType == "Video") {
      t->SetUINT64(MF_MT_FRAME_SIZE, uint64_t(uint32_t(Stream.Width)) << 32 | uint32_t(Stream.Height));
      t->SetUINT64(MF_MT_FRAME_RATE, uint64_t(25) << 32 | 1);
      LONG stride = 0;
      if (SUCCEEDED(VXMFPlatGetStrideForBitmapInfoHeader(sub.Data1, DWORD(Stream.Width), &stride)))
        t->SetUINT32(MF_MT_DEFAULT_STRIDE, UINT(stride));
      else
        t->SetUINT32(MF_MT_COMPRESSED, 1);
    } else {
      const UINT bits = SubType == "PCM" ? 16 : 32;
      t->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
      t->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, 48000);
      t->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits);
      t->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 2 * bits / 8);
    }
    return t;
  }

  // The size of a sample of the stream's current type.
  size_t SampleSize(size_t Stream) const {
    const VXMFSim::TStream& st = fSource.Streams[Stream];
    GUID sub{};
    LONG stride = 0;
    if (st.MajorType != "Video" || !fCurrent[Stream] || FAILED(fCurrent[Stream]->GetGUID(MF_MT_SUBTYPE, &sub)) ||
        FAILED(VXMFPlatGetStrideForBitmapInfoHeader(sub.Data1, DWORD(st.Width), &stride)))
      return 64;
    const size_t h = size_t(st.Height), cw = size_t(st.Width + 1) / 2, ch = (h + 1) / 2;
    size_t size = size_t(stride) * h;
    if (sub.Data1 == VXMFFourCC('I', '4', '2', '0')) size += 2 * cw * ch;
    if (sub.Data1 == VXMFFourCC('N', 'V', '1', '2')) size += size_t(stride) * ch;
    return size;
  }

  void ReadOne(DWORD& stream, DWORD& flags, LONGLONG& time, VX_IMFSample*& sample) override {
    stream = 0, flags = MF_SOURCE_READERF_ENDOFSTREAM, time = 0, sample = nullptr;
    while (fNext < fSource.Samples.size()) {
      const size_t place = fNext++;
      const VXMFSim::TSample& e = fSource.Samples[place];
      if (e.Stream >= fSource.Streams.size() || !fSelected[e.Stream]) continue;
      stream = e.Stream, flags = e.Flags, time = e.Time;
      if (!(flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM))) {
        const std::vector<uint8_t> bytes(SampleSize(e.Stream), uint8_t(place));
        sample = VXMFNewMemorySample(bytes.data(), bytes.size(), e.Time, 0);
      }
      return;
    }
  }

  VXMFSim::TSource fSource;
  std::vector<bool> fSelected;
  std::vector<VX_IMFMediaType*> fCurrent;
  size_t fNext = 0;
};

}  // namespace

namespace VXMFSim {

void Reset() {
  VXDShowSim::Reset();
  std::lock_guard g(gLock);
  gSources.clear();
  gLog.clear();
}

void AddSource(const std::string& Name, const TSource& Source) {
  std::lock_guard g(gLock);
  gSources[Name] = Source;
}

void AddVideoInput(const std::string& Name, const TSource& Source) {
  AddSource(Name, Source);
  TVXCaptureDevice d;
  d.Category = vxccVideoInput;
  d.FriendlyName = Name;
  d.MediaUrl = kVXMFSimScheme + Name;
  VXAddCaptureDevice(d);
}

std::vector<std::string> Log() {
  std::lock_guard g(gLock);
  return gLog;
}

}  // namespace VXMFSim

HRESULT VXMFSimCreateReader(const std::string& Name, VX_IMFAttributes* pAttributes,
                            VX_IMFSourceReader** ppSourceReader) {
  if (!ppSourceReader) return E_POINTER;
  *ppSourceReader = nullptr;
  VXMFSim::TSource source;
  {
    std::lock_guard g(gLock);
    const auto it = gSources.find(Name);
    if (it == gSources.end()) return E_FAIL;
    source = it->second;
  }
  auto* r = new TSimReader(std::move(source));
  r->Start(pAttributes);
  *ppSourceReader = r;
  return S_OK;
}
