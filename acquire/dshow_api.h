// The platform's DirectShow interfaces as the DirectShow unit declares them
// (IVX names), each the platform's published interface with its IID, parent
// and method order, and the structures they pass. The library's own graph
// layer (dshow_graph.h) implements them.
#pragma once

#include "acquire/capture_devices.h"
#include "platform/win_com.h"
#include "winui/gdi.h"

using REFERENCE_TIME = int64_t;  // 100 ns units
using LONGLONG = int64_t;
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

struct IAMCopyCaptureFileProgress;

struct IVXCaptureGraphBuilder2 : IUnknown {
  static constexpr GUID kIID{0x93E5A4E0, 0x2D50, 0x11D2, {0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D}};
  using TVXBase = IUnknown;
  virtual HRESULT SetFiltergraph(IVXGraphBuilder* pfg) = 0;
  virtual HRESULT GetFiltergraph(IVXGraphBuilder** ppfg) = 0;
  virtual HRESULT SetOutputFileName(const GUID* pType, LPCWSTR lpstrFile, IVXBaseFilter** ppf,
                                    struct IVXFileSinkFilter** ppSink) = 0;
  virtual HRESULT FindInterface(const GUID* pCategory, const GUID* pType, IVXBaseFilter* pf, REFIID riid,
                                void** ppint) = 0;
  virtual HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource, IVXBaseFilter* pfCompressor,
                               IVXBaseFilter* pfRenderer) = 0;
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

// ---- formats ----
struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate = 0;
  DWORD dwBitErrorRate = 0;
  REFERENCE_TIME AvgTimePerFrame = 0;
  BITMAPINFOHEADER bmiHeader;
};

struct VIDEO_STREAM_CONFIG_CAPS {
  GUID guid;
  ULONG VideoStandard = 0;
  SIZE InputSize, MinCroppingSize, MaxCroppingSize;
  int CropGranularityX = 0, CropGranularityY = 0, CropAlignX = 0, CropAlignY = 0;
  SIZE MinOutputSize, MaxOutputSize;
  int OutputGranularityX = 0, OutputGranularityY = 0;
  int StretchTapsX = 0, StretchTapsY = 0, ShrinkTapsX = 0, ShrinkTapsY = 0;
  LONGLONG MinFrameInterval = 0, MaxFrameInterval = 0;
  LONG MinBitsPerSecond = 0, MaxBitsPerSecond = 0;
};

