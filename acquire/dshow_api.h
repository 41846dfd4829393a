// The platform's DirectShow interfaces as the DirectShow unit declares them
// (IVX names), each the platform's published interface with its IID, parent
// and method order, and the structures they pass. Work in progress: the
// graph layer over them is not built yet.
#pragma once

#include "acquire/capture_devices.h"
#include "platform/win_com.h"

using REFERENCE_TIME = int64_t;  // 100 ns units
using LONGLONG = int64_t;
using LONG_PTR = intptr_t;
using DWORD_PTR = uintptr_t;
using OAFilterState = int32_t;
using OAHWND = LONG_PTR;
using OAEVENT = LONG_PTR;
using BSTR = char*;  // UTF-8 here

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples = 0;
  BOOL bTemporalCompression = 0;
  ULONG lSampleSize = 0;
  GUID formattype;
  IUnknown* pUnk = nullptr;
  ULONG cbFormat = 0;
  BYTE* pbFormat = nullptr;  // task memory
};

struct IVXBaseFilter;
struct IVXFilterGraph;

struct FILTER_INFO {
  char achName[128] = {};
  IVXFilterGraph* pGraph = nullptr;  // one reference, released by the caller
};

struct PIN_INFO {
  IVXBaseFilter* pFilter = nullptr;  // one reference, released by the caller
  PIN_DIRECTION dir = PINDIR_INPUT;
  char achName[128] = {};
};

struct IVXReferenceClock : IUnknown {
  static constexpr GUID kIID{0x56A86897, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IUnknown;
  virtual HRESULT GetTime(REFERENCE_TIME* pTime) = 0;
  virtual HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, void* hEvent,
                             DWORD_PTR* pdwAdviseCookie) = 0;
  virtual HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, void* hSemaphore,
                                 DWORD_PTR* pdwAdviseCookie) = 0;
  virtual HRESULT Unadvise(DWORD_PTR dwAdviseCookie) = 0;
};

