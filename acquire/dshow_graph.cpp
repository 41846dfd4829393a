// The graph layer: media types, pins, the filter base, the filter graph and
// the capture graph builder.
#include "acquire/dshow_graph.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "acquire/vxds_tables.h"
#include "platform/win_clock.h"
#include "platform/win_com_enum.h"
#include "winui/win_window.h"

// ---- media types ----

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat && mt.pbFormat) CoTaskMemFree(mt.pbFormat);
  mt.cbFormat = 0;
  mt.pbFormat = nullptr;
  if (mt.pUnk) mt.pUnk->Release();
  mt.pUnk = nullptr;
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return;
  FreeMediaType(*pmt);
  CoTaskMemFree(pmt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* Target, const AM_MEDIA_TYPE* Source) {
  if (!Target || !Source) return E_POINTER;
  *Target = *Source;
  if (Source->cbFormat && Source->pbFormat) {
    Target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(Source->cbFormat));
    if (!Target->pbFormat) {
      Target->cbFormat = 0;
      Target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(Target->pbFormat, Source->pbFormat, Source->cbFormat);
  } else {
    Target->cbFormat = 0;
    Target->pbFormat = nullptr;
  }
  if (Target->pUnk) Target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* Source) {
  void* p = CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
  if (!p || !Source) {
    CoTaskMemFree(p);
    return nullptr;
  }
  auto* mt = new (p) AM_MEDIA_TYPE;
  if (FAILED(CopyMediaType(mt, Source))) {
    CoTaskMemFree(p);
    return nullptr;
  }
  return mt;
}

namespace {
bool IsFourCC(const GUID& g) {
  const GUID base = VXDSFourCCSubType("\0\0\0\0");
  return g.Data2 == base.Data2 && g.Data3 == base.Data3 && std::memcmp(g.Data4, base.Data4, 8) == 0;
}
}  // namespace

AM_MEDIA_TYPE VXDSVideoType(const GUID& SubType, int Width, int Height, REFERENCE_TIME AvgTimePerFrame, DWORD BitRate) {
  AM_MEDIA_TYPE mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = SubType;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = 1;
  VIDEOINFOHEADER vih;
  vih.dwBitRate = BitRate;
  vih.AvgTimePerFrame = AvgTimePerFrame;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = Width;
  vih.bmiHeader.biHeight = Height;
  vih.bmiHeader.biPlanes = 1;
  const int bits = VXDSSubTypeBitCount(SubType);
  vih.bmiHeader.biBitCount = WORD(bits);
  vih.bmiHeader.biCompression = IsFourCC(SubType) ? SubType.Data1 : BI_RGB;
  mt.cbFormat = sizeof vih;
  mt.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof vih));
  if (mt.pbFormat)
    std::memcpy(mt.pbFormat, &vih, sizeof vih);
  else
    mt.cbFormat = 0;
  mt.lSampleSize = ULONG(VXDSFrameBytes(mt));
  if (mt.pbFormat) {
    reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biSizeImage = mt.lSampleSize;
  }
  return mt;
}

const VIDEOINFOHEADER* VXDSVideoInfo(const AM_MEDIA_TYPE& mt) {
  if (!IsEqualGUID(mt.formattype, FORMAT_VideoInfo) || mt.cbFormat < sizeof(VIDEOINFOHEADER) || !mt.pbFormat)
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
}

AM_MEDIA_TYPE VXDSAudioType() {
  AM_MEDIA_TYPE mt;
  mt.majortype = MEDIATYPE_Audio;
  mt.lSampleSize = 4;
  return mt;
}

size_t VXDSFrameBytes(const AM_MEDIA_TYPE& mt) {
  const VIDEOINFOHEADER* vih = VXDSVideoInfo(mt);
  if (!vih) return mt.lSampleSize;
  const int64_t w = std::max<int64_t>(vih->bmiHeader.biWidth, 0);
  const int64_t h = std::llabs(int64_t(vih->bmiHeader.biHeight));
  int bits = VXDSSubTypeBitCount(mt.subtype);
  if (bits == 0) bits = 16;  // compressed frames of our devices: room for the index
  if (IsFourCC(mt.subtype)) return size_t((w * h * bits + 7) / 8);
  return size_t(((w * bits + 31) / 32) * 4 * h);  // DIB rows
}

