// Our Media Foundation's objects and entries: attribute stores, media types,
// memory buffers, samples, file byte streams, device activation objects, and
// the three modules that carry the entries.
#include "acquire/mf_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "acquire/capture_devices.h"
#include "platform/win_clock.h"
#include "winui/win_module.h"

namespace {

// ---- attribute stores ----

struct TItem {
  GUID Key;
  MF_ATTRIBUTE_TYPE Type = MF_ATTRIBUTE_UINT32;
  uint64_t U = 0;
  double D = 0;
  GUID G{};
  std::string S;
  std::vector<uint8_t> Blob;
  IUnknown* Unk = nullptr;  // one reference

  TItem() = default;
  TItem(const TItem& o) : Key(o.Key), Type(o.Type), U(o.U), D(o.D), G(o.G), S(o.S), Blob(o.Blob), Unk(o.Unk) {
    if (Unk) Unk->AddRef();
  }
  TItem& operator=(const TItem& o) {
    if (this != &o) {
      if (o.Unk) o.Unk->AddRef();
      if (Unk) Unk->Release();
      Key = o.Key, Type = o.Type, U = o.U, D = o.D, G = o.G, S = o.S, Blob = o.Blob, Unk = o.Unk;
    }
    return *this;
  }
  ~TItem() {
    if (Unk) Unk->Release();
  }
  bool SameValue(const TItem& o) const {
    if (Type != o.Type) return false;
    switch (Type) {
      case MF_ATTRIBUTE_UINT32:
      case MF_ATTRIBUTE_UINT64: return U == o.U;
      case MF_ATTRIBUTE_DOUBLE: return D == o.D;
      case MF_ATTRIBUTE_GUID: return IsEqualGUID(G, o.G);
      case MF_ATTRIBUTE_STRING: return S == o.S;
      case MF_ATTRIBUTE_BLOB: return Blob == o.Blob;
      case MF_ATTRIBUTE_IUNKNOWN: return Unk == o.Unk;
    }
    return false;
  }
};

// A PROPVARIANT of the kinds an attribute can hold, as an item.
bool ItemFromVariant(const PROPVARIANT& v, TItem& it) {
  switch (v.vt) {
    case VT_UI4: it.Type = MF_ATTRIBUTE_UINT32, it.U = v.ulVal; return true;
    case VT_UI8: it.Type = MF_ATTRIBUTE_UINT64, it.U = v.uhVal; return true;
    case VT_R8: it.Type = MF_ATTRIBUTE_DOUBLE, it.D = v.dblVal; return true;
    case VT_CLSID:
      if (!v.puuid) return false;
      it.Type = MF_ATTRIBUTE_GUID, it.G = *v.puuid;
      return true;
    case VT_LPWSTR: it.Type = MF_ATTRIBUTE_STRING, it.S = VXStr(v.pwszVal); return true;
    case VT_VECTOR | VT_UI1:
      it.Type = MF_ATTRIBUTE_BLOB;
      it.Blob.assign(v.caub.pElems, v.caub.pElems + (v.caub.pElems ? v.caub.cElems : 0));
      return true;
    default: return false;
  }
}

HRESULT VariantFromItem(const TItem& it, PROPVARIANT* v) {
  PropVariantInit(v);
  switch (it.Type) {
    case MF_ATTRIBUTE_UINT32: v->vt = VT_UI4, v->ulVal = uint32_t(it.U); return S_OK;
    case MF_ATTRIBUTE_UINT64: v->vt = VT_UI8, v->uhVal = it.U; return S_OK;
    case MF_ATTRIBUTE_DOUBLE: v->vt = VT_R8, v->dblVal = it.D; return S_OK;
    case MF_ATTRIBUTE_GUID: return InitPropVariantFromCLSID(it.G, v);
    case MF_ATTRIBUTE_STRING: return InitPropVariantFromString(it.S.c_str(), v);
    case MF_ATTRIBUTE_BLOB: {
      auto* p = static_cast<uint8_t*>(CoTaskMemAlloc(it.Blob.empty() ? 1 : it.Blob.size()));
      if (!p) return E_OUTOFMEMORY;
      if (!it.Blob.empty()) std::memcpy(p, it.Blob.data(), it.Blob.size());
      v->vt = VT_VECTOR | VT_UI1, v->caub.cElems = ULONG(it.Blob.size()), v->caub.pElems = p;
      return S_OK;
    }
    case MF_ATTRIBUTE_IUNKNOWN: return MF_E_INVALIDTYPE;  // our PROPVARIANT carries no interface
  }
  return MF_E_INVALIDTYPE;
}

// The attribute store of an interface I that extends VX_IMFAttributes.
template <class I>
class TAttributes : public TVXComObject<I> {
 public:
  HRESULT GetItem(REFGUID key, PROPVARIANT* v) override {
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    return v ? VariantFromItem(*it, v) : S_OK;
  }
  HRESULT GetItemType(REFGUID key, MF_ATTRIBUTE_TYPE* t) override {
    if (!t) return E_POINTER;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    *t = it->Type;
    return S_OK;
  }
  HRESULT CompareItem(REFGUID key, REFPROPVARIANT value, BOOL* result) override {
    if (!result) return E_POINTER;
    TItem other;
    other.Key = key;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    *result = it && ItemFromVariant(value, other) && it->SameValue(other);
    return S_OK;
  }
  HRESULT Compare(VX_IMFAttributes* theirs, MF_ATTRIBUTES_MATCH_TYPE match, BOOL* result) override {
    if (!theirs || !result) return E_POINTER;
    std::vector<TItem> ours = Snapshot(), other = SnapshotOf(theirs);
    // True when every item of A is in B with the same value.
    auto within = [](const std::vector<TItem>& a, const std::vector<TItem>& b) {
      for (const TItem& x : a) {
        bool hit = false;
        for (const TItem& y : b)
          if (IsEqualGUID(x.Key, y.Key)) hit = x.SameValue(y);
        if (!hit) return false;
      }
      return true;
    };
    switch (match) {
      case MF_ATTRIBUTES_MATCH_OUR_ITEMS: *result = within(ours, other); break;
      case MF_ATTRIBUTES_MATCH_THEIR_ITEMS: *result = within(other, ours); break;
      case MF_ATTRIBUTES_MATCH_ALL_ITEMS: *result = ours.size() == other.size() && within(ours, other); break;
      case MF_ATTRIBUTES_MATCH_INTERSECTION: {
        bool same = true;
        for (const TItem& x : ours)
          for (const TItem& y : other)
            if (IsEqualGUID(x.Key, y.Key) && !x.SameValue(y)) same = false;
        *result = same;
        break;
      }
      case MF_ATTRIBUTES_MATCH_SMALLER:
        *result = ours.size() <= other.size() ? within(ours, other) : within(other, ours);
        break;
      default: return E_INVALIDARG;
    }
    return S_OK;
  }
  HRESULT GetUINT32(REFGUID key, UINT* out) override { return GetNumber(key, MF_ATTRIBUTE_UINT32, out); }
  HRESULT GetUINT64(REFGUID key, uint64_t* out) override { return GetNumber(key, MF_ATTRIBUTE_UINT64, out); }
  HRESULT GetDouble(REFGUID key, double* out) override {
    if (!out) return E_POINTER;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    if (it->Type != MF_ATTRIBUTE_DOUBLE) return MF_E_INVALIDTYPE;
    *out = it->D;
    return S_OK;
  }
  HRESULT GetGUID(REFGUID key, GUID* out) override {
    if (!out) return E_POINTER;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    if (it->Type != MF_ATTRIBUTE_GUID) return MF_E_INVALIDTYPE;
    *out = it->G;
    return S_OK;
  }
  HRESULT GetStringLength(REFGUID key, UINT* len) override {
    if (!len) return E_POINTER;
    std::string s;
    const HRESULT hr = GetText(key, s);
    if (SUCCEEDED(hr)) *len = UINT(s.size());
    return hr;
  }
  HRESULT GetString(REFGUID key, LPWSTR buf, UINT size, UINT* len) override {
    if (!buf) return E_POINTER;
    std::string s;
    const HRESULT hr = GetText(key, s);
    if (FAILED(hr)) return hr;
    if (s.size() + 1 > size) return MF_E_BUFFERTOOSMALL;
    std::memcpy(buf, s.c_str(), s.size() + 1);
    if (len) *len = UINT(s.size());
    return S_OK;
  }
  HRESULT GetAllocatedString(REFGUID key, LPWSTR* out, UINT* len) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::string s;
    const HRESULT hr = GetText(key, s);
    if (FAILED(hr)) return hr;
    *out = VXCoTaskStrDup(s);
    if (!*out) return E_OUTOFMEMORY;
    if (len) *len = UINT(s.size());
    return S_OK;
  }
  HRESULT GetBlobSize(REFGUID key, UINT* size) override {
    if (!size) return E_POINTER;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    if (it->Type != MF_ATTRIBUTE_BLOB) return MF_E_INVALIDTYPE;
    *size = UINT(it->Blob.size());
    return S_OK;
  }
  HRESULT GetBlob(REFGUID key, BYTE* buf, UINT size, UINT* got) override {
    if (!buf) return E_POINTER;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    if (it->Type != MF_ATTRIBUTE_BLOB) return MF_E_INVALIDTYPE;
    if (it->Blob.size() > size) return MF_E_BUFFERTOOSMALL;
    if (!it->Blob.empty()) std::memcpy(buf, it->Blob.data(), it->Blob.size());
    if (got) *got = UINT(it->Blob.size());
    return S_OK;
  }
  HRESULT GetAllocatedBlob(REFGUID key, BYTE** out, UINT* size) override {
    if (!out || !size) return E_POINTER;
    *out = nullptr;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    if (it->Type != MF_ATTRIBUTE_BLOB) return MF_E_INVALIDTYPE;
    *out = static_cast<BYTE*>(CoTaskMemAlloc(it->Blob.empty() ? 1 : it->Blob.size()));
    if (!*out) return E_OUTOFMEMORY;
    if (!it->Blob.empty()) std::memcpy(*out, it->Blob.data(), it->Blob.size());
    *size = UINT(it->Blob.size());
    return S_OK;
  }
  HRESULT GetUnknown(REFGUID key, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IUnknown* unk = nullptr;
    {
      std::lock_guard g(fLock);
      const TItem* it = Find(key);
      if (!it) return MF_E_ATTRIBUTENOTFOUND;
      if (it->Type != MF_ATTRIBUTE_IUNKNOWN || !it->Unk) return MF_E_INVALIDTYPE;
      unk = it->Unk;
      unk->AddRef();
    }
    const HRESULT hr = unk->QueryInterface(riid, ppv);
    unk->Release();
    return hr;
  }
  HRESULT SetItem(REFGUID key, REFPROPVARIANT value) override {
    TItem it;
    it.Key = key;
    if (!ItemFromVariant(value, it)) return MF_E_INVALIDTYPE;
    return Put(std::move(it));
  }
  HRESULT DeleteItem(REFGUID key) override {
    std::lock_guard g(fLock);
    for (size_t i = 0; i < fItems.size(); ++i)
      if (IsEqualGUID(fItems[i].Key, key)) {
        fItems.erase(fItems.begin() + std::ptrdiff_t(i));
        break;
      }
    return S_OK;
  }
  HRESULT DeleteAllItems() override {
    std::lock_guard g(fLock);
    fItems.clear();
    return S_OK;
  }
  HRESULT SetUINT32(REFGUID key, UINT v) override {
    TItem it;
    it.Key = key, it.Type = MF_ATTRIBUTE_UINT32, it.U = v;
    return Put(std::move(it));
  }
  HRESULT SetUINT64(REFGUID key, uint64_t v) override {
    TItem it;
    it.Key = key, it.Type = MF_ATTRIBUTE_UINT64, it.U = v;
    return Put(std::move(it));
  }
  HRESULT SetDouble(REFGUID key, double v) override {
    TItem it;
    it.Key = key, it.Type = MF_ATTRIBUTE_DOUBLE, it.D = v;
    return Put(std::move(it));
  }
  HRESULT SetGUID(REFGUID key, REFGUID v) override {
    TItem it;
    it.Key = key, it.Type = MF_ATTRIBUTE_GUID, it.G = v;
    return Put(std::move(it));
  }
  HRESULT SetString(REFGUID key, LPCWSTR v) override {
    if (!v) return E_POINTER;
    TItem it;
    it.Key = key, it.Type = MF_ATTRIBUTE_STRING, it.S = v;
    return Put(std::move(it));
  }
  HRESULT SetBlob(REFGUID key, const BYTE* buf, UINT size) override {
    if (!buf && size) return E_POINTER;
    TItem it;
    it.Key = key, it.Type = MF_ATTRIBUTE_BLOB;
    if (size) it.Blob.assign(buf, buf + size);
    return Put(std::move(it));
  }
  HRESULT SetUnknown(REFGUID key, IUnknown* unk) override {
    TItem it;
    it.Key = key, it.Type = MF_ATTRIBUTE_IUNKNOWN, it.Unk = unk;
    if (unk) unk->AddRef();
    return Put(std::move(it));
  }
  HRESULT LockStore() override {
    fLock.lock();
    return S_OK;
  }
  HRESULT UnlockStore() override {
    fLock.unlock();
    return S_OK;
  }
  HRESULT GetCount(UINT* count) override {
    if (!count) return E_POINTER;
    std::lock_guard g(fLock);
    *count = UINT(fItems.size());
    return S_OK;
  }
  HRESULT GetItemByIndex(UINT index, GUID* key, PROPVARIANT* v) override {
    if (!key) return E_POINTER;
    std::lock_guard g(fLock);
    if (index >= fItems.size()) return E_INVALIDARG;
    *key = fItems[index].Key;
    return v ? VariantFromItem(fItems[index], v) : S_OK;
  }
  HRESULT CopyAllItems(VX_IMFAttributes* dest) override {
    if (!dest) return E_POINTER;
    const std::vector<TItem> items = Snapshot();
    dest->DeleteAllItems();
    for (const TItem& it : items) CopyItemTo(it, dest);
    return S_OK;
  }

