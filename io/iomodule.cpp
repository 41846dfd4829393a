// Start-up and shut-down of the I/O module, run by the library start-up in its
// fixed order. The LZW coders, the file-format registry, the Internet functions
// and the I/O plug-ins are not part of this library yet: their settings hooks
// stay empty. The codec libraries above start from here, after the module's own
// work, through the modules they added (io/codec_table.h).
#include "core/bitmap.h"
#include "core/cmyk.h"
#include "core/settings.h"
#include "io/codec_table.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

TVXBitmap* OwnerBitmap(TVexlaneIO* io) { return io != nullptr ? io->VXBitmap() : nullptr; }

// No viewer can be attached to an I/O component here.
void OwnerViewerDpi(TVexlaneIO*, bool, int32_t) {}

}  // namespace

void VXInstallIOParamsOwnerHooks() {
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
  // The shared CMYK and sRGB profiles are made again on first use.
  VXFreeCMYKTransforms();
  VXInstallIOParamsOwnerHooks();
  VXStartCodecModules();
}

void VXShutDownIOUnit() {
  VXStopCodecModules();
  VXFreeCMYKTransforms();
  VXClearCodecOps();
  VXIOParamsOwnerHooks() = TIOParamsOwnerHooks{};
}
