#include "acquire/twain_engine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "acquire/twain_params.h"
#include "acquire/twain_proxywin.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "gui/forms.h"
#include "platform/win_fpu.h"
#include "platform/win_sysdir.h"
#include "winui/win_input.h"
#include "winui/win_module.h"

namespace {

constexpr uint16_t kTwainControlWord = 0x133F;
constexpr DWORD kWS_SYSMENU = 0x00080000;

// ---------------------------------------------------------------------------
// The log.

struct TLog {
  std::recursive_mutex M;
  std::string Name;
  FILE* File = nullptr;
};

TLog& L() {
  static auto* l = new TLog();
  return *l;
}

void CloseLog(TLog& l) {
  if (l.File) std::fclose(l.File);
  l.File = nullptr;
}

bool WriteLine(FILE* f, const std::string& Line) {
  const std::string s = Line + "\r\n";
  return std::fwrite(s.data(), 1, s.size(), f) == s.size() && std::fflush(f) == 0;
}

// Sets the x87 control word the sources expect for the length of a call.
class TControlWord {
public:
  TControlWord() : fSaved(VXGet8087CW()) { VXSet8087CW(kTwainControlWord); }
  ~TControlWord() { VXSet8087CW(fSaved); }

private:
  uint16_t fSaved;
};

uint16_t CallEntry(tgrec& r, TW_IDENTITY* Dest, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData) {
  TControlWord cw;
  return r.DSM_Entry(&r.AppId, Dest, DG, DAT, MSG, pData);
}

// The condition code behind a failed triplet, as DAT_STATUS answers it;
// the query records nothing of its own.
uint16_t StatusOfFailure(tgrec& r, TW_IDENTITY* Dest) {
  TW_STATUS st{};
  try {
    if (CallEntry(r, Dest, DG_CONTROL, DAT_STATUS, MSG_GET, &st) != TWRC_SUCCESS) return TWCC_BUMMER;
  } catch (...) {
    return TWCC_BUMMER;
  }
  return st.ConditionCode;
}

void RecordFailure(tgrec& r, TW_IDENTITY* Dest, const char* Prefix) {
  r.TWParams->LastError = r.rc;
  r.TWParams->LastErrorStr = VXTW_ConditionText(StatusOfFailure(r, Dest));
  VXTW_Log(std::string(Prefix) + r.TWParams->LastErrorStr);
}

void CopyStr32(char (&Dest)[34], const std::string& Text) {
  std::memset(Dest, 0, sizeof(Dest));
  std::memcpy(Dest, Text.data(), std::min<size_t>(Text.size(), 33));
}

BOOL CALLBACK_DisableWindow(HWND h, LPARAM l) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(l);
  if (IsWindowVisible(h) && IsWindowEnabled(h)) {
    list->push_back(h);
    EnableWindow(h, FALSE);
  }
  return TRUE;
}

void EnableWindowList(tgrec& r) {
  for (HWND h : r.fWindowList)
    if (IsWindow(h)) EnableWindow(h, TRUE);
  r.fWindowList.clear();
}

std::string Hex4(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof(b), "%04X", v & 0xFFFF);
  return b;
}

bool ReleaseResources() { return VXGetGlobalSettings()->ReleaseTwainResources(); }

}  // namespace

// ---------------------------------------------------------------------------
// The log.

std::string VXTWLogFileName() {
  std::lock_guard<std::recursive_mutex> g(L().M);
  return L().Name;
}

void VXTWSetLogFile(const std::string& Name) {
  TLog& l = L();
  std::lock_guard<std::recursive_mutex> g(l.M);
  if (!l.Name.empty()) CloseLog(l);
  l.Name = Name;
  if (Name.empty()) return;
  l.File = std::fopen(Name.c_str(), "wb");
  const int err = errno;
  if (!l.File || !WriteLine(l.File, "Twain log. Core version " + std::string(kVXTwainCoreVersion) + " 9 3 2015")) {
    const int code = l.File ? EIO : err;
    CloseLog(l);
    l.Name.clear();
    throw EVXException("I/O error " + std::to_string(code));
  }
}

