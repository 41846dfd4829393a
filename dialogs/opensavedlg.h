// The library's file dialogs: the hooked system dialog's base
// (TVXCommonDialog) and the open dialog (TOpenVexlaneDialog) with the filter
// list it builds from the file-format registry.
//
// The system dialog runs task-modal with a hook that centres it and
// subclasses the hooked window, so that every message it receives passes
// through the object (HandleMessage). The open dialog's preview panel is
// not built yet: the dialog acts as one without preview.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/containers.h"
#include "core/vxdefs.h"
#include "gui/classes.h"
#include "gui/component.h"
#include "gui/controls.h"
#include "gui/dialogs.h"
#include "gui/extctrls.h"
#include "gui/forms.h"
#include "io/dialog_hooks.h"
#include "winui/win_filedlg.h"

// The shell file list's view mode that the dialog sets at each folder change.
enum TVXCommonDialogView {
  vxdvDefault,
  vxdvSmallIcons,
  vxdvMediumIcons,
  vxdvLargeIcons,
  vxdvExtraLargeIcons,
  vxdvTiles,
  vxdvList,
  vxdvDetails
};

class TVXCommonDialog : public TComponent {
 public:
  explicit TVXCommonDialog(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  ~TVXCommonDialog() override;

  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value) { FCtl3D = Value; }
  int32_t HelpContext() const { return FHelpContext; }
  void SetHelpContext(int32_t Value) { FHelpContext = Value; }
  bool ShowPlacesBar() const { return fShowPlacesBar; }
  void SetShowPlacesBar(bool Value) { fShowPlacesBar = Value; }
  TVXCommonDialogView FileView() const { return FFileView; }
  void SetFileView(TVXCommonDialogView Value) { FFileView = Value; }
  bool ExtendedDialog() const { return fExtendedDialog; }
  void SetExtendedDialog(bool Value) { fExtendedDialog = Value; }
  // The hooked dialog window while the dialog is shown, else null.
  HWND Handle() const { return FHandle; }
  TNotifyEvent OnClose;
  TNotifyEvent OnShow;

  // The WM_COMMAND id that puts the shell's file list into View on the
  // system OS; -1 when nothing is to be sent (vxdvDefault, and every mode
  // on Windows 95, 98, ME and NT 4).
  static int32_t ViewCommand(TVXCommonDialogView View, TVXOpSys OS);

  // Runs the dialog; true when the user confirmed it.
  virtual bool Execute() = 0;

