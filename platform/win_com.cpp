// The COM run time: thread start-up counts, the class registry, task memory,
// GUID texts and the system's message texts.
#include "platform/win_com.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>


// ---------------------------------------------------------------------------
// Message texts

namespace {

struct TMessage {
  uint32_t Code;
  const char* Text;
};

// Result codes of their own and Win32 error codes (looked up for 0x8007xxxx).
constexpr TMessage kResultTexts[] = {
    {0x00000000u, "The operation completed successfully"},
    {0x00000001u, "Incorrect function"},  // S_FALSE reads as Win32 error 1
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004003u, "Invalid pointer"},
    {0x80004004u, "Operation aborted"},
    {0x80004005u, "Unspecified error"},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80040154u, "Class not registered"},
    {0x80040110u, "Class does not support aggregation (or class object is remote)"},
    {0x80010106u, "Cannot change thread mode after it is set"},
    {0x800401F0u, "CoInitialize has not been called"},
    {0x800401F3u, "Invalid class string"},
    {0x800401E3u, "Operation unavailable"},
    {0x80020008u, "Bad variable type"},
    {0x80030001u, "Unable to perform requested operation"},
    {0x80030002u, "%1 could not be found"},
    {0x80030005u, "Access Denied"},
    {0x80030009u, "Invalid pointer error"},
    {0x8003001Du, "A disk error occurred during a write operation"},
    {0x8003001Eu, "A disk error occurred during a read operation"},
    {0x80030057u, "Invalid parameter error"},
    {0x80030070u, "There is insufficient disk space to complete operation"},
};

constexpr TMessage kWin32Texts[] = {
    {2, "The system cannot find the file specified"},
    {3, "The system cannot find the path specified"},
    {5, "Access is denied"},
    {6, "The handle is invalid"},
    {8, "Not enough memory resources are available to process this command"},
    {14, "Not enough memory resources are available to complete this operation"},
    {21, "The device is not ready"},
    {29, "The system cannot write to the specified device"},
    {30, "The system cannot read from the specified device"},
    {31, "A device attached to the system is not functioning"},
    {50, "The request is not supported"},
    {80, "The file exists"},
    {87, "The parameter is incorrect"},
    {112, "There is not enough space on the disk"},
    {145, "The directory is not empty"},
    {183, "Cannot create a file when that file already exists"},
    {122, "The data area passed to a system call is too small"},
    {1168, "Element not found"},
    {1722, "The RPC server is unavailable"},
};

const char* Lookup(const TMessage* Table, size_t Count, uint32_t Code) {
  for (size_t i = 0; i < Count; ++i)
    if (Table[i].Code == Code) return Table[i].Text;
  return nullptr;
}

}  // namespace

std::string SysErrorMessage(HRESULT Code) {
  const uint32_t u = uint32_t(Code);
  if (const char* t = Lookup(kResultTexts, std::size(kResultTexts), u)) return t;
  uint32_t win32 = u;
  if ((u & 0xFFFF0000u) == 0x80070000u) win32 = u & 0xFFFFu;
  if (const char* t = Lookup(kWin32Texts, std::size(kWin32Texts), win32)) return t;
  return "";
}

// ---------------------------------------------------------------------------
// GUID texts

std::string VXGUIDToString(const GUID& G) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(G.Data1),
                unsigned(G.Data2), unsigned(G.Data3), G.Data4[0], G.Data4[1], G.Data4[2], G.Data4[3], G.Data4[4],
                G.Data4[5], G.Data4[6], G.Data4[7]);
  return buf;
}

bool VXStringToGUID(const std::string& S, GUID& G) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (S.size() != 38 || S.front() != '{' || S.back() != '}') return false;
  uint8_t bytes[16];
  size_t n = 0;
  for (size_t i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (S[i] != '-') return false;
      ++i;
      continue;
    }
    int v = 0;
    for (int k = 0; k < 2; ++k) {
      const char c = S[i + k];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      v = v * 16 + d;
    }
    bytes[n++] = uint8_t(v);
    i += 2;
  }
  if (n != 16) return false;
  G.Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
  G.Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
  G.Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) G.Data4[i] = bytes[8 + i];
  return true;
}

