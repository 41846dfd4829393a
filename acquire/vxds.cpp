// TVXDirectShow: graph building, control, formats, device settings, DVD
// commands and window notification.
#include "acquire/vxds.h"

#include <cstdio>
#include <cstring>

#include "acquire/dshow_api.h"
#include "acquire/dshow_filters.h"
#include "acquire/dshow_graph.h"
#include "acquire/vxds_devices.h"
#include "core/bitmap.h"
#include "core/dib.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "platform/win_clock.h"
#include "proc/proc.h"
#include "winui/win_paint.h"
#include "winui/win_window.h"

namespace {

template <class I>
void Clear(I*& p) {
  if (p) p->Release();
  p = nullptr;
}

template <class I>
I* Ask(IUnknown* Object) {
  if (!Object) return nullptr;
  void* p = nullptr;
  if (FAILED(Object->QueryInterface(I::kIID, &p))) return nullptr;
  return static_cast<I*>(p);
}

template <class I>
I* Create(const GUID& Class) {
  void* p = nullptr;
  if (FAILED(CoCreateInstance(Class, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, I::kIID, &p)))
    return nullptr;
  return static_cast<I*>(p);
}

const GUID& CategoryGUID(int Category) {
  static const GUID* const table[] = {&CLSID_VideoInputDeviceCategory, &CLSID_AudioInputDeviceCategory,
                                      &CLSID_VideoCompressorCategory, &CLSID_AudioCompressorCategory};
  return *table[Category];
}

IVXBaseFilter* FindDevice(const GUID& Category, const std::vector<std::string>& Names, int32_t idx,
                          int32_t instanceIndex) {
  return static_cast<IVXBaseFilter*>(VXDSFindDevice(Category, Names[size_t(idx)], instanceIndex, IVXBaseFilter::kIID));
}

// The filter's first output pin (pins asked one at a time), or null.
IVXPin* FirstOutputPin(IVXBaseFilter* Filter) {
  IVXEnumPins* pins = nullptr;
  if (!Filter || FAILED(Filter->EnumPins(&pins)) || !pins) return nullptr;
  IVXPin* found = nullptr;
  IVXPin* p = nullptr;
  ULONG n = 0;
  while (!found && pins->Next(1, &p, &n) == S_OK && p) {
    PIN_DIRECTION d;
    if (SUCCEEDED(p->QueryDirection(&d)) && d == PINDIR_OUTPUT)
      found = p;
    else
      p->Release();
  }
  pins->Release();
  return found;
}

// Picks the capability of the asked size with the highest bit rate (the
// first of equals; bit rate 0 never) and makes it the pin's format.
void SelectCaptureFormat(IVXBaseFilter* Filter, int32_t width, int32_t height, const std::string& format) {
  if (width == 0 || height == 0) return;
  IVXPin* pin = FirstOutputPin(Filter);
  if (!pin) return;
  IVXAMStreamConfig* config = Ask<IVXAMStreamConfig>(pin);
  pin->Release();
  if (!config) return;
  const GUID subtype = VXDSSubTypeFromName(format);
  int count = 0, size = 0;
  if (SUCCEEDED(config->GetNumberOfCapabilities(&count, &size)) && size > 0) {
    std::vector<BYTE> caps(size_t(size) + sizeof(VIDEO_STREAM_CONFIG_CAPS));
    int best = -1;
    DWORD bestRate = 0;
    for (int i = 0; i < count; ++i) {
      AM_MEDIA_TYPE* mt = nullptr;
      if (config->GetStreamCaps(i, &mt, caps.data()) != S_OK || !mt) continue;
      VIDEO_STREAM_CONFIG_CAPS c;
      std::memcpy(&c, caps.data(), sizeof c);
      const VIDEOINFOHEADER* vih = VXDSVideoInfo(*mt);
      if (vih && c.MinOutputSize.cx == width && c.MinOutputSize.cy == height && vih->bmiHeader.biWidth == width &&
          vih->bmiHeader.biHeight == height && (format.empty() || IsEqualGUID(mt->subtype, subtype)) &&
          vih->dwBitRate > bestRate) {
        best = i;
        bestRate = vih->dwBitRate;
      }
      DeleteMediaType(mt);
    }
    if (best >= 0) {
      AM_MEDIA_TYPE* mt = nullptr;
      if (config->GetStreamCaps(best, &mt, caps.data()) == S_OK && mt) {
        config->SetFormat(mt);
        DeleteMediaType(mt);
      }
    }
  }
  config->Release();
}

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string TimeCodeText(const DVD_HMSF_TIMECODE& t) {
  return TwoDigits(t.bHours) + ": " + TwoDigits(t.bMinutes) + ": " + TwoDigits(t.bSeconds) + ": " +
         TwoDigits(t.bFrames);
}

}  // namespace

// ---- the grabber's callback ----

class TVXSampleGrabberCB final : public TVXComObject<IVXSampleGrabberCB> {
 public:
  explicit TVXSampleGrabberCB(TVXDirectShow* Owner) : fOwner(Owner) {}
  HRESULT SampleCB(double, IVXMediaSample*) override { return S_OK; }
  // Runs on the streaming thread: reads the owner's atomics and posts.
  HRESULT BufferCB(double, BYTE*, LONG) override {
    try {
      if (fOwner->AcceptNextFrame())
        PostMessageW(fOwner->NotifyWindow(), UINT(fOwner->NewFrameMessage()), 0, reinterpret_cast<LPARAM>(fOwner));
    } catch (...) {
    }
    return S_OK;
  }

 private:
  TVXDirectShow* fOwner;
};

// ---- creation and devices ----

TVXDirectShow::TVXDirectShow() { fOLEInitialized = SUCCEEDED(OleInitialize(nullptr)); }

TVXDirectShow::~TVXDirectShow() {
  Disconnect();
  Clear(fCurVideoInput);
  Clear(fCurAudioInput);
  Clear(fCurFileInput);
  Clear(fCurVideoCodec);
  Clear(fCurAudioCodec);
  if (fOLEInitialized) OleUninitialize();
}

const std::vector<std::string>& TVXDirectShow::Devices(std::vector<std::string>& List, int Category) {
  if (List.empty()) VXDSEnumDeviceNames(CategoryGUID(Category), List);
  return List;
}

