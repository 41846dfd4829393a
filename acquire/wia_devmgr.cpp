#include "acquire/wia_devmgr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "acquire/camera_store.h"
#include "acquire/gphoto2_store.h"
#include "acquire/sane_device.h"
#include "codecs/bmp.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "io/params.h"
#include "core/streams.h"
#include "io/vexlaneio.h"
#include "resample/resample.h"
#include "acquire/twain_types.h"
#include "platform/win_com_enum.h"

namespace {

// ---------------------------------------------------------------------------
// The scanner's settings through its capability containers.

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

double Item(uint16_t Type, const uint8_t* p) {
  if (Type == TWTY_FIX32) return int16_t(U16(p)) + U16(p + 2) / 65536.0;
  if (Type == TWTY_INT32) return int32_t(U32(p));
  if (Type == TWTY_INT16) return int16_t(U16(p));
  return U16(p);
}

size_t ItemSize(uint16_t Type) { return Type == TWTY_FIX32 || Type == TWTY_INT32 ? 4 : 2; }

struct TCapValues {
  bool IsRange = false;
  double Min = 0, Max = 0, Step = 0, Current = 0;
  std::vector<double> Items;
};

bool ReadCap(TVXScanDevice& d, uint16_t Cap, TCapValues& v) {
  uint16_t con = 0;
  std::vector<uint8_t> c;
  if (d.GetCapability(Cap, con, c) != TWCC_SUCCESS || c.size() < 2) return false;
  const uint16_t type = U16(c.data());
  const size_t sz = ItemSize(type);
  switch (con) {
    case TWON_ONEVALUE:
      if (c.size() < 2 + sz) return false;
      v.Current = Item(type, c.data() + 2);
      v.Items = {v.Current};
      return true;
    case TWON_RANGE:
      if (c.size() < 22) return false;
      v.IsRange = true;
      v.Min = Item(type, c.data() + 2);
      v.Max = Item(type, c.data() + 6);
      v.Step = Item(type, c.data() + 10);
      v.Current = Item(type, c.data() + 18);
      return true;
    case TWON_ENUMERATION: {
      if (c.size() < 14) return false;
      const uint32_t n = std::min<uint32_t>(U32(c.data() + 2), uint32_t((c.size() - 14) / sz));
      for (uint32_t i = 0; i < n; ++i) v.Items.push_back(Item(type, c.data() + 14 + i * sz));
      const uint32_t at = U32(c.data() + 6);
      v.Current = at < n ? v.Items[at] : 0;
      return true;
    }
    default:
      return false;
  }
}

uint16_t SetCap(TVXScanDevice& d, uint16_t Cap, uint16_t Type, double Value) {
  std::vector<uint8_t> c(6, 0);
  c[0] = uint8_t(Type);
  c[1] = uint8_t(Type >> 8);
  uint32_t bits;
  if (Type == TWTY_FIX32) {
    const int32_t n = int32_t(Value * 65536.0 + (Value >= 0 ? 0.5 : -0.5));
    bits = (uint32_t(n) >> 16 & 0xFFFF) | (uint32_t(n) & 0xFFFF) << 16;
  } else {
    bits = uint32_t(int32_t(std::llrint(Value)));
  }
  for (int i = 0; i < 4; ++i) c[2 + size_t(i)] = uint8_t(bits >> (8 * i));
  return d.SetCapability(Cap, TWON_ONEVALUE, c.data(), c.size());
}

// ---------------------------------------------------------------------------
// Properties.

struct TProp {
  PROPVARIANT Value;
  ULONG Flags = WIA_PROP_READ;
  PROPVARIANT Valid;
};

PROPVARIANT Int(LONG v) {
  PROPVARIANT p;
  p.vt = VT_I4;
  p.lVal = v;
  return p;
}

PROPVARIANT Text(const std::string& s) {
  PROPVARIANT p;
  InitPropVariantFromString(s.c_str(), &p);
  return p;
}

PROPVARIANT Ints(const std::vector<LONG>& v) {
  PROPVARIANT p;
  p.vt = VT_VECTOR | VT_I4;
  p.cal.cElems = ULONG(v.size());
  p.cal.pElems = static_cast<int32_t*>(CoTaskMemAlloc(std::max<size_t>(1, v.size()) * sizeof(int32_t)));
  std::copy(v.begin(), v.end(), p.cal.pElems);
  return p;
}

PROPVARIANT Guids(const std::vector<GUID>& v) {
  PROPVARIANT p;
  p.vt = VT_VECTOR | VT_CLSID;
  p.cauuid.cElems = ULONG(v.size());
  p.cauuid.pElems = static_cast<GUID*>(CoTaskMemAlloc(std::max<size_t>(1, v.size()) * sizeof(GUID)));
  std::copy(v.begin(), v.end(), p.cauuid.pElems);
  return p;
}

// A property store whose writes go through a check first.
class TStore {
public:
  ~TStore() { Clear(); }
  void Clear() {
    for (auto& [id, p] : fProps) {
      PropVariantClear(&p.Value);
      PropVariantClear(&p.Valid);
    }
    fProps.clear();
  }
  // Takes over the values.
  void Put(PROPID Id, PROPVARIANT Value, ULONG Flags = WIA_PROP_READ, PROPVARIANT Valid = {}) {
    auto it = fProps.find(Id);
    if (it != fProps.end()) {
      PropVariantClear(&it->second.Value);
      PropVariantClear(&it->second.Valid);
    }
    fProps[Id] = TProp{Value, Flags, Valid};
  }
  const PROPVARIANT* Get(PROPID Id) const {
    auto it = fProps.find(Id);
    return it == fProps.end() ? nullptr : &it->second.Value;
  }
  const TProp* Find(PROPID Id) const {
    auto it = fProps.find(Id);
    return it == fProps.end() ? nullptr : &it->second;
  }
  size_t Count() const { return fProps.size(); }

private:
  std::map<PROPID, TProp> fProps;
};

// ---------------------------------------------------------------------------
// Devices.

struct TDevice {
  std::string Name, Id, Vendor, Port;
  LONG Type = StiDeviceTypeScanner << 16;
  std::unique_ptr<TVXScanDevice> Scanner;  // a scanner
  std::shared_ptr<TVXCameraStore> Store;    // or a camera
  bool TakesPictures = false;               // a simulated camera
  bool SendsEvents = true;                  // reports ITEM_CREATED for its pictures
  bool GPhoto = false;                      // a camera store of libgphoto2's
  bool Open = false;
  LONG Pages = 1;  // WIA_DPS_PAGES: pages per transfer from the feeder, 0 all
};

// An event waiting for its registration's thread.
struct TPendingEvent {
  GUID Event;
  std::string DeviceId, DeviceName, FullItemName;
  LONG DevType = 0;
};

struct TRegistration {
  std::thread::id Thread;
  std::string DeviceId;  // empty: every device
  GUID Event{};
  IWiaEventCallback* Callback = nullptr;
  std::deque<TPendingEvent> Queue;
};

struct TManager {
  std::recursive_mutex M;
  std::vector<std::unique_ptr<TDevice>> Added;
  std::vector<std::unique_ptr<TDevice>> Sane;
  std::vector<std::unique_ptr<TDevice>> Stores;
  bool SaneRead = false;
  LONG BandSize = 0;
  bool NewPageAfter = true;
  std::string DialogAnswer;  // the dialogs' scripted answer; empty cancels
  int32_t Synchronizes = 0;  // WIA_CMD_SYNCHRONIZE commands received
  std::vector<std::string> DeviceWrites;  // "<id>=<value>" written to scanners' roots
  std::vector<std::shared_ptr<TRegistration>> Registrations;
};

TManager& G() {
  static auto* m = new TManager();
  return *m;
}

// Queues an event for every registration that asked for it.
void Fire(const GUID& Event, const TDevice& d, const std::string& FullItemName) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  for (auto& r : G().Registrations)
    if (IsEqualGUID(r->Event, Event) && (r->DeviceId.empty() || r->DeviceId == d.Id))
      r->Queue.push_back(TPendingEvent{Event, d.Id, d.Name, FullItemName, d.Type});
}

