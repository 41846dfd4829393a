#include "acquire/vxwia.h"

#include "acquire/acquire_params.h"

#include <algorithm>
#include <cstring>

#include "codecs/bmp.h"
#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/streams.h"
#include "core/sysutils.h"
#include "core/textutils.h"
#include "core/winchores.h"
#include "gui/treenodes.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/win_clock.h"
#include "platform/utf.h"

namespace {

// ---- PROPVARIANT and TVXVariant ----

TVXVariant FromProp(const PROPVARIANT& p) {
  switch (p.vt) {
    case VT_I2: return TVXVariant(p.iVal);
    case VT_I4: return TVXVariant(p.lVal);
    case VT_UI1: return TVXVariant(int32_t(p.bVal));
    case VT_UI2: return TVXVariant(int32_t(p.uiVal));
    case VT_UI4: return p.ulVal <= uint32_t(INT32_MAX) ? TVXVariant(int32_t(p.ulVal)) : TVXVariant(double(p.ulVal));
    case VT_R4: return TVXVariant(double(p.fltVal));
    case VT_R8: return TVXVariant(p.dblVal);
    case VT_LPWSTR: return TVXVariant::OleStr(VXUTF8ToUTF16(VXStr(p.pwszVal)));
    case VT_CLSID: return p.puuid ? TVXVariant(VXGUIDToStr(*p.puuid)) : TVXVariant();
    case VT_VECTOR | VT_UI1:
      return TVXVariant::ByteArray(p.caub.pElems ? std::vector<uint8_t>(p.caub.pElems, p.caub.pElems + p.caub.cElems)
                                                 : std::vector<uint8_t>());
    case VT_VECTOR | VT_UI2: {
      std::vector<int16_t> w;
      if (p.caui.pElems)
        for (ULONG i = 0; i < p.caui.cElems; ++i) w.push_back(int16_t(p.caui.pElems[i]));
      return TVXVariant::WordArray(w);
    }
    default: return TVXVariant();  // a kind the variant does not hold
  }
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" at its fixed places.
bool LooksLikeGUID(const std::string& s) {
  return s.size() >= 38 && s[0] == '{' && s[9] == '-' && s[14] == '-' && s[19] == '-' && s[24] == '-' && s[37] == '}';
}

// The value as the property storage takes it (freed with PropVariantClear).
PROPVARIANT ToProp(const TVXVariant& v) {
  PROPVARIANT p;
  switch (v.VarType()) {
    case vxvSmallint:
      p.vt = VT_I2;
      p.iVal = int16_t(v.AsInteger());
      break;
    case vxvInteger:
      p.vt = VT_I4;
      p.lVal = v.AsInteger();
      break;
    case vxvDouble:
      p.vt = VT_R8;
      p.dblVal = v.AsDouble();
      break;
    case vxvString:
    case vxvUString:
    case vxvOleStr: {
      const std::string s = v.AsString();
      if (LooksLikeGUID(s)) {
        GUID g;
        VXStrToGUID(s, g);
        InitPropVariantFromCLSID(g, &p);
      } else {
        InitPropVariantFromString(s.c_str(), &p);
      }
      break;
    }
    case vxvByteArray:
      p.vt = VT_VECTOR | VT_UI1;
      p.caub.cElems = ULONG(v.Bytes().size());
      p.caub.pElems = static_cast<uint8_t*>(CoTaskMemAlloc(std::max<size_t>(1, v.Bytes().size())));
      std::copy(v.Bytes().begin(), v.Bytes().end(), p.caub.pElems);
      break;
    case vxvWordArray:
      p.vt = VT_VECTOR | VT_UI2;
      p.caui.cElems = ULONG(v.Words().size());
      p.caui.pElems = static_cast<uint16_t*>(CoTaskMemAlloc(std::max<size_t>(1, v.Words().size()) * 2));
      for (size_t i = 0; i < v.Words().size(); ++i) p.caui.pElems[i] = uint16_t(v.Words()[i]);
      break;
    default:
      break;
  }
  return p;
}

IWiaPropertyStorage* StorageOf(IWiaItem* Item) {
  IWiaPropertyStorage* s = nullptr;
  if (!Item || Item->QueryInterface(IWiaPropertyStorage::kIID, reinterpret_cast<void**>(&s)) != S_OK) return nullptr;
  return s;
}

TVXVariant ReadProperty(IWiaItem* Item, PROPID Id) {
  IWiaPropertyStorage* s = StorageOf(Item);
  if (!s) return TVXVariant();
  PROPSPEC prop;
  prop.ulKind = PRSPEC_PROPID;
  prop.propid = Id;
  PROPVARIANT v;
  TVXVariant out;
  if (s->ReadMultiple(1, &prop, &v) == S_OK) out = FromProp(v);
  PropVariantClear(&v);
  s->Release();
  return out;
}

bool WriteProperty(IWiaItem* Item, PROPID Id, const TVXVariant& Value) {
  IWiaPropertyStorage* s = StorageOf(Item);
  if (!s) return false;
  PROPSPEC prop;
  prop.ulKind = PRSPEC_PROPID;
  prop.propid = Id;
  PROPVARIANT v = ToProp(Value);
  const bool ok = s->WriteMultiple(1, &prop, &v, 0) == S_OK;
  PropVariantClear(&v);
  s->Release();
  return ok;
}

// The elements of an integer vector (1, 2 or 4-byte elements).
bool IntVector(const PROPVARIANT& p, std::vector<int32_t>& Out) {
  Out.clear();
  if (!(p.vt & VT_VECTOR)) return false;
  switch (p.vt & ~VT_VECTOR) {
    case VT_UI1:
      if (p.caub.pElems)
        for (ULONG i = 0; i < p.caub.cElems; ++i) Out.push_back(p.caub.pElems[i]);
      return true;
    case VT_UI2:
      if (p.caui.pElems)
        for (ULONG i = 0; i < p.caui.cElems; ++i) Out.push_back(p.caui.pElems[i]);
      return true;
    case VT_I2:
      if (p.caui.pElems)
        for (ULONG i = 0; i < p.caui.cElems; ++i) Out.push_back(int16_t(p.caui.pElems[i]));
      return true;
    case VT_I4:
    case VT_UI4:
      if (p.cal.pElems)
        for (ULONG i = 0; i < p.cal.cElems; ++i) Out.push_back(p.cal.pElems[i]);
      return true;
    default:
      return false;
  }
}

const char* const kTypeWords[] = {" Free", " Image", " File", " Folder", " Root", " Analyze", " Audio",
                                  " Device", " Deleted", " Disconnected", " HPanorama", " VPanorama", " Burst",
                                  " Storage", " Transfer", " Generated", " HasAttachments", " Video"};

std::string ChangeExt(const std::string& Name, const std::string& Ext) {
  const size_t slash = Name.find_last_of('/');
  const size_t dot = Name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Name + Ext;
  return Name.substr(0, dot) + Ext;
}

}  // namespace

TVXWiaItemType VXWiaItemTypeFromFlags(LONG Flags) {
  const uint32_t f = uint32_t(Flags);
  TVXWiaItemType t = 0;
  for (int m = witImage; m <= witTwainCapabilityPassThrough; ++m)
    if (f & (1u << (m - 1))) t |= 1u << m;
  if (f & 0x80000000u) t |= 1u << witRemoved;
  if (f & 0x8003FFFFu) t |= 1u << witMask;
  return t;
}

TVXWiaAttrib VXWiaAttribFromFlags(ULONG Flags) {
  static const ULONG kFlags[] = {WIA_PROP_READ, WIA_PROP_WRITE, WIA_PROP_SYNC_REQUIRED, WIA_PROP_NONE,
                                 WIA_PROP_RANGE, WIA_PROP_LIST,  WIA_PROP_FLAG,          WIA_PROP_CACHEABLE};
  TVXWiaAttrib a = 0;
  for (int m = 0; m < 8; ++m)
    if (Flags & kFlags[m]) a |= 1u << m;
  return a;
}

TVXWiaItem::~TVXWiaItem() {
  Children.clear();
  if (This) This->Release();
}

TVXVariant TVXWiaValues::GetValues(int32_t idx) const {
  return idx >= 0 && idx < count && size_t(idx) < fValues.size() ? fValues[size_t(idx)] : TVXVariant();
}

// ---------------------------------------------------------------------------
// Banded data.

// Hands the pending page over; then the progress handler, when there is
// one, alone decides the answer.
HRESULT TWiaDataCallBack::Deliver(LONG Percent) {
  HRESULT hr = S_OK;
  if (WaitingData && OnGetPage && !OnGetPage(&header, data.data(), datalen)) hr = S_FALSE;
  WaitingData = false;
  if (OnProgress) return OnProgress(Percent) ? S_OK : S_FALSE;
  return hr;
}

namespace {
HRESULT Progress(const TVXWiaOnProgress& OnProgress, LONG Percent) {
  return OnProgress && !OnProgress(Percent) ? S_FALSE : S_OK;
}
}  // namespace

HRESULT TWiaDataCallBack::BandedDataCallback(LONG lMessage, LONG, LONG lPercentComplete, LONG, LONG lLength, LONG,
                                             LONG, BYTE* pbBuffer) {
  switch (lMessage) {
    case IT_MSG_DATA_HEADER:
      if (!pbBuffer) return S_FALSE;
      std::memcpy(&header, pbBuffer, sizeof(header));
      WaitingData = true;
      return Progress(OnProgress, lPercentComplete);
    case IT_MSG_DATA: {
      if (lLength < 0 || (lLength > 0 && !pbBuffer)) return S_FALSE;
      const int64_t grown = int64_t(datalen) + lLength;
      if (grown > INT32_MAX || !VXStorageSizeAllowed(grown)) return S_FALSE;
      data.insert(data.end(), pbBuffer, pbBuffer + lLength);
      datalen = int32_t(grown);
      return Progress(OnProgress, lPercentComplete);
    }
    case IT_MSG_TERMINATION: {
      const HRESULT hr = Deliver(lPercentComplete);
      data.clear();
      data.shrink_to_fit();
      datalen = 0;
      return hr;
    }
    case IT_MSG_NEW_PAGE: {
      WaitingData = true;
      const HRESULT hr = Deliver(lPercentComplete);
      data.clear();
      datalen = 0;
      return hr;
    }
    default:
      return Progress(OnProgress, lPercentComplete);
  }
}

// ---------------------------------------------------------------------------
// Events.

HRESULT TWiaEventCallBack::ImageEventCallback(const GUID* pEventGUID, LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPCWSTR,
                                              ULONG*, ULONG) {
  if (!WIA || !pEventGUID) return S_OK;
  TVXWiaEvent e;
  if (IsEqualGUID(*pEventGUID, WIA_EVENT_TREE_UPDATED)) e = vxeTreeUpdated;
  else if (IsEqualGUID(*pEventGUID, WIA_EVENT_ITEM_CREATED)) e = vxeItemCreated;
  else if (IsEqualGUID(*pEventGUID, WIA_EVENT_ITEM_DELETED)) e = vxeItemDeleted;
  else return S_OK;
  WIA->fLastEvent = e;
  if (WIA->fItemsTreeUpdated) WIA->fItemsTreeUpdated(WIA);
  return S_OK;
}

// ---------------------------------------------------------------------------
// The client.

TVXWia::TVXWia(TComponent* Owner) : fOwner(Owner) {
  fOLEInitialized = OleInitialize(nullptr) >= 0;
  if (CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IWiaDevMgr::kIID,
                       reinterpret_cast<void**>(&fIWiaDevMgr)) != S_OK)
    fIWiaDevMgr = nullptr;
  if (!fIWiaDevMgr) return;
  const GUID* events[3] = {&WIA_EVENT_ITEM_CREATED, &WIA_EVENT_ITEM_DELETED, &WIA_EVENT_TREE_UPDATED};
  IUnknown** slots[3] = {&fEventCallBack1, &fEventCallBack2, &fEventCallBack3};
  for (int i = 0; i < 3; ++i) {
    auto* cb = new TWiaEventCallBack(this);
    if (fIWiaDevMgr->RegisterEventCallbackInterface(0, nullptr, events[i], cb, slots[i]) != S_OK) *slots[i] = nullptr;
    cb->Release();  // the registration holds it
  }
}

