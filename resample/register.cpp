// The resampling module's entries in the library start-up and shut-down. This
// object is linked into every program that uses the resampling library (not
// only pulled from the archive on demand), so its slots are filled before main
// runs.
#include "core/startup.h"
#include "resample/resample.h"

namespace {

const bool registered = (VXLibraryHooks.ResampleStartup = &VXRegisterResampleHooks,
                         VXLibraryHooks.ResampleShutdown = &VXUnregisterResampleHooks, true);

}  // namespace