// Hands the calling thread's waiting events to their callbacks: events reach
// a client on the thread that registered, during its calls into the manager.
void DeliverEvents() {
  std::vector<std::pair<std::shared_ptr<TRegistration>, TPendingEvent>> due;
  {
    std::lock_guard<std::recursive_mutex> l(G().M);
    for (auto& r : G().Registrations)
      if (r->Thread == std::this_thread::get_id())
        while (!r->Queue.empty()) {
          due.emplace_back(r, r->Queue.front());
          r->Queue.pop_front();
        }
  }
  for (auto& [r, e] : due) {
    ULONG kind = WIA_NOTIFICATION_EVENT;
    if (r->Callback)
      r->Callback->ImageEventCallback(&e.Event, "", e.DeviceId.c_str(), e.DeviceName.c_str(), DWORD(e.DevType),
                                      e.FullItemName.c_str(), &kind, 0);
  }
}

// Ends its registration when released.
class TRegistrationObject : public TVXComObject<IUnknown> {
public:
  explicit TRegistrationObject(std::shared_ptr<TRegistration> R) : fReg(std::move(R)) {}
  ~TRegistrationObject() override {
    std::lock_guard<std::recursive_mutex> l(G().M);
    auto& list = G().Registrations;
    list.erase(std::remove(list.begin(), list.end(), fReg), list.end());
    if (fReg->Callback) fReg->Callback->Release();
    fReg->Callback = nullptr;
  }

private:
  std::shared_ptr<TRegistration> fReg;
};

// The items of a device dialog: those below Root whose name is the scripted
// answer, depth first.
void FindNamed(IWiaItem* Item, const std::string& Name, std::vector<IWiaItem*>& Found);

HRESULT DialogItems(IWiaItem* Root, LONG* Count, IWiaItem*** Items) {
  if (!Count || !Items) return E_POINTER;
  *Count = 0;
  *Items = nullptr;
  std::string answer;
  {
    std::lock_guard<std::recursive_mutex> l(G().M);
    answer = G().DialogAnswer;
  }
  std::vector<IWiaItem*> found;
  if (!answer.empty()) FindNamed(Root, answer, found);
  if (found.empty()) return S_FALSE;  // cancelled
  *Items = static_cast<IWiaItem**>(CoTaskMemAlloc(found.size() * sizeof(IWiaItem*)));
  std::copy(found.begin(), found.end(), *Items);
  *Count = LONG(found.size());
  return S_OK;
}

std::vector<TDevice*> Devices() {
  TManager& g = G();
  if (!g.SaneRead) {
    g.SaneRead = true;
    for (auto& d : VXSaneScanDevices()) {
      auto dev = std::make_unique<TDevice>();
      dev->Name = d->ProductName();
      dev->Vendor = d->Manufacturer();
      const std::string name = dev->Name;
      const size_t open = name.rfind(" (");
      dev->Port = open != std::string::npos && name.back() == ')' ? name.substr(open + 2, name.size() - open - 3) : name;
      dev->Id = "sane:" + dev->Port;
      dev->Scanner = std::move(d);
      g.Sane.push_back(std::move(dev));
    }
  }
  // The camera stores (memory cards, cameras) as they are now.
  g.Stores.clear();
  for (const TVXStoreDevice& s : VXListStoreDevices()) {
    auto dev = std::make_unique<TDevice>();
    dev->Name = s.FriendlyName.empty() ? s.ID : s.FriendlyName;
    dev->Id = "store:" + s.ID;
    dev->Vendor = s.Manufacturer;
    dev->Port = s.ID;
    dev->Type = StiDeviceTypeDigitalCamera << 16;
    dev->Store = s.Store;
    dev->GPhoto = s.ID.rfind("gphoto2:", 0) == 0;  // libgphoto2's cameras capture
    g.Stores.push_back(std::move(dev));
  }
  std::vector<TDevice*> out;
  for (auto& d : g.Added) out.push_back(d.get());
  for (auto& d : g.Sane) out.push_back(d.get());
  for (auto& d : g.Stores) out.push_back(d.get());
  return out;
}

// ---------------------------------------------------------------------------
// Device information: a read-only property storage.

class TInfoStorage : public TVXComObject<IWiaPropertyStorage> {
public:
  explicit TInfoStorage(const TDevice& d) {
    fStore.Put(WIA_DIP_DEV_ID, Text(d.Id));
    fStore.Put(WIA_DIP_VEND_DESC, Text(d.Vendor));
    fStore.Put(WIA_DIP_DEV_DESC, Text(d.Name));
    fStore.Put(WIA_DIP_DEV_TYPE, Int(d.Type));
    fStore.Put(WIA_DIP_PORT_NAME, Text(d.Port));
    fStore.Put(WIA_DIP_DEV_NAME, Text(d.Name));
    fStore.Put(WIA_DIP_SERVER_NAME, Text("local"));
    fStore.Put(WIA_DIP_DRIVER_VERSION, Text("1.0"));
  }
  HRESULT ReadMultiple(ULONG n, const PROPSPEC prop[], PROPVARIANT out[]) override;
  HRESULT WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID) override { return E_ACCESSDENIED; }
  HRESULT GetPropertyAttributes(ULONG n, PROPSPEC prop[], ULONG flags[], PROPVARIANT valid[]) override;
  HRESULT GetCount(ULONG* n) override {
    if (!n) return E_POINTER;
    *n = ULONG(fStore.Count());
    return S_OK;
  }
  TStore fStore;
};

// Reads the properties named by identifier; S_FALSE when none of them exists.
HRESULT ReadFrom(const TStore& Store, ULONG n, const PROPSPEC prop[], PROPVARIANT out[]) {
  if (!prop || !out) return E_POINTER;
  bool any = false;
  for (ULONG i = 0; i < n; ++i) {
    PropVariantInit(&out[i]);
    const PROPVARIANT* v = prop[i].ulKind == PRSPEC_PROPID ? Store.Get(prop[i].propid) : nullptr;
    if (v) {
      PropVariantCopy(&out[i], v);
      any = true;
    }
  }
  return any ? S_OK : S_FALSE;
}

HRESULT AttributesFrom(const TStore& Store, ULONG n, PROPSPEC prop[], ULONG flags[], PROPVARIANT valid[]) {
  if (!prop || !flags || !valid) return E_POINTER;
  for (ULONG i = 0; i < n; ++i) {
    PropVariantInit(&valid[i]);
    const TProp* p = prop[i].ulKind == PRSPEC_PROPID ? Store.Find(prop[i].propid) : nullptr;
    if (!p) return E_INVALIDARG;
    flags[i] = p->Flags;
    PropVariantCopy(&valid[i], &p->Valid);
  }
  return S_OK;
}

void FindNamed(IWiaItem* Item, const std::string& Name, std::vector<IWiaItem*>& Found) {
  IEnumWiaItem* e = nullptr;
  if (Item->EnumChildItems(&e) != S_OK) return;
  IWiaItem* c = nullptr;
  ULONG got = 0;
  while (e->Next(1, &c, &got) == S_OK && got == 1) {
    PROPVARIANT v;
    IWiaPropertyStorage* st = nullptr;
    PROPSPEC prop;
    prop.propid = WIA_IPA_ITEM_NAME;
    if (c->QueryInterface(IWiaPropertyStorage::kIID, reinterpret_cast<void**>(&st)) == S_OK) {
      st->ReadMultiple(1, &prop, &v);
      st->Release();
    }
    const bool match = v.vt == VT_LPWSTR && VXStr(v.pwszVal) == Name;
    PropVariantClear(&v);
    LONG type = 0;
    c->GetItemType(&type);
    if (type & WiaItemTypeFolder) FindNamed(c, Name, Found);
    if (match)
      Found.push_back(c);
    else
      c->Release();
  }
  e->Release();
}

HRESULT TInfoStorage::ReadMultiple(ULONG n, const PROPSPEC prop[], PROPVARIANT out[]) {
  return ReadFrom(fStore, n, prop, out);
}
HRESULT TInfoStorage::GetPropertyAttributes(ULONG n, PROPSPEC prop[], ULONG flags[], PROPVARIANT valid[]) {
  return AttributesFrom(fStore, n, prop, flags, valid);
}

