// The platform's Media Foundation as the video units call it: the interfaces
// under the library's own names (each the published interface of the same
// IID and method order), the attribute and type identifiers, result codes,
// and the signatures of the functions bound by name from "Mfplat.dll",
// "Mf.dll" and "Mfreadwrite.dll".
#pragma once

#include <cstdint>

#include "platform/win_com.h"
#include "winui/win_types.h"

using LONGLONG = int64_t;
using QWORD = uint64_t;
using MFTIME = int64_t;
using ULONG_PTR = uintptr_t;
using MediaEventType = DWORD;

// ---- result codes ----
constexpr HRESULT MF_E_BUFFERTOOSMALL = HRESULT(0xC00D36B1u);
constexpr HRESULT MF_E_INVALIDREQUEST = HRESULT(0xC00D36B2u);
constexpr HRESULT MF_E_INVALIDSTREAMNUMBER = HRESULT(0xC00D36B3u);
constexpr HRESULT MF_E_INVALIDMEDIATYPE = HRESULT(0xC00D36B4u);
constexpr HRESULT MF_E_NOTACCEPTING = HRESULT(0xC00D36B5u);
constexpr HRESULT MF_E_NOT_INITIALIZED = HRESULT(0xC00D36B6u);
constexpr HRESULT MF_E_NO_MORE_TYPES = HRESULT(0xC00D36B9u);
constexpr HRESULT MF_E_INVALIDTYPE = HRESULT(0xC00D36BDu);
constexpr HRESULT MF_E_INVALIDINDEX = HRESULT(0xC00D36BFu);
constexpr HRESULT MF_E_BAD_STARTUP_VERSION = HRESULT(0xC00D36E3u);
constexpr HRESULT MF_E_ATTRIBUTENOTFOUND = HRESULT(0xC00D36E6u);
constexpr HRESULT MF_E_SHUTDOWN = HRESULT(0xC00D3E85u);
constexpr HRESULT MF_E_TRANSFORM_TYPE_NOT_SET = HRESULT(0xC00D6D60u);
constexpr HRESULT MF_E_TRANSFORM_NEED_MORE_INPUT = HRESULT(0xC00D6D72u);

constexpr ULONG MF_VERSION = 0x20070;
constexpr DWORD MFSTARTUP_FULL = 0;

// ---- attribute kinds (MF_ATTRIBUTE_TYPE) ----
enum MF_ATTRIBUTE_TYPE : uint32_t {
  MF_ATTRIBUTE_UINT32 = VT_UI4,
  MF_ATTRIBUTE_UINT64 = VT_UI8,
  MF_ATTRIBUTE_DOUBLE = VT_R8,
  MF_ATTRIBUTE_GUID = VT_CLSID,
  MF_ATTRIBUTE_STRING = VT_LPWSTR,
  MF_ATTRIBUTE_BLOB = VT_VECTOR | VT_UI1,
  MF_ATTRIBUTE_IUNKNOWN = 13
};
enum MF_ATTRIBUTES_MATCH_TYPE : uint32_t {
  MF_ATTRIBUTES_MATCH_OUR_ITEMS = 0,
  MF_ATTRIBUTES_MATCH_THEIR_ITEMS = 1,
  MF_ATTRIBUTES_MATCH_ALL_ITEMS = 2,
  MF_ATTRIBUTES_MATCH_INTERSECTION = 3,
  MF_ATTRIBUTES_MATCH_SMALLER = 4
};

// IsEqual flags of media types.
constexpr DWORD MF_MEDIATYPE_EQUAL_MAJOR_TYPES = 0x1;
constexpr DWORD MF_MEDIATYPE_EQUAL_FORMAT_TYPES = 0x2;
constexpr DWORD MF_MEDIATYPE_EQUAL_FORMAT_DATA = 0x4;
constexpr DWORD MF_MEDIATYPE_EQUAL_FORMAT_USER_DATA = 0x8;

