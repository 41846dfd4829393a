// The library's own DirectShow graph layer: filters with pins and media
// types, the filter graph (building, intelligent connection, media control,
// seeking, events, frame stepping, clocks) and the capture graph builder,
// registered in the COM class registry at start-up (CLSID_FilterGraph,
// CLSID_CaptureGraphBuilder2, CLSID_SystemClock).
//
// Every filter of the layer derives from TVXDSFilter and every pin is a
// TVXDSPin; samples travel from output pins to the filter of the connected
// input pin as TVXDSSample records, on the thread that delivers them (a
// source's streaming thread, or the caller's for a cue while paused).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquire/dshow_api.h"

class TVXDSFilter;
class TVXDSGraph;

// One frame (or block of audio) on its way down the graph. Video frames of
// the RGB subtypes hold bottom-up DIB rows; frames of other subtypes hold
// bytes of the subtype's size that only our converters read: every sample
// carries the index of its frame, from which a converter draws the RGB24
// picture (VXDSDrawFrame).
struct TVXDSSample {
  std::vector<uint8_t> Data;
  int64_t Index = 0;
  REFERENCE_TIME Start = 0, Stop = 0;
  bool Sync = true;
};

// The RGB24 picture of frame Index: bottom-up rows padded to 4 bytes; the
// pixel at (x, y) from the top is blue = Index & 0xFF, green = (Index >> 8)
// & 0xFF, red = (x + y) & 0xFF.
std::vector<uint8_t> VXDSDrawFrame(int64_t Index, int Width, int Height);
// The frame index that VXDSDrawFrame put into an RGB24 picture.
int64_t VXDSFrameIndexOf(const uint8_t* Bits, size_t Size);

// A video media type with a VIDEOINFOHEADER (format block in task memory).
AM_MEDIA_TYPE VXDSVideoType(const GUID& SubType, int Width, int Height, REFERENCE_TIME AvgTimePerFrame,
                            DWORD BitRate = 0);
// The header of a FORMAT_VideoInfo type, or null.
const VIDEOINFOHEADER* VXDSVideoInfo(const AM_MEDIA_TYPE& mt);
// An audio media type without a format block.
AM_MEDIA_TYPE VXDSAudioType();
// Bytes of one frame of the type (DIB rows padded to 4 bytes for RGB types).
size_t VXDSFrameBytes(const AM_MEDIA_TYPE& mt);
// A media type owned by a C++ object.
class TVXDSMediaType {
 public:
  TVXDSMediaType() = default;
  explicit TVXDSMediaType(const AM_MEDIA_TYPE& mt) { CopyMediaType(&fType, &mt); }
  // Takes over the fields of mt (as made by VXDSVideoType).
  static TVXDSMediaType Adopt(AM_MEDIA_TYPE mt) {
    TVXDSMediaType t;
    t.fType = mt;
    return t;
  }
  TVXDSMediaType(const TVXDSMediaType& o) { CopyMediaType(&fType, &o.fType); }
  TVXDSMediaType& operator=(const TVXDSMediaType& o) {
    if (this != &o) {
      FreeMediaType(fType);
      CopyMediaType(&fType, &o.fType);
    }
    return *this;
  }
  ~TVXDSMediaType() { FreeMediaType(fType); }
  const AM_MEDIA_TYPE& Get() const { return fType; }
  AM_MEDIA_TYPE& Get() { return fType; }

 private:
  AM_MEDIA_TYPE fType;
};

class TVXDSPin final : public IVXPin {
 public:
  TVXDSPin(TVXDSFilter* Owner, std::string Name, PIN_DIRECTION Dir, const GUID& Major, const GUID& Category = GUID{});
  ~TVXDSPin() override;
  // The filter's count serves its pins.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT Connect(IVXPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
  HRESULT ReceiveConnection(IVXPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IVXPin** pPin) override;
  HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
  HRESULT QueryPinInfo(PIN_INFO* pInfo) override;
  HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;
  HRESULT QueryId(LPWSTR* Id) override;
  HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
  HRESULT EnumMediaTypes(IVXEnumMediaTypes** ppEnum) override;
  HRESULT QueryInternalConnections(IVXPin** apPin, ULONG* nPin) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

