// The processing module's entries in the library start-up and shut-down. This
// object is linked into every program that uses the processing library (not
// only pulled from the archive on demand), so its slots are filled before main
// runs.
#include "core/startup.h"
#include "proc/proc.h"

namespace {

const bool registered = (VXLibraryHooks.ProcStartup = &VXProcUnitInit,
                         VXLibraryHooks.ProcShutdown = &VXProcUnitFinal, true);

}  // namespace
