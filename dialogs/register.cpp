// The dialogs library's start-up, linked into every program that uses the
// library: the file dialogs' templates become resources of the program, and
// the processing component's preview dialog is the library's TfPreviews.
#include "dialogs/dialogtemplates.h"
#include "dialogs/previews.h"
#include "proc/previews_hooks.h"

namespace {

const bool templatesRegistered = (VXRegisterFileDialogTemplates(), true);
const bool previewsRegistered = (VXPreviewsHooks.CreatePreviewsDialog = &VXCreatePreviewsDialog, true);

}  // namespace
