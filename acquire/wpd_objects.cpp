// The platform's portable-device classes over the camera stores: device
// manager, device, content, properties, resources, data streams, values,
// key and variant collections, and the object-ID enumerator.
//
// Objects get these properties: ID, parent ID, name and persistent unique ID
// (the ID); format and content type (the device and its storages:
// functional objects; folders: folders; files by their extension, see
// kByExtension; a file of another extension has no format and is a generic
// file); hidden (name beginning with ".") and system (never); size (files);
// original file name (all but the device object); creation and change dates.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "acquire/camera_store.h"
#include "acquire/wpd_api.h"
#include "acquire/wpd_records.h"
#include "acquire/wpd_sim.h"
#include "core/textutils.h"
#include "platform/win_com_enum.h"

namespace {

constexpr HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
constexpr HRESULT kTypeMismatch = HRESULT(0x80020005u);  // DISP_E_TYPEMISMATCH
constexpr DWORD kOptimalBufferSize = 256 * 1024;

template <class T, class I, class... A>
HRESULT Hand(I** out, A&&... args) {
  if (!out) return E_POINTER;
  *out = new T(std::forward<A>(args)...);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Collections

class TKeyCollection : public TVXComObject<IPortableDeviceKeyCollection> {
 public:
  HRESULT GetCount(DWORD* n) override {
    if (!n) return E_POINTER;
    *n = DWORD(fKeys.size());
    return S_OK;
  }
  HRESULT GetAt(DWORD i, PROPERTYKEY* k) override {
    if (!k) return E_POINTER;
    if (i >= fKeys.size()) return E_INVALIDARG;
    *k = fKeys[i];
    return S_OK;
  }
  HRESULT Add(REFPROPERTYKEY k) override {
    fKeys.push_back(k);
    return S_OK;
  }
  HRESULT Clear() override {
    fKeys.clear();
    return S_OK;
  }
  HRESULT RemoveAt(DWORD i) override {
    if (i >= fKeys.size()) return E_INVALIDARG;
    fKeys.erase(fKeys.begin() + i);
    return S_OK;
  }

 private:
  std::vector<PROPERTYKEY> fKeys;
};

class TPropVariantCollection : public TVXComObject<IPortableDevicePropVariantCollection> {
 public:
  ~TPropVariantCollection() override { Clear(); }
  HRESULT GetCount(DWORD* n) override {
    if (!n) return E_POINTER;
    *n = DWORD(fValues.size());
    return S_OK;
  }
  HRESULT GetAt(DWORD i, PROPVARIANT* v) override {
    if (!v) return E_POINTER;
    if (i >= fValues.size()) return E_INVALIDARG;
    return PropVariantCopy(v, &fValues[i]);
  }
  HRESULT Add(const PROPVARIANT* v) override {
    if (!v) return E_POINTER;
    PROPVARIANT c;
    const HRESULT hr = PropVariantCopy(&c, v);
    if (FAILED(hr)) return hr;
    fValues.push_back(c);
    return S_OK;
  }
  // The kind of the first entry (VT_EMPTY when there is none).
  HRESULT GetType(VARTYPE* vt) override {
    if (!vt) return E_POINTER;
    *vt = fValues.empty() ? VARTYPE(VT_EMPTY) : fValues[0].vt;
    return S_OK;
  }
  // Only to the kind every entry has already.
  HRESULT ChangeType(VARTYPE vt) override {
    for (const PROPVARIANT& v : fValues)
      if (v.vt != vt) return kTypeMismatch;
    return S_OK;
  }
  HRESULT Clear() override {
    for (PROPVARIANT& v : fValues) PropVariantClear(&v);
    fValues.clear();
    return S_OK;
  }
  HRESULT RemoveAt(DWORD i) override {
    if (i >= fValues.size()) return E_INVALIDARG;
    PropVariantClear(&fValues[i]);
    fValues.erase(fValues.begin() + i);
    return S_OK;
  }

 private:
  std::vector<PROPVARIANT> fValues;
};

class TValues : public TVXComObject<IPortableDeviceValues> {
 public:
  ~TValues() override { Clear(); }
  HRESULT GetCount(DWORD* n) override {
    if (!n) return E_POINTER;
    *n = DWORD(fItems.size());
    return S_OK;
  }
  HRESULT GetAt(DWORD i, PROPERTYKEY* k, PROPVARIANT* v) override {
    if (i >= fItems.size()) return E_INVALIDARG;
    if (k) *k = fItems[i].first;
    return v ? PropVariantCopy(v, &fItems[i].second) : S_OK;
  }
  HRESULT SetValue(REFPROPERTYKEY k, const PROPVARIANT* v) override {
    if (!v) return E_POINTER;
    PROPVARIANT c;
    const HRESULT hr = PropVariantCopy(&c, v);
    if (FAILED(hr)) return hr;
    Put(k, c);
    return S_OK;
  }
  HRESULT GetValue(REFPROPERTYKEY k, PROPVARIANT* v) override {
    if (!v) return E_POINTER;
    const PROPVARIANT* p = Find(k);
    if (!p) return kNotFound;
    return PropVariantCopy(v, p);
  }
  HRESULT SetStringValue(REFPROPERTYKEY k, LPCWSTR s) override {
    if (!s) return E_POINTER;
    PROPVARIANT v;
    const HRESULT hr = InitPropVariantFromString(s, &v);
    if (SUCCEEDED(hr)) Put(k, v);
    return hr;
  }
  HRESULT GetStringValue(REFPROPERTYKEY k, LPWSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    const PROPVARIANT* p = Find(k);
    if (!p) return kNotFound;
    if (p->vt == VT_LPWSTR) *out = VXCoTaskStrDup(VXStr(p->pwszVal));
    else if (p->vt == VT_CLSID && p->puuid) *out = VXCoTaskStrDup(VXGUIDToString(*p->puuid));
    else if (p->vt == VT_ERROR) return p->scode;
    else return kTypeMismatch;
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT SetUnsignedIntegerValue(REFPROPERTYKEY k, ULONG x) override { return PutPlain(k, VT_UI4, [&](PROPVARIANT& v) { v.ulVal = x; }); }
  HRESULT GetUnsignedIntegerValue(REFPROPERTYKEY k, ULONG* x) override {
    return GetPlain(k, x, [](const PROPVARIANT& v, ULONG& o) { return v.vt == VT_UI4 ? (o = v.ulVal, true) : false; });
  }
  HRESULT SetSignedIntegerValue(REFPROPERTYKEY k, int32_t x) override { return PutPlain(k, VT_I4, [&](PROPVARIANT& v) { v.lVal = x; }); }
  HRESULT GetSignedIntegerValue(REFPROPERTYKEY k, int32_t* x) override {
    return GetPlain(k, x, [](const PROPVARIANT& v, int32_t& o) { return v.vt == VT_I4 ? (o = v.lVal, true) : false; });
  }
  HRESULT SetUnsignedLargeIntegerValue(REFPROPERTYKEY k, uint64_t x) override { return PutPlain(k, VT_UI8, [&](PROPVARIANT& v) { v.uhVal = x; }); }
  HRESULT GetUnsignedLargeIntegerValue(REFPROPERTYKEY k, uint64_t* x) override {
    return GetPlain(k, x, [](const PROPVARIANT& v, uint64_t& o) {
      if (v.vt == VT_UI8) o = v.uhVal;
      else if (v.vt == VT_UI4) o = v.ulVal;
      else return false;
      return true;
    });
  }
  HRESULT SetSignedLargeIntegerValue(REFPROPERTYKEY k, int64_t x) override { return PutPlain(k, VT_I8, [&](PROPVARIANT& v) { v.hVal = x; }); }
  HRESULT GetSignedLargeIntegerValue(REFPROPERTYKEY k, int64_t* x) override {
    return GetPlain(k, x, [](const PROPVARIANT& v, int64_t& o) { return v.vt == VT_I8 ? (o = v.hVal, true) : false; });
  }
  HRESULT SetFloatValue(REFPROPERTYKEY k, float x) override { return PutPlain(k, VT_R4, [&](PROPVARIANT& v) { v.fltVal = x; }); }
  HRESULT GetFloatValue(REFPROPERTYKEY k, float* x) override {
    return GetPlain(k, x, [](const PROPVARIANT& v, float& o) { return v.vt == VT_R4 ? (o = v.fltVal, true) : false; });
  }
  HRESULT SetErrorValue(REFPROPERTYKEY k, HRESULT x) override { return PutPlain(k, VT_ERROR, [&](PROPVARIANT& v) { v.scode = x; }); }
  HRESULT GetErrorValue(REFPROPERTYKEY k, HRESULT* x) override {
    return GetPlain(k, x, [](const PROPVARIANT& v, HRESULT& o) { return v.vt == VT_ERROR ? (o = v.scode, true) : false; });
  }
  // Keys, interfaces and nested collections are not values this layer keeps.
  HRESULT SetKeyValue(REFPROPERTYKEY, REFPROPERTYKEY) override { return kNotSupported; }
  HRESULT GetKeyValue(REFPROPERTYKEY, PROPERTYKEY*) override { return kNotSupported; }
  HRESULT SetBoolValue(REFPROPERTYKEY k, BOOL x) override {
    return PutPlain(k, VT_BOOL, [&](PROPVARIANT& v) { v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  HRESULT GetBoolValue(REFPROPERTYKEY k, BOOL* x) override {
    return GetPlain(k, x, [](const PROPVARIANT& v, BOOL& o) { return v.vt == VT_BOOL ? (o = v.boolVal ? 1 : 0, true) : false; });
  }
  HRESULT SetIUnknownValue(REFPROPERTYKEY, IUnknown*) override { return kNotSupported; }
  HRESULT GetIUnknownValue(REFPROPERTYKEY, IUnknown** p) override { return NoInterface(p); }
  HRESULT SetGuidValue(REFPROPERTYKEY k, REFGUID g) override {
    PROPVARIANT v;
    const HRESULT hr = InitPropVariantFromCLSID(g, &v);
    if (SUCCEEDED(hr)) Put(k, v);
    return hr;
  }
  HRESULT GetGuidValue(REFPROPERTYKEY k, GUID* g) override {
    return GetPlain(k, g, [](const PROPVARIANT& v, GUID& o) { return v.vt == VT_CLSID && v.puuid ? (o = *v.puuid, true) : false; });
  }
  HRESULT SetBufferValue(REFPROPERTYKEY k, BYTE* p, DWORD n) override {
    if (!p && n) return E_POINTER;
    PROPVARIANT v;
    v.vt = VT_VECTOR | VT_UI1;
    v.caub.cElems = n;
    v.caub.pElems = nullptr;
    if (n) {
      v.caub.pElems = static_cast<uint8_t*>(CoTaskMemAlloc(n));
      if (!v.caub.pElems) return E_OUTOFMEMORY;
      std::memcpy(v.caub.pElems, p, n);
    }
    Put(k, v);
    return S_OK;
  }
  HRESULT GetBufferValue(REFPROPERTYKEY k, BYTE** p, DWORD* n) override {
    if (!p || !n) return E_POINTER;
    *p = nullptr;
    *n = 0;
    const PROPVARIANT* v = Find(k);
    if (!v) return kNotFound;
    if (v->vt != (VT_VECTOR | VT_UI1)) return kTypeMismatch;
    *p = static_cast<BYTE*>(CoTaskMemAlloc(v->caub.cElems));
    if (!*p) return E_OUTOFMEMORY;
    if (v->caub.cElems) std::memcpy(*p, v->caub.pElems, v->caub.cElems);
    *n = v->caub.cElems;
    return S_OK;
  }
  HRESULT SetIPortableDeviceValuesValue(REFPROPERTYKEY, IPortableDeviceValues*) override { return kNotSupported; }
  HRESULT GetIPortableDeviceValuesValue(REFPROPERTYKEY, IPortableDeviceValues** p) override { return NoInterface(p); }
  HRESULT SetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY, IPortableDevicePropVariantCollection*) override {
    return kNotSupported;
  }
  HRESULT GetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY,
                                                       IPortableDevicePropVariantCollection** p) override {
    return NoInterface(p);
  }
  HRESULT SetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY, IPortableDeviceKeyCollection*) override {
    return kNotSupported;
  }
  HRESULT GetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY, IPortableDeviceKeyCollection** p) override {
    return NoInterface(p);
  }
  HRESULT SetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY, IPortableDeviceValuesCollection*) override {
    return kNotSupported;
  }
  HRESULT GetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY, IPortableDeviceValuesCollection** p) override {
    return NoInterface(p);
  }
  HRESULT RemoveValue(REFPROPERTYKEY k) override {
    for (size_t i = 0; i < fItems.size(); ++i)
      if (VXSameKey(fItems[i].first, k)) {
        PropVariantClear(&fItems[i].second);
        fItems.erase(fItems.begin() + std::ptrdiff_t(i));
        return S_OK;
      }
    return kNotFound;
  }
  // There is no property store on this platform.
  HRESULT CopyValuesFromPropertyStore(IPropertyStore*) override { return kNotSupported; }
  HRESULT CopyValuesToPropertyStore(IPropertyStore*) override { return kNotSupported; }
  HRESULT Clear() override {
    for (auto& item : fItems) PropVariantClear(&item.second);
    fItems.clear();
    return S_OK;
  }

