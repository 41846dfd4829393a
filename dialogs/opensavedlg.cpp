// The file dialogs' properties, the shell view commands and the open
// dialog's filter list.
#include "dialogs/opensavedlg.h"

#include <algorithm>
#include <cctype>
#include <cfenv>
#include <map>

#include "core/settings.h"
#include "core/sysutils.h"
#include "core/textutils.h"
#include "core/winchores.h"
#include "dialogs/dialogtemplates.h"
#include "io/vexlaneio.h"
#include "mview/multiframe_save.h"
#include "platform/win_osversion.h"
#include "winui/win_input.h"
#include "io/fileformats.h"
#include "words/words.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The extension of a path's name with its dot, as written; empty for none.
std::string FileExt(const std::string& Path) {
  const std::string name = VXExtractFileNameW(Path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Words of the interface.
constexpr uint16_t kWordVideoForWindows = 125;
constexpr uint16_t kWordAllGraphicFiles = 131;
constexpr uint16_t kWordAllFiles = 132;

}  // namespace

int32_t TVXCommonDialog::ViewCommand(TVXCommonDialogView View, TVXOpSys OS) {
  // By mode: the command of Windows 2000, XP and 2003, and of Vista and later.
  static const int32_t kOlder[] = {-1, 0x7029, 0x702D, 0x702D, 0x702D, 0x702E, 0x702B, 0x702C};
  static const int32_t kNewer[] = {-1, 0x7050, 0x704E, 0x704F, 0x704D, 0x704C, 0x7051, 0x704B};
  const size_t i = size_t(View);
  if (i >= std::size(kOlder)) return -1;
  switch (OS) {
    case vxosWin2000:
    case vxosWinXP:
    case vxosWin2003:
      return kOlder[i];
    case vxosWinVista:
    case vxosWin7:
    case vxosWin8:
    case vxosUnknown:
      return kNewer[i];
    default:
      return -1;
  }
}

TOpenVexlaneDialog::TOpenVexlaneDialog(TComponent* AOwner)
    : TVXCommonDialog(AOwner),
      FFiles(std::make_unique<TStringList>()),
      FHistoryList(std::make_unique<TStringList>()),
      FFilesW(std::make_unique<TVXWideStrings>()) {
  VXUpdateGIFFileFormat();
  FFilter = BuildStrFilter(-1, false);
}

void TOpenVexlaneDialog::SetInitialDir(const std::string& Value) {
  FInitialDir = Value;
  if (FInitialDir.size() > 1 && FInitialDir.back() == '/') FInitialDir.pop_back();
}

void TOpenVexlaneDialog::SetAlwaysAnimate(bool Value) {
  fAlwaysAnimate = Value;
  if (Value) fShowAllFrames = true;
}

std::string TOpenVexlaneDialog::BuildStrFilter(int32_t LimitToType, bool bMultiFrameSaveOnly) {
  VXUpdateGIFFileFormat();
  const bool isSave = IsSaveDialog();
  std::string R, A, L;
  if (fShowFormats != vxsfVideosOnly) {
    for (const TVXFileFormatInfo* info : VXGetGlobalSettings()->FileFormats()) {
      if (info->Extensions.empty()) continue;
      if (isSave ? !info->WriteFunction || (bMultiFrameSaveOnly && !VXIsMultiFrameSaveFileType(info->FileType))
                 : !info->ReadFunction)
        continue;
      std::string P;
      const int32_t n = VXGetFileFormatExtensionCount(info->FileType);
      for (int32_t k = 0; k < n; ++k) {
        const std::string piece = "*." + Lower(VXGetFileFormatExtension(info->FileType, k)) + ";";
        P += piece;
        A += piece;
      }
      if (!P.empty()) P.pop_back();
      const std::string E = "|" + info->FullName + " (" + P + ")|" + P;
      if (info->FileType == 3)
        R = E + R;
      else
        R += E;
      if (info->FileType == LimitToType) L = info->FullName + " (" + P + ")|" + P;
    }
  }
  if (fShowFormats != vxsfImagesOnly) {
    const std::string avi = VXLocalizedMessage(kWordVideoForWindows) + " (*.avi)|*.avi";
    A += "*.avi;";
    R += "|" + avi;
    if (LimitToType == 15) L = avi;
  }
  if (fShowFormats != vxsfImagesOnly && !isSave) {
    A += "*.mpeg;*.mpg;";
    R += "|MPEG (*.mpeg;*.mpg)|*.mpeg;*.mpg";
    if (LimitToType == 23) L = "MPEG (*.mpeg;*.mpg)|*.mpeg;*.mpg";
    A += "*.wmv;";
    R += "|Windows Media Video (*.wmv)|*.wmv";
    if (LimitToType == 22) L = "Windows Media Video (*.wmv)|*.wmv";
  }
  // The extended pairs: all of it as given (X), their patterns (Y).
  std::string X, Y;
  bool inPattern = false;
  for (size_t i = 0; i < fExtendedFilters.size(); ++i) {
    const char c = fExtendedFilters[i];
    const bool last = i + 1 == fExtendedFilters.size();
    X += c;
    if (!inPattern) {
      if (c == '|') inPattern = true;
      continue;
    }
    if (c != '|') Y += c;
    if (c == '|' || last) {
      inPattern = false;
      if (!last) Y += ';';
    }
  }
  X = Trim(X);
  Y = Trim(Y);
  if (!X.empty()) {
    R += "|" + X;
    if (!L.empty()) L += "|" + X;
  }
  if (!Y.empty()) A += Y + ";";
  if (isSave) {
    if (!L.empty()) return L;
    return R.empty() ? R : R.substr(1);
  }
  std::string M;
  if (fShowFormats != vxsfAllOnly) {
    if (!A.empty()) A.pop_back();
    M = VXLocalizedMessage(kWordAllGraphicFiles) + "|" + A + "|";
  }
  const std::string all = VXLocalizedMessage(kWordAllFiles) + " (*.*)|*.*";
  if (!L.empty()) return L + "|" + M + all;
  return M + all + R;
}

int32_t TOpenVexlaneDialog::FindFilterIndex(const std::string& Ext) const {
  const std::string e = Lower(Ext);
  if (e.empty()) return 1;
  size_t p = FFilter.find(e);
  if (p == std::string::npos) return 1;
  // The open dialog looks for the third occurrence: the all-formats pair and
  // the pattern list's description hold the first two.
  size_t use = p;
  size_t q = p;
  for (int k = 0; k < 2 && q != std::string::npos && !IsSaveDialog(); ++k) {
    q = FFilter.find(e, q + 1);
    if (k == 1 && q != std::string::npos) use = q;
  }
  const auto bars = std::count(FFilter.begin(), FFilter.begin() + ptrdiff_t(use), '|');
  return int32_t(bars / 2 + 1);
}

int32_t TOpenVexlaneDialog::FilterIndexOfFileType(int32_t FileType) const {
  if (VXGetFileFormatExtensionCount(FileType) < 1) return 0;
  return FindFilterIndex("." + VXGetFileFormatExtension(FileType, 0));
}

// ---- running the system dialog ----

namespace {

// The dialog whose system dialog is being made: its hook's WM_INITDIALOG
// binds the hooked window to it.
TVXCommonDialog* vxCreatingDialog = nullptr;

// The hooked windows' objects.
std::map<HWND, TVXCommonDialog*>& HookedObjects() {
  static auto* m = new std::map<HWND, TVXCommonDialog*>();
  return *m;
}

// The system flag of each open option, by ordinal.
constexpr DWORD kOptionFlags[] = {
    OFN_READONLY,         OFN_OVERWRITEPROMPT,    OFN_HIDEREADONLY,        OFN_NOCHANGEDIR,
    OFN_SHOWHELP,         OFN_NOVALIDATE,         OFN_ALLOWMULTISELECT,    OFN_EXTENSIONDIFFERENT,
    OFN_PATHMUSTEXIST,    OFN_FILEMUSTEXIST,      OFN_CREATEPROMPT,        OFN_SHAREAWARE,
    OFN_NOREADONLYRETURN, OFN_NOTESTFILECREATE,   OFN_NONETWORKBUTTON,     OFN_NOLONGNAMES,
    OFN_EXPLORER,         OFN_NODEREFERENCELINKS, OFN_ENABLEINCLUDENOTIFY, OFN_ENABLESIZING,
    OFN_DONTADDTORECENT,  OFN_FORCESHOWHIDDEN};

// The pattern list's first extension with its dot ("*.jpg;*.jpeg" gives
// ".jpg").
std::string FirstExtension(const std::string& Patterns) {
  if (Patterns.empty()) return std::string();
  std::string e = Patterns.substr(1);
  const size_t semi = e.find(';');
  if (semi != std::string::npos) e.resize(semi);
  return e;
}

}  // namespace

TVXCommonDialog::~TVXCommonDialog() {
  if (FHandle) {
    if (IsWindow(FHandle) && FDefWndProc)
      SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefWndProc));
    HookedObjects().erase(FHandle);
  }
  if (vxCreatingDialog == this) vxCreatingDialog = nullptr;
}

