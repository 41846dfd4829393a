#include "acquire/twain_dsm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "core/bitmap.h"
#include "io/vexlaneio.h"
#include "platform/win_fpu.h"
#include "winui/win_window.h"

namespace {

// The control word the engine sets around every call; a source refuses
// triplets made under any other (as drivers that depend on it misbehave).
constexpr uint16_t kSourceControlWord = 0x133F;

struct TSource {
  TW_IDENTITY Identity{};
  std::unique_ptr<TVXScanDevice> Device;
  TVXTwainSourceScript Script;
  int32_t State = 3;  // 3 closed, 4 open, 5 enabled, 6 transfer ready, 7 transferring
  uint16_t LastCC = TWCC_SUCCESS;
  std::deque<uint16_t> Events;
  HWND Parent = nullptr;
  std::vector<uint8_t> CustomData;
  // The page being transferred.
  bool HasPage = false;
  TVXScanFrame Page;
  int32_t NextRow = 0;
  int32_t Strip = 0;
  bool PageDone = false;
  std::string FileName = "TWAIN.TMP";
  uint16_t FileFormat = 2;
  bool ShowUI = false;
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
  // Devices found on the system, added once after the sources installed
  // before the manager first opens.
  std::vector<std::unique_ptr<TVXScanDevice>> (*Provider)() = nullptr;
  bool Provided = false;
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

void Post(TSource& s, uint16_t TWMessage) {
  s.Events.push_back(TWMessage);
  PostTo(s);
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
      if (g.Provider && !g.Provided) {
        g.Provided = true;
        for (auto& d : g.Provider()) VXTwainManager::AddSource(std::move(d));
      }
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
      if (const uint16_t cc = s->Device->Open(); cc != TWCC_SUCCESS) return Fail(g.LastCC, cc);
      s->State = 4;
      s->LastCC = TWCC_SUCCESS;
      s->Events.clear();
      s->HasPage = false;
      s->FileFormat = s->Script.FileFormat;
      *id = s->Identity;
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS: {
      TSource* s = FindId(g, id->Id);
      if (!s) return Fail(g.LastCC, TWCC_NODS);
      if (s->State != 4) return Fail(g.LastCC, TWCC_SEQERROR);
      s->Device->Close();
      s->State = 3;
      s->Events.clear();
      s->HasPage = false;
      return TWRC_SUCCESS;
    }
    default:
      return Fail(g.LastCC, TWCC_BADPROTOCOL);
  }
}

// ---------------------------------------------------------------------------
// Triplets for an open source.

bool InStates(const TSource& s, int32_t Low, int32_t High) { return s.State >= Low && s.State <= High; }

TW_FIX32 DoubleToFix32(double v);
uint16_t ImageTriplet(TSource& s, uint16_t DAT, uint16_t MSG, TW_MEMREF pData);

HGLOBAL BlockOf(const std::vector<uint8_t>& bytes) {
  HGLOBAL h = GlobalAlloc(GHND, bytes.size());
  if (h && !bytes.empty()) {
    std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
  }
  return h;
}

// Capabilities the source answers itself: the page's caption, and the pixel
// flavour of a source that keeps TWPF_VANILLA.
bool OwnCapability(TSource& s, uint16_t MSG, TW_CAPABILITY* cap, uint16_t& rc) {
  const bool get = MSG == MSG_GET || MSG == MSG_GETCURRENT || MSG == MSG_GETDEFAULT;
  if (cap->Cap == CAP_CAPTION && get && s.HasPage) {
    std::vector<uint8_t> b(2 + 256, 0);
    b[0] = uint8_t(TWTY_STR255);
    std::memcpy(b.data() + 2, s.Page.Caption.data(), std::min<size_t>(s.Page.Caption.size(), 255));
    cap->ConType = TWON_ONEVALUE;
    cap->hContainer = BlockOf(b);
    rc = TWRC_SUCCESS;
    return true;
  }
  if (cap->Cap == ICAP_PIXELFLAVOR && s.Script.Vanilla) {
    if (get) {
      cap->ConType = TWON_ONEVALUE;
      cap->hContainer = BlockOf({uint8_t(TWTY_UINT16), 0, 1, 0, 0, 0});
    }
    rc = TWRC_SUCCESS;
    return get || MSG == MSG_SET;
  }
  return false;
}

uint16_t CapabilityTriplet(TSource& s, uint16_t MSG, TW_CAPABILITY* cap) {
  if (!cap) return Fail(s.LastCC, TWCC_BADVALUE);
  uint16_t own = TWRC_FAILURE;
  if (InStates(s, 4, 7) && OwnCapability(s, MSG, cap, own)) return own;
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
          s.ShowUI = ui->ShowUI != 0;
          // The source's own dialog answers as scripted; without it the
          // pages waiting are offered at once.
          if (ui->ShowUI || MSG == MSG_ENABLEDSUIONLY) {
            if (s.Script.UI == "cancel")
              Post(s, MSG_CLOSEDSREQ);
            else if (s.Script.UI == "settingsok" || MSG == MSG_ENABLEDSUIONLY)
              Post(s, MSG_CLOSEDSOK);
            else if (s.Device->PagesWaiting() > 0)
              Post(s, MSG_XFERREADY);
          } else if (s.Device->PagesWaiting() > 0) {
            Post(s, MSG_XFERREADY);
          }
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
          px->Count = uint16_t(std::min(0xFFFF, s.Device->PagesWaiting() + (s.HasPage ? 1 : 0)));
          return TWRC_SUCCESS;
        }
        if (MSG == MSG_ENDXFER) {
          if (!InStates(s, 6, 7)) return Fail(s.LastCC, TWCC_SEQERROR);
          if (s.HasPage || s.State == 7) {
            s.HasPage = false;
          } else {
            TVXScanFrame skipped;  // the page offered is not wanted
            s.Device->ScanPage(skipped);
          }
          px->Count = uint16_t(std::min(0xFFFF, s.Device->PagesWaiting()));
          s.State = px->Count ? 6 : 5;
          return TWRC_SUCCESS;
        }
        if (MSG == MSG_RESET) {
          if (s.State != 6) return Fail(s.LastCC, TWCC_SEQERROR);
          s.Device->DropPages();
          s.HasPage = false;
          px->Count = 0;
          s.State = 5;
          return TWRC_SUCCESS;
        }
        return Fail(s.LastCC, TWCC_BADPROTOCOL);
      }
      case DAT_SETUPMEMXFER:
      case DAT_SETUPFILEXFER:
        return ImageTriplet(s, DAT, MSG, pData);
      case DAT_CUSTOMDSDATA: {
        auto* cd = static_cast<TW_CUSTOMDSDATA*>(pData);
        if (!cd) return Fail(s.LastCC, TWCC_BADVALUE);
        if (s.State != 4) return Fail(s.LastCC, TWCC_SEQERROR);
        if (s.Device->OwnsSettings()) {
          if (MSG == MSG_GET) s.CustomData = s.Device->Settings();
          if (MSG == MSG_SET) {
            const size_t size = GlobalSize(cd->hData);
            if (cd->InfoLength > size) return Fail(s.LastCC, TWCC_BADVALUE);
            const auto* p = static_cast<const uint8_t*>(GlobalLock(cd->hData));
            const uint16_t cc = s.Device->ApplySettings(p, p ? cd->InfoLength : 0);
            if (p) GlobalUnlock(cd->hData);
            return cc == TWCC_SUCCESS ? TWRC_SUCCESS : Fail(s.LastCC, cc);
          }
        }
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
  if (DG == DG_IMAGE && DAT != DAT_IMAGELAYOUT) return ImageTriplet(s, DAT, MSG, pData);
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

// ---------------------------------------------------------------------------
// Transfers of the source's pages.

constexpr uint32_t kTWMF_POINTER = 0x0008;
constexpr uint32_t kTWMF_HANDLE = 0x0010;

bool EnsurePage(TSource& s) {
  if (s.HasPage) return true;
  if (!s.Device->ScanPage(s.Page)) return false;
  if (s.Script.Vanilla && s.Page.BitsPerPixel == 1)
    for (uint8_t& b : s.Page.Pixels) b = uint8_t(~b);
  s.HasPage = true;
  s.NextRow = 0;
  s.Strip = 0;
  s.PageDone = false;
  return true;
}

// The page as a library bitmap: 16-bit samples keep their high bytes.
void PageToBitmap(const TVXScanFrame& p, TVXBitmap& b) {
  const int32_t bpp = p.BitsPerPixel;
  b.Allocate(p.Width, p.Height, bpp == 1 ? vx1g : (bpp == 8 || bpp == 16) ? vx8g : vx24RGB);
  const size_t rb = p.RowBytes();
  for (int32_t y = 0; y < p.Height; ++y) {
    const uint8_t* src = p.Pixels.data() + size_t(y) * rb;
    auto* dst = static_cast<uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < (bpp == 1 ? int32_t(rb) : p.Width); ++x) {
      switch (bpp) {
        case 1: dst[x] = src[x]; break;
        case 8: dst[x] = src[x]; break;
        case 16: dst[x] = src[2 * x + 1]; break;
        case 24:
          dst[3 * x] = src[3 * x + 2];
          dst[3 * x + 1] = src[3 * x + 1];
          dst[3 * x + 2] = src[3 * x];
          break;
        default:  // 48
          dst[3 * x] = src[6 * x + 5];
          dst[3 * x + 1] = src[6 * x + 3];
          dst[3 * x + 2] = src[6 * x + 1];
          break;
      }
    }
  }
}