  // Takes over v (no copy).
  void Put(REFPROPERTYKEY k, PROPVARIANT& v) {
    for (auto& item : fItems)
      if (VXSameKey(item.first, k)) {
        PropVariantClear(&item.second);
        item.second = v;
        return;
      }
    fItems.emplace_back(k, v);
  }
  const PROPVARIANT* Find(REFPROPERTYKEY k) const {
    for (const auto& item : fItems)
      if (VXSameKey(item.first, k)) return &item.second;
    return nullptr;
  }

 private:
  template <class F>
  HRESULT PutPlain(REFPROPERTYKEY k, VARTYPE vt, F set) {
    PROPVARIANT v;
    v.vt = vt;
    set(v);
    Put(k, v);
    return S_OK;
  }
  template <class T, class F>
  HRESULT GetPlain(REFPROPERTYKEY k, T* out, F get) {
    if (!out) return E_POINTER;
    const PROPVARIANT* p = Find(k);
    if (!p) return kNotFound;
    if (p->vt == VT_ERROR) return p->scode;
    return get(*p, *out) ? S_OK : kTypeMismatch;
  }
  template <class T>
  static HRESULT NoInterface(T** p) {
    if (!p) return E_POINTER;
    *p = nullptr;
    return kNotSupported;
  }

  std::vector<std::pair<PROPERTYKEY, PROPVARIANT>> fItems;
};

