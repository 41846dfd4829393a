// The I/O module's entries in the library start-up and shut-down. This object
// is linked into every program that uses the I/O library (not only pulled from
// the archive on demand), so its slots are filled before main runs.
#include "core/settings.h"
#include "core/startup.h"
#include "io/cmyk.h"
#include "io/vexlaneio.h"

namespace {

const bool registered = (VXRegisterBitmapIOHooks(), VXLibraryHooks.IOStartup = &VXStartUpIOUnit,
                         VXLibraryHooks.IOShutdown = &VXShutDownIOUnit,
                         // The settings report this converter until another one is assigned.
                         VXDefaultConvertColorHook = &VXDefaultConvertColor, true);

}  // namespace