// ---- interfaces ----
struct VX_IMFAttributes : IUnknown {
  static constexpr GUID kIID{0x2CD2D921, 0xC447, 0x44A7, {0xA1, 0x3C, 0x4A, 0xDA, 0xBF, 0xC2, 0x47, 0xE3}};
  using TVXBase = IUnknown;
  virtual HRESULT GetItem(REFGUID guidKey, PROPVARIANT* pValue) = 0;
  virtual HRESULT GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE* pType) = 0;
  virtual HRESULT CompareItem(REFGUID guidKey, REFPROPVARIANT Value, BOOL* pbResult) = 0;
  virtual HRESULT Compare(VX_IMFAttributes* pTheirs, MF_ATTRIBUTES_MATCH_TYPE MatchType, BOOL* pbResult) = 0;
  virtual HRESULT GetUINT32(REFGUID guidKey, UINT* punValue) = 0;
  virtual HRESULT GetUINT64(REFGUID guidKey, uint64_t* punValue) = 0;
  virtual HRESULT GetDouble(REFGUID guidKey, double* pfValue) = 0;
  virtual HRESULT GetGUID(REFGUID guidKey, GUID* pguidValue) = 0;
  virtual HRESULT GetStringLength(REFGUID guidKey, UINT* pcchLength) = 0;
  virtual HRESULT GetString(REFGUID guidKey, LPWSTR pwszValue, UINT cchBufSize, UINT* pcchLength) = 0;
  virtual HRESULT GetAllocatedString(REFGUID guidKey, LPWSTR* ppwszValue, UINT* pcchLength) = 0;
  virtual HRESULT GetBlobSize(REFGUID guidKey, UINT* pcbBlobSize) = 0;
  virtual HRESULT GetBlob(REFGUID guidKey, BYTE* pBuf, UINT cbBufSize, UINT* pcbBlobSize) = 0;
  virtual HRESULT GetAllocatedBlob(REFGUID guidKey, BYTE** ppBuf, UINT* pcbSize) = 0;
  virtual HRESULT GetUnknown(REFGUID guidKey, REFIID riid, void** ppv) = 0;
  virtual HRESULT SetItem(REFGUID guidKey, REFPROPVARIANT Value) = 0;
  virtual HRESULT DeleteItem(REFGUID guidKey) = 0;
  virtual HRESULT DeleteAllItems() = 0;
  virtual HRESULT SetUINT32(REFGUID guidKey, UINT unValue) = 0;
  virtual HRESULT SetUINT64(REFGUID guidKey, uint64_t unValue) = 0;
  virtual HRESULT SetDouble(REFGUID guidKey, double fValue) = 0;
  virtual HRESULT SetGUID(REFGUID guidKey, REFGUID guidValue) = 0;
  virtual HRESULT SetString(REFGUID guidKey, LPCWSTR wszValue) = 0;
  virtual HRESULT SetBlob(REFGUID guidKey, const BYTE* pBuf, UINT cbBufSize) = 0;
  virtual HRESULT SetUnknown(REFGUID guidKey, IUnknown* pUnknown) = 0;
  virtual HRESULT LockStore() = 0;
  virtual HRESULT UnlockStore() = 0;
  virtual HRESULT GetCount(UINT* pcItems) = 0;
  virtual HRESULT GetItemByIndex(UINT unIndex, GUID* pguidKey, PROPVARIANT* pValue) = 0;
  virtual HRESULT CopyAllItems(VX_IMFAttributes* pDest) = 0;
};

struct VX_IMFMediaType : VX_IMFAttributes {
  static constexpr GUID kIID{0x44AE0FA8, 0xEA31, 0x4109, {0x8D, 0x2E, 0x4C, 0xAE, 0x49, 0x97, 0xC5, 0x55}};
  using TVXBase = VX_IMFAttributes;
  virtual HRESULT GetMajorType(GUID* pguidMajorType) = 0;
  virtual HRESULT IsCompressedFormat(BOOL* pfCompressed) = 0;
  virtual HRESULT IsEqual(VX_IMFMediaType* pIMediaType, DWORD* pdwFlags) = 0;
  virtual HRESULT GetRepresentation(GUID guidRepresentation, void** ppvRepresentation) = 0;
  virtual HRESULT FreeRepresentation(GUID guidRepresentation, void* pvRepresentation) = 0;
};

struct VX_IMFActivate : VX_IMFAttributes {
  static constexpr GUID kIID{0x7FEE9E9A, 0x4A89, 0x47A6, {0x89, 0x9C, 0xB6, 0xA5, 0x3A, 0x70, 0xFB, 0x67}};
  using TVXBase = VX_IMFAttributes;
  virtual HRESULT ActivateObject(REFIID riid, void** ppv) = 0;
  virtual HRESULT ShutdownObject() = 0;
  virtual HRESULT DetachObject() = 0;
};

struct VX_IMFMediaBuffer : IUnknown {
  static constexpr GUID kIID{0x045FA593, 0x8799, 0x42B8, {0xBC, 0x8D, 0x89, 0x68, 0xC6, 0x45, 0x35, 0x07}};
  using TVXBase = IUnknown;
  virtual HRESULT Lock(BYTE** ppbBuffer, DWORD* pcbMaxLength, DWORD* pcbCurrentLength) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetCurrentLength(DWORD* pcbCurrentLength) = 0;
  virtual HRESULT SetCurrentLength(DWORD cbCurrentLength) = 0;
  virtual HRESULT GetMaxLength(DWORD* pcbMaxLength) = 0;
};

