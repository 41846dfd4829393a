// The graph layer's filters.
#include "acquire/dshow_filters.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "acquire/dshow_graph.h"
#include "acquire/media_source.h"
#include "acquire/v4l2_devices.h"
#include "acquire/vxds_tables.h"
#include "platform/win_clock.h"
#include "winui/avifile.h"

namespace {

constexpr REFERENCE_TIME kDefaultFrameTime = 400000;  // 25 frames per second

// Property page classes of our filters (the platform frame shows none).
constexpr GUID kPageDevice{0x71F96464, 0x78F3, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
constexpr GUID kPageStream{0x71F96467, 0x78F3, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
constexpr GUID kPageCrossbar{0x71F96461, 0x78F3, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
constexpr GUID kPageTuner{0x266EEE41, 0x6C63, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
constexpr GUID kPageCodec{0xC9076CE2, 0xFB56, 0x11CF, {0x90, 0x6C, 0x00, 0xAA, 0x00, 0xA5, 0x9F, 0x69}};
// Classes of the simulated devices (made by the device registry only).
constexpr GUID kClsidVideoInput{0x5C3A0E20, 0x7B1D, 0x4F6E, {0x9A, 0x31, 0x2D, 0x44, 0x0B, 0x8E, 0x61, 0x07}};
constexpr GUID kClsidAudioInput{0x5C3A0E21, 0x7B1D, 0x4F6E, {0x9A, 0x31, 0x2D, 0x44, 0x0B, 0x8E, 0x61, 0x07}};
constexpr GUID kClsidCompressor{0x5C3A0E22, 0x7B1D, 0x4F6E, {0x9A, 0x31, 0x2D, 0x44, 0x0B, 0x8E, 0x61, 0x07}};
constexpr GUID kClsidCrossbar{0x71F96460, 0x78F3, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
constexpr GUID kClsidTuner{0x266EEE40, 0x6C63, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
// The navigator's pins carry DVD packs that only a DVD decoder takes.
constexpr GUID kMediaTypeDVDPack{0xED0B916A, 0x044D, 0x11D1, {0xAA, 0x78, 0x00, 0xC0, 0x4F, 0xC3, 0x1D, 0x60}};

std::mutex gSimLock;
std::vector<TVXDSSimClip> gClips;
TVXDSSimDisc gDisc;
std::vector<std::string> gDVDCalls;
std::atomic<int> gRendered{0};

TVXDSSimDisc DefaultDisc() {
  TVXDSSimDisc d;
  d.Location.TitleNum = 1;
  d.Location.ChapterNum = 2;
  d.Location.TimeCode = {1, 5, 9, 0};
  d.TotalTitleTime = {1, 45, 30, 0};
  return d;
}

void DVDCall(const std::string& Call) {
  std::lock_guard<std::mutex> guard(gSimLock);
  gDVDCalls.push_back(Call);
}

// An RGB24 frame of the sample's picture for a type of any subtype.
std::vector<uint8_t> RGB24Of(const AM_MEDIA_TYPE& In, const TVXDSSample& Sample) {
  const VIDEOINFOHEADER* vih = VXDSVideoInfo(In);
  if (!vih) return {};
  if (IsEqualGUID(In.subtype, MEDIASUBTYPE_RGB24)) return Sample.Data;
  return VXDSDrawFrame(Sample.Index, vih->bmiHeader.biWidth, std::abs(vih->bmiHeader.biHeight));
}

TVXDSMediaType RGB24TypeOf(const AM_MEDIA_TYPE& In) {
  const VIDEOINFOHEADER* vih = VXDSVideoInfo(In);
  if (!vih) return {};
  return TVXDSMediaType::Adopt(VXDSVideoType(MEDIASUBTYPE_RGB24, vih->bmiHeader.biWidth,
                                             std::abs(vih->bmiHeader.biHeight), vih->AvgTimePerFrame));
}

TVXDSPin* FirstPin(TVXDSFilter* f, PIN_DIRECTION Dir) {
  for (const auto& p : f->Pins())
    if (p->Direction() == Dir) return p.get();
  return nullptr;
}

// ---- a streaming thread that a source feeds ----

// Runs Work on its own thread until Stop; Work answers false when the
// stream has nothing more to do for now and waits to be woken.
class TStreamer {
 public:
  ~TStreamer() { Stop(); }
  void Start(std::function<bool()> Work) {
    Stop();
    fQuit = false;
    fThread = std::thread([this, Work = std::move(Work)] {
      std::unique_lock<std::mutex> lock(fLock);
      while (!fQuit) {
        lock.unlock();
        const bool more = Work();
        lock.lock();
        if (!more && !fQuit && !fWake) fCv.wait(lock, [this] { return fQuit || fWake; });
        fWake = false;
      }
    });
  }
  void Wake() {
    std::lock_guard<std::mutex> guard(fLock);
    fWake = true;
    fCv.notify_all();
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> guard(fLock);
      fQuit = true;
      fCv.notify_all();
    }
    if (fThread.joinable()) fThread.join();
  }
  bool Running() const { return fThread.joinable(); }

 private:
  std::mutex fLock;
  std::condition_variable fCv;
  bool fQuit = false, fWake = false;
  std::thread fThread;
};

// ---- crossbar and tuner ----

class TCrossbar : public TVXDSFilter, public IVXAMCrossbar {
 public:
  explicit TCrossbar(bool Tuner) : TVXDSFilter(kClsidCrossbar) {
    if (Tuner) AddIn("Video Tuner In", MEDIATYPE_AnalogVideo, PhysConn_Video_Tuner);
    AddIn("Video Composite In", MEDIATYPE_AnalogVideo, PhysConn_Video_Composite);
    AddIn("Video SVideo In", MEDIATYPE_AnalogVideo, PhysConn_Video_SVideo);
    if (Tuner) AddIn("Audio Tuner In", MEDIATYPE_AnalogAudio, PhysConn_Audio_Tuner);
    AddIn("Audio Line In", MEDIATYPE_AnalogAudio, PhysConn_Audio_Line);
    fOut.push_back(AddPin("Video Decoder Out", PINDIR_OUTPUT, MEDIATYPE_AnalogVideo));
    fOut.back()->PhysicalType = PhysConn_Video_VideoDecoder;
    fOut.push_back(AddPin("Audio Decoder Out", PINDIR_OUTPUT, MEDIATYPE_AnalogAudio));
    fOut.back()->PhysicalType = PhysConn_Audio_AudioDecoder;
    fRoute = {0, Tuner ? 3 : 2};
    HasPropertyPages = true;
    PropertyPages = {kPageCrossbar};
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return VXInterfaceAnswers<IVXAMCrossbar>(riid) ? static_cast<IVXAMCrossbar*>(this) : nullptr;
  }
  TVXDSMediaType Offer(TVXDSPin* Out) override {
    AM_MEDIA_TYPE mt;
    mt.majortype = Out->Major();
    return TVXDSMediaType(mt);
  }
  HRESULT get_PinCounts(LONG* OutputPinCount, LONG* InputPinCount) override {
    if (!OutputPinCount || !InputPinCount) return E_POINTER;
    *OutputPinCount = LONG(fOut.size());
    *InputPinCount = LONG(fIn.size());
    return S_OK;
  }
  HRESULT CanRoute(LONG OutputPinIndex, LONG InputPinIndex) override {
    if (!ValidOut(OutputPinIndex) || !ValidIn(InputPinIndex)) return E_INVALIDARG;
    return IsEqualGUID(fOut[OutputPinIndex]->Major(), fIn[InputPinIndex]->Major()) ? S_OK : S_FALSE;
  }
  HRESULT Route(LONG OutputPinIndex, LONG InputPinIndex) override {
    const HRESULT hr = CanRoute(OutputPinIndex, InputPinIndex);
    if (hr != S_OK) return hr == S_FALSE ? E_INVALIDARG : hr;
    fRoute[OutputPinIndex] = InputPinIndex;
    return S_OK;
  }
  HRESULT get_IsRoutedTo(LONG OutputPinIndex, LONG* InputPinIndex) override {
    if (!InputPinIndex) return E_POINTER;
    if (!ValidOut(OutputPinIndex)) return E_INVALIDARG;
    *InputPinIndex = fRoute[OutputPinIndex];
    return S_OK;
  }
  HRESULT get_CrossbarPinInfo(BOOL IsInputPin, LONG PinIndex, LONG* PinIndexRelated, LONG* PhysicalType) override {
    if (!PinIndexRelated || !PhysicalType) return E_POINTER;
    if (IsInputPin ? !ValidIn(PinIndex) : !ValidOut(PinIndex)) return E_INVALIDARG;
    TVXDSPin* p = IsInputPin ? fIn[PinIndex] : fOut[PinIndex];
    *PhysicalType = p->PhysicalType;
    *PinIndexRelated = -1;
    return S_OK;
  }

 private:
  void AddIn(const char* Name, const GUID& Major, LONG Phys) {
    fIn.push_back(AddPin(Name, PINDIR_INPUT, Major));
    fIn.back()->PhysicalType = Phys;
  }
  bool ValidOut(LONG i) const { return i >= 0 && size_t(i) < fOut.size(); }
  bool ValidIn(LONG i) const { return i >= 0 && size_t(i) < fIn.size(); }
  std::vector<TVXDSPin*> fIn, fOut;
  std::vector<LONG> fRoute;
};

class TTuner : public TVXDSFilter, public IVXAMTVTuner {
 public:
  explicit TTuner(uint32_t Standards) : TVXDSFilter(kClsidTuner), fStandards(Standards) {
    AddPin("Analog Video", PINDIR_OUTPUT, MEDIATYPE_AnalogVideo);
    AddPin("Analog Audio", PINDIR_OUTPUT, MEDIATYPE_AnalogAudio);
    HasPropertyPages = true;
    PropertyPages = {kPageTuner};
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return VXInterfaceAnswers<IVXAMTVTuner>(riid) ? static_cast<IVXAMTVTuner*>(this) : nullptr;
  }
  TVXDSMediaType Offer(TVXDSPin* Out) override {
    AM_MEDIA_TYPE mt;
    mt.majortype = Out->Major();
    return TVXDSMediaType(mt);
  }
  // Channels 1 to 125; the simulated air carries a signal on every channel
  // from 2 to 69.
  HRESULT put_Channel(LONG lChannel, LONG, LONG) override {
    if (lChannel < kMin || lChannel > kMax) return E_INVALIDARG;
    fChannel = lChannel;
    return S_OK;
  }
  HRESULT get_Channel(LONG* c, LONG* v, LONG* a) override {
    if (!c || !v || !a) return E_POINTER;
    *c = fChannel;
    *v = *a = AMTUNER_SUBCHAN_DEFAULT;
    return S_OK;
  }
  HRESULT ChannelMinMax(LONG* lo, LONG* hi) override {
    if (!lo || !hi) return E_POINTER;
    *lo = kMin;
    *hi = kMax;
    return S_OK;
  }
  HRESULT put_CountryCode(LONG c) override {
    fCountry = c;
    return S_OK;
  }
  HRESULT get_CountryCode(LONG* c) override { return VXDSAnswer(c, fCountry); }
  HRESULT put_TuningSpace(LONG s) override {
    fSpace = s;
    return S_OK;
  }
  HRESULT get_TuningSpace(LONG* s) override { return VXDSAnswer(s, fSpace); }
  HRESULT Logon(HANDLE) override { return S_OK; }
  HRESULT Logout() override { return S_OK; }
  HRESULT SignalPresent(LONG* s) override { return VXDSAnswer(s, HasSignal(fChannel) ? 1 : 0); }
  HRESULT put_Mode(AMTunerModeType m) override { return m == AMTUNER_MODE_TV ? S_OK : E_INVALIDARG; }
  HRESULT get_Mode(AMTunerModeType* m) override { return VXDSAnswer(m, AMTUNER_MODE_TV); }
  HRESULT GetAvailableModes(LONG* m) override { return VXDSAnswer(m, AMTUNER_MODE_TV); }
  HRESULT RegisterNotificationCallBack(IAMTunerNotification*, LONG) override { return E_NOTIMPL; }
  HRESULT UnRegisterNotificationCallBack(IAMTunerNotification*) override { return E_NOTIMPL; }
  HRESULT get_AvailableTVFormats(LONG* f) override { return VXDSAnswer(f, LONG(fStandards)); }
  HRESULT get_TVFormat(LONG* f) override { return VXDSAnswer(f, LONG(fStandards & (~fStandards + 1))); }
  HRESULT AutoTune(LONG lChannel, LONG* plFoundSignal) override {
    if (!plFoundSignal) return E_POINTER;
    if (lChannel < kMin || lChannel > kMax) return E_INVALIDARG;
    fChannel = lChannel;
    *plFoundSignal = HasSignal(lChannel) ? 1 : 0;
    return S_OK;
  }
  HRESULT StoreAutoTune() override { return S_OK; }
  HRESULT get_NumInputConnections(LONG* n) override { return VXDSAnswer(n, 1); }
  HRESULT put_InputType(LONG i, TunerInputType t) override {
    if (i != 0) return E_INVALIDARG;
    fInput = t;
    return S_OK;
  }
  HRESULT get_InputType(LONG i, TunerInputType* t) override {
    if (!t) return E_POINTER;
    if (i != 0) return E_INVALIDARG;
    *t = fInput;
    return S_OK;
  }
  HRESULT put_ConnectInput(LONG i) override { return i == 0 ? S_OK : E_INVALIDARG; }
  HRESULT get_ConnectInput(LONG* i) override { return VXDSAnswer(i, 0); }
  HRESULT get_VideoFrequency(LONG* f) override { return VXDSAnswer(f, 55250000 + (fChannel - 2) * 6000000); }
  HRESULT get_AudioFrequency(LONG* f) override { return VXDSAnswer(f, 59750000 + (fChannel - 2) * 6000000); }

 private:
  static constexpr LONG kMin = 1, kMax = 125;
  static bool HasSignal(LONG c) { return c >= 2 && c <= 69; }
  uint32_t fStandards;
  LONG fChannel = 2, fCountry = 1, fSpace = 0;
  TunerInputType fInput = TunerInputCable;
};

// ---- capture devices ----

class TVideoInput;
std::vector<TVideoInput*> gLiveDevices;  // under gSimLock

class TVideoInput : public TVXDSFilter, public IVXAMStreamConfig, public IVXAMAnalogVideoDecoder, public TVXDSClock {
 public:
  explicit TVideoInput(const TVXDSSimVideoInput& Device) : TVXDSFilter(kClsidVideoInput), fDevice(Device) {
    for (const TVXDSSimCaps& c : fDevice.Caps) fStandardsMask |= c.Standards;
    if (fDevice.Crossbar || fDevice.Tuner) {
      AddPin("Analog Video In", PINDIR_INPUT, MEDIATYPE_AnalogVideo);
      fCrossbar = new TCrossbar(fDevice.Tuner);
      if (fDevice.Tuner) fTuner = new TTuner(fStandardsMask);
    }
    fCapture = AddPin("Capture", PINDIR_OUTPUT, MEDIATYPE_Video, PIN_CATEGORY_CAPTURE);
    fPreview = AddPin("Preview", PINDIR_OUTPUT, MEDIATYPE_Video, PIN_CATEGORY_PREVIEW);
    if (!fDevice.Caps.empty()) fFormat = CapsType(0);
    fTVFormat = fStandardsMask & (~fStandardsMask + 1);
    HasPropertyPages = true;
    PropertyPages = {kPageDevice};
    std::lock_guard<std::mutex> guard(gSimLock);
    gLiveDevices.push_back(this);
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    if (VXInterfaceAnswers<IVXReferenceClock>(riid)) return static_cast<IVXReferenceClock*>(this);
    if (fCrossbar && VXInterfaceAnswers<IVXAMAnalogVideoDecoder>(riid))
      return static_cast<IVXAMAnalogVideoDecoder*>(this);
    return nullptr;
  }
  void* PinExtra(TVXDSPin* Pin, REFIID riid) override {
    if (Pin == fCapture && VXInterfaceAnswers<IVXAMStreamConfig>(riid)) return static_cast<IVXAMStreamConfig*>(this);
    if (Pin == fCapture && IsEqualGUID(riid, ISpecifyPropertyPages::kIID))
      return static_cast<ISpecifyPropertyPages*>(this);
    return nullptr;
  }
  std::vector<std::pair<TVXDSFilter*, std::string>> Upstream() override {
    std::vector<std::pair<TVXDSFilter*, std::string>> up;
    if (fCrossbar) up.push_back({fCrossbar, "Crossbar"});
    if (fTuner) up.push_back({fTuner, "TV Tuner"});
    return up;
  }
  const std::string& DeviceName() const { return fDevice.Name; }
  TVXDSMediaType Offer(TVXDSPin*) override {
    std::lock_guard<std::mutex> guard(fLock);
    return fFormat;
  }
  HRESULT OnStateChange(FILTER_STATE Old, FILTER_STATE New) override {
    if (New != State_Stopped && fDevice.Busy) return VXDS_E_DEVICE_BUSY;
    if (New == State_Running)
      fStreamer.Start([this] { return Stream(); });
    else if (Old == State_Running) {
      fStreamer.Stop();
      std::lock_guard<std::mutex> guard(fLock);
      fPending = 0;
      fDone.notify_all();
    }
    return New == State_Paused ? VFW_S_CANT_CUE : S_OK;
  }
  HRESULT StateAnswer() override { return VFW_S_CANT_CUE; }
  // Count more frames from the streaming thread; waits until they left.
  int Deliver(int Count) {
    if (State() != State_Running || Count <= 0) return 0;
    std::unique_lock<std::mutex> lock(fLock);
    const int64_t target = fSent + Count;
    fPending += Count;
    lock.unlock();
    fStreamer.Wake();
    lock.lock();
    fDone.wait_for(lock, std::chrono::seconds(20), [&] { return fSent >= target || fPending == 0; });
    return int(Count - std::max<int64_t>(0, target - fSent));
  }

  // ---- IAMStreamConfig ----
  HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override {
    if (!pmt) return E_POINTER;
    const VIDEOINFOHEADER* vih = VXDSVideoInfo(*pmt);
    if (!IsEqualGUID(pmt->majortype, MEDIATYPE_Video) || !vih || vih->bmiHeader.biWidth <= 0 ||
        vih->bmiHeader.biHeight == 0)
      return VFW_E_TYPE_NOT_ACCEPTED;
    bool known = false;
    for (const TVXDSSimCaps& c : fDevice.Caps) known |= IsEqualGUID(c.SubType, pmt->subtype);
    if (!known) return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard<std::mutex> guard(fLock);
    fFormat = TVXDSMediaType(*pmt);
    return S_OK;
  }
  HRESULT GetFormat(AM_MEDIA_TYPE** ppmt) override {
    if (!ppmt) return E_POINTER;
    std::lock_guard<std::mutex> guard(fLock);
    *ppmt = CreateMediaType(&fFormat.Get());
    return *ppmt ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetNumberOfCapabilities(int* piCount, int* piSize) override {
    if (!piCount || !piSize) return E_POINTER;
    *piCount = int(fDevice.Caps.size());
    *piSize = int(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    return S_OK;
  }
  HRESULT GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override {
    if (!ppmt || !pSCC) return E_POINTER;
    if (iIndex < 0 || size_t(iIndex) >= fDevice.Caps.size()) return S_FALSE;
    const TVXDSSimCaps& c = fDevice.Caps[iIndex];
    TVXDSMediaType t = CapsType(iIndex);
    *ppmt = CreateMediaType(&t.Get());
    if (!*ppmt) return E_OUTOFMEMORY;
    VIDEO_STREAM_CONFIG_CAPS caps;
    caps.guid = FORMAT_VideoInfo;
    caps.VideoStandard = c.Standards;
    caps.InputSize = caps.MinCroppingSize = caps.MaxCroppingSize = {c.Width, c.Height};
    caps.MinOutputSize = caps.MaxOutputSize = {c.Width, c.Height};
    caps.OutputGranularityX = caps.OutputGranularityY = 1;
    caps.CropGranularityX = caps.CropGranularityY = caps.CropAlignX = caps.CropAlignY = 1;
    caps.MinFrameInterval = caps.MaxFrameInterval = kDefaultFrameTime;
    caps.MinBitsPerSecond = caps.MaxBitsPerSecond = LONG(c.BitRate);
    std::memcpy(pSCC, &caps, sizeof caps);
    return S_OK;
  }

  // ---- IAMAnalogVideoDecoder ----
  HRESULT get_AvailableTVFormats(LONG* f) override { return VXDSAnswer(f, LONG(fStandardsMask)); }
  HRESULT put_TVFormat(LONG f) override {
    if (f != 0 && (uint32_t(f) & fStandardsMask) != uint32_t(f)) return E_INVALIDARG;
    fTVFormat = uint32_t(f);
    return S_OK;
  }
  HRESULT get_TVFormat(LONG* f) override { return VXDSAnswer(f, LONG(fTVFormat)); }
  HRESULT get_HorizontalLocked(LONG* l) override { return VXDSAnswer(l, 1); }
  HRESULT put_VCRHorizontalLocking(LONG l) override {
    fVCRLocking = l != 0;
    return S_OK;
  }
  HRESULT get_VCRHorizontalLocking(LONG* l) override { return VXDSAnswer(l, fVCRLocking ? 1 : 0); }
  HRESULT get_NumberOfLines(LONG* n) override { return VXDSAnswer(n, (fTVFormat & 0x7) ? 525 : 625); }
  HRESULT put_OutputEnable(LONG e) override {
    fOutputEnable = e != 0;
    return S_OK;
  }
  HRESULT get_OutputEnable(LONG* e) override { return VXDSAnswer(e, fOutputEnable ? 1 : 0); }

 protected:
  ~TVideoInput() override {
    fStreamer.Stop();
    {
      std::lock_guard<std::mutex> guard(gSimLock);
      gLiveDevices.erase(std::find(gLiveDevices.begin(), gLiveDevices.end(), this));
    }
    if (fCrossbar) fCrossbar->Release();
    if (fTuner) fTuner->Release();
  }

 private:
  TVXDSMediaType CapsType(int i) const {
    const TVXDSSimCaps& c = fDevice.Caps[i];
    return TVXDSMediaType::Adopt(VXDSVideoType(c.SubType, c.Width, c.Height, kDefaultFrameTime, c.BitRate));
  }
  // One frame to each connected output; false when none is pending.
  bool Stream() {
    TVXDSSample s;
    {
      std::lock_guard<std::mutex> guard(fLock);
      if (fPending <= 0) return false;
      const AM_MEDIA_TYPE& mt = fFormat.Get();
      const VIDEOINFOHEADER* vih = VXDSVideoInfo(mt);
      const REFERENCE_TIME frameTime = vih && vih->AvgTimePerFrame > 0 ? vih->AvgTimePerFrame : kDefaultFrameTime;
      s.Index = fSent;
      s.Start = fSent * frameTime;
      s.Stop = s.Start + frameTime;
      if (IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB24) && vih)
        s.Data = VXDSDrawFrame(fSent, vih->bmiHeader.biWidth, std::abs(vih->bmiHeader.biHeight));
      else {
        s.Data.assign(std::max<size_t>(VXDSFrameBytes(mt), 2), 0);
        s.Data[0] = uint8_t(fSent & 0xFF);
        s.Data[1] = uint8_t((fSent >> 8) & 0xFF);
      }
    }
    fCapture->Deliver(s);
    fPreview->Deliver(s);
    std::lock_guard<std::mutex> guard(fLock);
    ++fSent;
    --fPending;
    fDone.notify_all();
    return fPending > 0;
  }

  TVXDSSimVideoInput fDevice;
  uint32_t fStandardsMask = 0, fTVFormat = 0;
  bool fVCRLocking = false, fOutputEnable = true;
  TVXDSPin* fCapture;
  TVXDSPin* fPreview;
  TCrossbar* fCrossbar = nullptr;
  TTuner* fTuner = nullptr;
  TVXDSMediaType fFormat;
  int64_t fPending = 0, fSent = 0;
  std::condition_variable fDone;
  TStreamer fStreamer;
};

// One capability of a live camera: the device's own format and size, and
// what FFmpeg is told to open it with (no options: the device's default).
struct TLiveCaps {
  GUID SubType;
  int Width = 0, Height = 0;
  double Rate = 0;
  TVXMediaOptions Options;
};

// A live camera over the media back end: opened when the graph leaves
// Stopped, read at its frame rate by the streaming thread until stopped.
// Its capabilities are the device's formats and sizes; whichever is
// chosen, the pins give the frames as RGB24 at the chosen size.
class TLiveVideoInput : public TVXDSFilter, public IVXAMStreamConfig, public TVXDSClock {
 public:
  TLiveVideoInput(std::string Name, std::string Url, std::vector<TLiveCaps> Caps)
      : TVXDSFilter(kClsidVideoInput), fName(std::move(Name)), fUrl(std::move(Url)), fCaps(std::move(Caps)) {
    if (fCaps.empty()) fCaps.push_back({MEDIASUBTYPE_RGB24, 0, 0, 0, {}});
    Choose(0);
    fCapture = AddPin("Capture", PINDIR_OUTPUT, MEDIATYPE_Video, PIN_CATEGORY_CAPTURE);
    fPreview = AddPin("Preview", PINDIR_OUTPUT, MEDIATYPE_Video, PIN_CATEGORY_PREVIEW);
    HasPropertyPages = true;
    PropertyPages = {kPageDevice};
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return VXInterfaceAnswers<IVXReferenceClock>(riid) ? static_cast<IVXReferenceClock*>(this) : nullptr;
  }
  void* PinExtra(TVXDSPin* Pin, REFIID riid) override {
    if (Pin == fCapture && VXInterfaceAnswers<IVXAMStreamConfig>(riid)) return static_cast<IVXAMStreamConfig*>(this);
    return nullptr;
  }
  TVXDSMediaType Offer(TVXDSPin*) override { return fFormat; }
  HRESULT OnStateChange(FILTER_STATE Old, FILTER_STATE New) override {
    if (New == State_Stopped) {
      fStreamer.Stop();
      fSource.reset();
      return S_OK;
    }
    if (Old == State_Stopped) {
      int error = 0;
      fSource = VXOpenMediaSource(fUrl, &error, fCaps[fChosen].Options);
      if (!fSource) return error == VXMediaBusyError() ? VXDS_E_DEVICE_BUSY : E_FAIL;
    }
    if (New == State_Running) {
      fStart = std::chrono::steady_clock::now();
      fSent = 0;
      fStreamer.Start([this] { return Stream(); });
    } else if (Old == State_Running) {
      fStreamer.Stop();
    }
    return New == State_Paused ? VFW_S_CANT_CUE : S_OK;
  }
  HRESULT StateAnswer() override { return VFW_S_CANT_CUE; }
  // ---- IAMStreamConfig: the device's formats ----
  // A capability's type, or RGB24 at a capability's size.
  HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override {
    if (!pmt) return E_POINTER;
    const VIDEOINFOHEADER* want = VXDSVideoInfo(*pmt);
    if (!want) return VFW_E_TYPE_NOT_ACCEPTED;
    const int w = want->bmiHeader.biWidth, h = std::abs(want->bmiHeader.biHeight);
    int rgb = -1;
    for (size_t i = 0; i < fCaps.size(); ++i) {
      if (fCaps[i].Width != w || fCaps[i].Height != h) continue;
      if (IsEqualGUID(pmt->subtype, fCaps[i].SubType)) {
        Choose(i);
        return S_OK;
      }
      if (rgb < 0 && IsEqualGUID(pmt->subtype, MEDIASUBTYPE_RGB24)) rgb = int(i);
    }
    if (rgb < 0) return VFW_E_TYPE_NOT_ACCEPTED;
    Choose(size_t(rgb));
    return S_OK;
  }
  HRESULT GetFormat(AM_MEDIA_TYPE** ppmt) override {
    if (!ppmt) return E_POINTER;
    *ppmt = CreateMediaType(&fFormat.Get());
    return *ppmt ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetNumberOfCapabilities(int* piCount, int* piSize) override {
    if (!piCount || !piSize) return E_POINTER;
    *piCount = int(fCaps.size());
    *piSize = int(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    return S_OK;
  }
  HRESULT GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override {
    if (!ppmt || !pSCC) return E_POINTER;
    if (iIndex < 0 || size_t(iIndex) >= fCaps.size()) return S_FALSE;
    const TLiveCaps& c = fCaps[size_t(iIndex)];
    // The bit rate of the device's frames (24 bits a pixel for compressed
    // ones, which have no fixed size).
    const int bits = VXDSSubTypeBitCount(c.SubType) > 0 ? VXDSSubTypeBitCount(c.SubType) : 24;
    const double bitRate = double(c.Width) * c.Height * bits * (c.Rate > 0 ? c.Rate : 25);
    const DWORD rate = DWORD(std::min(bitRate, 4294967295.0));
    TVXDSMediaType type =
        TVXDSMediaType::Adopt(VXDSVideoType(c.SubType, c.Width, c.Height, FrameTime(c.Rate), rate));
    *ppmt = CreateMediaType(&type.Get());
    if (!*ppmt) return E_OUTOFMEMORY;
    const VIDEOINFOHEADER* vih = VXDSVideoInfo(type.Get());
    VIDEO_STREAM_CONFIG_CAPS caps;
    caps.guid = FORMAT_VideoInfo;
    caps.MinOutputSize = caps.MaxOutputSize = caps.InputSize = {vih->bmiHeader.biWidth, vih->bmiHeader.biHeight};
    caps.OutputGranularityX = caps.OutputGranularityY = 1;
    caps.MinFrameInterval = caps.MaxFrameInterval = vih->AvgTimePerFrame;
    std::memcpy(pSCC, &caps, sizeof caps);
    return S_OK;
  }

 protected:
  ~TLiveVideoInput() override { fStreamer.Stop(); }

 private:
  static REFERENCE_TIME FrameTime(double Rate) { return REFERENCE_TIME(std::llrint(1e7 / (Rate > 0 ? Rate : 25))); }
  void Choose(size_t Index) {
    fChosen = Index;
    const TLiveCaps& c = fCaps[Index];
    fRate = c.Rate > 0 ? c.Rate : 25;
    fFormat = TVXDSMediaType::Adopt(VXDSVideoType(MEDIASUBTYPE_RGB24, c.Width, c.Height, FrameTime(fRate)));
  }
  // One frame at its time; the stream ends with the device's.
  bool Stream() {
    TVXDSSample s;
    int64_t index = 0;
    if (!fSource || !fSource->ReadFrame(s.Data, index)) {
      fCapture->DeliverEndOfStream();
      fPreview->DeliverEndOfStream();
      return false;
    }
    const REFERENCE_TIME frameTime = REFERENCE_TIME(std::llrint(1e7 / fRate));
    std::this_thread::sleep_until(fStart + std::chrono::microseconds(fSent * frameTime / 10));
    s.Index = fSent;
    s.Start = fSent * frameTime;
    s.Stop = s.Start + frameTime;
    ++fSent;
    fCapture->Deliver(s);
    fPreview->Deliver(s);
    return true;
  }

  std::string fName, fUrl;
  std::vector<TLiveCaps> fCaps;
  size_t fChosen = 0;
  double fRate = 25;
  TVXDSMediaType fFormat;
  TVXDSPin* fCapture;
  TVXDSPin* fPreview;
  std::unique_ptr<TVXMediaSource> fSource;
  std::chrono::steady_clock::time_point fStart;
  int64_t fSent = 0;
  TStreamer fStreamer;
};

class TAudioInput : public TVXDSFilter, public TVXDSClock {
 public:
  TAudioInput() : TVXDSFilter(kClsidAudioInput) {
    AddPin("Capture", PINDIR_OUTPUT, MEDIATYPE_Audio, PIN_CATEGORY_CAPTURE);
    HasPropertyPages = true;
    PropertyPages = {kPageDevice};
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return VXInterfaceAnswers<IVXReferenceClock>(riid) ? static_cast<IVXReferenceClock*>(this) : nullptr;
  }
  TVXDSMediaType Offer(TVXDSPin*) override { return TVXDSMediaType::Adopt(VXDSAudioType()); }
  HRESULT StateAnswer() override { return VFW_S_CANT_CUE; }
};

// A compressor that passes its frames on unchanged, with a quality value.
class TCompressor : public TVXDSFilter, public IVXAMVideoCompression {
 public:
  explicit TCompressor(bool Video) : TVXDSFilter(kClsidCompressor), fVideo(Video) {
    const GUID& major = Video ? MEDIATYPE_Video : MEDIATYPE_Audio;
    AddPin("Input", PINDIR_INPUT, major);
    AddPin("Output", PINDIR_OUTPUT, major);
    HasPropertyPages = true;
    PropertyPages = {kPageCodec};
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return fVideo && VXInterfaceAnswers<IVXAMVideoCompression>(riid) ? static_cast<IVXAMVideoCompression*>(this)
                                                                     : nullptr;
  }
  HRESULT put_KeyFrameRate(LONG r) override {
    fKeyFrameRate = r;
    return S_OK;
  }
  HRESULT get_KeyFrameRate(LONG* r) override { return VXDSAnswer(r, fKeyFrameRate); }
  HRESULT put_PFramesPerKeyFrame(LONG) override { return E_NOTIMPL; }
  HRESULT get_PFramesPerKeyFrame(LONG*) override { return E_NOTIMPL; }
  // 0 to 1; a negative value restores the default.
  HRESULT put_Quality(double q) override {
    if (q > 1) return E_INVALIDARG;
    fQuality = q < 0 ? kDefaultQuality : q;
    return S_OK;
  }
  HRESULT get_Quality(double* q) override { return VXDSAnswer(q, fQuality); }
  HRESULT put_WindowSize(uint64_t) override { return E_NOTIMPL; }
  HRESULT get_WindowSize(uint64_t*) override { return E_NOTIMPL; }
  HRESULT GetInfo(LPWSTR, int*, LPWSTR, int*, LONG* key, LONG* p, double* quality, LONG* caps) override {
    if (key) *key = 15;
    if (p) *p = 0;
    if (quality) *quality = kDefaultQuality;
    if (caps) *caps = 0x1 | 0x2;  // CompressionCaps_CanQuality | CanCrunch
    return S_OK;
  }
  HRESULT OverrideKeyFrame(LONG) override { return E_NOTIMPL; }
  HRESULT OverrideFrameSize(LONG, LONG) override { return E_NOTIMPL; }

 private:
  static constexpr double kDefaultQuality = 0.75;
  bool fVideo;
  LONG fKeyFrameRate = 15;
  double fQuality = kDefaultQuality;
};

// ---- the file source ----

// The file source: a generated clip of VXDShowSim, or any file, URL or
// device that the media back end opens; bottom-up RGB24 frames.
class TFileSource : public TVXDSFilter, public IVXFileSinkFilter, public IVXMediaSeeking {
 public:
  TFileSource() : TVXDSFilter(CLSID_AsyncReader) {
    fOut = AddPin("Output", PINDIR_OUTPUT, MEDIATYPE_Video);
    HasPropertyPages = true;
    PropertyPages = {kPageDevice};
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    if (VXInterfaceAnswers<IVXFileSinkFilter>(riid)) return static_cast<IVXFileSinkFilter*>(this);
    if (VXInterfaceAnswers<IVXMediaSeeking>(riid)) return static_cast<IVXMediaSeeking*>(this);
    return nullptr;
  }
  TVXDSMediaType Offer(TVXDSPin*) override {
    if (!fMedia) return {};
    return TVXDSMediaType::Adopt(VXDSVideoType(MEDIASUBTYPE_RGB24, fMedia->Width(), fMedia->Height(), FrameTime()));
  }
  // ---- IFileSinkFilter: the file to read ----
  HRESULT SetFileName(LPCWSTR pszFileName, const AM_MEDIA_TYPE*) override {
    if (!pszFileName) return E_POINTER;
    {
      std::lock_guard<std::mutex> guard(gSimLock);
      for (const TVXDSSimClip& c : gClips)
        if (c.FileName == pszFileName) {
          fStall = c.Stall;
          fMedia = VXNewSimMediaSource(c.Frames, c.Width, c.Height, c.Rate);
        }
    }
    if (!fMedia) fMedia = VXOpenMediaSource(pszFileName);
    if (!fMedia) return VFW_E_UNKNOWN_FILE_TYPE;
    fFileName = pszFileName;
    return S_OK;
  }
  HRESULT GetCurFile(LPWSTR* name, AM_MEDIA_TYPE*) override {
    if (!name) return E_POINTER;
    *name = VXCoTaskStrDup(fFileName);
    return S_OK;
  }
  HRESULT OnStateChange(FILTER_STATE Old, FILTER_STATE New) override {
    if (Old == State_Running) fStreamer.Stop();
    if (New == State_Stopped) {
      fCued = false;
      std::lock_guard<std::mutex> guard(fLock);
      fNext = fPos;
      return S_OK;
    }
    if (New == State_Paused && Old == State_Stopped) Cue();
    if (New == State_Running) {
      fEnded = false;
      fStreamer.Start([this] { return Stream(); });
    }
    return S_OK;
  }
  HRESULT StateAnswer() override { return fStall && !fCued ? VFW_S_STATE_INTERMEDIATE : S_OK; }
  bool StepFrames(DWORD n) override {
    if (State() != State_Paused) return false;
    {
      std::lock_guard<std::mutex> guard(fLock);
      fPos = std::min<int64_t>(fPos + n, std::max<int64_t>(Frames() - 1, 0));
    }
    Cue();
    return true;
  }

  // ---- IMediaSeeking: media time always, frames when the source counts
  // them at a constant rate ----
  HRESULT GetCapabilities(DWORD* c) override { return VXDSAnswer(c, kCaps); }
  HRESULT CheckCapabilities(DWORD* c) override {
    if (!c) return E_POINTER;
    const DWORD asked = *c;
    *c &= kCaps;
    return *c == asked ? S_OK : (*c ? S_FALSE : E_FAIL);
  }
  HRESULT IsFormatSupported(const GUID* f) override {
    if (!f) return E_POINTER;
    return IsEqualGUID(*f, TIME_FORMAT_MEDIA_TIME) ||
                   (IsEqualGUID(*f, TIME_FORMAT_FRAME) && fMedia && fMedia->FrameExact())
               ? S_OK
               : S_FALSE;
  }
  HRESULT QueryPreferredFormat(GUID* f) override { return VXDSAnswer(f, TIME_FORMAT_MEDIA_TIME); }
  HRESULT GetTimeFormat(GUID* f) override { return VXDSAnswer(f, fFormat); }
  HRESULT IsUsingTimeFormat(const GUID* f) override {
    if (!f) return E_POINTER;
    return IsEqualGUID(*f, fFormat) ? S_OK : S_FALSE;
  }
  HRESULT SetTimeFormat(const GUID* f) override {
    if (!f) return E_POINTER;
    if (IsFormatSupported(f) != S_OK) return E_INVALIDARG;
    fFormat = *f;
    return S_OK;
  }
  HRESULT GetDuration(LONGLONG* d) override {
    if (!d) return E_POINTER;
    *d = IsEqualGUID(fFormat, TIME_FORMAT_FRAME) ? Frames() : (fMedia ? fMedia->Duration() : 0);
    return S_OK;
  }
  HRESULT GetStopPosition(LONGLONG* s) override { return GetDuration(s); }
  HRESULT GetCurrentPosition(LONGLONG* c) override {
    if (!c) return E_POINTER;
    std::lock_guard<std::mutex> guard(fLock);
    *c = InFormat(fPos, fFormat);
    return S_OK;
  }
  HRESULT ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG s, const GUID* sf) override {
    if (!t) return E_POINTER;
    const GUID& from = sf ? *sf : fFormat;
    const GUID& to = tf ? *tf : fFormat;
    if (IsFormatSupported(&from) != S_OK || IsFormatSupported(&to) != S_OK) return E_INVALIDARG;
    *t = IsEqualGUID(from, to) ? s : InFormat(FrameOf(s, from), to);
    return S_OK;
  }
  HRESULT SetPositions(LONGLONG* c, DWORD cf, LONGLONG*, DWORD) override {
    if ((cf & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_NoPositioning) return S_OK;
    if (!c) return E_POINTER;
    const bool running = State() == State_Running;
    if (running) fStreamer.Stop();
    {
      std::lock_guard<std::mutex> guard(fLock);
      int64_t frame = FrameOf(*c, fFormat);
      if ((cf & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_RelativePositioning) frame += fPos;
      fPos = fNext = std::clamp<int64_t>(frame, 0, std::max<int64_t>(Frames(), 0));
      fCued = false;
    }
    if (State() == State_Paused)
      Cue();
    else if (running) {
      fEnded = false;
      fStreamer.Start([this] { return Stream(); });
    }
    return S_OK;
  }
  HRESULT GetPositions(LONGLONG* c, LONGLONG* s) override {
    if (c) GetCurrentPosition(c);
    if (s) GetDuration(s);
    return S_OK;
  }
  HRESULT GetAvailable(LONGLONG* e, LONGLONG* l) override {
    if (e) *e = 0;
    if (l) GetDuration(l);
    return S_OK;
  }
  HRESULT SetRate(double r) override {
    if (r <= 0) return E_INVALIDARG;
    fRate = r;
    return S_OK;
  }
  HRESULT GetRate(double* r) override { return VXDSAnswer(r, fRate); }
  HRESULT GetPreroll(LONGLONG* p) override { return VXDSAnswer(p, 0); }

 protected:
  ~TFileSource() override { fStreamer.Stop(); }

 private:
  static constexpr DWORD kCaps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                                 AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
  // Frames of the source; a source that does not count them is read to
  // its end.
  int64_t Frames() const {
    if (!fMedia) return 0;
    return fMedia->FrameCount() >= 0 ? fMedia->FrameCount() : INT64_MAX / 2;
  }
  REFERENCE_TIME FrameTime() const {
    const double rate = fMedia ? fMedia->FrameRate() : 0;
    return rate > 0 ? REFERENCE_TIME(std::llrint(1e7 / rate)) : kDefaultFrameTime;
  }
  int64_t InFormat(int64_t Frame, const GUID& f) const {
    return IsEqualGUID(f, TIME_FORMAT_FRAME) ? Frame : Frame * FrameTime();
  }
  int64_t FrameOf(int64_t Value, const GUID& f) const {
    if (IsEqualGUID(f, TIME_FORMAT_FRAME)) return Value;
    // The frame showing at that time (rounded to the nearest frame start).
    return int64_t(std::llrint(double(Value) / double(std::max<REFERENCE_TIME>(FrameTime(), 1))));
  }
  // Frame i of the source; false past its end.
  bool Frame(int64_t i, TVXDSSample& s) {
    std::lock_guard<std::mutex> guard(fMediaLock);
    if (!fMedia || !fMedia->Seek(i)) return false;
    int64_t index = i;
    if (!fMedia->ReadFrame(s.Data, index)) return false;
    s.Index = index;
    s.Start = index * FrameTime();
    s.Stop = s.Start + FrameTime();
    return true;
  }
  // The frame at the position reaches the renderers while paused.
  void Cue() {
    if (fStall) return;
    int64_t pos;
    {
      std::lock_guard<std::mutex> guard(fLock);
      pos = fPos;
      fNext = pos + 1;
    }
    // Cues and the streaming thread never run at once: one sample serves.
    TVXDSSample& s = fSample;
    if (Frame(pos, s)) fOut->Deliver(s);
    fCued = true;
  }
  // The next frame after the position; the position follows the frames
  // delivered.
  bool Stream() {
    int64_t next;
    {
      std::lock_guard<std::mutex> guard(fLock);
      next = fNext;
    }
    TVXDSSample& s = fSample;
    const bool got = next < Frames() && Frame(next, s);
    if (!got) {
      if (fEnded.exchange(true)) return false;
      fOut->DeliverEndOfStream();
      return false;
    }
    {
      std::lock_guard<std::mutex> guard(fLock);
      fPos = next;
      fNext = next + 1;
    }
    fOut->Deliver(s);
    return true;
  }

  TVXDSPin* fOut;
  std::string fFileName;
  std::mutex fMediaLock;
  std::unique_ptr<TVXMediaSource> fMedia;
  bool fStall = false;
  GUID fFormat = TIME_FORMAT_MEDIA_TIME;
  int64_t fPos = 0, fNext = 0;  // the position; the next frame to stream
  double fRate = 1;
  std::atomic<bool> fCued{false};
  std::atomic<bool> fEnded{false};
  TVXDSSample fSample;
  TStreamer fStreamer;
};

// ---- transforms ----

// Any video in, RGB24 out (the colour space converter, the AVI
// decompressor).
class TToRGB24 : public TVXDSFilter {
 public:
  explicit TToRGB24(const CLSID& Class) : TVXDSFilter(Class) {
    AddPin("Input", PINDIR_INPUT, MEDIATYPE_Video);
    AddPin("XForm Out", PINDIR_OUTPUT, MEDIATYPE_Video);
  }
  TVXDSMediaType Offer(TVXDSPin*) override {
    TVXDSPin* in = FirstPin(this, PINDIR_INPUT);
    return in && in->IsConnected() ? RGB24TypeOf(in->Type()) : TVXDSMediaType();
  }
  bool Accepts(TVXDSPin* In, const AM_MEDIA_TYPE& mt) override {
    return TVXDSFilter::Accepts(In, mt) && VXDSVideoInfo(mt) != nullptr;
  }
  void Receive(TVXDSPin* In, const TVXDSSample& Sample) override {
    if (IsEqualGUID(In->Type().subtype, MEDIASUBTYPE_RGB24)) return TVXDSFilter::Receive(In, Sample);
    TVXDSSample s;
    s.Index = Sample.Index;
    s.Start = Sample.Start;
    s.Stop = Sample.Stop;
    s.Data = RGB24Of(In->Type(), Sample);
    TVXDSFilter::Receive(In, s);
  }
};
struct TColourConverter : TToRGB24 {
  TColourConverter() : TToRGB24(CLSID_Colour) {}
};
struct TAVIDecompressor : TToRGB24 {
  TAVIDecompressor() : TToRGB24(CLSID_AVIDec) {}
};

// Pass-through stand-ins of the MPEG-2 chain.
class TPassThrough : public TVXDSFilter {
 public:
  TPassThrough(const CLSID& Class, const GUID& InMajor) : TVXDSFilter(Class), fInMajor(InMajor) {
    AddPin("Input", PINDIR_INPUT, InMajor);
    AddPin("Output", PINDIR_OUTPUT, MEDIATYPE_Video);
  }
  bool Accepts(TVXDSPin*, const AM_MEDIA_TYPE& mt) override {
    return IsEqualGUID(mt.majortype, MEDIATYPE_Video) || IsEqualGUID(mt.majortype, MEDIATYPE_Stream);
  }
  TVXDSMediaType Offer(TVXDSPin*) override {
    TVXDSPin* in = FirstPin(this, PINDIR_INPUT);
    return in && in->IsConnected() ? TVXDSMediaType(in->Type()) : TVXDSMediaType();
  }
  void Receive(TVXDSPin*, const TVXDSSample& Sample) override {
    for (const auto& p : Pins())
      if (p->Direction() == PINDIR_OUTPUT) p->Deliver(Sample);
  }
  void EndOfStreamAt(TVXDSPin*) override {
    for (const auto& p : Pins())
      if (p->Direction() == PINDIR_OUTPUT) p->DeliverEndOfStream();
  }

 private:
  GUID fInMajor;
};
struct TMPEG2Demultiplexer : TPassThrough {
  TMPEG2Demultiplexer() : TPassThrough(CLSID_MPEG2Demultiplexer, MEDIATYPE_Stream) {}
};
struct TMPEG2Decoder : TPassThrough {
  TMPEG2Decoder() : TPassThrough(CLSID_MPEG2VideoDecoder, MEDIATYPE_Video) {}
};
class TDMOWrapper : public TPassThrough, public IDMOWrapperFilter {
 public:
  TDMOWrapper() : TPassThrough(CLSID_DMOWrapperFilter, MEDIATYPE_Video) {}
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return VXInterfaceAnswers<IDMOWrapperFilter>(riid) ? static_cast<IDMOWrapperFilter*>(this) : nullptr;
  }
  // Only the colour converter DMO is on this platform.
  HRESULT Init(REFCLSID clsidDMO, REFCLSID catDMO) override {
    if (!IsEqualGUID(clsidDMO, CLSID_CColorConvertDMO) || !IsEqualGUID(catDMO, DMOCATEGORY_VIDEO_EFFECT))
      return REGDB_E_CLASSNOTREG;
    fInitialised = true;
    return S_OK;
  }
  bool Accepts(TVXDSPin* In, const AM_MEDIA_TYPE& mt) override { return fInitialised && TPassThrough::Accepts(In, mt); }

 private:
  bool fInitialised = false;
};

// ---- the sample grabber ----

class TGrabberSample : public TVXComObject<IVXMediaSample> {
 public:
  TGrabberSample(const TVXDSSample& S, const AM_MEDIA_TYPE& mt) : fSample(S), fType(mt) {}
  HRESULT GetPointer(BYTE** p) override { return VXDSAnswer(p, fSample.Data.data()); }
  LONG GetSize() override { return LONG(fSample.Data.size()); }
  HRESULT GetTime(REFERENCE_TIME* s, REFERENCE_TIME* e) override {
    if (!s || !e) return E_POINTER;
    *s = fSample.Start;
    *e = fSample.Stop;
    return S_OK;
  }
  HRESULT SetTime(REFERENCE_TIME* s, REFERENCE_TIME* e) override {
    if (s) fSample.Start = *s;
    if (e) fSample.Stop = *e;
    return S_OK;
  }
  HRESULT IsSyncPoint() override { return fSample.Sync ? S_OK : S_FALSE; }
  HRESULT SetSyncPoint(BOOL b) override {
    fSample.Sync = b != 0;
    return S_OK;
  }
  HRESULT IsPreroll() override { return S_FALSE; }
  HRESULT SetPreroll(BOOL) override { return S_OK; }
  LONG GetActualDataLength() override { return LONG(fSample.Data.size()); }
  HRESULT SetActualDataLength(LONG n) override {
    return n >= 0 && size_t(n) <= fSample.Data.size() ? (fSample.Data.resize(size_t(n)), S_OK) : E_INVALIDARG;
  }
  HRESULT GetMediaType(AM_MEDIA_TYPE** ppmt) override {
    if (!ppmt) return E_POINTER;
    *ppmt = nullptr;
    return S_FALSE;  // the type did not change
  }
  HRESULT SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT IsDiscontinuity() override { return S_FALSE; }
  HRESULT SetDiscontinuity(BOOL) override { return S_OK; }
  HRESULT GetMediaTime(LONGLONG* s, LONGLONG* e) override {
    if (!s || !e) return E_POINTER;
    *s = fSample.Index;
    *e = fSample.Index + 1;
    return S_OK;
  }
  HRESULT SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

 private:
  TVXDSSample fSample;
  TVXDSMediaType fType;
};

class TSampleGrabber : public TVXDSFilter, public IVXSampleGrabber {
 public:
  TSampleGrabber() : TVXDSFilter(CLSID_SampleGrabber) {
    fIn = AddPin("Input", PINDIR_INPUT, MEDIATYPE_Video);
    AddPin("Output", PINDIR_OUTPUT, MEDIATYPE_Video);
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return VXInterfaceAnswers<IVXSampleGrabber>(riid) ? static_cast<IVXSampleGrabber*>(this) : nullptr;
  }
  // The type set with SetMediaType: its major type and subtype, when given,
  // must match.
  bool Accepts(TVXDSPin*, const AM_MEDIA_TYPE& mt) override {
    std::lock_guard<std::mutex> guard(fLock);
    const AM_MEDIA_TYPE& want = fWanted.Get();
    if (!IsEqualGUID(want.majortype, GUID{}) && !IsEqualGUID(want.majortype, mt.majortype)) return false;
    if (!IsEqualGUID(want.subtype, GUID{}) && !IsEqualGUID(want.subtype, mt.subtype)) return false;
    return IsEqualGUID(mt.majortype, MEDIATYPE_Video);
  }
  void Receive(TVXDSPin* In, const TVXDSSample& Sample) override {
    IVXSampleGrabberCB* cb;
    LONG which;
    {
      std::lock_guard<std::mutex> guard(fLock);
      if (fOneShotDone) return;
      if (fBuffer) fLast = Sample.Data;
      if (fOneShot) fOneShotDone = true;
      cb = fCallback;
      which = fWhich;
      if (cb) cb->AddRef();
    }
    if (cb) {
      const double t = double(Sample.Start) / 1e7;
      if (which == 1) {
        std::vector<uint8_t> copy = Sample.Data;
        cb->BufferCB(t, copy.data(), LONG(copy.size()));
      } else {
        auto* s = new TGrabberSample(Sample, In->Type());
        cb->SampleCB(t, s);
        s->Release();
      }
      cb->Release();
    }
    TVXDSFilter::Receive(In, Sample);
  }
  HRESULT SetOneShot(BOOL OneShot) override {
    std::lock_guard<std::mutex> guard(fLock);
    fOneShot = OneShot != 0;
    fOneShotDone = false;
    return S_OK;
  }
  HRESULT SetMediaType(const AM_MEDIA_TYPE* pType) override {
    if (!pType) return E_POINTER;
    std::lock_guard<std::mutex> guard(fLock);
    fWanted = TVXDSMediaType(*pType);
    return S_OK;
  }
  HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pType) override {
    if (!pType) return E_POINTER;
    if (!fIn->IsConnected()) return VFW_E_NOT_CONNECTED;
    return CopyMediaType(pType, &fIn->Type());
  }
  HRESULT SetBufferSamples(BOOL BufferThem) override {
    std::lock_guard<std::mutex> guard(fLock);
    fBuffer = BufferThem != 0;
    return S_OK;
  }
  HRESULT GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) override {
    if (!pBufferSize) return E_POINTER;
    std::lock_guard<std::mutex> guard(fLock);
    if (!fBuffer) return E_INVALIDARG;
    if (fLast.empty()) return VFW_E_WRONG_STATE;
    if (!pBuffer) {
      *pBufferSize = LONG(fLast.size());
      return S_OK;
    }
    if (*pBufferSize < LONG(fLast.size())) return E_OUTOFMEMORY;
    std::memcpy(pBuffer, fLast.data(), fLast.size());
    *pBufferSize = LONG(fLast.size());
    return S_OK;
  }
  HRESULT GetCurrentSample(IVXMediaSample** ppSample) override {
    if (ppSample) *ppSample = nullptr;
    return E_NOTIMPL;
  }
  HRESULT SetCallback(IVXSampleGrabberCB* pCallback, LONG WhichMethodToCallback) override {
    if (WhichMethodToCallback != 0 && WhichMethodToCallback != 1) return E_INVALIDARG;
    if (pCallback) pCallback->AddRef();
    std::lock_guard<std::mutex> guard(fLock);
    if (fCallback) fCallback->Release();
    fCallback = pCallback;
    fWhich = WhichMethodToCallback;
    return S_OK;
  }

 protected:
  ~TSampleGrabber() override {
    if (fCallback) fCallback->Release();
  }

 private:
  TVXDSPin* fIn;
  TVXDSMediaType fWanted;
  bool fBuffer = false, fOneShot = false, fOneShotDone = false;
  std::vector<uint8_t> fLast;
  IVXSampleGrabberCB* fCallback = nullptr;
  LONG fWhich = 0;
};

// ---- renderers ----

class TNullRenderer : public TVXDSFilter {
 public:
  explicit TNullRenderer(const CLSID& Class = CLSID_NullRenderer, const GUID& Major = GUID{}) : TVXDSFilter(Class) {
    AddPin("In", PINDIR_INPUT, Major);
  }
  bool IsRenderer() const override { return true; }
  bool Accepts(TVXDSPin* In, const AM_MEDIA_TYPE& mt) override {
    return IsEqualGUID(In->Major(), GUID{}) ? !IsEqualGUID(mt.majortype, GUID{}) : TVXDSFilter::Accepts(In, mt);
  }
  void Receive(TVXDSPin*, const TVXDSSample&) override { ++gRendered; }
};
struct TVideoRenderer : TNullRenderer {
  TVideoRenderer() : TNullRenderer(CLSID_VideoRenderer, MEDIATYPE_Video) {}
};

class TAudioRenderer : public TNullRenderer, public TVXDSClock, public IVXAMClockSlave {
 public:
  TAudioRenderer() : TNullRenderer(CLSID_DSoundRender, MEDIATYPE_Audio) {}
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    if (VXInterfaceAnswers<IVXReferenceClock>(riid)) return static_cast<IVXReferenceClock*>(this);
    if (VXInterfaceAnswers<IVXAMClockSlave>(riid)) return static_cast<IVXAMClockSlave*>(this);
    return nullptr;
  }
  // Milliseconds, 1 to 1000.
  HRESULT SetErrorTolerance(DWORD t) override {
    if (t < 1 || t > 1000) return E_FAIL;
    fTolerance = t;
    return S_OK;
  }
  HRESULT GetErrorTolerance(DWORD* t) override { return VXDSAnswer(t, fTolerance); }

 private:
  DWORD fTolerance = 30;
};

// The windowless mixing renderer: keeps the current frame and draws it into
// the clipping window.
class TMixingRenderer : public TVXDSFilter, public IVXVMRFilterConfig, public IVXVMRWindowlessControl {
 public:
  TMixingRenderer() : TVXDSFilter(CLSID_VideoMixingRenderer) { AddPin("VMR Input0", PINDIR_INPUT, MEDIATYPE_Video); }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    if (VXInterfaceAnswers<IVXVMRFilterConfig>(riid)) return static_cast<IVXVMRFilterConfig*>(this);
    if (fMode == VMRMode_Windowless && VXInterfaceAnswers<IVXVMRWindowlessControl>(riid))
      return static_cast<IVXVMRWindowlessControl*>(this);
    return nullptr;
  }
  bool IsRenderer() const override { return true; }
  bool Accepts(TVXDSPin* In, const AM_MEDIA_TYPE& mt) override {
    return TVXDSFilter::Accepts(In, mt) && VXDSVideoInfo(mt) != nullptr;
  }
  void Receive(TVXDSPin* In, const TVXDSSample& Sample) override {
    ++gRendered;
    const VIDEOINFOHEADER* vih = VXDSVideoInfo(In->Type());
    std::lock_guard<std::mutex> guard(fLock);
    fFrame = RGB24Of(In->Type(), Sample);
    fWidth = vih ? vih->bmiHeader.biWidth : 0;
    fHeight = vih ? std::abs(vih->bmiHeader.biHeight) : 0;
  }
  void Connected(TVXDSPin* Pin) override {
    const VIDEOINFOHEADER* vih = Pin->IsConnected() ? VXDSVideoInfo(Pin->Type()) : nullptr;
    std::lock_guard<std::mutex> guard(fLock);
    fNativeWidth = vih ? vih->bmiHeader.biWidth : 0;
    fNativeHeight = vih ? std::abs(vih->bmiHeader.biHeight) : 0;
  }
  // ---- IVMRFilterConfig ----
  HRESULT SetImageCompositor(IVMRImageCompositor*) override { return E_NOTIMPL; }
  HRESULT SetNumberOfStreams(DWORD n) override {
    if (n < 1 || n > 16) return E_INVALIDARG;
    fStreams = n;
    return S_OK;
  }
  HRESULT GetNumberOfStreams(DWORD* n) override { return VXDSAnswer(n, fStreams); }
  HRESULT SetRenderingPrefs(DWORD f) override {
    fPrefs = f;
    return S_OK;
  }
  HRESULT GetRenderingPrefs(DWORD* f) override { return VXDSAnswer(f, fPrefs); }
  HRESULT SetRenderingMode(DWORD m) override {
    if (m != 1 && m != 2 && m != 4) return E_INVALIDARG;
    fMode = m;
    return S_OK;
  }
  HRESULT GetRenderingMode(DWORD* m) override { return VXDSAnswer(m, fMode); }
  // ---- IVMRWindowlessControl ----
  HRESULT GetNativeVideoSize(LONG* w, LONG* h, LONG* aw, LONG* ah) override {
    std::lock_guard<std::mutex> guard(fLock);
    if (w) *w = fNativeWidth;
    if (h) *h = fNativeHeight;
    if (aw) *aw = fNativeWidth;
    if (ah) *ah = fNativeHeight;
    return S_OK;
  }
  HRESULT GetMinIdealVideoSize(LONG* w, LONG* h) override { return GetNativeVideoSize(w, h, nullptr, nullptr); }
  HRESULT GetMaxIdealVideoSize(LONG* w, LONG* h) override { return GetNativeVideoSize(w, h, nullptr, nullptr); }
  HRESULT SetVideoPosition(const RECT* src, const RECT* dst) override {
    std::lock_guard<std::mutex> guard(fLock);
    if (src) fSrc = *src, fHasSrc = true;
    if (dst) fDst = *dst;
    return S_OK;
  }
  HRESULT GetVideoPosition(RECT* src, RECT* dst) override {
    std::lock_guard<std::mutex> guard(fLock);
    if (src) *src = fHasSrc ? fSrc : RECT{0, 0, fNativeWidth, fNativeHeight};
    if (dst) *dst = fDst;
    return S_OK;
  }
  HRESULT GetAspectRatioMode(DWORD* m) override { return VXDSAnswer(m, fAspect); }
  HRESULT SetAspectRatioMode(DWORD m) override {
    if (m > 1) return E_INVALIDARG;
    fAspect = m;
    return S_OK;
  }
  HRESULT SetVideoClippingWindow(HWND hwnd) override {
    fWindow = hwnd;
    return S_OK;
  }
  // The current frame's source rectangle stretched into the destination.
  HRESULT RepaintVideo(HWND, HDC hdc) override {
    if (!hdc) return E_POINTER;
    std::lock_guard<std::mutex> guard(fLock);
    if (fFrame.empty() || fDst.right <= fDst.left || fDst.bottom <= fDst.top) return S_OK;
    const RECT src = fHasSrc ? fSrc : RECT{0, 0, fWidth, fHeight};
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = fWidth;
    bi.bmiHeader.biHeight = fHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    StretchDIBits(hdc, fDst.left, fDst.top, fDst.right - fDst.left, fDst.bottom - fDst.top, src.left,
                  fHeight - src.bottom, src.right - src.left, src.bottom - src.top, fFrame.data(), &bi, DIB_RGB_COLORS,
                  0x00CC0020 /* SRCCOPY */);
    return S_OK;
  }
  HRESULT DisplayModeChanged() override { return S_OK; }
  // A packed DIB of the current frame: header and 32-bit bottom-up rows.
  HRESULT GetCurrentImage(BYTE** lpDib) override {
    if (!lpDib) return E_POINTER;
    *lpDib = nullptr;
    std::lock_guard<std::mutex> guard(fLock);
    if (fFrame.empty()) return E_FAIL;
    const size_t rowIn = (size_t(fWidth) * 3 + 3) & ~size_t(3);
    const size_t bytes = sizeof(BITMAPINFOHEADER) + size_t(fWidth) * size_t(fHeight) * 4;
    auto* p = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
    if (!p) return E_OUTOFMEMORY;
    BITMAPINFOHEADER h;
    h.biSize = sizeof h;
    h.biWidth = fWidth;
    h.biHeight = fHeight;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biSizeImage = DWORD(bytes - sizeof h);
    std::memcpy(p, &h, sizeof h);
    BYTE* out = p + sizeof h;
    for (int y = 0; y < fHeight; ++y)
      for (int x = 0; x < fWidth; ++x) {
        const uint8_t* s = fFrame.data() + size_t(y) * rowIn + size_t(x) * 3;
        BYTE* d = out + (size_t(y) * size_t(fWidth) + size_t(x)) * 4;
        d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 0;
      }
    *lpDib = p;
    return S_OK;
  }
  HRESULT SetBorderColor(COLORREF c) override {
    fBorder = c;
    return S_OK;
  }
  HRESULT GetBorderColor(COLORREF* c) override { return VXDSAnswer(c, fBorder); }
  HRESULT SetColorKey(COLORREF c) override {
    fKey = c;
    return S_OK;
  }
  HRESULT GetColorKey(COLORREF* c) override { return VXDSAnswer(c, fKey); }

 private:
  DWORD fStreams = 1, fPrefs = 0, fMode = 1, fAspect = 0;
  HWND fWindow = nullptr;
  RECT fSrc{}, fDst{};
  bool fHasSrc = false;
  LONG fNativeWidth = 0, fNativeHeight = 0, fWidth = 0, fHeight = 0;
  std::vector<uint8_t> fFrame;
  COLORREF fBorder = 0, fKey = 0;
};

// ---- the AVI multiplexer ----

// Writes the video frames of its first input as an AVI file through the
// window layer's AVI writer (uncompressed DIB frames); the file appears
// when the graph stops.
class TAviMux : public TVXDSFilter, public IVXFileSinkFilter {
 public:
  TAviMux() : TVXDSFilter(CLSID_AviDest) {
    fVideo = AddPin("Input 01", PINDIR_INPUT, MEDIATYPE_Video);
    AddPin("Input 02", PINDIR_INPUT, MEDIATYPE_Audio);
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    return VXInterfaceAnswers<IVXFileSinkFilter>(riid) ? static_cast<IVXFileSinkFilter*>(this) : nullptr;
  }
  bool IsRenderer() const override { return true; }
  // DIB frames only: RGB subtypes.
  bool Accepts(TVXDSPin* In, const AM_MEDIA_TYPE& mt) override {
    if (!TVXDSFilter::Accepts(In, mt)) return false;
    if (In != fVideo) return true;
    const VIDEOINFOHEADER* vih = VXDSVideoInfo(mt);
    return vih && vih->bmiHeader.biCompression == BI_RGB && vih->bmiHeader.biBitCount >= 8;
  }
  HRESULT SetFileName(LPCWSTR pszFileName, const AM_MEDIA_TYPE*) override {
    if (!pszFileName) return E_POINTER;
    fFileName = pszFileName;
    return S_OK;
  }
  HRESULT GetCurFile(LPWSTR* name, AM_MEDIA_TYPE*) override { return VXDSAnswer(name, VXCoTaskStrDup(fFileName)); }
  HRESULT OnStateChange(FILTER_STATE Old, FILTER_STATE New) override {
    if (Old == State_Stopped && New != State_Stopped) return Open();
    if (New == State_Stopped) Close();
    return S_OK;
  }
  void Receive(TVXDSPin* In, const TVXDSSample& Sample) override {
    if (In != fVideo) return;
    ++gRendered;
    std::lock_guard<std::mutex> guard(fLock);
    if (!fStream) return;
    AVIStreamWrite(fStream, -1, 1, Sample.Data.data(), LONG(Sample.Data.size()), AVIIF_KEYFRAME, nullptr, nullptr);
  }

 protected:
  ~TAviMux() override { Close(); }

 private:
  HRESULT Open() {
    if (!fVideo->IsConnected() || fFileName.empty()) return S_OK;
    const VIDEOINFOHEADER* vih = VXDSVideoInfo(fVideo->Type());
    if (!vih) return S_OK;
    std::lock_guard<std::mutex> guard(fLock);
    AVIFileInit();
    if (AVIFileOpenW(&fFile, fFileName.c_str(), OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK) {
      fFile = nullptr;
      AVIFileExit();
      return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    AVISTREAMINFOW si{};
    si.fccType = streamtypeVIDEO;
    si.fccHandler = VXMakeFourCC('D', 'I', 'B', ' ');
    const REFERENCE_TIME frameTime = vih->AvgTimePerFrame > 0 ? vih->AvgTimePerFrame : kDefaultFrameTime;
    si.dwScale = DWORD(frameTime);
    si.dwRate = 10000000;
    si.rcFrame = {0, 0, vih->bmiHeader.biWidth, std::abs(vih->bmiHeader.biHeight)};
    BITMAPINFOHEADER h = vih->bmiHeader;
    h.biHeight = std::abs(h.biHeight);
    h.biSizeImage = DWORD(VXDSFrameBytes(fVideo->Type()));
    if (AVIFileCreateStreamW(fFile, &fStream, &si) != AVIERR_OK ||
        AVIStreamSetFormat(fStream, 0, &h, LONG(sizeof h)) != AVIERR_OK) {
      if (fStream) AVIStreamRelease(fStream);
      fStream = nullptr;
    }
    return S_OK;
  }
  void Close() {
    std::lock_guard<std::mutex> guard(fLock);
    if (fStream) AVIStreamRelease(fStream);
    if (fFile) {
      AVIFileRelease(fFile);
      AVIFileExit();
    }
    fStream = nullptr;
    fFile = nullptr;
  }

  TVXDSPin* fVideo;
  std::string fFileName;
  PAVIFILE fFile = nullptr;
  PAVISTREAM fStream = nullptr;
};

// ---- the DVD navigator ----

class TDvdCmd : public TVXComObject<IVXDvdCmd> {
 public:
  HRESULT WaitForStart() override { return S_OK; }
  HRESULT WaitForEnd() override { return S_OK; }
};

#define VXDS_NAV_NOTIMPL(...) \
  override { return E_NOTIMPL; }

class TDVDNavigator : public TVXDSFilter, public IVXDvdControl2, public IVXDvdInfo2 {
 public:
  TDVDNavigator() : TVXDSFilter(CLSID_DVDNavigator) {
    AddPin("Video", PINDIR_OUTPUT, MEDIATYPE_Video);
    AddPin("SubPicture", PINDIR_OUTPUT, kMediaTypeDVDPack);
    AddPin("AC3", PINDIR_OUTPUT, MEDIATYPE_Audio);
  }
  VXDS_FORWARD_UNKNOWN
  void* Extra(REFIID riid) override {
    if (VXInterfaceAnswers<IVXDvdControl2>(riid)) return static_cast<IVXDvdControl2*>(this);
    if (VXInterfaceAnswers<IVXDvdInfo2>(riid)) return static_cast<IVXDvdInfo2*>(this);
    return nullptr;
  }
  TVXDSMediaType Offer(TVXDSPin* Out) override {
    if (IsEqualGUID(Out->Major(), MEDIATYPE_Video))
      return TVXDSMediaType::Adopt(VXDSVideoType(MEDIASUBTYPE_RGB24, 720, 480, 333667));
    if (IsEqualGUID(Out->Major(), MEDIATYPE_Audio)) return TVXDSMediaType::Adopt(VXDSAudioType());
    AM_MEDIA_TYPE mt;
    mt.majortype = Out->Major();
    return TVXDSMediaType(mt);
  }

  // ---- IDvdControl2: the calls are recorded ----
  HRESULT PlayTitle(ULONG t, DWORD f, IVXDvdCmd** c) override {
    return Cmd("PlayTitle(" + std::to_string(t) + ")", f, c);
  }
  HRESULT PlayChapterInTitle(ULONG t, ULONG ch, DWORD f, IVXDvdCmd** c) override {
    return Cmd("PlayChapterInTitle(" + std::to_string(t) + ", " + std::to_string(ch) + ")", f, c);
  }
  HRESULT PlayAtTimeInTitle(ULONG t, DVD_HMSF_TIMECODE* tc, DWORD f, IVXDvdCmd** c) override {
    if (!tc) return E_POINTER;
    return Cmd("PlayAtTimeInTitle(" + std::to_string(t) + ", " + TimeText(*tc) + ")", f, c);
  }
  HRESULT Stop() override { return TVXDSFilter::Stop(); }
  HRESULT ReturnFromSubmenu(DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      PlayAtTime(DVD_HMSF_TIMECODE*, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      PlayChapter(ULONG, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT PlayPrevChapter(DWORD, IVXDvdCmd**)
          VXDS_NAV_NOTIMPL() HRESULT ReplayChapter(DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      PlayNextChapter(DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      PlayForwards(double s, DWORD f, IVXDvdCmd** c) override {
    return Cmd("PlayForwards(" + Number(s) + ")", f, c);
  }
  HRESULT PlayBackwards(double s, DWORD f, IVXDvdCmd** c) override {
    return Cmd("PlayBackwards(" + Number(s) + ")", f, c);
  }
  HRESULT ShowMenu(DVD_MENU_ID m, DWORD f, IVXDvdCmd** c) override {
    if (m < DVD_MENU_Title || m > DVD_MENU_Chapter) return E_INVALIDARG;
    return Cmd("ShowMenu(" + std::to_string(int(m)) + ")", f, c);
  }
  HRESULT Resume(DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT SelectRelativeButton(int) VXDS_NAV_NOTIMPL() HRESULT
      ActivateButton() override {
    DVDCall("ActivateButton()");
    return S_OK;
  }
  HRESULT SelectButton(ULONG) VXDS_NAV_NOTIMPL() HRESULT SelectAndActivateButton(ULONG) VXDS_NAV_NOTIMPL() HRESULT
      StillOff() VXDS_NAV_NOTIMPL() HRESULT Pause(BOOL) override {
    return TVXDSFilter::Pause();
  }
  HRESULT SelectAudioStream(ULONG, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      SelectSubpictureStream(ULONG, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      SetSubpictureState(BOOL, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT SelectAngle(ULONG, DWORD, IVXDvdCmd**)
          VXDS_NAV_NOTIMPL() HRESULT SelectParentalLevel(ULONG) VXDS_NAV_NOTIMPL() HRESULT
      SelectParentalCountry(BYTE[2]) VXDS_NAV_NOTIMPL() HRESULT SelectKaraokeAudioPresentationMode(ULONG)
          VXDS_NAV_NOTIMPL() HRESULT SelectVideoModePreference(ULONG) VXDS_NAV_NOTIMPL() HRESULT
      SetDVDDirectory(LPCWSTR p) override {
    if (!p) return E_POINTER;
    DVDCall("SetDVDDirectory(" + std::string(p) + ")");
    return S_OK;
  }
  HRESULT ActivateAtPosition(POINT) VXDS_NAV_NOTIMPL() HRESULT SelectAtPosition(POINT p) override {
    DVDCall("SelectAtPosition(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")");
    return S_OK;
  }
  HRESULT PlayChaptersAutoStop(ULONG, ULONG, ULONG, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      AcceptParentalLevelChange(BOOL) VXDS_NAV_NOTIMPL() HRESULT SetOption(int, BOOL) VXDS_NAV_NOTIMPL() HRESULT
      SetState(IVXDvdState*, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      PlayPeriodInTitleAutoStop(ULONG, DVD_HMSF_TIMECODE*, DVD_HMSF_TIMECODE*, DWORD, IVXDvdCmd**)
          VXDS_NAV_NOTIMPL() HRESULT SetGPRM(ULONG, uint16_t, DWORD, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT
      SelectDefaultMenuLanguage(uint32_t) VXDS_NAV_NOTIMPL() HRESULT SelectDefaultAudioLanguage(uint32_t, int)
          VXDS_NAV_NOTIMPL() HRESULT SelectDefaultSubpictureLanguage(uint32_t, int) VXDS_NAV_NOTIMPL()

      // ---- IDvdInfo2: from the simulated disc ----
      HRESULT GetCurrentDomain(int*) VXDS_NAV_NOTIMPL() HRESULT GetCurrentLocation(DVD_PLAYBACK_LOCATION2* l) override {
    if (!l) return E_POINTER;
    std::lock_guard<std::mutex> guard(gSimLock);
    *l = gDisc.Location;
    return S_OK;
  }
  HRESULT GetTotalTitleTime(DVD_HMSF_TIMECODE* t, ULONG* flags) override {
    if (!t) return E_POINTER;
    std::lock_guard<std::mutex> guard(gSimLock);
    *t = gDisc.TotalTitleTime;
    if (flags) *flags = 0x1;  // DVD_TC_FLAG_25fps
    return S_OK;
  }
  HRESULT GetCurrentButton(ULONG*, ULONG*) VXDS_NAV_NOTIMPL() HRESULT GetCurrentAngle(ULONG*, ULONG*)
      VXDS_NAV_NOTIMPL() HRESULT GetCurrentAudio(ULONG*, ULONG*) VXDS_NAV_NOTIMPL() HRESULT
      GetCurrentSubpicture(ULONG*, ULONG*, BOOL*) VXDS_NAV_NOTIMPL() HRESULT GetCurrentUOPS(ULONG*)
          VXDS_NAV_NOTIMPL() HRESULT GetAllSPRMs(uint16_t*) VXDS_NAV_NOTIMPL() HRESULT GetAllGPRMs(uint16_t*)
              VXDS_NAV_NOTIMPL() HRESULT GetAudioLanguage(ULONG, uint32_t*) VXDS_NAV_NOTIMPL() HRESULT
      GetSubpictureLanguage(ULONG, uint32_t*) VXDS_NAV_NOTIMPL() HRESULT
      GetTitleAttributes(ULONG, DVD_MenuAttributes*, DVD_TitleAttributes*) VXDS_NAV_NOTIMPL() HRESULT
      GetVMGAttributes(DVD_MenuAttributes*) VXDS_NAV_NOTIMPL() HRESULT GetCurrentVideoAttributes(DVD_VideoAttributes*)
          VXDS_NAV_NOTIMPL() HRESULT GetAudioAttributes(ULONG, DVD_AudioAttributes*) VXDS_NAV_NOTIMPL() HRESULT
      GetKaraokeAttributes(ULONG, DVD_KaraokeAttributes*) VXDS_NAV_NOTIMPL() HRESULT
      GetSubpictureAttributes(ULONG, DVD_SubpictureAttributes*) VXDS_NAV_NOTIMPL() HRESULT
      GetDVDVolumeInfo(ULONG* n, ULONG* v, DVD_DISC_SIDE* s, ULONG* t) override {
    if (!n || !v || !s || !t) return E_POINTER;
    std::lock_guard<std::mutex> guard(gSimLock);
    *n = gDisc.Volumes;
    *v = gDisc.Volume;
    *s = gDisc.Side;
    *t = gDisc.Titles;
    return S_OK;
  }
  HRESULT GetDVDTextNumberOfLanguages(ULONG*) VXDS_NAV_NOTIMPL() HRESULT
      GetDVDTextLanguageInfo(ULONG, ULONG*, uint32_t*, int*) VXDS_NAV_NOTIMPL() HRESULT
      GetDVDTextStringAsNative(ULONG, ULONG, BYTE*, ULONG, ULONG*, int*) VXDS_NAV_NOTIMPL() HRESULT
      GetDVDTextStringAsUnicode(ULONG, ULONG, LPWSTR, ULONG, ULONG*, int*) VXDS_NAV_NOTIMPL() HRESULT
      GetDVDTextStringType(ULONG, ULONG, int*) VXDS_NAV_NOTIMPL() HRESULT GetPlayerParentalLevel(ULONG*, BYTE[2])
          VXDS_NAV_NOTIMPL() HRESULT GetNumberOfChapters(ULONG title, ULONG* n) override {
    if (!n) return E_POINTER;
    DVDCall("GetNumberOfChapters(" + std::to_string(title) + ")");
    std::lock_guard<std::mutex> guard(gSimLock);
    if (title < 1 || title > gDisc.Chapters.size()) return E_INVALIDARG;
    *n = gDisc.Chapters[title - 1];
    return S_OK;
  }
  HRESULT GetTitleParentalLevels(ULONG, ULONG*) VXDS_NAV_NOTIMPL() HRESULT GetDVDDirectory(LPWSTR, ULONG, ULONG*)
      VXDS_NAV_NOTIMPL() HRESULT IsAudioStreamEnabled(ULONG, BOOL*) VXDS_NAV_NOTIMPL() HRESULT
      GetDiscID(LPCWSTR, uint64_t* id) override {
    if (!id) return E_POINTER;
    std::lock_guard<std::mutex> guard(gSimLock);
    *id = gDisc.DiscID;
    return S_OK;
  }
  HRESULT GetState(IVXDvdState**) VXDS_NAV_NOTIMPL() HRESULT GetMenuLanguages(uint32_t*, ULONG, ULONG*)
      VXDS_NAV_NOTIMPL() HRESULT GetButtonAtPosition(POINT, ULONG*) VXDS_NAV_NOTIMPL() HRESULT
      GetCmdFromEvent(LONG_PTR, IVXDvdCmd**) VXDS_NAV_NOTIMPL() HRESULT GetDefaultMenuLanguage(uint32_t*)
          VXDS_NAV_NOTIMPL() HRESULT GetDefaultAudioLanguage(uint32_t*, int*) VXDS_NAV_NOTIMPL() HRESULT
      GetDefaultSubpictureLanguage(uint32_t*, int*) VXDS_NAV_NOTIMPL() HRESULT GetDecoderCaps(DVD_DECODER_CAPS*)
          VXDS_NAV_NOTIMPL() HRESULT GetButtonRect(ULONG, RECT*) VXDS_NAV_NOTIMPL() HRESULT
      IsSubpictureStreamEnabled(ULONG, BOOL*) VXDS_NAV_NOTIMPL()

          private : static std::string TimeText(const DVD_HMSF_TIMECODE& t) {
    return std::to_string(t.bHours) + ":" + std::to_string(t.bMinutes) + ":" + std::to_string(t.bSeconds) + ":" +
           std::to_string(t.bFrames);
  }
  static std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
  }
  static HRESULT Cmd(const std::string& Call, DWORD Flags, IVXDvdCmd** ppCmd) {
    DVDCall(Call + (Flags ? " flags " + std::to_string(Flags) : std::string()));
    if (ppCmd) *ppCmd = new TDvdCmd;
    return S_OK;
  }
};

#undef VXDS_NAV_NOTIMPL

constexpr DWORD kInproc = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

struct TClassRow {
  const GUID* Class;
  TVXClassCreator Creator;
};
const TClassRow kClasses[] = {
    {&CLSID_AsyncReader, &VXDSCreate<TFileSource>},
    {&CLSID_Colour, &VXDSCreate<TColourConverter>},
    {&CLSID_AVIDec, &VXDSCreate<TAVIDecompressor>},
    {&CLSID_SampleGrabber, &VXDSCreate<TSampleGrabber>},
    {&CLSID_NullRenderer, &VXDSCreate<TNullRenderer>},
    {&CLSID_VideoRenderer, &VXDSCreate<TVideoRenderer>},
    {&CLSID_DSoundRender, &VXDSCreate<TAudioRenderer>},
    {&CLSID_VideoMixingRenderer, &VXDSCreate<TMixingRenderer>},
    {&CLSID_AviDest, &VXDSCreate<TAviMux>},
    {&CLSID_MPEG2Demultiplexer, &VXDSCreate<TMPEG2Demultiplexer>},
    {&CLSID_MPEG2VideoDecoder, &VXDSCreate<TMPEG2Decoder>},
    {&CLSID_DMOWrapperFilter, &VXDSCreate<TDMOWrapper>},
    {&CLSID_DVDNavigator, &VXDSCreate<TDVDNavigator>},
};

}  // namespace

IUnknown* VXDSNewVideoInput(const TVXDSSimVideoInput& Device) {
  return static_cast<IVXBaseFilter*>(new TVideoInput(Device));
}

IUnknown* VXDSNewLiveVideoInput(const std::string& Name, const std::string& Url) {
  // A device that cannot be opened now still becomes a filter: running it
  // fails.
  std::unique_ptr<TVXMediaSource> probe = VXOpenMediaSource(Url);
  std::vector<TLiveCaps> caps;
  if (probe) caps.push_back({MEDIASUBTYPE_RGB24, probe->Width(), probe->Height(), probe->FrameRate(), {}});
  return static_cast<IVXBaseFilter*>(new TLiveVideoInput(Name, Url, std::move(caps)));
}

IUnknown* VXDSNewV4L2VideoInput(const TVXV4L2Device& Device) {
  // Not opened here: another program may be using the camera, and opening
  // it takes time. Each size of each format the driver lists is a
  // capability.
  std::vector<TLiveCaps> caps;
  for (const TVXV4L2Size& s : Device.Sizes) {
    if (s.Width <= 0 || s.Height <= 0) continue;
    std::string name(4, ' ');
    for (int i = 0; i < 4; ++i) name[size_t(i)] = char((s.FourCC >> (8 * i)) & 0xFF);
    if (name == "YUYV") name = "YUY2";
    GUID subtype = VXDSSubTypeFromName(name);
    if (VXDSSubTypeName(subtype) != name) subtype = MEDIASUBTYPE_RGB24;
    TVXMediaOptions options = {{"video_size", std::to_string(s.Width) + "x" + std::to_string(s.Height)}};
    if (s.Rate > 0) options.push_back({"framerate", std::to_string(s.Rate)});
    const std::string input = VXV4L2FormatName(s.FourCC);
    if (!input.empty()) options.push_back({"input_format", input});
    caps.push_back({subtype, s.Width, s.Height, s.Rate, std::move(options)});
  }
  return static_cast<IVXBaseFilter*>(new TLiveVideoInput(Device.Card, "video4linux2:" + Device.Path, std::move(caps)));
}

IUnknown* VXDSNewAudioInput(const std::string&) { return static_cast<IVXBaseFilter*>(new TAudioInput); }

IUnknown* VXDSNewCompressor(bool Video) { return static_cast<IVXBaseFilter*>(new TCompressor(Video)); }

void VXDSSimAddClip(const TVXDSSimClip& Clip) {
  std::lock_guard<std::mutex> guard(gSimLock);
  gClips.push_back(Clip);
}

void VXDSSimReset() {
  std::lock_guard<std::mutex> guard(gSimLock);
  gClips.clear();
  gDisc = DefaultDisc();
  gDVDCalls.clear();
  gRendered = 0;
}

TVXDSSimDisc& VXDSSimDisc() { return gDisc; }

std::vector<std::string> VXDSSimDVDCalls() {
  std::lock_guard<std::mutex> guard(gSimLock);
  return gDVDCalls;
}

int VXDSSimDeliverFrames(const std::string& Name, int Count) {
  std::vector<TVideoInput*> devices;
  {
    std::lock_guard<std::mutex> guard(gSimLock);
    for (TVideoInput* d : gLiveDevices)
      if (d->DeviceName() == Name) {
        d->AddRef();
        devices.push_back(d);
      }
  }
  int sent = 0;
  for (TVideoInput* d : devices) {
    sent += d->Deliver(Count);
    d->Release();
  }
  return sent;
}

int VXDSSimRenderedFrames() { return gRendered; }

bool VXDSSimDeviceFormat(const std::string& Name, AM_MEDIA_TYPE& Format) {
  std::lock_guard<std::mutex> guard(gSimLock);
  for (TVideoInput* d : gLiveDevices)
    if (d->DeviceName() == Name) {
      TVXDSMediaType t = d->Offer(nullptr);
      return SUCCEEDED(CopyMediaType(&Format, &t.Get()));
    }
  return false;
}

void VXDSRegisterFilterClasses() {
  {
    std::lock_guard<std::mutex> guard(gSimLock);
    gDisc = DefaultDisc();
  }
  for (const TClassRow& row : kClasses) VXRegisterComClass(*row.Class, row.Creator, kInproc);
}

void VXDSUnregisterFilterClasses() {
  for (const TClassRow& row : kClasses) VXUnregisterComClass(*row.Class);
}

HRESULT StgCreateDocfile(LPCWSTR, DWORD, DWORD, IStorage** ppstgOpen) {
  if (ppstgOpen) *ppstgOpen = nullptr;
  return STG_E_INVALIDFUNCTION;
}

// ---- the platform's property frame ----

namespace {
std::mutex gFrameLock;
HRESULT gFrameAnswer = S_OK;
int gFrameCalls = 0;
HWND gFrameOwner = nullptr;
ULONG gFramePages = 0;
}  // namespace

HRESULT OleCreatePropertyFrame(HWND hwndOwner, UINT, UINT, LPCWSTR, ULONG cObjects, IUnknown** ppUnk, ULONG cPages,
                               const GUID* pPageClsID, uint32_t, DWORD, void*) {
  if ((cObjects && !ppUnk) || (cPages && !pPageClsID)) return E_POINTER;
  std::lock_guard<std::mutex> guard(gFrameLock);
  ++gFrameCalls;
  gFrameOwner = hwndOwner;
  gFramePages = cPages;
  return gFrameAnswer;
}

void VXSetPropertyFrameAnswer(HRESULT Answer) {
  std::lock_guard<std::mutex> guard(gFrameLock);
  gFrameAnswer = Answer;
  gFrameCalls = 0;
}

int VXPropertyFrameCalls(HWND* LastOwner, ULONG* LastPages) {
  std::lock_guard<std::mutex> guard(gFrameLock);
  if (LastOwner) *LastOwner = gFrameOwner;
  if (LastPages) *LastPages = gFramePages;
  return gFrameCalls;
}