// A packed DIB (header, colour table, bottom-up rows) of 1, 8 or 24 bits.
HGLOBAL PageToDIB(const TVXScanFrame& p) {
  const std::vector<uint8_t> dib = VXScanFrameDIB(p);
  if (dib.empty()) return nullptr;
  HGLOBAL h = GlobalAlloc(GHND, dib.size());
  if (!h) return nullptr;
  std::memcpy(GlobalLock(h), dib.data(), dib.size());
  GlobalUnlock(h);
  return h;
}

// The transfer of a page whose scan broke off: a cancelled scan ends the
// page; a failed one drops it, and a source whose dialog was asked for asks
// to be closed (there is no dialog to try again from).
uint16_t PageFailure(TSource& s) {
  if (s.Page.FailRC == TWRC_CANCEL) {
    s.State = 7;
    s.PageDone = true;
    return TWRC_CANCEL;
  }
  s.HasPage = false;
  s.State = 6;
  if (s.ShowUI) Post(s, MSG_CLOSEDSREQ);
  return Fail(s.LastCC, s.Page.FailCC ? s.Page.FailCC : TWCC_BUMMER);
}

int32_t FileTypeOf(uint16_t Format) {
  switch (Format) {
    case 0: return 1;  // TWFF_TIFF
    case 4: return 3;  // TWFF_JFIF
    case 7: return 8;  // TWFF_PNG
    default: return 5;  // TWFF_BMP
  }
}