const std::vector<std::string>& TVXDirectShow::VideoInputs() { return Devices(fVideoInputs, 0); }
const std::vector<std::string>& TVXDirectShow::AudioInputs() { return Devices(fAudioInputs, 1); }
const std::vector<std::string>& TVXDirectShow::VideoCodecs() { return Devices(fVideoCodecs, 2); }
const std::vector<std::string>& TVXDirectShow::AudioCodecs() { return Devices(fAudioCodecs, 3); }

void TVXDirectShow::SetVideoInput(int32_t idx, int32_t instanceIndex, int32_t width, int32_t height,
                                  const std::string& format) {
  if (idx < 0) {
    Clear(fCurVideoInput);
    return;
  }
  if (size_t(idx) >= VideoInputs().size()) return;
  Clear(fCurVideoInput);
  fCurVideoInput = FindDevice(CLSID_VideoInputDeviceCategory, fVideoInputs, idx, instanceIndex);
  if (fCurVideoInput) SelectCaptureFormat(fCurVideoInput, width, height, format);
}

void TVXDirectShow::SetAudioInput(int32_t idx, int32_t instanceIndex) {
  if (idx < 0) {
    Clear(fCurAudioInput);
    return;
  }
  if (size_t(idx) >= AudioInputs().size()) return;
  Clear(fCurAudioInput);
  fCurAudioInput = FindDevice(CLSID_AudioInputDeviceCategory, fAudioInputs, idx, instanceIndex);
}

void TVXDirectShow::SetVideoCodec(int32_t idx) {
  if (idx < 0) {
    Clear(fCurVideoCodec);
    return;
  }
  if (size_t(idx) >= VideoCodecs().size()) return;
  Clear(fCurVideoCodec);
  fCurVideoCodec = FindDevice(CLSID_VideoCompressorCategory, fVideoCodecs, idx, 0);
}

void TVXDirectShow::SetAudioCodec(int32_t idx) {
  if (idx < 0) {
    Clear(fCurAudioCodec);
    return;
  }
  if (size_t(idx) >= AudioCodecs().size()) return;
  Clear(fCurAudioCodec);
  fCurAudioCodec = FindDevice(CLSID_AudioCompressorCategory, fAudioCodecs, idx, 0);
}

// ---- building ----

void TVXDirectShow::Connect() {
  fAcceptNextFrame = true;
  if (!fDVDInputPath.empty())
    BuildDVDGraph();
  else
    BuildCaptureGraph();
}

void TVXDirectShow::CreateVideoMixingRenderer() {
  if (fVideoMixingRenderer) {
    fGraph->RemoveFilter(fVideoMixingRenderer);
    Clear(fVMRFilterConfig);
    Clear(fVMRWindowlessControl);
    Clear(fVideoMixingRenderer);
  }
  fVideoMixingRenderer = Create<IVXBaseFilter>(CLSID_VideoMixingRenderer);
  if (!fVideoMixingRenderer) return;
  fGraph->AddFilter(fVideoMixingRenderer, "Video Mixing Renderer");
  fVMRFilterConfig = Ask<IVXVMRFilterConfig>(fVideoMixingRenderer);
  if (fVMRFilterConfig) {
    fVMRFilterConfig->SetNumberOfStreams(1);
    fVMRFilterConfig->SetRenderingMode(VMRMode_Windowless);
  }
  fVMRWindowlessControl = Ask<IVXVMRWindowlessControl>(fVideoMixingRenderer);
  if (fVMRWindowlessControl) {
    fVMRWindowlessControl->SetVideoClippingWindow(fNotifyWindow);
    fVMRWindowlessControl->SetAspectRatioMode(0);
  }
  if (fNotifyWindow) InvalidateRect(fNotifyWindow, nullptr, FALSE);
}

