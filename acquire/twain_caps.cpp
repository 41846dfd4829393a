#include "acquire/twain_caps.h"

#include <cmath>
#include <cstring>

#include "acquire/twain_params.h"
#include "core/containers.h"
#include "core/settings.h"

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

double Fix32At(const uint8_t* p) {
  TW_FIX32 f;
  f.Whole = int16_t(U16(p));
  f.Frac = U16(p + 2);
  return FIX32ToFloat(f);
}

void PutFix32(uint8_t* p, double v) {
  const TW_FIX32 f = FloatToFIX32(v);
  PutU16(p, uint16_t(f.Whole));
  PutU16(p + 2, f.Frac);
}

// The item an enumeration's current value is taken from: CurrentIndex, else
// DefaultIndex when that is in range, else the first.
uint32_t CurrentIndexOf(const uint8_t* Data, uint32_t Count) {
  const uint32_t cur = U32(Data + 6);
  if (cur < Count) return cur;
  const uint32_t def = U32(Data + 10);
  return def < Count ? def : 0;
}

// A source's answer, locked for reading, freed when done.
class TContainer {
public:
  explicit TContainer(TW_HANDLE h) : fHandle(h) {
    fData = static_cast<const uint8_t*>(GlobalLock(h));
    fSize = fData ? GlobalSize(h) : 0;
  }
  ~TContainer() {
    if (fData) GlobalUnlock(fHandle);
    if (fHandle) GlobalFree(fHandle);
  }
  TContainer(const TContainer&) = delete;
  TContainer& operator=(const TContainer&) = delete;
  const uint8_t* Data() const { return fData; }
  size_t Size() const { return fSize; }

private:
  TW_HANDLE fHandle;
  const uint8_t* fData = nullptr;
  size_t fSize = 0;
};

// A block the engine sends, freed when done.
class TBlock {
public:
  explicit TBlock(size_t Size) : fHandle(GlobalAlloc(GHND, Size)), fSize(Size) {}
  ~TBlock() {
    if (fHandle) GlobalFree(fHandle);
  }
  TBlock(const TBlock&) = delete;
  TBlock& operator=(const TBlock&) = delete;
  TW_HANDLE Handle() const { return fHandle; }
  // Runs Fill on the locked bytes; false when the block could not be made.
  template <class F>
  bool Fill(F f) {
    auto* p = static_cast<uint8_t*>(GlobalLock(fHandle));
    if (!p) return false;
    f(p);
    GlobalUnlock(fHandle);
    return true;
  }

private:
  TW_HANDLE fHandle;
  size_t fSize;
};