void TVXCommonDialog::Subclass(HWND Wnd, WPARAM WParam, LPARAM LParam) {
  TVXCommonDialog* d = vxCreatingDialog;
  if (!d) return;
  d->FHandle = Wnd;
  HookedObjects()[Wnd] = d;
  d->FDefWndProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ObjectWndProc)));
  CallWindowProcW(ObjectWndProc, Wnd, WM_INITDIALOG, WParam, LParam);
  vxCreatingDialog = nullptr;
}

UINT_PTR TVXCommonDialog::VXClassicDialogHook(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_INITDIALOG) {
    VXCenterDialog(Wnd);
    Subclass(Wnd, WParam, LParam);
  }
  return 0;
}

UINT_PTR TVXCommonDialog::VXExplorerDialogHook(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_INITDIALOG) {
    Subclass(Wnd, WParam, LParam);
  } else if (Msg == WM_NOTIFY && LParam && reinterpret_cast<const NMHDR*>(LParam)->code == CDN_INITDONE) {
    VXCenterDialog(reinterpret_cast<HWND>(GetWindowLongPtrW(Wnd, GWLP_HWNDPARENT)));
  }
  return 0;
}

LRESULT TVXCommonDialog::ObjectWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto it = HookedObjects().find(Wnd);
  if (it == HookedObjects().end()) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  TVXCommonDialog* d = it->second;
  TMessage m;
  m.Msg = Msg;
  m.WParam = WParam;
  m.LParam = LParam;
  try {
    d->HandleMessage(m);
  } catch (...) {
    // Reported, never thrown into the system dialog.
    if (Application) Application->HandleException(d);
  }
  return m.Result;
}