int StringFromGUID2(REFGUID rguid, LPWSTR lpsz, int cchMax) {
  if (!lpsz || cchMax < 39) return 0;
  const std::string s = VXGUIDToString(rguid);
  std::memcpy(lpsz, s.c_str(), s.size() + 1);
  return 39;
}

HRESULT CLSIDFromString(LPCWSTR lpsz, CLSID* pclsid) {
  if (!lpsz || !pclsid) return E_INVALIDARG;
  GUID g;
  if (!VXStringToGUID(lpsz, g)) return CO_E_CLASSSTRING;
  *pclsid = g;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Task memory

void* CoTaskMemAlloc(size_t cb) { return std::malloc(cb ? cb : 1); }
void* CoTaskMemRealloc(void* pv, size_t cb) { return std::realloc(pv, cb ? cb : 1); }
void CoTaskMemFree(void* pv) { std::free(pv); }

LPWSTR VXCoTaskStrDup(const std::string& S) {
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc(S.size() + 1));
  if (p) std::memcpy(p, S.c_str(), S.size() + 1);
  return p;
}

// ---------------------------------------------------------------------------
// Thread start-up

namespace {

struct TThreadCom {
  int Count = 0;
  DWORD Mode = 0;
  int OleCount = 0;
};
thread_local TThreadCom tCom;

}  // namespace

HRESULT CoInitializeEx(void*, DWORD dwCoInit) {
  const DWORD mode = (dwCoInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
  if (tCom.Count > 0) {
    if (tCom.Mode != mode) return RPC_E_CHANGED_MODE;
    ++tCom.Count;
    return S_FALSE;
  }
  tCom.Count = 1;
  tCom.Mode = mode;
  return S_OK;
}

HRESULT CoInitialize(void* pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (tCom.Count > 0) --tCom.Count;
}

HRESULT OleInitialize(void*) {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return hr;
  ++tCom.OleCount;
  return hr;
}

void OleUninitialize() {
  if (tCom.OleCount <= 0) return;
  --tCom.OleCount;
  CoUninitialize();
}

int VXComInitCount() { return tCom.Count; }
int VXOleInitCount() { return tCom.OleCount; }

// ---------------------------------------------------------------------------
// Class registry

namespace {

struct TClassEntry {
  GUID Clsid;
  TVXClassCreator Creator;
  DWORD Contexts;
};

std::mutex& RegistryLock() {
  static std::mutex m;
  return m;
}
std::vector<TClassEntry>& Registry() {
  static std::vector<TClassEntry> r;
  return r;
}

}  // namespace

void VXRegisterComClass(REFCLSID rclsid, TVXClassCreator Creator, DWORD Contexts) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (TClassEntry& e : Registry())
    if (IsEqualGUID(e.Clsid, rclsid)) {
      e.Creator = Creator;
      e.Contexts = Contexts;
      return;
    }
  Registry().push_back({rclsid, Creator, Contexts});
}

void VXUnregisterComClass(REFCLSID rclsid) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  auto& r = Registry();
  for (size_t i = 0; i < r.size(); ++i)
    if (IsEqualGUID(r[i].Clsid, rclsid)) {
      r.erase(r.begin() + std::ptrdiff_t(i));
      return;
    }
}

bool VXIsComClassRegistered(REFCLSID rclsid) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (const TClassEntry& e : Registry())
    if (IsEqualGUID(e.Clsid, rclsid)) return true;
  return false;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  TVXClassCreator creator = nullptr;
  {
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const TClassEntry& e : Registry())
      if (IsEqualGUID(e.Clsid, rclsid) && (e.Contexts & dwClsContext)) creator = e.Creator;
  }
  if (!creator) return REGDB_E_CLASSNOTREG;
  const HRESULT hr = creator(riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

HRESULT GetActiveObject(REFCLSID, void*, IUnknown** ppunk) {
  if (ppunk) *ppunk = nullptr;
  return MK_E_UNAVAILABLE;
}