struct VX_IMFSample : VX_IMFAttributes {
  static constexpr GUID kIID{0xC40A00F2, 0xB93A, 0x4D80, {0xAE, 0x8C, 0x5A, 0x1C, 0x63, 0x4F, 0x58, 0xE4}};
  using TVXBase = VX_IMFAttributes;
  virtual HRESULT GetSampleFlags(DWORD* pdwSampleFlags) = 0;
  virtual HRESULT SetSampleFlags(DWORD dwSampleFlags) = 0;
  virtual HRESULT GetSampleTime(LONGLONG* phnsSampleTime) = 0;
  virtual HRESULT SetSampleTime(LONGLONG hnsSampleTime) = 0;
  virtual HRESULT GetSampleDuration(LONGLONG* phnsSampleDuration) = 0;
  virtual HRESULT SetSampleDuration(LONGLONG hnsSampleDuration) = 0;
  virtual HRESULT GetBufferCount(DWORD* pdwBufferCount) = 0;
  virtual HRESULT GetBufferByIndex(DWORD dwIndex, VX_IMFMediaBuffer** ppBuffer) = 0;
  virtual HRESULT ConvertToContiguousBuffer(VX_IMFMediaBuffer** ppBuffer) = 0;
  virtual HRESULT AddBuffer(VX_IMFMediaBuffer* pBuffer) = 0;
  virtual HRESULT RemoveBufferByIndex(DWORD dwIndex) = 0;
  virtual HRESULT RemoveAllBuffers() = 0;
  virtual HRESULT GetTotalLength(DWORD* pcbTotalLength) = 0;
  virtual HRESULT CopyToBuffer(VX_IMFMediaBuffer* pBuffer) = 0;
};

struct VX_IMFMediaEvent : VX_IMFAttributes {
  static constexpr GUID kIID{0xDF598932, 0xF10C, 0x4E39, {0xBB, 0xA2, 0xC3, 0x08, 0xF1, 0x01, 0xDA, 0xA3}};
  using TVXBase = VX_IMFAttributes;
  virtual HRESULT GetType(MediaEventType* pmet) = 0;
  virtual HRESULT GetExtendedType(GUID* pguidExtendedType) = 0;
  virtual HRESULT GetStatus(HRESULT* phrStatus) = 0;
  virtual HRESULT GetValue(PROPVARIANT* pvValue) = 0;
};

struct VX_IMFSourceReaderCallback : IUnknown {
  static constexpr GUID kIID{0xDEEC8D99, 0xFA1D, 0x4D82, {0x84, 0xC2, 0x2C, 0x89, 0x69, 0x94, 0x48, 0x67}};
  using TVXBase = IUnknown;
  virtual HRESULT OnReadSample(HRESULT hrStatus, DWORD dwStreamIndex, DWORD dwStreamFlags, LONGLONG llTimestamp,
                               VX_IMFSample* pSample) = 0;
  virtual HRESULT OnFlush(DWORD dwStreamIndex) = 0;
  virtual HRESULT OnEvent(DWORD dwStreamIndex, VX_IMFMediaEvent* pEvent) = 0;
};

struct VX_IMFAsyncCallback;
struct VX_IMFAsyncResult;
struct VX_IMFPresentationDescriptor;

struct VX_IMFMediaEventGenerator : IUnknown {
  static constexpr GUID kIID{0x2CD0BD52, 0xBCD5, 0x4B89, {0xB6, 0x2C, 0xEA, 0xDC, 0x0C, 0x03, 0x1E, 0x7D}};
  using TVXBase = IUnknown;
  virtual HRESULT GetEvent(DWORD dwFlags, VX_IMFMediaEvent** ppEvent) = 0;
  virtual HRESULT BeginGetEvent(VX_IMFAsyncCallback* pCallback, IUnknown* punkState) = 0;
  virtual HRESULT EndGetEvent(VX_IMFAsyncResult* pResult, VX_IMFMediaEvent** ppEvent) = 0;
  virtual HRESULT QueueEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                             const PROPVARIANT* pvValue) = 0;
};

struct VX_IMFMediaSource : VX_IMFMediaEventGenerator {
  static constexpr GUID kIID{0x279A808D, 0xAEC7, 0x40C8, {0x9C, 0x6B, 0xA6, 0xB4, 0x92, 0xC7, 0x8A, 0x66}};
  using TVXBase = VX_IMFMediaEventGenerator;
  virtual HRESULT GetCharacteristics(DWORD* pdwCharacteristics) = 0;
  virtual HRESULT CreatePresentationDescriptor(VX_IMFPresentationDescriptor** ppPresentationDescriptor) = 0;
  virtual HRESULT Start(VX_IMFPresentationDescriptor* pPresentationDescriptor, const GUID* pguidTimeFormat,
                        const PROPVARIANT* pvarStartPosition) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Shutdown() = 0;
};