void TVXDirectShow::BuildCaptureGraph() {
  const std::string ext = fFileInput.empty() ? std::string() : VXLowerFileExtAnsi(fFileInput);
  fGraph = Create<IVXGraphBuilder>(CLSID_FilterGraph);
  fBuilder = Create<IVXCaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2);
  if (!fGraph || !fBuilder) {
    Clear(fBuilder);
    Clear(fGraph);
    return;
  }
  fBuilder->SetFiltergraph(fGraph);
  if (fCurVideoInput) fGraph->AddFilter(fCurVideoInput, "VideoCapture");
  if (fCurAudioInput) fGraph->AddFilter(fCurAudioInput, "AudioCapture");
  Clear(fCurFileInput);
  if (!fFileInput.empty()) fGraph->AddSourceFilter(fFileInput.c_str(), "FileFilter", &fCurFileInput);
  // A file that cannot be opened (missing, damaged, or no media back end)
  // and nothing else to show: no graph, so that Connected says so and Run
  // fails instead of running an empty graph.
  if (!fFileInput.empty() && !fCurFileInput && !fCurVideoInput && !fCurAudioInput) {
    Clear(fBuilder);
    Clear(fGraph);
    return;
  }
  if (fCurVideoCodec) fGraph->AddFilter(fCurVideoCodec, "VideoCodec");
  if (fCurAudioCodec) fGraph->AddFilter(fCurAudioCodec, "AudioCodec");

  // 4. sink and renderer
  IVXBaseFilter* mux = nullptr;
  const std::string outExt = VXLowerFileExtAnsi(fFileOutput);
  if (!fFileOutput.empty() && outExt == ".avi")
    fBuilder->SetOutputFileName(&MEDIASUBTYPE_Avi, fFileOutput.c_str(), &mux, nullptr);
  else if (!fFileOutput.empty() && outExt == ".asf")
    fBuilder->SetOutputFileName(&MEDIASUBTYPE_Asf, fFileOutput.c_str(), &mux, nullptr);
  IVXBaseFilter* renderer = mux;

  // 5. the intermediate video filter
  IVXBaseFilter* intermediate = fCurVideoCodec;
  if (!fCurVideoCodec) {
    fCurColor = Create<IVXBaseFilter>(CLSID_Colour);
    if (fCurColor) fGraph->AddFilter(fCurColor, "ColorConverter");
    intermediate = fCurColor;
  }

  // 6. the sample grabber
  if (fEnableSampleGrabber && !fCurVideoCodec) {
    fSampleGrabber = Create<IVXBaseFilter>(CLSID_SampleGrabber);
    if (fSampleGrabber) {
      fGraph->AddFilter(fSampleGrabber, "SampleGrabber");
      fSampleGrabberFilter = Ask<IVXSampleGrabber>(fSampleGrabber);
    }
    if (fSampleGrabberFilter) {
      fSampleGrabberFilter->SetBufferSamples(TRUE);
      AM_MEDIA_TYPE mt;
      mt.majortype = MEDIATYPE_Video;
      mt.subtype = MEDIASUBTYPE_RGB24;
      fSampleGrabberFilter->SetMediaType(&mt);
      if (fNotifyWindow) {
        auto* cb = new TVXSampleGrabberCB(this);
        fSampleGrabberCB = cb;
        fSampleGrabberFilter->SetCallback(cb, 1);
        cb->Release();  // the grabber holds it
      }
    }
    intermediate = fSampleGrabber;
  }

  // 7., 8. the renderer
  if (fRenderVideo) {
    CreateVideoMixingRenderer();
    renderer = fVideoMixingRenderer;
  }
  if (!renderer) {
    fNullRenderer = Create<IVXBaseFilter>(CLSID_NullRenderer);
    if (fNullRenderer) fGraph->AddFilter(fNullRenderer, "NullRenderer");
    renderer = fNullRenderer;
  }
  // 9.
  fAVIDecompressor = Create<IVXBaseFilter>(CLSID_AVIDec);
  if (fAVIDecompressor) fGraph->AddFilter(fAVIDecompressor, "AVI Decompressor");

  IVXBaseFilter* mainSource = nullptr;
  // 10. video input
  if (fCurVideoInput) {
    if (mux && mux != renderer) {
      fBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, fCurVideoInput, intermediate, mux);
      fBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, fCurVideoInput, nullptr, renderer);
    } else {
      fBuilder->RenderStream(fCaptureMode == vxdscCapture ? &PIN_CATEGORY_CAPTURE : &PIN_CATEGORY_PREVIEW,
                             &MEDIATYPE_Video, fCurVideoInput, intermediate, renderer);
    }
    mainSource = fCurVideoInput;
  }
  // 11. audio input
  if (fCurAudioInput)
    fBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, fCurAudioInput, fCurAudioCodec,
                           mux ? mux : renderer);
  // 12. file input
  if (fCurFileInput) {
    const TVXOpSys os = VXGetGlobalSettings()->OpSys();
    if (ext == ".mov") {
      fBuilder->RenderStream(nullptr, nullptr, fCurFileInput, intermediate, renderer);
      fBuilder->RenderStream(nullptr, &MEDIATYPE_Video, fCurFileInput, intermediate, renderer);
    } else if ((ext == ".mpeg" || ext == ".mpg") && (os == vxosWin7 || os == vxosWin8 || os == vxosUnknown)) {
      fMPEG2Demultiplexer = Create<IVXBaseFilter>(CLSID_MPEG2Demultiplexer);
      if (fMPEG2Demultiplexer) fGraph->AddFilter(fMPEG2Demultiplexer, "MPEG-2 Demultiplexer");
      fMPEG2Decoder = Create<IVXBaseFilter>(CLSID_MPEG2VideoDecoder);
      if (fMPEG2Decoder) fGraph->AddFilter(fMPEG2Decoder, "MPEG-2 Decoder");
      fColorConverterDMO = Create<IVXBaseFilter>(CLSID_DMOWrapperFilter);
      if (IDMOWrapperFilter* wrapper = Ask<IDMOWrapperFilter>(fColorConverterDMO)) {
        wrapper->Init(CLSID_CColorConvertDMO, DMOCATEGORY_VIDEO_EFFECT);
        fGraph->AddFilter(fColorConverterDMO, "Color Converter DMO");
        wrapper->Release();
      }
      fBuilder->RenderStream(nullptr, nullptr, fCurFileInput, nullptr, fMPEG2Demultiplexer);
      fBuilder->RenderStream(nullptr, &MEDIATYPE_Video, fMPEG2Demultiplexer, nullptr, fMPEG2Decoder);
      fBuilder->RenderStream(nullptr, nullptr, fMPEG2Decoder, nullptr, fColorConverterDMO);
      fBuilder->RenderStream(nullptr, nullptr, fColorConverterDMO, nullptr, intermediate);
      fBuilder->RenderStream(nullptr, nullptr, intermediate, nullptr, renderer);
    } else {
      fBuilder->RenderStream(nullptr, nullptr, fCurFileInput, fAVIDecompressor, intermediate);
      fBuilder->RenderStream(nullptr, nullptr, intermediate, nullptr, renderer);
      fBuilder->RenderStream(nullptr, nullptr, fCurFileInput, intermediate, renderer);
      fBuilder->RenderStream(nullptr, &MEDIATYPE_Video, fCurFileInput, intermediate, renderer);
    }
    if (renderer && fCurAudioCodec) fBuilder->RenderStream(nullptr, nullptr, fCurFileInput, fCurAudioCodec, renderer);
    mainSource = fCurFileInput;
  }
  // 13.
  if (fRenderaudio && mainSource) fBuilder->RenderStream(nullptr, &MEDIATYPE_Audio, mainSource, nullptr, nullptr);
  // 14.
  fControl = Ask<IVXMediaControl>(fGraph);
  fMediaSeeking = Ask<IVXMediaSeeking>(fGraph);
  fMediaEvent = Ask<IVXMediaEventEx>(fGraph);
  if (fNotifyWindow && fMediaEvent)
    fMediaEvent->SetNotifyWindow(OAHWND(fNotifyWindow.load()), fEventMessage, reinterpret_cast<LONG_PTR>(this));
  // 15.
  if (fCurVideoCodec) fIAMVideoCompression = Ask<IVXAMVideoCompression>(fCurVideoCodec);
  // 16.
  Clear(fStreamConfig);
  Clear(fCrossBar);
  Clear(fCrossBarFilter);
  Clear(fTuner);
  Clear(fTunerFilter);
  Clear(fAnalogVideoDecoder);
  if (mainSource) {
    void* p = nullptr;
    if (SUCCEEDED(fBuilder->FindInterface(nullptr, nullptr, mainSource, IVXAMStreamConfig::kIID, &p)))
      fStreamConfig = static_cast<IVXAMStreamConfig*>(p);
    p = nullptr;
    if (SUCCEEDED(fBuilder->FindInterface(nullptr, nullptr, mainSource, IVXAMCrossbar::kIID, &p))) {
      fCrossBar = static_cast<IVXAMCrossbar*>(p);
      fCrossBarFilter = Ask<IVXBaseFilter>(fCrossBar);
    }
    p = nullptr;
    if (SUCCEEDED(fBuilder->FindInterface(nullptr, nullptr, mainSource, IVXAMTVTuner::kIID, &p))) {
      fTuner = static_cast<IVXAMTVTuner*>(p);
      fTunerFilter = Ask<IVXBaseFilter>(fTuner);
      RouteTunerAudio();
    }
    p = nullptr;
    if (SUCCEEDED(fBuilder->FindInterface(nullptr, nullptr, mainSource, IVXAMAnalogVideoDecoder::kIID, &p)))
      fAnalogVideoDecoder = static_cast<IVXAMAnalogVideoDecoder*>(p);
  }
  // 17.
  fVideoFrameStep = Ask<IVXVideoFrameStep>(fGraph);
  // 18.
  if (fReferenceClock != rcDefault) {
    if (IVXMediaFilter* mf = Ask<IVXMediaFilter>(fGraph)) {
      IVXReferenceClock* clock = nullptr;
      switch (fReferenceClock) {
        case rcSystemClock:
          Clear(fSystemClock);
          fSystemClock = Create<IVXReferenceClock>(CLSID_SystemClock);
          clock = fSystemClock;
          if (clock) clock->AddRef();
          break;
        case rcVideoInput:
          clock = Ask<IVXReferenceClock>(fCurVideoInput);
          break;
        case rcVideoOutput:
          clock = Ask<IVXReferenceClock>(fVideoMixingRenderer);
          break;
        case rcAudioInput:
          clock = Ask<IVXReferenceClock>(fCurAudioInput);
          break;
        case rcAudioOutput: {
          IVXBaseFilter* audio = nullptr;
          if (SUCCEEDED(fGraph->FindFilterByName("Audio Renderer", &audio)) && audio) {
            clock = Ask<IVXReferenceClock>(audio);
            audio->Release();
          }
          break;
        }
        default:
          break;
      }
      mf->SetSyncSource(clock);
      if (clock) clock->Release();
      mf->Release();
    }
  }
  // 19.
  Clear(fClockSlave);
  if (mainSource) {
    void* p = nullptr;
    if (SUCCEEDED(fBuilder->FindInterface(nullptr, nullptr, mainSource, IVXAMClockSlave::kIID, &p))) {
      fClockSlave = static_cast<IVXAMClockSlave*>(p);
      if (fClockErrorTolerance >= 0) fClockSlave->SetErrorTolerance(DWORD(fClockErrorTolerance));
    }
  }
  // 20.
  FillVideoFormats();
  FillVideoInputSources();
  if (mux) mux->Release();
}

