// The vector-object module's entries in the library start-up and shut-down,
// and its codec module (the object stream's probe). This object is linked
// into every program that uses the library, so the slots are filled before
// main runs.
#include "core/startup.h"
#include "io/codec_table.h"
#include "vect/vectunit.h"

namespace {

const bool registered = (VXLibraryHooks.VectStartup = &StartUpVectUnit,
                         VXLibraryHooks.VectShutdown = &ShutDownVectUnit,
                         VXLibraryHooks.TextControlStartup = &StartUpTextControlUnit,
                         VXLibraryHooks.TextControlShutdown = &ShutDownTextControlUnit,
                         VXAddCodecModule(&VXVectCodecsStartup, &VXVectCodecsShutdown), true);

}  // namespace