  TVXDSFilter* Owner() const { return fOwner; }
  const std::string& Name() const { return fName; }
  PIN_DIRECTION Direction() const { return fDir; }
  const GUID& Major() const { return fMajor; }
  const GUID& Category() const { return fCategory; }
  TVXDSPin* Peer() const { return fPeer; }
  bool IsConnected() const { return fPeer != nullptr; }
  const AM_MEDIA_TYPE& Type() const { return fType.Get(); }
  // The crossbar's connector type of the pin (0 for other pins).
  LONG PhysicalType = 0;
  // An output pin hands a sample, or the end of the stream, to its peer.
  void Deliver(const TVXDSSample& Sample);
  void DeliverEndOfStream();

 private:
  TVXDSFilter* fOwner;
  std::string fName;
  PIN_DIRECTION fDir;
  GUID fMajor, fCategory;
  TVXDSPin* fPeer = nullptr;  // one reference
  TVXDSMediaType fType;
};

// The base of the layer's filters: a name, pins, the graph it joined, its
// state and the platform's property pages. Derived filters answer more
// interfaces through Extra() and forward their other interfaces' IUnknown
// methods with VXDS_FORWARD_UNKNOWN.
class TVXDSFilter : public IVXBaseFilter, public ISpecifyPropertyPages {
 public:
  explicit TVXDSFilter(const CLSID& ClassID) : fClassID(ClassID) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return ++fRefs; }
  ULONG Release() override {
    const ULONG left = --fRefs;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetClassID(CLSID* pClassID) override;
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME tStart) override;
  HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
  HRESULT SetSyncSource(IVXReferenceClock* pClock) override;
  HRESULT GetSyncSource(IVXReferenceClock** pClock) override;
  HRESULT EnumPins(IVXEnumPins** ppEnum) override;
  HRESULT FindPin(LPCWSTR Id, IVXPin** ppPin) override;
  HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
  HRESULT JoinFilterGraph(IVXFilterGraph* pGraph, LPCWSTR pName) override;
  HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) override;
  HRESULT GetPages(CAUUID* pPages) override;

  // ---- the layer's own calls ----
  const std::vector<std::unique_ptr<TVXDSPin>>& Pins() const { return fPins; }
  TVXDSPin* AddPin(std::string Name, PIN_DIRECTION Dir, const GUID& Major, const GUID& Category = GUID{});
  const std::string& GraphName() const { return fName; }
  TVXDSGraph* Graph() const { return fGraph; }
  FILTER_STATE State() const { return fState; }
  // Whether an input pin takes a media type.
  virtual bool Accepts(TVXDSPin* In, const AM_MEDIA_TYPE& mt) { return In && IsEqualGUID(mt.majortype, In->Major()); }
  // The type an output pin offers (its input's type for a pass-through).
  virtual TVXDSMediaType Offer(TVXDSPin* Out);
  // A sample arrives at an input pin (on the delivering thread).
  virtual void Receive(TVXDSPin* In, const TVXDSSample& Sample);
  // The stream of an input pin ended.
  virtual void EndOfStreamAt(TVXDSPin* In);
  // A pin's connection came or went.
  virtual void Connected(TVXDSPin*) {}
  // State changes; a filter's answer of GetState (S_OK, VFW_S_CANT_CUE or
  // VFW_S_STATE_INTERMEDIATE while it waits for data).
  virtual HRESULT OnStateChange(FILTER_STATE Old, FILTER_STATE New);
  virtual HRESULT StateAnswer() { return S_OK; }
  // Interfaces beyond the filter's own (with no reference added).
  virtual void* Extra(REFIID) { return nullptr; }
  // Interfaces a pin answers beyond IVXPin.
  virtual void* PinExtra(TVXDSPin*, REFIID) { return nullptr; }
  // Whether the filter ends a stream (renderers and multiplexers): the
  // graph's completion waits for each one's end of stream.
  virtual bool IsRenderer() const { return false; }
  // The property pages the filter shows; without HasPropertyPages it does
  // not answer ISpecifyPropertyPages.
  bool HasPropertyPages = false;
  std::vector<GUID> PropertyPages;
  // A sink filter's output file (IFileSinkFilter).
  // Frame stepping of a seekable source while paused: delivers Frames
  // frames; false when the filter cannot.
  virtual bool StepFrames(DWORD) { return false; }
  // The filters the platform's builder adds upstream of this one when it
  // renders one of its streams (a capture device's crossbar and tuner),
  // with the names they are added under.
  virtual std::vector<std::pair<TVXDSFilter*, std::string>> Upstream() { return {}; }

 protected:
  virtual ~TVXDSFilter();
  std::mutex fLock;  // the filter's streaming state

 private:
  std::atomic<ULONG> fRefs{1};
  CLSID fClassID;
  std::vector<std::unique_ptr<TVXDSPin>> fPins;
  std::string fName;
  TVXDSGraph* fGraph = nullptr;  // not counted: the graph holds the filter
  FILTER_STATE fState = State_Stopped;
  IVXReferenceClock* fClock = nullptr;  // one reference
};

