#include "acquire/twain_sim.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <cstring>
#include <map>
#include <memory>

#include "acquire/twain_dsm.h"
#include "core/dictionary.h"
#include "core/vxdefs.h"

namespace {

[[noreturn]] void Bad(const std::string& What) { throw EVXException("Simulated TWAIN source: " + What); }

double Number(const TVXDictionaryItem* item) {
  if (auto* i = dynamic_cast<const TVXDictionaryValueInteger*>(item)) return i->value;
  if (auto* d = dynamic_cast<const TVXDictionaryValueDouble*>(item)) return d->value;
  if (auto* b = dynamic_cast<const TVXDictionaryValueBoolean*>(item)) return b->value ? 1 : 0;
  Bad("a number was expected");
}

uint16_t ItemTypeOf(const std::string& Name) {
  static const std::map<std::string, uint16_t> kTypes = {{"UINT16", TWTY_UINT16}, {"INT16", TWTY_INT16},
                                                         {"INT32", TWTY_INT32},   {"BOOL", TWTY_BOOL},
                                                         {"FIX32", TWTY_FIX32},   {"STR32", TWTY_STR32}};
  auto it = kTypes.find(Name);
  if (it == kTypes.end()) Bad("unknown item type \"" + Name + "\"");
  return it->second;
}

size_t ItemSize(uint16_t Type) {
  switch (Type) {
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
      return 2;
    case TWTY_STR32:
      return 34;
    default:
      return 4;
  }
}

void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// One item of the given type at `at` (Size bytes).
void PutItem(std::vector<uint8_t>& b, size_t at, uint16_t Type, const TVXDictionaryItem* item) {
  if (Type == TWTY_STR32) {
    auto* s = dynamic_cast<const TVXDictionaryValueWideString*>(item);
    if (!s) Bad("a text was expected");
    if (b.size() < at + 34) b.resize(at + 34);
    std::memcpy(b.data() + at, s->value.data(), std::min<size_t>(s->value.size(), 33));
    return;
  }
  const double v = Number(item);
  switch (Type) {
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
      PutU16(b, at, uint16_t(int32_t(v)));
      return;
    case TWTY_INT32:
      PutU32(b, at, uint32_t(int32_t(v)));
      return;
    default: {  // FIX32: whole part then fraction
      const int32_t n = int32_t(std::trunc(v * 65536.0 + (v >= 0 ? 0.5 : -0.5)));
      PutU16(b, at, uint16_t(uint32_t(n) >> 16));
      PutU16(b, at + 2, uint16_t(n & 0xFFFF));
      return;
    }
  }
}

std::vector<uint8_t> Hex(const std::string& Text) {
  std::vector<uint8_t> out;
  int hi = -1;
  for (char c : Text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c == ' ') continue;
    else Bad("bad hex digit in \"Raw\"");
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(uint8_t(hi << 4 | v));
      hi = -1;
    }
  }
  if (hi >= 0) Bad("odd number of hex digits in \"Raw\"");
  return out;
}

struct TCap {
  uint16_t ConType = 0;
  std::vector<uint8_t> Bytes;
  std::vector<std::string> SetKinds;
};

