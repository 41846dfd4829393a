#include "acquire/twain_dsm.h"

#include <cstring>
#include <mutex>

#include "platform/win_fpu.h"
#include "winui/win_window.h"

namespace {

// The control word the engine sets around every call; a source refuses
// triplets made under any other (as drivers that depend on it misbehave).
constexpr uint16_t kSourceControlWord = 0x133F;

struct TSource {
  TW_IDENTITY Identity{};
  std::unique_ptr<TVXScanDevice> Device;
  int32_t State = 3;  // 3 closed, 4 open, 5 enabled, 6 transfer ready, 7 transferring
  uint16_t LastCC = TWCC_SUCCESS;
  std::deque<uint16_t> Events;
  HWND Parent = nullptr;
  std::vector<uint8_t> CustomData;
};

struct TFault {
  std::string Triplet;
  uint16_t RC = TWRC_FAILURE;
  uint16_t CC = TWCC_BUMMER;
  int32_t Times = -1;
};

struct TManager {
  std::recursive_mutex M;
  std::vector<std::unique_ptr<TSource>> Sources;
  int32_t State = 2;  // 2 loaded, 3 open
  HWND Parent = nullptr;
  uint16_t LastCC = TWCC_SUCCESS;
  uint32_t NextId = 1;
  size_t EnumPos = 0;
  uint32_t DefaultId = 0;
  std::string UserSelect;
  std::vector<TFault> Faults;
  bool EnableCheckStatus = false;
  std::vector<std::string> Trace;
};

TManager& G() {
  static auto* m = new TManager();
  return *m;
}

void CopyStr32(char (&Dest)[34], const std::string& Text) {
  std::memset(Dest, 0, sizeof(Dest));
  std::memcpy(Dest, Text.data(), std::min(Text.size(), sizeof(Dest) - 1));
}

std::string Str32(const char (&Src)[34]) { return std::string(Src, strnlen(Src, sizeof(Src))); }

TSource* FindId(TManager& g, uint32_t Id) {
  for (auto& s : g.Sources)
    if (s->Identity.Id == Id) return s.get();
  return nullptr;
}

TSource* DefaultSource(TManager& g) {
  if (g.Sources.empty()) return nullptr;
  if (TSource* s = FindId(g, g.DefaultId)) return s;
  return g.Sources.front().get();
}

// Answers with a condition code kept for DAT_STATUS.
uint16_t Fail(uint16_t& Keep, uint16_t CC) {
  Keep = CC;
  return TWRC_FAILURE;
}

void PostTo(TSource& s) {
  PostMessageW(s.Parent, VX_TWAIN_EVENT_MESSAGE, 0, 0);
}

// ---------------------------------------------------------------------------
// Triplets for the source manager itself (no destination).

uint16_t ManagerTriplet(TManager& g, TW_IDENTITY* pOrigin, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData) {
  if (DG != DG_CONTROL) return Fail(g.LastCC, TWCC_BADPROTOCOL);
  if (DAT == DAT_STATUS) {
    if (MSG != MSG_GET || !pData) return Fail(g.LastCC, TWCC_BADPROTOCOL);
    auto* st = static_cast<TW_STATUS*>(pData);
    st->ConditionCode = g.LastCC;
    st->Reserved = 0;
    return TWRC_SUCCESS;
  }
  g.LastCC = TWCC_SUCCESS;
  if (DAT == DAT_PARENT) {
    if (MSG == MSG_OPENDSM) {
      if (g.State != 2) return Fail(g.LastCC, TWCC_SEQERROR);
      g.State = 3;
      g.Parent = pData ? *static_cast<HWND*>(pData) : nullptr;
      if (pOrigin) pOrigin->Id = 1;
      return TWRC_SUCCESS;
    }
    if (MSG == MSG_CLOSEDSM) {
      if (g.State != 3) return Fail(g.LastCC, TWCC_SEQERROR);
      for (auto& s : g.Sources)
        if (s->State > 3) return Fail(g.LastCC, TWCC_SEQERROR);
      g.State = 2;
      g.Parent = nullptr;
      return TWRC_SUCCESS;
    }
    return Fail(g.LastCC, TWCC_BADPROTOCOL);
  }
  if (DAT != DAT_IDENTITY) return Fail(g.LastCC, TWCC_BADPROTOCOL);
  if (g.State != 3) return Fail(g.LastCC, TWCC_SEQERROR);
  auto* id = static_cast<TW_IDENTITY*>(pData);
  if (!id) return Fail(g.LastCC, TWCC_BADVALUE);
  switch (MSG) {
    case MSG_GETFIRST:
      g.EnumPos = 0;
      [[fallthrough]];
    case MSG_GETNEXT:
      if (g.EnumPos >= g.Sources.size()) return TWRC_ENDOFLIST;
      *id = g.Sources[g.EnumPos++]->Identity;
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT: {
      TSource* s = DefaultSource(g);
      if (!s) return Fail(g.LastCC, TWCC_NODS);
      *id = s->Identity;
      return TWRC_SUCCESS;
    }
    case MSG_USERSELECT: {
      // The manager's own dialog: answers as the test scripted it.
      if (g.Sources.empty()) return Fail(g.LastCC, TWCC_NODS);
      for (auto& s : g.Sources)
        if (!g.UserSelect.empty() && Str32(s->Identity.ProductName) == g.UserSelect) {
          *id = s->Identity;
          g.DefaultId = s->Identity.Id;
          return TWRC_SUCCESS;
        }
      return TWRC_CANCEL;
    }
    case MSG_OPENDS: {
      TSource* s = nullptr;
      if (id->Id != 0) {
        s = FindId(g, id->Id);
      } else if (id->ProductName[0] != 0) {
        const std::string name = Str32(id->ProductName);
        for (auto& c : g.Sources)
          if (Str32(c->Identity.ProductName) == name) s = c.get();
      } else {
        s = DefaultSource(g);
      }
      if (!s) return Fail(g.LastCC, TWCC_NODS);
      if (s->State != 3) return Fail(g.LastCC, TWCC_SEQERROR);
      s->State = 4;
      s->LastCC = TWCC_SUCCESS;
      s->Events.clear();
      *id = s->Identity;
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS: {
      TSource* s = FindId(g, id->Id);
      if (!s) return Fail(g.LastCC, TWCC_NODS);
      if (s->State != 4) return Fail(g.LastCC, TWCC_SEQERROR);
      s->State = 3;
      s->Events.clear();
      return TWRC_SUCCESS;
    }
    default:
      return Fail(g.LastCC, TWCC_BADPROTOCOL);
  }
}

// ---------------------------------------------------------------------------
// Triplets for an open source.

bool InStates(const TSource& s, int32_t Low, int32_t High) { return s.State >= Low && s.State <= High; }

uint16_t CapabilityTriplet(TSource& s, uint16_t MSG, TW_CAPABILITY* cap) {
  if (!cap) return Fail(s.LastCC, TWCC_BADVALUE);
  switch (MSG) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT: {
      if (!InStates(s, 4, 7)) return Fail(s.LastCC, TWCC_SEQERROR);
      uint16_t conType = 0;
      std::vector<uint8_t> bytes;
      const uint16_t cc = s.Device->GetCapability(cap->Cap, conType, bytes);
      if (cc != TWCC_SUCCESS) return Fail(s.LastCC, cc);
      HGLOBAL h = GlobalAlloc(GHND, bytes.size());
      if (!h) return Fail(s.LastCC, TWCC_LOWMEMORY);
      if (!bytes.empty()) {
        std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
        GlobalUnlock(h);
      }
      cap->ConType = conType;
      cap->hContainer = h;
      return TWRC_SUCCESS;
    }
    case MSG_SET: {
      if (s.State != 4) return Fail(s.LastCC, TWCC_SEQERROR);
      if (!cap->hContainer) return Fail(s.LastCC, TWCC_BADVALUE);
      const size_t size = GlobalSize(cap->hContainer);
      const auto* p = static_cast<const uint8_t*>(GlobalLock(cap->hContainer));
      const uint16_t cc = s.Device->SetCapability(cap->Cap, cap->ConType, p, p ? size : 0);
      if (p) GlobalUnlock(cap->hContainer);
      if (cc != TWCC_SUCCESS) return Fail(s.LastCC, cc);
      return TWRC_SUCCESS;
    }
    default:
      return Fail(s.LastCC, TWCC_CAPBADOPERATION);
  }
}

double Fix32ToDouble(const TW_FIX32& f) { return f.Whole + f.Frac / 65536.0; }

TW_FIX32 DoubleToFix32(double v) {
  const int32_t n = int32_t(v * 65536.0 + (v >= 0 ? 0.5 : -0.5));
  TW_FIX32 f;
  f.Whole = int16_t(n >> 16);
  f.Frac = uint16_t(n & 0xFFFF);
  return f;
}

uint16_t SourceTriplet(TManager& g, TSource& s, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData) {
  // Bit 6 of the word is reserved and reads as 1 whatever was written.
  if ((VXGet8087CW() | 0x0040) != (kSourceControlWord | 0x0040)) return Fail(s.LastCC, TWCC_BUMMER);
  if (!(DG == DG_CONTROL && DAT == DAT_STATUS)) s.LastCC = TWCC_SUCCESS;
  if (DG == DG_CONTROL) {
    switch (DAT) {
      case DAT_STATUS: {
        if (MSG != MSG_GET || !pData) return Fail(s.LastCC, TWCC_BADPROTOCOL);
        auto* st = static_cast<TW_STATUS*>(pData);
        st->ConditionCode = s.LastCC;
        st->Reserved = 0;
        return TWRC_SUCCESS;
      }
      case DAT_CAPABILITY:
        return CapabilityTriplet(s, MSG, static_cast<TW_CAPABILITY*>(pData));
      case DAT_USERINTERFACE: {
        auto* ui = static_cast<TW_USERINTERFACE*>(pData);
        if (MSG == MSG_ENABLEDS || MSG == MSG_ENABLEDSUIONLY) {
          if (s.State != 4) return Fail(s.LastCC, TWCC_SEQERROR);
          if (!ui) return Fail(s.LastCC, TWCC_BADVALUE);
          s.State = 5;
          s.Parent = reinterpret_cast<HWND>(ui->hParent);
          return g.EnableCheckStatus ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
        }
        if (MSG == MSG_DISABLEDS) {
          if (s.State != 5) return Fail(s.LastCC, TWCC_SEQERROR);
          s.State = 4;
          s.Events.clear();
          return TWRC_SUCCESS;
        }
        return Fail(s.LastCC, TWCC_BADPROTOCOL);
      }
      case DAT_EVENT: {
        if (MSG != MSG_PROCESSEVENT) return Fail(s.LastCC, TWCC_BADPROTOCOL);
        if (!InStates(s, 5, 7)) return Fail(s.LastCC, TWCC_SEQERROR);
        auto* ev = static_cast<TW_EVENT*>(pData);
        if (!ev) return Fail(s.LastCC, TWCC_BADVALUE);
        ev->TWMessage = MSG_NULL;
        const auto* msg = static_cast<const ::MSG*>(ev->pEvent);
        if (!msg || msg->message != VX_TWAIN_EVENT_MESSAGE || s.Events.empty()) return TWRC_NOTDSEVENT;
        ev->TWMessage = s.Events.front();
        s.Events.pop_front();
        if (ev->TWMessage == MSG_XFERREADY && s.State == 5) s.State = 6;
        return TWRC_DSEVENT;
      }
      case DAT_PENDINGXFERS: {
        auto* px = static_cast<TW_PENDINGXFERS*>(pData);
        if (!px) return Fail(s.LastCC, TWCC_BADVALUE);
        if (MSG == MSG_GET) {
          if (!InStates(s, 4, 7)) return Fail(s.LastCC, TWCC_SEQERROR);
          px->Count = 0;
          return TWRC_SUCCESS;
        }
        if (MSG == MSG_ENDXFER) {
          if (!InStates(s, 6, 7)) return Fail(s.LastCC, TWCC_SEQERROR);
          px->Count = 0;
          s.State = 5;
          return TWRC_SUCCESS;
        }
        if (MSG == MSG_RESET) {
          if (s.State != 6) return Fail(s.LastCC, TWCC_SEQERROR);
          px->Count = 0;
          s.State = 5;
          return TWRC_SUCCESS;
        }
        return Fail(s.LastCC, TWCC_BADPROTOCOL);
      }
      case DAT_CUSTOMDSDATA: {
        auto* cd = static_cast<TW_CUSTOMDSDATA*>(pData);
        if (!cd) return Fail(s.LastCC, TWCC_BADVALUE);
        if (s.State != 4) return Fail(s.LastCC, TWCC_SEQERROR);
        if (MSG == MSG_GET) {
          cd->InfoLength = uint32_t(s.CustomData.size());
          cd->hData = nullptr;
          if (!s.CustomData.empty()) {
            cd->hData = GlobalAlloc(GHND, s.CustomData.size());
            if (!cd->hData) return Fail(s.LastCC, TWCC_LOWMEMORY);
            std::memcpy(GlobalLock(cd->hData), s.CustomData.data(), s.CustomData.size());
            GlobalUnlock(cd->hData);
          }
          return TWRC_SUCCESS;
        }
        if (MSG == MSG_SET) {
          const size_t size = GlobalSize(cd->hData);
          if (cd->InfoLength > size) return Fail(s.LastCC, TWCC_BADVALUE);
          const auto* p = static_cast<const uint8_t*>(GlobalLock(cd->hData));
          s.CustomData.assign(p, p + (p ? cd->InfoLength : 0));
          if (p) GlobalUnlock(cd->hData);
          return TWRC_SUCCESS;
        }
        return Fail(s.LastCC, TWCC_BADPROTOCOL);
      }
      default:
        return Fail(s.LastCC, TWCC_BADPROTOCOL);
    }
  }
  if (DG == DG_IMAGE && DAT == DAT_IMAGELAYOUT) {
    auto* lay = static_cast<TW_IMAGELAYOUT*>(pData);
    if (!lay) return Fail(s.LastCC, TWCC_BADVALUE);
    double f[4] = {0, 0, 0, 0};
    if (MSG == MSG_GET) {
      if (!InStates(s, 4, 6)) return Fail(s.LastCC, TWCC_SEQERROR);
      const uint16_t cc = s.Device->GetFrame(f);
      if (cc != TWCC_SUCCESS) return Fail(s.LastCC, cc);
      lay->Frame.Left = DoubleToFix32(f[0]);
      lay->Frame.Top = DoubleToFix32(f[1]);
      lay->Frame.Right = DoubleToFix32(f[2]);
      lay->Frame.Bottom = DoubleToFix32(f[3]);
      lay->DocumentNumber = lay->PageNumber = lay->FrameNumber = 1;
      return TWRC_SUCCESS;
    }
    if (MSG == MSG_SET) {
      if (s.State != 4) return Fail(s.LastCC, TWCC_SEQERROR);
      f[0] = Fix32ToDouble(lay->Frame.Left);
      f[1] = Fix32ToDouble(lay->Frame.Top);
      f[2] = Fix32ToDouble(lay->Frame.Right);
      f[3] = Fix32ToDouble(lay->Frame.Bottom);
      const uint16_t cc = s.Device->SetFrame(f);
      if (cc != TWCC_SUCCESS) return Fail(s.LastCC, cc);
      return TWRC_SUCCESS;
    }
    return Fail(s.LastCC, TWCC_BADPROTOCOL);
  }
  return Fail(s.LastCC, TWCC_BADPROTOCOL);
}

uint16_t Dispatch(TManager& g, TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, uint32_t DG, uint16_t DAT, uint16_t MSG,
                  TW_MEMREF pData) {
  if (!pDest) return ManagerTriplet(g, pOrigin, DG, DAT, MSG, pData);
  if (g.State != 3) return Fail(g.LastCC, TWCC_SEQERROR);
  TSource* s = FindId(g, pDest->Id);
  if (!s) return Fail(g.LastCC, TWCC_BADDEST);
  if (s->State < 4) return Fail(g.LastCC, TWCC_SEQERROR);
  return SourceTriplet(g, *s, DG, DAT, MSG, pData);
}

}  // namespace