std::vector<uint8_t> VXDSDrawFrame(int64_t Index, int Width, int Height) {
  if (Width <= 0 || Height <= 0) return {};
  const size_t stride = (size_t(Width) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> bits(stride * size_t(Height));
  for (int y = 0; y < Height; ++y) {
    uint8_t* row = bits.data() + size_t(Height - 1 - y) * stride;  // bottom-up
    for (int x = 0; x < Width; ++x) {
      row[x * 3] = uint8_t(Index & 0xFF);
      row[x * 3 + 1] = uint8_t((Index >> 8) & 0xFF);
      row[x * 3 + 2] = uint8_t((x + y) & 0xFF);
    }
  }
  return bits;
}

int64_t VXDSFrameIndexOf(const uint8_t* Bits, size_t Size) {
  if (!Bits || Size < 3) return -1;
  return int64_t(Bits[0]) | int64_t(Bits[1]) << 8;
}

// ---- pins ----

namespace {

class TEnumPins : public TVXComEnum<TEnumPins, IVXEnumPins, TVXComRef<IVXPin>, IVXPin*> {
 public:
  using TVXComEnum::TVXComEnum;
  static bool Hand(const TVXComRef<IVXPin>& Item, IVXPin*& Out) { return VXHandComRef(Item, Out); }
};

class TEnumFilters : public TVXComEnum<TEnumFilters, IVXEnumFilters, TVXComRef<IVXBaseFilter>, IVXBaseFilter*> {
 public:
  using TVXComEnum::TVXComEnum;
  static bool Hand(const TVXComRef<IVXBaseFilter>& Item, IVXBaseFilter*& Out) { return VXHandComRef(Item, Out); }
};

class TEnumMediaTypes : public TVXComEnum<TEnumMediaTypes, IVXEnumMediaTypes, TVXDSMediaType, AM_MEDIA_TYPE*> {
 public:
  using TVXComEnum::TVXComEnum;
  static bool Hand(const TVXDSMediaType& Item, AM_MEDIA_TYPE*& Out) {
    Out = CreateMediaType(&Item.Get());
    return Out != nullptr;
  }
};

// Our pins and filters answer this to find their C++ objects.
constexpr GUID kIIDSelf{0x5C3A0E11, 0x7B1D, 0x4F6E, {0x9A, 0x31, 0x2D, 0x44, 0x0B, 0x8E, 0x61, 0x07}};

}  // namespace

TVXDSFilter* VXDSFilterOf(IUnknown* Object) {
  if (!Object) return nullptr;
  void* p = nullptr;
  if (FAILED(Object->QueryInterface(kIIDSelf, &p)) || !p) return nullptr;
  auto* f = static_cast<TVXDSFilter*>(p);
  // The answer is a filter only when it did not come from a pin.
  f->Release();
  return f;
}

TVXDSPin* VXDSPinOf(IUnknown* Object) {
  if (!Object) return nullptr;
  IVXPin* pin = nullptr;
  if (FAILED(Object->QueryInterface(IVXPin::kIID, reinterpret_cast<void**>(&pin))) || !pin) return nullptr;
  auto* p = dynamic_cast<TVXDSPin*>(pin);
  pin->Release();
  return p;
}

TVXDSPin::TVXDSPin(TVXDSFilter* Owner, std::string Name, PIN_DIRECTION Dir, const GUID& Major, const GUID& Category)
    : fOwner(Owner), fName(std::move(Name)), fDir(Dir), fMajor(Major), fCategory(Category) {}

TVXDSPin::~TVXDSPin() {
  if (fPeer) fPeer->Release();
}

HRESULT TVXDSPin::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (VXInterfaceAnswers<IVXPin>(riid))
    *ppv = static_cast<IVXPin*>(this);
  else if (void* p = fOwner->PinExtra(this, riid))
    *ppv = p;
  if (!*ppv) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG TVXDSPin::AddRef() { return fOwner->AddRef(); }
ULONG TVXDSPin::Release() { return fOwner->Release(); }

HRESULT TVXDSPin::Connect(IVXPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  if (!pReceivePin) return E_POINTER;
  if (fDir != PINDIR_OUTPUT) return E_UNEXPECTED;
  if (fPeer) return VFW_E_ALREADY_CONNECTED;
  TVXDSMediaType type = pmt ? TVXDSMediaType(*pmt) : fOwner->Offer(this);
  if (!IsEqualGUID(type.Get().majortype, fMajor) && !IsEqualGUID(fMajor, GUID{})) return VFW_E_TYPE_NOT_ACCEPTED;
  if (IsEqualGUID(type.Get().majortype, GUID{})) return VFW_E_CANNOT_CONNECT;
  const HRESULT hr = pReceivePin->ReceiveConnection(this, &type.Get());
  if (FAILED(hr)) return hr;
  fPeer = VXDSPinOf(pReceivePin);
  if (!fPeer) {
    pReceivePin->Disconnect();
    return VFW_E_CANNOT_CONNECT;
  }
  fPeer->AddRef();
  fType = type;
  fOwner->Connected(this);
  return S_OK;
}

HRESULT TVXDSPin::ReceiveConnection(IVXPin* pConnector, const AM_MEDIA_TYPE* pmt) {
  if (!pConnector || !pmt) return E_POINTER;
  if (fDir != PINDIR_INPUT) return E_UNEXPECTED;
  if (fPeer) return VFW_E_ALREADY_CONNECTED;
  TVXDSPin* peer = VXDSPinOf(pConnector);
  if (!peer || !fOwner->Accepts(this, *pmt)) return VFW_E_TYPE_NOT_ACCEPTED;
  fPeer = peer;
  fPeer->AddRef();
  fType = TVXDSMediaType(*pmt);
  fOwner->Connected(this);
  return S_OK;
}

HRESULT TVXDSPin::Disconnect() {
  if (!fPeer) return S_FALSE;
  TVXDSPin* peer = fPeer;
  fPeer = nullptr;
  fType = TVXDSMediaType();
  fOwner->Connected(this);
  peer->Release();
  return S_OK;
}

HRESULT TVXDSPin::ConnectedTo(IVXPin** pPin) {
  if (!pPin) return E_POINTER;
  *pPin = fPeer;
  if (!fPeer) return VFW_E_NOT_CONNECTED;
  fPeer->AddRef();
  return S_OK;
}

HRESULT TVXDSPin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  if (!fPeer) {
    *pmt = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(pmt, &fType.Get());
}

HRESULT TVXDSPin::QueryPinInfo(PIN_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  pInfo->pFilter = fOwner;
  fOwner->AddRef();
  pInfo->dir = fDir;
  std::memset(pInfo->achName, 0, sizeof pInfo->achName);
  std::strncpy(pInfo->achName, fName.c_str(), sizeof pInfo->achName - 1);
  return S_OK;
}

HRESULT TVXDSPin::QueryDirection(PIN_DIRECTION* pPinDir) {
  if (!pPinDir) return E_POINTER;
  *pPinDir = fDir;
  return S_OK;
}

HRESULT TVXDSPin::QueryId(LPWSTR* Id) {
  if (!Id) return E_POINTER;
  *Id = VXCoTaskStrDup(fName);
  return *Id ? S_OK : E_OUTOFMEMORY;
}

HRESULT TVXDSPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  if (fDir == PINDIR_INPUT) return fOwner->Accepts(this, *pmt) ? S_OK : S_FALSE;
  return IsEqualGUID(pmt->majortype, fOwner->Offer(this).Get().majortype) ? S_OK : S_FALSE;
}

HRESULT TVXDSPin::EnumMediaTypes(IVXEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::vector<TVXDSMediaType> types;
  if (fDir == PINDIR_OUTPUT) {
    TVXDSMediaType t = fOwner->Offer(this);
    if (!IsEqualGUID(t.Get().majortype, GUID{})) types.push_back(t);
  }
  *ppEnum = new TEnumMediaTypes(std::move(types));
  return S_OK;
}

HRESULT TVXDSPin::QueryInternalConnections(IVXPin**, ULONG*) { return E_NOTIMPL; }
HRESULT TVXDSPin::EndOfStream() {
  if (fDir != PINDIR_INPUT) return E_UNEXPECTED;
  fOwner->EndOfStreamAt(this);
  return S_OK;
}
HRESULT TVXDSPin::BeginFlush() { return S_OK; }
HRESULT TVXDSPin::EndFlush() { return S_OK; }
HRESULT TVXDSPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

void TVXDSPin::Deliver(const TVXDSSample& Sample) {
  TVXDSPin* peer = fPeer;
  if (fDir == PINDIR_OUTPUT && peer) peer->Owner()->Receive(peer, Sample);
}

void TVXDSPin::DeliverEndOfStream() {
  TVXDSPin* peer = fPeer;
  if (fDir == PINDIR_OUTPUT && peer) peer->EndOfStream();
}

// ---- filters ----

TVXDSFilter::~TVXDSFilter() {
  if (fClock) fClock->Release();
}

