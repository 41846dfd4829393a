// TVexlaneIO's dialogs: the save-parameters preview, the open and save file
// dialogs and the print-preview dialogs, all reached through the dialog
// seam (io/dialog_hooks.h) that the dialogs library fills at start-up.

#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "gui/printers.h"
#include "io/dialog_hooks.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "winui/win_msgbox.h"

constinit TVXIODialogHooks VXIODialogHooks;

namespace {

// The hook's dialog, or EVXException naming it when the dialogs library is
// not there or made none.
template <class T, class Make, class... Args>
std::unique_ptr<T> MakeDialog(Make Factory, const char* Name, Args... args) {
  if (!Factory) throw EVXException(std::string("The ") + Name + " needs the dialogs library, which is not linked");
  std::unique_ptr<T> dialog = Factory(args...);
  if (!dialog) throw EVXException(std::string("The dialogs library made no ") + Name);
  return dialog;
}

// Both file dialogs: made, set up, run and read back. Save: attached to the
// component and listing images only; a confirmed open dialog sets the frame
// picked in its preview as the image index.
std::string RunFileDialog(TVexlaneIO* IO, bool Save, const std::string& InitialDir,
                          const std::string& InitialFileName, bool AlwaysAnimate, int32_t FilterIndex,
                          const std::string& ExtendedFilters, const std::string& Title, const std::string& Filter,
                          int32_t DefaultFilter, int32_t LimitToFileType) {
  std::unique_ptr<TVXIOFileDialog> dialog =
      Save ? MakeDialog<TVXIOFileDialog>(VXIODialogHooks.CreateSaveDialog, "save dialog (TSaveVexlaneDialog)", IO)
           : MakeDialog<TVXIOFileDialog>(VXIODialogHooks.CreateOpenDialog, "open dialog (TOpenVexlaneDialog)", IO);
  TVXFileDialogSetup setup;
  setup.InitialDir = InitialDir;
  setup.FileName = InitialFileName;
  setup.AlwaysAnimate = AlwaysAnimate;
  setup.EnableSizing = true;
  setup.AutoSetFilter = Filter.empty();
  setup.Filter = Filter;
  setup.AutoSetFilterFileType = LimitToFileType;
  setup.PreviewBorderStyle = vxpsSoftShadow;
  setup.FilterDefault = DefaultFilter;
  setup.FilterIndex = FilterIndex;
  setup.AutoAdjustDPI = IO->AutoAdjustDPI();
  setup.FilteredAdjustDPI = IO->FilteredAdjustDPI();
  setup.ExtendedFilters = ExtendedFilters;
  setup.Title = Title;
  if (Save) {
    setup.AttachedVexlaneIO = IO;
    setup.ShowFormats = vxsfImagesOnly;
  }
  dialog->Setup(setup);
  if (!dialog->Execute()) return std::string();
  if (!Save) IO->Params().SetImageIndex(dialog->SelectedFrame());
  return dialog->FileNameW();
}

// The current printer selected again, with its copies, orientation and
// title kept; raises when there is no printer.
void ReselectPrinter() {
  TPrinter* p = Printer();
  const int copies = p->Copies();
  const TPrinterOrientation orientation = p->Orientation();
  const std::string title = p->Title();
  p->Refresh();
  const int index = p->PrinterIndex();
  if (index < 0) throw EPrinter("No printer is configured");
  p->SetPrinterIndex(index);
  p->SetCopies(copies);
  p->SetOrientation(orientation);
  p->SetTitle(title);
}

}  // namespace

void TVexlaneIO::SetPreviewFont(TFont* Value) { fPreviewFont->Assign(Value); }