uint16_t VXTWDSMEntry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, uint32_t DG, uint16_t DAT, uint16_t MSG,
                      TW_MEMREF pData) {
  TManager& g = G();
  std::lock_guard<std::recursive_mutex> l(g.M);
  const std::string triplet = VXTWDGName(DG) + " " + VXTWDATName(DAT) + " " + VXTWMSGName(MSG);
  uint16_t rc = TWRC_FAILURE;
  bool scripted = false;
  for (TFault& f : g.Faults) {
    if (f.Times == 0 || f.Triplet != triplet) continue;
    if (f.Times > 0) f.Times--;
    rc = f.RC;
    TSource* s = pDest ? FindId(g, pDest->Id) : nullptr;
    (s ? s->LastCC : g.LastCC) = f.CC;
    scripted = true;
    break;
  }
  if (!scripted) rc = Dispatch(g, pOrigin, pDest, DG, DAT, MSG, pData);
  g.Trace.push_back(triplet + " " + std::to_string(rc));
  return rc;
}

namespace VXTwainManager {

uint32_t AddSource(std::unique_ptr<TVXScanDevice> Device) {
  if (!Device) return 0;
  TManager& g = G();
  std::lock_guard<std::recursive_mutex> l(g.M);
  auto s = std::make_unique<TSource>();
  TW_IDENTITY& id = s->Identity;
  id.Id = ++g.NextId;
  id.Version.MajorNum = 1;
  id.Version.MinorNum = 0;
  id.Version.Language = TWLG_USERLOCALE;
  id.Version.Country = TWCY_USA;
  CopyStr32(id.Version.Info, "1.0");
  id.ProtocolMajor = 1;
  id.ProtocolMinor = 9;
  id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyStr32(id.Manufacturer, Device->Manufacturer());
  CopyStr32(id.ProductFamily, Device->ProductFamily());
  CopyStr32(id.ProductName, Device->ProductName());
  s->Device = std::move(Device);
  g.Sources.push_back(std::move(s));
  return id.Id;
}

void Reset() {
  TManager& g = G();
  std::lock_guard<std::recursive_mutex> l(g.M);
  g.Sources.clear();
  g.State = 2;
  g.Parent = nullptr;
  g.LastCC = TWCC_SUCCESS;
  g.EnumPos = 0;
  g.DefaultId = 0;
  g.UserSelect.clear();
  g.Faults.clear();
  g.EnableCheckStatus = false;
  g.Trace.clear();
}

void SetUserSelect(const std::string& Name) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().UserSelect = Name;
}

void AddFault(const std::string& Triplet, uint16_t ReturnCode, uint16_t ConditionCode, int32_t Times) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().Faults.push_back(TFault{Triplet, ReturnCode, ConditionCode, Times});
}

void SetEnableCheckStatus(bool On) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().EnableCheckStatus = On;
}

bool PostEvent(uint16_t TWMessage) {
  TManager& g = G();
  std::lock_guard<std::recursive_mutex> l(g.M);
  for (auto& s : g.Sources)
    if (s->State >= 5) {
      s->Events.push_back(TWMessage);
      PostTo(*s);
      return true;
    }
  return false;
}

std::vector<std::string> Triplets() {
  std::lock_guard<std::recursive_mutex> l(G().M);
  return G().Trace;
}

void ClearTriplets() {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().Trace.clear();
}

}  // namespace VXTwainManager
