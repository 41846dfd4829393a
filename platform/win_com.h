// The platform's component object model as the library's device, imaging and
// video units call it: result codes and their message texts, interface
// identity (IUnknown with QueryInterface), the per-thread start-up counts of
// CoInitializeEx and OleInitialize, CoCreateInstance over a class registry
// that the library's modules fill at start-up, task memory, a PROPVARIANT
// subset, and IStream over memory and over files.
//
// Interfaces are abstract structs. Each one names its identifier (kIID) and
// the interface it extends (TVXBase), so that TVXComObject<I> answers
// QueryInterface for I, every interface I extends and IUnknown. An object
// that implements several unrelated interfaces answers them itself.
//
// Text arguments are UTF-8 (`char*`) where the platform takes wide strings,
// as in the window layer's types (winui/win_types.h).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win_guid.h"

using HRESULT = int32_t;
using UINT = uint32_t;
using INT = int32_t;
using BYTE = uint8_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using BOOL = int;
using LPCWSTR = const char*;  // UTF-8 here
using LPWSTR = char*;
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const GUID&;
using REFIID = const GUID&;

// ---- result codes ----
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_ABORT = HRESULT(0x80004004u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = HRESULT(0x80070005u);
constexpr HRESULT E_HANDLE = HRESULT(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
constexpr HRESULT RPC_E_CHANGED_MODE = HRESULT(0x80010106u);
constexpr HRESULT CO_E_NOTINITIALIZED = HRESULT(0x800401F0u);
constexpr HRESULT STG_E_INVALIDFUNCTION = HRESULT(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = HRESULT(0x80030002u);
constexpr HRESULT STG_E_ACCESSDENIED = HRESULT(0x80030005u);
constexpr HRESULT STG_E_INVALIDPOINTER = HRESULT(0x80030009u);
constexpr HRESULT STG_E_MEDIUMFULL = HRESULT(0x80030070u);
constexpr HRESULT STG_E_INVALIDPARAMETER = HRESULT(0x80030057u);
constexpr HRESULT STG_E_READFAULT = HRESULT(0x8003001Eu);
constexpr HRESULT STG_E_WRITEFAULT = HRESULT(0x8003001Du);

// Win32 error codes that the library's units turn into results.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_NOT_FOUND = 1168;
constexpr HRESULT HRESULT_FROM_WIN32(DWORD Code) {
  return HRESULT(Code) <= 0 ? HRESULT(Code) : HRESULT((Code & 0xFFFFu) | 0x80070000u);
}

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }
inline bool IsEqualGUID(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// The system's message text for a result code or a Win32 error code, with
// the trailing period and line end removed ("Class not registered"); empty
// for a code the system has no text for.
std::string SysErrorMessage(HRESULT Code);

// "{0C15D503-D017-47CE-9016-7B3F978721CC}": upper-case hexadecimal in braces.
std::string VXGUIDToString(const GUID& G);
// Reads that form (either case; the braces are required); false, and G
// unchanged, for any other text.
bool VXStringToGUID(const std::string& S, GUID& G);
// The platform's forms: the text into a buffer of cchMax characters (39 with
// the terminating zero; 0 when it does not fit), and back (E_INVALIDARG, or
// CO_E_CLASSSTRING for text that is not a GUID).
int StringFromGUID2(REFGUID rguid, LPWSTR lpsz, int cchMax);
constexpr HRESULT CO_E_CLASSSTRING = HRESULT(0x800401F3u);
HRESULT CLSIDFromString(LPCWSTR lpsz, CLSID* pclsid);

// ---- task memory ----
void* CoTaskMemAlloc(size_t cb);
void* CoTaskMemRealloc(void* pv, size_t cb);
void CoTaskMemFree(void* pv);
// A copy of the text in task memory (freed with CoTaskMemFree).
LPWSTR VXCoTaskStrDup(const std::string& S);
// The text of a zero-terminated string (empty for null).
inline std::string VXStr(LPCWSTR S) { return S ? std::string(S) : std::string(); }

// ---- interfaces ----
struct IUnknown {
  static constexpr GUID kIID{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};
constexpr GUID IID_IUnknown = IUnknown::kIID;

// True when an object implementing I answers riid: I, what I extends, IUnknown.
template <class I>
bool VXInterfaceAnswers(REFIID riid) {
  if (IsEqualGUID(riid, I::kIID)) return true;
  if constexpr (requires { typename I::TVXBase; }) return VXInterfaceAnswers<typename I::TVXBase>(riid);
  else return false;
}

// The reference count and QueryInterface of an implementation: derive from
// TVXComObject<I>.
template <class I>
class TVXComObject : public I {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    if (!VXInterfaceAnswers<I>(riid)) {
      *ppvObject = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *ppvObject = static_cast<I*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return ++fRefs; }
  ULONG Release() override {
    const ULONG left = --fRefs;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> fRefs{1};
};

// Holds one reference and gives it back when it goes.
template <class I>
class TVXComPtr {
 public:
  TVXComPtr() = default;
  // Takes over the reference of P.
  explicit TVXComPtr(I* P) : fPtr(P) {}
  ~TVXComPtr() { Reset(); }
  TVXComPtr(const TVXComPtr&) = delete;
  TVXComPtr& operator=(const TVXComPtr&) = delete;
  I* Get() const { return fPtr; }
  I* operator->() const { return fPtr; }
  explicit operator bool() const { return fPtr != nullptr; }
  // For out arguments: releases what is held first.
  I** operator&() {
    Reset();
    return &fPtr;
  }
  void Reset() {
    if (fPtr) fPtr->Release();
    fPtr = nullptr;
  }
  // Gives the reference up to the caller.
  I* Detach() {
    I* p = fPtr;
    fPtr = nullptr;
    return p;
  }
  // Asks the held object for interface Q.
  template <class Q>
  HRESULT As(TVXComPtr<Q>& Out) const {
    if (!fPtr) return E_POINTER;
    return fPtr->QueryInterface(Q::kIID, reinterpret_cast<void**>(&Out));
  }

 private:
  I* fPtr = nullptr;
};

// ---- COM run time ----
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

// Per thread: the first call answers S_OK and fixes the thread's apartment
// kind, each further call of the same kind S_FALSE, a call of the other kind
// RPC_E_CHANGED_MODE (not counted). Every successful call (S_OK or S_FALSE)
// is balanced by one CoUninitialize; the last one ends the thread's COM.
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(void* pvReserved);
void CoUninitialize();
// COM in a single-threaded apartment plus the OLE count of the thread:
// answers as CoInitializeEx (COINIT_APARTMENTTHREADED); OleUninitialize
// balances one successful OleInitialize and its CoInitializeEx.
HRESULT OleInitialize(void* pvReserved);
void OleUninitialize();
// The calling thread's counts (for the library's checks and tests).
int VXComInitCount();
int VXOleInitCount();

// A class of the registry: creates a new object (or hands out a shared one
// with one more reference) as interface riid.
using TVXClassCreator = HRESULT (*)(REFIID riid, void** ppv);
// Registers a class for the contexts given (CLSCTX_ bits); a second
// registration of the same class replaces the first.
void VXRegisterComClass(REFCLSID rclsid, TVXClassCreator Creator, DWORD Contexts);
void VXUnregisterComClass(REFCLSID rclsid);
bool VXIsComClassRegistered(REFCLSID rclsid);
// E_POINTER without ppv; CLASS_E_NOAGGREGATION with an outer object;
// REGDB_E_CLASSNOTREG for a class that is not registered, or not for any of
// the contexts asked for; otherwise the creator's answer (E_NOINTERFACE when
// the object does not answer riid).
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv);
// The running object of a class: the library keeps none, so the answer is
// always MK_E_UNAVAILABLE.
constexpr HRESULT MK_E_UNAVAILABLE = HRESULT(0x800401E3u);
HRESULT GetActiveObject(REFCLSID rclsid, void* pvReserved, IUnknown** ppunk);

// ---- property values ----
enum VARENUM : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_LPWSTR = 31,
  VT_CLSID = 72,
  VT_VECTOR = 0x1000
};
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;
using DATE = double;  // OLE automation date: days since 1899-12-30

struct CAUB {
  ULONG cElems;
  uint8_t* pElems;
};
struct CAUI {
  ULONG cElems;
  uint16_t* pElems;
};
struct CAL {
  ULONG cElems;
  int32_t* pElems;
};
struct CACLSID {
  ULONG cElems;
  GUID* pElems;
};
struct TVXPropRaw {
  uint64_t Lo, Hi;
};

// The value kinds VT_I2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_R8, VT_BOOL,
// VT_DATE, VT_LPWSTR, VT_CLSID, VT_ERROR and vectors of VT_UI1, VT_UI2, VT_I4
// and VT_CLSID (with VT_R4, VT_UI1 and VT_UI2 for the imaging component's
// options). Strings, GUIDs and vectors live in task memory: PropVariantClear
// frees them, PropVariantCopy copies them. A plain assignment copies only
// the pointers, as on the platform.
struct PROPVARIANT {
  VARTYPE vt = VT_EMPTY;
  uint16_t wReserved1 = 0, wReserved2 = 0, wReserved3 = 0;
  union {
    TVXPropRaw vxRaw = {0, 0};
    int16_t iVal;
    float fltVal;
    double dblVal;
    DATE date;
    VARIANT_BOOL boolVal;
    uint8_t bVal;
    uint16_t uiVal;
    uint32_t ulVal;
    int32_t lVal;
    int64_t hVal;
    uint64_t uhVal;
    HRESULT scode;
    LPWSTR pwszVal;
    GUID* puuid;
    CAUB caub;
    CAUI caui;
    CAL cal;
    CACLSID cauuid;
  };
};
using VARIANT = PROPVARIANT;
using REFPROPVARIANT = const PROPVARIANT&;
inline void PropVariantInit(PROPVARIANT* p) { *p = PROPVARIANT{}; }
// Frees what the value holds and leaves it VT_EMPTY; DISP_E_BADVARTYPE (and
// the value untouched) for a kind outside the subset.
constexpr HRESULT DISP_E_BADVARTYPE = HRESULT(0x80020008u);
HRESULT PropVariantClear(PROPVARIANT* p);
// A deep copy into pDst (which is overwritten, not cleared).
HRESULT PropVariantCopy(PROPVARIANT* pDst, const PROPVARIANT* pSrc);
// Builders: a text as VT_LPWSTR, a GUID as VT_CLSID (both in task memory).
HRESULT InitPropVariantFromString(LPCWSTR psz, PROPVARIANT* ppropvar);
HRESULT InitPropVariantFromCLSID(REFCLSID clsid, PROPVARIANT* ppropvar);

// ---- streams ----
enum STREAM_SEEK { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
constexpr DWORD STGC_DEFAULT = 0;
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STGM_READ = 0x0;
constexpr DWORD STGM_WRITE = 0x1;
constexpr DWORD STGM_READWRITE = 0x2;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x40;
constexpr DWORD STGM_CREATE = 0x1000;
constexpr DWORD STGM_FAILIFTHERE = 0x0;

// 100-nanosecond intervals since 1601-01-01 UTC.
struct TVXFileTime {
  uint32_t dwLowDateTime = 0;
  uint32_t dwHighDateTime = 0;
};

struct STATSTG {
  LPWSTR pwcsName = nullptr;  // task memory, freed by the caller
  DWORD type = 0;
  uint64_t cbSize = 0;
  TVXFileTime mtime, ctime, atime;
  DWORD grfMode = 0;
  DWORD grfLocksSupported = 0;
  GUID clsid;
  DWORD grfStateBits = 0;
  DWORD reserved = 0;
};

struct ISequentialStream : IUnknown {
  static constexpr GUID kIID{0x0c733a30, 0x2a1c, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
  using TVXBase = IUnknown;
  // S_FALSE when fewer bytes than asked came.
  virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

// A byte stream.
struct IStream : ISequentialStream {
  static constexpr GUID kIID{0x0000000c, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  using TVXBase = ISequentialStream;
  virtual HRESULT Seek(int64_t dlibMove, DWORD dwOrigin, uint64_t* plibNewPosition) = 0;
  virtual HRESULT SetSize(uint64_t libNewSize) = 0;
  virtual HRESULT CopyTo(IStream* pstm, uint64_t cb, uint64_t* pcbRead, uint64_t* pcbWritten) = 0;
  virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(uint64_t libOffset, uint64_t cb, DWORD dwLockType) = 0;
  virtual HRESULT UnlockRegion(uint64_t libOffset, uint64_t cb, DWORD dwLockType) = 0;
  virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  virtual HRESULT Clone(IStream** ppstm) = 0;
};
constexpr GUID IID_IStream = IStream::kIID;

// The parts of a stream implementation that most streams share: CopyTo
// through Read and Write, Commit and Revert that have nothing to do, no
// region locks, no clones. A stream derives from TVXStreamBase<I> and writes
// Read, Write, Seek, SetSize and Stat.
template <class I = IStream>
class TVXStreamBase : public TVXComObject<I> {
 public:
  HRESULT CopyTo(IStream* pstm, uint64_t cb, uint64_t* pcbRead, uint64_t* pcbWritten) override {
    if (!pstm) return STG_E_INVALIDPOINTER;
    uint64_t read = 0, written = 0;
    uint8_t buffer[4096];
    HRESULT hr = S_OK;
    while (read < cb) {
      const ULONG want = ULONG(cb - read < sizeof buffer ? cb - read : sizeof buffer);
      ULONG got = 0;
      hr = this->Read(buffer, want, &got);
      if (FAILED(hr)) break;
      read += got;
      ULONG put = 0;
      if (got) hr = pstm->Write(buffer, got, &put);
      written += put;
      if (FAILED(hr) || got < want) break;
    }
    if (pcbRead) *pcbRead = read;
    if (pcbWritten) *pcbWritten = written;
    return FAILED(hr) ? hr : S_OK;
  }
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(uint64_t, uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(uint64_t, uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Clone(IStream** ppstm) override {
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
  }
};

// A stream over a copy of cbInit bytes (none when pInit is null), growing as
// it is written; its clones share the bytes, each with its own position.
IStream* SHCreateMemStream(const BYTE* pInit, UINT cbInit);
// A stream over a file: STGM_READ, STGM_WRITE or
// STGM_READWRITE; with fCreate (or STGM_CREATE) the file is created, an
// existing one emptied. Errors: the file system's as HRESULT_FROM_WIN32.
HRESULT SHCreateStreamOnFileEx(LPCWSTR pszFile, DWORD grfMode, DWORD dwAttributes, BOOL fCreate,
                               IStream* pstmTemplate, IStream** ppstm);
// The same without the unused arguments.
HRESULT VXCreateStreamOnFile(const std::string& FileName, DWORD grfMode, bool Create, IStream** ppstm);
// The file system's error of errno as an HRESULT.
HRESULT VXHResultFromErrno(int Errno);
