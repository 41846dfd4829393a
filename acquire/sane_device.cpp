#include "acquire/sane_device.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cctype>
#include <cmath>
#include <cstring>

#include "acquire/sane_binding.h"
#include "acquire/sane_frames.h"
#include "acquire/twain_types.h"

namespace {

constexpr double kMmPerInch = 25.4;

// ---------------------------------------------------------------------------
// TWAIN containers, little-endian as the source manager hands them on.

void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t Fix32Bits(double v) {
  const int64_t n = int64_t(std::trunc(v * 65536.0 + (v >= 0 ? 0.5 : -0.5)));
  return uint32_t(n);
}

double Fix32Value(uint32_t bits) { return int16_t(bits & 0xFFFF) + double(bits >> 16) / 65536.0; }

size_t ItemBytes(uint16_t Type) { return Type == TWTY_FIX32 || Type == TWTY_INT32 || Type == TWTY_UINT32 ? 4 : 2; }

uint32_t ItemBits(uint16_t Type, double v) {
  if (Type == TWTY_FIX32) {
    const uint32_t n = Fix32Bits(v);  // whole part first, then the fraction
    return (n >> 16 & 0xFFFF) | (n & 0xFFFF) << 16;
  }
  return uint32_t(int64_t(std::llrint(v)));
}

double ItemValue(uint16_t Type, const uint8_t* p) {
  switch (Type) {
    case TWTY_FIX32: return Fix32Value(GetU32(p));
    case TWTY_INT16: return int16_t(GetU16(p));
    case TWTY_INT32: return int32_t(GetU32(p));
    case TWTY_UINT32: return GetU32(p);
    default: return GetU16(p);
  }
}

void PutItem(std::vector<uint8_t>& b, size_t at, uint16_t Type, double v) {
  if (ItemBytes(Type) == 4)
    PutU32(b, at, ItemBits(Type, v));
  else
    PutU16(b, at, uint16_t(ItemBits(Type, v)));
}

std::vector<uint8_t> OneValue(uint16_t Type, double v) {
  std::vector<uint8_t> b(6, 0);
  PutU16(b, 0, Type);
  PutItem(b, 2, Type, v);
  return b;
}

std::vector<uint8_t> Enumeration(uint16_t Type, const std::vector<double>& Items, size_t Current) {
  std::vector<uint8_t> b(14, 0);
  PutU16(b, 0, Type);
  PutU32(b, 2, uint32_t(Items.size()));
  PutU32(b, 6, uint32_t(Current));
  PutU32(b, 10, uint32_t(Current));
  for (size_t i = 0; i < Items.size(); ++i) PutItem(b, 14 + i * ItemBytes(Type), Type, Items[i]);
  b.resize(14 + Items.size() * ItemBytes(Type));
  return b;
}

std::vector<uint8_t> Range(uint16_t Type, double Min, double Max, double Step, double Current) {
  std::vector<uint8_t> b(22, 0);
  PutU16(b, 0, Type);
  PutU32(b, 2, ItemBits(Type, Min));
  PutU32(b, 6, ItemBits(Type, Max));
  PutU32(b, 10, ItemBits(Type, Step));
  PutU32(b, 14, ItemBits(Type, Current));
  PutU32(b, 18, ItemBits(Type, Current));
  return b;
}

// The value a MSG_SET container asks for: a one value, an enumeration's
// current item or a range's current value.
bool AskedValue(uint16_t ConType, const uint8_t* Data, size_t Size, double& Value) {
  if (!Data || Size < 2) return false;
  const uint16_t type = GetU16(Data);
  const size_t item = ItemBytes(type);
  switch (ConType) {
    case TWON_ONEVALUE:
      if (Size < 2 + item) return false;
      Value = ItemValue(type, Data + 2);
      return true;
    case TWON_RANGE:
      if (Size < 22) return false;
      Value = ItemValue(type, Data + 18);
      return true;
    case TWON_ENUMERATION: {
      if (Size < 14) return false;
      const uint32_t n = GetU32(Data + 2), at = GetU32(Data + 6);
      if (at >= n || (Size - 14) / item <= at) return false;
      Value = ItemValue(type, Data + 14 + size_t(at) * item);
      return true;
    }
    default:
      return false;
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool Contains(const std::string& s, const char* What) { return Lower(s).find(What) != std::string::npos; }

enum TModeKind { kOther, kLineart, kGray, kColor };

TModeKind KindOfMode(const std::string& Mode) {
  if (Contains(Mode, "lineart") || Contains(Mode, "binary") || Contains(Mode, "halftone")) return kLineart;
  if (Contains(Mode, "gray") || Contains(Mode, "grey")) return kGray;
  if (Contains(Mode, "color") || Contains(Mode, "colour")) return kColor;
  return kOther;
}

bool IsFeeder(const std::string& Source) {
  return Contains(Source, "feeder") || Contains(Source, "adf") || Contains(Source, "duplex");
}

uint16_t ConditionOf(SANE_Status st) {
  switch (st) {
    case SANE_STATUS_JAMMED: return TWCC_PAPERJAM;
    case SANE_STATUS_NO_MEM: return TWCC_LOWMEMORY;
    case SANE_STATUS_COVER_OPEN: return TWCC_OPERATIONERROR;
    case SANE_STATUS_DEVICE_BUSY: return TWCC_MAXCONNECTIONS;
    case SANE_STATUS_ACCESS_DENIED: return TWCC_DENIED;
    default: return TWCC_BUMMER;
  }
}

// ---------------------------------------------------------------------------

class TSaneDevice : public TVXScanDevice {
public:
  TSaneDevice(const TVXSaneApi& Api, const TVXSaneDeviceInfo& Info) : fApi(Api), fInfo(Info) {}
  ~TSaneDevice() override { Close(); }

  std::string ProductName() const override { return VXSaneProductName(fInfo.Model, fInfo.Name); }
  std::string Manufacturer() const override { return fInfo.Vendor; }
  std::string ProductFamily() const override { return fInfo.Type; }

  uint16_t Open() override {
    Close();
    SANE_Handle h = nullptr;
    const SANE_Status st = fApi.open(fInfo.Name.c_str(), &h);
    if (st != SANE_STATUS_GOOD || !h) return ConditionOf(st);
    fHandle = h;
    fXferMech = 0;
    ResetFeeder();
    return TWCC_SUCCESS;
  }

  void Close() override {
    if (!fHandle) return;
    if (fStarted) fApi.cancel(fHandle);
    fStarted = false;
    fApi.close(fHandle);
    fHandle = nullptr;
  }

  uint16_t GetCapability(uint16_t Cap, uint16_t& ConType, std::vector<uint8_t>& C) override {
    if (!fHandle) return TWCC_SEQERROR;
    switch (Cap) {
      case ICAP_XRESOLUTION:
      case ICAP_YRESOLUTION:
        return NumberCap(ResolutionOption(Cap == ICAP_XRESOLUTION), ConType, C);
      case ICAP_BRIGHTNESS: return NumberCap(Find("brightness"), ConType, C);
      case ICAP_CONTRAST: return NumberCap(Find("contrast"), ConType, C);
      case ICAP_THRESHOLD: return NumberCap(Find("threshold"), ConType, C);
      case ICAP_PIXELTYPE: {
        std::vector<double> items;
        for (uint16_t t : PixelTypes()) items.push_back(t);
        if (items.empty()) return TWCC_CAPUNSUPPORTED;
        const uint16_t cur = CurrentPixelType();
        const size_t at = size_t(std::find(items.begin(), items.end(), double(cur)) - items.begin());
        ConType = TWON_ENUMERATION;
        C = Enumeration(TWTY_UINT16, items, at < items.size() ? at : 0);
        return TWCC_SUCCESS;
      }
      case ICAP_BITDEPTH: {
        const int depth = Find("depth");
        double cur = 8;
        std::vector<double> items;
        if (CurrentPixelType() == TWPT_BW) {
          items = {1};
          cur = 1;
        } else {
          if (depth < 0) return TWCC_CAPUNSUPPORTED;
          for (double d : Choices(depth))
            if (d != 1) items.push_back(d);
          if (!GetNumber(depth, cur)) return TWCC_BUMMER;
        }
        const size_t at = size_t(std::find(items.begin(), items.end(), cur) - items.begin());
        ConType = TWON_ENUMERATION;
        C = Enumeration(TWTY_UINT16, items, at < items.size() ? at : 0);
        return TWCC_SUCCESS;
      }
      case CAP_FEEDERENABLED:
      case CAP_DUPLEXENABLED: {
        const int src = Find("source");
        std::string cur;
        if (src < 0 || !GetText(src, cur) || !HasSource(Cap == CAP_FEEDERENABLED ? 0 : 1)) return TWCC_CAPUNSUPPORTED;
        ConType = TWON_ONEVALUE;
        C = OneValue(TWTY_BOOL, Cap == CAP_FEEDERENABLED ? IsFeeder(cur) : Contains(cur, "duplex"));
        return TWCC_SUCCESS;
      }
      case CAP_DUPLEX: {
        if (Find("source") < 0) return TWCC_CAPUNSUPPORTED;
        ConType = TWON_ONEVALUE;
        C = OneValue(TWTY_UINT16, HasSource(1) ? 1 : 0);  // TWDX_1PASSDUPLEX or TWDX_NONE
        return TWCC_SUCCESS;
      }
      case ICAP_PHYSICALWIDTH:
      case ICAP_PHYSICALHEIGHT: {
        const char* names[2][2] = {{"br-x", "tl-x"}, {"br-y", "tl-y"}};
        const auto& n = names[Cap == ICAP_PHYSICALWIDTH ? 0 : 1];
        const int o = Find(n[0]) >= 0 ? Find(n[0]) : Find(n[1]);
        const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
        if (!d || d->unit != SANE_UNIT_MM || d->constraint_type != SANE_CONSTRAINT_RANGE || !d->constraint.range)
          return TWCC_CAPUNSUPPORTED;
        ConType = TWON_ONEVALUE;
        C = OneValue(TWTY_FIX32, Word(d, d->constraint.range->max) / kMmPerInch);
        return TWCC_SUCCESS;
      }
      case ICAP_XFERMECH:
        ConType = TWON_ENUMERATION;
        C = Enumeration(TWTY_UINT16, {0, 1, 2}, fXferMech);  // native, file, memory
        return TWCC_SUCCESS;
      case ICAP_UNITS:        // inches
      case ICAP_COMPRESSION:  // none
      case ICAP_PIXELFLAVOR:  // chocolate: the device turns the scanner's 1 = black into 0 = black
        ConType = TWON_ONEVALUE;
        C = OneValue(TWTY_UINT16, 0);
        return TWCC_SUCCESS;
      default:
        return TWCC_CAPUNSUPPORTED;
    }
  }

  uint16_t SetCapability(uint16_t Cap, uint16_t ConType, const uint8_t* Data, size_t Size) override {
    if (!fHandle) return TWCC_SEQERROR;
    double v = 0;
    if (!AskedValue(ConType, Data, Size, v)) return TWCC_BADVALUE;
    StopAhead();
    switch (Cap) {
      case ICAP_XRESOLUTION:
      case ICAP_YRESOLUTION: {
        const int o = ResolutionOption(Cap == ICAP_XRESOLUTION);
        if (o < 0) return TWCC_CAPUNSUPPORTED;
        // "resolution" serves both directions: setting Y does not undo X.
        return SetNumber(o, v);
      }
      case ICAP_BRIGHTNESS: return SetNumber(Find("brightness"), v);
      case ICAP_CONTRAST: return SetNumber(Find("contrast"), v);
      case ICAP_THRESHOLD: return SetNumber(Find("threshold"), v);
      case ICAP_PIXELTYPE: return SetPixelType(uint16_t(v));
      case ICAP_BITDEPTH: {
        if (v == 1) return SetPixelType(TWPT_BW);
        const int depth = Find("depth");
        if (depth < 0) return TWCC_CAPUNSUPPORTED;
        if (CurrentPixelType() == TWPT_BW) return TWCC_BADVALUE;
        return SetNumber(depth, v);
      }
      case CAP_FEEDERENABLED:
      case CAP_DUPLEXENABLED: return SetSource(Cap == CAP_FEEDERENABLED, v != 0);
      case ICAP_XFERMECH:
        if (v != 0 && v != 1 && v != 2) return TWCC_BADVALUE;
        fXferMech = size_t(v);
        return TWCC_SUCCESS;
      case ICAP_UNITS:
      case ICAP_COMPRESSION:
      case ICAP_PIXELFLAVOR:
        return v == 0 ? TWCC_SUCCESS : TWCC_BADVALUE;
      default:
        return TWCC_CAPUNSUPPORTED;
    }
  }

  uint16_t GetFrame(double F[4]) override {
    if (!fHandle) return TWCC_SEQERROR;
    const char* names[4] = {"tl-x", "tl-y", "br-x", "br-y"};
    for (int i = 0; i < 4; ++i) {
      const int o = FrameOption(names[i]);
      double mm = 0;
      if (o < 0 || !GetNumber(o, mm)) return TWCC_BADPROTOCOL;
      F[i] = mm / kMmPerInch;
    }
    return TWCC_SUCCESS;
  }

  uint16_t SetFrame(const double F[4]) override {
    if (!fHandle) return TWCC_SEQERROR;
    StopAhead();
    const char* names[4] = {"tl-x", "tl-y", "br-x", "br-y"};
    int opts[4];
    for (int i = 0; i < 4; ++i)
      if ((opts[i] = FrameOption(names[i])) < 0) return TWCC_BADPROTOCOL;
    // The top-left corner may be refused while it lies past the old
    // bottom-right one: a second round sets what the first could not.
    uint16_t cc = TWCC_SUCCESS;
    for (int round = 0; round < 2; ++round) {
      cc = TWCC_SUCCESS;
      for (int i = 0; i < 4; ++i) {
        const uint16_t c = SetNumber(opts[i], F[i] * kMmPerInch);
        if (c != TWCC_SUCCESS) cc = c;
      }
      if (cc == TWCC_SUCCESS) break;
    }
    return cc;
  }

  int32_t PagesWaiting() override {
    if (!fHandle) return 0;
    if (!fStarted && !fExhausted && !fTaken) StartAhead();
    return fStarted ? 1 : 0;
  }

  bool ScanPage(TVXScanFrame& Page) override {
    if (PagesWaiting() == 0) return false;
    fStarted = false;
    fTaken = true;
    ReadPage(Page);
    if (Page.FailRC == 0 && Feeding()) {
      StartAhead();  // the feeder's next sheet: a page waits when it started
    } else {
      // A read that fails at once can meet the back end's reader thread
      // still starting; back ends built on SANE's thread helpers cancel that
      // thread asynchronously, which can leave it holding the allocator's
      // lock. A moment's wait lets it reach its pipe first.
      if (Page.FailRC != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      fApi.cancel(fHandle);
    }
    return true;
  }

  void DropPages() override {
    StopAhead();
    ResetFeeder();
  }

  bool OwnsSettings() const override { return true; }

  std::vector<uint8_t> Settings() override {
    std::string text;
    if (!fHandle) return {};
    for (int o = 1; o < OptionCount(); ++o) {
      const SANE_Option_Descriptor* d = fApi.get_option_descriptor(fHandle, o);
      if (!d || !d->name || !*d->name || !SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap) ||
          !(d->cap & SANE_CAP_SOFT_DETECT) || d->type == SANE_TYPE_BUTTON || d->type == SANE_TYPE_GROUP)
        continue;
      std::string value;
      if (ValueText(o, d, value)) text += std::string(d->name) + "=" + value + "\n";
    }
    return std::vector<uint8_t>(text.begin(), text.end());
  }

  uint16_t ApplySettings(const uint8_t* Data, size_t Size) override {
    if (!fHandle) return TWCC_SEQERROR;
    StopAhead();
    std::vector<std::pair<std::string, std::string>> lines;
    const std::string text(reinterpret_cast<const char*>(Data), Data ? Size : 0);
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t eq = line.find('=');
      if (line.empty()) continue;
      if (eq == std::string::npos || eq == 0) return TWCC_BADVALUE;
      lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    // An option that another one activates is set in a second round.
    std::vector<std::pair<std::string, std::string>> later;
    for (const auto& [name, value] : lines)
      if (!SetText(name, value)) later.emplace_back(name, value);
    uint16_t cc = TWCC_SUCCESS;
    for (const auto& [name, value] : later)
      if (!SetText(name, value)) cc = TWCC_BADVALUE;
    return cc;
  }

private:
  const TVXSaneApi& fApi;
  TVXSaneDeviceInfo fInfo;
  SANE_Handle fHandle = nullptr;
  size_t fXferMech = 0;
  bool fStarted = false;    // sane_start ran for the next page
  bool fExhausted = false;  // the feeder answered that it has no documents
  bool fTaken = false;      // a flatbed's one page of this session was scanned
  SANE_Status fStartStatus = SANE_STATUS_GOOD;

  void ResetFeeder() {
    fStarted = false;
    fExhausted = false;
    fTaken = false;
    fStartStatus = SANE_STATUS_GOOD;
  }

  void StopAhead() {
    if (fStarted && fHandle) fApi.cancel(fHandle);
    fStarted = false;
  }

  bool Feeding() {
    const int src = Find("source");
    std::string cur;
    return src >= 0 && GetText(src, cur) && IsFeeder(cur);
  }

  void StartAhead() {
    fStartStatus = fApi.start(fHandle);
    if (fStartStatus == SANE_STATUS_NO_DOCS) {
      fApi.cancel(fHandle);
      fExhausted = true;
      return;
    }
    // Any other failure is the next page's: its transfer reports it.
    fStarted = true;
  }

  static void Fail(TVXScanFrame& Page, SANE_Status st) {
    Page.FailRC = st == SANE_STATUS_CANCELLED ? TWRC_CANCEL : TWRC_FAILURE;
    Page.FailCC = st == SANE_STATUS_CANCELLED ? TWCC_SUCCESS : ConditionOf(st);
  }

  void ReadPage(TVXScanFrame& Page) {
    Page = TVXScanFrame();
    TVXSanePageAssembler page;
    std::string error;
    SANE_Status st = fStartStatus;
    std::vector<SANE_Byte> buf(65536);
    for (int frame = 0; st == SANE_STATUS_GOOD && frame < 3; ++frame) {
      if (frame > 0) st = fApi.start(fHandle);
      SANE_Parameters p{};
      if (st == SANE_STATUS_GOOD) st = fApi.get_parameters(fHandle, &p);
      if (st != SANE_STATUS_GOOD) break;
      const TVXSaneFrameParams fp{int32_t(p.format), p.last_frame != 0, p.bytes_per_line, p.pixels_per_line,
                                  p.lines, p.depth};
      if (!page.BeginFrame(fp, error)) {
        st = SANE_STATUS_INVAL;
        break;
      }
      int idle = 0;
      for (;;) {
        SANE_Int n = 0;
        st = fApi.read(fHandle, buf.data(), SANE_Int(buf.size()), &n);
        if (st != SANE_STATUS_GOOD) break;
        if (n > 0) {
          page.Feed(buf.data(), size_t(std::min<SANE_Int>(n, SANE_Int(buf.size()))));
          idle = 0;
        } else if (++idle > 1000000) {  // a scanner that never ends the frame
          st = SANE_STATUS_IO_ERROR;
          break;
        }
      }
      if (st != SANE_STATUS_EOF) break;
      st = SANE_STATUS_GOOD;
      page.EndFrame();
      if (page.Complete()) break;
    }
    if (st == SANE_STATUS_GOOD && !page.Finish(Page, error)) st = SANE_STATUS_INVAL;
    if (st != SANE_STATUS_GOOD) {
      // What the parameters said, so that the image information describes
      // the page whose transfer then fails.
      const TVXSaneFrameParams& f = page.FirstParams();
      Page = TVXScanFrame();
      Page.Width = f.PixelsPerLine;
      Page.Height = std::max(0, f.Lines);
      Page.BitsPerPixel = f.Depth * (f.Format == 1 || f.Format >= 2 ? 3 : 1);
      Page.UnknownLength = f.Lines < 0;
      Fail(Page, st);
    }
    Page.UnknownLength = Page.UnknownLength || page.FirstParams().Lines < 0;
    double x = 0, y = 0;
    GetNumber(ResolutionOption(true), x);
    GetNumber(ResolutionOption(false), y);
    Page.XResolution = x;
    Page.YResolution = y;
  }

  // --- options

  int OptionCount() {
    SANE_Int n = 0;
    if (fApi.control_option(fHandle, 0, SANE_ACTION_GET_VALUE, &n, nullptr) != SANE_STATUS_GOOD) return 0;
    return std::clamp<SANE_Int>(n, 0, 10000);
  }

  // The option of that name when it is active; -1 otherwise.
  int Find(const char* Name) {
    const int n = OptionCount();
    for (int o = 1; o < n; ++o) {
      const SANE_Option_Descriptor* d = fApi.get_option_descriptor(fHandle, o);
      if (d && d->name && std::strcmp(d->name, Name) == 0) return SANE_OPTION_IS_ACTIVE(d->cap) ? o : -1;
    }
    return -1;
  }

  int ResolutionOption(bool X) {
    const int o = Find(X ? "x-resolution" : "y-resolution");
    return o >= 0 ? o : Find("resolution");
  }

  int FrameOption(const char* Name) {
    const int o = Find(Name);
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    return d && d->unit == SANE_UNIT_MM && (d->type == SANE_TYPE_FIXED || d->type == SANE_TYPE_INT) ? o : -1;
  }

  static double Word(const SANE_Option_Descriptor* d, SANE_Word w) {
    return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
  }

  // A one-word option's value (INT, FIXED or BOOL).
  bool GetNumber(int o, double& v) {
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    if (!d || d->size < SANE_Int(sizeof(SANE_Word)) ||
        (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED && d->type != SANE_TYPE_BOOL))
      return false;
    std::vector<SANE_Word> w(size_t(d->size) / sizeof(SANE_Word) + 1, 0);
    if (fApi.control_option(fHandle, o, SANE_ACTION_GET_VALUE, w.data(), nullptr) != SANE_STATUS_GOOD) return false;
    v = Word(d, w[0]);
    return true;
  }

  // Sets a one-word option; the device may round it (read back on the next
  // get).
  uint16_t SetNumber(int o, double v) {
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    if (!d) return TWCC_CAPUNSUPPORTED;
    if (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) return TWCC_CAPUNSUPPORTED;
    if (!SANE_OPTION_IS_SETTABLE(d->cap) || d->size < SANE_Int(sizeof(SANE_Word))) return TWCC_CAPBADOPERATION;
    const double scaled = d->type == SANE_TYPE_FIXED ? v * 65536.0 : v;
    if (!(std::fabs(scaled) < 2147483647.0)) return TWCC_BADVALUE;
    std::vector<SANE_Word> w(size_t(d->size) / sizeof(SANE_Word) + 1, SANE_Word(std::llrint(scaled)));
    SANE_Int info = 0;
    const SANE_Status st = fApi.control_option(fHandle, o, SANE_ACTION_SET_VALUE, w.data(), &info);
    return st == SANE_STATUS_GOOD ? TWCC_SUCCESS : TWCC_BADVALUE;
  }

  bool GetText(int o, std::string& s) {
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    if (!d || d->type != SANE_TYPE_STRING || d->size <= 0) return false;
    std::vector<char> b(size_t(d->size) + 1, 0);
    if (fApi.control_option(fHandle, o, SANE_ACTION_GET_VALUE, b.data(), nullptr) != SANE_STATUS_GOOD) return false;
    s.assign(b.data(), strnlen(b.data(), size_t(d->size)));
    return true;
  }

  bool SetTextOption(int o, const std::string& s) {
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    if (!d || d->type != SANE_TYPE_STRING || d->size <= 0 || s.size() >= size_t(d->size)) return false;
    std::vector<char> b(size_t(d->size) + 1, 0);
    std::memcpy(b.data(), s.data(), s.size());
    SANE_Int info = 0;
    return fApi.control_option(fHandle, o, SANE_ACTION_SET_VALUE, b.data(), &info) == SANE_STATUS_GOOD;
  }

  std::vector<std::string> StringChoices(int o) {
    std::vector<std::string> out;
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    if (d && d->constraint_type == SANE_CONSTRAINT_STRING_LIST && d->constraint.string_list)
      for (size_t i = 0; d->constraint.string_list[i] && i < 1000; ++i) out.emplace_back(d->constraint.string_list[i]);
    return out;
  }

  // The values of a word-list constraint, or a range's whole steps.
  std::vector<double> Choices(int o) {
    std::vector<double> out;
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    if (!d) return out;
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
      const SANE_Word n = std::clamp<SANE_Word>(d->constraint.word_list[0], 0, 1000);
      for (SANE_Word i = 1; i <= n; ++i) out.push_back(Word(d, d->constraint.word_list[i]));
    } else if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
      for (double v : {1.0, 8.0, 16.0})
        if (v >= Word(d, d->constraint.range->min) && v <= Word(d, d->constraint.range->max)) out.push_back(v);
    }
    return out;
  }

  // A number option as a capability: a range, a list or its one value.
  uint16_t NumberCap(int o, uint16_t& ConType, std::vector<uint8_t>& C) {
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    double cur = 0;
    if (!d || !GetNumber(o, cur) || d->type == SANE_TYPE_BOOL) return TWCC_CAPUNSUPPORTED;
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
      const SANE_Range* r = d->constraint.range;
      const double step = r->quant ? Word(d, r->quant) : (d->type == SANE_TYPE_INT ? 1.0 : 0.0);
      ConType = TWON_RANGE;
      C = Range(TWTY_FIX32, Word(d, r->min), Word(d, r->max), step, cur);
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
      const std::vector<double> items = Choices(o);
      const size_t at = size_t(std::find(items.begin(), items.end(), cur) - items.begin());
      ConType = TWON_ENUMERATION;
      C = Enumeration(TWTY_FIX32, items, at < items.size() ? at : 0);
    } else {
      ConType = TWON_ONEVALUE;
      C = OneValue(TWTY_FIX32, cur);
    }
    return TWCC_SUCCESS;
  }