// The IUnknown methods of a further interface of a filter.
#define VXDS_FORWARD_UNKNOWN                                                                                  \
  HRESULT QueryInterface(REFIID riid, void** ppv) override { return TVXDSFilter::QueryInterface(riid, ppv); } \
  ULONG AddRef() override { return TVXDSFilter::AddRef(); }                                                   \
  ULONG Release() override { return TVXDSFilter::Release(); }

// An out argument: E_POINTER without one, else the value and S_OK.
template <class T, class V>
HRESULT VXDSAnswer(T* Out, const V& Value) {
  if (!Out) return E_POINTER;
  *Out = T(Value);
  return S_OK;
}

// The platform clock in 100 ns units, for the system clock and the filters
// that offer a clock (they answer IUnknown themselves).
class TVXDSClock : public IVXReferenceClock {
 public:
  HRESULT GetTime(REFERENCE_TIME* pTime) override;
  HRESULT AdviseTime(REFERENCE_TIME, REFERENCE_TIME, void*, DWORD_PTR*) override { return E_NOTIMPL; }
  HRESULT AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, void*, DWORD_PTR*) override { return E_NOTIMPL; }
  HRESULT Unadvise(DWORD_PTR) override { return S_FALSE; }
};

// A new filter of the layer as interface riid (a COM class creator).
template <class F>
HRESULT VXDSCreate(REFIID riid, void** ppv) {
  auto* f = new F;
  const HRESULT hr = f->QueryInterface(riid, ppv);
  f->Release();
  return hr;
}

// The filter graph's internal calls, used by filters.
class TVXDSGraphSink {
 public:
  // Queues an event (and posts the notify message).
  virtual void Notify(int32_t Code, LONG_PTR Param1, LONG_PTR Param2) = 0;
  // A renderer's stream ended; EC_COMPLETE when every renderer's has.
  virtual void RendererEnded(TVXDSFilter* Renderer) = 0;

 protected:
  ~TVXDSGraphSink() = default;
};
TVXDSGraphSink* VXDSGraphSinkOf(TVXDSGraph* Graph);

// The filter layer of a graph as TVXDSFilter (null for a foreign object).
TVXDSFilter* VXDSFilterOf(IUnknown* Object);
TVXDSPin* VXDSPinOf(IUnknown* Object);

// The RenderStream calls of every capture graph builder since the last
// clear: "RenderStream(<category>, <type>, <source>, <intermediate>,
// <sink>)" with the filters' names in their graphs.
std::vector<std::string> VXDSRenderStreamLog();
void VXDSClearRenderStreamLog();

// The names of the filters in the newest filter graph that still exists,
// in the order they were added (empty without a graph).
std::vector<std::string> VXDSNewestGraphFilters();

// Registers the graph, the capture graph builder and the system clock.
void VXDSRegisterGraphClasses();
void VXDSUnregisterGraphClasses();