 protected:
  // A copy of the items, under the lock.
  std::vector<TItem> Snapshot() {
    std::lock_guard g(fLock);
    return fItems;
  }

 private:
  static void CopyItemTo(const TItem& it, VX_IMFAttributes* dest) {
    switch (it.Type) {
      case MF_ATTRIBUTE_UINT32: dest->SetUINT32(it.Key, UINT(it.U)); break;
      case MF_ATTRIBUTE_UINT64: dest->SetUINT64(it.Key, it.U); break;
      case MF_ATTRIBUTE_DOUBLE: dest->SetDouble(it.Key, it.D); break;
      case MF_ATTRIBUTE_GUID: dest->SetGUID(it.Key, it.G); break;
      case MF_ATTRIBUTE_STRING: dest->SetString(it.Key, it.S.c_str()); break;
      case MF_ATTRIBUTE_BLOB: dest->SetBlob(it.Key, it.Blob.data(), UINT(it.Blob.size())); break;
      case MF_ATTRIBUTE_IUNKNOWN: dest->SetUnknown(it.Key, it.Unk); break;
    }
  }
  // Another store's items through its interface.
  static std::vector<TItem> SnapshotOf(VX_IMFAttributes* a) {
    std::vector<TItem> out;
    UINT n = 0;
    if (FAILED(a->GetCount(&n))) return out;
    for (UINT i = 0; i < n; ++i) {
      TItem it;
      PROPVARIANT v;
      if (FAILED(a->GetItemByIndex(i, &it.Key, &v))) {
        MF_ATTRIBUTE_TYPE t;
        if (SUCCEEDED(a->GetItemType(it.Key, &t)) && t == MF_ATTRIBUTE_IUNKNOWN) {
          it.Type = t;
          a->GetUnknown(it.Key, IID_IUnknown, reinterpret_cast<void**>(&it.Unk));
          out.push_back(it);
        }
        continue;
      }
      if (ItemFromVariant(v, it)) out.push_back(it);
      PropVariantClear(&v);
    }
    return out;
  }
  const TItem* Find(REFGUID key) const {
    for (const TItem& it : fItems)
      if (IsEqualGUID(it.Key, key)) return &it;
    return nullptr;
  }
  template <class T>
  HRESULT GetNumber(REFGUID key, MF_ATTRIBUTE_TYPE type, T* out) {
    if (!out) return E_POINTER;
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    if (it->Type != type) return MF_E_INVALIDTYPE;
    *out = T(it->U);
    return S_OK;
  }
  HRESULT GetText(REFGUID key, std::string& s) {
    std::lock_guard g(fLock);
    const TItem* it = Find(key);
    if (!it) return MF_E_ATTRIBUTENOTFOUND;
    if (it->Type != MF_ATTRIBUTE_STRING) return MF_E_INVALIDTYPE;
    s = it->S;
    return S_OK;
  }
  HRESULT Put(TItem&& it) {
    std::lock_guard g(fLock);
    for (TItem& x : fItems)
      if (IsEqualGUID(x.Key, it.Key)) {
        x = it;
        return S_OK;
      }
    fItems.push_back(it);
    return S_OK;
  }

