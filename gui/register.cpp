// The GUI library's start-up: its cursor resources are registered before
// main runs. This object is linked into every program that uses the library.
#include "gui/cursors.h"

namespace {

const bool registered = (VXRegisterCursorResources(), true);

}  // namespace