HRESULT TVXDSFilter::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (VXInterfaceAnswers<IVXBaseFilter>(riid))
    *ppv = static_cast<IVXBaseFilter*>(this);
  else if (IsEqualGUID(riid, ISpecifyPropertyPages::kIID) && HasPropertyPages)
    *ppv = static_cast<ISpecifyPropertyPages*>(this);
  else if (IsEqualGUID(riid, kIIDSelf))
    *ppv = this;
  else
    *ppv = Extra(riid);
  if (!*ppv) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

HRESULT TVXDSFilter::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = fClassID;
  return S_OK;
}

HRESULT TVXDSFilter::OnStateChange(FILTER_STATE, FILTER_STATE) { return S_OK; }

HRESULT TVXDSFilter::Stop() {
  const FILTER_STATE old = fState;
  fState = State_Stopped;
  return old == State_Stopped ? S_OK : OnStateChange(old, State_Stopped);
}

HRESULT TVXDSFilter::Pause() {
  const FILTER_STATE old = fState;
  if (old == State_Paused) return S_OK;
  const HRESULT hr = OnStateChange(old, State_Paused);
  if (FAILED(hr)) return hr;
  fState = State_Paused;
  return hr;
}

HRESULT TVXDSFilter::Run(REFERENCE_TIME) {
  const FILTER_STATE old = fState;
  if (old == State_Running) return S_OK;
  const HRESULT hr = OnStateChange(old, State_Running);
  if (FAILED(hr)) return hr;
  fState = State_Running;
  return hr;
}

HRESULT TVXDSFilter::GetState(DWORD, FILTER_STATE* State) {
  if (!State) return E_POINTER;
  *State = fState;
  return fState == State_Paused ? StateAnswer() : S_OK;
}

HRESULT TVXDSFilter::SetSyncSource(IVXReferenceClock* pClock) {
  if (pClock) pClock->AddRef();
  if (fClock) fClock->Release();
  fClock = pClock;
  return S_OK;
}

HRESULT TVXDSFilter::GetSyncSource(IVXReferenceClock** pClock) {
  if (!pClock) return E_POINTER;
  *pClock = fClock;
  if (fClock) fClock->AddRef();
  return S_OK;
}

HRESULT TVXDSFilter::EnumPins(IVXEnumPins** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::vector<TVXComRef<IVXPin>> pins;
  for (const auto& p : fPins) pins.emplace_back(p.get());
  *ppEnum = new TEnumPins(std::move(pins));
  return S_OK;
}

HRESULT TVXDSFilter::FindPin(LPCWSTR Id, IVXPin** ppPin) {
  if (!Id || !ppPin) return E_POINTER;
  *ppPin = nullptr;
  for (const auto& p : fPins)
    if (p->Name() == Id) {
      *ppPin = p.get();
      p->AddRef();
      return S_OK;
    }
  return VFW_E_NOT_FOUND;
}

HRESULT TVXDSFilter::QueryVendorInfo(LPWSTR* pVendorInfo) {
  if (pVendorInfo) *pVendorInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT TVXDSFilter::GetPages(CAUUID* pPages) {
  if (!pPages) return E_POINTER;
  pPages->cElems = 0;
  pPages->pElems = nullptr;
  if (PropertyPages.empty()) return S_OK;
  pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(PropertyPages.size() * sizeof(GUID)));
  if (!pPages->pElems) return E_OUTOFMEMORY;
  std::copy(PropertyPages.begin(), PropertyPages.end(), pPages->pElems);
  pPages->cElems = ULONG(PropertyPages.size());
  return S_OK;
}

TVXDSPin* TVXDSFilter::AddPin(std::string Name, PIN_DIRECTION Dir, const GUID& Major, const GUID& Category) {
  fPins.push_back(std::make_unique<TVXDSPin>(this, std::move(Name), Dir, Major, Category));
  return fPins.back().get();
}

TVXDSMediaType TVXDSFilter::Offer(TVXDSPin* Out) {
  // A pass-through: the type of the first connected input of the same kind.
  for (const auto& p : fPins)
    if (p->Direction() == PINDIR_INPUT && p->IsConnected() && IsEqualGUID(p->Major(), Out->Major()))
      return TVXDSMediaType(p->Type());
  return {};
}

void TVXDSFilter::Receive(TVXDSPin* In, const TVXDSSample& Sample) {
  for (const auto& p : fPins)
    if (p->Direction() == PINDIR_OUTPUT && IsEqualGUID(p->Major(), In->Major())) p->Deliver(Sample);
}

void TVXDSFilter::EndOfStreamAt(TVXDSPin* In) {
  for (const auto& p : fPins)
    if (p->Direction() == PINDIR_OUTPUT && IsEqualGUID(p->Major(), In->Major())) p->DeliverEndOfStream();
  if (IsRenderer() && fGraph) VXDSGraphSinkOf(fGraph)->RendererEnded(this);
}

HRESULT TVXDSClock::GetTime(REFERENCE_TIME* pTime) {
  if (!pTime) return E_POINTER;
  *pTime = REFERENCE_TIME(GetTickCount64()) * 10000;
  return S_OK;
}

// ---- the filter graph ----

namespace {
std::mutex gGraphsLock;
std::vector<TVXDSGraph*> gGraphs;  // live graphs, newest last
}  // namespace