uint16_t ImageTriplet(TSource& s, uint16_t DAT, uint16_t MSG, TW_MEMREF pData) {
  if (!pData && DAT != DAT_IMAGEFILEXFER) return Fail(s.LastCC, TWCC_BADVALUE);
  switch (DAT) {
    case DAT_SETUPFILEXFER: {
      auto* f = static_cast<TW_SETUPFILEXFER*>(pData);
      if (!InStates(s, 4, 6)) return Fail(s.LastCC, TWCC_SEQERROR);
      if (MSG == MSG_GET) {
        std::memset(f->FileName, 0, sizeof(f->FileName));
        std::memcpy(f->FileName, s.FileName.data(), std::min<size_t>(s.FileName.size(), 255));
        f->Format = s.FileFormat;
        f->VRefNum = 0;
        return TWRC_SUCCESS;
      }
      if (MSG == MSG_SET) {
        s.FileName.assign(f->FileName, strnlen(f->FileName, sizeof(f->FileName)));
        s.FileFormat = f->Format;
        return TWRC_SUCCESS;
      }
      return Fail(s.LastCC, TWCC_BADPROTOCOL);
    }
    case DAT_SETUPMEMXFER: {
      if (MSG != MSG_GET) return Fail(s.LastCC, TWCC_BADPROTOCOL);
      if (!InStates(s, 4, 6)) return Fail(s.LastCC, TWCC_SEQERROR);
      auto* m = static_cast<TW_SETUPMEMXFER*>(pData);
      const size_t rb = s.HasPage || (s.State == 6 && EnsurePage(s)) ? s.Page.RowBytes() : 64;
      m->MinBufSize = uint32_t(rb);
      m->MaxBufSize = uint32_t(rb * size_t(std::max(1, s.Page.Height)));
      m->Preferred = uint32_t(rb * size_t(std::max(1, s.Script.StripRows)));
      return TWRC_SUCCESS;
    }
    case DAT_IMAGEINFO: {
      if (MSG != MSG_GET) return Fail(s.LastCC, TWCC_BADPROTOCOL);
      if (!InStates(s, 6, 7)) return Fail(s.LastCC, TWCC_SEQERROR);
      if (!EnsurePage(s)) return Fail(s.LastCC, TWCC_BUMMER);
      if (s.Page.FailRC != TWRC_SUCCESS && s.Page.Width <= 0) return PageFailure(s);
      auto* ii = static_cast<TW_IMAGEINFO*>(pData);
      std::memset(ii, 0, sizeof(*ii));
      const TVXScanFrame& p = s.Page;
      ii->XResolution = DoubleToFix32(p.XResolution);
      ii->YResolution = DoubleToFix32(p.YResolution);
      ii->ImageWidth = p.Width;
      ii->ImageLength = (s.Script.UnknownLength || p.UnknownLength) && !s.PageDone ? -1 : p.Height;
      const int16_t spp = (p.BitsPerPixel == 24 || p.BitsPerPixel == 48) ? 3 : 1;
      ii->SamplesPerPixel = spp;
      for (int i = 0; i < spp; ++i) ii->BitsPerSample[i] = int16_t(p.BitsPerPixel / spp);
      ii->BitsPerPixel = int16_t(p.BitsPerPixel);
      ii->Planar = s.Script.Force == "planar" ? 1 : 0;
      ii->PixelType = s.Script.Force == "palette" ? int16_t(TWPT_PALETTE)
                      : p.BitsPerPixel == 1   ? int16_t(TWPT_BW)
                      : spp == 3              ? int16_t(TWPT_RGB)
                                              : int16_t(TWPT_GRAY);
      ii->Compression = s.Script.Force == "compressed" ? 1 : TWCP_NONE;
      return TWRC_SUCCESS;
    }
    case DAT_IMAGEMEMXFER: {
      if (MSG != MSG_GET) return Fail(s.LastCC, TWCC_BADPROTOCOL);
      if (!InStates(s, 6, 7) || (s.HasPage && s.PageDone)) return Fail(s.LastCC, TWCC_SEQERROR);
      if (!EnsurePage(s)) return Fail(s.LastCC, TWCC_BUMMER);
      if (s.Page.FailRC != TWRC_SUCCESS) return PageFailure(s);
      if (s.Strip == s.Script.CancelAtStrip) {
        s.State = 7;
        s.PageDone = true;
        return TWRC_CANCEL;
      }
      if (s.Strip == s.Script.FailAtStrip) {
        s.State = 6;
        s.Strip++;
        return Fail(s.LastCC, TWCC_BUMMER);
      }
      auto* mx = static_cast<TW_IMAGEMEMXFER*>(pData);
      size_t room = mx->Memory.Length;
      uint8_t* dst = nullptr;
      HGLOBAL locked = nullptr;
      if (mx->Memory.Flags & kTWMF_HANDLE) {
        locked = static_cast<HGLOBAL>(mx->Memory.TheMem);
        dst = static_cast<uint8_t*>(GlobalLock(locked));
        room = std::min(room, GlobalSize(locked));
      } else if (mx->Memory.Flags & kTWMF_POINTER) {
        dst = static_cast<uint8_t*>(mx->Memory.TheMem);
      }
      const size_t rb = s.Page.RowBytes();
      const int32_t rows = int32_t(std::min<size_t>({size_t(std::max(1, s.Script.StripRows)),
                                                     size_t(s.Page.Height - s.NextRow), rb ? room / rb : 0}));
      if (!dst || rows <= 0) {
        if (locked) GlobalUnlock(locked);
        return Fail(s.LastCC, TWCC_BADVALUE);
      }
      std::memcpy(dst, s.Page.Pixels.data() + size_t(s.NextRow) * rb, size_t(rows) * rb);
      if (locked) GlobalUnlock(locked);
      mx->Compression = TWCP_NONE;
      mx->BytesPerRow = uint32_t(rb);
      mx->Columns = uint32_t(s.Page.Width);
      mx->Rows = uint32_t(rows);
      mx->XOffset = 0;
      mx->YOffset = uint32_t(s.Script.FirstYOffset + s.NextRow);
      mx->BytesWritten = uint32_t(size_t(rows) * rb);
      s.State = 7;
      s.NextRow += rows;
      s.Strip++;
      if (s.NextRow < s.Page.Height) return TWRC_SUCCESS;
      s.PageDone = true;
      return TWRC_XFERDONE;
    }
    case DAT_IMAGENATIVEXFER:
    case DAT_IMAGEFILEXFER: {
      if (MSG != MSG_GET) return Fail(s.LastCC, TWCC_BADPROTOCOL);
      if (s.State != 6) return Fail(s.LastCC, TWCC_SEQERROR);
      if (!EnsurePage(s)) return Fail(s.LastCC, TWCC_BUMMER);
      if (s.Page.FailRC != TWRC_SUCCESS) return PageFailure(s);
      if (s.Script.CancelAtStrip == 0) {
        s.State = 7;
        s.PageDone = true;
        return TWRC_CANCEL;
      }
      if (s.Script.FailAtStrip == 0) return Fail(s.LastCC, TWCC_BUMMER);
      if (DAT == DAT_IMAGENATIVEXFER) {
        HGLOBAL h = PageToDIB(s.Page);
        if (!h) return Fail(s.LastCC, TWCC_LOWMEMORY);
        *static_cast<TW_HANDLE*>(pData) = h;
      } else {
        try {
          TVXBitmap b;
          PageToBitmap(s.Page, b);
          TVexlaneIO::CreateFromBitmap(&b)->SaveToFile(s.FileName, FileTypeOf(s.FileFormat));
        } catch (const std::exception&) {
          return Fail(s.LastCC, TWCC_OPERATIONERROR);
        }
      }
      s.State = 7;
      s.PageDone = true;
      return TWRC_XFERDONE;
    }
    default:
      return Fail(s.LastCC, TWCC_BADPROTOCOL);
  }
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

uint32_t AddSource(std::unique_ptr<TVXScanDevice> Device, const TVXTwainSourceScript& Script) {
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
  s->Script = Script;
  s->CustomData = Script.Settings;
  g.Sources.push_back(std::move(s));
  return id.Id;
}

void SetDeviceProvider(std::vector<std::unique_ptr<TVXScanDevice>> (*Provider)()) {
  std::lock_guard<std::recursive_mutex> l(G().M);
  G().Provider = Provider;
  G().Provided = false;
}

void Reset() {
  TManager& g = G();
  std::lock_guard<std::recursive_mutex> l(g.M);
  g.Sources.clear();
  g.Provided = false;
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

void AnnouncePages() {
  TManager& g = G();
  std::lock_guard<std::recursive_mutex> l(g.M);
  for (auto& s : g.Sources)
    if (s->State == 5 && s->Device->PagesWaiting() > 0) Post(*s, MSG_XFERREADY);
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
