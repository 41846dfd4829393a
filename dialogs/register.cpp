// The dialogs library's start-up, linked into every program that uses the
// library: the file dialogs' templates become resources of the program, the
// processing component's preview dialog is the library's TfPreviews, the
// I/O component's save-parameters preview is TfIOPreviews, and
// the I/O component's open dialog is the library's TOpenVexlaneDialog.
#include "dialogs/dialogtemplates.h"
#include "dialogs/iopreviews.h"
#include "dialogs/opensavedlg.h"
#include "dialogs/previews.h"
#include "io/dialog_hooks.h"
#include "proc/previews_hooks.h"

namespace {

const bool templatesRegistered = (VXRegisterFileDialogTemplates(), true);
const bool previewsRegistered = (VXPreviewsHooks.CreatePreviewsDialog = &VXCreatePreviewsDialog, true);
const bool ioPreviewsRegistered = (VXIODialogHooks.CreatePreviewsDialog = &VXCreateIOPreviewsDialog, true);
const bool openDialogRegistered = (VXRegisterOpenDialogSeam(), true);

}  // namespace