  // --- pixel types

  std::string ModeOf(TModeKind Kind) {
    for (const std::string& m : StringChoices(Find("mode")))
      if (KindOfMode(m) == Kind) return m;
    return "";
  }

  std::vector<uint16_t> PixelTypes() {
    const int mode = Find("mode");
    const std::vector<double> depths = Choices(Find("depth"));
    const bool oneBit = std::find(depths.begin(), depths.end(), 1.0) != depths.end();
    std::vector<uint16_t> out;
    if (mode < 0) {
      out.push_back(TWPT_GRAY);
      return out;
    }
    if (!ModeOf(kLineart).empty() || (!ModeOf(kGray).empty() && oneBit)) out.push_back(TWPT_BW);
    if (!ModeOf(kGray).empty()) out.push_back(TWPT_GRAY);
    if (!ModeOf(kColor).empty()) out.push_back(TWPT_RGB);
    return out;
  }

  uint16_t CurrentPixelType() {
    std::string mode;
    double depth = 8;
    GetNumber(Find("depth"), depth);
    const TModeKind k = GetText(Find("mode"), mode) ? KindOfMode(mode) : kGray;
    if (k == kLineart || (k == kGray && depth == 1)) return TWPT_BW;
    return k == kColor ? TWPT_RGB : TWPT_GRAY;
  }