TCap ReadCap(const TVXDictionary* c) {
  TCap cap;
  if (TVXDictionaryList* kinds = c->HasKey("Set", false) ? c->GetList("Set", false) : nullptr)
    for (int32_t i = 0; i < kinds->Count(); ++i) {
      auto* s = dynamic_cast<TVXDictionaryValueWideString*>(kinds->Items(i));
      if (!s) Bad("\"Set\" lists container kinds");
      cap.SetKinds.push_back(s->value);
    }
  TVXDictionary* get = c->HasKey("Get", false) ? c->GetDictionary("Get", false) : nullptr;
  if (!get) return cap;
  if (!get->HasKey("ConType", false)) Bad("\"Get\" needs a \"ConType\"");
  TVXDictionaryItem* conType = get->Get("ConType", true, false);
  if (get->HasKey("Raw", false)) {
    cap.ConType = uint16_t(int32_t(Number(conType)));
    cap.Bytes = Hex(get->GetString("Raw", false));
    return cap;
  }
  const std::string kind = get->GetString("ConType", false);
  const uint16_t type = ItemTypeOf(get->GetString("ItemType", false));
  const size_t size = ItemSize(type);
  std::vector<uint8_t>& b = cap.Bytes;
  PutU16(b, 0, type);
  if (kind == "ONEVALUE") {
    cap.ConType = TWON_ONEVALUE;
    b.resize(6);
    PutItem(b, 2, type, get->Get("Value", false, false));
  } else if (kind == "ARRAY" || kind == "ENUMERATION") {
    TVXDictionaryList* items = get->GetList("Items", false);
    if (!items) Bad("\"" + kind + "\" needs \"Items\"");
    const bool isEnum = kind == "ENUMERATION";
    cap.ConType = isEnum ? TWON_ENUMERATION : TWON_ARRAY;
    PutU32(b, 2, uint32_t(items->Count()));
    size_t at = 6;
    if (isEnum) {
      PutU32(b, 6, uint32_t(get->HasKey("Current", false) ? get->GetInteger("Current", false) : 0));
      PutU32(b, 10, uint32_t(get->HasKey("Default", false) ? get->GetInteger("Default", false) : 0));
      at = 14;
    }
    b.resize(at);
    for (int32_t i = 0; i < items->Count(); ++i) PutItem(b, at + size_t(i) * size, type, items->Items(i));
  } else if (kind == "RANGE") {
    cap.ConType = TWON_RANGE;
    b.resize(22);
    const char* names[] = {"Min", "Max", "Step", "Default", "Current"};
    for (int i = 0; i < 5; ++i) {
      TVXDictionaryItem* v = get->HasKey(names[i], false) ? get->Get(names[i], false, false) : nullptr;
      if (!v) Bad("\"RANGE\" needs \"" + std::string(names[i]) + "\"");
      PutItem(b, 2 + size_t(i) * 4, type, v);
    }
  } else {
    Bad("unknown container \"" + kind + "\"");
  }
  return cap;
}

const char* KindName(uint16_t ConType) {
  switch (ConType) {
    case TWON_ONEVALUE:
      return "ONEVALUE";
    case TWON_ENUMERATION:
      return "ENUMERATION";
    case TWON_RANGE:
      return "RANGE";
    case TWON_ARRAY:
      return "ARRAY";
    default:
      return "";
  }
}

}  // namespace

TVXScanFrame VXReadPNMPage(const std::string& FileName) {
  FILE* f = std::fopen(FileName.c_str(), "rb");
  if (!f) Bad("cannot read page \"" + FileName + "\"");
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  size_t at = 0;
  auto token = [&]() {
    std::string t;
    while (at < data.size()) {
      const char c = char(data[at]);
      if (c == '#') {
        while (at < data.size() && data[at] != '\n') ++at;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        if (!t.empty()) break;
        ++at;
      } else {
        t += c;
        ++at;
      }
    }
    return t;
  };
  const std::string magic = token();
  if (magic != "P4" && magic != "P5" && magic != "P6") Bad("\"" + FileName + "\" is no P4, P5 or P6 file");
  TVXScanFrame p;
  p.Width = std::atoi(token().c_str());
  p.Height = std::atoi(token().c_str());
  const int maxval = magic == "P4" ? 1 : std::atoi(token().c_str());
  ++at;  // the single blank after the header
  if (p.Width <= 0 || p.Height <= 0 || maxval <= 0 || maxval > 65535) Bad("bad PNM header in \"" + FileName + "\"");
  const int bytes = maxval > 255 ? 2 : 1;
  p.BitsPerPixel = magic == "P4" ? 1 : (magic == "P5" ? 8 : 24) * bytes;
  const size_t size = p.RowBytes() * size_t(p.Height);
  if (data.size() < at || data.size() - at < size) Bad("\"" + FileName + "\" is truncated");
  p.Pixels.assign(data.begin() + long(at), data.begin() + long(at + size));
  if (magic == "P4")
    for (uint8_t& b : p.Pixels) b = uint8_t(~b);  // PNM: 1 is black
  if (bytes == 2)
    for (size_t i = 0; i + 1 < p.Pixels.size(); i += 2) std::swap(p.Pixels[i], p.Pixels[i + 1]);
  return p;
}

namespace {

class TSimDevice : public TVXScanDevice {
public:
  std::string Name, Maker, Family;
  std::deque<TVXScanFrame> Feeder;
  std::deque<std::vector<TVXScanFrame>> Batches;
  std::map<uint16_t, TCap> Caps;
  bool HasFrame = false;
  double Frame[4] = {0, 0, 0, 0};

  std::string ProductName() const override { return Name; }
  std::string Manufacturer() const override { return Maker; }
  std::string ProductFamily() const override { return Family; }

  uint16_t GetCapability(uint16_t Cap, uint16_t& ConType, std::vector<uint8_t>& Container) override {
    auto it = Caps.find(Cap);
    if (it == Caps.end() || it->second.ConType == 0) return TWCC_CAPUNSUPPORTED;
    ConType = it->second.ConType;
    Container = it->second.Bytes;
    return TWCC_SUCCESS;
  }