void TVXDirectShow::RouteTunerAudio() {
  LONG outs = 0, ins = 0;
  if (!fCrossBar || FAILED(fCrossBar->get_PinCounts(&outs, &ins))) return;
  LONG out = -1, in = -1, related, type;
  for (LONG i = 0; i < outs; ++i)
    if (SUCCEEDED(fCrossBar->get_CrossbarPinInfo(FALSE, i, &related, &type)) && type == PhysConn_Audio_AudioDecoder)
      out = i;
  for (LONG i = 0; i < ins; ++i)
    if (SUCCEEDED(fCrossBar->get_CrossbarPinInfo(TRUE, i, &related, &type)) && type == PhysConn_Audio_Tuner) in = i;
  if (out >= 0 && in >= 0) fCrossBar->Route(out, in);
}

void TVXDirectShow::BuildDVDGraph() {
  fGraph = Create<IVXGraphBuilder>(CLSID_FilterGraph);
  if (!fGraph) return;
  IVXBaseFilter* navigator = Create<IVXBaseFilter>(CLSID_DVDNavigator);
  if (!navigator) return;
  fGraph->AddFilter(navigator, "DVD Navigator");
  fRenderVideo = true;
  fVideoMixingRenderer = Create<IVXBaseFilter>(CLSID_VideoMixingRenderer);
  if (fVideoMixingRenderer) {
    IVXBaseFilter* vmr = fVideoMixingRenderer;
    fVideoMixingRenderer = nullptr;  // nothing to remove
    vmr->Release();
    CreateVideoMixingRenderer();
  }
  IVXEnumPins* pins = nullptr;
  if (SUCCEEDED(navigator->EnumPins(&pins)) && pins) {
    IVXPin* p = nullptr;
    ULONG n = 0;
    while (pins->Next(1, &p, &n) == S_OK && p) {
      fGraph->Render(p);
      p->Release();
    }
    pins->Release();
  }
  fMediaEvent = Ask<IVXMediaEventEx>(fGraph);
  fControl = Ask<IVXMediaControl>(fGraph);
  fMediaSeeking = Ask<IVXMediaSeeking>(fGraph);
  if (fNotifyWindow && fMediaEvent)
    fMediaEvent->SetNotifyWindow(OAHWND(fNotifyWindow.load()), fEventMessage, reinterpret_cast<LONG_PTR>(this));
  fDVDControl2 = Ask<IVXDvdControl2>(navigator);
  if (fDVDControl2 && VXLowerCaseAnsi(fDVDInputPath) != "default") fDVDControl2->SetDVDDirectory(fDVDInputPath.c_str());
  fDVDInfo2 = Ask<IVXDvdInfo2>(navigator);
  navigator->Release();
}

void TVXDirectShow::FillVideoFormats() {
  fVideoFormats.clear();
  if (!fStreamConfig) return;
  int count = 0, size = 0;
  if (FAILED(fStreamConfig->GetNumberOfCapabilities(&count, &size)) || size <= 0) return;
  std::vector<BYTE> buffer(size_t(size) + sizeof(VIDEO_STREAM_CONFIG_CAPS));
  for (int i = 0; i < count; ++i) {
    AM_MEDIA_TYPE* mt = nullptr;
    if (FAILED(fStreamConfig->GetStreamCaps(i, &mt, buffer.data())) || !mt) continue;
    VIDEO_STREAM_CONFIG_CAPS caps;
    std::memcpy(&caps, buffer.data(), sizeof caps);
    TVXVideoFormat f;
    f.Format = VXDSSubTypeName(mt->subtype);
    const VIDEOINFOHEADER* vih = mt->pbFormat && mt->cbFormat >= sizeof(VIDEOINFOHEADER)
                                     ? reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)
                                     : nullptr;
    f.BitRate = vih ? int32_t(vih->dwBitRate) : 0;
    f.VideoStandard = VXDSStandardsString(caps.VideoStandard);
    f.MinWidth = caps.MinOutputSize.cx;
    f.MinHeight = caps.MinOutputSize.cy;
    f.MaxWidth = caps.MaxOutputSize.cx;
    f.MaxHeight = caps.MaxOutputSize.cy;
    f.GranularityX = caps.OutputGranularityX;
    f.GranularityY = caps.OutputGranularityY;
    fVideoFormats.push_back(f);
    DeleteMediaType(mt);
  }
}

