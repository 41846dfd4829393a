// The headless file dialogs: a dialog window over the real file system,
// driven by the queued scripts of VXHeadless::OnFileDialog.
#include "winui/win_filedlg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/utf.h"
#include "platform/win_codepage.h"
#include "platform/win_resource.h"
#include "winui/win_input.h"
#include "winui/win_window.h"

namespace {

// ---- texts ----

std::string AnsiToUTF8(const char* S) {
  if (!S) return std::string();
  std::u16string w;
  for (const char* p = S; *p; ++p) {
    char16_t c = 0;
    MultiByteToWideChar(1252, 0, p, 1, &c, 1);
    w += c;
  }
  return VXUTF16ToUTF8(w);
}

std::string UTF8ToAnsi(const std::string& S) {
  std::string out;
  for (char16_t c : VXUTF8ToUTF16(S)) {
    if (c < 0x80) {
      out += char(c);
      continue;
    }
    char found = '?';
    for (int b = 0x80; b < 0x100; ++b) {
      const char byte = char(b);
      char16_t w = 0;
      if (MultiByteToWideChar(1252, 0, &byte, 1, &w, 1) == 1 && w == c) {
        found = byte;
        break;
      }
    }
    out += found;
  }
  return out;
}

bool IsDir(const std::string& P) {
  struct stat st;
  return !P.empty() && stat(P.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& P) {
  struct stat st;
  return stat(P.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string Join(const std::string& Folder, const std::string& Name) {
  if (!Name.empty() && Name[0] == '/') return Name;
  if (Folder.empty() || Folder.back() == '/') return Folder + Name;
  return Folder + "/" + Name;
}

std::string FolderOf(const std::string& Path) {
  const size_t p = Path.rfind('/');
  if (p == std::string::npos) return std::string();
  return p == 0 ? std::string("/") : Path.substr(0, p);
}

std::string NameOf(const std::string& Path) {
  const size_t p = Path.rfind('/');
  return p == std::string::npos ? Path : Path.substr(p + 1);
}

// The extension of a path's name, without its dot; empty for none.
std::string ExtOf(const std::string& Path) {
  const std::string n = NameOf(Path);
  const size_t p = n.rfind('.');
  return p == std::string::npos || p == 0 ? std::string() : n.substr(p + 1);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// ---- the script ----

struct TScript {
  std::mutex M;
  std::deque<VXHeadless::TVXFileDialogHandler> Handlers;
  std::deque<bool> Answers;
  std::vector<std::string> Prompts;
};
TScript& Script() {
  static auto* s = new TScript();
  return *s;
}

thread_local DWORD tLastError = 0;

constexpr const char* kDialogClass = "VXFileDialog";
constexpr const char* kNameBoxClass = "VXFileNameBox";
constexpr const char* kShellViewClass = "SHELLDLL_DefView";
constexpr const char* kPlacesBarClass = "ToolbarWindow32";
constexpr const char* kEmptyChild = "VXFILEDIALOGCHILD";

class TRun;
thread_local TRun* tRun = nullptr;

LRESULT DialogWndProc(HWND h, UINT Msg, WPARAM w, LPARAM l);
LRESULT ShellViewWndProc(HWND h, UINT Msg, WPARAM w, LPARAM l);
LONG_PTR ChildDlgProc(HWND h, UINT Msg, WPARAM w, LPARAM l);

void RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSEXW wc;
    wc.lpfnWndProc = DialogWndProc;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.lpszClassName = kDialogClass;
    RegisterClassExW(&wc);
    WNDCLASSEXW box;
    box.lpfnWndProc = DefWindowProcW;
    box.lpszClassName = kNameBoxClass;
    RegisterClassExW(&box);
    WNDCLASSEXW view;
    view.lpfnWndProc = ShellViewWndProc;
    view.lpszClassName = kShellViewClass;
    RegisterClassExW(&view);
    WNDCLASSEXW bar;
    bar.lpfnWndProc = DefWindowProcW;
    bar.lpszClassName = kPlacesBarClass;
    RegisterClassExW(&bar);
    // The empty child dialog an explorer dialog hooks when the caller gives
    // no template: a control parent without controls.
    static const uint8_t empty[] = {0x00, 0x04, 0x00, 0x44, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0,    0,    0,    0,    0, 0, 0, 0, 0, 0};
    RegisterResource(RT_DIALOG, kEmptyChild, empty, sizeof empty);
  });
}

// Standard size of the dialog's client area.
constexpr int kWidth = 560, kHeight = 340, kOldWidth = 420, kOldHeight = 300;

class TRun final : public VXHeadless::TVXFileDialogRun {
 public:
  TRun(OPENFILENAMEW* Ofn, bool Save, bool Ansi) : fOfn(Ofn), fSave(Save), fAnsi(Ansi) {}
  ~TRun() override {
    if (fMain && IsWindow(fMain)) DestroyWindow(fMain);
    if (fOwnerDisabled && IsWindow(fOfn->hwndOwner)) EnableWindow(fOfn->hwndOwner, TRUE);
    tRun = fOuter;
  }

  // Makes and shows the dialog; false (with the error set) when it cannot.
  bool Open();
  bool Done() const { return fDone; }
  bool Result() const { return fResult; }

  HWND Window() const override { return fMain; }
  std::string Folder() const override { return fFolder; }
  bool ChangeFolder(const std::string& Path) override {
    if (fDone) return false;
    const std::string p = Join(fFolder, Path);
    if (!IsDir(p)) return false;
    SetFolder(p);
    return true;
  }
  void SelectFiles(const std::vector<std::string>& Names) override {
    if (fDone) return;
    std::string text;
    if (Names.size() == 1) {
      text = Names[0];
    } else {
      for (const std::string& n : Names) text += (text.empty() ? "\"" : " \"") + n + "\"";
    }
    SetWindowTextW(fBox, text.c_str());
    Notify(CDN_SELCHANGE);
  }
  void TypeName(const std::string& Text) override {
    if (!fDone) SetWindowTextW(fBox, Text.c_str());
  }
  std::string NameText() const override { return BoxText(); }
  bool SelectFilter(int Index) override {
    if (fDone || Index < 1 || Index > fFilterCount) return false;
    fOfn->nFilterIndex = DWORD(Index);
    Notify(CDN_TYPECHANGE);
    return true;
  }
  bool Accept() override;
  void Cancel() override {
    fDone = true;
    fResult = false;
  }
  std::vector<WPARAM> ViewCommands() const override { return fViewCommands; }

  // The dialog window's own messages.
  bool HandleDialogMessage(UINT Msg, WPARAM w, LPARAM l, LRESULT& Result);
  void ViewCommand(WPARAM w) { fViewCommands.push_back(w); }
  LPOFNHOOKPROC Hook() const { return fHook; }
  HWND Child() const { return fChild; }
  bool Explorer() const { return fExplorer; }
  TRun* fOuter = nullptr;

 private:
  std::string In(const char* S) const { return fAnsi ? AnsiToUTF8(S) : (S ? std::string(S) : std::string()); }
  std::string Out(const std::string& S) const { return fAnsi ? UTF8ToAnsi(S) : S; }
  std::string BoxText() const {
    const int n = GetWindowTextLengthW(fBox);
    std::string s(size_t(n) + 1, '\0');
    GetWindowTextW(fBox, s.data(), n + 1);
    s.resize(size_t(n));
    return s;
  }
  // The full path the box names now.
  std::string CurrentPath() const {
    const std::string t = BoxText();
    return t.empty() ? fFolder : Join(fFolder, t);
  }
  void SetFolder(const std::string& P) {
    fFolder = P;
    while (fFolder.size() > 1 && fFolder.back() == '/') fFolder.pop_back();
    Notify(CDN_FOLDERCHANGE);
  }
  // Sends a notification to the hooked child dialog; answers its
  // DWL_MSGRESULT.
  LONG_PTR Notify(UINT Code) {
    if (!fChild || !IsWindow(fChild)) return 0;
    OFNOTIFYW n;
    n.hdr.hwndFrom = fMain;
    n.hdr.idFrom = 0;
    n.hdr.code = Code;
    n.lpOFN = fOfn;
    SendMessageW(fChild, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
    return fChild && IsWindow(fChild) ? GetWindowLongPtrW(fChild, DWLP_MSGRESULT) : 0;
  }
  bool Prompt(const std::string& Text) {
    TScript& s = Script();
    std::lock_guard<std::mutex> l(s.M);
    s.Prompts.push_back(Text);
    if (s.Answers.empty()) return false;
    const bool yes = s.Answers.front();
    s.Answers.pop_front();
    return yes;
  }
  // The names of the box: one, or several given as "a" "b".
  std::vector<std::string> Names() const {
    const std::string t = BoxText();
    std::vector<std::string> out;
    if (t.find('"') == std::string::npos) {
      size_t b = t.find_first_not_of(' '), e = t.find_last_not_of(' ');
      if (b != std::string::npos) out.push_back(t.substr(b, e - b + 1));
      return out;
    }
    for (size_t i = 0; i < t.size();) {
      const size_t a = t.find('"', i);
      if (a == std::string::npos) break;
      const size_t z = t.find('"', a + 1);
      if (z == std::string::npos) break;
      if (z > a + 1) out.push_back(t.substr(a + 1, z - a - 1));
      i = z + 1;
    }
    return out;
  }

  OPENFILENAMEW* fOfn;
  bool fSave, fAnsi;
  bool fExplorer = false;
  bool fDone = false, fResult = false;
  bool fOwnerDisabled = false;
  LPOFNHOOKPROC fHook = nullptr;
  HWND fMain = nullptr, fChild = nullptr, fBox = nullptr, fView = nullptr;
  std::string fFolder;
  int fFilterCount = 0;
  std::vector<WPARAM> fViewCommands;
};

bool TRun::Open() {
  RegisterClasses();
  fExplorer = (fOfn->Flags & OFN_EXPLORER) != 0;
  fHook = (fOfn->Flags & OFN_ENABLEHOOK) ? fOfn->lpfnHook : nullptr;
  const DWORD flagsEx = fOfn->lStructSize == OPENFILENAME_SIZE_VERSION_500 ? fOfn->FlagsEx : 0;
  // The filter list: pairs of NUL-ended texts up to an empty one.
  if (const char* p = fOfn->lpstrFilter) {
    int parts = 0;
    while (*p) {
      p += std::char_traits<char>::length(p) + 1;
      ++parts;
    }
    fFilterCount = parts / 2;
  }
  // The folder: that of a preset path, else the initial folder, else the
  // current one.
  const std::string preset = In(fOfn->lpstrFile);
  std::string boxText = preset;
  if (preset.find('/') != std::string::npos && IsDir(FolderOf(Join("/", preset))) && preset[0] == '/') {
    fFolder = FolderOf(preset);
    boxText = NameOf(preset);
  } else if (IsDir(In(fOfn->lpstrInitialDir))) {
    fFolder = In(fOfn->lpstrInitialDir);
  } else {
    char cwd[4096];
    fFolder = getcwd(cwd, sizeof cwd) ? cwd : "/";
  }
  while (fFolder.size() > 1 && fFolder.back() == '/') fFolder.pop_back();

  std::string title = In(fOfn->lpstrTitle);
  if (title.empty()) title = fSave ? "Save As" : "Open";
  const bool sizing = fExplorer && (fOfn->Flags & OFN_ENABLESIZING);
  const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER | (sizing ? WS_THICKFRAME : 0);
  const int w = fExplorer ? kWidth : kOldWidth, h = fExplorer ? kHeight : kOldHeight;
  fMain = CreateWindowExW(0, kDialogClass, title.c_str(), style, 0, 0, w, h, fOfn->hwndOwner, nullptr,
                          fOfn->hInstance, nullptr);
  if (!fMain) {
    tLastError = CDERR_INITIALIZATION;
    return false;
  }
  // Client size as given.
  RECT wr, cr;
  GetWindowRect(fMain, &wr);
  GetClientRect(fMain, &cr);
  SetWindowPos(fMain, nullptr, 0, 0, wr.right - wr.left + w - cr.right, wr.bottom - wr.top + h - cr.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  fBox = CreateWindowExW(0, kNameBoxClass, boxText.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP, 90, h - 60, 300, 22,
                         fMain, reinterpret_cast<HMENU>(uintptr_t(cmb13)), nullptr, nullptr);
  if (fExplorer) {
    const bool places = !(flagsEx & OFN_EX_NOPLACESBAR);
    if (places)
      CreateWindowExW(0, kPlacesBarClass, "", WS_CHILD | WS_VISIBLE, 4, 30, 80, h - 100, fMain,
                      reinterpret_cast<HMENU>(uintptr_t(ctl1)), nullptr, nullptr);
    fView = CreateWindowExW(0, kShellViewClass, "", WS_CHILD | WS_VISIBLE, places ? 90 : 8, 30,
                            w - (places ? 98 : 16), h - 100, fMain, nullptr, nullptr, nullptr);
  }
  if (fOfn->hwndOwner && IsWindowEnabled(fOfn->hwndOwner)) {
    EnableWindow(fOfn->hwndOwner, FALSE);
    fOwnerDisabled = true;
  }

  if (fExplorer) {
    if (fHook || (fOfn->Flags & OFN_ENABLETEMPLATE)) {
      std::string name;
      LPCWSTR templ = kEmptyChild;
      if (fOfn->Flags & OFN_ENABLETEMPLATE) {
        templ = fOfn->lpTemplateName;
        if (templ && !IS_INTRESOURCE(templ)) {
          name = In(templ);
          templ = name.c_str();
        }
      }
      fChild = CreateDialogParamW(fOfn->hInstance, templ, fMain, ChildDlgProc, reinterpret_cast<LPARAM>(fOfn));
      if (!fChild) {
        tLastError = CDERR_FINDRESFAILURE;
        return false;
      }
      // The dialog grows to hold its child.
      RECT c;
      GetClientRect(fChild, &c);
      GetClientRect(fMain, &cr);
      if (c.right > cr.right || c.bottom > cr.bottom) {
        GetWindowRect(fMain, &wr);
        const int gx = std::max(0, int(c.right - cr.right)), gy = std::max(0, int(c.bottom - cr.bottom));
        SetWindowPos(fMain, nullptr, 0, 0, wr.right - wr.left + gx, wr.bottom - wr.top + gy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      ShowWindow(fChild, SW_SHOWNA);
    }
  } else if (fHook) {
    SendMessageW(fMain, WM_INITDIALOG, reinterpret_cast<WPARAM>(fBox), reinterpret_cast<LPARAM>(fOfn));
  }
  if (fDone) return true;
  ShowWindow(fMain, SW_SHOW);
  SetActiveWindow(fMain);
  SetFocus(fBox);
  Notify(CDN_INITDONE);
  Notify(CDN_FOLDERCHANGE);
  return true;
}

bool TRun::Accept() {
  if (fDone) return false;
  std::vector<std::string> names = Names();
  if (names.empty()) return false;
  const bool multi = (fOfn->Flags & OFN_ALLOWMULTISELECT) != 0;
  if (names.size() > 1 && !multi) return false;
  // A folder is opened, not chosen.
  if (names.size() == 1 && IsDir(Join(fFolder, names[0]))) {
    SetWindowTextW(fBox, "");
    SetFolder(Join(fFolder, names[0]));
    return false;
  }
  // Given with its dot, the default extension is taken without it; one
  // holding wild cards (the "*.*" filter's) is none.
  std::string defExt = In(fOfn->lpstrDefExt);
  while (!defExt.empty() && defExt[0] == '.') defExt.erase(0, 1);
  if (defExt.find_first_of("*?") != std::string::npos) defExt.clear();
  DWORD flags = fOfn->Flags & ~DWORD(OFN_EXTENSIONDIFFERENT);
  for (std::string& n : names) {
    if (ExtOf(n).empty() && !defExt.empty()) {
      const std::string full = Join(fFolder, n);
      // An open dialog takes an existing name without extension as it is
      // when the name with the default extension does not exist.
      if (fSave || !IsFile(full) || IsFile(full + "." + defExt)) n += "." + defExt;
    }
    if (!defExt.empty() && Lower(ExtOf(n)) != Lower(defExt)) flags |= OFN_EXTENSIONDIFFERENT;
  }
  for (const std::string& n : names) {
    const std::string full = Join(fFolder, n);
    const bool exists = IsFile(full);
    if ((fOfn->Flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !IsDir(FolderOf(full))) {
      Prompt(full + "\nThe path does not exist.");
      return false;
    }
    if (!exists && (fOfn->Flags & OFN_FILEMUSTEXIST)) {
      Prompt(full + "\nFile not found.");
      return false;
    }
    if (!exists && !fSave && (fOfn->Flags & OFN_CREATEPROMPT) && !Prompt(full + "\nDo you want to create it?"))
      return false;
    if (exists && fSave && (fOfn->Flags & OFN_OVERWRITEPROMPT) &&
        !Prompt(full + " already exists.\nDo you want to replace it?"))
      return false;
    if (fSave && !exists && (fOfn->Flags & OFN_CREATEPROMPT) && !Prompt(full + "\nDo you want to create it?"))
      return false;
  }
  // The result: one full path, or the folder and the names.
  std::vector<std::string> items;
  if (names.size() == 1) {
    items.push_back(Out(Join(fFolder, names[0])));
  } else {
    items.push_back(Out(fFolder));
    for (const std::string& n : names) items.push_back(Out(n));
  }
  std::string buffer;
  if (!fExplorer && multi && items.size() > 1) {
    for (const std::string& it : items) buffer += (buffer.empty() ? "" : " ") + it;
    buffer += '\0';
  } else {
    for (const std::string& it : items) buffer += it + '\0';
    if (multi) buffer += '\0';
  }
  if (!fOfn->lpstrFile || buffer.size() > fOfn->nMaxFile) {
    tLastError = FNERR_BUFFERTOOSMALL;
    fDone = true;
    fResult = false;
    return false;
  }
  std::copy(buffer.begin(), buffer.end(), fOfn->lpstrFile);
  fOfn->Flags = flags;
  if (items.size() == 1) {
    const size_t slash = items[0].rfind('/');
    fOfn->nFileOffset = WORD(slash == std::string::npos ? 0 : slash + 1);
    const size_t dot = items[0].rfind('.');
    fOfn->nFileExtension = WORD(dot == std::string::npos || dot < fOfn->nFileOffset ? 0 : dot + 1);
  } else {
    fOfn->nFileOffset = WORD(items[0].size() + 1);
    fOfn->nFileExtension = 0;
  }
  if (fOfn->lpstrFileTitle && fOfn->nMaxFileTitle > 0) {
    const std::string t = Out(NameOf(Join(fFolder, names[0])));
    const size_t n = std::min<size_t>(t.size(), fOfn->nMaxFileTitle - 1);
    std::copy(t.begin(), t.begin() + ptrdiff_t(n), fOfn->lpstrFileTitle);
    fOfn->lpstrFileTitle[n] = 0;
  }
  if (Notify(CDN_FILEOK) != 0) return false;
  fDone = true;
  fResult = true;
  return true;
}

bool TRun::HandleDialogMessage(UINT Msg, WPARAM w, LPARAM l, LRESULT& Result) {
  auto Answer = [&](const std::string& Text) {
    const std::string t = Out(Text);
    const size_t need = t.size() + 1;
    char* buf = reinterpret_cast<char*>(l);
    if (buf && w >= need) {
      std::copy(t.begin(), t.end(), buf);
      buf[t.size()] = 0;
    }
    Result = LRESULT(need);
  };
  switch (Msg) {
    case CDM_GETSPEC:
      Answer(BoxText());
      return true;
    case CDM_GETFILEPATH:
      Answer(CurrentPath());
      return true;
    case CDM_GETFOLDERPATH:
      Answer(fFolder);
      return true;
    case CDM_SETCONTROLTEXT:
      if (int(w) == cmb13 || int(w) == edt1) {
        const std::string t = In(reinterpret_cast<const char*>(l));
        SetWindowTextW(fBox, t.c_str());
      } else if (HWND c = GetDlgItem(fMain, int(w))) {
        const std::string t = In(reinterpret_cast<const char*>(l));
        SetWindowTextW(c, t.c_str());
      }
      Result = 0;
      return true;
    default:
      return false;
  }
}

// The run a window belongs to: the innermost run whose dialog holds it.
TRun* RunOf(HWND h) {
  for (TRun* r = tRun; r; r = r->fOuter)
    if (r->Window() == h || IsChild(r->Window(), h)) return r;
  return tRun;
}

LRESULT DialogWndProc(HWND h, UINT Msg, WPARAM w, LPARAM l) {
  TRun* r = RunOf(h);
  LRESULT result = 0;
  if (r && r->HandleDialogMessage(Msg, w, l, result)) return result;
  // The old-style dialog's hook sees the dialog's messages first.
  if (r && !r->Explorer() && r->Hook() && r->Window() == h) {
    if (r->Hook()(h, Msg, w, l) && Msg != WM_INITDIALOG) return GetWindowLongPtrW(h, DWLP_MSGRESULT);
    if (Msg == WM_INITDIALOG) return 0;
  }
  return DefWindowProcW(h, Msg, w, l);
}

LRESULT ShellViewWndProc(HWND h, UINT Msg, WPARAM w, LPARAM l) {
  if (Msg == WM_COMMAND)
    if (TRun* r = RunOf(h)) r->ViewCommand(w);
  return DefWindowProcW(h, Msg, w, l);
}

LONG_PTR ChildDlgProc(HWND h, UINT Msg, WPARAM w, LPARAM l) {
  TRun* r = RunOf(GetParent(h));
  if (!r || !r->Hook()) return FALSE;
  return LONG_PTR(r->Hook()(h, Msg, w, l));
}

BOOL RunFileDialog(OPENFILENAMEW* Ofn, bool Save, bool Ansi) {
  tLastError = 0;
  if (!Ofn) {
    tLastError = CDERR_INITIALIZATION;
    return FALSE;
  }
  if (Ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400 && Ofn->lStructSize != OPENFILENAME_SIZE_VERSION_500) {
    tLastError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (!Ofn->lpstrFile || Ofn->nMaxFile == 0) {
    tLastError = CDERR_INITIALIZATION;
    return FALSE;
  }
  VXHeadless::TVXFileDialogHandler handler;
  {
    TScript& s = Script();
    std::lock_guard<std::mutex> l(s.M);
    if (!s.Handlers.empty()) {
      handler = std::move(s.Handlers.front());
      s.Handlers.pop_front();
    }
  }
  auto run = std::make_unique<TRun>(Ofn, Save, Ansi);
  run->fOuter = tRun;
  tRun = run.get();
  if (!run->Open()) return FALSE;
  if (!run->Done() && handler) handler(*run);
  return run->Done() && run->Result() ? TRUE : FALSE;
}

}  // namespace

BOOL GetOpenFileNameW(OPENFILENAMEW* lpofn) { return RunFileDialog(lpofn, false, false); }
BOOL GetSaveFileNameW(OPENFILENAMEW* lpofn) { return RunFileDialog(lpofn, true, false); }
BOOL GetOpenFileNameA(OPENFILENAMEA* lpofn) { return RunFileDialog(lpofn, false, true); }
BOOL GetSaveFileNameA(OPENFILENAMEA* lpofn) { return RunFileDialog(lpofn, true, true); }
DWORD CommDlgExtendedError() { return tLastError; }

namespace VXHeadless {

void OnFileDialog(TVXFileDialogHandler Handler) {
  TScript& s = Script();
  std::lock_guard<std::mutex> l(s.M);
  s.Handlers.push_back(std::move(Handler));
}

void AnswerFilePrompt(bool Yes) {
  TScript& s = Script();
  std::lock_guard<std::mutex> l(s.M);
  s.Answers.push_back(Yes);
}

std::vector<std::string> FilePrompts() {
  TScript& s = Script();
  std::lock_guard<std::mutex> l(s.M);
  return s.Prompts;
}

void ResetFileDialogs() {
  TScript& s = Script();
  std::lock_guard<std::mutex> l(s.M);
  s.Handlers.clear();
  s.Answers.clear();
  s.Prompts.clear();
}

}  // namespace VXHeadless