  uint16_t SetPixelType(uint16_t Type) {
    const int mode = Find("mode");
    if (mode < 0) return Type == TWPT_GRAY ? TWCC_SUCCESS : TWCC_BADVALUE;
    std::string name;
    if (Type == TWPT_BW) {
      name = ModeOf(kLineart);
      if (name.empty()) {
        if (!SetTextOption(mode, ModeOf(kGray))) return TWCC_BADVALUE;
        return SetNumber(Find("depth"), 1);
      }
    } else if (Type == TWPT_GRAY) {
      name = ModeOf(kGray);
    } else if (Type == TWPT_RGB) {
      name = ModeOf(kColor);
    }
    if (name.empty() || !SetTextOption(mode, name)) return TWCC_BADVALUE;
    // A grey or colour scan at the depth of line art would be line art.
    double depth = 8;
    if (Type != TWPT_BW && GetNumber(Find("depth"), depth) && depth == 1) SetNumber(Find("depth"), 8);
    return TWCC_SUCCESS;
  }

  // --- sources: 0 a feeder, 1 a duplex feeder
  bool HasSource(int Kind) {
    for (const std::string& s : StringChoices(Find("source")))
      if (Kind == 0 ? IsFeeder(s) : Contains(s, "duplex")) return true;
    return false;
  }