  uint16_t SetCapability(uint16_t Cap, uint16_t ConType, const uint8_t* Data, size_t Size) override {
    auto it = Caps.find(Cap);
    if (it == Caps.end()) return TWCC_CAPUNSUPPORTED;
    TCap& c = it->second;
    const std::string kind = KindName(ConType);
    bool allowed = false;
    for (const std::string& k : c.SetKinds) allowed |= !kind.empty() && k == kind;
    if (!allowed || !Data) return TWCC_BADVALUE;
    if (ConType == TWON_ARRAY || ConType == TWON_ENUMERATION || c.Bytes.size() < 2) {
      // A list of values: the source offers these from now on.
      c.ConType = ConType;
      c.Bytes.assign(Data, Data + Size);
      return TWCC_SUCCESS;
    }
    // One value, or a range's current value.
    const size_t at = ConType == TWON_ONEVALUE ? 2 : 18;
    const size_t size = ItemSize(GetU16(c.Bytes.data()));
    if (Size < at + std::max<size_t>(size, 4)) return TWCC_BADVALUE;
    const uint8_t* value = Data + at;
    switch (c.ConType) {
      case TWON_ONEVALUE:
        if (c.Bytes.size() < 2 + size) c.Bytes.resize(2 + size);
        std::memcpy(c.Bytes.data() + 2, value, size);
        return TWCC_SUCCESS;
      case TWON_RANGE:
        if (c.Bytes.size() < 22) return TWCC_BADVALUE;
        std::memcpy(c.Bytes.data() + 18, value, 4);
        return TWCC_SUCCESS;
      case TWON_ENUMERATION: {
        if (c.Bytes.size() < 14) return TWCC_BADVALUE;
        const uint32_t n = GetU32(c.Bytes.data() + 2);
        for (uint32_t i = 0; i < n && 14 + (i + 1) * size <= c.Bytes.size(); ++i)
          if (std::memcmp(c.Bytes.data() + 14 + i * size, value, size) == 0) {
            PutU32(c.Bytes, 6, i);
            return TWCC_SUCCESS;
          }
        return TWCC_BADVALUE;
      }
      default:
        c.ConType = ConType;
        c.Bytes.assign(Data, Data + Size);
        return TWCC_SUCCESS;
    }
  }

  uint16_t GetFrame(double F[4]) override {
    if (!HasFrame) return TWCC_BADPROTOCOL;
    std::memcpy(F, Frame, sizeof(Frame));
    return TWCC_SUCCESS;
  }

  uint16_t SetFrame(const double F[4]) override {
    if (!HasFrame) return TWCC_BADPROTOCOL;
    std::memcpy(Frame, F, sizeof(Frame));
    return TWCC_SUCCESS;
  }