void TVXCommonDialog::DefaultHandler(TMessage& Message) {
  if (FHandle && FDefWndProc)
    Message.Result = CallWindowProcW(FDefWndProc, FHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TVXCommonDialog::HandleMessage(TMessage& Message) {
  switch (Message.Msg) {
    case WM_DESTROY:
      DefaultHandler(Message);
      NotifyClose();
      break;
    case WM_INITDIALOG:
      NotifyShow();
      Message.Result = 0;
      break;
    case WM_NCDESTROY: {
      const HWND h = FHandle;
      DefaultHandler(Message);
      HookedObjects().erase(h);
      FHandle = nullptr;
      FDefWndProc = nullptr;
      break;
    }
    default:
      DefaultHandler(Message);
  }
  if (FFileView != vxdvDefault && Message.Msg == WM_NOTIFY && Message.LParam && FHandle &&
      reinterpret_cast<const NMHDR*>(Message.LParam)->code == CDN_FOLDERCHANGE) {
    HWND view = FindWindowExW(GetParent(FHandle), nullptr, "SHELLDLL_DefView", "");
    if (!view) return;
    const int32_t command = ViewCommand(FFileView, VXGetGlobalSettings()->OpSys());
    if (command < 0) return;
    SendMessageW(view, WM_COMMAND, WPARAM(command), 0);
  }
}

bool TVXCommonDialog::HandleHelpMessage(TMessage& Message) {
  static const UINT helpMessage = RegisterWindowMessageW("commdlg_help");
  if (Message.Msg != helpMessage || FHelpContext == 0 || !Application) return false;
  Application->HelpContext(FHelpContext);
  return true;
}

void TVXCommonDialog::NotifyClose() {
  if (OnClose) OnClose(this);
}

void TVXCommonDialog::NotifyShow() {
  if (OnShow) OnShow(this);
}

namespace {

BOOL CollectEnabled(HWND Wnd, LPARAM List) {
  if (IsWindowVisible(Wnd) && IsWindowEnabled(Wnd)) reinterpret_cast<std::vector<HWND>*>(List)->push_back(Wnd);
  return TRUE;
}

}  // namespace

bool TVXCommonDialog::RunModal(const std::function<BOOL()>& Call) {
  struct TState {
    HWND Active = nullptr, Focus = nullptr;
    std::vector<HWND> Disabled;
    int HookKey = 0;
    fenv_t Env;
    ~TState() {
      fesetenv(&Env);
      if (HookKey && Application) Application->UnhookMainWindow(HookKey);
      vxCreatingDialog = nullptr;
      for (HWND h : Disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
      if (Active && IsWindow(Active)) SetActiveWindow(Active);
      if (Focus && IsWindow(Focus) && IsWindowVisible(Focus) && IsWindowEnabled(Focus)) SetFocus(Focus);
    }
  } state;
  fegetenv(&state.Env);
  state.Active = GetActiveWindow();
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&windows));
  for (HWND h : windows) {
    EnableWindow(h, FALSE);
    state.Disabled.push_back(h);
  }
  state.Focus = GetFocus();
  if (Application) state.HookKey = Application->HookMainWindow([this](TMessage& M) { return HandleHelpMessage(M); });
  vxCreatingDialog = this;
  return Call() != FALSE;
}

// ---- the open dialog ----

TOpenVexlaneDialog::~TOpenVexlaneDialog() = default;

void TOpenVexlaneDialog::SetHistoryList(TStrings* Value) {
  FHistoryList->Clear();
  if (Value) FHistoryList->AddStrings(*Value);
}

bool TOpenVexlaneDialog::Explorer() const { return !(FOptions & VXOpenOptionBit(ofOldStyleDialog)); }

std::string TOpenVexlaneDialog::FilterPatterns(int32_t Index) const {
  if (Index < 1) return std::string();
  int32_t part = 0;
  size_t start = 0;
  const size_t want = size_t(Index) * 2 - 1;
  for (size_t i = 0; i <= FFilter.size(); ++i) {
    if (i == FFilter.size() || FFilter[i] == '|') {
      if (size_t(part) == want) return FFilter.substr(start, i - start);
      ++part;
      start = i + 1;
    }
  }
  return std::string();
}

std::string TOpenVexlaneDialog::QueryDialog(UINT Msg) const {
  HWND dlg = GetParent(FHandle);
  std::vector<char> buffer(261, '\0');
  LRESULT n = SendMessageW(dlg, Msg, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  if (n > LRESULT(buffer.size())) {
    buffer.assign(size_t(n), '\0');
    n = SendMessageW(dlg, Msg, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  }
  if (n <= 0 || n > LRESULT(buffer.size())) return std::string();
  const std::string s(buffer.data());
  return fAnsiRun ? VXAnsiToUTF8(s) : s;
}

std::string TOpenVexlaneDialog::FileNameW() const {
  if (!FHandle || !Explorer()) return FFileNameW;
  return QueryDialog(CDM_GETFILEPATH);
}

std::string TOpenVexlaneDialog::GetCurrentSpec() const {
  if (!FHandle || !Explorer()) return FFileNameW;
  return QueryDialog(CDM_GETSPEC);
}

std::string TOpenVexlaneDialog::GetTypedFileName() const {
  if (!FHandle) return FFileNameW;
  HWND dlg = Explorer() ? GetParent(FHandle) : FHandle;
  std::vector<char> buffer(65535, '\0');
  GetDlgItemTextW(dlg, cmb13, buffer.data(), int(buffer.size()));
  return VXExtractFilePathW(FileName()) + std::string(buffer.data());
}

TRect TOpenVexlaneDialog::GetPlaceholderRect() const {
  TRect r{};
  if (!FHandle) return r;
  RECT rc{};
  if (!Explorer()) {
    GetClientRect(FHandle, &rc);
  } else {
    HWND ph = GetDlgItem(FHandle, VXStc32);
    if (!ph) return r;
    GetWindowRect(ph, &rc);
    MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&rc), 2);
  }
  return TRect{rc.left, rc.top, rc.right, rc.bottom};
}

bool TOpenVexlaneDialog::CanCloseDialog() {
  bool can = true;
  if (OnCanClose) OnCanClose(this, can);
  return can;
}

void TOpenVexlaneDialog::SelectionChanged() {
  if (OnSelectionChange) OnSelectionChange(this);
}

void TOpenVexlaneDialog::FolderChanged() {
  if (OnFolderChange) OnFolderChange(this);
}

void TOpenVexlaneDialog::TypeChanged() {
  if (OnTypeChange) OnTypeChange(this);
}

void TOpenVexlaneDialog::HandleMessage(TMessage& Message) {
  Message.Result = 0;
  if (Message.Msg == WM_INITDIALOG && Explorer()) return;
  if (Message.Msg == WM_NOTIFY && Message.LParam) {
    auto* n = reinterpret_cast<OFNOTIFYW*>(Message.LParam);
    switch (n->hdr.code) {
      case CDN_TYPECHANGE: {
        if (!n->lpOFN) break;
        const int32_t index = int32_t(n->lpOFN->nFilterIndex);
        fSelType = FilterPatterns(index);
        fTypeDefExt = FirstExtension(fSelType);
        if (fAnsiRun) fTypeDefExt = VXUTF8ToAnsi(fTypeDefExt);
        n->lpOFN->lpstrDefExt = fTypeDefExt.c_str();
        if (index != FCurrentFilterIndex) {
          FCurrentFilterIndex = index;
          TypeChanged();
        }
        break;
      }
      case CDN_FILEOK: {
        if (n->lpOFN) CollectFileNames(*n->lpOFN, fAnsiRun);
        const bool can = CanCloseDialog();
        FFiles->Clear();
        FFilesW->Clear();
        if (!can) {
          Message.Result = 1;
          SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, 1);
          return;
        }
        break;
      }
      case CDN_FOLDERCHANGE:
        FolderChanged();
        break;
      case CDN_SELCHANGE:
        SelectionChanged();
        break;
      case CDN_INITDONE:
        fSelType = FilterPatterns(FCurrentFilterIndex);
        if (fWatchTimer) fWatchTimer->SetEnabled(true);
        NotifyShow();
        break;
      default:
        break;
    }
  }
  TVXCommonDialog::HandleMessage(Message);
}