bool TVexlaneIO::DoPreviews(TPreviewParams pp) {
  if (OnDoPreviews) {
    bool handled = false;
    OnDoPreviews(this, handled);
    if (handled) return true;
  }
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) return false;
  if (fVXBitmap->PixelFormat() != vx24RGB && fVXBitmap->PixelFormat() != vx1g) fVXBitmap->SetPixelFormat(vx24RGB);
  std::unique_ptr<TVXIOPreviewsDialog> dialog = MakeDialog<TVXIOPreviewsDialog>(
      VXIODialogHooks.CreatePreviewsDialog, "save-parameters preview dialog (TfIOPreviews)", this);
  // The form lets go of the target and is released however the run ends.
  struct TRelease {
    std::unique_ptr<TVXIOPreviewsDialog>& Dialog;
    ~TRelease() {
      if (!Dialog) return;
      Dialog->DetachTarget();
      Dialog.reset();
    }
  } release{dialog};

  TVXIOPreviewsSetup setup;
  setup.DefaultLockPreview = fPreviewsParams & (1u << ioppDefaultLockPreview);
  setup.ApplyButton = fPreviewsParams & (1u << ioppApplyButton);
  setup.Params = fParams.get();
  setup.Simplified = fSimplifiedParamsDialogs;
  setup.DitherMethod = fDefaultDitherMethod;
  setup.Font = fPreviewFontEnabled ? fPreviewFont.get() : VXGetDefaultDialogFont();
  setup.Target = fVXBitmap;
  setup.Viewer = fVexlaneView;
  dialog->Setup(setup);
  bool result = false;
  if (dialog->SetPreviewParams(pp)) {
    if (OnIOPreview) OnIOPreview(this, dialog->Form());
    result = dialog->ShowModal();
  }
  dialog->DetachTarget();
  dialog.reset();
  Update();
  return result;
}

std::string TVexlaneIO::ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                          bool AlwaysAnimate, int32_t FilterIndex, const std::string& ExtendedFilters,
                                          const std::string& Title, const std::string& Filter, int32_t DefaultFilter,
                                          int32_t LimitToFileType) {
  return RunFileDialog(this, false, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex, ExtendedFilters, Title,
                       Filter, DefaultFilter, LimitToFileType);
}

std::string TVexlaneIO::ExecuteOpenDialog(const std::string& Title, int32_t DefaultFilter, int32_t LimitToFileType,
                                          bool AlwaysAnimate) {
  return ExecuteOpenDialog("", "", AlwaysAnimate, 0, "", Title, "", DefaultFilter, LimitToFileType);
}

std::string TVexlaneIO::ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                          bool AlwaysAnimate, int32_t FilterIndex, const std::string& ExtendedFilters,
                                          const std::string& Title, const std::string& Filter, int32_t DefaultFilter,
                                          int32_t LimitToFileType) {
  return RunFileDialog(this, true, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex, ExtendedFilters, Title,
                       Filter, DefaultFilter, LimitToFileType);
}

std::string TVexlaneIO::ExecuteSaveDialog(const std::string& Title, int32_t DefaultFilter, int32_t LimitToFileType,
                                          bool AlwaysAnimate) {
  return ExecuteSaveDialog("", "", AlwaysAnimate, 0, "", Title, "", DefaultFilter, LimitToFileType);
}

bool TVexlaneIO::DoPrintPreviewDialog(TVXDialogType DialogType, const std::string& TaskName, bool PrintAnnotations,
                                      const std::string& Caption) {
  if (fResetPrinter) {
    try {
      ReselectPrinter();
    } catch (const std::exception&) {
      MessageBoxW(nullptr,
                  "The Print Preview could not be displayed because a printer has not been configured on this "
                  "computer.",
                  "Error", MB_OK | MB_ICONERROR);
      return false;
    }
  }
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) return false;
  if (fVXBitmap->Width() <= 1 && fVXBitmap->Height() < 2) return false;
  std::unique_ptr<TVXIOPrintPreviewDialog> dialog = MakeDialog<TVXIOPrintPreviewDialog>(
      VXIODialogHooks.CreatePrintPreviewDialog,
      DialogType == vxdtMaxi ? "print preview dialog (TfvxPrnForm1)" : "print preview dialog (TfvxPrnForm2)", this,
      DialogType);
  TVXPrintPreviewSetup setup;
  setup.IO = this;
  setup.MeasureUnit = fDialogsMeasureUnit;
  setup.Font = fPreviewFontEnabled ? fPreviewFont.get() : VXGetDefaultDialogFont();
  setup.TaskName = TaskName;
  setup.PrintPreviewParams = &fPrintPreviewParams;
  setup.PrintAnnotations = PrintAnnotations;
  setup.Caption = Caption;
  dialog->Setup(setup);
  if (OnIOPreview) OnIOPreview(this, dialog->Form());
  return dialog->ShowModal();
}