// ---------------------------------------------------------------------------
// Object properties

struct TExtensionKind {
  const char* Ext;
  TWPDObjectFormat Format;
  TWPDContentType Content;
};

// Formats and content types of files by extension.
constexpr TExtensionKind kByExtension[] = {
    {".jpg", _WPD_OBJECT_FORMAT_EXIF, _WPD_CONTENT_TYPE_IMAGE},
    {".jpeg", _WPD_OBJECT_FORMAT_EXIF, _WPD_CONTENT_TYPE_IMAGE},
    {".jpe", _WPD_OBJECT_FORMAT_EXIF, _WPD_CONTENT_TYPE_IMAGE},
    {".jfif", _WPD_OBJECT_FORMAT_JFIF, _WPD_CONTENT_TYPE_IMAGE},
    {".bmp", _WPD_OBJECT_FORMAT_BMP, _WPD_CONTENT_TYPE_IMAGE},
    {".gif", _WPD_OBJECT_FORMAT_GIF, _WPD_CONTENT_TYPE_IMAGE},
    {".png", _WPD_OBJECT_FORMAT_PNG, _WPD_CONTENT_TYPE_IMAGE},
    {".tif", _WPD_OBJECT_FORMAT_TIFF, _WPD_CONTENT_TYPE_IMAGE},
    {".tiff", _WPD_OBJECT_FORMAT_TIFF, _WPD_CONTENT_TYPE_IMAGE},
    {".jp2", _WPD_OBJECT_FORMAT_JP2, _WPD_CONTENT_TYPE_IMAGE},
    {".jpx", _WPD_OBJECT_FORMAT_JPX, _WPD_CONTENT_TYPE_IMAGE},
    {".crw", _WPD_OBJECT_FORMAT_CIFF, _WPD_CONTENT_TYPE_IMAGE},
    {".pcd", _WPD_OBJECT_FORMAT_PCD, _WPD_CONTENT_TYPE_IMAGE},
    {".pct", _WPD_OBJECT_FORMAT_PICT, _WPD_CONTENT_TYPE_IMAGE},
    {".pict", _WPD_OBJECT_FORMAT_PICT, _WPD_CONTENT_TYPE_IMAGE},
    {".fpx", _WPD_OBJECT_FORMAT_FLASHPIX, _WPD_CONTENT_TYPE_IMAGE},
    {".ico", _WPD_OBJECT_FORMAT_ICON, _WPD_CONTENT_TYPE_IMAGE},
    {".wdp", _WPD_OBJECT_FORMAT_WINDOWSIMAGEFORMAT, _WPD_CONTENT_TYPE_IMAGE},
    {".hdp", _WPD_OBJECT_FORMAT_WINDOWSIMAGEFORMAT, _WPD_CONTENT_TYPE_IMAGE},
    {".jxr", _WPD_OBJECT_FORMAT_WINDOWSIMAGEFORMAT, _WPD_CONTENT_TYPE_IMAGE},
    {".mp3", _WPD_OBJECT_FORMAT_MP3, _WPD_CONTENT_TYPE_AUDIO},
    {".wav", _WPD_OBJECT_FORMAT_WAVE, _WPD_CONTENT_TYPE_AUDIO},
    {".wma", _WPD_OBJECT_FORMAT_WMA, _WPD_CONTENT_TYPE_AUDIO},
    {".aac", _WPD_OBJECT_FORMAT_AAC, _WPD_CONTENT_TYPE_AUDIO},
    {".m4a", _WPD_OBJECT_FORMAT_M4A, _WPD_CONTENT_TYPE_AUDIO},
    {".ogg", _WPD_OBJECT_FORMAT_OGG, _WPD_CONTENT_TYPE_AUDIO},
    {".flac", _WPD_OBJECT_FORMAT_FLAC, _WPD_CONTENT_TYPE_AUDIO},
    {".aif", _WPD_OBJECT_FORMAT_AIFF, _WPD_CONTENT_TYPE_AUDIO},
    {".aiff", _WPD_OBJECT_FORMAT_AIFF, _WPD_CONTENT_TYPE_AUDIO},
    {".aa", _WPD_OBJECT_FORMAT_AUDIBLE, _WPD_CONTENT_TYPE_AUDIO},
    {".avi", _WPD_OBJECT_FORMAT_AVI, _WPD_CONTENT_TYPE_VIDEO},
    {".mpg", _WPD_OBJECT_FORMAT_MPEG, _WPD_CONTENT_TYPE_VIDEO},
    {".mpeg", _WPD_OBJECT_FORMAT_MPEG, _WPD_CONTENT_TYPE_VIDEO},
    {".mp4", _WPD_OBJECT_FORMAT_MP4, _WPD_CONTENT_TYPE_VIDEO},
    {".3gp", _WPD_OBJECT_FORMAT_3GP, _WPD_CONTENT_TYPE_VIDEO},
    {".wmv", _WPD_OBJECT_FORMAT_WMV, _WPD_CONTENT_TYPE_VIDEO},
    {".asf", _WPD_OBJECT_FORMAT_ASF, _WPD_CONTENT_TYPE_VIDEO},
    {".txt", _WPD_OBJECT_FORMAT_TEXT, _WPD_CONTENT_TYPE_DOCUMENT},
    {".htm", _WPD_OBJECT_FORMAT_HTML, _WPD_CONTENT_TYPE_DOCUMENT},
    {".html", _WPD_OBJECT_FORMAT_HTML, _WPD_CONTENT_TYPE_DOCUMENT},
    {".xml", _WPD_OBJECT_FORMAT_XML, _WPD_CONTENT_TYPE_DOCUMENT},
    {".mht", _WPD_OBJECT_FORMAT_MHT_COMPILED_HTML, _WPD_CONTENT_TYPE_DOCUMENT},
    {".doc", _WPD_OBJECT_FORMAT_MICROSOFT_WORD, _WPD_CONTENT_TYPE_DOCUMENT},
    {".docx", _WPD_OBJECT_FORMAT_MICROSOFT_WORD, _WPD_CONTENT_TYPE_DOCUMENT},
    {".xls", _WPD_OBJECT_FORMAT_MICROSOFT_EXCEL, _WPD_CONTENT_TYPE_DOCUMENT},
    {".xlsx", _WPD_OBJECT_FORMAT_MICROSOFT_EXCEL, _WPD_CONTENT_TYPE_DOCUMENT},
    {".ppt", _WPD_OBJECT_FORMAT_MICROSOFT_POWERPOINT, _WPD_CONTENT_TYPE_DOCUMENT},
    {".pptx", _WPD_OBJECT_FORMAT_MICROSOFT_POWERPOINT, _WPD_CONTENT_TYPE_DOCUMENT},
    {".exe", _WPD_OBJECT_FORMAT_EXECUTABLE, _WPD_CONTENT_TYPE_PROGRAM},
    {".m3u", _WPD_OBJECT_FORMAT_M3UPLAYLIST, _WPD_CONTENT_TYPE_PLAYLIST},
    {".pls", _WPD_OBJECT_FORMAT_PLSPLAYLIST, _WPD_CONTENT_TYPE_PLAYLIST},
    {".wpl", _WPD_OBJECT_FORMAT_WPLPLAYLIST, _WPD_CONTENT_TYPE_PLAYLIST},
    {".asx", _WPD_OBJECT_FORMAT_ASXPLAYLIST, _WPD_CONTENT_TYPE_PLAYLIST},
    {".vcf", _WPD_OBJECT_FORMAT_VCARD3, _WPD_CONTENT_TYPE_CONTACT},
    {".ics", _WPD_OBJECT_FORMAT_ICALENDAR, _WPD_CONTENT_TYPE_APPOINTMENT},
    {".vcs", _WPD_OBJECT_FORMAT_VCALENDAR1, _WPD_CONTENT_TYPE_CALENDAR},
    {".cer", _WPD_OBJECT_FORMAT_X509V3CERTIFICATE, _WPD_CONTENT_TYPE_CERTIFICATE},
    {".crt", _WPD_OBJECT_FORMAT_X509V3CERTIFICATE, _WPD_CONTENT_TYPE_CERTIFICATE},
    {".mrk", _WPD_OBJECT_FORMAT_DPOF, _WPD_CONTENT_TYPE_GENERIC_FILE},
};