class TInfoEnum : public TVXComObject<IEnumWIA_DEV_INFO> {
public:
  HRESULT Next(ULONG celt, IWiaPropertyStorage** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    std::lock_guard<std::recursive_mutex> l(G().M);
    const std::vector<TDevice*> list = Devices();
    ULONG got = 0;
    while (got < celt && fPos < list.size()) out[got++] = new TInfoStorage(*list[fPos++]);
    if (fetched) *fetched = got;
    return got == celt ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG celt) override {
    fPos += celt;
    return S_OK;
  }
  HRESULT Reset() override {
    fPos = 0;
    return S_OK;
  }
  HRESULT GetCount(ULONG* n) override {
    if (!n) return E_POINTER;
    std::lock_guard<std::recursive_mutex> l(G().M);
    *n = ULONG(Devices().size());
    return S_OK;
  }

private:
  size_t fPos = 0;
};

// ---------------------------------------------------------------------------
// Items: one object answers the item, its property storage and its data
// transfer.

class TItem;

// A snapshot of an item's children.
class TItemEnum : public TVXComEnum<TItemEnum, IEnumWiaItem, TVXComRef<IWiaItem>, IWiaItem*> {
 public:
  using TVXComEnum::TVXComEnum;
  // Takes over the one reference each new item was made with.
  static TItemEnum* Taking(const std::vector<IWiaItem*>& Items) {
    std::vector<TVXComRef<IWiaItem>> refs;
    for (IWiaItem* i : Items) {
      refs.emplace_back(i);
      i->Release();
    }
    return new TItemEnum(std::move(refs));
  }
  static bool Hand(const TVXComRef<IWiaItem>& Item, IWiaItem*& Out) { return VXHandComRef(Item, Out); }
  HRESULT GetCount(ULONG* n) override {
    if (!n) return E_POINTER;
    *n = ULONG(fItems.size());
    return S_OK;
  }
};

// One object answers an item, its property storage and (for items with data)
// its data transfer.
class TItemBase : public IWiaItem, public IWiaPropertyStorage, public IWiaDataTransfer {
public:
  virtual ~TItemBase() = default;
  virtual bool HasData() const = 0;
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (VXInterfaceAnswers<IWiaItem>(riid))
      *ppv = static_cast<IWiaItem*>(this);
    else if (VXInterfaceAnswers<IWiaPropertyStorage>(riid))
      *ppv = static_cast<IWiaPropertyStorage*>(this);
    else if (VXInterfaceAnswers<IWiaDataTransfer>(riid) && HasData())
      *ppv = static_cast<IWiaDataTransfer*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
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

enum TKind { kRoot, kFlatbed, kFeeder };

class TItem : public TItemBase {
public:
  TItem(TDevice* Device, TKind Kind, TItem* Root) : fDevice(Device), fKind(Kind), fRoot(Root) {
    if (fRoot) fRoot->AddRef();
    Refresh();
  }
  ~TItem() {
    if (fRoot) {
      fRoot->Release();
    } else {
      std::lock_guard<std::recursive_mutex> l(G().M);
      if (fDevice->Open) fDevice->Scanner->Close();
      fDevice->Open = false;
    }
  }

  bool HasData() const override { return fKind != kRoot; }

  // IWiaItem
  HRESULT GetItemType(LONG* t) override {
    if (!t) return E_POINTER;
    *t = fKind == kRoot ? WiaItemTypeRoot | WiaItemTypeDevice | WiaItemTypeFolder
                        : WiaItemTypeImage | WiaItemTypeFile | WiaItemTypeProgrammableDataSource;
    return S_OK;
  }
  HRESULT EnumChildItems(IEnumWiaItem** e) override {
    if (!e) return E_POINTER;
    // A child holds its root; the root makes its children when asked.
    std::vector<IWiaItem*> items;
    if (fKind == kRoot) {
      std::lock_guard<std::recursive_mutex> l(G().M);
      items.push_back(new TItem(fDevice, kFlatbed, this));
      if (HasFeeder()) items.push_back(new TItem(fDevice, kFeeder, this));
    }
    *e = TItemEnum::Taking(items);
    return S_OK;
  }
  HRESULT DeleteItem(LONG) override { return E_ACCESSDENIED; }  // a scanner's items stay
  HRESULT GetRootItem(IWiaItem** r) override {
    if (!r) return E_POINTER;
    *r = fRoot ? static_cast<IWiaItem*>(fRoot) : static_cast<IWiaItem*>(this);
    (*r)->AddRef();
    return S_OK;
  }
  HRESULT DeviceCommand(LONG, const GUID* cmd, IWiaItem** item) override {
    DeliverEvents();
    if (item) *item = nullptr;
    if (cmd && IsEqualGUID(*cmd, WIA_CMD_SYNCHRONIZE)) {
      std::lock_guard<std::recursive_mutex> l(G().M);
      ++G().Synchronizes;
      return S_OK;
    }
    return E_INVALIDARG;  // a scanner takes no pictures
  }
  HRESULT DeviceDlg(HWND, LONG, LONG, LONG* count, IWiaItem*** items) override {
    return DialogItems(this, count, items);
  }

  // IWiaPropertyStorage
  HRESULT ReadMultiple(ULONG n, const PROPSPEC prop[], PROPVARIANT out[]) override {
    std::lock_guard<std::recursive_mutex> l(G().M);
    Refresh();
    return ReadFrom(fStore, n, prop, out);
  }
  HRESULT WriteMultiple(ULONG n, const PROPSPEC prop[], const PROPVARIANT values[], PROPID) override;
  HRESULT GetPropertyAttributes(ULONG n, PROPSPEC prop[], ULONG flags[], PROPVARIANT valid[]) override {
    std::lock_guard<std::recursive_mutex> l(G().M);
    Refresh();
    return AttributesFrom(fStore, n, prop, flags, valid);
  }
  HRESULT GetCount(ULONG* n) override {
    if (!n) return E_POINTER;
    *n = ULONG(fStore.Count());
    return S_OK;
  }

  // IWiaDataTransfer
  HRESULT idtGetBandedData(WIA_DATA_TRANSFER_INFO* info, IWiaDataCallback* cb) override;

private:
  TDevice* fDevice;
  TKind fKind;
  TItem* fRoot;
  TStore fStore;

  bool fJpeg = false;  // pages as JPEG rather than MEMORYBMP

  TVXScanDevice& Scanner() { return *fDevice->Scanner; }
  bool HasFeeder() {
    TCapValues v;
    return ReadCap(Scanner(), CAP_FEEDERENABLED, v);
  }
  double Dpi(bool X) {
    TCapValues v;
    return ReadCap(Scanner(), X ? ICAP_XRESOLUTION : ICAP_YRESOLUTION, v) && v.Current > 0 ? v.Current : 0;
  }