  std::recursive_mutex fLock;
  std::vector<TItem> fItems;
};

class TMediaType : public TAttributes<VX_IMFMediaType> {
 public:
  HRESULT GetMajorType(GUID* major) override { return GetGUID(MF_MT_MAJOR_TYPE, major); }
  HRESULT IsCompressedFormat(BOOL* compressed) override {
    if (!compressed) return E_POINTER;
    UINT v = 0;
    *compressed = SUCCEEDED(GetUINT32(MF_MT_COMPRESSED, &v)) && v != 0;
    return S_OK;
  }
  // S_OK when everything matches, S_FALSE with the flags of what does.
  HRESULT IsEqual(VX_IMFMediaType* other, DWORD* flags) override {
    if (!other || !flags) return E_POINTER;
    *flags = 0;
    GUID a{}, b{};
    if (SUCCEEDED(GetGUID(MF_MT_MAJOR_TYPE, &a)) && SUCCEEDED(other->GetGUID(MF_MT_MAJOR_TYPE, &b)) &&
        IsEqualGUID(a, b))
      *flags |= MF_MEDIATYPE_EQUAL_MAJOR_TYPES;
    const bool subA = SUCCEEDED(GetGUID(MF_MT_SUBTYPE, &a)), subB = SUCCEEDED(other->GetGUID(MF_MT_SUBTYPE, &b));
    if (subA == subB && (!subA || IsEqualGUID(a, b))) *flags |= MF_MEDIATYPE_EQUAL_FORMAT_TYPES;
    BOOL same = FALSE;
    if (SUCCEEDED(Compare(other, MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same)) && same)
      *flags |= MF_MEDIATYPE_EQUAL_FORMAT_DATA | MF_MEDIATYPE_EQUAL_FORMAT_USER_DATA;
    return *flags == 0xF ? S_OK : S_FALSE;
  }
  // No format-block representations are kept.
  HRESULT GetRepresentation(GUID, void** rep) override {
    if (rep) *rep = nullptr;
    return MF_E_INVALIDTYPE;
  }
  HRESULT FreeRepresentation(GUID, void*) override { return MF_E_INVALIDTYPE; }
};