  uint16_t SetSource(bool Feeder, bool On) {
    const int src = Find("source");
    std::string cur;
    if (src < 0 || !GetText(src, cur)) return TWCC_CAPUNSUPPORTED;
    const bool duplex = Contains(cur, "duplex");
    for (const std::string& s : StringChoices(src)) {
      bool fits;
      if (Feeder)  // the feeder on or off; a duplex feeder stays duplex
        fits = On ? IsFeeder(s) && (Contains(s, "duplex") == duplex || !HasDuplexTwin(duplex)) : !IsFeeder(s);
      else  // duplex on or off: a feeder either way
        fits = IsFeeder(s) && Contains(s, "duplex") == On;
      if (fits) return SetTextOption(src, s) ? TWCC_SUCCESS : TWCC_BADVALUE;
    }
    return TWCC_BADVALUE;
  }

  bool HasDuplexTwin(bool Duplex) {
    for (const std::string& s : StringChoices(Find("source")))
      if (IsFeeder(s) && Contains(s, "duplex") == Duplex) return true;
    return false;
  }

  // --- settings as "name=value"

  bool ValueText(int o, const SANE_Option_Descriptor* d, std::string& out) {
    if (d->type == SANE_TYPE_STRING) return GetText(o, out);
    if (d->size < SANE_Int(sizeof(SANE_Word))) return false;
    const size_t n = size_t(d->size) / sizeof(SANE_Word);
    std::vector<SANE_Word> w(n + 1, 0);
    if (fApi.control_option(fHandle, o, SANE_ACTION_GET_VALUE, w.data(), nullptr) != SANE_STATUS_GOOD) return false;
    out.clear();
    for (size_t i = 0; i < n; ++i) {
      if (i) out += ",";
      if (d->type == SANE_TYPE_FIXED) {
        char b[32];
        std::snprintf(b, sizeof b, "%.6g", SANE_UNFIX(w[i]));
        out += b;
      } else {
        out += std::to_string(w[i]);
      }
    }
    return true;
  }