TVXWia::~TVXWia() {
  for (IUnknown** r : {&fEventCallBack1, &fEventCallBack2, &fEventCallBack3})
    if (*r) {
      (*r)->Release();
      *r = nullptr;
    }
  fRoot.reset();
  if (fIWiaDevMgr) fIWiaDevMgr->Release();
  fIWiaDevMgr = nullptr;
  fDevicesInfo.clear();
  if (fOLEInitialized) OleUninitialize();
}

void TVXWia::FillDevicesInfo() {
  if (!fIWiaDevMgr) return;
  IEnumWIA_DEV_INFO* e = nullptr;
  if (fIWiaDevMgr->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, &e) != S_OK || !e) return;
  if (e->Reset() != S_OK) {
    e->Release();
    return;
  }
  fDevicesInfo.clear();
  static const PROPID kIds[7] = {WIA_DIP_DEV_ID,     WIA_DIP_DEV_NAME,    WIA_DIP_DEV_TYPE, WIA_DIP_DRIVER_VERSION,
                                 WIA_DIP_PORT_NAME, WIA_DIP_SERVER_NAME, WIA_DIP_VEND_DESC};
  IWiaPropertyStorage* s = nullptr;
  ULONG got = 0;
  while (e->Next(1, &s, &got) == S_OK && got == 1 && s) {
    PROPSPEC prop[7];
    PROPVARIANT v[7];
    for (int i = 0; i < 7; ++i) {
      prop[i].ulKind = PRSPEC_PROPID;
      prop[i].propid = kIds[i];
    }
    if (s->ReadMultiple(7, prop, v) == S_OK) {
      auto text = [&](int i) { return v[i].vt == VT_LPWSTR ? VXStr(v[i].pwszVal) : std::string(); };
      auto info = std::make_unique<TVXWiaDeviceInfo>();
      info->ID = text(0);
      info->Name = text(1);
      const LONG type = v[2].vt == VT_I4 || v[2].vt == VT_UI4 ? v[2].lVal : 0;
      switch (uint32_t(type) >> 16) {
        case StiDeviceTypeDigitalCamera: info->DeviceType = vxwDigitalCamera; break;
        case StiDeviceTypeStreamingVideo: info->DeviceType = vxwStreamingVideo; break;
        default: info->DeviceType = vxwScanner; break;
      }
      info->DriverVersion = text(3);
      info->PortName = text(4);
      info->ServerName = text(5);
      info->Vendor = text(6);
      fDevicesInfo.push_back(std::move(info));
    }
    for (PROPVARIANT& p : v) PropVariantClear(&p);
    s->Release();
    s = nullptr;
  }
  e->Release();
}