bool SendContainer(tgrec& r, uint16_t Cap, uint16_t ConType, TBlock& Block) {
  TW_CAPABILITY c{Cap, ConType, Block.Handle()};
  return VXTW_DS(r, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
}

bool GetOne(tgrec& r, uint16_t Cap, size_t ItemBytes, uint32_t& Item) {
  TW_CAPABILITY c{};
  if (!GetCapability(r, Cap, c)) return false;
  TContainer box(c.hContainer);
  return VXTWReadOneValue(c.ConType, box.Data(), box.Size(), ItemBytes, Item);
}

// The one-value setters: read first (give up when refused), then send.
bool SetOne(tgrec& r, uint16_t Cap, const char* Name, const char* OkWord, uint16_t ItemType, uint32_t Item) {
  TW_CAPABILITY c{};
  if (!GetCapability(r, Cap, c)) return false;
  { TContainer answer(c.hContainer); }
  VXTW_Log(Name);
  TBlock b(6);
  bool ok = b.Fill([&](uint8_t* p) {
    PutU16(p, ItemType);
    PutU32(p + 2, Item);
  });
  ok = ok && SendContainer(r, Cap, TWON_ONEVALUE, b);
  VXTW_Log(std::string("  ") + Name + (ok ? std::string(" : ") + OkWord : " : FAILED!"));
  return ok;
}

// The list setters. Items of ItemBytes each, written by PutItem.
template <class TList, class TPut>
bool SetList(tgrec& r, uint16_t Cap, TList* List, const char* Name, uint16_t ItemType, size_t ItemBytes,
             TPut PutItem) {
  TW_CAPABILITY c{};
  if (!GetCapability(r, Cap, c)) return false;
  { TContainer answer(c.hContainer); }
  VXTW_Log(Name);
  bool result = true;
  const TVXListChanges flags = List->Changed();
  const auto current = List->CurrentValue();
  if (flags.Contains(vxlItems)) {
    const uint32_t count = uint32_t(std::max(0, List->Count()));
    TBlock b(size_t(count) * ItemBytes + 16);
    const bool made = b.Fill([&](uint8_t* p) {
      PutU16(p, ItemType);
      PutU32(p + 2, count);
      PutU32(p + 6, uint32_t(List->IndexOf(current)));
      PutU32(p + 10, 0);
      for (uint32_t i = 0; i < count; ++i) PutItem(p + 14 + i * ItemBytes, List->GetItem(int32_t(i)));
    });
    result = made && SendContainer(r, Cap, TWON_ENUMERATION, b);
  }
  if (flags.Contains(vxlCurrentValue)) {
    TBlock b(6);
    const bool made = b.Fill([&](uint8_t* p) {
      PutU16(p, ItemType);
      PutItem(p + 2, current);
    });
    result = made && SendContainer(r, Cap, TWON_ONEVALUE, b);
  }
  if constexpr (std::is_same_v<TList, TVXDoubleList>) {
    if (flags.Contains(vxlRange)) {
      TBlock b(22);
      const bool made = b.Fill([&](uint8_t* p) {
        PutU16(p, ItemType);
        PutFix32(p + 2, List->RangeMin());
        PutFix32(p + 6, List->RangeMax());
        PutFix32(p + 10, List->RangeStep());
        PutFix32(p + 14, 0);
        PutFix32(p + 18, current);
      });
      result = made && SendContainer(r, Cap, TWON_RANGE, b);
    }
  }
  VXTW_Log(std::string("  ") + Name + (result ? " : ok" : " : FAILED!"));
  return result;
}

void Step(const char* Name) { VXTW_Log(std::string("  VXTW_SetCapabilities : ") + Name); }

bool ReleaseResources() { return VXGetGlobalSettings()->ReleaseTwainResources(); }

}  // namespace

// ---------------------------------------------------------------------------
// FIX32

TW_FIX32 FloatToFIX32(double x) {
  TW_FIX32 f{0, 0};
  const double v = std::trunc(x >= 0 ? x * 65536.0 + 0.5 : x * 65536.0 - 0.5);
  if (!(v >= -2147483648.0 && v <= 2147483647.0)) return f;
  const int32_t n = int32_t(v);
  f.Whole = int16_t(n >> 16);
  f.Frac = uint16_t(uint32_t(n) & 0xFFFF);
  return f;
}

double FIX32ToFloat(const TW_FIX32& f) { return f.Whole + f.Frac / 65536.0; }

// ---------------------------------------------------------------------------
// Container readers.

bool VXTWReadFix32List(uint16_t Cap, uint16_t ConType, const uint8_t* Data, size_t Size, TVXDoubleList* List) {
  if (!Data) return false;
  switch (ConType) {
    case TWON_ARRAY: {
      if (Size < 6) return false;
      const uint32_t n = U32(Data + 2);
      if (n > (Size - 6) / 4) return false;
      for (uint32_t i = 0; i < n; ++i) List->Add(Fix32At(Data + 6 + size_t(i) * 4));
      return true;
    }
    case TWON_ENUMERATION: {
      if (Size < 14) return false;
      const uint32_t n = U32(Data + 2);
      if (n > (Size - 14) / 4 || n < 1) return false;
      for (uint32_t i = 0; i < n; ++i) List->Add(Fix32At(Data + 14 + size_t(i) * 4));
      List->SetCurrentValue(List->GetItem(int32_t(CurrentIndexOf(Data, n))));
      return true;
    }
    case TWON_ONEVALUE: {
      if (Size < 6) return false;
      double v = Fix32At(Data + 2);
      if ((Cap == ICAP_XRESOLUTION || Cap == ICAP_YRESOLUTION) && v < 0) v = 300.0;
      List->Add(v);
      List->SetCurrentValue(v);
      return true;
    }
    case TWON_RANGE:
      if (Size < 22) return false;
      List->SetRangeMin(Fix32At(Data + 2));
      List->SetRangeMax(Fix32At(Data + 6));
      List->SetRangeStep(Fix32At(Data + 10));
      List->SetCurrentValue(Fix32At(Data + 18));
      return true;
    default:
      return false;
  }
}

