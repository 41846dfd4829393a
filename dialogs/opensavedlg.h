// The library's file dialogs: the hooked system dialog's base
// (TVXCommonDialog) and the open dialog (TOpenVexlaneDialog) with the filter
// list it builds from the file-format registry.
//
// Built so far: the properties, the shell view commands by system, and the
// open dialog's filter (BuildStrFilter, FindFilterIndex,
// FilterIndexOfFileType). Running the system dialog comes with the window
// layer's file dialog.
#pragma once

#include <cstdint>
#include <string>

#include "core/vxdefs.h"
#include "gui/component.h"
#include "gui/dialogs.h"
#include "io/dialog_hooks.h"

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

 protected:
  HWND FHandle = nullptr;

 private:
  bool FCtl3D = true;
  int32_t FHelpContext = 0;
  bool fShowPlacesBar = true;
  TVXCommonDialogView FFileView = vxdvDefault;
  bool fExtendedDialog = true;
};

// The preview panel's size.
enum TVXPreviewSize { vxspDefault, vxspTall, vxspLarge };

class TOpenVexlaneDialog : public TVXCommonDialog {
 public:
  // The filter is built from the registry at once (LimitToType -1).
  explicit TOpenVexlaneDialog(TComponent* AOwner = nullptr);

  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value) { FDefaultExt = Value; }
  const std::string& FileNameW() const { return FFileNameW; }
  void SetFileNameW(const std::string& Value) { FFileNameW = Value; }
  const std::string& FileName() const { return FileNameW(); }
  void SetFileName(const std::string& Value) { FFileNameW = Value; }
  // Pairs of description and pattern list, all parts joined by "|".
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& Value) { FFilter = Value; }
  // 1-based.
  int32_t FilterIndex() const { return FFilterIndex; }
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
  // bMultiFrameSaveOnly matters to the save dialog only.
  std::string BuildStrFilter(int32_t LimitToType, bool bMultiFrameSaveOnly);
  // The 1-based index of the filter whose patterns hold the extension Ext
  // (with its dot; compared in lower case); 1 when none does.
  int32_t FindFilterIndex(const std::string& Ext) const;
  // FindFilterIndex of the type's first extension; 0 when it has none.
  int32_t FilterIndexOfFileType(int32_t FileType) const;

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