class TVXDSGraph final : public IVXFilterGraph2,
                         public IVXMediaControl,
                         public IVXMediaSeeking,
                         public IVXMediaEventEx,
                         public IVXMediaFilter,
                         public IVXVideoFrameStep,
                         public TVXDSGraphSink {
 public:
  TVXDSGraph() {
    std::lock_guard<std::mutex> guard(gGraphsLock);
    gGraphs.push_back(this);
  }
  ~TVXDSGraph() override {
    {
      std::lock_guard<std::mutex> guard(gGraphsLock);
      gGraphs.erase(std::find(gGraphs.begin(), gGraphs.end(), this));
    }
    SetState(State_Stopped);
    while (!fFilters.empty()) RemoveFilter(fFilters.back().Filter);
    if (fClock) fClock->Release();
  }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (VXInterfaceAnswers<IVXFilterGraph2>(riid))
      *ppv = static_cast<IVXFilterGraph2*>(this);
    else if (VXInterfaceAnswers<IVXMediaControl>(riid))
      *ppv = static_cast<IVXMediaControl*>(this);
    else if (VXInterfaceAnswers<IVXMediaSeeking>(riid))
      *ppv = static_cast<IVXMediaSeeking*>(this);
    else if (VXInterfaceAnswers<IVXMediaEventEx>(riid))
      *ppv = static_cast<IVXMediaEventEx*>(this);
    else if (VXInterfaceAnswers<IVXMediaFilter>(riid))
      *ppv = static_cast<IVXMediaFilter*>(this);
    else if (VXInterfaceAnswers<IVXVideoFrameStep>(riid))
      *ppv = static_cast<IVXVideoFrameStep*>(this);
    else if (IsEqualGUID(riid, kIIDGraph))
      *ppv = this;
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++fRefs; }
  ULONG Release() override {
    const ULONG left = --fRefs;
    if (left == 0) delete this;
    return left;
  }
  static constexpr GUID kIIDGraph{0x5C3A0E12, 0x7B1D, 0x4F6E, {0x9A, 0x31, 0x2D, 0x44, 0x0B, 0x8E, 0x61, 0x07}};

  // ---- IFilterGraph ----
  HRESULT AddFilter(IVXBaseFilter* pFilter, LPCWSTR pName) override {
    if (!pFilter) return E_POINTER;
    if (Find(pFilter) >= 0) return VFW_E_DUPLICATE_NAME;
    std::string name = VXStr(pName);
    HRESULT answer = S_OK;
    if (name.empty()) name = "Filter";
    if (ByName(name)) {
      answer = VFW_S_DUPLICATE_NAME;
      for (int n = 1;; ++n)
        if (!ByName(name + " " + std::to_string(n))) {
          name += " " + std::to_string(n);
          break;
        }
    }
    const HRESULT hr = pFilter->JoinFilterGraph(this, name.c_str());
    if (FAILED(hr)) return hr;
    pFilter->AddRef();
    fFilters.push_back({pFilter, name});
    if (fClock) pFilter->SetSyncSource(fClock);
    return answer;
  }
  HRESULT RemoveFilter(IVXBaseFilter* pFilter) override {
    const int i = Find(pFilter);
    if (i < 0) return VFW_E_NOT_FOUND;
    if (TVXDSFilter* f = VXDSFilterOf(pFilter)) {
      f->Stop();
      for (const auto& p : f->Pins())
        if (TVXDSPin* peer = p->Peer()) {
          peer->Disconnect();
          p->Disconnect();
        }
    }
    fFilters.erase(fFilters.begin() + i);
    pFilter->JoinFilterGraph(nullptr, nullptr);
    pFilter->Release();
    return S_OK;
  }
  HRESULT EnumFilters(IVXEnumFilters** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    std::vector<TVXComRef<IVXBaseFilter>> list;
    for (const auto& f : fFilters) list.emplace_back(f.Filter);
    *ppEnum = new TEnumFilters(std::move(list));
    return S_OK;
  }
  HRESULT FindFilterByName(LPCWSTR pName, IVXBaseFilter** ppFilter) override {
    if (!ppFilter) return E_POINTER;
    *ppFilter = ByName(VXStr(pName));
    if (!*ppFilter) return VFW_E_NOT_FOUND;
    (*ppFilter)->AddRef();
    return S_OK;
  }
  HRESULT ConnectDirect(IVXPin* ppinOut, IVXPin* ppinIn, const AM_MEDIA_TYPE* pmt) override {
    if (!ppinOut || !ppinIn) return E_POINTER;
    return ppinOut->Connect(ppinIn, pmt);
  }
  HRESULT Reconnect(IVXPin*) override { return E_NOTIMPL; }
  HRESULT Disconnect(IVXPin* ppin) override {
    if (!ppin) return E_POINTER;
    return ppin->Disconnect();
  }
  HRESULT SetDefaultSyncSource() override { return SetSyncSource(nullptr); }

  // ---- IGraphBuilder ----
  // Intelligent connection: directly, else through one filter of the graph.
  HRESULT Connect(IVXPin* ppinOut, IVXPin* ppinIn) override {
    TVXDSPin* out = VXDSPinOf(ppinOut);
    TVXDSPin* in = VXDSPinOf(ppinIn);
    if (!out || !in) return E_POINTER;
    if (out->IsConnected() || in->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    if (SUCCEEDED(out->Connect(in, nullptr))) return S_OK;
    for (const auto& entry : std::vector<TEntry>(fFilters)) {
      TVXDSFilter* f = VXDSFilterOf(entry.Filter);
      if (!f || f == out->Owner() || f == in->Owner()) continue;
      for (const auto& fi : f->Pins()) {
        if (fi->Direction() != PINDIR_INPUT || fi->IsConnected()) continue;
        if (FAILED(out->Connect(fi.get(), nullptr))) continue;
        for (const auto& fo : f->Pins())
          if (fo->Direction() == PINDIR_OUTPUT && !fo->IsConnected() && SUCCEEDED(fo->Connect(in, nullptr)))
            return S_OK;
        fi->Disconnect();
        out->Disconnect();
      }
    }
    return VFW_E_CANNOT_CONNECT;
  }
  HRESULT Render(IVXPin* ppinOut) override { return RenderPin(ppinOut, false); }
  HRESULT RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IVXBaseFilter** ppFilter) override {
    if (!lpcwstrFileName || !ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    TVXComPtr<IVXBaseFilter> source;
    HRESULT hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IVXBaseFilter::kIID,
                                  reinterpret_cast<void**>(&source));
    if (FAILED(hr)) return hr;
    TVXComPtr<IVXFileSinkFilter> file;  // the source's file name goes the same way
    if (FAILED(source.As(file))) return VFW_E_UNKNOWN_FILE_TYPE;
    hr = file->SetFileName(lpcwstrFileName, nullptr);
    if (FAILED(hr)) return hr;
    hr = AddFilter(source.Get(), lpcwstrFilterName ? lpcwstrFilterName : lpcwstrFileName);
    if (FAILED(hr)) return hr;
    *ppFilter = source.Detach();
    return S_OK;
  }
  HRESULT SetLogFile(DWORD_PTR) override { return S_OK; }
  HRESULT Abort() override { return S_OK; }
  HRESULT ShouldOperationContinue() override { return S_OK; }

  // ---- IFilterGraph2 ----
  HRESULT AddSourceFilterForMoniker(IMoniker*, IBindCtx*, LPCWSTR, IVXBaseFilter**) override { return E_NOTIMPL; }
  HRESULT ReconnectEx(IVXPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT RenderEx(IVXPin* pPinOut, DWORD dwFlags, DWORD*) override {
    return RenderPin(pPinOut, (dwFlags & AM_RENDEREX_RENDERTOEXISTINGRENDERERS) != 0);
  }

  // ---- IDispatch (the layer is called through the interfaces' own methods)
  // ----
  HRESULT GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, DWORD, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPWSTR*, UINT, DWORD, int32_t*) override { return E_NOTIMPL; }
  HRESULT Invoke(int32_t, REFIID, DWORD, uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // ---- IMediaControl ----
  HRESULT Run() override { return SetState(State_Running); }
  HRESULT Pause() override { return SetState(State_Paused); }
  HRESULT Stop() override { return SetState(State_Stopped); }
  HRESULT GetState(int32_t msTimeout, OAFilterState* pfs) override {
    FILTER_STATE s;
    const HRESULT hr = GetState(DWORD(std::max(msTimeout, 0)), &s);
    if (pfs) *pfs = s;
    return pfs ? hr : E_POINTER;
  }
  HRESULT RenderFile(BSTR) override { return E_NOTIMPL; }
  HRESULT AddSourceFilter(BSTR, IDispatch**) override { return E_NOTIMPL; }
  HRESULT get_FilterCollection(IDispatch**) override { return E_NOTIMPL; }
  HRESULT get_RegFilterCollection(IDispatch**) override { return E_NOTIMPL; }
  HRESULT StopWhenReady() override {
    if (fState == State_Stopped) return S_OK;
    SetState(State_Paused);
    return SetState(State_Stopped);
  }

  // ---- IMediaFilter ----
  HRESULT GetClassID(CLSID* id) override { return VXDSAnswer(id, CLSID_FilterGraph); }
  HRESULT Run(REFERENCE_TIME) override { return Run(); }
  // The graph's state; while a filter still waits for data the call waits
  // up to the time-out and answers VFW_S_STATE_INTERMEDIATE; VFW_S_CANT_CUE
  // when a live source cannot give data while paused.
  HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override {
    if (!State) return E_POINTER;
    *State = fState;
    HRESULT answer = Answer();
    if (answer == VFW_S_STATE_INTERMEDIATE && dwMilliSecsTimeout) {
      Sleep(dwMilliSecsTimeout);
      answer = Answer();
    }
    return answer;
  }
  HRESULT SetSyncSource(IVXReferenceClock* pClock) override {
    if (pClock) pClock->AddRef();
    if (fClock) fClock->Release();
    fClock = pClock;
    for (const auto& f : fFilters) f.Filter->SetSyncSource(pClock);
    return S_OK;
  }
  HRESULT GetSyncSource(IVXReferenceClock** pClock) override {
    if (!pClock) return E_POINTER;
    *pClock = fClock;
    if (fClock) fClock->AddRef();
    return S_OK;
  }

  // ---- IMediaSeeking: the graph's seekable source answers ----
  HRESULT GetCapabilities(DWORD* p) override { return Seeker() ? Seeker()->GetCapabilities(p) : E_NOTIMPL; }
  HRESULT CheckCapabilities(DWORD* p) override { return Seeker() ? Seeker()->CheckCapabilities(p) : E_NOTIMPL; }
  HRESULT IsFormatSupported(const GUID* f) override { return Seeker() ? Seeker()->IsFormatSupported(f) : E_NOTIMPL; }
  HRESULT QueryPreferredFormat(GUID* f) override { return Seeker() ? Seeker()->QueryPreferredFormat(f) : E_NOTIMPL; }
  HRESULT GetTimeFormat(GUID* f) override { return Seeker() ? Seeker()->GetTimeFormat(f) : E_NOTIMPL; }
  HRESULT IsUsingTimeFormat(const GUID* f) override { return Seeker() ? Seeker()->IsUsingTimeFormat(f) : E_NOTIMPL; }
  HRESULT SetTimeFormat(const GUID* f) override {
    if (fState != State_Stopped && fState != State_Paused) return VFW_E_WRONG_STATE;
    return Seeker() ? Seeker()->SetTimeFormat(f) : E_NOTIMPL;
  }
  HRESULT GetDuration(LONGLONG* d) override { return Seeker() ? Seeker()->GetDuration(d) : E_NOTIMPL; }
  HRESULT GetStopPosition(LONGLONG* s) override { return Seeker() ? Seeker()->GetStopPosition(s) : E_NOTIMPL; }
  HRESULT GetCurrentPosition(LONGLONG* c) override { return Seeker() ? Seeker()->GetCurrentPosition(c) : E_NOTIMPL; }
  HRESULT ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG s, const GUID* sf) override {
    return Seeker() ? Seeker()->ConvertTimeFormat(t, tf, s, sf) : E_NOTIMPL;
  }
  HRESULT SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s, DWORD sf) override {
    if (!Seeker()) return E_NOTIMPL;
    fCompleted = false;
    return Seeker()->SetPositions(c, cf, s, sf);
  }
  HRESULT GetPositions(LONGLONG* c, LONGLONG* s) override {
    return Seeker() ? Seeker()->GetPositions(c, s) : E_NOTIMPL;
  }
  HRESULT GetAvailable(LONGLONG* e, LONGLONG* l) override {
    return Seeker() ? Seeker()->GetAvailable(e, l) : E_NOTIMPL;
  }
  HRESULT SetRate(double r) override { return Seeker() ? Seeker()->SetRate(r) : E_NOTIMPL; }
  HRESULT GetRate(double* r) override { return Seeker() ? Seeker()->GetRate(r) : E_NOTIMPL; }
  HRESULT GetPreroll(LONGLONG* p) override { return Seeker() ? Seeker()->GetPreroll(p) : E_NOTIMPL; }

  // ---- IMediaEventEx ----
  HRESULT GetEventHandle(OAEVENT* h) override {
    if (h) *h = 0;
    return E_NOTIMPL;
  }
  HRESULT GetEvent(int32_t* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, int32_t msTimeout) override {
    if (!lEventCode || !lParam1 || !lParam2) return E_POINTER;
    for (int pass = 0; pass < 2; ++pass) {
      {
        std::lock_guard<std::mutex> guard(fEventLock);
        if (!fEvents.empty()) {
          *lEventCode = fEvents.front().Code;
          *lParam1 = fEvents.front().P1;
          *lParam2 = fEvents.front().P2;
          fEvents.pop_front();
          return S_OK;
        }
      }
      if (pass == 0 && msTimeout > 0)
        Sleep(uint32_t(msTimeout));
      else
        break;
    }
    *lEventCode = 0;
    *lParam1 = *lParam2 = 0;
    return E_ABORT;
  }
  HRESULT WaitForCompletion(int32_t msTimeout, int32_t* pEvCode) override {
    if (!pEvCode) return E_POINTER;
    const uint64_t start = GetTickCount64();
    while (!fCompleted) {
      if (msTimeout >= 0 && GetTickCount64() - start >= uint64_t(msTimeout)) {
        *pEvCode = 0;
        return E_ABORT;
      }
      Sleep(10);
    }
    *pEvCode = EC_COMPLETE;
    return S_OK;
  }
  HRESULT CancelDefaultHandling(int32_t) override { return S_OK; }
  HRESULT RestoreDefaultHandling(int32_t) override { return S_OK; }
  HRESULT FreeEventParams(int32_t, LONG_PTR, LONG_PTR) override { return S_OK; }
  HRESULT SetNotifyWindow(OAHWND hwnd, int32_t lMsg, LONG_PTR lInstanceData) override {
    std::lock_guard<std::mutex> guard(fEventLock);
    fNotifyWindow = hwnd;
    fNotifyMessage = lMsg;
    fNotifyData = lInstanceData;
    return S_OK;
  }
  HRESULT SetNotifyFlags(int32_t f) override {
    fNoNotify = f;
    return S_OK;
  }
  HRESULT GetNotifyFlags(int32_t* f) override { return VXDSAnswer(f, fNoNotify); }

  // ---- IVideoFrameStep: the seekable source steps while paused ----
  HRESULT Step(DWORD dwFrames, IUnknown* pStepObject) override {
    if (pStepObject) return E_INVALIDARG;
    TVXDSFilter* source = SeekerFilter();
    if (!source || dwFrames == 0) return E_FAIL;
    if (fState == State_Stopped) SetState(State_Paused);
    if (!source->StepFrames(dwFrames)) return VFW_E_WRONG_STATE;
    Notify(EC_STEP_COMPLETE, 0, 0);
    return S_OK;
  }
  HRESULT CanStep(LONG, IUnknown* pStepObject) override { return !pStepObject && SeekerFilter() ? S_OK : S_FALSE; }
  HRESULT CancelStep() override { return S_OK; }

  std::vector<std::string> FilterNames() const {
    std::vector<std::string> names;
    for (const auto& f : fFilters) names.push_back(f.Name);
    return names;
  }

  // ---- TVXDSGraphSink ----
  void Notify(int32_t Code, LONG_PTR Param1, LONG_PTR Param2) override {
    std::lock_guard<std::mutex> guard(fEventLock);
    if (fNoNotify) return;
    fEvents.push_back({Code, Param1, Param2});
    if (fNotifyWindow) PostMessageW(reinterpret_cast<HWND>(fNotifyWindow), UINT(fNotifyMessage), 0, fNotifyData);
  }
  void RendererEnded(TVXDSFilter* Renderer) override {
    bool all = true;
    {
      std::lock_guard<std::mutex> guard(fEventLock);
      fEnded.push_back(Renderer);
      for (const auto& e : fFilters) {
        TVXDSFilter* f = VXDSFilterOf(e.Filter);
        if (f && f->IsRenderer() && HasInput(f) && std::find(fEnded.begin(), fEnded.end(), f) == fEnded.end())
          all = false;
      }
      if (!all || fCompleted) return;
      fCompleted = true;
    }
    Notify(EC_COMPLETE, S_OK, 0);
  }

 private:
  struct TEntry {
    IVXBaseFilter* Filter;  // one reference
    std::string Name;
  };
  struct TEvent {
    int32_t Code;
    LONG_PTR P1, P2;
  };
  static constexpr HRESULT VFW_S_DUPLICATE_NAME = HRESULT(0x0004022D);

  int Find(IVXBaseFilter* f) const {
    for (size_t i = 0; i < fFilters.size(); ++i)
      if (fFilters[i].Filter == f) return int(i);
    return -1;
  }
  IVXBaseFilter* ByName(const std::string& Name) const {
    for (const auto& f : fFilters)
      if (f.Name == Name) return f.Filter;
    return nullptr;
  }
  static bool HasInput(TVXDSFilter* f) {
    for (const auto& p : f->Pins())
      if (p->Direction() == PINDIR_INPUT && p->IsConnected()) return true;
    return false;
  }
  TVXDSFilter* SeekerFilter() const {
    for (const auto& f : fFilters) {
      TVXDSFilter* d = VXDSFilterOf(f.Filter);
      if (d && d->Extra(IVXMediaSeeking::kIID)) return d;
    }
    return nullptr;
  }
  IVXMediaSeeking* Seeker() const {
    TVXDSFilter* d = SeekerFilter();
    return d ? static_cast<IVXMediaSeeking*>(d->Extra(IVXMediaSeeking::kIID)) : nullptr;
  }
  HRESULT Answer() {
    HRESULT answer = S_OK;
    for (const auto& f : fFilters) {
      FILTER_STATE s;
      const HRESULT hr = f.Filter->GetState(0, &s);
      if (hr == VFW_S_STATE_INTERMEDIATE) return hr;
      if (hr == VFW_S_CANT_CUE) answer = hr;
    }
    return answer;
  }
  // Moves every filter, renderers first, to the state (through paused on
  // the way from stopped to running); a filter's failure stops them all.
  HRESULT SetState(FILTER_STATE New) {
    std::vector<IVXBaseFilter*> order;
    for (const auto& f : fFilters) {
      TVXDSFilter* d = VXDSFilterOf(f.Filter);
      if (d && d->IsRenderer()) order.push_back(f.Filter);
    }
    for (const auto& f : fFilters)
      if (std::find(order.begin(), order.end(), f.Filter) == order.end()) order.push_back(f.Filter);
    if (New == State_Stopped) {
      for (IVXBaseFilter* f : order) f->Stop();
      fState = State_Stopped;
      std::lock_guard<std::mutex> guard(fEventLock);
      fEnded.clear();
      return S_OK;
    }
    if (fState == State_Stopped) {
      std::lock_guard<std::mutex> guard(fEventLock);
      fEnded.clear();
      fCompleted = false;
    }
    HRESULT answer = S_OK;
    const FILTER_STATE steps[2] = {State_Paused, State_Running};
    for (FILTER_STATE step : steps) {
      if (step > New) break;
      if (step == State_Paused && fState == State_Running && New == State_Running) continue;
      for (IVXBaseFilter* f : order) {
        const REFERENCE_TIME start = 0;
        const HRESULT hr = step == State_Paused ? f->Pause() : f->Run(start);
        if (FAILED(hr)) {
          for (IVXBaseFilter* g : order) g->Stop();
          fState = State_Stopped;
          return hr;
        }
        if (hr != S_OK) answer = hr;
      }
      fState = step;
    }
    fState = New;
    return answer == VFW_S_CANT_CUE || answer == VFW_S_STATE_INTERMEDIATE ? S_FALSE : answer;
  }
  HRESULT RenderPin(IVXPin* ppinOut, bool ExistingOnly) {
    TVXDSPin* out = VXDSPinOf(ppinOut);
    if (!out) return E_POINTER;
    if (out->Direction() != PINDIR_OUTPUT) return E_INVALIDARG;
    if (out->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    for (const auto& entry : std::vector<TEntry>(fFilters)) {
      TVXDSFilter* f = VXDSFilterOf(entry.Filter);
      if (!f || !f->IsRenderer() || f == out->Owner()) continue;
      for (const auto& in : f->Pins())
        if (in->Direction() == PINDIR_INPUT && !in->IsConnected() && SUCCEEDED(Connect(out, in.get()))) return S_OK;
    }
    if (ExistingOnly) return VFW_E_CANNOT_RENDER;
    const bool audio = IsEqualGUID(out->Major(), MEDIATYPE_Audio);
    const bool video = IsEqualGUID(out->Major(), MEDIATYPE_Video);
    if (!audio && !video) return VFW_E_CANNOT_RENDER;
    TVXComPtr<IVXBaseFilter> renderer;
    if (FAILED(CoCreateInstance(audio ? CLSID_DSoundRender : CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                IVXBaseFilter::kIID, reinterpret_cast<void**>(&renderer))))
      return VFW_E_CANNOT_RENDER;
    if (FAILED(AddFilter(renderer.Get(), audio ? "Audio Renderer" : "Video Renderer"))) return VFW_E_CANNOT_RENDER;
    TVXDSFilter* r = VXDSFilterOf(renderer.Get());
    for (const auto& in : r->Pins())
      if (in->Direction() == PINDIR_INPUT && SUCCEEDED(Connect(out, in.get()))) return S_OK;
    RemoveFilter(renderer.Get());
    return VFW_E_CANNOT_RENDER;
  }

  std::atomic<ULONG> fRefs{1};
  std::vector<TEntry> fFilters;
  FILTER_STATE fState = State_Stopped;
  IVXReferenceClock* fClock = nullptr;
  std::mutex fEventLock;
  std::deque<TEvent> fEvents;
  std::vector<TVXDSFilter*> fEnded;
  std::atomic<bool> fCompleted{false};
  OAHWND fNotifyWindow = 0;
  int32_t fNotifyMessage = 0;
  LONG_PTR fNotifyData = 0;
  int32_t fNoNotify = 0;
};