bool VXTWReadUINT16List(uint16_t ConType, const uint8_t* Data, size_t Size, TVXIntegerList* List) {
  if (!Data) return false;
  switch (ConType) {
    case TWON_ARRAY: {
      if (Size < 6) return false;
      const uint32_t n = U32(Data + 2);
      if (n > (Size - 6) / 2) return false;
      for (uint32_t i = 0; i < n; ++i) List->Add(U16(Data + 6 + size_t(i) * 2));
      return true;
    }
    case TWON_ENUMERATION: {
      if (Size < 14) return false;
      const uint32_t n = U32(Data + 2);
      if (n > (Size - 14) / 2) return false;
      for (uint32_t i = 0; i < n; ++i) List->Add(U16(Data + 14 + size_t(i) * 2));
      if (n > 0) List->SetCurrentValue(List->GetItem(int32_t(CurrentIndexOf(Data, n))));
      return true;
    }
    case TWON_ONEVALUE: {
      if (Size < 4) return false;
      const int32_t v = U16(Data + 2);
      List->Add(v);
      List->SetCurrentValue(v);
      return true;
    }
    case TWON_RANGE:
      if (Size < 20) return false;
      List->SetRangeMin(U16(Data + 2));
      List->SetRangeMax(U16(Data + 6));
      List->SetRangeStep(U16(Data + 10));
      List->SetCurrentValue(U16(Data + 18));
      return true;
    default:
      return false;
  }
}

bool VXTWReadOneValue(uint16_t ConType, const uint8_t* Data, size_t Size, size_t ItemBytes, uint32_t& Item) {
  if (ConType != TWON_ONEVALUE || !Data || Size < 2 + ItemBytes) return false;
  Item = ItemBytes >= 4 ? U32(Data + 2) : U16(Data + 2);
  return true;
}

bool VXTWReadString(const uint8_t* Data, size_t Size, std::string& Text) {
  if (!Data || Size < 2) return false;
  const auto* s = reinterpret_cast<const char*>(Data + 2);
  const size_t n = strnlen(s, Size - 2);
  if (n == Size - 2) return false;  // no end within the block
  Text.assign(s, n);
  return true;
}

// ---------------------------------------------------------------------------
// Capability exchange.

bool GetCapability(tgrec& r, uint16_t Cap, TW_CAPABILITY& Answer) {
  Answer.Cap = Cap;
  Answer.ConType = TWON_DONTCARE16;
  Answer.hContainer = nullptr;
  char hex[8];
  std::snprintf(hex, sizeof(hex), "%04X", unsigned(Cap));
  VXTW_Log(std::string("GetCapability : $") + hex);
  const bool ok = VXTW_DS(r, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &Answer);
  if (!ok && Answer.hContainer) {
    GlobalFree(Answer.hContainer);
    Answer.hContainer = nullptr;
  }
  VXTW_Log(ok ? "  GetCapability : Ok" : "  GetCapability : FAILED!");
  return ok;
}

bool GetFix32asDouble(tgrec& r, uint16_t Cap, TVXDoubleList* List) {
  TW_CAPABILITY c{};
  if (!GetCapability(r, Cap, c)) return false;
  List->Clear();
  VXTW_Log("GetFix32asDouble");
  bool ok;
  {
    TContainer box(c.hContainer);
    ok = VXTWReadFix32List(Cap, c.ConType, box.Data(), box.Size(), List);
  }
  VXTW_Log(ok ? "  GetFix32asDouble : ok" : "  GetFix32asDouble : FAILED!");
  return ok;
}

bool GetUINT16asInteger(tgrec& r, uint16_t Cap, TVXIntegerList* List) {
  TW_CAPABILITY c{};
  if (!GetCapability(r, Cap, c)) return false;
  List->Clear();
  VXTW_Log("GetUINT16asInteger");
  bool ok;
  {
    TContainer box(c.hContainer);
    ok = VXTWReadUINT16List(c.ConType, box.Data(), box.Size(), List);
  }
  VXTW_Log(ok ? "  GetUINT16asInteger : ok" : "  GetUINT16asInteger : FAILED!");
  return ok;
}