void FormatAndContentOf(const TVXStoreEntry& E, TWPDObjectFormat& Format, TWPDContentType& Content) {
  switch (E.Kind) {
    case vxskDevice:
    case vxskStorage:
      Format = _WPD_OBJECT_FORMAT_PROPERTIES_ONLY;
      Content = _WPD_CONTENT_TYPE_FUNCTIONAL_OBJECT;
      return;
    case vxskFolder:
      Format = _WPD_OBJECT_FORMAT_PROPERTIES_ONLY;
      Content = _WPD_CONTENT_TYPE_FOLDER;
      return;
    case vxskFile:
      break;
  }
  Format = _WPD_OBJECT_FORMAT_UNKNOWN;
  Content = _WPD_CONTENT_TYPE_GENERIC_FILE;
  const std::string ext = VXLowerFileExt(E.Name, true);
  for (const TExtensionKind& k : kByExtension)
    if (ext == k.Ext) {
      Format = k.Format;
      Content = k.Content;
      return;
    }
}

// Every property of an object.
TValues* ValuesOf(const TVXStoreEntry& E) {
  auto* v = new TValues;
  v->SetStringValue(WPD_OBJECT_ID, E.ID.c_str());
  v->SetStringValue(WPD_OBJECT_PARENT_ID, E.ParentID.c_str());
  v->SetStringValue(WPD_OBJECT_NAME, E.Name.c_str());
  v->SetStringValue(WPD_OBJECT_PERSISTENT_UNIQUE_ID, E.ID.c_str());
  TWPDObjectFormat format;
  TWPDContentType content;
  FormatAndContentOf(E, format, content);
  if (format != _WPD_OBJECT_FORMAT_UNKNOWN) v->SetGuidValue(WPD_OBJECT_FORMAT, VXWPDObjectFormatGUID(format));
  v->SetGuidValue(WPD_OBJECT_CONTENT_TYPE, VXWPDContentTypeGUID(content));
  v->SetBoolValue(WPD_OBJECT_ISHIDDEN, E.Hidden);
  v->SetBoolValue(WPD_OBJECT_ISSYSTEM, E.System);
  if (E.Kind == vxskFile) v->SetUnsignedLargeIntegerValue(WPD_OBJECT_SIZE, E.Size);
  if (E.Kind != vxskDevice) v->SetStringValue(WPD_OBJECT_ORIGINAL_FILE_NAME, E.Name.c_str());
  for (const auto& [key, date] : {std::pair{WPD_OBJECT_DATE_CREATED, E.DateCreated},
                                  std::pair{WPD_OBJECT_DATE_MODIFIED, E.DateModified}}) {
    PROPVARIANT d;
    d.vt = VT_DATE;
    d.date = date;
    v->SetValue(key, &d);
  }
  return v;
}

