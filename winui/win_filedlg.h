// The system's file dialogs (GetOpenFileNameW, GetSaveFileNameW and their
// 8-bit forms), headless over the real file system: the dialog window with
// its file-name box, shell view and places bar, the caller's hook and
// template, the explorer notifications and the CDM_ messages. What a person
// does in the dialog is scripted with VXHeadless::OnFileDialog; a run
// without a script answers Cancel.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "winui/win_dialog.h"
#include "winui/win_types.h"

// Flags.
constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_SHOWHELP = 0x00000010;
constexpr DWORD OFN_ENABLEHOOK = 0x00000020;
constexpr DWORD OFN_ENABLETEMPLATE = 0x00000040;
constexpr DWORD OFN_NOVALIDATE = 0x00000100;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
constexpr DWORD OFN_EXTENSIONDIFFERENT = 0x00000400;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_CREATEPROMPT = 0x00002000;
constexpr DWORD OFN_SHAREAWARE = 0x00004000;
constexpr DWORD OFN_NOREADONLYRETURN = 0x00008000;
constexpr DWORD OFN_NOTESTFILECREATE = 0x00010000;
constexpr DWORD OFN_NONETWORKBUTTON = 0x00020000;
constexpr DWORD OFN_NOLONGNAMES = 0x00040000;
constexpr DWORD OFN_EXPLORER = 0x00080000;
constexpr DWORD OFN_NODEREFERENCELINKS = 0x00100000;
constexpr DWORD OFN_ENABLEINCLUDENOTIFY = 0x00400000;
constexpr DWORD OFN_ENABLESIZING = 0x00800000;
constexpr DWORD OFN_DONTADDTORECENT = 0x02000000;
constexpr DWORD OFN_FORCESHOWHIDDEN = 0x10000000;
constexpr DWORD OFN_EX_NOPLACESBAR = 0x00000001;

// The record's sizes: without and with the trailing pvReserved, dwReserved
// and FlagsEx. Any other lStructSize fails with CDERR_STRUCTSIZE.
constexpr DWORD OPENFILENAME_SIZE_VERSION_400 = 76;
constexpr DWORD OPENFILENAME_SIZE_VERSION_500 = 88;

// Notifications (WM_NOTIFY codes) and messages of the explorer dialog.
constexpr UINT CDN_FIRST = UINT(0) - 601u;
constexpr UINT CDN_INITDONE = CDN_FIRST;
constexpr UINT CDN_SELCHANGE = CDN_FIRST - 1;
constexpr UINT CDN_FOLDERCHANGE = CDN_FIRST - 2;
constexpr UINT CDN_SHAREVIOLATION = CDN_FIRST - 3;
constexpr UINT CDN_HELP = CDN_FIRST - 4;
constexpr UINT CDN_FILEOK = CDN_FIRST - 5;
constexpr UINT CDN_TYPECHANGE = CDN_FIRST - 6;
constexpr UINT CDM_FIRST = WM_USER + 100;
constexpr UINT CDM_GETSPEC = CDM_FIRST + 0;
constexpr UINT CDM_GETFILEPATH = CDM_FIRST + 1;
constexpr UINT CDM_GETFOLDERPATH = CDM_FIRST + 2;
constexpr UINT CDM_SETCONTROLTEXT = CDM_FIRST + 4;

// Control ids of the dialog: the file-name box (a combo box with its edit
// field; both ids reach it here), and the places bar.
constexpr int cmb13 = 1148;
constexpr int edt1 = 1152;
constexpr int ctl1 = 1184;

// Extended errors (CommDlgExtendedError).
constexpr DWORD CDERR_STRUCTSIZE = 0x0001;
constexpr DWORD CDERR_INITIALIZATION = 0x0002;
constexpr DWORD CDERR_FINDRESFAILURE = 0x0006;
constexpr DWORD FNERR_BUFFERTOOSMALL = 0x3003;

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct NMHDR {
  HWND hwndFrom = nullptr;
  UINT_PTR idFrom = 0;
  UINT code = 0;
};