void VXTW_Log(const std::string& Text) {
  TLog& l = L();
  std::lock_guard<std::recursive_mutex> g(l.M);
  if (l.Name.empty()) return;
  CloseLog(l);
  l.File = std::fopen(l.Name.c_str(), "ab");
  const double now = VXNow();
  if (!l.File || !WriteLine(l.File, VXDateToStr(now) + " " + VXTimeToStr(now) + " : " + Text)) {
    // A log that cannot be written ends logging, not the operation.
    CloseLog(l);
    l.Name.clear();
  }
}

std::string VXTW_ConditionText(uint16_t ConditionCode) {
  switch (ConditionCode) {
    case 0: return "Operation worked.";
    case 1: return "General failure. Unload Source immediately.";
    case 2: return "Not enough memory to complete operation.";
    case 3: return "Source Manager unable to find the specified Source.";
    case 4: return "Source is connected to maximum supported number of applications.";
    case 5:
      return "Source or Source Manager reported an error to the user and handled the error; no application action "
             "required.";
    case 6:
      return "Capability not supported by Source or operation (get, set) is not supported on capability, or "
             "capability had dependencies on other capabilities and cannot be operated upon at this time";
    case 9: return "Unrecognized operation triplet.";
    case 10: return "Data parameter out of supported range.";
    case 11: return "Illegal operation for current Source Manager Source state.";
    case 12: return "Unknown destination in DSM_Entry.";
    case 13: return "Capability not supported by Source.";
    case 14: return "Operation not supported on capability.";
    case 15: return "Capability has dependencies on other capabilities and cannot be operated upon at this time.";
    case 16: return "File System operation is denied (file is protected).";
    case 17: return "Operation failed because file already exists.";
    case 18: return "File not found.";
    case 19: return "Operation failed because directory is not empty.";
    case 20:
    case 21: return "Transfer failed because of a feeder error";
    default: return "Unknown Condition " + std::to_string(ConditionCode);
  }
}

std::string VXTWProductName(const TW_IDENTITY& Id) {
  return std::string(Id.ProductName, strnlen(Id.ProductName, sizeof(Id.ProductName)));
}

// ---------------------------------------------------------------------------
// State record and triplets.

void VXTW_InitRecord(tgrec& r) {
  r = tgrec();
  r.actwnd = GetActiveWindow();
  r.nState = 1;
  TW_IDENTITY& a = r.AppId;
  std::memset(&a, 0, sizeof(a));
  a.Id = 0;
  a.Version.MajorNum = 1;
  a.Version.MinorNum = 0;
  a.Version.Language = TWLG_USERLOCALE;
  a.Version.Country = TWCY_USA;
  a.Version.Info[0] = ' ';
  a.Manufacturer[0] = ' ';
  a.ProductFamily[0] = ' ';
  a.ProductName[0] = ' ';
  a.ProtocolMajor = 1;
  a.ProtocolMinor = 9;
  a.SupportedGroups = DG_CONTROL | DG_IMAGE;
}

void VXTW_SetAppIdentity(tgrec& r) {
  if (!r.TWParams) return;
  TVXTwainParams& p = *r.TWParams;
  CopyStr32(r.AppId.Version.Info, p.AppVersionInfo());
  CopyStr32(r.AppId.Manufacturer, p.AppManufacturer());
  CopyStr32(r.AppId.ProductFamily, p.AppProductFamily());
  CopyStr32(r.AppId.ProductName, p.AppProductName());
  r.AppId.Version.Language = p.Language();
  r.AppId.Version.Country = p.Country();
}

bool VXTW_Mgr(tgrec& r, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData) {
  r.rc = TWRC_FAILURE;
  if (!r.DSM_Entry) return false;
  try {
    r.rc = CallEntry(r, nullptr, DG, DAT, MSG, pData);
    if (r.rc != TWRC_SUCCESS && r.TWParams) RecordFailure(r, nullptr, "VXTW_Mgr : ");
  } catch (...) {
  }
  return r.rc == TWRC_SUCCESS;
}