TVXDSGraphSink* VXDSGraphSinkOf(TVXDSGraph* Graph) { return Graph; }

std::vector<std::string> VXDSNewestGraphFilters() {
  std::lock_guard<std::mutex> guard(gGraphsLock);
  return gGraphs.empty() ? std::vector<std::string>() : gGraphs.back()->FilterNames();
}

HRESULT TVXDSFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  std::memset(pInfo->achName, 0, sizeof pInfo->achName);
  std::strncpy(pInfo->achName, fName.c_str(), sizeof pInfo->achName - 1);
  pInfo->pGraph = nullptr;
  if (fGraph) fGraph->QueryInterface(IVXFilterGraph::kIID, reinterpret_cast<void**>(&pInfo->pGraph));
  return S_OK;
}

HRESULT TVXDSFilter::JoinFilterGraph(IVXFilterGraph* pGraph, LPCWSTR pName) {
  fGraph = nullptr;
  if (pGraph) {
    void* p = nullptr;
    if (FAILED(pGraph->QueryInterface(TVXDSGraph::kIIDGraph, &p)) || !p) return E_NOINTERFACE;
    fGraph = static_cast<TVXDSGraph*>(p);
    fGraph->Release();  // the graph holds the filter, not the other way round
  }
  fName = VXStr(pName);
  return S_OK;
}