TVXWiaDeviceInfo* TVXWia::GetDevicesInfo(int32_t idx) {
  if (fDevicesInfo.empty()) FillDevicesInfo();
  if (idx < 0) throw EVXException("List index out of bounds (" + std::to_string(idx) + ")");
  return size_t(idx) < fDevicesInfo.size() ? fDevicesInfo[size_t(idx)].get() : nullptr;
}

bool TVXWia::EnsureConnected() {
  if (!fRoot) InternalConnect(0, false);
  return fRoot != nullptr;
}

int32_t TVXWia::DevicesInfoCount() {
  EnsureConnected();
  if (fDevicesInfo.empty()) FillDevicesInfo();
  return int32_t(fDevicesInfo.size());
}

int32_t TVXWia::SourceNameToIndex(const std::string& sName) {
  const int32_t n = DevicesInfoCount();
  for (int32_t i = 0; i < n; ++i)
    if (VXLowerCaseAnsi(fDevicesInfo[size_t(i)]->Name) == VXLowerCaseAnsi(sName)) return i;
  return -1;
}

bool TVXWia::InternalConnect(int32_t Idx, bool SetApi) {
  if (!fIWiaDevMgr) return false;
  fRoot.reset();
  fCurrentIndex = Idx;
  TVXWiaDeviceInfo* info = Idx >= 0 ? GetDevicesInfo(Idx) : nullptr;
  if (!info) return false;
  auto root = std::make_unique<TVXWiaItem>();
  if (fIWiaDevMgr->CreateDevice(info->ID.c_str(), &root->This) != S_OK || !root->This) {
    root->This = nullptr;
    return false;
  }
  fRoot = std::move(root);
  fTakePicture = info->DeviceType != vxwDigitalCamera;
  FillItemChildren(fRoot.get());
  if (SetApi) VXAcquireOwnerSourceSelected(fOwner, vxaWIA);
  return true;
}