  // The properties as the scanner now stands.
  void Refresh();
  HRESULT WriteOne(PROPID Id, const PROPVARIANT& v);
};

void TItem::Refresh() {
  fStore.Clear();
  TVXScanDevice& d = Scanner();
  double frame[4];
  const bool hasFrame = d.GetFrame(frame) == TWCC_SUCCESS;
  TCapValues w, h;
  if (fKind == kRoot) {
    fStore.Put(WIA_IPA_ITEM_NAME, Text("Root"));
    fStore.Put(WIA_IPA_FULL_ITEM_NAME, Text(fDevice->Name + "\\Root"));
    if (ReadCap(d, ICAP_PHYSICALWIDTH, w)) fStore.Put(WIA_DPS_HORIZONTAL_BED_SIZE, Int(LONG(std::lround(w.Current * 1000))));
    if (ReadCap(d, ICAP_PHYSICALHEIGHT, h)) fStore.Put(WIA_DPS_VERTICAL_BED_SIZE, Int(LONG(std::lround(h.Current * 1000))));
    TCapValues feeder, duplex;
    const bool hasFeeder = ReadCap(d, CAP_FEEDERENABLED, feeder);
    const bool hasDuplex = ReadCap(d, CAP_DUPLEXENABLED, duplex);
    const LONG caps = (hasFeeder ? FEEDER | FLATBED : FLATBED) | (hasDuplex ? DUPLEX | DETECT_DUP_AVAIL : 0);
    fStore.Put(WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES, Int(caps));
    fStore.Put(WIA_DPS_DOCUMENT_HANDLING_STATUS, Int(hasFeeder ? FEED_READY | FLAT_READY : FLAT_READY));
    const LONG select =
        (hasFeeder && feeder.Current != 0 ? FEEDER : FLATBED) | (hasDuplex && duplex.Current != 0 ? DUPLEX : 0);
    fStore.Put(WIA_DPS_DOCUMENT_HANDLING_SELECT, Int(select), WIA_PROP_RW | WIA_PROP_FLAG,
               Ints({FLATBED, (hasFeeder ? FEEDER | FLATBED : FLATBED) | (hasDuplex ? DUPLEX : 0)}));
    fStore.Put(WIA_DPS_PAGES, Int(fDevice->Pages), WIA_PROP_RW | WIA_PROP_RANGE, Ints({0, 1, 10000, 1}));
    return;
  }
  const std::string name = fKind == kFlatbed ? "Flatbed" : "Feeder";
  fStore.Put(WIA_IPA_ITEM_NAME, Text(name));
  fStore.Put(WIA_IPA_FULL_ITEM_NAME, Text(fDevice->Name + "\\Root\\" + name));
  PROPVARIANT fmt;
  InitPropVariantFromCLSID(fJpeg ? WiaImgFmt_JPEG : WiaImgFmt_MEMORYBMP, &fmt);
  fStore.Put(WIA_IPA_FORMAT, fmt, WIA_PROP_RW | WIA_PROP_LIST, Guids({WiaImgFmt_MEMORYBMP, WiaImgFmt_JPEG}));
  fStore.Put(WIA_IPA_TYMED, Int(TYMED_CALLBACK), WIA_PROP_RW | WIA_PROP_LIST, Ints({1, TYMED_CALLBACK, TYMED_CALLBACK}));
  TCapValues type, depth;
  if (ReadCap(d, ICAP_PIXELTYPE, type)) {
    std::vector<LONG> list;
    auto wiaType = [](double t) { return t == TWPT_BW ? WIA_DATA_THRESHOLD : t == TWPT_RGB ? WIA_DATA_COLOR : WIA_DATA_GRAYSCALE; };
    for (double t : type.Items) list.push_back(wiaType(t));
    const LONG cur = wiaType(type.Current);
    list.insert(list.begin(), {LONG(list.size()), cur});
    fStore.Put(WIA_IPA_DATATYPE, Int(cur), WIA_PROP_RW | WIA_PROP_LIST, Ints(list));
    if (ReadCap(d, ICAP_BITDEPTH, depth)) {
      const LONG bits = type.Current == TWPT_BW ? 1 : LONG(depth.Current);
      const LONG channels = type.Current == TWPT_RGB ? 3 : 1;
      fStore.Put(WIA_IPA_DEPTH, Int(bits * channels));
      fStore.Put(WIA_IPA_BITS_PER_CHANNEL, Int(bits), WIA_PROP_RW | WIA_PROP_LIST, Ints({3, bits, 1, 8, 16}));
      fStore.Put(WIA_IPA_CHANNELS_PER_PIXEL, Int(channels), WIA_PROP_RW | WIA_PROP_LIST, Ints({2, channels, 1, 3}));
    }
  }
  // Orientation and rotation as the scanner's TWAIN values (0, 90, 180 and
  // 270 degrees), the tone controls as they are.
  TCapValues turn;
  if (ReadCap(d, ICAP_ORIENTATION, turn)) {
    const LONG codes[] = {PORTRAIT, ROT270, ROT180, LANSCAPE};  // TWOR_ROT0 .. TWOR_ROT270
    const LONG t = LONG(turn.Current);
    fStore.Put(WIA_IPS_ORIENTATION, Int(t >= 0 && t < 4 ? codes[t] : PORTRAIT), WIA_PROP_RW | WIA_PROP_LIST,
               Ints({4, t >= 0 && t < 4 ? codes[t] : PORTRAIT, PORTRAIT, LANSCAPE, ROT180, ROT270}));
  }
  if (ReadCap(d, ICAP_ROTATION, turn)) {
    LONG a = LONG(turn.Current) % 360;
    if (a < 0) a += 360;
    const LONG code = a == 90 ? ROT270 : a == 180 ? ROT180 : a == 270 ? LANSCAPE : PORTRAIT;
    fStore.Put(WIA_IPS_ROTATION, Int(code), WIA_PROP_RW | WIA_PROP_LIST,
               Ints({4, code, PORTRAIT, LANSCAPE, ROT180, ROT270}));
  }
  for (const auto& [cap, id] : {std::pair<uint16_t, PROPID>{ICAP_BRIGHTNESS, WIA_IPS_BRIGHTNESS},
                                {ICAP_CONTRAST, WIA_IPS_CONTRAST}, {ICAP_THRESHOLD, WIA_IPS_THRESHOLD}}) {
    TCapValues v;
    if (ReadCap(d, cap, v)) {
      const LONG cur = LONG(std::lround(v.Current));
      fStore.Put(id, Int(cur), WIA_PROP_RW | WIA_PROP_RANGE,
                 Ints({LONG(v.IsRange ? v.Min : -1000), cur, LONG(v.IsRange ? v.Max : 1000), 1}));
    }
  }
  for (bool x : {true, false}) {
    TCapValues r;
    if (!ReadCap(d, x ? ICAP_XRESOLUTION : ICAP_YRESOLUTION, r)) continue;
    const PROPID id = x ? WIA_IPS_XRES : WIA_IPS_YRES;
    const LONG cur = LONG(std::lround(r.Current));
    if (r.IsRange) {
      fStore.Put(id, Int(cur), WIA_PROP_RW | WIA_PROP_RANGE,
                 Ints({LONG(r.Min), cur, LONG(r.Max), std::max<LONG>(1, LONG(r.Step))}));
    } else {
      std::vector<LONG> list = {LONG(r.Items.size()), cur};
      for (double v : r.Items) list.push_back(LONG(std::lround(v)));
      fStore.Put(id, Int(cur), WIA_PROP_RW | WIA_PROP_LIST, Ints(list));
    }
  }
  const double xd = Dpi(true), yd = Dpi(false);
  if (hasFrame && xd > 0 && yd > 0 && ReadCap(d, ICAP_PHYSICALWIDTH, w) && ReadCap(d, ICAP_PHYSICALHEIGHT, h)) {
    // The scan area in pixels at the current resolution.
    const LONG maxX = LONG(std::floor(w.Current * xd + 1e-6)), maxY = LONG(std::floor(h.Current * yd + 1e-6));
    const LONG px = LONG(std::lround(frame[0] * xd)), py = LONG(std::lround(frame[1] * yd));
    const LONG ex = LONG(std::lround((frame[2] - frame[0]) * xd)), ey = LONG(std::lround((frame[3] - frame[1]) * yd));
    fStore.Put(WIA_IPS_XPOS, Int(px), WIA_PROP_RW | WIA_PROP_RANGE, Ints({0, 0, maxX, 1}));
    fStore.Put(WIA_IPS_YPOS, Int(py), WIA_PROP_RW | WIA_PROP_RANGE, Ints({0, 0, maxY, 1}));
    fStore.Put(WIA_IPS_XEXTENT, Int(ex), WIA_PROP_RW | WIA_PROP_RANGE, Ints({1, maxX, maxX, 1}));
    fStore.Put(WIA_IPS_YEXTENT, Int(ey), WIA_PROP_RW | WIA_PROP_RANGE, Ints({1, maxY, maxY, 1}));
  }
}

HRESULT TItem::WriteOne(PROPID Id, const PROPVARIANT& v) {
  TVXScanDevice& d = Scanner();
  auto integer = [&](LONG& out) {
    if (v.vt == VT_I4) out = v.lVal;
    else if (v.vt == VT_I2) out = v.iVal;
    else if (v.vt == VT_UI4) out = LONG(v.ulVal);
    else return false;
    return true;
  };
  LONG n = 0;
  switch (Id) {
    case WIA_IPA_FORMAT:
      if (v.vt != VT_CLSID || !v.puuid) return E_INVALIDARG;
      if (IsEqualGUID(*v.puuid, WiaImgFmt_MEMORYBMP)) fJpeg = false;
      else if (IsEqualGUID(*v.puuid, WiaImgFmt_JPEG)) fJpeg = true;
      else return E_INVALIDARG;
      return S_OK;
    case WIA_IPA_TYMED:
      return integer(n) && n == TYMED_CALLBACK ? S_OK : E_INVALIDARG;
    case WIA_IPA_DATATYPE: {
      if (!integer(n)) return E_INVALIDARG;
      const double t = n == WIA_DATA_THRESHOLD ? TWPT_BW : n == WIA_DATA_COLOR ? TWPT_RGB : n == WIA_DATA_GRAYSCALE ? TWPT_GRAY : -1;
      if (t < 0) return E_INVALIDARG;
      return SetCap(d, ICAP_PIXELTYPE, TWTY_UINT16, t) == TWCC_SUCCESS ? S_OK : E_INVALIDARG;
    }
    case WIA_IPS_XRES:
    case WIA_IPS_YRES: {
      if (!integer(n)) return E_INVALIDARG;
      // The scan area stays where it is on the bed.
      double frame[4];
      const bool hasFrame = d.GetFrame(frame) == TWCC_SUCCESS;
      if (SetCap(d, Id == WIA_IPS_XRES ? ICAP_XRESOLUTION : ICAP_YRESOLUTION, TWTY_FIX32, n) != TWCC_SUCCESS)
        return E_INVALIDARG;
      if (hasFrame) d.SetFrame(frame);
      return S_OK;
    }
    case WIA_IPS_XPOS:
    case WIA_IPS_YPOS:
    case WIA_IPS_XEXTENT:
    case WIA_IPS_YEXTENT: {
      double frame[4];
      const bool x = Id == WIA_IPS_XPOS || Id == WIA_IPS_XEXTENT;
      const double dpi = Dpi(x);
      if (!integer(n) || n < 0 || dpi <= 0 || d.GetFrame(frame) != TWCC_SUCCESS) return E_INVALIDARG;
      const int at = x ? 0 : 1;
      if (Id == WIA_IPS_XPOS || Id == WIA_IPS_YPOS) {
        const double extent = frame[at + 2] - frame[at];
        frame[at] = n / dpi;
        frame[at + 2] = frame[at] + extent;
      } else {
        if (n == 0) return E_INVALIDARG;
        frame[at + 2] = frame[at] + n / dpi;
      }
      return d.SetFrame(frame) == TWCC_SUCCESS ? S_OK : E_INVALIDARG;
    }
    case WIA_DPS_DOCUMENT_HANDLING_SELECT: {
      if (!integer(n)) return E_INVALIDARG;
      TCapValues duplex;
      const bool hasDuplex = ReadCap(d, CAP_DUPLEXENABLED, duplex);
      if ((n & DUPLEX) && !hasDuplex) return E_INVALIDARG;
      if (SetCap(d, CAP_FEEDERENABLED, TWTY_BOOL, (n & FEEDER) ? 1 : 0) != TWCC_SUCCESS) return E_INVALIDARG;
      if (hasDuplex && SetCap(d, CAP_DUPLEXENABLED, TWTY_BOOL, (n & DUPLEX) ? 1 : 0) != TWCC_SUCCESS)
        return E_INVALIDARG;
      return S_OK;
    }
    case WIA_DPS_PAGES:
      if (!integer(n) || n < 0) return E_INVALIDARG;
      fDevice->Pages = n;
      return S_OK;
    case WIA_IPA_BITS_PER_CHANNEL:
    case WIA_IPA_CHANNELS_PER_PIXEL: {
      TCapValues type;
      if (!integer(n) || !ReadCap(d, ICAP_PIXELTYPE, type)) return E_INVALIDARG;
      double t = type.Current;
      if (Id == WIA_IPA_BITS_PER_CHANNEL) {
        if (n != 1 && n != 8 && n != 16) return E_INVALIDARG;
        if (n == 1) t = TWPT_BW;
        else if (t == TWPT_BW) t = TWPT_GRAY;
      } else {
        if (n != 1 && n != 3) return E_INVALIDARG;
        if (n == 3) t = TWPT_RGB;
        else if (t == TWPT_RGB) t = TWPT_GRAY;
      }
      if (t != type.Current && SetCap(d, ICAP_PIXELTYPE, TWTY_UINT16, t) != TWCC_SUCCESS) return E_INVALIDARG;
      if (Id == WIA_IPA_BITS_PER_CHANNEL && n != 1 && SetCap(d, ICAP_BITDEPTH, TWTY_UINT16, n) != TWCC_SUCCESS)
        return E_INVALIDARG;
      return S_OK;
    }
    case WIA_IPS_ORIENTATION: {
      const LONG twain[] = {0, 3, 2, 1};  // PORTRAIT, LANSCAPE, ROT180, ROT270 as TWOR_ values
      if (!integer(n) || n < 0 || n > 3) return E_INVALIDARG;
      return SetCap(d, ICAP_ORIENTATION, TWTY_UINT16, twain[n]) == TWCC_SUCCESS ? S_OK : E_INVALIDARG;
    }
    case WIA_IPS_ROTATION: {
      const double degrees[] = {0, 270, 180, 90};
      if (!integer(n) || n < 0 || n > 3) return E_INVALIDARG;
      return SetCap(d, ICAP_ROTATION, TWTY_FIX32, degrees[n]) == TWCC_SUCCESS ? S_OK : E_INVALIDARG;
    }
    case WIA_IPS_BRIGHTNESS:
    case WIA_IPS_CONTRAST:
    case WIA_IPS_THRESHOLD: {
      if (!integer(n)) return E_INVALIDARG;
      const uint16_t cap =
          Id == WIA_IPS_BRIGHTNESS ? ICAP_BRIGHTNESS : Id == WIA_IPS_CONTRAST ? ICAP_CONTRAST : ICAP_THRESHOLD;
      return SetCap(d, cap, TWTY_FIX32, n) == TWCC_SUCCESS ? S_OK : E_INVALIDARG;
    }
    default:
      return E_ACCESSDENIED;
  }
}

HRESULT TItem::WriteMultiple(ULONG n, const PROPSPEC prop[], const PROPVARIANT values[], PROPID) {
  if (!prop || !values) return E_POINTER;
  std::lock_guard<std::recursive_mutex> l(G().M);
  for (ULONG i = 0; i < n; ++i) {
    if (prop[i].ulKind != PRSPEC_PROPID) return E_INVALIDARG;
    Refresh();
    const TProp* p = fStore.Find(prop[i].propid);
    if (!p || !(p->Flags & WIA_PROP_WRITE)) return E_ACCESSDENIED;
    if (const HRESULT hr = WriteOne(prop[i].propid, values[i]); hr != S_OK) return hr;
    if (fKind == kRoot) {
      const PROPVARIANT& v = values[i];
      const LONG n = v.vt == VT_I4 ? v.lVal : v.vt == VT_I2 ? v.iVal : v.vt == VT_UI4 ? LONG(v.ulVal) : 0;
      G().DeviceWrites.push_back(std::to_string(prop[i].propid) + "=" + std::to_string(n));
    }
  }
  Refresh();
  return S_OK;
}

// A page's DIB (information header first) encoded as a JPEG file by our
// encoder; 1-bit pages become grey.
bool DIBToJpeg(std::vector<uint8_t>& Bytes) {
  try {
    TVXBitmap b;
    TIOParamsVals params;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TVXMask> alpha;
    TVXMemStream in(Bytes.data(), int64_t(Bytes.size()));
    VXReadBMPStream(&in, &b, int32_t(Bytes.size()), params, progress, false, true, alpha, true);
    if (aborting || b.Width() <= 0) return false;
    if (b.PixelFormat() != vx24RGB && b.PixelFormat() != vx8g) b.SetPixelFormat(vx24RGB);
    TMemoryStream jpeg;
    auto io = TVexlaneIO::CreateFromBitmap(&b);
    io->Params().SetDpiX(params.DpiX());
    io->Params().SetDpiY(params.DpiY());
    io->SaveToStream(&jpeg, 3);
    if (jpeg.Size() <= 0) return false;
    const auto* m = static_cast<const uint8_t*>(jpeg.Memory());
    Bytes.assign(m, m + jpeg.Size());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

HRESULT TItem::idtGetBandedData(WIA_DATA_TRANSFER_INFO* info, IWiaDataCallback* cb) {
  if (!cb) return E_POINTER;
  std::unique_lock<std::recursive_mutex> l(G().M);
  TVXScanDevice& d = Scanner();
  // The item chooses the scanner's source; a scanner without a feeder
  // switch hands over every page it holds.
  // The first item scans from where the device's document handling points
  // (the flatbed, or the feeder with as many pages as WIA_DPS_PAGES asks,
  // 0 for all); the feeder item empties the feeder.
  TCapValues feederCap;
  const bool switchable = ReadCap(d, CAP_FEEDERENABLED, feederCap);
  const bool fromFeeder = fKind == kFeeder || (switchable && feederCap.Current != 0);
  if (switchable && SetCap(d, CAP_FEEDERENABLED, TWTY_BOOL, fromFeeder ? 1 : 0) != TWCC_SUCCESS) return E_FAIL;
  const LONG limit = fKind == kFeeder || !switchable ? 0 : fromFeeder ? fDevice->Pages : 1;
  LONG band = G().BandSize;
  if (band <= 0) band = info && info->ulBufferSize > 0 ? LONG(std::min<ULONG>(info->ulBufferSize, 1u << 24)) : 65536;
  const bool after = G().NewPageAfter;
  d.DropPages();
  LONG page = 0;
  TVXScanFrame frame;
  while (d.PagesWaiting() > 0 && d.ScanPage(frame)) {
    if (frame.FailRC != TWRC_SUCCESS) return frame.FailRC == TWRC_CANCEL ? S_FALSE : E_FAIL;
    if (!after && page > 0 && cb->BandedDataCallback(IT_MSG_NEW_PAGE, IT_STATUS_TRANSFER_TO_CLIENT, 0, 0, 0, 0, 0, nullptr) != S_OK)
      return S_FALSE;
    std::vector<uint8_t> bytes = VXScanFrameDIB(frame);
    if (fJpeg && !DIBToJpeg(bytes)) return E_FAIL;
    if (bytes.size() > size_t(INT32_MAX)) return E_OUTOFMEMORY;
    WIA_DATA_CALLBACK_HEADER h{LONG(sizeof(WIA_DATA_CALLBACK_HEADER)), fJpeg ? WiaImgFmt_JPEG : WiaImgFmt_MEMORYBMP,
                               LONG(bytes.size()), page};
    if (cb->BandedDataCallback(IT_MSG_DATA_HEADER, IT_STATUS_TRANSFER_TO_CLIENT, 0, 0, LONG(sizeof(h)), 0, 0,
                               reinterpret_cast<BYTE*>(&h)) != S_OK)
      return S_FALSE;
    for (size_t at = 0; at < bytes.size(); at += size_t(band)) {
      const LONG len = LONG(std::min(bytes.size() - at, size_t(band)));
      const LONG percent = LONG((at + size_t(len)) * 100 / bytes.size());
      if (cb->BandedDataCallback(IT_MSG_DATA, IT_STATUS_TRANSFER_TO_CLIENT, percent, LONG(at), len, 0, len,
                                 bytes.data() + at) != S_OK)
        return S_FALSE;
    }
    if (after && cb->BandedDataCallback(IT_MSG_NEW_PAGE, IT_STATUS_TRANSFER_TO_CLIENT, 100, 0, 0, 0, 0, nullptr) != S_OK)
      return S_FALSE;
    ++page;
    if (limit > 0 && page >= limit) break;
  }
  d.DropPages();
  if (page == 0) return WIA_S_NO_DEVICE_AVAILABLE;
  return cb->BandedDataCallback(IT_MSG_TERMINATION, IT_STATUS_TRANSFER_TO_CLIENT, 100, 0, 0, 0, 0, nullptr) == S_OK
             ? S_OK
             : S_FALSE;
}

// ---------------------------------------------------------------------------
// Cameras: the objects of a camera store as items. Folders (and the store's
// storages) are folders, picture files images; a transfer gives the file's
// bytes.

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool FormatOf(const std::string& Name, GUID& Format) {
  const size_t dot = Name.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : Lower(Name.substr(dot + 1));
  if (ext == "jpg" || ext == "jpeg") Format = WiaImgFmt_JPEG;
  else if (ext == "bmp") Format = WiaImgFmt_BMP;
  else return false;
  return true;
}

constexpr int32_t kThumbSide = 80;

class TCamItem : public TItemBase {
public:
  // Root is null for the device's root item (ID "DEVICE"); the device is
  // shared by its items.
  TCamItem(std::shared_ptr<TDevice> Device, std::string Id, TCamItem* Root)
      : fDevice(std::move(Device)), fId(std::move(Id)), fRoot(Root) {
    if (fRoot) fRoot->AddRef();
  }
  ~TCamItem() {
    if (fRoot) fRoot->Release();
  }

  bool HasData() const override { return fRoot != nullptr; }

  HRESULT GetItemType(LONG* t) override {
    if (!t) return E_POINTER;
    TVXStoreEntry e;
    if (!fRoot) {
      *t = WiaItemTypeRoot | WiaItemTypeDevice | WiaItemTypeFolder;
    } else if (fDeleted || Store().Entry(fId, e) != S_OK) {
      *t = WiaItemTypeDeleted;
    } else if (e.Kind != vxskFile) {
      *t = WiaItemTypeFolder;
    } else {
      GUID f;
      *t = FormatOf(e.Name, f) ? WiaItemTypeImage | WiaItemTypeFile : WiaItemTypeFile;
    }
    return S_OK;
  }
  HRESULT EnumChildItems(IEnumWiaItem** out) override {
    DeliverEvents();
    if (!out) return E_POINTER;
    std::vector<std::string> ids;
    std::vector<IWiaItem*> items;
    if (Store().Children(fId, ids) == S_OK)
      for (const std::string& id : ids) items.push_back(new TCamItem(fDevice, id, fRoot ? fRoot : this));
    *out = TItemEnum::Taking(items);
    return S_OK;
  }
  HRESULT DeleteItem(LONG) override {
    if (!fRoot) return E_ACCESSDENIED;
    const std::string full = FullName();
    const HRESULT hr = Store().Delete(fId, false);
    if (hr == S_OK) {
      fDeleted = true;
      Fire(WIA_EVENT_ITEM_DELETED, *fDevice, full);
    }
    DeliverEvents();
    return hr;
  }
  HRESULT GetRootItem(IWiaItem** r) override {
    if (!r) return E_POINTER;
    *r = fRoot ? static_cast<IWiaItem*>(fRoot) : static_cast<IWiaItem*>(this);
    (*r)->AddRef();
    return S_OK;
  }
  HRESULT DeviceCommand(LONG, const GUID* cmd, IWiaItem** item) override {
    DeliverEvents();
    if (item) *item = nullptr;
    if (!cmd) return E_POINTER;
    if (IsEqualGUID(*cmd, WIA_CMD_SYNCHRONIZE)) {
      std::lock_guard<std::recursive_mutex> l(G().M);
      ++G().Synchronizes;
      return S_OK;
    }
    if (!IsEqualGUID(*cmd, WIA_CMD_TAKE_PICTURE) || !(fDevice->TakesPictures || fDevice->GPhoto)) return E_INVALIDARG;
    std::string id;
    // A libgphoto2 camera captures; a simulated one writes a picture.
    const HRESULT hr = fDevice->GPhoto ? VXGPhoto2Capture(fDevice->Port, id) : TakePicture(id);
    if (hr != S_OK) return hr;
    auto* made = new TCamItem(fDevice, id, fRoot ? fRoot : this);
    if (fDevice->SendsEvents) Fire(WIA_EVENT_ITEM_CREATED, *fDevice, made->FullName());
    if (item)
      *item = made;
    else
      made->Release();
    DeliverEvents();
    return S_OK;
  }
  HRESULT DeviceDlg(HWND, LONG, LONG, LONG* count, IWiaItem*** items) override {
    return DialogItems(fRoot ? fRoot : this, count, items);
  }
  // "<device>\\Root\\<folders and name>", the store's path with backslashes.
  std::string FullName() {
    std::string path = fId;
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    std::replace(path.begin(), path.end(), '/', '\\');
    return fDevice->Name + "\\Root" + (path.empty() ? "" : "\\" + path);
  }

  HRESULT ReadMultiple(ULONG n, const PROPSPEC prop[], PROPVARIANT out[]) override {
    if (!prop) return E_POINTER;
    bool thumb = false;
    for (ULONG i = 0; i < n; ++i)
      thumb |= prop[i].ulKind == PRSPEC_PROPID && (prop[i].propid == WIA_IPC_THUMBNAIL ||
                                                    prop[i].propid == WIA_IPC_THUMB_WIDTH ||
                                                    prop[i].propid == WIA_IPC_THUMB_HEIGHT);
    Refresh(thumb);
    return ReadFrom(fStore, n, prop, out);
  }
  HRESULT WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID) override { return E_ACCESSDENIED; }
  HRESULT GetPropertyAttributes(ULONG n, PROPSPEC prop[], ULONG flags[], PROPVARIANT valid[]) override {
    Refresh(false);
    return AttributesFrom(fStore, n, prop, flags, valid);
  }
  HRESULT GetCount(ULONG* n) override {
    if (!n) return E_POINTER;
    Refresh(false);
    *n = ULONG(fStore.Count());
    return S_OK;
  }

  HRESULT idtGetBandedData(WIA_DATA_TRANSFER_INFO* info, IWiaDataCallback* cb) override {
    if (!cb) return E_POINTER;
    TVXStoreEntry e;
    GUID format;
    if (fDeleted || Store().Entry(fId, e) != S_OK || e.Kind != vxskFile || e.Size > uint64_t(INT32_MAX)) return E_INVALIDARG;
    if (!FormatOf(e.Name, format)) format = WiaImgFmt_JPEG;
    std::vector<uint8_t> bytes;
    if (!ReadAll(bytes)) return E_FAIL;
    LONG band;
    {
      std::lock_guard<std::recursive_mutex> l(G().M);
      band = G().BandSize;
    }
    if (band <= 0) band = info && info->ulBufferSize > 0 ? LONG(std::min<ULONG>(info->ulBufferSize, 1u << 24)) : 65536;
    WIA_DATA_CALLBACK_HEADER h{LONG(sizeof(WIA_DATA_CALLBACK_HEADER)), format, LONG(bytes.size()), 0};
    if (cb->BandedDataCallback(IT_MSG_DATA_HEADER, IT_STATUS_TRANSFER_TO_CLIENT, 0, 0, LONG(sizeof(h)), 0, 0,
                               reinterpret_cast<BYTE*>(&h)) != S_OK)
      return S_FALSE;
    for (size_t at = 0; at < bytes.size(); at += size_t(band)) {
      const LONG len = LONG(std::min(bytes.size() - at, size_t(band)));
      if (cb->BandedDataCallback(IT_MSG_DATA, IT_STATUS_TRANSFER_TO_CLIENT, LONG((at + size_t(len)) * 100 / bytes.size()),
                                 LONG(at), len, 0, len, bytes.data() + at) != S_OK)
        return S_FALSE;
    }
    return cb->BandedDataCallback(IT_MSG_TERMINATION, IT_STATUS_TRANSFER_TO_CLIENT, 100, 0, 0, 0, 0, nullptr) == S_OK
               ? S_OK
               : S_FALSE;
  }

private:
  std::shared_ptr<TDevice> fDevice;
  std::string fId;
  TCamItem* fRoot;
  bool fDeleted = false;
  TStore fStore;

  TVXCameraStore& Store() { return *fDevice->Store; }

  // The folder of the first folder of DCIM on the first storage (made when
  // missing).
  HRESULT PictureFolder(std::string& Folder) {
    std::vector<std::string> ids;
    if (Store().Children("DEVICE", ids) != S_OK || ids.empty()) return E_FAIL;
    const std::string storage = ids.front();
    auto child = [&](const std::string& Parent, const std::string& Name, std::string& Out) {
      std::vector<std::string> kids;
      if (Store().Children(Parent, kids) != S_OK) return false;
      for (const std::string& k : kids) {
        TVXStoreEntry e;
        if (Store().Entry(k, e) == S_OK && e.Kind == vxskFolder && (Name.empty() || e.Name == Name)) {
          Out = k;
          return true;
        }
      }
      return false;
    };
    std::string dcim;
    if (!child(storage, "DCIM", dcim) && Store().CreateFolder(storage, "DCIM", dcim) != S_OK) return E_FAIL;
    if (!child(dcim, "", Folder) && Store().CreateFolder(dcim, "100VXSIM", Folder) != S_OK) return E_FAIL;
    return S_OK;
  }

  // A simulated camera's picture: a small colour gradient as a JPEG file
  // named after the first free number.
  HRESULT TakePicture(std::string& NewId) {
    std::string folder;
    if (PictureFolder(folder) != S_OK) return E_FAIL;
    TVXBitmap b;
    b.Allocate(64, 48, vx24RGB);
    for (int32_t y = 0; y < 48; ++y) {
      auto* row = static_cast<uint8_t*>(b.ScanLine(y));
      for (int32_t x = 0; x < 64; ++x) {
        row[3 * x] = uint8_t(x * 4);
        row[3 * x + 1] = uint8_t(y * 5);
        row[3 * x + 2] = 128;
      }
    }
    TMemoryStream jpeg;
    try {
      TVexlaneIO::CreateFromBitmap(&b)->SaveToStream(&jpeg, 3);
    } catch (const std::exception&) {
      return E_FAIL;
    }
    for (int n = 1; n < 10000; ++n) {
      char name[16];
      std::snprintf(name, sizeof name, "VX%04d.jpg", n);
      IStream* out = nullptr;
      const HRESULT hr = Store().CreateFile(folder, name, &out, NewId);
      if (hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) continue;
      if (hr != S_OK || !out) return E_FAIL;
      ULONG written = 0;
      const HRESULT w = out->Write(jpeg.Memory(), ULONG(jpeg.Size()), &written);
      const HRESULT c = SUCCEEDED(w) && written == ULONG(jpeg.Size()) ? out->Commit(STGC_DEFAULT) : E_FAIL;
      out->Release();
      return c == S_OK ? S_OK : E_FAIL;
    }
    return E_FAIL;
  }

  bool ReadAll(std::vector<uint8_t>& Bytes) {
    IStream* s = nullptr;
    if (Store().OpenRead(fId, &s) != S_OK || !s) return false;
    uint8_t buf[65536];
    ULONG got = 0;
    HRESULT hr;
    while ((hr = s->Read(buf, sizeof(buf), &got)) == S_OK || (hr == S_FALSE && got > 0)) {
      Bytes.insert(Bytes.end(), buf, buf + got);
      if (got == 0 || hr == S_FALSE) break;
    }
    s->Release();
    return SUCCEEDED(hr);
  }

  // The picture scaled into kThumbSide x kThumbSide, as bottom-up 24-bit
  // rows padded to 4 bytes (BGR).
  void Thumbnail() {
    std::vector<uint8_t> bytes;
    if (!ReadAll(bytes)) return;
    TVXBitmap picture, thumb;
    try {
      TMemoryStream m;
      m.Write(bytes.data(), int64_t(bytes.size()));
      m.SetPosition(0);
      if (!TVexlaneIO::CreateFromBitmap(&picture)->LoadFromStream(&m) || picture.Width() <= 0) return;
      picture.SetPixelFormat(vx24RGB);
      if (!VXResampleToSize(&picture, &thumb, kThumbSide, kThumbSide, rfTriangle, true)) return;
      thumb.SetPixelFormat(vx24RGB);
    } catch (const std::exception&) {
      return;
    }
    const int32_t w = thumb.Width(), h = thumb.Height();
    const size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
    PROPVARIANT v;
    v.vt = VT_VECTOR | VT_UI1;
    v.caub.cElems = ULONG(stride * size_t(h));
    v.caub.pElems = static_cast<uint8_t*>(CoTaskMemAlloc(std::max<size_t>(1, v.caub.cElems)));
    std::memset(v.caub.pElems, 0, v.caub.cElems);
    for (int32_t y = 0; y < h; ++y) {
      const auto* src = static_cast<const uint8_t*>(thumb.ScanLine(y));
      uint8_t* dst = v.caub.pElems + size_t(h - 1 - y) * stride;
      std::memcpy(dst, src, size_t(w) * 3);  // both hold blue, green, red
    }
    fStore.Put(WIA_IPC_THUMBNAIL, v);
    fStore.Put(WIA_IPC_THUMB_WIDTH, Int(w));
    fStore.Put(WIA_IPC_THUMB_HEIGHT, Int(h));
  }

  void Refresh(bool WithThumbnail) {
    fStore.Clear();
    TVXStoreEntry e;
    if (!fRoot) {
      fStore.Put(WIA_IPA_ITEM_NAME, Text("Root"));
      fStore.Put(WIA_IPA_FULL_ITEM_NAME, Text(fDevice->Name + "\\Root"));
      return;
    }
    if (fDeleted || Store().Entry(fId, e) != S_OK) return;
    fStore.Put(WIA_IPA_ITEM_NAME, Text(e.Name));
    fStore.Put(WIA_IPA_FULL_ITEM_NAME, Text(FullName()));
    GUID format;
    if (e.Kind != vxskFile) return;
    fStore.Put(WIA_IPA_ITEM_SIZE, Int(LONG(std::min<uint64_t>(e.Size, INT32_MAX))));
    if (!FormatOf(e.Name, format)) return;
    PROPVARIANT f;
    InitPropVariantFromCLSID(format, &f);
    fStore.Put(WIA_IPA_FORMAT, f, WIA_PROP_READ | WIA_PROP_LIST, Guids({format}));
    fStore.Put(WIA_IPA_TYMED, Int(TYMED_CALLBACK), WIA_PROP_RW | WIA_PROP_LIST, Ints({1, TYMED_CALLBACK, TYMED_CALLBACK}));
    if (WithThumbnail) Thumbnail();
  }
};

// ---------------------------------------------------------------------------

class TDevMgr : public TVXComObject<IWiaDevMgr> {
public:
  HRESULT EnumDeviceInfo(LONG, IEnumWIA_DEV_INFO** e) override {
    DeliverEvents();
    if (!e) return E_POINTER;
    *e = new TInfoEnum();
    return S_OK;
  }
  HRESULT SelectDeviceDlgID(HWND, LONG, LONG, LPWSTR* id) override {
    DeliverEvents();
    if (!id) return E_POINTER;
    *id = nullptr;
    std::lock_guard<std::recursive_mutex> l(G().M);
    for (TDevice* d : Devices())
      if (!G().DialogAnswer.empty() && d->Id == G().DialogAnswer) {
        *id = VXCoTaskStrDup(d->Id);
        return S_OK;
      }
    return S_FALSE;  // cancelled
  }
  HRESULT RegisterEventCallbackInterface(LONG, LPCWSTR device, const GUID* event, IWiaEventCallback* cb,
                                         IUnknown** object) override {
    DeliverEvents();
    if (!event || !cb || !object) return E_POINTER;
    auto r = std::make_shared<TRegistration>();
    r->Thread = std::this_thread::get_id();
    r->DeviceId = VXStr(device);
    r->Event = *event;
    r->Callback = cb;
    cb->AddRef();
    {
      std::lock_guard<std::recursive_mutex> l(G().M);
      G().Registrations.push_back(r);
    }
    *object = new TRegistrationObject(r);
    return S_OK;
  }
  HRESULT CreateDevice(LPCWSTR id, IWiaItem** root) override {
    DeliverEvents();
    if (!root) return E_POINTER;
    *root = nullptr;
    std::lock_guard<std::recursive_mutex> l(G().M);
    for (TDevice* d : Devices()) {
      if (d->Id != VXStr(id)) continue;
      if (d->Store) {
        // The root shares the device entry, which a later listing replaces.
        auto shared = std::make_shared<TDevice>();
        shared->Name = d->Name;
        shared->Id = d->Id;
        shared->Store = d->Store;
        shared->Type = d->Type;
        shared->TakesPictures = d->TakesPictures;
        shared->SendsEvents = d->SendsEvents;
        shared->GPhoto = d->GPhoto;
        shared->Port = d->Port;
        *root = new TCamItem(shared, "DEVICE", nullptr);
        return S_OK;
      }
      if (d->Open) return HRESULT(0x80210006u);  // WIA_ERROR_BUSY
      if (d->Scanner->Open() != TWCC_SUCCESS) return HRESULT(0x80210006u);
      d->Open = true;
      *root = new TItem(d, kRoot, nullptr);
      return S_OK;
    }
    return WIA_S_NO_DEVICE_AVAILABLE;
  }
};

HRESULT CreateDevMgr(REFIID riid, void** ppv) {
  auto* m = new TDevMgr();
  const HRESULT hr = m->QueryInterface(riid, ppv);
  m->Release();
  return hr;
}

}  // namespace

void VXRegisterWiaDevMgr() { VXRegisterComClass(CLSID_WiaDevMgr, &CreateDevMgr, CLSCTX_LOCAL_SERVER); }
void VXUnregisterWiaDevMgr() { VXUnregisterComClass(CLSID_WiaDevMgr); }

namespace VXWiaDevices {

void AddScanner(const std::string& Name, const std::string& Id, LONG DevType, std::unique_ptr<TVXScanDevice> Device) {
  if (!Device) return;
  std::lock_guard<std::recursive_mutex> l(G().M);
  auto d = std::make_unique<TDevice>();
  d->Name = Name;
  d->Id = Id;
  d->Vendor = Device->Manufacturer();
  d->Port = Id;
  d->Type = DevType;
  d->Scanner = std::move(Device);
  G().Added.push_back(std::move(d));
}

void AddCamera(const std::string& Name, const std::string& Id, std::shared_ptr<TVXCameraStore> Store,
               bool SendsEvents) {
  if (!Store) return;
  std::lock_guard<std::recursive_mutex> l(G().M);
  auto d = std::make_unique<TDevice>();
  d->Name = Name;
  d->Id = Id;
  d->Vendor = "Vexlane";
  d->Port = Id;
  d->Type = StiDeviceTypeDigitalCamera << 16;
  d->Store = std::move(Store);
  d->TakesPictures = true;
  d->SendsEvents = SendsEvents;
  G().Added.push_back(std::move(d));
}

void Reset() {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().Added.clear();
  G().Sane.clear();
  G().SaneRead = false;
  G().BandSize = 0;
  G().NewPageAfter = true;
  G().DialogAnswer.clear();
  G().Synchronizes = 0;
  G().DeviceWrites.clear();
}

int32_t SynchronizeCount() {
  std::lock_guard<std::recursive_mutex> l(G().M);
  return G().Synchronizes;
}

std::vector<std::string> DeviceWrites() {
  std::lock_guard<std::recursive_mutex> l(G().M);
  return G().DeviceWrites;
}

void SetDialogAnswer(const std::string& Answer) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().DialogAnswer = Answer;
}

void SetBandSize(LONG Bytes) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().BandSize = Bytes;
}

void SetNewPageAfter(bool After) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().NewPageAfter = After;
}

}  // namespace VXWiaDevices
