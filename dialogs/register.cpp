// The dialogs library's start-up, linked into every program that uses the
// library: the file dialogs' templates become resources of the program.
#include "dialogs/dialogtemplates.h"

namespace {

const bool templatesRegistered = (VXRegisterFileDialogTemplates(), true);

}  // namespace
