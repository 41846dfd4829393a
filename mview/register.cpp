// The thumbnail viewer module's entries in the library start-up and
// shut-down: the preset frames list, built after the I/O module has started.
#include "core/startup.h"
#include "mview/presetimages.h"

namespace {

const bool registered = (VXLibraryHooks.ThumbFramesStartup = &VXInitializePresetImages,
                         VXLibraryHooks.ThumbFramesShutdown = &VXFinalizePresetImages, true);

}  // namespace