bool VXTW_DS(tgrec& r, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData) {
  r.rc = TWRC_FAILURE;
  if (!r.DSM_Entry) return false;
  try {
    r.rc = CallEntry(r, &r.SourceId, DG, DAT, MSG, pData);
    if (r.rc != TWRC_SUCCESS && r.TWParams && DAT != DAT_EVENT) RecordFailure(r, &r.SourceId, "VXTW_DS : ");
  } catch (const std::exception& e) {
    VXTW_Log(std::string("VXTW_DS : Exception -> ") + e.what());
  }
  return r.rc == TWRC_SUCCESS;
}

bool VXTW_LoadSourceManager(tgrec& r) {
  VXTW_Log("VXTW_LoadSourceManager");
  if (r.nState >= 2) {
    VXTW_Log("  VXTW_LoadSourceManager : already loaded");
    return true;
  }
  if (r.PTwainShared && r.PTwainShared->hDSMLib) {
    r.hDSMLib = r.PTwainShared->hDSMLib;
    r.DSM_Entry = r.PTwainShared->DSM_Entry;
    r.nState = 2;
    VXTW_Log("  VXTW_LoadSourceManager : already loaded");
    return true;
  }
  char dir[256] = {};
  const uint32_t n = GetWindowsDirectoryA(dir, sizeof(dir));
  std::string path = n > 0 && n < sizeof(dir) ? std::string(dir, n) : std::string();
  if (!path.empty() && path.back() != ':') path += "/";
  path += "TWAIN_32.DLL";
  r.hDSMLib = nullptr;
  r.DSM_Entry = nullptr;
  if (VXFileExists(path)) r.hDSMLib = LoadLibraryA(path.c_str());
  if (r.hDSMLib) {
    VXTW_Log("  VXTW_LoadSourceManager : Load OK");
    r.DSM_Entry = reinterpret_cast<DSMENTRYPROC>(GetProcAddress(r.hDSMLib, "DSM_Entry"));
    if (r.DSM_Entry) {
      r.nState = 2;
    } else {
      FreeLibrary(r.hDSMLib);
      r.hDSMLib = nullptr;
    }
  }
  if (r.PTwainShared) {
    r.PTwainShared->hDSMLib = r.hDSMLib;
    r.PTwainShared->DSM_Entry = r.DSM_Entry;
  }
  return r.nState > 1;
}

bool VXTW_UnloadSourceManager(tgrec& r, bool Release) {
  VXTW_Log("VXTW_UnloadSourceManager");
  if (Release && r.PTwainShared && r.PTwainShared->hDSMLib) {
    FreeLibrary(r.PTwainShared->hDSMLib);
    r.hDSMLib = nullptr;
    r.DSM_Entry = nullptr;
    r.PTwainShared->hDSMLib = nullptr;
    r.PTwainShared->DSM_Entry = nullptr;
    r.nState = 1;
    VXTW_Log("  VXTW_UnloadSourceManager : Unload OK");
  } else if (r.nState == 2) {
    r.hDSMLib = nullptr;
    r.DSM_Entry = nullptr;
    r.nState = 1;
    VXTW_Log("  VXTW_UnloadSourceManager not Unloaded, for future uses");
  }
  return r.nState == 1;
}

HWND CreateProxyWindow(tgrec& r) {
  VXTW_Log("CreateProxyWindow");
  if (r.PTwainShared && r.PTwainShared->hproxy) {
    VXTW_Log("  CreateProxyWindow : already created");
    return r.PTwainShared->hproxy;
  }
  HWND h = CreateWindowExW(0, "STATIC", "Acquire Proxy", WS_POPUP | WS_BORDER | kWS_SYSMENU, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, r.callwnd, nullptr, nullptr, nullptr);
  if (Application) Application->ProcessMessages();
  if (r.PTwainShared) r.PTwainShared->hproxy = h;
  VXTW_Log("  CreateProxyWindow : created");
  return h;
}