constexpr GUID FORMAT_VideoInfo{0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID MEDIASUBTYPE_RGB24{0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIATYPE_Stream{0xE436EB83, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIATYPE_AnalogVideo{0x0482DDE1, 0x7817, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};
constexpr GUID MEDIATYPE_AnalogAudio{0x0482DEE1, 0x7817, 0x11CF, {0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB, 0x65}};

// Frees the format block and the reference of a media type's fields; the
// structure itself stays.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Frees the fields and the structure (task memory).
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
// A deep copy of Source into Target (whose fields are overwritten).
HRESULT CopyMediaType(AM_MEDIA_TYPE* Target, const AM_MEDIA_TYPE* Source);
// A copy in task memory (DeleteMediaType frees it); null when out of memory.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* Source);

// ---- result codes ----
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = HRESULT(0x00040237);
constexpr HRESULT VFW_S_CANT_CUE = HRESULT(0x00040268);
constexpr HRESULT VFW_E_NOT_CONNECTED = HRESULT(0x80040209u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = HRESULT(0x80040204u);
constexpr HRESULT VFW_E_CANNOT_CONNECT = HRESULT(0x80040217u);
constexpr HRESULT VFW_E_CANNOT_RENDER = HRESULT(0x80040218u);
constexpr HRESULT VFW_E_NOT_FOUND = HRESULT(0x80040216u);
constexpr HRESULT VFW_E_NOT_STOPPED = HRESULT(0x80040224u);
constexpr HRESULT VFW_E_WRONG_STATE = HRESULT(0x80040227u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = HRESULT(0x8004022Au);
constexpr HRESULT VFW_E_NO_INTERFACE = HRESULT(0x80040256u);
constexpr HRESULT VFW_E_DUPLICATE_NAME = HRESULT(0x8004025Cu);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = HRESULT(0x80040240u);
constexpr HRESULT VFW_E_TIME_EXPIRED = HRESULT(0x8004026Bu);
// The device is in use by another program (ERROR_BUSY_DRIVE... the 1450 of
// the platform's "insufficient system resources").
constexpr HRESULT VXDS_E_DEVICE_BUSY = HRESULT(0x800705AAu);

// ---- media events ----
constexpr int32_t EC_COMPLETE = 0x01;
constexpr int32_t EC_USERABORT = 0x02;
constexpr int32_t EC_ERRORABORT = 0x03;
constexpr int32_t EC_STEP_COMPLETE = 0x24;
constexpr int32_t EC_DEVICE_LOST = 0x1F;

// ---- seeking ----
constexpr DWORD AM_SEEKING_NoPositioning = 0;
constexpr DWORD AM_SEEKING_AbsolutePositioning = 1;
constexpr DWORD AM_SEEKING_RelativePositioning = 2;
constexpr DWORD AM_SEEKING_PositioningBitsMask = 3;
constexpr DWORD AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr DWORD AM_SEEKING_CanSeekForwards = 0x2;
constexpr DWORD AM_SEEKING_CanSeekBackwards = 0x4;
constexpr DWORD AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr DWORD AM_SEEKING_CanGetStopPos = 0x10;
constexpr DWORD AM_SEEKING_CanGetDuration = 0x20;

struct IVXMediaSample : IUnknown {
  static constexpr GUID kIID{0x56A8689A, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  using TVXBase = IUnknown;
  virtual HRESULT GetPointer(BYTE** ppBuffer) = 0;
  virtual LONG GetSize() = 0;
  virtual HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
  virtual HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
  virtual HRESULT IsSyncPoint() = 0;
  virtual HRESULT SetSyncPoint(BOOL bIsSyncPoint) = 0;
  virtual HRESULT IsPreroll() = 0;
  virtual HRESULT SetPreroll(BOOL bIsPreroll) = 0;
  virtual LONG GetActualDataLength() = 0;
  virtual HRESULT SetActualDataLength(LONG length) = 0;
  virtual HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) = 0;
  virtual HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) = 0;
  virtual HRESULT IsDiscontinuity() = 0;
  virtual HRESULT SetDiscontinuity(BOOL bDiscontinuity) = 0;
  virtual HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
  virtual HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
};

struct IVXSampleGrabberCB : IUnknown {
  static constexpr GUID kIID{0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};
  using TVXBase = IUnknown;
  virtual HRESULT SampleCB(double SampleTime, IVXMediaSample* pSample) = 0;
  virtual HRESULT BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) = 0;
};

struct IVXSampleGrabber : IUnknown {
  static constexpr GUID kIID{0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
  using TVXBase = IUnknown;
  virtual HRESULT SetOneShot(BOOL OneShot) = 0;
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* pType) = 0;
  virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pType) = 0;
  virtual HRESULT SetBufferSamples(BOOL BufferThem) = 0;
  virtual HRESULT GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) = 0;
  virtual HRESULT GetCurrentSample(IVXMediaSample** ppSample) = 0;
  virtual HRESULT SetCallback(IVXSampleGrabberCB* pCallback, LONG WhichMethodToCallback) = 0;
};

struct IVXAMStreamConfig : IUnknown {
  static constexpr GUID kIID{0xC6E13340, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
  using TVXBase = IUnknown;
  virtual HRESULT SetFormat(AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT GetFormat(AM_MEDIA_TYPE** ppmt) = 0;
  virtual HRESULT GetNumberOfCapabilities(int* piCount, int* piSize) = 0;
  virtual HRESULT GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) = 0;
};

struct IVXAMVideoCompression : IUnknown {
  static constexpr GUID kIID{0xC6E13343, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
  using TVXBase = IUnknown;
  virtual HRESULT put_KeyFrameRate(LONG KeyFrameRate) = 0;
  virtual HRESULT get_KeyFrameRate(LONG* pKeyFrameRate) = 0;
  virtual HRESULT put_PFramesPerKeyFrame(LONG PFramesPerKeyFrame) = 0;
  virtual HRESULT get_PFramesPerKeyFrame(LONG* pPFramesPerKeyFrame) = 0;
  virtual HRESULT put_Quality(double Quality) = 0;
  virtual HRESULT get_Quality(double* pQuality) = 0;
  virtual HRESULT put_WindowSize(uint64_t WindowSize) = 0;
  virtual HRESULT get_WindowSize(uint64_t* pWindowSize) = 0;
  virtual HRESULT GetInfo(LPWSTR pszVersion, int* pcbVersion, LPWSTR pszDescription, int* pcbDescription,
                          LONG* pDefaultKeyFrameRate, LONG* pDefaultPFramesPerKey, double* pDefaultQuality,
                          LONG* pCapabilities) = 0;
  virtual HRESULT OverrideKeyFrame(LONG FrameNumber) = 0;
  virtual HRESULT OverrideFrameSize(LONG FrameNumber, LONG Size) = 0;
};

// Physical connector types of crossbar pins.
constexpr LONG PhysConn_Video_Tuner = 1;
constexpr LONG PhysConn_Video_Composite = 2;
constexpr LONG PhysConn_Video_SVideo = 3;
constexpr LONG PhysConn_Video_VideoDecoder = 0x0C;
constexpr LONG PhysConn_Audio_Tuner = 0x1000;
constexpr LONG PhysConn_Audio_Line = 0x1001;
constexpr LONG PhysConn_Audio_AudioDecoder = 0x1009;

struct IVXAMCrossbar : IUnknown {
  static constexpr GUID kIID{0xC6E13380, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
  using TVXBase = IUnknown;
  virtual HRESULT get_PinCounts(LONG* OutputPinCount, LONG* InputPinCount) = 0;
  virtual HRESULT CanRoute(LONG OutputPinIndex, LONG InputPinIndex) = 0;
  virtual HRESULT Route(LONG OutputPinIndex, LONG InputPinIndex) = 0;
  virtual HRESULT get_IsRoutedTo(LONG OutputPinIndex, LONG* InputPinIndex) = 0;
  virtual HRESULT get_CrossbarPinInfo(BOOL IsInputPin, LONG PinIndex, LONG* PinIndexRelated, LONG* PhysicalType) = 0;
};

struct IAMTunerNotification;
enum AMTunerModeType { AMTUNER_MODE_DEFAULT = 0, AMTUNER_MODE_TV = 1 };
enum TunerInputType { TunerInputCable = 0, TunerInputAntenna = 1 };
constexpr LONG AMTUNER_SUBCHAN_DEFAULT = -1;

struct IVXAMTuner : IUnknown {
  static constexpr GUID kIID{0x211A8761, 0x03AC, 0x11D1, {0x8D, 0x13, 0x00, 0xAA, 0x00, 0xBD, 0x83, 0x39}};
  using TVXBase = IUnknown;
  virtual HRESULT put_Channel(LONG lChannel, LONG lVideoSubChannel, LONG lAudioSubChannel) = 0;
  virtual HRESULT get_Channel(LONG* plChannel, LONG* plVideoSubChannel, LONG* plAudioSubChannel) = 0;
  virtual HRESULT ChannelMinMax(LONG* lChannelMin, LONG* lChannelMax) = 0;
  virtual HRESULT put_CountryCode(LONG lCountryCode) = 0;
  virtual HRESULT get_CountryCode(LONG* plCountryCode) = 0;
  virtual HRESULT put_TuningSpace(LONG lTuningSpace) = 0;
  virtual HRESULT get_TuningSpace(LONG* plTuningSpace) = 0;
  virtual HRESULT Logon(HANDLE hCurrentUser) = 0;
  virtual HRESULT Logout() = 0;
  virtual HRESULT SignalPresent(LONG* plSignalStrength) = 0;
  virtual HRESULT put_Mode(AMTunerModeType lMode) = 0;
  virtual HRESULT get_Mode(AMTunerModeType* plMode) = 0;
  virtual HRESULT GetAvailableModes(LONG* plModes) = 0;
  virtual HRESULT RegisterNotificationCallBack(IAMTunerNotification* pNotify, LONG lEvents) = 0;
  virtual HRESULT UnRegisterNotificationCallBack(IAMTunerNotification* pNotify) = 0;
};

struct IVXAMTVTuner : IVXAMTuner {
  static constexpr GUID kIID{0x211A8766, 0x03AC, 0x11D1, {0x8D, 0x13, 0x00, 0xAA, 0x00, 0xBD, 0x83, 0x39}};
  using TVXBase = IVXAMTuner;
  virtual HRESULT get_AvailableTVFormats(LONG* lAnalogVideoStandard) = 0;
  virtual HRESULT get_TVFormat(LONG* plAnalogVideoStandard) = 0;
  virtual HRESULT AutoTune(LONG lChannel, LONG* plFoundSignal) = 0;
  virtual HRESULT StoreAutoTune() = 0;
  virtual HRESULT get_NumInputConnections(LONG* plNumInputConnections) = 0;
  virtual HRESULT put_InputType(LONG lIndex, TunerInputType InputType) = 0;
  virtual HRESULT get_InputType(LONG lIndex, TunerInputType* pInputType) = 0;
  virtual HRESULT put_ConnectInput(LONG lIndex) = 0;
  virtual HRESULT get_ConnectInput(LONG* plIndex) = 0;
  virtual HRESULT get_VideoFrequency(LONG* lFreq) = 0;
  virtual HRESULT get_AudioFrequency(LONG* lFreq) = 0;
};

struct IVXAMAnalogVideoDecoder : IUnknown {
  static constexpr GUID kIID{0xC6E13350, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
  using TVXBase = IUnknown;
  virtual HRESULT get_AvailableTVFormats(LONG* lAnalogVideoStandard) = 0;
  virtual HRESULT put_TVFormat(LONG lAnalogVideoStandard) = 0;
  virtual HRESULT get_TVFormat(LONG* plAnalogVideoStandard) = 0;
  virtual HRESULT get_HorizontalLocked(LONG* plLocked) = 0;
  virtual HRESULT put_VCRHorizontalLocking(LONG lVCRHorizontalLocking) = 0;
  virtual HRESULT get_VCRHorizontalLocking(LONG* plVCRHorizontalLocking) = 0;
  virtual HRESULT get_NumberOfLines(LONG* plNumberOfLines) = 0;
  virtual HRESULT put_OutputEnable(LONG lOutputEnable) = 0;
  virtual HRESULT get_OutputEnable(LONG* plOutputEnable) = 0;
};

struct IVXAMClockSlave : IUnknown {
  static constexpr GUID kIID{0x9FD52741, 0x176D, 0x4B36, {0x8F, 0x51, 0xCA, 0x8F, 0x93, 0x32, 0x23, 0xBE}};
  using TVXBase = IUnknown;
  virtual HRESULT SetErrorTolerance(DWORD dwTolerance) = 0;
  virtual HRESULT GetErrorTolerance(DWORD* pdwTolerance) = 0;
};

struct IVXVideoFrameStep : IUnknown {
  static constexpr GUID kIID{0xE46A9787, 0x2B71, 0x444D, {0xA4, 0xB5, 0x1F, 0xAB, 0x7B, 0x70, 0x8D, 0x6A}};
  using TVXBase = IUnknown;
  virtual HRESULT Step(DWORD dwFrames, IUnknown* pStepObject) = 0;
  virtual HRESULT CanStep(LONG bMultiple, IUnknown* pStepObject) = 0;
  virtual HRESULT CancelStep() = 0;
};

struct IVXVMRWindowlessControl : IUnknown {
  static constexpr GUID kIID{0x0EB1088C, 0x4DCD, 0x46F0, {0x87, 0x8F, 0x39, 0xDA, 0xE8, 0x6A, 0x51, 0xB7}};
  using TVXBase = IUnknown;
  virtual HRESULT GetNativeVideoSize(LONG* lpWidth, LONG* lpHeight, LONG* lpARWidth, LONG* lpARHeight) = 0;
  virtual HRESULT GetMinIdealVideoSize(LONG* lpWidth, LONG* lpHeight) = 0;
  virtual HRESULT GetMaxIdealVideoSize(LONG* lpWidth, LONG* lpHeight) = 0;
  virtual HRESULT SetVideoPosition(const RECT* lpSRCRect, const RECT* lpDSTRect) = 0;
  virtual HRESULT GetVideoPosition(RECT* lpSRCRect, RECT* lpDSTRect) = 0;
  virtual HRESULT GetAspectRatioMode(DWORD* lpAspectRatioMode) = 0;
  virtual HRESULT SetAspectRatioMode(DWORD AspectRatioMode) = 0;
  virtual HRESULT SetVideoClippingWindow(HWND hwnd) = 0;
  virtual HRESULT RepaintVideo(HWND hwnd, HDC hdc) = 0;
  virtual HRESULT DisplayModeChanged() = 0;
  virtual HRESULT GetCurrentImage(BYTE** lpDib) = 0;
  virtual HRESULT SetBorderColor(COLORREF Clr) = 0;
  virtual HRESULT GetBorderColor(COLORREF* lpClr) = 0;
  virtual HRESULT SetColorKey(COLORREF Clr) = 0;
  virtual HRESULT GetColorKey(COLORREF* lpClr) = 0;
};

struct IVMRImageCompositor;
constexpr DWORD VMRMode_Windowless = 2;

struct IVXVMRFilterConfig : IUnknown {
  static constexpr GUID kIID{0x9E5530C5, 0x7034, 0x48B4, {0xBB, 0x46, 0x0B, 0x8A, 0x6E, 0xFC, 0x8E, 0x36}};
  using TVXBase = IUnknown;
  virtual HRESULT SetImageCompositor(IVMRImageCompositor* lpVMRImgCompositor) = 0;
  virtual HRESULT SetNumberOfStreams(DWORD dwMaxStreams) = 0;
  virtual HRESULT GetNumberOfStreams(DWORD* pdwMaxStreams) = 0;
  virtual HRESULT SetRenderingPrefs(DWORD dwRenderFlags) = 0;
  virtual HRESULT GetRenderingPrefs(DWORD* pdwRenderFlags) = 0;
  virtual HRESULT SetRenderingMode(DWORD Mode) = 0;
  virtual HRESULT GetRenderingMode(DWORD* pMode) = 0;
};

constexpr DWORD AM_RENDEREX_RENDERTOEXISTINGRENDERERS = 1;

struct IVXFilterGraph2 : IVXGraphBuilder {
  static constexpr GUID kIID{0x36B73882, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
  using TVXBase = IVXGraphBuilder;
  virtual HRESULT AddSourceFilterForMoniker(IMoniker* pMoniker, IBindCtx* pCtx, LPCWSTR lpcwstrFilterName,
                                            IVXBaseFilter** ppFilter) = 0;
  virtual HRESULT ReconnectEx(IVXPin* ppin, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT RenderEx(IVXPin* pPinOut, DWORD dwFlags, DWORD* pvContext) = 0;
};

struct CAUUID {
  ULONG cElems = 0;
  GUID* pElems = nullptr;  // task memory
};

struct ISpecifyPropertyPages : IUnknown {
  static constexpr GUID kIID{0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
  using TVXBase = IUnknown;
  virtual HRESULT GetPages(CAUUID* pPages) = 0;
};

struct IDMOWrapperFilter : IUnknown {
  static constexpr GUID kIID{0x52D6F586, 0x9F0F, 0x4824, {0x8F, 0xC8, 0xE3, 0x2C, 0xA0, 0x49, 0x30, 0xC2}};
  using TVXBase = IUnknown;
  virtual HRESULT Init(REFCLSID clsidDMO, REFCLSID catDMO) = 0;
};

// The platform's modal property frame over the objects' pages. Headless,
// nothing is shown and the answer is the one scripted with
// VXSetPropertyFrameAnswer (S_OK at start).
HRESULT OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCWSTR lpszCaption, ULONG cObjects, IUnknown** ppUnk,
                               ULONG cPages, const GUID* pPageClsID, uint32_t lcid, DWORD dwReserved, void* pvReserved);
void VXSetPropertyFrameAnswer(HRESULT Answer);
// How often the frame was asked for, and the last owner and page count.
int VXPropertyFrameCalls(HWND* LastOwner = nullptr, ULONG* LastPages = nullptr);

// ---- DVD navigator ----
struct DVD_HMSF_TIMECODE {
  BYTE bHours = 0;
  BYTE bMinutes = 0;
  BYTE bSeconds = 0;
  BYTE bFrames = 0;
};
struct DVD_PLAYBACK_LOCATION2 {
  ULONG TitleNum = 0;
  ULONG ChapterNum = 0;
  DVD_HMSF_TIMECODE TimeCode;
  ULONG TimeCodeFlags = 0;
};
enum DVD_DISC_SIDE { DVD_SIDE_A = 1, DVD_SIDE_B = 2 };
enum DVD_MENU_ID {
  DVD_MENU_Title = 2,
  DVD_MENU_Root = 3,
  DVD_MENU_Subpicture = 4,
  DVD_MENU_Audio = 5,
  DVD_MENU_Angle = 6,
  DVD_MENU_Chapter = 7
};
constexpr DWORD DVD_CMD_FLAG_None = 0;

struct IVXDvdCmd : IUnknown {
  static constexpr GUID kIID{0x5A4A97E4, 0x94EE, 0x4A55, {0x97, 0x51, 0x74, 0xB5, 0x64, 0x3A, 0xA2, 0x7D}};
  using TVXBase = IUnknown;
  virtual HRESULT WaitForStart() = 0;
  virtual HRESULT WaitForEnd() = 0;
};
struct IVXDvdState;
// Records of the navigator that the library never asks for.
struct DVD_AudioAttributes;
struct DVD_MenuAttributes;
struct DVD_TitleAttributes;
struct DVD_VideoAttributes;
struct DVD_KaraokeAttributes;
struct DVD_SubpictureAttributes;
struct DVD_DECODER_CAPS;

struct IVXDvdControl2 : IUnknown {
  static constexpr GUID kIID{0x33BC7430, 0xEEC0, 0x11D2, {0x82, 0x01, 0x00, 0xA0, 0xC9, 0xD7, 0x48, 0x42}};
  using TVXBase = IUnknown;
  virtual HRESULT PlayTitle(ULONG ulTitle, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayChapterInTitle(ULONG ulTitle, ULONG ulChapter, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayAtTimeInTitle(ULONG ulTitle, DVD_HMSF_TIMECODE* pStartTime, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT ReturnFromSubmenu(DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayAtTime(DVD_HMSF_TIMECODE* pTime, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayChapter(ULONG ulChapter, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayPrevChapter(DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT ReplayChapter(DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayNextChapter(DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayForwards(double dSpeed, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayBackwards(double dSpeed, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT ShowMenu(DVD_MENU_ID MenuID, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT Resume(DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT SelectRelativeButton(int buttonDir) = 0;
  virtual HRESULT ActivateButton() = 0;
  virtual HRESULT SelectButton(ULONG ulButton) = 0;
  virtual HRESULT SelectAndActivateButton(ULONG ulButton) = 0;
  virtual HRESULT StillOff() = 0;
  virtual HRESULT Pause(BOOL bState) = 0;
  virtual HRESULT SelectAudioStream(ULONG ulAudio, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT SelectSubpictureStream(ULONG ulSubPicture, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT SetSubpictureState(BOOL bState, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT SelectAngle(ULONG ulAngle, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT SelectParentalLevel(ULONG ulParentalLevel) = 0;
  virtual HRESULT SelectParentalCountry(BYTE bCountry[2]) = 0;
  virtual HRESULT SelectKaraokeAudioPresentationMode(ULONG ulMode) = 0;
  virtual HRESULT SelectVideoModePreference(ULONG ulPreferredDisplayMode) = 0;
  virtual HRESULT SetDVDDirectory(LPCWSTR pszwPath) = 0;
  virtual HRESULT ActivateAtPosition(POINT point) = 0;
  virtual HRESULT SelectAtPosition(POINT point) = 0;
  virtual HRESULT PlayChaptersAutoStop(ULONG ulTitle, ULONG ulChapter, ULONG ulChaptersToPlay, DWORD dwFlags,
                                       IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT AcceptParentalLevelChange(BOOL bAccept) = 0;
  virtual HRESULT SetOption(int flag, BOOL fState) = 0;
  virtual HRESULT SetState(IVXDvdState* pState, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT PlayPeriodInTitleAutoStop(ULONG ulTitle, DVD_HMSF_TIMECODE* pStartTime, DVD_HMSF_TIMECODE* pEndTime,
                                            DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT SetGPRM(ULONG ulIndex, uint16_t wValue, DWORD dwFlags, IVXDvdCmd** ppCmd) = 0;
  virtual HRESULT SelectDefaultMenuLanguage(uint32_t Language) = 0;
  virtual HRESULT SelectDefaultAudioLanguage(uint32_t Language, int audioExtension) = 0;
  virtual HRESULT SelectDefaultSubpictureLanguage(uint32_t Language, int subpictureExtension) = 0;
};

struct IVXDvdInfo2 : IUnknown {
  static constexpr GUID kIID{0x34151510, 0xEEC0, 0x11D2, {0x82, 0x01, 0x00, 0xA0, 0xC9, 0xD7, 0x48, 0x42}};
  using TVXBase = IUnknown;
  virtual HRESULT GetCurrentDomain(int* pDomain) = 0;
  virtual HRESULT GetCurrentLocation(DVD_PLAYBACK_LOCATION2* pLocation) = 0;
  virtual HRESULT GetTotalTitleTime(DVD_HMSF_TIMECODE* pTotalTime, ULONG* ulTimeCodeFlags) = 0;
  virtual HRESULT GetCurrentButton(ULONG* pulButtonsAvailable, ULONG* pulCurrentButton) = 0;
  virtual HRESULT GetCurrentAngle(ULONG* pulAnglesAvailable, ULONG* pulCurrentAngle) = 0;
  virtual HRESULT GetCurrentAudio(ULONG* pulStreamsAvailable, ULONG* pulCurrentStream) = 0;
  virtual HRESULT GetCurrentSubpicture(ULONG* pulStreamsAvailable, ULONG* pulCurrentStream, BOOL* pbIsDisabled) = 0;
  virtual HRESULT GetCurrentUOPS(ULONG* pulUOPs) = 0;
  virtual HRESULT GetAllSPRMs(uint16_t* pRegisterArray) = 0;
  virtual HRESULT GetAllGPRMs(uint16_t* pRegisterArray) = 0;
  virtual HRESULT GetAudioLanguage(ULONG ulStream, uint32_t* pLanguage) = 0;
  virtual HRESULT GetSubpictureLanguage(ULONG ulStream, uint32_t* pLanguage) = 0;
  virtual HRESULT GetTitleAttributes(ULONG ulTitle, DVD_MenuAttributes* pMenu, DVD_TitleAttributes* pTitle) = 0;
  virtual HRESULT GetVMGAttributes(DVD_MenuAttributes* pATR) = 0;
  virtual HRESULT GetCurrentVideoAttributes(DVD_VideoAttributes* pATR) = 0;
  virtual HRESULT GetAudioAttributes(ULONG ulStream, DVD_AudioAttributes* pATR) = 0;
  virtual HRESULT GetKaraokeAttributes(ULONG ulStream, DVD_KaraokeAttributes* pAttributes) = 0;
  virtual HRESULT GetSubpictureAttributes(ULONG ulStream, DVD_SubpictureAttributes* pATR) = 0;
  virtual HRESULT GetDVDVolumeInfo(ULONG* pulNumOfVolumes, ULONG* pulVolume, DVD_DISC_SIDE* pSide,
                                   ULONG* pulNumOfTitles) = 0;
  virtual HRESULT GetDVDTextNumberOfLanguages(ULONG* pulNumOfLangs) = 0;
  virtual HRESULT GetDVDTextLanguageInfo(ULONG ulLangIndex, ULONG* pulNumOfStrings, uint32_t* pLangCode,
                                         int* pbCharacterSet) = 0;
  virtual HRESULT GetDVDTextStringAsNative(ULONG ulLangIndex, ULONG ulStringIndex, BYTE* pbBuffer,
                                           ULONG ulMaxBufferSize, ULONG* pulActualSize, int* pType) = 0;
  virtual HRESULT GetDVDTextStringAsUnicode(ULONG ulLangIndex, ULONG ulStringIndex, LPWSTR pchwBuffer,
                                            ULONG ulMaxBufferSize, ULONG* pulActualSize, int* pType) = 0;
  virtual HRESULT GetDVDTextStringType(ULONG ulLangIndex, ULONG ulStringIndex, int* pType) = 0;
  virtual HRESULT GetPlayerParentalLevel(ULONG* pulParentalLevel, BYTE pbCountryCode[2]) = 0;
  virtual HRESULT GetNumberOfChapters(ULONG ulTitle, ULONG* pulNumOfChapters) = 0;
  virtual HRESULT GetTitleParentalLevels(ULONG ulTitle, ULONG* pulParentalLevels) = 0;
  virtual HRESULT GetDVDDirectory(LPWSTR pszwPath, ULONG cbMaxSize, ULONG* pcbActualSize) = 0;
  virtual HRESULT IsAudioStreamEnabled(ULONG ulStreamNum, BOOL* pbEnabled) = 0;
  virtual HRESULT GetDiscID(LPCWSTR pszwPath, uint64_t* pullDiscID) = 0;
  virtual HRESULT GetState(IVXDvdState** pStateData) = 0;
  virtual HRESULT GetMenuLanguages(uint32_t* pLanguages, ULONG ulMaxLanguages, ULONG* pulActualLanguages) = 0;
  virtual HRESULT GetButtonAtPosition(POINT point, ULONG* pulButtonIndex) = 0;
  virtual HRESULT GetCmdFromEvent(LONG_PTR lParam1, IVXDvdCmd** pCmdObj) = 0;
  virtual HRESULT GetDefaultMenuLanguage(uint32_t* pLanguage) = 0;
  virtual HRESULT GetDefaultAudioLanguage(uint32_t* pLanguage, int* pAudioExtension) = 0;
  virtual HRESULT GetDefaultSubpictureLanguage(uint32_t* pLanguage, int* pSubpictureExtension) = 0;
  virtual HRESULT GetDecoderCaps(DVD_DECODER_CAPS* pCaps) = 0;
  virtual HRESULT GetButtonRect(ULONG ulButton, RECT* pRect) = 0;
  virtual HRESULT IsSubpictureStreamEnabled(ULONG ulStreamNum, BOOL* pbEnabled) = 0;
};

struct IVXFileSinkFilter : IUnknown {
  static constexpr GUID kIID{0xA2104830, 0x7C70, 0x11CF, {0x8B, 0xCE, 0x00, 0xAA, 0x00, 0xA3, 0xF1, 0xA6}};
  using TVXBase = IUnknown;
  virtual HRESULT SetFileName(LPCWSTR pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT GetCurFile(LPWSTR* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;
};

// Filters the graph layer creates itself.
constexpr GUID CLSID_AviDest{0xE2510970, 0xF137, 0x11CE, {0x8B, 0x67, 0x00, 0xAA, 0x00, 0xA3, 0xF1, 0xA6}};
constexpr GUID CLSID_VideoRenderer{0x70E102B0, 0x5556, 0x11CE, {0x97, 0xC0, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID CLSID_DSoundRender{0x79376820, 0x07D0, 0x11CF, {0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};
constexpr GUID CLSID_AsyncReader{0xE436EBB5, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