  int32_t PagesWaiting() override { return int32_t(Feeder.size()); }
  bool ScanPage(TVXScanFrame& Page) override {
    if (Feeder.empty()) return false;
    Page = std::move(Feeder.front());
    Feeder.pop_front();
    return true;
  }
  void DropPages() override { Feeder.clear(); }
  bool NextBatch() {
    if (Batches.empty()) return false;
    for (auto& p : Batches.front()) Feeder.push_back(std::move(p));
    Batches.pop_front();
    return true;
  }
};

std::vector<TSimDevice*>& Devices() {
  static std::vector<TSimDevice*> d;
  return d;
}

std::vector<TVXScanFrame> ReadPages(TVXDictionaryList* list, double XRes, double YRes, TVXDictionaryList* captions,
                                    size_t& CaptionAt) {
  std::vector<TVXScanFrame> out;
  for (int32_t i = 0; i < list->Count(); ++i) {
    auto* name = dynamic_cast<TVXDictionaryValueWideString*>(list->Items(i));
    if (!name) Bad("pages are PNM file names");
    TVXScanFrame p = VXReadPNMPage(name->value);
    p.XResolution = XRes;
    p.YResolution = YRes;
    if (captions && int32_t(CaptionAt) < captions->Count())
      if (auto* c = dynamic_cast<TVXDictionaryValueWideString*>(captions->Items(int32_t(CaptionAt))))
        p.Caption = c->value;
    ++CaptionAt;
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace

namespace VXTwainSim {

void Reset() {
  Devices().clear();
  VXTwainManager::Reset();
}

bool NextBatch() {
  bool any = false;
  for (TSimDevice* d : Devices()) any |= d->NextBatch();
  VXTwainManager::AnnouncePages();
  return any;
}

bool RequestClose() { return VXTwainManager::PostEvent(MSG_CLOSEDSREQ); }

std::unique_ptr<TVXScanDevice> MakeDevice(const std::string& Json, TVXTwainSourceScript* Script) {
  TVXDictionary d(103);
  if (!d.Parse(Json)) Bad("the description is not JSON");
  auto dev = std::make_unique<TSimDevice>();
  dev->Name = d.HasKey("ProductName", false) ? d.GetString("ProductName", false) : d.GetString("Name", false);
  dev->Maker = d.HasKey("Manufacturer", false) ? d.GetString("Manufacturer", false) : "";
  dev->Family = d.HasKey("ProductFamily", false) ? d.GetString("ProductFamily", false) : "";
  if (TVXDictionary* caps = d.HasKey("Caps", false) ? d.GetDictionary("Caps", false) : nullptr) {
    TVXStrStrEnumerator e;
    while (caps->GetNext(e)) {
      auto* c = dynamic_cast<TVXDictionary*>(e.item->value.get());
      if (!c) Bad("capability " + e.item->key + " is not an object");
      char* end = nullptr;
      const long id = std::strtol(e.item->key.c_str(), &end, 10);
      if (!end || *end || id < 0 || id > 0xFFFF) Bad("\"" + e.item->key + "\" is no capability number");
      dev->Caps[uint16_t(id)] = ReadCap(c);
    }
  }
  if (TVXDictionaryList* lay = d.HasKey("Layout", false) ? d.GetList("Layout", false) : nullptr) {
    if (lay->Count() != 4) Bad("\"Layout\" has four edges");
    for (int32_t i = 0; i < 4; ++i) dev->Frame[i] = Number(lay->Items(i));
    dev->HasFrame = true;
  }
  auto num = [&](const char* key, double def) { return d.HasKey(key, false) ? d.GetDouble(key, false) : def; };
  auto text = [&](const char* key) { return d.HasKey(key, false) ? d.GetString(key, false) : std::string(); };
  const double xres = num("XResolution", 300), yres = num("YResolution", 300);
  TVXDictionaryList* captions = d.HasKey("Captions", false) ? d.GetList("Captions", false) : nullptr;
  size_t captionAt = 0;
  if (d.HasKey("Pages", false))
    for (auto& p : ReadPages(d.GetList("Pages", false), xres, yres, captions, captionAt))
      dev->Feeder.push_back(std::move(p));
  if (TVXDictionaryList* batches = d.HasKey("Batches", false) ? d.GetList("Batches", false) : nullptr)
    for (int32_t i = 0; i < batches->Count(); ++i) {
      auto* b = dynamic_cast<TVXDictionaryList*>(batches->Items(i));
      if (!b) Bad("\"Batches\" holds lists of pages");
      dev->Batches.push_back(ReadPages(b, xres, yres, captions, captionAt));
    }
  TVXTwainSourceScript script;
  script.FileFormat = uint16_t(num("FileFormat", 2));
  script.StripRows = int32_t(num("StripRows", 16));
  script.FirstYOffset = int32_t(num("FirstYOffset", 0));
  script.UnknownLength = num("UnknownLength", 0) != 0;
  script.Vanilla = num("PixelFlavor", 0) == 1;
  script.Force = text("Force");
  script.CancelAtStrip = int32_t(num("CancelAtStrip", -1));
  script.FailAtStrip = int32_t(num("FailAtStrip", -1));
  if (d.HasKey("UI", false)) script.UI = text("UI");
  if (d.HasKey("Settings", false)) script.Settings = Hex(text("Settings"));
  if (Script) *Script = script;
  return dev;
}

int32_t AddSource(const std::string& Json) {
  TVXTwainSourceScript script;
  std::unique_ptr<TVXScanDevice> dev = MakeDevice(Json, &script);
  Devices().push_back(static_cast<TSimDevice*>(dev.get()));
  return int32_t(VXTwainManager::AddSource(std::move(dev), script));
}

void SetUserSelect(const std::string& Name) { VXTwainManager::SetUserSelect(Name); }
std::vector<std::string> Triplets() { return VXTwainManager::Triplets(); }
void ClearTriplets() { VXTwainManager::ClearTriplets(); }

void SetFault(const std::string& Triplet, uint16_t ReturnCode, uint16_t ConditionCode, int32_t Times) {
  VXTwainManager::AddFault(Triplet, ReturnCode, ConditionCode, Times);
}

void SetEnableCheckStatus(bool On) { VXTwainManager::SetEnableCheckStatus(On); }
bool PostEvent(uint16_t TWMessage) { return VXTwainManager::PostEvent(TWMessage); }

}  // namespace VXTwainSim