bool GetOneFIX32asDouble(tgrec& r, uint16_t Cap, double& Value) {
  TW_CAPABILITY c{};
  if (!GetCapability(r, Cap, c)) return false;
  VXTW_Log("GetOnFIX32asDouble");
  uint32_t item = 0;
  bool ok;
  {
    TContainer box(c.hContainer);
    ok = VXTWReadOneValue(c.ConType, box.Data(), box.Size(), 4, item);
  }
  if (ok) {
    TW_FIX32 f;
    f.Whole = int16_t(item & 0xFFFF);
    f.Frac = uint16_t(item >> 16);
    Value = FIX32ToFloat(f);
  }
  VXTW_Log(ok ? "  GetOneFIX32asDouble : ok" : "  GetOneFIX32asDouble : FAILED!");
  return ok;
}

bool GetOneBOOL(tgrec& r, uint16_t Cap, bool& Value) {
  uint32_t item = 0;
  if (!GetOne(r, Cap, 2, item)) return false;
  Value = (item & 0xFFFF) != 0;
  return true;
}

bool GetOneUINT16(tgrec& r, uint16_t Cap, int32_t& Value) {
  uint32_t item = 0;
  if (!GetOne(r, Cap, 2, item)) return false;
  Value = int32_t(item & 0xFFFF);
  return true;
}

bool GetOneINT16(tgrec& r, uint16_t Cap, int32_t& Value) {
  uint32_t item = 0;
  if (!GetOne(r, Cap, 2, item)) return false;
  Value = int16_t(item & 0xFFFF);
  return true;
}

bool GetOneINT32(tgrec& r, uint16_t Cap, int32_t& Value) {
  uint32_t item = 0;
  if (!GetOne(r, Cap, 4, item)) return false;
  Value = int32_t(item);
  return true;
}

bool VXTW_GetCapString(tgrec& r, uint16_t Cap, std::string& Value) {
  TW_CAPABILITY c{};
  if (!GetCapability(r, Cap, c)) return false;
  TContainer box(c.hContainer);
  return VXTWReadString(box.Data(), box.Size(), Value);
}

bool SetOnBoolCapability(tgrec& r, uint16_t Cap, bool Value) {
  return SetOne(r, Cap, "SetOnBoolCapability", "Ok", TWTY_BOOL, Value ? 1 : 0);
}

bool SetOneUINT16Capability(tgrec& r, uint16_t Cap, int32_t Value) {
  return SetOne(r, Cap, "SetOneUINT16Capability", "ok", TWTY_UINT16, uint32_t(Value) & 0xFFFF);
}

bool SetOneINT16Capability(tgrec& r, uint16_t Cap, int32_t Value) {
  return SetOne(r, Cap, "SetOneINT16Capability", "ok", TWTY_INT16, uint32_t(Value) & 0xFFFF);
}

bool SetOneINT32Capability(tgrec& r, uint16_t Cap, int32_t Value) {
  return SetOne(r, Cap, "SetOneINT32Capability", "ok", TWTY_INT32, uint32_t(Value));
}

bool SetOneDoubleAsFIX32Capability(tgrec& r, uint16_t Cap, double Value) {
  const TW_FIX32 f = FloatToFIX32(Value);
  return SetOne(r, Cap, "SetOneDoubleAsFIX32Capability", "ok", TWTY_FIX32,
                uint32_t(uint16_t(f.Whole)) | uint32_t(f.Frac) << 16);
}

bool SetIntegerAsUINT16Capability(tgrec& r, uint16_t Cap, TVXIntegerList* List) {
  return SetList(r, Cap, List, "SetIntegerAsUINT16Capability", TWTY_UINT16, 2,
                 [](uint8_t* p, int32_t v) { PutU16(p, uint16_t(v)); });
}

bool SetDoubleAsFIX32Capability(tgrec& r, uint16_t Cap, TVXDoubleList* List) {
  return SetList(r, Cap, List, "SetDoubleAsFIX32Capability", TWTY_FIX32, 4,
                 [](uint8_t* p, double v) { PutFix32(p, v); });
}