struct IVXMediaFilter : IPersist {
  static constexpr GUID kIID{0x56A86899, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IPersist;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
  virtual HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
  virtual HRESULT SetSyncSource(IVXReferenceClock* pClock) = 0;
  virtual HRESULT GetSyncSource(IVXReferenceClock** pClock) = 0;
};

struct IVXPin;
struct IVXEnumPins;
struct IVXEnumMediaTypes;

struct IVXBaseFilter : IVXMediaFilter {
  static constexpr GUID kIID{0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IVXMediaFilter;
  virtual HRESULT EnumPins(IVXEnumPins** ppEnum) = 0;
  virtual HRESULT FindPin(LPCWSTR Id, IVXPin** ppPin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO* pInfo) = 0;
  virtual HRESULT JoinFilterGraph(IVXFilterGraph* pGraph, LPCWSTR pName) = 0;
  virtual HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) = 0;
};

struct IVXPin : IUnknown {
  static constexpr GUID kIID{0x56A86891, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IUnknown;
  virtual HRESULT Connect(IVXPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT ReceiveConnection(IVXPin* pConnector, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT ConnectedTo(IVXPin** pPin) = 0;
  virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT QueryPinInfo(PIN_INFO* pInfo) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
  virtual HRESULT QueryId(LPWSTR* Id) = 0;
  virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT EnumMediaTypes(IVXEnumMediaTypes** ppEnum) = 0;
  virtual HRESULT QueryInternalConnections(IVXPin** apPin, ULONG* nPin) = 0;
  virtual HRESULT EndOfStream() = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
  virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;
};

struct IVXEnumPins : IUnknown {
  static constexpr GUID kIID{0x56A86892, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IUnknown;
  virtual HRESULT Next(ULONG cPins, IVXPin** ppPins, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cPins) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IVXEnumPins** ppEnum) = 0;
};

struct IVXEnumMediaTypes : IUnknown {
  static constexpr GUID kIID{0x89C31040, 0x846B, 0x11CE, {0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
  using TVXBase = IUnknown;
  virtual HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cMediaTypes) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IVXEnumMediaTypes** ppEnum) = 0;
};

struct IVXEnumFilters : IUnknown {
  static constexpr GUID kIID{0x56A86893, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IUnknown;
  virtual HRESULT Next(ULONG cFilters, IVXBaseFilter** ppFilter, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cFilters) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IVXEnumFilters** ppEnum) = 0;
};

struct IVXFilterGraph : IUnknown {
  static constexpr GUID kIID{0x56A8689F, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IUnknown;
  virtual HRESULT AddFilter(IVXBaseFilter* pFilter, LPCWSTR pName) = 0;
  virtual HRESULT RemoveFilter(IVXBaseFilter* pFilter) = 0;
  virtual HRESULT EnumFilters(IVXEnumFilters** ppEnum) = 0;
  virtual HRESULT FindFilterByName(LPCWSTR pName, IVXBaseFilter** ppFilter) = 0;
  virtual HRESULT ConnectDirect(IVXPin* ppinOut, IVXPin* ppinIn, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT Reconnect(IVXPin* ppin) = 0;
  virtual HRESULT Disconnect(IVXPin* ppin) = 0;
  virtual HRESULT SetDefaultSyncSource() = 0;
};

struct IVXGraphBuilder : IVXFilterGraph {
  static constexpr GUID kIID{0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IVXFilterGraph;
  virtual HRESULT Connect(IVXPin* ppinOut, IVXPin* ppinIn) = 0;
  virtual HRESULT Render(IVXPin* ppinOut) = 0;
  virtual HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
  virtual HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IVXBaseFilter** ppFilter) = 0;
  virtual HRESULT SetLogFile(DWORD_PTR hFile) = 0;
  virtual HRESULT Abort() = 0;
  virtual HRESULT ShouldOperationContinue() = 0;
};

struct IFileSinkFilter;
struct IAMCopyCaptureFileProgress;

struct IVXCaptureGraphBuilder2 : IUnknown {
  static constexpr GUID kIID{0x93E5A4E0, 0x2D50, 0x11D2, {0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D}};
  using TVXBase = IUnknown;
  virtual HRESULT SetFiltergraph(IVXGraphBuilder* pfg) = 0;
  virtual HRESULT GetFiltergraph(IVXGraphBuilder** ppfg) = 0;
  virtual HRESULT SetOutputFileName(const GUID* pType, LPCWSTR lpstrFile, IVXBaseFilter** ppf,
                                    IFileSinkFilter** ppSink) = 0;
  virtual HRESULT FindInterface(const GUID* pCategory, const GUID* pType, IVXBaseFilter* pf, REFIID riid,
                                void** ppint) = 0;
  virtual HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                               IVXBaseFilter* pfCompressor, IVXBaseFilter* pfRenderer) = 0;
  virtual HRESULT ControlStream(const GUID* pCategory, const GUID* pType, IVXBaseFilter* pFilter,
                                REFERENCE_TIME* pstart, REFERENCE_TIME* pstop, uint16_t wStartCookie,
                                uint16_t wStopCookie) = 0;
  virtual HRESULT AllocCapFile(LPCWSTR lpstr, uint64_t dwlSize) = 0;
  virtual HRESULT CopyCaptureFile(LPWSTR lpwstrOld, LPWSTR lpwstrNew, int fAllowEscAbort,
                                  IAMCopyCaptureFileProgress* pCallback) = 0;
  virtual HRESULT FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType,
                          BOOL fUnconnected, int num, IVXPin** ppPin) = 0;
};

struct ITypeInfo;
struct DISPPARAMS;
struct EXCEPINFO;

// Automation dispatch, the base of the graph's dual interfaces; the
// library calls them through their own methods only.
struct IDispatch : IUnknown {
  static constexpr GUID kIID{0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  using TVXBase = IUnknown;
  virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, DWORD lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPWSTR* rgszNames, UINT cNames, DWORD lcid, int32_t* rgDispId) = 0;
  virtual HRESULT Invoke(int32_t dispIdMember, REFIID riid, DWORD lcid, uint16_t wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};

struct IVXMediaControl : IDispatch {
  static constexpr GUID kIID{0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IDispatch;
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(int32_t msTimeout, OAFilterState* pfs) = 0;
  virtual HRESULT RenderFile(BSTR strFilename) = 0;
  virtual HRESULT AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) = 0;
  virtual HRESULT get_FilterCollection(IDispatch** ppUnk) = 0;
  virtual HRESULT get_RegFilterCollection(IDispatch** ppUnk) = 0;
  virtual HRESULT StopWhenReady() = 0;
};

struct IVXMediaEvent : IDispatch {
  static constexpr GUID kIID{0x56A868B6, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IDispatch;
  virtual HRESULT GetEventHandle(OAEVENT* hEvent) = 0;
  virtual HRESULT GetEvent(int32_t* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, int32_t msTimeout) = 0;
  virtual HRESULT WaitForCompletion(int32_t msTimeout, int32_t* pEvCode) = 0;
  virtual HRESULT CancelDefaultHandling(int32_t lEvCode) = 0;
  virtual HRESULT RestoreDefaultHandling(int32_t lEvCode) = 0;
  virtual HRESULT FreeEventParams(int32_t lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};

struct IVXMediaEventEx : IVXMediaEvent {
  static constexpr GUID kIID{0x56A868C0, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IVXMediaEvent;
  virtual HRESULT SetNotifyWindow(OAHWND hwnd, int32_t lMsg, LONG_PTR lInstanceData) = 0;
  virtual HRESULT SetNotifyFlags(int32_t lNoNotifyFlags) = 0;
  virtual HRESULT GetNotifyFlags(int32_t* lplNoNotifyFlags) = 0;
};

struct IVXMediaSeeking : IUnknown {
  static constexpr GUID kIID{0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
  using TVXBase = IUnknown;
  virtual HRESULT GetCapabilities(DWORD* pCapabilities) = 0;
  virtual HRESULT CheckCapabilities(DWORD* pCapabilities) = 0;
  virtual HRESULT IsFormatSupported(const GUID* pFormat) = 0;
  virtual HRESULT QueryPreferredFormat(GUID* pFormat) = 0;
  virtual HRESULT GetTimeFormat(GUID* pFormat) = 0;
  virtual HRESULT IsUsingTimeFormat(const GUID* pFormat) = 0;
  virtual HRESULT SetTimeFormat(const GUID* pFormat) = 0;
  virtual HRESULT GetDuration(LONGLONG* pDuration) = 0;
  virtual HRESULT GetStopPosition(LONGLONG* pStop) = 0;
  virtual HRESULT GetCurrentPosition(LONGLONG* pCurrent) = 0;
  virtual HRESULT ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                    const GUID* pSourceFormat) = 0;
  virtual HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) = 0;
  virtual HRESULT GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) = 0;
  virtual HRESULT GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) = 0;
  virtual HRESULT SetRate(double dRate) = 0;
  virtual HRESULT GetRate(double* pdRate) = 0;
  virtual HRESULT GetPreroll(LONGLONG* pllPreroll) = 0;
};