  // The hooks given to the system dialog: the old-style one centres the
  // dialog at WM_INITDIALOG, the explorer one centres the visible dialog
  // (the hooked window's parent) at CDN_INITDONE; both subclass the hooked
  // window at WM_INITDIALOG.
  static UINT_PTR VXClassicDialogHook(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  static UINT_PTR VXExplorerDialogHook(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

 protected:
  // The hooked window's messages: the handlers below, then DefaultHandler;
  // at each CDN_FOLDERCHANGE the shell view gets FileView's command.
  virtual void HandleMessage(TMessage& Message);
  // The application window's hook while the dialog runs: the
  // "commdlg_help" message opens the help of HelpContext.
  virtual bool HandleHelpMessage(TMessage& Message);
  // Calls the system dialog (Call) task-modal: the other windows disabled,
  // the help hook on the application window, the floating-point
  // environment saved; all of it restored however the call ends.
  virtual bool RunModal(const std::function<BOOL()>& Call);
  // The previous window procedure of the hooked window, else the
  // component's own handling (nothing).
  void DefaultHandler(TMessage& Message);
  virtual void NotifyClose();
  virtual void NotifyShow();

  HWND FHandle = nullptr;
  WNDPROC FDefWndProc = nullptr;
  // The name of the template resource the system dialog takes; empty: none.
  std::string FTemplate;
  // Polls while the dialog is shown; made by the save dialog.
  TTimer* fWatchTimer = nullptr;

 private:
  bool FCtl3D = true;
  int32_t FHelpContext = 0;
  bool fShowPlacesBar = true;
  TVXCommonDialogView FFileView = vxdvDefault;
  bool fExtendedDialog = true;
  // The procedure the hooked window is subclassed with: it finds the object
  // by the window and hands it the message inside an exception guard.
  static LRESULT ObjectWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  static void Subclass(HWND Wnd, WPARAM WParam, LPARAM LParam);
};

// Stored only.
enum TFileEditStyle { fsEdit, fsComboBox };

// The preview panel's size.
enum TVXPreviewSize { vxspDefault, vxspTall, vxspLarge };

class TOpenVexlaneDialog : public TVXCommonDialog {
 public:
  // The filter is built from the registry at once (LimitToType -1).
  explicit TOpenVexlaneDialog(TComponent* AOwner = nullptr);

  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value) { FDefaultExt = Value; }
  ~TOpenVexlaneDialog() override;
  // While the dialog is shown, the path it shows (read again at the size
  // the dialog reports when it is longer than 260 characters); else the
  // stored name.
  std::string FileNameW() const;
  void SetFileNameW(const std::string& Value) { FFileNameW = Value; }
  std::string FileName() const { return FileNameW(); }
  void SetFileName(const std::string& Value) { FFileNameW = Value; }
  // The chosen names of the last confirmed run.
  TStrings* Files() const { return FFiles.get(); }
  TVXWideStrings* FilesW() const { return FFilesW.get(); }
  TStrings* HistoryList() const { return FHistoryList.get(); }
  void SetHistoryList(TStrings* Value);
  TFileEditStyle FileEditStyle() const { return FFileEditStyle; }
  void SetFileEditStyle(TFileEditStyle Value) { FFileEditStyle = Value; }
  // Pairs of description and pattern list, all parts joined by "|".
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& Value) { FFilter = Value; }
  // 1-based; while the dialog is shown, the filter it shows.
  int32_t FilterIndex() const { return FHandle ? FCurrentFilterIndex : FFilterIndex; }
  void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
  // The file type whose filter is preselected when no name is given.
  int32_t FilterDefault() const { return FFilterDefault; }
  void SetFilterDefault(int32_t Value) { FFilterDefault = Value; }
  const std::string& InitialDir() const { return FInitialDir; }
  // Stored without one trailing '/', except the root "/" itself.
  void SetInitialDir(const std::string& Value);
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions Value) { FOptions = Value; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  bool AutoSetFilter() const { return fAutoSetFilter; }
  void SetAutoSetFilter(bool Value) { fAutoSetFilter = Value; }
  int32_t AutoSetFilterFileType() const { return fAutoSetFilterFileType; }
  void SetAutoSetFilterFileType(int32_t Value) { fAutoSetFilterFileType = Value; }
  bool AlwaysAnimate() const { return fAlwaysAnimate; }
  // True also sets ShowAllFrames.
  void SetAlwaysAnimate(bool Value);
  TVXDBorderStyle PreviewBorderStyle() const { return fPreviewBorderStyle; }
  void SetPreviewBorderStyle(TVXDBorderStyle Value) { fPreviewBorderStyle = Value; }
  bool AutoAdjustDPI() const { return fAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { fAutoAdjustDPI = Value; }
  bool FilteredAdjustDPI() const { return fFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { fFilteredAdjustDPI = Value; }
  bool GetExifThumbnail() const { return fGetExifThumbnail; }
  void SetGetExifThumbnail(bool Value) { fGetExifThumbnail = Value; }
  bool ShowAllFrames() const { return fShowAllFrames; }
  void SetShowAllFrames(bool Value) { fShowAllFrames = Value; }
  TVXShowFormats ShowFormats() const { return fShowFormats; }
  void SetShowFormats(TVXShowFormats Value) { fShowFormats = Value; }
  TVXPreviewSize PreviewSize() const { return FPreviewSize; }
  void SetPreviewSize(TVXPreviewSize Value) { FPreviewSize = Value; }
  const std::string& ExtendedFilters() const { return fExtendedFilters; }
  void SetExtendedFilters(const std::string& Value) { fExtendedFilters = Value; }
  int32_t SelectedFrame() const { return fSelectedFrame; }
  void SetSelectedFrame(int32_t Value) { fSelectedFrame = Value; }

  // The filter list from the registry's readable formats (JPEG first), the
  // videos unless ShowFormats is vxsfImagesOnly, and ExtendedFilters;
  // headed by the all-formats pair (unless vxsfAllOnly) and "All Files".
  // LimitToType: a file type whose pair goes first, or -1.
  // The save dialog lists the writable formats instead (JPEG first; with
  // bMultiFrameSaveOnly those saving several frames), the AVI pair and
  // ExtendedFilters, without the two pairs of all files; LimitToType gives
  // that type's pair and the extended ones.
  std::string BuildStrFilter(int32_t LimitToType, bool bMultiFrameSaveOnly);
  // The 1-based index of the filter whose patterns hold the extension Ext
  // (with its dot; compared in lower case; the open dialog skips the
  // all-formats list and the description); 1 when none does.
  int32_t FindFilterIndex(const std::string& Ext) const;
  // FindFilterIndex of the type's first extension; 0 when it has none.
  int32_t FilterIndexOfFileType(int32_t FileType) const;

  // Runs the open dialog (the 8-bit system function when the settings say
  // the system is not Unicode).
  bool Execute() override;
  // Where the system's controls are, in the client pixels of Handle: the
  // client area of an old-style dialog, control 1119 of the template of an
  // explorer one; empty without Handle.
  virtual TRect GetPlaceholderRect() const;
  // The name typed or selected in the dialog (CDM_GETSPEC).
  std::string GetCurrentSpec() const;
  // The file-name box's text after the folder of FileName; FileNameW
  // outside the dialog.
  std::string GetTypedFileName() const;

  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnFolderChange;
  TNotifyEvent OnTypeChange;
  TCloseQueryEvent OnCanClose;
  TNotifyEvent OnCreateCustomControls;
  TNotifyEvent OnDestroyCustomControls;

 protected:
  void HandleMessage(TMessage& Message) override;
  // Runs the system dialog (SystemFunction: GetOpenFileNameW or
  // GetSaveFileNameW, or their 8-bit forms when Ansi) with every field set
  // from the properties; on success the names, flags and filter index are
  // read back.
  bool RunSystemDialog(BOOL (*SystemFunction)(OPENFILENAMEW*), bool Ansi);
  void CollectFileNames(const OPENFILENAMEW& Ofn, bool Ansi);
  virtual bool CanCloseDialog();
  virtual void SelectionChanged();
  virtual void FolderChanged();
  virtual void TypeChanged();
  // The pattern list of filter Index (1-based); empty when there is none.
  std::string FilterPatterns(int32_t Index) const;
  bool Explorer() const;
  // Whether the filter builder lists writable formats (the save dialog).
  virtual bool IsSaveDialog() const { return false; }

  std::string fSelType;
  int32_t FCurrentFilterIndex = 1;
  OPENFILENAMEW* OpenFileNameExShadow = nullptr;

 private:
  // Sends a CDM_ query to the visible dialog, reading again when the
  // answer is longer than the first buffer.
  std::string QueryDialog(UINT Msg) const;
  std::unique_ptr<TStrings> FFiles, FHistoryList;
  std::unique_ptr<TVXWideStrings> FFilesW;
  TFileEditStyle FFileEditStyle = fsEdit;
  bool fAnsiRun = false;
  // Storage the system dialog reads while it is shown.
  std::string fFilterBuffer, fInitialDirBuffer, fTitleBuffer, fDefExtBuffer, fTypeDefExt, fTemplateBuffer;
  std::vector<char> fFileBuffer;

 private:
  std::string FDefaultExt, FFileNameW, FFilter, FInitialDir, FTitle;
  int32_t FFilterIndex = 1;
  int32_t FFilterDefault = -1;
  TOpenOptions FOptions = VXOpenOptionBit(ofHideReadOnly);
  bool fAutoSetFilter = true;
  int32_t fAutoSetFilterFileType = -1;
  bool fAlwaysAnimate = false;
  TVXDBorderStyle fPreviewBorderStyle = vxpsDefault;
  bool fAutoAdjustDPI = false, fFilteredAdjustDPI = false, fGetExifThumbnail = false;
  bool fShowAllFrames = true;
  TVXShowFormats fShowFormats = vxsfImagesAndVideos;
  TVXPreviewSize FPreviewSize = vxspDefault;
  std::string fExtendedFilters;
  int32_t fSelectedFrame = 0;
};

// Fills the open-dialog entry of the I/O component's dialog seam
// (VXIODialogHooks); the dialogs library's start-up does.
void VXRegisterOpenDialogSeam();