void TOpenVexlaneDialog::CollectFileNames(const OPENFILENAMEW& Ofn, bool Ansi) {
  if (!Ofn.lpstrFile) return;
  auto Text = [&](const std::string& S) { return Ansi ? VXAnsiToUTF8(S) : S; };
  const bool multi = (FOptions & VXOpenOptionBit(ofAllowMultiSelect)) != 0;
  const size_t limit = size_t(Ofn.nMaxFile) + 2;
  auto Item = [&](size_t At) {
    size_t e = At;
    while (e < limit && Ofn.lpstrFile[e]) ++e;
    return std::string(Ofn.lpstrFile + At, e - At);
  };
  if (!multi) {
    FFileNameW = Text(Item(0));
    FFiles->Add(FFileNameW);
    FFilesW->Add(FFileNameW);
    return;
  }
  std::vector<std::string> items;
  if (!Explorer()) {
    const std::string all = Item(0);
    size_t start = 0;
    for (size_t i = 0; i <= all.size(); ++i) {
      if (i == all.size() || all[i] == ' ') {
        if (i > start) items.push_back(all.substr(start, i - start));
        start = i + 1;
      }
    }
  } else {
    for (size_t at = 0; at < limit;) {
      const std::string it = Item(at);
      if (it.empty()) break;
      items.push_back(it);
      at += it.size() + 1;
    }
  }
  if (items.empty()) return;
  if (items.size() == 1) {
    FFiles->Add(Text(items[0]));
    FFilesW->Add(Text(items[0]));
  } else {
    std::string folder = Text(items[0]);
    if (folder.empty() || folder.back() != '/') folder += '/';
    for (size_t i = 1; i < items.size(); ++i) {
      const std::string name = Text(items[i]);
      const std::string full = name[0] == '/' ? name : folder + name;
      FFiles->Add(full);
      FFilesW->Add(full);
    }
  }
  FFileNameW = FFilesW->Strings(0);
}