void DestroyProxyWindow(tgrec& r, HWND, bool Release) {
  VXTW_Log("DestroyProxyWindow");
  if (!Release) {
    VXTW_Log("  DestroyProxyWindow : not destroyed, for future uses");
    return;
  }
  if (r.PTwainShared) {
    if (r.PTwainShared->hproxy && IsWindow(r.PTwainShared->hproxy)) DestroyWindow(r.PTwainShared->hproxy);
    r.PTwainShared->hproxy = nullptr;
  }
  VXTW_Log("  DestroyProxyWindow : destroyed");
}

bool VXTW_OpenSourceManager(tgrec& r, HWND Parent) {
  VXTW_Log("VXTW_OpenSourceManager");
  r.hwndSM = Parent;
  if (VXTW_Mgr(r, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &r.hwndSM)) r.nState = 3;
  VXTW_Log(r.nState > 2 ? "  VXTW_OpenSourceManager : Ok" : "  VXTW_OpenSourceManager : FAILED!");
  return r.nState > 2;
}

bool VXTW_CloseSourceManager(tgrec& r, HWND Parent) {
  VXTW_Log("VXTW_CloseSourceManager");
  VXTW_EmptyMessageQueue(r);
  HWND parent = Parent;
  if (VXTW_Mgr(r, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent)) r.nState = 2;
  VXTW_Log(r.nState <= 2 ? "  VXTW_CloseSourceManager : Ok" : "  VXTW_CloseSourceManager : FAILED!");
  return r.nState <= 2;
}

bool VXTW_OpenSource(tgrec& r) {
  VXTW_Log("VXTW_OpenSource");
  if (r.nState != 3) {
    VXTW_Log("  VXTW_OpenSource : already loaded");
    return false;
  }
  std::string name;
  if (r.TWParams && r.TWParams->SourceListDataValid()) {
    const auto& list = r.TWParams->SourceListData();
    const int32_t sel = r.TWParams->SelectedSource();
    if (sel >= 0 && size_t(sel) < list.size()) name = VXTWProductName(*list[size_t(sel)]);
  }
  if (!name.empty()) {
    TW_IDENTITY id{};
    VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
    // The walk ends at the end of the list, at any failure, and after a
    // thousand identities.
    for (int32_t n = 0; r.rc == TWRC_SUCCESS && n < 1000; ++n) {
      if (VXTWProductName(id) == name) break;
      std::memset(&id, 0, sizeof(id));
      VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id);
    }
    if (r.rc != TWRC_SUCCESS || VXTWProductName(id) != name) std::memset(&id, 0, sizeof(id));
    r.SourceId = id;
  } else {
    std::memset(&r.SourceId, 0, sizeof(r.SourceId));
  }
  if (VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &r.SourceId)) {
    r.nState = 4;
    VXTW_SetCustomDSData(r);
  } else {
    VXTW_SetErrorDetail(r, ED_DSM_FAILURE);
  }
  VXTW_Log(r.nState == 4 ? "  VXTW_OpenSource : Ok" : "  VXTW_OpenSource : FAILED!");
  return r.nState == 4;
}