void GetAcquireFrame(tgrec& r, TVXDRect& Rect) {
  VXTW_Log("GetAcquireFrame");
  TW_IMAGELAYOUT lay{};
  if (!VXTW_DS(r, DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &lay)) {
    VXTW_Log("  GetAcquireFrame : FAILED!");
    return;
  }
  Rect.Left = FIX32ToFloat(lay.Frame.Left);
  Rect.Top = FIX32ToFloat(lay.Frame.Top);
  Rect.Right = FIX32ToFloat(lay.Frame.Right);
  Rect.Bottom = FIX32ToFloat(lay.Frame.Bottom);
  VXTW_Log("  GetAcquireFrame : ok");
}

void SetAcquireFrame(tgrec& r, double Left, double Top, double Right, double Bottom) {
  VXTW_Log("SetAcquireFrame");
  TW_IMAGELAYOUT lay{};
  lay.Frame.Left = FloatToFIX32(Left);
  lay.Frame.Top = FloatToFIX32(Top);
  lay.Frame.Right = FloatToFIX32(Right);
  lay.Frame.Bottom = FloatToFIX32(Bottom);
  VXTW_DS(r, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &lay);
  VXTW_Log("  SetAcquireFrame : end");
}

// ---------------------------------------------------------------------------
// The parameter set.