// ---------------------------------------------------------------------------
// One open connection to a device, shared by the objects it hands out.

struct TSession {
  TVXStoreDevice Device;
  VXWPDSim::TFaults Faults;
  bool Open = true;
  bool Writable = false;
};
using TSessionPtr = std::shared_ptr<TSession>;

// Depth of an object in the device's tree (the device object 0), following
// parent IDs; -1 when the chain does not reach the device object.
int DepthOf(TVXCameraStore& Store, const std::string& ID) {
  std::string id = ID;
  for (int depth = 0; depth < 4096; ++depth) {
    if (id == WPD_DEVICE_OBJECT_ID) return depth;
    TVXStoreEntry e;
    if (FAILED(Store.Entry(id, e))) return -1;
    id = e.ParentID;
  }
  return -1;
}

class TEnumIDs : public TVXComEnum<TEnumIDs, IEnumPortableDeviceObjectIDs, std::string, LPWSTR> {
 public:
  using TVXComEnum::TVXComEnum;
  static bool Hand(const std::string& ID, LPWSTR& Out) {
    Out = VXCoTaskStrDup(ID);
    return Out != nullptr;
  }
  HRESULT Cancel() override { return S_OK; }
};

// A data stream of the device: reads may fail after a set number of bytes,
// writes and the commit of a new object as the driver says.
class TDataStream : public TVXStreamBase<IPortableDeviceDataStream> {
 public:
  TDataStream(IStream* Inner, std::string ObjectID, int64_t ReadLimit, HRESULT WriteFailure, HRESULT CommitFailure)
      : fInner(Inner),
        fObjectID(std::move(ObjectID)),
        fReadLimit(ReadLimit),
        fWriteFailure(WriteFailure),
        fCommitFailure(CommitFailure) {}
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead) *pcbRead = 0;
    ULONG want = cb;
    if (fReadLimit >= 0) {
      if (fRead >= uint64_t(fReadLimit)) return STG_E_READFAULT;
      want = ULONG(std::min<uint64_t>(cb, uint64_t(fReadLimit) - fRead));
    }
    ULONG got = 0;
    const HRESULT hr = fInner->Read(pv, want, &got);
    fRead += got;
    if (pcbRead) *pcbRead = got;
    if (FAILED(hr)) return hr;
    return got == cb ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (fWriteFailure != S_OK) return fWriteFailure;
    return fInner->Write(pv, cb, pcbWritten);
  }
  HRESULT Seek(int64_t m, DWORD o, uint64_t* p) override { return fInner->Seek(m, o, p); }
  HRESULT SetSize(uint64_t n) override { return fInner->SetSize(n); }
  HRESULT Commit(DWORD flags) override {
    if (fCommitFailure != S_OK) return fCommitFailure;
    return fInner->Commit(flags);
  }
  HRESULT Stat(STATSTG* s, DWORD f) override { return fInner->Stat(s, f | STATFLAG_NONAME); }
  HRESULT GetObjectID(LPWSTR* out) override {
    if (!out) return E_POINTER;
    *out = VXCoTaskStrDup(fObjectID);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT Cancel() override { return S_OK; }

 private:
  TVXComPtr<IStream> fInner;
  std::string fObjectID;
  int64_t fReadLimit;
  uint64_t fRead = 0;
  HRESULT fWriteFailure, fCommitFailure;
};

class TProperties : public TVXComObject<IPortableDeviceProperties> {
 public:
  explicit TProperties(TSessionPtr S) : fSession(std::move(S)) {}
  HRESULT GetSupportedProperties(LPCWSTR id, IPortableDeviceKeyCollection** keys) override {
    if (!keys) return E_POINTER;
    *keys = nullptr;
    TVXComPtr<TValues> values;
    const HRESULT hr = Read(id, &values);
    if (FAILED(hr)) return hr;
    auto* k = new TKeyCollection;
    DWORD n = 0;
    values->GetCount(&n);
    for (DWORD i = 0; i < n; ++i) {
      PROPERTYKEY key;
      values->GetAt(i, &key, nullptr);
      k->Add(key);
    }
    *keys = k;
    return S_OK;
  }
  HRESULT GetPropertyAttributes(LPCWSTR, REFPROPERTYKEY, IPortableDeviceValues** p) override {
    if (p) *p = nullptr;
    return kNotSupported;
  }
  HRESULT GetValues(LPCWSTR id, IPortableDeviceKeyCollection* keys, IPortableDeviceValues** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    TVXComPtr<TValues> values;
    const HRESULT hr = Read(id, &values);
    if (FAILED(hr)) return hr;
    if (!keys) {
      *out = values.Detach();
      return S_OK;
    }
    auto* picked = new TValues;
    DWORD n = 0;
    keys->GetCount(&n);
    for (DWORD i = 0; i < n; ++i) {
      PROPERTYKEY key;
      if (FAILED(keys->GetAt(i, &key))) continue;
      if (const PROPVARIANT* v = values->Find(key)) picked->SetValue(key, v);
    }
    *out = picked;
    return S_OK;
  }
  // The stores' properties are read-only.
  HRESULT SetValues(LPCWSTR, IPortableDeviceValues*, IPortableDeviceValues** r) override {
    if (r) *r = nullptr;
    return E_ACCESSDENIED;
  }
  HRESULT Delete(LPCWSTR, IPortableDeviceKeyCollection*) override { return E_ACCESSDENIED; }
  HRESULT Cancel() override { return S_OK; }