bool TVXWia::ConnectTo(int32_t Idx) { return InternalConnect(Idx, true); }

bool TVXWia::ConnectTo(const std::string& sName) {
  if (sName.empty()) return false;
  const int32_t i = SourceNameToIndex(sName);
  return i >= 0 && InternalConnect(i, true);
}

bool TVXWia::ConnectToUsingDialog() {
  if (!fIWiaDevMgr) return false;
  fRoot.reset();
  LPWSTR id = nullptr;
  const HWND owner = fOwner ? VXOwnerWindowHandle(fOwner) : nullptr;
  if (fIWiaDevMgr->SelectDeviceDlgID(owner, StiDeviceTypeDefault, WIA_SELECT_DEVICE_NODEFAULT, &id) != S_OK) {
    if (id) CoTaskMemFree(id);
    return false;
  }
  const std::string chosen = VXStr(id);
  CoTaskMemFree(id);
  if (fDevicesInfo.empty()) FillDevicesInfo();
  for (size_t i = 0; i < fDevicesInfo.size(); ++i)
    if (fDevicesInfo[i]->ID == chosen) return InternalConnect(int32_t(i), true);
  return false;
}

void TVXWia::FillItemChildren(TVXWiaItem* Item) {
  LONG type = 0;
  if (Item->This->GetItemType(&type) == S_OK) Item->ItemType = VXWiaItemTypeFromFlags(type);
  IEnumWiaItem* e = nullptr;
  if (Item->This->EnumChildItems(&e) != S_OK || !e) return;
  IWiaItem* c = nullptr;
  ULONG got = 0;
  while (e->Next(1, &c, &got) == S_OK && got == 1 && c) {
    auto child = std::make_unique<TVXWiaItem>();
    child->This = c;
    c = nullptr;
    LONG t = 0;
    if (child->This->GetItemType(&t) == S_OK) child->ItemType = VXWiaItemTypeFromFlags(t);
    if (t & WiaItemTypeFolder) FillItemChildren(child.get());
    Item->Children.push_back(std::move(child));
  }
  e->Release();
}