// ---- memory buffers and samples ----

class TMemoryBuffer : public TVXComObject<VX_IMFMediaBuffer> {
 public:
  explicit TMemoryBuffer(DWORD Max) : fData(Max ? Max : 1), fMax(Max) {}
  HRESULT Lock(BYTE** data, DWORD* max, DWORD* current) override {
    if (!data) return E_POINTER;
    *data = fData.data();
    if (max) *max = fMax;
    if (current) *current = fCurrent;
    ++fLocks;
    return S_OK;
  }
  HRESULT Unlock() override {
    if (fLocks == 0) return MF_E_INVALIDREQUEST;
    --fLocks;
    return S_OK;
  }
  HRESULT GetCurrentLength(DWORD* len) override {
    if (!len) return E_POINTER;
    *len = fCurrent;
    return S_OK;
  }
  HRESULT SetCurrentLength(DWORD len) override {
    if (len > fMax) return E_INVALIDARG;
    fCurrent = len;
    return S_OK;
  }
  HRESULT GetMaxLength(DWORD* len) override {
    if (!len) return E_POINTER;
    *len = fMax;
    return S_OK;
  }

 private:
  std::vector<uint8_t> fData;
  DWORD fMax, fCurrent = 0;
  std::atomic<int> fLocks{0};
};

