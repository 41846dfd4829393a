// The viewer module's entries in the library start-up and shut-down. This
// object is linked into every program that uses the viewer library, so its
// slots are filled before main runs.
#include "core/startup.h"
#include "proc/transition_hooks.h"
#include "view/transitions.h"
#include "view/viewunit.h"

namespace {

const bool registered = (VXLibraryHooks.ViewStartup = &StartUpViewUnit,
                         VXLibraryHooks.ViewShutdown = &ShutDownViewUnit,
                         VXTransitionHooks.CreateFrameMaker = &VXCreateTransitionFrameMaker, true);

}  // namespace