void TVXWia::UpdateItems() {
  if (!fRoot) return;
  fRoot->Children.clear();
  FillItemChildren(fRoot.get());
}

namespace {
TVXWiaItem* FirstImage(TVXWiaItem* Node, bool Forward) {
  if (VXWiaHas(Node->ItemType, witImage)) return Node;
  if (!VXWiaHas(Node->ItemType, witFolder)) return nullptr;
  const size_t n = Node->Children.size();
  for (size_t i = 0; i < n; ++i)
    if (TVXWiaItem* f = FirstImage(Node->Children[Forward ? i : n - 1 - i].get(), Forward)) return f;
  return nullptr;
}
}  // namespace

TVXWiaItem* TVXWia::ResolveItem(TVXWiaItem* Item, bool Forward) {
  if (Item) return Item;
  return fRoot ? FirstImage(fRoot.get(), Forward) : nullptr;
}

bool TVXWia::ShowAcquireDialog(bool SystemDialog) {
  if (!fIWiaDevMgr || !EnsureConnected()) return false;
  fRoot->Children.clear();
  LONG count = 0;
  IWiaItem** items = nullptr;
  const HWND owner = fOwner ? VXOwnerWindowHandle(fOwner) : nullptr;
  if (fRoot->This->DeviceDlg(owner, SystemDialog ? WIA_DEVICE_DIALOG_USE_COMMON_UI : 0, 0, &count, &items) != S_OK) {
    if (items) {
      for (LONG i = 0; i < count; ++i)
        if (items[i]) items[i]->Release();
      CoTaskMemFree(items);
    }
    UpdateItems();
    return false;
  }
  for (LONG i = 0; items && i < count; ++i) {
    if (!items[i]) continue;
    IWiaItem* it = nullptr;
    if (items[i]->QueryInterface(IWiaItem::kIID, reinterpret_cast<void**>(&it)) == S_OK && it) {
      auto child = std::make_unique<TVXWiaItem>();
      child->This = it;
      LONG t = 0;
      if (it->GetItemType(&t) == S_OK) child->ItemType = VXWiaItemTypeFromFlags(t);
      if (t & WiaItemTypeFolder) FillItemChildren(child.get());
      fRoot->Children.push_back(std::move(child));
    }
    items[i]->Release();
  }
  CoTaskMemFree(items);
  return true;
}

// ---- properties ----

TVXVariant TVXWia::GetItemProperty(PROPID PropId, TVXWiaItem* item) {
  EnsureConnected();
  TVXWiaItem* it = ResolveItem(item, true);
  return it ? ReadProperty(it->This, PropId) : TVXVariant();
}

bool TVXWia::SetItemPropertyVariant(PROPID PropId, const TVXVariant& val, TVXWiaItem* item) {
  EnsureConnected();
  TVXWiaItem* it = ResolveItem(item, true);
  return it && WriteProperty(it->This, PropId, val);
}