void TVXDirectShow::FillVideoInputSources() {
  fVideoInputSources.clear();
  if (!fCrossBar || !fCrossBarFilter) return;
  IVXEnumPins* pins = nullptr;
  if (FAILED(fCrossBarFilter->EnumPins(&pins)) || !pins) return;
  IVXPin* p = nullptr;
  ULONG n = 0;
  while (pins->Next(1, &p, &n) == S_OK && p) {
    PIN_INFO info;
    if (SUCCEEDED(p->QueryPinInfo(&info))) {
      if (info.dir == PINDIR_INPUT) fVideoInputSources.push_back(info.achName);
      if (info.pFilter) info.pFilter->Release();
    }
    p->Release();
  }
  pins->Release();
}

void TVXDirectShow::Disconnect() {
  if (fControl && State() != gsStopped) fControl->Stop();
  ReleaseGraph();
}

void TVXDirectShow::ReleaseGraph() {
  Clear(fAnalogVideoDecoder);
  Clear(fClockSlave);
  Clear(fAVIDecompressor);
  Clear(fMPEG2Demultiplexer);
  Clear(fMPEG2Decoder);
  Clear(fColorConverterDMO);
  Clear(fDVDControl2);
  Clear(fDVDInfo2);
  Clear(fVideoMixingRenderer);
  Clear(fVMRFilterConfig);
  Clear(fVMRWindowlessControl);
  Clear(fVMRSavedPin1);
  Clear(fVMRSavedPin2);
  Clear(fVideoFrameStep);
  Clear(fTunerFilter);
  Clear(fTuner);
  Clear(fCrossBarFilter);
  Clear(fCrossBar);
  Clear(fStreamConfig);
  Clear(fIAMVideoCompression);
  Clear(fMediaEvent);
  Clear(fMediaSeeking);
  Clear(fControl);
  Clear(fNullRenderer);
  Clear(fSampleGrabberFilter);
  Clear(fSampleGrabber);
  Clear(fCurColor);
  Clear(fCurFileInput);
  Clear(fBuilder);
  Clear(fGraph);
  fSampleGrabberCB = nullptr;
  Clear(fSystemClock);
}

// ---- control ----

TVXDSRunResult TVXDirectShow::Run() {
  fEndOfStream = false;
  if (!fControl) return vxdsError;
  const HRESULT hr = fControl->Run();
  if (FAILED(hr)) return (uint32_t(hr) & 0xFFFF) == 0x05AA ? vxdsBusy : vxdsError;
  return vxdsSuccess;
}

void TVXDirectShow::Stop() {
  if (fControl) fControl->StopWhenReady();
}

void TVXDirectShow::Pause() {
  if (fControl) fControl->Pause();
}

TVXDirectShowState TVXDirectShow::State() {
  if (!fControl) return gsStopped;
  OAFilterState s = State_Stopped;
  if (FAILED(fControl->GetState(100, &s))) return gsStopped;
  return s >= State_Stopped && s <= State_Running ? TVXDirectShowState(s) : gsStopped;
}

double TVXDirectShow::Rate() {
  double r = 0;
  if (!fMediaSeeking || FAILED(fMediaSeeking->GetRate(&r))) return 0;
  return r;
}

void TVXDirectShow::SetRate(double v) {
  if (fMediaSeeking) fMediaSeeking->SetRate(v);
}

int64_t TVXDirectShow::Position() {
  LONGLONG p = 0;
  if (!fMediaSeeking || FAILED(fMediaSeeking->GetCurrentPosition(&p))) return 0;
  return p;
}

void TVXDirectShow::SetPosition(int64_t v) {
  if (!fMediaSeeking) return;
  LONGLONG pos = v;
  fMediaSeeking->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
  if (!fControl) return;
  const uint32_t start = GetTickCount();
  for (;;) {
    OAFilterState s;
    const HRESULT hr = fControl->GetState(100, &s);
    if (hr == S_OK || hr == VFW_S_CANT_CUE) return;
    if (GetTickCount() - start >= 10000) return;
  }
}

int64_t TVXDirectShow::Duration() {
  LONGLONG d = 0;
  if (!fMediaSeeking || FAILED(fMediaSeeking->GetDuration(&d))) return 0;
  return d;
}

TVXTimeFormat TVXDirectShow::TimeFormat() {
  GUID g;
  if (!fMediaSeeking || FAILED(fMediaSeeking->GetTimeFormat(&g))) return tfNone;
  return VXDSTimeFormatOf(g);
}

void TVXDirectShow::SetTimeFormat(TVXTimeFormat v) {
  if (fMediaSeeking) fMediaSeeking->SetTimeFormat(&VXDSTimeFormatGUID(v));
}

int64_t TVXDirectShow::ConvertTimeFormat(int64_t source, TVXTimeFormat sourceFormat, TVXTimeFormat targetFormat) {
  LONGLONG target = 0;
  if (!fMediaSeeking || FAILED(fMediaSeeking->ConvertTimeFormat(&target, &VXDSTimeFormatGUID(targetFormat), source,
                                                                &VXDSTimeFormatGUID(sourceFormat))))
    return 0;
  return target;
}

bool TVXDirectShow::Step(int32_t frames) {
  return fVideoFrameStep && fVideoFrameStep->Step(DWORD(frames), nullptr) == S_OK;
}

// The platform's graph file is a compound file; this platform creates none,
// so nothing is written.
void TVXDirectShow::SaveGraph(const std::string& filename) {
  if (!fGraph) return;
  IStorage* storage = nullptr;
  if (FAILED(StgCreateDocfile(filename.c_str(), 0x11012, 0, &storage)) || !storage) return;
}

// ---- formats and settings ----

double TVXDirectShow::VideoCodecQuality() {
  double q = 0;
  if (!fIAMVideoCompression || FAILED(fIAMVideoCompression->get_Quality(&q))) return 0;
  return q;
}

void TVXDirectShow::SetVideoCodecQuality(double v) {
  if (fIAMVideoCompression) fIAMVideoCompression->put_Quality(v);
}