struct VX_IMFSourceReader : IUnknown {
  static constexpr GUID kIID{0x70AE66F2, 0xC809, 0x4E4F, {0x89, 0x15, 0xBD, 0xCB, 0x40, 0x6B, 0x79, 0x93}};
  using TVXBase = IUnknown;
  virtual HRESULT GetStreamSelection(DWORD dwStreamIndex, BOOL* pfSelected) = 0;
  virtual HRESULT SetStreamSelection(DWORD dwStreamIndex, BOOL fSelected) = 0;
  virtual HRESULT GetNativeMediaType(DWORD dwStreamIndex, DWORD dwMediaTypeIndex, VX_IMFMediaType** ppMediaType) = 0;
  virtual HRESULT GetCurrentMediaType(DWORD dwStreamIndex, VX_IMFMediaType** ppMediaType) = 0;
  virtual HRESULT SetCurrentMediaType(DWORD dwStreamIndex, DWORD* pdwReserved, VX_IMFMediaType* pMediaType) = 0;
  virtual HRESULT SetCurrentPosition(REFGUID guidTimeFormat, REFPROPVARIANT varPosition) = 0;
  virtual HRESULT ReadSample(DWORD dwStreamIndex, DWORD dwControlFlags, DWORD* pdwActualStreamIndex,
                             DWORD* pdwStreamFlags, LONGLONG* pllTimestamp, VX_IMFSample** ppSample) = 0;
  virtual HRESULT Flush(DWORD dwStreamIndex) = 0;
  virtual HRESULT GetServiceForStream(DWORD dwStreamIndex, REFGUID guidService, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT GetPresentationAttribute(DWORD dwStreamIndex, REFGUID guidAttribute, PROPVARIANT* pvarAttribute) = 0;
};

struct VX_IMFCollection : IUnknown {
  static constexpr GUID kIID{0x5BC8A76B, 0x869A, 0x46A3, {0x9B, 0x03, 0xFA, 0x21, 0x8A, 0x66, 0xAE, 0xBE}};
  using TVXBase = IUnknown;
  virtual HRESULT GetElementCount(DWORD* pcElements) = 0;
  virtual HRESULT GetElement(DWORD dwElementIndex, IUnknown** ppUnkElement) = 0;
  virtual HRESULT AddElement(IUnknown* pUnkElement) = 0;
  virtual HRESULT RemoveElement(DWORD dwElementIndex, IUnknown** ppUnkElement) = 0;
  virtual HRESULT InsertElementAt(DWORD dwIndex, IUnknown* pUnknown) = 0;
  virtual HRESULT RemoveAllElements() = 0;
};

// Byte streams (MFCreateFile).
struct VX_IMFByteStream : IUnknown {
  static constexpr GUID kIID{0xAD4C1B00, 0x4BF7, 0x422F, {0x91, 0x75, 0x75, 0x66, 0x93, 0xD9, 0x13, 0x0D}};
  using TVXBase = IUnknown;
  virtual HRESULT GetCapabilities(DWORD* pdwCapabilities) = 0;
  virtual HRESULT GetLength(QWORD* pqwLength) = 0;
  virtual HRESULT SetLength(QWORD qwLength) = 0;
  virtual HRESULT GetCurrentPosition(QWORD* pqwPosition) = 0;
  virtual HRESULT SetCurrentPosition(QWORD qwPosition) = 0;
  virtual HRESULT IsEndOfStream(BOOL* pfEndOfStream) = 0;
  virtual HRESULT Read(BYTE* pb, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT BeginRead(BYTE* pb, ULONG cb, VX_IMFAsyncCallback* pCallback, IUnknown* punkState) = 0;
  virtual HRESULT EndRead(VX_IMFAsyncResult* pResult, ULONG* pcbRead) = 0;
  virtual HRESULT Write(const BYTE* pb, ULONG cb, ULONG* pcbWritten) = 0;
  virtual HRESULT BeginWrite(const BYTE* pb, ULONG cb, VX_IMFAsyncCallback* pCallback, IUnknown* punkState) = 0;
  virtual HRESULT EndWrite(VX_IMFAsyncResult* pResult, ULONG* pcbWritten) = 0;
  virtual HRESULT Seek(DWORD SeekOrigin, LONGLONG llSeekOffset, DWORD dwSeekFlags, QWORD* pqwCurrentPosition) = 0;
  virtual HRESULT Flush() = 0;
  virtual HRESULT Close() = 0;
};
constexpr DWORD MFBYTESTREAM_IS_READABLE = 0x1;
constexpr DWORD MFBYTESTREAM_IS_WRITABLE = 0x2;
constexpr DWORD MFBYTESTREAM_IS_SEEKABLE = 0x4;
constexpr DWORD msoBegin = 0;
constexpr DWORD msoCurrent = 1;

enum MF_FILE_ACCESSMODE : uint32_t { MF_ACCESSMODE_READ = 1, MF_ACCESSMODE_WRITE = 2, MF_ACCESSMODE_READWRITE = 3 };
enum MF_FILE_OPENMODE : uint32_t {
  MF_OPENMODE_FAIL_IF_NOT_EXIST = 0,
  MF_OPENMODE_FAIL_IF_EXIST = 1,
  MF_OPENMODE_RESET_IF_EXIST = 2,
  MF_OPENMODE_APPEND_IF_EXIST = 3,
  MF_OPENMODE_DELETE_IF_EXIST = 4
};
enum MF_FILE_FLAGS : uint32_t { MF_FILEFLAGS_NONE = 0 };

// ---- transforms ----
struct MFT_INPUT_STREAM_INFO {
  LONGLONG hnsMaxLatency = 0;
  DWORD dwFlags = 0;
  DWORD cbSize = 0;
  DWORD cbMaxLookahead = 0;
  DWORD cbAlignment = 0;
};
struct MFT_OUTPUT_STREAM_INFO {
  DWORD dwFlags = 0;
  DWORD cbSize = 0;
  DWORD cbAlignment = 0;
};
struct MFT_OUTPUT_DATA_BUFFER {
  DWORD dwStreamID = 0;
  VX_IMFSample* pSample = nullptr;
  DWORD dwStatus = 0;
  VX_IMFCollection* pEvents = nullptr;
};
using MFT_MESSAGE_TYPE = DWORD;
constexpr MFT_MESSAGE_TYPE MFT_MESSAGE_COMMAND_FLUSH = 0;
constexpr MFT_MESSAGE_TYPE MFT_MESSAGE_COMMAND_DRAIN = 1;
constexpr MFT_MESSAGE_TYPE MFT_MESSAGE_NOTIFY_BEGIN_STREAMING = 0x10000000;
constexpr MFT_MESSAGE_TYPE MFT_MESSAGE_NOTIFY_END_STREAMING = 0x10000001;
constexpr MFT_MESSAGE_TYPE MFT_MESSAGE_NOTIFY_END_OF_STREAM = 0x10000002;
constexpr MFT_MESSAGE_TYPE MFT_MESSAGE_NOTIFY_START_OF_STREAM = 0x10000003;
constexpr DWORD MFT_INPUT_STATUS_ACCEPT_DATA = 0x1;
constexpr DWORD MFT_OUTPUT_STATUS_SAMPLE_READY = 0x1;

struct VX_IMFTransform : IUnknown {
  static constexpr GUID kIID{0xBF94C121, 0x5B05, 0x4E6F, {0x80, 0x00, 0xBA, 0x59, 0x89, 0x61, 0x41, 0x4D}};
  using TVXBase = IUnknown;
  virtual HRESULT GetStreamLimits(DWORD* pdwInputMinimum, DWORD* pdwInputMaximum, DWORD* pdwOutputMinimum,
                                  DWORD* pdwOutputMaximum) = 0;
  virtual HRESULT GetStreamCount(DWORD* pcInputStreams, DWORD* pcOutputStreams) = 0;
  virtual HRESULT GetStreamIDs(DWORD dwInputIDArraySize, DWORD* pdwInputIDs, DWORD dwOutputIDArraySize,
                               DWORD* pdwOutputIDs) = 0;
  virtual HRESULT GetInputStreamInfo(DWORD dwInputStreamID, MFT_INPUT_STREAM_INFO* pStreamInfo) = 0;
  virtual HRESULT GetOutputStreamInfo(DWORD dwOutputStreamID, MFT_OUTPUT_STREAM_INFO* pStreamInfo) = 0;
  virtual HRESULT GetAttributes(VX_IMFAttributes** pAttributes) = 0;
  virtual HRESULT GetInputStreamAttributes(DWORD dwInputStreamID, VX_IMFAttributes** pAttributes) = 0;
  virtual HRESULT GetOutputStreamAttributes(DWORD dwOutputStreamID, VX_IMFAttributes** pAttributes) = 0;
  virtual HRESULT DeleteInputStream(DWORD dwStreamID) = 0;
  virtual HRESULT AddInputStreams(DWORD cStreams, DWORD* adwStreamIDs) = 0;
  virtual HRESULT GetInputAvailableType(DWORD dwInputStreamID, DWORD dwTypeIndex, VX_IMFMediaType** ppType) = 0;
  virtual HRESULT GetOutputAvailableType(DWORD dwOutputStreamID, DWORD dwTypeIndex, VX_IMFMediaType** ppType) = 0;
  virtual HRESULT SetInputType(DWORD dwInputStreamID, VX_IMFMediaType* pType, DWORD dwFlags) = 0;
  virtual HRESULT SetOutputType(DWORD dwOutputStreamID, VX_IMFMediaType* pType, DWORD dwFlags) = 0;
  virtual HRESULT GetInputCurrentType(DWORD dwInputStreamID, VX_IMFMediaType** ppType) = 0;
  virtual HRESULT GetOutputCurrentType(DWORD dwOutputStreamID, VX_IMFMediaType** ppType) = 0;
  virtual HRESULT GetInputStatus(DWORD dwInputStreamID, DWORD* pdwFlags) = 0;
  virtual HRESULT GetOutputStatus(DWORD* pdwFlags) = 0;
  virtual HRESULT SetOutputBounds(LONGLONG hnsLowerBound, LONGLONG hnsUpperBound) = 0;
  virtual HRESULT ProcessEvent(DWORD dwInputStreamID, VX_IMFMediaEvent* pEvent) = 0;
  virtual HRESULT ProcessMessage(MFT_MESSAGE_TYPE eMessage, ULONG_PTR ulParam) = 0;
  virtual HRESULT ProcessInput(DWORD dwInputStreamID, VX_IMFSample* pSample, DWORD dwFlags) = 0;
  virtual HRESULT ProcessOutput(DWORD dwFlags, DWORD cOutputBufferCount, MFT_OUTPUT_DATA_BUFFER* pOutputSamples,
                                DWORD* pdwStatus) = 0;
};

struct MFARGB {
  BYTE rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbAlpha = 0;
};
using MF_VIDEO_PROCESSOR_MIRROR = uint32_t;  // 0 none, 1 horizontal, 2 vertical
using MF_VIDEO_PROCESSOR_ROTATION = uint32_t;  // 0 none, 1 normal

struct VX_IMFVideoProcessorControl : IUnknown {
  static constexpr GUID kIID{0xA3F675D5, 0x6119, 0x4F7F, {0xA1, 0x00, 0x1D, 0x8B, 0x28, 0x0F, 0x0E, 0xFB}};
  using TVXBase = IUnknown;
  virtual HRESULT SetBorderColor(MFARGB* pBorderColor) = 0;
  virtual HRESULT SetSourceRectangle(RECT* pSrcRect) = 0;
  virtual HRESULT SetDestinationRectangle(RECT* pDstRect) = 0;
  virtual HRESULT SetMirror(MF_VIDEO_PROCESSOR_MIRROR eMirror) = 0;
  virtual HRESULT SetRotation(MF_VIDEO_PROCESSOR_ROTATION eRotation) = 0;
  virtual HRESULT SetConstrictionSize(SIZE* pConstrictionSize) = 0;
};

// ---- identifiers ----
// Major types.
constexpr GUID MFMediaType_Default{0x81A412E6, 0x8103, 0x4B06, {0x85, 0x7C, 0x18, 0x62, 0x78, 0x10, 0x24, 0xAC}};
constexpr GUID MFMediaType_Audio{0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID MFMediaType_Video{0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID MFMediaType_Protected{0x7B4B6FE6, 0x9D04, 0x4494, {0xBE, 0x14, 0x7E, 0x0B, 0xD0, 0x76, 0xC8, 0xE4}};
constexpr GUID MFMediaType_SAMI{0xE69669A0, 0x3DCD, 0x40CB, {0x9E, 0x2E, 0x37, 0x08, 0x38, 0x7C, 0x06, 0x16}};
constexpr GUID MFMediaType_Script{0x72178C22, 0xE45B, 0x11D5, {0xBC, 0x2A, 0x00, 0xB0, 0xD0, 0xF3, 0xF4, 0xAB}};
constexpr GUID MFMediaType_Image{0x72178C23, 0xE45B, 0x11D5, {0xBC, 0x2A, 0x00, 0xB0, 0xD0, 0xF3, 0xF4, 0xAB}};
constexpr GUID MFMediaType_HTML{0x72178C24, 0xE45B, 0x11D5, {0xBC, 0x2A, 0x00, 0xB0, 0xD0, 0xF3, 0xF4, 0xAB}};
constexpr GUID MFMediaType_Binary{0x72178C25, 0xE45B, 0x11D5, {0xBC, 0x2A, 0x00, 0xB0, 0xD0, 0xF3, 0xF4, 0xAB}};
constexpr GUID MFMediaType_FileTransfer{0x72178C26, 0xE45B, 0x11D5, {0xBC, 0x2A, 0x00, 0xB0, 0xD0, 0xF3, 0xF4, 0xAB}};

// Subtypes: a 32-bit code followed by this fixed tail.
constexpr GUID VXMFSubTypeOf(uint32_t Code) {
  return GUID{Code, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr uint32_t VXMFFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
constexpr GUID MFVideoFormat_RGB24 = VXMFSubTypeOf(20);
constexpr GUID MFVideoFormat_ARGB32 = VXMFSubTypeOf(21);
constexpr GUID MFVideoFormat_RGB32 = VXMFSubTypeOf(22);
constexpr GUID MFVideoFormat_YUY2 = VXMFSubTypeOf(VXMFFourCC('Y', 'U', 'Y', '2'));
constexpr GUID MFVideoFormat_I420 = VXMFSubTypeOf(VXMFFourCC('I', '4', '2', '0'));
constexpr GUID MFVideoFormat_NV12 = VXMFSubTypeOf(VXMFFourCC('N', 'V', '1', '2'));
constexpr GUID MFVideoFormat_MJPG = VXMFSubTypeOf(VXMFFourCC('M', 'J', 'P', 'G'));
constexpr GUID MFAudioFormat_PCM = VXMFSubTypeOf(1);

// Media type attributes.
constexpr GUID MF_MT_MAJOR_TYPE{0x48EBA18E, 0xF8C9, 0x4687, {0xBF, 0x11, 0x0A, 0x74, 0xC9, 0xF9, 0x6A, 0x8F}};
constexpr GUID MF_MT_SUBTYPE{0xF7E34C9A, 0x42E8, 0x4714, {0xB7, 0x4B, 0xCB, 0x29, 0xD7, 0x2C, 0x35, 0xE5}};
constexpr GUID MF_MT_COMPRESSED{0x3AFD0CEE, 0x18F2, 0x4BA5, {0xA1, 0x10, 0x8B, 0xEA, 0x50, 0x2E, 0x1F, 0x92}};
constexpr GUID MF_MT_AVG_BITRATE{0x20332624, 0xFB0D, 0x4D9E, {0xBD, 0x0D, 0xCB, 0xF6, 0x78, 0x6C, 0x10, 0x2E}};
constexpr GUID MF_MT_DEFAULT_STRIDE{0x644B4E48, 0x1E02, 0x4516, {0xB0, 0xEB, 0xC0, 0x1C, 0xA9, 0xD4, 0x9A, 0xC6}};
constexpr GUID MF_MT_FRAME_RATE{0xC459A2E8, 0x3D2C, 0x4E44, {0xB1, 0x32, 0xFE, 0xE5, 0x15, 0x6C, 0x7B, 0xB0}};
constexpr GUID MF_MT_FRAME_RATE_RANGE_MAX{0xE3371D41, 0xB4CF, 0x4A05, {0xBD, 0x4E, 0x20, 0xB8, 0x8B, 0xB2, 0xC4, 0xD6}};
constexpr GUID MF_MT_FRAME_RATE_RANGE_MIN{0xD2E7558C, 0xDC1F, 0x403F, {0x9A, 0x72, 0xD2, 0x8B, 0xB2, 0xEC, 0xB3, 0x5E}};
constexpr GUID MF_MT_FRAME_SIZE{0x1652C33D, 0xD6B2, 0x4012, {0xB8, 0x34, 0x72, 0x03, 0x08, 0x49, 0xA3, 0x7D}};
constexpr GUID MF_MT_INTERLACE_MODE{0xE2724BB8, 0xE676, 0x4806, {0xB4, 0xB2, 0xA8, 0xD6, 0xEF, 0xB4, 0x4C, 0xCD}};
constexpr GUID MF_MT_VIDEO_LIGHTING{0x53A0529C, 0x890B, 0x4216, {0x8B, 0xF9, 0x59, 0x93, 0x67, 0xAD, 0x6D, 0x20}};
constexpr GUID MF_MT_AUDIO_BITS_PER_SAMPLE{0xF2DEB57F, 0x40FA, 0x4764, {0xAA, 0x33, 0xED, 0x4F, 0x2D, 0x1F, 0xF6, 0x69}};
constexpr GUID MF_MT_AUDIO_FLOAT_SAMPLES_PER_SECOND{
    0xFB3B724A, 0xCFB5, 0x4319, {0xAE, 0xFE, 0x6E, 0x42, 0xB2, 0x40, 0x61, 0x32}};
constexpr GUID MF_MT_AUDIO_NUM_CHANNELS{0x37E48BF5, 0x645E, 0x4C5B, {0x89, 0xDE, 0xAD, 0xA9, 0xE2, 0x9B, 0x69, 0x6A}};
constexpr GUID MF_MT_AUDIO_SAMPLES_PER_SECOND{
    0x5FAEEAE7, 0x0290, 0x4C31, {0x9E, 0x8A, 0xC5, 0x34, 0xF6, 0x8D, 0x9D, 0xBA}};
constexpr GUID MF_MT_AUDIO_BLOCK_ALIGNMENT{0x322DE230, 0x9EEB, 0x43BD, {0xAB, 0x7A, 0xFF, 0x41, 0x22, 0x51, 0x54, 0x1D}};
constexpr GUID MF_MT_ALL_SAMPLES_INDEPENDENT{
    0xC9173739, 0x5E56, 0x461C, {0xB7, 0x13, 0x46, 0xFB, 0x99, 0x5C, 0xB9, 0x5F}};
constexpr GUID MF_MT_AUDIO_PREFER_WAVEFORMATEX{
    0xA901AABA, 0xE037, 0x458A, {0xBD, 0xF6, 0x54, 0x5B, 0xE2, 0x07, 0x40, 0x42}};
constexpr GUID MF_MT_AUDIO_AVG_BYTES_PER_SECOND{
    0x1AAB75C8, 0xCFEF, 0x451C, {0xAB, 0x95, 0xAC, 0x03, 0x4B, 0x8E, 0x17, 0x31}};
constexpr GUID MF_MT_VIDEO_ROTATION{0xC380465D, 0x2271, 0x428C, {0x9B, 0x83, 0xEC, 0xEA, 0x3B, 0x4A, 0x85, 0xC1}};

// ---- the source reader ----
constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr GUID MF_SOURCE_READER_ASYNC_CALLBACK{
    0x1E3DBEAC, 0xBB43, 0x4C35, {0xB5, 0x07, 0xCD, 0x64, 0x44, 0x64, 0xC9, 0x65}};
constexpr GUID MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING{
    0xFB394F3D, 0xCCF1, 0x42EE, {0xBB, 0xB3, 0xF9, 0xB8, 0x45, 0xD5, 0x68, 0x1D}};
constexpr GUID MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS{
    0xA634A91C, 0x822B, 0x41B9, {0xA4, 0x94, 0x4D, 0xE4, 0x64, 0x36, 0x12, 0xB0}};
constexpr GUID MF_PD_DURATION{0x6C990D33, 0xBB8E, 0x477A, {0x85, 0x98, 0x0D, 0x5D, 0x96, 0xFC, 0xD8, 0x8A}};
constexpr DWORD MF_SOURCE_READER_MEDIASOURCE = 0xFFFFFFFF;
constexpr DWORD MF_SOURCE_READER_ANY_STREAM = 0xFFFFFFFE;
constexpr DWORD MF_SOURCE_READER_FIRST_AUDIO_STREAM = 0xFFFFFFFD;
constexpr DWORD MF_SOURCE_READER_FIRST_VIDEO_STREAM = 0xFFFFFFFC;
constexpr DWORD MF_SOURCE_READERF_ERROR = 1;
constexpr DWORD MF_SOURCE_READERF_ENDOFSTREAM = 2;

// Device sources.
constexpr GUID MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE{
    0xC60AC5FE, 0x252A, 0x478F, {0xA0, 0xEF, 0xBC, 0x8F, 0xA5, 0xF7, 0xCA, 0xD3}};
constexpr GUID MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID{
    0x8AC3587A, 0x4AE7, 0x42D8, {0x99, 0xE0, 0x0A, 0x60, 0x13, 0xEE, 0xF9, 0x0F}};
constexpr GUID MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME{
    0x60D0E559, 0x52F8, 0x4FA2, {0xBB, 0xCE, 0xAC, 0xDB, 0x34, 0xA8, 0xEC, 0x01}};

// The video processor transform.
constexpr GUID CLSID_VideoProcessorMFT{0x88753B26, 0x5B24, 0x49BD, {0xB2, 0xE7, 0x0C, 0x44, 0x5C, 0x78, 0xC9, 0x82}};

// ---- bound functions ----
using TVXMFStartup = HRESULT (*)(ULONG Version, DWORD dwFlags);
using TVXMFShutdown = HRESULT (*)();
using TVXMFCreateAttributes = HRESULT (*)(VX_IMFAttributes** ppMFAttributes, UINT cInitialSize);
using TVXMFCreateMediaType = HRESULT (*)(VX_IMFMediaType** ppMFType);
using TVXMFGetStrideForBitmapInfoHeader = HRESULT (*)(DWORD format, DWORD dwWidth, LONG* pStride);
using TVXMFCreateFile = HRESULT (*)(MF_FILE_ACCESSMODE AccessMode, MF_FILE_OPENMODE OpenMode, MF_FILE_FLAGS fFlags,
                                    LPCWSTR pwszFileURL, VX_IMFByteStream** ppIByteStream);
using TVXMFGetSystemTime = MFTIME (*)();
using TVXMFCreateSample = HRESULT (*)(VX_IMFSample** ppIMFSample);
using TVXMFCreateMemoryBuffer = HRESULT (*)(DWORD cbMaxLength, VX_IMFMediaBuffer** ppBuffer);
using TVXMFEnumDeviceSources = HRESULT (*)(VX_IMFAttributes* pAttributes, VX_IMFActivate*** pppSourceActivate,
                                           UINT* pcSourceActivate);
using TVXMFCreateSourceReaderFromMediaSource = HRESULT (*)(VX_IMFMediaSource* pMediaSource,
                                                           VX_IMFAttributes* pAttributes,
                                                           VX_IMFSourceReader** ppSourceReader);
using TVXMFCreateSourceReaderFromByteStream = HRESULT (*)(VX_IMFByteStream* pByteStream,
                                                          VX_IMFAttributes* pAttributes,
                                                          VX_IMFSourceReader** ppSourceReader);
using TVXMFCreateSourceReaderFromURL = HRESULT (*)(LPCWSTR pwszURL, VX_IMFAttributes* pAttributes,
                                                   VX_IMFSourceReader** ppSourceReader);