class TSample : public TAttributes<VX_IMFSample> {
 public:
  ~TSample() override { RemoveAllBuffers(); }
  HRESULT GetSampleFlags(DWORD* f) override { return Out(f, fFlags); }
  HRESULT SetSampleFlags(DWORD f) override {
    fFlags = f;
    return S_OK;
  }
  HRESULT GetSampleTime(LONGLONG* t) override {
    if (!fHasTime) return MF_E_ATTRIBUTENOTFOUND;
    return Out(t, fTime);
  }
  HRESULT SetSampleTime(LONGLONG t) override {
    fTime = t, fHasTime = true;
    return S_OK;
  }
  HRESULT GetSampleDuration(LONGLONG* d) override {
    if (!fHasDuration) return MF_E_ATTRIBUTENOTFOUND;
    return Out(d, fDuration);
  }
  HRESULT SetSampleDuration(LONGLONG d) override {
    fDuration = d, fHasDuration = true;
    return S_OK;
  }
  HRESULT GetBufferCount(DWORD* n) override { return Out(n, DWORD(fBuffers.size())); }
  HRESULT GetBufferByIndex(DWORD i, VX_IMFMediaBuffer** b) override {
    if (!b) return E_POINTER;
    *b = nullptr;
    if (i >= fBuffers.size()) return E_INVALIDARG;
    *b = fBuffers[i];
    (*b)->AddRef();
    return S_OK;
  }
  // One buffer is handed out as it is; several are joined into a new one,
  // which then replaces them in the sample.
  HRESULT ConvertToContiguousBuffer(VX_IMFMediaBuffer** b) override {
    if (!b) return E_POINTER;
    *b = nullptr;
    if (fBuffers.empty()) return E_UNEXPECTED;
    if (fBuffers.size() > 1) {
      DWORD total = 0;
      GetTotalLength(&total);
      auto* joined = new TMemoryBuffer(total);
      if (FAILED(CopyToBuffer(joined))) {
        joined->Release();
        return E_FAIL;
      }
      RemoveAllBuffers();
      fBuffers.push_back(joined);
    }
    *b = fBuffers[0];
    (*b)->AddRef();
    return S_OK;
  }
  HRESULT AddBuffer(VX_IMFMediaBuffer* b) override {
    if (!b) return E_POINTER;
    b->AddRef();
    fBuffers.push_back(b);
    return S_OK;
  }
  HRESULT RemoveBufferByIndex(DWORD i) override {
    if (i >= fBuffers.size()) return E_INVALIDARG;
    fBuffers[i]->Release();
    fBuffers.erase(fBuffers.begin() + i);
    return S_OK;
  }
  HRESULT RemoveAllBuffers() override {
    for (VX_IMFMediaBuffer* b : fBuffers) b->Release();
    fBuffers.clear();
    return S_OK;
  }
  HRESULT GetTotalLength(DWORD* n) override {
    if (!n) return E_POINTER;
    uint64_t total = 0;
    for (VX_IMFMediaBuffer* b : fBuffers) {
      DWORD len = 0;
      b->GetCurrentLength(&len);
      total += len;
    }
    if (total > UINT32_MAX) return E_OUTOFMEMORY;
    *n = DWORD(total);
    return S_OK;
  }
  HRESULT CopyToBuffer(VX_IMFMediaBuffer* dest) override {
    if (!dest) return E_POINTER;
    DWORD total = 0, max = 0;
    if (FAILED(GetTotalLength(&total)) || FAILED(dest->GetMaxLength(&max))) return E_FAIL;
    if (total > max) return MF_E_BUFFERTOOSMALL;
    BYTE* out = nullptr;
    if (FAILED(dest->Lock(&out, nullptr, nullptr))) return E_FAIL;
    DWORD at = 0;
    for (VX_IMFMediaBuffer* b : fBuffers) {
      BYTE* in = nullptr;
      DWORD len = 0;
      if (SUCCEEDED(b->Lock(&in, nullptr, &len))) {
        if (len) std::memcpy(out + at, in, len);
        at += len;
        b->Unlock();
      }
    }
    dest->Unlock();
    return dest->SetCurrentLength(at);
  }