const TVXVideoFormat& TVXDirectShow::GetVideoFormats(int32_t i) const {
  if (i < 0 || size_t(i) >= fVideoFormats.size())
    throw EVXException("List index out of bounds (" + std::to_string(i) + ")");
  return fVideoFormats[size_t(i)];
}

void TVXDirectShow::SetCurrentVideoFormat(int32_t width, int32_t height, const std::string& format) {
  if (!fStreamConfig) return;
  AM_MEDIA_TYPE* mt = nullptr;
  if (FAILED(fStreamConfig->GetFormat(&mt)) || !mt) return;
  auto* vih = mt->cbFormat >= sizeof(VIDEOINFOHEADER) && mt->pbFormat ? reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)
                                                                      : nullptr;
  if (!vih) {
    DeleteMediaType(mt);
    return;
  }
  if (width != 0 && height != 0) {
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
  }
  if (!format.empty()) mt->subtype = VXDSSubTypeFromName(format);
  if (fVideoMixingRenderer) {
    Clear(fVMRSavedPin1);
    Clear(fVMRSavedPin2);
    IVXEnumPins* pins = nullptr;
    if (SUCCEEDED(fVideoMixingRenderer->EnumPins(&pins)) && pins) {
      ULONG n = 0;
      pins->Next(1, &fVMRSavedPin1, &n);
      pins->Release();
    }
    if (fVMRSavedPin1 && SUCCEEDED(fVMRSavedPin1->ConnectedTo(&fVMRSavedPin2)) && fVMRSavedPin2)
      fGraph->Disconnect(fVMRSavedPin2);
  }
  // The sample size in 64 bits: a size beyond the 32-bit field gives 0.
  const int64_t size =
      int64_t(vih->bmiHeader.biWidth) * int64_t(vih->bmiHeader.biHeight) * VXDSSubTypeBitCount(mt->subtype) / 8;
  mt->lSampleSize = size >= 0 && size <= INT32_MAX ? ULONG(size) : 0;
  vih->dwBitRate = 0;
  vih->AvgTimePerFrame = 0;
  vih->bmiHeader.biSizeImage = 0;
  fStreamConfig->SetFormat(mt);
  if (fVideoMixingRenderer && fVMRSavedPin1 && fVMRSavedPin2) {
    CreateVideoMixingRenderer();
    if (IVXFilterGraph2* g2 = Ask<IVXFilterGraph2>(fGraph)) {
      g2->RenderEx(fVMRSavedPin2, AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr);
      g2->Release();
    }
  }
  DeleteMediaType(mt);
}

void TVXDirectShow::GetCurrentVideoFormat(int32_t& width, int32_t& height, std::string& format) {
  if (fStreamConfig) {
    AM_MEDIA_TYPE* mt = nullptr;
    if (SUCCEEDED(fStreamConfig->GetFormat(&mt)) && mt) {
      if (const VIDEOINFOHEADER* vih = VXDSVideoInfo(*mt)) {
        width = vih->bmiHeader.biWidth;
        height = vih->bmiHeader.biHeight;
      }
      format = VXDSSubTypeName(mt->subtype);
      DeleteMediaType(mt);
    }
  } else if (fSampleGrabberFilter) {
    AM_MEDIA_TYPE mt;
    if (SUCCEEDED(fSampleGrabberFilter->GetConnectedMediaType(&mt))) {
      if (const VIDEOINFOHEADER* vih = VXDSVideoInfo(mt)) {
        width = vih->bmiHeader.biWidth;
        height = vih->bmiHeader.biHeight;
      }
      FreeMediaType(mt);
    }
  }
}

int64_t TVXDirectShow::GetAverageTimePerFrame() {
  int64_t value = 0;
  if (fStreamConfig) {
    AM_MEDIA_TYPE* mt = nullptr;
    if (SUCCEEDED(fStreamConfig->GetFormat(&mt)) && mt) {
      if (const VIDEOINFOHEADER* vih = VXDSVideoInfo(*mt)) value = vih->AvgTimePerFrame;
      DeleteMediaType(mt);
    }
  } else if (fSampleGrabberFilter) {
    AM_MEDIA_TYPE mt;
    if (SUCCEEDED(fSampleGrabberFilter->GetConnectedMediaType(&mt))) {
      const VIDEOINFOHEADER* vih = VXDSVideoInfo(mt);
      if (!vih) {
        FreeMediaType(mt);
        return 0;
      }
      value = vih->AvgTimePerFrame;
      FreeMediaType(mt);
    }
  }
  if (value != 0) return value;
  // Measure: run until the position moves, for 5 s at most.
  const TVXTimeFormat old = TimeFormat();
  SetTimeFormat(tfTime);
  Run();
  const uint32_t begin = GetTickCount();
  int64_t start = 0, last = 0;
  bool moved = false;
  while (GetTickCount() - begin < kAverageTimeLimit) {
    last = Position();
    if (start == 0)
      start = last;
    else if (last != start) {
      moved = true;
      break;
    }
    Sleep(10);
  }
  Pause();
  SetTimeFormat(old);
  return moved ? last - start : 0;
}

int32_t TVXDirectShow::VideoDecoderPin() {
  LONG outs = 0, ins = 0;
  if (!fCrossBar || FAILED(fCrossBar->get_PinCounts(&outs, &ins))) return -1;
  for (LONG i = 0; i < outs; ++i) {
    LONG related, type;
    if (SUCCEEDED(fCrossBar->get_CrossbarPinInfo(FALSE, i, &related, &type)) && type == PhysConn_Video_VideoDecoder)
      return i;
  }
  return -1;
}

int32_t TVXDirectShow::VideoInputSource() {
  const int32_t out = VideoDecoderPin();
  LONG in = 0;
  if (out < 0 || FAILED(fCrossBar->get_IsRoutedTo(out, &in))) return 0;
  return in;
}

void TVXDirectShow::SetVideoInputSource(int32_t v) {
  const int32_t out = VideoDecoderPin();
  if (out >= 0) fCrossBar->Route(out, v);
}

int32_t TVXDirectShow::TunerChannel() {
  LONG c = 0, v, a;
  if (!fTuner || FAILED(fTuner->get_Channel(&c, &v, &a))) return 0;
  return c;
}