bool VXTW_SetCapabilities(tgrec& r) {
  VXTW_Log("VXTW_SetCapabilities");
  TVXTwainParams& p = *r.TWParams;
  if (p.CompatibilityMode()) {
    r.TransferMode = tmFile;
    VXTW_Log("  VXTW_SetCapabilities : end");
    return true;
  }
  // 1
  Step("ICAP_PIXELTYPE");
  if (p.PixelType()->CurrentValue() > 2) p.PixelType()->SetCurrentValue(TWPT_RGB);
  bool accepted = SetIntegerAsUINT16Capability(r, ICAP_PIXELTYPE, p.PixelType());
  // 2
  if (!p.BitDepth()->Changed().Empty()) {
    Step("ICAP_BITDEPTH");
    SetIntegerAsUINT16Capability(r, ICAP_BITDEPTH, p.BitDepth());
  }
  // 3
  Step("ICAP_UNITS");
  {
    TVXIntegerList units;
    if (GetUINT16asInteger(r, ICAP_UNITS, &units) && units.CurrentValue() != 0) {
      units.SetCurrentValue(TWUN_INCHES);
      SetIntegerAsUINT16Capability(r, ICAP_UNITS, &units);
    }
  }
  // 4 to 10
  if (p.AutoBright()) {
    Step("ICAP_AUTOBRIGHT");
    SetOnBoolCapability(r, ICAP_AUTOBRIGHT, true);
  }
  if (!p.Brightness()->Changed().Empty()) {
    Step("ICAP_BRIGHTNESS");
    SetDoubleAsFIX32Capability(r, ICAP_BRIGHTNESS, p.Brightness());
  }
  if (p.UndefinedImageSize()) {
    Step("ICAP_UNDEFINEDIMAGESIZE");
    SetOnBoolCapability(r, ICAP_UNDEFINEDIMAGESIZE, true);
  }
  if (!p.Contrast()->Changed().Empty()) {
    Step("ICAP_CONTRAST");
    SetDoubleAsFIX32Capability(r, ICAP_CONTRAST, p.Contrast());
  }
  if (p.Filter() != vxtwUndefined) {
    Step("ICAP_FILTER");
    SetOneUINT16Capability(r, ICAP_FILTER, int32_t(p.Filter()) - 1);
  }
  if (!p.Threshold()->Changed().Empty()) {
    Step("ICAP_THRESHOLD");
    SetDoubleAsFIX32Capability(r, ICAP_THRESHOLD, p.Threshold());
  }
  if (!p.Rotation()->Changed().Empty()) {
    Step("ICAP_ROTATION");
    SetDoubleAsFIX32Capability(r, ICAP_ROTATION, p.Rotation());
  }
  // 11
  Step("ICAP_PIXELFLAVOR");
  SetOneUINT16Capability(r, ICAP_PIXELFLAVOR, TWPF_CHOCOLATE);
  {
    TVXIntegerList flavor;
    const bool read = GetUINT16asInteger(r, ICAP_PIXELFLAVOR, &flavor);
    r.BWToInvert = read && flavor.CurrentValue() == TWPF_VANILLA;
  }
  // 12
  Step("ICAP_COMPRESSION");
  SetOneUINT16Capability(r, ICAP_COMPRESSION, TWCP_NONE);
  // 13 to 16
  const struct {
    TVXDoubleList* List;
    uint16_t Cap;
    const char* Name;
  } sizes[] = {{p.XResolution(), ICAP_XRESOLUTION, "ICAP_XRESOLUTION"},
               {p.YResolution(), ICAP_YRESOLUTION, "ICAP_YRESOLUTION"},
               {p.XScaling(), ICAP_XSCALING, "ICAP_XSCALING"},
               {p.YScaling(), ICAP_YSCALING, "ICAP_YSCALING"}};
  for (const auto& s : sizes)
    if (!s.List->Changed().Empty()) {
      Step(s.Name);
      SetDoubleAsFIX32Capability(r, s.Cap, s.List);
    }
  // 17
  {
    TVXIntegerList planar;
    GetUINT16asInteger(r, ICAP_PLANARCHUNKY, &planar);
    if (planar.CurrentValue() != 0 && accepted && p.PixelType()->CurrentValue() == TWPT_RGB) {
      Step("TWPC_CHUNKY - ICAP_PLANARCHUNKY");
      accepted = SetOneUINT16Capability(r, ICAP_PLANARCHUNKY, TWPC_CHUNKY);
    }
  }
  // 18
  if (r.TransferMode == tmBuffered && accepted) {
    TVXIntegerList mech;
    GetUINT16asInteger(r, ICAP_XFERMECH, &mech);
    if (mech.IndexOf(TWSX_MEMORY) < 0) {
      r.TransferMode = tmNative;
    } else {
      Step("TWSX_MEMORY - ICAP_XFERMECH");
      bool ok = SetOneUINT16Capability(r, ICAP_XFERMECH, TWSX_MEMORY);
      if (ok) {
        TVXIntegerList again;
        ok = GetUINT16asInteger(r, ICAP_XFERMECH, &again) && again.CurrentValue() == TWSX_MEMORY;
      }
      if (!ok) r.TransferMode = tmNative;
    }
  } else if (r.TransferMode != tmFile) {
    r.TransferMode = tmNative;
  }
  // 19 to 33
  Step("CAP_FEEDERENABLED");
  SetOnBoolCapability(r, CAP_FEEDERENABLED, p.FeederEnabled());
  if (p.AutoFeed()) {
    Step("CAP_AUTOFEED");
    SetOnBoolCapability(r, CAP_AUTOFEED, true);
  }
  if (p.AutoDeskew()) {
    Step("ICAP_AUTOMATICDESKEW");
    SetOnBoolCapability(r, ICAP_AUTOMATICDESKEW, true);
  }
  if (p.AutoBorderDetection()) {
    Step("ICAP_AUTOMATICBORDERDETECTION");
    SetOnBoolCapability(r, ICAP_AUTOMATICBORDERDETECTION, true);
  }
  if (p.AutoRotate()) {
    Step("ICAP_AUTOMATICROTATE");
    SetOnBoolCapability(r, ICAP_AUTOMATICROTATE, true);
  }
  if (p.AutoDiscardBlankPages() != -2) {
    Step("ICAP_AUTODISCARDBLANKPAGES");
    SetOneINT32Capability(r, ICAP_AUTODISCARDBLANKPAGES, p.AutoDiscardBlankPages());
  }
  if (p.Highlight() != -1.0) {
    Step("ICAP_HIGHLIGHT");
    SetOneDoubleAsFIX32Capability(r, ICAP_HIGHLIGHT, p.Highlight());
  }
  if (p.Shadow() != -1.0) {
    Step("ICAP_SHADOW");
    SetOneDoubleAsFIX32Capability(r, ICAP_SHADOW, p.Shadow());
  }
  Step("CAP_AUTOSCAN");
  SetOnBoolCapability(r, CAP_AUTOSCAN, p.AutoScan());
  if (p.AcceptedImages() != -2) {
    Step("CAP_XFERCOUNT");
    SetOneINT16Capability(r, CAP_XFERCOUNT, p.AcceptedImages());
  }
  if (!p.StandardSize()->Changed().Empty()) {
    Step("ICAP_SUPPORTEDSIZES");
    SetIntegerAsUINT16Capability(r, ICAP_SUPPORTEDSIZES, p.StandardSize());
  }
  if (!p.Orientation()->Changed().Empty()) {
    Step("ICAP_ORIENTATION");
    SetIntegerAsUINT16Capability(r, ICAP_ORIENTATION, p.Orientation());
  }
  Step("CAP_INDICATORS");
  SetOnBoolCapability(r, CAP_INDICATORS, p.ProgressIndicators());
  if (p.DuplexSupported()) {
    Step("CAP_DUPLEXENABLED");
    SetOnBoolCapability(r, CAP_DUPLEXENABLED, p.DuplexEnabled());
  }
  if (p.AcquireFrameEnabled()) {
    Step("SETACQUIREFRAME");
    SetAcquireFrame(r, p.AcquireFrameLeft(), p.AcquireFrameTop(), p.AcquireFrameRight(), p.AcquireFrameBottom());
  }
  VXTW_Log("  VXTW_SetCapabilities : end");
  return true;
}