// The file dialog's record. The W functions take UTF-8 texts; the A
// functions take the same record with Windows-1252 texts. lpstrFilter holds
// description and pattern list alternately, each NUL-ended, and a second
// NUL at the end. nMaxFile counts the units of lpstrFile.
struct OPENFILENAMEW {
  DWORD lStructSize = 0;
  HWND hwndOwner = nullptr;
  HINSTANCE hInstance = nullptr;
  LPCWSTR lpstrFilter = nullptr;
  LPWSTR lpstrCustomFilter = nullptr;
  DWORD nMaxCustFilter = 0;
  DWORD nFilterIndex = 0;
  LPWSTR lpstrFile = nullptr;
  DWORD nMaxFile = 0;
  LPWSTR lpstrFileTitle = nullptr;
  DWORD nMaxFileTitle = 0;
  LPCWSTR lpstrInitialDir = nullptr;
  LPCWSTR lpstrTitle = nullptr;
  DWORD Flags = 0;
  WORD nFileOffset = 0;
  WORD nFileExtension = 0;
  LPCWSTR lpstrDefExt = nullptr;
  LPARAM lCustData = 0;
  LPOFNHOOKPROC lpfnHook = nullptr;
  LPCWSTR lpTemplateName = nullptr;
  void* pvReserved = nullptr;
  DWORD dwReserved = 0;
  DWORD FlagsEx = 0;
};
using OPENFILENAMEA = OPENFILENAMEW;

// The WM_NOTIFY record of the explorer dialog's notifications.
struct OFNOTIFYW {
  NMHDR hdr;
  OPENFILENAMEW* lpOFN = nullptr;
  LPWSTR pszFile = nullptr;
};

// TRUE when the person confirmed names (lpstrFile holds them: one full path,
// or for several the folder and then the names, NUL-separated and ended by
// a second NUL; an old-style dialog separates them by spaces). FALSE on
// Cancel (CommDlgExtendedError 0) or an error.
BOOL GetOpenFileNameW(OPENFILENAMEW* lpofn);
BOOL GetSaveFileNameW(OPENFILENAMEW* lpofn);
BOOL GetOpenFileNameA(OPENFILENAMEA* lpofn);
BOOL GetSaveFileNameA(OPENFILENAMEA* lpofn);
// The error of the calling thread's last file dialog; 0 after a cancel.
DWORD CommDlgExtendedError();

namespace VXHeadless {

// One shown file dialog, as its script sees it. The dialog's notifications
// reach the caller's hook while the script acts.
class TVXFileDialogRun {
 public:
  virtual ~TVXFileDialogRun() = default;
  // The visible dialog window.
  virtual HWND Window() const = 0;
  // The folder shown, without a trailing '/' (except the root).
  virtual std::string Folder() const = 0;
  // Opens a folder (relative ones from the current folder): CDN_FOLDERCHANGE.
  // False when it is not a folder.
  virtual bool ChangeFolder(const std::string& Path) = 0;
  // Selects names of the folder: they fill the file-name box (several as
  // "a" "b"), then CDN_SELCHANGE.
  virtual void SelectFiles(const std::vector<std::string>& Names) = 0;
  // Types into the file-name box (no notification).
  virtual void TypeName(const std::string& Text) = 0;
  virtual std::string NameText() const = 0;
  // Chooses the filter Index (1-based): CDN_TYPECHANGE. False for an index
  // the filter list lacks.
  virtual bool SelectFilter(int Index) = 0;
  // Presses Open or Save: the names of the box are checked (existence, the
  // prompts), written to the caller's record and offered with CDN_FILEOK.
  // True when the dialog closed with them; false when a check, a prompt or
  // the hook's veto keeps it open, or when the names did not fit nMaxFile
  // (then the dialog has failed with FNERR_BUFFERTOOSMALL).
  virtual bool Accept() = 0;
  virtual void Cancel() = 0;
  // The WM_COMMAND ids the shell view has received so far.
  virtual std::vector<WPARAM> ViewCommands() const = 0;
};

using TVXFileDialogHandler = std::function<void(TVXFileDialogRun& Run)>;
// Queues the script of one file dialog run (first in, first run).
void OnFileDialog(TVXFileDialogHandler Handler);
// Queues the answers of the file dialogs' prompts (create, overwrite): yes
// or no, in order. A prompt without an answer is answered no.
void AnswerFilePrompt(bool Yes);
// The prompts shown so far, their texts.
std::vector<std::string> FilePrompts();
// Forgets the queued scripts, answers and prompts.
void ResetFileDialogs();

}  // namespace VXHeadless
