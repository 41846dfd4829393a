// Start-up and shut-down of the I/O module, run by the library start-up in its
// fixed order. The LZW coders, the file-format registry, the Internet functions
// and the I/O plug-ins are not part of this library yet: their settings hooks
// stay empty.
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

TVXBitmap* OwnerBitmap(TVexlaneIO* io) { return io != nullptr ? io->VXBitmap() : nullptr; }

// No viewer can be attached to an I/O component here.
void OwnerViewerDpi(TVexlaneIO*, bool, int32_t) {}

const bool registered = (VXLibraryHooks.IOStartup = &VXStartUpIOUnit,
                         VXLibraryHooks.IOShutdown = &VXShutDownIOUnit, true);

}  // namespace

void VXInstallIOParamsOwnerHooks() {
  (void)registered;
  TIOParamsOwnerHooks& hooks = VXIOParamsOwnerHooks();
  hooks.GetBitmap = &OwnerBitmap;
  hooks.SetViewerDpi = &OwnerViewerDpi;
}

void VXStartUpIOUnit() {
  TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  // No LZW coder is built in: codecs that need one find the hook empty.
  st->SetDefGIF_LZWDECOMPFUNC(nullptr);
  st->SetDefGIF_LZWCOMPFUNC(nullptr);
  st->SetDefTIFF_LZWDECOMPFUNC(nullptr);
  st->SetDefTIFF_LZWCOMPFUNC(nullptr);
  VXInstallIOParamsOwnerHooks();
}

void VXShutDownIOUnit() {
  VXIOParamsOwnerHooks() = TIOParamsOwnerHooks{};
}