bool VXTW_ReadCapabilities(TVXTwainParams* Params, TVXTWSourceCaps* Caps, bool Send, HWND Window,
                           PVXTwainShared Shared) {
  tgrec r;
  TVXTwainOperation op(r, Shared, Window);
  if (!op.Entered()) return false;
  r.TWParams = Params;
  TVXTWSourceCaps& c = *Caps;
  if (Params->CompatibilityMode()) Params->SetFileTransfer(true);
  r.TransferMode = Params->FileTransfer() ? tmFile : Params->BufferedTransfer() ? tmBuffered : tmNative;
  VXTW_ClearErrorDetail(r);
  HWND parent = CreateProxyWindow(r);
  if (!VXTW_LoadSourceManager(r)) {
    DestroyProxyWindow(r, parent, ReleaseResources());
    return false;
  }
  if (!VXTW_OpenSourceManager(r, parent)) {
    VXTW_UnloadSourceManager(r, ReleaseResources());
    DestroyProxyWindow(r, parent, ReleaseResources());
    return false;
  }
  if (!VXTW_OpenSource(r)) {
    VXTW_CloseSourceManager(r, parent);
    VXTW_UnloadSourceManager(r, ReleaseResources());
    DestroyProxyWindow(r, parent, ReleaseResources());
    return false;
  }
  if (Send) VXTW_SetCapabilities(r);

  TVXList* lists[] = {c.fXResolution.get(), c.fYResolution.get(), c.fXScaling.get(),  c.fYScaling.get(),
                      c.fPixelType.get(),   c.fBitDepth.get(),    c.fOrientation.get(), c.fContrast.get(),
                      c.fBrightness.get(),  c.fStandardSize.get(), c.fThreshold.get(), c.fRotation.get()};
  TVXListChanges saved[12];
  for (int i = 0; i < 12; ++i) saved[i] = lists[i]->Changed();

  const bool compat = Params->CompatibilityMode();
  if (!compat) {
    TVXIntegerList units;
    if (GetUINT16asInteger(r, ICAP_UNITS, &units) && units.CurrentValue() != 0) {
      units.SetCurrentValue(TWUN_INCHES);
      SetIntegerAsUINT16Capability(r, ICAP_UNITS, &units);
    }
  }
  if (!GetFix32asDouble(r, ICAP_XRESOLUTION, c.fXResolution.get())) c.fXResolution->Clear();
  if (!GetFix32asDouble(r, ICAP_YRESOLUTION, c.fYResolution.get())) c.fYResolution->Clear();
  if (!compat) {
    if (!GetFix32asDouble(r, ICAP_XSCALING, c.fXScaling.get())) {
      c.fXScaling->Clear();
      c.fXScaling->Add(1.0);
    }
    if (!GetFix32asDouble(r, ICAP_YSCALING, c.fYScaling.get())) {
      c.fYScaling->Clear();
      c.fYScaling->Add(1.0);
    }
    if (!GetFix32asDouble(r, ICAP_CONTRAST, c.fContrast.get())) c.fContrast->Clear();
    if (!GetFix32asDouble(r, ICAP_BRIGHTNESS, c.fBrightness.get())) c.fBrightness->Clear();
    if (!GetFix32asDouble(r, ICAP_THRESHOLD, c.fThreshold.get())) c.fThreshold->Clear();
    if (!GetFix32asDouble(r, ICAP_ROTATION, c.fRotation.get())) c.fRotation->Clear();
    if (!GetUINT16asInteger(r, ICAP_PIXELTYPE, c.fPixelType.get())) c.fPixelType->Clear();
    if (!GetUINT16asInteger(r, ICAP_BITDEPTH, c.fBitDepth.get())) c.fBitDepth->Clear();
    if (!GetOneFIX32asDouble(r, ICAP_GAMMA, c.fGamma)) c.fGamma = 2.2;
    if (!GetOneFIX32asDouble(r, ICAP_PHYSICALHEIGHT, c.fPhysicalHeight)) c.fPhysicalHeight = 0;
    if (!GetOneFIX32asDouble(r, ICAP_PHYSICALWIDTH, c.fPhysicalWidth)) c.fPhysicalWidth = 0;
    const struct {
      uint16_t Cap;
      bool* Field;
    } bools[] = {{CAP_FEEDERENABLED, &c.fFeederEnabled},
                 {CAP_AUTOFEED, &c.fAutoFeed},
                 {ICAP_AUTOMATICDESKEW, &c.fAutoDeskew},
                 {ICAP_AUTOMATICBORDERDETECTION, &c.fAutoBorderDetection},
                 {ICAP_AUTOBRIGHT, &c.fAutoBright},
                 {ICAP_AUTOMATICROTATE, &c.fAutoRotate}};
    for (const auto& b : bools)
      if (!GetOneBOOL(r, b.Cap, *b.Field)) *b.Field = false;
    if (!GetOneINT32(r, ICAP_AUTODISCARDBLANKPAGES, c.fAutoDiscardBlankPages)) c.fAutoDiscardBlankPages = -2;
    int32_t filter = 0;
    c.fFilter = GetOneUINT16(r, ICAP_FILTER, filter) ? TVXTWFilter(uint8_t((filter & 0xFF) + 1)) : vxtwUndefined;
    if (!GetOneFIX32asDouble(r, ICAP_HIGHLIGHT, c.fHighlight)) c.fHighlight = -1.0;
    if (!GetOneFIX32asDouble(r, ICAP_SHADOW, c.fShadow)) c.fShadow = -1.0;
    if (!GetOneBOOL(r, CAP_AUTOSCAN, c.fAutoScan)) c.fAutoScan = false;
    if (!GetOneBOOL(r, CAP_DEVICEONLINE, c.fDeviceOnline)) c.fDeviceOnline = false;
    if (!GetOneINT16(r, CAP_XFERCOUNT, c.fAcceptedImages)) c.fAcceptedImages = -2;
    if (!GetOneBOOL(r, CAP_FEEDERLOADED, c.fFeederLoaded)) c.fFeederLoaded = false;
    if (!GetOneBOOL(r, CAP_PAPERDETECTABLE, c.fPaperDetectable)) c.fPaperDetectable = false;
    if (!GetOneBOOL(r, CAP_DUPLEXENABLED, c.fDuplexEnabled)) c.fDuplexEnabled = false;
    int32_t duplex = 0;
    c.fDuplexSupported = GetOneUINT16(r, CAP_DUPLEX, duplex) && duplex != TWDX_NONE;
    if (!GetUINT16asInteger(r, ICAP_ORIENTATION, c.fOrientation.get())) {
      c.fOrientation->Clear();
      c.fOrientation->Add(0);
    }
    if (!GetUINT16asInteger(r, ICAP_SUPPORTEDSIZES, c.fStandardSize.get())) c.fStandardSize->Clear();
    if (!GetOneBOOL(r, CAP_INDICATORS, c.fIndicators)) c.fIndicators = true;
    if (c.fAcquireFrameEnabled) GetAcquireFrame(r, c.fAcquireFrame);
    for (int i = 0; i < 12; ++i) lists[i]->SetChanged(Send ? saved[i] : TVXListChanges());
  }
  VXTW_CloseSource(r);
  VXTW_CloseSourceManager(r, parent);
  VXTW_UnloadSourceManager(r, ReleaseResources());
  DestroyProxyWindow(r, parent, ReleaseResources());
  return true;
}