bool VXTW_EnableSource(tgrec& r, HWND Parent) {
  VXTW_Log("VXTW_EnableSource");
  if (r.nState != 4) {
    VXTW_Log("  VXTW_EnableSource : already enabled");
    return false;
  }
  r.twUI.ShowUI = r.bHideUI ? 0 : 0xFFFF;
  r.twUI.hParent = reinterpret_cast<TW_HANDLE>(Parent);
  r.twUI.ModalUI = r.modal ? 0xFFFF : 0;
  EnableWindowList(r);
  EnumThreadWindows(GetCurrentThreadId(), &CALLBACK_DisableWindow, reinterpret_cast<LPARAM>(&r.fWindowList));
  VXTW_Log("  VXTW_EnableSource : ShowUI=" + std::to_string(int16_t(r.twUI.ShowUI)) +
           " hParent=" + std::to_string(reinterpret_cast<intptr_t>(Parent)) +
           " ModalUI=" + std::to_string(int16_t(r.twUI.ModalUI)));
  VXTW_DS(r, DG_CONTROL, DAT_USERINTERFACE, r.uionly ? MSG_ENABLEDSUIONLY : MSG_ENABLEDS, &r.twUI);
  if (r.rc == TWRC_FAILURE || r.rc == TWRC_CANCEL)
    VXTW_SetErrorDetail(r, ED_DS_FAILURE);
  else
    r.nState = 5;
  VXTW_Log(r.nState == 5 ? "  VXTW_EnableSource : Ok" : "  VXTW_EnableSource : FAILED!");
  return r.nState == 5;
}

bool VXTW_DisableSource(tgrec& r) {
  VXTW_Log("VXTW_DisableSource");
  r.breakmodalloop = true;
  if (r.nState == 5) {
    VXTW_DS(r, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &r.twUI);
    r.nState = 4;
  }
  EnableWindowList(r);
  VXTW_EmptyMessageQueue(r);
  VXTW_Log(r.nState <= 4 ? "  VXTW_DisableSource : Ok" : "  VXTW_DisableSource : FAILED!");
  return r.nState <= 4;
}

bool VXTW_CloseSource(tgrec& r) {
  VXTW_Log("VXTW_CloseSource");
  r.breakmodalloop = true;
  if (r.nState == 5) VXTW_DisableSource(r);
  if (r.nState == 4 && VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &r.SourceId)) r.nState = 3;
  VXTW_Log(r.nState <= 3 ? "  VXTW_CloseSource : Ok" : "  VXTW_CloseSource : FAILED!");
  return r.nState <= 3;
}

bool VXTW_AbortAllPendingXfers(tgrec& r) {
  VXTW_Log("VXTW_AbortAllPendingXfers");
  r.breakmodalloop = true;
  if (r.nState == 7 && VXTW_DS(r, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &r.pendingXfers))
    r.nState = r.pendingXfers.Count != 0 ? 6 : 5;
  if (r.nState == 6 && VXTW_DS(r, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &r.pendingXfers)) r.nState = 5;
  VXTW_EmptyMessageQueue(r);
  VXTW_Log(r.nState <= 5 ? "  VXTW_AbortAllPendingXfers : Ok" : "  VXTW_AbortAllPendingXfers : FAILED!");
  return r.nState <= 5;
}

void VXTW_ClearErrorDetail(tgrec& r) { r.nErrDetail = ED_NONE; }

void VXTW_SetErrorDetail(tgrec& r, ErrorDetail Detail) {
  if (r.nErrDetail != ED_NONE) return;
  r.nErrDetail = Detail;
  if (Detail == ED_CAP_GET || Detail == ED_CAP_SET || Detail == ED_DSM_FAILURE || Detail == ED_DS_FAILURE) {
    r.nErrRC = r.rc;
    r.nErrCC = VXTW_GetConditionCode(r);
  } else {
    r.nErrRC = 0;
    r.nErrCC = 0;
  }
}

uint16_t VXTW_GetConditionCode(tgrec& r) {
  if (r.nState < 3) return TWCC_SEQERROR;
  TW_STATUS st{};
  const bool ok = r.nState == 3 ? VXTW_Mgr(r, DG_CONTROL, DAT_STATUS, MSG_GET, &st)
                                : VXTW_DS(r, DG_CONTROL, DAT_STATUS, MSG_GET, &st);
  return ok ? st.ConditionCode : TWCC_BUMMER;
}

void VXTW_SetCustomDSData(tgrec& r) {
  if (!r.TWParams) return;
  TMemoryStream* s = r.TWParams->SourceSettings();
  const int64_t size = s->Size();
  if (size < 1 || size > int64_t(UINT32_MAX)) return;
  HGLOBAL h = GlobalAlloc(GHND, size_t(size));
  if (!h) return;
  std::memcpy(GlobalLock(h), s->Memory(), size_t(size));
  GlobalUnlock(h);
  TW_CUSTOMDSDATA cd{uint32_t(size), h};
  VXTW_DS(r, DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, &cd);
  GlobalFree(h);
}