// ---- the capture graph builder ----

namespace {

std::mutex gLogLock;
std::vector<std::string> gLog;

std::string CategoryText(const GUID* g) {
  if (!g) return "none";
  if (IsEqualGUID(*g, PIN_CATEGORY_CAPTURE)) return "PIN_CATEGORY_CAPTURE";
  if (IsEqualGUID(*g, PIN_CATEGORY_PREVIEW)) return "PIN_CATEGORY_PREVIEW";
  return VXGUIDToString(*g);
}

std::string TypeText(const GUID* g) {
  if (!g) return "none";
  if (IsEqualGUID(*g, MEDIATYPE_Video)) return "MEDIATYPE_Video";
  if (IsEqualGUID(*g, MEDIATYPE_Audio)) return "MEDIATYPE_Audio";
  return VXGUIDToString(*g);
}

std::string NameText(IUnknown* u) {
  if (!u) return "none";
  if (TVXDSPin* p = VXDSPinOf(u)) return p->Owner()->GraphName() + "." + p->Name();
  if (TVXDSFilter* f = VXDSFilterOf(u)) return f->GraphName();
  return "?";
}

bool PinMatches(TVXDSPin* p, PIN_DIRECTION Dir, const GUID* Category, const GUID* Type, bool Unconnected) {
  if (p->Direction() != Dir) return false;
  if (Category && !IsEqualGUID(p->Category(), *Category)) return false;
  if (Type && !IsEqualGUID(p->Major(), *Type)) return false;
  return !Unconnected || !p->IsConnected();
}

class TCaptureGraphBuilder : public TVXComObject<IVXCaptureGraphBuilder2> {
 public:
  HRESULT SetFiltergraph(IVXGraphBuilder* pfg) override {
    if (!pfg) return E_POINTER;
    if (fGraph) return E_UNEXPECTED;
    pfg->AddRef();
    fGraph.Reset();
    *&fGraph = pfg;
    return S_OK;
  }
  HRESULT GetFiltergraph(IVXGraphBuilder** ppfg) override {
    if (!ppfg) return E_POINTER;
    *ppfg = fGraph.Get();
    if (!*ppfg) return E_UNEXPECTED;
    (*ppfg)->AddRef();
    return S_OK;
  }
  // The AVI multiplexer writing to the file; the platform's ASF writer is
  // not on this system.
  HRESULT SetOutputFileName(const GUID* pType, LPCWSTR lpstrFile, IVXBaseFilter** ppf,
                            IVXFileSinkFilter** ppSink) override {
    if (ppf) *ppf = nullptr;
    if (ppSink) *ppSink = nullptr;
    if (!pType || !lpstrFile || !ppf) return E_POINTER;
    if (!IsEqualGUID(*pType, MEDIASUBTYPE_Avi)) return REGDB_E_CLASSNOTREG;
    if (!Graph()) return E_UNEXPECTED;
    TVXComPtr<IVXBaseFilter> mux;
    HRESULT hr = CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IVXBaseFilter::kIID,
                                  reinterpret_cast<void**>(&mux));
    if (FAILED(hr)) return hr;
    TVXComPtr<IVXFileSinkFilter> sink;
    if (FAILED(hr = mux.As(sink)) || FAILED(hr = sink->SetFileName(lpstrFile, nullptr))) return hr;
    if (FAILED(hr = fGraph->AddFilter(mux.Get(), "AVI Mux"))) return hr;
    if (ppSink) *ppSink = sink.Detach();
    *ppf = mux.Detach();
    return S_OK;
  }
  // The filter, its pins, then the filters upstream and downstream of it
  // (nearest first).
  HRESULT FindInterface(const GUID* pCategory, const GUID* pType, IVXBaseFilter* pf, REFIID riid,
                        void** ppint) override {
    if (!ppint) return E_POINTER;
    *ppint = nullptr;
    TVXDSFilter* start = VXDSFilterOf(pf);
    if (!start) return E_POINTER;
    std::vector<TVXDSFilter*> seen = {start};
    for (size_t i = 0; i < seen.size(); ++i) {
      TVXDSFilter* f = seen[i];
      if (SUCCEEDED(f->QueryInterface(riid, ppint)) && *ppint) return S_OK;
      for (const auto& p : f->Pins()) {
        if (i == 0 && (pCategory || pType) && !PinMatches(p.get(), p->Direction(), pCategory, pType, false)) continue;
        if (SUCCEEDED(p->QueryInterface(riid, ppint)) && *ppint) return S_OK;
      }
      for (const auto& p : f->Pins())
        if (TVXDSPin* peer = p->Peer())
          if (std::find(seen.begin(), seen.end(), peer->Owner()) == seen.end()) seen.push_back(peer->Owner());
    }
    return E_NOINTERFACE;
  }
  HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource, IVXBaseFilter* pfCompressor,
                       IVXBaseFilter* pfRenderer) override {
    {
      std::lock_guard<std::mutex> guard(gLogLock);
      gLog.push_back("RenderStream(" + CategoryText(pCategory) + ", " + TypeText(pType) + ", " + NameText(pSource) +
                     ", " + NameText(pfCompressor) + ", " + NameText(pfRenderer) + ")");
    }
    if (!Graph() || !pSource) return E_POINTER;
    TVXDSPin* out = VXDSPinOf(pSource);
    if (!out) {
      TVXDSFilter* source = VXDSFilterOf(pSource);
      if (!source) return E_INVALIDARG;
      AddUpstream(source);
      out = FreePin(source, PINDIR_OUTPUT, pCategory, pType);
    }
    if (!out) return E_FAIL;
    if (pfCompressor) {
      TVXDSFilter* mid = VXDSFilterOf(pfCompressor);
      TVXDSPin* in = mid ? FreePin(mid, PINDIR_INPUT, nullptr, nullptr) : nullptr;
      if (!in || FAILED(fGraph->Connect(out, in))) return E_FAIL;
      out = FreePin(mid, PINDIR_OUTPUT, nullptr, nullptr);
      if (!out) return pfRenderer ? E_FAIL : S_OK;
    }
    if (!pfRenderer) return fGraph->Render(out);
    TVXDSFilter* sink = VXDSFilterOf(pfRenderer);
    TVXDSPin* in = sink ? FreePin(sink, PINDIR_INPUT, nullptr, &out->Major()) : nullptr;
    if (!in) in = sink ? FreePin(sink, PINDIR_INPUT, nullptr, nullptr) : nullptr;
    if (!in) return E_FAIL;
    return fGraph->Connect(out, in);
  }
  HRESULT ControlStream(const GUID*, const GUID*, IVXBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*, uint16_t,
                        uint16_t) override {
    return E_NOTIMPL;
  }
  HRESULT AllocCapFile(LPCWSTR, uint64_t) override { return E_NOTIMPL; }
  HRESULT CopyCaptureFile(LPWSTR, LPWSTR, int, IAMCopyCaptureFileProgress*) override { return E_NOTIMPL; }
  HRESULT FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType, BOOL fUnconnected,
                  int num, IVXPin** ppPin) override {
    if (!ppPin) return E_POINTER;
    *ppPin = nullptr;
    TVXDSFilter* f = VXDSFilterOf(pSource);
    if (!f) {
      TVXDSPin* p = VXDSPinOf(pSource);
      if (!p || !PinMatches(p, pindir, pCategory, pType, fUnconnected) || num != 0) return E_FAIL;
      *ppPin = p;
      p->AddRef();
      return S_OK;
    }
    for (const auto& p : f->Pins())
      if (PinMatches(p.get(), pindir, pCategory, pType, fUnconnected) && num-- == 0) {
        *ppPin = p.get();
        p->AddRef();
        return S_OK;
      }
    return E_FAIL;
  }

 private:
  IVXGraphBuilder* Graph() const { return fGraph.Get(); }
  static TVXDSPin* FreePin(TVXDSFilter* f, PIN_DIRECTION Dir, const GUID* Category, const GUID* Type) {
    for (const auto& p : f->Pins())
      if (PinMatches(p.get(), Dir, Category, Type, true)) return p.get();
    return nullptr;
  }
  // The platform's builder brings a capture device's crossbar and tuner
  // into the graph and connects them to the device's analog inputs.
  void AddUpstream(TVXDSFilter* Source) {
    for (auto& [filter, name] : Source->Upstream()) {
      if (filter->Graph()) continue;
      if (FAILED(fGraph->AddFilter(filter, name.c_str()))) continue;
    }
    std::vector<TVXDSFilter*> chain = {Source};
    for (auto& up : Source->Upstream()) chain.push_back(up.first);
    for (TVXDSFilter* from : chain)
      for (const auto& out : from->Pins()) {
        if (out->Direction() != PINDIR_OUTPUT || out->IsConnected()) continue;
        if (IsEqualGUID(out->Major(), MEDIATYPE_Video) || IsEqualGUID(out->Major(), MEDIATYPE_Audio)) continue;
        for (TVXDSFilter* to : chain) {
          if (to == from) continue;
          TVXDSPin* in = FreePin(to, PINDIR_INPUT, nullptr, &out->Major());
          if (in && SUCCEEDED(out->Connect(in, nullptr))) break;
        }
      }
  }

  TVXComPtr<IVXGraphBuilder> fGraph;
};