bool TOpenVexlaneDialog::RunSystemDialog(BOOL (*SystemFunction)(OPENFILENAMEW*), bool Ansi) {
  fSelectedFrame = 0;
  FFiles->Clear();
  FFilesW->Clear();
  OPENFILENAMEW ofn;
  OpenFileNameExShadow = &ofn;
  OSVERSIONINFOEXW version;
  version.dwOSVersionInfoSize = OSVERSIONINFOW_SIZE;
  GetVersionExW(version);
  const bool newRecord = (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) ||
                         (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion >= 4 &&
                          version.dwMinorVersion >= 90);
  ofn.lStructSize = newRecord ? OPENFILENAME_SIZE_VERSION_500 : OPENFILENAME_SIZE_VERSION_400;
  ofn.hInstance = nullptr;
  const bool multi = (FOptions & VXOpenOptionBit(ofAllowMultiSelect)) != 0;
  ofn.nMaxFile = multi ? 65519 : 260;

  if (!FFileNameW.empty())
    FFilterIndex = FindFilterIndex(Lower(FileExt(FFileNameW)));
  else if (FFilterDefault > 0)
    FFilterIndex = FilterIndexOfFileType(FFilterDefault);
  if (FFilterIndex == 0) FFilterIndex = 1;
  ofn.nFilterIndex = DWORD(FFilterIndex);
  FCurrentFilterIndex = FFilterIndex;

  auto Out = [&](const std::string& S) { return Ansi ? VXUTF8ToAnsi(S) : S; };
  fAnsiRun = Ansi;
  fFilterBuffer = Out(FFilter);
  for (char& c : fFilterBuffer)
    if (c == '|') c = '\0';
  fFilterBuffer += '\0';  // with the string's own, the list ends in two NULs
  ofn.lpstrFilter = FFilter.empty() ? nullptr : fFilterBuffer.c_str();
  fFileBuffer.assign(size_t(ofn.nMaxFile) + 2, '\0');
  const std::string preset = Out(FFileNameW);
  std::copy_n(preset.begin(), std::min<size_t>(preset.size(), ofn.nMaxFile), fFileBuffer.begin());
  ofn.lpstrFile = fFileBuffer.data();
  fInitialDirBuffer = Out(FInitialDir);
  fTitleBuffer = Out(FTitle);
  ofn.lpstrInitialDir = fInitialDirBuffer.c_str();
  ofn.lpstrTitle = fTitleBuffer.c_str();

  ofn.Flags = OFN_ENABLEHOOK;
  for (size_t i = 0; i < std::size(kOptionFlags); ++i)
    if (FOptions & (1u << i)) ofn.Flags |= kOptionFlags[i];
  ofn.Flags ^= OFN_EXPLORER;  // the system has the new-style controls
  const bool explorer = (ofn.Flags & OFN_EXPLORER) != 0;

  std::string ext = FDefaultExt;
  if (ext.empty() && !explorer) {
    ext = FileExt(FFileNameW);
    if (!ext.empty()) ext.erase(0, 1);
  }
  if (ext.empty()) ext = FirstExtension(FilterPatterns(FCurrentFilterIndex));
  fDefExtBuffer = Out(ext);
  ofn.lpstrDefExt = fDefExtBuffer.c_str();
  ofn.lpfnHook = explorer ? VXExplorerDialogHook : VXClassicDialogHook;
  if (!FTemplate.empty()) {
    ofn.Flags |= OFN_ENABLETEMPLATE;
    fTemplateBuffer = Out(FTemplate);
    ofn.lpTemplateName = fTemplateBuffer.c_str();
  }
  ofn.hwndOwner = Application ? Application->Handle() : VXOwnerWindowHandle(Owner());

  struct TEnd {
    TOpenVexlaneDialog* D;
    ~TEnd() {
      D->OpenFileNameExShadow = nullptr;
      D->fAnsiRun = false;
    }
  } end{this};
  OPENFILENAMEW* used = &ofn;
  OPENFILENAMEW ex;
  if (VXGetGlobalSettings()->OpSys() != vxosWin98) {
    ex = ofn;
    ex.lStructSize = OPENFILENAME_SIZE_VERSION_500;
    ex.FlagsEx = ShowPlacesBar() ? 0 : OFN_EX_NOPLACESBAR;
    used = &ex;
    OpenFileNameExShadow = &ex;
  }
  const bool result = RunModal([&] { return SystemFunction(used); });
  if (used == &ex) {
    const DWORD size = ofn.lStructSize;
    ofn = ex;
    ofn.lStructSize = size;
  }
  if (result) {
    CollectFileNames(ofn, Ansi);
    if (ofn.Flags & OFN_EXTENSIONDIFFERENT)
      FOptions |= VXOpenOptionBit(ofExtensionDifferent);
    else
      FOptions &= ~VXOpenOptionBit(ofExtensionDifferent);
    if (ofn.Flags & OFN_READONLY)
      FOptions |= VXOpenOptionBit(ofReadOnly);
    else
      FOptions &= ~VXOpenOptionBit(ofReadOnly);
    FFilterIndex = int32_t(ofn.nFilterIndex);
  }
  return result;
}

