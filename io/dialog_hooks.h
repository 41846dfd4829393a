#pragma once
// The dialogs the I/O component opens, as the component reaches them.
//
// The save-parameters preview dialog, the open and save file dialogs and the
// print-preview dialogs live in the dialogs library, far above the I/O
// library: its start-up fills VXIODialogHooks with one factory per dialog.
// The component makes a dialog for one call, hands it what it needs
// (Setup), lets OnIOPreview see the form where it has one, runs it modally,
// reads the outcome back and frees it. An empty slot means that the dialogs
// library is not linked: the call raises EVXException naming the dialog.

#include <cstdint>
#include <memory>
#include <string>

#include "core/pixels.h"
#include "core/vxdefs.h"
#include "io/fileformats.h"

class TFont;
class TVXBitmap;
class TVXViewHost;
class TIOParamsVals;
class TIOPrintPreviewParams;
class TVexlaneIO;

// Options of the save-parameters preview dialog: bit n stands for
// TIOPreviewsParam n.
enum TIOPreviewsParam { ioppDefaultLockPreview, ioppApplyButton };
using TIOPreviewsParams = uint8_t;

// How the open dialog's preview frames the picture.
enum TVXDBorderStyle { vxpsDefault, vxpsCropped, vxpsCropShadow, vxpsSoftShadow };
// Which entries a file dialog's own filter lists.
enum TVXShowFormats { vxsfImagesAndVideos, vxsfImagesOnly, vxsfVideosOnly, vxsfAllOnly };

// The length unit of the print dialogs.
enum TVXDialogsMeasureUnit { vxduInches, vxduCm, vxduSelectableDefInches, vxduSelectableDefCm };
// The print-preview dialog's kind: dialog-sized, or full-screen at the
// screen's top-left corner.
enum TVXDialogType { vxdtDialog, vxdtMaxi };

// ---- the save-parameters preview dialog ----

// What DoPreviews hands the form before its pages are prepared.
struct TVXIOPreviewsSetup {
  bool DefaultLockPreview = false;  // ioppDefaultLockPreview in PreviewsParams
  bool ApplyButton = false;         // the "Apply" button visible
  // The component's parameters, which the dialog edits in place.
  TIOParamsVals* Params = nullptr;
  bool Simplified = true;
  TVXDitherMethod DitherMethod = vxThreshold;
  // The font the form takes: the component's preview font or the default
  // dialog font (never null).
  TFont* Font = nullptr;
  // The target itself (vx24RGB or vx1g), which the source viewer shows
  // without copying it until DetachTarget.
  TVXBitmap* Target = nullptr;
  // The viewer the component is attached to, or null: a single-image viewer
  // lends its mouse-wheel settings to the source and preview viewers.
  TVXViewHost* Viewer = nullptr;
};

class TVXIOPreviewsDialog {
 public:
  TVXIOPreviewsDialog() = default;
  virtual ~TVXIOPreviewsDialog() = default;  // releases the form
  TVXIOPreviewsDialog(const TVXIOPreviewsDialog&) = delete;
  TVXIOPreviewsDialog& operator=(const TVXIOPreviewsDialog&) = delete;

  // Takes the setup (captions in the current language), shows the target in
  // the source viewer, refreshes it and clears the preview viewer.
  virtual void Setup(const TVXIOPreviewsSetup& Values) = 0;
  // Prepares the option pages of pp; false when there is nothing to show.
  virtual bool SetPreviewParams(TPreviewParams pp) = 0;
  // The form, as OnIOPreview receives it.
  virtual void* Form() = 0;
  // Shows the form modally; true when it closed with OK.
  virtual bool ShowModal() = 0;
  // The source viewer lets go of the target.
  virtual void DetachTarget() = 0;
};

// ---- the open and save file dialogs ----

// What ExecuteOpenDialog and ExecuteSaveDialog hand the dialog.
struct TVXFileDialogSetup {
  std::string InitialDir;
  std::string FileName;
  bool AlwaysAnimate = false;
  // ofEnableSizing is added to the dialog's options.
  bool EnableSizing = true;
  // False with the caller's Filter, which the dialog then shows as given;
  // true: the dialog builds its filter from the file-format registry.
  bool AutoSetFilter = true;
  std::string Filter;
  int32_t AutoSetFilterFileType = -1;
  TVXDBorderStyle PreviewBorderStyle = vxpsSoftShadow;
  int32_t FilterDefault = 0;
  int32_t FilterIndex = 0;
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;
  std::string ExtendedFilters;
  // Empty: the dialog keeps its own title.
  std::string Title;
  // The save dialog only: the component whose save options the dialog shows
  // and edits, and the entries of its own filter.
  TVexlaneIO* AttachedVexlaneIO = nullptr;
  TVXShowFormats ShowFormats = vxsfImagesAndVideos;
};

class TVXIOFileDialog {
 public:
  TVXIOFileDialog() = default;
  virtual ~TVXIOFileDialog() = default;
  TVXIOFileDialog(const TVXIOFileDialog&) = delete;
  TVXIOFileDialog& operator=(const TVXIOFileDialog&) = delete;

  virtual void Setup(const TVXFileDialogSetup& Values) = 0;
  // Runs the dialog; true when the user confirmed a name.
  virtual bool Execute() = 0;
  // After a confirmed run: the chosen name and, for the open dialog, the
  // frame picked in a multi-frame preview (0 otherwise).
  virtual std::string FileNameW() const = 0;
  virtual int32_t SelectedFrame() const = 0;
};

// ---- the print-preview dialogs ----

struct TVXPrintPreviewSetup {
  TVexlaneIO* IO = nullptr;
  TVXDialogsMeasureUnit MeasureUnit = vxduInches;
  // The component's preview font or the default dialog font (never null).
  TFont* Font = nullptr;
  std::string TaskName;
  // The component's settings object itself, which the dialog reads and keeps.
  TIOPrintPreviewParams* PrintPreviewParams = nullptr;
  bool PrintAnnotations = false;
  // Empty: the dialog's caption is the word "Print" of the current language.
  std::string Caption;
};

class TVXIOPrintPreviewDialog {
 public:
  TVXIOPrintPreviewDialog() = default;
  virtual ~TVXIOPrintPreviewDialog() = default;  // releases the form
  TVXIOPrintPreviewDialog(const TVXIOPrintPreviewDialog&) = delete;
  TVXIOPrintPreviewDialog& operator=(const TVXIOPrintPreviewDialog&) = delete;

  // Takes the setup (words in the current language).
  virtual void Setup(const TVXPrintPreviewSetup& Values) = 0;
  virtual void* Form() = 0;
  // Shows the form modally; true when it closed with OK.
  virtual bool ShowModal() = 0;
};

struct TVXIODialogHooks {
  // A new dialog for one call of Owner's.
  std::unique_ptr<TVXIOPreviewsDialog> (*CreatePreviewsDialog)(TVexlaneIO* Owner) = nullptr;
  std::unique_ptr<TVXIOFileDialog> (*CreateOpenDialog)(TVexlaneIO* Owner) = nullptr;
  std::unique_ptr<TVXIOFileDialog> (*CreateSaveDialog)(TVexlaneIO* Owner) = nullptr;
  std::unique_ptr<TVXIOPrintPreviewDialog> (*CreatePrintPreviewDialog)(TVexlaneIO* Owner,
                                                                       TVXDialogType DialogType) = nullptr;
};

extern constinit TVXIODialogHooks VXIODialogHooks;
