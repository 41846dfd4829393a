// PROPVARIANT values: clearing and deep copies of the kinds the library uses.
#include <cstring>

#include "platform/win_com.h"

namespace {

bool IsPlainKind(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
      return true;
    default:
      return false;
  }
}

// Element size of a vector kind, 0 for kinds outside the subset.
size_t VectorElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_VECTOR | VT_UI1: return 1;
    case VT_VECTOR | VT_UI2: return 2;
    case VT_VECTOR | VT_I4: return 4;
    case VT_VECTOR | VT_CLSID: return sizeof(GUID);
    default: return 0;
  }
}

}  // namespace

HRESULT PropVariantClear(PROPVARIANT* p) {
  if (!p) return S_OK;
  if (IsPlainKind(p->vt)) {
    PropVariantInit(p);
    return S_OK;
  }
  switch (p->vt) {
    case VT_LPWSTR: CoTaskMemFree(p->pwszVal); break;
    case VT_CLSID: CoTaskMemFree(p->puuid); break;
    default:
      // Every vector keeps its elements behind the same member layout.
      if (!VectorElementSize(p->vt)) return DISP_E_BADVARTYPE;
      CoTaskMemFree(p->caub.pElems);
      break;
  }
  PropVariantInit(p);
  return S_OK;
}

HRESULT PropVariantCopy(PROPVARIANT* pDst, const PROPVARIANT* pSrc) {
  if (!pDst || !pSrc) return E_INVALIDARG;
  PROPVARIANT out = *pSrc;
  if (IsPlainKind(pSrc->vt)) {
    *pDst = out;
    return S_OK;
  }
  switch (pSrc->vt) {
    case VT_LPWSTR:
      if (pSrc->pwszVal) {
        out.pwszVal = VXCoTaskStrDup(pSrc->pwszVal);
        if (!out.pwszVal) return E_OUTOFMEMORY;
      }
      break;
    case VT_CLSID:
      if (pSrc->puuid) {
        out.puuid = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
        if (!out.puuid) return E_OUTOFMEMORY;
        *out.puuid = *pSrc->puuid;
      }
      break;
    default: {
      const size_t size = VectorElementSize(pSrc->vt);
      if (!size) return DISP_E_BADVARTYPE;
      out.caub.pElems = nullptr;
      if (pSrc->caub.cElems) {
        if (!pSrc->caub.pElems) return E_INVALIDARG;
        void* copy = CoTaskMemAlloc(size * pSrc->caub.cElems);
        if (!copy) return E_OUTOFMEMORY;
        std::memcpy(copy, pSrc->caub.pElems, size * pSrc->caub.cElems);
        out.caub.pElems = static_cast<uint8_t*>(copy);
      }
      break;
    }
  }
  *pDst = out;
  return S_OK;
}

HRESULT InitPropVariantFromString(LPCWSTR psz, PROPVARIANT* ppropvar) {
  if (!ppropvar) return E_INVALIDARG;
  PropVariantInit(ppropvar);
  LPWSTR copy = VXCoTaskStrDup(VXStr(psz));
  if (!copy) return E_OUTOFMEMORY;
  ppropvar->vt = VT_LPWSTR;
  ppropvar->pwszVal = copy;
  return S_OK;
}

HRESULT InitPropVariantFromCLSID(REFCLSID clsid, PROPVARIANT* ppropvar) {
  if (!ppropvar) return E_INVALIDARG;
  PropVariantInit(ppropvar);
  auto* g = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!g) return E_OUTOFMEMORY;
  *g = clsid;
  ppropvar->vt = VT_CLSID;
  ppropvar->puuid = g;
  return S_OK;
}