bool TOpenVexlaneDialog::Execute() {
  if (OnCreateCustomControls) OnCreateCustomControls(this);
  FTemplate = FPreviewSize == vxspLarge ? "IDD_VXTEMPLATE2" : "IDD_VXTEMPLATE";
  bool result = false;
  try {
    if (fAutoSetFilter) FFilter = BuildStrFilter(fAutoSetFilterFileType, false);
    const bool ansi = !VXGetGlobalSettings()->UnicodeOS();
    result = RunSystemDialog(ansi ? GetOpenFileNameA : GetOpenFileNameW, ansi);
  } catch (...) {
    if (OnDestroyCustomControls) OnDestroyCustomControls(this);
    throw;
  }
  if (OnDestroyCustomControls) OnDestroyCustomControls(this);
  return result;
}

// ---- the I/O component's open dialog ----

namespace {

class TOpenDialogSeam final : public TVXIOFileDialog {
 public:
  explicit TOpenDialogSeam(TComponent* Owner) : fDialog(std::make_unique<TOpenVexlaneDialog>(Owner)) {}
  void Setup(const TVXFileDialogSetup& V) override {
    TOpenVexlaneDialog& d = *fDialog;
    d.SetInitialDir(V.InitialDir);
    d.SetFileName(V.FileName);
    d.SetAlwaysAnimate(V.AlwaysAnimate);
    if (V.EnableSizing) d.SetOptions(d.Options() | VXOpenOptionBit(ofEnableSizing));
    if (!V.AutoSetFilter) {
      d.SetAutoSetFilter(false);
      d.SetFilter(V.Filter);
    }
    d.SetAutoSetFilterFileType(V.AutoSetFilterFileType);
    d.SetPreviewBorderStyle(V.PreviewBorderStyle);
    d.SetFilterDefault(V.FilterDefault);
    d.SetFilterIndex(V.FilterIndex);
    d.SetAutoAdjustDPI(V.AutoAdjustDPI);
    d.SetFilteredAdjustDPI(V.FilteredAdjustDPI);
    d.SetExtendedFilters(V.ExtendedFilters);
    if (!V.Title.empty()) d.SetTitle(V.Title);
  }
  bool Execute() override { return fDialog->Execute(); }
  std::string FileNameW() const override { return fDialog->FileNameW(); }
  int32_t SelectedFrame() const override { return fDialog->SelectedFrame(); }

 private:
  std::unique_ptr<TOpenVexlaneDialog> fDialog;
};

}  // namespace

void VXRegisterOpenDialogSeam() {
  VXIODialogHooks.CreateOpenDialog = [](TVexlaneIO* Owner) -> std::unique_ptr<TVXIOFileDialog> {
    return std::make_unique<TOpenDialogSeam>(Owner);
  };
}