 private:
  // The values of an object; the last object's are kept for the next call,
  // as a listing asks for the supported keys and then for the values.
  HRESULT Read(LPCWSTR id, TValues** out) {
    if (!id) return E_POINTER;
    if (!fSession->Open) return E_WPD_DEVICE_NOT_OPEN;
    if (!fLast || fLastID != id) {
      TVXStoreEntry e;
      const HRESULT hr = fSession->Device.Store->Entry(id, e);
      if (FAILED(hr)) return hr;
      *&fLast = ValuesOf(e);
      fLastID = id;
    }
    auto* copy = new TValues;
    DWORD n = 0;
    fLast->GetCount(&n);
    for (DWORD i = 0; i < n; ++i) {
      PROPERTYKEY k;
      fLast->GetAt(i, &k, nullptr);
      copy->SetValue(k, fLast->Find(k));
    }
    *out = copy;
    return S_OK;
  }
  TSessionPtr fSession;
  TVXComPtr<TValues> fLast;
  std::string fLastID;
};

class TResources : public TVXComObject<IPortableDeviceResources> {
 public:
  explicit TResources(TSessionPtr S) : fSession(std::move(S)) {}
  HRESULT GetSupportedResources(LPCWSTR id, IPortableDeviceKeyCollection** keys) override {
    if (!keys || !id) return E_POINTER;
    *keys = nullptr;
    if (!fSession->Open) return E_WPD_DEVICE_NOT_OPEN;
    TVXStoreEntry e;
    const HRESULT hr = fSession->Device.Store->Entry(id, e);
    if (FAILED(hr)) return hr;
    auto* k = new TKeyCollection;
    if (e.Kind == vxskFile) k->Add(WPD_RESOURCE_DEFAULT);
    *keys = k;
    return S_OK;
  }
  HRESULT GetResourceAttributes(LPCWSTR, REFPROPERTYKEY, IPortableDeviceValues** p) override {
    if (p) *p = nullptr;
    return kNotSupported;
  }
  // The default resource of a file, for reading.
  HRESULT GetStream(LPCWSTR id, REFPROPERTYKEY key, DWORD mode, DWORD* optimal, IStream** out) override {
    if (!out || !id) return E_POINTER;
    *out = nullptr;
    if (!fSession->Open) return E_WPD_DEVICE_NOT_OPEN;
    if (!VXSameKey(key, WPD_RESOURCE_DEFAULT)) return kNotSupported;
    if ((mode & 3) != STGM_READ) return fSession->Writable ? kNotSupported : E_ACCESSDENIED;
    TVXStoreEntry e;
    HRESULT hr = fSession->Device.Store->Entry(id, e);
    if (FAILED(hr)) return hr;
    IStream* inner = nullptr;
    hr = fSession->Device.Store->OpenRead(id, &inner);
    if (FAILED(hr)) return hr;
    if (optimal) *optimal = kOptimalBufferSize;
    const VXWPDSim::TFaults faults = VXWPDSim::WithNameFaults(fSession->Faults, e.Name);
    *out = new TDataStream(inner, id, faults.ReadErrorAfter, E_ACCESSDENIED, S_OK);
    return S_OK;
  }
  HRESULT Delete(LPCWSTR, IPortableDeviceKeyCollection*) override { return E_ACCESSDENIED; }
  HRESULT Cancel() override { return S_OK; }
  HRESULT CreateResource(IPortableDeviceValues*, IStream** data, DWORD*, LPWSTR* cookie) override {
    if (data) *data = nullptr;
    if (cookie) *cookie = nullptr;
    return kNotSupported;
  }

 private:
  TSessionPtr fSession;
};

std::string StringOf(IPortableDeviceValues* v, REFPROPERTYKEY k) {
  LPWSTR s = nullptr;
  if (FAILED(v->GetStringValue(k, &s)) || !s) return {};
  std::string r = s;
  CoTaskMemFree(s);
  return r;
}