void VXTW_GetCustomDSData(tgrec& r) {
  if (!r.TWParams) return;
  TW_CUSTOMDSDATA cd{};
  if (VXTW_DS(r, DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET, &cd) && cd.InfoLength != 0 &&
      GlobalSize(cd.hData) >= cd.InfoLength) {
    TMemoryStream* s = r.TWParams->SourceSettings();
    s->Clear();
    s->Write(GlobalLock(cd.hData), cd.InfoLength);
    GlobalUnlock(cd.hData);
  }
  if (cd.hData) GlobalFree(cd.hData);
}

// ---------------------------------------------------------------------------
// Messages.

// Frees the proxy window of a modeless acquisition, which closes it and
// frees the record.
static void CloseModeless(tgrec& r) {
  TVXProxyWin* p = r.ProxyWin;
  r.ProxyWin = nullptr;
  delete p;
}

bool VXTW_MessageHook(tgrec& r, const MSG& Message) {
  VXTW_Log("VXTW_MessageHook");
  const bool modal = r.modal;
  bool result = false;
  if (r.nState < 5) {
    VXTW_Log("VXTW_MessageHook : state = " + std::to_string(r.nState));
  } else {
    VXTW_Log("VXTW_MessageHook : state>=5");
    MSG msg = Message;
    TW_EVENT ev{&msg, MSG_NULL};
    VXTW_DS(r, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &ev);
    VXTW_Log("VXTW_MessageHook : event.msg=$" + Hex4(ev.TWMessage));
    result = r.rc == TWRC_DSEVENT;
    switch (ev.TWMessage) {
      case MSG_NULL:
        VXTW_Log("  VXTW_MessageHook : MSG_NULL");
        break;
      case MSG_XFERREADY:
        if (!r.sending) {
          r.sending = true;
          r.nState = 6;
          if (r.gmulti)
            VXTW_XferReadyMulti(r);
          else
            VXTW_XferReady(r);
          if (r.fAborting) VXTW_DisableSource(r);
          r.sending = false;
          VXTW_Log("  VXTW_MessageHook : processed MSG_XFERREADY");
        }
        break;
      case MSG_CLOSEDSREQ:
        VXTW_Log("  VXTW_MessageHook : processed MSG_CLOSEDSREQ");
        VXTW_DisableSource(r);
        if (!modal) {
          CloseModeless(r);
          return result;  // the record is gone
        }
        break;
      case MSG_CLOSEDSOK:
        VXTW_Log("  VXTW_MessageHook : processed MSG_CLOSEDSOK");
        r.closedsok = true;
        VXTW_DisableSource(r);
        VXTW_GetCustomDSData(r);
        if (!modal) {
          CloseModeless(r);
          return result;
        }
        break;
      default:
        break;
    }
  }
  if (modal) VXTW_Log("VXTW_MessageHook : end");
  return result;
}

void VXTW_EmptyMessageQueue(tgrec& r) {
  VXTW_Log("VXTW_EmptyMessageQueue");
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(int(m.wParam));
      break;
    }
    if (!VXTW_MessageHook(r, m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  VXTW_Log("  VXTW_EmptyMessageQueue : end");
}

// ---------------------------------------------------------------------------
// Operations.

TVXTwainOperation::TVXTwainOperation(tgrec& Record, PVXTwainShared Shared, HWND Window) : fRecord(Record) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  if (s->IsInsideTwain()) return;
  s->SetIsInsideTwain(true);
  fEntered = true;
  VXTW_InitRecord(fRecord);
  fRecord.callwnd = Window;
  fRecord.PTwainShared = Shared;
}