bool TVXWia::SetItemProperty(PROPID PropId, int32_t val, TVXWiaItem* item) {
  return SetItemPropertyVariant(PropId, TVXVariant(val), item);
}

TVXVariant TVXWia::GetDeviceProperty(PROPID PropId) {
  if (!EnsureConnected()) return TVXVariant();
  return ReadProperty(fRoot->This, PropId);
}

bool TVXWia::SetDevicePropertyVariant(PROPID PropId, const TVXVariant& val) {
  if (!EnsureConnected()) return false;
  int32_t n;
  try {
    n = val.AsInteger();
  } catch (const EVXException&) {
    return false;
  }
  return WriteProperty(fRoot->This, PropId, TVXVariant(n));
}

bool TVXWia::SetDeviceProperty(PROPID PropId, int32_t val) {
  if (!EnsureConnected()) return false;
  return WriteProperty(fRoot->This, PropId, TVXVariant(val));
}

void TVXWia::GetItemPropertyAttrib(PROPID PropId, TVXWiaItem* item, TVXWiaAttrib& attrib,
                                   std::unique_ptr<TVXWiaValues>& values) {
  values = std::make_unique<TVXWiaValues>();
  EnsureConnected();
  TVXWiaItem* it = ResolveItem(item, true);
  IWiaPropertyStorage* s = it ? StorageOf(it->This) : nullptr;
  if (!s) return;
  PROPSPEC prop;
  prop.ulKind = PRSPEC_PROPID;
  prop.propid = PropId;
  ULONG flags = 0;
  PROPVARIANT valid;
  try {
    if (s->GetPropertyAttributes(1, &prop, &flags, &valid) == S_OK) {
      attrib = VXWiaAttribFromFlags(flags);
      TVXWiaValues& v = *values;
      std::vector<int32_t> ints;
      const bool isInts = IntVector(valid, ints);
      auto at = [&](int i) { return TVXVariant(ints[size_t(i)]); };
      if (VXWiaHas(attrib, vxwaRange) && isInts) {
        if (ints.size() > size_t(WIA_RANGE_MIN)) v.min = at(WIA_RANGE_MIN);
        if (ints.size() > size_t(WIA_RANGE_NOM)) v.normal = at(WIA_RANGE_NOM);
        if (ints.size() > size_t(WIA_RANGE_MAX)) v.max = at(WIA_RANGE_MAX);
        if (ints.size() > size_t(WIA_RANGE_STEP)) v.step = at(WIA_RANGE_STEP);
      } else if (VXWiaHas(attrib, vxwaList) && isInts) {
        const int64_t declared = ints.size() > size_t(WIA_LIST_COUNT) ? ints[WIA_LIST_COUNT] : 0;
        if (ints.size() > size_t(WIA_LIST_NOM)) v.normal = at(WIA_LIST_NOM);
        const int64_t held = int64_t(ints.size()) - WIA_LIST_VALUES;
        const int64_t n = std::max<int64_t>(0, std::min(declared, held));
        for (int64_t i = 0; i < n; ++i) v.fValues.push_back(at(int(WIA_LIST_VALUES + i)));
        v.count = int32_t(n);
      } else if (VXWiaHas(attrib, vxwaList) && valid.vt == (VT_VECTOR | VT_CLSID)) {
        for (ULONG i = 0; valid.cauuid.pElems && i < valid.cauuid.cElems; ++i)
          v.fValues.push_back(TVXVariant(VXGUIDToStr(valid.cauuid.pElems[i])));
        v.count = int32_t(v.fValues.size());
        v.normal = TVXVariant(int32_t(0));
      } else if (VXWiaHas(attrib, vxwaFlag) && isInts) {
        if (ints.size() > size_t(WIA_FLAG_NOM)) v.normal = at(WIA_FLAG_NOM);
      }
    }
  } catch (const std::exception&) {
  }
  PropVariantClear(&valid);
  s->Release();
}

// ---- tree, thumbnails, deletion ----

void TVXWia::FillNode(TTreeNodes* Items, void* Parent, TVXWiaItem* Item, bool IncludeDescription) {
  std::string text;
  try {
    text = ReadProperty(Item->This, WIA_IPA_ITEM_NAME).AsString();
  } catch (const EVXException&) {
  }
  if (IncludeDescription) {
    text += " ( ";
    for (int m = witFree; m <= witVideo; ++m)
      if (VXWiaHas(Item->ItemType, TVXWiaItemTypeMember(m))) text += kTypeWords[m];
    if (VXWiaHas(Item->ItemType, witRemoved)) text += " Removed";
    text += " )";
  }
  TTreeNode* node = Items->AddChildObject(static_cast<TTreeNode*>(Parent), text, Item);
  for (auto& c : Item->Children)
    if (!IsItemDeleted(c.get())) FillNode(Items, node, c.get(), IncludeDescription);
}

