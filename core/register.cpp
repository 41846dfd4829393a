// The core's entries in the library start-up and shut-down. This object is
// linked into every program that uses the core (not only pulled from the
// archive on demand), so its slots are filled before main runs.
#include "core/blend.h"
#include "core/gdiplus.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/vision.h"

namespace {

// The start-up clears the GDI+ loader's state and builds the cosine table of the blend operations; the shut-down
// frees the dialog font and releases the vision library's second slot, then unloads it.
const bool registered = (VXLibraryHooks.GDIPlusStartup = &VXStartUpGDIPlusUnit,
                         VXLibraryHooks.GDIPlusShutdown = &VXShutDownGDIPlusUnit,
                         VXLibraryHooks.BlendCosineTable = &VXBuildCosineTable,
                         VXLibraryHooks.FreeDefaultDialogFont = &VXFreeDefaultDialogFont,
                         VXLibraryHooks.VisionSecondSlotRelease = &VXReleaseSecondVisionLibrary,
                         VXLibraryHooks.VisionUnload = &VXUnloadVisionLibrary, true);

}  // namespace