  bool SetText(const std::string& Name, const std::string& Value) {
    const int o = Find(Name.c_str());
    const SANE_Option_Descriptor* d = o >= 0 ? fApi.get_option_descriptor(fHandle, o) : nullptr;
    if (!d || !SANE_OPTION_IS_SETTABLE(d->cap)) return false;
    if (d->type == SANE_TYPE_STRING) return SetTextOption(o, Value);
    if (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED && d->type != SANE_TYPE_BOOL) return false;
    if (d->size < SANE_Int(sizeof(SANE_Word))) return false;
    const size_t n = size_t(d->size) / sizeof(SANE_Word);
    std::vector<SANE_Word> w(n + 1, 0);
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) {
      const size_t end = std::min(Value.find(',', at), Value.size());
      const std::string item = Value.substr(at, end - at);
      char* stop = nullptr;
      const double v = std::strtod(item.c_str(), &stop);
      if (item.empty() || !stop || *stop) return false;
      const double scaled = d->type == SANE_TYPE_FIXED ? v * 65536.0 : v;
      if (!(std::fabs(scaled) < 2147483647.0)) return false;
      w[i] = SANE_Word(std::llrint(scaled));
      if (end == Value.size() && i + 1 < n) return false;
      at = end + 1;
    }
    SANE_Int info = 0;
    return fApi.control_option(fHandle, o, SANE_ACTION_SET_VALUE, w.data(), &info) == SANE_STATUS_GOOD;
  }
};

}  // namespace

std::string VXSaneProductName(const std::string& Model, const std::string& DeviceName) {
  return (Model + " (" + DeviceName + ")").substr(0, 33);
}

std::vector<std::unique_ptr<TVXScanDevice>> VXSaneScanDevices() {
  std::vector<std::unique_ptr<TVXScanDevice>> out;
  const std::vector<TVXSaneDeviceInfo>& list = VXSaneLocalDevices();
  const TVXSaneApi* api = list.empty() ? nullptr : VXSaneApi();
  if (!api) return out;
  for (const TVXSaneDeviceInfo& d : list) out.push_back(std::make_unique<TSaneDevice>(*api, d));
  return out;
}