void TVXWia::FillTreeView(TTreeNodes* Items, bool IncludeDescription) {
  if (!Items || !EnsureConnected()) return;
  FillNode(Items, nullptr, fRoot.get(), IncludeDescription);
}

bool TVXWia::GetItemThumbnail(TVXWiaItem* item, TVXBitmap* destBitmap) {
  if (!destBitmap) return false;
  EnsureConnected();
  TVXWiaItem* it = ResolveItem(item, true);
  if (!it) return false;
  const TVXVariant thumb = ReadProperty(it->This, WIA_IPC_THUMBNAIL);
  int32_t w = 0, h = 0;
  try {
    w = ReadProperty(it->This, WIA_IPC_THUMB_WIDTH).AsInteger();
    h = ReadProperty(it->This, WIA_IPC_THUMB_HEIGHT).AsInteger();
  } catch (const EVXException&) {
    return false;
  }
  if (thumb.VarType() != vxvByteArray || w <= 0 || h <= 0) return false;
  // The rows must all be there: bottom-up, 24-bit, padded to 32 bits.
  const int64_t rowLen = VXBitmapRowLen(w, 24, 32);
  if (rowLen <= 0 || rowLen * int64_t(h) > int64_t(thumb.Bytes().size())) return false;
  if (!destBitmap->Allocate(w, h, vx24RGB)) return false;
  const uint8_t* src = thumb.Bytes().data();
  for (int32_t y = 0; y < h; ++y)
    std::memcpy(destBitmap->Scanline(h - 1 - y), src + rowLen * y, size_t(w) * 3);
  return true;
}

void TVXWia::DeleteItem(TVXWiaItem* item) {
  if (item && item->This) item->This->DeleteItem(0);
}

bool TVXWia::IsItemDeleted(TVXWiaItem* item) {
  LONG t = 0;
  return item && item->This && item->This->GetItemType(&t) == S_OK && (t & WiaItemTypeDeleted);
}

// ---- transfers ----

namespace {
// Holds one reference to an item.
struct TItemRef {
  IWiaItem* P = nullptr;
  ~TItemRef() { Set(nullptr); }
  void Set(IWiaItem* V) {
    if (V) V->AddRef();
    if (P) P->Release();
    P = V;
  }
  // Takes over a reference that V already holds.
  void Take(IWiaItem* V) {
    if (P) P->Release();
    P = V;
  }
};

// Copies a page's parameters: all of them after a JPEG page, else the
// resolution, sample layout and size.
void CopyPageParams(const TIOParamsVals& Page, TIOParamsVals& Dest, bool Jpeg) {
  if (&Page == &Dest) return;
  if (Jpeg) {
    Dest.Assign(Page);
    return;
  }
  Dest.SetDpiX(Page.DpiX());
  Dest.SetDpiY(Page.DpiY());
  Dest.SetBitsPerSample(Page.BitsPerSample());
  Dest.SetSamplesPerPixel(Page.SamplesPerPixel());
  Dest.SetWidth(Page.Width());
  Dest.SetHeight(Page.Height());
}
}  // namespace