void TVXDirectShow::SetTunerChannel(int32_t v) {
  if (fTuner) fTuner->put_Channel(v, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
}

bool TVXDirectShow::TunerFindSignal() {
  if (!fTuner) return false;
  LONG found = 0;
  fTuner->AutoTune(TunerChannel(), &found);
  return found == 1;
}

TVXTVStandards TVXDirectShow::GetSupportedTVStandards() {
  LONG mask = 0;
  if (!fAnalogVideoDecoder || FAILED(fAnalogVideoDecoder->get_AvailableTVFormats(&mask))) return 0;
  return VXDSStandardsOf(uint32_t(mask));
}

void TVXDirectShow::SetTVStandard(TVXTVStandard Value) {
  if (fAnalogVideoDecoder) fAnalogVideoDecoder->put_TVFormat(LONG(VXDSTVStandardFlag(Value)));
}

void TVXDirectShow::SetVCRHorizontalLocking(bool Value) {
  if (fAnalogVideoDecoder) fAnalogVideoDecoder->put_VCRHorizontalLocking(Value ? 1 : 0);
}

bool TVXDirectShow::ShowPropertyPages(TVXPropertyPages proppages, TVXPropertyPagesType proptype, bool checkOnly) {
  if (!Connected()) Connect();
  IVXBaseFilter* filter = nullptr;
  switch (proppages) {
    case vxpVideoInput:
      filter = fCurVideoInput ? fCurVideoInput : fCurFileInput;
      break;
    case vxpAudioInput:
      filter = fCurAudioInput ? fCurAudioInput : fCurFileInput;
      break;
    case vxpVideoCodec:
      filter = fCurVideoCodec;
      break;
    case vxpAudioCodec:
      filter = fCurAudioCodec;
      break;
    case vxpVideoInputSource:
      filter = fCrossBarFilter;
      break;
    case vxpTuner:
      filter = fTunerFilter;
      break;
  }
  if (!filter) return false;
  IUnknown* object = filter;
  IVXPin* pin = nullptr;
  if (proptype != vxtFilter) {
    if (!fBuilder ||
        FAILED(fBuilder->FindPin(filter, proptype == vxtInput ? PINDIR_INPUT : PINDIR_OUTPUT, nullptr, nullptr, FALSE,
                                 0, &pin)) ||
        !pin)
      return false;
    object = pin;
  }
  bool answer = false;
  if (ISpecifyPropertyPages* pageSource = Ask<ISpecifyPropertyPages>(object)) {
    CAUUID pages;
    if (SUCCEEDED(pageSource->GetPages(&pages))) {
      if (checkOnly)
        answer = true;
      else
        answer = OleCreatePropertyFrame(fNotifyWindow, 0, 0, "", 1, &object, pages.cElems, pages.pElems, 0, 0,
                                        nullptr) == S_OK;
      CoTaskMemFree(pages.pElems);
    }
    pageSource->Release();
  }
  if (pin) pin->Release();
  return answer;
}

// ---- DVD ----

void TVXDirectShow::DVDSelectAt(int32_t x, int32_t y) {
  if (fDVDControl2) fDVDControl2->SelectAtPosition(POINT{x, y});
}

void TVXDirectShow::DVDActivateButton() {
  if (fDVDControl2) fDVDControl2->ActivateButton();
}

namespace {
void Done(IVXDvdCmd* cmd) {
  if (cmd) cmd->Release();
}
}  // namespace

void TVXDirectShow::DVDPlayAt(int32_t Title, int32_t Chapter) {
  if (!fDVDControl2) return;
  IVXDvdCmd* cmd = nullptr;
  fDVDControl2->PlayChapterInTitle(ULONG(Title), ULONG(Chapter), DVD_CMD_FLAG_None, &cmd);
  Done(cmd);
}

void TVXDirectShow::DVDPlayAt(int32_t Title, int32_t Hours, int32_t Minutes, int32_t Seconds, int32_t Frames) {
  if (!fDVDControl2) return;
  DVD_HMSF_TIMECODE t{BYTE(Hours), BYTE(Minutes), BYTE(Seconds), BYTE(Frames)};
  IVXDvdCmd* cmd = nullptr;
  fDVDControl2->PlayAtTimeInTitle(ULONG(Title), &t, DVD_CMD_FLAG_None, &cmd);
  Done(cmd);
}

void TVXDirectShow::DVDPlayAdvanced(bool PlayForward, double Speed) {
  if (!fDVDControl2) return;
  IVXDvdCmd* cmd = nullptr;
  if (PlayForward)
    fDVDControl2->PlayForwards(Speed, DVD_CMD_FLAG_None, &cmd);
  else
    fDVDControl2->PlayBackwards(Speed, DVD_CMD_FLAG_None, &cmd);
  Done(cmd);
}

void TVXDirectShow::DVDShowMenu(TVXDVDMenu Menu) {
  if (!fDVDControl2) return;
  IVXDvdCmd* cmd = nullptr;
  fDVDControl2->ShowMenu(DVD_MENU_ID(int(Menu) + 2), DVD_CMD_FLAG_None, &cmd);
  Done(cmd);
}

std::string TVXDirectShow::DVDGetProperty(const std::string& Prop, const std::string& SubProp) {
  const std::string prop = VXUpperCaseAnsi(Prop), sub = VXUpperCaseAnsi(SubProp);
  if (!fDVDInfo2) return {};
  std::string answer = "Invalid Property";
  ULONG volumes = 0, volume = 0, titles = 0;
  DVD_DISC_SIDE side = DVD_DISC_SIDE(0);
  if (prop == "NUMOFVOLUMES" || prop == "VOLUME" || prop == "SIDE" || prop == "NUMOFTITLES") {
    fDVDInfo2->GetDVDVolumeInfo(&volumes, &volume, &side, &titles);
    const ULONG v = prop == "NUMOFVOLUMES" ? volumes
                    : prop == "VOLUME"     ? volume
                    : prop == "SIDE"       ? ULONG(side)
                                           : titles;
    answer = std::to_string(v);
  } else if (prop == "DISCID") {
    uint64_t id = 0;
    fDVDInfo2->GetDiscID(nullptr, &id);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(id));
    answer = buf;
  } else if (prop == "NUMOFCHAPTERS" && !sub.empty()) {
    ULONG chapters = 0;
    fDVDInfo2->GetNumberOfChapters(ULONG(VXStrToIntDefAnsi(sub, 1)), &chapters);
    answer = std::to_string(chapters);
  } else if (prop == "TITLE" || prop == "CHAPTER" || prop == "TIME") {
    DVD_PLAYBACK_LOCATION2 loc;
    fDVDInfo2->GetCurrentLocation(&loc);
    answer = prop == "TITLE"     ? std::to_string(loc.TitleNum)
             : prop == "CHAPTER" ? std::to_string(loc.ChapterNum)
                                 : TimeCodeText(loc.TimeCode);
  } else if (prop == "TOTALTITLETIME") {
    DVD_HMSF_TIMECODE t;
    ULONG flags = 0;
    fDVDInfo2->GetTotalTitleTime(&t, &flags);
    answer = TimeCodeText(t);
  }
  return answer;
}