// The system clock.
using TSystemClock = TVXComObject<TVXDSClock>;

template <class T>
HRESULT CreatePlain(REFIID riid, void** ppv) {
  auto* o = new T;
  const HRESULT hr = o->QueryInterface(riid, ppv);
  o->Release();
  return hr;
}

constexpr DWORD kInproc = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

}  // namespace

std::vector<std::string> VXDSRenderStreamLog() {
  std::lock_guard<std::mutex> guard(gLogLock);
  return gLog;
}

void VXDSClearRenderStreamLog() {
  std::lock_guard<std::mutex> guard(gLogLock);
  gLog.clear();
}

void VXDSRegisterGraphClasses() {
  VXRegisterComClass(CLSID_FilterGraph, &CreatePlain<TVXDSGraph>, kInproc);
  VXRegisterComClass(CLSID_CaptureGraphBuilder2, &CreatePlain<TCaptureGraphBuilder>, kInproc);
  VXRegisterComClass(CLSID_SystemClock, &CreatePlain<TSystemClock>, kInproc);
}

void VXDSUnregisterGraphClasses() {
  VXUnregisterComClass(CLSID_FilterGraph);
  VXUnregisterComClass(CLSID_CaptureGraphBuilder2);
  VXUnregisterComClass(CLSID_SystemClock);
}