bool TVXWia::Transfer(TVXWiaItem* item, bool MultiPage) {
  if (!fIWiaDevMgr) return false;
  EnsureConnected();
  TVXWiaItem* found = ResolveItem(item, true);
  if (!found && !(fTakePicture && fRoot)) return false;
  if (!MultiPage || !SetItemProperty(WIA_IPA_TYMED, TYMED_MULTIPAGE_CALLBACK, found))
    SetItemProperty(WIA_IPA_TYMED, TYMED_CALLBACK, found);
  TItemRef xfer;
  if (found) xfer.Set(found->This);
  if (fTakePicture && fRoot) {
    fLastEvent = vxeNone;
    TItemRef made;
    IWiaItem* got = nullptr;
    fRoot->This->DeviceCommand(0, &WIA_CMD_TAKE_PICTURE, &got);
    made.Take(got);
    TVXWiaDeviceInfo* info = GetDevicesInfo(fCurrentIndex);
    if (info && info->DeviceType == vxwDigitalCamera) {
      for (int i = 0; i < 50; ++i) {
        got = nullptr;
        fRoot->This->DeviceCommand(0, &WIA_CMD_SYNCHRONIZE, &got);
        if (got) made.Take(got);
        if (fLastEvent != vxeNone) break;
        Sleep(100);
      }
      UpdateItems();
      if (TVXWiaItem* last = ResolveItem(nullptr, false)) xfer.Set(last->This);
    }
    if (made.P) xfer.Set(made.P);
  }
  if (!xfer.P) return false;
  WriteProperty(xfer.P, WIA_IPA_FORMAT,
                TVXVariant(VXGUIDToStr(fTransferFormat == vxtfJpeg ? WiaImgFmt_JPEG : WiaImgFmt_MEMORYBMP)));
  IWiaDataTransfer* dt = nullptr;
  if (xfer.P->QueryInterface(IWiaDataTransfer::kIID, reinterpret_cast<void**>(&dt)) != S_OK || !dt) return false;
  auto* cb = new TWiaDataCallBack();
  cb->OnGetPage = [this](const WIA_DATA_CALLBACK_HEADER* h, const uint8_t* d, int32_t n) { return HandlePage(h, d, n); };
  cb->OnProgress = fOnProgress;
  WIA_DATA_TRANSFER_INFO info{};
  info.ulSize = sizeof(WIA_DATA_TRANSFER_INFO);
  const HRESULT hr = dt->idtGetBandedData(&info, cb);
  cb->Release();
  dt->Release();
  if (fTakePicture && fDeleteTakenPicture) {
    TVXWiaDeviceInfo* d = GetDevicesInfo(fCurrentIndex);
    if (d && d->DeviceType == vxwDigitalCamera) xfer.P->DeleteItem(0);
  }
  return hr == S_OK;
}

bool TVXWia::HandlePage(const WIA_DATA_CALLBACK_HEADER* Header, const uint8_t* Data, int32_t DataLen) {
  TVXMemStream stream(Data, DataLen > 0 && Data ? DataLen : 0);
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  // Without a destination the page goes into a bitmap of its own for the
  // length of this call.
  std::unique_ptr<TVXBitmap> scratch;
  TVXBitmap* bitmap = ProcessingBitmap;
  if (!bitmap) {
    scratch = std::make_unique<TVXBitmap>();
    bitmap = scratch.get();
  }
  bool jpeg = false;
  try {
    std::unique_ptr<TVXMask> alpha;
    if (IsEqualGUID(Header->guidFormatID, WiaImgFmt_MEMORYBMP)) {
      VXReadBMPStream(&stream, bitmap, DataLen, params, progress, false, true, alpha, true);
      fTransferFormat = vxtfRawBitmap;
    } else if (IsEqualGUID(Header->guidFormatID, WiaImgFmt_BMP)) {
      VXReadBMPStream(&stream, bitmap, DataLen, params, progress, false, false, alpha, true);
      fTransferFormat = vxtfBitmap;
    } else if (IsEqualGUID(Header->guidFormatID, WiaImgFmt_JPEG)) {
      params.IsNativePixelFormat = true;
      VXReadJpegStream(&stream, nullptr, bitmap, params, progress, false, false, false, false, false, false, -1,
                       params.IsNativePixelFormat);
      fTransferFormat = vxtfJpeg;
      jpeg = true;
    }
  } catch (const std::exception&) {
    // a page that does not decode leaves the bitmap as the reader left it
  }
  if (!fSaveTransferBufferAs.empty()) {
    const char* ext = fTransferFormat == vxtfBitmap ? ".bmp" : fTransferFormat == vxtfJpeg ? ".jpg" : ".raw";
    try {
      TVXMemStream whole(Data, DataLen > 0 && Data ? DataLen : 0);
      whole.SaveToFile(ChangeExt(fSaveTransferBufferAs, ext));
    } catch (const std::exception&) {
    }
  }
  if (fMultiCallBack) {
    TIOParamsVals* dest = nullptr;
    fMultiCallBack(bitmap, dest, params.DpiX(), params.DpiY());
    if (dest) CopyPageParams(params, *dest, jpeg);
  }
  ProcessingInfo.DPIX = params.DpiX();
  ProcessingInfo.DPIY = params.DpiY();
  if (auto* io = dynamic_cast<TVexlaneIO*>(fOwner)) CopyPageParams(params, io->Params(), jpeg);
  return true;
}