 private:
  template <class T>
  static HRESULT Out(T* p, T v) {
    if (!p) return E_POINTER;
    *p = v;
    return S_OK;
  }
  DWORD fFlags = 0;
  LONGLONG fTime = 0, fDuration = 0;
  bool fHasTime = false, fHasDuration = false;
  std::vector<VX_IMFMediaBuffer*> fBuffers;
};

// ---- byte streams over files ----

class TFileByteStream : public TVXComObject<VX_IMFByteStream> {
 public:
  TFileByteStream(int Fd, DWORD Caps) : fFd(Fd), fCaps(Caps) {}
  ~TFileByteStream() override { Close(); }
  HRESULT GetCapabilities(DWORD* caps) override {
    if (!caps) return E_POINTER;
    *caps = fCaps;
    return S_OK;
  }
  HRESULT GetLength(QWORD* len) override {
    if (!len) return E_POINTER;
    struct stat st;
    if (fFd < 0) return MF_E_SHUTDOWN;
    if (fstat(fFd, &st) != 0) return VXHResultFromErrno(errno);
    *len = QWORD(st.st_size);
    return S_OK;
  }
  HRESULT SetLength(QWORD len) override {
    if (fFd < 0) return MF_E_SHUTDOWN;
    if (!(fCaps & MFBYTESTREAM_IS_WRITABLE)) return E_ACCESSDENIED;
    return ftruncate(fFd, off_t(len)) == 0 ? S_OK : VXHResultFromErrno(errno);
  }
  HRESULT GetCurrentPosition(QWORD* pos) override {
    if (!pos) return E_POINTER;
    *pos = fPos;
    return S_OK;
  }
  HRESULT SetCurrentPosition(QWORD pos) override {
    QWORD len = 0;
    if (FAILED(GetLength(&len))) return E_FAIL;
    if (pos > len && !(fCaps & MFBYTESTREAM_IS_WRITABLE)) return E_INVALIDARG;
    fPos = pos;
    return S_OK;
  }
  HRESULT IsEndOfStream(BOOL* end) override {
    if (!end) return E_POINTER;
    QWORD len = 0;
    if (FAILED(GetLength(&len))) return E_FAIL;
    *end = fPos >= len;
    return S_OK;
  }
  HRESULT Read(BYTE* pb, ULONG cb, ULONG* got) override {
    if (!pb && cb) return E_POINTER;
    if (fFd < 0) return MF_E_SHUTDOWN;
    if (!(fCaps & MFBYTESTREAM_IS_READABLE)) return E_ACCESSDENIED;
    ULONG done = 0;
    while (done < cb) {
      const ssize_t n = pread(fFd, pb + done, cb - done, off_t(fPos + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return VXHResultFromErrno(errno);
      if (n == 0) break;
      done += ULONG(n);
    }
    fPos += done;
    if (got) *got = done;
    return S_OK;
  }
  // The library reads and writes its byte streams synchronously.
  HRESULT BeginRead(BYTE*, ULONG, VX_IMFAsyncCallback*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT EndRead(VX_IMFAsyncResult*, ULONG*) override { return E_NOTIMPL; }
  HRESULT Write(const BYTE* pb, ULONG cb, ULONG* written) override {
    if (!pb && cb) return E_POINTER;
    if (fFd < 0) return MF_E_SHUTDOWN;
    if (!(fCaps & MFBYTESTREAM_IS_WRITABLE)) return E_ACCESSDENIED;
    ULONG done = 0;
    while (done < cb) {
      const ssize_t n = pwrite(fFd, pb + done, cb - done, off_t(fPos + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fPos += done;
        if (written) *written = done;
        return VXHResultFromErrno(n < 0 ? errno : ENOSPC);
      }
      done += ULONG(n);
    }
    fPos += done;
    if (written) *written = done;
    return S_OK;
  }
  HRESULT BeginWrite(const BYTE*, ULONG, VX_IMFAsyncCallback*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT EndWrite(VX_IMFAsyncResult*, ULONG*) override { return E_NOTIMPL; }
  HRESULT Seek(DWORD origin, LONGLONG offset, DWORD, QWORD* pos) override {
    const int64_t base = origin == msoBegin ? 0 : origin == msoCurrent ? int64_t(fPos) : -1;
    if (base < 0) return E_INVALIDARG;
    const int64_t to = base + offset;
    if (to < 0) return E_INVALIDARG;
    fPos = QWORD(to);
    if (pos) *pos = fPos;
    return S_OK;
  }
  HRESULT Flush() override { return fFd >= 0 && fsync(fFd) != 0 && errno != EINVAL ? E_FAIL : S_OK; }
  HRESULT Close() override {
    if (fFd >= 0) ::close(fFd);
    fFd = -1;
    return S_OK;
  }

 private:
  int fFd;
  DWORD fCaps;
  QWORD fPos = 0;
};

// ---- device activation objects ----

class TDeviceActivate : public TAttributes<VX_IMFActivate> {
 public:
  explicit TDeviceActivate(TVXCaptureDevice Device) : fDevice(std::move(Device)) {}
  ~TDeviceActivate() override { DetachObject(); }
  // The device's object (made once and kept until ShutdownObject), as riid.
  HRESULT ActivateObject(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // Media Foundation asks for the device's media source, which reads its
    // FFmpeg input; other interfaces come from the device's filter.
    if (!fObject && IsEqualGUID(riid, VX_IMFMediaSource::kIID)) {
      VX_IMFMediaSource* source = nullptr;
      if (FAILED(VXMFNewDeviceMediaSource(fDevice.MediaUrl.c_str(), &source))) return E_FAIL;
      fObject = source;
    }
    if (!fObject) fObject = fDevice.Create ? fDevice.Create() : nullptr;
    if (!fObject) return E_FAIL;
    return fObject->QueryInterface(riid, ppv);
  }
  HRESULT ShutdownObject() override { return DetachObject(); }
  HRESULT DetachObject() override {
    if (fObject) fObject->Release();
    fObject = nullptr;
    return S_OK;
  }

 private:
  TVXCaptureDevice fDevice;
  IUnknown* fObject = nullptr;
};

std::atomic<int> gStartups{0};

}  // namespace

// ---- the entries ----

HRESULT VXMFPlatStartup(ULONG Version, DWORD) {
  if (Version != MF_VERSION) return MF_E_BAD_STARTUP_VERSION;
  ++gStartups;
  return S_OK;
}

HRESULT VXMFPlatShutdown() {
  int n = gStartups.load();
  while (n > 0 && !gStartups.compare_exchange_weak(n, n - 1)) {
  }
  return n > 0 ? S_OK : MF_E_NOT_INITIALIZED;
}

int VXMFPlatStartupCount() { return gStartups.load(); }

HRESULT VXMFPlatCreateAttributes(VX_IMFAttributes** pp, UINT) {
  if (!pp) return E_POINTER;
  *pp = new TAttributes<VX_IMFAttributes>();
  return S_OK;
}

HRESULT VXMFPlatCreateMediaType(VX_IMFMediaType** pp) {
  if (!pp) return E_POINTER;
  *pp = new TMediaType();
  return S_OK;
}

HRESULT VXMFPlatGetStrideForBitmapInfoHeader(DWORD format, DWORD width, LONG* stride) {
  if (!stride) return E_POINTER;
  const int64_t w = width;
  auto pad4 = [](int64_t n) { return (n + 3) & ~int64_t(3); };
  int64_t s = -1;
  switch (format) {
    case 20: s = pad4(w * 3); break;           // RGB24
    case 21:                                   // ARGB32
    case 22: s = w * 4; break;                 // RGB32
    case 23:                                   // RGB565
    case 24: s = pad4(w * 2); break;           // RGB555
    case 41: s = pad4(w); break;               // RGB8
    case VXMFFourCC('N', 'V', '1', '2'): s = pad4(w); break;
    case VXMFFourCC('Y', 'U', 'Y', '2'):
    case VXMFFourCC('U', 'Y', 'V', 'Y'):
    case VXMFFourCC('Y', 'V', 'Y', 'U'): s = w * 2; break;
    case VXMFFourCC('I', '4', '2', '0'):
    case VXMFFourCC('I', 'Y', 'U', 'V'):
    case VXMFFourCC('Y', 'V', '1', '2'): s = w; break;
    default: return MF_E_INVALIDMEDIATYPE;
  }
  if (s > INT32_MAX) return E_INVALIDARG;
  *stride = LONG(s);
  return S_OK;
}

HRESULT VXMFPlatCreateFile(MF_FILE_ACCESSMODE access, MF_FILE_OPENMODE open, MF_FILE_FLAGS, LPCWSTR url,
                           VX_IMFByteStream** pp) {
  if (!pp) return E_POINTER;
  *pp = nullptr;
  if (!url || !*url) return E_INVALIDARG;
  int flags = O_CLOEXEC;
  DWORD caps = MFBYTESTREAM_IS_SEEKABLE;
  switch (access) {
    case MF_ACCESSMODE_READ: flags |= O_RDONLY, caps |= MFBYTESTREAM_IS_READABLE; break;
    case MF_ACCESSMODE_WRITE: flags |= O_WRONLY, caps |= MFBYTESTREAM_IS_WRITABLE; break;
    case MF_ACCESSMODE_READWRITE:
      flags |= O_RDWR, caps |= MFBYTESTREAM_IS_READABLE | MFBYTESTREAM_IS_WRITABLE;
      break;
    default: return E_INVALIDARG;
  }
  switch (open) {
    case MF_OPENMODE_FAIL_IF_NOT_EXIST: break;
    case MF_OPENMODE_FAIL_IF_EXIST: flags |= O_CREAT | O_EXCL; break;
    case MF_OPENMODE_RESET_IF_EXIST: flags |= O_CREAT | O_TRUNC; break;
    case MF_OPENMODE_APPEND_IF_EXIST: flags |= O_CREAT; break;
    case MF_OPENMODE_DELETE_IF_EXIST:
      if (::unlink(url) != 0 && errno != ENOENT) return VXHResultFromErrno(errno);
      flags |= O_CREAT | O_EXCL;
      break;
    default: return E_INVALIDARG;
  }
  if ((flags & O_CREAT) && access == MF_ACCESSMODE_READ) return E_INVALIDARG;
  const int fd = ::open(url, flags, 0666);
  if (fd < 0) return VXHResultFromErrno(errno);
  auto* s = new TFileByteStream(fd, caps);
  if (open == MF_OPENMODE_APPEND_IF_EXIST) {
    QWORD len = 0;
    s->GetLength(&len);
    s->SetCurrentPosition(len);
  }
  *pp = s;
  return S_OK;
}

MFTIME VXMFPlatGetSystemTime() { return MFTIME(GetTickCount64()) * 10000; }

HRESULT VXMFPlatCreateSample(VX_IMFSample** pp) {
  if (!pp) return E_POINTER;
  *pp = new TSample();
  return S_OK;
}

HRESULT VXMFPlatCreateMemoryBuffer(DWORD max, VX_IMFMediaBuffer** pp) {
  if (!pp) return E_POINTER;
  *pp = new TMemoryBuffer(max);
  return S_OK;
}

HRESULT VXMFPlatEnumDeviceSources(VX_IMFAttributes* attrs, VX_IMFActivate*** ppp, UINT* count) {
  if (!attrs || !ppp || !count) return E_POINTER;
  *ppp = nullptr;
  *count = 0;
  GUID type{};
  if (FAILED(attrs->GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &type))) return E_INVALIDARG;
  TVXCaptureCategory category;
  if (IsEqualGUID(type, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID)) category = vxccVideoInput;
  else if (IsEqualGUID(type, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID)) category = vxccAudioInput;
  else return E_INVALIDARG;
  const std::vector<TVXCaptureDevice> devices = VXCaptureDevices(category);
  if (devices.empty()) return S_OK;
  auto** list = static_cast<VX_IMFActivate**>(CoTaskMemAlloc(devices.size() * sizeof(VX_IMFActivate*)));
  if (!list) return E_OUTOFMEMORY;
  for (size_t i = 0; i < devices.size(); ++i) {
    auto* a = new TDeviceActivate(devices[i]);
    a->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, type);
    a->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, devices[i].FriendlyName.c_str());
    list[i] = a;
  }
  *ppp = list;
  *count = UINT(devices.size());
  return S_OK;
}

void VXRegisterMediaFoundationModules() {
  auto e = [](auto f) { return reinterpret_cast<FARPROC>(f); };
  VXModules::Register("Mfplat.dll", {{"MFStartup", e(&VXMFPlatStartup)},
                                     {"MFShutdown", e(&VXMFPlatShutdown)},
                                     {"MFCreateAttributes", e(&VXMFPlatCreateAttributes)},
                                     {"MFCreateMediaType", e(&VXMFPlatCreateMediaType)},
                                     {"MFGetStrideForBitmapInfoHeader", e(&VXMFPlatGetStrideForBitmapInfoHeader)},
                                     {"MFCreateFile", e(&VXMFPlatCreateFile)},
                                     {"MFGetSystemTime", e(&VXMFPlatGetSystemTime)},
                                     {"MFCreateSample", e(&VXMFPlatCreateSample)},
                                     {"MFCreateMemoryBuffer", e(&VXMFPlatCreateMemoryBuffer)}});
  VXModules::Register("Mf.dll", {{"MFEnumDeviceSources", e(&VXMFPlatEnumDeviceSources)}});
  VXModules::Register("Mfreadwrite.dll",
                      {{"MFCreateSourceReaderFromMediaSource", e(&VXMFReadCreateSourceReaderFromMediaSource)},
                       {"MFCreateSourceReaderFromByteStream", e(&VXMFReadCreateSourceReaderFromByteStream)},
                       {"MFCreateSourceReaderFromURL", e(&VXMFReadCreateSourceReaderFromURL)}});
}

void VXRegisterMediaFoundationClasses() {
  VXRegisterComClass(CLSID_VideoProcessorMFT, &VXCreateVideoProcessorMFT, CLSCTX_INPROC_SERVER);
}

void VXUnregisterMediaFoundationClasses() { VXUnregisterComClass(CLSID_VideoProcessorMFT); }