// ---- window notification ----

void TVXDirectShow::SetNotifyWindow(HWND WindowHandle, int32_t NewFrameMessage, int32_t EventMessage) {
  fNotifyWindow = WindowHandle;
  fNewFrameMessage = NewFrameMessage;
  fEventMessage = EventMessage;
  if (Connected() && fMediaEvent)
    fMediaEvent->SetNotifyWindow(OAHWND(WindowHandle), EventMessage, reinterpret_cast<LONG_PTR>(this));
}

bool TVXDirectShow::GetEventCode(int32_t& Event) {
  if (!fMediaEvent) return false;
  LONG_PTR p1 = 0, p2 = 0;
  int32_t code = 0;
  if (fMediaEvent->GetEvent(&code, &p1, &p2, 0) != S_OK) return false;
  fMediaEvent->FreeEventParams(code, p1, p2);
  Event = code;
  return true;
}

// ---- frames into bitmaps ----

void VXDSCopyFrameRows(const uint8_t* Frame, int64_t FrameLen, TVXBitmap* Bitmap) {
  if (!Frame || FrameLen <= 0 || !Bitmap || Bitmap->IsEmpty()) return;
  const int32_t width = Bitmap->Width(), height = Bitmap->Height();
  const int64_t stride = ((int64_t(width) * 24 + 31) / 32) * 4;
  const int64_t rowLen = Bitmap->RowLen();
  if (Bitmap->BitAlignment() == 32 && Bitmap->Origin() == vxboBOTTOMLEFT && Bitmap->Memory() && rowLen == stride) {
    const int64_t n = std::min<int64_t>(FrameLen, rowLen * height);
    std::memcpy(Bitmap->Scanline(height - 1), Frame, size_t(n));
    return;
  }
  const int64_t count = std::min(stride, rowLen);
  for (int32_t i = 0; i < height; ++i) {
    const int64_t at = int64_t(i) * stride;
    if (at >= FrameLen) break;
    std::memcpy(Bitmap->Scanline(height - 1 - i), Frame + at, size_t(std::min(count, FrameLen - at)));
  }
}

void TVXDirectShow::BufferToTVXBitmap(const uint8_t* buffer, int32_t len, TVXBitmap* DestBitmap) {
  if (!fSampleGrabberFilter || !DestBitmap) return;
  AM_MEDIA_TYPE mt;
  if (FAILED(fSampleGrabberFilter->GetConnectedMediaType(&mt))) return;
  const VIDEOINFOHEADER* vih = VXDSVideoInfo(mt);
  if (!vih) {
    FreeMediaType(mt);
    return;
  }
  const int32_t width = vih->bmiHeader.biWidth, height = vih->bmiHeader.biHeight;
  FreeMediaType(mt);
  if (DestBitmap->Location() == vxFile) DestBitmap->SetLocation(vxMemory);
  if (DestBitmap->PixelFormat() != vx24RGB || DestBitmap->Width() != width || DestBitmap->Height() != height)
    if (!DestBitmap->Allocate(width, height, vx24RGB)) return;
  if (buffer) {
    VXDSCopyFrameRows(buffer, len, DestBitmap);
    return;
  }
  LONG size = 0;
  if (FAILED(fSampleGrabberFilter->GetCurrentBuffer(&size, nullptr)) || size <= 0) return;
  if (int64_t(size) == DestBitmap->RowLen() * height && DestBitmap->Origin() == vxboBOTTOMLEFT &&
      DestBitmap->Memory()) {
    fSampleGrabberFilter->GetCurrentBuffer(&size, static_cast<LONG*>(DestBitmap->Scanline(height - 1)));
    return;
  }
  std::vector<uint8_t> frame(static_cast<size_t>(size));
  if (SUCCEEDED(fSampleGrabberFilter->GetCurrentBuffer(&size, reinterpret_cast<LONG*>(frame.data()))))
    VXDSCopyFrameRows(frame.data(), size, DestBitmap);
}

void TVXDirectShow::GetSample(TVXBitmap* DestBitmap, bool resample) {
  if (!DestBitmap) return;
  if (fVMRWindowlessControl) {
    const int32_t width = DestBitmap->Width(), height = DestBitmap->Height();
    BYTE* dib = nullptr;
    if (SUCCEEDED(fVMRWindowlessControl->GetCurrentImage(&dib)) && dib) {
      BITMAPINFOHEADER h;
      std::memcpy(&h, dib, sizeof h);
      const int64_t pixels = int64_t(h.biSizeImage);
      VXCopyDIBToBitmap(dib, int64_t(sizeof h) + pixels, DestBitmap, dib + sizeof h, pixels);
      CoTaskMemFree(dib);
      if (resample) {
        std::unique_ptr<TVexlaneProc> proc = TVexlaneProc::CreateFromBitmap(DestBitmap);
        proc->SetAutoUndo(false);
        proc->Resample(width, height, rfNone, false);
      }
    }
  }
  if (fSampleGrabberFilter) BufferToTVXBitmap(nullptr, 0, DestBitmap);
}

void TVXDirectShow::SetVideoRenderRect(const RECT& SrcRect, const RECT& DstRect) {
  if (fVMRWindowlessControl) fVMRWindowlessControl->SetVideoPosition(&SrcRect, &DstRect);
}

void TVXDirectShow::GetVideoRenderRect(RECT& SrcRect, RECT& DstRect) {
  if (fVMRWindowlessControl) fVMRWindowlessControl->GetVideoPosition(&SrcRect, &DstRect);
}

void TVXDirectShow::GetVideoRenderNativeSize(int32_t& Width, int32_t& Height) {
  if (!fVMRWindowlessControl) return;
  LONG w = 0, h = 0;
  if (SUCCEEDED(fVMRWindowlessControl->GetNativeVideoSize(&w, &h, nullptr, nullptr))) {
    Width = w;
    Height = h;
  }
}

void TVXDirectShow::RepaintVideo(HWND hwnd, HDC hdc) {
  if (fVMRWindowlessControl) fVMRWindowlessControl->RepaintVideo(hwnd, hdc);
}