class TContent : public TVXComObject<IPortableDeviceContent> {
 public:
  explicit TContent(TSessionPtr S) : fSession(std::move(S)) {}
  HRESULT EnumObjects(DWORD, LPCWSTR parent, IPortableDeviceValues*, IEnumPortableDeviceObjectIDs** out) override {
    if (!out || !parent) return E_POINTER;
    *out = nullptr;
    if (!fSession->Open) return E_WPD_DEVICE_NOT_OPEN;
    std::vector<std::string> ids;
    if (!*parent) {
      ids.push_back(WPD_DEVICE_OBJECT_ID);
    } else {
      TVXCameraStore& store = *fSession->Device.Store;
      const VXWPDSim::TFaults& f = fSession->Faults;
      if (f.EnumFailureDepth >= 0 && DepthOf(store, parent) == f.EnumFailureDepth) return f.EnumFailure;
      const HRESULT hr = store.Children(parent, ids);
      if (FAILED(hr)) return hr;
    }
    *out = new TEnumIDs(std::move(ids));
    return S_OK;
  }
  HRESULT Properties(IPortableDeviceProperties** out) override { return Hand<TProperties>(out, fSession); }
  HRESULT Transfer(IPortableDeviceResources** out) override { return Hand<TResources>(out, fSession); }
  // A folder (content type folder) in the parent named.
  HRESULT CreateObjectWithPropertiesOnly(IPortableDeviceValues* values, LPWSTR* id) override {
    if (!values) return E_POINTER;
    if (id) *id = nullptr;
    std::string parent, name;
    HRESULT hr = NewObject(values, parent, name);
    if (FAILED(hr)) return hr;
    GUID content;
    if (FAILED(values->GetGuidValue(WPD_OBJECT_CONTENT_TYPE, &content)) ||
        !IsEqualGUID(content, WPD_CONTENT_TYPE_FOLDER))
      return E_INVALIDARG;
    std::string newID;
    hr = fSession->Device.Store->CreateFolder(parent, name, newID);
    if (SUCCEEDED(hr) && id) *id = VXCoTaskStrDup(newID);
    return hr;
  }
  // A file: the data stream takes its bytes and Commit makes it appear.
  HRESULT CreateObjectWithPropertiesAndData(IPortableDeviceValues* values, IStream** data, DWORD* optimal,
                                            LPWSTR* cookie) override {
    if (!values || !data) return E_POINTER;
    *data = nullptr;
    if (cookie) *cookie = nullptr;
    std::string parent, name;
    HRESULT hr = NewObject(values, parent, name);
    if (FAILED(hr)) return hr;
    IStream* inner = nullptr;
    std::string newID;
    hr = fSession->Device.Store->CreateFile(parent, name, &inner, newID);
    if (FAILED(hr)) return hr;
    if (optimal) *optimal = kOptimalBufferSize;
    const VXWPDSim::TFaults faults = VXWPDSim::WithNameFaults(fSession->Faults, name);
    *data = new TDataStream(inner, newID, -1, faults.WriteFailure, faults.CommitFailure);
    return S_OK;
  }
  // One result per ID (VT_ERROR); S_OK when every deletion succeeded,
  // S_FALSE when some did, else the first failure.
  HRESULT Delete(DWORD options, IPortableDevicePropVariantCollection* ids,
                 IPortableDevicePropVariantCollection** results) override {
    if (!ids) return E_POINTER;
    if (results) *results = nullptr;
    if (!fSession->Open) return E_WPD_DEVICE_NOT_OPEN;
    DWORD n = 0;
    ids->GetCount(&n);
    auto* r = new TPropVariantCollection;
    HRESULT first = S_OK;
    DWORD failed = 0;
    for (DWORD i = 0; i < n; ++i) {
      PROPVARIANT v;
      HRESULT hr = ids->GetAt(i, &v);
      if (SUCCEEDED(hr)) {
        if (v.vt != VT_LPWSTR || !v.pwszVal) hr = E_INVALIDARG;
        else if (!fSession->Writable) hr = E_ACCESSDENIED;
        else hr = fSession->Device.Store->Delete(v.pwszVal, options == PORTABLE_DEVICE_DELETE_WITH_RECURSION);
        PropVariantClear(&v);
      }
      PROPVARIANT e;
      e.vt = VT_ERROR;
      e.scode = hr;
      r->Add(&e);
      if (FAILED(hr)) {
        if (!failed) first = hr;
        ++failed;
      }
    }
    if (results) *results = r;
    else r->Release();
    if (!failed) return S_OK;
    return failed < n ? S_FALSE : first;
  }
  // Persistent IDs are the object IDs; an unknown one gives an empty ID.
  HRESULT GetObjectIDsFromPersistentUniqueIDs(IPortableDevicePropVariantCollection* in,
                                              IPortableDevicePropVariantCollection** out) override {
    if (!in || !out) return E_POINTER;
    *out = nullptr;
    if (!fSession->Open) return E_WPD_DEVICE_NOT_OPEN;
    DWORD n = 0;
    in->GetCount(&n);
    auto* r = new TPropVariantCollection;
    for (DWORD i = 0; i < n; ++i) {
      PROPVARIANT v;
      std::string id;
      if (SUCCEEDED(in->GetAt(i, &v)) && v.vt == VT_LPWSTR && v.pwszVal) {
        TVXStoreEntry e;
        if (SUCCEEDED(fSession->Device.Store->Entry(v.pwszVal, e))) id = v.pwszVal;
      }
      PropVariantClear(&v);
      PROPVARIANT s;
      InitPropVariantFromString(id.c_str(), &s);
      r->Add(&s);
      PropVariantClear(&s);
    }
    *out = r;
    return S_OK;
  }
  HRESULT Cancel() override { return S_OK; }
  // The stores do not move or copy objects inside the device.
  HRESULT Move(IPortableDevicePropVariantCollection*, LPCWSTR, IPortableDevicePropVariantCollection** r) override {
    if (r) *r = nullptr;
    return kNotSupported;
  }
  HRESULT Copy(IPortableDevicePropVariantCollection*, LPCWSTR, IPortableDevicePropVariantCollection** r) override {
    if (r) *r = nullptr;
    return kNotSupported;
  }

 private:
  // The parent and name of a new object: WPD_OBJECT_PARENT_ID, and
  // WPD_OBJECT_ORIGINAL_FILE_NAME or else WPD_OBJECT_NAME.
  HRESULT NewObject(IPortableDeviceValues* values, std::string& parent, std::string& name) {
    if (!fSession->Open) return E_WPD_DEVICE_NOT_OPEN;
    if (!fSession->Writable) return E_ACCESSDENIED;
    parent = StringOf(values, WPD_OBJECT_PARENT_ID);
    name = StringOf(values, WPD_OBJECT_ORIGINAL_FILE_NAME);
    if (name.empty()) name = StringOf(values, WPD_OBJECT_NAME);
    if (parent.empty() || name.empty()) return E_INVALIDARG;
    return S_OK;
  }
  TSessionPtr fSession;
};