TVXTwainOperation::~TVXTwainOperation() {
  if (!fEntered) return;
  EnableWindowList(fRecord);
  if (fRecord.actwnd && IsWindow(fRecord.actwnd)) SetActiveWindow(fRecord.actwnd);
  VXGetGlobalSettings()->SetIsInsideTwain(false);
}

bool VXTW_SelectSource(std::string& Name, PVXTwainShared Shared, HWND Window) {
  tgrec r;
  TVXTwainOperation op(r, Shared, Window);
  if (!op.Entered()) return false;
  const bool useProxy = VXGetGlobalSettings()->ModelessSelectTwainSource();
  HWND parent = useProxy ? CreateProxyWindow(r) : Window;
  if (!VXTW_LoadSourceManager(r)) {
    if (useProxy) DestroyProxyWindow(r, parent, ReleaseResources());
    return false;
  }
  if (!VXTW_OpenSourceManager(r, parent)) {
    if (useProxy) DestroyProxyWindow(r, parent, ReleaseResources());
    return false;
  }
  TW_IDENTITY id{};
  VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &id);
  const bool result = VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &id);
  Name = VXTWProductName(id);
  VXTW_CloseSourceManager(r, parent);
  VXTW_UnloadSourceManager(r, ReleaseResources());
  if (useProxy) DestroyProxyWindow(r, parent, ReleaseResources());
  return result;
}

bool VXTW_FillSourceList(std::vector<std::unique_ptr<TW_IDENTITY>>& List, PVXTwainShared Shared, HWND Window) {
  tgrec r;
  TVXTwainOperation op(r, Shared, Window);
  if (!op.Entered()) return false;
  List.clear();
  HWND parent = CreateProxyWindow(r);
  if (!VXTW_LoadSourceManager(r) || !VXTW_OpenSourceManager(r, parent)) {
    DestroyProxyWindow(r, parent, ReleaseResources());
    return false;
  }
  auto id = std::make_unique<TW_IDENTITY>();
  std::memset(id.get(), 0, sizeof(TW_IDENTITY));
  VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, id.get());
  // The walk ends at the end of the list, at any failure, and after a
  // thousand identities.
  for (int32_t n = 0; r.rc == TWRC_SUCCESS && n < 1000; ++n) {
    if (id->ProductName[0] != 0) List.push_back(std::move(id));
    id = std::make_unique<TW_IDENTITY>();
    std::memset(id.get(), 0, sizeof(TW_IDENTITY));
    VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, id.get());
  }
  VXTW_CloseSourceManager(r, parent);
  VXTW_UnloadSourceManager(r, ReleaseResources());
  DestroyProxyWindow(r, parent, ReleaseResources());
  return true;
}

void VXTW_GetDefaultSourceName(PVXTwainShared Shared, HWND Window, std::string& Name) {
  Name.clear();
  tgrec r;
  TVXTwainOperation op(r, Shared, Window);
  if (!op.Entered()) return;
  HWND parent = CreateProxyWindow(r);
  if (!VXTW_LoadSourceManager(r) || !VXTW_OpenSourceManager(r, parent)) {
    DestroyProxyWindow(r, parent, ReleaseResources());
    return;
  }
  TW_IDENTITY id{};
  if (VXTW_Mgr(r, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &id)) Name = VXTWProductName(id);
  VXTW_CloseSourceManager(r, parent);
  VXTW_UnloadSourceManager(r, ReleaseResources());
  DestroyProxyWindow(r, parent, ReleaseResources());
}

void VXTW_FreeSharedResources(PVXTwainShared Shared, HWND Window) {
  if (!Shared) return;
  tgrec r;
  VXTW_InitRecord(r);
  r.callwnd = Window;
  r.PTwainShared = Shared;
  r.hDSMLib = Shared->hDSMLib;
  r.DSM_Entry = Shared->DSM_Entry;
  if (Shared->hproxy) DestroyProxyWindow(r, Shared->hproxy, true);
  if (Shared->hDSMLib) VXTW_UnloadSourceManager(r, true);
}