class TDevice : public TVXComObject<IPortableDevice> {
 public:
  ~TDevice() override { Close(); }
  // Read and write access unless the client asks for less; a read-only
  // device (or one the driver makes so) refuses write access.
  HRESULT Open(LPCWSTR id, IPortableDeviceValues* client) override {
    if (!id) return E_POINTER;
    if (fSession && fSession->Open) return E_WPD_DEVICE_ALREADY_OPENED;
    if (!*id) return E_INVALIDARG;
    VXWPDSim::CountOpen(id);
    const VXWPDSim::TFaults faults = VXWPDSim::FaultsOf(id);
    if (faults.OpenFailure != S_OK) return faults.OpenFailure;
    TVXStoreDevice device;
    if (!VXFindStoreDevice(id, device) || !device.Store) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    ULONG access = GENERIC_READ | GENERIC_WRITE;
    if (client) client->GetUnsignedIntegerValue(WPD_CLIENT_DESIRED_ACCESS, &access);
    const bool wantsWrite = (access & GENERIC_WRITE) != 0;
    if (wantsWrite && (device.Store->ReadOnly() || faults.DenyUnlessReadAccess)) return E_ACCESSDENIED;
    fSession = std::make_shared<TSession>();
    fSession->Device = std::move(device);
    fSession->Faults = faults;
    fSession->Writable = wantsWrite;
    return S_OK;
  }
  HRESULT SendCommand(DWORD, IPortableDeviceValues*, IPortableDeviceValues** r) override {
    if (r) *r = nullptr;
    return IsOpen() ? kNotSupported : E_WPD_DEVICE_NOT_OPEN;
  }
  HRESULT Content(IPortableDeviceContent** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsOpen()) return E_WPD_DEVICE_NOT_OPEN;
    return Hand<TContent>(out, fSession);
  }
  HRESULT Capabilities(IPortableDeviceCapabilities** out) override {
    if (out) *out = nullptr;
    return IsOpen() ? kNotSupported : E_WPD_DEVICE_NOT_OPEN;
  }
  HRESULT Cancel() override { return S_OK; }
  // Ends the connection: what it handed out stops working.
  HRESULT Close() override {
    if (fSession) fSession->Open = false;
    fSession.reset();
    return S_OK;
  }
  HRESULT Advise(DWORD, IPortableDeviceEventCallback*, IPortableDeviceValues*, LPWSTR* cookie) override {
    if (cookie) *cookie = nullptr;
    return IsOpen() ? kNotSupported : E_WPD_DEVICE_NOT_OPEN;
  }
  HRESULT Unadvise(LPCWSTR) override { return IsOpen() ? kNotSupported : E_WPD_DEVICE_NOT_OPEN; }
  HRESULT GetPnPDeviceID(LPWSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsOpen()) return E_WPD_DEVICE_NOT_OPEN;
    *out = VXCoTaskStrDup(fSession->Device.ID);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  bool IsOpen() const { return fSession && fSession->Open; }
  TSessionPtr fSession;
};

// ---------------------------------------------------------------------------
// Device manager: the devices as they were at creation or the last refresh.

class TManager : public TVXComObject<IPortableDeviceManager> {
 public:
  TManager() { RefreshDeviceList(); }
  HRESULT GetDevices(LPWSTR* ids, DWORD* count) override { return List(fDevices, ids, count); }
  HRESULT RefreshDeviceList() override {
    fDevices = VXListStoreDevices();
    return S_OK;
  }
  HRESULT GetDeviceFriendlyName(LPCWSTR id, LPWSTR buf, DWORD* cch) override {
    return Text(id, buf, cch, &TVXStoreDevice::FriendlyName);
  }
  HRESULT GetDeviceDescription(LPCWSTR id, LPWSTR buf, DWORD* cch) override {
    return Text(id, buf, cch, &TVXStoreDevice::Description);
  }
  HRESULT GetDeviceManufacturer(LPCWSTR id, LPWSTR buf, DWORD* cch) override {
    return Text(id, buf, cch, &TVXStoreDevice::Manufacturer);
  }
  // The devices have no further properties.
  HRESULT GetDeviceProperty(LPCWSTR id, LPCWSTR name, BYTE*, DWORD* cb, DWORD* type) override {
    if (!id || !name || !cb || !type) return E_POINTER;
    return kNotFound;
  }
  // No private devices.
  HRESULT GetPrivateDevices(LPWSTR* ids, DWORD* count) override { return List({}, ids, count); }

 private:
  static HRESULT List(const std::vector<TVXStoreDevice>& devices, LPWSTR* ids, DWORD* count) {
    if (!count) return E_POINTER;
    if (!ids) {
      *count = DWORD(devices.size());
      return S_OK;
    }
    const DWORD n = std::min<DWORD>(*count, DWORD(devices.size()));
    for (DWORD i = 0; i < n; ++i) ids[i] = VXCoTaskStrDup(devices[i].ID);
    *count = n;
    return S_OK;
  }
  HRESULT Text(LPCWSTR id, LPWSTR buf, DWORD* cch, std::string TVXStoreDevice::*field) const {
    if (!id || !cch) return E_POINTER;
    for (const TVXStoreDevice& d : fDevices)
      if (d.ID == id) {
        const std::string& text = d.*field;
        const DWORD need = DWORD(text.size() + 1);
        if (!buf || *cch == 0) {
          *cch = need;
          return S_OK;
        }
        if (*cch < need) {
          *cch = need;
          return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(buf, text.c_str(), need);
        *cch = need;
        return S_OK;
      }
    return kNotFound;
  }
  std::vector<TVXStoreDevice> fDevices;
};

template <class T>
HRESULT Create(REFIID riid, void** ppv) {
  T* object = new T;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace

void VXRegisterPortableDeviceClasses() {
  const DWORD contexts = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
  VXRegisterComClass(CLSID_PortableDevice, &Create<TDevice>, contexts);
  VXRegisterComClass(CLSID_PortableDeviceManager, &Create<TManager>, contexts);
  VXRegisterComClass(CLSID_PortableDeviceValues, &Create<TValues>, contexts);
  VXRegisterComClass(CLSID_PortableDeviceKeyCollection, &Create<TKeyCollection>, contexts);
  VXRegisterComClass(CLSID_PortableDevicePropVariantCollection, &Create<TPropVariantCollection>, contexts);
}

void VXUnregisterPortableDeviceClasses() {
  for (const GUID& c : {CLSID_PortableDevice, CLSID_PortableDeviceManager, CLSID_PortableDeviceValues,
                        CLSID_PortableDeviceKeyCollection, CLSID_PortableDevicePropVariantCollection})
    VXUnregisterComClass(c);
}
